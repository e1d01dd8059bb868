// A thread of the base library: derive, implement Run, call Execute.
//
// An internal class: only the members that zpi50 calls are exported. Its
// virtual operations are all inline (it has no key function), so each
// library that uses it makes its own hidden virtual table and type
// information, and neither is exported: a program's own class of this name
// takes over nothing in the libraries.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>
#include <thread>

inline namespace zbase_internal {
class thrThread {
public:
    static constexpr int kDefaultType = 0;
    static constexpr int kDefaultPriority = 0;

    // With autoDelete the object deletes itself when Run returns (and must
    // have been made with new); otherwise its owner destroys it, which waits
    // for Run to return, so the owner ends the thread's work first.
    ZBASE_API explicit thrThread(bool autoDelete = false);
    virtual ~thrThread() { Settle(); }
    thrThread(const thrThread&) = delete;
    thrThread& operator=(const thrThread&) = delete;

    // Starts Run on a new thread. False when the thread could not be made or
    // was started already. Type and priority are accepted for the interface;
    // every thread runs at the default priority.
    ZBASE_API bool Execute(int type = kDefaultType, int priority = kDefaultPriority);
    // Waits until Run has returned (at once when it never started). Not for
    // an auto-deleting thread, nor from the thread itself.
    ZBASE_API void Join();
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    // thrCurrentThreadId of the thread once it runs; 0 before.
    uint32_t GetThreadId() const { return id_.load(std::memory_order_acquire); }

protected:
    virtual void Run() = 0;

private:
    void Main();
    // What the destructor does: waits for Run to return; on the thread
    // itself (an auto-deleting thread ending) lets it go instead.
    ZBASE_API void Settle();

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> id_{0};
    bool started_ = false;
    bool autoDelete_;
};
} // namespace zbase_internal
