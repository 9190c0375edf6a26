#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#include "bench_common.h"

namespace mira_bench {

namespace {
std::vector<void (*)()>& registrars() {
    static std::vector<void (*)()> r;
    return r;
}

// Console output as usual, plus the per-run real times kept for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;   // name -> real time (us)
    std::map<std::string, double> kernel;  // GPU rows: name -> kernel time per call (us)
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            times[r.benchmark_name()] = r.GetAdjustedRealTime();
            auto k = r.counters.find("kernel_us");
            if (k != r.counters.end()) kernel[r.benchmark_name()] = k->second.value;
        }
    }
};

// A row's name without Google Benchmark's "/real_time" suffix.
std::string without_real_time(const std::string& name) {
    const std::string suffix = "/real_time";
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return name.substr(0, name.size() - suffix.size());
    return name;
}

// The GPU rows' time beyond their kernels' device time.
void print_gpu_overhead(const std::map<std::string, double>& times,
                        const std::map<std::string, double>& kernel) {
    if (kernel.empty()) return;
    std::printf("\n%-46s %10s %10s %12s\n", "GPU row", "call(us)", "kernel(us)", "overhead(us)");
    for (auto& [name, k] : kernel) {
        const std::string shown = without_real_time(name);
        const double t = times.at(name);
        std::printf("%-46s %10.1f %10.1f %12.1f\n", shown.c_str(), t, k, t - k);
    }
}

void print_ratios(const std::map<std::string, double>& times) {
    // op/size -> impl -> time
    std::map<std::string, std::map<std::string, double>> groups;
    for (auto& [full, t] : times) {
        std::string name = without_real_time(full);
        auto a = name.find('/'), b = name.rfind('/');
        if (a == std::string::npos || a == b) continue;
        std::string op = name.substr(0, a), impl = name.substr(a + 1, b - a - 1);
        auto slash = impl.find('/');
        if (slash != std::string::npos) impl = impl.substr(0, slash);
        groups[op + " " + name.substr(b + 1)][impl] = t;
    }
    std::printf("\n%-36s %10s %12s  %s\n", "operation size", "mira(us)", "best-1T", "ratios (mira / other)");
    for (auto& [key, impls] : groups) {
        auto m = impls.find("mira");
        if (m == impls.end()) continue;
        double best = 0;
        std::string bestName = "-";
        for (auto& [impl, t] : impls) {
            const bool peer = impl != "mira" && impl != "memcpy" && impl.rfind("mira", 0) != 0 &&
                              impl.find("_mt") == std::string::npos;
            if (peer && (best == 0 || t < best)) {
                best = t;
                bestName = impl;
            }
        }
        std::printf("%-36s %10.1f %12s ", key.c_str(), m->second, bestName.c_str());
        if (best > 0) std::printf(" best=%.2f", m->second / best);
        for (auto& [impl, t] : impls)
            if (impl != "mira") std::printf("  %s=%.2f", impl.c_str(), m->second / t);
        std::printf("\n");
    }
}
}  // namespace

Registrar::Registrar(void (*fn)()) { registrars().push_back(fn); }

}  // namespace mira_bench

int main(int argc, char** argv) {
    for (auto fn : mira_bench::registrars()) fn();
    benchmark::Initialize(&argc, argv);
    mira_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    mira_bench::print_ratios(reporter.times);
    mira_bench::print_gpu_overhead(reporter.times, reporter.kernel);
    benchmark::Shutdown();
    return 0;
}
