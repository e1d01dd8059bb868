// Shared, counted narrow text (xstring) over a string record whose text is
// shared between copies and "locked" (counted) while an xany holds it.
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The shared string record.
struct __xstring_c;

extern "C" {
ZBASE_API __xstring_c* xstrcreate_c(const char* text);
ZBASE_API __xstring_c* xstrcreate_n(const char* text, size_t length);
ZBASE_API void xstrlock_c(__xstring_c* rec);
ZBASE_API void xstrunlock_c(__xstring_c* rec);
ZBASE_API const char* xstrtext_c(const __xstring_c* rec);
ZBASE_API size_t xstrlength_c(const __xstring_c* rec);
}

// Narrow text. Besides ordinary texts it has two states that are never
// dereferenced: the null marker (made from the pointer value 1) and the
// uninitialised marker (the pointer value 2).
class ZBASE_API xstring {
public:
    xstring() noexcept = default;
    xstring(const char* text);
    xstring(const char* text, size_t length);
    xstring(const std::string& text);
    // From UTF-16 text (host records hold wide names).
    explicit xstring(const char16_t* wide);
    // Shares the record; with lock=true takes a lock on it.
    xstring(const __xstring_c& rec, bool lock);
    xstring(const xstring& other);
    xstring(xstring&& other) noexcept;
    ~xstring();
    xstring& operator=(const xstring& other);
    xstring& operator=(xstring&& other) noexcept;

    static xstring nullMarker();
    static xstring uninitMarker();
    bool isNullMarker() const { return reinterpret_cast<uintptr_t>(rec_) == 1; }
    bool isUninitMarker() const { return reinterpret_cast<uintptr_t>(rec_) == 2; }

    // The text; the markers and the empty string give "".
    const char* c_str() const;
    operator const char*() const { return c_str(); }
    // Length of the text in bytes.
    size_t length() const;
    // Length in characters as the wide form (wstr) counts them: UTF-16
    // units, so a character outside the Basic Multilingual Plane counts two.
    // Host records keep names in wide fields of a fixed number of units, and
    // the name checks measure a name by this count. 0 for the markers.
    int GetLength() const;
    bool empty() const { return length() == 0; }
    std::string str() const { return std::string(c_str(), length()); }
    std::u16string wstr() const;

    // A new lock on the record (null for the markers and the empty text);
    // the caller gives it back with xstrunlock_c.
    __xstring_c* getxstring_c() const;

    friend ZBASE_API bool operator==(const xstring& a, const char* b);
    friend ZBASE_API bool operator==(const xstring& a, const xstring& b);

private:
    bool holdsRecord() const { return reinterpret_cast<uintptr_t>(rec_) > 2; }
    __xstring_c* rec_ = nullptr;
};
