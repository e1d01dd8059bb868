// Wide texts of the neutral records, copied out of the fixed-width wide
// fields of the host records.
#pragma once

#include "xmemory.h"
#include "kernel/records/wide_name.h"

#include <cstring>

// A new zero-terminated copy (getmem) of a wide field of `capacity` units,
// read up to its first zero; null when memory runs out.
inline char16_t* neut_wide_copy(const char16_t* field, int capacity) {
    const int n = kname::FieldLength(field, capacity);
    auto* text = static_cast<char16_t*>(getmem(sizeof(char16_t) * size_t(n + 1)));
    if (text)
        std::memcpy(text, field, sizeof(char16_t) * size_t(n));
    return text;
}
