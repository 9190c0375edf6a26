// Camera frames (mira_yuv420_*): every layout x matrix x range x RGB format
// against references written from the ITU formulas, exhaustively over all
// 2^24 inputs, the round trip, the argument checks and libyuv as a second
// oracle. CPU path here; tests/gpu/test_gpu_camera.cpp compares the GPU path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef MIRA_TEST_LIBYUV_ORACLE
#include <libyuv.h>
#endif

#include "common/camera_frame.h"
#include "mira/mira_image.h"

using namespace camera_test;

namespace {

const uint32_t kSizes[][2] = {{1, 1}, {1, 2}, {2, 1}, {7, 3}, {17, 17}, {33, 2}, {16, 16},
                              {31, 5}, {641, 17}, {48, 3}};

struct Case {
    Layout layout;
    uint32_t w, h;
};
std::vector<Case> all_cases() {
    std::vector<Case> v;
    for (Layout l : kLayouts)
        for (auto& s : kSizes) v.push_back({l, s[0], s[1]});
    return v;
}

class CameraLayouts : public ::testing::TestWithParam<Case> {};

// Every layout x size x matrix x range x format: the bytes of the documented
// integer formula exactly, within 1 of the exact formula, padding and the
// frame untouched.
TEST_P(CameraLayouts, ToRgbMatchesFormulaAndExact) {
    const Case c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w * 31 + c.h);
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges) {
            const IntToRgb k(m, r);
            for (mira_rgb_format fmt : kFormats) {
                const int chn = channels_of(fmt);
                TestRgb out(c.w, c.h, chn);
                ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &out.im, fmt, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                for (uint32_t y = 0; y < c.h; ++y)
                    for (uint32_t x = 0; x < c.w; ++x) {
                        const int Y = fr.Y(x, y), U = fr.U(x / 2, y / 2), V = fr.V(x / 2, y / 2);
                        int want[3];
                        double ex[3];
                        k.rgb(Y, U, V, want);
                        exact_rgb(m, r, Y, U, V, ex);
                        const uint8_t* p = out.px(x, y);
                        const int got[3] = {blue_first(fmt) ? p[2] : p[0], p[1],
                                            blue_first(fmt) ? p[0] : p[2]};
                        for (int i = 0; i < 3; ++i) {
                            ASSERT_EQ(got[i], want[i])
                                << name_of(c.layout) << " " << c.w << "x" << c.h << " m" << m
                                << " r" << r << " f" << fmt << " at " << x << "," << y << " ch " << i;
                            ASSERT_LE(std::abs(got[i] - round_clamp(ex[i])), 1);
                        }
                        if (chn == 4) {
                            ASSERT_EQ(p[3], 255);
                        }
                    }
                ASSERT_TRUE(out.g->paddingIntact());
            }
        }
    EXPECT_TRUE(fr.canaries_intact());
}

TEST_P(CameraLayouts, FromRgbMatchesFormulaAndExact) {
    const Case c = GetParam();
    std::mt19937 rng(c.w * 7 + c.h);
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges) {
            const IntFromRgb k(m, r);
            for (mira_rgb_format fmt : kFormats) {
                const int chn = channels_of(fmt);
                TestRgb in(c.w, c.h, chn);
                for (uint32_t y = 0; y < c.h; ++y)
                    for (uint32_t x = 0; x < c.w * chn; ++x) in.g->row(y)[x] = uint8_t(rng());
                TestFrame fr(c.layout, c.w, c.h);
                ASSERT_EQ(mira_rgb_to_yuv420(&in.im, fmt, &fr.f, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                auto rgb = [&](uint32_t x, uint32_t y, int i) {
                    const uint8_t* p = in.px(x, y);
                    return int(i == 1 ? p[1] : (blue_first(fmt) == (i == 0) ? p[2] : p[0]));
                };
                for (uint32_t y = 0; y < c.h; ++y)
                    for (uint32_t x = 0; x < c.w; ++x) {
                        const int R = rgb(x, y, 0), G = rgb(x, y, 1), B = rgb(x, y, 2);
                        ASSERT_EQ(fr.Y(x, y), k.y(R, G, B)) << name_of(c.layout) << " " << x << "," << y;
                        ASSERT_LE(std::abs(fr.Y(x, y) - round_clamp(exact_y(m, r, R, G, B))), 1);
                    }
                for (uint32_t j = 0; j < fr.ch; ++j)
                    for (uint32_t i = 0; i < fr.cw; ++i) {
                        // The pixels of the block that exist, and their mean.
                        int s[3] = {0, 0, 0}, n = 0;
                        for (uint32_t y = 2 * j; y < std::min(c.h, 2 * j + 2); ++y)
                            for (uint32_t x = 2 * i; x < std::min(c.w, 2 * i + 2); ++x, ++n)
                                for (int t = 0; t < 3; ++t) s[t] += rgb(x, y, t);
                        int u, v;
                        k.uv(s[0] * 4 / n, s[1] * 4 / n, s[2] * 4 / n, &u, &v);
                        ASSERT_EQ(fr.U(i, j), u) << name_of(c.layout) << " m" << m << " r" << r
                                                 << " f" << fmt << " block " << i << "," << j;
                        ASSERT_EQ(fr.V(i, j), v) << name_of(c.layout) << " block " << i << "," << j;
                        double eu, ev;
                        exact_uv(m, r, s[0] / double(n), s[1] / double(n), s[2] / double(n), &eu, &ev);
                        ASSERT_LE(std::abs(fr.U(i, j) - round_clamp(eu)), 1);
                        ASSERT_LE(std::abs(fr.V(i, j) - round_clamp(ev)), 1);
                    }
                ASSERT_TRUE(fr.canaries_intact()) << name_of(c.layout);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(All, CameraLayouts, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             std::string n = name_of(i.param.layout);
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n + "_" + std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
                         });

// ------------------------------------------------------------ exhaustive

struct Tally {
    int maxErr = 0;
    uint64_t offByOne = 0, samples = 0;
};

// Every (Y, U, V) triple through the public call, in I420 chunks of 4096 x
// 512 pixels: each 2x2 block takes one (U, V) pair and four consecutive Y
// values, 64 blocks per pair cover Y 0..255. Every sample within 1 of the
// exact formula rounded to nearest.
TEST(CameraExhaustive, ToRgbEveryTripleWithinOne) {
    const uint32_t W = 4096, H = 512, cw = W / 2, chh = H / 2;
    std::vector<uint8_t> y(size_t(W) * H), u(size_t(cw) * chh), v(size_t(cw) * chh), rgb(size_t(W) * H * 3);
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges) {
            Tally t;
            for (uint32_t chunk = 0; chunk < 8; ++chunk) {
                for (uint32_t by = 0; by < chh; ++by)
                    for (uint32_t bx = 0; bx < cw; ++bx) {
                        const uint32_t b = (chunk * chh + by) * cw + bx;  // 0 .. 2^22
                        const uint32_t uv = b / 64, ys = (b % 64) * 4;
                        u[by * cw + bx] = uint8_t(uv >> 8);
                        v[by * cw + bx] = uint8_t(uv & 255);
                        y[(2 * by) * W + 2 * bx] = uint8_t(ys);
                        y[(2 * by) * W + 2 * bx + 1] = uint8_t(ys + 1);
                        y[(2 * by + 1) * W + 2 * bx] = uint8_t(ys + 2);
                        y[(2 * by + 1) * W + 2 * bx + 1] = uint8_t(ys + 3);
                    }
                mira_yuv420 f{y.data(), u.data(), v.data(), W, H, W, cw, cw, 1};
                mira_image out{rgb.data(), W, H, W * 3, 3};
                ASSERT_EQ(mira_yuv420_to_rgb(&f, &out, MIRA_RGB_FORMAT_RGB, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                for (uint32_t py = 0; py < H; ++py)
                    for (uint32_t px = 0; px < W; ++px) {
                        double ex[3];
                        exact_rgb(m, r, y[py * W + px], u[(py / 2) * cw + px / 2], v[(py / 2) * cw + px / 2], ex);
                        for (int i = 0; i < 3; ++i) {
                            const int d = std::abs(rgb[(size_t(py) * W + px) * 3 + i] - round_clamp(ex[i]));
                            t.maxErr = std::max(t.maxErr, d);
                            t.offByOne += d != 0;
                            ++t.samples;
                        }
                    }
            }
            std::printf("to RGB  matrix %d range %d: %llu samples, max error %d, %llu off by one (%.4f%%)\n",
                        int(m), int(r), (unsigned long long)t.samples, t.maxErr,
                        (unsigned long long)t.offByOne, 100.0 * t.offByOne / t.samples);
            EXPECT_EQ(t.samples, 3ull << 24);
            EXPECT_LE(t.maxErr, 1) << "matrix " << m << " range " << r;
        }
}

// Every RGB colour through the public call as a uniform 2x2 block (so its
// block mean is the colour): each Y, U and V within 1 of the exact formula.
TEST(CameraExhaustive, FromRgbEveryColourWithinOne) {
    const uint32_t W = 4096, H = 512, cw = W / 2, chh = H / 2;
    std::vector<uint8_t> rgb(size_t(W) * H * 3), y(size_t(W) * H), u(size_t(cw) * chh), v(size_t(cw) * chh);
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges) {
            Tally ty, tc;
            for (uint32_t chunk = 0; chunk < 32; ++chunk) {
                for (uint32_t by = 0; by < chh; ++by)
                    for (uint32_t bx = 0; bx < cw; ++bx) {
                        const uint32_t col = (chunk * chh + by) * cw + bx;  // < 2^24 over 32 chunks x 2^19
                        for (uint32_t k = 0; k < 4; ++k) {
                            uint8_t* p = &rgb[((2 * by + k / 2) * size_t(W) + 2 * bx + k % 2) * 3];
                            p[0] = uint8_t(col >> 16);
                            p[1] = uint8_t(col >> 8);
                            p[2] = uint8_t(col);
                        }
                    }
                mira_image in{rgb.data(), W, H, W * 3, 3};
                mira_yuv420 f{y.data(), u.data(), v.data(), W, H, W, cw, cw, 1};
                ASSERT_EQ(mira_rgb_to_yuv420(&in, MIRA_RGB_FORMAT_RGB, &f, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                for (uint32_t by = 0; by < chh; ++by)
                    for (uint32_t bx = 0; bx < cw; ++bx) {
                        const uint32_t col = (chunk * chh + by) * cw + bx;
                        const double R = col >> 16, G = (col >> 8) & 255, B = col & 255;
                        const int ey = round_clamp(exact_y(m, r, R, G, B));
                        for (uint32_t k = 0; k < 4; ++k) {
                            const int d = std::abs(y[(2 * by + k / 2) * size_t(W) + 2 * bx + k % 2] - ey);
                            ty.maxErr = std::max(ty.maxErr, d);
                            ty.offByOne += d != 0;
                            ++ty.samples;
                        }
                        double eu, ev;
                        exact_uv(m, r, R, G, B, &eu, &ev);
                        for (int d : {std::abs(u[by * cw + bx] - round_clamp(eu)),
                                      std::abs(v[by * cw + bx] - round_clamp(ev))}) {
                            tc.maxErr = std::max(tc.maxErr, d);
                            tc.offByOne += d != 0;
                            ++tc.samples;
                        }
                    }
            }
            std::printf("from RGB matrix %d range %d: Y max error %d, %llu of %llu off by one; "
                        "U,V max error %d, %llu of %llu off by one\n",
                        int(m), int(r), ty.maxErr, (unsigned long long)ty.offByOne,
                        (unsigned long long)ty.samples, tc.maxErr, (unsigned long long)tc.offByOne,
                        (unsigned long long)tc.samples);
            EXPECT_EQ(tc.samples, 2ull << 24);
            EXPECT_LE(ty.maxErr, 1);
            EXPECT_LE(tc.maxErr, 1);
        }
}

// ------------------------------------------------------------ round trip

// RGB -> YUV -> RGB on images whose 2x2 blocks are uniform (chroma
// subsampling then loses nothing): each step is within 1 of its exact
// formula, so a channel can move by at most 1.5 luma steps and 1.5 steps of
// each chroma sample it uses, times their weights, plus 1.5 for its own
// rounding. The bound is computed from the matrix; the largest change seen
// is printed.
TEST(CameraRoundTrip, UniformBlocksWithinFormulaBound) {
    for (auto& s : kSizes) {
        const uint32_t w = s[0], h = s[1];
        for (mira_matrix m : kMatrices)
            for (mira_range r : kRanges) {
                const double kr = kItu[m].kr, kb = kItu[m].kb, kg = 1 - kr - kb;
                const bool lim = r == MIRA_RANGE_LIMITED;
                const double ys = lim ? 255.0 / 219 : 1, cs = lim ? 255.0 / 224 : 1;
                const double bound[3] = {
                    1.5 * ys + 1.5 * cs * 2 * (1 - kr) + 1.5,
                    1.5 * ys + 1.5 * cs * (2 * (1 - kb) * kb / kg + 2 * (1 - kr) * kr / kg) + 1.5,
                    1.5 * ys + 1.5 * cs * 2 * (1 - kb) + 1.5};
                std::mt19937 rng(w + 100 * h + 7 * m + r);
                TestRgb in(w, h, 3), back(w, h, 3);
                for (uint32_t y = 0; y < h; y += 2)
                    for (uint32_t x = 0; x < w; x += 2) {
                        const uint8_t c[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
                        for (uint32_t yy = y; yy < std::min(h, y + 2); ++yy)
                            for (uint32_t xx = x; xx < std::min(w, x + 2); ++xx)
                                std::memcpy(in.px(xx, yy), c, 3);
                    }
                TestFrame fr(Layout::Nv21, w, h);
                ASSERT_EQ(mira_rgb_to_yuv420(&in.im, MIRA_RGB_FORMAT_RGB, &fr.f, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &back.im, MIRA_RGB_FORMAT_RGB, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x)
                        for (int i = 0; i < 3; ++i)
                            ASSERT_LE(std::abs(int(in.px(x, y)[i]) - int(back.px(x, y)[i])), bound[i])
                                << w << "x" << h << " m" << m << " r" << r << " at " << x << "," << y;
            }
    }
}

// ------------------------------------------------------------ arguments

TEST(CameraArguments, RefusedBeforeAnythingIsWritten) {
    const uint32_t w = 17, h = 9;
    TestFrame fr(Layout::I420, w, h);
    fr.fill_random(3);
    TestRgb out(w, h, 4);
    out.g->fill(0x11);
    const std::vector<uint8_t> before = out.g->packed();
    auto refused = [&](const mira_yuv420& f, const mira_image& d, mira_rgb_format fmt = MIRA_RGB_FORMAT_RGBA,
                       int m = 0, int r = 0, int path = MIRA_PATH_CPU) {
        return mira_yuv420_to_rgb(&f, &d, fmt, mira_matrix(m), mira_range(r), mira_path(path)) ==
                   MIRA_STATUS_BAD_ARGUMENT &&
               out.g->packed() == before;
    };
    const mira_yuv420 good = fr.f;
    EXPECT_TRUE(mira_yuv420_to_rgb(nullptr, &out.im, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, MIRA_PATH_CPU) == MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_TRUE(mira_yuv420_to_rgb(&good, nullptr, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, MIRA_PATH_CPU) == MIRA_STATUS_BAD_ARGUMENT);
    mira_yuv420 f = good;
    f.u = nullptr;
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.uv_pixel_stride = 3;
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.uv_pixel_stride = 0;
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.u_stride = 8;  // ceil(17 / 2) = 9 samples
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.y_stride = 16;
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.width = 0;
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.v = f.u;  // planes overlap
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.u = f.y + 10;  // chroma inside the luma
    EXPECT_TRUE(refused(f, out.im));
    f = good;
    f.uv_pixel_stride = 2;  // two-byte steps: now U runs into V
    f.u_stride = f.v_stride = 17;
    EXPECT_TRUE(refused(f, out.im));
    EXPECT_TRUE(refused(good, out.im, mira_rgb_format(4)));
    EXPECT_TRUE(refused(good, out.im, MIRA_RGB_FORMAT_RGB));  // 4 channels given
    EXPECT_TRUE(refused(good, out.im, MIRA_RGB_FORMAT_RGBA, 3));
    EXPECT_TRUE(refused(good, out.im, MIRA_RGB_FORMAT_RGBA, 0, 2));
    EXPECT_TRUE(refused(good, out.im, MIRA_RGB_FORMAT_RGBA, 0, 0, 7));
    mira_image d = out.im;
    d.width = 16;
    EXPECT_TRUE(refused(good, d));
    d = out.im;
    d.stride = 4 * 17 - 1;
    EXPECT_TRUE(refused(good, d));
    // A destination over the chroma planes.
    std::vector<uint8_t> big(4 * w * h + 64);
    TestFrame inside(Layout::I420, w, h);
    mira_image over{inside.f.u - 4, w, h, 4 * w, 4};
    EXPECT_EQ(mira_yuv420_to_rgb(&inside.f, &over, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                 MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_BAD_ARGUMENT);
    // RGB to YUV: a frame plane over the source, planes over each other.
    TestRgb src(w, h, 3);
    TestFrame dst(Layout::Nv12, w, h);
    const std::vector<uint8_t> dstBefore(dst.blocks[0]->data(), dst.blocks[0]->data() + dst.blocks[0]->size());
    mira_yuv420 g = dst.f;
    g.u = src.im.data;
    EXPECT_EQ(mira_rgb_to_yuv420(&src.im, MIRA_RGB_FORMAT_RGB, &g, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_BAD_ARGUMENT);
    g = dst.f;
    g.v = g.u;
    EXPECT_EQ(mira_rgb_to_yuv420(&src.im, MIRA_RGB_FORMAT_RGB, &g, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_rgb_to_yuv420(&src.im, MIRA_RGB_FORMAT_RGBA, &dst.f, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_TRUE(std::equal(dstBefore.begin(), dstBefore.end(), dst.blocks[0]->data()));
    // The packed-buffer helpers refuse buffers one byte short.
    std::vector<uint8_t> buf(17 * 9 + 2 * 9 * 5);
    mira_yuv420 h1{};
    EXPECT_EQ(mira_yuv420_nv21(&h1, buf.data(), buf.size() - 1, 17, 9), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_yuv420_nv12(&h1, buf.data(), buf.size() - 1, 17, 9), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_yuv420_i420(&h1, buf.data(), buf.size() - 1, 17, 9), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_yuv420_nv21(&h1, nullptr, buf.size(), 17, 9), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_yuv420_nv21(&h1, buf.data(), buf.size(), 0, 9), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(mira_yuv420_nv21(&h1, buf.data(), buf.size(), 17, 9), MIRA_STATUS_OK);
    EXPECT_EQ(h1.v, buf.data() + 17 * 9);
    EXPECT_EQ(h1.u, buf.data() + 17 * 9 + 1);
    EXPECT_EQ(h1.uv_pixel_stride, 2u);
    EXPECT_EQ(h1.u_stride, 18u);
}

// Pair planes whose U and V interleave (one even stride, an odd distance)
// are accepted; the same with an odd stride is judged by the rows' spans.
TEST(CameraArguments, InterleavedChromaIsNoOverlap) {
    std::vector<uint8_t> buf(8 * 8 + 2 * 4 * 4 + 1);
    mira_yuv420 f{};
    ASSERT_EQ(mira_yuv420_nv21(&f, buf.data(), buf.size(), 8, 8), MIRA_STATUS_OK);
    std::vector<uint8_t> out(8 * 8 * 3);
    mira_image d{out.data(), 8, 8, 24, 3};
    EXPECT_EQ(mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGB, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_OK);
    f.u_stride = f.v_stride = 9;
    EXPECT_EQ(mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGB, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_BAD_ARGUMENT);
}

// ------------------------------------------------------------ large frames

// 1080p and 4K (the banded paths) against the integer formula on sampled rows.
TEST(CameraLarge, BandedFramesMatchFormula) {
    for (auto wh : {std::pair<uint32_t, uint32_t>{1920, 1080}, {3840, 2160}, {1279, 721}}) {
        const uint32_t w = wh.first, h = wh.second;
        TestFrame fr(Layout::Nv21, w, h);
        fr.fill_random(w);
        TestRgb out(w, h, 4, 0);
        ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &out.im, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                  MIRA_STATUS_OK);
        const IntToRgb k(MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED);
        // Sampled rows, the rows around every band's first row (the bands
        // split row pairs evenly, at most 16 of them) and the last two rows.
        std::vector<uint32_t> rows;
        for (uint32_t y = 0; y < h; y += 13) rows.push_back(y);
        const uint32_t pairs = (h + 1) / 2;
        for (uint32_t b = 1; b <= 16; ++b)
            for (uint32_t n : {2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 13u, 14u, 15u, 16u}) {
                const uint32_t y = 2 * uint32_t(uint64_t(pairs) * b / n);
                if (b < n && y >= 1) rows.insert(rows.end(), {y - 1, y});
            }
        rows.insert(rows.end(), {h - 2, h - 1});
        for (uint32_t y : rows)
            for (uint32_t x = 0; x < w; ++x) {
                int want[3];
                k.rgb(fr.Y(x, y), fr.U(x / 2, y / 2), fr.V(x / 2, y / 2), want);
                for (int i = 0; i < 3; ++i) ASSERT_EQ(out.px(x, y)[i], want[i]) << w << " " << x << "," << y;
            }
        TestFrame back(Layout::I420, w, h);
        ASSERT_EQ(mira_rgb_to_yuv420(&out.im, MIRA_RGB_FORMAT_RGBA, &back.f, MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                  MIRA_STATUS_OK);
        const IntFromRgb kb(MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED);
        std::vector<uint32_t> crows;
        for (uint32_t j = 0; j < back.ch; j += 37) crows.push_back(j);
        crows.push_back(back.ch - 1);
        for (uint32_t j : crows)
            for (uint32_t i = 0; i < back.cw; ++i) {
                int s[3] = {0, 0, 0}, n = 0;
                for (uint32_t y = 2 * j; y < std::min(h, 2 * j + 2); ++y)
                    for (uint32_t x = 2 * i; x < std::min(w, 2 * i + 2); ++x, ++n)
                        for (int t = 0; t < 3; ++t) s[t] += out.px(x, y)[t];
                int u, v;
                kb.uv(s[0] * 4 / n, s[1] * 4 / n, s[2] * 4 / n, &u, &v);
                ASSERT_EQ(back.U(i, j), u);
                ASSERT_EQ(back.V(i, j), v);
                ASSERT_EQ(back.Y(2 * i, 2 * j), kb.y(out.px(2 * i, 2 * j)[0], out.px(2 * i, 2 * j)[1], out.px(2 * i, 2 * j)[2]));
            }
    }
}

// ------------------------------------------------------------ libyuv

#ifdef MIRA_TEST_LIBYUV_ORACLE
// libyuv as a second oracle: its I420/J420/H420/U420 conversions (6-bit
// fixed point) against ours on a random 641 x 17 frame. libyuv's "ABGR" is
// R,G,B,A in memory (our RGBA), "ARGB" is B,G,R,A (BGRA), "RAW" is R,G,B,
// "RGB24" B,G,R. Largest differences measured (and asserted, so a change
// shows): 1 in red and green for every matrix and range; in blue 3 for
// BT.601 limited (libyuv's 6-bit coefficients; ours are within 1 of the
// exact values), 1 for full range, and 15 and 18 for BT.709 and BT.2020:
// libyuv caps its blue coefficient at 2.0 (128/64) where the exact values
// are 2.112 and 2.142, so its blue saturates early for large U.
TEST(CameraLibyuv, ToRgbCloseToLibyuv) {
    const int w = 641, h = 17, cw = (w + 1) / 2, chh = (h + 1) / 2;
    TestFrame fr(Layout::I420, w, h);
    fr.fill_random(11);
    struct Oracle {
        const char* name;
        mira_matrix m;
        mira_range r;
        mira_rgb_format fmt;
        int maxDiff;      // largest |ours - libyuv| measured in red and green
        int maxDiffBlue;  // and in blue
        int (*fn)(const uint8_t*, int, const uint8_t*, int, const uint8_t*, int, uint8_t*, int, int, int);
    };
    const Oracle oracles[] = {
        {"I420ToABGR", MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGBA, 1, 3, libyuv::I420ToABGR},
        {"I420ToARGB", MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_BGRA, 1, 3, libyuv::I420ToARGB},
        {"I420ToRAW", MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGB, 1, 3, libyuv::I420ToRAW},
        {"I420ToRGB24", MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_BGR, 1, 3, libyuv::I420ToRGB24},
        {"J420ToABGR", MIRA_MATRIX_BT601, MIRA_RANGE_FULL, MIRA_RGB_FORMAT_RGBA, 1, 1, libyuv::J420ToABGR},
        {"H420ToABGR", MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGBA, 1, 15, libyuv::H420ToABGR},
        {"U420ToABGR", MIRA_MATRIX_BT2020, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGBA, 1, 18, libyuv::U420ToABGR},
    };
    for (const Oracle& o : oracles) {
        const int chn = channels_of(o.fmt);
        std::vector<uint8_t> ref(size_t(w) * h * chn);
        TestRgb ours(w, h, chn, 0);
        ASSERT_EQ(o.fn(fr.f.y, fr.f.y_stride, fr.f.u, cw, fr.f.v, cw, ref.data(), w * chn, w, h), 0);
        ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &ours.im, o.fmt, o.m, o.r, MIRA_PATH_CPU), MIRA_STATUS_OK);
        int maxDiff = 0, maxBlue = 0;
        const int blue = blue_first(o.fmt) ? 0 : 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w * chn; ++x) {
                const int d = std::abs(int(ours.g->row(y)[x]) - int(ref[size_t(y) * w * chn + x]));
                int& m = x % chn == blue ? maxBlue : maxDiff;
                m = std::max(m, d);
            }
        std::printf("%s: largest difference %d (red, green, alpha), %d (blue)\n", o.name, maxDiff, maxBlue);
        EXPECT_LE(maxDiff, o.maxDiff) << o.name;
        EXPECT_LE(maxBlue, o.maxDiffBlue) << o.name;
        (void)chh;
    }
}

TEST(CameraLibyuv, FromRgbCloseToLibyuv) {
    const int w = 641, h = 17, cw = (w + 1) / 2, chh = (h + 1) / 2;
    struct Oracle {
        const char* name;
        mira_range r;
        mira_rgb_format fmt;
        int maxDiff;
        int (*fn)(const uint8_t*, int, uint8_t*, int, uint8_t*, int, uint8_t*, int, int, int);
    };
    // Largest differences measured: 1 (ARGB, RAW, J420) and 2 (ABGR, RGB24).
    const Oracle oracles[] = {
        {"ARGBToI420", MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_BGRA, 1, libyuv::ARGBToI420},
        {"ABGRToI420", MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGBA, 2, libyuv::ABGRToI420},
        {"RGB24ToI420", MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_BGR, 2, libyuv::RGB24ToI420},
        {"RAWToI420", MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGB, 1, libyuv::RAWToI420},
        {"ARGBToJ420", MIRA_RANGE_FULL, MIRA_RGB_FORMAT_BGRA, 1, libyuv::ARGBToJ420},
    };
    for (const Oracle& o : oracles) {
        const int chn = channels_of(o.fmt);
        TestRgb in(w, h, chn, 0);
        in.g->fillRandom(5);
        std::vector<uint8_t> y(size_t(w) * h), u(size_t(cw) * chh), v(size_t(cw) * chh);
        ASSERT_EQ(o.fn(in.im.data, in.im.stride, y.data(), w, u.data(), cw, v.data(), cw, w, h), 0);
        TestFrame ours(Layout::I420, w, h);
        ASSERT_EQ(mira_rgb_to_yuv420(&in.im, o.fmt, &ours.f, MIRA_MATRIX_BT601, o.r, MIRA_PATH_CPU), MIRA_STATUS_OK);
        int maxDiff = 0;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) maxDiff = std::max(maxDiff, std::abs(ours.Y(i, j) - y[size_t(j) * w + i]));
        for (int j = 0; j < chh; ++j)
            for (int i = 0; i < cw; ++i) {
                maxDiff = std::max(maxDiff, std::abs(ours.U(i, j) - u[size_t(j) * cw + i]));
                maxDiff = std::max(maxDiff, std::abs(ours.V(i, j) - v[size_t(j) * cw + i]));
            }
        std::printf("%s: largest difference %d\n", o.name, maxDiff);
        EXPECT_LE(maxDiff, o.maxDiff) << o.name;
    }
}
#else
// Builds without libyuv for the target (the AArch64 cross build) have no
// second oracle; the reference tests above still run there.
TEST(CameraLibyuv, NoLibyuvForThisTarget) { GTEST_SKIP() << "libyuv is not available to this build"; }
#endif

}  // namespace
