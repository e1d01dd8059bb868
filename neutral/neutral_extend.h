// Adding a part's extension data (qel_intf_data_extend) to a neutral part.
#pragma once

#include "kernel/qel_records.h"
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
// Returns 0; -2 for a null part or extension (nothing changes); -1 when the
// extension has element colours but the part has no colours record (no
// reference colours): everything before the element colours is converted,
// nothing after. A word whose array holds elements of another size than
// its layout is skipped and gives -2, and memory running out skips the
// record concerned and gives -10; in both cases the rest is converted.
ZPI_API int ConvertQelImpfeatExtend(neut_part* part, const qel_intf_data_extend* ext);
}
