// A machine without OpenCL: the loader is pointed at a library that does not
// exist. ncvInit reports failure, GPU requests run the CPU method, managed
// memory is refused, and a later ncvInit with the library back succeeds.
#include <gtest/gtest.h>

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

TEST(NoOpenCL, InitFailsCpuPathsWorkAndInitCanBeRetried) {
    zor_test_set_opencl_library("/nonexistent/libOpenCL.so.1");
    EXPECT_EQ(ncvInit(), 1);
    EXPECT_EQ(ncvInit(), 1);
    EXPECT_FALSE(zor_opencl_usable());
    EXPECT_EQ(zor_test_cl_table(), nullptr);

    // Mode-1 transpose falls back to the CPU method: exact, guards intact.
    const uint32_t w = 33, h = 17;
    GuardedImage src(w, h, w + 2);
    src.fillRandom(9);
    GuardedImage dst(h, w, h + 3);
    ASSERT_EQ(mira_test::gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()),
              MIRA_OK);
    mira_test::expect_transposed(src.data(), w, h, src.stride(), dst.data(), dst.stride());
    EXPECT_TRUE(dst.paddingIntact());
    // CPU transpose (mode 0) as usual.
    ncvTransposeu8(src.data(), w, h, src.stride(), dst.data(), dst.stride());
    EXPECT_EQ(dst.row(3)[5], src.row(5)[3]);

    // The entries refuse the work and leave the destination alone.
    GuardedImage out(8, 8, 8);
    out.fill(0x42);
    ZOR_U8Info si{8, 8, 64, 8, 8, 1, 1, src.data()};
    ZOR_U8Info di{8, 8, 64, 8, 8, 1, 1, out.data()};
    ZOR_U8Info* sp = &si;
    ZOR_U8Info* dp = &di;
    ZOR_ReserveParam_Opencl rv = zor_reserve(MIRA_API_TRANSPOSE_U8, "mira_fcvTransposeu8_func");
    EXPECT_EQ(zor_cv_process_u8_u8(&sp, 1, &dp, 1, &rv, nullptr), 0);
    EXPECT_EQ(zor_cv_process_u8_u8(&sp, 1, &dp, 1, nullptr, nullptr), 16);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) ASSERT_EQ(out.row(y)[x], 0x42);

    // No managed memory without a device.
    EXPECT_EQ(ncvMemAlloc(1024, 64), nullptr);
    int local = 0;
    EXPECT_EQ(ncvIsNcvAllocBuffer(&local), 0);
    ncvMemFree(&local);  // not registered: nothing happens

    // Mode-0 memory still works.
    ncvMemRequest req{100, 64};
    MIRA_Feature_Buf mb{};
    MIRA_Feature_Param mp{MIRA_API_MEM_ALLOC, MIRA_MODE_CPU, 1, &req, 0};
    ASSERT_EQ(MIRA_Manager().run(nullptr, 0, &mb, 1, &mp), MIRA_OK);
    ASSERT_NE(mb.data, nullptr);
    MIRA_Feature_Param fp{MIRA_API_MEM_FREE, MIRA_MODE_CPU, 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&mb, 1, nullptr, 0, &fp), MIRA_OK);

    // The library comes back: ncvInit retries and succeeds (where this machine
    // has an OpenCL device at all).
    ncvDeinit();
    zor_test_set_opencl_library(nullptr);
    ASSERT_EQ(ncvInit(), mira_test::expected_init());
    EXPECT_EQ(zor_opencl_usable(), mira_test::machine_has_opencl());
    ncvDeinit();
}

}  // namespace
