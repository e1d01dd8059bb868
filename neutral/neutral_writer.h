// Writing a neutral part to a file and freeing it.
#pragma once

#include "neutral/neutral_records.h"
#include "zpi50_export.h"

extern "C" {
// Writes `part` in the neutral text format (base/ugc_output.h) to
// `location`: a stream or a named buffer registered under that name, or
// else a plain file path (UTF-16). Before writing, every curve record's
// leading type is set from the curve_type its holder records. The
// process-wide output compression is off for the span of the write and
// restored afterwards. Returns 1 when the file was written and closed
// without error, 0 otherwise (also for a null argument, and for a part
// whose arrays do not fit the schema table); a failed write to a file
// leaves no file behind. While it runs, faceted representations hold
// element numbers instead of links; they are whole again afterwards. One
// write at a time per process (the compression switch and the saved facet
// links are process-wide).
ZPI_API int stream_neutral_to_pfa(const char16_t* location, neut_part* part);

// Frees the part and every record, text and array under it, walking the
// schema table; linear in the size of the part. Each block must have one
// owner, except that a record may stand in several pointer arrays (or
// twice in one): it is freed once. 0, or -2 for a null part.
ZPI_API int release_neutral_part(neut_part* part);
}
