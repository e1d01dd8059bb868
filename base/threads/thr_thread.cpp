#include "thr_thread.h"

#include "thr.h"

#include <system_error>

thrThread::thrThread(bool autoDelete) : autoDelete_(autoDelete) {}

void thrThread::Settle() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach(); // an auto-deleting thread ends itself
        else
            thread_.join();
    }
}

bool thrThread::Execute(int /*type*/, int /*priority*/) {
    if (started_)
        return false;
    started_ = true;
    running_.store(true, std::memory_order_release);
    const bool autoDelete = autoDelete_;
    std::thread t;
    try {
        t = std::thread([this] { Main(); });
    } catch (const std::system_error&) {
        started_ = false;
        running_.store(false, std::memory_order_release);
        return false;
    }
    // An auto-deleting thread may already be gone: no member is touched.
    if (autoDelete)
        t.detach();
    else
        thread_ = std::move(t);
    return true;
}

void thrThread::Join() {
    if (!autoDelete_ && thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void thrThread::Main() {
    id_.store(thrCurrentThreadId(), std::memory_order_release);
    try {
        Run();
    } catch (...) {
        // An exception may not leave a thread; the thread just ends.
    }
    running_.store(false, std::memory_order_release);
    if (autoDelete_)
        delete this;
}
