// "bnfs:" documents of the client: the opener that the XML binding uses for
// paths bnfs://host:port/path. It reaches the bnfs server at host:port (as
// a rule the host's server) and reads or writes the whole file there:
//   mode 1 (read)   fetches the file when opened;
//   mode 2 (write)  connects when opened, keeps what is written, and stores
//                   the file on Close (a file never closed is not stored,
//                   nor one that a write failed: too large, no memory).
// Both are bounded by the client's reply time limits (client/zr_proxy.h).
// A path under this process's own callback URL names a file of the
// callback server's in-memory location: it is read and written there
// directly, in the same way, without a connection.
#pragma once

#include "api/zpi50_export.h"

#include <cstddef>
#include <cstdint>
#include <string>

class IntfXmlBnfsFile;

// Host, port and the path inside the server's location ("/" at least) of a
// "bnfs://host:port/path" text; false (with the reason in *error) for
// anything else.
bool ZrSplitBnfsPath(const char* path, std::string& host, int& port, std::string& inner,
                     std::string* error);
// The opener registered with the XML binding.
IntfXmlBnfsFile* ZrOpenBnfsFile(const char* path, int mode, std::string* error);
// Registers ZrOpenBnfsFile as the "bnfs:" opener (idempotent).
void ZrRegisterBnfsOpener();

// Switches for tests: process-wide, for the writes that follow. Exported
// only by a build with ZPI_TEST_HOOKS (never shipped); elsewhere hidden, so
// the limits keep their values.
#if defined(ZPI_TEST_HOOKS)
#define ZR_TEST_HOOKS_API
#else
#define ZR_TEST_HOOKS_API __attribute__((visibility("hidden")))
#endif
struct ZR_TEST_HOOKS_API ZrBnfsTestHooks {
    // The most bytes a document written may hold, below what a transfer
    // can carry (0 restores that limit).
    static void SetDocumentLimit(size_t bytes);
    // The memory for documents written is refused once `blocks` more blocks
    // have been given (negative: never refused).
    static void RefuseBlocksAfter(int64_t blocks);
};
