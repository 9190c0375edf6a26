#include "ops/colour/nv21_to_rgba.h"
#include "ops/colour/nv21_to_rgba_twin.h"

#include <algorithm>
#include <cstring>

#include "mira/mira_kernels.h"
#include "ops/colour/chroma_layout.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {

namespace {

// Each channel is (74 Y' + term) >> 6 saturated to a byte, with the terms
// 102 V', -25 U' - 52 V' and 128 U'. Worked at half scale: (37 Y' + term / 2)
// >> 5 is the same value, since 74 Y' is even and floor((n + 1/2) / 32) =
// floor(n / 32) for the odd green term halved with a floor. At half scale
// every sum fits a signed 16-bit lane (blue's 37 x 239 + 64 x 127 included),
// so the three channels take the same add and narrowing shift.
struct ChromaTerms {
    int16x8_t r[2], g[2], b[2];  // [0]: pixels 0..7, [1]: pixels 8..15
};

// The multipliers, built once per call (see dup_opaque_s16).
struct Coefficients {
    int16x8_t y37, v51, u_neg25, v_neg52;
    Coefficients()
        : y37(dup_opaque_s16(37)), v51(dup_opaque_s16(51)), u_neg25(dup_opaque_s16(-25)),
          v_neg52(dup_opaque_s16(-52)) {}
};

// The half-scale terms of 8 VU pairs, each duplicated for the pair's two pixels.
inline ChromaTerms chroma_terms(uint8x16_t vu, const Coefficients& k) {
    const uint16x8_t pairs = vreinterpretq_u16_u8(vu);
    const int16x8_t bias = vdupq_n_s16(128);
    const int16x8_t v = vsubq_s16(vreinterpretq_s16_u16(vandq_u16(pairs, vdupq_n_u16(0xFF))), bias);
    const int16x8_t u = vsubq_s16(vreinterpretq_s16_u16(vshrq_n_u16(pairs, 8)), bias);
    const int16x8_t r = vmulq_s16(v, k.v51);
    const int16x8_t g = vshrq_n_s16(vmlaq_s16(vmulq_s16(u, k.u_neg25), v, k.v_neg52), 1);
    const int16x8_t b = vshlq_n_s16(u, 6);
    ChromaTerms t;
    const int16x8x2_t rr = vzipq_s16(r, r), gg = vzipq_s16(g, g), bb = vzipq_s16(b, b);
    t.r[0] = rr.val[0]; t.r[1] = rr.val[1];
    t.g[0] = gg.val[0]; t.g[1] = gg.val[1];
    t.b[0] = bb.val[0]; t.b[1] = bb.val[1];
    return t;
}

// 16 pixels of one row: 64 bytes of RGBA.
inline void convert_row16(const uint8_t* y, const ChromaTerms& t, const Coefficients& k,
                          uint8_t* out) {
    const uint8x16_t yy = vqsubq_u8(vld1q_u8(y), vdupq_n_u8(16));
    // 37 Y' <= 8843: the unsigned products read the same as signed lanes.
    const uint16x8x2_t l = mul_widen_u8(yy, k.y37);
    const int16x8_t l0 = vreinterpretq_s16_u16(l.val[0]), l1 = vreinterpretq_s16_u16(l.val[1]);
    const uint8x16_t r = shr_narrow_sat_u8<5>(vaddq_s16(l0, t.r[0]), vaddq_s16(l1, t.r[1]));
    const uint8x16_t g = shr_narrow_sat_u8<5>(vaddq_s16(l0, t.g[0]), vaddq_s16(l1, t.g[1]));
    const uint8x16_t b = shr_narrow_sat_u8<5>(vaddq_s16(l0, t.b[0]), vaddq_s16(l1, t.b[1]));
    store_interleave4_u8(out, r, g, b, vdupq_n_u8(255));
}

}  // namespace

void nv21_to_rgba_neon(const uint8_t* y, const uint8_t* vu, int width, int height, uint8_t* dst) {
    if (width < 2 || height < 2) return;
    const uint64_t w = (uint64_t)width;
    nv21_to_rgba_neon(y, w, vu, w & ~1ull, width, height, dst, 4 * w);
}

namespace {

// Row pairs j0 .. j1 - 1.
void convert_pairs(const uint8_t* y, uint64_t yStride, const uint8_t* vu, uint64_t vuStride,
                   uint64_t w, uint64_t j0, uint64_t j1, uint8_t* dst, uint64_t dstStride) {
    const uint64_t even = w & ~1ull;
    const Coefficients k;
    for (uint64_t j = j0; j < j1; ++j) {
        const uint8_t* y0 = y + 2 * j * yStride;
        const uint8_t* y1 = y0 + yStride;
        const uint8_t* c = vu + j * vuStride;
        uint8_t* d0 = dst + 2 * j * dstStride;
        uint8_t* d1 = d0 + dstStride;
        uint64_t x = 0;
        // 32 pixels of both rows a step: both blocks' chroma terms are ready before
        // either is used, which keeps more independent work in flight (about
        // a sixth off the time at 3840 x 2160, where the stores leave the
        // cache, and a little at 1920 x 1080).
        for (; x + 32 <= even; x += 32) {
            prefetch_source(y0 + x + kPrefetchAhead);
            prefetch_source(y1 + x + kPrefetchAhead);
            prefetch_source(c + x + kPrefetchAhead);
            const ChromaTerms t0 = chroma_terms(vld1q_u8(c + x), k);
            const ChromaTerms t1 = chroma_terms(vld1q_u8(c + x + 16), k);
            convert_row16(y0 + x, t0, k, d0 + 4 * x);
            convert_row16(y1 + x, t0, k, d1 + 4 * x);
            convert_row16(y0 + x + 16, t1, k, d0 + 4 * x + 64);
            convert_row16(y1 + x + 16, t1, k, d1 + 4 * x + 64);
        }
        for (; x + 16 <= even; x += 16) {
            const ChromaTerms t = chroma_terms(vld1q_u8(c + x), k);
            convert_row16(y0 + x, t, k, d0 + 4 * x);
            convert_row16(y1 + x, t, k, d1 + 4 * x);
        }
        if (x < even) {
            // The remaining 2 to 14 pixels: staged through 16-pixel buffers and
            // converted by the same vector code; only existing pixels move.
            const uint64_t n = even - x;
            uint8_t ly0[16] = {}, ly1[16] = {}, lc[16] = {}, o0[64], o1[64];
            std::memcpy(ly0, y0 + x, n);
            std::memcpy(ly1, y1 + x, n);
            std::memcpy(lc, c + x, n);
            const ChromaTerms t = chroma_terms(vld1q_u8(lc), k);
            convert_row16(ly0, t, k, o0);
            convert_row16(ly1, t, k, o1);
            std::memcpy(d0 + 4 * x, o0, 4 * n);
            std::memcpy(d1 + 4 * x, o1, 4 * n);
        }
    }
}

}  // namespace

void nv21_to_rgba_neon(const uint8_t* y, uint64_t yStride, const uint8_t* vu, uint64_t vuStride,
                       int width, int height, uint8_t* dst, uint64_t dstStride) {
    if (width < 2 || height < 2) return;
    const uint64_t w = (uint64_t)width, pairs = (uint64_t)height / 2;
    // Bands of row pairs on the shared workers (each band its own rows).
    const int bands = row_pair_bands(uint32_t(width), uint32_t(height));
    if (bands == 1) {
        convert_pairs(y, yStride, vu, vuStride, w, 0, pairs, dst, dstStride);
        return;
    }
    run_bands(bands, [&](int b) {
        convert_pairs(y, yStride, vu, vuStride, w, pairs * b / bands, pairs * (b + 1) / bands, dst,
                      dstStride);
    });
}

void ncvColorYUV420toRGB8888u8(const uint8_t* y, const uint8_t* uv, int w, int h, uint8_t* dst) {
    nv21_to_rgba_neon(y, uv, w, h, dst);
}

}  // namespace mira
