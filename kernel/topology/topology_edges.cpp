// Edges and datums, and their list builders.
#include "kernel/topology/topology.h"

#include "kernel/geometry/geometry_base.h"
#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/surfaces.h"
#include "kernel/topology/topology_internal.h"
#include "kernel/geometry/value_convert.h"
#include "kernel/records/wide_name.h"

#include "process.h"

#include <cstring>
#include <utility>

using namespace topo;

// ---- edges -------------------------------------------------------------------
namespace {

uint32_t EdgeFlagsOf(const QelEdgedata* rec) {
    if (!rec)
        return 0;
    uint32_t flags = 0;
    if (QelArrayView<QelUvSample>(rec->uv_points).Count() > 0)
        flags |= KEDGE_HAS_UV_POINTS;
    if ((rec->uv_curve1 && !qel_curvedata_is_cleared(rec->uv_curve1)) ||
        (rec->uv_curve2 && !qel_curvedata_is_cleared(rec->uv_curve2)))
        flags |= KEDGE_HAS_UV_CURVES;
    if (rec->xyz_curve && !qel_curvedata_is_cleared(rec->xyz_curve))
        flags |= KEDGE_HAS_XYZ_CURVE;
    return flags;
}

// What an edge is made of: its ids and directions, and either the surface
// points or the curves (any handle may be null).
struct EdgeParts {
    uint32_t id = 0;
    uint32_t faces[2] = {0, 0};
    uint32_t directions[2] = {0, 0};
    bool points = false; // made from surface points
    const xrchandle<KPointUVList>* points1 = nullptr;
    const xrchandle<KPointUVList>* points2 = nullptr;
    const KCommon* xyz = nullptr;
    const KCommon* uv1 = nullptr;
    const KCommon* uv2 = nullptr;
    int xyzIndex = 4, uv1Index = 4, uv2Index = 5;
};

// The samples of two point lists; either may be null and then stands for
// the other. A null element raises KXInvalidArg(3, 1).
xarholder<QelUvSample> SamplesOf(const xrchandle<KPointUVList>& list1,
                                 const xrchandle<KPointUVList>& list2) {
    const int n1 = list1 ? list1->Count() : 0;
    const int n2 = list2 ? list2->Count() : 0;
    // The first list sets the count; a shorter second list would be read
    // past its end.
    if (list1 && list2 && n2 < n1)
        ThrowInvalidArg(4, 1);
    const int n = list1 ? n1 : n2;
    xarholder<QelUvSample> samples(10, n);
    if (!samples.Exists())
        ThrowSimple(QEL_ERR_NO_MEMORY);
    for (int i = 0; i < n; ++i) {
        xrchandle<KPointUV> a = list1 ? list1->Get(i) : list2->Get(i);
        xrchandle<KPointUV> b = list2 ? list2->Get(i) : list1->Get(i);
        if (!a || !b)
            KXInvalidArg_i::Throw(3, 1);
        samples[i] = QelUvSample{{a->u(), a->v()}, {b->u(), b->v()}};
    }
    return samples;
}

void CheckPointLists(const xrchandle<KPointUVList>& list1, const xrchandle<KPointUVList>& list2) {
    SamplesOf(list1, list2);
}

// A new edge record; nothing stays allocated when it raises.
QelEdgedata* BuildEdgeRecord(const EdgeParts& p) {
    xarholder<QelUvSample> samples;
    if (p.points)
        samples = SamplesOf(*p.points1, *p.points2);

    // Deep copies of the curves given; freed here unless the edge takes them.
    QelCurveScratch xyz, uv1, uv2;
    if (p.xyz)
        CopyCurveRecordOf(const_cast<KCommon*>(p.xyz), p.xyzIndex, xyz.get());
    if (p.uv1)
        CopyCurveRecordOf(const_cast<KCommon*>(p.uv1), p.uv1Index, uv1.get());
    if (p.uv2)
        CopyCurveRecordOf(const_cast<KCommon*>(p.uv2), p.uv2Index, uv2.get());

    EdgeHolder edge;
    Check(qel_edgedata_alloc(OutPtr(edge)));
    QelCurvedata* uvPair[2] = {p.uv1 ? uv1.get() : nullptr, p.uv2 ? uv2.get() : nullptr};
    Check(qel_edgedata_init(p.id, p.faces, p.directions, samples.Data(),
                            (p.uv1 || p.uv2) ? uvPair : nullptr, p.xyz ? xyz.get() : nullptr,
                            edge.get()));
    // The edge holds byte copies of the curves and owns what they point to.
    xyz.release();
    uv1.release();
    uv2.release();
    return edge.release();
}

uint32_t FlagsOfParts(const EdgeParts& p) {
    if (p.points)
        return KEDGE_HAS_UV_POINTS;
    uint32_t flags = 0;
    if (p.xyz)
        flags |= KEDGE_HAS_XYZ_CURVE;
    if (p.uv1 || p.uv2)
        flags |= KEDGE_HAS_UV_CURVES;
    return flags;
}

} // namespace

KPIEdge_i::KPIEdge_i(int id) noexcept : KPIItem_i(uint32_t(id), KPI_EDGE) {}

KPIEdge_i::KPIEdge_i(QelEdgedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPIItem_i(record ? record->id : 0, KPI_EDGE), ownsRecord_(ownsRecord), record_(record),
      flags_(EdgeFlagsOf(record)),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPIEdge_i::~KPIEdge_i() { FreeOwnedRecord(record_, ownsRecord_, qel_edgedata_free, "edge"); }

void KPIEdge_i::Keep(Kind kind, int idFace1, int idFace2, KTraversal t1, KTraversal t2) {
    kind_ = kind;
    face1_ = uint32_t(idFace1);
    face2_ = uint32_t(idFace2);
    trav1_ = uint32_t(t1);
    trav2_ = uint32_t(t2);
}

void KPIEdge_i::SetWithPoints(int idFace1, int idFace2, xrchandle<KPointUVList> srfPoints1,
                              xrchandle<KPointUVList> srfPoints2, KTraversal traversal1,
                              KTraversal traversal2) {
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        CheckPointLists(srfPoints1, srfPoints2);
        Keep(Kind::Points, idFace1, idFace2, traversal1, traversal2);
        points1_ = std::move(srfPoints1);
        points2_ = std::move(srfPoints2);
        xyzCurve_.release();
        curve1_.release();
        curve2_.release();
        flags_ = KEDGE_HAS_UV_POINTS;
        return;
    }
    EdgeParts p;
    p.id = uint32_t(GetId());
    p.faces[0] = uint32_t(idFace1);
    p.faces[1] = uint32_t(idFace2);
    p.directions[0] = uint32_t(traversal1);
    p.directions[1] = uint32_t(traversal2);
    p.points = true;
    p.points1 = &srfPoints1;
    p.points2 = &srfPoints2;
    ReplaceRecord(record_, ownsRecord_, BuildEdgeRecord(p), qel_edgedata_free);
    flags_ = KEDGE_HAS_UV_POINTS;
    Keep(Kind::Points, idFace1, idFace2, traversal1, traversal2);
}

void KPIEdge_i::SetWithXYZCurve(int idFace1, int idFace2, xrchandle<KPICurve> xyzCurve,
                                KTraversal traversal1, KTraversal traversal2) {
    if (!xyzCurve)
        ThrowInvalidArg(4, 0);
    SetCurves(idFace1, idFace2, traversal1, traversal2, xyzCurve, nullptr, nullptr, 4, 4, 5);
}

void KPIEdge_i::SetWithUVCurves(int idFace1, int idFace2, xrchandle<KPICurve> curve1,
                                xrchandle<KPICurve> curve2, KTraversal traversal1,
                                KTraversal traversal2) {
    SetCurves(idFace1, idFace2, traversal1, traversal2, nullptr, curve1, curve2, 4, 4, 5);
}

void KPIEdge_i::SetWithXYZandUVCurves(int idFace1, int idFace2, KTraversal traversal1,
                                      KTraversal traversal2, xrchandle<KPICurve> xyzCurve,
                                      xrchandle<KPICurve> curve1, xrchandle<KPICurve> curve2) {
    SetCurves(idFace1, idFace2, traversal1, traversal2, xyzCurve, curve1, curve2, 6, 7, 8);
}

void KPIEdge_i::SetCurves(int idFace1, int idFace2, KTraversal traversal1, KTraversal traversal2,
                          const xrchandle<KPICurve>& xyzCurve, const xrchandle<KPICurve>& curve1,
                          const xrchandle<KPICurve>& curve2, int xyzIndex, int uv1Index,
                          int uv2Index) {
    EdgeParts p;
    p.id = uint32_t(GetId());
    p.faces[0] = uint32_t(idFace1);
    p.faces[1] = uint32_t(idFace2);
    p.directions[0] = uint32_t(traversal1);
    p.directions[1] = uint32_t(traversal2);
    p.xyz = xyzCurve.get();
    p.uv1 = curve1.get();
    p.uv2 = curve2.get();
    p.xyzIndex = xyzIndex;
    p.uv1Index = uv1Index;
    p.uv2Index = uv2Index;
    const uint32_t flags = FlagsOfParts(p);
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        Keep(Kind::Curves, idFace1, idFace2, traversal1, traversal2);
        xyzCurve_ = xyzCurve;
        curve1_ = curve1;
        curve2_ = curve2;
        points1_.release();
        points2_.release();
        flags_ = flags;
        return;
    }
    ReplaceRecord(record_, ownsRecord_, BuildEdgeRecord(p), qel_edgedata_free);
    flags_ = flags;
    Keep(Kind::Curves, idFace1, idFace2, traversal1, traversal2);
}

int KPIEdge_i::GetEdgeType() {
    int type = 0;
    if (flags_ & KEDGE_HAS_XYZ_CURVE)
        type |= 1;
    if (flags_ & KEDGE_HAS_UV_POINTS)
        type |= 2;
    if (flags_ & KEDGE_HAS_UV_CURVES)
        type |= 4;
    return type != 0 ? type : int(0x80000000u);
}

int KPIEdge_i::GetIdFace1() { return int(record_ ? record_->face_ids[0] : face1_); }
int KPIEdge_i::GetIdFace2() { return int(record_ ? record_->face_ids[1] : face2_); }

xrchandle<KPointUVList> KPIEdge_i::PointsOf(bool second, const xrchandle<KPointUVList>& kept) {
    if (!record_)
        return kept;
    return (flags_ & KEDGE_HAS_UV_POINTS) ? BuildPointUVList(record_->uv_points, second) : nullptr;
}

xrchandle<KPICurve> KPIEdge_i::CurveOf(uint32_t flag, QelCurvedata* QelEdgedata::*curve,
                                       const xrchandle<KPICurve>& kept) {
    if (!record_)
        return kept;
    return (flags_ & flag) ? MakeCurveFromRecord(record_->*curve, false, SelfHandle()) : nullptr;
}

xrchandle<KPointUVList> KPIEdge_i::GetSrfPoints1() { return PointsOf(false, points1_); }
xrchandle<KPointUVList> KPIEdge_i::GetSrfPoints2() { return PointsOf(true, points2_); }

xrchandle<KPICurve> KPIEdge_i::GetXYZCurve() {
    return CurveOf(KEDGE_HAS_XYZ_CURVE, &QelEdgedata::xyz_curve, xyzCurve_);
}

xrchandle<KPICurve> KPIEdge_i::GetCurve1() {
    return CurveOf(KEDGE_HAS_UV_CURVES, &QelEdgedata::uv_curve1, curve1_);
}

xrchandle<KPICurve> KPIEdge_i::GetCurve2() {
    return CurveOf(KEDGE_HAS_UV_CURVES, &QelEdgedata::uv_curve2, curve2_);
}

KTraversal KPIEdge_i::GetTraversal1() {
    return KTraversal(record_ ? record_->directions[0] : trav1_);
}

KTraversal KPIEdge_i::GetTraversal2() {
    return KTraversal(record_ ? record_->directions[1] : trav2_);
}

QelEdgedata* KPIEdge_i::ToRecord() const {
    if (record_) {
        QelEdgedata* copy = nullptr;
        Check(qel_edge_copy_as_read(record_, &copy));
        return copy;
    }
    return BuildFromKept();
}

QelEdgedata* KPIEdge_i::BuildFromKept() const {
    if (kind_ == Kind::Unset)
        ThrowSimple(QEL_ERR_BAD_ARG); // never set: nothing to convert
    EdgeParts p;
    p.id = uint32_t(const_cast<KPIEdge_i*>(this)->GetId());
    p.faces[0] = face1_;
    p.faces[1] = face2_;
    p.directions[0] = trav1_;
    p.directions[1] = trav2_;
    p.points = kind_ == Kind::Points;
    p.points1 = &points1_;
    p.points2 = &points2_;
    p.xyz = xyzCurve_.get();
    p.uv1 = curve1_.get();
    p.uv2 = curve2_.get();
    return BuildEdgeRecord(p);
}

void KPIEdge_i::AppendToIntfData(qel_intf_data* root) {
    if (!root)
        ThrowSimple(QEL_ERR_BAD_ARG);
    EdgeHolder rec(ToRecord());
    AppendRecord(root, rec, qel_intf_data_edge_append);
}

// ---- datums ------------------------------------------------------------------
namespace {

KPIItemType DatumItemType(int32_t type) {
    switch (type) {
    case QEL_DATUM_CSYS:
        return KPI_DATUM_CSYS;
    case QEL_DATUM_PLANE:
        return KPI_DATUM_PLANE;
    default:
        return KPI_DATUM_CURVE;
    }
}

} // namespace

KPIDatum_i::KPIDatum_i(int id) noexcept : KPIItem_i(uint32_t(id), KPI_DATUM_CURVE) {}

KPIDatum_i::KPIDatum_i(QelDatumdata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPIItem_i(record ? record->id : 0, DatumItemType(record ? record->type : QEL_DATUM_UNSET)),
      ownsRecord_(ownsRecord), record_(record),
      keeper_(ownsRecord ? xrchandle<xobject>() : std::move(keeper)) {}

KPIDatum_i::~KPIDatum_i() { FreeOwnedRecord(record_, ownsRecord_, qel_datumdata_free, "datum"); }

void KPIDatum_i::Set(const char* name, xrchandle<KCsys> csys, xrchandle<KPICurve> curve,
                     xrchandle<KPIPlane> plane) {
    if (!csys && !curve && !plane)
        ThrowInvalidArg(3, 0);
    const KPIItemType type = csys ? KPI_DATUM_CSYS : curve ? KPI_DATUM_CURVE : KPI_DATUM_PLANE;
    char16_t newName[QEL_NAME_LEN];
    kname::Write(newName, QEL_NAME_LEN, name ? name : "");
    if (!UseRecord(record_, ownsRecord_, get_gw_cpid_enable())) {
        std::memcpy(name_, newName, sizeof(name_));
        csys_.release();
        curve_.release();
        plane_.release();
        if (csys)
            csys_ = std::move(csys);
        else if (curve)
            curve_ = std::move(curve);
        else
            plane_ = std::move(plane);
        SetItemType(type);
        return;
    }
    ReplaceRecord(record_, ownsRecord_, BuildRecord(newName, csys, curve, plane),
                  qel_datumdata_free);
    std::memcpy(name_, newName, sizeof(name_));
    SetItemType(type);
}

QelDatumdata* KPIDatum_i::BuildRecord(const char16_t* name, const xrchandle<KCsys>& csys,
                                      const xrchandle<KPICurve>& curve,
                                      const xrchandle<KPIPlane>& plane) const {
    const uint32_t id = uint32_t(const_cast<KPIDatum_i*>(this)->GetId());
    QelDatumbody body;
    std::memset(&body, 0, sizeof(body));
    if (csys) {
        QelFrame frame;
        std::memset(&frame, 0, sizeof(frame));
        CsysToFrame(csys, &frame);
        Check(qel_datumdata_frame_set(&frame, &body));
        DatumHolder rec;
        Check(qel_datumdata_alloc(OutPtr(rec)));
        Check(qel_datumdata_init(id, QEL_DATUM_CSYS, name, &body, rec.get()));
        return rec.release();
    }
    if (curve) {
        QelCurveScratch copy;
        CopyCurveRecordOf(curve.get(), 4, copy.get());
        int st = qel_curvedata_set(copy.get(), &body.curve);
        if (st != 0 && st != QEL_ERR_BSPL_SPANS)
            ThrowSimple(st);
        DatumHolder rec;
        Check(qel_datumdata_alloc(OutPtr(rec)));
        Check(qel_datumdata_init(id, QEL_DATUM_CURVE, name, &body, rec.get()));
        copy.release(); // the datum's body owns the curve's arrays now
        return rec.release();
    }
    if (plane) {
        KPIPlane_i* impl = CastToImpl<KPIPlane_i>(plane.get(), 5);
        const QelSurfaceshapedata* shape = impl->GetRecord();
        if (!shape)
            ThrowSimple(QEL_ERR_BAD_ARG);
        if (impl->GetHostKind() != QEL_SURF_PLANE)
            ThrowSimple(QEL_ERR_WRONG_KIND);
        QelFrame frame;
        Check(qel_planedata_get(shape, frame.e1, frame.e2, frame.e3, frame.origin));
        Check(qel_datumdata_frame_set(&frame, &body));
        DatumHolder rec;
        Check(qel_datumdata_alloc(OutPtr(rec)));
        Check(qel_datumdata_init(id, QEL_DATUM_PLANE, name, &body, rec.get()));
        return rec.release();
    }
    ThrowSimple(QEL_ERR_BAD_ARG); // nothing to make a datum of
}

xstring KPIDatum_i::GetName() {
    if (record_)
        return kname::ToXstring(record_->name, QEL_NAME_LEN);
    return kname::ToXstring(name_, QEL_NAME_LEN);
}

xrchandle<KCsys> KPIDatum_i::GetCsys() {
    if (record_)
        return record_->type == QEL_DATUM_CSYS ? FrameToCsys(record_->body.frame) : nullptr;
    return csys_;
}

xrchandle<KPICurve> KPIDatum_i::GetCurve() {
    if (record_)
        return record_->type == QEL_DATUM_CURVE
                   ? MakeCurveFromRecord(&record_->body.curve, false, SelfHandle())
                   : nullptr;
    return curve_;
}

xrchandle<KPIPlane> KPIDatum_i::GetPlane() {
    if (!record_)
        return plane_;
    if (record_->type != QEL_DATUM_PLANE)
        return nullptr;
    QelSurfaceshapedata* shape = nullptr;
    Check(qel_surfaceshapedata_alloc(&shape));
    const QelFrame& f = record_->body.frame;
    qel_planedata_init(f.e1, f.e2, f.e3, f.origin, shape);
    xrchandle<KPIPlane_i> obj;
    try {
        obj = new KPIPlane_i(shape, true);
    } catch (...) {
        qel_surfaceshapedata_free(QEL_SURF_PLANE, shape);
        throw;
    }
    return xrchandle<KPIPlane>(obj.get());
}

QelDatumdata* KPIDatum_i::ToRecord() const {
    if (record_) {
        QelDatumdata* copy = nullptr;
        Check(qel_datum_copy_as_read(record_, &copy));
        return copy;
    }
    return BuildRecord(name_, csys_, curve_, plane_);
}

void KPIDatum_i::AppendToIntfData(qel_intf_data* root) {
    if (!root)
        ThrowSimple(QEL_ERR_BAD_ARG);
    DatumHolder rec(ToRecord());
    AppendRecord(root, rec, qel_intf_data_datum_append);
}

// ---- builders ----------------------------------------------------------------
xrchandle<KPIEdgeList> BuildEdgeList(const qel_intf_data* root) {
    return BuildOwnedCopies<KPIEdge_i, KPIEdgeList, QelEdgedata, qel_edgedata_free>(
        root ? root->edges : nullptr, qel_edge_copy_as_read);
}

xrchandle<KPIDatumList> BuildDatumList(const qel_intf_data* root) {
    return BuildOwnedCopies<KPIDatum_i, KPIDatumList, QelDatumdata, qel_datumdata_free>(
        root ? root->datums : nullptr, qel_datum_copy_as_read);
}
