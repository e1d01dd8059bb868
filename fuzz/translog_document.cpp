// The translation log document: its lines are read and looked at.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_translog.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlLogLines reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        size_t total = 0;
        for (const IntfXmlLogLine& line : reader.GetLines())
            total += line.text.size() + line.missing;
        // A byte of the document gives at most 3 bytes of UTF-8 text (a
        // byte of ISO-8859-1 gives 2, two of UTF-16 give 3), unless the
        // document declares entities: each of at most 1000 expansions
        // (the parser's limit) gives again at most the whole document.
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        const size_t expansions =
            bytes.find("<!ENTITY") == std::string_view::npos ? 0 : 1000;
        if (total > 3 * size * (1 + expansions))
            __builtin_trap(); // more text than the document could give
    });
    return 0;
}
