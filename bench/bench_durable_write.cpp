// What syncing costs a document write: WriteZPI of the grid model of
// zpi_grid_model.h (10k faces) with the file and its folder synced, as
// every write is, against the same WriteZPI with syncing switched off
// (kkFileTestHooks::SetSync), in the same process, each iteration running
// both in an order that alternates. Syncing is waiting for the disk, so
// the times are wall-clock times. The time shown is the synced write's;
// counters: unsynced_ms and synced_ms, the medians of the two; sync_ms, the
// median of what syncing added within each iteration; ratio, the median
// of synced / unsynced time within each iteration.
//
// BM_HandOverZPI: the same model handed to the host as "zpi.xml" in the
// temporary folder (request 103 with GG_TEMP_FILE set, import format 1,
// to a host on the loopback address that answers at once), against
// WriteZPI of it to a caller's path, which is synced; wall-clock time,
// turns alternating. The time shown is the hand-over's; counters:
// handover_ms and writezpi_ms, the medians of the two; ratio, the median
// of hand-over / WriteZPI time within each iteration.
#include "client/zr_callback.h"
#include "client/zr_proxy.h"
#include "client/zr_strings.h"
#include "kkfileio.h"
#include "net.h"
#include "uniloc.h"
#include "answering_host.h"
#include "zpi_bench_util.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace zpibench;

void BM_WriteZPISynced(benchmark::State& state) {
    const GridModel grid = BuildGridModel(int(state.range(0)));
    const std::string path = TempPath("durable");
    auto write = [&](bool sync) {
        kkFileTestHooks::SetSync(sync);
        return TimesOf([&] { grid.model->WriteZPI(path.c_str()); }).wall;
    };
    write(true); // the file exists from here on: every write replaces it
    std::vector<double> synced, unsynced, added, ratios;
    size_t runs = 0;
    for (auto _ : state) {
        double s, u;
        if (runs++ % 2 == 0) {
            u = write(false);
            s = write(true);
        } else {
            s = write(true);
            u = write(false);
        }
        synced.push_back(s);
        unsynced.push_back(u);
        added.push_back(s - u);
        ratios.push_back(u > 0 ? s / u : 0);
        state.SetIterationTime(s);
    }
    kkFileTestHooks::SetSync(true);
    std::remove(path.c_str());
    state.counters["unsynced_ms"] = 1e3 * Median(unsynced);
    state.counters["synced_ms"] = 1e3 * Median(synced);
    state.counters["sync_ms"] = 1e3 * Median(added);
    state.counters["ratio"] = Median(ratios);
}

void BM_HandOverZPI(benchmark::State& state) {
    const GridModel grid = BuildGridModel(int(state.range(0)));
    const qel_intf_data* data = IntfDataOf(grid.model);
    const std::string folder = TempPath("handover") + ".d";
    const std::string path = TempPath("caller");
    std::filesystem::create_directory(folder);
    ::setenv("TMP", folder.c_str(), 1);
    ::setenv("GG_TEMP_FILE", "1", 1);
    ZrSetImportFormat(1);
    AnsweringHost host;
    xrchandle<ZorvanProxy> proxy(new ZorvanProxy());
    if (!data || !proxy->Connect(host.Url().c_str())) {
        state.SkipWithError("no interface data or no connection");
        return;
    }
    auto handOver = [&] {
        return TimesOf([&] {
                   int feature = 0;
                   proxy->ImportQelIntfDataToFeature(1, nullptr, data, nullptr, &feature);
               })
            .wall;
    };
    auto write = [&] { return TimesOf([&] { grid.model->WriteZPI(path.c_str()); }).wall; };
    handOver(); // both files exist from here on: every write replaces one
    write();
    std::vector<double> handovers, writes, ratios;
    size_t runs = 0;
    for (auto _ : state) {
        double h, w;
        if (runs++ % 2 == 0) {
            h = handOver();
            w = write();
        } else {
            w = write();
            h = handOver();
        }
        handovers.push_back(h);
        writes.push_back(w);
        ratios.push_back(w > 0 ? h / w : 0);
        state.SetIterationTime(h);
    }
    ::unsetenv("GG_TEMP_FILE");
    ::unsetenv("TMP");
    std::remove(path.c_str());
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    state.counters["handover_ms"] = 1e3 * Median(handovers);
    state.counters["writezpi_ms"] = 1e3 * Median(writes);
    state.counters["ratio"] = Median(ratios);
}

} // namespace

BENCHMARK(BM_HandOverZPI)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_WriteZPISynced)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
