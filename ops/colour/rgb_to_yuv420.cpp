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
    uint8x16_t kYR, kYG, kYB, k128;
    uint16x8_t yBias;
    int16x8_t kUB, kUR, kVR, kVB;
    explicit Kernel(const FromRgbCoefficients& c)
        : kYR(dup_opaque_u8(uint8_t(c.kYR))), kYG(dup_opaque_u8(uint8_t(c.kYG))),
          kYB(dup_opaque_u8(uint8_t(c.kYB))), k128(vdupq_n_u8(128)),
          yBias(vdupq_n_u16(uint16_t(256 * c.yOffset + 128))), kUB(dup_opaque_s16(c.kUB)),
          kUR(dup_opaque_s16(c.kUR)), kVR(dup_opaque_s16(c.kVR)), kVB(dup_opaque_s16(c.kVB)) {}
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

// Y of 16 pixels: (kYR R + kYG G + kYB B + bias) >> 8, the sums in 16 bits
// (at most 65408) and the shift the high half of the bias add.
inline uint8x16_t luma16(const Rgb16& p, const Kernel& k) {
    uint16x8_t lo = vmull_u8(vget_low_u8(p.r), vget_low_u8(k.kYR));
    uint16x8_t hi = vmull_high_u8(p.r, k.kYR);
    lo = vmlal_u8(lo, vget_low_u8(p.g), vget_low_u8(k.kYG));
    hi = vmlal_high_u8(hi, p.g, k.kYG);
    lo = vmlal_u8(lo, vget_low_u8(p.b), vget_low_u8(k.kYB));
    hi = vmlal_high_u8(hi, p.b, k.kYB);
    keep_register(lo);
    keep_register(hi);
    return vcombine_u8(vaddhn_u16(lo, k.yBias), vaddhn_u16(hi, k.yBias));
}

// 32 x (the block sums of one channel minus those of another), 8 blocks:
// within +-32640.
inline int16x8_t block_difference32(uint16x8_t sa, uint16x8_t sb) {
    return vshlq_n_s16(vreinterpretq_s16_u16(vsubq_u16(sa, sb)), 5);
}

// 16 pixels of two rows (a second row equal to the first for the last row
// of an odd height): 16 Y of each row, and the two products of each of the
// 8 U and 8 V, q(d1, k1) and q(d2, k2).
struct Block16 {
    uint8x16_t y0, y1;
    uint16x8_t u1, u2, v1, v2;
};

template <int kChannels, bool kBlueFirst>
inline Block16 block16(const uint8_t* s0, const uint8_t* s1, const Kernel& k) {
    const Rgb16 a = load16<kChannels, kBlueFirst>(s0), b = load16<kChannels, kBlueFirst>(s1);
    Block16 o;
    o.y0 = luma16(a, k);
    o.y1 = luma16(b, k);
    const uint16x8_t sr = vpadalq_u8(vpaddlq_u8(a.r), b.r);
    const uint16x8_t sg = vpadalq_u8(vpaddlq_u8(a.g), b.g);
    const uint16x8_t sb = vpadalq_u8(vpaddlq_u8(a.b), b.b);
    const int16x8_t d1 = block_difference32(sb, sg), d2 = block_difference32(sr, sg);
    o.u1 = vreinterpretq_u16_s16(mul_round_q15_s16(d1, k.kUB));
    o.u2 = vreinterpretq_u16_s16(mul_round_q15_s16(d2, k.kUR));
    o.v1 = vreinterpretq_u16_s16(mul_round_q15_s16(d2, k.kVR));
    o.v2 = vreinterpretq_u16_s16(mul_round_q15_s16(d1, k.kVB));
    return o;
}

// The chroma bytes of two sets of products, (p + q + 32896) >> 8 each: the
// sums' (p + q + 128) >> 8 in 8-bit two's complement, plus 128 (the sums
// stay within 0..65535 with the offset, so the two agree).
inline uint8x16_t chroma16(uint16x8_t p0, uint16x8_t q0, uint16x8_t p1, uint16x8_t q1,
                           const Kernel& k) {
    uint8x16_t c = veorq_u8(raddhn_u16x2(p0, q0, p1, q1), k.k128);
    keep_register(c);  // one eor of 16 bytes, not two of 8 and a lane copy
    return c;
}

// 16 chroma samples of each plane at ur, vr (the pair layouts write from
// the first of their two pointers).
template <int kMode>
inline void store_chroma16(uint8_t* ur, uint8_t* vr, uint8x16_t u, uint8x16_t v) {
    if (kMode == kPlanar) {
        vst1q_u8(ur, u);
        vst1q_u8(vr, v);
    } else if (kMode == kUvPairs) {
        uint8x16x2_t p;
        p.val[0] = u;
        p.val[1] = v;
        vst2q_u8(ur, p);
    } else if (kMode == kVuPairs) {
        uint8x16x2_t p;
        p.val[0] = v;
        p.val[1] = u;
        vst2q_u8(vr, p);
    } else {
        uint8_t bu[16], bv[16];
        vst1q_u8(bu, u);
        vst1q_u8(bv, v);
        for (int j = 0; j < 16; ++j) {
            ur[2 * j] = bu[j];
            vr[2 * j] = bv[j];
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
    constexpr int kStep = kMode == kPlanar ? 1 : 2;  // the layout's pixel stride
    for (uint32_t j = p0; j < p1; ++j) {
        const uint32_t r0 = 2 * j;
        const bool two = r0 + 1 < height;
        const uint8_t* s0 = src + r0 * srcStride;
        const uint8_t* s1 = two ? s0 + srcStride : s0;
        uint8_t* y0 = d.y + r0 * d.yStride;
        // The lone last row of an odd height: its second row is itself, and
        // its Y are written twice, the same bytes.
        uint8_t* y1 = two ? y0 + d.yStride : y0;
        uint8_t* ur = d.u + j * d.uStride;
        uint8_t* vr = d.v + j * d.vStride;
        // Blocks of 32 pixels through pointers stepped in place (post-
        // indexed loads and stores on AArch64); each plane's 16 chroma
        // samples are narrowed and stored at once.
        const uint8_t *a0 = s0, *a1 = s1;
        uint8_t *o0 = y0, *o1 = y1, *ou = ur, *ov = vr;
        for (uint64_t n = w / 32; n != 0; --n) {
            const Block16 A = block16<kChannels, kBlueFirst>(a0, a1, k);
            a0 += 16 * kChannels;
            a1 += 16 * kChannels;
            const Block16 B = block16<kChannels, kBlueFirst>(a0, a1, k);
            a0 += 16 * kChannels;
            a1 += 16 * kChannels;
            vst1q_u8(o0, A.y0);
            vst1q_u8(o0 + 16, B.y0);
            o0 += 32;
            vst1q_u8(o1, A.y1);
            vst1q_u8(o1 + 16, B.y1);
            o1 += 32;
            store_chroma16<kMode>(ou, ov, chroma16(A.u1, A.u2, B.u1, B.u2, k),
                                  chroma16(A.v1, A.v2, B.v1, B.v2, k));
            ou += 16 * kStep;
            ov += 16 * kStep;
        }
        uint64_t x = w & ~uint64_t(31);
        // The last pixels, up to 31: 16 at a time through a block of 16 and
        // the rest staged through 16-pixel buffers (a lone last column
        // repeated, so its block sums count it twice), by the same vector
        // code; only the frame's samples are written.
        while (x < w) {
            const uint64_t n = std::min<uint64_t>(16, w - x), c = (n + 1) / 2;
            uint8_t l0[64], l1[64];
            const uint8_t *p0 = s0 + kChannels * x, *p1 = s1 + kChannels * x;
            if (n < 16) {
                std::memset(l0, 0, sizeof l0);
                std::memset(l1, 0, sizeof l1);
                std::memcpy(l0, p0, kChannels * n);
                std::memcpy(l1, p1, kChannels * n);
                if (n & 1) {
                    std::memcpy(l0 + kChannels * n, l0 + kChannels * (n - 1), kChannels);
                    std::memcpy(l1 + kChannels * n, l1 + kChannels * (n - 1), kChannels);
                }
                p0 = l0;
                p1 = l1;
            }
            const Block16 A = block16<kChannels, kBlueFirst>(p0, p1, k);
            uint8_t oy0[16], oy1[16], ouv[16];
            vst1q_u8(oy0, A.y0);
            vst1q_u8(oy1, A.y1);
            vst1q_u8(ouv, chroma16(A.u1, A.u2, A.v1, A.v2, k));
            std::memcpy(y0 + x, oy0, n);
            std::memcpy(y1 + x, oy1, n);
            for (uint64_t i = 0; i < c; ++i) {
                ur[(x / 2 + i) * ps] = ouv[i];
                vr[(x / 2 + i) * ps] = ouv[8 + i];
            }
            x += n;
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
