// What syncing costs a document write: WriteZPI of the grid model of
// zpi_grid_model.h (10k faces) with the file and its folder synced, as
// every write is, against the same WriteZPI with syncing switched off
// (kkFileTestHooks::SetSync), in the same process, each iteration running
// both in an order that alternates. Syncing is waiting for the disk, so
// the times are wall-clock times. The time shown is the synced write's;
// counters: unsynced_ms and synced_ms, the medians of the two; sync_ms, the
// median of what syncing added within each iteration; ratio, the median
// of synced / unsynced time within each iteration.
#include "kkfileio.h"
#include "zpi_bench_util.h"

#include <algorithm>
#include <cstdio>
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

} // namespace

BENCHMARK(BM_WriteZPISynced)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);
