#include "ops/colour/rgb_to_yuv420.h"

#include <algorithm>
#include <cstring>

#include "ops/colour/chroma_layout.h"
#include "ops/colour/yuv420_coefficients.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {
namespace {

struct Kernel {
    int16x8_t kYR, kYG, kYB, kUR, kUG, kUB, kVR, kVG, kVB, yBias, cBias;
    explicit Kernel(const FromRgbCoefficients& c)
        : kYR(dup_opaque_s16(c.kYR)), kYG(dup_opaque_s16(c.kYG)), kYB(dup_opaque_s16(c.kYB)),
          kUR(dup_opaque_s16(c.kUR)), kUG(dup_opaque_s16(c.kUG)), kUB(dup_opaque_s16(c.kUB)),
          kVR(dup_opaque_s16(c.kVR)), kVG(dup_opaque_s16(c.kVG)), kVB(dup_opaque_s16(c.kVB)),
          yBias(vdupq_n_s16(int16_t(64 * c.yOffset + 32))), cBias(vdupq_n_s16(8192 + 32)) {}
};

struct Rgb16 {
    uint8x16_t r, g, b;
};

template <int kChannels, bool kBlueFirst>
inline Rgb16 load16(const uint8_t* p) {
    uint8x16_t q[kChannels];
    load_planes_u8<kChannels>(p, q);
    Rgb16 o{q[0], q[1], q[2]};
    if (kBlueFirst) std::swap(o.r, o.b);
    return o;
}

// Y of 8 pixels (c x 128 as signed 16-bit lanes), before the narrowing shift.
inline int16x8_t luma8(uint8x8_t r, uint8x8_t g, uint8x8_t b, const Kernel& k) {
    int16x8_t s = vaddq_s16(mul_round_q15_s16(vreinterpretq_s16_u16(vshll_n_u8(r, 7)), k.kYR),
                            mul_round_q15_s16(vreinterpretq_s16_u16(vshll_n_u8(g, 7)), k.kYG));
    s = vaddq_s16(s, mul_round_q15_s16(vreinterpretq_s16_u16(vshll_n_u8(b, 7)), k.kYB));
    return vaddq_s16(s, k.yBias);
}

inline uint8x16_t luma16(const Rgb16& p, const Kernel& k) {
    return shr_narrow_sat_u8<6>(luma8(vget_low_u8(p.r), vget_low_u8(p.g), vget_low_u8(p.b), k),
                                luma8(vget_high_u8(p.r), vget_high_u8(p.g), vget_high_u8(p.b), k));
}

// 32 x the sums of the 2x2 blocks of rows a and b (8 blocks).
inline int16x8_t block32(uint8x16_t a, uint8x16_t b) {
    return vreinterpretq_s16_u16(vshlq_n_u16(vpadalq_u8(vpaddlq_u8(a), b), 5));
}

// 16 pixels of two rows (a second row equal to the first for the last row
// of an odd height): 16 Y of each row, 8 U and 8 V.
template <int kChannels, bool kBlueFirst>
inline void convert16x2(const uint8_t* s0, const uint8_t* s1, const Kernel& k, uint8x16_t* y0,
                        uint8x16_t* y1, uint8x8_t* u, uint8x8_t* v) {
    const Rgb16 a = load16<kChannels, kBlueFirst>(s0), b = load16<kChannels, kBlueFirst>(s1);
    *y0 = luma16(a, k);
    *y1 = luma16(b, k);
    const int16x8_t r = block32(a.r, b.r), g = block32(a.g, b.g), bl = block32(a.b, b.b);
    int16x8_t su = vaddq_s16(mul_round_q15_s16(r, k.kUR), mul_round_q15_s16(g, k.kUG));
    su = vaddq_s16(vaddq_s16(su, mul_round_q15_s16(bl, k.kUB)), k.cBias);
    int16x8_t sv = vaddq_s16(mul_round_q15_s16(r, k.kVR), mul_round_q15_s16(g, k.kVG));
    sv = vaddq_s16(vaddq_s16(sv, mul_round_q15_s16(bl, k.kVB)), k.cBias);
    *u = vqshrun_n_s16(su, 6);
    *v = vqshrun_n_s16(sv, 6);
}

// 8 chroma samples from sample index i on.
template <int kMode>
inline void store_chroma8(uint8_t* ur, uint8_t* vr, uint64_t i, uint8x8_t u, uint8x8_t v) {
    if (kMode == kPlanar) {
        vst1_u8(ur + i, u);
        vst1_u8(vr + i, v);
    } else if (kMode == kUvPairs) {
        uint8x8x2_t p;
        p.val[0] = u;
        p.val[1] = v;
        vst2_u8(ur + 2 * i, p);
    } else if (kMode == kVuPairs) {
        uint8x8x2_t p;
        p.val[0] = v;
        p.val[1] = u;
        vst2_u8(vr + 2 * i, p);
    } else {
        uint8_t bu[8], bv[8];
        vst1_u8(bu, u);
        vst1_u8(bv, v);
        for (int j = 0; j < 8; ++j) {
            ur[2 * (i + j)] = bu[j];
            vr[2 * (i + j)] = bv[j];
        }
    }
}

// (The rows take a copy of the coefficients, which stays in registers:
// through the caller's reference every store would reload them.)
template <int kChannels, int kMode, bool kBlueFirst>
void convert_pairs(const uint8_t* src, uint64_t srcStride, uint32_t width, uint32_t height,
                   uint32_t p0, uint32_t p1, const Yuv420Destination& d, const Kernel& kernel) {
    const Kernel k = kernel;
    const uint64_t w = width;
    const int ps = d.pixelStride;
    for (uint32_t j = p0; j < p1; ++j) {
        const uint32_t r0 = 2 * j;
        const bool two = r0 + 1 < height;
        const uint8_t* s0 = src + r0 * srcStride;
        const uint8_t* s1 = two ? s0 + srcStride : s0;
        uint8_t* y0 = d.y + r0 * d.yStride;
        uint8_t* y1 = y0 + d.yStride;
        uint8_t* ur = d.u + j * d.uStride;
        uint8_t* vr = d.v + j * d.vStride;
        uint64_t x = 0;
        for (; x + 16 <= w; x += 16) {
            uint8x16_t a, b;
            uint8x8_t u, v;
            convert16x2<kChannels, kBlueFirst>(s0 + kChannels * x, s1 + kChannels * x, k, &a, &b,
                                               &u, &v);
            vst1q_u8(y0 + x, a);
            if (two) vst1q_u8(y1 + x, b);
            store_chroma8<kMode>(ur, vr, x / 2, u, v);
        }
        if (x < w) {
            // The last pixels: staged through 16-pixel buffers (a lone last
            // column repeated, so its block sums count it twice) and converted
            // by the same vector code; only the frame's samples are written.
            const uint64_t n = w - x, c = (n + 1) / 2;
            uint8_t l0[64] = {}, l1[64] = {};
            std::memcpy(l0, s0 + kChannels * x, kChannels * n);
            std::memcpy(l1, s1 + kChannels * x, kChannels * n);
            if (n & 1) {
                std::memcpy(l0 + kChannels * n, l0 + kChannels * (n - 1), kChannels);
                std::memcpy(l1 + kChannels * n, l1 + kChannels * (n - 1), kChannels);
            }
            uint8x16_t a, b;
            uint8x8_t u, v;
            convert16x2<kChannels, kBlueFirst>(l0, l1, k, &a, &b, &u, &v);
            uint8_t oy0[16], oy1[16], ou[8], ov[8];
            vst1q_u8(oy0, a);
            vst1q_u8(oy1, b);
            vst1_u8(ou, u);
            vst1_u8(ov, v);
            std::memcpy(y0 + x, oy0, n);
            if (two) std::memcpy(y1 + x, oy1, n);
            for (uint64_t i = 0; i < c; ++i) {
                ur[(x / 2 + i) * ps] = ou[i];
                vr[(x / 2 + i) * ps] = ov[i];
            }
        }
    }
}

using PairsFn = void (*)(const uint8_t*, uint64_t, uint32_t, uint32_t, uint32_t, uint32_t,
                         const Yuv420Destination&, const Kernel&);

template <int kChannels, int kMode, bool kBlueFirst>
struct Pairs {
    static constexpr PairsFn fn = convert_pairs<kChannels, kMode, kBlueFirst>;
};

}  // namespace

void rgb_to_yuv420_neon(const uint8_t* src, uint64_t srcStride, int format, uint32_t width,
                        uint32_t height, const Yuv420Destination& dst, int matrix, int range) {
    if (width == 0 || height == 0) return;
    const Kernel k(kFromRgb[matrix][range]);
    const PairsFn fn =
        pick_variant<Pairs>(rgb_channels(format),
                            chroma_mode(dst.pixelStride, dst.u, dst.v, dst.uStride, dst.vStride),
                            rgb_blue_first(format));
    const uint32_t pairs = (height + 1) / 2;
    const int bands = row_pair_bands(width, height);
    if (bands == 1) {
        fn(src, srcStride, width, height, 0, pairs, dst, k);
        return;
    }
    run_bands(bands, [&](int b) {
        fn(src, srcStride, width, height, uint32_t(uint64_t(pairs) * b / bands),
           uint32_t(uint64_t(pairs) * (b + 1) / bands), dst, k);
    });
}

}  // namespace mira
