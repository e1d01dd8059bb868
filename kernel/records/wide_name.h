// Fixed-width wide-text fields of the host records (names of 32 units,
// attribute texts): reading them bounded by the field, writing them cut on
// a character boundary, and the length test of the name setters.
#pragma once

#include "btkstring.h"
#include "xstring.h"

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
// units on a character boundary (a surrogate pair is never split).
inline void Write(char16_t* field, int capacity, const char* utf8) {
    std::memset(field, 0, sizeof(char16_t) * size_t(capacity));
    strtows(utf8, field, capacity);
}

// Length of a text in UTF-16 units, the unit the record fields count in:
// the character count of an xstring made from the text.
inline size_t WideLength(const char* utf8) { return size_t(xstring(utf8).GetLength()); }

// Whether the text fits a field of `capacity` units with its terminator.
inline bool Fits(const char* utf8, int capacity) {
    return WideLength(utf8) < size_t(capacity);
}

} // namespace kname
