#include "ops/colour/yuv420_to_rgb_transform.h"

#include <algorithm>
#include <cstring>

#include "ops/colour/yuv420_coefficients.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {
namespace {

// One grid's taps at a 16.16 position `p` on an axis of `n` samples.
inline void taps_at(int64_t p, uint32_t n, uint32_t* i0, uint32_t* i1, uint8_t* w) {
    const int64_t i = p >> 16;  // floor
    if (i < 0) {
        *i0 = *i1 = 0;
        *w = 0;
    } else if (i >= int64_t(n) - 1) {
        *i0 = *i1 = n - 1;
        *w = 0;
    } else {
        *i0 = uint32_t(i);
        *i1 = uint32_t(i + 1);
        *w = uint8_t((p & 0xFFFF) >> 8);
    }
}

}  // namespace

Orientation orientation(int degrees, bool mirror) {
    Orientation o;
    o.swap = degrees == 90 || degrees == 270;
    o.flipSrcX = (degrees == 180 || degrees == 270) != mirror;
    o.flipSrcY = degrees == 90 || degrees == 180;
    return o;
}

void axis_taps(uint32_t dstLength, uint32_t srcLength, bool flip, bool bilinear, AxisTaps* t) {
    const uint32_t n = dstLength, s = srcLength, cs = (s + 1) / 2;
    t->y0.resize(n);
    t->y1.resize(n);
    t->c0.resize(n);
    t->c1.resize(n);
    t->yw.assign(n, 0);
    t->cw.assign(n, 0);
    for (uint32_t d = 0; d < n; ++d) {
        if (!bilinear) {
            uint32_t o = uint32_t((uint64_t(2 * d + 1) * s) / (2 * uint64_t(n)));
            if (flip) o = s - 1 - o;
            t->y0[d] = t->y1[d] = o;
            t->c0[d] = t->c1[d] = o >> 1;
            continue;
        }
        int64_t p = int64_t((uint64_t(2 * d + 1) * s << 16) / (2 * uint64_t(n))) - 32768;
        if (flip) p = (int64_t(s - 1) << 16) - p;
        taps_at(p, s, &t->y0[d], &t->y1[d], &t->yw[d]);
        taps_at((p - 32768) >> 1, cs, &t->c0[d], &t->c1[d], &t->cw[d]);
    }
}

namespace {

// The coefficients as vectors. The +32 of the formula's sums is the rounding
// of the final narrowing shift (rshr6_narrow_sat_u8): the 16-bit sums never
// reach -32768, and a sum that saturates at 32767 gives 255 either way.
struct Kernel {
    int16x8_t yOffset128, kY, kRV, kGU, kGV, kBU, k512;
    explicit Kernel(const ToRgbCoefficients& c)
        : yOffset128(vdupq_n_s16(int16_t(c.yOffset * 128))), kY(dup_opaque_s16(c.kY)),
          kRV(dup_opaque_s16(c.kRV)), kGU(dup_opaque_s16(c.kGU)), kGV(dup_opaque_s16(c.kGV)),
          kBU(dup_opaque_s16(c.kBU)), k512(dup_opaque_s16(512)) {}
};

inline int16x8_t centred256(uint8x8_t c) {
    return vreinterpretq_s16_u16(veorq_u16(vshlq_n_u16(vmovl_u8(c), 8), vdupq_n_u16(0x8000)));
}

inline int16x8_t luma_term(uint8x8_t y, const Kernel& k) {
    const int16x8_t a = vsubq_s16(vreinterpretq_s16_u16(vshll_n_u8(y, 7)), k.yOffset128);
    return mul_round_q15_s16(a, k.kY);
}

// 16 pixels with a chroma sample each: 16 x channels bytes at out.
template <int kChannels, bool kBlueFirst>
inline void convert16(const uint8_t* yp, const uint8_t* up, const uint8_t* vp, const Kernel& k,
                      uint8_t* out) {
    const uint8x16_t yy = vld1q_u8(yp), uu = vld1q_u8(up), vv = vld1q_u8(vp);
    int16x8_t r[2], g[2], b[2];
    for (int h = 0; h < 2; ++h) {
        const uint8x8_t y8 = h ? vget_high_u8(yy) : vget_low_u8(yy);
        const int16x8_t u = centred256(h ? vget_high_u8(uu) : vget_low_u8(uu));
        const int16x8_t v = centred256(h ? vget_high_u8(vv) : vget_low_u8(vv));
        const int16x8_t l = luma_term(y8, k);
        r[h] = vqaddq_s16(l, mul_round_q15_s16(v, k.kRV));
        g[h] = vqsubq_s16(l, vaddq_s16(mul_round_q15_s16(u, k.kGU), mul_round_q15_s16(v, k.kGV)));
        b[h] = vqaddq_s16(l, mul_round_q15_s16(u, k.kBU));
    }
    const uint8x16_t R = rshr6_narrow_sat_u8(r[0], r[1], k.k512);
    const uint8x16_t G = rshr6_narrow_sat_u8(g[0], g[1], k.k512);
    const uint8x16_t B = rshr6_narrow_sat_u8(b[0], b[1], k.k512);
    if (kBlueFirst)
        store_pixels3or4_u8<kChannels>(out, B, G, R);
    else
        store_pixels3or4_u8<kChannels>(out, R, G, B);
}

// The blend of 16 samples: a, b the column-axis taps of the first row-axis
// tap, c, d of the second; cw per sample, rw one for the row:
// (sum of tap x (256 - w or w) products + 2^15) >> 16.
inline uint8x16_t blend16(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                          const uint8_t* cw, uint16_t rw) {
    const uint8x16_t A = vld1q_u8(a), B = vld1q_u8(b), C = vld1q_u8(c), D = vld1q_u8(d);
    const uint8x16_t W = vld1q_u8(cw);
    uint16x4_t out[4];
    for (int h = 0; h < 2; ++h) {
        const uint8x8_t w = h ? vget_high_u8(W) : vget_low_u8(W);
        const uint8x8_t a8 = h ? vget_high_u8(A) : vget_low_u8(A);
        const uint8x8_t c8 = h ? vget_high_u8(C) : vget_low_u8(C);
        // a 256 - a w + b w: exact modulo 2^16, and the result fits.
        const uint16x8_t t0 = vmlal_u8(vmlsl_u8(vshlq_n_u16(vmovl_u8(a8), 8), a8, w),
                                       h ? vget_high_u8(B) : vget_low_u8(B), w);
        const uint16x8_t t1 = vmlal_u8(vmlsl_u8(vshlq_n_u16(vmovl_u8(c8), 8), c8, w),
                                       h ? vget_high_u8(D) : vget_low_u8(D), w);
        for (int q = 0; q < 2; ++q) {
            const uint16x4_t x0 = q ? vget_high_u16(t0) : vget_low_u16(t0);
            const uint16x4_t x1 = q ? vget_high_u16(t1) : vget_low_u16(t1);
            const uint32x4_t acc = vmlal_n_u16(vmlsl_n_u16(vshll_n_u16(x0, 8), x0, rw), x1, rw);
            out[2 * h + q] = vrshrn_n_u32(acc, 16);
        }
    }
    return vcombine_u8(vmovn_u16(vcombine_u16(out[0], out[1])),
                       vmovn_u16(vcombine_u16(out[2], out[3])));
}

// Byte offsets of one plane's taps along one axis (index x step).
struct PlaneTaps {
    std::vector<uint64_t> o0, o1;
};

void plane_taps(const std::vector<uint32_t>& i0, const std::vector<uint32_t>& i1, uint64_t step,
                PlaneTaps* p) {
    p->o0.resize(i0.size());
    p->o1.resize(i0.size());
    for (size_t d = 0; d < i0.size(); ++d) {
        p->o0[d] = i0[d] * step;
        p->o1[d] = i1[d] * step;
    }
}

struct Plan {
    // Column axis (destination x) and row axis (destination y) per plane.
    PlaneTaps colY, colU, colV, rowY, rowU, rowV;
    const uint8_t *yw, *cw;       // column weights, one per destination x
    const uint8_t *rowYw, *rowCw;  // row weights, one per destination y
    bool bilinear;
};

// Gathers the taps of one plane for one destination row into 4 buffers (2
// for nearest) and blends them into out (n samples, padded to 16).
void sample_row(const uint8_t* base, const PlaneTaps& col, uint64_t r0, uint64_t r1,
                const uint8_t* cw, uint8_t rw, bool bilinear, uint32_t n, uint8_t* scratch,
                uint8_t* out) {
    const uint64_t* o0 = col.o0.data();
    if (!bilinear) {
        const uint8_t* p = base + r0;
        for (uint32_t x = 0; x < n; ++x) out[x] = p[o0[x]];
        return;
    }
    const uint64_t* o1 = col.o1.data();
    const uint32_t padded = (n + 15) & ~15u;
    uint8_t *a = scratch, *b = a + padded, *c = b + padded, *d = c + padded;
    const uint8_t *p0 = base + r0, *p1 = base + r1;
    for (uint32_t x = 0; x < n; ++x) {
        a[x] = p0[o0[x]];
        b[x] = p0[o1[x]];
        c[x] = p1[o0[x]];
        d[x] = p1[o1[x]];
    }
    for (uint32_t x = 0; x < padded; x += 16)
        vst1q_u8(out + x, blend16(a + x, b + x, c + x, d + x, cw + x, rw));
}

template <int kChannels, bool kBlueFirst>
void rows(const Yuv420Source& s, const Plan& pl, uint32_t n, uint32_t y0, uint32_t y1,
          uint8_t* dst, uint64_t dstStride, const Kernel& kernel) {
    const Kernel k = kernel;
    const uint32_t padded = (n + 15) & ~15u;
    std::vector<uint8_t> buf(size_t(padded) * 7 + 64 * 4, 0);
    uint8_t *Y = buf.data(), *U = Y + padded, *V = U + padded, *scratch = V + padded;
    for (uint32_t y = y0; y < y1; ++y) {
        sample_row(s.y, pl.colY, pl.rowY.o0[y], pl.rowY.o1[y], pl.yw, pl.rowYw[y], pl.bilinear, n,
                   scratch, Y);
        sample_row(s.u, pl.colU, pl.rowU.o0[y], pl.rowU.o1[y], pl.cw, pl.rowCw[y], pl.bilinear, n,
                   scratch, U);
        sample_row(s.v, pl.colV, pl.rowV.o0[y], pl.rowV.o1[y], pl.cw, pl.rowCw[y], pl.bilinear, n,
                   scratch, V);
        uint8_t* out = dst + y * dstStride;
        uint32_t x = 0;
        for (; x + 16 <= n; x += 16)
            convert16<kChannels, kBlueFirst>(Y + x, U + x, V + x, k, out + kChannels * x);
        if (x < n) {
            uint8_t o[64];
            convert16<kChannels, kBlueFirst>(Y + x, U + x, V + x, k, o);
            std::memcpy(out + kChannels * x, o, kChannels * (n - x));
        }
    }
}

}  // namespace

void yuv420_to_rgb_transform_neon(const Yuv420Source& src, uint32_t srcWidth, uint32_t srcHeight,
                                  uint8_t* dst, uint64_t dstStride, uint32_t dstWidth,
                                  uint32_t dstHeight, int degrees, bool mirror, bool bilinear,
                                  int format, int matrix, int range) {
    if (srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0) return;
    const Orientation o = orientation(degrees, mirror);
    // Destination x reads source x (or y when turned), destination y the other.
    AxisTaps col, row;
    axis_taps(dstWidth, o.swap ? srcHeight : srcWidth, o.swap ? o.flipSrcY : o.flipSrcX, bilinear,
              &col);
    axis_taps(dstHeight, o.swap ? srcWidth : srcHeight, o.swap ? o.flipSrcX : o.flipSrcY, bilinear,
              &row);
    // The column weights padded for the 16-sample blends.
    const uint32_t padded = (dstWidth + 15) & ~15u;
    col.yw.resize(padded, 0);
    col.cw.resize(padded, 0);
    const uint64_t ps = uint64_t(src.pixelStride);
    // Steps along source x and y for each plane.
    const uint64_t xY = 1, yY = src.yStride, xU = ps, yU = src.uStride, xV = ps, yV = src.vStride;
    Plan pl;
    plane_taps(col.y0, col.y1, o.swap ? yY : xY, &pl.colY);
    plane_taps(col.c0, col.c1, o.swap ? yU : xU, &pl.colU);
    plane_taps(col.c0, col.c1, o.swap ? yV : xV, &pl.colV);
    plane_taps(row.y0, row.y1, o.swap ? xY : yY, &pl.rowY);
    plane_taps(row.c0, row.c1, o.swap ? xU : yU, &pl.rowU);
    plane_taps(row.c0, row.c1, o.swap ? xV : yV, &pl.rowV);
    pl.yw = col.yw.data();
    pl.cw = col.cw.data();
    pl.rowYw = row.yw.data();
    pl.rowCw = row.cw.data();
    pl.bilinear = bilinear;
    const Kernel k(kToRgb[matrix][range]);
    const bool blueFirst = rgb_blue_first(format);
    const auto fn = rgb_channels(format) == 4 ? (blueFirst ? rows<4, true> : rows<4, false>)
                                              : (blueFirst ? rows<3, true> : rows<3, false>);
    const uint64_t pixels = uint64_t(dstWidth) * dstHeight;
    const int bands =
        pixels < (1u << 16) ? 1 : int(std::min<uint32_t>(16, std::max(1u, dstHeight / 16)));
    if (bands == 1) {
        fn(src, pl, dstWidth, 0, dstHeight, dst, dstStride, k);
        return;
    }
    run_bands(bands, [&](int b) {
        const uint32_t r0 = uint32_t(uint64_t(dstHeight) * b / bands);
        const uint32_t r1 = uint32_t(uint64_t(dstHeight) * (b + 1) / bands);
        fn(src, pl, dstWidth, r0, r1, dst, dstStride, k);
    });
}

}  // namespace mira
