// The journal under threads: many threads reading one model through its
// journal wrappers, taking and dropping the wrappers of the same objects,
// while the journal records into memory and into a file.
#include "journal_test_util.h"

#include "kpi_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kThreads = 8;

xrchandle<KCsys> UnitCsys() {
    return KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
}

// A model with `count` planar faces numbered from 1, seen through its
// journal wrapper.
xrchandle<KWPIModel> WrappedModelWithFaces(int count) {
    xrchandle<KWPIModel> model = KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01);
    xrchandle<KPIPlane> plane = KGetPISession()->CreatePIPlane(UnitCsys());
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    for (int i = 0; i < count; ++i) {
        xrchandle<KPILoopList> loops(KPILoopList::create());
        model->AddPIFace(model->CreatePIFace(i + 1, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    }
    return kkWrap(model);
}

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
    xrchandle<KWPIModel> model = WrappedModelWithFaces(1);
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
    xrchandle<KWPIModel> model = WrappedModelWithFaces(kFaces);
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
    char folder[] = "/tmp/zpi-journal-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/calls.journal";
    ASSERT_TRUE(kkJournalSetFile(path.c_str()));
    {
        xrchandle<KWPIModel> model = WrappedModelWithFaces(2);
        kkJournalClear();
        OnThreads([&](int t) {
            for (int i = 0; i < kRounds; ++i)
                model->GetPIFaceByIndex((i + t) % 2)->GetId();
        });
    }
    ASSERT_TRUE(kkJournalSetFile(nullptr));
    std::vector<std::string> inMemory = Records();
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::remove(path.c_str());
    rmdir(folder);
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

} // namespace
