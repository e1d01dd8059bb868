// Journal wrappers of units, attributes, colours and layers. Length and
// mass units declare no operation of their own: their wrappers inherit
// KPIUnit_j's three, journaled against KPIUnit. Unit types, item types and
// layer statuses are journaled as bare integers.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KPIUnit, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPILengthUnit, KPIUnit_j)
ZPI_JOURNAL_WRAPPER(KPIMassUnit, KPIUnit_j)
ZPI_JOURNAL_WRAPPER(KPINameAttribute, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIGeneralAttribute, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIReferenceColor, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIElementColor, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPILayer, KCommon_j)
