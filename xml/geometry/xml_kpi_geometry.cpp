// Geometry elements from interface objects: scratch host records filled
// from the objects, written by the host-record writers.
#include "xml/geometry/xml_kpi_geometry.h"

#include "kernel/geometry/geometry_base.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/value_convert.h"
#include "xml/geometry/xml_curves.h"
#include "xml/framework/xml_element.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/geometry/xml_surfaces.h"

#include "xarholder.h"
#include "xmemory.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

// ---- arrays from lists ---------------------------------------------------------------

double* RealArray(const xrchandle<xrealsequence>& seq) {
    xarholder<double> out;
    IntfXmlCheck(RealSequenceToArray(seq, out), "RealSequenceToArray");
    return out.Release();
}

QelPoint* PointArray(const xrchandle<KPoint3DList>& list) {
    xarholder<QelPoint> out;
    IntfXmlCheck(PointListToArray(list, out), "PointListToArray");
    return out.Release();
}

QelPoint* VectorArray(const xrchandle<KVector3DList>& list) {
    xarholder<QelPoint> out;
    IntfXmlCheck(VectorListToArray(list, out), "VectorListToArray");
    return out.Release();
}

// Control points multiplied by their weights, and the weights (null when
// there are none; an empty weight sequence counts as none).
void WeightedArrays(const xrchandle<KPoint3DList>& points, xrchandle<xrealsequence> weights,
                    QelPoint*& pointsOut, double*& weightsOut, const char* what) {
    if (weights && weights->Count() == 0)
        weights.release();
    const int32_t np = IntfXmlKPICount(points);
    if (weights && weights->Count() != np)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: %d weights for %d control points", what,
                     weights->Count(), np);
    // A point kept times such a weight could not be divided back out.
    if (!UsableWeights(weights, points))
        IntfXmlThrow(INTFXML_ERR_RECORD,
                     "%s: a weight that is 0, subnormal or not finite, or a control point that "
                     "overflows or underflows when multiplied by its weight",
                     what);
    xarholder<QelPoint> p;
    xarholder<double> w;
    IntfXmlCheck(WeightedPointsToArrays(points, weights, p, w), "WeightedPointsToArrays");
    pointsOut = p.Release();
    weightsOut = weights ? w.Release() : nullptr;
}

// ---- curves ----------------------------------------------------------------------------

void FillSpline(const xrchandle<KPISpline>& spline, QelSplinedata& s, const char* what) {
    if (!spline)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: no spline", what);
    s.kind = QEL_CURVE_SPLINE;
    xrchandle<xrealsequence> params = spline->GetParameters();
    xrchandle<KPoint3DList> points = spline->GetPoints();
    xrchandle<KVector3DList> tangents = spline->GetTangents();
    const int32_t n = IntfXmlKPICount(points);
    if (IntfXmlKPICount(params) != n || IntfXmlKPICount(tangents) != n)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: %d parameters, %d points and %d tangents", what,
                     IntfXmlKPICount(params), n, IntfXmlKPICount(tangents));
    s.params = RealArray(params);
    s.points = PointArray(points);
    s.tangents = VectorArray(tangents);
    s.count = uint32_t(n);
}

void FillCurveAt(const xrchandle<KPICurve>& curve, QelCurvedata& out, int depth);

void FillComposite(const xrchandle<KPICompositeCurve>& composite, QelCurvedata& out, int depth) {
    if (depth >= INTFXML_MAX_CURVE_NESTING)
        IntfXmlThrow(INTFXML_ERR_RECORD, "composite curves nest deeper than %d levels",
                     INTFXML_MAX_CURVE_NESTING);
    out.composite.kind = QEL_CURVE_COMPOSITE;
    xrchandle<KPICurveList> curves = composite->GetCurves();
    xrchandle<xintsequence> traversals = composite->GetTraversals();
    const int32_t n = IntfXmlKPICount(curves);
    if (IntfXmlKPICount(traversals) < n)
        IntfXmlThrow(INTFXML_ERR_RECORD, "composite curve: %d traversals for %d curves",
                     IntfXmlKPICount(traversals), n);
    out.composite.components = static_cast<QelComponentcurvedata*>(
        xar_alloc(0, sizeof(QelComponentcurvedata), 10));
    if (!out.composite.components)
        IntfXmlThrowStatus(-10, "xar_alloc");
    for (int32_t i = 0; i < n; ++i) {
        xrchandle<KPICurve> c = curves->Get(i);
        if (!c)
            IntfXmlThrow(INTFXML_ERR_RECORD, "composite curve: no curve at index %d", i);
        QelCurveScratch scratch;
        IntfXmlWritePlacing([&] { FillCurveAt(c, *scratch.get(), depth + 1); },
                            [i] { return ", component at index " + std::to_string(i); });
        QelComponentcurvedata comp;
        std::memset(&comp, 0, sizeof comp);
        comp.curve = *scratch.get();
        comp.direction = uint32_t(traversals->Get(i));
        IntfXmlCheck(xar_append(out.composite.components, 1, &comp), "xar_append");
        scratch.release(); // the component array holds the curve now
    }
}

void FillCurveAt(const xrchandle<KPICurve>& curve, QelCurvedata& out, int depth) {
    if (!curve)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no curve to write");
    KPICurve* c = curve.get();
    switch (c->GetPICurveType()) {
    case KPICURV_POINT: {
        xrchandle<KPIPoint> p(KPIPoint::cast(c));
        out.point.kind = QEL_CURVE_POINT;
        PointToDoubles(p->GetPoint3D(), out.point.point);
        break;
    }
    case KPICURV_LINE: {
        xrchandle<KPILine> l(KPILine::cast(c));
        out.line.kind = QEL_CURVE_LINE;
        PointToDoubles(l->GetEnd0(), out.line.end1);
        PointToDoubles(l->GetEnd1(), out.line.end2);
        break;
    }
    case KPICURV_ARC: {
        xrchandle<KPIArc> a(KPIArc::cast(c));
        QelFrame f{};
        IntfXmlKPIFillFrame(a->GetCsys(), &f, "arc");
        out.arc.kind = QEL_CURVE_ARC;
        std::memcpy(out.arc.vector1, f.e1, sizeof f.e1);
        std::memcpy(out.arc.vector2, f.e2, sizeof f.e2);
        std::memcpy(out.arc.origin, f.origin, sizeof f.origin);
        out.arc.start_angle = a->GetEnd0();
        out.arc.end_angle = a->GetEnd1();
        out.arc.radius = a->GetRadius();
        break;
    }
    case KPICURV_ELLIPSE: {
        xrchandle<KPIEllipse> e(KPIEllipse::cast(c));
        QelFrame f{};
        IntfXmlKPIFillFrame(e->GetCsys(), &f, "ellipse");
        out.ellipse.kind = QEL_CURVE_ELLIPSE;
        std::memcpy(out.ellipse.center, f.origin, sizeof f.origin);
        std::memcpy(out.ellipse.major_axis, f.e1, sizeof f.e1);
        std::memcpy(out.ellipse.minor_axis, f.e2, sizeof f.e2);
        out.ellipse.major_length = e->GetC0();
        out.ellipse.minor_length = e->GetC1();
        out.ellipse.start_angle = e->GetEnd0();
        out.ellipse.end_angle = e->GetEnd1();
        break;
    }
    case KPICURV_SPLINE:
        FillSpline(xrchandle<KPISpline>(KPISpline::cast(c)), out.spline, "spline");
        break;
    case KPICURV_BSPLINE: {
        xrchandle<KPIBspline> b(KPIBspline::cast(c));
        QelBsplinedata& r = out.bspline;
        r.kind = QEL_CURVE_BSPLINE;
        r.degree = b->GetDegree();
        xrchandle<xrealsequence> knots = b->GetParameters();
        r.knots = RealArray(knots);
        r.knot_count = uint32_t(IntfXmlKPICount(knots));
        xrchandle<xrealsequence> weights = b->GetWeights();
        xrchandle<KPoint3DList> points = b->GetPoints();
        WeightedArrays(points, weights, r.points, r.weights, "B-spline");
        r.point_count = uint32_t(IntfXmlKPICount(points));
        break;
    }
    case KPICURV_COMP:
        FillComposite(xrchandle<KPICompositeCurve>(KPICompositeCurve::cast(c)), out, depth);
        break;
    default:
        break; // no element for this type
    }
}

// ---- surfaces --------------------------------------------------------------------------

void FillSplineSrf(const xrchandle<KPISplineSrf>& surface, QelSplinesrfdata& s) {
    if (!surface)
        IntfXmlThrow(INTFXML_ERR_RECORD, "cylindrical spline surface: no spline surface");
    xrchandle<xrealsequence> u = surface->GetUParameters();
    xrchandle<xrealsequence> v = surface->GetVParameters();
    s.u_params = RealArray(u);
    s.v_params = RealArray(v);
    s.u_count = uint32_t(IntfXmlKPICount(u));
    s.v_count = uint32_t(IntfXmlKPICount(v));
    const int64_t n = int64_t(IntfXmlKPICount(u)) * IntfXmlKPICount(v);
    const auto checkGrid = [n, &u, &v](int32_t have, const char* what) {
        if (have != n)
            IntfXmlThrow(INTFXML_ERR_RECORD, "spline surface: %d %s for %d x %d parameters", have,
                         what, IntfXmlKPICount(u), IntfXmlKPICount(v));
    };
    xrchandle<KPoint3DList> points = surface->GetPoints();
    checkGrid(IntfXmlKPICount(points), "points");
    s.points = PointArray(points);
    xrchandle<KVector3DList> uTangents = surface->GetUTangents();
    checkGrid(IntfXmlKPICount(uTangents), "U tangents");
    s.u_tangents = VectorArray(uTangents);
    xrchandle<KVector3DList> vTangents = surface->GetVTangents();
    checkGrid(IntfXmlKPICount(vTangents), "V tangents");
    s.v_tangents = VectorArray(vTangents);
    xrchandle<KVector3DList> derivs = surface->GetMixedDerivatives();
    checkGrid(IntfXmlKPICount(derivs), "UV derivatives");
    s.mixed_derivs = VectorArray(derivs);
}

// A surface's curve, at `place` within its face (", its profile").
void FillProfile(const xrchandle<KPICurve>& curve, QelCurvedata& out, const char* what,
                 const char* place) {
    IntfXmlWritePlacing(
        [&] {
            if (!curve)
                IntfXmlThrow(INTFXML_ERR_RECORD, "%s: no curve", what);
            FillCurveAt(curve, out, 0);
        },
        [place] { return std::string(place); });
}

// A fillet surface's spline, at `place` within its face.
void FillHead(const xrchandle<KPISpline>& spline, QelSplinedata& s, const char* what,
              const char* place) {
    IntfXmlWritePlacing([&] { FillSpline(spline, s, what); },
                        [place] { return std::string(place); });
}

// Writes `write(record)` for a scratch curve filled by `fill`. A curve
// written on its own is no item: what its fill refuses within it is
// refused as within "the curve".
template <class Fill, class Write> void WithCurve(Fill&& fill, Write&& write) {
    QelCurveScratch scratch;
    IntfXmlWriteNaming([&] { fill(*scratch.get()); }, [] { return std::string("the curve"); });
    write(scratch.get());
}

// The same for a scratch shape.
template <class Fill, class Write> void WithShape(Fill&& fill, Write&& write) {
    struct Scratch {
        QelSurfaceshapedata shape;
        uint32_t kind = 0;
        Scratch() { std::memset(&shape, 0, sizeof shape); }
        ~Scratch() { qel_surfaceshapedata_clear(kind, &shape); }
    } s;
    IntfXmlWriteNaming([&] { fill(s.kind, s.shape); }, [] { return std::string("the surface"); });
    write(s.kind, &s.shape);
}

template <class T> xrchandle<KPISurface> AsSurface(const xrchandle<T>& s) {
    return xrchandle<KPISurface>(s.get());
}

template <class T> xrchandle<KPICurve> AsCurve(const xrchandle<T>& c) {
    return xrchandle<KPICurve>(c.get());
}

} // namespace

void IntfXmlKPIFillFrame(const xrchandle<KCsys>& csys, QelFrame* out, const char* what) {
    if (!csys)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: no coordinate system", what ? what : "geometry");
    CsysToFrame(csys, out);
}

void IntfXmlKPIFillCurve(const xrchandle<KPICurve>& curve, QelCurvedata* out) {
    if (!out)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no curve record to fill");
    FillCurveAt(curve, *out, 0);
}

void IntfXmlKPIFillShape(const xrchandle<KPISurface>& surface, uint32_t* kind,
                         QelSurfaceshapedata* out) {
    if (!kind || !out)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no shape record to fill");
    *kind = 0;
    if (!surface)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no surface to write");
    KPISurface* s = surface.get();
    const KPISurfType type = s->GetPISurfaceType();
    *kind = HostSurfaceKind(type);
    switch (type) {
    case KPISURF_PLANE:
        IntfXmlKPIFillFrame(KPIPlane::cast(s)->GetCsys(), &out->plane.frame, "plane");
        break;
    case KPISURF_CYL: {
        xrchandle<KPICylinder> c(KPICylinder::cast(s));
        IntfXmlKPIFillFrame(c->GetCsys(), &out->cylinder.frame, "cylinder");
        out->cylinder.scalar = c->GetRadius();
        break;
    }
    case KPISURF_CONE: {
        xrchandle<KPICone> c(KPICone::cast(s));
        IntfXmlKPIFillFrame(c->GetCsys(), &out->cone.frame, "cone");
        out->cone.scalar = c->GetHalfAngle();
        break;
    }
    case KPISURF_TORUS: {
        xrchandle<KPITorus> t(KPITorus::cast(s));
        IntfXmlKPIFillFrame(t->GetCsys(), &out->torus.frame, "torus");
        out->torus.radius1 = t->GetR0();
        out->torus.radius2 = t->GetR1();
        break;
    }
    case KPISURF_SRFREV: {
        xrchandle<KPISrfRev> r(KPISrfRev::cast(s));
        IntfXmlKPIFillFrame(r->GetCsys(), &out->srfrev.frame, "surface of revolution");
        FillProfile(r->GetCurve(), out->srfrev.profile, "surface of revolution", ", its profile");
        break;
    }
    case KPISURF_TABCYL: {
        xrchandle<KPITabCyl> t(KPITabCyl::cast(s));
        IntfXmlKPIFillFrame(t->GetCsys(), &out->tabcyl.frame, "tabulated cylinder");
        FillProfile(t->GetCurve(), out->tabcyl.profile, "tabulated cylinder", ", its curve");
        break;
    }
    case KPISURF_RULSRF: {
        xrchandle<KPIRulSrf> r(KPIRulSrf::cast(s));
        IntfXmlKPIFillFrame(r->GetCsys(), &out->rulsrf.frame, "ruled surface");
        FillProfile(r->GetCurve1(), out->rulsrf.curve1, "ruled surface", ", its curve 1");
        FillProfile(r->GetCurve2(), out->rulsrf.curve2, "ruled surface", ", its curve 2");
        break;
    }
    case KPISURF_FILSRF: {
        xrchandle<KPIFilSrf> f(KPIFilSrf::cast(s));
        // In the order the element carries them.
        FillHead(f->GetCenterSpline(), out->filsrf.center_spline, "fillet surface centre",
                 ", its centre spline");
        FillHead(f->GetPointSpline(), out->filsrf.point_spline, "fillet surface point",
                 ", its point spline");
        FillHead(f->GetTangentSpline(), out->filsrf.tangent_spline, "fillet surface tangent",
                 ", its tangent spline");
        break;
    }
    case KPISURF_SPLN:
        FillSplineSrf(xrchandle<KPISplineSrf>(KPISplineSrf::cast(s)), out->splinesrf);
        break;
    case KPISURF_BSPLN: {
        xrchandle<KPIBsplsrf> b(KPIBsplsrf::cast(s));
        QelBsplinesrfdata& r = out->bsplinesrf;
        r.u_degree = uint32_t(b->GetUDegree());
        r.v_degree = uint32_t(b->GetVDegree());
        xrchandle<xrealsequence> u = b->GetUParameters();
        xrchandle<xrealsequence> v = b->GetVParameters();
        r.u_knots = RealArray(u);
        r.v_knots = RealArray(v);
        r.u_knot_count = uint32_t(IntfXmlKPICount(u));
        r.v_knot_count = uint32_t(IntfXmlKPICount(v));
        xrchandle<KPoint3DList> points = b->GetPoints();
        WeightedArrays(points, b->GetWeights(), r.points, r.weights, "B-spline surface");
        r.point_count = uint32_t(IntfXmlKPICount(points));
        break;
    }
    case KPISURF_CYLSPLN: {
        xrchandle<KPICylSplSrf> c(KPICylSplSrf::cast(s));
        IntfXmlKPIFillFrame(c->GetCsys(), &out->cylsplsrf.frame, "cylindrical spline surface");
        FillSplineSrf(c->GetSplsrf(), out->cylsplsrf.splinesrf);
        break;
    }
    default:
        break; // no element for this type
    }
}

QelUvSample* IntfXmlKPIUvSamples(const xrchandle<KPointUVList>& first,
                                 const xrchandle<KPointUVList>& second) {
    const int32_t n = IntfXmlKPICount(first);
    if (IntfXmlKPICount(second) < n)
        IntfXmlThrow(INTFXML_ERR_RECORD, "UV points: %d on the second face for %d on the first",
                     IntfXmlKPICount(second), n);
    xarholder<QelUvSample> samples(10, n);
    if (!samples.Exists())
        IntfXmlThrowStatus(-10, "xar_alloc");
    for (int32_t i = 0; i < n; ++i) {
        PointUVToDoubles(first->Get(i), samples[i].uv1);
        PointUVToDoubles(second->Get(i), samples[i].uv2);
    }
    return samples.Release();
}

// ---- curve writers -------------------------------------------------------------------------

IntfXmlKPICurve::IntfXmlKPICurve(xrchandle<KPICurve> curve, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(curve, &r); },
              [&](const QelCurvedata* r) { IntfXmlCurve(r, name); });
}

IntfXmlKPIPoint::IntfXmlKPIPoint(xrchandle<KPIPoint> point, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(AsCurve(point), &r); },
              [&](const QelCurvedata* r) { IntfXmlPoint(r, name); });
}

IntfXmlKPILine::IntfXmlKPILine(xrchandle<KPILine> line, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(AsCurve(line), &r); },
              [&](const QelCurvedata* r) { IntfXmlLine(r, name); });
}

IntfXmlKPIArc::IntfXmlKPIArc(xrchandle<KPIArc> arc, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(AsCurve(arc), &r); },
              [&](const QelCurvedata* r) { IntfXmlArc(r, name); });
}

IntfXmlKPIEllipse::IntfXmlKPIEllipse(xrchandle<KPIEllipse> ellipse, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(AsCurve(ellipse), &r); },
              [&](const QelCurvedata* r) { IntfXmlEllipse(r, name); });
}

IntfXmlKPISpline::IntfXmlKPISpline(xrchandle<KPISpline> spline, const char* name) {
    WithCurve([&](QelCurvedata& r) { FillSpline(spline, r.spline, "spline"); },
              [&](const QelCurvedata* r) { IntfXmlSpline(r, name); });
}

IntfXmlKPIBspline::IntfXmlKPIBspline(xrchandle<KPIBspline> bspline, const char* name) {
    WithCurve([&](QelCurvedata& r) { IntfXmlKPIFillCurve(AsCurve(bspline), &r); },
              [&](const QelCurvedata* r) { IntfXmlBspline(r, name); });
}

IntfXmlKPICompCurve::IntfXmlKPICompCurve(xrchandle<KPICompositeCurve> composite,
                                         const char* name) {
    if (!composite)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no composite curve to write");
    WithCurve([&](QelCurvedata& r) { FillComposite(composite, r, 0); },
              [&](const QelCurvedata* r) { IntfXmlComponents(r, name); });
}

IntfXmlKPIComponent::IntfXmlKPIComponent(xrchandle<KPICurve> curve, int32_t direction,
                                         const char* name) {
    struct Scratch {
        QelComponentcurvedata comp;
        Scratch() { std::memset(&comp, 0, sizeof comp); }
        ~Scratch() { qel_curvedata_clear(&comp.curve); }
    } s;
    IntfXmlWriteNaming([&] { IntfXmlKPIFillCurve(curve, &s.comp.curve); },
                       [] { return std::string("the curve"); });
    s.comp.direction = uint32_t(direction);
    IntfXmlComponent(&s.comp, name);
}

// ---- surface writers -------------------------------------------------------------------------

IntfXmlKPISurface::IntfXmlKPISurface(xrchandle<KPISurface> surface, const char* name) {
    WithShape([&](uint32_t& kind, QelSurfaceshapedata& shape) {
                  IntfXmlKPIFillShape(surface, &kind, &shape);
              },
              [&](uint32_t kind, const QelSurfaceshapedata* shape) {
                  IntfXmlSurface::Write(shape, kind, name);
              });
}

namespace {

// A kind writer: fills the shape from `surface` and writes it with W.
template <class W, class T> void WriteShapeKind(const xrchandle<T>& surface) {
    WithShape([&](uint32_t& kind, QelSurfaceshapedata& shape) {
                  IntfXmlKPIFillShape(AsSurface(surface), &kind, &shape);
              },
              [&](uint32_t, const QelSurfaceshapedata* shape) { W{shape}; });
}

} // namespace

IntfXmlKPIPlane::IntfXmlKPIPlane(xrchandle<KPIPlane> plane) {
    WriteShapeKind<IntfXmlPlane>(plane);
}

IntfXmlKPICylinder::IntfXmlKPICylinder(xrchandle<KPICylinder> cylinder) {
    WriteShapeKind<IntfXmlCylinder>(cylinder);
}

IntfXmlKPICone::IntfXmlKPICone(xrchandle<KPICone> cone) { WriteShapeKind<IntfXmlCone>(cone); }

IntfXmlKPITorus::IntfXmlKPITorus(xrchandle<KPITorus> torus) {
    WriteShapeKind<IntfXmlTorus>(torus);
}

IntfXmlKPISrfRevolved::IntfXmlKPISrfRevolved(xrchandle<KPISrfRev> surface) {
    WriteShapeKind<IntfXmlSrfRevolved>(surface);
}

IntfXmlKPITabCyl::IntfXmlKPITabCyl(xrchandle<KPITabCyl> surface) {
    WriteShapeKind<IntfXmlTabCyl>(surface);
}

IntfXmlKPIRuledSrf::IntfXmlKPIRuledSrf(xrchandle<KPIRulSrf> surface) {
    WriteShapeKind<IntfXmlRuledSrf>(surface);
}

IntfXmlKPIFilletSrf::IntfXmlKPIFilletSrf(xrchandle<KPIFilSrf> surface) {
    WriteShapeKind<IntfXmlFilletSrf>(surface);
}

IntfXmlKPISplSrf::IntfXmlKPISplSrf(xrchandle<KPISplineSrf> surface, const char* name) {
    WithShape([&](uint32_t& kind, QelSurfaceshapedata& shape) {
                  kind = QEL_SURF_SPLINE;
                  FillSplineSrf(surface, shape.splinesrf);
              },
              [&](uint32_t, const QelSurfaceshapedata* shape) {
                  IntfXmlSplSrf(&shape->splinesrf, name);
              });
}

IntfXmlKPIBsplSrf::IntfXmlKPIBsplSrf(xrchandle<KPIBsplsrf> surface) {
    WriteShapeKind<IntfXmlBsplSrf>(surface);
}

IntfXmlKPICylSplSrf::IntfXmlKPICylSplSrf(xrchandle<KPICylSplSrf> surface) {
    WriteShapeKind<IntfXmlCylSplSrf>(surface);
}

// ---- value writers -----------------------------------------------------------------------------

IntfXmlKPICsys::IntfXmlKPICsys(xrchandle<KCsys> csys, const char* name) {
    QelFrame f{};
    IntfXmlKPIFillFrame(csys, &f, name ? name : "Csys");
    IntfXmlCsys::Write(f, name);
}

IntfXmlKPIQel3dPnt::IntfXmlKPIQel3dPnt(xrchandle<KPoint3D> point, const char* name) {
    double xyz[3] = {0, 0, 0};
    PointToDoubles(point, xyz);
    IntfXmlQel3dPnt::Write(xyz, name);
}

IntfXmlKPIQelVector::IntfXmlKPIQelVector(xrchandle<KVector3D> vector, const char* name) {
    double xyz[3] = {0, 0, 0};
    VectorToDoubles(vector, xyz);
    IntfXmlQelVector::Write(xyz, name);
}

IntfXmlKPIQelUvParam::IntfXmlKPIQelUvParam(xrchandle<KPointUV> point, const char* name) {
    double uv[2] = {0, 0};
    PointUVToDoubles(point, uv);
    IntfXmlQelUvParam::Write(uv, name);
}

IntfXmlKPIQelPntList::IntfXmlKPIQelPntList(xrchandle<KPoint3DList> points, const char* name) {
    xarholder<QelPoint> arr;
    IntfXmlCheck(PointListToArray(points, arr), "PointListToArray");
    IntfXmlQelPntList(arr.Data(), arr.Count(), name);
}

IntfXmlKPIQelVectorList::IntfXmlKPIQelVectorList(xrchandle<KVector3DList> vectors,
                                                 const char* name) {
    xarholder<QelPoint> arr;
    IntfXmlCheck(VectorListToArray(vectors, arr), "VectorListToArray");
    IntfXmlQelVectorList(arr.Data(), arr.Count(), name);
}

IntfXmlKPIQelRealSeq::IntfXmlKPIQelRealSeq(xrchandle<xrealsequence> values, const char* name) {
    // A sequence is contiguous: no copy is needed.
    IntfXmlQelRealSeq::Write(values ? values->Data() : nullptr, IntfXmlKPICount(values), name);
}

IntfXmlKPIQelIntSeq::IntfXmlKPIQelIntSeq(xrchandle<xintsequence> values, const char* name) {
    IntfXmlQelIntSeq::Write(values ? values->Data() : nullptr, IntfXmlKPICount(values), name);
}

IntfXmlKPIUVParams::IntfXmlKPIUVParams(xrchandle<KPointUVList> first,
                                       xrchandle<KPointUVList> second, const char* name) {
    QelUvSample* arr = IntfXmlKPIUvSamples(first, second);
    const int32_t n = xar_count(arr);
    struct Free {
        QelUvSample* a;
        ~Free() { xar_free(a); }
    } guard{arr};
    IntfXmlUVParams::Write(arr, n, name);
}
