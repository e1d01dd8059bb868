// The neutral schema table. Field arrays are listed leaves first; each
// array is in file order, each entry reads: name, type code, default text,
// position in its record, then dimensions or the sub-record it points to.
#include "neutral/neutral_schema.h"

#include "xmemory.h"

#include <cstddef>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

double g_rel_accuracy = -1.0;
int32_t g_color_index = 0;

// ---- descriptor builders -------------------------------------------------------
struct Hooks {
    ugc_write_hook before = nullptr;
    ugc_write_hook after = nullptr;
    ugc_dict_hook dict = nullptr;
};

#define POS(T, f) uint32_t(offsetof(T, f))

// A value field (scalars, texts, arrays of numbers or texts).
constexpr ugc_dd_entry V(const char* name, uint32_t type, const char* def, uint32_t pos,
                         int32_t d0 = 0, int32_t d1 = 0) {
    return ugc_dd_entry{name, type, def, {d0, d1}, nullptr, nullptr, 0, nullptr, 0,
                        nullptr, nullptr, nullptr, pos};
}

// A field (or a standalone descriptor) of records described by `fields`.
template <size_t N>
constexpr ugc_dd_entry R(const char* name, uint32_t type, const char* def, uint32_t pos,
                         const ugc_dd_entry (&fields)[N], uint32_t size, Hooks h = {},
                         int32_t d0 = 0, int32_t d1 = 0) {
    return ugc_dd_entry{name, type, def, {d0, d1}, h.before, h.after, size, fields,
                        int32_t(N), h.dict, nullptr, nullptr, pos};
}

// A union field.
constexpr ugc_dd_entry U(const char* name, uint32_t type, const char* def, uint32_t pos,
                         ugc_union_selector sel, ugc_write_hook before = nullptr) {
    return ugc_dd_entry{name, type, def, {0, 0}, before, nullptr, 0, nullptr, 0,
                        nullptr, sel, nullptr, pos};
}

constexpr ugc_dd_entry with_external(ugc_dd_entry e, void* at) {
    e.external = at;
    return e;
}

// ---- hooks ---------------------------------------------------------------------
const char* word_text(const void* rec, int word) {
    const char* text;
    std::memcpy(&text, static_cast<const char*>(rec) + 8 * (word - 1), sizeof text);
    return text;
}

// The text of word W of a present record (an empty comment for a null
// text; none for an absent record).
template <int W> void comment_word(ugc_output* out, void* rec) {
    if (rec)
        ugc_comment(out, word_text(rec, W));
}
constexpr ugc_write_hook comment_w1 = comment_word<1>;
constexpr ugc_write_hook comment_w2 = comment_word<2>;
constexpr ugc_write_hook comment_w3 = comment_word<3>;
// Word 1, and an empty comment for an absent record.
void comment_w1_always(ugc_output* out, void* rec) { ugc_comment(out, rec ? word_text(rec, 1) : ""); }
void comment_color_type(ugc_output* out, void* rec) {
    if (!rec)
        return;
    const auto* c = static_cast<const neut_color_type*>(rec);
    ugc_comment(out, c->type >= 0 && c->comment ? c->comment : "");
}
void comment_member(ugc_output* out, void* rec) {
    if (!out || !rec)
        return;
    ugc_comment(out, static_cast<const neut_member*>(rec)->type == 2 ? " PART" : " ASSEMBLY");
}

constexpr Hooks C1{comment_w1};
constexpr Hooks C1_ALWAYS{comment_w1_always};
constexpr Hooks C2{comment_w2};
constexpr Hooks C3{comment_w3};
constexpr Hooks CT{comment_color_type};
constexpr Hooks CM{comment_member};
constexpr Hooks FACETS{neutral_facets_to_numbers, neutral_facets_to_pointers};

void part_dict(ugc_dd_entry* fields, int count, ugc_output* ctx);
void colors_dict(ugc_dd_entry* fields, int count, ugc_output* ctx);
void color_tab_dict(ugc_dd_entry* fields, int count, ugc_output* ctx);
void element_colors_dict(ugc_dd_entry* fields, int count, ugc_output* ctx);
void attributes_dict(ugc_dd_entry* fields, int count, ugc_output* ctx);

constexpr Hooks DICT_PART{nullptr, nullptr, part_dict};
constexpr Hooks DICT_COLORS{nullptr, nullptr, colors_dict};
constexpr Hooks DICT_COLOR_TAB{nullptr, nullptr, color_tab_dict};
constexpr Hooks DICT_ELEMENT_COLORS{nullptr, nullptr, element_colors_dict};
constexpr Hooks DICT_ATTRIBUTES{nullptr, nullptr, attributes_dict};

#define XYZ4(T)                                                                            \
    V("e1", 34, "0.0", POS(T, e1), 3), V("e2", 34, "0.0", POS(T, e2), 3),                  \
        V("e3", 34, "0.0", POS(T, e3), 3), V("origin", 34, "0.0", POS(T, origin), 3)

// ---- curves ----------------------------------------------------------------------
constexpr ugc_dd_entry kLineF[] = {
    V("type", 2049, "0", POS(neut_line, type)),
    V("end1", 34, "0.0", POS(neut_line, end1), 3),
    V("end2", 34, "0.0", POS(neut_line, end2), 3),
};
constexpr ugc_dd_entry kArcF[] = {
    V("type", 2049, "0", POS(neut_arc, type)),
    V("vector1", 34, "0.0", POS(neut_arc, vector1), 3),
    V("vector2", 34, "0.0", POS(neut_arc, vector2), 3),
    V("origin", 34, "0.0", POS(neut_arc, origin), 3),
    V("start_angle", 2, "0.0", POS(neut_arc, start_angle)),
    V("end_angle", 2, "0.0", POS(neut_arc, end_angle)),
    V("radius", 2, "0.0", POS(neut_arc, radius)),
};
constexpr ugc_dd_entry kBsplineF[] = {
    V("type", 2049, "0", POS(neut_bspline, type)),
    V("degree", 1, "0", POS(neut_bspline, degree)),
    V("params", 18, "0.0", POS(neut_bspline, params)),
    V("c_pnts", 18, "0.0", POS(neut_bspline, c_pnts)),
    V("weights", 18, "0.0", POS(neut_bspline, weights)),
};
constexpr ugc_dd_entry kSplineF[] = {
    V("type", 2049, "0", POS(neut_spline, type)),
    V("params", 18, "0.0", POS(neut_spline, params)),
    V("points", 18, "0.0", POS(neut_spline, points)),
    V("tangents", 18, "0.0", POS(neut_spline, tangents)),
};
constexpr ugc_dd_entry kPointF[] = {
    V("type", 1, "0", POS(neut_point, type)),
    V("xyz", 34, "0.0", POS(neut_point, xyz), 3),
};
constexpr ugc_dd_entry kEllipseF[] = {
    V("type", 2049, "0", POS(neut_ellipse, type)),
    V("vector1", 34, "0.0", POS(neut_ellipse, vector1), 3),
    V("vector2", 34, "0.0", POS(neut_ellipse, vector2), 3),
    V("origin", 34, "0.0", POS(neut_ellipse, origin), 3),
    V("start_angle", 2, "0.0", POS(neut_ellipse, start_angle)),
    V("end_angle", 2, "0.0", POS(neut_ellipse, end_angle)),
    V("radius1", 2, "0.0", POS(neut_ellipse, radius1)),
    V("radius2", 2, "0.0", POS(neut_ellipse, radius2)),
};

constexpr ugc_dd_entry kLineM = R("line", 1024, "", 0, kLineF, sizeof(neut_line));
constexpr ugc_dd_entry kArcM = R("arc", 1024, "", 0, kArcF, sizeof(neut_arc));
constexpr ugc_dd_entry kBsplineM = R("b_spline", 1024, "", 0, kBsplineF, sizeof(neut_bspline));
constexpr ugc_dd_entry kSplineM = R("spline", 1024, "", 0, kSplineF, sizeof(neut_spline));
constexpr ugc_dd_entry kPointM = R("point", 1024, "", 0, kPointF, sizeof(neut_point));
constexpr ugc_dd_entry kEllipseM = R("ellipse", 1024, "", 0, kEllipseF, sizeof(neut_ellipse));

// ---- surface shapes ----------------------------------------------------------------
constexpr ugc_dd_entry kPlaneF[] = {XYZ4(neut_plane)};
constexpr ugc_dd_entry kCylinderF[] = {XYZ4(neut_cylinder),
                                       V("radius", 2, "0.0", POS(neut_cylinder, radius))};
constexpr ugc_dd_entry kConeF[] = {XYZ4(neut_cone), V("alpha", 2, "0.0", POS(neut_cone, alpha))};
constexpr ugc_dd_entry kTorusF[] = {XYZ4(neut_torus),
                                    V("radius1", 2, "0.0", POS(neut_torus, radius1)),
                                    V("radius2", 2, "0.0", POS(neut_torus, radius2))};
constexpr ugc_dd_entry kSrfRevF[] = {XYZ4(neut_srf_rev),
                                     V("curve_type", 1, "0", POS(neut_srf_rev, curve_type)),
                                     U("C", 9216, "NULL", POS(neut_srf_rev, C), neutral_curve_member)};
constexpr ugc_dd_entry kTabCylF[] = {XYZ4(neut_tab_cyl),
                                     V("curve_type", 1, "0", POS(neut_tab_cyl, curve_type)),
                                     U("C", 9216, "NULL", POS(neut_tab_cyl, C), neutral_curve_member)};
constexpr ugc_dd_entry kRulSrfF[] = {
    XYZ4(neut_rul_srf),
    V("curve_type1", 1, "0", POS(neut_rul_srf, curve_type1)),
    U("C1", 9216, "NULL", POS(neut_rul_srf, C1), neutral_curve_member),
    V("curve_type2", 1, "0", POS(neut_rul_srf, curve_type2)),
    U("C2", 9216, "NULL", POS(neut_rul_srf, C2), neutral_curve_member),
};
constexpr ugc_dd_entry kSplSrfF[] = {
    V("tan_cond", 33, "0", POS(neut_spl_srf, tan_cond), 2),
    V("u_params", 18, "NULL", POS(neut_spl_srf, u_params)),
    V("v_params", 18, "NULL", POS(neut_spl_srf, v_params)),
    V("points", 18, "NULL", POS(neut_spl_srf, points)),
    V("u_tangents", 18, "NULL", POS(neut_spl_srf, u_tangents)),
    V("v_tangents", 18, "NULL", POS(neut_spl_srf, v_tangents)),
    V("uv_derivs", 18, "NULL", POS(neut_spl_srf, uv_derivs)),
};
constexpr ugc_dd_entry kBsplSrfF[] = {
    V("degree", 33, "0", POS(neut_bspl_srf, degree), 2),
    V("u_params", 18, "NULL", POS(neut_bspl_srf, u_params)),
    V("v_params", 18, "NULL", POS(neut_bspl_srf, v_params)),
    V("c_pnts", 18, "NULL", POS(neut_bspl_srf, c_pnts)),
    V("weights", 18, "NULL", POS(neut_bspl_srf, weights)),
};
constexpr ugc_dd_entry kFilletSrfF[] = {
    R("pnt_spline", 1024, "NULL", POS(neut_fillet_srf, pnt_spline), kSplineF, sizeof(neut_spline)),
    R("ctr_spline", 1024, "NULL", POS(neut_fillet_srf, ctr_spline), kSplineF, sizeof(neut_spline)),
    R("tan_spline", 1024, "NULL", POS(neut_fillet_srf, tan_spline), kSplineF, sizeof(neut_spline)),
};
constexpr ugc_dd_entry kCylSplSrfF[] = {
    XYZ4(neut_cyl_splsrf),
    R("splsrf", 0, "NULL", POS(neut_cyl_splsrf, splsrf), kSplSrfF, sizeof(neut_spl_srf)),
};

constexpr ugc_dd_entry kPlaneM = R("plane", 1024, "", 0, kPlaneF, sizeof(neut_plane));
constexpr ugc_dd_entry kCylinderM = R("cylinder", 1024, "", 0, kCylinderF, sizeof(neut_cylinder));
constexpr ugc_dd_entry kConeM = R("cone", 1024, "", 0, kConeF, sizeof(neut_cone));
constexpr ugc_dd_entry kTorusM = R("torus", 1024, "", 0, kTorusF, sizeof(neut_torus));
constexpr ugc_dd_entry kSrfRevM = R("srf_rev", 1024, "", 0, kSrfRevF, sizeof(neut_srf_rev));
constexpr ugc_dd_entry kTabCylM = R("tab_cyl", 1024, "", 0, kTabCylF, sizeof(neut_tab_cyl));
constexpr ugc_dd_entry kRulSrfM = R("rul_srf", 1024, "", 0, kRulSrfF, sizeof(neut_rul_srf));
constexpr ugc_dd_entry kSplSrfM = R("spl_srf", 1024, "", 0, kSplSrfF, sizeof(neut_spl_srf));
constexpr ugc_dd_entry kBsplSrfM = R("bspl_srf", 1024, "", 0, kBsplSrfF, sizeof(neut_bspl_srf));
constexpr ugc_dd_entry kFilletSrfM =
    R("fillet_srf", 1024, "", 0, kFilletSrfF, sizeof(neut_fillet_srf));
constexpr ugc_dd_entry kCylSplSrfM =
    R("cyl_splsrf", 1024, "", 0, kCylSplSrfF, sizeof(neut_cyl_splsrf));

// ---- topology and datums -------------------------------------------------------------
constexpr ugc_dd_entry kLoopF[] = {V("edge_ids", 17, "NULL", POS(neut_loop, edge_ids))};
constexpr ugc_dd_entry kSurfaceF[] = {
    V("id", 1, "0", POS(neut_surface, id)),
    V("uv_min", 34, "0.0", POS(neut_surface, uv_min), 2),
    V("uv_max", 34, "0.0", POS(neut_surface, uv_max), 2),
    V("xyz_min", 34, "0.0", POS(neut_surface, xyz_min), 3),
    V("xyz_max", 34, "0.0", POS(neut_surface, xyz_max), 3),
    V("orient", 1, "1", POS(neut_surface, orient)),
    R("loops", 16, "NULL", POS(neut_surface, loops), kLoopF, sizeof(neut_loop)),
    V("surface_type", 1, "0", POS(neut_surface, surface_type)),
    U("surface", 9216, "NULL", POS(neut_surface, surface), neutral_surface_member),
};
constexpr ugc_dd_entry kQuiltF[] = {
    V("id", 1, "-1", POS(neut_quilt, id)),
    R("surfaces", 1040, "NULL", POS(neut_quilt, surfaces), kSurfaceF, sizeof(neut_surface)),
};
constexpr ugc_dd_entry kUvCurveF[] = {
    V("id", 1, "-1", POS(neut_uv_curve, id)),
    V("curve_type", 1, "-1", POS(neut_uv_curve, curve_type)),
    U("curve", 9216, "NULL", POS(neut_uv_curve, curve), neutral_curve_member),
    V("flip", 1, "1", POS(neut_uv_curve, flip)),
};
constexpr ugc_dd_entry kEdgeF[] = {
    V("id", 1, "0", POS(neut_edge, id)),
    V("surface_ids", 33, "0", POS(neut_edge, surface_ids), 2),
    V("direction", 33, "0", POS(neut_edge, direction), 2),
    V("uv_points", 18, "NULL", POS(neut_edge, uv_points)),
    V("curve_type", 1, "0", POS(neut_edge, curve_type)),
    U("curve", 9216, "NULL", POS(neut_edge, curve), neutral_curve_member),
    R("uv_curves[0]", 1024, "NULL", POS(neut_edge, uv_curves[0]), kUvCurveF, sizeof(neut_uv_curve)),
    R("uv_curves[1]", 1024, "NULL", POS(neut_edge, uv_curves[1]), kUvCurveF, sizeof(neut_uv_curve)),
};

constexpr ugc_dd_entry kCompositeF[] = {
    R("components", 16, "NULL", POS(neut_composite_curve, components), kUvCurveF,
      sizeof(neut_uv_curve)),
};
constexpr ugc_dd_entry kSimpleM = R("simple", 1024, "", 0, kUvCurveF, sizeof(neut_uv_curve));
constexpr ugc_dd_entry kCompositeM =
    R("composite", 1024, "", 0, kCompositeF, sizeof(neut_composite_curve));

constexpr ugc_dd_entry kDatumCurveF[] = {
    V("id", 1, "-1", POS(neut_datum_curve, id)),
    V("is_composite", 1, "0", POS(neut_datum_curve, is_composite)),
    V("name", 1034, "NULL", POS(neut_datum_curve, name), 81),
    U("curve", 9216, "NULL", POS(neut_datum_curve, curve), neutral_datum_curve_member),
};
constexpr ugc_dd_entry kDatumPlaneF[] = {
    V("id", 1, "-1", POS(neut_datum_plane, id)),
    V("name", 1034, "NULL", POS(neut_datum_plane, name), 81),
    R("plane", 1024, "NULL", POS(neut_datum_plane, plane), kPlaneF, sizeof(neut_plane)),
};
constexpr ugc_dd_entry kCsysF[] = {
    V("id", 1, "-1", POS(neut_csys, id)),
    V("name", 1034, "NULL", POS(neut_csys, name), 81),
    XYZ4(neut_csys),
};

// ---- part-level small records ------------------------------------------------------------
constexpr ugc_dd_entry kFormatF[] = {V("format_attr", 1, "0", POS(neut_format_attr, format_attr))};
constexpr ugc_dd_entry kMassPropsF[] = {
    V("revnum", 1, "0", POS(neut_mass_props, revnum)),
    V("volume", 2, "0.0", POS(neut_mass_props, volume)),
    V("density", 2, "0.0", POS(neut_mass_props, density)),
    V("c_of_grav", 34, "0.0", POS(neut_mass_props, c_of_grav), 3),
    V("inertia_x", 34, "0.0", POS(neut_mass_props, inertia_x), 3),
    V("inertia_y", 34, "0.0", POS(neut_mass_props, inertia_y), 3),
    V("inertia_z", 34, "0.0", POS(neut_mass_props, inertia_z), 3),
    V("surfarea", 2, "0.0", POS(neut_mass_props, surfarea)),
};
constexpr ugc_dd_entry kUnitF[] = {
    V("factor", 2, "0.0", POS(neut_unit, factor)),
    V("name", 10, "NULL", POS(neut_unit, name), 32),
    V("unit_type", 1, "0", POS(neut_unit, unit_type)),
};
constexpr ugc_dd_entry kQelTimeF[] = {
    V("tm_sec", 1, "0", POS(qel_time, tm_sec)),   V("tm_min", 1, "0", POS(qel_time, tm_min)),
    V("tm_hour", 1, "0", POS(qel_time, tm_hour)), V("tm_mday", 1, "0", POS(qel_time, tm_mday)),
    V("tm_mon", 1, "0", POS(qel_time, tm_mon)),   V("tm_year", 1, "0", POS(qel_time, tm_year)),
};
constexpr ugc_dd_entry kQelTimeR =
    R("qel_time", 1024, "NULL", POS(neut_part, time_stamp), kQelTimeF, sizeof(qel_time));

constexpr ugc_dd_entry kViewF[] = {
    V("name", 1034, "NULL", POS(neut_view, name), 81),
    V("matrix", 34, "0.0", POS(neut_view, matrix), 4, 4),
};
constexpr ugc_dd_entry kXsecF[] = {
    V("id", 1, "-1", POS(neut_xsec, id)),
    V("name", 1034, "NULL", POS(neut_xsec, name), 81),
    R("plane", 1024, "NULL", POS(neut_xsec, plane), kPlaneF, sizeof(neut_plane)),
    V("quilt_id", 1, "-1", POS(neut_xsec, quilt_id)),
};
constexpr ugc_dd_entry kItemNameF[] = {
    V("name", 10, "NULL", POS(neut_item_name, name), 32),
    V("obj_id", 1, "-1", POS(neut_item_name, obj_id)),
    V("obj_type", 1, "-1", POS(neut_item_name, obj_type)),
};
constexpr ugc_dd_entry kLayerF[] = {
    V("id", 1, "0", POS(neut_layer, id)),
    V("db_type", 262145, "641", POS(neut_layer, db_type)),
    V("name", 1034, "NULL", POS(neut_layer, name), 81),
    V("user_id", 1, "0", POS(neut_layer, user_id)),
    V("ids", 17, "0", POS(neut_layer, ids)),
    V("operation", 1, "0", POS(neut_layer, operation)),
};
constexpr ugc_dd_entry kFeatureF[] = {
    V("id", 1, "0", POS(neut_feature, id)),
    V("type_name", 2051, "NULL", POS(neut_feature, type_name), 81),
    V("user_name", 1034, "NULL", POS(neut_feature, user_name), 32),
    V("suppressed", 1, "0", POS(neut_feature, suppressed)),
    V("dim_index", 17, "0", POS(neut_feature, dim_index)),
    V("surface_ids", 17, "0", POS(neut_feature, surface_ids)),
    V("edge_ids", 17, "0", POS(neut_feature, edge_ids)),
    V("misc_ids", 17, "0", POS(neut_feature, misc_ids)),
    V("patt_feat_ids", 17, "0", POS(neut_feature, patt_feat_ids)),
};
constexpr ugc_dd_entry kGeomTolDatumF[] = {
    V("datum_name", 1034, "NULL", POS(neut_geom_tol_datum, datum_name), 81),
    V("datum_type", 1027, "NULL", POS(neut_geom_tol_datum, datum_type), 81),
    V("id", 1, "0", POS(neut_geom_tol_datum, id)),
};
constexpr ugc_dd_entry kGeomTolF[] = {
    V("tol_class", 1027, "NULL", POS(neut_geom_tol, tol_class), 81),
    V("tol_type", 1027, "NULL", POS(neut_geom_tol, tol_type), 81),
    V("feat_id", 1, "0", POS(neut_geom_tol, feat_id)),
    V("ref_type", 1027, "NULL", POS(neut_geom_tol, ref_type), 81),
    V("ref_id", 1, "0", POS(neut_geom_tol, ref_id)),
    V("value", 2, "0", POS(neut_geom_tol, value)),
    V("matl_cond", 1027, "NULL", POS(neut_geom_tol, matl_cond), 81),
    R("datum_refs", 16, "NULL", POS(neut_geom_tol, datum_refs), kGeomTolDatumF,
      sizeof(neut_geom_tol_datum)),
};

// ---- attributes -------------------------------------------------------------------------
constexpr ugc_dd_entry kIValM = V("i_val", 1, "0", 0);
constexpr ugc_dd_entry kDValM = V("d_val", 2, "0.0", 0);
constexpr ugc_dd_entry kSValM = V("s_val", 10, "", 0, 81);
constexpr ugc_dd_entry kLValM = V("l_val", 5, "0", 0);
constexpr ugc_dd_entry kNoValM = V("NO_val", 3072, "NULL", 0);

constexpr ugc_dd_entry kSymbolValueF[] = {
    V("type", 1, "0", POS(neut_symbol_value, type)),
    U("value", 8192, "0", POS(neut_symbol_value, value), symbol_value_fcn),
};
constexpr ugc_dd_entry kValueR =
    R("value", 0, "0", POS(neut_attribute, value), kSymbolValueF, sizeof(neut_symbol_value));

constexpr ugc_dd_entry kAttributeF[] = {
    V("name", 1034, "NULL", POS(neut_attribute, name), 81),
    V("value", 0, nullptr, POS(neut_attribute, value)),
    V("ref_id", 1, "-1", POS(neut_attribute, ref_id)),
    V("ref_type", 1, "-1", POS(neut_attribute, ref_type)),
    V("ref_name", 1034, "NULL", POS(neut_attribute, ref_name), 32),
};

// ---- colours ------------------------------------------------------------------------------
constexpr ugc_dd_entry kTexplaceF[] = {
    V("texref_id", 1, "0", POS(neut_texplace_data, texref_id)),
    V("boundary_type", 1, "0", POS(neut_texplace_data, boundary_type)),
    V("intensity", 2, "0", POS(neut_texplace_data, intensity)),
    V("rotation", 2, "0", POS(neut_texplace_data, rotation)),
    V("pole_rotation", 2, "0", POS(neut_texplace_data, pole_rotation)),
    V("translate", 34, "0", POS(neut_texplace_data, translate), 2),
    V("scale", 34, "1.0", POS(neut_texplace_data, scale), 2),
    V("flip", 33, "0", POS(neut_texplace_data, flip), 2),
    V("texture_coord_transform", 34, "0", POS(neut_texplace_data, texture_coord_transform), 4, 4),
    V("coord_gen_type", 1, "0", POS(neut_texplace_data, coord_gen_type)),
    V("pole_zoom_scale", 2, "1.0", POS(neut_texplace_data, pole_zoom_scale)),
    V("pos", 34, "0.0", POS(neut_texplace_data, pos), 3),
    V("aim_at", 34, "0.0", POS(neut_texplace_data, aim_at), 3),
    V("start_pos", 34, "0.0", POS(neut_texplace_data, start_pos), 3),
    V("start_aim_at", 34, "0.0", POS(neut_texplace_data, start_aim_at), 3),
    V("coord_system", 34, "0", POS(neut_texplace_data, coord_system), 4, 4),
    V("start_coord_system", 34, "0", POS(neut_texplace_data, start_coord_system), 4, 4),
    V("proj_coord_system", 34, "0", POS(neut_texplace_data, proj_coord_system), 4, 4),
    V("version", 1, "0", POS(neut_texplace_data, version)),
};
constexpr ugc_dd_entry kTexplaceRefF[] = {
    R("neut_texplace", 1024, "NULL", POS(neut_texplace_ref, neut_texplace), kTexplaceF,
      sizeof(neut_texplace_data)),
};
constexpr ugc_dd_entry kSurfPropF[] = {
    R("pp_texplaces", 16, "0", POS(neut_surfprop, pp_texplaces), kTexplaceRefF,
      sizeof(neut_texplace_ref)),
};
constexpr ugc_dd_entry kSurfPlF[] = {
    R("surfprop_ptr", 1024, "NULL", POS(neut_surf_pl, surfprop_ptr), kSurfPropF,
      sizeof(neut_surfprop)),
};
constexpr ugc_dd_entry kSurfPlR = R("surf_pl", 32, "NULL", POS(neut_element_color, surf_pl),
                                    kSurfPlF, sizeof(neut_surf_pl), {}, 2);
constexpr ugc_dd_entry kColorPointsTabR =
    V("neut_color_points", 34, "0.0", POS(neut_color, color_rgb), 3);
constexpr ugc_dd_entry kColorPointsR =
    V("neut_color_points", 262162, "0.0", POS(neut_colors, color_rgb), 1, 3);

constexpr ugc_dd_entry kTextureF[] = {V("name", 3, "NULL", POS(neut_texture, name), 32)};
constexpr ugc_dd_entry kColorTabF[] = {
    V("color_rgb", 0, nullptr, POS(neut_color, color_rgb)),
    V("ambient", 2, "0.9", POS(neut_color, ambient)),
    V("diffuse", 2, "0.9", POS(neut_color, diffuse)),
    V("specular", 2, "0.8", POS(neut_color, specular)),
    V("spec_coef", 2, "0.5", POS(neut_color, spec_coef)),
    V("transmission", 2, "0", POS(neut_color, transmission)),
    V("highlight", 34, "0.0", POS(neut_color, highlight), 3),
    V("reflection", 2, "0", POS(neut_color, reflection)),
    R("bump", 1024, "NULL", POS(neut_color, bump), kTextureF, sizeof(neut_texture)),
    R("decal", 1024, "NULL", POS(neut_color, decal), kTextureF, sizeof(neut_texture)),
    R("texture", 1024, "NULL", POS(neut_color, texture), kTextureF, sizeof(neut_texture)),
};
constexpr ugc_dd_entry kElementColorF[] = {
    V("element_id", 1, "0", POS(neut_element_color, element_id)),
    V("color_ind", 6145, "-1", 0),
    V("color_inds", 33, "0", POS(neut_element_color, color_inds), 2),
    V("surf_pl", 0, nullptr, POS(neut_element_color, surf_pl)),
};
constexpr ugc_dd_entry kColorsF[] = {
    V("color_rgb", 0, nullptr, POS(neut_colors, color_rgb)),
    R("color_tab", 16, "NULL", POS(neut_colors, color_tab), kColorTabF, sizeof(neut_color),
      DICT_COLOR_TAB),
    R("element_colors", 16, "NULL", POS(neut_colors, element_colors), kElementColorF,
      sizeof(neut_element_color), DICT_ELEMENT_COLORS, 1),
};

// ---- faceted representations ------------------------------------------------------------
constexpr ugc_dd_entry kFacetVertexF[] = {
    V("xyz", 34, "0.0", POS(neut_facet_vertex, xyz), 3),
    V("neighbour", 1, "0", POS(neut_facet_vertex, neighbour)),
};
constexpr ugc_dd_entry kFacetVertexDataF[] = {
    V("normal", 34, "0.0", POS(neut_facet_vertex_data, normal), 3),
    V("texture_uv", 34, "0.0", POS(neut_facet_vertex_data, texture_uv), 2),
};
constexpr ugc_dd_entry kFacetF[] = {
    V("vertices[0]", 1, "0", POS(neut_facet, vertices[0])),
    V("vertices[1]", 1, "0", POS(neut_facet, vertices[1])),
    V("vertices[2]", 1, "0", POS(neut_facet, vertices[2])),
    V("vertex_data[0]", 1, "0", POS(neut_facet, vertex_data[0])),
    V("vertex_data[1]", 1, "0", POS(neut_facet, vertex_data[1])),
    V("vertex_data[2]", 1, "0", POS(neut_facet, vertex_data[2])),
    V("neighbour[0]", 1, "0", POS(neut_facet, neighbour[0])),
    V("neighbour[1]", 1, "0", POS(neut_facet, neighbour[1])),
    V("neighbour[2]", 1, "0", POS(neut_facet, neighbour[2])),
    V("normal", 34, "0.0", POS(neut_facet, normal), 3),
};
constexpr ugc_dd_entry kFacetedRepF[] = {
    V("id", 1, "0", POS(neut_faceted_rep, id)),
    R("facet_vertices", 66560, "NULL", POS(neut_faceted_rep, facet_vertices), kFacetVertexF,
      sizeof(neut_facet_vertex), {}, NEUT_FACET_CHUNK),
    R("facet_vertex_data", 66560, "NULL", POS(neut_faceted_rep, facet_vertex_data),
      kFacetVertexDataF, sizeof(neut_facet_vertex_data), {}, NEUT_FACET_CHUNK),
    R("facets", 66560, "NULL", POS(neut_faceted_rep, facets), kFacetF, sizeof(neut_facet), {},
      NEUT_FACET_CHUNK),
    V("outline", 34, "0.0", POS(neut_faceted_rep, outline), 2, 3),
};

// ---- annotation records ------------------------------------------------------------------
// Item reference, first met as annotation_plane of a dimension.
constexpr ugc_dd_entry kItemRefF[] = {
    V("type", 1, "0", POS(neut_item_ref, type)),
    V("id", 1, "0", POS(neut_item_ref, id)),
};
constexpr ugc_dd_entry kXyzF[] = {V("xyz", 34, "0.0", POS(neut_xyz, xyz), 3)};
constexpr ugc_dd_entry kUvParamF[] = {V("uv", 34, "0.0", POS(neut_uv_param, uv), 2)};
// Selection, first met as attachment of a datum tag.
constexpr ugc_dd_entry kSelectionF[] = {
    R("model_item", 1024, "NULL", POS(neut_selection, model_item), kItemRefF, sizeof(neut_item_ref)),
    R("uv_param", 1024, "NULL", POS(neut_selection, uv_param), kUvParamF, sizeof(neut_uv_param)),
    R("point", 1024, "NULL", POS(neut_selection, point), kXyzF, sizeof(neut_xyz)),
};

#define TYPED_FIELDS(arr) constexpr ugc_dd_entry arr[] = {V("type", 1, "0", POS(neut_typed, type))}
TYPED_FIELDS(kBoundF);
TYPED_FIELDS(kModelClassF);
TYPED_FIELDS(kGtolMatlCondF);
TYPED_FIELDS(kUnitAreaStyleF);
TYPED_FIELDS(kLeaderStyleF);
TYPED_FIELDS(kJustificationF);
TYPED_FIELDS(kOrientHintF);
TYPED_FIELDS(kEndpointAttrF);
TYPED_FIELDS(kInstructionAttrF);
#undef TYPED_FIELDS

constexpr ugc_dd_entry kColorTypeF[] = {V("type", 1, "0", POS(neut_color_type, type))};
constexpr ugc_dd_entry kColorMapF[] = {
    V("red", 2, "0.0", POS(neut_color_map, red)),
    V("green", 2, "0.0", POS(neut_color_map, green)),
    V("blue", 2, "0.0", POS(neut_color_map, blue)),
};
constexpr ugc_dd_entry kColorTypeM =
    R("color_type", 1024, "", 0, kColorTypeF, sizeof(neut_color_type), CT);
constexpr ugc_dd_entry kColorMapM = R("color_map", 1024, "", 0, kColorMapF, sizeof(neut_color_map));

constexpr ugc_dd_entry kTextColorF[] = {
    V("method", 1, "0", POS(neut_text_color, method)),
    U("value", 9216, "NULL", POS(neut_text_color, value), neutral_color_value_member),
};
constexpr ugc_dd_entry kTextStyleF[] = {
    V("height", 2, "0.0", POS(neut_text_style, height)),
    V("width", 2, "0.0", POS(neut_text_style, width)),
    V("angle", 2, "0.0", POS(neut_text_style, angle)),
    V("slant_angle", 2, "0.0", POS(neut_text_style, slant_angle)),
    V("thickness", 2, "0.0", POS(neut_text_style, thickness)),
    V("underline", 1, "0", POS(neut_text_style, underline)),
    V("mirror", 1, "0", POS(neut_text_style, mirror)),
    R("justification", 1024, "NULL", POS(neut_text_style, justification), kJustificationF,
      sizeof(neut_typed), C2),
    R("color", 1024, "NULL", POS(neut_text_style, color), kTextColorF, sizeof(neut_text_color), C2),
};

constexpr ugc_dd_entry kArrowF[] = {
    V("type", 1, "0", POS(neut_arrow, type)),
    V("point", 34, "0.0", POS(neut_arrow, point), 3),
};
constexpr ugc_dd_entry kDimLocationF[] = {
    R("point", 1024, "NULL", POS(neut_dim_location, point), kXyzF, sizeof(neut_xyz)),
    V("elbow", 1026, "NULL", POS(neut_dim_location, elbow)),
    R("arrow_1", 1024, "NULL", POS(neut_dim_location, arrow_1), kArrowF, sizeof(neut_arrow)),
    R("arrow_2", 1024, "NULL", POS(neut_dim_location, arrow_2), kArrowF, sizeof(neut_arrow)),
    R("witness_line_1", 1024, "NULL", POS(neut_dim_location, witness_line_1), kXyzF, sizeof(neut_xyz)),
    R("witness_line_2", 1024, "NULL", POS(neut_dim_location, witness_line_2), kXyzF, sizeof(neut_xyz)),
    R("z_ext_line_end_1", 1024, "NULL", POS(neut_dim_location, z_ext_line_end_1), kXyzF,
      sizeof(neut_xyz)),
    R("z_ext_line_end_2", 1024, "NULL", POS(neut_dim_location, z_ext_line_end_2), kXyzF,
      sizeof(neut_xyz)),
    R("normal", 1024, "NULL", POS(neut_dim_location, normal), kXyzF, sizeof(neut_xyz)),
};
constexpr ugc_dd_entry kAngleSenseF[] = {
    V("is_first", 1, "0", POS(neut_angle_sense, is_first)),
    V("should_flip", 1, "0", POS(neut_angle_sense, should_flip)),
};
constexpr ugc_dd_entry kDimSenseF[] = {
    V("type", 1, "0", POS(neut_dim_sense, type)),
    V("sense", 1, "0", POS(neut_dim_sense, sense)),
    R("angle_sense", 1024, "NULL", POS(neut_dim_sense, angle_sense), kAngleSenseF,
      sizeof(neut_angle_sense)),
    R("orient_hint", 1024, "NULL", POS(neut_dim_sense, orient_hint), kOrientHintF,
      sizeof(neut_typed), C2),
};
constexpr ugc_dd_entry kDimAttachmentF[] = {
    R("references", 1056, "NULL", POS(neut_dim_attachment, references), kSelectionF,
      sizeof(neut_selection), {}, 2),
    R("sense", 1024, "NULL", POS(neut_dim_attachment, sense), kDimSenseF, sizeof(neut_dim_sense),
      C2),
};
constexpr ugc_dd_entry kTolLabelF[] = {
    V("type", 1, "0", POS(neut_tol_label, type)),
    V("name", 10, "NULL", POS(neut_tol_label, name), 32),
    V("column", 1, "0", POS(neut_tol_label, column)),
};
constexpr ugc_dd_entry kDimensionF[] = {
    V("id", 1, "0", POS(neut_dimension, id)),
    V("type", 1, "0", POS(neut_dimension, type)),
    V("dim_type", 1, "0", POS(neut_dimension, dim_type)),
    V("name", 1034, "NULL", POS(neut_dimension, name), 32),
    V("value", 2, "0.0", POS(neut_dimension, value)),
    V("feat_id", 2049, "0", POS(neut_dimension, feat_id)),
    V("tol_plus", 2, "0", POS(neut_dimension, tol_plus)),
    V("tol_minus", 2, "0", POS(neut_dimension, tol_minus)),
    V("decimals", 1, "0", POS(neut_dimension, decimals)),
    V("denominator", 1, "0", POS(neut_dimension, denominator)),
    V("nomvalue", 2, "0.0", POS(neut_dimension, nomvalue)),
    R("bound", 1024, "NULL", POS(neut_dimension, bound), kBoundF, sizeof(neut_typed), C2),
    V("fractional", 1, "0", POS(neut_dimension, fractional)),
    V("rel_driven", 1, "0", POS(neut_dimension, rel_driven)),
    V("regened_negative", 1, "0", POS(neut_dimension, regened_negative)),
    R("tol_label", 1024, "NULL", POS(neut_dimension, tol_label), kTolLabelF, sizeof(neut_tol_label),
      C2),
    V("text", 26, "NULL", POS(neut_dimension, text), 0, 81),
    R("text_style", 1024, "NULL", POS(neut_dimension, text_style), kTextStyleF,
      sizeof(neut_text_style)),
    R("location", 1024, "NULL", POS(neut_dimension, location), kDimLocationF,
      sizeof(neut_dim_location)),
    V("is_driving", 1, "0", POS(neut_dimension, is_driving)),
    R("annotation_plane", 1024, "NULL", POS(neut_dimension, annotation_plane), kItemRefF,
      sizeof(neut_item_ref)),
    R("attachments", 16, "NULL", POS(neut_dimension, attachments), kDimAttachmentF,
      sizeof(neut_dim_attachment)),
};

// Geometric tolerances.
constexpr ugc_dd_entry kGtolRefF[] = {
    V("type", 1, "0", POS(neut_gtol_ref, type)),
    R("reference", 1024, "NULL", POS(neut_gtol_ref, reference), kSelectionF, sizeof(neut_selection)),
};
constexpr ugc_dd_entry kOverallF[] = {
    V("value", 2, "0", POS(neut_gtol_overall, value)),
    V("name", 10, "NULL", POS(neut_gtol_overall, name), 32),
};
constexpr ugc_dd_entry kLeaderF[] = {
    V("type", 1, "0", POS(neut_gtol_leader, type)),
    R("attachment", 1024, "NULL", POS(neut_gtol_leader, attachment), kSelectionF,
      sizeof(neut_selection)),
};
constexpr ugc_dd_entry kPlacementF[] = {
    V("type", 1, "0", POS(neut_gtol_placement, type)),
    R("dimension", 1024, "NULL", POS(neut_gtol_placement, dimension), kItemRefF,
      sizeof(neut_item_ref)),
    R("leaders", 1040, "NULL", POS(neut_gtol_placement, leaders), kLeaderF,
      sizeof(neut_gtol_leader), C1),
    V("location", 34, "0.0", POS(neut_gtol_placement, location), 3),
    R("gtol", 1024, "NULL", POS(neut_gtol_placement, gtol), kItemRefF, sizeof(neut_item_ref)),
};
constexpr ugc_dd_entry kDatumRefF[] = {
    R("basic_datum", 1024, "NULL", POS(neut_gtol_datum_ref, basic_datum), kSelectionF,
      sizeof(neut_selection)),
    R("basic_matl_cond", 1024, "NULL", POS(neut_gtol_datum_ref, basic_matl_cond), kGtolMatlCondF,
      sizeof(neut_typed), C2),
    R("compound_datum", 1024, "NULL", POS(neut_gtol_datum_ref, compound_datum), kSelectionF,
      sizeof(neut_selection)),
    R("compound_matl_cond", 1024, "NULL", POS(neut_gtol_datum_ref, compound_matl_cond),
      kGtolMatlCondF, sizeof(neut_typed), C2),
};
constexpr ugc_dd_entry kCompositeTolF[] = {
    V("type", 1, "0", POS(neut_gtol_composite, type)),
    V("value", 2, "0", POS(neut_gtol_composite, value)),
};
constexpr ugc_dd_entry kPerUnitF[] = {
    V("value", 2, "0", POS(neut_gtol_per_unit, value)),
    V("area_or_length", 2, "0", POS(neut_gtol_per_unit, area_or_length)),
};
constexpr ugc_dd_entry kProjZoneF[] = {
    V("type", 1, "0", POS(neut_gtol_proj_zone, type)),
    V("height", 1026, "0", POS(neut_gtol_proj_zone, height)),
};
constexpr ugc_dd_entry kProfBoundaryF[] = {
    V("type", 1, "0", POS(neut_gtol_prof_boundary, type)),
    V("outside", 1, "0", POS(neut_gtol_prof_boundary, outside)),
};
constexpr ugc_dd_entry kGtolF[] = {
    V("id", 1, "0", POS(neut_gtol, id)),
    V("type", 1, "0", POS(neut_gtol, type)),
    V("gtol_type", 1, "0", POS(neut_gtol, gtol_type)),
    R("ref", 1024, "NULL", POS(neut_gtol, ref), kGtolRefF, sizeof(neut_gtol_ref), C2),
    R("overall", 1024, "NULL", POS(neut_gtol, overall), kOverallF, sizeof(neut_gtol_overall)),
    R("matl_cond", 1024, "NULL", POS(neut_gtol, matl_cond), kGtolMatlCondF, sizeof(neut_typed), C2),
    R("placement", 1024, "NULL", POS(neut_gtol, placement), kPlacementF,
      sizeof(neut_gtol_placement), C1_ALWAYS),
    R("annotation_plane", 1024, "NULL", POS(neut_gtol, annotation_plane), kItemRefF,
      sizeof(neut_item_ref)),
    R("primary_datum_ref", 1024, "NULL", POS(neut_gtol, primary_datum_ref), kDatumRefF,
      sizeof(neut_gtol_datum_ref)),
    R("secondary_datum_ref", 1024, "NULL", POS(neut_gtol, secondary_datum_ref), kDatumRefF,
      sizeof(neut_gtol_datum_ref)),
    R("tertiary_datum_ref", 1024, "NULL", POS(neut_gtol, tertiary_datum_ref), kDatumRefF,
      sizeof(neut_gtol_datum_ref)),
    R("composite", 1024, "NULL", POS(neut_gtol, composite), kCompositeTolF,
      sizeof(neut_gtol_composite), C2),
    R("per_unit", 1024, "NULL", POS(neut_gtol, per_unit), kPerUnitF, sizeof(neut_gtol_per_unit)),
    R("unit_area_style", 1024, "NULL", POS(neut_gtol, unit_area_style), kUnitAreaStyleF,
      sizeof(neut_typed), C2),
    V("statistic_tolerance", 1, "0", POS(neut_gtol, statistic_tolerance)),
    V("diameter", 1, "0", POS(neut_gtol, diameter)),
    V("free_state", 1, "0", POS(neut_gtol, free_state)),
    V("all_around", 1, "0", POS(neut_gtol, all_around)),
    V("tangent_plane", 1, "0", POS(neut_gtol, tangent_plane)),
    R("proj_zone", 1024, "NULL", POS(neut_gtol, proj_zone), kProjZoneF,
      sizeof(neut_gtol_proj_zone), C2),
    R("prof_boundary", 1024, "NULL", POS(neut_gtol, prof_boundary), kProfBoundaryF,
      sizeof(neut_gtol_prof_boundary), C2),
};

// Annotation features.
constexpr ugc_dd_entry kReferenceF[] = {
    R("item", 1024, "NULL", POS(neut_reference, item), kItemRefF, sizeof(neut_item_ref)),
    R("selection", 1024, "NULL", POS(neut_reference, selection), kSelectionF,
      sizeof(neut_selection)),
    R("original_item", 1024, "NULL", POS(neut_reference, original_item), kItemRefF,
      sizeof(neut_item_ref)),
    R("original_selection", 1024, "NULL", POS(neut_reference, original_selection), kSelectionF,
      sizeof(neut_selection)),
};
constexpr ugc_dd_entry kCollectionRefF[] = {
    V("type", 1, "0", POS(neut_collection_ref, type)),
    R("reference", 1024, "NULL", POS(neut_collection_ref, reference), kReferenceF,
      sizeof(neut_reference)),
};
constexpr ugc_dd_entry kInstructionF[] = {
    V("type", 1, "0", POS(neut_instruction, type)),
    R("attr", 1024, "NULL", POS(neut_instruction, attr), kInstructionAttrF, sizeof(neut_typed), C2),
    R("references", 1040, "NULL", POS(neut_instruction, references), kCollectionRefF,
      sizeof(neut_collection_ref), C2),
};
constexpr ugc_dd_entry kCollectionF[] = {
    V("type", 1, "0", POS(neut_collection, type)),
    R("instructions", 1040, "NULL", POS(neut_collection, instructions), kInstructionF,
      sizeof(neut_instruction), C2),
};
constexpr ugc_dd_entry kReferenceM = R("reference", 1024, "", 0, kReferenceF, sizeof(neut_reference));
constexpr ugc_dd_entry kCollectionM =
    R("collection", 1024, "", 0, kCollectionF, sizeof(neut_collection));

constexpr ugc_dd_entry kElementRefF[] = {
    V("type", 1, "0", POS(neut_element_ref, type)),
    U("object", 9216, "NULL", POS(neut_element_ref, object), neutral_reference_member, comment_w2),
    V("description", 1034, "NULL", POS(neut_element_ref, description), 81),
    V("autopropagate", 1, "0", POS(neut_element_ref, autopropagate)),
    V("strong", 1, "0", POS(neut_element_ref, strong)),
};
constexpr ugc_dd_entry kAnnotElementF[] = {
    V("id", 1, "0", POS(neut_annot_element, id)),
    V("type", 1, "0", POS(neut_annot_element, type)),
    V("annot_type", 1, "0", POS(neut_annot_element, annot_type)),
    V("dependent", 1, "0", POS(neut_annot_element, dependent)),
    V("incomplete", 1, "0", POS(neut_annot_element, incomplete)),
    V("copy", 1, "0", POS(neut_annot_element, copy)),
    R("annotation", 1024, "NULL", POS(neut_annot_element, annotation), kItemRefF,
      sizeof(neut_item_ref)),
    R("references", 1040, "NULL", POS(neut_annot_element, references), kElementRefF,
      sizeof(neut_element_ref), C2),
};
constexpr ugc_dd_entry kAnnotFeatureF[] = {
    V("id", 1, "0", POS(neut_annot_feature, id)),
    V("type", 1, "0", POS(neut_annot_feature, type)),
    R("elements", 1040, "NULL", POS(neut_annot_feature, elements), kAnnotElementF,
      sizeof(neut_annot_element), C3),
};
constexpr ugc_dd_entry kDatumTagF[] = {
    V("id", 1, "0", POS(neut_datum_tag, id)),
    V("type", 1, "0", POS(neut_datum_tag, type)),
    R("reference", 1024, "NULL", POS(neut_datum_tag, reference), kItemRefF, sizeof(neut_item_ref)),
    R("annot_plane", 1024, "NULL", POS(neut_datum_tag, annot_plane), kItemRefF,
      sizeof(neut_item_ref)),
    R("attachment", 1024, "NULL", POS(neut_datum_tag, attachment), kSelectionF,
      sizeof(neut_selection)),
    R("text_style", 1024, "NULL", POS(neut_datum_tag, text_style), kTextStyleF,
      sizeof(neut_text_style)),
};
constexpr ugc_dd_entry kAnnotPlaneF[] = {
    V("id", 1, "0", POS(neut_annot_plane, id)),
    V("type", 1, "0", POS(neut_annot_plane, type)),
    R("reference", 1024, "NULL", POS(neut_annot_plane, reference), kSelectionF,
      sizeof(neut_selection)),
    V("normal", 34, "0.0", POS(neut_annot_plane, normal), 3),
    V("orientation", 34, "0.0", POS(neut_annot_plane, orientation), 3),
    V("angle", 2, "0.0", POS(neut_annot_plane, angle)),
    V("frozen", 1, "0", POS(neut_annot_plane, frozen)),
};

// Notes.
constexpr ugc_dd_entry kTextLineF[] = {
    V("line", 1034, "NULL", POS(neut_text_line, line), 1),
    V("envelope", 34, "0.0", POS(neut_text_line, envelope), 3, 4),
};
constexpr ugc_dd_entry kNoteElbowF[] = {
    V("length", 2, "0.0", POS(neut_note_elbow, length)),
    V("direction", 34, "0.0", POS(neut_note_elbow, direction), 3),
};
constexpr ugc_dd_entry kEndpointF[] = {
    V("leader_type", 1, "0", POS(neut_endpoint, leader_type)),
    R("point", 1024, "NULL", POS(neut_endpoint, point), kSelectionF, sizeof(neut_selection)),
    R("attr", 1024, "NULL", POS(neut_endpoint, attr), kEndpointAttrF, sizeof(neut_typed), C2),
};
constexpr ugc_dd_entry kLeaderNoteF[] = {
    R("attr", 1024, "NULL", POS(neut_leader, attr), kEndpointAttrF, sizeof(neut_typed), C2),
    V("length", 2, "0.0", POS(neut_leader, length)),
    V("direction", 34, "0.0", POS(neut_leader, direction), 3),
};
constexpr ugc_dd_entry kNoteAttachmentF[] = {
    R("on_item", 1024, "NULL", POS(neut_note_attachment, on_item), kSelectionF,
      sizeof(neut_selection)),
    R("endpoints", 16, "NULL", POS(neut_note_attachment, endpoints), kEndpointF,
      sizeof(neut_endpoint)),
    R("annotation_plane", 1024, "NULL", POS(neut_note_attachment, annotation_plane), kItemRefF,
      sizeof(neut_item_ref)),
    R("norm_or_tan_leader", 1024, "NULL", POS(neut_note_attachment, norm_or_tan_leader),
      kLeaderNoteF, sizeof(neut_leader)),
    V("text_loc", 34, "0.0", POS(neut_note_attachment, text_loc), 3),
};
constexpr ugc_dd_entry kNoteF[] = {
    V("id", 1, "0", POS(neut_note, id)),
    V("type", 1, "0", POS(neut_note, type)),
    R("text_lines", 16, "NULL", POS(neut_note, text_lines), kTextLineF, sizeof(neut_text_line)),
    V("url", 1034, "NULL", POS(neut_note, url), 1),
    R("owner", 1024, "NULL", POS(neut_note, owner), kItemRefF, sizeof(neut_item_ref)),
    R("leader_style", 1024, "NULL", POS(neut_note, leader_style), kLeaderStyleF, sizeof(neut_typed),
      C2),
    R("elbow", 1024, "NULL", POS(neut_note, elbow), kNoteElbowF, sizeof(neut_note_elbow)),
    R("attachment", 1024, "NULL", POS(neut_note, attachment), kNoteAttachmentF,
      sizeof(neut_note_attachment)),
    R("text_style", 1024, "NULL", POS(neut_note, text_style), kTextStyleF, sizeof(neut_text_style)),
};

// ---- the part and the assembly ---------------------------------------------------------------
constexpr ugc_dd_entry kPartF[] = {
    V("revnum", 1, "0", POS(neut_part, revnum)),
    with_external(V("rel_accuracy", 266242, "-1.0", 0), &g_rel_accuracy),
    V("accuracy", 2, "-1.0", POS(neut_part, accuracy)),
    V("outline", 34, "0.0", POS(neut_part, outline), 2, 3),
    V("accuracy_is_relative", 1, "1", POS(neut_part, accuracy_is_relative)),
    R("neut_format", 16, "NULL", POS(neut_part, neut_format), kFormatF, sizeof(neut_format_attr)),
    R("mass_props", 1024, "NULL", POS(neut_part, mass_props), kMassPropsF, sizeof(neut_mass_props)),
    V("time_stamp", 0, nullptr, POS(neut_part, time_stamp)),
    R("colors", 1024, "NULL", POS(neut_part, colors), kColorsF, sizeof(neut_colors), DICT_COLORS),
    R("dimensions", 16, "NULL", POS(neut_part, dimensions), kDimensionF, sizeof(neut_dimension)),
    R("features", 16, "NULL", POS(neut_part, features), kFeatureF, sizeof(neut_feature), C2),
    R("quilts", 1040, "NULL", POS(neut_part, quilts), kQuiltF, sizeof(neut_quilt)),
    R("surfaces", 65536, "NULL", POS(neut_part, surfaces), kSurfaceF, sizeof(neut_surface)),
    R("edges", 65536, "NULL", POS(neut_part, edges), kEdgeF, sizeof(neut_edge)),
    R("geometric_tolerance", 16, "NULL", POS(neut_part, geometric_tolerance), kGeomTolF,
      sizeof(neut_geom_tol)),
    R("datum_curves", 1040, "NULL", POS(neut_part, datum_curves), kDatumCurveF,
      sizeof(neut_datum_curve)),
    R("datum_planes", 1040, "NULL", POS(neut_part, datum_planes), kDatumPlaneF,
      sizeof(neut_datum_plane)),
    R("coord_systems", 1040, "NULL", POS(neut_part, coord_systems), kCsysF, sizeof(neut_csys)),
    R("units", 16, "NULL", POS(neut_part, units), kUnitF, sizeof(neut_unit)),
    R("attributes", 1040, "NULL", POS(neut_part, attributes), kAttributeF, sizeof(neut_attribute),
      DICT_ATTRIBUTES),
    R("layers", 1040, "NULL", POS(neut_part, layers), kLayerF, sizeof(neut_layer)),
    R("views", 1040, "NULL", POS(neut_part, views), kViewF, sizeof(neut_view)),
    R("xsecs", 1040, "NULL", POS(neut_part, xsecs), kXsecF, sizeof(neut_xsec)),
    R("item_names", 1040, "NULL", POS(neut_part, item_names), kItemNameF, sizeof(neut_item_name)),
    R("faceted_reps", 1040, "NULL", POS(neut_part, faceted_reps), kFacetedRepF,
      sizeof(neut_faceted_rep), FACETS),
    R("geometric_tolerances", 1040, "NULL", POS(neut_part, geometric_tolerances), kGtolF,
      sizeof(neut_gtol), C3),
    R("annotation_features", 1040, "NULL", POS(neut_part, annotation_features), kAnnotFeatureF,
      sizeof(neut_annot_feature)),
    R("set_datum_tags", 1040, "NULL", POS(neut_part, set_datum_tags), kDatumTagF,
      sizeof(neut_datum_tag)),
    R("annot_planes", 1040, "NULL", POS(neut_part, annot_planes), kAnnotPlaneF,
      sizeof(neut_annot_plane)),
    R("notes", 1040, "NULL", POS(neut_part, notes), kNoteF, sizeof(neut_note)),
    R("model_class", 1024, "NULL", POS(neut_part, model_class), kModelClassF, sizeof(neut_typed),
      C2),
    V("angular_dim_tolerance", 2, "-1.0", POS(neut_part, angular_dim_tolerance)),
    V("linear_dim_tolerance", 2, "-1.0", POS(neut_part, linear_dim_tolerance)),
};
constexpr ugc_dd_entry kPartR =
    R("Neutral_part", 1024, "NULL", 0, kPartF, sizeof(neut_part), DICT_PART);

constexpr ugc_dd_entry kMemberF[] = {
    V("id", 1, "0", POS(neut_member, id)),
    V("type", 1, "0", POS(neut_member, type)),
    V("name", 10, "NULL", POS(neut_member, name), 32),
    V("family_name", 10, "NULL", POS(neut_member, family_name), 66),
    V("e1", 34, "NULL", POS(neut_member, e1), 3),
    V("e2", 34, "NULL", POS(neut_member, e2), 3),
    V("e3", 34, "NULL", POS(neut_member, e3), 3),
    V("origin", 34, "NULL", POS(neut_member, origin), 3),
};
constexpr ugc_dd_entry kAssemF[] = {
    R("assem_top", 1024, "NULL", POS(neut_assem, assem_top), kPartF, sizeof(neut_part), DICT_PART),
    R("members", 1040, "NULL", POS(neut_assem, members), kMemberF, sizeof(neut_member), CM),
};
constexpr ugc_dd_entry kAssemR = R("Neutral_assem", 1024, "NULL", 0, kAssemF, sizeof(neut_assem));

// ---- dictionary hooks ------------------------------------------------------------------------
void part_dict(ugc_dd_entry* fields, int count, ugc_output* ctx) {
    ugc_replace_entry(fields, count, "time_stamp", &kQelTimeR, "time_stamp", ctx);
}
void colors_dict(ugc_dd_entry* fields, int count, ugc_output* ctx) {
    ugc_replace_entry(fields, count, "color_rgb", &kColorPointsR, "color_rgb", ctx);
}
void color_tab_dict(ugc_dd_entry* fields, int count, ugc_output* ctx) {
    ugc_replace_entry(fields, count, "color_rgb", &kColorPointsTabR, "color_rgb", ctx);
}
void element_colors_dict(ugc_dd_entry* fields, int count, ugc_output* ctx) {
    if (ugc_dd_entry* e = ugc_find_dd_entry(fields, count, "color_ind"))
        e->external = &g_color_index;
    ugc_replace_entry(fields, count, "surf_pl", &kSurfPlR, "surf_pl", ctx);
}
void attributes_dict(ugc_dd_entry* fields, int count, ugc_output* ctx) {
    ugc_replace_entry(fields, count, "value", &kValueR, "value", ctx);
}

int32_t int_at(const void* rec, size_t offset) {
    int32_t v;
    std::memcpy(&v, static_cast<const char*>(rec) + offset, sizeof v);
    return v;
}

// ---- faceted representations ---------------------------------------------------------------
// The links of the representations being written by one output, as they
// were before they were numbered. The table belongs to the output (its user
// data), so writes on different outputs share nothing.
using SavedLinks = std::unordered_map<neut_faceted_rep*, std::vector<void*>>;

void put_links_back(neut_faceted_rep* rep, const std::vector<void*>& save);

// Released with the output: a representation whose write was cut short
// gets its pointers back here.
void release_saved_links(void* data) {
    auto* links = static_cast<SavedLinks*>(data);
    for (auto& [rep, save] : *links)
        put_links_back(rep, save);
    delete links;
}

SavedLinks* saved_links(ugc_output* out, bool create) {
    auto* links = static_cast<SavedLinks*>(ugc_get_user_data(out));
    if (!links && create) {
        links = new SavedLinks;
        ugc_set_user_data(out, links, release_saved_links);
    }
    return links;
}

struct FacetArrays {
    void* har;
    int count;
    // Element i (a record pointer, possibly null).
    template <class T> T* at(int i) const {
        return *static_cast<T**>(har_access(har, i, nullptr, nullptr));
    }
};

bool facet_arrays(const neut_faceted_rep* rep, FacetArrays& v, FacetArrays& d, FacetArrays& f) {
    for (void* h : {rep->facet_vertices, rep->facet_vertex_data, rep->facets})
        if (h && har_entry_size(h) != int(sizeof(void*)))
            return false;
    v = {rep->facet_vertices, har_total(rep->facet_vertices)};
    d = {rep->facet_vertex_data, har_total(rep->facet_vertex_data)};
    f = {rep->facets, har_total(rep->facets)};
    return true;
}

// The number of `e` in `arr`: its scratch index when that names its own
// slot, else -1 (null, or an element of another representation).
template <class T> int32_t number_of(const T* e, const FacetArrays& arr) {
    if (!e)
        return -1;
    int32_t i = e->index;
    return i >= 0 && i < arr.count && arr.at<T>(i) == e ? i : -1;
}

// Each element is handled at its last slot only, so one that stands twice
// in an array is converted once.
template <class T> bool owns_slot(const FacetArrays& arr, int i, T*& e) {
    e = arr.at<T>(i);
    return e && e->index == i;
}

} // namespace

// ---- exported -------------------------------------------------------------------------------------
const ugc_dd_entry* neutral_part_dd(void) { return &kPartR; }
const ugc_dd_entry* neutral_assem_dd(void) { return &kAssemR; }
double* neutral_rel_accuracy(void) { return &g_rel_accuracy; }
int32_t* neutral_color_index(void) { return &g_color_index; }

const ugc_dd_entry* neutral_curve_member(const void* curve, const void*) {
    if (!curve)
        return nullptr;
    switch (int_at(curve, offsetof(neut_curve, type))) {
    case NEUT_CURVE_POINT: return &kPointM;
    case NEUT_CURVE_LINE: return &kLineM;
    case NEUT_CURVE_ARC: return &kArcM;
    case NEUT_CURVE_SPLINE: return &kSplineM;
    case NEUT_CURVE_BSPLINE: return &kBsplineM;
    case NEUT_CURVE_ELLIPSE:
    case NEUT_CURVE_ELLIPSE_CLOSED: return &kEllipseM;
    default: return nullptr;
    }
}

const ugc_dd_entry* neutral_surface_member(const void*, const void* parent) {
    if (!parent)
        return nullptr;
    switch (int_at(parent, offsetof(neut_surface, surface_type))) {
    case NEUT_SURF_PLANE: return &kPlaneM;
    case NEUT_SURF_CYLINDER: return &kCylinderM;
    case NEUT_SURF_CONE: return &kConeM;
    case NEUT_SURF_TORUS: return &kTorusM;
    case NEUT_SURF_SPL_SRF: return &kSplSrfM;
    case NEUT_SURF_FILLET_SRF: return &kFilletSrfM;
    case NEUT_SURF_RUL_SRF: return &kRulSrfM;
    case NEUT_SURF_SRF_REV: return &kSrfRevM;
    case NEUT_SURF_TAB_CYL: return &kTabCylM;
    case NEUT_SURF_BSPL_SRF: return &kBsplSrfM;
    case NEUT_SURF_CYL_SPLSRF: return &kCylSplSrfM;
    default: return nullptr;
    }
}

const ugc_dd_entry* neutral_color_value_member(const void*, const void* parent) {
    if (!parent)
        return nullptr;
    switch (int_at(parent, offsetof(neut_text_color, method))) {
    case 0:
    case 1: return &kColorTypeM;
    case 2: return &kColorMapM;
    default: return nullptr;
    }
}

const ugc_dd_entry* neutral_datum_curve_member(const void*, const void* parent) {
    if (!parent)
        return nullptr;
    return int_at(parent, offsetof(neut_datum_curve, is_composite)) == 0 ? &kSimpleM : &kCompositeM;
}

const ugc_dd_entry* neutral_reference_member(const void*, const void* parent) {
    if (!parent)
        return nullptr;
    switch (int_at(parent, offsetof(neut_element_ref, type))) {
    case 0: return &kReferenceM;
    case 1:
    case 2: return &kCollectionM;
    default: return nullptr;
    }
}

const ugc_dd_entry* symbol_value_fcn(const void*, const void* parent) {
    int32_t type = parent ? int_at(parent, offsetof(neut_symbol_value, type)) : 0;
    switch (type) {
    case NEUT_SYM_DOUBLE: return &kDValM;
    case NEUT_SYM_STRING: return &kSValM;
    case NEUT_SYM_INT:
    case 54:
    case 59: return &kIValM;
    case NEUT_SYM_SHORT: return &kLValM;
    case 0: return &kNoValM; // an attribute without a value: nothing to report
    default:
        dbg_err_syserr("symbol_value_fcn", "Invalid union member type = %d", type);
        return &kNoValM;
    }
}

void neutral_facets_to_numbers(ugc_output* out, void* rec) {
    auto* rep = static_cast<neut_faceted_rep*>(rec);
    FacetArrays v, d, f;
    if (!out || !rep || !facet_arrays(rep, v, d, f))
        return;
    // A representation is numbered once per write (one that stands twice
    // in the part is already numbered).
    SavedLinks* links = saved_links(out, true);
    if (links->count(rep))
        return;
    std::vector<void*>& save = (*links)[rep];
    for (int i = 0; i < v.count; ++i)
        if (auto* e = v.at<neut_facet_vertex>(i))
            e->index = i;
    for (int i = 0; i < d.count; ++i)
        if (auto* e = d.at<neut_facet_vertex_data>(i))
            e->index = i;
    for (int i = 0; i < f.count; ++i)
        if (auto* e = f.at<neut_facet>(i))
            e->index = i;

    save.reserve(size_t(v.count) + size_t(f.count) * 9);
    neut_facet_vertex* vx;
    for (int i = 0; i < v.count; ++i) {
        if (!owns_slot(v, i, vx))
            continue;
        neut_facet* n = vx->neighbour.ptr;
        save.push_back(n);
        vx->neighbour.index = number_of(n, f);
    }
    neut_facet* fc;
    for (int i = 0; i < f.count; ++i) {
        if (!owns_slot(f, i, fc))
            continue;
        for (auto& r : fc->vertices) {
            neut_facet_vertex* p = r.ptr;
            save.push_back(p);
            r.index = number_of(p, v);
        }
        for (auto& r : fc->vertex_data) {
            neut_facet_vertex_data* p = r.ptr;
            save.push_back(p);
            r.index = number_of(p, d);
        }
        for (auto& r : fc->neighbour) {
            neut_facet* p = r.ptr;
            save.push_back(p);
            r.index = number_of(p, f);
        }
    }
}

void neutral_facets_to_pointers(ugc_output* out, void* rec) {
    auto* rep = static_cast<neut_faceted_rep*>(rec);
    SavedLinks* links = saved_links(out, false);
    if (!rep || !links)
        return;
    auto it = links->find(rep);
    if (it == links->end())
        return;
    std::vector<void*> save = std::move(it->second);
    links->erase(it);
    put_links_back(rep, save);
}

namespace {

void put_links_back(neut_faceted_rep* rep, const std::vector<void*>& save) {
    FacetArrays v, d, f;
    if (!facet_arrays(rep, v, d, f))
        return;
    size_t k = 0;
    neut_facet_vertex* vx;
    for (int i = 0; i < v.count && k < save.size(); ++i)
        if (owns_slot(v, i, vx))
            vx->neighbour.ptr = static_cast<neut_facet*>(save[k++]);
    neut_facet* fc;
    for (int i = 0; i < f.count && k + 9 <= save.size(); ++i) {
        if (!owns_slot(f, i, fc))
            continue;
        for (auto& r : fc->vertices)
            r.ptr = static_cast<neut_facet_vertex*>(save[k++]);
        for (auto& r : fc->vertex_data)
            r.ptr = static_cast<neut_facet_vertex_data*>(save[k++]);
        for (auto& r : fc->neighbour)
            r.ptr = static_cast<neut_facet*>(save[k++]);
    }
}

} // namespace

int neutral_comment_word(const ugc_dd_entry& d) {
    if (d.before_write == comment_w1 || d.before_write == comment_w1_always)
        return 1;
    if (d.before_write == comment_w2 || d.before_write == comment_color_type)
        return 2;
    if (d.before_write == comment_w3)
        return 3;
    return 0;
}
