// base/threads: thread ids, the recursive mutex, threads and conditions,
// and time values. It uses process/.
//
// Threads of the base library: per-thread ids, the mutex that the program
// locks inline (with its own owner and recursion bookkeeping over an
// operating-system lock), a scoped locker, and time values.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>
#include <mutex>

// Id of the calling thread: fixed for the thread's life, distinct between
// live threads, never 0.
inline namespace zbase_internal {
uint32_t thrCurrentThreadId();
// Whether threads are in use; this library always answers true.
bool IsThreadingEnabled();
ZBASE_API void EnableThreading();
} // namespace zbase_internal

class thrMutex {
public:
    static constexpr uint32_t kPlain = 0;
    static constexpr uint32_t kRecursive = 1;

    explicit thrMutex(uint32_t kind = kRecursive, bool active = true)
        : kind_(kind), active_(active ? 1 : 0) {}
    thrMutex(const thrMutex&) = delete;
    thrMutex& operator=(const thrMutex&) = delete;

    // A recursive mutex locked again by its owner only counts the depth; a
    // plain one locked twice by one thread ends the process.
    void Lock();
    // By the owner only (anyone else ends the process). A recursive mutex
    // with depth above 0 only counts down; otherwise it is released.
    void Unlock();

    [[noreturn]] static void AbortMsgIllegalMutexOp();

    uint32_t Kind() const { return kind_; }
    uint32_t Depth() const { return depth_; }
    uint32_t Owner() const { return owner_.load(std::memory_order_acquire); }
    bool IsActive() const { return active_ != 0; }

private:
    // False when threading is off (asked again next time).
    bool threadingOn();

    std::mutex os_lock_;
    uint32_t kind_;
    uint32_t depth_ = 0; // touched by the owner only
    uint8_t active_;
    std::atomic<uint8_t> threading_{0};
    std::atomic<uint32_t> owner_{0};
};

// Holds a thrMutex locked for a scope.
class thrMutexLocker {
public:
    explicit thrMutexLocker(thrMutex& m) : m_(m) { m_.Lock(); }
    ~thrMutexLocker() { m_.Unlock(); }
    thrMutexLocker(const thrMutexLocker&) = delete;
    thrMutexLocker& operator=(const thrMutexLocker&) = delete;

private:
    thrMutex& m_;
};

// Seconds and microseconds; always normalised so that the microseconds lie
// in [0, 1000000). Values beyond the 32-bit second range saturate.
class btkTimeval {
public:
    btkTimeval() = default;
    btkTimeval(int seconds, int microseconds);
    explicit btkTimeval(double seconds) { FromDouble(seconds); }

    void Normalize();
    void FromDouble(double seconds);
    double ToDouble() const;

    int32_t Sec() const { return sec_; }
    int32_t USec() const { return usec_; }

    friend bool operator==(const btkTimeval& a, const btkTimeval& b) {
        return a.sec_ == b.sec_ && a.usec_ == b.usec_;
    }

private:
    void set(int64_t sec, int64_t usec);

    int32_t sec_ = 0;
    int32_t usec_ = 0;
};
