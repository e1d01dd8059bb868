// Cost of the call journal per call: one call on an implementation object
// (the plain call), and the same call through its journal wrapper with the
// journal not recording, recording into memory and recording into a file.
// Two calls: KPIArc::GetRadius (no argument) and KWPIModel::SetWPIModelExt
// (one object argument).
//
// Every benchmark prints its processor time per call ("ns") and the ratio
// to the plain call of the same method measured in this process
// ("x_plain"). Goals: not recording at most 2 x_plain; into memory at most
// 250 ns per call with one object argument; into a file at most 1000 ns.
// A record reaches its file in one write before the call returns, so the
// file benchmarks also print the time of one bare write of a 100-byte line
// ("write_ns", measured in this process) and their ratio to it ("x_write").
//
// A list result whose every element is wrapped is measured as well: the
// cost per element must stay flat as the list grows.
#include "journal/marshal/marshal.h"

#include "kkjournal.h"
#include "kpi_session.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

// Time is the thread's processor time (system calls included), so that
// other work on the machine does not count.
double ThreadNs() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

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
            const double start = ThreadNs();
            for (int i = 0; i < n; ++i)
                call();
            best = std::min(best, (ThreadNs() - start) / n);
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

// Nanoseconds of one bare write of a 100-byte line to a file, the floor of
// a record that reaches its file before the call returns: the best of three
// rounds of 100000 writes.
double BareWriteNs() {
    static const double ns = [] {
        char folder[] = "/tmp/zpi-bench-XXXXXX";
        if (!mkdtemp(folder))
            return 0.0;
        const std::string path = std::string(folder) + "/bare";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        double best = 1e300;
        if (fd >= 0) {
            char line[100];
            std::fill(line, line + 99, 'x');
            line[99] = '\n';
            const int n = 100'000;
            for (int round = 0; round < 3; ++round) {
                const double start = ThreadNs();
                for (int i = 0; i < n; ++i)
                    if (::write(fd, line, sizeof line) != ssize_t(sizeof line))
                        break;
                best = std::min(best, (ThreadNs() - start) / n);
            }
            ::close(fd);
        }
        std::remove(path.c_str());
        rmdir(folder);
        return best < 1e300 ? best : 0.0;
    }();
    return ns;
}

template <class Call> void RunCall(benchmark::State& state, Mode mode) {
    const double plain = PlainNs<Call>();
    const double bareWrite = mode == kFile ? BareWriteNs() : 0.0;
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
        const double start = ThreadNs();
        for (auto _ : state)
            call();
        const double ns = (ThreadNs() - start) / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
        state.counters["ns"] = ns;
        state.counters["x_plain"] = ns / plain;
        if (bareWrite > 0) {
            state.counters["write_ns"] = bareWrite;
            state.counters["x_write"] = ns / bareWrite;
        }
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
