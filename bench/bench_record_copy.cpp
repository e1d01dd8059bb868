// Deep copy and free of a whole interface-data tree: 10,000 faces with
// 100,000 edges, then ten times that. The cost per face should stay flat
// (linear growth; the complexity fit reports it).
#include "xmemory.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

constexpr int kEdgesPerFace = 10;

template <class T> T* array_of(const T* values, int n) {
    void* a = xar_alloc(0, int(sizeof(T)), n);
    xar_append(&a, n, values);
    return static_cast<T*>(a);
}

void check(int st) {
    if (st != QEL_OK)
        std::abort();
}

qel_intf_data* build_tree(int faces) {
    qel_intf_data* root = nullptr;
    check(qel_intf_data_alloc(&root));
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1};
    for (int f = 0; f < faces; ++f) {
        QelSurfaceshapedata shape{};
        const double origin[3] = {double(f), 0, 0};
        check(qel_planedata_init(e1, e2, e3, origin, &shape));
        QelSurfacedata face{};
        check(qel_surfacedata_init(QEL_SURF_PLANE, nullptr, nullptr, 1, &shape, uint32_t(f),
                                   &face));
        int32_t ids[kEdgesPerFace];
        for (int i = 0; i < kEdgesPerFace; ++i)
            ids[i] = f * kEdgesPerFace + i;
        QelContourdata loop{QEL_TRAV_EXTERNAL, array_of(ids, kEdgesPerFace)};
        QelContourdata* loops = array_of(&loop, 1);
        check(qel_surfacedata_contours_set(&face, loops));
        xar_free(loops);
        check(qel_intf_data_surface_append(root, &face));

        for (int i = 0; i < kEdgesPerFace; ++i) {
            QelCurvedata xyz{};
            const double a[3] = {double(f), double(i), 0}, b[3] = {double(f), double(i) + 1, 0};
            check(qel_linedata_init(a, b, &xyz));
            const QelUvSample uv[2] = {{{0, 0}, {1, 0}}, {{0, 1}, {1, 1}}};
            QelUvSample* samples = array_of(uv, 2);
            const uint32_t adj[2] = {uint32_t(f), uint32_t(f + 1)}, dirs[2] = {1, 0};
            QelEdgedata edge{};
            check(qel_edgedata_init(uint32_t(f * kEdgesPerFace + i), adj, dirs, samples, nullptr,
                                    &xyz, &edge));
            xar_free(samples);
            check(qel_intf_data_edge_append(root, &edge));
        }
    }
    return root;
}

void BM_IntfDataCopyAndFree(benchmark::State& state) {
    const int faces = int(state.range(0));
    qel_intf_data* src = build_tree(faces);
    for (auto _ : state) {
        qel_intf_data* copy = nullptr;
        check(qel_intf_data_copy(src, &copy));
        benchmark::DoNotOptimize(copy);
        check(qel_intf_data_free(copy));
    }
    state.SetComplexityN(faces);
    state.SetItemsProcessed(state.iterations() * int64_t(faces) * (1 + kEdgesPerFace));
    state.counters["faces"] = faces;
    state.counters["edges"] = double(faces) * kEdgesPerFace;
    qel_intf_data_free(src);
}

BENCHMARK(BM_IntfDataCopyAndFree)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
