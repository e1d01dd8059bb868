// Journal wrapper of the model. SaveAsNeutral is the one operation whose
// argument is an object the caller implements: its argument record hands
// the implementation the stream's caller-side form (the client wrapper of a
// caller's own stream), never the caller's object itself.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KWPIModel, KCommon_j)
