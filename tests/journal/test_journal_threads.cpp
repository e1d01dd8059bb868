// The journal under threads: many threads reading one model through its
// journal wrappers, taking and dropping the wrappers of the same objects,
// while the journal records into memory and into a file.
#include "journal_test_util.h"

#include "kernel/model/session_factory.h"
#include "kpi_session.h"

#include "process.h"
#include "file_targets.h"
#include "memory_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kThreads = 8;

// Runs body(thread index) on kThreads threads that start together.
template <class Body> void OnThreads(Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            body(t);
        });
    for (std::thread& thread : threads)
        thread.join();
}

class JournalThreads : public JournalTest {
protected:
    void SetUp() override {
        KGetPISession();
        JournalTest::SetUp();
    }
};

// Every thread takes the first face's wrapper and drops it again, over and
// over: the last reference to a wrapper goes in one thread while another
// asks the face for its wrapper.
TEST_F(JournalThreads, ManyThreadsReadOneFace) {
    constexpr int kRounds = 400;
    xrchandle<KWPIModel> model = WrappedModel(1);
    kkJournalClear();
    std::atomic<int> wrong{0};
    OnThreads([&](int) {
        for (int i = 0; i < kRounds; ++i) {
            xrchandle<KPIFace> face = model->GetPIFaceByIndex(0);
            if (!face || !IsWrapper(face.get()) || face->GetId() != 1)
                wrong.fetch_add(1);
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    std::vector<std::string> records = Records();
    ASSERT_EQ(records.size(), size_t(kThreads) * kRounds * 2);
    int byIndex = 0, ids = 0;
    for (const std::string& record : records) {
        if (record.find(".GetPIFaceByIndex(0) -> KPIFace@") != std::string::npos)
            ++byIndex;
        else if (record.find(".GetId() -> 1") != std::string::npos)
            ++ids;
    }
    EXPECT_EQ(byIndex, kThreads * kRounds);
    EXPECT_EQ(ids, kThreads * kRounds);
}

// Threads walk every face of one model through lists and by index, and
// keep some wrappers while others are dropped.
TEST_F(JournalThreads, ManyThreadsWalkOneModel) {
    constexpr int kFaces = 6;
    constexpr int kRounds = 60;
    xrchandle<KWPIModel> model = WrappedModel(kFaces);
    kkJournalSetMemoryLimit(0);
    std::atomic<int> wrong{0};
    OnThreads([&](int t) {
        std::vector<xrchandle<KPIFace>> kept;
        for (int i = 0; i < kRounds; ++i) {
            xrchandle<KPIFaceList> faces = model->GetPIFaces();
            if (!faces || faces->Count() != kFaces) {
                wrong.fetch_add(1);
                continue;
            }
            for (int f = 0; f < kFaces; ++f) {
                xrchandle<KPIFace> face = faces->Get(f);
                if (face->GetId() != f + 1 || face->GetPISurface()->GetPISurfaceType() != KPISURF_PLANE)
                    wrong.fetch_add(1);
            }
            if ((i + t) % 3 == 0)
                kept.push_back(model->GetPIFaceByIndex((i + t) % kFaces));
            if (model->CountPIFaces() != kFaces)
                wrong.fetch_add(1);
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    kkJournalSetMemoryLimit(10000);
}

// Records from many threads reach the file whole, one line each, and
// memory keeps the same records.
TEST_F(JournalThreads, RecordsFromManyThreadsStayWhole) {
    constexpr int kRounds = 200;
    const filetargets::ScratchDir folder;
    const std::string path = folder.Path("calls.journal");
    kkJournalSetMemoryWithFile(true);
    ASSERT_TRUE(kkJournalSetFile(path.c_str()));
    {
        xrchandle<KWPIModel> model = WrappedModel(2);
        kkJournalClear();
        OnThreads([&](int t) {
            for (int i = 0; i < kRounds; ++i)
                model->GetPIFaceByIndex((i + t) % 2)->GetId();
        });
    }
    ASSERT_TRUE(kkJournalSetFile(nullptr));
    kkJournalSetMemoryWithFile(false);
    std::vector<std::string> inMemory = Records();
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    // The file also holds the records of building the model.
    ASSERT_GE(lines.size(), inMemory.size());
    const std::vector<std::string> tail(lines.end() - long(inMemory.size()), lines.end());
    EXPECT_EQ(tail, inMemory);
    int calls = 0;
    for (const std::string& line : tail) {
        const bool byIndex = line.find(".GetPIFaceByIndex(") != std::string::npos &&
                             line.find(") -> KPIFace@") != std::string::npos;
        const bool id = line.find(".GetId() -> ") != std::string::npos;
        EXPECT_TRUE(byIndex || id) << line;
        ++calls;
    }
    EXPECT_EQ(calls, kThreads * kRounds * 2);
}

// While threads record, others switch the file, change the memory limit
// and take the records: every record is whole wherever it lands.
TEST_F(JournalThreads, SinkChangesWhileThreadsRecord) {
    constexpr int kRounds = 300;
    const filetargets::ScratchDir folder;
    const std::string paths[2] = {folder.Path("a.journal"), folder.Path("b.journal")};
    xrchandle<KWPIModel> model = WrappedModel(1);
    std::atomic<int> recorders{kThreads - 1};
    std::atomic<int> broken{0};
    OnThreads([&](int t) {
        if (t == 0) {
            for (int i = 0; recorders.load() > 0; ++i) {
                kkJournalSetFile(paths[i % 2].c_str());
                kkJournalSetMemoryLimit(size_t(i % 50));
                for (const std::string& record : kkJournalTakeRecords())
                    if (record.find(".GetId() -> 1") == std::string::npos &&
                        record.find(".GetPIFaceByIndex(0) -> KPIFace@") == std::string::npos)
                        broken.fetch_add(1);
                std::this_thread::yield();
            }
            return;
        }
        for (int i = 0; i < kRounds; ++i)
            model->GetPIFaceByIndex(0)->GetId();
        recorders.fetch_sub(1);
    });
    kkJournalSetFile(nullptr);
    kkJournalSetMemoryLimit(10000);
    EXPECT_EQ(broken.load(), 0);
    for (const std::string& path : paths) {
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);)
            EXPECT_TRUE(line.find(".GetId() -> 1") != std::string::npos ||
                        line.find(".GetPIFaceByIndex(0) -> KPIFace@") != std::string::npos)
                << line;
    }
}

// Threads ask fresh objects for their wrappers at the same time, convert
// back and drop their references, the last of which goes in any of them:
// each object gets one wrapper, and the two go together.
TEST_F(JournalThreads, ThreadsMakeTheWrapperOfFreshObjectsAtOnce) {
    constexpr int kObjects = 200;
    const int64_t live = xobject_live_count();
    std::vector<std::vector<xrchandle<KPIFace>>> mine(kThreads, std::vector<xrchandle<KPIFace>>(kObjects));
    {
        xrchandle<KWPIModel> model = KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
        xrchandle<KPIPlane> plane = KGetPISession()->CreatePIPlane(UnitCsys());
        xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
        xrchandle<KPILoopList> loops(KPILoopList::create());
        for (int i = 0; i < kObjects; ++i) {
            xrchandle<KPIFace> face = model->CreatePIFace(i, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops);
            for (int t = 0; t < kThreads; ++t)
                mine[size_t(t)][size_t(i)] = face;
        }
    }
    std::vector<std::vector<const void*>> seen(kThreads, std::vector<const void*>(kObjects));
    std::atomic<int> wrong{0};
    OnThreads([&](int t) {
        for (int i = 0; i < kObjects; ++i) {
            xrchandle<KPIFace> wrapped = kkWrap(std::move(mine[size_t(t)][size_t(i)]));
            seen[size_t(t)][size_t(i)] = wrapped.get();
            xrchandle<KPIFace> back = kkUnwrapItem(std::move(wrapped));
            if (!back || !IsWrapper(kkWrap(back).get()) || back->GetId() != i)
                wrong.fetch_add(1);
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(seen[size_t(t)], seen[0]);
    EXPECT_EQ(xobject_live_count(), live);
}

std::string SaveToMemory(const xrchandle<KWPIModel>& model) {
    xrchandle<MemoryStream> stream(new MemoryStream);
    model->SaveAsNeutral(xrchandle<KCStream>(stream.get()));
    return stream->data;
}

// Threads save models through their wrappers into their own streams while
// other threads read one shared model: every save gives the bytes of a
// save made alone, and each is one record.
TEST_F(JournalThreads, SavesThroughWrappersWhileOthersRead) {
    constexpr int kRounds = 4;
    xrchandle<KWPIModel> shared = WrappedModel(3);
    std::vector<xrchandle<KWPIModel>> own;
    std::vector<std::string> alone;
    for (int t = 0; t < kThreads / 2; ++t) {
        own.push_back(WrappedModel(2 + t));
        alone.push_back(SaveToMemory(own.back()));
        ASSERT_FALSE(alone.back().empty());
    }
    kkJournalClear();
    std::atomic<int> wrong{0};
    OnThreads([&](int t) {
        for (int r = 0; r < kRounds; ++r) {
            if (t % 2 == 0) {
                if (SaveToMemory(own[size_t(t / 2)]) != alone[size_t(t / 2)])
                    wrong.fetch_add(1);
            } else {
                xrchandle<KPIFaceList> faces = shared->GetPIFaces();
                for (int f = 0; f < faces->Count(); ++f)
                    if (faces->Get(f)->GetId() != f + 1)
                        wrong.fetch_add(1);
            }
        }
    });
    EXPECT_EQ(wrong.load(), 0);
    int saves = 0;
    for (const std::string& record : Records())
        if (record.find(".SaveAsNeutral(KCStream@") != std::string::npos) {
            ++saves;
            EXPECT_EQ(record.find(" ! "), std::string::npos) << record;
        }
    EXPECT_EQ(saves, kThreads / 2 * kRounds);
}

// The first KGetPISession of a fresh process, asked by many threads at once
// with journaling on: one session, one wrapper, one record per call.
[[noreturn]] void firstSessionsFromManyThreads() {
    unsetenv("DISABLE_QELKERNEL_JOURNAL");
    KSetZorvanJournaling(true);
    std::vector<xrchandle<KWPISession>> sessions(kThreads);
    OnThreads([&](int t) { sessions[t] = KGetPISession(); });
    int same = 0;
    for (const xrchandle<KWPISession>& session : sessions)
        same += session.get() == sessions[0].get() && IsWrapper(session.get());
    sessions.clear();
    int records = 0;
    for (const std::string& record : kkJournalTakeRecords())
        records += record.rfind("KGetPISession() -> KWPISession@", 0) == 0;
    std::fprintf(stderr, "same=%d records=%d\n", same, records);
    std::fflush(stderr);
    std::_Exit(0);
}

TEST(JournalThreadsFreshProcess, FirstSessionFromManyThreads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(firstSessionsFromManyThreads(), ::testing::ExitedWithCode(0),
                "same=" + std::to_string(kThreads) + " records=" + std::to_string(kThreads));
}

} // namespace
