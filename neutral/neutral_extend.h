// Adding a part's extension data (qel_intf_data_extend) to a neutral part.
#pragma once

#include "api/qel_records.h"
#include "neutral/neutral_records.h"
#include "zpi50_export.h"

// ConvertQelImpfeatExtend is exported: api/qel_records.h declares it;
// its definition says what it does in detail.

// ConvertQelImpfeatExtend, telling what the part cannot carry and what the
// conversion left out (ReportQelImpfeatExtendStatus) under `teller`, the
// caller's name ("SaveAsNeutral"). Returns ConvertQelImpfeatExtend's result.
int neut_convert_extend(neut_part* part, const qel_intf_data_extend* ext, const char* teller);

extern "C" {

// Tells what a result of ConvertQelImpfeatExtend other than 0 left out of
// the neutral part, under the caller's routine name, on standard error
// whatever the run mode and to the converters' observer (neut_tell,
// neutral_convert.h). Nothing for 0.
void ReportQelImpfeatExtendStatus(const char* routine, int status);
}
