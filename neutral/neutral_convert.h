// Conversion of a part's interface data (qel_intf_data) into a neutral part.
//
// The converter reads the interface data only through the record getters of
// kernel/records/qel_routines.h and builds every neutral record anew, so the
// interface data is never changed and may be freed afterwards. An item that
// fails is reported as a diagnostic and dropped (a surface that cannot be
// read or has no shape, a quilt left without surfaces, a datum curve that
// cannot be read) or kept incomplete (a shape or curve whose getter failed,
// an edge that cannot be read); the conversion goes on. Every record is
// attached to the part as soon as it exists, so whatever is made belongs
// to the part and nothing leaks on any path. The work is linear in the
// size of the interface data.
//
// Every diagnostic is handed to the message observer when one is set.
// What is left out of the part (an item dropped or kept incomplete, for
// whatever reason: a kind out of service, a getter that failed, memory),
// and a value that the part cannot carry as it stands and holds as another
// (an edge direction none of 1, -1 and 2, written as 1; a component
// direction none of 0 and 1; a face orientation none, written as
// positive; an accuracy kind undefined or of no name, written as
// absolute), is told once per conversion and kind of message on standard
// error, whatever the run mode (neut_tell): "<teller>: <item> was not
// converted whole: <message> (<routine>)", in the message of the first
// such item, naming it ("face 7", "datum 3 \"AXIS\"", "face 2 of quilt
// 5"), and how many more there were. The kinds are the converter's own,
// not the values met, so the lines are few whatever the data holds. The
// message about what the converter assumed where the data said nothing,
// keeping every value it was given (a contour's traversal none: the loop
// is kept, and a neutral loop holds no traversal), is printed as one line
// "-<routine>- <message>" (dbg_print_info) only when the run mode is
// non-zero (get_run_mode, set with the environment variable
// ZORVAN_RUN_MODE, base/process/process.h).
#pragma once

#include "api/qel_records.h"
#include "neutral/neutral_records.h"
#include "zpi50_export.h"

#include <string>

// cnv_qlk_neut is exported: api/qel_records.h declares it; its definition says
// what it does in detail.

// cnv_qlk_neut, telling what it left out under `teller` (the caller's name:
// "SaveAsNeutral"); cnv_qlk_neut tells under its own name. A null `teller`
// hands the lines to the observer alone (a fuzz harness, whose log they
// would fill).
int neut_convert_part(const qel_intf_data* data, neut_part** out, const char* teller);

// The first item of `data` that a neutral part cannot hold and that a
// neutral save refuses rather than leaving it out, named with its place:
// a ruled surface's composite curve ("face 7, its curve 2: a composite
// curve, which a ruled surface of a neutral part cannot hold"; a face of a
// quilt "quilt 30, face 3, ..."), since a neutral ruled surface holds two
// simple curves and the surface without one is no surface. Empty when
// there is none.
std::string neut_part_fault(const qel_intf_data* data);

extern "C" {

// Receives every diagnostic of the neutral converters with the routine name
// and the message text, whatever the run mode.
typedef void (*neut_message_observer)(const char* routine, const char* message, void* context);

// Sets the process-wide observer (null removes it).
void neut_set_message_observer(neut_message_observer observer, void* context);

// Hands one diagnostic to the converters' diagnostics (printed in a
// nonzero run mode, and given to the observer as above).
void neut_message(const char* routine, const char* message);
// Tells what no caller learns otherwise (what a save left out):
// "<routine>: <message>" on standard error whatever the run mode, and to
// the observer.
void neut_tell(const char* routine, const char* message);
}
