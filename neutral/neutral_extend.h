// Adding a part's extension data (qel_intf_data_extend) to a neutral part.
#pragma once

#include "kernel/records/qel_records.h"
#include "neutral/neutral_records.h"
#include "zpi50_export.h"

extern "C" {

// Adds the extension's layers (those with items), reference and element
// colours, attributes, units, item names, faceted representations, the
// annotation records of words 10 to 15, the model class and the two
// dimension tolerances to `part`, which owns all it gets (release it with
// release_neutral_part). Arrays of the part are appended to; extended
// edges and solid regions are not converted. The extension is only read.
//
// Returns 0; -2 for a null part or extension (nothing changes). A word whose
// array holds elements of another size than its layout is skipped and gives
// -2, and memory running out skips the record concerned and gives -10;
// element colours when the part has no colours record (no reference
// colours) are skipped and give -1 unless one of those came first. In
// every case the rest is converted.
ZPI_API int ConvertQelImpfeatExtend(neut_part* part, const qel_intf_data_extend* ext);

// Tells what a result of ConvertQelImpfeatExtend other than 0 left out of
// the neutral part, as a diagnostic of the neutral converters
// (neut_message, neutral_convert.h) under the caller's routine name.
// Nothing for 0.
ZPI_API void ReportQelImpfeatExtendStatus(const char* routine, int status);
}
