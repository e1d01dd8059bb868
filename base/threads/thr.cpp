#include "thr.h"

#include "process.h"

#include <cmath>

namespace {
std::atomic<uint32_t> g_next_thread_id{1};
} // namespace

inline namespace zbase_internal {

uint32_t thrCurrentThreadId() {
    thread_local uint32_t id = 0;
    if (id == 0) {
        do
            id = g_next_thread_id.fetch_add(1, std::memory_order_relaxed);
        while (id == 0);
    }
    return id;
}

bool IsThreadingEnabled() { return true; }
void EnableThreading() {}

} // namespace zbase_internal

bool thrMutex::threadingOn() {
    if (threading_.load(std::memory_order_acquire))
        return true;
    if (!IsThreadingEnabled())
        return false;
    threading_.store(1, std::memory_order_release);
    return true;
}

void thrMutex::AbortMsgIllegalMutexOp() {
    _btkAbort("Illegal mutex operation", __FILE__, __LINE__);
}

void thrMutex::Lock() {
    if (!active_ || !threadingOn())
        return;
    const uint32_t me = thrCurrentThreadId();
    // Only this thread can have stored its own id, so this read is exact.
    if (owner_.load(std::memory_order_acquire) == me) {
        if (kind_ != kRecursive)
            AbortMsgIllegalMutexOp();
        ++depth_;
        return;
    }
    os_lock_.lock();
    owner_.store(me, std::memory_order_release);
}

void thrMutex::Unlock() {
    if (!active_ || !threadingOn())
        return;
    if (owner_.load(std::memory_order_acquire) != thrCurrentThreadId())
        AbortMsgIllegalMutexOp();
    if (kind_ == kRecursive && depth_ > 0) {
        --depth_;
        return;
    }
    owner_.store(0, std::memory_order_release);
    os_lock_.unlock();
}

btkTimeval::btkTimeval(int seconds, int microseconds) : sec_(seconds), usec_(microseconds) {
    Normalize();
}

void btkTimeval::set(int64_t sec, int64_t usec) {
    // Floor division keeps the microseconds non-negative.
    int64_t carry = usec / 1000000;
    usec %= 1000000;
    if (usec < 0) {
        usec += 1000000;
        --carry;
    }
    sec += carry;
    if (sec > INT32_MAX) {
        sec_ = INT32_MAX;
        usec_ = 999999;
    } else if (sec < INT32_MIN) {
        sec_ = INT32_MIN;
        usec_ = 0;
    } else {
        sec_ = int32_t(sec);
        usec_ = int32_t(usec);
    }
}

void btkTimeval::Normalize() { set(sec_, usec_); }

void btkTimeval::FromDouble(double seconds) {
    if (std::isnan(seconds))
        seconds = 0;
    // Clamp first so that the conversions below stay defined.
    if (seconds >= 2147483648.0) {
        set(INT32_MAX, 999999);
        return;
    }
    if (seconds < -2147483648.0) {
        set(INT32_MIN, 0);
        return;
    }
    double whole = std::floor(seconds);
    set(int64_t(whole), std::llround((seconds - whole) * 1e6));
}

double btkTimeval::ToDouble() const { return double(sec_) + double(usec_) / 1e6; }
