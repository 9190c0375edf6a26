#include "ops/scaling/bilinear_up_2x.h"

#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/padded_rows.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {
namespace {

// Horizontal sums of one padded row (p at its column 0) for 16 source bytes
// at i: even destination pixels L + 3 C, odd 3 C + R, lanes per byte.
struct Sums {
    uint16x8_t even[2], odd[2];
};
inline Sums horizontal(const uint8_t* p, uint32_t i, uint32_t E, uint8x8_t three) {
    const uint8x16_t l = vld1q_u8(p + i - E), c = vld1q_u8(p + i), r = vld1q_u8(p + i + E);
    const uint16x8_t m0 = vmull_u8(vget_low_u8(c), three), m1 = vmull_u8(vget_high_u8(c), three);
    Sums s;
    s.even[0] = vaddw_u8(m0, vget_low_u8(l));
    s.even[1] = vaddw_u8(m1, vget_high_u8(l));
    s.odd[0] = vaddw_u8(m0, vget_low_u8(r));
    s.odd[1] = vaddw_u8(m1, vget_high_u8(r));
    return s;
}

// (a + 3 b) >> 4 for both halves, narrowed.
inline uint8x16_t vertical(const uint16x8_t a[2], const uint16x8_t b[2], uint16x8_t three) {
    return vcombine_u8(vshrn_n_u16(vmlaq_u16(a[0], b[0], three), 4),
                       vshrn_n_u16(vmlaq_u16(a[1], b[1], three), 4));
}

// The shuffles that interleave five 3-byte pixels of `even` and of `odd`
// (lanes 0..14) into 30 bytes: [output vector][even, odd].
struct Pixels3Tables {
    uint8_t idx[2][2][16];
    constexpr Pixels3Tables() : idx() {
        for (int v = 0; v < 2; ++v)
            for (int i = 0; i < 16; ++i) {
                const int o = 16 * v + i, m = o / 6, k = o % 6;
                const bool odd = k >= 3;
                const uint8_t lane = o < 30 ? uint8_t(3 * m + k % 3) : uint8_t(0x80);
                idx[v][0][i] = odd ? uint8_t(0x80) : lane;
                idx[v][1][i] = odd ? lane : uint8_t(0x80);
            }
    }
};
inline constexpr Pixels3Tables kPixels3{};

// Even and odd destination pixels stored alternately: 32 bytes (30 of them
// for 3-byte pixels, whose 16-byte vectors carry five).
template <int E>
inline void store_pixels(uint8_t* d, uint8x16_t even, uint8x16_t odd) {
    if constexpr (E == 3) {
        for (int v = 0; v < 2; ++v)
            vst1q_u8(d + 16 * v,
                     vorrq_u8(shuffle_bytes_u8(even, vld1q_u8(kPixels3.idx[v][0])),
                              shuffle_bytes_u8(odd, vld1q_u8(kPixels3.idx[v][1]))));
    } else {
        store_alternate<E>(d, even, odd);
    }
}

// Destination rows 2j (from padded rows a = j - 1, b = j) and 2j + 1 (b, c
// = j + 1; d1 null where there is no such row).
template <int E>
void row_pair(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* d0, uint8_t* d1,
              uint32_t bytes) {
    constexpr uint32_t step = E == 3 ? 15 : 16;  // source bytes per vector step
    const uint8x8_t three8 = vdup_n_u8(3);
    const uint16x8_t three = vdupq_n_u16(3);
    uint32_t i = 0;
    for (; i + 16 <= bytes; i += step) {
        const Sums sa = horizontal(a, i, E, three8), sb = horizontal(b, i, E, three8);
        store_pixels<E>(d0 + 2 * uint64_t(i), vertical(sa.even, sb.even, three),
                           vertical(sa.odd, sb.odd, three));
        if (d1) {
            const Sums sc = horizontal(c, i, E, three8);
            store_pixels<E>(d1 + 2 * uint64_t(i), vertical(sc.even, sb.even, three),
                               vertical(sc.odd, sb.odd, three));
        }
    }
    // The rest byte by byte: source byte q is lane q % E of pixel q / E.
    for (; i < bytes; ++i) {
        const uint32_t k = i / E, lane = i % E;
        const uint64_t even = 2 * uint64_t(k) * E + lane, odd = even + E;
        auto h = [&](const uint8_t* p, bool right) {
            return 3 * p[i] + (right ? p[int64_t(i) + E] : p[int64_t(i) - E]);
        };
        d0[even] = uint8_t((h(a, false) + 3 * h(b, false)) >> 4);
        d0[odd] = uint8_t((h(a, true) + 3 * h(b, true)) >> 4);
        if (d1) {
            d1[even] = uint8_t((h(c, false) + 3 * h(b, false)) >> 4);
            d1[odd] = uint8_t((h(c, true) + 3 * h(b, true)) >> 4);
        }
    }
}

template <int E>
bool run(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, const BorderRule& rule) {
    // Per band, three padded source rows (j - 1, j, j + 1) in turn.
    const uint32_t pairs = (dst.height + 1) / 2;
    return with_padded_rows(
        pairs, uint64_t(dst.width) * dst.height, rule, 3, 0,
        [&](uint32_t first, uint32_t last, uint8_t** ring, uint8_t*) {
            for (int k = 0; k < 2; ++k) pad_row(ring[k], src, rule, int64_t(first) - 1 + k);
            for (uint32_t j = first; j < last; ++j) {
                pad_row(ring[2], src, rule, int64_t(j) + 1);
                const bool both = 2 * j + 1 < dst.height;
                row_pair<E>(ring[0] + E, ring[1] + E, ring[2] + E, row_ptr(dst, 2 * j),
                            both ? row_ptr(dst, 2 * j + 1) : nullptr, rule.bytes);
                advance_ring(ring, 3, 1);
            }
        });
}

}  // namespace

bool bilinear_up_2x(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                    float sy, uint32_t border_type, uint8_t border_value) {
    if (elem < 1 || elem > 4 || sy != 2.0f) return false;
    if (src.width == 0 || src.height == 0 || dst.height == 0 || src.width % elem != 0) return false;
    if (uint64_t(dst.width) != 2 * uint64_t(src.width)) return false;
    if (planes_overlap(src, dst)) return false;
    const BorderRule rule{src.height, src.width, elem, border_type == 1, border_value};
    return with_pixel_size(elem, [&](auto e) { return run<decltype(e)::value>(src, dst, rule); });
}

}  // namespace mira
