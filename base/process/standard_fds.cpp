#include "standard_fds.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Closed(int fd) {
    return ::fcntl(fd, F_GETFD) < 0 && errno == EBADF;
}

// Run when the library is loaded, before the program's own constructors
// when it is linked into the program: each closed standard descriptor
// gets a descriptor that holds its number. An open takes the lowest free
// number, which is the one wanted unless another thread (of a program
// that loads the library late) took it meanwhile: what lands elsewhere
// is closed again.
__attribute__((constructor(101))) void HoldClosedStandardFds() {
    const int saved = errno;
    for (int fd = 0; fd <= 2; ++fd) {
        if (!Closed(fd))
            continue;
        int held = ::open("/dev/null", O_RDWR | O_NOCTTY);
        if (held < 0)
            held = ::open("/", O_PATH | O_DIRECTORY);
        if (held > 2)
            ::close(held);
    }
    errno = saved;
}

// How long a standard error left non-blocking is waited for while its
// reader takes nothing.
constexpr int kWaitSeconds = 10;

// Set when a line was given up because the reader of a non-blocking
// standard error took nothing for the whole wait; cleared by the first
// write that goes in again. While it is set, a line is tried once,
// without waiting. With it, whether the stream ends inside a line that
// was cut short, and the file both are about (descriptor 2's then); and
// the lines given up so, with the process that gave them up. (Changed
// only under the stderr stream's lock; atomic, as that lock is not one
// every checker sees.)
std::atomic<bool> g_readerStuck{false};
std::atomic<bool> g_endsCut{false};
std::atomic<uint64_t> g_stuckDevice{0};
std::atomic<uint64_t> g_stuckInode{0};
std::atomic<size_t> g_leftOut{0};
std::atomic<pid_t> g_leftOutBy{0};

// Notes descriptor 2's file as the one g_readerStuck and g_endsCut are
// about.
void NoteStuckFile() {
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return;
    g_stuckDevice.store(uint64_t(st.st_dev), std::memory_order_relaxed);
    g_stuckInode.store(uint64_t(st.st_ino), std::memory_order_relaxed);
}

// A reader put in place since (dup2, freopen, a child's own) is not the
// one that took nothing, and its stream holds no cut line: it starts
// afresh. The lines given up are told to it still, but only by the
// process that gave them up, not by a child of fork().
void ForgetAnotherReader() {
    if (g_readerStuck.load(std::memory_order_relaxed) ||
        g_endsCut.load(std::memory_order_relaxed)) {
        struct stat st {};
        if (::fstat(STDERR_FILENO, &st) == 0 &&
            (uint64_t(st.st_dev) != g_stuckDevice.load(std::memory_order_relaxed) ||
             uint64_t(st.st_ino) != g_stuckInode.load(std::memory_order_relaxed))) {
            g_readerStuck.store(false, std::memory_order_relaxed);
            g_endsCut.store(false, std::memory_order_relaxed);
        }
    }
    if (g_leftOut.load(std::memory_order_relaxed) > 0 &&
        g_leftOutBy.load(std::memory_order_relaxed) != ::getpid())
        g_leftOut.store(0, std::memory_order_relaxed);
}

int64_t MonotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Writes `size` bytes to descriptor 2, again after an interruption or a
// short write; true when all went in, else errno says why (EAGAIN: given
// up for the reader) and `done` how many did. A descriptor left
// non-blocking whose reader takes nothing is waited for up to a deadline
// of the monotonic clock, which no signal moves: kWaitSeconds after the
// last write that went in, or after the first try. Once the reader took
// nothing for so long, writes are tried once until one goes in.
bool WriteAll(const char* data, size_t size, size_t& done) {
    done = 0;
    int64_t deadline = -1;
    while (done < size) {
        const ssize_t n = ::write(STDERR_FILENO, data + done, size - done);
        if (n > 0) {
            g_readerStuck.store(false, std::memory_order_relaxed);
            deadline = -1;
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
        errno = EAGAIN;
        if (g_readerStuck.load(std::memory_order_relaxed))
            return false;
        const int64_t now = MonotonicMs();
        if (deadline < 0)
            deadline = now + kWaitSeconds * 1000;
        if (now >= deadline) {
            g_readerStuck.store(true, std::memory_order_relaxed);
            NoteStuckFile();
            errno = EAGAIN;
            return false;
        }
        // Ready, interrupted or timed out: the next write and the clock
        // tell which.
        pollfd out{STDERR_FILENO, POLLOUT, 0};
        ::poll(&out, 1, int(deadline - now));
        errno = EAGAIN;
    }
    return true;
}

// Writes one line, `data` with its line end: after a line end when the
// stream ends inside a line that was cut short. False as WriteAll.
bool WriteLine(const char* data, size_t size) {
    size_t done = 0;
    if (g_endsCut.load(std::memory_order_relaxed)) {
        if (!WriteAll("\n", 1, done))
            return false;
        g_endsCut.store(false, std::memory_order_relaxed);
    }
    if (WriteAll(data, size, done))
        return true;
    const int err = errno;
    g_endsCut.store(done > 0 && err == EAGAIN, std::memory_order_relaxed);
    if (done > 0 && err == EAGAIN)
        NoteStuckFile();
    errno = err;
    return false;
}

} // namespace

inline namespace zbase_internal {

int btkAboveStandardFds(int fd) {
    if (fd < 0 || fd > 2)
        return fd;
    const int flags = ::fcntl(fd, F_GETFD);
    const int moved =
        ::fcntl(fd, flags >= 0 && (flags & FD_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 3);
    const int err = errno == EINVAL ? EMFILE : errno; // EINVAL: 3 is past the process's limit
    ::close(fd);
    if (moved < 0)
        errno = err;
    return moved;
}

void btkTellStandardError(const char* data, size_t size) {
    const int saved = errno;
    const int flags = ::fcntl(STDERR_FILENO, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) {
        // Under the stderr stream's lock, as the stream's own writes: a
        // line that takes several writes (a pipe takes at most 64 KiB at
        // once) is never interleaved with another thread's. A cancel of
        // the thread waits until the line is done: one acted on in the
        // write or the wait would leave that lock held for good.
        int cancelBefore = PTHREAD_CANCEL_ENABLE;
        ::pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelBefore);
        ::flockfile(stderr);
        std::fflush(stderr);
        // A standard error whose reader is gone fails the write, and
        // raises no SIGPIPE that would end the process (one raised here
        // is taken back; one pending before stays).
        sigset_t pipe, before, pending;
        ::sigemptyset(&pipe);
        ::sigaddset(&pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipe, &before);
        const bool pendingBefore = ::sigpending(&pending) == 0 && ::sigismember(&pending, SIGPIPE);
        // Lines given up for a reader that took nothing are counted, and
        // the count told before the next line that the reader takes.
        ForgetAnotherReader();
        const size_t leftOut = g_leftOut.load(std::memory_order_relaxed);
        bool written = true;
        if (leftOut > 0) {
            char notice[128];
            const int length = std::snprintf(
                notice, sizeof notice,
                "standard error took nothing for %d seconds: %zu told line%s left out\n",
                kWaitSeconds, leftOut, leftOut == 1 ? " was" : "s were");
            written = length > 0 && size_t(length) < sizeof notice &&
                      WriteLine(notice, size_t(length));
            if (written)
                g_leftOut.store(0, std::memory_order_relaxed);
        }
        if (written)
            written = WriteLine(data, size);
        const int err = errno;
        if (!written && err == EAGAIN &&
            g_leftOut.fetch_add(1, std::memory_order_relaxed) == 0)
            g_leftOutBy.store(::getpid(), std::memory_order_relaxed);
        if (!written && err == EPIPE && !pendingBefore) {
            const timespec now{};
            while (::sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        ::funlockfile(stderr);
        ::pthread_setcancelstate(cancelBefore, nullptr);
    }
    errno = saved;
}

void btkTellLine(const char* prefix, const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    const size_t start = std::strlen(prefix);
    char small[1024];
    int length = -1;
    if (start < sizeof small) {
        std::memcpy(small, prefix, start);
        length = std::vsnprintf(small + start, sizeof small - start, format, args);
        if (length >= 0 && start + size_t(length) < sizeof small) {
            small[start + size_t(length)] = '\n'; // over the terminator vsnprintf put there
            btkTellStandardError(small, start + size_t(length) + 1);
            va_end(again);
            return;
        }
    } else {
        length = std::vsnprintf(nullptr, 0, format, args);
    }
    if (length >= 0) {
        std::string line(prefix);
        line.resize(start + size_t(length) + 1);
        std::vsnprintf(line.data() + start, size_t(length) + 1, format, again);
        line.back() = '\n';
        btkTellStandardError(line.data(), line.size());
    }
    va_end(again);
}

} // namespace zbase_internal
