// Deep copy and release of the annotation words (10 to 16) of an extension
// record. Internal to the record copies; not part of the library's
// interface.
#pragma once

#include "api/qel_records.h"

namespace qel_detail {

// Copies words 10 to 16 of `src` into `dst`, whose words 10 to 16 must be
// null. Every record, array and text is new. -2 when an array holds
// elements of another size than its layout says, -10 when memory runs out;
// on failure `dst` holds, in those words, only what it owns (release it
// with annot_words_free).
int annot_words_copy(const qel_intf_data_extend& src, qel_intf_data_extend& dst);

// Releases words 10 to 16 and sets each to null. A word whose array holds
// elements of another size is left in place and gives -2; a nested array of
// the wrong size is released without its elements and gives -2. Everything
// else is released either way.
int annot_words_free(qel_intf_data_extend& ext);

} // namespace qel_detail
