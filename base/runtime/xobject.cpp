#include "xobject.h"

#include "process.h"
#include "xrtti.h"

namespace {
std::atomic<int64_t> g_live{0};
}

int64_t xobject_live_count() { return g_live.load(); }

xobject::xobject() noexcept : refcount_(0) { g_live.fetch_add(1, std::memory_order_relaxed); }

xobject::xobject(const xobject&) noexcept : refcount_(0) {
    g_live.fetch_add(1, std::memory_order_relaxed);
}

xobject::~xobject() { g_live.fetch_sub(1, std::memory_order_relaxed); }

void* xobject::dyndowncast(const xrttiobject* type) {
    return type && type->isSameType(getClassRtti()) ? this : nullptr;
}

void* xobject::dyndowncast_i(const xrttiobject* type) { return dyndowncast(type); }

const xrttiobject* xobject::giveRtti() const { return getClassRtti(); }

const xrttiobject* xobject::getClassRtti() { return cipGetRtti_object(); }

bool xobject::isDeletable() const { return true; }

void xobject::onDelete() {}

void xobject::xattach() { refcount_.fetch_add(1, std::memory_order_relaxed); }

bool xobject::xattachIfLive() noexcept {
    int32_t count = refcount_.load(std::memory_order_relaxed);
    while (count > 0) {
        if (refcount_.compare_exchange_weak(count, count + 1, std::memory_order_relaxed))
            return true;
    }
    return false;
}

void xobject::xrelease() {
    int32_t before = refcount_.fetch_sub(1, std::memory_order_acq_rel);
    if (before == 1) {
        onDelete();
        // An object that lives elsewhere (a static, a member of another
        // object) reaches 0 without being freed.
        if (isDeletable())
            xfree();
    } else if (before <= 0) {
        // Released more often than attached: a fault of the caller. Undo and
        // stop before memory is freed twice.
        refcount_.fetch_add(1, std::memory_order_relaxed);
        dbg_err_crash("xobject released more often than attached");
    }
}

void xobject::xfree() { delete this; }

bool xobject::isSameAs(const xrttiobject* type) const {
    const xrttiobject* mine = giveRtti();
    return type && mine && type->isSameType(mine);
}

bool xobject::isKindOf(const xrttiobject* type) const {
    const xrttiobject* mine = giveRtti();
    return type && mine && mine->isKindOf(type);
}

void xrcattach(xobject* obj) {
    if (obj)
        obj->xattach();
}

void xrcrelease(xobject* obj) {
    if (obj)
        obj->xrelease();
}

void xrcuniattach(xobject* obj) {
    if (obj && obj->isRefCountable())
        obj->xattach();
}

void xrcunirelease(xobject* obj) {
    if (obj && obj->isRefCountable())
        obj->xrelease();
}

void xrcrelease_c(xobject* obj) { xrcrelease(obj); }
