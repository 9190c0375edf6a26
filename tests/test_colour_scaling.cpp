// Colour pixels (3 and 4 interleaved channels) through the scaling functions
// of the checked interface: mira_resize (every interpolation and border),
// mira_upscale_lanczos, mira_scale_down and mira_scale_down_box. One case table; for each case the
// colour result must equal, byte for byte, splitting the channels into
// planes, running the same function on each plane (channels 1) and
// interleaving the results again, on every path the function offers. The
// nearest-sample, bilinear enlargement, area (box), block-mean and GPU box cases are also checked
// against independent scalar references (tests/scaling_reference.h and the
// formulas below; exact for nearest, the bilinear enlargement's fixed point,
// block mean and the GPU box; the float area mean within the one step the
// float accumulation can force at an integer boundary, as test_scale.cpp
// states it). Buffers have strides wider than their rows and end at a guard
// page; the padding between rows must stay untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira_image.h"
#include "scaling_reference.h"

using mira_test::GuardedImage;
using scaling_ref::Filter;

namespace {

enum class Op { Resize, Lanczos, ScaleDown, ScaleDownBox };

struct Case {
    Op op;
    int interpolation;  // mira_resize only
    int border;         // mira_resize only
    uint32_t sw, sh, dw, dh;
};

constexpr uint8_t kBorderValue = 77;

std::string name_of(const Case& c) {
    const char* op = c.op == Op::Resize      ? "resize"
                     : c.op == Op::Lanczos   ? "lanczos"
                     : c.op == Op::ScaleDown ? "scale_down"
                                             : "scale_down_box";
    return std::string(op) + " i" + std::to_string(c.interpolation) + " b" +
           std::to_string(c.border) + " " + std::to_string(c.sw) + "x" + std::to_string(c.sh) +
           "->" + std::to_string(c.dw) + "x" + std::to_string(c.dh);
}

mira_image view(GuardedImage& g, uint32_t w, uint32_t h, uint32_t channels) {
    return mira_image{g.data(), w, h, g.stride(), channels};
}

mira_status run(const Case& c, const mira_image& s, const mira_image& d, mira_path path) {
    switch (c.op) {
        case Op::Resize:
            return mira_resize(&s, &d, mira_interpolation(c.interpolation), mira_border(c.border),
                               kBorderValue, path);
        case Op::Lanczos: return mira_upscale_lanczos(&s, &d, path);
        case Op::ScaleDown: return mira_scale_down(&s, &d, path);
        case Op::ScaleDownBox: return mira_scale_down_box(&s, &d, path);
    }
    return MIRA_STATUS_BAD_ARGUMENT;
}

// Channel `ch` of a packed interleaved image as a packed plane.
scaling_ref::Plane channel_of(const std::vector<uint8_t>& px, uint32_t w, uint32_t h,
                              uint32_t channels, uint32_t ch) {
    scaling_ref::Plane p{w, h, std::vector<uint8_t>(size_t(w) * h)};
    for (size_t i = 0; i < p.px.size(); ++i) p.px[i] = px[i * channels + ch];
    return p;
}

// The result the colour call must give: each channel through the plane call
// (channels 1, guarded planes of their own), interleaved again.
std::vector<uint8_t> split_run_interleave(const Case& c, const std::vector<uint8_t>& src,
                                          uint32_t channels, mira_path path) {
    std::vector<uint8_t> out(size_t(c.dw) * c.dh * channels);
    for (uint32_t ch = 0; ch < channels; ++ch) {
        const scaling_ref::Plane p = channel_of(src, c.sw, c.sh, channels, ch);
        GuardedImage ps(c.sw, c.sh, c.sw + 3), pd(c.dw, c.dh, c.dw + 5);
        for (uint32_t y = 0; y < c.sh; ++y)
            std::memcpy(ps.row(y), p.px.data() + size_t(y) * c.sw, c.sw);
        const mira_image s = view(ps, c.sw, c.sh, 1), d = view(pd, c.dw, c.dh, 1);
        EXPECT_EQ(run(c, s, d, path), MIRA_STATUS_OK) << "plane call, channel " << ch;
        const std::vector<uint8_t> r = pd.packed();
        for (size_t i = 0; i < r.size(); ++i) out[i * channels + ch] = r[i];
    }
    return out;
}

// The independent references, per channel: nearest sample (enlarging with
// NONE or BOX), area mean (shrinking both axes with BOX) and block mean.
// Returns false where the case has none.
// The GPU method of mira_scale_down_box on a plane: the truncated mean of the
// max(W / w, 1) x max(H / h, 1) block at the truncated float position
// (x W / w, y H / h), taps past the edge reading the last column or row.
void gpu_box_check(const Case& c, const std::vector<uint8_t>& src, const std::vector<uint8_t>& got,
                   uint32_t channels) {
    const int bw = std::max<int>(int(c.sw / c.dw), 1), bh = std::max<int>(int(c.sh / c.dh), 1);
    const float xs = float(c.sw) / float(c.dw), ys = float(c.sh) / float(c.dh);
    for (uint32_t ch = 0; ch < channels; ++ch) {
        const scaling_ref::Plane p = channel_of(src, c.sw, c.sh, channels, ch);
        const scaling_ref::Plane g = channel_of(got, c.dw, c.dh, channels, ch);
        for (uint32_t y = 0; y < c.dh; ++y)
            for (uint32_t x = 0; x < c.dw; ++x) {
                const int sx = int(float(x) * xs), sy = int(float(y) * ys);
                uint32_t sum = 0;
                for (int j = 0; j < bh; ++j)
                    for (int i = 0; i < bw; ++i)
                        sum += p.at(uint32_t(std::min(sx + i, int(c.sw) - 1)),
                                    uint32_t(std::min(sy + j, int(c.sh) - 1)));
                ASSERT_EQ(int(g.at(x, y)), int(sum / uint32_t(bw * bh)))
                    << "GPU box, channel " << ch << " at " << x << "," << y;
            }
    }
}

bool reference_check(const Case& c, const std::vector<uint8_t>& src,
                     const std::vector<uint8_t>& got, uint32_t channels) {
    const bool upX = c.dw >= c.sw, upY = c.dh >= c.sh;
    const float sx = float(c.dw) / float(c.sw), sy = float(c.dh) / float(c.sh);
    const bool nearest = c.op == Op::Resize && c.interpolation != MIRA_INTERPOLATION_BILINEAR &&
                         upX && upY && !(c.sw == c.dw && c.sh == c.dh);
    const bool area = c.op == Op::Resize && c.interpolation == MIRA_INTERPOLATION_BOX &&
                      c.dw < c.sw && c.dh < c.sh;
    const bool block = c.op == Op::ScaleDown;
    const bool bilinearUp = c.op == Op::Resize &&
                            c.interpolation == MIRA_INTERPOLATION_BILINEAR && upX && upY &&
                            !(c.sw == c.dw && c.sh == c.dh);
    if (!nearest && !area && !block && !bilinearUp) return false;
    const int border = c.border == MIRA_BORDER_CONSTANT ? kBorderValue : -1;
    if (bilinearUp) {
        // The bilinear enlargement's fixed point, exactly.
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const scaling_ref::Plane p = channel_of(src, c.sw, c.sh, channels, ch);
            const scaling_ref::Plane g = channel_of(got, c.dw, c.dh, channels, ch);
            const scaling_ref::Plane r = scaling_ref::bilinear_up_q8(p, c.dw, c.dh, sx, sy, border);
            long where = -1;
            EXPECT_EQ(scaling_ref::max_diff(g.px, r.px, 0, &where), 0)
                << "bilinear up (fixed point), channel " << ch << " first at " << where;
        }
        return true;
    }
    for (uint32_t ch = 0; ch < channels; ++ch) {
        const scaling_ref::Plane p = channel_of(src, c.sw, c.sh, channels, ch);
        const scaling_ref::Plane g = channel_of(got, c.dw, c.dh, channels, ch);
        if (block) {
            const uint32_t m = c.sw / c.dw, n = c.sh / c.dh;
            for (uint32_t y = 0; y < c.dh; ++y)
                for (uint32_t x = 0; x < c.dw; ++x) {
                    uint64_t sum = 0;
                    for (uint32_t j = 0; j < n; ++j)
                        for (uint32_t i = 0; i < m; ++i) sum += p.at(x * m + i, y * n + j);
                    EXPECT_EQ(int(g.at(x, y)), int(sum / (uint64_t(m) * n)))
                        << "block mean, channel " << ch << " at " << x << "," << y;
                }
            continue;
        }
        std::vector<double> exact;
        const Filter f = nearest ? Filter::Nearest : Filter::Box;
        const scaling_ref::Plane r =
            scaling_ref::resample_xy(p, c.dw, c.dh, f, sx, f, sy, border, &exact);
        for (size_t i = 0; i < r.px.size(); ++i) {
            const int d = int(g.px[i]) - int(r.px[i]);
            if (d == 0) continue;
            // Nearest samples are exact; an area mean may be one step off
            // where the exact value lies within 0.01 of the integer boundary.
            const double boundary = d > 0 ? double(r.px[i]) + 1.0 : double(r.px[i]);
            EXPECT_TRUE(!nearest && std::abs(d) == 1 && std::fabs(exact[i] - boundary) < 0.01)
                << (nearest ? "nearest" : "area") << ", channel " << ch << " pixel " << i
                << " got " << int(g.px[i]) << " want " << int(r.px[i]);
        }
    }
    return true;
}

std::vector<Case> cases() {
    std::vector<Case> v;
    // sw, sh, dw, dh: odd widths, heights 1 to 17, shrinking, enlarging and
    // mixed, equal sizes, 1080p -> 720p, and exactly 2x over several row
    // bands of an odd width (the exact version's own loop nests).
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> resize = {
        {1, 1, 7, 3},     {7, 2, 17, 3},   {17, 3, 7, 2},    {33, 17, 17, 3},
        {641, 17, 33, 2}, {33, 2, 641, 17}, {17, 17, 33, 1}, {7, 3, 7, 3},
        {641, 3, 1, 1},   {33, 17, 66, 34}, {66, 34, 33, 17}, {48, 17, 32, 3},
        {17, 2, 34, 3},   {641, 51, 1282, 102}, {1920, 1080, 1280, 720}};
    for (int interp = 0; interp < 3; ++interp)
        for (int border = 0; border < 3; ++border)
            for (const auto& [sw, sh, dw, dh] : resize) {
                if (sw == 1920 && border != MIRA_BORDER_REPLICATE) continue;
                v.push_back({Op::Resize, interp, border, sw, sh, dw, dh});
            }
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> lanczos = {
        {1, 1, 7, 2}, {7, 2, 17, 3}, {17, 3, 33, 17}, {33, 17, 641, 17}, {7, 3, 7, 3}};
    for (const auto& [sw, sh, dw, dh] : lanczos) v.push_back({Op::Lanczos, 0, 0, sw, sh, dw, dh});
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> blocks = {
        {1, 2, 1, 1},   {7, 2, 7, 1},     {34, 3, 17, 1},    {33, 17, 11, 17},
        {641, 17, 641, 17}, {68, 34, 17, 17}, {64, 34, 32, 17}, {1920, 1080, 960, 540}};
    for (const auto& [sw, sh, dw, dh] : blocks) v.push_back({Op::ScaleDown, 0, 0, sw, sh, dw, dh});
    const std::vector<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>> boxes = {
        {1, 1, 1, 1},  {7, 2, 1, 1},    {17, 3, 7, 2},    {33, 17, 17, 3},  {641, 17, 33, 2},
        {641, 3, 640, 3}, {64, 17, 16, 17}, {33, 17, 33, 17}, {1920, 1080, 1280, 720}};
    for (const auto& [sw, sh, dw, dh] : boxes) v.push_back({Op::ScaleDownBox, 0, 0, sw, sh, dw, dh});
    return v;
}

class ColourScaling : public ::testing::TestWithParam<std::tuple<Case, uint32_t>> {};

TEST_P(ColourScaling, EqualsChannelsSplitScaledAndInterleaved) {
    const auto [c, channels] = GetParam();
    SCOPED_TRACE(name_of(c) + " channels " + std::to_string(channels));
    const uint32_t C = channels;
    GuardedImage src(c.sw * C, c.sh, c.sw * C + 5);
    src.fillRandom(c.sw * 131 + c.dh * 7 + C + uint32_t(c.interpolation) * 3);
    const std::vector<uint8_t> in = src.packed();
    // The down-scales' GPU paths have arithmetic of their own (the box's is
    // its default path); every other path here is the CPU method.
    const std::vector<uint8_t> wantCpu = split_run_interleave(c, in, C, MIRA_PATH_CPU);
    const bool ownGpu = c.op == Op::ScaleDownBox || c.op == Op::ScaleDown;
    const std::vector<uint8_t> wantGpu =
        ownGpu ? split_run_interleave(c, in, C, MIRA_PATH_GPU) : wantCpu;

    std::vector<uint8_t> cpu;
    for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_DEFAULT, MIRA_PATH_GPU}) {
        const bool gpu = path == MIRA_PATH_GPU ||
                         (path == MIRA_PATH_DEFAULT && c.op == Op::ScaleDownBox);
        const std::vector<uint8_t>& want = gpu ? wantGpu : wantCpu;
        GuardedImage dst(c.dw * C, c.dh, c.dw * C + 7);
        const mira_image s = view(src, c.sw, c.sh, C), d = view(dst, c.dw, c.dh, C);
        ASSERT_EQ(run(c, s, d, path), MIRA_STATUS_OK) << "path " << int(path);
        EXPECT_TRUE(dst.paddingIntact()) << "path " << int(path);
        const std::vector<uint8_t> got = dst.packed();
        ASSERT_EQ(got, want) << "path " << int(path);
        if (path == MIRA_PATH_CPU) cpu = got;
        if (ownGpu && path == MIRA_PATH_GPU) gpu_box_check(c, in, got, C);
    }
    EXPECT_EQ(src.packed(), in);  // the source is left alone
    const bool referenced = reference_check(c, in, cpu, C);
    (void)referenced;
}

INSTANTIATE_TEST_SUITE_P(Table, ColourScaling,
                         ::testing::Combine(::testing::ValuesIn(cases()),
                                            ::testing::Values(3u, 4u)));

// The references cover what the table says they cover (a table edit that
// dropped them would otherwise go unnoticed).
TEST(ColourScaling, TableHasReferencedCases) {
    int nearest = 0, area = 0, block = 0, box = 0, bilinearUp = 0;
    for (const Case& c : cases()) {
        bilinearUp += c.op == Op::Resize && c.interpolation == 1 && c.dw >= c.sw &&
                      c.dh >= c.sh && !(c.sw == c.dw && c.sh == c.dh);
        nearest += c.op == Op::Resize && c.interpolation != 1 && c.dw >= c.sw && c.dh >= c.sh &&
                   !(c.sw == c.dw && c.sh == c.dh);
        area += c.op == Op::Resize && c.interpolation == 2 && c.dw < c.sw && c.dh < c.sh;
        block += c.op == Op::ScaleDown;
        box += c.op == Op::ScaleDownBox;
    }
    EXPECT_GT(nearest, 10);
    EXPECT_GT(area, 10);
    EXPECT_GT(block, 5);
    EXPECT_GT(box, 5);
    EXPECT_GT(bilinearUp, 10);
}

// Channel counts a function does not take (pairs: the block mean only):
// refused with MIRA_STATUS_UNSUPPORTED, nothing written.
// Mismatched channel counts are a bad argument.
TEST(ColourScaling, UnsupportedChannelCountsRefusedWithNothingWritten) {
    const uint32_t w = 8, h = 4;
    for (uint32_t C : {0u, 5u, 8u}) {
        GuardedImage src(w * 8, h, w * 8 + 3), dst(w * 8, h, w * 8 + 3);
        src.fillRandom(C);
        dst.fill(0x5A);
        const std::vector<uint8_t> before = dst.packed();
        const mira_image s{src.data(), w, h, src.stride(), C};
        const mira_image d{dst.data(), w / 2, h / 2, dst.stride(), C};
        const mira_image u{dst.data(), w, h, dst.stride(), C};
        EXPECT_EQ(mira_resize(&s, &d, MIRA_INTERPOLATION_BILINEAR, MIRA_BORDER_REPLICATE, 0,
                              MIRA_PATH_CPU),
                  MIRA_STATUS_UNSUPPORTED)
            << C;
        EXPECT_EQ(mira_upscale_lanczos(&s, &u, MIRA_PATH_CPU), MIRA_STATUS_UNSUPPORTED) << C;
        EXPECT_EQ(mira_scale_down(&s, &d, MIRA_PATH_CPU), MIRA_STATUS_UNSUPPORTED) << C;
        for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU})
            EXPECT_EQ(mira_scale_down_box(&s, &d, path), MIRA_STATUS_UNSUPPORTED) << C;
        EXPECT_EQ(dst.packed(), before) << C;
        EXPECT_TRUE(dst.paddingIntact());
    }
    for (uint32_t C : {2u, 3u, 4u}) {
        GuardedImage src(w * C, h, w * C + 3), dst(w * C, h, w * C + 3);
        src.fillRandom(C);
        dst.fill(0x5A);
        const std::vector<uint8_t> before = dst.packed();
        const mira_image s{src.data(), w, h, src.stride(), C};
        const mira_image d{dst.data(), w / 2, h / 2, dst.stride(), C};
        if (C == 2)
            for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU})
                EXPECT_EQ(mira_scale_down(&s, &d, path), MIRA_STATUS_UNSUPPORTED);
        const mira_image other{dst.data(), w / 2, h / 2, dst.stride(), C == 4 ? 3u : 4u};
        EXPECT_EQ(mira_resize(&s, &other, MIRA_INTERPOLATION_NONE, MIRA_BORDER_NONE, 0,
                              MIRA_PATH_CPU),
                  MIRA_STATUS_BAD_ARGUMENT);
        EXPECT_EQ(dst.packed(), before) << C;
    }
}

}  // namespace
