#include "thr_condition.h"

#include "thr.h"

#include <chrono>

void thrCondition::Lock() {
    const uint32_t me = thrCurrentThreadId();
    std::unique_lock<std::mutex> hold(m_);
    if (owner_ == me) {
        ++depth_;
        return;
    }
    cv_.wait(hold, [this] { return owner_ == 0; });
    owner_ = me;
    depth_ = 1;
}

void thrCondition::Unlock() {
    const uint32_t me = thrCurrentThreadId();
    std::unique_lock<std::mutex> hold(m_);
    if (owner_ != me || depth_ == 0) {
        hold.unlock();
        thrMutex::AbortMsgIllegalMutexOp();
    }
    if (--depth_ == 0) {
        owner_ = 0;
        hold.unlock();
        cv_.notify_all();
    }
}

uint32_t thrCondition::Owner() const {
    std::lock_guard<std::mutex> hold(m_);
    return owner_;
}

uint32_t thrCondition::Depth() const {
    std::lock_guard<std::mutex> hold(m_);
    return depth_;
}

void thrCondition::Signal() {
    {
        std::lock_guard<std::mutex> hold(m_);
        ++generation_;
    }
    cv_.notify_all();
}

bool thrCondition::Wait(double timeoutSeconds) {
    const uint32_t me = thrCurrentThreadId();
    std::unique_lock<std::mutex> hold(m_);
    if (owner_ != me || depth_ == 0) {
        hold.unlock();
        thrMutex::AbortMsgIllegalMutexOp();
    }
    const uint32_t depth = depth_;
    const uint64_t seen = generation_;
    owner_ = 0;
    depth_ = 0;
    cv_.notify_all(); // the lock is free for others now
    bool signalled = true;
    if (timeoutSeconds < 0) {
        cv_.wait(hold, [&] { return generation_ != seen; });
    } else {
        const auto limit = std::chrono::steady_clock::now() +
                           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                               std::chrono::duration<double>(timeoutSeconds));
        signalled = cv_.wait_until(hold, limit, [&] { return generation_ != seen; });
    }
    cv_.wait(hold, [this] { return owner_ == 0; });
    owner_ = me;
    depth_ = depth;
    return signalled;
}

void thrCondition::WaitForLock() {
    Lock();
    while (!Test())
        Wait();
}

bool thrCondition::WaitForLock(double timeoutSeconds) {
    const auto limit = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(timeoutSeconds < 0 ? 0 : timeoutSeconds));
    Lock();
    while (!Test()) {
        const double left =
            std::chrono::duration<double>(limit - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            Unlock();
            return false;
        }
        Wait(left);
    }
    return true;
}
