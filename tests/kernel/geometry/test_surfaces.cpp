#include "geometry_test_util.h"

#include "api/recording_impl.h"
#include "kernel/geometry/curves.h"
#include "kernel/geometry/geometry_dispatch.h"
#include "kernel/records/qel_routines.h"
#include "kernel/geometry/surfaces.h"

#include "xmemory.h"

#include <cstring>

namespace {

using SurfaceModes = StorageModeTest;

xrchandle<KPILine_i> MakeLine(double x0, double x1) {
    auto line = Make<KPILine_i>();
    line->SetData(KCreatePoint3D(x0, 0, 0), KCreatePoint3D(x1, 1, 0));
    return line;
}

xrchandle<KPISpline_i> MakeSpline(double lift) {
    auto spline = Make<KPISpline_i>();
    spline->SetData(Points({{0, 0, lift}, {1, 1, lift}}), Vectors({{1, 0, 0}, {1, 0, 0}}),
                    Reals({0, 1}));
    return spline;
}

xrchandle<KPISplineSrf_i> MakeSplineSrf() {
    auto srf = Make<KPISplineSrf_i>();
    srf->SetData(Reals({0, 1}), Reals({0, 2}),
                 Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}}), Vectors({}), Vectors({}),
                 Vectors({}));
    return srf;
}

// ---- analytic surfaces -------------------------------------------------------------

TEST_P(SurfaceModes, PlaneCylinderConeTorus) {
    xrchandle<KCsys> cs = MakeCsys(1, 2, 3);
    auto plane = Make<KPIPlane_i>();
    plane->SetData(cs);
    EXPECT_EQ(plane->GetPISurfaceType(), KPISURF_PLANE);
    EXPECT_EQ(plane->GetHostKind(), RecordMode() ? QEL_SURF_PLANE : 0u);
    ExpectStored(RecordMode(), cs, [&] { return plane->GetCsys(); });
    ExpectCsysOrigin(plane->GetCsys(), 1, 2, 3);
    if (RecordMode()) {
        const QelFrame& f = plane->GetRecord()->plane.frame;
        EXPECT_DOUBLE_EQ(f.e1[0], 1);
        EXPECT_DOUBLE_EQ(f.e2[1], 1);
        EXPECT_DOUBLE_EQ(f.origin[2], 3);
    }

    auto cyl = Make<KPICylinder_i>();
    cyl->SetData(cs, 2.5);
    EXPECT_EQ(cyl->GetPISurfaceType(), KPISURF_CYL);
    EXPECT_DOUBLE_EQ(cyl->GetRadius(), 2.5);
    ExpectStored(RecordMode(), cs, [&] { return cyl->GetCsys(); });

    auto cone = Make<KPICone_i>();
    cone->SetData(cs, 0.25);
    EXPECT_EQ(cone->GetPISurfaceType(), KPISURF_CONE);
    EXPECT_DOUBLE_EQ(cone->GetHalfAngle(), 0.25);
    ExpectStored(RecordMode(), cs, [&] { return cone->GetCsys(); });
    if (RecordMode()) {
        // The half angle sits where a cylinder keeps its radius.
        EXPECT_EQ(cone->GetHostKind(), QEL_SURF_CONE);
        EXPECT_DOUBLE_EQ(cone->GetRecord()->cylinder.scalar, 0.25);
        EXPECT_DOUBLE_EQ(cone->GetRecord()->cylinder.frame.e3[2], 1);
    }

    auto torus = Make<KPITorus_i>();
    torus->SetData(cs, 5, 1);
    EXPECT_EQ(torus->GetPISurfaceType(), KPISURF_TORUS);
    EXPECT_DOUBLE_EQ(torus->GetR0(), 5);
    EXPECT_DOUBLE_EQ(torus->GetR1(), 1);
    ExpectStored(RecordMode(), cs, [&] { return torus->GetCsys(); });
    ExpectCsysOrigin(torus->GetCsys(), 1, 2, 3);
}

// ---- surfaces holding curves ---------------------------------------------------------

TEST_P(SurfaceModes, RevolvedRuledTabulated) {
    xrchandle<KCsys> cs = MakeCsys(0, 0, 1);
    auto profile = MakeLine(0, 2);
    auto rev = Make<KPISrfRev_i>();
    rev->SetData(cs, profile);
    EXPECT_EQ(rev->GetPISurfaceType(), KPISURF_SRFREV);
    ExpectStored(RecordMode(), xrchandle<KPICurve>(profile.get()), [&] { return rev->GetCurve(); });
    ExpectStored(RecordMode(), cs, [&] { return rev->GetCsys(); });
    ExpectPoint(KPILine::cast(rev->GetCurve().get())->GetEnd1(), 2, 1, 0);

    auto c1 = MakeLine(0, 1), c2 = MakeLine(5, 6);
    auto ruled = Make<KPIRulSrf_i>();
    ruled->SetData(cs, c1, c2);
    EXPECT_EQ(ruled->GetPISurfaceType(), KPISURF_RULSRF);
    ExpectStored(RecordMode(), xrchandle<KPICurve>(c1.get()), [&] { return ruled->GetCurve1(); });
    ExpectStored(RecordMode(), xrchandle<KPICurve>(c2.get()), [&] { return ruled->GetCurve2(); });
    ExpectPoint(KPILine::cast(ruled->GetCurve2().get())->GetEnd0(), 5, 0, 0);

    auto tab = Make<KPITabCyl_i>();
    tab->SetData(cs, c2);
    EXPECT_EQ(tab->GetPISurfaceType(), KPISURF_TABCYL);
    ExpectStored(RecordMode(), xrchandle<KPICurve>(c2.get()), [&] { return tab->GetCurve(); });
    ExpectCsysOrigin(tab->GetCsys(), 0, 0, 1);
    if (RecordMode()) {
        // Copies: the curves given are neither referenced nor changed.
        EXPECT_EQ(profile->refCount(), 1);
        EXPECT_EQ(c2->refCount(), 1);
        xrchandle<KPICurve> got = rev->GetCurve();
        auto* impl = dynamic_cast<KPICurve_i*>(CastToImpl(got.get()));
        ASSERT_NE(impl, nullptr);
        EXPECT_EQ(impl->GetRecord(), &rev->GetRecord()->srfrev.profile);
        EXPECT_NE(impl->GetRecord(), profile->GetRecord());
    }
}

TEST_P(SurfaceModes, Fillet) {
    auto p = MakeSpline(0), c = MakeSpline(1), t = MakeSpline(2);
    auto fillet = Make<KPIFilSrf_i>();
    fillet->SetData(p, c, t);
    EXPECT_EQ(fillet->GetPISurfaceType(), KPISURF_FILSRF);
    ExpectStored(RecordMode(), xrchandle<KPISpline>(p.get()), [&] { return fillet->GetPointSpline(); });
    ExpectStored(RecordMode(), xrchandle<KPISpline>(c.get()), [&] { return fillet->GetCenterSpline(); });
    ExpectStored(RecordMode(), xrchandle<KPISpline>(t.get()), [&] { return fillet->GetTangentSpline(); });
    ExpectPoint(fillet->GetCenterSpline()->GetPoints()->Get(1), 1, 1, 1);
    ExpectPoint(fillet->GetTangentSpline()->GetPoints()->Get(0), 0, 0, 2);
    if (RecordMode()) {
        // The splines handed out own their copies.
        xrchandle<KPISpline> got = fillet->GetPointSpline();
        auto* impl = dynamic_cast<KPICurve_i*>(CastToImpl(got.get()));
        ASSERT_NE(impl, nullptr);
        EXPECT_TRUE(impl->OwnsRecord());
        EXPECT_NE(impl->GetRecord()->spline.points, fillet->GetRecord()->filsrf.point_spline.points);
    }
}

TEST_P(SurfaceModes, SplineSurfaceWithEmptyTangents) {
    auto u = Reals({0, 1}), v = Reals({0, 2});
    auto pts = Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}});
    auto ut = Vectors({}), vt = Vectors({}), md = Vectors({{0, 0, 1}});
    auto srf = Make<KPISplineSrf_i>();
    srf->SetData(u, v, pts, ut, vt, md);
    EXPECT_EQ(srf->GetPISurfaceType(), KPISURF_SPLN);
    ExpectStored(RecordMode(), u, [&] { return srf->GetUParameters(); });
    ExpectStored(RecordMode(), pts, [&] { return srf->GetPoints(); });
    ExpectStored(RecordMode(), md, [&] { return srf->GetMixedDerivatives(); });
    EXPECT_DOUBLE_EQ(srf->GetVParameters()->Get(1), 2);
    ExpectPoint(srf->GetPoints()->Get(3), 1, 1, 1);
    if (RecordMode()) {
        EXPECT_FALSE(srf->GetUTangents());
        EXPECT_FALSE(srf->GetVTangents());
        EXPECT_EQ(srf->GetRecord()->splinesrf.u_count, 2u);
    } else {
        EXPECT_EQ(srf->GetUTangents().get(), ut.get());
    }
}

TEST_P(SurfaceModes, BsplineSurface) {
    auto u = Reals({0, 0, 1, 1}), v = Reals({0, 0, 1, 1});
    auto pts = Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 2}});
    auto w = Reals({1, 2, 2, 4});
    auto rational = Make<KPIBsplsrf_i>();
    rational->SetData(1, 1, u, v, pts, w);
    EXPECT_EQ(rational->GetPISurfaceType(), KPISURF_BSPLN);
    EXPECT_EQ(rational->GetUDegree(), 1);
    EXPECT_EQ(rational->GetVDegree(), 1);
    ExpectStored(RecordMode(), pts, [&] { return rational->GetPoints(); });
    ExpectStored(RecordMode(), w, [&] { return rational->GetWeights(); });
    ExpectStored(RecordMode(), v, [&] { return rational->GetVParameters(); });
    ExpectPoint(rational->GetPoints()->Get(3), 1, 1, 2);
    if (RecordMode()) {
        EXPECT_DOUBLE_EQ(rational->GetRecord()->bsplinesrf.points[3].xyz[2], 8);
    }

    auto plain = Make<KPIBsplsrf_i>();
    plain->SetData(1, 1, u, v, pts, nullptr);
    EXPECT_FALSE(plain->GetWeights());
    ExpectPoint(plain->GetPoints()->Get(3), 1, 1, 2);
}

TEST_P(SurfaceModes, CylindricalSplineSurface) {
    xrchandle<KCsys> cs = MakeCsys(0, 0, 0);
    auto inner = MakeSplineSrf();
    auto cyl = Make<KPICylSplSrf_i>();
    cyl->SetData(cs, inner);
    EXPECT_EQ(cyl->GetPISurfaceType(), KPISURF_CYLSPLN);
    ExpectStored(RecordMode(), xrchandle<KPISplineSrf>(inner.get()), [&] { return cyl->GetSplsrf(); });
    ExpectStored(RecordMode(), cs, [&] { return cyl->GetCsys(); });
    ExpectPoint(cyl->GetSplsrf()->GetPoints()->Get(3), 1, 1, 1);
    if (RecordMode()) {
        EXPECT_NE(cyl->GetRecord()->cylsplsrf.splinesrf.points,
                  inner->GetRecord()->splinesrf.points);
    }
}

INSTANTIATE_TEST_SUITE_P(Both, SurfaceModes, ::testing::Values(1, 0), ModeName);

// ---- record-mode checks --------------------------------------------------------------

TEST(SurfaceRecordMode, ArgumentsWithoutARecordOrOfAForeignClass) {
    xrchandle<KPILine_i> cachedLine;
    xrchandle<KPISplineSrf_i> cachedSrf;
    {
        ScopedStorageMode cache(0);
        cachedLine = MakeLine(0, 1);
        cachedSrf = MakeSplineSrf();
    }
    ScopedStorageMode mode(1);
    xrchandle<KCsys> cs = MakeCsys(0, 0, 0);
    EXPECT_SIMPLE(Make<KPISrfRev_i>()->SetData(cs, cachedLine), -2);
    EXPECT_SIMPLE(Make<KPIRulSrf_i>()->SetData(cs, MakeLine(0, 1), cachedLine), -2);
    EXPECT_INVALID_ARG(Make<KPITabCyl_i>()->SetData(cs, xrchandle<KPICurve>(new KPILine_rec)), 2, 1);

    // A cylindrical spline surface reads its surface's shape as a spline
    // surface: anything else, or a spline surface without a shape, is
    // refused as a bad second argument.
    xrchandle<KPISplineSrf> foreign(new KPISplineSrf_rec);
    EXPECT_INVALID_ARG(Make<KPICylSplSrf_i>()->SetData(cs, foreign), 2, 1);
    EXPECT_INVALID_ARG(Make<KPICylSplSrf_i>()->SetData(cs, cachedSrf), 2, 1);

    // A fillet takes only splines.
    auto s = MakeSpline(0);
    xrchandle<KPISpline> fakeSpline(new KPISpline_rec);
    EXPECT_INVALID_ARG(Make<KPIFilSrf_i>()->SetData(s, fakeSpline, s), 2, 1);
}

TEST(SurfaceRecordMode, ProfileKindsAndNoLeaksOnFailure) {
    ScopedStorageMode mode(1);
    xrchandle<KCsys> cs = MakeCsys(0, 0, 0);
    auto point = Make<KPIPoint_i>();
    point->SetData(KCreatePoint3D(0, 0, 0));
    EXPECT_SIMPLE(Make<KPISrfRev_i>()->SetData(cs, point), -44);
    // A spline profile is copied and freed with the surface.
    auto spline = MakeSpline(3);
    auto rev = Make<KPISrfRev_i>();
    rev->SetData(cs, spline);
    spline.release();
    ExpectPoint(KPISpline::cast(rev->GetCurve().get())->GetPoints()->Get(0), 0, 0, 3);
    // Ruled between two points is refused; so is a composite, and both
    // copies are freed (leak checker).
    EXPECT_SIMPLE(Make<KPIRulSrf_i>()->SetData(cs, point, point), -44);
    xrchandle<KPICurveList> members(KPICurveList::create());
    members->Append(xrchandle<KPICurve>(MakeSpline(1).get()));
    auto comp = Make<KPICompositeCurve_i>();
    comp->SetData(members, Ints({0}));
    EXPECT_SIMPLE(Make<KPIRulSrf_i>()->SetData(cs, MakeSpline(1), comp), -44);
    EXPECT_SIMPLE(Make<KPITabCyl_i>()->SetData(cs, comp), -44);
}

TEST(SurfaceRecordMode, BsplineSurfaceWeightsMustMatchThePoints) {
    ScopedStorageMode mode(1);
    auto srf = Make<KPIBsplsrf_i>();
    EXPECT_SIMPLE(srf->SetData(1, 1, Reals({0, 0, 1, 1}), Reals({0, 0, 1, 1}),
                               Points({{0, 0, 0}, {1, 0, 0}}), Reals({1, 1, 1, 1, 1, 1, 1})),
                  -2);
}

TEST(SurfaceRecordMode, BsplineSurfaceReadsChunkedNets) {
    // Large control nets are kept in chunked arrays: build one by hand.
    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof(shape));
    void* pts = har_alloc(sizeof(QelPoint), 2);
    void* w = har_alloc(sizeof(double), 2);
    for (int i = 0; i < 5; ++i) {
        QelPoint p = {{2.0 * i, 0, 2}};
        double wi = 2;
        har_append(&pts, &p);
        har_append(&w, &wi);
    }
    shape.bsplinesrf.points = static_cast<QelPoint*>(pts);
    shape.bsplinesrf.weights = static_cast<double*>(w);
    shape.bsplinesrf.point_count = 5;
    {
        xrchandle<KPISurface> s = MakeSurfaceFromRecord(QEL_SURF_BSPLINE, &shape, false, nullptr);
        KPIBsplsrf* b = KPIBsplsrf::cast(s.get());
        xrchandle<KPoint3DList> got = b->GetPoints();
        ASSERT_EQ(got->Count(), 5);
        ExpectPoint(got->Get(4), 4, 0, 1);
        EXPECT_EQ(b->GetWeights()->Count(), 5);
    }
    EXPECT_EQ(qel_surfaceshapedata_clear(QEL_SURF_BSPLINE, &shape), QEL_OK);
}

// ---- wrapped shapes -----------------------------------------------------------------------

TEST(SurfaceWrapping, DispatcherKinds) {
    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof(shape));
    EXPECT_FALSE(MakeSurfaceFromRecord(QEL_SURF_PLANE, nullptr, false, nullptr));
    for (uint32_t kind : {0u, 33u, 35u, 39u, 46u, 47u, 49u})
        EXPECT_FALSE(MakeSurfaceFromRecord(kind, &shape, false, nullptr)) << kind;
    struct Case {
        uint32_t kind;
        KPISurfType type;
    } cases[] = {{34, KPISURF_PLANE},  {36, KPISURF_CYL},     {37, KPISURF_CONE},
                 {38, KPISURF_TORUS},  {40, KPISURF_SPLN},    {41, KPISURF_FILSRF},
                 {42, KPISURF_RULSRF}, {43, KPISURF_SRFREV},  {44, KPISURF_TABCYL},
                 {45, KPISURF_BSPLN},  {48, KPISURF_CYLSPLN}};
    for (const Case& c : cases) {
        xrchandle<KPISurface> s = MakeSurfaceFromRecord(c.kind, &shape, false, nullptr);
        ASSERT_TRUE(s) << c.kind;
        EXPECT_EQ(s->GetPISurfaceType(), c.type);
        auto* impl = dynamic_cast<KPISurface_i*>(CastToImpl(s.get()));
        ASSERT_NE(impl, nullptr);
        EXPECT_EQ(impl->GetHostKind(), c.kind);
        EXPECT_FALSE(impl->OwnsRecord());
    }
}

TEST(SurfaceWrapping, ProfileCurveKeepsItsSurfaceAlive) {
    ScopedStorageMode mode(1);
    const int64_t live = xobject_live_count();
    xrchandle<KPICurve> profile;
    {
        auto rev = Make<KPISrfRev_i>();
        rev->SetData(MakeCsys(0, 0, 0), MakeLine(2, 7));
        profile = rev->GetCurve();
        // The shape's owner is a wrapped face record's keeper in the model;
        // here the surface itself.
        xrchandle<KPISurface> over =
            MakeSurfaceFromRecord(QEL_SURF_REVOLVED, rev->GetRecord(), false,
                                  xrchandle<xobject>(static_cast<xobject*>(rev.get())));
        rev.release();
        ExpectPoint(KPILine::cast(KPISrfRev::cast(over.get())->GetCurve().get())->GetEnd1(), 7,
                    1, 0);
    }
    ExpectPoint(KPILine::cast(profile.get())->GetEnd0(), 2, 0, 0);
    profile.release();
    EXPECT_EQ(xobject_live_count(), live);
}

} // namespace
