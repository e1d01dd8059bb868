// The translation log document: its lines are read and looked at.
#include "fuzz_support.h"

#include "xml/framework/sax_handler.h"
#include "xml/side_documents/xml_translog.h"

#include <string>
#include <string_view>

namespace {

// Whether `bytes` hold the ASCII `word` in an encoding the reader reads:
// one byte a character, or UTF-16 in either byte order.
bool Holds(std::string_view bytes, std::string_view word) {
    std::string little, big;
    for (char c : word) {
        little.append({c, '\0'});
        big.append({'\0', c});
    }
    return bytes.find(word) != std::string_view::npos ||
           bytes.find(little) != std::string_view::npos ||
           bytes.find(big) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zpifuzz::OwnErrorsOnly([&] {
        IntfXmlLogLines reader(nullptr);
        IntfXmlParseBuffer(reinterpret_cast<const char*>(data), size, &reader, "fuzz");
        size_t total = 0;
        for (const IntfXmlLogLine& line : reader.GetLines())
            total += line.text.size() + line.missing;
        // A byte of the document gives at most 3 bytes of UTF-8 text (a
        // byte of ISO-8859-1 gives 2, two of UTF-16 give 3), unless the
        // document declares entities, in whichever encoding it is read:
        // each of at most 1000 expansions (the parser's limit) gives again
        // at most the whole document.
        const std::string_view bytes(reinterpret_cast<const char*>(data), size);
        const size_t expansions = Holds(bytes, "<!ENTITY") ? 1000 : 0;
        if (total > 3 * size * (1 + expansions))
            __builtin_trap(); // more text than the document could give
    });
    return 0;
}
