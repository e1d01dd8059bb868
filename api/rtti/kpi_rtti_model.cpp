// Type descriptors and type queries of the faceted representations, the
// model extension, the model and the session.
#include "kpi_rtti_support.h"

using zpi_rtti::kMayBeAbsent;
using zpi_rtti::property;

ZPI_INTERFACE_RTTI(KPIFacetVtx, KCommon, "KWPIModelExt::PIFacetVtx",
                   property<&KPIFacetVtx::GetVtxPoint>("VtxPoint"),
                   property<&KPIFacetVtx::GetNeighbourFacetIdx>("NeighbourFacetIdx"))

ZPI_INTERFACE_RTTI(KPIFacetVtxdata, KCommon, "KWPIModelExt::PIFacetVtxdata",
                   property<&KPIFacetVtxdata::GetNormal>("Normal"),
                   property<&KPIFacetVtxdata::GetTextureUV>("TextureUV"))

// The normal comes first although GetNormal is the last getter.
ZPI_INTERFACE_RTTI(KPIFacetdata, KCommon, "KWPIModelExt::PIFacetdata",
                   property<&KPIFacetdata::GetNormal>("Normal"),
                   property<&KPIFacetdata::GetVtxIndices>("VtxIndices"),
                   property<&KPIFacetdata::GetVtxdataIndices>("VtxdataIndices", kMayBeAbsent),
                   property<&KPIFacetdata::GetNeighbourFacetIndices>("NeighbourFacetIndices"))

ZPI_INTERFACE_RTTI(KPIFacetedRep, KCommon, "KWPIModelExt::PIFacetedRep",
                   property<&KPIFacetedRep::GetId>("Id"),
                   property<&KPIFacetedRep::GetPIFacetVtxList>("PIFacetVtxList"),
                   property<&KPIFacetedRep::GetPIFacetVtxdataList>("PIFacetVtxdataList"),
                   property<&KPIFacetedRep::GetPIFacetdataList>("PIFacetdataList"),
                   property<&KPIFacetedRep::GetOutline>("Outline"))

// Only the faceted representations of a model extension are a property.
ZPI_INTERFACE_RTTI(KWPIModelExt, KCommon, "KWPIModelExt::WPIModelExt",
                   property<&KWPIModelExt::GetPIFacetedReps>("PIFacetedReps"))

ZPI_INTERFACE_RTTI(KWPIModel, KCommon, "KWPIModel::WPIModel")

ZPI_INTERFACE_RTTI(KWPISession, KCommon, "KWPISession::WPISession")
