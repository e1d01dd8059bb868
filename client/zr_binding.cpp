#include "api/zpi50_client.h"

#include <cstring>

// ---- ZrSortedMap -----------------------------------------------------------------

ZrSortedMap::ZrSortedMap(Compare compare, Free free) : compare_(compare), free_(free) {}

ZrSortedMap::~ZrSortedMap() { Clear(); }

bool ZrSortedMap::Lookup(const char* key, size_t* index) const {
    size_t lo = 0, hi = pairs_.size();
    if (key) {
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            const int c = compare_(pairs_[mid].key, key);
            if (c == 0) {
                if (index)
                    *index = mid;
                return true;
            }
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
    }
    if (index)
        *index = lo;
    return false;
}

void* ZrSortedMap::Find(const char* key) const {
    size_t i;
    return Lookup(key, &i) ? pairs_[i].value : nullptr;
}

void ZrSortedMap::InsertAt(size_t index, const char* key, void* value) {
    if (index > pairs_.size())
        index = pairs_.size();
    pairs_.insert(pairs_.begin() + static_cast<std::ptrdiff_t>(index), Pair{key, value});
}

void ZrSortedMap::Clear() {
    if (free_)
        for (const Pair& p : pairs_)
            free_(p.key, p.value);
    pairs_.clear();
}

// ---- the registry ----------------------------------------------------------------------

namespace {

int compareNames(const char* a, const char* b) { return std::strcmp(a, b); }
// The registry owns its copies of the names, never the functions.
void freeName(const char* key, void*) { delete[] key; }

struct Registry {
    std::mutex mutex;
    ZrSortedMap map{compareNames, freeName};
};

// Lives until the process ends; jobs may look up during static destruction.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

} // namespace

void ZrBindFunction(const char* name, void* function) {
    if (!name)
        return;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    size_t i;
    if (r.map.Lookup(name, &i)) {
        r.map.SetValueAt(i, function);
        return;
    }
    const size_t n = std::strlen(name);
    char* copy = new char[n + 1];
    std::memcpy(copy, name, n + 1);
    r.map.InsertAt(i, copy, function);
}

void* ZrGetBoundFunction(const char* name) {
    if (!name)
        return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    return r.map.Find(name);
}

void ZrInitBinding() {
    Registry& r = registry();
    std::lock_guard<std::mutex> hold(r.mutex);
    r.map.Clear();
}
