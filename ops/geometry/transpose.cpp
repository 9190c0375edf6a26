#include "ops/geometry/transpose.h"

#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

// Transposes the 16 x 8 tile at `src` into 8 destination rows of 16 bytes.
// All 16 rows stay in registers; four interleave stages (bytes of row pairs,
// then half-words, words and double-words) gather each source column's 16
// bytes in row order, and each destination row is written with one store.
constexpr uint64_t kStripTiles = 8;  // 64 source columns per strip

inline uint8x16_t load8(const uint8_t* p) { return load_lo_u8(p); }

inline void transpose_tile_16x8(const uint8_t* src, uint64_t srcStride, uint8_t* dst,
                                uint64_t dstStride) {
    // Byte pairs: p[i] holds rows 2i and 2i+1 interleaved, columns 0..7.
    uint16x8_t p[8];
    for (int i = 0; i < 8; ++i) {
        const uint8_t* even = src + (2 * i) * srcStride;
        p[i] = vreinterpretq_u16_u8(vzip1q_u8(load8(even), load8(even + srcStride)));
    }
    // Half-words: q[2j] columns 0..3 and q[2j+1] columns 4..7 of rows 4j..4j+3.
    uint32x4_t q[8];
    for (int j = 0; j < 4; ++j) {
        q[2 * j] = vreinterpretq_u32_u16(vzip1q_u16(p[2 * j], p[2 * j + 1]));
        q[2 * j + 1] = vreinterpretq_u32_u16(vzip2q_u16(p[2 * j], p[2 * j + 1]));
    }
    // Words: r[k] holds two columns of 8 rows (rows 0..7 for k < 4, else 8..15).
    uint64x2_t r[8];
    for (int h = 0; h < 2; ++h)
        for (int c = 0; c < 2; ++c) {
            const uint32x4_t a = q[4 * h + c], b = q[4 * h + 2 + c];
            r[4 * h + 2 * c] = vreinterpretq_u64_u32(vzip1q_u32(a, b));      // columns 4c, 4c+1
            r[4 * h + 2 * c + 1] = vreinterpretq_u64_u32(vzip2q_u32(a, b));  // columns 4c+2, 4c+3
        }
    // Double-words: join the upper and lower 8 rows of each column.
    for (int k = 0; k < 4; ++k) {
        const int c = 2 * k;
        vst1q_u8(dst + c * dstStride, vreinterpretq_u8_u64(vzip1q_u64(r[k], r[4 + k])));
        vst1q_u8(dst + (c + 1) * dstStride, vreinterpretq_u8_u64(vzip2q_u64(r[k], r[4 + k])));
    }
}

// The 8 x 8 tile of a leftover half band: the same stages without the last
// join; each destination row receives 8 bytes.
inline void transpose_tile_8x8(const uint8_t* src, uint64_t srcStride, uint8_t* dst,
                               uint64_t dstStride) {
    uint16x8_t p[4];
    for (int i = 0; i < 4; ++i) {
        const uint8_t* even = src + (2 * i) * srcStride;
        p[i] = vreinterpretq_u16_u8(vzip1q_u8(load8(even), load8(even + srcStride)));
    }
    const uint32x4_t q0 = vreinterpretq_u32_u16(vzip1q_u16(p[0], p[1]));
    const uint32x4_t q1 = vreinterpretq_u32_u16(vzip2q_u16(p[0], p[1]));
    const uint32x4_t q2 = vreinterpretq_u32_u16(vzip1q_u16(p[2], p[3]));
    const uint32x4_t q3 = vreinterpretq_u32_u16(vzip2q_u16(p[2], p[3]));
    const uint8x16_t cols[4] = {vreinterpretq_u8_u32(vzip1q_u32(q0, q2)),
                                vreinterpretq_u8_u32(vzip2q_u32(q0, q2)),
                                vreinterpretq_u8_u32(vzip1q_u32(q1, q3)),
                                vreinterpretq_u8_u32(vzip2q_u32(q1, q3))};
    for (int k = 0; k < 4; ++k) {
        vst1_u8(dst + (2 * k) * dstStride, vget_low_u8(cols[k]));
        vst1_u8(dst + (2 * k + 1) * dstStride, vget_high_u8(cols[k]));
    }
}

}  // namespace

void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride) {
    const uint64_t S = srcStride, D = dstStride, W = width, H = height;
    const uint64_t bands = H / 16;
    // Full bands. Tiles are visited a column strip at a time (all bands of one
    // strip of kStripTiles tiles, then the next strip): every source cache
    // line is consumed whole and the strip's destination rows are written
    // front to back. The result does not depend on the visiting order.
    uint64_t x = 0;
    const uint64_t tiles = W / 8;
    for (uint64_t t0 = 0; t0 < tiles; t0 += kStripTiles) {
        const uint64_t t1 = t0 + kStripTiles < tiles ? t0 + kStripTiles : tiles;
        for (uint64_t b = 0; b < bands; ++b)
            for (uint64_t t = t0; t < t1; ++t)
                transpose_tile_16x8(src + b * 16 * S + t * 8, S, dst + t * 8 * D + b * 16, D);
    }
    x = tiles * 8;
    for (; x < W; ++x) {  // leftover columns: gather 16 bytes down each band
        for (uint64_t b = 0; b < bands; ++b) {
            const uint8_t* band = src + b * 16 * S;
            uint8_t column[16];
            for (int r = 0; r < 16; ++r) column[r] = band[r * S + x];
            vst1q_u8(dst + x * D + b * 16, vld1q_u8(column));
        }
    }
    uint64_t y = bands * 16;
    if (H - y >= 8 && W >= 8) {  // a half band: 8 x 8 tiles, then the columns left over
        const uint8_t* band = src + y * S;
        uint64_t c = 0;
        for (; c + 8 <= W; c += 8) transpose_tile_8x8(band + c, S, dst + c * D + y, D);
        for (; c < W; ++c)
            for (int r = 0; r < 8; ++r) dst[c * D + y + r] = band[r * S + c];
        y += 8;
    }
    for (; y < H; ++y) {  // leftover rows: each goes down one destination column
        const uint8_t* row = src + y * S;
        uint8_t* col = dst + y;
        uint64_t x = 0;
        for (; x + 9 <= W; x += 8) {
            uint8_t bytes[8];
            vst1_u8(bytes, vld1_u8(row + x));
            for (int k = 0; k < 8; ++k) col[(x + k) * D] = bytes[k];
        }
        for (; x < W; ++x) col[x * D] = row[x];
    }
}

void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                    uint32_t dstS) {
    transpose_u8_neon(src, w, h, s, dst, dstS);
}

}  // namespace mira
