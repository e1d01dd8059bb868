// Converting interface data to a neutral part: n planar faces, each with
// one loop of four edge ids, 2n edges on lines with a UV spline on each,
// and n / 10 quilts of ten faces, converted and released. Time must grow
// linearly with n; build without sanitizers for meaningful numbers.
#include "xmemory.h"
#include "kernel/records/qel_routines.h"
#include "neutral/neutral_convert.h"
#include "neutral/neutral_writer.h"

#include "zpi_bench_util.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

template <class T> T* array_of(const T* values, int n) {
    void* a = xar_alloc(0, int(sizeof(T)), 4);
    xar_append(&a, n, values);
    return static_cast<T*>(a);
}

QelSurfacedata plane_face(uint32_t id) {
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1}, o[3] = {0, 0, double(id)};
    QelSurfaceshapedata shape;
    std::memset(&shape, 0, sizeof(shape));
    qel_planedata_init(e1, e2, e3, o, &shape);
    QelSurfacedata face{};
    qel_surfacedata_init(QEL_SURF_PLANE, nullptr, nullptr, 1, &shape, id, &face);
    const int32_t ids[4] = {int32_t(id), int32_t(id) + 1, int32_t(id) + 2, int32_t(id) + 3};
    QelContourdata loop{QEL_TRAV_EXTERNAL, array_of(ids, 4)};
    QelContourdata* loops = array_of(&loop, 1);
    qel_surfacedata_contours_set(&face, loops);
    xar_free(loops);
    return face;
}

qel_intf_data* build(int n) {
    qel_intf_data* root = nullptr;
    qel_intf_data_alloc(&root);
    qel_curvedata_type_set(root, QEL_ACCURACY_ABSOLUTE);
    for (int i = 0; i < n; ++i) {
        QelSurfacedata face = plane_face(uint32_t(i + 1));
        qel_intf_data_surface_append(root, &face);
    }
    for (int q = 0; q < n / 10; ++q) {
        QelSurfacedata* faces[10];
        for (int k = 0; k < 10; ++k) {
            faces[k] = static_cast<QelSurfacedata*>(getmem(sizeof(QelSurfacedata)));
            *faces[k] = plane_face(uint32_t(q * 10 + k + 1));
        }
        QelQuiltdata* quilt = nullptr;
        qel_quiltdata_alloc(&quilt);
        QelSurfacedata** arr = array_of(faces, 10);
        qel_quiltdata_surfaces_set(quilt, arr);
        xar_free(arr);
        qel_intf_data_quilt_append(root, quilt);
        qel_data_free(quilt);
    }
    const double params[3] = {0, 0.5, 1};
    const QelPoint points[3] = {{{0, 0, 0}}, {{0.5, 0.2, 0}}, {{1, 0, 0}}};
    const QelPoint tangents[3] = {{{1, 0, 0}}, {{1, 0, 0}}, {{1, 0, 0}}};
    for (int i = 0; i < 2 * n; ++i) {
        QelCurvedata line{}, uv{};
        const double a[3] = {double(i), 0, 0}, b[3] = {double(i), 1, 0};
        qel_linedata_init(a, b, &line);
        double* pa = array_of(params, 3);
        QelPoint* pp = array_of(points, 3);
        QelPoint* tp = array_of(tangents, 3);
        qel_splinedata_init(pa, pp, tp, 3, &uv);
        xar_free(pa);
        xar_free(pp);
        xar_free(tp);
        const uint32_t faces[2] = {uint32_t(i / 2 + 1), uint32_t(i / 2 + 2)}, dirs[2] = {1, 0};
        QelCurvedata* const uvs[2] = {&uv, nullptr};
        QelEdgedata edge{};
        qel_edgedata_init(uint32_t(i + 1), faces, dirs, nullptr, uvs, &line, &edge);
        qel_intf_data_edge_append(root, &edge);
    }
    return root;
}

void BM_ConvertAndRelease(benchmark::State& state) {
    const int n = int(state.range(0));
    qel_intf_data* root = build(n);
    for (auto _ : state) {
        neut_part* part = nullptr;
        cnv_qlk_neut(root, &part, 0);
        benchmark::DoNotOptimize(part);
        release_neutral_part(part);
    }
    state.SetComplexityN(n);
    state.counters["faces/s"] = benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate);
    qel_intf_data_free(root);
}
BENCHMARK(BM_ConvertAndRelease)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The conversion alone (the release runs outside the timing).
void BM_ConvertOnly(benchmark::State& state) {
    const int n = int(state.range(0));
    qel_intf_data* root = build(n);
    for (auto _ : state) {
        neut_part* part = nullptr;
        cnv_qlk_neut(root, &part, 0);
        benchmark::DoNotOptimize(part);
        state.PauseTiming();
        release_neutral_part(part);
        state.ResumeTiming();
    }
    state.SetComplexityN(n);
    qel_intf_data_free(root);
}
BENCHMARK(BM_ConvertOnly)->RangeMultiplier(10)->Range(1000, 100000)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

} // namespace

namespace {

using zpibench::ThreadCpuSeconds;

// Releasing a neutral part alone, in thread CPU time (the conversion runs
// outside the timing); ns_per_face must stay flat from 100k to 1M faces.
// The million-face case runs when ZPI_BENCH_1M is set.
void BM_ReleaseOnly(benchmark::State& state) {
    const int n = int(state.range(0));
    qel_intf_data* root = build(n);
    for (auto _ : state) {
        neut_part* part = nullptr;
        cnv_qlk_neut(root, &part, 0);
        const double start = ThreadCpuSeconds();
        release_neutral_part(part);
        state.SetIterationTime(ThreadCpuSeconds() - start);
    }
    qel_intf_data_free(root);
    state.counters["ns_per_face"] = benchmark::Counter(
        double(n) * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

const bool g_releaseRegistered = [] {
    auto* b = benchmark::RegisterBenchmark("BM_ReleaseOnly", BM_ReleaseOnly)
                  ->Arg(100000)
                  ->UseManualTime()
                  ->Iterations(5)
                  ->Unit(benchmark::kMillisecond);
    if (zpibench::MillionFaces())
        b->Arg(1000000);
    return true;
}();

} // namespace
