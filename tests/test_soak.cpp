// Soak: 10 000 mixed calls on both paths with an ncvDeinit/ncvInit cycle
// every 400 calls. Results stay right, no OpenCL object outlives its cycle
// (counted through the entry-point table), the live objects inside a cycle
// stay bounded, and the resident set does not grow from cycle to cycle.
#include <cstdlib>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "common/cl_spy.h"
#include "common/op_cases.h"
#include "mira/mira.h"
#include "gpu/src/inc/zor_runtime.h"

using mira_test::ClSpy;
using mira_test::OpCase;
using mira_test::Planes;

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#elif defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long status_kib(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

constexpr int kCalls = 10000;
constexpr int kCycle = 400;

TEST(Soak, TenThousandMixedCallsWithInitDeinitCycles) {
    // Programs built from source every cycle: PoCL keeps about half a
    // megabyte per program it loads from a cached binary (14-27 MB over the
    // 25 cycles here, none of it libmira's: every program and kernel is
    // released, as the spy checks), which would hide the library's own
    // growth that the resident-set bound below is there to catch.
    setenv("MIRA_PROGRAM_CACHE", "off", 1);
    ncvDeinit();
    const bool spy = ClSpy::install();
    ClSpy::resetCounts();
    const bool gpu = ncvInit() == 0;
    const std::vector<OpCase> cases = mira_test::all_op_cases();
    const uint32_t modes[3] = {MIRA_MODE_CPU, MIRA_MODE_OPENCL, MIRA_MODE_CPU_ALT};
    std::vector<Planes> ref(cases.size() * 3);
    std::vector<uint32_t> status(cases.size() * 3);
    for (size_t i = 0; i < cases.size(); ++i)
        for (int m = 0; m < 3; ++m) status[3 * i + m] = cases[i].run(modes[m], ref[3 * i + m]);

    const long hwmBefore = status_kib("VmHWM");
    std::printf("soak: GPU %s; peak RSS before the soak %ld KiB (current %ld KiB)\n",
                gpu ? "up" : "not available", hwmBefore, status_kib("VmRSS"));
    const auto start = std::chrono::steady_clock::now();
    std::mt19937 rng(2024);
    std::vector<long> rssAfterCycle;
    long maxPrograms = 0, maxSvm = 0;
    int mismatches = 0;
    std::string firstMismatch;
    for (int call = 1; call <= kCalls; ++call) {
        if (rng() % 32 == 0) {
            void* p = ncvMemAlloc(1 + rng() % 65536, 64);
            if (p) {
                EXPECT_EQ(ncvIsNcvAllocBuffer(p), 1);
                ncvMemFree(p);
            }
        }
        const size_t i = rng() % cases.size();
        const int m = static_cast<int>(rng() % 3);
        Planes out;
        const uint32_t st = cases[i].run(modes[m], out);
        if (st != status[3 * i + m] || out != ref[3 * i + m]) {
            if (mismatches++ == 0)
                firstMismatch = cases[i].name + " mode " + std::to_string(modes[m]) + " at call " +
                                std::to_string(call);
        }
        if (call % kCycle == 0) {
            if (spy) {
                // Inside a cycle: one program and one kernel per built
                // kernel, no buffer between calls but the pool's idle ones
                // (devices without SVM), a small staging pool.
                EXPECT_EQ(ClSpy::programs.load(), ClSpy::kernels.load()) << ClSpy::live();
                EXPECT_EQ(ClSpy::buffers.load(),
                          static_cast<long>(ZOR::DeviceManager::getInstance()->pooledBuffers()))
                    << ClSpy::live();
                EXPECT_LE(ClSpy::buffers.load(), ZOR::kPoolKeptBlocks) << ClSpy::live();
                EXPECT_LE(ClSpy::svm.load(), 8) << ClSpy::live();
                EXPECT_LE(static_cast<size_t>(ClSpy::kernels.load()), ZOR::KernelUtils::getInstance()->size())
                    << "kernels alive that the registry does not hold: " << ClSpy::live();
                maxPrograms = std::max(maxPrograms, ClSpy::programs.load());
                maxSvm = std::max(maxSvm, ClSpy::svm.load());
            }
            ncvDeinit();
            if (spy) {
                EXPECT_TRUE(ClSpy::nothingAlive())
                    << "after cycle " << call / kCycle << ": " << ClSpy::live();
            }
            rssAfterCycle.push_back(status_kib("VmRSS"));
            ncvInit();
        }
    }
    ncvDeinit();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(mismatches, 0) << "first: " << firstMismatch;
    const long hwmAfter = status_kib("VmHWM");
    std::printf("soak: %d calls, %zu init/deinit cycles in %.1f s; peak RSS after the soak %ld KiB "
                "(current %ld KiB); RSS after cycle 2: %ld KiB, after the last: %ld KiB; at most "
                "%ld programs and %ld SVM blocks alive in a cycle\n",
                kCalls, rssAfterCycle.size(), seconds, hwmAfter, status_kib("VmRSS"),
                rssAfterCycle.size() > 1 ? rssAfterCycle[1] : -1L, rssAfterCycle.back(),
                maxPrograms, maxSvm);
    ASSERT_GE(rssAfterCycle.size(), 3u);
    if (!kSanitized) {
        // Freed memory goes back to the allocator, not always to the system:
        // allow some slack, but nothing that grows with the number of cycles.
        EXPECT_LE(rssAfterCycle.back(), rssAfterCycle[1] + 24 * 1024)
            << "resident set grew from cycle 2 to the last cycle";
    }
}

}  // namespace
