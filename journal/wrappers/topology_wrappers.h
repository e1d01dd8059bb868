// Journal wrappers of loops and items. GetId and GetItemType live only in
// KPIItem_j: faces, edges, datums and quilts inherit them and journal them
// against KPIItem. The item type is journaled as a bare integer, the
// traversals of an edge through the base library's KTraversal writer.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KPILoop, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIItem, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIFace, KPIItem_j)
ZPI_JOURNAL_WRAPPER(KPIEdge, KPIItem_j)
ZPI_JOURNAL_WRAPPER(KPIDatum, KPIItem_j)
ZPI_JOURNAL_WRAPPER(KPIQuilt, KPIItem_j)
