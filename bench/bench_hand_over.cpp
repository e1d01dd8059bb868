// A model handed to the host through the callback server's memory (request
// 103 in the default mode, the interface-data document "zpi.xml"), against
// writing the same document to a file.
//
// The model is the "structure" grid of zpi_grid_model.h, 700k faces by
// default (a document of about 490 MB, beyond the 256 MB that the server
// holds for other processes); the environment variable
// ZPI_BENCH_HANDOVER_FACES sets another count. A stand-in host answers the
// request. Each iteration runs both sides (timing: see Sides in
// zpi_bench_util.h):
//   - the hand-over: ImportQelIntfDataToFeature of the model with the
//     import format 1, which writes the document into the callback
//     server's memory and sends request 103;
//   - the anchor: the same writer putting the same document into a file
//     (syncing off: bench_durable_write measures it).
// Counters: doc_MB, the document's size; ratio, the hand-over's time over
// the anchor's; peak_per_MB and file_peak_per_MB, the rise of the
// process's peak resident memory during each side, per MB of the document
// (the hand-over keeps the document, so at least 1); fetch_ms, the host's
// fetch of the whole document from the callback server afterwards, once.
#include "client/zr_bnfs.h"
#include "client/zr_callback.h"
#include "client/zr_client.h"
#include "client/zr_proxy.h"
#include "client/zr_strings.h"
#include "kkfileio.h"
#include "net.h"
#include "xml/intfdata/xml_kpi_writer.h"
#include "answering_host.h"
#include "zpi_bench_util.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace zpibench;

// Resident bytes now (VmRSS) and the peak since the last ResetPeak (VmHWM).
size_t StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0)
            return size_t(std::strtoull(line.c_str() + key.size(), nullptr, 10)) * 1024;
    return 0;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The rise of the peak resident memory while `f` runs.
template <class F> size_t PeakRise(F&& f) {
    ResetPeak();
    const size_t before = StatusBytes("VmRSS");
    f();
    const size_t peak = StatusBytes("VmHWM");
    return peak > before ? peak - before : 0;
}

int FacesWanted() {
    const char* v = std::getenv("ZPI_BENCH_HANDOVER_FACES");
    const int n = v ? std::atoi(v) : 0;
    return n > 0 ? n : 700000;
}

struct NoSync {
    NoSync() { kkFileTestHooks::SetSync(false); }
    ~NoSync() { kkFileTestHooks::SetSync(true); }
};

void BM_HandOverAgainstFile(benchmark::State& state) {
    AnsweringHost host("0\n7", 60);
    xrchandle<ZorvanProxy> proxy = ZrInitializeClient(host.Url().c_str());
    if (proxy.isNull()) {
        state.SkipWithError("the client did not start");
        return;
    }
    ZrSetImportFormat(1);
    const std::string file = TempPath("handover");
    {
        GridModel grid = BuildGridModel(FacesWanted(), GridKind::kStructure);
        NoSync noSync;
        int status = 0;
        size_t handPeak = 0, filePeak = 0;
        Sides<1> sides;
        for (auto _ : state) {
            sides.Run(
                state,
                [&] {
                    handPeak = std::max(handPeak, PeakRise([&] {
                        int feature = 0;
                        status = proxy->ImportQelIntfDataToFeature(1, nullptr, grid.model, nullptr,
                                                                   &feature);
                    }));
                },
                [&] {
                    filePeak = std::max(filePeak, PeakRise([&] {
                        IntfXmlKPIWriter writer(file.c_str(), grid.model, nullptr);
                    }));
                });
            if (status != 0) {
                state.SkipWithError("the hand-over was not sent");
                break;
            }
        }
        sides.Report(state, {"file"}, {"ratio"});
        const double mb = double(FileSize(file)) / (1 << 20);
        state.counters["doc_MB"] = mb;
        state.counters["peak_per_MB"] = double(handPeak) / (1 << 20) / mb;
        state.counters["file_peak_per_MB"] = double(filePeak) / (1 << 20) / mb;
        state.SetBytesProcessed(int64_t(state.iterations()) * FileSize(file));
    }
    // The host fetches the document whole.
    const std::string url = ZrGetCallbackUrl().str();
    std::string hostName, inner;
    int port = 0;
    ZrSplitBnfsPath(url.c_str(), hostName, port, inner, nullptr);
    bnfsError e;
    BNFSConnection* fetch = BNFSConnection::Open(e, "127.0.0.1", port);
    std::string data;
    const auto start = std::chrono::steady_clock::now();
    const bool fetched = fetch && BNFSConnection::ReadFile(fetch, "/ZPI/zpi.xml", data, e);
    state.counters["fetch_ms"] =
        1e3 * std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    BNFSConnection::Close(fetch);
    if (!fetched || long(data.size()) != FileSize(file))
        state.SkipWithError(("the host did not fetch the document whole: " + e.message).c_str());
    ::unlink(file.c_str());
    proxy.release();
    ZrShutdownClient();
}
BENCHMARK(BM_HandOverAgainstFile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace
