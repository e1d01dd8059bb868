#include "thr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <thread>
#include <vector>

namespace {

TEST(ThrMutex, RecursiveDepthAndOwner) {
    thrMutex m; // recursive
    EXPECT_EQ(m.Owner(), 0u);
    m.Lock();
    EXPECT_EQ(m.Owner(), thrCurrentThreadId());
    EXPECT_EQ(m.Depth(), 0u);
    m.Lock();
    m.Lock();
    EXPECT_EQ(m.Depth(), 2u);
    m.Unlock();
    m.Unlock();
    // Still owned, depth 0: one more unlock releases it.
    EXPECT_EQ(m.Owner(), thrCurrentThreadId());
    EXPECT_EQ(m.Depth(), 0u);
    m.Unlock();
    EXPECT_EQ(m.Owner(), 0u);

    // Another thread can take it now.
    std::thread([&] {
        thrMutexLocker hold(m);
        EXPECT_EQ(m.Owner(), thrCurrentThreadId());
    }).join();
    EXPECT_EQ(m.Owner(), 0u);
}

TEST(ThrMutex, InactiveMutexDoesNothing) {
    thrMutex m(thrMutex::kPlain, false);
    m.Lock();
    m.Lock();
    EXPECT_EQ(m.Owner(), 0u);
    m.Unlock();
}

TEST(ThrMutex, TwoThreadsContend) {
    thrMutex m;
    long counter = 0; // guarded by m
    std::atomic<bool> overlap{false};
    std::atomic<int> inside{0};
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            thrMutexLocker outer(m);
            thrMutexLocker inner(m); // recursion under contention
            if (inside.fetch_add(1) != 0)
                overlap = true;
            ++counter;
            inside.fetch_sub(1);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_FALSE(overlap.load());
    EXPECT_EQ(counter, 40000);
    EXPECT_EQ(m.Owner(), 0u);
}

TEST(ThrMutex, ThreadIdsAreDistinctAndNonZero) {
    std::set<uint32_t> ids{thrCurrentThreadId()};
    EXPECT_EQ(thrCurrentThreadId(), *ids.begin());
    std::vector<uint32_t> got(4);
    std::vector<std::thread> ts;
    for (int i = 0; i < 4; ++i)
        ts.emplace_back([&got, i] { got[i] = thrCurrentThreadId(); });
    for (auto& t : ts)
        t.join();
    for (uint32_t id : got) {
        EXPECT_NE(id, 0u);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_TRUE(IsThreadingEnabled());
}

TEST(ThrMutexDeathTest, IllegalOperationsAbort) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            thrMutex m;
            m.Unlock(); // not the owner: nobody owns it
        },
        "Illegal mutex operation");
    EXPECT_DEATH(
        {
            thrMutex m;
            m.Lock();
            std::thread([&] { m.Unlock(); }).join(); // unlock by another thread
        },
        "Illegal mutex operation");
    EXPECT_DEATH(
        {
            thrMutex m(thrMutex::kPlain);
            m.Lock();
            m.Lock(); // a plain mutex locked twice by its owner
        },
        "Illegal mutex operation");
}

TEST(BtkTimeval, Normalises) {
    btkTimeval a(1, 2500000);
    EXPECT_EQ(a.Sec(), 3);
    EXPECT_EQ(a.USec(), 500000);
    btkTimeval b(1, -1);
    EXPECT_EQ(b.Sec(), 0);
    EXPECT_EQ(b.USec(), 999999);
    btkTimeval c(0, -2000000);
    EXPECT_EQ(c.Sec(), -2);
    EXPECT_EQ(c.USec(), 0);
    btkTimeval d(-3, -1500001);
    EXPECT_EQ(d.Sec(), -5);
    EXPECT_EQ(d.USec(), 499999);
    // Past the second range: saturates instead of wrapping.
    btkTimeval e(INT32_MAX, INT32_MAX);
    EXPECT_EQ(e.Sec(), INT32_MAX);
    EXPECT_EQ(e.USec(), 999999);
    btkTimeval f(INT32_MIN, -1);
    EXPECT_EQ(f.Sec(), INT32_MIN);
    EXPECT_EQ(f.USec(), 0);
    EXPECT_DOUBLE_EQ(btkTimeval(2, 250000).ToDouble(), 2.25);
}

TEST(BtkTimeval, FromDouble) {
    btkTimeval a(1.5);
    EXPECT_EQ(a.Sec(), 1);
    EXPECT_EQ(a.USec(), 500000);
    btkTimeval b(-0.25);
    EXPECT_EQ(b.Sec(), -1);
    EXPECT_EQ(b.USec(), 750000);
    EXPECT_DOUBLE_EQ(b.ToDouble(), -0.25);
    btkTimeval c(2.9999999); // rounds up into the next second
    EXPECT_EQ(c.Sec(), 3);
    EXPECT_EQ(c.USec(), 0);
    EXPECT_EQ(btkTimeval(1e30).Sec(), INT32_MAX);
    EXPECT_EQ(btkTimeval(-1e30).Sec(), INT32_MIN);
    EXPECT_EQ(btkTimeval(std::nan("")), btkTimeval());
}

} // namespace
