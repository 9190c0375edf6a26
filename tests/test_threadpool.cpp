#include <gtest/gtest.h>

#include <sys/prctl.h>

#include <atomic>
#include <chrono>
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

TEST(ThreadPool, PauseHoldsJobsUntilResume) {
    threadpool pool = threadpool_init(2);
    ASSERT_NE(pool, nullptr);
    std::atomic<int> done{0};
    threadpool_pause(pool);
    for (int i = 0; i < 8; ++i) threadpool_add_work(pool, count, &done);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(done.load(), 0);
    threadpool_resume(pool);
    threadpool_wait(pool);
    EXPECT_EQ(done.load(), 8);
    // A second pause/resume cycle works the same way.
    threadpool_pause(pool);
    threadpool_add_work(pool, count, &done);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done.load(), 8);
    threadpool_resume(pool);
    threadpool_wait(pool);
    EXPECT_EQ(done.load(), 9);
    threadpool_destroy(pool);
}

void progress_slowly(void* arg) {
    for (int i = 0; i < 300; ++i) {
        static_cast<std::atomic<int>*>(arg)->fetch_add(1);
        std::this_thread::sleep_for(1ms);
    }
}

TEST(ThreadPool, PauseSuspendsARunningJob) {
    threadpool pool = threadpool_init(1);
    ASSERT_NE(pool, nullptr);
    std::atomic<int> progress{0};
    threadpool_add_work(pool, progress_slowly, &progress);
    while (progress.load() < 5) std::this_thread::sleep_for(1ms);
    threadpool_pause(pool);
    std::this_thread::sleep_for(30ms);  // the signal reaches the worker
    const int held = progress.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_LE(progress.load() - held, 1);
    EXPECT_LT(progress.load(), 300);
    threadpool_resume(pool);
    threadpool_wait(pool);
    EXPECT_EQ(progress.load(), 300);
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

// Every band runs exactly once, on the caller or a helper, and all of them
// have finished when the call returns; calls back to back reuse the workers.
TEST(RunBands, EveryBandOnceAndFinishedOnReturn) {
    threadpool pool = threadpool_init(3);
    ASSERT_NE(pool, nullptr);
    for (int bands : {1, 2, 3, 4, 7, 16}) {
        for (int helpers : {0, 1, 3, 8}) {
            for (int call = 0; call < 20; ++call) {
                std::vector<std::atomic<int>> runs(bands);
                std::atomic<int> finished{0};
                ASSERT_TRUE(mira::threadpool_run_bands(pool, bands, helpers, [&](int b) {
                    if (b % 2) std::this_thread::sleep_for(std::chrono::microseconds(50));
                    runs[b].fetch_add(1);
                    finished.fetch_add(1);
                }));
                EXPECT_EQ(finished.load(), bands);
                for (int b = 0; b < bands; ++b) EXPECT_EQ(runs[b].load(), 1) << bands << " " << b;
            }
        }
    }
    // Helpers that start after their call has returned find nothing to do.
    threadpool_wait(pool);
    threadpool_destroy(pool);
}

TEST(RunBands, WithoutPoolTheCallerRunsBandsInOrder) {
    std::vector<int> order;
    ASSERT_TRUE(mira::threadpool_run_bands(nullptr, 5, 4, [&](int b) { order.push_back(b); }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    order.clear();
    ASSERT_TRUE(mira::threadpool_run_bands(nullptr, 0, 4, [&](int b) { order.push_back(b); }));
    EXPECT_TRUE(order.empty());
}

// Several callers share one pool at once.
TEST(RunBands, ConcurrentCallersShareAPool) {
    threadpool pool = threadpool_init(2);
    ASSERT_NE(pool, nullptr);
    std::atomic<long> total{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&] {
            for (int call = 0; call < 50; ++call) {
                std::atomic<int> n{0};
                mira::threadpool_run_bands(pool, 4, 3, [&](int b) { n.fetch_add(b + 1); });
                total.fetch_add(n.load());
            }
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(total.load(), 4L * 50 * 10);
    threadpool_wait(pool);
    threadpool_destroy(pool);
}

// A worker that polls for the next job still holds on pause and runs the
// jobs added while it was held after resume.
TEST(ThreadPool, PollingWorkerHoldsOnPause) {
    threadpool pool = threadpool_init(1);
    ASSERT_NE(pool, nullptr);
    std::atomic<int> done{0};
    threadpool_add_work(pool, count, &done);
    threadpool_wait(pool);  // the worker has just finished a job: it polls
    threadpool_pause(pool);
    threadpool_add_work(pool, count, &done);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(done.load(), 1);
    threadpool_resume(pool);
    threadpool_wait(pool);
    EXPECT_EQ(done.load(), 2);
    threadpool_destroy(pool);
}

}  // namespace
