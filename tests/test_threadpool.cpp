#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/prctl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ops/threadpool/band_runner.h"
#include "ops/threadpool/threadpool.h"

namespace {

using namespace std::chrono_literals;

struct Recorder {
    std::mutex m;
    std::vector<int> order;
    std::set<std::string> names;
};

struct OrderJob {
    Recorder* rec;
    int index;
};

void record(void* arg) {
    auto* j = static_cast<OrderJob*>(arg);
    char name[32] = {};
    prctl(PR_GET_NAME, name);
    std::lock_guard<std::mutex> lock(j->rec->m);
    j->rec->order.push_back(j->index);
    j->rec->names.insert(name);
}

void count_slowly(void* arg) {
    std::this_thread::sleep_for(20ms);
    static_cast<std::atomic<int>*>(arg)->fetch_add(1);
}

void count(void* arg) { static_cast<std::atomic<int>*>(arg)->fetch_add(1); }

// Threads of this process.
int thread_count() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// start_band_workers starts every shared worker at once (the statistics call
// it before pinning the caller, so that no worker is created from a pinned
// thread): bands run afterwards, nested or not, create no further threads.
// First in this program, so that nothing has started the workers before.
TEST(RunBands, StartBandWorkersStartsEveryWorker) {
    mira::start_band_workers();
    const int started = thread_count();
    std::atomic<int> n{0};
    for (int call = 0; call < 10; ++call)
        mira::run_bands(16, [&](int) { mira::run_bands(4, [&](int) { n.fetch_add(1); }); });
    EXPECT_EQ(n.load(), 10 * 16 * 4);
    EXPECT_EQ(thread_count(), started);
}

TEST(ThreadPool, OneWorkerRunsJobsInOrderOfSubmission) {
    threadpool pool = threadpool_init(1);
    ASSERT_NE(pool, nullptr);
    Recorder rec;
    std::vector<OrderJob> jobs(200);
    for (int i = 0; i < 200; ++i) {
        jobs[i] = {&rec, i};
        ASSERT_EQ(threadpool_add_work(pool, record, &jobs[i]), 0);
    }
    threadpool_wait(pool);
    std::vector<int> expected(200);
    for (int i = 0; i < 200; ++i) expected[i] = i;
    EXPECT_EQ(rec.order, expected);
    EXPECT_EQ(rec.names, std::set<std::string>{"thread-pool-0"});
    threadpool_destroy(pool);
}

TEST(ThreadPool, WorkersAreNamedByIndex) {
    threadpool pool = threadpool_init(3);
    ASSERT_NE(pool, nullptr);
    Recorder rec;
    std::vector<OrderJob> jobs(300);
    for (int i = 0; i < 300; ++i) {
        jobs[i] = {&rec, i};
        threadpool_add_work(pool, record, &jobs[i]);
    }
    threadpool_wait(pool);
    EXPECT_EQ(rec.order.size(), 300u);
    for (const std::string& n : rec.names)
        EXPECT_TRUE(n == "thread-pool-0" || n == "thread-pool-1" || n == "thread-pool-2") << n;
    threadpool_destroy(pool);
}

TEST(ThreadPool, WaitReturnsOnlyAfterEveryJobFinished) {
    threadpool pool = threadpool_init(4);
    ASSERT_NE(pool, nullptr);
    for (int round = 0; round < 3; ++round) {
        std::atomic<int> done{0};
        for (int i = 0; i < 4; ++i) ASSERT_EQ(threadpool_add_work(pool, count_slowly, &done), 0);
        threadpool_wait(pool);
        EXPECT_EQ(done.load(), 4);
        EXPECT_EQ(threadpool_num_threads_working(pool), 0);
    }
    // More jobs than workers.
    std::atomic<int> done{0};
    for (int i = 0; i < 1000; ++i) threadpool_add_work(pool, count, &done);
    threadpool_wait(pool);
    EXPECT_EQ(done.load(), 1000);
    threadpool_destroy(pool);
}

TEST(ThreadPool, DestroyFreesQueuedJobsWithoutRunningThem) {
    // No workers: the jobs can only be freed.
    threadpool idle = threadpool_init(-3);
    ASSERT_NE(idle, nullptr);
    std::atomic<int> ran{0};
    for (int i = 0; i < 10; ++i) ASSERT_EQ(threadpool_add_work(idle, count, &ran), 0);
    threadpool_destroy(idle);
    EXPECT_EQ(ran.load(), 0);

    // Held workers: destroy releases them, and they stop without taking a job.
    threadpool held = threadpool_init(2);
    ASSERT_NE(held, nullptr);
    threadpool_pause(held);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(threadpool_add_work(held, count, &ran), 0);
    threadpool_destroy(held);
    EXPECT_EQ(ran.load(), 0);

    threadpool_destroy(nullptr);
}

TEST(ThreadPool, TwoPoolsCoexist) {
    threadpool a = threadpool_init(2), b = threadpool_init(2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::atomic<int> na{0}, nb{0};
    for (int i = 0; i < 50; ++i) {
        threadpool_add_work(a, count, &na);
        threadpool_add_work(b, count, &nb);
    }
    threadpool_wait(a);
    threadpool_wait(b);
    EXPECT_EQ(na.load(), 50);
    EXPECT_EQ(nb.load(), 50);
    // Destroying one pool leaves the other working, and a new pool does not
    // disturb it either.
    threadpool_destroy(a);
    threadpool c = threadpool_init(1);
    for (int i = 0; i < 50; ++i) threadpool_add_work(b, count, &nb);
    threadpool_wait(b);
    EXPECT_EQ(nb.load(), 100);
    // Pausing one pool does not hold the other.
    threadpool_pause(c);
    for (int i = 0; i < 50; ++i) threadpool_add_work(b, count, &nb);
    threadpool_wait(b);
    EXPECT_EQ(nb.load(), 150);
    threadpool_resume(c);
    threadpool_destroy(c);
    threadpool_destroy(b);
}

// Waits (bounded, for a stuck pool) until `ready` holds; returns its value.
template <typename Ready>
bool wait_until(Ready ready) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return ready();
        std::this_thread::sleep_for(100us);
    }
    return true;
}

// A job that reports that it started and then waits for its gate.
struct GatedJob {
    std::mutex m;
    std::condition_variable cv;
    bool started = false, open = false, finished = false;
};

void gated(void* arg) {
    auto* g = static_cast<GatedJob*>(arg);
    std::unique_lock<std::mutex> lock(g->m);
    g->started = true;
    g->cv.notify_all();
    g->cv.wait(lock, [g] { return g->open; });
    g->finished = true;
}

// Pause and resume as seen from the counters: a paused pool's workers reach
// their hold without taking a job (whether they were asleep, polling after a
// job, or woken by the jobs added while paused), nothing runs until resume,
// and after resume everything runs. Twice on the same pool, with one worker
// and with several.
TEST(ThreadPool, PauseHoldsEveryWorkerBeforeItsNextJobUntilResume) {
    for (int workers : {1, 3}) {
        threadpool pool = threadpool_init(workers);
        ASSERT_NE(pool, nullptr);
        std::atomic<int> done{0};
        int expected = 0;
        for (int cycle = 0; cycle < 2; ++cycle) {
            // cycle 1: the workers have just finished jobs, so they poll.
            threadpool_pause(pool);
            for (int i = 0; i < 8; ++i) ASSERT_EQ(threadpool_add_work(pool, count, &done), 0);
            // A worker woken by the new jobs holds instead of taking one; if
            // it took one anyway, `done` moves, and the check below fails.
            ASSERT_TRUE(wait_until([&] {
                return threadpool_num_threads_held(pool) >= 1 || done.load() != expected;
            }));
            EXPECT_EQ(done.load(), expected) << workers << " workers, cycle " << cycle;
            EXPECT_EQ(threadpool_num_threads_working(pool), 0);
            threadpool_resume(pool);
            expected += 8;
            ASSERT_TRUE(wait_until([&] { return done.load() == expected; }))
                << "resume did not release the workers: " << done.load() << " jobs ran";
            threadpool_wait(pool);
            EXPECT_EQ(threadpool_num_threads_held(pool), 0);
        }
        threadpool_destroy(pool);
    }
}

// A pause never interrupts a running job: the job finishes, then its worker
// holds before the next one, which runs only after resume.
TEST(ThreadPool, PauseLetsTheRunningJobFinishAndHoldsBeforeTheNext) {
    threadpool pool = threadpool_init(1);
    ASSERT_NE(pool, nullptr);
    GatedJob first;
    std::atomic<int> done{0};
    ASSERT_EQ(threadpool_add_work(pool, gated, &first), 0);
    {
        std::unique_lock<std::mutex> lock(first.m);
        first.cv.wait(lock, [&] { return first.started; });
    }
    threadpool_pause(pool);
    ASSERT_EQ(threadpool_add_work(pool, count, &done), 0);
    {
        std::lock_guard<std::mutex> lock(first.m);
        first.open = true;
    }
    first.cv.notify_all();
    ASSERT_TRUE(wait_until([&] { return threadpool_num_threads_held(pool) == 1 || done.load() != 0; }));
    {
        std::lock_guard<std::mutex> lock(first.m);
        EXPECT_TRUE(first.finished);
    }
    EXPECT_EQ(done.load(), 0);
    threadpool_resume(pool);
    ASSERT_TRUE(wait_until([&] { return done.load() == 1; })) << "resume did not release the worker";
    threadpool_wait(pool);
    threadpool_destroy(pool);
}

TEST(ThreadPool, AddWorkRejectsMissingPoolOrFunction) {
    std::atomic<int> n{0};
    EXPECT_EQ(threadpool_add_work(nullptr, count, &n), -1);
    threadpool pool = threadpool_init(1);
    EXPECT_EQ(threadpool_add_work(pool, nullptr, &n), -1);
    threadpool_wait(pool);
    threadpool_destroy(pool);
    EXPECT_EQ(n.load(), 0);
}

// ---------------------------------------------------------------- bands

// Every band runs exactly once, on the caller or a shared worker, and all of
// them have finished (their writes visible) when the call returns.
TEST(RunBands, EveryBandOnceAndFinishedOnReturn) {
    for (int bands : {0, 1, 2, 3, 4, 7, 16, 64}) {
        for (int call = 0; call < 20; ++call) {
            std::vector<int> runs(bands > 0 ? bands : 1, 0);
            std::atomic<int> finished{0};
            mira::run_bands(bands, [&](int b) {
                if (b % 2) std::this_thread::sleep_for(std::chrono::microseconds(50));
                ++runs[b];  // plain writes: the return must publish them
                finished.fetch_add(1);
            });
            EXPECT_EQ(finished.load(), std::max(bands, 0));
            for (int b = 0; b < bands; ++b) EXPECT_EQ(runs[b], 1) << bands << " " << b;
        }
    }
}

// The bands of one call run on more than one thread when the machine has
// several processors (they wait for each other, so one thread alone could
// not finish them), and several callers (and a call nested in a band) share
// the workers at once.
TEST(RunBands, BandsShareTheWorkersAcrossCallersAndNesting) {
    if (std::thread::hardware_concurrency() > 1) {
        std::atomic<int> arrived{0};
        bool met[2] = {false, false};
        mira::run_bands(2, [&](int b) {
            arrived.fetch_add(1);
            met[b] = wait_until([&] { return arrived.load() == 2; });
        });
        EXPECT_TRUE(met[0] && met[1]) << "the bands of a call ran one after the other";
    }
    std::atomic<long> total{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&] {
            for (int call = 0; call < 50; ++call) {
                std::atomic<int> n{0};
                mira::run_bands(4, [&](int b) {
                    mira::run_bands(3, [&](int c) { n.fetch_add((b + 1) * (c + 1)); });
                });
                total.fetch_add(n.load());
            }
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(total.load(), 4L * 50 * 10 * 6);
}

}  // namespace
