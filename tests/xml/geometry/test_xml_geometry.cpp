// Value, curve and surface elements: exact texts, round trips record -> XML
// -> record for every curve and surface kind, and malformed inputs.
#include "xml/xml_test_util.h"

#include "kernel/records/qel_routines.h"
#include "xml/geometry/xml_curves.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/geometry/xml_surfaces.h"
#include "xmemory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// ---- records ------------------------------------------------------------------------

template <class T> T* Arr(const std::vector<T>& items) {
    T* a = static_cast<T*>(xar_alloc(int(items.size()), int(sizeof(T)), 4));
    if (!items.empty())
        std::memcpy(a, items.data(), items.size() * sizeof(T));
    return a;
}

std::vector<QelPoint> Pts(int n, double base) {
    std::vector<QelPoint> v;
    for (int i = 0; i < n; ++i)
        v.push_back(QelPoint{{base + i, base - 0.1 * i, 1.0 / (i + 3)}});
    return v;
}

std::vector<double> Reals(int n, double base) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i)
        v.push_back(base + i * 0.3333333333333333);
    return v;
}

QelCurvedata LineRec(double a, double b) {
    QelCurvedata c{};
    c.line = QelLinedata{QEL_CURVE_LINE, {a, 0, 0}, {b, 1, 1}};
    return c;
}

QelCurvedata PointRec() {
    QelCurvedata c{};
    c.point = QelPointdata{QEL_CURVE_POINT, {1.5, -2, 0}};
    return c;
}

QelCurvedata ArcRec() {
    QelCurvedata c{};
    c.arc = QelArcdata{QEL_CURVE_ARC, {1, 0, 0}, {0, 1, 0}, {3, 4, 5}, 0.1, 2.0 / 3, 7.25};
    return c;
}

QelCurvedata EllipseRec() {
    QelCurvedata c{};
    c.ellipse = QelEllipsedata{QEL_CURVE_ELLIPSE, {1, 2, 3}, {1, 0, 0}, {0, 1, 0}, 5, 2.5, -1, 1e-17};
    return c;
}

QelCurvedata SplineRec(int n) {
    QelCurvedata c{};
    c.spline = QelSplinedata{QEL_CURVE_SPLINE, Arr(Reals(n, 0)), Arr(Pts(n, 1)), Arr(Pts(n, -4)),
                             uint32_t(n)};
    return c;
}

QelCurvedata BsplineRec(bool weights) {
    QelCurvedata c{};
    c.bspline = QelBsplinedata{QEL_CURVE_BSPLINE,
                               3,
                               Arr(std::vector<double>{0, 0, 0, 0, 0.5, 1, 1, 1, 1}),
                               weights ? Arr(Reals(5, 1)) : nullptr,
                               Arr(Pts(5, 2)),
                               9,
                               5};
    return c;
}

QelCurvedata CompositeRec(const std::vector<std::pair<QelCurvedata, uint32_t>>& parts) {
    std::vector<QelComponentcurvedata> comps;
    for (auto& p : parts) {
        QelComponentcurvedata e{};
        e.curve = p.first;
        e.direction = p.second;
        comps.push_back(e);
    }
    QelCurvedata c{};
    c.composite = QelCompositeCurvedata{QEL_CURVE_COMPOSITE, Arr(comps)};
    return c;
}

QelFrame Frame(double o) { return QelFrame{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {o, o + 1, o + 2}}; }

QelSplinesrfdata SplSrfRec(int u, int v) {
    return QelSplinesrfdata{Arr(Reals(u, 0)),      Arr(Reals(v, 10)),     Arr(Pts(u * v, 1)),
                            Arr(Pts(u * v, 2)),    Arr(Pts(u * v, 3)),    Arr(Pts(u * v, 4)),
                            uint32_t(u),           uint32_t(v)};
}

QelSurfaceshapedata ShapeRec(uint32_t kind) {
    QelSurfaceshapedata s{};
    switch (kind) {
    case QEL_SURF_PLANE: s.plane.frame = Frame(1); break;
    case QEL_SURF_CYLINDER: s.cylinder = QelCylinderdata{Frame(2), 4.5}; break;
    case QEL_SURF_CONE: s.cone = QelConedata{Frame(3), 0.7853981633974483}; break;
    case QEL_SURF_TORUS: s.torus = QelTorusdata{Frame(4), 10, 0.1}; break;
    case QEL_SURF_SPLINE: s.splinesrf = SplSrfRec(3, 4); break;
    case QEL_SURF_FILLET:
        s.filsrf = QelFilsrfdata{SplineRec(3).spline, SplineRec(4).spline, SplineRec(2).spline};
        break;
    case QEL_SURF_RULED:
        s.rulsrf.frame = Frame(5);
        s.rulsrf.curve1 = CompositeRec({{LineRec(0, 1), 1}, {ArcRec(), 0}});
        s.rulsrf.curve2 = BsplineRec(true);
        break;
    case QEL_SURF_REVOLVED: s.srfrev = QelSrfrevdata{Frame(6), SplineRec(3)}; break;
    case QEL_SURF_TABCYL: s.tabcyl = QelTabcyldata{Frame(7), EllipseRec()}; break;
    case QEL_SURF_BSPLINE:
        s.bsplinesrf = QelBsplinesrfdata{3,
                                         2,
                                         Arr(Reals(8, 0)),
                                         Arr(Reals(6, 0)),
                                         Arr(Reals(12, 1)),
                                         Arr(Pts(12, 0)),
                                         8,
                                         6,
                                         12};
        break;
    case QEL_SURF_CYLSPLINE: s.cylsplsrf = QelCylsplsrfdata{Frame(8), SplSrfRec(2, 2)}; break;
    }
    return s;
}

// ---- comparisons --------------------------------------------------------------------------

template <class T> void ExpectSameArray(const T* a, const T* b, int n, const char* what) {
    if (n == 0)
        return;
    ASSERT_TRUE(a && b) << what;
    EXPECT_EQ(xar_count(b), n) << what;
    EXPECT_EQ(std::memcmp(a, b, size_t(n) * sizeof(T)), 0) << what;
}

void ExpectSameCurve(const QelCurvedata& a, const QelCurvedata& b) {
    ASSERT_EQ(a.kind, b.kind);
    switch (a.kind) {
    case QEL_CURVE_POINT:
        EXPECT_EQ(std::memcmp(a.point.point, b.point.point, sizeof a.point.point), 0);
        break;
    case QEL_CURVE_LINE:
        EXPECT_EQ(std::memcmp(a.line.end1, b.line.end1, 6 * sizeof(double)), 0);
        break;
    case QEL_CURVE_ARC:
        EXPECT_EQ(std::memcmp(a.arc.vector1, b.arc.vector1, 9 * sizeof(double)), 0);
        EXPECT_EQ(a.arc.start_angle, b.arc.start_angle);
        EXPECT_EQ(a.arc.end_angle, b.arc.end_angle);
        EXPECT_EQ(a.arc.radius, b.arc.radius);
        break;
    case QEL_CURVE_ELLIPSE:
        EXPECT_EQ(std::memcmp(a.ellipse.center, b.ellipse.center, 9 * sizeof(double)), 0);
        EXPECT_EQ(a.ellipse.major_length, b.ellipse.major_length);
        EXPECT_EQ(a.ellipse.minor_length, b.ellipse.minor_length);
        EXPECT_EQ(a.ellipse.start_angle, b.ellipse.start_angle);
        EXPECT_EQ(a.ellipse.end_angle, b.ellipse.end_angle);
        break;
    case QEL_CURVE_SPLINE: {
        const int n = int(a.spline.count);
        EXPECT_EQ(a.spline.count, b.spline.count);
        ExpectSameArray(a.spline.params, b.spline.params, n, "params");
        ExpectSameArray(a.spline.points, b.spline.points, n, "points");
        ExpectSameArray(a.spline.tangents, b.spline.tangents, n, "tangents");
        break;
    }
    case QEL_CURVE_BSPLINE:
        EXPECT_EQ(a.bspline.degree, b.bspline.degree);
        EXPECT_EQ(a.bspline.knot_count, b.bspline.knot_count);
        EXPECT_EQ(a.bspline.point_count, b.bspline.point_count);
        ExpectSameArray(a.bspline.knots, b.bspline.knots, int(a.bspline.knot_count), "knots");
        ExpectSameArray(a.bspline.points, b.bspline.points, int(a.bspline.point_count), "cpts");
        EXPECT_EQ(a.bspline.weights == nullptr, b.bspline.weights == nullptr);
        if (a.bspline.weights)
            ExpectSameArray(a.bspline.weights, b.bspline.weights, int(a.bspline.point_count), "w");
        break;
    case QEL_CURVE_COMPOSITE: {
        const int n = xar_count(a.composite.components);
        ASSERT_EQ(xar_count(b.composite.components), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(a.composite.components[i].direction, b.composite.components[i].direction);
            ExpectSameCurve(a.composite.components[i].curve, b.composite.components[i].curve);
        }
        break;
    }
    }
}

void ExpectSameSplineSrf(const QelSplinesrfdata& a, const QelSplinesrfdata& b) {
    EXPECT_EQ(a.u_count, b.u_count);
    EXPECT_EQ(a.v_count, b.v_count);
    const int n = int(a.u_count * a.v_count);
    ExpectSameArray(a.u_params, b.u_params, int(a.u_count), "u");
    ExpectSameArray(a.v_params, b.v_params, int(a.v_count), "v");
    ExpectSameArray(a.points, b.points, n, "points");
    ExpectSameArray(a.u_tangents, b.u_tangents, n, "ut");
    ExpectSameArray(a.v_tangents, b.v_tangents, n, "vt");
    ExpectSameArray(a.mixed_derivs, b.mixed_derivs, n, "uv");
}

void ExpectSameShape(uint32_t kind, const QelSurfaceshapedata& a, const QelSurfaceshapedata& b) {
    auto sameFrame = [](const QelFrame& x, const QelFrame& y) {
        EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
    };
    switch (kind) {
    case QEL_SURF_PLANE: sameFrame(a.plane.frame, b.plane.frame); break;
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE:
        sameFrame(a.cylinder.frame, b.cylinder.frame);
        EXPECT_EQ(a.cylinder.scalar, b.cylinder.scalar);
        break;
    case QEL_SURF_TORUS:
        sameFrame(a.torus.frame, b.torus.frame);
        EXPECT_EQ(a.torus.radius1, b.torus.radius1);
        EXPECT_EQ(a.torus.radius2, b.torus.radius2);
        break;
    case QEL_SURF_SPLINE: ExpectSameSplineSrf(a.splinesrf, b.splinesrf); break;
    case QEL_SURF_FILLET: {
        QelCurvedata x{}, y{};
        for (auto m : {&QelFilsrfdata::point_spline, &QelFilsrfdata::center_spline,
                       &QelFilsrfdata::tangent_spline}) {
            x.spline = a.filsrf.*m;
            y.spline = b.filsrf.*m;
            ExpectSameCurve(x, y);
        }
        break;
    }
    case QEL_SURF_RULED:
        sameFrame(a.rulsrf.frame, b.rulsrf.frame);
        ExpectSameCurve(a.rulsrf.curve1, b.rulsrf.curve1);
        ExpectSameCurve(a.rulsrf.curve2, b.rulsrf.curve2);
        break;
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL:
        sameFrame(a.srfrev.frame, b.srfrev.frame);
        ExpectSameCurve(a.srfrev.profile, b.srfrev.profile);
        break;
    case QEL_SURF_BSPLINE: {
        const QelBsplinesrfdata &x = a.bsplinesrf, &y = b.bsplinesrf;
        EXPECT_EQ(x.u_degree, y.u_degree);
        EXPECT_EQ(x.v_degree, y.v_degree);
        EXPECT_EQ(x.u_knot_count, y.u_knot_count);
        EXPECT_EQ(x.v_knot_count, y.v_knot_count);
        EXPECT_EQ(x.point_count, y.point_count);
        ExpectSameArray(x.u_knots, y.u_knots, int(x.u_knot_count), "uk");
        ExpectSameArray(x.v_knots, y.v_knots, int(x.v_knot_count), "vk");
        ExpectSameArray(x.points, y.points, int(x.point_count), "points");
        EXPECT_EQ(x.weights == nullptr, y.weights == nullptr);
        if (x.weights)
            ExpectSameArray(x.weights, y.weights, int(x.point_count), "weights");
        break;
    }
    case QEL_SURF_CYLSPLINE:
        sameFrame(a.cylsplsrf.frame, b.cylsplsrf.frame);
        ExpectSameSplineSrf(a.cylsplsrf.splinesrf, b.cylsplsrf.splinesrf);
        break;
    }
}

// ---- reading ----------------------------------------------------------------------------------

using CurveTop = xmltest::Top<IntfXmlCurve>;
using SurfaceTop = xmltest::Top<IntfXmlSurface>;

CurveTop::Maker CurveMaker() {
    return [](CurveTop* t, IntfXmlAttributes&) { return t->Make<IntfXmlCurve>(); };
}
SurfaceTop::Maker SurfaceMaker() {
    return [](SurfaceTop* t, IntfXmlAttributes&) { return t->Make<IntfXmlSurface>(); };
}

// Writes the curve, reads it back, compares and frees both.
void CurveRoundTrip(QelCurvedata rec) {
    std::string text = xmltest::WriteInRoot([&] { IntfXmlCurve(&rec, nullptr); });
    CurveTop top(CurveMaker());
    xmltest::Parse(top, text);
    ASSERT_NE(top.child(), nullptr);
    QelCurvedata back{};
    ASSERT_TRUE(top.child()->TakeCurveData(&back)) << text;
    ExpectSameCurve(rec, back);
    EXPECT_FALSE(top.child()->TakeCurveData(&back)); // taken once
    qel_curvedata_clear(&back);
    qel_curvedata_clear(&rec);
}

void ShapeRoundTrip(uint32_t kind) {
    QelSurfaceshapedata rec = ShapeRec(kind);
    std::string text = xmltest::WriteInRoot([&] { IntfXmlSurface(&rec, kind, "Shape"); });
    SurfaceTop top(SurfaceMaker());
    xmltest::Parse(top, text);
    ASSERT_NE(top.child(), nullptr);
    EXPECT_EQ(top.child()->GetKind(), int32_t(kind));
    QelSurfaceshapedata back{};
    ASSERT_TRUE(top.child()->TakeData(&back)) << text;
    ExpectSameShape(kind, rec, back);
    qel_surfaceshapedata_clear(kind, &back);
    qel_surfaceshapedata_clear(kind, &rec);
}

// Reading `inner` with a curve reader must fail with `status`; what was
// read so far is freed with the readers.
int CurveError(const std::string& inner) {
    return xmltest::ErrorOf([&] {
        CurveTop top(CurveMaker());
        xmltest::Parse(top, inner);
    });
}

int SurfaceError(const std::string& inner) {
    return xmltest::ErrorOf([&] {
        SurfaceTop top(SurfaceMaker());
        xmltest::Parse(top, inner);
    });
}

std::string Seq(const std::vector<double>& v) {
    std::string s;
    for (double d : v)
        s += DoubleToString(d).str() + " ";
    return s;
}

} // namespace

// ---- value elements -----------------------------------------------------------------------

TEST(XmlValues, TextsOfPointsFramesAndLists) {
    const double p[3] = {1.5, -2, 0};
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQel3dPnt(p, nullptr); }),
              "\t<Qel3dPnt>1.5 -2 0</Qel3dPnt>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelVector(p, "V"); }), "\t<V>1.5 -2 0</V>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelUvParam(p, "UvMin"); }),
              "\t<UvMin>1.5 -2</UvMin>\n");
    const double box[6] = {0, 0, 0, 1, 2, 0.1};
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlOutline{box}; }),
              "\t<Outline>\n\t<MinPoint>0 0 0</MinPoint>\n"
              "\t<MaxPoint>1 2 0.100000000000000006</MaxPoint>\n\t</Outline>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlCsys(Frame(0), nullptr); }),
              "\t<Csys>\n\t<X>1 0 0</X>\n\t<Y>0 1 0</Y>\n\t<Z>0 0 1</Z>\n\t<O>0 1 2</O>\n"
              "\t</Csys>\n");
    const QelUvSample uv[1] = {{{1, 2}, {3, 4}}};
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlUVParams(uv, 1, "UvPoints"); }),
              "\t<UvPoints size=\"1\">\n\t<SrfPoint>1 2 3 4</SrfPoint>\n\t</UvPoints>\n");
    const QelPoint pts[2] = {{{1, 2, 3}}, {{4, 5, 6}}};
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelVectorList(pts, 2, nullptr); }),
              "\t<QelVectorList size=\"2\">\n\t<V>1 2 3</V>\n\t<V>4 5 6</V>\n\t</QelVectorList>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelPntList(nullptr, 0, nullptr); }),
              "\t<QelPntList size=\"0\"></QelPntList>\n");
}

TEST(XmlValues, SequenceTextsBreakLinesAfterEvery16thRealAnd64thInteger) {
    std::vector<double> r(17);
    for (int i = 0; i < 17; ++i)
        r[size_t(i)] = i + 1;
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelRealSeq(r.data(), 3, nullptr); }),
              "\t<QelRealSeq size=\"3\">1 2 3 </QelRealSeq>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelRealSeq(r.data(), 17, "Params"); }),
              "\t<Params size=\"17\">1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n17 </Params>\n");
    std::vector<int32_t> ints(65, 7);
    std::string line64;
    for (int i = 0; i < 64; ++i)
        line64 += i == 63 ? "7\n" : "7 ";
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelIntSeq(ints.data(), 64, "EdgeIds"); }),
              "\t<EdgeIds size=\"64\">" + line64 + "</EdgeIds>\n");
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlQelIntSeq(ints.data(), 65, "EdgeIds"); }),
              "\t<EdgeIds size=\"65\">" + line64 + "7 </EdgeIds>\n");
}

TEST(XmlValues, ReadersTakeWhatTheWritersWrite) {
    // A frame with its children in another order; a point with a tab and a
    // newline between its numbers and a fourth word.
    xmltest::Top<IntfXmlCsys> csys(
        [](xmltest::Top<IntfXmlCsys>* t, IntfXmlAttributes&) { return t->Make<IntfXmlCsys>(); });
    xmltest::Parse(csys, "<Csys><O>7 8 9</O><Z>0 0 1</Z><Y>0 1 0</Y><X>1\t0\n0 4</X></Csys>");
    QelFrame f = csys.child()->GetFrame();
    EXPECT_EQ(f.origin[2], 9);
    EXPECT_EQ(f.e1[0], 1);
    EXPECT_EQ(f.e3[2], 1);

    // Lists: items in document order whatever their names; a real sequence
    // of many values read whole.
    xmltest::Top<IntfXmlQelPntList> list([](xmltest::Top<IntfXmlQelPntList>* t,
                                            IntfXmlAttributes& a) {
        return t->Make<IntfXmlQelPntList>(IntfXmlRequireSize(a, "L"));
    });
    xmltest::Parse(list, "<L size=\"2\"><A>1 2 3</A><B>4 5 6</B></L>");
    ASSERT_EQ(list.child()->GetCount(), 2);
    EXPECT_EQ(list.child()->GetArray()[1].xyz[0], 4);
    QelPoint* taken = list.child()->TakeArray();
    EXPECT_EQ(xar_count(taken), 2);
    xar_free(taken);

    std::vector<double> many = Reals(5000, -3);
    std::string text = xmltest::WriteInRoot([&] { IntfXmlQelRealSeq(many.data(), 5000, "S"); });
    xmltest::Top<IntfXmlQelRealSeq> seq([](xmltest::Top<IntfXmlQelRealSeq>* t,
                                           IntfXmlAttributes& a) {
        return t->Make<IntfXmlQelRealSeq>(IntfXmlRequireSize(a, "S"));
    });
    xmltest::Parse(seq, text);
    ASSERT_EQ(seq.child()->GetCount(), 5000);
    EXPECT_EQ(std::memcmp(seq.child()->GetArray(), many.data(), 5000 * sizeof(double)), 0);
}

TEST(XmlValues, ListsRefuseSizesThatDisagreeWithTheirItems) {
    auto pointList = [](const std::string& inner) {
        return xmltest::ErrorOf([&] {
            xmltest::Top<IntfXmlQelPntList> top([](xmltest::Top<IntfXmlQelPntList>* t,
                                                   IntfXmlAttributes& a) {
                return t->Make<IntfXmlQelPntList>(IntfXmlRequireSize(a, "L"));
            });
            xmltest::Parse(top, inner);
        });
    };
    // A huge size with few items allocates for the items only, then fails.
    EXPECT_EQ(pointList("<L size=\"2000000000\"><P>1 2 3</P></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L size=\"1\"><P>1 2 3</P><P>1 2 3</P></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L size=\"-1\"></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L><P>1 2 3</P></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L size=\"1\"><P>1 2 x</P></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L size=\"1\"><P><Q/>1 2 3</P></L>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(pointList("<L size=\"1\"><P>1 2 3</P></L>"), 0);

    auto intSeq = [](const std::string& inner) {
        return xmltest::ErrorOf([&] {
            xmltest::Top<IntfXmlQelIntSeq> top([](xmltest::Top<IntfXmlQelIntSeq>* t,
                                                  IntfXmlAttributes& a) {
                return t->Make<IntfXmlQelIntSeq>(IntfXmlRequireSize(a, "S"));
            });
            xmltest::Parse(top, inner);
        });
    };
    EXPECT_EQ(intSeq("<S size=\"2000000000\">1 2 3 </S>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(intSeq("<S size=\"4\">1 2 3 </S>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(intSeq("<S size=\"2\">1 2 x </S>"), 0); // words beyond the size are not read
    EXPECT_EQ(intSeq("<S size=\"3\">1 2.5 3 </S>"), INTFXML_ERR_MALFORMED);
    EXPECT_EQ(intSeq("<S size=\"3\">1 2 3 </S>"), 0);
    EXPECT_EQ(intSeq("<S size=\"0\"></S>"), 0);
}

// ---- curves ---------------------------------------------------------------------------------

TEST(XmlCurves, TextsOfTheCurveKinds) {
    QelCurvedata line = LineRec(0, 1);
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlCurve(&line, nullptr); }),
              "\t<Curve>\n\t<Line>\n\t<Start>0 0 0</Start>\n\t<End>1 1 1</End>\n\t</Line>\n"
              "\t</Curve>\n");
    QelCurvedata arc = ArcRec();
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlCurve(&arc, "XYZCurve"); }),
              "\t<XYZCurve>\n\t<Arc>\n\t<Vector1>1 0 0</Vector1>\n\t<Vector2>0 1 0</Vector2>\n"
              "\t<Origin>3 4 5</Origin>\n\t<StartAngle>0.100000000000000006</StartAngle>\n"
              "\t<EndAngle>0.66666666666666663</EndAngle>\n\t<Radius>7.25</Radius>\n\t</Arc>\n"
              "\t</XYZCurve>\n");
    // Kinds without an element (a cleared curve among them) are refused:
    // their empty element would read back as no curve.
    for (uint32_t kind : {0u, 4u, 10u, 40u, 42u, 56u, uint32_t(QEL_CURVE_CLEARED)}) {
        QelCurvedata c{};
        c.kind = kind;
        std::string message;
        EXPECT_EQ(xmltest::ErrorOf([&] { xmltest::WriteInRoot([&] { IntfXmlCurve(&c, "Curve1"); }); },
                                   &message),
                  INTFXML_ERR_RECORD);
        EXPECT_NE(message.find("\"Curve1\": a curve of kind " + std::to_string(int32_t(kind)) +
                               ", which has no element of its own"),
                  std::string::npos)
            << message;
    }
    QelCurvedata b = BsplineRec(false);
    std::string text = xmltest::WriteInRoot([&] { IntfXmlCurve(&b, nullptr); });
    EXPECT_EQ(text.find("Weights"), std::string::npos);
    EXPECT_NE(text.find("\t<Degree>3</Degree>\n\t<Params size=\"9\">0 0 0 0 0.5 1 1 1 1 </Params>\n"
                        "\t<CPoints size=\"5\">\n"),
              std::string::npos)
        << text;
    qel_curvedata_clear(&b);
    b = BsplineRec(true);
    text = xmltest::WriteInRoot([&] { IntfXmlCurve(&b, nullptr); });
    EXPECT_NE(text.find("<Weights size=\"5\">"), std::string::npos);
    qel_curvedata_clear(&b);

    QelCurvedata comp = CompositeRec(
        {{LineRec(0, 1), 1}, {CompositeRec({{PointRec(), 0}}), uint32_t(-1)}});
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlCurve(&comp, nullptr); }),
              "\t<Curve>\n\t<CompCurve>\n\t<Components size=\"2\">\n"
              "\t<Component dir=\"1\">\n\t<Curve>\n\t<Line>\n\t<Start>0 0 0</Start>\n"
              "\t<End>1 1 1</End>\n\t</Line>\n\t</Curve>\n\t</Component>\n"
              "\t<Component dir=\"-1\">\n\t<Curve>\n\t<CompCurve>\n\t<Components size=\"1\">\n"
              "\t<Component dir=\"0\">\n\t<Curve>\n\t<Point>\n\t<Position>1.5 -2 0</Position>\n"
              "\t</Point>\n\t</Curve>\n\t</Component>\n\t</Components>\n\t</CompCurve>\n"
              "\t</Curve>\n\t</Component>\n\t</Components>\n\t</CompCurve>\n\t</Curve>\n");
    qel_curvedata_clear(&comp);
}

TEST(XmlCurves, EveryKindReadsBackFieldByField) {
    CurveRoundTrip(PointRec());
    CurveRoundTrip(LineRec(-1e-300, 1e300));
    CurveRoundTrip(ArcRec());
    CurveRoundTrip(EllipseRec());
    CurveRoundTrip(SplineRec(40));
    CurveRoundTrip(SplineRec(0));
    CurveRoundTrip(BsplineRec(false));
    CurveRoundTrip(BsplineRec(true));
    CurveRoundTrip(CompositeRec({{LineRec(0, 1), 1},
                                 {CompositeRec({{SplineRec(3), 0}, {BsplineRec(true), 1}}), 0},
                                 {EllipseRec(), 1}}));
}

TEST(XmlCurves, ACurveOfNoKnownKindYieldsNoRecord) {
    CurveTop top(CurveMaker());
    xmltest::Parse(top, "<Curve></Curve>");
    QelCurvedata out{};
    EXPECT_EQ(top.child()->GetCurveData(), nullptr);
    EXPECT_FALSE(top.child()->TakeCurveData(&out));
}

// `text` with the point curve written in the element `name` taken out, as
// earlier writers wrote a curve of a kind without an element.
std::string Emptied(std::string text, const std::string& name) {
    const std::string full = "<" + name + ">\n\t<Point>\n\t<Position>1.5 -2 0</Position>\n"
                             "\t</Point>\n\t</" + name + ">";
    const size_t at = text.find(full);
    EXPECT_NE(at, std::string::npos) << text;
    if (at != std::string::npos)
        text.replace(at, full.size(), "<" + name + "></" + name + ">");
    return text;
}

TEST(XmlCurves, AnEmptyCurveThatASurfaceOrCompositeHoldsIsRefusedAtItsLine) {
    // Documents that earlier writers wrote from records holding a curve of
    // a kind without an element (the writers now refuse those); each empty
    // element is refused where it stands, with its line.
    QelCurvedata comp = CompositeRec({{LineRec(0, 1), 1}, {PointRec(), 1}});
    QelSurfaceshapedata ruled{};
    ruled.rulsrf.frame = Frame(1);
    ruled.rulsrf.curve1 = LineRec(0, 2);
    ruled.rulsrf.curve2 = PointRec();
    QelSurfaceshapedata profiled{};
    profiled.srfrev.frame = Frame(2);
    profiled.srfrev.profile = PointRec();
    struct Case {
        std::string text, empty, told;
        bool curve;
    };
    const Case cases[] = {
        {Emptied(xmltest::WriteInRoot([&] { IntfXmlCurve(&comp, nullptr); }), "Curve"),
         "<Component dir=\"1\">\n\t<Curve></Curve>", "\"Curve\" of \"Component\"", true},
        {Emptied(xmltest::WriteInRoot([&] { IntfXmlSurface(&ruled, QEL_SURF_RULED, nullptr); }),
                 "Curve2"),
         "<Curve2></Curve2>", "\"Curve2\" of \"RuledSrf\"", false},
        {Emptied(xmltest::WriteInRoot(
                     [&] { IntfXmlSurface(&profiled, QEL_SURF_REVOLVED, nullptr); }),
                 "Curve"),
         "<Curve></Curve>", "\"Curve\" of \"SrfRevolved\"", false},
        {Emptied(xmltest::WriteInRoot([&] { IntfXmlSurface(&profiled, QEL_SURF_TABCYL, nullptr); }),
                 "Curve"),
         "<Curve></Curve>", "\"Curve\" of \"TabCyl\"", false},
    };
    qel_curvedata_clear(&comp);
    qel_curvedata_clear(&ruled.rulsrf.curve1);
    for (const Case& c : cases) {
        const size_t at = c.text.find(c.empty);
        ASSERT_NE(at, std::string::npos) << c.text;
        // The parse puts the declaration's line and the root's start tag
        // before the text.
        const auto line = 2 + std::count(c.text.begin(), c.text.begin() + long(at + c.empty.size()), '\n');
        std::string message;
        EXPECT_EQ(xmltest::ErrorOf(
                      [&] {
                          if (c.curve) {
                              CurveTop top(CurveMaker());
                              xmltest::Parse(top, c.text);
                          } else {
                              SurfaceTop top(SurfaceMaker());
                              xmltest::Parse(top, c.text);
                          }
                      },
                      &message),
                  INTFXML_ERR_MALFORMED)
            << c.text;
        EXPECT_NE(message.find("line " + std::to_string(line) + ", column "), std::string::npos)
            << message;
        EXPECT_NE(message.find(c.told + " is empty: it holds no curve"), std::string::npos)
            << message;
    }
    // A component without "dir" reads as direction -1.
    comp = CompositeRec({{LineRec(0, 1), 1}});
    std::string text = xmltest::WriteInRoot([&] { IntfXmlCurve(&comp, nullptr); });
    text.erase(text.find(" dir=\"1\""), 8);
    CurveTop top(CurveMaker());
    xmltest::Parse(top, text);
    QelCurvedata back{};
    ASSERT_TRUE(top.child()->TakeCurveData(&back));
    ExpectSameCurve(comp.composite.components[0].curve, back.composite.components[0].curve);
    EXPECT_EQ(back.composite.components[0].direction, uint32_t(-1));
    qel_curvedata_clear(&back);
    qel_curvedata_clear(&comp);
}

TEST(XmlCurves, MalformedCurvesAreErrorsAndLeakNothing) {
    const int M = INTFXML_ERR_MALFORMED;
    EXPECT_EQ(CurveError("<Curve><Line><Start>0 0 0</Start></Line></Curve>"), M);
    EXPECT_EQ(CurveError("<Curve><Line><Start>0 0 0</Start><End>1 1</End></Line></Curve>"), M);
    EXPECT_EQ(CurveError("<Curve><Arc><Radius>1e</Radius></Arc></Curve>"), M);
    EXPECT_EQ(CurveError("<Curve><Hyperbola/></Curve>"), M);
    EXPECT_EQ(CurveError("<Curve><Line><Middle>1 1 1</Middle></Line></Curve>"), M);
    EXPECT_EQ(CurveError("<Curve><Point><Position>1 2 3</Position></Point>"
                         "<Point><Position>1 2 3</Position></Point></Curve>"),
              M);
    // Spline lists sized by the first one; a later one that disagrees, or
    // fewer items than announced, or a missing list.
    const std::string params = "<Params size=\"2\">0 1 </Params>";
    const std::string points = "<Points size=\"2\"><P>0 0 0</P><P>1 1 1</P></Points>";
    EXPECT_EQ(CurveError("<Curve><Spline>" + params + points +
                         "<Tangents size=\"3\"><V>0 0 0</V><V>1 1 1</V><V>1 1 1</V></Tangents>"
                         "</Spline></Curve>"),
              M);
    EXPECT_EQ(CurveError("<Curve><Spline>" + params + "<Points size=\"2\"><P>0 0 0</P></Points>"
                         "</Spline></Curve>"),
              M);
    EXPECT_EQ(CurveError("<Curve><Spline>" + params + points + "</Spline></Curve>"), M);
    // B-spline: weights that are not one per control point, a bad degree.
    EXPECT_EQ(CurveError("<Curve><Bspline><Degree>1</Degree><Params size=\"4\">0 0 1 1 </Params>"
                         "<Weights size=\"1\">1 </Weights>" + points + "</Bspline></Curve>"),
              M);
    EXPECT_EQ(CurveError("<Curve><Bspline><Degree>one</Degree></Bspline></Curve>"), M);
    // Composite: more or fewer components than "size", a component without
    // its "Curve".
    const std::string line =
        "<Curve><Line><Start>0 0 0</Start><End>1 1 1</End></Line></Curve>";
    EXPECT_EQ(CurveError("<Curve><CompCurve><Components size=\"2\"><Component dir=\"1\">" + line +
                         "</Component></Components></CompCurve></Curve>"),
              M);
    EXPECT_EQ(CurveError("<Curve><CompCurve><Components size=\"0\"><Component dir=\"1\">" + line +
                         "</Component></Components></CompCurve></Curve>"),
              M);
    EXPECT_EQ(CurveError("<Curve><CompCurve><Components size=\"1\"><Component dir=\"1\">"
                         "</Component></Components></CompCurve></Curve>"),
              M);
    // Truncated in the middle of a composite whose first component is read.
    EXPECT_EQ(CurveError("<Curve><CompCurve><Components size=\"2\"><Component dir=\"1\">"
                         "<Curve><Spline>" + params + points +
                         "<Tangents size=\"2\"><V>0 0 0</V><V>1 1 1</V></Tangents></Spline>"
                         "</Curve></Component><Component dir=\"0\"><Curve><Spline>" + params),
              INTFXML_ERR_PARSE);
}

TEST(XmlCurves, WeightsThatCannotWeighAPointAreRefusedAtTheirElement) {
    // A B-spline curve and surface of two control points, the second
    // weighted by `w` (a weight text) and kept as `p` times it.
    auto curve = [](const std::string& w, const std::string& p) {
        return "<Curve><Bspline><Degree>1</Degree><Params size=\"4\">0 0 1 1 </Params>"
               "<Weights size=\"2\">1 " + w + " </Weights><CPoints size=\"2\"><P>0 0 0</P><P>" +
               p + " 0 0</P></CPoints></Bspline></Curve>";
    };
    auto surface = [](const std::string& w, const std::string& p) {
        return "<S><BsplSrf><UVDegree>1 0</UVDegree><UParams size=\"4\">0 0 1 1 </UParams>"
               "<VParams size=\"2\">0 1 </VParams><Weights size=\"2\">1 " + w +
               " </Weights><Points size=\"2\"><P>0 0 0</P><P>" + p +
               " 0 0</P></Points></BsplSrf></S>";
    };
    struct Case {
        const char *weight, *point, *told; // told: null when read
    };
    const Case cases[] = {
        {"0", "1", "\"Weights\": weight 1 is 0:"},
        {"-0", "1", "\"Weights\": weight 1 is -0:"},
        {"nan", "1", "\"Weights\": weight 1 is nan:"},
        {"inf", "1", "\"Weights\": weight 1 is inf:"},
        {"-inf", "1", "\"Weights\": weight 1 is -inf:"},
        {"4.9e-324", "1", "\"Weights\": weight 1 is 4.9"},
        {"1e-300", "1e300", "control point 1 divided by its weight 1.0"},
        {"1e300", "1e-300", "control point 1 divided by its weight 1.0"},
        {"2.2250738585072014e-308", "1e-300", nullptr}, // the smallest normal weight
        {"-1e-300", "1e8", nullptr},
    };
    for (const Case& c : cases) {
        for (bool isCurve : {true, false}) {
            SCOPED_TRACE(std::string(c.weight) + (isCurve ? " curve" : " surface"));
            std::string message;
            const int got = xmltest::ErrorOf(
                [&] {
                    if (isCurve) {
                        CurveTop top(CurveMaker());
                        xmltest::Parse(top, curve(c.weight, c.point));
                    } else {
                        SurfaceTop top(SurfaceMaker());
                        xmltest::Parse(top, surface(c.weight, c.point));
                    }
                },
                &message);
            if (!c.told) {
                EXPECT_EQ(got, 0) << message;
                continue;
            }
            EXPECT_EQ(got, INTFXML_ERR_MALFORMED);
            EXPECT_NE(message.find("line 2, column "), std::string::npos) << message;
            EXPECT_NE(message.find(c.told), std::string::npos) << message;
        }
    }
}

TEST(XmlCurves, RecordsThatContradictTheirArraysAreNotWritten) {
    QelCurvedata s = SplineRec(3);
    s.spline.count = 4; // one more than the arrays hold
    EXPECT_EQ(xmltest::ErrorOf([&] { xmltest::WriteInRoot([&] { IntfXmlCurve(&s, nullptr); }); }),
              INTFXML_ERR_RECORD);
    s.spline.count = 3;
    qel_curvedata_clear(&s);
    // A composite that contains itself.
    QelCurvedata c = CompositeRec({{LineRec(0, 1), 0}});
    c.composite.components[0].curve = c;
    EXPECT_EQ(xmltest::ErrorOf([&] { xmltest::WriteInRoot([&] { IntfXmlCurve(&c, nullptr); }); }),
              INTFXML_ERR_RECORD);
    xar_free(c.composite.components);
}

// ---- surfaces ---------------------------------------------------------------------------------

TEST(XmlSurfaces, TextsOfTheSurfaceKinds) {
    QelSurfaceshapedata cyl = ShapeRec(QEL_SURF_CYLINDER);
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlSurface(&cyl, QEL_SURF_CYLINDER, "Shape"); }),
              "\t<Shape>\n\t<Cylinder>\n\t<Csys>\n\t<X>1 0 0</X>\n\t<Y>0 1 0</Y>\n"
              "\t<Z>0 0 1</Z>\n\t<O>2 3 4</O>\n\t</Csys>\n\t<Radius>4.5</Radius>\n"
              "\t</Cylinder>\n\t</Shape>\n");
    // Kind 0 (no surface) has an empty element; another kind without an
    // element is refused, as it would read back as kind 0.
    EXPECT_EQ(xmltest::WriteInRoot([&] { IntfXmlSurface(&cyl, 0, "Shape"); }),
              "\t<Shape></Shape>\n");
    std::string refused;
    EXPECT_EQ(xmltest::ErrorOf([&] { xmltest::WriteInRoot([&] { IntfXmlSurface(&cyl, 35, "Shape"); }); },
                               &refused),
              INTFXML_ERR_RECORD);
    EXPECT_NE(refused.find("\"Shape\": a surface of kind 35"), std::string::npos) << refused;

    QelSurfaceshapedata spl = ShapeRec(QEL_SURF_SPLINE);
    std::string text = xmltest::WriteInRoot([&] { IntfXmlSurface(&spl, QEL_SURF_SPLINE, nullptr); });
    for (const char* part : {"<Surface>\n\t<SplSrf>\n\t<UParams size=\"3\">",
                             "<VParams size=\"4\">", "<Points size=\"12\">",
                             "<UTangents size=\"12\">", "<VTangents size=\"12\">",
                             "<UVDerivs size=\"12\">"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
    qel_surfaceshapedata_clear(QEL_SURF_SPLINE, &spl);

    QelSurfaceshapedata b = ShapeRec(QEL_SURF_BSPLINE);
    xar_free(b.bsplinesrf.weights);
    text = xmltest::WriteInRoot([&] { IntfXmlSurface(&b, QEL_SURF_BSPLINE, nullptr); });
    EXPECT_NE(text.find("\t<BsplSrf>\n\t<UVDegree>3 2</UVDegree>\n"), std::string::npos);
    EXPECT_EQ(text.find("Weights"), std::string::npos);
    qel_surfaceshapedata_clear(QEL_SURF_BSPLINE, &b);

    QelSurfaceshapedata cs = ShapeRec(QEL_SURF_CYLSPLINE);
    text = xmltest::WriteInRoot([&] { IntfXmlSurface(&cs, QEL_SURF_CYLSPLINE, nullptr); });
    EXPECT_NE(text.find("\t<CylSplSrf>\n\t<CylCsys>\n"), std::string::npos);
    EXPECT_NE(text.find("\t</CylCsys>\n\t<SplSrf>\n"), std::string::npos);
    EXPECT_EQ(text.find("<Csys>"), std::string::npos);
    qel_surfaceshapedata_clear(QEL_SURF_CYLSPLINE, &cs);
}

TEST(XmlSurfaces, EveryKindReadsBackFieldByField) {
    for (uint32_t kind : {QEL_SURF_PLANE, QEL_SURF_CYLINDER, QEL_SURF_CONE, QEL_SURF_TORUS,
                          QEL_SURF_SPLINE, QEL_SURF_FILLET, QEL_SURF_RULED, QEL_SURF_REVOLVED,
                          QEL_SURF_TABCYL, QEL_SURF_BSPLINE, QEL_SURF_CYLSPLINE}) {
        SCOPED_TRACE(kind);
        ShapeRoundTrip(kind);
    }
    // Without weights, the B-spline surface reads back without weights.
    QelSurfaceshapedata b = ShapeRec(QEL_SURF_BSPLINE);
    xar_free(b.bsplinesrf.weights);
    std::string text = xmltest::WriteInRoot([&] { IntfXmlSurface(&b, QEL_SURF_BSPLINE, nullptr); });
    SurfaceTop top(SurfaceMaker());
    xmltest::Parse(top, text);
    QelSurfaceshapedata back{};
    ASSERT_TRUE(top.child()->TakeData(&back));
    ExpectSameShape(QEL_SURF_BSPLINE, b, back);
    qel_surfaceshapedata_clear(QEL_SURF_BSPLINE, &back);
    qel_surfaceshapedata_clear(QEL_SURF_BSPLINE, &b);
}

TEST(XmlSurfaces, ASurfaceWithoutAKindKeepsTheNoKindCode) {
    SurfaceTop top(SurfaceMaker());
    xmltest::Parse(top, "<Shape></Shape>");
    EXPECT_EQ(top.child()->GetKind(), INTFXML_NO_SURFACE_KIND);
    EXPECT_EQ(top.child()->GetData(), nullptr);
}

TEST(XmlSurfaces, MalformedSurfacesAreErrorsAndLeakNothing) {
    const int M = INTFXML_ERR_MALFORMED;
    const std::string csys = "<Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z><O>0 0 0</O></Csys>";
    EXPECT_EQ(SurfaceError("<S><Cylinder>" + csys + "</Cylinder></S>"), M);
    EXPECT_EQ(SurfaceError("<S><Cylinder><Radius>2</Radius></Cylinder></S>"), M);
    EXPECT_EQ(SurfaceError("<S><Torus>" + csys + "<Radius1>2</Radius1><Radius2>z</Radius2>"
                           "</Torus></S>"),
              M);
    EXPECT_EQ(SurfaceError("<S><Plane><Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z></Csys>"
                           "</Plane></S>"),
              M);
    EXPECT_EQ(SurfaceError("<S><Sphere/></S>"), M);
    // A profile "Curve" is required.
    EXPECT_EQ(SurfaceError("<S><SrfRevolved>" + csys + "</SrfRevolved></S>"), M);
    const std::string line =
        "<Line><Start>0 0 0</Start><End>1 1 1</End></Line>";
    EXPECT_EQ(SurfaceError("<S><RuledSrf>" + csys + "<Curve1>" + line + "</Curve1></RuledSrf></S>"),
              M);
    // Spline surface lists must hold U x V items.
    const std::string uv = "<UParams size=\"2\">0 1 </UParams><VParams size=\"1\">0 </VParams>";
    const std::string two = " size=\"2\"><V>0 0 0</V><V>1 1 1</V>";
    EXPECT_EQ(SurfaceError("<S><SplSrf>" + uv + "<Points" + two + "</Points><UTangents" + two +
                           "</UTangents><VTangents" + two + "</VTangents><UVDerivs size=\"1\">"
                           "<V>0 0 0</V></UVDerivs></SplSrf></S>"),
              M);
    EXPECT_EQ(SurfaceError("<S><SplSrf>" + uv + "<Points" + two + "</Points><UTangents" + two +
                           "</UTangents><VTangents" + two + "</VTangents><UVDerivs" + two +
                           "</UVDerivs></SplSrf></S>"),
              0);
    EXPECT_EQ(SurfaceError("<S><BsplSrf><UVDegree>3</UVDegree></BsplSrf></S>"), M);
    // Truncated after a complete fillet spline.
    EXPECT_EQ(SurfaceError("<S><FilletSrf><CenSpl><Params size=\"1\">0 </Params>"
                           "<Points size=\"1\"><P>0 0 0</P></Points><Tangents size=\"1\">"
                           "<V>0 0 0</V></Tangents></CenSpl><PntSpl>"),
              INTFXML_ERR_PARSE);
    // A reader's numbers must be numbers all through.
    EXPECT_EQ(SurfaceError("<S><Cone>" + csys + "<HalfAng>" + Seq({1, 2}) + "</HalfAng></Cone></S>"),
              M);
}
