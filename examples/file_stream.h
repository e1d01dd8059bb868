// A stream for SaveAsNeutral that writes a file the safe way: the bytes go
// to a new temporary file beside the target, and the target is replaced
// only by Commit(), once SaveAsNeutral has returned: the temporary file is
// synced, closed and renamed over the target (keeping the permissions of
// the file it replaces). Until then, and whenever something fails, the
// target keeps what it held; a stream destroyed without a successful
// Commit() removes its temporary file.
//
//     xrchandle<FileStream> out(new FileStream("part.neu"));
//     model->SaveAsNeutral(out);   // raises when a write failed
//     if (!out->Commit())
//         std::fprintf(stderr, "%s\n", out->Error().c_str());
//
// Copy it into a translator as it stands (Linux and other POSIX systems).
#pragma once

#include "zpi50.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class FileStream : public KCStream {
public:
    explicit FileStream(std::string target) : target_(std::move(target)) {
        // A name of our own beside the target (the same folder, so the
        // rename stays on one file system); O_EXCL never takes over a file
        // that is there already.
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = target_ + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST)
                break;
        }
        if (fd_ < 0) {
            error_ = "cannot write beside " + target_ + ": " + std::strerror(errno);
            temp_.clear();
        }
    }
    ~FileStream() override { Discard(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the stream failed (empty while nothing has).
    const std::string& Error() const { return error_; }

    int Read(void*, int) override { return -1; } // written only
    int Write(const void* buffer, int count) override {
        if (fd_ < 0 || count < 0)
            return -1;
        const char* bytes = static_cast<const char*>(buffer);
        int done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, bytes + done, size_t(count - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                Fail("writing");
                return -1;
            }
            done += int(n);
        }
        pos_ += done;
        return done;
    }
    int64_t GetPos() override { return fd_ >= 0 ? pos_ : -1; }
    int SetPos(int64_t) override { return -1; } // written front to back
    // The file stays open until Commit() (or the stream goes): closing is
    // part of making it the target.
    int Close() override { return 0; }

    // Syncs and closes the temporary file and renames it over the target.
    // False, with Error() telling why, when a write failed before or a step
    // fails now; the target then keeps what it held.
    bool Commit() {
        if (fd_ < 0) {
            if (error_.empty())
                error_ = "nothing to commit for " + target_;
            return false;
        }
        // A file that replaces another keeps the other's permissions.
        struct stat old;
        if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
            ::fchmod(fd_, old.st_mode & 07777) != 0)
            return Fail("setting the permissions of");
        if (::fsync(fd_) != 0)
            return Fail("syncing");
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0)
            return Fail("closing");
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            return Fail("renaming it to " + target_);
        temp_.clear();
        SyncFolder();
        return true;
    }

private:
    bool Fail(const std::string& step) {
        error_ = step + " " + temp_ + ": " + std::strerror(errno);
        Discard();
        return false;
    }
    void Discard() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        temp_.clear();
    }
    // The rename itself reaches the disk with its folder.
    void SyncFolder() {
        const size_t slash = target_.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "." : target_.substr(0, slash + 1);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

    std::string target_;
    std::string temp_;
    std::string error_;
    int fd_ = -1;
    int64_t pos_ = 0;
};
