// Shared pieces of the benchmarks. Benchmark names follow
//   <operation>/<implementation>/<WxH>
// where implementation is "mira" (our CPU path), "mira_gpu", a peer
// ("opencv", "opencv_mt", "libyuv", ...) or "memcpy" (a copy of the same
// bytes, the floor). After the run a table gives, per operation and size, our
// time divided by the fastest single-threaded peer, by each peer and by memcpy.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gpu/src/inc/zor_test_hooks.h"

namespace mira_bench {

struct Size {
    uint32_t w, h;
};
inline const std::vector<Size>& hd_sizes() {
    static const std::vector<Size> s = {{1920, 1080}, {3840, 2160}};
    return s;
}
inline std::string size_name(Size s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed = 1) {
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Runs one GPU row with kernel timing on and sets its counter kernel_us:
// the device time of the kernels of one call (the mean launch time, times
// the launches per timed call). The rest of the row's time is the GPU
// path's overhead (staging, arguments, launch, waiting, copies back).
template <class F>
void with_kernel_time(benchmark::State& st, Size s, const F& fn) {
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    fn(st, s);
    uint64_t launches = 0;
    const uint64_t ns = zor_test_take_kernel_ns(&launches);
    zor_test_time_kernels(false);
    if (launches == 0 || st.iterations() == 0) return;
    // The launches include the untimed warm-up calls before the loop.
    const double perCall =
        std::max(1.0, std::floor(double(launches) / double(st.iterations())));
    st.counters["kernel_us"] = double(ns) / 1e3 / double(launches) * perCall;
}

// Registers fn as "<op>/<impl>/<size>" for every size; fn(state, size).
// "mira_gpu" rows also report their kernel time (with_kernel_time).
template <class F>
void add(const std::string& op, const std::string& impl, const std::vector<Size>& sizes, F fn) {
    const bool gpu = impl == "mira_gpu";
    for (Size s : sizes)
        benchmark::RegisterBenchmark((op + "/" + impl + "/" + size_name(s)).c_str(),
                                     [fn, s, gpu](benchmark::State& st) {
                                         if (gpu)
                                             with_kernel_time(st, s, fn);
                                         else
                                             fn(st, s);
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
}

// Each bench_<op>.cpp defines one of these to register its benchmarks.
struct Registrar {
    explicit Registrar(void (*fn)());
};

}  // namespace mira_bench
