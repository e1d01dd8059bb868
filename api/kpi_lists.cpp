// The list classes: create, sequence descriptors and type queries.
#include "api/rtti/kpi_rtti_support.h"

ZPI_LIST_RTTI(KPICurveList, KPICurve, "KPIGeometry::PICurveList")
ZPI_LIST_RTTI(KPILoopList, KPILoop, "KPIItem::PILoopList")
ZPI_LIST_RTTI(KPIEdgeList, KPIEdge, "KPIItem::PIEdgeList")
ZPI_LIST_RTTI(KPIFaceList, KPIFace, "KPIItem::PIFaceList")
ZPI_LIST_RTTI(KPIDatumList, KPIDatum, "KPIItem::PIDatumList")
ZPI_LIST_RTTI(KPIQuiltList, KPIQuilt, "KPIItem::PIQuiltList")
ZPI_LIST_RTTI(KPIGeneralAttributeList, KPIGeneralAttribute, "KPIMetaData::PIGeneralAttributeList")
ZPI_LIST_RTTI(KPINameAttributeList, KPINameAttribute, "KPIMetaData::PINameAttributeList")
ZPI_LIST_RTTI(KPIUnitList, KPIUnit, "KPIMetaData::PIUnitList")
ZPI_LIST_RTTI(KPILayerList, KPILayer, "KPIMetaData::PILayerList")
ZPI_LIST_RTTI(KPIReferenceColorList, KPIReferenceColor, "KPIMetaData::PIReferenceColorList")
ZPI_LIST_RTTI(KPIElementColorList, KPIElementColor, "KPIMetaData::PIElementColorList")
ZPI_LIST_RTTI(KPIFacetVtxList, KPIFacetVtx, "KWPIModelExt::PIFacetVtxList")
ZPI_LIST_RTTI(KPIFacetVtxdataList, KPIFacetVtxdata, "KWPIModelExt::PIFacetVtxdataList")
ZPI_LIST_RTTI(KPIFacetdataList, KPIFacetdata, "KWPIModelExt::PIFacetdataList")
ZPI_LIST_RTTI(KPIFacetedRepList, KPIFacetedRep, "KWPIModelExt::PIFacetedRepList")
