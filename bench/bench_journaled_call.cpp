// Cost of the call journal per call: one call on an implementation object
// (the plain call), and the same call through its journal wrapper with the
// journal not recording, recording into memory and recording into a file.
// Two calls: KPIArc::GetRadius (no argument) and KWPIModel::SetWPIModelExt
// (one object argument).
//
// Every journaled benchmark prints its time per call ("ns") and the ratio
// to the plain call of the same method measured in this process
// ("x_plain"). Goals: not recording at most 2 x_plain; into memory at most
// 250 ns per call with one object argument; into a file at most 1000 ns.
//
// A list result whose every element is wrapped is measured as well: the
// cost per element must stay flat as the list grows.
#include "journal/marshal/marshal.h"

#include "kkjournal.h"
#include "kpi_session.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

xrchandle<KCsys> UnitCsys() {
    return KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0));
}

xrchandle<KPIArc> NewArc() { return KGetPISession()->CreatePIArc(UnitCsys(), 0, 1, 2); }

// The measured calls, on implementation objects or on their wrappers.
struct GetRadius {
    xrchandle<KPIArc> arc;
    explicit GetRadius(bool wrapped) : arc(wrapped ? kkWrap(NewArc()) : NewArc()) {}
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

// Nanoseconds per plain call of Call, measured once per process: the best
// of five rounds of a million calls.
template <class Call> double PlainNs() {
    static const double ns = [] {
        Call call(false);
        const int n = 1'000'000;
        double best = 1e300;
        for (int round = 0; round < 5; ++round) {
            const auto start = Clock::now();
            for (int i = 0; i < n; ++i)
                call();
            const std::chrono::duration<double, std::nano> took = Clock::now() - start;
            best = std::min(best, took.count() / n);
        }
        return best;
    }();
    return ns;
}

// Where the journal records go while a benchmark runs.
enum Mode { kPlain, kNotRecording, kMemory, kFile };

// A journal file in a folder of its own, removed again afterwards.
class JournalFile {
public:
    JournalFile() {
        char folder[] = "/tmp/zpi-bench-XXXXXX";
        if (mkdtemp(folder)) {
            folder_ = folder;
            path_ = folder_ + "/calls.journal";
        }
    }
    ~JournalFile() {
        kkJournalSetFile(nullptr);
        if (!path_.empty())
            std::remove(path_.c_str());
        if (!folder_.empty())
            rmdir(folder_.c_str());
    }
    bool Open() { return !path_.empty() && kkJournalSetFile(path_.c_str()); }

private:
    std::string folder_;
    std::string path_;
};

template <class Call> void RunCall(benchmark::State& state, Mode mode) {
    const double plain = PlainNs<Call>();
    kkJournalClear();
    kkJournalSetMemoryLimit(mode == kMemory ? 10000 : 0);
    kkJournalSetRecording(mode == kMemory || mode == kFile);
    JournalFile file;
    if (mode == kFile && !file.Open()) {
        state.SkipWithError("no journal file");
        return;
    }
    {
        Call call(mode != kPlain);
        const auto start = Clock::now();
        for (auto _ : state)
            call();
        const std::chrono::duration<double, std::nano> took = Clock::now() - start;
        const double ns = took.count() / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
        state.counters["ns"] = ns;
        state.counters["x_plain"] = ns / plain;
    }
    kkJournalSetRecording(true);
    kkJournalSetFile(nullptr);
    kkJournalSetMemoryLimit(10000);
    kkJournalClear();
}

void BM_GetRadius_Plain(benchmark::State& s) { RunCall<GetRadius>(s, kPlain); }
void BM_GetRadius_NotRecording(benchmark::State& s) { RunCall<GetRadius>(s, kNotRecording); }
void BM_GetRadius_Memory(benchmark::State& s) { RunCall<GetRadius>(s, kMemory); }
void BM_GetRadius_File(benchmark::State& s) { RunCall<GetRadius>(s, kFile); }
void BM_SetWPIModelExt_Plain(benchmark::State& s) { RunCall<SetWPIModelExt>(s, kPlain); }
void BM_SetWPIModelExt_NotRecording(benchmark::State& s) { RunCall<SetWPIModelExt>(s, kNotRecording); }
void BM_SetWPIModelExt_Memory(benchmark::State& s) { RunCall<SetWPIModelExt>(s, kMemory); }
void BM_SetWPIModelExt_File(benchmark::State& s) { RunCall<SetWPIModelExt>(s, kFile); }
BENCHMARK(BM_GetRadius_Plain);
BENCHMARK(BM_GetRadius_NotRecording);
BENCHMARK(BM_GetRadius_Memory);
BENCHMARK(BM_GetRadius_File);
BENCHMARK(BM_SetWPIModelExt_Plain);
BENCHMARK(BM_SetWPIModelExt_NotRecording);
BENCHMARK(BM_SetWPIModelExt_Memory);
BENCHMARK(BM_SetWPIModelExt_File);

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
