// Deep copies of host records: the copy shares no array, curve, face or
// element record with its source, and whoever receives it owns it (free it
// with the matching free routine of qel_routines.h).
//
// All return a status of qel_records.h and never throw. They stop at the
// first failure; B-spline statuses -41 and -42 and the profile status -43
// count as success, so that any record the host produced can be copied.
// On failure nothing is left behind: out-pointers are set to null, and a
// destination record given by the caller holds nothing to free (a curve
// then has kind QEL_CURVE_CLEARED).
#pragma once

#include "api/zpi50_export.h"
#include "api/qel_records.h"

#include "free_ptr.h"

#include <cstdint>

extern "C" {

// New xar of the source's elements (QelArrayAlloc with growth 1, then one
// block copy). -2 for a null argument or when the source's elements are not
// `elem_size` bytes.
int qel_array_copy(const void* src, void** out, int32_t elem_size);

// Curve of kind 1, 2, 3, 10, 12, 19, 30 or 41 into `dst` (overwritten, not
// cleared first); any other kind, a cleared curve included, gives -2.
int qel_curve_copy(const QelCurvedata* src, QelCurvedata* dst);
// New array of components, each curve deep-copied.
int qel_component_array_copy(const QelComponentcurvedata* src, QelComponentcurvedata** out);
// Shape of surface kind 34, 36-38, 40-45 or 48 into `dst`; other kinds -2.
// A ruled surface's composite curve is copied (qel_rulsrfdata_init refuses
// it with -44; a document carries it in full).
int qel_shape_copy(uint32_t kind, const QelSurfaceshapedata* src, QelSurfaceshapedata* dst);
// New array of contours with their own edge-id arrays.
int qel_contour_array_copy(const QelContourdata* src, QelContourdata** out);

// New records (free them with qel_surfacedata_free and its kin). A face of
// a kind without a shape record (35, 39, 46, 47, or 0 for an unknown kind)
// is copied with its kind and a zeroed shape; it has no surface object.
int qel_face_copy(const QelSurfacedata* src, QelSurfacedata** out);
int qel_edge_copy(const QelEdgedata* src, QelEdgedata** out);
int qel_quilt_copy(const QelQuiltdata* src, QelQuiltdata** out);
// Body of a datum of `type` into `dst`: -1 for a type other than 25, 62, 176.
int qel_datum_body_copy(int32_t type, const QelDatumbody* src, QelDatumbody* dst);
int qel_datum_copy(const QelDatumdata* src, QelDatumdata** out);
// The whole interface data: faces, edges, quilts, datums, then accuracy and
// outline. Free the copy with qel_intf_data_free.
int qel_intf_data_copy(const qel_intf_data* src, qel_intf_data** out);

// Faceted representation into a caller-given record: id, outline and three
// new element arrays (har of pointers, growth 100) of new element records.
// Whatever `dst` held is overwritten, not freed; on failure it holds nothing.
int qel_facetedrep_copy(const QelFacetedRepdata* src, QelFacetedRepdata* dst);
// Releases the three element arrays and their element records; the record
// itself stays. Each array word becomes null.
int qel_facetedrep_clear(QelFacetedRepdata* rep);
// Clears every representation of a har of them, then frees the har; the
// handle becomes null.
int qel_facetedrep_array_free(void** reps);

// Zeroes `dst`, then fills it with a deep copy of every array of the
// source's words 1 to 16 (the annotation records of words 10 to 16 with
// every record, array and text they own); words 17 and 18 are copied as
// they stand. -2 for an array whose elements are not of its layout's size,
// -10 when memory runs out; on any failure `dst` is left zeroed. -2 for a
// null argument or a record copied onto itself (which is left as it is).
int qel_intf_data_extend_copy(const qel_intf_data_extend* src, qel_intf_data_extend* dst);
// Frees an extension record block from getmem: its arrays, then the block.
void qel_intf_data_extend_block_free(qel_intf_data_extend* block);

} // extern "C"

// The copies of one item that a model's list getters make: as the copies
// above, but values that the record routines refuse, and that a document
// may hold as earlier versions wrote them (the reader reads them as they
// stand, see qel_check.h), are copied as they stand: spline parameters
// that do not increase, or none at all (also a fillet surface's), a B-spline of degree
// below 1 or with knots out of order (when its arrays hold its counts), a
// surface of revolution's or a ruled surface's curve of a kind the surface
// does not take. Whatever the model reads is handed out whole, and the
// objects that hold such a record pass it on as it stands (to another
// object or model); the writers refuse it, naming it.
int qel_curve_copy_as_read(const QelCurvedata* src, QelCurvedata* dst);
int qel_shape_copy_as_read(uint32_t kind, const QelSurfaceshapedata* src, QelSurfaceshapedata* dst);
int qel_face_copy_as_read(const QelSurfacedata* src, QelSurfacedata** out);
int qel_edge_copy_as_read(const QelEdgedata* src, QelEdgedata** out);
int qel_quilt_copy_as_read(const QelQuiltdata* src, QelQuiltdata** out);
int qel_datum_copy_as_read(const QelDatumdata* src, QelDatumdata** out);

// An extension record block owned until released.
using QelExtendBlockPtr = FreePtr<qel_intf_data_extend, qel_intf_data_extend_block_free>;

// Typed form of qel_array_copy.
template <class T> inline int qel_array_copy(const T* src, T*& out) {
    void* p = nullptr;
    const int st = qel_array_copy(src, &p, int32_t(sizeof(T)));
    out = static_cast<T*>(p);
    return st;
}
