#include "ops/colour/nv21_to_rgba_twin.h"

#include "ops/mira_neon.h"

namespace mira {

namespace {

// The chroma terms of one pixel pair, shared by its four pixels.
struct Terms {
    float r, g, b;
};

inline Terms terms(float U, float V) {
    const float u = U - 128.f, v = V - 128.f;
    return {1.596f * v, 0.813f * v + 0.391f * u, 2.018f * u};
}

inline uint8_t channel(float c) {
    return static_cast<uint8_t>(static_cast<int32_t>(std::fmin(std::fmax(c, 0.f), 255.f)));
}

inline void pixel(uint8_t Y, const Terms& t, uint8_t* out) {
    const float y = std::fmin(std::fmax(float(Y) - 16.f, 0.f), 255.f) * 1.164f;
    out[0] = channel(y + t.r);
    out[1] = channel(y - t.g);
    out[2] = channel(y + t.b);
    out[3] = 255;
}

// Four lanes of one channel, clamped and truncated to 32-bit lanes.
inline uint32x4_t to_lanes(float32x4_t c) {
    return vcvtq_u32_f32(vminq_f32(vmaxq_f32(c, vdupq_n_f32(0.f)), vdupq_n_f32(255.f)));
}

inline float32x4_t to_f32(uint16x8_t v, bool high) {
    return vcvtq_f32_u32(high ? widen_hi_u16(v) : widen_lo_u16(v));
}

// The chroma terms of eight pixel pairs: [0] pairs 0..3, [1] pairs 4..7.
struct PairTerms {
    float32x4_t r0, r1, g0, g1, b0, b1;
};

// R, G, B of four pixels with luma Y and their pairs' terms, as 32-bit lanes.
struct Channels {
    uint32x4_t r, g, b;
};
__attribute__((always_inline)) inline Channels four(float32x4_t Y, float32x4_t rt,
                                                    float32x4_t gt, float32x4_t bt) {
    const float32x4_t y = vmulq_f32(
        vminq_f32(vmaxq_f32(vsubq_f32(Y, vdupq_n_f32(16.f)), vdupq_n_f32(0.f)),
                  vdupq_n_f32(255.f)),
        vdupq_n_f32(1.164f));
    return {to_lanes(vaddq_f32(y, rt)), to_lanes(vsubq_f32(y, gt)), to_lanes(vaddq_f32(y, bt))};
}

// Eight pixels (the even or the odd ones of sixteen) as bytes per channel.
struct Bytes8 {
    uint8x16_t r, g, b;  // low 8 lanes
};
__attribute__((always_inline)) inline Bytes8 eight(uint8x8_t Y, const PairTerms& t) {
    const uint16x8_t y16 = vmovl_u8(Y);
    const Channels lo = four(to_f32(y16, false), t.r0, t.g0, t.b0);
    const Channels hi = four(to_f32(y16, true), t.r1, t.g1, t.b1);
    return {narrow_u16(narrow_u32(lo.r, hi.r), vdupq_n_u16(0)),
            narrow_u16(narrow_u32(lo.g, hi.g), vdupq_n_u16(0)),
            narrow_u16(narrow_u32(lo.b, hi.b), vdupq_n_u16(0))};
}

// Sixteen pixels of one row: luma split into its even and odd pixels, each
// lane a pixel pair with its chroma terms; the two halves zipped back and the
// four channels stored interleaved. Inlined with the terms passed by value,
// so they stay in registers for both rows.
__attribute__((always_inline)) inline void sixteen(const uint8_t* l, const PairTerms& t,
                                                   uint8_t* d) {
    const uint8x8x2_t eo = vld2_u8(l);
    const Bytes8 e = eight(eo.val[0], t), o = eight(eo.val[1], t);
    store_interleave4_u8(d, vzip1q_u8(e.r, o.r), vzip1q_u8(e.g, o.g), vzip1q_u8(e.b, o.b),
                         vdupq_n_u8(255));
}

}  // namespace

void nv21_to_rgba_twin(const uint8_t* y, uint64_t yStride, const uint8_t* vu, uint64_t vuStride,
                       uint32_t width, uint32_t height, uint8_t* dst, uint64_t dstStride) {
    const uint32_t w = width & ~1u, h = height & ~1u;
    const float32x4_t k128 = vdupq_n_f32(128.f);
    const float32x4_t kr = vdupq_n_f32(1.596f), kgv = vdupq_n_f32(0.813f);
    const float32x4_t kgu = vdupq_n_f32(0.391f), kb = vdupq_n_f32(2.018f);
    for (uint32_t r = 0; r < h; r += 2) {
        const uint8_t* l0 = y + r * yStride;
        const uint8_t* l1 = l0 + yStride;
        const uint8_t* c = vu + (r / 2) * vuStride;
        uint8_t* d0 = dst + r * dstStride;
        uint8_t* d1 = d0 + dstStride;
        uint32_t x = 0;
        for (; x + 16 <= w; x += 16) {
            const uint8x8x2_t vuPairs = vld2_u8(c + x);  // V, U of 8 pairs
            const uint16x8_t V = vmovl_u8(vuPairs.val[0]), U = vmovl_u8(vuPairs.val[1]);
            const float32x4_t u0 = vsubq_f32(to_f32(U, false), k128);
            const float32x4_t u1 = vsubq_f32(to_f32(U, true), k128);
            const float32x4_t v0 = vsubq_f32(to_f32(V, false), k128);
            const float32x4_t v1 = vsubq_f32(to_f32(V, true), k128);
            const PairTerms t{vmulq_f32(kr, v0),
                              vmulq_f32(kr, v1),
                              vaddq_f32(vmulq_f32(kgv, v0), vmulq_f32(kgu, u0)),
                              vaddq_f32(vmulq_f32(kgv, v1), vmulq_f32(kgu, u1)),
                              vmulq_f32(kb, u0),
                              vmulq_f32(kb, u1)};
            sixteen(l0 + x, t, d0 + 4 * x);
            sixteen(l1 + x, t, d1 + 4 * x);
        }
        for (; x < w; x += 2) {
            const Terms t = terms(float(c[x + 1]), float(c[x]));
            pixel(l0[x], t, d0 + 4 * x);
            pixel(l0[x + 1], t, d0 + 4 * x + 4);
            pixel(l1[x], t, d1 + 4 * x);
            pixel(l1[x + 1], t, d1 + 4 * x + 4);
        }
    }
}

}  // namespace mira
