// What a model holds (see qel_check.h).
#include "kernel/records/qel_check.h"

#include "kernel/records/qel_internal.h"
#include "kernel/records/wide_name.h"

#include "btkstring.h"
#include "xmemory.h"

#include <cmath>

using namespace qel_detail;

namespace {

// Items an array of T holds, as an xar or a har of T (-1 for another kind
// of array); 0 for none.
template <class T> int64_t items_of(const void* arr) {
    if (!arr)
        return 0;
    if (har_entry_size(arr) != 0)
        return har_entry_size(arr) == int(sizeof(T)) ? har_total(arr) : -1;
    return xar_elem_size(arr) == int(sizeof(T)) ? xar_count(arr) : -1;
}

template <class T> const T& item_at(const T* arr, int32_t i) {
    if (har_entry_size(arr) != 0)
        return *static_cast<const T*>(har_access(arr, i, nullptr, nullptr));
    return arr[i];
}

// An array of at least `count` items of T.
template <class T> bool holds(const T* arr, uint32_t count) {
    const int64_t n = items_of<T>(arr);
    return n >= 0 && n >= int64_t(count) && (arr || count == 0);
}

// A fault: where in the item (", its XYZ curve, component at index 1") and
// why; no fault while `why` is empty.
struct Fault {
    std::string where;
    std::string why;
    explicit operator bool() const { return !why.empty(); }
};

Fault at(const std::string& where, Fault inner) {
    inner.where = where + inner.where;
    return inner;
}

std::string kind_text(uint32_t kind) {
    return kind == QEL_CURVE_CLEARED ? std::string("-1") : std::to_string(kind);
}

// The arrays and weights of a B-spline curve or surface (`what`).
template <class B> Fault bspline_fault(const B& b, const char* what) {
    if (!holds(b.points, b.point_count) || (b.weights && !holds(b.weights, b.point_count)) ||
        int64_t(b.point_count) > INT32_MAX)
        return {"", std::string("a ") + what + " whose arrays hold fewer items than its counts say"};
    if (b.weights) {
        std::string why = qel_weights_fault(b.points, b.weights, int32_t(b.point_count));
        if (!why.empty())
            return {"", what + (" " + why)};
    }
    return {};
}

// One curve of a place that must hold a curve (`required`), or an edge's,
// which may hold none (a cleared one). `depth` counts the composites it
// lies in.
Fault curve_fault(const QelCurvedata& c, bool required, int depth) {
    if (c.kind == QEL_CURVE_CLEARED && !required)
        return {};
    if (!qel_curve_kind_held(c.kind))
        return {"", c.kind == QEL_CURVE_CLEARED
                        ? std::string("a cleared curve (kind -1), which holds no curve")
                        : "a curve of kind " + kind_text(c.kind) +
                              ", which has no interface class and no element of its own"};
    if (c.kind == QEL_CURVE_BSPLINE)
        return bspline_fault(c.bspline, "B-spline");
    if (c.kind != QEL_CURVE_COMPOSITE)
        return {};
    if (depth + 1 > QEL_MAX_HELD_CURVE_NESTING)
        return {"", "composite curves nest deeper than " +
                        std::to_string(QEL_MAX_HELD_CURVE_NESTING) + " levels"};
    const QelComponentcurvedata* comps = c.composite.components;
    const int n = xar_len<QelComponentcurvedata>(comps);
    if (n < 0)
        return {"", "a composite curve whose components are no array of components"};
    for (int i = 0; i < n; ++i)
        if (Fault f = curve_fault(comps[i].curve, true, depth + 1))
            return at(", component at index " + std::to_string(i), std::move(f));
    return {};
}

Fault shape_fault(uint32_t kind, const QelSurfaceshapedata& s) {
    switch (kind) {
    case QEL_SURF_REVOLVED:
    case QEL_SURF_TABCYL: {
        const char* where = kind == QEL_SURF_REVOLVED ? ", its profile" : ", its curve";
        if (qel_curve_kind_held(s.srfrev.profile.kind) && !profile_kind_ok(s.srfrev.profile.kind))
            return {where, "a curve of kind " + kind_text(s.srfrev.profile.kind) +
                               ", which the surface does not take"};
        if (Fault f = curve_fault(s.srfrev.profile, true, 0))
            return at(where, std::move(f));
        return {};
    }
    case QEL_SURF_RULED: {
        const QelCurvedata* curves[2] = {&s.rulsrf.curve1, &s.rulsrf.curve2};
        for (int i = 0; i < 2; ++i)
            if (Fault f = curve_fault(*curves[i], true, 0))
                return at(i == 0 ? ", its curve 1" : ", its curve 2", std::move(f));
        if (!ruled_kinds_ok(curves[0]->kind, curves[1]->kind))
            return {", its curves", "curves of kinds " + kind_text(curves[0]->kind) + " and " +
                                        kind_text(curves[1]->kind) +
                                        ", which a ruled surface does not take"};
        return {};
    }
    case QEL_SURF_FILLET: {
        const struct {
            const QelSplinedata* head;
            const char* where;
        } heads[] = {{&s.filsrf.point_spline, ", its point spline"},
                     {&s.filsrf.center_spline, ", its centre spline"},
                     {&s.filsrf.tangent_spline, ", its tangent spline"}};
        for (const auto& h : heads)
            if (h.head->kind != QEL_CURVE_SPLINE)
                return {h.where, "a curve of kind " + kind_text(h.head->kind) +
                                     " where a fillet surface holds a spline"};
        return {};
    }
    case QEL_SURF_BSPLINE:
        return bspline_fault(s.bsplinesrf, "B-spline surface");
    default:
        return {};
    }
}

std::string face_name(const QelSurfacedata& f) { return "face " + std::to_string(f.id); }

std::string placed(const std::string& item, const Fault& f) {
    return item + f.where + ": " + f.why;
}

// The first fault among the entries of a root array of T, as `check` names
// it.
template <class T, class Check> std::string first_fault(const void* har, Check check) {
    std::string found;
    har_each<T>(har, [&](const T& entry) {
        found = check(entry);
        return found.empty();
    });
    return found;
}

} // namespace

bool qel_curve_kind_held(uint32_t kind) {
    switch (kind) {
    case QEL_CURVE_POINT:
    case QEL_CURVE_LINE:
    case QEL_CURVE_ARC:
    case QEL_CURVE_SPLINE:
    case QEL_CURVE_BSPLINE:
    case QEL_CURVE_ELLIPSE:
    case QEL_CURVE_COMPOSITE:
        return true;
    default:
        return false;
    }
}

bool qel_weight_ok(double weight) { return std::isnormal(weight); }

bool qel_weighted_coordinate_ok(double stored, double weight) {
    const double x = stored / weight;
    return std::isfinite(x) && (x != 0 || stored == 0);
}

std::string qel_weights_fault(const QelPoint* points, const double* weights, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        const double w = item_at(weights, i);
        if (!qel_weight_ok(w))
            return "weight " + std::to_string(i) + " is " + DoubleToString(w).c_str() +
                   ": a weight must be a finite number, neither 0 nor subnormal";
    }
    for (int32_t i = 0; points && i < count; ++i) {
        const double w = item_at(weights, i);
        for (double c : item_at(points, i).xyz)
            if (!qel_weighted_coordinate_ok(c, w))
                return "control point " + std::to_string(i) + " divided by its weight " +
                       DoubleToString(w).c_str() +
                       (std::isfinite(c / w) ? " comes to 0" : " is not finite");
    }
    return std::string();
}

std::string qel_intf_data_fault(const qel_intf_data* data) {
    if (!data)
        return std::string();
    const auto face = [](const QelSurfacedata& f, const std::string& name) -> std::string {
        const Fault fault = shape_fault(f.kind, f.shape);
        return fault ? placed(name, fault) : std::string();
    };
    std::string found = first_fault<QelSurfacedata>(
        data->surfaces, [&](const QelSurfacedata& f) { return face(f, face_name(f)); });
    if (found.empty())
        found = first_fault<QelQuiltdata>(data->quilts, [&](const QelQuiltdata& q) {
            const int n = xar_len<QelSurfacedata*>(q.faces);
            for (int i = 0; i < n; ++i) {
                if (!q.faces[i])
                    continue;
                std::string f = face(*q.faces[i], face_name(*q.faces[i]) + " of quilt " +
                                                      std::to_string(q.id));
                if (!f.empty())
                    return f;
            }
            return std::string();
        });
    if (found.empty())
        found = first_fault<QelEdgedata>(data->edges, [](const QelEdgedata& e) {
            const struct {
                const QelCurvedata* curve;
                const char* where;
            } curves[] = {{e.uv_curve1, ", its UV curve 1"},
                          {e.uv_curve2, ", its UV curve 2"},
                          {e.xyz_curve, ", its XYZ curve"}};
            for (const auto& c : curves)
                if (c.curve)
                    if (Fault f = curve_fault(*c.curve, false, 0))
                        return placed("edge " + std::to_string(e.id), at(c.where, std::move(f)));
            return std::string();
        });
    if (found.empty())
        found = first_fault<QelDatumdata>(data->datums, [](const QelDatumdata& d) {
            std::string name = "datum " + std::to_string(d.id) + " \"" +
                               kname::Narrow(d.name, QEL_NAME_LEN) + "\"";
            switch (d.type) {
            case QEL_DATUM_CSYS:
            case QEL_DATUM_PLANE:
                return std::string();
            case QEL_DATUM_CURVE:
                if (Fault f = curve_fault(d.body.curve, true, 0))
                    return placed(name, at(", its curve", std::move(f)));
                return std::string();
            default:
                return name + ": its type " + std::to_string(d.type) +
                       " is none of 25 (coordinate system), 62 (curve) and 176 (plane)";
            }
        });
    return found;
}
