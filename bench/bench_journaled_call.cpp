// Cost of the call journal per call, for the four kinds of call a
// translator makes: numbers only (KPIArc::GetRadius), an object argument
// (KWPIModel::SetWPIModelExt), an object answered (KWPIModel::
// GetPIFaceByIndex) and a list answered (KPIFace::GetPILoopList, whose
// loops are made anew on every call, as a model read from its records
// does). Each is called through its journal wrapper with the journal not
// recording, recording into memory and recording into a file.
//
// Every iteration runs a batch of the journaled call and a batch of the
// plain call on the implementation object (and, for a file, a batch of
// bare write()s of a 100-byte line to a file in the same folder), in an
// order that alternates, each timed in the thread's processor time, so
// that other work on the machine weighs on neither side. Counters, each the
// median over the iterations: "ns" per journaled call, "plain_ns" per plain
// call, "x_plain" the ratio of the two in one iteration; for a file also
// "write_ns" per bare write and "x_write" the journaled call's ratio to it.
// Goals: not recording at most 2 x_plain; into memory at most 150 ns; into
// a file at most 1.5 x_write.
//
// A list result whose every element is wrapped is measured as well: the
// cost per element must stay flat as the list grows.
#include "journal/marshal/marshal.h"

#include "kkjournal.h"
#include "kpi_session.h"
#include "zpi_bench_util.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using zpibench::Median;

// The thread's processor time (system calls included).
double ThreadNs() { return 1e9 * zpibench::ThreadCpuSeconds(); }

xrchandle<KCsys> UnitCsys() {
    return KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
}

// The measured calls, on implementation objects or on their wrappers.
struct GetRadius {
    xrchandle<KPIArc> arc;
    explicit GetRadius(bool wrapped) : arc(KGetPISession()->CreatePIArc(UnitCsys(), 0, 1, 2)) {
        if (wrapped)
            arc = kkWrap(arc);
    }
    void operator()() { benchmark::DoNotOptimize(arc->GetRadius()); }
};
struct SetWPIModelExt {
    xrchandle<KWPIModel> model;
    xrchandle<KWPIModelExt> ext;
    explicit SetWPIModelExt(bool wrapped)
        : model(KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01)),
          ext(KGetPISession()->CreatePIModelExt()) {
        if (wrapped) {
            model = kkWrap(model);
            ext = kkWrap(ext);
        }
    }
    void operator()() {
        model->SetWPIModelExt(ext);
        benchmark::ClobberMemory();
    }
};
// A model of one face with one loop of four edges.
struct OneFace {
    xrchandle<KWPIModel> model;
    xrchandle<KPIFace> face;
    OneFace() : model(KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01)) {
        xrchandle<KPIPlane> plane = KGetPISession()->CreatePIPlane(UnitCsys());
        xrchandle<xintsequence> edges(xintsequence::create());
        for (int id = 1; id <= 4; ++id)
            edges->Append(id);
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, edges));
        face = model->CreatePIFace(1, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1)),
                                   KPISURFACE_ORIENT_POSITIVE, plane, loops);
        model->AddPIFace(face);
    }
};
struct GetPIFaceByIndex {
    OneFace one;
    explicit GetPIFaceByIndex(bool wrapped) {
        if (wrapped)
            one.model = kkWrap(one.model);
    }
    void operator()() { benchmark::DoNotOptimize(one.model->GetPIFaceByIndex(0)); }
};
struct GetPILoopList {
    OneFace one;
    explicit GetPILoopList(bool wrapped) {
        if (wrapped)
            one.face = kkWrap(one.face);
    }
    void operator()() { benchmark::DoNotOptimize(one.face->GetPILoopList()); }
};

// Where the journal records go while a benchmark runs.
enum Mode { kNotRecording, kMemory, kFile };

// A folder of its own for the journal file and the bare writes' file,
// removed again afterwards.
class Folder {
public:
    Folder() {
        char folder[] = "/tmp/zpi-bench-XXXXXX";
        if (mkdtemp(folder))
            path_ = folder;
    }
    ~Folder() {
        kkJournalSetFile(nullptr);
        if (bare_ >= 0)
            ::close(bare_);
        if (!path_.empty()) {
            std::remove((path_ + "/calls.journal").c_str());
            std::remove((path_ + "/bare").c_str());
            rmdir(path_.c_str());
        }
    }
    bool Open() {
        if (path_.empty() || !kkJournalSetFile((path_ + "/calls.journal").c_str()))
            return false;
        bare_ = ::open((path_ + "/bare").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
        return bare_ >= 0;
    }
    // One bare write of a 100-byte line, the floor of a record that reaches
    // its file before its call returns.
    void Write() {
        static const std::string line = std::string(99, 'x') + '\n';
        benchmark::DoNotOptimize(::write(bare_, line.data(), line.size()));
    }

private:
    std::string path_;
    int bare_ = -1;
};

constexpr int kBatch = 200;

// Nanoseconds per run of f, over one batch.
template <class F> double BatchNs(F& f) {
    const double start = ThreadNs();
    for (int i = 0; i < kBatch; ++i)
        f();
    return (ThreadNs() - start) / kBatch;
}

template <class Call> void RunCall(benchmark::State& state, Mode mode) {
    kkJournalClear();
    kkJournalSetMemoryLimit(mode == kMemory ? 10000 : 0);
    kkJournalSetRecording(mode != kNotRecording);
    Folder folder;
    if (mode == kFile && !folder.Open()) {
        state.SkipWithError("no journal file");
        return;
    }
    {
        Call plain(false), journaled(true);
        auto write = [&] { folder.Write(); };
        std::vector<double> ns, plainNs, ratios, writeNs, writeRatios;
        bool plainFirst = true;
        for (auto _ : state) {
            double p, j;
            if (plainFirst) {
                p = BatchNs(plain);
                j = BatchNs(journaled);
            } else {
                j = BatchNs(journaled);
                p = BatchNs(plain);
            }
            plainFirst = !plainFirst;
            ns.push_back(j);
            plainNs.push_back(p);
            ratios.push_back(j / p);
            if (mode == kFile) {
                const double w = BatchNs(write);
                writeNs.push_back(w);
                writeRatios.push_back(j / w);
            }
        }
        state.counters["ns"] = Median(ns);
        state.counters["plain_ns"] = Median(plainNs);
        state.counters["x_plain"] = Median(ratios);
        if (mode == kFile) {
            state.counters["write_ns"] = Median(writeNs);
            state.counters["x_write"] = Median(writeRatios);
        }
    }
    kkJournalSetRecording(true);
    kkJournalSetFile(nullptr);
    kkJournalSetMemoryLimit(10000);
    kkJournalClear();
}

#define ZPI_BENCH_CALL(Call)                                                   \
    void BM_##Call##_NotRecording(benchmark::State& s) { RunCall<Call>(s, kNotRecording); } \
    void BM_##Call##_Memory(benchmark::State& s) { RunCall<Call>(s, kMemory); } \
    void BM_##Call##_File(benchmark::State& s) { RunCall<Call>(s, kFile); }   \
    BENCHMARK(BM_##Call##_NotRecording);                                       \
    BENCHMARK(BM_##Call##_Memory);                                             \
    BENCHMARK(BM_##Call##_File);
ZPI_BENCH_CALL(GetRadius)
ZPI_BENCH_CALL(SetWPIModelExt)
ZPI_BENCH_CALL(GetPIFaceByIndex)
ZPI_BENCH_CALL(GetPILoopList)
#undef ZPI_BENCH_CALL

void BM_JournaledGetFaces(benchmark::State& state) {
    const int n = int(state.range(0));
    kkJournalSetMemoryLimit(0);
    kkJournalSetRecording(true);
    xrchandle<KWPIModel> model = kkWrap(KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01));
    xrchandle<KWPISession> session = kkWrap(KGetPISession());
    xrchandle<KPIPlane> plane = session->CreatePIPlane(UnitCsys());
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<KPILoopList> loops(KPILoopList::create());
    for (int i = 0; i < n; ++i)
        model->AddPIFace(model->CreatePIFace(i + 1, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    for (auto _ : state)
        benchmark::DoNotOptimize(model->GetPIFaces());
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
    kkJournalSetMemoryLimit(10000);
    kkJournalClear();
}
BENCHMARK(BM_JournaledGetFaces)->RangeMultiplier(10)->Range(10, 10'000)->Complexity();

} // namespace
