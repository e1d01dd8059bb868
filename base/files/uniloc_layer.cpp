// The uni function layer over the registered locations (see uniloc.h).
#include "uniloc.h"

#include "btkstring.h"
#include "pfa.h"
#include "xmemory.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstring>
#include <map>
#include <mutex>

#include <fnmatch.h>

inline namespace zbase_internal {

namespace {

// Files made larger than this by a truncate are refused.
constexpr int64_t kUniMaxGrow = int64_t(1) << 30;
constexpr size_t kUniMaxName = 64;

struct UniPath {
    unilocation* loc = nullptr;
    std::string name;  // the location's name
    std::string inner; // normalised path inside it
    std::string Full() const { return name + ":" + inner; }
};

bool validUtf8(const char* text) {
    char16_t one[1];
    return mbxNativeToNeut(text, one, 1) != -1;
}

bool nameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

// "name:/inner" of a registered location; false for anything else.
bool split(const char* path, UniPath& out) {
    if (!path || !*path || strnlen(path, kUniMaxPath + 1) > kUniMaxPath || !validUtf8(path))
        return false;
    const char* colon = std::strchr(path, ':');
    if (!colon || colon == path || size_t(colon - path) > kUniMaxName)
        return false;
    for (const char* c = path; c != colon; ++c)
        if (!nameChar(*c))
            return false;
    out.name.assign(path, size_t(colon - path));
    const char* rest = colon + 1;
    if (!*rest)
        rest = "/";
    if (!uniNormalizePath(rest, out.inner, nullptr))
        return false;
    out.loc = unilocation::FindByName(out.name);
    return out.loc != nullptr;
}

std::string parentOf(const std::string& inner) {
    const size_t slash = inner.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : inner.substr(0, slash);
}

std::string lastSegment(const std::string& inner) {
    const size_t slash = inner.rfind('/');
    return slash == std::string::npos ? inner : inner.substr(slash + 1);
}

bool copyOut(const std::string& text, char* out, int size) {
    if (!out || size < 1 || text.size() + 1 > size_t(size))
        return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

template <class T> std::string decimal(T value) {
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, r.ptr);
}

// Process-wide state of the layer.
struct LayerState {
    std::mutex lock;
    std::map<std::string, std::vector<int32_t>> txns; // open transactions and their hint kinds
    std::map<std::string, std::vector<int64_t>> contentHints;
    std::map<std::string, std::string> neutralData;
    std::vector<std::string> shortcutNames, shortcutRoots, shortcutTexts;
    std::vector<const char*> shortcutNamePtrs, shortcutRootPtrs, shortcutTextPtrs;
};
LayerState& state() {
    static LayerState* s = new LayerState;
    return *s;
}

// f(state, parts) under the state's lock for a path of a registered
// location; 0 when `path` is not one.
template <class F>
int underLock(const char* path, F f) {
    UniPath p;
    if (!split(path, p))
        return 0;
    LayerState& s = state();
    std::lock_guard<std::mutex> hold(s.lock);
    return f(s, p);
}

std::atomic<int> g_dirCache{0};

} // namespace

struct uni_handle {
    std::string path; // "name:/folder"
    std::vector<std::u16string> categories;
};

struct uni_stream {
    unilocation* loc = nullptr;
    std::string inner;
    std::string data;
    size_t pos = 0;
    std::string pending; // bytes pushed back, last pushed at the end
    int access = 0;
    bool dirty = false;
};

struct uni_dir {
    std::vector<uniEntry> entries;
    size_t next = 0;
    bool showHidden = false;
};

struct uni_txnmsg {
    int kind;
};

// ---- handles and locations --------------------------------------------------------------

int uni_is_unilocation(const char* path, uni_handle** out) {
    UniPath p;
    if (!split(path, p))
        return 0;
    if (out)
        *out = new uni_handle{p.Full(), {}};
    return 1;
}

void uni_handle_on_release(void* handle) { delete static_cast<uni_handle*>(handle); }

void* uni_handle_on_copy(void* handle) {
    return handle ? new uni_handle(*static_cast<uni_handle*>(handle)) : nullptr;
}

const char* uni_handle_path(const uni_handle* handle) { return handle ? handle->path.c_str() : ""; }

int uni_set_location(const char* path, void* target, uni_handle* handle, int* consumed,
                     uni_component_setter setter) {
    if (!path || !setter)
        return 0;
    const char* slash = std::strrchr(path, '/');
    const size_t length = slash ? size_t(slash - path) + 1 : std::strlen(path);
    if (!slash && (length == 0 || path[length - 1] != ':'))
        return 0;
    const std::string folder(path, length);
    UniPath p;
    if (!split(folder.c_str(), p))
        return 0;
    const std::string root = p.name + ":";
    const std::string dir = p.inner == "/" ? "/" : p.inner + "/";
    const char* texts[3] = {root.c_str(), dir.c_str(), ""};
    if (setter(target, texts) != 0)
        return 0;
    if (handle)
        handle->path = p.Full();
    if (consumed)
        *consumed = int(length);
    return 1;
}

int uni_get_location(char16_t* buffer, void* source, int flags, int size,
                     uni_component_getter getter) {
    if (!buffer || size < 1 || !getter)
        return 0;
    char16_t texts[3][260] = {};
    if (getter(source, texts) != 0)
        return 0;
    std::u16string s;
    for (auto& t : texts) {
        t[259] = 0;
        s += t;
    }
    if ((flags & 1) && s.size() > 1 && s.back() == u'/' && s[s.size() - 2] != u':')
        s.pop_back();
    if (s.empty() || s.size() + 1 > size_t(size))
        return 0;
    std::memcpy(buffer, s.c_str(), (s.size() + 1) * sizeof(char16_t));
    return 1;
}

// ---- streams ----------------------------------------------------------------------------

uni_stream* uni_open(const char* path, int access, int create) {
    UniPath p;
    if (!split(path, p) || p.inner == "/" || p.loc->IsDirectory(p.inner.c_str()))
        return nullptr;
    int base = access & 3;
    if (base == UNI_REWRITE && (access & UNI_APPEND))
        return nullptr;
    auto s = std::make_unique<uni_stream>();
    s->loc = p.loc;
    s->inner = p.inner;
    // Emptied, then read and written as an update.
    const bool rewrite = base == UNI_REWRITE;
    if (rewrite)
        base = UNI_UPDATE;
    s->access = base | (access & UNI_APPEND);
    const bool exists = p.loc->IsFile(p.inner.c_str());
    // Reading, updating and appending start from what the file holds.
    if (base == UNI_READ || (exists && !rewrite && (base == UNI_UPDATE || (access & UNI_APPEND)))) {
        if (!p.loc->ReadFile(p.inner.c_str(), s->data, nullptr))
            return nullptr;
    } else {
        // Writing empties the file, and updating a missing one makes it. An
        // existing file is emptied only by the close, with whatever was
        // written: until then, and after a failed close, it keeps what it
        // held.
        if (!exists && !create)
            return nullptr;
        if (exists)
            s->dirty = true;
        else if (!p.loc->WriteFile(p.inner.c_str(), "", 0, nullptr))
            return nullptr;
    }
    if (s->access & UNI_APPEND)
        s->pos = s->data.size();
    return s.release();
}

int uni_flush(uni_stream* stream) {
    if (!stream)
        return 0;
    if (!stream->dirty)
        return 1;
    if (!stream->loc->WriteFile(stream->inner.c_str(), stream->data.data(), stream->data.size(),
                                nullptr))
        return 0;
    stream->dirty = false;
    return 1;
}

int uni_close(uni_stream* stream) {
    if (!stream)
        return 0;
    const int ok = uni_flush(stream);
    delete stream;
    return ok;
}

int uni_read(uni_stream* stream, void* buffer, int64_t size, int64_t* count) {
    if (count)
        *count = 0;
    if (!stream || !buffer || size < 0 || (stream->access & 3) == UNI_WRITE)
        return 0;
    auto* out = static_cast<char*>(buffer);
    int64_t n = 0;
    while (n < size && !stream->pending.empty()) {
        out[n++] = stream->pending.back();
        stream->pending.pop_back();
    }
    const int64_t left = int64_t(stream->data.size() - std::min(stream->pos, stream->data.size()));
    const int64_t take = std::min(size - n, left);
    if (take > 0) {
        std::memcpy(out + n, stream->data.data() + stream->pos, size_t(take));
        stream->pos += size_t(take);
        n += take;
    }
    if (count)
        *count = n;
    return 1;
}

int uni_fgets(uni_stream* stream, char* buffer, int64_t size, int64_t* count) {
    if (count)
        *count = 0;
    if (!stream || !buffer || size < 1 || (stream->access & 3) == UNI_WRITE)
        return 0;
    int64_t n = 0;
    while (n < size - 1) {
        char c;
        int64_t got = 0;
        uni_read(stream, &c, 1, &got);
        if (got == 0)
            break;
        buffer[n++] = c;
        if (c == '\n')
            break;
    }
    buffer[n] = 0;
    if (count)
        *count = n;
    return 1;
}

int uni_ungetc(uni_stream* stream, int c) {
    if (!stream || c < 0 || c > 255 || stream->pending.size() >= 4096)
        return 0;
    stream->pending += char(c);
    return 1;
}

int uni_write(uni_stream* stream, const void* buffer, int64_t length, int) {
    if (!stream || length < 0 || (!buffer && length) || (stream->access & 3) == UNI_READ)
        return 0;
    stream->pending.clear();
    if (stream->access & UNI_APPEND)
        stream->pos = stream->data.size();
    if (length == 0)
        return 1;
    const size_t end = stream->pos + size_t(length);
    if (end > stream->data.size())
        stream->data.resize(end);
    std::memcpy(stream->data.data() + stream->pos, buffer, size_t(length));
    stream->pos = end;
    stream->dirty = true;
    return 1;
}

int uni_setbuf(uni_stream* stream, void*, int, int) {
    // Streams hold their file whole, so a caller's buffer is not needed.
    return stream ? 1 : 0;
}

int uni_tell(uni_stream* stream, int64_t* position) {
    if (!stream || !position)
        return 0;
    const size_t back = std::min(stream->pending.size(), stream->pos);
    *position = int64_t(stream->pos - back);
    return 1;
}

int uni_seek(uni_stream* stream, int64_t position) {
    if (!stream || position < 0 || uint64_t(position) > stream->data.size())
        return 0;
    stream->pending.clear();
    stream->pos = size_t(position);
    return 1;
}

int uni_rewind(uni_stream* stream) { return uni_seek(stream, 0); }

int uni_unwind(uni_stream* stream) {
    return stream ? uni_seek(stream, int64_t(stream->data.size())) : 0;
}

int uni_get_open_mode(uni_stream* stream, int* access) {
    if (!stream || !access)
        return 0;
    *access = stream->access;
    return 1;
}

int uni_convert_open_mode(int mode) {
    if (mode & 8)
        return 5;
    static const int modes[8] = {1, 1, 2, 3, 4, 6, -1, -1};
    return modes[mode & 7];
}

// ---- files and folders ------------------------------------------------------------------

int uni_access(const char* path, int mode) {
    UniPath p;
    if (!split(path, p))
        return 0;
    const bool exists = p.loc->IsDirectory(p.inner.c_str()) || p.loc->IsFile(p.inner.c_str());
    if (mode & ~(UNI_ACC_WRITE | UNI_ACC_READ | UNI_ACC_DIRS | UNI_ACC_RENAME | UNI_ACC_TRUNCATE |
                 UNI_ACC_MEMORY))
        return 0;
    if ((mode & (UNI_ACC_WRITE | UNI_ACC_READ)) || mode == UNI_ACC_EXISTS)
        if (!exists)
            return 0;
    if ((mode & UNI_ACC_RENAME) && !dynamic_cast<unilocallocation*>(p.loc))
        return 0;
    if ((mode & UNI_ACC_MEMORY) && !p.loc->IsTransient())
        return 0;
    return 1;
}

int uni_del_file(const char* path) {
    UniPath p;
    return split(path, p) && p.loc->RemoveFile(p.inner.c_str(), nullptr) ? 1 : 0;
}

int uni_truncate(const char* path, int64_t size) {
    UniPath p;
    std::string data;
    if (size < 0 || !split(path, p) || !p.loc->ReadFile(p.inner.c_str(), data, nullptr))
        return 0;
    if (size > int64_t(data.size()) && size - int64_t(data.size()) > kUniMaxGrow)
        return 0;
    data.resize(size_t(size));
    return p.loc->WriteFile(p.inner.c_str(), data.data(), data.size(), nullptr) ? 1 : 0;
}

int uni_dir_create(const char* path) {
    UniPath p;
    return split(path, p) && p.loc->MakeDirectory(p.inner.c_str(), 0, nullptr) ? 1 : 0;
}

int uni_dir_remove(const char* path) {
    UniPath p;
    return split(path, p) && p.loc->RemoveDirectory(p.inner.c_str(), nullptr) ? 1 : 0;
}

int uni_dir_rename(const char* from, const char* to) {
    UniPath a, b;
    if (!split(from, a) || !split(to, b) || a.loc != b.loc)
        return 0;
    return a.loc->Rename(a.inner.c_str(), b.inner.c_str(), nullptr) ? 1 : 0;
}

int uni_is_dir(const char* path) {
    UniPath p;
    if (!split(path, p))
        return -1;
    return p.loc->IsDirectory(p.inner.c_str()) ? 1 : 0;
}

int uni_dir_is_virtual(const char* path) {
    UniPath p;
    return split(path, p) && p.loc->IsVirtual() ? 1 : 0;
}

int uni_file_get_size(const char* path, int64_t* size) {
    UniPath p;
    uniStat st;
    if (!size || !split(path, p) || !p.loc->Stat(p.inner.c_str(), st, nullptr) || st.isDir)
        return 0;
    *size = st.size;
    return 1;
}

int uni_file_get_times(const char* path, int64_t* created, int64_t* modified, int64_t* accessed) {
    UniPath p;
    uniStat st;
    if (!split(path, p) || !p.loc->Stat(p.inner.c_str(), st, nullptr) || st.modified < 0)
        return 0;
    if (created)
        *created = st.created;
    if (modified)
        *modified = st.modified;
    if (accessed)
        *accessed = st.accessed;
    return 1;
}

int uni_extract_parent(const char* path, char* out, int size) {
    UniPath p;
    if (!split(path, p))
        return 0;
    if (p.inner == "/")
        return copyOut("", out, size) ? 1 : 0;
    const std::string parent = parentOf(p.inner);
    return copyOut(p.name + ":" + (parent == "/" ? "/" : parent + "/"), out, size) ? 1 : 0;
}

int uni_root_dir_name(const char* path, char* out, int size) {
    UniPath p;
    return split(path, p) && copyOut(p.name + ":/", out, size) ? 1 : 0;
}

// ---- listings ---------------------------------------------------------------------------

uni_dir* uni_dir_open(uni_handle* handle, const char* pattern, void*, void*, int flags) {
    UniPath p;
    if (!handle || !split(handle->path.c_str(), p))
        return nullptr;
    std::vector<uniEntry> all;
    if (!p.loc->List(p.inner.c_str(), all, nullptr))
        return nullptr;
    auto* dir = new uni_dir;
    dir->showHidden = (flags & UNI_DIR_HIDDEN) != 0;
    const bool filesOnly = (flags & UNI_DIR_FILES) && !(flags & UNI_DIR_FOLDERS);
    for (auto& e : all) {
        if (filesOnly && e.isDir)
            continue;
        if (pattern && *pattern && fnmatch(pattern, e.name.c_str(), FNM_PERIOD) != 0)
            continue;
        dir->entries.push_back(std::move(e));
    }
    return dir;
}

uni_dir* uni_dir_open_roots(int options, int group) {
    auto* dir = new uni_dir;
    dir->showHidden = true;
    if (options & 32)
        return dir;
    for (const std::string& name : unilocation::RegisteredNames()) {
        unilocation* loc = unilocation::FindByName(name);
        if (!loc || name.empty() || name.size() > kUniMaxName ||
            !std::all_of(name.begin(), name.end(), nameChar))
            continue;
        if ((group == 2) == loc->IsVirtual())
            dir->entries.push_back(uniEntry{name + ":/", true});
    }
    return dir;
}

int uni_dir_rewind(uni_dir* dir) {
    if (!dir)
        return 0;
    dir->next = 0;
    return 1;
}

int uni_dir_read_next(uni_dir* dir, char* name, int size, int* kind, int hidden) {
    if (!dir || !name || size < 1)
        return 0;
    while (dir->next < dir->entries.size()) {
        const uniEntry& e = dir->entries[dir->next++];
        if (!dir->showHidden && !hidden && !e.name.empty() && e.name[0] == '.')
            continue;
        if (!copyOut(e.name, name, size))
            continue;
        if (kind)
            *kind = e.isDir ? UNI_ENTRY_DIR : UNI_ENTRY_FILE;
        return 1;
    }
    return 0;
}

int uni_dir_close(uni_handle*, uni_dir* dir) {
    if (!dir)
        return 0;
    delete dir;
    return 1;
}

void uni_set_dir_cache(int on, int64_t) { g_dirCache.store(on ? 1 : 0); }
int uni_get_dir_cache(void) { return g_dirCache.load(); }

// ---- descriptions and properties --------------------------------------------------------

int uni_UI_info(const char* path, int isDir, char** text, void*, void*, int* flag) {
    UniPath p;
    if (!text || !split(path, p))
        return 0;
    // The text lives in the layer until the thread's next call.
    thread_local std::string info;
    info = std::string(isDir ? "Folder" : "File") + " in " + p.name;
    *text = info.data();
    if (flag)
        *flag = 1;
    return 1;
}

int uni_browser_shortcuts(int options, const char*** names, const char*** roots,
                          const char*** descriptions) {
    if (!names || !roots || !descriptions || (options & 32))
        return 0;
    LayerState& s = state();
    std::lock_guard<std::mutex> hold(s.lock);
    s.shortcutNames.clear();
    s.shortcutRoots.clear();
    s.shortcutTexts.clear();
    for (const std::string& name : unilocation::RegisteredNames()) {
        unilocation* loc = unilocation::FindByName(name);
        if (!loc || name.empty() || name.size() > kUniMaxName ||
            !std::all_of(name.begin(), name.end(), nameChar))
            continue;
        s.shortcutNames.push_back(name);
        s.shortcutRoots.push_back(name + ":/");
        s.shortcutTexts.push_back(loc->IsTransient() ? "in memory"
                                  : loc->IsVirtual() ? "virtual"
                                                     : "folder");
    }
    auto ptrs = [](std::vector<std::string>& from, std::vector<const char*>& to) {
        to.clear();
        for (auto& t : from)
            to.push_back(t.c_str());
    };
    ptrs(s.shortcutNames, s.shortcutNamePtrs);
    ptrs(s.shortcutRoots, s.shortcutRootPtrs);
    ptrs(s.shortcutTexts, s.shortcutTextPtrs);
    *names = s.shortcutNamePtrs.data();
    *roots = s.shortcutRootPtrs.data();
    *descriptions = s.shortcutTextPtrs.data();
    return int(s.shortcutNames.size());
}

int uni_get_subclass(const char* path, char* className, int size) {
    UniPath p;
    if (!split(path, p))
        return 0;
    const char* kind = p.loc->IsTransient() ? "uni_memory"
                       : p.loc->IsVirtual() ? "uni_virtual"
                                            : "uni_folder";
    return copyOut(kind, className, size) ? 1 : 0;
}

int uni_get_property(const char* path, int code, char** value, void*) {
    UniPath p;
    if (!value || !split(path, p))
        return 0;
    *value = nullptr;
    uniStat st;
    const bool known = p.loc->Stat(p.inner.c_str(), st, nullptr);
    std::string text;
    switch (code) {
    case 1: text = p.inner == "/" ? p.name : lastSegment(p.inner); break;
    case 2:
        if (!known || st.isDir)
            return 0;
        text = decimal(st.size);
        break;
    case 3:
        if (!known || st.modified < 0)
            return 0;
        text = decimal(st.modified);
        break;
    case 4:
        if (!known)
            return 0;
        text = st.isDir ? "folder" : "file";
        break;
    case 5: text = p.name; break;
    default: return 0;
    }
    *value = mknewstr(text.c_str());
    return *value ? 1 : 0;
}

int uni_get_properties_url(const char* path, char** url) {
    UniPath p;
    if (!url || !split(path, p))
        return 0;
    // These locations have no properties page: the address is empty.
    static char empty[1] = {0};
    *url = empty;
    return 1;
}

// ---- detail views -----------------------------------------------------------------------

int uni_dir_has_detail_configs(uni_handle*, void*) { return 0; }
int uni_dir_get_num_detail_configs(uni_handle*, int) { return 0; }
int uni_dir_get_detail_config(uni_handle*, int, int, char*, char16_t*) { return 0; }
int uni_dir_get_selected_detail_config(uni_handle*, int, int*) { return 0; }
int uni_dir_set_selected_detail_config(uni_handle*, void*, const char*) { return 0; }

int uni_dir_allowed_disp_modes(const char* path, void* modes, void* defaultMode) {
    UniPath p;
    if (!split(path, p))
        return 0;
    if (modes)
        *static_cast<int*>(modes) = 3; // list and details
    if (defaultMode)
        *static_cast<int*>(defaultMode) = 1;
    return 1;
}

namespace {
const char* const kColumns[3] = {"Name", "Size", "Modified"};
}

int uni_dir_num_detail_columns(uni_handle* handle) { return handle ? 3 : 0; }

int uni_dir_get_column_info(uni_handle* handle, int column, void* title, void* width) {
    if (!handle || column < 0 || column > 2)
        return 0;
    if (title)
        *static_cast<const char**>(title) = kColumns[column];
    if (width)
        *static_cast<int*>(width) = column == 0 ? 200 : 100;
    return 1;
}

int uni_dir_get_entry_info(uni_handle* handle, int column, const char*, const char* entry,
                           char** text, void*) {
    UniPath p;
    uniStat st;
    if (!handle || !text || column < 0 || column > 2 || !split(entry, p) ||
        !p.loc->Stat(p.inner.c_str(), st, nullptr))
        return 0;
    const std::string value = column == 0   ? lastSegment(p.inner)
                              : column == 1 ? (st.isDir ? "" : decimal(st.size))
                                            : (st.modified < 0 ? "" : decimal(st.modified));
    *text = mknewstr(value.c_str());
    return *text ? 1 : 0;
}

int uni_dir_free_entry_info(uni_handle* handle, void* text) {
    if (!handle)
        return 0;
    relmem(text);
    return 1;
}

int uni_dir_alloc_categories_for_type(uni_handle* handle, const char* path, int type, void*) {
    UniPath p;
    if (!handle || !split(path, p))
        return 0;
    handle->categories.clear();
    handle->categories.push_back(u"All files");
    if (type > 0) {
        std::u16string t = u"Type ";
        for (char c : decimal(type))
            t += char16_t(c);
        handle->categories.push_back(t);
    }
    return int(handle->categories.size());
}

int uni_dir_get_category_for_type(uni_handle* handle, int index, char16_t* name) {
    if (!handle || !name || index < 0 || size_t(index) >= handle->categories.size())
        return 0;
    wsncpy(name, handle->categories[size_t(index)].c_str(), 260);
    return 1;
}

int uni_dir_release_categories_for_type(uni_handle* handle) {
    if (!handle)
        return 0;
    handle->categories.clear();
    return 1;
}

// ---- searches ---------------------------------------------------------------------------

int uni_lib_search(const char* name, const char* target, const char* text, char* out, int size) {
    if (!target || !*target || std::strchr(target, '/') || std::strcmp(target, ".") == 0 ||
        std::strcmp(target, "..") == 0)
        return 0;
    std::vector<std::string> folders;
    if (name && *name)
        folders.emplace_back(name);
    if (text) {
        const char* at = text;
        while (*at) {
            const char* end = std::strchr(at, ';');
            const size_t n = end ? size_t(end - at) : std::strlen(at);
            if (n)
                folders.emplace_back(at, n);
            at += n + (end ? 1 : 0);
        }
    }
    for (const std::string& folder : folders) {
        UniPath dir;
        if (!split(folder.c_str(), dir))
            continue;
        const std::string candidate =
            dir.name + ":" + (dir.inner == "/" ? "" : dir.inner) + "/" + target;
        UniPath file;
        if (split(candidate.c_str(), file) && file.loc->IsFile(file.inner.c_str()))
            return copyOut(file.Full(), out, size) ? 1 : 0;
    }
    return 0;
}

int uni_wildcard_search(const char* name, const char* pattern, void** list) {
    UniPath p;
    std::vector<uniEntry> entries;
    if (!list || !pattern || !split(name, p) || !p.loc->List(p.inner.c_str(), entries, nullptr))
        return 0;
    for (const uniEntry& e : entries) {
        if (fnmatch(pattern, e.name.c_str(), FNM_PERIOD) != 0)
            continue;
        const std::string full = p.name + ":" + (p.inner == "/" ? "" : p.inner) + "/" + e.name;
        char* copy = mknewstr(full.c_str());
        if (!copy || xar_alloc_or_append(list, int(sizeof(char*)), 16, 1, &copy) != 0) {
            relmem(copy);
            return 0;
        }
    }
    return 1;
}

// ---- tags, versions, kinds of content ---------------------------------------------------

int uni_ugctag_control(const char*, int) { return 0; }

int uni_ugctag_hint(const char* path, int, void*) {
    UniPath p;
    return split(path, p) ? 1 : 0; // hints are accepted; no tags are kept
}

int uni_get_file_version(const char* path, int which, int* version, void*) {
    UniPath p;
    if (!version || (which != 1 && which != 2) || !split(path, p) ||
        !p.loc->IsFile(p.inner.c_str()))
        return 0;
    *version = 0; // one unnumbered version per file
    return 1;
}

int uni_does_support_file_versioning(const char*) { return 0; }
int uni_does_guarantee_type(const char*) { return 0; }
int uni_does_use_instance_index(const char*) { return 0; }
int uni_does_have_content_names(const char*) { return 0; }

int uni_get_content_names(const char* path, void**, int* count, int) {
    UniPath p;
    if (!count || !split(path, p))
        return 0;
    *count = 0;
    return 1;
}

int uni_is_transient(const char* path) {
    UniPath p;
    return split(path, p) && p.loc->IsTransient() ? 1 : 0;
}

// ---- transactions -----------------------------------------------------------------------

namespace {
bool hintsValid(int count, const uni_hint* hints) {
    return count >= 0 && count <= 4096 && (hints || count == 0);
}
} // namespace

int uni_open_txn(const char* path, int count, const uni_hint* hints) {
    if (!hintsValid(count, hints))
        return 0;
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        auto [it, made] = s.txns.emplace(p.Full(), std::vector<int32_t>{});
        if (!made)
            return 0;
        for (int i = 0; i < count; ++i)
            it->second.push_back(hints[i].kind);
        return 1;
    });
}

int uni_add_txn_hints(const char* path, int count, const uni_hint* hints) {
    if (!hintsValid(count, hints))
        return 0;
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        auto it = s.txns.find(p.Full());
        if (it == s.txns.end())
            return 0;
        for (int i = 0; i < count; ++i)
            it->second.push_back(hints[i].kind);
        return 1;
    });
}

int uni_test_txn(const char* path, int count, const uni_hint* hints, uni_txnmsg** message, void*) {
    if (!hintsValid(count, hints))
        return 0;
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        const bool open = s.txns.count(p.Full()) != 0;
        if (message)
            *message = new uni_txnmsg{open ? 1 : 0};
        return 1;
    });
}

int uni_close_txn(const char* path) {
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        return s.txns.erase(p.Full()) ? 1 : 0;
    });
}

int uni_get_transaction_owner(const char* path, char* owner, int size) {
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        // The owner is the innermost folder, this one or above, with an open one.
        for (std::string inner = p.inner;; inner = parentOf(inner)) {
            const std::string full = p.name + ":" + inner;
            if (s.txns.count(full))
                return copyOut(inner == "/" ? full : full + "/", owner, size) ? 1 : 0;
            if (inner == "/")
                return 0;
        }
    });
}

int uni_txnmsg_getinfo(const uni_txnmsg* message, int* kind) {
    if (!message)
        return 0;
    if (kind)
        *kind = message->kind;
    return 1;
}

int uni_txnmsg_free(uni_txnmsg* message) {
    if (!message)
        return 0;
    delete message;
    return 1;
}

int uni_open_txn_count(void) {
    LayerState& s = state();
    std::lock_guard<std::mutex> hold(s.lock);
    return int(s.txns.size());
}

// ---- content hints and neutral data -----------------------------------------------------

int uni_set_content_hints(const char* path, int openMode, int retrMode, int64_t a, int64_t b) {
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        s.contentHints[p.Full()] = {openMode, retrMode, a, b};
        return 1;
    });
}

int uni_release_content_hints(const char* path) {
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        return s.contentHints.erase(p.Full()) ? 1 : 0;
    });
}

int uni_has_content_hints_for(const char* path) {
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        return s.contentHints.count(p.Full()) ? 1 : 0;
    });
}

int uni_get_2nd_content_msg(const char*, void*, void*, void*, void*, int) { return 0; }

int uni_does_support_neutral_data(const char* path) {
    UniPath p;
    return split(path, p) ? 1 : 0;
}

int uni_put_neutral_data(const char* path, int size, const void* data) {
    if (size < 0 || (!data && size))
        return 0;
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        s.neutralData[p.Full()].assign(static_cast<const char*>(data ? data : ""), size_t(size));
        return 1;
    });
}

int uni_get_neutral_data(const char* path, int, void** data, int64_t* size, void*) {
    if (!data || !size)
        return 0;
    return underLock(path, [&](LayerState& s, const UniPath& p) {
        auto it = s.neutralData.find(p.Full());
        if (it == s.neutralData.end())
            return 0;
        void* copy = getmem(it->second.size() + 1);
        if (!copy)
            return 0;
        std::memcpy(copy, it->second.data(), it->second.size());
        *data = copy;
        *size = int64_t(it->second.size());
        return 1;
    });
}

} // namespace zbase_internal
