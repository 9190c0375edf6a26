#include "ops/scaling/scale_two_thirds.h"

#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {
namespace {


// Source index of tap 1 of the last of n destination samples (n >= 1).
uint64_t last_tap(uint32_t n) {
    const uint64_t d = n - 1;
    return 3 * (d / 2) + d % 2 + 1;
}

// One output byte: destination element x of the row pair's rows s0..s2
// (tap rows), lane b of its element.
template <bool BOX>
uint8_t sample(const uint8_t* s0, const uint8_t* s1, bool odd_row, uint32_t x, uint32_t elem,
               uint32_t b) {
    const uint32_t t = 3 * (x / 2) + x % 2;
    const uint8_t* p0 = s0 + uint64_t(t) * elem + b;
    const uint8_t* p1 = s1 + uint64_t(t) * elem + b;
    if (BOX) return uint8_t((p0[0] + p0[elem] + p1[0] + p1[elem]) >> 2);
    // Weight 3 on tap 1 of an even coordinate and on tap 0 of an odd one.
    const uint32_t wx0 = x % 2 ? 3 : 1, wx1 = 4 - wx0;
    const uint32_t wy0 = odd_row ? 3 : 1, wy1 = 4 - wy0;
    const uint32_t h0 = p0[0] * wx0 + p0[elem] * wx1, h1 = p1[0] * wx0 + p1[elem] * wx1;
    return uint8_t((h0 * wy0 + h1 * wy1) >> 4);
}

inline uint8x16_t shift_narrow2(uint16x8_t lo, uint16x8_t hi) {
    return vcombine_u8(vshrn_n_u16(lo, 2), vshrn_n_u16(hi, 2));
}
inline uint8x16_t shift_narrow4(uint16x8_t lo, uint16x8_t hi) {
    return vcombine_u8(vshrn_n_u16(lo, 4), vshrn_n_u16(hi, 4));
}

// The reduction of 16 lanes: from the tap columns (3k, 3k + 1, 3k + 2 in
// .val[0..2]) of source rows 0, 1, 2, the even and odd destination samples
// of row 2p (out[0]) and of row 2p + 1 (out[1]).
template <bool BOX>
inline void reduce(const uint8x16x3_t& r0, const uint8x16x3_t& r1, const uint8x16x3_t& r2,
                   uint8x16_t out[2][2]) {
    const uint16x8_t three = vdupq_n_u16(3);
    const uint8x8_t three8 = vdup_n_u8(3);
    // Vertical sums of each tap column, top (rows 0, 1) and bottom (1, 2).
    uint16x8_t top[3][2], bot[3][2];
    for (int c = 0; c < 3; ++c) {
        const uint8x16_t a = r0.val[c], b = r1.val[c], z = r2.val[c];
        if (BOX) {
            top[c][0] = vaddl_u8(vget_low_u8(a), vget_low_u8(b));
            top[c][1] = vaddl_u8(vget_high_u8(a), vget_high_u8(b));
            bot[c][0] = vaddl_u8(vget_low_u8(b), vget_low_u8(z));
            bot[c][1] = vaddl_u8(vget_high_u8(b), vget_high_u8(z));
        } else {
            const uint16x8_t m0 = vmull_u8(vget_low_u8(b), three8);
            const uint16x8_t m1 = vmull_u8(vget_high_u8(b), three8);
            top[c][0] = vaddw_u8(m0, vget_low_u8(a));
            top[c][1] = vaddw_u8(m1, vget_high_u8(a));
            bot[c][0] = vaddw_u8(m0, vget_low_u8(z));
            bot[c][1] = vaddw_u8(m1, vget_high_u8(z));
        }
    }
    auto finish = [&](uint16x8_t (*v)[2], uint8x16_t* o) {
        if (BOX) {
            o[0] = shift_narrow2(vaddq_u16(v[0][0], v[1][0]), vaddq_u16(v[0][1], v[1][1]));
            o[1] = shift_narrow2(vaddq_u16(v[1][0], v[2][0]), vaddq_u16(v[1][1], v[2][1]));
        } else {
            o[0] = shift_narrow4(vmlaq_u16(v[0][0], v[1][0], three),
                                 vmlaq_u16(v[0][1], v[1][1], three));
            o[1] = shift_narrow4(vmlaq_u16(v[2][0], v[1][0], three),
                                 vmlaq_u16(v[2][1], v[1][1], three));
        }
    };
    finish(top, out[0]);
    finish(bot, out[1]);
}

// Destination rows 2p (from source rows s0, s1) and 2p + 1 (s1, s2; d1 null
// where the destination has no such row, s2 then any readable row) of `dw`
// elements. With elements of 1, 2 or 4 bytes each step reads 48 bytes of the
// three rows as the three tap columns of 16 / E periods and writes 32 bytes
// of each destination row. RGB pixels (E = 3) take 144 bytes (16 periods)
// a step: split into channel planes of 48 pixels, each of those into its
// tap columns, and the 32 destination pixels of each row stored interleaved.
template <int E, bool BOX>
void row_pair(const uint8_t* s0, const uint8_t* s1, const uint8_t* s2, uint8_t* d0, uint8_t* d1,
              uint32_t dw) {
    constexpr uint32_t in = E == 3 ? 144 : 48, out = E == 3 ? 96 : 32;
    const uint32_t blocks = uint32_t(uint64_t(dw) * E / out);
    const uint8_t* const rows[3] = {s0, s1, s2};
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint64_t at = uint64_t(in) * k;
        if constexpr (E == 3) {
            uint8x16x3_t taps[3][3];  // [row][channel]
            for (int r = 0; r < 3; ++r) {
                uint8x16x3_t px[3];  // [48 bytes j][channel]: pixels 16 j .. 16 j + 15
                for (int j = 0; j < 3; ++j) px[j] = load_deinterleave3<1>(rows[r] + at + 48 * j);
                for (int c = 0; c < 3; ++c)
                    taps[r][c] = deinterleave3<1>(px[0].val[c], px[1].val[c], px[2].val[c]);
            }
            uint8x16_t o[3][2][2];  // [channel][row][even, odd]
            for (int c = 0; c < 3; ++c) reduce<BOX>(taps[0][c], taps[1][c], taps[2][c], o[c]);
            for (int r = 0; r < 2; ++r) {
                uint8_t* d = r == 0 ? d0 : d1;
                if (d == nullptr) continue;
                uint8x16_t lo[3], hi[3];
                for (int c = 0; c < 3; ++c) {
                    lo[c] = vzip1q_u8(o[c][r][0], o[c][r][1]);
                    hi[c] = vzip2q_u8(o[c][r][0], o[c][r][1]);
                }
                store_interleave3_u8(d + uint64_t(out) * k, lo[0], lo[1], lo[2]);
                store_interleave3_u8(d + uint64_t(out) * k + 48, hi[0], hi[1], hi[2]);
            }
        } else {
            uint8x16_t o[2][2];
            reduce<BOX>(load_deinterleave3<E>(s0 + at), load_deinterleave3<E>(s1 + at),
                        load_deinterleave3<E>(s2 + at), o);
            store_alternate<E>(d0 + uint64_t(out) * k, o[0][0], o[0][1]);
            if (d1) store_alternate<E>(d1 + uint64_t(out) * k, o[1][0], o[1][1]);
        }
    }
    for (uint32_t x = blocks * out / E; x < dw; ++x)
        for (uint32_t b = 0; b < uint32_t(E); ++b) {
            d0[uint64_t(x) * E + b] = sample<BOX>(s0, s1, false, x, E, b);
            if (d1) d1[uint64_t(x) * E + b] = sample<BOX>(s1, s2, true, x, E, b);
        }
}

template <int E, bool BOX>
void run(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t dw) {
    const uint32_t pairs = (dst.height + 1) / 2;
    parallel_bands(pairs, uint64_t(dst.width) * dst.height * 3, [&](uint32_t first, uint32_t last,
                                                                   uint32_t) {
        for (uint32_t p = first; p < last; ++p) {
            const bool both = 2 * p + 1 < dst.height;
            const uint8_t* s1 = row_ptr(src, 3 * p + 1);
            row_pair<E, BOX>(row_ptr(src, 3 * p), s1, both ? row_ptr(src, 3 * p + 2) : s1,
                             row_ptr(dst, 2 * p), both ? row_ptr(dst, 2 * p + 1) : nullptr, dw);
        }
    });
}

}  // namespace

bool scale_two_thirds(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                      uint32_t mode, float sx, float sy) {
    const float two_thirds = 2.0f / 3.0f;
    if ((mode != 0 && mode != 2) || sx != two_thirds || sy != two_thirds) return false;
    if (elem < 1 || elem > 4) return false;
    const uint32_t sw = src.width / elem, dw = dst.width / elem;
    if (sw == 0 || dw == 0 || src.height == 0 || dst.height == 0) return false;
    if (dw >= kTwoThirdsExactLimit || dst.height >= kTwoThirdsExactLimit) return false;
    if (last_tap(dw) >= sw || last_tap(dst.height) >= src.height) return false;
    if (planes_overlap(src, dst)) return false;
    with_pixel_size(elem, [&](auto e) {
        constexpr int E = decltype(e)::value;
        mode == 2 ? run<E, true>(src, dst, dw) : run<E, false>(src, dst, dw);
    });
    return true;
}

}  // namespace mira
