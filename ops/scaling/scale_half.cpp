#include "ops/scaling/scale_half.h"

#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {
namespace {

// (a + b + c + d) >> 2 of 16 lanes.
inline uint8x16_t mean4(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d) {
    const uint16x8_t lo = vaddq_u16(vaddl_u8(vget_low_u8(a), vget_low_u8(b)),
                                    vaddl_u8(vget_low_u8(c), vget_low_u8(d)));
    const uint16x8_t hi = vaddq_u16(vaddl_u8(vget_high_u8(a), vget_high_u8(b)),
                                    vaddl_u8(vget_high_u8(c), vget_high_u8(d)));
    return vcombine_u8(vshrn_n_u16(lo, 2), vshrn_n_u16(hi, 2));
}

// Destination row from source rows s0, s1 (dw elements). Elements of 1, 2
// or 4 bytes: 32 source bytes of each row a step, 16 destination bytes. RGB
// pixels: 96 source bytes (32 pixels, split into channel planes by ld3) a
// step, 48 destination bytes.
template <int E>
void row(const uint8_t* s0, const uint8_t* s1, uint8_t* d, uint32_t dw) {
    constexpr uint32_t out = E == 3 ? 48 : 16;
    const uint32_t blocks = uint32_t(uint64_t(dw) * E / out);
    for (uint32_t k = 0; k < blocks; ++k) {
        const uint64_t at = 2 * uint64_t(out) * k;
        if constexpr (E == 3) {
            const uint8x16x3_t a0 = load_deinterleave3<1>(s0 + at);
            const uint8x16x3_t b0 = load_deinterleave3<1>(s0 + at + 48);
            const uint8x16x3_t a1 = load_deinterleave3<1>(s1 + at);
            const uint8x16x3_t b1 = load_deinterleave3<1>(s1 + at + 48);
            uint8x16_t m[3];
            for (int c = 0; c < 3; ++c)
                m[c] = mean4(vuzp1q_u8(a0.val[c], b0.val[c]), vuzp2q_u8(a0.val[c], b0.val[c]),
                             vuzp1q_u8(a1.val[c], b1.val[c]), vuzp2q_u8(a1.val[c], b1.val[c]));
            store_interleave3_u8(d + uint64_t(out) * k, m[0], m[1], m[2]);
        } else if constexpr (E == 1) {
            // Pairwise widening adds: a row's pair sums, then the other row's
            // added to them (uaddlp, uadalp).
            uint16x8_t lo = vpaddlq_u8(vld1q_u8(s0 + at)), hi = vpaddlq_u8(vld1q_u8(s0 + at + 16));
            lo = vpadalq_u8(lo, vld1q_u8(s1 + at));
            hi = vpadalq_u8(hi, vld1q_u8(s1 + at + 16));
            vst1q_u8(d + uint64_t(out) * k, vcombine_u8(vshrn_n_u16(lo, 2), vshrn_n_u16(hi, 2)));
        } else {
            // Elements 2k and 2k + 1 of each row.
            uint8x16_t e0, o0, e1, o1;
            uzp_units<E>(vld1q_u8(s0 + at), vld1q_u8(s0 + at + 16), e0, o0);
            uzp_units<E>(vld1q_u8(s1 + at), vld1q_u8(s1 + at + 16), e1, o1);
            vst1q_u8(d + uint64_t(out) * k, mean4(e0, o0, e1, o1));
        }
    }
    for (uint64_t i = uint64_t(blocks) * out; i < uint64_t(dw) * E; ++i) {
        const uint64_t x = i / E * 2 * E + i % E;  // byte of the even tap
        d[i] = uint8_t((s0[x] + s0[x + E] + s1[x] + s1[x + E]) >> 2);
    }
}

template <int E>
void run(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t dw) {
    parallel_bands(dst.height, uint64_t(dst.width) * dst.height * 4,
                   [&](uint32_t first, uint32_t last, uint32_t) {
                       for (uint32_t y = first; y < last; ++y)
                           row<E>(row_ptr(src, 2 * y), row_ptr(src, 2 * y + 1), row_ptr(dst, y),
                                  dw);
                   });
}

}  // namespace

bool scale_half(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                uint32_t mode, float sx, float sy) {
    if ((mode != 0 && mode != 2) || sx != 0.5f || sy != 0.5f) return false;
    if (elem < 1 || elem > 4) return false;
    const uint32_t sw = src.width / elem, dw = dst.width / elem;
    if (dw == 0 || dst.height == 0 || dw >= (1u << 22) || dst.height >= (1u << 22)) return false;
    if (2 * uint64_t(dw) > sw || 2 * uint64_t(dst.height) > src.height) return false;
    if (planes_overlap(src, dst)) return false;
    with_pixel_size(elem, [&](auto e) { run<decltype(e)::value>(src, dst, dw); });
    return true;
}

}  // namespace mira
