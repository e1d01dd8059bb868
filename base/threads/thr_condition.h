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
#pragma once

#include "zbase_export.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

class ZBASE_API thrCondition {
public:
    thrCondition();
    virtual ~thrCondition();
    thrCondition(const thrCondition&) = delete;
    thrCondition& operator=(const thrCondition&) = delete;

    virtual bool Test();

    void Lock();
    // By the owner only (anyone else ends the process).
    void Unlock();
    uint32_t Owner() const;
    // Times the owner has locked it (0 when free).
    uint32_t Depth() const;

    // Wakes the waiters; they test again.
    void Signal();
    void Broadcast() { Signal(); }

    // By the owner: releases the lock, waits for a signal, takes the lock
    // back. A negative timeout waits without limit; false when the time ran
    // out (the lock is held again either way).
    bool Wait(double timeoutSeconds = -1.0);

    // Locks and waits until Test() is true; returns holding the lock.
    void WaitForLock();
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
