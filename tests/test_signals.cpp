// The library never takes a signal from the application that embeds it: a
// SIGUSR1 handler the application installed before the library did any work
// is still the handler after every operation has run on several threads (on
// both paths, at sizes that use the worker pools), after a threadpool_ pool
// was paused and resumed, and a SIGUSR1 sent to the process, or raised on one
// of the library's workers, reaches that handler and nothing else.
// (Its own program: the handler must be the first thing the process installs.)
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/op_cases.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "ops/threadpool/band_runner.h"
#include "ops/threadpool/threadpool.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::OpCase;
using mira_test::Planes;

namespace {

std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler only touches a lock-free counter");

void on_usr1(int) { g_caught.fetch_add(1); }

// Installed while the program starts, before any test (and so before the
// library has run anything).
struct InstallHandler {
    InstallHandler() {
        struct sigaction act {};
        act.sa_handler = on_usr1;
        sigemptyset(&act.sa_mask);
        act.sa_flags = SA_RESTART;
        installed = sigaction(SIGUSR1, &act, nullptr) == 0;
    }
    bool installed = false;
} g_install;

bool handler_is_ours(std::string* why) {
    struct sigaction now {};
    if (sigaction(SIGUSR1, nullptr, &now) != 0) {
        *why = "sigaction failed";
        return false;
    }
    if ((now.sa_flags & SA_SIGINFO) != 0 || now.sa_handler != on_usr1) {
        *why = "SIGUSR1 has another handler than the application's";
        return false;
    }
    return true;
}

// Waits (bounded) until the handler has run `n` times in all.
bool caught(int n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_caught.load() < n)
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::microseconds(200));
    return true;
}

// The operations at sizes where they split their work into bands on the
// shared workers (the statistics above 2^16 pixels, the M/N box scaling above
// 2^17, the pipelines' row bands).
std::vector<OpCase> banded_cases() {
    using namespace mira_test::op_cases_detail;
    constexpr uint32_t W = 640, H = 480;
    auto img = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 11));
    auto pairs = std::make_shared<std::vector<uint8_t>>(random_bytes(2 * W * H, 12));
    std::vector<OpCase> c;
    auto one = [](std::string name, uint32_t id, std::shared_ptr<std::vector<uint8_t>> in,
                  uint32_t w, uint32_t h, uint32_t dw, uint32_t dh, void* extra = nullptr) {
        return OpCase{name, [=](uint32_t mode, Planes& out) {
                          out.assign(1, std::vector<uint8_t>(size_t(dw) * dh, 0));
                          MIRA_Feature_Buf s = buf(*in, w, w, h), d = buf(out[0], dw, dw, dh);
                          return run(&s, 1, &d, 1, id, mode, extra);
                      }};
    };
    c.push_back(one("scale down M/N", MIRA_API_SCALEDOWN_MN_U8, img, W, H, 250, 190));
    c.push_back(one("scale down M/N interleaved", MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, pairs, 2 * W, H,
                    500, 190));
    c.push_back(one("up-sample 2x cbcr", MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, pairs, W, H / 2, 2 * W, H));
    static ncvScaleParam bilinear{1, 0, 0};
    c.push_back(one("scale bilinear", MIRA_API_SCALE_U8, img, W, H, 900, 700, &bilinear));
    c.push_back(OpCase{"intensity statistics", [=](uint32_t mode, Planes& out) {
        out.assign(2, std::vector<uint8_t>(sizeof(float), 0));
        MIRA_Feature_Buf s = buf(*img, W, W, H);
        MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, out[0].data()}, {1, 1, 1, 1, out[1].data()}};
        return run(&s, 1, d, 1, MIRA_API_IMAGE_INTENSITY_STATS, mode);
    }});
    return c;
}

void count_job(void* arg) { static_cast<std::atomic<int>*>(arg)->fetch_add(1); }

void raise_job(void* arg) {
    raise(SIGUSR1);  // delivered to this worker, before raise returns
    static_cast<std::atomic<int>*>(arg)->fetch_add(1);
}

TEST(Signals, TheApplicationsHandlerStaysAndReceivesSigusr1) {
    ASSERT_TRUE(g_install.installed);
    std::string why;
    ASSERT_TRUE(handler_is_ours(&why)) << why << " (before the library ran)";
    // The process runs as on a machine without OpenCL: the OpenCL
    // implementation is not the library's, and the one here (PoCL) starts
    // LLVM, which installs a SIGUSR1 handler of its own. GPU requests then
    // run their CPU twins, on the same worker pools.
    zor_test_set_opencl_library("/nonexistent/libOpenCL.so.1");

    // Every operation, both paths, from four threads at once.
    std::vector<OpCase> cases = mira_test::all_op_cases();
    for (OpCase& c : banded_cases()) cases.push_back(std::move(c));
    std::vector<std::thread> threads;
    std::atomic<int> calls{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 2; ++round)
                for (size_t i = 0; i < cases.size(); ++i) {
                    Planes out;
                    cases[(i + t) % cases.size()].run(round == 0 ? MIRA_MODE_CPU : MIRA_MODE_OPENCL,
                                                      out);
                    ++calls;
                }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(calls.load(), 4 * 2 * static_cast<int>(cases.size()));

    // A threadpool_ pool: its workers run, are paused and resumed.
    threadpool pool = threadpool_init(3);
    ASSERT_NE(pool, nullptr);
    std::atomic<int> jobs{0};
    for (int i = 0; i < 30; ++i) threadpool_add_work(pool, count_job, &jobs);
    threadpool_wait(pool);
    threadpool_pause(pool);
    threadpool_add_work(pool, count_job, &jobs);
    threadpool_resume(pool);
    threadpool_wait(pool);
    EXPECT_EQ(jobs.load(), 31);

    EXPECT_TRUE(handler_is_ours(&why)) << why << " (after every operation ran)";

    // Sent to the process while the library's workers live: whichever thread
    // takes it runs the application's handler, once per signal.
    int expected = g_caught.load();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(kill(getpid(), SIGUSR1), 0);
        ASSERT_TRUE(caught(++expected)) << "signal " << i << " did not reach the handler";
    }
    ASSERT_EQ(raise(SIGUSR1), 0);
    EXPECT_EQ(g_caught.load(), ++expected);

    // Raised on a threadpool_ worker and on a shared band worker: the handler
    // runs there and the worker carries on.
    threadpool_add_work(pool, raise_job, &jobs);
    threadpool_wait(pool);
    EXPECT_EQ(jobs.load(), 32);
    expected += 1;
    std::atomic<int> bands{0};
    mira::run_bands(4, [&](int) {
        raise(SIGUSR1);
        ++bands;
    });
    EXPECT_EQ(bands.load(), 4);
    expected += 4;
    EXPECT_EQ(g_caught.load(), expected);
    threadpool_destroy(pool);

    EXPECT_TRUE(handler_is_ours(&why)) << why << " (at the end)";
}

}  // namespace
