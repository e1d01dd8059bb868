// Writing and reading the interface-data document of a model of N faces
// (planes with one contour of ten edges) and 10 N edges (each with two UV
// points, a UV line and an XYZ line), to a local file and back. Time and
// bytes should grow linearly with N.
#include "base/xmemory.h"
#include "kernel/qel_routines.h"
#include "xml/xml_zpi.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

void Check(int status) {
    if (status != 0) {
        std::fprintf(stderr, "record routine failed with %d\n", status);
        std::abort();
    }
}

qel_intf_data* BuildModel(int faces) {
    qel_intf_data* root = nullptr;
    Check(qel_intf_data_alloc(&root));
    const double e1[3] = {1, 0, 0}, e2[3] = {0, 1, 0}, e3[3] = {0, 0, 1};
    for (int i = 0; i < faces; ++i) {
        QelSurfacedata* f = nullptr;
        Check(qel_surfacedata_alloc(&f));
        QelSurfaceshapedata shape{};
        const double origin[3] = {double(i), 0.5 * i, 1.0 / (i + 1)};
        Check(qel_planedata_init(e1, e2, e3, origin, &shape));
        const double uvmin[2] = {0, 0}, uvmax[2] = {1.25, 2.5};
        Check(qel_surfacedata_init(QEL_SURF_PLANE, uvmin, uvmax, 1, &shape, uint32_t(i), f));
        int32_t ids[10];
        for (int k = 0; k < 10; ++k)
            ids[k] = 10 * i + k;
        void* idArr = xar_alloc(10, int(sizeof(int32_t)), 10);
        std::memcpy(idArr, ids, sizeof ids);
        QelContourdata contour{QEL_TRAV_EXTERNAL, static_cast<int32_t*>(idArr)};
        void* contours = xar_alloc(1, int(sizeof(QelContourdata)), 1);
        std::memcpy(contours, &contour, sizeof contour);
        Check(qel_surfacedata_contours_set(f, static_cast<QelContourdata*>(contours)));
        xar_free(&contours);
        Check(qel_intf_data_surface_append(root, f));
        qel_data_free(f);
    }
    for (int i = 0; i < 10 * faces; ++i) {
        QelEdgedata* e = nullptr;
        Check(qel_edgedata_alloc(&e));
        QelCurvedata uv{}, xyz{};
        const double a[3] = {0, 0, 0}, b[3] = {1, 0.25, 0};
        const double p[3] = {double(i), 1.0 / 3, -2.5}, q[3] = {i + 1.0, 2.0 / 3, 7};
        Check(qel_linedata_init(a, b, &uv));
        Check(qel_linedata_init(p, q, &xyz));
        QelUvSample samples[2] = {{{0, 0}, {1, 0}}, {{1, 0.25}, {0, 0.75}}};
        void* points = xar_alloc(2, int(sizeof(QelUvSample)), 2);
        std::memcpy(points, samples, sizeof samples);
        const uint32_t faceIds[2] = {uint32_t(i / 10), uint32_t(i / 10 + 1)};
        const uint32_t dirs[2] = {1, 0xFFFFFFFFu};
        QelCurvedata* uvCurves[2] = {&uv, nullptr};
        Check(qel_edgedata_init(uint32_t(i), faceIds, dirs, static_cast<QelUvSample*>(points),
                                uvCurves, &xyz, e));
        xar_free(&points);
        Check(qel_intf_data_edge_append(root, e));
        qel_data_free(e);
    }
    return root;
}

std::string TempPath(const char* tag) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/bench_zpi_" + tag + "_" +
           std::to_string(getpid()) + ".xml";
}

long FileSize(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

void BM_WriteZPI(benchmark::State& state) {
    const int faces = int(state.range(0));
    qel_intf_data* model = BuildModel(faces);
    const std::string path = TempPath("write");
    for (auto _ : state)
        IntfXmlZPI(path.c_str(), model, nullptr);
    state.SetBytesProcessed(int64_t(state.iterations()) * FileSize(path));
    state.SetItemsProcessed(int64_t(state.iterations()) * faces * 11);
    state.counters["bytes"] = double(FileSize(path));
    std::remove(path.c_str());
    qel_intf_data_free(model);
}

void BM_ReadZPI(benchmark::State& state) {
    const int faces = int(state.range(0));
    const std::string path = TempPath("read");
    {
        qel_intf_data* model = BuildModel(faces);
        IntfXmlZPI(path.c_str(), model, nullptr);
        qel_intf_data_free(model);
    }
    for (auto _ : state) {
        qel_intf_data* back = nullptr;
        IntfXmlZPI::Read(path.c_str(), &back, nullptr);
        int32_t n = 0;
        qel_intf_data_edge_count(back, &n);
        if (n != 10 * faces)
            state.SkipWithError("edges lost");
        qel_intf_data_free(back);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * FileSize(path));
    state.SetItemsProcessed(int64_t(state.iterations()) * faces * 11);
    std::remove(path.c_str());
}

} // namespace

BENCHMARK(BM_WriteZPI)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadZPI)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
