// Interface-data and extension records for the document tests: builders of
// a record holding every curve and surface kind, faces with contours, edges
// with UV points and curves, datums of the three kinds and quilts, a filled
// extension, and field-by-field comparisons.
#pragma once

#include "xmemory.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/records/record_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace zpifix {

using fixtures::pt;
using fixtures::xar_of;

// ---- builders --------------------------------------------------------------------------

inline QelFrame frame(double o) {
    return QelFrame{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {o, o + 0.25, -o}};
}

// A spline-surface head of 2 x 3 points.
inline QelSplinesrfdata splinesrf() {
    std::vector<QelPoint> pts, ut, vt, uv;
    for (int i = 0; i < 6; ++i) {
        pts.push_back(pt(i, i * 0.5, 1));
        ut.push_back(pt(1, 0, i));
        vt.push_back(pt(0, 1, -i));
        uv.push_back(pt(0.1 * i, 0, 0));
    }
    double* u = xar_of({0.0, 1.0});
    double* v = xar_of({0.0, 0.5, 1.0});
    QelPoint *p = xar_of(pts), *a = xar_of(ut), *b = xar_of(vt), *c = xar_of(uv);
    QelSurfaceshapedata s{};
    EXPECT_EQ(qel_splinesrfdata_init(u, v, p, a, b, c, 2, 3, &s), QEL_OK);
    for (void* arr : {(void*)u, (void*)v, (void*)p, (void*)a, (void*)b, (void*)c})
        xar_free(&arr);
    return s.splinesrf;
}

// The shape of surface kind `kind` (34, 36-38, 40-45, 48).
inline QelSurfaceshapedata shape(uint32_t kind) {
    QelSurfaceshapedata s;
    std::memset(&s, 0, sizeof s);
    const QelFrame f = frame(double(kind));
    switch (kind) {
    case QEL_SURF_PLANE:
        EXPECT_EQ(qel_planedata_init(f.e1, f.e2, f.e3, f.origin, &s), QEL_OK);
        break;
    case QEL_SURF_CYLINDER:
        EXPECT_EQ(qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, 2.5, &s), QEL_OK);
        break;
    case QEL_SURF_CONE:
        EXPECT_EQ(qel_cylinderdata_init(f.e1, f.e2, f.e3, f.origin, 0.1, &s), QEL_OK);
        break;
    case QEL_SURF_TORUS:
        EXPECT_EQ(qel_torusdata_init(f.e1, f.e2, f.e3, f.origin, 10, 1.0 / 3, &s), QEL_OK);
        break;
    case QEL_SURF_SPLINE:
        s.splinesrf = splinesrf();
        break;
    case QEL_SURF_FILLET: {
        QelCurvedata a = fixtures::spline({0.0, 1.0}), b = fixtures::spline({0.0, 2.0}),
                     c = fixtures::spline({1.0, 2.0, 3.0});
        EXPECT_EQ(qel_filsrfdata_init(&a.spline, &b.spline, &c.spline, &s), QEL_OK);
        break;
    }
    case QEL_SURF_RULED: {
        QelCurvedata a = fixtures::line(0, 1), b = fixtures::bspline(true);
        EXPECT_EQ(qel_rulsrfdata_init(f.e1, f.e2, f.e3, f.origin, &a, &b, &s), QEL_OK);
        break;
    }
    case QEL_SURF_REVOLVED: {
        QelCurvedata a = fixtures::arc();
        EXPECT_EQ(qel_srfrevdata_init(f.e1, f.e2, f.e3, f.origin, &a, &s), QEL_OK);
        break;
    }
    case QEL_SURF_TABCYL: {
        QelCurvedata a = fixtures::ellipse();
        EXPECT_EQ(qel_srfrevdata_init(f.e1, f.e2, f.e3, f.origin, &a, &s), QEL_OK);
        break;
    }
    case QEL_SURF_BSPLINE: {
        const uint32_t deg[2] = {1, 2};
        double* u = xar_of({0.0, 0.0, 1.0, 1.0});
        double* v = xar_of({0.0, 0.0, 0.0, 1.0, 1.0, 1.0});
        double* w = xar_of({1.0, 0.5, 1.0, 1.0, 0.5, 1.0});
        QelPoint* p = xar_of({pt(0, 0, 0), pt(0, 1, 1), pt(0, 2, 0), pt(1, 0, 0), pt(1, 1, 1),
                              pt(1, 2, 0)});
        EXPECT_EQ(qel_bsplinesrfdata_init(deg, u, v, w, p, 4, 6, 6, &s), QEL_OK);
        xar_free(u);
        xar_free(v);
        xar_free(w);
        xar_free(p);
        break;
    }
    case QEL_SURF_CYLSPLINE: {
        QelSplinesrfdata head = splinesrf();
        EXPECT_EQ(qel_cylsplsrfdata_init(f.e1, f.e2, f.e3, f.origin, &head, &s), QEL_OK);
        break;
    }
    default:
        ADD_FAILURE() << "no shape of kind " << kind;
    }
    return s;
}

// A new face record (free with qel_surfacedata_free) with `ncontours`
// contours of edge ids.
inline QelSurfacedata* face(uint32_t kind, uint32_t id, int32_t orient, int ncontours) {
    QelSurfacedata* f = nullptr;
    EXPECT_EQ(qel_surfacedata_alloc(&f), QEL_OK);
    QelSurfaceshapedata s = shape(kind);
    const double uvmin[2] = {-1.5, 0}, uvmax[2] = {2, 0.1};
    EXPECT_EQ(qel_surfacedata_init(kind, uvmin, uvmax, orient, &s, id, f), QEL_OK);
    const double lo[3] = {-1, -2, -3}, hi[3] = {1e-300, 2e10, 3.0 / 7};
    std::memcpy(f->xyz_min, lo, sizeof lo);
    std::memcpy(f->xyz_max, hi, sizeof hi);
    if (ncontours > 0) {
        std::vector<QelContourdata> cs;
        for (int i = 0; i < ncontours; ++i) {
            QelContourdata c{};
            c.traversal = i == 0 ? QEL_TRAV_EXTERNAL : (i == 1 ? QEL_TRAV_INTERNAL : QEL_TRAV_NONE);
            std::vector<int32_t> ids;
            for (int k = 0; k < i + 2; ++k)
                ids.push_back(int32_t(id * 100 + uint32_t(k)));
            if (i != 2)
                c.edge_ids = xar_of(ids);
            else
                c.edge_ids = xar_of<int32_t>({}); // a contour without edges
            cs.push_back(c);
        }
        QelContourdata* arr = xar_of(cs);
        EXPECT_EQ(qel_surfacedata_contours_set(f, arr), QEL_OK);
        xar_free(arr);
    }
    return f;
}

inline void appendFace(qel_intf_data* root, QelSurfacedata* f) {
    EXPECT_EQ(qel_intf_data_surface_append(root, f), QEL_OK);
    qel_data_free(f);
}

// An edge with the curves given (taken over; null for none).
inline void appendEdge(qel_intf_data* root, uint32_t id, int npoints, QelCurvedata* uv1,
                       QelCurvedata* uv2, QelCurvedata* xyz) {
    QelEdgedata* e = nullptr;
    EXPECT_EQ(qel_edgedata_alloc(&e), QEL_OK);
    const uint32_t faces[2] = {id + 1, id + 2}, dirs[2] = {1, uint32_t(-1)};
    QelUvSample* uv = nullptr;
    if (npoints >= 0) {
        std::vector<QelUvSample> samples;
        for (int i = 0; i < npoints; ++i)
            samples.push_back(QelUvSample{{0.1 * i, 1.0 / (i + 1)}, {-0.5 * i, 7}});
        uv = xar_of(samples);
    }
    QelCurvedata* uvs[2] = {uv1, uv2};
    EXPECT_EQ(qel_edgedata_init(id, faces, dirs, uv, uvs, xyz, e), QEL_OK);
    xar_free(uv);
    EXPECT_EQ(qel_intf_data_edge_append(root, e), QEL_OK);
    qel_data_free(e);
}

// A datum of `type`: a curve datum holds `curve` (taken over), or a
// composite when it is null.
inline void appendDatum(qel_intf_data* root, uint32_t id, int32_t type, const char16_t* name,
                        const QelCurvedata* curve = nullptr) {
    QelDatumdata* d = nullptr;
    EXPECT_EQ(qel_datumdata_alloc(&d), QEL_OK);
    QelDatumbody body;
    std::memset(&body, 0, sizeof body);
    if (type == QEL_DATUM_CURVE)
        body.curve = curve ? *curve : fixtures::composite();
    else
        body.frame = frame(id);
    EXPECT_EQ(qel_datumdata_init(id, type, name, &body, d), QEL_OK);
    EXPECT_EQ(qel_intf_data_datum_append(root, d), QEL_OK);
    qel_data_free(d);
}

inline void appendQuilt(qel_intf_data* root, uint32_t id, std::vector<QelSurfacedata*> faces) {
    QelQuiltdata* q = nullptr;
    EXPECT_EQ(qel_quiltdata_alloc(&q), QEL_OK);
    EXPECT_EQ(qel_contourdata_traversal_set(int32_t(id), q), QEL_OK);
    QelSurfacedata** arr = xar_of(faces);
    EXPECT_EQ(qel_quiltdata_surfaces_set(q, arr), QEL_OK);
    xar_free(arr);
    EXPECT_EQ(qel_intf_data_quilt_append(root, q), QEL_OK);
    qel_data_free(q);
}

inline const uint32_t kSurfaceKinds[] = {34, 36, 37, 38, 40, 41, 42, 43, 44, 45, 48};

// A composite curve one of whose components is itself composite.
inline QelCurvedata nestedComposite() {
    return fixtures::compositeOf(fixtures::arc(), fixtures::composite());
}

inline QelCurvedata* newCurve(const QelCurvedata& c) {
    auto* p = static_cast<QelCurvedata*>(getmem(sizeof(QelCurvedata)));
    std::memcpy(p, &c, sizeof c);
    return p;
}

// A whole interface data: one face of every surface kind (some with
// contours), edges with every curve kind, datums of the three kinds and two
// quilts (one empty). Free with qel_intf_data_free.
inline qel_intf_data* fullIntfData() {
    qel_intf_data* root = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    EXPECT_EQ(qel_curvedata_type_set(root, QEL_ACCURACY_ABSOLUTE), QEL_OK);
    EXPECT_EQ(qel_intf_data_accuracy_set(root, 0.001), QEL_OK);
    const double outline[6] = {-10, -20, -30, 10.5, 20.25, 1.0 / 3};
    EXPECT_EQ(qel_intf_data_outline_set(root, outline), QEL_OK);
    uint32_t id = 1;
    for (uint32_t kind : kSurfaceKinds) {
        const int32_t orient = int32_t(id % 3) - 1;
        appendFace(root, face(kind, id, orient, int(id % 4)));
        ++id;
    }
    // Edge curves: each edge owns the blocks given to it.
    QelCurvedata curves[] = {fixtures::point(1),       fixtures::line(0, 2),
                             fixtures::arc(),          fixtures::ellipse(),
                             fixtures::spline({0.0, 0.5, 1.0}), fixtures::bspline(false),
                             fixtures::bspline(true),  fixtures::composite(),
                             nestedComposite()};
    uint32_t eid = 100;
    for (const QelCurvedata& c : curves) {
        QelCurvedata uv1 = fixtures::line(0, 1);
        appendEdge(root, eid++, 3, &uv1, nullptr, const_cast<QelCurvedata*>(&c));
    }
    appendEdge(root, eid++, -1, nullptr, nullptr, nullptr); // no points, no curves
    {
        QelCurvedata uv2 = fixtures::spline({0.0, 1.0});
        appendEdge(root, eid++, 0, nullptr, &uv2, nullptr); // empty points, UV curve 2 only
    }
    {
        QelCurvedata a = fixtures::line(1, 2), b = fixtures::arc(), x = fixtures::bspline(true);
        appendEdge(root, eid++, 5, &a, &b, &x);
    }
    appendDatum(root, 200, QEL_DATUM_CURVE, u"curve datum");
    appendDatum(root, 201, QEL_DATUM_PLANE, u"A&B > \"pl<ane\"");
    appendDatum(root, 202, QEL_DATUM_CSYS, u"\u00e9t\u00e9 \U0001F600");
    appendQuilt(root, 300, {face(QEL_SURF_PLANE, 301, 1, 2), face(QEL_SURF_BSPLINE, 302, -1, 0)});
    appendQuilt(root, 310, {});
    return root;
}

// ---- comparisons ------------------------------------------------------------------------

// Two xar arrays hold the same elements, byte for byte.
inline void expectSameArray(const void* a, const void* b, const char* what) {
    ASSERT_EQ(a == nullptr, b == nullptr) << what;
    if (!a)
        return;
    ASSERT_EQ(xar_count(a), xar_count(b)) << what;
    ASSERT_EQ(xar_elem_size(a), xar_elem_size(b)) << what;
    EXPECT_EQ(std::memcmp(a, b, size_t(xar_count(a)) * size_t(xar_elem_size(a))), 0) << what;
}

// An empty array and no array are the same list.
inline void expectSameList(const void* a, const void* b, const char* what) {
    if (xar_count(a) == 0 && xar_count(b) == 0)
        return;
    expectSameArray(a, b, what);
}

// The same numbers; a NaN is the same as a NaN of its sign.
inline void expectSameDoubles(const double* a, const double* b, int n, const char* what) {
    for (int i = 0; i < n; ++i) {
        if (!(std::isnan(a[i]) && std::isnan(b[i]) && std::signbit(a[i]) == std::signbit(b[i]))) {
            EXPECT_EQ(a[i], b[i]) << what << "[" << i << "]";
        }
    }
}

inline void expectSameSpline(const QelSplinedata& a, const QelSplinedata& b) {
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.count, b.count);
    expectSameArray(a.params, b.params, "spline params");
    expectSameArray(a.points, b.points, "spline points");
    expectSameArray(a.tangents, b.tangents, "spline tangents");
}

inline void expectSameCurve(const QelCurvedata& a, const QelCurvedata& b) {
    ASSERT_EQ(a.kind, b.kind);
    switch (a.kind) {
    case QEL_CURVE_POINT:
        expectSameDoubles(a.point.point, b.point.point, 3, "point");
        break;
    case QEL_CURVE_LINE:
        expectSameDoubles(a.line.end1, b.line.end1, 3, "line end1");
        expectSameDoubles(a.line.end2, b.line.end2, 3, "line end2");
        break;
    case QEL_CURVE_ARC:
        expectSameDoubles(a.arc.vector1, b.arc.vector1, 3, "arc v1");
        expectSameDoubles(a.arc.vector2, b.arc.vector2, 3, "arc v2");
        expectSameDoubles(a.arc.origin, b.arc.origin, 3, "arc origin");
        EXPECT_EQ(a.arc.start_angle, b.arc.start_angle);
        EXPECT_EQ(a.arc.end_angle, b.arc.end_angle);
        EXPECT_EQ(a.arc.radius, b.arc.radius);
        break;
    case QEL_CURVE_ELLIPSE:
        EXPECT_EQ(std::memcmp(&a.ellipse, &b.ellipse, sizeof a.ellipse), 0) << "ellipse";
        break;
    case QEL_CURVE_SPLINE:
        expectSameSpline(a.spline, b.spline);
        break;
    case QEL_CURVE_BSPLINE:
        EXPECT_EQ(a.bspline.degree, b.bspline.degree);
        EXPECT_EQ(a.bspline.knot_count, b.bspline.knot_count);
        EXPECT_EQ(a.bspline.point_count, b.bspline.point_count);
        expectSameArray(a.bspline.knots, b.bspline.knots, "bspline knots");
        expectSameArray(a.bspline.weights, b.bspline.weights, "bspline weights");
        expectSameArray(a.bspline.points, b.bspline.points, "bspline points");
        break;
    case QEL_CURVE_COMPOSITE: {
        const int n = xar_count(a.composite.components);
        ASSERT_EQ(n, xar_count(b.composite.components));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(a.composite.components[i].direction, b.composite.components[i].direction);
            expectSameCurve(a.composite.components[i].curve, b.composite.components[i].curve);
        }
        break;
    }
    default:
        ADD_FAILURE() << "curve kind " << a.kind;
    }
}

inline void expectSameFrame(const QelFrame& a, const QelFrame& b) {
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "frame";
}

inline void expectSameSplinesrf(const QelSplinesrfdata& a, const QelSplinesrfdata& b) {
    EXPECT_EQ(a.u_count, b.u_count);
    EXPECT_EQ(a.v_count, b.v_count);
    expectSameArray(a.u_params, b.u_params, "u params");
    expectSameArray(a.v_params, b.v_params, "v params");
    expectSameArray(a.points, b.points, "points");
    expectSameArray(a.u_tangents, b.u_tangents, "u tangents");
    expectSameArray(a.v_tangents, b.v_tangents, "v tangents");
    expectSameArray(a.mixed_derivs, b.mixed_derivs, "mixed derivatives");
}

inline void expectSameShape(uint32_t kind, const QelSurfaceshapedata& a,
                            const QelSurfaceshapedata& b) {
    switch (kind) {
    case 0: // no surface
        break;
    case QEL_SURF_PLANE:
        expectSameFrame(a.plane.frame, b.plane.frame);
        break;
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE:
        expectSameFrame(a.cylinder.frame, b.cylinder.frame);
        EXPECT_EQ(a.cylinder.scalar, b.cylinder.scalar);
        break;
    case QEL_SURF_TORUS:
        expectSameFrame(a.torus.frame, b.torus.frame);
        EXPECT_EQ(a.torus.radius1, b.torus.radius1);
        EXPECT_EQ(a.torus.radius2, b.torus.radius2);
        break;
    case QEL_SURF_SPLINE:
        expectSameSplinesrf(a.splinesrf, b.splinesrf);
        break;
    case QEL_SURF_FILLET:
        expectSameSpline(a.filsrf.point_spline, b.filsrf.point_spline);
        expectSameSpline(a.filsrf.center_spline, b.filsrf.center_spline);
        expectSameSpline(a.filsrf.tangent_spline, b.filsrf.tangent_spline);
        break;
    case QEL_SURF_RULED:
        expectSameFrame(a.rulsrf.frame, b.rulsrf.frame);
        expectSameCurve(a.rulsrf.curve1, b.rulsrf.curve1);
        expectSameCurve(a.rulsrf.curve2, b.rulsrf.curve2);
        break;
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL:
        expectSameFrame(a.srfrev.frame, b.srfrev.frame);
        expectSameCurve(a.srfrev.profile, b.srfrev.profile);
        break;
    case QEL_SURF_BSPLINE:
        EXPECT_EQ(a.bsplinesrf.u_degree, b.bsplinesrf.u_degree);
        EXPECT_EQ(a.bsplinesrf.v_degree, b.bsplinesrf.v_degree);
        EXPECT_EQ(a.bsplinesrf.u_knot_count, b.bsplinesrf.u_knot_count);
        EXPECT_EQ(a.bsplinesrf.v_knot_count, b.bsplinesrf.v_knot_count);
        EXPECT_EQ(a.bsplinesrf.point_count, b.bsplinesrf.point_count);
        expectSameArray(a.bsplinesrf.u_knots, b.bsplinesrf.u_knots, "u knots");
        expectSameArray(a.bsplinesrf.v_knots, b.bsplinesrf.v_knots, "v knots");
        expectSameArray(a.bsplinesrf.weights, b.bsplinesrf.weights, "weights");
        expectSameArray(a.bsplinesrf.points, b.bsplinesrf.points, "control points");
        break;
    case QEL_SURF_CYLSPLINE:
        expectSameFrame(a.cylsplsrf.frame, b.cylsplsrf.frame);
        expectSameSplinesrf(a.cylsplsrf.splinesrf, b.cylsplsrf.splinesrf);
        break;
    default:
        ADD_FAILURE() << "surface kind " << kind;
    }
}

inline void expectSameFace(const QelSurfacedata& a, const QelSurfacedata& b) {
    EXPECT_EQ(a.id, b.id);
    ASSERT_EQ(a.kind, b.kind) << "face " << a.id;
    EXPECT_EQ(a.orientation, b.orientation);
    expectSameDoubles(a.uv_min, b.uv_min, 2, "uv min");
    expectSameDoubles(a.uv_max, b.uv_max, 2, "uv max");
    expectSameDoubles(a.xyz_min, b.xyz_min, 3, "xyz min");
    expectSameDoubles(a.xyz_max, b.xyz_max, 3, "xyz max");
    expectSameShape(a.kind, a.shape, b.shape);
    const int n = xar_count(a.contours);
    ASSERT_EQ(n, xar_count(b.contours)) << "face " << a.id;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(a.contours[i].traversal, b.contours[i].traversal);
        expectSameList(a.contours[i].edge_ids, b.contours[i].edge_ids, "edge ids");
    }
}

inline void expectSameOptionalCurve(const QelCurvedata* a, const QelCurvedata* b) {
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (a)
        expectSameCurve(*a, *b);
}

inline void expectSameQuilt(const QelQuiltdata& a, const QelQuiltdata& b) {
    EXPECT_EQ(a.id, b.id);
    const int n = xar_count(a.faces);
    ASSERT_EQ(n, xar_count(b.faces)) << "quilt " << a.id;
    for (int k = 0; k < n; ++k)
        expectSameFace(*a.faces[k], *b.faces[k]);
}

inline void expectSameEdge(const QelEdgedata& a, const QelEdgedata& b) {
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.face_ids[0], b.face_ids[0]);
    EXPECT_EQ(a.face_ids[1], b.face_ids[1]);
    EXPECT_EQ(a.directions[0], b.directions[0]);
    EXPECT_EQ(a.directions[1], b.directions[1]);
    expectSameArray(a.uv_points, b.uv_points, "uv points");
    expectSameOptionalCurve(a.uv_curve1, b.uv_curve1);
    expectSameOptionalCurve(a.uv_curve2, b.uv_curve2);
    expectSameOptionalCurve(a.xyz_curve, b.xyz_curve);
}

inline void expectSameDatum(const QelDatumdata& a, const QelDatumdata& b) {
    EXPECT_EQ(a.id, b.id);
    ASSERT_EQ(a.type, b.type);
    EXPECT_EQ(std::memcmp(a.name, b.name, sizeof a.name), 0) << "datum name";
    if (a.type == QEL_DATUM_CURVE)
        expectSameCurve(a.body.curve, b.body.curve);
    else
        expectSameFrame(a.body.frame, b.body.frame);
}

// Entry i of a har.
template <class T> T& at(void* har, int i) {
    return *static_cast<T*>(har_access(har, i, nullptr, nullptr));
}

// The two root arrays hold the same records, in the same order.
template <class T> void expectSameEntries(void* a, void* b, void (*same)(const T&, const T&)) {
    ASSERT_EQ(har_total(a), har_total(b));
    for (int i = 0; i < har_total(a); ++i)
        same(at<T>(a, i), at<T>(b, i));
}

// The two roots hold the same accuracy, outline, faces, quilts, edges and
// datums, in the same order.
inline void expectSameIntfData(const qel_intf_data* a, const qel_intf_data* b) {
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->accuracy_type, b->accuracy_type);
    expectSameDoubles(&a->accuracy, &b->accuracy, 1, "accuracy");
    expectSameDoubles(a->outline, b->outline, 6, "outline");
    expectSameEntries<QelSurfacedata>(a->surfaces, b->surfaces, expectSameFace);
    expectSameEntries<QelQuiltdata>(a->quilts, b->quilts, expectSameQuilt);
    expectSameEntries<QelEdgedata>(a->edges, b->edges, expectSameEdge);
    expectSameEntries<QelDatumdata>(a->datums, b->datums, expectSameDatum);
}

// ---- the extension ------------------------------------------------------------------------

inline void setName(char16_t* field, int capacity, const char16_t* text) {
    std::memset(field, 0, sizeof(char16_t) * size_t(capacity));
    for (int i = 0; text[i] && i < capacity - 1; ++i)
        field[i] = text[i];
}

// A pointer har holding new records made by `make(i)`.
template <class Rec, class F> void* recordList(int n, F make) {
    void* har = har_alloc(int(sizeof(void*)), 100);
    for (int i = 0; i < n; ++i) {
        auto* rec = static_cast<Rec*>(getmem(sizeof(Rec)));
        make(*rec, i);
        har_append(&har, &rec);
    }
    return har;
}

// An extension record with every one of its nine lists filled (free with
// impfeat_ext_free and rlsmem).
inline qel_intf_data_extend* fullExtension() {
    auto* ext = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
    // Layers: one with ids, one without.
    QelLayerdata layers[2]{};
    setName(layers[0].name, QEL_NAME_LEN, u"Layer & one");
    layers[0].layer_id = 4;
    layers[0].item_ids = xar_of<uint32_t>({1, 2, 3});
    layers[0].status = 2;
    setName(layers[1].name, QEL_NAME_LEN, u"empty");
    layers[1].layer_id = 0xFFFFFFFFu;
    layers[1].status = 5;
    ext->layers = xar_of({layers[0], layers[1]});
    QelRefColordata rc{};
    rc.color[0] = 1;
    rc.color[1] = 0.5;
    rc.ambient = 0.1;
    rc.diffuse = 0.2;
    rc.specular = 0.3;
    rc.specular_coef = 0.4;
    rc.transmission = 0.6;
    rc.highlight[2] = 0.7;
    rc.reflection = 0.8;
    setName(rc.bump.name, QEL_NAME_LEN, u"bump");
    setName(rc.bump.file_name, QEL_PATH_LEN, u"c:/maps/bump.png");
    setName(rc.texture.name, QEL_NAME_LEN, u"tex");
    ext->ref_colors = xar_of({rc, QelRefColordata{}});
    ext->elem_colors = xar_of({QelElemColordata{5, {0, 1}}, QelElemColordata{9, {1, 0xFFFFFFFFu}}});
    ext->attributes = har_alloc(int(sizeof(QelGenAttribdata)), 10);
    for (uint32_t kind : {1u, 2u, 3u, 5u, 0u}) {
        QelGenAttribdata a{};
        setName(a.name, QEL_NAME_LEN, u"attr");
        a.name[4] = char16_t(u'0' + kind);
        a.value_kind = kind;
        if (kind == 1 || kind == 5)
            a.int_value = -42 - int32_t(kind);
        if (kind == 2)
            a.double_value = 0.1;
        if (kind == 3)
            setName(a.text, QEL_ATTRIB_TEXT_LEN, u"text value \u00fc");
        a.item_id = 10 + kind;
        a.item_type = 5; // a face
        har_append(&ext->attributes, &a);
    }
    ext->units = xar_of({QelUnitdata{25.4, u"mm", 0}, QelUnitdata{1, u"kg", 1}});
    ext->ext_edges = har_alloc(int(sizeof(QelExtEdgedata)), 50);
    for (int i = 0; i < 3; ++i) {
        QelExtEdgedata e{};
        e.edge_id = 100 + i;
        if (i != 1) {
            e.start_comps = xar_of({QelVtxCompdata{101, 0}, QelVtxCompdata{102, 1}});
            e.end_comps = xar_of({QelVtxCompdata{103, 1}});
        }
        e.start_point[0] = i;
        e.end_point[2] = -0.5 * i;
        har_append(&ext->ext_edges, &e);
    }
    ext->item_names = xar_of({QelItemNamedata{u"face one", 1, 5}, QelItemNamedata{u"e", 100, 6}});
    QelSolidRegiondata regions[2]{};
    regions[0].external_shell = xar_of<int32_t>({7, 8});
    regions[0].internal_shells = xar_of<int32_t*>({xar_of<int32_t>({9}), xar_of<int32_t>({10, 11})});
    regions[1].external_shell = xar_of<int32_t>({1});
    ext->solid_regions = xar_of({regions[0], regions[1]});
    ext->faceted_reps = har_alloc(int(sizeof(QelFacetedRepdata)), 100);
    for (int r = 0; r < 2; ++r) {
        QelFacetedRepdata rep{};
        rep.id = 50 + r;
        rep.vertices = recordList<QelFacetVertexdata>(3, [](QelFacetVertexdata& v, int i) {
            v.point[2] = 1 + i;
            v.neighbour = i == 0 ? 3 : -1;
        });
        if (r == 0) {
            rep.vtxdata = recordList<QelFacetVtxdata>(2, [](QelFacetVtxdata& v, int i) {
                v.normal[0] = 1;
                v.u = 0.25 * i;
                v.v = 0.75;
            });
            rep.facets = recordList<QelFacetdata>(1, [](QelFacetdata& f, int) {
                f.vertex_idx[0] = 0;
                f.vertex_idx[1] = 1;
                f.vertex_idx[2] = 2;
                f.vtxdata_idx[0] = f.vtxdata_idx[1] = f.vtxdata_idx[2] = 0xFFFFFFFFu;
                f.neighbour_idx[1] = 4;
                f.normal[2] = -1;
            });
        }
        for (int k = 0; k < 6; ++k)
            rep.outline[k] = k - 2.5;
        har_append(&ext->faceted_reps, &rep);
    }
    return ext;
}

inline void freeExtension(qel_intf_data_extend* ext) {
    if (!ext)
        return;
    EXPECT_EQ(impfeat_ext_free(ext), QEL_OK);
    rlsmem(ext);
}

inline void expectSameRecordList(void* a, void* b, size_t recSize, const char* what) {
    ASSERT_EQ(a == nullptr, b == nullptr) << what;
    if (!a)
        return;
    ASSERT_EQ(har_total(a), har_total(b)) << what;
    for (int i = 0; i < har_total(a); ++i)
        EXPECT_EQ(std::memcmp(at<void*>(a, i), at<void*>(b, i), recSize), 0) << what << " " << i;
}

// The two extensions hold the same nine lists, field by field.
inline void expectSameExtension(qel_intf_data_extend* a, qel_intf_data_extend* b) {
    ASSERT_TRUE(a && b);
    ASSERT_EQ(xar_count(a->layers), xar_count(b->layers));
    for (int i = 0; i < xar_count(a->layers); ++i) {
        const QelLayerdata &x = a->layers[i], &y = b->layers[i];
        EXPECT_EQ(std::memcmp(x.name, y.name, sizeof x.name), 0);
        EXPECT_EQ(x.layer_id, y.layer_id);
        EXPECT_EQ(x.status, y.status);
        expectSameList(x.item_ids, y.item_ids, "layer ids");
    }
    expectSameArray(a->ref_colors, b->ref_colors, "reference colours");
    expectSameArray(a->elem_colors, b->elem_colors, "element colours");
    ASSERT_EQ(har_total(a->attributes), har_total(b->attributes));
    for (int i = 0; i < har_total(a->attributes); ++i)
        EXPECT_EQ(std::memcmp(&at<QelGenAttribdata>(a->attributes, i),
                              &at<QelGenAttribdata>(b->attributes, i), sizeof(QelGenAttribdata)),
                  0)
            << "attribute " << i;
    ASSERT_EQ(xar_count(a->units), xar_count(b->units));
    for (int i = 0; i < xar_count(a->units); ++i) {
        expectSameDoubles(&a->units[i].factor, &b->units[i].factor, 1, "unit factor");
        EXPECT_EQ(std::memcmp(a->units[i].name, b->units[i].name, sizeof a->units[i].name), 0);
        EXPECT_EQ(a->units[i].type, b->units[i].type);
    }
    ASSERT_EQ(har_total(a->ext_edges), har_total(b->ext_edges));
    for (int i = 0; i < har_total(a->ext_edges); ++i) {
        const QelExtEdgedata &x = at<QelExtEdgedata>(a->ext_edges, i),
                             &y = at<QelExtEdgedata>(b->ext_edges, i);
        EXPECT_EQ(x.edge_id, y.edge_id);
        expectSameList(x.start_comps, y.start_comps, "start components");
        expectSameList(x.end_comps, y.end_comps, "end components");
        expectSameDoubles(x.start_point, y.start_point, 3, "start point");
        expectSameDoubles(x.end_point, y.end_point, 3, "end point");
    }
    expectSameArray(a->item_names, b->item_names, "item names");
    ASSERT_EQ(xar_count(a->solid_regions), xar_count(b->solid_regions));
    for (int i = 0; i < xar_count(a->solid_regions); ++i) {
        const QelSolidRegiondata &x = a->solid_regions[i], &y = b->solid_regions[i];
        expectSameList(x.external_shell, y.external_shell, "external shell");
        ASSERT_EQ(xar_count(x.internal_shells), xar_count(y.internal_shells));
        for (int k = 0; k < xar_count(x.internal_shells); ++k)
            expectSameList(x.internal_shells[k], y.internal_shells[k], "internal shell");
    }
    ASSERT_EQ(har_total(a->faceted_reps), har_total(b->faceted_reps));
    for (int i = 0; i < har_total(a->faceted_reps); ++i) {
        QelFacetedRepdata &x = at<QelFacetedRepdata>(a->faceted_reps, i),
                          &y = at<QelFacetedRepdata>(b->faceted_reps, i);
        EXPECT_EQ(x.id, y.id);
        expectSameDoubles(x.outline, y.outline, 6, "facet outline");
        expectSameRecordList(x.vertices, y.vertices, sizeof(QelFacetVertexdata), "vertices");
        expectSameRecordList(x.vtxdata, y.vtxdata, sizeof(QelFacetVtxdata), "vertex data");
        expectSameRecordList(x.facets, y.facets, sizeof(QelFacetdata), "facets");
    }
}

} // namespace zpifix
