#include "kkfileio.h"
#include "btk_quoted.h"
#include "btk_reason.h"
#include "standard_fds.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<bool> g_sync{true};
std::atomic<bool> g_tmpFile{true};
std::atomic<bool> g_renameAt2{true};
std::atomic<uint64_t> g_fileSyncs{0};
std::atomic<uint64_t> g_folderSyncs{0};
std::atomic<kkFileTestHooks::BeforePlace> g_beforePlace{nullptr};
std::atomic<int> g_folderLockWaitMs{2000};

// renameat2 failed because this file system or kernel does not offer it.
bool Unsupported(int err) { return err == EINVAL || err == ENOSYS || err == EOPNOTSUPP; }

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
        *error = "cannot open " + btkQuoted(path) + ": " + why;
    return -1;
}

} // namespace

inline namespace zbase_internal {

const char* kkKindOfFile(unsigned mode) { return KindOfFile(mode_t(mode)); }

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
        return Refuse(error, path, btkSystemReason(errno));
    }
    int fd;
    do
        fd = btkAboveStandardFds(::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Refuse(error, path, btkSystemReason(errno));
    struct stat opened {};
    std::string why;
    if (::fstat(fd, &opened) != 0)
        why = btkSystemReason(errno);
    else if (!S_ISREG(opened.st_mode))
        why = KindOfFile(opened.st_mode);
    else if (existed && (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino))
        why = "the file changed while it was opened";
    else {
        const int now = ::fcntl(fd, F_GETFL);
        if (now < 0 || ::fcntl(fd, F_SETFL, now & ~O_NONBLOCK) < 0)
            why = btkSystemReason(errno);
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

int kkRenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (kkFileTestHooks::RenameAt2()) {
        if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
            return 0;
        if (!Unsupported(errno))
            return errno;
    }
    struct stat st {};
    if (::fstatat(fromDir, from, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (S_ISDIR(st.st_mode)) {
        // A folder goes over an empty folder of its own making: rename(2)
        // replaces only an empty folder, and nothing but a folder.
        if (::mkdirat(toDir, to, 0700) != 0)
            return errno;
        if (::renameat(fromDir, from, toDir, to) == 0)
            return 0;
        const int err = errno;
        (void)::unlinkat(toDir, to, AT_REMOVEDIR); // only while still empty
        return err == ENOTEMPTY || err == ENOTDIR ? EEXIST : err;
    }
    if (::linkat(fromDir, from, toDir, to, 0) != 0)
        return errno;
    if (::unlinkat(fromDir, from, 0) == 0)
        return 0;
    // The old name stays: the new one, made here, goes again.
    const int err = errno;
    (void)::unlinkat(toDir, to, 0);
    return err;
}

int kkRenameExchange(int aDir, const char* a, int bDir, const char* b) {
    if (!kkFileTestHooks::RenameAt2())
        return ENOSYS;
    if (::renameat2(aDir, a, bDir, b, RENAME_EXCHANGE) == 0)
        return 0;
    return Unsupported(errno) ? ENOSYS : errno;
}

int kkSyncFd(int fd, bool folder) {
    int rc;
    do
        rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    if (rc != 0)
        return errno;
    (folder ? g_folderSyncs : g_fileSyncs).fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int kkSyncFileSystem(int fd) {
    if (::syncfs(fd) != 0)
        return errno;
    g_folderSyncs.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

} // namespace zbase_internal

void kkFileTestHooks::SetSync(bool on) { g_sync = on; }
bool kkFileTestHooks::Sync() { return g_sync; }
void kkFileTestHooks::SetTmpFile(bool on) { g_tmpFile = on; }
bool kkFileTestHooks::TmpFile() { return g_tmpFile; }
void kkFileTestHooks::SetRenameAt2(bool on) { g_renameAt2 = on; }
bool kkFileTestHooks::RenameAt2() { return g_renameAt2; }
uint64_t kkFileTestHooks::FileSyncs() { return g_fileSyncs; }
uint64_t kkFileTestHooks::FolderSyncs() { return g_folderSyncs; }
void kkFileTestHooks::SetBeforePlace(BeforePlace hook) { g_beforePlace = hook; }
kkFileTestHooks::BeforePlace kkFileTestHooks::GetBeforePlace() { return g_beforePlace; }
void kkFileTestHooks::SetFolderLockWaitMs(int ms) { g_folderLockWaitMs = ms < 0 ? 0 : ms; }
int kkFileTestHooks::FolderLockWaitMs() { return g_folderLockWaitMs; }
