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

std::string placed(const std::string& item, const Fault& f) {
    return f ? item + f.where + ": " + f.why : std::string();
}

std::string kind_text(uint32_t kind) {
    return kind == QEL_CURVE_CLEARED ? std::string("-1") : std::to_string(kind);
}

std::string number(double x) { return DoubleToString(x).c_str(); }

// The parameters, points and tangents of a spline (or a fillet surface's
// spline head), as qel_splinedata_init takes them.
Fault spline_fault(const QelSplinedata& s) {
    const int n = xar_len<double>(s.params);
    if (n <= 0 || uint32_t(n) != s.count || xar_len<QelPoint>(s.points) != n ||
        xar_len<QelPoint>(s.tangents) != n)
        return {"", "a spline whose parameters, points and tangents are not each " +
                        std::to_string(s.count) + " (its count), at least one"};
    if (const int i = params_fault_at(s.params, n); i >= 0)
        return {"", "a spline whose parameter " + std::to_string(i + 1) + " (" +
                        number(s.params[i + 1]) + ") does not increase from parameter " +
                        std::to_string(i) + " (" + number(s.params[i]) + ")"};
    return {};
}

// Knots of a B-spline curve or of a direction of a B-spline surface, in
// order (`what`: "B-spline", "B-spline surface's U").
Fault knots_fault(const double* knots, int n, const std::string& what) {
    const int i = knots_fault_at(knots, n);
    if (i < 0)
        return {};
    if (n < 2)
        return {"", "a " + what + " with fewer than two knots"};
    return {"", "a " + what + " knot " + std::to_string(i + 1) + " (" + number(knots[i + 1]) +
                    ") below knot " + std::to_string(i) + " (" + number(knots[i]) + ")"};
}

// The weights of a B-spline curve or surface (`what`), `count` of each.
Fault weights_fault(const QelPoint* points, const double* weights, int32_t count,
                    const char* what) {
    if (!weights)
        return {};
    std::string why = qel_weights_fault(points, weights, count);
    return why.empty() ? Fault{} : Fault{"", what + (" " + why)};
}

// A B-spline curve, as qel_bsplinedata_init takes it (degree 4 and more and
// unclamped ends are taken), with weights that divide back out.
Fault bspline_fault(const QelBsplinedata& b) {
    const int nk = xar_len<double>(b.knots);
    if (!b.knots || nk < 0 || uint32_t(nk) != b.knot_count || !b.points ||
        xar_len<QelPoint>(b.points) != int64_t(b.point_count) ||
        (b.weights && xar_len<double>(b.weights) != int64_t(b.point_count)))
        return {"", "a B-spline whose arrays do not hold its counts (" +
                        std::to_string(b.knot_count) + " knots, " +
                        std::to_string(b.point_count) + " control points and weights)"};
    if (b.degree < 1)
        return {"", "a B-spline of degree " + std::to_string(b.degree) +
                        ": its degree must be at least 1"};
    if (Fault f = knots_fault(b.knots, nk, "B-spline"))
        return f;
    return weights_fault(b.points, b.weights, int32_t(b.point_count), "B-spline");
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
    if (c.kind == QEL_CURVE_SPLINE)
        return spline_fault(c.spline);
    if (c.kind == QEL_CURVE_BSPLINE)
        return bspline_fault(c.bspline);
    if (c.kind != QEL_CURVE_COMPOSITE)
        return {};
    if (depth + 1 > QEL_MAX_HELD_CURVE_NESTING)
        return {"", "composite curves nest deeper than " +
                        std::to_string(QEL_MAX_HELD_CURVE_NESTING) + " levels"};
    const QelComponentcurvedata* comps = c.composite.components;
    const int n = xar_len<QelComponentcurvedata>(comps);
    if (!comps || n < 0)
        return {"", "a composite curve without an array of components"};
    for (int i = 0; i < n; ++i)
        if (Fault f = curve_fault(comps[i].curve, true, depth + 1))
            return at(", component at index " + std::to_string(i), std::move(f));
    return {};
}

// A spline surface's six arrays hold its U and V counts of items.
Fault splinesrf_fault(const QelSplinesrfdata& s) {
    const int64_t u = s.u_count, v = s.v_count;
    // The parameter arrays first: each holds at most INT32_MAX items, so
    // the product of counts they match cannot overflow.
    const bool params = xar_len<double>(s.u_params) == u && xar_len<double>(s.v_params) == v;
    const int64_t n = params ? u * v : 0;
    if (!params || n > INT32_MAX || xar_len<QelPoint>(s.points) != n || xar_len<QelPoint>(s.u_tangents) != n ||
        xar_len<QelPoint>(s.v_tangents) != n || xar_len<QelPoint>(s.mixed_derivs) != n)
        return {"", "a spline surface whose arrays do not hold its counts (" + std::to_string(u) +
                        " x " + std::to_string(v) + ")"};
    return {};
}

Fault bsplinesrf_fault(const QelBsplinesrfdata& b) {
    const int64_t np = b.point_count;
    if (xar_len<double>(b.u_knots) != int64_t(b.u_knot_count) ||
        xar_len<double>(b.v_knots) != int64_t(b.v_knot_count) || np > INT32_MAX ||
        items_of<QelPoint>(b.points) != np || (b.weights && items_of<double>(b.weights) != np))
        return {"", "a B-spline surface whose arrays do not hold its counts (" +
                        std::to_string(b.u_knot_count) + " and " +
                        std::to_string(b.v_knot_count) + " knots, " + std::to_string(np) +
                        " control points and weights)"};
    return weights_fault(b.points, b.weights, int32_t(np), "B-spline surface");
}

Fault shape_fault(uint32_t kind, const QelSurfaceshapedata& s) {
    switch (kind) {
    case 0: // no surface: an empty "Shape", as earlier documents hold one
    case QEL_SURF_PLANE:
    case QEL_SURF_CYLINDER:
    case QEL_SURF_CONE:
    case QEL_SURF_TORUS:
        return {};
    case QEL_SURF_SPLINE:
        return splinesrf_fault(s.splinesrf);
    case QEL_SURF_CYLSPLINE:
        return splinesrf_fault(s.cylsplsrf.splinesrf);
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
        if (!ruled_kinds_held(curves[0]->kind, curves[1]->kind))
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
        for (const auto& h : heads) {
            if (h.head->kind != QEL_CURVE_SPLINE)
                return {h.where, "a curve of kind " + kind_text(h.head->kind) +
                                     " where a fillet surface holds a spline"};
            if (Fault f = spline_fault(*h.head))
                return at(h.where, std::move(f));
        }
        return {};
    }
    case QEL_SURF_BSPLINE:
        return bsplinesrf_fault(s.bsplinesrf);
    default:
        return {"", "its surface kind " + std::to_string(kind) +
                        " has no element of its own (a face of kind 0 has no surface)"};
    }
}

Fault contours_fault(const QelContourdata* contours) {
    const int n = xar_len<QelContourdata>(contours);
    if (n < 0)
        return {"", "its contours are no array of contours"};
    for (int i = 0; i < n; ++i)
        if (xar_len<int32_t>(contours[i].edge_ids) < 0)
            return {", its contour at index " + std::to_string(i),
                    "its edge ids are no array of ids"};
    return {};
}

std::string name_fault(const std::string& item, const char16_t* field, int capacity,
                       const char* what = "its name") {
    const std::string why = kname::FieldFault(field, capacity);
    return why.empty() ? why : item + ": " + what + ": " + why;
}

// The first fault among the entries of a root array of T (`what`), as
// `check` names it.
template <class T, class Check>
std::string first_fault(const void* har, const char* what, Check check) {
    if (har && har_entry_size(har) != int(sizeof(T)))
        return std::string("the interface data's ") + what + " are no array of " + what;
    std::string found;
    har_each<T>(har, [&](const T& entry) {
        found = check(entry);
        return found.empty();
    });
    return found;
}

// The first entry of an array of T, an xar or a har, that `check` finds
// at fault; arrays of another kind are left to those that copy and write
// them.
template <class T, class Check> std::string first_entry_fault(const void* arr, Check check) {
    std::string found;
    const int64_t n = items_of<T>(arr);
    for (int64_t i = 0; i < n && found.empty(); ++i)
        found = check(item_at(static_cast<const T*>(arr), int32_t(i)), int(i));
    return found;
}

// The name for a one-line message (a line end in it shown as \x0A).
std::string quoted(const char16_t* name, int capacity) {
    std::string text(1, ' ');
    text += kname::Shown(kname::Narrow(name, capacity));
    return text;
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
            return "weight " + std::to_string(i) + " is " + number(w) +
                   ": a weight must be a finite number, neither 0 nor subnormal";
    }
    for (int32_t i = 0; points && i < count; ++i) {
        const double w = item_at(weights, i);
        for (double c : item_at(points, i).xyz)
            if (!qel_weighted_coordinate_ok(c, w))
                return "control point " + std::to_string(i) + " divided by its weight " +
                       number(w) + (std::isfinite(c / w) ? " comes to 0" : " is not finite");
    }
    return std::string();
}

std::string qel_item_name(const QelSurfacedata& face) { return "face " + std::to_string(face.id); }
std::string qel_item_name(const QelQuiltdata& quilt) { return "quilt " + std::to_string(quilt.id); }
std::string qel_item_name(const QelEdgedata& edge) { return "edge " + std::to_string(edge.id); }
std::string qel_item_name(const QelDatumdata& datum) { return "datum " + std::to_string(datum.id); }

std::string qel_entry_name(const char* what, int index) {
    return std::string(what) + " at index " + std::to_string(index);
}

std::string qel_face_fault(const QelSurfacedata& face, const std::string& within) {
    const std::string name = (within.empty() ? "" : within + ", ") + qel_item_name(face);
    if (Fault f = shape_fault(face.kind, face.shape))
        return placed(name, f);
    return placed(name, contours_fault(face.contours));
}

std::string qel_quilt_fault(const QelQuiltdata& quilt) {
    const std::string name = qel_item_name(quilt);
    const int n = xar_len<QelSurfacedata*>(quilt.faces);
    if (n < 0)
        return name + ": its faces are no array of faces";
    for (int i = 0; i < n; ++i) {
        if (!quilt.faces[i])
            return name + " holds no face at index " + std::to_string(i);
        std::string f = qel_face_fault(*quilt.faces[i], name);
        if (!f.empty())
            return f;
    }
    return std::string();
}

std::string qel_edge_fault(const QelEdgedata& edge) {
    const std::string name = qel_item_name(edge);
    if (xar_len<QelUvSample>(edge.uv_points) < 0)
        return name + ": its UV points are no array of UV points";
    const struct {
        const QelCurvedata* curve;
        const char* where;
    } curves[] = {{edge.uv_curve1, ", its UV curve 1"},
                  {edge.uv_curve2, ", its UV curve 2"},
                  {edge.xyz_curve, ", its XYZ curve"}};
    for (const auto& c : curves)
        if (c.curve)
            if (Fault f = curve_fault(*c.curve, false, 0))
                return placed(name, at(c.where, std::move(f)));
    return std::string();
}

std::string qel_datum_fault(const QelDatumdata& datum) {
    const std::string id = qel_item_name(datum);
    if (std::string f = name_fault(id, datum.name, QEL_NAME_LEN); !f.empty())
        return f;
    const std::string name = id + quoted(datum.name, QEL_NAME_LEN);
    switch (datum.type) {
    case QEL_DATUM_CSYS:
    case QEL_DATUM_PLANE:
        return std::string();
    case QEL_DATUM_CURVE:
        return placed(name, at(", its curve", curve_fault(datum.body.curve, true, 0)));
    default:
        return name + ": its type " + std::to_string(datum.type) +
               " is none of 25 (coordinate system), 62 (curve) and 176 (plane)";
    }
}

std::string qel_intf_data_fault(const qel_intf_data* data) {
    if (!data)
        return std::string();
    std::string found = first_fault<QelSurfacedata>(
        data->surfaces, "faces", [](const QelSurfacedata& f) { return qel_face_fault(f); });
    if (found.empty())
        found = first_fault<QelQuiltdata>(data->quilts, "quilts", qel_quilt_fault);
    if (found.empty())
        found = first_fault<QelEdgedata>(data->edges, "edges", qel_edge_fault);
    if (found.empty())
        found = first_fault<QelDatumdata>(data->datums, "datums", qel_datum_fault);
    return found;
}

std::string qel_intf_data_extend_fault(const qel_intf_data_extend* ext) {
    if (!ext)
        return std::string();
    std::string found = first_entry_fault<QelLayerdata>(ext->layers, [&](const QelLayerdata& l,
                                                                         int i) {
        return name_fault(qel_entry_name("layer", i), l.name, QEL_NAME_LEN);
    });
    if (found.empty())
        found = first_entry_fault<QelRefColordata>(
            ext->ref_colors, [&](const QelRefColordata& c, int i) {
                const std::string item = qel_entry_name("reference colour", i);
                const struct {
                    const QelTexturemapdata* map;
                    const char* name;
                    const char* file;
                } maps[] = {{&c.bump, "its bump map's name", "its bump map's file name"},
                            {&c.decal, "its decal map's name", "its decal map's file name"},
                            {&c.texture, "its texture map's name", "its texture map's file name"}};
                std::string f;
                for (const auto& m : maps)
                    if (f.empty() &&
                        (f = name_fault(item, m.map->name, QEL_NAME_LEN, m.name)).empty())
                        f = name_fault(item, m.map->file_name, QEL_PATH_LEN, m.file);
                return f;
            });
    if (found.empty())
        found = first_entry_fault<QelGenAttribdata>(
            ext->attributes, [&](const QelGenAttribdata& a, int i) {
                const std::string item = qel_entry_name("attribute", i);
                std::string f = name_fault(item, a.name, QEL_NAME_LEN);
                if (!f.empty())
                    return f;
                const std::string name = item + quoted(a.name, QEL_NAME_LEN);
                switch (a.value_kind) {
                case 3:
                    return name_fault(name, a.text, QEL_ATTRIB_TEXT_LEN, "its text");
                case 0:
                case 1:
                case 2:
                case 5:
                    return f;
                default:
                    return name + ": its value kind " + std::to_string(a.value_kind) +
                           " is none of 0 (none), 1 (integer), 2 (real), 3 (text) and 5";
                }
            });
    if (found.empty())
        found = first_entry_fault<QelUnitdata>(ext->units, [&](const QelUnitdata& u, int i) {
            return name_fault(qel_entry_name("unit", i), u.name, QEL_NAME_LEN);
        });
    if (found.empty())
        found = first_entry_fault<QelItemNamedata>(
            ext->item_names, [&](const QelItemNamedata& n, int i) {
                return name_fault(qel_entry_name("item name", i), n.name, QEL_NAME_LEN);
            });
    return found;
}
