// Helpers of the tests of a standard error whose reader is stuck: a pipe
// filled to its last byte, a periodic timer signal as a watchdog or a
// profiler installs one, whether a thread waits on standard error, and
// whether a call returns in time. Used by test programs and by the test
// translator, without GoogleTest.
#pragma once

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace stuckerr {

// A pipe (both ends close-on-exec) filled until a write of one byte more
// finds it full: fds[0] reads (non-blocking), fds[1] writes, non-blocking
// when asked (the flag belongs to the open pipe end, so a descriptor 2
// duplicated from it is non-blocking too). False when it was not made.
inline bool MakeFullPipe(int fds[2], bool nonBlocking) {
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    const std::string block(4096, 'f');
    while (::write(fds[1], block.data(), block.size()) > 0) {
    }
    while (::write(fds[1], "f", 1) > 0) {
    }
    return errno == EAGAIN && (nonBlocking || ::fcntl(fds[1], F_SETFL, 0) == 0);
}

// From now on SIGUSR1, handled with SA_RESTART, arrives every `ms`
// milliseconds (a timer of the monotonic clock).
inline bool StartTicking(long ms) {
    struct sigaction act {};
    act.sa_handler = [](int) {};
    act.sa_flags = SA_RESTART;
    ::sigemptyset(&act.sa_mask);
    sigevent event{};
    event.sigev_notify = SIGEV_SIGNAL;
    event.sigev_signo = SIGUSR1;
    timer_t timer{};
    itimerspec every{};
    every.it_interval = {ms / 1000, (ms % 1000) * 1000000};
    every.it_value = every.it_interval;
    return ::sigaction(SIGUSR1, &act, nullptr) == 0 &&
           ::timer_create(CLOCK_MONOTONIC, &event, &timer) == 0 &&
           ::timer_settime(timer, 0, &every, nullptr) == 0;
}

// Whether the thread `tid` of this process comes to wait in a write to
// descriptor 2 or in a poll within `limit` (as /proc tells its system call).
inline bool WaitsOnStandardError(pid_t tid, std::chrono::milliseconds limit) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        long number = -1;
        std::string first;
        std::ifstream(path) >> number >> first;
        if ((number == SYS_write && first == "0x2") || number == SYS_ppoll
#ifdef SYS_poll
            || number == SYS_poll
#endif
        )
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// Runs `call` on a thread of its own and answers whether it returned
// within `limit`. A call that does not return is left running: only a
// process that ends without waiting for it (a test's child) uses this.
inline bool ReturnsWithin(std::function<void()> call, std::chrono::milliseconds limit) {
    struct Done {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    std::thread([done, call = std::move(call)] {
        call();
        std::lock_guard<std::mutex> hold(done->mutex);
        done->done = true;
        done->cv.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(done->mutex);
    return done->cv.wait_for(hold, limit, [&] { return done->done; });
}

} // namespace stuckerr
