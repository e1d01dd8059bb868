// Registrars: file-scope objects whose construction builds every type
// descriptor while the library loads, so that each is registered (and can
// be found by name) before any export is called. They live in this one
// file so that they run in this order: geometry, an empty one, topology,
// metadata, faceted representations with the model extension, the model,
// the session.
#include "kpi_rtti_support.h"

namespace {

struct KPIGeometryRttiRegistrar {
    KPIGeometryRttiRegistrar() {
        cipGetRtti_KPICurveType();
        cipGetRtti_KPISurfType();
        KPICurve::getClassRtti();
        KPISurface::getClassRtti();
        KPICurveList::getClassRtti();
        KPIPoint::getClassRtti();
        KPILine::getClassRtti();
        KPIArc::getClassRtti();
        KPIEllipse::getClassRtti();
        KPISpline::getClassRtti();
        KPIBspline::getClassRtti();
        KPICompositeCurve::getClassRtti();
        KPIPlane::getClassRtti();
        KPICylinder::getClassRtti();
        KPICone::getClassRtti();
        KPITorus::getClassRtti();
        KPISrfRev::getClassRtti();
        KPIRulSrf::getClassRtti();
        KPITabCyl::getClassRtti();
        KPIFilSrf::getClassRtti();
        KPISplineSrf::getClassRtti();
        KPIBsplsrf::getClassRtti();
        KPICylSplSrf::getClassRtti();
    }
};

// Keeps the place of a registrar that has nothing to build.
struct KPIEmptyRttiRegistrar {};

struct KPIItemRttiRegistrar {
    KPIItemRttiRegistrar() {
        cipGetRtti_KPILoopTraversal();
        cipGetRtti_KPISurfOrient();
        cipGetRtti_KPIItemType();
        KPILoop::getClassRtti();
        KPIEdge::getClassRtti();
        KPIFace::getClassRtti();
        KPIQuilt::getClassRtti();
        KPIDatum::getClassRtti();
        KPILoopList::getClassRtti();
        KPIEdgeList::getClassRtti();
        KPIFaceList::getClassRtti();
        KPIDatumList::getClassRtti();
        KPIQuiltList::getClassRtti();
        KPIItem::getClassRtti();
        KPIFace::getClassRtti();
        KPIEdge::getClassRtti();
        KPIDatum::getClassRtti();
        KPIQuilt::getClassRtti();
    }
};

struct KPIMetaDataRttiRegistrar {
    KPIMetaDataRttiRegistrar() {
        cipGetRtti_KPIUnitType();
        cipGetRtti_KPILengthUnits();
        cipGetRtti_KPIMassUnits();
        cipGetRtti_KPILayerStatus();
        KPIGeneralAttribute::getClassRtti();
        KPIGeneralAttributeList::getClassRtti();
        KPINameAttribute::getClassRtti();
        KPINameAttributeList::getClassRtti();
        KPIUnit::getClassRtti();
        KPIUnitList::getClassRtti();
        KPILayer::getClassRtti();
        KPILayerList::getClassRtti();
        KPIReferenceColor::getClassRtti();
        KPIReferenceColorList::getClassRtti();
        KPIElementColor::getClassRtti();
        KPIElementColorList::getClassRtti();
        KPIUnit::getClassRtti();
        KPILengthUnit::getClassRtti();
        KPIMassUnit::getClassRtti();
        KPINameAttribute::getClassRtti();
        KPIGeneralAttribute::getClassRtti();
        KPIReferenceColor::getClassRtti();
        KPIElementColor::getClassRtti();
        KPILayer::getClassRtti();
    }
};

struct KWPIModelExtRttiRegistrar {
    KWPIModelExtRttiRegistrar() {
        KPIFacetVtx::getClassRtti();
        KPIFacetVtxList::getClassRtti();
        KPIFacetVtxdata::getClassRtti();
        KPIFacetVtxdataList::getClassRtti();
        KPIFacetdata::getClassRtti();
        KPIFacetdataList::getClassRtti();
        KPIFacetedRep::getClassRtti();
        KPIFacetedRepList::getClassRtti();
        KPIFacetVtx::getClassRtti();
        KPIFacetVtxdata::getClassRtti();
        KPIFacetdata::getClassRtti();
        KPIFacetedRep::getClassRtti();
        KWPIModelExt::getClassRtti();
    }
};

struct KWPIModelRttiRegistrar {
    KWPIModelRttiRegistrar() { KWPIModel::getClassRtti(); }
};

struct KWPISessionRttiRegistrar {
    KWPISessionRttiRegistrar() { KWPISession::getClassRtti(); }
};

const KPIGeometryRttiRegistrar geometryRegistrar;
[[maybe_unused]] const KPIEmptyRttiRegistrar emptyRegistrar;
const KPIItemRttiRegistrar itemRegistrar;
const KPIMetaDataRttiRegistrar metaDataRegistrar;
const KWPIModelExtRttiRegistrar modelExtRegistrar;
const KWPIModelRttiRegistrar modelRegistrar;
const KWPISessionRttiRegistrar sessionRegistrar;

} // namespace
