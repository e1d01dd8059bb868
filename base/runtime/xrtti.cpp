#include "xrtti.h"

#include "xexcept.h"
#include "xany.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>

xrtti::~xrtti() = default;

const xrttiobject* xrttiobject::base(int i) const {
    return i >= 0 && i < baseCount() ? bases_[static_cast<size_t>(i)] : nullptr;
}

bool xrttiobject::isKindOf(const xrttiobject* other) const {
    if (!other)
        return false;
    if (other->isSameType(this) || other->isSameType(cipGetRtti_object()))
        return true;
    for (const xrttiobject* b : bases_)
        if (b && b != this && b->isKindOf(other))
            return true;
    return false;
}

void xrttistruct::initializeRttiStruct(const char* name, unsigned char flag, int nbases,
                                       const xrttiobject* const* bases, int nattrs,
                                       xrttiattr* const* attrs) {
    name_ = name;
    flag_ = flag;
    bases_.clear();
    attrs_.clear();
    for (int i = 0; bases && i < nbases; ++i)
        bases_.push_back(bases[i]);
    for (int i = 0; attrs && i < nattrs; ++i)
        attrs_.push_back(attrs[i]);
    initialized_ = true;
}

const xrttiattr* xrttistruct::attr(int i) const {
    return i >= 0 && i < attrCount() ? attrs_[static_cast<size_t>(i)] : nullptr;
}

void xrttisequence::initializeRttiSeq(const char* name, unsigned char, const xrtti* element,
                                      unsigned char, count_fn count, item_fn item) {
    name_ = name;
    element_ = element;
    count_ = count;
    item_ = item;
}

xrttienum::xrttienum(const char* name, int count, const char* const* names) : xrtti(name) {
    for (int i = 0; names && i < count; ++i)
        names_.push_back(names[i]);
}

const char* xrttienum::nameOf(int64_t value) const {
    if (value < 0 || value >= static_cast<int64_t>(names_.size()))
        return nullptr;
    return names_[static_cast<size_t>(value)];
}

int xrttienum::valueOf(const char* name) const {
    if (!name)
        return -1;
    for (size_t i = 0; i < names_.size(); ++i)
        if (names_[i] && std::strcmp(names_[i], name) == 0)
            return static_cast<int>(i);
    return -1;
}

namespace {
struct TypeMap {
    std::mutex lock;
    std::map<std::string, const xrtti*> byName;
};
TypeMap& typeMap() {
    static TypeMap* map = new TypeMap; // lives for the process, like the descriptors
    return *map;
}

// A fixed descriptor of a base type, registered when made. Each getter
// keeps its own static, so each name gets its own descriptor.
template <class D> const D* makeFixedRtti(const char* name) {
    D* d = new D(name);
    cipRttiAddToMap(d);
    return d;
}
} // namespace

void cipRttiAddToMap(const xrtti* type) {
    if (!type)
        return;
    TypeMap& map = typeMap();
    std::lock_guard<std::mutex> guard(map.lock);
    map.byName.emplace(type->name(), type);
}

const xrtti* cipRttiFind(const char* name) {
    if (!name)
        return nullptr;
    TypeMap& map = typeMap();
    std::lock_guard<std::mutex> guard(map.lock);
    auto it = map.byName.find(name);
    return it == map.byName.end() ? nullptr : it->second;
}

int cipRttiMapSize() {
    TypeMap& map = typeMap();
    std::lock_guard<std::mutex> guard(map.lock);
    return static_cast<int>(map.byName.size());
}

const xrttiobject* cipGetRtti_object() {
    static const xrttiobject* const rtti = makeFixedRtti<xrttiobject>("object");
    return rtti;
}
const xrtti* cipGetRtti_int() {
    static const xrtti* const rtti = makeFixedRtti<xrtti>("int");
    return rtti;
}
const xrtti* cipGetRtti_real() {
    static const xrtti* const rtti = makeFixedRtti<xrtti>("real");
    return rtti;
}
const xrtti* cipGetRtti_string() {
    static const xrtti* const rtti = makeFixedRtti<xrtti>("string");
    return rtti;
}
const xrtti* cipGetRtti_any() {
    static const xrtti* const rtti = makeFixedRtti<xrtti>("any");
    return rtti;
}

xrttistruct* xrttiMakeStruct(const char* name, const xrttiobject* base) {
    auto* d = new xrttistruct;
    const xrttiobject* bases[1] = {base};
    d->initializeRttiStruct(name, 1, base ? 1 : 0, bases, 0, nullptr);
    cipRttiAddToMap(d);
    return d;
}

void xrtti_throw_mismatch(const char* expected, xobject* obj) {
    cipXTypeMismatch::Throw(expected, xany(obj));
}
