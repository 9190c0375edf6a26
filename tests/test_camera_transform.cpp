// The fused camera call (mira_yuv420_to_rgb_transform): every quarter turn x
// mirror x interpolation x layout, several matrices, ranges and formats,
// odd sizes scaled up and down and a camera frame to a portrait preview,
// against a scalar reference written from the header's arithmetic; nearest
// at equal size against the conversion followed by mira_rotate; the bound
// against converting, turning and resizing separately; argument checks. CPU
// path here; tests/gpu/test_gpu_camera_transform.cpp compares the GPU path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/camera_frame.h"
#include "common/camera_transform_cases.h"
#include "common/camera_transform_reference.h"
#include "mira/mira_image.h"

using namespace camera_test;

namespace {

struct Case {
    Layout layout;
    uint32_t w, h, dw, dh;  // dw, dh of the turned frame: 0 for the turned source size
};

const Layout kTransformLayouts[] = {Layout::Nv21, Layout::Nv12, Layout::I420, Layout::Strided,
                                   Layout::GappedPairs};

std::vector<Case> cases() {
    // Source sizes, and destinations: equal (0, 0), enlarged, reduced, mixed.
    const uint32_t src[][2] = {{1, 1}, {7, 2}, {17, 3}, {33, 17}, {1, 17}, {7, 1}};
    const uint32_t dst[][2] = {{0, 0}, {17, 33}, {3, 2}, {1, 7}, {33, 1}};
    std::vector<Case> v;
    for (Layout l : kTransformLayouts)
        for (auto& s : src)
            for (auto& d : dst) v.push_back({l, s[0], s[1], d[0], d[1]});
    return v;
}

std::string case_name(const ::testing::TestParamInfo<Case>& i) {
    const Case& c = i.param;
    std::string n = name_of(c.layout);
    for (char& ch : n)
        if (ch == '-') ch = '_';
    return n + "_" + std::to_string(c.w) + "x" + std::to_string(c.h) +
           "_to_" + std::to_string(c.dw) + "x" + std::to_string(c.dh);
}

// The matrices, ranges and formats a case runs (all 24 would be 4x slower
// than needed: each pair of format rows shares every other line of code).
struct Conversion {
    mira_matrix m;
    mira_range r;
    mira_rgb_format f;
};
const Conversion kConversions[] = {{MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGBA},
                                   {MIRA_MATRIX_BT709, MIRA_RANGE_FULL, MIRA_RGB_FORMAT_BGR},
                                   {MIRA_MATRIX_BT2020, MIRA_RANGE_LIMITED, MIRA_RGB_FORMAT_RGB},
                                   {MIRA_MATRIX_BT601, MIRA_RANGE_FULL, MIRA_RGB_FORMAT_BGRA}};

class Transform : public ::testing::TestWithParam<Case> {};

// Every turn x mirror x interpolation x conversion: the reference's bytes,
// row padding and the frame untouched, nothing read past a guard page.
TEST_P(Transform, MatchesReference) {
    const Case c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w * 131 + c.h * 7 + c.dw);
    for (int deg : {0, 90, 180, 270})
        for (int mirror : {0, 1})
            for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR})
                for (const Conversion& cv : kConversions) {
                    const bool swap = deg == 90 || deg == 270;
                    const uint32_t dw = c.dw ? c.dw : (swap ? c.h : c.w);
                    const uint32_t dh = c.dh ? c.dh : (swap ? c.w : c.h);
                    const int chn = channels_of(cv.f);
                    TestRgb out(dw, dh, chn);
                    ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &out.im, deg, mirror, ip, cv.f,
                                                           cv.m, cv.r, MIRA_PATH_CPU),
                              MIRA_STATUS_OK);
                    const std::vector<uint8_t> want =
                        reference_transform(fr, dw, dh, deg, mirror, ip == MIRA_INTERPOLATION_BILINEAR,
                                            cv.f, cv.m, cv.r);
                    const size_t bad = first_difference(out, want);
                    ASSERT_EQ(bad, SIZE_MAX)
                        << "degrees " << deg << " mirror " << mirror << " interpolation " << ip
                        << " matrix " << cv.m << " range " << cv.r << " format " << cv.f << " "
                        << dw << "x" << dh << " at byte " << bad;
                    ASSERT_TRUE(out.g->paddingIntact());
                }
    EXPECT_TRUE(fr.canaries_intact());
}

INSTANTIATE_TEST_SUITE_P(Cases, Transform, ::testing::ValuesIn(cases()), case_name);

// Fixed destination sizes at the edges of the line path's windows, odd sizes
// scaled far up and down per axis and a frame large enough for bands
// (common/camera_transform_cases.h): every turn x mirror x interpolation,
// two conversions, against the reference, nothing read past a guard page.
class TransformScaled : public ::testing::TestWithParam<ScaledCase> {};
TEST_P(TransformScaled, MatchesReference) {
    const ScaledCase c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w * 7 + c.h * 131 + c.dh);
    const Conversion conv[] = {kConversions[0], kConversions[1]};
    for (int deg : {0, 90, 180, 270})
        for (int mirror : {0, 1})
            for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR})
                for (const Conversion& cv : conv) {
                    TestRgb out(c.dw, c.dh, channels_of(cv.f));
                    ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &out.im, deg, mirror, ip, cv.f,
                                                           cv.m, cv.r, MIRA_PATH_CPU),
                              MIRA_STATUS_OK);
                    const std::vector<uint8_t> want =
                        reference_transform(fr, c.dw, c.dh, deg, mirror,
                                            ip == MIRA_INTERPOLATION_BILINEAR, cv.f, cv.m, cv.r);
                    const size_t bad = first_difference(out, want);
                    ASSERT_EQ(bad, SIZE_MAX)
                        << "degrees " << deg << " mirror " << mirror << " interpolation " << ip
                        << " format " << cv.f << " at byte " << bad << " (row "
                        << bad / (size_t(c.dw) * channels_of(cv.f)) << ")";
                    ASSERT_TRUE(out.g->paddingIntact());
                }
    EXPECT_TRUE(fr.canaries_intact());
}
INSTANTIATE_TEST_SUITE_P(Cases, TransformScaled, ::testing::ValuesIn(scaled_cases()),
                         [](const auto& i) { return scaled_case_name(i.param); });

// A camera frame (1920x1080 NV21) to a portrait preview (720x1280 RGBA),
// turned both ways and mirrored, in bands on the workers.
TEST(TransformFrame, NV21ToPortraitPreview) {
    TestFrame fr(Layout::Nv21, 1920, 1080);
    fr.fill_random(1080);
    for (int deg : {90, 270})
        for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR}) {
            const int mirror = deg == 270;
            TestRgb out(720, 1280, 4, 0);
            ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &out.im, deg, mirror, ip,
                                                   MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                                   MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                      MIRA_STATUS_OK);
            const auto want = reference_transform(fr, 720, 1280, deg, mirror,
                                                  ip == MIRA_INTERPOLATION_BILINEAR,
                                                  MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                                  MIRA_RANGE_LIMITED);
            ASSERT_EQ(first_difference(out, want), SIZE_MAX) << "degrees " << deg << " interpolation " << ip;
        }
}

// Nearest at the turned size is the conversion followed by mira_rotate (the
// converted image flipped horizontally first when mirrored), byte for byte,
// odd widths included.
class EqualSize : public ::testing::TestWithParam<Layout> {};
TEST_P(EqualSize, NearestIsConvertThenRotate) {
    const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {17, 2}, {33, 17}, {64, 48}, {1, 17}};
    for (auto& s : sizes) {
        const uint32_t w = s[0], h = s[1];
        TestFrame fr(GetParam(), w, h);
        fr.fill_random(w * 3 + h);
        for (mira_rgb_format fmt : kFormats) {
            const int chn = channels_of(fmt);
            TestRgb upright(w, h, chn), flipped(w, h, chn);
            ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &upright.im, fmt, MIRA_MATRIX_BT709,
                                         MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                      MIRA_STATUS_OK);
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    std::memcpy(flipped.px(x, y), upright.px(w - 1 - x, y), size_t(chn));
            for (int mirror : {0, 1})
                for (int deg : {0, 90, 180, 270}) {
                    TestRgb& before = mirror ? flipped : upright;
                    const bool swap = deg == 90 || deg == 270;
                    const uint32_t dw = swap ? h : w, dh = swap ? w : h;
                    TestRgb turned(dw, dh, chn), fused(dw, dh, chn);
                    if (deg == 0) {
                        for (uint32_t y = 0; y < h; ++y)
                            std::memcpy(turned.px(0, y), before.px(0, y), size_t(w) * chn);
                    } else {
                        ASSERT_EQ(mira_rotate(&before.im, &turned.im, deg, MIRA_PATH_CPU),
                                  MIRA_STATUS_OK);
                    }
                    ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &fused.im, deg, mirror,
                                                           MIRA_INTERPOLATION_NONE, fmt,
                                                           MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED,
                                                           MIRA_PATH_CPU),
                              MIRA_STATUS_OK);
                    EXPECT_EQ(fused.g->packed(), turned.g->packed())
                        << w << "x" << h << " degrees " << deg << " mirror " << mirror
                        << " format " << fmt;
                }
        }
    }
}
INSTANTIATE_TEST_SUITE_P(Layouts, EqualSize,
                         ::testing::Values(Layout::Nv21, Layout::Nv12, Layout::I420,
                                           Layout::Strided, Layout::GappedPairs),
                         [](const auto& i) {
                             std::string n = name_of(i.param);
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n;
                         });

// Against the three separate calls (convert, turn, mira_resize bilinear) when
// scaling: the fused call interpolates Y, U, V before converting with its own
// 8-bit weights, the resize interpolates R, G, B (widened when shrinking), so
// they differ; the bound measured on smooth camera-like content (a frame from
// a smooth RGB image) is stated here.
TEST(TransformBound, AgainstSeparateCalls) {
    const uint32_t w = 320, h = 240;
    TestRgb scene(w, h, 4, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = scene.px(x, y);
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.05 + y * 0.02));
            p[1] = uint8_t(128 + 100 * std::cos(x * 0.03 - y * 0.04));
            p[2] = uint8_t((x + 2 * y) * 255 / (w + 2 * h));
            p[3] = 255;
        }
    TestFrame fr(Layout::Nv21, w, h);
    ASSERT_EQ(mira_rgb_to_yuv420(&scene.im, MIRA_RGB_FORMAT_RGBA, &fr.f, MIRA_MATRIX_BT601,
                                 MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_OK);
    TestRgb upright(w, h, 4, 0), turned(h, w, 4, 0);
    ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &upright.im, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                 MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
              MIRA_STATUS_OK);
    ASSERT_EQ(mira_rotate(&upright.im, &turned.im, 90, MIRA_PATH_CPU), MIRA_STATUS_OK);
    const uint32_t sizes[][2] = {{120, 160}, {360, 480}, {200, 400}};
    for (auto& s : sizes) {
        TestRgb separate(s[0], s[1], 4, 0), fused(s[0], s[1], 4, 0);
        ASSERT_EQ(mira_resize(&turned.im, &separate.im, MIRA_INTERPOLATION_BILINEAR,
                              MIRA_BORDER_REPLICATE, 0, MIRA_PATH_CPU),
                  MIRA_STATUS_OK);
        ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &fused.im, 90, 0, MIRA_INTERPOLATION_BILINEAR,
                                               MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                               MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                  MIRA_STATUS_OK);
        const auto a = separate.g->packed(), b = fused.g->packed();
        int worst = 0;
        double sum = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const int d = std::abs(int(a[i]) - int(b[i]));
            worst = std::max(worst, d);
            sum += d;
        }
        const double mean = sum / double(a.size());
        std::printf("fused vs separate %ux%u: largest difference %d, mean %.3f\n", s[0], s[1],
                    worst, mean);
        EXPECT_LE(worst, kSeparateBoundMax) << s[0] << "x" << s[1];
        EXPECT_LE(mean, kSeparateBoundMean) << s[0] << "x" << s[1];
    }
}

// Bad arguments: a status, nothing written.
TEST(TransformArguments, Refused) {
    TestFrame fr(Layout::Nv21, 8, 6);
    fr.fill_random(1);
    TestRgb out(6, 8, 4);
    const auto call = [&](const mira_yuv420* f, const mira_image* d, int deg, int mirror,
                          mira_interpolation ip, mira_rgb_format fmt) {
        return mira_yuv420_to_rgb_transform(f, d, deg, mirror, ip, fmt, MIRA_MATRIX_BT601,
                                            MIRA_RANGE_LIMITED, MIRA_PATH_CPU);
    };
    const mira_interpolation nn = MIRA_INTERPOLATION_NONE;
    const mira_rgb_format rgba = MIRA_RGB_FORMAT_RGBA;
    for (int deg : {-90, 1, 45, 360})
        EXPECT_EQ(call(&fr.f, &out.im, deg, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT) << deg;
    EXPECT_EQ(call(&fr.f, &out.im, 90, 2, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, &out.im, 90, -1, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, &out.im, 90, 0, MIRA_INTERPOLATION_BOX, rgba), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, &out.im, 90, 0, mira_interpolation(7), rgba), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, &out.im, 90, 0, nn, MIRA_RGB_FORMAT_RGB), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, &out.im, 90, 0, nn, mira_rgb_format(9)), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(nullptr, &out.im, 90, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(call(&fr.f, nullptr, 90, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    mira_image narrow = out.im;
    narrow.stride = 6 * 4 - 1;
    EXPECT_EQ(call(&fr.f, &narrow, 90, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    mira_image empty = out.im;
    empty.width = 0;
    EXPECT_EQ(call(&fr.f, &empty, 90, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    // A destination over the frame's luma.
    mira_image over{fr.f.y, 2, 2, 8, 4};
    EXPECT_EQ(call(&fr.f, &over, 0, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    mira_yuv420 badStride = fr.f;
    badStride.uv_pixel_stride = 3;
    EXPECT_EQ(call(&badStride, &out.im, 90, 0, nn, rgba), MIRA_STATUS_BAD_ARGUMENT);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 6 * 4; ++x) ASSERT_EQ(out.g->row(y)[x], kCanary);
    EXPECT_TRUE(out.g->paddingIntact());
    EXPECT_TRUE(fr.canaries_intact());
    EXPECT_EQ(call(&fr.f, &out.im, 90, 1, MIRA_INTERPOLATION_BILINEAR, rgba), MIRA_STATUS_OK);
}

}  // namespace
