#include "kpi_rtti_support.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zpi_rtti {
namespace {

// One lock for every descriptor build. Recursive: a build requests the
// descriptors of its base and property types, which may be built inside it.
std::recursive_mutex& buildLock() {
    static std::recursive_mutex lock;
    return lock;
}

// Runs make(descriptor) on a fresh descriptor stored in the slot, then
// registers and publishes it. A build that throws publishes nothing; the
// descriptor itself is left alone (a nested build may hold its address).
template <class D, class Make> const xrttiobject* buildOnce(RttiSlot& slot, Make make) {
    std::lock_guard<std::recursive_mutex> guard(buildLock());
    if (const xrttiobject* d = slot.ready.load(std::memory_order_relaxed))
        return d;
    if (slot.building)
        return slot.building;
    D* d = new D;
    slot.building = d;
    try {
        make(*d);
    } catch (...) {
        slot.building = nullptr;
        throw;
    }
    slot.building = nullptr;
    cipRttiAddToMap(d);
    slot.ready.store(d, std::memory_order_release);
    return d;
}

} // namespace

void throwMismatch(const xrttiobject* expected, xobject* obj) {
    cipXTypeMismatch::Throw(expected ? expected->name() : "", xany(obj));
}

const xrttiobject* buildClass(RttiSlot& slot, const char* name, const xrttiobject* (*base)(),
                              std::initializer_list<PropertyDef> properties) {
    return buildOnce<xrttistruct>(slot, [&](xrttistruct& d) {
        const xrttiobject* bases[1] = {base()};
        std::vector<std::unique_ptr<xrttiattr>> owned;
        owned.reserve(properties.size());
        for (const PropertyDef& p : properties)
            owned.push_back(std::make_unique<xrttiattr>(p.name, p.type(), p.flag, p.getter));
        std::vector<xrttiattr*> attrs;
        attrs.reserve(owned.size());
        for (auto& a : owned)
            attrs.push_back(a.get());
        d.initializeRttiStruct(name, 1, 1, bases, static_cast<int>(attrs.size()),
                               attrs.empty() ? nullptr : attrs.data());
        // The descriptor keeps its properties for the life of the process.
        for (auto& a : owned)
            (void)a.release();
    });
}

const xrttiobject* buildSequence(RttiSlot& slot, const char* name, const xrttiobject* (*element)(),
                                 xrttisequence::count_fn count, xrttisequence::item_fn item) {
    return buildOnce<xrttisequence>(slot, [&](xrttisequence& d) {
        d.initializeRttiSeq(name, 1, element(), 1, count, item);
    });
}

} // namespace zpi_rtti
