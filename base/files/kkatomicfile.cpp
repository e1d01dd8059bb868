#include "kkatomicfile.h"

#include "kkfileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kTempNameBytes = 64;
constexpr int kTempAttempts = 64;
// Looks at the target again when it changed under a commit; a name that
// keeps changing kind fails the commit after this many.
constexpr int kPlaceAttempts = 8;

// A fresh 64-bit value per call, different across threads and processes.
uint64_t NextRandom() {
    static std::atomic<uint64_t> counter{0};
    uint64_t x = counter.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15ull;
    x ^= uint64_t(::getpid()) << 32;
    x ^= uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    // splitmix64 finaliser
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

// At most `limit` bytes of `name`, not cutting a UTF-8 sequence.
std::string ShortName(const std::string& name, size_t limit) {
    if (name.size() <= limit)
        return name;
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
        --n;
    return name.substr(0, n);
}

// A temporary name for the target `name`: .NAME.<16 hex digits>.tmp
std::string TempNameFor(const std::string& name) {
    static const char hex[] = "0123456789abcdef";
    uint64_t r = NextRandom();
    std::string temp(1, '.');
    temp += ShortName(name, kTempNameBytes);
    temp += '.';
    for (int i = 0; i < 16; ++i, r >>= 4)
        temp += hex[r & 15];
    temp += ".tmp";
    return temp;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Why a target that is there but is not a regular file is left alone.
std::string NotRegular(const std::string& path, mode_t mode) {
    return Quoted(path) + " is not a regular file (" + kkKindOfFile(mode) +
           "); it is neither written nor replaced";
}

// Why nothing could be made beside the target: a folder that refuses it
// is said so, not only in the system's word for it.
std::string CannotMakeBeside(const char* what, const std::string& path, int err) {
    const bool folderRefuses = err == EACCES || err == EPERM || err == EROFS;
    return std::string(what) + " " + Quoted(path) + ": " +
           (folderRefuses ? "the folder is not writable (" + std::string(std::strerror(err)) + ")"
                          : std::string(std::strerror(err)));
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// The file system does not keep such attributes, or the process may not
// set this one: it is left out.
bool AttributeLeftOut(int err) {
    return err == ENOTSUP || err == EOPNOTSUPP || err == EPERM || err == EACCES;
}

// The extended attribute names of a file ("" list for none), through
// `list` (llistxattr or flistxattr bound to the file). False with errno
// set when they cannot be read; a file system without them has none.
template <class List> bool AttributeNames(List list, std::vector<std::string>& names) {
    names.clear();
    std::vector<char> buf;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = list(nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP || errno == EOPNOTSUPP;
        buf.resize(size_t(size) + 1);
        const ssize_t n = list(buf.data(), buf.size() - 1);
        if (n < 0 && errno == ERANGE)
            continue; // grew meanwhile
        if (n < 0)
            return false;
        for (size_t at = 0; at < size_t(n);) {
            const size_t len = strnlen(buf.data() + at, size_t(n) - at);
            if (len > 0)
                names.emplace_back(buf.data() + at, len);
            at += len + 1;
        }
        return true;
    }
    errno = ERANGE;
    return false;
}

// The value of one attribute of the file at `path`. False with errno set.
bool AttributeValue(const char* path, const std::string& name, std::vector<char>& value) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = ::lgetxattr(path, name.c_str(), nullptr, 0);
        if (size < 0)
            return false;
        value.resize(size_t(size));
        const ssize_t n = ::lgetxattr(path, name.c_str(), value.data(), value.size());
        if (n < 0 && errno == ERANGE)
            continue;
        if (n < 0)
            return false;
        value.resize(size_t(n));
        return true;
    }
    errno = ERANGE;
    return false;
}

} // namespace

kkAtomicFile::kkAtomicFile(const char* path) { Open(path); }

kkAtomicFile::~kkAtomicFile() {
    if (!committed_)
        Abandon();
    CloseFolder();
}

void kkAtomicFile::Fail(const std::string& why) {
    if (!failed_)
        error_ = why;
    failed_ = true;
}

void kkAtomicFile::Fail(const char* what, int err) {
    Fail(std::string(what) + " " + Quoted(target_) + ": " + std::strerror(err));
}

void kkAtomicFile::SetFailed(const std::string& why) { Fail(why.empty() ? "writing failed" : why); }

std::string kkAtomicFile::TempPath() const {
    return tempName_.empty() ? std::string() : folder_ + tempName_;
}

void kkAtomicFile::CloseFolder() {
    if (dirFd_ >= 0)
        ::close(dirFd_);
    dirFd_ = -1;
}

bool kkAtomicFile::Open(const char* path, int mode) {
    if (opened_) {
        Fail("the file is already open");
        return false;
    }
    opened_ = true;
    if (!path || !*path) {
        Fail("no file name");
        return false;
    }
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (::lstat(path, &st) == 0) {
        if (exclusive_) {
            Fail("cannot create " + Quoted(target) + ": " + std::strerror(EEXIST));
            return false;
        }
        exists = true;
        if (S_ISLNK(st.st_mode)) {
            // The link stays; the file it names is replaced.
            char* resolved = ::realpath(path, nullptr);
            if (!resolved) {
                Fail(Quoted(target) + " is a link that names no file");
                return false;
            }
            target = resolved;
            std::free(resolved);
            exists = ::stat(target.c_str(), &st) == 0;
        }
    } else if (errno != ENOENT) {
        const int err = errno;
        Fail("cannot write " + Quoted(target) + ": " + std::strerror(err));
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        Fail(NotRegular(target, st.st_mode));
        return false;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        const int err = errno;
        Fail("cannot write " + Quoted(target) + ": " + std::strerror(err));
        return false;
    }

    const size_t slash = target.rfind('/');
    folder_ = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    name_ = slash == std::string::npos ? target : target.substr(slash + 1);
    target_ = std::move(target);
    if (name_.empty() || name_ == "." || name_ == "..") {
        Fail(Quoted(target_) + " names no file");
        target_.clear();
        return false;
    }
    // Everything happens relative to the folder, so that the temporary file
    // and the target stay in the one folder whatever happens to its path.
    const std::string folder = folder_.empty() ? "." : folder_;
    dirFd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    dirSyncable_ = dirFd_ >= 0;
    if (dirFd_ < 0 && errno == EACCES)
        dirFd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        Fail("cannot create", errno);
        target_.clear();
        return false;
    }
    if (!MakeTemporary(mode & 0777)) {
        CloseFolder();
        target_.clear();
        return false;
    }
    // A replaced file's permissions hold from the start (the rest of what
    // it keeps is given at the commit, after the last write).
    if (exists)
        (void)::fchmod(fd_, st.st_mode & 0777);
    return true;
}

bool kkAtomicFile::MakeTemporary(int mode) {
    if (kkFileTestHooks::TmpFile()) {
        const int fd = ::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        // It is given its name through /proc (linkat with AT_EMPTY_PATH
        // needs a privilege); without /proc it could never get one.
        struct stat st {};
        if (fd >= 0 && ::stat(ProcPath(fd).c_str(), &st) == 0) {
            fd_ = fd;
            anonymous_ = true;
            return true;
        }
        if (fd >= 0)
            ::close(fd);
    }
    return TakeTempName("cannot create", [&](const char* temp) {
        const int fd = ::openat(dirFd_, temp, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0)
            return errno;
        fd_ = fd;
        return 0;
    });
}

// Gives the unnamed temporary file a temporary name (for an exchange).
bool kkAtomicFile::NameTemporary() {
    if (!tempName_.empty())
        return true;
    const std::string proc = ProcPath(fd_);
    return TakeTempName("cannot replace", [&](const char* temp) {
        return ::linkat(AT_FDCWD, proc.c_str(), dirFd_, temp, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
}

bool kkAtomicFile::TakeTempName(const char* what, const std::function<int(const char*)>& make) {
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        std::string temp = TempNameFor(name_);
        const int err = make(temp.c_str());
        if (err == 0) {
            tempName_ = std::move(temp);
            return true;
        }
        if (err != EEXIST) {
            Fail(CannotMakeBeside(what, target_, err));
            return false;
        }
    }
    Fail(std::string(what) + " " + Quoted(target_) + ": no free temporary name beside it");
    return false;
}

bool kkAtomicFile::Write(const void* data, size_t size) {
    if (fd_ < 0) {
        Fail("the file is not open");
        return false;
    }
    if (failed_)
        return false;
    int err = 0;
    if (kkWriteAll(fd_, data, size, &err))
        return true;
    Fail("cannot write", err);
    return false;
}

bool kkAtomicFile::KeepAttributes(const struct stat& old) {
    struct stat now {};
    if (::fstat(fd_, &now) != 0) {
        Fail("cannot write", errno);
        return false;
    }
    bool ownerKept = now.st_uid == old.st_uid;
    bool groupKept = now.st_gid == old.st_gid;
    if (!ownerKept || !groupKept) {
        if (::fchown(fd_, old.st_uid, old.st_gid) == 0)
            ownerKept = groupKept = true;
        else if (!groupKept && ::fchown(fd_, uid_t(-1), old.st_gid) == 0)
            groupKept = true;
    }
    // After the owner: a change of owner drops file capabilities.
    if (!KeepExtendedAttributes())
        return false;
    mode_t mode = old.st_mode & 07777;
    if (!ownerKept || !groupKept) {
        mode &= ~mode_t(S_ISUID);
        if (mode & S_IXGRP)
            mode &= ~mode_t(S_ISGID);
    }
    // Last: a change of owner clears the set-id bits.
    if (::fchmod(fd_, mode) != 0) {
        Fail("cannot keep the permissions of", errno);
        return false;
    }
    return true;
}

bool kkAtomicFile::KeepExtendedAttributes() {
    const char* old = target_.c_str();
    std::vector<std::string> names, had;
    if (!AttributeNames([&](char* b, size_t n) { return ::llistxattr(old, b, n); }, names) ||
        !AttributeNames([&](char* b, size_t n) { return ::flistxattr(fd_, b, n); }, had)) {
        Fail("cannot keep the extended attributes of", errno);
        return false;
    }
    // None that the old file did not have (one inherited from the folder).
    for (const std::string& name : had)
        if (std::find(names.begin(), names.end(), name) == names.end())
            (void)::fremovexattr(fd_, name.c_str());
    std::vector<char> value;
    for (const std::string& name : names) {
        if (!AttributeValue(old, name, value)) {
            if (errno == ENODATA || AttributeLeftOut(errno))
                continue; // gone meanwhile, or not readable by this process
            Fail(("cannot keep the extended attribute " + name + " of").c_str(), errno);
            return false;
        }
        if (::fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) != 0 &&
            !AttributeLeftOut(errno)) {
            Fail(("cannot keep the extended attribute " + name + " of").c_str(), errno);
            return false;
        }
    }
    return true;
}

bool kkAtomicFile::Commit() {
    if (committed_)
        return !failed_;
    if (fd_ < 0) {
        Fail("the file is not open");
        Abandon();
        return false;
    }
    if (!failed_ && !exclusive_) {
        struct stat st {};
        if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            KeepAttributes(st);
    }
    const bool sync = kkFileTestHooks::Sync();
    if (!failed_ && sync) {
        if (const int err = kkSyncFd(fd_, false))
            Fail("cannot write", err);
    }
    // A named temporary file is closed before it takes the target's place,
    // so that a failing close keeps it out; an unnamed one is named through
    // its descriptor (and was synced, which reports what a close would).
    if (!anonymous_) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            Fail("cannot write", errno);
    }
    const bool placed = !failed_ && Place();
    if (placed) {
        committed_ = true;
        tempName_.clear();
        // In place; a failure now means it may not survive a power loss.
        if (sync && dirSyncable_)
            if (const int err = kkSyncFd(dirFd_, true))
                Fail("cannot sync the folder of", err);
    }
    Abandon(); // closes what is still open; removes the temporary file unless placed
    return placed && !failed_;
}

bool kkAtomicFile::Place() {
    if (auto hook = kkFileTestHooks::GetBeforePlace())
        hook(target_.c_str());
    for (int attempt = 0; attempt < kPlaceAttempts; ++attempt) {
        struct stat st {};
        if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                Fail("cannot replace", errno);
                return false;
            }
            const int err = PutNew();
            if (err == 0)
                return true;
            if (err != EEXIST) {
                Fail("cannot create", err);
                return false;
            }
            // The name was taken meanwhile: look at what took it.
            continue;
        }
        if (exclusive_) {
            Fail("cannot create", EEXIST);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            Fail(NotRegular(target_, st.st_mode));
            return false;
        }
        bool placed = false;
        const int err = Exchange(placed);
        if (placed)
            return true;
        if (err == ENOENT)
            continue; // the target went meanwhile
        if (err != 0)
            Fail("cannot replace", err);
        return false;
    }
    Fail("cannot replace " + Quoted(target_) + ": it keeps changing");
    return false;
}

// Puts the file at the free name, never over anything. 0 or the errno.
int kkAtomicFile::PutNew() {
    if (anonymous_ && tempName_.empty()) {
        if (::linkat(AT_FDCWD, ProcPath(fd_).c_str(), dirFd_, name_.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return errno;
        return 0;
    }
    const int err = kkRenameNoReplace(dirFd_, tempName_.c_str(), dirFd_, name_.c_str());
    if (err == 0)
        tempName_.clear();
    return err;
}

// Replaces the regular file at the target. `placed` tells whether the
// file is in place; the result is 0 or the errno of what failed (ENOENT:
// the target went, look again). A failure that leaves something else
// where it was is reported here.
int kkAtomicFile::Exchange(bool& placed) {
    placed = false;
    if (!NameTemporary())
        return 0;
    int err = kkRenameExchange(dirFd_, tempName_.c_str(), dirFd_, name_.c_str());
    if (err == ENOSYS) {
        // Without renameat2: the target was looked at just before.
        if (::renameat(dirFd_, tempName_.c_str(), dirFd_, name_.c_str()) != 0)
            return errno;
        tempName_.clear();
        placed = true;
        return 0;
    }
    if (err != 0)
        return err;
    struct stat old {};
    if (::fstatat(dirFd_, tempName_.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)) {
        // The old content, now under the temporary name, goes.
        (void)::unlinkat(dirFd_, tempName_.c_str(), 0);
        tempName_.clear();
        placed = true;
        return 0;
    }
    // Something else took the name just before: it goes back.
    err = kkRenameExchange(dirFd_, tempName_.c_str(), dirFd_, name_.c_str());
    if (err != 0) {
        Fail(Quoted(target_) + " was taken by something that is not a regular file while it "
             "was replaced; it could not be put back and is now " + Quoted(TempPath()) + ": " +
             std::strerror(err));
        tempName_.clear(); // not ours: never removed
        return 0;
    }
    Fail(NotRegular(target_, old.st_mode));
    return 0;
}

bool kkAtomicFile::OpenNew(const char* path, int mode) {
    exclusive_ = !opened_;
    return Open(path, mode);
}

void kkAtomicFile::Abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty() && !committed_ && dirFd_ >= 0)
        (void)::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    CloseFolder();
}
