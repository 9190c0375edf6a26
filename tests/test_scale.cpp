// General scale (feature 23) against the double-precision resampling
// reference. Nearest-sample results are exact; reduced results may differ
// by 1 where the exact value lies within float accumulation error of an
// integer (the down-scale pipelines sum in 32-bit float), which the test
// checks. Bilinear enlargements are in 16-bit fixed point: equal to the
// fixed-point reference, and within 1 of the double-precision formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"
#include "scaling_reference.h"

using mira_test::GuardedImage;
using scaling_ref::Filter;

namespace {

scaling_ref::Plane packed(const GuardedImage& g) {
    return {g.rowBytes(), g.rows(), g.packed()};
}

Filter filter_of(uint32_t mode, bool up) {
    if (up) return mode == 1 ? Filter::Bilinear : Filter::Nearest;
    return mode == 1 ? Filter::Bilinear : mode == 2 ? Filter::Box : Filter::Distance;
}

// Every pixel equal to the truncated exact value, or off by one where the
// exact value is within 0.01 of the integer between them.
void expect_close(const std::vector<uint8_t>& got, const std::vector<uint8_t>& ref,
                  const std::vector<double>& exact, const char* what) {
    ASSERT_EQ(got.size(), ref.size());
    for (size_t i = 0; i < got.size(); ++i) {
        const int d = int(got[i]) - int(ref[i]);
        if (d == 0) continue;
        const double boundary = d > 0 ? double(ref[i]) + 1.0 : double(ref[i]);
        ASSERT_TRUE(std::abs(d) == 1 && std::fabs(exact[i] - boundary) < 0.01)
            << what << ": pixel " << i << " got " << int(got[i]) << " want " << int(ref[i])
            << " exact " << exact[i];
    }
}

using Size4 = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;  // sw, sh, dw, dh

class ScaleSweep
    : public ::testing::TestWithParam<std::tuple<Size4, uint32_t /*mode*/, uint32_t /*border*/>> {};

TEST_P(ScaleSweep, MatchesReferenceWithinGuards) {
    const auto [size, mode, border] = GetParam();
    const auto [sw, sh, dw, dh] = size;
    GuardedImage src(sw, sh, sw + 5), dst(dw, dh, dw + 3);
    src.fillRandom(sw * 31 + dh * 7 + mode);
    const uint8_t bv = 99;
    ncvScaleu8_v2(src.data(), sw, sh, src.stride(), dst.data(), dw, dh, dst.stride(), mode,
                  border, bv);
    EXPECT_TRUE(dst.paddingIntact());
    if (sw == dw) {
        for (uint32_t y = 0; y < std::min(sh, dh); ++y)
            for (uint32_t x = 0; x < dw; ++x) ASSERT_EQ(dst.row(y)[x], src.row(y)[x]);
        return;
    }
    const float s = float(dw) / float(sw);
    std::vector<double> exact;
    auto ref = scaling_ref::resample(packed(src), dw, dh, filter_of(mode, sw < dw), s,
                                     border == 1 ? bv : -1, &exact);
    if (sw < dw && mode != 1) {
        EXPECT_EQ(dst.packed(), ref.px);
    } else if (sw < dw) {
        const auto q8 = scaling_ref::bilinear_up_q8(packed(src), dw, dh, s, s,
                                                   border == 1 ? bv : -1);
        EXPECT_EQ(dst.packed(), q8.px) << "bilinear up, fixed point";
        EXPECT_LE(scaling_ref::max_diff(dst.packed(), ref.px, 1), 1) << "bilinear up vs float";
    } else {
        expect_close(dst.packed(), ref.px, exact, "scale");
    }

    // Modes 0 (framed copy) and 1 (CPU, the GPU kernel being empty) give the
    // same pixels as the exported mode 2.
    for (uint32_t m : {0u, 1u}) {
        GuardedImage other(dw, dh, dw + 3);
        MIRA_Feature_Buf sd{sw, src.stride(), sh, sh, src.data()};
        MIRA_Feature_Buf dd{dw, other.stride(), dh, dh, other.data()};
        ncvScaleParam extra{mode, border, bv};
        MIRA_Feature_Param p{MIRA_API_SCALE_U8, m, 1, &extra, 0};
        ASSERT_EQ(MIRA_Manager().run(&sd, 1, &dd, 1, &p), MIRA_OK);
        EXPECT_EQ(other.packed(), dst.packed()) << "mode " << m;
        EXPECT_TRUE(other.paddingIntact());
    }
}

const Size4 kSizes[] = {
    {2, 2, 4, 4},      {1, 1, 7, 3},      {7, 3, 1, 1},     {5, 1, 2, 1},    {7, 17, 17, 33},
    {17, 33, 7, 17},   {33, 2, 64, 3},    {64, 3, 33, 2},   {17, 17, 51, 51}, {51, 51, 17, 17},
    {641, 3, 1280, 6}, {641, 17, 213, 5}, {100, 100, 150, 150}, {150, 150, 100, 100},
    {40, 30, 41, 31},  {41, 31, 40, 30},  {16, 16, 16, 8},  {16, 8, 16, 16}, {30, 20, 7, 40},
    {192, 108, 128, 72}, {96, 54, 192, 108}, {3, 2, 1000, 2}, {1000, 2, 3, 2},
    // Down-scale ratios with versions of their own (1/2, 2/3, 3/4), odd and
    // tiny widths included.
    {34, 9, 17, 5},    {1282, 5, 641, 3}, {4, 4, 2, 2},     {21, 5, 14, 4},  {3, 3, 2, 2},
    {44, 12, 33, 9},   {1924, 3, 1443, 2}, {8, 2, 6, 2},
    // The 3/2 and 4/3 up-scales with versions of their own.
    {34, 5, 51, 7},    {2, 2, 3, 3},      {642, 3, 963, 4}, {14, 9, 21, 13},
    {33, 5, 44, 7},    {3, 3, 4, 4},      {642, 3, 856, 4}, {15, 9, 20, 12},
    // Exactly 2x (a version of its own for nearest), odd widths included.
    {1, 1, 2, 2},      {17, 5, 34, 10},   {641, 3, 1282, 6}, {33, 2, 66, 4}};

INSTANTIATE_TEST_SUITE_P(Sizes, ScaleSweep,
                         ::testing::Combine(::testing::ValuesIn(kSizes),
                                            ::testing::Values(0u, 1u, 2u),
                                            ::testing::Values(0u, 1u, 2u)));

// Bilinear enlargement over the zoom ratios (1.1, 1.25, 6:5, 1.5, 4:3, 1.92,
// exactly 2, 2.5, 3), odd and tiny sizes, both border rules, random and
// 0/255 checkered content (the largest differences between neighbours, where
// the weights' rounding weighs most), through the single-factor call
// (ncvScaleu8_v2, the plane pipeline) and mira_resize (each axis its own
// factor, default and CPU paths). Every pixel equals the fixed-point
// reference. Against the double-precision float formula (truncated), the
// bound is 1: each axis's Q8 weight is within 1/512 of the exact weight, on a
// difference of at most 255 between its two samples, so the fixed-point
// value lies within 2 * 255 / 512 < 1 of the exact one, and both truncate.
struct Zoom {
    uint32_t sw, sh, dw, dh;
};
const Zoom kZooms[] = {
    {170, 20, 187, 22}, {161, 7, 177, 8},   // 1.1
    {164, 16, 205, 20}, {33, 3, 41, 4},     // 1.25
    {165, 15, 198, 18}, {17, 5, 20, 6},     // 6:5
    {34, 5, 51, 7},     {641, 3, 962, 5},   // 1.5
    {33, 5, 44, 7},     {48, 17, 64, 23},   // 4:3
    {125, 17, 240, 33}, {25, 3, 48, 6},     // 1.92
    {17, 5, 34, 10},    {641, 3, 1282, 6},  // exactly 2
    {33, 2, 66, 7},     {48, 5, 96, 9},     // 2 across, the heights given apart
    {34, 7, 85, 17},    {2, 1, 5, 3},       // 2.5
    {7, 3, 21, 9},      {1, 2, 3, 17},      // 3
    {1600, 900, 1920, 1080}};               // a 1600x900 zoom to 1080p, 6:5

class BilinearUp : public ::testing::TestWithParam<std::tuple<Zoom, int /*border*/, bool>> {};

TEST_P(BilinearUp, FixedPointExactAndWithinOneOfFloat) {
    const auto [z, border, checkered] = GetParam();
    SCOPED_TRACE(std::to_string(z.sw) + "x" + std::to_string(z.sh) + " -> " +
                 std::to_string(z.dw) + "x" + std::to_string(z.dh) + " border " +
                 std::to_string(border) + (checkered ? " checkered" : " random"));
    GuardedImage src(z.sw, z.sh, z.sw + 5);
    src.fillRandom(z.sw * 17 + z.dh);
    if (checkered)
        for (uint32_t y = 0; y < z.sh; ++y)
            for (uint32_t x = 0; x < z.sw; ++x) src.row(y)[x] = ((x + y) & 1) ? 255 : 0;
    const uint8_t bv = 200;
    const int refBorder = border == 1 ? bv : -1;
    const auto p = packed(src);

    // One factor for both axes.
    const float s = float(z.dw) / float(z.sw);
    GuardedImage dst(z.dw, z.dh, z.dw + 3);
    ncvScaleu8_v2(src.data(), z.sw, z.sh, src.stride(), dst.data(), z.dw, z.dh, dst.stride(), 1,
                  uint32_t(border), bv);
    EXPECT_TRUE(dst.paddingIntact());
    const auto q8 = scaling_ref::bilinear_up_q8(p, z.dw, z.dh, s, s, refBorder);
    long where = -1;
    EXPECT_EQ(scaling_ref::max_diff(dst.packed(), q8.px, 0, &where), 0)
        << "single factor, fixed point: first at " << where;
    const auto exact = scaling_ref::resample(p, z.dw, z.dh, Filter::Bilinear, s, refBorder);
    EXPECT_LE(scaling_ref::max_diff(dst.packed(), exact.px, 1, &where), 1)
        << "single factor, float formula: first at " << where;

    // A factor per axis.
    const float sx = float(z.dw) / float(z.sw), sy = float(z.dh) / float(z.sh);
    const auto q8xy = scaling_ref::bilinear_up_q8(p, z.dw, z.dh, sx, sy, refBorder);
    const auto exy =
        scaling_ref::resample_xy(p, z.dw, z.dh, Filter::Bilinear, sx, Filter::Bilinear, sy, refBorder);
    for (mira_path path : {MIRA_PATH_DEFAULT, MIRA_PATH_CPU}) {
        GuardedImage d2(z.dw, z.dh, z.dw + 7);
        const mira_image si{src.data(), z.sw, z.sh, src.stride(), 1};
        const mira_image di{d2.data(), z.dw, z.dh, d2.stride(), 1};
        ASSERT_EQ(mira_resize(&si, &di, MIRA_INTERPOLATION_BILINEAR,
                              border == 1 ? MIRA_BORDER_CONSTANT : MIRA_BORDER_REPLICATE, bv, path),
                  MIRA_STATUS_OK);
        EXPECT_TRUE(d2.paddingIntact());
        EXPECT_EQ(scaling_ref::max_diff(d2.packed(), q8xy.px, 0, &where), 0)
            << "mira_resize path " << int(path) << ", fixed point: first at " << where;
        EXPECT_LE(scaling_ref::max_diff(d2.packed(), exy.px, 1, &where), 1)
            << "mira_resize path " << int(path) << ", float formula: first at " << where;
    }
}

INSTANTIATE_TEST_SUITE_P(Zooms, BilinearUp,
                         ::testing::Combine(::testing::ValuesIn(kZooms), ::testing::Values(0, 1),
                                            ::testing::Bool()));

// Box, "none" and bilinear reductions at exactly 2/3 (1080p to 720p) and 1/2
// (4K to 1080p): the tables' weights are dyadic there (1/2; 1/4 and 3/4;
// 1/8 and 3/8), or ninths for bilinear at 2/3 (1/9, 5/9, 3/9), and every sum
// is an exact multiple of 1/64 or 1/81, so each result is that sum's floor,
// whichever route computes it (integer sums of the 2 x 2 taps where every tap
// lies in the source, the float pipelines where the single factor's heights
// put taps past the last row). Planes through the single-factor call and
// mira_resize (channels 1 to 4, default and CPU paths), random and 0/255
// checkered content, widths around the vector steps, both border rules. The
// reference's "none" weights come from single-precision distances (0.25 s,
// 0.75 s), about 6e-9 from 1/4 and 3/4, so its sums lie within 255 * 1e-8
// of the exact multiples of 1/16 (of 1/81 likewise: at least 1/81 from the
// next integer): the expected byte is floor(sum + 1e-5), with no tolerance
// on the result.
std::vector<uint8_t> floor_of(const std::vector<double>& exact) {
    std::vector<uint8_t> v(exact.size());
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = uint8_t(std::clamp(std::floor(exact[i] + 1e-5), 0.0, 255.0));
    return v;
}

struct Reduction {
    uint32_t sw, sh, dw, dh;
};
const Reduction kReductions[] = {
    {3, 3, 2, 2},       {6, 9, 4, 6},       {48, 3, 32, 2},     {51, 6, 34, 4},
    {69, 15, 46, 10},   {96, 27, 64, 18},   {195, 51, 130, 34}, {3, 1080, 2, 720},
    {1920, 1080, 1280, 720},
    // One factor for both axes, the heights given apart: an odd last row
    // (its pair's first row only), and rows past the source (the pipelines).
    {51, 9, 34, 5},     {48, 10, 32, 3},    {48, 4, 32, 3},     {99, 5, 66, 4},
    // 1/2: widths around the 32- and 96-byte steps, odd destination sizes.
    {2, 2, 1, 1},       {34, 6, 17, 3},     {64, 4, 32, 2},     {66, 10, 33, 5},
    {98, 34, 49, 17},   {194, 2, 97, 1},    {1920, 1080, 960, 540},
    {64, 9, 32, 4},     {64, 5, 32, 3}};

class ExactReductions : public ::testing::TestWithParam<std::tuple<Reduction, uint32_t /*mode*/, int>> {};

TEST_P(ExactReductions, ExactAgainstTheFormula) {
    const auto [t, mode, border] = GetParam();
    SCOPED_TRACE(std::to_string(t.sw) + "x" + std::to_string(t.sh) + " -> " +
                 std::to_string(t.dw) + "x" + std::to_string(t.dh) + " mode " +
                 std::to_string(mode) + " border " + std::to_string(border));
    const float s = float(t.dw) / float(t.sw);
    ASSERT_TRUE(s == 2.0f / 3.0f || s == 0.5f);
    const Filter f = mode == 2 ? Filter::Box : mode == 1 ? Filter::Bilinear : Filter::Distance;
    const uint8_t bv = 201;
    const int refBorder = border == 1 ? bv : -1;
    for (bool checkered : {false, true}) {
        SCOPED_TRACE(checkered ? "checkered" : "random");
        GuardedImage src(t.sw, t.sh, t.sw + 5);
        src.fillRandom(t.sw * 7 + t.dh + mode);
        if (checkered)
            for (uint32_t y = 0; y < t.sh; ++y)
                for (uint32_t x = 0; x < t.sw; ++x) src.row(y)[x] = ((x ^ y) & 1) ? 255 : 0;
        std::vector<double> exact;
        scaling_ref::resample_xy(packed(src), t.dw, t.dh, f, s, f, s, refBorder, &exact);
        const std::vector<uint8_t> want = floor_of(exact);
        GuardedImage dst(t.dw, t.dh, t.dw + 3);
        ncvScaleu8_v2(src.data(), t.sw, t.sh, src.stride(), dst.data(), t.dw, t.dh, dst.stride(),
                      mode, uint32_t(border), bv);
        EXPECT_TRUE(dst.paddingIntact());
        long where = -1;
        EXPECT_EQ(scaling_ref::max_diff(dst.packed(), want, 0, &where), 0)
            << "single factor, first at " << where;
    }
    if (float(t.dh) / float(t.sh) != s) return;  // (the per-axis call derives sy from the heights)

    // Interleaved channels: each channel against the formula on its own.
    for (uint32_t C = 1; C <= 4; ++C) {
        GuardedImage src(t.sw * C, t.sh, t.sw * C + 3);
        src.fillRandom(t.sw * 11 + C + mode);
        const std::vector<uint8_t> in = src.packed();
        for (mira_path path : {MIRA_PATH_DEFAULT, MIRA_PATH_CPU}) {
            GuardedImage dst(t.dw * C, t.dh, t.dw * C + 9);
            const mira_image si{src.data(), t.sw, t.sh, src.stride(), C};
            const mira_image di{dst.data(), t.dw, t.dh, dst.stride(), C};
            ASSERT_EQ(mira_resize(&si, &di, mira_interpolation(mode),
                                  border == 1 ? MIRA_BORDER_CONSTANT : MIRA_BORDER_REPLICATE, bv,
                                  path),
                      MIRA_STATUS_OK);
            EXPECT_TRUE(dst.paddingIntact());
            const std::vector<uint8_t> got = dst.packed();
            for (uint32_t ch = 0; ch < C; ++ch) {
                scaling_ref::Plane p{t.sw, t.sh, std::vector<uint8_t>(size_t(t.sw) * t.sh)};
                for (size_t i = 0; i < p.px.size(); ++i) p.px[i] = in[i * C + ch];
                std::vector<double> exact;
                scaling_ref::resample_xy(p, t.dw, t.dh, f, s, f, s, refBorder, &exact);
                const std::vector<uint8_t> want = floor_of(exact);
                long first = -1;
                for (size_t i = 0; i < want.size() && first < 0; ++i)
                    if (got[i * C + ch] != want[i]) first = long(i);
                EXPECT_EQ(first, -1) << "channels " << C << " channel " << ch << " path "
                                     << int(path);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ExactReductions,
                         ::testing::Combine(::testing::ValuesIn(kReductions),
                                            ::testing::Values(0u, 1u, 2u), ::testing::Values(0, 1)));

// The reference's bound holds on its own terms: over the zoom table the
// fixed-point reference is within 1 of the double-precision formula, and
// equal to it at exactly 2 (exact weights and sums).
TEST(BilinearUpReference, WithinOneOfFloatAndExactAtTwo) {
    for (const Zoom& z : kZooms) {
        scaling_ref::Plane p{z.sw, z.sh, std::vector<uint8_t>(size_t(z.sw) * z.sh)};
        for (size_t i = 0; i < p.px.size(); ++i) p.px[i] = uint8_t((i * 2654435761u) >> 13);
        const float s = float(z.dw) / float(z.sw);
        const auto q8 = scaling_ref::bilinear_up_q8(p, z.dw, z.dh, s, s, -1);
        const auto f = scaling_ref::resample(p, z.dw, z.dh, Filter::Bilinear, s, -1);
        EXPECT_LE(scaling_ref::max_diff(q8.px, f.px, 1), 1) << z.sw << " -> " << z.dw;
        if (z.dw == 2 * z.sw) EXPECT_EQ(q8.px, f.px) << z.sw << " -> " << z.dw;
    }
}

std::vector<uint8_t> run_2x2(uint32_t mode, uint32_t border, uint8_t bv) {
    GuardedImage src(2, 2, 2), dst(4, 4, 4);
    src.row(0)[0] = src.row(1)[0] = 10;
    src.row(0)[1] = src.row(1)[1] = 20;
    ncvScaleu8_v2(src.data(), 2, 2, 2, dst.data(), 4, 4, 4, mode, border, bv);
    return dst.packed();
}

TEST(Scale, TwoByTwoUpExamples) {
    const std::vector<uint8_t> nearest = {10, 10, 20, 20, 10, 10, 20, 20,
                                          10, 10, 20, 20, 10, 10, 20, 20};
    EXPECT_EQ(run_2x2(0, 0, 0), nearest);
    EXPECT_EQ(run_2x2(2, 2, 0), nearest);
    const std::vector<uint8_t> row = {10, 12, 17, 20};
    for (uint32_t border : {0u, 2u}) {
        auto px = run_2x2(1, border, 0);
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(std::vector<uint8_t>(px.begin() + 4 * y, px.begin() + 4 * y + 4), row);
    }
    auto px = run_2x2(1, 1, 0);
    const std::vector<uint8_t> inner = {7, 12, 17, 15};
    EXPECT_EQ(std::vector<uint8_t>(px.begin() + 4, px.begin() + 8), inner);
    EXPECT_EQ(std::vector<uint8_t>(px.begin() + 8, px.begin() + 12), inner);
    for (int x = 0; x < 4; ++x) {
        EXPECT_LT(px[x], inner[x]);  // darkened further by the constant row above
        EXPECT_LT(px[12 + x], inner[x]);
    }
}

// A 5-pixel row down to 2: mode 2 weights pixels 0..2 by 1/3 each, mode 0 by
// 3/9, 1/9, 5/9, mode 1 by the normalised 0.3, 0.7, 0.9, 0.5, 0.1 over taps
// -1 (edge) .. 3.
TEST(Scale, FiveToTwoWeights) {
    const uint8_t row[5] = {90, 0, 180, 30, 60};
    auto run = [&](uint32_t mode) {
        GuardedImage src(5, 1, 5), dst(2, 1, 2);
        std::memcpy(src.data(), row, 5);
        ncvScaleu8_v2(src.data(), 5, 1, 5, dst.data(), 2, 1, 2, mode, 2, 0);
        return dst.row(0)[0];
    };
    EXPECT_EQ(run(2), uint8_t((90 + 0 + 180) / 3.0));
    EXPECT_EQ(run(0), uint8_t((3 * 90 + 1 * 0 + 5 * 180) / 9.0));
    EXPECT_EQ(run(1), uint8_t((0.3 * 90 + 0.7 * 90 + 0.9 * 0 + 0.5 * 180 + 0.1 * 30) / 2.5));
}

TEST(Scale, EqualWidthsCopyRowsWithoutVerticalScaling) {
    GuardedImage src(9, 6, 12), taller(9, 10, 9), shorter(9, 3, 11);
    src.fillRandom(4);
    taller.fill(77);
    ncvScaleu8_v2(src.data(), 9, 6, 12, taller.data(), 9, 10, 9, 1, 0, 0);
    ncvScaleu8_v2(src.data(), 9, 6, 12, shorter.data(), 9, 3, 11, 7, 0, 0);
    for (uint32_t y = 0; y < 10; ++y)
        for (uint32_t x = 0; x < 9; ++x) {
            ASSERT_EQ(taller.row(y)[x], y < 6 ? src.row(y)[x] : 77);
            if (y < 3) {
                ASSERT_EQ(shorter.row(y)[x], src.row(y)[x]);
            }
        }
    EXPECT_TRUE(shorter.paddingIntact());
}

TEST(Scale, UnknownModePrintsAndWritesNothing) {
    GuardedImage src(8, 8, 8), dst(4, 4, 4);
    src.fillRandom(2);
    dst.fill(77);
    testing::internal::CaptureStdout();
    ncvScaleu8_v2(src.data(), 8, 8, 8, dst.data(), 4, 4, 4, 3, 0, 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("scale mode err!!!"), std::string::npos);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{4, 4, 4, 4, dst.data()};
    ncvScaleParam extra{3, 0, 0};
    MIRA_Feature_Param p{MIRA_API_SCALE_U8, 2, 1, &extra, 0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    testing::internal::GetCapturedStdout();
}

TEST(Scale, BadArgumentsAreRejected) {
    GuardedImage src(8, 8, 8), dst(4, 4, 4);
    dst.fill(77);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{4, 4, 4, 4, dst.data()};
    MIRA_Feature_Buf two[2] = {s, s};
    ncvScaleParam extra{1, 0, 0};
    MIRA_Feature_Param p{MIRA_API_SCALE_U8, 2, 1, &extra, 0};
    MIRA_SCALE_U8 f;
    EXPECT_EQ(f.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(two, 2, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 0, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.run(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    MIRA_Feature_Param noExtra{MIRA_API_SCALE_U8, 0, 1, nullptr, 0};
    EXPECT_EQ(f.run(&s, 1, &d, 1, &noExtra), MIRA_ERR_ARG);
    MIRA_Feature_Buf nodata{4, 4, 4, 4, nullptr};
    EXPECT_EQ(f.MIRA_SCALE_U8_neon(&s, 1, &nodata, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_SCALE_U8_opencl(&nodata, 1, &d, 1, &p), MIRA_ERR_ARG);
    ncvScaleu8_v2(nullptr, 8, 8, 8, dst.data(), 4, 4, 4, 1, 0, 0);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

}  // namespace
