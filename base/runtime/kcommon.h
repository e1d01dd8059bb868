// Roots of the interface classes (KCommon, KObj), the classes a caller
// implements (KCCommon, KCAction, KCStream, KCStreamFactory), and the bases
// of implementation objects (KCommon_i) and journal wrappers (KCommon_j).
#pragma once

#include "xhandle.h"
#include "xrtti.h"

#include <atomic>
#include <cstdint>

class KCommon_i;
class KCommon_j;

// Common virtual base of every interface class.
class ZBASE_API KCommon : public virtual xobject {
    XRTTI_DECLARE(KCommon)
public:
    // The implementation object behind this interface object.
    virtual KCommon_i* _CastToImpl() = 0;

protected:
    KCommon() = default;
    KCommon(const KCommon&) = default;
    KCommon& operator=(const KCommon&) = default;
    ~KCommon() override = default;
};

class ZBASE_API KObj : public virtual xobject, public virtual KCommon {
    XRTTI_DECLARE(KObj)
public:
    virtual int GetObjType() = 0;

protected:
    KObj() = default;
    KObj(const KObj&) = default;
    KObj& operator=(const KObj&) = default;
    ~KObj() override = default;
};

// Root of the classes that a caller implements. It holds no data, so that
// it stays the primary base of the classes on it and their operations keep
// the slots that translators were built with. The number the journal names
// a caller's object by is kept beside the objects: the constructors give it
// (from the count of KCommon_i::JournalSerial, so never twice in a
// process) and the destructor takes it back.
class ZBASE_API KCCommon : public virtual xobject {
    XRTTI_DECLARE(KCCommon)
public:
    KCCommon() noexcept;
    // A copy is a new object with a number of its own.
    KCCommon(const KCCommon&) noexcept;
    KCCommon& operator=(const KCCommon&) = default;
    ~KCCommon() override;
    // Caller objects have no implementation object behind them.
    virtual void* _CastToImpl() { return nullptr; }
};

class ZBASE_API KCAction : public virtual xobject, public virtual KCCommon {
    XRTTI_DECLARE(KCAction)
public:
    KCAction() = default;
    KCAction(const KCAction&) = default;
    KCAction& operator=(const KCAction&) = default;
    ~KCAction() override = default;
};

// A byte stream that the caller provides (the neutral writer writes into
// one). Read and Write return the bytes moved, or -1 on failure.
class ZBASE_API KCStream : public virtual xobject, public virtual KCCommon {
    XRTTI_DECLARE(KCStream)
public:
    KCStream() = default;
    KCStream(const KCStream&) = default;
    KCStream& operator=(const KCStream&) = default;
    ~KCStream() override = default;
    virtual int Read(void* buffer, int count) = 0;
    virtual int Write(const void* buffer, int count) = 0;
    virtual int64_t GetPos() = 0;
    virtual int SetPos(int64_t position) = 0;
    virtual int Close() = 0;
};

class ZBASE_API KCStreamFactory : public virtual xobject, public virtual KCCommon {
    XRTTI_DECLARE(KCStreamFactory)
public:
    KCStreamFactory() = default;
    KCStreamFactory(const KCStreamFactory&) = default;
    KCStreamFactory& operator=(const KCStreamFactory&) = default;
    ~KCStreamFactory() override = default;
    virtual xrchandle<KCStream> OpenStream(const char* name, int mode) = 0;
    virtual int RemoveStream(const char* name) = 0;
};

// First base of every implementation object. It keeps a pointer to the
// object's journal wrapper, which is of one of two kinds (KCommon_j):
// - a wrapper that shares this object's count (the journal wrappers of the
//   interfaces): made on first use and kept until this object goes, which
//   destroys it. A reference on it is a reference on this object. It is
//   set once and found without a lock.
// - a wrapper that holds this object: the pointer holds no reference, and
//   the wrapper clears it when it goes. The pointer is read, set and
//   cleared under one lock (shared by a few objects), so threads may ask
//   one object for its wrapper while another drops the wrapper's last
//   reference: AttachJournalWrapper hands out the cached wrapper only while
//   it still holds a reference, and otherwise makes a new one.
class ZBASE_API KCommon_i {
public:
    virtual bool IsJournalWrapper() const;
    // The wrapper of this object, with one reference taken for the caller:
    // the cached wrapper while it lives, otherwise a new one that is then
    // cached. A wrapper answers itself. Raises when no wrapper can be made.
    // Safe from any thread.
    xrchandle<xobject> AttachJournalWrapper();
    // The wrapper of this object, made on first use and kept, as a plain
    // pointer that holds no reference: valid while this object lives for a
    // wrapper that shares its count, otherwise only while some handle holds
    // the wrapper, so a caller attaches it at once and no other thread may
    // drop the wrapper meanwhile. Raises when no wrapper can be made.
    virtual KCommon_j* GetJournalWrapper();
    // The xobject part of this implementation object.
    virtual xobject* GetImplObject() = 0;
    // The wrapper if one is cached now (no new one is made).
    KCommon_j* PeekJournalWrapper() const;
    // The xobject part of this object's wrapper when it is one that shares
    // this object's count and has been made; null otherwise. No lock.
    inline xobject* SharingJournalWrapper() const noexcept;
    // The same, made first when this object has no wrapper yet. Null when
    // this object is a wrapper or its wrapper is of the other kind. Takes
    // no reference (the caller holds this object). Raises when no wrapper
    // can be made.
    xobject* MakeSharingJournalWrapper();
    // The object's number: given when the object is made, from 1 upwards,
    // never given again in the process. The journal names the object (and
    // every wrapper of it) by this number. A journal wrapper has none (0).
    uint64_t JournalSerial() const noexcept { return serial_; }
    // The number the next object will get.
    static uint64_t NextJournalSerial() noexcept;

protected:
    KCommon_i() noexcept : serial_(TakeJournalSerial()) {}
    // A journal wrapper's: it takes no number (the journal names a wrapper
    // by the object it wraps).
    struct NoSerial {};
    explicit KCommon_i(NoSerial) noexcept : serial_(0) {}
    // A copy is a new object with a number of its own.
    KCommon_i(const KCommon_i&) noexcept : serial_(TakeJournalSerial()) {}
    KCommon_i& operator=(const KCommon_i&) noexcept { return *this; }
    // Destroys a wrapper that shares this object's count.
    virtual ~KCommon_i();
    // Makes the wrapper; by default through the maker registered for the
    // object's type descriptor.
    virtual KCommon_j* MakeJournalWrapper();

private:
    friend class KCommon_j;
    friend class KCCommon;
    // The cached wrapper (with a reference taken when `attach` is set, and
    // then only while it lives); when there is none, caches `made` (if not
    // null) and answers it.
    KCommon_j* cacheWrapper(KCommon_j* made, xobject* madeObject, bool attach);
    // Caches `made`, a wrapper that shares this object's count, unless one
    // was cached first; answers the one cached. Takes no lock.
    KCommon_j* cacheSharing(KCommon_j* made);
    // A wrapper made but not cached (another thread cached one first), never
    // handed out; `held` is the caller's reference on it, if any.
    static void dropUnused(KCommon_j* made, xrchandle<xobject>& held);
    // A wrapper that holds this object, guarded by the wrapper lock of this
    // object (read without it only as a hint). Its xobject part is kept
    // beside it so that its count can be read while it is being destroyed.
    std::atomic<KCommon_j*> wrapper_{nullptr};
    xobject* wrapperObject_ = nullptr;
    // A wrapper that shares this object's count: set once, without a lock.
    std::atomic<KCommon_j*> sharing_{nullptr};
    static uint64_t TakeJournalSerial() noexcept;
    const uint64_t serial_;
};

// Base of every journal wrapper. A wrapper stands for the implementation
// object it wraps in one of two ways:
// - it holds a counted reference on it (the default): the wrapper lives
//   while references on it do, and is made anew after that;
// - it shares its count (kSharesCount): every reference on the wrapper is
//   one on the implementation object, which keeps the wrapper from the
//   first request until it goes itself. Handing out the wrapper for a
//   reference on the object, and back, then costs nothing. Such a wrapper
//   is made by a wrapper maker for the object it is given (that object
//   caches and destroys it), and the wrapper's class overrides xattach and
//   xrelease with AttachShared and ReleaseShared.
class ZBASE_API KCommon_j : public KCommon_i {
public:
    bool IsJournalWrapper() const override { return true; }
    KCommon_j* GetJournalWrapper() override { return this; }
    xrchandle<xobject> GetImplHandle() const { return xrchandle<xobject>(implObject_); }
    KCommon_i* GetImpl() const { return impl_; }
    // The object GetImplHandle holds, without taking a reference.
    xobject* GetWrappedObject() const { return implObject_; }
    // Whether the wrapper shares the count of the object it wraps.
    bool SharesCount() const noexcept { return shares_; }

protected:
    static constexpr bool kSharesCount = true;
    explicit KCommon_j(KCommon_i* impl, bool sharesCount = false);
    ~KCommon_j() override;
    // xattach and xrelease of a wrapper class whose xobject part is `self`:
    // a wrapper that shares its count takes and gives back the reference on
    // the wrapped object, any other on itself.
    void AttachShared(xobject* self) {
        if (shares_)
            implObject_->xattach();
        else
            self->xobject::xattach();
    }
    void ReleaseShared(xobject* self) {
        if (shares_)
            implObject_->xrelease();
        else
            self->xobject::xrelease();
    }

private:
    friend class KCommon_i; // destroys a wrapper that shares its count
    KCommon_i* impl_;
    xobject* implObject_;
    // Its own xobject part, kept when it is cached as a wrapper that
    // shares the count.
    xobject* self_ = nullptr;
    const bool shares_;
};

inline xobject* KCommon_i::SharingJournalWrapper() const noexcept {
    const KCommon_j* wrapper = sharing_.load(std::memory_order_acquire);
    return wrapper ? wrapper->self_ : nullptr;
}

// Makes the journal wrapper of an implementation object of one interface.
using KJournalWrapperMaker = KCommon_j* (*)(KCommon_i* impl);
ZBASE_API void KRegisterJournalWrapperMaker(const xrttiobject* type, KJournalWrapperMaker maker);
ZBASE_API KJournalWrapperMaker KFindJournalWrapperMaker(const xrttiobject* type);
