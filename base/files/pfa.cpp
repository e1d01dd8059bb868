#include "pfa.h"
#include "btk_reason.h"

#include "btkstring.h"
#include "kkatomicfile.h"
#include "kkfileio.h"
#include "uniloc.h"
#include "xmemory.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

inline namespace zbase_internal {

// ---- path conversion ------------------------------------------------------------------

namespace {

std::atomic<int> g_unicode{0};

} // namespace

int mbxNeutToNative(const char16_t* neutral, char* native, int size) {
    if (!neutral || !native || size < 1)
        return -1;
    std::string out;
    if (!btkStrUtf16ToUtf8Strict(neutral, out))
        return -1;
    if (out.size() + 1 > size_t(size))
        return out.size() + 1 > size_t(INT32_MAX) ? -1 : int(out.size() + 1);
    std::memcpy(native, out.c_str(), out.size() + 1);
    return 0;
}

int mbxNativeToNeut(const char* native, char16_t* neutral, int size) {
    if (!native || !neutral || size < 1)
        return -1;
    std::u16string out;
    if (!btkStrUtf8ToUtf16Strict(native, out))
        return -1;
    if (out.size() + 1 > size_t(size))
        return out.size() + 1 > size_t(INT32_MAX) ? -1 : int(out.size() + 1);
    std::memcpy(neutral, out.c_str(), (out.size() + 1) * sizeof(char16_t));
    return 0;
}

int btkUnicodeIsEnabled(void) { return g_unicode.load(); }
void btkUnicodeSetEnabled(int on) { g_unicode.store(on ? 1 : 0); }

// ---- process-wide tables --------------------------------------------------------------

namespace {

struct KindTable {
    bool registered = false;
    int versionFlags = 0;
    pfa_method methods[PFA_MAX_SLOT + 1] = {};
    int forms[PFA_MAX_SLOT + 1] = {};
};

struct AppinfoType {
    appinfo_release_fn release;
    appinfo_copy_fn copy;
};

struct Notification {
    int code;
    pfa_notification_fn handler;
};

struct Tables {
    std::mutex lock;
    KindTable kinds[PFA_MAX_KIND];
    int settingUp = 0;
    std::vector<AppinfoType> appinfoTypes;
    std::vector<Notification> notifications;
    std::map<std::string, int> subClasses;
    std::map<std::string, qel_context_fn> bound;
    qel_print_sink sink = nullptr;
};

// Never destroyed: records may be freed by static destructors elsewhere.
Tables& tables() {
    static Tables* t = new Tables;
    return *t;
}

std::atomic<int> g_wildcards{0};

pfa_method methodOf(int kind, int slot, int* form) {
    if (kind < 1 || kind >= PFA_MAX_KIND || slot < 0 || slot > PFA_MAX_SLOT)
        return nullptr;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    const KindTable& k = t.kinds[kind];
    if (!k.registered || !k.methods[slot])
        return nullptr;
    if (form)
        *form = k.forms[slot];
    return k.methods[slot];
}

} // namespace

// ---- records --------------------------------------------------------------------------

struct pfa_file {
    int kind = 0;
    std::u16string comp[3];
    bool has[3] = {false, false, false};
    std::u16string name, type, instance;
    int version = 0;
    int objType = PFA_OBJ_UNKNOWN;
    bool hidden = false;
    std::vector<std::unique_ptr<pfa_appinfo>> appinfo;
    bool hints = false;
    int openMode = 0, retrMode = 0;
    int64_t hintA = 0, hintB = 0;
};

namespace {

void releaseAppinfo(pfa_file* f) {
    std::vector<AppinfoType> types;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> hold(t.lock);
        types = t.appinfoTypes;
    }
    for (auto& slot : f->appinfo)
        if (slot->data && slot->type >= 0 && size_t(slot->type) < types.size() &&
            types[size_t(slot->type)].release)
            types[size_t(slot->type)].release(slot->data);
    f->appinfo.clear();
}

std::u16string compose(const pfa_file* f, int mask) {
    std::u16string s;
    for (int k = 0; k < 3; ++k)
        if ((mask & (1 << k)) && f->has[k])
            s += f->comp[k];
    if (mask & PFA_MASK_NAME)
        s += f->name;
    if ((mask & PFA_MASK_TYPE) && !f->type.empty())
        s += u"." + f->type;
    if ((mask & PFA_MASK_INSTANCE) && !f->instance.empty())
        s += u"<" + f->instance + u">";
    if ((mask & PFA_MASK_VERSION) && f->version > 0) {
        char digits[16];
        auto r = std::to_chars(digits, digits + sizeof digits, f->version);
        s += u'.';
        for (char* c = digits; c != r.ptr; ++c)
            s += char16_t(*c);
    }
    return s;
}

bool fits(const pfa_file* f) { return compose(f, PFA_MASK_ALL).size() < PFA_NAME_MAX; }

// Copies at most size-1 units without splitting a surrogate pair; false
// when the text was cut.
bool boundedCopy(const std::u16string& s, char16_t* buffer, int size) {
    if (size < 1)
        return false;
    size_t n = s.size();
    bool cut = false;
    if (n > size_t(size - 1)) {
        n = size_t(size - 1);
        if (n > 0 && s[n - 1] >= 0xD800 && s[n - 1] <= 0xDBFF)
            --n;
        cut = true;
    }
    std::memcpy(buffer, s.data(), n * sizeof(char16_t));
    buffer[n] = 0;
    return !cut;
}

// Whether the text has a UTF-8 form (no lone surrogate).
bool validUtf16(const std::u16string& s) {
    std::string utf8;
    return btkStrUtf16ToUtf8Strict(s, utf8);
}

bool allDigits(const std::u16string& s) {
    if (s.empty() || s.size() > 9)
        return false;
    for (char16_t c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// Splits "name.type[.version]" into the record.
int parseName(pfa_file* f, const std::u16string& part) {
    std::u16string rest = part;
    size_t dot = rest.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0 && allDigits(rest.substr(dot + 1))) {
        const size_t before = rest.rfind(u'.', dot - 1);
        if (before != std::u16string::npos && before > 0) {
            int v = 0;
            for (char16_t c : rest.substr(dot + 1))
                v = v * 10 + (c - u'0');
            f->version = v;
            rest.resize(dot);
        }
    }
    dot = rest.rfind(u'.');
    if (dot != std::u16string::npos && dot > 0) {
        f->type = rest.substr(dot + 1);
        rest.resize(dot);
    }
    f->name = rest;
    return f->name.empty() ? PFA_BAD_NAME : PFA_OK;
}

// Gives the folder part to kind `kind` (or, when kind is -1, to the first
// registered kind that takes it, else to kind 0).
int setLocation(pfa_file* f, const std::u16string& folder, int kind) {
    auto tryKind = [&](int k) -> int {
        int form = 0;
        pfa_method m = methodOf(k, 3, &form);
        if (!m || form != 19)
            return PFA_NO_METHOD;
        int consumed = int(folder.size());
        const int st = reinterpret_cast<pfa_form19_fn>(m)(f, const_cast<char16_t*>(folder.c_str()),
                                                          &consumed, nullptr);
        if (st != 0)
            return st;
        if (consumed != int(folder.size()))
            return PFA_BAD_NAME;
        f->kind = k;
        return PFA_OK;
    };
    if (kind > 0)
        return tryKind(kind);
    if (kind < 0 && !folder.empty())
        for (int k = 1; k < PFA_MAX_KIND; ++k)
            if (tryKind(k) == PFA_OK)
                return PFA_OK;
    f->kind = 0;
    for (int k = 0; k < 3; ++k) {
        f->comp[k].clear();
        f->has[k] = false;
    }
    f->comp[1] = folder;
    f->has[1] = !folder.empty();
    return PFA_OK;
}

int parseWithKind(pfa_file* f, const char16_t* path, int objType, int kind) {
    if (!f || !path)
        return PFA_BAD_ARG;
    const std::u16string p(path);
    pfa_recycle_qel_file(f);
    if (p.size() >= PFA_NAME_MAX)
        return PFA_TOO_LONG;
    if (!validUtf16(p))
        return PFA_BAD_NAME;
    if (!g_wildcards.load() && p.find_first_of(u"*?") != std::u16string::npos)
        return PFA_BAD_NAME;
    const bool folder = objType == PFA_OBJ_FOLDER || (!p.empty() && p.back() == u'/');
    std::u16string dir, name;
    if (folder) {
        dir = p.empty() || p.back() == u'/' ? p : p + u'/';
    } else {
        const size_t slash = p.rfind(u'/');
        if (slash != std::u16string::npos) {
            dir = p.substr(0, slash + 1);
            name = p.substr(slash + 1);
        } else {
            name = p;
        }
    }
    int st = setLocation(f, dir, kind);
    if (st == PFA_OK && !folder)
        st = parseName(f, name);
    if (st == PFA_OK) {
        f->objType = folder ? PFA_OBJ_FOLDER : objType;
        if (!fits(f))
            st = PFA_TOO_LONG;
    }
    if (st != PFA_OK)
        pfa_recycle_qel_file(f);
    return st;
}

} // namespace

pfa_file* pfa_alloc_qel_file(void) { return new pfa_file; }

void pfa_free_qel_file(pfa_file* file) {
    if (!file)
        return;
    releaseAppinfo(file);
    delete file;
}

void pfa_recycle_qel_file(pfa_file* file) {
    if (!file)
        return;
    releaseAppinfo(file);
    *file = pfa_file{};
}

int pfa_copy_qel_file(const pfa_file* source, pfa_file* target) {
    if (!source || !target)
        return PFA_BAD_ARG;
    if (source == target)
        return PFA_OK;
    releaseAppinfo(target);
    std::vector<AppinfoType> types;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> hold(t.lock);
        types = t.appinfoTypes;
    }
    target->kind = source->kind;
    for (int k = 0; k < 3; ++k) {
        target->comp[k] = source->comp[k];
        target->has[k] = source->has[k];
    }
    target->name = source->name;
    target->type = source->type;
    target->instance = source->instance;
    target->version = source->version;
    target->objType = source->objType;
    target->hidden = source->hidden;
    target->hints = source->hints;
    target->openMode = source->openMode;
    target->retrMode = source->retrMode;
    target->hintA = source->hintA;
    target->hintB = source->hintB;
    for (const auto& slot : source->appinfo) {
        auto copy = std::make_unique<pfa_appinfo>(pfa_appinfo{slot->type, nullptr});
        if (slot->data && slot->type >= 0 && size_t(slot->type) < types.size() &&
            types[size_t(slot->type)].copy)
            copy->data = types[size_t(slot->type)].copy(slot->data);
        target->appinfo.push_back(std::move(copy));
    }
    return PFA_OK;
}

int pfa_parse_to_qel_file(pfa_file* file, const char16_t* path, int objType) {
    return parseWithKind(file, path, objType, -1);
}

int pfa_parse_to_qel_file_private(pfa_file* out, const pfa_file* dir, const char16_t* name,
                                  int isDir) {
    if (!out || !dir || !name || !*name)
        return PFA_BAD_ARG;
    const std::u16string n(name);
    if (n.find(u'/') != std::u16string::npos)
        return PFA_BAD_NAME;
    const std::u16string path = compose(dir, PFA_MASK_ROOT | PFA_MASK_FOLDER | PFA_MASK_THIRD) + n +
                                (isDir ? u"/" : u"");
    const int kind = dir->kind;
    if (path.size() >= PFA_NAME_MAX) {
        pfa_recycle_qel_file(out);
        return PFA_TOO_LONG;
    }
    return parseWithKind(out, path.c_str(), isDir ? PFA_OBJ_FOLDER : PFA_OBJ_UNKNOWN, kind);
}

int enable_wild_card(void) { return g_wildcards.exchange(1); }
void disable_wild_card(void) { g_wildcards.store(0); }
int pfa_wild_card_enabled(void) { return g_wildcards.load(); }

int pfa_get_full_name(const pfa_file* file, char16_t* buffer) {
    return pfa_get_file_name(file, PFA_MASK_ALL, buffer);
}

int pfa_get_file_name(const pfa_file* file, int mask, char16_t* buffer) {
    if (!file || !buffer)
        return PFA_BAD_ARG;
    return boundedCopy(compose(file, mask), buffer, PFA_NAME_MAX) ? PFA_OK : PFA_TOO_LONG;
}

int pfa_get_file_name_mixed_case(const pfa_file* file, int mask, char16_t* buffer) {
    return pfa_get_file_name(file, mask, buffer);
}

int pfa_get_location(const pfa_file* file, char16_t* buffer) {
    if (!file || !buffer)
        return PFA_BAD_ARG;
    if (!file->has[0] && !file->has[1] && !file->has[2])
        return PFA_NONE;
    return boundedCopy(compose(file, PFA_MASK_ROOT | PFA_MASK_FOLDER | PFA_MASK_THIRD), buffer,
                       PFA_NAME_MAX)
               ? PFA_OK
               : PFA_TOO_LONG;
}

int pfa_put_location(pfa_file* file, const char16_t* location, int kind) {
    if (!file || !location || kind < 0 || kind >= PFA_MAX_KIND)
        return PFA_BAD_ARG;
    std::u16string loc(location);
    if (!validUtf16(loc))
        return PFA_BAD_NAME;
    if (!loc.empty() && loc.back() != u'/' && loc.back() != u':')
        loc += u'/';
    // Keep the old location until the new one is known to fit.
    std::u16string oldComp[3] = {file->comp[0], file->comp[1], file->comp[2]};
    const bool oldHas[3] = {file->has[0], file->has[1], file->has[2]};
    const int oldKind = file->kind;
    int st = setLocation(file, loc, kind);
    if (st == PFA_OK && !fits(file))
        st = PFA_TOO_LONG;
    if (st != PFA_OK) {
        for (int k = 0; k < 3; ++k) {
            file->comp[k] = oldComp[k];
            file->has[k] = oldHas[k];
        }
        file->kind = oldKind;
        return st;
    }
    if (file->name.empty())
        file->objType = PFA_OBJ_FOLDER;
    return PFA_OK;
}

int pfa_put_component_len(pfa_file* file, int k, const char16_t* text, int length, int) {
    if (!file || k < 0 || k > 2)
        return PFA_BAD_ARG;
    std::u16string value;
    if (text) {
        size_t n = 0;
        while (text[n] && (length < 0 || n < size_t(length)))
            ++n;
        value.assign(text, n);
    }
    if (!validUtf16(value))
        return PFA_BAD_NAME;
    std::u16string old = file->comp[k];
    const bool hadOld = file->has[k];
    file->comp[k] = value;
    file->has[k] = true;
    if (!fits(file)) {
        file->comp[k] = old;
        file->has[k] = hadOld;
        return PFA_TOO_LONG;
    }
    return PFA_OK;
}

int pfa_get_component(const pfa_file* file, int k, char16_t* buffer, int size) {
    if (!file || k < 0 || k > 2 || !buffer || size < 1)
        return PFA_BAD_ARG;
    if (!file->has[k]) {
        buffer[0] = 0;
        return PFA_NONE;
    }
    return boundedCopy(file->comp[k], buffer, size) ? PFA_OK : PFA_TOO_LONG;
}

int pfa_has_component(const pfa_file* file, int k) {
    return file && k >= 0 && k <= 2 && file->has[k] ? 1 : 0;
}

int pfa_get_kind(const pfa_file* file) { return file ? file->kind : -1; }
void pfa_set_kind(pfa_file* file, int kind) {
    if (file && kind >= 0 && kind < PFA_MAX_KIND)
        file->kind = kind;
}
int pfa_get_obj_type(const pfa_file* file) { return file ? file->objType : PFA_OBJ_UNKNOWN; }
void pfa_set_obj_type(pfa_file* file, int type) {
    if (file)
        file->objType = type;
}

int pfa_get_file_vers(const pfa_file* file, int* version) {
    if (!file || !version)
        return PFA_BAD_ARG;
    *version = file->version;
    return PFA_OK;
}

int pfa_set_file_vers(pfa_file* file, int version) {
    if (!file || version < 0)
        return PFA_BAD_ARG;
    const int old = file->version;
    file->version = version;
    if (!fits(file)) {
        file->version = old;
        return PFA_TOO_LONG;
    }
    return PFA_OK;
}

int pfa_set_instance(pfa_file* file, const char16_t* instance) {
    if (!file)
        return PFA_BAD_ARG;
    std::u16string old = file->instance;
    file->instance = instance ? instance : u"";
    if (!validUtf16(file->instance) || !fits(file)) {
        file->instance = old;
        return PFA_TOO_LONG;
    }
    return PFA_OK;
}

int pfa_is_dir(const pfa_file* file) {
    return file && file->objType == PFA_OBJ_FOLDER ? 1 : 0;
}
void pfa_set_ui_hidden_flag(pfa_file* file, int hidden) {
    if (file)
        file->hidden = hidden != 0;
}
int pfa_get_ui_hidden_flag(const pfa_file* file) { return file && file->hidden ? 1 : 0; }

int pfa_set_content_hints(pfa_file* file, int openMode, int retrMode, int64_t a, int64_t b) {
    if (!file)
        return PFA_BAD_ARG;
    file->hints = true;
    file->openMode = openMode;
    file->retrMode = retrMode;
    file->hintA = a;
    file->hintB = b;
    return PFA_OK;
}

int pfa_get_content_hints(const pfa_file* file, int* openMode, int* retrMode, int64_t* a,
                          int64_t* b) {
    if (!file)
        return PFA_BAD_ARG;
    if (!file->hints)
        return PFA_NONE;
    if (openMode)
        *openMode = file->openMode;
    if (retrMode)
        *retrMode = file->retrMode;
    if (a)
        *a = file->hintA;
    if (b)
        *b = file->hintB;
    return PFA_OK;
}

int pfa_has_content_hints(const pfa_file* file, int* has) {
    if (!file || !has)
        return PFA_BAD_ARG;
    *has = file->hints ? 1 : 0;
    return PFA_OK;
}

namespace {
int versionFlagsOf(const pfa_file* file) {
    if (!file || file->kind < 0 || file->kind >= PFA_MAX_KIND)
        return 0;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    return t.kinds[file->kind].versionFlags;
}
} // namespace

int pfaloc_allows_numeric_versions(const pfa_file* file) {
    return (versionFlagsOf(file) & PFA_VERS_NUMERIC) ? 1 : 0;
}
int pfaloc_allows_string_versions(const pfa_file* file) {
    return (versionFlagsOf(file) & PFA_VERS_STRING) ? 1 : 0;
}
int pfaloc_allows_multiple_versions(const pfa_file* file) {
    return (versionFlagsOf(file) & PFA_VERS_MULTIPLE) ? 1 : 0;
}
void pfa_loc_set_version_flags(int kind, int flags) {
    if (kind < 0 || kind >= PFA_MAX_KIND)
        return;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    t.kinds[kind].versionFlags = flags;
}

// ---- application info -----------------------------------------------------------------

int appinfo_register_type(appinfo_release_fn release, appinfo_copy_fn copy, int) {
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    if (t.appinfoTypes.size() >= 1024)
        return -1;
    t.appinfoTypes.push_back(AppinfoType{release, copy});
    return int(t.appinfoTypes.size() - 1);
}

pfa_appinfo* pfa_find_appinfo(pfa_file* file, int type, int create) {
    if (!file || type < 0)
        return nullptr;
    for (auto& slot : file->appinfo)
        if (slot->type == type)
            return slot.get();
    if (!create)
        return nullptr;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> hold(t.lock);
        if (size_t(type) >= t.appinfoTypes.size())
            return nullptr;
    }
    file->appinfo.push_back(std::make_unique<pfa_appinfo>(pfa_appinfo{type, nullptr}));
    return file->appinfo.back().get();
}

// ---- location kinds -------------------------------------------------------------------

int pfa_loc_register_setup(int kind) {
    if (kind < 0 || kind >= PFA_MAX_KIND)
        return PFA_BAD_ARG;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    if (kind == 0) {
        if (t.settingUp > 0)
            t.kinds[t.settingUp].registered = true;
        t.settingUp = 0;
        return PFA_OK;
    }
    const int flags = t.kinds[kind].versionFlags;
    t.kinds[kind] = KindTable{};
    t.kinds[kind].versionFlags = flags;
    t.settingUp = kind;
    return PFA_OK;
}

int pfa_loc_method_register(int kind, int slot, int form, pfa_method method) {
    if (kind < 1 || kind >= PFA_MAX_KIND || slot < 0 || slot > PFA_MAX_SLOT || form < 0 ||
        !method)
        return PFA_BAD_ARG;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    if (t.settingUp != kind)
        return PFA_BAD_ARG;
    t.kinds[kind].methods[slot] = method;
    t.kinds[kind].forms[slot] = form;
    return PFA_OK;
}

pfa_method pfa_loc_method_get(int kind, int slot, int* form) { return methodOf(kind, slot, form); }

int pfa_loc_is_registered(int kind) {
    if (kind < 1 || kind >= PFA_MAX_KIND)
        return 0;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    return t.kinds[kind].registered ? 1 : 0;
}

int PfaNotificationAdd(int code, pfa_notification_fn handler, void*, int) {
    if (!handler)
        return PFA_BAD_ARG;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    for (const auto& n : t.notifications)
        if (n.code == code && n.handler == handler)
            return PFA_OK;
    t.notifications.push_back(Notification{code, handler});
    return PFA_OK;
}

int PfaNotify(int code, int64_t arg1, int64_t arg2) {
    std::vector<pfa_notification_fn> handlers;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> hold(t.lock);
        for (const auto& n : t.notifications)
            if (n.code == code)
                handlers.push_back(n.handler);
    }
    for (auto h : handlers)
        h(code, arg1, arg2);
    return int(handlers.size());
}

// ---- streams --------------------------------------------------------------------------

struct pfa_stream {
    pfa_file* file = nullptr;
    void* handle = nullptr; // the kind's stream
    int fd = -1;            // kind 0
    // Kind 0 opened to be written anew: fd is its temporary file, which
    // pfa_dispose puts in the target's place.
    std::unique_ptr<kkAtomicFile> replace;
};

namespace {

template <class Fn> Fn typedMethod(const pfa_file* file, int slot, int wantForm) {
    int form = -1;
    pfa_method m = methodOf(file ? file->kind : 0, slot, &form);
    return m && form == wantForm ? reinterpret_cast<Fn>(m) : nullptr;
}

bool nativeName(const pfa_file* f, std::string& out) {
    out.clear();
    return btkStrUtf16ToUtf8Strict(compose(f, PFA_MASK_ALL).c_str(), out);
}

pfa_stream* openLocal(pfa_file* f, int flags, int perm) {
    std::string path;
    if (!nativeName(f, path) || path.empty())
        return nullptr;
    const bool writing = (flags & 3) != PFA_O_RDONLY;
    if (writing && (flags & PFA_O_TRUNC) && !(flags & PFA_O_APPEND)) {
        // A file written anew is written beside its target and renamed over
        // it when the stream is disposed of without a failure.
        // An exclusive create stays exclusive to the end: the file is put
        // in place only if nothing took the name meanwhile (OpenNew).
        struct stat st {};
        const bool there = ::stat(path.c_str(), &st) == 0;
        if ((!there && !(flags & PFA_O_CREAT)) || (there && (flags & PFA_O_EXCL)))
            return nullptr;
        auto file = std::make_unique<kkAtomicFile>();
        const bool open = (flags & PFA_O_EXCL) ? file->OpenNew(path.c_str(), perm & 0777)
                                               : file->Open(path.c_str(), perm & 0777);
        if (!open)
            return nullptr;
        auto* s = new pfa_stream;
        s->file = f;
        s->fd = file->Fd();
        s->replace = std::move(file);
        return s;
    }
    int oflags = O_CLOEXEC;
    switch (flags & 3) {
    case PFA_O_WRONLY: oflags |= O_WRONLY; break;
    case PFA_O_RDWR: oflags |= O_RDWR; break;
    default: oflags |= O_RDONLY; break;
    }
    if (flags & PFA_O_APPEND)
        oflags |= O_APPEND;
    if (flags & PFA_O_CREAT)
        oflags |= O_CREAT;
    if (flags & PFA_O_EXCL)
        oflags |= O_EXCL;
    // Only a regular file is opened here, and a FIFO or device named by the
    // path cannot hold the open; one that is asked to be emptied (appending
    // with PFA_O_TRUNC) is emptied once it is known to be a regular file.
    const int fd = kkOpenRegularFile(path.c_str(), oflags, perm & 0777, nullptr);
    if (fd < 0)
        return nullptr;
    if (writing && (flags & PFA_O_TRUNC) && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto* s = new pfa_stream;
    s->file = f;
    s->fd = fd;
    return s;
}

pfa_stream* openByModeText(pfa_file* f, const char* mode) {
    auto open = typedMethod<pfa_form16_fn>(f, 10, 16);
    if (!open)
        return nullptr;
    char16_t name[PFA_NAME_MAX];
    void* handle = nullptr;
    // "r" opens an existing file; the other modes may make one.
    const int pfaMode = std::strchr(mode, 'r') ? 2 : 0;
    if (open(f, &handle, name, mode, pfaMode) != 0 || !handle)
        return nullptr;
    auto* s = new pfa_stream;
    s->file = f;
    s->handle = handle;
    return s;
}

} // namespace

pfa_stream* pfa_open_file(const char* name, int flags, int perm) {
    if (!name || !*name)
        return nullptr;
    std::u16string neutral;
    if (!btkStrUtf8ToUtf16Strict(name, neutral))
        return nullptr;
    pfa_file* f = pfa_alloc_qel_file();
    if (pfa_parse_to_qel_file(f, neutral.c_str(), PFA_OBJ_UNKNOWN) != PFA_OK) {
        pfa_free_qel_file(f);
        return nullptr;
    }
    pfa_stream* s = nullptr;
    if (f->kind == 0) {
        s = openLocal(f, flags, perm);
    } else if (flags & PFA_O_APPEND) {
        s = openByModeText(f, (flags & 3) == PFA_O_RDWR ? "a+" : "a");
    } else {
        int access = (flags & 3) == PFA_O_RDWR ? 2 : (flags & 3) == PFA_O_WRONLY ? 1 : 0;
        auto exists = typedMethod<pfa_form4_fn>(f, 35, 4);
        const bool there = exists && exists(f, 0) == 1;
        auto open = typedMethod<pfa_form13_fn>(f, 9, 13);
        bool refused = !open || (access != 0 && !(flags & PFA_O_CREAT) && !there) ||
                       ((flags & PFA_O_EXCL) && there) || (access == 0 && !there);
        // Reading and writing a file emptied: the stream starts empty and
        // the file keeps what it held until the stream's bytes replace it,
        // so a failure before the close loses nothing. A kind whose open
        // does not take that access refuses the open.
        if (access == 2 && (flags & PFA_O_TRUNC))
            access = UNI_REWRITE;
        char16_t nameBuf[PFA_NAME_MAX];
        void* handle = nullptr;
        if (!refused && open(f, &handle, nameBuf, access, 0) == 0 && handle) {
            s = new pfa_stream;
            s->file = f;
            s->handle = handle;
        }
    }
    if (!s)
        pfa_free_qel_file(f);
    return s;
}

pfa_stream* pfa_fopen(const pfa_file* file, const char* mode) {
    if (!file || !mode)
        return nullptr;
    pfa_file* f = pfa_alloc_qel_file();
    pfa_copy_qel_file(file, f);
    pfa_stream* s = nullptr;
    if (f->kind == 0) {
        int flags = 0;
        const bool plus = std::strchr(mode, '+') != nullptr;
        if (std::strchr(mode, 'w'))
            flags = (plus ? PFA_O_RDWR : PFA_O_WRONLY) | PFA_O_CREAT | PFA_O_TRUNC;
        else if (std::strchr(mode, 'a'))
            flags = (plus ? PFA_O_RDWR : PFA_O_WRONLY) | PFA_O_CREAT | PFA_O_APPEND;
        else
            flags = plus ? PFA_O_RDWR : PFA_O_RDONLY;
        s = openLocal(f, flags, 0666);
    } else {
        s = openByModeText(f, mode);
    }
    if (!s)
        pfa_free_qel_file(f);
    return s;
}

int pfa_read_file(pfa_stream* stream, void* buffer, int64_t size, int64_t* count) {
    if (!stream || !buffer || size < 0 || !count)
        return PFA_BAD_ARG;
    *count = 0;
    if (stream->fd >= 0) {
        ssize_t n;
        do
            n = ::read(stream->fd, buffer, size_t(size));
        while (n < 0 && errno == EINTR);
        if (n < 0)
            return PFA_FAIL;
        *count = n;
        return n == 0 && size > 0 ? PFA_END : PFA_OK;
    }
    auto read = typedMethod<pfa_form14_fn>(stream->file, 18, 14);
    return read ? read(stream->file, &stream->handle, buffer, size, count) : PFA_NO_METHOD;
}

int pfa_write_file(pfa_stream* stream, const void* buffer, int64_t size) {
    if (!stream || (!buffer && size) || size < 0)
        return PFA_BAD_ARG;
    if (stream->fd >= 0) {
        int err = 0;
        if (kkWriteAll(stream->fd, buffer, size_t(size), &err))
            return PFA_OK;
        if (stream->replace)
            stream->replace->SetFailed(std::string("cannot write: ") + btkSystemReason(err));
        return PFA_FAIL;
    }
    auto write = typedMethod<pfa_form12_fn>(stream->file, 21, 12);
    return write ? write(stream->file, &stream->handle, buffer, size, 0) : PFA_NO_METHOD;
}

int pfa_getc(pfa_stream* stream) {
    if (!stream)
        return -1;
    if (stream->fd >= 0) {
        unsigned char c;
        int64_t n = 0;
        return pfa_read_file(stream, &c, 1, &n) == PFA_OK && n == 1 ? c : -1;
    }
    auto getc = typedMethod<pfa_form6_fn>(stream->file, 6, 6);
    return getc ? getc(stream->file, &stream->handle) : -1;
}

int pfa_fgets(pfa_stream* stream, char* buffer, int64_t size, int64_t* count) {
    if (!stream || !buffer || size < 1 || !count)
        return PFA_BAD_ARG;
    if (stream->fd >= 0) {
        int64_t n = 0;
        while (n < size - 1) {
            const int c = pfa_getc(stream);
            if (c < 0)
                break;
            buffer[n++] = char(c);
            if (c == '\n')
                break;
        }
        buffer[n] = 0;
        *count = n;
        return n == 0 ? PFA_END : PFA_OK;
    }
    auto gets = typedMethod<pfa_form14_fn>(stream->file, 20, 14);
    return gets ? gets(stream->file, &stream->handle, buffer, size, count) : PFA_NO_METHOD;
}

int pfa_seek(pfa_stream* stream, int64_t position) {
    if (!stream || position < 0)
        return PFA_BAD_ARG;
    if (stream->fd >= 0)
        return ::lseek(stream->fd, off_t(position), SEEK_SET) < 0 ? PFA_FAIL : PFA_OK;
    auto seek = typedMethod<pfa_form10_fn>(stream->file, 15, 10);
    return seek ? seek(stream->file, &stream->handle, nullptr, position) : PFA_NO_METHOD;
}

int pfa_tell(pfa_stream* stream, int64_t* position) {
    if (!stream || !position)
        return PFA_BAD_ARG;
    if (stream->fd >= 0) {
        const off_t at = ::lseek(stream->fd, 0, SEEK_CUR);
        if (at < 0)
            return PFA_FAIL;
        *position = at;
        return PFA_OK;
    }
    auto tell = typedMethod<pfa_form10_fn>(stream->file, 14, 10);
    return tell ? tell(stream->file, &stream->handle, position, 0) : PFA_NO_METHOD;
}

int pfa_flush(pfa_stream* stream) {
    if (!stream)
        return PFA_BAD_ARG;
    if (stream->fd >= 0)
        return PFA_OK;
    auto flush = typedMethod<pfa_form6_fn>(stream->file, 24, 6);
    return flush ? flush(stream->file, &stream->handle) : PFA_NO_METHOD;
}

int pfa_dispose(pfa_stream* stream) {
    if (!stream)
        return PFA_BAD_ARG;
    int st = PFA_OK;
    if (stream->replace) {
        st = stream->replace->Commit() ? PFA_OK : PFA_FAIL; // closes the fd
    } else if (stream->fd >= 0) {
        st = ::close(stream->fd) == 0 ? PFA_OK : PFA_FAIL;
    } else if (stream->handle) {
        auto close = typedMethod<pfa_form6_fn>(stream->file, 11, 6);
        st = close ? close(stream->file, &stream->handle) : PFA_NO_METHOD;
    }
    pfa_free_qel_file(stream->file);
    delete stream;
    return st;
}

const pfa_file* pfa_stream_file(const pfa_stream* stream) { return stream ? stream->file : nullptr; }

// ---- folders and queries --------------------------------------------------------------

int pfa_list_dir(pfa_file* dir, int flags, void** records, int* skipped) {
    if (!dir || !records)
        return PFA_BAD_ARG;
    if (skipped)
        *skipped = 0;
    auto open = typedMethod<pfa_form15_fn>(dir, 30, 15);
    auto next = typedMethod<pfa_form15_fn>(dir, 32, 15);
    auto close = typedMethod<pfa_form6_fn>(dir, 31, 6);
    if (!open || !next || !close)
        return PFA_NO_METHOD;
    void* listing = nullptr;
    int listFlags = flags;
    const int opened = open(dir, &listing, nullptr, nullptr, nullptr, &listFlags);
    if (opened != 19)
        return opened == 0 ? PFA_FAIL : opened;
    pfa_file* entry = pfa_alloc_qel_file();
    for (;;) {
        int word = 0;
        const int st = next(dir, &listing, entry, nullptr, nullptr, &word);
        if (st == PFA_END)
            break;
        if (st != PFA_OK) {
            if (skipped)
                ++*skipped;
            continue;
        }
        if (xar_alloc_or_append(records, int(sizeof(pfa_file*)), 16, 1, &entry) != 0) {
            pfa_free_qel_file(entry);
            close(dir, &listing);
            return PFA_FAIL;
        }
        entry = pfa_alloc_qel_file();
    }
    pfa_free_qel_file(entry);
    close(dir, &listing);
    return PFA_OK;
}

void pfa_free_file_list(void** records) {
    if (!records || !*records)
        return;
    auto** files = static_cast<pfa_file**>(*records);
    for (int i = 0, n = xar_count(*records); i < n; ++i)
        pfa_free_qel_file(files[i]);
    xar_free(records);
}

namespace {
int callForm0(pfa_file* f, int slot) {
    auto m = typedMethod<pfa_form0_fn>(f, slot, 0);
    return m ? m(f) : PFA_NO_METHOD;
}
} // namespace

int pfa_delete_file(pfa_file* file) { return file ? callForm0(file, 25) : PFA_BAD_ARG; }
int pfa_make_dir(pfa_file* file) { return file ? callForm0(file, 27) : PFA_BAD_ARG; }
int pfa_remove_dir(pfa_file* file) { return file ? callForm0(file, 28) : PFA_BAD_ARG; }
int pfa_check_is_dir(pfa_file* file) { return file ? callForm0(file, 49) : PFA_BAD_ARG; }

int pfa_access(pfa_file* file, int mode) {
    auto m = typedMethod<pfa_form4_fn>(file, 35, 4);
    return file && m ? m(file, mode) : 0;
}

int pfa_file_size(pfa_file* file, int64_t* size) {
    auto m = typedMethod<pfa_form17_fn>(file, 38, 17);
    if (!file || !size)
        return PFA_BAD_ARG;
    return m ? m(file, size) : PFA_NO_METHOD;
}

int pfa_get_property(pfa_file* file, int code, char** value) {
    auto m = typedMethod<pfa_form5_fn>(file, 93, 5);
    if (!file || !value)
        return PFA_BAD_ARG;
    *value = nullptr;
    return m ? m(file, code, value) : PFA_NO_METHOD;
}

int pfa_parent(pfa_file* source, pfa_file* target) {
    auto m = typedMethod<pfa_form1_fn>(source, 48, 1);
    if (!source || !target)
        return PFA_BAD_ARG;
    return m ? m(source, target) : PFA_NO_METHOD;
}

struct pfa_dir {
    std::vector<std::u16string> names;
};

pfa_dir* pfa_alloc_dir(const void* nativeNames) {
    auto* d = new pfa_dir;
    const auto* texts = static_cast<char* const*>(nativeNames);
    for (int i = 0, n = xar_count(nativeNames); i < n; ++i) {
        std::u16string name;
        if (texts[i] && btkStrUtf8ToUtf16Strict(texts[i], name))
            d->names.push_back(std::move(name));
    }
    return d;
}

int pfa_dir_count(const pfa_dir* dir) { return dir ? int(dir->names.size()) : 0; }
const char16_t* pfa_dir_name(const pfa_dir* dir, int index) {
    return dir && index >= 0 && size_t(index) < dir->names.size() ? dir->names[size_t(index)].c_str()
                                                                   : nullptr;
}
void pfa_free_dir(pfa_dir* dir) { delete dir; }

// ---- helpers --------------------------------------------------------------------------

char* mknewstr(const char* text) {
    if (!text)
        return nullptr;
    const size_t n = std::strlen(text);
    auto* copy = static_cast<char*>(getmem(n + 1));
    if (copy)
        std::memcpy(copy, text, n + 1);
    return copy;
}

void xar_str_free(void** array) {
    if (!array || !*array)
        return;
    auto** texts = static_cast<char**>(*array);
    for (int i = 0, n = xar_count(*array); i < n; ++i)
        relmem(texts[i]);
    xar_free(array);
}

int copy_string_array_to_xarray(const char* const* texts, int count, void** out) {
    if (!out || count < 0 || (!texts && count))
        return -2;
    for (int i = 0; i < count; ++i) {
        char* copy = mknewstr(texts[i] ? texts[i] : "");
        if (!copy || xar_alloc_or_append(out, int(sizeof(char*)), 10, 1, &copy) != 0) {
            relmem(copy);
            return -10;
        }
    }
    return 0;
}

int copy_wstring_array_to_xarray(const char16_t* slots, int count, int slotSize, void** out) {
    if (!out || count < 0 || slotSize < 1 || (!slots && count))
        return -2;
    for (int i = 0; i < count; ++i) {
        const char16_t* s = slots + size_t(i) * size_t(slotSize);
        int n = 0;
        while (n < slotSize && s[n])
            ++n;
        auto* copy = static_cast<char16_t*>(getmem((size_t(n) + 1) * sizeof(char16_t)));
        if (!copy)
            return -10;
        std::memcpy(copy, s, size_t(n) * sizeof(char16_t));
        copy[n] = 0;
        if (xar_alloc_or_append(out, int(sizeof(char16_t*)), 10, 1, &copy) != 0) {
            relmem(copy);
            return -10;
        }
    }
    return 0;
}

void xar_wstr_free(void** array) {
    if (!array || !*array)
        return;
    auto** texts = static_cast<char16_t**>(*array);
    for (int i = 0, n = xar_count(*array); i < n; ++i)
        relmem(texts[i]);
    xar_free(array);
}

int find_sub_class(const char* name) {
    if (!name || !*name)
        return 0;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.subClasses.find(name);
    if (it != t.subClasses.end())
        return it->second;
    const int id = int(t.subClasses.size()) + 1;
    t.subClasses.emplace(name, id);
    return id;
}

int vorn_gmtime(int64_t time, vorn_tm* out) {
    if (!out)
        return PFA_BAD_ARG;
    const time_t t = time_t(time);
    struct tm parts {};
    if (!gmtime_r(&t, &parts))
        return PFA_FAIL;
    out->year = parts.tm_year + 1900;
    out->month = parts.tm_mon + 1;
    out->day = parts.tm_mday;
    out->hour = parts.tm_hour;
    out->minute = parts.tm_min;
    out->second = parts.tm_sec;
    return PFA_OK;
}

int qel_bind(const char* name, qel_context_fn function) {
    if (!name || !*name)
        return 0;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    if (function)
        t.bound[name] = function;
    else
        t.bound.erase(name);
    return 1;
}

int qel_is_bound(const char* name) { return qel_call(name) ? 1 : 0; }

qel_context_fn qel_call(const char* name) {
    if (!name)
        return nullptr;
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    auto it = t.bound.find(name);
    return it == t.bound.end() ? nullptr : it->second;
}

int qel_printf(const char* format, ...) {
    if (!format)
        return 0;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? size_t(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), size_t(n) + 1, format, again);
    va_end(again);
    qel_print_sink sink;
    {
        Tables& t = tables();
        std::lock_guard<std::mutex> hold(t.lock);
        sink = t.sink;
    }
    if (sink)
        sink(text.c_str());
    else
        std::fputs(text.c_str(), stdout);
    return n;
}

void qel_set_print_sink(qel_print_sink sink) {
    Tables& t = tables();
    std::lock_guard<std::mutex> hold(t.lock);
    t.sink = sink;
}

int btk_stat(const char* path, int64_t* size, int* isDir) {
    struct stat st {};
    if (!path || ::stat(path, &st) != 0)
        return -1;
    if (size)
        *size = int64_t(st.st_size);
    if (isDir)
        *isDir = S_ISDIR(st.st_mode) ? 1 : 0;
    return 0;
}

} // namespace zbase_internal
