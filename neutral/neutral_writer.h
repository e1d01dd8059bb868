// Writing a neutral part to a file and freeing it.
#pragma once

#include "api/qel_records.h"
#include "neutral/neutral_records.h"
#include "zpi50_export.h"

#include "free_ptr.h"
#include "kkatomicfile.h"

#include <string>

// stream_neutral_to_pfa and release_neutral_part are exported (api/qel_records.h);
// their definitions say what they do in detail.

// As stream_neutral_to_pfa, handing the reason of a 0 to *why (when not
// null) instead of the diagnostics; a file is synced as `durability` says
// (the client's hand-over file "zpi.neu" is not).
int stream_neutral_to_pfa_why(const char16_t* location, neut_part* part, std::string* why,
                              kkDurability durability = kkDurability::Durable);

// A neutral part owned until the scope ends.
using NeutralPartPtr = FreePtr<neut_part, release_neutral_part>;
