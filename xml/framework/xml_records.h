// Helpers of the topology and extension bindings for the host records'
// arrays and wide-text fields. Internal to the XML binding.
//
// Writers check every array of a record before they walk it (element size
// and kind), so a record that does not hold what its type says is refused
// with IntfXmlError (INTFXML_ERR_RECORD) instead of being read wrongly.
// Readers grow their arrays one item at a time as the items arrive, so a
// "size" attribute never decides how much memory is taken.
#pragma once

#include "xmemory.h"
#include "kernel/records/wide_name.h"
#include "xml/framework/xml_element.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace intfxml {

// Number of elements of an xar whose elements must be `elemSize` bytes;
// 0 for null. Throws INTFXML_ERR_RECORD naming `what` otherwise.
inline int XarCount(const void* arr, size_t elemSize, const char* what) {
    if (!arr)
        return 0;
    if (har_entry_size(arr) != 0 || xar_elem_size(arr) != int(elemSize))
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s is not an array of %zu-byte elements", what,
                     elemSize);
    return xar_count(arr);
}

// Number of entries of a har whose entries must be `entrySize` bytes; 0 for
// null. Throws INTFXML_ERR_RECORD otherwise.
inline int HarCount(const void* har, size_t entrySize, const char* what) {
    if (!har)
        return 0;
    if (har_entry_size(har) != int(entrySize))
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s is not a paged array of %zu-byte entries", what,
                     entrySize);
    return har_total(har);
}

// Entry i of a har checked with HarCount.
template <class T> inline T* HarEntry(const void* har, int i) {
    return static_cast<T*>(har_access(har, i, nullptr, nullptr));
}

// A new empty xar of T; throws -10 when memory runs out.
template <class T> inline T* NewXar(int growth) {
    void* p = xar_alloc(0, int(sizeof(T)), growth);
    if (!p)
        IntfXmlThrowStatus(-10, "xar_alloc");
    return static_cast<T*>(p);
}

// A new empty har of T entries; throws -10 when memory runs out.
inline void* NewHar(size_t entrySize, int pageSize) {
    void* p = har_alloc(int(entrySize), pageSize);
    if (!p)
        IntfXmlThrowStatus(-10, "har_alloc");
    return p;
}

// Appends one zero-filled element to an xar (made on first use) and returns
// its index; throws -10 when memory runs out.
template <class T> inline int XarAppendZero(T*& arr, int growth) {
    if (!arr)
        arr = NewXar<T>(growth);
    void* p = arr;
    int st = xar_extend(&p, 1, nullptr);
    arr = static_cast<T*>(p);
    if (st != 0)
        IntfXmlThrowStatus(st, "xar_extend");
    return xar_count(arr) - 1;
}

// Appends one zero-filled entry to a har and returns it (entries never
// move); throws -10 when memory runs out.
template <class T> inline T* HarAppendZero(void*& har) {
    int st = har_append(&har, nullptr);
    if (st != 0)
        IntfXmlThrowStatus(st, "har_append");
    return HarEntry<T>(har, har_total(har) - 1);
}

// A wide-text field as UTF-8, never reading past the field.
inline std::string Narrow(const char16_t* field, int capacity) {
    return kname::Narrow(field, capacity);
}

// Zero-fills the field and stores the UTF-8 text, cut to capacity - 1 units
// on a character boundary. A text cut so is told, as what a reader lets
// pass (IntfXmlTellPassedOver), naming `what` ("\"Layer\" attribute
// \"name\"") and the lengths.
inline void StoreWide(char16_t* field, int capacity, const char* utf8, const char* what) {
    // A text cut short leaves less than one character's room unused.
    const int written = kname::Write(field, capacity, utf8);
    if (written < capacity - 2)
        return;
    const size_t length = kname::WideLength(utf8);
    if (length <= size_t(written))
        return;
    IntfXmlTellPassedOver(IntfXmlPassed::TextCut, [&] {
        return std::string(what) + " of " + std::to_string(length) + " UTF-16 units was cut to " +
               std::to_string(written) + ": its field holds " + std::to_string(capacity - 1);
    });
}

// Throws "<element> has more <item> elements than its size <count>" when
// `have` items already fill the announced count.
inline void CheckRoom(int have, int count, const char* item, const char* element) {
    if (have >= count)
        IntfXmlThrow(INTFXML_ERR_MALFORMED,
                     "\"%s\" holds more \"%s\" elements than its size %d", element, item, count);
}

// Throws when a list ends with fewer items than it announced.
inline void CheckComplete(int have, int count, const char* item, const char* element) {
    if (have != count)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" holds %d \"%s\" elements, its size says %d",
                     element, have, item, count);
}

// Throws "<child> appears twice in <element>" when a child reader exists.
inline void CheckOnce(const void* existing, const char* child, const char* element) {
    if (existing)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" appears twice in \"%s\"", child, element);
}

// The integer attribute at `pos` when it stands there under `name`, else
// `fallback`, told: the writers always write it. A value that is there but
// not an integer is an error.
inline int32_t IntAt(const char* name, IntfXmlAttributes& attrs, unsigned pos, int32_t fallback,
                     const char* element) {
    return IntfXmlWrittenInt(name, attrs, pos, fallback, element);
}

} // namespace intfxml
