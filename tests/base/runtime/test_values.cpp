#include "kvalues.h"
#include "counting.h"

#include <gtest/gtest.h>

namespace {

using Values = LiveCountTest;

TEST_F(Values, CopiesStartUncountedAndAssignmentKeepsTheTargetsCount) {
    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    xrchandle<KPoint3D> q = KCreatePoint3D(4, 5, 6);
    xrchandle<KPoint3D> q2 = q;
    ASSERT_EQ(p->refCount(), 1);
    ASSERT_EQ(q->refCount(), 2);
    {
        KPoint3D copy(*p);
        EXPECT_EQ(copy.refCount(), 0);
        EXPECT_EQ(copy.Get(0), 1);
        EXPECT_EQ(copy.Get(2), 3);
        EXPECT_TRUE(KPoint3D::isObjSameAs(&copy));
    }
    *q = *p;
    EXPECT_EQ(q->refCount(), 2);
    EXPECT_EQ(p->refCount(), 1);
    EXPECT_EQ(q->Get(1), 2);

    // Value classes on a virtual xobject base with several members.
    xrchandle<KCsys> cs = KCsys::Create(p, KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
    xrchandle<KCsys> other = KCsys::Create(q, KCreateVector3D(0, 1, 0), KCreateVector3D(0, 0, 1));
    *other = *cs;
    EXPECT_EQ(other->refCount(), 1);
    xrchandle<KVector3D> z = other->GetZAxis();
    EXPECT_EQ(z->Get(0), 0);
    EXPECT_EQ(z->Get(1), 0);
    EXPECT_EQ(z->Get(2), 1);
    EXPECT_EQ(other->GetOrigin()->Get(2), 3);
}

TEST_F(Values, CoordinateIndexChecks) {
    xrchandle<KPointUV> uv = KCreatePointUV(0.25, 0.75);
    EXPECT_EQ(uv->Get(1), 0.75);
    IndexRaise r = catchIndexError([&] { uv->Get(2); });
    EXPECT_EQ(r.kind, cipXIndexError::ArrayIndex);
    EXPECT_EQ(r.index, 2);
    EXPECT_EQ(r.container, static_cast<xobject*>(uv.get()));
    EXPECT_EQ(catchIndexError([&] { uv->Get(-1); }).kind, cipXIndexError::Negative);

    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    EXPECT_EQ(p->Get(2), 3);
    EXPECT_EQ(catchIndexError([&] { p->Get(3); }).kind, cipXIndexError::ArrayIndex);
    xrchandle<KColorRGB> rgb = KCreateColorRGB(0, 0, 0);
    rgb->Set(2, 0.5);
    EXPECT_EQ(rgb->Get(2), 0.5);
    EXPECT_EQ(catchIndexError([&] { rgb->Set(3, 1); }).kind, cipXIndexError::ArrayIndex);
}

TEST_F(Values, ByteBufferCopiesShareTheBytes) {
    unsigned char bytes[4] = {1, 2, 3, 4};
    xrchandle<KByteBuffer> b(KByteBuffer::create(bytes, 4));
    KByteBuffer copy(*b);
    EXPECT_EQ(copy.GetBuffer(), bytes);
    EXPECT_EQ(copy.GetCount(), 4);
    copy.SetCount(-5); // stored unchanged
    EXPECT_EQ(copy.GetCount(), -5);
    EXPECT_EQ(b->GetCount(), 4);
    *b = copy;
    EXPECT_EQ(b->GetCount(), -5);
    EXPECT_EQ(b->GetBuffer(), bytes);
    EXPECT_EQ(b->refCount(), 1);
}

TEST_F(Values, FactoriesCheckTheirArguments) {
    auto argError = [](auto&& f) {
        try {
            f();
        } catch (const xthrown& e) {
            KXInvalidArg* a = KXInvalidArg::softcast(e.get());
            return a ? a->GetArgIndex() * 10 + a->GetCode() : -1;
        }
        return 0;
    };
    xrchandle<KPoint3D> p = KCreatePoint3D(0, 0, 0);
    xrchandle<KVector3D> v = KCreateVector3D(1, 0, 0);
    EXPECT_EQ(argError([&] { KBox3D::Create(nullptr, p); }), 10);
    EXPECT_EQ(argError([&] { KBox3D::Create(p, nullptr); }), 20);
    EXPECT_EQ(argError([&] { KCsys::Create(p, v, nullptr); }), 30);
    EXPECT_EQ(argError([&] { KBoxUV::Create(KCreatePointUV(0, 0), nullptr); }), 20);

    xrchandle<KBox3D> box = KBox3D::Create(p, KCreatePoint3D(1, 2, 3));
    EXPECT_EQ(box->GetMaxPoint()->Get(1), 2);
    EXPECT_EQ(box->GetMinPoint()->Get(1), 0);
}

TEST_F(Values, PointListHoldsSharedPoints) {
    xrchandle<KPoint3DList> list(KPoint3DList::create());
    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    for (int i = 0; i < 300; ++i)
        list->Append(p);
    EXPECT_EQ(p->refCount(), 301);
    EXPECT_EQ(list->Get(299).get(), p.get());
    EXPECT_TRUE(KPoint3DList::isObjSameAs(list.get()));
    EXPECT_EQ(KPoint3DList::cast(list.get()), list.get());
    list.release();
    EXPECT_EQ(p->refCount(), 1);
}

} // namespace
