// ncvInit / ncvDeinit / ncvMemAlloc / ncvMemFree / ncvIsNcvAllocBuffer and the
// five lifecycle features in every mode, on the OpenCL device.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>

#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"

using mira_test::GuardedImage;

namespace {

uint32_t run(uint32_t id, uint32_t mode, MIRA_Feature_Buf* src, uint8_t srcCount,
             MIRA_Feature_Buf* dst, uint8_t dstCount, void* extra = nullptr) {
    MIRA_Feature_Param p{id, mode, 1, extra, 0};
    return MIRA_Manager().run(src, srcCount, dst, dstCount, &p);
}

// A mode-1 transpose of w x h, checked against the definition.
void expect_gpu_transpose_exact(uint32_t w, uint32_t h, uint32_t seed) {
    GuardedImage src(w, h, w + 3);
    src.fillRandom(seed);
    GuardedImage dst(h, w, h + 5);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
    ASSERT_EQ(run(MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, &s, 1, &d, 1), MIRA_OK);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c) ASSERT_EQ(dst.row(r)[c], src.row(c)[r]) << r << "," << c;
    EXPECT_TRUE(dst.paddingIntact());
}

TEST(Lifecycle, InitAllocCheckFreeDeinitAndInitAgainRebuildsEverything) {
    MIRA_INIT_DEVICE_OR_SKIP();
    ASSERT_EQ(ncvInit(), 0);  // a second init keeps the running device
    ZOR::DeviceManager* first = ZOR::DeviceManager::peekInstance();
    ASSERT_NE(first, nullptr);
    expect_gpu_transpose_exact(37, 20, 1);
    ASSERT_NE(ZOR::KernelUtils::getInstance()->getKernel(4101), nullptr);

    void* block = ncvMemAlloc(4096, 64);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x11, 4096);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 1);
    ncvMemFree(block);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 0);
    ncvMemFree(block);  // a second free changes nothing
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 0);

    ncvDeinit();
    EXPECT_EQ(ZOR::DeviceManager::peekInstance(), nullptr);
    EXPECT_EQ(ZOR::KernelUtils::mClKernels, nullptr);  // kernels went with the context
    EXPECT_FALSE(ZOR::DeviceManager::delInstance());

    ASSERT_EQ(ncvInit(), 0);
    ZOR::opencl_res* r = ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->inited);
    EXPECT_EQ(ZOR::KernelUtils::getInstance()->size(), 0u);
    expect_gpu_transpose_exact(20, 37, 2);  // the kernel is built again on the new context
    EXPECT_NE(ZOR::KernelUtils::getInstance()->getKernel(4101), nullptr);
    ncvDeinit();
}

TEST(Lifecycle, GpuCallsBeforeInitBringTheDeviceUp) {
    ncvDeinit();
    ASSERT_EQ(ZOR::DeviceManager::peekInstance(), nullptr);
    expect_gpu_transpose_exact(9, 7, 3);
    ZOR::DeviceManager* dm = ZOR::DeviceManager::peekInstance();
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(dm->isInited(), mira_test::machine_has_opencl());
    ncvDeinit();
}

TEST(Lifecycle, ModeZeroInitAndDeinitDoNothing) {
    ncvDeinit();
    EXPECT_EQ(run(MIRA_API_INIT, MIRA_MODE_CPU, nullptr, 0, nullptr, 0), MIRA_OK);
    EXPECT_EQ(ZOR::DeviceManager::peekInstance(), nullptr);
    EXPECT_EQ(run(MIRA_API_DEINIT, MIRA_MODE_CPU, nullptr, 0, nullptr, 0), MIRA_OK);
    EXPECT_EQ(run(MIRA_API_INIT, MIRA_MODE_OPENCL, nullptr, 0, nullptr, 0),
              mira_test::machine_has_opencl() ? MIRA_OK : MIRA_ERR_FAIL);
    EXPECT_EQ(run(MIRA_API_DEINIT, MIRA_MODE_OPENCL, nullptr, 0, nullptr, 0), MIRA_OK);
    // Nothing to take down: the bridge reports failure.
    EXPECT_EQ(run(MIRA_API_DEINIT, MIRA_MODE_OPENCL, nullptr, 0, nullptr, 0), MIRA_ERR_FAIL);
    MIRA_INIT init;
    EXPECT_EQ(init.run(nullptr, 0, nullptr, 0, nullptr), MIRA_ERR_ARG);
}

TEST(MemoryModeZero, RoundsTheSizeToTheAlignmentAndAligns128) {
    ncvMemRequest req{100, 64};
    MIRA_Feature_Buf d{};
    ASSERT_EQ(run(MIRA_API_MEM_ALLOC, MIRA_MODE_CPU, nullptr, 0, &d, 1, &req), MIRA_OK);
    ASSERT_NE(d.data, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d.data) % 128, 0u);
    EXPECT_GE(malloc_usable_size(d.data), 128u);
    std::memset(d.data, 0x22, 128);  // the rounded size is usable
    // A CPU block is not registered for the GPU.
    ASSERT_EQ(ncvInit(), mira_test::expected_init());
    EXPECT_EQ(ncvIsNcvAllocBuffer(d.data), 0);
    MIRA_Feature_Buf check{0, 0, 0, 0, d.data};
    EXPECT_EQ(run(MIRA_API_MEM_CHECK, MIRA_MODE_CPU, &check, 1, nullptr, 0), MIRA_OK);
    EXPECT_EQ(run(MIRA_API_MEM_FREE, MIRA_MODE_CPU, &check, 1, nullptr, 0), MIRA_OK);
    ncvDeinit();
}

TEST(MemoryArguments, NullListsAndRecordsGiveArgumentErrors) {
    ncvMemRequest req{64, 16};
    MIRA_Feature_Buf b{};
    for (uint32_t mode : {MIRA_MODE_CPU, MIRA_MODE_OPENCL}) {
        EXPECT_EQ(run(MIRA_API_MEM_ALLOC, mode, nullptr, 0, nullptr, 0, &req), MIRA_ERR_ARG);
        EXPECT_EQ(run(MIRA_API_MEM_FREE, mode, nullptr, 0, nullptr, 0), MIRA_ERR_ARG);
        EXPECT_EQ(run(MIRA_API_MEM_CHECK, mode, nullptr, 0, nullptr, 0), MIRA_ERR_ARG);
    }
    MIRA_MEM_ALLOC alloc;
    EXPECT_EQ(alloc.MIRA_MEM_ALLOC_neon(nullptr, 0, &b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(alloc.MIRA_MEM_ALLOC_opencl(nullptr, 0, &b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(ncvMemAlloc(0, 16), nullptr);
}

TEST(MemoryModeOne, AllocatesSharedBlocksThatTheGpuReadsInPlace) {
    MIRA_INIT_DEVICE_OR_SKIP();
    const uint32_t w = 64, h = 48;
    uint8_t* src = static_cast<uint8_t*>(ncvMemAlloc(w * h, 128));
    uint8_t* dst = static_cast<uint8_t*>(ncvMemAlloc(w * h, 128));
    ASSERT_NE(src, nullptr);
    ASSERT_NE(dst, nullptr);
    EXPECT_EQ(ncvIsNcvAllocBuffer(src), 1);
    for (uint32_t i = 0; i < w * h; ++i) src[i] = static_cast<uint8_t>(i * 7 + 3);
    MIRA_Feature_Buf s{w, w, h, h, src};
    MIRA_Feature_Buf d{h, h, w, w, dst};
    ASSERT_EQ(run(MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, &s, 1, &d, 1), MIRA_OK);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c) ASSERT_EQ(dst[r * h + c], src[c * w + r]);
    ncvMemFree(src);
    ncvMemFree(dst);
    EXPECT_EQ(ncvIsNcvAllocBuffer(src), 0);
    ncvDeinit();
}

}  // namespace
