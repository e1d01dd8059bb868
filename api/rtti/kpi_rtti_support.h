// Building blocks of the type descriptors and type queries of the interface
// and list classes: property getters generated from member-function
// pointers, the once-only descriptor builds, and the macros that define the
// type queries of one class. Internal to the library (and its tests).
#pragma once

#include "kkjournal.h"
#include "kpi_interfaces.h"
#include "xexcept.h"

#include <atomic>
#include <charconv>
#include <initializer_list>
#include <string>
#include <type_traits>

namespace zpi_rtti {

// Flag byte of a property whose value may be absent.
inline constexpr unsigned char kMayBeAbsent = 1;

using RttiFn = const xrtti* (*)();

// ---- value types ---------------------------------------------------------
// The descriptor of a property's value type, from the getter's result type.
template <class R, class = void> struct ValueRtti;
template <> struct ValueRtti<int> {
    static const xrtti* get() { return cipGetRtti_int(); }
};
template <> struct ValueRtti<double> {
    static const xrtti* get() { return cipGetRtti_real(); }
};
template <> struct ValueRtti<xstring> {
    static const xrtti* get() { return cipGetRtti_string(); }
};
template <> struct ValueRtti<xany> {
    static const xrtti* get() { return cipGetRtti_any(); }
};
template <class T> struct ValueRtti<xrchandle<T>> {
    static const xrtti* get() { return T::getClassRtti(); }
};

// Enumerations: each names its descriptor getter.
template <class E> struct EnumRtti;
#define ZPI_ENUM_RTTI(Enum)                                                    \
    template <> struct EnumRtti<Enum> {                                        \
        static const xrtti* get() { return cipGetRtti_##Enum(); }              \
    };
ZPI_ENUM_RTTI(KPICurveType)
ZPI_ENUM_RTTI(KPISurfType)
ZPI_ENUM_RTTI(KPILoopTraversal)
ZPI_ENUM_RTTI(KPISurfOrient)
ZPI_ENUM_RTTI(KPIItemType)
ZPI_ENUM_RTTI(KPIUnitType)
ZPI_ENUM_RTTI(KPILengthUnits)
ZPI_ENUM_RTTI(KPIMassUnits)
ZPI_ENUM_RTTI(KPILayerStatus)
ZPI_ENUM_RTTI(KTraversal)
ZPI_ENUM_RTTI(KAccuracyType)
#undef ZPI_ENUM_RTTI

template <class E> struct ValueRtti<E, std::enable_if_t<std::is_enum_v<E>>> : EnumRtti<E> {};

// ---- conversion of a result into an xany, by value kind -------------------
inline xany toAny(int v) { return xany(v); }
inline xany toAny(double v) { return xany(v); }
inline xany toAny(const xstring& v) { return xany(v); }
inline xany toAny(const xany& v) { return v; }
// Object: the pointee's xobject part (null for an empty handle).
template <class T> xany toAny(const xrchandle<T>& v) {
    return xany(xhandle_detail::asObject(v.get()));
}
// Enumerator: its integer value.
template <class E, class = std::enable_if_t<std::is_enum_v<E>>> xany toAny(E v) {
    return xany(static_cast<int>(v));
}

// Raises the type mismatch of a class for an object that is not of it (also
// for a null object, which a descriptor function cannot work on).
[[noreturn]] void throwMismatch(const xrttiobject* expected, xobject* obj);

// The C view of obj, held for the duration of a descriptor function.
template <class C> xrchandle<C> holdAs(xobject* obj) {
    xrchandle<C> self(C::cast(obj));
    if (self.isNull())
        throwMismatch(C::getClassRtti(), obj);
    return self;
}

// ---- property getters ------------------------------------------------------
// Getter of one property: casts the object to C, holds it, calls Get and
// converts the result by its value kind. Handles are released on every path.
template <class C, class R, R (C::*Get)()> xany propertyGetter(xobject* obj) {
    xrchandle<C> self = holdAs<C>(obj);
    return toAny((self.get()->*Get)());
}

template <class M> struct MemberGetter;
template <class C, class R> struct MemberGetter<R (C::*)()> {
    using Class = C;
    using Result = R;
};

struct PropertyDef {
    const char* name;
    RttiFn type;
    unsigned char flag;
    xrttiattr::getter_fn getter;
};

// A property read by the interface method Get (a pointer to member).
template <auto Get> PropertyDef property(const char* name, unsigned char flag = 0) {
    using G = MemberGetter<decltype(Get)>;
    using R = typename G::Result;
    return PropertyDef{name, &ValueRtti<R>::get, flag,
                       &propertyGetter<typename G::Class, R, Get>};
}

// ---- list functions of a sequence descriptor --------------------------------
template <class L> int32_t listCount(xobject* obj) {
    xrchandle<L> list = holdAs<L>(obj);
    return list->Count();
}

template <class L> xany listItem(xobject* obj, int32_t i) {
    xrchandle<L> list = holdAs<L>(obj);
    return toAny(list->Get(i));
}

// ---- once-only builds ------------------------------------------------------
// Where a class keeps its descriptor. Constant-initialised, so it is ready
// before any static constructor runs.
struct RttiSlot {
    std::atomic<const xrttiobject*> ready{nullptr};
    xrttiobject* building = nullptr; // guarded by the build lock
    const xrttiobject* published() const { return ready.load(std::memory_order_acquire); }
};

// Builds, registers and publishes a class descriptor with one base and the
// given properties, once. Thread-safe: one lock serialises the builds; a
// nested request for a class that is being built on the same thread gets
// its descriptor as it stands (named, registered and published only when
// its build ends).
const xrttiobject* buildClass(RttiSlot& slot, const char* name,
                              const xrttiobject* (*base)(),
                              std::initializer_list<PropertyDef> properties);

// The same for the sequence descriptor of a list class.
const xrttiobject* buildSequence(RttiSlot& slot, const char* name,
                                 const xrttiobject* (*element)(),
                                 xrttisequence::count_fn count, xrttisequence::item_fn item);

inline bool isReserved(const xobject* obj) {
    return !obj || reinterpret_cast<uintptr_t>(obj) == xrtti_reserved_pointer;
}

} // namespace zpi_rtti

// Class name from a descriptor's type name: the text after the first colon
// with a K in place of its first character ("KPIItem::PILoop" gives
// "KPILoop"); a name without a colon is used as it is. The call journal's
// own rule serves both.
inline std::string KJournalClassName(const char* typeName) { return kkJournalClassName(typeName); }

// Text of an enumeration value: the name of its constant, or the value as a
// decimal number when it lies outside the table (or there is no table).
inline std::string KEnumValueText(const xrttienum* type, int64_t value) {
    if (const char* name = type ? type->nameOf(value) : nullptr)
        return std::string(name);
    char digits[24];
    auto r = std::to_chars(digits, digits + sizeof digits, value);
    return std::string(digits, r.ptr);
}

// Type queries shared by interface and list classes.
#define ZPI_RTTI_COMMON_QUERIES(Class, TypeName)                               \
    const xrttiobject* Class::giveRtti() const { return getClassRtti(); }      \
    Class* Class::softcast(xobject* obj) {                                     \
        if (zpi_rtti::isReserved(obj))                                         \
            return reinterpret_cast<Class*>(reinterpret_cast<uintptr_t>(obj)); \
        return static_cast<Class*>(obj->dyndowncast(getClassRtti()));          \
    }                                                                          \
    Class* Class::cast(xobject* obj) {                                         \
        Class* r = softcast(obj);                                              \
        if (obj && !r)                                                         \
            cipXTypeMismatch::Throw(TypeName, xany(obj));                      \
        return r;                                                              \
    }                                                                          \
    unsigned char Class::isObjSameAs(xobject* obj) {                           \
        return obj && obj->isSameAs(getClassRtti()) ? 1 : 0;                   \
    }                                                                          \
    unsigned char Class::isObjKindOf(xobject* obj) {                           \
        return obj && obj->isKindOf(getClassRtti()) ? 1 : 0;                   \
    }

// Descriptor and type queries of an interface class with its parent
// interface (KCommon for a root) and its properties in order.
// dyndowncast answers, in this order: KCommon, the parent interface, the
// class itself, the root type; nothing else (no walk through the bases).
#define ZPI_INTERFACE_RTTI(Class, Parent, TypeName, ...)                       \
    const xrttiobject* Class::getClassRtti() {                                 \
        static constinit zpi_rtti::RttiSlot slot;                              \
        if (const xrttiobject* d = slot.published())                           \
            return d;                                                          \
        return zpi_rtti::buildClass(slot, TypeName, &Parent::getClassRtti,     \
                                    {__VA_ARGS__});                            \
    }                                                                          \
    void* Class::dyndowncast(const xrttiobject* type) {                        \
        if (!type)                                                             \
            return nullptr;                                                    \
        if (type->isSameType(KCommon::getClassRtti()))                         \
            return static_cast<KCommon*>(this);                                \
        if (!std::is_same_v<Parent, KCommon> &&                                \
            type->isSameType(Parent::getClassRtti()))                          \
            return static_cast<Parent*>(this);                                 \
        if (type->isSameType(getClassRtti()))                                  \
            return static_cast<Class*>(this);                                  \
        if (type->isSameType(cipGetRtti_object()))                             \
            return static_cast<xobject*>(this);                                \
        return nullptr;                                                        \
    }                                                                          \
    ZPI_RTTI_COMMON_QUERIES(Class, TypeName)

// Descriptor, type queries and create of a list class: a sequence
// descriptor over the element's descriptor. dyndowncast answers the list's
// own type and the root type only.
#define ZPI_LIST_RTTI(List, Element, TypeName)                                 \
    const xrttiobject* List::getClassRtti() {                                  \
        static constinit zpi_rtti::RttiSlot slot;                              \
        if (const xrttiobject* d = slot.published())                           \
            return d;                                                          \
        return zpi_rtti::buildSequence(slot, TypeName, &Element::getClassRtti, \
                                       &zpi_rtti::listCount<List>,             \
                                       &zpi_rtti::listItem<List>);             \
    }                                                                          \
    void* List::dyndowncast(const xrttiobject* type) {                         \
        if (!type)                                                             \
            return nullptr;                                                    \
        if (type->isSameType(getClassRtti()))                                  \
            return static_cast<List*>(this);                                   \
        if (type->isSameType(cipGetRtti_object()))                             \
            return static_cast<xobject*>(this);                                \
        return nullptr;                                                        \
    }                                                                          \
    List* List::create() { return new List; }                                  \
    ZPI_RTTI_COMMON_QUERIES(List, TypeName)
