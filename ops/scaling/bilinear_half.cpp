#include "ops/scaling/bilinear_half.h"

#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/padded_rows.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {
namespace {

// Lanes 2k and 2k + 1 of a and b taken as units of E 16-bit lanes (one
// pixel's channels): the even pixels' and the odd pixels' sums.
template <int E>
inline void even_odd(uint16x8_t a, uint16x8_t b, uint16x8_t& even, uint16x8_t& odd) {
    uint8x16_t e, o;
    uzp_units<2 * E>(vreinterpretq_u8_u16(a), vreinterpretq_u8_u16(b), e, o);
    even = vreinterpretq_u16_u8(e);
    odd = vreinterpretq_u16_u8(o);
}

// One destination row from the padded source rows r[0..3] (2y - 1 .. 2y + 2)
// of n = bytes + 2E bytes: their vertical sums v = r0 + 3 r1 + 3 r2 + r3 per
// byte into `v` (16-bit, at most 2040), then per destination pixel x the
// padded pixels 2x .. 2x + 3 (source 2x - 1 .. 2x + 2) with weights 1, 3, 3,
// 1: (sum) >> 6.
template <int E>
void row(uint8_t* const r[4], uint16_t* v, uint32_t n, uint8_t* d, uint32_t dw) {
    const uint16x8_t three = vdupq_n_u16(3);
    uint32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const uint8x16_t a = vld1q_u8(r[0] + i), b = vld1q_u8(r[1] + i), c = vld1q_u8(r[2] + i),
                         e = vld1q_u8(r[3] + i);
        const uint16x8_t lo = vaddl_u8(vget_low_u8(a), vget_low_u8(e));
        const uint16x8_t hi = vaddl_u8(vget_high_u8(a), vget_high_u8(e));
        const uint16x8_t mlo = vaddl_u8(vget_low_u8(b), vget_low_u8(c));
        const uint16x8_t mhi = vaddl_u8(vget_high_u8(b), vget_high_u8(c));
        vst1q_u16(v + i, vmlaq_u16(lo, mlo, three));
        vst1q_u16(v + i + 8, vmlaq_u16(hi, mhi, three));
    }
    for (; i < n; ++i) v[i] = uint16_t(r[0][i] + 3 * (r[1][i] + r[2][i]) + r[3][i]);
    // Eight output bytes (8 / E pixels) a step: the first and second taps of
    // each pixel from the 16 lanes at its first tap, the third and fourth
    // from those two pixels on.
    constexpr uint32_t px = 8 / E;
    uint32_t x = 0;
    for (; x + px <= dw; x += px) {
        const uint16_t* p = v + 2 * uint64_t(x) * E;
        uint16x8_t t0, t1, t2, t3;
        even_odd<E>(vld1q_u16(p), vld1q_u16(p + 8), t0, t1);
        even_odd<E>(vld1q_u16(p + 2 * E), vld1q_u16(p + 2 * E + 8), t2, t3);
        const uint16x8_t sum = vmlaq_u16(vaddq_u16(t0, t3), vaddq_u16(t1, t2), three);
        vst1_u8(d + uint64_t(x) * E, vshrn_n_u16(sum, 6));
    }
    for (; x < dw; ++x)
        for (uint32_t b = 0; b < uint32_t(E); ++b) {
            const uint16_t* p = v + 2 * uint64_t(x) * E + b;
            d[uint64_t(x) * E + b] = uint8_t((p[0] + 3 * (p[E] + p[2 * E]) + p[3 * E]) >> 6);
        }
}

template <int E>
bool run(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, const BorderRule& rule,
         uint32_t dw) {
    // Per band: four padded source rows (2y - 1 .. 2y + 2) and the vertical sums.
    const uint32_t n = rule.bytes + 2 * E;
    return with_padded_rows(
        dst.height, uint64_t(dst.width) * dst.height * 4, rule, 4, 2 * size_t(n),
        [&](uint32_t first, uint32_t last, uint8_t** ring, uint8_t* extra) {
            uint16_t* v = reinterpret_cast<uint16_t*>(extra);
            for (int k = 0; k < 2; ++k) pad_row(ring[k], src, rule, 2 * int64_t(first) - 1 + k);
            for (uint32_t y = first; y < last; ++y) {
                for (int k = 2; k < 4; ++k) pad_row(ring[k], src, rule, 2 * int64_t(y) - 1 + k);
                row<E>(ring, v, n, row_ptr(dst, y), dw);
                advance_ring(ring, 4, 2);  // rows 2y + 1, 2y + 2 are the next row's first two
            }
        });
}

}  // namespace

bool bilinear_half(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                   float sy, uint32_t border_type, uint8_t border_value) {
    if ((elem != 1 && elem != 2 && elem != 4) || sy != 0.5f) return false;
    if (dst.width == 0 || dst.height == 0 || dst.width % elem != 0) return false;
    if (uint64_t(src.width) != 2 * uint64_t(dst.width) || src.height == 0) return false;
    const uint32_t dw = dst.width / elem;
    if (dw >= (1u << 22) || dst.height >= (1u << 22)) return false;
    if (planes_overlap(src, dst)) return false;
    const BorderRule rule{src.height, src.width, elem, border_type == 1, border_value};
    return with_pixel_size(elem, [&](auto e) {
        constexpr int E = decltype(e)::value;
        if constexpr (E == 3)
            return false;  // (refused above)
        else
            return run<E>(src, dst, rule, dw);
    });
}

}  // namespace mira
