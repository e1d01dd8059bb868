// Writing a file by its path without ever destroying what was there.
//
// kkAtomicFile writes into a new temporary file in the target's folder
// (named "." + the target's name (at most 64 bytes of it) + "." + 16 hex
// digits + ".tmp", created exclusively with mode 0666 (or the one asked)
// less the umask, or with the mode of the file it replaces). Commit() closes it and renames it
// over the target, and only when every write and the close succeeded. On
// any failure, and when the object is destroyed or abandoned before
// Commit(), only that temporary file is removed: the target stays exactly
// as it was, or absent when it was absent. The bytes are not forced to the
// disk (no fsync): the file is complete, not necessarily durable.
//
// What the target may be:
// - absent, in an existing folder: it is created;
// - a regular file that the process may write: it is replaced (a second
//   hard link to it keeps the old content);
// - a symbolic link: the file it finally names is replaced, the link
//   stays; a link that names nothing is refused;
// - anything else that exists (a device, a fifo, a folder, a socket) is
//   refused at Open() with a clear reason: nothing is written into it and
//   it is never removed or renamed over. The check is made again just
//   before the rename.
// A regular file that the process may not write is refused as well, as
// opening it for writing would have been.
//
// OpenNew() is the exclusive create (as O_CREAT | O_EXCL): the target must
// not exist (not even as a link) at the open, and Commit() puts the file in
// place with link(2), which fails when anything took the name meanwhile,
// instead of rename(2), which would replace it; the temporary name is then
// removed. So an exclusive create never replaces a file made by another.
//
// One object is for one thread at a time; any number of objects may write
// at once, into different targets or the same one (the last commit wins).
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <string>

class ZBASE_API kkAtomicFile {
public:
    kkAtomicFile() = default;
    // Open(path) at once; see IsOpen() and Error().
    explicit kkAtomicFile(const char* path);
    // Abandons the file unless it was committed.
    ~kkAtomicFile();
    kkAtomicFile(const kkAtomicFile&) = delete;
    kkAtomicFile& operator=(const kkAtomicFile&) = delete;

    // Makes the temporary file for the target `path` (a native path, UTF-8),
    // open for reading and writing, with the permissions `mode` less the
    // umask when the target is new. False, with the reason in Error(), when
    // the target is refused or the temporary file cannot be made. An object
    // opens once.
    bool Open(const char* path, int mode = 0666);
    // As Open(), for a target that must not exist yet (see above).
    bool OpenNew(const char* path, int mode = 0666);
    // Writes all `size` bytes. False when they were not all written; the
    // failure is kept, later writes do nothing and Commit() fails.
    bool Write(const void* data, size_t size);
    // Marks the write as failed (a caller's own failure); Commit() then
    // removes the temporary file instead of renaming it.
    void SetFailed(const std::string& why);
    // Closes the temporary file and renames it over the target. True when
    // the target now holds everything written; false (the temporary file is
    // removed, the target untouched) when anything failed.
    bool Commit();
    // Closes and removes the temporary file; the target stays as it was.
    void Abandon();

    bool IsOpen() const { return fd_ >= 0; }
    // No failure so far.
    bool Good() const { return !failed_; }
    // Why the open, a write, the close or the rename failed; empty when
    // nothing failed.
    const std::string& Error() const { return error_; }
    // The file descriptor of the temporary file while it is open (-1
    // otherwise), for callers that seek or read back what they wrote.
    int Fd() const { return fd_; }
    // The file that Commit() replaces (symbolic links followed), and the
    // temporary file; empty before a successful Open().
    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }

private:
    void Fail(const std::string& why);
    void Fail(const char* what, int err);

    int fd_ = -1;
    bool opened_ = false;
    bool failed_ = false;
    bool committed_ = false;
    bool exclusive_ = false;
    std::string target_;
    std::string temp_;
    std::string error_;
};
