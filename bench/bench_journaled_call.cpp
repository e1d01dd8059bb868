// Cost of the call journal: one call on an implementation object, the same
// call through its journal wrapper with the journal recording or not, and a
// list result whose every element is wrapped (cost per element must stay
// flat as the list grows).
#include "journal/marshal/marshal.h"

#include "kkjournal.h"
#include "kpi_session.h"

#include <benchmark/benchmark.h>

namespace {

xrchandle<KPIArc> NewArc() {
    return KGetPISession()->CreatePIArc(
        KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)),
        0, 1, 2);
}

void BM_PlainGetRadius(benchmark::State& state) {
    xrchandle<KPIArc> arc = NewArc();
    for (auto _ : state)
        benchmark::DoNotOptimize(arc->GetRadius());
}
BENCHMARK(BM_PlainGetRadius);

// Argument: 1 recording (records go nowhere: memory keeps none), 0 not.
void BM_JournaledGetRadius(benchmark::State& state) {
    kkJournalSetMemoryLimit(0);
    kkJournalSetRecording(state.range(0) != 0);
    xrchandle<KPIArc> arc = kkWrap(NewArc());
    for (auto _ : state)
        benchmark::DoNotOptimize(arc->GetRadius());
    kkJournalSetRecording(true);
}
BENCHMARK(BM_JournaledGetRadius)->Arg(0)->Arg(1);

void BM_JournaledGetFaces(benchmark::State& state) {
    const int n = int(state.range(0));
    kkJournalSetMemoryLimit(0);
    kkJournalSetRecording(true);
    xrchandle<KWPIModel> model = kkWrap(KGetPISession()->CreatePIModel(KACCURACY_ABSOLUTE, 0.01));
    xrchandle<KWPISession> session = kkWrap(KGetPISession());
    xrchandle<KPIPlane> plane = session->CreatePIPlane(
        KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0), KCreateVector3D(0, 1, 0)));
    xrchandle<KBoxUV> uv = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    xrchandle<KPILoopList> loops(KPILoopList::create());
    for (int i = 0; i < n; ++i)
        model->AddPIFace(model->CreatePIFace(i + 1, uv, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    for (auto _ : state)
        benchmark::DoNotOptimize(model->GetPIFaces());
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_JournaledGetFaces)->RangeMultiplier(10)->Range(10, 10'000)->Complexity();

} // namespace
