#include "xmemory.h"
#include "kernel/metadata/attributes.h"
#include "kernel/metadata/model_ext.h"
#include "api/kpi_session.h"
#include "metadata_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace {

class Attributes : public ::testing::Test {
protected:
    xrchandle<KWPIModelExt> ext{new KWPIModelExt_i()};
};

std::vector<int> Ids(const xrchandle<xintsequence>& seq) {
    std::vector<int> out;
    for (int i = 0; seq && i < seq->Count(); ++i)
        out.push_back(seq->Get(i));
    return out;
}

// ---- layers -------------------------------------------------------------------

TEST_F(Attributes, LayerNamesOf31FitAnd32AreRefused) {
    std::string n31(31, 'L'), n32(32, 'L');
    EXPECT_EQ(Text(ext->CreatePILayer(n31.c_str())->GetName()), n31);
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePILayer(n32.c_str()); }, 1, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePILayer(nullptr); }, 1, 0));
    // Counted in UTF-16 units: 31 two-byte characters fit.
    std::string greek;
    for (int i = 0; i < 31; ++i)
        greek += "\xCE\xB1";
    EXPECT_EQ(Text(ext->CreatePILayer(greek.c_str())->GetName()), greek);
    // A character outside the Basic Multilingual Plane counts two units:
    // fifteen of them and one more letter fit, sixteen do not.
    std::string smiles;
    for (int i = 0; i < 15; ++i)
        smiles += "\xF0\x9F\x98\x80";
    EXPECT_EQ(Text(ext->CreatePILayer((smiles + "a").c_str())->GetName()), smiles + "a");
    EXPECT_TRUE(
        RaisesInvalidArg([&] { ext->CreatePILayer((smiles + "\xF0\x9F\x98\x80").c_str()); }, 1, 1));
}

TEST_F(Attributes, NewLayerReadsUnsetIdNormalAndNoItems) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("L1");
    EXPECT_EQ(layer->GetLayerId(), -1);
    EXPECT_EQ(layer->GetStatus(), KPILAYER_STATUS_NORMAL);
    xrchandle<xintsequence> items = layer->GetPIItemList();
    ASSERT_TRUE(items);
    EXPECT_EQ(items->Count(), 0);
    EXPECT_EQ(CastToImpl<KPILayer_i>(layer.get(), 1)->Record().status, 1u);
}

TEST_F(Attributes, LayerStatusFollowsTheHostTable) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("S");
    const QelLayerdata& rec = CastToImpl<KPILayer_i>(layer.get(), 1)->Record();
    const uint32_t host[] = {1, 2, 3, 5};
    for (int s = 0; s < 4; ++s) {
        layer->SetStatus(KPILayerStatus(s));
        EXPECT_EQ(rec.status, host[s]);
        EXPECT_EQ(int(layer->GetStatus()), s);
    }
    layer->SetStatus(KPILayerStatus(7));
    EXPECT_EQ(rec.status, 0xFFFFFFFFu);
    EXPECT_EQ(int(layer->GetStatus()), 4);
    EXPECT_EQ(KPILayerStatusFromQelStatus(4), 4);
    EXPECT_EQ(KPILayerStatusFromQelStatus(0), 4);
}

TEST_F(Attributes, LayerItemsKeepEachIdOnce) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("Items");
    layer->AddPIItem(TestItem::Make(7, KPI_FACE));
    layer->AddPIItem(TestItem::Make(7, KPI_EDGE)); // same id, other type
    layer->AddPIItem(TestItem::Make(-3));
    EXPECT_EQ(Ids(layer->GetPIItemList()), (std::vector<int>{7, -3}));
    layer->RemovePIItem(TestItem::Make(99)); // absent: nothing changes
    EXPECT_EQ(Ids(layer->GetPIItemList()), (std::vector<int>{7, -3}));
    layer->RemovePIItem(TestItem::Make(7));
    EXPECT_EQ(Ids(layer->GetPIItemList()), (std::vector<int>{-3}));

    xrchandle<xintsequence> ids(xintsequence::create());
    for (int v : {4, 5, 6})
        ids->Append(v);
    layer->SetPIItemList(ids);
    ids->Append(8); // the layer keeps its own copy
    EXPECT_EQ(Ids(layer->GetPIItemList()), (std::vector<int>{4, 5, 6}));
    layer->SetPIItemList(xrchandle<xintsequence>(xintsequence::create()));
    EXPECT_EQ(Ids(layer->GetPIItemList()), std::vector<int>{});
}

TEST_F(Attributes, NullHandlesToSettersAreRefused) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("N");
    layer->AddPIItem(TestItem::Make(1));
    EXPECT_TRUE(RaisesInvalidArg([&] { layer->AddPIItem(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { layer->RemovePIItem(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { layer->SetPIItemList(nullptr); }, 1, 0));
    EXPECT_EQ(Ids(layer->GetPIItemList()), std::vector<int>{1});

    xrchandle<KPIReferenceColor> color = ext->CreatePIReferenceColor(KCreateColorRGB(1, 1, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { color->SetColor(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { color->SetHighlight(nullptr); }, 1, 0));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePIReferenceColor(nullptr); }, 1, 0));
    EXPECT_EQ(color->GetColor()->Get(0), 1.0);
}

TEST_F(Attributes, ItemsWithoutAnImplementationAreRefused) {
    // A recording item whose _CastToImpl answers null is not an object of
    // this library.
    class Foreign : public KCommon_i, public virtual KPIItem {
    public:
        KCommon_i* _CastToImpl() override { return nullptr; }
        xobject* GetImplObject() override { return static_cast<KPIItem*>(this); }
        const xrttiobject* giveRtti() const override { return KPIItem::getClassRtti(); }
        void* dyndowncast(const xrttiobject* t) override { return KPIItem::dyndowncast(t); }
        int GetId() override { return 1; }
        KPIItemType GetItemType() override { return KPI_FACE; }
    };
    xrchandle<KPILayer> layer = ext->CreatePILayer("F");
    xrchandle<KPIItem> foreign(new Foreign);
    EXPECT_TRUE(RaisesInvalidArg([&] { layer->AddPIItem(foreign); }, 1, 1));
    EXPECT_EQ(layer->GetPIItemList()->Count(), 0);
}

// ---- attributes ---------------------------------------------------------------

TEST_F(Attributes, ItemTypesMapToHostCodesAndBack) {
    const int host[] = {6, 5, 57, 62, 25, 5, 2};
    const int back[] = {0, 1, 2, 3, 4, 1, 6};
    for (int t = 0; t < 7; ++t) {
        EXPECT_EQ(QelTypeFromKPIItemType(t), host[t]);
        xrchandle<KPINameAttribute> a = ext->CreatePINameAttribute(10 + t, KPIItemType(t), "n");
        EXPECT_EQ(int(a->GetItemType()), back[t]);
        EXPECT_EQ(a->GetItemId(), 10 + t);
    }
    EXPECT_EQ(QelTypeFromKPIItemType(7), -1);
    EXPECT_EQ(QelTypeFromKPIItemType(-1), -1);
}

TEST_F(Attributes, NameAttributeChecksAndKeepsItsNameOnRefusal) {
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePINameAttribute(1, KPIItemType(7), "n"); }, 2, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePINameAttribute(1, KPIItemType(-1), "n"); }, 2, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePINameAttribute(1, KPI_EDGE, nullptr); }, 3, 0));
    std::string n32(32, 'x');
    EXPECT_TRUE(RaisesInvalidArg([&] { ext->CreatePINameAttribute(1, KPI_EDGE, n32.c_str()); }, 3, 1));

    xrchandle<KPINameAttribute> a = ext->CreatePINameAttribute(1, KPI_EDGE, "old");
    EXPECT_TRUE(RaisesInvalidArg([&] { a->SetName(n32.c_str()); }, 1, 1));
    EXPECT_TRUE(RaisesInvalidArg([&] { a->SetName(nullptr); }, 1, 0));
    EXPECT_EQ(Text(a->GetName()), "old");
    a->SetName(std::string(31, 'y').c_str());
    EXPECT_EQ(Text(a->GetName()), std::string(31, 'y'));
    a->SetName("z");
    EXPECT_EQ(Text(a->GetName()), "z");
}

TEST_F(Attributes, GeneralAttributeValuesByKind) {
    xrchandle<KPIGeneralAttribute> none = ext->CreatePIGeneralAttribute(1, KPI_FACE, "a", xany());
    EXPECT_TRUE(none->GetValue().isNull());
    xrchandle<KPIGeneralAttribute> null =
        ext->CreatePIGeneralAttribute(1, KPI_FACE, "a", xany_null());
    EXPECT_TRUE(null->GetValue().isNull());

    xrchandle<KPIGeneralAttribute> a = ext->CreatePIGeneralAttribute(2, KPI_QUILT, "w", xany(5));
    EXPECT_EQ(int(a->GetValue()), 5);
    EXPECT_EQ(a->GetItemType(), KPI_QUILT);
    a->SetValue(xany(2.5));
    EXPECT_EQ(a->GetValue().kind(), xany::kReal);
    EXPECT_EQ(double(a->GetValue()), 2.5);
    a->SetValue(xany("steel"));
    EXPECT_EQ(a->GetValue().kind(), xany::kString);
    EXPECT_EQ(xstring(a->GetValue()).str(), "steel");

    xany flag;
    flag = xbool(1);
    a->SetValue(flag); // not kept: the text stays
    EXPECT_EQ(xstring(a->GetValue()).str(), "steel");
    a->SetValue(xany()); // nor an uninitialised value
    EXPECT_EQ(xstring(a->GetValue()).str(), "steel");
}

TEST_F(Attributes, GeneralAttributeTextOf32IsRefusedBeforeAnyChange) {
    std::string t31(31, 't'), t32(32, 't');
    EXPECT_TRUE(RaisesInvalidArg(
        [&] { ext->CreatePIGeneralAttribute(1, KPI_FACE, "a", xany(t32.c_str())); }, 4, 1));
    xrchandle<KPIGeneralAttribute> a =
        ext->CreatePIGeneralAttribute(1, KPI_FACE, "a", xany(t31.c_str()));
    EXPECT_EQ(xstring(a->GetValue()).str(), t31);
    a->SetValue(xany(9));
    EXPECT_TRUE(RaisesInvalidArg([&] { a->SetValue(xany(t32.c_str())); }, 1, 1));
    EXPECT_EQ(a->GetValue().kind(), xany::kInt);
    EXPECT_EQ(int(a->GetValue()), 9);
    // The name checks are those of the name attribute.
    EXPECT_TRUE(RaisesInvalidArg(
        [&] { ext->CreatePIGeneralAttribute(1, KPIItemType(9), "a", xany(1)); }, 2, 1));
    EXPECT_TRUE(RaisesInvalidArg(
        [&] { ext->CreatePIGeneralAttribute(1, KPI_FACE, nullptr, xany(1)); }, 3, 0));
}

// ---- names and texts that a document cannot carry as given ---------------------

// Every operation that takes a name or a text refuses, as a bad value of
// that argument, one that is not UTF-8 or holds a character XML cannot
// carry; a setter keeps what it held. Tab, line ends and U+FFFD are kept.
TEST_F(Attributes, NamesAndTextsThatCannotBeWrittenAsGivenAreRefused) {
    const std::string bad[] = {
        "a\x01" "b", "\x1F", "\x0B", "\xEF\xBF\xBE", "x\xEF\xBF\xBF", // control, U+FFFE, U+FFFF
        "a\xFF", "\xC0\xAF", "\xE0\x80\xAF",                          // stray byte, overlong forms
        "\xED\xA0\x80", "\xED\xBF\xBF", "ab\xE2\x82",                  // surrogates, a cut character
    };
    const std::string good = "\t\n\r \xEF\xBF\xBD \xF4\x8F\xBF\xBF";
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
    xrchandle<KCsys> csys = KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0),
                                          KCreateVector3D(0, 1, 0));
    xrchandle<KPINameAttribute> named = ext->CreatePINameAttribute(1, KPI_FACE, "n");
    xrchandle<KPIGeneralAttribute> general =
        ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany(xstring("v")));
    struct Taker {
        const char* what;
        int arg;
        std::function<void(const char*)> take;
    } takers[] = {
        {"CreatePIDatum", 2, [&](const char* t) { model->CreatePIDatum(1, t, csys, {}, {}); }},
        {"CreatePILayer", 1, [&](const char* t) { ext->CreatePILayer(t); }},
        {"CreatePILengthUnitEx", 1, [&](const char* t) { ext->CreatePILengthUnitEx(t, 1); }},
        {"CreatePIMassUnitEx", 1, [&](const char* t) { ext->CreatePIMassUnitEx(t, 1); }},
        {"CreatePINameAttribute", 3,
         [&](const char* t) { ext->CreatePINameAttribute(1, KPI_FACE, t); }},
        {"KPINameAttribute::SetName", 1, [&](const char* t) { named->SetName(t); }},
        {"CreatePIGeneralAttribute name", 3,
         [&](const char* t) { ext->CreatePIGeneralAttribute(1, KPI_FACE, t, xany(1)); }},
        {"CreatePIGeneralAttribute text", 4,
         [&](const char* t) { ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany(xstring(t))); }},
        {"KPIGeneralAttribute::SetName", 1, [&](const char* t) { general->SetName(t); }},
        {"KPIGeneralAttribute::SetValue", 1,
         [&](const char* t) { general->SetValue(xany(xstring(t))); }},
    };
    for (const Taker& taker : takers) {
        for (const std::string& text : bad)
            EXPECT_TRUE(RaisesInvalidArg([&] { taker.take(text.c_str()); }, taker.arg, 1))
                << taker.what << " of " << ::testing::PrintToString(text);
        EXPECT_NO_THROW(taker.take(good.c_str())) << taker.what;
    }
    // A text with a zero byte inside would be cut where it is stored.
    EXPECT_TRUE(RaisesInvalidArg(
        [&] { general->SetValue(xany(xstring(std::string("ab\0cd", 5)))); }, 1, 1));
    EXPECT_EQ(Text(named->GetName()), good);
    EXPECT_EQ(Text(general->GetName()), good);
    EXPECT_EQ(Text(xstring(general->GetValue())), good);
}

// ---- colours --------------------------------------------------------------------

TEST_F(Attributes, ReferenceColourStartsFromItsColourOnly) {
    xrchandle<KPIReferenceColor> c = ext->CreatePIReferenceColor(KCreateColorRGB(0.2, 0.4, 0.6));
    xrchandle<KColorRGB> rgb = c->GetColor();
    EXPECT_EQ(rgb->Get(0), 0.2);
    EXPECT_EQ(rgb->Get(1), 0.4);
    EXPECT_EQ(rgb->Get(2), 0.6);
    EXPECT_EQ(c->GetAmbient(), 0.0);
    EXPECT_EQ(c->GetDiffuse(), 0.0);
    EXPECT_EQ(c->GetSpecular(), 0.0);
    EXPECT_EQ(c->GetSpecularCoefficient(), 0.0);
    EXPECT_EQ(c->GetTransmission(), 0.0);
    EXPECT_EQ(c->GetReflection(), 0.0);
    EXPECT_EQ(c->GetHighlight()->Get(1), 0.0);

    c->SetHighlight(KCreateColorRGB(0.7, 0.8, 0.9));
    c->SetTransmission(-1.5); // not clamped
    const QelRefColordata& rec = CastToImpl<KPIReferenceColor_i>(c.get(), 1)->Record();
    EXPECT_EQ(rec.highlight[2], 0.9);
    EXPECT_EQ(rec.transmission, -1.5);
    EXPECT_EQ(rec.color[0], 0.2);
}

TEST_F(Attributes, ElementColourIndexSelector) {
    xrchandle<KPIElementColor> e = ext->CreatePIElementColor(4, 2, -1);
    EXPECT_EQ(e->GetItemId(), 4);
    EXPECT_EQ(e->GetReferenceColorIndex(0), 2);
    EXPECT_EQ(e->GetReferenceColorIndex(INT_MIN), 2);
    EXPECT_EQ(e->GetReferenceColorIndex(1), -1);
    EXPECT_EQ(e->GetReferenceColorIndex(-1), -1);
    EXPECT_EQ(CastToImpl<KPIElementColor_i>(e.get(), 1)->Record().color_index[1], 0xFFFFFFFFu);
}

TEST_F(Attributes, LayerRecordCopyOwnsItsItems) {
    xrchandle<KPILayer> layer = ext->CreatePILayer("C");
    layer->AddPIItem(TestItem::Make(3));
    QelLayerdata* copy = CastToImpl<KPILayer_i>(layer.get(), 1)->CopyRecord();
    ASSERT_NE(copy, nullptr);
    layer->AddPIItem(TestItem::Make(4));
    ASSERT_EQ(xar_count(copy->item_ids), 1);
    EXPECT_EQ(copy->item_ids[0], 3u);
    KPILayer_i over(*copy);
    EXPECT_EQ(Ids(over.GetPIItemList()), std::vector<int>{3});
    QelLayerdataFree(copy);

    // A record from outside whose item array holds other elements is refused.
    QelLayerdata odd{};
    odd.item_ids = static_cast<uint32_t*>(xar_alloc(2, int(sizeof(double)), 1));
    try {
        KPILayer_i bad(odd);
        ADD_FAILURE() << "accepted";
    } catch (const xthrown& e) {
        ASSERT_NE(KXSimple::softcast(e.get()), nullptr);
        EXPECT_EQ(KXSimple::softcast(e.get())->GetStatus(), -2);
    }
    xar_free(odd.item_ids);
}

} // namespace
