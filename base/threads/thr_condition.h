// A condition variable with its own recursive lock. The lock remembers its
// owning thread and counts recursion, as thrMutex does; Wait gives it up
// wholly and takes it back at the same depth.
//
// The condition waited for is Test(), evaluated under the lock; a derived
// class answers it from its own state (the base answers true). A signaller
// changes that state under the lock, then calls Signal:
//     c.Lock(); ready = true; c.Signal(); c.Unlock();
// and a waiter calls WaitForLock(), which returns holding the lock once
// Test() is true, so no signal is ever lost.
//
// An internal class: only the members that zpi50 calls are exported, and,
// as for thrThread, every virtual operation is inline, so that no library
// exports its virtual table or type information.
#pragma once

#include "zbase_export.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

inline namespace zbase_internal {
class thrCondition {
public:
    thrCondition() = default;
    virtual ~thrCondition() = default;
    thrCondition(const thrCondition&) = delete;
    thrCondition& operator=(const thrCondition&) = delete;

    virtual bool Test() { return true; }

    ZBASE_API void Lock();
    // By the owner only (anyone else ends the process).
    ZBASE_API void Unlock();
    uint32_t Owner() const;
    // Times the owner has locked it (0 when free).
    uint32_t Depth() const;

    // Wakes the waiters; they test again.
    ZBASE_API void Signal();
    void Broadcast() { Signal(); }

    // By the owner: releases the lock, waits for a signal, takes the lock
    // back. A negative timeout waits without limit; false when the time ran
    // out (the lock is held again either way).
    bool Wait(double timeoutSeconds = -1.0);

    // Locks and waits until Test() is true; returns holding the lock.
    ZBASE_API void WaitForLock();
    // The same within a time limit: false when the time ran out first, and
    // the lock is then not held.
    bool WaitForLock(double timeoutSeconds);

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    uint32_t owner_ = 0;      // guarded by m_
    uint32_t depth_ = 0;      // guarded by m_
    uint64_t generation_ = 0; // counts signals; guarded by m_
};
} // namespace zbase_internal
