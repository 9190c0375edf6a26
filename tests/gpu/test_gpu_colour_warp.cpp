// The affine warp of 3- and 4-channel images on the GPU path: the kernels'
// bytes equal the CPU method's and the twin's (the same request with the
// device set aside), and the plane warps of the channels on the GPU,
// interleaved; every GPU request must have launched its kernel.
#include <gtest/gtest.h>

#include <iterator>
#include <tuple>

#include "common/colour_warp_cases.h"
#include "common/opencl_probe.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace {

using colour_warp::GuardedImage;
using colour_warp::Result;

struct Dims {
    uint32_t sw, sh, dw, dh;
};
const Dims kDims[] = {{1, 1, 1, 1},   {7, 3, 7, 2},    {17, 17, 33, 3}, {33, 2, 17, 17},
                      {40, 30, 641, 2}, {641, 17, 641, 17}, {5, 9, 7, 3},   {2, 2, 33, 1}};

const mira_warp_interpolation kInterps[] = {MIRA_WARP_NEAREST, MIRA_WARP_BILINEAR,
                                            MIRA_WARP_BICUBIC};

// A GPU request, with the number of kernels it launched.
Result gpu_warp(const GuardedImage& src, uint32_t sw, uint32_t sh, uint32_t channels,
                const float* m, uint32_t dw, uint32_t dh, uint32_t pad,
                mira_warp_interpolation interp, bool twin, uint64_t& launches) {
    zor_test_force_unusable(twin);
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    const Result r =
        colour_warp::warp(src, sw, sh, channels, m, dw, dh, pad, interp, MIRA_PATH_GPU);
    launches = 0;
    zor_test_take_kernel_ns(&launches);
    zor_test_time_kernels(false);
    zor_test_force_unusable(false);
    return r;
}

// One request on every route: the GPU kernel, the CPU method, the twin and
// the channels warped as planes on the GPU.
void check_routes(const GuardedImage& src, uint32_t sw, uint32_t sh, uint32_t channels,
                  const float* m, uint32_t dw, uint32_t dh, uint32_t pad,
                  mira_warp_interpolation interp) {
    uint64_t launches = 0;
    const Result gpu = gpu_warp(src, sw, sh, channels, m, dw, dh, pad, interp, false, launches);
    ASSERT_EQ(gpu.status, MIRA_STATUS_OK);
    EXPECT_GT(launches, 0u) << "the GPU request fell back to the CPU: no kernel ran";
    EXPECT_TRUE(gpu.intact) << "bytes between or after the rows were written";
    const Result twin = gpu_warp(src, sw, sh, channels, m, dw, dh, pad, interp, true, launches);
    EXPECT_EQ(launches, 0u);
    EXPECT_TRUE(colour_warp::same_pixels(twin.pixels, gpu.pixels, dw, channels)) << "twin vs GPU";
    const Result cpu =
        colour_warp::warp(src, sw, sh, channels, m, dw, dh, pad, interp, MIRA_PATH_CPU);
    EXPECT_TRUE(colour_warp::same_pixels(cpu.pixels, gpu.pixels, dw, channels)) << "CPU vs GPU";
    const Result planes = colour_warp::split_warp_interleave(src, sw, sh, channels, m, dw, dh,
                                                             interp, MIRA_PATH_GPU);
    EXPECT_TRUE(colour_warp::same_pixels(planes.pixels, gpu.pixels, dw, channels))
        << "GPU planes vs GPU";
    EXPECT_EQ(gpu.spans, planes.spans);
    EXPECT_EQ(gpu.spans, cpu.spans);
}

class GpuColourWarp
    : public ::testing::TestWithParam<std::tuple<mira_warp_interpolation, uint32_t, int>> {};

TEST_P(GpuColourWarp, EveryRouteGivesTheSameBytes) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    const auto [interp, channels, di] = GetParam();
    const Dims d = kDims[di];
    for (const colour_warp::Matrix& mat :
         colour_warp::matrices(d.sw, d.sh, d.dw, d.dh, d.sw * 17 + d.dh, 2)) {
        const uint32_t pad = 5;
        SCOPED_TRACE(std::to_string(d.sw) + "x" + std::to_string(d.sh) + " -> " +
                     std::to_string(d.dw) + "x" + std::to_string(d.dh) + ", " + mat.name);
        GuardedImage src(d.sw * channels, d.sh, d.sw * channels + pad);
        src.fillRandom(d.sw + d.sh * 5 + channels);
        check_routes(src, d.sw, d.sh, channels, mat.m, d.dw, d.dh, pad, interp);
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Gpu, GpuColourWarp,
                         ::testing::Combine(::testing::ValuesIn(kInterps),
                                            ::testing::Values(3u, 4u),
                                            ::testing::Range(0, int(std::size(kDims)))));

// Full HD with a rotation about the centre, each interpolation.
class GpuColourWarpFullHd
    : public ::testing::TestWithParam<std::tuple<mira_warp_interpolation, uint32_t>> {};

TEST_P(GpuColourWarpFullHd, EveryRouteGivesTheSameBytes) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    const auto [interp, channels] = GetParam();
    const uint32_t w = 1920, h = 1080;
    GuardedImage src(w * channels, h, w * channels + 32);
    src.fillRandom(77 + channels);
    const colour_warp::Matrix mat = colour_warp::rotation("rotate 10 x1.1", w, h, w, h, 10, 1.1);
    check_routes(src, w, h, channels, mat.m, w, h, 3, interp);
}

INSTANTIATE_TEST_SUITE_P(Gpu, GpuColourWarpFullHd,
                         ::testing::Combine(::testing::ValuesIn(kInterps),
                                            ::testing::Values(3u, 4u)));

}  // namespace
