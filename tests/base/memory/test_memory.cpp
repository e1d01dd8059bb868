#include "xmemory.h"
#include "xarholder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

TEST(Getmem, ZeroFilledAndBadSizes) {
    auto* p = static_cast<unsigned char*>(getmem(4096));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(p[i], 0) << i;
    rlsmem(p);
    EXPECT_EQ(getmem(SIZE_MAX), nullptr);
    EXPECT_EQ(getmem(SIZE_MAX / 2 + 1), nullptr);
    void* empty = getmem(0);
    EXPECT_NE(empty, nullptr);
    relmem(empty);
    rlsmem(nullptr);
    relmem(nullptr);
}

TEST(Xar, AllocZeroFilledAndRefusesBadArguments) {
    auto* a = static_cast<int*>(xar_alloc(7, sizeof(int), 0));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(xar_count(a), 7);
    EXPECT_EQ(xar_elem_size(a), int(sizeof(int)));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(a[i], 0);
    xar_free(a);
    EXPECT_EQ(a, nullptr);

    EXPECT_EQ(xar_alloc(-1, 4, 1), nullptr);
    EXPECT_EQ(xar_alloc(1, 0, 1), nullptr);
    EXPECT_EQ(xar_alloc(1, -8, 1), nullptr);
    // count * size beyond what an array may hold
    EXPECT_EQ(xar_alloc(INT32_MAX, 16, 1), nullptr);
    EXPECT_EQ(xar_alloc(xar_max_count_get(8) + 1, 8, 1), nullptr);
    EXPECT_EQ(xar_count(nullptr), 0);
    EXPECT_EQ(xar_elem_size(nullptr), 0);
    EXPECT_EQ(xar_max_count_get(0), 0);
    EXPECT_EQ(xar_max_count_get(-3), 0);
    EXPECT_GE(xar_max_count_get(24), 80'000'000);
}

TEST(Xar, GrowthKeepsContents) {
    double* a = static_cast<double*>(xar_alloc(0, sizeof(double), 1));
    for (int i = 0; i < 10000; ++i) {
        double v = i * 0.5;
        ASSERT_EQ(xar_append(a, 1, &v), 0);
    }
    ASSERT_EQ(xar_count(a), 10000);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(a[i], i * 0.5);
    // Several at once, and zero-filled when no source is given.
    double three[3] = {1, 2, 3};
    ASSERT_EQ(xar_append(a, 3, three), 0);
    ASSERT_EQ(xar_append(a, 2, nullptr), 0);
    EXPECT_EQ(xar_count(a), 10005);
    EXPECT_EQ(a[10002], 3.0);
    EXPECT_EQ(a[10003], 0.0);
    EXPECT_EQ(a[10004], 0.0);
    xar_free(a);
}

TEST(Xar, AppendFromItselfAcrossReallocation) {
    int* a = static_cast<int*>(xar_alloc(0, sizeof(int), 1));
    int v[4] = {10, 20, 30, 40};
    ASSERT_EQ(xar_append(a, 4, v), 0);
    for (int round = 0; round < 6; ++round)
        ASSERT_EQ(xar_append(a, xar_count(a), a), 0);
    ASSERT_EQ(xar_count(a), 4 * 64);
    for (int i = 0; i < xar_count(a); ++i)
        ASSERT_EQ(a[i], v[i % 4]);
    xar_free(a);
}

TEST(Xar, AppendRefusesBadArguments) {
    void* null_arr = nullptr;
    int v = 1;
    EXPECT_EQ(xar_append(&null_arr, 1, &v), -2);
    EXPECT_EQ(xar_append(static_cast<void**>(nullptr), 1, &v), -2);
    void* a = xar_alloc(1, 8, 1);
    EXPECT_EQ(xar_append(&a, -1, nullptr), -2);
    EXPECT_EQ(xar_append(&a, INT32_MAX, nullptr), -10);
    EXPECT_EQ(xar_count(a), 1);
    xar_free(&a);
}

TEST(Xar, AllocOrAppend) {
    int* a = nullptr;
    int v[2] = {5, 6};
    ASSERT_EQ(xar_alloc_or_append(a, sizeof(int), 10, 2, v), 0);
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(xar_alloc_or_append(a, sizeof(int), 10, 1, v), 0);
    EXPECT_EQ(xar_count(a), 3);
    EXPECT_EQ(a[2], 5);
    // Another element size than the array's would mix records.
    EXPECT_EQ(xar_alloc_or_append(a, 8, 10, 1, v), -2);
    xar_free(a);
    EXPECT_EQ(xar_alloc_or_append(a, 0, 10, 1, v), -2);
    EXPECT_EQ(a, nullptr);
}

TEST(Xar, RemoveRanges) {
    std::vector<int> src = {0, 1, 2, 3, 4, 5, 6, 7};
    int* a = static_cast<int*>(xar_alloc(0, sizeof(int), 4));
    ASSERT_EQ(xar_append(a, 8, src.data()), 0);
    ASSERT_EQ(xar_remove(a, 2, 3), 0); // 0 1 5 6 7
    ASSERT_EQ(xar_count(a), 5);
    EXPECT_EQ(a[1], 1);
    EXPECT_EQ(a[2], 5);
    EXPECT_EQ(a[4], 7);
    ASSERT_EQ(xar_remove(a, 4, 1), 0); // last
    ASSERT_EQ(xar_remove(a, 0, 1), 0); // first
    ASSERT_EQ(xar_count(a), 3);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[2], 6);
    EXPECT_EQ(xar_remove(a, 3, 0), 0);
    EXPECT_EQ(xar_remove(a, 2, 2), -2);
    EXPECT_EQ(xar_remove(a, 4, 0), -2);
    EXPECT_EQ(xar_remove(a, -1, 1), -2);
    EXPECT_EQ(xar_remove(a, 0, -1), -2);
    EXPECT_EQ(xar_remove(a, INT32_MAX, INT32_MAX), -2);
    EXPECT_EQ(xar_count(a), 3);
    ASSERT_EQ(xar_remove(a, 0, 3), 0);
    EXPECT_EQ(xar_count(a), 0);
    xar_free(a);
}

TEST(Xar, ResizeAndExtendZeroFill) {
    int* a = static_cast<int*>(xar_alloc(4, sizeof(int), 1));
    for (int i = 0; i < 4; ++i)
        a[i] = 99;
    ASSERT_EQ(xar_resize(a, 1), 0);
    ASSERT_EQ(xar_resize(a, 50), 0);
    EXPECT_EQ(a[0], 99);
    for (int i = 1; i < 50; ++i)
        ASSERT_EQ(a[i], 0) << i;
    EXPECT_EQ(xar_resize(a, -1), -2);

    void* p = a;
    void* first = nullptr;
    ASSERT_EQ(xar_extend(&p, 3, &first), 0);
    a = static_cast<int*>(p);
    EXPECT_EQ(xar_count(a), 53);
    EXPECT_EQ(first, a + 50);
    EXPECT_EQ(xar_extend(&p, -1, &first), -2);
    xar_free(&p);

    void* none = nullptr;
    EXPECT_EQ(xar_resize(&none, 3), -2);
    EXPECT_EQ(xar_extend(&none, 3, nullptr), -2);
}

TEST(Xar, CopyIsIndependent) {
    int v[3] = {1, 2, 3};
    int* a = static_cast<int*>(xar_alloc(0, sizeof(int), 2));
    ASSERT_EQ(xar_append(a, 3, v), 0);
    int* b = nullptr;
    ASSERT_EQ(xar_cpy(b, a), 0);
    ASSERT_NE(b, a);
    ASSERT_EQ(xar_count(b), 3);
    b[0] = 100;
    int w = 4;
    ASSERT_EQ(xar_append(b, 1, &w), 0);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(xar_count(a), 3);
    EXPECT_EQ(xar_count(b), 4);
    xar_free(a);
    xar_free(b);

    int* c = reinterpret_cast<int*>(0x1);
    EXPECT_EQ(xar_cpy(c, nullptr), 0);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(xar_cpy(static_cast<void**>(nullptr), nullptr), -2);
}

struct Entry {
    int64_t id;
    double value[3];
};

TEST(Har, EntriesKeepTheirAddresses) {
    void* h = har_alloc(sizeof(Entry), 5);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(har_total(h), 0);
    EXPECT_EQ(har_entry_size(h), int(sizeof(Entry)));
    std::vector<Entry*> where;
    for (int i = 0; i < 1000; ++i) {
        Entry e{i, {i * 1.0, 0, 0}};
        ASSERT_EQ(har_append(&h, &e), 0);
        where.push_back(static_cast<Entry*>(har_access(h, i, nullptr, nullptr)));
    }
    ASSERT_EQ(har_total(h), 1000);
    EXPECT_EQ(xar_count(h), 200); // pages
    for (int i = 0; i < 1000; ++i) {
        int page = -1, offset = -1;
        Entry* e = static_cast<Entry*>(har_access(h, i, &page, &offset));
        ASSERT_EQ(e, where[i]) << i;
        ASSERT_EQ(e->id, i);
        ASSERT_EQ(page, i / 5);
        ASSERT_EQ(offset, i % 5);
    }
    // Pages walked one by one give the entries in index order.
    void** pages = static_cast<void**>(h);
    int next = 0;
    for (int p = 0; p < xar_count(h); ++p)
        for (int k = 0; k < xar_count(pages[p]); ++k)
            ASSERT_EQ(static_cast<Entry*>(pages[p])[k].id, next++);
    EXPECT_EQ(next, 1000);
    EXPECT_EQ(har_access(h, 1000, nullptr, nullptr), nullptr);
    EXPECT_EQ(har_access(h, -1, nullptr, nullptr), nullptr);
    har_free(&h);
    EXPECT_EQ(h, nullptr);
}

TEST(Har, ResizeZeroFills) {
    int* h = static_cast<int*>(har_alloc(sizeof(int), 4));
    ASSERT_EQ(har_resize(h, 10), 0);
    ASSERT_EQ(har_total(h), 10);
    for (int i = 0; i < 10; ++i) {
        int* e = static_cast<int*>(har_access(h, i, nullptr, nullptr));
        ASSERT_EQ(*e, 0);
        *e = -1;
    }
    ASSERT_EQ(har_resize(h, 3), 0);
    EXPECT_EQ(har_total(h), 3);
    EXPECT_EQ(xar_count(h), 1);
    ASSERT_EQ(har_resize(h, 13), 0);
    EXPECT_EQ(*static_cast<int*>(har_access(h, 2, nullptr, nullptr)), -1);
    for (int i = 3; i < 13; ++i)
        ASSERT_EQ(*static_cast<int*>(har_access(h, i, nullptr, nullptr)), 0) << i;
    // Appending after a resize continues in the partly filled page.
    int v = 7;
    ASSERT_EQ(har_append(h, &v), 0);
    EXPECT_EQ(*static_cast<int*>(har_access(h, 13, nullptr, nullptr)), 7);
    ASSERT_EQ(har_resize(h, 0), 0);
    EXPECT_EQ(har_total(h), 0);
    EXPECT_EQ(har_resize(h, -1), -2);
    har_free(h);
}

TEST(Har, CopyIsIndependentAndBadArguments) {
    void* h = har_alloc(sizeof(int), 3);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(har_append(&h, &i), 0);
    void* c = nullptr;
    ASSERT_EQ(har_copy(&c, h), 0);
    ASSERT_EQ(har_total(c), 8);
    *static_cast<int*>(har_access(c, 4, nullptr, nullptr)) = 400;
    int v = 8;
    ASSERT_EQ(har_append(&c, &v), 0);
    EXPECT_EQ(*static_cast<int*>(har_access(h, 4, nullptr, nullptr)), 4);
    EXPECT_EQ(har_total(h), 8);
    EXPECT_EQ(har_total(c), 9);
    har_free(&c);
    // A har freed through xar_free loses none of its pages (leak-checked).
    xar_free(&h);

    EXPECT_EQ(har_alloc(0, 5), nullptr);
    EXPECT_EQ(har_alloc(4, 0), nullptr);
    EXPECT_EQ(har_alloc(-4, 5), nullptr);
    EXPECT_EQ(har_alloc(1 << 20, 1 << 20), nullptr);
    void* none = nullptr;
    EXPECT_EQ(har_append(&none, &v), -2);
    EXPECT_EQ(har_total(nullptr), 0);
    EXPECT_EQ(har_copy(&none, nullptr), 0);
    EXPECT_EQ(none, nullptr);
    // A plain xar is not a har.
    void* x = xar_alloc(2, 4, 1);
    EXPECT_EQ(har_append(&x, &v), -2);
    EXPECT_EQ(har_access(x, 0, nullptr, nullptr), nullptr);
    xar_free(&x);
}

TEST(QelArray, Statuses) {
    void* a = nullptr;
    EXPECT_EQ(QelArrayAlloc(-1, 4, 1, &a), -2);
    EXPECT_EQ(QelArrayAlloc(1, 0, 1, &a), -2);
    EXPECT_EQ(QelArrayAlloc(1, 4, 1, nullptr), -2);
    EXPECT_EQ(QelArrayAlloc(INT32_MAX, 4, 1, &a), -10);
    ASSERT_EQ(QelArrayAlloc(0, sizeof(int), 1, &a), 0);
    int size = -1;
    ASSERT_EQ(QelArraySizeGet(a, &size), 0);
    EXPECT_EQ(size, 0);

    int v[3] = {1, 2, 3};
    ASSERT_EQ(QelArrayObjectAdd(&a, -1, 2, v), 0);     // 1 2
    ASSERT_EQ(QelArrayObjectAdd(&a, 0, 1, v + 2), 0);  // 3 1 2
    ASSERT_EQ(QelArrayObjectAdd(&a, 1, 3, v), 0);      // 3 1 2 3 1 2
    ASSERT_EQ(QelArrayObjectAdd(&a, 0, 2, a), 0);      // from itself: 3 1 3 1 2 3 1 2
    ASSERT_EQ(QelArraySizeGet(a, &size), 0);
    ASSERT_EQ(size, 8);
    const int want[8] = {3, 1, 3, 1, 2, 3, 1, 2};
    EXPECT_EQ(std::memcmp(a, want, sizeof want), 0);
    EXPECT_EQ(QelArrayObjectAdd(&a, 9, 1, v), -2);
    EXPECT_EQ(QelArrayObjectAdd(&a, -2, 1, v), -2);
    EXPECT_EQ(QelArrayObjectAdd(&a, 0, -1, v), -2);
    EXPECT_EQ(QelArrayObjectAdd(&a, 0, 1, nullptr), -2);
    EXPECT_EQ(QelArrayObjectAdd(&a, 0, INT32_MAX, v), -10);

    EXPECT_EQ(QelArraySizeGet(nullptr, &size), -2);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(QelArraySizeGet(a, nullptr), -2);
    EXPECT_EQ(QelArrayFree(&a), 0);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(QelArrayFree(nullptr), -2);
    void* none = nullptr;
    EXPECT_EQ(QelArrayObjectAdd(&none, -1, 1, v), -2);
}

int cmp_int(const void* a, const void* b) {
    int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
    return (x > y) - (x < y);
}

TEST(BinarySearch, FoundAbsentAndBadArguments) {
    const int sorted[] = {-7, -1, 0, 3, 8, 20, 21};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(binary_srch_array(7, cmp_int, sizeof(int), &sorted[i], sorted), uint32_t(i));
    for (int key : {-8, -2, 1, 9, 22})
        EXPECT_EQ(binary_srch_array(7, cmp_int, sizeof(int), &key, sorted), 0xFFFFFFFFu) << key;
    int key = 3;
    EXPECT_EQ(binary_srch_array(0, cmp_int, sizeof(int), &key, sorted), 0xFFFFFFFFu);
    EXPECT_EQ(binary_srch_array(-1, cmp_int, sizeof(int), &key, sorted), 0xFFFFFFFFu);
    EXPECT_EQ(binary_srch_array(7, nullptr, sizeof(int), &key, sorted), 0xFFFFFFFFu);
    EXPECT_EQ(binary_srch_array(7, cmp_int, 0, &key, sorted), 0xFFFFFFFFu);
    EXPECT_EQ(binary_srch_array(7, cmp_int, sizeof(int), nullptr, sorted), 0xFFFFFFFFu);
    EXPECT_EQ(binary_srch_array(7, cmp_int, sizeof(int), &key, nullptr), 0xFFFFFFFFu);
}

TEST(InitMemory, Counts) {
    int before = init_memory_calls();
    init_memory();
    EXPECT_EQ(init_memory_calls(), before + 1);
}

} // namespace

namespace {

struct Uv {
    double u[4];
};

static_assert(!std::is_copy_constructible_v<xarholder<double>>);
static_assert(!std::is_copy_assignable_v<xarholder<double>>);
static_assert(std::is_nothrow_move_constructible_v<xarholder<double>>);

TEST(XarHolder, AppendCountRelease) {
    xarholder<double> h(10, 0);
    ASSERT_TRUE(h.Exists());
    EXPECT_EQ(h.Count(), 0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(h.Append(i * 2.0), 0);
    ASSERT_EQ(h.Count(), 100);
    EXPECT_EQ(h[37], 74.0);
    EXPECT_EQ(*h.Get(99), 198.0);
    ASSERT_EQ(h.Append(h[1]), 0); // an element of its own array
    EXPECT_EQ(h[100], 2.0);

    double* out = h.Release();
    EXPECT_FALSE(h.Exists());
    EXPECT_EQ(h.Count(), 0);
    EXPECT_EQ(xar_count(out), 101);
    xar_free(out);

    xarholder<Uv> uv(10, 3);
    EXPECT_EQ(uv.Count(), 3);
    EXPECT_EQ(uv[2].u[3], 0.0);
    Uv one{{1, 2, 3, 4}};
    ASSERT_EQ(uv.Append(one), 0);
    EXPECT_EQ(uv[3].u[2], 3.0);
    EXPECT_EQ(xar_elem_size(uv.Data()), int(sizeof(Uv)));
}

TEST(XarHolder, NoArrayAndMoves) {
    xarholder<int> none;
    EXPECT_EQ(none.Append(5), -2); // never creates an array
    EXPECT_FALSE(none.Exists());
    xarholder<int> bad(10, -1);
    EXPECT_FALSE(bad.Exists());

    xarholder<int> a(10, 0);
    a.Append(7);
    int* arr = a.Data();
    xarholder<int> b(std::move(a));
    EXPECT_FALSE(a.Exists());
    EXPECT_EQ(b.Data(), arr);
    xarholder<int> c(10, 2);
    c = std::move(b); // frees c's own array (leak-checked)
    EXPECT_EQ(c.Data(), arr);
    EXPECT_EQ(c[0], 7);
}

} // namespace
