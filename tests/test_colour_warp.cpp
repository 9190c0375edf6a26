// The affine warp of 3- and 4-channel images on the CPU path: every channel
// is the plane warp of that channel, byte for byte (the plane warp itself is
// checked against the scalar reference in test_affine.cpp), the spans are the
// plane call's, nothing outside the destination's rows is written and the
// sources are read only inside (guard pages, padded rows). Channel counts
// other than 1, 3 and 4 are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <tuple>

#include "common/colour_warp_cases.h"

namespace {

using colour_warp::GuardedImage;
using colour_warp::Result;

// (source w, h, destination w, h): destinations of every odd width and
// height, from sources of the same size and of another.
struct Dims {
    uint32_t sw, sh, dw, dh;
};
std::vector<Dims> dims_table() {
    std::vector<Dims> v;
    const uint32_t widths[] = {1, 7, 17, 33, 641}, heights[] = {1, 2, 3, 17};
    for (uint32_t w : widths)
        for (uint32_t h : heights) {
            v.push_back({w, h, w, h});
            v.push_back({(w * 5 + 3) % 41 + 1, (h * 7 + 2) % 19 + 1, w, h});
        }
    return v;
}

const mira_warp_interpolation kInterps[] = {MIRA_WARP_NEAREST, MIRA_WARP_BILINEAR,
                                            MIRA_WARP_BICUBIC};

// One geometry through every matrix and two row paddings.
void check_geometry(const Dims& d, uint32_t channels, mira_warp_interpolation interp,
                    mira_path path) {
    for (const colour_warp::Matrix& mat :
         colour_warp::matrices(d.sw, d.sh, d.dw, d.dh, d.sw * 131 + d.dh)) {
        for (uint32_t pad : {0u, 9u}) {
            SCOPED_TRACE(std::to_string(d.sw) + "x" + std::to_string(d.sh) + " -> " +
                         std::to_string(d.dw) + "x" + std::to_string(d.dh) + ", " + mat.name +
                         ", pad " + std::to_string(pad));
            GuardedImage src(d.sw * channels, d.sh, d.sw * channels + pad);
            src.fillRandom(d.sw * 7 + d.sh * 3 + pad + channels);
            const Result got =
                colour_warp::warp(src, d.sw, d.sh, channels, mat.m, d.dw, d.dh, pad, interp, path);
            ASSERT_EQ(got.status, MIRA_STATUS_OK);
            const Result want = colour_warp::split_warp_interleave(src, d.sw, d.sh, channels,
                                                                   mat.m, d.dw, d.dh, interp, path);
            ASSERT_EQ(want.status, MIRA_STATUS_OK);
            EXPECT_TRUE(colour_warp::same_pixels(want.pixels, got.pixels, d.dw, channels));
            EXPECT_EQ(got.spans, want.spans);
            EXPECT_TRUE(got.intact) << "bytes between or after the rows were written";
            if (::testing::Test::HasFailure()) return;
        }
    }
}

class ColourWarp
    : public ::testing::TestWithParam<std::tuple<mira_warp_interpolation, uint32_t, int>> {};

TEST_P(ColourWarp, EqualsTheChannelsWarpedAsPlanes) {
    const auto [interp, channels, di] = GetParam();
    check_geometry(dims_table()[size_t(di)], channels, interp, MIRA_PATH_CPU);
}

INSTANTIATE_TEST_SUITE_P(Cpu, ColourWarp,
                         ::testing::Combine(::testing::ValuesIn(kInterps),
                                            ::testing::Values(3u, 4u),
                                            ::testing::Range(0, int(dims_table().size()))));

// Full HD: long fast runs, the row tiling and every kind of matrix.
class ColourWarpFullHd
    : public ::testing::TestWithParam<std::tuple<mira_warp_interpolation, uint32_t>> {};

TEST_P(ColourWarpFullHd, EqualsTheChannelsWarpedAsPlanes) {
    const auto [interp, channels] = GetParam();
    const uint32_t w = 1920, h = 1080;
    GuardedImage src(w * channels, h, w * channels + 64);
    src.fillRandom(1080 + channels);
    const colour_warp::Matrix mats[] = {
        colour_warp::rotation("rotate 10 x1.1", w, h, w, h, 10, 1.1),
        colour_warp::rotation("rotate 135 x0.7", w, h, w, h, 135, 0.7),
        {"shear, partly outside", {1, 0.2f, 300.25f, -0.1f, 0.95f, 40.5f}}};
    for (const auto& mat : mats) {
        SCOPED_TRACE(mat.name);
        const Result got = colour_warp::warp(src, w, h, channels, mat.m, w, h, 5, interp,
                                             MIRA_PATH_CPU);
        ASSERT_EQ(got.status, MIRA_STATUS_OK);
        const Result want = colour_warp::split_warp_interleave(src, w, h, channels, mat.m, w, h,
                                                               interp, MIRA_PATH_CPU);
        EXPECT_TRUE(colour_warp::same_pixels(want.pixels, got.pixels, w, channels));
        EXPECT_EQ(got.spans, want.spans);
        EXPECT_TRUE(got.intact);
    }
}

INSTANTIATE_TEST_SUITE_P(Cpu, ColourWarpFullHd,
                         ::testing::Combine(::testing::ValuesIn(kInterps),
                                            ::testing::Values(3u, 4u)));

// Channel counts other than 1, 3 and 4 (in both images) are unsupported,
// images whose channels differ or whose stride is short of a colour row are
// bad arguments; nothing is written either way.
TEST(ColourWarpArgs, RefusedRequestsWriteNothing) {
    const uint32_t w = 9, h = 5;
    std::vector<uint8_t> src(size_t(w) * h * 8, 77), dst(size_t(w) * h * 8, 0x33);
    std::vector<uint32_t> spans(2 * h, 12345);
    const float m[6] = {1, 0, 0.5f, 0, 1, 0.25f};
    struct Case {
        uint32_t srcCh, dstCh, srcStride, dstStride;
        mira_status want;
    };
    const Case cases[] = {
        {0, 0, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT}, {2, 2, 8 * w, 8 * w, MIRA_STATUS_UNSUPPORTED},
        {5, 5, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT}, {8, 8, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT},
        {3, 2, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT}, {3, 4, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT},
        {4, 1, 8 * w, 8 * w, MIRA_STATUS_BAD_ARGUMENT}, {3, 3, 3 * w - 1, 3 * w, MIRA_STATUS_BAD_ARGUMENT},
        {4, 4, 4 * w, 4 * w - 1, MIRA_STATUS_BAD_ARGUMENT}};
    for (const Case& c : cases)
        for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU})
            for (mira_warp_interpolation interp : kInterps) {
                SCOPED_TRACE("channels " + std::to_string(c.srcCh) + "/" + std::to_string(c.dstCh) +
                             ", strides " + std::to_string(c.srcStride) + "/" +
                             std::to_string(c.dstStride));
                const mira_image s{src.data(), w, h, c.srcStride, c.srcCh};
                const mira_image d{dst.data(), w, h, c.dstStride, c.dstCh};
                EXPECT_EQ(mira_warp_affine(&s, m, &d, interp, spans.data(), path), c.want);
                EXPECT_EQ(std::count(dst.begin(), dst.end(), 0x33), std::ptrdiff_t(dst.size()));
                EXPECT_EQ(std::count(spans.begin(), spans.end(), 12345u),
                          std::ptrdiff_t(spans.size()));
            }
}

}  // namespace
