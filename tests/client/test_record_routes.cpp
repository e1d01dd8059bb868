// Records of every curve and surface kind, with edge values, in every place
// a curve or a surface can take, through every route into the writers: a
// model made from them (CreatePIModel_global) written with WriteZPI, and
// the records handed to the host by request 103 in both formats. Each one
// is refused where it enters, naming the item, or written, read back as
// the same model and written again to the same bytes.
#include "client/fake_host.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_jobs.h"
#include "client/zr_proxy.h"
#include "api/kpi_session.h"
#include "file_targets.h"
#include "memory_stream.h"

#include "kernel/geometry/geometry_test_util.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/model/model.h"
#include "kernel/records/qel_check.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "memory_stream.h"
#include "xml/intfdata_fixtures.h"

#include "uniloc.h"
#include "xmemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixtures::pt;
using fixtures::xar_of;

// ---- curves --------------------------------------------------------------------------

// A rational B-spline of two control points whose second weight is `w` and
// whose second control point is stored as `c` (the record keeps points
// multiplied by their weights).
QelCurvedata WeightedBspline(double w, double c) {
    QelCurvedata b{};
    double* knots = xar_of({0.0, 0.0, 1.0, 1.0});
    double* weights = xar_of({1.0, w});
    QelPoint* points = xar_of({pt(0, 0, 0), pt(c, 1, 0)});
    EXPECT_EQ(qel_bsplinedata_init(1, knots, weights, points, 4, 2, &b), QEL_OK);
    xar_free(knots);
    xar_free(weights);
    xar_free(points);
    return b;
}

QelCurvedata Line(const QelPoint& a, const QelPoint& b) {
    QelCurvedata c{};
    EXPECT_EQ(qel_linedata_init(a.xyz, b.xyz, &c), QEL_OK);
    return c;
}

QelCurvedata Kind40() {
    QelCurvedata c{};
    c.kind40.kind = QEL_CURVE_KIND40;
    c.kind40.block = getmem(16);
    return c;
}

QelCurvedata Kind56() {
    QelCurvedata c{};
    c.kind56.kind = QEL_CURVE_KIND56;
    c.kind56.word = 3;
    c.kind56.curve = zpifix::newCurve(fixtures::line(0, 1));
    return c;
}

// A curve made by `make`, then changed by `change`.
template <class Make, class Change> std::function<QelCurvedata()> Changed(Make make, Change change) {
    return [make, change] {
        QelCurvedata c = make();
        change(c);
        return c;
    };
}

QelCurvedata Cleared() {
    QelCurvedata c{};
    c.kind = QEL_CURVE_CLEARED;
    return c;
}

constexpr double kMax = DBL_MAX;
constexpr double kMinNormal = DBL_MIN;
constexpr double kTiny = std::numeric_limits<double>::denorm_min();
constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Weights at and one step past what a B-spline can carry, and control
// points (kept multiplied by their weights) that do and do not divide back
// out of them.
struct WeightCase {
    const char* name;
    double w, c; // the weight, the stored coordinate
    bool held;
};

std::vector<WeightCase> WeightCases() {
    return {
        {"smallest normal weight", kMinNormal, 1e-300, true},
        {"largest subnormal weight", std::nextafter(kMinNormal, 0.0), 1e-300, false},
        {"smallest weight", kTiny, 0, false},
        {"weight 0", 0.0, 0, false},
        {"weight -0", -0.0, 0, false},
        {"weight NaN", kNaN, 1, false},
        {"weight inf", kInf, 1, false},
        {"weight -inf", -kInf, 1, false},
        {"negative weight", -2.0, -2.0, true},
        {"largest weight", kMax, 1, true},
        {"point at the largest double", 1.0, kMax, true},
        {"point that overflows", 0.5, kMax, false},
        {"point at the smallest double", 2.0, 2 * kTiny, true},
        {"point that underflows", 2.0, kTiny, false},
    };
}

struct CurveCase {
    std::string name;
    std::function<QelCurvedata()> make;
    bool held; // a curve a model holds (read back as it is)
};

std::vector<CurveCase> CurveCases() {
    std::vector<CurveCase> cases = {
        {"point", [] { return fixtures::point(1); }, true},
        {"line", [] { return fixtures::line(0, 2); }, true},
        {"arc", [] { return fixtures::arc(); }, true},
        {"ellipse", [] { return fixtures::ellipse(); }, true},
        {"spline", [] { return fixtures::spline({0.0, 0.5, 1.0}); }, true},
        {"B-spline", [] { return fixtures::bspline(false); }, true},
        {"rational B-spline", [] { return fixtures::bspline(true); }, true},
        {"composite", [] { return fixtures::composite(); }, true},
        {"nested composite", [] { return zpifix::nestedComposite(); }, true},
        {"kind 10", [] { return fixtures::kind10(); }, false},
        {"kind 40", Kind40, false},
        {"kind 56", Kind56, false},
        {"cleared", Cleared, false},
        // Extreme coordinates.
        {"line at the ends of the doubles",
         [] { return Line(pt(kMax, -kMax, kTiny), pt(-0.0, kMinNormal, -kTiny)); }, true},
        {"point at infinity", [] { return Line(pt(kInf, -kInf, 0), pt(0, 0, 0)); }, true},
        {"point not a number", [] { return Line(pt(kNaN, -kNaN, 0), pt(0, 0, 0)); }, true},
        // What the record copy refuses.
        {"spline whose parameters do not increase",
         Changed([] { return fixtures::spline({0.0, 0.5, 1.0}); },
                 [](QelCurvedata& c) { c.spline.params[2] = 0.5; }), false},
        {"spline with a parameter not a number",
         Changed([] { return fixtures::spline({0.0, 0.5, 1.0}); },
                 [](QelCurvedata& c) { c.spline.params[1] = kNaN; }), false},
        {"spline whose count is not its arrays'",
         Changed([] { return fixtures::spline({0.0, 0.5, 1.0}); },
                 [](QelCurvedata& c) { c.spline.count = 2; }), false},
        {"B-spline of degree 0",
         Changed([] { return fixtures::bspline(false); }, [](QelCurvedata& c) { c.bspline.degree = 0; }),
         false},
        {"B-spline of degree 7", // taken, as the object interface takes it
         Changed([] { return fixtures::bspline(false); }, [](QelCurvedata& c) { c.bspline.degree = 7; }),
         true},
        {"B-spline whose knots decrease",
         Changed([] { return fixtures::bspline(false); },
                 [](QelCurvedata& c) { c.bspline.knots[5] = 0.25; }), false},
        {"B-spline whose knot count is not its array's",
         Changed([] { return fixtures::bspline(false); },
                 [](QelCurvedata& c) { c.bspline.knot_count = 5; }), false},
        {"composite without components",
         Changed([] { return fixtures::composite(); },
                 [](QelCurvedata& c) {
                     qel_curvedata_clear(&c);
                     c.kind = QEL_CURVE_COMPOSITE;
                 }),
         false},
    };
    for (const WeightCase& w : WeightCases())
        cases.push_back({w.name, [w] { return WeightedBspline(w.w, w.c); }, w.held});
    return cases;
}

// The kinds of curve a model holds: point, line, arc, spline, B-spline,
// ellipse, composite.
bool HeldKind(uint32_t kind) {
    for (uint32_t held : {1u, 2u, 3u, 12u, 19u, 30u, 41u})
        if (kind == held)
            return true;
    return false;
}

bool ProfileKind(uint32_t kind) {
    return HeldKind(kind) && kind != QEL_CURVE_POINT && kind != QEL_CURVE_COMPOSITE;
}

// ---- places ----------------------------------------------------------------------------

// A face of `kind` over `shape` (taken over), written as face 3 (in quilt
// 30 when `inQuilt`).
void AppendFace(qel_intf_data* root, uint32_t kind, const QelSurfaceshapedata& shape,
                bool inQuilt = false) {
    QelSurfacedata* f = nullptr;
    EXPECT_EQ(qel_surfacedata_alloc(&f), QEL_OK);
    const double uvmin[2] = {0, 0}, uvmax[2] = {1, 1};
    EXPECT_EQ(qel_surfacedata_init(kind, uvmin, uvmax, 1, &shape, 3, f), QEL_OK);
    if (inQuilt)
        zpifix::appendQuilt(root, 30, {f});
    else
        zpifix::appendFace(root, f);
}

QelSurfaceshapedata Swept(const QelCurvedata& profile) {
    QelSurfaceshapedata s{};
    s.srfrev.frame = zpifix::frame(1);
    s.srfrev.profile = profile;
    return s;
}

QelSurfaceshapedata Ruled(const QelCurvedata& one, const QelCurvedata& two) {
    QelSurfaceshapedata s{};
    s.rulsrf.frame = zpifix::frame(2);
    s.rulsrf.curve1 = one;
    s.rulsrf.curve2 = two;
    return s;
}

struct Place {
    const char* name;
    const char* item; // how the item is named where it is refused
    std::function<void(qel_intf_data*, QelCurvedata&)> put;
    std::function<bool(const QelCurvedata&)> takes;
};

bool OnEdge(const QelCurvedata& c) { return HeldKind(c.kind) || c.kind == QEL_CURVE_CLEARED; }
bool Held(const QelCurvedata& c) { return HeldKind(c.kind); }
bool Profile(const QelCurvedata& c) { return ProfileKind(c.kind); }
// A ruled surface also holds a composite curve, which a document carries in
// full and a neutral part cannot hold.
bool RuledCurve(const QelCurvedata& c) {
    return Profile(c) || c.kind == QEL_CURVE_POINT || c.kind == QEL_CURVE_COMPOSITE;
}

std::vector<Place> Places() {
    return {
        {"edge XYZ curve", "edge 7",
         [](qel_intf_data* r, QelCurvedata& c) { zpifix::appendEdge(r, 7, 2, nullptr, nullptr, &c); },
         OnEdge},
        {"edge UV curve 1", "edge 7",
         [](qel_intf_data* r, QelCurvedata& c) { zpifix::appendEdge(r, 7, 2, &c, nullptr, nullptr); },
         OnEdge},
        {"edge UV curve 2", "edge 7",
         [](qel_intf_data* r, QelCurvedata& c) {
             QelCurvedata uv1 = fixtures::line(0, 1);
             zpifix::appendEdge(r, 7, 2, &uv1, &c, nullptr);
         },
         OnEdge},
        {"datum curve", "datum 9",
         [](qel_intf_data* r, QelCurvedata& c) {
             zpifix::appendDatum(r, 9, QEL_DATUM_CURVE, u"D", &c);
         },
         Held},
        {"component of an edge's composite", "edge 7",
         [](qel_intf_data* r, QelCurvedata& c) {
             QelCurvedata comp = fixtures::compositeOf(fixtures::line(0, 1), c);
             zpifix::appendEdge(r, 7, -1, nullptr, nullptr, &comp);
         },
         Held},
        {"component of a datum's composite", "datum 9",
         [](qel_intf_data* r, QelCurvedata& c) {
             const QelCurvedata comp = fixtures::compositeOf(c, fixtures::arc());
             zpifix::appendDatum(r, 9, QEL_DATUM_CURVE, u"D", &comp);
         },
         Held},
        {"profile of a surface of revolution", "face 3",
         [](qel_intf_data* r, QelCurvedata& c) { AppendFace(r, QEL_SURF_REVOLVED, Swept(c)); },
         Profile},
        {"curve of a tabulated cylinder", "face 3",
         [](qel_intf_data* r, QelCurvedata& c) { AppendFace(r, QEL_SURF_TABCYL, Swept(c)); },
         Profile},
        {"curve 1 of a ruled surface", "face 3",
         [](qel_intf_data* r, QelCurvedata& c) {
             AppendFace(r, QEL_SURF_RULED, Ruled(c, fixtures::line(0, 1)));
         },
         RuledCurve},
        {"curve 2 of a ruled surface", "face 3",
         [](qel_intf_data* r, QelCurvedata& c) {
             AppendFace(r, QEL_SURF_RULED, Ruled(fixtures::arc(), c));
         },
         RuledCurve},
    };
}

// ---- the routes -----------------------------------------------------------------------

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

qel_intf_data* IntfDataOf(const xrchandle<KWPIModel>& model) {
    auto* impl = dynamic_cast<KWPIModel_i*>(CastToImpl(model.get()));
    return impl ? impl->GetIntfData() : nullptr;
}

qel_intf_data_extend* ExtensionOf(const xrchandle<KWPIModel>& model) {
    xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
    auto* impl = ext ? dynamic_cast<KWPIModelExt_i*>(CastToImpl(ext.get())) : nullptr;
    return impl ? impl->GetExtendData() : nullptr;
}

class RecordRoutes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.Ok());
        ::unsetenv("GG_TEMP_FILE");
        proxy = ZrInitializeClient(host.Url().c_str());
        ASSERT_TRUE(proxy);
        url = ZrGetCallbackUrl().str();
    }
    void TearDown() override {
        ZrInitBinding(); // a translator a test registered
        ZrSetImportFormat(0);
        proxy.release();
        ZrShutdownClient();
    }

    std::string HandedOver(const char* name) {
        std::string bytes;
        EXPECT_TRUE(unimemlocation::GetRegistered()->ReadFile((std::string("/ZPI/") + name).c_str(),
                                                              bytes, nullptr));
        return bytes;
    }

    // Takes `data` and `extension` (both freed here; none: an empty one)
    // through every route: refused at the entry when `held` is false,
    // naming `item`; otherwise written, read back as the same model and
    // written again to the same bytes, and handed over in both formats (in
    // the neutral one refused, naming `item`, when `neutralHolds` is false).
    void Run(qel_intf_data* data, bool held, const std::string& item,
             qel_intf_data_extend* extension = nullptr, bool neutralHolds = true) {
        QelIntfDataPtr holder(data);
        qel_intf_data_extend empty{};
        qel_intf_data_extend& ext = extension ? *extension : empty;
        const std::unique_ptr<qel_intf_data_extend, void (*)(qel_intf_data_extend*)> extHolder(
            extension, zpifix::freeExtension);
        KWPIModel* made = nullptr;
        ::testing::internal::CaptureStderr();
        const int created = CreatePIModel_global(data, &ext, &made);
        const std::string toldAtEntry = ::testing::internal::GetCapturedStderr();
        xrchandle<KWPIModel> model(made);
        const size_t sent = host.Count();
        if (!held) {
            EXPECT_EQ(created, 0);
            EXPECT_FALSE(model);
            EXPECT_NE(toldAtEntry.find(item), std::string::npos) << toldAtEntry;
            if (model) { // what was taken all the same must not be written
                std::string raised;
                try {
                    model->WriteZPI(dir.Path("refused.xml").c_str());
                } catch (const xthrown& e) {
                    raised = e.what();
                }
                EXPECT_NE(raised.find(item), std::string::npos) << raised;
            }
            for (int format : {0, 1}) {
                ZrSetImportFormat(format);
                int feature = 0;
                ::testing::internal::CaptureStderr();
                EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, data, &ext, &feature),
                          100)
                    << "format " << format;
                const std::string told = ::testing::internal::GetCapturedStderr();
                EXPECT_EQ(told.rfind("request 103 not sent: ", 0), 0u) << told;
                EXPECT_NE(told.find(item), std::string::npos) << told;
                EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
            }
            EXPECT_EQ(host.Count(), sent);
            return;
        }
        ASSERT_EQ(created, 1) << toldAtEntry;
        ASSERT_TRUE(model);
        EXPECT_EQ(toldAtEntry, "");
        const std::string first = dir.Path("first.xml"), again = dir.Path("again.xml");
        ASSERT_NO_THROW(model->WriteZPI(first.c_str()));
        ::testing::internal::CaptureStderr();
        xrchandle<KWPIModel> back = KGetPISession()->ReadZPI(first.c_str());
        const std::string toldOnRead = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(back) << toldOnRead;
        EXPECT_EQ(toldOnRead, "");
        zpifix::expectSameIntfData(IntfDataOf(model), IntfDataOf(back));
        if (extension)
            zpifix::expectSameExtension(extension, ExtensionOf(back));
        ASSERT_NO_THROW(back->WriteZPI(again.c_str()));
        const std::string bytes = ReadAll(first);
        EXPECT_EQ(ReadAll(again), bytes);
        for (int format : {0, 1}) {
            ZrSetImportFormat(format);
            int feature = 0;
            const bool refused = format == 0 && !neutralHolds;
            ::testing::internal::CaptureStderr(); // what a neutral part leaves out
            EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, data, &ext, &feature),
                      refused ? 100 : 0)
                << "format " << format;
            const std::string told = ::testing::internal::GetCapturedStderr();
            if (refused) {
                EXPECT_EQ(told.rfind("request 103 not sent: " + item, 0), 0u) << told;
            }
        }
        EXPECT_EQ(HandedOver("zpi.xml"), bytes);
        EXPECT_EQ(host.Count(), sent + (neutralHolds ? 2 : 1));
    }

    zr_test::FakeHost host;
    xrchandle<ZorvanProxy> proxy;
    std::string url;
    filetargets::ScratchDir dir;
};

TEST_F(RecordRoutes, EveryCurveInEveryPlaceIsRefusedWhereItEntersOrWrittenAndReadBackAsItIs) {
    for (const Place& place : Places()) {
        for (const CurveCase& c : CurveCases()) {
            SCOPED_TRACE(c.name + " as " + place.name);
            QelCurvedata curve = c.make();
            // A cleared curve stands for none: only an edge may have none.
            const bool held = place.takes(curve) && (c.held || curve.kind == QEL_CURVE_CLEARED);
            qel_intf_data* data = nullptr;
            ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
            data->accuracy_type = QEL_ACCURACY_ABSOLUTE;
            data->accuracy = 0.01;
            place.put(data, curve);
            const bool ruled = std::string(place.name).find("ruled") != std::string::npos;
            Run(data, held, place.item, nullptr, !(ruled && curve.kind == QEL_CURVE_COMPOSITE));
        }
    }
}

TEST_F(RecordRoutes, EverySurfaceKindAndBsplineSurfaceWeightsAreRefusedWhereTheyEnterOrReadBack) {
    // Kinds with an element, kind 0 (no surface: an empty "Shape"), and
    // kinds without one, which would read back as kind 0.
    std::vector<uint32_t> kinds(std::begin(zpifix::kSurfaceKinds), std::end(zpifix::kSurfaceKinds));
    for (uint32_t kind : kinds) {
        SCOPED_TRACE("surface kind " + std::to_string(kind));
        qel_intf_data* data = nullptr;
        ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
        zpifix::appendFace(data, zpifix::face(kind, 3, 1, 2));
        // The same kind inside a quilt.
        zpifix::appendQuilt(data, 30, {zpifix::face(kind, 31, -1, 1)});
        Run(data, true, "face 3");
    }
    for (uint32_t kind : {0u, 35u, 39u, 46u, 47u, 49u, 99u}) {
        for (bool inQuilt : {false, true}) {
            SCOPED_TRACE("surface kind " + std::to_string(kind) + (inQuilt ? " in a quilt" : ""));
            qel_intf_data* data = nullptr;
            ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
            AppendFace(data, kind, QelSurfaceshapedata{}, inQuilt);
            Run(data, kind == 0, inQuilt ? "quilt 30, face 3: its surface kind"
                                         : "face 3: its surface kind");
        }
    }
    // Shapes the record copy refuses.
    const struct {
        const char* name;
        uint32_t kind;
        std::function<void(QelSurfaceshapedata&)> change;
    } shapes[] = {
        {"fillet spline whose parameters do not increase", QEL_SURF_FILLET,
         [](QelSurfaceshapedata& s) { s.filsrf.center_spline.params[1] = -1; }},
        {"fillet spline whose count is not its arrays'", QEL_SURF_FILLET,
         [](QelSurfaceshapedata& s) { s.filsrf.tangent_spline.count = 9; }},
        {"spline surface whose counts are not its arrays'", QEL_SURF_SPLINE,
         [](QelSurfaceshapedata& s) { s.splinesrf.u_count = 50; }},
        {"spline surface whose counts multiply past 64 bits", QEL_SURF_SPLINE,
         [](QelSurfaceshapedata& s) { s.splinesrf.u_count = s.splinesrf.v_count = 4193909241u; }},
        {"cylindrical spline surface whose counts are not its arrays'", QEL_SURF_CYLSPLINE,
         [](QelSurfaceshapedata& s) { s.cylsplsrf.splinesrf.v_count = 1; }},
        {"B-spline surface whose knot count is not its array's", QEL_SURF_BSPLINE,
         [](QelSurfaceshapedata& s) { s.bsplinesrf.u_knot_count = 50; }},
    };
    for (const auto& c : shapes) {
        SCOPED_TRACE(c.name);
        qel_intf_data* data = nullptr;
        ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
        QelSurfacedata* f = zpifix::face(c.kind, 3, 1, 0);
        c.change(f->shape);
        zpifix::appendFace(data, f);
        Run(data, false, "face 3");
    }
    {
        // A fillet surface whose spline says it is of another kind.
        SCOPED_TRACE("fillet surface holding a B-spline");
        QelSurfaceshapedata s = zpifix::shape(QEL_SURF_FILLET);
        QelSplinedata& head = s.filsrf.point_spline;
        xar_free(head.params);
        xar_free(head.points);
        xar_free(head.tangents);
        s.filsrf.point_spline = QelSplinedata{QEL_CURVE_BSPLINE, nullptr, nullptr, nullptr, 0};
        qel_intf_data* data = nullptr;
        ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
        AppendFace(data, QEL_SURF_FILLET, s);
        Run(data, false, "face 3, its point spline");
    }
    for (bool inQuilt : {false, true}) {
        for (const WeightCase& w : WeightCases()) {
            SCOPED_TRACE(std::string(w.name) + (inQuilt ? " in a quilt" : ""));
            QelSurfaceshapedata s{};
            const uint32_t degrees[2] = {1, 1};
            double* u = xar_of({0.0, 0.0, 1.0, 1.0});
            double* v = xar_of({0.0, 0.0, 1.0, 1.0});
            double* weights = xar_of({1.0, w.w, 1.0, 1.0});
            QelPoint* points = xar_of({pt(0, 0, 0), pt(w.c, 0, 1), pt(0, 1, 0), pt(1, 1, 0)});
            ASSERT_EQ(qel_bsplinesrfdata_init(degrees, u, v, weights, points, 4, 4, 4, &s), QEL_OK);
            for (void* arr : {(void*)u, (void*)v, (void*)weights, (void*)points})
                xar_free(&arr);
            qel_intf_data* data = nullptr;
            ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
            AppendFace(data, QEL_SURF_BSPLINE, s, inQuilt);
            Run(data, w.held, inQuilt ? "quilt 30, face 3" : "face 3");
        }
    }
}

} // namespace

namespace {

void SetName(char16_t* field, std::u16string_view text) {
    std::memset(field, 0, sizeof(char16_t) * QEL_NAME_LEN);
    std::copy(text.begin(), text.end(), field);
}

QelDatumdata& DatumOf(qel_intf_data* data) {
    return *static_cast<QelDatumdata*>(har_access(data->datums, 0, nullptr, nullptr));
}

QelGenAttribdata& AttributeOf(qel_intf_data_extend* ext) {
    return *static_cast<QelGenAttribdata*>(har_access(ext->attributes, 0, nullptr, nullptr));
}

const std::u16string kLone{u'a', char16_t(0xD800), u'b'};
const std::u16string kFull(QEL_NAME_LEN, u'n');

TEST_F(RecordRoutes, NamesNumbersQuiltsAndExtensionsAreRefusedWhereTheyEnterOrReadBack) {
    // Each case changes a record of a plane datum, or the full extension.
    const struct {
        const char* name;
        std::function<void(qel_intf_data*, qel_intf_data_extend*)> change;
        bool held;
        const char* item;
    } cases[] = {
        {"datum name with a lone surrogate",
         [](qel_intf_data* d, qel_intf_data_extend*) { SetName(DatumOf(d).name, kLone); }, false,
         "datum 9: its name: it holds a lone surrogate (U+D800) at unit 1"},
        {"datum name filling its field",
         [](qel_intf_data* d, qel_intf_data_extend*) { SetName(DatumOf(d).name, kFull); }, false,
         "datum 9: its name: it fills all 32 units"},
        {"datum name of 31 units with a pair, line end and tab",
         [](qel_intf_data* d, qel_intf_data_extend*) {
             SetName(DatumOf(d).name, std::u16string(27, u'n') + u"\n\t\U0001F600");
         },
         true, ""},
        {"coordinates not a number",
         [](qel_intf_data* d, qel_intf_data_extend*) {
             d->outline[1] = kNaN;
             DatumOf(d).body.frame.origin[2] = -kNaN;
         },
         true, ""},
        {"quilt with an empty slot",
         [](qel_intf_data* d, qel_intf_data_extend*) {
             zpifix::appendQuilt(d, 30, {zpifix::face(QEL_SURF_PLANE, 31, 1, 0), nullptr});
         },
         false, "quilt 30 holds no face at index 1"},
        {"layer name with a lone surrogate",
         [](qel_intf_data*, qel_intf_data_extend* e) { SetName(e->layers[1].name, kLone); }, false,
         "layer at index 1: its name: it holds a lone surrogate"},
        {"unit name filling its field",
         [](qel_intf_data*, qel_intf_data_extend* e) { SetName(e->units[0].name, kFull); }, false,
         "unit at index 0: its name: it fills"},
        {"attribute name with a lone surrogate",
         [](qel_intf_data*, qel_intf_data_extend* e) { SetName(AttributeOf(e).name, kLone); },
         false, "attribute at index 0: its name"},
        {"attribute of value kind 4",
         [](qel_intf_data*, qel_intf_data_extend* e) { AttributeOf(e).value_kind = 4; }, false,
         "attribute at index 0 \"attr1\": its value kind 4"},
        {"texture file name with a lone surrogate",
         [](qel_intf_data*, qel_intf_data_extend* e) {
             e->ref_colors[0].bump.file_name[3] = char16_t(0xDC00);
         },
         false, "reference colour at index 0: its bump map's file name"},
        // A name is shown on the refusal's one line: its line end as \x0A.
        {"attribute with a line end in its name, of value kind 4",
         [](qel_intf_data*, qel_intf_data_extend* e) {
             SetName(AttributeOf(e).name, u"a\nb");
             AttributeOf(e).value_kind = 4;
         },
         false, "attribute at index 0 \"a\\x0Ab\": its value kind 4"},
        {"datum of type 7 with a line end in its name",
         [](qel_intf_data* d, qel_intf_data_extend*) {
             SetName(DatumOf(d).name, u"a\nb");
             DatumOf(d).type = 7;
         },
         false, "datum 9 \"a\\x0Ab\": its type 7"},
        {"colour and unit factor not a number",
         [](qel_intf_data*, qel_intf_data_extend* e) {
             e->ref_colors[0].color[1] = kNaN;
             e->units[1].factor = kNaN;
         },
         true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qel_intf_data* data = nullptr;
        ASSERT_EQ(qel_intf_data_alloc(&data), QEL_OK);
        zpifix::appendDatum(data, 9, QEL_DATUM_PLANE, u"P");
        qel_intf_data_extend* ext = zpifix::fullExtension();
        c.change(data, ext);
        Run(data, c.held, c.item, ext);
    }
}

} // namespace

namespace {

// ---- objects made in cache mode ----------------------------------------------------------

using Curve = xrchandle<KPICurve>;

template <class T> Curve AsCurve(const xrchandle<T>& c) {
    return Curve(c.get());
}

Curve ObjectLine() {
    return AsCurve(KGetPISession()->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0)));
}

Curve CompositeOf(const Curve& a, const Curve& b) {
    xrchandle<KPICurveList> curves(KPICurveList::create());
    curves->Append(a);
    curves->Append(b);
    return AsCurve(KGetPISession()->CreatePICompositeCurve(curves, Ints({0, 1})));
}

// Face 3 over `surface`, in the model's faces or alone in quilt 30.
template <class T> void AddFace(KWPIModel* m, const xrchandle<T>& surface, bool inQuilt = false) {
    xrchandle<KPILoopList> loops(KPILoopList::create());
    loops->Append(m->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, Ints({7})));
    xrchandle<KPIFace> face =
        m->CreatePIFace(3, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)),
                        KPISURFACE_ORIENT_POSITIVE, xrchandle<KPISurface>(surface.get()), loops);
    if (!inQuilt)
        return m->AddPIFace(face);
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    faces->Append(face);
    m->AddPIQuilt(m->CreatePIQuilt(30, faces));
}

TEST_F(RecordRoutes, CacheModeWeightFaultsAreRefusedNamingTheItemAndWriteNothing) {
    KWPISession* s = KGetPISession().get();
    // Every place of a curve, named as the refusals name it.
    const struct {
        const char* place;
        std::function<void(KWPIModel*, const Curve&)> put;
    } places[] = {
        {"edge 7, its XYZ curve",
         [](KWPIModel* m, const Curve& c) {
             m->AddPIEdge(m->CreatePIEdgeWithXYZCurve(7, 1, 2, c, KTRAV_SAME, KTRAV_NONE));
         }},
        {"edge 7, its UV curve 1",
         [](KWPIModel* m, const Curve& c) {
             m->AddPIEdge(
                 m->CreatePIEdgeWithUVCurves(7, 1, 2, c, ObjectLine(), KTRAV_SAME, KTRAV_SAME));
         }},
        {"edge 7, its UV curve 2",
         [](KWPIModel* m, const Curve& c) {
             m->AddPIEdge(
                 m->CreatePIEdgeWithUVCurves(7, 1, 2, ObjectLine(), c, KTRAV_SAME, KTRAV_SAME));
         }},
        {"datum 9, its curve",
         [](KWPIModel* m, const Curve& c) {
             m->AddPIDatum(m->CreatePIDatum(9, "D", nullptr, c, nullptr));
         }},
        {"datum 9, its curve, component at index 1, component at index 0",
         [](KWPIModel* m, const Curve& c) {
             const Curve nested = CompositeOf(ObjectLine(), CompositeOf(c, ObjectLine()));
             m->AddPIDatum(m->CreatePIDatum(9, "D", nullptr, nested, nullptr));
         }},
        {"face 3, its profile",
         [s](KWPIModel* m, const Curve& c) {
             AddFace(m, s->CreatePIRevolved(MakeCsys(0, 0, 0), c));
         }},
        {"quilt 30, face 3, its profile",
         [s](KWPIModel* m, const Curve& c) {
             AddFace(m, s->CreatePIRevolved(MakeCsys(0, 0, 0), c), true);
         }},
        {"face 3, its curve",
         [s](KWPIModel* m, const Curve& c) {
             AddFace(m, s->CreatePITabCylinder(MakeCsys(0, 0, 0), c));
         }},
        {"face 3, its curve 1, component at index 0",
         [s](KWPIModel* m, const Curve& c) {
             const Curve composite = CompositeOf(c, ObjectLine());
             AddFace(m, s->CreatePIRuledSrf(MakeCsys(0, 0, 0), composite, ObjectLine()));
         }},
        {"face 3, its curve 2",
         [s](KWPIModel* m, const Curve& c) {
             AddFace(m, s->CreatePIRuledSrf(MakeCsys(0, 0, 0), ObjectLine(), c));
         }},
    };
    const struct {
        const char* reason;
        std::function<Curve()> make;
    } faults[] = {
        {"B-spline: a weight that is 0",
         [s] {
             return AsCurve(s->CreatePIBspline(1, Reals({0, 0, 1, 1}), Reals({1, 0}),
                                               Points({{0, 0, 0}, {1, 1, 0}})));
         }},
        {"B-spline: 2 weights for 5 control points",
         [s] {
             return AsCurve(s->CreatePIBspline(
                 1, Reals({0, 0, 0.25, 0.5, 0.75, 1, 1}), Reals({1, 1}),
                 Points({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}})));
         }},
    };
    const std::string path = dir.Path("cached.xml");
    auto handedOver = [] {
        std::string xml, neu;
        unimemlocation::GetRegistered()->ReadFile("/ZPI/zpi.xml", xml, nullptr);
        unimemlocation::GetRegistered()->ReadFile("/ZPI/zpi.neu", neu, nullptr);
        return xml + '\0' + neu;
    };
    for (const auto& place : places) {
        for (const auto& fault : faults) {
            const std::string said = place.place + std::string(": ") + fault.reason;
            SCOPED_TRACE(said);
            xrchandle<KWPIModel> model;
            {
                ScopedStorageMode cache(0);
                model = s->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
                place.put(model.get(), fault.make());
            }
            std::string raised;
            try {
                model->WriteZPI(path.c_str());
            } catch (const xthrown& e) {
                KXSimple* simple = KXSimple::softcast(e.get());
                EXPECT_EQ(simple ? simple->GetStatus() : 0, ZPI_STATUS_DOC_RECORD);
                raised = e.what();
            }
            EXPECT_NE(raised.find(said), std::string::npos) << raised;
            EXPECT_FALSE(std::filesystem::exists(path));
            // A neutral part is made from interface data, which a model made
            // in cache mode has none of: both neutral routes refuse it as such.
            const size_t sent = host.Count();
            const std::string before = handedOver();
            for (const auto& [format, told] :
                 {std::pair(1, said),
                  std::pair(0, std::string("the model has no interface data"))}) {
                ZrSetImportFormat(format);
                int feature = 0;
                ::testing::internal::CaptureStderr();
                EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature),
                          ZPI_REQUEST_NOT_SENT);
                const std::string line = ::testing::internal::GetCapturedStderr();
                EXPECT_EQ(line.rfind("request 103 not sent: ", 0), 0u) << line;
                EXPECT_NE(line.find(told), std::string::npos) << line;
                EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
            }
            EXPECT_EQ(handedOver(), before);
            EXPECT_EQ(host.Count(), sent);
            xrchandle<MemoryStream> stream(new MemoryStream);
            EXPECT_SIMPLE(model->SaveAsNeutral(xrchandle<KCStream>(stream.get())),
                          ZPI_STATUS_NO_INTF_DATA);
            EXPECT_EQ(stream->data, "");
        }
    }
}

} // namespace

// ---- documents earlier versions wrote ------------------------------------------------

namespace {

// What an operation raised: the KXSimple status (0 for anything else) and
// the exception's text; status 1 when nothing was raised.
std::pair<int, std::string> Raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const xthrown& e) {
        KXSimple* simple = KXSimple::softcast(e.get());
        return {simple ? simple->GetStatus() : 0, e.what()};
    }
    return {1, ""};
}

// The document of `data` (freed here), as WriteZPI writes it.
std::string DocumentOf(qel_intf_data* data, const std::string& path) {
    QelIntfDataPtr holder(data);
    KWPIModel* made = nullptr;
    CreatePIModel_global(data, nullptr, &made); // 0: no extension given
    xrchandle<KWPIModel> model(made);
    EXPECT_TRUE(model);
    if (model)
        model->WriteZPI(path.c_str());
    return ReadAll(path);
}

// The model ReadZPI makes of the document `text`, written to `path`, and in
// `told` what the reader said on standard error.
xrchandle<KWPIModel> ReadTelling(const std::string& path, const std::string& text,
                                 std::string& told) {
    filetargets::WriteAll(path, text);
    ::testing::internal::CaptureStderr();
    xrchandle<KWPIModel> model = KGetPISession()->ReadZPI(path.c_str());
    told = ::testing::internal::GetCapturedStderr();
    return model;
}

// The document with the text of element `name` at `at` replaced by what
// `edit` makes of it.
std::string Edited(std::string doc, size_t at, const std::string& name,
                   const std::function<std::string(const std::string&)>& edit) {
    const size_t from = doc.find('>', at) + 1, to = doc.find("</" + name + ">", from);
    doc.replace(from, to - from, edit(doc.substr(from, to - from)));
    return doc;
}

std::string Reversed(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::string out;
    for (auto w = words.rbegin(); w != words.rend(); ++w)
        out += *w + " ";
    return out;
}

// Each edit of `doc` that gives an item earlier versions wrote: each
// "Degree" set to 0; each "Params" (a spline's parameters, a B-spline's
// knots) reversed; each "Spline" and fillet centre spline left with no
// points.
std::vector<std::pair<std::string, std::string>> EarlierEdits(const std::string& doc) {
    std::vector<std::pair<std::string, std::string>> edits;
    for (const std::string name : {"Degree", "Params", "Spline", "CenSpl"})
        for (size_t at = doc.find("<" + name); at != std::string::npos;
             at = doc.find("<" + name, at + 1))
            if (std::strchr("> ", doc[at + 1 + name.size()]))
                edits.emplace_back(name + " at byte " + std::to_string(at),
                                   Edited(doc, at, name, [&](const std::string& text) {
                                       if (name == "Degree")
                                           return std::string("0");
                                       if (name == "Params")
                                           return Reversed(text);
                                       return std::string("<Params size=\"0\"></Params><Points "
                                                          "size=\"0\"></Points><Tangents "
                                                          "size=\"0\"></Tangents>");
                                   }));
    return edits;
}

// Every item `from` gives, added to `to` as it was given, and the edges,
// curve datums, faces and a quilt of all faces made again from their parts.
void PassOn(const xrchandle<KWPIModel>& from, const xrchandle<KWPIModel>& to) {
    to->SetPIFaces(from->GetPIFaces());
    to->SetPIQuilts(from->GetPIQuilts());
    to->SetPIEdges(from->GetPIEdges());
    to->SetPIDatums(from->GetPIDatums());
    const auto faces = from->GetPIFaces();
    for (int i = 0; i < faces->Count(); ++i) {
        const auto f = faces->Get(i);
        const auto loops = f->GetPILoopList();
        to->AddPIFace(to->CreatePIFace(f->GetId(), f->GetPIFaceUVExtent(),
                                       f->GetPISurfaceOrientation(), f->GetPISurface(),
                                       loops ? loops : KPILoopList::create()));
    }
    to->AddPIQuilt(to->CreatePIQuilt(900, faces));
    const auto edges = from->GetPIEdges();
    for (int i = 0; i < edges->Count(); ++i) {
        const auto e = edges->Get(i);
        const auto c = e->GetXYZCurve();
        if (c && c->GetPICurveType() != KPICURV_COMP)
            to->AddPIEdge(to->CreatePIEdgeWithXYZCurve(e->GetId(), e->GetIdFace1(), e->GetIdFace2(),
                                                       c, e->GetTraversal1(), e->GetTraversal2()));
    }
    const auto datums = from->GetPIDatums();
    for (int i = 0; i < datums->Count(); ++i)
        if (const auto d = datums->Get(i); d->GetCurve())
            to->AddPIDatum(to->CreatePIDatum(d->GetId(), d->GetName().c_str(), nullptr,
                                             d->GetCurve(), nullptr));
}

// `told` (an item with its place) names the item `name`.
bool Names(const std::string& told, const std::string& name) {
    return told.rfind(name, 0) == 0 && std::strchr(",: ", told[name.size()]);
}

// The list getter answers, with one object per entry of the root array,
// each over a record as the entry holds it; an entry other than the `told`
// one is as in `original`.
template <class Impl, class R, class Get>
void ExpectReached(Get get, void* entries, void* originals, const std::string& told,
                   void (*same)(const R&, const R&)) {
    decltype(get()) list;
    ASSERT_NO_THROW(list = get());
    const int n = har_total(entries);
    ASSERT_EQ(list ? list->Count() : 0, n);
    for (int i = 0; i < n; ++i) {
        const R& read = zpifix::at<R>(entries, i);
        auto* item = dynamic_cast<Impl*>(CastToImpl(list->Get(i).get()));
        ASSERT_TRUE(item && item->GetRecord());
        same(*item->GetRecord(), read);
        if (!Names(told, qel_item_name(read)))
            same(read, zpifix::at<R>(originals, i));
    }
}

// What a part import's translator found: how many items each list getter
// gave (-1: it raised), and the answer of the request 103 that handed the
// model back.
struct ImportSeen {
    int faces, quilts, edges, datums, handedBack;
};
ImportSeen g_import{};
ZorvanProxy* g_importProxy = nullptr;

int ListAndHandBack(xrchandle<KWPIModel> model, qel_intf_data_extend*, int, char** const) {
    const auto count = [](auto get) {
        try {
            const auto list = get();
            return list ? list->Count() : 0;
        } catch (...) {
            return -1;
        }
    };
    g_import = {count([&] { return model->GetPIFaces(); }),
                count([&] { return model->GetPIQuilts(); }),
                count([&] { return model->GetPIEdges(); }),
                count([&] { return model->GetPIDatums(); }), 0};
    int feature = 0;
    g_import.handedBack = g_importProxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr,
                                                                    &feature);
    return 0;
}

TEST_F(RecordRoutes, ItemsEarlierVersionsWroteAreReachedByEveryGetterAndCarriedOrRefusedNamed) {
    ASSERT_TRUE(ZrRegisterImportTranslator(&ListAndHandBack));
    g_importProxy = proxy.get();
    QelIntfDataPtr original(zpifix::fullIntfData());
    const std::string doc = DocumentOf(zpifix::fullIntfData(), dir.Path("full.xml"));
    const auto edits = EarlierEdits(doc);
    EXPECT_EQ(edits.size(), 22u);
    for (const auto& [name, text] : edits) {
        SCOPED_TRACE(name);
        const std::string path = dir.Path("earlier.xml");
        std::string toldOnRead;
        xrchandle<KWPIModel> model = ReadTelling(path, text, toldOnRead);
        ASSERT_TRUE(model) << toldOnRead;
        const size_t column = toldOnRead.find(": ", toldOnRead.find("column "));
        ASSERT_NE(column, std::string::npos) << toldOnRead;
        const size_t end = toldOnRead.find(": read as it stands; the writers refuse it\n");
        ASSERT_NE(end, std::string::npos) << toldOnRead;
        const std::string told = toldOnRead.substr(column + 2, end - column - 2);
        const std::string item = told.substr(0, told.find_first_of(",:"));

        qel_intf_data* root = IntfDataOf(model);
        ASSERT_TRUE(root);
        ExpectReached<KPIFace_i>([&] { return model->GetPIFaces(); }, root->surfaces,
                                 original->surfaces, told, zpifix::expectSameFace);
        ExpectReached<KPIQuilt_i>([&] { return model->GetPIQuilts(); }, root->quilts,
                                  original->quilts, told, zpifix::expectSameQuilt);
        ExpectReached<KPIEdge_i>([&] { return model->GetPIEdges(); }, root->edges,
                                 original->edges, told, zpifix::expectSameEdge);
        ExpectReached<KPIDatum_i>([&] { return model->GetPIDatums(); }, root->datums,
                                  original->datums, told, zpifix::expectSameDatum);

        // What the getters give passes on as it stands into another model,
        // in either storage mode, whose writer refuses it, naming it.
        for (int mode : {1, 0}) {
            xrchandle<KWPIModel> other;
            {
                ScopedStorageMode storage(mode);
                other = KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
                EXPECT_NO_THROW(PassOn(model, other)) << "storage mode " << mode;
            }
            const auto refused = Raised([&] { other->WriteZPI(dir.Path("other.xml").c_str()); });
            EXPECT_EQ(refused.first, ZPI_STATUS_DOC_RECORD) << "storage mode " << mode;
            EXPECT_NE(refused.second.find(": " + told), std::string::npos) << refused.second;
        }

        // Each route refuses the item, naming it, with its documented status.
        const auto written = Raised([&] { model->WriteZPI(dir.Path("again.xml").c_str()); });
        EXPECT_EQ(written.first, ZPI_STATUS_DOC_RECORD);
        EXPECT_NE(written.second.find(item), std::string::npos) << written.second;
        xrchandle<MemoryStream> stream(new MemoryStream);
        const auto saved =
            Raised([&] { model->SaveAsNeutral(xrchandle<KCStream>(stream.get())); });
        EXPECT_EQ(saved.first, ZPI_STATUS_DOC_RECORD);
        EXPECT_NE(saved.second.find(item), std::string::npos) << saved.second;
        EXPECT_EQ(stream->data, "");
        const size_t sent = host.Count();
        for (int format : {0, 1}) {
            ZrSetImportFormat(format);
            int feature = 0;
            ::testing::internal::CaptureStderr();
            EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature),
                      100);
            const std::string refused = ::testing::internal::GetCapturedStderr();
            EXPECT_EQ(refused, "request 103 not sent: " + told + "\n") << "format " << format;
        }
        // A part import given the document by its host gets the same model.
        g_import = {};
        ::testing::internal::CaptureStderr();
        ZrImportPartJob((path + "\n0").c_str()).Run();
        const std::string toldByImport = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(g_import.faces, har_total(root->surfaces));
        EXPECT_EQ(g_import.quilts, har_total(root->quilts));
        EXPECT_EQ(g_import.edges, har_total(root->edges));
        EXPECT_EQ(g_import.datums, har_total(root->datums));
        EXPECT_EQ(g_import.handedBack, 100);
        EXPECT_NE(toldByImport.find("request 103 not sent: " + told + "\n"), std::string::npos)
            << toldByImport;
        EXPECT_EQ(host.Count(), sent + 1); // the job's end (108), nothing else
    }
}

TEST_F(RecordRoutes, ARuledSurfaceOfCompositeCurvesIsReachedAndWrittenBackToTheSameBytes) {
    // Face 7's ruled surface: a line and (in place of its B-spline) the
    // nested composite of edge 108.
    const std::string full = DocumentOf(zpifix::fullIntfData(), dir.Path("full.xml"));
    const size_t at = full.find("<CompCurve>", full.find("<Edge ID=\"108\""));
    const std::string composite = full.substr(at, full.find("</XYZCurve>", at) - at);
    const size_t curve2 = full.find("<Curve2>", full.find("<RuledSrf>"));
    const std::string doc = Edited(full, curve2, "Curve2", [&](const std::string&) {
        return "\n\t" + composite;
    });
    std::string toldOnRead;
    xrchandle<KWPIModel> model = ReadTelling(dir.Path("ruled.xml"), doc, toldOnRead);
    EXPECT_EQ(toldOnRead, "");
    ASSERT_TRUE(model);
    qel_intf_data* root = IntfDataOf(model);
    ExpectReached<KPIFace_i>([&] { return model->GetPIFaces(); }, root->surfaces,
                             root->surfaces, "", zpifix::expectSameFace);
    ExpectReached<KPIQuilt_i>([&] { return model->GetPIQuilts(); }, root->quilts, root->quilts,
                              "", zpifix::expectSameQuilt);
    ASSERT_EQ(zpifix::at<QelSurfacedata>(root->surfaces, 6).shape.rulsrf.curve2.kind,
              uint32_t(QEL_CURVE_COMPOSITE));

    ASSERT_NO_THROW(model->WriteZPI(dir.Path("again.xml").c_str()));
    EXPECT_EQ(ReadAll(dir.Path("again.xml")), doc);
    ZrSetImportFormat(1);
    int feature = 0;
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature), 0);
    EXPECT_EQ(HandedOver("zpi.xml"), doc);
    // A neutral ruled surface holds simple curves only: refused, named.
    xrchandle<MemoryStream> stream(new MemoryStream);
    const auto saved = Raised([&] { model->SaveAsNeutral(xrchandle<KCStream>(stream.get())); });
    EXPECT_EQ(saved.first, ZPI_STATUS_DOC_RECORD);
    EXPECT_NE(saved.second.find("face 7, its curve 2: a composite curve"), std::string::npos)
        << saved.second;
    ZrSetImportFormat(0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature), 100);
    const std::string refused = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(refused.find("request 103 not sent: face 7, its curve 2: a composite curve"),
              std::string::npos)
        << refused;
}

TEST_F(RecordRoutes, ARefusalOfAnItemDeepInCompositesNamesItAndSaysWhyOnEveryRoute) {
    // Edge 104's spline within 33 composite curves, one more than a model
    // holds: read as it stands, and told with 33 places.
    std::string doc = DocumentOf(zpifix::fullIntfData(), dir.Path("full.xml"));
    const size_t from = doc.find("<XYZCurve>", doc.find("<Edge ID=\"104\"")) + 10;
    const size_t to = doc.find("</XYZCurve>", from);
    std::string curve = doc.substr(from, to - from);
    for (int i = 0; i < 33; ++i)
        curve = "<CompCurve><Components size=\"1\"><Component dir=\"1\"><Curve>" + curve +
                "</Curve></Component></Components></CompCurve>";
    doc.replace(from, to - from, curve);
    std::string toldOnRead;
    xrchandle<KWPIModel> model = ReadTelling(dir.Path("deep.xml"), doc, toldOnRead);
    ASSERT_TRUE(model) << toldOnRead;
    const size_t start = toldOnRead.find("edge 104, its XYZ curve, component at index 0");
    const size_t end = toldOnRead.find(": read as it stands");
    ASSERT_NE(end, std::string::npos) << toldOnRead;
    const std::string told = toldOnRead.substr(start, end - start);
    ASSERT_EQ(told.substr(told.size() - 43), "composite curves nest deeper than 32 levels");

    const auto written = Raised([&] { model->WriteZPI(dir.Path("again.xml").c_str()); });
    EXPECT_EQ(written.first, ZPI_STATUS_DOC_RECORD);
    EXPECT_NE(written.second.find(": " + told), std::string::npos) << written.second;
    xrchandle<MemoryStream> stream(new MemoryStream);
    const auto saved = Raised([&] { model->SaveAsNeutral(xrchandle<KCStream>(stream.get())); });
    EXPECT_EQ(saved.first, ZPI_STATUS_DOC_RECORD);
    EXPECT_NE(saved.second.find(told), std::string::npos) << saved.second;
    for (int format : {0, 1}) {
        ZrSetImportFormat(format);
        int feature = 0;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(proxy->ImportQelIntfDataToFeature(1, nullptr, model, nullptr, &feature), 100);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "request 103 not sent: " + told + "\n");
    }
}

} // namespace
