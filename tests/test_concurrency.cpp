// Concurrency: eight threads run every image feature on the CPU and the GPU
// path at once and must reproduce the results of a single-threaded run; and
// ncvInit/ncvDeinit racing with GPU calls must not crash or corrupt anything.
// Run under ThreadSanitizer in CI (build-tsan).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/op_cases.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

using mira_test::OpCase;
using mira_test::Planes;

namespace {

using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_THREAD__)
constexpr bool kTsan = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kTsan = true;
#else
constexpr bool kTsan = false;
#endif
#else
constexpr bool kTsan = false;
#endif

constexpr int kThreads = 8;
const auto kBudget = std::chrono::milliseconds(kTsan ? 6000 : 3000);

struct Failures {
    std::atomic<int> count{0};
    std::mutex mutex;
    std::string first;
    void add(const std::string& what) {
        if (count++ == 0) {
            std::lock_guard<std::mutex> lock(mutex);
            first = what;
        }
    }
};

// One managed block allocated, checked, written and freed.
bool managed_memory_round_trip() {
    void* p = ncvMemAlloc(4096, 64);
    if (!p) return true;  // no device: nothing to check
    bool ok = ncvIsNcvAllocBuffer(p) == 1;
    std::memset(p, 0x3C, 4096);
    ncvMemFree(p);
    return ok;
}

TEST(Concurrency, EveryFeatureOnBothPathsFromEightThreads) {
    const bool gpu = ncvInit() == 0;
    const std::vector<OpCase> cases = mira_test::all_op_cases();
    const uint32_t modes[2] = {MIRA_MODE_CPU, MIRA_MODE_OPENCL};
    // Single-threaded references, each computed twice: a feature must be
    // deterministic before its concurrent runs can be compared with it.
    std::vector<Planes> ref(cases.size() * 2);
    std::vector<uint32_t> status(cases.size() * 2);
    std::string differing;
    for (size_t i = 0; i < cases.size(); ++i) {
        for (int m = 0; m < 2; ++m) {
            Planes again;
            status[2 * i + m] = cases[i].run(modes[m], ref[2 * i + m]);
            ASSERT_EQ(cases[i].run(modes[m], again), status[2 * i + m]) << cases[i].name;
            ASSERT_EQ(again, ref[2 * i + m]) << cases[i].name << " mode " << modes[m]
                                             << " differs between two single-threaded runs";
        }
        if (ref[2 * i] != ref[2 * i + 1]) differing += " [" + cases[i].name + "]";
        // The GPU path gives the CPU result, except where the paths round
        // differently by design (their own tests compare them with a tolerance).
        const bool rounding = cases[i].name == "nv21 to rgba" ||
                              cases[i].name.rfind("scale down M/N", 0) == 0 ||
                              cases[i].name.rfind("affine", 0) == 0;
        if (!rounding) {
            EXPECT_EQ(ref[2 * i + 1], ref[2 * i]) << cases[i].name << ": GPU differs from CPU";
        }
    }
    std::printf("GPU device: %s; features whose GPU result differs from the CPU result:%s\n",
                gpu ? "yes" : "no (GPU requests run on the CPU)",
                differing.empty() ? " none" : differing.c_str());

    Failures failures;
    std::atomic<long> calls{0};
    std::vector<long> perThread(kThreads, 0);
    const auto deadline = Clock::now() + kBudget;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(1000u + t);
            long n = 0;
            // Every thread starts at its own case so that all of them run at
            // least once even when the budget is short.
            for (size_t k = t; Clock::now() < deadline || n == 0; ++k) {
                if (rng() % 16 == 0 && !managed_memory_round_trip())
                    failures.add("managed block not registered");
                const size_t i = (k + rng() % 3) % cases.size();
                const int m = static_cast<int>(rng() % 2);
                Planes out;
                const uint32_t st = cases[i].run(modes[m], out);
                if (st != status[2 * i + m] || out != ref[2 * i + m])
                    failures.add(cases[i].name + " mode " + std::to_string(modes[m]) +
                                 " on thread " + std::to_string(t));
                ++n;
            }
            perThread[t] = n;
            calls += n;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.count.load(), 0) << "first mismatch: " << failures.first;
    for (int t = 0; t < kThreads; ++t) EXPECT_GT(perThread[t], 0) << "thread " << t;
    std::printf("%ld calls on %d threads in %lld ms (%zu features x 2 paths)\n", calls.load(),
                kThreads, static_cast<long long>(kBudget.count()), cases.size());
    ncvDeinit();
}

// ncvInit called again and again while other threads run GPU calls (and
// managed memory): every call keeps producing its single-threaded result.
TEST(Concurrency, InitRacingWithGpuCalls) {
    std::vector<OpCase> cases;
    for (const OpCase& c : mira_test::all_op_cases())
        if (c.name == "transpose" || c.name == "gradient" || c.name == "nv21 to rgba" ||
            c.name == "ycbcr 420 to 444")
            cases.push_back(c);
    ASSERT_EQ(cases.size(), 4u);
    ncvInit();
    std::vector<Planes> ref(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) cases[i].run(MIRA_MODE_OPENCL, ref[i]);
    Failures failures;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, inits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(55u + t);
            while (!stop) {
                const size_t i = rng() % cases.size();
                Planes out;
                cases[i].run(MIRA_MODE_OPENCL, out);
                if (out != ref[i]) failures.add(cases[i].name + " changed while ncvInit ran");
                if (!managed_memory_round_trip()) failures.add("managed block not registered");
                ++calls;
            }
        });
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kTsan ? 3000 : 1500);
    while (Clock::now() < deadline) {
        EXPECT_EQ(ncvInit(), ncvInit());
        ++inits;
    }
    stop = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.count.load(), 0) << failures.first;
    EXPECT_GT(calls.load(), 0);
    std::printf("%ld GPU calls beside %ld ncvInit pairs\n", calls.load(), inits.load());
    ncvDeinit();
}

// ncvInit and ncvDeinit from one thread while others keep calling GPU paths:
// nothing may crash, and every call either produces the right result (on the
// GPU or, while no device is up, on the CPU) or leaves its destination as it
// was. Afterwards the library works normally.
TEST(Concurrency, InitAndDeinitRacingWithGpuCalls) {
    const std::vector<OpCase> all = mira_test::all_op_cases();
    std::vector<OpCase> cases;
    for (const OpCase& c : all)
        if (c.name == "transpose" || c.name == "gradient" || c.name == "nv21 to rgba" ||
            c.name == "interleave" || c.name == "scale down M/N")
            cases.push_back(c);
    ASSERT_EQ(cases.size(), 5u);
    ncvInit();
    std::vector<Planes> gpuRef(cases.size()), cpuRef(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        cases[i].run(MIRA_MODE_OPENCL, gpuRef[i]);
        cases[i].run(MIRA_MODE_CPU, cpuRef[i]);
    }

    Failures failures;
    std::atomic<bool> stop{false};
    std::atomic<long> calls{0}, cycles{0}, untouched{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(77u + t);
            while (!stop) {
                const size_t i = rng() % cases.size();
                Planes out;
                cases[i].run(MIRA_MODE_OPENCL, out);
                bool blank = true;
                for (const auto& plane : out)
                    for (uint8_t v : plane) blank = blank && v == 0;
                if (blank) ++untouched;
                else if (out != gpuRef[i] && out != cpuRef[i])
                    failures.add(cases[i].name + ": neither a result nor untouched");
                ++calls;
            }
        });
    }
    // (Managed blocks are not used here: a block does not survive ncvDeinit.)
    threads.emplace_back([&] {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kTsan ? 4000 : 2000);
        while (Clock::now() < deadline) {
            ncvInit();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ncvDeinit();
            ++cycles;
        }
        stop = true;
    });
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.count.load(), 0) << failures.first;
    std::printf("%ld GPU calls (%ld left their destination untouched) during %ld init/deinit cycles\n",
                calls.load(), untouched.load(), cycles.load());
    EXPECT_GT(cycles.load(), 0);
    // Back to normal.
    ncvInit();
    for (size_t i = 0; i < cases.size(); ++i) {
        Planes out;
        cases[i].run(MIRA_MODE_OPENCL, out);
        EXPECT_EQ(out, gpuRef[i]) << cases[i].name << " after the race";
    }
    ncvDeinit();
}

}  // namespace
