// The scalar reference of the fused camera call, written from the arithmetic
// stated at mira_yuv420_to_rgb_transform in include/mira/mira_image.h: per
// destination pixel, its source position on each axis, the taps in the luma
// and chroma grids, the 8-bit weights and the integer conversion of
// common/camera_frame.h. Shared by the CPU and GPU suites.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/camera_frame.h"

namespace camera_test {

// Largest and mean difference against convert + turn + mira_resize
// (bilinear) on smooth content (tests/test_camera_transform.cpp): measured 4
// and 0.51 to 0.63 (320x240 frame turned to 120x160, 360x480, 200x400).
constexpr int kSeparateBoundMax = 4;
constexpr double kSeparateBoundMean = 0.7;

// One tap pair on an axis of n samples at 16.16 position q.
struct Taps {
    int64_t i0, i1, w;
};
inline Taps taps_of(int64_t q, int64_t n) {
    const int64_t i = q >> 16;
    if (i < 0) return {0, 0, 0};
    if (i >= n - 1) return {n - 1, n - 1, 0};
    return {i, i + 1, (q & 0xFFFF) >> 8};
}

// The bilinear sample of one plane from its four taps.
inline int blend(int a, int b, int c, int d, int64_t wx, int64_t wy) {
    const int64_t v = a * (256 - wx) * (256 - wy) + b * wx * (256 - wy) + c * (256 - wx) * wy +
                      d * wx * wy;
    return int((v + 32768) >> 16);
}

// The destination's rows' bytes, packed.
inline std::vector<uint8_t> reference_transform(TestFrame& fr, uint32_t dw, uint32_t dh,
                                                int degrees, int mirror, bool bilinear,
                                                mira_rgb_format fmt, mira_matrix m, mira_range r) {
    const int64_t W = fr.f.width, H = fr.f.height, CW = (W + 1) / 2, CH = (H + 1) / 2;
    const bool swap = degrees == 90 || degrees == 270;
    const bool flipX = (degrees == 180 || degrees == 270) != (mirror != 0);
    const bool flipY = degrees == 90 || degrees == 180;
    const IntToRgb k(m, r);
    const int chn = channels_of(fmt);
    std::vector<uint8_t> out(size_t(dw) * dh * chn);
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x) {
            // (destination index, destination length) feeding source x and y.
            const int64_t dX = swap ? y : x, nX = swap ? dh : dw;
            const int64_t dY = swap ? x : y, nY = swap ? dw : dh;
            int Y, U, V;
            if (!bilinear) {
                int64_t sx = (2 * dX + 1) * W / (2 * nX), sy = (2 * dY + 1) * H / (2 * nY);
                if (flipX) sx = W - 1 - sx;
                if (flipY) sy = H - 1 - sy;
                Y = fr.Y(uint32_t(sx), uint32_t(sy));
                U = fr.U(uint32_t(sx / 2), uint32_t(sy / 2));
                V = fr.V(uint32_t(sx / 2), uint32_t(sy / 2));
            } else {
                int64_t px = ((2 * dX + 1) * W * 65536) / (2 * nX) - 32768;
                int64_t py = ((2 * dY + 1) * H * 65536) / (2 * nY) - 32768;
                if (flipX) px = (W - 1) * 65536 - px;
                if (flipY) py = (H - 1) * 65536 - py;
                const Taps lx = taps_of(px, W), ly = taps_of(py, H);
                const Taps cx = taps_of((px - 32768) >> 1, CW), cy = taps_of((py - 32768) >> 1, CH);
                auto yat = [&](int64_t a, int64_t b) { return int(fr.Y(uint32_t(a), uint32_t(b))); };
                auto uat = [&](int64_t a, int64_t b) { return int(fr.U(uint32_t(a), uint32_t(b))); };
                auto vat = [&](int64_t a, int64_t b) { return int(fr.V(uint32_t(a), uint32_t(b))); };
                Y = blend(yat(lx.i0, ly.i0), yat(lx.i1, ly.i0), yat(lx.i0, ly.i1), yat(lx.i1, ly.i1),
                          lx.w, ly.w);
                U = blend(uat(cx.i0, cy.i0), uat(cx.i1, cy.i0), uat(cx.i0, cy.i1), uat(cx.i1, cy.i1),
                          cx.w, cy.w);
                V = blend(vat(cx.i0, cy.i0), vat(cx.i1, cy.i0), vat(cx.i0, cy.i1), vat(cx.i1, cy.i1),
                          cx.w, cy.w);
            }
            int rgb[3];
            k.rgb(Y, U, V, rgb);
            uint8_t* p = out.data() + (size_t(y) * dw + x) * chn;
            p[0] = uint8_t(blue_first(fmt) ? rgb[2] : rgb[0]);
            p[1] = uint8_t(rgb[1]);
            p[2] = uint8_t(blue_first(fmt) ? rgb[0] : rgb[2]);
            if (chn == 4) p[3] = 255;
        }
    return out;
}

// The first byte where the image's rows differ from `want` (packed), or SIZE_MAX.
inline size_t first_difference(TestRgb& img, const std::vector<uint8_t>& want) {
    const std::vector<uint8_t> got = img.g->packed();
    if (got.size() != want.size()) return 0;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != want[i]) return i;
    return SIZE_MAX;
}

}  // namespace camera_test
