// Fixed-width wide-text fields of the host records (names of 32 units,
// attribute texts): reading them bounded by the field, writing them cut on
// a character boundary, and the tests of what the name setters take.
#pragma once

#include "btk_quoted.h"
#include "btkstring.h"
#include "xstring.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace kname {

// Units in use of a field of `capacity` units: up to the first zero, or the
// whole field when it holds no terminator.
inline int FieldLength(const char16_t* field, int capacity) {
    int n = 0;
    while (n < capacity && field[n] != u'\0')
        ++n;
    return n;
}

// The field's text as UTF-8, never reading past the field.
inline std::string Narrow(const char16_t* field, int capacity) {
    return btkStrUtf16ToUtf8(std::u16string_view(field, size_t(FieldLength(field, capacity))));
}

inline xstring ToXstring(const char16_t* field, int capacity) {
    return xstring(Narrow(field, capacity));
}

// Zero-fills the field and writes the text into it, cut to capacity - 1
// units on a character boundary (a surrogate pair is never split); the
// units written.
inline int Write(char16_t* field, int capacity, const char* utf8) {
    std::memset(field, 0, sizeof(char16_t) * size_t(capacity));
    return strtows(utf8, field, capacity);
}

// Bytes (1 to 4) of the character at text[i] when they are well-formed
// UTF-8 (btkUtf8CharLength) of a character that an XML document can carry:
// not U+0001-U+001F other than tab, line feed and carriage return, not
// U+FFFE or U+FFFF. 0 otherwise (also for a cut sequence, an overlong form
// or a surrogate).
inline size_t XmlCharLength(std::string_view text, size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80)
        return (b >= 0x20 || b == '\t' || b == '\n' || b == '\r') ? 1 : 0;
    const std::string_view rest = text.substr(i);
    const int len = btkUtf8CharLength(rest);
    // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
    if (len == 3 && b == 0xEF && static_cast<unsigned char>(rest[1]) == 0xBF &&
        (static_cast<unsigned char>(rest[2]) & 0xFE) == 0xBE)
        return 0;
    return size_t(len);
}

// A text of a document quoted for a one-line message: at most about 80
// bytes of it, by the library's one quoting rule (btkQuotedCut).
inline std::string Shown(std::string_view text) { return btkQuotedCut(text); }

// Whether a name or text that a caller gives can be kept and written as it
// is: well-formed UTF-8 of characters that XML can carry, of fewer than
// `capacity` UTF-16 units (0: any length).
inline bool Acceptable(std::string_view utf8, int capacity = 0) {
    size_t units = 0;
    for (size_t i = 0; i < utf8.size();) {
        const size_t len = XmlCharLength(utf8, i);
        if (len == 0)
            return false;
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return capacity <= 0 || units < size_t(capacity);
}

// Why a wide text is not whole UTF-16: it holds a lone surrogate, which no
// UTF-8 text carries ("it holds a lone surrogate (U+D800) at unit 1", as
// FieldFault words it); empty for a whole text.
inline std::string SurrogateFault(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned c = text[i];
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i; // a surrogate pair
            continue;
        }
        char what[64];
        std::snprintf(what, sizeof what, "it holds a lone surrogate (U+%04X) at unit %zu", c, i);
        return what;
    }
    return std::string();
}

// SurrogateFault of a field's text, never reading past the field.
inline std::string SurrogateFault(const char16_t* field, int capacity) {
    return SurrogateFault(std::u16string_view(field, size_t(FieldLength(field, capacity))));
}

// Why a wide-text field of `capacity` units holds a text that no name set
// through the interface and no document read gives: one without a
// terminator inside the field (a document's name is cut to capacity - 1
// units), or with a lone surrogate, which no UTF-8 text carries ("it holds
// a lone surrogate (U+D800) at unit 1"); empty for any other. (Characters
// such as U+0001, which an XML 1.1 document carries, are held; the writers
// refuse them where they write them.)
inline std::string FieldFault(const char16_t* field, int capacity) {
    char what[96];
    for (int i = 0; i < capacity; ++i) {
        const unsigned c = field[i];
        if (c == 0)
            return std::string();
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < capacity && field[i + 1] >= 0xDC00 &&
            field[i + 1] <= 0xDFFF) {
            ++i; // a surrogate pair
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            std::snprintf(what, sizeof what, "it holds a lone surrogate (U+%04X) at unit %d", c, i);
            return what;
        }
    }
    std::snprintf(what, sizeof what,
                  "it fills all %d units of its field, with no terminator: it holds at most %d",
                  capacity, capacity - 1);
    return what;
}

// Length of a text in UTF-16 units, the unit the record fields count in:
// the character count of an xstring made from the text.
inline size_t WideLength(const char* utf8) { return size_t(xstring(utf8).GetLength()); }

} // namespace kname
