// Type descriptors and type queries of the topology interfaces. A loop is
// not an item: its parent is KCommon.
#include "kpi_rtti_support.h"

using zpi_rtti::kMayBeAbsent;
using zpi_rtti::property;

ZPI_INTERFACE_RTTI(KPIItem, KCommon, "KPIItem::PIItem")

ZPI_INTERFACE_RTTI(KPILoop, KCommon, "KPIItem::PILoop",
                   property<&KPILoop::GetPILoopTraversal>("PILoopTraversal"),
                   property<&KPILoop::GetEdgeIds>("EdgeIds"))

ZPI_INTERFACE_RTTI(KPIFace, KPIItem, "KPIItem::PIFace",
                   property<&KPIFace::GetPIFaceUVExtent>("PIFaceUVExtent"),
                   property<&KPIFace::GetPISurfaceOrientation>("PISurfaceOrientation"),
                   property<&KPIFace::GetPISurface>("PISurface"),
                   property<&KPIFace::GetPILoopList>("PILoopList", kMayBeAbsent))

ZPI_INTERFACE_RTTI(KPIEdge, KPIItem, "KPIItem::PIEdge",
                   property<&KPIEdge::GetEdgeType>("EdgeType"),
                   property<&KPIEdge::GetIdFace1>("IdFace1"),
                   property<&KPIEdge::GetIdFace2>("IdFace2"),
                   property<&KPIEdge::GetSrfPoints1>("SrfPoints1", kMayBeAbsent),
                   property<&KPIEdge::GetSrfPoints2>("SrfPoints2", kMayBeAbsent),
                   property<&KPIEdge::GetXYZCurve>("XYZCurve", kMayBeAbsent),
                   property<&KPIEdge::GetCurve1>("Curve1", kMayBeAbsent),
                   property<&KPIEdge::GetCurve2>("Curve2", kMayBeAbsent),
                   property<&KPIEdge::GetTraversal1>("Traversal1"),
                   property<&KPIEdge::GetTraversal2>("Traversal2"))

ZPI_INTERFACE_RTTI(KPIDatum, KPIItem, "KPIItem::PIDatum",
                   property<&KPIDatum::GetName>("Name"),
                   property<&KPIDatum::GetCsys>("Csys", kMayBeAbsent),
                   property<&KPIDatum::GetCurve>("Curve", kMayBeAbsent),
                   property<&KPIDatum::GetPlane>("Plane", kMayBeAbsent))

ZPI_INTERFACE_RTTI(KPIQuilt, KPIItem, "KPIItem::PIQuilt",
                   property<&KPIQuilt::GetFaces>("Faces"))
