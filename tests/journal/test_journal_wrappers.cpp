// The journal wrapper classes: every operation of every wrapper is one
// record under the operation's bare name and reaches the implementation's
// operation of the same name; the wrapper frame (type queries, wrapper
// test, making and release); CastToImpl through wrappers.
#include "journal_test_util.h"

#include "api/recording_impl.h"
#include "journal/wrappers/geometry_wrappers.h"

#include "process.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

// The wrapper of impl, seen through its interface (a new reference).
template <class I> xrchandle<I> wrapperOf(I* impl) {
    KCommon_j* wrapper = CastToImpl(impl)->GetJournalWrapper();
    EXPECT_NE(wrapper, nullptr);
    return xrchandle<I>(I::cast(wrapper->GetImplObject()));
}

// Calls fn on obj with a default value of every parameter and checks that
// exactly the implementation operation `expected` ran, under one record
// named `name` whose target is obj.
template <class O, class C, class R, class... A>
void expectJournaled(O* obj, R (C::*fn)(A...), const char* expected, const char* name) {
    recordingLog().clear();
    kkJournalClear();
    (void)(obj->*fn)(std::decay_t<A>()...);
    EXPECT_EQ(recordingLog(), std::vector<std::string>{expected});
    std::vector<std::string> records = kkJournalTakeRecords();
    ASSERT_EQ(records.size(), 1u) << expected;
    const std::string start = Obj(static_cast<xobject*>(obj)) + "." + name + "(";
    EXPECT_EQ(records[0].rfind(start, 0), 0u) << records[0];
}

#define ZPI_COUNT_OPERATION(Class, Result, Name, Params, Args, Doc) +1
#define ZPI_COUNT_INTERFACE(Interface, Parent) ZPI_OPS_##Interface(ZPI_COUNT_OPERATION)
constexpr int kOperationCount = 0 ZPI_INTERFACES(ZPI_COUNT_INTERFACE);
#undef ZPI_COUNT_INTERFACE
#undef ZPI_COUNT_OPERATION

TEST(JournalWrappers, TablesHoldEveryOperation) { EXPECT_EQ(kOperationCount, 231); }

// One test per interface: every operation of the interface and of its
// parent, called on the wrapper, is journaled under its bare name and
// reaches the implementation's operation of the same name.
#define ZPI_CHECK_FORWARD(Class, Result, Name, Params, Args, Doc)              \
    expectJournaled(wrapped.get(), &Class::Name, #Class "::" #Name, #Name);
#define ZPI_FORWARDING_CASE(Interface, Parent)                                 \
    TEST(JournalWrappers, Interface) {                                         \
        const int64_t live = xobject_live_count();                             \
        {                                                                      \
            xrchandle<Interface> impl(new Interface##_rec);                    \
            xrchandle<Interface> wrapped = wrapperOf(impl.get());              \
            ASSERT_NE(wrapped.get(), impl.get());                              \
            EXPECT_TRUE(IsWrapper(wrapped.get()));                             \
            EXPECT_FALSE(IsWrapper(impl.get()));                               \
            EXPECT_EQ(wrapped->giveRtti(), Interface::getClassRtti());         \
            EXPECT_EQ(Interface::cast(wrapped.get()), wrapped.get());          \
            ZPI_OPS_##Parent(ZPI_CHECK_FORWARD) ZPI_OPS_##Interface(ZPI_CHECK_FORWARD) \
        }                                                                      \
        EXPECT_EQ(xobject_live_count(), live);                                 \
    }
ZPI_INTERFACES(ZPI_FORWARDING_CASE)
#undef ZPI_FORWARDING_CASE
#undef ZPI_CHECK_FORWARD

// An implementation whose answers depend on the arguments, to show that
// arguments go in and results come back unchanged.
class ElementColorImpl : public KCommon_i, public virtual KPIElementColor {
    ZPI_IMPLEMENTS(KPIElementColor)
public:
    int GetItemId() override { return 42; }
    int GetReferenceColorIndex(int which) override { return which + 100; }
};

TEST(JournalWrappers, PassArgumentsAndResults) {
    xrchandle<KPIElementColor> impl(new ElementColorImpl);
    xrchandle<KPIElementColor> wrapped = wrapperOf(impl.get());
    EXPECT_EQ(wrapped->GetItemId(), 42);
    EXPECT_EQ(wrapped->GetReferenceColorIndex(7), 107);
}

TEST(JournalWrapper, MadeOnceAndKept) {
    xrchandle<KPIArc> impl(new KPIArc_rec);
    KCommon_i* i = CastToImpl(impl.get());
    EXPECT_FALSE(i->IsJournalWrapper());
    EXPECT_EQ(i->PeekJournalWrapper(), nullptr);
    KCommon_j* first = i->GetJournalWrapper();
    KCommon_j* second = i->GetJournalWrapper();
    EXPECT_EQ(first, second);
    EXPECT_TRUE(first->IsJournalWrapper());
    EXPECT_EQ(first->GetJournalWrapper(), first);
    EXPECT_EQ(first->GetImpl(), i);
    // The wrapper shares the implementation's count: it holds nothing of
    // its own, and a reference on it is one on the implementation.
    EXPECT_TRUE(first->SharesCount());
    EXPECT_EQ(impl->refCount(), 1);
    xrchandle<KPIArc> hold(KPIArc::cast(first->GetImplObject()));
    EXPECT_EQ(impl->refCount(), 2);
}

TEST(JournalWrapper, ReleasedWrapperStaysWithItsObject) {
    const int64_t live = xobject_live_count();
    {
        xrchandle<KPILayer> impl(new KPILayer_rec);
        KCommon_i* i = CastToImpl(impl.get());
        xrchandle<KPILayer> wrapped = wrapperOf(impl.get());
        EXPECT_EQ(xobject_live_count(), live + 2);
        EXPECT_EQ(impl->refCount(), 2);
        KPILayer* first = wrapped.get();
        wrapped.release();
        // The wrapper stays, holding nothing, and is handed out again.
        EXPECT_EQ(impl->refCount(), 1);
        EXPECT_EQ(xobject_live_count(), live + 2);
        xrchandle<KPILayer> again = wrapperOf(impl.get());
        EXPECT_EQ(again.get(), first);
        EXPECT_EQ(i->PeekJournalWrapper(), i->GetJournalWrapper());
        recordingLog().clear();
        again->GetLayerId();
        EXPECT_EQ(recordingLog(), std::vector<std::string>{"KPILayer::GetLayerId"});
    }
    EXPECT_EQ(xobject_live_count(), live);
}

// A wrapper of the other kind: it holds a reference on its implementation
// and lives only while it is held itself.
class HoldingArc_j : public KPIArc_j {
public:
    explicit HoldingArc_j(KCommon_i* impl) : KPIArc_j(impl, false) {}
};
class ArcWithHoldingWrapper : public KPIArc_rec {
protected:
    KCommon_j* MakeJournalWrapper() override { return new HoldingArc_j(this); }
};

// A cached holding wrapper whose count is 0 (one being destroyed, or never
// attached) is not handed out again: a new one is made and cached, and the
// old one going later leaves the new one in the cache.
TEST(JournalWrapper, CachedWrapperWithoutReferenceIsNotHandedOut) {
    const int64_t live = xobject_live_count();
    {
        xrchandle<KPIArc> impl(new ArcWithHoldingWrapper);
        KCommon_i* i = CastToImpl(impl.get());
        KCommon_j* unattached = i->GetJournalWrapper();
        EXPECT_FALSE(unattached->SharesCount());
        xobject* unattachedObject = unattached->GetImplObject();
        EXPECT_EQ(unattachedObject->refCount(), 0);
        EXPECT_EQ(impl->refCount(), 2);
        xrchandle<xobject> attached = i->AttachJournalWrapper();
        ASSERT_NE(attached.get(), nullptr);
        EXPECT_NE(attached.get(), unattachedObject);
        EXPECT_EQ(attached->refCount(), 1);
        KCommon_j* current = i->PeekJournalWrapper();
        EXPECT_EQ(current->GetImplObject(), attached.get());
        // The old wrapper goes and leaves the new one cached.
        xrchandle<xobject>(unattachedObject).release();
        EXPECT_EQ(i->PeekJournalWrapper(), current);
        // A live cached wrapper is handed out with a reference of its own.
        xrchandle<xobject> again = i->AttachJournalWrapper();
        EXPECT_EQ(again.get(), attached.get());
        EXPECT_EQ(attached->refCount(), 2);
        // A wrapper answers itself.
        EXPECT_EQ(current->AttachJournalWrapper().get(), attached.get());
    }
    EXPECT_EQ(xobject_live_count(), live);
}

// A wrapper that answers _CastToImpl with itself, as journal wrappers of
// the base library's own classes do.
class SelfAnsweringWrapper : public KCommon_j, public virtual KPILoop {
public:
    explicit SelfAnsweringWrapper(KCommon_i* impl) : KCommon_j(impl) {}
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return static_cast<KPILoop*>(this); }
    KPILoopTraversal GetPILoopTraversal() override { return KPILoopTraversal(); }
    xrchandle<xintsequence> GetEdgeIds() override { return nullptr; }
};

// An interface object with no implementation behind it.
class ForeignLoop : public virtual KPILoop {
public:
    KCommon_i* _CastToImpl() override { return nullptr; }
    KPILoopTraversal GetPILoopTraversal() override { return KPILoopTraversal(); }
    xrchandle<xintsequence> GetEdgeIds() override { return nullptr; }
};

void expectInvalidArg(void (*f)(), int index) {
    try {
        f();
        ADD_FAILURE() << "nothing raised";
    } catch (const xthrown& e) {
        KXInvalidArg* a = KXInvalidArg::softcast(e.get());
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->GetArgIndex(), index);
        EXPECT_EQ(a->GetCode(), 1);
    }
}

TEST(CastToImpl, ReachesTheImplementationThroughWrappers) {
    EXPECT_EQ(CastToImpl(nullptr), nullptr);
    EXPECT_EQ(CastToImpl<KPIArc_rec>(nullptr, 1), nullptr);

    xrchandle<KPIArc> impl(new KPIArc_rec);
    KPIArc_rec* arc = dynamic_cast<KPIArc_rec*>(impl.get());
    xrchandle<KPIArc> wrapped = wrapperOf(impl.get());
    EXPECT_EQ(CastToImpl(wrapped.get()), static_cast<KCommon_i*>(arc));
    EXPECT_EQ(CastToImpl<KPIArc_rec>(wrapped.get(), 1), arc);
}

TEST(CastToImpl, WrapperAnsweringForItself) {
    xrchandle<KPILoop> impl(new KPILoop_rec);
    KCommon_i* i = CastToImpl(impl.get());
    xrchandle<KPILoop> wrapper(new SelfAnsweringWrapper(i));
    EXPECT_EQ(CastToImpl(wrapper.get()), i);
    EXPECT_EQ(CastToImpl<KPILoop_rec>(wrapper.get(), 2), dynamic_cast<KPILoop_rec*>(i));
}

TEST(CastToImpl, ForeignObjectRaisesInvalidArgument) {
    // An implementation of another class.
    expectInvalidArg(
        [] {
            xrchandle<KPIArc> arc(new KPIArc_rec);
            CastToImpl<KPILine_rec>(arc.get(), 2);
        },
        2);
    // An object without an implementation.
    expectInvalidArg(
        [] {
            xrchandle<KPILoop> foreign(new ForeignLoop);
            EXPECT_EQ(CastToImpl(foreign.get()), nullptr);
            CastToImpl<KPILoop_rec>(foreign.get(), 3);
        },
        3);
}

TEST(JournalWrapperFrame, TypedAsItsInterfaceOnly) {
    xrchandle<KPIArc> impl(new KPIArc_rec);
    xrchandle<KPIArc> arc = wrapperOf(impl.get());
    xobject* object = arc.get();
    EXPECT_EQ(object->giveRtti(), KPIArc::getClassRtti());
    EXPECT_EQ(KPIArc::cast(object), arc.get());
    EXPECT_EQ(KPICurve::cast(object), static_cast<KPICurve*>(arc.get()));
    EXPECT_NE(KCommon::softcast(object), nullptr);
    EXPECT_EQ(KPILine::softcast(object), nullptr);
    EXPECT_EQ(KPISurface::softcast(object), nullptr);
    EXPECT_NE(KPICurve::isObjKindOf(object), 0);
    EXPECT_EQ(KPICurve::isObjSameAs(object), 0);
    // The wrapper's KCommon part leads to the wrapper itself, which says so.
    KCommon_i* first = arc->_CastToImpl();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsJournalWrapper());
}

TEST(JournalWrapperFrame, UnitWrappersAnswerTheirOwnDescriptor) {
    xrchandle<KPILengthUnit> length(new KPILengthUnit_rec);
    xrchandle<KPIMassUnit> mass(new KPIMassUnit_rec);
    xrchandle<KPILengthUnit> lengthWrapper = wrapperOf(length.get());
    xrchandle<KPIMassUnit> massWrapper = wrapperOf(mass.get());
    EXPECT_EQ(lengthWrapper->giveRtti(), KPILengthUnit::getClassRtti());
    EXPECT_EQ(massWrapper->giveRtti(), KPIMassUnit::getClassRtti());
    EXPECT_EQ(KPIMassUnit::softcast(lengthWrapper.get()), nullptr);
    // Their three operations are KPIUnit's.
    kkJournalClear();
    recordingLog().clear();
    lengthWrapper->GetType();
    massWrapper->GetFactor();
    EXPECT_EQ(recordingLog(),
              (std::vector<std::string>{"KPIUnit::GetType", "KPIUnit::GetFactor"}));
    EXPECT_EQ(kkJournalTakeRecords(),
              (std::vector<std::string>{Obj(lengthWrapper) + ".GetType() -> 0",
                                        Obj(massWrapper) + ".GetFactor() -> 0"}));
}

// The wrapper and its implementation object go together, with the last
// reference on either, and the wrapper goes whole.
TEST(JournalWrapperFrame, WrapperGoesWithItsImplementation) {
    const int64_t live = xobject_live_count();
    {
        xrchandle<KPIFace> impl(new KPIFace_rec);
        KCommon_i* i = CastToImpl(impl.get());
        {
            xrchandle<KPIItem> item = wrapperOf(static_cast<KPIItem*>(impl.get()));
            EXPECT_EQ(item->giveRtti(), KPIFace::getClassRtti());
            EXPECT_EQ(impl->refCount(), 2);
        }
        EXPECT_NE(i->PeekJournalWrapper(), nullptr);
        EXPECT_EQ(impl->refCount(), 1);
        EXPECT_EQ(xobject_live_count(), live + 2);
    }
    EXPECT_EQ(xobject_live_count(), live);
    {
        xrchandle<KPIFace> wrapped;
        {
            xrchandle<KPIFace> impl(new KPIFace_rec);
            wrapped = wrapperOf(impl.get());
        }
        // The wrapper's reference keeps the implementation.
        EXPECT_EQ(xobject_live_count(), live + 2);
        recordingLog().clear();
        wrapped->GetId();
        EXPECT_EQ(recordingLog(), std::vector<std::string>{"KPIItem::GetId"});
    }
    EXPECT_EQ(xobject_live_count(), live);
}

} // namespace
