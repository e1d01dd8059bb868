// The translation options document: the options are read and each is
// looked up again by its name.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_translog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlTranslationOptions reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        std::unique_ptr<IntfXmlOptionList> options = reader.TakeOptions();
        if (!options)
            return;
        for (const IntfXmlOption& o : options->Items())
            if (options->Find(o.name) != &o)
                __builtin_trap(); // one entry per name
    });
    return 0;
}
