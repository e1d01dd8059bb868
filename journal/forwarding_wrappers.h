// Journal wrappers of the interface classes, generated from the operation
// tables: one class <Interface>_j per interface. A wrapper holds its
// implementation object (through KCommon_j) and answers every operation of
// its interface and of the parent interface by calling the implementation's
// operation of the same name. The call journal replaces the forwarding body
// (ZPI_WRAPPER_FORWARD) with the journaled call; everything else here stays.
//
// A wrapper is made by KCommon_i::GetJournalWrapper through the maker
// registered at load for its interface's descriptor.
#pragma once

#include "kpi_impl.h"

// One operation of a wrapper: forwards to the implementation.
#define ZPI_WRAPPER_FORWARD(Class, Result, Name, Params, Args)                 \
    Result Name Params override { return target_->Name Args; }

// The wrapper class of Interface (whose parent interface is Parent).
#define ZPI_FORWARDING_WRAPPER(Interface, Parent)                              \
    class Interface##_j : public KCommon_j, public virtual Interface {         \
    public:                                                                    \
        explicit Interface##_j(KCommon_i* impl)                                \
            : KCommon_j(impl),                                                 \
              target_(Interface::cast(impl ? impl->GetImplObject() : nullptr)) { \
            if (!target_)                                                      \
                ThrowInvalidArg(1, 0);                                         \
        }                                                                      \
        KCommon_i* _CastToImpl() override { return GetImpl(); }                \
        xobject* GetImplObject() override { return static_cast<Interface*>(this); } \
        const xrttiobject* giveRtti() const override { return Interface::getClassRtti(); } \
        void* dyndowncast(const xrttiobject* type) override {                  \
            return Interface::dyndowncast(type);                               \
        }                                                                      \
        ZPI_OPS_##Parent(ZPI_WRAPPER_FORWARD)                                  \
        ZPI_OPS_##Interface(ZPI_WRAPPER_FORWARD)                               \
                                                                               \
    private:                                                                   \
        /* The implementation's interface part; kept alive by KCommon_j. */    \
        Interface* target_;                                                    \
    };
