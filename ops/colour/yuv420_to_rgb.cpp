#include "ops/colour/yuv420_to_rgb.h"

#include <algorithm>
#include <cstring>

#include "ops/colour/chroma_layout.h"
#include "ops/colour/yuv420_coefficients.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {
namespace {

// The coefficients as vectors. The rows take a copy of their own, which
// stays in registers (through the caller's reference every store to the
// destination would reload them). The +32 of the formula's sums is the
// rounding of the final narrowing shift (rshr6_narrow_sat_u8): the 16-bit
// sums never reach -32768, and a sum that saturates at 32767 gives 255
// either way.
struct Kernel {
    int16x8_t yOffset128, kY, kRV, kGU, kGV, kBU, k512;
    explicit Kernel(const ToRgbCoefficients& c)
        : yOffset128(vdupq_n_s16(int16_t(c.yOffset * 128))), kY(dup_opaque_s16(c.kY)),
          kRV(dup_opaque_s16(c.kRV)), kGU(dup_opaque_s16(c.kGU)), kGV(dup_opaque_s16(c.kGV)),
          kBU(dup_opaque_s16(c.kBU)), k512(dup_opaque_s16(512)) {}
};

// 8 chroma samples of U and V from the sample at index `i` on.
template <int kMode>
inline void load_chroma8(const uint8_t* u, const uint8_t* v, uint64_t i, uint8x8_t* uo,
                         uint8x8_t* vo) {
    if (kMode == kPlanar) {
        *uo = vld1_u8(u + i);
        *vo = vld1_u8(v + i);
    } else if (kMode == kSeparatePairs) {
        *uo = vld2_u8(u + 2 * i).val[0];
        *vo = vld2_u8(v + 2 * i).val[0];
    } else if (kMode == kUvPairs) {
        const uint8x8x2_t p = vld2_u8(u + 2 * i);
        *uo = p.val[0];
        *vo = p.val[1];
    } else {
        const uint8x8x2_t p = vld2_u8(v + 2 * i);
        *vo = p.val[0];
        *uo = p.val[1];
    }
}

// (c - 128) x 256 in a signed 16-bit lane: the byte moved up with its top bit flipped.
inline int16x8_t centred256(uint8x8_t c) {
    return vreinterpretq_s16_u16(veorq_u16(vshlq_n_u16(vmovl_u8(c), 8), vdupq_n_u16(0x8000)));
}

// The chroma terms of 8 samples, each duplicated for its two pixels:
// [0] pixels 0..7, [1] pixels 8..15.
struct Terms {
    int16x8_t r[2], g[2], b[2];
};

inline Terms chroma_terms(uint8x8_t u8, uint8x8_t v8, const Kernel& k) {
    const int16x8_t u = centred256(u8), v = centred256(v8);
    const int16x8_t tr = mul_round_q15_s16(v, k.kRV);
    const int16x8_t tg = vaddq_s16(mul_round_q15_s16(u, k.kGU), mul_round_q15_s16(v, k.kGV));
    const int16x8_t tb = mul_round_q15_s16(u, k.kBU);
    const int16x8x2_t r2 = vzipq_s16(tr, tr), g2 = vzipq_s16(tg, tg), b2 = vzipq_s16(tb, tb);
    Terms t;
    t.r[0] = r2.val[0];
    t.r[1] = r2.val[1];
    t.g[0] = g2.val[0];
    t.g[1] = g2.val[1];
    t.b[0] = b2.val[0];
    t.b[1] = b2.val[1];
    return t;
}

// 16 pixels of one row: luma from y with the terms of its 8 chroma samples;
// 16 x channels bytes at out.
template <int kChannels, bool kBlueFirst>
inline void convert16(const uint8_t* y, const Terms& t, const Kernel& k, uint8_t* out) {
    const uint8x16_t yy = vld1q_u8(y);
    const int16x8_t y0 = vsubq_s16(vreinterpretq_s16_u16(vshll_n_u8(vget_low_u8(yy), 7)),
                                   k.yOffset128);
    const int16x8_t y1 = vsubq_s16(vreinterpretq_s16_u16(vshll_n_u8(vget_high_u8(yy), 7)),
                                   k.yOffset128);
    const int16x8_t l0 = mul_round_q15_s16(y0, k.kY);
    const int16x8_t l1 = mul_round_q15_s16(y1, k.kY);
    const uint8x16_t r = rshr6_narrow_sat_u8(vqaddq_s16(l0, t.r[0]), vqaddq_s16(l1, t.r[1]), k.k512);
    const uint8x16_t g = rshr6_narrow_sat_u8(vqsubq_s16(l0, t.g[0]), vqsubq_s16(l1, t.g[1]), k.k512);
    const uint8x16_t b = rshr6_narrow_sat_u8(vqaddq_s16(l0, t.b[0]), vqaddq_s16(l1, t.b[1]), k.k512);
    if (kBlueFirst)
        store_pixels3or4_u8<kChannels>(out, b, g, r);
    else
        store_pixels3or4_u8<kChannels>(out, r, g, b);
}

// Rows y0 .. y1 - 1 (y0 even): each pair of rows shares its chroma row, whose
// terms are computed once for both.
template <int kChannels, int kMode, bool kBlueFirst>
void convert_rows(const Yuv420Source& s, uint32_t width, uint32_t y0, uint32_t y1, uint8_t* dst,
                  uint64_t dstStride, const Kernel& kernel) {
    const Kernel k = kernel;
    const uint64_t w = width, cw = (w + 1) / 2;
    const int ps = s.pixelStride;
    // The vector steps: x + 16 <= w, and with separate planes with a byte
    // between samples, x / 2 + 8 < cw (the de-interleaving load reads one
    // byte past the eighth sample, which must be a sample).
    uint64_t steps = w / 16;
    if (kMode == kSeparatePairs) steps = std::min<uint64_t>(steps, cw >= 9 ? (cw - 9) / 8 + 1 : 0);
    const uint64_t vectorEnd = 16 * steps;
    for (uint32_t row = y0; row < y1; row += 2) {
        const bool two = row + 1 < y1;
        const uint8_t* ya = s.y + row * s.yStride;
        const uint8_t* yb = ya + s.yStride;
        const uint8_t* ur = s.u + (row / 2) * s.uStride;
        const uint8_t* vr = s.v + (row / 2) * s.vStride;
        uint8_t* oa = dst + row * dstStride;
        uint8_t* ob = oa + dstStride;
        uint64_t x = 0;
        if (two) {
            for (; x < vectorEnd; x += 16) {
                uint8x8_t u, v;
                load_chroma8<kMode>(ur, vr, x / 2, &u, &v);
                const Terms t = chroma_terms(u, v, k);
                convert16<kChannels, kBlueFirst>(ya + x, t, k, oa + kChannels * x);
                convert16<kChannels, kBlueFirst>(yb + x, t, k, ob + kChannels * x);
            }
        } else {
            for (; x < vectorEnd; x += 16) {
                uint8x8_t u, v;
                load_chroma8<kMode>(ur, vr, x / 2, &u, &v);
                convert16<kChannels, kBlueFirst>(ya + x, chroma_terms(u, v, k), k,
                                                 oa + kChannels * x);
            }
        }
        if (x < w) {
            // The last pixels: staged through 16-pixel buffers and converted by
            // the same vector code; only existing samples are read or written.
            const uint64_t n = w - x, c = (n + 1) / 2;
            uint8_t la[16] = {}, lb[16] = {}, lu[8] = {}, lv[8] = {}, o[64];
            std::memcpy(la, ya + x, n);
            if (two) std::memcpy(lb, yb + x, n);
            for (uint64_t i = 0; i < c; ++i) {
                lu[i] = ur[(x / 2 + i) * ps];
                lv[i] = vr[(x / 2 + i) * ps];
            }
            const Terms t = chroma_terms(vld1_u8(lu), vld1_u8(lv), k);
            convert16<kChannels, kBlueFirst>(la, t, k, o);
            std::memcpy(oa + kChannels * x, o, kChannels * n);
            if (two) {
                convert16<kChannels, kBlueFirst>(lb, t, k, o);
                std::memcpy(ob + kChannels * x, o, kChannels * n);
            }
        }
    }
}

using RowsFn = void (*)(const Yuv420Source&, uint32_t, uint32_t, uint32_t, uint8_t*, uint64_t,
                        const Kernel&);

template <int kChannels, int kMode, bool kBlueFirst>
struct Rows {
    static constexpr RowsFn fn = convert_rows<kChannels, kMode, kBlueFirst>;
};

}  // namespace

void yuv420_to_rgb_neon(const Yuv420Source& src, uint32_t width, uint32_t height, uint8_t* dst,
                        uint64_t dstStride, int format, int matrix, int range) {
    if (width == 0 || height == 0) return;
    const Kernel k(kToRgb[matrix][range]);
    const RowsFn rows =
        pick_variant<Rows>(rgb_channels(format),
                           chroma_mode(src.pixelStride, src.u, src.v, src.uStride, src.vStride),
                           rgb_blue_first(format));
    // Bands of whole row pairs, so that each chroma row is read by one band.
    const uint32_t pairs = (height + 1) / 2;
    const int bands = row_pair_bands(width, height);
    if (bands == 1) {
        rows(src, width, 0, height, dst, dstStride, k);
        return;
    }
    run_bands(bands, [&](int b) {
        const uint32_t p0 = uint32_t(uint64_t(pairs) * b / bands);
        const uint32_t p1 = uint32_t(uint64_t(pairs) * (b + 1) / bands);
        rows(src, width, 2 * p0, std::min(height, 2 * p1), dst, dstStride, k);
    });
}

}  // namespace mira
