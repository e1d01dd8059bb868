#include "kkfileio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* KindOfFile(mode_t mode) {
    if (S_ISDIR(mode))
        return "a directory";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file";
}

int Refuse(std::string* error, const char* path, const std::string& why) {
    if (error)
        *error = std::string("cannot open \"") + path + "\": " + why;
    return -1;
}

} // namespace

int kkOpenRegularFile(const char* path, int flags, int mode, std::string* error) {
    if (!path || !*path)
        return Refuse(error, "", "no file name");
    struct stat named {};
    bool existed = false;
    if (::stat(path, &named) == 0) {
        if (!S_ISREG(named.st_mode))
            return Refuse(error, path, KindOfFile(named.st_mode));
        existed = true;
    } else if (errno != ENOENT || !(flags & O_CREAT)) {
        return Refuse(error, path, std::strerror(errno));
    }
    int fd;
    do
        fd = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Refuse(error, path, std::strerror(errno));
    struct stat opened {};
    std::string why;
    if (::fstat(fd, &opened) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(opened.st_mode))
        why = KindOfFile(opened.st_mode);
    else if (existed && (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino))
        why = "the file changed while it was opened";
    else {
        const int now = ::fcntl(fd, F_GETFL);
        if (now < 0 || ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK) < 0)
            why = std::strerror(errno);
    }
    if (!why.empty()) {
        ::close(fd);
        return Refuse(error, path, why);
    }
    return fd;
}

bool kkWriteAll(int fd, const void* data, size_t size, int* err) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (err)
                *err = n < 0 ? errno : EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}
