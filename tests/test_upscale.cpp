// Lanczos-3 up-scale (features 21, 22) and the 2x chroma up-sample
// (feature 20) against the double-precision reference. Results may differ
// by 1 where the exact value lies within float accumulation error of an
// integer (the pipelines and the GPU kernel sum in 32-bit float), which the
// test checks; everything else is exact.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "scaling_reference.h"

using mira_test::GuardedImage;
using scaling_ref::Filter;

namespace {

void expect_close(const std::vector<uint8_t>& got, const std::vector<uint8_t>& ref,
                  const std::vector<double>& exact, const char* what, double margin = 0.01) {
    ASSERT_EQ(got.size(), ref.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const int d = int(got[i]) - int(ref[i]);
        if (d == 0) continue;
        const double boundary = d > 0 ? double(ref[i]) + 1.0 : double(ref[i]);
        ASSERT_TRUE(std::abs(d) == 1 && std::fabs(exact[i] - boundary) < margin)
            << what << ": pixel " << i << " got " << int(got[i]) << " want " << int(ref[i])
            << " exact " << exact[i];
    }
}

// Channel `ch` of an interleaved plane, packed.
scaling_ref::Plane channel(const GuardedImage& g, int ch) {
    scaling_ref::Plane p{g.rowBytes() / 2, g.rows(), {}};
    for (uint32_t y = 0; y < g.rows(); ++y)
        for (uint32_t x = 0; x < p.w; ++x) p.px.push_back(g.row(y)[2 * x + ch]);
    return p;
}

using Size4 = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;

const Size4 kUp[] = {{1, 1, 3, 2},    {2, 2, 4, 4},     {7, 3, 17, 7},    {17, 2, 33, 4},
                     {33, 17, 66, 34}, {16, 9, 41, 23},  {641, 3, 1282, 6}, {20, 20, 33, 33},
                     {9, 9, 9, 17},   {40, 30, 20, 15}, {5, 40, 64, 41},  {64, 36, 128, 72}};

class PolySweep : public ::testing::TestWithParam<std::tuple<Size4, int>> {};

TEST_P(PolySweep, PlanarMatchesReference) {
    const auto [size, mode] = GetParam();
    const auto [sw, sh, dw, dh] = size;
    GuardedImage src(sw, sh, sw + 3), dst(dw, dh, dw + 7);
    src.fillRandom(sw + dh);
    if (mode < 0) {
        ncvScaleUpPolyu8(src.data(), sw, sh, src.stride(), dst.data(), dw, dh, dst.stride());
    } else {
        MIRA_Feature_Buf s{sw, src.stride(), sh, sh, src.data()}, d{dw, dst.stride(), dh, dh, dst.data()};
        MIRA_Feature_Param p{MIRA_API_SCALE_UP_POLY_U8, uint32_t(mode), 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    }
    std::vector<double> exact;
    scaling_ref::Plane in{sw, sh, src.packed()};
    auto ref = scaling_ref::resample(in, dw, dh, Filter::Lanczos3, float(dw) / float(sw), -1, &exact);
    expect_close(dst.packed(), ref.px, exact, "lanczos");
    EXPECT_TRUE(dst.paddingIntact());
}

TEST_P(PolySweep, InterleavedMatchesReferencePerChannel) {
    const auto [size, mode] = GetParam();
    const auto [sw, sh, dw, dh] = size;  // widths in pairs
    GuardedImage src(2 * sw, sh, 2 * sw + 1), dst(2 * dw, dh, 2 * dw + 6);
    src.fillRandom(sw * 3 + dh);
    if (mode < 0) {
        ncvScaleUpPolyInterleaveu8(src.data(), sw, sh, src.stride(), dst.data(), dw, dh,
                                   dst.stride());
    } else {
        MIRA_Feature_Buf s{2 * sw, src.stride(), sh, sh, src.data()};
        MIRA_Feature_Buf d{2 * dw, dst.stride(), dh, dh, dst.data()};
        MIRA_Feature_Param p{MIRA_API_SCALE_UP_POLY_CBCR_U8, uint32_t(mode), 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    }
    // One factor, the ratio of the heights, for both axes.
    const float f = float(dh) / float(sh);
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<double> exact;
        auto ref = scaling_ref::resample(channel(src, ch), dw, dh, Filter::Lanczos3, f, -1, &exact);
        expect_close(channel(dst, ch).px, ref.px, exact, ch ? "Cr" : "Cb");
    }
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, PolySweep,
                         ::testing::Combine(::testing::ValuesIn(kUp), ::testing::Values(-1, 0, 1)));

TEST(Poly, ConstantImageStaysConstant) {
    for (uint8_t v : {0, 1, 77, 128, 254, 255}) {
        GuardedImage src(13, 7, 13), dst(40, 21, 40);
        src.fill(v);
        ncvScaleUpPolyu8(src.data(), 13, 7, 13, dst.data(), 40, 21, 40);
        for (uint8_t p : dst.packed()) ASSERT_EQ(p, v);
    }
}

// The interleaved feature takes its factor from the heights: twice as wide
// but equally tall runs with factor 1 (the left half of each row is the
// source channel); the planar feature with the same sizes uses factor 2.
TEST(Poly, InterleavedFactorComesFromHeights) {
    GuardedImage src(2 * 8, 5, 16), dst(2 * 16, 5, 32);
    src.fillRandom(9);
    ncvScaleUpPolyInterleaveu8(src.data(), 8, 5, 16, dst.data(), 16, 5, 32);
    for (uint32_t y = 0; y < 5; ++y)
        for (uint32_t x = 0; x < 16; ++x) ASSERT_EQ(dst.row(y)[x], src.row(y)[x]) << x << "," << y;

    GuardedImage p(8, 5, 8), pd(16, 5, 16);
    p.fillRandom(3);
    ncvScaleUpPolyu8(p.data(), 8, 5, 8, pd.data(), 16, 5, 16);
    std::vector<double> exact;
    auto ref = scaling_ref::resample({8, 5, p.packed()}, 16, 5, Filter::Lanczos3, 2.0f, -1, &exact);
    expect_close(pd.packed(), ref.px, exact, "planar factor 2");
}

TEST(Poly, BadArgumentsAreRejected) {
    GuardedImage src(8, 8, 8), dst(16, 16, 16);
    dst.fill(77);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{16, 16, 16, 16, dst.data()};
    MIRA_Feature_Buf two[2] = {s, s}, nodata{8, 8, 8, 8, nullptr};
    MIRA_Feature_Param p{MIRA_API_SCALE_UP_POLY_U8, 2, 1, nullptr, 0};
    MIRA_SCALE_UP_POLY_U8 a;
    MIRA_SCALE_UP_POLY_CBCR_U8 b;
    EXPECT_EQ(a.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(a.run(two, 2, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(a.run(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(a.run(&nodata, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(b.run(&s, 1, two, 2, &p), MIRA_ERR_ARG);
    EXPECT_EQ(b.run(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    ncvScaleUpPolyu8(nullptr, 8, 8, 8, dst.data(), 16, 16, 16);
    ncvScaleUpPolyInterleaveu8(src.data(), 4, 8, 8, nullptr, 8, 16, 16);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

// ---------------------------------------------------------------- chroma 2x

class ChromaSweep : public ::testing::TestWithParam<std::tuple<std::pair<uint32_t, uint32_t>, int>> {};

TEST_P(ChromaSweep, MatchesBilinearReferencePerChannel) {
    const auto [size, mode] = GetParam();
    const auto [w, h] = size;  // source pairs, rows
    GuardedImage src(2 * w, h, 2 * w + 3), dst(4 * w, 2 * h, 4 * w + 2);
    src.fillRandom(w * 5 + h);
    if (mode < 0) {
        ncvUpsample2DInterleavedu8(src.data(), w, h, src.stride(), dst.data(), dst.stride());
    } else {
        MIRA_Feature_Buf s{2 * w, src.stride(), h, h, src.data()};
        MIRA_Feature_Buf d{4 * w, dst.stride(), 2 * h, 2 * h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, uint32_t(mode), 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    }
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<double> exact;
        auto ref = scaling_ref::resample(channel(src, ch), 2 * w, 2 * h, Filter::Bilinear, 2.0f, -1, &exact);
        // At 2x every sum is a multiple of 1/16, exact in float: the CPU path
        // has no rounding to differ by.
        if (mode == 0) {
            ASSERT_EQ(channel(dst, ch).px, ref.px) << (ch ? "Cr" : "Cb");
            // The bilinear enlargement's fixed point, the same bytes at 2x
            // (its Q8 weights 64 and 192 are exact).
            const auto q8 = scaling_ref::bilinear_up_q8(channel(src, ch), 2 * w, 2 * h, 2.0f,
                                                        2.0f, -1);
            ASSERT_EQ(channel(dst, ch).px, q8.px) << (ch ? "Cr" : "Cb") << " fixed point";
        } else
            expect_close(channel(dst, ch).px, ref.px, exact, ch ? "Cr" : "Cb");
    }
    EXPECT_TRUE(dst.paddingIntact());
}

// The CPU path computes the destination in row strips from split planes: a
// destination that is not twice the source (narrower, wider, taller, an odd
// byte at the end of the row) still gets the factor-2 result, and nothing
// past its pairs is written.
TEST(Chroma, DestinationOfAnySizeGetsFactorTwo) {
    const uint32_t cases[][4] = {{9, 40, 11, 97}, {33, 17, 64, 20}, {5, 70, 7, 33}, {16, 33, 40, 66}};
    for (const auto& c : cases) {
        const uint32_t w = c[0], h = c[1], dp = c[2], dh = c[3];
        GuardedImage src(2 * w, h, 2 * w + 1), dst(2 * dp + 1, dh, 2 * dp + 4);
        src.fillRandom(w + 7 * dh);
        dst.fill(55);
        MIRA_Feature_Buf s{2 * w, src.stride(), h, h, src.data()};
        MIRA_Feature_Buf d{2 * dp + 1, dst.stride(), dh, dh, dst.data()};
        MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, 0, 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
        for (int ch = 0; ch < 2; ++ch) {
            auto ref = scaling_ref::resample(channel(src, ch), dp, dh, Filter::Bilinear, 2.0f, -1);
            std::vector<uint8_t> got;
            for (uint32_t y = 0; y < dh; ++y)
                for (uint32_t x = 0; x < dp; ++x) got.push_back(dst.row(y)[2 * x + ch]);
            ASSERT_EQ(got, ref.px) << w << "x" << h << " -> " << dp << "x" << dh << (ch ? " Cr" : " Cb");
        }
        for (uint32_t y = 0; y < dh; ++y) ASSERT_EQ(dst.row(y)[2 * dp], 55) << "odd byte, row " << y;
        EXPECT_TRUE(dst.paddingIntact());
    }
}

const std::pair<uint32_t, uint32_t> kChroma[] = {{1, 1}, {1, 2},  {2, 1},   {3, 3},    {7, 2},   {8, 8},
                                                 {17, 3}, {33, 17}, {320, 2}, {641, 5}, {9, 37}, {40, 64}};

// -1: the exported function (GPU path, CPU when no device), 0: CPU, 1: GPU.
INSTANTIATE_TEST_SUITE_P(Sizes, ChromaSweep,
                         ::testing::Combine(::testing::ValuesIn(kChroma), ::testing::Values(-1, 0, 1)));

TEST(Chroma, PairExample) {
    for (int mode : {0, 1}) {
        GuardedImage src(4, 3, 4), dst(8, 6, 8);
        for (uint32_t y = 0; y < 3; ++y) {
            const uint8_t row[4] = {10, 100, 20, 200};
            std::memcpy(src.row(y), row, 4);
        }
        MIRA_Feature_Buf s{4, 4, 3, 3, src.data()}, d{8, 8, 6, 6, dst.data()};
        MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, uint32_t(mode), 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
        const std::vector<uint8_t> want = {10, 100, 12, 125, 17, 175, 20, 200};
        for (uint32_t y = 0; y < 6; ++y)
            EXPECT_EQ(std::vector<uint8_t>(dst.row(y), dst.row(y) + 8), want) << mode << " row " << y;
    }
}

TEST(Chroma, BadArgumentsAreRejected) {
    GuardedImage src(8, 4, 8), dst(16, 8, 16);
    dst.fill(77);
    MIRA_Feature_Buf s{8, 8, 4, 4, src.data()}, d{16, 16, 8, 8, dst.data()}, nodata{16, 16, 8, 8, nullptr};
    MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, 1, 1, nullptr, 0};
    MIRA_IMAGE_UP_SAMPLE_2D_CBCR f;
    EXPECT_EQ(f.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &nodata, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(&nodata, 1, &d, 1, &p), MIRA_ERR_ARG);
    ncvUpsample2DInterleavedu8(nullptr, 4, 4, 8, dst.data(), 16);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

}  // namespace
