// Writing and freeing a neutral part of 1k to 100k plane faces, each with a
// loop of four edge ids, and as many line edges with a UV curve. The time
// per face should stay flat (the complexity fit reports it).
#include "xmemory.h"
#include "neutral/neutral_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

template <class T> T* make() { return static_cast<T*>(getmem(sizeof(T))); }

neut_part* build_part(int faces) {
    auto* part = make<neut_part>();
    part->surfaces = har_alloc(int(sizeof(neut_surface)), 10);
    part->edges = har_alloc(int(sizeof(neut_edge)), 10);
    for (int f = 0; f < faces; ++f) {
        neut_surface s{};
        s.id = f;
        s.orient = 1;
        int32_t ids[4] = {4 * f, 4 * f + 1, 4 * f + 2, 4 * f + 3};
        neut_loop loop{};
        xar_alloc_or_append(loop.edge_ids, 4, 4, 4, ids);
        xar_alloc_or_append(s.loops, int(sizeof loop), 1, 1, &loop);
        s.surface_type = NEUT_SURF_PLANE;
        auto* plane = make<neut_plane>();
        plane->origin[0] = f * 0.125;
        s.surface = plane;
        har_append(&part->surfaces, &s);

        neut_edge e{};
        e.id = f;
        e.curve_type = NEUT_CURVE_LINE;
        auto* line = make<neut_line>();
        line->end2[0] = f + 0.5;
        e.curve = reinterpret_cast<neut_curve*>(line);
        auto* uv = make<neut_uv_curve>();
        uv->curve_type = NEUT_CURVE_LINE;
        uv->curve = reinterpret_cast<neut_curve*>(make<neut_line>());
        e.uv_curves[0] = uv;
        har_append(&part->edges, &e);
    }
    return part;
}

std::u16string out_path() {
    std::string p = "/tmp/bench_neutral_write_" + std::to_string(::getpid()) + ".neu";
    return std::u16string(p.begin(), p.end());
}

void BM_WriteNeutralPart(benchmark::State& state) {
    neut_part* part = build_part(int(state.range(0)));
    std::u16string path = out_path();
    for (auto _ : state)
        if (stream_neutral_to_pfa(path.c_str(), part) != 1)
            state.SkipWithError("write failed");
    release_neutral_part(part);
    std::remove(std::string(path.begin(), path.end()).c_str());
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteNeutralPart)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)->Complexity();

// Releasing costs the same per face from 100k faces on, once the part no
// longer fits the caches; the fit needs sizes up to 1M to see that.
void BM_ReleaseNeutralPart(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        neut_part* part = build_part(int(state.range(0)));
        state.ResumeTiming();
        release_neutral_part(part);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ReleaseNeutralPart)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
