#include "xmemory.h"
#include "kernel/metadata/attributes.h"
#include "kernel/metadata/facets.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_copy.h"
#include "metadata_test_util.h"

#include "kpi_session.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// A unit implemented outside this library's unit classes.
class OtherUnit : public KCommon_i, public virtual KPIUnit {
    ZPI_IMPLEMENTS(KPIUnit)
public:
    xstring GetName() override { return xstring("other"); }
    double GetFactor() override { return 1.0; }
    KPIUnitType GetType() override { return KPI_LENGTH; }
};

class ModelExt : public ::testing::Test {
protected:
    KWPIModelExt_i* impl = new KWPIModelExt_i();
    xrchandle<KWPIModelExt> ext{impl};
    qel_intf_data_extend& rec() { return *impl->GetExtendData(); }

    xrchandle<KPILayerList> Layers(std::initializer_list<const char*> names) {
        xrchandle<KPILayerList> list(KPILayerList::create());
        for (const char* n : names)
            list->Append(ext->CreatePILayer(n));
        return list;
    }
};

std::vector<int> Ids(const xrchandle<xintsequence>& seq) {
    std::vector<int> out;
    for (int i = 0; seq && i < seq->Count(); ++i)
        out.push_back(seq->Get(i));
    return out;
}

TEST_F(ModelExt, NewExtensionHoldsNothing) {
    EXPECT_EQ(ext->GetPIUnits()->Count(), 0);
    EXPECT_EQ(ext->GetPILayers()->Count(), 0);
    EXPECT_EQ(ext->GetPIReferenceColors()->Count(), 0);
    EXPECT_EQ(ext->GetPIElementColors()->Count(), 0);
    EXPECT_EQ(ext->GetPINameAttributes()->Count(), 0);
    EXPECT_EQ(ext->GetPIGeneralAttributes()->Count(), 0);
    EXPECT_FALSE(ext->GetPIFacetedReps());
    EXPECT_FALSE(ext->GetPIItemReferenceColor(1));

    ext->SetPIUnits(xrchandle<KPIUnitList>(KPIUnitList::create()));
    EXPECT_NE(rec().units, nullptr);
    EXPECT_EQ(ext->GetPIUnits()->Count(), 0);
}

TEST_F(ModelExt, NullListsAreRefused) {
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPILayers(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIUnits(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIReferenceColors(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIElementColors(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPINameAttributes(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIGeneralAttributes(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIFacetedReps(nullptr); }, 1, 0));
}

TEST_F(ModelExt, UnitsComeBackAsTheirKind) {
    xrchandle<KPIUnitList> units(KPIUnitList::create());
    units->Append(ext->CreatePILengthUnit(KPI_LENGTH_UNIT_MM));
    units->Append(ext->CreatePIMassUnit(KPI_MASS_UNIT_KG));
    ext->SetPIUnits(units);
    xrchandle<KPIUnitList> read = ext->GetPIUnits();
    ASSERT_EQ(read->Count(), 2);
    EXPECT_TRUE(KPILengthUnit::isObjKindOf(read->Get(0).get()));
    EXPECT_EQ(Text(read->Get(0)->GetName()), "MM");
    EXPECT_EQ(read->Get(0)->GetFactor(), 0.03937007874015748);
    EXPECT_TRUE(KPIMassUnit::isObjKindOf(read->Get(1).get()));
    EXPECT_EQ(Text(read->Get(1)->GetName()), "KILOGRAM");
    EXPECT_EQ(read->Get(1)->GetFactor(), 2.204634140964307);
    EXPECT_NE(read->Get(0).get(), units->Get(0).get());
}

TEST_F(ModelExt, LayersRoundTripAndStayIndependent) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("L1");
    layer->SetLayerId(5);
    layer->SetStatus(KPILAYER_STATUS_BLANKED);
    layer->AddPIItem(TestItem::Make(3));
    layer->AddPIItem(TestItem::Make(9));
    xrchandle<KPILayerList> list(KPILayerList::create());
    list->Append(layer);
    ext->SetPILayers(list);
    layer->AddPIItem(TestItem::Make(11)); // after storing: not seen

    xrchandle<KPILayer> back = ext->GetPILayers()->Get(0);
    EXPECT_EQ(Text(back->GetName()), "L1");
    EXPECT_EQ(back->GetLayerId(), 5);
    EXPECT_EQ(back->GetStatus(), KPILAYER_STATUS_BLANKED);
    EXPECT_EQ(Ids(back->GetPIItemList()), (std::vector<int>{3, 9}));
    back->RemovePIItem(TestItem::Make(3));
    back->SetLayerId(6);
    xrchandle<KPILayer> again = ext->GetPILayers()->Get(0);
    EXPECT_EQ(again->GetLayerId(), 5);
    EXPECT_EQ(Ids(again->GetPIItemList()), (std::vector<int>{3, 9}));
}

TEST_F(ModelExt, RefusedListSetterLeavesTheEarlierListIntact) {
    ext->SetPILayers(Layers({"A", "B"}));
    xrchandle<KPILayerList> holed = Layers({"C", "D", "E"});
    holed->Set(1, nullptr);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPILayers(holed); }, 1, 1));
    xrchandle<KPILayerList> read = ext->GetPILayers();
    ASSERT_EQ(read->Count(), 2);
    EXPECT_EQ(Text(read->Get(1)->GetName()), "B");

    xrchandle<KPIGeneralAttributeList> attrs(KPIGeneralAttributeList::create());
    attrs->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany(1)));
    ext->SetPIGeneralAttributes(attrs);
    attrs->Append(nullptr);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIGeneralAttributes(attrs); }, 1, 1));
    EXPECT_EQ(ext->GetPIGeneralAttributes()->Count(), 1);

    xrchandle<KPIFacetedRepList> reps(KPIFacetedRepList::create());
    reps->Append(ext->CreatePIFacetedRep(1));
    ext->SetPIFacetedReps(reps);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIFacetedReps(xrchandle<KPIFacetedRepList>(KPIFacetedRepList::create())); }, 1, 1));
    reps->Append(nullptr);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIFacetedReps(reps); }, 1, 1));
    ASSERT_TRUE(ext->GetPIFacetedReps());
    EXPECT_EQ(ext->GetPIFacetedReps()->Count(), 1);

    // An element of another class is refused the same way.
    xrchandle<KPIUnitList> units(KPIUnitList::create());
    units->Append(ext->CreatePILengthUnit(KPI_LENGTH_UNIT_IN));
    ext->SetPIUnits(units);
    xrchandle<KPIUnitList> foreign(KPIUnitList::create());
    foreign->Append(xrchandle<KPIUnit>(new OtherUnit));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->SetPIUnits(foreign); }, 1, 1));
    EXPECT_EQ(Text(ext->GetPIUnits()->Get(0)->GetName()), "INCH");
}

TEST_F(ModelExt, EveryNameIsLimitedInUtf16UnitsOfItsField) {
    // 31 UTF-16 units fit a name field, 32 are refused with (index, 1),
    // whatever the width of the characters in UTF-8 (a 4-byte one is two
    // units): no name is cut, and none is refused for its bytes.
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    xrchandle<KPICurve> line(
        session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0)).get());
    xrchandle<KPINameAttribute> named = ext->CreatePINameAttribute(1, KPI_FACE, "n");
    xrchandle<KPIGeneralAttribute> general = ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany());
    const struct {
        const char* what;
        int index;
        std::function<xstring(const char*)> give; // the name as kept
    } takers[] = {
        {"CreatePILayer", 1, [&](const char* n) { return ext->CreatePILayer(n)->GetName(); }},
        {"CreatePINameAttribute", 3,
         [&](const char* n) { return ext->CreatePINameAttribute(1, KPI_FACE, n)->GetName(); }},
        {"CreatePIGeneralAttribute", 3,
         [&](const char* n) {
             return ext->CreatePIGeneralAttribute(1, KPI_FACE, n, xany(1))->GetName();
         }},
        {"KPINameAttribute::SetName", 1, [&](const char* n) { named->SetName(n); return named->GetName(); }},
        {"KPIGeneralAttribute::SetName", 1,
         [&](const char* n) { general->SetName(n); return general->GetName(); }},
        {"CreatePILengthUnitEx", 1,
         [&](const char* n) { return ext->CreatePILengthUnitEx(n, 1.0)->GetName(); }},
        {"CreatePIMassUnitEx", 1,
         [&](const char* n) { return ext->CreatePIMassUnitEx(n, 1.0)->GetName(); }},
        {"CreatePIDatum", 2,
         [&](const char* n) { return model->CreatePIDatum(1, n, nullptr, line, nullptr)->GetName(); }},
    };
    // One character of each UTF-8 width; its UTF-16 units.
    const struct {
        const char* utf8;
        int units;
    } chars[] = {{"a", 1}, {"\xC3\xA9", 1}, {"\xE2\x82\xAC", 1}, {"\xF0\x9F\x98\x80", 2}};
    for (const auto& c : chars) {
        // As many characters as fit in 31 units (one ASCII to fill an odd
        // remainder), then one more.
        std::string fits;
        for (int i = 0; i < 31 / c.units; ++i)
            fits += c.utf8;
        if (31 % c.units)
            fits += "a";
        const std::string past = fits + c.utf8;
        for (const auto& t : takers) {
            SCOPED_TRACE(std::string(t.what) + " with " + c.utf8);
            xstring kept;
            EXPECT_NO_THROW(kept = t.give(fits.c_str()));
            EXPECT_EQ(Text(kept), fits);
            EXPECT_TRUE(RaisesInvalidArg([&] { t.give(past.c_str()); }, t.index, 1));
        }
    }
}

TEST_F(ModelExt, AttributesWithUnknownItemTypesAreLeftOut) {
    xrchandle<KPINameAttributeList> names(KPINameAttributeList::create());
    names->Append(ext->CreatePINameAttribute(1, KPI_EDGE, "e"));
    names->Append(ext->CreatePINameAttribute(2, KPI_DATUM_PLANE, "p"));
    ext->SetPINameAttributes(names);
    rec().item_names[0].item_type = 176;
    xrchandle<KPINameAttributeList> readNames = ext->GetPINameAttributes();
    ASSERT_EQ(readNames->Count(), 1);
    EXPECT_EQ(Text(readNames->Get(0)->GetName()), "p");
    EXPECT_EQ(readNames->Get(0)->GetItemType(), KPI_FACE);

    xrchandle<KPIGeneralAttributeList> attrs(KPIGeneralAttributeList::create());
    attrs->Append(ext->CreatePIGeneralAttribute(1, KPI_EDGE, "a", xany(1)));
    attrs->Append(ext->CreatePIGeneralAttribute(2, KPI_EDGE, "b", xany(2)));
    ext->SetPIGeneralAttributes(attrs);
    static_cast<QelGenAttribdata*>(har_access(rec().attributes, 1, nullptr, nullptr))->item_type = 176;
    xrchandle<KPIGeneralAttributeList> readAttrs = ext->GetPIGeneralAttributes();
    ASSERT_EQ(readAttrs->Count(), 1);
    EXPECT_EQ(Text(readAttrs->Get(0)->GetName()), "a");
}

TEST_F(ModelExt, GeneralAttributeValuesComeBackPerRecord) {
    xrchandle<KPIGeneralAttributeList> attrs(KPIGeneralAttributeList::create());
    attrs->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "i", xany(42)));
    attrs->Append(ext->CreatePIGeneralAttribute(2, KPI_FACE, "none", xany()));
    attrs->Append(ext->CreatePIGeneralAttribute(3, KPI_FACE, "t", xany("red")));
    attrs->Append(ext->CreatePIGeneralAttribute(4, KPI_FACE, "five", xany(7)));
    attrs->Append(ext->CreatePIGeneralAttribute(5, KPI_FACE, "long", xany(1)));
    ext->SetPIGeneralAttributes(attrs);
    auto* five = static_cast<QelGenAttribdata*>(har_access(rec().attributes, 3, nullptr, nullptr));
    five->value_kind = 5;
    // A host text longer than the setters take travels whole.
    auto* longText = static_cast<QelGenAttribdata*>(har_access(rec().attributes, 4, nullptr, nullptr));
    longText->value_kind = 3;
    std::u16string sixty(60, u'q');
    std::memcpy(longText->text, sixty.c_str(), sizeof(char16_t) * 61);

    xrchandle<KPIGeneralAttributeList> read = ext->GetPIGeneralAttributes();
    ASSERT_EQ(read->Count(), 5);
    EXPECT_EQ(int(read->Get(0)->GetValue()), 42);
    EXPECT_TRUE(read->Get(1)->GetValue().isNull());
    EXPECT_EQ(xstring(read->Get(2)->GetValue()).str(), "red");
    EXPECT_TRUE(read->Get(3)->GetValue().isNull());
    EXPECT_EQ(xstring(read->Get(4)->GetValue()).str(), std::string(60, 'q'));

    // Numbers equal to the xany sentinels survive a get-then-set round trip.
    auto* first = static_cast<QelGenAttribdata*>(har_access(rec().attributes, 0, nullptr, nullptr));
    first->int_value = INT_MIN;
    five->value_kind = 2;
    five->double_value = 1e126;
    ext->SetPIGeneralAttributes(ext->GetPIGeneralAttributes());
    const auto& i = *static_cast<QelGenAttribdata*>(har_access(rec().attributes, 0, nullptr, nullptr));
    EXPECT_EQ(i.value_kind, 1u);
    EXPECT_EQ(i.int_value, INT_MIN);
    const auto& d = *static_cast<QelGenAttribdata*>(har_access(rec().attributes, 3, nullptr, nullptr));
    EXPECT_EQ(d.value_kind, 2u);
    EXPECT_EQ(d.double_value, 1e126);
}

TEST_F(ModelExt, FacetedRepresentationRoundTrips) {
    xrchandle<KPIFacetedRep> rep = ext->CreatePIFacetedRep(12);
    xrchandle<KPIFacetVtxList> vtx(KPIFacetVtxList::create());
    for (int i = 0; i < 3; ++i)
        vtx->Append(rep->CreatePIFacetVtx(KCreatePoint3D(i, i + 1, i + 2), 0));
    rep->SetPIFacetVtxList(vtx);
    xrchandle<KPIFacetVtxdataList> data(KPIFacetVtxdataList::create());
    data->Append(rep->CreatePIFacetVtxdata(KCreateVector3D(0, 0, 1), KCreatePointUV(0.5, 0.25)));
    rep->SetPIFacetVtxdataList(data);
    xrchandle<xintsequence> tri(xintsequence::create());
    for (int v : {0, 1, 2})
        tri->Append(v);
    xrchandle<KPIFacetdataList> facets(KPIFacetdataList::create());
    facets->Append(rep->CreatePIFacetdata(KCreateVector3D(0, 0, -1), tri, nullptr, nullptr));
    rep->SetPIFacetdataList(facets);
    rep->SetOutline(KBox3D::Create(KCreatePoint3D(0, 1, 2), KCreatePoint3D(2, 3, 4)));

    xrchandle<KPIFacetedRepList> reps(KPIFacetedRepList::create());
    reps->Append(rep);
    reps->Append(ext->CreatePIFacetedRep(13));
    ext->SetPIFacetedReps(reps);
    rep->SetPIFacetVtxList(xrchandle<KPIFacetVtxList>(vtx)); // later changes are not seen

    xrchandle<KPIFacetedRepList> read = ext->GetPIFacetedReps();
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Count(), 2);
    xrchandle<KPIFacetedRep> back = read->Get(0);
    EXPECT_NE(back.get(), rep.get());
    EXPECT_EQ(back->GetId(), 12);
    ASSERT_EQ(back->GetPIFacetVtxList()->Count(), 3);
    EXPECT_EQ(back->GetPIFacetVtxList()->Get(2)->GetVtxPoint()->z(), 4.0);
    EXPECT_EQ(back->GetPIFacetVtxdataList()->Get(0)->GetTextureUV()->u(), 0.5);
    xrchandle<KPIFacetdata> f = back->GetPIFacetdataList()->Get(0);
    EXPECT_EQ(Ids(f->GetVtxIndices()), (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(f->GetVtxdataIndices());
    EXPECT_EQ(f->GetNormal()->z(), -1.0);
    EXPECT_EQ(back->GetOutline()->GetMaxPoint()->z(), 4.0);
    EXPECT_EQ(read->Get(1)->GetId(), 13);
    EXPECT_FALSE(read->Get(1)->GetPIFacetVtxList());

    // Storing again replaces (and frees) the earlier representations.
    ext->SetPIFacetedReps(read);
    EXPECT_EQ(ext->GetPIFacetedReps()->Get(0)->GetPIFacetVtxList()->Count(), 3);
}

class ItemColours : public ModelExt {
protected:
    void Store(std::initializer_list<std::array<int, 3>> entries, int refColours = 3) {
        xrchandle<KPIReferenceColorList> colours(KPIReferenceColorList::create());
        for (int i = 0; i < refColours; ++i)
            colours->Append(ext->CreatePIReferenceColor(KCreateColorRGB(i, 0, 0)));
        ext->SetPIReferenceColors(colours);
        xrchandle<KPIElementColorList> elems(KPIElementColorList::create());
        for (const auto& e : entries)
            elems->Append(ext->CreatePIElementColor(e[0], e[1], e[2]));
        ext->SetPIElementColors(elems);
    }
    // The red component names the reference colour found; -1 for none.
    int Found(int itemId) {
        xrchandle<KPIReferenceColor> c = ext->GetPIItemReferenceColor(itemId);
        return c ? int(c->GetColor()->Get(0)) : -1;
    }
};

TEST_F(ItemColours, PresentAbsentAndOutOfRange) {
    Store({{3, 0, -1}, {5, -1, 2}, {9, 1, -1}, {11, -1, -1}, {12, 3, -1}, {13, -1, 70}});
    EXPECT_EQ(Found(3), 0);
    EXPECT_EQ(Found(5), 2);
    EXPECT_EQ(Found(9), 1);
    EXPECT_EQ(Found(4), -1);  // absent
    EXPECT_EQ(Found(11), -1); // no index set
    EXPECT_EQ(Found(12), -1); // index past the reference colours
    EXPECT_EQ(Found(13), -1);

    // The result is a copy.
    ext->GetPIItemReferenceColor(3)->SetAmbient(0.5);
    EXPECT_EQ(ext->GetPIItemReferenceColor(3)->GetAmbient(), 0.0);
}

TEST_F(ItemColours, NoReferenceColoursGiveNull) {
    Store({{1, 0, -1}}, 0);
    EXPECT_EQ(Found(1), -1);
}

TEST_F(ItemColours, ExtremeIdsCompareWithoutOverflow) {
    // Sorted as signed ids; a subtracting comparator would overflow between
    // the ends of the range and search the wrong half.
    Store({{INT_MIN, 0, -1}, {-1, 1, -1}, {0, 2, -1}, {INT_MAX, 1, -1}});
    EXPECT_EQ(Found(INT_MIN), 0);
    EXPECT_EQ(Found(-1), 1);
    EXPECT_EQ(Found(0), 2);
    EXPECT_EQ(Found(INT_MAX), 1);
    EXPECT_EQ(Found(5), -1);
}

TEST_F(ModelExt, ReferenceColoursKeepTextureSlotsThroughGetAndSet) {
    xrchandle<KPIReferenceColor> c = ext->CreatePIReferenceColor(KCreateColorRGB(0.1, 0.2, 0.3));
    c->SetAmbient(0.4);
    c->SetHighlight(KCreateColorRGB(0.5, 0.6, 0.7));
    c->SetReflection(0.8);
    xrchandle<KPIReferenceColorList> list(KPIReferenceColorList::create());
    list->Append(c);
    ext->SetPIReferenceColors(list);
    std::memcpy(rec().ref_colors[0].texture.file_name, u"wood.png", sizeof(u"wood.png"));
    rec().ref_colors[0].bump.name[0] = u'B';

    ext->SetPIReferenceColors(ext->GetPIReferenceColors());
    const QelRefColordata& r = rec().ref_colors[0];
    EXPECT_EQ(std::u16string(r.texture.file_name), u"wood.png");
    EXPECT_EQ(r.bump.name[0], u'B');
    EXPECT_EQ(r.ambient, 0.4);
    EXPECT_EQ(r.highlight[1], 0.6);
    EXPECT_EQ(r.reflection, 0.8);
    EXPECT_EQ(r.color[2], 0.3);
}

TEST_F(ModelExt, ExtensionOverACopiedRecordFreesEverything) {
    ext->SetPILayers(Layers({"A"}));
    xrchandle<KPILayerList> layers = ext->GetPILayers();
    layers->Get(0)->AddPIItem(TestItem::Make(1));
    ext->SetPILayers(layers);
    xrchandle<KPIFacetedRep> rep = ext->CreatePIFacetedRep(1);
    xrchandle<KPIFacetVtxList> vtx(KPIFacetVtxList::create());
    vtx->Append(rep->CreatePIFacetVtx(KCreatePoint3D(0, 0, 0), 0));
    rep->SetPIFacetVtxList(vtx);
    xrchandle<KPIFacetedRepList> reps(KPIFacetedRepList::create());
    reps->Append(rep);
    ext->SetPIFacetedReps(reps);
    xrchandle<KPIGeneralAttributeList> attrs(KPIGeneralAttributeList::create());
    attrs->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany(1.5)));
    ext->SetPIGeneralAttributes(attrs);

    auto* copy = static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
    ASSERT_EQ(qel_intf_data_extend_copy(impl->GetExtendData(), copy), 0);
    xrchandle<KWPIModelExt> other(new KWPIModelExt_i(copy)); // takes the record over
    EXPECT_EQ(Ids(other->GetPILayers()->Get(0)->GetPIItemList()), std::vector<int>{1});
    EXPECT_EQ(other->GetPIFacetedReps()->Get(0)->GetPIFacetVtxList()->Count(), 1);
    EXPECT_EQ(double(other->GetPIGeneralAttributes()->Get(0)->GetValue()), 1.5);
    // Both extensions go with the fixture and the handle: the leak checker
    // reports anything they leave.
}

} // namespace
