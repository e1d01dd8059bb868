// Record routines, grouped by family. Everything built here is released
// again, so AddressSanitizer's leak checker also checks the clear routines.
#include "record_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fixtures;

namespace {

// ---- curves ------------------------------------------------------------------------

TEST(CurveRoutines, GettersCheckTheKindAndTheKindGetterReadsTheLowByte) {
    QelCurvedata a = arc();
    double o[3], r = 0;
    EXPECT_EQ(qel_arcdata_get(&a, nullptr, nullptr, o, nullptr, nullptr, &r), QEL_OK);
    EXPECT_EQ(o[0], 5.0);
    EXPECT_EQ(r, 2.0);
    EXPECT_EQ(qel_linedata_get(&a, o, o), QEL_ERR_WRONG_KIND);
    EXPECT_EQ(qel_pointdata_get(nullptr, o), QEL_ERR_BAD_ARG);

    int32_t kind = 0;
    EXPECT_EQ(qel_curvedata_type_get(&a, &kind), QEL_OK);
    EXPECT_EQ(kind, 3);
    EXPECT_FALSE(qel_curvedata_is_cleared(&a));
    ASSERT_EQ(qel_curvedata_clear(&a), QEL_OK);
    EXPECT_EQ(qel_curvedata_type_get(&a, &kind), QEL_OK);
    EXPECT_EQ(kind, 255);
    EXPECT_TRUE(qel_curvedata_is_cleared(&a));
    EXPECT_TRUE(qel_curvedata_is_cleared(nullptr));

    // Kind 10 takes the record first and gives it last.
    QelCurvedata k = kind10();
    double v1[3], value = 0;
    EXPECT_EQ(qel_curvekind10_get(v1, nullptr, &value, &k), QEL_OK);
    EXPECT_EQ(value, 9.5);
    EXPECT_EQ(qel_curvekind10_init(&k, nullptr, v1, 1.0), QEL_ERR_BAD_ARG);
}

TEST(CurveRoutines, SplineParametersMustIncreaseAndExist) {
    QelCurvedata c = point(0);
    double* none = xar_of<double>({});
    QelPoint* no_pts = xar_of<QelPoint>({});
    EXPECT_EQ(qel_splinedata_init(none, no_pts, no_pts, 0, &c), QEL_ERR_BAD_ARG);

    double* rep = xar_of({0.0, 1.0, 1.0, 2.0});
    QelPoint* pts = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(2, 0, 0), pt(3, 0, 0)});
    EXPECT_EQ(qel_splinedata_init(rep, pts, pts, 4, &c), QEL_ERR_BAD_ARG);
    EXPECT_EQ(c.kind, uint32_t(QEL_CURVE_POINT)); // left as it was
    EXPECT_EQ(qel_splinedata_init(rep, pts, pts, 3, &c), QEL_ERR_BAD_ARG); // count mismatch

    double* flat = xar_of({1.0, 1.0});
    QelPoint* two = xar_of({pt(0, 0, 0), pt(1, 0, 0)});
    EXPECT_EQ(qel_splinedata_init(flat, two, two, 2, &c), QEL_ERR_BAD_ARG);

    double* one = xar_of({3.0});
    QelPoint* p1 = xar_of({pt(0, 0, 0)});
    ASSERT_EQ(qel_splinedata_init(one, p1, p1, 1, &c), QEL_OK);
    double* got = nullptr;
    uint32_t n = 0;
    EXPECT_EQ(qel_splinedata_get(&c, &got, nullptr, nullptr, &n), QEL_OK);
    ASSERT_EQ(xar_count(got), 1);
    EXPECT_NE(got, c.spline.params); // a copy
    EXPECT_EQ(got[0], 3.0);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);
    for (void* a : {(void*)none, (void*)no_pts, (void*)rep, (void*)pts, (void*)flat, (void*)two,
                    (void*)one, (void*)p1, (void*)got})
        xar_free(&a);
}

struct BsplineArrays {
    double* knots;
    QelPoint* points;
    ~BsplineArrays() {
        xar_free(knots);
        xar_free(points);
    }
};

BsplineArrays cubic_net(std::initializer_list<double> knots, int npoints) {
    std::vector<QelPoint> pts;
    for (int i = 0; i < npoints; ++i)
        pts.push_back(pt(i, i % 2, 0));
    return BsplineArrays{xar_of(knots), xar_of(pts)};
}

TEST(CurveRoutines, BsplineInitStatusesAndCompleteRecords) {
    // Degree 4 with clamped ends: -41 with every field in place.
    BsplineArrays a = cubic_net({0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, 5);
    QelCurvedata c{};
    ASSERT_EQ(qel_bsplinedata_init(4, a.knots, nullptr, a.points, 10, 5, &c),
              QEL_ERR_BSPL_DEGREE);
    EXPECT_EQ(c.bspline.degree, 4);
    EXPECT_EQ(xar_count(c.bspline.knots), 10);
    EXPECT_EQ(xar_count(c.bspline.points), 5);
    EXPECT_EQ(c.bspline.weights, nullptr);
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);

    // Degree 3, unclamped: -42, filled.
    BsplineArrays u = cubic_net({0, 1, 2, 3, 4, 5, 6, 7}, 4);
    ASSERT_EQ(qel_bsplinedata_init(3, u.knots, nullptr, u.points, 8, 4, &c),
              QEL_ERR_BSPL_UNCLAMPED);
    EXPECT_EQ(xar_count(c.bspline.points), 4);
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);

    // Refused before anything is written.
    EXPECT_EQ(qel_bsplinedata_init(3, u.knots, nullptr, u.points, 7, 4, &c), QEL_ERR_BAD_ARG);
    double* w = xar_of({1.0, 1.0});
    EXPECT_EQ(qel_bsplinedata_init(3, u.knots, w, u.points, 8, 4, &c), QEL_ERR_BAD_ARG);
    xar_free(w);
    EXPECT_TRUE(qel_curvedata_is_cleared(&c));

    // Degree 0 and knots out of order: -2 with a record that clears cleanly.
    EXPECT_EQ(qel_bsplinedata_init(0, u.knots, nullptr, u.points, 8, 4, &c), QEL_ERR_BAD_ARG);
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);
    BsplineArrays bad = cubic_net({0, 0, 0, 0, 2, 1, 1, 1}, 4);
    EXPECT_EQ(qel_bsplinedata_init(3, bad.knots, nullptr, bad.points, 8, 4, &c),
              QEL_ERR_BAD_ARG);
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);

    QelCurvedata r = bspline(true);
    int32_t deg = -1;
    double *k = nullptr, *wt = nullptr;
    EXPECT_EQ(qel_bsplinedata_get(&r, &deg, &k, &wt, nullptr, nullptr, nullptr), QEL_OK);
    EXPECT_EQ(deg, 3);
    EXPECT_EQ(xar_count(wt), 5);
    xar_free(k);
    xar_free(wt);
    EXPECT_EQ(qel_curvedata_clear(&r), QEL_OK);
}

TEST(CurveRoutines, SpanCheckCountsInSignedArithmetic) {
    QelCurvedata c{};
    c.bspline.kind = QEL_CURVE_BSPLINE;
    c.bspline.degree = 3;
    c.bspline.knots = xar_of({0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0}); // 7 < 2*3+2
    EXPECT_EQ(qel_bsplinedata_spans_check(&c), QEL_ERR_BAD_ARG);
    double extra = 1.0;
    xar_append(c.bspline.knots, 1, &extra); // 8: no span to test
    EXPECT_EQ(qel_bsplinedata_spans_check(&c), QEL_OK);
    xar_free(c.bspline.knots);
    c.bspline.knots = xar_of({0.0, 0.0, 0.0, 0.0, 0.5, 0.5, 1.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(qel_bsplinedata_spans_check(&c), QEL_ERR_BAD_ARG); // empty inner span
    c.bspline.degree = 40; // far more than the knots: no wrap-around
    EXPECT_EQ(qel_bsplinedata_spans_check(&c), QEL_ERR_BAD_ARG);

    // A curve failing the check is still stored by qel_curvedata_set.
    c.bspline.degree = 3;
    QelCurvedata dst{};
    EXPECT_EQ(qel_curvedata_set(&c, &dst), QEL_ERR_BSPL_SPANS);
    EXPECT_EQ(dst.bspline.knots, c.bspline.knots);
    xar_free(c.bspline.knots);
}

// ---- surface shapes -------------------------------------------------------------------

TEST(ShapeRoutines, ProfileKindsAndSpanStatuses) {
    QelSurfaceshapedata s{};
    QelCurvedata p = point(1), l = line(0, 1), q = point(2);
    EXPECT_EQ(qel_srfrevdata_init(nullptr, nullptr, nullptr, nullptr, &p, &s),
              QEL_ERR_PROFILE_KIND);
    EXPECT_EQ(qel_rulsrfdata_init(nullptr, nullptr, nullptr, nullptr, &p, &q, &s),
              QEL_ERR_PROFILE_KIND);
    QelCurvedata k10 = kind10();
    EXPECT_EQ(qel_rulsrfdata_init(nullptr, nullptr, nullptr, nullptr, &k10, &l, &s),
              QEL_ERR_PROFILE_KIND);
    const double e1[3] = {1, 0, 0};
    ASSERT_EQ(qel_rulsrfdata_init(e1, nullptr, nullptr, nullptr, &p, &l, &s), QEL_OK);
    EXPECT_EQ(s.rulsrf.frame.e1[0], 1.0);
    EXPECT_EQ(s.rulsrf.frame.e2[1], 0.0); // null vector written as zeros

    // A B-spline profile failing the span check fills the shape and says -43.
    QelCurvedata b = bspline();
    b.bspline.knots[4] = 0.0; // first inner span becomes empty
    EXPECT_EQ(qel_srfrevdata_init(nullptr, nullptr, nullptr, nullptr, &b, &s), QEL_ERR_BSPL_SPANS);
    EXPECT_EQ(s.srfrev.profile.bspline.knots, b.bspline.knots);
    EXPECT_EQ(qel_surfaceshapedata_clear(QEL_SURF_REVOLVED, &s), QEL_OK);

    const uint32_t deg[2] = {1, 1};
    EXPECT_EQ(qel_bsplinesrfdata_init(nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, &s),
              QEL_ERR_BAD_ARG);
    EXPECT_EQ(qel_bsplinesrfdata_init(deg, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr),
              QEL_ERR_BAD_ARG);
}

TEST(ShapeRoutines, BsplineSurfaceArraysAreCopiedAndFreedInTheirOwnForm) {
    // A control net kept as chunked arrays (as for very large nets).
    void* wts = har_alloc(int(sizeof(double)), 2);
    void* cps = har_alloc(int(sizeof(QelPoint)), 2);
    for (int i = 0; i < 5; ++i) {
        const double w = 1.0 + i;
        const QelPoint p = pt(i, 0, 0);
        har_append(&wts, &w);
        har_append(&cps, &p);
    }
    double* uk = xar_of({0.0, 0.0, 1.0, 1.0});
    const uint32_t deg[2] = {1, 1};
    QelSurfaceshapedata s{};
    ASSERT_EQ(qel_bsplinesrfdata_init(deg, uk, uk, static_cast<double*>(wts),
                                      static_cast<QelPoint*>(cps), 4, 4, 5, &s),
              QEL_OK);
    EXPECT_EQ(har_total(s.bsplinesrf.points), 5);
    double* w2 = nullptr;
    QelPoint* p2 = nullptr;
    ASSERT_EQ(qel_bsplinesrfdata_get(&s, nullptr, nullptr, nullptr, &w2, &p2, nullptr, nullptr,
                                     nullptr),
              QEL_OK);
    EXPECT_EQ(har_total(w2), 5);
    EXPECT_EQ(*static_cast<double*>(har_access(w2, 4, nullptr, nullptr)), 5.0);
    har_free(w2);
    har_free(p2);
    EXPECT_EQ(qel_surfaceshapedata_clear(QEL_SURF_BSPLINE, &s), QEL_OK);
    EXPECT_EQ(s.bsplinesrf.points, nullptr);
    har_free(&wts);
    har_free(&cps);
    xar_free(uk);
}

// ---- faces, contours, stamps ---------------------------------------------------------------

TEST(FaceRoutines, InitGetContoursAndStamps) {
    QelSurfaceshapedata shape{};
    const double o[3] = {0, 0, 7};
    ASSERT_EQ(qel_planedata_init(nullptr, nullptr, nullptr, o, &shape), QEL_OK);
    QelSurfacedata f{};
    f.xyz_max[0] = 99; // init clears the whole record
    const double uv0[2] = {0, 0}, uv1[2] = {1, 2};
    ASSERT_EQ(qel_surfacedata_init(QEL_SURF_PLANE, uv0, uv1, -1, &shape, 12, &f), QEL_OK);
    EXPECT_EQ(f.xyz_max[0], 0.0);
    EXPECT_FALSE(qel_stamp_valid(&f.stamp));

    QelContourdata c1{}, c2{};
    int32_t* ids1 = xar_of({1, 2, 3});
    int32_t* ids2 = xar_of({4});
    ASSERT_EQ(qel_contourdata_edges_set(&c1, ids1), QEL_OK);
    ASSERT_EQ(qel_contourdata_edges_set(&c2, ids2), QEL_OK);
    ASSERT_EQ(qel_contourdata_traversal_set(QEL_TRAV_EXTERNAL, &c1), QEL_OK);
    QelContourdata* loops = xar_of({c1, c2});
    ASSERT_EQ(qel_surfacedata_contours_set(&f, loops), QEL_OK);
    xar_free(loops);

    uint32_t trav = 0;
    EXPECT_EQ(qel_intf_data_accuracytype_get(&f.contours[0], &trav), QEL_OK);
    EXPECT_EQ(trav, 1u);
    int32_t* handle = nullptr;
    EXPECT_EQ(qel_intf_data_accuracy_get(&f.contours[0], &handle), QEL_OK);
    EXPECT_EQ(handle, f.contours[0].edge_ids); // the handle itself

    // Replace the loops, keeping the first one: the second's ids go away
    // with the old array (the leak checker sees the rest).
    QelContourdata* got = nullptr;
    ASSERT_EQ(qel_surfacedata_contours_get(&f, &got), QEL_OK);
    ASSERT_EQ(xar_remove(got, 1, 1), QEL_OK);
    ASSERT_EQ(qel_surfacedata_contours_set(&f, got), QEL_OK);
    xar_free(got);
    EXPECT_EQ(xar_count(f.contours), 1);
    EXPECT_EQ(xar_count(f.contours[0].edge_ids), 3);

    uint32_t id = 0;
    EXPECT_EQ(qel_surfacedata_get(&f, nullptr, nullptr, nullptr, nullptr, nullptr, &id), QEL_OK);
    EXPECT_EQ(id, 12u);
    qel_stamp_set(&f.stamp);
    qel_stamp_id_set(&f.stamp, 55);
    EXPECT_EQ(qel_surfacedata_get(&f, nullptr, nullptr, nullptr, nullptr, nullptr, &id), QEL_OK);
    EXPECT_EQ(id, 55u);

#if defined(ZPI_TEST_HOOKS)
    // With the switch on, init stamps and contours reach the copy too.
    QelRecordTestHooks::SetStamping(1);
    QelSurfacedata g{};
    ASSERT_EQ(qel_surfacedata_init(QEL_SURF_PLANE, nullptr, nullptr, 0, &shape, 8, &g), QEL_OK);
    QelRecordTestHooks::SetStamping(0);
    EXPECT_EQ(qel_stamp_id_get(&g.stamp), 8u);
    QelContourdata* one = xar_of<QelContourdata>({QelContourdata{}});
    ASSERT_EQ(qel_surfacedata_contours_set(&g, one), QEL_OK);
    EXPECT_EQ(g.contour_copy, g.contours);
    xar_free(one);
    EXPECT_EQ(qel_surfacedata_clear(&g), QEL_OK);
    EXPECT_EQ(g.contour_copy, nullptr);
#endif

    EXPECT_EQ(qel_surfacedata_clear(&f), QEL_OK);
    xar_free(ids1);
    xar_free(ids2);
}

// ---- the root ---------------------------------------------------------------------------------

TEST(RootRoutines, IndexedGettersAcceptOnlyIndexesInsideTheArray) {
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    QelEdgedata* e = nullptr;
    int32_t n = -1;
    EXPECT_EQ(qel_intf_data_edge_count(root, &n), QEL_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(qel_intf_data_edge_get(root, 0, &e), QEL_ERR_BAD_ARG); // no array

    const uint32_t faces[2] = {1, 2}, dirs[2] = {0, 1};
    for (uint32_t id = 0; id < 7; ++id) {
        QelEdgedata rec{};
        ASSERT_EQ(qel_edgedata_init(id, faces, dirs, nullptr, nullptr, nullptr, &rec), QEL_OK);
        ASSERT_EQ(qel_intf_data_edge_append(root, &rec), QEL_OK);
    }
    EXPECT_EQ(qel_intf_data_edge_count(root, &n), QEL_OK);
    EXPECT_EQ(n, 7);
    EXPECT_EQ(qel_intf_data_edge_get(root, 7, &e), QEL_ERR_BAD_ARG);
    EXPECT_EQ(qel_intf_data_edge_get(root, -1, &e), QEL_ERR_BAD_ARG);
    ASSERT_EQ(qel_intf_data_edge_get(root, 6, &e), QEL_OK);
    EXPECT_EQ(e->id, 6u);
    EXPECT_EQ(qel_data_free(e), QEL_OK);

    ASSERT_EQ(qel_curvedata_type_set(root, QEL_ACCURACY_ABSOLUTE), QEL_OK);
    ASSERT_EQ(qel_intf_data_accuracy_set(root, 0.01), QEL_OK);
    uint32_t type = 0;
    double acc = 0;
    EXPECT_EQ(qel_intf_data_accuracytype_get(root, &type), QEL_OK);
    EXPECT_EQ(qel_intf_data_accuracy_get(root, &acc), QEL_OK);
    EXPECT_EQ(type, 2u);
    EXPECT_EQ(acc, 0.01);
    EXPECT_EQ(qel_intf_data_free(root), QEL_OK);
}

// ---- edges and datums ---------------------------------------------------------------------------

TEST(EdgeRoutines, InitCopiesCurvesAndGetGivesClearedCurvesForMissingOnes) {
    QelCurvedata xyz = spline({0.0, 1.0});
    const uint32_t faces[2] = {3, 4}, dirs[2] = {1, 0};
    QelUvSample* uv = xar_of({QelUvSample{{0, 0}, {1, 1}}});
    QelEdgedata e{};
    EXPECT_EQ(qel_edgedata_init(1, nullptr, dirs, nullptr, nullptr, &xyz, &e), QEL_ERR_BAD_ARG);
    ASSERT_EQ(qel_edgedata_init(1, faces, dirs, uv, nullptr, &xyz, &e), QEL_OK);
    EXPECT_NE(e.xyz_curve, &xyz);
    EXPECT_EQ(e.xyz_curve->spline.params, xyz.spline.params); // taken over
    EXPECT_NE(e.uv_points, uv);

    QelCurvedata b1{}, b2{}, bx{};
    b1.kind = 1;
    QelCurvedata* uvc[2] = {&b1, nullptr};
    uint32_t f[2] = {};
    ASSERT_EQ(qel_edgedata_get(&e, nullptr, f, nullptr, nullptr, uvc, &bx), QEL_OK);
    EXPECT_EQ(f[1], 4u);
    EXPECT_TRUE(qel_curvedata_is_cleared(&b1));
    EXPECT_EQ(b1.spline.params, nullptr); // zeros
    EXPECT_EQ(bx.kind, uint32_t(QEL_CURVE_SPLINE));
    EXPECT_EQ(b2.kind, 0u); // skipped

    EXPECT_EQ(qel_edgedata_clear(&e), QEL_OK);
    EXPECT_EQ(e.xyz_curve, nullptr);
    xar_free(uv);
}

TEST(DatumRoutines, TypesNamesAndBodies) {
    QelDatumdata* d = nullptr;
    ASSERT_EQ(qel_datumdata_alloc(&d), QEL_OK);
    EXPECT_EQ(d->type, QEL_DATUM_UNSET);

    QelDatumbody body{};
    body.frame.origin[2] = 4;
    const char16_t* long_name = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd"; // 40
    EXPECT_EQ(qel_datumdata_init(9, 99, u"D", &body, d), QEL_ERR_BAD_ARG);
    EXPECT_EQ(d->type, QEL_DATUM_UNSET); // kept
    EXPECT_EQ(d->id, 9u);
    EXPECT_EQ(d->name[0], u'D');
    EXPECT_EQ(d->body.frame.origin[2], 4.0);

    ASSERT_EQ(qel_datumdata_init(10, QEL_DATUM_PLANE, long_name, &body, d), QEL_OK);
    EXPECT_EQ(std::memcmp(d->name, long_name, 32 * sizeof(char16_t)), 0);
    EXPECT_EQ(d->name[31], u'5'); // no terminator inside the field
    char16_t name[32];
    QelFrame fr{};
    EXPECT_EQ(qel_datumdata_get(d, nullptr, nullptr, name, nullptr), QEL_OK);
    EXPECT_EQ(name[31], u'5');
    EXPECT_EQ(qel_datumdata_frame_get(&d->body, &fr), QEL_OK);
    EXPECT_EQ(fr.origin[2], 4.0);

    d->type = 99;
    EXPECT_EQ(qel_datumdata_free(d), QEL_ERR_BAD_ARG); // unknown type: kept allocated
    d->type = QEL_DATUM_CURVE;
    d->body.curve = bspline();
    EXPECT_EQ(qel_datumdata_free(d), QEL_OK);
}

// ---- clear and free -------------------------------------------------------------------------------

TEST(ClearRoutines, CompositeStopsAtAFailingComponentAndKeepsItsArray) {
    QelCurvedata c = composite();
    QelComponentcurvedata extra{};
    // A component array of elements of another size: cannot be cleared.
    extra.curve.kind = QEL_CURVE_COMPOSITE;
    extra.curve.composite.components = static_cast<QelComponentcurvedata*>(xar_alloc(1, 8, 1));
    xar_append(c.composite.components, 1, &extra);
    std::swap(c.composite.components[1], c.composite.components[2]);

    QelComponentcurvedata* comps = c.composite.components;
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_ERR_BAD_ARG);
    EXPECT_EQ(c.kind, uint32_t(QEL_CURVE_COMPOSITE));
    EXPECT_EQ(c.composite.components, comps);
    EXPECT_TRUE(qel_curvedata_is_cleared(&comps[0].curve));
    EXPECT_EQ(comps[2].curve.kind, uint32_t(QEL_CURVE_SPLINE));

    xar_free(comps[1].curve.composite.components); // repaired: the clear completes
    comps[1].curve.kind = QEL_CURVE_POINT;
    EXPECT_EQ(qel_curvedata_clear(&c), QEL_OK);
    EXPECT_TRUE(qel_curvedata_is_cleared(&c));

    // Curves nested in themselves are refused rather than followed.
    QelCurvedata* loop = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&loop), QEL_OK);
    loop->kind56.kind = QEL_CURVE_KIND56;
    loop->kind56.curve = loop;
    EXPECT_EQ(qel_curvedata_free(loop), QEL_ERR_BAD_ARG);
    loop->kind = QEL_CURVE_POINT;
    EXPECT_EQ(qel_curvedata_free(loop), QEL_OK);
}

TEST(ClearRoutines, QuiltsOwnTheirFacesAndKind40And56OwnTheirBlocks) {
    QelQuiltdata* q = nullptr;
    ASSERT_EQ(qel_contourdata_alloc(reinterpret_cast<QelContourdata**>(&q)), QEL_OK);
    ASSERT_EQ(qel_contourdata_traversal_set(31, q), QEL_OK);
    EXPECT_EQ(q->id, 31u);
    std::vector<QelSurfacedata*> faces;
    for (int i = 0; i < 3; ++i) {
        QelSurfacedata* f = nullptr;
        ASSERT_EQ(qel_surfacedata_alloc(&f), QEL_OK);
        QelSurfaceshapedata s{};
        s.srfrev.profile = spline({0.0, 1.0});
        ASSERT_EQ(qel_surfacedata_init(QEL_SURF_TABCYL, nullptr, nullptr, 1, &s, i, f), QEL_OK);
        faces.push_back(f);
    }
    QelSurfacedata** arr = xar_of(faces);
    ASSERT_EQ(qel_quiltdata_surfaces_set(q, arr), QEL_OK);
    xar_free(arr);
    EXPECT_EQ(qel_quiltdata_free(q), QEL_OK);

    QelCurvedata* inner = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&inner), QEL_OK);
    inner->kind40.kind = QEL_CURVE_KIND40;
    inner->kind40.block = getmem(64);
    QelCurvedata* outer = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&outer), QEL_OK);
    outer->kind56.kind = QEL_CURVE_KIND56;
    outer->kind56.curve = inner;
    EXPECT_EQ(qel_curvedata_free(outer), QEL_OK);

    // Without an owned curve there is nothing to free: the clear succeeds,
    // so an edge or a datum holding such a curve can be released whole.
    QelCurvedata* bare = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&bare), QEL_OK);
    bare->kind56.kind = QEL_CURVE_KIND56;
    bare->kind56.word = 7;
    EXPECT_EQ(qel_curvedata_clear(bare), QEL_OK);
    EXPECT_TRUE(qel_curvedata_is_cleared(bare));
    bare->kind56.kind = QEL_CURVE_KIND56;
    QelEdgedata* edge = nullptr;
    ASSERT_EQ(qel_edgedata_alloc(&edge), QEL_OK);
    edge->xyz_curve = bare;
    EXPECT_EQ(qel_edgedata_free(edge), QEL_OK); // the leak checker sees the rest
}

TEST(ClearRoutines, AsmBasicInfoCleanReleasesNestedRecordsOnce) {
    auto make = [](uint32_t type) {
        auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
        info->type = type;
        return info;
    };
    qel_model_basic_info* root = make(1);
    qel_model_basic_info* sub = make(2);
    qel_model_basic_info* leaf = make(3);
    qel_model_component_info c{};
    c.sub = leaf;
    sub->components = xar_of({c});
    c.sub = sub;
    qel_model_component_info none{};
    // `sub` is placed twice (two instances of one sub-assembly) and one of
    // its components leads back to the root: each record goes exactly once
    // (AddressSanitizer would report a second free, the leak checker a
    // record left behind) and the root itself stays.
    qel_model_component_info back{};
    back.sub = root;
    xar_append(sub->components, 1, &back);
    root->components = xar_of({c, none, c});

    EXPECT_EQ(QelAsmBasicInfoClean(root), QEL_OK);
    EXPECT_EQ(root->components, nullptr);
    EXPECT_EQ(root->type, 1u);
    EXPECT_EQ(QelAsmBasicInfoClean(nullptr), QEL_ERR_BAD_ARG);

    // A component array of another record size is refused unread.
    root->components = reinterpret_cast<qel_model_component_info*>(xar_of({1, 2}));
    EXPECT_EQ(QelAsmBasicInfoClean(root), QEL_ERR_BAD_ARG);
    xar_free(root->components);
    rlsmem(root);
}

} // namespace
