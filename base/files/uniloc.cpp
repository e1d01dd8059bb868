#include "uniloc.h"
#include "btk_quoted.h"
#include "btk_reason.h"

#include "kkatomicfile.h"
#include "kkfileio.h"
#include "standard_fds.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

inline namespace zbase_internal {

// ---- paths ---------------------------------------------------------------------------

namespace {
// Sets *error (when wanted) to `what`; false.
bool fail(std::string* error, std::string what) {
    if (error)
        *error = std::move(what);
    return false;
}
} // namespace

bool uniNormalizePath(const char* path, std::string& out, std::string* error) {
    auto refuse = [&](const char* why) {
        return fail(error, std::string("bad path: ") + why);
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

unilocation* unilocation::FindByName(const std::string& name) {
    std::lock_guard<std::mutex> hold(tableMutex());
    for (const auto& entry : table())
        if (name == entry.second->GetName())
            return entry.second;
    return nullptr;
}

std::vector<std::string> unilocation::RegisteredNames() {
    std::lock_guard<std::mutex> hold(tableMutex());
    std::vector<std::string> names;
    for (const auto& entry : table())
        names.emplace_back(entry.second->GetName());
    return names;
}

bool unilocation::WriteShared(const char* path, std::shared_ptr<const std::string> data,
                              std::string* error) {
    if (!data)
        return fail(error, "no data");
    return WriteFile(path, data->data(), data->size(), error);
}

bool unilocation::ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                             std::string* error) {
    auto copy = std::make_shared<std::string>();
    if (!ReadFile(path, *copy, error))
        return false;
    data = std::move(copy);
    return true;
}

bool unilocation::List(const char*, std::vector<uniEntry>&, std::string* error) {
    return fail(error, std::string("no listings in ") + GetName());
}

bool unilocation::Stat(const char* path, uniStat& st, std::string* error) {
    st = uniStat{};
    if (IsDirectory(path)) {
        st.isDir = true;
        return true;
    }
    std::string data;
    if (!ReadFile(path, data, error))
        return false;
    st.size = int64_t(data.size());
    return true;
}

bool unilocation::RemoveDirectory(const char*, std::string* error) {
    return fail(error, std::string("folders cannot be removed in ") + GetName());
}

bool unilocation::Rename(const char*, const char*, std::string* error) {
    return fail(error, std::string("nothing can be renamed in ") + GetName());
}

// ---- byte budget and shared buffers --------------------------------------------------------

uniByteBudget::uniByteBudget(size_t limit) : limit_(limit) {}

uniByteBudget& uniByteBudget::Process() {
    // Never destroyed: buffers counted in it may outlive static destruction.
    static uniByteBudget* budget = new uniByteBudget();
    return *budget;
}

void uniByteBudget::SetLimit(size_t bytes) { limit_.store(bytes, std::memory_order_relaxed); }

void uniByteBudget::NotePeak(size_t held) {
    size_t peak = peak_.load(std::memory_order_relaxed);
    while (held > peak && !peak_.compare_exchange_weak(peak, held, std::memory_order_relaxed)) {
    }
}

bool uniByteBudget::TryTake(size_t bytes) {
    size_t held = held_.load(std::memory_order_relaxed);
    do {
        const size_t limit = GetLimit();
        if (held > limit || bytes > limit - held)
            return false;
    } while (!held_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
    NotePeak(held + bytes);
    return true;
}

void uniByteBudget::Take(size_t bytes) {
    NotePeak(held_.fetch_add(bytes, std::memory_order_relaxed) + bytes);
}

void uniByteBudget::Give(size_t bytes) { held_.fetch_sub(bytes, std::memory_order_relaxed); }

void uniByteBudget::SetEntryLimit(size_t entries) {
    entryLimit_.store(entries, std::memory_order_relaxed);
}

bool uniByteBudget::TryTakeEntry(size_t bytes) {
    size_t n = entries_.load(std::memory_order_relaxed);
    do {
        if (n >= GetEntryLimit())
            return false;
    } while (!entries_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed));
    if (bytes == 0 || TryTake(bytes))
        return true;
    entries_.fetch_sub(1, std::memory_order_relaxed);
    return false;
}

void uniByteBudget::GiveEntry(size_t bytes) {
    Give(bytes);
    entries_.fetch_sub(1, std::memory_order_relaxed);
}

namespace {

using Flag = std::shared_ptr<std::atomic<bool>>;

// The deleter of a location's buffer: what it is counted in, whether its
// location let go of it, and where it stands among the versions of its
// file that were let go of while held.
struct BufferCharge {
    std::atomic<uniByteBudget*> budget;
    // What it counts in the budget: its bytes, or for a file a peer stored
    // what its entry costs as a whole (and one entry).
    size_t charge;
    bool entry = false;
    std::atomic<bool> replaced{false};
    // Set once a newer version of the same file was let go of while held.
    Flag superseded = std::make_shared<std::atomic<bool>>(false);
    // The flag of the newest version of the same file let go of while held
    // before this one became the file (under its location's lock).
    Flag lastReplaced;

    BufferCharge(uniByteBudget* b, size_t c, bool e) : budget(b), charge(c), entry(e) {}
    BufferCharge(const BufferCharge& o)
        : budget(o.budget.load()), charge(o.charge), entry(o.entry), replaced(o.replaced.load()),
          superseded(o.superseded), lastReplaced(o.lastReplaced) {}
    void operator()(const std::string* bytes) const {
        if (uniByteBudget* b = budget.load(std::memory_order_acquire)) {
            if (entry)
                b->GiveEntry(charge);
            else
                b->Give(charge);
        }
        delete bytes;
    }
};

BufferCharge* chargeOf(const std::shared_ptr<const std::string>& buffer) {
    return buffer ? std::get_deleter<BufferCharge>(buffer) : nullptr;
}

} // namespace

std::shared_ptr<const std::string> uniMakeBuffer(std::string bytes, uniByteBudget* chargedTo) {
    const size_t size = bytes.size();
    return std::shared_ptr<const std::string>(new std::string(std::move(bytes)),
                                              BufferCharge(chargedTo, size, false));
}

std::shared_ptr<const std::string> uniMakeStoredBuffer(std::string bytes, uniByteBudget* chargedTo,
                                                       size_t charge) {
    return std::shared_ptr<const std::string>(
        new std::string(std::move(bytes)), BufferCharge(chargedTo, charge, chargedTo != nullptr));
}

uniByteBudget* uniBufferBudget(const std::shared_ptr<const std::string>& buffer) {
    BufferCharge* c = chargeOf(buffer);
    return c ? c->budget.load(std::memory_order_acquire) : nullptr;
}

bool uniIsLocationBuffer(const std::shared_ptr<const std::string>& buffer) {
    return chargeOf(buffer) != nullptr;
}

bool uniBufferIsReplaced(const std::shared_ptr<const std::string>& buffer) {
    BufferCharge* c = chargeOf(buffer);
    return c && c->replaced.load(std::memory_order_acquire);
}

bool uniBufferIsSuperseded(const std::shared_ptr<const std::string>& buffer) {
    BufferCharge* c = chargeOf(buffer);
    return c && c->superseded->load(std::memory_order_acquire);
}

void uniFollowBuffer(const std::shared_ptr<const std::string>& old,
                     const std::shared_ptr<const std::string>& current) {
    BufferCharge* o = chargeOf(old);
    BufferCharge* n = chargeOf(current);
    if (!o || old == current)
        return;
    Flag newest = o->lastReplaced;
    // Held by others besides the caller: `old` is let go of while held,
    // the newest such version now; the one before it is an older one. Only
    // the process's own versions (counted in no budget while current) take
    // part: a file a peer stored is counted in the budget from its store
    // on, and so is the version it replaced, which it does not make older.
    if (old.use_count() > 1 && !o->budget.load(std::memory_order_acquire)) {
        if (newest)
            newest->store(true, std::memory_order_release);
        newest = o->superseded;
    }
    if (n)
        n->lastReplaced = std::move(newest);
}

void uniReleaseBuffer(std::shared_ptr<const std::string>& buffer, uniByteBudget* budget) {
    BufferCharge* c = chargeOf(buffer);
    // Still held by others (answers waiting): from now on only they keep it,
    // so it counts in a budget until the last of them lets go: a peer's file
    // in the one it was stored in, the process's own (counted in none while
    // the location held it) in `budget` from now on. It is taken beyond the
    // limit if need be: what answers hold goes out whole.
    if (c && buffer.use_count() > 1) {
        uniByteBudget* none = nullptr;
        if (budget && c->budget.compare_exchange_strong(none, budget, std::memory_order_acq_rel))
            budget->Take(c->charge);
        c->replaced.store(true, std::memory_order_release);
    }
    buffer.reset();
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

void unimemlocation::SetBudget(uniByteBudget* budget) {
    std::lock_guard<std::mutex> hold(mutex_);
    budget_ = budget;
}

uniByteBudget* unimemlocation::GetBudget() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return budget_;
}

size_t unimemlocation::GetUsed() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return used_;
}

bool unimemlocation::ReadFile(const char* path, std::string& data, std::string* error) {
    std::shared_ptr<const std::string> file;
    if (!ReadShared(path, file, error))
        return false;
    data = *file;
    return true;
}

bool unimemlocation::ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                                std::string* error) {
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
    if (!file)
        return fail(error, "no such file: " + btkQuoted(p));
    data = std::move(file);
    return true;
}

bool unimemlocation::WriteFile(const char* path, const char* data, size_t size,
                               std::string* error) {
    if (!data && size)
        return fail(error, "no data");
    return WriteShared(path, uniMakeBuffer(std::string(data ? data : "", size), nullptr), error);
}

bool unimemlocation::WriteShared(const char* path, std::shared_ptr<const std::string> data,
                                 std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    if (!data)
        return fail(error, "no data");
    // Kept as it is: a buffer from elsewhere becomes one that can be marked
    // replaced when answers outlive it.
    if (!uniIsLocationBuffer(data))
        data = uniMakeBuffer(*data, nullptr);
    std::shared_ptr<const std::string> old;
    uniByteBudget* budget = nullptr;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (dirs_.count(p))
            return fail(error, "a folder has that name: " + btkQuoted(p));
        if (!dirs_.count(parentOf(p)))
            return fail(error, "no such folder: " + btkQuoted(parentOf(p)));
        std::shared_ptr<const std::string>& slot = files_[p];
        used_ = used_ - (slot ? slot->size() : 0) + data->size();
        old = std::move(slot);
        slot = std::move(data);
        uniFollowBuffer(old, slot);
        budget = budget_;
    }
    // Outside the lock: the old version may be freed here.
    if (old)
        uniReleaseBuffer(old, budget);
    return true;
}

bool unimemlocation::RemoveFile(const char* path, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::shared_ptr<const std::string> old;
    uniByteBudget* budget = nullptr;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = files_.find(p);
        if (it == files_.end())
            return fail(error, "no such file: " + btkQuoted(p));
        used_ -= it->second->size();
        old = std::move(it->second);
        files_.erase(it);
        budget = budget_;
    }
    uniReleaseBuffer(old, budget);
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
        if (files_.count(d))
            return fail(error, "a file has that name: " + btkQuoted(d));
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

bool unimemlocation::List(const char* path, std::vector<uniEntry>& entries, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    entries.clear();
    std::lock_guard<std::mutex> hold(mutex_);
    if (!dirs_.count(p))
        return fail(error, "no such folder: " + btkQuoted(p));
    const std::string prefix = p == "/" ? "/" : p + "/";
    // Direct children only: the rest after the prefix holds no '/'.
    auto child = [&](const std::string& full) {
        return full.size() > prefix.size() && full.compare(0, prefix.size(), prefix) == 0 &&
               full.find('/', prefix.size()) == std::string::npos;
    };
    for (auto it = dirs_.lower_bound(prefix); it != dirs_.end() && it->compare(0, prefix.size(), prefix) == 0; ++it)
        if (child(*it))
            entries.push_back(uniEntry{it->substr(prefix.size()), true});
    for (auto it = files_.lower_bound(prefix);
         it != files_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it)
        if (child(it->first))
            entries.push_back(uniEntry{it->first.substr(prefix.size()), false});
    return true;
}

bool unimemlocation::Stat(const char* path, uniStat& st, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    st = uniStat{};
    std::lock_guard<std::mutex> hold(mutex_);
    if (dirs_.count(p)) {
        st.isDir = true;
        return true;
    }
    auto it = files_.find(p);
    if (it == files_.end())
        return fail(error, "no such file: " + btkQuoted(p));
    st.size = int64_t(it->second->size());
    return true;
}

bool unimemlocation::RemoveDirectory(const char* path, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    if (p == "/" || !dirs_.count(p))
        return fail(error, "no such folder: " + btkQuoted(p));
    const std::string prefix = p + "/";
    auto inside = [&](const std::string& s) { return s.compare(0, prefix.size(), prefix) == 0; };
    auto d = dirs_.lower_bound(prefix);
    auto f = files_.lower_bound(prefix);
    if ((d != dirs_.end() && inside(*d)) || (f != files_.end() && inside(f->first)))
        return fail(error, "folder not empty: " + btkQuoted(p));
    dirs_.erase(p);
    return true;
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

bool univfslocation::Hold(const char* path) {
    std::string p;
    if (!uniNormalizePath(path, p, nullptr))
        return false;
    std::lock_guard<std::mutex> changes(changing_);
    std::lock_guard<std::mutex> hold(mutex_);
    held_.insert(std::move(p));
    return true;
}

void univfslocation::LetGo(const char* path) {
    std::string p;
    if (!uniNormalizePath(path, p, nullptr))
        return;
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = held_.find(p);
    if (it != held_.end())
        held_.erase(it);
}

bool univfslocation::Resolve(const char* path, bool forWrite, unilocation** target,
                             std::string& inner, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    if (forWrite && held_.count(p))
        return fail(error, btkQuoted(p) + " is being handed over: not written until its request "
                           "is answered");
    const MountEntry* best = nullptr;
    for (const auto& m : mounts_) {
        const bool holds = m.point == "/" || p == m.point ||
                           (p.compare(0, m.point.size(), m.point) == 0 &&
                            p.size() > m.point.size() && p[m.point.size()] == '/');
        if (holds && (!best || m.point.size() > best->point.size()))
            best = &m;
    }
    if (!best)
        return fail(error, "nothing is mounted at " + btkQuoted(p) + " in " + name_);
    if (forWrite && best->readOnly)
        return fail(error, "read-only: " + btkQuoted(p));
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

bool univfslocation::ReadShared(const char* path, std::shared_ptr<const std::string>& data,
                                std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, error) && t->ReadShared(inner.c_str(), data, error);
}

bool univfslocation::WriteFile(const char* path, const char* data, size_t size,
                               std::string* error) {
    std::lock_guard<std::mutex> changes(changing_);
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) &&
           t->WriteFile(inner.c_str(), data, size, error);
}

bool univfslocation::WriteShared(const char* path, std::shared_ptr<const std::string> data,
                                 std::string* error) {
    std::lock_guard<std::mutex> changes(changing_);
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) &&
           t->WriteShared(inner.c_str(), std::move(data), error);
}

bool univfslocation::RemoveFile(const char* path, std::string* error) {
    std::lock_guard<std::mutex> changes(changing_);
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) && t->RemoveFile(inner.c_str(), error);
}

bool univfslocation::MakeDirectory(const char* path, int flags, std::string* error) {
    std::lock_guard<std::mutex> changes(changing_);
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

bool univfslocation::List(const char* path, std::vector<uniEntry>& entries, std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, error) && t->List(inner.c_str(), entries, error);
}

bool univfslocation::Stat(const char* path, uniStat& st, std::string* error) {
    unilocation* t;
    std::string inner;
    return Resolve(path, false, &t, inner, error) && t->Stat(inner.c_str(), st, error);
}

bool univfslocation::RemoveDirectory(const char* path, std::string* error) {
    std::lock_guard<std::mutex> changes(changing_);
    unilocation* t;
    std::string inner;
    return Resolve(path, true, &t, inner, error) && t->RemoveDirectory(inner.c_str(), error);
}

// ---- unilocallocation ----------------------------------------------------------------

namespace {
bool sysFail(std::string* error, const std::string& what) {
    return fail(error, what + ": " + btkSystemReason(errno));
}

// The folder of a local path ("/" for one at the top).
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Makes the names in `folder` durable: fsync of the folder, or, for a
// folder that may be written but not read, syncfs through `entry` (a file
// or folder in it). 0, or the errno.
int SyncFolder(const std::string& folder, const std::string& entry) {
    int fd = btkAboveStandardFds(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd >= 0) {
        const int err = kkSyncFd(fd, true);
        ::close(fd);
        return err;
    }
    if (errno != EACCES)
        return errno;
    fd = btkAboveStandardFds(
        ::open(entry.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd < 0)
        return errno;
    const int err = kkSyncFileSystem(fd);
    ::close(fd);
    return err;
}
} // namespace

unilocallocation::unilocallocation(const char* name, const char* root)
    : name_(name ? name : "local"), root_(root ? root : "") {
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
    if (root_ == "/")
        root_.clear();
}

unilocallocation::~unilocallocation() = default;

bool unilocallocation::Local(const char* path, std::string& local, std::string* error) const {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    local = p == "/" ? (root_.empty() ? "/" : root_) : root_ + p;
    return true;
}

bool unilocallocation::ReadFile(const char* path, std::string& data, std::string* error) {
    std::string local;
    if (!Local(path, local, error))
        return false;
    // Only a regular file, and without blocking: a FIFO named here would
    // otherwise hold the caller (the host connection's file server) for ever.
    const int fd = kkOpenRegularFile(local.c_str(), O_RDONLY, 0, error);
    if (fd < 0)
        return false;
    data.clear();
    char block[65536];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return sysFail(error, "cannot read " + btkQuoted(local));
        }
        if (n == 0)
            break;
        data.append(block, size_t(n));
    }
    ::close(fd);
    return true;
}

bool unilocallocation::WriteFile(const char* path, const char* data, size_t size,
                                 std::string* error) {
    std::string local;
    if (!Local(path, local, error))
        return false;
    if (!data && size)
        return fail(error, "no data");
    // Written beside the file and renamed over it when whole: a failed
    // write leaves the file as it was.
    kkAtomicFile file;
    if (file.Open(local.c_str()) && file.Write(data, size) && file.Commit())
        return true;
    return fail(error, file.Error());
}

bool unilocallocation::RemoveFile(const char* path, std::string* error) {
    std::string local;
    if (!Local(path, local, error))
        return false;
    return ::unlink(local.c_str()) == 0 || sysFail(error, "cannot remove " + btkQuoted(local));
}

bool unilocallocation::MakeDirectory(const char* path, int, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    // Each missing folder from the top down.
    for (size_t at = 1; at <= p.size(); ++at) {
        if (at != p.size() && p[at] != '/')
            continue;
        const std::string local = root_ + p.substr(0, at);
        struct stat st {};
        if (::stat(local.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return error ? (*error = "a file has that name: " + btkQuoted(local), false) : false;
            continue;
        }
        if (::mkdir(local.c_str(), 0777) != 0 && errno != EEXIST)
            return sysFail(error, "cannot make " + btkQuoted(local));
    }
    return true;
}

bool unilocallocation::IsDirectory(const char* path) {
    std::string local;
    struct stat st {};
    return Local(path, local, nullptr) && ::stat(local.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool unilocallocation::IsFile(const char* path) {
    std::string local;
    struct stat st {};
    return Local(path, local, nullptr) && ::stat(local.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool unilocallocation::List(const char* path, std::vector<uniEntry>& entries, std::string* error) {
    std::string local;
    if (!Local(path, local, error))
        return false;
    const int fd =
        btkAboveStandardFds(::open(local.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (fd >= 0 && !dir) {
        const int err = errno;
        ::close(fd);
        errno = err;
    }
    if (!dir)
        return sysFail(error, "cannot list " + btkQuoted(local));
    entries.clear();
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        const std::string full = local + "/" + e->d_name;
        const bool isDir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back(uniEntry{std::string(name), isDir});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const uniEntry& a, const uniEntry& b) { return a.name < b.name; });
    return true;
}

bool unilocallocation::Stat(const char* path, uniStat& out, std::string* error) {
    std::string local;
    if (!Local(path, local, error))
        return false;
    struct stat st {};
    if (::stat(local.c_str(), &st) != 0)
        return sysFail(error, "no such file " + btkQuoted(local));
    out = uniStat{};
    out.isDir = S_ISDIR(st.st_mode);
    out.size = out.isDir ? 0 : int64_t(st.st_size);
    out.created = int64_t(st.st_ctime);
    out.modified = int64_t(st.st_mtime);
    out.accessed = int64_t(st.st_atime);
    return true;
}

bool unilocallocation::RemoveDirectory(const char* path, std::string* error) {
    std::string p;
    if (!uniNormalizePath(path, p, error))
        return false;
    if (p == "/")
        return fail(error, "the root stays");
    const std::string local = root_ + p;
    return ::rmdir(local.c_str()) == 0 || sysFail(error, "cannot remove " + btkQuoted(local));
}

bool unilocallocation::Rename(const char* from, const char* to, std::string* error) {
    std::string a, b;
    if (!Local(from, a, error) || !Local(to, b, error))
        return false;
    // Never over anything, also what takes the name meanwhile.
    const int err = kkRenameNoReplace(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str());
    if (err == 0) {
        // Durable before it answers: the folder that got the name first,
        // then the one that lost it, so that no crash loses both names.
        const std::string to = FolderOf(b), from = FolderOf(a);
        int syncErr = SyncFolder(to, b);
        if (syncErr == 0 && from != to)
            syncErr = SyncFolder(from, b);
        if (syncErr != 0)
            return fail(error, "renamed " + btkQuoted(a) + " to " + btkQuoted(b) +
                                   ", but its folder cannot be synced (a power loss may undo "
                                   "the rename): " + btkSystemReason(syncErr));
        return true;
    }
    if (err == EEXIST)
        return fail(error, "already exists: " + btkQuoted(b));
    return fail(error, "cannot rename " + btkQuoted(a) + ": " + btkSystemReason(err));
}

} // namespace zbase_internal
