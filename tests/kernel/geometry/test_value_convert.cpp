#include "kernel/geometry/value_convert.h"

#include "process.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ValueConvert : public ::testing::Test {
protected:
    void SetUp() override { live_ = xobject_live_count(); }
    void TearDown() override { EXPECT_EQ(xobject_live_count(), live_); }

private:
    int64_t live_ = 0;
};

TEST_F(ValueConvert, ValuesToDoublesAndBack) {
    double p[3] = {9, 9, 9};
    PointToDoubles(nullptr, p); // untouched
    EXPECT_EQ(p[0], 9);
    PointToDoubles(KCreatePoint3D(1, 2, 3), p);
    EXPECT_EQ(p[2], 3);
    xrchandle<KPoint3D> back = DoublesToPoint(p);
    EXPECT_EQ(back->y(), 2);

    double v[3];
    VectorToDoubles(KCreateVector3D(-1, 0, 4), v);
    EXPECT_EQ(DoublesToVector(v)->z(), 4);

    double uv[2] = {7, 7};
    PointUVToDoubles(nullptr, uv);
    EXPECT_EQ(uv[1], 7);
    PointUVToDoubles(KCreatePointUV(0.5, 0.25), uv);
    EXPECT_EQ(uv[1], 0.25);

    const double box[6] = {0, 1, 2, 3, 4, 5};
    double out[6] = {};
    Box3DToDoubles(DoublesToBox3D(box), out);
    EXPECT_EQ(0, std::memcmp(box, out, sizeof(box)));

    const double lo[2] = {0, 1}, hi[2] = {2, 3};
    double lo2[2] = {}, hi2[2] = {};
    BoxUVToDoubles(DoublesToBoxUV(lo, hi), lo2, hi2);
    EXPECT_EQ(lo2[1], 1);
    EXPECT_EQ(hi2[0], 2);
}

TEST_F(ValueConvert, CsysAndFrame) {
    xrchandle<KCsys> cs = KCsys::Create(KCreatePoint3D(1, 2, 3), KCreateVector3D(0, 1, 0),
                                        KCreateVector3D(-1, 0, 0));
    QelFrame f;
    std::memset(&f, 0, sizeof(f));
    CsysToFrame(cs, &f);
    EXPECT_EQ(f.e1[1], 1);
    EXPECT_EQ(f.e2[0], -1);
    EXPECT_EQ(f.e3[2], 1); // x cross y
    EXPECT_EQ(f.origin[2], 3);
    // Back from e1, e2 and origin only.
    f.e3[2] = 42;
    xrchandle<KCsys> back = FrameToCsys(f);
    EXPECT_EQ(back->GetOrigin()->x(), 1);
    EXPECT_EQ(back->GetXAxis()->y(), 1);
    EXPECT_EQ(back->GetZAxis()->z(), 1);
}

TEST_F(ValueConvert, ArraysToListsAreNullWhenMissingEmptyOrUnreadable) {
    EXPECT_FALSE(BuildPoint3DList(nullptr));
    xarholder<QelPoint> empty(4, 0);
    EXPECT_FALSE(BuildPoint3DList(empty.Data()));
    EXPECT_FALSE(BuildVector3DList(empty.Data()));
    // Doubles are not points: the element size tells.
    xarholder<double> reals(4, 0);
    reals.Append(1.5);
    reals.Append(2.5);
    EXPECT_FALSE(BuildPoint3DList(reinterpret_cast<const QelPoint*>(reals.Data())));
    xrchandle<xrealsequence> seq = BuildRealSequence(reals.Data());
    ASSERT_EQ(seq->Count(), 2);
    EXPECT_EQ(seq->Get(1), 2.5);

    xarholder<QelPoint> pts(4, 0);
    pts.Append(QelPoint{{1, 2, 3}});
    pts.Append(QelPoint{{4, 5, 6}});
    xrchandle<KPoint3DList> list = BuildPoint3DList(pts.Data());
    ASSERT_EQ(list->Count(), 2);
    EXPECT_EQ(list->Get(1)->z(), 6);
    EXPECT_EQ(BuildVector3DList(pts.Data())->Get(0)->x(), 1);

    xarholder<int32_t> ids(4, 0);
    EXPECT_FALSE(BuildIntSequence(ids.Data()));
    ids.Append(7);
    EXPECT_EQ(BuildIntSequence(ids.Data())->Get(0), 7);

    xarholder<QelUvSample> uv(4, 0);
    uv.Append(QelUvSample{{0.1, 0.2}, {0.3, 0.4}});
    EXPECT_EQ(BuildPointUVList(uv.Data(), false)->Get(0)->v(), 0.2);
    EXPECT_EQ(BuildPointUVList(uv.Data(), true)->Get(0)->u(), 0.3);
}

TEST_F(ValueConvert, ChunkedArraysAreReadAcrossPages) {
    void* har = har_alloc(sizeof(double), 3);
    for (int i = 0; i < 7; ++i) {
        double d = i * 10.0;
        ASSERT_EQ(har_append(&har, &d), 0);
    }
    xrchandle<xrealsequence> seq = BuildRealSequence(static_cast<const double*>(har));
    ASSERT_EQ(seq->Count(), 7);
    EXPECT_EQ(seq->Get(6), 60);
    EXPECT_EQ(seq->Get(3), 30);
    har_free(&har);
}

TEST_F(ValueConvert, ListsToArrays) {
    xrchandle<KPoint3DList> pts(KPoint3DList::create());
    pts->Append(KCreatePoint3D(1, 2, 3));
    pts->Append(nullptr); // a null element gives zeros
    xarholder<QelPoint> arr;
    ASSERT_EQ(PointListToArray(pts, arr), 0);
    ASSERT_EQ(arr.Count(), 2);
    EXPECT_EQ(arr[0].xyz[2], 3);
    EXPECT_EQ(arr[1].xyz[0], 0);

    xarholder<QelPoint> none;
    ASSERT_EQ(VectorListToArray(nullptr, none), 0);
    EXPECT_TRUE(none.Exists());
    EXPECT_EQ(none.Count(), 0);

    xrchandle<xintsequence> ints(xintsequence::create());
    ints->Append(4);
    ints->Append(-5);
    xarholder<int32_t> iarr;
    ASSERT_EQ(IntSequenceToArray(ints, iarr), 0);
    EXPECT_EQ(iarr[1], -5);

    xrchandle<xrealsequence> reals(xrealsequence::create());
    reals->Append(0.5);
    xarholder<double> rarr;
    ASSERT_EQ(RealSequenceToArray(reals, rarr), 0);
    EXPECT_EQ(rarr[0], 0.5);
}

} // namespace
