#include "kernel/metadata/facets.h"
#include "kernel/metadata/model_ext.h"
#include "metadata_test_util.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

xrchandle<xintsequence> Seq(std::initializer_list<int> values) {
    xrchandle<xintsequence> s(xintsequence::create());
    for (int v : values)
        s->Append(v);
    return s;
}

std::vector<int> Values(const xrchandle<xintsequence>& s) {
    std::vector<int> out;
    for (int i = 0; s && i < s->Count(); ++i)
        out.push_back(s->Get(i));
    return out;
}

class Facets : public ::testing::Test {
protected:
    xrchandle<KWPIModelExt> ext{new KWPIModelExt_i()};
    xrchandle<KPIFacetedRep> rep = ext->CreatePIFacetedRep(4);

    xrchandle<KPIFacetVtxList> Vertices(int n) {
        xrchandle<KPIFacetVtxList> list(KPIFacetVtxList::create());
        for (int i = 0; i < n; ++i)
            list->Append(rep->CreatePIFacetVtx(KCreatePoint3D(i, 2 * i, 3 * i), i - 1));
        return list;
    }
};

TEST_F(Facets, NewRepresentationIsEmpty) {
    EXPECT_EQ(rep->GetId(), 4);
    EXPECT_FALSE(rep->GetPIFacetVtxList());
    EXPECT_FALSE(rep->GetPIFacetVtxdataList());
    EXPECT_FALSE(rep->GetPIFacetdataList());
    xrchandle<KBox3D> box = rep->GetOutline();
    EXPECT_EQ(box->GetMinPoint()->x(), 0.0);
    EXPECT_EQ(box->GetMaxPoint()->z(), 0.0);
    EXPECT_EQ(ext->CreatePIFacetedRep(0)->GetId(), 0);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePIFacetedRep(-1); }, 1, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->SetOutline(nullptr); }, 1, 0));
}

TEST_F(Facets, ElementCreationChecks) {
    xrchandle<KPIFacetVtx> v = rep->CreatePIFacetVtx(KCreatePoint3D(1, 2, 3), -1);
    EXPECT_EQ(v->GetNeighbourFacetIdx(), -1); // accepted at creation
    EXPECT_TRUE(RaisesInvalidArg([&] { v->SetNeighbourFacetIdx(-1); }, 1, 1));
    v->SetNeighbourFacetIdx(6);
    EXPECT_EQ(v->GetNeighbourFacetIdx(), 6);
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetVtx(nullptr, 0); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { v->SetVtxPoint(nullptr); }, 1, 0));

    EXPECT_TRUE(RaisesInvalidArg(
        [&] { rep->CreatePIFacetVtxdata(nullptr, KCreatePointUV(0, 0)); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg(
        [&] { rep->CreatePIFacetVtxdata(KCreateVector3D(0, 0, 1), nullptr); }, 2, 0));
    xrchandle<KPIFacetVtxdata> d =
        rep->CreatePIFacetVtxdata(KCreateVector3D(0, 0, 1), KCreatePointUV(0.25, 0.75));
    EXPECT_EQ(d->GetTextureUV()->v(), 0.75);
    EXPECT_EQ(d->GetNormal()->z(), 1.0);
    EXPECT_TRUE(RaisesInvalidArg([&] { d->SetTextureUV(nullptr); }, 1, 0));

    auto n = KCreateVector3D(0, 1, 0);
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetdata(nullptr, Seq({0, 1, 2}), nullptr, nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetdata(n, nullptr, nullptr, nullptr); }, 2, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetdata(n, Seq({0, 1}), nullptr, nullptr); }, 2, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetdata(n, Seq({0, 1, 2}), Seq({1}), nullptr); }, 3, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->CreatePIFacetdata(n, Seq({0, 1, 2}), nullptr, Seq({1, 2, 3, 4})); }, 4, 1));
}

TEST_F(Facets, FacetTriplesAndUnsetState) {
    xrchandle<KPIFacetdata> f =
        rep->CreatePIFacetdata(KCreateVector3D(0, 0, 1), Seq({0, 1, 2}), nullptr, nullptr);
    EXPECT_EQ(Values(f->GetVtxIndices()), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(f->GetVtxdataIndices());
    EXPECT_FALSE(f->GetNeighbourFacetIndices());

    f->SetVtxIndices(Seq({-1, -1, -1}));
    EXPECT_FALSE(f->GetVtxIndices());
    f->SetVtxIndices(Seq({-1, 0, -1}));
    EXPECT_EQ(Values(f->GetVtxIndices()), (std::vector<int>{-1, 0, -1}));
    EXPECT_EQ(CastToImpl<KPIFacetdata_i>(f.get(), 1)->Record().vertex_idx[0], 0xFFFFFFFFu);

    f->SetNeighbourFacetIndices(Seq({3, 4, 5}));
    EXPECT_EQ(Values(f->GetNeighbourFacetIndices()), (std::vector<int>{3, 4, 5}));
    EXPECT_TRUE(RaisesInvalidArg([&] { f->SetVtxdataIndices(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { f->SetVtxdataIndices(Seq({1, 2})); }, 1, 1));
    EXPECT_FALSE(f->GetVtxdataIndices());
}

TEST_F(Facets, ListsRoundTripInOrderAsIndependentCopies) {
    xrchandle<KPIFacetVtxList> stored = Vertices(3);
    rep->SetPIFacetVtxList(stored);
    stored->Get(0)->SetNeighbourFacetIdx(50); // the representation kept a copy

    xrchandle<KPIFacetVtxList> read = rep->GetPIFacetVtxList();
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read->Get(i)->GetVtxPoint()->y(), 2.0 * i);
        EXPECT_EQ(read->Get(i)->GetNeighbourFacetIdx(), i - 1);
    }
    read->Get(2)->SetNeighbourFacetIdx(9);
    EXPECT_EQ(rep->GetPIFacetVtxList()->Get(2)->GetNeighbourFacetIdx(), 1);
    EXPECT_NE(read->Get(0).get(), rep->GetPIFacetVtxList()->Get(0).get());

    // Replacing frees the earlier array (the leak checker watches).
    rep->SetPIFacetVtxList(Vertices(1));
    EXPECT_EQ(rep->GetPIFacetVtxList()->Count(), 1);
}

TEST_F(Facets, RefusedListSetterKeepsTheStoredList) {
    rep->SetPIFacetVtxList(Vertices(2));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->SetPIFacetVtxList(xrchandle<KPIFacetVtxList>(KPIFacetVtxList::create())); }, 1, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->SetPIFacetVtxList(nullptr); }, 1, 0));
    xrchandle<KPIFacetVtxList> holed = Vertices(3);
    holed->Set(1, nullptr); // a null element part-way
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->SetPIFacetVtxList(holed); }, 1, 1));

    xrchandle<KPIFacetVtxList> read = rep->GetPIFacetVtxList();
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Count(), 2);
    EXPECT_EQ(read->Get(1)->GetVtxPoint()->z(), 3.0);

    xrchandle<KPIFacetdataList> facets(KPIFacetdataList::create());
    facets->Append(rep->CreatePIFacetdata(KCreateVector3D(0, 0, 1), Seq({0, 1, 2}), nullptr, nullptr));
    facets->Append(nullptr);
    EXPECT_TRUE(RaisesInvalidArg([&] { rep->SetPIFacetdataList(facets); }, 1, 1));
    EXPECT_FALSE(rep->GetPIFacetdataList());
}

} // namespace
