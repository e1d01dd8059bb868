// Host-record memory, variable arrays (xar), chunked arrays (har) and the
// QelArray status wrappers. See xmemory.h for the contract.
#include "xmemory.h"

#include "process.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::atomic<int> g_init_memory_calls{0};

// Largest single block getmem hands out. Far above any record, and below the
// point where allocators (and the sanitizer's) give up with a fatal error
// rather than a null pointer.
constexpr size_t kMaxBlock = size_t{1} << 40;

constexpr uint32_t kXarMagic = 0x4e524158u; // plain variable array
constexpr uint32_t kHarMagic = 0x4e524148u; // page-pointer array of a har
constexpr uint32_t kDeadMagic = 0xdeadbeefu;

constexpr int kStOk = 0;
constexpr int kStBadArg = -2;
constexpr int kStNoMem = -10;

// Lies directly in front of element 0. 32 bytes keep element 0 aligned as
// malloc aligns the block.
struct XarHeader {
    uint32_t magic;
    int32_t count;
    int32_t capacity;
    int32_t elem_size;
    int32_t growth;
    int32_t har_entry_size; // har page-pointer arrays only
    int32_t har_page_size;  // har page-pointer arrays only
    int32_t reserved;
};
static_assert(sizeof(XarHeader) == 32, "header keeps element 0 16-byte aligned");

[[noreturn]] void bad_handle() { _btkAbort("invalid array handle", __FILE__, __LINE__); }

XarHeader* header_of(const void* arr) {
    auto* h = reinterpret_cast<XarHeader*>(const_cast<char*>(static_cast<const char*>(arr)) -
                                           sizeof(XarHeader));
    if (h->magic != kXarMagic && h->magic != kHarMagic)
        bad_handle();
    return h;
}

char* data_of(XarHeader* h) { return reinterpret_cast<char*>(h) + sizeof(XarHeader); }

int max_count(int elem_size) { return elem_size > 0 ? INT32_MAX / elem_size : 0; }

// A block for `capacity` elements; the header is filled, elements are not.
XarHeader* raw_alloc(int capacity, int elem_size, int growth, bool zero_all) {
    if (capacity < 0 || elem_size <= 0 || capacity > max_count(elem_size))
        return nullptr;
    size_t bytes = sizeof(XarHeader) + size_t(capacity) * size_t(elem_size);
    void* block = zero_all ? std::calloc(1, bytes) : std::malloc(bytes);
    if (!block)
        return nullptr;
    auto* h = static_cast<XarHeader*>(block);
    *h = XarHeader{kXarMagic, 0, capacity, elem_size, std::max(growth, 1), 0, 0, 0};
    return h;
}

// Makes room for `needed` elements, growing geometrically. Updates h (the
// block may move). False when the size limit is passed or memory runs out;
// h is then unchanged.
bool reserve(XarHeader*& h, int64_t needed) {
    if (needed <= h->capacity)
        return true;
    int limit = max_count(h->elem_size);
    if (needed > limit)
        return false;
    int64_t step = std::max<int64_t>(h->capacity, h->growth);
    int64_t cap = std::max<int64_t>(needed, int64_t(h->capacity) + step);
    cap = std::min<int64_t>(cap, limit);
    size_t bytes = sizeof(XarHeader) + size_t(cap) * size_t(h->elem_size);
    void* moved = std::realloc(h, bytes);
    if (!moved)
        return false;
    h = static_cast<XarHeader*>(moved);
    h->capacity = int32_t(cap);
    return true;
}

// Sets the count, zero-filling elements that become visible.
bool set_count(XarHeader*& h, int64_t n) {
    if (!reserve(h, n))
        return false;
    if (n > h->count)
        std::memset(data_of(h) + size_t(h->count) * size_t(h->elem_size), 0,
                    size_t(n - h->count) * size_t(h->elem_size));
    h->count = int32_t(n);
    return true;
}

void raw_free(XarHeader* h) {
    h->magic = kDeadMagic;
    std::free(h);
}

// ---- har helpers -----------------------------------------------------
XarHeader* har_header(const void* har) {
    XarHeader* h = header_of(har);
    return h->magic == kHarMagic ? h : nullptr;
}

void** har_pages(XarHeader* h) { return reinterpret_cast<void**>(data_of(h)); }

int64_t har_total_of(XarHeader* h) {
    if (h->count == 0)
        return 0;
    const void* last = har_pages(h)[h->count - 1];
    return int64_t(h->count - 1) * h->har_page_size + xar_count(last);
}

// A page: an xar whose whole capacity (the page size) exists from the start.
void* har_new_page(XarHeader* h) {
    XarHeader* p = raw_alloc(h->har_page_size, h->har_entry_size, h->har_page_size, true);
    return p ? data_of(p) : nullptr;
}

// Drops entries from the end until `n` remain, freeing emptied pages.
void har_shrink(XarHeader* h, int64_t n) {
    int64_t pages = n == 0 ? 0 : (n - 1) / h->har_page_size + 1;
    void** pg = har_pages(h);
    for (int64_t i = pages; i < h->count; ++i)
        raw_free(header_of(pg[i]));
    h->count = int32_t(pages);
    if (pages > 0) {
        XarHeader* last = header_of(pg[pages - 1]);
        last->count = int32_t(n - (pages - 1) * h->har_page_size);
    }
}

void har_free_all(XarHeader* h) {
    void** pg = har_pages(h);
    for (int i = 0; i < h->count; ++i)
        raw_free(header_of(pg[i]));
    raw_free(h);
}

bool ranges_overlap(const void* a, size_t alen, const void* b, size_t blen) {
    auto pa = reinterpret_cast<uintptr_t>(a);
    auto pb = reinterpret_cast<uintptr_t>(b);
    return pa < pb + blen && pb < pa + alen;
}

} // namespace

extern "C" {

// ---- memory ----------------------------------------------------------
void init_memory(void) { g_init_memory_calls.fetch_add(1); }
int init_memory_calls(void) { return g_init_memory_calls.load(); }

void* getmem(size_t size) {
    if (size >= kMaxBlock)
        return nullptr;
    return std::calloc(1, size == 0 ? 1 : size);
}

void rlsmem(void* block) { std::free(block); }
void relmem(void* block) { std::free(block); }

void byte_fill_func(void* dst, size_t count, int value) {
    if (dst && count)
        std::memset(dst, value, count);
}

void bytcpy_func(void* dst, const void* src, size_t count) {
    if (dst && src && count)
        std::memmove(dst, src, count);
}

// ---- xar -------------------------------------------------------------
void* xar_alloc(int count, int elem_size, int growth) {
    XarHeader* h = raw_alloc(count, elem_size, growth, true);
    if (!h)
        return nullptr;
    h->count = count;
    return data_of(h);
}

int xar_count(const void* arr) { return arr ? header_of(arr)->count : 0; }

int xar_elem_size(const void* arr) { return arr ? header_of(arr)->elem_size : 0; }

int xar_append(void** parr, int n, const void* elems) {
    if (!parr || !*parr || n < 0)
        return kStBadArg;
    if (n == 0)
        return kStOk;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        return kStBadArg; // pages are added by har_append / har_resize
    const size_t es = size_t(h->elem_size);
    const int old = h->count;
    // The source may lie inside the array itself, which can move.
    bool inside = elems && ranges_overlap(elems, size_t(n) * es, data_of(h), size_t(old) * es);
    ptrdiff_t offset = inside ? static_cast<const char*>(elems) - data_of(h) : 0;
    if (!set_count(h, int64_t(old) + n))
        return kStNoMem;
    *parr = data_of(h);
    if (elems) {
        const char* src = inside ? data_of(h) + offset : static_cast<const char*>(elems);
        std::memmove(data_of(h) + size_t(old) * es, src, size_t(n) * es);
    }
    return kStOk;
}

int xar_alloc_or_append(void** parr, int elem_size, int growth, int n, const void* elems) {
    if (!parr || n < 0 || elem_size <= 0)
        return kStBadArg;
    if (*parr) {
        if (header_of(*parr)->elem_size != elem_size)
            return kStBadArg;
        return xar_append(parr, n, elems);
    }
    void* made = xar_alloc(0, elem_size, growth);
    if (!made)
        return kStNoMem;
    int st = xar_append(&made, n, elems);
    if (st != kStOk) {
        xar_free(&made);
        return st;
    }
    *parr = made;
    return kStOk;
}

int xar_remove(void** parr, int index, int n) {
    if (!parr || index < 0 || n < 0)
        return kStBadArg;
    int count = xar_count(*parr);
    if (int64_t(index) + n > count)
        return kStBadArg;
    if (n == 0)
        return kStOk;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        return kStBadArg; // removing page pointers would lose the pages
    const size_t es = size_t(h->elem_size);
    char* base = data_of(h);
    std::memmove(base + size_t(index) * es, base + size_t(index + n) * es,
                 size_t(count - index - n) * es);
    h->count = count - n;
    return kStOk;
}

int xar_resize(void** parr, int n) {
    if (!parr || !*parr || n < 0)
        return kStBadArg;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        return kStBadArg; // the page list is managed by har_resize
    if (!set_count(h, n))
        return kStNoMem;
    *parr = data_of(h);
    return kStOk;
}

int xar_extend(void** parr, int n, void** first) {
    if (!parr || !*parr || n < 0)
        return kStBadArg;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        return kStBadArg;
    const int old = h->count;
    if (!set_count(h, int64_t(old) + n))
        return kStNoMem;
    *parr = data_of(h);
    if (first)
        *first = data_of(h) + size_t(old) * size_t(h->elem_size);
    return kStOk;
}

int xar_cpy(void** pdst, const void* src) {
    if (!pdst)
        return kStBadArg;
    *pdst = nullptr;
    if (!src)
        return kStOk;
    XarHeader* s = header_of(src);
    if (s->magic == kHarMagic)
        return har_copy(pdst, src); // a page list is copied with its pages
    XarHeader* d = raw_alloc(s->count, s->elem_size, s->growth, false);
    if (!d)
        return kStNoMem;
    d->count = s->count;
    if (s->count)
        std::memcpy(data_of(d), data_of(s), size_t(s->count) * size_t(s->elem_size));
    *pdst = data_of(d);
    return kStOk;
}

void xar_free(void** parr) {
    if (!parr || !*parr)
        return;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        har_free_all(h); // freeing a har through xar_free must not leak its pages
    else
        raw_free(h);
    *parr = nullptr;
}

int xar_max_count_get(int elem_size) { return max_count(elem_size); }

// ---- har -------------------------------------------------------------
void* har_alloc(int entry_size, int page_size) {
    if (entry_size <= 0 || page_size <= 0 || page_size > max_count(entry_size))
        return nullptr;
    XarHeader* h = raw_alloc(4, int(sizeof(void*)), 4, false);
    if (!h)
        return nullptr;
    h->magic = kHarMagic;
    h->har_entry_size = entry_size;
    h->har_page_size = page_size;
    return data_of(h);
}

int har_total(const void* har) {
    if (!har)
        return 0;
    XarHeader* h = har_header(har);
    return h ? int(har_total_of(h)) : 0;
}

int har_entry_size(const void* har) {
    if (!har)
        return 0;
    XarHeader* h = har_header(har);
    return h ? h->har_entry_size : 0;
}

int har_append(void** phar, const void* entry) {
    if (!phar || !*phar)
        return kStBadArg;
    XarHeader* h = har_header(*phar);
    if (!h)
        return kStBadArg;
    int64_t total = har_total_of(h);
    if (total >= INT32_MAX)
        return kStNoMem;
    void* page = h->count ? har_pages(h)[h->count - 1] : nullptr;
    if (!page || xar_count(page) == h->har_page_size) {
        page = har_new_page(h);
        if (!page)
            return kStNoMem;
        if (!reserve(h, int64_t(h->count) + 1)) {
            raw_free(header_of(page));
            return kStNoMem;
        }
        har_pages(h)[h->count++] = page;
        *phar = data_of(h);
    }
    XarHeader* p = header_of(page);
    char* slot = data_of(p) + size_t(p->count) * size_t(p->elem_size);
    // Entries never move, so an entry of this very array is a safe source.
    if (entry)
        std::memmove(slot, entry, size_t(p->elem_size));
    else
        std::memset(slot, 0, size_t(p->elem_size));
    ++p->count;
    return kStOk;
}

void* har_access(const void* har, int index, int* page, int* offset) {
    if (!har || index < 0)
        return nullptr;
    XarHeader* h = har_header(har);
    if (!h || index >= har_total_of(h))
        return nullptr;
    int pi = index / h->har_page_size;
    int off = index % h->har_page_size;
    if (page)
        *page = pi;
    if (offset)
        *offset = off;
    return static_cast<char*>(har_pages(h)[pi]) + size_t(off) * size_t(h->har_entry_size);
}

int har_resize(void** phar, int n) {
    if (!phar || !*phar || n < 0)
        return kStBadArg;
    XarHeader* h = har_header(*phar);
    if (!h)
        return kStBadArg;
    const int64_t old = har_total_of(h);
    if (n <= old) {
        har_shrink(h, n);
        return kStOk;
    }
    const int64_t ps = h->har_page_size;
    const int64_t pages_needed = (n - 1) / ps + 1;
    if (!reserve(h, pages_needed))
        return kStNoMem;
    *phar = data_of(h);
    // Fill the last page, then add whole pages; every added entry is zero.
    if (h->count > 0) {
        XarHeader* last = header_of(har_pages(h)[h->count - 1]);
        int64_t fill = std::min<int64_t>(ps, n - (h->count - 1) * ps);
        set_count(last, fill); // within the page's own capacity: cannot fail
    }
    while (h->count < pages_needed) {
        void* page = har_new_page(h);
        if (!page) {
            har_shrink(h, old);
            return kStNoMem;
        }
        XarHeader* p = header_of(page);
        p->count = int32_t(std::min<int64_t>(ps, n - int64_t(h->count) * ps));
        har_pages(h)[h->count++] = page;
    }
    return kStOk;
}

int har_copy(void** pdst, const void* src) {
    if (!pdst)
        return kStBadArg;
    *pdst = nullptr;
    if (!src)
        return kStOk;
    XarHeader* s = har_header(src);
    if (!s)
        return kStBadArg;
    void* made = har_alloc(s->har_entry_size, s->har_page_size);
    if (!made)
        return kStNoMem;
    XarHeader* d = header_of(made);
    if (!reserve(d, s->count)) {
        har_free_all(d);
        return kStNoMem;
    }
    for (int i = 0; i < s->count; ++i) {
        void* page = har_new_page(d);
        if (!page) {
            har_free_all(d);
            return kStNoMem;
        }
        XarHeader* sp = header_of(har_pages(s)[i]);
        XarHeader* dp = header_of(page);
        std::memcpy(data_of(dp), data_of(sp), size_t(sp->count) * size_t(sp->elem_size));
        dp->count = sp->count;
        har_pages(d)[d->count++] = page;
    }
    *pdst = data_of(d);
    return kStOk;
}

void har_free(void** phar) {
    if (!phar || !*phar)
        return;
    XarHeader* h = header_of(*phar);
    if (h->magic == kHarMagic)
        har_free_all(h);
    else
        raw_free(h);
    *phar = nullptr;
}

// ---- QelArray --------------------------------------------------------
int QelArrayAlloc(int count, int elem_size, int growth, void** out) {
    if (!out || count < 0 || elem_size <= 0)
        return kStBadArg;
    *out = xar_alloc(count, elem_size, growth);
    return *out ? kStOk : kStNoMem;
}

int QelArraySizeGet(const void* arr, int* size) {
    if (!size)
        return kStBadArg;
    *size = 0;
    if (!arr)
        return kStBadArg;
    *size = header_of(arr)->count;
    return kStOk;
}

int QelArrayObjectAdd(void** parr, int position, int n, const void* objects) {
    if (!parr || !*parr || n < 0 || (n > 0 && !objects))
        return kStBadArg;
    XarHeader* h = header_of(*parr);
    if (h->magic == kHarMagic)
        return kStBadArg;
    const int old = h->count;
    if (position == -1)
        position = old;
    if (position < 0 || position > old)
        return kStBadArg;
    if (n == 0)
        return kStOk;
    const size_t es = size_t(h->elem_size);
    const size_t bytes = size_t(n) * es;
    // Objects taken from this very array are copied aside first: the
    // storage may move and the tail shifts under them.
    std::vector<char> aside;
    if (ranges_overlap(objects, bytes, data_of(h), size_t(h->capacity) * es)) {
        aside.assign(static_cast<const char*>(objects), static_cast<const char*>(objects) + bytes);
        objects = aside.data();
    }
    if (!reserve(h, int64_t(old) + n))
        return kStNoMem;
    char* base = data_of(h);
    std::memmove(base + size_t(position + n) * es, base + size_t(position) * es,
                 size_t(old - position) * es);
    std::memcpy(base + size_t(position) * es, objects, bytes);
    h->count = old + n;
    *parr = base;
    return kStOk;
}

int QelArrayFree(void** parr) {
    if (!parr)
        return kStBadArg;
    xar_free(parr);
    return kStOk;
}

// ---- search ----------------------------------------------------------
uint32_t binary_srch_array(int count, xar_compare_fn cmp, int elem_size, const void* key,
                           const void* array) {
    if (count <= 0 || !cmp || elem_size <= 0 || !key || !array)
        return 0xFFFFFFFFu;
    const char* base = static_cast<const char*>(array);
    int lo = 0;
    int hi = count - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = cmp(key, base + size_t(mid) * size_t(elem_size));
        if (c == 0)
            return uint32_t(mid);
        if (c < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0xFFFFFFFFu;
}

} // extern "C"
