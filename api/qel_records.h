// The host toolkit's records: the interface data of a part and its
// extension, which a part-import translator receives and hands back,
// assembly information and the layer status of an import, and the exported
// functions on them (at the end).
//
// Host-toolkit interface-data records.
//
// Plain records shared by the kernel objects, the XML binding, the neutral
// converter and the client runtime. Field order and widths are the contract
// between them (and across the library boundary), so every size and every
// offset that a routine reads by position is pinned by static_asserts below.
//
// General rules
// - int32_t / uint32_t for the 32-bit fields, double for reals, one pointer
//   word for every array handle and record pointer. Where one description of
//   a field calls it signed and another unsigned, the width is what binds;
//   the type chosen here follows the kernel's use.
// - A point or vector is three doubles (x, y, z); a UV point two doubles.
// - Wide text is char16_t, in fixed-width fields: names 32, paths 260.
//   A field shorter than its text is zero-terminated inside the field; a
//   name that fills all 32 characters has no terminator, so readers bound
//   every read by the field width.
// - Array handles: `T*` fields are xar handles (one pointer at element 0,
//   elements of type T stored by value; null is an empty array). Fields of
//   type `void*` commented "har of T" are chunked arrays (har) of T entries.
// - Records are taken with getmem and given back with rlsmem; the owner of a
//   record owns everything reachable from it (impfeat_ext_free and
//   QelAsmBasicInfoClean below free what a record holds).
#pragma once

#include "zpi50_export.h"
#include "zpi50_status.h"

#include <cstddef>
#include <cstdint>

// ---- kind codes, stamps and statuses --------------------------------------

// Curve kinds (QelCurvedata::kind).
enum : uint32_t {
    QEL_CURVE_POINT = 1,
    QEL_CURVE_LINE = 2,
    QEL_CURVE_ARC = 3,
    QEL_CURVE_KIND10 = 10, // two vectors and one value; no interface class
    QEL_CURVE_SPLINE = 12,
    QEL_CURVE_BSPLINE = 19,
    QEL_CURVE_ELLIPSE = 30,
    QEL_CURVE_KIND40 = 40, // pointer to one getmem block; no interface class
    QEL_CURVE_COMPOSITE = 41,
    QEL_CURVE_KIND56 = 56, // word, then an owned QelCurvedata; no interface class
    QEL_CURVE_CLEARED = 0xFFFFFFFFu, // a cleared curve ("kind -1")
};

// Surface kinds (QelSurfacedata::kind); the shape itself carries no kind.
enum : uint32_t {
    QEL_SURF_PLANE = 34,
    QEL_SURF_CYLINDER = 36,
    QEL_SURF_CONE = 37,
    QEL_SURF_TORUS = 38,
    QEL_SURF_SPLINE = 40,
    QEL_SURF_FILLET = 41,
    QEL_SURF_RULED = 42,
    QEL_SURF_REVOLVED = 43,
    QEL_SURF_TABCYL = 44,
    QEL_SURF_BSPLINE = 45,
    QEL_SURF_CYLSPLINE = 48,
};

// Datum types (QelDatumdata::type).
enum : int32_t {
    QEL_DATUM_UNSET = -1,
    QEL_DATUM_CSYS = 25,
    QEL_DATUM_CURVE = 62,
    QEL_DATUM_PLANE = 176,
};

// Contour traversal and face orientation codes.
enum : int32_t {
    QEL_TRAV_INTERNAL = -1,
    QEL_TRAV_NONE = 0,
    QEL_TRAV_EXTERNAL = 1,
    QEL_ORIENT_NEGATIVE = -1,
    QEL_ORIENT_NONE = 0,
    QEL_ORIENT_POSITIVE = 1,
};

// Accuracy kinds of the root (qel_intf_data::accuracy_type).
enum : uint32_t {
    QEL_ACCURACY_UNDEFINED = 0,
    QEL_ACCURACY_RELATIVE = 1,
    QEL_ACCURACY_ABSOLUTE = 2,
};

// A face record is stamped when its stamp field holds this value.
constexpr uint32_t QEL_STAMP_VALUE = 1234567890u; // 0x499602D2

// Statuses of every record routine and copy (named for callers in
// api/zpi50_status.h).
enum : int32_t {
    QEL_OK = ZPI_OK,
    QEL_ERR_DATUM_TYPE = ZPI_STATUS_DATUM_TYPE, // datum body copy met a type other than 25/62/176
    QEL_ERR_BAD_ARG = ZPI_STATUS_BAD_ARG,       // null record/array/out, count mismatch, bad index...
    QEL_ERR_NO_MEMORY = ZPI_STATUS_NO_MEMORY,   // getmem or an array function ran out of memory
    QEL_ERR_WRONG_KIND = ZPI_STATUS_WRONG_KIND, // kind-specific getter on a record of another kind
    QEL_ERR_BSPL_DEGREE = ZPI_STATUS_BSPLINE_DEGREE,       // degree 4 or more (record filled)
    QEL_ERR_BSPL_UNCLAMPED = ZPI_STATUS_BSPLINE_UNCLAMPED, // ends not clamped (record filled)
    QEL_ERR_BSPL_SPANS = ZPI_STATUS_BSPLINE_SPANS,         // fails the span check (record filled)
    QEL_ERR_PROFILE_KIND = ZPI_STATUS_PROFILE_KIND, // profile curve of a kind the surface does not take
};

// Field widths of wide text.
constexpr int QEL_NAME_LEN = 32;
constexpr int QEL_PATH_LEN = 260;
constexpr int QEL_ATTRIB_TEXT_LEN = 81;

// ---- small value records ----------------------------------------------------

// Element of every array of points or vectors.
struct QelPoint {
    double xyz[3];
};

// Element of an edge's UV-point array: (u, v) on face 1, then on face 2.
struct QelUvSample {
    double uv1[2];
    double uv2[2];
};

// Coordinate frame of analytic surfaces and of plane / csys datums.
struct QelFrame {
    double e1[3];
    double e2[3];
    double e3[3];
    double origin[3];
};

// ---- curves -------------------------------------------------------------------
//
// A curve is its kind followed by the variant's fields. Every variant below
// starts with the kind itself, so QelCurvedata is a union of whole variants
// whose common first field is the kind: the kind sits at offset 0 in all of
// them, the B-spline degree directly after it (offset 4), and the spline
// variant doubles as the "spline head" that fillet surfaces embed.

struct QelPointdata {
    uint32_t kind; // 1
    double point[3];
};

struct QelLinedata {
    uint32_t kind; // 2
    double end1[3];
    double end2[3];
};

struct QelArcdata {
    uint32_t kind; // 3
    double vector1[3];
    double vector2[3];
    double origin[3];
    double start_angle;
    double end_angle;
    double radius;
};

struct QelCurvekind10data {
    uint32_t kind; // 10
    double vector1[3];
    double vector2[3];
    double value;
};

struct QelSplinedata {
    uint32_t kind;     // 12
    double* params;    // xar of doubles
    QelPoint* points;  // xar of points
    QelPoint* tangents; // xar of vectors
    uint32_t count;
};

struct QelBsplinedata {
    uint32_t kind; // 19
    int32_t degree;
    double* knots;     // xar of doubles
    double* weights;   // xar of doubles, null when non-rational
    QelPoint* points;  // xar of control points
    uint32_t knot_count;
    uint32_t point_count;
};

struct QelEllipsedata {
    uint32_t kind; // 30
    double center[3];
    double major_axis[3];
    double minor_axis[3];
    double major_length;
    double minor_length;
    double start_angle;
    double end_angle;
};

struct QelCurvekind40data {
    uint32_t kind; // 40
    void* block;   // one getmem block, released with rlsmem
};

struct QelComponentcurvedata;

struct QelCompositeCurvedata {
    uint32_t kind;                      // 41
    QelComponentcurvedata* components; // xar of components by value
};

struct QelCurvedata;

struct QelCurvekind56data {
    uint32_t kind; // 56
    uint64_t word;
    QelCurvedata* curve; // owned by this record
};

struct QelCurvedata {
    union {
        uint32_t kind;
        QelPointdata point;
        QelLinedata line;
        QelArcdata arc;
        QelCurvekind10data kind10;
        QelSplinedata spline;
        QelBsplinedata bspline;
        QelEllipsedata ellipse;
        QelCurvekind40data kind40;
        QelCompositeCurvedata composite;
        QelCurvekind56data kind56;
    };
};

struct QelComponentcurvedata {
    QelCurvedata curve;
    uint32_t direction;
};

// ---- surface shapes --------------------------------------------------------------

struct QelPlanedata {
    QelFrame frame;
};

// Also the cone's layout: the scalar is the radius or the half angle.
struct QelCylinderdata {
    QelFrame frame;
    double scalar;
};
typedef QelCylinderdata QelConedata;

struct QelTorusdata {
    QelFrame frame;
    double radius1;
    double radius2;
};

// Also the tabulated cylinder's layout.
struct QelSrfrevdata {
    QelFrame frame;
    QelCurvedata profile;
};
typedef QelSrfrevdata QelTabcyldata;

struct QelRulsrfdata {
    QelFrame frame;
    QelCurvedata curve1;
    QelCurvedata curve2;
};

struct QelSplinesrfdata {
    double* u_params;      // xar of doubles
    double* v_params;      // xar of doubles
    QelPoint* points;      // xar of points
    QelPoint* u_tangents;  // xar of vectors
    QelPoint* v_tangents;  // xar of vectors
    QelPoint* mixed_derivs; // xar of vectors
    uint32_t u_count;
    uint32_t v_count;
};

// Weights and control points are xar arrays, or har arrays (same pointer
// word) when the control point count exceeds xar_max_count_get of one point.
// har_entry_size() of the control point handle tells which form is held.
struct QelBsplinesrfdata {
    uint32_t u_degree;
    uint32_t v_degree;
    double* u_knots;  // xar of doubles
    double* v_knots;  // xar of doubles
    double* weights;  // doubles; null for a non-rational surface
    QelPoint* points; // control points
    uint32_t u_knot_count;
    uint32_t v_knot_count;
    uint32_t point_count;
};

struct QelCylsplsrfdata {
    QelFrame frame;
    QelSplinesrfdata splinesrf;
};

struct QelFilsrfdata {
    QelSplinedata point_spline;
    QelSplinedata center_spline;
    QelSplinedata tangent_spline;
};

// Chosen by the face's surface kind; only the variant's own fields carry
// meaning, the rest is copied along untouched.
struct QelSurfaceshapedata {
    union {
        QelPlanedata plane;
        QelCylinderdata cylinder;
        QelConedata cone;
        QelTorusdata torus;
        QelSrfrevdata srfrev;
        QelTabcyldata tabcyl;
        QelRulsrfdata rulsrf;
        QelSplinesrfdata splinesrf;
        QelBsplinesrfdata bsplinesrf;
        QelCylsplsrfdata cylsplsrf;
        QelFilsrfdata filsrf;
    };
};

// ---- topology -------------------------------------------------------------------

// A contour (loop) of a face.
struct QelContourdata {
    int32_t traversal; // -1 internal, +1 external, 0 none
    int32_t* edge_ids; // xar of 32-bit edge ids
};

// Stamp block of a face record.
struct QelStampblock {
    uint32_t stamp; // QEL_STAMP_VALUE when stamped
    uint32_t reserved[2];
    uint32_t id_copy;
};

// A face.
struct QelSurfacedata {
    uint32_t kind; // surface kind code
    double uv_min[2];
    double uv_max[2];
    double xyz_min[3];
    double xyz_max[3];
    int32_t orientation; // +1, -1, 0 none
    QelSurfaceshapedata shape;
    QelStampblock stamp;
    uint32_t id;
    QelContourdata* contour_copy; // the contours handle again, kept by a stamped record
    QelContourdata* contours;     // xar of contours by value
};

// A quilt: id, then an xar of pointers to face records that it owns.
struct QelQuiltdata {
    uint32_t id;
    QelSurfacedata** faces;
};

struct QelEdgedata {
    uint32_t id;
    uint32_t face_ids[2];   // first and second adjacent face
    uint32_t directions[2]; // traversal in face 1 and face 2
    QelUvSample* uv_points; // xar of UV samples
    QelCurvedata* uv_curve1; // owned copy or null
    QelCurvedata* uv_curve2; // owned copy or null
    QelCurvedata* xyz_curve; // owned copy or null
};

// Body of a datum: the curve (type 62) or the frame (types 25 and 176).
union QelDatumbody {
    QelCurvedata curve;
    QelFrame frame;
};

struct QelDatumdata {
    uint32_t id;
    int32_t type;                // 62, 176, 25; -1 while unset
    char16_t name[QEL_NAME_LEN]; // no terminator when all 32 are used
    QelDatumbody body;
};

// The root.
struct qel_intf_data {
    uint32_t accuracy_type; // 1 relative, 2 absolute, 0 undefined
    double accuracy;
    double outline[6]; // low corner x, y, z, then high corner
    void* surfaces;    // har of QelSurfacedata
    void* quilts;      // har of QelQuiltdata
    void* edges;       // har of QelEdgedata
    void* datums;      // har of QelDatumdata
};

// ---- assembly information -------------------------------------------------------

struct qel_model_basic_info;

struct qel_model_component_info {
    uint32_t id;
    double matrix[4][4];       // row after row
    qel_model_basic_info* sub; // the component's own information, or null
};

struct qel_model_basic_info {
    char16_t name[QEL_PATH_LEN];
    uint32_t type;
    uint32_t source_system;
    qel_model_component_info* components; // xar of component records
};

// ---- layer status of an import --------------------------------------------------

constexpr int ATB_LAYER_NAME_LEN = 81;

// One layer of an import's layer status (requests 160 and 161 of
// ZorvanProxy), in an xar of them.
struct atb_import_layer {
    int32_t IntfId;
    int32_t Type;
    char16_t Name[ATB_LAYER_NAME_LEN];     // zero-terminated
    char16_t OrigName[ATB_LAYER_NAME_LEN]; // zero-terminated
    int32_t ImportStatus;
    int32_t CrvCount;
    int32_t SrfCount;
    int32_t TrmSrfCount;
};
static_assert(offsetof(atb_import_layer, Name) == 8);
static_assert(offsetof(atb_import_layer, OrigName) == 170);
static_assert(offsetof(atb_import_layer, ImportStatus) == 332);
static_assert(sizeof(atb_import_layer) == 348);

// ---- extension element records ---------------------------------------------------

struct QelLayerdata {
    char16_t name[QEL_NAME_LEN];
    uint32_t layer_id;   // 0xFFFFFFFF for a new layer
    uint32_t* item_ids;  // xar of item ids
    uint32_t status;     // host layer status: 1, 2, 3, 5; 0xFFFFFFFF none
};

struct QelTexturemapdata {
    char16_t name[QEL_NAME_LEN];
    char16_t file_name[QEL_PATH_LEN];
};

// The reference colour is described once as "twelve doubles and further
// data" and once with its fields named, texture slots included. This layout
// is both: the twelve doubles in their indexed order (colour 0-2, ambient 3,
// diffuse 4, specular 5, specular coefficient 6, transmission 7, highlight
// 8-10, reflection 11), then the bump, decal and texture slots as the
// further data.
struct QelRefColordata {
    double color[3];
    double ambient;
    double diffuse;
    double specular;
    double specular_coef;
    double transmission;
    double highlight[3];
    double reflection;
    QelTexturemapdata bump;
    QelTexturemapdata decal;
    QelTexturemapdata texture;
};

struct QelElemColordata {
    uint32_t item_id;
    uint32_t color_index[2]; // positions in the reference colours; 0xFFFFFFFF none
};

// The text value is described once as 82 wide characters and once as 81
// wide characters followed by a 16-bit value. This layout is both: the 82
// characters' room is text[81] plus short_value in its last slot. A text is
// therefore kept to 80 characters and its terminator.
struct QelGenAttribdata {
    char16_t name[QEL_NAME_LEN];
    uint32_t value_kind; // 0 none, 1 int, 2 double, 3 text, 5 16-bit value
    int32_t int_value;
    double double_value;
    char16_t text[QEL_ATTRIB_TEXT_LEN];
    uint16_t short_value;
    uint32_t item_id;
    uint32_t item_type;
};

struct QelUnitdata {
    double factor;
    char16_t name[QEL_NAME_LEN];
    uint32_t type; // 0 length, 1 mass
};

struct QelVtxCompdata {
    int32_t edge_id;
    int32_t start_or_end;
};

struct QelExtEdgedata {
    int32_t edge_id;
    QelVtxCompdata* start_comps; // xar
    QelVtxCompdata* end_comps;   // xar
    double start_point[3];
    double end_point[3];
};

struct QelItemNamedata {
    char16_t name[QEL_NAME_LEN];
    uint32_t item_id;
    uint32_t item_type;
};

struct QelSolidRegiondata {
    int32_t* external_shell;   // xar of surface ids
    int32_t** internal_shells; // xar of xar handles of surface ids
};

struct QelFacetVertexdata {
    double point[3];
    int32_t neighbour; // facet index, negative for none
};

struct QelFacetVtxdata {
    double normal[3];
    double u;
    double v;
};

struct QelFacetdata {
    uint32_t vertex_idx[3];    // all 0xFFFFFFFF: unset
    uint32_t vtxdata_idx[3];
    uint32_t neighbour_idx[3];
    double normal[3];
};

struct QelFacetedRepdata {
    int32_t id;
    void* vertices; // har of QelFacetVertexdata*
    void* vtxdata;  // har of QelFacetVtxdata*
    void* facets;   // har of QelFacetdata*
    double outline[6];
};

// ---- annotation records of the import feature (extension words 10 to 16) ----------
//
// Trees of getmem blocks. Every pointer field below is owned by the record
// that holds it and points to one block of the named type, or is null; a
// sub-record belongs to exactly one field. Array fields are xar handles:
// "xar of T" holds T by value, "xar of T*" holds owned pointers (a null
// slot is allowed). Wide texts in place are zero-terminated inside their
// field (a field filled to the end has no terminator); `char16_t*` texts
// are zero-terminated getmem blocks.

// Typed record: bound, material condition, justification, leader style,
// orientation hint and the other one-word classifications.
struct QelAnnotTyped {
    int32_t type;
};

// Reference to a model item.
struct QelAnnotItemRef {
    int32_t type;
    int32_t id;
};

struct QelAnnotPoint {
    double xyz[3];
};

struct QelAnnotUvParam {
    double uv[2];
};

// Selection of a model item, optionally at a UV parameter or a point.
struct QelAnnotSelection {
    QelAnnotItemRef* model_item;
    QelAnnotUvParam* uv_param;
    QelAnnotPoint* point;
};

struct QelAnnotColorMap {
    double red;
    double green;
    double blue;
};

// Colour of a text style: method 0 or 1 uses color_type, 2 color_map.
struct QelAnnotColor {
    int32_t method;
    QelAnnotTyped* color_type;
    QelAnnotColorMap* color_map;
};

struct QelAnnotTextStyle {
    double height;
    double width;
    double angle;
    double slant_angle;
    double thickness;
    int32_t underline;
    int32_t mirror;
    QelAnnotTyped* justification;
    QelAnnotColor* color;
};

struct QelAnnotArrow {
    int32_t type;
    double point[3];
};

struct QelAnnotLocation {
    QelAnnotPoint* point;
    double* elbow; // one double
    QelAnnotArrow* arrow_1;
    QelAnnotArrow* arrow_2;
    QelAnnotPoint* witness_line_1;
    QelAnnotPoint* witness_line_2;
    QelAnnotPoint* z_ext_line_end_1;
    QelAnnotPoint* z_ext_line_end_2;
    QelAnnotPoint* normal;
};

struct QelAnnotTolLabel {
    int32_t type;
    char16_t name[QEL_NAME_LEN];
    int32_t column;
};

struct QelAnnotAngleSense {
    int32_t is_first;
    int32_t should_flip;
};

struct QelAnnotSense {
    int32_t type;
    int32_t sense;
    QelAnnotAngleSense* angle_sense;
    QelAnnotTyped* orient_hint;
};

struct QelAnnotDimAttachment {
    QelAnnotSelection* references[2];
    QelAnnotSense* sense;
};

// One line of a dimension's text.
struct QelAnnotDimText {
    char16_t text[QEL_ATTRIB_TEXT_LEN];
};

// Word 10 holds these by value.
struct QelAnnotDimension {
    int32_t id;
    int32_t type;
    int32_t dim_type;
    char16_t name[QEL_NAME_LEN];
    double value;
    int32_t feat_id;
    double tol_plus;
    double tol_minus;
    int32_t decimals;
    int32_t denominator;
    double nomvalue;
    QelAnnotTyped* bound;
    int32_t fractional;
    int32_t rel_driven;
    int32_t regened_negative;
    QelAnnotTolLabel* tol_label;
    QelAnnotDimText* text; // xar of lines
    QelAnnotTextStyle* text_style;
    QelAnnotLocation* location;
    int32_t is_driving;
    QelAnnotItemRef* annotation_plane;
    QelAnnotDimAttachment* attachments; // xar of attachments by value
};

// ---- geometric tolerances (word 11: xar of QelAnnotGtol*) ----

// `ref` of a tolerance; a leader of its placement has the same layout.
struct QelAnnotGtolRef {
    int32_t type;
    QelAnnotSelection* reference;
};

struct QelAnnotLeader {
    int32_t type;
    QelAnnotSelection* attachment;
};

struct QelAnnotOverall {
    double value;
    char16_t name[QEL_NAME_LEN];
};

struct QelAnnotPlacement {
    int32_t type;
    QelAnnotItemRef* dimension;
    QelAnnotLeader** leaders; // xar of QelAnnotLeader*
    double location[3];
    QelAnnotItemRef* gtol;
};

struct QelAnnotDatumRef {
    QelAnnotSelection* basic_datum;
    QelAnnotTyped* basic_matl_cond;
    QelAnnotSelection* compound_datum;
    QelAnnotTyped* compound_matl_cond;
};

struct QelAnnotComposite {
    int32_t type;
    double value;
};

struct QelAnnotPerUnit {
    double value;
    double area_or_length;
};

struct QelAnnotProjZone {
    int32_t type;
    double* height; // one double
};

struct QelAnnotProfBoundary {
    int32_t type;
    int32_t outside;
};

struct QelAnnotGtol {
    int32_t id;
    int32_t type;
    int32_t gtol_type;
    QelAnnotGtolRef* ref;
    QelAnnotOverall* overall;
    QelAnnotTyped* matl_cond;
    QelAnnotPlacement* placement;
    QelAnnotItemRef* annotation_plane;
    QelAnnotDatumRef* primary_datum_ref;
    QelAnnotDatumRef* secondary_datum_ref;
    QelAnnotDatumRef* tertiary_datum_ref;
    QelAnnotComposite* composite;
    QelAnnotPerUnit* per_unit;
    QelAnnotTyped* unit_area_style;
    int32_t statistic_tolerance;
    int32_t diameter;
    int32_t free_state;
    int32_t all_around;
    int32_t tangent_plane;
    QelAnnotProjZone* proj_zone;
    QelAnnotProfBoundary* prof_boundary;
};

// ---- annotation features (word 12: xar of QelAnnotFeature*) ----

struct QelAnnotReference {
    QelAnnotItemRef* item;
    QelAnnotSelection* selection;
    QelAnnotItemRef* original_item;
    QelAnnotSelection* original_selection;
};

// A reference of a collection's instruction.
struct QelAnnotCollRef {
    int32_t type;
    QelAnnotReference* reference;
};

struct QelAnnotInstruction {
    int32_t type;
    QelAnnotTyped* attr;
    QelAnnotCollRef** references; // xar of QelAnnotCollRef*
};

struct QelAnnotCollection {
    int32_t type;
    QelAnnotInstruction** instructions; // xar of QelAnnotInstruction*
};

// A reference of an annotation element: type 0 refers through `reference`,
// types 1 and 2 through `collection`.
struct QelAnnotElemRef {
    int32_t type;
    QelAnnotReference* reference;
    QelAnnotCollection* collection;
    char16_t description[QEL_ATTRIB_TEXT_LEN];
    int32_t autopropagate;
    int32_t strong;
};

struct QelAnnotElement {
    int32_t id;
    int32_t type;
    int32_t annot_type;
    int32_t dependent;
    int32_t incomplete;
    int32_t copy;
    QelAnnotItemRef* annotation;
    QelAnnotElemRef** references; // xar of QelAnnotElemRef*
};

struct QelAnnotFeature {
    int32_t id;
    int32_t type;
    QelAnnotElement** elements; // xar of QelAnnotElement*
};

// ---- datum tags (word 13), annotation planes (word 14) ----

struct QelAnnotDatumTag {
    int32_t id;
    int32_t type;
    QelAnnotItemRef* reference;
    QelAnnotItemRef* annot_plane;
    QelAnnotSelection* attachment;
    QelAnnotTextStyle* text_style;
};

struct QelAnnotPlane {
    int32_t id;
    int32_t type;
    QelAnnotSelection* reference;
    double normal[3];
    double orientation[3];
    double angle;
    int32_t frozen;
};

// ---- notes (word 15: xar of QelAnnotNote*) ----

struct QelAnnotTextLine {
    char16_t* line; // zero-terminated
    double envelope[3][4];
};

struct QelAnnotElbow {
    double length;
    double direction[3];
};

struct QelAnnotEndpoint {
    int32_t leader_type;
    QelAnnotSelection* point;
    QelAnnotTyped* attr;
};

struct QelAnnotNormTanLeader {
    QelAnnotTyped* attr;
    double length;
    double direction[3];
};

struct QelAnnotNoteAttachment {
    QelAnnotSelection* on_item;
    QelAnnotEndpoint* endpoints; // xar of endpoints by value
    QelAnnotItemRef* annotation_plane;
    QelAnnotNormTanLeader* norm_or_tan_leader;
    double text_loc[3];
};

struct QelAnnotNote {
    int32_t id;
    int32_t type;
    QelAnnotTextLine* text_lines; // xar of lines by value
    char16_t* url;                // zero-terminated
    QelAnnotItemRef* owner;
    QelAnnotTyped* leader_style;
    QelAnnotElbow* elbow;
    QelAnnotNoteAttachment* attachment;
    QelAnnotTextStyle* text_style;
};

// Word 16.
struct QelAnnotModelClass {
    int32_t type;
};

// ---- extension record --------------------------------------------------------------
//
// Eighteen words. Words 10 to 16 hold the annotation data of the import
// feature (the QelAnnot* records above). Their handles are plain void*
// words: a field of type void** would be taken by the xar_free(void**) /
// xar_cpy(void**, ...) overloads as the address of a handle rather than as
// the handle itself.
struct qel_intf_data_extend {
    QelLayerdata* layers;            // 1  xar
    QelRefColordata* ref_colors;     // 2  xar
    QelElemColordata* elem_colors;   // 3  xar, ascending item id
    void* attributes;                // 4  har of QelGenAttribdata
    QelUnitdata* units;              // 5  xar
    void* ext_edges;                 // 6  har of QelExtEdgedata
    QelItemNamedata* item_names;     // 7  xar
    QelSolidRegiondata* solid_regions; // 8 xar
    void* faceted_reps;              // 9  har of QelFacetedRepdata
    void* dimensions;                // 10 xar of QelAnnotDimension
    void* gtols;                     // 11 xar of QelAnnotGtol*
    void* annot_features;            // 12 xar of QelAnnotFeature*
    void* datum_tags;                // 13 xar of QelAnnotDatumTag*
    void* annot_planes;              // 14 xar of QelAnnotPlane*
    void* notes;                     // 15 xar of QelAnnotNote*
    void* model_class;               // 16 QelAnnotModelClass or null
    double angular_dim_tolerance;    // 17
    double linear_dim_tolerance;     // 18
};

// ---- layout pins ---------------------------------------------------------------------

static_assert(sizeof(void*) == 8, "records assume 64-bit pointers");
static_assert(sizeof(char16_t) == 2);

static_assert(sizeof(QelPoint) == 24);
static_assert(sizeof(QelUvSample) == 32);
static_assert(sizeof(QelFrame) == 96);

static_assert(sizeof(QelPointdata) == 32);
static_assert(sizeof(QelLinedata) == 56);
static_assert(sizeof(QelArcdata) == 104);
static_assert(sizeof(QelCurvekind10data) == 64);
static_assert(sizeof(QelSplinedata) == 40);
static_assert(sizeof(QelBsplinedata) == 40);
static_assert(sizeof(QelEllipsedata) == 112);
static_assert(sizeof(QelCurvekind40data) == 16);
static_assert(sizeof(QelCompositeCurvedata) == 16);
static_assert(sizeof(QelCurvekind56data) == 24);
static_assert(sizeof(QelCurvedata) == 112);
static_assert(sizeof(QelComponentcurvedata) == 120);
static_assert(offsetof(QelComponentcurvedata, direction) == 112);

static_assert(offsetof(QelPointdata, point) == 8);
static_assert(offsetof(QelLinedata, end2) == 32);
static_assert(offsetof(QelArcdata, origin) == 56);
static_assert(offsetof(QelArcdata, radius) == 96);
static_assert(offsetof(QelCurvekind10data, value) == 56);
static_assert(offsetof(QelSplinedata, params) == 8);
static_assert(offsetof(QelSplinedata, count) == 32);
static_assert(offsetof(QelBsplinedata, degree) == 4);
static_assert(offsetof(QelBsplinedata, knots) == 8);
static_assert(offsetof(QelBsplinedata, weights) == 16);
static_assert(offsetof(QelBsplinedata, points) == 24);
static_assert(offsetof(QelBsplinedata, knot_count) == 32);
static_assert(offsetof(QelBsplinedata, point_count) == 36);
static_assert(offsetof(QelEllipsedata, major_length) == 80);
static_assert(offsetof(QelEllipsedata, end_angle) == 104);
static_assert(offsetof(QelCurvekind40data, block) == 8);
static_assert(offsetof(QelCompositeCurvedata, components) == 8);
static_assert(offsetof(QelCurvekind56data, curve) == 16);

static_assert(sizeof(QelPlanedata) == 96);
static_assert(sizeof(QelCylinderdata) == 104);
static_assert(offsetof(QelCylinderdata, scalar) == 96);
static_assert(sizeof(QelTorusdata) == 112);
static_assert(offsetof(QelTorusdata, radius2) == 104);
static_assert(sizeof(QelSrfrevdata) == 208);
static_assert(offsetof(QelSrfrevdata, profile) == 96);
static_assert(sizeof(QelRulsrfdata) == 320);
static_assert(offsetof(QelRulsrfdata, curve2) == 208);
static_assert(sizeof(QelSplinesrfdata) == 56);
static_assert(offsetof(QelSplinesrfdata, u_count) == 48);
static_assert(sizeof(QelBsplinesrfdata) == 56);
static_assert(offsetof(QelBsplinesrfdata, u_knots) == 8);
static_assert(offsetof(QelBsplinesrfdata, points) == 32);
static_assert(offsetof(QelBsplinesrfdata, point_count) == 48);
static_assert(sizeof(QelCylsplsrfdata) == 152);
static_assert(sizeof(QelFilsrfdata) == 120);
static_assert(offsetof(QelFilsrfdata, tangent_spline) == 80);
static_assert(sizeof(QelSurfaceshapedata) == 320);

static_assert(sizeof(QelContourdata) == 16);
static_assert(sizeof(QelStampblock) == 16);
static_assert(offsetof(QelSurfacedata, uv_min) == 8);
static_assert(offsetof(QelSurfacedata, xyz_min) == 40);
static_assert(offsetof(QelSurfacedata, orientation) == 88);
static_assert(offsetof(QelSurfacedata, shape) == 96);
static_assert(offsetof(QelSurfacedata, stamp) == 416);
static_assert(offsetof(QelSurfacedata, id) == 432);
static_assert(offsetof(QelSurfacedata, contour_copy) == 440);
static_assert(offsetof(QelSurfacedata, contours) == 448);
static_assert(sizeof(QelSurfacedata) == 456);
static_assert(sizeof(QelQuiltdata) == 16);
static_assert(offsetof(QelEdgedata, face_ids) == 4);
static_assert(offsetof(QelEdgedata, directions) == 12);
static_assert(offsetof(QelEdgedata, uv_points) == 24);
static_assert(offsetof(QelEdgedata, xyz_curve) == 48);
static_assert(sizeof(QelEdgedata) == 56);
static_assert(sizeof(QelDatumbody) == 112);
static_assert(offsetof(QelDatumdata, type) == 4);
static_assert(offsetof(QelDatumdata, name) == 8);
static_assert(offsetof(QelDatumdata, body) == 72);
static_assert(sizeof(QelDatumdata) == 184);

static_assert(offsetof(qel_intf_data, accuracy) == 8);
static_assert(offsetof(qel_intf_data, outline) == 16);
static_assert(offsetof(qel_intf_data, surfaces) == 64);
static_assert(offsetof(qel_intf_data, datums) == 88);
static_assert(sizeof(qel_intf_data) == 96);

static_assert(offsetof(qel_model_component_info, matrix) == 8);
static_assert(offsetof(qel_model_component_info, sub) == 136);
static_assert(sizeof(qel_model_component_info) == 144);
static_assert(offsetof(qel_model_basic_info, type) == 520);
static_assert(offsetof(qel_model_basic_info, components) == 528);
static_assert(sizeof(qel_model_basic_info) == 536);

static_assert(offsetof(QelLayerdata, layer_id) == 64);
static_assert(offsetof(QelLayerdata, item_ids) == 72);
static_assert(offsetof(QelLayerdata, status) == 80);
static_assert(sizeof(QelLayerdata) == 88);
static_assert(sizeof(QelTexturemapdata) == 584);
static_assert(offsetof(QelRefColordata, reflection) == 88);
static_assert(offsetof(QelRefColordata, bump) == 96);
static_assert(sizeof(QelRefColordata) == 96 + 3 * 584);
static_assert(offsetof(QelRefColordata, highlight) == 64);
static_assert(offsetof(QelTexturemapdata, file_name) == 64);
static_assert(sizeof(QelElemColordata) == 12);
static_assert(offsetof(QelGenAttribdata, value_kind) == 64);
static_assert(offsetof(QelGenAttribdata, double_value) == 72);
static_assert(offsetof(QelGenAttribdata, text) == 80);
static_assert(offsetof(QelGenAttribdata, short_value) == 80 + 2 * 81);
static_assert(offsetof(QelGenAttribdata, item_id) == 80 + 2 * 82);
static_assert(sizeof(QelGenAttribdata) == 256);
static_assert(offsetof(QelUnitdata, name) == 8);
static_assert(offsetof(QelUnitdata, type) == 72);
static_assert(sizeof(QelUnitdata) == 80);
static_assert(sizeof(QelVtxCompdata) == 8);
static_assert(offsetof(QelExtEdgedata, start_comps) == 8);
static_assert(offsetof(QelExtEdgedata, end_comps) == 16);
static_assert(offsetof(QelExtEdgedata, start_point) == 24);
static_assert(offsetof(QelExtEdgedata, end_point) == 48);
static_assert(sizeof(QelExtEdgedata) == 72);
static_assert(offsetof(QelItemNamedata, item_id) == 64);
static_assert(offsetof(QelItemNamedata, item_type) == 68);
static_assert(sizeof(QelItemNamedata) == 72);
static_assert(sizeof(QelSolidRegiondata) == 16);
static_assert(offsetof(QelFacetVertexdata, neighbour) == 24);
static_assert(sizeof(QelFacetVertexdata) == 32);
static_assert(offsetof(QelFacetVtxdata, u) == 24);
static_assert(sizeof(QelFacetVtxdata) == 40);
static_assert(offsetof(QelFacetdata, vtxdata_idx) == 12);
static_assert(offsetof(QelFacetdata, neighbour_idx) == 24);
static_assert(offsetof(QelFacetdata, normal) == 40);
static_assert(sizeof(QelFacetdata) == 64);
static_assert(offsetof(QelFacetedRepdata, vertices) == 8);
static_assert(offsetof(QelFacetedRepdata, outline) == 32);
static_assert(sizeof(QelFacetedRepdata) == 80);
static_assert(sizeof(qel_intf_data_extend) == 18 * 8);
static_assert(offsetof(qel_intf_data_extend, faceted_reps) == 8 * 8);
static_assert(offsetof(qel_intf_data_extend, model_class) == 15 * 8);
static_assert(offsetof(qel_intf_data_extend, linear_dim_tolerance) == 17 * 8);

// Routines that read "the first field" or "the second field" of records of
// different types rely on these shared offsets: the curve kind, the root's
// accuracy type, a contour's traversal and a quilt's id all lie at offset 0
// as 32 bits; the root's accuracy and a contour's edge-id handle (and a
// quilt's face array) are the 64-bit word at offset 8.
constexpr size_t QEL_FIRST_FIELD_OFFSET = 0;
constexpr size_t QEL_SECOND_FIELD_OFFSET = 8;
static_assert(offsetof(QelCurvedata, kind) == QEL_FIRST_FIELD_OFFSET);
static_assert(offsetof(qel_intf_data, accuracy_type) == QEL_FIRST_FIELD_OFFSET);
static_assert(offsetof(QelContourdata, traversal) == QEL_FIRST_FIELD_OFFSET);
static_assert(offsetof(QelQuiltdata, id) == QEL_FIRST_FIELD_OFFSET);
static_assert(offsetof(qel_intf_data, accuracy) == QEL_SECOND_FIELD_OFFSET);
static_assert(offsetof(QelContourdata, edge_ids) == QEL_SECOND_FIELD_OFFSET);
static_assert(offsetof(QelQuiltdata, faces) == QEL_SECOND_FIELD_OFFSET);
static_assert(sizeof(QelQuiltdata) == sizeof(QelContourdata),
              "qel_contourdata_alloc also makes quilt records");

// ---- exported functions on the records -------------------------------------------

class KWPIModel;
struct neut_part; // a neutral part: made by cnv_qlk_neut, freed by release_neutral_part

extern "C" {

// A new model over copies of `data` and `extension` (both only read): 1 on
// success; 0 for a null `data` or `out`, when `data` or `extension` holds
// what no model holds (a curve of a kind without an interface class where
// a curve is held, a B-spline weight or weighted control point that cannot
// be divided back out, spline parameters that do not increase, a face of a
// surface kind without an element, a name a document cannot carry, ...:
// told in one line on standard error naming the item) or when `data`
// cannot be copied (told) (out untouched), or when `extension` (null
// included) cannot be copied (*out then holds the model without an
// extension). No reference is taken for the caller: wrap *out in a handle
// at once (xrchandle<KWPIModel> model(*out)).
ZPI_API int CreatePIModel_global(qel_intf_data* data, qel_intf_data_extend* extension,
                                 KWPIModel** out);

// Frees every array and record an extension holds and zeroes those words (the
// block itself stays): 0; -2 for null or an annotation array of another size.
ZPI_API int impfeat_ext_free(qel_intf_data_extend* ext);

// Frees the component records of assembly information recursively (the
// record given stays): 0; -2 for null or bad component arrays, -10 when memory
// runs out.
ZPI_API int QelAsmBasicInfoClean(qel_model_basic_info* info);

// Converts interface data into a new neutral part stored in *out (the caller
// frees it with release_neutral_part); `flags` is unused. 0; -2 for a null
// `data` (an empty part) or `out`; -10 when no part can be made (*out null).
ZPI_API int cnv_qlk_neut(const qel_intf_data* data, neut_part** out, int flags);

// Adds an extension's layers, colours, attributes, units, names, facets and
// annotations to `part`: 0; -2 for a null argument or an array of another
// size, -10 when memory runs out, -1 for element colours without reference
// colours; the rest is converted in every case.
ZPI_API int ConvertQelImpfeatExtend(neut_part* part, const qel_intf_data_extend* ext);

// Writes `part` as a neutral part file to `location` (a UTF-16 file path,
// written beside the target and renamed when whole): 1 when written, else 0
// (the reason then goes to the neutral converters' diagnostics).
ZPI_API int stream_neutral_to_pfa(const char16_t* location, neut_part* part);

// Frees a neutral part with everything under it: 0; -2 for null.
ZPI_API int release_neutral_part(neut_part* part);
}
