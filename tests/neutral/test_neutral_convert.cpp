// Interface data to neutral part: every curve and surface kind, faces with
// their loops, quilts, edges and the three datum types, checked field by
// field; the diagnostics of items that are dropped or kept incomplete; the
// interface data left as it was. The leak checker sees every path.
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/records/record_fixtures.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_writer.h"

#include "btkstring.h"
#include "process.h"
#include "neutral_messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using fixtures::pt;
using fixtures::xar_of;

// ---- diagnostics ---------------------------------------------------------------------

using Messages = NeutralMessages;

// ---- host interface data ----------------------------------------------------------------

const double kE1[3] = {1, 0, 0}, kE2[3] = {0, 1, 0}, kE3[3] = {0, 0, 1};

QelSurfaceshapedata blank_shape() {
    QelSurfaceshapedata s;
    std::memset(&s, 0, sizeof(s));
    return s;
}

QelSurfaceshapedata splinesrf_shape() {
    QelSurfaceshapedata s = blank_shape();
    double* u = xar_of({0.0, 1.0});
    double* v = xar_of({0.0, 2.0});
    QelPoint* p = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(0, 1, 0), pt(1, 1, 1)});
    QelPoint* ut = xar_of({pt(1, 0, 0), pt(1, 0, 0), pt(1, 0, 0), pt(1, 0, 0)});
    QelPoint* vt = xar_of({pt(0, 1, 0), pt(0, 1, 0), pt(0, 1, 0), pt(0, 1, 0)});
    QelPoint* uv = xar_of({pt(0, 0, 9), pt(0, 0, 8), pt(0, 0, 7), pt(0, 0, 6)});
    EXPECT_EQ(qel_splinesrfdata_init(u, v, p, ut, vt, uv, 2, 2, &s), QEL_OK);
    for (void* a : {static_cast<void*>(u), static_cast<void*>(v), static_cast<void*>(p),
                    static_cast<void*>(ut), static_cast<void*>(vt), static_cast<void*>(uv)})
        xar_free(&a);
    return s;
}

QelCurvedata ellipse(double start, double end) {
    QelCurvedata c{};
    const double ctr[3] = {1, 2, 3}, a[3] = {1, 0, 0}, b[3] = {0, 1, 0};
    EXPECT_EQ(qel_ellipsedata_init(ctr, a, b, 4.0, 2.0, start, end, &c), QEL_OK);
    return c;
}

// Face `id` of `kind` over `shape` (taken over), UV box (0,0)-(id, 2 id),
// XYZ box (-id..id), with an external and an internal loop when `loops`.
QelSurfacedata face(uint32_t kind, const QelSurfaceshapedata& shape, uint32_t id,
                    int32_t orient = 1, bool loops = false) {
    QelSurfacedata f{};
    const double uvmin[2] = {0, 0}, uvmax[2] = {double(id), 2.0 * id};
    EXPECT_EQ(qel_surfacedata_init(kind, uvmin, uvmax, orient, &shape, id, &f), QEL_OK);
    for (int k = 0; k < 3; ++k) {
        f.xyz_min[k] = -double(id);
        f.xyz_max[k] = double(id) + k;
    }
    if (loops) {
        QelContourdata outer{1, xar_of({1, 2, 3})}, inner{-1, xar_of({4})},
            unset{0, xar_of({5, 6})}, odd{2, xar_of({7})};
        QelContourdata* contours = xar_of({outer, inner, unset, odd});
        EXPECT_EQ(qel_surfacedata_contours_set(&f, contours), QEL_OK);
        xar_free(contours); // the edge-id arrays now belong to the face
    }
    return f;
}

QelSurfacedata* face_block(const QelSurfacedata& f) {
    auto* b = static_cast<QelSurfacedata*>(getmem(sizeof(QelSurfacedata)));
    *b = f;
    return b;
}

QelEdgedata edge(uint32_t id, uint32_t d1, uint32_t d2, QelCurvedata* uv1, QelCurvedata* uv2,
                 QelCurvedata* xyz, bool uv_points) {
    QelEdgedata e{};
    const uint32_t faces[2] = {id * 10, id * 10 + 1}, dirs[2] = {d1, d2};
    QelUvSample* samples =
        uv_points ? xar_of({QelUvSample{{0.1, 0.2}, {0.3, 0.4}}, QelUvSample{{0.5, 0.6}, {0.7, 0.8}}})
                  : nullptr;
    QelCurvedata* const uvc[2] = {uv1, uv2};
    EXPECT_EQ(qel_edgedata_init(id, faces, dirs, samples, uvc, xyz, &e), QEL_OK);
    xar_free(samples);
    return e;
}

QelDatumdata datum(uint32_t id, int32_t type, const char16_t* name, const QelDatumbody& body) {
    QelDatumdata d{};
    d.type = QEL_DATUM_UNSET;
    qel_datumdata_init(id, type, name, &body, &d);
    return d;
}

QelDatumbody frame_body(double ox) {
    QelDatumbody b;
    std::memset(&b, 0, sizeof(b));
    QelFrame f{};
    std::memcpy(f.e1, kE1, sizeof(kE1));
    std::memcpy(f.e2, kE2, sizeof(kE2));
    std::memcpy(f.e3, kE3, sizeof(kE3));
    f.origin[0] = ox;
    qel_datumdata_frame_set(&f, &b);
    return b;
}

QelDatumbody curve_body(const QelCurvedata& c) {
    QelDatumbody b;
    std::memset(&b, 0, sizeof(b));
    b.curve = c;
    return b;
}

// The whole model: one face of every shape kind (the first with loops),
// three faces to drop, two quilts, four edges, five datums.
qel_intf_data* whole_model() {
    qel_intf_data* root = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    qel_curvedata_type_set(root, QEL_ACCURACY_ABSOLUTE);
    qel_intf_data_accuracy_set(root, 0.0125);
    const double outline[6] = {-1, -2, -3, 4, 5, 6};
    qel_intf_data_outline_set(root, outline);

    const double o[3] = {1, 2, 3};
    auto add = [&](const QelSurfacedata& f) {
        EXPECT_EQ(qel_intf_data_surface_append(root, &f), QEL_OK);
    };
    QelSurfaceshapedata s = blank_shape();
    qel_planedata_init(kE1, kE2, kE3, o, &s);
    add(face(QEL_SURF_PLANE, s, 1, 1, true));
    s = blank_shape();
    qel_cylinderdata_init(kE1, kE2, kE3, o, 2.5, &s);
    add(face(QEL_SURF_CYLINDER, s, 2, -1));
    s = blank_shape();
    qel_cylinderdata_init(kE1, kE2, kE3, o, 0.75, &s);
    add(face(QEL_SURF_CONE, s, 3, 0));
    s = blank_shape();
    qel_torusdata_init(kE1, kE2, kE3, o, 5, 1, &s);
    add(face(QEL_SURF_TORUS, s, 4, 7));
    add(face(QEL_SURF_SPLINE, splinesrf_shape(), 5));
    {
        QelCurvedata a = fixtures::spline({0.0, 1.0}), b = fixtures::spline({0.0, 2.0, 3.0}),
                     c = fixtures::spline({0.0, 4.0});
        s = blank_shape();
        qel_filsrfdata_init(&a.spline, &b.spline, &c.spline, &s);
        add(face(QEL_SURF_FILLET, s, 6));
    }
    {
        QelCurvedata l = fixtures::line(0, 1), a = fixtures::arc();
        s = blank_shape();
        qel_rulsrfdata_init(kE1, kE2, kE3, o, &l, &a, &s);
        add(face(QEL_SURF_RULED, s, 7));
    }
    {
        QelCurvedata b = fixtures::bspline(true);
        s = blank_shape();
        qel_srfrevdata_init(kE1, kE2, kE3, o, &b, &s);
        add(face(QEL_SURF_REVOLVED, s, 8));
    }
    {
        QelCurvedata e = ellipse(0.5, 1.5);
        s = blank_shape();
        qel_srfrevdata_init(kE1, kE2, kE3, o, &e, &s);
        add(face(QEL_SURF_TABCYL, s, 9));
    }
    {
        const uint32_t degrees[2] = {1, 1};
        double* uk = xar_of({0.0, 0.0, 1.0, 1.0});
        double* vk = xar_of({0.0, 0.0, 2.0, 2.0});
        double* w = xar_of({1.0, 0.5, 0.5, 1.0});
        QelPoint* p = xar_of({pt(0, 0, 0), pt(1, 0, 0), pt(0, 1, 0), pt(1, 1, 2)});
        s = blank_shape();
        qel_bsplinesrfdata_init(degrees, uk, vk, w, p, 4, 4, 4, &s);
        xar_free(uk);
        xar_free(vk);
        xar_free(w);
        xar_free(p);
        add(face(QEL_SURF_BSPLINE, s, 10));
    }
    {
        QelSurfaceshapedata head = splinesrf_shape();
        s = blank_shape();
        qel_cylsplsrfdata_init(kE1, kE2, kE3, o, &head.splinesrf, &s);
        add(face(QEL_SURF_CYLSPLINE, s, 11));
    }
    add(face(39, blank_shape(), 12));         // obsolete: dropped
    add(face(47, blank_shape(), 13));         // unknown: dropped
    add(face(uint32_t(-3), blank_shape(), 14)); // none: dropped

    // Quilt 100 keeps its plane and drops its foreign face; quilt 101 has
    // nothing left and is dropped.
    auto quilt = [&](uint32_t id, std::initializer_list<QelSurfacedata*> faces) {
        QelQuiltdata* q = nullptr;
        EXPECT_EQ(qel_quiltdata_alloc(&q), QEL_OK);
        qel_contourdata_traversal_set(int32_t(id), q);
        QelSurfacedata** arr = xar_of<QelSurfacedata*>(faces);
        qel_quiltdata_surfaces_set(q, arr);
        xar_free(arr);
        EXPECT_EQ(qel_intf_data_quilt_append(root, q), QEL_OK);
        qel_data_free(q);
    };
    s = blank_shape();
    qel_planedata_init(kE1, kE2, kE3, o, &s);
    quilt(100, {face_block(face(QEL_SURF_PLANE, s, 31)), face_block(face(46, blank_shape(), 32))});
    quilt(101, {face_block(face(39, blank_shape(), 33))});

    // Edges: every curve kind as an XYZ or UV curve.
    {
        QelCurvedata uv1 = fixtures::spline({0.0, 0.5, 1.0}), uv2 = fixtures::point(7),
                     xyz = fixtures::line(2, 3);
        QelEdgedata e = edge(1, 1, 0, &uv1, &uv2, &xyz, true);
        qel_intf_data_edge_append(root, &e);
    }
    {
        QelCurvedata uv1 = fixtures::bspline(true), xyz = fixtures::arc();
        QelEdgedata e = edge(2, uint32_t(-1), 1, &uv1, nullptr, &xyz, false);
        qel_intf_data_edge_append(root, &e);
    }
    {
        QelCurvedata closed = ellipse(0.0, 6.28309);
        QelEdgedata e = edge(3, 1, 1, nullptr, nullptr, &closed, false);
        qel_intf_data_edge_append(root, &e);
    }
    {
        QelCurvedata open = ellipse(0.0, 6.2830);
        QelEdgedata e = edge(4, 0, 0, nullptr, nullptr, &open, false);
        qel_intf_data_edge_append(root, &e);
    }

    // Datums: a coordinate system, a plane, a simple and a composite curve,
    // and one of no known type.
    auto add_datum = [&](const QelDatumdata& d) {
        EXPECT_EQ(qel_intf_data_datum_append(root, &d), QEL_OK);
    };
    add_datum(datum(51, QEL_DATUM_CSYS, u"CS0", frame_body(7)));
    add_datum(datum(52, QEL_DATUM_PLANE, u"DTM1", frame_body(8)));
    add_datum(datum(53, QEL_DATUM_CURVE, u"CRV", curve_body(fixtures::line(4, 5))));
    add_datum(datum(54, QEL_DATUM_CURVE, u"CMP", curve_body(fixtures::composite())));
    // Its name holds a line end: the line that tells it stays one line.
    add_datum(datum(55, 99, u"O\nDD", frame_body(9)));
    return root;
}

template <class T> T* entry(neut_har har, int i) {
    return static_cast<T*>(har_access(har, i, nullptr, nullptr));
}

std::vector<double> doubles(const double* arr) {
    return arr ? std::vector<double>(arr, arr + xar_count(arr)) : std::vector<double>{};
}

std::vector<int32_t> ints(const int32_t* arr) {
    return arr ? std::vector<int32_t>(arr, arr + xar_count(arr)) : std::vector<int32_t>{};
}

std::vector<double> v3(const double* v) { return {v[0], v[1], v[2]}; }

template <class T> void expect_frame(const T* r, double ox) {
    EXPECT_EQ(v3(r->e1), v3(kE1));
    EXPECT_EQ(v3(r->e2), v3(kE2));
    EXPECT_EQ(v3(r->e3), v3(kE3));
    EXPECT_EQ(r->origin[0], ox);
}

// ---- tests ----------------------------------------------------------------------------

TEST(NeutralConvert, WholeModelFieldByField) {
    qel_intf_data* root = whole_model();
    Messages msgs;
    neut_part* part = nullptr;
    ASSERT_EQ(cnv_qlk_neut(root, &part, 0), QEL_OK);
    ASSERT_NE(part, nullptr);

    EXPECT_EQ(part->accuracy, 0.0125);
    EXPECT_EQ(part->accuracy_is_relative, 0);
    EXPECT_EQ(part->outline[0][2], -3.0);
    EXPECT_EQ(part->outline[1][0], 4.0);

    // Surfaces: the eleven known kinds in order; the three others dropped.
    ASSERT_EQ(har_total(part->surfaces), 11);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_surfaceshape", "Surface shape 'COONS' is obsolete"), 2);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_surfaceshape", "Unknown surface shape 47"), 1);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_surfaceshape", "QelSurface 'NONE' is out of service"), 1);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_surfaceshape", "Surface shape 'FOREIGN' is out of service"),
              1);
    const int32_t kinds[11] = {34, 36, 37, 38, 40, 41, 42, 43, 44, 45, 48};
    for (int i = 0; i < 11; ++i) {
        const auto* s = entry<neut_surface>(part->surfaces, i);
        EXPECT_EQ(s->id, i + 1);
        EXPECT_EQ(s->surface_type, kinds[i]);
        ASSERT_NE(s->surface, nullptr);
        EXPECT_EQ(s->uv_max[1], 2.0 * (i + 1));
        EXPECT_EQ(s->xyz_min[0], -(i + 1.0));
        EXPECT_EQ(s->xyz_max[2], i + 3.0);
    }

    // Face 1: plane with its loops; traversal 0 gives a loop and a message,
    // traversal 2 none (told).
    const auto* plane_face = entry<neut_surface>(part->surfaces, 0);
    EXPECT_EQ(plane_face->orient, 1);
    ASSERT_EQ(xar_count(plane_face->loops), 3);
    EXPECT_EQ(ints(plane_face->loops[0].edge_ids), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(ints(plane_face->loops[1].edge_ids), (std::vector<int32_t>{4}));
    EXPECT_EQ(ints(plane_face->loops[2].edge_ids), (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(msgs.count("cnv_qlk_neut_surface", "Contour traverce must be defined"), 1);
    expect_frame(static_cast<neut_plane*>(plane_face->surface), 1);
    EXPECT_EQ(entry<neut_surface>(part->surfaces, 1)->loops, nullptr);

    // Orientation: -1 stays, 0 becomes 1 and 7 leaves 0 (both told).
    EXPECT_EQ(entry<neut_surface>(part->surfaces, 1)->orient, -1);
    EXPECT_EQ(entry<neut_surface>(part->surfaces, 2)->orient, 1);
    EXPECT_EQ(entry<neut_surface>(part->surfaces, 3)->orient, 0);

    auto shape = [&](int i) { return entry<neut_surface>(part->surfaces, i)->surface; };
    EXPECT_EQ(static_cast<neut_cylinder*>(shape(1))->radius, 2.5);
    expect_frame(static_cast<neut_cylinder*>(shape(1)), 1);
    EXPECT_EQ(static_cast<neut_cone*>(shape(2))->alpha, 0.75);
    EXPECT_EQ(static_cast<neut_torus*>(shape(3))->radius1, 5.0);
    EXPECT_EQ(static_cast<neut_torus*>(shape(3))->radius2, 1.0);

    const auto* spl = static_cast<neut_spl_srf*>(shape(4));
    EXPECT_EQ(doubles(spl->u_params), (std::vector<double>{0, 1}));
    EXPECT_EQ(doubles(spl->v_params), (std::vector<double>{0, 2}));
    EXPECT_EQ(xar_count(spl->points), 12);
    EXPECT_EQ(spl->points[11], 1.0);
    EXPECT_EQ(xar_count(spl->u_tangents), 12);
    EXPECT_EQ(spl->v_tangents[1], 1.0);
    EXPECT_EQ(doubles(spl->uv_derivs)[2], 9.0);
    EXPECT_EQ(spl->tan_cond[0], 0);

    const auto* fil = static_cast<neut_fillet_srf*>(shape(5));
    EXPECT_EQ(fil->pnt_spline->type, 12);
    EXPECT_EQ(doubles(fil->ctr_spline->params), (std::vector<double>{0, 2, 3}));
    EXPECT_EQ(xar_count(fil->ctr_spline->points), 9);
    EXPECT_EQ(fil->ctr_spline->points[3], 2.0); // x of the second point
    EXPECT_EQ(fil->ctr_spline->tangents[4], 4.0); // 2p of the second point
    EXPECT_EQ(doubles(fil->tan_spline->params), (std::vector<double>{0, 4}));

    const auto* rul = static_cast<neut_rul_srf*>(shape(6));
    expect_frame(rul, 1);
    ASSERT_EQ(rul->curve_type1, NEUT_CURVE_LINE);
    EXPECT_EQ(reinterpret_cast<neut_line*>(rul->C1)->end2[1], 1.0);
    ASSERT_EQ(rul->curve_type2, NEUT_CURVE_ARC);
    const auto* arc = reinterpret_cast<neut_arc*>(rul->C2);
    EXPECT_EQ(v3(arc->origin), (std::vector<double>{5, 5, 5}));
    EXPECT_EQ(arc->end_angle, 1.5);
    EXPECT_EQ(arc->radius, 2.0);

    const auto* rev = static_cast<neut_srf_rev*>(shape(7));
    ASSERT_EQ(rev->curve_type, NEUT_CURVE_BSPLINE);
    const auto* bsp = reinterpret_cast<neut_bspline*>(rev->C);
    EXPECT_EQ(bsp->type, NEUT_CURVE_BSPLINE);
    EXPECT_EQ(bsp->degree, 3);
    EXPECT_EQ(xar_count(bsp->params), 9);
    EXPECT_EQ(doubles(bsp->weights), (std::vector<double>{1, 0.5, 1, 0.5, 1}));
    EXPECT_EQ(xar_count(bsp->c_pnts), 15);
    EXPECT_EQ(bsp->c_pnts[9], 3.0);

    const auto* tab = static_cast<neut_tab_cyl*>(shape(8));
    ASSERT_EQ(tab->curve_type, NEUT_CURVE_ELLIPSE);
    const auto* ell = reinterpret_cast<neut_ellipse*>(tab->C);
    EXPECT_EQ(v3(ell->origin), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(v3(ell->vector1), v3(kE1));
    EXPECT_EQ(v3(ell->vector2), v3(kE2));
    EXPECT_EQ(ell->radius1, 4.0);
    EXPECT_EQ(ell->radius2, 2.0);
    EXPECT_EQ(ell->start_angle, 0.5);

    const auto* bss = static_cast<neut_bspl_srf*>(shape(9));
    EXPECT_EQ(bss->degree[0], 1);
    EXPECT_EQ(doubles(bss->v_params), (std::vector<double>{0, 0, 2, 2}));
    EXPECT_EQ(xar_count(bss->c_pnts), 12);
    EXPECT_EQ(bss->c_pnts[11], 2.0);
    EXPECT_EQ(doubles(bss->weights), (std::vector<double>{1, 0.5, 0.5, 1}));

    const auto* csp = static_cast<neut_cyl_splsrf*>(shape(10));
    expect_frame(csp, 1);
    EXPECT_EQ(doubles(csp->splsrf.v_params), (std::vector<double>{0, 2}));
    EXPECT_EQ(xar_count(csp->splsrf.uv_derivs), 12);

    // Quilts: 100 with its plane only; 101 dropped.
    ASSERT_EQ(xar_count(part->quilts), 1);
    EXPECT_EQ(part->quilts[0]->id, 100);
    ASSERT_EQ(xar_count(part->quilts[0]->surfaces), 1);
    EXPECT_EQ(part->quilts[0]->surfaces[0]->id, 31);
    EXPECT_EQ(part->quilts[0]->surfaces[0]->surface_type, NEUT_SURF_PLANE);

    // Edges.
    ASSERT_EQ(har_total(part->edges), 4);
    const auto* e1 = entry<neut_edge>(part->edges, 0);
    EXPECT_EQ(e1->id, 1);
    EXPECT_EQ(e1->surface_ids[0], 10);
    EXPECT_EQ(e1->surface_ids[1], 11);
    EXPECT_EQ(e1->direction[0], -1); // host 1
    EXPECT_EQ(e1->direction[1], 1);  // host 0
    EXPECT_EQ(doubles(e1->uv_points), (std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8}));
    ASSERT_EQ(e1->curve_type, NEUT_CURVE_LINE);
    EXPECT_EQ(reinterpret_cast<neut_line*>(e1->curve)->end1[0], 2.0);
    ASSERT_NE(e1->uv_curves[0], nullptr);
    EXPECT_EQ(e1->uv_curves[0]->id, 0);
    EXPECT_EQ(e1->uv_curves[0]->flip, 1);
    EXPECT_EQ(e1->uv_curves[0]->curve_type, NEUT_CURVE_SPLINE);
    EXPECT_EQ(xar_count(reinterpret_cast<neut_spline*>(e1->uv_curves[0]->curve)->points), 9);
    ASSERT_NE(e1->uv_curves[1], nullptr);
    EXPECT_EQ(e1->uv_curves[1]->curve_type, NEUT_CURVE_POINT);
    EXPECT_EQ(v3(reinterpret_cast<neut_point*>(e1->uv_curves[1]->curve)->xyz),
              (std::vector<double>{7, 2, 3}));

    const auto* e2 = entry<neut_edge>(part->edges, 1);
    EXPECT_EQ(e2->direction[0], 1);  // host -1
    EXPECT_EQ(e2->direction[1], -1); // host 1
    EXPECT_EQ(e2->uv_points, nullptr);
    EXPECT_EQ(e2->curve_type, NEUT_CURVE_ARC);
    EXPECT_EQ(e2->uv_curves[0]->curve_type, NEUT_CURVE_BSPLINE);
    EXPECT_EQ(e2->uv_curves[1], nullptr);
    EXPECT_EQ(entry<neut_edge>(part->edges, 2)->curve_type, NEUT_CURVE_ELLIPSE_CLOSED);
    EXPECT_EQ(entry<neut_edge>(part->edges, 2)->curve->type, NEUT_CURVE_ELLIPSE_CLOSED);
    EXPECT_EQ(entry<neut_edge>(part->edges, 3)->curve_type, NEUT_CURVE_ELLIPSE);

    // Datums by type; type 99 lands nowhere.
    ASSERT_EQ(xar_count(part->coord_systems), 1);
    const neut_csys* cs = part->coord_systems[0];
    EXPECT_EQ(cs->id, 51);
    EXPECT_EQ(std::u16string(cs->name), u"CS0");
    expect_frame(cs, 7);
    ASSERT_EQ(xar_count(part->datum_planes), 1);
    EXPECT_EQ(part->datum_planes[0]->id, 52);
    EXPECT_EQ(std::u16string(part->datum_planes[0]->name), u"DTM1");
    expect_frame(part->datum_planes[0]->plane, 8);
    ASSERT_EQ(xar_count(part->datum_curves), 2);
    const neut_datum_curve* simple = part->datum_curves[0];
    EXPECT_EQ(simple->id, 53);
    EXPECT_EQ(simple->is_composite, 0);
    EXPECT_EQ(std::u16string(simple->name), u"CRV");
    const auto* uvc = static_cast<neut_uv_curve*>(simple->curve);
    EXPECT_EQ(uvc->id, -1);
    EXPECT_EQ(uvc->flip, 1);
    EXPECT_EQ(uvc->curve_type, NEUT_CURVE_LINE);
    EXPECT_EQ(reinterpret_cast<neut_line*>(uvc->curve)->end2[0], 5.0);
    const neut_datum_curve* comp = part->datum_curves[1];
    EXPECT_EQ(comp->is_composite, 1);
    const auto* comps = static_cast<neut_composite_curve*>(comp->curve)->components;
    ASSERT_EQ(xar_count(comps), 2);
    EXPECT_EQ(comps[0].curve_type, NEUT_CURVE_LINE);
    EXPECT_EQ(comps[0].flip, -1); // host direction 1
    EXPECT_EQ(comps[1].curve_type, NEUT_CURVE_SPLINE);
    EXPECT_EQ(comps[1].flip, 1);

    // Nothing else was reported; what the part lacks is told once per kind
    // of message, naming the first item: also the loop of traversal 2, the
    // orientations 0 (written as 1) and 7, the datum of no type that no
    // neutral record holds and the three directions none on a face,
    // written as 1.
    EXPECT_EQ(msgs.lines.size(), 22u);
    for (const char* told :
         {"face 1 was not converted whole: No neutral loop for a contour of traversal 2 "
          "(cnv_qlk_neut_surface)",
          "edge 1 was not converted whole: No neutral direction for an edge of direction 0 "
          "(none) on face 11: written as 1 (cnv_qlk_neut_edge); 2 more like it",
          "face 3 was not converted whole: No neutral orientation for a surface of orientation 0 "
          "(none): written as 1 (cnv_qlk_neut_surface)",
          "face 4 was not converted whole: No neutral orientation for a surface of orientation 7 "
          "(cnv_qlk_neut_surface)",
          "datum 55 \"O\\x0ADD\" was not converted whole: No neutral record for a datum of type -1 "
          "(cnv_qlk_neut)",
          "face 12 was not converted whole: Surface shape 'COONS' is obsolete "
          "(cnv_qlk_neut_surfaceshape); 1 more like it",
          "face 13 was not converted whole: Unknown surface shape 47 (cnv_qlk_neut_surfaceshape)",
          "face 14 was not converted whole: QelSurface 'NONE' is out of service "
          "(cnv_qlk_neut_surfaceshape)",
          "face 32 of quilt 100 was not converted whole: Surface shape 'FOREIGN' is out of "
          "service (cnv_qlk_neut_surfaceshape)"})
        EXPECT_EQ(msgs.count("cnv_qlk_neut", told), 1) << told;

    // The writer takes every record as made.
    const std::string path = testing::TempDir() + "whole_" + std::to_string(::getpid()) + ".neu";
    EXPECT_EQ(stream_neutral_to_pfa(btkStrUtf8ToUtf16(path).c_str(), part), 1);
    std::remove(path.c_str());

    // The interface data is left as it was: converting it again gives the
    // same, and it is freed on its own afterwards.
    int32_t count = 0;
    qel_intf_data_surface_count(root, &count);
    EXPECT_EQ(count, 14);
    EXPECT_EQ(release_neutral_part(part), 0);
    neut_part* again = nullptr;
    ASSERT_EQ(cnv_qlk_neut(root, &again, 0), QEL_OK);
    EXPECT_EQ(har_total(again->surfaces), 11);
    EXPECT_EQ(release_neutral_part(again), 0);
    qel_intf_data_free(root);
}

TEST(NeutralConvert, AccuracyUnsetIsReportedAndTheRestConverts) {
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    qel_intf_data_accuracy_set(root, 0.5);
    Messages msgs;
    neut_part* part = nullptr;
    // Written as absolute and told, also in a part of nothing else: the
    // part holds its accuracy kind whatever else it holds.
    const char* told = "the part was not converted whole: No neutral accuracy kind for accuracy "
                       "kind 0 (undefined): written as absolute (cnv_qlk_neut)";
    ASSERT_EQ(cnv_qlk_neut(root, &part, 0), QEL_OK);
    EXPECT_EQ(msgs.count("cnv_qlk_neut", told), 1);
    EXPECT_EQ(part->accuracy_is_relative, 0);
    EXPECT_EQ(part->accuracy, 0.5);
    // No surfaces or edges: null arrays, not empty ones.
    EXPECT_EQ(part->surfaces, nullptr);
    EXPECT_EQ(part->edges, nullptr);
    EXPECT_EQ(part->quilts, nullptr);
    EXPECT_EQ(release_neutral_part(part), 0);

    qel_curvedata_type_set(root, QEL_ACCURACY_RELATIVE);
    ASSERT_EQ(cnv_qlk_neut(root, &part, 0), QEL_OK);
    EXPECT_EQ(part->accuracy_is_relative, 1);
    EXPECT_EQ(msgs.count("cnv_qlk_neut", told), 1);
    EXPECT_EQ(release_neutral_part(part), 0);
    qel_intf_data_free(root);
}

TEST(NeutralConvert, FailingItemsAreDroppedOrKeptIncomplete) {
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    qel_curvedata_type_set(root, QEL_ACCURACY_RELATIVE);

    // A ruled surface whose first curve is of a retired kind: the record is
    // kept with curve 1 unset, curve 2 converted.
    QelSurfaceshapedata s = blank_shape();
    s.rulsrf.curve1 = fixtures::kind10();
    s.rulsrf.curve2 = fixtures::line(0, 1);
    QelSurfacedata f = face(QEL_SURF_RULED, s, 1);
    qel_intf_data_surface_append(root, &f);
    // A surface of revolution whose profile is a composite: kept, no curve.
    s = blank_shape();
    s.srfrev.profile = fixtures::composite();
    f = face(QEL_SURF_REVOLVED, s, 2);
    qel_intf_data_surface_append(root, &f);

    // An edge whose XYZ curve has been cleared and whose UV curve is of a
    // kind without a record: no curve, a UV-curve record without curve.
    QelCurvedata cleared{}, ten = fixtures::kind10();
    cleared.kind = QEL_CURVE_CLEARED;
    QelEdgedata e = edge(5, 1, 1, &ten, nullptr, &cleared, false);
    qel_intf_data_edge_append(root, &e);

    // A composite datum curve with a composite component: reported; the
    // component holds no curve of its own.
    QelComponentcurvedata parts[2];
    QelCurvedata inner = fixtures::composite(), l = fixtures::line(0, 2);
    qel_componentcurvedata_init(&inner, 0, &parts[0]);
    qel_componentcurvedata_init(&l, 0, &parts[1]);
    QelComponentcurvedata* arr = xar_of({parts[0], parts[1]});
    QelCurvedata outer{};
    qel_compositecurvedata_init(arr, &outer);
    xar_free(arr);
    QelDatumdata d = datum(9, QEL_DATUM_CURVE, u"REC", curve_body(outer));
    qel_intf_data_datum_append(root, &d);

    // A curve of kind 56 (no neutral record) as a profile, an edge's curve
    // and a datum's: each kept without its curve, told.
    const auto kind56 = [] {
        QelCurvedata c{};
        c.kind56.kind = QEL_CURVE_KIND56;
        return c;
    };
    s = blank_shape();
    s.srfrev.profile = kind56();
    f = face(QEL_SURF_REVOLVED, s, 3);
    qel_intf_data_surface_append(root, &f);
    QelCurvedata k56 = kind56();
    e = edge(6, 1, 1, nullptr, nullptr, &k56, false);
    qel_intf_data_edge_append(root, &e);
    d = datum(10, QEL_DATUM_CURVE, u"K56", curve_body(kind56()));
    qel_intf_data_datum_append(root, &d);

    Messages msgs;
    neut_part* part = nullptr;
    ASSERT_EQ(cnv_qlk_neut(root, &part, 0), QEL_OK);

    ASSERT_EQ(har_total(part->surfaces), 3);
    EXPECT_EQ(static_cast<neut_srf_rev*>(entry<neut_surface>(part->surfaces, 2)->surface)->C,
              nullptr);
    EXPECT_EQ(entry<neut_edge>(part->edges, 1)->curve, nullptr);
    ASSERT_EQ(xar_count(part->datum_curves), 2);
    EXPECT_EQ(static_cast<neut_uv_curve*>(part->datum_curves[1]->curve)->curve, nullptr);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_curve", "No neutral record for QelCurvedata of kind 56"), 3);
    EXPECT_EQ(msgs.count("cnv_qlk_neut",
                         "face 3 was not converted whole: No neutral record for QelCurvedata of "
                         "kind 56 (cnv_qlk_neut_curve); 2 more like it"),
              1);
    const auto* rul = static_cast<neut_rul_srf*>(entry<neut_surface>(part->surfaces, 0)->surface);
    EXPECT_EQ(rul->C1, nullptr);
    EXPECT_EQ(rul->curve_type1, 0);
    EXPECT_EQ(rul->curve_type2, NEUT_CURVE_LINE);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_curve", "QelCurvedata CIRCLE is out of service"), 2);
    const auto* rev = static_cast<neut_srf_rev*>(entry<neut_surface>(part->surfaces, 1)->surface);
    EXPECT_EQ(rev->C, nullptr);

    const auto* edge5 = entry<neut_edge>(part->edges, 0);
    EXPECT_EQ(edge5->curve, nullptr);
    ASSERT_NE(edge5->uv_curves[0], nullptr);
    EXPECT_EQ(edge5->uv_curves[0]->curve, nullptr);

    const auto* comps =
        static_cast<neut_composite_curve*>(part->datum_curves[0]->curve)->components;
    ASSERT_EQ(xar_count(comps), 2);
    EXPECT_EQ(comps[0].curve, nullptr);
    EXPECT_NE(comps[1].curve, nullptr);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_datum_curve",
                         "Recursive QelCompositeCurvedata is unaccepted"),
              1);
    EXPECT_EQ(msgs.count("cnv_qlk_neut_curve", "QelCurvedata CMP_CRV is out of service"), 2);
    EXPECT_EQ(release_neutral_part(part), 0);

    // Ownership stays with the interface data, which frees the retired
    // kinds on its own.
    qel_intf_data_free(root);
}

TEST(NeutralConvert, NullArguments) {
    neut_part* part = reinterpret_cast<neut_part*>(uintptr_t(1));
    EXPECT_EQ(cnv_qlk_neut(nullptr, &part, 0), QEL_ERR_BAD_ARG);
    ASSERT_NE(part, nullptr); // handed out empty all the same
    EXPECT_EQ(part->surfaces, nullptr);
    EXPECT_EQ(release_neutral_part(part), 0);
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    EXPECT_EQ(cnv_qlk_neut(root, nullptr, 0), QEL_ERR_BAD_ARG);
    qel_intf_data_free(root);
}

} // namespace

// ---- run mode --------------------------------------------------------------------------

namespace {

// In a fresh process (the run mode is read once per process): sets the
// run-mode variable to `value` (null: unset), keeps messages otherwise
// disabled as a session does, converts interface data without accuracy
// kind of a face without orientation whose contour has no traversal, and
// exits.
void ConvertInFreshProcess(const char* value) {
    if (value)
        setenv("ZORVAN_RUN_MODE", value, 1);
    else
        unsetenv("ZORVAN_RUN_MODE");
    disable_msg_put(1);
    qel_intf_data* root = nullptr;
    qel_intf_data_alloc(&root);
    QelSurfaceshapedata s = blank_shape();
    const double o[3] = {0, 0, 0};
    qel_planedata_init(kE1, kE2, kE3, o, &s);
    QelSurfacedata f = face(QEL_SURF_PLANE, s, 1, QEL_ORIENT_NONE);
    QelContourdata* contours = xar_of({QelContourdata{0, xar_of({5, 6})}});
    qel_surfacedata_contours_set(&f, contours);
    xar_free(contours);
    qel_intf_data_surface_append(root, &f);
    neut_part* part = nullptr;
    cnv_qlk_neut(root, &part, 0);
    release_neutral_part(part);
    qel_intf_data_free(root);
    std::fflush(stderr);
    std::_Exit(get_run_mode() == (value ? std::atoi(value) : 0) ? 0 : 1);
}

} // namespace

TEST(NeutralConvertRunMode, TheSwitchPrintsEachMessageOnceOnStandardError) {
    // Death-test children start the program afresh, so each reads the
    // variable itself.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // What the part holds as another value is told whatever the run mode;
    // the loop kept without its traversal is said in a nonzero one only.
    const std::string told =
        "cnv_qlk_neut: the part was not converted whole: No neutral accuracy kind for accuracy "
        "kind 0 \\(undefined\\): written as absolute \\(cnv_qlk_neut\\)\n"
        "cnv_qlk_neut: face 1 was not converted whole: No neutral orientation for a surface of "
        "orientation 0 \\(none\\): written as 1 \\(cnv_qlk_neut_surface\\)\n$";
    const std::string assumed = "^-cnv_qlk_neut_surface- Contour traverce must be defined\n";
    EXPECT_EXIT(ConvertInFreshProcess("1"), testing::ExitedWithCode(0), assumed + told);
    EXPECT_EXIT(ConvertInFreshProcess(" 2 "), testing::ExitedWithCode(0), assumed + told);
    // Off: unset, zero, or not a number (which is told instead). The
    // observer hears it all the same.
    EXPECT_EXIT(ConvertInFreshProcess(nullptr), testing::ExitedWithCode(0), "^" + told);
    EXPECT_EXIT(ConvertInFreshProcess("0"), testing::ExitedWithCode(0), "^" + told);
    EXPECT_EXIT(ConvertInFreshProcess("yes"), testing::ExitedWithCode(0),
                "^ZORVAN_RUN_MODE=\"yes\" is not a whole number; the run mode is 0\n" + told);
    GTEST_FLAG_SET(death_test_style, style);
}
