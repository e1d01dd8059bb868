// base/process: process-wide services (environment, diagnostics and
// aborts, run mode, switches and counters) and the library's version stamp.
// It uses nothing else of base/.
//
// Process-wide services of the base library: the journaling switch, the
// session notification, message suppression, the file-location
// registrations and a live-object counter. Each keeps a count or a switch
// that tests can read and set.
#pragma once

#include "zbase_export.h"

#include <cstdint>

// Whether the call journal is on. Off unless a test or a host switches it.
ZBASE_API bool KGetZorvanJournaling();
ZBASE_API void KSetZorvanJournaling(bool on);

// Told once per process that a session exists.
ZBASE_API void NotifySessionCreated();
ZBASE_API int NotifySessionCreatedCalls();

ZBASE_API void disable_msg_put(int disable);
ZBASE_API bool msg_put_disabled();

// Registration of the kernel and "bnfs" file locations. For now they only
// count; the file-location layer fills them in.
ZBASE_API int uni_register_kernel_location();
ZBASE_API int uni_register_bnfs_location();
ZBASE_API int uni_register_kernel_location_calls();
ZBASE_API int uni_register_bnfs_location_calls();

// Environment lookup; null when the variable is not set.
ZBASE_API const char* btk_getenv(const char* name);
// The number that the whole of `text` spells (std::from_chars: decimal,
// a leading '-' but no '+'; the real one also takes fractions and an
// exponent), with blanks around it only when `blanksAround` (the C
// locale's blanks, whatever the locale). False, with
// `value` untouched, for null, empty or anything else, such as an integer
// out of range. The environment's numbers are read with this from the text
// of btk_getenv; each caller applies its own default and bounds.
ZBASE_API bool btk_number_from_text(const char* text, bool blanksAround, int& value);
ZBASE_API bool btk_number_from_text(const char* text, bool blanksAround, double& value);

// Diagnostics. _btkAbort prints "message (file:line)" to stderr and aborts.
[[noreturn]] ZBASE_API void _btkAbort(const char* message, const char* file, int line);
[[noreturn]] ZBASE_API void dbg_err_crash(const char* message);
// Prints the formatted text and one line end to standard error, unless
// messages are disabled (disable_msg_put, which a session does) and the run
// mode is 0: a nonzero run mode prints every diagnostic.
ZBASE_API void dbg_print_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Tells what no caller receives and must not go unnoticed (a failure of
// the library's own, a setting that is not taken as it stands): the
// formatted text and a line end on standard error in one write, whatever
// the run mode and the message switch.
ZBASE_API void btk_tell(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Run mode of the process: 0 is the ordinary one; a nonzero mode prints the
// diagnostics that are otherwise kept quiet (the neutral converter's
// messages among them) on standard error. It is switched by the environment
// variable named below, read once, at the first call: a decimal integer
// (surrounding blanks allowed); unset gives 0, and so does a set value that
// is anything else, which is then told in one line (btk_tell). An integer
// beyond the range of int gives the nearest one there is (nonzero, as the
// number it spells), told as out of range.
constexpr const char* ZBASE_RUN_MODE_VARIABLE = "ZORVAN_RUN_MODE";
ZBASE_API int get_run_mode();
// The run mode that the text of ZORVAN_RUN_MODE gives (null: unset). With
// `taken`, whether the text was taken as it stands (true for null).
ZBASE_API int run_mode_from_text(const char* text, bool* taken = nullptr);

// Counts xobjects alive in the process, so tests can show that nothing leaks
// and nothing is destroyed twice.
ZBASE_API int64_t xobject_live_count();
