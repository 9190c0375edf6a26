// How images reach the device: staging of unregistered host memory through
// the SVM pool, zero-copy of ncvMemAlloc blocks, re-pitching of unaligned
// strides, dedicated buffers for images above 64 MiB, concurrent calls, the
// launch range, a failing launch, and devices with coarse or no SVM.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "common/gpu_transpose.h"
#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::GuardedImage;

namespace {

using mira_test::expect_transposed;
using mira_test::gpu_transpose;

size_t staging_buffers() {
    ZOR::opencl_res* r = ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0);
    size_t n = 0;
    for (ZOR::opencl_svm* b : *r->svm_list) n += b->kind == ZOR::kSvmKindStaging;
    return n;
}

size_t registered_blocks() {
    return ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svm_list->size();
}

void expect_guarded_gpu_transpose(uint32_t w, uint32_t h, uint32_t srcPad, uint32_t dstPad) {
    GuardedImage src(w, h, w + srcPad);
    src.fillRandom(w + 3 * h);
    GuardedImage dst(h, w, h + dstPad);
    ASSERT_EQ(gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    expect_transposed(src.data(), w, h, src.stride(), dst.data(), dst.stride());
    EXPECT_TRUE(dst.paddingIntact());
}

// The process's first GPU calls: the registry starts empty, so whether the
// pool grew shows whether a call staged. Devices with shared memory (fine or
// coarse) stage host images; without it nothing goes through the pool.
TEST(Staging, ManagedBlocksGoInPlaceAndHostMemoryIsStaged) {
    MIRA_INIT_DEVICE_OR_SKIP();
    ASSERT_EQ(staging_buffers(), 0u);
    const size_t stagedImages =
        ZOR::DeviceManager::getInstance()->svmMode() == ZOR::kSvmNone ? 0u : 2u;
    const uint32_t w = 100, h = 60;
    uint8_t* src = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    uint8_t* dst = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    ASSERT_NE(src, nullptr);
    ASSERT_NE(dst, nullptr);
    for (uint32_t i = 0; i < w * h; ++i) src[i] = static_cast<uint8_t>(i * 13 + 1);
    ASSERT_EQ(gpu_transpose(src, w, h, w, dst, h), MIRA_OK);
    expect_transposed(src, w, h, w, dst, h);
    EXPECT_EQ(staging_buffers(), 0u) << "a managed block was copied";

    // A window inside a managed block, rows on 4-byte boundaries: in place.
    std::memset(dst, 0, w * h);
    ASSERT_EQ(gpu_transpose(src + 8, 40, 20, w, dst + 4, h), MIRA_OK);
    expect_transposed(src + 8, 40, 20, w, dst + 4, h);
    EXPECT_EQ(staging_buffers(), 0u);

    // Unregistered host memory: staged through the pool, one buffer per image.
    GuardedImage hs(w, h, w + 4);
    hs.fillRandom(4);
    GuardedImage hd(h, w, h + 4);
    ASSERT_EQ(gpu_transpose(hs.data(), w, h, hs.stride(), hd.data(), hd.stride()), MIRA_OK);
    expect_transposed(hs.data(), w, h, hs.stride(), hd.data(), hd.stride());
    EXPECT_TRUE(hd.paddingIntact());
    EXPECT_EQ(staging_buffers(), stagedImages);
    // The pool is reused: no growth on the next call.
    ASSERT_EQ(gpu_transpose(hs.data(), w, h, hs.stride(), hd.data(), hd.stride()), MIRA_OK);
    EXPECT_EQ(staging_buffers(), stagedImages);

    // A managed plane whose stride is not a multiple of 4 is re-pitched.
    std::memset(dst, 0, w * h);
    ASSERT_EQ(gpu_transpose(src, 33, 17, 35, dst, 17), MIRA_OK);
    expect_transposed(src, 33, 17, 35, dst, 17);
    ncvMemFree(src);
    ncvMemFree(dst);
}

TEST(Staging, OddStridesAndOneByteImages) {
    for (uint32_t pad : {0u, 1u, 2u, 3u, 5u, 13u}) {
        SCOPED_TRACE(pad);
        expect_guarded_gpu_transpose(1, 1, pad, pad);
        expect_guarded_gpu_transpose(17, 3, pad, pad + 1);
        expect_guarded_gpu_transpose(3, 17, pad + 2, pad);
        expect_guarded_gpu_transpose(641, 2, pad, pad);
    }
}

// A call whose staging buffers fit the pool's cap finds them again on its
// next run, even when an earlier call's buffers must go to make room for
// them: the trim frees the least recently given back first. (Freeing the
// largest first made such a call, e.g. a 4K M/N interleaved down-scale after
// another operation, allocate and fault in a new buffer on every run.)
TEST(Staging, TheLastCallsBuffersStayWhenOlderOnesMustGo) {
    MIRA_INIT_DEVICE_OR_SKIP();
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    if (dm->svmMode() == ZOR::kSvmNone) GTEST_SKIP() << "no shared memory: no staging pool";
    // 2 x 16 MB, then 2 x 31.4 MB: each call fits the cap, both together do not.
    ASSERT_LE(2 * ZOR::staging_round(5604ull * 5600), ZOR::kPoolKeptBytes);
    ASSERT_GT(2 * ZOR::staging_round(4000ull * 4000) + 2 * ZOR::staging_round(5604ull * 5600),
              ZOR::kPoolKeptBytes);
    expect_guarded_gpu_transpose(4000, 4000, 1, 3);
    expect_guarded_gpu_transpose(5600, 5600, 1, 3);
    uint64_t held = 0, peak = 0;
    dm->stagingStats(&held, nullptr, true);
    EXPECT_LE(held, ZOR::kPoolKeptBytes);
    expect_guarded_gpu_transpose(5600, 5600, 1, 3);
    dm->stagingStats(nullptr, &peak, false);
    EXPECT_EQ(peak, held) << "the call's staging buffers were made again";
}

// 8200 x 8200 bytes is above the cap of the kept pool: both images get
// buffers of their own size, released after the call.
TEST(Staging, ImagesAboveThePoolCapAreNotKept) {
    MIRA_SKIP_WITHOUT_OPENCL();
    const uint32_t w = 8200, h = 8200;
    ASSERT_GT(uint64_t(w) * h, ZOR::kPoolKeptBytes);
    GuardedImage src(w, h, w + 1);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) src.row(y)[x] = static_cast<uint8_t>(x * 3 + y * 5);
    GuardedImage dst(h, w, h + 3);
    const size_t before = registered_blocks();
    ASSERT_EQ(gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    EXPECT_EQ(registered_blocks(), before);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c)
            ASSERT_EQ(dst.row(r)[c], static_cast<uint8_t>(r * 3 + c * 5)) << r << "," << c;
    EXPECT_TRUE(dst.paddingIntact());
}

TEST(Concurrency, FourThreadsOfGpuCallsAllExact) {
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 12; ++i) {
                const uint32_t w = 17 + 31 * ((t + i) % 5), h = 9 + 23 * ((t * 3 + i) % 7);
                GuardedImage src(w, h, w + (i % 4));
                src.fillRandom(t * 100 + i);
                GuardedImage dst(h, w, h + 1 + (i % 3));
                if (gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()) != 0)
                    ++failures[t];
                for (uint32_t r = 0; r < w; ++r)
                    for (uint32_t c = 0; c < h; ++c)
                        if (dst.row(r)[c] != src.row(c)[r]) {
                            ++failures[t];
                            r = w;
                            break;
                        }
                if (!dst.paddingIntact()) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// ------------------------------------------------------------ fault injection

ZOR::ClApi g_real;
size_t g_lastGlobal[2];
size_t g_lastLocal[2];  // 0: the runtime chooses

cl_int CL_API_CALL recording_enqueue(cl_command_queue q, cl_kernel k, cl_uint dim,
                                     const size_t* offset, const size_t* global,
                                     const size_t* local, cl_uint n, const cl_event* wait,
                                     cl_event* ev) {
    g_lastGlobal[0] = global[0];
    g_lastGlobal[1] = global[1];
    g_lastLocal[0] = local ? local[0] : 0;
    g_lastLocal[1] = local ? local[1] : 0;
    return g_real.clEnqueueNDRangeKernel(q, k, dim, offset, global, local, n, wait, ev);
}

cl_int CL_API_CALL failing_enqueue(cl_command_queue, cl_kernel, cl_uint, const size_t*,
                                   const size_t*, const size_t*, cl_uint, const cl_event*,
                                   cl_event*) {
    return CL_OUT_OF_RESOURCES;
}

cl_device_svm_capabilities g_fakeCaps = 0;
cl_int CL_API_CALL fake_device_info(cl_device_id d, cl_device_info what, size_t size, void* out,
                                    size_t* outSize) {
    if (what == CL_DEVICE_SVM_CAPABILITIES && out && size >= sizeof g_fakeCaps) {
        std::memcpy(out, &g_fakeCaps, sizeof g_fakeCaps);
        if (outSize) *outSize = sizeof g_fakeCaps;
        return CL_SUCCESS;
    }
    return g_real.clGetDeviceInfo(d, what, size, out, outSize);
}

class FaultInjection : public ::testing::Test {
protected:
    void SetUp() override {
        MIRA_INIT_DEVICE_OR_SKIP();
        ASSERT_NE(zor_test_cl_table(), nullptr);
        g_real = *zor_test_cl_table();
    }
    void TearDown() override {
        if (zor_test_cl_table()) *zor_test_cl_table() = g_real;
    }
};

TEST_F(FaultInjection, TheLaunchCoversTheWholeDestinationInUnitsOfFour) {
    // The kernels' preferred shape (GPUs take it; here forced on whatever
    // device runs the tests), so the rounded-up range is exercised.
    ncvDeinit();
    zor_test_force_group_shape(true);
    ASSERT_EQ(ncvInit(), 0);
    g_real = *zor_test_cl_table();
    zor_test_cl_table()->clEnqueueNDRangeKernel = recording_enqueue;
    // The range: the items the destination needs, rounded up to the
    // work-group shape (the kernel's preferred multiple) when one is given.
    auto rounded = [](size_t items, size_t group) {
        return group ? (items + group - 1) / group * group : items;
    };
    // Destination 7 wide and 10 high: 2 work items across (4 + 3 columns).
    expect_guarded_gpu_transpose(10, 7, 1, 1);
    EXPECT_EQ(g_lastGlobal[0], rounded(2, g_lastLocal[0]));
    EXPECT_EQ(g_lastGlobal[1], rounded(10, g_lastLocal[1]));
    expect_guarded_gpu_transpose(9, 16, 0, 0);
    EXPECT_EQ(g_lastGlobal[0], rounded(4, g_lastLocal[0]));
    EXPECT_EQ(g_lastGlobal[1], rounded(9, g_lastLocal[1]));
    // The shape is the kernel's preferred multiple across.
    ZOR::KernelPackage* k = ZOR::KernelUtils::getInstance()->getKernel(4095 + MIRA_API_TRANSPOSE_U8);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(g_lastLocal[0], k->groupX);
    EXPECT_EQ(g_lastLocal[1], k->groupY);
    EXPECT_GE(k->groupX, 1u);
    EXPECT_LE(k->groupY, 4u);
    // Odd sizes stay exact under the rounded range.
    for (uint32_t w : {1u, 7u, 33u})
        for (uint32_t h : {1u, 2u, 17u}) expect_guarded_gpu_transpose(w, h, w % 3, 1);
    zor_test_cl_table()->clEnqueueNDRangeKernel = g_real.clEnqueueNDRangeKernel;
    ncvDeinit();
    zor_test_force_group_shape(false);
}

TEST_F(FaultInjection, AFailedLaunchComputesOnTheCpuAndFreesTheLock) {
    zor_test_cl_table()->clEnqueueNDRangeKernel = failing_enqueue;
    GuardedImage src(20, 12, 21);
    src.fillRandom(2);
    GuardedImage dst(12, 20, 13);
    dst.fill(0x3C);
    zor_test_take_log();
    ASSERT_EQ(gpu_transpose(src.data(), 20, 12, src.stride(), dst.data(), dst.stride()), MIRA_OK);
    expect_transposed(src.data(), 20, 12, src.stride(), dst.data(), dst.stride());
    EXPECT_TRUE(dst.paddingIntact());
    bool logged = false;
    for (const auto& l : zor_test_take_log())
        logged = logged || l.find("code(-5) CL_OUT_OF_RESOURCES") != std::string::npos;
    EXPECT_TRUE(logged);
    // The registry lock was released: the next launch runs (once ncvInit has
    // lifted the switch-off that the exhausted device caused).
    zor_test_cl_table()->clEnqueueNDRangeKernel = g_real.clEnqueueNDRangeKernel;
    ASSERT_EQ(ncvInit(), 0);
    expect_guarded_gpu_transpose(20, 12, 1, 1);
}

// Brings the device up again with the SVM capabilities reported as `caps`.
void restart_with_svm_caps(cl_device_svm_capabilities caps) {
    ncvDeinit();
    g_fakeCaps = caps;
    zor_test_cl_table()->clGetDeviceInfo = fake_device_info;
    ASSERT_EQ(ncvInit(), 0);
}

void exercise_device(uint32_t expectedMode) {
    ZOR::opencl_res* r = ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0);
    ASSERT_EQ(r->svmMode, expectedMode);
    for (uint32_t w : {1u, 7u, 33u, 641u})
        for (uint32_t h : {1u, 3u, 17u}) {
            SCOPED_TRACE(testing::Message() << w << "x" << h);
            expect_guarded_gpu_transpose(w, h, w % 3, 1 + h % 4);
        }
    // Managed memory still works and feeds the GPU path.
    const uint32_t w = 37, h = 20;
    uint8_t* src = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    uint8_t* dst = static_cast<uint8_t*>(ncvMemAlloc(w * h, 64));
    ASSERT_NE(src, nullptr);
    ASSERT_NE(dst, nullptr);
    EXPECT_EQ(ncvIsNcvAllocBuffer(src), 1);
    for (uint32_t i = 0; i < w * h; ++i) src[i] = static_cast<uint8_t>(i ^ 0x5A);
    ASSERT_EQ(gpu_transpose(src, w, h, w, dst, h), MIRA_OK);
    expect_transposed(src, w, h, w, dst, h);
    // Without SVM the images go in device buffers, not through the pool;
    // coarse-grained devices stage host images through coarse SVM buffers.
    if (expectedMode == ZOR::kSvmNone) {
        EXPECT_EQ(staging_buffers(), 0u);
    }
    ncvMemFree(src);
    ncvMemFree(dst);
    EXPECT_EQ(ncvIsNcvAllocBuffer(src), 0);
}

TEST_F(FaultInjection, DevicesWithoutSvmUseDeviceBuffers) {
    restart_with_svm_caps(0);
    exercise_device(ZOR::kSvmNone);
    ncvDeinit();
}

TEST_F(FaultInjection, CoarseGrainedSvmIsMappedForTheHost) {
    if (zor_test_svm_cap() < static_cast<int>(ZOR::kSvmCoarse)) GTEST_SKIP() << "shared memory forced off";
    restart_with_svm_caps(CL_DEVICE_SVM_COARSE_GRAIN_BUFFER);
    exercise_device(ZOR::kSvmCoarse);
    ncvDeinit();
}

}  // namespace
