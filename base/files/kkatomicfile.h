// Writing a file by its path without ever destroying what was there.
//
// kkAtomicFile writes into a new temporary file in the target's folder.
// Where the file system allows it the temporary file has no name
// (O_TMPFILE) while it is written, so a kill then leaves nothing behind;
// it gets a name only at the commit. Elsewhere, and for the moment of a
// replacing commit, it is named "." + the target's name (at most 64 bytes
// of it) + "." + a number below 64 + ".tmp" (".doc.xml.0.tmp"), the first
// such name that is free, created exclusively. The writer holds a lock
// (flock) on its temporary file from the start, so that a live one is
// told from one left by a writer that was killed. A new file gets the
// mode 0666 (or the one asked) less the umask; a replacing one the
// permission bits of the file it replaces from the start.
//
// The object keeps the temporary file's descriptor, device and inode until
// the end, and every name is checked against them: nothing but this file
// is ever put at the target, and nothing but the file it replaced is
// removed. Commit() puts the file in place only when every write
// succeeded, in this order:
// 1. When the target is a regular file, the new file takes what the old
//    one had besides its content (below), read through a descriptor of the
//    old file opened in the target's folder.
// 2. The file's bytes are synced (fsync); unsynced (kkDurability::Unsynced)
//    a close of a second descriptor still reports what the file system
//    reports at a close.
// 3. The file is put in place, never over anything but a regular file:
//    - no target: the file gets the name only while it is free (linkat of
//      the unnamed file, renameat2 with RENAME_NOREPLACE, or link + unlink
//      where the file system has neither); when something took the name
//      meanwhile, it is looked at as below;
//    - a regular file: the new file is exchanged with it (renameat2 with
//      RENAME_EXCHANGE), and what then lies under the temporary name is
//      judged as it is there after the exchange: a regular file (the old
//      content, or what another writer had put in place just before) is
//      removed, unless a writer holds its lock (a writer that is ending
//      its commit removes its own file from there itself, step 4);
//      anything else, put at the name just before the exchange, is
//      exchanged back at once and the commit fails, so it keeps its name.
//      On a file
//      system without renameat2 the target is checked and the file renamed
//      over it: something put there between the check and the rename is
//      replaced;
//    - anything else: refused, and left as it is.
//    Before a temporary name is renamed or exchanged it must still be this
//    file, and after it the target must be this file, or this file must
//    lie under another writer's temporary name of the target, where that
//    writer's exchange put it when its commit came just after (the last
//    wins: this file is removed from there); otherwise what was moved goes
//    back (exchanged or renamed back) and the commit fails with the reason,
//    leaving what took the temporary name under that name. Without
//    renameat2 a rename cannot be undone: the commit then fails saying
//    that the target holds what took the temporary name.
// 4. The file, in place, is no longer locked; temporary files of the same
//    target that no writer holds (unlocked regular files under any of its
//    64 temporary names: left by killed writers, or this very file when
//    another commit's exchange moved it there meanwhile) are removed.
// 5. The folder is synced, so that the new name survives a power loss. A
//    folder that the process may write but not read cannot be opened for
//    that: the whole file system is synced instead (syncfs on the file).
// A file written, synced and in place is complete and durable. Documents
// are synced by default; the client's hand-over files (zpi.xml, zpi.neu
// and the other documents it writes into the temporary folder for the
// host) and the transfer dump are written kkDurability::Unsynced: the host
// reads them at once, and a power loss loses the job anyway. They are
// still put in place whole and checked as above.
//
// What a killed writer can leave beside the target: nothing while an
// unnamed file is written; while the temporary file has a name (always on
// a file system without O_TMPFILE, and during a replacing commit between
// the naming and the removal of the old content) one file under a
// temporary name, holding the new content (a kill before the exchange) or
// the old one (after it); where a new target is placed by link + unlink, a
// kill between the two leaves the new file under both names. The target
// itself is always the old file or the new one, whole. The next successful write of the same target removes
// such files.
//
// On any failure, and when the object is destroyed or abandoned before
// Commit(), only the temporary file goes: the target stays exactly as it
// was, or absent when it was absent. The one exception: a folder sync
// that fails after the file was put in place is reported, but the target
// then holds the new content (which a power loss may undo).
//
// A replaced file keeps, besides its name:
// - its owner and group (fchown); when the process may not give the file
//   that owner or group (only root may give any), the file is the
//   writer's, and the set-user-id bit, and the set-group-id bit when the
//   group may execute, are cleared, as the system does when such a user
//   writes a file;
// - its permission bits, set-user-id, set-group-id and sticky bits;
// - its extended attributes, each copied as it is (user.*, trusted.*,
//   security.* labels and file capabilities, system.posix_acl_access),
//   and none that it did not have (an attribute the new file got from its
//   folder, such as an inherited ACL, is removed). An attribute that the
//   file system does not keep (ENOTSUP) or that the process may not set
//   (EPERM, EACCES: trusted.* without privilege, a label or capability it
//   may not give) is left out without a word; any other failure to copy
//   one fails the write.
// The file's times, inode number and other hard links are not kept: the
// file is a new one (a second hard link to the old file keeps the old
// content).
//
// What the target may be:
// - absent, in an existing folder: it is created;
// - a regular file that the process may write: it is replaced;
// - a symbolic link: the file it finally names is replaced, the link
//   stays; a link that names nothing is refused ("a link that names no
//   file"), and one that cannot be followed says why (a loop, a folder
//   without search permission: the system's text);
// - anything else that exists (a device, a fifo, a folder, a socket) is
//   refused at Open() with a clear reason: nothing is written into it and
//   it is never removed or renamed over (see the commit above).
// A regular file that the process may not write is refused as well, as
// opening it for writing would have been.
//
// OpenNew() is the exclusive create (as O_CREAT | O_EXCL): the target must
// not exist (not even as a link) at the open, and Commit() puts the file in
// place only while the name is free, never over a file made by another.
//
// One object is for one thread at a time; any number of objects may write
// at once, in one process or in several, into different targets or the
// same one: the last commit wins and every one of them succeeds. Writers
// of one folder take steps 3 and 4 one at a time, holding a lock of the
// folder, so that a writer never takes what another writer put at the
// target, or under a temporary name, for a stranger's, nor removes another
// writer's file: a commit fails for what took a name only when a program
// that is no such writer put it there. The lock is four names in the
// abstract namespace of local sockets made of the folder's device and
// inode, each of which one socket at a time may be bound to: every folder
// is locked alike, also one that the process may write and search but not
// read, and no file is made for it. Any user of the machine may bind such
// a name, so a writer asks the holder of a name who it is (the user and
// groups it had when it began to listen): one that could not write in the
// folder by the folder's permission bits (root can; in a sticky folder,
// as /tmp, also one that is neither root, the folder's owner nor this
// process's user, as it could not replace this process's files), or that
// does not answer, is a stranger, and its name is passed over at once, so that a
// stranger delays no commit. A writer takes the four in order and holds
// every one it does not pass over, so that two writers never go on
// together while strangers keep the names they hold. Writers may go on
// without the lock where strangers hold all four; where strangers take or
// let go of names between two writers' looks at them, or fill the queue of
// a writer's name so that it does not answer, so that the two pass over
// each other at every name; and, rarely, where two writers catch each
// other between binding a name and listening at every name they pass. A
// commit waits for writers that hold it once, at most two seconds in all:
// when a program that may write the folder holds it longer (for its own
// ends), the commit goes on without it, never waiting for ever; a process
// out of descriptors or memory cannot take it, and its commit fails saying
// so. Writers that meet without the lock (it held elsewhere, or by
// strangers as above; writers in different network namespaces,
// which do not share such names; a writer let in by an access control list
// alone, which is taken for a stranger; or a writer of an earlier build of
// this library, which locked the folder itself with flock, or bound the
// first name without answering) still leave nothing behind when they
// end, and with renameat2 still all succeed; without renameat2 one whose
// file another's rename replaced at once cannot tell that from a
// stranger's doing, and fails. A named temporary file is this writer's
// only once it holds its lock and the name still names it: another
// writer's clean-up (step 4) that took it first removes it, and the next
// name is taken.
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

struct stat;
class kkFolderLock;

// (In the namespace that keeps the internal classes' symbols apart from a
// program's own classes of the same names: base/zbase_export.h.)
inline namespace zbase_internal {

// Whether a commit waits for the disk (steps 2 and 5 above).
enum class kkDurability { Durable, Unsynced };

class kkAtomicFile {
public:
    kkAtomicFile() = default;
    // Open(path) at once; see IsOpen() and Error().
    explicit kkAtomicFile(const char* path);
    // Abandons the file unless it was committed.
    ZBASE_API ~kkAtomicFile();
    kkAtomicFile(const kkAtomicFile&) = delete;
    kkAtomicFile& operator=(const kkAtomicFile&) = delete;

    // Makes the temporary file for the target `path` (a native path, UTF-8),
    // open for reading and writing, with the permissions `mode` less the
    // umask when the target is new, committed as `durability` says. False,
    // with the reason in Error(), when the target is refused or the
    // temporary file cannot be made. An object opens once.
    ZBASE_API bool Open(const char* path, int mode = 0666, kkDurability durability = kkDurability::Durable);
    // As Open(), for a target that must not exist yet (see above).
    bool OpenNew(const char* path, int mode = 0666,
                 kkDurability durability = kkDurability::Durable);
    // Writes all `size` bytes. False when they were not all written; the
    // failure is kept, later writes do nothing and Commit() fails.
    ZBASE_API bool Write(const void* data, size_t size);
    // Marks the write as failed (a caller's own failure); Commit() then
    // removes the temporary file instead of putting it in place.
    ZBASE_API void SetFailed(const std::string& why);
    // Puts the file in place (see above). True when the target now holds
    // everything written (durably unless opened kkDurability::Unsynced); false (the temporary file is removed,
    // the target untouched, but see the folder sync above) when anything
    // failed.
    ZBASE_API bool Commit();
    // Closes and removes the temporary file; the target stays as it was.
    ZBASE_API void Abandon();

    bool IsOpen() const { return fd_ >= 0; }
    // No failure so far.
    bool Good() const { return !failed_; }
    // Why the open, a write, the sync or the placing failed, with the path:
    // "cannot create \"<path>\": No such file or directory", "... the
    // folder is not writable (Permission denied)", "\"<path>\" is not a
    // regular file (a directory); ...", "cannot write \"<path>\": No space
    // left on device"; empty when nothing failed.
    const std::string& Error() const { return error_; }
    // The file descriptor of the temporary file while it is open (-1
    // otherwise), for callers that seek or read back what they wrote.
    int Fd() const { return fd_; }
    // The file that Commit() replaces (symbolic links followed); empty
    // before a successful Open().
    const std::string& Target() const { return target_; }
    // The temporary file's path while it has a name; empty when it has
    // none (O_TMPFILE) and after the commit.
    std::string TempPath() const;

private:
    void Fail(const std::string& why);
    void Fail(const char* what, int err);
    bool MakeTemporary(int mode);
    bool NameTemporary();
    // Tries fresh temporary names until `make` (0 or an errno; EEXIST tries
    // the next) takes one, which is then the temporary file's name.
    bool TakeTempName(const char* what, const std::function<int(const char*)>& make);
    bool KeepAttributes(const struct stat& old, int oldFd);
    bool KeepExtendedAttributes(int oldFd);
    bool Place();
    int PutNew();
    int Exchange(bool& placed);
    // The name (in the folder) is this object's temporary file.
    bool IsOurs(const char* name) const;
    // After this file took the target's place and another writer's commit
    // took it again (the last wins): this file is removed from under that
    // writer's temporary name, where its exchange left it. False when the
    // file is not there.
    bool MovedOn();
    // Why the commit failed when something else took the temporary name
    // `temp`: `what` tells when, and what the target holds now.
    std::string TempTaken(const std::string& temp,
                          const std::string& what = "before it took the target's place; the "
                                                    "target is left as it was") const;
    void RemoveStale();
    void CloseFolder();

    int fd_ = -1;
    int dirFd_ = -1;        // the target's folder
    kkFolderLock* lock_ = nullptr; // the folder's lock, while Commit() runs
    bool dirSyncable_ = false;
    bool anonymous_ = false; // the temporary file has no name
    bool opened_ = false;
    bool failed_ = false;
    bool committed_ = false;
    bool exclusive_ = false;
    bool durable_ = true;
    dev_t dev_ = 0;         // the temporary file's device and inode
    ino_t ino_ = 0;
    std::string target_;
    std::string folder_;    // the target's folder, ending in '/' (or empty)
    std::string name_;      // the target's own name
    std::string tempName_;  // the temporary file's name, while it has one
    std::string error_;
};
} // namespace zbase_internal
