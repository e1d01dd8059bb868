// Appending to the base library's arrays one element at a time: the cost per
// element must stay flat as the array grows (geometric growth).
#include "xmemory.h"

#include <benchmark/benchmark.h>

namespace {

void BM_XarAppendDoubles(benchmark::State& state) {
    const int n = int(state.range(0));
    for (auto _ : state) {
        double* a = static_cast<double*>(xar_alloc(0, sizeof(double), 10));
        for (int i = 0; i < n; ++i) {
            double v = i;
            xar_append(a, 1, &v);
        }
        benchmark::DoNotOptimize(a);
        xar_free(a);
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_XarAppendDoubles)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Complexity();

void BM_HarAppendDoubles(benchmark::State& state) {
    const int n = int(state.range(0));
    for (auto _ : state) {
        void* h = har_alloc(sizeof(double), 100);
        for (int i = 0; i < n; ++i) {
            double v = i;
            har_append(&h, &v);
        }
        benchmark::DoNotOptimize(h);
        har_free(&h);
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_HarAppendDoubles)->RangeMultiplier(10)->Range(10'000, 1'000'000)->Complexity();

} // namespace
