// The transpose on the GPU path (mode 1) on the OpenCL device: exact for
// every size of the sweep, the whole destination written, nothing past it.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"

using mira_test::GuardedImage;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new mira_test::GpuEnvironment);

// dst(r, c) = src(c, r), written from the definition.
std::vector<uint8_t> reference_transpose(const GuardedImage& src, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c) out[static_cast<size_t>(r) * h + c] = src.row(c)[r];
    return out;
}

uint32_t gpu_transpose(GuardedImage& src, uint32_t w, uint32_t h, GuardedImage& dst) {
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    return MIRA_Manager().run(&s, 1, &d, 1, &p);
}

const uint32_t kSizes[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 20, 33, 37, 64, 641, 1920};

class GpuTransposeSweep : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(GpuTransposeSweep, ExactWithinGuards) {
    const auto [w, h] = GetParam();
    // Strides wider than the rows, some of them not a multiple of 4.
    const uint32_t srcPad = (w * 7 + h) % 6;
    const uint32_t dstPad = 1 + (w + h * 3) % 5;
    GuardedImage src(w, h, w + srcPad);
    src.fillRandom(w * 131 + h);
    GuardedImage dst(h, w, h + dstPad);
    ASSERT_EQ(gpu_transpose(src, w, h, dst), MIRA_OK);
    EXPECT_EQ(dst.packed(), reference_transpose(src, w, h));
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, GpuTransposeSweep,
                         ::testing::Combine(::testing::ValuesIn(kSizes), ::testing::ValuesIn(kSizes)));

TEST(GpuTranspose, RunsTheKernelNotTheCpuMethod) {
    MIRA_SKIP_WITHOUT_OPENCL();
    GuardedImage src(33, 17, 40);
    src.fillRandom(5);
    GuardedImage dst(17, 33, 20);
    ASSERT_EQ(gpu_transpose(src, 33, 17, dst), MIRA_OK);
    ASSERT_EQ(dst.packed(), reference_transpose(src, 33, 17));
    // The call left its kernel in the registry under the transpose handle.
    ZOR::KernelPackage* k = ZOR::KernelUtils::getInstance()->getKernel(4101);
    ASSERT_NE(k, nullptr);
    EXPECT_STREQ(k->name, "mira_fcvTransposeu8_func");
}

TEST(GpuTranspose, BadArgumentsWriteNothing) {
    GuardedImage src(8, 8, 8);
    src.fillRandom(1);
    GuardedImage dst(8, 8, 8);
    dst.fill(7);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()};
    MIRA_Feature_Buf d{8, 8, 8, 8, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_TRANSPOSE_U8 f;
    EXPECT_EQ(f.run(&s, 0, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 2, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 0, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_TRANSPOSE_U8_opencl(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    MIRA_Feature_Buf nullData = s;
    nullData.data = nullptr;
    EXPECT_EQ(f.run(&nullData, 1, &d, 1, &p), MIRA_ERR_ARG);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) ASSERT_EQ(dst.row(y)[x], 7);
}

}  // namespace
