// The neutral schema table: the data dictionary that describes every record
// of a neutral part (neutral_records.h) for the serializer engine
// (base/neutral_output/ugc_output.h), with the functions the table points to.
//
// The table is static and read-only; dictionary hooks work on the engine's
// copies of field lists. Union members are named without parentheses
// ("line", "plane", "i_val", "NO_val").
#pragma once

#include "neutral/neutral_records.h"
#include "ugc_output.h"
#include "zpi50_export.h"

extern "C" {
// The two roots: a part, and the assembly form (assem_top and members).
const ugc_dd_entry* neutral_part_dd(void);
const ugc_dd_entry* neutral_assem_dd(void);

// Process-wide values that live outside the records: the relative
// accuracy (-1.0 at start; written as rel_accuracy) and the colour index
// (0 at start; written as color_ind of every element colour).
double* neutral_rel_accuracy(void);
int32_t* neutral_color_index(void);

// Union selectors, called with the union's value and the record holding it.
// Curve member by the curve record's own type: 1 point, 2 line, 3 arc,
// 12 spline, 19 b_spline, 30 and 58 ellipse; null otherwise.
const ugc_dd_entry* neutral_curve_member(const void* curve, const void* parent);
// Shape member by the parent surface's surface_type (34 ... 48); null
// otherwise (49 included).
const ugc_dd_entry* neutral_surface_member(const void* shape, const void* parent);
// Text colour member by the parent's method: 0, 1 color_type; 2 color_map.
const ugc_dd_entry* neutral_color_value_member(const void* value, const void* parent);
// Datum curve member by the parent's is_composite: 0 simple, else composite.
const ugc_dd_entry* neutral_datum_curve_member(const void* curve, const void* parent);
// Reference object member by the parent's type: 0 reference, 1 and 2
// collection.
const ugc_dd_entry* neutral_reference_member(const void* object, const void* parent);
// Symbol value member by the parent's type: 50 d_val, 51 s_val, 52, 54, 59
// i_val, 53 l_val; any other type is reported ("Invalid union member type =
// %d" under "symbol_value_fcn") and gives NO_val.
const ugc_dd_entry* symbol_value_fcn(const void* value, const void* parent);

// Faceted representation hooks: before writing, the links between
// vertices, vertex data and facets become element numbers (-1 for none or
// for an element that is not in this representation); after writing, the
// original pointers are put back. The saved pointers are kept with the
// output `out` (its user data, base/neutral_output/ugc_output.h), so writes on different
// outputs share nothing; a write cut short gets them back when its output
// is closed. A null output changes nothing.
void neutral_facets_to_numbers(ugc_output* out, void* rep);
void neutral_facets_to_pointers(ugc_output* out, void* rep);
}

// The hidden comment text that the hooks of descriptor `d` write before a
// record (see neutral_records.h), as an 8-byte word index 1..3; 0 when the
// descriptor writes no such comment.
int neutral_comment_word(const ugc_dd_entry& d);
