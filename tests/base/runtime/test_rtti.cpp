#include "kcommon.h"
#include "kvalues.h"
#include "xexcept.h"
#include "counting.h"

#include <gtest/gtest.h>

#include <cstring>

// A small interface with its implementation and journal wrapper, made the
// way the library's own interfaces are.
class KTestWidget : public virtual xobject, public virtual KCommon {
    XRTTI_DECLARE(KTestWidget)
public:
    virtual int GetValue() = 0;
};
XRTTI_DEFINE(KTestWidget, "KTest::Widget", KCommon)

class KTestWidget_i : public KCommon_i, public virtual KTestWidget {
public:
    int GetValue() override { return 7; }
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return this; }
};

class KTestWidget_j : public KCommon_j, public virtual KTestWidget {
public:
    explicit KTestWidget_j(KCommon_i* impl) : KCommon_j(impl) {}
    ~KTestWidget_j() override { ++destroyed; }
    int GetValue() override { return static_cast<KTestWidget_i*>(GetImpl())->GetValue(); }
    KCommon_i* _CastToImpl() override { return GetImpl(); }
    xobject* GetImplObject() override { return this; }
    static KCommon_j* Make(KCommon_i* impl) {
        ++made;
        return new KTestWidget_j(impl);
    }
    static inline int made = 0;
    static inline int destroyed = 0;
};

namespace {

using Rtti = LiveCountTest;

TEST_F(Rtti, TypeMapFindsDescriptorsByName) {
    const xrtti* fixed[] = {cipGetRtti_object(), cipGetRtti_int(), cipGetRtti_real(),
                            cipGetRtti_string(), cipGetRtti_any()};
    for (const xrtti* t : fixed) {
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(cipRttiFind(t->name()), t) << t->name();
    }
    EXPECT_NE(cipGetRtti_int(), cipGetRtti_real());
    for (const xrttiobject* t : {KXSimple::getClassRtti(), KPoint3DList::getClassRtti(),
                                 KTestWidget::getClassRtti()})
        EXPECT_EQ(cipRttiFind(t->name()), t) << t->name();
    EXPECT_STREQ(KTestWidget::getClassRtti()->name(), "KTest::Widget");
    EXPECT_EQ(cipRttiFind("KTest::NoSuchType"), nullptr);
    EXPECT_EQ(cipRttiFind(nullptr), nullptr);

    // A second descriptor under a taken name does not replace the first.
    static const xrtti impostor("int");
    cipRttiAddToMap(&impostor);
    EXPECT_EQ(cipRttiFind("int"), cipGetRtti_int());
}

TEST_F(Rtti, EnumerationNamesAreBoundsChecked) {
    const xrttienum* e = cipGetRtti_KTraversal();
    EXPECT_EQ(cipRttiFind(e->name()), e);
    EXPECT_STREQ(e->nameOf(KTRAV_SAME), "KTRAV_SAME");
    EXPECT_EQ(e->nameOf(3), nullptr);
    EXPECT_EQ(e->nameOf(7), nullptr);
    EXPECT_EQ(e->nameOf(-1), nullptr);
    EXPECT_EQ(e->nameOf(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(e->valueOf("KTRAV_OPPOSITE"), 2);
    EXPECT_EQ(e->valueOf("nothing"), -1);
    EXPECT_EQ(e->valueOf(nullptr), -1);
    EXPECT_STREQ(cipGetRtti_KAccuracyType()->nameOf(KACCURACY_UNDEFINED), "KACCURACY_UNDEFINED");
}

TEST_F(Rtti, TypeTestsOnNullAndAlongTheClassChain) {
    EXPECT_EQ(KXSimple::isObjSameAs(nullptr), 0);
    EXPECT_EQ(KXSimple::isObjKindOf(nullptr), 0);
    EXPECT_EQ(KCommon::isObjKindOf(nullptr), 0);
    EXPECT_EQ(KPoint3D::isObjSameAs(nullptr), 0);
    EXPECT_EQ(KCAction::isObjKindOf(nullptr), 0);

    try {
        ThrowSimple(-2);
    } catch (const xthrown& e) {
        xobject* x = e.get();
        EXPECT_NE(KXSimple::isObjSameAs(x), 0);
        EXPECT_NE(KXSimple::isObjKindOf(x), 0);
        EXPECT_NE(KXKernelError::isObjKindOf(x), 0);
        EXPECT_NE(KXException::isObjKindOf(x), 0);
        EXPECT_NE(xthrowable::isObjKindOf(x), 0);
        EXPECT_EQ(KXKernelError::isObjSameAs(x), 0);
        EXPECT_EQ(KXInvalidArg::isObjKindOf(x), 0);
        EXPECT_EQ(KCommon::isObjKindOf(x), 0);
    }

    auto* impl = new KTestWidget_i;
    xrchandle<KTestWidget> w(impl);
    xobject* x = w.get();
    EXPECT_NE(KTestWidget::isObjSameAs(x), 0);
    EXPECT_NE(KCommon::isObjKindOf(x), 0);
    EXPECT_EQ(KCommon::isObjSameAs(x), 0);
    EXPECT_EQ(KObj::isObjKindOf(x), 0);
    EXPECT_EQ(KTestWidget::cast(x), w.get());
    EXPECT_EQ(KCommon::cast(x)->_CastToImpl(), static_cast<KCommon_i*>(impl));

    struct Action : KCAction {};
    struct Stream : KCStream {
        int Read(void*, int) override { return -1; }
        int Write(const void*, int) override { return -1; }
        int64_t GetPos() override { return 0; }
        int SetPos(int64_t) override { return -1; }
        int Close() override { return 0; }
    };
    xrchandle<KCAction> action(new Action);
    xrchandle<KCStream> stream(new Stream);
    EXPECT_NE(KCAction::isObjSameAs(action.get()), 0);
    EXPECT_NE(KCCommon::isObjKindOf(action.get()), 0);
    EXPECT_EQ(KCStream::isObjKindOf(action.get()), 0);
    EXPECT_NE(KCCommon::isObjKindOf(stream.get()), 0);
    EXPECT_EQ(KCCommon::isObjSameAs(stream.get()), 0);
    EXPECT_EQ(action->_CastToImpl(), nullptr);
    EXPECT_EQ(stream->_CastToImpl(), nullptr);
}

TEST_F(Rtti, JournalWrapperIsMadeOnceAndForgottenWhenItGoes) {
    KRegisterJournalWrapperMaker(KTestWidget::getClassRtti(), &KTestWidget_j::Make);
    KTestWidget_j::made = KTestWidget_j::destroyed = 0;

    auto* impl = new KTestWidget_i;
    xrchandle<KTestWidget> held(impl);
    EXPECT_FALSE(impl->IsJournalWrapper());
    EXPECT_EQ(impl->PeekJournalWrapper(), nullptr);

    KCommon_j* first = impl->GetJournalWrapper();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(impl->GetJournalWrapper(), first);
    EXPECT_EQ(KTestWidget_j::made, 1);
    EXPECT_TRUE(first->IsJournalWrapper());
    EXPECT_EQ(first->GetJournalWrapper(), first);
    EXPECT_EQ(first->GetImpl(), impl);
    EXPECT_EQ(first->GetImplHandle().get(), static_cast<xobject*>(impl));
    EXPECT_EQ(impl->refCount(), 2); // the wrapper holds its implementation

    auto* wrapper = static_cast<KTestWidget_j*>(first);
    xrchandle<KTestWidget> wh(wrapper);
    EXPECT_EQ(wh->GetValue(), 7);
    EXPECT_EQ(KTestWidget::cast(wrapper)->_CastToImpl(), impl);
    wh.release();
    EXPECT_EQ(KTestWidget_j::destroyed, 1);
    EXPECT_EQ(impl->PeekJournalWrapper(), nullptr);
    EXPECT_EQ(impl->refCount(), 1);

    KCommon_j* second = impl->GetJournalWrapper();
    EXPECT_EQ(KTestWidget_j::made, 2);
    xrchandle<KTestWidget> wh2(static_cast<KTestWidget_j*>(second));
    EXPECT_EQ(wh2->GetValue(), 7);
    // The implementation lives while its wrapper does.
    held.release();
    EXPECT_EQ(static_cast<KTestWidget_i*>(second->GetImpl())->GetValue(), 7);
    wh2.release();
    EXPECT_EQ(KTestWidget_j::destroyed, 2);
}

// An implementation of a type that no wrapper maker is registered for.
class Unwrapped_i : public KCommon_i, public xobject {
public:
    xobject* GetImplObject() override { return this; }
};

TEST_F(Rtti, NoWrapperMakerRaises) {
    xrchandle<Unwrapped_i> impl(new Unwrapped_i);
    EXPECT_THROW(impl->GetJournalWrapper(), xthrown);
    EXPECT_EQ(impl->PeekJournalWrapper(), nullptr);
}

} // namespace
