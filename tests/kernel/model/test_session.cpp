#include "kernel/geometry/geometry_test_util.h"

#include "kernel/model/model.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/model/session_factory.h"
#include "kernel/model/session_i.h"
#include "neutral/unifs.h"

#include "process.h"
#include "xmemory.h"

#include "file_targets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

const char* const kDisable = "DISABLE_QELKERNEL_JOURNAL";

bool processFactoryIsJournaled() {
    return dynamic_cast<KWPISessionFactory_j*>(KGetPISessionFactory()) != nullptr;
}

TEST(Session, OneSessionForTheProcess) {
    xrchandle<KWPISession> first = KGetPISession();
    ASSERT_NE(first.get(), nullptr);
    KWPISession* session = first.get();
    EXPECT_NE(dynamic_cast<KWPISession_i*>(session), nullptr);
    EXPECT_EQ(KGetPISession().get(), session);
    // The factory keeps its own reference: releasing every handle of the
    // caller leaves the session alive. (Wrappers made by other tests may
    // hold further references, so counts are compared, not fixed.)
    const int held = session->refCount();
    EXPECT_GE(held, 2);
    first.release();
    EXPECT_EQ(session->refCount(), held - 1);
    xrchandle<KWPISession> again = KGetPISession();
    EXPECT_EQ(again.get(), session);
    EXPECT_EQ(again->refCount(), held);
    EXPECT_EQ(KGetPISessionFactory(), KGetPISessionFactory());
}

TEST(Session, ProcessWideStepsRunOnce) {
    KGetPISession();
    const int memory = init_memory_calls();
    EXPECT_GE(memory, 1);
    for (int i = 0; i < 3; ++i)
        KGetPISession();
    EXPECT_EQ(init_memory_calls(), memory);
    EXPECT_EQ(NotifySessionCreatedCalls(), 1);
    // The session registered the file locations; later requests do nothing.
    const int kernel = uni_register_kernel_location_calls();
    const int bnfs = uni_register_bnfs_location_calls();
    EXPECT_GE(kernel, 1);
    EXPECT_GE(bnfs, 1);
    InitFileLocations();
    EXPECT_EQ(unifs_initialize(), 0);
    EXPECT_EQ(uni_register_kernel_location_calls(), kernel);
    EXPECT_EQ(uni_register_bnfs_location_calls(), bnfs);
}

int g_journalingAsked = 0;
bool journalingOn() {
    ++g_journalingAsked;
    return true;
}
bool journalingOff() {
    ++g_journalingAsked;
    return false;
}

TEST(SessionFactoryChoice, VariableFirstThenJournalingSwitch) {
    struct Case {
        const char* disable;
        bool (*journaling)();
        bool journaled;
        int asked;
    } cases[] = {
        {"1", journalingOn, false, 0},  {"", journalingOn, false, 0},
        {"0", journalingOff, false, 0}, {nullptr, journalingOn, true, 1},
        {nullptr, journalingOff, false, 1}, {nullptr, nullptr, false, 0},
    };
    for (const Case& c : cases) {
        g_journalingAsked = 0;
        EXPECT_EQ(KSessionFactoryIsJournaled(c.disable, c.journaling), c.journaled)
            << (c.disable ? c.disable : "(unset)");
        EXPECT_EQ(g_journalingAsked, c.asked);
    }
}

TEST(SessionFactoryChoice, ProcessFactoryFollowsTheChoice) {
    // Nothing in this program changes the variable or the switch before the
    // first session, so the choice made then is the one these give now.
    EXPECT_EQ(processFactoryIsJournaled(),
              KSessionFactoryIsJournaled(btk_getenv(kDisable), &KGetZorvanJournaling));
}

// Runs the first KGetPISession of a fresh process under the given variable
// and switch, then flips both and asks again; reports on stderr.
[[noreturn]] void firstSessionIn(const char* disable, bool journaling) {
    if (disable)
        setenv(kDisable, disable, 1);
    else
        unsetenv(kDisable);
    KSetZorvanJournaling(journaling);
    KWPISession* first = KGetPISession().get();
    const bool journaled = processFactoryIsJournaled();
    if (disable)
        unsetenv(kDisable);
    else
        setenv(kDisable, "1", 1);
    KSetZorvanJournaling(!journaling);
    const bool same = KGetPISession().get() == first;
    InitFileLocations();
    unifs_initialize();
    std::fprintf(stderr, "journaled=%d kept=%d same=%d memory=%d notified=%d quiet=%d files=%d%d\n",
                 journaled, processFactoryIsJournaled() == journaled, same, init_memory_calls(),
                 NotifySessionCreatedCalls(), msg_put_disabled(),
                 uni_register_kernel_location_calls(), uni_register_bnfs_location_calls());
    std::fflush(stderr);
    std::_Exit(0);
}

class FreshProcess : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FreshProcess, VariableSetMeansPlainWhateverTheSwitch) {
    EXPECT_EXIT(firstSessionIn("1", true), ::testing::ExitedWithCode(0),
                "journaled=0 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

TEST_F(FreshProcess, SwitchOnMeansJournaled) {
    EXPECT_EXIT(firstSessionIn(nullptr, true), ::testing::ExitedWithCode(0),
                "journaled=1 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

TEST_F(FreshProcess, SwitchOffMeansPlain) {
    EXPECT_EXIT(firstSessionIn(nullptr, false), ::testing::ExitedWithCode(0),
                "journaled=0 kept=1 same=1 memory=1 notified=1 quiet=1 files=11");
}

} // namespace

// ---- the session's factories ------------------------------------------------------

namespace {

// The session exists before the fixture counts live objects.
class SessionFactories : public StorageModeTest {
protected:
    void SetUp() override {
        session = KGetPISession();
        StorageModeTest::SetUp();
    }
    void TearDown() override { StorageModeTest::TearDown(); }
    xrchandle<KWPISession> session;
};

xrchandle<KPICurve> Line() {
    return KGetPISession()->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0));
}

xrchandle<KPISpline> Spline(double z) {
    return KGetPISession()->CreatePISpline(Points({{0, 0, z}, {1, 0, z}}),
                                           Vectors({{1, 0, 0}, {1, 0, 0}}), Reals({0, 1}));
}

xrchandle<KPISplineSrf> SplineSurface() {
    return KGetPISession()->CreatePISplsrf(
        Reals({0, 1}), Reals({0, 1}), Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}),
        Vectors({{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}}),
        Vectors({{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}}),
        Vectors({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}));
}

TEST_P(SessionFactories, NullHandlesAreRefusedInArgumentOrder) {
    auto csys = MakeCsys(0, 0, 0);
    auto p = KCreatePoint3D(0, 0, 0);
    auto curve = Line();
    EXPECT_INVALID_ARG(session->CreatePIPoint(nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePILine(nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePILine(p, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePIArc(nullptr, 0, 1, 1), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIEllipse(nullptr, 2, 1, 0, 1), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIPlane(nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePICylinder(nullptr, 1), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePICone(nullptr, 0.5), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePITorus(nullptr, 2, 1), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIRevolved(nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIRevolved(csys, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePIRuledSrf(nullptr, nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIRuledSrf(csys, nullptr, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePIRuledSrf(csys, curve, nullptr), 3, 0);
    EXPECT_INVALID_ARG(session->CreatePITabCylinder(nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePITabCylinder(csys, nullptr), 2, 0);
    auto s = Spline(0);
    EXPECT_INVALID_ARG(session->CreatePIFilletSrf(nullptr, nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePIFilletSrf(s, nullptr, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePIFilletSrf(s, s, nullptr), 3, 0);
    EXPECT_INVALID_ARG(session->CreatePICylSplineSrf(nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePICylSplineSrf(csys, nullptr), 2, 0);

    // Spline surfaces: one check per argument, in argument order.
    auto r = Reals({0, 1});
    auto pts = Points({{0, 0, 0}});
    auto v = Vectors({{0, 0, 1}});
    EXPECT_INVALID_ARG(session->CreatePISplsrf(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePISplsrf(r, nullptr, nullptr, nullptr, nullptr, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePISplsrf(r, r, nullptr, nullptr, nullptr, nullptr), 3, 0);
    EXPECT_INVALID_ARG(session->CreatePISplsrf(r, r, pts, nullptr, nullptr, nullptr), 4, 0);
    EXPECT_INVALID_ARG(session->CreatePISplsrf(r, r, pts, v, nullptr, nullptr), 5, 0);
    EXPECT_INVALID_ARG(session->CreatePISplsrf(r, r, pts, v, v, nullptr), 6, 0);
}

TEST_P(SessionFactories, SplineChecksCountsBeforeLookingFurther) {
    // One point: (1, 6) before the tangents are read, even when they are null.
    EXPECT_INVALID_ARG(session->CreatePISpline(nullptr, nullptr, nullptr), 1, 0);
    EXPECT_INVALID_ARG(session->CreatePISpline(Points({{0, 0, 0}}), nullptr, nullptr), 1, 6);
    auto two = Points({{0, 0, 0}, {1, 0, 0}});
    EXPECT_INVALID_ARG(session->CreatePISpline(two, nullptr, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePISpline(two, Vectors({{1, 0, 0}}), nullptr), 2, 7);
    auto tangents = Vectors({{1, 0, 0}, {1, 0, 0}});
    EXPECT_INVALID_ARG(session->CreatePISpline(two, tangents, nullptr), 3, 0);
    EXPECT_INVALID_ARG(session->CreatePISpline(two, tangents, Reals({0, 1, 2})), 3, 7);
    xrchandle<KPISpline> spline = session->CreatePISpline(two, tangents, Reals({0, 1}));
    ASSERT_TRUE(spline);
    EXPECT_EQ(spline->GetPICurveType(), KPICURV_SPLINE);
    // What the setter refuses (parameters that do not increase) passes
    // through; in cache mode the setter only keeps them.
    Raised r = Catch([&] { session->CreatePISpline(two, tangents, Reals({1, 1})); });
    EXPECT_EQ(r.kind, RecordMode() ? Raised::Simple : Raised::None);
}

TEST_P(SessionFactories, CompositeCurveChecksCountThenEveryTraversal) {
    EXPECT_INVALID_ARG(session->CreatePICompositeCurve(nullptr, nullptr), 1, 0);
    xrchandle<KPICurveList> empty(KPICurveList::create());
    EXPECT_INVALID_ARG(session->CreatePICompositeCurve(empty, nullptr), 2, 0);
    xrchandle<KPICompositeCurve> none = session->CreatePICompositeCurve(empty, Ints({}));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->GetPICurveType(), KPICURV_COMP);

    xrchandle<KPICurveList> three(KPICurveList::create());
    for (int i = 0; i < 3; ++i)
        three->Append(Line());
    // One traversal too many: refused before any value is looked at.
    EXPECT_INVALID_ARG(session->CreatePICompositeCurve(three, Ints({0, 1, 0, 9})), 2, 7);
    EXPECT_INVALID_ARG(session->CreatePICompositeCurve(three, Ints({0, 1, 2})), 2, 7);
    EXPECT_INVALID_ARG(session->CreatePICompositeCurve(three, Ints({-1, 0, 0})), 2, 7);
    xrchandle<KPICompositeCurve> comp = session->CreatePICompositeCurve(three, Ints({0, 1, 1}));
    ASSERT_TRUE(comp);
    EXPECT_EQ(comp->GetCurves()->Count(), 3);
}

TEST_P(SessionFactories, BsplinesAcceptNullWeights) {
    auto knots = Reals({0, 0, 1, 1});
    auto pts = Points({{0, 0, 0}, {1, 0, 0}});
    EXPECT_INVALID_ARG(session->CreatePIBspline(1, nullptr, nullptr, nullptr), 2, 0);
    EXPECT_INVALID_ARG(session->CreatePIBspline(1, knots, nullptr, nullptr), 4, 0);
    xrchandle<KPIBspline> curve = session->CreatePIBspline(1, knots, nullptr, pts);
    ASSERT_TRUE(curve);
    EXPECT_EQ(curve->GetDegree(), 1);

    auto four = Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    EXPECT_INVALID_ARG(session->CreatePIBsplsrf(1, 1, nullptr, nullptr, nullptr, nullptr), 3, 0);
    EXPECT_INVALID_ARG(session->CreatePIBsplsrf(1, 1, knots, nullptr, nullptr, nullptr), 4, 0);
    EXPECT_INVALID_ARG(session->CreatePIBsplsrf(1, 1, knots, knots, nullptr, nullptr), 5, 0);
    EXPECT_INVALID_ARG(session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({1, 1, 1})), 6, 1);
    xrchandle<KPIBsplsrf> plain = session->CreatePIBsplsrf(1, 1, knots, knots, four, nullptr);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->GetUDegree(), 1);
    EXPECT_TRUE(session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({1, 2, 2, 1})));
}

// A weight of 0, or one that is not finite, would leave its point unreadable
// (the record keeps the point times its weight): refused as weights that do
// not match the points are, by the curve in record mode with status -2 (in
// cache mode when it is written), by the surface with (6, 1).
TEST_P(SessionFactories, BsplinesRefuseZeroAndNonFiniteWeights) {
    auto knots = Reals({0, 0, 1, 1});
    auto two = Points({{0, 0, 0}, {1, 0, 0}});
    auto four = Points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    const double inf = HUGE_VAL;
    for (double bad : {0.0, -0.0, std::nan(""), inf, -inf}) {
        SCOPED_TRACE(bad);
        if (RecordMode())
            EXPECT_SIMPLE(session->CreatePIBspline(1, knots, Reals({1, bad}), two), -2);
        EXPECT_INVALID_ARG(session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({1, 1, bad, 1})),
                           6, 1);
    }
    if (!RecordMode()) { // kept as given, and refused when written
        filetargets::ScratchDir dir;
        xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
        model->AddPIDatum(model->CreatePIDatum(
            1, "c", nullptr, session->CreatePIBspline(1, knots, Reals({1, 0}), two), nullptr));
        EXPECT_SIMPLE(model->WriteZPI(dir.Path("c.xml").c_str()), ZPI_STATUS_DOC_RECORD);
    }
    // Negative weights divide back out.
    EXPECT_TRUE(session->CreatePIBspline(1, knots, Reals({1, -2}), two));
    EXPECT_TRUE(session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({1, -2, 2, 1})));
}

// A point is kept times its weight and divided back out when read: a
// weight, or a product, that would not give the point back within an ulp is
// refused as a zero weight is; everything taken comes back within an ulp.
TEST_P(SessionFactories, BsplinesTakeOnlyWeightsThatGiveTheirPointsBack) {
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    constexpr double least = std::numeric_limits<double>::min(); // smallest normal
    constexpr double most = std::numeric_limits<double>::max();
    struct Case {
        double x, w;
        bool taken;
    };
    const Case cases[] = {
        {1e10, 1e300, false},         // the product overflows
        {0.5, tiny, false},           // a subnormal weight
        {1.23456789e-11, 1e-300, false}, // the product underflows
        {least, 0.5, false},
        {3 * tiny, 0.1, false},       // a subnormal point that does not come back
        {1e10, 1e298, true},
        {most, 1, true},
        {most / 2, -2, true},
        {1.23456789e-11, 1e-290, true},
        {least, 1, true},
        {-least, 4, true},
        {3 * tiny, 1, true},          // a subnormal point, kept as it is
        {3 * tiny, 2, true},
        {0, 1e300, true},
        {2, least, true},
    };
    auto knots = Reals({0, 0, 1, 1});
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " weighted " << c.w);
        auto two = Points({{c.x, 1, 0}, {1, 0, 0}});
        auto four = Points({{c.x, 1, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
        auto inUlp = [&](const xrchandle<KPoint3DList>& back) {
            const double x = back->Get(0)->Get(0);
            return x >= std::nextafter(c.x, -HUGE_VAL) && x <= std::nextafter(c.x, HUGE_VAL);
        };
        if (!c.taken) {
            if (RecordMode()) // cache mode keeps the curve's as given
                EXPECT_SIMPLE(session->CreatePIBspline(1, knots, Reals({c.w, 1}), two), -2);
            EXPECT_INVALID_ARG(
                session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({c.w, 1, 1, 1})), 6, 1);
            continue;
        }
        xrchandle<KPIBspline> curve = session->CreatePIBspline(1, knots, Reals({c.w, 1}), two);
        ASSERT_TRUE(curve);
        EXPECT_TRUE(inUlp(curve->GetPoints())) << curve->GetPoints()->Get(0)->Get(0);
        xrchandle<KPIBsplsrf> surface =
            session->CreatePIBsplsrf(1, 1, knots, knots, four, Reals({c.w, 1, 1, 1}));
        ASSERT_TRUE(surface);
        EXPECT_TRUE(inUlp(surface->GetPoints())) << surface->GetPoints()->Get(0)->Get(0);
    }
}

TEST_P(SessionFactories, EveryFactoryMakesANewObjectOfItsKind) {
    auto csys = MakeCsys(1, 2, 3);
    auto p = KCreatePoint3D(1, 2, 3);
    xrchandle<KPIPoint> a = session->CreatePIPoint(p);
    xrchandle<KPIPoint> b = session->CreatePIPoint(p);
    EXPECT_NE(a.get(), b.get());
    ExpectPoint(a->GetPoint3D(), 1, 2, 3);
    EXPECT_EQ(session->CreatePIArc(csys, 0, 1, 2)->GetRadius(), 2);
    EXPECT_EQ(session->CreatePIEllipse(csys, 3, 2, 0, 1)->GetC0(), 3);
    EXPECT_EQ(session->CreatePIPlane(csys)->GetPISurfaceType(), KPISURF_PLANE);
    EXPECT_EQ(session->CreatePICylinder(csys, 4)->GetRadius(), 4);
    EXPECT_EQ(session->CreatePICone(csys, 0.5)->GetHalfAngle(), 0.5);
    EXPECT_EQ(session->CreatePITorus(csys, 5, 1)->GetR0(), 5);
    EXPECT_EQ(session->CreatePIRevolved(csys, Line())->GetPISurfaceType(), KPISURF_SRFREV);
    EXPECT_EQ(session->CreatePIRuledSrf(csys, Line(), Line())->GetPISurfaceType(), KPISURF_RULSRF);
    EXPECT_EQ(session->CreatePITabCylinder(csys, Line())->GetPISurfaceType(), KPISURF_TABCYL);
    EXPECT_EQ(session->CreatePIFilletSrf(Spline(0), Spline(1), Spline(2))->GetPISurfaceType(),
              KPISURF_FILSRF);
    EXPECT_EQ(SplineSurface()->GetPISurfaceType(), KPISURF_SPLN);
    EXPECT_EQ(session->CreatePICylSplineSrf(csys, SplineSurface())->GetPISurfaceType(),
              KPISURF_CYLSPLN);
}

TEST_P(SessionFactories, ModelsCheckAccuracyTypeThenValue) {
    EXPECT_INVALID_ARG(session->CreatePIModel(KACCURACY_UNDEFINED, 0.01), 1, 1);
    EXPECT_INVALID_ARG(session->CreatePIModel(KACCURACY_UNDEFINED, std::nan("")), 1, 1);
    EXPECT_INVALID_ARG(session->CreatePIModel(KACCURACY_RELATIVE, 1e-9), 2, 1);
    EXPECT_INVALID_ARG(session->CreatePIModel(KACCURACY_RELATIVE, std::nan("")), 2, 1);
    EXPECT_INVALID_ARG(session->CreatePIModel(KACCURACY_ABSOLUTE, -1), 2, 1);
    xrchandle<KWPIModel> other = session->CreatePIModel(KAccuracyType(3), 0.01);
    ASSERT_TRUE(other);
    EXPECT_EQ(int(other->GetAccuracyType()), 3);

    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_RELATIVE, 2e-9);
    auto* impl = dynamic_cast<KWPIModel_i*>(model.get());
    ASSERT_NE(impl, nullptr);
    EXPECT_DOUBLE_EQ(model->GetAccuracy(), 2e-9);
    // Interface data exactly when the storage mode was on.
    ASSERT_EQ(impl->GetIntfData() != nullptr, RecordMode());
    if (RecordMode()) {
        EXPECT_EQ(impl->GetIntfData()->accuracy_type, QEL_ACCURACY_RELATIVE);
        EXPECT_DOUBLE_EQ(impl->GetIntfData()->accuracy, 2e-9);
    }
    EXPECT_EQ(model->CountPIFaces(), 0);
    EXPECT_FALSE(model->GetWPIModelExt());
}

TEST_P(SessionFactories, ModelExtensionsComeWithAnEmptyRecordInBothModes) {
    xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
    auto* impl = dynamic_cast<KWPIModelExt_i*>(ext.get());
    ASSERT_NE(impl, nullptr);
    ASSERT_NE(impl->GetExtendData(), nullptr);
    EXPECT_EQ(impl->GetExtendData()->layers, nullptr);
    EXPECT_EQ(impl->GetExtendData()->faceted_reps, nullptr);
    EXPECT_NE(session->CreatePIModelExt().get(), ext.get());
}

INSTANTIATE_TEST_SUITE_P(StorageModes, SessionFactories, ::testing::Values(1, 0), ModeName);

TEST(SessionObject, KeepsOneJournalWrapper) {
    xrchandle<KWPISession> session = KGetPISession();
    KCommon_i* impl = CastToImpl(session.get());
    ASSERT_NE(impl, nullptr);
    EXPECT_FALSE(impl->IsJournalWrapper());
    EXPECT_EQ(impl->GetJournalWrapper(), impl->GetJournalWrapper());
}

} // namespace
