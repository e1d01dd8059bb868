#include "geometry_test_util.h"

#include "api/recording_impl.h"
#include "kernel/geometry/curves.h"
#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_routines.h"

#include "xarholder.h"
#include "xmemory.h"

#include <cstring>

namespace {

using CurveModes = StorageModeTest;

// ---- every kind in both modes ------------------------------------------------------

TEST_P(CurveModes, PointAndLine) {
    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    auto point = Make<KPIPoint_i>();
    point->SetData(p);
    EXPECT_EQ(point->GetPICurveType(), KPICURV_POINT);
    EXPECT_EQ(point->GetRecord() != nullptr, RecordMode());
    ExpectStored(RecordMode(), p, [&] { return point->GetPoint3D(); });
    ExpectPoint(point->GetPoint3D(), 1, 2, 3);

    xrchandle<KPoint3D> a = KCreatePoint3D(0, 0, 0), b = KCreatePoint3D(4, 5, 6);
    auto line = Make<KPILine_i>();
    line->SetData(a, b);
    EXPECT_EQ(line->GetPICurveType(), KPICURV_LINE);
    ExpectStored(RecordMode(), a, [&] { return line->GetEnd0(); });
    ExpectStored(RecordMode(), b, [&] { return line->GetEnd1(); });
    ExpectPoint(line->GetEnd1(), 4, 5, 6);
    if (RecordMode()) {
        EXPECT_EQ(line->GetRecord()->kind, QEL_CURVE_LINE);
    }
}

TEST_P(CurveModes, ArcAndEllipse) {
    xrchandle<KCsys> cs = MakeCsys(7, 8, 9);
    auto arc = Make<KPIArc_i>();
    arc->SetData(cs, 0.5, 1.5, 3.0);
    EXPECT_EQ(arc->GetPICurveType(), KPICURV_ARC);
    EXPECT_DOUBLE_EQ(arc->GetEnd0(), 0.5);
    EXPECT_DOUBLE_EQ(arc->GetEnd1(), 1.5);
    EXPECT_DOUBLE_EQ(arc->GetRadius(), 3.0);
    ExpectStored(RecordMode(), cs, [&] { return arc->GetCsys(); });
    ExpectCsysOrigin(arc->GetCsys(), 7, 8, 9);
    if (RecordMode()) {
        const QelArcdata& r = arc->GetRecord()->arc;
        EXPECT_DOUBLE_EQ(r.vector1[0], 1); // X axis
        EXPECT_DOUBLE_EQ(r.vector2[1], 1); // Y axis
        EXPECT_DOUBLE_EQ(r.origin[0], 7);
        EXPECT_DOUBLE_EQ(r.start_angle, 0.5);
    }

    auto ellipse = Make<KPIEllipse_i>();
    ellipse->SetData(cs, 4, 2, 0.1, 0.2);
    EXPECT_EQ(ellipse->GetPICurveType(), KPICURV_ELLIPSE);
    EXPECT_DOUBLE_EQ(ellipse->GetC0(), 4);
    EXPECT_DOUBLE_EQ(ellipse->GetC1(), 2);
    EXPECT_DOUBLE_EQ(ellipse->GetEnd0(), 0.1);
    EXPECT_DOUBLE_EQ(ellipse->GetEnd1(), 0.2);
    ExpectStored(RecordMode(), cs, [&] { return ellipse->GetCsys(); });
    ExpectCsysOrigin(ellipse->GetCsys(), 7, 8, 9);
    if (RecordMode()) {
        EXPECT_DOUBLE_EQ(ellipse->GetRecord()->ellipse.center[0], 7);
        EXPECT_DOUBLE_EQ(ellipse->GetRecord()->ellipse.major_axis[0], 1);
    }
}

TEST_P(CurveModes, Spline) {
    auto pts = Points({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
    auto tans = Vectors({{1, 0, 0}, {1, 0, 0}, {1, -1, 0}});
    auto params = Reals({0, 0.5, 1});
    auto spline = Make<KPISpline_i>();
    spline->SetData(pts, tans, params);
    EXPECT_EQ(spline->GetPICurveType(), KPICURV_SPLINE);
    ExpectStored(RecordMode(), pts, [&] { return spline->GetPoints(); });
    ExpectStored(RecordMode(), tans, [&] { return spline->GetTangents(); });
    ExpectStored(RecordMode(), params, [&] { return spline->GetParameters(); });
    xrchandle<KPoint3DList> got = spline->GetPoints();
    ASSERT_EQ(got->Count(), 3);
    ExpectPoint(got->Get(1), 1, 1, 0);
    EXPECT_DOUBLE_EQ(spline->GetTangents()->Get(2)->y(), -1);
    EXPECT_DOUBLE_EQ(spline->GetParameters()->Get(1), 0.5);
}

TEST_P(CurveModes, RationalBspline) {
    auto knots = Reals({0, 0, 0, 1, 1, 1});
    auto weights = Reals({1, 2, 4});
    auto pts = Points({{0, 0, 0}, {1, 2, 3}, {2, 0, 1}});
    auto bspline = Make<KPIBspline_i>();
    bspline->SetData(2, knots, weights, pts);
    EXPECT_EQ(bspline->GetPICurveType(), KPICURV_BSPLINE);
    EXPECT_EQ(bspline->GetDegree(), 2);
    ExpectStored(RecordMode(), pts, [&] { return bspline->GetPoints(); });
    ExpectStored(RecordMode(), weights, [&] { return bspline->GetWeights(); });
    ExpectStored(RecordMode(), knots, [&] { return bspline->GetParameters(); });
    // Weights divided out again: the points come back as given.
    xrchandle<KPoint3DList> got = bspline->GetPoints();
    ASSERT_EQ(got->Count(), 3);
    ExpectPoint(got->Get(1), 1, 2, 3);
    ExpectPoint(got->Get(2), 2, 0, 1);
    EXPECT_DOUBLE_EQ(bspline->GetWeights()->Get(2), 4);
    if (RecordMode()) {
        // Stored multiplied by their weights.
        EXPECT_DOUBLE_EQ(bspline->GetRecord()->bspline.points[1].xyz[1], 4);
        EXPECT_DOUBLE_EQ(bspline->GetRecord()->bspline.points[2].xyz[2], 4);
    }
}

TEST_P(CurveModes, NonRationalBsplineHasNoWeights) {
    auto bspline = Make<KPIBspline_i>();
    bspline->SetData(1, Reals({0, 0, 1, 1}), nullptr, Points({{0, 0, 0}, {1, 1, 1}}));
    EXPECT_FALSE(bspline->GetWeights());
    ExpectPoint(bspline->GetPoints()->Get(1), 1, 1, 1);
}

TEST_P(CurveModes, BsplineOfDegreeFiveAndUnclampedEndsAreAccepted) {
    auto deg5 = Make<KPIBspline_i>();
    deg5->SetData(5, Reals({0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1}), nullptr,
                  Points({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {3, 1, 0}, {4, 0, 0}, {5, 0, 0}}));
    EXPECT_EQ(deg5->GetDegree(), 5);

    auto unclamped = Make<KPIBspline_i>();
    unclamped->SetData(2, Reals({0, 1, 2, 3, 4, 5}), nullptr,
                       Points({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}));
    xrchandle<xrealsequence> knots = unclamped->GetParameters();
    ASSERT_EQ(knots->Count(), 6);
    EXPECT_DOUBLE_EQ(knots->Get(4), 4);
}

TEST_P(CurveModes, CompositeOfTwoLines) {
    auto l1 = Make<KPILine_i>();
    l1->SetData(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0));
    auto l2 = Make<KPILine_i>();
    l2->SetData(KCreatePoint3D(1, 0, 0), KCreatePoint3D(1, 1, 0));
    xrchandle<KPICurveList> curves(KPICurveList::create());
    curves->Append(xrchandle<KPICurve>(l1.get()));
    curves->Append(xrchandle<KPICurve>(l2.get()));
    auto trav = Ints({1, 0});
    auto comp = Make<KPICompositeCurve_i>();
    comp->SetData(curves, trav);
    EXPECT_EQ(comp->GetPICurveType(), KPICURV_COMP);
    ExpectStored(RecordMode(), curves, [&] { return comp->GetCurves(); });
    ExpectStored(RecordMode(), trav, [&] { return comp->GetTraversals(); });

    xrchandle<KPICurveList> got = comp->GetCurves();
    ASSERT_EQ(got->Count(), 2);
    KPILine* second = KPILine::softcast(got->Get(1).get());
    ASSERT_NE(second, nullptr);
    ExpectPoint(second->GetEnd1(), 1, 1, 0);
    xrchandle<xintsequence> travs = comp->GetTraversals();
    ASSERT_EQ(travs->Count(), 2);
    EXPECT_EQ(travs->Get(0), 1);
    EXPECT_EQ(travs->Get(1), 0);
    if (RecordMode()) {
        // Components are copies: new objects over the composite's record.
        EXPECT_NE(got->Get(0).get(), static_cast<KPICurve*>(l1.get()));
        auto* impl = dynamic_cast<KPICurve_i*>(CastToImpl(got->Get(0).get()));
        ASSERT_NE(impl, nullptr);
        EXPECT_FALSE(impl->OwnsRecord());
        EXPECT_EQ(impl->GetRecord(), &comp->GetRecord()->composite.components[0].curve);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, CurveModes, ::testing::Values(1, 0), ModeName);

// ---- storage mode ----------------------------------------------------------------------

TEST(StorageMode, SwitchReturnsThePreviousValue) {
    const int saved = set_gw_cpid_enable(0);
    EXPECT_EQ(set_gw_cpid_enable(1), 0);
    EXPECT_EQ(set_gw_cpid_enable(7), 1);
    EXPECT_EQ(get_gw_cpid_enable(), 7);
    set_gw_cpid_enable(saved);
}

TEST(StorageMode, ChangingTheModeLeavesExistingObjectsAlone) {
    xrchandle<KPoint3D> p = KCreatePoint3D(1, 2, 3);
    xrchandle<KPIPoint_i> inRecord, inCache;
    {
        ScopedStorageMode mode(1);
        inRecord = Make<KPIPoint_i>();
        inRecord->SetData(p);
    }
    {
        ScopedStorageMode mode(0);
        inCache = Make<KPIPoint_i>();
        inCache->SetData(p);
        // Made in record mode: still reads its record.
        EXPECT_NE(inRecord->GetPoint3D().get(), p.get());
        ExpectPoint(inRecord->GetPoint3D(), 1, 2, 3);
    }
    ScopedStorageMode mode(1);
    EXPECT_EQ(inCache->GetRecord(), nullptr);
    EXPECT_EQ(inCache->GetPoint3D().get(), p.get());
}

// ---- record-mode checks --------------------------------------------------------------------

TEST(CurveRecordMode, SplineParametersMustIncreaseInRecordModeOnly) {
    auto pts = Points({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
    auto tans = Vectors({{1, 0, 0}, {1, 0, 0}, {1, 0, 0}});
    auto params = Reals({0, 1, 1});
    {
        ScopedStorageMode mode(1);
        auto spline = Make<KPISpline_i>();
        EXPECT_SIMPLE(spline->SetData(pts, tans, params), -2);
    }
    ScopedStorageMode mode(0);
    auto spline = Make<KPISpline_i>();
    spline->SetData(pts, tans, params);
    EXPECT_EQ(spline->GetParameters().get(), params.get());
}

TEST(CurveRecordMode, BsplineWeightsMustMatchThePoints) {
    ScopedStorageMode mode(1);
    auto pts = Points({{0, 0, 0}, {1, 1, 0}, {2, 0, 0}});
    auto knots = Reals({0, 0, 0, 1, 1, 1});
    // More weights than points would scale points that do not exist.
    auto bspline = Make<KPIBspline_i>();
    EXPECT_SIMPLE(bspline->SetData(2, knots, Reals({1, 1, 1, 1, 1, 1, 1, 1}), pts), -2);
    auto fewer = Make<KPIBspline_i>();
    EXPECT_SIMPLE(fewer->SetData(2, knots, Reals({1, 2}), pts), -2);
    // Knots out of order are refused, and what the record held is freed.
    auto badKnots = Make<KPIBspline_i>();
    EXPECT_SIMPLE(badKnots->SetData(2, Reals({0, 0, 1, 0.5, 1, 1}), nullptr, pts), -2);
    auto degreeZero = Make<KPIBspline_i>();
    EXPECT_SIMPLE(degreeZero->SetData(0, knots, nullptr, pts), -2);
}

TEST(CurveRecordMode, BsplineRecordWithFewerWeightsThanPointsIsNotOverRead) {
    QelCurvedata rec;
    std::memset(&rec, 0, sizeof(rec));
    rec.bspline.kind = QEL_CURVE_BSPLINE;
    rec.bspline.degree = 1;
    QelPoint pts[3] = {{{0, 0, 0}}, {{1, 0, 0}}, {{2, 0, 0}}};
    const double w[1] = {1};
    rec.bspline.points = static_cast<QelPoint*>(xar_alloc(0, sizeof(QelPoint), 4));
    xar_append(rec.bspline.points, 3, pts);
    rec.bspline.weights = static_cast<double*>(xar_alloc(0, sizeof(double), 4));
    xar_append(rec.bspline.weights, 1, w);
    rec.bspline.point_count = 3; // claims more than the weights hold
    {
        auto wrapped = Make<KPIBspline_i>(&rec, false);
        EXPECT_SIMPLE(wrapped->GetPoints(), -2);
        EXPECT_EQ(wrapped->GetWeights()->Count(), 1);
    }
    // An empty weights array counts as none: every weight is 1.
    xar_free(rec.bspline.weights);
    rec.bspline.weights = static_cast<double*>(xar_alloc(0, sizeof(double), 4));
    {
        auto wrapped = Make<KPIBspline_i>(&rec, false);
        ExpectPoint(wrapped->GetPoints()->Get(2), 2, 0, 0);
        EXPECT_FALSE(wrapped->GetWeights());
    }
    EXPECT_EQ(qel_curvedata_clear(&rec), QEL_OK);
}

TEST(CurveRecordMode, CompositeRefusesBadMembersAndKeepsNothing) {
    ScopedStorageMode mode(1);
    auto line = Make<KPILine_i>();
    line->SetData(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0));
    auto spline = Make<KPISpline_i>();
    spline->SetData(Points({{0, 0, 0}, {1, 1, 0}}), Vectors({{1, 0, 0}, {1, 0, 0}}),
                    Reals({0, 1}));

    // A null member.
    xrchandle<KPICurveList> withNull(KPICurveList::create());
    withNull->Append(xrchandle<KPICurve>(line.get()));
    withNull->Append(nullptr);
    EXPECT_INVALID_ARG(Make<KPICompositeCurve_i>()->SetData(withNull, Ints({0, 0})), 1, 1);

    // A member that is no curve of this library.
    xrchandle<KPICurveList> foreign(KPICurveList::create());
    foreign->Append(xrchandle<KPICurve>(spline.get()));
    foreign->Append(xrchandle<KPICurve>(new KPILine_rec));
    EXPECT_INVALID_ARG(Make<KPICompositeCurve_i>()->SetData(foreign, Ints({0, 0})), 1, 1);

    // A member made in cache mode has no record to copy.
    xrchandle<KPILine_i> cached;
    {
        ScopedStorageMode cache(0);
        cached = Make<KPILine_i>();
        cached->SetData(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0));
    }
    xrchandle<KPICurveList> withCached(KPICurveList::create());
    withCached->Append(xrchandle<KPICurve>(spline.get()));
    withCached->Append(xrchandle<KPICurve>(cached.get()));
    EXPECT_SIMPLE(Make<KPICompositeCurve_i>()->SetData(withCached, Ints({0, 0})), -2);

    // Traversals shorter than the curves: the index error passes, and the
    // copies made so far are freed (leak checker).
    xrchandle<KPICurveList> two(KPICurveList::create());
    two->Append(xrchandle<KPICurve>(spline.get()));
    two->Append(xrchandle<KPICurve>(line.get()));
    Raised r = Catch([&] { Make<KPICompositeCurve_i>()->SetData(two, Ints({0})); });
    EXPECT_EQ(r.kind, Raised::Other);

    // In cache mode the list is kept unchecked.
    ScopedStorageMode cache(0);
    auto unchecked = Make<KPICompositeCurve_i>();
    unchecked->SetData(withNull, Ints({0}));
    EXPECT_EQ(unchecked->GetCurves().get(), withNull.get());
}

TEST(CurveRecordMode, CompositeOfCompositesCopiesDeeply) {
    ScopedStorageMode mode(1);
    auto spline = Make<KPISpline_i>();
    spline->SetData(Points({{0, 0, 0}, {1, 1, 0}}), Vectors({{1, 0, 0}, {1, 0, 0}}),
                    Reals({0, 1}));
    xrchandle<KPICurveList> inner(KPICurveList::create());
    inner->Append(xrchandle<KPICurve>(spline.get()));
    auto innerComp = Make<KPICompositeCurve_i>();
    innerComp->SetData(inner, Ints({1}));
    xrchandle<KPICurveList> outer(KPICurveList::create());
    outer->Append(xrchandle<KPICurve>(innerComp.get()));
    auto outerComp = Make<KPICompositeCurve_i>();
    outerComp->SetData(outer, Ints({0}));
    innerComp.release();
    spline.release();

    xrchandle<KPICurveList> level1 = outerComp->GetCurves();
    KPICompositeCurve* mid = KPICompositeCurve::softcast(level1->Get(0).get());
    ASSERT_NE(mid, nullptr);
    xrchandle<KPICurveList> level2 = mid->GetCurves();
    KPISpline* leaf = KPISpline::softcast(level2->Get(0).get());
    ASSERT_NE(leaf, nullptr);
    ExpectPoint(leaf->GetPoints()->Get(1), 1, 1, 0);
    EXPECT_EQ(mid->GetTraversals()->Get(0), 1);
}

// ---- wrapped records and their owners ---------------------------------------------------

TEST(CurveWrapping, ComponentStaysValidAfterTheCompositeIsReleased) {
    ScopedStorageMode mode(1);
    const int64_t live = xobject_live_count();
    xrchandle<KPICurve> component;
    {
        auto line = Make<KPILine_i>();
        line->SetData(KCreatePoint3D(0, 0, 0), KCreatePoint3D(3, 4, 5));
        xrchandle<KPICurveList> curves(KPICurveList::create());
        curves->Append(xrchandle<KPICurve>(line.get()));
        auto comp = Make<KPICompositeCurve_i>();
        comp->SetData(curves, Ints({0}));
        component = comp->GetCurves()->Get(0);
    }
    // The composite lives on in the component; the record it reads is its.
    KPILine* line = KPILine::softcast(component.get());
    ASSERT_NE(line, nullptr);
    ExpectPoint(line->GetEnd1(), 3, 4, 5);
    component.release();
    EXPECT_EQ(xobject_live_count(), live);
}

TEST(CurveWrapping, OwnedRecordsAreFreedAndWrappedOnesAreNot) {
    // Owned: the object frees it (the leak checker would report it).
    QelCurvedata* owned = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&owned), QEL_OK);
    const double a[3] = {0, 0, 0}, b[3] = {1, 1, 1};
    ASSERT_EQ(qel_linedata_init(a, b, owned), QEL_OK);
    {
        xrchandle<KPICurve> c = MakeCurveFromRecord(owned, true, nullptr);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->GetPICurveType(), KPICURV_LINE);
    }
    // Not owned: the record is still ours to read and free.
    QelCurvedata* mine = nullptr;
    ASSERT_EQ(qel_curvedata_alloc(&mine), QEL_OK);
    ASSERT_EQ(qel_linedata_init(a, b, mine), QEL_OK);
    {
        xrchandle<KPICurve> c = MakeCurveFromRecord(mine, false, nullptr);
        EXPECT_TRUE(KPILine::softcast(c.get()));
    }
    EXPECT_EQ(mine->kind, QEL_CURVE_LINE);
    EXPECT_EQ(qel_curvedata_free(mine), QEL_OK);
}

TEST(CurveWrapping, DispatcherKinds) {
    QelCurvedata rec;
    std::memset(&rec, 0, sizeof(rec));
    EXPECT_FALSE(MakeCurveFromRecord(nullptr, false, nullptr));
    const double v1[3] = {1, 0, 0}, v2[3] = {0, 1, 0};
    ASSERT_EQ(qel_curvekind10_init(&rec, v1, v2, 2.0), QEL_OK);
    EXPECT_FALSE(MakeCurveFromRecord(&rec, false, nullptr));
    rec.kind = QEL_CURVE_CLEARED;
    EXPECT_FALSE(MakeCurveFromRecord(&rec, false, nullptr));
    rec.kind = 0x103; // low byte says arc; the kind is not
    EXPECT_FALSE(MakeCurveFromRecord(&rec, false, nullptr));

    struct Case {
        uint32_t kind;
        KPICurveType type;
    } cases[] = {{QEL_CURVE_POINT, KPICURV_POINT},   {QEL_CURVE_LINE, KPICURV_LINE},
                 {QEL_CURVE_ARC, KPICURV_ARC},       {QEL_CURVE_SPLINE, KPICURV_SPLINE},
                 {QEL_CURVE_BSPLINE, KPICURV_BSPLINE}, {QEL_CURVE_ELLIPSE, KPICURV_ELLIPSE},
                 {QEL_CURVE_COMPOSITE, KPICURV_COMP}};
    for (const Case& c : cases) {
        std::memset(&rec, 0, sizeof(rec));
        rec.kind = c.kind;
        xrchandle<KPICurve> obj = MakeCurveFromRecord(&rec, false, nullptr);
        ASSERT_TRUE(obj) << c.kind;
        EXPECT_EQ(obj->GetPICurveType(), c.type);
    }
    // Getters of empty wrapped arrays answer null lists.
    std::memset(&rec, 0, sizeof(rec));
    rec.kind = QEL_CURVE_SPLINE;
    xrchandle<KPICurve> spline = MakeCurveFromRecord(&rec, false, nullptr);
    EXPECT_FALSE(KPISpline::cast(spline.get())->GetPoints());
    rec.kind = QEL_CURVE_COMPOSITE;
    xrchandle<KPICurve> comp = MakeCurveFromRecord(&rec, false, nullptr);
    EXPECT_FALSE(KPICompositeCurve::cast(comp.get())->GetCurves());
    EXPECT_FALSE(KPICompositeCurve::cast(comp.get())->GetTraversals());
}

TEST(CurveWrapping, WrappedRecordsAreNeverRefilled) {
    QelCurvedata rec;
    std::memset(&rec, 0, sizeof(rec));
    rec.kind = QEL_CURVE_POINT;
    ScopedStorageMode mode(1);
    auto point = Make<KPIPoint_i>(&rec, false);
    EXPECT_SIMPLE(point->SetData(KCreatePoint3D(1, 1, 1)), -2);
    EXPECT_EQ(rec.kind, QEL_CURVE_POINT);
    // A wrapped record of a kind other than its class reads as -18.
    auto arc = Make<KPIArc_i>(&rec, false);
    EXPECT_SIMPLE(arc->GetRadius(), -18);
}

TEST(CurveRecordMode, SplineFromAHeadOwnsItsCopyInEitherMode) {
    QelCurvedata src;
    std::memset(&src, 0, sizeof(src));
    QelPoint pts[2] = {{{0, 0, 0}}, {{1, 1, 0}}};
    QelPoint tans[2] = {{{1, 0, 0}}, {{1, 0, 0}}};
    const double params[2] = {0, 1};
    xarholder<QelPoint> p(4, 0), t(4, 0);
    xarholder<double> u(4, 0);
    for (int i = 0; i < 2; ++i) {
        p.Append(pts[i]);
        t.Append(tans[i]);
        u.Append(params[i]);
    }
    ASSERT_EQ(qel_splinedata_init(u.Data(), p.Data(), t.Data(), 2, &src), QEL_OK);
    ScopedStorageMode mode(0);
    xrchandle<KPISpline> copy = MakeSplineFromHead(&src.spline);
    EXPECT_EQ(qel_curvedata_clear(&src), QEL_OK);
    ExpectPoint(copy->GetPoints()->Get(1), 1, 1, 0);
    EXPECT_SIMPLE(MakeSplineFromHead(nullptr), -2);
}

} // namespace
