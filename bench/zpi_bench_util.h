// Shared by the interface-data document benchmarks: timing one call against
// anchors, the interface data behind a model, the heap in use, and whether
// the million-face cases run.
#pragma once

#include "kernel/model/model.h"
#include "kernel/records/qel_routines.h"
#include "zpi_grid_model.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <malloc.h>
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

// The median of the values (0 for none).
inline double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

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

// The measured side and its anchors in every iteration, run one after the
// other in an order that turns from one iteration to the next. All run on
// this thread and none waits for anything, so the time taken is the
// thread's CPU time: on a busy machine it leaves out the time the thread
// waits for a processor, which would weigh on one side or another by
// chance. The iteration time is the measured side's CPU time. Counters per
// anchor, each under the names given to Report: the anchor's median CPU
// time; the median over the iterations of measured / anchor CPU time, each
// pair taken in the same iteration; the same for the wall-clock times.
template <size_t Anchors> class Sides {
public:
    template <class Measured, class... Anchor>
    void Run(benchmark::State& state, Measured&& measured, Anchor&&... anchor) {
        static_assert(sizeof...(Anchor) == Anchors);
        std::function<void()> sides[] = {std::function<void()>(measured),
                                         std::function<void()>(anchor)...};
        Times times[Anchors + 1];
        const size_t first = runs_++ % (Anchors + 1);
        for (size_t k = 0; k <= Anchors; ++k) {
            const size_t i = (first + k) % (Anchors + 1);
            times[i] = TimesOf(sides[i]);
        }
        for (size_t a = 0; a < Anchors; ++a) {
            const Times& t = times[a + 1];
            anchors_[a].push_back(t.cpu);
            ratios_[a].push_back(t.cpu > 0 ? times[0].cpu / t.cpu : 0);
            wallRatios_[a].push_back(t.wall > 0 ? times[0].wall / t.wall : 0);
        }
        state.SetIterationTime(times[0].cpu);
    }
    // For anchor a: "<anchorName>_ms", "<ratioName>" and "wall_<ratioName>".
    void Report(benchmark::State& state, const char* const (&anchorNames)[Anchors],
                const char* const (&ratioNames)[Anchors]) {
        for (size_t a = 0; a < Anchors; ++a) {
            state.counters[std::string(anchorNames[a]) + "_ms"] = 1e3 * Median(anchors_[a]);
            state.counters[ratioNames[a]] = Median(ratios_[a]);
            state.counters[std::string("wall_") + ratioNames[a]] = Median(wallRatios_[a]);
        }
    }

private:
    size_t runs_ = 0;
    std::vector<double> anchors_[Anchors];
    std::vector<double> ratios_[Anchors];
    std::vector<double> wallRatios_[Anchors];
};

// Bytes the allocator holds for the program now.
inline size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Whether the cases of a million faces run (they take minutes): when the
// environment variable ZPI_BENCH_1M is set to anything but "0".
inline bool MillionFaces() {
    const char* v = std::getenv("ZPI_BENCH_1M");
    return v && *v && std::string(v) != "0";
}

} // namespace zpibench
