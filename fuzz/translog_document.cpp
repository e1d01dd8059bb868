// The translation log document: its lines are read and looked at.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_translog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlLogLines reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        size_t total = 0;
        for (const IntfXmlLogLine& line : reader.GetLines())
            total += line.text.size() + line.missing;
        if (total > size)
            __builtin_trap(); // more text than the document held
    });
    return 0;
}
