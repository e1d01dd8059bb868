#include "kwrap.h"

#include "kvalues.h"

inline namespace zbase_internal {

namespace {

xobject* objectOf(KCommon* c) { return c ? static_cast<xobject*>(c) : nullptr; }
xobject* objectOf(KCCommon* c) { return c ? static_cast<xobject*>(c) : nullptr; }

// The object a journal wrapper stands for, in a handle.
xrcunihandle<xobject> wrappedBy(KCommon_j* wrapper) {
    return xrcunihandle<xobject>(wrapper->GetWrappedObject());
}

// ---- the wrapper of a caller's stream ----------------------------------
// Stands for the caller's stream on the wrapper's implementation side, so
// that KCommon_j holds the stream and GetImplHandle answers it.
class ClientTarget final : public KCommon_i {
public:
    explicit ClientTarget(xobject* object) : object_(object) {}
    xobject* GetImplObject() override { return object_; }

private:
    xobject* object_;
};

struct ClientTargetHolder {
    explicit ClientTargetHolder(xobject* object) : clientTarget(object) {}
    ClientTarget clientTarget;
};

class ClientStream_j final : private ClientTargetHolder, public KCommon_j, public virtual KCStream {
public:
    explicit ClientStream_j(KCStream* stream)
        : ClientTargetHolder(static_cast<xobject*>(stream)), KCommon_j(&clientTarget),
          stream_(stream) {}

    // The stream is alive as long as KCommon_j holds it.
    int Read(void* buffer, int count) override { return stream_->Read(buffer, count); }
    int Write(const void* buffer, int count) override { return stream_->Write(buffer, count); }
    int64_t GetPos() override { return stream_->GetPos(); }
    int SetPos(int64_t position) override { return stream_->SetPos(position); }
    int Close() override { return stream_->Close(); }

    void* _CastToImpl() override { return static_cast<KCommon_i*>(this); }
    xobject* GetImplObject() override { return static_cast<xobject*>(static_cast<KCStream*>(this)); }

private:
    KCStream* stream_;
};

// ---- journal wrappers of the API exceptions ------------------------------
// Thrown to the caller in place of the implementation's exception; they
// answer every query through the exception they wrap, and share its count.
template <class Iface> class ExceptionWrapperBase : public KCommon_j, public virtual Iface {
protected:
    explicit ExceptionWrapperBase(KCommon_i* impl)
        : KCommon_j(impl, kSharesCount), target_(Iface::cast(impl ? impl->GetImplObject() : nullptr)) {
        if (!target_)
            ThrowInvalidArg(1, 0);
    }
    Iface* target() const { return target_; }

public:
    KCommon_i* _CastToImpl() override { return GetImpl(); }
    xobject* GetImplObject() override { return static_cast<xthrowable*>(static_cast<Iface*>(this)); }
    void xattach() override { AttachShared(GetImplObject()); }
    void xrelease() override { ReleaseShared(GetImplObject()); }

private:
    Iface* target_; // kept alive by KCommon_j
};

class KXSimple_j final : public ExceptionWrapperBase<KXSimple> {
public:
    explicit KXSimple_j(KCommon_i* impl) : ExceptionWrapperBase(impl) {}
    int GetStatus() override { return target()->GetStatus(); }
};

class KXInvalidState_j final : public ExceptionWrapperBase<KXInvalidState> {
public:
    explicit KXInvalidState_j(KCommon_i* impl) : ExceptionWrapperBase(impl) {}
    int GetState() override { return target()->GetState(); }
};

class KXInvalidArg_j final : public ExceptionWrapperBase<KXInvalidArg> {
public:
    explicit KXInvalidArg_j(KCommon_i* impl) : ExceptionWrapperBase(impl) {}
    int GetArgIndex() override { return target()->GetArgIndex(); }
    int GetCode() override { return target()->GetCode(); }
};

template <class W> KCommon_j* makeWrapper(KCommon_i* impl) { return new W(impl); }

struct ExceptionWrapperMakers {
    ExceptionWrapperMakers() {
        KRegisterJournalWrapperMaker(KXSimple::getClassRtti(), &makeWrapper<KXSimple_j>);
        KRegisterJournalWrapperMaker(KXInvalidState::getClassRtti(), &makeWrapper<KXInvalidState_j>);
        KRegisterJournalWrapperMaker(KXInvalidArg::getClassRtti(), &makeWrapper<KXInvalidArg_j>);
    }
};
const ExceptionWrapperMakers exceptionWrapperMakers;

} // namespace

// ---- kinds -------------------------------------------------------------------

KCommon_i* kkClientImpl(KCCommon* object) {
    return object ? static_cast<KCommon_i*>(object->_CastToImpl()) : nullptr;
}

namespace {
// The implementation object behind either kind of part.
KCommon_i* implOf(KCommon* object) { return object ? object->_CastToImpl() : nullptr; }
KCommon_i* implOf(KCCommon* object) { return kkClientImpl(object); }

template <class Part> KCommon_j* asJournalWrapper(Part* object) {
    if (!object)
        return nullptr;
    KCommon_i* impl = implOf(object);
    if (impl) {
        if (impl->IsJournalWrapper())
            return static_cast<KCommon_j*>(impl);
        // An implementation object answers itself: it is no wrapper. (The
        // type test below is slow: it fails by comparing type names.)
        if (impl->GetImplObject() == objectOf(object))
            return nullptr;
    }
    // A wrapper whose _CastToImpl answers the object it wraps.
    return dynamic_cast<KCommon_j*>(object);
}

template <class Part> xrcunihandle<xobject> unwrapCommon(Part* object) {
    if (!object)
        return xrcunihandle<xobject>();
    if (KCommon_j* wrapper = asJournalWrapper(object))
        return wrappedBy(wrapper);
    return xrcunihandle<xobject>(objectOf(object));
}

template <class Part> xrcunihandle<xobject> wrapCommon(Part* object) {
    if (!object)
        return xrcunihandle<xobject>();
    KCommon_i* impl = asJournalWrapper(object) ? nullptr : implOf(object);
    if (!impl)
        return xrcunihandle<xobject>(objectOf(object));
    return xrcunihandle<xobject>(impl->AttachJournalWrapper().get());
}
} // namespace

KCommon_j* kkAsJournalWrapper(KCommon* object) { return asJournalWrapper(object); }

KCommon_j* kkAsJournalWrapper(KCCommon* object) { return asJournalWrapper(object); }

bool IsAWrapperImpl(KCommon* object) { return kkAsJournalWrapper(object) != nullptr; }

bool IsAWrapperImpl(KCCommon* object) { return kkAsJournalWrapper(object) != nullptr; }

bool IsAWrapperImpl(xobject* object) {
    if (!object)
        return false;
    if (xIsSequence(object))
        return true;
    if (KCommon* c = KCommon::softcast(object))
        return IsAWrapperImpl(c);
    if (KCCommon* cc = KCCommon::softcast(object))
        return IsAWrapperImpl(cc);
    return false;
}

namespace {
// What the kind tests find depends only on an object's descriptor, so it is
// worked out once per descriptor and kept there.
constexpr uint32_t kKindsKnown = 1, kKindSequence = 2, kKindClient = 4;

uint32_t findKinds(xobject* obj, const xrttiobject* type) {
    uint32_t kinds = kKindsKnown;
    if (dynamic_cast<const xrttisequence*>(type) || xintsequence::isObjKindOf(obj) ||
        xrealsequence::isObjKindOf(obj) || KPoint3DList::isObjKindOf(obj) ||
        KVector3DList::isObjKindOf(obj) || KPointUVList::isObjKindOf(obj))
        kinds |= kKindSequence;
    if (KCCommon::isObjKindOf(obj))
        kinds |= kKindClient;
    return kinds;
}

uint32_t kindsOf(const xobject* object) {
    xobject* obj = const_cast<xobject*>(object);
    const xrttiobject* type = obj->giveRtti();
    if (!type)
        return findKinds(obj, type);
    uint32_t kinds = type->kindBits();
    if (!kinds) {
        kinds = findKinds(obj, type);
        type->setKindBits(kinds);
    }
    return kinds;
}
} // namespace

bool xIsSequence(const xobject* object) { return object && (kindsOf(object) & kKindSequence); }

bool xIsClientObject(const xobject* object) { return object && (kindsOf(object) & kKindClient); }

const char* xGetCipTypeName(const xobject* object) {
    if (!object)
        return "";
    xobject* obj = const_cast<xobject*>(object);
    if (xintsequence::isObjKindOf(obj))
        return "intseq";
    if (xrealsequence::isObjKindOf(obj))
        return "realseq";
    const xrttiobject* type = obj->giveRtti();
    return type ? type->name() : "";
}

// ---- towards the implementation side -------------------------------------------

xrcunihandle<xobject> UnwrapCommon(KCommon* object) { return unwrapCommon(object); }

xrcunihandle<xobject> UnwrapCommon(KCCommon* object) { return unwrapCommon(object); }

// Only an object that is the implementation object (or the wrapper) itself
// shares a count with the other side: an object that merely answers one
// through _CastToImpl has a count of its own.
xobject* kkWrapperSharingCount(KCommon* object, bool make) {
    KCommon_i* impl = implOf(object);
    if (!impl)
        return nullptr;
    if (xobject* wrapper = impl->SharingJournalWrapper())
        return impl->GetImplObject() == objectOf(object) ? wrapper : nullptr;
    if (!make || impl->GetImplObject() != objectOf(object))
        return nullptr;
    return impl->MakeSharingJournalWrapper();
}

xobject* kkWrappedSharingCount(KCommon* object) {
    KCommon_j* wrapper = asJournalWrapper(object);
    return wrapper && wrapper->SharesCount() && wrapper->GetImplObject() == objectOf(object)
               ? wrapper->GetWrappedObject()
               : nullptr;
}

xrcunihandle<xobject> UnwrapClient(KCommon* common, xobject* object, bool target) {
    if (!object)
        object = objectOf(common);
    if (!object)
        return xrcunihandle<xobject>();
    KCCommon* client = KCCommon::softcast(object);
    KCommon_i* impl = kkClientImpl(client);
    if (impl && impl->IsJournalWrapper()) {
        xrcunihandle<xobject> wrapped = wrappedBy(static_cast<KCommon_j*>(impl));
        KCCommon* inner = KCCommon::softcast(wrapped.get());
        if ((inner && inner->_CastToImpl()) || target)
            return wrapped;
    }
    return xrcunihandle<xobject>(object);
}

xobject* UnwrapList(KCommon* common, xobject* object) { return object ? object : objectOf(common); }

xobject* UnwrapList(KCCommon* common, xobject* object) { return object ? object : objectOf(common); }

// ---- towards the caller's side ------------------------------------------------

xrcunihandle<xobject> WrapCommon(KCommon* object) { return wrapCommon(object); }

xrcunihandle<xobject> WrapCommon(KCCommon* object) { return wrapCommon(object); }

xrcunihandle<xobject> WrapClient(KCommon* common, xobject* object) {
    if (!object)
        object = objectOf(common);
    if (!object)
        return xrcunihandle<xobject>();
    KCommon_i* impl = kkClientImpl(KCCommon::softcast(object));
    if (!impl || impl->IsJournalWrapper())
        return xrcunihandle<xobject>(object);
    return xrcunihandle<xobject>(impl->AttachJournalWrapper().get());
}

xobject* WrapList(KCommon* common, xobject* object) { return object ? object : objectOf(common); }

xobject* WrapList(KCCommon* common, xobject* object) { return object ? object : objectOf(common); }

xrchandle<KCStream> kkMakeClientWrapper(xrchandle<KCStream> stream) {
    if (stream.isNull())
        return xrchandle<KCStream>();
    return xrchandle<KCStream>(new ClientStream_j(stream.get()));
}

} // namespace zbase_internal
