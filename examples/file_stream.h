// A stream for SaveAsNeutral that writes a file the safe way: the bytes go
// to a new temporary file beside the target, NAME.tmp<pid>_<n>, and the
// target is replaced only by Commit(), once SaveAsNeutral has returned: the
// temporary file is synced and renamed over the target (keeping the
// permissions of the file it replaces). Until then, and whenever something
// fails, the target keeps what it held; a stream destroyed without a
// successful Commit() removes its temporary file. A stream locks its
// temporary file while it lives, so what a writer that was killed left
// is a file of that naming that nobody locks: a successful Commit()
// removes such leftovers beside its target. Any number of streams, in one
// process or several, may write one target at once: the last Commit()
// wins, and each succeeds.
//
//     xrchandle<FileStream> out(new FileStream("part.neu"));
//     model->SaveAsNeutral(out);   // raises when a write failed: see Error()
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

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

class FileStream : public KCStream {
public:
    explicit FileStream(std::string target) : target_(std::move(target)) {
        // A name of our own beside the target (the same folder, so the
        // rename stays on one file system); O_EXCL never takes over a file
        // that is there already.
        int err = 0;
        for (int attempt = 0; attempt < 100 && fd_ < 0 && err == 0; ++attempt) {
            temp_ = target_ + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(attempt);
            const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                err = errno == EEXIST ? 0 : errno;
                continue;
            }
            // Until it is locked, another stream's clean-up may take the
            // file for a leftover and remove it: it is ours only once we
            // hold its lock and the name still names it. Otherwise that
            // clean-up removes it, and the next name is tried.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                if (StillNamed(fd, temp_))
                    fd_ = fd;
                else
                    ::close(fd);
            } else {
                err = errno == EWOULDBLOCK ? 0 : errno;
                ::close(fd);
                if (err != 0) // no lock: nothing would tell it from a leftover
                    ::unlink(temp_.c_str());
            }
        }
        if (fd_ < 0) {
            error_ = "\"" + target_ + "\" not saved: cannot make a temporary file beside it: " +
                     (err ? std::strerror(err) : "no free name");
            temp_.clear();
        }
    }
    ~FileStream() override { Discard(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Why the stream failed (empty while nothing has): the target, what
    // failed (with the temporary file's name) and the system's reason.
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
                Fail("writing its temporary file");
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

    // Syncs the temporary file and renames it over the target. False, with
    // Error() telling why, when a write failed before or a step fails now;
    // the target then keeps what it held.
    bool Commit() {
        if (fd_ < 0) {
            if (error_.empty())
                error_ = "\"" + target_ + "\" not saved: nothing to commit";
            return false;
        }
        // A file that replaces another keeps the other's permissions.
        struct stat old;
        if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
            ::fchmod(fd_, old.st_mode & 07777) != 0)
            return Fail("setting the permissions of its temporary file");
        if (::fsync(fd_) != 0)
            return Fail("syncing its temporary file");
        // Renamed while still open and locked, so that no other stream takes
        // it for a leftover.
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            return Fail("renaming its temporary file", " over it");
        ::close(fd_); // synced: nothing is left for close to report
        fd_ = -1;
        temp_.clear();
        SyncFolder();
        RemoveLeftovers();
        return true;
    }

private:
    bool Fail(const std::string& doing, const char* what = "") {
        error_ = "\"" + target_ + "\" not saved: " + doing + " \"" + temp_ + "\"" + what + ": " +
                 std::strerror(errno);
        Discard();
        return false;
    }
    void Discard() {
        if (!temp_.empty())
            ::unlink(temp_.c_str());
        temp_.clear();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    // The folder of the target, ending in "/".
    std::string Folder() const {
        const size_t slash = target_.find_last_of('/');
        return slash == std::string::npos ? "./" : target_.substr(0, slash + 1);
    }
    // The rename itself reaches the disk with its folder.
    void SyncFolder() const {
        const int fd = ::open(Folder().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    // Removes the regular files beside the target named as a stream names
    // its temporary file (NAME.tmp<digits>_<digits>) that no stream locks:
    // the leftovers of writers that were killed.
    void RemoveLeftovers() const {
        const std::string folder = Folder();
        const std::string prefix = target_.substr(folder == "./" ? 0 : folder.size()) + ".tmp";
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.compare(0, prefix.size(), prefix) != 0 || !OwnNaming(name.substr(prefix.size())))
                continue;
            const std::string path = folder + name;
            const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                continue;
            // Nobody's lock on it, and still the file that was found.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(fd, path))
                ::unlink(path.c_str());
            ::close(fd);
        }
        ::closedir(dir);
    }
    // Whether `path` names the regular file open as `fd`.
    static bool StillNamed(int fd, const std::string& path) {
        struct stat opened, named;
        return ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
               ::lstat(path.c_str(), &named) == 0 &&
               named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
    }
    // Whether `rest` is "<digits>_<digits>".
    static bool OwnNaming(const std::string& rest) {
        const size_t underscore = rest.find('_');
        if (underscore == 0 || underscore == std::string::npos || underscore + 1 == rest.size())
            return false;
        for (size_t i = 0; i < rest.size(); ++i)
            if (i != underscore && (rest[i] < '0' || rest[i] > '9'))
                return false;
        return true;
    }

    std::string target_;
    std::string temp_;
    std::string error_;
    int fd_ = -1;
    int64_t pos_ = 0;
};
