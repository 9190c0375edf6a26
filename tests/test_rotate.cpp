// Planar and interleaved rotations on both paths against scalar references
// written from the pixel mappings.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"
#include "gpu/src/inc/param_utils.h"

using mira_test::GuardedImage;
using mira_test::gpu_live;

namespace {

// Destination pixel (x', y') of a rotation by `code` of a W x H image of
// `bpp`-byte pixels, following
//   code 1: src(y', H - 1 - x'), code 2: src(W - 1 - x', H - 1 - y'),
//   code 3: src(W - 1 - y', x').
std::vector<uint8_t> reference_rotate(const GuardedImage& src, uint32_t w, uint32_t h, int code,
                                      uint32_t bpp) {
    const bool swap = code == 1 || code == 3;
    const uint32_t dw = swap ? h : w, dh = swap ? w : h;
    std::vector<uint8_t> out(size_t(dw) * dh * bpp);
    for (uint32_t yd = 0; yd < dh; ++yd)
        for (uint32_t xd = 0; xd < dw; ++xd) {
            uint32_t sx = 0, sy = 0;
            if (code == 1) { sx = yd; sy = h - 1 - xd; }
            if (code == 2) { sx = w - 1 - xd; sy = h - 1 - yd; }
            if (code == 3) { sx = w - 1 - yd; sy = xd; }
            for (uint32_t b = 0; b < bpp; ++b)
                out[(size_t(yd) * dw + xd) * bpp + b] = src.row(sy)[sx * bpp + b];
        }
    return out;
}


enum class Path { Cpu, Gpu };

const char* path_name(Path p) { return p == Path::Cpu ? "cpu" : "gpu"; }

// Runs a rotation request for either feature through the manager.
uint32_t run_rotate(MIRA_API_ID id, Path path, GuardedImage& src, uint32_t w, uint32_t h,
                    GuardedImage& dst, int code) {
    const bool swap = (code | 2) == 3;
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{swap ? h : w, dst.stride(), swap ? w : h, swap ? w : h, dst.data()};
    if (path == Path::Gpu) gpu_live();
    MIRA_Feature_Param p{uint32_t(id), path == Path::Gpu ? uint32_t(MIRA_MODE_OPENCL) : 0u, 1,
                         nullptr, code};
    return MIRA_Manager().run(&s, 1, &d, 1, &p);
}

// ------------------------------------------------------------- size sweeps

using SweepParam = std::tuple<uint32_t, uint32_t, int, Path>;

class RotateSweep : public ::testing::TestWithParam<SweepParam> {};
class RotateInterleavedSweep : public ::testing::TestWithParam<SweepParam> {};

TEST_P(RotateSweep, MatchesReferenceWithinGuards) {
    const auto [w, h, code, path] = GetParam();
    const bool swap = code != 2;
    GuardedImage src(w, h, w + 3);
    src.fillRandom(w * 7919 + h * 31 + code);
    const uint32_t dw = swap ? h : w, dh = swap ? w : h;
    GuardedImage dst(dw, dh, dw + 5);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_U8, path, src, w, h, dst, code), MIRA_OK);
    EXPECT_EQ(dst.packed(), reference_rotate(src, w, h, code, 1)) << path_name(path);
    EXPECT_TRUE(dst.paddingIntact());
}

TEST_P(RotateInterleavedSweep, MatchesReferenceWithinGuards) {
    const auto [w, h, code, path] = GetParam();
    const bool swap = code != 2;
    GuardedImage src(2 * w, h, 2 * w + 3);
    src.fillRandom(w * 104729 + h * 17 + code);
    const uint32_t dw = swap ? h : w, dh = swap ? w : h;
    GuardedImage dst(2 * dw, dh, 2 * dw + 7);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_INTERLEAVE_U8, path, src, w, h, dst, code), MIRA_OK);
    EXPECT_EQ(dst.packed(), reference_rotate(src, w, h, code, 2)) << path_name(path);
    EXPECT_TRUE(dst.paddingIntact());
}

const uint32_t kWidths[] = {1, 2, 3, 7, 8, 9, 16, 17, 31, 32, 33, 40, 100, 641, 1920};
const uint32_t kHeights[] = {1, 2, 3, 5, 16, 17, 37, 1080};
// Every width with every small height; the tall 1080-row images with a
// sample of widths that still covers narrow, odd and wide rows.
const uint32_t kSmallHeights[] = {1, 2, 3, 5, 16, 17, 37};

INSTANTIATE_TEST_SUITE_P(Cpu, RotateSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Cpu)));
INSTANTIATE_TEST_SUITE_P(Gpu, RotateSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kSmallHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Gpu)));
INSTANTIATE_TEST_SUITE_P(GpuTall, RotateSweep,
                         ::testing::Combine(::testing::Values(1u, 17u, 641u, 1920u),
                                            ::testing::Values(1080u),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Gpu)));
INSTANTIATE_TEST_SUITE_P(Cpu, RotateInterleavedSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Cpu)));
// The edges of the vector steps: the byte tile (16 x 16) and the pair tile
// (8 x 8) with 15, 31, 32 and 33 source rows, and the half turn's 64-byte
// steps with rows of 63, 64, 65, 127, 128 and 129 pixels (twice that in
// bytes for pairs); width 15 is under one byte tile.
const uint32_t kStepWidths[] = {15, 63, 64, 65, 127, 128, 129};
const uint32_t kStepHeights[] = {15, 31, 32, 33};
INSTANTIATE_TEST_SUITE_P(StepEdges, RotateSweep,
                         ::testing::Combine(::testing::ValuesIn(kStepWidths),
                                            ::testing::ValuesIn(kStepHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Cpu)));
INSTANTIATE_TEST_SUITE_P(StepEdges, RotateInterleavedSweep,
                         ::testing::Combine(::testing::ValuesIn(kStepWidths),
                                            ::testing::ValuesIn(kStepHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Cpu)));
INSTANTIATE_TEST_SUITE_P(Gpu, RotateInterleavedSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kSmallHeights),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Gpu)));
INSTANTIATE_TEST_SUITE_P(GpuTall, RotateInterleavedSweep,
                         ::testing::Combine(::testing::Values(1u, 33u, 1920u),
                                            ::testing::Values(1080u),
                                            ::testing::Values(1, 2, 3),
                                            ::testing::Values(Path::Gpu)));

// ------------------------------------------------------------- entry points

class RotateEntries : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, int>> {};

TEST_P(RotateEntries, DirectKernelsAndWrapperAgree) {
    const auto [w, h, code] = GetParam();
    const bool swap = code != 2;
    const uint32_t dw = swap ? h : w, dh = swap ? w : h;
    GuardedImage src(w, h, w + 1);
    src.fillRandom(w + 1000 * h);
    const auto want = reference_rotate(src, w, h, code, 1);

    GuardedImage a(dw, dh, dw + 2), b(dw, dh, dw + 2), c(dw, dh, dw);
    mira::ncvRotateImageu8(src.data(), w, h, src.stride(), a.data(), a.stride(), code);
    if (code == 1) mira::neon_Imageu8_rotate_90(src.data(), w, h, src.stride(), b.data(), b.stride());
    if (code == 2) mira::neon_Imageu8_rotate_180(src.data(), w, h, src.stride(), b.data(), b.stride());
    if (code == 3) mira::neon_Imageu8_rotate_270(src.data(), w, h, src.stride(), b.data(), b.stride());
    // The wrapper raises a too-small destination stride to the destination width.
    ncvRotateImageu8(src.data(), w, h, src.stride(), c.data(), 1, code);
    EXPECT_EQ(a.packed(), want);
    EXPECT_EQ(b.packed(), want);
    EXPECT_EQ(c.packed(), want);
    EXPECT_TRUE(a.paddingIntact() && b.paddingIntact());

    GuardedImage si(2 * w, h, 2 * w + 1);
    si.fillRandom(w + 77 * h);
    const auto wantI = reference_rotate(si, w, h, code, 2);
    GuardedImage ai(2 * dw, dh, 2 * dw + 2), bi(2 * dw, dh, 2 * dw + 2), ci(2 * dw, dh, 2 * dw);
    mira::ncvRotateImageInterleavedu8(si.data(), w, h, si.stride(), ai.data(), ai.stride(), code);
    if (code == 1)
        mira::neon_ImageInterleavedu8_rotate_90(si.data(), w, h, si.stride(), bi.data(), bi.stride());
    if (code == 2)
        mira::neon_ImageInterleavedu8_rotate_180(si.data(), w, h, si.stride(), bi.data(), bi.stride());
    if (code == 3)
        mira::neon_ImageInterleavedu8_rotate_270(si.data(), w, h, si.stride(), bi.data(), bi.stride());
    ncvRotateImageInterleavedu8(si.data(), w, h, si.stride(), ci.data(), 0, code);
    EXPECT_EQ(ai.packed(), wantI);
    EXPECT_EQ(bi.packed(), wantI);
    EXPECT_EQ(ci.packed(), wantI);
    EXPECT_TRUE(ai.paddingIntact() && bi.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, RotateEntries,
                         ::testing::Combine(::testing::Values(1u, 9u, 17u, 33u),
                                            ::testing::Values(1u, 17u, 40u),
                                            ::testing::Values(1, 2, 3)));

// ------------------------------------------------------------- edge cases

class RotateBothPaths : public ::testing::TestWithParam<Path> {};

TEST_P(RotateBothPaths, TwoByThreeExample) {
    const Path path = GetParam();
    GuardedImage src(2, 3, 2);
    const uint8_t px[3][2] = {{1, 2}, {3, 4}, {5, 6}};
    for (int y = 0; y < 3; ++y) std::memcpy(src.row(y), px[y], 2);
    const std::vector<uint8_t> want1 = {5, 3, 1, 6, 4, 2}, want2 = {6, 5, 4, 3, 2, 1},
                               want3 = {2, 4, 6, 1, 3, 5};
    GuardedImage d1(3, 2, 3), d2(2, 3, 2), d3(3, 2, 3);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_U8, path, src, 2, 3, d1, 1), MIRA_OK);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_U8, path, src, 2, 3, d2, 2), MIRA_OK);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_U8, path, src, 2, 3, d3, 3), MIRA_OK);
    EXPECT_EQ(d1.packed(), want1);
    EXPECT_EQ(d2.packed(), want2);
    EXPECT_EQ(d3.packed(), want3);
}

TEST_P(RotateBothPaths, InterleavedTwoByOneExample) {
    const Path path = GetParam();
    GuardedImage src(4, 1, 4);
    const uint8_t px[4] = {1, 2, 3, 4};
    std::memcpy(src.row(0), px, 4);
    GuardedImage d1(2, 2, 2), d2(4, 1, 4);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_INTERLEAVE_U8, path, src, 2, 1, d1, 1), MIRA_OK);
    ASSERT_EQ(run_rotate(MIRA_API_ROTATE_INTERLEAVE_U8, path, src, 2, 1, d2, 2), MIRA_OK);
    EXPECT_EQ(d1.packed(), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(d2.packed(), (std::vector<uint8_t>{3, 4, 1, 2}));
}

TEST_P(RotateBothPaths, QuarterTurnsAndHalfTurnsUndo) {
    const Path path = GetParam();
    const uint32_t w = 17, h = 9;
    for (MIRA_API_ID id : {MIRA_API_ROTATE_U8, MIRA_API_ROTATE_INTERLEAVE_U8}) {
        const uint32_t bpp = id == MIRA_API_ROTATE_U8 ? 1 : 2;
        GuardedImage src(w * bpp, h, w * bpp), mid(h * bpp, w, h * bpp), back(w * bpp, h, w * bpp);
        GuardedImage half(w * bpp, h, w * bpp), twice(w * bpp, h, w * bpp);
        src.fillRandom(5 + bpp);
        ASSERT_EQ(run_rotate(id, path, src, w, h, mid, 1), MIRA_OK);
        ASSERT_EQ(run_rotate(id, path, mid, h, w, back, 3), MIRA_OK);
        EXPECT_EQ(back.packed(), src.packed());
        ASSERT_EQ(run_rotate(id, path, src, w, h, half, 2), MIRA_OK);
        ASSERT_EQ(run_rotate(id, path, half, w, h, twice, 2), MIRA_OK);
        EXPECT_EQ(twice.packed(), src.packed());
    }
}

TEST_P(RotateBothPaths, UnknownCodesWriteNothing) {
    const Path path = GetParam();
    for (MIRA_API_ID id : {MIRA_API_ROTATE_U8, MIRA_API_ROTATE_INTERLEAVE_U8}) {
        for (int code : {0, 4, -1, 5, 7}) {
            GuardedImage src(34, 20, 40), dst(34, 20, 40);
            src.fillRandom(uint32_t(code + 10));
            dst.fill(0x3C);
            ASSERT_EQ(run_rotate(id, path, src, id == MIRA_API_ROTATE_U8 ? 34 : 17, 20, dst, code),
                      MIRA_OK);
            EXPECT_EQ(dst.packed(), std::vector<uint8_t>(34 * 20, 0x3C)) << "code " << code;
            EXPECT_TRUE(dst.paddingIntact());
        }
    }
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    dst.fill(0x11);
    ncvRotateImageu8(src.data(), 8, 8, 8, dst.data(), 8, 6);
    mira::ncvRotateImageInterleavedu8(src.data(), 4, 8, 8, dst.data(), 8, 0);
    EXPECT_EQ(dst.packed(), std::vector<uint8_t>(64, 0x11));
}

TEST_P(RotateBothPaths, BadArgumentsWriteNothing) {
    const uint32_t mode = GetParam() == Path::Gpu ? MIRA_MODE_OPENCL : MIRA_MODE_CPU;
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    src.fillRandom(3);
    dst.fill(7);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()};
    MIRA_Feature_Buf d[2] = {{8, 8, 8, 8, dst.data()}, {8, 8, 8, 8, dst.data()}};
    MIRA_Feature_Buf nullData{8, 8, 8, 8, nullptr};
    MIRA_Manager m;
    for (MIRA_API_ID id : {MIRA_API_ROTATE_U8, MIRA_API_ROTATE_INTERLEAVE_U8}) {
        MIRA_Feature_Param p{uint32_t(id), mode, 1, nullptr, 1};
        EXPECT_EQ(m.run(nullptr, 1, d, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&s, 0, d, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&s, 1, d, 0, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&nullData, 1, d, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&s, 1, &nullData, 1, &p), MIRA_ERR_ARG);
    }
    // The planar CPU path takes exactly one destination.
    MIRA_Feature_Param p{MIRA_API_ROTATE_U8, MIRA_MODE_CPU, 1, nullptr, 1};
    EXPECT_EQ(m.run(&s, 1, d, 2, &p), MIRA_ERR_ARG);
    MIRA_ROTATE_U8 r;
    EXPECT_EQ(r.MIRA_ROTATE_U8_neon(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(r.MIRA_ROTATE_U8_opencl(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    MIRA_ROTATE_INTERLEAVE_U8 ri;
    EXPECT_EQ(ri.MIRA_ROTATE_INTERLEAVE_U8_neon(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(ri.MIRA_ROTATE_INTERLEAVE_U8_opencl(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(dst.packed(), std::vector<uint8_t>(64, 7));
}

INSTANTIATE_TEST_SUITE_P(Paths, RotateBothPaths, ::testing::Values(Path::Cpu, Path::Gpu),
                         [](const auto& info) { return std::string(path_name(info.param)); });

TEST(Rotate, NullPointersReturnWithoutWriting) {
    GuardedImage dst(4, 4, 4);
    dst.fill(9);
    ncvRotateImageu8(nullptr, 4, 4, 4, dst.data(), 4, 1);
    ncvRotateImageInterleavedu8(nullptr, 2, 4, 4, dst.data(), 4, 1);
    EXPECT_EQ(dst.packed(), std::vector<uint8_t>(16, 9));
}

}  // namespace
