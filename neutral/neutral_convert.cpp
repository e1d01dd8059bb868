// Interface data to neutral part.
//
// Every converter attaches a record to its owner (the part, a surface, an
// edge ...) as soon as the record exists and only then fills it, so any
// failure later on leaves an incomplete record that the part owns; the
// only records ever given back are still empty (an item dropped before it
// got anything of its own). Host arrays are read bounded by their real
// element counts, never by the counts that the records claim.
#include "neutral/neutral_convert.h"

#include "process.h"
#include "xmemory.h"
#include "kernel/records/qel_check.h"
#include "kernel/records/qel_internal.h"
#include "kernel/records/qel_routines.h"
#include "neutral/neutral_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

using qel_detail::is_xar_of;

namespace {

// ---- diagnostics ---------------------------------------------------------------------

std::recursive_mutex g_observer_mutex;
neut_message_observer g_observer = nullptr;
void* g_observer_context = nullptr;

constexpr const char* kPart = "cnv_qlk_neut";
constexpr const char* kSurface = "cnv_qlk_neut_surface";
constexpr const char* kShape = "cnv_qlk_neut_surfaceshape";
constexpr const char* kCurve = "cnv_qlk_neut_curve";
constexpr const char* kEdge = "cnv_qlk_neut_edge";
constexpr const char* kDatumCurve = "cnv_qlk_neut_datum_curve";
constexpr const char* kSplsrf = "cnv_qlk_neut_splsrf";
constexpr const char* kBsplsrf = "cnv_qlk_neut_bsplsrf";
constexpr const char* kNoMemory = "Out of memory";

void observe(const char* routine, const char* text) {
    std::lock_guard<std::recursive_mutex> lock(g_observer_mutex);
    if (g_observer)
        g_observer(routine, text, g_observer_context);
}

// ---- what a conversion leaves out ------------------------------------------------------

// The item being converted, inside `outer` (a face of a quilt): what a
// message that leaves something out names.
struct Item {
    const char* kind; // "face", "quilt", "edge", "datum"
    int index;        // in the interface data's array of its kind
    int64_t id = -1;  // once read
    const char16_t* name = nullptr; // a datum's name field, once read
    Item* outer = nullptr;
};

std::string describe(const Item& item) {
    // Appended piece by piece (a literal added to a temporary string trips
    // g++'s false -Wrestrict warning in optimised builds).
    std::string text = item.kind;
    text += item.id >= 0 ? " " : " at index ";
    text += std::to_string(item.id >= 0 ? item.id : int64_t(item.index));
    if (item.name) { // shown on the line's one line (a line end as \x0A)
        text += ' ';
        text += kname::Shown(kname::Narrow(item.name, QEL_NAME_LEN));
    }
    if (item.outer) {
        text += " of ";
        text += describe(*item.outer);
    }
    return text;
}

// One kind of loss (a routine's message) in one conversion: the text and
// item of the first, and how many there were in all.
struct LeftOut {
    std::string routine;
    std::string kind;
    std::string text;
    std::string item;
    int count;
};

// The conversion running on this thread (null: none).
struct Conversion {
    Item* item = nullptr;
    std::vector<LeftOut> leftOut;
};
thread_local Conversion* t_conversion = nullptr;

// Makes an item the one being converted while it lives.
class ItemScope {
public:
    ItemScope(const char* kind, int index) : item_{kind, index} {
        if (t_conversion) {
            item_.outer = t_conversion->item;
            t_conversion->item = &item_;
        }
    }
    ~ItemScope() {
        if (t_conversion && t_conversion->item == &item_)
            t_conversion->item = item_.outer;
    }
    ItemScope(const ItemScope&) = delete;
    ItemScope& operator=(const ItemScope&) = delete;

private:
    Item item_;
};

// The id (and a datum's name field) of the item being converted, once
// read.
void name_item(uint32_t id, const char16_t* name = nullptr) {
    if (t_conversion && t_conversion->item) {
        t_conversion->item->id = id;
        t_conversion->item->name = name;
    }
}

// The message about what the converter assumed where the interface data
// said nothing, keeping every value it was given: a contour of traversal
// none is kept as a loop, and a loop holds no traversal. Every other
// message tells that something was left out of the part or written as
// another value.
bool is_assumption(const char* text) {
    return std::strcmp(text, "Contour traverce must be defined") == 0;
}

void left_out(Conversion& conversion, const char* routine, const char* kind, const char* text) {
    for (LeftOut& seen : conversion.leftOut) {
        if (seen.kind == kind && seen.routine == routine) {
            ++seen.count;
            return;
        }
    }
    conversion.leftOut.push_back(
        {routine, kind, text, conversion.item ? describe(*conversion.item) : "the part", 1});
}

// A message of `kind` whose text says more of this one (a value, what the
// part holds instead). Within a conversion, what is left out waits to be
// told once per kind at its end, in the text of the first, so what a
// conversion tells is bounded by the converter's own kinds whatever values
// the data holds; an assumption (and any message outside a conversion) is
// shown in a nonzero run mode only.
void message_of_kind(const char* routine, const char* kind, const char* text) {
    if (t_conversion && !is_assumption(text))
        left_out(*t_conversion, routine, kind, text);
    else if (get_run_mode() != 0) // one line per message: dbg_print_info ends it
        dbg_print_info("-%s- %s", routine, text);
    observe(routine, text);
}

void message(const char* routine, const char* text) { message_of_kind(routine, text, text); }

std::string number(int64_t value) {
    char digits[24];
    const auto res = std::to_chars(digits, digits + sizeof(digits), value);
    return std::string(digits, res.ptr);
}

// `text` followed by a value; of the kind `text`, whatever the value.
void message_with_number(const char* routine, const char* text, int32_t value) {
    std::string full = text;
    full += number(value);
    message_of_kind(routine, text, full.c_str());
}

// ---- memory and arrays ---------------------------------------------------------------

template <class T> T* alloc() { return static_cast<T*>(getmem(sizeof(T))); }

// Appends a pointer to an xar of pointers (made on first use, growth 2).
template <class T> bool append_ptr(T**& arr, T* rec) {
    return xar_alloc_or_append(arr, int(sizeof(T*)), 2, 1, &rec) == QEL_OK;
}

// Makes `rec` and attaches it to `arr`; null (and nothing attached) when
// memory runs out, which is reported under `routine`.
template <class T> T* new_attached(T**& arr, const char* routine) {
    T* rec = alloc<T>();
    if (rec && append_ptr(arr, rec))
        return rec;
    rlsmem(rec);
    message(routine, kNoMemory);
    return nullptr;
}

// Drops the last pointer of an xar of pointers and releases that record,
// which must hold nothing of its own.
template <class T> void drop_last_empty(T**& arr) {
    const int n = xar_count(arr);
    rlsmem(arr[n - 1]);
    xar_remove(arr, n - 1, 1);
    if (n == 1)
        xar_free(arr);
}

// Calls f(const double*) for every item of a host array of items of `per`
// doubles, held as an xar or a har. False (nothing visited) when the items
// are of another size.
template <class F> bool each_item(const void* arr, int per, F&& f) {
    if (!arr)
        return true;
    const int size = per * int(sizeof(double));
    const int entry = har_entry_size(arr);
    if (entry != 0) {
        if (entry != size)
            return false;
        void* const* pages = static_cast<void* const*>(arr);
        const int npages = xar_count(arr);
        for (int p = 0; p < npages; ++p) {
            const char* items = static_cast<const char*>(pages[p]);
            const int n = xar_count(items);
            for (int i = 0; i < n; ++i)
                f(reinterpret_cast<const double*>(items + size_t(i) * size_t(size)));
        }
        return true;
    }
    if (xar_elem_size(arr) != size)
        return false;
    const char* items = static_cast<const char*>(arr);
    const int n = xar_count(arr);
    for (int i = 0; i < n; ++i)
        f(reinterpret_cast<const double*>(items + size_t(i) * size_t(size)));
    return true;
}

int item_count(const void* arr) {
    if (!arr)
        return 0;
    return har_entry_size(arr) != 0 ? har_total(arr) : xar_count(arr);
}

// A new flat double xar with the `per` doubles of every item of `src`;
// null when `src` holds nothing. 0, -2 for items of another size, -10.
int flat_doubles(const void* src, int per, double*& out) {
    out = nullptr;
    const int64_t total = int64_t(item_count(src)) * per;
    if (total == 0)
        return QEL_OK;
    if (total > xar_max_count_get(int(sizeof(double))))
        return QEL_ERR_NO_MEMORY;
    auto* arr = static_cast<double*>(xar_alloc(int(total), int(sizeof(double)), 1));
    if (!arr)
        return QEL_ERR_NO_MEMORY;
    int64_t at = 0;
    if (!each_item(src, per, [&](const double* v) {
            std::memcpy(arr + at, v, sizeof(double) * size_t(per));
            at += per;
        })) {
        xar_free(arr);
        return QEL_ERR_BAD_ARG;
    }
    out = arr;
    return QEL_OK;
}

// One host array to flatten: its items of `per` doubles go to `out`.
struct FlatJob {
    const void* src;
    int per;
    double*& out;
};

// Flattens the arrays in turn up to the first failure; its status, or 0.
int flat_all(std::initializer_list<FlatJob> jobs) {
    for (const FlatJob& job : jobs)
        if (const int st = flat_doubles(job.src, job.per, job.out); st != QEL_OK)
            return st;
    return QEL_OK;
}

// Chunk of the large double arrays of a B-spline surface held in a har.
constexpr int kLargeChunk = 3 * 1024;

// A new har of single doubles with the `per` doubles of every item of
// `src`; null when `src` holds nothing. 0, -2 or -10 as flat_doubles.
int har_doubles(const void* src, int per, neut_har& out) {
    out = nullptr;
    const int64_t total = int64_t(item_count(src)) * per;
    if (total == 0)
        return QEL_OK;
    if (total > INT32_MAX)
        return QEL_ERR_NO_MEMORY;
    void* arr = har_alloc(int(sizeof(double)), kLargeChunk);
    if (!arr)
        return QEL_ERR_NO_MEMORY;
    int st = QEL_OK;
    if (!each_item(src, per, [&](const double* v) {
            for (int k = 0; k < per && st == QEL_OK; ++k)
                st = har_append(&arr, &v[k]) == QEL_OK ? QEL_OK : QEL_ERR_NO_MEMORY;
        }))
        st = QEL_ERR_BAD_ARG;
    if (st != QEL_OK) {
        har_free(&arr);
        return st;
    }
    out = arr;
    return QEL_OK;
}

// Reports a failed array conversion: `text` for a malformed host array.
void array_failed(const char* routine, const char* text, int st) {
    message(routine, st == QEL_ERR_NO_MEMORY ? kNoMemory : text);
}

void copy3(double* dst, const double* src) { std::memcpy(dst, src, 3 * sizeof(double)); }

// ---- curves ----------------------------------------------------------------------------

// Kind of a host curve; a cleared curve reads -1. False when unreadable.
bool read_curve_kind(const QelCurvedata* curve, int32_t* kind) {
    if (!curve)
        return false;
    if (qel_curvedata_is_cleared(curve)) {
        *kind = -1;
        return true;
    }
    return qel_curvedata_type_get(curve, kind) == QEL_OK;
}

// Makes a curve record of `type`, hands it out through code and rec.
template <class T> T* hand_out_curve(int32_t type, int32_t* code, neut_curve** rec) {
    T* r = alloc<T>();
    if (!r) {
        message(kCurve, kNoMemory);
        return nullptr;
    }
    r->type = type;
    *code = type;
    *rec = reinterpret_cast<neut_curve*>(r);
    return r;
}

void convert_spline(const QelCurvedata* src, neut_spline* r) {
    double* params = nullptr;
    QelPoint* points = nullptr;
    QelPoint* tangents = nullptr;
    uint32_t count = 0;
    if (qel_splinedata_get(src, &params, &points, &tangents, &count) != QEL_OK) {
        message(kCurve, "Spline Get");
        return;
    }
    const int st = flat_all({{params, 1, r->params}, {points, 3, r->points},
                             {tangents, 3, r->tangents}});
    if (st != QEL_OK)
        array_failed(kCurve, "Spline Get", st);
    xar_free(params);
    xar_free(points);
    xar_free(tangents);
}

void convert_bspline(const QelCurvedata* src, neut_bspline* r) {
    int32_t degree = 0;
    double* knots = nullptr;
    double* weights = nullptr;
    QelPoint* points = nullptr;
    uint32_t knot_count = 0, point_count = 0;
    if (qel_bsplinedata_get(src, &degree, &knots, &weights, &points, &knot_count,
                            &point_count) != QEL_OK) {
        message(kCurve, "Bspline Get");
        return;
    }
    r->degree = degree;
    const int st = flat_all({{knots, 1, r->params}, {weights, 1, r->weights},
                             {points, 3, r->c_pnts}});
    if (st != QEL_OK)
        array_failed(kCurve, "Bspline Get", st);
    xar_free(knots);
    xar_free(weights);
    xar_free(points);
}

// An ellipse whose angles span 2 pi less 0.0001 or more is closed.
constexpr double kClosedEllipseSpan = 6.2830853071795865;

// Converts a host curve of kind `kind`. When a record is made, *code and
// *rec receive it (before its getter runs, except for the ellipse, which is
// handed out only once read); otherwise both are left as they were.
void convert_curve(int32_t kind, const QelCurvedata* src, int32_t* code, neut_curve** rec) {
    switch (kind) {
    case 1:
        if (auto* r = hand_out_curve<neut_point>(NEUT_CURVE_POINT, code, rec))
            if (qel_pointdata_get(src, r->xyz) != QEL_OK)
                message(kCurve, "Point Get");
        return;
    case 2:
        if (auto* r = hand_out_curve<neut_line>(NEUT_CURVE_LINE, code, rec))
            if (qel_linedata_get(src, r->end1, r->end2) != QEL_OK)
                message(kCurve, "Line Get");
        return;
    case 3:
        if (auto* r = hand_out_curve<neut_arc>(NEUT_CURVE_ARC, code, rec))
            if (qel_arcdata_get(src, r->vector1, r->vector2, r->origin, &r->start_angle,
                                &r->end_angle, &r->radius) != QEL_OK)
                message(kCurve, "Arc Get");
        return;
    case 12:
        if (auto* r = hand_out_curve<neut_spline>(NEUT_CURVE_SPLINE, code, rec))
            convert_spline(src, r);
        return;
    case 19:
        if (auto* r = hand_out_curve<neut_bspline>(NEUT_CURVE_BSPLINE, code, rec))
            convert_bspline(src, r);
        return;
    case 30: {
        double center[3], major[3], minor[3], major_len = 0, minor_len = 0, start = 0, end = 0;
        if (qel_ellipsedata_get(src, center, major, minor, &major_len, &minor_len, &start,
                                &end) != QEL_OK) {
            message(kCurve, "Ellipse Get");
            return;
        }
        const int32_t type =
            std::fabs(end - start) >= kClosedEllipseSpan ? NEUT_CURVE_ELLIPSE_CLOSED
                                                         : NEUT_CURVE_ELLIPSE;
        if (auto* r = hand_out_curve<neut_ellipse>(type, code, rec)) {
            copy3(r->vector1, major);
            copy3(r->vector2, minor);
            copy3(r->origin, center);
            r->start_angle = start;
            r->end_angle = end;
            r->radius1 = major_len;
            r->radius2 = minor_len;
        }
        return;
    }
    case -1:
        message(kCurve, "QelCurvedata NONE is out of service");
        return;
    case 6:
        message(kCurve, "QelCurvedata TXT is out of service");
        return;
    case 8:
        message(kCurve, "QelCurvedata ARROW is out of service");
        return;
    case 10:
        message(kCurve, "QelCurvedata CIRCLE is out of service");
        return;
    case 40:
        message(kCurve, "QelCurvedata POLYGON is out of service");
        return;
    case 41:
        message(kCurve, "QelCurvedata CMP_CRV is out of service");
        return;
    default:
        message_with_number(kCurve, "No neutral record for QelCurvedata of kind ", kind);
        return;
    }
}

// Reads the kind of a profile curve and converts it into (code, rec);
// `kind_text` is the message when the kind cannot be read. False then.
bool convert_profile(const char* routine, const char* kind_text, const QelCurvedata* curve,
                     int32_t* code, neut_curve** rec) {
    int32_t kind = 0;
    if (!read_curve_kind(curve, &kind)) {
        message(routine, kind_text);
        return false;
    }
    convert_curve(kind, curve, code, rec);
    return true;
}

// ---- surface shapes ----------------------------------------------------------------------

// Makes a shape record and hands it out through code and rec.
template <class T> T* hand_out_shape(const char* routine, int32_t type, int32_t* code, void** rec) {
    T* r = alloc<T>();
    if (!r) {
        message(routine, kNoMemory);
        return nullptr;
    }
    *code = type;
    *rec = r;
    return r;
}

void fill_splsrf(const QelSurfaceshapedata* shape, neut_spl_srf& r) {
    double *u = nullptr, *v = nullptr;
    QelPoint *points = nullptr, *ut = nullptr, *vt = nullptr, *uv = nullptr;
    uint32_t uc = 0, vc = 0;
    if (qel_splinesrfdata_get(shape, &u, &v, &points, &ut, &vt, &uv, &uc, &vc) != QEL_OK) {
        message(kSplsrf, "Splinesrf Get");
        return;
    }
    const int st = flat_all({{u, 1, r.u_params},
                             {v, 1, r.v_params},
                             {points, 3, r.points},
                             {ut, 3, r.u_tangents},
                             {vt, 3, r.v_tangents},
                             {uv, 3, r.uv_derivs}});
    if (st != QEL_OK)
        array_failed(kSplsrf, "Splinesrf Get", st);
    xar_free(u);
    xar_free(v);
    xar_free(points);
    xar_free(ut);
    xar_free(vt);
    xar_free(uv);
}

static_assert(sizeof(neut_bspl_srf) == sizeof(neut_bspl_srf_large),
              "one block serves both forms of the B-spline surface");

void convert_bsplsrf(const QelSurfaceshapedata* shape, int32_t* code, void** rec) {
    auto* r = hand_out_shape<neut_bspl_srf>(kBsplsrf, NEUT_SURF_BSPL_SRF, code, rec);
    if (!r)
        return;
    uint32_t degrees[2] = {0, 0};
    double *u = nullptr, *v = nullptr;
    uint32_t uc = 0, vc = 0, count = 0;
    if (qel_bsplinesrfdata_get(shape, degrees, &u, &v, nullptr, nullptr, &uc, &vc, &count) !=
        QEL_OK) {
        message(kBsplsrf, "Bsplinesrf Get 1");
        return;
    }
    const bool large = count > uint32_t(xar_max_count_get(int(sizeof(QelPoint))));
    if (large)
        *code = NEUT_SURF_BSPL_SRF_LARGE;
    r->degree[0] = int32_t(degrees[0]);
    r->degree[1] = int32_t(degrees[1]);
    int st = flat_all({{u, 1, r->u_params}, {v, 1, r->v_params}});
    xar_free(u);
    xar_free(v);
    if (st != QEL_OK) {
        array_failed(kBsplsrf, "Bsplinesrf Get 1", st);
        return;
    }
    if (count < 1)
        return;
    double* weights = nullptr;
    QelPoint* points = nullptr;
    if (qel_bsplinesrfdata_get(shape, nullptr, nullptr, nullptr, &weights, &points, nullptr,
                               nullptr, nullptr) != QEL_OK) {
        message(kBsplsrf, "Bsplinesrf Get 2");
        return;
    }
    if (large) {
        auto* big = reinterpret_cast<neut_bspl_srf_large*>(r);
        st = har_doubles(points, 3, big->c_pnts);
        if (st == QEL_OK)
            st = har_doubles(weights, 1, big->weights);
    } else {
        st = flat_all({{points, 3, r->c_pnts}, {weights, 1, r->weights}});
    }
    if (st != QEL_OK)
        array_failed(kBsplsrf, "Bsplinesrf Get 2", st);
    qel_detail::free_net_array(weights);
    qel_detail::free_net_array(points);
}

// Frame getters of the analytic shapes write e1, e2, e3 and origin; the
// neutral analytic records start with the same four vectors.
template <class T> void set_frame(T* r, const QelFrame& f) {
    copy3(r->e1, f.e1);
    copy3(r->e2, f.e2);
    copy3(r->e3, f.e3);
    copy3(r->origin, f.origin);
}

// Surface of revolution (43) and tabulated cylinder (44).
void convert_swept(const QelSurfaceshapedata* shape, int32_t kind, int32_t* code, void** rec) {
    const bool rev = kind == NEUT_SURF_SRF_REV;
    const char* routine = rev ? "cnv_qlk_neut_srfrev" : "cnv_qlk_neut_tabcyl";
    auto* r = hand_out_shape<neut_srf_rev>(routine, kind, code, rec);
    if (!r)
        return;
    QelFrame f;
    QelCurvedata profile;
    if (qel_srfrevdata_get(shape, f.e1, f.e2, f.e3, f.origin, &profile) != QEL_OK) {
        message(routine, rev ? "Srfrev Get" : "Tabcyl Get");
        return;
    }
    set_frame(r, f);
    convert_profile(routine, "CurveType Get", &profile, &r->curve_type, &r->C);
}

void convert_rulsrf(const QelSurfaceshapedata* shape, int32_t* code, void** rec) {
    constexpr const char* routine = "cnv_qlk_neut_rulsrf";
    auto* r = hand_out_shape<neut_rul_srf>(routine, NEUT_SURF_RUL_SRF, code, rec);
    if (!r)
        return;
    QelFrame f;
    QelCurvedata c1, c2;
    if (qel_rulsrfdata_get(shape, f.e1, f.e2, f.e3, f.origin, &c1, &c2) != QEL_OK) {
        message(routine, "Rulsrf Get");
        return;
    }
    set_frame(r, f);
    if (convert_profile(routine, "CurveType Get 1", &c1, &r->curve_type1, &r->C1))
        convert_profile(routine, "CurveType Get 2", &c2, &r->curve_type2, &r->C2);
}

void convert_filsrf(const QelSurfaceshapedata* shape, int32_t* code, void** rec) {
    constexpr const char* routine = "cnv_qlk_neut_filsrf";
    auto* r = hand_out_shape<neut_fillet_srf>(routine, NEUT_SURF_FILLET_SRF, code, rec);
    if (!r)
        return;
    QelSplinedata heads[3];
    if (qel_filsrfdata_get(shape, &heads[0], &heads[1], &heads[2]) != QEL_OK) {
        message(routine, "Filsrf Get");
        return;
    }
    neut_spline** outs[3] = {&r->pnt_spline, &r->ctr_spline, &r->tan_spline};
    for (int i = 0; i < 3; ++i) {
        QelCurvedata curve;
        std::memset(&curve, 0, sizeof(curve));
        curve.spline = heads[i];
        int32_t ignored = 0;
        convert_curve(NEUT_CURVE_SPLINE, &curve, &ignored, reinterpret_cast<neut_curve**>(outs[i]));
    }
}

// Converts a host shape of surface kind `kind`; a record made is handed
// out through code and rec before its getter runs.
void convert_shape(int32_t kind, const QelSurfaceshapedata* shape, int32_t* code, void** rec) {
    QelFrame f;
    switch (kind) {
    case 34:
        if (auto* r = hand_out_shape<neut_plane>("cnv_qlk_neut_plane", kind, code, rec)) {
            if (qel_planedata_get(shape, f.e1, f.e2, f.e3, f.origin) != QEL_OK)
                message("cnv_qlk_neut_plane", "Plane Get");
            else
                set_frame(r, f);
        }
        return;
    case 36:
        if (auto* r = hand_out_shape<neut_cylinder>("cnv_qlk_neut_cylinder", kind, code, rec)) {
            double radius = 0;
            if (qel_cylinderdata_get(shape, f.e1, f.e2, f.e3, f.origin, &radius) != QEL_OK) {
                message("cnv_qlk_neut_cylinder", "Cylinder Get");
            } else {
                set_frame(r, f);
                r->radius = radius;
            }
        }
        return;
    case 37:
        if (auto* r = hand_out_shape<neut_cone>("cnv_qlk_neut_cone", kind, code, rec)) {
            double alpha = 0;
            if (qel_cylinderdata_get(shape, f.e1, f.e2, f.e3, f.origin, &alpha) != QEL_OK) {
                message("cnv_qlk_neut_cone", "Cone Get");
            } else {
                set_frame(r, f);
                r->alpha = alpha;
            }
        }
        return;
    case 38:
        if (auto* r = hand_out_shape<neut_torus>("cnv_qlk_neut_torus", kind, code, rec)) {
            double r1 = 0, r2 = 0;
            if (qel_torusdata_get(shape, f.e1, f.e2, f.e3, f.origin, &r1, &r2) != QEL_OK) {
                message("cnv_qlk_neut_torus", "Torus Get");
            } else {
                set_frame(r, f);
                r->radius1 = r1;
                r->radius2 = r2;
            }
        }
        return;
    case 40:
        if (auto* r = hand_out_shape<neut_spl_srf>(kSplsrf, kind, code, rec))
            fill_splsrf(shape, *r);
        return;
    case 41:
        convert_filsrf(shape, code, rec);
        return;
    case 42:
        convert_rulsrf(shape, code, rec);
        return;
    case 43:
    case 44:
        convert_swept(shape, kind, code, rec);
        return;
    case 45:
        convert_bsplsrf(shape, code, rec);
        return;
    case 48:
        if (auto* r = hand_out_shape<neut_cyl_splsrf>("cnv_qlk_neut_cylsplsrf", kind, code, rec)) {
            QelSurfaceshapedata embedded;
            std::memset(&embedded, 0, sizeof(embedded));
            if (qel_cylsplsrfdata_get(shape, f.e1, f.e2, f.e3, f.origin,
                                      &embedded.splinesrf) != QEL_OK) {
                message("cnv_qlk_neut_cylsplsrf", "Cylsplsrf Get");
                return;
            }
            set_frame(r, f);
            fill_splsrf(&embedded, r->splsrf);
        }
        return;
    case -3:
        message(kShape, "QelSurface 'NONE' is out of service");
        return;
    case 39:
        message(kShape, "Surface shape 'COONS' is obsolete");
        return;
    case 46:
        message(kShape, "Surface shape 'FOREIGN' is out of service");
        return;
    default:
        message_with_number(kShape, "Unknown surface shape ", kind);
        return;
    }
}

// ---- surfaces, quilts, edges --------------------------------------------------------------

void fill_loops(const QelSurfacedata* src, neut_surface& out) {
    QelContourdata* contours = nullptr;
    if (qel_surfacedata_contours_get(src, &contours) != QEL_OK) {
        message(kSurface, kNoMemory);
        return;
    }
    const int n = qel_detail::xar_len<QelContourdata>(contours);
    if (n < 0)
        message(kSurface, "Surface Get");
    if (n > 0) {
        // Room for every contour up front: loops never move while filled.
        out.loops = static_cast<neut_loop*>(xar_alloc(n, int(sizeof(neut_loop)), 1));
        if (!out.loops)
            message(kSurface, kNoMemory);
    }
    int made = 0;
    for (int i = 0; i < n && out.loops; ++i) {
        uint32_t traversal = 0;
        int32_t* edge_ids = nullptr;
        qel_intf_data_accuracytype_get(&contours[i], &traversal);
        qel_intf_data_accuracy_get(&contours[i], &edge_ids);
        const int32_t trav = int32_t(traversal);
        if (trav == QEL_TRAV_NONE) {
            message(kSurface, "Contour traverce must be defined");
        } else if (trav != QEL_TRAV_INTERNAL && trav != QEL_TRAV_EXTERNAL) {
            message_with_number(kSurface, "No neutral loop for a contour of traversal ", trav);
            continue;
        }
        neut_loop& loop = out.loops[made++];
        if (!is_xar_of<int32_t>(edge_ids))
            message(kSurface, "Surface Get");
        else if (xar_count(edge_ids) > 0 && xar_cpy(loop.edge_ids, edge_ids) != QEL_OK)
            message(kSurface, kNoMemory);
    }
    if (made == 0)
        xar_free(out.loops);
    else
        xar_resize(out.loops, made); // shrinking never fails
    xar_free(contours);
}

// Fills `out`, a zeroed record already attached to its owner, from the host
// face `src`. False when the surface is dropped; `out` then holds nothing.
bool fill_surface(const QelSurfacedata* src, neut_surface& out) {
    uint32_t kind = 0, id = 0;
    int32_t orientation = 0;
    QelSurfaceshapedata shape;
    if (qel_surfacedata_get(src, &kind, out.uv_min, out.uv_max, &orientation, &shape, &id) !=
        QEL_OK) {
        message(kSurface, "Surface Get");
        std::memset(&out, 0, sizeof(out));
        return false;
    }
    name_item(id);
    convert_shape(int32_t(kind), &shape, &out.surface_type, &out.surface);
    if (!out.surface) {
        std::memset(&out, 0, sizeof(out));
        return false;
    }
    out.id = int32_t(id);
    copy3(out.xyz_min, src->xyz_min);
    copy3(out.xyz_max, src->xyz_max);
    if (orientation == QEL_ORIENT_NEGATIVE) {
        out.orient = -1;
    } else if (orientation == QEL_ORIENT_POSITIVE) {
        out.orient = 1;
    } else if (orientation == QEL_ORIENT_NONE) { // written as positive, and told
        message_of_kind(kSurface, "orientation none",
                        "No neutral orientation for a surface of orientation 0 (none): written "
                        "as 1");
        out.orient = 1;
    } else {
        message_with_number(kSurface, "No neutral orientation for a surface of orientation ",
                            orientation);
    }
    fill_loops(src, out);
    return true;
}

void convert_quilt(const QelQuiltdata* src, neut_part& part) {
    uint32_t id = 0;
    QelSurfacedata** faces = nullptr;
    qel_intf_data_accuracytype_get(src, &id);
    name_item(id);
    if (qel_quiltdata_surfaces_get(src, &faces) != QEL_OK) {
        message(kPart, kNoMemory);
        return;
    }
    const int n = qel_detail::xar_len<QelSurfacedata*>(faces);
    if (n < 0)
        message(kPart, "Quilt Get");
    else if (n == 0)
        message(kPart, "No neutral record for a quilt without faces");
    neut_quilt* quilt = n > 0 ? new_attached(part.quilts, kPart) : nullptr;
    if (quilt) {
        quilt->id = int32_t(id);
        for (int i = 0; i < n; ++i) {
            if (!faces[i])
                continue;
            ItemScope face("face", i);
            neut_surface* s = new_attached(quilt->surfaces, kSurface);
            if (s && !fill_surface(faces[i], *s))
                drop_last_empty(quilt->surfaces);
        }
        if (xar_count(quilt->surfaces) == 0) {
            xar_free(quilt->surfaces);
            drop_last_empty(part.quilts);
        }
    }
    xar_free(faces);
}

// A host curve buffer that reads as "no curve" until a getter fills it.
void clear_curve(QelCurvedata& c) {
    std::memset(&c, 0, sizeof(c));
    c.kind = QEL_CURVE_CLEARED;
}

// The direction of an edge on one of its faces as a neutral part holds it,
// 1 or -1: the host's 1 (KTraversal's same) is -1, its -1 and KTraversal's
// opposite (2) are 1. Anything else (none, a number that names no
// direction) is written as 1 as well, and told; none on a side without a
// face (a negative surface id) loses nothing.
int32_t edge_direction(int32_t dir, int32_t face) {
    if (dir == 1)
        return -1;
    if (dir == -1 || dir == 2 || (dir == 0 && face < 0))
        return 1;
    // Appended piece by piece, as describe() is.
    std::string text = "No neutral direction for an edge of direction ";
    text += number(dir);
    text += dir == 0 ? " (none) on face " : " on face ";
    text += number(face);
    text += ": written as 1";
    message_of_kind(kEdge, dir == 0 ? "direction none" : "direction of no name", text.c_str());
    return 1;
}

void fill_edge(const QelEdgedata* src, neut_edge& out) {
    uint32_t id = 0, faces[2] = {0, 0}, dirs[2] = {0, 0};
    QelUvSample* uv = nullptr;
    QelCurvedata c1, c2, xyz;
    clear_curve(c1);
    clear_curve(c2);
    clear_curve(xyz);
    QelCurvedata* const uv_curves[2] = {&c1, &c2};
    if (qel_edgedata_get(src, &id, faces, dirs, &uv, uv_curves, &xyz) != QEL_OK)
        message(kEdge, "Edge Get");
    else
        name_item(id);
    out.id = int32_t(id);
    for (int k = 0; k < 2; ++k) {
        out.surface_ids[k] = int32_t(faces[k]);
        out.direction[k] = edge_direction(int32_t(dirs[k]), int32_t(faces[k]));
    }
    const int st = flat_doubles(uv, 4, out.uv_points);
    if (st != QEL_OK)
        array_failed(kEdge, "Edge Get", st);
    xar_free(uv);
    for (int k = 0; k < 2; ++k) {
        int32_t kind = -1;
        if (!read_curve_kind(uv_curves[k], &kind) || kind == -1)
            continue;
        auto* u = alloc<neut_uv_curve>();
        if (!u) {
            message(kEdge, kNoMemory);
            continue;
        }
        out.uv_curves[k] = u;
        u->id = 0;
        u->flip = 1;
        convert_curve(kind, uv_curves[k], &u->curve_type, &u->curve);
    }
    int32_t kind = -1;
    if (read_curve_kind(&xyz, &kind) && kind != -1)
        convert_curve(kind, &xyz, &out.curve_type, &out.curve);
}

// ---- datums -------------------------------------------------------------------------------

void convert_csys(uint32_t id, const char16_t* name, const QelDatumbody& body, neut_part& part) {
    neut_csys* r = new_attached(part.coord_systems, kPart);
    if (!r)
        return;
    r->id = int32_t(id);
    r->name = neut_wide_copy(name, QEL_NAME_LEN);
    if (!r->name)
        message(kPart, kNoMemory);
    QelFrame f;
    if (qel_datumdata_frame_get(&body, &f) == QEL_OK)
        set_frame(r, f);
}

void convert_datum_plane(uint32_t id, const char16_t* name, const QelDatumbody& body,
                         neut_part& part) {
    neut_datum_plane* r = new_attached(part.datum_planes, kPart);
    if (!r)
        return;
    r->id = int32_t(id);
    r->name = neut_wide_copy(name, QEL_NAME_LEN);
    if (!r->name)
        message(kPart, kNoMemory);
    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof(shape));
    if (qel_datumdata_frame_get(&body, &shape.plane.frame) != QEL_OK)
        return;
    int32_t code = 0;
    void* plane = nullptr;
    convert_shape(NEUT_SURF_PLANE, &shape, &code, &plane);
    r->plane = static_cast<neut_plane*>(plane);
}

// Reads component i of a composite curve: its curve, direction and kind.
bool read_component(const QelComponentcurvedata* comps, int i, QelCurvedata* curve,
                    uint32_t* direction, int32_t* kind) {
    return qel_componentcurvedata_get(&comps[i], curve, direction) == QEL_OK &&
           read_curve_kind(curve, kind);
}

// The flip of component i of a composite curve: its direction 1 reverses
// it (-1), 0 keeps it (1). Another number is written as 0 is, and told.
int32_t component_flip(int32_t dir, int i) {
    if (dir == 1)
        return -1;
    if (dir != 0) {
        std::string text = "No neutral flip for component ";
        text += number(i);
        text += " of direction ";
        text += number(dir);
        text += ": written as 1";
        message_of_kind(kDatumCurve, "component direction", text.c_str());
    }
    return 1;
}

void convert_datum_curve(uint32_t id, const char16_t* name, const QelDatumbody& body,
                         neut_part& part) {
    QelCurvedata curve;
    int32_t kind = 0;
    if (qel_curvedata_copy(&body.curve, &curve) != QEL_OK || !read_curve_kind(&curve, &kind)) {
        message(kDatumCurve, "Curve Get");
        return;
    }
    // A composite is read whole before anything is made, so that a
    // component that cannot be read drops the datum with nothing to undo.
    QelComponentcurvedata* comps = nullptr;
    int n = 0;
    if (kind == QEL_CURVE_COMPOSITE) {
        bool readable = qel_compositecurvedata_get(&curve, &comps) == QEL_OK;
        n = readable ? qel_detail::xar_len<QelComponentcurvedata>(comps) : -1;
        for (int i = 0; i < n && readable; ++i) {
            QelCurvedata c;
            uint32_t dir = 0;
            int32_t k = 0;
            readable = read_component(comps, i, &c, &dir, &k);
        }
        if (!readable || n < 0) {
            message(kDatumCurve, "Composite Get");
            xar_free(comps);
            return;
        }
    }
    neut_datum_curve* r = new_attached(part.datum_curves, kDatumCurve);
    if (r) {
        r->id = int32_t(id);
        r->name = neut_wide_copy(name, QEL_NAME_LEN);
        if (!r->name)
            message(kDatumCurve, kNoMemory);
        if (kind != QEL_CURVE_COMPOSITE) {
            r->is_composite = 0;
            if (auto* simple = alloc<neut_uv_curve>()) {
                r->curve = simple;
                simple->id = -1;
                simple->flip = 1;
                convert_curve(kind, &curve, &simple->curve_type, &simple->curve);
            } else {
                message(kDatumCurve, kNoMemory);
            }
        } else {
            r->is_composite = 1;
            auto* composite = alloc<neut_composite_curve>();
            r->curve = composite;
            // All components up front: they never move while filled.
            if (composite && n > 0)
                composite->components =
                    static_cast<neut_uv_curve*>(xar_alloc(n, int(sizeof(neut_uv_curve)), 1));
            if (!composite || (n > 0 && !composite->components))
                message(kDatumCurve, kNoMemory);
            for (int i = 0; composite && composite->components && i < n; ++i) {
                QelCurvedata c;
                uint32_t dir = 0;
                int32_t k = 0;
                read_component(comps, i, &c, &dir, &k);
                if (k == QEL_CURVE_COMPOSITE)
                    message(kDatumCurve, "Recursive QelCompositeCurvedata is unaccepted");
                neut_uv_curve& u = composite->components[i];
                u.flip = component_flip(int32_t(dir), i);
                convert_curve(k, &c, &u.curve_type, &u.curve);
            }
        }
    }
    xar_free(comps);
}

void convert_datum(const QelDatumdata* src, neut_part& part) {
    uint32_t id = 0;
    int32_t type = 0;
    char16_t name[QEL_NAME_LEN];
    QelDatumbody body;
    if (qel_datumdata_get(src, &id, &type, name, &body) != QEL_OK) {
        message(kPart, "Datum Get");
        return;
    }
    name_item(id, src->name);
    switch (type) {
    case QEL_DATUM_CSYS:
        convert_csys(id, name, body, part);
        return;
    case QEL_DATUM_CURVE:
        convert_datum_curve(id, name, body, part);
        return;
    case QEL_DATUM_PLANE:
        convert_datum_plane(id, name, body, part);
        return;
    default:
        message_with_number(kPart, "No neutral record for a datum of type ", type);
        return;
    }
}

// ---- the part ----------------------------------------------------------------------------

// Appends a zeroed entry to a har of T and returns it (entries never move).
template <class T> T* append_entry(neut_har& har) {
    if (har_append(&har, nullptr) != QEL_OK)
        return nullptr;
    return static_cast<T*>(har_access(har, har_total(har) - 1, nullptr, nullptr));
}

void drop_last_entry(neut_har& har) { har_resize(&har, har_total(har) - 1); }

// Frees a har left without entries.
void free_if_empty(neut_har& har) {
    if (har_total(har) == 0)
        har_free(&har);
}

void convert_surfaces(const qel_intf_data* data, neut_part& part) {
    int32_t count = 0;
    qel_intf_data_surface_count(data, &count);
    if (count <= 0)
        return;
    part.surfaces = har_alloc(int(sizeof(neut_surface)), 10);
    if (!part.surfaces) {
        message(kPart, kNoMemory);
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        ItemScope item("face", i);
        QelSurfacedata* face = nullptr;
        if (qel_intf_data_surface_get(data, i, &face) != QEL_OK) {
            message(kSurface, "Surface Get");
            continue;
        }
        auto* s = append_entry<neut_surface>(part.surfaces);
        if (!s)
            message(kSurface, kNoMemory);
        else if (!fill_surface(face, *s))
            drop_last_entry(part.surfaces);
        qel_data_free(face);
    }
    free_if_empty(part.surfaces);
}

void convert_edges(const qel_intf_data* data, neut_part& part) {
    int32_t count = 0;
    qel_intf_data_edge_count(data, &count);
    if (count <= 0)
        return;
    part.edges = har_alloc(int(sizeof(neut_edge)), 10);
    if (!part.edges) {
        message(kPart, kNoMemory);
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        ItemScope item("edge", i);
        QelEdgedata* edge = nullptr;
        if (qel_intf_data_edge_get(data, i, &edge) != QEL_OK) {
            message(kEdge, "Edge Get");
            continue;
        }
        if (auto* e = append_entry<neut_edge>(part.edges))
            fill_edge(edge, *e);
        else
            message(kEdge, kNoMemory);
        qel_data_free(edge);
    }
    free_if_empty(part.edges);
}

void convert_quilts(const qel_intf_data* data, neut_part& part) {
    int32_t count = 0;
    qel_intf_data_quilt_count(data, &count);
    for (int32_t i = 0; i < count; ++i) {
        ItemScope item("quilt", i);
        QelQuiltdata* quilt = nullptr;
        if (qel_intf_data_quilt_get(data, i, &quilt) != QEL_OK) {
            message(kPart, "Quilt Get");
            continue;
        }
        convert_quilt(quilt, part);
        qel_data_free(quilt);
    }
}

void convert_datums(const qel_intf_data* data, neut_part& part) {
    int32_t count = 0;
    qel_intf_data_datum_count(data, &count);
    for (int32_t i = 0; i < count; ++i) {
        ItemScope item("datum", i);
        QelDatumdata* datum = nullptr;
        if (qel_intf_data_datum_get(data, i, &datum) != QEL_OK) {
            message(kPart, "Datum Get");
            continue;
        }
        convert_datum(datum, part);
        qel_data_free(datum);
    }
}

// An accuracy kind none of relative and absolute (undefined among them).
void accuracy_not_carried(int32_t kind) {
    std::string text = "No neutral accuracy kind for accuracy kind ";
    text += number(kind);
    if (kind == QEL_ACCURACY_UNDEFINED)
        text += " (undefined)";
    text += ": written as absolute";
    message_of_kind(kPart, "accuracy kind", text.c_str());
}

// The whole part (cnv_qlk_neut).
int convert_part(const qel_intf_data* data, neut_part** out) {
    if (!out)
        return QEL_ERR_BAD_ARG;
    auto* part = alloc<neut_part>();
    *out = part;
    if (!part) {
        message(kPart, kNoMemory);
        return QEL_ERR_NO_MEMORY;
    }
    if (!data)
        return QEL_ERR_BAD_ARG;

    uint32_t accuracy_type = 0;
    qel_intf_data_accuracytype_get(data, &accuracy_type);
    if (accuracy_type == QEL_ACCURACY_RELATIVE)
        part->accuracy_is_relative = 1;
    else if (accuracy_type == QEL_ACCURACY_ABSOLUTE)
        part->accuracy_is_relative = 0;
    else // written as absolute, and told
        accuracy_not_carried(int32_t(accuracy_type));
    qel_intf_data_accuracy_get(data, &part->accuracy);
    qel_intf_data_outline_get(data, &part->outline[0][0]);

    convert_surfaces(data, *part);
    convert_quilts(data, *part);
    convert_edges(data, *part);
    convert_datums(data, *part);
    return QEL_OK;
}

} // namespace

int neut_convert_part(const qel_intf_data* data, neut_part** out, const char* teller) {
    Conversion conversion;
    int status;
    {
        // The thread's conversion is this one until the part is made, also
        // when making it throws.
        struct Current {
            Conversion* outer = t_conversion;
            ~Current() { t_conversion = outer; }
        } current;
        t_conversion = &conversion;
        status = convert_part(data, out);
    }
    for (const LeftOut& lost : conversion.leftOut) {
        std::string line = lost.item + " was not converted whole: " + lost.text + " (" +
                           lost.routine + ")";
        if (lost.count > 1)
            line += "; " + std::to_string(lost.count - 1) + " more like it";
        if (teller)
            neut_tell(teller, line.c_str());
        else
            observe("cnv_qlk_neut", line.c_str());
    }
    return status;
}

extern "C" {

// Allocates a new neutral part and stores it in *out before anything else,
// then converts the accuracy, outline, surfaces with their loops, quilts,
// edges and datums of `data` into it. The caller owns the part (free it
// with release_neutral_part) whatever the result. `flags` is not used.
// Returns 0; -2 for a null `data` (the part is handed out empty) or a null
// `out` (nothing is made); -10 when the part itself cannot be allocated
// (*out is then null). Failures of single items do not change the result;
// what they leave out is told under "cnv_qlk_neut" (neutral_convert.h).
int cnv_qlk_neut(const qel_intf_data* data, neut_part** out, int /*flags*/) {
    return neut_convert_part(data, out, "cnv_qlk_neut");
}

void neut_set_message_observer(neut_message_observer observer, void* context) {
    std::lock_guard<std::recursive_mutex> lock(g_observer_mutex);
    g_observer = observer;
    g_observer_context = context;
}

void neut_message(const char* routine, const char* text) {
    message(routine ? routine : "", text ? text : "");
}

void neut_tell(const char* routine, const char* text) {
    routine = routine ? routine : "";
    text = text ? text : "";
    btk_tell("%s: %s", routine, text);
    observe(routine, text);
}

} // extern "C"

namespace {

// A ruled surface's composite curve, which a neutral part cannot hold.
std::string ruled_fault(const QelSurfacedata& face, const std::string& within) {
    if (face.kind != QEL_SURF_RULED)
        return std::string();
    const QelCurvedata* curves[2] = {&face.shape.rulsrf.curve1, &face.shape.rulsrf.curve2};
    for (int i = 0; i < 2; ++i)
        if (curves[i]->kind == QEL_CURVE_COMPOSITE)
            return within + qel_item_name(face) + ", its curve " + std::to_string(i + 1) +
                   ": a composite curve, which a ruled surface of a neutral part cannot hold";
    return std::string();
}

} // namespace

std::string neut_part_fault(const qel_intf_data* data) {
    std::string found;
    if (!data)
        return found;
    qel_detail::har_each<QelSurfacedata>(data->surfaces, [&](const QelSurfacedata& face) {
        found = ruled_fault(face, "");
        return found.empty();
    });
    if (found.empty())
        qel_detail::har_each<QelQuiltdata>(data->quilts, [&](const QelQuiltdata& quilt) {
            const int n = qel_detail::xar_len<QelSurfacedata*>(quilt.faces);
            for (int i = 0; i < n && found.empty(); ++i)
                if (quilt.faces[i])
                    found = ruled_fault(*quilt.faces[i], qel_item_name(quilt) + ", ");
            return found.empty();
        });
    return found;
}
