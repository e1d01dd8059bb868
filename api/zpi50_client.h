// The client runtime of a translator: start-up and the job loop, the
// translator functions and their registration, the proxy of the host
// server (ZorvanProxy) with its requests, the translation options, and the
// host toolkit's C functions. Records and arrays that pass are the host
// toolkit's (qel_records.h), in memory from getmem and xar arrays (xmemory.h).
//
// A translator process:
//     int main(int argc, char** argv) {
//         if (!InitializeClient(argv[1]))      // "bnfs://host:port/"
//             return 1;                          // no host there
//         ZrRegisterExportTranslator(&myExport);
//         ZrRegisterImportTranslator(&myImport);
//         return RunClient() ? 0 : 1;            // runs the host's jobs
//     }
//
// Results. Request members and the host-toolkit functions answer 0 for
// success, the host's status when it answered another one (-1 when that is
// not a number), 100 when the request was not sent (no connection, a
// failed or timed-out exchange, a text argument holding a line feed, a
// wide text that is not whole UTF-16, a document or file that could not be
// written whole) or its reply not read (one holding a zero byte before its
// end, which would cut its texts short, told), -2 for a null record or handle that must be read, -1 for
// a host's text that is not UTF-8 where a wide text is handed back, and
// ZR_STATUS_TEXT_TOO_LONG when a text from the host does not fit the
// caller's buffer or its record's wide field. Rows of other kinds say so.
// No function throws to its caller.
//
// Time limits: every request's reply must arrive within the reply time
// limit (environment variable ZORVAN_REPLY_TIMEOUT, seconds, 300 by
// default); a request that runs out of time answers 100.
//
// Trust: the client's callback server listens on the loopback address and
// accepts any local process as the host.
#pragma once

#include "zpi50_export.h"
#include "zpi50_status.h"

#include "kpi_interfaces.h"
#include "qel_records.h"
#include "xhandle.h"
#include "xmemory.h"
#include "xobject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class BNFSConnection;
class btkString;
class ZrReply;
class ZrRequestText;
struct bnfsError;
struct ZrOptionEntry;

// ---- translator functions and start-up ---------------------------------------------

// Export and assembly-import translator: (argument count, arguments) -> a
// result the client does not use.
using ZrExportTranslatorFn = int (*)(int argc, char** const argv);
using ZrAssemImportTranslatorFn = int (*)(int argc, char** const argv);
// Part-import translator: (the model read from the host's document, its
// extension or null, argument count, arguments). Model and extension belong
// to the job: the extension is freed when the function returns.
using ZrImportTranslatorFn = int (*)(xrchandle<KWPIModel> model, qel_intf_data_extend* extension,
                                     int argc, char** const argv);

class ZorvanProxy;

// Connects to the host server at `serverUrl` ("bnfs://host:port/") and starts
// the callback server: the process's proxy, or a null handle when either
// failed, told in one line on standard error whatever the run mode
// ("\"garbage\" is not a bnfs://host:port/ URL", "cannot connect to
// \"127.0.0.1:1\" (\"bnfs://127.0.0.1:1/\"): Connection refused").
ZPI_API xrchandle<ZorvanProxy> ZrInitializeClient(const char* serverUrl);
// Registers with the host (request 111) and runs its jobs on this thread:
// false at once unless the last ZrInitializeClient succeeded (no host
// connection and callback server, so no job could come); false when the
// host did not take the registration (no reply within the reply time
// limit, connection closed, a status other than 0), told in one line on
// standard error with the host's URL and the reason; else runs until
// ZrRequestClientLoopStop and answers true (never returns otherwise).
ZPI_API bool ZrRunClient();
// Binds `function` as the export translator: false (nothing bound) unless
// the last ZrInitializeClient succeeded, else true; a later registration
// replaces it.
ZPI_API bool ZrRegisterExportTranslator(ZrExportTranslatorFn function);
// Binds `function` as the part-import translator; answers as above.
ZPI_API bool ZrRegisterImportTranslator(ZrImportTranslatorFn function);
// Binds `function` as the assembly-import translator; answers as above.
ZPI_API bool ZrRegisterAssemImportTranslator(ZrAssemImportTranslatorFn function);
// Ends the job loop after the job that runs now (at once when it waits), so
// that ZrRunClient returns: for a translator that ends by itself.
ZPI_API void ZrRequestClientLoopStop();
// Stops the callback server, waits for its thread and forgets the client and
// its pending job; call only after ZrRunClient has returned. For a program
// that goes on without its client: a translator that ends needs no call,
// the end of the process ends the client.
ZPI_API void ZrShutdownClient();

// Names under which the translator functions are bound and looked up.
constexpr const char* kZrExportTranslator = "ExportTranslator";
constexpr const char* kZrImportPartTranslator = "ImportPartTranslator";
constexpr const char* kZrImportAssemTranslator = "ImportAssemTranslator";

// Binds `function` under `name` (copied; case-sensitive), replacing an
// earlier binding of the name; a null name binds nothing.
ZPI_API void ZrBindFunction(const char* name, void* function);
// The function bound under `name`, or null.
ZPI_API void* ZrGetBoundFunction(const char* name);
// Forgets every binding.
ZPI_API void ZrInitBinding();

extern "C" {
// ZrInitializeClient for C: 1 when connected (the host-toolkit functions then
// send through its proxy), else 0 (told as ZrInitializeClient tells it).
ZPI_API int InitializeClient(const char* serverUrl);
// ZrRunClient for C: 0 when it answers false (no start-up, or the
// registration failed), 1 when the loop was stopped.
ZPI_API int RunClient();
// ZrRegisterExportTranslator for C: 1 when bound, 0 unless the last start-up
// succeeded.
ZPI_API int RegisterExportTranslator(ZrExportTranslatorFn function);
// Tells the host that the job has finished (request 108); failures are ignored.
ZPI_API void NotifyFinish();
}

// ---- sorted name map -------------------------------------------------------------

// Pairs {name, value} in ascending name order under a compare function, with
// an optional free function for every pair when the map is emptied; the
// store of the translation options and of the bound functions.
class ZPI_API ZrSortedMap {
public:
    using Compare = int (*)(const char* a, const char* b);
    using Free = void (*)(const char* key, void* value);

    // An empty map ordered by `compare`; `free` (may be null) runs on Clear.
    ZrSortedMap(Compare compare, Free free);
    // Clear().
    ~ZrSortedMap();
    ZrSortedMap(const ZrSortedMap&) = delete;
    ZrSortedMap& operator=(const ZrSortedMap&) = delete;

    // True when `key` is held (*index its position), else false (*index
    // where it would go); a null key is never held.
    bool Lookup(const char* key, size_t* index) const;
    // The value bound to `key`, or null.
    void* Find(const char* key) const;
    // Inserts {key, value} at `index` (as Lookup gave it); the key is not copied.
    void InsertAt(size_t index, const char* key, void* value);
    // Replaces the value at `index`.
    void SetValueAt(size_t index, void* value) { pairs_[index].value = value; }

    // Number of pairs.
    size_t Count() const { return pairs_.size(); }
    // Key of the pair at `index`.
    const char* KeyAt(size_t index) const { return pairs_[index].key; }
    // Value of the pair at `index`.
    void* ValueAt(size_t index) const { return pairs_[index].value; }

    // Runs the free function on every pair in order, then empties the map.
    void Clear();

private:
    struct Pair {
        const char* key;
        void* value;
    };
    std::vector<Pair> pairs_;
    Compare compare_;
    Free free_;
};

// ---- translation options ---------------------------------------------------------

// Named, typed options of one translation (from GetTranslationOptions). A
// name holds one value; names compare byte-wise, case-sensitively. Getters
// answer false and leave the output untouched when the name is missing or
// holds another type.
class ZPI_API ZrTranslationOptions {
public:
    // Option types.
    static constexpr uint32_t kInteger = 1;
    static constexpr uint32_t kDouble = 2;
    static constexpr uint32_t kString = 3;

    // An empty record.
    ZrTranslationOptions();
    ZrTranslationOptions(const ZrTranslationOptions&) = delete;
    ZrTranslationOptions& operator=(const ZrTranslationOptions&) = delete;
    // Frees every option (ClearMem).
    ~ZrTranslationOptions();

    // The integer option `name` into `value`: true when it exists as an integer.
    bool GetInteger(const char* name, int& value) const;
    // The double option `name` into `value`: true when it exists as a double.
    bool GetDouble(const char* name, double& value) const;
    // Copies the text option with its terminator into `buffer`, which must
    // hold it whole (see GetStringLength): true when copied; false for null.
    bool GetString(const char* name, char* buffer) const;
    // The same into `capacity` bytes: false, nothing written, when it does not fit.
    bool GetString(const char* name, char* buffer, size_t capacity) const;
    // Length of the text option without its terminator, or -1 when missing or not a text.
    int64_t GetStringLength(const char* name) const;
    // True for an integer not 0, a double not 0.0 (NaN counts), a text not empty.
    bool IsSet(const char* name) const;
    // Type of the option (kInteger, kDouble, kString), 0 when missing.
    uint32_t GetType(const char* name) const;
    // Number of options.
    int Count() const { return static_cast<int>(map_.Count()); }

    // Stores an integer under `name` (replacing its value and type): false for an
    // empty name or when memory runs out.
    bool SetInteger(const char* name, int value);
    // Stores a double; answers as SetInteger.
    bool SetDouble(const char* name, double value);
    // Stores a copy of the text; false also for an empty text.
    bool SetString(const char* name, const char* value);

    // Frees every option; the record is empty afterwards.
    void ClearMem();

private:
    const ZrOptionEntry* Find(const char* name) const;
    ZrOptionEntry* Bind(const char* name);

    ZrSortedMap map_; // copied name -> ZrOptionEntry*
};

// ---- records of the host toolkit's C interface --------------------------------------

// Status of a request whose reply text does not fit the caller's buffer (left untouched).
constexpr int ZR_STATUS_TEXT_TOO_LONG = ZPI_REQUEST_TEXT_TOO_LONG;

// Wide text units of a parameter value's text, terminator included.
constexpr int QEL_LINE_LEN = 80;

// Types of a parameter value.
constexpr int32_t QEL_PARAM_DOUBLE = 50;
constexpr int32_t QEL_PARAM_STRING = 51;
constexpr int32_t QEL_PARAM_INTEGER = 52;
constexpr int32_t QEL_PARAM_BOOLEAN = 53;
constexpr int32_t QEL_PARAM_NOTE_ID = 54;
constexpr int32_t QEL_PARAM_VOID = 57;

// A model or solid handle: a pointer to the host's 4-byte id (getmem(4), the
// caller frees it with rlsmem).
using QelMdl = int32_t*;
// A wide path buffer.
using QelPath = char16_t[QEL_PATH_LEN];
// A name as the toolkit's name lists hold it (64 bytes).
using QelName = char16_t[QEL_NAME_LEN];

// Model item: type, id, and the owning model's handle (or null).
struct QelModelitem {
    int32_t type;
    int32_t id;
    int32_t* owner;
};

// Owner of a parameter: kind 0 a model (its handle), kind 1 a model item.
struct QelParamOwner {
    int32_t kind;
    union {
        int32_t* model;
        QelModelitem item;
    } who;
};

// A parameter: type, wide name, owner.
struct QelParameter {
    int32_t type;
    char16_t name[QEL_NAME_LEN];
    QelParamOwner owner;
};

// A parameter value: its type (QEL_PARAM_...) and the value of that type.
struct QelParamvalue {
    int32_t type;
    union {
        double d_val;
        char16_t s_val[QEL_LINE_LEN];
        int32_t i_val;
        int16_t l_val;
    } value;
};

// External data: a class of a model (its handle and wide name).
struct QelExtdataClass {
    int32_t* model;
    char16_t name[QEL_NAME_LEN];
};

// External data: a slot of a class (its class, wide name and id).
struct QelExtdataSlot {
    QelExtdataClass* klass;
    char16_t name[QEL_NAME_LEN];
    int32_t id;
};

// Options of a part conversion (request 153): bits 0 to 2 of `flags` and the
// next two words are passed to the host.
struct qel_part_conversion_options {
    uint32_t flags;
    int32_t second;
    int32_t third;
};

// Extended options of a model conversion: the four integers and two doubles
// after the first member are passed to the host.
struct qel_model_conversion_options_ext {
    int64_t first;
    int32_t values[4];
    double reals[2];
};

// One argument of a displayed message: its type and a pointer to its value.
constexpr int32_t ZR_MSGARG_INT = 1;    // int32_t
constexpr int32_t ZR_MSGARG_DOUBLE = 2; // double
constexpr int32_t ZR_MSGARG_WIDE = 3;   // char16_t text
constexpr int32_t ZR_MSGARG_TEXT = 4;   // char text
constexpr int ZR_MESSAGE_MAX_ARGS = 10;
struct ZrMessageArg {
    int32_t type; // ZR_MSGARG_..., -1 for an unused slot
    const void* value;
};

// Display code of a new layer (request 188), passed as an integer.
using QelLayerDisplay = int32_t;

static_assert(sizeof(QelModelitem) == 16);
static_assert(offsetof(QelParameter, owner) == 72);
static_assert(sizeof(QelParameter) == 96);
static_assert(offsetof(QelParamvalue, value) == 8);
static_assert(sizeof(QelExtdataClass) == 72);
static_assert(sizeof(QelExtdataSlot) == 80);

// ---- the host's proxy -----------------------------------------------------------------

// The process's proxy of the host server: one connection to it, over which
// each member sends one request and reads its reply (results as said at the
// top). ZrInitializeClient makes and connects it; a translator reaches it
// through the handle that returned. One thread at a time sends through it.
// A closed connection is opened again before the next request; a request
// whose bytes went out is never sent twice.
class ZPI_API ZorvanProxy : public xobject {
public:
    // Empty host, port -1, no connection; sets up the process's file locations once.
    ZorvanProxy();
    // Closes the connection.
    ~ZorvanProxy() override;
    ZorvanProxy(const ZorvanProxy&) = delete;
    ZorvanProxy& operator=(const ZorvanProxy&) = delete;

    // Keeps `url` ("bnfs://host:port/...") with its host and port and connects
    // there (closing an earlier connection): true when connected; a URL
    // without host and port connects nowhere and keeps the old ones, one of
    // another scheme or without a port of 1..65535 connects nowhere either.
    // GetConnectFailure says why it failed.
    bool Connect(const char* url);
    // Why the last Connect failed, in one line with the URL or the host and
    // port ("" after a Connect that connected, and before any); the text
    // stays until the next Connect or the proxy's end.
    const char* GetConnectFailure() const;
    // Host and port of a server URL: the host between "//" and the second ':',
    // the port's leading digits (-1 when not in 0..65535); a URL with fewer
    // than two ':' leaves both as they were. Always true.
    static bool SplitServerUrl(const char* url, std::string& host, int32_t& port);

    // One raw exchange of the library's request members: true with the reply
    // text in `reply`, false (`error` says why) when it did not go out or fail.
    bool SendRequest(const char* request, btkString& reply, bnfsError& error);
    // One request of the library's members, reply parsed: 100 when not sent,
    // else the reply's status.
    int SendRequest(const ZrRequestText& request, ZrReply& reply);
    // Sends a request and leaves its reply unread: false when it did not go out.
    bool SendRequestNoReply(const ZrRequestText& request);

    // Host name of the server URL ("" before Connect).
    const char* GetHost() const { return host_.c_str(); }
    // Port of the server URL (-1 before Connect).
    int32_t GetPort() const { return port_; }
    // The server URL given to Connect.
    const char* GetServerUrl() const { return serverUrl_.c_str(); }
    // The connection (null until one was opened; it may be closed since).
    BNFSConnection* GetConnection() const { return connection_; }
    // True once a connection was opened.
    bool IsConnected() const { return connection_ != nullptr; }

    // ---- model and job requests

    // 101: a new model `name` of kind `value`; its id into *model.
    int CreateModel(const char* name, int value, int* model);
    // 102: places a component (a, b, the rows of its placement: rotation, then
    // translation; c); ids into *first and *second, both set to 0 on a non-zero status.
    int AssembleComponent(int a, int b, const double matrix[4][3], int c, int* first, int* second);
    // 103: hands interface data to the host as an import feature: writes
    // "zpi.neu" (import format 0) or "zpi.xml" (1) into the callback server's
    // memory (a local temporary folder with GG_TEMP_FILE set) and sends its path
    // with `value`, the entity's first integer (-1 for null) and the format; the
    // feature's id into *feature. 100 when the data is null or the file was not
    // written whole (nothing sent).
    int ImportQelIntfDataToFeature(int value, const int32_t* entity, const qel_intf_data* data,
                                   const qel_intf_data_extend* extension, int* feature);
    // 103 for a model: either format writes its interface data; format 1
    // writes a model without any (made in cache mode) from its objects.
    int ImportQelIntfDataToFeature(int value, const int32_t* entity, xrchandle<KWPIModel> model,
                                   const qel_intf_data_extend* extension, int* feature);
    // 104: reports an exception text (line feeds become blanks); failures ignored.
    void NotifyException(const char* text);
    // 108: tells the host the job has finished; failures ignored.
    void NotifyFinish();
    // 105: the current model of kind `value` into *model.
    int GetCurrentModel(int value, int* model);
    // 106: a new solid `name` of kind `value`; its id into *solid.
    int InitSolid(const char* name, int value, int* solid);
    // 107: ends the assembly `value`; the whole reply is the status.
    int TerminateAssembly(int value);
    // 109: whether model `name` of kind `value` is in use (the reply's number,
    // 0 when not a number); 1 when not sent.
    int IsModelUsed(int value, const char* name);
    // 111: registers the callback URL and process id: true when the host answered 0.
    bool RegisterClient(const char* callbackUrl, int processId);
    // 158: runs the host's post-import function with the arguments given.
    int PostImportFunction(int a, const char* text, int b, int c, int d, bool e);
    // 181: a new model for an interface import; its id into *model.
    int IntfimportModelCreate(const char* name, int a, int b, const char* secondName, int* model);
    // 182: the source type of an interface import into *type.
    int IntfimportSourceTypeGet(const char* name, int value, int* type);
    // Probes the host on a fresh connection of its own: true when it answered.
    bool IsServerAlive();

    // ---- host-toolkit requests (also reached through the C functions below)
    // Group B (135, 140, 147, 184): -5 is a success too (outputs filled, -5
    // answered). Group C (144, 169, 189): 1 is success, 0 when not sent.
    // Texts copied into a buffer must fit `capacity` bytes with the terminator.
    // 8-bit texts go out and come back as the bytes they are, unconverted.
    // The wide texts of records and values cross whole or not at all, as
    // the C functions' texts do (below), told without a function's name.

    // 113: the host's current folder into `buffer`.
    int QelDirectoryCurrentGet(char* buffer, size_t capacity = QEL_PATH_LEN);
    // 114: the name of `model` into `buffer`.
    int QelMdlNameGet(int model, char* buffer, size_t capacity = QEL_NAME_LEN);
    // 115: the type of `model` into *type.
    int QelMdlTypeGet(int model, int* type);
    // 116: the integer property `name` into *value.
    int QelTempPropertyIntGet(const char* name, int* value);
    // 117: the path property `name` into `buffer`.
    int QelTempPropertyPathGet(const char* name, char* buffer, size_t capacity = QEL_PATH_LEN);
    // 118: sets the integer property `name`; the whole reply is the status.
    int QelTempPropertyIntSet(const char* name, int value);
    // 119: sets the path property `name`; the whole reply is the status.
    int QelTempPropertyPathSet(const char* name, const char* path);
    // 120: resets the view of `model`.
    int QelViewReset(int model);
    // 121: the current window into *window (-1 on a non-zero status).
    int QelWindowCurrentGet(int* window);
    // 122: repaints `window`.
    int QelWindowRepaint(int window);
    // 123: the format text of the message `key` into `format`.
    int QelMessageFormatGet(const char* key, btkString& format);
    // 124: shows the message `key` of `file` with `count` (at most
    // ZR_MESSAGE_MAX_ARGS) typed arguments.
    int QelMessageShow(const char* file, const char* key, int count, const ZrMessageArg* args);
    // 125: clears the message area.
    int QelMessageClear();
    // 126: regenerates `solid` with `flags`.
    int QelSolidRegenerate(int solid, int flags);
    // 127: the slot names of a class: *count and a new xar of names (none for 0).
    int QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names);
    // 128: the external-data class names of `model`, as 127.
    int QelExtdataClassNamesList(int model, int* count, QelName** names);
    // 129: registers the class `name` of `model` into *klass.
    int QelExtdataClassRegister(int model, const char* name, QelExtdataClass* klass);
    // 130: creates the slot `name` of a class into *slot.
    int QelExtdataSlotCreate(const QelExtdataClass* klass, const char* name, QelExtdataSlot* slot);
    // 131: writes `value` into a slot; `type` 1 int32_t, 2 double, 3 char16_t
    // text, 4 char text (other types send no value).
    int QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value);
    // 132: the slot ids of a class: *count and a new xar of ids (count 0 on failure).
    int QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids);
    // 133: the model item of `model` into *item.
    int QelMdlToModelitem(int model, QelModelitem* item);
    // 134: the parameter `name` of `owner` into *param.
    int QelParameterInit(const QelModelitem* owner, const char* name, QelParameter* param);
    // 135 (group B): creates a read-only parameter of `owner` into *param.
    int QelParamReadonlyCreate(const QelModelitem* owner, const char* name, const QelParamvalue* value,
                               int flags, QelParameter* param);
    // 136: the value of `param` into *value.
    int QelParameterValueGet(const QelParameter* param, QelParamvalue* value);
    // 137: changes the value of a read-only parameter.
    int QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags);
    // 138: the number of coordinate systems of `model` into *count (-1 on failure).
    int QelGetNumofCsys(int model, int* count);
    // 139: the first coordinate system's id in a new host integer (caller frees).
    int QelGetFirstCsys(int model, int32_t** csys);
    // 140 (group B): the default coordinate system's id, as 139.
    int QelGetDefCsys(int model, int32_t** csys);
    // 147 (group B): the user's chosen coordinate system's id, as 139.
    int QelGetUserSelectCsys(int model, int32_t** csys);
    // 184 (group B): a new coordinate system's id, as 139.
    int QelCsysInit(int a, int b, int32_t** csys);
    // 141: the id of the coordinate system `csys` points to into *id.
    int QelCsysIdGet(const int32_t* csys, int* id);
    // 142: a model item of the three integers into *item.
    int QelModelitemInit(int a, int b, int c, QelModelitem* item);
    // 143: the number of features of `model` into *count (0 on failure).
    int QelSolidFeatCount(int model, int* count);
    // 144 (group C): the unit of a model: its type, name (into `name`) and factor.
    int QelGetModelUnit(int a, int b, int* type, char* name, double* factor,
                        size_t capacity = QEL_NAME_LEN);
    // 145: a coordinate system's matrix (four rows of three) into `matrix`.
    int QelGetCsysMatrix(int a, int b, double matrix[4][3]);
    // 146: the name of `item` into `buffer`.
    int QelModelitemNameGet(const QelModelitem* item, char* buffer, size_t capacity = QEL_NAME_LEN);
    // 148: whether model name `name` of kind `type` is used, into *used.
    int QelMdlNameIsUsed(const char* name, int type, int* used);
    // 169 (group C): sets the unit of a model.
    int QelSetModelUnit(int a, int b, int c);
    // 189 (group C): the accuracy of `model` into *accuracy (0.0 on a status 0).
    int QelGetModelAccuracy(int model, double* accuracy);

    // ---- document and file exchange requests

    // 153: the interface data of host model `model` as a new model (null when
    // the options are null, nothing was sent, or the document named was not
    // read or held no interface data: told in one line); its extension, if any,
    // into *extension (the caller frees it with impfeat_ext_free and rlsmem).
    xrchandle<KWPIModel> GetQelIntfData(int model, const qel_part_conversion_options* options,
                                        const qel_model_conversion_options_ext* extOptions,
                                        qel_intf_data_extend** extension);
    // 154: assembly information (free with AsmBasicInfoClean and rlsmem) and,
    // when `extension` is given, the interface-data extension: 0; 100 when not
    // sent, on a non-zero status or a document not read (its outputs null).
    int GetAssemblyInfo(int model, qel_model_basic_info** info, qel_intf_data_extend** extension);
    // 159: writes "assemInfo.xml" from `info` and sends its path with a, b, c, d:
    // the host's status; 100 for a null record or when not written or sent.
    int SendAssemblyInfo(int a, const qel_model_basic_info* info, int b, int c, double d);
    // 160: writes "atbLayers.xml" from an xar of layers and sends its path:
    // the host's status; 100 for a null array or when not written or sent.
    int SetAtbImportLayers(int a, const atb_import_layer* layers);
    // 161: the host's layer status as a new xar (free with FreeAtbImportLayers):
    // 0; 100 and null when not sent, on a non-zero status or a document not
    // read or without "Layers" (told in one line with its path).
    int GetAtbImportLayers(int a, atb_import_layer** layers);
    // 178: writes "TranslationLog.xml" from an xar of C texts (an entry may be
    // null) and sends its path: the host's status; 100 for a null array or
    // when not written or sent.
    int SendTranslationLog(const char* const* lines);
    // 179: colours a component (three, then six doubles).
    int SetComponentColor(int a, int b, const double first[3], const double second[6]);
    // 183: the translation options as a new record (the caller deletes it):
    // answers as 161.
    int GetTranslationOptions(ZrTranslationOptions** options, int a);
    // 185: has the host copy a file (first to second name).
    int CopyFileFromRemote(const char* first, const char* second);
    // 186: searches an image: 1 is success (its value into *value, -1 when not
    // a number), 0 when not sent.
    int HDICSearchImage(const char* name, int* value);
    // 187: puts a component on layer `name`.
    int SetComponentLayer(int a, int b, const char* name);
    // 188: creates layer `name` with its display code.
    int CreateLayer(int a, const char* name, QelLayerDisplay display, int c);
    // Frees an array that GetAtbImportLayers gave (null is ignored).
    static void FreeAtbImportLayers(atb_import_layer* layers);
    // Frees what GetAssemblyInfo's record holds (QelAsmBasicInfoClean).
    static int AsmBasicInfoClean(qel_model_basic_info* info);

private:
    std::string host_;
    int32_t port_ = -1;
    BNFSConnection* connection_ = nullptr;
    std::string serverUrl_;
};

// ---- the host toolkit's C functions ----------------------------------------------------
// Each sends its request through the proxy that InitializeClient set up
// (100 before it succeeded), converting wide texts (UTF-16) to the
// requests' UTF-8 and back. Names hold QEL_NAME_LEN wide units, paths
// QEL_PATH_LEN, both with the terminator. A function that makes a handle
// allocates its id with getmem(4); the caller frees it with rlsmem.
//
// A text crosses whole or not at all: it is never replaced or cut. A wide
// text that a function sends (an argument, a name or text value of a
// record it is given, a %w argument of a message) and that is not whole
// UTF-16 (it holds a lone surrogate) is refused where it is given: nothing
// is sent (QelMessageDisplay's %w arguments: nothing but the request for
// the message's format, which names them), the function answers 100, and
// one line on standard error names the function and the argument
// ("QelTempPropertyPathSet: nothing sent: the argument "path" is not
// whole UTF-16: it holds a lone surrogate (U+D800) at unit 7", "...: request
// 131 not sent: the slot's name is not whole UTF-16: ..."). A text that the
// host answers for a wide result (a text, or a name or text value of a
// record or list) is not handed back as another: one that is not UTF-8
// answers -1, one that does not fit ZR_STATUS_TEXT_TOO_LONG, and the output
// is left as it was (no list is made). A text that is not UTF-8, and a
// record's field that does not fit, is told in one line naming the
// function and the request, with the host's text quoted
// ("QelDirectoryCurrentGet: request 113: the host's current folder is not
// UTF-8, not handed back: "/home/W\xE4rme"").

extern "C" {
// The host's current folder into `path`.
ZPI_API int QelDirectoryCurrentGet(char16_t* path);
// A new solid `name` of `type` (request 106) into *solid.
ZPI_API int QelSolidInit(const char16_t* name, int type, QelMdl* solid);
// A new model `name` of `type` (request 101) into *solid.
ZPI_API int QelSolidCreate(const char16_t* name, int type, QelMdl* solid);
// Hands interface data over as an import feature of `model` (request 103);
// the feature's id into feature->id.
ZPI_API int QelImportfeatCreate_zpi(QelMdl model, const int32_t* entity, const qel_intf_data* data,
                                    const qel_intf_data_extend* extension, QelModelitem* feature);
// The current model of `type` into *model.
ZPI_API int QelObjCurGet(int type, QelMdl* model);
// The name of `model` into `name`.
ZPI_API int QelMdlNameGet(QelMdl model, char16_t* name);
// The type of `model` into *type.
ZPI_API int QelMdlTypeGet(QelMdl model, int* type);
// The integer property `name` into *value.
ZPI_API int QelTempPropertyIntGet(const char16_t* name, int* value);
// The path property `name` into `path`.
ZPI_API int QelTempPropertyPathGet(const char16_t* name, char16_t* path);
// Sets the integer property `name`.
ZPI_API int QelTempPropertyIntSet(const char16_t* name, int value);
// Sets the path property `name`.
ZPI_API int QelTempPropertyPathSet(const char16_t* name, const char16_t* path);
// Resets the view of `model`.
ZPI_API int QelViewReset(QelMdl model);
// The current window into *window.
ZPI_API int QelWindowCurrentGet(int* window);
// Repaints `window`.
ZPI_API int QelWindowRepaint(int window);
// Shows the message `key` of `file` with pointers to the values its format
// names (%0s a char text, %0w a char16_t text, %0d an int32_t, %0e/f/g a
// double; the digit is the argument's index): -1 when the format is unreadable.
ZPI_API int QelMessageDisplay(const char16_t* file, const char* key, ...);
// Clears the message area.
ZPI_API int QelMessageClear(void);
// Regenerates `solid` with `flags`.
ZPI_API int QelSolidRegenerate(QelMdl solid, int flags);
// The slot names of a class: *count and a new xar of names.
ZPI_API int QelExtdataSlotNamesList(const QelExtdataClass* klass, int* count, QelName** names);
// The external-data class names of `model`: *count and a new xar of names.
ZPI_API int QelExtdataClassNamesList(QelMdl model, int* count, QelName** names);
// Registers the class `name` of `model` into *klass.
ZPI_API int QelExtdataClassRegister(QelMdl model, const char16_t* name, QelExtdataClass* klass);
// Creates the slot `name` of a class into *slot.
ZPI_API int QelExtdataSlotCreate(const QelExtdataClass* klass, const char16_t* name, QelExtdataSlot* slot);
// Writes `value` (type 1 int32_t, 2 double, 3 char16_t text, 4 char text) into a slot.
ZPI_API int QelExtdataSlotWrite(const QelExtdataSlot* slot, int a, int type, int c, const void* value);
// The slot ids of a class: *count and a new xar of ids.
ZPI_API int QelExtdataSlotIdsList(const QelExtdataClass* klass, int* count, int32_t** ids);
// The model item of `model` into *item (its owner a new handle).
ZPI_API int QelMdlToModelitem(QelMdl model, QelModelitem* item);
// The parameter `name` of `owner` into *param.
ZPI_API int QelParameterInit(const QelModelitem* owner, const char16_t* name, QelParameter* param);
// Creates a read-only parameter of `owner` into *param (-5 is a success too).
ZPI_API int QelParamReadonlyCreate(const QelModelitem* owner, const char16_t* name,
                                   const QelParamvalue* value, int flags, QelParameter* param);
// The value of `param` into *value.
ZPI_API int QelParameterValueGet(const QelParameter* param, QelParamvalue* value);
// Changes the value of a read-only parameter.
ZPI_API int QelParamReadonlyModify(const QelParameter* param, const QelParamvalue* value, int flags);
// The number of coordinate systems of `model` into *count.
ZPI_API int QelGetNumofCsys(QelMdl model, int* count);
// The first coordinate system of `model` as a new id (caller frees).
ZPI_API int QelGetFirstCsys(QelMdl model, int32_t** csys);
// The default coordinate system of `model` as a new id (-5 is a success too).
ZPI_API int QelGetDefCsys(QelMdl model, int32_t** csys);
// The id of the coordinate system `csys` points to into *id.
ZPI_API int QelCsysIdGet(const int32_t* csys, int* id);
// A model item of the three integers into *item.
ZPI_API int QelModelitemInit(int a, int b, int c, QelModelitem* item);
// The number of features of `solid` into *count.
ZPI_API int QelSolidFeatCount(QelMdl solid, int* count);
// The matrix of coordinate system `id` of `model` (four rows of three) into `matrix`.
ZPI_API int QelGetCsysMatrix(QelMdl model, int id, double matrix[4][3]);
// The name of `item` into `name`.
ZPI_API int QelModelitemNameGet(const QelModelitem* item, char16_t* name);
// The user's chosen coordinate system of `model` as a new id (-5 is a success too).
ZPI_API int QelGetUserSelectCsys(QelMdl model, int32_t** csys);
// Whether model name `name` of `type` is used, into *used.
ZPI_API int QelMdlNameIsUsed(const char16_t* name, int type, int* used);

// Local functions (no request).
// UTF-8 `in` into `out` (strlen(in) + 1 units): `out`, or null for a null
// `out`; null too, with `out` an empty text, when `in` is not UTF-8 (told).
ZPI_API char16_t* QelStringToWstring(char16_t* out, const char* in);
// UTF-16 `in` into `out` (3 bytes a unit, plus 1): `out`, or null for a null
// `out`; null too, with `out` an empty text, when `in` is not whole UTF-16
// (told).
ZPI_API char* QelWstringToString(char* out, const char16_t* in);
// The point `in` times the 4x4 matrix (with translation) into `out` (may be
// `in`): 0, or -2 for a null pointer.
ZPI_API int QelPntTrfEval(const double in[3], const double matrix[4][4], double out[3]);
// The vector `in` times the matrix (without translation) into `out`: 0, or -2.
ZPI_API int QelVectorTrfEval(const double in[3], const double matrix[4][4], double out[3]);
// Stores `data` of `type` (QEL_PARAM_...; a text of at most QEL_LINE_LEN units)
// in *value: 0, or -2 for a null record, another type or a longer text.
ZPI_API int QelParamvalueSet(QelParamvalue* value, const void* data, int type);
// The type stored in *value into *type: 0, or -2 for a null pointer.
ZPI_API int QelParamvalueTypeGet(const QelParamvalue* value, int* type);
// Copies the value of `type` out of *value into `data`: 0, or -2 for a null
// pointer or a record of another type.
ZPI_API int QelParamvalueValueGet(const QelParamvalue* value, int type, void* data);
}
