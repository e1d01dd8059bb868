#include "kkatomicfile.h"
#include "btk_quoted.h"
#include "btk_reason.h"

#include "kkfileio.h"
#include "standard_fds.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kTempNameBytes = 64;
// Temporary names per target: ".NAME.0.tmp" to ".NAME.63.tmp", each writer
// taking the first free one. What killed writers left is looked for under
// all of them: a name taken while earlier ones were may outlast them.
constexpr int kTempSlots = 64;
// Looks at the target again when it changed under a commit; a name that
// keeps changing kind fails the commit after this many.
constexpr int kPlaceAttempts = 8;
// Waits for the lock of a folder that ran out (kkFolderLock).
std::atomic<uint64_t> g_lockWaitsRunOut{0};
// Place() and its steps: failed, the reason given.
constexpr int kFailed = -1;

// At most `limit` bytes of `name`, not cutting a UTF-8 sequence.
std::string ShortName(const std::string& name, size_t limit) {
    if (name.size() <= limit)
        return name;
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
        --n;
    return name.substr(0, n);
}

// The temporary name `slot` of the target `name`: .NAME.<slot>.tmp
std::string TempNameFor(const std::string& name, int slot) {
    std::string temp(1, '.');
    temp.append(ShortName(name, kTempNameBytes)).append(1, '.');
    temp.append(std::to_string(slot)).append(".tmp");
    return temp;
}

std::string Quoted(const std::string& path) { return btkQuoted(path); }

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
           (folderRefuses ? "the folder is not writable (" + std::string(btkSystemReason(err)) + ")"
                          : std::string(btkSystemReason(err)));
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

// The value of one attribute, through `get` (lgetxattr, getxattr or
// fgetxattr bound to the file and the name). False with errno set.
template <class Get> bool AttributeValue(Get get, std::vector<char>& value) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        const ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        value.resize(size_t(size));
        const ssize_t n = get(value.data(), value.size());
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

bool SameFile(const struct stat& a, dev_t dev, ino_t ino) { return a.st_dev == dev && a.st_ino == ino; }

// The names of a folder's lock (kkFolderLock), taken in this order.
constexpr int kLockNames = 4;
// How often a name that is held but does not answer is tried in all (its
// holder may have let go meanwhile) before it is taken for a stranger's.
constexpr int kLockAsks = 2;

// Name `k` of the lock of `folder`: "kkatomicfile folder <device> <inode>",
// in hexadecimal, and for the names after the first " <k>"; at most 55
// bytes, well within sun_path. sun_path[0] stays 0: a name of the abstract
// namespace.
struct LockName {
    sockaddr_un address{};
    socklen_t length = 0;
    const sockaddr* Address() const { return reinterpret_cast<const sockaddr*>(&address); }
};
LockName LockNameOf(const struct stat& folder, int k) {
    std::string name = "kkatomicfile folder ";
    char hex[16];
    name.append(hex, std::to_chars(hex, hex + sizeof hex, uint64_t(folder.st_dev), 16).ptr);
    name += ' ';
    name.append(hex, std::to_chars(hex, hex + sizeof hex, uint64_t(folder.st_ino), 16).ptr);
    if (k > 0)
        name += ' ' + std::to_string(k);
    LockName lock;
    lock.address.sun_family = AF_UNIX;
    static_assert(55 < sizeof lock.address.sun_path - 1);
    std::memcpy(lock.address.sun_path + 1, name.data(), name.size());
    lock.length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return lock;
}

// The process lacks what a socket needs.
bool OutOfResources(int err) {
    return err == EMFILE || err == ENFILE || err == ENOMEM || err == ENOBUFS;
}

// A new socket for a name of the lock: never blocking, as a connection to
// a name's holder only asks it who it is. -1 with errno set when there is
// none.
int LockSocket() {
    return btkAboveStandardFds(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// Binds the socket `fd` to `name`, listening unless `answers` is false: 0
// or the errno.
int BindLockName(int fd, const LockName& name, bool answers) {
    return ::bind(fd, name.Address(), name.length) == 0 &&
                   (!answers || ::listen(fd, SOMAXCONN) == 0)
               ? 0
               : errno;
}

// A process of these credentials may make names in `folder` (write and
// search it), by the permission bits, or is root. In a sticky folder (as
// /tmp) a user replaces only its own files there: only root, the folder's
// owner and this process's own user can write what this process writes.
bool MayWriteIn(const struct stat& folder, const ucred& cred, const std::vector<gid_t>& groups) {
    if (cred.uid == 0)
        return true;
    if ((folder.st_mode & S_ISVTX) && cred.uid != folder.st_uid && cred.uid != ::geteuid())
        return false;
    mode_t bits = folder.st_mode;
    if (cred.uid == folder.st_uid)
        bits >>= 6;
    else if (cred.gid == folder.st_gid ||
             std::find(groups.begin(), groups.end(), folder.st_gid) != groups.end())
        bits >>= 3;
    return (bits & 3) == 3;
}

enum class Holder { Writer, Stranger, Silent };

// Who holds `name`, asked by a connection of the socket `fd` (bound to
// nothing) to it: the credentials its holder had when it began to listen.
// `fd` is then connected (to a writer: the connection to wait on), unless
// the holder is silent: a connection that fails leaves `fd` as it was, to
// be bound again. `err` is set when this process lacks the means.
Holder AskHolder(int fd, const LockName& name, const struct stat& folder, int& err) {
    err = 0;
    // Not listening (or let go meanwhile): ECONNREFUSED; its queue full:
    // EAGAIN.
    if (::connect(fd, name.Address(), name.length) != 0) {
        if (OutOfResources(errno))
            err = errno;
        return Holder::Silent;
    }
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return Holder::Stranger;
    // The further groups, only when they decide (a kernel without them: the
    // holder's own group only).
    std::vector<gid_t> groups;
    if (cred.uid != 0 && cred.uid != folder.st_uid && cred.gid != folder.st_gid) {
        groups.resize(16);
        socklen_t bytes = socklen_t(groups.size() * sizeof(gid_t));
        int got = ::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &bytes);
        if (got != 0 && errno == ERANGE) {
            groups.resize(bytes / sizeof(gid_t));
            got = ::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &bytes);
        }
        groups.resize(got == 0 ? bytes / sizeof(gid_t) : 0);
    }
    return MayWriteIn(folder, cred, groups) ? Holder::Writer : Holder::Stranger;
}

// Waits on a connection to a writer that holds a name until it lets go
// (the connection ends with its socket) or `until` comes: true when it let
// go.
bool WaitLetGo(int conn, std::chrono::steady_clock::time_point until) {
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        // No events asked for: only the end of the connection wakes it.
        pollfd p{conn, 0, 0};
        const int n =
            ::poll(&p, 1, int(std::max<int64_t>(0, std::min<int64_t>(left.count(), INT_MAX))));
        if (n > 0)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

} // namespace

// The lock of a folder, one for every writer on this machine that may
// write the folder, whatever its permissions: names in the abstract
// namespace of local sockets (LockNameOf), each bound by one listening
// socket at a time. It needs no access to the folder beyond the look that
// gives its device and inode (an O_PATH descriptor will do), leaves no
// file anywhere, and goes with the sockets when its holder ends, however
// it ends.
//
// Anyone on the machine may bind such a name, so a name's holder is asked
// who it is: a connection to it gives the user and groups it had when it
// began to listen, and a holder that could not write in the folder (by the
// folder's permission bits: the owner's, the group's or the others'
// write and search bits; root may; an access control list is not read; in
// a sticky folder only root, the folder's owner and this process's user),
// or that does not answer (bound without listening, or its queue full), is
// a stranger, and its name is passed over at once. A writer takes the
// names in order and holds every one that it does not pass over, waiting
// for any that another writer holds; so two writers never go on together
// while strangers keep the names they hold: whichever took a name first
// keeps the other from it. A name a stranger lets go of after one writer
// passed it over may be taken by another, and a writer between binding a
// name and listening does not answer either; the two then meet at a later
// name, unless they pass over each other so at every name (strangers that
// time their names so, or fill a writer's queue, do as well as holding
// every name: the writers go on without the lock).
//
// Writers hold it for a few system calls; one that waits longer than two
// seconds (kkFileTestHooks::FolderLockWaitMs) in all meets a program that
// may write the folder and holds the lock for its own ends, and goes on
// without it: a commit is never held for ever. A process out of
// descriptors or memory cannot take it, and its commit fails saying so; a
// system without such sockets (or that forbids them to the process) has no
// lock. Each object waits once: a second Take does nothing.
class kkFolderLock {
public:
    kkFolderLock() { fds_.fill(-1); }
    ~kkFolderLock() {
        for (const int fd : fds_)
            if (fd >= 0)
                ::close(fd);
    }
    kkFolderLock(const kkFolderLock&) = delete;
    kkFolderLock& operator=(const kkFolderLock&) = delete;

    // Takes the lock of the folder `dirFd`, waiting as said above (-1, or a
    // second call: nothing). 0, or the errno that keeps this process from
    // the lock for now (out of descriptors or memory).
    int Take(int dirFd) {
        if (tried_ || dirFd < 0)
            return 0;
        tried_ = true;
        struct stat folder {};
        if (::fstat(dirFd, &folder) != 0)
            return OutOfResources(errno) ? errno : 0;
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(kkFileTestHooks::FolderLockWaitMs());
        bool any = false;
        for (int k = 0; k < kLockNames; ++k) {
            const LockName name = LockNameOf(folder, k);
            int fd = LockSocket();
            if (fd < 0)
                return OutOfResources(errno) ? errno : 0; // no such sockets here: no lock
            for (int silent = 0;;) {
                int err = BindLockName(fd, name, true);
                if (err == 0) {
                    fds_[size_t(k)] = fd;
                    any = true;
                    break;
                }
                const Holder holder =
                    err == EADDRINUSE ? AskHolder(fd, name, folder, err) : Holder::Silent;
                if (err != 0) {
                    ::close(fd);
                    return OutOfResources(err) ? err : 0; // no such sockets here: no lock
                }
                if (holder == Holder::Silent && ++silent < kLockAsks)
                    continue;
                if (holder != Holder::Writer) {
                    ::close(fd); // a stranger's: passed over
                    break;
                }
                const bool letGo = WaitLetGo(fd, until);
                ::close(fd);
                if (!letGo) {
                    g_lockWaitsRunOut.fetch_add(1, std::memory_order_relaxed);
                    return 0;
                }
                if ((fd = LockSocket()) < 0)
                    return OutOfResources(errno) ? errno : 0;
            }
        }
        held_ = any;
        return 0;
    }
    // The lock keeps every other writer of the folder out.
    bool Held() const { return held_; }

private:
    std::array<int, kLockNames> fds_;
    bool tried_ = false;
    bool held_ = false;
};

namespace {

// What a file under a temporary name may be removed as (RemoveUnder).
enum class Removal {
    // Left by a killed writer: only when no writer holds its lock, and
    // this process may open it to see.
    Stale,
    // The old content that a commit's exchange just moved there, not under
    // the folder's lock: as Stale, but also when this process may not open
    // it (removed by its name, as it was before writers locked their
    // files).
    Moved,
    // The same under the folder's lock: also while readers of the old
    // document hold its lock shared (a writer holds its own file's lock
    // exclusively, and lets go of it once the file is in place, before the
    // folder's lock).
    MovedSerialized,
};

// Removes the regular file under `name` in the folder `dirFd` as `how`
// allows: opened, locked, and still under that name, so that nothing that
// took the name meanwhile goes, nor a file another remover took first.
void RemoveUnder(int dirFd, const char* name, Removal how) {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = btkAboveStandardFds(::openat(dirFd, name, O_RDONLY | kFlags));
    if (fd < 0 && errno == EACCES) // a replaced file's mode may allow writing only
        fd = btkAboveStandardFds(::openat(dirFd, name, O_WRONLY | kFlags));
    if (fd < 0) {
        struct stat st {};
        if ((errno == EACCES || errno == EPERM) && how != Removal::Stale &&
            ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            (void)::unlinkat(dirFd, name, 0);
        return;
    }
    struct stat opened {}, now {};
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        (::flock(fd, LOCK_EX | LOCK_NB) == 0 ||
         (how == Removal::MovedSerialized && ::flock(fd, LOCK_SH | LOCK_NB) == 0)) &&
        ::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
        SameFile(now, opened.st_dev, opened.st_ino))
        (void)::unlinkat(dirFd, name, 0);
    ::close(fd);
}

} // namespace

uint64_t kkFileTestHooks::FolderLockWaitsRunOut() {
    return g_lockWaitsRunOut.load(std::memory_order_relaxed);
}

int kkFileTestHooks::HoldFolderLock(const char* folder, int name, bool answers) {
    const int dirFd = btkAboveStandardFds(::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dirFd < 0)
        return -1;
    struct stat st {};
    const bool seen = ::fstat(dirFd, &st) == 0;
    ::close(dirFd);
    if (!seen || name < 0 || name >= kLockNames)
        return -1;
    const int fd = LockSocket();
    if (fd >= 0 && BindLockName(fd, LockNameOf(st, name), answers) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

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
    Fail(std::string(what) + " " + Quoted(target_) + ": " + btkSystemReason(err));
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

bool kkAtomicFile::Open(const char* path, int mode, kkDurability durability) {
    if (opened_) {
        Fail("the file is already open");
        return false;
    }
    opened_ = true;
    durable_ = durability == kkDurability::Durable && kkFileTestHooks::Sync();
    if (!path || !*path) {
        Fail("no file name");
        return false;
    }
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (::lstat(path, &st) == 0) {
        if (exclusive_) {
            Fail("cannot create " + Quoted(target) + ": " + btkSystemReason(EEXIST));
            return false;
        }
        exists = true;
        if (S_ISLNK(st.st_mode)) {
            // The link stays; the file it names is replaced.
            char* resolved = ::realpath(path, nullptr);
            if (!resolved) {
                // A missing file is said in words; a loop, a folder that
                // may not be searched and the rest in the system's.
                const int err = errno;
                if (err == ENOENT)
                    Fail(Quoted(target) + " is a link that names no file");
                else
                    Fail("cannot write " + Quoted(target) + ": " + btkSystemReason(err));
                return false;
            }
            target = resolved;
            std::free(resolved);
            exists = ::stat(target.c_str(), &st) == 0;
        }
    } else if (errno != ENOENT) {
        const int err = errno;
        Fail("cannot write " + Quoted(target) + ": " + btkSystemReason(err));
        return false;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        Fail(NotRegular(target, st.st_mode));
        return false;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        const int err = errno;
        Fail("cannot write " + Quoted(target) + ": " + btkSystemReason(err));
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
    dirFd_ = btkAboveStandardFds(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    dirSyncable_ = dirFd_ >= 0;
    if (dirFd_ < 0 && errno == EACCES)
        dirFd_ = btkAboveStandardFds(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
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
    bool made = false;
    if (kkFileTestHooks::TmpFile()) {
        const int fd =
            btkAboveStandardFds(::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
        // It is given its name through /proc (linkat with AT_EMPTY_PATH
        // needs a privilege); without /proc it could never get one.
        struct stat st {};
        if (fd >= 0 && ::stat(ProcPath(fd).c_str(), &st) == 0) {
            fd_ = fd;
            anonymous_ = true;
            made = true;
        } else if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!made)
        made = TakeTempName("cannot create", [&](const char* temp) {
            const int fd = btkAboveStandardFds(
                ::openat(dirFd_, temp, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (fd < 0)
                return errno;
            // A temporary file without the lock is one whose writer is gone
            // (RemoveStale): another writer's clean-up may take the file
            // between its creation and its lock, and remove it. It is ours
            // only once locked (where the file system has locks: where it
            // has none, no clean-up can take it either) and still under its
            // name; otherwise the clean-up removes it and the next name is
            // tried.
            struct stat opened {}, named {};
            const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (taken || ::fstat(fd, &opened) != 0 ||
                ::fstatat(dirFd_, temp, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
                !SameFile(named, opened.st_dev, opened.st_ino)) {
                ::close(fd);
                return EEXIST;
            }
            fd_ = fd;
            return 0;
        });
    if (!made)
        return false;
    // Unnamed, nobody else can reach it: the lock is taken before any name
    // shows it (a file system without locks has no clean-up to fear).
    if (anonymous_)
        (void)::flock(fd_, LOCK_EX | LOCK_NB);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        Fail("cannot create", errno);
        Abandon();
        return false;
    }
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    return true;
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
    for (int slot = 0; slot < kTempSlots; ++slot) {
        std::string temp = TempNameFor(name_, slot);
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

bool kkAtomicFile::KeepAttributes(const struct stat& old, int oldFd) {
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
    if (!KeepExtendedAttributes(oldFd))
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

// The old file is `oldFd`, opened with O_PATH in the target's folder: its
// attributes are read through /proc, which names that very file (an O_PATH
// descriptor takes no f*xattr call). Without /proc, through a descriptor
// of the same file opened for reading.
bool kkAtomicFile::KeepExtendedAttributes(int oldFd) {
    const std::string proc = ProcPath(oldFd);
    int readFd = -1;
    struct stat viaProc {};
    if (::stat(proc.c_str(), &viaProc) != 0) {
        struct stat old {}, opened {};
        readFd = btkAboveStandardFds(::openat(
            dirFd_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (readFd < 0 || ::fstat(oldFd, &old) != 0 || ::fstat(readFd, &opened) != 0 ||
            !SameFile(opened, old.st_dev, old.st_ino)) {
            const int err = readFd < 0 ? errno : ESTALE;
            if (readFd >= 0)
                ::close(readFd);
            Fail("cannot keep the extended attributes of", err);
            return false;
        }
    }
    struct CloseRead {
        int fd;
        ~CloseRead() {
            if (fd >= 0)
                ::close(fd);
        }
    } closeRead{readFd};
    auto list = [&](char* b, size_t n) {
        return readFd >= 0 ? ::flistxattr(readFd, b, n) : ::listxattr(proc.c_str(), b, n);
    };
    std::vector<std::string> names, had;
    if (!AttributeNames(list, names) ||
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
        auto get = [&](void* b, size_t n) {
            return readFd >= 0 ? ::fgetxattr(readFd, name.c_str(), b, n)
                               : ::getxattr(proc.c_str(), name.c_str(), b, n);
        };
        if (!AttributeValue(get, value)) {
            if (errno == ENODATA || AttributeLeftOut(errno))
                continue; // gone meanwhile, or not readable by this process
            Fail(("cannot keep the extended attribute " + Quoted(name) + " of").c_str(), errno);
            return false;
        }
        if (::fsetxattr(fd_, name.c_str(), value.data(), value.size(), 0) != 0 &&
            !AttributeLeftOut(errno)) {
            Fail(("cannot keep the extended attribute " + Quoted(name) + " of").c_str(), errno);
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
        // The file replaced, opened in the target's folder without
        // following a link (whatever the current folder is now).
        const int oldFd =
            btkAboveStandardFds(::openat(dirFd_, name_.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (oldFd >= 0 && ::fstat(oldFd, &st) == 0 && S_ISREG(st.st_mode))
            KeepAttributes(st, oldFd);
        if (oldFd >= 0)
            ::close(oldFd);
    }
    if (!failed_ && durable_) {
        if (const int err = kkSyncFd(fd_, false))
            Fail("cannot write", err);
    } else if (!failed_) {
        // Unsynced: a file system that reports write errors at a close
        // (NFS) reports them here, and the file stays out. The descriptor
        // itself stays open until the file is in place.
        const int probe = ::fcntl(fd_, F_DUPFD_CLOEXEC, 3);
        if (probe < 0 || ::close(probe) != 0)
            Fail("cannot write", errno);
    }
    bool placed = false;
    {
        // One lock of the folder, waited for once, for the placing and the
        // clean-up after it.
        kkFolderLock serialized;
        lock_ = &serialized;
        placed = !failed_ && Place();
        if (placed) {
            committed_ = true;
            tempName_.clear();
            // No longer a temporary file: should a later commit's exchange
            // move it under that commit's temporary name, it is unlocked
            // there, and goes as old content. When one did so already, the
            // clean-up below finds it.
            (void)::flock(fd_, LOCK_UN);
            RemoveStale();
        }
        lock_ = nullptr;
    }
    // In place; a failure now means it may not survive a power loss.
    if (placed && durable_) {
        const int err = dirSyncable_ ? kkSyncFd(dirFd_, true) : kkSyncFileSystem(fd_);
        if (err)
            Fail("cannot sync the folder of", err);
    }
    Abandon(); // closes what is still open; removes the temporary file unless placed
    return placed && !failed_;
}

bool kkAtomicFile::Place() {
    // A replacement goes by names: an unnamed file gets its temporary name
    // before the last look (and before the test hook).
    struct stat st {};
    if (!exclusive_ && anonymous_ &&
        ::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        !NameTemporary())
        return false;
    if (auto hook = kkFileTestHooks::GetBeforePlace())
        hook(target_.c_str());
    // Writers of this folder put their files in place one at a time: what
    // took the target's place between another writer's exchange and its
    // look at the target would otherwise be taken for a stranger's.
    if (lock_) {
        if (const int err = lock_->Take(dirFd_)) {
            Fail("cannot take the lock of the folder of", err);
            return false;
        }
    }
    for (int attempt = 0; attempt < kPlaceAttempts; ++attempt) {
        if (::fstatat(dirFd_, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                Fail("cannot replace", errno);
                return false;
            }
            const int err = PutNew();
            if (err == 0)
                return true;
            if (err == kFailed)
                return false;
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
        if (err == kFailed)
            return false;
        if (err == ENOENT)
            continue; // the target went meanwhile
        if (err != 0)
            Fail("cannot replace", err);
        return false;
    }
    Fail("cannot replace " + Quoted(target_) + ": it keeps changing");
    return false;
}

bool kkAtomicFile::IsOurs(const char* name) const {
    struct stat st {};
    return ::fstatat(dirFd_, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, dev_, ino_);
}

bool kkAtomicFile::MovedOn() {
    // Only another writer's exchange moves this file from the target, and
    // only under that writer's temporary name of the same target; it then
    // leaves the file there, locked as it is by this writer (see Exchange).
    // Anything else (no such name: it was removed or moved elsewhere) is a
    // stranger's doing.
    for (int slot = 0; slot < kTempSlots; ++slot) {
        const std::string temp = TempNameFor(name_, slot);
        if (IsOurs(temp.c_str())) {
            // Still locked by this writer: nobody else removes it, nor takes
            // the name, before this does.
            (void)::unlinkat(dirFd_, temp.c_str(), 0);
            return true;
        }
    }
    return false;
}

std::string kkAtomicFile::TempTaken(const std::string& temp, const std::string& what) const {
    return "cannot write " + Quoted(target_) + ": its temporary file " + Quoted(folder_ + temp) +
           " was replaced by something else " + what;
}

// Puts the file at the free name, never over anything. 0, the errno, or
// kFailed (the reason given).
int kkAtomicFile::PutNew() {
    if (anonymous_ && tempName_.empty()) {
        // The descriptor's own file takes the name.
        if (::linkat(AT_FDCWD, ProcPath(fd_).c_str(), dirFd_, name_.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return errno;
        return 0;
    }
    const std::string temp = tempName_;
    if (!IsOurs(temp.c_str())) {
        Fail(TempTaken(temp));
        tempName_.clear(); // not ours: never removed
        return kFailed;
    }
    const int err = kkRenameNoReplace(dirFd_, temp.c_str(), dirFd_, name_.c_str());
    if (err != 0)
        return err;
    tempName_.clear();
    if (IsOurs(name_.c_str()) || MovedOn())
        return 0;
    // The temporary name was taken between the look and the rename: what
    // took it goes back there, and the name is free again.
    if (kkRenameNoReplace(dirFd_, name_.c_str(), dirFd_, temp.c_str()) != 0)
        Fail(TempTaken(temp, std::string("while it took the target's place, which now holds that "
                                         "(it could not be moved back: ") +
                                 btkSystemReason(errno) + ")"));
    else
        Fail(TempTaken(temp));
    return kFailed;
}

// Replaces the regular file at the target. `placed` tells whether the
// file is in place; the result is 0, kFailed (the reason given) or the
// errno of what failed (ENOENT: the target went, look again). A failure
// that leaves something else where it was is reported here.
int kkAtomicFile::Exchange(bool& placed) {
    placed = false;
    if (!NameTemporary())
        return kFailed;
    const std::string temp = tempName_;
    if (!IsOurs(temp.c_str())) {
        Fail(TempTaken(temp));
        tempName_.clear();
        return kFailed;
    }
    int err = kkRenameExchange(dirFd_, temp.c_str(), dirFd_, name_.c_str());
    if (err == ENOSYS) {
        // Without renameat2: the target was looked at just before; a
        // rename cannot be taken back.
        if (::renameat(dirFd_, temp.c_str(), dirFd_, name_.c_str()) != 0)
            return errno;
        tempName_.clear();
        if (!IsOurs(name_.c_str()) && !MovedOn()) {
            Fail(TempTaken(temp, "just before it was renamed over the target, which now holds "
                                 "that (this file system cannot exchange names)"));
            return kFailed;
        }
        placed = true;
        return 0;
    }
    if (err != 0)
        return err;
    if (!IsOurs(name_.c_str()) && !MovedOn()) {
        // The temporary name was taken between the look and the exchange:
        // the target gets back what it had.
        err = kkRenameExchange(dirFd_, temp.c_str(), dirFd_, name_.c_str());
        tempName_.clear(); // not ours: never removed
        if (err != 0)
            Fail(TempTaken(temp, "while it took the target's place, which now holds that; the "
                                 "old content is " + Quoted(folder_ + temp) +
                                 " (it could not be exchanged back: " + btkSystemReason(err) +
                                 ")"));
        else
            Fail(TempTaken(temp));
        return kFailed;
    }
    // What the exchange moved lies under the temporary name now, and is
    // judged as it is there, not by a look at the target before: the target
    // may have changed in between (a writer that went on without the
    // folder's lock). A regular file is the old content, or a file another
    // writer put in place just before; it goes (RemoveUnder), unless a
    // writer holds it: without the folder's lock, a live writer's temporary
    // file that took the name after another writer's clean-up removed the
    // old content, or the file of a writer that is finishing its commit,
    // which removes it itself once it lets go (RemoveStale).
    tempName_.clear();
    struct stat old {};
    if (::fstatat(dirFd_, temp.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
        placed = true; // removed meanwhile, as another writer's clean-up does
        return 0;
    }
    if (S_ISREG(old.st_mode)) {
        RemoveUnder(dirFd_, temp.c_str(),
                    lock_ && lock_->Held() ? Removal::MovedSerialized : Removal::Moved);
        placed = true;
        return 0;
    }
    tempName_ = temp;
    // Something else took the target's name just before: it goes back.
    err = kkRenameExchange(dirFd_, temp.c_str(), dirFd_, name_.c_str());
    if (err != 0) {
        Fail(Quoted(target_) + " was taken by something that is not a regular file while it "
             "was replaced; it could not be put back and is now " + Quoted(folder_ + temp) + ": " +
             btkSystemReason(err));
        tempName_.clear(); // not ours: never removed
        return kFailed;
    }
    Fail(NotRegular(target_, old.st_mode));
    return kFailed;
}

// Removes what killed writers of the same target left under its temporary
// names: regular files that nobody holds the lock of. A live writer's
// file is locked; one that this process may not open stays.
void kkAtomicFile::RemoveStale() {
    // Under the folder's lock, as the placing (the same lock: a commit
    // waits for it once, in Place).
    if (lock_)
        (void)lock_->Take(dirFd_);
    for (int slot = 0; slot < kTempSlots; ++slot) {
        const std::string temp = TempNameFor(name_, slot);
        struct stat st {};
        if (::fstatat(dirFd_, temp.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            RemoveUnder(dirFd_, temp.c_str(), Removal::Stale);
    }
}

bool kkAtomicFile::OpenNew(const char* path, int mode, kkDurability durability) {
    exclusive_ = !opened_;
    return Open(path, mode, durability);
}

void kkAtomicFile::Abandon() {
    // Only this file's own name goes, never what took it.
    if (!tempName_.empty() && !committed_ && dirFd_ >= 0 && fd_ >= 0 && IsOurs(tempName_.c_str()))
        (void)::unlinkat(dirFd_, tempName_.c_str(), 0);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    tempName_.clear();
    CloseFolder();
}
