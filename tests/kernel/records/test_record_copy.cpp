// Deep copies: the copy equals its source field by field and shares no
// pointer with it; copying and freeing leave nothing behind (the leak
// checker runs with every test).
#include "record_fixtures.h"

#include "kernel/records/qel_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace fixtures;

namespace {

// Walks a record tree, serialising every meaningful field and collecting
// every heap address it passes (arrays, pages, records).
struct Walk {
    std::string bytes;
    std::vector<const void*> ptrs;

    template <class T> void val(const T& v) {
        bytes.append(reinterpret_cast<const char*>(&v), sizeof(T));
    }
    void vec(const double* v, int n = 3) {
        bytes.append(reinterpret_cast<const char*>(v), sizeof(double) * size_t(n));
    }
    void ptr(const void* p) {
        if (p)
            ptrs.push_back(p);
    }
    template <class T> void arr(const T* a) {
        const int n = xar_count(a);
        val(n);
        ptr(a);
        if (n)
            bytes.append(reinterpret_cast<const char*>(a), sizeof(T) * size_t(n));
    }
    template <class T> void net(const T* a) { // xar or har of weights / points
        if (a && har_entry_size(a)) {
            ptr(a);
            for (int i = 0; i < xar_count(a); ++i)
                ptr(static_cast<void* const*>(static_cast<const void*>(a))[i]);
            for (int i = 0; i < har_total(a); ++i)
                val(*static_cast<const T*>(har_access(a, i, nullptr, nullptr)));
        } else {
            arr(a);
        }
    }
    void frame(const QelFrame& f) { vec(&f.e1[0], 12); }
    void splinesrf(const QelSplinesrfdata& s) {
        arr(s.u_params);
        arr(s.v_params);
        arr(s.points);
        arr(s.u_tangents);
        arr(s.v_tangents);
        arr(s.mixed_derivs);
        val(s.u_count);
        val(s.v_count);
    }
    void spline(const QelSplinedata& s) {
        val(s.kind);
        arr(s.params);
        arr(s.points);
        arr(s.tangents);
        val(s.count);
    }

    void curve(const QelCurvedata& c) {
        val(c.kind);
        switch (c.kind) {
        case QEL_CURVE_POINT:
            vec(c.point.point);
            break;
        case QEL_CURVE_LINE:
            vec(c.line.end1, 6);
            break;
        case QEL_CURVE_ARC:
            vec(c.arc.vector1, 12);
            break;
        case QEL_CURVE_KIND10:
            vec(c.kind10.vector1, 7);
            break;
        case QEL_CURVE_SPLINE:
            spline(c.spline);
            break;
        case QEL_CURVE_BSPLINE:
            val(c.bspline.degree);
            arr(c.bspline.knots);
            arr(c.bspline.weights);
            arr(c.bspline.points);
            val(c.bspline.knot_count);
            val(c.bspline.point_count);
            break;
        case QEL_CURVE_ELLIPSE:
            vec(c.ellipse.center, 13);
            break;
        case QEL_CURVE_COMPOSITE: {
            const QelComponentcurvedata* comps = c.composite.components;
            val(xar_count(comps));
            ptr(comps);
            for (int i = 0; i < xar_count(comps); ++i) {
                curve(comps[i].curve);
                val(comps[i].direction);
            }
            break;
        }
        default:
            ADD_FAILURE() << "unexpected curve kind " << c.kind;
        }
    }

    void shape(uint32_t kind, const QelSurfaceshapedata& s) {
        switch (kind) {
        case QEL_SURF_PLANE:
            frame(s.plane.frame);
            break;
        case QEL_SURF_CYLINDER:
        case QEL_SURF_CONE:
            frame(s.cylinder.frame);
            val(s.cylinder.scalar);
            break;
        case QEL_SURF_TORUS:
            frame(s.torus.frame);
            val(s.torus.radius1);
            val(s.torus.radius2);
            break;
        case QEL_SURF_SPLINE:
            splinesrf(s.splinesrf);
            break;
        case QEL_SURF_FILLET:
            spline(s.filsrf.point_spline);
            spline(s.filsrf.center_spline);
            spline(s.filsrf.tangent_spline);
            break;
        case QEL_SURF_RULED:
            frame(s.rulsrf.frame);
            curve(s.rulsrf.curve1);
            curve(s.rulsrf.curve2);
            break;
        case QEL_SURF_REVOLVED:
        case QEL_SURF_TABCYL:
            frame(s.srfrev.frame);
            curve(s.srfrev.profile);
            break;
        case QEL_SURF_BSPLINE:
            val(s.bsplinesrf.u_degree);
            val(s.bsplinesrf.v_degree);
            arr(s.bsplinesrf.u_knots);
            arr(s.bsplinesrf.v_knots);
            net(s.bsplinesrf.weights);
            net(s.bsplinesrf.points);
            val(s.bsplinesrf.u_knot_count);
            val(s.bsplinesrf.v_knot_count);
            val(s.bsplinesrf.point_count);
            break;
        case QEL_SURF_CYLSPLINE:
            frame(s.cylsplsrf.frame);
            splinesrf(s.cylsplsrf.splinesrf);
            break;
        default:
            ADD_FAILURE() << "unexpected surface kind " << kind;
        }
    }

    void face(const QelSurfacedata& f) {
        val(f.kind);
        vec(f.uv_min, 4);
        vec(f.xyz_min, 6);
        val(f.orientation);
        shape(f.kind, f.shape);
        val(f.id);
        val(xar_count(f.contours));
        ptr(f.contours);
        for (int i = 0; i < xar_count(f.contours); ++i) {
            val(f.contours[i].traversal);
            arr(f.contours[i].edge_ids);
        }
    }

    void owned_curve(const QelCurvedata* c) {
        val(c != nullptr);
        ptr(c);
        if (c)
            curve(*c);
    }

    void edge(const QelEdgedata& e) {
        val(e.id);
        val(e.face_ids);
        val(e.directions);
        arr(e.uv_points);
        owned_curve(e.uv_curve1);
        owned_curve(e.uv_curve2);
        owned_curve(e.xyz_curve);
    }

    void quilt(const QelQuiltdata& q) {
        val(q.id);
        val(xar_count(q.faces));
        ptr(q.faces);
        for (int i = 0; i < xar_count(q.faces); ++i) {
            ptr(q.faces[i]);
            face(*q.faces[i]);
        }
    }

    void datum(const QelDatumdata& d) {
        val(d.id);
        val(d.type);
        val(d.name);
        if (d.type == QEL_DATUM_CURVE)
            curve(d.body.curve);
        else
            frame(d.body.frame);
    }

    template <class T, class F> void har(const void* h, F each) {
        val(har_total(h));
        ptr(h);
        for (int i = 0; i < xar_count(h); ++i)
            ptr(static_cast<void* const*>(h)[i]);
        for (int i = 0; i < har_total(h); ++i)
            each(*static_cast<const T*>(har_access(h, i, nullptr, nullptr)));
    }

    void root(const qel_intf_data& r) {
        val(r.accuracy_type);
        val(r.accuracy);
        vec(r.outline, 6);
        har<QelSurfacedata>(r.surfaces, [&](const QelSurfacedata& f) { face(f); });
        har<QelEdgedata>(r.edges, [&](const QelEdgedata& e) { edge(e); });
        har<QelQuiltdata>(r.quilts, [&](const QelQuiltdata& q) { quilt(q); });
        har<QelDatumdata>(r.datums, [&](const QelDatumdata& d) { datum(d); });
    }
};

const double kE1[3] = {1, 0, 0}, kE2[3] = {0, 1, 0}, kE3[3] = {0, 0, 1}, kO[3] = {1, 2, 3};

QelSplinesrfdata spline_surface_head() {
    QelSurfaceshapedata s{};
    double* u = xar_of({0.0, 1.0});
    QelPoint* p = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(0, 1, 0), pt(1, 1, 0)});
    QelPoint* t = xar_of({pt(1, 0, 0)});
    EXPECT_EQ(qel_splinesrfdata_init(u, u, p, t, t, t, 2, 2, &s), QEL_OK);
    xar_free(u);
    xar_free(p);
    xar_free(t);
    return s.splinesrf;
}

// One shape of the given surface kind.
QelSurfaceshapedata make_shape(uint32_t kind) {
    QelSurfaceshapedata s{};
    switch (kind) {
    case QEL_SURF_PLANE:
        EXPECT_EQ(qel_planedata_init(kE1, kE2, kE3, kO, &s), QEL_OK);
        break;
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE:
        EXPECT_EQ(qel_cylinderdata_init(kE1, kE2, kE3, kO, kind * 0.1, &s), QEL_OK);
        break;
    case QEL_SURF_TORUS:
        EXPECT_EQ(qel_torusdata_init(kE1, kE2, kE3, kO, 5.0, 1.0, &s), QEL_OK);
        break;
    case QEL_SURF_SPLINE:
        s.splinesrf = spline_surface_head();
        break;
    case QEL_SURF_FILLET: {
        QelCurvedata a = spline({0.0, 1.0}), b = spline({0.0, 2.0}), c = spline({1.0, 3.0});
        EXPECT_EQ(qel_filsrfdata_init(&a.spline, &b.spline, &c.spline, &s), QEL_OK);
        break;
    }
    case QEL_SURF_RULED: {
        QelCurvedata a = spline({0.0, 4.0}), b = ellipse();
        EXPECT_EQ(qel_rulsrfdata_init(kE1, kE2, kE3, kO, &a, &b, &s), QEL_OK);
        break;
    }
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL: {
        QelCurvedata p = kind == QEL_SURF_REVOLVED ? bspline(true) : arc();
        EXPECT_EQ(qel_srfrevdata_init(kE1, kE2, kE3, kO, &p, &s), QEL_OK);
        break;
    }
    case QEL_SURF_BSPLINE: {
        const uint32_t deg[2] = {1, 1};
        double* k = xar_of({0.0, 0.0, 1.0, 1.0});
        double* w = xar_of({1.0, 2.0, 1.0, 2.0});
        QelPoint* p = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(0, 1, 0), pt(1, 1, 1)});
        EXPECT_EQ(qel_bsplinesrfdata_init(deg, k, k, w, p, 4, 4, 4, &s), QEL_OK);
        xar_free(k);
        xar_free(w);
        xar_free(p);
        break;
    }
    case QEL_SURF_CYLSPLINE: {
        QelSplinesrfdata head = spline_surface_head();
        EXPECT_EQ(qel_cylsplsrfdata_init(kE1, kE2, kE3, kO, &head, &s), QEL_OK);
        break;
    }
    }
    return s;
}

// A face with two loops and its XYZ box.
QelSurfacedata* make_face(uint32_t kind, uint32_t id) {
    QelSurfacedata* f = nullptr;
    EXPECT_EQ(qel_surfacedata_alloc(&f), QEL_OK);
    QelSurfaceshapedata s = make_shape(kind);
    const double uv0[2] = {0, 0}, uv1[2] = {1, id * 1.0};
    EXPECT_EQ(qel_surfacedata_init(kind, uv0, uv1, id % 2 ? 1 : -1, &s, id, f), QEL_OK);
    f->xyz_min[0] = -double(id);
    f->xyz_max[2] = double(id);
    QelContourdata outer{QEL_TRAV_EXTERNAL, xar_of({int32_t(id), 2, 3})};
    QelContourdata inner{QEL_TRAV_INTERNAL, xar_of({7})};
    QelContourdata* loops = xar_of({outer, inner});
    EXPECT_EQ(qel_surfacedata_contours_set(f, loops), QEL_OK);
    xar_free(loops);
    return f;
}

QelEdgedata make_edge(uint32_t id, const QelCurvedata& xyz, bool with_uv) {
    const uint32_t faces[2] = {id, id + 1}, dirs[2] = {1, 0};
    QelUvSample* uv = with_uv ? xar_of({QelUvSample{{0, 0}, {1, 1}}, QelUvSample{{1, 0}, {0, 1}}})
                              : nullptr;
    QelCurvedata u1 = line(0, 1);
    QelCurvedata* uvc[2] = {&u1, nullptr};
    QelEdgedata e{};
    EXPECT_EQ(qel_edgedata_init(id, faces, dirs, uv, with_uv ? uvc : nullptr, &xyz, &e), QEL_OK);
    xar_free(uv);
    return e;
}

qel_intf_data* make_everything() {
    qel_intf_data* root = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    qel_curvedata_type_set(root, QEL_ACCURACY_RELATIVE);
    qel_intf_data_accuracy_set(root, 0.001);
    const double box[6] = {-1, -2, -3, 4, 5, 6};
    qel_intf_data_outline_set(root, box);

    const uint32_t kinds[] = {34, 36, 37, 38, 40, 41, 42, 43, 44, 45, 48};
    uint32_t id = 1;
    for (uint32_t k : kinds) {
        QelSurfacedata* f = make_face(k, id++);
        EXPECT_EQ(qel_intf_data_surface_append(root, f), QEL_OK);
        qel_data_free(f);
    }

    const QelCurvedata curves[] = {point(1),  line(0, 2), arc(),         kind10(),
                                   spline({0.0, 0.5, 1.0}), bspline(true), ellipse(), composite()};
    for (const QelCurvedata& c : curves) {
        const bool with_uv = id % 2 == 0;
        QelEdgedata e = make_edge(id++, c, with_uv);
        EXPECT_EQ(qel_intf_data_edge_append(root, &e), QEL_OK);
    }

    QelQuiltdata q{};
    qel_contourdata_traversal_set(500, &q);
    QelSurfacedata** faces = xar_of({make_face(QEL_SURF_TORUS, 501), make_face(QEL_SURF_FILLET, 502)});
    EXPECT_EQ(qel_quiltdata_surfaces_set(&q, faces), QEL_OK);
    xar_free(faces);
    EXPECT_EQ(qel_intf_data_quilt_append(root, &q), QEL_OK);

    const int32_t types[] = {QEL_DATUM_CSYS, QEL_DATUM_PLANE, QEL_DATUM_CURVE};
    for (int32_t t : types) {
        QelDatumbody body{};
        if (t == QEL_DATUM_CURVE) {
            body.curve = composite();
        } else {
            std::memcpy(body.frame.e1, kE1, sizeof(kE1));
            body.frame.origin[1] = t;
        }
        QelDatumdata d{};
        EXPECT_EQ(qel_datumdata_init(id++, t, u"DTM_NAME_THAT_IS_LONGER_THAN_32_CHARS", &body, &d),
                  QEL_OK);
        EXPECT_EQ(qel_intf_data_datum_append(root, &d), QEL_OK);
    }
    return root;
}

TEST(IntfDataCopy, EveryKindCopiesIntoAnEqualTreeSharingNothing) {
    qel_intf_data* src = make_everything();
    qel_intf_data* copy = nullptr;
    ASSERT_EQ(qel_intf_data_copy(src, &copy), QEL_OK);

    Walk a, b;
    a.root(*src);
    b.root(*copy);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_GT(a.ptrs.size(), 100u); // the walk really went through the tree
    EXPECT_EQ(a.ptrs.size(), b.ptrs.size());
    std::sort(a.ptrs.begin(), a.ptrs.end());
    std::sort(b.ptrs.begin(), b.ptrs.end());
    std::vector<const void*> shared;
    std::set_intersection(a.ptrs.begin(), a.ptrs.end(), b.ptrs.begin(), b.ptrs.end(),
                          std::back_inserter(shared));
    EXPECT_TRUE(shared.empty()) << shared.size() << " addresses shared";

    EXPECT_EQ(qel_intf_data_free(src), QEL_OK);
    // The copy stands alone once the source is gone.
    Walk c;
    c.root(*copy);
    EXPECT_EQ(c.bytes, b.bytes);
    EXPECT_EQ(qel_intf_data_free(copy), QEL_OK);
}

TEST(IntfDataCopy, AFailingItemLeavesNoCopyBehind) {
    qel_intf_data* src = make_everything();
    QelSurfacedata odd{};
    odd.kind = QEL_SURF_FILLET; // whose splines are not splines
    ASSERT_EQ(qel_intf_data_surface_append(src, &odd), QEL_OK);
    qel_intf_data* copy = reinterpret_cast<qel_intf_data*>(uintptr_t(1));
    EXPECT_EQ(qel_intf_data_copy(src, &copy), QEL_ERR_BAD_ARG);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(qel_intf_data_free(src), QEL_OK);
}

TEST(RecordCopy, FacesOfKindsWithoutAShapeCopyWithoutOne) {
    for (uint32_t kind : {0u, 35u, 39u, 46u, 47u}) {
        QelSurfacedata* f = make_face(QEL_SURF_PLANE, 4);
        f->kind = kind;
        std::memset(&f->shape, 0xAB, sizeof(f->shape)); // whatever the host left there
        QelSurfacedata* c = nullptr;
        ASSERT_EQ(qel_face_copy(f, &c), QEL_OK) << kind;
        EXPECT_EQ(c->kind, kind);
        EXPECT_EQ(c->id, 4u);
        EXPECT_EQ(c->orientation, f->orientation);
        EXPECT_EQ(c->uv_max[1], f->uv_max[1]);
        EXPECT_EQ(c->xyz_min[0], -4.0);
        EXPECT_EQ(xar_count(c->contours), 2);
        const QelSurfaceshapedata zero{};
        EXPECT_EQ(std::memcmp(&c->shape, &zero, sizeof(zero)), 0);
        EXPECT_EQ(qel_surfacedata_free(c), QEL_OK);
        EXPECT_EQ(qel_surfacedata_free(f), QEL_OK);
    }
}

TEST(RecordCopy, FacesKeepTheirBoxAndMayHaveNoContours) {
    QelSurfacedata* f = make_face(QEL_SURF_CONE, 9);
    QelSurfacedata* c = nullptr;
    ASSERT_EQ(qel_face_copy(f, &c), QEL_OK);
    EXPECT_EQ(c->xyz_min[0], -9.0);
    EXPECT_EQ(c->xyz_max[2], 9.0);
    EXPECT_EQ(xar_count(c->contours), 2);
    EXPECT_EQ(qel_surfacedata_free(c), QEL_OK);

    xar_free(f->contours[0].edge_ids);
    xar_free(f->contours[1].edge_ids);
    xar_free(f->contours);
    ASSERT_EQ(qel_face_copy(f, &c), QEL_OK);
    EXPECT_EQ(c->contours, nullptr);
    EXPECT_EQ(qel_surfacedata_free(c), QEL_OK);
    EXPECT_EQ(qel_surfacedata_free(f), QEL_OK);
}

TEST(RecordCopy, EdgesDropClearedCurves) {
    QelEdgedata e = make_edge(4, line(0, 1), true);
    ASSERT_EQ(qel_curvedata_clear(e.xyz_curve), QEL_OK); // kind -1, block still there
    QelEdgedata* c = nullptr;
    ASSERT_EQ(qel_edge_copy(&e, &c), QEL_OK);
    EXPECT_EQ(c->xyz_curve, nullptr);
    ASSERT_NE(c->uv_curve1, nullptr);
    EXPECT_EQ(c->uv_curve2, nullptr);
    EXPECT_EQ(xar_count(c->uv_points), 2);
    EXPECT_EQ(qel_edgedata_free(c), QEL_OK);
    EXPECT_EQ(qel_edgedata_clear(&e), QEL_OK);
}

TEST(RecordCopy, RefusedCurvesAndDatumsLeaveNothingBehind) {
    // A spline whose parameters repeat (made without the init's check).
    QelCurvedata s = spline({0.0, 1.0, 2.0});
    s.spline.params[2] = 1.0;
    QelCurvedata dst{};
    EXPECT_EQ(qel_curve_copy(&s, &dst), QEL_ERR_BAD_ARG);
    EXPECT_TRUE(qel_curvedata_is_cleared(&dst));
    EXPECT_EQ(qel_curvedata_clear(&s), QEL_OK);

    // Degree 5 and unclamped B-splines are copied (the host makes them).
    QelCurvedata b{};
    double* k = xar_of({0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0, 10.0, 11.0});
    QelPoint* p = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(2, 0, 0), pt(3, 0, 0), pt(4, 0, 0),
                          pt(5, 0, 0)});
    ASSERT_EQ(qel_bsplinedata_init(5, k, nullptr, p, 12, 6, &b), QEL_ERR_BSPL_DEGREE);
    ASSERT_EQ(qel_curve_copy(&b, &dst), QEL_OK);
    EXPECT_EQ(dst.bspline.degree, 5);
    EXPECT_NE(dst.bspline.knots, b.bspline.knots);
    EXPECT_EQ(qel_curvedata_clear(&dst), QEL_OK);
    EXPECT_EQ(qel_curvedata_clear(&b), QEL_OK);
    xar_free(k);
    xar_free(p);

    // A composite holding a curve kind the copy does not know.
    QelCurvedata comp = composite();
    comp.composite.components[1].curve.spline.kind = QEL_CURVE_KIND40;
    QelCurvedata* kept = &comp.composite.components[1].curve;
    double* params = kept->spline.params;
    QelPoint* pts = kept->spline.points;
    QelPoint* tans = kept->spline.tangents;
    EXPECT_EQ(qel_curve_copy(&comp, &dst), QEL_ERR_BAD_ARG);
    kept->kind = QEL_CURVE_SPLINE;
    EXPECT_EQ(kept->spline.params, params);
    EXPECT_EQ(kept->spline.points, pts);
    EXPECT_EQ(kept->spline.tangents, tans);
    EXPECT_EQ(qel_curvedata_clear(&comp), QEL_OK);

    // Out-pointers are null after any failure, an early refusal included.
    QelQuiltdata q{};
    q.faces = reinterpret_cast<QelSurfacedata**>(xar_of({1, 2})); // not face pointers
    QelQuiltdata* qc = reinterpret_cast<QelQuiltdata*>(uintptr_t(1));
    EXPECT_EQ(qel_quilt_copy(&q, &qc), QEL_ERR_BAD_ARG);
    EXPECT_EQ(qc, nullptr);
    xar_free(q.faces);

    QelDatumdata d{};
    d.type = 99;
    QelDatumdata* out = reinterpret_cast<QelDatumdata*>(uintptr_t(1));
    EXPECT_EQ(qel_datum_copy(&d, &out), QEL_ERR_DATUM_TYPE);
    EXPECT_EQ(out, nullptr);
}

// ---- extension record ---------------------------------------------------------------

void fill_extension(qel_intf_data_extend& e) {
    QelLayerdata layer{};
    layer.name[0] = u'L';
    layer.layer_id = 5;
    layer.status = 3;
    layer.item_ids = xar_of<uint32_t>({3, 9});
    QelLayerdata empty_layer{};
    e.layers = xar_of({layer, empty_layer});

    QelRefColordata rc{};
    rc.color[0] = 1;
    rc.bump.name[0] = u'b';
    rc.texture.file_name[259] = u'z';
    e.ref_colors = xar_of({rc});
    e.elem_colors = xar_of({QelElemColordata{3, {0, 0xFFFFFFFFu}}});

    e.attributes = har_alloc(int(sizeof(QelGenAttribdata)), 10);
    for (int i = 0; i < 12; ++i) {
        QelGenAttribdata a{};
        a.value_kind = 1;
        a.int_value = i;
        har_append(&e.attributes, &a);
    }
    e.units = xar_of({QelUnitdata{25.4, {u'm', u'm'}, 0}});

    e.ext_edges = har_alloc(int(sizeof(QelExtEdgedata)), 50);
    QelExtEdgedata ee{};
    ee.edge_id = 8;
    ee.start_comps = xar_of({QelVtxCompdata{1, 0}, QelVtxCompdata{2, 1}});
    ee.end_point[2] = 4;
    har_append(&e.ext_edges, &ee);
    QelExtEdgedata bare{};
    har_append(&e.ext_edges, &bare);

    QelSolidRegiondata region{};
    region.external_shell = xar_of({7, 8});
    region.internal_shells = xar_of<int32_t*>({xar_of({11}), nullptr, xar_of({12, 13})});
    e.solid_regions = xar_of({region, QelSolidRegiondata{}});
    e.item_names = xar_of({QelItemNamedata{{u'N'}, 4, 6}});

    e.faceted_reps = har_alloc(int(sizeof(QelFacetedRepdata)), 10);
    QelFacetedRepdata rep{};
    rep.id = 3;
    rep.outline[5] = 1;
    rep.vertices = har_alloc(int(sizeof(void*)), 100);
    for (int i = 0; i < 3; ++i) {
        auto* v = static_cast<QelFacetVertexdata*>(getmem(sizeof(QelFacetVertexdata)));
        v->point[0] = i;
        v->neighbour = -1;
        har_append(&rep.vertices, &v);
    }
    rep.facets = har_alloc(int(sizeof(void*)), 100);
    auto* f = static_cast<QelFacetdata*>(getmem(sizeof(QelFacetdata)));
    f->vertex_idx[2] = 2;
    har_append(&rep.facets, &f);
    void* unset = nullptr; // a slot never filled
    har_append(&rep.facets, &unset);
    har_append(&e.faceted_reps, &rep);

    e.gtols = xar_alloc(0, int(sizeof(void*)), 4); // present but empty
    e.angular_dim_tolerance = 0.5;
    e.linear_dim_tolerance = 0.01;
}

TEST(ExtensionCopy, CopyThenFreeIsCompleteAndSharesNothing) {
    qel_intf_data_extend src{}, dst{};
    fill_extension(src);
    std::memset(&dst, 0xAB, sizeof(dst)); // zeroed by the copy
    ASSERT_EQ(qel_intf_data_extend_copy(&src, &dst), QEL_OK);

    EXPECT_NE(dst.layers, src.layers);
    EXPECT_NE(dst.layers[0].item_ids, src.layers[0].item_ids);
    EXPECT_EQ(dst.layers[0].item_ids[1], 9u);
    EXPECT_EQ(dst.layers[1].item_ids, nullptr);
    EXPECT_EQ(dst.ref_colors[0].texture.file_name[259], u'z');
    EXPECT_EQ(har_total(dst.attributes), 12);
    EXPECT_EQ(static_cast<QelGenAttribdata*>(har_access(dst.attributes, 11, nullptr, nullptr))
                  ->int_value,
              11);
    auto* ee = static_cast<QelExtEdgedata*>(har_access(dst.ext_edges, 0, nullptr, nullptr));
    auto* see = static_cast<QelExtEdgedata*>(har_access(src.ext_edges, 0, nullptr, nullptr));
    EXPECT_NE(ee->start_comps, see->start_comps);
    EXPECT_EQ(ee->start_comps[1].start_or_end, 1);
    EXPECT_EQ(ee->end_point[2], 4.0);
    const QelSolidRegiondata& r = dst.solid_regions[0];
    EXPECT_NE(r.internal_shells, src.solid_regions[0].internal_shells);
    EXPECT_NE(r.internal_shells[2], src.solid_regions[0].internal_shells[2]);
    EXPECT_EQ(r.internal_shells[2][1], 13);
    EXPECT_EQ(r.internal_shells[1], nullptr);

    auto* rep = static_cast<QelFacetedRepdata*>(har_access(dst.faceted_reps, 0, nullptr, nullptr));
    auto* srep =
        static_cast<QelFacetedRepdata*>(har_access(src.faceted_reps, 0, nullptr, nullptr));
    EXPECT_EQ(rep->id, 3);
    EXPECT_EQ(rep->outline[5], 1.0);
    auto* v2 = *static_cast<QelFacetVertexdata**>(har_access(rep->vertices, 2, nullptr, nullptr));
    auto* sv2 =
        *static_cast<QelFacetVertexdata**>(har_access(srep->vertices, 2, nullptr, nullptr));
    EXPECT_NE(v2, sv2);
    EXPECT_EQ(v2->point[0], 2.0);
    EXPECT_EQ(v2->neighbour, -1);
    EXPECT_EQ(rep->vtxdata, nullptr);
    EXPECT_EQ(*static_cast<void**>(har_access(rep->facets, 1, nullptr, nullptr)), nullptr);
    EXPECT_NE(dst.gtols, nullptr);
    EXPECT_EQ(xar_count(dst.gtols), 0);
    EXPECT_EQ(dst.linear_dim_tolerance, 0.01);

    EXPECT_EQ(impfeat_ext_free(&dst), QEL_OK);
    EXPECT_EQ(dst.layers, nullptr);
    EXPECT_EQ(dst.faceted_reps, nullptr);
    EXPECT_EQ(dst.gtols, nullptr);
    EXPECT_EQ(impfeat_ext_free(&dst), QEL_OK); // a second free is harmless
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK);
    EXPECT_EQ(impfeat_ext_free(nullptr), QEL_ERR_BAD_ARG);
}

TEST(ExtensionCopy, AnnotationWordsOfAnotherLayoutAreRefusedNotSharedOrLeaked) {
    qel_intf_data_extend src{}, dst{};
    fill_extension(src);
    xar_free(&src.gtols);
    src.gtols = xar_of<int32_t>({1, 2}); // not an array of record pointers
    EXPECT_EQ(qel_intf_data_extend_copy(&src, &dst), QEL_ERR_BAD_ARG);
    const qel_intf_data_extend zero{};
    EXPECT_EQ(std::memcmp(&dst, &zero, sizeof(dst)), 0);
    EXPECT_EQ(qel_intf_data_extend_copy(nullptr, &dst), QEL_ERR_BAD_ARG);
    // A record copied onto itself is refused, not zeroed first and lost.
    QelLayerdata* layers = src.layers;
    EXPECT_EQ(qel_intf_data_extend_copy(&src, &src), QEL_ERR_BAD_ARG);
    EXPECT_EQ(src.layers, layers);

    // The free releases everything else and leaves the foreign word alone.
    EXPECT_EQ(impfeat_ext_free(&src), QEL_ERR_BAD_ARG);
    EXPECT_EQ(src.layers, nullptr);
    ASSERT_NE(src.gtols, nullptr);
    xar_free(&src.gtols);
    EXPECT_EQ(impfeat_ext_free(&src), QEL_OK);
}

} // namespace
