// NV21 to RGBA, YCbCr 4:4:4 <-> 4:2:0, CbCr swap and interleave on both
// paths against scalar references written from the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"
#include "gpu/src/inc/param_utils.h"

using mira_test::GuardedBlock;
using mira_test::GuardedImage;
using mira_test::gpu_live;

namespace {

enum class Path { Cpu, Gpu };
uint32_t mode_of(Path p) {
    if (p == Path::Gpu) gpu_live();
    return p == Path::Gpu ? MIRA_MODE_OPENCL : MIRA_MODE_CPU;
}

const uint32_t kWidths[] = {1, 2, 3, 7, 8, 9, 16, 17, 31, 32, 33, 40, 57, 100, 641, 1920};
const uint32_t kHeights[] = {1, 2, 3, 5, 16, 17, 37, 1080};
const uint32_t kSmallHeights[] = {1, 2, 3, 5, 16, 17, 37};
constexpr uint8_t kFill = 0x5A;  // destination bytes before the call

using SweepParam = std::tuple<uint32_t, uint32_t, Path>;
// All widths x all heights on the CPU; on the GPU all widths with the short
// heights plus a sample of widths at 1080 rows.
auto cpu_sweep() {
    return ::testing::Combine(::testing::ValuesIn(kWidths), ::testing::ValuesIn(kHeights),
                              ::testing::Values(Path::Cpu));
}
auto gpu_sweep() {
    return ::testing::Combine(::testing::ValuesIn(kWidths), ::testing::ValuesIn(kSmallHeights),
                              ::testing::Values(Path::Gpu));
}
// The CPU paths' 64-byte steps: rows of 31 to 33, 63 to 65 and 127 to 129
// pixels or pairs.
auto step_edges() {
    return ::testing::Combine(::testing::Values(31u, 32u, 33u, 63u, 64u, 65u, 127u, 128u, 129u),
                              ::testing::Values(1u, 3u, 17u), ::testing::Values(Path::Cpu));
}
auto gpu_tall() {
    return ::testing::Combine(::testing::Values(1u, 9u, 33u, 641u, 1920u),
                              ::testing::Values(1080u), ::testing::Values(Path::Gpu));
}

// ================================================================ NV21 -> RGBA

uint8_t clamp255(int v) { return uint8_t(std::min(255, std::max(0, v))); }

// CPU arithmetic, from the fixed-point formulas (6 fractional bits, floor shift).
void rgba_fixed(int Y, int U, int V, uint8_t* px) {
    const int y = std::max(Y - 16, 0), u = U - 128, v = V - 128;
    const int L = 74 * y;
    px[0] = clamp255((L + 102 * v) >> 6);
    px[1] = clamp255((L - 25 * u - 52 * v) >> 6);
    px[2] = clamp255((L + 128 * u) >> 6);
    px[3] = 255;
}

// GPU arithmetic, from the float formulas (truncation toward zero).
void rgba_float(int Y, int U, int V, int* px) {
    const float y = std::min(255.f, std::max(0.f, float(Y - 16))) * 1.164f;
    const float u = float(U - 128), v = float(V - 128);
    auto c = [](float f) { return int(std::min(255.f, std::max(0.f, f))); };
    px[0] = c(y + 1.596f * v);
    px[1] = c(y - (0.813f * v + 0.391f * u));
    px[2] = c(y + 2.018f * u);
    px[3] = 255;
}

// The CPU layout: luma rows `w` apart, chroma at w x h with rows of the even
// width, destination rows 4 w bytes apart.
std::vector<uint8_t> reference_nv21_cpu(const uint8_t* frame, uint32_t w, uint32_t h,
                                        std::vector<uint8_t> dst) {
    const uint32_t even = w & ~1u;
    const uint8_t* vu = frame + size_t(w) * h;
    for (uint32_t y = 0; y < (h & ~1u); ++y)
        for (uint32_t x = 0; x < even; ++x) {
            const uint8_t* c = vu + size_t(y / 2) * even + (x & ~1u);
            rgba_fixed(frame[size_t(y) * w + x], c[1], c[0], &dst[(size_t(y) * w + x) * 4]);
        }
    return dst;
}

class Nv21Cpu : public ::testing::TestWithParam<SweepParam> {};

TEST_P(Nv21Cpu, MatchesFixedPointReference) {
    const auto [w, h, path] = GetParam();
    (void)path;
    const size_t bytes = size_t(w) * h + size_t(w & ~1u) * (h / 2);
    GuardedBlock frame(bytes);
    std::mt19937 rng(w * 31 + h);
    for (size_t i = 0; i < bytes; ++i) frame.data()[i] = uint8_t(rng());
    GuardedImage dst(4 * w, h, 4 * w);
    dst.fill(kFill);
    const auto want = reference_nv21_cpu(frame.data(), w, h, dst.packed());
    ncvColorYUV420toRGB8888u8(frame.data(), int(w), int(h), dst.data());
    EXPECT_EQ(dst.packed(), want);
    // The direct kernel with the chroma plane passed separately.
    GuardedImage dst2(4 * w, h, 4 * w);
    dst2.fill(kFill);
    mira::ncvColorYUV420toRGB8888u8(frame.data(), frame.data() + size_t(w) * h, int(w), int(h),
                                    dst2.data());
    EXPECT_EQ(dst2.packed(), want);
}

INSTANTIATE_TEST_SUITE_P(All, Nv21Cpu, cpu_sweep());

// The GPU layout: luma and chroma rows `stride` bytes apart, chroma at
// stride x bufHeight, destination stride in pixels.
class Nv21Gpu : public ::testing::TestWithParam<SweepParam> {};

TEST_P(Nv21Gpu, MatchesFloatReference) {
    const auto [w, h, path] = GetParam();
    // A GPU request gives the kernel's bytes with or without a device (the
    // CPU twin computes them where there is none).
    if (path != Path::Gpu) GTEST_SKIP() << "the GPU request only";
    const uint32_t s = (w & 1) ? w : w + 5, ds = w + 3;  // odd widths: dense rows
    const size_t bytes = size_t(s) * h * 3 / 2;
    GuardedBlock frame(bytes);
    std::mt19937 rng(w * 131 + h);
    for (size_t i = 0; i < bytes; ++i) frame.data()[i] = uint8_t(rng());
    GuardedImage dst(4 * w, h, 4 * ds);
    dst.fill(kFill);
    std::vector<uint8_t> before = dst.packed();
    MIRA_Feature_Buf sb{w, s, h, h, frame.data()}, db{w, ds, h, h, dst.data()};
    MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
    // Float arithmetic as written: each channel exactly the reference's;
    // unconverted pixels (odd last column/row) exactly as before.
    const uint8_t* vu = frame.data() + size_t(s) * h;
    int worst = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* got = dst.row(y) + 4 * x;
            if (y >= (h & ~1u) || x >= (w & ~1u)) {
                ASSERT_EQ(0, std::memcmp(got, &before[(size_t(y) * w + x) * 4], 4)) << x << "," << y;
                continue;
            }
            const uint8_t* c = vu + size_t(y / 2) * s + (x & ~1u);
            int want[4];
            rgba_float(frame.data()[size_t(y) * s + x], c[1], c[0], want);
            for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(got[k]) - want[k]));
        }
    EXPECT_EQ(worst, 0);
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Short, Nv21Gpu, gpu_sweep());
INSTANTIATE_TEST_SUITE_P(Tall, Nv21Gpu, gpu_tall());

// One pixel pair of 2 x 2 with the given Y, U, V through a path.
std::vector<uint8_t> nv21_one(Path path, uint8_t Y, uint8_t U, uint8_t V) {
    uint8_t frame[6] = {Y, Y, Y, Y, V, U};
    std::vector<uint8_t> out(16, 0);
    MIRA_Feature_Buf sb{2, 2, 2, 2, frame}, db{2, 2, 2, 2, out.data()};
    MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, mode_of(path), 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
    return std::vector<uint8_t>(out.begin(), out.begin() + 4);
}

TEST(Nv21, KnownValuesOnTheCpu) {
    EXPECT_EQ(nv21_one(Path::Cpu, 16, 128, 128), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(nv21_one(Path::Cpu, 3, 128, 128), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(nv21_one(Path::Cpu, 235, 128, 128), (std::vector<uint8_t>{253, 253, 253, 255}));
    EXPECT_EQ(nv21_one(Path::Cpu, 255, 255, 128)[2], 255);
    EXPECT_EQ(nv21_one(Path::Cpu, 128, 128, 255), (std::vector<uint8_t>{255, 26, 129, 255}));
}

// Every (Y, U, V) through the CPU kernel: per V one frame whose pair column
// is U and whose row pair is Y (sums near the 16-bit limit included).
TEST(Nv21, EveryTripleOnTheCpu) {
    const uint32_t w = 512, h = 512;
    std::vector<uint8_t> frame(size_t(w) * h * 3 / 2), out(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y) std::memset(&frame[size_t(y) * w], int(y / 2), w);
    uint8_t* vu = &frame[size_t(w) * h];
    for (int V = 0; V < 256; ++V) {
        for (uint32_t j = 0; j < h / 2; ++j)
            for (uint32_t i = 0; i < w / 2; ++i) {
                vu[size_t(j) * w + 2 * i] = uint8_t(V);
                vu[size_t(j) * w + 2 * i + 1] = uint8_t(i);
            }
        ncvColorYUV420toRGB8888u8(frame.data(), int(w), int(h), out.data());
        for (uint32_t y = 0; y < h; y += 2)
            for (uint32_t x = 0; x < w; x += 2) {
                uint8_t want[4];
                rgba_fixed(int(y / 2), int(x / 2), V, want);
                ASSERT_EQ(std::memcmp(&out[(size_t(y) * w + x) * 4], want, 4), 0)
                    << "Y " << y / 2 << " U " << x / 2 << " V " << V;
            }
    }
}

// Every (Y, U, V) through a GPU request: the kernel where a device is up,
// and its CPU twin with the device set aside, both exactly the float formula.
TEST(Nv21, EveryTripleOnTheGpuPath) {
    const uint32_t w = 512, h = 512;
    std::vector<uint8_t> frame(size_t(w) * h * 3 / 2), out(size_t(w) * h * 4);
    for (uint32_t y = 0; y < h; ++y) std::memset(&frame[size_t(y) * w], int(y / 2), w);
    uint8_t* vu = &frame[size_t(w) * h];
    for (bool twin : {false, true}) {
        if (!twin && !gpu_live()) continue;
        zor_test_force_unusable(twin);
        for (int V = 0; V < 256; ++V) {
            for (uint32_t j = 0; j < h / 2; ++j)
                for (uint32_t i = 0; i < w / 2; ++i) {
                    vu[size_t(j) * w + 2 * i] = uint8_t(V);
                    vu[size_t(j) * w + 2 * i + 1] = uint8_t(i);
                }
            MIRA_Feature_Buf sb{w, w, h, h, frame.data()}, db{w, w, h, h, out.data()};
            MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
            ASSERT_EQ(MIRA_Manager().run(&sb, 1, &db, 1, &p), MIRA_OK);
            for (uint32_t y = 0; y < h; y += 2)
                for (uint32_t x = 0; x < w; x += 2) {
                    int want[4];
                    rgba_float(int(y / 2), int(x / 2), V, want);
                    const uint8_t* got = &out[(size_t(y) * w + x) * 4];
                    for (int k = 0; k < 4; ++k)
                        ASSERT_EQ(int(got[k]), want[k]) << (twin ? "twin" : "kernel") << " Y "
                                                         << y / 2 << " U " << x / 2 << " V " << V;
                }
        }
        zor_test_force_unusable(false);
    }
}

TEST(Nv21, KnownValuesOnTheGpu) {
    EXPECT_EQ(nv21_one(Path::Gpu, 16, 128, 128), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(nv21_one(Path::Gpu, 3, 128, 128), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(nv21_one(Path::Gpu, 235, 128, 128), (std::vector<uint8_t>{254, 254, 254, 255}));
    EXPECT_EQ(nv21_one(Path::Gpu, 255, 255, 128)[2], 255);
}

TEST(Nv21, OddMarginsStayUntouched) {
    const uint32_t w = 33, h = 5;
    GuardedBlock frame(w * h + 32 * 2);
    std::memset(frame.data(), 200, frame.size());
    GuardedImage dst(4 * w, h, 4 * w);
    dst.fill(kFill);
    ncvColorYUV420toRGB8888u8(frame.data(), int(w), int(h), dst.data());
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool converted = x < 32 && y < 4;
            EXPECT_EQ(dst.row(y)[4 * x + 3], converted ? 255 : kFill) << x << "," << y;
        }
}

TEST(Nv21, BadArguments) {
    uint8_t buf[64] = {};
    MIRA_Feature_Buf b{2, 2, 2, 2, buf}, nul{2, 2, 2, 2, nullptr};
    MIRA_Manager m;
    for (uint32_t mode : {0u, 1u, 2u}) {
        MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 1, &b, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&b, 0, &b, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&b, 1, nullptr, 1, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&b, 1, &b, 0, &p), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&nul, 1, &b, 1, &p), MIRA_ERR_ARG);
    }
    // Strides shorter than their rows are refused and nothing is written: in
    // the one-plane form the destination stride counts pixels, with a separate
    // VU plane it counts bytes (the GPU path used to write past its staging).
    std::vector<uint8_t> y(8 * 4, 16), vu(8 * 2, 128), out(8 * 4 * 4, 0xA5);
    MIRA_Feature_Buf frame{8, 8, 4, 4, y.data()}, shortY{8, 6, 4, 4, y.data()};
    MIRA_Feature_Buf planes[2] = {{8, 8, 4, 4, y.data()}, {8, 8, 2, 2, vu.data()}};
    MIRA_Feature_Buf shortVu[2] = {{8, 8, 4, 4, y.data()}, {8, 6, 2, 2, vu.data()}};
    MIRA_Feature_Buf pixels{8, 7, 4, 4, out.data()}, bytes{8, 31, 4, 4, out.data()};
    for (uint32_t mode : {0u, 1u}) {
        MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(&frame, 1, &pixels, 1, &p), MIRA_ERR_ARG) << mode;
        EXPECT_EQ(m.run(&shortY, 1, &b, 1, &p), MIRA_ERR_ARG) << mode;
        EXPECT_EQ(m.run(planes, 2, &bytes, 1, &p), MIRA_ERR_ARG) << mode;
        MIRA_Feature_Buf wide{8, 32, 4, 4, out.data()};
        EXPECT_EQ(m.run(shortVu, 2, &wide, 1, &p), MIRA_ERR_ARG) << mode;
        EXPECT_EQ(out, std::vector<uint8_t>(out.size(), 0xA5)) << mode;
    }
    MIRA_NV21_TO_RGBA8888 f;
    EXPECT_EQ(f.MIRA_NV21_TO_RGBA8888_neon(&b, 1, &b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_NV21_TO_RGBA8888_opencl(&b, 1, &b, 1, nullptr), MIRA_ERR_ARG);
}

// The 4:2:2 kernel of the table has no feature in front of it: launched here
// through the GPU entry with a 4:2:2 semi-planar record (U first in each
// pair, one chroma row per luma row, luma offset not floored).
TEST(Yuv422Kernel, MatchesFloatReference) {
    if (!gpu_live()) GTEST_SKIP() << "no OpenCL device";
    const uint32_t w = 34, h = 6, s = 40, ds = 37;
    std::vector<uint8_t> frame(size_t(s) * h * 2);
    std::mt19937 rng(422);
    for (auto& b : frame) b = uint8_t(rng());
    GuardedImage dst(4 * w, h, 4 * ds);
    ZOR_YuvInfo in{};
    in.format = 4;
    in.width = w;
    in.height = h;
    in.size = s * h * 2;
    in.strideY = in.strideU = in.strideV = s;
    in.rowsY = h;
    in.dataY = frame.data();
    in.dataU = in.dataV = frame.data() + size_t(s) * h;
    ZOR_RGBInfo out{w, h, ds * h * 4, ds, h, 4, dst.data(), 4};
    ZOR_YuvInfo* ins[1] = {&in};
    ZOR_RGBInfo* outs[1] = {&out};
    ZOR_ReserveParam_Opencl r =
        zor_reserve(MIRA_API_NV21_TO_RGBA8888, "mira_fcvColorYCbCr422PseudoPlanarToRGBA8888u8_func");
    ASSERT_EQ(zor_cv_process_yuv_rgb(ins, 1, outs, 1, &r, nullptr), 1);
    int worst = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* c = in.dataU + size_t(y) * s + (x & ~1u);
            const float Y = (float(frame[size_t(y) * s + x]) - 16.f) * 1.164f;
            const float U = float(c[0]) - 128.f, V = float(c[1]) - 128.f;
            auto cl = [](float f) { return int(std::min(255.f, std::max(0.f, f))); };
            const int want[4] = {cl(Y + 1.596f * V), cl(Y - (0.813f * V + 0.391f * U)),
                                 cl(Y + 2.018f * U), 255};
            for (int k = 0; k < 4; ++k)
                worst = std::max(worst, std::abs(int(dst.row(y)[4 * x + k]) - want[k]));
        }
    EXPECT_LE(worst, 1);
    EXPECT_TRUE(dst.paddingIntact());
}

// ====================================================== 4:4:4 <-> 4:2:0

struct Planes444 {
    GuardedImage y, cb, cr;
    Planes444(uint32_t w, uint32_t h) : y(w, h, w + 1), cb(w, h, w + 6), cr(w, h, w + 11) {}
};
struct Planes420 {
    GuardedImage y, c;
    Planes420(uint32_t w, uint32_t h) : y(w, h, w + 2), c(w, h / 2, w + 9) {}
};

class Yuv444To420 : public ::testing::TestWithParam<SweepParam> {};

TEST_P(Yuv444To420, MatchesReference) {
    const auto [w, h, path] = GetParam();
    Planes444 in(w, h);
    in.y.fillRandom(w + h);
    in.cb.fillRandom(w * 3 + h);
    in.cr.fillRandom(w * 5 + h);
    Planes420 out(w, h);
    out.y.fill(kFill);
    out.c.fill(kFill);
    // Chroma byte j of row r: Cb[2r][j] for even j, Cr[2r][j - 1] for odd j.
    std::vector<uint8_t> wantC(size_t(w) * (h / 2));
    for (uint32_t r = 0; r < h / 2; ++r)
        for (uint32_t j = 0; j < w; ++j)
            wantC[size_t(r) * w + j] = (j & 1) ? in.cr.row(2 * r)[j - 1] : in.cb.row(2 * r)[j];
    MIRA_Feature_Buf s[3] = {{w, in.y.stride(), h, h, in.y.data()},
                             {w, in.cb.stride(), h, h, in.cb.data()},
                             {w, in.cr.stride(), h, h, in.cr.data()}};
    MIRA_Feature_Buf d[2] = {{w, out.y.stride(), h, h, out.y.data()},
                             {w, out.c.stride(), h / 2, h / 2, out.c.data()}};
    MIRA_Feature_Param p{MIRA_API_YUV444_TO_YUV420, mode_of(path), 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(s, 3, d, 2, &p), MIRA_OK);
    EXPECT_EQ(out.y.packed(), in.y.packed());
    EXPECT_EQ(out.c.packed(), wantC);
    EXPECT_TRUE(out.y.paddingIntact() && out.c.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Cpu, Yuv444To420, cpu_sweep());
INSTANTIATE_TEST_SUITE_P(Gpu, Yuv444To420, gpu_sweep());
INSTANTIATE_TEST_SUITE_P(GpuTall, Yuv444To420, gpu_tall());

class Yuv420To444 : public ::testing::TestWithParam<SweepParam> {};

TEST_P(Yuv420To444, MatchesReference) {
    const auto [w, h, path] = GetParam();
    Planes420 in(w, h);
    in.y.fillRandom(w + 2 * h);
    in.c.fillRandom(w * 7 + h);
    Planes444 out(w, h);
    out.y.fill(kFill);
    out.cb.fill(kFill);
    out.cr.fill(kFill);
    // Output rows 2r and 2r + 1, column x: Cb = chroma[2 (x / 2)], Cr = the
    // byte after it where the row has one; everything else stays.
    std::vector<uint8_t> wantCb = out.cb.packed(), wantCr = out.cr.packed();
    for (uint32_t r = 0; r < h / 2; ++r)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t k = x & ~1u;
            for (uint32_t y : {2 * r, 2 * r + 1}) {
                wantCb[size_t(y) * w + x] = in.c.row(r)[k];
                if (k + 1 < w) wantCr[size_t(y) * w + x] = in.c.row(r)[k + 1];
            }
        }
    MIRA_Feature_Buf s[2] = {{w, in.y.stride(), h, h, in.y.data()},
                             {w, in.c.stride(), h / 2, h / 2, in.c.data()}};
    MIRA_Feature_Buf d[3] = {{w, out.y.stride(), h, h, out.y.data()},
                             {w, out.cb.stride(), h, h, out.cb.data()},
                             {w, out.cr.stride(), h, h, out.cr.data()}};
    MIRA_Feature_Param p{MIRA_API_YUV420_TO_YUV444, mode_of(path), 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(s, 2, d, 3, &p), MIRA_OK);
    EXPECT_EQ(out.y.packed(), in.y.packed());
    EXPECT_EQ(out.cb.packed(), wantCb);
    EXPECT_EQ(out.cr.packed(), wantCr);
    EXPECT_TRUE(out.y.paddingIntact() && out.cb.paddingIntact() && out.cr.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Cpu, Yuv420To444, cpu_sweep());
INSTANTIATE_TEST_SUITE_P(Gpu, Yuv420To444, gpu_sweep());
INSTANTIATE_TEST_SUITE_P(GpuTall, Yuv420To444, gpu_tall());

TEST(Yuv444To420, WrappersAndDirectKernelsWithDistinctStrides) {
    const uint32_t w = 40, h = 7;  // odd height: 3 chroma rows from rows 0, 2, 4
    Planes444 in(w, h);
    in.y.fillRandom(1);
    in.cb.fillRandom(2);
    in.cr.fillRandom(3);
    Planes420 a(w, h), b(w, h);
    ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(in.y.data(), in.cb.data(), in.cr.data(), w, h,
                                                   in.y.stride(), in.cb.stride(), in.cr.stride(),
                                                   a.y.data(), a.c.data(), a.y.stride(),
                                                   a.c.stride());
    mira::ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
        in.y.data(), in.cb.data(), in.cr.data(), w, h, in.y.stride(), in.cb.stride(),
        in.cr.stride(), b.y.data(), b.c.data(), b.y.stride(), b.c.stride());
    EXPECT_EQ(a.c.rows(), 3u);
    EXPECT_EQ(a.c.packed(), b.c.packed());
    EXPECT_EQ(a.y.packed(), in.y.packed());
    EXPECT_EQ(a.c.row(2)[0], in.cb.row(4)[0]);
    EXPECT_EQ(a.c.row(2)[39], in.cr.row(4)[38]);
    // Odd columns and odd rows of the 4:4:4 chroma have no influence.
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            if ((x & 1) || (y & 1)) in.cb.row(y)[x] ^= 0xFF, in.cr.row(y)[x] ^= 0x55;
    Planes420 c(w, h);
    mira::ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
        in.y.data(), in.cb.data(), in.cr.data(), w, h, in.y.stride(), in.cb.stride(),
        in.cr.stride(), c.y.data(), c.c.data(), c.y.stride(), c.c.stride());
    EXPECT_EQ(c.c.packed(), a.c.packed());

    Planes444 back(w, h), back2(w, h);
    ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(a.y.data(), a.c.data(), w, h, a.y.stride(),
                                                   a.c.stride(), back.y.data(), back.cb.data(),
                                                   back.cr.data(), back.y.stride(),
                                                   back.cb.stride(), back.cr.stride());
    mira::ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
        a.y.data(), a.c.data(), w, h, a.y.stride(), a.c.stride(), back2.y.data(),
        back2.cb.data(), back2.cr.data(), back2.y.stride(), back2.cb.stride(), back2.cr.stride());
    EXPECT_EQ(back.cb.packed(), back2.cb.packed());
    EXPECT_EQ(back.cr.packed(), back2.cr.packed());
    EXPECT_EQ(back.cb.row(5)[3], a.c.row(2)[2]);
    EXPECT_EQ(back.cr.row(5)[3], a.c.row(2)[3]);
}

TEST(YuvConversions, BadArguments) {
    GuardedImage img(8, 8, 8);
    img.fill(4);
    MIRA_Feature_Buf b[3] = {{8, 8, 8, 8, img.data()}, {8, 8, 4, 4, img.data()},
                             {8, 8, 8, 8, img.data()}};
    MIRA_Feature_Buf n[3] = {{8, 8, 8, 8, img.data()}, {8, 8, 4, 4, nullptr},
                             {8, 8, 8, 8, img.data()}};
    MIRA_Manager m;
    for (uint32_t mode : {0u, 1u}) {
        MIRA_Feature_Param p9{MIRA_API_YUV444_TO_YUV420, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 3, b, 2, &p9), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, b, 2, &p9), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 3, nullptr, 2, &p9), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 3, b, 3, &p9), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(n, 3, b, 2, &p9), MIRA_ERR_ARG);
        MIRA_Feature_Param p10{MIRA_API_YUV420_TO_YUV444, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 2, b, 3, &p10), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 3, b, 3, &p10), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, nullptr, 3, &p10), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, b, 2, &p10), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, n, 3, &p10), MIRA_ERR_ARG);
    }
    MIRA_YUV444_TO_YUV420 f9;
    EXPECT_EQ(f9.MIRA_YUV444_TO_YUV420_neon(b, 3, b, 2, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f9.MIRA_YUV444_TO_YUV420_opencl(b, 3, b, 2, nullptr), MIRA_ERR_ARG);
    MIRA_YUV420_TO_YUV444 f10;
    EXPECT_EQ(f10.MIRA_YUV420_TO_YUV444_neon(b, 2, b, 3, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f10.MIRA_YUV420_TO_YUV444_opencl(b, 2, b, 3, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(img.packed(), std::vector<uint8_t>(64, 4));
}

// ================================================================ Copy_Plane

TEST(CopyPlane, RowsBlocksBottomUpAndSameMemory) {
    GuardedImage src(5, 4, 9), dst(5, 4, 7);
    src.fillRandom(9);
    dst.fill(kFill);
    mira::Copy_Plane(src.data(), 9, dst.data(), 7, 5, 4);
    EXPECT_EQ(dst.packed(), src.packed());
    EXPECT_TRUE(dst.paddingIntact());
    // Negative height: |h| rows into the destination bottom-up.
    GuardedImage flip(5, 4, 7);
    mira::Copy_Plane_0(src.data(), 9, flip.data(), 7, 5, -4);
    for (uint32_t y = 0; y < 4; ++y)
        EXPECT_EQ(0, std::memcmp(flip.row(3 - y), src.row(y), 5)) << y;
    EXPECT_TRUE(flip.paddingIntact());
    // Dense planes: one block.
    GuardedImage dense(6, 3, 6), denseOut(6, 3, 6);
    dense.fillRandom(4);
    mira::Copy_Plane(dense.data(), 6, denseOut.data(), 6, 6, 3);
    EXPECT_EQ(denseOut.packed(), dense.packed());
    // Same memory, same strides: nothing changes.
    const auto before = src.packed();
    mira::Copy_Plane(src.data(), 9, src.data(), 9, 5, 4);
    EXPECT_EQ(src.packed(), before);
}

// ====================================================== CbCr swap, interleave

class CbCrSwap : public ::testing::TestWithParam<SweepParam> {};

TEST_P(CbCrSwap, MatchesReferenceAndWorksInPlace) {
    const auto [w, h, path] = GetParam();
    GuardedImage src(2 * w, h, 2 * w + 3), dst(2 * w, h, 2 * w + 5);
    src.fillRandom(w * 3 + h);
    dst.fill(kFill);
    std::vector<uint8_t> want = src.packed();
    for (size_t i = 0; i + 1 < want.size(); i += 2) std::swap(want[i], want[i + 1]);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()}, d{w, dst.stride(), h, h, dst.data()};
    MIRA_Feature_Param p{MIRA_API_CBCR_SWAP, mode_of(path), 1, nullptr, 0};
    MIRA_Manager m;
    ASSERT_EQ(m.run(&s, 1, &d, 1, &p), MIRA_OK);
    EXPECT_EQ(dst.packed(), want);
    EXPECT_TRUE(dst.paddingIntact());
    // In place: the source plane as its own destination.
    ASSERT_EQ(m.run(&s, 1, &s, 1, &p), MIRA_OK);
    EXPECT_EQ(src.packed(), want);
    EXPECT_TRUE(src.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Cpu, CbCrSwap, cpu_sweep());
INSTANTIATE_TEST_SUITE_P(StepEdges, CbCrSwap, step_edges());
INSTANTIATE_TEST_SUITE_P(Gpu, CbCrSwap, gpu_sweep());
INSTANTIATE_TEST_SUITE_P(GpuTall, CbCrSwap, gpu_tall());

TEST(CbCrSwap, BlockAndPairRowsThroughWrapperAndKernel) {
    // Rows of 40, 64 and 14 bytes; with rows that have no padding (b) the
    // three rows run as one (64-byte steps, 16-byte steps, single pairs).
    for (uint32_t pairs : {20u, 32u, 7u}) {
        GuardedImage src(2 * pairs, 3, 2 * pairs), a(2 * pairs, 3, 2 * pairs + 1),
            b(2 * pairs, 3, 2 * pairs);
        src.fillRandom(pairs);
        ncvColorCbCrSwapu8(src.data(), pairs, 3, src.stride(), a.data(), a.stride());
        mira::ncvColorCbCrSwapu8(src.data(), pairs, 3, src.stride(), b.data(), b.stride());
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t k = 0; k < pairs; ++k) {
                EXPECT_EQ(a.row(y)[2 * k], src.row(y)[2 * k + 1]);
                EXPECT_EQ(a.row(y)[2 * k + 1], src.row(y)[2 * k]);
            }
        EXPECT_EQ(a.packed(), b.packed());
        EXPECT_TRUE(a.paddingIntact());
        // In place on rows without padding.
        mira::ncvColorCbCrSwapu8(src.data(), pairs, 3, src.stride(), src.data(), src.stride());
        EXPECT_EQ(src.packed(), a.packed());
        EXPECT_TRUE(src.paddingIntact());
    }
}

class Interleave : public ::testing::TestWithParam<SweepParam> {};

TEST_P(Interleave, MatchesReference) {
    const auto [w, h, path] = GetParam();
    GuardedImage a(w, h, w + 2), b(w, h, w + 7), dst(2 * w, h, 2 * w + 4);
    a.fillRandom(w + h);
    b.fillRandom(w * 9 + h);
    dst.fill(kFill);
    std::vector<uint8_t> want(size_t(2) * w * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            want[(size_t(y) * w + x) * 2] = a.row(y)[x];
            want[(size_t(y) * w + x) * 2 + 1] = b.row(y)[x];
        }
    MIRA_Feature_Buf s[2] = {{w, a.stride(), h, h, a.data()}, {w, b.stride(), h, h, b.data()}};
    MIRA_Feature_Buf d{2 * w, dst.stride(), h, h, dst.data()};
    MIRA_Feature_Param p{MIRA_API_INTERLEAVE_U8, mode_of(path), 1, nullptr, 0};
    ASSERT_EQ(MIRA_Manager().run(s, 2, &d, 1, &p), MIRA_OK);
    EXPECT_EQ(dst.packed(), want);
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Cpu, Interleave, cpu_sweep());
INSTANTIATE_TEST_SUITE_P(StepEdges, Interleave, step_edges());
INSTANTIATE_TEST_SUITE_P(Gpu, Interleave, gpu_sweep());
INSTANTIATE_TEST_SUITE_P(GpuTall, Interleave, gpu_tall());

TEST(Interleave, WrapperAndKernelWithDifferentStrides) {
    const uint32_t w = 13, h = 4;
    GuardedImage a(w, h, 16), b(w, h, 29), o1(2 * w, h, 2 * w), o2(2 * w, h, 2 * w + 3);
    a.fillRandom(1);
    b.fillRandom(2);
    ncvInterleaveu8(a.data(), b.data(), w, h, a.stride(), b.stride(), o1.data(), 0);
    mira::ncvInterleaveu8(a.data(), b.data(), w, h, a.stride(), b.stride(), o2.data(), o2.stride());
    EXPECT_EQ(o1.packed(), o2.packed());
    EXPECT_EQ(o1.row(3)[2 * 12], a.row(3)[12]);
    EXPECT_EQ(o1.row(3)[2 * 12 + 1], b.row(3)[12]);
    EXPECT_TRUE(o2.paddingIntact());
}

TEST(SwapAndInterleave, BadArguments) {
    GuardedImage img(16, 2, 16);
    img.fill(6);
    MIRA_Feature_Buf b[2] = {{8, 16, 2, 2, img.data()}, {8, 16, 2, 2, img.data()}};
    MIRA_Feature_Buf n{8, 16, 2, 2, nullptr};
    MIRA_Manager m;
    for (uint32_t mode : {0u, 1u}) {
        MIRA_Feature_Param p11{MIRA_API_CBCR_SWAP, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 1, b, 1, &p11), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 1, nullptr, 1, &p11), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(&n, 1, b, 1, &p11), MIRA_ERR_ARG);
        MIRA_Feature_Param p12{MIRA_API_INTERLEAVE_U8, mode, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 2, b, 1, &p12), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, nullptr, 1, &p12), MIRA_ERR_ARG);
        EXPECT_EQ(m.run(b, 2, &n, 1, &p12), MIRA_ERR_ARG);
    }
    MIRA_CBCR_SWAP f11;
    EXPECT_EQ(f11.MIRA_CBCR_SWAP_neon(b, 1, b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f11.MIRA_CBCR_SWAP_opencl(b, 1, b, 1, nullptr), MIRA_ERR_ARG);
    MIRA_INTERLEAVE_U8 f12;
    EXPECT_EQ(f12.MIRA_INTERLEAVE_U8_neon(b, 2, b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f12.MIRA_INTERLEAVE_U8_opencl(b, 2, b, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(img.packed(), std::vector<uint8_t>(32, 6));
}

}  // namespace
