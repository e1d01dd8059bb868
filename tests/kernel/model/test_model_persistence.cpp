// Saving models as neutral parts, writing and reading interface-data
// documents, and models over a caller's records.
#include "kernel/geometry/geometry_test_util.h"

#include "neutral/unibuf_registration.h"
#include "kernel/metadata/model_ext.h"
#include "kernel/model/model.h"
#include "kernel/records/qel_routines.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_extend.h"
#include "neutral/neutral_writer.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include "btk_quoted.h"
#include "kpi_session.h"
#include "process.h"
#include "xmemory.h"

#include "file_targets.h"
#include "memory_stream.h"
#include "neutral/neutral_messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <atomic>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

namespace fs = std::filesystem;

// Two square faces (z = 0 and z = 1) over four edges each, a quilt of both
// and a coordinate-system datum; with `withExtension` a length unit and a
// layer holding face 1.
xrchandle<KWPIModel> BuildModel(bool withExtension) {
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.005);
    model->SetOutline(KBox3D::Create(KCreatePoint3D(0, 0, 0), KCreatePoint3D(2, 2, 1)));
    const double corner[4][2] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    for (int f = 0; f < 2; ++f) {
        const double z = f;
        xrchandle<xintsequence> ids(xintsequence::create());
        for (int e = 0; e < 4; ++e) {
            const int id = 10 * (f + 1) + e;
            const double* a = corner[e];
            const double* b = corner[(e + 1) % 4];
            xrchandle<KPILine> line =
                session->CreatePILine(KCreatePoint3D(a[0], a[1], z), KCreatePoint3D(b[0], b[1], z));
            model->AddPIEdge(
                model->CreatePIEdgeWithXYZCurve(id, f + 1, -1, line, KTRAV_SAME, KTRAV_NONE));
            ids->Append(id);
        }
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, ids));
        xrchandle<KPIPlane> plane = session->CreatePIPlane(MakeCsys(0, 0, z));
        xrchandle<KBoxUV> extent = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(2, 2));
        faces->Append(model->CreatePIFace(f + 1, extent, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    }
    model->SetPIFaces(faces);
    model->AddPIQuilt(model->CreatePIQuilt(100, faces));
    model->AddPIDatum(model->CreatePIDatum(200, "ORIGIN", MakeCsys(1, 2, 3), nullptr, nullptr));
    if (withExtension) {
        xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
        xrchandle<KPIUnitList> units(KPIUnitList::create());
        units->Append(ext->CreatePILengthUnit(KPI_LENGTH_UNIT_MM));
        ext->SetPIUnits(units);
        xrchandle<KPILayer> layer = ext->CreatePILayer("FACES");
        layer->AddPIItem(faces->Get(0));
        xrchandle<KPILayerList> layers(KPILayerList::create());
        layers->Append(layer);
        ext->SetPILayers(layers);
        model->SetWPIModelExt(ext);
    }
    return model;
}

KWPIModel_i* Impl(const xrchandle<KWPIModel>& model) {
    return dynamic_cast<KWPIModel_i*>(model.get());
}

// A fresh directory for the documents of one test, removed afterwards.
class PersistenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The session lives on: made before counting.
        KGetPISession();
        live_ = xobject_live_count();
        dir_ = fs::temp_directory_path() /
               ("zpi50_persist_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        EXPECT_EQ(xobject_live_count(), live_) << "xobjects leaked or destroyed twice";
    }
    std::string Path(const char* name) const { return (dir_ / name).string(); }

    static std::string Save(const xrchandle<KWPIModel>& model) {
        xrchandle<MemoryStream> stream(new MemoryStream);
        model->SaveAsNeutral(xrchandle<KCStream>(stream.get()));
        return stream->data;
    }

private:
    fs::path dir_;
    int64_t live_ = 0;
};

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// What an operation raised: the KXSimple status (0 for anything else) and
// the exception's text.
struct Failure {
    int status = 0;
    std::string text;
};
template <class F> Failure FailureOf(F&& f) {
    try {
        f();
    } catch (const xthrown& e) {
        KXSimple* simple = KXSimple::softcast(e.get());
        return {simple ? simple->GetStatus() : 0, e.what()};
    }
    return {};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---- neutral part -----------------------------------------------------------------

TEST_F(PersistenceTest, SaveAsNeutralWritesTheModelIntoTheStreamAndLeavesItAsItWas) {
    xrchandle<KWPIModel> model = BuildModel(true);
    qel_intf_data* before = Impl(model)->GetIntfData();

    const std::string text = Save(model);
    EXPECT_EQ(text.rfind("NEUTRAL format 1404 product 32 version 50 date 2026\n", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 4), "END\n");
    EXPECT_NE(text.find("\n  accuracy 0.005\n  outline 0 0 0 2 2 1\n"), std::string::npos);
    // Both faces, in the surfaces and again in the quilt.
    EXPECT_NE(text.find("\n  surfaces [2] {\n    [0] {\n      id 1\n"), std::string::npos);
    EXPECT_EQ(CountOf(text, "edge_ids [4] 20 21 22 23\n"), 2);
    EXPECT_EQ(CountOf(text, "origin 0 0 1\n"), 2);
    EXPECT_NE(text.find("\n  edges [8] {\n"), std::string::npos);
    EXPECT_NE(text.find("end1 2 0 1\n        end2 2 2 1\n"), std::string::npos);
    EXPECT_NE(text.find("name \"ORIGIN\"\n"), std::string::npos);
    // The extension went with it.
    EXPECT_NE(text.find("name \"MM\"\n"), std::string::npos);
    EXPECT_NE(text.find("name \"FACES\"\n      user_id 0\n      ids [1] 1\n"), std::string::npos);

    // The model is as it was, and saving again gives the same text.
    EXPECT_EQ(Impl(model)->GetIntfData(), before);
    EXPECT_EQ(model->GetPIFaces()->Count(), 2);
    EXPECT_EQ(model->GetPIEdges()->Count(), 8);
    EXPECT_EQ(model->CountPIFaces(), 2);
    EXPECT_EQ(Save(model), text);

    // Without an extension no unit or layer is written.
    xrchandle<KWPIModel> bare = BuildModel(false);
    const std::string bareText = Save(bare);
    EXPECT_NE(bareText.find("\n  units NULL\n"), std::string::npos);
    EXPECT_NE(bareText.find("\n  layers NULL\n"), std::string::npos);
}

TEST_F(PersistenceTest, SaveAsNeutralRefusesWithoutInterfaceDataBeforeLookingAtTheStream) {
    xrchandle<KCStream> stream(new MemoryStream);
    {
        ScopedStorageMode cache(0);
        xrchandle<KWPIModel> cached = BuildModel(true);
        EXPECT_SIMPLE(cached->SaveAsNeutral(nullptr), KPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(cached->SaveAsNeutral(stream), KPI_STATUS_NO_INTF_DATA);
    }
    xrchandle<KWPIModel> model = BuildModel(false);
    EXPECT_INVALID_ARG(model->SaveAsNeutral(nullptr), 1, 0);
    model->Close();
    EXPECT_SIMPLE(model->SaveAsNeutral(nullptr), KPI_STATUS_NO_INTF_DATA);
    EXPECT_SIMPLE(model->SaveAsNeutral(stream), KPI_STATUS_NO_INTF_DATA);
    EXPECT_EQ(static_cast<MemoryStream*>(stream.get())->data, "");
}

TEST_F(PersistenceTest, SaveAsNeutralWritesNothingWhenTheStreamNameIsTaken) {
    xrchandle<KWPIModel> model = BuildModel(false);
    xrchandle<MemoryStream> other(new MemoryStream);
    xrchandle<MemoryStream> mine(new MemoryStream);
    {
        UnibufRegistration taken(other.get(), u"kernel.neu.1", nullptr);
        ASSERT_TRUE(taken.IsRegistered());
        EXPECT_SIMPLE(model->SaveAsNeutral(xrchandle<KCStream>(mine.get())),
                      KPI_STATUS_NEUTRAL_STREAM_TAKEN);
    }
    EXPECT_EQ(other->data, "");
    EXPECT_EQ(mine->data, "");
    // The name is free again afterwards, and the caller's stream stays open.
    EXPECT_NE(Save(model), "");
    EXPECT_EQ(mine->closed, 0);
    // A stream that refuses the bytes is reported, not passed off as saved,
    // and the exception says what the stream did.
    mine->refuse = true;
    const Failure f = FailureOf([&] { model->SaveAsNeutral(xrchandle<KCStream>(mine.get())); });
    EXPECT_EQ(f.status, KPI_STATUS_NEUTRAL_WRITE_FAILED);
    EXPECT_TRUE(Has(f.text, "the stream's Write took -1 of ")) << f.text;
    EXPECT_EQ(mine->closed, 0);
}

TEST_F(PersistenceTest, SaveAsNeutralSavesTheRestOfAnExtensionAndTellsWhatItLeftOut) {
    // Element colours without reference colours cannot be written: they are
    // left out, told on standard error whatever the run mode and through the
    // converters' diagnostics, and the units and layers are saved all the same.
    xrchandle<KWPIModel> model = BuildModel(true);
    xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
    xrchandle<KPIElementColorList> colors(KPIElementColorList::create());
    colors->Append(ext->CreatePIElementColor(1, 0, 0));
    ext->SetPIElementColors(colors);

    std::string text;
    {
        NeutralMessages told;
        testing::internal::CaptureStderr();
        EXPECT_NO_THROW(text = Save(model));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "SaveAsNeutral: Element colours without reference colours were left out\n");
        EXPECT_EQ(told.lines,
                  std::vector<std::string>{
                      "SaveAsNeutral: Element colours without reference colours were left out"});
    }
    EXPECT_NE(text.find("name \"MM\"\n"), std::string::npos);
    EXPECT_NE(text.find("name \"FACES\"\n"), std::string::npos);
    EXPECT_NE(text.find("\n  colors NULL\n"), std::string::npos);
}

TEST_F(PersistenceTest, SaveAsNeutralTellsWhatItLeftOutOfThePartOncePerKindWhateverTheRunMode) {
    // Datums whose curve is a composite holding a composite: the interface
    // takes it, a neutral part cannot hold the inner one.
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = BuildModel(false);
    auto line = [&](double x) {
        return session->CreatePILine(KCreatePoint3D(x, 0, 0), KCreatePoint3D(x + 1, 0, 0));
    };
    xrchandle<KPICurveList> inner(KPICurveList::create()), outer(KPICurveList::create());
    inner->Append(line(0));
    inner->Append(line(1));
    outer->Append(session->CreatePICompositeCurve(inner, Ints({0, 0})));
    outer->Append(line(2));
    for (int id : {7, 8})
        model->AddPIDatum(model->CreatePIDatum(
            id, "AXIS", nullptr, session->CreatePICompositeCurve(outer, Ints({0, 0})), nullptr));
    ::testing::internal::CaptureStderr();
    Save(model);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "SaveAsNeutral: datum 7 \"AXIS\" was not converted whole: Recursive "
              "QelCompositeCurvedata is unaccepted (cnv_qlk_neut_datum_curve); 1 more like it\n"
              "SaveAsNeutral: datum 7 \"AXIS\" was not converted whole: QelCurvedata CMP_CRV is "
              "out of service (cnv_qlk_neut_curve); 1 more like it\n");
}

TEST_F(PersistenceTest, SaveAsNeutralKeepsLayerIdsAndTellsOnlyWhatThePartCannotCarry) {
    // A model that loses nothing is saved without a word.
    xrchandle<KWPIModel> model = BuildModel(true);
    ::testing::internal::CaptureStderr();
    Save(model);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    // Layers with items keep their ids; a general attribute without a value
    // is written whole, silently; 15 layers without items cannot be carried.
    xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
    xrchandle<KPILayerList> layers(KPILayerList::create());
    for (int id : {7, 42, INT_MAX}) {
        xrchandle<KPILayer> layer = ext->CreatePILayer(("L" + std::to_string(id)).c_str());
        layer->SetLayerId(id);
        layer->AddPIItem(model->GetPIFaceByIndex(0));
        layers->Append(layer);
    }
    xrchandle<KPIGeneralAttributeList> attributes(KPIGeneralAttributeList::create());
    attributes->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "BARE", xany()));
    ext->SetPIGeneralAttributes(attributes);
    ext->SetPILayers(layers);
    ::testing::internal::CaptureStderr();
    std::string text = Save(model);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    for (int id : {7, 42, INT_MAX})
        EXPECT_TRUE(Has(text, "id " + std::to_string(id) + "\n      db_type 641\n")) << id;
    EXPECT_TRUE(Has(text, "name \"BARE\"")) << text;

    for (int i = 0; i < 15; ++i)
        layers->Append(ext->CreatePILayer("EMPTY"));
    ext->SetPILayers(layers);
    ::testing::internal::CaptureStderr();
    text = Save(model);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "SaveAsNeutral: layer \"EMPTY\" has no items and was left out; 14 more like it\n");
    EXPECT_EQ(CountOf(text, "db_type 641"), 3);
}

// What a model holds, one value of one field per row, as SaveAsNeutral
// writes it: the part keeps what it can, and a value it cannot carry as it
// stands is told once per save and kind, naming the first item and how
// many more. Rows of one field whose parts are the same byte for byte mean
// the same, or one of them was told.
TEST_F(PersistenceTest, SaveAsNeutralTellsEachValueThePartCannotCarryAsItStands) {
    using Set = std::function<void(const xrchandle<KWPIModel>&)>;
    struct Row {
        const char* field;
        const char* meaning; // the value's meaning, for the comparison of the rows
        Set set;
        std::string written; // what the part holds
        std::string told;    // on standard error
    };
    xrchandle<KWPISession> session = KGetPISession();
    auto line = [&] {
        return session->CreatePILine(KCreatePoint3D(0, 0, 5), KCreatePoint3D(1, 0, 5));
    };
    // Edges 31, 32 ... on face `face` with these directions, on face 2 the same.
    auto edges = [&](std::vector<int> dirs, int face = 1) -> Set {
        return [=](const xrchandle<KWPIModel>& model) {
            for (size_t i = 0; i < dirs.size(); ++i)
                model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(
                    int(31 + i), face, 2, line(), KTraversal(dirs[i]), KTRAV_SAME));
        };
    };
    auto edge31 = [](const char* face, const char* written) {
        return std::string("id 31\n      surface_ids ") + face + " 2\n      direction " +
               written + " -1\n";
    };
    const std::string edgeTold = "SaveAsNeutral: edge 31 was not converted whole: No neutral "
                                 "direction for an edge of direction ";
    // A composite datum curve of two components, both of direction `dir`.
    auto components = [&](int dir) -> Set {
        return [=](const xrchandle<KWPIModel>& model) {
            xrchandle<KPICurveList> curves(KPICurveList::create());
            curves->Append(line());
            curves->Append(line());
            model->AddPIDatum(model->CreatePIDatum(
                300, "CMP", nullptr, session->CreatePICompositeCurve(curves, Ints({0, 0})),
                nullptr));
            qel_intf_data* data = Impl(model)->GetIntfData();
            auto* datum = static_cast<QelDatumdata*>(
                har_access(data->datums, har_total(data->datums) - 1, nullptr, nullptr));
            for (int i = 0; i < 2; ++i)
                datum->body.curve.composite.components[i].direction = uint32_t(dir);
        };
    };
    // Faces 41, 42 ... on a plane, each of one of these orientations.
    auto faces = [&](std::vector<KPISurfOrient> orients) -> Set {
        return [=](const xrchandle<KWPIModel>& model) {
            for (size_t i = 0; i < orients.size(); ++i)
                model->AddPIFace(model->CreatePIFace(
                    int(41 + i), KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)),
                    orients[i], session->CreatePIPlane(MakeCsys(0, 0, 5)),
                    xrchandle<KPILoopList>(KPILoopList::create())));
        };
    };
    auto face41 = [](const char* written) {
        return std::string("id 41\n      uv_min 0 0\n      uv_max 1 1\n      xyz_min 0 0 0\n"
                           "      xyz_max 0 0 0\n      orient ") +
               written + "\n";
    };
    const std::string faceTold = "SaveAsNeutral: face 41 was not converted whole: No neutral "
                                 "orientation for a surface of orientation 0 (none): written as "
                                 "1 (cnv_qlk_neut_surface)";
    auto accuracy = [](uint32_t kind) -> Set {
        return [=](const xrchandle<KWPIModel>& model) {
            Impl(model)->GetIntfData()->accuracy_type = kind;
        };
    };
    // An attribute of value kind 5 holding `value`.
    auto short_value = [](int32_t value) -> Set {
        return [=](const xrchandle<KWPIModel>& model) {
            xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
            xrchandle<KPIGeneralAttributeList> list(KPIGeneralAttributeList::create());
            list->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "W", xany(0)));
            ext->SetPIGeneralAttributes(list);
            auto* a = static_cast<QelGenAttribdata*>(har_access(
                dynamic_cast<KWPIModelExt_i*>(ext.get())->GetExtendData()->attributes, 0,
                nullptr, nullptr));
            a->value_kind = 5;
            a->int_value = value;
        };
    };
    const std::vector<Row> rows = {
        // Edge directions: the host's 1 and -1, KTraversal's same (1) and
        // opposite (2); none and numbers that name no direction are
        // written as 1, and told.
        {"edge", "same", edges({1, 1, 1}), edge31("1", "-1"), ""},
        {"edge", "opposite", edges({-1, -1, -1}), edge31("1", "1"), ""},
        {"edge", "opposite", edges({2, 2, 2}), edge31("1", "1"), ""},
        {"edge", "none", edges({0, 0, 0}), edge31("1", "1"),
         edgeTold + "0 (none) on face 1: written as 1 (cnv_qlk_neut_edge); 2 more like it\n"},
        {"edge", "7", edges({7, 7, 7}), edge31("1", "1"),
         edgeTold + "7 on face 1: written as 1 (cnv_qlk_neut_edge); 2 more like it\n"},
        {"edge", "INT_MAX", edges({INT_MAX, INT_MAX}), edge31("1", "1"),
         edgeTold + "2147483647 on face 1: written as 1 (cnv_qlk_neut_edge); 1 more like it\n"},
        {"edge", "-5", edges({-5}), edge31("1", "1"),
         edgeTold + "-5 on face 1: written as 1 (cnv_qlk_neut_edge)\n"},
        // Numbers of no name are one kind, whatever their values; none another.
        {"edge", "several", edges({7, INT_MIN, -5, 3}), edge31("1", "1"),
         edgeTold + "7 on face 1: written as 1 (cnv_qlk_neut_edge); 3 more like it\n"},
        {"edge", "several", edges({0, 7, 0}), edge31("1", "1"),
         edgeTold + "0 (none) on face 1: written as 1 (cnv_qlk_neut_edge); 1 more like it\n"
                    "SaveAsNeutral: edge 32 was not converted whole: No neutral direction for an "
                    "edge of direction 7 on face 1: written as 1 (cnv_qlk_neut_edge)\n"},
        // None where there is no face loses nothing.
        {"edge", "no face", edges({0, 0}, -1), edge31("-1", "1"), ""},
        // The direction of a composite datum curve's component: 0 or 1.
        {"component", "kept", components(0), "flip 1\n", ""},
        {"component", "reversed", components(1), "flip -1\n", ""},
        {"component", "7", components(7), "flip 1\n",
         "SaveAsNeutral: datum 300 \"CMP\" was not converted whole: No neutral flip for "
         "component 0 of direction 7: written as 1 (cnv_qlk_neut_datum_curve); 1 more like it\n"},
        {"component", "-1", components(-1), "flip 1\n",
         "SaveAsNeutral: datum 300 \"CMP\" was not converted whole: No neutral flip for "
         "component 0 of direction -1: written as 1 (cnv_qlk_neut_datum_curve); 1 more like "
         "it\n"},
        // A face's orientation: positive (1) or negative (-1); none is
        // written as positive, and told.
        {"face", "positive", faces({KPISURFACE_ORIENT_POSITIVE}), face41("1"), ""},
        {"face", "negative", faces({KPISURFACE_ORIENT_NEGATIVE}), face41("-1"), ""},
        {"face", "none", faces({KPISURFACE_ORIENT_NONE}), face41("1"), faceTold + "\n"},
        {"face", "several",
         faces({KPISURFACE_ORIENT_NONE, KPISURFACE_ORIENT_POSITIVE, KPISURFACE_ORIENT_NONE,
                KPISURFACE_ORIENT_NONE}),
         face41("1"), faceTold + "; 2 more like it\n"},
        // The accuracy kind: relative (1) or absolute (2); undefined is
        // written as absolute, and told.
        {"accuracy", "relative", accuracy(QEL_ACCURACY_RELATIVE), "accuracy_is_relative 1\n", ""},
        {"accuracy", "absolute", accuracy(QEL_ACCURACY_ABSOLUTE), "accuracy_is_relative 0\n", ""},
        {"accuracy", "undefined", accuracy(QEL_ACCURACY_UNDEFINED), "accuracy_is_relative 0\n",
         "SaveAsNeutral: the part was not converted whole: No neutral accuracy kind for accuracy "
         "kind 0 (undefined): written as absolute (cnv_qlk_neut)\n"},
        {"accuracy", "7", accuracy(7), "accuracy_is_relative 0\n",
         "SaveAsNeutral: the part was not converted whole: No neutral accuracy kind for accuracy "
         "kind 7: written as absolute (cnv_qlk_neut)\n"},
        // A 16-bit value: one past 16 bits keeps its low 16 bits.
        {"short", "-31072", short_value(-31072), "value l_val -31072\n", ""},
        {"short", "100000", short_value(100000), "value l_val -31072\n",
         "SaveAsNeutral: attribute \"W\" of value kind 5 (100000) holds a value beyond the 16 "
         "bits of a neutral value, of which the low 16 bits are written\n"},
    };
    std::vector<std::string> parts, told;
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.field) + " " + row.meaning);
        xrchandle<KWPIModel> model = BuildModel(true);
        row.set(model);
        ::testing::internal::CaptureStderr();
        parts.push_back(Save(model));
        told.push_back(::testing::internal::GetCapturedStderr());
        EXPECT_EQ(told.back(), row.told);
        EXPECT_TRUE(Has(parts.back(), row.written)) << parts.back();
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const bool silent = told[i].empty() && told[j].empty();
            if (std::string(rows[i].field) == rows[j].field && parts[i] == parts[j] && silent) {
                EXPECT_STREQ(rows[i].meaning, rows[j].meaning) << rows[i].field;
            }
        }
    }
}

// ---- interface-data documents -------------------------------------------------------

void ExpectSameModel(const xrchandle<KWPIModel>& read, const xrchandle<KWPIModel>& written) {
    EXPECT_EQ(read->GetAccuracyType(), written->GetAccuracyType());
    EXPECT_DOUBLE_EQ(read->GetAccuracy(), written->GetAccuracy());
    ExpectPoint(read->GetOutline()->GetMaxPoint(), 2, 2, 1);
    xrchandle<KPIFaceList> faces = read->GetPIFaces();
    xrchandle<KPIEdgeList> edges = read->GetPIEdges();
    ASSERT_TRUE(faces && edges && read->GetPIQuilts() && read->GetPIDatums());
    EXPECT_EQ(faces->Count(), written->GetPIFaces()->Count());
    EXPECT_EQ(edges->Count(), written->GetPIEdges()->Count());
    EXPECT_EQ(read->GetPIQuilts()->Count(), 1);
    EXPECT_EQ(read->GetPIDatums()->Count(), 1);

    xrchandle<KPIFace> face = faces->Get(1);
    EXPECT_EQ(face->GetId(), 2);
    ExpectPoint(KPIPlane::cast(face->GetPISurface().get())->GetCsys()->GetOrigin(), 0, 0, 1);
    xrchandle<xintsequence> ids = face->GetPILoopList()->Get(0)->GetEdgeIds();
    ASSERT_EQ(ids->Count(), 4);
    EXPECT_EQ(ids->Get(3), 23);
    xrchandle<KPIEdge> edge = edges->Get(5);
    EXPECT_EQ(edge->GetId(), 21);
    ExpectPoint(KPILine::cast(edge->GetXYZCurve().get())->GetEnd1(), 2, 2, 1);
    EXPECT_EQ(read->GetPIQuilts()->Get(0)->GetFaces()->Count(), 2);
    xrchandle<KPIDatum> datum = read->GetPIDatums()->Get(0);
    EXPECT_EQ(datum->GetName().str(), "ORIGIN");
    ExpectPoint(datum->GetCsys()->GetOrigin(), 1, 2, 3);
    // A model read from a document lists nothing of its own.
    EXPECT_EQ(read->CountPIFaces(), 0);
}

TEST_F(PersistenceTest, WriteZPIThenReadZPIGivesTheModelBack) {
    xrchandle<KWPIModel> written = BuildModel(true);
    const std::string path = Path("model.xml");
    written->WriteZPI(path.c_str());
    EXPECT_EQ(written->GetPIFaces()->Count(), 2); // left as it was

    ::testing::internal::CaptureStderr();
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(read);
    ExpectSameModel(read, written);

    xrchandle<KWPIModelExt> ext = read->GetWPIModelExt();
    ASSERT_TRUE(ext);
    xrchandle<KPIUnitList> units = ext->GetPIUnits();
    ASSERT_TRUE(units && units->Count() == 1);
    EXPECT_EQ(units->Get(0)->GetName().str(), "MM");
    xrchandle<KPILayerList> layers = ext->GetPILayers();
    ASSERT_TRUE(layers && layers->Count() == 1);
    EXPECT_EQ(layers->Get(0)->GetName().str(), "FACES");
    EXPECT_EQ(layers->Get(0)->GetPIItemList()->Get(0), 1);

    // The model read is a model with interface data of its own: it takes
    // additions into its records, saves, and frees them on Close.
    read->AddPIDatum(read->CreatePIDatum(201, "SECOND", MakeCsys(0, 0, 0), nullptr, nullptr));
    EXPECT_EQ(read->GetPIDatums()->Count(), 2);
    EXPECT_NE(Save(read).find("name \"SECOND\""), std::string::npos);
    read->Close();
    EXPECT_EQ(Impl(read)->GetIntfData(), nullptr);
}

TEST_F(PersistenceTest, WriteZPIWithoutInterfaceDataWritesFromTheModelsObjects) {
    xrchandle<KWPIModel> cached;
    {
        ScopedStorageMode cache(0);
        cached = BuildModel(true);
    }
    ASSERT_EQ(Impl(cached)->GetIntfData(), nullptr);
    const std::string path = Path("cached.xml");
    cached->WriteZPI(path.c_str());
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
    ASSERT_TRUE(read);
    ExpectSameModel(read, cached);
    ASSERT_TRUE(read->GetWPIModelExt());
    EXPECT_EQ(read->GetWPIModelExt()->GetPIUnits()->Get(0)->GetName().str(), "MM");
}

TEST_F(PersistenceTest, AClosedModelIsRefusedAsSaveAsNeutralRefusesIt) {
    // Items made by an open model, to offer to the closed ones.
    xrchandle<KWPIModel> source = BuildModel(false);
    xrchandle<KPIFace> face = source->GetPIFaceByIndex(0);
    xrchandle<KPIFaceList> faces(KPIFaceList::create());
    faces->Append(face);

    // Closed after it was built, and closed after it was read (which wrote
    // an empty document and answered success before).
    xrchandle<KWPIModel> built = BuildModel(false);
    built->WriteZPI(Path("built.xml").c_str());
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(Path("built.xml").c_str());
    ASSERT_TRUE(read);
    const std::string path = Path("closed.xml");
    for (const xrchandle<KWPIModel>& model : {built, read}) {
        model->Close();
        const int faceCount = model->CountPIFaces();
        const Failure write = FailureOf([&] { model->WriteZPI(path.c_str()); });
        EXPECT_EQ(write.status, ZPI_STATUS_NO_INTF_DATA);
        EXPECT_TRUE(Has(write.text, "the model was closed")) << write.text;
        // The missing name is told before the closed model.
        EXPECT_INVALID_ARG(model->WriteZPI(nullptr), 1, 0);
        EXPECT_SIMPLE(model->SaveAsNeutral(xrchandle<KCStream>(new MemoryStream)),
                      ZPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(model->AddPIFace(face), ZPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(model->SetPIFaces(faces), ZPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(model->AddPIEdge(source->GetPIEdgeByIndex(0)), ZPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(model->AddPIDatum(source->GetPIDatumByIndex(0)), ZPI_STATUS_NO_INTF_DATA);
        EXPECT_SIMPLE(model->AddPIQuilt(source->GetPIQuiltByIndex(0)), ZPI_STATUS_NO_INTF_DATA);
        EXPECT_EQ(model->CountPIFaces(), faceCount);
    }
    EXPECT_FALSE(fs::exists(path));

    // A model that never had interface data is not closed by Close: it
    // still takes items and writes them from its objects.
    xrchandle<KWPIModel> cached;
    {
        ScopedStorageMode cache(0);
        cached = BuildModel(false);
    }
    cached->Close();
    cached->AddPIFace(face);
    cached->WriteZPI(path.c_str());
    xrchandle<KWPIModel> back = KGetPISession()->ReadZPI(path.c_str());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPIFaces()->Count(), 3);
}

TEST_F(PersistenceTest, ReadZPIKeepsAFaceWithoutASurface) {
    // A face of kind 0 (no surface, as earlier writers wrote a surface kind
    // without an element) is written with an empty "Shape"; reading the
    // document back loses none of the other items, and the model lists that
    // face with its id, box, orientation and loops but no surface.
    xrchandle<KWPIModel> written = BuildModel(false);
    QelSurfacedata* odd = nullptr;
    ASSERT_EQ(qel_surfacedata_alloc(&odd), 0);
    QelSurfaceshapedata shape{};
    const double uvMin[2] = {0.25, 0.5}, uvMax[2] = {1.5, 2.5};
    ASSERT_EQ(qel_surfacedata_init(0, uvMin, uvMax, QEL_ORIENT_NEGATIVE, &shape, 3, odd), 0);
    QelContourdata contour{};
    qel_contourdata_traversal_set(QEL_TRAV_EXTERNAL, &contour);
    const int32_t ids[] = {10, 11};
    ASSERT_EQ(xar_alloc_or_append(contour.edge_ids, int(sizeof(int32_t)), 4, 2, ids), 0);
    QelContourdata* contours = nullptr;
    ASSERT_EQ(xar_alloc_or_append(contours, int(sizeof(QelContourdata)), 1, 1, &contour), 0);
    ASSERT_EQ(qel_surfacedata_contours_set(odd, contours), 0);
    xar_free(contours);
    ASSERT_EQ(qel_intf_data_surface_append(Impl(written)->GetIntfData(), odd), 0);
    qel_data_free(odd);

    const std::string path = Path("kind0.xml");
    written->WriteZPI(path.c_str());
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("<Shape></Shape>"), std::string::npos);

    ::testing::internal::CaptureStderr();
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(read);
    xrchandle<KPIFaceList> faces;
    ASSERT_NO_THROW(faces = read->GetPIFaces());
    ASSERT_EQ(faces->Count(), 3);
    EXPECT_TRUE(faces->Get(0)->GetPISurface());
    EXPECT_TRUE(faces->Get(1)->GetPISurface());
    xrchandle<KPIFace> face = faces->Get(2);
    EXPECT_EQ(face->GetId(), 3);
    EXPECT_FALSE(face->GetPISurface());
    EXPECT_EQ(face->GetPISurfaceOrientation(), KPISURFACE_ORIENT_NEGATIVE);
    xrchandle<KBoxUV> box = face->GetPIFaceUVExtent();
    EXPECT_EQ(box->GetMinPoint()->u(), 0.25);
    EXPECT_EQ(box->GetMaxPoint()->v(), 2.5);
    ASSERT_EQ(face->GetPILoopList()->Count(), 1);
    EXPECT_EQ(face->GetPILoopList()->Get(0)->GetEdgeIds()->Get(1), 11);
    EXPECT_EQ(read->GetPIEdges()->Count(), 8);
    EXPECT_EQ(read->GetPIQuilts()->Count(), 1);
    EXPECT_EQ(read->GetPIDatums()->Count(), 1);
    // Its copy for saving holds the face too; the converter drops it.
    std::string saved;
    EXPECT_NO_THROW(saved = Save(read));
    EXPECT_NE(saved.find("\n  surfaces [2] {\n"), std::string::npos);
}

TEST_F(PersistenceTest, ReadZPIOfADocumentWithoutExtensionGivesNoExtension) {
    xrchandle<KWPIModel> written = BuildModel(false);
    const std::string path = Path("bare.xml");
    written->WriteZPI(path.c_str());
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->GetWPIModelExt());
    EXPECT_EQ(read->GetPIFaces()->Count(), 2);
}

TEST_F(PersistenceTest, ReadZPIOfWhatItCannotReadSaysWhereAndWhyAndGivesNoModel) {
    auto write = [&](const char* name, const char* text) {
        std::ofstream(Path(name)) << text;
        return Path(name);
    };
    // The second line: its start and its end (the parser's own words stand
    // between them).
    struct Case {
        std::string path;
        std::string starts;
        std::string ends;
    } cases[] = {
        {Path("missing.xml"), "cannot open " + btkQuoted(Path("missing.xml")) + ": ",
         "No such file or directory"},
        {write("empty.xml", ""), "cannot read " + btkQuoted(Path("empty.xml")) + ": ",
         "empty document"},
        {write("truncated.xml", "<?xml version=\"1.0\"?>\n<ZPI><QelIntfData><Accuracy"),
         "cannot read " + btkQuoted(Path("truncated.xml")) + ": line 2, column ", ""},
        {write("neutral.neu", "NEUTRAL format 1404 product 32\nEND\n"),
         "cannot read " + btkQuoted(Path("neutral.neu")) + ": line 1, column 1: ", ""},
        {write("assembly.xml", "<Model name=\"a\" type=\"1\" src_sys=\"0\">\n<Comps size=\"0\">"
                               "</Comps></Model>"),
         "cannot read " + btkQuoted(Path("assembly.xml")) + ": line 2, column ",
         "not an interface-data document (root element \"Model\")"},
        {write("bare.xml", "<Model name=\"a\"/>"),
         "cannot read " + btkQuoted(Path("bare.xml")) + ": ",
         "not an interface-data document (root element \"Model\")"},
        {write("alien.xml", "<ZPI><Something/></ZPI>"),
         "cannot read " + btkQuoted(Path("alien.xml")) + ": line 1, column ",
         "element \"Something\" is not expected in \"ZPI\""},
        {write("extension_only.xml", "<ZPI><QelIntfDataExtend></QelIntfDataExtend></ZPI>"),
         "cannot read " + btkQuoted(Path("extension_only.xml")) + ": ",
         "the document holds no \"QelIntfData\""},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        xrchandle<KWPIModel> read;
        EXPECT_NO_THROW(read = KGetPISession()->ReadZPI(c.path.c_str()));
        EXPECT_FALSE(read) << c.path;
        const std::string said = ::testing::internal::GetCapturedStderr();
        const std::string first = "Could not read the XML data.\n";
        ASSERT_EQ(said.rfind(first, 0), 0u) << said;
        const std::string second = said.substr(first.size());
        EXPECT_EQ(second.rfind(c.starts, 0), 0u) << second;
        EXPECT_EQ(second.substr(second.size() - c.ends.size() - 1), c.ends + "\n") << second;
        EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 1) << second;
    }
}

TEST_F(PersistenceTest, WriteZPITellsThePathAndTheReasonAndKeepsItsStatus) {
    filetargets::NonRegularFiles targets;
    ASSERT_TRUE(targets.Ok());
    xrchandle<KWPIModel> cached;
    {
        ScopedStorageMode cache(0);
        cached = BuildModel(true);
    }
    struct Case {
        std::string path;
        int status;
        std::string reason;
    } cases[] = {
        {Path("no/such/dir/model.xml"), ZPI_STATUS_DOC_OPEN, "No such file or directory"},
        {targets.Directory(), ZPI_STATUS_DOC_OPEN, "(a directory)"},
        {targets.Fifo(), ZPI_STATUS_DOC_OPEN, "(a FIFO)"},
        {"", ZPI_STATUS_DOC_OPEN, "no document name"},
    };
    // Both writers: from the records, and from the objects.
    for (const xrchandle<KWPIModel>& model : {BuildModel(true), cached}) {
        for (const Case& c : cases) {
            const Failure f = FailureOf([&] { model->WriteZPI(c.path.c_str()); });
            EXPECT_EQ(f.status, c.status) << c.path;
            EXPECT_TRUE(Has(f.text, btkQuoted(c.path)) || c.path.empty()) << f.text;
            EXPECT_TRUE(Has(f.text, c.reason)) << f.text;
        }
        EXPECT_FALSE(fs::exists(Path("no")));
        EXPECT_TRUE(filetargets::IsFifo(targets.Fifo()));
        EXPECT_INVALID_ARG(model->WriteZPI(nullptr), 1, 0);
    }
}

TEST_F(PersistenceTest, WriteZPIIntoAFolderThatIsNotWritableSaysSo) {
    filetargets::ScratchDir dir(filetargets::Reach::OtherUsers);
    if (!dir.Made())
        GTEST_SKIP() << filetargets::kNoFolderForOthers;
    ASSERT_EQ(::chmod(dir.Path("").c_str(), 0755), 0);
    xrchandle<KWPIModel> model = BuildModel(true);
    const std::string folder = dir.Path("read_only");
    ASSERT_TRUE(filetargets::MakeFolder(folder, 0555));
    const std::string path = folder + "/model.xml";
    const int code = filetargets::RunAsUser([&] {
        const Failure f = FailureOf([&] { model->WriteZPI(path.c_str()); });
        const bool told = f.status == ZPI_STATUS_DOC_OPEN && Has(f.text, btkQuoted(path)) &&
                          Has(f.text, "the folder is not writable");
        if (!told)
            std::fprintf(stderr, "status %d: %s\n", f.status, f.text.c_str());
        return told ? 0 : 1;
    });
    if (code == filetargets::kChildSetupFailed)
        GTEST_SKIP() << "this process cannot run a child as a user other than root";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(PersistenceTest, WriteZPIOnAFullDiskSaysSoAndKeepsTheOldDocument) {
    xrchandle<KWPIModel> model = BuildModel(true);
    const std::string folder = Path("full");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/model.xml";
    const int code = filetargets::RunOnFullDisk(folder, [&] {
        const Failure f = FailureOf([&] { model->WriteZPI(path.c_str()); });
        const bool told = f.status == ZPI_STATUS_DOC_WRITE && Has(f.text, btkQuoted(path)) &&
                          Has(f.text, "No space left on device");
        if (!told)
            std::fprintf(stderr, "status %d: %s\n", f.status, f.text.c_str());
        return told && !fs::exists(path) ? 0 : 1;
    });
    if (code == filetargets::kChildSetupFailed)
        GTEST_SKIP() << "this process may not mount a small file system in a namespace of its own "
                        "(it needs root where mount namespaces are allowed)";
    EXPECT_EQ(code, 0);
}

// ---- names and texts that a document cannot carry ------------------------------------

// Records may hold names and texts that the creators refuse (given as
// records, or read from an XML 1.1 document, which carries &#x1;): the
// getters give them back exactly, and WriteZPI refuses the model naming
// the item, rather than writing something else, and leaves no document.
TEST_F(PersistenceTest, RecordTextsThatXMLCannotCarryComeBackExactlyAndAreNotWritten) {
    const std::u16string odd = u"a\x01" u"b\uFFFF";
    const std::string oddUtf8 = "a\x01" "b\xEF\xBF\xBF";
    using Ext = qel_intf_data_extend;
    struct Kind {
        const char* named; // as the refusal names it
        std::function<char16_t*(qel_intf_data*, Ext*)> field;
        std::function<xstring(KWPIModelExt&, KWPIModel&)> get;
    } kinds[] = {
        {"the \"name\" of \"Datum\"",
         [](qel_intf_data* d, Ext*) {
             return static_cast<QelDatumdata*>(har_access(d->datums, 0, nullptr, nullptr))->name;
         },
         [](KWPIModelExt&, KWPIModel& m) { return m.GetPIDatums()->Get(0)->GetName(); }},
        {"the \"name\" of \"Layer\"", [](qel_intf_data*, Ext* e) { return e->layers[0].name; },
         [](KWPIModelExt& x, KWPIModel&) { return x.GetPILayers()->Get(0)->GetName(); }},
        {"the \"name\" of \"Unit\"", [](qel_intf_data*, Ext* e) { return e->units[0].name; },
         [](KWPIModelExt& x, KWPIModel&) { return x.GetPIUnits()->Get(0)->GetName(); }},
        {"the \"name\" of \"ItemName\"",
         [](qel_intf_data*, Ext* e) { return e->item_names[0].name; },
         [](KWPIModelExt& x, KWPIModel&) { return x.GetPINameAttributes()->Get(0)->GetName(); }},
        {"the \"name\" of \"Attrib\"",
         [](qel_intf_data*, Ext* e) {
             return static_cast<QelGenAttribdata*>(har_access(e->attributes, 0, nullptr, nullptr))
                 ->name;
         },
         [](KWPIModelExt& x, KWPIModel&) { return x.GetPIGeneralAttributes()->Get(0)->GetName(); }},
        {"the \"val\" of \"Value\"",
         [](qel_intf_data*, Ext* e) {
             return static_cast<QelGenAttribdata*>(har_access(e->attributes, 0, nullptr, nullptr))
                 ->text;
         },
         [](KWPIModelExt& x, KWPIModel&) {
             return xstring(x.GetPIGeneralAttributes()->Get(0)->GetValue());
         }},
    };
    const std::string path = Path("odd.xml");
    for (const Kind& kind : kinds) {
        xrchandle<KWPIModel> model = BuildModel(true);
        xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
        xrchandle<KPINameAttributeList> names(KPINameAttributeList::create());
        names->Append(ext->CreatePINameAttribute(1, KPI_FACE, "n"));
        ext->SetPINameAttributes(names);
        xrchandle<KPIGeneralAttributeList> attributes(KPIGeneralAttributeList::create());
        attributes->Append(ext->CreatePIGeneralAttribute(1, KPI_FACE, "g", xany(xstring("t"))));
        ext->SetPIGeneralAttributes(attributes);
        char16_t* field = kind.field(Impl(model)->GetIntfData(),
                                     dynamic_cast<KWPIModelExt_i*>(ext.get())->GetExtendData());
        std::copy(odd.begin(), odd.end() + 1, field);

        EXPECT_EQ(kind.get(*ext, *model).str(), oddUtf8) << kind.named;
        const Failure f = FailureOf([&] { model->WriteZPI(path.c_str()); });
        EXPECT_EQ(f.status, ZPI_STATUS_DOC_RECORD) << f.text;
        EXPECT_TRUE(Has(f.text, btkQuoted(path)) && Has(f.text, kind.named) &&
                    Has(f.text, "U+0001"))
            << f.text;
        EXPECT_FALSE(fs::exists(path)) << kind.named;
    }

    // A host's XML 1.1 document carries the character; it reads back as it
    // is, and so does a layer name that fills its field of 32 units.
    const std::string v11 = Path("v11.xml");
    std::ofstream(v11) << "<?xml version=\"1.1\"?><ZPI><QelIntfData><Accuracy type=\"2\" "
                          "value=\"0.1\"/><Outline><MinPoint>0 0 0</MinPoint><MaxPoint>1 1 1"
                          "</MaxPoint></Outline></QelIntfData><QelIntfDataExtend><Layers "
                          "size=\"1\"><Layer name=\"a&#x1;b\" layer_id=\"1\" operation=\"1\">"
                          "<Ids size=\"0\"/></Layer></Layers></QelIntfDataExtend></ZPI>";
    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(v11.c_str());
    ASSERT_TRUE(read && read->GetWPIModelExt());
    xrchandle<KWPIModelExt> ext = read->GetWPIModelExt();
    EXPECT_EQ(ext->GetPILayers()->Get(0)->GetName().str(), "a\x01" "b");
    QelLayerdata& layer = dynamic_cast<KWPIModelExt_i*>(ext.get())->GetExtendData()->layers[0];
    std::fill(std::begin(layer.name), std::end(layer.name), u'L');
    EXPECT_EQ(ext->GetPILayers()->Get(0)->GetName().str(), std::string(QEL_NAME_LEN, 'L'));
}

// ---- writes that never destroy, and saves at once ----------------------------------

TEST_F(PersistenceTest, AFailedRewriteOfADocumentLeavesTheOldOneByEitherWriter) {
    for (const bool cacheMode : {false, true}) {
        xrchandle<KWPIModel> model;
        {
            ScopedStorageMode mode(cacheMode ? 0 : 1);
            model = BuildModel(true);
        }
        ASSERT_EQ(Impl(model)->GetIntfData() == nullptr, cacheMode);
        const std::string path = Path(cacheMode ? "cached.xml" : "records.xml");
        model->WriteZPI(path.c_str());
        const std::string old = filetargets::ReadAll(path);
        ASSERT_GT(old.size(), 200u);

        // The rewrite cannot grow past 100 bytes: it fails with the
        // writer's status and the old document stays whole.
        const int code = filetargets::RunWithFileSizeLimit(100, [&] {
            Raised r = Catch([&] { model->WriteZPI(path.c_str()); });
            return r.kind == Raised::Simple && r.status == INTFXML_ERR_WRITE ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << "cache mode " << cacheMode;
        EXPECT_EQ(filetargets::ReadAll(path), old);
        xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
        ASSERT_TRUE(read);
        ExpectSameModel(read, model);
    }
    // Nothing was left beside the documents.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path("")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"cached.xml", "records.xml"}));
}

namespace {

// A caller's stream whose every Write throws.
class ThrowingStream : public KCStream {
public:
    int Read(void*, int) override { return -1; }
    int Write(const void*, int) override { throw std::runtime_error("disk gone"); }
    int64_t GetPos() override { return 0; }
    int SetPos(int64_t) override { return -1; }
    int Close() override { return 0; }
};

} // namespace

TEST_F(PersistenceTest, SaveAsNeutralIntoAStreamThatThrowsReportsTheFailureAndLeaksNothing) {
    xrchandle<KWPIModel> model = BuildModel(true);
    const std::string good = Save(model);
    for (int i = 0; i < 2; ++i) {
        const Failure f =
            FailureOf([&] { model->SaveAsNeutral(xrchandle<KCStream>(new ThrowingStream)); });
        EXPECT_EQ(f.status, KPI_STATUS_NEUTRAL_WRITE_FAILED);
        EXPECT_TRUE(Has(f.text, "the stream's Write threw: disk gone")) << f.text;
    }
    // The name is free again and the model saves as before; the fixture
    // checks that no stream or other object was kept alive.
    EXPECT_EQ(Save(model), good);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
#endif
}

namespace {

// A caller's stream whose first Write saves `model` again, on the same
// thread, into a stream of its own; `swallow` keeps what that save raised
// from leaving the Write.
class ResavingStream : public MemoryStream {
public:
    ResavingStream(xrchandle<KWPIModel> model, bool swallow)
        : model_(std::move(model)), swallow_(swallow) {}
    int Write(const void* buffer, int count) override {
        if (!tried_) {
            tried_ = true;
            auto again = [&] { model_->SaveAsNeutral(xrchandle<KCStream>(new MemoryStream)); };
            if (!swallow_)
                again();
            inner = FailureOf(again);
        }
        return MemoryStream::Write(buffer, count);
    }
    Failure inner;

private:
    xrchandle<KWPIModel> model_;
    bool swallow_;
    bool tried_ = false;
};

} // namespace

TEST_F(PersistenceTest, ASaveStartedFromInsideASavesStreamAnswersMinus91AndNeverHangs) {
    xrchandle<KWPIModel> model = BuildModel(true);
    const std::string whole = Save(model);
    // In a child with a time limit: a save that waits for the lock its own
    // thread holds would hang for ever.
    const int code = filetargets::RunInChild(
        [] { return true; },
        [&] {
            // The inner save is refused and the outer one goes on.
            xrchandle<ResavingStream> swallowing(new ResavingStream(model, true));
            const Failure outer =
                FailureOf([&] { model->SaveAsNeutral(xrchandle<KCStream>(swallowing.get())); });
            if (outer.status != 0 || swallowing->inner.status != ZPI_STATUS_NEUTRAL_STREAM_TAKEN ||
                !Has(swallowing->inner.text, "already running on this thread") ||
                swallowing->data != whole)
                return 1;
            // Raised through the Write, the refusal fails the outer save,
            // which tells it; the next save works again.
            xrchandle<ResavingStream> raising(new ResavingStream(model, false));
            const Failure failed =
                FailureOf([&] { model->SaveAsNeutral(xrchandle<KCStream>(raising.get())); });
            if (failed.status != ZPI_STATUS_NEUTRAL_WRITE_FAILED ||
                !Has(failed.text, "status -91"))
                return 2;
            return Save(model) == whole ? 0 : 3;
        },
        20);
    EXPECT_EQ(code, 0) << "-1: the process hung and was killed";
}

// A faceted representation of `vertices` vertices (each the neighbour of
// facet 1) and two facets, as the only one of the model's extension.
void AddFacets(const xrchandle<KWPIModel>& model, int vertices) {
    xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
    xrchandle<KPIFacetedRep> rep = ext->CreatePIFacetedRep(7);
    xrchandle<KPIFacetVtxList> vtx(KPIFacetVtxList::create());
    for (int i = 0; i < vertices; ++i)
        vtx->Append(rep->CreatePIFacetVtx(KCreatePoint3D(i, 2 * i, 0.5 * i), 1));
    rep->SetPIFacetVtxList(vtx);
    xrchandle<KPIFacetdataList> facets(KPIFacetdataList::create());
    for (int f = 0; f < 2; ++f) {
        xrchandle<xintsequence> ids(xintsequence::create());
        for (int k = 0; k < 3; ++k)
            ids->Append(f + k);
        facets->Append(rep->CreatePIFacetdata(KCreateVector3D(0, 0, 1), ids, nullptr, nullptr));
    }
    rep->SetPIFacetdataList(facets);
    xrchandle<KPIFacetedRepList> reps(KPIFacetedRepList::create());
    reps->Append(rep);
    ext->SetPIFacetedReps(reps);
}

// What the client hands over: the neutral file of the records and the
// extension, written to `path`.
bool HandOver(const xrchandle<KWPIModel>& model, const std::string& path) {
    neut_part* part = nullptr;
    cnv_qlk_neut(Impl(model)->GetIntfData(), &part, 0);
    ConvertQelImpfeatExtend(
        part, dynamic_cast<KWPIModelExt_i*>(model->GetWPIModelExt().get())->GetExtendData());
    const bool ok = stream_neutral_to_pfa(btkStrUtf8ToUtf16(path).c_str(), part) == 1;
    release_neutral_part(part);
    return ok;
}

TEST_F(PersistenceTest, SavesAndHandOversOfNeutralFilesRunAtOnce) {
    constexpr int kModels = 4;
    constexpr int kRounds = 6;
    std::vector<xrchandle<KWPIModel>> models;
    std::vector<std::string> saved, handed;
    for (int m = 0; m < kModels; ++m) {
        models.push_back(BuildModel(true));
        AddFacets(models.back(), 1000 + 100 * m);
        saved.push_back(Save(models.back()));
        const std::string path = Path(("ref" + std::to_string(m) + ".neu").c_str());
        EXPECT_TRUE(HandOver(models.back(), path));
        handed.push_back(filetargets::ReadAll(path));
        EXPECT_NE(handed.back().find("faceted_reps [1] {"), std::string::npos);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int m = 0; m < kModels; ++m) {
        threads.emplace_back([&, m] {
            for (int r = 0; r < kRounds; ++r) {
                try {
                    if (Save(models[size_t(m)]) != saved[size_t(m)])
                        ++failures;
                } catch (...) {
                    ++failures;
                }
            }
        });
        threads.emplace_back([&, m] {
            const std::string path = Path(("out" + std::to_string(m) + ".neu").c_str());
            for (int r = 0; r < kRounds; ++r)
                if (!HandOver(models[size_t(m)], path) ||
                    filetargets::ReadAll(path) != handed[size_t(m)])
                    ++failures;
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
}

// A model per thread, each built, written and read back while the others
// are: the session is shared, and documents are written and read at once.
TEST_F(PersistenceTest, EachThreadBuildsWritesAndReadsItsOwnModelAtOnce) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 3;
    // What each kind of model writes (a later document of the process).
    std::string expected[2];
    for (int kind = 0; kind < 2; ++kind) {
        const std::string path = Path(("ref" + std::to_string(kind) + ".xml").c_str());
        xrchandle<KWPIModel> model = BuildModel(kind == 1);
        model->WriteZPI(path.c_str());
        model->WriteZPI(path.c_str()); // not the first document of the process
        expected[kind] = filetargets::ReadAll(path);
    }
    std::atomic<int> ready{0};
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const std::string path = Path(("thread" + std::to_string(t) + ".xml").c_str());
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            try {
                for (int r = 0; r < kRounds && errors[size_t(t)].empty(); ++r) {
                    const int kind = (t + r) % 2;
                    BuildModel(kind == 1)->WriteZPI(path.c_str());
                    if (filetargets::ReadAll(path) != expected[kind])
                        errors[size_t(t)] = "other bytes in round " + std::to_string(r);
                    xrchandle<KWPIModel> read = KGetPISession()->ReadZPI(path.c_str());
                    xrchandle<KPIFaceList> faces = read ? read->GetPIFaces() : nullptr;
                    if (!faces || faces->Count() != 2 || !read->GetPIDatums() ||
                        bool(read->GetWPIModelExt()) != (kind == 1))
                        errors[size_t(t)] = "another model read in round " + std::to_string(r);
                }
            } catch (const xthrown& e) {
                errors[size_t(t)] = e.what();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::string& error : errors)
        EXPECT_EQ(error, "");
}

// ---- a model over a caller's records ------------------------------------------------

TEST_F(PersistenceTest, CreatePIModelGlobalWorksOnCopiesOfTheCallersRecords) {
    // The caller's records: those of a model it keeps.
    xrchandle<KWPIModel> source = BuildModel(true);
    qel_intf_data* data = Impl(source)->GetIntfData();
    qel_intf_data_extend* extension =
        dynamic_cast<KWPIModelExt_i*>(source->GetWPIModelExt().get())->GetExtendData();

    KWPIModel* const untouched = reinterpret_cast<KWPIModel*>(uintptr_t(0x1));
    KWPIModel* out = untouched;
    EXPECT_EQ(CreatePIModel_global(nullptr, extension, &out), 0);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(CreatePIModel_global(data, extension, nullptr), 0);
    // Records the copy would refuse (an edge's spline whose parameters do
    // not increase) make no model, and that is told naming the item.
    {
        qel_intf_data* uncopied = nullptr;
        ASSERT_EQ(qel_intf_data_alloc(&uncopied), QEL_OK);
        QelCurvedata spline{};
        spline.spline.kind = QEL_CURVE_SPLINE;
        const double params[2] = {1, 0};
        const QelPoint points[2] = {};
        spline.spline.params = static_cast<double*>(xar_alloc(0, sizeof(double), 2));
        xar_append(spline.spline.params, 2, params);
        for (QelPoint** arr : {&spline.spline.points, &spline.spline.tangents}) {
            *arr = static_cast<QelPoint*>(xar_alloc(0, sizeof(QelPoint), 2));
            xar_append(*arr, 2, points);
        }
        spline.spline.count = 2;
        QelEdgedata edge{};
        const uint32_t faces[2] = {1, 2}, dirs[2] = {1, 1};
        ASSERT_EQ(qel_edgedata_init(4, faces, dirs, nullptr, nullptr, &spline, &edge), QEL_OK);
        ASSERT_EQ(qel_intf_data_edge_append(uncopied, &edge), QEL_OK);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(CreatePIModel_global(uncopied, extension, &out), 0);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "CreatePIModel_global: no model made: edge 4, its XYZ curve: a spline whose "
                  "parameter 1 (0) does not increase from parameter 0 (1)\n");
        EXPECT_EQ(out, untouched);
        qel_intf_data_free(uncopied);
    }

    // Without an extension: 0, but the model is made. It carries no
    // reference for the caller, who takes it into a handle at once.
    out = untouched;
    EXPECT_EQ(CreatePIModel_global(data, nullptr, &out), 0);
    ASSERT_NE(out, untouched);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->refCount(), 0);
    {
        xrchandle<KWPIModel> model(out);
        EXPECT_FALSE(model->GetWPIModelExt());
        EXPECT_EQ(model->GetPIFaces()->Count(), 2);
    }

    out = nullptr;
    ASSERT_EQ(CreatePIModel_global(data, extension, &out), 1);
    ASSERT_NE(out, nullptr);
    xrchandle<KWPIModel> model(out);
    EXPECT_NE(Impl(model)->GetIntfData(), data);
    ExpectSameModel(model, source);
    xrchandle<KWPIModelExt> ext = model->GetWPIModelExt();
    ASSERT_TRUE(ext);
    EXPECT_NE(dynamic_cast<KWPIModelExt_i*>(ext.get())->GetExtendData(), extension);
    EXPECT_EQ(ext->GetPIUnits()->Get(0)->GetName().str(), "MM");

    // Changing or closing the new model leaves the caller's records alone.
    model->AddPIDatum(model->CreatePIDatum(201, "SECOND", MakeCsys(0, 0, 0), nullptr, nullptr));
    model->Close();
    model.release();
    EXPECT_EQ(source->GetPIDatums()->Count(), 1);
    EXPECT_EQ(source->GetWPIModelExt()->GetPIUnits()->Count(), 1);
    EXPECT_EQ(source->GetPIFaces()->Get(0)->GetPILoopList()->Get(0)->GetEdgeIds()->Get(0), 10);
}

} // namespace
