// Shared memory on each kind of device, watched through a spy on the OpenCL
// entry-point table: fine-grained devices get fine-grained allocations that
// the host touches directly; coarse-grained devices get coarse allocations
// handed to kernels in place, unmapped for every launch and mapped again
// before the host touches them; devices without shared memory use device
// buffers. Results are exact on every kind. Staging memory is sized to each
// call and the kept pool is capped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/gpu_transpose.h"
#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClSpy;
using mira_test::GuardedImage;

namespace {

using mira_test::expect_transposed;
using mira_test::gpu_transpose;

// The kind cap the environment asked for (MIRA_TEST_SVM), restored after a
// test that forces its own.
void restore_forced_kind() {
    const char* v = std::getenv("MIRA_TEST_SVM");
    if (v && std::strcmp(v, "coarse") == 0)
        zor_test_force_svm(ZOR::kSvmCoarse);
    else if (v && std::strcmp(v, "none") == 0)
        zor_test_force_svm(ZOR::kSvmNone);
    else
        zor_test_force_svm(-1);
}

const char* kind_name(uint32_t kind) {
    return kind == ZOR::kSvmFine ? "fine" : kind == ZOR::kSvmCoarse ? "coarse" : "none";
}

class MemoryKinds : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        ncvDeinit();
        if (!ClSpy::install()) GTEST_SKIP() << "no OpenCL library on this machine";
        ClSpy::resetCounts();
        zor_test_force_svm(static_cast<int>(GetParam()));
        if (ncvInit() != 0) GTEST_SKIP() << "no usable OpenCL device on this machine";
        kind = ZOR::DeviceManager::getInstance()->svmMode();
        if (kind != GetParam())
            GTEST_SKIP() << "the device has no " << kind_name(GetParam()) << " shared memory";
    }
    void TearDown() override {
        ncvDeinit();
        restore_forced_kind();
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }
    // What the spy saw: allocations of the device's kind only, no coarse
    // block mapped for the host while a kernel held it, no unmap of a block
    // that was not mapped, and every coarse block mapped between calls.
    void expectSpyClean() {
        EXPECT_EQ(ClSpy::mappedAtLaunch.load(), 0) << "a kernel got a block still mapped";
        EXPECT_EQ(ClSpy::badUnmaps.load(), 0);
        EXPECT_TRUE(ClSpy::coarseBlocksMapped()) << "a coarse block left unmapped for the host";
        switch (kind) {
            case ZOR::kSvmFine:
                EXPECT_GT(ClSpy::fineAllocs.load(), 0);
                EXPECT_EQ(ClSpy::coarseAllocs.load(), 0);
                break;
            case ZOR::kSvmCoarse:
                EXPECT_GT(ClSpy::coarseAllocs.load(), 0);
                EXPECT_EQ(ClSpy::fineAllocs.load(), 0);
                break;
            default:
                EXPECT_EQ(ClSpy::fineAllocs.load() + ClSpy::coarseAllocs.load(), 0);
                EXPECT_EQ(ClSpy::svmArgs.load(), 0) << "an SVM argument without shared memory";
        }
    }
    uint32_t kind = 0;
};

TEST_P(MemoryKinds, HostImagesAndManagedBlocksGiveExactResults) {
    // Host memory with odd widths and strides: staged (or copied to buffers).
    for (uint32_t w : {1u, 7u, 33u, 641u})
        for (uint32_t h : {1u, 2u, 17u}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            GuardedImage src(w, h, w + w % 3);
            src.fillRandom(w * 31 + h);
            GuardedImage dst(h, w, h + 1 + h % 4);
            ASSERT_EQ(gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()),
                      MIRA_OK);
            expect_transposed(src.data(), w, h, src.stride(), dst.data(), dst.stride());
            EXPECT_TRUE(dst.paddingIntact());
        }
    // Managed blocks, written and read by the host directly between calls.
    const uint32_t w = 37, h = 20;
    uint8_t* src = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    uint8_t* dst = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    ASSERT_NE(src, nullptr);
    ASSERT_NE(dst, nullptr);
    for (int round = 0; round < 3; ++round) {
        for (uint32_t i = 0; i < w * h; ++i) src[i] = static_cast<uint8_t>(i * 7 + round);
        const long before = ClSpy::launches;
        ASSERT_EQ(gpu_transpose(src, w, h, w, dst, h), MIRA_OK);
        EXPECT_GT(ClSpy::launches.load(), before);
        expect_transposed(src, w, h, w, dst, h);
    }
    ncvMemFree(src);
    ncvMemFree(dst);
    // A colour conversion (two-plane source, RGBA destination) against the
    // CPU method: each lies within one level of the float formula, so they
    // differ by at most two.
    const uint32_t cw = 34, ch = 18;
    GuardedImage nv21(cw, ch + ch / 2, cw), gpu(4 * cw, ch, 4 * cw), cpu(4 * cw, ch, 4 * cw);
    nv21.fillRandom(5);
    MIRA_Feature_Buf s{cw, cw, ch, ch, nv21.data()};
    MIRA_Feature_Buf g{cw, cw, ch, ch, gpu.data()};
    MIRA_Feature_Buf c{cw, cw, ch, ch, cpu.data()};
    MIRA_Feature_Param pg{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Feature_Param pc{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_CPU, 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(&s, 1, &g, 1, &pg), MIRA_OK);
    ASSERT_EQ(MIRA_Manager().run(&s, 1, &c, 1, &pc), MIRA_OK);
    const std::vector<uint8_t> a = gpu.packed(), b = cpu.packed();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_LE(std::abs(int(a[i]) - int(b[i])), 2) << i;
    EXPECT_TRUE(gpu.paddingIntact());
    expectSpyClean();
}

TEST_P(MemoryKinds, ADestinationTheKernelFillsIsNotUploaded) {
    // A transpose writes every destination pixel: on a device without shared
    // memory one map fills the source buffer and one reads the destination
    // back; nothing uploads the destination. The bytes around it stay.
    GuardedImage src(45, 21, 47), dst(21, 45, 24);
    src.fillRandom(12);
    ASSERT_EQ(gpu_transpose(src.data(), 45, 21, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    const long maps = ClSpy::bufferMaps;
    src.fillRandom(13);
    ASSERT_EQ(gpu_transpose(src.data(), 45, 21, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    expect_transposed(src.data(), 45, 21, src.stride(), dst.data(), dst.stride());
    EXPECT_TRUE(dst.paddingIntact());
    if (kind == ZOR::kSvmNone) {
        EXPECT_EQ(ClSpy::bufferMaps.load() - maps, 2);
    }
    expectSpyClean();
}

TEST_P(MemoryKinds, DeviceBuffersAreReusedAcrossCalls) {
    // Without shared memory images travel in device buffers, which a pool
    // keeps by size: calls of a size seen before make no new buffer, and
    // between calls only the pool's idle buffers (at most its cap) are alive.
    if (kind != ZOR::kSvmNone) GTEST_SKIP() << "device buffers carry images without shared memory only";
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    GuardedImage src(45, 21, 47), dst(21, 45, 24);
    src.fillRandom(14);
    ASSERT_EQ(gpu_transpose(src.data(), 45, 21, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    const long kept = ClSpy::buffers;
    EXPECT_GT(kept, 0) << "no buffer kept for the next call";
    EXPECT_EQ(kept, static_cast<long>(dm->pooledBuffers())) << ClSpy::live();
    for (uint32_t seed = 15; seed < 20; ++seed) {
        src.fillRandom(seed);
        ASSERT_EQ(gpu_transpose(src.data(), 45, 21, src.stride(), dst.data(), dst.stride()), MIRA_OK);
        expect_transposed(src.data(), 45, 21, src.stride(), dst.data(), dst.stride());
        EXPECT_TRUE(dst.paddingIntact());
    }
    EXPECT_EQ(ClSpy::buffers.load(), kept) << "calls of one size made new buffers";
    // Many sizes: the idle buffers stay within the cap.
    for (uint32_t w = 1; w <= 300; w += 23) {
        GuardedImage s(w, 17, w + 3), d(17, w, 20);
        s.fillRandom(w);
        ASSERT_EQ(gpu_transpose(s.data(), w, 17, s.stride(), d.data(), d.stride()), MIRA_OK);
        expect_transposed(s.data(), w, 17, s.stride(), d.data(), d.stride());
    }
    EXPECT_LE(ClSpy::buffers.load(), ZOR::kPoolKeptBlocks) << ClSpy::live();
    EXPECT_EQ(ClSpy::buffers.load(), static_cast<long>(dm->pooledBuffers())) << ClSpy::live();
    expectSpyClean();
}

TEST_P(MemoryKinds, ManagedBlocksUsedByManyThreadsStayConsistent) {
    // Several threads read one managed source at once: on coarse devices the
    // block is unmapped while any kernel holds it and mapped after the last.
    const uint32_t w = 64, h = 48;
    uint8_t* src = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    ASSERT_NE(src, nullptr);
    for (uint32_t i = 0; i < w * h; ++i) src[i] = static_cast<uint8_t>(i ^ (i >> 5));
    std::vector<std::thread> threads;
    std::vector<int> ok(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::vector<uint8_t> dst(size_t(w) * h);
            bool good = true;
            for (int i = 0; i < 5 && good; ++i) {
                good = gpu_transpose(src, w, h, w, dst.data(), h) == MIRA_OK;
                for (uint32_t r = 0; r < w && good; ++r)
                    for (uint32_t c = 0; c < h && good; ++c)
                        good = dst[size_t(r) * h + c] == src[size_t(c) * w + r];
            }
            ok[t] = good;
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_TRUE(ok[t]) << "thread " << t;
    ncvMemFree(src);
    expectSpyClean();
}

INSTANTIATE_TEST_SUITE_P(AllKinds, MemoryKinds,
                         ::testing::Values(uint32_t(ZOR::kSvmFine), uint32_t(ZOR::kSvmCoarse),
                                           uint32_t(ZOR::kSvmNone)),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                             return std::string(kind_name(i.param));
                         });

// ------------------------------------------------------------ staging bounds

class StagingBounds : public ::testing::Test {
protected:
    void SetUp() override {
        MIRA_INIT_DEVICE_OR_SKIP();
        if (ZOR::DeviceManager::getInstance()->svmMode() == ZOR::kSvmNone)
            GTEST_SKIP() << "device buffers, no staging";
    }
    static void affine1080(uint8_t* dst, const uint8_t* src, uint32_t* spans) {
        const float m[6] = {0.9f, 0.1f, 12.0f, -0.1f, 0.9f, 40.0f};
        ncvTransformAffineClippedu8_v2(src, 1920, 1080, 1920, m, dst, 1920, 1080, 1920, spans, 1);
    }
};

TEST(StagingRound, SizesArePowersOfTwoUpTo64KiBThenWhole64KiBUnits) {
    EXPECT_EQ(ZOR::staging_round(1), 4096u);
    EXPECT_EQ(ZOR::staging_round(24), 4096u);
    EXPECT_EQ(ZOR::staging_round(4097), 8192u);
    EXPECT_EQ(ZOR::staging_round(65536), 65536u);
    EXPECT_EQ(ZOR::staging_round(65537), 131072u);
    EXPECT_EQ(ZOR::staging_round(1920 * 1080), 2097152u);  // 32 units of 64 KiB
    EXPECT_EQ(ZOR::staging_round(1920 * 1080 + 1), 2097152u);
    EXPECT_EQ(ZOR::staging_round(2097153), 2162688u);
}

TEST_F(StagingBounds, A1080pAffineCallHoldsAtMostThreeTimesItsPlanes) {
    std::vector<uint8_t> src(1920 * 1080), dst(1920 * 1080);
    std::vector<uint32_t> spans(2 * 1080);
    for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 13);
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    uint64_t held = 0, peak = 0;
    dm->stagingStats(nullptr, nullptr, true);
    affine1080(dst.data(), src.data(), spans.data());
    dm->stagingStats(&held, &peak, false);
    const uint64_t planes = 2ull * 1920 * 1080 + 24;
    std::printf("1080p affine: peak staging %llu bytes for %llu bytes of planes (%.2fx), "
                "%llu kept after\n",
                static_cast<unsigned long long>(peak), static_cast<unsigned long long>(planes),
                double(peak) / double(planes), static_cast<unsigned long long>(held));
    EXPECT_GT(peak, 0u);
    EXPECT_LE(peak, 3 * planes);
    EXPECT_LE(held, ZOR::kPoolKeptBytes);

    // Eight threads at once: each call holds its own staging, the pool keeps
    // at most its cap afterwards.
    dm->stagingStats(nullptr, nullptr, true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            std::vector<uint8_t> out(1920 * 1080);
            std::vector<uint32_t> sp(2 * 1080);
            affine1080(out.data(), src.data(), sp.data());
        });
    for (auto& th : threads) th.join();
    dm->stagingStats(&held, &peak, false);
    std::printf("1080p affine, 8 threads: peak staging %llu bytes (%.2fx one call's planes), "
                "%llu kept after\n",
                static_cast<unsigned long long>(peak), double(peak) / double(planes),
                static_cast<unsigned long long>(held));
    EXPECT_LE(peak, 8 * 3 * planes);
    EXPECT_LE(held, ZOR::kPoolKeptBytes);
}

TEST_F(StagingBounds, ASmallCallTakesASmallBuffer) {
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    ncvDeinit();
    ASSERT_EQ(ncvInit(), 0);
    dm = ZOR::DeviceManager::getInstance();
    dm->stagingStats(nullptr, nullptr, true);
    GuardedImage src(5, 3, 5), dst(3, 5, 3);
    src.fillRandom(1);
    ASSERT_EQ(gpu_transpose(src.data(), 5, 3, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    expect_transposed(src.data(), 5, 3, src.stride(), dst.data(), dst.stride());
    uint64_t peak = 0;
    dm->stagingStats(nullptr, &peak, false);
    EXPECT_LE(peak, 2u * 4096u) << "a 15-byte image took a large staging buffer";
}

}  // namespace
