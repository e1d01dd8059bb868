#include "kernel/curves.h"

#include "kernel/geometry_dispatch.h"
#include "kernel/qel_routines.h"
#include "kernel/value_convert.h"

#include "xexcept.h"

#include <cstring>
#include <utility>

namespace {

// Frame of a coordinate system as origin, X axis and Y axis.
struct CsysParts {
    double origin[3] = {0, 0, 0};
    double xAxis[3] = {0, 0, 0};
    double yAxis[3] = {0, 0, 0};
    explicit CsysParts(const xrchandle<KCsys>& csys) {
        if (!csys)
            return;
        PointToDoubles(csys->GetOrigin(), origin);
        VectorToDoubles(csys->GetXAxis(), xAxis);
        VectorToDoubles(csys->GetYAxis(), yAxis);
    }
};

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
            ThrowSimple(-10);
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
    if (!GetRecord())
        return point_;
    double p[3];
    check(qel_pointdata_get(GetRecord(), p));
    return DoublesToPoint(p);
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
    if (!GetRecord())
        return end0_;
    double p[3];
    check(qel_linedata_get(GetRecord(), p, nullptr));
    return DoublesToPoint(p);
}

xrchandle<KPoint3D> KPILine_i::GetEnd1() {
    if (!GetRecord())
        return end1_;
    double p[3];
    check(qel_linedata_get(GetRecord(), nullptr, p));
    return DoublesToPoint(p);
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
    CsysParts f(csys);
    if (int st = qel_arcdata_init(f.xAxis, f.yAxis, f.origin, end0, end1, radius, GetRecord()))
        FailSet(st);
}

double KPIArc_i::GetEnd0() {
    if (!GetRecord())
        return end0_;
    double v = 0;
    check(qel_arcdata_get(GetRecord(), nullptr, nullptr, nullptr, &v, nullptr, nullptr));
    return v;
}

double KPIArc_i::GetEnd1() {
    if (!GetRecord())
        return end1_;
    double v = 0;
    check(qel_arcdata_get(GetRecord(), nullptr, nullptr, nullptr, nullptr, &v, nullptr));
    return v;
}

double KPIArc_i::GetRadius() {
    if (!GetRecord())
        return radius_;
    double v = 0;
    check(qel_arcdata_get(GetRecord(), nullptr, nullptr, nullptr, nullptr, nullptr, &v));
    return v;
}

xrchandle<KCsys> KPIArc_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    double x[3], y[3], o[3];
    check(qel_arcdata_get(GetRecord(), x, y, o, nullptr, nullptr, nullptr));
    return FrameToCsys(o, x, y);
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
    CsysParts f(csys);
    if (int st = qel_ellipsedata_init(f.origin, f.xAxis, f.yAxis, c0, c1, end0, end1,
                                      GetRecord()))
        FailSet(st);
}

double KPIEllipse_i::GetC0() {
    if (!GetRecord())
        return c0_;
    double v = 0;
    check(qel_ellipsedata_get(GetRecord(), nullptr, nullptr, nullptr, &v, nullptr, nullptr,
                              nullptr));
    return v;
}

double KPIEllipse_i::GetC1() {
    if (!GetRecord())
        return c1_;
    double v = 0;
    check(qel_ellipsedata_get(GetRecord(), nullptr, nullptr, nullptr, nullptr, &v, nullptr,
                              nullptr));
    return v;
}

double KPIEllipse_i::GetEnd0() {
    if (!GetRecord())
        return end0_;
    double v = 0;
    check(qel_ellipsedata_get(GetRecord(), nullptr, nullptr, nullptr, nullptr, nullptr, &v,
                              nullptr));
    return v;
}

double KPIEllipse_i::GetEnd1() {
    if (!GetRecord())
        return end1_;
    double v = 0;
    check(qel_ellipsedata_get(GetRecord(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &v));
    return v;
}

xrchandle<KCsys> KPIEllipse_i::GetCsys() {
    if (!GetRecord())
        return csys_;
    double c[3], major[3], minor[3];
    check(qel_ellipsedata_get(GetRecord(), c, major, minor, nullptr, nullptr, nullptr, nullptr));
    return FrameToCsys(c, major, minor);
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
        ThrowSimple(-2);
    if (!head)
        FailSet(-2);
    if (int st = qel_splinedata_init(head->params, head->points, head->tangents, head->count,
                                     GetRecord()))
        FailSet(st);
}

xrchandle<KPoint3DList> KPISpline_i::GetPoints() {
    if (!GetRecord())
        return points_;
    return BuildPoint3DList(RecordOfKind(QEL_CURVE_SPLINE)->spline.points);
}

xrchandle<KVector3DList> KPISpline_i::GetTangents() {
    if (!GetRecord())
        return tangents_;
    return BuildVector3DList(RecordOfKind(QEL_CURVE_SPLINE)->spline.tangents);
}

xrchandle<xrealsequence> KPISpline_i::GetParameters() {
    if (!GetRecord())
        return parameters_;
    return BuildRealSequence(RecordOfKind(QEL_CURVE_SPLINE)->spline.params);
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
    // Each weight scales its own control point: counts must agree before
    // any point is touched.
    const int np = points ? points->Count() : 0;
    if (weights && weights->Count() != np)
        FailSet(-2);
    xarholder<double> knots, w;
    xarholder<QelPoint> pts;
    int st = RealSequenceToArray(parameters, knots);
    if (st == 0)
        st = PointListToArray(points, pts);
    if (st == 0 && weights) {
        st = RealSequenceToArray(weights, w);
        for (int i = 0; st == 0 && i < np; ++i)
            for (double& c : pts[i].xyz)
                c *= w[i];
    }
    if (st == 0) {
        st = qel_bsplinedata_init(degree, knots.Data(), weights ? w.Data() : nullptr, pts.Data(),
                                  uint32_t(knots.Count()), uint32_t(np), GetRecord());
        // Degree 4 or more and unclamped ends leave a complete record.
        if (st == QEL_ERR_BSPL_DEGREE || st == QEL_ERR_BSPL_UNCLAMPED)
            st = 0;
    }
    if (st != 0)
        FailSet(st);
}

int KPIBspline_i::GetDegree() {
    if (!GetRecord())
        return degree_;
    return RecordOfKind(QEL_CURVE_BSPLINE)->bspline.degree;
}

xrchandle<xrealsequence> KPIBspline_i::GetParameters() {
    if (!GetRecord())
        return parameters_;
    return BuildRealSequence(RecordOfKind(QEL_CURVE_BSPLINE)->bspline.knots);
}

xrchandle<xrealsequence> KPIBspline_i::GetWeights() {
    if (!GetRecord())
        return weights_;
    return BuildRealSequence(RecordOfKind(QEL_CURVE_BSPLINE)->bspline.weights);
}

xrchandle<KPoint3DList> KPIBspline_i::GetPoints() {
    if (!GetRecord())
        return points_;
    const QelBsplinedata& b = RecordOfKind(QEL_CURVE_BSPLINE)->bspline;
    QelArrayView<QelPoint> pts(b.points);
    QelArrayView<double> w(b.weights);
    // Every point needs its own weight; a record from elsewhere may lack some.
    if (b.weights && w.Count() != pts.Count())
        ThrowSimple(-2);
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    for (int i = pts.Count() - 1; i >= 0; --i) {
        const double weight = w.Empty() ? 1.0 : w[i];
        const double* c = pts[i].xyz;
        list->Set(i, KCreatePoint3D(c[0] / weight, c[1] / weight, c[2] / weight));
    }
    return list;
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
            ThrowSimple(-2);
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
    if (!GetRecord())
        return curves_;
    QelCurvedata* rec = RecordOfKind(QEL_CURVE_COMPOSITE);
    return MakeCurveListFromComponents(rec->composite.components, SelfHandle());
}

xrchandle<xintsequence> KPICompositeCurve_i::GetTraversals() {
    if (!GetRecord())
        return traversals_;
    QelArrayView<QelComponentcurvedata> comps(RecordOfKind(QEL_CURVE_COMPOSITE)->composite.components);
    if (comps.Empty())
        return nullptr;
    xrchandle<xintsequence> seq(xintsequence::create());
    for (int i = 0; i < comps.Count(); ++i)
        seq->Append(int32_t(comps[i].direction));
    return seq;
}
