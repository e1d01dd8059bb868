// Shared by the interface-data document benchmarks: timing one call, the
// interface data behind a model, and the per-size document cache.
#pragma once

#include "kernel/model.h"
#include "kernel/qel_routines.h"
#include "zpi_grid_model.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace zpibench {

template <class F> double SecondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The records a model holds (null for a model without interface data).
inline qel_intf_data* IntfDataOf(const xrchandle<KWPIModel>& model) {
    auto* impl = model ? dynamic_cast<KWPIModel_i*>(CastToImpl(model.get())) : nullptr;
    return impl ? impl->GetIntfData() : nullptr;
}

inline int32_t FaceCount(const qel_intf_data* data) {
    int32_t n = -1;
    return data && qel_intf_data_surface_count(data, &n) == 0 ? n : -1;
}

inline int32_t EdgeCount(const qel_intf_data* data) {
    int32_t n = -1;
    return data && qel_intf_data_edge_count(data, &n) == 0 ? n : -1;
}

inline long FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? long(st.st_size) : 0;
}

// Sums of both sides over a benchmark's iterations; the iteration time is
// the measured side, the anchor goes into the counters.
struct Pair {
    double measured = 0;
    double anchor = 0;

    void Add(benchmark::State& state, double measuredSeconds, double anchorSeconds) {
        measured += measuredSeconds;
        anchor += anchorSeconds;
        state.SetIterationTime(measuredSeconds);
    }
    void Report(benchmark::State& state, const char* anchorName) const {
        const double n = double(state.iterations() ? state.iterations() : 1);
        state.counters[std::string(anchorName) + "_ms"] = 1e3 * anchor / n;
        state.counters["ratio"] = anchor > 0 ? measured / anchor : 0;
    }
};

} // namespace zpibench
