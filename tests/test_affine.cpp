#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/param_utils.h"

using mira_test::GuardedImage;

namespace {

// ------------------------------------------------------------ reference
//
// Source positions are single-precision values by definition (the matrix is
// six floats and the position is m0 x + m1 y + m2 in float, each operation
// rounded); they are formed here one operation per statement so nothing is
// fused. Everything after the position is computed in double.

struct Pos {
    float x, y;
};

Pos plain_pos(const float* m, uint32_t x, uint32_t y) {
    const float fx = float(x), fy = float(y);
    float a = m[0] * fx;
    float b = m[1] * fy;
    float sx = a + b;
    sx = sx + m[2];
    a = m[3] * fx;
    b = m[4] * fy;
    float sy = a + b;
    sy = sy + m[5];
    return {sx, sy};
}

Pos centre_pos(const float* m, uint32_t x, uint32_t y) {
    const float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
    float a = fx * m[0];
    float b = fy * m[1];
    float sx = a + b;
    sx = sx + m[2];
    sx = sx - 0.5f;
    a = fx * m[3];
    b = fy * m[4];
    float sy = a + b;
    sy = sy + m[5];
    sy = sy - 0.5f;
    return {sx, sy};
}

struct Src {
    const GuardedImage* img;
    int w, h;
    double at(int64_t x, int64_t y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return 0;
        return img->row(uint32_t(y))[x];
    }
};

// Round half to even with saturation to 16 bits; NaN gives 0.
int64_t round_sat16(float v) {
    if (std::isnan(v)) return 0;
    const double c = std::min(std::max(double(v), -32768.0), 32767.0);
    const double f = std::floor(c), r = c - f;
    if (r > 0.5) return int64_t(f) + 1;
    if (r < 0.5) return int64_t(f);
    return (int64_t(f) % 2 == 0) ? int64_t(f) : int64_t(f) + 1;
}

int ref_nearest(const Src& s, const float* m, uint32_t x, uint32_t y) {
    const Pos p = plain_pos(m, x, y);
    return int(s.at(round_sat16(p.x), round_sat16(p.y)));
}

// Taps and renormalised weights along one axis.
void linear_axis(double sv, int size, int64_t& i1, int64_t& i2, double& w1, double& w2) {
    i1 = std::max<int64_t>(0, int64_t(std::ceil(sv - 1)));
    i2 = std::min<int64_t>(i1 + 1, size - 1);
    const double d1 = std::fabs(double(i1) - sv), d2 = std::fabs(double(i2) - sv);
    w1 = d1 < 1 ? 1 - d1 : 0;
    w2 = d2 < 1 ? 1 - d2 : 0;
    const double sum = w1 + w2;
    w1 /= sum;
    w2 /= sum;
}

int ref_linear(const Src& s, const float* m, uint32_t x, uint32_t y) {
    const Pos p = centre_pos(m, x, y);
    // The truncated position must leave room for the second tap.
    if (!(std::isfinite(p.x) && std::isfinite(p.y))) return 0;
    const double tx = std::trunc(double(p.x)), ty = std::trunc(double(p.y));
    if (!(tx >= 0 && tx < s.w - 1 && ty >= 0 && ty < s.h - 1)) return 0;
    int64_t i1, i2, j1, j2;
    double wx1, wx2, wy1, wy2;
    linear_axis(p.x, s.w, i1, i2, wx1, wx2);
    linear_axis(p.y, s.h, j1, j2, wy1, wy2);
    const double v = s.at(i1, j1) * wy1 * wx1 + s.at(i2, j1) * wy1 * wx2 +
                     s.at(i1, j2) * wy2 * wx1 + s.at(i2, j2) * wy2 * wx2;
    return int(std::trunc(std::min(std::max(v, 0.0), 255.0)));
}

// W(u) of cubic convolution with a = -0.75.
double cubic_w(double u) {
    const double a = -0.75;
    u = std::fabs(u);
    if (u < 1) return (a + 2) * u * u * u - (a + 3) * u * u + 1;
    if (u < 2) return a * u * u * u - 5 * a * u * u + 8 * a * u - 4 * a;
    return 0;
}

// Row k: W(1 + t), W(t), W(1 - t), W(2 - t), t = k / 32, kept to six decimals.
double cubic_coeff(int k, int j) {
    const double t = k / 32.0;
    const double u[4] = {1 + t, t, 1 - t, 2 - t};
    return std::round(cubic_w(u[j]) * 1e6) / 1e6;
}

int ref_cubic(const Src& s, const float* m, uint32_t x, uint32_t y) {
    const Pos p = plain_pos(m, x, y);
    if (!(std::fabs(p.x) < 16777216.f && std::fabs(p.y) < 16777216.f)) return 0;
    const double flx = std::floor(double(p.x)), fly = std::floor(double(p.y));
    const double frx = double(p.x) - flx, fry = double(p.y) - fly;
    const int ax = int(std::nearbyint(frx * 32)) & 31, ay = int(std::nearbyint(fry * 32)) & 31;
    const int64_t tx = int64_t(flx) - (frx * 64 > 63 ? 0 : 1);
    const int64_t ty = int64_t(fly) - (fry * 64 > 63 ? 0 : 1);
    double sum = 0;
    for (int i = 0; i < 4; ++i) {
        double xs = 0;
        for (int j = 0; j < 4; ++j) xs += s.at(tx + j, ty + i) * cubic_coeff(ax, j);
        sum += xs * cubic_coeff(ay, i);
    }
    return int(std::trunc(std::min(std::max(sum, 0.0), 255.0)));
}

int ref_pixel(int interp, const Src& s, const float* m, uint32_t x, uint32_t y) {
    if (interp == 0) return ref_nearest(s, m, x, y);
    if (interp == 3) return ref_cubic(s, m, x, y);
    return ref_linear(s, m, x, y);
}

// Row spans from the formula, in float as defined.
std::vector<uint32_t> ref_spans(const float* m, int sw, int sh, int W, int rows) {
    std::vector<uint32_t> out;
    for (int y = 0; y < rows; ++y) {
        const float fy = float(y);
        int64_t start = W, end = W;
        float t = m[1] * fy;
        float a = 0.f - t;
        a = a - m[2];
        float b = float(sw - 1) - t;
        b = b - m[2];
        const int64_t x1 = int64_t(std::trunc(a / m[0])), x2 = int64_t(std::trunc(b / m[0]));
        t = m[4] * fy;
        a = 0.f - t;
        a = a - m[5];
        b = float(sh - 1) - t;
        b = b - m[5];
        const int64_t y1 = int64_t(std::trunc(a / m[3])), y2 = int64_t(std::trunc(b / m[3]));
        const int64_t hiX = std::min<int64_t>(W, std::max(x1, x2));
        const int64_t loY = std::max<int64_t>(0, std::min(y1, y2));
        if (hiX >= loY) {
            const int64_t loX = std::max<int64_t>(0, std::min(x1, x2));
            const int64_t hiY = std::min<int64_t>(W, std::max(y1, y2));
            if (loX <= hiY) {
                start = std::max(loX, loY);
                end = std::min(hiX, hiY);
            }
        }
        out.push_back(uint32_t(start));
        out.push_back(uint32_t(end));
    }
    return out;
}

// ------------------------------------------------------------ running

enum class Path { Cpu, Gpu, Wrapper };

void warp(Path path, const GuardedImage& src, uint32_t sw, uint32_t sh, const float* m,
          GuardedImage& dst, uint32_t dw, uint32_t dh, uint32_t* spans, int interp) {
    if (path == Path::Wrapper) {
        ncvTransformAffineClippedu8_v2(src.data(), sw, sh, src.stride(), m, dst.data(), dw, dh,
                                       dst.stride(), spans, uint32_t(interp));
        return;
    }
    MIRA_Feature_Buf in[2] = {{sw, src.stride(), sh, sh, const_cast<uint8_t*>(src.data())},
                              {3, 12, 2, 2, reinterpret_cast<uint8_t*>(const_cast<float*>(m))}};
    MIRA_Feature_Buf out[2] = {{dw, dst.stride(), dh, dh, dst.data()},
                               {2, 2, dh, dh, reinterpret_cast<uint8_t*>(spans)}};
    MIRA_Feature_Param p{MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8,
                         path == Path::Cpu ? uint32_t(MIRA_MODE_CPU) : uint32_t(MIRA_MODE_OPENCL), 1,
                         nullptr, interp};
    ASSERT_EQ(MIRA_Manager().run(in, 2, out, 2, &p), MIRA_OK);
}

// Compares a warp with the reference: exact for nearest; for the filters
// within one, since the single-precision weights (renormalised through a
// refined reciprocal on the CPU, a relaxed division on the device) can put a
// value that lies within rounding of an integer on the other side. Such
// values are rare: at most 1% of the pixels may differ at all.
void expect_matches(const GuardedImage& dst, const GuardedImage& src, uint32_t sw, uint32_t sh,
                    const float* m, uint32_t dw, uint32_t dh, int interp, int nearestSlack = 0,
                    bool countFilterSlack = true) {
    const Src s{&src, int(sw), int(sh)};
    uint64_t off = 0;
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x) {
            const int want = ref_pixel(interp, s, m, x, y), got = dst.row(y)[x];
            if (want == got) continue;
            ++off;
            if (interp != 0) {
                ASSERT_NEAR(got, want, 1) << "at " << x << "," << y;
            }
        }
    uint64_t allowed = interp == 0 ? uint64_t(nearestSlack) : uint64_t(dw) * dh / 100;
    if (interp != 0 && !countFilterSlack) allowed = uint64_t(dw) * dh;
    EXPECT_LE(off, allowed) << "pixels differing from the reference";
}

// (source w, h, destination w, h)
using Dims = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;
const Dims kDims[] = {{1, 1, 1, 1},    {7, 3, 17, 2},    {17, 17, 7, 3},   {33, 2, 33, 17},
                      {64, 48, 641, 3}, {641, 17, 33, 17}, {100, 80, 97, 61}, {5, 9, 40, 40},
                      {1, 6, 5, 4},     {6, 1, 3, 5}};

struct Matrix {
    const char* name;
    float m[6];
};
const Matrix kMatrices[] = {
    {"identity", {1, 0, 0, 0, 1, 0}},
    {"shift", {1, 0, 2.25f, 0, 1, -1.75f}},
    {"rotate", {0.8660254f, -0.5f, 3.3f, 0.5f, 0.8660254f, -2.1f}},
    {"down", {1.5f, 0.1f, 0.3f, -0.05f, 1.37f, 0.6f}},
    {"up", {0.31f, 0.0f, -0.4f, 0.02f, 0.43f, 0.9f}},
    {"mirror", {-1.1f, 0.2f, 30.7f, 0.15f, -0.9f, 15.2f}},
    {"half", {1, 0, 0.5f, 0, 1, 0.5f}},
};

class AffineSweep
    : public ::testing::TestWithParam<std::tuple<Dims, int, int, uint32_t, Path>> {};

TEST_P(AffineSweep, MatchesReferenceWithinGuards) {
    const auto [dims, mi, interp, pad, path] = GetParam();
    const auto [sw, sh, dw, dh] = dims;
    const float* m = kMatrices[mi].m;
    GuardedImage src(sw, sh, sw + pad);
    src.fillRandom(sw * 3 + sh + uint32_t(mi));
    GuardedImage dst(dw, dh, dw + pad + 2);
    GuardedImage spans(8, dh, 8);
    spans.fill(0xEE);
    warp(path, src, sw, sh, m, dst, dw, dh, reinterpret_cast<uint32_t*>(spans.data()), interp);
    // On the device the position may be formed with a fused multiply-add, so a
    // nearest position within an ulp of a half can round the other way.
    const bool device = path != Path::Cpu && zor_opencl_usable();
    expect_matches(dst, src, sw, sh, m, dw, dh, interp, device ? int(dw * dh / 200) : 0);
    EXPECT_TRUE(dst.paddingIntact());
    EXPECT_TRUE(spans.paddingIntact());
    if (std::fabs(m[0]) >= 1e-6f && std::fabs(m[3]) >= 1e-6f) {
        std::vector<uint32_t> got(2 * size_t(dh));
        std::memcpy(got.data(), spans.data(), got.size() * 4);
        EXPECT_EQ(got, ref_spans(m, int(sw), int(sh), int(dw), int(dh)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cpu, AffineSweep,
    ::testing::Combine(::testing::ValuesIn(kDims), ::testing::Range(0, 7),
                       ::testing::Values(0, 1, 3), ::testing::Values(0u, 5u),
                       ::testing::Values(Path::Cpu)));
INSTANTIATE_TEST_SUITE_P(
    Gpu, AffineSweep,
    ::testing::Combine(::testing::ValuesIn(kDims), ::testing::Values(0, 2, 3, 5),
                       ::testing::Values(0, 1, 3), ::testing::Values(3u),
                       ::testing::Values(Path::Gpu, Path::Wrapper)));

// ------------------------------------------------------------ large warps
//
// Destinations wider than a column strip and taller than a block of rows,
// with rotations about the centre (near 0, 90 and 180 degrees, and between),
// zooms in and out (steep ones make one strip's taps cross many source rows
// or skip whole rows), and shifts that put part or all of the source outside.

struct Warp {
    const char* name;
    float deg, scaleX, scaleY, shiftX, shiftY;  // shifts in source widths / heights
};
const Warp kWarps[] = {
    {"rot10", 10, 1.1f, 1.1f, 0, 0},       {"rot0.2", 0.2f, 1, 1, 0, 0},
    {"rot89.7", 89.7f, 1.05f, 0.95f, 0, 0}, {"rot90", 90, 1, 1, 0, 0},
    {"rot179.8", 179.8f, 1, 1, 0, 0},     {"rot135", 135, 0.8f, 1.3f, 0, 0},
    {"steep", 33, 6.5f, 5.f, 0, 0},        {"fine", 250, 0.15f, 0.2f, 0, 0},
    {"half_out", 20, 1, 1, 0.55f, -0.3f},  {"all_out", 5, 1, 1, 1.6f, 0},
};

void warp_matrix(const Warp& wp, uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh, float* m) {
    const double a = wp.deg * 3.14159265358979 / 180;
    const double c = std::cos(a), sn = std::sin(a);
    // Destination centre to source centre, rotated and scaled.
    const double m0 = c * wp.scaleX, m1 = -sn * wp.scaleY, m3 = sn * wp.scaleX, m4 = c * wp.scaleY;
    const double dcx = dw * 0.5, dcy = dh * 0.5;
    const double scx = sw * (0.5 + wp.shiftX), scy = sh * (0.5 + wp.shiftY);
    m[0] = float(m0);
    m[1] = float(m1);
    m[2] = float(scx - m0 * dcx - m1 * dcy);
    m[3] = float(m3);
    m[4] = float(m4);
    m[5] = float(scy - m3 * dcx - m4 * dcy);
}

// (source w, h, destination w, h)
const Dims kLargeDims[] = {{200, 150, 257, 70}, {97, 301, 130, 33}, {640, 36, 641, 41},
                           {16, 16, 65, 65},    {5, 400, 300, 34}};

class AffineLarge : public ::testing::TestWithParam<std::tuple<Dims, int, int, uint32_t>> {};

TEST_P(AffineLarge, MatchesReferenceWithinGuards) {
    const auto [dims, wi, interp, pad] = GetParam();
    const auto [sw, sh, dw, dh] = dims;
    float m[6];
    warp_matrix(kWarps[wi], sw, sh, dw, dh, m);
    GuardedImage src(sw, sh, sw + pad);
    src.fillRandom(sw + 7 * sh + uint32_t(wi));
    GuardedImage dst(dw, dh, dw + pad + 3);
    dst.fill(0x5A);
    warp(Path::Cpu, src, sw, sh, m, dst, dw, dh, nullptr, interp);
    expect_matches(dst, src, sw, sh, m, dw, dh, interp);
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Cpu, AffineLarge,
                         ::testing::Combine(::testing::ValuesIn(kLargeDims),
                                            ::testing::Range(0, int(std::size(kWarps))),
                                            ::testing::Values(0, 1, 3),
                                            ::testing::Values(0u, 13u)));

TEST(AffineLarge, EveryRowAndColumnIsWritten) {
    // A destination filled with a marker: a warp that keeps every tap inside
    // a constant image leaves no marker, and one that maps everything outside
    // leaves only zeros.
    const uint32_t w = 333, h = 97;
    GuardedImage src(w, h, w + 1), dst(w, h, w + 5);
    src.fill(200);
    const float inside[6] = {0.5f, 0.02f, 40.f, -0.02f, 0.5f, 20.f};
    for (int interp : {0, 1, 3}) {
        dst.fill(0x5A);
        warp(Path::Cpu, src, w, h, inside, dst, w, h, nullptr, interp);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x)  // renormalised float weights: 199 or 200
                ASSERT_NEAR(dst.row(y)[x], 200, interp == 0 ? 0 : 1) << interp << " " << x << "," << y;
        EXPECT_TRUE(dst.paddingIntact());
    }
    const float outside[6] = {1, 0, -1000.f, 0, 1, 0};
    for (int interp : {0, 1, 3}) {
        dst.fill(0x5A);
        warp(Path::Cpu, src, w, h, outside, dst, w, h, nullptr, interp);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) ASSERT_EQ(dst.row(y)[x], 0) << interp << " " << x << "," << y;
        EXPECT_TRUE(dst.paddingIntact());
    }
}

// ------------------------------------------------------------ edge cases

class AffineBothPaths : public ::testing::TestWithParam<Path> {};

TEST_P(AffineBothPaths, IdentityNearestCopiesAndBilinearZeroesLastRowAndColumn) {
    const uint32_t w = 37, h = 13;
    GuardedImage src(w, h, w + 3), dst(w, h, w + 1);
    src.fillRandom(11);
    const float id[6] = {1, 0, 0, 0, 1, 0};
    warp(GetParam(), src, w, h, id, dst, w, h, nullptr, 0);
    EXPECT_EQ(dst.packed(), src.packed());
    warp(GetParam(), src, w, h, id, dst, w, h, nullptr, 1);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            ASSERT_EQ(dst.row(y)[x], (x == w - 1 || y == h - 1) ? 0 : src.row(y)[x]) << x << "," << y;
}

TEST_P(AffineBothPaths, HalfPixelShiftTakesTheMiddlePhase) {
    // A ramp 4x: the phase-16 weights (-0.09375, 0.59375, 0.59375, -0.09375)
    // give 4x + 2 exactly inside the image.
    const uint32_t w = 40, h = 6;
    GuardedImage src(w, h, w), dst(w, h, w);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) src.row(y)[x] = uint8_t(4 * x);
    const float m[6] = {1, 0, 0.5f, 0, 1, 0};
    warp(GetParam(), src, w, h, m, dst, w, h, nullptr, 3);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 1; x + 2 < w; ++x) ASSERT_EQ(dst.row(y)[x], 4 * x + 2) << x << "," << y;
    // The left edge reads one zero: 0.59375 * 4 * 1 - 0.09375 * 8 = 1.625.
    EXPECT_EQ(dst.row(0)[0], 1);
}

TEST_P(AffineBothPaths, OnePixelWideSourceHasNoBilinearTaps) {
    // (int)s < size - 1 never holds for a size of 1, even for s in (-1, 0).
    GuardedImage src(1, 6, 1), dst(5, 6, 5);
    src.fill(200);
    dst.fill(9);
    const float m[6] = {0.1f, 0, -0.45f, 0, 1, 0};
    warp(GetParam(), src, 1, 6, m, dst, 5, 6, nullptr, 1);
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 0);
}

TEST_P(AffineBothPaths, RowSpansOfTheShearExample) {
    GuardedImage src(4, 4, 4), dst(4, 4, 4);
    src.fillRandom(2);
    const float m[6] = {1, 0, 0, 1, 1, 0};
    uint32_t spans[8];
    std::memset(spans, 0xEE, sizeof spans);
    warp(GetParam(), src, 4, 4, m, dst, 4, 4, spans, 0);
    const uint32_t want[8] = {0, 3, 0, 2, 0, 1, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(spans[i], want[i]) << i;
}

TEST_P(AffineBothPaths, InterpolationCodesOtherThanNearestAndCubicAreBilinear) {
    const uint32_t w = 29, h = 11;
    GuardedImage src(w, h, w), a(w, h, w), b(w, h, w);
    src.fillRandom(5);
    const float m[6] = {0.9f, 0.1f, 1.3f, -0.1f, 0.8f, 0.7f};
    warp(GetParam(), src, w, h, m, a, w, h, nullptr, 1);
    for (int code : {2, 4, 7, -1}) {
        b.fill(0);
        warp(GetParam(), src, w, h, m, b, w, h, nullptr, code);
        EXPECT_EQ(a.packed(), b.packed()) << code;
    }
}

TEST_P(AffineBothPaths, NullSpanTableStillWarps) {
    GuardedImage src(9, 9, 9), dst(9, 9, 9);
    src.fillRandom(8);
    dst.fill(77);
    const float m[6] = {1, 0, 1, 0, 1, 0};
    warp(GetParam(), src, 9, 9, m, dst, 9, 9, nullptr, 0);
    for (uint32_t y = 0; y < 9; ++y)
        for (uint32_t x = 0; x < 9; ++x) ASSERT_EQ(dst.row(y)[x], x + 1 < 9 ? src.row(y)[x + 1] : 0);
}

TEST_P(AffineBothPaths, HostileMatricesStayInsideTheBuffers) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float hostile[][6] = {
        {nan, 0, 0, 0, 1, 0},      {1, 0, 0, 0, nan, 0},      {inf, 0, 0, 0, 1, 0},
        {1, -inf, 0, 0, 1, 0},     {1e30f, 0, 0, 0, 1e30f, 0}, {-3e9f, 2e9f, 1e9f, 4e9f, 1, -5e9f},
        {0, 0, 0, 0, 0, 0},        {1e-7f, 0, 5, 0, 1, 0},    {1, 0, 0, 1e-8f, 0, 3},
        {nan, nan, nan, nan, nan, nan}, {1, 0, 70000.f, 0, 1, -70000.f},
    };
    const uint32_t sw = 21, sh = 13, dw = 19, dh = 7;
    GuardedImage src(sw, sh, sw + 2);
    src.fillRandom(9);
    for (const auto& m : hostile)
        for (int interp : {0, 1, 3}) {
            GuardedImage dst(dw, dh, dw + 3), spans(8, dh, 8);
            warp(GetParam(), src, sw, sh, m, dst, dw, dh, reinterpret_cast<uint32_t*>(spans.data()),
                 interp);
            EXPECT_TRUE(dst.paddingIntact());
            // A near-constant position repeats one borderline value along a
            // whole row, so only the +-1 bound applies here.
            if (GetParam() == Path::Cpu) expect_matches(dst, src, sw, sh, m, dw, dh, interp, 0, false);
            for (uint32_t y = 0; y < dh; ++y) {  // spans lie within [0, W]
                uint32_t p[2];
                std::memcpy(p, spans.row(y), 8);
                EXPECT_LE(p[0], dw);
                EXPECT_LE(p[1], dw);
            }
        }
}

INSTANTIATE_TEST_SUITE_P(Paths, AffineBothPaths, ::testing::Values(Path::Cpu, Path::Gpu));

TEST(AffineSpans, NearZeroCoefficientsUseTheOtherAxis) {
    // sx constant 2 (inside): the span comes from the rows alone.
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    src.fillRandom(3);
    const float constX[6] = {0, 0, 2, 1, 1, -3};  // sy = x + y - 3
    uint32_t spans[16];
    warp(Path::Cpu, src, 8, 8, constX, dst, 8, 8, spans, 0);
    // Row y: sy in [0, 7] for x in [3 - y, 10 - y] -> clamped to [0, 8].
    for (uint32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(spans[2 * y], y <= 3 ? 3 - y : 0) << y;
        EXPECT_EQ(spans[2 * y + 1], std::min<uint32_t>(8, 10 - y)) << y;
    }
    // sx constant 9 (outside): every row is empty.
    const float outX[6] = {0, 0, 9, 1, 1, 0};
    warp(Path::Cpu, src, 8, 8, outX, dst, 8, 8, spans, 0);
    for (uint32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(spans[2 * y], 8u);
        EXPECT_EQ(spans[2 * y + 1], 8u);
    }
    // sy constant: inside rows give the columns of the x axis, outside rows none.
    const float constY[6] = {1, 0, -2, 0, 0, 4};
    warp(Path::Cpu, src, 8, 8, constY, dst, 8, 8, spans, 0);
    for (uint32_t y = 0; y < 8; ++y) {
        EXPECT_EQ(spans[2 * y], 2u);
        EXPECT_EQ(spans[2 * y + 1], 8u);  // trunc((7 + 2) / 1) = 9, clamped to W
    }
}

TEST(AffineArgs, BadRequestsWriteNothing) {
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    src.fillRandom(1);
    dst.fill(7);
    const std::vector<uint8_t> before = dst.packed();
    const float m[6] = {1, 0, 0, 0, 1, 0};
    MIRA_Feature_Buf in[2] = {{8, 8, 8, 8, src.data()}, {3, 12, 2, 2, (uint8_t*)m}};
    MIRA_Feature_Buf out[2] = {{8, 8, 8, 8, dst.data()}, {2, 2, 8, 8, nullptr}};
    MIRA_Manager mgr;
    for (uint32_t mode : {0u, 1u, 2u}) {
        MIRA_Feature_Param p{MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode, 1, nullptr, 0};
        EXPECT_EQ(mgr.run(nullptr, 2, out, 2, &p), MIRA_ERR_ARG);
        EXPECT_EQ(mgr.run(in, 1, out, 2, &p), MIRA_ERR_ARG);
        EXPECT_EQ(mgr.run(in, 2, nullptr, 2, &p), MIRA_ERR_ARG);
        EXPECT_EQ(mgr.run(in, 2, out, 1, &p), MIRA_ERR_ARG);
        MIRA_Feature_Buf noMatrix[2] = {in[0], {3, 12, 2, 2, nullptr}};
        EXPECT_EQ(mgr.run(noMatrix, 2, out, 2, &p), MIRA_ERR_ARG);
        MIRA_Feature_Buf noDst[2] = {{8, 8, 8, 8, nullptr}, out[1]};
        EXPECT_EQ(mgr.run(in, 2, noDst, 2, &p), MIRA_ERR_ARG);
    }
    MIRA_TRANSFORM_AFFINE_CLIPPED_U8 f;
    EXPECT_EQ(f.MIRA_TRANSFORM_AFFINE_CLIPPED_U8_neon(in, 2, out, 2, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_TRANSFORM_AFFINE_CLIPPED_U8_opencl(in, 2, out, 2, nullptr), MIRA_ERR_ARG);
    ncvTransformAffineClippedu8_v2(nullptr, 8, 8, 8, m, dst.data(), 8, 8, 8, nullptr, 0);
    ncvTransformAffineClippedu8_v2(src.data(), 8, 8, 8, nullptr, dst.data(), 8, 8, 8, nullptr, 0);
    ncvTransformAffineClippedu8_v2(src.data(), 8, 8, 8, m, nullptr, 8, 8, 8, nullptr, 0);
    EXPECT_EQ(dst.packed(), before);
}

}  // namespace
