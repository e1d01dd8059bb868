#include "uniloc.h"

#include <algorithm>
#include <cstring>
#include <string_view>

// ---- paths ---------------------------------------------------------------------------

bool uniNormalizePath(const char* path, std::string& out, std::string* error) {
    auto refuse = [&](const char* why) {
        if (error)
            *error = std::string("bad path: ") + why;
        return false;
    };
    out.clear();
    if (!path || path[0] != '/')
        return refuse("a path must begin with '/'");
    const size_t length = strnlen(path, kUniMaxPath + 1);
    if (length > kUniMaxPath)
        return refuse("too long");
    std::string result;
    size_t i = 0;
    while (i < length) {
        while (i < length && path[i] == '/')
            ++i;
        const size_t b = i;
        while (i < length && path[i] != '/') {
            const unsigned char c = static_cast<unsigned char>(path[i]);
            if (c < 0x20 || c == 0x7f)
                return refuse("control character");
            ++i;
        }
        const std::string_view seg(path + b, i - b);
        if (seg.empty())
            continue;
        if (seg == "." || seg == "..")
            return refuse("'.' and '..' are not allowed");
        result += '/';
        result += seg;
    }
    out = result.empty() ? "/" : result;
    return true;
}

namespace {
std::string parentOf(const std::string& normalised) {
    size_t slash = normalised.rfind('/');
    return slash == 0 ? "/" : normalised.substr(0, slash);
}

// Registered locations by id; ids are never reused.
std::mutex& tableMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}
std::map<int, unilocation*>& table() {
    static auto* t = new std::map<int, unilocation*>;
    return *t;
}
int g_nextId = 1; // under tableMutex
} // namespace

// ---- unilocation ------------------------------------------------------------------------

unilocation::~unilocation() = default;

int unilocation::Register(unilocation* location) {
    if (!location)
        return 0;
    std::lock_guard<std::mutex> hold(tableMutex());
    int id = g_nextId++;
    table()[id] = location;
    return id;
}

void unilocation::Unregister(int id) {
    std::lock_guard<std::mutex> hold(tableMutex());
    table().erase(id);
}

unilocation* unilocation::Find(int id) {
    std::lock_guard<std::mutex> hold(tableMutex());
    auto it = table().find(id);
    return it == table().end() ? nullptr : it->second;
}

// ---- unimemlocation ----------------------------------------------------------------------

unimemlocation::unimemlocation(const char* name) : name_(name ? name : "mem") {
    dirs_.insert("/");
}

unimemlocation::~unimemlocation() = default;

unimemlocation* unimemlocation::GetRegistered() {
    // Never destroyed: a server thread may still serve it at exit.
    static unimemlocation* mem = [] {
        auto* m = new unimemlocation("mem");
        unilocation::Register(m);
        return m;
    }();
    return mem;
}

bool unimemlocation::ReadFile(const char* path, std::string& data, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::shared_ptr<const std::string> file;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = files_.find(p);
        if (it != files_.end())
            file = it->second;
    }
    if (!file) {
        if (error)
            *error = "no such file: " + p;
        return false;
    }
    data = *file;
    return true;
}

bool unimemlocation::WriteFile(const char* path, const char* data, size_t size,
                               std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    if (!data && size)
        return error ? (*error = "no data", false) : false;
    auto file = std::make_shared<const std::string>(data ? data : "", size);
    std::lock_guard<std::mutex> hold(mutex_);
    if (dirs_.count(p)) {
        if (error)
            *error = "a folder has that name: " + p;
        return false;
    }
    if (!dirs_.count(parentOf(p))) {
        if (error)
            *error = "no such folder: " + parentOf(p);
        return false;
    }
    files_[p] = std::move(file);
    return true;
}

bool unimemlocation::RemoveFile(const char* path, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    if (files_.erase(p) == 0) {
        if (error)
            *error = "no such file: " + p;
        return false;
    }
    return true;
}

bool unimemlocation::MakeDirectory(const char* path, int /*flags*/, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    // Check the whole chain first so that a refusal changes nothing.
    std::vector<std::string> chain;
    for (std::string d = p; d != "/"; d = parentOf(d)) {
        if (files_.count(d)) {
            if (error)
                *error = "a file has that name: " + d;
            return false;
        }
        chain.push_back(d);
    }
    dirs_.insert(chain.begin(), chain.end());
    return true;
}

bool unimemlocation::IsDirectory(const char* path) {
    std::string p;
    if (!uniNormalizePath(path, p, nullptr))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    return dirs_.count(p) != 0;
}

bool unimemlocation::IsFile(const char* path) {
    std::string p;
    if (!uniNormalizePath(path, p, nullptr))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    return files_.count(p) != 0;
}

std::vector<std::string> unimemlocation::ListFiles() const {
    std::lock_guard<std::mutex> hold(mutex_);
    std::vector<std::string> names;
    names.reserve(files_.size());
    for (const auto& f : files_)
        names.push_back(f.first);
    return names;
}

// ---- univfslocation ----------------------------------------------------------------------

univfslocation::univfslocation(const char* name, void* /*fileSystem*/)
    : name_(name ? name : "") {}

univfslocation::~univfslocation() = default;

bool univfslocation::Mount(const char* mountPoint, unilocation* target, bool readOnly,
                           const char* targetRoot) {
    std::string point, root;
    if (!target || !uniNormalizePath(mountPoint, point, nullptr))
        return false;
    if (targetRoot && *targetRoot) {
        if (!uniNormalizePath(targetRoot, root, nullptr))
            return false;
        if (root == "/")
            root.clear();
    }
    std::lock_guard<std::mutex> hold(mutex_);
    for (auto& m : mounts_) {
        if (m.point == point) {
            m = MountEntry{point, target, readOnly, root};
            return true;
        }
    }
    mounts_.push_back(MountEntry{point, target, readOnly, root});
    return true;
}

bool univfslocation::Unmount(const char* mountPoint) {
    std::string point;
    if (!uniNormalizePath(mountPoint, point, nullptr))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = std::find_if(mounts_.begin(), mounts_.end(),
                           [&](const MountEntry& m) { return m.point == point; });
    if (it == mounts_.end())
        return false;
    mounts_.erase(it);
    return true;
}

bool univfslocation::Resolve(const char* path, bool forWrite, unilocation** target,
                             std::string& inner, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    const MountEntry* best = nullptr;
    for (const auto& m : mounts_) {
        const bool holds = m.point == "/" || p == m.point ||
                           (p.compare(0, m.point.size(), m.point) == 0 &&
                            p.size() > m.point.size() && p[m.point.size()] == '/');
        if (holds && (!best || m.point.size() > best->point.size()))
            best = &m;
    }
    if (!best) {
        if (error)
            *error = "nothing is mounted at " + p + " in " + name_;
        return false;
    }
    if (forWrite && best->readOnly) {
        if (error)
            *error = "read-only: " + p;
        return false;
    }
    const std::string rest = best->point == "/" ? p : p.substr(best->point.size());
    inner = best->root + (rest.empty() ? "/" : rest);
    if (inner.size() > 1 && inner.back() == '/')
        inner.pop_back();
    *target = best->target;
    return true;
}

bool univfslocation::ReadFile(const char* path, std::string& data, std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, error) && t->ReadFile(inner.c_str(), data, error);
}

bool univfslocation::WriteFile(const char* path, const char* data, size_t size,
                               std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) &&
           t->WriteFile(inner.c_str(), data, size, error);
}

bool univfslocation::RemoveFile(const char* path, std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) && t->RemoveFile(inner.c_str(), error);
}

bool univfslocation::MakeDirectory(const char* path, int flags, std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) && t->MakeDirectory(inner.c_str(), flags, error);
}

bool univfslocation::IsDirectory(const char* path) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, nullptr) && t->IsDirectory(inner.c_str());
}

bool univfslocation::IsFile(const char* path) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, nullptr) && t->IsFile(inner.c_str());
}
