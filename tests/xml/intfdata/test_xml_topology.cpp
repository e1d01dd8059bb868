// Faces, contours, edges, datums, quilts and the "QelIntfData" element:
// exact texts, reading back, and malformed input.
#include "xml/intfdata_fixtures.h"
#include "xml/xml_test_util.h"

#include "xml/intfdata/xml_edges.h"
#include "xml/intfdata/xml_faces.h"
#include "xml/intfdata/xml_intfdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using xmltest::ErrorOf;
using xmltest::WriteInRoot;

namespace {

// Parses `inner` as the children of a "QelIntfData" and returns the record
// read (the caller frees it); throws what the reader throws.
qel_intf_data* ReadIntfData(const std::string& inner) {
    xmltest::Top<IntfXmlQelIntfData> top(
        [](auto* t, IntfXmlAttributes&) { return t->template Make<IntfXmlQelIntfData>(); });
    xmltest::Parse(top, "<QelIntfData>" + inner + "</QelIntfData>");
    if (!top.child())
        return nullptr;
    qel_intf_data* data = top.child()->GetData();
    top.child()->Detach();
    return data;
}

using IntfDataPtr = QelIntfDataPtr;

QelSurfacedata* FaceAt(const qel_intf_data* d, int i) {
    return static_cast<QelSurfacedata*>(har_access(d->surfaces, i, nullptr, nullptr));
}
QelEdgedata* EdgeAt(const qel_intf_data* d, int i) {
    return static_cast<QelEdgedata*>(har_access(d->edges, i, nullptr, nullptr));
}
QelDatumdata* DatumAt(const qel_intf_data* d, int i) {
    return static_cast<QelDatumdata*>(har_access(d->datums, i, nullptr, nullptr));
}
QelQuiltdata* QuiltAt(const qel_intf_data* d, int i) {
    return static_cast<QelQuiltdata*>(har_access(d->quilts, i, nullptr, nullptr));
}

const char* kPlaneFace =
    "<Face ID=\"3\" orient=\"1\"><UvMin>0 0</UvMin><UvMax>1 1</UvMax>"
    "<Shape><Plane><Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z><O>0 0 0</O></Csys></Plane></Shape>";

} // namespace

// ---- exact texts ----------------------------------------------------------------------

TEST(XmlTopologyText, FaceWithContoursAndPlane) {
    QelSurfacedata* f = zpifix::face(QEL_SURF_PLANE, 7, -1, 3);
    std::string out = WriteInRoot([&] { IntfXmlFace{f}; });
    EXPECT_EQ(out, "\t<Face ID=\"7\" orient=\"-1\">\n"
                   "\t<UvMin>-1.5 0</UvMin>\n"
                   "\t<UvMax>2 0.100000000000000006</UvMax>\n"
                   "\t<XYZMin>-1 -2 -3</XYZMin>\n"
                   "\t<XYZMax>1.00000000000000003e-300 20000000000 0.428571428571428548</XYZMax>\n"
                   "\t<Shape>\n"
                   "\t<Plane>\n"
                   "\t<Csys>\n"
                   "\t<X>1 0 0</X>\n"
                   "\t<Y>0 1 0</Y>\n"
                   "\t<Z>0 0 1</Z>\n"
                   "\t<O>34 34.25 -34</O>\n"
                   "\t</Csys>\n"
                   "\t</Plane>\n"
                   "\t</Shape>\n"
                   "\t<Contours size=\"3\">\n"
                   "\t<Contour traversal=\"1\">\n"
                   "\t<EdgeIds size=\"2\">700 701 </EdgeIds>\n"
                   "\t</Contour>\n"
                   "\t<Contour traversal=\"-1\">\n"
                   "\t<EdgeIds size=\"3\">700 701 702 </EdgeIds>\n"
                   "\t</Contour>\n"
                   "\t<Contour traversal=\"0\">\n"
                   "\t<EdgeIds size=\"0\"></EdgeIds>\n"
                   "\t</Contour>\n"
                   "\t</Contours>\n"
                   "\t</Face>\n");
    qel_surfacedata_free(f);
}

TEST(XmlTopologyText, FaceWithoutContoursHasNoContoursElement) {
    QelSurfacedata* f = zpifix::face(QEL_SURF_CYLINDER, 1, 0, 0);
    std::string out = WriteInRoot([&] { IntfXmlFace(f, "F"); });
    EXPECT_EQ(out.find("Contours"), std::string::npos);
    EXPECT_EQ(out.rfind("\t<F ID=\"1\" orient=\"0\">\n", 0), 0u) << out;
    EXPECT_NE(out.find("<Cylinder>"), std::string::npos);
    EXPECT_NE(out.find("<Radius>2.5</Radius>"), std::string::npos);
    qel_surfacedata_free(f);
}

TEST(XmlTopologyText, EdgesWithAndWithoutPointsAndCurves) {
    IntfDataPtr root(zpifix::fullIntfData());
    // The bare edge: five attributes, no children.
    std::string bare = WriteInRoot([&] { IntfXmlEdge{EdgeAt(root.get(), 9)}; });
    EXPECT_EQ(bare, "\t<Edge ID=\"109\" surfId1=\"110\" surfId2=\"111\" dir1=\"1\" dir2=\"-1\">"
                    "</Edge>\n");
    // UV curve 2 only; an empty point array is still written.
    std::string second = WriteInRoot([&] { IntfXmlEdge{EdgeAt(root.get(), 10)}; });
    EXPECT_NE(second.find("\t<UvPoints size=\"0\"></UvPoints>\n"), std::string::npos) << second;
    EXPECT_NE(second.find("\t<UvCurves>\n\t<UvCurve2>\n\t<Spline>\n"), std::string::npos);
    EXPECT_EQ(second.find("UvCurve1"), std::string::npos);
    EXPECT_EQ(second.find("XYZCurve"), std::string::npos);
    // A line edge: points, UV curve 1 and the XYZ line in this order.
    std::string line = WriteInRoot([&] { IntfXmlEdge{EdgeAt(root.get(), 1)}; });
    EXPECT_EQ(line, "\t<Edge ID=\"101\" surfId1=\"102\" surfId2=\"103\" dir1=\"1\" dir2=\"-1\">\n"
                    "\t<UvPoints size=\"3\">\n"
                    "\t<SrfPoint>0 1 -0 7</SrfPoint>\n"
                    "\t<SrfPoint>0.100000000000000006 0.5 -0.5 7</SrfPoint>\n"
                    "\t<SrfPoint>0.200000000000000011 0.333333333333333315 -1 7</SrfPoint>\n"
                    "\t</UvPoints>\n"
                    "\t<UvCurves>\n"
                    "\t<UvCurve1>\n"
                    "\t<Line>\n"
                    "\t<Start>0 0 0</Start>\n"
                    "\t<End>1 1 0</End>\n"
                    "\t</Line>\n"
                    "\t</UvCurve1>\n"
                    "\t</UvCurves>\n"
                    "\t<XYZCurve>\n"
                    "\t<Line>\n"
                    "\t<Start>0 0 0</Start>\n"
                    "\t<End>2 1 0</End>\n"
                    "\t</Line>\n"
                    "\t</XYZCurve>\n"
                    "\t</Edge>\n");
}

TEST(XmlTopologyText, DatumsOfTheThreeKinds) {
    IntfDataPtr root(zpifix::fullIntfData());
    std::string csys = WriteInRoot([&] { IntfXmlDatum{DatumAt(root.get(), 2)}; });
    EXPECT_EQ(csys, "\t<Datum ID=\"202\" name=\"\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80\">\n"
                    "\t<Csys>\n"
                    "\t<X>1 0 0</X>\n"
                    "\t<Y>0 1 0</Y>\n"
                    "\t<Z>0 0 1</Z>\n"
                    "\t<O>202 202.25 -202</O>\n"
                    "\t</Csys>\n"
                    "\t</Datum>\n");
    std::string plane = WriteInRoot([&] { IntfXmlDatum{DatumAt(root.get(), 1)}; });
    EXPECT_EQ(plane.rfind("\t<Datum ID=\"201\" name=\"A&amp;B > &quot;pl&lt;ane&quot;\">\n\t<Plane>\n\t<Csys>\n",
                          0),
              0u)
        << plane;
    std::string curve = WriteInRoot([&] { IntfXmlDatum{DatumAt(root.get(), 0)}; });
    EXPECT_EQ(curve.rfind("\t<Datum ID=\"200\" name=\"curve datum\">\n\t<Curve>\n\t<CompCurve>\n"
                          "\t<Components size=\"2\">\n",
                          0),
              0u)
        << curve;
    // A datum of an unknown kind is refused: without a body it would not
    // read back.
    QelDatumdata odd{};
    odd.id = 9;
    odd.type = 7;
    std::string message;
    EXPECT_EQ(xmltest::ErrorOf([&] { WriteInRoot([&] { IntfXmlDatum{&odd}; }); }, &message),
              INTFXML_ERR_RECORD);
    EXPECT_NE(message.find("datum 9 \"\": its type 7 is none of"), std::string::npos) << message;
}

TEST(XmlTopologyText, EmptyRootAndEmptyQuilt) {
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), QEL_OK);
    root->accuracy_type = 1;
    root->accuracy = 0.5;
    EXPECT_EQ(WriteInRoot([&] { IntfXmlQelIntfData(root, nullptr); }),
              "\t<QelIntfData>\n"
              "\t<Accuracy type=\"1\" value=\"0.5\"></Accuracy>\n"
              "\t<Outline>\n"
              "\t<MinPoint>0 0 0</MinPoint>\n"
              "\t<MaxPoint>0 0 0</MaxPoint>\n"
              "\t</Outline>\n"
              "\t</QelIntfData>\n");
    zpifix::appendQuilt(root, 4, {});
    EXPECT_EQ(WriteInRoot([&] { IntfXmlQuilt{QuiltAt(root, 0)}; }),
              "\t<Quilt ID=\"4\">\n\t<Faces size=\"0\"></Faces>\n\t</Quilt>\n");
    qel_intf_data_free(root);
}

TEST(XmlTopologyText, WriterRefusesInconsistentRecords) {
    // A contour array of the wrong element size, and a quilt with a hole.
    QelSurfacedata* f = zpifix::face(QEL_SURF_PLANE, 1, 1, 0);
    f->contours = reinterpret_cast<QelContourdata*>(xar_alloc(1, 4, 1));
    EXPECT_EQ(ErrorOf([&] { WriteInRoot([&] { IntfXmlFace{f}; }); }), INTFXML_ERR_RECORD);
    xar_free(f->contours);
    QelQuiltdata q{};
    q.faces = zpifix::xar_of<QelSurfacedata*>({f, nullptr});
    EXPECT_EQ(ErrorOf([&] { WriteInRoot([&] { IntfXmlQuilt{&q}; }); }), INTFXML_ERR_RECORD);
    xar_free(q.faces);
    qel_surfacedata_free(f);
}

// ---- reading -----------------------------------------------------------------------------

TEST(XmlTopologyRead, WholeRecordWrittenAndReadBackIsEqual) {
    IntfDataPtr original(zpifix::fullIntfData());
    std::string text = WriteInRoot([&] { IntfXmlQelIntfData(original.get(), nullptr); });
    size_t b = text.find("<QelIntfData>") + std::string("<QelIntfData>").size();
    size_t e = text.rfind("</QelIntfData>");
    IntfDataPtr back(ReadIntfData(text.substr(b, e - b)));
    zpifix::expectSameIntfData(original.get(), back.get());
    // Writing what was read gives the same text again.
    EXPECT_EQ(WriteInRoot([&] { IntfXmlQelIntfData(back.get(), nullptr); }), text);
}

TEST(XmlTopologyRead, AttributesAreTakenOnlyAtTheirPositions) {
    IntfDataPtr d(ReadIntfData("<Accuracy value=\"0.5\" type=\"2\"/>"
                               "<Quilts><Quilt><Faces size=\"0\"/></Quilt>"
                               "<Quilt X=\"1\" ID=\"5\"><Faces size=\"0\"/></Quilt></Quilts>"
                               "<Faces>" +
                               std::string(kPlaneFace) +
                               "</Face><Face orient=\"-1\"><UvMin>0 0</UvMin><UvMax>1 1</UvMax>"
                               "<Shape><Plane><Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z>"
                               "<O>0 0 0</O></Csys></Plane></Shape></Face></Faces>"));
    EXPECT_EQ(d->accuracy_type, 0u);
    EXPECT_EQ(d->accuracy, 0.0);
    EXPECT_EQ(QuiltAt(d.get(), 0)->id, 0xFFFFFFFFu);
    EXPECT_EQ(QuiltAt(d.get(), 1)->id, 0xFFFFFFFFu);
    EXPECT_EQ(xar_count(QuiltAt(d.get(), 1)->faces), 0);
    // "orient" at position 0 is not read: the face is unoriented, id -1.
    EXPECT_EQ(FaceAt(d.get(), 1)->orientation, 0);
    EXPECT_EQ(FaceAt(d.get(), 1)->id, 0xFFFFFFFFu);
    EXPECT_EQ(FaceAt(d.get(), 0)->id, 3u);
    EXPECT_EQ(FaceAt(d.get(), 0)->orientation, 1);
    // No "Outline": a zero box.
    for (double v : d->outline)
        EXPECT_EQ(v, 0.0);
}

TEST(XmlTopologyRead, ContoursAndEdgeIds) {
    IntfDataPtr d(ReadIntfData(
        "<Faces>" + std::string(kPlaneFace) +
        "<Contours size=\"2\"><Contour traversal=\"-1\"><EdgeIds size=\"3\">4\t5\n6 7</EdgeIds>"
        "</Contour><Contour><EdgeIds>1 2 3</EdgeIds></Contour></Contours></Face></Faces>"));
    QelSurfacedata* f = FaceAt(d.get(), 0);
    ASSERT_EQ(xar_count(f->contours), 2);
    EXPECT_EQ(f->contours[0].traversal, -1);
    ASSERT_EQ(xar_count(f->contours[0].edge_ids), 3);
    EXPECT_EQ(f->contours[0].edge_ids[2], 6);
    // Without "size" no id is read, and the traversal defaults to none.
    EXPECT_EQ(f->contours[1].traversal, 0);
    EXPECT_EQ(xar_count(f->contours[1].edge_ids), 0);
}

TEST(XmlTopologyRead, DatumNamesAreCutOnACharacterBoundaryAndThatIsTold) {
    // 30 ASCII characters, then a character outside the BMP (two units):
    // only 31 units fit, so the pair is dropped whole.
    std::string name(30, 'n');
    name += "\xf0\x9f\x98\x80zz";
    ::testing::internal::CaptureStderr();
    IntfDataPtr d(ReadIntfData("<Datums><Datum ID=\"4\" name=\"" + name +
                               "\">\n<Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z><O>1 2 3</O>"
                               "</Csys>\n</Datum><Datum><Curve><Point><Position>1 2 3</Position>"
                               "</Point></Curve></Datum></Datums>"));
    // Told at the start tag that holds the name (line 2), not at its end.
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(told.rfind("document \"test\", line 2, column ", 0), 0u) << told;
    EXPECT_NE(told.find("\"Datum\" attribute \"name\" of 34 UTF-16 units was cut to 30"),
              std::string::npos)
        << told;
    QelDatumdata* datum = DatumAt(d.get(), 0);
    EXPECT_EQ(datum->type, QEL_DATUM_CSYS);
    EXPECT_EQ(datum->name[29], u'n');
    EXPECT_EQ(datum->name[30], u'\0');
    EXPECT_EQ(datum->body.frame.origin[2], 3.0);
    QelDatumdata* second = DatumAt(d.get(), 1);
    EXPECT_EQ(second->id, 0xFFFFFFFFu);
    EXPECT_EQ(second->type, QEL_DATUM_CURVE);
    EXPECT_EQ(second->name[0], u'\0');
    EXPECT_EQ(second->body.curve.kind, QEL_CURVE_POINT);
}

TEST(XmlTopologyRead, EmptyCurveElementsOfEarlierWritersAreToldOrRefusedAtTheirLine) {
    // Earlier writers wrote a curve of a kind without an element as an
    // empty element. An edge's reads as no curve, told once per document
    // with the first place and how many more; a datum's is refused at its
    // line, as a surface's is.
    const std::string edge = "<Edge ID=\"5\" surfId1=\"1\" surfId2=\"2\" dir1=\"1\" dir2=\"1\">\n";
    ::testing::internal::CaptureStderr();
    IntfDataPtr d(ReadIntfData("<Accuracy type=\"1\" value=\"1\"/><Outline><MinPoint>0 0 0</MinPoint>"
                               "<MaxPoint>1 1 1</MaxPoint></Outline><Edges>\n" +
                               edge + "<UvCurves><UvCurve1></UvCurve1></UvCurves>" +
                               "<XYZCurve></XYZCurve></Edge>\n" + edge +
                               "<XYZCurve></XYZCurve></Edge></Edges>"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "document \"test\", line 4, column 32: edge 5: \"UvCurve1\" is empty: the edge is "
              "read without that curve; 2 more like it\n");
    ASSERT_EQ(har_total(d->edges), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(EdgeAt(d.get(), i)->id, 5u);
        EXPECT_EQ(EdgeAt(d.get(), i)->uv_curve1, nullptr);
        EXPECT_EQ(EdgeAt(d.get(), i)->xyz_curve, nullptr);
    }
    std::string message;
    EXPECT_EQ(ErrorOf([] { ReadIntfData("<Datums><Datum ID=\"6\" name=\"d\">\n<Curve></Curve>"
                                        "</Datum></Datums>"); },
                      &message),
              INTFXML_ERR_MALFORMED);
    EXPECT_NE(message.find("line 3, column 16: \"Curve\" of \"Datum\" is empty: it holds no curve"),
              std::string::npos)
        << message;
}

TEST(XmlTopologyRead, FacesOfKindsWithoutAnElementReadWithoutAShape) {
    // Faces of the surface kinds that have no element are refused, naming
    // the face; an empty "Shape" (a face of kind 0, as earlier writers
    // wrote those kinds) reads back as a face of kind 0 with a zeroed
    // shape, keeping everything else, between the faces around it.
    std::string faces;
    for (uint32_t kind : {35u, 39u, 46u, 47u}) {
        QelSurfacedata* f = zpifix::face(QEL_SURF_PLANE, int(kind), -1, 2);
        f->kind = kind;
        f->xyz_max[1] = kind;
        std::string refused;
        EXPECT_EQ(xmltest::ErrorOf([&] { WriteInRoot([&] { IntfXmlFace{f}; }); }, &refused),
                  INTFXML_ERR_RECORD);
        EXPECT_NE(refused.find("face " + std::to_string(kind) + ": its surface kind "),
                  std::string::npos)
            << refused;
        f->kind = 0;
        std::string text = WriteInRoot([&] { IntfXmlFace{f}; });
        EXPECT_NE(text.find("<Shape></Shape>"), std::string::npos) << text;
        faces += text;
        qel_surfacedata_free(f);
    }
    IntfDataPtr d(ReadIntfData("<Faces>" + std::string(kPlaneFace) + "</Face>" + faces +
                               std::string(kPlaneFace) + "</Face></Faces>"));
    int32_t count = 0;
    qel_intf_data_surface_count(d.get(), &count);
    ASSERT_EQ(count, 6);
    EXPECT_EQ(FaceAt(d.get(), 0)->kind, uint32_t(QEL_SURF_PLANE));
    EXPECT_EQ(FaceAt(d.get(), 5)->kind, uint32_t(QEL_SURF_PLANE));
    const QelSurfaceshapedata zero{};
    int i = 1;
    for (uint32_t kind : {35u, 39u, 46u, 47u}) {
        const QelSurfacedata* f = FaceAt(d.get(), i++);
        EXPECT_EQ(f->kind, 0u);
        EXPECT_EQ(f->id, kind);
        EXPECT_EQ(f->orientation, -1);
        EXPECT_EQ(f->xyz_max[1], double(kind));
        EXPECT_EQ(std::memcmp(&f->shape, &zero, sizeof zero), 0);
        ASSERT_EQ(xar_count(f->contours), 2) << kind;
    }
}

TEST(XmlTopologyRead, MalformedContentIsRefused) {
    const std::string csys = "<Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z><O>0 0 0</O></Csys>";
    struct Case {
        const char* what;
        std::string inner;
    } cases[] = {
        {"face without shape", "<Faces><Face><UvMin>0 0</UvMin><UvMax>1 1</UvMax></Face></Faces>"},
        {"shape with an unknown kind",
         "<Faces><Face><UvMin>0 0</UvMin><UvMax>1 1</UvMax><Shape><Sphere/></Shape></Face>"
         "</Faces>"},
        {"unknown child of a face", "<Faces>" + std::string(kPlaneFace) + "<Colour/></Face></Faces>"},
        {"more contours than size",
         "<Faces>" + std::string(kPlaneFace) +
             "<Contours size=\"1\"><Contour><EdgeIds size=\"0\"/></Contour>"
             "<Contour><EdgeIds size=\"0\"/></Contour></Contours></Face></Faces>"},
        {"fewer contours than size",
         "<Faces>" + std::string(kPlaneFace) +
             "<Contours size=\"2\"><Contour><EdgeIds size=\"0\"/></Contour></Contours></Face>"
             "</Faces>"},
        {"contour without edge ids",
         "<Faces>" + std::string(kPlaneFace) +
             "<Contours size=\"1\"><Contour/></Contours></Face></Faces>"},
        {"fewer ids than size",
         "<Faces>" + std::string(kPlaneFace) +
             "<Contours size=\"1\"><Contour><EdgeIds size=\"4\">1 2</EdgeIds></Contour></Contours>"
             "</Face></Faces>"},
        {"an id that is not a number",
         "<Faces>" + std::string(kPlaneFace) +
             "<Contours size=\"1\"><Contour><EdgeIds size=\"1\">x</EdgeIds></Contour></Contours>"
             "</Face></Faces>"},
        {"quilt with a huge size and no faces",
         "<Quilts><Quilt ID=\"1\"><Faces size=\"2000000000\"></Faces></Quilt></Quilts>"},
        {"quilt with more faces than size",
         "<Quilts><Quilt ID=\"1\"><Faces size=\"0\">" + std::string(kPlaneFace) +
             "</Face></Faces></Quilt></Quilts>"},
        {"quilt list without size", "<Quilts><Quilt ID=\"1\"><Faces/></Quilt></Quilts>"},
        {"edge with an unknown child", "<Edges><Edge ID=\"1\"><Foo/></Edge></Edges>"},
        {"edge points without size", "<Edges><Edge ID=\"1\"><UvPoints/></Edge></Edges>"},
        {"datum without body", "<Datums><Datum ID=\"1\" name=\"d\"></Datum></Datums>"},
        {"datum with two bodies", "<Datums><Datum ID=\"1\">" + csys + csys + "</Datum></Datums>"},
        {"unknown child of the root", "<Accuracy type=\"1\" value=\"1\"/><Solids/>"},
        {"two outlines",
         "<Outline><MinPoint>0 0 0</MinPoint><MaxPoint>0 0 0</MaxPoint></Outline>"
         "<Outline><MinPoint>0 0 0</MinPoint><MaxPoint>0 0 0</MaxPoint></Outline>"},
        {"accuracy that is not a number", "<Accuracy type=\"one\" value=\"1\"/>"},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(ErrorOf([&] { IntfDataPtr d(ReadIntfData(c.inner)); }, &message),
                  INTFXML_ERR_MALFORMED)
            << c.what;
        EXPECT_FALSE(message.empty()) << c.what;
    }
}

TEST(XmlTopologyRead, ItemsTheWritersRefuseThatEarlierVersionsWroteAreReadAndTold) {
    // Read as they stand and told, with the item and its place; written
    // again, refused naming the item.
    const struct {
        const char* what;
        std::string inner;
        const char* says; // after the place: its item's end tag
    } cases[] = {
        {"spline whose parameters do not increase",
         "<Edges><Edge ID=\"1\"><XYZCurve><Spline><Params size=\"2\">1 0</Params>"
         "<Points size=\"2\"><P>0 0 0</P><P>1 1 1</P></Points><Tangents size=\"2\"><V>1 0 0</V>"
         "<V>0 1 0</V></Tangents></Spline></XYZCurve></Edge></Edges>",
         "column 217: edge 1, its XYZ curve: a spline whose parameter 1 (0) does not increase"},
        {"B-spline of degree 0",
         "<Datums><Datum ID=\"2\" name=\"d\"><Curve><Bspline><Degree>0</Degree>"
         "<Params size=\"4\">0 0 1 1</Params><CPoints size=\"2\"><P>0 0 0</P><P>1 1 1</P>"
         "</CPoints></Bspline></Curve></Datum></Datums>",
         "column 195: datum 2 \"d\", its curve: a B-spline of degree 0"},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        IntfDataPtr d(ReadIntfData(c.inner));
        const std::string told = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(d) << c.what;
        EXPECT_NE(told.find(c.says), std::string::npos) << told;
        EXPECT_NE(told.find("read as it stands; the writers refuse it\n"), std::string::npos)
            << told;
        std::string message;
        EXPECT_EQ(ErrorOf([&] { WriteInRoot([&] { IntfXmlQelIntfData(d.get(), nullptr); }); },
                          &message),
                  INTFXML_ERR_RECORD)
            << c.what;
        EXPECT_NE(message.find(std::strchr(c.says, ':') + 2), std::string::npos) << message;
    }
}

TEST(XmlTopologyRead, DocumentCutOffInsideAFaceLeaksNothing) {
    // Everything half built (the face, its shape, its contours, the
    // interface data) is released when the parse fails.
    std::string inner = "<Faces>" + std::string(kPlaneFace) +
                        "<Contours size=\"1\"><Contour><EdgeIds size=\"1\">5</EdgeIds>";
    std::string doc = "<Doc><QelIntfData>" + inner;
    xmltest::Top<IntfXmlQelIntfData> top(
        [](auto* t, IntfXmlAttributes&) { return t->template Make<IntfXmlQelIntfData>(); });
    EXPECT_EQ(ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "cut"); }),
              INTFXML_ERR_PARSE);
}
