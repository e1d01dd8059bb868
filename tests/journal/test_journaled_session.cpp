// The journaled session getter and a whole small model built through the
// journaled session: every object handed out is a journal wrapper, every
// call a record, and results and failures are those of the plain path.
#include "journal_test_util.h"

#include "kernel/model/session_factory.h"
#include "kernel/kpi_impl.h"
#include "kpi_session.h"

#include "file_targets.h"
#include "memory_stream.h"
#include "process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <sstream>
#include <string>

namespace {

// Makes the process's session and the journaled getter's kept wrapper
// before the fixture counts live objects: both live for the process.
class JournaledSession : public JournalTest {
protected:
    void SetUp() override {
        KGetPISession();
        KWPISessionFactory_j().GetSession();
        JournalTest::SetUp();
    }
};

xrchandle<KWPISession> JournaledGetSession() { return KWPISessionFactory_j().GetSession(); }

TEST_F(JournaledSession, GetterRecordsKGetPISessionAndHandsOutTheWrapper) {
    xrchandle<KWPISession> session = JournaledGetSession();
    ASSERT_TRUE(session);
    EXPECT_TRUE(IsWrapper(session.get()));
    EXPECT_EQ(CastToImpl(session.get()), CastToImpl(KGetPISession().get()));
    EXPECT_EQ(Record(), "KGetPISession() -> " + Obj(session));
    // Every call writes its own record and gives the same wrapper.
    session.release();
    xrchandle<KWPISession> again = JournaledGetSession();
    xrchandle<KWPISession> third = JournaledGetSession();
    EXPECT_EQ(again.get(), third.get());
    EXPECT_EQ(Records(), (std::vector<std::string>(2, "KGetPISession() -> " + Obj(again))));
}

// Builds a small model (one edge over a line, one planar face with one loop,
// a quilt, a layer holding the face) through `session`, reads it back and
// provokes two refusals. Answers what the caller saw, as text; on the
// journaled path also checks that every object handed out is a wrapper.
std::string BuildSmallModel(const xrchandle<KWPISession>& session, bool journaled) {
    std::ostringstream seen;
    int notAsExpected = 0;
    auto handedOut = [&](KCommon* object) {
        if (object && IsWrapper(object) != journaled)
            ++notAsExpected;
    };
    auto status = [&](auto&& call) {
        xrcunihandle<xthrowable> raised = Raised(call);
        if (KXSimple* simple = KXSimple::softcast(raised.get()))
            seen << " simple" << simple->GetStatus();
        else if (KXInvalidArg* invalid = KXInvalidArg::softcast(raised.get()))
            seen << " invalid" << invalid->GetArgIndex() << "/" << invalid->GetCode();
        else
            seen << (raised.isNull() ? " none" : " other");
        if (KXException* exception = KXException::softcast(raised.get()))
            if ((dynamic_cast<KCommon_j*>(exception) != nullptr) != journaled)
                ++notAsExpected;
    };

    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    handedOut(model.get());
    xrchandle<KPILine> line =
        session->CreatePILine(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 0, 0));
    handedOut(line.get());
    xrchandle<KPIEdge> edge =
        model->CreatePIEdgeWithXYZCurve(1, 10, 11, line, KTRAV_SAME, KTRAV_OPPOSITE);
    handedOut(edge.get());
    xrchandle<KPIEdgeList> edges(KPIEdgeList::create());
    edges->Append(edge);
    model->SetPIEdges(edges);

    xrchandle<KPIPlane> plane = session->CreatePIPlane(KCsys::Create(
        KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)));
    handedOut(plane.get());
    xrchandle<xintsequence> edgeIds(xintsequence::create());
    edgeIds->Append(1);
    xrchandle<KPILoopList> loops(KPILoopList::create());
    loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, edgeIds));
    handedOut(loops->Get(0).get());
    xrchandle<KPIFace> face = model->CreatePIFace(
        10, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)), KPISURFACE_ORIENT_POSITIVE,
        plane, loops);
    handedOut(face.get());
    model->AddPIFace(face);
    xrchandle<KPIFaceList> quiltFaces(KPIFaceList::create());
    quiltFaces->Append(face);
    model->AddPIQuilt(model->CreatePIQuilt(20, quiltFaces));

    xrchandle<KWPIModelExt> ext = session->CreatePIModelExt();
    handedOut(ext.get());
    model->SetWPIModelExt(ext);
    xrchandle<KPILayer> layer = model->GetWPIModelExt()->CreatePILayer("FACES");
    handedOut(layer.get());
    layer->AddPIItem(face);
    xrchandle<KPILayerList> layers(KPILayerList::create());
    layers->Append(layer);
    ext->SetPILayers(layers);

    // Read back.
    seen << "faces " << model->CountPIFaces() << " edges " << model->GetPIEdges()->Count()
         << " quilts " << model->CountPIQuilts() << " accuracy " << model->GetAccuracy();
    xrchandle<KPIFaceList> faces = model->GetPIFaces();
    for (int i = 0; i < faces->Count(); ++i) {
        xrchandle<KPIFace> f = faces->Get(i);
        handedOut(f.get());
        seen << " face " << f->GetId() << " type " << f->GetItemType() << " orient "
             << f->GetPISurfaceOrientation();
        xrchandle<KPISurface> surface = f->GetPISurface();
        handedOut(surface.get());
        seen << " surface " << surface->GetPISurfaceType();
        xrchandle<KPILoopList> faceLoops = f->GetPILoopList();
        for (int j = 0; j < faceLoops->Count(); ++j) {
            handedOut(faceLoops->Get(j).get());
            seen << " loop " << faceLoops->Get(j)->GetPILoopTraversal() << " edges "
                 << faceLoops->Get(j)->GetEdgeIds()->Count();
        }
    }
    xrchandle<KPIEdge> first = model->GetPIEdgeByIndex(0);
    handedOut(first.get());
    xrchandle<KPICurve> curve = first->GetXYZCurve();
    handedOut(curve.get());
    seen << " edge " << first->GetId() << " faces " << first->GetIdFace1() << "," << first->GetIdFace2()
         << " curve " << curve->GetPICurveType() << " end "
         << KPILine::cast(curve.get())->GetEnd1()->x();
    xrchandle<KPIQuilt> quilt = model->GetPIQuiltByIndex(0);
    handedOut(quilt.get());
    seen << " quilt " << quilt->GetId() << " of " << quilt->GetFaces()->Count();
    xrchandle<xintsequence> items = model->GetWPIModelExt()->GetPILayers()->Get(0)->GetPIItemList();
    seen << " layer items " << items->Count() << " first " << items->Get(0);

    // Refusals.
    status([&] { session->CreatePIArc(nullptr, 0, 1, 2); });
    status([&] { model->CreatePIEdgeWithPoints(-1, -1, -1, nullptr, nullptr, KTRAV_NONE, KTRAV_NONE); });
    xrchandle<KCStream> stream(new MemoryStream);
    model->Close();
    status([&] { model->SaveAsNeutral(stream); });
    seen << " closed faces " << model->CountPIFaces();
    seen << " wrappers " << (notAsExpected == 0 ? "as expected" : "NOT as expected");
    return seen.str();
}

TEST_F(JournaledSession, SmallModelGivesThePlainPathsResults) {
    const std::string plain = BuildSmallModel(KGetPISession(), false);
    Records();
    const std::string journaled = BuildSmallModel(JournaledGetSession(), true);
    EXPECT_EQ(journaled, plain);
    EXPECT_NE(plain.find("wrappers as expected"), std::string::npos) << plain;
    EXPECT_NE(plain.find("faces 1 edges 1 quilts 1"), std::string::npos) << plain;
    EXPECT_NE(plain.find(" invalid1/0"), std::string::npos) << plain;

    // One record per call, in call order, each named after its operation.
    std::vector<std::string> records = Records();
    ASSERT_GE(records.size(), 20u);
    EXPECT_EQ(records[0].rfind("KGetPISession() -> KWPISession@", 0), 0u) << records[0];
    auto findRecord = [&](const std::string& part) {
        for (const std::string& r : records)
            if (r.find(part) != std::string::npos)
                return r;
        return std::string();
    };
    EXPECT_NE(findRecord(".CreatePIModel(KAccuracyType(1),0.01) -> KWPIModel@"), "");
    const std::string face = findRecord(".CreatePIFace(");
    EXPECT_NE(face.find("(10,KBoxUV("), std::string::npos) << face;
    EXPECT_NE(face.find(",KPISurfOrient(1),KPIPlane@"), std::string::npos) << face;
    EXPECT_NE(face.find(",sequence<KPILoopList,KPILoop>(KPILoop@"), std::string::npos) << face;
    EXPECT_NE(face.find(") -> KPIFace@"), std::string::npos) << face;
    EXPECT_NE(findRecord(".CreatePILoop(KPILoopTraversal(2),sequence<xintsequence>(1)) -> KPILoop@"),
              "");
    EXPECT_NE(findRecord(".CreatePIEdgeWithXYZCurve(1,10,11,KPILine@"), "");
    EXPECT_NE(findRecord(".GetPIFaces() -> sequence<KPIFaceList,KPIFace>(KPIFace@"), "");
    EXPECT_NE(findRecord(".CreatePILayer(\"FACES\") -> KPILayer@"), "");
    EXPECT_NE(findRecord(".GetPISurfaceType() -> KPISurfType(0)"), "");
    const std::string arc = findRecord(".CreatePIArc(");
    EXPECT_NE(arc.find("(null,0,1,2) ! KXInvalidArg@"), std::string::npos) << arc;
    EXPECT_EQ(arc.find(" -> "), std::string::npos) << arc;
    const std::string save = findRecord(".SaveAsNeutral(");
    EXPECT_NE(save.find(" ! KXSimple@"), std::string::npos) << save;
    EXPECT_EQ(save.find("SaveAsNeutral(null)"), std::string::npos) << save;
    EXPECT_NE(findRecord(".Close()"), "");
}

// ---- the factory's decision in a fresh process --------------------------------
const char* const kDisable = "DISABLE_QELKERNEL_JOURNAL";

// The first KGetPISession of a fresh process with the journaling switch on
// and the variable as given; reports on stderr what the caller got.
[[noreturn]] void firstSessionWithJournaling(const char* disable) {
    if (disable)
        setenv(kDisable, disable, 1);
    else
        unsetenv(kDisable);
    KSetZorvanJournaling(true);
    kkJournalClear();
    xrchandle<KWPISession> session = KGetPISession();
    xrchandle<KWPIModel> model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.5);
    const bool wrapped = IsWrapper(session.get()) && IsWrapper(model.get());
    const bool accuracy = model->GetAccuracy() == 0.5;
    const bool same = KGetPISession().get() == session.get();
    model.release();
    session.release();
    std::vector<std::string> records = kkJournalTakeRecords();
    std::string first = records.empty() ? "none" : records[0].substr(0, records[0].find('@'));
    std::fprintf(stderr, "wrapped=%d accuracy=%d same=%d records=%zu first=%s\n", wrapped,
                 accuracy, same, records.size(), first.c_str());
    std::fflush(stderr);
    std::_Exit(0);
}

class FreshJournaledProcess : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FreshJournaledProcess, JournalingOnHandsOutWrappers) {
    EXPECT_EXIT(firstSessionWithJournaling(nullptr), ::testing::ExitedWithCode(0),
                "wrapped=1 accuracy=1 same=1 records=4 first=KGetPISession\\(\\) -> KWPISession");
}

TEST_F(FreshJournaledProcess, DisabledByTheVariableHandsOutTheSessionItself) {
    EXPECT_EXIT(firstSessionWithJournaling("1"), ::testing::ExitedWithCode(0),
                "wrapped=0 accuracy=1 same=1 records=0 first=none");
}

// ---- the outside switch ----------------------------------------------------------
const char* const kJournalFile = "ZORVAN_JOURNAL_FILE";

// A name in the temporary folder for this run of the test program. A
// death test's child runs the test again in a process of its own, with
// the parent's environment: the run's number goes there, so that parent
// and child name the same file (and the parent removes what the child made).
std::string freshJournalPath(const char* name) {
    const char* const kRun = "ZPI_TEST_JOURNAL_RUN";
    if (!getenv(kRun))
        setenv(kRun, std::to_string(getpid()).c_str(), 0);
    return ::testing::TempDir() + "zpi-" + getenv(kRun) + "-" + name;
}

// A fresh process with the variables as given and the journaling switch off
// in code: builds a little and reports on stderr whether the session is a
// wrapper and what the named file holds.
[[noreturn]] void runWithJournalFile(const char* disable, const std::string& path) {
    if (disable)
        setenv(kDisable, disable, 1);
    else
        unsetenv(kDisable);
    setenv(kJournalFile, path.c_str(), 1);
    KSetZorvanJournaling(false);
    xrchandle<KWPISession> session = KGetPISession();
    const bool wrapped = IsWrapper(session.get());
    session->CreatePIModel(KACCURACY_ABSOLUTE, 0.5)->GetAccuracy();
    session.release();
    std::ifstream in(path);
    int lines = 0;
    std::string first, last;
    for (std::string line; std::getline(in, line); ++lines) {
        if (lines == 0)
            first = line.substr(0, line.find('@'));
        last = line;
    }
    const bool accuracy = last.find(".GetAccuracy() -> 0.5") != std::string::npos;
    std::fprintf(stderr, "wrapped=%d on=%d exists=%d lines=%d first=%s accuracy=%d\n", wrapped,
                 KGetZorvanJournaling(), access(path.c_str(), F_OK) == 0, lines, first.c_str(),
                 accuracy);
    std::fflush(stderr);
    std::_Exit(0);
}

TEST_F(FreshJournaledProcess, JournalFileVariableJournalsTheRunIntoTheFile) {
    const std::string path = freshJournalPath("run.journal");
    EXPECT_EXIT(runWithJournalFile(nullptr, path), ::testing::ExitedWithCode(0),
                "wrapped=1 on=1 exists=1 lines=3 first=KGetPISession\\(\\) -> KWPISession accuracy=1");
    std::remove(path.c_str());
}

TEST_F(FreshJournaledProcess, DisablingVariableWinsOverTheJournalFile) {
    const std::string path = freshJournalPath("disabled.journal");
    EXPECT_EXIT(runWithJournalFile("1", path), ::testing::ExitedWithCode(0),
                "wrapped=0 on=0 exists=0 lines=0 first= accuracy=0");
    std::remove(path.c_str());
}

TEST_F(FreshJournaledProcess, JournalFileThatCannotBeWrittenIsReported) {
    const std::string folder = freshJournalPath("folder");
    // (The death test's child finds the parent's folder there.)
    ASSERT_TRUE(mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) << strerror(errno);
    EXPECT_EXIT(runWithJournalFile(nullptr, folder), ::testing::ExitedWithCode(0),
                "ZORVAN_JOURNAL_FILE: cannot journal into \".*folder\" \\(a directory\\); journaling is "
                "not switched on(.|\\n)*wrapped=0 on=0 exists=1 lines=0");
    rmdir(folder.c_str());
}

TEST(JournalFromOutside, OnlyAPathSwitchesAndOnlyWithoutTheDisablingVariable) {
    // None of these reach the file or the switch.
    const bool before = KGetZorvanJournaling();
    filetargets::ScratchDir dir;
    const std::string path = dir.Path("never-written.journal");
    EXPECT_FALSE(KJournalFromOutside("1", path.c_str()));
    EXPECT_FALSE(KJournalFromOutside("", path.c_str()));
    EXPECT_FALSE(KJournalFromOutside(nullptr, nullptr));
    EXPECT_FALSE(KJournalFromOutside(nullptr, ""));
    EXPECT_EQ(KGetZorvanJournaling(), before);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{});
}

} // namespace
