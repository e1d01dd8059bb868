// Shared by the interface-data document benchmarks: timing one call, the
// interface data behind a model, and the per-size document cache.
#pragma once

#include "kernel/model/model.h"
#include "kernel/records/qel_routines.h"
#include "zpi_grid_model.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <vector>

namespace zpibench {

// Wall-clock and thread CPU seconds of one call.
struct Times {
    double wall = 0;
    double cpu = 0;
};

inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

template <class F> Times TimesOf(F&& f) {
    const double cpu = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    f();
    Times t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.cpu = ThreadCpuSeconds() - cpu;
    return t;
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

// Both sides of every iteration, run one after the other in an order that
// alternates from one iteration to the next. Both sides run on this thread
// and neither waits for anything, so the time taken is the thread's CPU
// time: on a busy machine it leaves out the time the thread waits for a
// processor, which would weigh on one side or the other by chance. The
// iteration time is the measured side's CPU time. Counters: the anchor's
// median CPU time; ratio, the median over the iterations of measured /
// anchor CPU time, each pair taken in the same iteration; wall_ratio, the
// same for the wall-clock times.
class Pair {
public:
    template <class Measured, class Anchor>
    void Run(benchmark::State& state, Measured&& measured, Anchor&& anchor) {
        Times m, a;
        if (runs_++ % 2 == 0) {
            a = TimesOf(anchor);
            m = TimesOf(measured);
        } else {
            m = TimesOf(measured);
            a = TimesOf(anchor);
        }
        anchors_.push_back(a.cpu);
        ratios_.push_back(a.cpu > 0 ? m.cpu / a.cpu : 0);
        wallRatios_.push_back(a.wall > 0 ? m.wall / a.wall : 0);
        state.SetIterationTime(m.cpu);
    }
    void Report(benchmark::State& state, const char* anchorName) {
        state.counters[std::string(anchorName) + "_ms"] = 1e3 * Median(anchors_);
        state.counters["ratio"] = Median(ratios_);
        state.counters["wall_ratio"] = Median(wallRatios_);
    }

private:
    static double Median(std::vector<double>& v) {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        const size_t n = v.size();
        return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
    }
    size_t runs_ = 0;
    std::vector<double> anchors_;
    std::vector<double> ratios_;
    std::vector<double> wallRatios_;
};

} // namespace zpibench
