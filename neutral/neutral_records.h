// In-memory records of a neutral part.
//
// The converters fill these records and the neutral writer streams them
// through the schema table (neutral_schema.h), which knows every field by
// its offset in these structs. The field order of a struct is its memory
// order; the order in the file is the table's.
//
// Memory and ownership
//   Every record, text and array is allocated with getmem (zero-filled) and
//   belongs to the record that points at it; release_neutral_part frees the
//   whole tree. Nothing may be shared between two owners, except a record
//   that stands in several pointer arrays (a surface in two quilts).
//
// Handles (base/memory/xmemory.h)
//   T* fields documented as "xar" are xar handles: a pointer to element 0
//   of an xar array (xar_alloc / xar_alloc_or_append), null when empty.
//   "xar of T" holds T by value, "xar of T*" holds pointers to records.
//   Arrays of numbers may be flat (element size 4 or 8) or hold groups of
//   values (element size 12, 24, 32 ...): the writer walks xar_count times
//   the element size, so both forms write the same values.
//   neut_har fields are har handles (har_alloc): entries never move.
//   "double xar, 3 per point" means a flat double array x0 y0 z0 x1 ...
//
// Texts
//   Wide texts are char16_t (UTF-16), narrow texts char (UTF-8). A text held
//   in place (char16_t name[32]) is read up to its first zero or its length;
//   a text held by pointer (char16_t* name) must be zero-terminated and is
//   read up to that zero.
//
// Comment words
//   Some records carry a narrow text that is written as a comment before
//   the record and not as a field: it must lie in the record's first,
//   second or third 8-byte word. Those fields are named `comment` below and
//   their position is pinned by static_asserts; a null comment writes an
//   empty comment. They are owned like any other text.
#pragma once

#include <cstddef>
#include <cstdint>

// Handle of a large chunked array (har).
typedef void* neut_har;

// ---- curve records -----------------------------------------------------
// Curve codes (the leading `type` of every curve record, and the
// `curve_type` fields of their holders).
enum : int32_t {
    NEUT_CURVE_POINT = 1,
    NEUT_CURVE_LINE = 2,
    NEUT_CURVE_ARC = 3,
    NEUT_CURVE_SPLINE = 12,
    NEUT_CURVE_BSPLINE = 19,
    NEUT_CURVE_ELLIPSE = 30,
    NEUT_CURVE_ELLIPSE_CLOSED = 58,
};

// What every curve record starts with; holders point at curves through it.
struct neut_curve {
    int32_t type;
};

struct neut_point {
    int32_t type; // 1
    double xyz[3];
};

struct neut_line {
    int32_t type; // 2
    double end1[3];
    double end2[3];
};

struct neut_arc {
    int32_t type; // 3
    double vector1[3];
    double vector2[3];
    double origin[3];
    double start_angle;
    double end_angle;
    double radius;
};

struct neut_spline {
    int32_t type;     // 12
    double* params;   // double xar
    double* points;   // double xar, 3 per point
    double* tangents; // double xar, 3 per point
};

struct neut_bspline {
    int32_t type; // 19
    int32_t degree;
    double* params;  // double xar
    double* weights; // double xar, null when the curve has none
    double* c_pnts;  // double xar, 3 per point
};

struct neut_ellipse {
    int32_t type; // 30, or 58 for a closed ellipse
    double vector1[3];
    double vector2[3];
    double origin[3];
    double start_angle;
    double end_angle;
    double radius1;
    double radius2;
};

// ---- surface shape records (kind given by the holder's surface_type) ---
enum : int32_t {
    NEUT_SURF_PLANE = 34,
    NEUT_SURF_CYLINDER = 36,
    NEUT_SURF_CONE = 37,
    NEUT_SURF_TORUS = 38,
    NEUT_SURF_SPL_SRF = 40,
    NEUT_SURF_FILLET_SRF = 41,
    NEUT_SURF_RUL_SRF = 42,
    NEUT_SURF_SRF_REV = 43,
    NEUT_SURF_TAB_CYL = 44,
    NEUT_SURF_BSPL_SRF = 45,
    NEUT_SURF_CYL_SPLSRF = 48,
    NEUT_SURF_BSPL_SRF_LARGE = 49, // B-spline surface with har arrays
};

// Also the datum plane's and the cross-section's plane.
struct neut_plane {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
};

struct neut_cylinder {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    double radius;
};

struct neut_cone {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    double alpha;
};

struct neut_torus {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    double radius1;
    double radius2;
};

// Surface of revolution (43) and tabulated cylinder (44).
struct neut_srf_rev {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    int32_t curve_type;
    neut_curve* C;
};
typedef neut_srf_rev neut_tab_cyl;

struct neut_rul_srf {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    int32_t curve_type1;
    neut_curve* C1;
    int32_t curve_type2;
    neut_curve* C2;
};

struct neut_spl_srf {
    int32_t tan_cond[2];
    double* u_params;   // double xar
    double* v_params;   // double xar
    double* points;     // double xar, 3 per point
    double* u_tangents; // double xar, 3 per point
    double* v_tangents; // double xar, 3 per point
    double* uv_derivs;  // double xar, 3 per point
};

struct neut_bspl_srf {
    int32_t degree[2]; // u, v
    double* u_params;  // double xar
    double* v_params;  // double xar
    double* c_pnts;    // double xar, 3 per point
    double* weights;   // double xar, null when there are none
};

// The same record for surface_type 49: control points and weights in har
// arrays of single doubles (3 entries per point for c_pnts).
struct neut_bspl_srf_large {
    int32_t degree[2];
    double* u_params; // double xar
    double* v_params; // double xar
    neut_har c_pnts;  // har of double
    neut_har weights; // har of double, or null
};

struct neut_fillet_srf {
    neut_spline* pnt_spline; // each with type 12
    neut_spline* ctr_spline;
    neut_spline* tan_spline;
};

struct neut_cyl_splsrf {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
    neut_spl_srf splsrf; // held in place
};

// ---- topology ----------------------------------------------------------
struct neut_loop {
    int32_t* edge_ids; // int32 xar
};

struct neut_surface {
    int32_t id;
    double uv_min[2];
    double uv_max[2];
    double xyz_min[3];
    double xyz_max[3];
    int32_t orient;     // 1 or -1
    neut_loop* loops;   // xar of neut_loop
    int32_t surface_type; // NEUT_SURF_*
    void* surface;      // shape record of that type
};

struct neut_quilt {
    int32_t id;
    neut_surface** surfaces; // xar of neut_surface*
};

// UV curve of an edge; also the simple datum curve and a component of a
// composite datum curve.
struct neut_uv_curve {
    int32_t id;
    int32_t curve_type;
    neut_curve* curve;
    int32_t flip; // 1 or -1
};

struct neut_edge {
    int32_t id;
    int32_t surface_ids[2];
    int32_t direction[2]; // 1 or -1
    double* uv_points;    // double xar, 4 per point
    int32_t curve_type;
    neut_curve* curve;
    neut_uv_curve* uv_curves[2];
};

// ---- datums --------------------------------------------------------------
struct neut_composite_curve {
    neut_uv_curve* components; // xar of neut_uv_curve
};

struct neut_datum_curve {
    int32_t id;
    int32_t is_composite; // 0: curve is a neut_uv_curve; else a neut_composite_curve
    char16_t* name;
    void* curve;
};

struct neut_datum_plane {
    int32_t id;
    char16_t* name;
    neut_plane* plane;
};

struct neut_csys {
    int32_t id;
    char16_t* name;
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
};

// ---- attributes, layers, units, names ----------------------------------
// Symbol types of an attribute value.
enum : int32_t {
    NEUT_SYM_DOUBLE = 50,
    NEUT_SYM_STRING = 51,
    NEUT_SYM_INT = 52,
    NEUT_SYM_SHORT = 53,
};

struct neut_symbol_value {
    int32_t type; // NEUT_SYM_* (54 and 59 are integers too)
    union {
        int32_t i_val;
        double d_val;
        char16_t s_val[81];
        int16_t l_val;
    } value;
};

struct neut_attribute {
    char16_t* name;
    neut_symbol_value value;
    int32_t ref_id;
    int32_t ref_type;
    char16_t* ref_name;
};

struct neut_layer {
    int32_t id;
    int32_t db_type; // 641
    char16_t* name;
    int32_t user_id;
    int32_t* ids; // int32 xar
    int32_t operation;
};

struct neut_unit {
    double factor;
    char16_t name[32];
    int32_t unit_type;
};

struct neut_item_name {
    char16_t name[32];
    int32_t obj_id;
    int32_t obj_type;
};

struct neut_view {
    char16_t* name;
    double matrix[4][4];
};

struct neut_xsec {
    int32_t id;
    char16_t* name;
    neut_plane* plane;
    int32_t quilt_id;
};

struct neut_format_attr {
    int32_t format_attr;
};

struct neut_mass_props {
    int32_t revnum;
    double volume;
    double density;
    double c_of_grav[3];
    double inertia_x[3];
    double inertia_y[3];
    double inertia_z[3];
    double surfarea;
};

struct qel_time {
    int32_t tm_sec;
    int32_t tm_min;
    int32_t tm_hour;
    int32_t tm_mday;
    int32_t tm_mon;
    int32_t tm_year;
};

// ---- colours -------------------------------------------------------------
struct neut_texture {
    char name[32];
    char path[260]; // kept, not written
};

struct neut_color {
    double color_rgb[3];
    double ambient;
    double diffuse;
    double specular;
    double spec_coef;
    double transmission;
    double highlight[3];
    double reflection;
    neut_texture* bump;
    neut_texture* decal;
    neut_texture* texture;
};

struct neut_texplace_data {
    int32_t texref_id;
    int32_t boundary_type;
    double intensity;
    double rotation;
    double pole_rotation;
    double translate[2];
    double scale[2];
    int32_t flip[2];
    double texture_coord_transform[4][4];
    int32_t coord_gen_type;
    double pole_zoom_scale;
    double pos[3];
    double aim_at[3];
    double start_pos[3];
    double start_aim_at[3];
    double coord_system[4][4];
    double start_coord_system[4][4];
    double proj_coord_system[4][4];
    int32_t version;
};

struct neut_texplace_ref {
    neut_texplace_data* neut_texplace;
};

struct neut_surfprop {
    neut_texplace_ref* pp_texplaces; // xar of neut_texplace_ref
};

struct neut_surf_pl {
    neut_surfprop* surfprop_ptr;
};

struct neut_element_color {
    int32_t element_id;
    int32_t color_inds[2];
    neut_surf_pl surf_pl[2];
};

struct neut_colors {
    double* color_rgb;                  // double xar, 3 per colour
    neut_color* color_tab;              // xar of neut_color
    neut_element_color* element_colors; // xar of neut_element_color
};

// ---- faceted representations ---------------------------------------------
// Links between facet elements are pointers in memory; while the
// representation is being written they hold the element numbers instead.
struct neut_facet;
struct neut_facet_vertex;
struct neut_facet_vertex_data;

union neut_facet_ref {
    neut_facet* ptr;
    int32_t index;
};
union neut_vertex_ref {
    neut_facet_vertex* ptr;
    int32_t index;
};
union neut_vertex_data_ref {
    neut_facet_vertex_data* ptr;
    int32_t index;
};

struct neut_facet_vertex {
    double xyz[3];
    neut_facet_ref neighbour; // null: none
    int32_t index;            // scratch
};

struct neut_facet_vertex_data {
    double normal[3];
    double texture_uv[2];
    int32_t index; // scratch
};

struct neut_facet {
    neut_vertex_ref vertices[3];
    neut_vertex_data_ref vertex_data[3]; // null: none
    neut_facet_ref neighbour[3];         // null: none
    double normal[3];
    int32_t index; // scratch
};

// Chunk length of the three har arrays of a faceted representation.
enum : int32_t { NEUT_FACET_CHUNK = 100 };

struct neut_faceted_rep {
    int32_t id;
    neut_har facet_vertices;    // har of neut_facet_vertex*
    neut_har facet_vertex_data; // har of neut_facet_vertex_data*
    neut_har facets;            // har of neut_facet*
    double outline[2][3];
};

// ---- annotation records --------------------------------------------------
// Item reference (also `annotation_plane`, `owner`, `dimension`, `gtol`).
struct neut_item_ref {
    int32_t type;
    int32_t id;
};

// Typed record: a type and a comment text (`bound`, `matl_cond`,
// `justification`, `leader_style`, `attr`, `orient_hint`,
// `unit_area_style`, `model_class`).
struct neut_typed {
    int32_t type;
    char* comment; // word 2
};

struct neut_xyz {
    double xyz[3];
};

struct neut_uv_param {
    double uv[2];
};

// Selection (`attachment` of a datum tag, `reference` of an annotation
// plane, `basic_datum`, `on_item`, `point` of an endpoint, ...).
struct neut_selection {
    neut_item_ref* model_item;
    neut_uv_param* uv_param;
    neut_xyz* point;
};

struct neut_color_type {
    int32_t type;
    char* comment; // word 2, written only when type >= 0
};

struct neut_color_map {
    double red;
    double green;
    double blue;
};

// Colour of a text style: value is a neut_color_type (method 0, 1) or a
// neut_color_map (method 2).
struct neut_text_color {
    int32_t method;
    char* comment; // word 2
    void* value;
};

struct neut_text_style {
    double height;
    double width;
    double angle;
    double slant_angle;
    double thickness;
    int32_t underline;
    int32_t mirror;
    neut_typed* justification;
    neut_text_color* color;
};

struct neut_arrow {
    int32_t type;
    double point[3];
};

struct neut_dim_location {
    neut_xyz* point;
    double* elbow; // one double, or null
    neut_arrow* arrow_1;
    neut_arrow* arrow_2;
    neut_xyz* witness_line_1;
    neut_xyz* witness_line_2;
    neut_xyz* z_ext_line_end_1;
    neut_xyz* z_ext_line_end_2;
    neut_xyz* normal;
};

struct neut_angle_sense {
    int32_t is_first;
    int32_t should_flip;
};

struct neut_dim_sense {
    int32_t type;
    int32_t sense;
    char* comment; // word 2
    neut_angle_sense* angle_sense;
    neut_typed* orient_hint;
};

struct neut_dim_attachment {
    neut_selection* references[2];
    neut_dim_sense* sense;
};

struct neut_tol_label {
    int32_t type;
    char* comment; // word 2
    char16_t name[32];
    int32_t column;
};

struct neut_dimension {
    int32_t id;
    int32_t type;
    int32_t dim_type;
    char16_t* name;
    double value;
    int32_t feat_id;
    double tol_plus;
    double tol_minus;
    int32_t decimals;
    int32_t denominator;
    double nomvalue;
    neut_typed* bound;
    int32_t fractional;
    int32_t rel_driven;
    int32_t regened_negative;
    neut_tol_label* tol_label;
    char16_t (*text)[81]; // xar of 81-character lines
    neut_text_style* text_style;
    neut_dim_location* location;
    int32_t is_driving;
    neut_item_ref* annotation_plane;
    neut_dim_attachment* attachments; // xar of neut_dim_attachment
};

struct neut_feature {
    int32_t id;
    char* type_name; // word 2, also written as the comment
    char16_t* user_name;
    int32_t suppressed;
    int32_t* dim_index;     // int32 xar
    int32_t* surface_ids;   // int32 xar
    int32_t* edge_ids;      // int32 xar
    int32_t* misc_ids;      // int32 xar
    int32_t* patt_feat_ids; // int32 xar
};

// Older tolerance form (`geometric_tolerance`).
struct neut_geom_tol_datum {
    char16_t* datum_name;
    char* datum_type;
    int32_t id;
};

struct neut_geom_tol {
    char* tol_class;
    char* tol_type;
    int32_t feat_id;
    char* ref_type;
    int32_t ref_id;
    double value;
    char* matl_cond;
    neut_geom_tol_datum* datum_refs; // xar of neut_geom_tol_datum
};

// Geometric tolerances (`geometric_tolerances`).
struct neut_gtol_ref {
    int32_t type;
    char* comment; // word 2
    neut_selection* reference;
};

struct neut_gtol_overall {
    double value;
    char16_t name[32];
};

struct neut_gtol_leader {
    char* comment; // word 1
    int32_t type;
    neut_selection* attachment;
};

struct neut_gtol_placement {
    char* comment; // word 1
    int32_t type;
    neut_item_ref* dimension;
    neut_gtol_leader** leaders; // xar of neut_gtol_leader*
    double location[3];
    neut_item_ref* gtol;
};

struct neut_gtol_datum_ref {
    neut_selection* basic_datum;
    neut_typed* basic_matl_cond;
    neut_selection* compound_datum;
    neut_typed* compound_matl_cond;
};

struct neut_gtol_composite {
    int32_t type;
    char* comment; // word 2
    double value;
};

struct neut_gtol_per_unit {
    double value;
    double area_or_length;
};

struct neut_gtol_proj_zone {
    int32_t type;
    char* comment;  // word 2
    double* height; // one double, or null
};

struct neut_gtol_prof_boundary {
    int32_t type;
    char* comment; // word 2
    int32_t outside;
};

struct neut_gtol {
    int32_t id;
    int32_t type;
    int32_t gtol_type;
    char* comment; // word 3
    neut_gtol_ref* ref;
    neut_gtol_overall* overall;
    neut_typed* matl_cond;
    neut_gtol_placement* placement;
    neut_item_ref* annotation_plane;
    neut_gtol_datum_ref* primary_datum_ref;
    neut_gtol_datum_ref* secondary_datum_ref;
    neut_gtol_datum_ref* tertiary_datum_ref;
    neut_gtol_composite* composite;
    neut_gtol_per_unit* per_unit;
    neut_typed* unit_area_style;
    int32_t statistic_tolerance;
    int32_t diameter;
    int32_t free_state;
    int32_t all_around;
    int32_t tangent_plane;
    neut_gtol_proj_zone* proj_zone;
    neut_gtol_prof_boundary* prof_boundary;
};

// Annotation features and their references.
struct neut_reference {
    neut_item_ref* item;
    char* comment; // word 2
    neut_selection* selection;
    neut_item_ref* original_item;
    neut_selection* original_selection;
};

struct neut_collection_ref {
    int32_t type;
    char* comment; // word 2
    neut_reference* reference;
};

struct neut_instruction {
    int32_t type;
    char* comment; // word 2
    neut_typed* attr;
    neut_collection_ref** references; // xar of neut_collection_ref*
};

struct neut_collection {
    int32_t type;
    char* comment; // word 2
    neut_instruction** instructions; // xar of neut_instruction*
};

// object: a neut_reference (type 0) or a neut_collection (type 1, 2).
struct neut_element_ref {
    int32_t type;
    char* comment; // word 2
    void* object;
    char16_t* description;
    int32_t autopropagate;
    int32_t strong;
};

struct neut_annot_element {
    int32_t id;
    int32_t type;
    int32_t annot_type;
    int32_t dependent;
    char* comment; // word 3
    int32_t incomplete;
    int32_t copy;
    neut_item_ref* annotation;
    neut_element_ref** references; // xar of neut_element_ref*
};

struct neut_annot_feature {
    int32_t id;
    int32_t type;
    neut_annot_element** elements; // xar of neut_annot_element*
};

struct neut_datum_tag {
    int32_t id;
    int32_t type;
    neut_item_ref* reference;
    neut_item_ref* annot_plane;
    neut_selection* attachment;
    neut_text_style* text_style;
};

struct neut_annot_plane {
    int32_t id;
    int32_t type;
    neut_selection* reference;
    double normal[3];
    double orientation[3];
    double angle;
    int32_t frozen;
};

// Notes.
struct neut_text_line {
    char16_t* line;
    double envelope[3][4];
};

struct neut_note_elbow {
    double length;
    double direction[3];
};

struct neut_endpoint {
    int32_t leader_type;
    neut_selection* point;
    neut_typed* attr;
};

struct neut_leader {
    neut_typed* attr;
    double length;
    double direction[3];
};

struct neut_note_attachment {
    neut_selection* on_item;
    neut_endpoint* endpoints; // xar of neut_endpoint
    neut_item_ref* annotation_plane;
    neut_leader* norm_or_tan_leader;
    double text_loc[3];
};

struct neut_note {
    int32_t id;
    int32_t type;
    neut_text_line* text_lines; // xar of neut_text_line
    char16_t* url;
    neut_item_ref* owner;
    neut_typed* leader_style;
    neut_note_elbow* elbow;
    neut_note_attachment* attachment;
    neut_text_style* text_style;
};

// ---- the part ------------------------------------------------------------
struct neut_part {
    int32_t revnum;
    neut_format_attr* neut_format; // xar of neut_format_attr
    neut_mass_props* mass_props;
    neut_unit* units; // xar of neut_unit
    qel_time* time_stamp;
    neut_har surfaces; // har of neut_surface
    neut_quilt** quilts;
    neut_har edges; // har of neut_edge
    neut_datum_curve** datum_curves;
    neut_datum_plane** datum_planes;
    neut_csys** coord_systems;
    neut_attribute** attributes;
    neut_layer** layers;
    neut_dimension* dimensions;         // xar of neut_dimension
    neut_feature* features;             // xar of neut_feature
    neut_geom_tol* geometric_tolerance; // xar of neut_geom_tol
    neut_colors* colors;
    neut_view** views;
    neut_xsec** xsecs;
    neut_item_name** item_names;
    neut_faceted_rep** faceted_reps;
    double accuracy;
    int32_t accuracy_is_relative; // 1 relative, 0 absolute
    double outline[2][3];
    neut_gtol** geometric_tolerances;
    neut_annot_feature** annotation_features;
    neut_datum_tag** set_datum_tags;
    neut_annot_plane** annot_planes;
    neut_note** notes;
    neut_typed* model_class;
    double angular_dim_tolerance;
    double linear_dim_tolerance;
};

// ---- assemblies ------------------------------------------------------------
struct neut_member {
    int32_t id;
    int32_t type; // 2: part, otherwise an assembly
    char16_t name[32];
    char16_t family_name[66];
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
};

struct neut_assem {
    neut_part* assem_top;
    neut_member** members; // xar of neut_member*
};

// The comment words sit where the writer reads them.
static_assert(offsetof(neut_typed, comment) == 8);
static_assert(offsetof(neut_color_type, comment) == 8);
static_assert(offsetof(neut_text_color, comment) == 8);
static_assert(offsetof(neut_dim_sense, comment) == 8);
static_assert(offsetof(neut_tol_label, comment) == 8);
static_assert(offsetof(neut_feature, type_name) == 8);
static_assert(offsetof(neut_gtol_ref, comment) == 8);
static_assert(offsetof(neut_gtol_leader, comment) == 0);
static_assert(offsetof(neut_gtol_placement, comment) == 0);
static_assert(offsetof(neut_gtol_composite, comment) == 8);
static_assert(offsetof(neut_gtol_proj_zone, comment) == 8);
static_assert(offsetof(neut_gtol_prof_boundary, comment) == 8);
static_assert(offsetof(neut_gtol, comment) == 16);
static_assert(offsetof(neut_reference, comment) == 8);
static_assert(offsetof(neut_collection_ref, comment) == 8);
static_assert(offsetof(neut_instruction, comment) == 8);
static_assert(offsetof(neut_collection, comment) == 8);
static_assert(offsetof(neut_element_ref, comment) == 8);
static_assert(offsetof(neut_annot_element, comment) == 16);
static_assert(offsetof(neut_bspl_srf_large, c_pnts) == offsetof(neut_bspl_srf, c_pnts));
static_assert(offsetof(neut_bspl_srf_large, weights) == offsetof(neut_bspl_srf, weights));
static_assert(sizeof(neut_facet_ref) == sizeof(void*));
