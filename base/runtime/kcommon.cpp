#include "kcommon.h"

#include "kbeside.h"
#include "kclient_serial.h"

#include "xexcept.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>

XRTTI_DEFINE(KCommon, "KBase::Common", xobject)
XRTTI_DEFINE(KObj, "KBase::Obj", KCommon)
XRTTI_DEFINE(KCCommon, "KBase::CCommon", xobject)
XRTTI_DEFINE(KCAction, "KBase::CAction", KCCommon)
XRTTI_DEFINE(KCStream, "KBase::CStream", KCCommon)
XRTTI_DEFINE(KCStreamFactory, "KBase::CStreamFactory", KCCommon)

// A type's maker is kept in its descriptor (which lives for the process),
// so that finding it takes no lock.
void KRegisterJournalWrapperMaker(const xrttiobject* type, KJournalWrapperMaker maker) {
    if (type)
        type->setJournalWrapperMaker(reinterpret_cast<xrttiobject::untyped_fn>(maker));
}

KJournalWrapperMaker KFindJournalWrapperMaker(const xrttiobject* type) {
    return type ? reinterpret_cast<KJournalWrapperMaker>(type->journalWrapperMaker()) : nullptr;
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

namespace {
// The numbers of the caller's objects alive now, by the address of their
// KCCommon part.
KBeside<uint64_t>& clientSerials() {
    static KBeside<uint64_t>* const serials = new KBeside<uint64_t>;
    return *serials;
}

// Keeps the number of a caller's object as it is made. Without memory for
// the entry the object goes unnumbered (the journal then names it by its
// address).
void numberClientObject(const KCCommon* object, uint64_t serial) noexcept {
    try {
        clientSerials().Set(object, serial);
    } catch (const std::bad_alloc&) {
    }
}
} // namespace

KCCommon::KCCommon() noexcept { numberClientObject(this, KCommon_i::TakeJournalSerial()); }

KCCommon::KCCommon(const KCCommon& other) noexcept : xobject(other) {
    numberClientObject(this, KCommon_i::TakeJournalSerial());
}

KCCommon::~KCCommon() { clientSerials().Drop(this); }

uint64_t KCCommonJournalSerial(const KCCommon* object) noexcept {
    const uint64_t* serial = object ? clientSerials().Find(object) : nullptr;
    return serial ? *serial : 0;
}

bool KCommon_i::IsJournalWrapper() const { return false; }

KCommon_i::~KCommon_i() {
    // No one holds this object any more, so no one holds the wrapper that
    // shares its count, and no other thread can reach this object's cache.
    if (KCommon_j* wrapper = sharing_.load(std::memory_order_acquire)) {
        sharing_.store(nullptr, std::memory_order_relaxed);
        delete wrapper;
    }
}

KCommon_j* KCommon_i::PeekJournalWrapper() const {
    if (KCommon_j* shared = sharing_.load(std::memory_order_acquire))
        return shared;
    std::lock_guard<std::mutex> guard(wrapperLock(this));
    return wrapper_.load(std::memory_order_relaxed);
}

KCommon_j* KCommon_i::cacheWrapper(KCommon_j* made, xobject* madeObject, bool attach) {
    std::lock_guard<std::mutex> guard(wrapperLock(this));
    // A wrapper that shares this object's count, cached meanwhile, serves
    // first; a reference on it is one on this object, which the caller
    // holds.
    if (KCommon_j* shared = sharing_.load(std::memory_order_acquire)) {
        if (attach)
            shared->self_->xattach();
        return shared;
    }
    if (KCommon_j* cached = wrapper_.load(std::memory_order_relaxed))
        if (attach ? wrapperObject_->xattachIfLive() : true)
            return cached;
    if (made) {
        wrapper_.store(made, std::memory_order_relaxed);
        wrapperObject_ = madeObject;
    }
    return made;
}

KCommon_j* KCommon_i::cacheSharing(KCommon_j* made) {
    made->self_ = made->GetImplObject();
    KCommon_j* cached = nullptr;
    if (sharing_.compare_exchange_strong(cached, made, std::memory_order_acq_rel))
        return made;
    // Another thread cached one first; ours was never handed out.
    xrchandle<xobject> none;
    dropUnused(made, none);
    return cached;
}

void KCommon_i::dropUnused(KCommon_j* made, xrchandle<xobject>& held) {
    if (made->SharesCount()) {
        // Its references are the wrapped object's; it is freed here.
        held.release();
        delete made;
    } else if (held.isNull()) {
        xrchandle<xobject> drop(made->GetImplObject());
    } else {
        held.release();
    }
}

xrchandle<xobject> KCommon_i::AttachJournalWrapper() {
    if (xobject* shared = SharingJournalWrapper())
        return xrchandle<xobject>(shared);
    if (IsJournalWrapper())
        return xrchandle<xobject>(GetImplObject());
    if (KCommon_j* cached = cacheWrapper(nullptr, nullptr, true))
        return xrchandle<xobject>::adopt(cached->GetImplObject());
    // Made outside the lock: a constructor that fails destroys its parts,
    // and a wrapper's destructor takes the lock.
    KCommon_j* made = MakeJournalWrapper();
    if (!made)
        ThrowSimple(-10);
    if (made->SharesCount())
        return xrchandle<xobject>(cacheSharing(made)->self_);
    xrchandle<xobject> mine(made->GetImplObject());
    KCommon_j* used = cacheWrapper(made, mine.get(), true);
    if (used == made)
        return mine;
    // Another thread cached a usable wrapper meanwhile: the caller gets
    // that one (cacheWrapper took its reference), and ours goes, outside
    // the lock.
    dropUnused(made, mine);
    return xrchandle<xobject>::adopt(used->GetImplObject());
}

xobject* KCommon_i::MakeSharingJournalWrapper() {
    if (xobject* shared = SharingJournalWrapper())
        return shared;
    // A wrapper of the other kind is cached (a hint, read without the
    // lock): it is not made again here.
    if (IsJournalWrapper() || wrapper_.load(std::memory_order_relaxed))
        return nullptr;
    KCommon_j* made = MakeJournalWrapper();
    if (!made)
        ThrowSimple(-10);
    if (!made->SharesCount()) {
        // Not of the kind asked for: it goes again (it was never handed out).
        xrchandle<xobject> drop(made->GetImplObject());
        return nullptr;
    }
    return cacheSharing(made)->self_;
}

KCommon_j* KCommon_i::GetJournalWrapper() {
    if (KCommon_j* shared = sharing_.load(std::memory_order_acquire))
        return shared;
    if (KCommon_j* cached = cacheWrapper(nullptr, nullptr, false))
        return cached;
    KCommon_j* made = MakeJournalWrapper();
    if (!made)
        ThrowSimple(-10);
    if (made->SharesCount())
        return cacheSharing(made);
    KCommon_j* used = cacheWrapper(made, made->GetImplObject(), false);
    if (used != made) {
        xrchandle<xobject> none;
        dropUnused(made, none);
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

KCommon_j::KCommon_j(KCommon_i* impl, bool sharesCount)
    : KCommon_i(NoSerial{}), impl_(impl), implObject_(impl ? impl->GetImplObject() : nullptr), shares_(sharesCount && implObject_) {
    if (!shares_)
        xrcattach(implObject_);
}

KCommon_j::~KCommon_j() {
    // A wrapper that shares the count is destroyed by its object (or was
    // never cached); it holds nothing.
    if (shares_ || !impl_)
        return;
    {
        std::lock_guard<std::mutex> guard(wrapperLock(impl_));
        if (impl_->wrapper_.load(std::memory_order_relaxed) == this) {
            impl_->wrapper_.store(nullptr, std::memory_order_relaxed);
            impl_->wrapperObject_ = nullptr;
        }
    }
    // Last: this may destroy the wrapped object.
    xrcrelease(implObject_);
}
