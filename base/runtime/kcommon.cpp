#include "kcommon.h"

#include "xexcept.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

XRTTI_DEFINE(KCommon, "KBase::Common", xobject)
XRTTI_DEFINE(KObj, "KBase::Obj", KCommon)
XRTTI_DEFINE(KCCommon, "KBase::CCommon", xobject)
XRTTI_DEFINE(KCAction, "KBase::CAction", KCCommon)
XRTTI_DEFINE(KCStream, "KBase::CStream", KCCommon)
XRTTI_DEFINE(KCStreamFactory, "KBase::CStreamFactory", KCCommon)

namespace {
struct WrapperMakers {
    std::mutex lock;
    std::map<const xrttiobject*, KJournalWrapperMaker> byType;
};
WrapperMakers& makers() {
    static WrapperMakers* m = new WrapperMakers;
    return *m;
}
} // namespace

void KRegisterJournalWrapperMaker(const xrttiobject* type, KJournalWrapperMaker maker) {
    if (!type)
        return;
    WrapperMakers& m = makers();
    std::lock_guard<std::mutex> guard(m.lock);
    m.byType[type] = maker;
}

KJournalWrapperMaker KFindJournalWrapperMaker(const xrttiobject* type) {
    WrapperMakers& m = makers();
    std::lock_guard<std::mutex> guard(m.lock);
    auto it = m.byType.find(type);
    return it == m.byType.end() ? nullptr : it->second;
}

namespace {
// The locks of the wrapper caches: one per group of objects, chosen by
// address, so that objects need no lock of their own.
constexpr size_t kWrapperLocks = 64;
struct alignas(64) WrapperLock {
    std::mutex lock;
};
WrapperLock g_wrapperLocks[kWrapperLocks];

std::mutex& wrapperLock(const KCommon_i* object) {
    return g_wrapperLocks[(reinterpret_cast<uintptr_t>(object) >> 6) % kWrapperLocks].lock;
}
} // namespace

namespace {
std::atomic<uint64_t> g_nextSerial{1};
}

uint64_t KCommon_i::TakeJournalSerial() noexcept { return g_nextSerial.fetch_add(1, std::memory_order_relaxed); }

uint64_t KCommon_i::NextJournalSerial() noexcept { return g_nextSerial.load(std::memory_order_relaxed); }

bool KCommon_i::IsJournalWrapper() const { return false; }

KCommon_i::~KCommon_i() = default;

KCommon_j* KCommon_i::PeekJournalWrapper() const {
    std::lock_guard<std::mutex> guard(wrapperLock(this));
    return wrapper_;
}

KCommon_j* KCommon_i::cacheWrapper(KCommon_j* made, xobject* madeObject, bool attach) {
    std::lock_guard<std::mutex> guard(wrapperLock(this));
    if (wrapper_ && (attach ? wrapperObject_->xattachIfLive() : true))
        return wrapper_;
    if (made) {
        wrapper_ = made;
        wrapperObject_ = madeObject;
    }
    return made;
}

xrchandle<xobject> KCommon_i::AttachJournalWrapper() {
    if (IsJournalWrapper())
        return xrchandle<xobject>(GetImplObject());
    if (KCommon_j* cached = cacheWrapper(nullptr, nullptr, true))
        return xrchandle<xobject>::adopt(cached->GetImplObject());
    // Made outside the lock: a constructor that fails destroys its parts,
    // and a wrapper's destructor takes the lock.
    KCommon_j* made = MakeJournalWrapper();
    if (!made)
        ThrowSimple(-10);
    xrchandle<xobject> mine(made->GetImplObject());
    KCommon_j* used = cacheWrapper(made, mine.get(), true);
    if (used == made)
        return mine;
    // Another thread cached a live wrapper meanwhile: the caller gets that
    // one, and ours goes when `mine` is released, outside the lock.
    return xrchandle<xobject>::adopt(used->GetImplObject());
}

KCommon_j* KCommon_i::GetJournalWrapper() {
    if (KCommon_j* cached = cacheWrapper(nullptr, nullptr, false))
        return cached;
    KCommon_j* made = MakeJournalWrapper();
    if (!made)
        ThrowSimple(-10);
    KCommon_j* used = cacheWrapper(made, made->GetImplObject(), false);
    if (used != made) {
        // Another thread cached one meanwhile; ours was never handed out.
        xrchandle<xobject> drop(made->GetImplObject());
    }
    return used;
}

KCommon_j* KCommon_i::MakeJournalWrapper() {
    xobject* self = GetImplObject();
    KJournalWrapperMaker maker = self ? KFindJournalWrapperMaker(self->giveRtti()) : nullptr;
    if (!maker)
        ThrowSimple(-2);
    return maker(this);
}

KCommon_j::KCommon_j(KCommon_i* impl) : impl_(impl), implHandle_(impl ? impl->GetImplObject() : nullptr) {}

KCommon_j::~KCommon_j() {
    if (!impl_)
        return;
    std::lock_guard<std::mutex> guard(wrapperLock(impl_));
    if (impl_->wrapper_ == this) {
        impl_->wrapper_ = nullptr;
        impl_->wrapperObject_ = nullptr;
    }
}
