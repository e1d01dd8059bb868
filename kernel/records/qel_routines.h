// Host record routines: allocate, fill (init), read (get), check, clear and
// free the records of api/qel_records.h.
//
// Every routine returns an int status (QEL_OK, QEL_ERR_* of qel_records.h)
// and never throws. Out-parameters come last and are written only on
// success unless a routine says otherwise. A null record, array or
// out-pointer where one is needed gives QEL_ERR_BAD_ARG (-2).
//
// OWNERSHIP RULES
//
// 1. Owner owns all. The owner of a record owns everything reachable from
//    it: arrays, the curve records an edge points to, the faces a quilt
//    points to, a component's own basic-info record.
//
// 2. init takes over nested records. A nested record handed to an init
//    routine (a curve, a spline head, a spline-surface head, a whole shape,
//    a datum body) is copied byte for byte into the target, which from then
//    on owns the arrays and curves that it points to. The caller afterwards
//    releases at most its own block (qel_data_free), and never clears it.
//    The exception is qel_edgedata_init: it takes a fresh getmem block for
//    each curve given, holding a byte copy; the caller's curve blocks stay
//    the caller's (release them with qel_data_free, not a clear).
//
// 3. Arrays passed as handles are duplicated. An array handed in as an
//    array handle is duplicated with xar_cpy: elements are copied by value,
//    so arrays held inside those elements (the edge ids of contours, the
//    arrays of curves inside composite components) pass to the new array
//    the same way. The caller keeps its array and frees it (the array only,
//    not what its elements hold).
//
// 4. get hands out copies that share. An array comes back duplicated (the
//    caller frees the array, never what its elements hold); a nested record
//    comes back as a byte copy whose arrays still belong to the source (the
//    caller never clears it). The indexed getters of the root hand out a new
//    block holding a byte copy of the entry: release it with qel_data_free.
//
// 5. The root's append routines copy the record's bytes into the root,
//    which takes over what the record points to; the caller then releases
//    the record block itself with qel_data_free.
//
// 6. clear frees what a record owns and leaves the record; free clears and
//    then releases the record with rlsmem, only when the clear succeeded
//    (a failing clear leaves the record allocated), except where a routine
//    says "always". A cleared curve has kind QEL_CURVE_CLEARED (all bits
//    set): test it with qel_curvedata_is_cleared, not with the kind getter
//    (which reads the low byte only and answers 255).
//
// 7. Deep copies that share nothing are in kernel/records/qel_copy.h.
//
// Vectors are pointers to three doubles, UV points pointers to two doubles.
#pragma once

#include "api/zpi50_export.h"
#include "api/qel_records.h"

#include "free_ptr.h"

#include <cstdint>

extern "C" {

// ---- allocation ---------------------------------------------------------------
// Each stores a new zero-filled getmem block through `out`: 0, -2 for a null
// out-pointer, -10 when getmem fails.
int qel_intf_data_alloc(qel_intf_data** out);
int qel_surfacedata_alloc(QelSurfacedata** out);
int qel_surfaceshapedata_alloc(QelSurfaceshapedata** out);
int qel_curvedata_alloc(QelCurvedata** out);
int qel_componentcurvedata_alloc(QelComponentcurvedata** out);
int qel_edgedata_alloc(QelEdgedata** out);
// Contour records; quilt records have the same size (qel_quiltdata_alloc is
// the typed form for them).
int qel_contourdata_alloc(QelContourdata** out);
int qel_quiltdata_alloc(QelQuiltdata** out);
// Sets the datum type to -1 (unset).
int qel_datumdata_alloc(QelDatumdata** out);

// Releases one record block with rlsmem, nothing nested; -2 for null.
int qel_data_free(void* record);

// ---- curves -------------------------------------------------------------------
// Each init writes the kind and the variant's fields into `out` (a null
// vector argument gives -2); each get checks the kind first (-18 for a
// record of another kind) and writes only the outputs that are not null.

int qel_pointdata_init(const double* point, QelCurvedata* out);
int qel_pointdata_get(const QelCurvedata* rec, double* point);

int qel_linedata_init(const double* end1, const double* end2, QelCurvedata* out);
int qel_linedata_get(const QelCurvedata* rec, double* end1, double* end2);

int qel_arcdata_init(const double* vector1, const double* vector2, const double* origin,
                     double start_angle, double end_angle, double radius, QelCurvedata* out);
int qel_arcdata_get(const QelCurvedata* rec, double* vector1, double* vector2, double* origin,
                    double* start_angle, double* end_angle, double* radius);

int qel_ellipsedata_init(const double* center, const double* major_axis, const double* minor_axis,
                         double major_length, double minor_length, double start_angle,
                         double end_angle, QelCurvedata* out);
int qel_ellipsedata_get(const QelCurvedata* rec, double* center, double* major_axis,
                        double* minor_axis, double* major_length, double* minor_length,
                        double* start_angle, double* end_angle);

// Kind 10: the record comes first in init and last in get.
int qel_curvekind10_init(QelCurvedata* out, const double* vector1, const double* vector2,
                         double value);
int qel_curvekind10_get(double* vector1, double* vector2, double* value, const QelCurvedata* rec);

// Kind 12. `count` must equal the number of parameters, points and
// tangents; the parameters must increase by at least 1e-9 x their range at
// every step; no parameters at all gives -2. On failure the record is left
// as it was. The three arrays are duplicated.
int qel_splinedata_init(const double* params, const QelPoint* points, const QelPoint* tangents,
                        uint32_t count, QelCurvedata* out);
int qel_splinedata_get(const QelCurvedata* rec, double** params, QelPoint** points,
                       QelPoint** tangents, uint32_t* count);

// Kind 19. Refuses (-2, record untouched) a null knot array, a knot count
// other than the knots' number, weights whose number is not the control
// point count, missing control points or a control point count other than
// their number. Then fills the record: -2 for a degree below 1 or knots out
// of order (the record then holds kind, counts, degree and possibly the
// knots, and nothing else: clear it); otherwise the whole record is filled
// and the result is -41 for degree 4 or more, else -42 for unclamped ends,
// else 0. -10 when an array copy fails.
int qel_bsplinedata_init(int32_t degree, const double* knots, const double* weights,
                         const QelPoint* points, uint32_t knot_count, uint32_t point_count,
                         QelCurvedata* out);
// Clears every given output first; weights are copied only when the record
// has them (else null).
int qel_bsplinedata_get(const QelCurvedata* rec, int32_t* degree, double** knots, double** weights,
                        QelPoint** points, uint32_t* knot_count, uint32_t* point_count);

// Kind 41; the component array is duplicated (components' curves pass over).
int qel_compositecurvedata_init(const QelComponentcurvedata* components, QelCurvedata* out);
int qel_compositecurvedata_get(const QelCurvedata* rec, QelComponentcurvedata** components);

// Copies the whole curve record into the component, then the direction.
int qel_componentcurvedata_init(const QelCurvedata* curve, uint32_t direction,
                                QelComponentcurvedata* out);
int qel_componentcurvedata_get(const QelComponentcurvedata* comp, QelCurvedata* curve,
                               uint32_t* direction);

// Reads only the low-order byte of the kind, unsigned, widened: a cleared
// curve reads 255. Use qel_curvedata_is_cleared to tell a cleared curve.
int qel_curvedata_type_get(const QelCurvedata* rec, int32_t* kind);
// Stores `value` as 32 bits in the record's first field: a curve's kind, or
// the root's accuracy type.
int qel_curvedata_type_set(void* record, uint32_t value);
// 1 when the curve is null or cleared (its whole kind field is all bits
// set, "kind -1"), else 0.
int qel_curvedata_is_cleared(const QelCurvedata* rec);
// Byte copy of the whole record (shares its arrays).
int qel_curvedata_copy(const QelCurvedata* src, QelCurvedata* dst);
// Byte copy of the whole record; a B-spline source failing the span check
// gives -43 (the record is copied anyway).
int qel_curvedata_set(const QelCurvedata* src, QelCurvedata* dst);

// ---- surface shapes ---------------------------------------------------------------
// A frame is e1, e2, e3, origin; a null vector is written as zeros.

int qel_planedata_init(const double* e1, const double* e2, const double* e3, const double* origin,
                       QelSurfaceshapedata* out);
int qel_planedata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                      double* origin);

// Cylinders (radius) and cones (half angle).
int qel_cylinderdata_init(const double* e1, const double* e2, const double* e3,
                          const double* origin, double scalar, QelSurfaceshapedata* out);
int qel_cylinderdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                         double* origin, double* scalar);

int qel_torusdata_init(const double* e1, const double* e2, const double* e3, const double* origin,
                       double radius1, double radius2, QelSurfaceshapedata* out);
int qel_torusdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                      double* origin, double* radius1, double* radius2);

// Surfaces of revolution and tabulated cylinders. Profile kinds 2, 3, 12,
// 19, 30 are taken (any other, a point too, gives -44, shape untouched); a
// B-spline profile failing the span check gives -43 with the shape filled.
int qel_srfrevdata_init(const double* e1, const double* e2, const double* e3, const double* origin,
                        const QelCurvedata* profile, QelSurfaceshapedata* out);
int qel_srfrevdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                       double* origin, QelCurvedata* profile);

// Each curve of kind 1, 2, 3, 12, 19 or 30 and not both points (else -44,
// shape untouched); -43 when a B-spline fails the span check (shape filled).
int qel_rulsrfdata_init(const double* e1, const double* e2, const double* e3, const double* origin,
                        const QelCurvedata* curve1, const QelCurvedata* curve2,
                        QelSurfaceshapedata* out);
int qel_rulsrfdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                       double* origin, QelCurvedata* curve1, QelCurvedata* curve2);

// The six arrays are duplicated; counts are stored unchecked.
int qel_splinesrfdata_init(const double* u_params, const double* v_params, const QelPoint* points,
                           const QelPoint* u_tangents, const QelPoint* v_tangents,
                           const QelPoint* mixed_derivs, uint32_t u_count, uint32_t v_count,
                           QelSurfaceshapedata* out);
int qel_splinesrfdata_get(const QelSurfaceshapedata* shape, double** u_params, double** v_params,
                          QelPoint** points, QelPoint** u_tangents, QelPoint** v_tangents,
                          QelPoint** mixed_derivs, uint32_t* u_count, uint32_t* v_count);

// `degrees` points to (U degree, V degree). The arrays are duplicated, the
// weights and control points as the form they come in (xar or har).
int qel_bsplinesrfdata_init(const uint32_t* degrees, const double* u_knots, const double* v_knots,
                            const double* weights, const QelPoint* points, uint32_t u_knot_count,
                            uint32_t v_knot_count, uint32_t point_count, QelSurfaceshapedata* out);
int qel_bsplinesrfdata_get(const QelSurfaceshapedata* shape, uint32_t* degrees, double** u_knots,
                           double** v_knots, double** weights, QelPoint** points,
                           uint32_t* u_knot_count, uint32_t* v_knot_count, uint32_t* point_count);

// The head is taken over byte for byte (-2 when it is null).
int qel_cylsplsrfdata_init(const double* e1, const double* e2, const double* e3,
                           const double* origin, const QelSplinesrfdata* head,
                           QelSurfaceshapedata* out);
int qel_cylsplsrfdata_get(const QelSurfaceshapedata* shape, double* e1, double* e2, double* e3,
                          double* origin, QelSplinesrfdata* head);

// The three spline heads are taken over byte for byte (-2 when any is null).
int qel_filsrfdata_init(const QelSplinedata* point_spline, const QelSplinedata* center_spline,
                        const QelSplinedata* tangent_spline, QelSurfaceshapedata* out);
int qel_filsrfdata_get(const QelSurfaceshapedata* shape, QelSplinedata* point_spline,
                       QelSplinedata* center_spline, QelSplinedata* tangent_spline);

// ---- faces, contours, quilts ------------------------------------------------------

// Clears the whole record, writes the fields and a byte copy of the shape
// (which it takes over); the XYZ box stays zero. When stamping is on the
// record is stamped and the id stored in its stamp block too.
int qel_surfacedata_init(uint32_t kind, const double* uv_min, const double* uv_max,
                         int32_t orientation, const QelSurfaceshapedata* shape, uint32_t id,
                         QelSurfacedata* out);
// The shape comes back as a byte copy; a stamped record answers the id copy
// of its stamp block.
int qel_surfacedata_get(const QelSurfacedata* rec, uint32_t* kind, double* uv_min, double* uv_max,
                        int32_t* orientation, QelSurfaceshapedata* shape, uint32_t* id);
// Stores a duplicate of `contours` (which takes over their edge-id arrays)
// and releases the old contour array with the edge-id arrays that the new
// one does not carry over. A stamped record also keeps the new handle in
// its contour copy.
int qel_surfacedata_contours_set(QelSurfacedata* rec, const QelContourdata* contours);
int qel_surfacedata_contours_get(const QelSurfacedata* rec, QelContourdata** contours);

// Writes 32 bits into the record's first field: a contour's traversal or a
// quilt's id.
int qel_contourdata_traversal_set(int32_t value, void* record);
// Stores a duplicate of `edge_ids`. The old array is not released (a
// contour handed out by a getter shares it with its face): a caller that
// replaces an array its record owns frees the old one first.
int qel_contourdata_edges_set(QelContourdata* rec, const int32_t* edge_ids);

// Reads the record's first field as 32 bits: the root's accuracy type, a
// contour's traversal, a quilt's id.
int qel_intf_data_accuracytype_get(const void* record, uint32_t* value);
// Reads the record's second field as one 64-bit word into *word (8 bytes):
// the root's accuracy (a double), or a contour's edge-id handle itself (not
// a copy).
int qel_intf_data_accuracy_get(const void* record, void* word);

// The quilt's face-pointer array, duplicated (the pointers, not the faces,
// which the quilt then owns). Setting does not release the old array, for
// the same reason as qel_contourdata_edges_set.
int qel_quiltdata_surfaces_set(QelQuiltdata* rec, QelSurfacedata* const* faces);
int qel_quiltdata_surfaces_get(const QelQuiltdata* rec, QelSurfacedata*** faces);

// ---- edges and datums ---------------------------------------------------------------

// `uv_curves` points to two curve pointers (either may be null) or is null.
// Each curve given is byte-copied into a new block owned by the edge (which
// takes over what the curve points to). -2 for a null record, face-id pair
// or direction pair; -10 when a block cannot be had (the record is then
// left zeroed and nothing is taken over).
int qel_edgedata_init(uint32_t id, const uint32_t* face_ids, const uint32_t* directions,
                      const QelUvSample* uv_points, QelCurvedata* const* uv_curves,
                      const QelCurvedata* xyz_curve, QelEdgedata* out);
// `uv_curves` points to two pointers to caller-provided curve records (a
// null one is skipped); `xyz_curve` is a caller-provided record. Each buffer
// receives a byte copy of the curve, or zeros with kind -1 when the edge has
// none. The UV points come back duplicated.
int qel_edgedata_get(const QelEdgedata* rec, uint32_t* id, uint32_t* face_ids, uint32_t* directions,
                     QelUvSample** uv_points, QelCurvedata* const* uv_curves,
                     QelCurvedata* xyz_curve);

// Writes the id, clears the name and copies at most 32 characters of `name`
// (may be null), copies the body (taken over); the type is stored only when
// it is 25, 62 or 176, else -2 (the rest is written, the type kept).
int qel_datumdata_init(uint32_t id, int32_t type, const char16_t* name, const QelDatumbody* body,
                       QelDatumdata* out);
// `name` receives exactly 32 characters (no terminator added).
int qel_datumdata_get(const QelDatumdata* rec, uint32_t* id, int32_t* type, char16_t* name,
                      QelDatumbody* body);
int qel_datumdata_frame_get(const QelDatumbody* src, QelFrame* dst);
int qel_datumdata_frame_set(const QelFrame* src, QelDatumbody* dst);

// ---- the root -----------------------------------------------------------------------
// Counts: 0 when the array does not exist.
int qel_intf_data_surface_count(const qel_intf_data* root, int32_t* count);
int qel_intf_data_quilt_count(const qel_intf_data* root, int32_t* count);
int qel_intf_data_edge_count(const qel_intf_data* root, int32_t* count);
int qel_intf_data_datum_count(const qel_intf_data* root, int32_t* count);
// Appends a byte copy of the record (see rule 5), making the array on first
// use with growth 5.
int qel_intf_data_surface_append(qel_intf_data* root, const QelSurfacedata* rec);
int qel_intf_data_quilt_append(qel_intf_data* root, const QelQuiltdata* rec);
int qel_intf_data_edge_append(qel_intf_data* root, const QelEdgedata* rec);
int qel_intf_data_datum_append(qel_intf_data* root, const QelDatumdata* rec);
// A new block holding a byte copy of entry `index` (see rule 4); -2 unless
// the array exists and 0 <= index < count.
int qel_intf_data_surface_get(const qel_intf_data* root, int32_t index, QelSurfacedata** out);
int qel_intf_data_quilt_get(const qel_intf_data* root, int32_t index, QelQuiltdata** out);
int qel_intf_data_edge_get(const qel_intf_data* root, int32_t index, QelEdgedata** out);
int qel_intf_data_datum_get(const qel_intf_data* root, int32_t index, QelDatumdata** out);
// The accuracy type is set with qel_curvedata_type_set.
int qel_intf_data_accuracy_set(qel_intf_data* root, double accuracy);
int qel_intf_data_outline_get(const qel_intf_data* root, double* outline6);
int qel_intf_data_outline_set(qel_intf_data* root, const double* outline6);

// ---- B-spline checks ------------------------------------------------------------------
// All take a kind-19 record (else -2) and use tol = 1e-9 x |last - first|
// of the knots. Knot counts are those of the knot array itself.
// Degree below 1: -2; 4 or more: -41; else 0.
int qel_bsplinedata_degree_check(const QelCurvedata* rec);
// At least 2 knots, none below its predecessor by more than tol.
int qel_bsplinedata_knots_check(const QelCurvedata* rec);
// At least degree + 1 knots; the first and last degree + 1 knots within tol
// of the first and last knot (degree 0 passes).
int qel_bsplinedata_ends_check(const QelCurvedata* rec);
// Fewer than 2 x degree + 2 knots: -2; otherwise every inner span from
// index degree to count - degree - 3 must be at least tol long.
int qel_bsplinedata_spans_check(const QelCurvedata* rec);

// ---- clear and free -------------------------------------------------------------------

// By kind: 12 and 19 free their arrays, 40 releases its block, 41 clears
// every component (the first failure is returned and the component array
// kept), 56 frees its owned curve. Then the kind becomes QEL_CURVE_CLEARED.
int qel_curvedata_clear(QelCurvedata* rec);
int qel_curvedata_free(QelCurvedata* rec);    // release on success
int qel_curvedata_release(QelCurvedata* rec); // release always

// By the surface kind given: 40-48 own arrays or curves, others nothing.
int qel_surfaceshapedata_clear(uint32_t kind, QelSurfaceshapedata* shape);
int qel_surfaceshapedata_free(uint32_t kind, QelSurfaceshapedata* shape);

// Clears the contours and the shape, then zeroes the record (a failing
// shape clear leaves the shape in place and is returned).
int qel_surfacedata_clear(QelSurfacedata* rec);
int qel_surfacedata_free(QelSurfacedata* rec);

int qel_contourdata_clear(QelContourdata* rec);
int qel_contourdata_free(QelContourdata* rec); // release always

// Frees every face (stops at the first failure, keeping the array with the
// faces not yet freed), frees the array, zeroes the record.
int qel_quiltdata_clear(QelQuiltdata* rec);
int qel_quiltdata_free(QelQuiltdata* rec);

// Frees the UV points and the three curves (the last failure is returned
// and that curve kept), zeroes the rest.
int qel_edgedata_clear(QelEdgedata* rec);
int qel_edgedata_free(QelEdgedata* rec);

// Type -1, 25, 176: nothing; 62: clears the body curve; other: -2.
int qel_datumdata_clear(QelDatumdata* rec);
int qel_datumdata_free(QelDatumdata* rec);

// Clears every datum, edge, quilt and face and frees the four arrays.
// Returns the first edge failure, else quilt, else face failure.
int qel_intf_data_clear(qel_intf_data* root);
int qel_intf_data_free(qel_intf_data* root); // release always

// ---- validity stamps ----------------------------------------------------------------------
// The process-wide stamping switch: 0 unless a test sets it (nothing in
// the library does). Not exported.
extern int32_t qel_stamping_switch;
int qel_stamping_enabled(void);
int qel_stamp_valid(const QelStampblock* block);
int qel_stamp_set(QelStampblock* block);
uint32_t qel_stamp_id_get(const QelStampblock* block);
int qel_stamp_id_set(QelStampblock* block, uint32_t value);
int qel_stamp_contours_set(QelStampblock* block, QelContourdata** contour_copy,
                           QelContourdata* handle);

} // extern "C"

// Switch for tests; exported only by a build with ZPI_TEST_HOOKS.
struct ZPI_TEST_HOOKS_API QelRecordTestHooks {
    // Sets qel_stamping_switch (0 or 1).
    static void SetStamping(int32_t on);
};

// An interface-data root owned until released, freed whole with
// qel_intf_data_free.
using QelIntfDataPtr = FreePtr<qel_intf_data, qel_intf_data_free>;
