// What every implementation class shares: the answers of its KCommon_i part
// and the type queries of its interface. Place ZPI_IMPLEMENTS(Interface) in
// every class that implements an interface; it resolves the overriders that
// virtual inheritance would otherwise leave ambiguous. Every implementation
// class is declared in the inline namespace zpi_internal: the library tells
// its own objects from a program's by their type (dynamic_cast below), which
// compares type names across modules, so a program's own class of the same
// name must not pass for one.
#pragma once

#include "kpi_interfaces.h"
#include "xexcept.h"

#define ZPI_IMPLEMENTS(Interface)                                              \
public:                                                                        \
    KCommon_i* _CastToImpl() override { return this; }                         \
    xobject* GetImplObject() override { return static_cast<Interface*>(this); } \
    const xrttiobject* giveRtti() const override { return Interface::getClassRtti(); } \
    void* dyndowncast(const xrttiobject* type) override { return Interface::dyndowncast(type); }

// The implementation object behind an interface object: null for null; a
// journal wrapper gives the object it wraps. A foreign object (one without
// an implementation of class Impl behind it) raises ThrowInvalidArg(index, 1).
KCommon_i* CastToImpl(KCommon* obj);
// The implementation object that an answer of some object's _CastToImpl
// stands for: a journal wrapper gives the object it wraps; null for null.
// (CastToImpl asks the object; this takes an answer already had.)
KCommon_i* ImplOfAnswer(KCommon_i* answer);

template <class Impl> Impl* CastToImpl(KCommon* obj, int index) {
    if (!obj)
        return nullptr;
    KCommon_i* impl = CastToImpl(obj);
    Impl* typed = impl ? dynamic_cast<Impl*>(impl) : nullptr;
    if (!typed)
        ThrowInvalidArg(index, 1);
    return typed;
}
