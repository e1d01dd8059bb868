#include "kcommon.h"

#include "xexcept.h"

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

bool KCommon_i::IsJournalWrapper() const { return false; }

KCommon_i::~KCommon_i() = default;

KCommon_j* KCommon_i::GetJournalWrapper() {
    if (!wrapper_) {
        KCommon_j* made = MakeJournalWrapper();
        if (!made)
            ThrowSimple(-10);
        wrapper_ = made;
    }
    return wrapper_;
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
    if (impl_ && impl_->wrapper_ == this)
        impl_->wrapper_ = nullptr;
}
