#include "client/zr_options.h"

#include "xmemory.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

int CompareKeys(const char* a, const char* b) { return std::strcmp(a, b); }

char* CopyText(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(getmem(n));
    if (copy)
        std::memcpy(copy, text, n);
    return copy;
}

void FreeEntry(ZrOptionEntry* entry) {
    if (!entry)
        return;
    if (entry->type == ZrTranslationOptions::kString)
        rlsmem(entry->value.s);
    rlsmem(entry);
}

// The map's free function: the entry (with its text) and the copied key.
void FreeItem(const char* key, void* value) {
    FreeEntry(static_cast<ZrOptionEntry*>(value));
    rlsmem(const_cast<char*>(key));
}

} // namespace

ZrTranslationOptions::ZrTranslationOptions() : map_(CompareKeys, FreeItem) {}

ZrTranslationOptions::~ZrTranslationOptions() = default; // the map frees every item

void ZrTranslationOptions::ClearMem() { map_.Clear(); }

const ZrOptionEntry* ZrTranslationOptions::Find(const char* name) const {
    return static_cast<const ZrOptionEntry*>(map_.Find(name));
}

ZrOptionEntry* ZrTranslationOptions::Bind(const char* name) {
    size_t index = 0;
    if (map_.Lookup(name, &index)) {
        // Reused entry: the name keeps its stored key; an old text goes.
        auto* entry = static_cast<ZrOptionEntry*>(map_.ValueAt(index));
        if (entry->type == kString)
            rlsmem(entry->value.s);
        entry->type = 0;
        entry->value.s = nullptr;
        return entry;
    }
    auto* entry = static_cast<ZrOptionEntry*>(getmem(sizeof(ZrOptionEntry)));
    char* key = CopyText(name);
    if (!entry || !key) {
        rlsmem(entry);
        rlsmem(key);
        return nullptr;
    }
    try {
        map_.InsertAt(index, key, entry);
    } catch (const std::bad_alloc&) {
        rlsmem(entry);
        rlsmem(key);
        return nullptr;
    }
    return entry;
}

bool ZrTranslationOptions::SetInteger(const char* name, int value) {
    if (!name || !*name)
        return false;
    ZrOptionEntry* entry = Bind(name);
    if (!entry)
        return false;
    entry->type = kInteger;
    entry->value.i = value;
    return true;
}

bool ZrTranslationOptions::SetDouble(const char* name, double value) {
    if (!name || !*name)
        return false;
    ZrOptionEntry* entry = Bind(name);
    if (!entry)
        return false;
    entry->type = kDouble;
    entry->value.d = value;
    return true;
}

bool ZrTranslationOptions::SetString(const char* name, const char* value) {
    if (!name || !*name || !value || !*value)
        return false;
    // Copy the value first, so that running out of memory leaves the
    // option as it was.
    char* copy = CopyText(value);
    if (!copy)
        return false;
    ZrOptionEntry* entry = Bind(name);
    if (!entry) {
        rlsmem(copy);
        return false;
    }
    entry->type = kString;
    entry->value.s = copy;
    return true;
}

bool ZrTranslationOptions::GetInteger(const char* name, int& value) const {
    const ZrOptionEntry* entry = Find(name);
    if (!entry || entry->type != kInteger)
        return false;
    value = entry->value.i;
    return true;
}

bool ZrTranslationOptions::GetDouble(const char* name, double& value) const {
    const ZrOptionEntry* entry = Find(name);
    if (!entry || entry->type != kDouble)
        return false;
    value = entry->value.d;
    return true;
}

bool ZrTranslationOptions::GetString(const char* name, char* buffer) const {
    const ZrOptionEntry* entry = Find(name);
    if (!buffer || !entry || entry->type != kString)
        return false;
    std::strcpy(buffer, entry->value.s);
    return true;
}

bool ZrTranslationOptions::GetString(const char* name, char* buffer, size_t capacity) const {
    const ZrOptionEntry* entry = Find(name);
    if (!buffer || !entry || entry->type != kString)
        return false;
    size_t n = std::strlen(entry->value.s) + 1;
    if (n > capacity)
        return false;
    std::memcpy(buffer, entry->value.s, n);
    return true;
}

int64_t ZrTranslationOptions::GetStringLength(const char* name) const {
    const ZrOptionEntry* entry = Find(name);
    if (!entry || entry->type != kString)
        return -1;
    return static_cast<int64_t>(std::strlen(entry->value.s));
}

uint32_t ZrTranslationOptions::GetType(const char* name) const {
    const ZrOptionEntry* entry = Find(name);
    return entry ? entry->type : 0;
}

bool ZrTranslationOptions::IsSet(const char* name) const {
    const ZrOptionEntry* entry = Find(name);
    if (!entry)
        return false;
    switch (entry->type) {
    case kInteger:
        return entry->value.i != 0;
    case kDouble:
        return std::isnan(entry->value.d) || entry->value.d != 0.0;
    case kString:
        return entry->value.s && entry->value.s[0] != '\0';
    default:
        return false;
    }
}
