// Objects of a caller's own class for every interface, generated from the
// operation tables: each passes every operation on to an object the library
// made, as a translator's decorator, proxy or test double does. What its
// _CastToImpl answers is chosen when it is made: the implementation behind
// the object it forwards to (it forwards that call too), or `other` (none
// by default, or an object of another kind); and for how many calls it
// answers so (`answers`, every call when negative), answering none after.
#pragma once

#include "kpi_interfaces.h"

#include <type_traits>
#include <utility>

template <class Interface> class Forwarder;

#define ZPI_FORWARD_OPERATION(Class, Result, Name, Params, Args, Doc)          \
    Result Name Params override { return inner_->Name Args; }

#define ZPI_FORWARDING_CLASS(Class, Parent)                                    \
    template <> class Forwarder<Class> : public virtual Class {                \
    public:                                                                    \
        Forwarder(xrchandle<Class> inner, bool passImpl, KCommon_i* other = nullptr, \
                  int answers = -1)                                            \
            : inner_(std::move(inner)), passImpl_(passImpl), other_(other), answers_(answers) {} \
        KCommon_i* _CastToImpl() override {                                    \
            if (answers_ == 0)                                                 \
                return nullptr;                                                \
            if (answers_ > 0)                                                  \
                --answers_;                                                    \
            return passImpl_ ? inner_->_CastToImpl() : other_;                 \
        }                                                                      \
        const xrttiobject* giveRtti() const override { return Class::getClassRtti(); } \
        void* dyndowncast(const xrttiobject* type) override { return Class::dyndowncast(type); } \
        ZPI_OPS_##Parent(ZPI_FORWARD_OPERATION) ZPI_OPS_##Class(ZPI_FORWARD_OPERATION) \
                                                                               \
    private:                                                                   \
        xrchandle<Class> inner_;                                               \
        bool passImpl_;                                                        \
        KCommon_i* other_;                                                     \
        int answers_;                                                          \
    };

ZPI_INTERFACES(ZPI_FORWARDING_CLASS)

#undef ZPI_FORWARDING_CLASS
#undef ZPI_FORWARD_OPERATION

// A forwarder of `inner`'s own interface (a curve held as KPICurve that is
// an arc forwards as a KPIArc); null stays null.
template <class I>
xrchandle<I> Forwarding(const xrchandle<I>& inner, bool passImpl, KCommon_i* other = nullptr,
                        int answers = -1) {
    if (!inner)
        return inner;
    xobject* object = static_cast<xobject*>(inner.get());
#define ZPI_FORWARD_AS(Class, Parent)                                          \
    if constexpr (std::is_same_v<I, Parent>)                                   \
        if (Class* derived = Class::softcast(object))                          \
            return xrchandle<I>(                                               \
                new Forwarder<Class>(xrchandle<Class>(derived), passImpl, other, answers));
    ZPI_INTERFACES(ZPI_FORWARD_AS)
#undef ZPI_FORWARD_AS
    return xrchandle<I>(new Forwarder<I>(inner, passImpl, other, answers));
}

// A new list of forwarders of the list's elements.
#define ZPI_FORWARDING_LIST(List, Element)                                     \
    inline xrchandle<List> Forwarding(const xrchandle<List>& list, bool passImpl, \
                                      KCommon_i* other = nullptr, int answers = -1) { \
        if (!list)                                                             \
            return list;                                                       \
        xrchandle<List> forwarded(List::create());                             \
        for (int i = 0; i < list->Count(); ++i)                                \
            forwarded->Append(Forwarding(list->Get(i), passImpl, other, answers)); \
        return forwarded;                                                      \
    }
ZPI_LISTS(ZPI_FORWARDING_LIST)
#undef ZPI_FORWARDING_LIST
