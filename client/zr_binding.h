// Name-to-function registry of the client: translators bind their
// functions by name and the jobs look them up by the name of their kind.
//
// ZrSortedMap is the sorted array map behind it (also usable for other
// name-keyed stores): pairs {key, value} in ascending key order under a
// compare function, with an optional free function called for every pair
// when the map is emptied.
#pragma once

#include "api/zpi50_export.h"

#include <cstddef>
#include <mutex>
#include <vector>

class ZPI_API ZrSortedMap {
public:
    using Compare = int (*)(const char* a, const char* b);
    using Free = void (*)(const char* key, void* value);

    ZrSortedMap(Compare compare, Free free);
    // Empties the map (free function included).
    ~ZrSortedMap();
    ZrSortedMap(const ZrSortedMap&) = delete;
    ZrSortedMap& operator=(const ZrSortedMap&) = delete;

    // True when `key` is held; *index is then its position, otherwise the
    // position where it would be inserted. A null key is never held.
    bool Lookup(const char* key, size_t* index) const;
    // The value bound to `key`, or null.
    void* Find(const char* key) const;
    // Inserts {key, value} at `index` (the position Lookup gave).
    void InsertAt(size_t index, const char* key, void* value);
    void SetValueAt(size_t index, void* value) { pairs_[index].value = value; }

    size_t Count() const { return pairs_.size(); }
    const char* KeyAt(size_t index) const { return pairs_[index].key; }
    void* ValueAt(size_t index) const { return pairs_[index].value; }

    // Calls the free function (when there is one) for every pair in order,
    // then empties the map.
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

// Binds `function` under `name` (case-sensitive); a later binding of the
// same name replaces the earlier one. The name is copied. A null name binds
// nothing.
ZPI_API void ZrBindFunction(const char* name, void* function);
// The function bound under `name`, or null.
ZPI_API void* ZrGetBoundFunction(const char* name);
// Forgets every binding.
ZPI_API void ZrInitBinding();

// Names under which the jobs look their translator functions up.
constexpr const char* kZrExportTranslator = "ExportTranslator";
constexpr const char* kZrImportPartTranslator = "ImportPartTranslator";
constexpr const char* kZrImportAssemTranslator = "ImportAssemTranslator";
