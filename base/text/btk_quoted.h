// How a told line or a refusal quotes a text from outside (a document's
// words and names, a host's reply, a path, an environment variable's
// value): one rule for all of them, so that what is shown stays on the
// line it is quoted in, changes nothing on a terminal and reads back as
// what was there. Not installed; each library has its own copy.
//
// The text is shown between double quotes, each byte as it stands except:
//   \\      a backslash
//   \"      a double quote
//   \xNN    a C0 control (U+0000-U+001F: tab, line feed, carriage return,
//           escape...), DEL (U+007F), and each byte that is not part of
//           well-formed UTF-8 (a stray or missing continuation byte, an
//           overlong form, a surrogate, beyond U+10FFFF), one escape a byte
//   \uNNNN  a C1 control (U+0080-U+009F, next line U+0085 among them), the
//           line and paragraph separators U+2028 and U+2029, the
//           bidirectional controls (U+061C, U+200E, U+200F, U+202A-U+202E,
//           U+2066-U+2069) and the noncharacters U+FFFE and U+FFFF
// (hex digits in upper case). Reading back, \xNN is that byte and \uNNNN
// that character in UTF-8, and nothing else follows a backslash.
//
// btkQuoted shows the whole text: paths and a host's words, whose cutting
// would hide what tells one from another. btkQuotedCut shows at most about
// 80 bytes of it, cut before a character (never inside one or an escape),
// with "..." after the closing quote when it was cut: the texts a document
// holds, of any size (words, names, an encoding's name). btkEscaped writes
// the escapes alone, without quotes around: for a message that another
// program made, quoting a document's words in quotes of its own (the XML
// parser's).
#pragma once

#include "btkstring.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace btk_quoted_detail {

// Shows text[i..] onto `out` while `out` is shorter than `bound` bytes;
// where it stopped.
inline size_t Append(std::string& out, std::string_view text, size_t bound) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t i = 0;
    while (i < text.size() && out.size() < bound) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == '\\' || b == '"') {
            out += '\\';
            out += char(b);
            ++i;
            continue;
        }
        if (b >= 0x20 && b < 0x7F) {
            out += char(b);
            ++i;
            continue;
        }
        const int len = b < 0x80 ? 0 : btkUtf8CharLength(text.substr(i));
        if (len == 0) { // a C0 control, DEL or a byte that is not UTF-8
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
            ++i;
            continue;
        }
        // The code point of the well-formed character.
        char32_t cp = len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        for (int k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + size_t(k)]) & 0x3F);
        if ((cp >= 0x80 && cp <= 0x9F) || cp == 0x2028 || cp == 0x2029 || cp == 0x061C ||
            cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
            (cp >= 0x2066 && cp <= 0x2069) || cp == 0xFFFE || cp == 0xFFFF) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHex[(cp >> shift) & 15];
        } else {
            out.append(text.substr(i, size_t(len)));
        }
        i += size_t(len);
    }
    return i;
}

} // namespace btk_quoted_detail

// The whole text, quoted by the rule above.
inline std::string btkQuoted(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    btk_quoted_detail::Append(out, text, std::string::npos);
    return out += '"';
}

// At most about 80 bytes of the text, quoted by the rule above; "..." after
// the closing quote when it was cut.
inline std::string btkQuotedCut(std::string_view text) {
    std::string out = "\"";
    const size_t shown = btk_quoted_detail::Append(out, text, 80);
    return out += shown < text.size() ? "\"..." : "\"";
}

// The whole text with the escapes above, without quotes around it.
inline std::string btkEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    btk_quoted_detail::Append(out, text, std::string::npos);
    return out;
}
