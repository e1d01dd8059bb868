// Building a model through the public interface: a strip of n planar quad
// faces, each with one loop of four edge ids, over 3n + 1 edges on straight
// lines (face i is bounded by its bottom edge, its top edge and the two
// vertical edges it shares with its neighbours). Time and memory must grow
// linearly with n. The counters give the heap bytes that the model holds
// per edge (edges are added first) and per face (with its loop, plane and
// records), measured with mallinfo2 in the last iteration; build without
// sanitizers for meaningful numbers. At 100,000 faces a model holds a few
// hundred megabytes, which glibc hands back to the system when it is
// freed; each iteration then pays the page faults of taking it again. Run
// with GLIBC_TUNABLES=glibc.malloc.trim_threshold=8000000000 to time the
// build alone.
#include "zpi50.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

size_t HeapInUse() { return mallinfo2().uordblks; }

struct Strip {
    xrchandle<KWPIModel> model;
    size_t edgeBytes = 0;
    size_t faceBytes = 0;
};

int EdgeCount(int faces) { return 3 * faces + 1; }

// Edge ids: vertical edge k is 1 + k (k = 0..n), bottom edge of face i is
// n + 2 + 2i, top edge n + 3 + 2i.
Strip BuildStrip(const xrchandle<KWPISession>& session, int n) {
    Strip strip;
    const size_t start = HeapInUse();
    strip.model = session->CreatePIModel(KACCURACY_ABSOLUTE, 0.001);
    KWPIModel* model = strip.model.get();
    auto line = [&](double x0, double y0, double x1, double y1) {
        return session->CreatePILine(KCreatePoint3D(x0, y0, 0), KCreatePoint3D(x1, y1, 0));
    };
    for (int k = 0; k <= n; ++k) {
        const int face1 = k > 0 ? k : -1; // faces are numbered from 1
        const int face2 = k < n ? k + 1 : -1;
        model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(
            1 + k, face1 >= 0 ? face1 : face2, face1 >= 0 ? face2 : -1, line(k, 0, k, 1),
            KTRAV_SAME, KTRAV_OPPOSITE));
    }
    for (int i = 0; i < n; ++i) {
        model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(n + 2 + 2 * i, i + 1, -1,
                                                         line(i, 0, i + 1, 0), KTRAV_SAME,
                                                         KTRAV_NONE));
        model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(n + 3 + 2 * i, i + 1, -1,
                                                         line(i + 1, 1, i, 1), KTRAV_SAME,
                                                         KTRAV_NONE));
    }
    const size_t afterEdges = HeapInUse();

    xrchandle<KVector3D> xAxis = KCreateVector3D(1, 0, 0);
    xrchandle<KVector3D> yAxis = KCreateVector3D(0, 1, 0);
    xrchandle<KBoxUV> extent = KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1));
    for (int i = 0; i < n; ++i) {
        xrchandle<KPIPlane> plane =
            session->CreatePIPlane(KCsys::Create(KCreatePoint3D(i, 0, 0), xAxis, yAxis));
        xrchandle<xintsequence> ids(xintsequence::create());
        ids->Append(n + 2 + 2 * i);
        ids->Append(2 + i);
        ids->Append(n + 3 + 2 * i);
        ids->Append(1 + i);
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, ids));
        model->AddPIFace(
            model->CreatePIFace(i + 1, extent, KPISURFACE_ORIENT_POSITIVE, plane, loops));
    }
    const size_t afterFaces = HeapInUse();
    strip.edgeBytes = afterEdges > start ? afterEdges - start : 0;
    strip.faceBytes = afterFaces > afterEdges ? afterFaces - afterEdges : 0;
    return strip;
}

void Report(benchmark::State& state, int n, const Strip& last) {
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * int64_t(n));
    state.counters["edges"] = EdgeCount(n);
    state.counters["bytes_per_edge"] = double(last.edgeBytes) / EdgeCount(n);
    state.counters["bytes_per_face"] = double(last.faceBytes) / n;
}

// Record mode (the default): every item is kept by the model's lists and
// converted into the model's interface data.
void BM_BuildModelRecordMode(benchmark::State& state) {
    const int n = int(state.range(0));
    xrchandle<KWPISession> session = KGetPISession();
    Strip last;
    for (auto _ : state) {
        Strip strip = BuildStrip(session, n);
        benchmark::DoNotOptimize(strip.model->CountPIFaces());
        state.PauseTiming();
        last.edgeBytes = strip.edgeBytes;
        last.faceBytes = strip.faceBytes;
        strip.model.release(); // freeing is not part of the build
        state.ResumeTiming();
    }
    Report(state, n, last);
}
BENCHMARK(BM_BuildModelRecordMode)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Cache mode: the objects keep their arguments and the model only lists.
void BM_BuildModelCacheMode(benchmark::State& state) {
    const int n = int(state.range(0));
    xrchandle<KWPISession> session = KGetPISession();
    const int saved = set_gw_cpid_enable(0);
    Strip last;
    for (auto _ : state) {
        Strip strip = BuildStrip(session, n);
        benchmark::DoNotOptimize(strip.model->CountPIFaces());
        state.PauseTiming();
        last.edgeBytes = strip.edgeBytes;
        last.faceBytes = strip.faceBytes;
        strip.model.release();
        state.ResumeTiming();
    }
    set_gw_cpid_enable(saved);
    Report(state, n, last);
}
BENCHMARK(BM_BuildModelCacheMode)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Reading a record-mode model back: every call of the list getters makes
// new objects over copies of the records. Timed: the two getters, which make
// the n faces and 3n + 1 edges (the items counted); releasing the lists is
// not timed.
void BM_ReadBackFacesAndEdges(benchmark::State& state) {
    const int n = int(state.range(0));
    xrchandle<KWPISession> session = KGetPISession();
    Strip strip = BuildStrip(session, n);
    for (auto _ : state) {
        xrchandle<KPIFaceList> faces = strip.model->GetPIFaces();
        xrchandle<KPIEdgeList> edges = strip.model->GetPIEdges();
        benchmark::DoNotOptimize(faces->Count() + edges->Count());
        state.PauseTiming();
        faces.release();
        edges.release();
        state.ResumeTiming();
    }
    state.SetComplexityN(n);
    state.SetItemsProcessed(state.iterations() * int64_t(n + EdgeCount(n)));
    state.counters["objects"] = n + EdgeCount(n);
}
BENCHMARK(BM_ReadBackFacesAndEdges)
    ->RangeMultiplier(10)
    ->Range(1'000, 100'000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

} // namespace
