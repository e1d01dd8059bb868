// The standard descriptors 0, 1 and 2, which a process may be started
// without (a service manager, a host) or close later. Not installed.
//
// When the library is loaded, each of them that is closed is given the
// null device, opened for reading and writing and inherited by the
// programs the process starts, so that nothing opened later takes its
// number; where the null device cannot be opened, a descriptor of the root
// folder that reads and writes nothing (O_PATH) holds the number instead.
// A number that another thread takes meanwhile is left to it.
//
// btkAboveStandardFds moves a descriptor that the library opened (`fd`)
// off 0, 1 and 2: one of them is duplicated to the lowest free number of 3
// or more, keeping its close-on-exec flag, and closed; any other `fd`
// (-1 too, with errno untouched) is answered as it is. -1 with errno set
// (EMFILE when no number of 3 or more is free) when it cannot be moved;
// `fd` is closed then. Every descriptor the library opens passes through
// it, so that nothing written to a standard descriptor (by the library or
// by the translator) reaches one of the library's files or connections.
//
// btkTellStandardError writes `size` bytes, a whole told line, to
// descriptor 2 (again after an interruption or a short write), under the
// lock of the stderr stream and after whatever that holds, so that no
// other thread's line or stream write comes between its parts; a reader
// that is gone raises no SIGPIPE. It writes only while descriptor 2 is a
// standard error: open and inherited by programs the process starts, as
// a standard error is (also one redirected with dup2 or freopen). A
// descriptor 2 that is close-on-exec is one that a file, socket or pipe
// took after 2 was closed (open(2) with O_CLOEXEC, as the library's own
// and the README's file stream open theirs): the line is dropped. errno
// is kept.
//
// A told line holds up the work it speaks of for a bounded time only. A
// descriptor 2 left non-blocking is waited for while its reader takes
// bytes, but not past 10 seconds after the last write that went in (or
// the line's first try), on the monotonic clock: a signal (a watchdog's or
// a profiler's timer, with SA_RESTART or without) neither moves nor
// renews that deadline. A line whose wait ran out is given up, and from
// then on each line is tried once, without waiting, until a write goes in
// again: a reader that takes nothing costs the process 10 seconds, not 10
// seconds a line. The lines given up are counted, and the count is told
// in a line of its own ("standard error took nothing for 10 seconds: 3
// told lines were left out") before the first line the reader takes
// again; a line cut short is ended by a line end first. Another file put
// in place of descriptor 2 (dup2, freopen) is waited for afresh, and gets
// the count; a child of fork() does not tell its parent's count.
//
// The only lock held while it writes is the stderr stream's, which every
// stdio writer of standard error takes too; the library's own locks and
// once-only set-ups are never held while it tells (their lines are made
// under them and told after). fork() and exit() do not wait for that
// lock (the C library resets it in the child, and its flush at exit
// passes over it); fflush(NULL) does, as for any writer's line. A thread
// that tells while another thread's line waits waits behind it: on a
// non-blocking descriptor 2 no longer than that line's deadline (its own
// line is then tried once), so the bound holds for every thread that
// tells; on a blocking one whose reader is stuck, each thread that writes
// standard error waits, as its own write would. A thread cancelled
// (pthread_cancel) while it tells is cancelled once its line is done, so
// that it never leaves the stream's lock held.
//
// btkTellLine tells `prefix` and the text `format` and `args` make as one
// line, with a line end, through btkTellStandardError. A short line is
// made without the heap, so that an abort is told also when that fails.
#pragma once

#include <cstdarg>
#include <cstddef>

inline namespace zbase_internal {

int btkAboveStandardFds(int fd);
void btkTellStandardError(const char* data, size_t size);
void btkTellLine(const char* prefix, const char* format, va_list args)
    __attribute__((format(printf, 2, 0)));

} // namespace zbase_internal
