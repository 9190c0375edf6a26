// Shared pieces of the benchmarks. Benchmark names follow
//   <operation>/<implementation>/<WxH>
// where implementation is "mira" (our CPU path), "mira_gpu", a peer
// ("opencv", "opencv_mt", "libyuv", ...) or "memcpy" (a copy of the same
// bytes, the floor). After the run a table gives, per operation and size, our
// time divided by the fastest single-threaded peer, by each peer and by memcpy.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

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

// Registers fn as "<op>/<impl>/<size>" for every size; fn(state, size).
template <class F>
void add(const std::string& op, const std::string& impl, const std::vector<Size>& sizes, F fn) {
    for (Size s : sizes)
        benchmark::RegisterBenchmark((op + "/" + impl + "/" + size_name(s)).c_str(),
                                     [fn, s](benchmark::State& st) { fn(st, s); })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
}

// Each bench_<op>.cpp defines one of these to register its benchmarks.
struct Registrar {
    explicit Registrar(void (*fn)());
};

}  // namespace mira_bench
