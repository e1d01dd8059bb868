// Adapter that plugs the base library's uni locations into its pfa file
// layer as location kind 2: a table of methods that the pfa layer calls for
// every file whose location is a uni location. Each method turns the pfa
// file into a uni path or handle, calls one uni function and maps its
// result back to a pfa status.
//
// Statuses of the methods: 0 success; 1 a failing uni call; 2 nothing
// found, missing UI flag or property, or a missing file for "r+" opens;
// 3 no transaction owner, or no stream after a truncate; 5 end of data;
// 9 bad argument, missing stream or not a uni location; 11 a name that
// cannot be taken or converted; 12 is a folder; 14 empty parent; 17 failed
// close of a flagged transaction; 19 listing opened or rewound; -1 end of
// data for the character methods and an empty properties address.
//
// The adapter takes no locks: its one-time registrations and look-ups and
// its process-wide name buffers make it a thing for one thread at a time.
#pragma once

#include "zpi50_export.h"

#include "pfa.h"

#include <cstdint>

inline namespace zbase_internal {
struct uni_handle; // base/files/uniloc.h
}

extern "C" {

// Uni-location kind of the pfa layer.
enum { UNIFS_PFA_KIND = 2 };

// Registers the method table as location kind 2 (and, once, the
// application-info type that holds a file's uni handle). Returns 0.
int unifs_register_pfa_location(void);

// The file's uni handle, made (when `create` is nonzero) from its full name
// and kept in its application info; null when there is none.
uni_handle* unifs_get_uni_handle(pfa_file* file, int create);
// The application-info type of the handles (-1 before registration).
int unifs_appinfo_type(void);

// Mappings of the methods, exposed for their callers and tests.
int unifs_open_mode(int pfaModeFlags);
int pfa_to_uni_retrmode(int pfaBits);
int unifs_dir_open_flags(int pfaListFlags);
int unifs_access_mode(int pfaMode);
// Access flags of a C mode text for a file whose name components begin with
// `first`; *mustExist is set when the file must exist ("r+" on "f"/"g").
int unifs_mode_text_access(const char* mode, char16_t first, int* mustExist);
// Mask of the host's open-box answers for a context (see the bit table in
// the source); the six host functions are looked up once per process.
int unifs_openbox_options(void* context);
}
