#include "kernel/surfaces.h"

#include "kernel/curves.h"
#include "kernel/geometry_dispatch.h"
#include "kernel/qel_routines.h"
#include "kernel/value_convert.h"

#include "xexcept.h"

#include <cstring>
#include <utility>

namespace {

void check(int status) {
    if (status != 0)
        ThrowSimple(status);
}

// The frame of a coordinate system (zeros for a null handle).
QelFrame frameOf(const xrchandle<KCsys>& csys) {
    QelFrame f;
    std::memset(&f, 0, sizeof(f));
    CsysToFrame(csys, &f);
    return f;
}

// Deep copy of a spline's record as a spline head into `out`: argument
// `index` must be a curve of this library with a spline record.
void copySplineOf(KCommon* spline, int index, QelCurveScratch& out) {
    CopyCurveRecordOf(spline, index, out.get());
    if (out.get()->kind != QEL_CURVE_SPLINE)
        ThrowInvalidArg(index, 1);
}

// Control points with their weights divided out; the arrays may be xar or
// har. Weights that do not match the points are refused.
xrchandle<KPoint3DList> unweightedPoints(const QelPoint* points, const double* weights) {
    QelArrayView<QelPoint> pts(points);
    QelArrayView<double> w(weights);
    if (weights && w.Count() != pts.Count())
        ThrowSimple(-2);
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    for (int i = pts.Count() - 1; i >= 0; --i) {
        const double weight = w.Empty() ? 1.0 : w[i];
        const double* c = pts[i].xyz;
        list->Set(i, KCreatePoint3D(c[0] / weight, c[1] / weight, c[2] / weight));
    }
    return list;
}

} // namespace

// ---- plane --------------------------------------------------------------------------
KPIPlane_i::KPIPlane_i() noexcept : KPISurface_i(KPISURF_PLANE) {}
KPIPlane_i::KPIPlane_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_PLANE, QEL_SURF_PLANE, shape, ownsRecord, std::move(keeper)) {}

void KPIPlane_i::SetData(xrchandle<KCsys> csys) {
    if (!BeginSet(KPISURF_PLANE, QEL_SURF_PLANE)) {
        csys_ = csys;
        return;
    }
    QelFrame f = frameOf(csys);
    if (int st = qel_planedata_init(f.e1, f.e2, f.e3, f.origin, GetRecord()))
        FailSet(st);
}

xrchandle<KCsys> KPIPlane_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_PLANE)->plane.frame);
}

// ---- cylinder -----------------------------------------------------------------------
KPICylinder_i::KPICylinder_i() noexcept : KPISurface_i(KPISURF_CYL) {}
KPICylinder_i::KPICylinder_i(QelSurfaceshapedata* shape, bool ownsRecord,
                             xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CYL, QEL_SURF_CYLINDER, shape, ownsRecord, std::move(keeper)) {}

void KPICylinder_i::SetData(xrchandle<KCsys> csys, double radius) {
    if (!BeginSet(KPISURF_CYL, QEL_SURF_CYLINDER)) {
        csys_ = csys;
        radius_ = radius;
        return;
    }
    QelFrame f = frameOf(csys);
    if (int st = qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, radius, GetRecord()))
        FailSet(st);
}

double KPICylinder_i::GetRadius() {
    if (!GetRecord())
        return radius_;
    return RecordOfKind(QEL_SURF_CYLINDER)->cylinder.scalar;
}

xrchandle<KCsys> KPICylinder_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_CYLINDER)->cylinder.frame);
}

// ---- cone ---------------------------------------------------------------------------
KPICone_i::KPICone_i() noexcept : KPISurface_i(KPISURF_CONE) {}
KPICone_i::KPICone_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CONE, QEL_SURF_CONE, shape, ownsRecord, std::move(keeper)) {}

void KPICone_i::SetData(xrchandle<KCsys> csys, double halfAngle) {
    if (!BeginSet(KPISURF_CONE, QEL_SURF_CONE)) {
        csys_ = csys;
        halfAngle_ = halfAngle;
        return;
    }
    QelFrame f = frameOf(csys);
    if (int st = qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, halfAngle, GetRecord()))
        FailSet(st);
}

double KPICone_i::GetHalfAngle() {
    if (!GetRecord())
        return halfAngle_;
    return RecordOfKind(QEL_SURF_CONE)->cone.scalar;
}

xrchandle<KCsys> KPICone_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_CONE)->cone.frame);
}

// ---- torus --------------------------------------------------------------------------
KPITorus_i::KPITorus_i() noexcept : KPISurface_i(KPISURF_TORUS) {}
KPITorus_i::KPITorus_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_TORUS, QEL_SURF_TORUS, shape, ownsRecord, std::move(keeper)) {}

void KPITorus_i::SetData(xrchandle<KCsys> csys, double r0, double r1) {
    if (!BeginSet(KPISURF_TORUS, QEL_SURF_TORUS)) {
        csys_ = csys;
        r0_ = r0;
        r1_ = r1;
        return;
    }
    QelFrame f = frameOf(csys);
    if (int st = qel_torusdata_init(f.e1, f.e2, f.e3, f.origin, r0, r1, GetRecord()))
        FailSet(st);
}

double KPITorus_i::GetR0() {
    if (!GetRecord())
        return r0_;
    return RecordOfKind(QEL_SURF_TORUS)->torus.radius1;
}

double KPITorus_i::GetR1() {
    if (!GetRecord())
        return r1_;
    return RecordOfKind(QEL_SURF_TORUS)->torus.radius2;
}

xrchandle<KCsys> KPITorus_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_TORUS)->torus.frame);
}

// ---- surface of revolution ----------------------------------------------------------
KPISrfRev_i::KPISrfRev_i() noexcept : KPISurface_i(KPISURF_SRFREV) {}
KPISrfRev_i::KPISrfRev_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_SRFREV, QEL_SURF_REVOLVED, shape, ownsRecord, std::move(keeper)) {}

void KPISrfRev_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> profile) {
    if (!BeginSet(KPISURF_SRFREV, QEL_SURF_REVOLVED)) {
        csys_ = csys;
        profile_ = profile;
        return;
    }
    QelFrame f = frameOf(csys);
    QelCurveScratch copy;
    CopyCurveRecordOf(profile.get(), 2, copy.get());
    int st = qel_srfrevdata_init(f.e1, f.e2, f.e3, f.origin, copy.get(), GetRecord());
    if (st != 0 && st != QEL_ERR_BSPL_SPANS)
        FailSet(st);
    copy.release(); // the shape holds the copy
}

xrchandle<KPICurve> KPISrfRev_i::GetCurve() {
    if (!GetRecord())
        return profile_;
    return MakeCurveFromRecord(&RecordOfKind(QEL_SURF_REVOLVED)->srfrev.profile, false,
                               SelfHandle());
}

xrchandle<KCsys> KPISrfRev_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_REVOLVED)->srfrev.frame);
}

// ---- ruled surface ------------------------------------------------------------------
KPIRulSrf_i::KPIRulSrf_i() noexcept : KPISurface_i(KPISURF_RULSRF) {}
KPIRulSrf_i::KPIRulSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_RULSRF, QEL_SURF_RULED, shape, ownsRecord, std::move(keeper)) {}

void KPIRulSrf_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve1,
                          xrchandle<KPICurve> curve2) {
    if (!BeginSet(KPISURF_RULSRF, QEL_SURF_RULED)) {
        csys_ = csys;
        curve1_ = curve1;
        curve2_ = curve2;
        return;
    }
    QelFrame f = frameOf(csys);
    QelCurveScratch copy1, copy2;
    CopyCurveRecordOf(curve1.get(), 2, copy1.get());
    CopyCurveRecordOf(curve2.get(), 3, copy2.get());
    int st = qel_rulsrfdata_init(f.e1, f.e2, f.e3, f.origin, copy1.get(), copy2.get(),
                                 GetRecord());
    if (st != 0 && st != QEL_ERR_BSPL_SPANS)
        FailSet(st);
    copy1.release();
    copy2.release();
}

xrchandle<KCsys> KPIRulSrf_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_RULED)->rulsrf.frame);
}

xrchandle<KPICurve> KPIRulSrf_i::GetCurve1() {
    if (!GetRecord())
        return curve1_;
    return MakeCurveFromRecord(&RecordOfKind(QEL_SURF_RULED)->rulsrf.curve1, false, SelfHandle());
}

xrchandle<KPICurve> KPIRulSrf_i::GetCurve2() {
    if (!GetRecord())
        return curve2_;
    return MakeCurveFromRecord(&RecordOfKind(QEL_SURF_RULED)->rulsrf.curve2, false, SelfHandle());
}

// ---- tabulated cylinder -------------------------------------------------------------
KPITabCyl_i::KPITabCyl_i() noexcept : KPISurface_i(KPISURF_TABCYL) {}
KPITabCyl_i::KPITabCyl_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_TABCYL, QEL_SURF_TABCYL, shape, ownsRecord, std::move(keeper)) {}

void KPITabCyl_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve) {
    if (!BeginSet(KPISURF_TABCYL, QEL_SURF_TABCYL)) {
        csys_ = csys;
        curve_ = curve;
        return;
    }
    QelFrame f = frameOf(csys);
    QelCurveScratch copy;
    CopyCurveRecordOf(curve.get(), 2, copy.get());
    int st = qel_srfrevdata_init(f.e1, f.e2, f.e3, f.origin, copy.get(), GetRecord());
    if (st != 0 && st != QEL_ERR_BSPL_SPANS)
        FailSet(st);
    copy.release();
}

xrchandle<KCsys> KPITabCyl_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_TABCYL)->tabcyl.frame);
}

xrchandle<KPICurve> KPITabCyl_i::GetCurve() {
    if (!GetRecord())
        return curve_;
    return MakeCurveFromRecord(&RecordOfKind(QEL_SURF_TABCYL)->tabcyl.profile, false,
                               SelfHandle());
}

// ---- fillet surface -----------------------------------------------------------------
KPIFilSrf_i::KPIFilSrf_i() noexcept : KPISurface_i(KPISURF_FILSRF) {}
KPIFilSrf_i::KPIFilSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_FILSRF, QEL_SURF_FILLET, shape, ownsRecord, std::move(keeper)) {}

void KPIFilSrf_i::SetData(xrchandle<KPISpline> pointSpline, xrchandle<KPISpline> centerSpline,
                          xrchandle<KPISpline> tangentSpline) {
    if (!BeginSet(KPISURF_FILSRF, QEL_SURF_FILLET)) {
        pointSpline_ = pointSpline;
        centerSpline_ = centerSpline;
        tangentSpline_ = tangentSpline;
        return;
    }
    QelCurveScratch p, c, t;
    copySplineOf(pointSpline.get(), 1, p);
    copySplineOf(centerSpline.get(), 2, c);
    copySplineOf(tangentSpline.get(), 3, t);
    if (int st = qel_filsrfdata_init(&p.get()->spline, &c.get()->spline, &t.get()->spline,
                                     GetRecord()))
        FailSet(st);
    p.release();
    c.release();
    t.release();
}

xrchandle<KPISpline> KPIFilSrf_i::GetPointSpline() {
    if (!GetRecord())
        return pointSpline_;
    return MakeSplineFromHead(&RecordOfKind(QEL_SURF_FILLET)->filsrf.point_spline);
}

xrchandle<KPISpline> KPIFilSrf_i::GetCenterSpline() {
    if (!GetRecord())
        return centerSpline_;
    return MakeSplineFromHead(&RecordOfKind(QEL_SURF_FILLET)->filsrf.center_spline);
}

xrchandle<KPISpline> KPIFilSrf_i::GetTangentSpline() {
    if (!GetRecord())
        return tangentSpline_;
    return MakeSplineFromHead(&RecordOfKind(QEL_SURF_FILLET)->filsrf.tangent_spline);
}

// ---- spline surface -----------------------------------------------------------------
KPISplineSrf_i::KPISplineSrf_i() noexcept : KPISurface_i(KPISURF_SPLN) {}
KPISplineSrf_i::KPISplineSrf_i(QelSurfaceshapedata* shape, bool ownsRecord,
                               xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_SPLN, QEL_SURF_SPLINE, shape, ownsRecord, std::move(keeper)) {}

void KPISplineSrf_i::SetData(xrchandle<xrealsequence> uParameters,
                             xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,
                             xrchandle<KVector3DList> uTangents,
                             xrchandle<KVector3DList> vTangents,
                             xrchandle<KVector3DList> mixedDerivatives) {
    if (!BeginSet(KPISURF_SPLN, QEL_SURF_SPLINE)) {
        uParameters_ = uParameters;
        vParameters_ = vParameters;
        points_ = points;
        uTangents_ = uTangents;
        vTangents_ = vTangents;
        mixedDerivatives_ = mixedDerivatives;
        return;
    }
    xarholder<double> u, v;
    xarholder<QelPoint> pts, ut, vt, md;
    int st = RealSequenceToArray(uParameters, u);
    if (st == 0)
        st = RealSequenceToArray(vParameters, v);
    if (st == 0)
        st = PointListToArray(points, pts);
    if (st == 0)
        st = VectorListToArray(uTangents, ut);
    if (st == 0)
        st = VectorListToArray(vTangents, vt);
    if (st == 0)
        st = VectorListToArray(mixedDerivatives, md);
    if (st == 0)
        st = qel_splinesrfdata_init(u.Data(), v.Data(), pts.Data(), ut.Data(), vt.Data(),
                                    md.Data(), uint32_t(u.Count()), uint32_t(v.Count()),
                                    GetRecord());
    if (st != 0)
        FailSet(st);
}

void KPISplineSrf_i::SetFromRecord(const QelSplinesrfdata* head) {
    EnsureRecord();
    if (!BeginSet(KPISURF_SPLN, QEL_SURF_SPLINE))
        ThrowSimple(-2);
    if (!head)
        FailSet(-2);
    if (int st = qel_splinesrfdata_init(head->u_params, head->v_params, head->points,
                                        head->u_tangents, head->v_tangents, head->mixed_derivs,
                                        head->u_count, head->v_count, GetRecord()))
        FailSet(st);
}

xrchandle<xrealsequence> KPISplineSrf_i::GetUParameters() {
    if (!GetRecord())
        return uParameters_;
    return BuildRealSequence(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.u_params);
}

xrchandle<xrealsequence> KPISplineSrf_i::GetVParameters() {
    if (!GetRecord())
        return vParameters_;
    return BuildRealSequence(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.v_params);
}

xrchandle<KPoint3DList> KPISplineSrf_i::GetPoints() {
    if (!GetRecord())
        return points_;
    return BuildPoint3DList(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.points);
}

xrchandle<KVector3DList> KPISplineSrf_i::GetUTangents() {
    if (!GetRecord())
        return uTangents_;
    return BuildVector3DList(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.u_tangents);
}

xrchandle<KVector3DList> KPISplineSrf_i::GetVTangents() {
    if (!GetRecord())
        return vTangents_;
    return BuildVector3DList(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.v_tangents);
}

xrchandle<KVector3DList> KPISplineSrf_i::GetMixedDerivatives() {
    if (!GetRecord())
        return mixedDerivatives_;
    return BuildVector3DList(RecordOfKind(QEL_SURF_SPLINE)->splinesrf.mixed_derivs);
}

// ---- B-spline surface ---------------------------------------------------------------
KPIBsplsrf_i::KPIBsplsrf_i() noexcept : KPISurface_i(KPISURF_BSPLN) {}
KPIBsplsrf_i::KPIBsplsrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_BSPLN, QEL_SURF_BSPLINE, shape, ownsRecord, std::move(keeper)) {}

void KPIBsplsrf_i::SetData(int uDegree, int vDegree, xrchandle<xrealsequence> uParameters,
                           xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,
                           xrchandle<xrealsequence> weights) {
    if (!BeginSet(KPISURF_BSPLN, QEL_SURF_BSPLINE)) {
        uDegree_ = uDegree;
        vDegree_ = vDegree;
        uParameters_ = uParameters;
        vParameters_ = vParameters;
        points_ = points;
        weights_ = weights;
        return;
    }
    const int np = points ? points->Count() : 0;
    if (weights && weights->Count() != np)
        FailSet(-2);
    xarholder<double> u, v, w;
    xarholder<QelPoint> pts;
    int st = RealSequenceToArray(uParameters, u);
    if (st == 0)
        st = RealSequenceToArray(vParameters, v);
    if (st == 0)
        st = PointListToArray(points, pts);
    if (st == 0 && weights) {
        st = RealSequenceToArray(weights, w);
        for (int i = 0; st == 0 && i < np; ++i)
            for (double& c : pts[i].xyz)
                c *= w[i];
    }
    if (st == 0) {
        const uint32_t degrees[2] = {uint32_t(uDegree), uint32_t(vDegree)};
        st = qel_bsplinesrfdata_init(degrees, u.Data(), v.Data(), weights ? w.Data() : nullptr,
                                     pts.Data(), uint32_t(u.Count()), uint32_t(v.Count()),
                                     uint32_t(np), GetRecord());
    }
    if (st != 0)
        FailSet(st);
}

int KPIBsplsrf_i::GetUDegree() {
    if (!GetRecord())
        return uDegree_;
    return int(RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf.u_degree);
}

int KPIBsplsrf_i::GetVDegree() {
    if (!GetRecord())
        return vDegree_;
    return int(RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf.v_degree);
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetUParameters() {
    if (!GetRecord())
        return uParameters_;
    return BuildRealSequence(RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf.u_knots);
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetVParameters() {
    if (!GetRecord())
        return vParameters_;
    return BuildRealSequence(RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf.v_knots);
}

xrchandle<KPoint3DList> KPIBsplsrf_i::GetPoints() {
    if (!GetRecord())
        return points_;
    const QelBsplinesrfdata& b = RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf;
    return unweightedPoints(b.points, b.weights);
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetWeights() {
    if (!GetRecord())
        return weights_;
    return BuildRealSequence(RecordOfKind(QEL_SURF_BSPLINE)->bsplinesrf.weights);
}

// ---- cylindrical spline surface -----------------------------------------------------
KPICylSplSrf_i::KPICylSplSrf_i() noexcept : KPISurface_i(KPISURF_CYLSPLN) {}
KPICylSplSrf_i::KPICylSplSrf_i(QelSurfaceshapedata* shape, bool ownsRecord,
                               xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CYLSPLN, QEL_SURF_CYLSPLINE, shape, ownsRecord, std::move(keeper)) {}

void KPICylSplSrf_i::SetData(xrchandle<KCsys> csys, xrchandle<KPISplineSrf> splineSurface) {
    if (!BeginSet(KPISURF_CYLSPLN, QEL_SURF_CYLSPLINE)) {
        csys_ = csys;
        splineSurface_ = splineSurface;
        return;
    }
    if (!splineSurface)
        ThrowInvalidArg(2, 0);
    // Only a spline-surface shape may be read as one.
    KPISplineSrf_i* impl = CastToImpl<KPISplineSrf_i>(splineSurface.get(), 2);
    if (impl->GetRecord() && impl->GetHostKind() != QEL_SURF_SPLINE)
        ThrowInvalidArg(2, 1);
    if (!impl->GetRecord())
        ThrowSimple(-2);
    QelFrame f = frameOf(csys);
    const QelSplinesrfdata& src = impl->GetRecord()->splinesrf;
    QelSurfaceshapedata copy;
    std::memset(&copy, 0, sizeof(copy));
    // The init duplicates the six arrays: a deep copy of the head.
    check(qel_splinesrfdata_init(src.u_params, src.v_params, src.points, src.u_tangents,
                                 src.v_tangents, src.mixed_derivs, src.u_count, src.v_count,
                                 &copy));
    if (int st = qel_cylsplsrfdata_init(f.e1, f.e2, f.e3, f.origin, &copy.splinesrf,
                                        GetRecord())) {
        qel_surfaceshapedata_clear(QEL_SURF_SPLINE, &copy);
        FailSet(st);
    }
}

xrchandle<KCsys> KPICylSplSrf_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    return FrameToCsys(RecordOfKind(QEL_SURF_CYLSPLINE)->cylsplsrf.frame);
}

xrchandle<KPISplineSrf> KPICylSplSrf_i::GetSplsrf() {
    if (!GetRecord())
        return splineSurface_;
    return MakeSplineSrfFromHead(&RecordOfKind(QEL_SURF_CYLSPLINE)->cylsplsrf.splinesrf);
}
