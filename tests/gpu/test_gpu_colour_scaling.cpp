// Colour pixels (3 and 4 interleaved channels) through the GPU paths of
// mira_scale_down_box and mira_scale_down on the OpenCL device: the kernel runs (launch count), its bytes
// equal its CPU twin's (the same request with the device made unusable), the
// plane kernel's on each channel split out and interleaved again, and the
// kernel's formula computed here from scratch. Odd sizes, strides wider than
// the rows, guard pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_image.h"

using mira_test::GuardedImage;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new mira_test::GpuEnvironment);

struct Size4 {
    uint32_t sw, sh, dw, dh;
    bool block;  // mira_scale_down (whole ratios) instead of mira_scale_down_box
};

mira_status call(const Size4& s, const mira_image& in, const mira_image& out) {
    return s.block ? mira_scale_down(&in, &out, MIRA_PATH_GPU)
                   : mira_scale_down_box(&in, &out, MIRA_PATH_GPU);
}

// The kernel's formula for one channel: the truncated mean of the
// max(W / w, 1) x max(H / h, 1) block at the truncated float position, taps
// past the edge reading the last column or row.
std::vector<uint8_t> reference(const std::vector<uint8_t>& src, const Size4& s, uint32_t C) {
    const int bw = std::max<int>(int(s.sw / s.dw), 1), bh = std::max<int>(int(s.sh / s.dh), 1);
    const float xs = float(s.sw) / float(s.dw), ys = float(s.sh) / float(s.dh);
    std::vector<uint8_t> out(size_t(s.dw) * s.dh * C);
    for (uint32_t y = 0; y < s.dh; ++y)
        for (uint32_t x = 0; x < s.dw; ++x)
            for (uint32_t ch = 0; ch < C; ++ch) {
                const int sx = int(float(x) * xs), sy = int(float(y) * ys);
                uint32_t sum = 0;
                for (int j = 0; j < bh; ++j)
                    for (int i = 0; i < bw; ++i) {
                        const size_t xx = size_t(std::min(sx + i, int(s.sw) - 1));
                        const size_t yy = size_t(std::min(sy + j, int(s.sh) - 1));
                        sum += src[(yy * s.sw + xx) * C + ch];
                    }
                out[(size_t(y) * s.dw + x) * C + ch] = uint8_t(sum / uint32_t(bw * bh));
            }
    return out;
}

// One GPU-path call; `launches` receives the kernels run.
std::vector<uint8_t> box_gpu(GuardedImage& src, const Size4& s, uint32_t C, uint64_t* launches,
                             bool* padding) {
    GuardedImage dst(s.dw * C, s.dh, s.dw * C + 9);
    const mira_image in{src.data(), s.sw, s.sh, src.stride(), C};
    const mira_image out{dst.data(), s.dw, s.dh, dst.stride(), C};
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    EXPECT_EQ(call(s, in, out), MIRA_STATUS_OK);
    zor_test_take_kernel_ns(launches);
    zor_test_time_kernels(false);
    *padding = dst.paddingIntact();
    return dst.packed();
}

class GpuColourBox : public ::testing::TestWithParam<std::tuple<Size4, uint32_t>> {};

TEST_P(GpuColourBox, KernelEqualsTwinPlanesAndFormula) {
    const auto [s, C] = GetParam();
    SCOPED_TRACE(std::string(s.block ? "block " : "box ") + std::to_string(s.sw) + "x" + std::to_string(s.sh) + "->" + std::to_string(s.dw) +
                 "x" + std::to_string(s.dh) + " channels " + std::to_string(C));
    GuardedImage src(s.sw * C, s.sh, s.sw * C + 3);
    src.fillRandom(s.sw * 17 + s.dh + C);
    const std::vector<uint8_t> in = src.packed();

    uint64_t launches = 0;
    bool padding = false;
    const std::vector<uint8_t> gpu = box_gpu(src, s, C, &launches, &padding);
    EXPECT_TRUE(padding) << "GPU wrote outside the rows";
    if (mira_test::gpu_live()) {
        EXPECT_GT(launches, 0u) << "no kernel ran";
    }

    zor_test_force_unusable(true);
    uint64_t none = 0;
    const std::vector<uint8_t> twin = box_gpu(src, s, C, &none, &padding);
    zor_test_force_unusable(false);
    EXPECT_TRUE(padding) << "the twin wrote outside the rows";
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(twin, gpu) << "twin vs kernel";

    EXPECT_EQ(gpu, reference(in, s, C)) << "kernel vs formula";

    // Each channel through the plane kernel, interleaved again.
    std::vector<uint8_t> planes(gpu.size());
    for (uint32_t ch = 0; ch < C; ++ch) {
        GuardedImage ps(s.sw, s.sh, s.sw + 5), pd(s.dw, s.dh, s.dw + 3);
        for (uint32_t y = 0; y < s.sh; ++y)
            for (uint32_t x = 0; x < s.sw; ++x) ps.row(y)[x] = in[(size_t(y) * s.sw + x) * C + ch];
        const mira_image pi{ps.data(), s.sw, s.sh, ps.stride(), 1};
        const mira_image po{pd.data(), s.dw, s.dh, pd.stride(), 1};
        ASSERT_EQ(call(s, pi, po), MIRA_STATUS_OK);
        const std::vector<uint8_t> r = pd.packed();
        for (size_t i = 0; i < r.size(); ++i) planes[i * C + ch] = r[i];
    }
    EXPECT_EQ(gpu, planes) << "colour kernel vs plane kernel per channel";
}

const Size4 kSizes[] = {
    {1, 1, 1, 1, false},    {7, 2, 1, 1, false},      {17, 3, 7, 2, false},
    {33, 17, 17, 3, false}, {641, 17, 33, 2, false},  {641, 3, 640, 3, false},
    {64, 17, 16, 17, false}, {33, 17, 33, 17, false}, {9, 17, 4, 17, false},
    {1920, 1080, 1280, 720, false},
    {1, 2, 1, 1, true},     {7, 2, 7, 1, true},       {34, 3, 17, 1, true},
    {33, 17, 11, 17, true}, {641, 17, 641, 17, true}, {68, 34, 17, 17, true},
    {1920, 1080, 960, 540, true}};

INSTANTIATE_TEST_SUITE_P(Sizes, GpuColourBox,
                         ::testing::Combine(::testing::ValuesIn(kSizes),
                                            ::testing::Values(3u, 4u)));

}  // namespace
