// base/files: the file layers: the pfa layer over location kinds (pfa.h),
// the uni locations and their function layer (uniloc.h), named buffers
// (unibuf.h), writing a file beside its target (kkatomicfile.h), and
// opening only regular files, without blocking (kkfileio.h).
// It uses memory/ and text/.
//
// The pfa file layer of the base library: files named by pfa file records
// (a neutral path split into components) and reached through location
// kinds. Kind 0 is the local file system, handled by the layer itself; any
// other kind is served by a table of methods that its provider registers
// (pfa_loc_register_setup, pfa_loc_method_register). Kind 2 is the "uni"
// kind, whose methods the library's uni-location adapter supplies.
//
// Neutral texts are UTF-16 (char16_t). A neutral full name is at most
// PFA_NAME_MAX units with its terminator: the layer refuses to make a
// record whose full name would be longer, and every copy into a caller's
// buffer is bounded and never splits a surrogate pair. Native texts, which
// the uni layer takes, are UTF-8; mbxNeutToNative and mbxNativeToNeut
// convert between the two and refuse invalid input.
//
// A pfa file record holds:
//   components 0, 1, 2   the location texts (root, folder ending in '/',
//                        and a third that kinds may use), each optional;
//   name, type           "name.type" is the file's name;
//   instance             an optional extra part, written "<instance>";
//   version              0 for none, otherwise written ".N" after the type;
//   object type          -1 unknown, -4 pattern, -5 folder, -6 plain file,
//                        0 and above the host's own kinds;
//   application info     typed slots (appinfo_register_type);
//   content hints        open mode, retrieval mode and two values.
// Name masks select parts of a name: 1 root, 2 folder, 4 third component,
// 8 name, 16 type, 32 instance, 64 version; 127 is the whole name.
//
// The layer keeps process-wide tables (kinds, application-info types,
// notifications, sub classes, bound host functions) under a lock; a record
// and a stream are for one thread at a time.
#pragma once

#include "zbase_export.h"

#include <cstdint>

inline namespace zbase_internal {

enum { PFA_NAME_MAX = 260, PFA_MAX_SLOT = 100, PFA_MAX_KIND = 8 };

// Statuses of the layer's own functions (the methods of a kind answer their
// own statuses, which the layer passes on).
enum {
    PFA_OK = 0,
    PFA_FAIL = 1,
    PFA_NONE = 2,        // nothing there (no hints, no such file)
    PFA_END = 5,         // end of data
    PFA_BAD_ARG = 9,
    PFA_BAD_NAME = 11,   // a name that cannot be taken, converted or parsed
    PFA_NO_METHOD = 13,  // the file's kind has no method for this
    PFA_TOO_LONG = 15    // the name does not fit PFA_NAME_MAX
};

enum {
    PFA_MASK_ROOT = 1, PFA_MASK_FOLDER = 2, PFA_MASK_THIRD = 4, PFA_MASK_NAME = 8,
    PFA_MASK_TYPE = 16, PFA_MASK_INSTANCE = 32, PFA_MASK_VERSION = 64, PFA_MASK_ALL = 127
};

enum { PFA_OBJ_UNKNOWN = -1, PFA_OBJ_PATTERN = -4, PFA_OBJ_FOLDER = -5, PFA_OBJ_PLAIN = -6 };

struct pfa_file;
struct pfa_stream;
struct pfa_dir;

// ---- path conversion ------------------------------------------------------------------
// Both write at most `size` units with the terminator and answer 0 when the
// text fits, the size needed (terminator included, > 0) when it does not
// (nothing useful is written then), and -1 for a null argument or invalid
// input (a lone surrogate, malformed UTF-8).
ZBASE_API int mbxNeutToNative(const char16_t* neutral, char* native, int size);
ZBASE_API int mbxNativeToNeut(const char* native, char16_t* neutral, int size);
// Whether the uni layer takes neutral texts as they are; it takes UTF-8
// here, so this answers 0 unless switched. Inside the base library only.
int btkUnicodeIsEnabled(void);
void btkUnicodeSetEnabled(int on);

// ---- records --------------------------------------------------------------------------
ZBASE_API pfa_file* pfa_alloc_qel_file(void);
// Releases the application info (through its type's release function).
ZBASE_API void pfa_free_qel_file(pfa_file* file);
// Makes `target` a copy of `source` (application info copied through its
// type's copy function). 0, or 9 for a null argument.
ZBASE_API int pfa_copy_qel_file(const pfa_file* source, pfa_file* target);
// Empties the record as if newly allocated.
ZBASE_API void pfa_recycle_qel_file(pfa_file* file);

// Parses a neutral path into the record: the folder part (up to the last
// '/') is offered to each registered kind's "set location" method (slot 3)
// and taken by the first that accepts it, otherwise by kind 0; the rest is
// "name.type[.version]" (no name for a folder, object type -5, or a path
// ending in '/'). '*' and '?' are refused unless wildcards are enabled.
// 0, 11 for a name that cannot be parsed, 15 when it is too long.
ZBASE_API int pfa_parse_to_qel_file(pfa_file* file, const char16_t* path, int objType);
// The entry `name` of the folder record `dir` into `out`: a sub-folder
// (isDir nonzero) or a file of that folder, of the folder's kind.
ZBASE_API int pfa_parse_to_qel_file_private(pfa_file* out, const pfa_file* dir,
                                            const char16_t* name, int isDir);
ZBASE_API int enable_wild_card(void); // answers whether they were enabled before
ZBASE_API void disable_wild_card(void);
int pfa_wild_card_enabled(void);

// Names into a buffer of PFA_NAME_MAX units: 0, 9 for a null argument.
ZBASE_API int pfa_get_full_name(const pfa_file* file, char16_t* buffer);
ZBASE_API int pfa_get_file_name(const pfa_file* file, int mask, char16_t* buffer);
// Names keep their case in this layer, so this is pfa_get_file_name.
ZBASE_API int pfa_get_file_name_mixed_case(const pfa_file* file, int mask, char16_t* buffer);
// The location (components 0 to 2 joined); 2 when there is none.
ZBASE_API int pfa_get_location(const pfa_file* file, char16_t* buffer);
// Sets the location text as the kind's set-location method splits it (kind
// 0: the whole text is component 1) and makes the record a folder of that
// kind when it has no name. 0 or the method's status.
ZBASE_API int pfa_put_location(pfa_file* file, const char16_t* location, int kind);
// Component k (0 to 2) from `length` units of `text` (-1: up to its end).
// 15 when the whole name would no longer fit.
ZBASE_API int pfa_put_component_len(pfa_file* file, int k, const char16_t* text, int length,
                                    int flags);
// Component k into `buffer` of `size` units (cut on a character boundary):
// 0 when it fits, 15 when it was cut, 2 when the record has none.
ZBASE_API int pfa_get_component(const pfa_file* file, int k, char16_t* buffer, int size);
ZBASE_API int pfa_has_component(const pfa_file* file, int k);
int pfa_get_kind(const pfa_file* file); // -1 for null
void pfa_set_kind(pfa_file* file, int kind);
ZBASE_API int pfa_get_obj_type(const pfa_file* file);
ZBASE_API void pfa_set_obj_type(pfa_file* file, int type);
// 0 and the version (0 for none), or 9.
ZBASE_API int pfa_get_file_vers(const pfa_file* file, int* version);
int pfa_set_file_vers(pfa_file* file, int version);
int pfa_set_instance(pfa_file* file, const char16_t* instance);
ZBASE_API int pfa_is_dir(const pfa_file* file);
ZBASE_API void pfa_set_ui_hidden_flag(pfa_file* file, int hidden);
int pfa_get_ui_hidden_flag(const pfa_file* file);

// Content hints: 0, or 2 when the record has none.
int pfa_set_content_hints(pfa_file* file, int openMode, int retrMode, int64_t a, int64_t b);
ZBASE_API int pfa_get_content_hints(const pfa_file* file, int* openMode, int* retrMode,
                                    int64_t* a, int64_t* b);
// 0 with *has set; 9 for a null argument.
ZBASE_API int pfa_has_content_hints(const pfa_file* file, int* has);

// Version rules of the file's kind (pfa_loc_set_version_flags).
enum { PFA_VERS_NUMERIC = 1, PFA_VERS_STRING = 2, PFA_VERS_MULTIPLE = 4 };
ZBASE_API int pfaloc_allows_numeric_versions(const pfa_file* file);
ZBASE_API int pfaloc_allows_string_versions(const pfa_file* file);
ZBASE_API int pfaloc_allows_multiple_versions(const pfa_file* file);
void pfa_loc_set_version_flags(int kind, int flags);

// A content hint of the pfa layer (40 bytes): a kind and up to four values,
// which are numbers, a C text (kind 1) or a pfa_file* (kinds 2, 7 and 8).
struct pfa_hint {
    int64_t kind;
    int64_t value[4];
};

// ---- application info -----------------------------------------------------------------
typedef void (*appinfo_release_fn)(void* data);
typedef void* (*appinfo_copy_fn)(void* data);
struct pfa_appinfo {
    int32_t type;
    void* data;
};
// A new type id (0 and above); -1 when the table is full.
ZBASE_API int appinfo_register_type(appinfo_release_fn release, appinfo_copy_fn copy, int flags);
// The record's slot of that type; made (empty) when `create` is nonzero.
// The slot stays valid until the record is freed, recycled or copied into.
ZBASE_API pfa_appinfo* pfa_find_appinfo(pfa_file* file, int type, int create);

// ---- location kinds -------------------------------------------------------------------
// A method is stored as a generic pointer and called through the type of
// its calling form:
typedef void (*pfa_method)(void);
typedef int (*pfa_form0_fn)(pfa_file*);
typedef int (*pfa_form1_fn)(pfa_file*, pfa_file*);
typedef int (*pfa_form3_fn)(pfa_file*, int);
typedef int (*pfa_form4_fn)(pfa_file*, int);
typedef int (*pfa_form5_fn)(pfa_file*, int, void*);
typedef int (*pfa_form6_fn)(pfa_file*, void**);
typedef int (*pfa_form8_fn)(pfa_file*, void**, void*);
typedef int (*pfa_form9_fn)(pfa_file*, void**, int);
typedef int (*pfa_form10_fn)(pfa_file*, void**, void*, int64_t);
typedef int (*pfa_form12_fn)(pfa_file*, void**, const void*, int64_t, int);
typedef int (*pfa_form13_fn)(pfa_file*, void**, char16_t*, int, int);
typedef int (*pfa_form14_fn)(pfa_file*, void**, void*, int64_t, int64_t*);
typedef int (*pfa_form15_fn)(pfa_file*, void**, void*, void*, void*, int*);
typedef int (*pfa_form16_fn)(pfa_file*, void**, char16_t*, const char*, int);
typedef int (*pfa_form17_fn)(pfa_file*, void*);
typedef int (*pfa_form18_fn)(pfa_file*, void*, void*);
typedef int (*pfa_form19_fn)(pfa_file*, void*, void*, void*);
typedef int (*pfa_form20_fn)(pfa_file*, char16_t*, int, int);
typedef int (*pfa_form21_fn)(void**, void*);
typedef int (*pfa_form23_fn)(void*, int*);
typedef int (*pfa_form24_fn)(void*, void**, void**, void**);
typedef int (*pfa_form25_fn)(pfa_file*, int, void*, void*);
typedef int (*pfa_form27_fn)(pfa_file*, void**, void**, int*, int);
typedef int (*pfa_form28_fn)(void*);
typedef int (*pfa_form30_fn)(pfa_file*, int, int*, void*);
typedef int (*pfa_form31_fn)(pfa_file*, int, void*, void*, void*);
typedef int (*pfa_form32_fn)(pfa_file*, int, pfa_file*, void*, void*);
typedef int (*pfa_form33_fn)(void*, pfa_file*, char16_t*, void*, void*);
typedef int (*pfa_form34_fn)(pfa_file*, void*, void*, void*, void*, void*);
typedef int (*pfa_form35_fn)(pfa_file*, int, void*, void**);

// Opens (kind 1 to PFA_MAX_KIND-1: starts the kind's table afresh) or
// closes (0) the registration of a kind's methods. 0, or 9.
ZBASE_API int pfa_loc_register_setup(int kind);
// Stores the method of a slot (replacing an earlier one) while the kind is
// being set up. 0, or 9 for a bad kind, slot or form or a null method.
ZBASE_API int pfa_loc_method_register(int kind, int slot, int form, pfa_method method);
// The method of a slot and its form; null when there is none.
pfa_method pfa_loc_method_get(int kind, int slot, int* form);
// Whether the kind's registration was completed.
int pfa_loc_is_registered(int kind);

// Notifications: handlers get (code, first value, second value). Adding the
// same handler for the same code again changes nothing. Code 3 switches
// the folder cache: (3, scope, on).
typedef int (*pfa_notification_fn)(int code, int64_t arg1, int64_t arg2);
ZBASE_API int PfaNotificationAdd(int code, pfa_notification_fn handler, void* data, int flags);
// Calls the handlers of the code; answers how many were called.
int PfaNotify(int code, int64_t arg1, int64_t arg2);

// ---- streams --------------------------------------------------------------------------
// Open flags (as the host's C runtime numbers them).
enum { PFA_O_RDONLY = 0, PFA_O_WRONLY = 1, PFA_O_RDWR = 2, PFA_O_APPEND = 8,
       PFA_O_CREAT = 0x100, PFA_O_TRUNC = 0x200, PFA_O_EXCL = 0x400 };
// Opens the file named by a neutral path in UTF-8 (a uni path "name:/..."
// or a local one); null when it cannot be opened. A local file opened for
// writing with PFA_O_TRUNC (and not PFA_O_APPEND) is written anew beside
// its target: pfa_dispose renames it over the target when every write and
// the close succeeded, and otherwise removes only what this stream wrote,
// leaving the target as it was; a target that exists and is not a regular
// file (a device, a fifo, a folder) is refused (null) and left alone
// (kkatomicfile.h). With PFA_O_EXCL the file is put in place only when no
// file took the name meanwhile. Every other local open (reading, appending,
// writing in place) takes only a regular file and never blocks on a FIFO or
// device: anything else is refused (null) (kkfileio.h). A file of another
// kind is opened through the kind's open method with access 0 (reading),
// 1 (writing), 2 (reading and writing) or, for reading and writing with
// PFA_O_TRUNC, 3: a stream that starts empty while the file keeps what it
// held until the stream's bytes replace it (uniloc.h: UNI_REWRITE); a
// kind that does not take access 3 refuses the open, so such an open never
// empties a file before anything is written.
pfa_stream* pfa_open_file(const char* name, int flags, int perm);
// Opens a record's file with a C mode text ("r", "w", "a", with "+").
pfa_stream* pfa_fopen(const pfa_file* file, const char* mode);
// 0 with *count bytes read; 5 at the end; another status on failure.
int pfa_read_file(pfa_stream* stream, void* buffer, int64_t size, int64_t* count);
// Writes all `size` bytes: 0, or the failing status.
int pfa_write_file(pfa_stream* stream, const void* buffer, int64_t size);
int pfa_getc(pfa_stream* stream); // the byte, or -1
int pfa_fgets(pfa_stream* stream, char* buffer, int64_t size, int64_t* count);
int pfa_seek(pfa_stream* stream, int64_t position);
int pfa_tell(pfa_stream* stream, int64_t* position);
int pfa_flush(pfa_stream* stream);
// Closes and frees the stream: 0, or the close's status (PFA_FAIL for a
// file written anew that did not take its target's place).
int pfa_dispose(pfa_stream* stream);
const pfa_file* pfa_stream_file(const pfa_stream* stream);

// ---- folders and queries through a file's kind ----------------------------------------
// Lists the folder record: new records of its entries are appended to
// *records (an xar of pfa_file*, free with pfa_free_file_list); entries that
// cannot become records are counted in *skipped (when given). `flags` are
// the pfa list flags: 2 hidden entries, 4 folders, 32 files only, 1024 no
// cache. 0, or the failing status.
int pfa_list_dir(pfa_file* dir, int flags, void** records, int* skipped);
// Filter of a folder read: called with (folder record, neutral entry name,
// entry kind (0 file, 1 folder), context, 0); nonzero skips the entry.
typedef int (*pfa_dir_filter_fn)(pfa_file* dir, const char16_t* name, int kind, void* context,
                                 int flags);
void pfa_free_file_list(void** records);
// Each answers the kind's method status (13 when it has none).
int pfa_delete_file(pfa_file* file);
int pfa_make_dir(pfa_file* file);
int pfa_remove_dir(pfa_file* file);
int pfa_check_is_dir(pfa_file* file);     // 12 for a folder
int pfa_access(pfa_file* file, int mode); // 1 when accessible
int pfa_file_size(pfa_file* file, int64_t* size);
int pfa_get_property(pfa_file* file, int code, char** value);
int pfa_parent(pfa_file* source, pfa_file* target);

// A listing of neutral names made from native ones (pfa_alloc_dir takes an
// xar of UTF-8 texts; names that cannot be converted are left out).
ZBASE_API pfa_dir* pfa_alloc_dir(const void* nativeNames);
int pfa_dir_count(const pfa_dir* dir);
const char16_t* pfa_dir_name(const pfa_dir* dir, int index);
void pfa_free_dir(pfa_dir* dir);

// ---- small helpers of the file layer --------------------------------------------------
// A new copy (getmem) of a C text; null for null.
ZBASE_API char* mknewstr(const char* text);
// Frees an xar of char* and every text in it (relmem); sets it to null.
ZBASE_API void xar_str_free(void** array);
// Appends new copies of the texts to the xar *out of char* (made when null).
ZBASE_API int copy_string_array_to_xarray(const char* const* texts, int count, void** out);
// Appends new copies of `count` wide texts held in slots of `slotSize`
// units to the xar *out of char16_t*.
ZBASE_API int copy_wstring_array_to_xarray(const char16_t* slots, int count, int slotSize,
                                           void** out);
// Frees an xar of char16_t* and every text in it.
void xar_wstr_free(void** array);
// The id of a sub class name, given on first sight (1 and above); 0 for
// null or an empty name.
ZBASE_API int find_sub_class(const char* name);

// A calendar record (UTC) of a time in seconds since 1970.
struct vorn_tm {
    int32_t year;  // e.g. 2024
    int32_t month; // 1 to 12
    int32_t day;
    int32_t hour;
    int32_t minute;
    int32_t second;
};
ZBASE_API int vorn_gmtime(int64_t time, vorn_tm* out);

// Host functions bound by name: qel_call answers the bound function (null
// when unbound); qel_bind with a null function removes the binding.
typedef int (*qel_context_fn)(void* context);
int qel_bind(const char* name, qel_context_fn function);
ZBASE_API int qel_is_bound(const char* name);
ZBASE_API qel_context_fn qel_call(const char* name);

// Prints to the host's message stream (stdout unless a sink is set).
typedef void (*qel_print_sink)(const char* text);
ZBASE_API int qel_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void qel_set_print_sink(qel_print_sink sink);

// File status by a native path: 0 when it exists (size and folder flag
// given when asked), -1 otherwise.
int btk_stat(const char* path, int64_t* size, int* isDir);
} // namespace zbase_internal
