#include "kernel/geometry/geometry_test_util.h"
#include "kernel/records/record_fixtures.h"

#include "kernel/geometry/curves.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/surfaces.h"
#include "kernel/topology/topology.h"

#include "xmemory.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using TopologyModes = StorageModeTest;

// ---- makers ----------------------------------------------------------------------
xrchandle<KPIPlane> MakePlane(double oz) {
    auto plane = Make<KPIPlane_i>();
    plane->SetData(MakeCsys(0, 0, oz));
    return xrchandle<KPIPlane>(plane.get());
}

xrchandle<KPICurve> MakeLine(double x0, double x1) {
    auto line = Make<KPILine_i>();
    line->SetData(KCreatePoint3D(x0, 0, 0), KCreatePoint3D(x1, 0, 0));
    return xrchandle<KPICurve>(line.get());
}

xrchandle<KPILoop> MakeLoop(KPILoopTraversal t, std::initializer_list<int> ids) {
    auto loop = Make<KPILoop_i>();
    loop->Set(t, Ints(ids));
    return xrchandle<KPILoop>(loop.get());
}

xrchandle<KPILoopList> Loops(std::initializer_list<xrchandle<KPILoop>> loops) {
    xrchandle<KPILoopList> list(KPILoopList::create());
    for (const auto& l : loops)
        list->Append(l);
    return list;
}

xrchandle<KPointUVList> UVs(std::initializer_list<std::array<double, 2>> pts) {
    xrchandle<KPointUVList> list(KPointUVList::create());
    for (const auto& p : pts)
        list->Append(KCreatePointUV(p[0], p[1]));
    return list;
}

xrchandle<KBoxUV> DoublesBox() {
    return KBoxUV::Create(KCreatePointUV(0, 1), KCreatePointUV(2, 3));
}

xrchandle<KPIFace_i> MakeFace(int id, double oz, KPISurfOrient orient = KPISURFACE_ORIENT_POSITIVE) {
    auto face = Make<KPIFace_i>(id);
    face->Set(DoublesBox(), orient, xrchandle<KPISurface>(MakePlane(oz).get()),
              Loops({MakeLoop(KPI_LOOP_TRAV_EXTERNAL, {1, 2, 3, 4})}));
    return face;
}

std::vector<int> IdsOf(const xrchandle<xintsequence>& seq) {
    std::vector<int> out;
    for (int i = 0; seq && i < seq->Count(); ++i)
        out.push_back(seq->Get(i));
    return out;
}

double OriginZ(const xrchandle<KCsys>& c) { return c->GetOrigin()->z(); }

// ---- loops -------------------------------------------------------------------------
TEST_P(TopologyModes, LoopTraversalAndEdgeIds) {
    auto outer = Make<KPILoop_i>();
    outer->Set(KPI_LOOP_TRAV_EXTERNAL, Ints({4, 5, 6}));
    EXPECT_EQ(outer->GetPILoopTraversal(), KPI_LOOP_TRAV_EXTERNAL);
    EXPECT_EQ(IdsOf(outer->GetEdgeIds()), (std::vector<int>{4, 5, 6}));

    auto inner = Make<KPILoop_i>();
    inner->Set(KPI_LOOP_TRAV_INTERNAL, Ints({7}));
    EXPECT_EQ(inner->GetPILoopTraversal(), KPI_LOOP_TRAV_INTERNAL);

    auto none = Make<KPILoop_i>();
    none->Set(KPILoopTraversal(9), nullptr);
    EXPECT_FALSE(none->GetEdgeIds());

    EXPECT_EQ(outer->GetRecord() != nullptr, RecordMode());
    if (RecordMode()) {
        EXPECT_EQ(outer->GetRecord()->traversal, +1);
        EXPECT_EQ(inner->GetRecord()->traversal, -1);
        EXPECT_EQ(none->GetRecord()->traversal, 0);
        EXPECT_EQ(none->GetPILoopTraversal(), KPI_LOOP_TRAV_NONE);
    } else {
        EXPECT_EQ(none->GetPILoopTraversal(), KPILoopTraversal(9));
        EXPECT_EQ(int(Make<KPILoop_i>()->GetPILoopTraversal()), 3); // never set
    }
}

// ---- faces -------------------------------------------------------------------------
TEST_P(TopologyModes, FaceReadsBackWhatItWasSetWith) {
    xrchandle<KPISurface> plane(MakePlane(5).get());
    xrchandle<KPILoopList> loops = Loops(
        {MakeLoop(KPI_LOOP_TRAV_EXTERNAL, {1, 2, 3, 4}), MakeLoop(KPI_LOOP_TRAV_INTERNAL, {9})});
    xrchandle<KBoxUV> box = DoublesBox();
    auto face = Make<KPIFace_i>(12);
    face->Set(box, KPISURFACE_ORIENT_NEGATIVE, plane, loops);

    EXPECT_EQ(face->GetId(), 12);
    EXPECT_EQ(face->GetItemType(), KPI_FACE);
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_NEGATIVE);
    xrchandle<KBoxUV> extent = face->GetPIFaceUVExtent();
    ASSERT_TRUE(extent);
    EXPECT_DOUBLE_EQ(extent->GetMinPoint()->v(), 1);
    EXPECT_DOUBLE_EQ(extent->GetMaxPoint()->u(), 2);

    ExpectStored(RecordMode(), plane, [&] { return face->GetPISurface(); });
    ExpectStored(RecordMode(), loops, [&] { return face->GetPILoopList(); });
    xrchandle<KPISurface> surface = face->GetPISurface();
    ASSERT_EQ(surface->GetPISurfaceType(), KPISURF_PLANE);
    EXPECT_DOUBLE_EQ(OriginZ(KPIPlane::cast(surface.get())->GetCsys()), 5);

    xrchandle<KPILoopList> got = face->GetPILoopList();
    ASSERT_EQ(got->Count(), 2);
    EXPECT_EQ(got->Get(0)->GetPILoopTraversal(), KPI_LOOP_TRAV_EXTERNAL);
    EXPECT_EQ(IdsOf(got->Get(0)->GetEdgeIds()), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(got->Get(1)->GetPILoopTraversal(), KPI_LOOP_TRAV_INTERNAL);

    if (RecordMode()) {
        const QelSurfacedata* rec = face->GetRecord();
        ASSERT_TRUE(rec);
        EXPECT_EQ(rec->orientation, -1);
        EXPECT_EQ(rec->kind, QEL_SURF_PLANE);
        EXPECT_EQ(rec->id, 12u);
        EXPECT_DOUBLE_EQ(rec->uv_max[1], 3);
        // The face holds copies: the loops' own records are not shared.
        EXPECT_NE(rec->contours[0].edge_ids,
                  CastToImpl<KPILoop_i>(loops->Get(0).get(), 1)->GetRecord()->edge_ids);
    }
}

TEST(Topology, FaceArgumentsAreChecked) {
    ScopedStorageMode record(1);
    auto face = Make<KPIFace_i>(3);
    xrchandle<KPISurface> plane(MakePlane(0).get());
    EXPECT_INVALID_ARG(face->Set(nullptr, KPISURFACE_ORIENT_NONE, nullptr, nullptr), 4, 0);

    xrchandle<KPILoopList> withNull = Loops({MakeLoop(KPI_LOOP_TRAV_EXTERNAL, {1}), nullptr});
    EXPECT_INVALID_ARG(face->Set(nullptr, KPISURFACE_ORIENT_NONE, plane, withNull), 5, 1);

    // Objects made in cache mode have no record to copy.
    xrchandle<KPISurface> cachePlane;
    xrchandle<KPILoop> cacheLoop;
    {
        ScopedStorageMode cache(0);
        cachePlane = MakePlane(1).get();
        cacheLoop = MakeLoop(KPI_LOOP_TRAV_EXTERNAL, {1});
    }
    EXPECT_SIMPLE(face->Set(nullptr, KPISURFACE_ORIENT_NONE, cachePlane, nullptr), -2);
    EXPECT_SIMPLE(face->Set(nullptr, KPISURFACE_ORIENT_NONE, plane, Loops({cacheLoop})), -2);
    EXPECT_FALSE(face->GetRecord()); // nothing half made stays behind

    // A later good set works, and setting again replaces the record.
    face->Set(nullptr, KPISURFACE_ORIENT_POSITIVE, plane, nullptr);
    face->Set(nullptr, KPISURFACE_ORIENT_NEGATIVE, plane, nullptr);
    EXPECT_EQ(face->GetRecord()->orientation, -1);
}

TEST(Topology, WrappedFaceRecordMapsOrientation) {
    QelSurfacedata* rec = nullptr;
    ASSERT_EQ(qel_surfacedata_alloc(&rec), 0);
    QelSurfaceshapedata shape{};
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1}, o[3] = {0, 0, 2};
    ASSERT_EQ(qel_planedata_init(e1, e2, e3, o, &shape), 0);
    ASSERT_EQ(qel_surfacedata_init(QEL_SURF_PLANE, nullptr, nullptr, 7, &shape, 44, rec), 0);
    auto face = Make<KPIFace_i>(rec, true);
    EXPECT_EQ(face->GetId(), 44);
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_NONE);
    EXPECT_FALSE(face->GetPILoopList());
    rec->orientation = 1;
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_POSITIVE);
}

// The surface and loops a face hands out keep the face's record alive.
TEST(Topology, SurfaceAndLoopsOutliveTheirFace) {
    ScopedStorageMode record(1);
    xrchandle<KPISurface> surface;
    xrchandle<KPILoopList> loops;
    {
        auto face = MakeFace(2, 8);
        surface = face->GetPISurface();
        loops = face->GetPILoopList();
    }
    EXPECT_DOUBLE_EQ(OriginZ(KPIPlane::cast(surface.get())->GetCsys()), 8);
    ASSERT_EQ(loops->Count(), 1);
    EXPECT_EQ(IdsOf(loops->Get(0)->GetEdgeIds()), (std::vector<int>{1, 2, 3, 4}));
    // A loop over its face's contour never rewrites the face.
    auto* loop = CastToImpl<KPILoop_i>(loops->Get(0).get(), 1);
    EXPECT_SIMPLE(loop->Set(KPI_LOOP_TRAV_INTERNAL, Ints({1})), -2);
    EXPECT_EQ(loop->GetPILoopTraversal(), KPI_LOOP_TRAV_EXTERNAL);
}

// ---- edges -------------------------------------------------------------------------
TEST_P(TopologyModes, EdgeWithPoints) {
    auto edge = Make<KPIEdge_i>(21);
    xrchandle<KPointUVList> p1 = UVs({{1, 2}, {5, 6}}), p2 = UVs({{3, 4}, {7, 8}});
    edge->SetWithPoints(1, 2, p1, p2, KTRAV_SAME, KTRAV_OPPOSITE);
    EXPECT_EQ(edge->GetId(), 21);
    EXPECT_EQ(edge->GetItemType(), KPI_EDGE);
    EXPECT_EQ(edge->GetEdgeType(), 2);
    EXPECT_EQ(edge->GetIdFace1(), 1);
    EXPECT_EQ(edge->GetIdFace2(), 2);
    EXPECT_EQ(edge->GetTraversal1(), KTRAV_SAME);
    EXPECT_EQ(edge->GetTraversal2(), KTRAV_OPPOSITE);
    ExpectStored(RecordMode(), p2, [&] { return edge->GetSrfPoints2(); });
    xrchandle<KPointUVList> second = edge->GetSrfPoints2();
    ASSERT_EQ(second->Count(), 2);
    EXPECT_DOUBLE_EQ(second->Get(0)->u(), 3);
    EXPECT_DOUBLE_EQ(second->Get(0)->v(), 4);
    EXPECT_DOUBLE_EQ(edge->GetSrfPoints1()->Get(1)->u(), 5);
    EXPECT_FALSE(edge->GetXYZCurve());
    EXPECT_FALSE(edge->GetCurve1());
    if (RecordMode()) {
        const QelEdgedata* rec = edge->GetRecord();
        EXPECT_EQ(xar_count(rec->uv_points), 2);
        EXPECT_DOUBLE_EQ(rec->uv_points[1].uv2[1], 8);
        EXPECT_EQ(rec->directions[1], 2u);
    }
}

TEST_P(TopologyModes, NullSurfacePointInEitherListIsRefused) {
    xrchandle<KPointUVList> good = UVs({{1, 2}, {3, 4}});
    xrchandle<KPointUVList> holed = UVs({{1, 2}});
    holed->Append(nullptr);
    auto edge = Make<KPIEdge_i>(1);
    EXPECT_INVALID_ARG(edge->SetWithPoints(1, 2, holed, good, KTRAV_NONE, KTRAV_NONE), 3, 1);
    EXPECT_INVALID_ARG(edge->SetWithPoints(1, 2, good, holed, KTRAV_NONE, KTRAV_NONE), 3, 1);
    EXPECT_INVALID_ARG(edge->SetWithPoints(1, -1, holed, nullptr, KTRAV_NONE, KTRAV_NONE), 3, 1);
    EXPECT_INVALID_ARG(edge->SetWithPoints(-1, 2, nullptr, holed, KTRAV_NONE, KTRAV_NONE), 3, 1);
    EXPECT_INVALID_ARG(edge->SetWithPoints(1, 2, good, UVs({{1, 1}}), KTRAV_NONE, KTRAV_NONE), 4,
                       1);
    // A longer second list is read only as far as the first.
    auto longer = Make<KPIEdge_i>(2);
    longer->SetWithPoints(1, -1, UVs({{1, 1}}), good, KTRAV_NONE, KTRAV_NONE);
    EXPECT_EQ(longer->GetSrfPoints1()->Count(), 1);
    EXPECT_FALSE(edge->GetRecord());
    EXPECT_EQ(edge->GetEdgeType(), int(0x80000000u));
}

TEST_P(TopologyModes, EdgeWithCurves) {
    xrchandle<KPICurve> xyz = MakeLine(0, 10), uv1 = MakeLine(0, 1), uv2 = MakeLine(2, 3);
    auto both = Make<KPIEdge_i>(5);
    both->SetWithXYZandUVCurves(1, 2, KTRAV_SAME, KTRAV_SAME, xyz, uv1, uv2);
    EXPECT_EQ(both->GetEdgeType(), 5);
    ExpectStored(RecordMode(), xyz, [&] { return both->GetXYZCurve(); });
    ExpectStored(RecordMode(), uv2, [&] { return both->GetCurve2(); });
    ExpectPoint(KPILine::cast(both->GetXYZCurve().get())->GetEnd1(), 10, 0, 0);
    ExpectPoint(KPILine::cast(both->GetCurve2().get())->GetEnd0(), 2, 0, 0);
    EXPECT_FALSE(both->GetSrfPoints1());

    auto onlyXyz = Make<KPIEdge_i>(6);
    onlyXyz->SetWithXYZCurve(1, 2, xyz, KTRAV_SAME, KTRAV_OPPOSITE);
    EXPECT_EQ(onlyXyz->GetEdgeType(), 1);
    EXPECT_FALSE(onlyXyz->GetCurve1());

    auto onlyUv = Make<KPIEdge_i>(7);
    onlyUv->SetWithUVCurves(1, -1, uv1, nullptr, KTRAV_SAME, KTRAV_NONE);
    EXPECT_EQ(onlyUv->GetEdgeType(), 4);
    EXPECT_TRUE(onlyUv->GetCurve1());
    EXPECT_FALSE(onlyUv->GetCurve2());
    EXPECT_FALSE(onlyUv->GetXYZCurve());

    auto nothing = Make<KPIEdge_i>(8);
    nothing->SetWithXYZandUVCurves(1, 2, KTRAV_NONE, KTRAV_NONE, nullptr, nullptr, nullptr);
    EXPECT_EQ(nothing->GetEdgeType(), int(0x80000000u));

    EXPECT_INVALID_ARG(onlyXyz->SetWithXYZCurve(1, 2, nullptr, KTRAV_NONE, KTRAV_NONE), 4, 0);
}

TEST(Topology, EdgeCurvesOutliveTheirEdgeAndNeedRecords) {
    ScopedStorageMode record(1);
    xrchandle<KPICurve> curve;
    {
        auto edge = Make<KPIEdge_i>(1);
        edge->SetWithXYZCurve(1, 2, MakeLine(3, 4), KTRAV_SAME, KTRAV_SAME);
        curve = edge->GetXYZCurve();
    }
    ExpectPoint(KPILine::cast(curve.get())->GetEnd1(), 4, 0, 0);

    xrchandle<KPICurve> cacheLine;
    {
        ScopedStorageMode cache(0);
        cacheLine = MakeLine(0, 1);
    }
    auto edge = Make<KPIEdge_i>(2);
    EXPECT_SIMPLE(edge->SetWithXYZCurve(1, 2, cacheLine, KTRAV_SAME, KTRAV_SAME), -2);
    EXPECT_SIMPLE(edge->SetWithUVCurves(1, 2, MakeLine(0, 1), cacheLine, KTRAV_SAME, KTRAV_SAME),
                  -2);
    EXPECT_FALSE(edge->GetRecord());
}

TEST(Topology, WrappedEdgeRecordContentFlags) {
    QelEdgedata* empty = nullptr;
    ASSERT_EQ(qel_edgedata_alloc(&empty), 0);
    const uint32_t faces[2] = {3, 4}, dirs[2] = {1, 2};
    ASSERT_EQ(qel_edgedata_init(9, faces, dirs, nullptr, nullptr, nullptr, empty), 0);
    auto bare = Make<KPIEdge_i>(empty, true);
    EXPECT_EQ(bare->GetId(), 9);
    EXPECT_EQ(bare->GetIdFace2(), 4);
    EXPECT_EQ(bare->GetEdgeType(), int(0x80000000u));
    EXPECT_FALSE(bare->GetSrfPoints1());

    QelEdgedata* full = nullptr;
    ASSERT_EQ(qel_edgedata_alloc(&full), 0);
    QelUvSample* uv = fixtures::xar_of({QelUvSample{{1, 2}, {3, 4}}});
    QelCurvedata xyz = fixtures::line(0, 5), c2 = fixtures::arc();
    QelCurvedata* pair[2] = {nullptr, &c2};
    ASSERT_EQ(qel_edgedata_init(10, faces, dirs, uv, pair, &xyz, full), 0);
    xar_free(uv);
    auto edge = Make<KPIEdge_i>(full, true);
    EXPECT_EQ(edge->GetEdgeType(), 1 | 2 | 4);
    EXPECT_FALSE(edge->GetCurve1());
    EXPECT_EQ(edge->GetCurve2()->GetPICurveType(), KPICURV_ARC);
    EXPECT_DOUBLE_EQ(edge->GetSrfPoints2()->Get(0)->v(), 4);
}

TEST(Topology, NeverSetCacheEdgeHasNoType) {
    ScopedStorageMode cache(0);
    auto edge = Make<KPIEdge_i>(1);
    EXPECT_EQ(edge->GetEdgeType(), int(0x80000000u));
    qel_intf_data* root = nullptr;
    ASSERT_EQ(qel_intf_data_alloc(&root), 0);
    EXPECT_SIMPLE(edge->AppendToIntfData(root), -2);
    qel_intf_data_free(root);
}

// ---- datums ------------------------------------------------------------------------
TEST_P(TopologyModes, DatumOfEachKind) {
    auto csysDatum = Make<KPIDatum_i>(31);
    xrchandle<KCsys> csys = MakeCsys(1, 2, 3);
    csysDatum->Set("frame", csys, nullptr, nullptr);
    EXPECT_EQ(csysDatum->GetItemType(), KPI_DATUM_CSYS);
    EXPECT_EQ(std::string(csysDatum->GetName().c_str()), "frame");
    ExpectStored(RecordMode(), csys, [&] { return csysDatum->GetCsys(); });
    ExpectCsysOrigin(csysDatum->GetCsys(), 1, 2, 3);
    EXPECT_FALSE(csysDatum->GetCurve());
    EXPECT_FALSE(csysDatum->GetPlane());

    auto curveDatum = Make<KPIDatum_i>(32);
    xrchandle<KPICurve> line = MakeLine(0, 7);
    curveDatum->Set("axis", nullptr, line, nullptr);
    EXPECT_EQ(curveDatum->GetItemType(), KPI_DATUM_CURVE);
    ExpectStored(RecordMode(), line, [&] { return curveDatum->GetCurve(); });
    ExpectPoint(KPILine::cast(curveDatum->GetCurve().get())->GetEnd1(), 7, 0, 0);
    EXPECT_FALSE(curveDatum->GetCsys());

    auto planeDatum = Make<KPIDatum_i>(33);
    xrchandle<KPIPlane> plane = MakePlane(4);
    planeDatum->Set("top", nullptr, nullptr, plane);
    EXPECT_EQ(planeDatum->GetItemType(), KPI_DATUM_PLANE);
    ExpectStored(RecordMode(), plane, [&] { return planeDatum->GetPlane(); });
    EXPECT_DOUBLE_EQ(OriginZ(planeDatum->GetPlane()->GetCsys()), 4);

    // The coordinate system wins over the others.
    auto mixed = Make<KPIDatum_i>(34);
    mixed->Set("mixed", csys, line, plane);
    EXPECT_EQ(mixed->GetItemType(), KPI_DATUM_CSYS);
    EXPECT_FALSE(mixed->GetCurve());
    EXPECT_FALSE(mixed->GetPlane());

    if (RecordMode()) {
        EXPECT_EQ(csysDatum->GetRecord()->type, QEL_DATUM_CSYS);
        EXPECT_EQ(curveDatum->GetRecord()->type, QEL_DATUM_CURVE);
        EXPECT_EQ(planeDatum->GetRecord()->type, QEL_DATUM_PLANE);
        EXPECT_EQ(planeDatum->GetRecord()->id, 33u);
    }
    EXPECT_INVALID_ARG(mixed->Set("x", nullptr, nullptr, nullptr), 3, 0);
    EXPECT_EQ(mixed->GetItemType(), KPI_DATUM_CSYS);
}

TEST_P(TopologyModes, DatumNameIsCutToTheField) {
    auto datum = Make<KPIDatum_i>(1);
    const std::string longName(40, 'n');
    datum->Set(longName.c_str(), MakeCsys(0, 0, 0), nullptr, nullptr);
    EXPECT_EQ(std::string(datum->GetName().c_str()), std::string(31, 'n'));
    auto unnamed = Make<KPIDatum_i>(2);
    unnamed->Set(nullptr, MakeCsys(0, 0, 0), nullptr, nullptr);
    EXPECT_EQ(std::string(unnamed->GetName().c_str()), "");
}

TEST(Topology, WrappedPlaneDatum) {
    QelDatumdata* rec = nullptr;
    ASSERT_EQ(qel_datumdata_alloc(&rec), 0);
    QelDatumbody body{};
    QelFrame frame = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 6}};
    ASSERT_EQ(qel_datumdata_frame_set(&frame, &body), 0);
    // A name filling all 32 units, without terminator.
    char16_t name[QEL_NAME_LEN];
    for (char16_t& c : name)
        c = u'p';
    ASSERT_EQ(qel_datumdata_init(77, QEL_DATUM_PLANE, name, &body, rec), 0);
    auto datum = Make<KPIDatum_i>(rec, true);
    EXPECT_EQ(datum->GetId(), 77);
    EXPECT_EQ(datum->GetItemType(), KPI_DATUM_PLANE);
    EXPECT_FALSE(datum->GetCurve());
    EXPECT_FALSE(datum->GetCsys());
    EXPECT_EQ(std::string(datum->GetName().c_str()), std::string(32, 'p'));
    xrchandle<KPIPlane> plane = datum->GetPlane();
    datum.release(); // the plane holds its own frame
    EXPECT_DOUBLE_EQ(OriginZ(plane->GetCsys()), 6);
}

TEST(Topology, DatumCurveOutlivesDatum) {
    ScopedStorageMode record(1);
    xrchandle<KPICurve> curve;
    {
        auto datum = Make<KPIDatum_i>(1);
        auto spline = Make<KPISpline_i>();
        spline->SetData(Points({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}),
                        Vectors({{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}), Reals({0, 1, 2}));
        datum->Set("s", nullptr, xrchandle<KPICurve>(spline.get()), nullptr);
        curve = datum->GetCurve();
    }
    ASSERT_EQ(curve->GetPICurveType(), KPICURV_SPLINE);
    EXPECT_EQ(KPISpline::cast(curve.get())->GetPoints()->Count(), 3);
}

// ---- quilts ------------------------------------------------------------------------
TEST_P(TopologyModes, QuiltFaces) {
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    faces->Append(MakeFace(1, 1).get());
    faces->Append(MakeFace(2, 2).get());
    auto quilt = Make<KPIQuilt_i>(50);
    quilt->SetFaces(faces);
    EXPECT_EQ(quilt->GetId(), 50);
    EXPECT_EQ(quilt->GetItemType(), KPI_QUILT);
    xrchandle<KPIFaceList> got = quilt->GetFaces();
    ASSERT_EQ(got->Count(), 2);
    EXPECT_EQ(got->Get(1)->GetId(), 2);
    if (RecordMode()) {
        EXPECT_NE(got->Get(0).get(), faces->Get(0).get());
        EXPECT_EQ(quilt->GetRecord()->id, 50u);
        EXPECT_EQ(xar_count(quilt->GetRecord()->faces), 2);
    } else {
        EXPECT_EQ(got->Get(0).get(), faces->Get(0).get());
    }

    faces->Append(nullptr);
    auto bad = Make<KPIQuilt_i>(51);
    EXPECT_INVALID_ARG(bad->SetFaces(faces), 2, 1);
    EXPECT_FALSE(bad->GetRecord());
}

TEST(Topology, QuiltFacesOutliveTheQuilt) {
    ScopedStorageMode record(1);
    xrchandle<KPISurface> surface;
    xrchandle<KPIFace> face;
    {
        xrchandle<KPIFaceList> faces(KPIFaceList::create());
        faces->Append(MakeFace(4, 9).get());
        auto quilt = Make<KPIQuilt_i>(1);
        quilt->SetFaces(faces);
        face = quilt->GetFaces()->Get(0);
    }
    surface = face->GetPISurface();
    face.release();
    EXPECT_DOUBLE_EQ(OriginZ(KPIPlane::cast(surface.get())->GetCsys()), 9);
}

// ---- conversions and builders over interface data ---------------------------------------
class IntfData : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = xobject_live_count();
        ASSERT_EQ(qel_intf_data_alloc(&root_), 0);
    }
    void TearDown() override {
        if (root_) {
            EXPECT_EQ(qel_intf_data_free(root_), 0);
        }
        EXPECT_EQ(xobject_live_count(), live_);
    }
    int Count(int (*count)(const qel_intf_data*, int32_t*)) {
        int32_t n = -1;
        EXPECT_EQ(count(root_, &n), 0);
        return n;
    }

    qel_intf_data* root_ = nullptr;
    int64_t live_ = 0;
};

// A face record built by hand: a plane at height oz with one contour.
QelSurfacedata* HandFace(uint32_t id, double oz) {
    QelSurfacedata* face = nullptr;
    EXPECT_EQ(qel_surfacedata_alloc(&face), 0);
    QelSurfaceshapedata shape{};
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1}, o[3] = {0, 0, oz};
    EXPECT_EQ(qel_planedata_init(e1, e2, e3, o, &shape), 0);
    const double lo[2] = {0, 0}, hi[2] = {1, 1};
    EXPECT_EQ(qel_surfacedata_init(QEL_SURF_PLANE, lo, hi, 1, &shape, id, face), 0);
    QelContourdata c{};
    c.traversal = 1;
    c.edge_ids = fixtures::xar_of({int32_t(id * 10), int32_t(id * 10 + 1)});
    QelContourdata* contours = fixtures::xar_of({c});
    EXPECT_EQ(qel_surfacedata_contours_set(face, contours), 0);
    xar_free(contours);
    return face;
}

TEST_F(IntfData, BuildersOverHandBuiltRecords) {
    EXPECT_FALSE(BuildFaceList(root_));
    EXPECT_FALSE(BuildEdgeList(root_));
    EXPECT_FALSE(BuildQuiltList(root_));
    EXPECT_FALSE(BuildDatumList(root_));
    EXPECT_FALSE(BuildFaceList(nullptr));

    for (uint32_t id = 1; id <= 2; ++id) {
        QelSurfacedata* face = HandFace(id, double(id));
        ASSERT_EQ(qel_intf_data_surface_append(root_, face), 0);
        qel_data_free(face);
    }
    const uint32_t faces[2] = {1, 2}, dirs[2] = {1, 2};
    for (uint32_t id = 11; id <= 13; ++id) {
        QelEdgedata* edge = nullptr;
        ASSERT_EQ(qel_edgedata_alloc(&edge), 0);
        QelCurvedata line = fixtures::line(0, double(id));
        ASSERT_EQ(qel_edgedata_init(id, faces, dirs, nullptr, nullptr, &line, edge), 0);
        ASSERT_EQ(qel_intf_data_edge_append(root_, edge), 0);
        qel_data_free(edge);
    }
    QelQuiltdata* quilt = nullptr;
    ASSERT_EQ(qel_quiltdata_alloc(&quilt), 0);
    quilt->id = 90;
    QelSurfacedata* qfaces[2] = {HandFace(5, 5), HandFace(6, 6)};
    quilt->faces = fixtures::xar_of({qfaces[0], qfaces[1]});
    ASSERT_EQ(qel_intf_data_quilt_append(root_, quilt), 0);
    qel_data_free(quilt);
    QelDatumdata* datum = nullptr;
    ASSERT_EQ(qel_datumdata_alloc(&datum), 0);
    QelDatumbody body{};
    body.curve = fixtures::spline({0.0, 1.0, 2.0});
    ASSERT_EQ(qel_datumdata_init(70, QEL_DATUM_CURVE, u"c", &body, datum), 0);
    ASSERT_EQ(qel_intf_data_datum_append(root_, datum), 0);
    qel_data_free(datum);

    xrchandle<KPIFaceList> faceList = BuildFaceList(root_);
    xrchandle<KPIEdgeList> edgeList = BuildEdgeList(root_);
    xrchandle<KPIQuiltList> quiltList = BuildQuiltList(root_);
    xrchandle<KPIDatumList> datumList = BuildDatumList(root_);
    ASSERT_EQ(faceList->Count(), 2);
    ASSERT_EQ(edgeList->Count(), 3);
    ASSERT_EQ(quiltList->Count(), 1);
    ASSERT_EQ(datumList->Count(), 1);
    // Every call makes new objects.
    EXPECT_NE(BuildFaceList(root_)->Get(0).get(), faceList->Get(0).get());

    // The objects hold their own copies: they outlive the interface data.
    EXPECT_EQ(qel_intf_data_free(root_), 0);
    root_ = nullptr;
    EXPECT_EQ(faceList->Get(1)->GetId(), 2);
    EXPECT_EQ(IdsOf(faceList->Get(1)->GetPILoopList()->Get(0)->GetEdgeIds()),
              (std::vector<int>{20, 21}));
    EXPECT_EQ(edgeList->Get(2)->GetId(), 13);
    EXPECT_EQ(edgeList->Get(2)->GetEdgeType(), 1);
    ExpectPoint(KPILine::cast(edgeList->Get(2)->GetXYZCurve().get())->GetEnd1(), 13, 1, 0);
    xrchandle<KPIFaceList> quiltFaces = quiltList->Get(0)->GetFaces();
    ASSERT_EQ(quiltFaces->Count(), 2);
    EXPECT_EQ(quiltFaces->Get(1)->GetId(), 6);
    EXPECT_EQ(quiltList->Get(0)->GetId(), 90);
    EXPECT_EQ(datumList->Get(0)->GetItemType(), KPI_DATUM_CURVE);
    EXPECT_EQ(std::string(datumList->Get(0)->GetName().c_str()), "c");
    EXPECT_EQ(datumList->Get(0)->GetCurve()->GetPICurveType(), KPICURV_SPLINE);
}

TEST_F(IntfData, ItemsAppendThemselves) {
    ScopedStorageMode record(1);
    auto face = MakeFace(3, 1);
    face->AppendToIntfData(root_);
    face->AppendToIntfData(root_);
    auto edge = Make<KPIEdge_i>(4);
    edge->SetWithXYZandUVCurves(3, -1, KTRAV_SAME, KTRAV_NONE, MakeLine(0, 1), MakeLine(0, 2),
                                nullptr);
    edge->AppendToIntfData(root_);
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    faces->Append(face.get());
    auto quilt = Make<KPIQuilt_i>(5);
    quilt->SetFaces(faces);
    quilt->AppendToIntfData(root_);
    auto datum = Make<KPIDatum_i>(6);
    datum->Set("d", nullptr, MakeLine(0, 3), nullptr);
    datum->AppendToIntfData(root_);

    EXPECT_EQ(Count(qel_intf_data_surface_count), 2);
    EXPECT_EQ(Count(qel_intf_data_edge_count), 1);
    EXPECT_EQ(Count(qel_intf_data_quilt_count), 1);
    EXPECT_EQ(Count(qel_intf_data_datum_count), 1);

    // The appended records are copies that read back like the items.
    xrchandle<KPIEdge> back = BuildEdgeList(root_)->Get(0);
    EXPECT_EQ(back->GetEdgeType(), 1 | 4);
    EXPECT_EQ(back->GetIdFace1(), 3);
    xrchandle<KPIFace> backFace = BuildFaceList(root_)->Get(1);
    EXPECT_EQ(backFace->GetPISurfaceOrientation(), KPISURFACE_ORIENT_POSITIVE);
    EXPECT_EQ(BuildQuiltList(root_)->Get(0)->GetFaces()->Get(0)->GetId(), 3);
    // Later changes to the item do not reach the interface data.
    face->Set(nullptr, KPISURFACE_ORIENT_NEGATIVE, face->GetPISurface(), nullptr);
    EXPECT_EQ(BuildFaceList(root_)->Get(0)->GetPISurfaceOrientation(), KPISURFACE_ORIENT_POSITIVE);
}

TEST_F(IntfData, CacheItemsConvertFromKeptValuesOrRefuse) {
    ScopedStorageMode cache(0);
    auto edge = Make<KPIEdge_i>(1);
    edge->SetWithPoints(1, 2, UVs({{1, 2}}), UVs({{3, 4}}), KTRAV_SAME, KTRAV_SAME);
    edge->AppendToIntfData(root_);
    auto datum = Make<KPIDatum_i>(2);
    datum->Set("c", MakeCsys(0, 0, 5), nullptr, nullptr);
    datum->AppendToIntfData(root_);
    EXPECT_EQ(Count(qel_intf_data_edge_count), 1);
    EXPECT_EQ(Count(qel_intf_data_datum_count), 1);
    EXPECT_DOUBLE_EQ(BuildEdgeList(root_)->Get(0)->GetSrfPoints2()->Get(0)->u(), 3);
    ExpectCsysOrigin(BuildDatumList(root_)->Get(0)->GetCsys(), 0, 0, 5);

    // A face whose surface has no record cannot be converted; nothing is
    // appended.
    auto face = MakeFace(3, 0);
    EXPECT_SIMPLE(face->AppendToIntfData(root_), -2);
    EXPECT_EQ(Count(qel_intf_data_surface_count), 0);
}

INSTANTIATE_TEST_SUITE_P(Both, TopologyModes, ::testing::Values(1, 0), ModeName);

} // namespace
