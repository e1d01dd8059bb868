// The "QelIntfDataExtend" element and its nine lists: exact texts, reading
// back, and malformed input.
#include "xml/intfdata_fixtures.h"
#include "xml/xml_test_util.h"

#include "xml/intfdata/xml_extedges.h"
#include "xml/intfdata/xml_extend.h"
#include "xml/intfdata/xml_facets.h"
#include "xml/intfdata/xml_metadata.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using xmltest::ErrorOf;
using xmltest::WriteInRoot;

namespace {

using ExtPtr = FreePtr<qel_intf_data_extend, zpifix::freeExtension>;

// Reads `inner` as the children of a "QelIntfDataExtend" below another
// element; the record read passes to the caller.
ExtPtr ReadExt(const std::string& inner) {
    xmltest::Top<IntfXmlQelIntfDataExtend> top(
        [](auto* t, IntfXmlAttributes&) { return t->template Make<IntfXmlQelIntfDataExtend>(); });
    xmltest::Parse(top, "<QelIntfDataExtend>" + inner + "</QelIntfDataExtend>");
    qel_intf_data_extend* ext = top.child()->GetData();
    top.child()->Detach();
    return ExtPtr(ext);
}

// What lies between the extension's start and end tags when written.
std::string ListsOf(const qel_intf_data_extend* ext) {
    std::string text = WriteInRoot([&] { IntfXmlQelIntfDataExtend(ext, nullptr); });
    const std::string open = "\t<QelIntfDataExtend>\n", close = "\t</QelIntfDataExtend>\n";
    EXPECT_EQ(text.rfind(open, 0), 0u) << text;
    if (text.size() < open.size() + close.size())
        return text;
    return text.substr(open.size(), text.size() - open.size() - close.size());
}

qel_intf_data_extend* NewExt() {
    return static_cast<qel_intf_data_extend*>(getmem(sizeof(qel_intf_data_extend)));
}

} // namespace

// ---- exact texts ----------------------------------------------------------------------

TEST(XmlExtendText, EmptyRecordAndWriteOrder) {
    ExtPtr ext(NewExt());
    EXPECT_EQ(WriteInRoot([&] { IntfXmlQelIntfDataExtend(ext.get(), nullptr); }),
              "\t<QelIntfDataExtend></QelIntfDataExtend>\n");
    // Reference colours and units: "Units" goes first whatever the record
    // order; a list that is set but empty is written with size 0.
    ext->ref_colors = static_cast<QelRefColordata*>(xar_alloc(0, sizeof(QelRefColordata), 1));
    ext->units = zpifix::xar_of({QelUnitdata{25.4, u"mm", 1}});
    EXPECT_EQ(ListsOf(ext.get()),
              "\t<Units size=\"1\">\n"
              "\t<Unit name=\"mm\" type=\"1\" factor=\"25.3999999999999986\"></Unit>\n"
              "\t</Units>\n"
              "\t<RefColors size=\"0\"></RefColors>\n");
}

TEST(XmlExtendText, AnEntryXmlCannotCarryIsRefusedNamingTheEntry) {
    // Names a record holds (as an XML 1.1 document gives them) that this
    // writer's XML cannot carry: the refusal names the entry, on one line.
    const struct {
        const char* entry;
        std::function<void(qel_intf_data_extend&)> change;
    } cases[] = {
        {"unit at index 1: ", [](qel_intf_data_extend& e) { e.units[1].name[0] = 1; }},
        {"layer at index 1: ", [](qel_intf_data_extend& e) { e.layers[1].name[0] = 1; }},
        {"item name at index 0: ", [](qel_intf_data_extend& e) { e.item_names[0].name[0] = 1; }},
        {"attribute at index 2: ",
         [](qel_intf_data_extend& e) {
             static_cast<QelGenAttribdata*>(har_access(e.attributes, 2, nullptr, nullptr))
                 ->text[0] = 0xFFFE;
         }},
        {"reference colour at index 0: ",
         [](qel_intf_data_extend& e) { e.ref_colors[0].texture.name[1] = u'\x1F'; }},
    };
    for (const auto& c : cases) {
        ExtPtr ext(zpifix::fullExtension());
        c.change(*ext);
        std::string message;
        EXPECT_EQ(ErrorOf([&] { WriteInRoot([&] { IntfXmlQelIntfDataExtend(ext.get(), nullptr); }); },
                          &message),
                  INTFXML_ERR_RECORD)
            << c.entry;
        EXPECT_EQ(message.rfind(c.entry, 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(XmlExtendText, ColoursAttributesAndLayers) {
    QelRefColordata c{};
    c.color[0] = 1;
    c.color[1] = 0.5;
    c.ambient = 0.25;
    c.diffuse = 0.5;
    c.specular = 0.75;
    c.specular_coef = 1;
    c.reflection = 2;
    c.transmission = 3;
    zpifix::setName(c.bump.name, QEL_NAME_LEN, u"b");
    zpifix::setName(c.bump.file_name, QEL_PATH_LEN, u"f.png");
    EXPECT_EQ(WriteInRoot([&] { IntfXmlRefColor{&c}; }),
              "\t<RefColor amb=\"0.25\" diff=\"0.5\" spec=\"0.75\" spec-coef=\"1\" ref=\"2\" "
              "trans=\"3\">\n"
              "\t<Color>1 0.5 0</Color>\n"
              "\t<Highlight>0 0 0</Highlight>\n"
              "\t<Bump name=\"b\" fileName=\"f.png\"></Bump>\n"
              "\t<Decal name=\"\" fileName=\"\"></Decal>\n"
              "\t<Texture name=\"\" fileName=\"\"></Texture>\n"
              "\t</RefColor>\n");

    QelElemColordata* cols = zpifix::xar_of({QelElemColordata{5, {0, 0xFFFFFFFFu}}});
    EXPECT_EQ(WriteInRoot([&] { IntfXmlEleColors{cols}; }),
              "\t<EleColors size=\"1\">\n\t<Col id=\"5\" idx0=\"0\" idx1=\"-1\"></Col>\n"
              "\t</EleColors>\n");
    xar_free(cols);

    std::string values;
    for (uint32_t kind : {1u, 2u, 3u, 4u, 5u}) {
        QelGenAttribdata a{};
        zpifix::setName(a.name, QEL_NAME_LEN, u"n");
        a.value_kind = kind;
        a.int_value = kind == 1 ? 7 : 3;
        a.double_value = 0.5;
        zpifix::setName(a.text, QEL_ATTRIB_TEXT_LEN, u"a&b");
        a.item_id = 9;
        a.item_type = 1;
        values += WriteInRoot([&] { IntfXmlAttrib{&a}; });
    }
    EXPECT_EQ(values, "\t<Attrib name=\"n\" refType=\"1\" refId=\"9\">\n"
                      "\t<Value type=\"1\" val=\"7\"></Value>\n\t</Attrib>\n"
                      "\t<Attrib name=\"n\" refType=\"1\" refId=\"9\">\n"
                      "\t<Value type=\"2\" val=\"0.5\"></Value>\n\t</Attrib>\n"
                      "\t<Attrib name=\"n\" refType=\"1\" refId=\"9\">\n"
                      "\t<Value type=\"3\" val=\"a&amp;b\"></Value>\n\t</Attrib>\n"
                      "\t<Attrib name=\"n\" refType=\"1\" refId=\"9\">\n"
                      "\t<Value></Value>\n\t</Attrib>\n"
                      "\t<Attrib name=\"n\" refType=\"1\" refId=\"9\">\n"
                      "\t<Value type=\"5\" val=\"3\"></Value>\n\t</Attrib>\n");

    QelLayerdata l{};
    zpifix::setName(l.name, QEL_NAME_LEN, u"L");
    l.layer_id = 1;
    l.status = 2;
    EXPECT_EQ(WriteInRoot([&] { IntfXmlLayer{&l}; }),
              "\t<Layer name=\"L\" layer_id=\"1\" operation=\"2\">\n\t<Ids size=\"0\"></Ids>\n"
              "\t</Layer>\n");
}

TEST(XmlExtendText, EdgesRegionsAndFacets) {
    ExtPtr ext(zpifix::fullExtension());
    QelExtEdgedata bare{};
    bare.edge_id = 3;
    bare.end_point[0] = 1.5;
    EXPECT_EQ(WriteInRoot([&] { IntfXmlExtEdge{&bare}; }),
              "\t<ExtEdge ID=\"3\">\n"
              "\t<StVtxComps size=\"0\"></StVtxComps>\n"
              "\t<EndVtxComps size=\"0\"></EndVtxComps>\n"
              "\t<StXYZ>0 0 0</StXYZ>\n"
              "\t<EndXYZ>1.5 0 0</EndXYZ>\n"
              "\t</ExtEdge>\n");
    EXPECT_EQ(WriteInRoot([&] { IntfXmlSolidRegion{&ext->solid_regions[1]}; }),
              "\t<SolidRegion>\n\t<ExtShell>\n\t<SurfIds size=\"1\">1\n</SurfIds>\n"
              "\t</ExtShell>\n\t</SolidRegion>\n");
    std::string region = WriteInRoot([&] { IntfXmlSolidRegion{&ext->solid_regions[0]}; });
    EXPECT_NE(region.find("\t<SurfIds size=\"2\">7\n8\n</SurfIds>\n"), std::string::npos);
    EXPECT_NE(region.find("\t<IntShells size=\"2\">\n\t<IntShell>\n\t<SurfIds size=\"1\">9\n"),
              std::string::npos)
        << region;

    auto& rep0 = zpifix::at<QelFacetedRepdata>(ext->faceted_reps, 0);
    std::string rep = WriteInRoot([&] { IntfXmlFacetedRep{&rep0}; });
    EXPECT_EQ(rep.rfind("\t<FacetedRep id=\"50\">\n\t<FacetVertices size=\"3\">\n"
                        "\t<FacetVtx Neighbour=\"3\">\n\t<XYZ>0 0 1</XYZ>\n\t</FacetVtx>\n",
                        0),
              0u)
        << rep;
    EXPECT_NE(rep.find("\t<FacetVtxdata>\n\t<Normal>1 0 0</Normal>\n"
                       "\t<TextureUV>0.25 0.75</TextureUV>\n\t</FacetVtxdata>\n"),
              std::string::npos);
    EXPECT_NE(rep.find("\t<Facetdata>\n\t<VtxIndices>0 1 2</VtxIndices>\n"
                       "\t<VtxdataIndices>-1 -1 -1</VtxdataIndices>\n"
                       "\t<FacetIndices>0 4 0</FacetIndices>\n\t<Normal>0 0 -1</Normal>\n"
                       "\t</Facetdata>\n"),
              std::string::npos);
    // The second representation has no vertex data and no facets.
    std::string rep1 = WriteInRoot(
        [&] { IntfXmlFacetedRep{&zpifix::at<QelFacetedRepdata>(ext->faceted_reps, 1)}; });
    EXPECT_EQ(rep1.find("FacetVtxdataArr"), std::string::npos);
    EXPECT_EQ(rep1.find("FacetdataArr"), std::string::npos);
    EXPECT_NE(rep1.find("\t<Outline>\n"), std::string::npos);
}

// ---- reading ----------------------------------------------------------------------------

TEST(XmlExtendRead, FilledExtensionReadsBackEqual) {
    ExtPtr ext(zpifix::fullExtension());
    std::string lists = ListsOf(ext.get());
    ExtPtr back = ReadExt(lists);
    zpifix::expectSameExtension(ext.get(), back.get());
    EXPECT_EQ(ListsOf(back.get()), lists);
}

TEST(XmlExtendRead, ListsInAnyOrderAndARepeatedList) {
    ExtPtr ext(zpifix::fullExtension());
    std::string lists = ListsOf(ext.get());
    // Move "FacetedReps" first and "Units" last.
    size_t f = lists.find("\t<FacetedReps");
    std::string facets = lists.substr(f);
    std::string rest = lists.substr(0, f);
    size_t u = rest.find("\t<Layers");
    std::string units = rest.substr(0, u);
    std::string reordered = facets + rest.substr(u) + units;
    ExtPtr back = ReadExt(reordered);
    zpifix::expectSameExtension(ext.get(), back.get());
    // A list given twice: the later one stays (the earlier one is freed).
    ExtPtr twice = ReadExt(lists + "<Units size=\"1\"><Unit name=\"in\" type=\"0\" factor=\"1\"/>"
                                   "</Units>");
    ASSERT_EQ(xar_count(twice->units), 1);
    EXPECT_EQ(twice->units[0].name[0], u'i');
}

TEST(XmlExtendRead, ExtensionAsTheDocumentRoot) {
    IntfXmlQelIntfDataExtend top(nullptr);
    std::string doc = "<QelIntfDataExtend><ItemNames size=\"1\">"
                      "<ItemName name=\"x\" type=\"3\" id=\"4\"/></ItemNames></QelIntfDataExtend>";
    IntfXmlParseBuffer(doc.data(), doc.size(), &top, "root");
    ASSERT_NE(top.GetData(), nullptr);
    ASSERT_EQ(xar_count(top.GetData()->item_names), 1);
    EXPECT_EQ(top.GetData()->item_names[0].item_type, 3u);
    EXPECT_EQ(top.GetData()->item_names[0].item_id, 4u);
    // Another root element is not an extension.
    IntfXmlQelIntfDataExtend other(nullptr);
    std::string wrong = "<Units size=\"0\"/>";
    EXPECT_EQ(ErrorOf([&] { IntfXmlParseBuffer(wrong.data(), wrong.size(), &other, "root"); }),
              INTFXML_ERR_MALFORMED);
}

TEST(XmlExtendRead, MisplacedAttributesAndUnknownValueKinds) {
    ExtPtr ext = ReadExt(
        "<Units size=\"1\"><Unit name=\"mm\" factor=\"2\" type=\"0\"/></Units>"
        "<RefColors size=\"1\"><RefColor amb=\"1\" diff=\"1\" spec=\"1\" spec-coef=\"1\" "
        "trans=\"5\" ref=\"6\"><Color>1\t0.5\n0</Color></RefColor></RefColors>"
        "<Attribs size=\"2\"><Attrib name=\"a\" refType=\"1\" refId=\"2\"><Value/></Attrib>"
        "<Attrib name=\"b\" refId=\"2\" refType=\"1\"><Value type=\"2\" val=\"0.5\"/></Attrib>"
        "</Attribs>");
    EXPECT_EQ(ext->units[0].type, 0xFFFFFFFFu);
    EXPECT_EQ(ext->units[0].factor, -1.0);
    EXPECT_EQ(ext->ref_colors[0].reflection, -1.0);
    EXPECT_EQ(ext->ref_colors[0].transmission, -1.0);
    EXPECT_EQ(ext->ref_colors[0].color[1], 0.5);
    QelGenAttribdata& a = zpifix::at<QelGenAttribdata>(ext->attributes, 0);
    EXPECT_EQ(a.value_kind, 0u);
    QelGenAttribdata& b = zpifix::at<QelGenAttribdata>(ext->attributes, 1);
    EXPECT_EQ(b.value_kind, 2u);
    EXPECT_EQ(b.double_value, 0.5);
    EXPECT_EQ(b.item_id, 0xFFFFFFFFu);
    EXPECT_EQ(b.item_type, 0xFFFFFFFFu);
}

TEST(XmlExtendRead, AnAttributeValueNoKindCarriesIsToldAndReadAsNone) {
    // Only a "Value" without attributes, as the writers write a value of no
    // kind, is read as none without a word.
    const struct {
        const char* values; // the children of an "Attrib"
        const char* told;   // "" for nothing
        uint32_t kind;
    } cases[] = {
        {"<Value></Value>", "", 0},
        {"<Value type=\"-7\" val=\"0.1\"/>",
         "\"Value\" of type -7, which no value kind carries: read as no value", 0},
        {"<Value type=\"4\"/>", "\"Value\" of type 4, which no value kind carries: read as no value",
         0},
        {"<Value type=\"0\" val=\"a text\"/>",
         "\"Value\" of type 0 (no value) holds a value: read as no value", 0},
        {"<Value type=\"2\" val=\"0.5\">3</Value>", "\"Value\" holds a text, which is not read", 2},
        {"<Value type=\"1\" val=\"3\"/><Value type=\"-7\"/>",
         "\"Value\" appears twice in \"Attrib\": the later one is read", 0},
        {"", "\"Attrib\" lacks its \"Value\": read as no value", 0},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        ExtPtr ext = ReadExt(std::string("<Attribs size=\"1\"><Attrib name=\"n\" refType=\"1\" "
                                         "refId=\"2\">") +
                             c.values + "</Attrib></Attribs>");
        const std::string told = ::testing::internal::GetCapturedStderr();
        if (*c.told)
            EXPECT_NE(told.find(std::string(c.told) + "\n"), std::string::npos) << told;
        else
            EXPECT_EQ(told, "");
        const QelGenAttribdata& a = zpifix::at<QelGenAttribdata>(ext->attributes, 0);
        EXPECT_EQ(a.value_kind, c.kind) << c.values;
        EXPECT_EQ(a.int_value, 0) << c.values;
    }
}

TEST(XmlExtendRead, TextsAreCutToTheirFieldsAndThatIsTold) {
    std::string longName(40, 'a');
    std::string longPath(300, 'p');
    std::string longText = std::string(79, 't') + "\xc3\xbc\xc3\xbc"; // 81 units
    ::testing::internal::CaptureStderr();
    ExtPtr ext = ReadExt(
        "<Units size=\"1\"><Unit name=\"" + longName + "\" type=\"0\" factor=\"1\"/></Units>"
        "<RefColors size=\"1\"><RefColor><Texture name=\"t\" fileName=\"" + longPath +
        "\"/></RefColor></RefColors>"
        "<Attribs size=\"1\"><Attrib name=\"n\"><Value type=\"3\" val=\"" + longText +
        "\"/></Attrib></Attribs>");
    // Each kind of thing a reader lets pass is told once per document: the
    // first place, and how many more (the file name and the value).
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(told.find("\"Unit\" attribute \"name\" of 40 UTF-16 units was cut to 31: its field "
                        "holds 31; 2 more like it\n"),
              std::string::npos)
        << told;
    EXPECT_EQ(ext->units[0].name[30], u'a');
    EXPECT_EQ(ext->units[0].name[31], u'\0');
    EXPECT_EQ(ext->ref_colors[0].texture.file_name[258], u'p');
    EXPECT_EQ(ext->ref_colors[0].texture.file_name[259], u'\0');
    QelGenAttribdata& a = zpifix::at<QelGenAttribdata>(ext->attributes, 0);
    EXPECT_EQ(a.text[79], u'\u00fc');
    EXPECT_EQ(a.text[80], u'\0');
    EXPECT_EQ(a.short_value, 0);
}

TEST(XmlExtendRead, MalformedListsAreRefused) {
    struct Case {
        const char* what;
        std::string inner;
    } cases[] = {
        {"more units than size",
         "<Units size=\"0\"><Unit name=\"a\" type=\"0\" factor=\"1\"/></Units>"},
        {"fewer layers than size", "<Layers size=\"2\"><Layer name=\"a\" layer_id=\"1\" "
                                   "operation=\"0\"><Ids size=\"0\"/></Layer></Layers>"},
        {"list without size", "<ItemNames><ItemName name=\"a\" type=\"0\" id=\"1\"/></ItemNames>"},
        {"negative size", "<Attribs size=\"-1\"></Attribs>"},
        {"huge size and no items", "<ExtEdges size=\"2000000000\"></ExtEdges>"},
        {"element colours under another name", "<EleColors size=\"0\"></EleColors>"},
        {"unknown item", "<SolidRegions size=\"1\"><Region/></SolidRegions>"},
        {"child inside a unit",
         "<Units size=\"1\"><Unit name=\"a\" type=\"0\" factor=\"1\"><X/></Unit></Units>"},
        {"two ids on one line",
         "<SolidRegions size=\"1\"><SolidRegion><ExtShell><SurfIds size=\"2\">7 8\n</SurfIds>"
         "</ExtShell></SolidRegion></SolidRegions>"},
        {"fewer shell ids than size",
         "<SolidRegions size=\"1\"><SolidRegion><ExtShell><SurfIds size=\"3\">7\n8\n</SurfIds>"
         "</ExtShell></SolidRegion></SolidRegions>"},
        {"more internal shells than size",
         "<SolidRegions size=\"1\"><SolidRegion><IntShells size=\"0\"><IntShell>"
         "<SurfIds size=\"0\"/></IntShell></IntShells></SolidRegion></SolidRegions>"},
        {"more vertex components than size",
         "<ExtEdges size=\"1\"><ExtEdge ID=\"1\"><StVtxComps size=\"0\"><VtxComp EdgeId=\"1\" "
         "StOrEnd=\"0\"/></StVtxComps></ExtEdge></ExtEdges>"},
        {"a point that is not one",
         "<ExtEdges size=\"1\"><ExtEdge ID=\"1\"><StXYZ>1 2</StXYZ></ExtEdge></ExtEdges>"},
        {"more facet vertices than size",
         "<FacetedReps size=\"1\"><FacetedRep id=\"1\"><FacetVertices size=\"0\">"
         "<FacetVtx Neighbour=\"1\"><XYZ>0 0 0</XYZ></FacetVtx></FacetVertices></FacetedRep>"
         "</FacetedReps>"},
        {"facet vertex without point",
         "<FacetedReps size=\"1\"><FacetedRep id=\"1\"><FacetVertices size=\"1\">"
         "<FacetVtx Neighbour=\"1\"/></FacetVertices></FacetedRep></FacetedReps>"},
        {"facet with a short index triple",
         "<FacetedReps size=\"1\"><FacetedRep id=\"1\"><FacetdataArr size=\"1\"><Facetdata>"
         "<VtxIndices>1 2</VtxIndices></Facetdata></FacetdataArr></FacetedRep></FacetedReps>"},
        {"unknown child of a representation",
         "<FacetedReps size=\"1\"><FacetedRep id=\"1\"><Mesh/></FacetedRep></FacetedReps>"},
        {"colour with two numbers",
         "<RefColors size=\"1\"><RefColor><Color>1 2</Color></RefColor></RefColors>"},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(ErrorOf([&] { ReadExt(c.inner); }, &message), INTFXML_ERR_MALFORMED) << c.what;
        EXPECT_FALSE(message.empty()) << c.what;
    }
}

TEST(XmlExtendRead, DocumentCutOffInsideTheListsLeaksNothing) {
    ExtPtr ext(zpifix::fullExtension());
    std::string lists = ListsOf(ext.get());
    // Cut inside every list in turn: whatever was read is freed.
    for (const char* at : {"<Layer ", "<Attrib ", "<IntShell>", "<FacetVtxdata>", "<VtxComp "}) {
        size_t cut = lists.find(at);
        ASSERT_NE(cut, std::string::npos) << at;
        std::string doc = "<Doc><QelIntfDataExtend>" + lists.substr(0, cut + 3);
        xmltest::Top<IntfXmlQelIntfDataExtend> top([](auto* t, IntfXmlAttributes&) {
            return t->template Make<IntfXmlQelIntfDataExtend>();
        });
        EXPECT_NE(ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "cut"); }), 0)
            << at;
    }
}
