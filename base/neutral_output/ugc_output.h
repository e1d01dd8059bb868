// base/neutral_output: the neutral serializer engine that writes records as
// text under a data dictionary. It uses runtime/, memory/, text/ and files/
// (its outputs are files and named buffers).
//
// Neutral serializer: a generic engine that writes in-memory records as
// text, guided by a static data dictionary (a table of ugc_dd_entry).
//
// Data dictionary
//   A record descriptor names a record and points at the array of its field
//   descriptors; a field descriptor gives the field's name, its type code,
//   the text written when the value is absent, its dimensions, its position
//   in the record (or an external storage address) and, for sub-records,
//   the descriptor data of the sub-record (fields, size, hooks).
//
// Type codes: low 4 bits are the base kind, the other bits say how it is
// held (UGC_* below). Base kinds: 0 sub-record (or nothing), 1 int32,
// 2 double, 3 narrow text, 5 int16, 10 wide text (UTF-16). Held as:
//   in place                    the value lies at the field position
//   UGC_PTR                     the field holds a pointer to the value
//   UGC_DYN                     the field holds an xar handle
//   UGC_DYN|UGC_PTR             xar of pointers to records
//   UGC_FIXED                   dims[0] x dims[1] values in place
//   UGC_FIXED|UGC_PTR           dims[0] pointers in place
//   UGC_HAR                     har handle of records by value
//   UGC_HAR|UGC_PTR             har handle of pointers to records
//   UGC_UNION                   union in place, member chosen by the selector
//   UGC_UNION|UGC_PTR           union by pointer, member chosen by the selector
//   UGC_EXTERNAL                the value lives at `external` when it is set
// The mark bit 2048 on a narrow text (2051) says that the field holds a
// pointer to a text of at most dims[0] bytes (a fixed-length text held by
// pointer); otherwise the mark bits 2048 and 4096 do not change what is
// written.
//
// Text format (format number 1404, one item per line, "\n" line ends)
//   First line:  NEUTRAL format <format> product <id> version <v> date <d>
//                (the product identity of file_set_default_prod_id).
//   Last line:   END   (written by ugc_close_output).
//   Each field is one item: indentation, the field name, one blank, the
//   value. Indentation is two blanks per nesting level; with the output
//   compression switch on, no indentation is written.
//     int32, int16     decimal: "revnum 0"
//     double           shortest text that reads back to the same value,
//                      locale-free (std::to_chars): "accuracy 0.001",
//                      "1e-07", "-0", "inf", "nan"
//     text             double-quoted UTF-8: "name \"A1\"". Escapes (HH,
//                      HHHH upper-case hex digits); every other character
//                      stands as it is:
//                        \" \\ \n \r \t   the quote, backslash, LF, CR, tab
//                        \xHH         the byte HH: any other byte below
//                                     0x20, 0x7F, and any byte that is not
//                                     part of a well-formed UTF-8 character
//                                     (a narrow text is written byte for
//                                     byte, whatever its encoding)
//                        \uHHHH       the UTF-16 unit HHHH of a wide text
//                                     that is a surrogate without its other
//                                     half (a wide text is written unit for
//                                     unit, whatever pairs it holds)
//                      Undoing the escapes gives the text back exactly:
//                      the bytes of a narrow text; the units of a wide text
//                      (its UTF-8 decoded, \xHH the unit 00HH, \uHHHH the
//                      unit HHHH).
//     fixed array      the values separated by blanks, row after row:
//                      "outline 0 0 0 1 1 1"
//     xar/har numbers  "[n]" then the n values: "edge_ids [3] 1 2 3"
//     xar text lines   "[n]" then the n quoted texts
//     record           "{", the fields one level deeper, "}" on its own line
//     records array    "[n] {", one item per element named "[i]" (a
//                      record, or NULL for a null pointer element), "}"
//     union            the member's name, one blank, the member's value:
//                      "curve line {" ... or "value i_val 5"
//     absent value     the default text of the descriptor ("NULL", "0.0",
//                      ...; nothing after the name when it is empty): a null
//                      pointer, an empty array, a union without a member
//   Comments (ugc_comment) are lines at the current indentation. A comment
//   that is UTF-8 without CR or LF is "#" followed by the text as it is:
//   "#PROTRUSION". Any other is "\#" followed by the text quoted and escaped
//   as a text value; the two lines "first" and "second" give the line
//       \#"first\nsecond"
//   No other line begins with a backslash, so neither form is taken for the
//   other.
//
// Robustness: arrays are walked by their real counts (xar_count,
// har_total); an array whose element size does not fit its descriptor, an
// unknown type code or nesting deeper than 256 levels writes the default,
// and the error is kept and reported by ugc_close_output. The engine is
// linear in the size of what it writes.
//
// Outputs are independent of each other: several may be written at once
// from different threads. The only process-wide values, the compression
// switch and the product identity, are read when an output is opened.
#pragma once

#include "btkstring.h"
#include "kcommon.h"
#include "zbase_export.h"

#include <cstdint>
#include <string>

enum : uint32_t {
    UGC_BASE_MASK = 0x0F,
    UGC_T_RECORD = 0,
    UGC_T_INT = 1,
    UGC_T_DOUBLE = 2,
    UGC_T_TEXT = 3,
    UGC_T_SHORT = 5,
    UGC_T_WTEXT = 10,
    UGC_DYN = 16,
    UGC_FIXED = 32,
    UGC_PTR = 1024,
    UGC_MARK = 2048,
    UGC_MARK2 = 4096,
    UGC_UNION = 8192,
    UGC_HAR = 65536,
    UGC_EXTERNAL = 262144,
};

// Statuses of the engine.
enum : int {
    UGC_OK = 0,
    UGC_BAD_ARG = -2,
    UGC_SCHEMA_ERROR = -3, // element size or type code does not fit
    UGC_IO_ERROR = -5,
};

struct ugc_output;
struct ugc_dd_entry;

// Run on a record just before / after it is written. `record` is null for
// an absent single sub-record (the hook decides whether that writes
// anything).
typedef void (*ugc_write_hook)(ugc_output* out, void* record);
// Run on entering a record, on a working copy of its field descriptors;
// may replace entries (ugc_replace_entry) or change them
// (ugc_find_dd_entry). The static table itself is never changed.
typedef void (*ugc_dict_hook)(ugc_dd_entry* fields, int count, ugc_output* ctx);
// Chooses the member descriptor of a union for the value (the union's
// address for an in-place union, the pointed-to record otherwise) and the
// record holding the union; null for none.
typedef const ugc_dd_entry* (*ugc_union_selector)(const void* value, const void* parent);

struct ugc_dd_entry {
    const char* name;
    uint32_t type;
    const char* default_text;
    int32_t dims[2];
    ugc_write_hook before_write;
    ugc_write_hook after_write;
    uint32_t record_size;
    const ugc_dd_entry* fields;
    int32_t field_count;
    ugc_dict_hook dict_hook;
    ugc_union_selector union_selector;
    void* external;
    uint32_t position;
};

inline namespace zbase_internal {
// Options of ugc_open_output_flags.
enum : int {
    // Written indented whatever the process-wide compression switch says.
    UGC_OPEN_UNCOMPRESSED = 1,
    // A file is put in place without waiting for the disk
    // (kkDurability::Unsynced): for a file that a peer reads at once.
    UGC_OPEN_UNSYNCED = 2,
};

// Opens the output. `path` is looked up first among the registered streams
// (ugc_register_stream), then among the named buffers (RegisterUnibuf: the
// file registered under that name), else it is a file path. `mode` must
// have the write bit (2) set. `options` are UGC_OPEN_* bits; the remaining
// arguments are reserved. Null when the output cannot be opened.
//
// A file is never written in place: the output goes to a temporary file
// beside it, which ugc_close_output puts in the file's place only when
// everything was written without error, and removes otherwise; the file
// that was there stays as it was until then, and after a failure. A path
// that exists and is not a regular file (a device, a fifo, a folder) is
// refused: null, nothing is written into it, it is never removed
// (base/files/kkatomicfile.h).
//
// A caller's stream whose Write throws has failed like one that answers
// short: the engine keeps UGC_IO_ERROR and lets no exception through any
// of its entry points.
ugc_output* ugc_open_output_flags(const char16_t* path, int mode, int format, int options, int a5,
                                  int a6, int a7, int a8, int a9);
// Writes `record` as one top-level item described by the record descriptor
// `dd`. 0, or the first error met (also kept for ugc_close_output).
ZBASE_API int ugc_writestruct(ugc_output* out, int flags, const ugc_dd_entry* dd, void* record,
                              int reserved);
// Writes one comment line. -2 for a null output.
ZBASE_API int ugc_comment(ugc_output* out, const char* text);
// Writes the last line, flushes, releases the user data, and frees the
// output; a file takes its target's place now, when nothing failed. 0 when
// everything was written; the kept error otherwise (-2 for null).
int ugc_close_output(ugc_output* out);

// State of one output that the hooks keep for the span of a write (so that
// several outputs can be written at once). Setting new data releases the
// old; ugc_close_output releases the last. `release` may be null.
typedef void (*ugc_release_fn)(void* data);
ZBASE_API void ugc_set_user_data(ugc_output* out, void* data, ugc_release_fn release);
// Null when none was set (or for a null output).
ZBASE_API void* ugc_get_user_data(ugc_output* out);

// The entry named `name` among `count` descriptors, or null.
ZBASE_API ugc_dd_entry* ugc_find_dd_entry(ugc_dd_entry* fields, int count, const char* name);
// Replaces the entry named `name` by a copy of `replacement` that keeps the
// entry's position and takes `new_name` (when not null) as its name.
// 0, or -2 when there is no such entry. `ctx` may be null.
ZBASE_API int ugc_replace_entry(ugc_dd_entry* fields, int count, const char* name,
                                const ugc_dd_entry* replacement, const char* new_name,
                                ugc_output* ctx);

// Process-wide switch: compressed output (here: no indentation). 0 at start.
// Read by ugc_open_output_flags; an output keeps what it read.
int get_compress_output_files(void);
void set_compress_output_files(int on);

// Product identity written in the first line of every output opened later.
ZBASE_API void file_set_default_prod_id(int product, int version, int datecode);

// Reports a system error as "-routine- message" on standard error.
ZBASE_API void dbg_err_syserr(const char* routine, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// As ugc_open_output_flags and ugc_close_output, saying why they failed:
// for a null output or a nonzero close, *why (when not null) receives the
// reason: the path and the system's text for a file ("cannot create
// \"...\": ..."), what the stream did for a caller's stream ("the stream's
// Write took -1 of 4096 bytes", "the stream's Write threw: ..."), the field
// for a record that does not fit the schema table.
ZBASE_API ugc_output* ugc_open_output_why(const char16_t* path, int mode, int format, int options,
                                          std::string* why);
ZBASE_API int ugc_close_output_why(ugc_output* out, std::string* why);

// Streams that the engine can write into by name (a caller's KCStream).
// The registry holds a reference; false for a null or empty name, a null
// stream or a name already taken.
ZBASE_API bool ugc_register_stream(const char16_t* name, KCStream* stream);
ZBASE_API bool ugc_unregister_stream(const char16_t* name);

// Resolves the field descriptors of records after their dictionary hooks,
// once per record descriptor, and keeps them for the cache's life.
class ugc_field_cache {
public:
    ZBASE_API ugc_field_cache();
    ZBASE_API ~ugc_field_cache();
    ugc_field_cache(const ugc_field_cache&) = delete;
    ugc_field_cache& operator=(const ugc_field_cache&) = delete;
    // Fields of the record described by `rd` (its own when it has no
    // dictionary hook); `*count` receives their number.
    ZBASE_API const ugc_dd_entry* fields(const ugc_dd_entry* rd, int* count, ugc_output* ctx);

private:
    struct Impl;
    Impl* impl_;
};
} // namespace zbase_internal
