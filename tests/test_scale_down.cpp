// Integer block-mean down-scale (feature 7) against the floor of the block
// mean, computed in integers: the CPU path is exact.
#include <gtest/gtest.h>

#include <tuple>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "MIRA_SCALEDOWN_U8_HALIDE.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"

using mira_test::GuardedImage;

namespace {

// dst(x, y) = floor(sum of the m x n block at (x m, y n) / (m n)), m and n the
// integer ratios; 0 everywhere when either ratio is 0.
std::vector<uint8_t> reference(const GuardedImage& s, uint32_t sw, uint32_t sh, uint32_t dw,
                               uint32_t dh) {
    const uint32_t m = sw / dw, n = sh / dh;
    std::vector<uint8_t> out(size_t(dw) * dh, 0);
    if (m == 0 || n == 0) return out;
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x) {
            uint64_t sum = 0;
            for (uint32_t j = 0; j < n; ++j)
                for (uint32_t i = 0; i < m; ++i) sum += s.row(y * n + j)[x * m + i];
            out[size_t(y) * dw + x] = uint8_t(sum / (uint64_t(m) * n));
        }
    return out;
}

// The GPU kernel's rule: the boxWidth x boxHeight block (at least 1 x 1)
// starting at the truncated float position, samples kept inside the source.
std::vector<uint8_t> gpu_reference(const GuardedImage& s, uint32_t sw, uint32_t sh, uint32_t dw,
                                   uint32_t dh) {
    const int bw = std::max<int>(int(sw / dw), 1), bh = std::max<int>(int(sh / dh), 1);
    const float xs = float(sw) / float(dw), ys = float(sh) / float(dh);
    std::vector<uint8_t> out(size_t(dw) * dh);
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x) {
            const int sx = int(float(x) * xs), sy = int(float(y) * ys);
            uint32_t sum = 0;
            for (int j = 0; j < bh; ++j)
                for (int i = 0; i < bw; ++i)
                    sum += s.row(std::min<int>(sy + j, int(sh) - 1))[std::min<int>(sx + i, int(sw) - 1)];
            out[size_t(y) * dw + x] = uint8_t(sum / uint32_t(bw * bh));
        }
    return out;
}

using Case = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;  // sw, sh, dw, dh

class ScaleDownSweep : public ::testing::TestWithParam<std::tuple<Case, int>> {};

TEST_P(ScaleDownSweep, MatchesBlockMeanWithinGuards) {
    const auto [c, mode] = GetParam();
    const auto [sw, sh, dw, dh] = c;
    GuardedImage src(sw, sh, sw + 3), dst(dw, dh, dw + 5);
    src.fillRandom(sw * 7 + sh * 3 + dw);
    if (mode < 0) {
        ncvScaleDownu8_v2(src.data(), sw, sh, src.stride(), dst.data(), dw, dh, dst.stride());
    } else {
        MIRA_Feature_Buf s{sw, src.stride(), sh, sh, src.data()};
        MIRA_Feature_Buf d{dw, dst.stride(), dh, dh, dst.data()};
        MIRA_Feature_Param p{MIRA_API_SCALE_DOWN_U8, uint32_t(mode), 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    }
    // A GPU request gives the kernel's boxes with or without a device (the
    // kernel's CPU twin computes them where there is none).
    const bool gpu = mode == MIRA_MODE_OPENCL;
    EXPECT_EQ(dst.packed(), gpu ? gpu_reference(src, sw, sh, dw, dh) : reference(src, sw, sh, dw, dh));
    EXPECT_TRUE(dst.paddingIntact());
}

const Case kCases[] = {
    {4, 4, 2, 2},      {2, 2, 1, 1},     {33, 17, 1, 1},  {33, 17, 16, 8}, {34, 18, 17, 9},
    {64, 32, 32, 16},  {66, 9, 33, 3},   {64, 64, 16, 16}, {641, 3, 320, 1}, {641, 17, 213, 5},
    {1282, 34, 641, 17}, {48, 48, 16, 16}, {80, 80, 10, 10}, {7, 2, 7, 1},    {7, 7, 3, 3},
    {1, 1, 1, 1},      {17, 2, 17, 2},   {100, 50, 14, 6}, {256, 4, 32, 2},  {255, 255, 17, 17},
    {62, 6, 31, 3},     {132, 20, 33, 5}, {260, 9, 65, 2}, {66, 67, 33, 33},
    {1920, 1080, 960, 540}, {1920, 1080, 480, 270}, {1920, 1080, 1280, 720},
    // The 2 x 2 and 4 x 4 means around their 32-pixel vectors: narrower
    // rows, exactly one vector, one more pixel, two vectors either side.
    {4, 4, 1, 1},      {124, 8, 31, 2},  {128, 12, 32, 3}, {132, 4, 33, 1}, {126, 2, 63, 1},
    {130, 4, 65, 2},   {256, 68, 64, 17}, {260, 4, 65, 1}, {2564, 12, 641, 3}};

INSTANTIATE_TEST_SUITE_P(Sizes, ScaleDownSweep,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(-1, 0, 1)));

TEST(ScaleDown, FourByFourExample) {
    GuardedImage src(4, 4, 4), dst(2, 2, 2);
    for (uint32_t i = 0; i < 16; ++i) src.row(i / 4)[i % 4] = uint8_t(i);
    ncvScaleDownu8_v2(src.data(), 4, 4, 4, dst.data(), 2, 2, 2);
    EXPECT_EQ(dst.packed(), (std::vector<uint8_t>{2, 4, 10, 12}));
}

TEST(ScaleDown, LargerDestinationGivesZeros) {
    GuardedImage src(8, 8, 8), dst(12, 9, 12);
    src.fill(200);
    dst.fill(77);
    ncvScaleDownu8_v2(src.data(), 8, 8, 8, dst.data(), 12, 9, 12);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 0);
}

// A source with no columns or no rows: every block is empty, so the
// destination is all zeros (and nothing is read from the source).
TEST(ScaleDown, EmptySourceGivesZeros) {
    GuardedImage src(1, 1, 1), dst(5, 3, 7);
    dst.fill(77);
    MIRA_Feature_Buf s{0, 1, 1, 1, src.data()}, d{5, 7, 3, 3, dst.data()};
    MIRA_Feature_Param p{MIRA_API_SCALE_DOWN_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 0);
    EXPECT_TRUE(dst.paddingIntact());
    dst.fill(77);
    s = {1, 1, 0, 0, src.data()};
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 0);
}

// A pipeline that rejects its buffers fails the call and leaves the process
// running: a source region smaller than the factors need is refused.
TEST(ScaleDown, PipelineRejectionDoesNotAbort) {
    GuardedImage src(4, 4, 4), dst(2, 2, 2);
    dst.fill(77);
    mira::PipelineImage in, out;
    MIRA_Feature_Buf s{4, 4, 4, 4, src.data()}, d{2, 2, 2, 2, dst.data()};
    halide_buffer_t* ib = mira::pipeline_image(in, s, 2);
    halide_buffer_t* ob = mira::pipeline_image(out, d, 2);
    EXPECT_NE(MIRA_SCALEDOWN_U8_HALIDE(ib, 3, 3, 1.0f / 9.0f, ob), 0);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

// Factors reach the pipeline as 8-bit values: 258 becomes 2 with the scale
// still 1 / (258 n), so the block of two is scaled down to 0 or 1.
TEST(ScaleDown, FactorsWrapModulo256) {
    GuardedImage src(258, 1, 258), dst(1, 1, 1);
    src.fill(255);
    ncvScaleDownu8_v2(src.data(), 258, 1, 258, dst.data(), 1, 1, 1);
    EXPECT_EQ(dst.row(0)[0], uint8_t(uint32_t(float(2 * 255) * (1.0f / 258.0f))));
}

TEST(ScaleDown, BadArgumentsAreRejectedOrIgnored) {
    GuardedImage src(8, 8, 8), dst(4, 4, 4);
    dst.fill(77);
    ncvScaleDownu8_v2(nullptr, 8, 8, 8, dst.data(), 4, 4, 4);
    ncvScaleDownu8_v2(src.data(), 8, 8, 8, nullptr, 4, 4, 4);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{4, 4, 4, 4, dst.data()};
    MIRA_Feature_Param p{MIRA_API_SCALE_DOWN_U8, 0, 1, nullptr, 0};
    MIRA_SCALE_DOWN_U8 f;
    EXPECT_EQ(f.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 0, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 0, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    MIRA_Feature_Buf nodata{8, 8, 8, 8, nullptr};
    EXPECT_EQ(f.run(&nodata, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_SCALE_DOWN_U8_opencl(&s, 1, &nodata, 1, &p), MIRA_ERR_ARG);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

}  // namespace
