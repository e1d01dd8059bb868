// A thread of the base library: derive, implement Run, call Execute.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>
#include <thread>

class ZBASE_API thrThread {
public:
    static constexpr int kDefaultType = 0;
    static constexpr int kDefaultPriority = 0;

    // With autoDelete the object deletes itself when Run returns (and must
    // have been made with new); otherwise its owner destroys it, which waits
    // for Run to return, so the owner ends the thread's work first.
    explicit thrThread(bool autoDelete = false);
    virtual ~thrThread();
    thrThread(const thrThread&) = delete;
    thrThread& operator=(const thrThread&) = delete;

    // Starts Run on a new thread. False when the thread could not be made or
    // was started already. Type and priority are accepted for the interface;
    // every thread runs at the default priority.
    bool Execute(int type = kDefaultType, int priority = kDefaultPriority);
    // Waits until Run has returned (at once when it never started). Not for
    // an auto-deleting thread, nor from the thread itself.
    void Join();
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    // thrCurrentThreadId of the thread once it runs; 0 before.
    uint32_t GetThreadId() const { return id_.load(std::memory_order_acquire); }

protected:
    virtual void Run() = 0;

private:
    void Main();

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> id_{0};
    bool started_ = false;
    bool autoDelete_;
};
