// Deep copies of host records, and the copy and release of the extension
// record.
#include "kernel/records/qel_copy.h"

#include "xmemory.h"
#include "kernel/records/qel_annot_copy.h"
#include "kernel/records/qel_internal.h"
#include "kernel/records/qel_routines.h"

#include <cstring>
#include <initializer_list>

using namespace qel_detail;

namespace {

constexpr int kOk = QEL_OK;
constexpr int kBad = QEL_ERR_BAD_ARG;
constexpr int kNoMem = QEL_ERR_NO_MEMORY;

int component_array_copy(const QelComponentcurvedata* src, QelComponentcurvedata** out,
                         int depth, bool as_read);

// Releases an array of components whose curves this code made.
void components_release(QelComponentcurvedata*& comps) {
    const int n = xar_count(comps);
    for (int i = 0; i < n; ++i)
        curve_clear(&comps[i].curve, 0);
    xar_free(comps);
}

// Releases an array of contours together with their edge-id arrays.
void contours_release(QelContourdata*& contours) {
    const int n = xar_count(contours);
    for (int i = 0; i < n; ++i)
        qel_contourdata_clear(&contours[i]);
    xar_free(contours);
}

int copy_simple_curve(const QelCurvedata* src, QelCurvedata* out, int32_t kind) {
    double a[3], b[3], c[3], s1 = 0, s2 = 0, s3 = 0, s4 = 0;
    int st;
    switch (kind) {
    case QEL_CURVE_POINT:
        st = qel_pointdata_get(src, a);
        return st != kOk ? st : qel_pointdata_init(a, out);
    case QEL_CURVE_LINE:
        st = qel_linedata_get(src, a, b);
        return st != kOk ? st : qel_linedata_init(a, b, out);
    case QEL_CURVE_ARC:
        st = qel_arcdata_get(src, a, b, c, &s1, &s2, &s3);
        return st != kOk ? st : qel_arcdata_init(a, b, c, s1, s2, s3, out);
    case QEL_CURVE_KIND10:
        st = qel_curvekind10_get(a, b, &s1, src);
        return st != kOk ? st : qel_curvekind10_init(out, a, b, s1);
    case QEL_CURVE_ELLIPSE:
        st = qel_ellipsedata_get(src, a, b, c, &s1, &s2, &s3, &s4);
        return st != kOk ? st : qel_ellipsedata_init(a, b, c, s1, s2, s3, s4, out);
    default:
        return kBad;
    }
}

// The spline's three arrays each hold its count of items (a document may
// hold a spline of none).
bool spline_holds_count(const QelSplinedata& s) {
    const int n = xar_len<double>(s.params);
    return n >= 0 && uint32_t(n) == s.count && xar_len<QelPoint>(s.points) == n &&
           xar_len<QelPoint>(s.tangents) == n;
}

// The B-spline's arrays hold its counts: knots, control points and (when it
// has them) weights.
bool bspline_holds_counts(const double* knots, const double* weights, const QelPoint* points,
                          uint32_t knot_count, uint32_t point_count) {
    return knots && xar_len<double>(knots) == int64_t(knot_count) && points &&
           xar_len<QelPoint>(points) == int64_t(point_count) &&
           (!weights || xar_len<double>(weights) == int64_t(point_count));
}

// A spline head as a whole curve, for the curve copy.
QelCurvedata head_as_curve(const QelSplinedata& head) {
    QelCurvedata c;
    std::memset(&c, 0, sizeof(c));
    c.spline = head;
    return c;
}

// Copies entries of a har of T into a root through `copy` (making a new
// record) and `append`; the new record's block is released after the append.
template <class T, class Copy, class Append, class Free>
int copy_root_array(const void* src, Copy copy, Append append, Free free_rec) {
    int st = kOk;
    const int walk = har_each<T>(src, [&](T& entry) {
        T* made = nullptr;
        st = copy(&entry, &made);
        if (st == kOk) {
            st = append(made);
            if (st == kOk)
                qel_data_free(made); // its contents now belong to the root
            else
                free_rec(made);
        }
        return st == kOk;
    });
    return st != kOk ? st : walk;
}

// ---- faceted representations -----------------------------------------------------

void element_array_free(void*& arr) {
    if (!arr)
        return;
    har_each<void*>(arr, [](void*& element) {
        relmem(element);
        element = nullptr;
        return true;
    });
    har_free(arr);
}

template <class Rec> int element_array_copy(const void* src, void*& out) {
    out = nullptr;
    if (!src)
        return kOk;
    if (har_entry_size(src) != int(sizeof(void*)))
        return kBad;
    void* arr = har_alloc(int(sizeof(void*)), 100);
    if (!arr)
        return kNoMem;
    if (har_resize(&arr, har_total(src)) != kOk) {
        har_free(&arr);
        return kNoMem;
    }
    int index = 0;
    int st = kOk;
    har_each<Rec*>(src, [&](Rec*& from) {
        if (from) { // an unset slot stays unset
            auto* to = static_cast<Rec*>(getmem(sizeof(Rec)));
            if (!to) {
                st = kNoMem;
                return false;
            }
            *to = *from;
            *static_cast<Rec**>(har_access(arr, index, nullptr, nullptr)) = to;
        }
        ++index;
        return true;
    });
    if (st != kOk) {
        element_array_free(arr);
        return st;
    }
    out = arr;
    return kOk;
}

// ---- extension words -------------------------------------------------------------

// Plain copy of an xar of T records that hold no arrays.
template <class T> int copy_plain(T*& dst, const T* src) {
    if (!is_xar_of<T>(src))
        return kBad;
    return xar_cpy(dst, src);
}

int copy_layers(QelLayerdata*& dst, const QelLayerdata* src) {
    int st = copy_plain(dst, src);
    const int n = xar_count(dst);
    for (int i = 0; i < n; ++i)
        dst[i].item_ids = nullptr; // filled below; never the source's
    for (int i = 0; i < n && st == kOk; ++i)
        st = is_xar_of<uint32_t>(src[i].item_ids) ? xar_cpy(dst[i].item_ids, src[i].item_ids)
                                                  : kBad;
    return st;
}

int copy_ext_edges(void*& dst, const void* src) {
    if (!src)
        return kOk;
    if (har_entry_size(src) != int(sizeof(QelExtEdgedata)))
        return kBad;
    if (har_copy(dst, src) != kOk)
        return kNoMem;
    har_each<QelExtEdgedata>(dst, [](QelExtEdgedata& e) {
        e.start_comps = nullptr;
        e.end_comps = nullptr;
        return true;
    });
    int index = 0;
    int st = kOk;
    har_each<QelExtEdgedata>(dst, [&](QelExtEdgedata& e) {
        auto* from = static_cast<const QelExtEdgedata*>(har_access(src, index++, nullptr, nullptr));
        if (!is_xar_of<QelVtxCompdata>(from->start_comps) ||
            !is_xar_of<QelVtxCompdata>(from->end_comps))
            st = kBad;
        else if (xar_cpy(e.start_comps, from->start_comps) != kOk ||
                 xar_cpy(e.end_comps, from->end_comps) != kOk)
            st = kNoMem;
        return st == kOk;
    });
    return st;
}

int copy_solid_regions(QelSolidRegiondata*& dst, const QelSolidRegiondata* src) {
    int st = copy_plain(dst, src);
    const int n = xar_count(dst);
    for (int i = 0; i < n; ++i)
        dst[i] = QelSolidRegiondata{};
    for (int i = 0; i < n && st == kOk; ++i) {
        const QelSolidRegiondata& from = src[i];
        QelSolidRegiondata& to = dst[i];
        if (!is_xar_of<int32_t>(from.external_shell) || !is_xar_of<int32_t*>(from.internal_shells))
            return kBad;
        if (xar_cpy(to.external_shell, from.external_shell) != kOk ||
            xar_cpy(to.internal_shells, from.internal_shells) != kOk)
            return kNoMem;
        const int shells = xar_count(to.internal_shells);
        for (int j = 0; j < shells; ++j)
            to.internal_shells[j] = nullptr;
        for (int j = 0; j < shells && st == kOk; ++j) {
            st = is_xar_of<int32_t>(from.internal_shells[j])
                     ? xar_cpy(to.internal_shells[j], from.internal_shells[j])
                     : kBad;
        }
    }
    return st;
}

int copy_faceted_reps(void*& dst, const void* src) {
    if (!src)
        return kOk;
    if (har_entry_size(src) != int(sizeof(QelFacetedRepdata)))
        return kBad;
    dst = har_alloc(int(sizeof(QelFacetedRepdata)), 100);
    if (!dst)
        return kNoMem;
    if (har_resize(&dst, har_total(src)) != kOk)
        return kNoMem;
    int index = 0;
    int st = kOk;
    har_each<QelFacetedRepdata>(src, [&](QelFacetedRepdata& from) {
        auto* to = static_cast<QelFacetedRepdata*>(har_access(dst, index++, nullptr, nullptr));
        st = qel_facetedrep_copy(&from, to);
        return st == kOk;
    });
    return st;
}

} // namespace

namespace qel_detail {

int curve_deep_copy(const QelCurvedata* src, QelCurvedata* dst, int depth, bool as_read) {
    if (!src || !dst)
        return kBad;
    if (depth > kMaxCurveNesting) {
        dst->kind = QEL_CURVE_CLEARED;
        return kBad;
    }
    int32_t kind = 0;
    int st = qel_curvedata_type_get(src, &kind);
    if (st != kOk) {
        dst->kind = QEL_CURVE_CLEARED;
        return st;
    }
    QelCurvedata out;
    std::memset(&out, 0, sizeof(out));
    switch (kind) {
    case QEL_CURVE_SPLINE: {
        QelSplinedata tmp{};
        st = qel_splinedata_get(src, &tmp.params, &tmp.points, &tmp.tangents, &tmp.count);
        if (st == kOk)
            st = qel_splinedata_init(tmp.params, tmp.points, tmp.tangents, tmp.count, &out);
        if (st == kBad && as_read && spline_holds_count(tmp)) {
            // Parameters that do not increase: the copies are the curve's.
            tmp.kind = QEL_CURVE_SPLINE;
            out.spline = tmp;
            tmp = QelSplinedata{};
            st = kOk;
        }
        spline_arrays_free(tmp);
        break;
    }
    case QEL_CURVE_BSPLINE: {
        int32_t degree = 0;
        double *knots = nullptr, *weights = nullptr;
        QelPoint* points = nullptr;
        uint32_t nk = 0, np = 0;
        st = qel_bsplinedata_get(src, &degree, &knots, &weights, &points, &nk, &np);
        if (st == kOk) {
            st = qel_bsplinedata_init(degree, knots, weights, points, nk, np, &out);
            if (st == QEL_ERR_BSPL_DEGREE || st == QEL_ERR_BSPL_UNCLAMPED)
                st = kOk;
            else if (st != kOk && out.kind == QEL_CURVE_BSPLINE)
                curve_clear(&out, 0); // what the refused init had written
            if (st == kBad && as_read && bspline_holds_counts(knots, weights, points, nk, np)) {
                // A degree below 1 or knots out of order: the copies are
                // the curve's.
                std::memset(&out, 0, sizeof(out));
                out.bspline = QelBsplinedata{QEL_CURVE_BSPLINE, degree, knots, weights, points,
                                             nk, np};
                knots = weights = nullptr;
                points = nullptr;
                st = kOk;
            }
        }
        xar_free(knots);
        xar_free(weights);
        xar_free(points);
        break;
    }
    case QEL_CURVE_COMPOSITE: {
        QelComponentcurvedata* shallow = nullptr;
        QelComponentcurvedata* deep = nullptr;
        st = qel_compositecurvedata_get(src, &shallow);
        if (st == kOk)
            st = component_array_copy(shallow, &deep, depth, as_read);
        if (st == kOk) {
            st = qel_compositecurvedata_init(deep, &out);
            if (st == kOk)
                xar_free(deep); // its curves now belong to `out`
            else
                components_release(deep);
        }
        xar_free(shallow);
        break;
    }
    default:
        st = copy_simple_curve(src, &out, kind);
        break;
    }
    if (st != kOk) {
        dst->kind = QEL_CURVE_CLEARED;
        return st;
    }
    *dst = out;
    return kOk;
}

} // namespace qel_detail

namespace {

int component_array_copy(const QelComponentcurvedata* src, QelComponentcurvedata** out,
                         int depth, bool as_read) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src || !is_xar_of<QelComponentcurvedata>(src))
        return kBad;
    void* arr = nullptr;
    int st = QelArrayAlloc(0, int(sizeof(QelComponentcurvedata)), 1, &arr);
    if (st != kOk)
        return st;
    const int n = xar_count(src);
    for (int i = 0; i < n && st == kOk; ++i) {
        QelCurvedata curve, copy;
        uint32_t direction = 0;
        st = qel_componentcurvedata_get(&src[i], &curve, &direction);
        if (st == kOk)
            st = curve_deep_copy(&curve, &copy, depth + 1, as_read);
        if (st != kOk)
            break;
        QelComponentcurvedata comp;
        std::memset(&comp, 0, sizeof(comp));
        qel_componentcurvedata_init(&copy, direction, &comp);
        st = QelArrayObjectAdd(&arr, -1, 1, &comp);
        if (st != kOk)
            curve_clear(&copy, 0);
    }
    auto* comps = static_cast<QelComponentcurvedata*>(arr);
    if (st != kOk) {
        components_release(comps);
        return st;
    }
    *out = comps;
    return kOk;
}

} // namespace

extern "C" {

int qel_array_copy(const void* src, void** out, int32_t elem_size) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src || elem_size <= 0)
        return kBad;
    if (har_entry_size(src) != 0 || xar_elem_size(src) != elem_size)
        return kBad;
    int count = 0;
    int st = QelArraySizeGet(src, &count);
    if (st != kOk)
        return st;
    void* arr = nullptr;
    st = QelArrayAlloc(count, elem_size, 1, &arr);
    if (st != kOk)
        return st;
    if (count > 0)
        std::memcpy(arr, src, size_t(count) * size_t(elem_size));
    *out = arr;
    return kOk;
}

int qel_curve_copy(const QelCurvedata* src, QelCurvedata* dst) {
    return curve_deep_copy(src, dst, 0);
}

int qel_component_array_copy(const QelComponentcurvedata* src, QelComponentcurvedata** out) {
    return component_array_copy(src, out, 0, false);
}

namespace {

// Kinds whose faces carry a shape record (those qel_shape_copy copies).
bool surface_kind_has_shape(uint32_t kind) {
    switch (kind) {
    case QEL_SURF_PLANE:
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE:
    case QEL_SURF_TORUS:
    case QEL_SURF_SPLINE:
    case QEL_SURF_FILLET:
    case QEL_SURF_RULED:
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL:
    case QEL_SURF_BSPLINE:
    case QEL_SURF_CYLSPLINE:
        return true;
    default:
        return false;
    }
}

// A frame as the shape inits write it.
QelFrame frame_of(const double* e1, const double* e2, const double* e3, const double* o) {
    QelFrame f;
    std::memcpy(f.e1, e1, sizeof f.e1);
    std::memcpy(f.e2, e2, sizeof f.e2);
    std::memcpy(f.e3, e3, sizeof f.e3);
    std::memcpy(f.origin, o, sizeof f.origin);
    return f;
}

int shape_copy(uint32_t kind, const QelSurfaceshapedata* src, QelSurfaceshapedata* dst,
               bool as_read) {
    if (!src || !dst)
        return kBad;
    QelSurfaceshapedata out;
    std::memset(&out, 0, sizeof(out));
    double e1[3], e2[3], e3[3], o[3];
    int st = kOk;
    switch (kind) {
    case QEL_SURF_PLANE:
        st = qel_planedata_get(src, e1, e2, e3, o);
        if (st == kOk)
            st = qel_planedata_init(e1, e2, e3, o, &out);
        break;
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE: {
        double scalar = 0;
        st = qel_cylinderdata_get(src, e1, e2, e3, o, &scalar);
        if (st == kOk)
            st = qel_cylinderdata_init(e1, e2, e3, o, scalar, &out);
        break;
    }
    case QEL_SURF_TORUS: {
        double r1 = 0, r2 = 0;
        st = qel_torusdata_get(src, e1, e2, e3, o, &r1, &r2);
        if (st == kOk)
            st = qel_torusdata_init(e1, e2, e3, o, r1, r2, &out);
        break;
    }
    case QEL_SURF_SPLINE: {
        QelSplinesrfdata t{};
        st = qel_splinesrfdata_get(src, &t.u_params, &t.v_params, &t.points, &t.u_tangents,
                                   &t.v_tangents, &t.mixed_derivs, &t.u_count, &t.v_count);
        if (st == kOk)
            st = qel_splinesrfdata_init(t.u_params, t.v_params, t.points, t.u_tangents,
                                        t.v_tangents, t.mixed_derivs, t.u_count, t.v_count, &out);
        splinesrf_arrays_free(t);
        break;
    }
    case QEL_SURF_FILLET: {
        QelSplinedata heads[3];
        st = qel_filsrfdata_get(src, &heads[0], &heads[1], &heads[2]);
        QelCurvedata copies[3];
        int made = 0;
        for (; made < 3 && st == kOk; ++made) {
            if (heads[made].kind != QEL_CURVE_SPLINE) { // a head holds a spline only
                st = kBad;
                break;
            }
            const QelCurvedata whole = head_as_curve(heads[made]);
            st = curve_deep_copy(&whole, &copies[made], 0, as_read);
            if (st != kOk)
                break;
        }
        if (st == kOk)
            st = qel_filsrfdata_init(&copies[0].spline, &copies[1].spline, &copies[2].spline,
                                     &out);
        if (st != kOk)
            for (int i = 0; i < made; ++i)
                curve_clear(&copies[i], 0);
        break;
    }
    case QEL_SURF_RULED: {
        QelCurvedata c1, c2, d1, d2;
        st = qel_rulsrfdata_get(src, e1, e2, e3, o, &c1, &c2);
        if (st == kOk)
            st = curve_deep_copy(&c1, &d1, 0, as_read);
        if (st == kOk) {
            st = curve_deep_copy(&c2, &d2, 0, as_read);
            if (st != kOk)
                curve_clear(&d1, 0);
        }
        if (st == kOk) {
            st = qel_rulsrfdata_init(e1, e2, e3, o, &d1, &d2, &out);
            if (st == QEL_ERR_PROFILE_KIND && (as_read || ruled_kinds_held(d1.kind, d2.kind))) {
                // A composite curve (which a document carries in full), or
                // curves a document held as they stand: the shape is filled
                // as the init fills it.
                out.rulsrf.frame = frame_of(e1, e2, e3, o);
                out.rulsrf.curve1 = d1;
                out.rulsrf.curve2 = d2;
                st = kOk;
            }
            if (st == QEL_ERR_BSPL_SPANS)
                st = kOk;
            else if (st != kOk) {
                curve_clear(&d1, 0);
                curve_clear(&d2, 0);
            }
        }
        break;
    }
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL: {
        QelCurvedata profile, copy;
        st = qel_srfrevdata_get(src, e1, e2, e3, o, &profile);
        if (st == kOk)
            st = curve_deep_copy(&profile, &copy, 0, as_read);
        if (st == kOk) {
            st = qel_srfrevdata_init(e1, e2, e3, o, &copy, &out);
            if (st == QEL_ERR_PROFILE_KIND && as_read) { // a profile a document held
                out.srfrev.frame = frame_of(e1, e2, e3, o);
                out.srfrev.profile = copy;
                st = kOk;
            }
            if (st == QEL_ERR_BSPL_SPANS)
                st = kOk;
            else if (st != kOk)
                curve_clear(&copy, 0);
        }
        break;
    }
    case QEL_SURF_BSPLINE: {
        uint32_t degrees[2] = {};
        QelBsplinesrfdata t{};
        st = qel_bsplinesrfdata_get(src, degrees, &t.u_knots, &t.v_knots, &t.weights, &t.points,
                                    &t.u_knot_count, &t.v_knot_count, &t.point_count);
        if (st == kOk)
            st = qel_bsplinesrfdata_init(degrees, t.u_knots, t.v_knots, t.weights, t.points,
                                         t.u_knot_count, t.v_knot_count, t.point_count, &out);
        bsplinesrf_arrays_free(t);
        break;
    }
    case QEL_SURF_CYLSPLINE: {
        QelSurfaceshapedata head, copy;
        std::memset(&head, 0, sizeof(head));
        st = qel_cylsplsrfdata_get(src, e1, e2, e3, o, &head.splinesrf);
        if (st == kOk)
            st = shape_copy(QEL_SURF_SPLINE, &head, &copy, as_read);
        if (st == kOk)
            st = qel_cylsplsrfdata_init(e1, e2, e3, o, &copy.splinesrf, &out);
        break;
    }
    default:
        st = kBad;
        break;
    }
    if (st != kOk)
        return st;
    *dst = out;
    return kOk;
}

} // namespace

int qel_shape_copy(uint32_t kind, const QelSurfaceshapedata* src, QelSurfaceshapedata* dst) {
    return shape_copy(kind, src, dst, false);
}

int qel_contour_array_copy(const QelContourdata* src, QelContourdata** out) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src || !is_xar_of<QelContourdata>(src))
        return kBad;
    void* arr = nullptr;
    int st = QelArrayAlloc(0, int(sizeof(QelContourdata)), 1, &arr);
    if (st != kOk)
        return st;
    const int n = xar_count(src);
    for (int i = 0; i < n && st == kOk; ++i) {
        QelContourdata c{};
        qel_contourdata_traversal_set(src[i].traversal, &c);
        if (src[i].edge_ids)
            st = qel_array_copy(src[i].edge_ids, c.edge_ids);
        if (st == kOk) {
            st = QelArrayObjectAdd(&arr, -1, 1, &c);
            if (st != kOk)
                qel_contourdata_clear(&c);
        }
    }
    auto* contours = static_cast<QelContourdata*>(arr);
    if (st != kOk) {
        contours_release(contours);
        return st;
    }
    *out = contours;
    return kOk;
}

namespace {

int face_copy(const QelSurfacedata* src, QelSurfacedata** out, bool as_read) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src)
        return kBad;
    QelSurfacedata* face = nullptr;
    int st = qel_surfacedata_alloc(&face);
    if (st != kOk)
        return st;
    uint32_t kind = 0, id = 0;
    double uv_min[2], uv_max[2];
    int32_t orientation = 0;
    QelSurfaceshapedata shape, copy;
    st = qel_surfacedata_get(src, &kind, uv_min, uv_max, &orientation, &shape, &id);
    if (st == kOk && !surface_kind_has_shape(kind))
        std::memset(&copy, 0, sizeof(copy)); // no shape of its own: the face alone is copied
    else if (st == kOk)
        st = shape_copy(kind, &shape, &copy, as_read);
    if (st == kOk)
        st = qel_surfacedata_init(kind, uv_min, uv_max, orientation, &copy, id, face);
    if (st == kOk) {
        // The XYZ box travels with the face (the neutral conversion reads it).
        std::memcpy(face->xyz_min, src->xyz_min, sizeof(face->xyz_min));
        std::memcpy(face->xyz_max, src->xyz_max, sizeof(face->xyz_max));
    }
    if (st == kOk && src->contours) {
        QelContourdata* contours = nullptr;
        st = qel_contour_array_copy(src->contours, &contours);
        if (st == kOk) {
            st = qel_surfacedata_contours_set(face, contours);
            if (st == kOk)
                xar_free(contours); // the face holds the edge-id arrays now
            else
                contours_release(contours);
        }
    }
    if (st != kOk) {
        qel_surfacedata_free(face);
        return st;
    }
    *out = face;
    return kOk;
}

int edge_copy(const QelEdgedata* src, QelEdgedata** out, bool as_read) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src)
        return kBad;
    uint32_t id = 0, faces[2], dirs[2];
    QelUvSample* uv = nullptr;
    QelCurvedata got[3], copies[3];
    QelCurvedata* uv_got[2] = {&got[0], &got[1]};
    int st = qel_edgedata_get(src, &id, faces, dirs, &uv, uv_got, &got[2]);
    if (st != kOk)
        return st;
    bool have[3] = {};
    for (int i = 0; i < 3 && st == kOk; ++i) {
        have[i] = !qel_curvedata_is_cleared(&got[i]);
        if (have[i]) {
            st = curve_deep_copy(&got[i], &copies[i], 0, as_read);
            if (st != kOk)
                have[i] = false;
        }
    }
    QelEdgedata* edge = nullptr;
    if (st == kOk)
        st = qel_edgedata_alloc(&edge);
    if (st == kOk) {
        QelCurvedata* uv_copies[2] = {have[0] ? &copies[0] : nullptr,
                                      have[1] ? &copies[1] : nullptr};
        st = qel_edgedata_init(id, faces, dirs, uv, have[0] || have[1] ? uv_copies : nullptr,
                               have[2] ? &copies[2] : nullptr, edge);
        if (st == kOk)
            have[0] = have[1] = have[2] = false; // taken over by the edge
    }
    for (int i = 0; i < 3; ++i)
        if (have[i])
            curve_clear(&copies[i], 0);
    xar_free(uv);
    if (st != kOk) {
        if (edge)
            qel_edgedata_free(edge);
        return st;
    }
    *out = edge;
    return kOk;
}

int quilt_copy(const QelQuiltdata* src, QelQuiltdata** out, bool as_read) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src)
        return kBad;
    const int n = xar_len<QelSurfacedata*>(src->faces);
    if (n < 0)
        return kBad;
    QelQuiltdata* quilt = nullptr;
    int st = qel_quiltdata_alloc(&quilt);
    if (st != kOk)
        return st;
    qel_contourdata_traversal_set(int32_t(src->id), quilt);
    void* arr = nullptr; // the copied faces' pointers
    if (src->faces)
        st = QelArrayAlloc(0, int(sizeof(QelSurfacedata*)), 1, &arr);
    for (int i = 0; i < n && st == kOk; ++i) {
        QelSurfacedata* face = nullptr;
        if (src->faces[i]) // a null entry stays null
            st = face_copy(src->faces[i], &face, as_read);
        if (st == kOk) {
            st = QelArrayObjectAdd(&arr, -1, 1, &face);
            if (st != kOk && face)
                qel_surfacedata_free(face);
        }
    }
    auto** faces = static_cast<QelSurfacedata**>(arr);
    if (st == kOk && faces)
        st = qel_quiltdata_surfaces_set(quilt, faces); // the quilt takes the faces
    if (st != kOk) {
        for (int i = 0; i < xar_count(faces); ++i)
            if (faces[i])
                qel_surfacedata_free(faces[i]);
        qel_quiltdata_free(quilt);
    }
    QelArrayFree(&arr);
    if (st != kOk)
        return st;
    *out = quilt;
    return kOk;
}

int datum_body_copy(int32_t type, const QelDatumbody* src, QelDatumbody* dst, bool as_read) {
    if (!src || !dst)
        return kBad;
    switch (type) {
    case QEL_DATUM_CSYS:
    case QEL_DATUM_PLANE: {
        QelFrame frame;
        qel_datumdata_frame_get(src, &frame);
        return qel_datumdata_frame_set(&frame, dst);
    }
    case QEL_DATUM_CURVE: {
        QelCurvedata shallow, deep;
        qel_curvedata_copy(&src->curve, &shallow);
        int st = curve_deep_copy(&shallow, &deep, 0, as_read);
        if (st != kOk)
            return st;
        st = qel_curvedata_set(&deep, &dst->curve);
        return st == QEL_ERR_BSPL_SPANS ? kOk : st;
    }
    default:
        return QEL_ERR_DATUM_TYPE;
    }
}

int datum_copy(const QelDatumdata* src, QelDatumdata** out, bool as_read) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src)
        return kBad;
    QelDatumdata* datum = nullptr;
    int st = qel_datumdata_alloc(&datum);
    if (st != kOk)
        return st;
    uint32_t id = 0;
    int32_t type = 0;
    char16_t name[QEL_NAME_LEN];
    QelDatumbody body, copy;
    std::memset(&copy, 0, sizeof(copy));
    st = qel_datumdata_get(src, &id, &type, name, &body);
    if (st == kOk)
        st = datum_body_copy(type, &body, &copy, as_read);
    if (st == kOk) {
        st = qel_datumdata_init(id, type, name, &copy, datum);
        if (st != kOk && type == QEL_DATUM_CURVE)
            curve_clear(&copy.curve, 0);
    }
    if (st != kOk) {
        datum->type = QEL_DATUM_UNSET; // its body was never taken over
        qel_datumdata_free(datum);
        return st;
    }
    *out = datum;
    return kOk;
}

} // namespace

int qel_face_copy(const QelSurfacedata* src, QelSurfacedata** out) {
    return face_copy(src, out, false);
}
int qel_edge_copy(const QelEdgedata* src, QelEdgedata** out) { return edge_copy(src, out, false); }
int qel_quilt_copy(const QelQuiltdata* src, QelQuiltdata** out) {
    return quilt_copy(src, out, false);
}
int qel_datum_body_copy(int32_t type, const QelDatumbody* src, QelDatumbody* dst) {
    return datum_body_copy(type, src, dst, false);
}
int qel_datum_copy(const QelDatumdata* src, QelDatumdata** out) {
    return datum_copy(src, out, false);
}

int qel_intf_data_copy(const qel_intf_data* src, qel_intf_data** out) {
    if (!out)
        return kBad;
    *out = nullptr;
    if (!src)
        return kBad;
    qel_intf_data* root = nullptr;
    int st = qel_intf_data_alloc(&root);
    if (st != kOk)
        return st;
    st = copy_root_array<QelSurfacedata>(
        src->surfaces, qel_face_copy,
        [&](QelSurfacedata* r) { return qel_intf_data_surface_append(root, r); },
        qel_surfacedata_free);
    if (st == kOk)
        st = copy_root_array<QelEdgedata>(
            src->edges, qel_edge_copy,
            [&](QelEdgedata* r) { return qel_intf_data_edge_append(root, r); }, qel_edgedata_free);
    if (st == kOk)
        st = copy_root_array<QelQuiltdata>(
            src->quilts, qel_quilt_copy,
            [&](QelQuiltdata* r) { return qel_intf_data_quilt_append(root, r); },
            qel_quiltdata_free);
    if (st == kOk)
        st = copy_root_array<QelDatumdata>(
            src->datums, qel_datum_copy,
            [&](QelDatumdata* r) { return qel_intf_data_datum_append(root, r); },
            qel_datumdata_free);
    if (st != kOk) {
        qel_intf_data_free(root);
        return st;
    }
    uint32_t accuracy_type = 0;
    qel_intf_data_accuracytype_get(src, &accuracy_type);
    qel_curvedata_type_set(root, accuracy_type);
    qel_intf_data_accuracy_set(root, src->accuracy);
    qel_intf_data_outline_set(root, src->outline);
    *out = root;
    return kOk;
}

// ---- faceted representations ----------------------------------------------------------

int qel_facetedrep_copy(const QelFacetedRepdata* src, QelFacetedRepdata* dst) {
    if (!src || !dst)
        return kBad;
    QelFacetedRepdata copy{};
    copy.id = src->id;
    std::memcpy(copy.outline, src->outline, sizeof(copy.outline));
    int st = element_array_copy<QelFacetVertexdata>(src->vertices, copy.vertices);
    if (st == kOk)
        st = element_array_copy<QelFacetVtxdata>(src->vtxdata, copy.vtxdata);
    if (st == kOk)
        st = element_array_copy<QelFacetdata>(src->facets, copy.facets);
    if (st != kOk) {
        qel_facetedrep_clear(&copy);
        std::memset(dst, 0, sizeof(*dst));
        return st;
    }
    *dst = copy;
    return kOk;
}

int qel_facetedrep_clear(QelFacetedRepdata* rep) {
    if (!rep)
        return kBad;
    element_array_free(rep->vertices);
    element_array_free(rep->vtxdata);
    element_array_free(rep->facets);
    return kOk;
}

int qel_facetedrep_array_free(void** reps) {
    if (!reps)
        return kBad;
    har_each<QelFacetedRepdata>(*reps, [](QelFacetedRepdata& rep) {
        qel_facetedrep_clear(&rep);
        return true;
    });
    har_free(reps);
    return kOk;
}

// ---- the extension record ----------------------------------------------------------------

int qel_intf_data_extend_copy(const qel_intf_data_extend* src, qel_intf_data_extend* dst) {
    if (!src || !dst || src == dst) // zeroing a record into itself would lose it all
        return kBad;
    std::memset(dst, 0, sizeof(*dst));
    int st = copy_layers(dst->layers, src->layers);
    if (st == kOk)
        st = copy_plain(dst->ref_colors, src->ref_colors);
    if (st == kOk)
        st = copy_plain(dst->elem_colors, src->elem_colors);
    if (st == kOk && src->attributes) {
        st = har_entry_size(src->attributes) == int(sizeof(QelGenAttribdata))
                 ? har_copy(dst->attributes, src->attributes)
                 : kBad;
    }
    if (st == kOk)
        st = copy_plain(dst->units, src->units);
    if (st == kOk)
        st = copy_ext_edges(dst->ext_edges, src->ext_edges);
    if (st == kOk)
        st = copy_plain(dst->item_names, src->item_names);
    if (st == kOk)
        st = copy_solid_regions(dst->solid_regions, src->solid_regions);
    if (st == kOk)
        st = copy_faceted_reps(dst->faceted_reps, src->faceted_reps);
    if (st == kOk)
        st = annot_words_copy(*src, *dst);
    if (st != kOk) {
        impfeat_ext_free(dst);
        std::memset(dst, 0, sizeof(*dst));
        return st;
    }
    dst->angular_dim_tolerance = src->angular_dim_tolerance;
    dst->linear_dim_tolerance = src->linear_dim_tolerance;
    return kOk;
}

// Releases every array and record the record holds (all that the copy
// above makes, the annotation records and the model class included) and
// zeroes each word it freed, so a second call is harmless; the record block
// itself stays. -2 for null. An annotation word (10 to 15) whose array
// holds elements of another size is left in place and reported with -2,
// after everything else has been released; a nested annotation array of
// the wrong size is released without its elements, also with -2.
int impfeat_ext_free(qel_intf_data_extend* ext) {
    if (!ext)
        return kBad;
    const int layers = xar_len<QelLayerdata>(ext->layers);
    for (int i = 0; i < layers; ++i)
        xar_free(ext->layers[i].item_ids);
    xar_free(ext->layers);
    xar_free(ext->ref_colors);
    xar_free(ext->elem_colors);
    har_free(ext->attributes);
    xar_free(ext->units);
    har_each<QelExtEdgedata>(ext->ext_edges, [](QelExtEdgedata& e) {
        xar_free(e.start_comps);
        xar_free(e.end_comps);
        return true;
    });
    har_free(ext->ext_edges);
    xar_free(ext->item_names);
    const int regions = xar_len<QelSolidRegiondata>(ext->solid_regions);
    for (int i = 0; i < regions; ++i) {
        QelSolidRegiondata& r = ext->solid_regions[i];
        xar_free(r.external_shell);
        const int shells = xar_len<int32_t*>(r.internal_shells);
        for (int j = 0; j < shells; ++j)
            xar_free(r.internal_shells[j]);
        xar_free(r.internal_shells);
    }
    xar_free(ext->solid_regions);
    qel_facetedrep_array_free(&ext->faceted_reps);

    const int st = annot_words_free(*ext);
    return st;
}

void qel_intf_data_extend_block_free(qel_intf_data_extend* block) {
    if (!block)
        return;
    impfeat_ext_free(block);
    rlsmem(block);
}

} // extern "C"

int qel_curve_copy_as_read(const QelCurvedata* src, QelCurvedata* dst) {
    return curve_deep_copy(src, dst, 0, true);
}
int qel_shape_copy_as_read(uint32_t kind, const QelSurfaceshapedata* src,
                           QelSurfaceshapedata* dst) {
    return shape_copy(kind, src, dst, true);
}
int qel_face_copy_as_read(const QelSurfacedata* src, QelSurfacedata** out) {
    return face_copy(src, out, true);
}
int qel_edge_copy_as_read(const QelEdgedata* src, QelEdgedata** out) {
    return edge_copy(src, out, true);
}
int qel_quilt_copy_as_read(const QelQuiltdata* src, QelQuiltdata** out) {
    return quilt_copy(src, out, true);
}
int qel_datum_copy_as_read(const QelDatumdata* src, QelDatumdata** out) {
    return datum_copy(src, out, true);
}
