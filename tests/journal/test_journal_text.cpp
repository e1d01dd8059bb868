#include "api/recording_impl.h"
#include "journal/marshal/marshal.h"
#include "journal/text/journal_text.h"

#include "base/runtime/counting.h"
#include "file_targets.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

// The record's private raw-text members.
struct kkJournalTextAccess {
    static void AddInput(kkJournal& j, const char* t) { j.AddInput(t); }
    static void AddOutput(kkJournal& j, const char* t) { j.AddOutput(t); }
    static void AddRetval(kkJournal& j, const char* t) { j.AddRetval(t); }
    static void AddComment(kkJournal& j, const char* t) { j.AddComment(t); }
};

namespace {

using Raw = kkJournalTextAccess;

// Journal recording on, an empty sink, no leaks; the switch is restored.
class JournalText : public LiveCountTest {
protected:
    void SetUp() override {
        LiveCountTest::SetUp();
        kkJournalSetRecording(true);
        kkJournalClear();
    }
    void TearDown() override {
        kkJournalSetRecording(true);
        kkJournalClear();
        LiveCountTest::TearDown();
    }
};

std::string textOf(const xobject* o) { return kkJournalObjectText(o); }

// ---- the record and the sink ---------------------------------------------------

TEST_F(JournalText, RecordLineHasTargetInputsAndReturn) {
    xrchandle<KPIArc> arc(new KPIArc_rec);
    {
        kkJournal j("GetThing", static_cast<xobject*>(arc.get()));
        j.In() << 1 << 2.5 << "a\"b\n" << static_cast<const char*>(nullptr) << xany();
        j.Return() << -7;
    }
    {
        kkJournal j("KGetPISession");
        j.Return() << KTRAV_OPPOSITE << KACCURACY_ABSOLUTE;
    }
    std::vector<std::string> records = kkJournalTakeRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], textOf(arc.get()) +
                              ".GetThing(1,2.5,\"a\\\"b\\n\",null,uninit) -> -7");
    EXPECT_EQ(records[1], "KGetPISession() -> KTraversal(2),KAccuracyType(1)");
    EXPECT_EQ(textOf(arc.get()).rfind("KPIArc@", 0), 0u);
    EXPECT_TRUE(kkJournalRecords().empty());
}

TEST_F(JournalText, RecordLineOfExceptionOutputsAndComments) {
    {
        kkJournal j("Close", nullptr);
        Raw::AddOutput(j, "o1");
        Raw::AddOutput(j, "o2");
        Raw::AddComment(j, "see\nbelow");
        j.In() << 3;
        j.Exception() << "failed";
    }
    EXPECT_EQ(kkJournalTakeRecords(),
              std::vector<std::string>{
                  "null.Close(3) ! \"failed\" out(o1o2) // see\\nbelow"});
}

// A record made while not recording writes and delivers nothing, even when
// recording is switched on before it finishes; one made while recording is
// delivered whole, even when recording is switched off meanwhile.
TEST_F(JournalText, RecordFollowsTheSwitchAsItWasWhenMade) {
    xrchandle<KPICurveList> list(KPICurveList::create());
    list->Set(0, xrchandle<KPICurve>(new KPILine_rec));
    xrchandle<xintsequence> ints(xintsequence::create());
    kkJournalSetRecording(false);
    {
        kkJournal j("GetX", nullptr);
        EXPECT_FALSE(j.IsRecorded());
        kkJournalSetRecording(true);
        j.In() << 1 << "t" << KPISURFACE_ORIENT_POSITIVE << KPICURV_ARC;
        j << list << ints;
        Raw::AddInput(j, "raw");
        Raw::AddComment(j, "c");
        j.Return() << 2;
        EXPECT_EQ(j.InputsText(), "");
        EXPECT_EQ(j.Nesting(), 1);
    }
    EXPECT_TRUE(kkJournalRecords().empty());
    {
        kkJournal j("GetY", nullptr);
        EXPECT_TRUE(j.IsRecorded());
        kkJournalSetRecording(false);
        j.In() << 1 << KPICURV_ARC << ints;
        j.Return() << list;
    }
    EXPECT_EQ(kkJournalTakeRecords(),
              std::vector<std::string>{"null.GetY(1,KPICurveType(" + std::to_string(int(KPICURV_ARC)) +
                                       "),sequence<xintsequence>()) -> sequence<KPICurveList,KPICurve>(" +
                                       textOf(list->Get(0).get()) + ")"});
}

TEST_F(JournalText, FileReceivesOneLinePerRecord) {
    std::string path =
        ::testing::TempDir() + "journal_text_sink_" + std::to_string(::getpid()) + ".txt";
    ASSERT_TRUE(kkJournalSetFile(path.c_str()));
    {
        kkJournal j("A");
        j.In() << 1;
    }
    {
        kkJournal j("B");
        Raw::AddComment(j, "x\ny");
    }
    ASSERT_TRUE(kkJournalSetFile(nullptr));
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"A(1)", "B() // x\\ny"}));
    std::remove(path.c_str());
    EXPECT_FALSE(kkJournalSetFile("/nonexistent-dir/journal.txt"));
}

// A path that does not name a regular file is refused at once (a FIFO
// without a reader would otherwise hold the caller, one with a reader would
// receive the journal), and the file that was open is closed.
TEST_F(JournalText, FileMustBeARegularFile) {
    filetargets::NonRegularFiles files;
    ASSERT_TRUE(files.Ok());
    filetargets::ScratchDir dir;
    const std::string file = dir.Path("calls.journal");
    ASSERT_TRUE(kkJournalSetFile(file.c_str()));
    bool taken = true;
    EXPECT_TRUE(files.ReturnsWithin([&] { taken = kkJournalSetFile(files.Directory().c_str()); }));
    EXPECT_FALSE(taken);
    EXPECT_TRUE(files.ReturnsWithin([&] { taken = kkJournalSetFile(files.Fifo().c_str()); }));
    EXPECT_FALSE(taken);
    const int reader = ::open(files.Fifo().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_FALSE(kkJournalSetFile(files.Fifo().c_str()));
    { kkJournal j("AfterRefusal"); }
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);
    EXPECT_EQ(filetargets::ReadAll(file), "");
}

// A record made while another is open on the same thread (a call made from
// inside a call) keeps its own texts, and both finish whole.
TEST_F(JournalText, NestedRecordsKeepTheirOwnTexts) {
    {
        kkJournal outer("Outer");
        outer.In() << 1;
        {
            kkJournal inner("Inner");
            inner.In() << "x";
            inner.Return() << 2.5;
        }
        outer << 2;
        outer.Return() << 3;
    }
    { kkJournal again("Again"); again.In() << 4; }
    EXPECT_EQ(kkJournalTakeRecords(),
              (std::vector<std::string>{"Inner(\"x\") -> 2.5", "Outer(1,2) -> 3", "Again(4)"}));
}

TEST_F(JournalText, MemoryKeepsOnlyTheNewestRecords) {
    kkJournalSetMemoryLimit(2);
    for (const char* name : {"A", "B", "C"})
        kkJournal j(name);
    EXPECT_EQ(kkJournalRecords(), (std::vector<std::string>{"B()", "C()"}));
    kkJournalSetMemoryLimit(10000);
}

// ---- text members ----------------------------------------------------------------

TEST_F(JournalText, AddMembersAndSeparators) {
    kkJournal j("F");
    j.In();
    Raw::AddInput(j, "a");
    Raw::AddInput(j, "b");
    Raw::AddOutput(j, "x");
    Raw::AddOutput(j, "y");
    Raw::AddComment(j, "c");
    Raw::AddComment(j, "d");
    EXPECT_EQ(j.InputsText(), "a,b");
    EXPECT_EQ(j.OutputsText(), "xy");
    EXPECT_EQ(j.CommentsText(), "cd");
    j.Return();
    Raw::AddRetval(j, "r");
    Raw::AddRetval(j, "s");
    EXPECT_EQ(j.RetvalText(), "r,s");
}

TEST_F(JournalText, XstringIsWrittenAsText) {
    kkJournal j("GetName");
    j.Return() << xstring("part \"1\"");
    EXPECT_EQ(j.RetvalText(), "\"part \\\"1\\\"\"");
}

TEST_F(JournalText, SequenceOpeningAndCounter) {
    kkJournal j("F");
    j.In();
    EXPECT_EQ(j.Nesting(), 1);
    j.StartSequence("KPIFaceList", nullptr);
    EXPECT_EQ(j.Nesting(), 3);
    j.EndSequence();
    EXPECT_EQ(j.Nesting(), 2);
    j.StartSequence("KPICurveList", "KPICurve");
    j << 1 << 2;
    j.StartSequence("xintsequence", nullptr);
    j << 3;
    j.EndSequence();
    j.EndSequence();
    j << 4;
    EXPECT_EQ(j.InputsText(),
              "sequence<KPIFaceList>(),sequence<KPICurveList,KPICurve>(1,2,"
              "sequence<xintsequence>(3)),4");
    EXPECT_EQ(j.Nesting(), 2);
}

TEST_F(JournalText, EndSequenceAtOrBelowZeroLowersByOne) {
    kkJournal j("F");
    j.In();
    j.EndSequence(); // 1 -> 0
    EXPECT_EQ(j.Nesting(), 0);
    j.EndSequence(); // 0 -> -1, negative odd is not odd
    EXPECT_EQ(j.Nesting(), -1);
    j.EndSequence();
    EXPECT_EQ(j.Nesting(), -2);
}

TEST_F(JournalText, SequenceInReturnValue) {
    kkJournal j("F");
    j.In() << 1;
    j.Return();
    j.StartSequence("xrealsequence", nullptr);
    j.EndSequence();
    EXPECT_EQ(j.RetvalText(), "sequence<xrealsequence>()");
    EXPECT_EQ(j.InputsText(), "1");
}

using JournalTextDeathTest = JournalText;

TEST_F(JournalTextDeathTest, SequenceOutsideInputsAndReturnEndsTheProcess) {
    EXPECT_DEATH(
        {
            kkJournal j("F");
            j.StartSequence("KPIFaceList", nullptr);
        },
        "\\(kkJournal\\.h:175\\)");
    EXPECT_DEATH(
        {
            kkJournal j("F");
            j.Exception();
            j.EndSequence();
        },
        "\\(kkJournal\\.h:175\\)");
}

// ---- enumerations -----------------------------------------------------------------

TEST_F(JournalText, EnumerationsAsTypeAndNumber) {
    kkJournal j("F");
    j.In() << KPI_LOOP_TRAV_EXTERNAL << KPISURFACE_ORIENT_NEGATIVE << KPICURV_COMP
           << KPISURF_CYLSPLN << static_cast<KPISurfOrient>(7)
           << static_cast<KPISurfType>(-1) << KPI_DATUM_PLANE;
    EXPECT_EQ(j.InputsText(),
              "KPILoopTraversal(2),KPISurfOrient(2),KPICurveType(6),KPISurfType(10),"
              "KPISurfOrient(7),KPISurfType(-1),5");
}

// ---- handles ------------------------------------------------------------------------

TEST_F(JournalText, ObjectHandlesAndValues) {
    xrchandle<KPIFace> face(new KPIFace_rec);
    xrchandle<KPILengthUnit> unit(new KPILengthUnit_rec);
    const int32_t before = face->refCount();
    kkJournal j("F");
    j.In() << face << xrchandle<KPIEdge>() << unit << KCreatePoint3D(1, 2, 3)
           << KCreateVector3D(0, 0, -1) << KCreatePointUV(0.5, 1) << KCreateColorRGB(1, 0, 0)
           << xrchandle<KCsys>();
    EXPECT_EQ(j.InputsText(), textOf(face.get()) + ",null," + textOf(unit.get()) +
                                  ",KPoint3D(1,2,3),KVector3D(0,0,-1),KPointUV(0.5,1),"
                                  "KColorRGB(1,0,0),null");
    EXPECT_EQ(face->refCount(), before); // the writer released its copy
}

TEST_F(JournalText, BoxesAndFrames) {
    xrchandle<KBox3D> box = KBox3D::Create(KCreatePoint3D(0, 0, 0), KCreatePoint3D(1, 2, 3));
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<KCsys> csys = KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0),
                                          KCreateVector3D(0, 1, 0));
    kkJournal j("F");
    j.Return() << box << uv << csys;
    EXPECT_EQ(j.RetvalText(), "KBox3D(0,0,0,1,2,3),KBoxUV(0,0,1,1),"
                              "KCsys(0,0,0,1,0,0,0,1,0,0,0,1)");
}

TEST_F(JournalText, ExceptionHandleShowsItsDetails) {
    try {
        ThrowInvalidArg(2, 1);
    } catch (const xthrown& e) {
        xrchandle<KXException> x(KXException::cast(e.get()));
        kkJournal j("F");
        j.Exception() << x;
        EXPECT_EQ(j.ExceptionText(), textOf(x.get()));
        EXPECT_NE(j.ExceptionText().find("KXInvalidArg@"), std::string::npos);
        EXPECT_NE(j.ExceptionText().find("{arg=2,code=1}"), std::string::npos);
    }
}

// ---- object names ------------------------------------------------------------------

// "<class>@<n>": the number of the implementation object.
std::string numbered(const char* journalClass, const KCommon_i* implementation) {
    return std::string(journalClass) + "@" + std::to_string(implementation->JournalSerial());
}

// Objects made one after another in the same place, each gone before the
// next is made, never share a name.
TEST_F(JournalText, ReleasedObjectAndItsSuccessorNeverShareAName) {
    std::set<std::string> names;
    std::set<const void*> addresses;
    const uint64_t first = KCommon_i::NextJournalSerial();
    constexpr int kObjects = 50;
    for (int i = 0; i < kObjects; ++i) {
        KPIArc_rec arc;
        const std::string name = textOf(&arc);
        EXPECT_EQ(name, numbered("KPIArc", &arc));
        names.insert(name);
        addresses.insert(&arc);
    }
    EXPECT_EQ(names.size(), size_t(kObjects));
    EXPECT_EQ(addresses.size(), 1u);
    EXPECT_GE(KCommon_i::NextJournalSerial(), first + kObjects);
    // And through handles, wherever the objects land.
    std::string previous;
    for (int i = 0; i < 5; ++i) {
        xrchandle<KPIArc> arc(new KPIArc_rec);
        EXPECT_NE(textOf(arc.get()), previous);
        previous = textOf(arc.get());
    }
    // A copy is a new object with a number of its own.
    KPIArc_rec original;
    KPIArc_rec copy(original);
    EXPECT_NE(copy.JournalSerial(), original.JournalSerial());
}

// Every wrapper of an object bears the object's name, so the object keeps
// it when its wrapper is released and made again.
TEST_F(JournalText, ObjectKeepsItsNameAcrossWrapperRecreation) {
    xrchandle<KPIFace> face(new KPIFace_rec);
    KCommon_i* impl = CastToImpl(face.get());
    const std::string name = numbered("KPIFace", impl);
    EXPECT_EQ(textOf(face.get()), name);
    xrchandle<KPIFace> wrapper = kkWrap(face);
    EXPECT_EQ(textOf(wrapper.get()), name);
    { kkJournal j("GetId", static_cast<KCommon*>(wrapper.get())); }
    wrapper.release();
    // A new object in between takes a new number, not the face's.
    xrchandle<KPIFace> other(new KPIFace_rec);
    EXPECT_NE(textOf(other.get()), name);
    xrchandle<KPIFace> again = kkWrap(face);
    EXPECT_EQ(textOf(again.get()), name);
    { kkJournal j("GetId", static_cast<xobject*>(again.get())); }
    EXPECT_EQ(kkJournalTakeRecords(), (std::vector<std::string>{name + ".GetId()", name + ".GetId()"}));
}

// A caller's own objects are numbered from the count of the library's
// objects: streams made one after another (each gone before the next, so
// in the same place where the allocator reuses it) never share a name, a
// copy is another object, and every wrapper standing for a stream shows
// the stream's name.
TEST_F(JournalText, CallersObjectsAreNumberedForGood) {
    std::set<std::string> names;
    constexpr int kStreams = 50;
    for (int i = 0; i < kStreams; ++i) {
        const uint64_t next = KCommon_i::NextJournalSerial();
        xrchandle<KCStream> stream(new MemoryStream);
        const std::string name = textOf(stream.get());
        EXPECT_EQ(name.rfind("KCStream@", 0), 0u) << name;
        const uint64_t number = std::stoull(name.substr(9));
        EXPECT_GE(number, next) << name;
        EXPECT_LT(number, KCommon_i::NextJournalSerial()) << name;
        names.insert(name);
        xrchandle<KCStream> first = kkMakeClientWrapper(stream);
        xrchandle<KCStream> second = kkMakeClientWrapper(stream);
        ASSERT_NE(first.get(), second.get());
        EXPECT_EQ(textOf(first.get()), name);
        EXPECT_EQ(textOf(second.get()), name);
        xrchandle<MemoryStream> copy(new MemoryStream(*static_cast<MemoryStream*>(stream.get())));
        EXPECT_NE(textOf(copy.get()), name);
    }
    EXPECT_EQ(names.size(), size_t(kStreams));
}

// ---- lists and number sequences ---------------------------------------------------------

TEST_F(JournalText, ListsNameListAndElementAndKeepIndexOrder) {
    xrchandle<KPICurve> a(new KPILine_rec), b(new KPIArc_rec), c(new KPIPoint_rec);
    xrchandle<KPICurveList> list(KPICurveList::create());
    // Built out of order: the writer still goes from index 0 up.
    list->Set(2, c);
    list->Set(0, a);
    list->Set(1, b);
    xrchandle<KPIFaceList> empty(KPIFaceList::create());
    xrchandle<KPILoopList> one(KPILoopList::create());
    xrchandle<KPILoop> loop(new KPILoop_rec);
    one->Set(0, loop);
    kkJournal j("F");
    j.In() << 1 << list << empty << one << xrchandle<KPIEdgeList>() << 2;
    EXPECT_EQ(j.InputsText(), "1,sequence<KPICurveList,KPICurve>(" + textOf(a.get()) + "," +
                                  textOf(b.get()) + "," + textOf(c.get()) +
                                  "),sequence<KPIFaceList>(),sequence<KPILoopList,KPILoop>(" +
                                  textOf(loop.get()) + "),null,2");
}

TEST_F(JournalText, ValueListsAndNullElements) {
    xrchandle<KPoint3DList> points(KPoint3DList::create());
    points->Set(1, KCreatePoint3D(4, 5, 6));
    xrchandle<KPointUVList> uvs(KPointUVList::create());
    kkJournal j("F");
    j.Return() << points << uvs;
    EXPECT_EQ(j.RetvalText(),
              "sequence<KPoint3DList,KPoint3D>(null,KPoint3D(4,5,6)),sequence<KPointUVList>()");
}

TEST_F(JournalText, NumberSequences) {
    xrchandle<xintsequence> ints(xintsequence::create());
    ints->Append(3);
    ints->Append(-4);
    xrchandle<xrealsequence> reals(xrealsequence::create());
    reals->Append(0.1);
    kkJournal j("F");
    j.In() << ints << reals << xrchandle<xrealsequence>() << xrchandle<xintsequence>(xintsequence::create());
    EXPECT_EQ(j.InputsText(),
              "sequence<xintsequence>(3,-4),sequence<xrealsequence>(0.1),null,"
              "sequence<xintsequence>()");
}

// A real sequence whose type is neither of the number sequences.
class OddSequence : public xrealsequence {
public:
    const xrttiobject* giveRtti() const override {
        static const xrttiobject* const type =
            xrttiMakeStruct("KTest::OddSequence", cipGetRtti_object());
        return type;
    }
};

TEST_F(JournalTextDeathTest, NumberSequenceOfUnknownTypeEndsTheProcess) {
    EXPECT_DEATH(
        {
            xrchandle<xrealsequence> odd(new OddSequence);
            kkJournal j("F");
            j.In() << odd;
        },
        "\\(kkJournal\\.h:422\\)");
}

} // namespace
