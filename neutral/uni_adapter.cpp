#include "neutral/uni_adapter.h"

#include "btk_quoted.h"
#include "btkstring.h"
#include "process.h"
#include "uniloc.h"
#include "xmemory.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- statuses and process-wide state --------------------------------------------------

enum {
    kOk = 0,
    kFail = 1,
    kNotFound = 2,
    kNoOwner = 3,
    kEnd = 5,
    kBadArg = 9,
    kBadName = 11,
    kIsDir = 12,
    kEmptyParent = 14,
    kTxnCloseFailed = 17,
    kListing = 19
};

constexpr int kNameMax = PFA_NAME_MAX;               // neutral names, in UTF-16 units
constexpr int kNativeMax = int(kUniMaxPath) + 1;     // native names from the uni layer
constexpr int kMaxListed = 4096;                     // detail configurations or categories

// Application-info type of the uni handles; all bits set until registered.
int32_t g_handleType = -1;

// Process-wide name buffers of the neutral-data, subclass and category
// methods, and the class name that the subclass method receives.
char16_t g_fullName[kNameMax];
char g_className[kNameMax];

// Host functions answering the open box, looked up once.
bool g_openBoxLooked = false;
qel_context_fn g_openBox[6] = {};
const char* const kOpenBoxNames[6] = {"OpenBoxIsForWriting",  "OpenBoxIsForDirSelection",
                                      "OpenBoxIsForBackup",   "OpenBoxIsSaveAs",
                                      "OpenBoxWantsDiskOnly", "OpenBoxDoesNotWantLarkspur"};
bool g_outputTypeLooked = false;
qel_context_fn g_outputType = nullptr;

void report(const char* routine, const std::string& message) {
    dbg_print_info("-%s- %s", routine, message.c_str());
}

// ---- path conversion ------------------------------------------------------------------

// The native form of a neutral text (and back): into a 260-unit buffer
// first, then into one of the size the conversion asks for. The uni layer
// here takes UTF-8 in both unicode modes, so the unchanged text is its
// UTF-8 spelling, made by the same strict conversion.
template <class From, class To>
bool convertText(const From* text, std::basic_string<To>& out, int (*convert)(const From*, To*, int)) {
    if (!text)
        return false;
    To local[260];
    int st = convert(text, local, 260);
    if (st == 0) {
        out = local;
        return true;
    }
    if (st < 0)
        return false;
    std::vector<To> big(static_cast<size_t>(st));
    if (convert(text, big.data(), st) != 0)
        return false;
    out = big.data();
    return true;
}

bool toNative(const char16_t* neutral, std::string& out) {
    return convertText(neutral, out, mbxNeutToNative);
}

bool toNeutral(const char* native, std::u16string& out) {
    return convertText(native, out, mbxNativeToNeut);
}

// Copies a neutral text into a caller's buffer of `size` units, cut on a
// character boundary.
void copyNeutral(const std::u16string& text, char16_t* out, int size) { wsncpy(out, text.c_str(), size); }

// The native form of a name that a pfa query answering `got` wrote. `st`
// receives the pfa status, or 11 for a failed conversion.
bool nameNative(int got, const char16_t* name, std::string& native, int& st) {
    st = got;
    if (st != 0)
        return false;
    if (!toNative(name, native)) {
        st = kBadName;
        return false;
    }
    return true;
}

// Name of the file: its full name, its components under a mask (all by
// default) or its location; then native.
bool fullNative(pfa_file* file, std::string& native, int& st, char16_t* buffer = nullptr) {
    char16_t local[kNameMax];
    char16_t* name = buffer ? buffer : local;
    return nameNative(pfa_get_full_name(file, name), name, native, st);
}

bool componentsNative(pfa_file* file, std::string& native, int& st, int mask = PFA_MASK_ALL) {
    char16_t name[kNameMax];
    return nameNative(pfa_get_file_name(file, mask, name), name, native, st);
}

bool locationNative(pfa_file* file, std::string& native, int& st) {
    char16_t name[kNameMax];
    return nameNative(pfa_get_location(file, name), name, native, st);
}

// Calls f with the native components of the file: the naming status when
// they cannot be had, else kOk or kFail as f succeeds or not.
template <class F> int onComponents(pfa_file* file, F f) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return st;
    return f(native.c_str()) ? kOk : kFail;
}

uni_stream* streamOf(void** stream) { return stream ? static_cast<uni_stream*>(*stream) : nullptr; }

// ---- components -----------------------------------------------------------------------

int componentSetter(void* target, const char* const texts[3]) {
    auto* file = static_cast<pfa_file*>(target);
    for (int k = 0; k < 3; ++k) {
        if (!texts[k])
            continue;
        std::u16string neutral;
        if (!toNeutral(texts[k], neutral))
            return kBadName;
        const int st = pfa_put_component_len(file, k, neutral.c_str(), int(neutral.size()), 0);
        if (st != 0)
            return st;
    }
    return 0;
}

int componentGetter(void* source, char16_t texts[3][260]) {
    auto* file = static_cast<pfa_file*>(source);
    for (int k = 0; k < 3; ++k) {
        texts[k][0] = 0;
        // A component that does not fit whole would name another place.
        if (pfa_has_component(file, k) && pfa_get_component(file, k, texts[k], 260) != 0)
            return kBadName;
    }
    return 0;
}

void storeHandle(pfa_file* file, pfa_appinfo* slot, uni_handle* handle) {
    (void)file;
    if (slot->data && slot->data != handle)
        uni_handle_on_release(slot->data);
    slot->data = handle;
}

// ---- mappings -------------------------------------------------------------------------

bool fOrG(char16_t c) { return c == u'f' || c == u'F' || c == u'g' || c == u'G'; }
bool isG(char16_t c) { return c == u'g' || c == u'G'; }

char16_t firstOfName(pfa_file* file) {
    char16_t name[kNameMax];
    return pfa_get_file_name(file, PFA_MASK_ALL, name) == 0 ? name[0] : 0;
}

} // namespace

extern "C" {

int unifs_appinfo_type(void) { return g_handleType; }

int unifs_open_mode(int flags) {
    if (flags & 8)
        return 5;
    static const int modes[8] = {1, 1, 2, 3, 4, 6, -1, -1};
    return modes[flags & 7];
}

int pfa_to_uni_retrmode(int bits) {
    int mode = 0;
    if (bits & 1)
        mode |= 1;
    if (bits & 2)
        mode |= 2;
    if (bits & 4)
        mode |= 4;
    if (bits & 8)
        mode |= 0x400;
    // An unknown bit is reported; the known ones still count.
    if (bits & ~15)
        report("pfa_to_uni_retrmode", "unknown retrmode flag");
    return mode;
}

int unifs_dir_open_flags(int f) {
    int base;
    if ((f & 4) && (f & 32))
        base = 9;
    else if (f & 4)
        base = 10;
    else if (f & 32)
        base = 1;
    else
        base = 2;
    if (f & 1024)
        base += (f & 2) ? 48 : 32;
    else if (f & 2)
        base += 16;
    return base;
}

int unifs_access_mode(int mode) { return mode & 7; }

int unifs_mode_text_access(const char* mode, char16_t first, int* mustExist) {
    if (mustExist)
        *mustExist = 0;
    if (!mode)
        return 0;
    const bool r = std::strchr(mode, 'r') != nullptr;
    const bool w = std::strchr(mode, 'w') != nullptr;
    const bool a = std::strchr(mode, 'a') != nullptr;
    const bool plus = std::strchr(mode, '+') != nullptr;
    if (w && !r)
        return plus && fOrG(first) ? 2 : 1;
    if (a && !r && !w)
        return isG(first) ? (plus ? 10 : 9) : 0;
    if (r && w)
        return 2;
    if (r && plus) {
        if (fOrG(first)) {
            if (mustExist)
                *mustExist = 1;
            return 2;
        }
        return 0;
    }
    return 0;
}

int unifs_openbox_options(void* context) {
    if (!g_openBoxLooked) {
        for (int i = 0; i < 6; ++i)
            if (qel_is_bound(kOpenBoxNames[i]))
                g_openBox[i] = qel_call(kOpenBoxNames[i]);
        g_openBoxLooked = true;
    }
    if (!context)
        return 0;
    auto asks = [&](int i) { return g_openBox[i] && g_openBox[i](context) != 0; };
    int mask = 0;
    if (asks(0))
        mask |= 1;
    if (asks(1))
        mask |= 2;
    if (asks(2))
        mask |= 4;
    if (asks(3))
        mask |= 8;
    if ((mask & 1) && !(mask & 4) && !(mask & 8))
        mask |= 16;
    if (asks(4))
        mask |= 32;
    if (asks(5))
        mask |= 64;
    return mask;
}

uni_handle* unifs_get_uni_handle(pfa_file* file, int create) {
    if (!file)
        return nullptr;
    pfa_appinfo* slot = pfa_find_appinfo(file, g_handleType, 0);
    if (slot && slot->data)
        return static_cast<uni_handle*>(slot->data);
    if (!create)
        return nullptr;
    char16_t name[kNameMax];
    if (pfa_get_full_name(file, name) != 0) {
        report("unifs_get_uni_handle", "can't get name");
        return nullptr;
    }
    std::string native;
    if (!toNative(name, native))
        return nullptr;
    uni_handle* handle = nullptr;
    if (!uni_is_unilocation(native.c_str(), &handle)) {
        report("unifs_get_uni_handle", "not unilocation " + btkQuoted(native));
        return nullptr;
    }
    slot = pfa_find_appinfo(file, g_handleType, 1);
    if (!slot) {
        report("unifs_get_uni_handle", "no appinfo");
        uni_handle_on_release(handle);
        return nullptr;
    }
    storeHandle(file, slot, handle);
    return handle;
}

} // extern "C"

namespace {

// ---- locations ------------------------------------------------------------------------

// 3: the folder part of a neutral path becomes the file's location.
int unifs_set_location(pfa_file* file, void* pathArg, void* consumedArg, void*) {
    const auto* path = static_cast<const char16_t*>(pathArg);
    auto* consumed = static_cast<int*>(consumedArg);
    if (!path || !consumed)
        return kBadArg;
    std::string native;
    if (!toNative(path, native))
        return kBadArg;
    int used = 0;
    if (uni_handle* handle = unifs_get_uni_handle(file, 0)) {
        if (!uni_set_location(native.c_str(), file, handle, &used, componentSetter))
            return kBadArg;
    } else {
        uni_handle* fresh = nullptr;
        if (!uni_is_unilocation(native.c_str(), &fresh))
            return kBadArg;
        if (!uni_set_location(native.c_str(), file, fresh, &used, componentSetter)) {
            uni_handle_on_release(fresh);
            return kFail;
        }
        pfa_appinfo* slot = pfa_find_appinfo(file, g_handleType, 1);
        if (!slot) {
            uni_handle_on_release(fresh);
            return kFail;
        }
        storeHandle(file, slot, fresh);
    }
    // The native count becomes a count of neutral units: the neutral length
    // less that of the rest not taken.
    if (used < 0 || size_t(used) > native.size())
        return kFail;
    std::u16string rest;
    if (!toNeutral(native.c_str() + used, rest))
        return kFail;
    *consumed = wslen(path) - int(rest.size());
    return kOk;
}

// 4: the file's location text.
int unifs_get_location(pfa_file* file, char16_t* buffer, int size, int flags) {
    if (!uni_get_location(buffer, file, flags, size, componentGetter))
        return kBadArg;
    if (unifs_get_uni_handle(file, 0))
        return kOk;
    std::string native;
    if (!toNative(buffer, native) || !uni_is_unilocation(native.c_str(), nullptr))
        return kBadArg;
    return kOk;
}

// 5: as 4, with the handle made on demand.
int unifs_get_location_made(pfa_file* file, char16_t* buffer, int size, int flags) {
    if (!unifs_get_uni_handle(file, 1) || !uni_get_location(buffer, file, flags, size, componentGetter))
        return kBadArg;
    return kOk;
}

// ---- streams --------------------------------------------------------------------------

int unifs_getc(pfa_file*, void** stream) {
    unsigned char c = 0;
    int64_t n = 0;
    if (!uni_read(streamOf(stream), &c, 1, &n) || n == 0)
        return -1;
    return c;
}

int unifs_ungetc(pfa_file*, void** stream, int c) {
    if (c == -1) {
        report("unifs_ungetc", "EOF pushed back");
        return -1;
    }
    return uni_ungetc(streamOf(stream), c) ? c : -1;
}

int unifs_print(pfa_file*, void** stream) {
    if (streamOf(stream))
        qel_printf("     PfaUniStream\n");
    return kOk;
}

// Common core of the two open methods.
int openCore(pfa_file* file, void** stream, char16_t* nameBuffer, int access, int pfaMode) {
    if (!stream)
        return kBadArg;
    char16_t local[kNameMax];
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st, nameBuffer ? nameBuffer : local))
        return st;
    const int mode = unifs_open_mode(pfaMode);
    const int create = (mode == 1 || mode == 5 || mode == 6) ? 1 : 0;
    uni_stream* opened = uni_open(native.c_str(), access & 11, create);
    if (!opened)
        return kFail;
    *stream = opened;
    return kOk;
}

int unifs_open(pfa_file* file, void** stream, char16_t* nameBuffer, int access, int) {
    return openCore(file, stream, nameBuffer, access & ~8, 0);
}

int unifs_fopen(pfa_file* file, void** stream, char16_t* nameBuffer, const char* mode, int pfaMode) {
    int mustExist = 0;
    const int access = unifs_mode_text_access(mode, firstOfName(file), &mustExist);
    if (mustExist) {
        std::string native;
        int st = 0;
        if (!componentsNative(file, native, st))
            return st;
        if (!uni_access(native.c_str(), 0))
            return kNotFound;
    }
    return openCore(file, stream, nameBuffer, access, pfaMode);
}

int unifs_close(pfa_file*, void** stream) {
    const int ok = uni_close(streamOf(stream));
    if (stream)
        *stream = nullptr;
    return ok ? kOk : kFail;
}

int unifs_setbuf(pfa_file*, void** stream, void* buffer, int64_t) {
    return uni_setbuf(streamOf(stream), buffer, 0, 512) ? kOk : kFail;
}

int unifs_tell(pfa_file*, void** stream, void* position, int64_t) {
    if (!streamOf(stream))
        return kBadArg;
    return uni_tell(streamOf(stream), static_cast<int64_t*>(position)) ? kOk : kFail;
}

int unifs_seek(pfa_file*, void** stream, void*, int64_t position) {
    if (!streamOf(stream))
        return kBadArg;
    return uni_seek(streamOf(stream), position) ? kOk : kFail;
}

int unifs_rewind(pfa_file*, void** stream) {
    if (!streamOf(stream))
        return kBadArg;
    return uni_rewind(streamOf(stream)) ? kOk : kFail;
}

int unifs_unwind(pfa_file*, void** stream) {
    if (!streamOf(stream))
        return kBadArg;
    return uni_unwind(streamOf(stream)) ? kOk : kFail;
}

int unifs_read(pfa_file*, void** stream, void* buffer, int64_t size, int64_t* count) {
    int64_t local = 0;
    int64_t* n = count ? count : &local;
    if (!uni_read(streamOf(stream), buffer, size, n))
        return kFail;
    return *n == 0 ? kEnd : kOk;
}

int unifs_fseek(pfa_file*, void**, char16_t*, int, int) {
    // Relative seeks are not provided; reported, never fatal.
    report("unifs_fseek", "NOT IMPLEMENTED");
    return kFail;
}

int unifs_fgets(pfa_file*, void** stream, void* buffer, int64_t size, int64_t* count) {
    int64_t local = 0;
    int64_t* n = count ? count : &local;
    if (!uni_fgets(streamOf(stream), static_cast<char*>(buffer), size, n))
        return kFail;
    return *n == 0 ? kEnd : kOk;
}

int unifs_write(pfa_file*, void** stream, const void* buffer, int64_t length, int flag) {
    return uni_write(streamOf(stream), buffer, length, flag) ? kOk : kFail;
}

int unifs_puts(pfa_file*, void** stream, void* text, int64_t) {
    if (!text)
        return kFail;
    const char* t = static_cast<const char*>(text);
    return uni_write(streamOf(stream), t, int64_t(std::strlen(t)), 0) ? kOk : kFail;
}

int unifs_copy_thru_cookie(pfa_file*, void**, void*) {
    report("unifs_copy_thru_cookie", "NOT IMPLEMENTED");
    return kFail;
}

int unifs_flush(pfa_file*, void** stream) { return uni_flush(streamOf(stream)) ? kOk : kFail; }

// ---- files and folders ----------------------------------------------------------------

int unifs_delete(pfa_file* file) { return onComponents(file, uni_del_file); }

int unifs_truncate(pfa_file* file, void** stream, void*, int64_t size) {
    if (!streamOf(stream))
        return kBadArg;
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    int mode = 0;
    if (!uni_get_open_mode(streamOf(stream), &mode))
        return kFail;
    // The close frees the stream even when its last write fails; that
    // failure ends the truncate so that nothing written is lost unseen.
    const int closed = uni_close(streamOf(stream));
    *stream = nullptr;
    if (!closed)
        return kFail;
    if (uni_truncate(native.c_str(), size))
        *stream = uni_open(native.c_str(), mode, 1);
    // This method's own answers: 1 with the stream reopened, 3 without one.
    return *stream ? 1 : kNoOwner;
}

int unifs_dir_create(pfa_file* file) { return onComponents(file, uni_dir_create); }

int unifs_dir_remove(pfa_file* file) { return onComponents(file, uni_dir_remove); }

int unifs_dir_rename(pfa_file* from, pfa_file* to) {
    std::string a, b;
    int st = 0;
    if (!fullNative(from, a, st) || !fullNative(to, b, st))
        return st;
    return uni_dir_rename(a.c_str(), b.c_str()) ? kOk : kFail;
}

// 30: opens the listing (or rewinds the one open).
int unifs_dir_open(pfa_file* file, void** listing, void* name, void* arg1, void* arg2, int* flags) {
    if (!listing)
        return kFail;
    if (!*listing) {
        uni_handle* handle = unifs_get_uni_handle(file, 1);
        if (!handle)
            return kFail;
        uni_dir* dir = uni_dir_open(handle, static_cast<const char*>(name), arg1, arg2,
                                    unifs_dir_open_flags(flags ? *flags : 0));
        if (!dir)
            return kFail;
        *listing = dir;
        return kListing;
    }
    return uni_dir_rewind(static_cast<uni_dir*>(*listing)) ? kListing : kFail;
}

int unifs_dir_close(pfa_file* file, void** listing) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    uni_dir_close(handle, listing ? static_cast<uni_dir*>(*listing) : nullptr);
    if (listing)
        *listing = nullptr;
    return kOk;
}

// 32: the next entry, parsed into the second record.
int unifs_dir_read(pfa_file* first, void** listing, void* secondArg, void* filterArg, void* context,
                   int* flagsWord) {
    auto* second = static_cast<pfa_file*>(secondArg);
    auto filter = reinterpret_cast<pfa_dir_filter_fn>(filterArg);
    if (!listing || !*listing || !second || !flagsWord)
        return kBadArg;
    const int hidden = (*flagsWord & 128) ? 1 : 0;
    std::vector<char> name(kNativeMax);
    std::u16string neutral;
    int kind = 0;
    for (;;) {
        if (!uni_dir_read_next(static_cast<uni_dir*>(*listing), name.data(), kNativeMax, &kind,
                               hidden)) {
            *flagsWord = 5;
            return kEnd;
        }
        *flagsWord = kind;
        if (!toNeutral(name.data(), neutral))
            return kBadName;
        if (filter && filter(first, neutral.c_str(), kind, context, 0))
            continue;
        break;
    }
    const int wereOn = enable_wild_card();
    const int st = pfa_parse_to_qel_file_private(second, first, neutral.c_str(), kind != 0);
    if (!wereOn)
        disable_wild_card();
    return st;
}

int unifs_return0_17(pfa_file*, void*) { return kOk; }
int unifs_return1_10(pfa_file*, void**, void*, int64_t) { return kFail; }

int unifs_notify_dir_cache(int, int64_t scope, int64_t on) {
    uni_set_dir_cache(int(on), scope);
    return 0;
}

// 35: access test.
int unifs_access(pfa_file* file, int mode) {
    char16_t name[kNameMax];
    std::string native;
    if (pfa_get_file_name_mixed_case(file, PFA_MASK_ALL, name) != 0 || !toNative(name, native))
        return 0;
    const int m = unifs_access_mode(mode);
    if (uni_access(native.c_str(), m))
        return 1;
    const int type = pfa_get_obj_type(file);
    int version = 0;
    if (uni_get_dir_cache() && type != PFA_OBJ_FOLDER && type != PFA_OBJ_PLAIN &&
        pfa_get_file_vers(file, &version) == 0 && version == 1 && native.size() >= 2 &&
        native[native.size() - 2] == '.') {
        native.resize(native.size() - 2);
        if (uni_access(native.c_str(), m))
            return 1;
    }
    return 0;
}

int unifs_file_times(pfa_file* file, void* t1, void* t2, void* t3) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return kBadName;
    int64_t a = 0, b = 0, c = 0;
    if (!uni_file_get_times(native.c_str(), &a, &b, &c))
        return kFail;
    if (t1)
        vorn_gmtime(a, static_cast<vorn_tm*>(t1));
    if (t2)
        vorn_gmtime(b, static_cast<vorn_tm*>(t2));
    if (t3)
        vorn_gmtime(c, static_cast<vorn_tm*>(t3));
    return kOk;
}

int unifs_file_size(pfa_file* file, void* size) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return kBadName;
    return size && uni_file_get_size(native.c_str(), static_cast<int64_t*>(size)) ? kOk : kFail;
}

// 45: the roots of the registered locations, as folder records.
void addRoots(void** list, uni_dir* dir, bool hidden) {
    if (!dir)
        return;
    std::vector<char> name(kNativeMax);
    int kind = 0;
    while (uni_dir_read_next(dir, name.data(), kNativeMax, &kind, 1)) {
        std::u16string neutral;
        if (!toNeutral(name.data(), neutral))
            continue;
        pfa_file* record = pfa_alloc_qel_file();
        if (pfa_put_location(record, neutral.c_str(), UNIFS_PFA_KIND) != 0) {
            pfa_free_qel_file(record);
            continue;
        }
        pfa_set_obj_type(record, PFA_OBJ_FOLDER);
        if (hidden)
            pfa_set_ui_hidden_flag(record, 1);
        if (xar_alloc_or_append(list, int(sizeof(pfa_file*)), 16, 1, &record) != 0)
            pfa_free_qel_file(record);
    }
    uni_dir_close(nullptr, dir);
}

int unifs_roots(void** list, void* context) {
    const int options = unifs_openbox_options(context);
    if (options & 32)
        return kOk;
    if (!list)
        return kBadArg;
    addRoots(list, uni_dir_open_roots(options, 1), false);
    if (context)
        addRoots(list, uni_dir_open_roots(options, 2), true);
    return kOk;
}

int unifs_ui_info(void*, pfa_file* file, char16_t* out, void* arg1, void* arg2) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return st;
    char* text = nullptr;
    int flag = 0;
    if (!uni_UI_info(native.c_str(), pfa_is_dir(file), &text, arg1, arg2, &flag))
        return kFail;
    if (flag == 0)
        return kNotFound;
    std::u16string neutral;
    if (!toNeutral(text, neutral))
        return kBadName;
    if (out)
        copyNeutral(neutral, out, kNameMax);
    return kOk;
}

int unifs_root_dir_name(pfa_file* file, void* out) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return st;
    std::vector<char> root(kNativeMax);
    if (!uni_root_dir_name(native.c_str(), root.data(), kNativeMax))
        return kFail;
    std::u16string neutral;
    if (!toNeutral(root.data(), neutral))
        return kBadName;
    if (out)
        copyNeutral(neutral, static_cast<char16_t*>(out), kNameMax);
    return kOk;
}

// 48: the target becomes the source's parent location.
int unifs_parent(pfa_file* source, pfa_file* target) {
    if (!source || !target)
        return kBadArg;
    if (source != target && pfa_copy_qel_file(source, target) != 0)
        return kBadName;
    std::string native;
    int st = 0;
    if (!locationNative(source, native, st))
        return kBadName;
    std::vector<char> parent(kNativeMax);
    if (!uni_extract_parent(native.c_str(), parent.data(), kNativeMax))
        return kBadName;
    if (!parent[0])
        return kEmptyParent;
    return uni_set_location(parent.data(), target, unifs_get_uni_handle(target, 1), nullptr,
                            componentSetter)
               ? kOk
               : kFail;
}

int unifs_is_dir(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return st;
    return uni_is_dir(native.c_str()) > 0 ? kIsDir : kOk;
}

// Appends a copy of a neutral text to an xar of char16_t*.
bool appendWide(void** list, const std::u16string& text) {
    return copy_wstring_array_to_xarray(text.c_str(), 1, int(text.size()) + 1, list) == 0;
}

int unifs_shortcuts(void* context, void** names, void** roots, void** texts) {
    const int options = unifs_openbox_options(context);
    if (options & 32)
        return kFail;
    const char** a = nullptr;
    const char** b = nullptr;
    const char** c = nullptr;
    const int n = uni_browser_shortcuts(options, &a, &b, &c);
    if (n < 1)
        return kFail;
    void** lists[3] = {names, roots, texts};
    const char** from[3] = {a, b, c};
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k) {
            std::u16string neutral;
            if (!toNeutral(from[k][i], neutral))
                return kFail;
            if (lists[k] && !appendWide(lists[k], neutral))
                return kFail;
        }
    return kOk;
}

int unifs_has_detail_configs(pfa_file* file, void* arg, void*) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    return handle ? uni_dir_has_detail_configs(handle, arg) : 0;
}

int unifs_detail_configs(pfa_file* file, void** names, void** wideNames, int* selected, int key) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    const int n = uni_dir_get_num_detail_configs(handle, key);
    if (n <= 0 || n > kMaxListed)
        return kFail;
    std::vector<char> narrow(size_t(n) * 260);
    std::vector<char16_t> wide(size_t(n) * 260);
    std::vector<const char*> texts(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        char* slot = narrow.data() + size_t(i) * 260;
        uni_dir_get_detail_config(handle, key, i, slot, wide.data() + size_t(i) * 260);
        slot[259] = 0;
        std::u16string neutral;
        if (!toNeutral(slot, neutral))
            return kBadName;
        texts[size_t(i)] = slot;
    }
    uni_dir_get_selected_detail_config(handle, key, selected);
    if (names)
        copy_string_array_to_xarray(texts.data(), n, names);
    if (wideNames)
        copy_wstring_array_to_xarray(wide.data(), n, 260, wideNames);
    return kOk;
}

int unifs_select_detail_config(pfa_file* file, void* arg, void* name) {
    std::string native;
    if (!toNative(static_cast<const char16_t*>(name), native))
        return kBadName;
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    return uni_dir_set_selected_detail_config(handle, arg, native.c_str()) ? kOk : kFail;
}

int unifs_return0_28(void*) { return kOk; }

int unifs_disp_modes(pfa_file* file, void* modes, void* defaultMode) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return kBadName;
    if (uni_dir_allowed_disp_modes(native.c_str(), modes, defaultMode))
        return kOk;
    if (pfa_appinfo* slot = pfa_find_appinfo(file, g_handleType, 0); slot && slot->data) {
        uni_handle_on_release(slot->data);
        slot->data = nullptr;
    }
    return kBadName;
}

int unifs_num_detail_columns(pfa_file* file, void*) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    return handle ? uni_dir_num_detail_columns(handle) : 0;
}

int unifs_column_info(pfa_file* file, int column, void* title, void* width) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    return uni_dir_get_column_info(handle, column, title, width) ? kOk : kFail;
}

int unifs_entry_info(pfa_file* dir, int column, pfa_file* entry, void* text, void* arg) {
    uni_handle* handle = unifs_get_uni_handle(dir, 0);
    if (!handle)
        return kFail;
    std::string dirPath, entryPath;
    int st = 0;
    if (!fullNative(dir, dirPath, st) || !fullNative(entry, entryPath, st))
        return st;
    return uni_dir_get_entry_info(handle, column, dirPath.c_str(), entryPath.c_str(),
                                  static_cast<char**>(text), arg)
               ? kOk
               : kFail;
}

int unifs_free_entry_info(pfa_file* file, void* info) {
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    return uni_dir_free_entry_info(handle, info) ? kOk : kFail;
}

int unifs_return0_0(pfa_file*) { return kOk; }

// 63: the sub class, through the process-wide buffers.
int unifs_subclass(pfa_file* file, void* outId) {
    std::string native;
    int st = 0;
    if (!nameNative(pfa_get_full_name(file, g_fullName), g_fullName, native, st))
        return st;
    if (!uni_get_subclass(native.c_str(), g_className, int(sizeof g_className)))
        return kFail;
    g_className[sizeof g_className - 1] = 0;
    if (outId)
        *static_cast<int*>(outId) = find_sub_class(g_className);
    return kOk;
}

int unifs_is_virtual(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return kBadName;
    return uni_dir_is_virtual(native.c_str()) ? kOk : kFail;
}

// Narrow form of a wide text from outside, bounded (empty for null).
std::string narrowOf(const char16_t* text) {
    std::vector<char> out(kNativeMax);
    wstostr(text ? text : u"", out.data(), kNativeMax);
    return out.data();
}

int unifs_lib_search(pfa_file* file, void* targetArg, void* textArg) {
    auto* target = static_cast<pfa_file*>(targetArg);
    if (!target)
        return kBadArg;
    std::string name, targetName;
    int st = 0;
    if (!componentsNative(file, name, st) ||
        !componentsNative(target, targetName, st, PFA_MASK_NAME | PFA_MASK_TYPE | PFA_MASK_VERSION))
        return st;
    const std::string text = narrowOf(static_cast<const char16_t*>(textArg));
    std::vector<char> found(kNativeMax);
    if (!uni_lib_search(name.c_str(), targetName.c_str(), text.c_str(), found.data(), kNativeMax))
        return kNotFound;
    std::u16string neutral;
    if (!toNeutral(found.data(), neutral))
        return kBadName;
    return pfa_parse_to_qel_file(target, neutral.c_str(), pfa_get_obj_type(target));
}

int unifs_tag_control(pfa_file* file, int arg, void*) {
    char16_t name[kNameMax];
    if (pfa_get_full_name(file, name) != 0)
        return 0;
    std::string native;
    if (!toNative(name, native))
        return kBadName;
    switch (uni_ugctag_control(native.c_str(), arg)) {
    case 1: return 128;
    case 2: return 64;
    default: return 0;
    }
}

int unifs_tag_hint(pfa_file* file, int arg1, void* arg2) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    return uni_ugctag_hint(native.c_str(), arg1, arg2) ? kOk : kFail;
}

int unifs_file_version(pfa_file* file, int which, int* version, void* arg) {
    const int type = pfa_get_obj_type(file);
    if (type == PFA_OBJ_PATTERN || type == PFA_OBJ_UNKNOWN)
        return kBadName;
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    if (!version)
        return kBadArg;
    if (type == PFA_OBJ_PLAIN) {
        if (which != 1)
            return kFail;
        *version = uni_access(native.c_str(), 0) > 0 ? 0 : -1;
        return kOk;
    }
    const int w = which == 1 ? 1 : which == 2 ? 2 : 0;
    return uni_get_file_version(native.c_str(), w, version, arg) ? kOk : kFail;
}

// ---- transactions ---------------------------------------------------------------------

// The pfa hints as uni hints (growth step 100); refused hints are left out.
struct ConvertedHints {
    void* array = nullptr; // xar of uni_hint

    ~ConvertedHints() {
        auto* hints = static_cast<uni_hint*>(array);
        for (int i = 0, n = xar_count(array); i < n; ++i) {
            const int kind = hints[i].kind;
            if (kind == 1 || kind == 2 || kind == 7 || kind == 8)
                relmem(hints[i].value[0]);
        }
        // The texts are released above, so the array goes without them.
        xar_free(&array);
    }
    int Count() const { return xar_count(array); }
    const uni_hint* Data() const { return static_cast<const uni_hint*>(array); }
};

char* nativeNameOf(const pfa_hint& hint) {
    auto* file = reinterpret_cast<pfa_file*>(static_cast<intptr_t>(hint.value[0]));
    char16_t name[kNameMax];
    std::string native;
    if (!file || pfa_get_full_name(file, name) != 0 || !toNative(name, native))
        return nullptr;
    return mknewstr(native.c_str());
}

bool convertHints(int count, const void* pfaHints, ConvertedHints& out) {
    if (count < 0 || (count > 0 && !pfaHints))
        return false;
    const auto* hints = static_cast<const pfa_hint*>(pfaHints);
    out.array = xar_alloc(0, int(sizeof(uni_hint)), 100);
    if (!out.array)
        return false;
    for (int i = 0; i < count; ++i) {
        const pfa_hint& h = hints[i];
        uni_hint u{};
        u.kind = int32_t(h.kind);
        bool keep = true;
        switch (h.kind) {
        case 0:
            u.value[0] = reinterpret_cast<void*>(intptr_t(uni_convert_open_mode(int(h.value[0]))));
            break;
        case 1:
            u.value[0] = mknewstr(reinterpret_cast<const char*>(static_cast<intptr_t>(h.value[0])));
            break;
        case 2: u.value[0] = nativeNameOf(h); break;
        case 3:
        case 9:
        case 10:
        case 11: break;
        case 5: u.value[0] = reinterpret_cast<void*>(static_cast<intptr_t>(h.value[0])); break;
        case 6: {
            const int mode = pfa_to_uni_retrmode(int(h.value[0]));
            keep = mode != 0;
            u.value[0] = reinterpret_cast<void*>(intptr_t(mode));
            break;
        }
        case 7:
        case 8:
            u.value[0] = nativeNameOf(h);
            u.value[1] = reinterpret_cast<void*>(intptr_t(pfa_to_uni_retrmode(int(h.value[1]))));
            if (h.kind == 8) {
                u.value[2] = reinterpret_cast<void*>(static_cast<intptr_t>(h.value[2]));
                u.value[3] = reinterpret_cast<void*>(static_cast<intptr_t>(h.value[3]));
            }
            break;
        default: keep = false; break;
        }
        if (!keep)
            continue;
        if (xar_append(&out.array, 1, &u) != 0) {
            if (u.kind == 1 || u.kind == 2 || u.kind == 7 || u.kind == 8)
                relmem(u.value[0]);
            return false;
        }
    }
    return true;
}

// Calls f with the file's native location and the converted hints.
template <class F> int withTxnHints(pfa_file* file, int count, void* hints, F f) {
    std::string native;
    int st = 0;
    if (!locationNative(file, native, st))
        return st;
    ConvertedHints converted;
    if (!convertHints(count, hints, converted))
        return kBadArg;
    return f(native.c_str(), converted.Count(), converted.Data()) ? kOk : kFail;
}

int unifs_open_txn(pfa_file* file, int count, void* hints) {
    return withTxnHints(file, count, hints, uni_open_txn);
}

int unifs_add_txn_hints(pfa_file* file, int count, void* hints) {
    return withTxnHints(file, count, hints, uni_add_txn_hints);
}

int unifs_test_txn(pfa_file* file, int count, void* hints, void* message, void* arg) {
    return withTxnHints(file, count, hints, [&](const char* at, int n, const uni_hint* h) {
        return uni_test_txn(at, n, h, static_cast<uni_txnmsg**>(message), arg);
    });
}

int unifs_close_txn(pfa_file* file, int flag, int*, void*) {
    std::string native;
    int st = 0;
    if (!locationNative(file, native, st))
        return st;
    if (uni_close_txn(native.c_str()))
        return kOk;
    return flag ? kTxnCloseFailed : kFail;
}

int unifs_txnmsg_kind(void* message, int* kind) {
    int k = 0;
    if (!uni_txnmsg_getinfo(static_cast<uni_txnmsg*>(message), &k))
        return kFail;
    if (!kind)
        return kOk;
    switch (k) {
    case 0: *kind = 0; break;
    case 1: *kind = 1; break;
    case 2: *kind = 2; break;
    case 3:
    case 4: *kind = 3; break;
    case 5: *kind = 4; break;
    default: *kind = -1; break;
    }
    return kOk;
}

int unifs_txnmsg_free(void* message) {
    return uni_txnmsg_free(static_cast<uni_txnmsg*>(message)) ? kOk : kFail;
}

// ---- neutral data, kinds of content ----------------------------------------------------

int unifs_get_neutral_data(pfa_file* file, int flags, void* data, void* size, void* arg) {
    std::string native;
    int st = 0;
    if (!nameNative(pfa_get_full_name(file, g_fullName), g_fullName, native, st))
        return st;
    return uni_get_neutral_data(native.c_str(), flags, static_cast<void**>(data),
                                static_cast<int64_t*>(size), arg)
               ? kOk
               : kFail;
}

int unifs_put_neutral_data(pfa_file* file, int size, void* data) {
    std::string native;
    int st = 0;
    if (!nameNative(pfa_get_full_name(file, g_fullName), g_fullName, native, st))
        return st;
    return uni_put_neutral_data(native.c_str(), size, data) ? kOk : kFail;
}

int unifs_type_guaranteed(pfa_file* file) {
    char16_t name[kNameMax];
    if (pfa_get_full_name(file, name) != 0)
        return kFail;
    std::string native;
    if (!toNative(name, native))
        return kBadName;
    return uni_does_guarantee_type(native.c_str()) ? kOk : kFail;
}

int unifs_properties_url(pfa_file* file, void* out) {
    char16_t name[kNameMax];
    if (pfa_get_full_name(file, name) != 0)
        return kFail;
    std::string native;
    if (!toNative(name, native))
        return kBadName;
    char* url = nullptr;
    if (!uni_get_properties_url(native.c_str(), &url))
        return kFail;
    if (out)
        *static_cast<char**>(out) = url;
    return !url || !*url ? -1 : kOk;
}

int unifs_uses_instance_index(pfa_file* file) {
    char16_t name[kNameMax];
    if (pfa_get_location(file, name) != 0)
        return kFail;
    std::string native;
    if (!toNative(name, native))
        return kBadName;
    return uni_does_use_instance_index(native.c_str());
}

int unifs_capability(pfa_file* file, int code) {
    if (code < 25 || code > 91)
        return kFail;
    int mode;
    switch (code) {
    case 25: mode = 128; break;
    case 27: mode = 8; break;
    case 28: mode = 32; break;
    case 29: mode = 16; break;
    case 76:
    case 77:
    case 91: mode = -1; break;
    default: return kFail;
    }
    char16_t name[kNameMax];
    std::string native;
    if (pfa_get_full_name(file, name) != 0 || !toNative(name, native))
        return 0;
    if (code == 91)
        return uni_does_have_content_names(native.c_str());
    if (code == 76 || code == 77)
        return uni_does_support_neutral_data(native.c_str());
    return uni_access(native.c_str(), mode);
}

int unifs_txn_owner(pfa_file* file, pfa_file* target) {
    if (!target)
        return kBadArg;
    std::string native;
    int st = 0;
    if (!locationNative(file, native, st))
        return st;
    std::vector<char> owner(kNativeMax);
    if (!uni_get_transaction_owner(native.c_str(), owner.data(), kNativeMax))
        return kNoOwner;
    std::u16string neutral;
    if (!toNeutral(owner.data(), neutral))
        return kBadName;
    pfa_recycle_qel_file(target);
    st = pfa_put_location(target, neutral.c_str(), UNIFS_PFA_KIND);
    if (st != 0)
        return st;
    pfa_set_obj_type(target, PFA_OBJ_FOLDER);
    return kOk;
}

// Name of the content-hint methods: full when numeric versions are allowed,
// else the components with or without the version.
bool hintName(pfa_file* file, std::string& native, int& st) {
    if (pfaloc_allows_numeric_versions(file))
        return fullNative(file, native, st);
    const int mask = pfaloc_allows_string_versions(file) && pfaloc_allows_multiple_versions(file)
                         ? 95
                         : 31;
    return componentsNative(file, native, st, mask);
}

int unifs_set_content_hints(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!hintName(file, native, st))
        return st;
    int openMode = 0, retrMode = 0;
    int64_t a = 0, b = 0;
    st = pfa_get_content_hints(file, &openMode, &retrMode, &a, &b);
    if (st != 0)
        return st;
    return uni_set_content_hints(native.c_str(), unifs_open_mode(openMode),
                                 pfa_to_uni_retrmode(retrMode), a, b)
               ? kOk
               : kFail;
}

int unifs_release_content_hints(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!hintName(file, native, st))
        return kFail;
    int has = 0;
    if (pfa_has_content_hints(file, &has) != 0 || !has)
        return kFail;
    return uni_release_content_hints(native.c_str()) ? kOk : kFail;
}

int unifs_is_transient(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return kFail;
    return uni_is_transient(native.c_str());
}

int unifs_2nd_content_msg(pfa_file* file, void* a, void* b, void* c, void* d, void* context) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    if (!g_outputTypeLooked) {
        if (qel_is_bound("OpenBoxGetOutputType"))
            g_outputType = qel_call("OpenBoxGetOutputType");
        g_outputTypeLooked = true;
    }
    const int outputType = g_outputType ? g_outputType(context) : -1;
    return uni_get_2nd_content_msg(native.c_str(), a, b, c, d, outputType) ? kOk : kFail;
}

int unifs_supports_versioning(pfa_file* file) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return 0;
    return uni_does_support_file_versioning(native.c_str());
}

int unifs_content_names(pfa_file* file, void** names, void**, int* count, int key) {
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    if (!uni_get_content_names(native.c_str(), names, count, key)) {
        if (count)
            *count = -1;
        return kFail;
    }
    return kOk;
}

// 92: categories of a type, through the process-wide name buffer.
int unifs_categories(pfa_file* file, int type, void* arg, void** list) {
    const int st = pfa_get_full_name(file, g_fullName);
    if (st != 0)
        return st;
    uni_handle* handle = unifs_get_uni_handle(file, 0);
    if (!handle)
        return kFail;
    std::string native;
    if (!toNative(g_fullName, native))
        return kBadName;
    const int n = uni_dir_alloc_categories_for_type(handle, native.c_str(), type, arg);
    if (n <= 0)
        return kFail;
    const int kept = n > kMaxListed ? kMaxListed : n;
    std::vector<char16_t> slots(size_t(kept) * 260);
    for (int i = 0; i < kept; ++i) {
        char16_t* slot = slots.data() + size_t(i) * 260;
        uni_dir_get_category_for_type(handle, i, slot);
        slot[259] = 0;
    }
    uni_dir_release_categories_for_type(handle);
    if (list)
        copy_wstring_array_to_xarray(slots.data(), kept, 260, list);
    return kOk;
}

int unifs_property(pfa_file* file, int code, void* value) {
    if (code < 1 || code > 5)
        return kBadName;
    std::string native;
    int st = 0;
    if (!fullNative(file, native, st))
        return st;
    char* text = nullptr;
    if (!uni_get_property(native.c_str(), code, &text, nullptr))
        return kFail;
    if (value)
        *static_cast<char**>(value) = text;
    else
        relmem(text);
    return text ? kOk : kNotFound;
}

int unifs_wildcard_search(pfa_file* file, void* pattern, void* out) {
    std::string native;
    int st = 0;
    if (!componentsNative(file, native, st))
        return st;
    const std::string narrow = narrowOf(static_cast<const char16_t*>(pattern));
    void* list = nullptr;
    if (!uni_wildcard_search(native.c_str(), narrow.c_str(), &list)) {
        xar_str_free(&list);
        return kNotFound;
    }
    if (out)
        *static_cast<pfa_dir**>(out) = pfa_alloc_dir(list);
    xar_str_free(&list);
    return kOk;
}

// ---- the method table -----------------------------------------------------------------

struct Row {
    int slot;
    int form;
    pfa_method method;
};

template <class F> pfa_method M(F f) { return reinterpret_cast<pfa_method>(f); }

const Row kTable[] = {
    {3, 19, M(unifs_set_location)},     {4, 20, M(unifs_get_location)},
    {5, 20, M(unifs_get_location_made)}, {6, 6, M(unifs_getc)},
    {7, 9, M(unifs_ungetc)},             {8, 6, M(unifs_print)},
    {9, 13, M(unifs_open)},              {10, 16, M(unifs_fopen)},
    {11, 6, M(unifs_close)},             {12, 10, M(unifs_setbuf)},
    {14, 10, M(unifs_tell)},             {15, 10, M(unifs_seek)},
    {16, 6, M(unifs_rewind)},            {17, 6, M(unifs_unwind)},
    {18, 14, M(unifs_read)},             {19, 13, M(unifs_fseek)},
    {20, 14, M(unifs_fgets)},            {21, 12, M(unifs_write)},
    {22, 10, M(unifs_puts)},             {23, 8, M(unifs_copy_thru_cookie)},
    {24, 6, M(unifs_flush)},             {25, 0, M(unifs_delete)},
    {26, 10, M(unifs_truncate)},         {27, 0, M(unifs_dir_create)},
    {28, 0, M(unifs_dir_remove)},        {29, 1, M(unifs_dir_rename)},
    {30, 15, M(unifs_dir_open)},         {31, 6, M(unifs_dir_close)},
    {32, 15, M(unifs_dir_read)},         {33, 17, M(unifs_return0_17)},
    // The folder-cache notification is subscribed here, between 33 and 35.
    {34, 10, M(unifs_return1_10)},       {35, 4, M(unifs_access)},
    {36, 19, M(unifs_file_times)},       {38, 17, M(unifs_file_size)},
    {45, 21, M(unifs_roots)},            {46, 33, M(unifs_ui_info)},
    {47, 17, M(unifs_root_dir_name)},    {48, 1, M(unifs_parent)},
    {49, 0, M(unifs_is_dir)},            {51, 24, M(unifs_shortcuts)},
    {52, 18, M(unifs_has_detail_configs)}, {53, 27, M(unifs_detail_configs)},
    {54, 18, M(unifs_select_detail_config)}, {55, 28, M(unifs_return0_28)},
    {56, 18, M(unifs_disp_modes)},       {57, 17, M(unifs_num_detail_columns)},
    {58, 25, M(unifs_column_info)},      {59, 32, M(unifs_entry_info)},
    {60, 17, M(unifs_free_entry_info)},  {62, 0, M(unifs_return0_0)},
    {63, 17, M(unifs_subclass)},         {65, 0, M(unifs_is_virtual)},
    {66, 18, M(unifs_lib_search)},       {67, 5, M(unifs_tag_control)},
    {68, 5, M(unifs_tag_hint)},          {69, 30, M(unifs_file_version)},
    {70, 5, M(unifs_open_txn)},          {71, 5, M(unifs_add_txn_hints)},
    {72, 31, M(unifs_test_txn)},         {73, 30, M(unifs_close_txn)},
    {74, 23, M(unifs_txnmsg_kind)},      {75, 28, M(unifs_txnmsg_free)},
    {76, 31, M(unifs_get_neutral_data)}, {77, 5, M(unifs_put_neutral_data)},
    {78, 0, M(unifs_type_guaranteed)},   {79, 17, M(unifs_properties_url)},
    {80, 0, M(unifs_uses_instance_index)}, {81, 3, M(unifs_capability)},
    {82, 1, M(unifs_txn_owner)},         {83, 0, M(unifs_set_content_hints)},
    {84, 0, M(unifs_release_content_hints)}, {85, 0, M(unifs_is_transient)},
    {87, 34, M(unifs_2nd_content_msg)},  {88, 0, M(unifs_supports_versioning)},
    {91, 27, M(unifs_content_names)},    {92, 35, M(unifs_categories)},
    {93, 5, M(unifs_property)},          {94, 18, M(unifs_wildcard_search)},
};

} // namespace

int unifs_register_pfa_location(void) {
    if (g_handleType == -1)
        g_handleType = appinfo_register_type(uni_handle_on_release, uni_handle_on_copy, 0);
    pfa_loc_register_setup(UNIFS_PFA_KIND);
    for (const Row& row : kTable) {
        if (row.slot == 34)
            PfaNotificationAdd(3, unifs_notify_dir_cache, nullptr, 0);
        pfa_loc_method_register(UNIFS_PFA_KIND, row.slot, row.form, row.method);
    }
    pfa_loc_register_setup(0);
    return 0;
}
