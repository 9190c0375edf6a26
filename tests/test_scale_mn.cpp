#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "ops/scaling/scale_mn_common.h"
#include "gpu/src/inc/param_utils.h"

using mira_test::GuardedImage;

namespace {

// ------------------------------------------------------------ reference
// Written from the definition of the 16.16 box line, in 64-bit integers.

struct RefSlope {
    int64_t start, step;
};

RefSlope ref_slope(int64_t src, int64_t dst) {
    const int64_t div = (dst == 1 && src > 32767) ? src : dst;
    int64_t step = div ? (src < 0 ? -src : src) * 65536 / div : 0;
    step = static_cast<int32_t>(static_cast<uint32_t>(step));
    const int64_t start = step >= 0 ? (step >> 1) + (step - 1) / 2 : -((-step >> 1) + (step - 1) / 2);
    return {start, step};
}

// out[i] = rounded mean of in[next .. (start + i*step) >> 16]; samples past the
// end of the line (a channel of an odd-width pair row) are not read.
std::vector<int> ref_line(const std::vector<int>& in, int64_t count, RefSlope s) {
    std::vector<int> out(static_cast<size_t>(count));
    int64_t next = 0;
    for (int64_t i = 0; i < count; ++i) {
        const int64_t end = (s.start + i * s.step) >> 16;
        const int64_t n = end - next + 1;
        int64_t sum = 0;
        for (int64_t k = next; k <= end && k < int64_t(in.size()); ++k) sum += in[size_t(k)];
        out[static_cast<size_t>(i)] = n == 0 ? 0 : static_cast<int>((sum + (n >> 1)) / n);
        next = end + 1;
    }
    return out;
}

// Rows of `srcBytes` bytes, elemStep 1 (planar) or 2 (CbCr pairs): boxes
// along each row per channel, then down each column of the result.
std::vector<uint8_t> ref_scale(const GuardedImage& src, uint32_t srcBytes, uint32_t srcRows,
                               uint32_t dstBytes, uint32_t dstRows, uint32_t es) {
    const uint32_t count = dstBytes / es, outBytes = count * es;
    const RefSlope hs = ref_slope(srcBytes, dstBytes), vs = ref_slope(srcRows, dstRows);
    std::vector<std::vector<int>> mid(srcRows, std::vector<int>(outBytes));
    for (uint32_t r = 0; r < srcRows; ++r)
        for (uint32_t c = 0; c < es; ++c) {
            std::vector<int> line;
            for (uint32_t k = c; k < srcBytes; k += es) line.push_back(src.row(r)[k]);
            const std::vector<int> o = ref_line(line, count, hs);
            for (uint32_t i = 0; i < count; ++i) mid[r][i * es + c] = o[i];
        }
    std::vector<uint8_t> out(size_t(outBytes) * dstRows);
    for (uint32_t x = 0; x < outBytes; ++x) {
        std::vector<int> col(srcRows);
        for (uint32_t r = 0; r < srcRows; ++r) col[r] = mid[r][x];
        const std::vector<int> o = ref_line(col, dstRows, vs);
        for (uint32_t j = 0; j < dstRows; ++j) out[size_t(j) * outBytes + x] = uint8_t(o[j]);
    }
    return out;
}

std::vector<uint8_t> packed(const GuardedImage& img, uint32_t bytes) {
    std::vector<uint8_t> out(size_t(bytes) * img.rows());
    for (uint32_t y = 0; y < img.rows(); ++y)
        std::copy(img.row(y), img.row(y) + bytes, out.begin() + size_t(y) * bytes);
    return out;
}

// The kernels' boxes: the integer ratio (at least 1) at the truncated float
// position, taps clamped to the last column and row. Planes: truncated
// integer mean; pairs: the float mean plus 0.5, truncated.
std::vector<uint8_t> ref_quotient(const GuardedImage& src, uint32_t sw, uint32_t sh, uint32_t dw,
                                  uint32_t dh, uint32_t es) {
    const float xs = float(sw) / float(dw), ys = float(sh) / float(dh);
    const int bw = std::max<int>(1, int(sw / dw)), bh = std::max<int>(1, int(sh / dh));
    const uint32_t outBytes = dw / es * es;
    std::vector<uint8_t> out(size_t(outBytes) * dh);
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < outBytes; ++x) {
            const int sy = int(float(y) * ys);
            const int sx = int(float(x / es) * xs);
            int64_t sum = 0;
            for (int r = 0; r < bh; ++r)
                for (int c = 0; c < bw; ++c) {
                    const int yy = std::min<int>(sy + r, int(sh) - 1);
                    const int xx = std::min<int>(sx + c, int(sw / es) - 1);
                    sum += src.row(uint32_t(yy))[uint32_t(xx) * es + x % es];
                }
            out[size_t(y) * outBytes + x] =
                es == 1 ? uint8_t(sum / (bw * bh)) : uint8_t(float(sum) / float(bw * bh) + 0.5f);
        }
    return out;
}

enum class Entry { Wrapper, ManagerCpu, ManagerAlt };

// The area average (the planar feature's modes other than 0 and 1, the
// interleaved feature's CPU method) through the manager.
void cpu_planar(const uint8_t* s, uint32_t sw, uint32_t sh, uint32_t ss, uint8_t* d, uint32_t dw,
                uint32_t dh, uint32_t ds) {
    MIRA_Feature_Buf sb{sw, ss, sh, sh, const_cast<uint8_t*>(s)}, db{dw, ds, dh, dh, d};
    MIRA_Feature_Param p{MIRA_API_SCALEDOWN_MN_U8, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
}
void cpu_pairs(const uint8_t* s, uint32_t sp, uint32_t sh, uint32_t ss, uint8_t* d, uint32_t dp,
               uint32_t dh, uint32_t ds) {
    MIRA_Feature_Buf sb{2 * sp, ss, sh, sh, const_cast<uint8_t*>(s)}, db{2 * dp, ds, dh, dh, d};
    MIRA_Feature_Param p{MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
}

uint32_t run_planar(Entry e, GuardedImage& s, uint32_t sw, uint32_t sh, GuardedImage& d,
                    uint32_t dw, uint32_t dh) {
    if (e == Entry::Wrapper) {
        ncvScaleDownMNu8(s.data(), sw, sh, s.stride(), d.data(), dw, dh, d.stride());
        return MIRA_OK;
    }
    MIRA_Feature_Buf sb{sw, s.stride(), sh, sh, s.data()}, db{dw, d.stride(), dh, dh, d.data()};
    MIRA_Feature_Param p{MIRA_API_SCALEDOWN_MN_U8, e == Entry::ManagerCpu ? 0u : 2u, 1, nullptr, 0};
    return MIRA_Manager().run(&sb, 1, &db, 1, &p);
}

uint32_t run_pairs(Entry e, GuardedImage& s, uint32_t sp, uint32_t sh, GuardedImage& d,
                   uint32_t dp, uint32_t dh) {
    if (e == Entry::Wrapper) {
        ncvScaleDownMNInterleaveu8(s.data(), sp, sh, s.stride(), d.data(), dp, dh, d.stride());
        return MIRA_OK;
    }
    MIRA_Feature_Buf sb{2 * sp, s.stride(), sh, sh, s.data()};
    MIRA_Feature_Buf db{2 * dp, d.stride(), dh, dh, d.data()};
    MIRA_Feature_Param p{MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, e == Entry::ManagerCpu ? 0u : 2u, 1,
                         nullptr, 0};
    return MIRA_Manager().run(&sb, 1, &db, 1, &p);
}

// (source width, source height, destination width, destination height)
using Dims = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;

const Dims kDims[] = {
    {1, 1, 1, 1},      {7, 3, 2, 2},      {17, 17, 7, 3},     {33, 2, 17, 1},
    {641, 17, 33, 17}, {641, 3, 640, 2},  {641, 17, 427, 11}, {1920, 9, 1280, 6},
    {100, 30, 33, 7},  {50, 40, 3, 2},    {300, 5, 17, 1},    {333, 2, 1, 1},
    {9, 1, 17, 1},     {5, 4, 7, 9},      {64, 64, 63, 62},   {48, 33, 16, 11},
    {23, 600, 5, 17},  {1000, 3, 37, 3},  {2, 2, 1, 1},       {40, 7, 39, 7},
    {129, 300, 8, 1},  {700, 2, 24, 2},   {3, 3, 2, 2},       {31, 17, 30, 16},
};

class ScaleMNPlanar : public ::testing::TestWithParam<std::tuple<Dims, uint32_t, Entry>> {};

TEST_P(ScaleMNPlanar, MatchesReferenceWithinGuards) {
    const auto [dims, pad, entry] = GetParam();
    const auto [sw, sh, dw, dh] = dims;
    GuardedImage src(sw, sh, sw + pad);
    src.fillRandom(sw * 7 + sh * 131 + dw);
    GuardedImage dst(dw, dh, dw + pad + 1);
    ASSERT_EQ(run_planar(entry, src, sw, sh, dst, dw, dh), MIRA_OK);
    // Mode 0 is the kernel's twin; the other CPU modes average areas.
    EXPECT_EQ(dst.packed(), entry == Entry::ManagerCpu ? ref_quotient(src, sw, sh, dw, dh, 1)
                                                       : ref_scale(src, sw, sh, dw, dh, 1));
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sweep, ScaleMNPlanar,
                         ::testing::Combine(::testing::ValuesIn(kDims), ::testing::Values(0u, 5u),
                                            ::testing::Values(Entry::ManagerCpu, Entry::ManagerAlt)));

class ScaleMNPairs : public ::testing::TestWithParam<std::tuple<Dims, uint32_t, Entry>> {};

TEST_P(ScaleMNPairs, MatchesReferenceWithinGuards) {
    const auto [dims, pad, entry] = GetParam();
    const auto [sp, sh, dp, dh] = dims;  // widths in pairs
    GuardedImage src(2 * sp, sh, 2 * sp + pad);
    src.fillRandom(sp * 5 + sh * 17 + dp);
    GuardedImage dst(2 * dp, dh, 2 * dp + pad + 3);
    ASSERT_EQ(run_pairs(entry, src, sp, sh, dst, dp, dh), MIRA_OK);
    EXPECT_EQ(dst.packed(), ref_scale(src, 2 * sp, sh, 2 * dp, dh, 2));
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sweep, ScaleMNPairs,
                         ::testing::Combine(::testing::ValuesIn(kDims), ::testing::Values(0u, 6u),
                                            ::testing::Values(Entry::ManagerCpu, Entry::ManagerAlt)));

// Ratios that exercise every row-pass layout (one to four windows per block,
// narrower blocks, and boxes too wide for the table lookup) and every column
// pass (single rows, pairs, 16-bit and 32-bit sums).
class ScaleMNRatios : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, uint32_t>> {};

TEST_P(ScaleMNRatios, PlanarAndPairsMatchReference) {
    const auto [sw, dw, es] = GetParam();
    const uint32_t sh = (sw % 300) + 3, dh = std::max(1u, dw % 7 + 1);
    GuardedImage src(sw, sh, sw + 3);
    src.fillRandom(sw + dw * 3 + es);
    GuardedImage dst(dw, dh, dw + 2);
    MIRA_Feature_Buf sb{sw, src.stride(), sh, sh, src.data()}, db{dw, dst.stride(), dh, dh, dst.data()};
    const uint32_t id = es == 1 ? MIRA_API_SCALEDOWN_MN_U8 : MIRA_API_SCALEDOWN_MNINTERLEAVE_U8;
    MIRA_Feature_Param p{id, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
    const uint32_t outBytes = dw / es * es;
    EXPECT_EQ(packed(dst, outBytes), ref_scale(src, sw, sh, dw, dh, es));
    // Nothing past the written pairs changes (an odd byte width leaves its
    // last byte alone).
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = outBytes; x < dst.stride() && y + 1 < dh; ++x)
            ASSERT_EQ(dst.row(y)[x], mira_test::kCanary);
}

INSTANTIATE_TEST_SUITE_P(
    Ratios, ScaleMNRatios,
    ::testing::Combine(::testing::Values(1920u, 1001u, 640u, 77u),
                       ::testing::Values(1280u, 960u, 500u, 211u, 97u, 64u, 33u, 9u, 2u, 1u),
                       ::testing::Values(1u, 2u)));

// Ratios from 1 to 2 on both axes (3/2, 4/3, 2, and near 1): every box holds
// one or two whole samples, the row pass takes the mean of two gathered taps
// in one rounding-halving add and a two-row vertical box is done in
// registers. Planes, CbCr pairs and RGB/RGBA pixels (each channel the plane's
// result), odd widths, strides wider than rows and guard pages.
// (source width in elements, source rows, destination width, destination rows)
const Dims kPairBoxDims[] = {
    {1920, 45, 1280, 30},    {1920, 33, 960, 17}, {641, 17, 427, 11}, {33, 3, 17, 2},
    {17, 17, 9, 9},          {7, 2, 5, 1},        {48, 45, 36, 30},   {3, 3, 2, 2},
    {2, 2, 1, 1},            {40, 7, 39, 7},      {31, 17, 30, 16},   {1001, 19, 667, 13},
    {129, 9, 86, 7},         {16, 16, 12, 12},    {25, 5, 24, 3},     {1, 2, 1, 1},
};

// One channel of interleaved pixels copied into a plane of `units` samples a row.
void channel_plane(const GuardedImage& img, uint32_t units, uint32_t ch, uint32_t c,
                   GuardedImage& plane) {
    for (uint32_t y = 0; y < img.rows(); ++y)
        for (uint32_t x = 0; x < units; ++x) plane.row(y)[x] = img.row(y)[x * ch + c];
}

class ScaleMNPairBoxes
    : public ::testing::TestWithParam<std::tuple<Dims, uint32_t, uint32_t>> {};

TEST_P(ScaleMNPairBoxes, MatchesReference) {
    const auto [dims, es, pad] = GetParam();
    const auto [sw, sh, dw, dh] = dims;  // widths in elements
    GuardedImage src(sw * es, sh, sw * es + pad);
    src.fillRandom(sw * 11 + sh * 3 + dw + es);
    GuardedImage dst(dw * es, dh, dw * es + pad + 1);
    MIRA_Feature_Buf sb{sw * es, src.stride(), sh, sh, src.data()};
    MIRA_Feature_Buf db{dw * es, dst.stride(), dh, dh, dst.data()};
    const uint32_t id = es == 2 ? MIRA_API_SCALEDOWN_MNINTERLEAVE_U8 : MIRA_API_SCALEDOWN_MN_U8;
    MIRA_Feature_Param p{id, MIRA_MODE_CPU_ALT, es >= 3 ? es : 1u, nullptr, 0};  // pixel bytes
    ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
    EXPECT_TRUE(dst.paddingIntact());
    const std::vector<uint8_t> got = dst.packed();
    if (es <= 2) {
        EXPECT_EQ(got, ref_scale(src, sw * es, sh, dw * es, dh, es));
        return;
    }
    for (uint32_t c = 0; c < es; ++c) {
        GuardedImage plane(sw, sh, sw);
        channel_plane(src, sw, es, c, plane);
        const std::vector<uint8_t> want = ref_scale(plane, sw, sh, dw, dh, 1);
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_EQ(got[i * es + c], want[i]) << "channel " << c << " sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Sweep, ScaleMNPairBoxes,
                         ::testing::Combine(::testing::ValuesIn(kPairBoxDims),
                                            ::testing::Values(1u, 2u, 3u, 4u),
                                            ::testing::Values(0u, 7u)));
// Full frames: 1080p to 720p planes, and a 1080p frame's CbCr pairs to 720p's.
INSTANTIATE_TEST_SUITE_P(Frames, ScaleMNPairBoxes,
                         ::testing::Values(std::make_tuple(Dims{1920, 1080, 1280, 720}, 1u, 0u),
                                           std::make_tuple(Dims{960, 540, 640, 360}, 2u, 0u)));

TEST(ScaleMNRows, TallBoxesUseWideSums) {
    // 700 rows into 2: boxes of 350 rows need 32-bit column sums.
    for (uint32_t sh : {700u, 513u, 258u, 33u}) {
        GuardedImage src(21, sh, 24);
        src.fill(255);
        src.row(0)[3] = 0;
        GuardedImage dst(21, 2, 21);
        cpu_planar(src.data(), 21, sh, 24, dst.data(), 21, 2, 21);
        EXPECT_EQ(dst.packed(), ref_scale(src, 21, sh, 21, 2, 1)) << sh;
    }
}

// ------------------------------------------------------------ box line

TEST(ScaleMNLine, SlopeAndFixedDiv) {
    EXPECT_EQ(mira::ScaleSlope(3, 2).step, 98304);
    EXPECT_EQ(mira::ScaleSlope(3, 2).start, 98303);
    EXPECT_EQ(mira::ScaleSlope(2, 1).start, 131071);
    const mira::Slope big = mira::ScaleSlope(40000, 1);
    EXPECT_EQ(big.step, 65536);
    EXPECT_EQ(big.start, 65535);
    EXPECT_EQ(mira::FixedDiv(5, 0), 0);
    EXPECT_EQ(mira::FixedDiv(-3, 2), 98304);
    for (int32_t s : {1, 2, 3, 17, 641, 1920, 32767})
        for (int32_t d : {1, 2, 3, 7, 640, 1280}) {
            const RefSlope r = ref_slope(s, d);
            const mira::Slope m = mira::ScaleSlope(s, d);
            EXPECT_EQ(m.step, r.step) << s << "->" << d;
            EXPECT_EQ(m.start, r.start) << s << "->" << d;
        }
}

TEST(ScaleMNLine, ExamplesOfTheBoxLine) {
    const uint8_t row[3] = {10, 20, 30};
    uint8_t out[2] = {0, 0};
    mira::Slope s = mira::ScaleSlope(3, 2);
    mira::ScaleCols(out, row, 2, s.start, s.step, 1, 3);
    EXPECT_EQ(out[0], 15);
    EXPECT_EQ(out[1], 30);
    s = mira::ScaleSlope(3, 1);
    mira::ScaleCols(out, row, 1, s.start, s.step, 1, 3);
    EXPECT_EQ(out[0], 20);
    const uint8_t two[2] = {1, 2};
    s = mira::ScaleSlope(2, 1);
    mira::ScaleCols(out, two, 1, s.start, s.step, 1, 2);
    EXPECT_EQ(out[0], 2);  // ((1 + 2) + 1) / 2
    // Down a column with a row step.
    const uint8_t col[9] = {10, 0, 0, 20, 0, 0, 30, 0, 0};
    uint8_t dcol[6] = {9, 9, 9, 9, 9, 9};
    s = mira::ScaleSlope(3, 2);
    mira::ScaleRows(dcol, col, 2, s.start, s.step, 3, 3);
    EXPECT_EQ(dcol[0], 15);
    EXPECT_EQ(dcol[3], 30);
    EXPECT_EQ(dcol[1], 9);
}

TEST(ScaleMNLine, FeatureGivesTheLineExamples) {
    GuardedImage src(3, 1, 3), dst(2, 1, 2), one(1, 1, 1);
    src.row(0)[0] = 10;
    src.row(0)[1] = 20;
    src.row(0)[2] = 30;
    cpu_planar(src.data(), 3, 1, 3, dst.data(), 2, 1, 2);
    EXPECT_EQ(dst.row(0)[0], 15);
    EXPECT_EQ(dst.row(0)[1], 30);
    cpu_planar(src.data(), 3, 1, 3, one.data(), 1, 1, 1);
    EXPECT_EQ(one.row(0)[0], 20);
    // Down a column: the same three values as rows.
    GuardedImage col(1, 3, 1), dcol(1, 2, 1);
    col.row(0)[0] = 10;
    col.row(1)[0] = 20;
    col.row(2)[0] = 30;
    cpu_planar(col.data(), 1, 3, 1, dcol.data(), 1, 2, 1);
    EXPECT_EQ(dcol.row(0)[0], 15);
    EXPECT_EQ(dcol.row(1)[0], 30);
}

TEST(ScaleMNLine, LongSourceToOneSampleTakesTheFirst) {
    const uint32_t w = 40000;
    GuardedImage src(w, 1, w);
    src.fillRandom(3);
    GuardedImage dst(1, 1, 1);
    cpu_planar(src.data(), w, 1, w, dst.data(), 1, 1, 1);
    EXPECT_EQ(dst.row(0)[0], src.row(0)[0]);
    GuardedImage tall(1, w, 1);
    tall.fillRandom(4);
    cpu_planar(tall.data(), 1, w, 1, dst.data(), 1, 1, 1);
    EXPECT_EQ(dst.row(0)[0], tall.row(0)[0]);
}

TEST(ScaleMNLine, LargerDestinationHasEmptyBoxes) {
    GuardedImage src(2, 1, 2), dst(3, 1, 3);
    src.row(0)[0] = 40;
    src.row(0)[1] = 90;
    dst.fill(7);
    cpu_planar(src.data(), 2, 1, 2, dst.data(), 3, 1, 3);
    EXPECT_EQ(dst.row(0)[0], 40);
    EXPECT_EQ(dst.row(0)[1], 90);
    EXPECT_EQ(dst.row(0)[2], 0);
}

TEST(ScaleMNLine, PairsAverageEachChannel) {
    // Pairs (Cb, Cr): (10, 200), (20, 100), (30, 0) -> two pairs and one pair.
    GuardedImage src(6, 1, 6), dst(4, 1, 4), one(2, 1, 2);
    const uint8_t v[6] = {10, 200, 20, 100, 30, 0};
    std::copy(v, v + 6, src.row(0));
    cpu_pairs(src.data(), 3, 1, 6, dst.data(), 2, 1, 4);
    EXPECT_EQ(dst.row(0)[0], 15);
    EXPECT_EQ(dst.row(0)[1], 150);
    EXPECT_EQ(dst.row(0)[2], 30);
    EXPECT_EQ(dst.row(0)[3], 0);
    cpu_pairs(src.data(), 3, 1, 6, one.data(), 1, 1, 2);
    EXPECT_EQ(one.row(0)[0], 20);
    EXPECT_EQ(one.row(0)[1], 100);
}

// ------------------------------------------------------------ arguments

TEST(ScaleMNArgs, BadRequestsWriteNothing) {
    GuardedImage src(8, 8, 8), dst(4, 4, 4);
    src.fillRandom(1);
    dst.fill(7);
    const std::vector<uint8_t> before = dst.packed();
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{4, 4, 4, 4, dst.data()};
    for (uint32_t id : {uint32_t(MIRA_API_SCALEDOWN_MN_U8), uint32_t(MIRA_API_SCALEDOWN_MNINTERLEAVE_U8)})
        for (uint32_t mode : {0u, 1u, 2u}) {
            MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
            MIRA_Manager m;
            EXPECT_EQ(m.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
            EXPECT_EQ(m.run(&s, 0, &d, 1, &p), MIRA_ERR_ARG);
            EXPECT_EQ(m.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
            EXPECT_EQ(m.run(&s, 1, &d, 0, &p), MIRA_ERR_ARG);
            MIRA_Feature_Buf nulls{8, 8, 8, 8, nullptr}, nulld{4, 4, 4, 4, nullptr};
            EXPECT_EQ(m.run(&nulls, 1, &d, 1, &p), MIRA_ERR_ARG);
            EXPECT_EQ(m.run(&s, 1, &nulld, 1, &p), MIRA_ERR_ARG);
            MIRA_Feature_Buf narrow{8, 4, 8, 8, src.data()};  // stride below width
            EXPECT_EQ(m.run(&narrow, 1, &d, 1, &p), MIRA_ERR_ARG);
        }
    MIRA_SCALEDOWN_MN_U8 f;
    EXPECT_EQ(f.MIRA_SCALEDOWN_MN_U8_neon(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_SCALEDOWN_MN_U8_opencl(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    MIRA_SCALEDOWN_MNINTERLEAVE_U8 g;
    EXPECT_EQ(g.MIRA_SCALEDOWN_MNINTERLEAVE_U8_neon(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(g.MIRA_SCALEDOWN_MNINTERLEAVE_U8_opencl(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    ncvScaleDownMNu8(nullptr, 8, 8, 8, dst.data(), 4, 4, 4);
    ncvScaleDownMNu8(src.data(), 8, 8, 8, nullptr, 4, 4, 4);
    ncvScaleDownMNInterleaveu8(nullptr, 4, 8, 8, dst.data(), 2, 4, 4);
    EXPECT_EQ(dst.packed(), before);
}

TEST(ScaleMNArgs, EmptySourceGivesZeros) {
    GuardedImage dst(5, 3, 5);
    dst.fill(9);
    uint8_t dummy = 1;
    MIRA_Feature_Buf s{0, 0, 0, 0, &dummy}, d{5, 5, 3, 3, dst.data()};
    MIRA_Feature_Param p{MIRA_API_SCALEDOWN_MN_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 0);
}

// ------------------------------------------------------------ GPU path
// The exported functions run the GPU path (mode 1): the kernels' boxes,
// computed by the kernel or, without a device, by its CPU twin.

class ScaleMNGpu : public ::testing::TestWithParam<std::tuple<Dims, uint32_t, bool>> {};

TEST_P(ScaleMNGpu, KernelsMatchTheirFormula) {
    const auto [dims, es, wrapper] = GetParam();
    const auto [sw0, sh, dw0, dh] = dims;
    const uint32_t sw = sw0 * es, dw = dw0 * es;
    GuardedImage src(sw, sh, sw + 5), dst(dw, dh, dw + 3);
    src.fillRandom(sw + sh);
    if (wrapper) {
        if (es == 1)
            ncvScaleDownMNu8(src.data(), sw, sh, src.stride(), dst.data(), dw, dh, dst.stride());
        else
            ncvScaleDownMNInterleaveu8(src.data(), sw0, sh, src.stride(), dst.data(), dw0, dh,
                                       dst.stride());
    } else {
        MIRA_Feature_Buf sb{sw, src.stride(), sh, sh, src.data()};
        MIRA_Feature_Buf db{dw, dst.stride(), dh, dh, dst.data()};
        const uint32_t id = es == 1 ? MIRA_API_SCALEDOWN_MN_U8 : MIRA_API_SCALEDOWN_MNINTERLEAVE_U8;
        MIRA_Feature_Param p{id, MIRA_MODE_OPENCL, 1, nullptr, 0};
        ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
    }
    EXPECT_TRUE(dst.paddingIntact());
    // The kernel's bytes whether it ran or its CPU twin did (no device).
    EXPECT_EQ(dst.packed(), ref_quotient(src, sw, sh, dw, dh, es));
}

INSTANTIATE_TEST_SUITE_P(Sweep, ScaleMNGpu,
                         ::testing::Combine(::testing::Values(Dims{7, 3, 2, 2}, Dims{17, 17, 7, 3},
                                                              Dims{641, 17, 33, 17},
                                                              Dims{1920, 9, 1280, 6},
                                                              Dims{64, 64, 32, 16}, Dims{9, 4, 9, 2},
                                                              Dims{33, 5, 1, 1}),
                                            ::testing::Values(1u, 2u), ::testing::Bool()));

}  // namespace
