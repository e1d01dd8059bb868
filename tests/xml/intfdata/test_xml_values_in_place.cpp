// Children that readers take in place rather than through readers of their
// own: an edge's "UvCurves" and curves (Point, Line, Arc and Ellipse read
// in the edge, other kinds by their kind reader), a face's UV and point
// values and contours, the coordinate systems of surfaces, the sequences
// and points of B-spline surfaces. What they
// read, and the errors for children that are repeated, unknown, incomplete,
// malformed or hold elements of their own.
#include "xml/xml_test_util.h"

#include "xmemory.h"
#include "kernel/records/qel_routines.h"
#include "xml/intfdata/xml_intfdata.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using xmltest::ErrorOf;

namespace {

using IntfDataPtr = QelIntfDataPtr;

// The record read from `inner` as the children of a "QelIntfData".
IntfDataPtr Read(const std::string& inner) {
    xmltest::Top<IntfXmlQelIntfData> top(
        [](auto* t, IntfXmlAttributes&) { return t->template Make<IntfXmlQelIntfData>(); });
    xmltest::Parse(top, "<QelIntfData>" + inner + "</QelIntfData>");
    qel_intf_data* data = top.child() ? top.child()->GetData() : nullptr;
    if (top.child())
        top.child()->Detach();
    return IntfDataPtr(data);
}

const QelEdgedata& EdgeAt(const qel_intf_data* d, int i) {
    return *static_cast<const QelEdgedata*>(har_access(d->edges, i, nullptr, nullptr));
}
const QelSurfacedata& FaceAt(const qel_intf_data* d, int i) {
    return *static_cast<const QelSurfacedata*>(har_access(d->surfaces, i, nullptr, nullptr));
}

std::string Edge(const std::string& body) {
    return "<Edges><Edge ID=\"7\" surfId1=\"1\" surfId2=\"2\" dir1=\"1\" dir2=\"-1\">" + body +
           "</Edge></Edges>";
}

const char* const kLine = "<Line><Start>0 0 0</Start><End>1 0 0</End></Line>";
const char* const kCsys = "<Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z><O>0 0 0</O></Csys>";

std::string Face(const std::string& values, const std::string& rest = "") {
    return "<Faces><Face ID=\"3\" orient=\"1\">" + values + "<Shape><Plane>" + kCsys +
           "</Plane></Shape>" + rest + "</Face></Faces>";
}

} // namespace

TEST(XmlValuesInPlace, EdgeCurvesOfEveryKindReadIntoTheRecord) {
    IntfDataPtr d(Read(
        Edge("<UvCurves>\n\t<UvCurve1>\n\t<Point>\n\t<Anywhere>1 2 3</Anywhere>\n\t</Point>\n\t"
             "</UvCurve1>\n\t<UvCurve2><Arc><Vector1>1 0 0</Vector1><Vector2>0 1 0</Vector2>"
             "<Origin>5 6 7</Origin><StartAngle>0.5</StartAngle><EndAngle>1.5</EndAngle>"
             "<Radius>2</Radius></Arc></UvCurve2></UvCurves>"
             "<XYZCurve><Ellipse><Center>1 1 1</Center><MajorAxis>1 0 0</MajorAxis>"
             "<MinorAxis>0 1 0</MinorAxis><MajorLen>3</MajorLen><MinorLen>2</MinorLen>"
             "<StartAngle>0</StartAngle><EndAngle>6</EndAngle></Ellipse></XYZCurve>") +
        Edge("<XYZCurve><Spline><Params size=\"2\">0 1</Params><Points size=\"2\"><P>0 0 0</P>"
             "<P>1 1 1</P></Points><Tangents size=\"2\"><V>1 0 0</V><V>0 1 0</V></Tangents>"
             "</Spline></XYZCurve><UvCurves><UvCurve2></UvCurve2></UvCurves>")));
    const QelEdgedata& e = EdgeAt(d.get(), 0);
    EXPECT_EQ(e.id, 7u);
    EXPECT_EQ(e.face_ids[1], 2u);
    EXPECT_EQ(e.directions[1], 0xFFFFFFFFu);
    EXPECT_EQ(e.uv_points, nullptr);
    ASSERT_NE(e.uv_curve1, nullptr);
    EXPECT_EQ(e.uv_curve1->kind, uint32_t(QEL_CURVE_POINT));
    EXPECT_EQ(e.uv_curve1->point.point[2], 3.0);
    ASSERT_NE(e.uv_curve2, nullptr);
    EXPECT_EQ(e.uv_curve2->kind, uint32_t(QEL_CURVE_ARC));
    EXPECT_EQ(e.uv_curve2->arc.origin[1], 6.0);
    EXPECT_EQ(e.uv_curve2->arc.end_angle, 1.5);
    EXPECT_EQ(e.uv_curve2->arc.radius, 2.0);
    ASSERT_NE(e.xyz_curve, nullptr);
    EXPECT_EQ(e.xyz_curve->kind, uint32_t(QEL_CURVE_ELLIPSE));
    EXPECT_EQ(e.xyz_curve->ellipse.center[0], 1.0);
    EXPECT_EQ(e.xyz_curve->ellipse.minor_length, 2.0);
    EXPECT_EQ(e.xyz_curve->ellipse.end_angle, 6.0);
    // A kind with a reader of its own, under an edge; an empty curve is none.
    const QelEdgedata& s = EdgeAt(d.get(), 1);
    ASSERT_NE(s.xyz_curve, nullptr);
    EXPECT_EQ(s.xyz_curve->kind, uint32_t(QEL_CURVE_SPLINE));
    EXPECT_EQ(s.xyz_curve->spline.count, 2u);
    EXPECT_EQ(s.xyz_curve->spline.points[1].xyz[2], 1.0);
    EXPECT_EQ(s.uv_curve1, nullptr);
    EXPECT_EQ(s.uv_curve2, nullptr);
}

TEST(XmlValuesInPlace, FaceValuesReadIntoTheRecord) {
    IntfDataPtr d(Read(Face("<XYZMax>4 5 6 7</XYZMax><UvMin>-1 -2 9</UvMin><UvMax>1 2</UvMax>",
                            "<Contours size=\"1\"><Contour traversal=\"1\"><EdgeIds size=\"2\">"
                            "8 9 10</EdgeIds></Contour></Contours>")));
    const QelSurfacedata& f = FaceAt(d.get(), 0);
    EXPECT_EQ(f.uv_min[0], -1.0);
    EXPECT_EQ(f.uv_min[1], -2.0);
    EXPECT_EQ(f.uv_max[1], 2.0);
    EXPECT_EQ(f.xyz_max[2], 6.0);
    EXPECT_EQ(f.xyz_min[0], 0.0); // absent: left as the record holds it
    ASSERT_EQ(xar_count(f.contours), 1);
    ASSERT_EQ(xar_count(f.contours[0].edge_ids), 2);
    EXPECT_EQ(f.contours[0].edge_ids[1], 9);
}

TEST(XmlValuesInPlace, MalformedChildrenAreRefusedWithTheirMessage) {
    const std::string uv = "<UvMin>0 0</UvMin><UvMax>1 1</UvMax>";
    struct Case {
        std::string inner;
        std::string message;
    } cases[] = {
        {Edge("<UvCurves><UvCurve1/><UvCurve1/></UvCurves>"),
         "\"UvCurve1\" appears twice in \"UvCurves\""},
        {Edge("<UvCurves><Foo/></UvCurves>"), "element \"Foo\" is not expected in \"UvCurves\""},
        {Edge("<UvCurves/><UvCurves/>"), "\"UvCurves\" appears twice in \"Edge\""},
        {Edge("<XYZCurve/><XYZCurve/>"), "\"XYZCurve\" appears twice in \"Edge\""},
        {Edge("<XYZCurve><Line><Start>0 0 0<X/></Start></Line></XYZCurve>"),
         "element \"X\" is not expected in \"Line\""},
        {Edge("<XYZCurve>" + std::string(kLine) + kLine + "</XYZCurve>"),
         "a \"Curve\" holds more than one curve"},
        {Edge("<XYZCurve><Line><Start>0 0 0</Start></Line></XYZCurve>"),
         "\"Line\" lacks its \"End\""},
        {Edge("<XYZCurve><Circle/></XYZCurve>"), "element \"Circle\" is not expected in \"Curve\""},
        {Edge("<XYZCurve><Line><Start>0 0</Start><End>1 1 1</End></Line></XYZCurve>"),
         "\"Start\" lacks a number"},
        {Edge("<UvCurves><UvCurve2><Arc><Mid>1</Mid></Arc></UvCurve2></UvCurves>"),
         "element \"Mid\" is not expected in \"Arc\""},
        {Edge("<XYZCurve><Point></Point></XYZCurve>"), "\"Point\" lacks its \"Position\""},
        {Edge("<XYZCurve><Ellipse><MajorLen>1 2</MajorLen></Ellipse></XYZCurve>"),
         "\"MajorLen\" holds more numbers than it should"},
        {Edge("<XYZCurve><Point><P>1 x 3</P></Point></XYZCurve>"),
         "\"P\" holds \"x\" where a number belongs"},
        {Face("<UvMin>0 0<Q/></UvMin><UvMax>1 1</UvMax>"),
         "element \"Q\" is not expected in \"QelUvParam\""},
        {Face(uv + "<XYZMax>1 2 3<Q/></XYZMax>"), "element \"Q\" is not expected in \"Qel3dPnt\""},
        {Face(uv + "<UvMax>1 1</UvMax>"), "\"UvMax\" appears twice in \"Face\""},
        {Face("<UvMin>0</UvMin><UvMax>1 1</UvMax>"), "\"UvMin\" lacks a number"},
        {Face("<UvMax>1 1</UvMax>"), "\"Face\" lacks its \"UvMin\""},
        {Face(uv, "<Contours size=\"1\"><Contour><EdgeIds size=\"1\">5<W/></EdgeIds></Contour>"
                  "</Contours>"),
         "element \"W\" is not expected in \"Contour\""},
        {"<Faces><Face>" + uv + "<Shape><Plane><Csys><X>1 0 0<W/></X></Csys></Plane></Shape>"
                                "</Face></Faces>",
         "element \"W\" is not expected in \"Csys\""},
        {"<Faces><Face>" + uv + "<Shape><BsplSrf><UVDegree>3 3<W/></UVDegree></BsplSrf>"
                                "</Shape></Face></Faces>",
         "element \"W\" is not expected in \"UVDegree\""},
        {"<Faces><Face>" + uv + "<Shape><Cylinder>" + kCsys +
             "<Radius>1<W/></Radius></Cylinder></Shape></Face></Faces>",
         "element \"W\" is not expected in \"Radius\""},
        {"<Faces><Face>" + uv + "<Shape><Cylinder>" + kCsys + kCsys +
             "<Radius>1</Radius></Cylinder></Shape></Face></Faces>",
         "\"Cylinder\" holds \"Csys\" twice"},
        {"<Faces><Face>" + uv + "<Shape><Plane><Csys><X>1 0 0</X><Y>0 1 0</Y><Z>0 0 1</Z>"
                                "</Csys></Plane></Shape></Face></Faces>",
         "\"Csys\" lacks its \"O\""},
        {"<Faces><Face>" + uv + "<Shape><Plane><Csys><Radius>1</Radius></Csys></Plane>"
                                "</Shape></Face></Faces>",
         "element \"Radius\" is not expected in \"Csys\""},
        {Face(uv, "<Contours size=\"1\"><Contour><EdgeIds size=\"0\"/></Contour>"
                  "<Contour><EdgeIds size=\"0\"/></Contour></Contours>"),
         "\"Contours\" holds more \"Contour\" elements than its size 1"},
        {Face(uv, "<Contours size=\"2\"><Contour><EdgeIds size=\"0\"/></Contour></Contours>"),
         "\"Contours\" holds 1 \"Contour\" elements, its size says 2"},
        {Face(uv, "<Contours size=\"1\"><Loop/></Contours>"),
         "element \"Loop\" is not expected in \"Contours\""},
        {Face(uv, "<Contours size=\"1\"><Contour><EdgeIds size=\"0\"/><EdgeIds size=\"0\"/>"
                  "</Contour></Contours>"),
         "\"EdgeIds\" appears twice in \"Contour\""},
        {Face(uv, "<Contours size=\"1\"><Contour></Contour></Contours>"),
         "\"Contour\" lacks its \"EdgeIds\""},
        {Face(uv, "<Contours size=\"0\"/><Contours size=\"0\"/>"),
         "\"Contours\" appears twice in \"Face\""},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(ErrorOf([&] { Read(c.inner); }, &message), INTFXML_ERR_MALFORMED)
            << c.inner;
        // Told with the document and where the parse stood.
        EXPECT_EQ(message.rfind("cannot read \"test\": line 2, column ", 0), 0u) << message;
        EXPECT_TRUE(message.size() > c.message.size() &&
                    message.compare(message.size() - c.message.size(), c.message.size(),
                                    c.message) == 0)
            << message;
    }
}

TEST(XmlValuesInPlace, BsplineSurfaceSequencesAndPointsReadInPlace) {
    const std::string uv = "<UvMin>0 0</UvMin><UvMax>1 1</UvMax>";
    auto surface = [&](const std::string& body) {
        return "<Faces><Face>" + uv + "<Shape><BsplSrf>" + body + "</BsplSrf></Shape></Face></Faces>";
    };
    const std::string degrees = "<UVDegree>1 1</UVDegree>";
    const std::string knots = "<UParams size=\"2\">0 1</UParams><VParams size=\"1\">0 9</VParams>";
    const std::string points = "<Points size=\"2\"><P>1 2 3</P><Q>4 5 6</Q></Points>";
    IntfDataPtr d(Read(surface(degrees + knots + "<Weights size=\"2\">0.5 2</Weights>" + points)));
    const QelBsplinesrfdata& b = FaceAt(d.get(), 0).shape.bsplinesrf;
    EXPECT_EQ(b.u_knot_count, 2u);
    EXPECT_EQ(b.v_knot_count, 1u);
    EXPECT_EQ(xar_count(b.v_knots), 1); // words beyond the size are not read
    EXPECT_EQ(b.u_knots[1], 1.0);
    ASSERT_NE(b.weights, nullptr);
    EXPECT_EQ(b.weights[0], 0.5);
    ASSERT_EQ(b.point_count, 2u);
    EXPECT_EQ(b.points[1].xyz[2], 6.0); // items under any name
    struct Case {
        std::string body;
        std::string message;
    } cases[] = {
        {degrees + "<UParams size=\"2\">0<W/>1</UParams>",
         "element \"W\" is not expected in \"QelRealSeq\""},
        {degrees + knots + "<Points size=\"1\"><P>1 2 3<W/></P></Points>",
         "element \"W\" is not expected in \"QelPntList\""},
        {degrees + knots + "<Points size=\"1\"><P>1 2 3</P><P>1 2 3</P></Points>",
         "QelPntList: more items than its size 1"},
        {degrees + knots + "<Points size=\"2\"><P>1 2 3</P></Points>",
         "QelPntList: 1 items where its size says 2"},
        {degrees + knots + points + points, "\"BsplSrf\" holds \"Points\" twice"},
        {degrees + knots + knots, "\"BsplSrf\" holds \"UParams\" twice"},
        {degrees + knots + "<Weights size=\"1\">1</Weights>" + points,
         "\"BsplSrf\": 1 weights for 2 control points"},
        {degrees + "<UParams size=\"3\">0 1</UParams>",
         "\"UParams\" holds 2 values where its size says 3"},
        {degrees + "<VParams>0 1</VParams>",
         "\"VParams\" lacks the attribute \"size\" at position 0"},
        {degrees + knots, "\"BsplSrf\" lacks its \"Points\""},
    };
    for (const Case& c : cases) {
        std::string message;
        EXPECT_EQ(ErrorOf([&] { Read(surface(c.body)); }, &message), INTFXML_ERR_MALFORMED)
            << c.body;
        EXPECT_TRUE(message.size() > c.message.size() &&
                    message.compare(message.size() - c.message.size(), c.message.size(),
                                    c.message) == 0)
            << message;
    }
}

TEST(XmlValuesInPlace, DocumentCutOffInsideAnEdgeCurveLeaksNothing) {
    // Cut inside a value, inside a kind read in place, inside a kind with a
    // reader of its own, after a finished curve: whatever was built goes.
    const std::string full =
        Edge("<UvCurves><UvCurve1>" + std::string(kLine) +
             "</UvCurve1><UvCurve2><Spline><Params size=\"2\">0 1</Params>"
             "<Points size=\"2\"><P>0 0 0</P><P>1 1 1</P></Points><Tangents size=\"2\">"
             "<V>1 0 0</V><V>0 1 0</V></Tangents></Spline></UvCurve2></UvCurves>");
    EXPECT_EQ(ErrorOf([&] { Read(full); }), 0);
    for (size_t cut : {full.find("<End>") + 7, full.find("</Line>"), full.find("</UvCurve1>") + 11,
                       full.find("<P>1 1"), full.size() - 20}) {
        const std::string doc = "<Doc><QelIntfData>" + full.substr(0, cut);
        xmltest::Top<IntfXmlQelIntfData> top(
            [](auto* t, IntfXmlAttributes&) { return t->template Make<IntfXmlQelIntfData>(); });
        EXPECT_EQ(ErrorOf([&] { IntfXmlParseBuffer(doc.data(), doc.size(), &top, "cut"); }),
                  INTFXML_ERR_PARSE)
            << cut;
    }
}
