// The frame shared by every journal wrapper class <Interface>_j.
//
// A wrapper stands in front of one implementation object and implements
// the same interface. It shares that object's count (KCommon_j): made on
// the object's first request for it, it lives as long as the object, and a
// reference on either is a reference on both. Every interface operation of a wrapper is one journaled call
// (kkJournaledCall): it hands the call itself as target, the operation's
// bare name as journal name, a pointer to the interface's virtual operation
// and its arguments. Operations of a parent interface are the parent
// wrapper's, so they are journaled against the parent interface.
//
// Each wrapper class finds its implementation object as its own interface
// once, when the wrapper is made, so that a call reaches the implementation
// without converting the target on every call; the result is the one that
// unwrapping the wrapper gives.
//
// The type queries answer as the interface does: a wrapper passes every
// type test and cast of its interface class and nothing else.
#pragma once

#include "journal/call/kkjournaledcall.h"

#include "kernel/kpi_impl.h"

// ", args" for a non-empty argument list, nothing for "()".
#define ZPI_JOURNAL_ARGS(...) __VA_OPT__(, ) __VA_ARGS__

// One journaled operation of Class's wrapper, straight from its table entry.
#define ZPI_JOURNALED_OPERATION(Class, Result, Name, Params, Args, Doc)        \
    Result Name Params override {                                              \
        static constexpr Result(Class::*const method) Params = &Class::Name;   \
        return kkJournaledCall(static_cast<Class*>(this), journalImpl_, #Name, \
                               &method ZPI_JOURNAL_ARGS Args);                 \
    }

// Everything of a wrapper class apart from its journaled operations.
// Base is KCommon_j for a root wrapper, the parent interface's wrapper for a
// child wrapper.
#define ZPI_JOURNAL_WRAPPER_FRAME(Interface, Base)                             \
private:                                                                       \
    /* The implementation object seen as Interface, found once: the */        \
    /* operations of this class call it directly. */                          \
    Interface* const journalImpl_;                                             \
                                                                               \
protected:                                                                     \
    Interface##_j(KCommon_i* implementation, bool sharesCount)                 \
        : Base(implementation, sharesCount),                                   \
          journalImpl_(kkImplementationAs<Interface>(implementation)) {}       \
                                                                               \
public:                                                                        \
    /* The wrapper shares its implementation object's count. */               \
    explicit Interface##_j(KCommon_i* implementation)                          \
        : Interface##_j(implementation, KCommon_j::kSharesCount) {}            \
    ~Interface##_j() override = default;                                       \
    Interface##_j(const Interface##_j&) = delete;                              \
    Interface##_j& operator=(const Interface##_j&) = delete;                   \
    /* The wrapper's own KCommon_j part: CastToImpl follows it to the */       \
    /* object it wraps. */                                                     \
    KCommon_i* _CastToImpl() override { return static_cast<KCommon_j*>(this); } \
    xobject* GetImplObject() override { return static_cast<Interface*>(this); } \
    const xrttiobject* giveRtti() const override { return Interface::giveRtti(); } \
    void xattach() override { AttachShared(static_cast<Interface*>(this)); }  \
    void xrelease() override { ReleaseShared(static_cast<Interface*>(this)); } \
    void* dyndowncast(const xrttiobject* type) override {                      \
        return Interface::dyndowncast(type);                                   \
    }

// A wrapper class whose operations are all generated from its table.
#define ZPI_JOURNAL_WRAPPER(Interface, Base)                                   \
    class Interface##_j : public Base, public virtual Interface {              \
        ZPI_JOURNAL_WRAPPER_FRAME(Interface, Base)                             \
        ZPI_OPS_##Interface(ZPI_JOURNALED_OPERATION)                           \
    };

// The wrapper of an implementation object of Interface, made by the
// implementation's GetJournalWrapper through the maker registered for the
// interface's descriptor. A constructor that raises frees the memory.
template <class Wrapper> KCommon_j* kkMakeJournalWrapper(KCommon_i* implementation) {
    return new Wrapper(implementation);
}

// Registers the maker of Interface's wrapper for the interface's
// descriptor (used by the load-time registrars of the wrapper families).
#define ZPI_REGISTER_JOURNAL_WRAPPER(Interface)                                \
    KRegisterJournalWrapperMaker(Interface::getClassRtti(),                    \
                                 &kkMakeJournalWrapper<Interface##_j>);
