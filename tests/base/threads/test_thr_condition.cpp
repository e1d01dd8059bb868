#include "thr.h"
#include "thr_condition.h"
#include "thr_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class FlagCondition : public thrCondition {
public:
    bool Test() override { return flag; }
    bool flag = false; // under the lock
};

TEST(ThrCondition, SignalWakesTheWaiterHoldingTheLock) {
    FlagCondition c;
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        c.WaitForLock();
        EXPECT_EQ(c.Owner(), thrCurrentThreadId());
        EXPECT_TRUE(c.flag);
        woke = true;
        c.Unlock();
    });
    // However the two threads interleave, the flag set under the lock is
    // seen: no signal is lost.
    c.Lock();
    c.flag = true;
    c.Signal();
    c.Unlock();
    waiter.join();
    EXPECT_TRUE(woke);
    EXPECT_EQ(c.Owner(), 0u);
}

TEST(ThrCondition, WaitRestoresRecursionDepth) {
    thrCondition c;
    c.Lock();
    c.Lock();
    EXPECT_EQ(c.Depth(), 2u);
    std::thread other([&] {
        // Can take the lock only while the owner waits.
        c.Lock();
        c.Signal();
        c.Unlock();
    });
    EXPECT_TRUE(c.Wait(10.0));
    EXPECT_EQ(c.Depth(), 2u);
    EXPECT_EQ(c.Owner(), thrCurrentThreadId());
    c.Unlock();
    c.Unlock();
    other.join();
    EXPECT_EQ(c.Depth(), 0u);
}

TEST(ThrCondition, WaitForLockTimesOutWithoutTheLock) {
    FlagCondition c;
    EXPECT_FALSE(c.WaitForLock(0.05));
    EXPECT_EQ(c.Owner(), 0u);
    c.Lock();
    c.flag = true;
    c.Unlock();
    EXPECT_TRUE(c.WaitForLock(0.05));
    EXPECT_EQ(c.Owner(), thrCurrentThreadId());
    c.Unlock();
}

TEST(ThrThread, RunsOnceAndJoins) {
    struct Counter : thrThread {
        std::atomic<int> runs{0};
        uint32_t caller = thrCurrentThreadId();
        std::atomic<bool> otherThread{false};
        void Run() override {
            otherThread = thrCurrentThreadId() != caller;
            ++runs;
        }
    } t;
    EXPECT_EQ(t.GetThreadId(), 0u);
    ASSERT_TRUE(t.Execute());
    EXPECT_FALSE(t.Execute()); // once only
    t.Join();
    EXPECT_EQ(t.runs, 1);
    EXPECT_TRUE(t.otherThread);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_NE(t.GetThreadId(), 0u);
}

} // namespace
