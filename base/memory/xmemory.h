// base/memory: host-record memory (getmem, rlsmem) and the xar and har
// arrays, with a holder that frees an array. It uses process/.
//
// Host-record memory and the two array families the records are built on.
//
// Memory
//   getmem(size)      zero-filled block, or null when the allocation fails.
//   rlsmem / relmem   release a block from getmem; both accept null.
//
// Variable arrays (xar)
//   An array is handled through ONE pointer word that points at element 0 of
//   contiguous storage; a header with count, capacity, element size and
//   growth step sits in front of it. Elements are stored by value and are
//   addressed directly: element i lies at handle + i * element size.
//   A null handle is an empty array (xar_count(nullptr) == 0).
//   Capacity grows geometrically (at least doubling, at least the growth
//   step), so appending n elements costs O(n). Growing may move the storage:
//   functions that can grow take the handle by address and update it.
//
// Chunked arrays (har)
//   A har handle is an xar of page pointers; every page is an xar whose
//   capacity is the page size given to har_alloc and is allocated whole when
//   the page is made. Entries therefore never move once appended.
//   xar_count(har) gives the number of pages and xar_count(page) the entries
//   in that page; entries follow in index order across pages.
//   har_resize zero-fills the entries it adds.
//
// QelArray functions work on the very same xar arrays and return a status
// (0 success, -2 bad argument, -10 out of memory).
//
// All counts and sizes are int, as the records store them; negative counts
// or sizes are refused (null handle or -2), never used to size memory.
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <cstdint>

extern "C" {

ZBASE_API void init_memory(void);
ZBASE_API int init_memory_calls(void); // how often init_memory ran (tests)

ZBASE_API void* getmem(size_t size);
ZBASE_API void rlsmem(void* block);
ZBASE_API void relmem(void* block);
ZBASE_API void byte_fill_func(void* dst, size_t count, int value);
ZBASE_API void bytcpy_func(void* dst, const void* src, size_t count);

// ---- xar -------------------------------------------------------------
// New array of `count` zero-filled elements; `growth` is the minimum step by
// which the capacity grows (values below 1 count as 1). Null on failure or
// on a negative count or a non-positive element size.
ZBASE_API void* xar_alloc(int count, int elem_size, int growth);
ZBASE_API int xar_count(const void* arr);
ZBASE_API int xar_elem_size(const void* arr); // 0 for null
// Appends n elements copied from `elems` (zero-filled when elems is null).
// Creates nothing: *parr must be an array (status -2 for null). 0 or -10.
ZBASE_API int xar_append(void** parr, int n, const void* elems);
// Appends to *parr, making it first with (elem_size, growth) when it is null.
ZBASE_API int xar_alloc_or_append(void** parr, int elem_size, int growth, int n,
                                  const void* elems);
// Removes n elements starting at `index`; -2 when the range is outside.
ZBASE_API int xar_remove(void** parr, int index, int n);
// Sets the count to n; new elements are zero-filled.
ZBASE_API int xar_resize(void** parr, int n);
// Adds n zero-filled elements at the end and returns the address of the
// first of them through *first (may be null). 0 or -10/-2.
ZBASE_API int xar_extend(void** parr, int n, void** first);
// Independent copy of `src` (same element size, growth and contents) into
// *pdst; a null source gives a null copy. Whatever *pdst held is NOT freed.
ZBASE_API int xar_cpy(void** pdst, const void* src);
// Frees the array and sets the handle to null; accepts null.
ZBASE_API void xar_free(void** parr);
// Largest element count an xar of this element size may hold; larger data
// is kept in a har. Large enough that no array of this library switches.
ZBASE_API int xar_max_count_get(int elem_size);

// ---- har -------------------------------------------------------------
ZBASE_API void* har_alloc(int entry_size, int page_size);
ZBASE_API int har_total(const void* har);
// Appends one entry copied from `entry` (zero-filled when null).
ZBASE_API int har_append(void** phar, const void* entry);
// Address of entry i (null when outside). When page/offset are not null they
// receive the page index and the index within that page.
ZBASE_API void* har_access(const void* har, int index, int* page, int* offset);
// Sets the number of entries to n; added entries are zero-filled.
ZBASE_API int har_resize(void** phar, int n);
// Independent copy with the same entry and page sizes.
ZBASE_API int har_copy(void** pdst, const void* src);
ZBASE_API void har_free(void** phar);
ZBASE_API int har_entry_size(const void* har); // 0 for null

// ---- QelArray --------------------------------------------------------
ZBASE_API int QelArrayAlloc(int count, int elem_size, int growth, void** out);
ZBASE_API int QelArraySizeGet(const void* arr, int* size);
// Inserts `n` objects copied from `objects` at `position` (-1: at the end).
ZBASE_API int QelArrayObjectAdd(void** parr, int position, int n, const void* objects);
ZBASE_API int QelArrayFree(void** parr);

// ---- search ----------------------------------------------------------
// Binary search over `count` sorted elements; the comparator answers <0, 0,
// >0 as for qsort. Returns the index found or 0xFFFFFFFF.
typedef int (*xar_compare_fn)(const void* a, const void* b);
ZBASE_API uint32_t binary_srch_array(int count, xar_compare_fn cmp, int elem_size,
                                     const void* key, const void* array);
}

// Typed conveniences: take the handle by reference so that a record field of
// type T* can be passed as it is.
template <class T> inline int xar_append(T*& arr, int n, const void* elems) {
    void* p = arr;
    int st = xar_append(&p, n, elems);
    arr = static_cast<T*>(p);
    return st;
}
template <class T>
inline int xar_alloc_or_append(T*& arr, int elem_size, int growth, int n, const void* elems) {
    void* p = arr;
    int st = xar_alloc_or_append(&p, elem_size, growth, n, elems);
    arr = static_cast<T*>(p);
    return st;
}
template <class T> inline int xar_remove(T*& arr, int index, int n) {
    void* p = arr;
    int st = xar_remove(&p, index, n);
    arr = static_cast<T*>(p);
    return st;
}
template <class T> inline int xar_resize(T*& arr, int n) {
    void* p = arr;
    int st = xar_resize(&p, n);
    arr = static_cast<T*>(p);
    return st;
}
template <class T> inline int xar_cpy(T*& dst, const void* src) {
    void* p = nullptr;
    int st = xar_cpy(&p, src);
    dst = static_cast<T*>(p);
    return st;
}
template <class T> inline void xar_free(T*& arr) {
    void* p = arr;
    xar_free(&p);
    arr = nullptr;
}
template <class T> inline int har_append(T*& har, const void* entry) {
    void* p = har;
    int st = har_append(&p, entry);
    har = static_cast<T*>(p);
    return st;
}
template <class T> inline int har_resize(T*& har, int n) {
    void* p = har;
    int st = har_resize(&p, n);
    har = static_cast<T*>(p);
    return st;
}
template <class T> inline int har_copy(T*& dst, const void* src) {
    void* p = nullptr;
    int st = har_copy(&p, src);
    dst = static_cast<T*>(p);
    return st;
}
template <class T> inline void har_free(T*& har) {
    void* p = har;
    har_free(&p);
    har = nullptr;
}
