// The interface-data document written from interface objects: a model made
// in cache mode and written from its objects gives the very document that
// the same model made in record mode gives from its host records; the
// places where objects and records say things differently; objects no
// document could carry.
#include "xml/xml_test_util.h"

#include "xml/intfdata_fixtures.h"
#include "kernel/geometry/geometry_test_util.h"
#include "kernel/model/every_kind_model.h"
#include "kernel/model/model.h"
#include "xml/geometry/xml_curves.h"
#include "xml/geometry/xml_kpi_geometry.h"
#include "xml/intfdata/xml_kpi_writer.h"
#include "xml/intfdata/xml_zpi.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

std::string TempPath(const std::string& tag) {
    return ::testing::TempDir() + "zpi_kpi_" + tag + "_" + std::to_string(getpid()) + ".xml";
}

// The document after its header and the empty line before its root.
std::string Body(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    EXPECT_EQ(text.substr(0, kHeader.size() + 1), kHeader + "\n");
    text.erase(0, kHeader.size() + 1);
    return text;
}

using namespace everykind;

qel_intf_data* IntfDataOf(const xrchandle<KWPIModel>& model) {
    return CastToImpl<KWPIModel_i>(model.get(), 1)->GetIntfData();
}

using ExtensionPtr = FreePtr<qel_intf_data_extend, zpifix::freeExtension>;

// ---- objects the kernel never makes -----------------------------------------------------

struct OddCurve : KPICurve {
    KPICurveType GetPICurveType() override { return KPICurveType(9); }
    KCommon_i* _CastToImpl() override { return nullptr; }
};

struct OddSurface : KPISurface {
    KPISurfType GetPISurfaceType() override { return KPISurfType(11); }
    KCommon_i* _CastToImpl() override { return nullptr; }
};

// A datum of an item type that has no datum element.
struct EdgeTypedDatum : KPIDatum {
    int GetId() override { return 6; }
    KPIItemType GetItemType() override { return KPI_EDGE; }
    xstring GetName() override { return xstring("odd"); }
    xrchandle<KCsys> GetCsys() override { return MakeCsys(1, 1, 1); }
    xrchandle<KPICurve> GetCurve() override { return nullptr; }
    xrchandle<KPIPlane> GetPlane() override { return nullptr; }
    KCommon_i* _CastToImpl() override { return nullptr; }
};

// A spline whose lists disagree in length.
struct UnevenSpline : KPISpline {
    KPICurveType GetPICurveType() override { return KPICURV_SPLINE; }
    xrchandle<KPoint3DList> GetPoints() override { return Points({{0, 0, 0}, {1, 0, 0}}); }
    xrchandle<KVector3DList> GetTangents() override { return Vectors({{1, 0, 0}}); }
    xrchandle<xrealsequence> GetParameters() override { return Reals({0, 1}); }
    KCommon_i* _CastToImpl() override { return nullptr; }
};

std::string WriteInRoot(const std::function<void()>& body) { return xmltest::WriteInRoot(body); }

} // namespace

TEST(KPIWriter, CacheModeObjectsWriteTheRecordModeDocument) {
    // The session lives for the process.
    KGetPISession();
    const int64_t live = xobject_live_count();
    const std::string fromObjects = TempPath("objects"), fromRecords = TempPath("records"),
                      fromRecordObjects = TempPath("recobjects");
    ExtensionPtr ext(zpifix::fullExtension());
    {
        ScopedStorageMode cache(0);
        xrchandle<KWPIModel> model = BuildModel();
        ASSERT_EQ(IntfDataOf(model), nullptr);
        IntfXmlKPIWriter(fromObjects.c_str(), model, ext.get());
    }
    qel_intf_data* read = nullptr;
    qel_intf_data_extend* readExt = nullptr;
    {
        ScopedStorageMode record(1);
        xrchandle<KWPIModel> model = BuildModel();
        qel_intf_data* data = IntfDataOf(model);
        ASSERT_NE(data, nullptr);
        IntfXmlZPI(fromRecords.c_str(), data, ext.get());
        // Objects over host records write the same document too.
        IntfXmlKPIWriter(fromRecordObjects.c_str(), model, ext.get());

        // And the readers take the objects' document back into the very
        // records.
        IntfXmlZPI::Read(fromObjects.c_str(), &read, &readExt);
        zpifix::expectSameIntfData(data, read);
        zpifix::expectSameExtension(ext.get(), readExt);
    }
    const std::string doc = Body(fromRecords);
    EXPECT_EQ(Body(fromObjects), doc);
    EXPECT_EQ(Body(fromRecordObjects), doc);
    // Every kind element is there.
    for (const char* kind :
         {"<Point>", "<Line>", "<Arc>", "<Ellipse>", "<Spline>", "<Bspline>", "<CompCurve>",
          "<Plane>", "<Cylinder>", "<Cone>", "<Torus>", "<SrfRevolved>", "<RuledSrf>", "<TabCyl>",
          "<FilletSrf>", "<SplSrf>", "<BsplSrf>", "<CylSplSrf>", "<Quilt ID=\"50\">",
          "<UvPoints size=\"2\">", "<Weights size=\"3\">", "<QelIntfDataExtend>",
          "dir1=\"2\" dir2=\"1\"", "dir1=\"0\" dir2=\"2\""})
        EXPECT_NE(doc.find(kind), std::string::npos) << kind;
    qel_intf_data_free(read);
    qel_intf_data_extend_block_free(readExt);
    for (const std::string& p : {fromObjects, fromRecords, fromRecordObjects})
        std::remove(p.c_str());
    EXPECT_EQ(xobject_live_count(), live);
}

TEST(KPIWriter, EmptyModelAndTheMapsOfObjectValues) {
    ScopedStorageMode cache(0);
    xrchandle<KWPISession> s = KGetPISession();
    const std::string path = TempPath("empty");
    {
        // No outline set: zeros; no items: only "Accuracy" and "Outline".
        xrchandle<KWPIModel> model = s->CreatePIModel(KACCURACY_ABSOLUTE, 0.5);
        IntfXmlKPIWriter(path.c_str(), model, nullptr);
        EXPECT_EQ(Body(path), "\t<ZPI>\n"
                              "\t<QelIntfData>\n"
                              "\t<Accuracy type=\"2\" value=\"0.5\"></Accuracy>\n"
                              "\t<Outline>\n"
                              "\t<MinPoint>0 0 0</MinPoint>\n"
                              "\t<MaxPoint>0 0 0</MaxPoint>\n"
                              "\t</Outline>\n"
                              "\t</QelIntfData>\n"
                              "\t</ZPI>");
        std::remove(path.c_str());
    }
    EXPECT_EQ(KPIAccuracyTypeToHost(KACCURACY_RELATIVE), 1u);
    EXPECT_EQ(KPIAccuracyTypeToHost(KACCURACY_UNDEFINED), 0u);
    EXPECT_EQ(KPIEdgeDirToHost(KTRAV_NONE), 0u);
    EXPECT_EQ(KPIEdgeDirToHost(KTRAV_SAME), 1u);
    EXPECT_EQ(KPIEdgeDirToHost(KTRAV_OPPOSITE), 2u);

    xrchandle<KWPIModel> model = s->CreatePIModel(KACCURACY_RELATIVE, 0.5);
    // A negative face with an external and an internal loop; a spline face
    // without loops.
    xrchandle<KPILoopList> loops(KPILoopList::create());
    loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, Ints({1, 2, 3})));
    loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_INTERNAL, Ints({7})));
    xrchandle<KPIFace> face =
        model->CreatePIFace(9, UvBox(0, 0, 1, 2), KPISURFACE_ORIENT_NEGATIVE,
                            S(s->CreatePIPlane(MakeCsys(0, 0, 0))), loops);
    std::string text = WriteInRoot([&] { IntfXmlKPIFace(face, nullptr); });
    EXPECT_NE(text.find("<Face ID=\"9\" orient=\"-1\">"), std::string::npos) << text;
    EXPECT_NE(text.find("<XYZMin>0 0 0</XYZMin>"), std::string::npos) << text;
    EXPECT_NE(text.find("<Contours size=\"2\">\n\t<Contour traversal=\"1\">\n"
                        "\t<EdgeIds size=\"3\">1 2 3 </EdgeIds>\n\t</Contour>\n"
                        "\t<Contour traversal=\"-1\">"),
              std::string::npos)
        << text;
    xrchandle<KPIFace> bare = model->CreatePIFace(10, UvBox(0, 0, 1, 1), KPISURFACE_ORIENT_NONE,
                                                  S(SplineSurface(s.get())), nullptr);
    text = WriteInRoot([&] { IntfXmlKPIFace(bare, nullptr); });
    EXPECT_NE(text.find("orient=\"0\""), std::string::npos);
    EXPECT_EQ(text.find("Contours"), std::string::npos) << text;

    // An edge with only its first UV point list has no "UvPoints"; one with
    // only its second UV curve has "UvCurves" holding only "UvCurve2"; the
    // traversals are written as they are.
    xrchandle<KPIEdge> half = model->CreatePIEdgeWithPoints(
        1, 1, -1, UvPoints({{0, 0}}), nullptr, KTRAV_SAME, KTRAV_OPPOSITE);
    text = WriteInRoot([&] { IntfXmlKPIEdge(half, nullptr); });
    EXPECT_EQ(text, "\t<Edge ID=\"1\" surfId1=\"1\" surfId2=\"-1\" dir1=\"1\" dir2=\"2\"></Edge>\n");
    xrchandle<KPIEdge> second = model->CreatePIEdgeWithXYZandUVCurves(
        2, 1, 2, KTRAV_NONE, KTRAV_NONE, nullptr, nullptr,
        C(s->CreatePILine(P(0, 0, 0), P(1, 1, 0))));
    text = WriteInRoot([&] { IntfXmlKPIEdge(second, nullptr); });
    EXPECT_NE(text.find("<UvCurves>\n\t<UvCurve2>\n\t<Line>"), std::string::npos) << text;
    EXPECT_EQ(text.find("UvCurve1"), std::string::npos);

    // A datum of another item type is refused: a "Datum" without its body
    // would not read back.
    xrchandle<KPIDatum> odd(new EdgeTypedDatum);
    std::string message;
    EXPECT_EQ(xmltest::ErrorOf([&] { WriteInRoot([&] { IntfXmlKPIDatum(odd, nullptr); }); },
                               &message),
              INTFXML_ERR_RECORD);
    EXPECT_NE(message.find("datum 6 \"odd\": its type -1 is none of"), std::string::npos) << message;
}

TEST(KPIGeometry, WeightedControlPointsAndValueElements) {
    ScopedStorageMode cache(0);
    xrchandle<KWPISession> s = KGetPISession();
    xrchandle<KPoint3DList> points = Points({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    xrchandle<KPIBspline> weighted =
        s->CreatePIBspline(2, Reals({0, 0, 0, 1, 1, 1}), Reals({2, 1, 1}), points);
    std::string text = WriteInRoot([&] { IntfXmlKPIBspline(weighted, "B"); });
    EXPECT_NE(text.find("<Weights size=\"3\">2 1 1 </Weights>"), std::string::npos) << text;
    EXPECT_NE(text.find("<P>2 4 6</P>"), std::string::npos) << text;
    // The object's own points stay as they were: a second write is the same.
    EXPECT_EQ(WriteInRoot([&] { IntfXmlKPIBspline(weighted, "B"); }), text);
    xrchandle<KPIBspline> plain = s->CreatePIBspline(2, Reals({0, 0, 0, 1, 1, 1}), nullptr, points);
    text = WriteInRoot([&] { IntfXmlKPICurve(C(plain), nullptr); });
    EXPECT_NE(text.find("<P>1 2 3</P>"), std::string::npos) << text;
    EXPECT_EQ(text.find("Weights"), std::string::npos);

    // Null points and UV points are zeros; a null list is empty.
    EXPECT_EQ(WriteInRoot([] {
                  IntfXmlKPIQel3dPnt(nullptr, "P");
                  IntfXmlKPIQelUvParam(nullptr, nullptr);
                  IntfXmlKPIQelIntSeq(Ints({1, 2, 3}), "I");
                  IntfXmlKPIQelRealSeq(nullptr, "R");
                  IntfXmlKPIQelPntList(nullptr, "L");
              }),
              "\t<P>0 0 0</P>\n\t<QelUvParam>0 0</QelUvParam>\n\t<I size=\"3\">1 2 3 </I>\n"
              "\t<R size=\"0\"></R>\n\t<L size=\"0\"></L>\n");

    // A surface type without an element gives an empty element; a curve
    // type without one is refused, as its empty element would read back as
    // no curve.
    xrchandle<KPISurface> oddSurface(new OddSurface);
    EXPECT_EQ(WriteInRoot([&] { IntfXmlKPISurface(oddSurface, "Shape"); }),
              "\t<Shape></Shape>\n");
    xrchandle<KPICurve> odd(new OddCurve);
    EXPECT_EQ(xmltest::ErrorOf([&] { WriteInRoot([&] { IntfXmlKPICurve(odd, nullptr); }); }),
              INTFXML_ERR_RECORD);
}

TEST(KPIWriter, ObjectsNoDocumentCanCarryAreRefusedAndLeaveNoFile) {
    ScopedStorageMode cache(0);
    xrchandle<KWPISession> s = KGetPISession();
    xrchandle<KPISpline> uneven(new UnevenSpline);
    EXPECT_EQ(xmltest::ErrorOf([&] { WriteInRoot([&] { IntfXmlKPISpline(uneven, nullptr); }); }),
              INTFXML_ERR_RECORD);
    // Refused naming the item and the place in it, as the record checks do.
    xrchandle<KWPIModel> fillet = s->CreatePIModel(KACCURACY_RELATIVE, 0.5);
    fillet->AddPIFace(fillet->CreatePIFace(
        4, UvBox(0, 0, 1, 1), KPISURFACE_ORIENT_NONE,
        S(s->CreatePIFilletSrf(Spline(s.get(), 0), uneven, Spline(s.get(), 1))),
        xrchandle<KPILoopList>(KPILoopList::create())));
    std::string message;
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlKPIWriter(TempPath("fillet").c_str(), fillet, nullptr); },
                               &message),
              INTFXML_ERR_RECORD);
    EXPECT_NE(message.find("face 4, its centre spline: fillet surface centre: 2 parameters, 2 "
                           "points and 1 tangents"),
              std::string::npos)
        << message;

    // Composite curves nested deeper than a document may carry.
    xrchandle<KPICurve> curve = C(s->CreatePILine(P(0, 0, 0), P(1, 0, 0)));
    for (int i = 0; i < INTFXML_MAX_CURVE_NESTING + 2; ++i) {
        xrchandle<KPICurveList> one(KPICurveList::create());
        one->Append(curve);
        curve = C(s->CreatePICompositeCurve(one, Ints({0})));
    }
    xrchandle<KWPIModel> model = s->CreatePIModel(KACCURACY_RELATIVE, 0.5);
    model->AddPIDatum(model->CreatePIDatum(1, "deep", nullptr, curve, nullptr));
    const std::string path = TempPath("refused");
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlKPIWriter(path.c_str(), model, nullptr); }),
              INTFXML_ERR_RECORD);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlKPIWriter(path.c_str(), nullptr, nullptr); }),
              INTFXML_ERR_RECORD);
    EXPECT_EQ(xmltest::ErrorOf([&] { IntfXmlKPIWriter("", model, nullptr); }), INTFXML_ERR_OPEN);
}
