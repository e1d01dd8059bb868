// Named, typed options of one translation, as the host hands them over
// (the options document fills a record; the translator reads it by name).
//
// Types: 1 integer, 2 double, 3 text. A name holds one value; a later
// setter on the same name replaces type and value (an option may change its
// type). Names compare byte-wise and case-sensitively. The record owns copies
// of every name and text; nothing a caller passes is kept.
//
// Getters give false and leave the output untouched when the name is missing
// or holds another type. The text getter has a bounded form; the unbounded
// one is kept for callers that size their buffer from GetStringLength.
#pragma once

#include "api/zpi50_export.h"
#include "client/zr_binding.h"

#include <cstddef>
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

class ZPI_API ZrTranslationOptions {
public:
    static constexpr uint32_t kInteger = 1;
    static constexpr uint32_t kDouble = 2;
    static constexpr uint32_t kString = 3;

    ZrTranslationOptions();
    ZrTranslationOptions(const ZrTranslationOptions&) = delete;
    ZrTranslationOptions& operator=(const ZrTranslationOptions&) = delete;
    ~ZrTranslationOptions();

    bool GetInteger(const char* name, int& value) const;
    bool GetDouble(const char* name, double& value) const;
    // Copies the text with its terminator into `buffer`, which must hold it
    // whole (see GetStringLength). False for a null buffer.
    bool GetString(const char* name, char* buffer) const;
    // Bounded: false, and nothing written, when the text and its terminator
    // do not fit into `capacity` bytes.
    bool GetString(const char* name, char* buffer, size_t capacity) const;
    // Length of a text option without its terminator, or -1 when the name
    // is missing or not a text.
    int64_t GetStringLength(const char* name) const;
    // Integer not 0, double not 0.0 (NaN counts as set), text not empty.
    bool IsSet(const char* name) const;
    // Type of the option, 0 when the name is missing.
    uint32_t GetType(const char* name) const;
    int Count() const { return static_cast<int>(map_.Count()); }

    // Empty names (and empty texts) store nothing and give false; false
    // also when memory runs out.
    bool SetInteger(const char* name, int value);
    bool SetDouble(const char* name, double value);
    bool SetString(const char* name, const char* value);

    // Frees every entry and name; the record is empty afterwards.
    void ClearMem();

private:
    const ZrOptionEntry* Find(const char* name) const;
    // The entry of `name`, made (with its key) when missing; null when
    // memory runs out. A text that the entry held is freed.
    ZrOptionEntry* Bind(const char* name);

    // Copied key -> ZrOptionEntry*, ascending byte-wise; emptying it frees
    // both.
    ZrSortedMap map_;
};
