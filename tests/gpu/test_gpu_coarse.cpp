// Coarse-grained shared memory and threads, watched through the spy on the
// OpenCL entry-point table (PoCL's device made to report coarse-grained
// buffers only):
//  - a call maps and unmaps exactly the rows its images span in a caller's
//    ncvMemAlloc arena, and the rest of the arena stays mapped for the host;
//  - threads whose images share one arena each return with their rows mapped,
//    never bring device bytes over rows that are not theirs, and find the
//    host bytes they wrote elsewhere in the arena intact;
//  - on every memory kind, the kernels of two threads are waited for at the
//    same time, each on a queue of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ostream>
#include <thread>
#include <vector>

#include "common/cl_spy.h"
#include "common/gpu_transpose.h"
#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClSpy;
using mira_test::GuardedImage;

namespace {

using mira_test::expect_transposed;
using mira_test::gpu_transpose;

class CoarseArena : public ::testing::Test {
protected:
    void SetUp() override {
        ncvDeinit();
        if (!ClSpy::install()) GTEST_SKIP() << "no OpenCL library on this machine";
        if (zor_test_svm_cap() < static_cast<int>(ZOR::kSvmCoarse))
            GTEST_SKIP() << "shared memory forced off";
        ClSpy::coarseOnly = true;
        ClSpy::resetCounts();
        if (ncvInit() != 0) GTEST_SKIP() << "no usable OpenCL device on this machine";
        ASSERT_EQ(ZOR::DeviceManager::getInstance()->svmMode(), ZOR::kSvmCoarse);
    }
    void TearDown() override {
        ClSpy::recordOps = false;
        ncvDeinit();
        ClSpy::coarseOnly = false;
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }
};

// One transpose inside an arena: the source window at `srcOff` with pitch
// `srcStride`, the destination at `dstOff` with pitch `dstStride`.
struct Window {
    uint32_t w, h, srcStride, dstStride;
    size_t srcOff, dstOff;
    size_t srcSpan() const { return size_t(h - 1) * srcStride + w; }
    size_t dstSpan() const { return size_t(w - 1) * dstStride + h; }
};

void PrintTo(const Window& g, std::ostream* os) {
    *os << g.w << "x" << g.h << " pitch " << g.srcStride << " at " << g.srcOff << " -> pitch "
        << g.dstStride << " at " << g.dstOff;
}

constexpr size_t kArena = 1 << 20;

class CoarseRows : public CoarseArena, public ::testing::WithParamInterface<Window> {};

uint8_t pattern(size_t i) { return static_cast<uint8_t>(i * 151 + 7); }

TEST_P(CoarseRows, OnlyTheRowsACallTouchesAreUnmappedAndMappedBack) {
    const Window g = GetParam();
    uint8_t* arena = static_cast<uint8_t*>(ncvMemAlloc(kArena, 64));
    ASSERT_NE(arena, nullptr);
    const uintptr_t base = reinterpret_cast<uintptr_t>(arena);
    for (size_t i = 0; i < kArena; ++i) arena[i] = pattern(i);
    uint8_t* src = arena + g.srcOff;
    uint8_t* dst = arena + g.dstOff;
    std::vector<uint8_t> expected(arena, arena + kArena);
    auto fill = [&](int round) {
        for (uint32_t y = 0; y < g.h; ++y)
            for (uint32_t x = 0; x < g.w; ++x)
                expected[g.srcOff + size_t(y) * g.srcStride + x] = src[size_t(y) * g.srcStride + x] =
                    static_cast<uint8_t>(x * 3 + y * 5 + round);
        for (uint32_t r = 0; r < g.w; ++r)
            for (uint32_t c = 0; c < g.h; ++c)
                expected[g.dstOff + size_t(r) * g.dstStride + c] =
                    src[size_t(c) * g.srcStride + r];
    };
    auto inRows = [&](size_t off, size_t bytes) {
        return (off == g.srcOff && bytes == g.srcSpan()) || (off == g.dstOff && bytes == g.dstSpan());
    };
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        fill(round);
        ClSpy::takeOps();
        ClSpy::recordOps = true;
        const long before = ClSpy::launches;
        ASSERT_EQ(gpu_transpose(src, g.w, g.h, g.srcStride, dst, g.dstStride), MIRA_OK);
        ClSpy::recordOps = false;
        EXPECT_GT(ClSpy::launches.load(), before) << "the kernel did not run";
        // Every byte of the arena as the host left it, but the destination's.
        size_t differ = 0;
        for (size_t i = 0; i < kArena; ++i) differ += arena[i] != expected[i];
        EXPECT_EQ(differ, 0u);
        EXPECT_TRUE(ClSpy::mappedNow(arena, kArena)) << "the call returned with arena bytes unmapped";
        int unmaps = 0, readMaps = 0;
        for (const ClSpy::SvmOp& op : ClSpy::takeOps()) {
            if (op.block != base) {
                // A staging buffer: this call stages nothing.
                ADD_FAILURE() << "a map or unmap outside the arena";
                continue;
            }
            if (!op.map) {
                ++unmaps;
                // After the first call each image's rows are a piece of their own.
                if (round > 0)
                    EXPECT_TRUE(inRows(op.offset, op.bytes))
                        << "unmapped " << op.bytes << " bytes at " << op.offset;
                continue;
            }
            if (op.flags & CL_MAP_READ) {
                ++readMaps;
                EXPECT_TRUE(inRows(op.offset, op.bytes))
                    << "read back " << op.bytes << " bytes at " << op.offset;
            } else {
                // Only the first call splits the arena's piece: the bytes
                // around the rows are mapped again without reading the device.
                EXPECT_EQ(round, 0) << "mapped " << op.bytes << " bytes at " << op.offset;
                EXPECT_EQ(op.flags, CL_MAP_WRITE_INVALIDATE_REGION);
            }
        }
        EXPECT_EQ(readMaps, 2) << "the source's and the destination's rows, nothing else";
        if (round > 0) {
            EXPECT_EQ(unmaps, 2);
        }
    }
    EXPECT_EQ(ClSpy::badUnmaps.load(), 0);
    EXPECT_EQ(ClSpy::overlappingMaps.load(), 0);
    EXPECT_EQ(ClSpy::mappedAtLaunch.load(), 0) << "a kernel got rows still mapped";
    ncvMemFree(arena);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, CoarseRows,
    ::testing::Values(Window{1, 1, 4, 4, 4096, 8192}, Window{7, 3, 12, 4, 64, 700000},
                      Window{17, 17, 20, 20, 300004, 4},
                      Window{33, 2, 36, 4, 1000, 5000},
                      Window{641, 17, 644, 20, 200000, 500000},
                      Window{1, 641, 4, 644, kArena - 4 * 640 - 4, 128}));

// Threads whose images share one arena: each call hands the device its own
// rows only and returns with them mapped, so a thread's host writes anywhere
// else in the arena (its next source, its own scratch bytes) are never
// unmapped under it nor overwritten by another call's read-back.
TEST_F(CoarseArena, ThreadsSharingAnArenaKeepTheirRowsAndTheirHostBytes) {
    constexpr int kThreads = 3, kRounds = 120;
    constexpr uint32_t w = 33, h = 17;
    constexpr size_t kSlot = 4096;  // per thread: source, destination, scratch
    uint8_t* arena = static_cast<uint8_t*>(ncvMemAlloc(kSlot * kThreads, 64));
    ASSERT_NE(arena, nullptr);
    std::atomic<long> wrong{0}, unmappedAtReturn{0}, unmappedHostWrites{0}, scratchLost{0},
        failedCalls{0};
    std::atomic<int> warm{0};
    const long launchesBefore = ClSpy::launches;
    auto worker = [&](int t) {
        uint8_t* src = arena + t * kSlot;         // w x h at pitch 36
        uint8_t* dst = src + 1024;                // h x w at pitch 20
        uint8_t* scratch = src + 2048;            // host-only bytes
        const size_t srcSpan = size_t(h - 1) * 36 + w, dstSpan = size_t(w - 1) * 20 + h;
        ClSpy::ownRows = {{reinterpret_cast<uintptr_t>(src), srcSpan},
                          {reinterpret_cast<uintptr_t>(dst), dstSpan}};
        for (int round = 0; round < kRounds; ++round) {
            // A range's first use splits the mapped piece around it (the
            // rest is mapped again write-invalidate at once, so no device
            // bytes come over it): once every thread's rows have been used,
            // nothing of another thread's is ever unmapped.
            if (round == 1) {
                ++warm;
                while (warm.load() < kThreads) std::this_thread::yield();
            }
            if (round > 0 && (!ClSpy::mappedNow(src, srcSpan) || !ClSpy::mappedNow(scratch, 1024)))
                ++unmappedHostWrites;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    src[y * 36 + x] = static_cast<uint8_t>(x + 7 * y + 13 * round + 29 * t);
            std::memset(scratch, 0x40 + t + round, 1024);
            if (gpu_transpose(src, w, h, 36, dst, 20) != MIRA_OK) ++failedCalls;
            if (!ClSpy::mappedNow(dst, dstSpan) || !ClSpy::mappedNow(src, srcSpan))
                ++unmappedAtReturn;
            for (uint32_t r = 0; r < w; ++r)
                for (uint32_t c = 0; c < h; ++c)
                    if (dst[r * 20 + c] != src[c * 36 + r]) ++wrong;
            for (int i = 0; i < 1024; ++i)
                if (scratch[i] != static_cast<uint8_t>(0x40 + t + round)) ++scratchLost;
        }
        ClSpy::ownRows.clear();
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
    for (auto& th : threads) th.join();
    EXPECT_EQ(failedCalls.load(), 0);
    EXPECT_EQ(ClSpy::launches.load() - launchesBefore, kThreads * kRounds) << "a call ran no kernel";
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(unmappedAtReturn.load(), 0) << "a call returned with its rows still lent to the device";
    EXPECT_EQ(unmappedHostWrites.load(), 0) << "another thread's call unmapped rows that were not its own";
    EXPECT_EQ(ClSpy::foreignReads.load(), 0)
        << "a call mapped device bytes back over rows that were not its own";
    EXPECT_EQ(scratchLost.load(), 0);
    EXPECT_EQ(ClSpy::badUnmaps.load(), 0);
    EXPECT_EQ(ClSpy::overlappingMaps.load(), 0);
    EXPECT_TRUE(ClSpy::coarseBlocksMapped());
    ncvMemFree(arena);
}

// The kernels of two threads are in flight together: while one call waits
// for its kernel, another gets through its staging, launch and wait. Every
// memory kind (the forced one, see tests/CMakeLists.txt).
TEST(CallQueues, TwoThreadsWaitForTheirKernelsAtOnceOnQueuesOfTheirOwn) {
    ncvDeinit();
    if (!ClSpy::install()) GTEST_SKIP() << "no OpenCL library on this machine";
    ClSpy::resetCounts();
    if (ncvInit() != 0) GTEST_SKIP() << "no usable OpenCL device on this machine";
    {
        GuardedImage s(17, 9, 20), d(9, 17, 12);  // build the kernel first
        s.fillRandom(1);
        ASSERT_EQ(gpu_transpose(s.data(), 17, 9, s.stride(), d.data(), d.stride()), MIRA_OK);
    }
    ClSpy::finishMeet = true;
    std::atomic<long> wrong{0};
    auto worker = [&](int t) {
        for (int round = 0; round < 3; ++round) {
            const uint32_t w = 64 + t, h = 64 - t;
            GuardedImage src(w, h, w + 4), dst(h, w, h + 8);
            src.fillRandom(t * 10 + round);
            if (gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()) != MIRA_OK)
                ++wrong;
            for (uint32_t r = 0; r < w; ++r)
                for (uint32_t c = 0; c < h; ++c)
                    if (dst.data()[size_t(r) * dst.stride() + c] !=
                        src.data()[size_t(c) * src.stride() + r])
                        ++wrong;
            if (!dst.paddingIntact()) ++wrong;
        }
    };
    std::thread a(worker, 0), b(worker, 1);
    a.join();
    b.join();
    ClSpy::finishMeet = false;
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GE(ClSpy::launchQueueCount(), 2u) << "every launch went to one queue";
    EXPECT_GE(ClSpy::finishesMet.load(), 2)
        << "no two calls waited for their kernels at the same time";
    ncvDeinit();
    EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
}

}  // namespace
