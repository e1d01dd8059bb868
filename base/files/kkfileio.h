// Opening a path that must name a regular file, and writing whole buffers.
//
// kkOpenRegularFile opens `path` only when it names a regular file, and
// never blocks on anything else: the path is checked (stat, links
// followed), opened with O_NONBLOCK | O_NOCTTY | O_CLOEXEC added to
// `flags` (so a FIFO without a peer or a device cannot hold the open, and
// no terminal becomes the controlling one), and what was opened is checked
// again (fstat: a regular file, and the same file the path named when it
// already existed), so nothing can be swapped in between. Then O_NONBLOCK
// is cleared and the descriptor answered: blocking, close-on-exec.
// `flags` are open(2) flags: O_RDONLY, O_WRONLY or O_RDWR, with O_APPEND,
// O_CREAT (a new file gets `mode` less the umask) or O_EXCL as wanted; a
// caller that empties the file does so after the open (ftruncate), so that
// only a regular file is ever emptied. A directory, FIFO, socket or device,
// or a path that cannot be opened, gives -1 with the reason in *error
// (when not null): "cannot open \"<path>\": <why>" (the path quoted by
// btkQuoted, base/text/btk_quoted.h), where <why> is "a
// directory", "a FIFO", "a socket", "a device", "no file name", "the file
// changed while it was opened" or the system's text. Nothing that was not
// a regular file is created, written or emptied.
//
// kkWriteAll writes all `size` bytes to `fd`, again after an interruption
// (EINTR) and after a short write. False when the file refuses a byte
// (*err, when given, is the errno: EIO when write answered 0).
//
// kkRenameNoReplace renames `from` (relative to the folder descriptor
// `fromDir`, or AT_FDCWD) to `to` only when nothing has that name, and
// never replaces what takes the name meanwhile: renameat2 with
// RENAME_NOREPLACE; where the file system or kernel has no such rename, a
// file (or link) is linked under the new name (which fails when the name is
// taken) and its old name removed, and a folder is renamed over an empty
// folder made for it under the new name (which fails when anything else
// took the name or put something in it). 0, or the errno (EEXIST when the
// name is taken).
//
// kkRenameExchange exchanges `a` and `b` (renameat2 with RENAME_EXCHANGE):
// both must exist. 0, the errno, or ENOSYS where the file system or kernel
// has no such rename.
//
// kkSyncFd forces what was written to `fd` (a file or a folder) to the
// disk (fsync, again after an interruption). 0, or the errno.
//
// kkSyncFileSystem forces everything written to the file system that holds
// `fd` to the disk (syncfs): what makes a name in a folder durable when the
// folder cannot be opened to be synced (it may be written but not read).
// It counts as a folder sync. 0, or the errno.
//
// kkFileTestHooks are process-wide switches for tests and benchmarks:
// each may be changed at any time from any thread and holds for the calls
// that begin afterwards. Only a build with ZPI_TEST_HOOKS defined (CMake
// option ZPI_TEST_HOOKS, for tests and benchmarks) exports them; any other
// build keeps the whole class hidden inside the library, so the switches
// stay at their defaults and no program can turn durability off.
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <cstdint>
#include <string>

inline namespace zbase_internal {
ZBASE_API int kkOpenRegularFile(const char* path, int flags, int mode, std::string* error);
bool kkWriteAll(int fd, const void* data, size_t size, int* err = nullptr);
int kkRenameNoReplace(int fromDir, const char* from, int toDir, const char* to);
int kkRenameExchange(int aDir, const char* a, int bDir, const char* b);
int kkSyncFd(int fd, bool folder);
int kkSyncFileSystem(int fd);
} // namespace zbase_internal

#if defined(ZPI_TEST_HOOKS)
#define ZBASE_TEST_HOOKS_API ZBASE_API
#else
#define ZBASE_TEST_HOOKS_API __attribute__((visibility("hidden")))
#endif

struct ZBASE_TEST_HOOKS_API kkFileTestHooks {
    // Off: nothing is synced (to measure what syncing costs). On by default.
    static void SetSync(bool on);
    static bool Sync();
    // Off: the paths taken where a file system has no O_TMPFILE, or no
    // renameat2 (neither RENAME_NOREPLACE nor RENAME_EXCHANGE).
    static void SetTmpFile(bool on);
    static bool TmpFile();
    static void SetRenameAt2(bool on);
    static bool RenameAt2();
    // Files and folders synced by kkSyncFd (and kkSyncFileSystem) so far
    // in this process.
    static uint64_t FileSyncs();
    static uint64_t FolderSyncs();
    // Called (when set) by kkAtomicFile::Commit with the target's path,
    // after its last look at the target and just before the file is put
    // in place, so that a test can change the target at that moment.
    using BeforePlace = void (*)(const char* target);
    static void SetBeforePlace(BeforePlace hook);
    static BeforePlace GetBeforePlace();
    // How long a commit waits for its folder's lock (kkatomicfile.h), in
    // milliseconds: 2000 by default. And how many such waits ran out in
    // this process so far (the lock was held elsewhere all that time).
    static void SetFolderLockWaitMs(int ms);
    static int FolderLockWaitMs();
    static uint64_t FolderLockWaitsRunOut();
    // Takes the name `name` (0, the first, to 3) of the lock of `folder`
    // (kkatomicfile.cpp) without waiting, as another program would hold
    // it: answering who holds it as a writer does, or, with `answers`
    // false, bound only. The descriptor that holds it (closing it, in every
    // process that has it, lets go), or -1 when it is held already, cannot
    // be taken or there is no such name.
    static int HoldFolderLock(const char* folder, int name = 0, bool answers = true);
};
// What a file of stat mode `mode` is, in the words above: "a directory",
// "a FIFO", "a socket", "a device", else "not a regular file".
inline namespace zbase_internal {
const char* kkKindOfFile(unsigned mode);
} // namespace zbase_internal
