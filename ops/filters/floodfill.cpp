#include "ops/filters/floodfill.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ops/mira_neon.h"

namespace mira {

namespace {

// The two 64-bit halves of a byte mask (0xFF per selected lane).
inline uint64_t lane_lo(uint8x16_t m) { return vgetq_lane_u64(vreinterpretq_u64_u8(m), 0); }
inline uint64_t lane_hi(uint8x16_t m) { return vgetq_lane_u64(vreinterpretq_u64_u8(m), 1); }

}  // namespace

uint32_t floodfill_run_end(const uint8_t* row, uint32_t i, uint32_t end, uint8_t v) {
    const uint8x16_t vv = vdupq_n_u8(v);
    while (i + 16 <= end) {
        const uint8x16_t eq = vceqq_u8(vld1q_u8(row + i), vv);
        const uint64_t lo = ~lane_lo(eq), hi = ~lane_hi(eq);
        if (lo != 0) return i + static_cast<uint32_t>(__builtin_ctzll(lo) >> 3);
        if (hi != 0) return i + 8 + static_cast<uint32_t>(__builtin_ctzll(hi) >> 3);
        i += 16;
    }
    while (i < end && row[i] == v) ++i;
    return i;
}

uint32_t floodfill_run_start(const uint8_t* row, uint32_t i, uint8_t v) {
    const uint8x16_t vv = vdupq_n_u8(v);
    uint32_t j = i;  // row[j..i] are known to equal v
    while (j >= 16) {
        const uint8x16_t eq = vceqq_u8(vld1q_u8(row + j - 16), vv);
        const uint64_t lo = ~lane_lo(eq), hi = ~lane_hi(eq);
        if (hi != 0) return j - 16 + 8 + static_cast<uint32_t>((63 - __builtin_clzll(hi)) >> 3) + 1;
        if (lo != 0) return j - 16 + static_cast<uint32_t>((63 - __builtin_clzll(lo)) >> 3) + 1;
        j -= 16;
    }
    while (j > 0 && row[j - 1] == v) --j;
    return j;
}

uint32_t floodfill_find_candidate(const uint8_t* src, const uint8_t* mask, uint32_t i,
                                  uint32_t last, uint8_t v, uint8_t n) {
    const uint8x16_t vv = vdupq_n_u8(v), vn = vdupq_n_u8(n);
    while (i + 16 <= last + 1) {
        const uint8x16_t c = vandq_u8(vceqq_u8(vld1q_u8(src + i), vv),
                                      vmvnq_u8(vceqq_u8(vld1q_u8(mask + i), vn)));
        const uint64_t lo = lane_lo(c), hi = lane_hi(c);
        if (lo != 0) return i + static_cast<uint32_t>(__builtin_ctzll(lo) >> 3);
        if (hi != 0) return i + 8 + static_cast<uint32_t>(__builtin_ctzll(hi) >> 3);
        i += 16;
    }
    while (i <= last && !(src[i] == v && mask[i] != n)) ++i;
    return i;
}

}  // namespace mira
