#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "gpu/src/inc/param_utils.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"

using mira_test::GuardedImage;

namespace {

enum class Filter { Plain, Sobel };
enum class Entry { Wrapper, Kernel, ManagerCpu, ManagerGpu };

struct Grad {
    std::vector<int16_t> dx, dy;
};

// Written from the definitions: zero frame, interior from the 3x3 neighbourhood.
Grad reference(const GuardedImage& s, uint32_t w, uint32_t h, Filter f) {
    Grad g{std::vector<int16_t>(size_t(w) * h, 0), std::vector<int16_t>(size_t(w) * h, 0)};
    auto p = [&](uint32_t x, uint32_t y) { return int(s.row(y)[x]); };
    for (uint32_t y = 1; y + 1 < h; ++y)
        for (uint32_t x = 1; x + 1 < w; ++x) {
            int dx, dy;
            if (f == Filter::Plain) {
                dx = p(x + 1, y) - p(x - 1, y);
                dy = p(x, y + 1) - p(x, y - 1);
            } else {
                dx = (p(x + 1, y - 1) + 2 * p(x + 1, y) + p(x + 1, y + 1)) -
                     (p(x - 1, y - 1) + 2 * p(x - 1, y) + p(x - 1, y + 1));
                dy = (p(x - 1, y + 1) + 2 * p(x, y + 1) + p(x + 1, y + 1)) -
                     (p(x - 1, y - 1) + 2 * p(x, y - 1) + p(x + 1, y - 1));
            }
            g.dx[size_t(y) * w + x] = int16_t(dx);
            g.dy[size_t(y) * w + x] = int16_t(dy);
        }
    return g;
}

std::vector<int16_t> unpack(const GuardedImage& img, uint32_t w, uint32_t h) {
    std::vector<int16_t> out(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y) std::memcpy(&out[size_t(y) * w], img.row(y), size_t(w) * 2);
    return out;
}

uint32_t run_feature(Filter f, uint32_t mode, GuardedImage& src, GuardedImage& dx, GuardedImage& dy,
                     uint32_t w, uint32_t h, uint8_t dstCount = 2) {
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d[3] = {{w, dx.stride(), h, h, dx.data()},
                             {w, dy.stride(), h, h, dy.data()},
                             {w, dy.stride(), h, h, dy.data()}};
    const uint32_t id =
        f == Filter::Plain ? MIRA_API_IMAGE_GRADIENT_U8 : MIRA_API_IMAGE_GRADIENT_SOBEL_U8;
    MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
    return MIRA_Manager().run(&s, 1, d, dstCount, &p);
}

void run_entry(Filter f, Entry e, GuardedImage& src, GuardedImage& dx, GuardedImage& dy,
               uint32_t w, uint32_t h) {
    switch (e) {
        case Entry::Wrapper:  // also the GPU request: the wrappers ask for mode 1
            if (f == Filter::Plain)
                ncvImageGradientPlanars16_v2(src.data(), w, h, src.stride(),
                                             reinterpret_cast<int16_t*>(dx.data()),
                                             reinterpret_cast<int16_t*>(dy.data()), dx.stride());
            else
                ncvImageGradientSobelPlanars16_v3(src.data(), w, h, src.stride(),
                                                  reinterpret_cast<int16_t*>(dx.data()),
                                                  reinterpret_cast<int16_t*>(dy.data()),
                                                  dx.stride());
            break;
        case Entry::Kernel:
            if (f == Filter::Plain)
                mira::ncvImageGradientPlanars16(src.data(), w, h, src.stride(),
                                                reinterpret_cast<int16_t*>(dx.data()),
                                                reinterpret_cast<int16_t*>(dy.data()), dx.stride());
            else
                mira::ncvImageGradientSobelPlanars16_v3(src.data(), w, h, src.stride(),
                                                        reinterpret_cast<int16_t*>(dx.data()),
                                                        reinterpret_cast<int16_t*>(dy.data()),
                                                        dx.stride());
            break;
        case Entry::ManagerCpu:
            ASSERT_EQ(run_feature(f, MIRA_MODE_CPU, src, dx, dy, w, h), MIRA_OK);
            break;
        case Entry::ManagerGpu:
            ASSERT_EQ(run_feature(f, MIRA_MODE_OPENCL, src, dx, dy, w, h), MIRA_OK);
            break;
    }
}

class GradientSweep : public ::testing::TestWithParam<
                          std::tuple<uint32_t, uint32_t, uint32_t, Filter, Entry>> {};

TEST_P(GradientSweep, MatchesReferenceWithinGuards) {
    const auto [w, h, pad, f, e] = GetParam();
    GuardedImage src(w, h, w + pad);
    src.fillRandom(w * 7919 + h * 31 + pad);
    // dx and dy share the stride for the entries that take one; the manager
    // entries also see it, each output with its own descriptor.
    const uint32_t dstStride = 2 * w + 2 * pad + 4;
    GuardedImage dx(2 * w, h, dstStride), dy(2 * w, h, dstStride);
    dx.fill(0x5A);
    dy.fill(0x3C);
    run_entry(f, e, src, dx, dy, w, h);
    const Grad g = reference(src, w, h, f);
    EXPECT_EQ(unpack(dx, w, h), g.dx);
    EXPECT_EQ(unpack(dy, w, h), g.dy);
    EXPECT_TRUE(dx.paddingIntact());
    EXPECT_TRUE(dy.paddingIntact());
}

const uint32_t kWidths[] = {1, 2, 3, 7, 8, 9, 10, 15, 16, 17, 18, 19, 33, 641};
const uint32_t kHeights[] = {1, 2, 3, 17};

INSTANTIATE_TEST_SUITE_P(Cpu, GradientSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kHeights),
                                            ::testing::Values(0u, 5u),
                                            ::testing::Values(Filter::Plain, Filter::Sobel),
                                            ::testing::Values(Entry::ManagerCpu)));
// The Sobel gradient's CPU path walks 16-column blocks (the last shifted to
// end at the last interior column) down bands of 64 output rows, three rows a
// step: widths from the first that takes it (18) past a few block edges,
// heights whose interior ends inside, at and past the band's edge and at each
// remainder of the three-row step, and a full 1080-row frame.
INSTANTIATE_TEST_SUITE_P(SobelBlocks, GradientSweep,
                         ::testing::Combine(::testing::Values(17u, 18u, 19u, 33u, 34u, 47u, 641u),
                                            ::testing::Values(4u, 5u, 6u, 65u, 66u, 67u, 68u,
                                                              131u, 1080u),
                                            ::testing::Values(0u, 5u),
                                            ::testing::Values(Filter::Sobel),
                                            ::testing::Values(Entry::ManagerCpu)));
INSTANTIATE_TEST_SUITE_P(GpuRequest, GradientSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kHeights),
                                            ::testing::Values(3u),
                                            ::testing::Values(Filter::Plain, Filter::Sobel),
                                            ::testing::Values(Entry::ManagerGpu, Entry::Wrapper)));
INSTANTIATE_TEST_SUITE_P(DirectKernel, GradientSweep,
                         ::testing::Combine(::testing::Values(1u, 9u, 33u, 1920u),
                                            ::testing::Values(1u, 3u, 17u),
                                            ::testing::Values(0u, 1u),
                                            ::testing::Values(Filter::Plain, Filter::Sobel),
                                            ::testing::Values(Entry::Kernel)));

// The kernels alone (no host frame clearing): every interior pixel comes from
// the device, for widths that are not a whole number of 4-pixel units too.
class GradientKernelOnDevice
    : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, Filter>> {};

TEST_P(GradientKernelOnDevice, InteriorMatchesReference) {
    if (!zor_opencl_usable()) GTEST_SKIP() << "no OpenCL device";
    const auto [w, h, f] = GetParam();
    GuardedImage src(w, h, w + 1);
    src.fillRandom(w * 3 + h);
    GuardedImage dx(2 * w, h, 2 * w + 8), dy(2 * w, h, 2 * w + 8);
    dx.fill(0x11);
    dy.fill(0x11);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d0{w, dx.stride(), h, h, dx.data()}, d1{w, dy.stride(), h, h, dy.data()};
    ZOR_U8Info in = zor_u8_info(s), out0 = zor_u8_info(d0), out1 = zor_u8_info(d1);
    out0.elemSize = out1.elemSize = 2;
    out0.spare = out1.spare = 102;
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[2] = {&out0, &out1};
    ZOR_ReserveParam_Opencl r =
        f == Filter::Plain
            ? zor_reserve(MIRA_API_IMAGE_GRADIENT_U8, "mira_fcvImageGradientPlanars16_v2_func")
            : zor_reserve(MIRA_API_IMAGE_GRADIENT_SOBEL_U8,
                          "mira_fcvImageGradientSobelPlanars16_v3_func");
    ASSERT_EQ(zor_cv_process_u8_u8(ins, 1, outs, 2, &r, nullptr), 1);
    const Grad g = reference(src, w, h, f);
    const auto gx = unpack(dx, w, h), gy = unpack(dy, w, h);
    for (uint32_t y = 1; y + 1 < h; ++y)
        for (uint32_t x = 1; x + 1 < w; ++x) {
            ASSERT_EQ(gx[y * w + x], g.dx[y * w + x]) << x << "," << y;
            ASSERT_EQ(gy[y * w + x], g.dy[y * w + x]) << x << "," << y;
        }
    EXPECT_TRUE(dx.paddingIntact());
    EXPECT_TRUE(dy.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, GradientKernelOnDevice,
                         ::testing::Combine(::testing::Values(3u, 5u, 6u, 7u, 9u, 17u, 641u),
                                            ::testing::Values(3u, 17u),
                                            ::testing::Values(Filter::Plain, Filter::Sobel)));

// Each output may have its own stride.
TEST(Gradient, OutputsKeepTheirOwnStrides) {
    for (Filter f : {Filter::Plain, Filter::Sobel})
        for (uint32_t mode : {uint32_t(MIRA_MODE_CPU), uint32_t(MIRA_MODE_OPENCL)}) {
            const uint32_t w = 37, h = 11;
            GuardedImage src(w, h, w + 2);
            src.fillRandom(99);
            GuardedImage dx(2 * w, h, 2 * w + 6), dy(2 * w, h, 2 * w + 30);
            ASSERT_EQ(run_feature(f, mode, src, dx, dy, w, h), MIRA_OK);
            const Grad g = reference(src, w, h, f);
            EXPECT_EQ(unpack(dx, w, h), g.dx);
            EXPECT_EQ(unpack(dy, w, h), g.dy);
            EXPECT_TRUE(dx.paddingIntact());
            EXPECT_TRUE(dy.paddingIntact());
        }
}

// A horizontal ramp p = x: plain dx 2, Sobel dx 8, dy 0 inside; zero frame.
TEST(Gradient, HorizontalRamp) {
    const uint32_t w = 40, h = 6;
    GuardedImage src(w, h, w);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) src.row(y)[x] = uint8_t(x);
    for (Filter f : {Filter::Plain, Filter::Sobel}) {
        GuardedImage dx(2 * w, h, 2 * w), dy(2 * w, h, 2 * w);
        ASSERT_EQ(run_feature(f, MIRA_MODE_CPU, src, dx, dy, w, h), MIRA_OK);
        const auto gx = unpack(dx, w, h), gy = unpack(dy, w, h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                EXPECT_EQ(gx[y * w + x], frame ? 0 : (f == Filter::Plain ? 2 : 8));
                EXPECT_EQ(gy[y * w + x], 0);
            }
    }
}

// One bright pixel: the neighbours on its row see +-255 (plain) or +-510 (Sobel).
TEST(Gradient, SingleBrightPixel) {
    const uint32_t w = 21, h = 9, px = 10, py = 4;
    GuardedImage src(w, h, w);
    src.fill(0);
    src.row(py)[px] = 255;
    for (Filter f : {Filter::Plain, Filter::Sobel}) {
        GuardedImage dx(2 * w, h, 2 * w), dy(2 * w, h, 2 * w);
        ASSERT_EQ(run_feature(f, MIRA_MODE_CPU, src, dx, dy, w, h), MIRA_OK);
        const auto gx = unpack(dx, w, h);
        const int k = f == Filter::Plain ? 255 : 510;
        EXPECT_EQ(gx[py * w + px - 1], k);
        EXPECT_EQ(gx[py * w + px + 1], -k);
        EXPECT_EQ(gx[py * w + px], 0);
    }
}

TEST(Gradient, ConstantImageGivesZeros) {
    const uint32_t w = 50, h = 7;
    GuardedImage src(w, h, w);
    src.fill(201);
    for (Filter f : {Filter::Plain, Filter::Sobel})
        for (uint32_t mode : {uint32_t(MIRA_MODE_CPU), uint32_t(MIRA_MODE_OPENCL)}) {
            GuardedImage dx(2 * w, h, 2 * w), dy(2 * w, h, 2 * w);
            dx.fill(1);
            dy.fill(1);
            ASSERT_EQ(run_feature(f, mode, src, dx, dy, w, h), MIRA_OK);
            EXPECT_EQ(unpack(dx, w, h), std::vector<int16_t>(w * h, 0));
            EXPECT_EQ(unpack(dy, w, h), std::vector<int16_t>(w * h, 0));
        }
}

TEST(Gradient, BadArgumentsWriteNothing) {
    const uint32_t w = 16, h = 8;
    GuardedImage src(w, h, w), dx(2 * w, h, 2 * w), dy(2 * w, h, 2 * w);
    src.fillRandom(3);
    for (Filter f : {Filter::Plain, Filter::Sobel})
        for (uint32_t mode : {uint32_t(MIRA_MODE_CPU), uint32_t(MIRA_MODE_OPENCL)}) {
            dx.fill(7);
            dy.fill(7);
            EXPECT_EQ(run_feature(f, mode, src, dx, dy, w, h, 1), MIRA_ERR_ARG);
            EXPECT_EQ(run_feature(f, mode, src, dx, dy, w, h, 3), MIRA_ERR_ARG);
            const uint32_t id =
                f == Filter::Plain ? MIRA_API_IMAGE_GRADIENT_U8 : MIRA_API_IMAGE_GRADIENT_SOBEL_U8;
            MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
            MIRA_Feature_Buf s{w, w, h, h, src.data()};
            MIRA_Feature_Buf d[2] = {{w, 2 * w, h, h, dx.data()}, {w, 2 * w, h, h, dy.data()}};
            EXPECT_EQ(MIRA_Manager().run(nullptr, 1, d, 2, &p), MIRA_ERR_ARG);
            EXPECT_EQ(MIRA_Manager().run(&s, 0, d, 2, &p), MIRA_ERR_ARG);
            EXPECT_EQ(MIRA_Manager().run(&s, 1, nullptr, 2, &p), MIRA_ERR_ARG);
            MIRA_Feature_Buf narrow[2] = {{w, 2 * w - 2, h, h, dx.data()}, d[1]};
            EXPECT_EQ(MIRA_Manager().run(&s, 1, narrow, 2, &p), MIRA_ERR_ARG);
            MIRA_Feature_Buf nulls[2] = {d[0], {w, 2 * w, h, h, nullptr}};
            EXPECT_EQ(MIRA_Manager().run(&s, 1, nulls, 2, &p), MIRA_ERR_ARG);
            EXPECT_EQ(unpack(dx, w, h), std::vector<int16_t>(w * h, 0x0707));
            EXPECT_EQ(unpack(dy, w, h), std::vector<int16_t>(w * h, 0x0707));
        }
    MIRA_IMAGE_GRADIENT_U8 plain;
    MIRA_Feature_Buf s{w, w, h, h, src.data()};
    MIRA_Feature_Buf d[2] = {{w, 2 * w, h, h, dx.data()}, {w, 2 * w, h, h, dy.data()}};
    EXPECT_EQ(plain.MIRA_IMAGE_GRADIENT_U8_neon(&s, 1, d, 2, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(plain.MIRA_IMAGE_GRADIENT_U8_opencl(&s, 1, d, 2, nullptr), MIRA_ERR_ARG);
    MIRA_IMAGE_GRADIENT_SOBEL_U8 sobel;
    EXPECT_EQ(sobel.MIRA_IMAGE_GRADIENT_SOBEL_U8_neon(&s, 1, d, 2, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(sobel.MIRA_IMAGE_GRADIENT_SOBEL_U8_opencl(&s, 1, d, 2, nullptr), MIRA_ERR_ARG);
}

TEST(Gradient, NullPointersReturnWithoutWriting) {
    GuardedImage src(8, 8, 8), dx(16, 8, 16);
    src.fillRandom(5);
    dx.fill(9);
    ncvImageGradientPlanars16_v2(src.data(), 8, 8, 8, reinterpret_cast<int16_t*>(dx.data()),
                                 nullptr, 16);
    ncvImageGradientSobelPlanars16_v3(nullptr, 8, 8, 8, reinterpret_cast<int16_t*>(dx.data()),
                                      reinterpret_cast<int16_t*>(dx.data()), 16);
    EXPECT_EQ(dx.packed(), std::vector<uint8_t>(16 * 8, 9));
}

}  // namespace
