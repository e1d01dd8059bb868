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
// (when not null): "cannot open \"<path>\": <why>", where <why> is "a
// directory", "a FIFO", "a socket", "a device", "no file name", "the file
// changed while it was opened" or the system's text. Nothing that was not
// a regular file is created, written or emptied.
//
// kkWriteAll writes all `size` bytes to `fd`, again after an interruption
// (EINTR) and after a short write. False when the file refuses a byte
// (*err, when given, is the errno: EIO when write answered 0).
#pragma once

#include "zbase_export.h"

#include <cstddef>
#include <string>

ZBASE_API int kkOpenRegularFile(const char* path, int flags, int mode, std::string* error);
ZBASE_API bool kkWriteAll(int fd, const void* data, size_t size, int* err = nullptr);
