// Host record routines (see qel_routines.h for the ownership rules).
#include "kernel/records/qel_routines.h"

#include "xmemory.h"
#include "kernel/records/qel_internal.h"

#include <cmath>
#include <cstring>

using namespace qel_detail;

namespace {

constexpr int kOk = QEL_OK;
constexpr int kBad = QEL_ERR_BAD_ARG;
constexpr int kNoMem = QEL_ERR_NO_MEMORY;
constexpr int kWrongKind = QEL_ERR_WRONG_KIND;

template <class T> int alloc_record(T** out) {
    if (!out)
        return kBad;
    void* block = getmem(sizeof(T));
    if (!block)
        return kNoMem;
    *out = static_cast<T*>(block);
    return kOk;
}

double tolerance_of(const double* values, int n) {
    return n > 0 ? 1e-9 * std::fabs(values[n - 1] - values[0]) : 0.0;
}

// The knots of a kind-19 record: false for another kind, a null record or
// an array that does not hold doubles.
bool bspline_knots(const QelCurvedata* rec, const double*& knots, int& n) {
    if (!rec || rec->kind != QEL_CURVE_BSPLINE)
        return false;
    n = xar_len<double>(rec->bspline.knots);
    knots = rec->bspline.knots;
    return n >= 0;
}

bool spans_fail(const QelCurvedata* c) {
    return c->kind == QEL_CURVE_BSPLINE && qel_bsplinedata_spans_check(c) != kOk;
}

void write_frame(QelFrame& f, const double* e1, const double* e2, const double* e3,
                 const double* origin) {
    copy_vec(f.e1, e1);
    copy_vec(f.e2, e2);
    copy_vec(f.e3, e3);
    copy_vec(f.origin, origin);
}

void read_frame(const QelFrame& f, double* e1, double* e2, double* e3, double* origin) {
    put_vec(e1, f.e1);
    put_vec(e2, f.e2);
    put_vec(e3, f.e3);
    put_vec(origin, f.origin);
}

// A fillet's spline head owns arrays only as a spline.
void spline_head_clear(QelSplinedata& h) {
    if (h.kind == QEL_CURVE_SPLINE)
        spline_arrays_free(h);
    h.kind = QEL_CURVE_CLEARED;
}

// Clear, then release the record, but only when the clear succeeded.
template <class T, class Clear> int free_when_cleared(T* rec, Clear clear) {
    const int st = clear(rec);
    if (st == kOk)
        rlsmem(rec);
    return st;
}

// Clears every entry of one array of the root with `clear`, then frees the
// array. Returns the first failure (or -2 when the array holds entries of
// another size, which are then not visited).
template <class T, class Clear> int clear_root_array(void*& har, Clear clear) {
    int first = kOk;
    const int walk = har_each<T>(har, [&](T& entry) {
        const int st = clear(&entry);
        if (first == kOk)
            first = st;
        return true;
    });
    har_free(har);
    return first != kOk ? first : walk;
}

template <class T> int root_count(const void* har, int32_t* count) {
    if (!count)
        return kBad;
    *count = har_entry_size(har) == int(sizeof(T)) ? har_total(har) : 0;
    return kOk;
}

template <class T> int root_append(void*& har, const T* rec) {
    if (!rec)
        return kBad;
    if (!har) {
        har = har_alloc(int(sizeof(T)), 5);
        if (!har)
            return kNoMem;
    } else if (har_entry_size(har) != int(sizeof(T))) {
        return kBad;
    }
    return har_append(&har, rec);
}

template <class T> int root_get(const void* har, int32_t index, T** out) {
    if (!out || !har || har_entry_size(har) != int(sizeof(T)) || index < 0 ||
        index >= har_total(har))
        return kBad;
    T* copy = nullptr;
    int st = alloc_record(&copy);
    if (st != kOk)
        return st;
    std::memcpy(copy, har_access(har, index, nullptr, nullptr), sizeof(T));
    *out = copy;
    return kOk;
}

void fill_curve_out(QelCurvedata* dst, const QelCurvedata* src) {
    if (!dst)
        return;
    if (src) {
        std::memmove(dst, src, sizeof(QelCurvedata)); // dst may be the edge's own curve
    } else {
        std::memset(dst, 0, sizeof(QelCurvedata));
        dst->kind = QEL_CURVE_CLEARED;
    }
}

} // namespace

namespace qel_detail {

bool profile_kind_ok(uint32_t kind) {
    switch (kind) {
    case QEL_CURVE_LINE:
    case QEL_CURVE_ARC:
    case QEL_CURVE_SPLINE:
    case QEL_CURVE_BSPLINE:
    case QEL_CURVE_ELLIPSE:
        return true;
    default:
        return false;
    }
}

int params_fault_at(const double* params, int n) {
    const double tol = tolerance_of(params, n);
    for (int i = 0; i + 1 < n; ++i) {
        // Strictly increasing, by at least tol (also refuses NaN).
        if (!(params[i + 1] > params[i]) || !(params[i] + tol <= params[i + 1]))
            return i;
    }
    return -1;
}

int knots_fault_at(const double* knots, int n) {
    if (n < 2)
        return 0;
    const double tol = tolerance_of(knots, n);
    for (int i = 0; i + 1 < n; ++i)
        if (!(knots[i + 1] >= knots[i] - tol))
            return i;
    return -1;
}

bool ruled_kinds_ok(uint32_t kind1, uint32_t kind2) {
    const auto takes = [](uint32_t k) { return k == QEL_CURVE_POINT || profile_kind_ok(k); };
    return takes(kind1) && takes(kind2) &&
           !(kind1 == QEL_CURVE_POINT && kind2 == QEL_CURVE_POINT);
}

bool ruled_kinds_held(uint32_t kind1, uint32_t kind2) {
    const auto comp = [](uint32_t k) { return k == QEL_CURVE_COMPOSITE ? QEL_CURVE_LINE : k; };
    return ruled_kinds_ok(comp(kind1), comp(kind2));
}

int curve_clear(QelCurvedata* rec, int depth) {
    if (!rec || depth > kMaxCurveNesting)
        return kBad;
    switch (rec->kind) {
    case QEL_CURVE_SPLINE:
        spline_arrays_free(rec->spline);
        break;
    case QEL_CURVE_BSPLINE:
        xar_free(rec->bspline.points);
        xar_free(rec->bspline.weights);
        xar_free(rec->bspline.knots);
        break;
    case QEL_CURVE_KIND40:
        rlsmem(rec->kind40.block);
        rec->kind40.block = nullptr;
        break;
    case QEL_CURVE_COMPOSITE: {
        QelComponentcurvedata* comps = rec->composite.components;
        const int n = xar_len<QelComponentcurvedata>(comps);
        if (n < 0)
            return kBad;
        for (int i = 0; i < n; ++i) {
            int st = curve_clear(&comps[i].curve, depth + 1);
            if (st != kOk)
                return st; // the component array stays
        }
        xar_free(rec->composite.components);
        break;
    }
    case QEL_CURVE_KIND56: {
        // No owned curve: nothing to free. (Failing here would leave the
        // record, and whatever holds it, unreleasable.)
        if (!rec->kind56.curve)
            break;
        int st = curve_free(rec->kind56.curve, depth + 1);
        if (st != kOk)
            return st;
        rec->kind56.curve = nullptr;
        break;
    }
    default:
        break;
    }
    rec->kind = QEL_CURVE_CLEARED;
    return kOk;
}

int curve_free(QelCurvedata* rec, int depth) {
    return free_when_cleared(rec, [depth](QelCurvedata* c) { return curve_clear(c, depth); });
}

} // namespace qel_detail

extern "C" {

int32_t qel_stamping_switch = 0;

// ---- allocation ------------------------------------------------------------------

int qel_intf_data_alloc(qel_intf_data** out) { return alloc_record(out); }
int qel_surfacedata_alloc(QelSurfacedata** out) { return alloc_record(out); }
int qel_surfaceshapedata_alloc(QelSurfaceshapedata** out) { return alloc_record(out); }
int qel_curvedata_alloc(QelCurvedata** out) { return alloc_record(out); }
int qel_componentcurvedata_alloc(QelComponentcurvedata** out) { return alloc_record(out); }
int qel_edgedata_alloc(QelEdgedata** out) { return alloc_record(out); }
int qel_contourdata_alloc(QelContourdata** out) { return alloc_record(out); }
int qel_quiltdata_alloc(QelQuiltdata** out) { return alloc_record(out); }

int qel_datumdata_alloc(QelDatumdata** out) {
    int st = alloc_record(out);
    if (st == kOk)
        (*out)->type = QEL_DATUM_UNSET;
    return st;
}

int qel_data_free(void* record) {
    if (!record)
        return kBad;
    rlsmem(record);
    return kOk;
}

// ---- curves -------------------------------------------------------------------------

int qel_pointdata_init(const double* point, QelCurvedata* out) {
    if (!point || !out)
        return kBad;
    out->kind = QEL_CURVE_POINT;
    copy_vec(out->point.point, point);
    return kOk;
}

int qel_pointdata_get(const QelCurvedata* rec, double* point) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_POINT)
        return kWrongKind;
    put_vec(point, rec->point.point);
    return kOk;
}

int qel_linedata_init(const double* end1, const double* end2, QelCurvedata* out) {
    if (!end1 || !end2 || !out)
        return kBad;
    out->kind = QEL_CURVE_LINE;
    copy_vec(out->line.end1, end1);
    copy_vec(out->line.end2, end2);
    return kOk;
}

int qel_linedata_get(const QelCurvedata* rec, double* end1, double* end2) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_LINE)
        return kWrongKind;
    put_vec(end1, rec->line.end1);
    put_vec(end2, rec->line.end2);
    return kOk;
}

int qel_arcdata_init(const double* vector1, const double* vector2, const double* origin,
                     double start_angle, double end_angle, double radius, QelCurvedata* out) {
    if (!vector1 || !vector2 || !origin || !out)
        return kBad;
    out->kind = QEL_CURVE_ARC;
    copy_vec(out->arc.vector1, vector1);
    copy_vec(out->arc.vector2, vector2);
    copy_vec(out->arc.origin, origin);
    out->arc.start_angle = start_angle;
    out->arc.end_angle = end_angle;
    out->arc.radius = radius;
    return kOk;
}

int qel_arcdata_get(const QelCurvedata* rec, double* vector1, double* vector2, double* origin,
                    double* start_angle, double* end_angle, double* radius) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_ARC)
        return kWrongKind;
    put_vec(vector1, rec->arc.vector1);
    put_vec(vector2, rec->arc.vector2);
    put_vec(origin, rec->arc.origin);
    put(start_angle, rec->arc.start_angle);
    put(end_angle, rec->arc.end_angle);
    put(radius, rec->arc.radius);
    return kOk;
}

int qel_ellipsedata_init(const double* center, const double* major_axis, const double* minor_axis,
                         double major_length, double minor_length, double start_angle,
                         double end_angle, QelCurvedata* out) {
    if (!center || !major_axis || !minor_axis || !out)
        return kBad;
    out->kind = QEL_CURVE_ELLIPSE;
    copy_vec(out->ellipse.center, center);
    copy_vec(out->ellipse.major_axis, major_axis);
    copy_vec(out->ellipse.minor_axis, minor_axis);
    out->ellipse.major_length = major_length;
    out->ellipse.minor_length = minor_length;
    out->ellipse.start_angle = start_angle;
    out->ellipse.end_angle = end_angle;
    return kOk;
}

int qel_ellipsedata_get(const QelCurvedata* rec, double* center, double* major_axis,
                        double* minor_axis, double* major_length, double* minor_length,
                        double* start_angle, double* end_angle) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_ELLIPSE)
        return kWrongKind;
    put_vec(center, rec->ellipse.center);
    put_vec(major_axis, rec->ellipse.major_axis);
    put_vec(minor_axis, rec->ellipse.minor_axis);
    put(major_length, rec->ellipse.major_length);
    put(minor_length, rec->ellipse.minor_length);
    put(start_angle, rec->ellipse.start_angle);
    put(end_angle, rec->ellipse.end_angle);
    return kOk;
}

int qel_curvekind10_init(QelCurvedata* out, const double* vector1, const double* vector2,
                         double value) {
    if (!out || !vector1 || !vector2)
        return kBad;
    out->kind = QEL_CURVE_KIND10;
    copy_vec(out->kind10.vector1, vector1);
    copy_vec(out->kind10.vector2, vector2);
    out->kind10.value = value;
    return kOk;
}

int qel_curvekind10_get(double* vector1, double* vector2, double* value,
                        const QelCurvedata* rec) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_KIND10)
        return kWrongKind;
    put_vec(vector1, rec->kind10.vector1);
    put_vec(vector2, rec->kind10.vector2);
    put(value, rec->kind10.value);
    return kOk;
}

int qel_splinedata_init(const double* params, const QelPoint* points, const QelPoint* tangents,
                        uint32_t count, QelCurvedata* out) {
    if (!out || !params)
        return kBad;
    const int n = xar_len<double>(params);
    // No parameters at all is refused before any parameter is read.
    if (n <= 0 || uint32_t(n) != count)
        return kBad;
    if (!points || xar_len<QelPoint>(points) != n || !tangents ||
        xar_len<QelPoint>(tangents) != n)
        return kBad;
    if (params_fault_at(params, n) >= 0)
        return kBad;
    QelSplinedata s{};
    if (xar_cpy(s.params, params) != kOk || xar_cpy(s.points, points) != kOk ||
        xar_cpy(s.tangents, tangents) != kOk) {
        spline_arrays_free(s);
        return kNoMem;
    }
    s.kind = QEL_CURVE_SPLINE;
    s.count = count;
    out->spline = s;
    return kOk;
}

int qel_splinedata_get(const QelCurvedata* rec, double** params, QelPoint** points,
                       QelPoint** tangents, uint32_t* count) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_SPLINE)
        return kWrongKind;
    QelSplinedata s{};
    if ((params && xar_cpy(s.params, rec->spline.params) != kOk) ||
        (points && xar_cpy(s.points, rec->spline.points) != kOk) ||
        (tangents && xar_cpy(s.tangents, rec->spline.tangents) != kOk)) {
        spline_arrays_free(s);
        return kNoMem;
    }
    put(params, s.params);
    put(points, s.points);
    put(tangents, s.tangents);
    put(count, rec->spline.count);
    return kOk;
}

int qel_bsplinedata_init(int32_t degree, const double* knots, const double* weights,
                         const QelPoint* points, uint32_t knot_count, uint32_t point_count,
                         QelCurvedata* out) {
    if (!out || !knots)
        return kBad;
    const int nk = xar_len<double>(knots);
    if (nk < 0 || uint32_t(nk) != knot_count)
        return kBad;
    if (weights) {
        const int nw = xar_len<double>(weights);
        if (nw < 0 || uint32_t(nw) != point_count)
            return kBad;
    }
    const int np = xar_len<QelPoint>(points);
    if (!points || np < 0 || uint32_t(np) != point_count)
        return kBad;

    // The arrays start null so that the record is always safe to clear.
    out->bspline.kind = QEL_CURVE_BSPLINE;
    out->bspline.degree = degree;
    out->bspline.knots = nullptr;
    out->bspline.weights = nullptr;
    out->bspline.points = nullptr;
    out->bspline.knot_count = knot_count;
    out->bspline.point_count = point_count;

    int degree_st = qel_bsplinedata_degree_check(out);
    if (degree_st == kBad)
        return kBad;
    if (xar_cpy(out->bspline.knots, knots) != kOk)
        return kNoMem;
    if (qel_bsplinedata_knots_check(out) != kOk)
        return kBad;
    const int ends_st = qel_bsplinedata_ends_check(out);
    if ((weights && xar_cpy(out->bspline.weights, weights) != kOk) ||
        xar_cpy(out->bspline.points, points) != kOk)
        return kNoMem;
    if (degree_st == QEL_ERR_BSPL_DEGREE)
        return QEL_ERR_BSPL_DEGREE;
    return ends_st != kOk ? QEL_ERR_BSPL_UNCLAMPED : kOk;
}

int qel_bsplinedata_get(const QelCurvedata* rec, int32_t* degree, double** knots,
                        double** weights, QelPoint** points, uint32_t* knot_count,
                        uint32_t* point_count) {
    put(degree, 0);
    put<double*>(knots, nullptr);
    put<double*>(weights, nullptr);
    put<QelPoint*>(points, nullptr);
    put(knot_count, 0u);
    put(point_count, 0u);
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_BSPLINE)
        return kWrongKind;
    double* k = nullptr;
    double* w = nullptr;
    QelPoint* p = nullptr;
    if ((knots && xar_cpy(k, rec->bspline.knots) != kOk) ||
        (weights && rec->bspline.weights && xar_cpy(w, rec->bspline.weights) != kOk) ||
        (points && xar_cpy(p, rec->bspline.points) != kOk)) {
        xar_free(k);
        xar_free(w);
        xar_free(p);
        return kNoMem;
    }
    put(degree, rec->bspline.degree);
    put(knots, k);
    put(weights, w);
    put(points, p);
    put(knot_count, rec->bspline.knot_count);
    put(point_count, rec->bspline.point_count);
    return kOk;
}

int qel_compositecurvedata_init(const QelComponentcurvedata* components, QelCurvedata* out) {
    if (!components || !out || !is_xar_of<QelComponentcurvedata>(components))
        return kBad;
    QelComponentcurvedata* copy = nullptr;
    if (xar_cpy(copy, components) != kOk)
        return kNoMem;
    out->composite.kind = QEL_CURVE_COMPOSITE;
    out->composite.components = copy;
    return kOk;
}

int qel_compositecurvedata_get(const QelCurvedata* rec, QelComponentcurvedata** components) {
    if (!rec)
        return kBad;
    if (rec->kind != QEL_CURVE_COMPOSITE)
        return kWrongKind;
    if (!components)
        return kOk;
    QelComponentcurvedata* copy = nullptr;
    if (xar_cpy(copy, rec->composite.components) != kOk)
        return kNoMem;
    *components = copy;
    return kOk;
}

int qel_componentcurvedata_init(const QelCurvedata* curve, uint32_t direction,
                                QelComponentcurvedata* out) {
    if (!curve || !out)
        return kBad;
    std::memmove(&out->curve, curve, sizeof(QelCurvedata));
    out->direction = direction;
    return kOk;
}

int qel_componentcurvedata_get(const QelComponentcurvedata* comp, QelCurvedata* curve,
                               uint32_t* direction) {
    if (!comp || !curve)
        return kBad;
    std::memmove(curve, &comp->curve, sizeof(QelCurvedata));
    put(direction, comp->direction);
    return kOk;
}

int qel_curvedata_type_get(const QelCurvedata* rec, int32_t* kind) {
    if (!rec || !kind)
        return kBad;
    *kind = int32_t(uint8_t(rec->kind & 0xFFu));
    return kOk;
}

int qel_curvedata_type_set(void* record, uint32_t value) {
    if (!record)
        return kBad;
    std::memcpy(static_cast<char*>(record) + QEL_FIRST_FIELD_OFFSET, &value, sizeof(value));
    return kOk;
}

int qel_curvedata_is_cleared(const QelCurvedata* rec) {
    return !rec || rec->kind == QEL_CURVE_CLEARED;
}

int qel_curvedata_copy(const QelCurvedata* src, QelCurvedata* dst) {
    if (!src || !dst)
        return kBad;
    std::memmove(dst, src, sizeof(QelCurvedata));
    return kOk;
}

int qel_curvedata_set(const QelCurvedata* src, QelCurvedata* dst) {
    if (!src || !dst)
        return kBad;
    const int st = spans_fail(src) ? QEL_ERR_BSPL_SPANS : kOk;
    std::memmove(dst, src, sizeof(QelCurvedata));
    return st;
}

// ---- surface shapes ------------------------------------------------------------------

int qel_planedata_init(const double* e1, const double* e2, const double* e3,
                       const double* origin, QelSurfaceshapedata* out) {
    if (!out)
        return kBad;
    write_frame(out->plane.frame, e1, e2, e3, origin);
    return kOk;
}

int qel_planedata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                      double* origin) {
    if (!shape)
        return kBad;
    read_frame(shape->plane.frame, e1, e2, e3, origin);
    return kOk;
}

int qel_cylinderdata_init(const double* e1, const double* e2, const double* e3,
                          const double* origin, double scalar, QelSurfaceshapedata* out) {
    if (!out)
        return kBad;
    write_frame(out->cylinder.frame, e1, e2, e3, origin);
    out->cylinder.scalar = scalar;
    return kOk;
}

int qel_cylinderdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                         double* origin, double* scalar) {
    if (!shape)
        return kBad;
    read_frame(shape->cylinder.frame, e1, e2, e3, origin);
    put(scalar, shape->cylinder.scalar);
    return kOk;
}

int qel_torusdata_init(const double* e1, const double* e2, const double* e3,
                       const double* origin, double radius1, double radius2,
                       QelSurfaceshapedata* out) {
    if (!out)
        return kBad;
    write_frame(out->torus.frame, e1, e2, e3, origin);
    out->torus.radius1 = radius1;
    out->torus.radius2 = radius2;
    return kOk;
}

int qel_torusdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                      double* origin, double* radius1, double* radius2) {
    if (!shape)
        return kBad;
    read_frame(shape->torus.frame, e1, e2, e3, origin);
    put(radius1, shape->torus.radius1);
    put(radius2, shape->torus.radius2);
    return kOk;
}

int qel_srfrevdata_init(const double* e1, const double* e2, const double* e3,
                        const double* origin, const QelCurvedata* profile,
                        QelSurfaceshapedata* out) {
    if (!profile || !out)
        return kBad;
    if (!profile_kind_ok(profile->kind))
        return QEL_ERR_PROFILE_KIND;
    const int st = spans_fail(profile) ? QEL_ERR_BSPL_SPANS : kOk;
    QelCurvedata copy;
    std::memcpy(&copy, profile, sizeof(copy));
    write_frame(out->srfrev.frame, e1, e2, e3, origin);
    out->srfrev.profile = copy;
    return st;
}

int qel_srfrevdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                       double* origin, QelCurvedata* profile) {
    if (!shape)
        return kBad;
    read_frame(shape->srfrev.frame, e1, e2, e3, origin);
    if (profile)
        std::memmove(profile, &shape->srfrev.profile, sizeof(QelCurvedata));
    return kOk;
}

int qel_rulsrfdata_init(const double* e1, const double* e2, const double* e3,
                        const double* origin, const QelCurvedata* curve1,
                        const QelCurvedata* curve2, QelSurfaceshapedata* out) {
    if (!curve1 || !curve2 || !out)
        return kBad;
    if (!ruled_kinds_ok(curve1->kind, curve2->kind))
        return QEL_ERR_PROFILE_KIND;
    const int st = spans_fail(curve1) || spans_fail(curve2) ? QEL_ERR_BSPL_SPANS : kOk;
    QelCurvedata c1, c2;
    std::memcpy(&c1, curve1, sizeof(c1));
    std::memcpy(&c2, curve2, sizeof(c2));
    write_frame(out->rulsrf.frame, e1, e2, e3, origin);
    out->rulsrf.curve1 = c1;
    out->rulsrf.curve2 = c2;
    return st;
}

int qel_rulsrfdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                       double* origin, QelCurvedata* curve1, QelCurvedata* curve2) {
    if (!shape)
        return kBad;
    read_frame(shape->rulsrf.frame, e1, e2, e3, origin);
    if (curve1)
        std::memmove(curve1, &shape->rulsrf.curve1, sizeof(QelCurvedata));
    if (curve2)
        std::memmove(curve2, &shape->rulsrf.curve2, sizeof(QelCurvedata));
    return kOk;
}

int qel_splinesrfdata_init(const double* u_params, const double* v_params,
                           const QelPoint* points, const QelPoint* u_tangents,
                           const QelPoint* v_tangents, const QelPoint* mixed_derivs,
                           uint32_t u_count, uint32_t v_count, QelSurfaceshapedata* out) {
    if (!out)
        return kBad;
    QelSplinesrfdata s{};
    if (xar_cpy(s.u_params, u_params) != kOk || xar_cpy(s.v_params, v_params) != kOk ||
        xar_cpy(s.points, points) != kOk || xar_cpy(s.u_tangents, u_tangents) != kOk ||
        xar_cpy(s.v_tangents, v_tangents) != kOk ||
        xar_cpy(s.mixed_derivs, mixed_derivs) != kOk) {
        splinesrf_arrays_free(s);
        return kNoMem;
    }
    s.u_count = u_count;
    s.v_count = v_count;
    out->splinesrf = s;
    return kOk;
}

int qel_splinesrfdata_get(const QelSurfaceshapedata* shape, double** u_params,
                          double** v_params, QelPoint** points, QelPoint** u_tangents,
                          QelPoint** v_tangents, QelPoint** mixed_derivs, uint32_t* u_count,
                          uint32_t* v_count) {
    if (!shape)
        return kBad;
    const QelSplinesrfdata& src = shape->splinesrf;
    QelSplinesrfdata s{};
    if ((u_params && xar_cpy(s.u_params, src.u_params) != kOk) ||
        (v_params && xar_cpy(s.v_params, src.v_params) != kOk) ||
        (points && xar_cpy(s.points, src.points) != kOk) ||
        (u_tangents && xar_cpy(s.u_tangents, src.u_tangents) != kOk) ||
        (v_tangents && xar_cpy(s.v_tangents, src.v_tangents) != kOk) ||
        (mixed_derivs && xar_cpy(s.mixed_derivs, src.mixed_derivs) != kOk)) {
        splinesrf_arrays_free(s);
        return kNoMem;
    }
    put(u_params, s.u_params);
    put(v_params, s.v_params);
    put(points, s.points);
    put(u_tangents, s.u_tangents);
    put(v_tangents, s.v_tangents);
    put(mixed_derivs, s.mixed_derivs);
    put(u_count, src.u_count);
    put(v_count, src.v_count);
    return kOk;
}

int qel_bsplinesrfdata_init(const uint32_t* degrees, const double* u_knots,
                            const double* v_knots, const double* weights, const QelPoint* points,
                            uint32_t u_knot_count, uint32_t v_knot_count, uint32_t point_count,
                            QelSurfaceshapedata* out) {
    if (!out || !degrees)
        return kBad;
    QelBsplinesrfdata b{};
    if (xar_cpy(b.u_knots, u_knots) != kOk || xar_cpy(b.v_knots, v_knots) != kOk ||
        copy_net_array(b.weights, weights) != kOk || copy_net_array(b.points, points) != kOk) {
        bsplinesrf_arrays_free(b);
        return kNoMem;
    }
    b.u_degree = degrees[0];
    b.v_degree = degrees[1];
    b.u_knot_count = u_knot_count;
    b.v_knot_count = v_knot_count;
    b.point_count = point_count;
    out->bsplinesrf = b;
    return kOk;
}

int qel_bsplinesrfdata_get(const QelSurfaceshapedata* shape, uint32_t* degrees, double** u_knots,
                           double** v_knots, double** weights, QelPoint** points,
                           uint32_t* u_knot_count, uint32_t* v_knot_count,
                           uint32_t* point_count) {
    if (!shape)
        return kBad;
    const QelBsplinesrfdata& src = shape->bsplinesrf;
    QelBsplinesrfdata b{};
    if ((u_knots && xar_cpy(b.u_knots, src.u_knots) != kOk) ||
        (v_knots && xar_cpy(b.v_knots, src.v_knots) != kOk) ||
        (weights && copy_net_array(b.weights, src.weights) != kOk) ||
        (points && copy_net_array(b.points, src.points) != kOk)) {
        bsplinesrf_arrays_free(b);
        return kNoMem;
    }
    if (degrees) {
        degrees[0] = src.u_degree;
        degrees[1] = src.v_degree;
    }
    put(u_knots, b.u_knots);
    put(v_knots, b.v_knots);
    put(weights, b.weights);
    put(points, b.points);
    put(u_knot_count, src.u_knot_count);
    put(v_knot_count, src.v_knot_count);
    put(point_count, src.point_count);
    return kOk;
}

int qel_cylsplsrfdata_init(const double* e1, const double* e2, const double* e3,
                           const double* origin, const QelSplinesrfdata* head,
                           QelSurfaceshapedata* out) {
    if (!head || !out)
        return kBad;
    const QelSplinesrfdata copy = *head;
    write_frame(out->cylsplsrf.frame, e1, e2, e3, origin);
    out->cylsplsrf.splinesrf = copy;
    return kOk;
}

int qel_cylsplsrfdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                          double* origin, QelSplinesrfdata* head) {
    if (!shape)
        return kBad;
    read_frame(shape->cylsplsrf.frame, e1, e2, e3, origin);
    put(head, shape->cylsplsrf.splinesrf);
    return kOk;
}

int qel_filsrfdata_init(const QelSplinedata* point_spline, const QelSplinedata* center_spline,
                        const QelSplinedata* tangent_spline, QelSurfaceshapedata* out) {
    if (!point_spline || !center_spline || !tangent_spline || !out)
        return kBad;
    const QelFilsrfdata f{*point_spline, *center_spline, *tangent_spline};
    out->filsrf = f;
    return kOk;
}

int qel_filsrfdata_get(const QelSurfaceshapedata* shape, QelSplinedata* point_spline,
                       QelSplinedata* center_spline, QelSplinedata* tangent_spline) {
    if (!shape)
        return kBad;
    const QelFilsrfdata f = shape->filsrf;
    put(point_spline, f.point_spline);
    put(center_spline, f.center_spline);
    put(tangent_spline, f.tangent_spline);
    return kOk;
}

// ---- faces, contours, quilts -----------------------------------------------------------

int qel_surfacedata_init(uint32_t kind, const double* uv_min, const double* uv_max,
                         int32_t orientation, const QelSurfaceshapedata* shape, uint32_t id,
                         QelSurfacedata* out) {
    if (!out || !shape)
        return kBad;
    QelSurfaceshapedata copy;
    std::memcpy(&copy, shape, sizeof(copy)); // the shape may lie inside `out`
    std::memset(out, 0, sizeof(*out));
    out->kind = kind;
    if (uv_min)
        copy_vec(out->uv_min, uv_min, 2);
    if (uv_max)
        copy_vec(out->uv_max, uv_max, 2);
    out->orientation = orientation;
    out->shape = copy;
    out->id = id;
    if (qel_stamping_enabled()) {
        qel_stamp_set(&out->stamp);
        qel_stamp_id_set(&out->stamp, id);
    }
    return kOk;
}

int qel_surfacedata_get(const QelSurfacedata* rec, uint32_t* kind, double* uv_min,
                        double* uv_max, int32_t* orientation, QelSurfaceshapedata* shape,
                        uint32_t* id) {
    if (!rec)
        return kBad;
    put(kind, rec->kind);
    put_vec(uv_min, rec->uv_min, 2);
    put_vec(uv_max, rec->uv_max, 2);
    put(orientation, rec->orientation);
    if (shape)
        std::memmove(shape, &rec->shape, sizeof(QelSurfaceshapedata));
    put(id, qel_stamp_valid(&rec->stamp) ? qel_stamp_id_get(&rec->stamp) : rec->id);
    return kOk;
}

int qel_surfacedata_contours_set(QelSurfacedata* rec, const QelContourdata* contours) {
    if (!rec || !contours || !is_xar_of<QelContourdata>(contours))
        return kBad;
    QelContourdata* copy = nullptr;
    if (xar_cpy(copy, contours) != kOk)
        return kNoMem;
    QelContourdata* old = rec->contours;
    const int nold = xar_len<QelContourdata>(old);
    if (nold > 0) {
        // Edge-id arrays that the new contours carry over stay; the others
        // belong to contours that go away with the old array.
        PtrSet kept;
        const int nnew = xar_count(copy);
        for (int i = 0; i < nnew; ++i) {
            if (kept.insert(copy[i].edge_ids) < 0) {
                xar_free(copy);
                return kNoMem;
            }
        }
        for (int i = 0; i < nold; ++i)
            if (!kept.contains(old[i].edge_ids))
                xar_free(old[i].edge_ids);
    }
    xar_free(old);
    rec->contours = copy;
    qel_stamp_contours_set(&rec->stamp, &rec->contour_copy, copy);
    return kOk;
}

int qel_surfacedata_contours_get(const QelSurfacedata* rec, QelContourdata** contours) {
    if (!rec || !contours)
        return kBad;
    QelContourdata* copy = nullptr;
    if (xar_cpy(copy, rec->contours) != kOk)
        return kNoMem;
    *contours = copy;
    return kOk;
}

int qel_contourdata_traversal_set(int32_t value, void* record) {
    if (!record)
        return kBad;
    std::memcpy(static_cast<char*>(record) + QEL_FIRST_FIELD_OFFSET, &value, sizeof(value));
    return kOk;
}

int qel_contourdata_edges_set(QelContourdata* rec, const int32_t* edge_ids) {
    if (!rec || !edge_ids || !is_xar_of<int32_t>(edge_ids))
        return kBad;
    int32_t* copy = nullptr;
    if (xar_cpy(copy, edge_ids) != kOk)
        return kNoMem;
    rec->edge_ids = copy;
    return kOk;
}

int qel_intf_data_accuracytype_get(const void* record, uint32_t* value) {
    if (!record || !value)
        return kBad;
    std::memcpy(value, static_cast<const char*>(record) + QEL_FIRST_FIELD_OFFSET, sizeof(*value));
    return kOk;
}

int qel_intf_data_accuracy_get(const void* record, void* word) {
    if (!record || !word)
        return kBad;
    std::memcpy(word, static_cast<const char*>(record) + QEL_SECOND_FIELD_OFFSET, 8);
    return kOk;
}

int qel_quiltdata_surfaces_set(QelQuiltdata* rec, QelSurfacedata* const* faces) {
    if (!rec || !faces || !is_xar_of<QelSurfacedata*>(faces))
        return kBad;
    QelSurfacedata** copy = nullptr;
    if (xar_cpy(copy, faces) != kOk)
        return kNoMem;
    rec->faces = copy;
    return kOk;
}

int qel_quiltdata_surfaces_get(const QelQuiltdata* rec, QelSurfacedata*** faces) {
    if (!rec || !faces)
        return kBad;
    QelSurfacedata** copy = nullptr;
    if (xar_cpy(copy, rec->faces) != kOk)
        return kNoMem;
    *faces = copy;
    return kOk;
}

// ---- edges and datums ---------------------------------------------------------------------

int qel_edgedata_init(uint32_t id, const uint32_t* face_ids, const uint32_t* directions,
                      const QelUvSample* uv_points, QelCurvedata* const* uv_curves,
                      const QelCurvedata* xyz_curve, QelEdgedata* out) {
    if (!out || !face_ids || !directions || !is_xar_of<QelUvSample>(uv_points))
        return kBad;
    const QelCurvedata* given[3] = {uv_curves ? uv_curves[0] : nullptr,
                                    uv_curves ? uv_curves[1] : nullptr, xyz_curve};
    QelCurvedata* blocks[3] = {};
    QelUvSample* uv = nullptr;
    int st = xar_cpy(uv, uv_points);
    for (int i = 0; i < 3 && st == kOk; ++i) {
        if (!given[i])
            continue;
        st = qel_curvedata_alloc(&blocks[i]);
        if (st == kOk)
            std::memcpy(blocks[i], given[i], sizeof(QelCurvedata));
    }
    if (st != kOk) {
        for (QelCurvedata* b : blocks)
            rlsmem(b);
        xar_free(uv);
        std::memset(out, 0, sizeof(*out));
        return st;
    }
    const uint32_t f0 = face_ids[0], f1 = face_ids[1];
    const uint32_t d0 = directions[0], d1 = directions[1];
    std::memset(out, 0, sizeof(*out));
    out->id = id;
    out->face_ids[0] = f0;
    out->face_ids[1] = f1;
    out->directions[0] = d0;
    out->directions[1] = d1;
    out->uv_points = uv;
    out->uv_curve1 = blocks[0];
    out->uv_curve2 = blocks[1];
    out->xyz_curve = blocks[2];
    return kOk;
}

int qel_edgedata_get(const QelEdgedata* rec, uint32_t* id, uint32_t* face_ids,
                     uint32_t* directions, QelUvSample** uv_points,
                     QelCurvedata* const* uv_curves, QelCurvedata* xyz_curve) {
    if (!rec)
        return kBad;
    if (uv_points) {
        QelUvSample* copy = nullptr;
        if (xar_cpy(copy, rec->uv_points) != kOk)
            return kNoMem;
        *uv_points = copy;
    }
    put(id, rec->id);
    if (face_ids) {
        face_ids[0] = rec->face_ids[0];
        face_ids[1] = rec->face_ids[1];
    }
    if (directions) {
        directions[0] = rec->directions[0];
        directions[1] = rec->directions[1];
    }
    if (uv_curves) {
        fill_curve_out(uv_curves[0], rec->uv_curve1);
        fill_curve_out(uv_curves[1], rec->uv_curve2);
    }
    fill_curve_out(xyz_curve, rec->xyz_curve);
    return kOk;
}

int qel_datumdata_init(uint32_t id, int32_t type, const char16_t* name, const QelDatumbody* body,
                       QelDatumdata* out) {
    if (!out || !body)
        return kBad;
    QelDatumbody copy;
    std::memcpy(&copy, body, sizeof(copy));
    out->id = id;
    std::memset(out->name, 0, sizeof(out->name));
    for (int i = 0; name && i < QEL_NAME_LEN && name[i]; ++i)
        out->name[i] = name[i];
    out->body = copy;
    if (type != QEL_DATUM_CSYS && type != QEL_DATUM_CURVE && type != QEL_DATUM_PLANE)
        return kBad;
    out->type = type;
    return kOk;
}

int qel_datumdata_get(const QelDatumdata* rec, uint32_t* id, int32_t* type, char16_t* name,
                      QelDatumbody* body) {
    if (!rec)
        return kBad;
    put(id, rec->id);
    put(type, rec->type);
    if (name)
        std::memmove(name, rec->name, sizeof(rec->name));
    if (body)
        std::memmove(body, &rec->body, sizeof(QelDatumbody));
    return kOk;
}

int qel_datumdata_frame_get(const QelDatumbody* src, QelFrame* dst) {
    if (!src || !dst)
        return kBad;
    std::memmove(dst, &src->frame, sizeof(QelFrame));
    return kOk;
}

int qel_datumdata_frame_set(const QelFrame* src, QelDatumbody* dst) {
    if (!src || !dst)
        return kBad;
    std::memmove(&dst->frame, src, sizeof(QelFrame));
    return kOk;
}

// ---- the root -------------------------------------------------------------------------------

int qel_intf_data_surface_count(const qel_intf_data* root, int32_t* count) {
    return root ? root_count<QelSurfacedata>(root->surfaces, count) : kBad;
}
int qel_intf_data_quilt_count(const qel_intf_data* root, int32_t* count) {
    return root ? root_count<QelQuiltdata>(root->quilts, count) : kBad;
}
int qel_intf_data_edge_count(const qel_intf_data* root, int32_t* count) {
    return root ? root_count<QelEdgedata>(root->edges, count) : kBad;
}
int qel_intf_data_datum_count(const qel_intf_data* root, int32_t* count) {
    return root ? root_count<QelDatumdata>(root->datums, count) : kBad;
}

int qel_intf_data_surface_append(qel_intf_data* root, const QelSurfacedata* rec) {
    return root ? root_append(root->surfaces, rec) : kBad;
}
int qel_intf_data_quilt_append(qel_intf_data* root, const QelQuiltdata* rec) {
    return root ? root_append(root->quilts, rec) : kBad;
}
int qel_intf_data_edge_append(qel_intf_data* root, const QelEdgedata* rec) {
    return root ? root_append(root->edges, rec) : kBad;
}
int qel_intf_data_datum_append(qel_intf_data* root, const QelDatumdata* rec) {
    return root ? root_append(root->datums, rec) : kBad;
}

int qel_intf_data_surface_get(const qel_intf_data* root, int32_t index, QelSurfacedata** out) {
    return root ? root_get(root->surfaces, index, out) : kBad;
}
int qel_intf_data_quilt_get(const qel_intf_data* root, int32_t index, QelQuiltdata** out) {
    return root ? root_get(root->quilts, index, out) : kBad;
}
int qel_intf_data_edge_get(const qel_intf_data* root, int32_t index, QelEdgedata** out) {
    return root ? root_get(root->edges, index, out) : kBad;
}
int qel_intf_data_datum_get(const qel_intf_data* root, int32_t index, QelDatumdata** out) {
    return root ? root_get(root->datums, index, out) : kBad;
}

int qel_intf_data_accuracy_set(qel_intf_data* root, double accuracy) {
    if (!root)
        return kBad;
    root->accuracy = accuracy;
    return kOk;
}

int qel_intf_data_outline_get(const qel_intf_data* root, double* outline6) {
    if (!root || !outline6)
        return kBad;
    std::memmove(outline6, root->outline, sizeof(root->outline));
    return kOk;
}

int qel_intf_data_outline_set(qel_intf_data* root, const double* outline6) {
    if (!root || !outline6)
        return kBad;
    std::memmove(root->outline, outline6, sizeof(root->outline));
    return kOk;
}

// ---- B-spline checks ---------------------------------------------------------------------------

int qel_bsplinedata_degree_check(const QelCurvedata* rec) {
    if (!rec || rec->kind != QEL_CURVE_BSPLINE)
        return kBad;
    const int32_t d = rec->bspline.degree;
    if (d < 1)
        return kBad;
    return d >= 4 ? QEL_ERR_BSPL_DEGREE : kOk;
}

int qel_bsplinedata_knots_check(const QelCurvedata* rec) {
    const double* k;
    int n;
    if (!bspline_knots(rec, k, n) || knots_fault_at(k, n) >= 0)
        return kBad;
    return kOk;
}

int qel_bsplinedata_ends_check(const QelCurvedata* rec) {
    const double* k;
    int n;
    if (!bspline_knots(rec, k, n))
        return kBad;
    const int64_t d = rec->bspline.degree;
    if (d < 0 || n < d + 1)
        return kBad;
    if (d == 0)
        return kOk;
    const double tol = tolerance_of(k, n);
    for (int64_t i = 0; i <= d; ++i) {
        if (!(std::fabs(k[i] - k[0]) <= tol) || !(std::fabs(k[n - 1 - i] - k[n - 1]) <= tol))
            return kBad;
    }
    return kOk;
}

int qel_bsplinedata_spans_check(const QelCurvedata* rec) {
    const double* k;
    int n;
    if (!bspline_knots(rec, k, n) || !k)
        return kBad;
    int size = 0;
    if (QelArraySizeGet(k, &size) != kOk)
        return kBad;
    // Signed arithmetic throughout: a small knot count must not wrap.
    const int64_t d = rec->bspline.degree;
    const int64_t count = size;
    if (d < 0 || count < d + 1 || count < 2 * d + 2)
        return kBad;
    const double tol = tolerance_of(k, size);
    for (int64_t i = d; i <= count - d - 3; ++i)
        if (!(std::fabs(k[i + 1] - k[i]) >= tol))
            return kBad;
    return kOk;
}

// ---- clear and free -------------------------------------------------------------------------------

int qel_curvedata_clear(QelCurvedata* rec) { return curve_clear(rec, 0); }
int qel_curvedata_free(QelCurvedata* rec) { return curve_free(rec, 0); }

int qel_curvedata_release(QelCurvedata* rec) {
    if (!rec)
        return kBad;
    const int st = curve_clear(rec, 0);
    rlsmem(rec);
    return st;
}

int qel_surfaceshapedata_clear(uint32_t kind, QelSurfaceshapedata* shape) {
    if (!shape)
        return kBad;
    switch (kind) {
    case QEL_SURF_SPLINE:
        splinesrf_arrays_free(shape->splinesrf);
        return kOk;
    case QEL_SURF_FILLET:
        spline_head_clear(shape->filsrf.point_spline);
        spline_head_clear(shape->filsrf.center_spline);
        spline_head_clear(shape->filsrf.tangent_spline);
        return kOk;
    case QEL_SURF_RULED: {
        const int st1 = curve_clear(&shape->rulsrf.curve1, 0);
        const int st2 = curve_clear(&shape->rulsrf.curve2, 0);
        return st2 != kOk ? st2 : st1;
    }
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL:
        return curve_clear(&shape->srfrev.profile, 0);
    case QEL_SURF_BSPLINE:
        bsplinesrf_arrays_free(shape->bsplinesrf);
        return kOk;
    case QEL_SURF_CYLSPLINE:
        splinesrf_arrays_free(shape->cylsplsrf.splinesrf);
        return kOk;
    default:
        return kOk;
    }
}

int qel_surfaceshapedata_free(uint32_t kind, QelSurfaceshapedata* shape) {
    return free_when_cleared(
        shape, [kind](QelSurfaceshapedata* s) { return qel_surfaceshapedata_clear(kind, s); });
}

int qel_surfacedata_clear(QelSurfacedata* rec) {
    if (!rec)
        return kBad;
    int contours_st = kOk;
    const int n = xar_len<QelContourdata>(rec->contours);
    if (n < 0)
        contours_st = kBad;
    for (int i = 0; i < n; ++i) {
        contours_st = qel_contourdata_clear(&rec->contours[i]);
        if (contours_st != kOk)
            break;
    }
    xar_free(rec->contours);
    rec->contour_copy = nullptr;
    const int shape_st = qel_surfaceshapedata_clear(rec->kind, &rec->shape);
    if (shape_st != kOk)
        return shape_st; // what the shape still holds stays reachable
    std::memset(rec, 0, sizeof(*rec));
    return contours_st;
}

int qel_surfacedata_free(QelSurfacedata* rec) {
    return free_when_cleared(rec, qel_surfacedata_clear);
}

int qel_contourdata_clear(QelContourdata* rec) {
    if (!rec)
        return kBad;
    xar_free(rec->edge_ids);
    return kOk;
}

int qel_contourdata_free(QelContourdata* rec) {
    if (!rec)
        return kBad;
    const int st = qel_contourdata_clear(rec);
    rlsmem(rec);
    return st;
}

int qel_quiltdata_clear(QelQuiltdata* rec) {
    if (!rec)
        return kBad;
    const int n = xar_len<QelSurfacedata*>(rec->faces);
    if (n < 0)
        return kBad;
    for (int i = 0; i < n; ++i) {
        if (!rec->faces[i])
            continue;
        const int st = qel_surfacedata_free(rec->faces[i]);
        if (st != kOk)
            return st; // faces not yet freed stay in the array
        rec->faces[i] = nullptr;
    }
    xar_free(rec->faces);
    std::memset(rec, 0, sizeof(*rec));
    return kOk;
}

int qel_quiltdata_free(QelQuiltdata* rec) { return free_when_cleared(rec, qel_quiltdata_clear); }

int qel_edgedata_clear(QelEdgedata* rec) {
    if (!rec)
        return kBad;
    xar_free(rec->uv_points);
    int st = kOk;
    QelCurvedata** curves[3] = {&rec->uv_curve1, &rec->uv_curve2, &rec->xyz_curve};
    QelCurvedata* kept[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (!*curves[i])
            continue;
        const int cst = qel_curvedata_free(*curves[i]);
        if (cst != kOk) {
            st = cst;
            kept[i] = *curves[i]; // not released: keep it reachable
        }
    }
    std::memset(rec, 0, sizeof(*rec));
    rec->uv_curve1 = kept[0];
    rec->uv_curve2 = kept[1];
    rec->xyz_curve = kept[2];
    return st;
}

int qel_edgedata_free(QelEdgedata* rec) { return free_when_cleared(rec, qel_edgedata_clear); }

int qel_datumdata_clear(QelDatumdata* rec) {
    if (!rec)
        return kBad;
    switch (rec->type) {
    case QEL_DATUM_UNSET:
    case QEL_DATUM_CSYS:
    case QEL_DATUM_PLANE:
        return kOk;
    case QEL_DATUM_CURVE:
        return curve_clear(&rec->body.curve, 0);
    default:
        return kBad;
    }
}

int qel_datumdata_free(QelDatumdata* rec) { return free_when_cleared(rec, qel_datumdata_clear); }

int qel_intf_data_clear(qel_intf_data* root) {
    if (!root)
        return kBad;
    clear_root_array<QelDatumdata>(root->datums, qel_datumdata_clear); // failures not reported
    const int edge_st = clear_root_array<QelEdgedata>(root->edges, qel_edgedata_clear);
    const int quilt_st = clear_root_array<QelQuiltdata>(root->quilts, qel_quiltdata_clear);
    const int face_st = clear_root_array<QelSurfacedata>(root->surfaces, qel_surfacedata_clear);
    if (edge_st != kOk)
        return edge_st;
    return quilt_st != kOk ? quilt_st : face_st;
}

int qel_intf_data_free(qel_intf_data* root) {
    if (!root)
        return kBad;
    const int st = qel_intf_data_clear(root);
    rlsmem(root);
    return st;
}

// Cleans every component's own basic-info record recursively, releases it,
// and frees the component arrays; the record given is not released. A
// record reached twice (shared by two components, or through a cycle) is
// released once. -2 for null or for a component array of records of
// another size, -10 when memory runs out (both change nothing).
int QelAsmBasicInfoClean(qel_model_basic_info* info) {
    if (!info)
        return kBad;
    // Gather every record below `info` once, then release each once: a
    // sub-assembly record shared by two components (or a record reached
    // again through a cycle) is freed once, never twice, and `info` itself
    // is never released. Nothing changes when the gathering fails.
    PtrSet seen;
    qel_model_basic_info** found = nullptr; // xar: records found, in order
    int st = seen.insert(info) < 0 ? kNoMem : kOk;
    qel_model_basic_info* next = info;
    for (int visited = 0; st == kOk; ++visited) {
        qel_model_component_info* comps = next->components;
        const int n = xar_len<qel_model_component_info>(comps);
        if (n < 0)
            st = kBad;
        for (int i = 0; i < n && st == kOk; ++i) {
            qel_model_basic_info* sub = comps[i].sub;
            if (!sub)
                continue;
            const int added = seen.insert(sub);
            if (added < 0)
                st = kNoMem;
            else if (added > 0)
                st = xar_alloc_or_append(found, int(sizeof(sub)), 16, 1, &sub);
        }
        if (visited >= xar_count(found))
            break;
        next = found[visited];
    }
    if (st == kOk) {
        const int n = xar_count(found);
        for (int i = 0; i < n; ++i) {
            xar_free(found[i]->components);
            rlsmem(found[i]);
        }
        xar_free(info->components);
    }
    xar_free(found);
    return st;
}

// ---- validity stamps ----------------------------------------------------------------------------------

int qel_stamping_enabled(void) { return qel_stamping_switch; }

int qel_stamp_valid(const QelStampblock* block) {
    return block && block->stamp == QEL_STAMP_VALUE ? 1 : 0;
}

int qel_stamp_set(QelStampblock* block) {
    if (!block)
        return 0;
    block->stamp = QEL_STAMP_VALUE;
    return 1;
}

uint32_t qel_stamp_id_get(const QelStampblock* block) {
    return qel_stamp_valid(block) ? block->id_copy : 0;
}

int qel_stamp_id_set(QelStampblock* block, uint32_t value) {
    if (!qel_stamp_valid(block))
        return 0;
    block->id_copy = value;
    return 1;
}

int qel_stamp_contours_set(QelStampblock* block, QelContourdata** contour_copy,
                           QelContourdata* handle) {
    if (!qel_stamp_valid(block) || !contour_copy)
        return 0;
    *contour_copy = handle;
    return 1;
}

} // extern "C"

void QelRecordTestHooks::SetStamping(int32_t on) { qel_stamping_switch = on; }
