#include "standard_fds.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
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
        std::fflush(stderr);
        while (size > 0) {
            const ssize_t n = ::write(STDERR_FILENO, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            data += n;
            size -= size_t(n);
        }
    }
    errno = saved;
}

} // namespace zbase_internal
