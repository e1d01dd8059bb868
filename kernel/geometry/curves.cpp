#include "kernel/geometry/curves.h"

#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/value_convert.h"

#include "xexcept.h"

#include <cstring>
#include <utility>

namespace {

void check(int status) {
    if (status != 0)
        ThrowSimple(status);
}

// Components made so far by the composite setter: their curves are cleared
// unless handed over to the record.
class ComponentArray {
public:
    ComponentArray() : arr_(10, 0) {
        if (!arr_.Exists())
            ThrowSimple(QEL_ERR_NO_MEMORY);
    }
    ~ComponentArray() {
        if (armed_)
            for (int i = 0; i < arr_.Count(); ++i)
                qel_curvedata_clear(&arr_[i].curve);
    }
    ComponentArray(const ComponentArray&) = delete;
    ComponentArray& operator=(const ComponentArray&) = delete;
    int Append(const QelComponentcurvedata& comp) { return arr_.Append(comp); }
    const QelComponentcurvedata* Data() const { return arr_.Data(); }
    void HandedOver() { armed_ = false; }

private:
    xarholder<QelComponentcurvedata> arr_;
    bool armed_ = true;
};

} // namespace

// ---- point --------------------------------------------------------------------------
KPIPoint_i::KPIPoint_i() noexcept : KPICurve_i(KPICURV_POINT) {}
KPIPoint_i::KPIPoint_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_POINT, record, ownsRecord, std::move(keeper)) {}

void KPIPoint_i::SetData(xrchandle<KPoint3D> point) {
    if (!BeginSet(KPICURV_POINT)) {
        point_ = point;
        return;
    }
    double p[3] = {0, 0, 0};
    PointToDoubles(point, p);
    if (int st = qel_pointdata_init(p, GetRecord()))
        FailSet(st);
}

xrchandle<KPoint3D> KPIPoint_i::GetPoint3D() {
    return KeptOrRead(point_, [](QelCurvedata& r) { return DoublesToPoint(r.point.point); });
}

// ---- line ---------------------------------------------------------------------------
KPILine_i::KPILine_i() noexcept : KPICurve_i(KPICURV_LINE) {}
KPILine_i::KPILine_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_LINE, record, ownsRecord, std::move(keeper)) {}

void KPILine_i::SetData(xrchandle<KPoint3D> end0, xrchandle<KPoint3D> end1) {
    if (!BeginSet(KPICURV_LINE)) {
        end0_ = end0;
        end1_ = end1;
        return;
    }
    double a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    PointToDoubles(end0, a);
    PointToDoubles(end1, b);
    if (int st = qel_linedata_init(a, b, GetRecord()))
        FailSet(st);
}

xrchandle<KPoint3D> KPILine_i::GetEnd0() {
    return KeptOrRead(end0_, [](QelCurvedata& r) { return DoublesToPoint(r.line.end1); });
}

xrchandle<KPoint3D> KPILine_i::GetEnd1() {
    return KeptOrRead(end1_, [](QelCurvedata& r) { return DoublesToPoint(r.line.end2); });
}

// ---- arc ----------------------------------------------------------------------------
KPIArc_i::KPIArc_i() noexcept : KPICurve_i(KPICURV_ARC) {}
KPIArc_i::KPIArc_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_ARC, record, ownsRecord, std::move(keeper)) {}

void KPIArc_i::SetData(xrchandle<KCsys> csys, double end0, double end1, double radius) {
    if (!BeginSet(KPICURV_ARC)) {
        csys_ = csys;
        end0_ = end0;
        end1_ = end1;
        radius_ = radius;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_arcdata_init(f.e1, f.e2, f.origin, end0, end1, radius, GetRecord()))
        FailSet(st);
}

double KPIArc_i::GetEnd0() {
    return KeptOrRead(end0_, [](QelCurvedata& r) { return r.arc.start_angle; });
}

double KPIArc_i::GetEnd1() {
    return KeptOrRead(end1_, [](QelCurvedata& r) { return r.arc.end_angle; });
}

double KPIArc_i::GetRadius() {
    return KeptOrRead(radius_, [](QelCurvedata& r) { return r.arc.radius; });
}

xrchandle<KCsys> KPIArc_i::GetCsys() {
    return KeptOrRead(csys_, [](QelCurvedata& r) {
        return FrameToCsys(r.arc.origin, r.arc.vector1, r.arc.vector2);
    });
}

// ---- ellipse ------------------------------------------------------------------------
KPIEllipse_i::KPIEllipse_i() noexcept : KPICurve_i(KPICURV_ELLIPSE) {}
KPIEllipse_i::KPIEllipse_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_ELLIPSE, record, ownsRecord, std::move(keeper)) {}

void KPIEllipse_i::SetData(xrchandle<KCsys> csys, double c0, double c1, double end0,
                           double end1) {
    if (!BeginSet(KPICURV_ELLIPSE)) {
        csys_ = csys;
        c0_ = c0;
        c1_ = c1;
        end0_ = end0;
        end1_ = end1;
        return;
    }
    const QelFrame f = FrameOfCsys(csys);
    if (int st = qel_ellipsedata_init(f.origin, f.e1, f.e2, c0, c1, end0, end1, GetRecord()))
        FailSet(st);
}

double KPIEllipse_i::GetC0() {
    return KeptOrRead(c0_, [](QelCurvedata& r) { return r.ellipse.major_length; });
}

double KPIEllipse_i::GetC1() {
    return KeptOrRead(c1_, [](QelCurvedata& r) { return r.ellipse.minor_length; });
}

double KPIEllipse_i::GetEnd0() {
    return KeptOrRead(end0_, [](QelCurvedata& r) { return r.ellipse.start_angle; });
}

double KPIEllipse_i::GetEnd1() {
    return KeptOrRead(end1_, [](QelCurvedata& r) { return r.ellipse.end_angle; });
}

xrchandle<KCsys> KPIEllipse_i::GetCsys() {
    return KeptOrRead(csys_, [](QelCurvedata& r) {
        return FrameToCsys(r.ellipse.center, r.ellipse.major_axis, r.ellipse.minor_axis);
    });
}

// ---- spline -------------------------------------------------------------------------
KPISpline_i::KPISpline_i() noexcept : KPICurve_i(KPICURV_SPLINE) {}
KPISpline_i::KPISpline_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_SPLINE, record, ownsRecord, std::move(keeper)) {}

void KPISpline_i::SetData(xrchandle<KPoint3DList> points, xrchandle<KVector3DList> tangents,
                          xrchandle<xrealsequence> parameters) {
    if (!BeginSet(KPICURV_SPLINE)) {
        points_ = points;
        tangents_ = tangents;
        parameters_ = parameters;
        return;
    }
    xarholder<QelPoint> pts, tans;
    xarholder<double> params;
    int st = PointListToArray(points, pts);
    if (st == 0)
        st = VectorListToArray(tangents, tans);
    if (st == 0)
        st = RealSequenceToArray(parameters, params);
    if (st == 0)
        st = qel_splinedata_init(params.Data(), pts.Data(), tans.Data(), uint32_t(pts.Count()),
                                 GetRecord());
    if (st != 0)
        FailSet(st);
}

void KPISpline_i::SetFromRecord(const QelSplinedata* head) {
    EnsureRecord();
    if (!BeginSet(KPICURV_SPLINE))
        ThrowSimple(QEL_ERR_BAD_ARG);
    if (!head)
        FailSet(-2);
    // A fillet surface's spline as a document held it (parameters that do
    // not increase) is given as it stands, as the surface holds it.
    QelCurvedata whole;
    std::memset(&whole, 0, sizeof whole);
    whole.spline = *head;
    whole.spline.kind = QEL_CURVE_SPLINE;
    if (int st = qel_curve_copy_as_read(&whole, GetRecord()))
        FailSet(st);
}

xrchandle<KPoint3DList> KPISpline_i::GetPoints() {
    return KeptOrRead(points_, [](QelCurvedata& r) { return BuildPoint3DList(r.spline.points); });
}

xrchandle<KVector3DList> KPISpline_i::GetTangents() {
    return KeptOrRead(tangents_,
                      [](QelCurvedata& r) { return BuildVector3DList(r.spline.tangents); });
}

xrchandle<xrealsequence> KPISpline_i::GetParameters() {
    return KeptOrRead(parameters_,
                      [](QelCurvedata& r) { return BuildRealSequence(r.spline.params); });
}

// ---- B-spline -----------------------------------------------------------------------
KPIBspline_i::KPIBspline_i() noexcept : KPICurve_i(KPICURV_BSPLINE) {}
KPIBspline_i::KPIBspline_i(QelCurvedata* record, bool ownsRecord, xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_BSPLINE, record, ownsRecord, std::move(keeper)) {}

void KPIBspline_i::SetData(int degree, xrchandle<xrealsequence> parameters,
                           xrchandle<xrealsequence> weights, xrchandle<KPoint3DList> points) {
    if (!BeginSet(KPICURV_BSPLINE)) {
        degree_ = degree;
        parameters_ = parameters;
        weights_ = weights;
        points_ = points;
        return;
    }
    xarholder<double> knots, w;
    xarholder<QelPoint> pts;
    // Weights that do not match the points are refused before any is applied.
    int st = WeightedPointsToArrays(points, weights, pts, w);
    if (st == 0)
        st = RealSequenceToArray(parameters, knots);
    if (st == 0) {
        st = qel_bsplinedata_init(degree, knots.Data(), weights ? w.Data() : nullptr, pts.Data(),
                                  uint32_t(knots.Count()), uint32_t(pts.Count()), GetRecord());
        // Degree 4 or more and unclamped ends leave a complete record.
        if (st == QEL_ERR_BSPL_DEGREE || st == QEL_ERR_BSPL_UNCLAMPED)
            st = 0;
    }
    if (st != 0)
        FailSet(st);
}

int KPIBspline_i::GetDegree() {
    return KeptOrRead(degree_, [](QelCurvedata& r) { return r.bspline.degree; });
}

xrchandle<xrealsequence> KPIBspline_i::GetParameters() {
    return KeptOrRead(parameters_,
                      [](QelCurvedata& r) { return BuildRealSequence(r.bspline.knots); });
}

xrchandle<xrealsequence> KPIBspline_i::GetWeights() {
    return KeptOrRead(weights_,
                      [](QelCurvedata& r) { return BuildRealSequence(r.bspline.weights); });
}

xrchandle<KPoint3DList> KPIBspline_i::GetPoints() {
    return KeptOrRead(points_, [](QelCurvedata& r) {
        return BuildUnweightedPoint3DList(r.bspline.points, r.bspline.weights);
    });
}

// ---- composite curve ----------------------------------------------------------------
KPICompositeCurve_i::KPICompositeCurve_i() noexcept : KPICurve_i(KPICURV_COMP) {}
KPICompositeCurve_i::KPICompositeCurve_i(QelCurvedata* record, bool ownsRecord,
                                         xrchandle<xobject> keeper)
    : KPICurve_i(KPICURV_COMP, record, ownsRecord, std::move(keeper)) {}

void KPICompositeCurve_i::SetData(xrchandle<KPICurveList> curves,
                                  xrchandle<xintsequence> traversals) {
    if (!BeginSet(KPICURV_COMP)) {
        curves_ = curves;
        traversals_ = traversals;
        return;
    }
    const int n = curves ? curves->Count() : 0;
    ComponentArray comps;
    for (int i = 0; i < n; ++i) {
        xrchandle<KPICurve> curve = curves->Get(i);
        if (!curve)
            KXInvalidArg_i::Throw(1, 1);
        QelCurveScratch local;
        CopyCurveRecordOf(curve.get(), 1, local.get());
        if (!traversals)
            ThrowSimple(QEL_ERR_BAD_ARG);
        const int32_t traversal = traversals->Get(i);
        QelComponentcurvedata comp;
        std::memset(&comp, 0, sizeof(comp));
        check(qel_componentcurvedata_init(local.get(), uint32_t(traversal), &comp));
        check(comps.Append(comp));
        local.release(); // the component holds the copy now
    }
    if (int st = qel_compositecurvedata_init(comps.Data(), GetRecord()))
        FailSet(st);
    comps.HandedOver();
}

xrchandle<KPICurveList> KPICompositeCurve_i::GetCurves() {
    // Each curve object keeps this composite, and so its record, alive.
    return KeptOrRead(curves_, [this](QelCurvedata& r) {
        return MakeCurveListFromComponents(r.composite.components, SelfHandle());
    });
}

xrchandle<xintsequence> KPICompositeCurve_i::GetTraversals() {
    return KeptOrRead(traversals_, [](QelCurvedata& r) -> xrchandle<xintsequence> {
        QelArrayView<QelComponentcurvedata> comps(r.composite.components);
        if (comps.Empty())
            return nullptr;
        xrchandle<xintsequence> seq(xintsequence::create());
        for (int i = 0; i < comps.Count(); ++i)
            seq->Append(int32_t(comps[i].direction));
        return seq;
    });
}
