#include "ops/scaling/bilinear_two_thirds.h"

#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/padded_rows.h"
#include "ops/scaling/scale_mn_common.h"
#include "ops/scaling/scale_two_thirds.h"

namespace mira {
namespace {

// 16-bit lanes past a row of sums that the last vectors may read.
constexpr uint32_t kSlack = 32;

// floor(n / 81) for n <= 81 * 255: ((n * 25891 + 2^14) >> 15) >> 6. The
// product's excess over n / 81 is at most 0.0023 + 1/128 < 1/81 (checked for
// every n), so it never reaches the next integer.
constexpr int16_t kOver81 = 25891;

// The sums are kept per "unit": pixels of 1, 2 and 4 channels stay whole
// (one row of sums in pixel order, a unit being the pixel), RGB pixels are
// split into three channel planes (a unit being one channel's sample), so
// that every horizontal step splits units of 2, 4 or 8 bytes by three.
template <int E>
constexpr int kPlanes = E == 3 ? 3 : 1;
template <int E>
constexpr int kUnit = E == 3 ? 1 : E;  // 16-bit lanes per unit

// The two destination rows' vertical sums of one band step, per plane and
// lane: even row r0 + 5 r1 + 3 r2, odd row 3 r2 + 5 r3 + r4, for the source
// rows r[0..4] (3p - 1 .. 3p + 3, as the border rule gives them), `lanes`
// samples per plane (P planes split from the rows' bytes). Each sum is at
// most 9 * 255.
template <int P>
void vertical(const uint8_t* const r[5], uint32_t lanes, uint16_t* const even[P],
              uint16_t* const odd[P]) {
    uint32_t i = 0;
    for (; i + 16 <= lanes; i += 16) {
        uint8x16_t s[5][P];
        for (int k = 0; k < 5; ++k) load_planes_u8<P>(r[k] + uint64_t(i) * P, s[k]);
        for_channels<P>([&](auto ch) {
            constexpr int c = decltype(ch)::value;
            const uint16x8x2_t e = mul2_widen_u8<5, 3>(s[1][c], s[2][c]);
            const uint16x8x2_t o = mul2_widen_u8<5, 3>(s[3][c], s[2][c]);
            vst1q_u16(even[c] + i, vaddq_u16(e.val[0], widen_lo_u8(s[0][c])));
            vst1q_u16(even[c] + i + 8, vaddq_u16(e.val[1], widen_hi_u8(s[0][c])));
            vst1q_u16(odd[c] + i, vaddq_u16(o.val[0], widen_lo_u8(s[4][c])));
            vst1q_u16(odd[c] + i + 8, vaddq_u16(o.val[1], widen_hi_u8(s[4][c])));
        });
    }
    for (; i < lanes; ++i)
        for (int c = 0; c < P; ++c) {
            const uint8_t* p[5];
            for (int k = 0; k < 5; ++k) p[k] = r[k] + uint64_t(i) * P + c;
            even[c][i] = uint16_t(*p[0] + 5 * *p[1] + 3 * *p[2]);
            odd[c][i] = uint16_t(3 * *p[2] + 5 * *p[3] + *p[4]);
        }
}

// Output bytes [even 0..7, odd 0..7] (units of U bytes) to alternating units.
template <int U>
struct AlternateUnits {
    uint8_t idx[16];
    constexpr AlternateUnits() : idx() {
        for (int i = 0; i < 16; ++i) {
            const int unit = i / U;
            idx[i] = uint8_t((unit % 2) * 8 + (unit / 2) * U + i % U);
        }
    }
};
template <int U>
inline constexpr AlternateUnits<U> kAlternate{};

// 16 destination bytes (16 / U units of U samples) from a row of sums v in
// units of U lanes, block b: pair j takes padded units 3j .. 3j + 4 (padded
// unit i is source pixel i - 1), the even unit 3j .. 3j + 2 with weights 1,
// 5, 3 and the odd one 3j + 2 .. 3j + 4 with weights 3, 5, 1. A block's
// pairs start at unit 3 (8 / U) b, lane 24 b.
template <int U>
inline uint8x16_t horizontal16(const uint16_t* v, uint32_t b, int16x8_t k3, int16x8_t k5,
                               int16x8_t over81, uint8x16_t alternate) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(v + 24 * uint64_t(b));
    const uint8x16x3_t t = load_deinterleave3<2 * U>(p);          // units 3j, 3j + 1, 3j + 2
    const uint8x16x3_t u = load_deinterleave3<2 * U>(p + 6 * U);  // 3j + 3, 3j + 4 (3j + 5 unused)
    const int16x8_t a = vreinterpretq_s16_u8(t.val[0]), bb = vreinterpretq_s16_u8(t.val[1]),
                    c = vreinterpretq_s16_u8(t.val[2]), d = vreinterpretq_s16_u8(u.val[0]),
                    e = vreinterpretq_s16_u8(u.val[1]);
    const int16x8_t c3 = vmulq_s16(c, k3);
    const int16x8_t even = vmlaq_s16(vaddq_s16(a, c3), bb, k5);
    const int16x8_t odd = vmlaq_s16(vaddq_s16(e, c3), d, k5);
    const uint16x8_t qe = vreinterpretq_u16_s16(mul_round_q15_s16(even, over81));
    const uint16x8_t qo = vreinterpretq_u16_s16(mul_round_q15_s16(odd, over81));
    return shuffle_bytes_u8(vcombine_u8(vshrn_n_u16(qe, 6), vshrn_n_u16(qo, 6)), alternate);
}

// One destination row of dw pixels from its rows of sums v[0 .. planes).
template <int E>
void horizontal(uint16_t* const v[kPlanes<E>], uint8_t* d, uint32_t dw) {
    constexpr int U = kUnit<E>;
    const int16x8_t k3 = dup_opaque_s16(3), k5 = dup_opaque_s16(5),
                    over81 = dup_opaque_s16(kOver81);
    const uint8x16_t alternate = vld1q_u8(kAlternate<U>.idx);
    // Vectors of 16 bytes: 16 / E pixels, or 16 RGB pixels as three planes.
    constexpr uint32_t step = E == 3 ? 16 : 16 / E;
    uint32_t x = 0;
    for (; x + step <= dw; x += step) {
        if constexpr (E == 3) {
            uint8x16_t out[3];
            for_channels<3>([&](auto c) {
                out[c] = horizontal16<1>(v[c], x / 16, k3, k5, over81, alternate);
            });
            store_planes_u8<3>(d + uint64_t(x) * 3, out);
        } else {
            vst1q_u8(d + uint64_t(x) * E, horizontal16<U>(v[0], x / step, k3, k5, over81, alternate));
        }
    }
    for (; x < dw; ++x) {
        const uint64_t t = 3 * uint64_t(x / 2) + (x % 2 ? 2 : 0);  // first padded unit
        const uint32_t w0 = x % 2 ? 3 : 1, w2 = 4 - w0;
        for (int c = 0; c < E; ++c) {
            const uint16_t* s = E == 3 ? v[c] + t : v[0] + t * U + c;
            d[uint64_t(x) * E + c] = uint8_t((w0 * s[0] + 5 * s[U] + w2 * s[2 * U]) / 81);
        }
    }
}

template <int E>
bool run(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, const BorderRule& rule,
         uint32_t sw, uint32_t dw) {
    constexpr int P = kPlanes<E>, U = kUnit<E>;
    // A row of sums: padded unit i is source pixel i - 1 (pixels -1 and sw
    // by the border rule).
    const size_t plane = (size_t(sw) + 2) * U + kSlack;
    const uint32_t lanes = sw * U;
    const uint32_t dh = dst.height;
    // Per band: a row of the constant border, which rows outside the source
    // read, and the row pair's sums, 2 x P rows. Source rows are read in
    // place.
    return with_padded_rows(
        (dh + 1) / 2, uint64_t(dst.width) * dh * 2, rule, 1, 2 * P * plane * sizeof(uint16_t),
        [&](uint32_t first, uint32_t last, uint8_t** ring, uint8_t* extra) {
            if (rule.constant) pad_row(ring[0], src, rule, -1);
            const uint8_t* const outside = ring[0] + E;
            auto source_row = [&](int64_t r) -> const uint8_t* {
                const bool inside = r >= 0 && r < int64_t(rule.sh);
                return !inside && rule.constant ? outside : row_ptr(src, edge_row(rule, r));
            };
            uint16_t* sums = reinterpret_cast<uint16_t*>(extra);
            uint16_t *even[P], *odd[P], *evenIn[P], *oddIn[P];
            for (int c = 0; c < P; ++c) {
                even[c] = sums + size_t(c) * plane;
                odd[c] = sums + size_t(P + c) * plane;
                evenIn[c] = even[c] + U;
                oddIn[c] = odd[c] + U;
            }
            const uint16_t outsideSum = uint16_t(9 * rule.value);
            auto border_units = [&](uint16_t* v) {
                for (int b = 0; b < U; ++b) {
                    v[b] = rule.constant ? outsideSum : v[U + b];
                    v[(sw + 1) * U + b] = rule.constant ? outsideSum : v[sw * U + b];
                }
            };
            for (uint32_t p = first; p < last; ++p) {
                const uint8_t* rows[5];
                for (int k = 0; k < 5; ++k) rows[k] = source_row(3 * int64_t(p) - 1 + k);
                vertical<P>(rows, lanes, evenIn, oddIn);
                for (int c = 0; c < P; ++c) {
                    border_units(even[c]);
                    border_units(odd[c]);
                }
                horizontal<E>(even, row_ptr(dst, 2 * p), dw);
                if (2 * p + 1 < dh) horizontal<E>(odd, row_ptr(dst, 2 * p + 1), dw);
            }
        });
}

}  // namespace

bool bilinear_two_thirds(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                         float sx, float sy, uint32_t border_type, uint8_t border_value) {
    const float two_thirds = 2.0f / 3.0f;
    if (elem < 1 || elem > 4 || sx != two_thirds || sy != two_thirds) return false;
    if (dst.width == 0 || dst.height == 0 || src.height == 0) return false;
    if (dst.width % elem != 0 || src.width % elem != 0) return false;
    const uint32_t dw = dst.width / elem, sw = src.width / elem;
    const uint32_t limit = kTwoThirdsExactLimit;
    if (dw >= limit || dst.height >= limit || sw >= limit) return false;
    // The last column's last tap: 3j + 1 (even) or 3j + 3 (odd), j = x / 2.
    const uint64_t x = dw - 1, lastTap = 3 * (x / 2) + (x % 2 ? 3 : 1);
    if (lastTap > sw) return false;
    if (planes_overlap(src, dst)) return false;
    const BorderRule rule{src.height, src.width, elem, border_type == 1, border_value};
    return with_pixel_size(elem, [&](auto e) {
        constexpr int E = decltype(e)::value;
        return run<E>(src, dst, rule, sw, dw);
    });
}

}  // namespace mira
