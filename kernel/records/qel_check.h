// What a model holds: the rules on curve kinds and B-spline weights that
// the object interface applies where objects are made, that the entries
// taking a caller's or a host's records apply (CreatePIModel_global, the
// hand-over of request 103), and that the document writers and reader
// share, so that what a writer writes reads back as the same model. Not
// part of the library's interface.
#pragma once

#include "api/qel_records.h"

#include <cstdint>
#include <string>

// Composite curves nest at most this deep in what a model holds (a
// composite directly in an edge or a datum is at depth 1): a document
// carries no deeper ones.
constexpr int QEL_MAX_HELD_CURVE_NESTING = 32;

// A curve of `kind` has an interface class and an element of its own:
// point, line, arc, spline, B-spline, ellipse and composite curve. Kinds
// 10, 40 and 56, a cleared curve and any other code have neither.
bool qel_curve_kind_held(uint32_t kind);

// A weight a B-spline (curve or surface) carries: a finite number, neither
// 0 nor subnormal.
bool qel_weight_ok(double weight);
// A control point coordinate kept multiplied by its weight (`stored`) that
// divides back out: the quotient is finite, and 0 only when `stored` is.
bool qel_weighted_coordinate_ok(double stored, double weight);

// The first weight of `count` that qel_weight_ok refuses ("weight 2 is 0: a
// weight must be a finite number, neither 0 nor subnormal"), then, when
// `points` is not null, the first of the `count` control points that does
// not divide back out of its weight ("control point 1 divided by its weight
// 0.5 is not finite"). Either array is an xar or a har, holding at least
// `count` items. Empty when there is none.
std::string qel_weights_fault(const QelPoint* points, const double* weights, int32_t count);

// The first item of `data` that no model holds, named with its place and
// the reason ("edge 7, its XYZ curve, component at index 1: a curve of kind
// 10, which has no interface class and no element of its own"); empty when
// there is none. Besides curve kinds and weights: what the record copy
// takes (spline parameters that increase, B-spline degrees of 1 and more
// and knots in order, arrays that hold what their counts say, composite
// curves with components, fillet heads that are splines, quilts without
// empty slots), faces of a surface kind with an element of its own (or of
// kind 0, no surface: an empty "Shape"), and datum names ended inside
// their field, without lone surrogates (kname::FieldFault). An edge's curve may be
// absent or cleared (it has none). Only reads; safe on records whose
// arrays disagree with their counts.
std::string qel_intf_data_fault(const qel_intf_data* data);
// The same for one item; a face within a quilt is named "quilt 30, face 3"
// (`within` "quilt 30").
std::string qel_face_fault(const QelSurfacedata& face, const std::string& within = std::string());
std::string qel_quilt_fault(const QelQuiltdata& quilt);
std::string qel_edge_fault(const QelEdgedata& edge);
std::string qel_datum_fault(const QelDatumdata& datum);

// The first entry of the extension's layers, reference colours, general
// attributes, units and item names whose name (a texture map's name and
// file name, an attribute's text) is at fault (kname::FieldFault), or an
// attribute whose value kind has no form in a document; empty when there
// is none.
std::string qel_intf_data_extend_fault(const qel_intf_data_extend* extension);

// How the checks name an item ("face 3", "quilt 30", "edge 7", "datum 9"),
// and an entry of the extension ("layer at index 1"): the writers name
// what they refuse the same way.
std::string qel_item_name(const QelSurfacedata& face);
std::string qel_item_name(const QelQuiltdata& quilt);
std::string qel_item_name(const QelEdgedata& edge);
std::string qel_item_name(const QelDatumdata& datum);
std::string qel_entry_name(const char* what, int index);
