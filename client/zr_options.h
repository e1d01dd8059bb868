// The entries of ZrTranslationOptions (api/zpi50_client.h): each option's
// type and value in a block of its own.
#pragma once

#include "api/zpi50_client.h"

#include <cstdint>

// One option: its type and value (16 bytes, allocated with getmem).
struct ZrOptionEntry {
    uint32_t type; // ZrTranslationOptions::kInteger, kDouble or kString
    union {
        int32_t i;
        double d;
        char* s; // owned copy
    } value;
};
static_assert(sizeof(ZrOptionEntry) == 16);
