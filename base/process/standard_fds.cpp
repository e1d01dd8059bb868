#include "standard_fds.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
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
        // once) is never interleaved with another thread's.
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
        while (size > 0) {
            const ssize_t n = ::write(STDERR_FILENO, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // A standard error left non-blocking: waited for while its
                // reader takes bytes, but not past 10 seconds without any
                // (a process that made it non-blocking is not to hang on
                // a reader that is stuck): the rest of the line is dropped.
                pollfd out{STDERR_FILENO, POLLOUT, 0};
                const int ready = ::poll(&out, 1, 10000);
                if (ready > 0 || (ready < 0 && errno == EINTR))
                    continue;
            }
            if (n < 0 && errno == EPIPE && !pendingBefore) {
                const timespec now{};
                while (::sigtimedwait(&pipe, nullptr, &now) < 0 && errno == EINTR) {
                }
            }
            if (n <= 0)
                break;
            data += n;
            size -= size_t(n);
        }
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        ::funlockfile(stderr);
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
