#include "kernel/geometry/geometry_test_util.h"

#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/records/qel_routines.h"
#include "kernel/model/session_i.h"

#include "kpi_session.h"
#include "xmemory.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// ---- the unit box -----------------------------------------------------------------
// Faces 1..6: z=0, z=1, y=0, y=1, x=0, x=1. Edges 1..12 with the two faces
// they bound and their end points. Each face's loop lists its four edges.
struct BoxEdge {
    int id, face1, face2;
    double a[3], b[3];
};
const BoxEdge kEdges[12] = {
    {1, 1, 3, {0, 0, 0}, {1, 0, 0}},  {2, 1, 6, {1, 0, 0}, {1, 1, 0}},
    {3, 1, 4, {1, 1, 0}, {0, 1, 0}},  {4, 1, 5, {0, 1, 0}, {0, 0, 0}},
    {5, 2, 3, {0, 0, 1}, {1, 0, 1}},  {6, 2, 6, {1, 0, 1}, {1, 1, 1}},
    {7, 2, 4, {1, 1, 1}, {0, 1, 1}},  {8, 2, 5, {0, 1, 1}, {0, 0, 1}},
    {9, 3, 5, {0, 0, 0}, {0, 0, 1}},  {10, 3, 6, {1, 0, 0}, {1, 0, 1}},
    {11, 4, 6, {1, 1, 0}, {1, 1, 1}}, {12, 4, 5, {0, 1, 0}, {0, 1, 1}},
};
struct BoxFace {
    int id;
    double origin[3], xAxis[3], yAxis[3];
    int loop[4];
};
const BoxFace kFaces[6] = {
    {1, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 2, 3, 4}},
    {2, {0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {5, 6, 7, 8}},
    {3, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {1, 10, 5, 9}},
    {4, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, {3, 11, 7, 12}},
    {5, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {4, 12, 8, 9}},
    {6, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {2, 11, 6, 10}},
};
const char* const kDatumName = "BOX_ORIGIN";

xrchandle<KCsys> Frame(const double* o, const double* x, const double* y) {
    return KCsys::Create(KCreatePoint3D(o[0], o[1], o[2]), KCreateVector3D(x[0], x[1], x[2]),
                         KCreateVector3D(y[0], y[1], y[2]));
}

xrchandle<KWPIModel> NewModel() { return KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01); }

KWPIModel_i* Impl(const xrchandle<KWPIModel>& model) {
    return dynamic_cast<KWPIModel_i*>(model.get());
}

// What the box builder made, kept to compare with what comes back.
struct Box {
    std::vector<xrchandle<KPIFace>> faces;
    std::vector<xrchandle<KPIEdge>> edges;
    xrchandle<KPIQuilt> quilt;
    xrchandle<KPIDatum> datum;
};

Box BuildBox(const xrchandle<KWPIModel>& model) {
    xrchandle<KWPISession> session = KGetPISession();
    Box box;
    xrchandle<KPIEdgeList> edges(KPIEdgeList::create());
    for (const BoxEdge& e : kEdges) {
        xrchandle<KPILine> line = session->CreatePILine(KCreatePoint3D(e.a[0], e.a[1], e.a[2]),
                                                        KCreatePoint3D(e.b[0], e.b[1], e.b[2]));
        xrchandle<KPIEdge> edge =
            model->CreatePIEdgeWithXYZCurve(e.id, e.face1, e.face2, line, KTRAV_SAME, KTRAV_OPPOSITE);
        edges->Append(edge);
        box.edges.push_back(edge);
    }
    model->SetPIEdges(edges);

    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    for (const BoxFace& f : kFaces) {
        xrchandle<KPIPlane> plane = session->CreatePIPlane(Frame(f.origin, f.xAxis, f.yAxis));
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL,
                                          Ints({f.loop[0], f.loop[1], f.loop[2], f.loop[3]})));
        xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
        xrchandle<KPIFace> face =
            model->CreatePIFace(f.id, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops);
        model->AddPIFace(face);
        faces->Append(face);
        box.faces.push_back(face);
    }
    box.quilt = model->CreatePIQuilt(100, faces);
    model->AddPIQuilt(box.quilt);
    box.datum = model->CreatePIDatum(200, kDatumName, MakeCsys(0, 0, 0), nullptr, nullptr);
    model->AddPIDatum(box.datum);
    model->SetOutline(KBox3D::Create(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 1, 1)));
    return box;
}

std::vector<int> EdgeIds(const xrchandle<KPILoop>& loop) {
    std::vector<int> ids;
    xrchandle<xintsequence> seq = loop->GetEdgeIds();
    for (int i = 0; seq && i < seq->Count(); ++i)
        ids.push_back(seq->Get(i));
    return ids;
}

// Reads every face, edge, quilt and datum back through the interface and
// compares it with the box's tables.
void ExpectBoxFaces(const xrchandle<KPIFaceList>& faces) {
    ASSERT_TRUE(faces);
    ASSERT_EQ(faces->Count(), 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        xrchandle<KPIFace> face = faces->Get(i);
        const BoxFace& f = kFaces[i];
        EXPECT_EQ(face->GetId(), f.id);
        EXPECT_EQ(face->GetItemType(), KPI_FACE);
        EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_POSITIVE);
        xrchandle<KBoxUV> uv = face->GetPIFaceUVExtent();
        ASSERT_TRUE(uv);
        EXPECT_DOUBLE_EQ(uv->GetMaxPoint()->u(), 1);
        xrchandle<KPISurface> surface = face->GetPISurface();
        ASSERT_TRUE(surface);
        EXPECT_EQ(surface->GetPISurfaceType(), KPISURF_PLANE);
        xrchandle<KCsys> csys = KPIPlane::cast(surface.get())->GetCsys();
        ExpectPoint(csys->GetOrigin(), f.origin[0], f.origin[1], f.origin[2]);
        xrchandle<KPILoopList> loops = face->GetPILoopList();
        ASSERT_TRUE(loops);
        ASSERT_EQ(loops->Count(), 1);
        EXPECT_EQ(loops->Get(0)->GetPILoopTraversal(), KPI_LOOP_TRAV_EXTERNAL);
        EXPECT_EQ(EdgeIds(loops->Get(0)),
                  (std::vector<int>{f.loop[0], f.loop[1], f.loop[2], f.loop[3]}));
    }
}

void ExpectBoxEdges(const xrchandle<KPIEdgeList>& edges) {
    ASSERT_TRUE(edges);
    ASSERT_EQ(edges->Count(), 12);
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        xrchandle<KPIEdge> edge = edges->Get(i);
        const BoxEdge& e = kEdges[i];
        EXPECT_EQ(edge->GetId(), e.id);
        EXPECT_EQ(edge->GetItemType(), KPI_EDGE);
        EXPECT_EQ(edge->GetIdFace1(), e.face1);
        EXPECT_EQ(edge->GetIdFace2(), e.face2);
        EXPECT_EQ(edge->GetTraversal1(), KTRAV_SAME);
        EXPECT_EQ(edge->GetTraversal2(), KTRAV_OPPOSITE);
        EXPECT_FALSE(edge->GetCurve1());
        EXPECT_FALSE(edge->GetSrfPoints1());
        xrchandle<KPICurve> curve = edge->GetXYZCurve();
        ASSERT_TRUE(curve);
        ASSERT_EQ(curve->GetPICurveType(), KPICURV_LINE);
        KPILine* line = KPILine::cast(curve.get());
        ExpectPoint(line->GetEnd0(), e.a[0], e.a[1], e.a[2]);
        ExpectPoint(line->GetEnd1(), e.b[0], e.b[1], e.b[2]);
    }
}

void ExpectBoxQuiltAndDatum(const xrchandle<KPIQuiltList>& quilts,
                            const xrchandle<KPIDatumList>& datums) {
    ASSERT_TRUE(quilts);
    ASSERT_EQ(quilts->Count(), 1);
    xrchandle<KPIQuilt> quilt = quilts->Get(0);
    EXPECT_EQ(quilt->GetId(), 100);
    EXPECT_EQ(quilt->GetItemType(), KPI_QUILT);
    ExpectBoxFaces(quilt->GetFaces());
    ASSERT_TRUE(datums);
    ASSERT_EQ(datums->Count(), 1);
    xrchandle<KPIDatum> datum = datums->Get(0);
    EXPECT_EQ(datum->GetId(), 200);
    EXPECT_EQ(datum->GetItemType(), KPI_DATUM_CSYS);
    EXPECT_STREQ(datum->GetName().c_str(), kDatumName);
    ExpectCsysOrigin(datum->GetCsys(), 0, 0, 0);
    EXPECT_FALSE(datum->GetCurve());
    EXPECT_FALSE(datum->GetPlane());
}

template <class List, class Item>
void ExpectListedInOrder(const xrchandle<List>& list, const std::vector<xrchandle<Item>>& items) {
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Count(), int(items.size()));
    for (int i = 0; i < list->Count(); ++i)
        EXPECT_EQ(list->Get(i).get(), items[size_t(i)].get());
}

// The session lives for the whole process: make it before the fixture
// counts the live objects.
class ModelTest : public StorageModeTest {
protected:
    void SetUp() override {
        KGetPISession();
        StorageModeTest::SetUp();
    }
};

// ---- the box in both storage modes ---------------------------------------------------

TEST_P(ModelTest, BoxReadsBackThroughEveryGetterAndList) {
    xrchandle<KWPIModel> model = NewModel();
    KWPIModel_i* impl = Impl(model);
    ASSERT_NE(impl, nullptr);
    EXPECT_EQ(impl->GetIntfData() != nullptr, RecordMode());
    Box box = BuildBox(model);

    EXPECT_EQ(model->CountPIFaces(), 6);
    EXPECT_EQ(model->CountPIEdges(), 12);
    EXPECT_EQ(model->CountPIQuilts(), 1);
    EXPECT_EQ(model->CountPIDatums(), 1);
    // The by-index getters hand back the very objects added, in order.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(model->GetPIFaceByIndex(i).get(), box.faces[size_t(i)].get());
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(model->GetPIEdgeByIndex(i).get(), box.edges[size_t(i)].get());
    EXPECT_EQ(model->GetPIQuiltByIndex(0).get(), box.quilt.get());
    EXPECT_EQ(model->GetPIDatumByIndex(0).get(), box.datum.get());
    EXPECT_INVALID_ARG(model->GetPIFaceByIndex(6), 1, 17);
    EXPECT_INVALID_ARG(model->GetPIFaceByIndex(-1), 1, 17);
    EXPECT_INVALID_ARG(model->GetPIEdgeByIndex(-1), 1, 17);
    EXPECT_INVALID_ARG(model->GetPIDatumByIndex(1), 1, 17);
    EXPECT_INVALID_ARG(model->GetPIQuiltByIndex(-1), 1, 0);
    EXPECT_INVALID_ARG(model->GetPIQuiltByIndex(1), 1, 0);

    ExpectBoxFaces(model->GetPIFaces());
    ExpectBoxEdges(model->GetPIEdges());
    ExpectBoxQuiltAndDatum(model->GetPIQuilts(), model->GetPIDatums());

    EXPECT_EQ(model->GetAccuracyType(), KACCURACY_ABSOLUTE);
    EXPECT_DOUBLE_EQ(model->GetAccuracy(), 0.01);
    ExpectPoint(model->GetOutline()->GetMaxPoint(), 1, 1, 1);

    if (RecordMode()) {
        // The records hold every item; the list getters make new objects
        // over them on every call.
        const qel_intf_data* root = impl->GetIntfData();
        int32_t n = 0;
        qel_intf_data_surface_count(root, &n);
        EXPECT_EQ(n, 6);
        qel_intf_data_edge_count(root, &n);
        EXPECT_EQ(n, 12);
        qel_intf_data_quilt_count(root, &n);
        EXPECT_EQ(n, 1);
        qel_intf_data_datum_count(root, &n);
        EXPECT_EQ(n, 1);
        EXPECT_EQ(root->accuracy_type, QEL_ACCURACY_ABSOLUTE);
        EXPECT_DOUBLE_EQ(root->accuracy, 0.01);
        EXPECT_DOUBLE_EQ(root->outline[5], 1);
        xrchandle<KPIFaceList> a = model->GetPIFaces();
        xrchandle<KPIFaceList> b = model->GetPIFaces();
        EXPECT_NE(a.get(), b.get());
        EXPECT_NE(a->Get(0).get(), b->Get(0).get());
        EXPECT_NE(a->Get(0).get(), box.faces[0].get());
    } else {
        // Without interface data the getters answer the model's own lists.
        ExpectListedInOrder(model->GetPIFaces(), box.faces);
        ExpectListedInOrder(model->GetPIEdges(), box.edges);
        EXPECT_EQ(model->GetPIFaces().get(), model->GetPIFaces().get());
        EXPECT_EQ(model->GetPIQuilts()->Get(0).get(), box.quilt.get());
        EXPECT_EQ(model->GetPIDatums()->Get(0).get(), box.datum.get());
    }
}

TEST_P(ModelTest, ListsAreNullUntilTheFirstAdd) {
    xrchandle<KWPIModel> model = NewModel();
    EXPECT_FALSE(model->GetPIEdges());
    EXPECT_FALSE(model->GetPIFaces());
    EXPECT_FALSE(model->GetPIQuilts());
    EXPECT_FALSE(model->GetPIDatums());
    EXPECT_EQ(model->CountPIEdges(), 0);
    EXPECT_FALSE(model->GetOutline());
    EXPECT_FALSE(model->GetWPIModelExt());
    EXPECT_FALSE(model->GetPIModelReferenceColor());
    if (!RecordMode()) {
        xrchandle<KPIEdge> edge = model->CreatePIEdgeWithPoints(
            1, 0, -1, [] {
                xrchandle<KPointUVList> l(KPointUVList::create());
                l->Append(KCreatePointUV(0, 0));
                return l;
            }(),
            nullptr, KTRAV_SAME, KTRAV_NONE);
        model->AddPIEdge(edge);
        xrchandle<KPIEdgeList> list = model->GetPIEdges();
        ASSERT_TRUE(list);
        EXPECT_EQ(list.get(), model->GetPIEdges().get());
        EXPECT_EQ(list->Get(0).get(), edge.get());
    }
}

TEST_P(ModelTest, SetListsAppendAndStopAtANullElement) {
    xrchandle<KWPIModel> model = NewModel();
    Box box = BuildBox(model);
    xrchandle<KPIFaceList> three(KPIFaceList::create());
    for (int i = 0; i < 3; ++i)
        three->Append(box.faces[size_t(i)]);
    model->SetPIFaces(three);
    model->SetPIFaces(three);
    EXPECT_EQ(model->CountPIFaces(), 12);
    if (RecordMode()) {
        int32_t n = 0;
        qel_intf_data_surface_count(Impl(model)->GetIntfData(), &n);
        EXPECT_EQ(n, 12);
    }

    EXPECT_INVALID_ARG(model->SetPIEdges(nullptr), 1, 0);
    EXPECT_INVALID_ARG(model->SetPIEdges(xrchandle<KPIEdgeList>(KPIEdgeList::create())), 1, 1);
    xrchandle<KPIEdgeList> withNull(KPIEdgeList::create());
    withNull->Append(box.edges[0]);
    withNull->Append(nullptr);
    withNull->Append(box.edges[1]);
    EXPECT_INVALID_ARG(model->SetPIEdges(withNull), 1, 1);
    EXPECT_EQ(model->CountPIEdges(), 13);
    EXPECT_EQ(model->GetPIEdgeByIndex(12).get(), box.edges[0].get());
}

TEST_P(ModelTest, CreatorsCheckTheirArgumentsInOrder) {
    xrchandle<KWPIModel> model = NewModel();
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KPICurve> line(session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0)));
    xrchandle<KPICurveList> members(KPICurveList::create());
    members->Append(line);
    xrchandle<KPICurve> comp(session->CreatePICompositeCurve(members, Ints({0})));
    xrchandle<KPointUVList> two(KPointUVList::create());
    two->Append(KCreatePointUV(0, 0));
    two->Append(KCreatePointUV(1, 0));
    xrchandle<KPointUVList> one(KPointUVList::create());
    one->Append(KCreatePointUV(0, 0));

    // Edges with points.
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(-1, -1, -1, nullptr, nullptr, KTRAV_NONE, KTRAV_NONE), 1, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(1, -1, -1, two, two, KTRAV_NONE, KTRAV_NONE), 2, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(1, 0, -1, nullptr, two, KTRAV_NONE, KTRAV_NONE), 4, 0);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(1, -1, 0, two, nullptr, KTRAV_NONE, KTRAV_NONE), 5, 0);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(1, 0, 1, two, one, KTRAV_NONE, KTRAV_NONE), 4, 1);
    // A null element in either list is refused, whichever list holds it.
    xrchandle<KPointUVList> withNull(KPointUVList::create());
    withNull->Append(KCreatePointUV(0, 0));
    withNull->Append(nullptr);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithPoints(1, 0, 1, two, withNull, KTRAV_NONE, KTRAV_NONE), 3, 1);
    xrchandle<KPIEdge> pointEdge =
        model->CreatePIEdgeWithPoints(1, 0, 1, two, two, KTRAV_SAME, KTRAV_SAME);
    if (RecordMode()) {
        EXPECT_EQ(pointEdge->GetEdgeType(), 2);
    }

    // Edges with curves.
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithXYZCurve(1, 0, 1, nullptr, KTRAV_NONE, KTRAV_NONE), 4, 0);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithXYZCurve(1, 0, 1, comp, KTRAV_NONE, KTRAV_NONE), 4, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithUVCurves(1, 0, 1, nullptr, line, KTRAV_NONE, KTRAV_NONE), 4, 0);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithUVCurves(1, 0, 1, comp, line, KTRAV_NONE, KTRAV_NONE), 4, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithUVCurves(1, 0, 1, line, nullptr, KTRAV_NONE, KTRAV_NONE), 5, 0);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithUVCurves(1, 0, 1, line, comp, KTRAV_NONE, KTRAV_NONE), 5, 1);
    // The side of a negative face is not looked at.
    EXPECT_TRUE(model->CreatePIEdgeWithUVCurves(1, -1, 1, nullptr, line, KTRAV_NONE, KTRAV_NONE));
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithXYZandUVCurves(1, 0, 1, KTRAV_NONE, KTRAV_NONE, comp, comp, comp), 6, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithXYZandUVCurves(1, 0, 1, KTRAV_NONE, KTRAV_NONE, line, comp, comp), 7, 1);
    EXPECT_INVALID_ARG(model->CreatePIEdgeWithXYZandUVCurves(1, 0, 1, KTRAV_NONE, KTRAV_NONE, nullptr, nullptr, comp), 8, 1);

    // Faces.
    xrchandle<KPISurface> plane(session->CreatePIPlane(MakeCsys(0, 0, 0)));
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    EXPECT_INVALID_ARG(model->CreatePIFace(-1, nullptr, KPISURFACE_ORIENT_NONE, nullptr, nullptr), 1, 1);
    EXPECT_INVALID_ARG(model->CreatePIFace(1, nullptr, KPISURFACE_ORIENT_NONE, nullptr, nullptr), 2, 7);
    EXPECT_INVALID_ARG(model->CreatePIFace(1, uv, KPISURFACE_ORIENT_NONE, nullptr, nullptr), 4, 0);
    EXPECT_INVALID_ARG(model->CreatePIFace(1, uv, KPISURFACE_ORIENT_NONE, plane, nullptr), 5, 0);

    // Quilts, loops, datums.
    EXPECT_INVALID_ARG(model->CreatePIQuilt(1, nullptr), 2, 0);
    EXPECT_INVALID_ARG(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, nullptr), 2, 0);
    EXPECT_INVALID_ARG(model->CreatePIDatum(-1, nullptr, nullptr, nullptr, nullptr), 1, 1);
    EXPECT_INVALID_ARG(model->CreatePIDatum(1, nullptr, MakeCsys(0, 0, 0), nullptr, nullptr), 2, 0);
    const std::string name31(31, 'n'), name32(32, 'n');
    EXPECT_INVALID_ARG(model->CreatePIDatum(1, name32.c_str(), MakeCsys(0, 0, 0), nullptr, nullptr), 2, 1);
    EXPECT_INVALID_ARG(model->CreatePIDatum(1, name31.c_str(), nullptr, nullptr, nullptr), 3, 0);
    xrchandle<KPIDatum> datum = model->CreatePIDatum(1, name31.c_str(), MakeCsys(0, 0, 0), line, nullptr);
    EXPECT_EQ(datum->GetName(), xstring(name31.c_str()));
    EXPECT_EQ(datum->GetItemType(), KPI_DATUM_CSYS);
    // Nothing made above was added.
    EXPECT_EQ(model->CountPIEdges() + model->CountPIFaces() + model->CountPIDatums(), 0);
}

// A face without loops is accepted on spline and B-spline surfaces only; the
// type is read through the interface, so a cache-mode surface passes too.
TEST_P(ModelTest, FaceWithoutLoopsOnASplineSurface) {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = NewModel();
    xrchandle<KPISurface> bsurf(session->CreatePIBsplsrf(
        1, 1, Reals({0, 0, 1, 1}), Reals({0, 0, 1, 1}),
        Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}), nullptr));
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<KPIFace> face = model->CreatePIFace(7, uv, KPISURFACE_ORIENT_NEGATIVE, bsurf, nullptr);
    ASSERT_TRUE(face);
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_NEGATIVE);
    EXPECT_EQ(face->GetPISurface()->GetPISurfaceType(), KPISURF_BSPLN);
    EXPECT_FALSE(face->GetPILoopList());
}

TEST_P(ModelTest, AccuracyAndOutline) {
    xrchandle<KWPIModel> model = NewModel();
    KWPIModel_i* impl = Impl(model);
    EXPECT_INVALID_ARG(model->SetAccuracy(KACCURACY_UNDEFINED, 0.5), 1, 1);
    EXPECT_INVALID_ARG(model->SetAccuracy(KACCURACY_RELATIVE, 1e-9), 2, 1);
    EXPECT_INVALID_ARG(model->SetAccuracy(KACCURACY_RELATIVE, std::nan("")), 2, 1);
    EXPECT_EQ(model->GetAccuracyType(), KACCURACY_ABSOLUTE);
    model->SetAccuracy(KACCURACY_RELATIVE, 0.25);
    EXPECT_EQ(model->GetAccuracyType(), KACCURACY_RELATIVE);
    EXPECT_DOUBLE_EQ(model->GetAccuracy(), 0.25);
    if (RecordMode()) {
        EXPECT_EQ(impl->GetIntfData()->accuracy_type, QEL_ACCURACY_RELATIVE);
    }
    model->SetAccuracy(KACCURACY_ABSOLUTE, 0.001);
    if (RecordMode()) {
        EXPECT_EQ(impl->GetIntfData()->accuracy_type, QEL_ACCURACY_ABSOLUTE);
    }
    // A type without a host kind is stored but leaves the record's kind.
    model->SetAccuracy(KAccuracyType(5), 0.5);
    EXPECT_EQ(int(model->GetAccuracyType()), 5);
    if (RecordMode()) {
        EXPECT_EQ(impl->GetIntfData()->accuracy_type, QEL_ACCURACY_ABSOLUTE);
        EXPECT_DOUBLE_EQ(impl->GetIntfData()->accuracy, 0.5);
    }

    EXPECT_INVALID_ARG(model->SetOutline(nullptr), 1, 0);
    xrchandle<KBox3D> box = KBox3D::Create(KCreatePoint3D(-1, -2, -3), KCreatePoint3D(4, 5, 6));
    model->SetOutline(box);
    xrchandle<KBox3D> kept = model->GetOutline();
    EXPECT_NE(kept.get(), box.get()); // the model keeps a box of its own
    ExpectPoint(kept->GetMinPoint(), -1, -2, -3);
    ExpectPoint(kept->GetMaxPoint(), 4, 5, 6);
    if (RecordMode()) {
        const double* o = impl->GetIntfData()->outline;
        EXPECT_EQ(std::vector<double>(o, o + 6), (std::vector<double>{-1, -2, -3, 4, 5, 6}));
    }
}

TEST_P(ModelTest, CloseForgetsTheInterfaceDataAndKeepsTheLists) {
    xrchandle<KWPIModel> model = NewModel();
    Box box = BuildBox(model);
    xrchandle<KPIFaceList> before = model->GetPIFaces();
    model->Close();
    model->Close(); // the second does nothing
    KWPIModel_i* impl = Impl(model);
    EXPECT_EQ(impl->GetIntfData(), nullptr);
    EXPECT_EQ(impl->OwnsIntfData(), !RecordMode()); // untouched without data
    // The model now answers from its lists. A closed model takes no more
    // items (they could never be saved or written); one that never had
    // interface data was not closed by Close and still takes them.
    ExpectListedInOrder(model->GetPIFaces(), box.faces);
    if (RecordMode()) {
        EXPECT_SIMPLE(model->AddPIEdge(box.edges[0]), 13);
        EXPECT_EQ(model->CountPIEdges(), 12);
    } else {
        model->AddPIEdge(box.edges[0]);
        EXPECT_EQ(model->CountPIEdges(), 13);
    }
    model->SetAccuracy(KACCURACY_RELATIVE, 0.5);
    EXPECT_DOUBLE_EQ(model->GetAccuracy(), 0.5);
    EXPECT_SIMPLE(model->SaveAsNeutral(nullptr), 13);
    // Faces read before Close still stand on their own records (checked
    // under AddressSanitizer), also after the model itself is gone.
    model.release();
    box = Box();
    ExpectBoxFaces(before);
}

TEST_P(ModelTest, ReferenceColourOfTheModel) {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = NewModel();
    EXPECT_INVALID_ARG(model->SetWPIModelExt(nullptr), 1, 0);
    xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
    model->SetWPIModelExt(ext);
    EXPECT_EQ(model->GetWPIModelExt().get(), ext.get());
    EXPECT_FALSE(model->GetPIModelReferenceColor());

    xrchandle<KPIReferenceColorList> colors(KPIReferenceColorList::create());
    colors->Append(ext->CreatePIReferenceColor(KCreateColorRGB(1, 0, 0)));
    colors->Append(ext->CreatePIReferenceColor(KCreateColorRGB(0, 0, 1)));
    ext->SetPIReferenceColors(colors);
    xrchandle<KPIElementColorList> elems(KPIElementColorList::create());
    elems->Append(ext->CreatePIElementColor(-1, -1, 1)); // the model: second colour only
    elems->Append(ext->CreatePIElementColor(5, 0, -1));
    elems->Append(ext->CreatePIElementColor(9, 7, -1)); // names a colour that is not there
    ext->SetPIElementColors(elems);
    xrchandle<KPIReferenceColor> mine = model->GetPIModelReferenceColor();
    ASSERT_TRUE(mine);
    EXPECT_DOUBLE_EQ(mine->GetColor()->Get(2), 1);
    EXPECT_NE(mine.get(), model->GetPIModelReferenceColor().get());

    // The first index wins over the second; an entry naming no colour, or
    // no entry for the model, gives none.
    auto modelEntry = [&](int first, int second) {
        xrchandle<KPIElementColorList> l(KPIElementColorList::create());
        l->Append(ext->CreatePIElementColor(-1, first, second));
        l->Append(ext->CreatePIElementColor(5, 0, -1));
        ext->SetPIElementColors(l);
    };
    modelEntry(0, 1);
    ASSERT_TRUE(model->GetPIModelReferenceColor());
    EXPECT_DOUBLE_EQ(model->GetPIModelReferenceColor()->GetColor()->Get(0), 1);
    modelEntry(-1, -1);
    EXPECT_FALSE(model->GetPIModelReferenceColor());
    xrchandle<KPIElementColorList> others(KPIElementColorList::create());
    others->Append(ext->CreatePIElementColor(5, 0, -1));
    ext->SetPIElementColors(others);
    EXPECT_FALSE(model->GetPIModelReferenceColor());
}

INSTANTIATE_TEST_SUITE_P(StorageModes, ModelTest, ::testing::Values(1, 0), ModeName);

// ---- add operations: records first, then the list --------------------------------------

TEST(ModelAdd, AFailingConversionLeavesTheItemUnlisted) {
    xrchandle<KWPIModel> model = NewModel();
    KWPIModel_i* impl = Impl(model);
    // A cache-mode face over a cache-mode plane has no surface record to
    // convert.
    xrchandle<KPIFace> face;
    {
        ScopedStorageMode cache(0);
        xrchandle<KWPIModel> scratch = NewModel();
        xrchandle<KPISurface> plane(KGetPISession()->CreatePIPlane(MakeCsys(0, 0, 0)));
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(scratch->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, Ints({1})));
        face = scratch->CreatePIFace(3, nullptr, KPISURFACE_ORIENT_NONE, plane, loops);
    }
    EXPECT_SIMPLE(model->AddPIFace(face), -2);
    EXPECT_EQ(model->CountPIFaces(), 0);
    EXPECT_FALSE(model->GetPIFaces());
    int32_t n = -1;
    qel_intf_data_surface_count(impl->GetIntfData(), &n);
    EXPECT_EQ(n, 0);
    EXPECT_INVALID_ARG(model->AddPIFace(nullptr), 1, 0);
    EXPECT_INVALID_ARG(model->AddPIQuilt(nullptr), 1, 0);
}

// ---- a model over given interface data -------------------------------------------------

// A root with `edges` point-only edges (ids 1..) and accuracy kind `kind`.
qel_intf_data* HandBuiltRoot(int edges, uint32_t kind) {
    qel_intf_data* root = nullptr;
    EXPECT_EQ(qel_intf_data_alloc(&root), 0);
    root->accuracy_type = kind;
    root->accuracy = 0.125;
    const double outline[6] = {0, 0, 0, 2, 3, 4};
    qel_intf_data_outline_set(root, outline);
    for (int i = 0; i < edges; ++i) {
        QelEdgedata* edge = nullptr;
        EXPECT_EQ(qel_edgedata_alloc(&edge), 0);
        const uint32_t faces[2] = {1, 2}, dirs[2] = {1, 1};
        QelUvSample sample{{double(i), 0}, {0, double(i)}};
        QelUvSample* samples = nullptr;
        xar_alloc_or_append(samples, int(sizeof(QelUvSample)), 1, 1, &sample);
        EXPECT_EQ(qel_edgedata_init(uint32_t(i + 1), faces, dirs, samples, nullptr, nullptr, edge), 0);
        xar_free(samples);
        EXPECT_EQ(qel_intf_data_edge_append(root, edge), 0);
        qel_data_free(edge);
    }
    return root;
}

TEST(ModelOverData, ListsNewObjectsOnEachCallAndCountsOnlyWhatWasAdded) {
    KGetPISession();
    const int64_t live = xobject_live_count();
    {
        xrchandle<KWPIModel> model(new KWPIModel_i(HandBuiltRoot(10, 0), false));
        EXPECT_FALSE(Impl(model)->OwnsIntfData());
        EXPECT_EQ(model->GetAccuracyType(), KACCURACY_UNDEFINED); // kind 0
        EXPECT_DOUBLE_EQ(model->GetAccuracy(), 0.125);
        ExpectPoint(model->GetOutline()->GetMaxPoint(), 2, 3, 4);

        EXPECT_EQ(model->CountPIEdges(), 0);
        EXPECT_INVALID_ARG(model->GetPIEdgeByIndex(0), 1, 17);
        xrchandle<KPIEdgeList> first = model->GetPIEdges();
        ASSERT_TRUE(first);
        ASSERT_EQ(first->Count(), 10);
        EXPECT_EQ(first->Get(9)->GetId(), 10);
        EXPECT_EQ(first->Get(3)->GetSrfPoints1()->Get(0)->u(), 3);
        EXPECT_FALSE(model->GetPIFaces()); // no faces: null, not empty

        xrchandle<KPIEdge> added = model->CreatePIEdgeWithPoints(
            11, 0, -1, first->Get(0)->GetSrfPoints1(), nullptr, KTRAV_SAME, KTRAV_NONE);
        model->AddPIEdge(added);
        EXPECT_EQ(model->CountPIEdges(), 1);
        EXPECT_EQ(model->GetPIEdgeByIndex(0).get(), added.get());
        xrchandle<KPIEdgeList> second = model->GetPIEdges();
        ASSERT_EQ(second->Count(), 11);
        EXPECT_EQ(second->Get(10)->GetId(), 11);
        xrchandle<KPIEdgeList> third = model->GetPIEdges();
        for (int i = 0; i < 11; ++i)
            EXPECT_NE(third->Get(i).get(), second->Get(i).get());

        // Close frees the record the model was given; a second Close and
        // the destructor leave it alone.
        model->Close();
        model->Close();
        EXPECT_EQ(second->Get(4)->GetId(), 5);
    }
    EXPECT_EQ(xobject_live_count(), live);
}

TEST(ModelOverData, AModelNeverClosedFreesTheRecordItWasGiven) {
    // Under LeakSanitizer: the last holder frees the root.
    xrchandle<KWPIModel> model(new KWPIModel_i(HandBuiltRoot(3, QEL_ACCURACY_RELATIVE), false));
    EXPECT_EQ(model->GetAccuracyType(), KACCURACY_RELATIVE);
    xrchandle<QelIntfDataTree> tree = Impl(model)->GetIntfDataTree();
    model.release();
    // The tree outlives the model while someone holds it.
    int32_t n = 0;
    qel_intf_data_edge_count(tree->Get(), &n);
    EXPECT_EQ(n, 3);
}

TEST(ModelOverData, CloseWhileTheRootIsSharedLeavesItToTheLastHolder) {
    xrchandle<KWPIModel> model(new KWPIModel_i(HandBuiltRoot(2, QEL_ACCURACY_ABSOLUTE), false));
    EXPECT_EQ(model->GetAccuracyType(), KACCURACY_ABSOLUTE);
    xrchandle<QelIntfDataTree> tree = Impl(model)->GetIntfDataTree();
    model->Close();
    EXPECT_EQ(Impl(model)->GetIntfData(), nullptr);
    ASSERT_NE(tree->Get(), nullptr);
    int32_t n = 0;
    qel_intf_data_edge_count(tree->Get(), &n);
    EXPECT_EQ(n, 2);
}

// When freeing the interface data reports a failure, Close still forgets
// it (the free released the root), raises the status, and neither a second
// Close nor the destructor touches it again (checked under AddressSanitizer).
TEST(ModelOverData, CloseForgetsTheDataAlsoWhenItsFreeFails) {
    qel_intf_data* root = HandBuiltRoot(0, QEL_ACCURACY_RELATIVE);
    // An edge whose XYZ curve is a composite over an array of elements of
    // another size: its clear fails and keeps the curve block.
    QelCurvedata broken{};
    broken.composite.kind = QEL_CURVE_COMPOSITE;
    broken.composite.components = static_cast<QelComponentcurvedata*>(xar_alloc(1, 8, 1));
    QelEdgedata* edge = nullptr;
    ASSERT_EQ(qel_edgedata_alloc(&edge), 0);
    const uint32_t faces[2] = {1, 2}, dirs[2] = {1, 1};
    ASSERT_EQ(qel_edgedata_init(1, faces, dirs, nullptr, nullptr, &broken, edge), 0);
    QelCurvedata* kept = edge->xyz_curve;
    ASSERT_EQ(qel_intf_data_edge_append(root, edge), 0);
    qel_data_free(edge);

    {
        xrchandle<KWPIModel> model(new KWPIModel_i(root, false));
        EXPECT_SIMPLE(model->Close(), -2);
        EXPECT_EQ(Impl(model)->GetIntfData(), nullptr);
        EXPECT_FALSE(model->GetPIEdges());
        model->Close();
    }
    xar_free(kept->composite.components);
    rlsmem(kept);
}

TEST(ModelOverData, NullDataGivesAModelWithoutInterfaceData) {
    xrchandle<KWPIModel> model(new KWPIModel_i(nullptr, false));
    EXPECT_EQ(Impl(model)->GetIntfData(), nullptr);
    EXPECT_FALSE(model->GetOutline());
    model->Close();
}

// ---- persistence checks ---------------------------------------------------------------------

TEST(ModelPersistence, ChecksComeFirst) {
    xrchandle<KWPIModel> model = NewModel();
    xrchandle<KCStream> stream(new MemoryStream());
    EXPECT_INVALID_ARG(model->SaveAsNeutral(nullptr), 1, 0);
    EXPECT_INVALID_ARG(model->WriteZPI(nullptr), 1, 0);
    model->Close();
    EXPECT_SIMPLE(model->SaveAsNeutral(stream), 13);
    {
        ScopedStorageMode cache(0);
        xrchandle<KWPIModel> cached = NewModel();
        EXPECT_SIMPLE(cached->SaveAsNeutral(nullptr), 13);
    }
    xrchandle<KWPISession> session = KGetPISession();
    // Reading raises nothing for a missing name: one line on standard error
    // and no model.
    ::testing::internal::CaptureStderr();
    xrchandle<KWPIModel> read;
    EXPECT_NO_THROW(read = session->ReadZPI(nullptr));
    EXPECT_FALSE(read);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Could not read the XML data.\nno document name\n");
}

} // namespace
