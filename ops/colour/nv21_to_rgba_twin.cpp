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

// Sixteen pixels of one row: luma split into its even and odd pixels, each
// lane a pixel pair with its chroma terms.
void sixteen(const uint8_t* l, const float32x4_t rt[2], const float32x4_t gt[2],
             const float32x4_t bt[2], uint8_t* d) {
    const uint8x8x2_t eo = vld2_u8(l);
    const float32x4_t k16 = vdupq_n_f32(16.f), k1164 = vdupq_n_f32(1.164f);
    const float32x4_t zero = vdupq_n_f32(0.f), k255 = vdupq_n_f32(255.f);
    uint16x8_t ch[3][2];  // channel, even/odd pixels: 8 pairs as 16-bit lanes
    for (int p = 0; p < 2; ++p) {
        const uint16x8_t Y = vmovl_u8(eo.val[p]);
        uint32x4_t c[3][2];
        for (int h = 0; h < 2; ++h) {
            const float32x4_t y =
                vmulq_f32(vminq_f32(vmaxq_f32(vsubq_f32(to_f32(Y, h), k16), zero), k255), k1164);
            c[0][h] = to_lanes(vaddq_f32(y, rt[h]));
            c[1][h] = to_lanes(vsubq_f32(y, gt[h]));
            c[2][h] = to_lanes(vaddq_f32(y, bt[h]));
        }
        for (int k = 0; k < 3; ++k) ch[k][p] = narrow_u32(c[k][0], c[k][1]);
    }
    // Even and odd pixels interleaved again, then the four channels.
    uint8x16_t out[3];
    for (int k = 0; k < 3; ++k) {
        const uint8x16_t e = narrow_u16(ch[k][0], ch[k][0]), o = narrow_u16(ch[k][1], ch[k][1]);
        out[k] = vzip1q_u8(e, o);
    }
    store_interleave4_u8(d, out[0], out[1], out[2], vdupq_n_u8(255));
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
            float32x4_t rt[2], gt[2], bt[2];
            for (int k = 0; k < 2; ++k) {
                const float32x4_t u = vsubq_f32(to_f32(U, k), k128);
                const float32x4_t v = vsubq_f32(to_f32(V, k), k128);
                rt[k] = vmulq_f32(kr, v);
                gt[k] = vaddq_f32(vmulq_f32(kgv, v), vmulq_f32(kgu, u));
                bt[k] = vmulq_f32(kb, u);
            }
            sixteen(l0 + x, rt, gt, bt, d0 + 4 * x);
            sixteen(l1 + x, rt, gt, bt, d1 + 4 * x);
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
