// Writing the interface-data document of a model of 1k to 100k faces and
// as many edges: from the objects of a cache-mode model (each item filled
// into a scratch record first) against the host records of the same model
// made in record mode.
#include "kernel/model/model.h"
#include "kpi_session.h"
#include "xml/intfdata/xml_kpi_writer.h"
#include "xml/intfdata/xml_zpi.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

xrchandle<KWPIModel> BuildModel(int faces, int mode) {
    const int saved = set_gw_cpid_enable(mode);
    xrchandle<KWPISession> s = KGetPISession();
    xrchandle<KWPIModel> model = s->CreatePIModel(KACCURACY_RELATIVE, 0.001);
    xrchandle<KCsys> csys = KCsys::Create(KCreatePoint3D(0, 0, 0), KCreateVector3D(1, 0, 0),
                                          KCreateVector3D(0, 1, 0));
    xrchandle<KPISurface> plane(s->CreatePIPlane(csys).get());
    for (int i = 0; i < faces; ++i) {
        xrchandle<xintsequence> ids(xintsequence::create());
        for (int k = 0; k < 4; ++k)
            ids->Append(4 * i + k);
        xrchandle<KPILoopList> loops(KPILoopList::create());
        loops->Append(model->CreatePILoop(KPI_LOOP_TRAV_EXTERNAL, ids));
        model->AddPIFace(model->CreatePIFace(
            i, KBoxUV::Create(KCreatePointUV(0, 0), KCreatePointUV(1, 1 + i * 1e-3)),
            KPISURFACE_ORIENT_POSITIVE, plane, loops));
        xrchandle<KPICurve> line(
            s->CreatePILine(KCreatePoint3D(i, 0, 0), KCreatePoint3D(i + 1, 0.5, 1.0 / 3)).get());
        model->AddPIEdge(model->CreatePIEdgeWithXYZCurve(i, i, i + 1, line, KTRAV_SAME,
                                                         KTRAV_NONE));
    }
    set_gw_cpid_enable(saved);
    return model;
}

std::string Path(const char* tag) {
    return (std::filesystem::temp_directory_path() /
            (std::string("zpi_bench_") + tag + "_" + std::to_string(getpid()) + ".xml"))
        .string();
}

void BM_WriteFromObjects(benchmark::State& state) {
    xrchandle<KWPIModel> model = BuildModel(int(state.range(0)), 0);
    const std::string path = Path("objects");
    for (auto _ : state)
        IntfXmlKPIWriter(path.c_str(), model, nullptr);
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(path.c_str());
}

void BM_WriteFromRecords(benchmark::State& state) {
    xrchandle<KWPIModel> model = BuildModel(int(state.range(0)), 1);
    const qel_intf_data* data = CastToImpl<KWPIModel_i>(model.get(), 1)->GetIntfData();
    const std::string path = Path("records");
    for (auto _ : state)
        IntfXmlZPI(path.c_str(), data, nullptr);
    state.counters["bytes"] = double(std::filesystem::file_size(path));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::remove(path.c_str());
}

} // namespace

BENCHMARK(BM_WriteFromObjects)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFromRecords)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
