// Journal wrappers of faceted representations, their vertices, vertex data
// and facets. Points, vectors, texture points, boxes and index sequences
// cross unconverted; the factories and list getters of KPIFacetedRep hand
// out wrappers.
#pragma once

#include "journal/wrappers/wrapper_frame.h"

ZPI_JOURNAL_WRAPPER(KPIFacetVtx, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIFacetVtxdata, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIFacetdata, KCommon_j)
ZPI_JOURNAL_WRAPPER(KPIFacetedRep, KCommon_j)
