// Run-time type descriptors. Descriptors are made once and live for the
// process; a finished descriptor is registered in the type map by name.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>
#include <vector>

class xobject;
class xany;

class ZBASE_API xrtti {
public:
    explicit xrtti(const char* name = nullptr) : name_(name) {}
    xrtti(const xrtti&) = delete;
    xrtti& operator=(const xrtti&) = delete;
    virtual ~xrtti();

    const char* name() const { return name_ ? name_ : ""; }
    // True when both denote the same type.
    virtual bool isSameType(const xrtti* other) const { return other == this; }

protected:
    const char* name_;
};

// Descriptor of a class of objects; knows its bases.
class ZBASE_API xrttiobject : public xrtti {
public:
    using xrtti::xrtti;
    int baseCount() const { return static_cast<int>(bases_.size()); }
    const xrttiobject* base(int i) const;
    // This type or one of its bases (transitively) is `other`; every class
    // is a kind of the root object type.
    bool isKindOf(const xrttiobject* other) const;

    // A word that the wrapping services keep per descriptor: what they
    // found out about the kind of its objects (0 until then). Any thread
    // may read or set it.
    uint32_t kindBits() const { return kindBits_.load(std::memory_order_relaxed); }
    void setKindBits(uint32_t bits) const { kindBits_.store(bits, std::memory_order_relaxed); }

    // The maker of the journal wrappers of this type's objects, as an
    // untyped function pointer (see KRegisterJournalWrapperMaker); null
    // until one is registered. Any thread may read or set it.
    using untyped_fn = void (*)();
    untyped_fn journalWrapperMaker() const { return journalWrapperMaker_.load(std::memory_order_acquire); }
    void setJournalWrapperMaker(untyped_fn maker) const {
        journalWrapperMaker_.store(maker, std::memory_order_release);
    }

    // A text the call journal makes once per descriptor and keeps with it
    // (null until then). Set keeps the first text set and answers the one
    // kept; the caller frees its own when it was not kept.
    const void* journalText() const { return journalText_.load(std::memory_order_acquire); }
    const void* setJournalText(const void* text) const {
        const void* kept = nullptr;
        return journalText_.compare_exchange_strong(kept, text, std::memory_order_acq_rel) ? text : kept;
    }

protected:
    std::vector<const xrttiobject*> bases_;

private:
    mutable std::atomic<uint32_t> kindBits_{0};
    mutable std::atomic<untyped_fn> journalWrapperMaker_{nullptr};
    mutable std::atomic<const void*> journalText_{nullptr};
};

// A read-only property of a class descriptor.
class ZBASE_API xrttiattr {
public:
    using getter_fn = xany (*)(xobject*);
    xrttiattr(const char* name, const xrtti* type, unsigned char flag, getter_fn getter)
        : name_(name), type_(type), flag_(flag), getter_(getter) {}
    xrttiattr(const xrttiattr&) = delete;
    xrttiattr& operator=(const xrttiattr&) = delete;

    const char* name() const { return name_; }
    const xrtti* type() const { return type_; }
    unsigned char flag() const { return flag_; }
    getter_fn getter() const { return getter_; }
    bool hasSetter() const { return false; }

private:
    const char* name_;
    const xrtti* type_;
    unsigned char flag_;
    getter_fn getter_;
};

class ZBASE_API xrttistruct : public xrttiobject {
public:
    xrttistruct() = default;
    void initializeRttiStruct(const char* name, unsigned char flag, int nbases,
                              const xrttiobject* const* bases, int nattrs,
                              xrttiattr* const* attrs);
    bool isInitialized() const { return initialized_; }
    unsigned char flag() const { return flag_; }
    int attrCount() const { return static_cast<int>(attrs_.size()); }
    const xrttiattr* attr(int i) const;

private:
    std::vector<xrttiattr*> attrs_;
    unsigned char flag_ = 0;
    bool initialized_ = false;
};

class ZBASE_API xrttisequence : public xrttiobject {
public:
    using count_fn = int32_t (*)(xobject*);
    using item_fn = xany (*)(xobject*, int32_t);
    xrttisequence() = default;
    void initializeRttiSeq(const char* name, unsigned char flag, const xrtti* element,
                           unsigned char flag2, count_fn count, item_fn item);
    const xrtti* elementType() const { return element_; }
    count_fn countFunction() const { return count_; }
    item_fn itemFunction() const { return item_; }

private:
    const xrtti* element_ = nullptr;
    count_fn count_ = nullptr;
    item_fn item_ = nullptr;
};

// Enumeration: the position of a name is the constant's value.
class ZBASE_API xrttienum : public xrtti {
public:
    xrttienum(const char* name, int count, const char* const* names);
    int count() const { return static_cast<int>(names_.size()); }
    // Name of a value, or null for a value outside the table.
    const char* nameOf(int64_t value) const;
    // Value of a name, or -1.
    int valueOf(const char* name) const;

private:
    std::vector<const char*> names_;
};

// Type map. Registration is thread-safe; a name registered twice keeps the
// first descriptor.
ZBASE_API void cipRttiAddToMap(const xrtti* type);
ZBASE_API const xrtti* cipRttiFind(const char* name);
ZBASE_API int cipRttiMapSize();

// Fixed descriptors of the base types.
ZBASE_API const xrttiobject* cipGetRtti_object();
ZBASE_API const xrtti* cipGetRtti_int();
ZBASE_API const xrtti* cipGetRtti_real();
ZBASE_API const xrtti* cipGetRtti_string();
ZBASE_API const xrtti* cipGetRtti_any();

// Makes, initialises and registers a class descriptor with one base and no
// property. Used by the base library's own classes.
ZBASE_API xrttistruct* xrttiMakeStruct(const char* name, const xrttiobject* base);

// The reserved pointer value that softcast and cast pass through unchanged.
inline constexpr uintptr_t xrtti_reserved_pointer = 22;

// Type queries of the base library's own classes: `cast` raises a type
// mismatch, `softcast` answers null, and `dyndowncast` walks the class
// chain. Place XRTTI_DECLARE in the class and XRTTI_DEFINE in one source.
#define XRTTI_DECLARE(Class)                                                   \
public:                                                                        \
    static const xrttiobject* getClassRtti();                                  \
    const xrttiobject* giveRtti() const override;                              \
    void* dyndowncast(const xrttiobject* type) override;                       \
    static Class* softcast(xobject* obj);                                      \
    static Class* cast(xobject* obj);                                          \
    static unsigned char isObjSameAs(xobject* obj);                            \
    static unsigned char isObjKindOf(xobject* obj);

// Base: the class whose dyndowncast answers types other than Class itself
// (xobject for a class directly on it).
#define XRTTI_DEFINE(Class, TypeName, Base)                                    \
    const xrttiobject* Class::getClassRtti() {                                 \
        static const xrttiobject* const rtti =                                 \
            xrttiMakeStruct(TypeName, Base::getClassRtti());                   \
        return rtti;                                                           \
    }                                                                          \
    const xrttiobject* Class::giveRtti() const { return getClassRtti(); }      \
    void* Class::dyndowncast(const xrttiobject* type) {                        \
        if (type && type->isSameType(getClassRtti()))                          \
            return static_cast<Class*>(this);                                  \
        return Base::dyndowncast(type);                                        \
    }                                                                          \
    Class* Class::softcast(xobject* obj) {                                     \
        if (!obj || reinterpret_cast<uintptr_t>(obj) == xrtti_reserved_pointer) \
            return reinterpret_cast<Class*>(reinterpret_cast<uintptr_t>(obj)); \
        return static_cast<Class*>(obj->dyndowncast(getClassRtti()));          \
    }                                                                          \
    Class* Class::cast(xobject* obj) {                                         \
        Class* r = softcast(obj);                                              \
        if (obj && !r)                                                         \
            xrtti_throw_mismatch(TypeName, obj);                               \
        return r;                                                              \
    }                                                                          \
    unsigned char Class::isObjSameAs(xobject* obj) {                           \
        return obj && obj->isSameAs(getClassRtti()) ? 1 : 0;                   \
    }                                                                          \
    unsigned char Class::isObjKindOf(xobject* obj) {                           \
        return obj && obj->isKindOf(getClassRtti()) ? 1 : 0;                   \
    }

// Raises cipXTypeMismatch for `obj` (see xexcept.h); used by the macros.
[[noreturn]] ZBASE_API void xrtti_throw_mismatch(const char* expected, xobject* obj);
