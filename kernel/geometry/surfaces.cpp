#include "kernel/geometry/surfaces.h"

#include "kernel/geometry/curves.h"
#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/value_convert.h"

#include "xexcept.h"

#include <cstring>
#include <utility>

namespace {

// Deep copy of a spline's record as a spline head into `out`: argument
// `index` must be a curve of this library with a spline record.
void copySplineOf(KCommon* spline, int index, QelCurveScratch& out) {
    CopyCurveRecordOf(spline, index, out.get());
    if (out.get()->kind != QEL_CURVE_SPLINE)
        ThrowInvalidArg(index, 1);
}

// Fills the shape of a revolved surface or tabulated cylinder (the same
// layout) from the frame and a deep copy of the curve, argument 2. A
// B-spline curve failing the span check leaves a whole shape and counts as
// success. Answers the failing status, else 0.
int initProfileShape(const xrchandle<KCsys>& csys, KPICurve* curve,
                     QelSurfaceshapedata* shape) {
    const QelFrame f = FrameOfCsys(csys);
    QelCurveScratch copy;
    CopyCurveRecordOf(curve, 2, copy.get());
    int st = qel_srfrevdata_init(f.e1, f.e2, f.e3, f.origin, copy.get(), shape);
    if (st == QEL_ERR_BSPL_SPANS)
        st = 0;
    if (st == 0)
        copy.release(); // the shape holds the copy
    return st;
}

} // namespace

// ---- plane --------------------------------------------------------------------------
KPIPlane_i::KPIPlane_i() noexcept : KPISurface_i(KPISURF_PLANE) {}
KPIPlane_i::KPIPlane_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_PLANE, shape, ownsRecord, std::move(keeper)) {}

void KPIPlane_i::SetData(xrchandle<KCsys> csys) {
    if (!BeginSet(KPISURF_PLANE)) {
        csys_ = csys;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_planedata_init(f.e1, f.e2, f.e3, f.origin, GetRecord()))
        FailSet(st);
}

xrchandle<KCsys> KPIPlane_i::GetCsys() {
    return KeptOrRead(csys_,
                      [](QelSurfaceshapedata& s) { return FrameToCsys(s.plane.frame); });
}

// ---- cylinder -----------------------------------------------------------------------
KPICylinder_i::KPICylinder_i() noexcept : KPISurface_i(KPISURF_CYL) {}
KPICylinder_i::KPICylinder_i(QelSurfaceshapedata* shape, bool ownsRecord,
                             xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CYL, shape, ownsRecord, std::move(keeper)) {}

void KPICylinder_i::SetData(xrchandle<KCsys> csys, double radius) {
    if (!BeginSet(KPISURF_CYL)) {
        csys_ = csys;
        radius_ = radius;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, radius, GetRecord()))
        FailSet(st);
}

double KPICylinder_i::GetRadius() {
    return KeptOrRead(radius_, [](QelSurfaceshapedata& s) { return s.cylinder.scalar; });
}

xrchandle<KCsys> KPICylinder_i::GetCsys() {
    return KeptOrRead(csys_,
                      [](QelSurfaceshapedata& s) { return FrameToCsys(s.cylinder.frame); });
}

// ---- cone ---------------------------------------------------------------------------
KPICone_i::KPICone_i() noexcept : KPISurface_i(KPISURF_CONE) {}
KPICone_i::KPICone_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CONE, shape, ownsRecord, std::move(keeper)) {}

void KPICone_i::SetData(xrchandle<KCsys> csys, double halfAngle) {
    if (!BeginSet(KPISURF_CONE)) {
        csys_ = csys;
        halfAngle_ = halfAngle;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, halfAngle, GetRecord()))
        FailSet(st);
}

double KPICone_i::GetHalfAngle() {
    return KeptOrRead(halfAngle_, [](QelSurfaceshapedata& s) { return s.cone.scalar; });
}

xrchandle<KCsys> KPICone_i::GetCsys() {
    return KeptOrRead(csys_, [](QelSurfaceshapedata& s) { return FrameToCsys(s.cone.frame); });
}

// ---- torus --------------------------------------------------------------------------
KPITorus_i::KPITorus_i() noexcept : KPISurface_i(KPISURF_TORUS) {}
KPITorus_i::KPITorus_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_TORUS, shape, ownsRecord, std::move(keeper)) {}

void KPITorus_i::SetData(xrchandle<KCsys> csys, double r0, double r1) {
    if (!BeginSet(KPISURF_TORUS)) {
        csys_ = csys;
        r0_ = r0;
        r1_ = r1;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_torusdata_init(f.e1, f.e2, f.e3, f.origin, r0, r1, GetRecord()))
        FailSet(st);
}

double KPITorus_i::GetR0() {
    return KeptOrRead(r0_, [](QelSurfaceshapedata& s) { return s.torus.radius1; });
}

double KPITorus_i::GetR1() {
    return KeptOrRead(r1_, [](QelSurfaceshapedata& s) { return s.torus.radius2; });
}

xrchandle<KCsys> KPITorus_i::GetCsys() {
    return KeptOrRead(csys_, [](QelSurfaceshapedata& s) { return FrameToCsys(s.torus.frame); });
}

// ---- surface of revolution ----------------------------------------------------------
KPISrfRev_i::KPISrfRev_i() noexcept : KPISurface_i(KPISURF_SRFREV) {}
KPISrfRev_i::KPISrfRev_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_SRFREV, shape, ownsRecord, std::move(keeper)) {}

void KPISrfRev_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> profile) {
    if (!BeginSet(KPISURF_SRFREV)) {
        csys_ = csys;
        profile_ = profile;
        return;
    }
    if (int st = initProfileShape(csys, profile.get(), GetRecord()))
        FailSet(st);
}

xrchandle<KPICurve> KPISrfRev_i::GetCurve() {
    return KeptOrRead(profile_, [this](QelSurfaceshapedata& s) {
        return MakeCurveFromRecord(&s.srfrev.profile, false, SelfHandle());
    });
}

xrchandle<KCsys> KPISrfRev_i::GetCsys() {
    return KeptOrRead(csys_, [](QelSurfaceshapedata& s) { return FrameToCsys(s.srfrev.frame); });
}

// ---- ruled surface ------------------------------------------------------------------
KPIRulSrf_i::KPIRulSrf_i() noexcept : KPISurface_i(KPISURF_RULSRF) {}
KPIRulSrf_i::KPIRulSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_RULSRF, shape, ownsRecord, std::move(keeper)) {}

void KPIRulSrf_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve1,
                          xrchandle<KPICurve> curve2) {
    if (!BeginSet(KPISURF_RULSRF)) {
        csys_ = csys;
        curve1_ = curve1;
        curve2_ = curve2;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
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
    return KeptOrRead(csys_, [](QelSurfaceshapedata& s) { return FrameToCsys(s.rulsrf.frame); });
}

xrchandle<KPICurve> KPIRulSrf_i::GetCurve1() {
    return KeptOrRead(curve1_, [this](QelSurfaceshapedata& s) {
        return MakeCurveFromRecord(&s.rulsrf.curve1, false, SelfHandle());
    });
}

xrchandle<KPICurve> KPIRulSrf_i::GetCurve2() {
    return KeptOrRead(curve2_, [this](QelSurfaceshapedata& s) {
        return MakeCurveFromRecord(&s.rulsrf.curve2, false, SelfHandle());
    });
}

// ---- tabulated cylinder -------------------------------------------------------------
KPITabCyl_i::KPITabCyl_i() noexcept : KPISurface_i(KPISURF_TABCYL) {}
KPITabCyl_i::KPITabCyl_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_TABCYL, shape, ownsRecord, std::move(keeper)) {}

void KPITabCyl_i::SetData(xrchandle<KCsys> csys, xrchandle<KPICurve> curve) {
    if (!BeginSet(KPISURF_TABCYL)) {
        csys_ = csys;
        curve_ = curve;
        return;
    }
    if (int st = initProfileShape(csys, curve.get(), GetRecord()))
        FailSet(st);
}

xrchandle<KCsys> KPITabCyl_i::GetCsys() {
    return KeptOrRead(csys_, [](QelSurfaceshapedata& s) { return FrameToCsys(s.tabcyl.frame); });
}

xrchandle<KPICurve> KPITabCyl_i::GetCurve() {
    return KeptOrRead(curve_, [this](QelSurfaceshapedata& s) {
        return MakeCurveFromRecord(&s.tabcyl.profile, false, SelfHandle());
    });
}

// ---- fillet surface -----------------------------------------------------------------
KPIFilSrf_i::KPIFilSrf_i() noexcept : KPISurface_i(KPISURF_FILSRF) {}
KPIFilSrf_i::KPIFilSrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_FILSRF, shape, ownsRecord, std::move(keeper)) {}

void KPIFilSrf_i::SetData(xrchandle<KPISpline> pointSpline, xrchandle<KPISpline> centerSpline,
                          xrchandle<KPISpline> tangentSpline) {
    if (!BeginSet(KPISURF_FILSRF)) {
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
    return KeptOrRead(pointSpline_, [](QelSurfaceshapedata& s) {
        return MakeSplineFromHead(&s.filsrf.point_spline);
    });
}

xrchandle<KPISpline> KPIFilSrf_i::GetCenterSpline() {
    return KeptOrRead(centerSpline_, [](QelSurfaceshapedata& s) {
        return MakeSplineFromHead(&s.filsrf.center_spline);
    });
}

xrchandle<KPISpline> KPIFilSrf_i::GetTangentSpline() {
    return KeptOrRead(tangentSpline_, [](QelSurfaceshapedata& s) {
        return MakeSplineFromHead(&s.filsrf.tangent_spline);
    });
}

// ---- spline surface -----------------------------------------------------------------
KPISplineSrf_i::KPISplineSrf_i() noexcept : KPISurface_i(KPISURF_SPLN) {}
KPISplineSrf_i::KPISplineSrf_i(QelSurfaceshapedata* shape, bool ownsRecord,
                               xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_SPLN, shape, ownsRecord, std::move(keeper)) {}

void KPISplineSrf_i::SetData(xrchandle<xrealsequence> uParameters,
                             xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,
                             xrchandle<KVector3DList> uTangents,
                             xrchandle<KVector3DList> vTangents,
                             xrchandle<KVector3DList> mixedDerivatives) {
    if (!BeginSet(KPISURF_SPLN)) {
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
    if (!BeginSet(KPISURF_SPLN))
        ThrowSimple(QEL_ERR_BAD_ARG);
    if (!head)
        FailSet(-2);
    if (int st = qel_splinesrfdata_init(head->u_params, head->v_params, head->points,
                                        head->u_tangents, head->v_tangents, head->mixed_derivs,
                                        head->u_count, head->v_count, GetRecord()))
        FailSet(st);
}

xrchandle<xrealsequence> KPISplineSrf_i::GetUParameters() {
    return KeptOrRead(uParameters_, [](QelSurfaceshapedata& s) {
        return BuildRealSequence(s.splinesrf.u_params);
    });
}

xrchandle<xrealsequence> KPISplineSrf_i::GetVParameters() {
    return KeptOrRead(vParameters_, [](QelSurfaceshapedata& s) {
        return BuildRealSequence(s.splinesrf.v_params);
    });
}

xrchandle<KPoint3DList> KPISplineSrf_i::GetPoints() {
    return KeptOrRead(points_,
                      [](QelSurfaceshapedata& s) { return BuildPoint3DList(s.splinesrf.points); });
}

xrchandle<KVector3DList> KPISplineSrf_i::GetUTangents() {
    return KeptOrRead(uTangents_, [](QelSurfaceshapedata& s) {
        return BuildVector3DList(s.splinesrf.u_tangents);
    });
}

xrchandle<KVector3DList> KPISplineSrf_i::GetVTangents() {
    return KeptOrRead(vTangents_, [](QelSurfaceshapedata& s) {
        return BuildVector3DList(s.splinesrf.v_tangents);
    });
}

xrchandle<KVector3DList> KPISplineSrf_i::GetMixedDerivatives() {
    return KeptOrRead(mixedDerivatives_, [](QelSurfaceshapedata& s) {
        return BuildVector3DList(s.splinesrf.mixed_derivs);
    });
}

// ---- B-spline surface ---------------------------------------------------------------
KPIBsplsrf_i::KPIBsplsrf_i() noexcept : KPISurface_i(KPISURF_BSPLN) {}
KPIBsplsrf_i::KPIBsplsrf_i(QelSurfaceshapedata* shape, bool ownsRecord, xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_BSPLN, shape, ownsRecord, std::move(keeper)) {}

void KPIBsplsrf_i::SetData(int uDegree, int vDegree, xrchandle<xrealsequence> uParameters,
                           xrchandle<xrealsequence> vParameters, xrchandle<KPoint3DList> points,
                           xrchandle<xrealsequence> weights) {
    if (!BeginSet(KPISURF_BSPLN)) {
        uDegree_ = uDegree;
        vDegree_ = vDegree;
        uParameters_ = uParameters;
        vParameters_ = vParameters;
        points_ = points;
        weights_ = weights;
        return;
    }
    xarholder<double> u, v, w;
    xarholder<QelPoint> pts;
    // Weights that do not match the points are refused before any is applied.
    int st = WeightedPointsToArrays(points, weights, pts, w);
    if (st == 0)
        st = RealSequenceToArray(uParameters, u);
    if (st == 0)
        st = RealSequenceToArray(vParameters, v);
    if (st == 0) {
        const uint32_t degrees[2] = {uint32_t(uDegree), uint32_t(vDegree)};
        st = qel_bsplinesrfdata_init(degrees, u.Data(), v.Data(), weights ? w.Data() : nullptr,
                                     pts.Data(), uint32_t(u.Count()), uint32_t(v.Count()),
                                     uint32_t(pts.Count()), GetRecord());
    }
    if (st != 0)
        FailSet(st);
}

int KPIBsplsrf_i::GetUDegree() {
    return KeptOrRead(uDegree_, [](QelSurfaceshapedata& s) { return int(s.bsplinesrf.u_degree); });
}

int KPIBsplsrf_i::GetVDegree() {
    return KeptOrRead(vDegree_, [](QelSurfaceshapedata& s) { return int(s.bsplinesrf.v_degree); });
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetUParameters() {
    return KeptOrRead(uParameters_, [](QelSurfaceshapedata& s) {
        return BuildRealSequence(s.bsplinesrf.u_knots);
    });
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetVParameters() {
    return KeptOrRead(vParameters_, [](QelSurfaceshapedata& s) {
        return BuildRealSequence(s.bsplinesrf.v_knots);
    });
}

xrchandle<KPoint3DList> KPIBsplsrf_i::GetPoints() {
    return KeptOrRead(points_, [](QelSurfaceshapedata& s) {
        return BuildUnweightedPoint3DList(s.bsplinesrf.points, s.bsplinesrf.weights);
    });
}

xrchandle<xrealsequence> KPIBsplsrf_i::GetWeights() {
    return KeptOrRead(weights_, [](QelSurfaceshapedata& s) {
        return BuildRealSequence(s.bsplinesrf.weights);
    });
}

// ---- cylindrical spline surface -----------------------------------------------------
KPICylSplSrf_i::KPICylSplSrf_i() noexcept : KPISurface_i(KPISURF_CYLSPLN) {}
KPICylSplSrf_i::KPICylSplSrf_i(QelSurfaceshapedata* shape, bool ownsRecord,
                               xrchandle<xobject> keeper)
    : KPISurface_i(KPISURF_CYLSPLN, shape, ownsRecord, std::move(keeper)) {}

void KPICylSplSrf_i::SetData(xrchandle<KCsys> csys, xrchandle<KPISplineSrf> splineSurface) {
    if (!BeginSet(KPISURF_CYLSPLN)) {
        csys_ = csys;
        splineSurface_ = splineSurface;
        return;
    }
    if (!splineSurface)
        ThrowInvalidArg(2, 0);
    // Only the shape of a spline surface may be read as one: the object must
    // be a spline surface of this library that has its shape.
    KPISplineSrf_i* impl = CastToImpl<KPISplineSrf_i>(splineSurface.get(), 2);
    if (!impl->GetRecord() || impl->GetHostKind() != QEL_SURF_SPLINE)
        ThrowInvalidArg(2, 1);
    QelSurfaceshapedata copy;
    std::memset(&copy, 0, sizeof(copy));
    if (int st = qel_shape_copy(QEL_SURF_SPLINE, impl->GetRecord(), &copy))
        FailSet(st);
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_cylsplsrfdata_init(f.e1, f.e2, f.e3, f.origin, &copy.splinesrf,
                                        GetRecord())) {
        qel_surfaceshapedata_clear(QEL_SURF_SPLINE, &copy);
        FailSet(st);
    }
}

xrchandle<KCsys> KPICylSplSrf_i::GetCsys() {
    return KeptOrRead(csys_,
                      [](QelSurfaceshapedata& s) { return FrameToCsys(s.cylsplsrf.frame); });
}

xrchandle<KPISplineSrf> KPICylSplSrf_i::GetSplsrf() {
    return KeptOrRead(splineSurface_, [](QelSurfaceshapedata& s) {
        return MakeSplineSrfFromHead(&s.cylsplsrf.splinesrf);
    });
}
