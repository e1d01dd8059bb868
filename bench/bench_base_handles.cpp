// Appending handles to a sequence one at a time: every append takes one
// reference and growth moves the handles already held, so the cost per
// handle must stay flat as the sequence grows (geometric growth).
#include "kvalues.h"

#include <benchmark/benchmark.h>

namespace {

void BM_PointListAppendSharedPoint(benchmark::State& state) {
    const int n = int(state.range(0));
    xrchandle<KPoint3D> point = KCreatePoint3D(1, 2, 3);
    for (auto _ : state) {
        xrchandle<KPoint3DList> list(KPoint3DList::create());
        for (int i = 0; i < n; ++i)
            list->Append(point);
        benchmark::DoNotOptimize(list->Count());
    } // the list goes here and gives back its n references
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PointListAppendSharedPoint)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Filling a list from its last index down (the first Set grows it at once).
void BM_PointListSetFromTheEnd(benchmark::State& state) {
    const int n = int(state.range(0));
    xrchandle<KPoint3D> point = KCreatePoint3D(1, 2, 3);
    for (auto _ : state) {
        xrchandle<KPoint3DList> list(KPoint3DList::create());
        for (int i = n - 1; i >= 0; --i)
            list->Set(i, point);
        benchmark::DoNotOptimize(list->Count());
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PointListSetFromTheEnd)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

} // namespace
