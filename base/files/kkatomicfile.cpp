#include "kkatomicfile.h"

#include "kkfileio.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kTempNameBytes = 64;
constexpr int kTempAttempts = 64;

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

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

} // namespace

kkAtomicFile::kkAtomicFile(const char* path) { Open(path); }

kkAtomicFile::~kkAtomicFile() {
    if (!committed_)
        Abandon();
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
        Fail(Quoted(target) + " is not a regular file; it is neither written nor replaced");
        return false;
    }
    if (exists && ::access(target.c_str(), W_OK) != 0) {
        const int err = errno;
        Fail("cannot write " + Quoted(target) + ": " + std::strerror(err));
        return false;
    }

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        Fail(Quoted(target) + " names no file");
        return false;
    }
    static const char hex[] = "0123456789abcdef";
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        uint64_t r = NextRandom();
        std::string temp = folder + "." + ShortName(name, kTempNameBytes) + ".";
        for (int i = 0; i < 16; ++i, r >>= 4)
            temp += hex[r & 15];
        temp += ".tmp";
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = std::move(temp);
            target_ = std::move(target);
            // A replaced file keeps its permissions.
            if (exists)
                (void)::fchmod(fd_, st.st_mode & 07777);
            return true;
        }
        if (errno != EEXIST) {
            const int err = errno;
            Fail("cannot create " + Quoted(target) + ": " + std::strerror(err));
            return false;
        }
    }
    Fail("cannot create " + Quoted(target) + ": no free temporary name beside it");
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

bool kkAtomicFile::Commit() {
    if (committed_)
        return true;
    if (fd_ < 0) {
        Fail("the file is not open");
        Abandon();
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        Fail("cannot write", errno);
    if (!failed_) {
        // The target may have changed since the open.
        struct stat st {};
        if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            Fail(Quoted(target_) + " is not a regular file; it is neither written nor replaced");
        else if (exclusive_) {
            // link(2) fails when the name was taken meanwhile; the
            // temporary name goes either way.
            if (::link(temp_.c_str(), target_.c_str()) != 0)
                Fail("cannot create", errno);
            else
                (void)::unlink(temp_.c_str());
        } else if (::rename(temp_.c_str(), target_.c_str()) != 0)
            Fail("cannot replace", errno);
    }
    if (failed_) {
        Abandon();
        return false;
    }
    committed_ = true;
    temp_.clear();
    return true;
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
    if (!temp_.empty() && !committed_) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}
