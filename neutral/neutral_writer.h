// Writing a neutral part to a file and freeing it.
#pragma once

#include "neutral/neutral_records.h"
#include "zpi50_export.h"

#include "free_ptr.h"

#include <string>

extern "C" {
// Writes `part` in the neutral text format (base/neutral_output/ugc_output.h) to
// `location`: a stream or a named buffer registered under that name, or
// else a plain file path (UTF-16). Before writing, every curve record's
// leading type is set from the curve_type its holder records. The file is
// written uncompressed; the process-wide compression switch is neither
// read nor changed. Returns 1 when the file was written and closed
// without error, 0 otherwise (also for a null argument, and for a part
// whose arrays do not fit the schema table, and when a caller's stream
// fails or throws: nothing is thrown).
//
// A file is written beside its target and takes the target's place only
// when it is whole: a failed write leaves the file that was there as it
// was (or none), and a path that is not a regular file (a device, a fifo)
// is refused and never removed (base/files/kkatomicfile.h).
//
// While it runs, faceted representations hold element numbers instead of
// links; they are whole again afterwards, also after a failure. Each write
// keeps its state with itself, so several writes may run at once from
// different threads, each with a part of its own (a part is changed while
// it is written, so one part is written by one write at a time).
//
// A write that gives 0 says why through the neutral converters'
// diagnostics (neut_message, neutral/neutral_convert.h), under the routine
// "stream_neutral_to_pfa": the path and the system's text for a file
// ("cannot create \"...\": the folder is not writable (...)", "cannot
// write \"...\": No space left on device"), what a caller's stream did, or
// the field that did not fit the schema table.
ZPI_API int stream_neutral_to_pfa(const char16_t* location, neut_part* part);

// Frees the part and every record, text and array under it, walking the
// schema table; linear in the size of the part. Each block must have one
// owner, except that a record may stand in several pointer arrays (or
// twice in one): it is freed once. 0, or -2 for a null part.
ZPI_API int release_neutral_part(neut_part* part);
}

// As stream_neutral_to_pfa, handing the reason of a 0 to *why (when not
// null) instead of the diagnostics.
ZPI_API int stream_neutral_to_pfa_why(const char16_t* location, neut_part* part, std::string* why);

// A neutral part owned until the scope ends.
using NeutralPartPtr = FreePtr<neut_part, release_neutral_part>;
