// Journal wrapper of the model extension: the metadata factories (unit
// codes and item types journaled as bare integers) and the list setters and
// getters of layers, units, colours, attributes and faceted
// representations.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KWPIModelExt, KCommon_j)
