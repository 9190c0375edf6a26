// The one tile transpose behind the transpose and the quarter turns of 1-, 2-,
// 3- and 4-byte pixels. `Px` is the pixel size in bytes; counts are pixels,
// steps bytes.
//
// transpose_tiles<Px>(s0, sStep, d0, dStep, rows, cols): destination row c,
// pixel r receives source row r, pixel c, where source row r starts at
// s0 + r * sStep and destination row c at d0 + c * dStep. The steps are
// signed: a negative source step reads a plane from its last row up (the
// rotation by 90 degrees), a negative destination step writes it from its
// last row up (270 degrees). Only `cols` pixels of each of the `rows` source
// rows are read and only `rows` pixels of each of the `cols` destination rows
// are written. Sources and destinations must not overlap.
#pragma once

#include <cstdint>
#include <cstring>

#include "ops/mira_neon.h"

namespace mira {
namespace tile_transpose {

// The tile is inlined into the loops over tiles: as a call, g++ reloads the
// loop's pointers from the stack around every tile.
#if defined(__GNUC__)
#define MIRA_TILE_INLINE inline __attribute__((always_inline))
#else
#define MIRA_TILE_INLINE inline
#endif

// A tile is kRows source rows of kCols pixels; it becomes kCols destination
// rows of kRows pixels. 1-byte pixels: 16 x 16 (one 16-byte vector per row
// both ways); 2-byte pixels: 8 x 8 (likewise); 3-byte pixels: 8 x 8 pixels
// (three byte planes); 4-byte pixels: 8 rows of 4 pixels.
template <int Px>
struct TileShape {
    static_assert(Px >= 1 && Px <= 4, "1- to 4-byte pixels");
    static constexpr uint32_t kRows = Px <= 2 ? 16 / Px : 8;
    static constexpr uint32_t kCols = Px == 4 ? 4 : kRows;
};

// Loops over the vectors of a tile are unrolled whole, so that every vector
// lives in a register: left rolled, clang keeps the arrays on the stack and
// moves each stage through memory.
#define MIRA_TILE_UNROLL _Pragma("GCC unroll 16")

// Eight rows of eight bytes transposed in place, within each 64-bit half of
// the vectors independently (three trn stages of 8-, 16- and 32-bit units;
// no stage crosses a half): afterwards r[c] holds column c of the rows, in
// each half. Used for two byte planes at once (one per half).
MIRA_TILE_INLINE void transpose_8x8_halves(uint8x16_t r[8]) {
    uint8x16_t a[8];
    MIRA_TILE_UNROLL
    for (int i = 0; i < 4; ++i) {
        a[2 * i] = vtrn1q_u8(r[2 * i], r[2 * i + 1]);
        a[2 * i + 1] = vtrn2q_u8(r[2 * i], r[2 * i + 1]);
    }
    uint16x8_t b[8];
    MIRA_TILE_UNROLL
    for (int h = 0; h < 2; ++h)
        MIRA_TILE_UNROLL
        for (int k = 0; k < 2; ++k) {
            const uint16x8_t x = vreinterpretq_u16_u8(a[4 * h + k]),
                             y = vreinterpretq_u16_u8(a[4 * h + 2 + k]);
            b[4 * h + k] = vtrn1q_u16(x, y);      // columns k, k + 4
            b[4 * h + 2 + k] = vtrn2q_u16(x, y);  // columns k + 2, k + 6
        }
    MIRA_TILE_UNROLL
    for (int k = 0; k < 4; ++k) {
        const uint32x4_t x = vreinterpretq_u32_u16(b[k]), y = vreinterpretq_u32_u16(b[4 + k]);
        r[k] = vreinterpretq_u8_u32(vtrn1q_u32(x, y));
        r[k + 4] = vreinterpretq_u8_u32(vtrn2q_u32(x, y));
    }
}

// The same for one byte plane in 64-bit vectors.
MIRA_TILE_INLINE void transpose_8x8(uint8x8_t r[8]) {
    uint8x8_t a[8];
    MIRA_TILE_UNROLL
    for (int i = 0; i < 4; ++i) {
        a[2 * i] = vtrn1_u8(r[2 * i], r[2 * i + 1]);
        a[2 * i + 1] = vtrn2_u8(r[2 * i], r[2 * i + 1]);
    }
    uint16x4_t b[8];
    MIRA_TILE_UNROLL
    for (int h = 0; h < 2; ++h)
        MIRA_TILE_UNROLL
        for (int k = 0; k < 2; ++k) {
            const uint16x4_t x = vreinterpret_u16_u8(a[4 * h + k]),
                             y = vreinterpret_u16_u8(a[4 * h + 2 + k]);
            b[4 * h + k] = vtrn1_u16(x, y);
            b[4 * h + 2 + k] = vtrn2_u16(x, y);
        }
    MIRA_TILE_UNROLL
    for (int k = 0; k < 4; ++k) {
        const uint32x2_t x = vreinterpret_u32_u16(b[k]), y = vreinterpret_u32_u16(b[4 + k]);
        r[k] = vreinterpret_u8_u32(vtrn1_u32(x, y));
        r[k + 4] = vreinterpret_u8_u32(vtrn2_u32(x, y));
    }
}

// One stage of the perfect-shuffle transpose of N vectors of N lanes: vector
// i is zipped with vector i + N/2 into vectors 2i (low halves) and 2i + 1
// (high halves). Lane l of vector v holds element (row, column) at the bit
// string v:l; a stage rotates that string left by one bit, so log2(N)
// stages swap row and column bits: vector c then holds column c.
MIRA_TILE_INLINE void zip_stage(const uint8x16_t in[16], uint8x16_t out[16]) {
    MIRA_TILE_UNROLL
    for (int i = 0; i < 8; ++i) {
        out[2 * i] = vzip1q_u8(in[i], in[i + 8]);
        out[2 * i + 1] = vzip2q_u8(in[i], in[i + 8]);
    }
}
MIRA_TILE_INLINE void zip_stage(const uint16x8_t in[8], uint16x8_t out[8]) {
    MIRA_TILE_UNROLL
    for (int i = 0; i < 4; ++i) {
        out[2 * i] = vzip1q_u16(in[i], in[i + 4]);
        out[2 * i + 1] = vzip2q_u16(in[i], in[i + 4]);
    }
}

// The tile of 1- and 2-byte pixels (see transpose_tile): one 16-byte vector
// per source row, four (bytes) or three (2-byte pixels) zip stages, one
// 16-byte store per destination row.
template <int Px>
MIRA_TILE_INLINE void transpose_tile_narrow(const uint8_t* src, int64_t ss, uint8_t* dst,
                                            int64_t ds, int64_t at) {
    if constexpr (Px == 1) {
        uint8x16_t a[16], b[16];
        MIRA_TILE_UNROLL
        for (int i = 0; i < 16; ++i) a[i] = vld1q_u8(src + i * ss + at);  // `at` added last
        zip_stage(a, b);
        zip_stage(b, a);
        zip_stage(a, b);
        zip_stage(b, a);
#if defined(__GNUC__)
        // The tile's destination address is opaque to the loop optimiser:
        // seeing dst + c * ds move by a whole tile from tile to tile, clang
        // keeps sixteen address registers (one per row, spilled) instead of
        // stepping one pointer through the rows.
        __asm__("" : "+r"(dst));
#endif
        MIRA_TILE_UNROLL
        for (int c = 0; c < 16; ++c) {
            vst1q_u8(dst, a[c]);
            dst += ds;
        }
    } else {
        uint16x8_t a[8], b[8];
        MIRA_TILE_UNROLL
        for (int i = 0; i < 8; ++i) a[i] = vreinterpretq_u16_u8(vld1q_u8(src + i * ss + at));
        zip_stage(a, b);
        zip_stage(b, a);
        zip_stage(a, b);
        MIRA_TILE_UNROLL
        for (int c = 0; c < 8; ++c) {
            vst1q_u8(dst, vreinterpretq_u8_u16(b[c]));
            dst += ds;
        }
    }
}

// Transposes one tile, pixels from byte `at` of the rows at `src` (step `ss`),
// into rows at `dst` (step `ds`). Within a band the row addresses src + i * ss
// stay the same from tile to tile and only `at` moves, so the compiler keeps
// them in registers (on AArch64 a register-offset load per row, no address
// arithmetic). 1- and 2-byte pixels: one vector per source row, transposed by
// zip stages (zip_stage) so that each vector is one source column, that is
// one destination row, written with one store. Every vector stays in a
// register.
//
// 3-byte pixels: eight rows of 8 pixels de-interleaved into byte planes
// (vld3), planes 0 and 1 transposed together in the halves of 128-bit
// vectors and plane 2 on its own, each destination row interleaved again
// (vst3). 4-byte pixels: four rows of 4 pixels, 32-bit lanes transposed by
// trn (32-bit) and zip (64-bit) stages.
template <int Px>
MIRA_TILE_INLINE void transpose_tile(const uint8_t* src, int64_t ss, uint8_t* dst, int64_t ds,
                                     int64_t at = 0) {
    if constexpr (Px == 3) {
        uint8x16_t q[8];
        uint8x8_t d[8];
MIRA_TILE_UNROLL
        for (int i = 0; i < 8; ++i) {
            const uint8x8x3_t v = vld3_u8(src + i * ss + at);
            q[i] = vcombine_u8(v.val[0], v.val[1]);
            d[i] = v.val[2];
        }
        transpose_8x8_halves(q);
        transpose_8x8(d);
MIRA_TILE_UNROLL
        for (int c = 0; c < 8; ++c) {
            uint8x8x3_t o;
            o.val[0] = vget_low_u8(q[c]);
            o.val[1] = vget_high_u8(q[c]);
            o.val[2] = d[c];
            vst3_u8(dst, o);
            dst += ds;
        }
        return;
    } else if constexpr (Px == 4) {
        // Eight rows of four pixels: each half of the rows is turned by one
        // trn and one zip stage of 32- and 64-bit units, and each destination
        // row (eight pixels, 32 bytes) is written by two adjacent stores.
        uint32x4_t r[8];
        MIRA_TILE_UNROLL
        for (int i = 0; i < 8; ++i) r[i] = vreinterpretq_u32_u8(vld1q_u8(src + i * ss + at));
        uint8x16_t o[4][2];
        MIRA_TILE_UNROLL
        for (int h = 0; h < 2; ++h) {
            // t0: columns 0, 2 of rows 4h, 4h + 1; t1: columns 1, 3; t2, t3
            // the same of rows 4h + 2, 4h + 3.
            const uint64x2_t t0 = vreinterpretq_u64_u32(vtrn1q_u32(r[4 * h], r[4 * h + 1]));
            const uint64x2_t t1 = vreinterpretq_u64_u32(vtrn2q_u32(r[4 * h], r[4 * h + 1]));
            const uint64x2_t t2 = vreinterpretq_u64_u32(vtrn1q_u32(r[4 * h + 2], r[4 * h + 3]));
            const uint64x2_t t3 = vreinterpretq_u64_u32(vtrn2q_u32(r[4 * h + 2], r[4 * h + 3]));
            o[0][h] = vreinterpretq_u8_u64(vzip1q_u64(t0, t2));
            o[1][h] = vreinterpretq_u8_u64(vzip1q_u64(t1, t3));
            o[2][h] = vreinterpretq_u8_u64(vzip2q_u64(t0, t2));
            o[3][h] = vreinterpretq_u8_u64(vzip2q_u64(t1, t3));
        }
#if defined(__GNUC__)
        __asm__("" : "+r"(dst));  // one pointer stepped through the rows (as above)
#endif
        MIRA_TILE_UNROLL
        for (int c = 0; c < 4; ++c) {
            vst1q_u8(dst, o[c][0]);
            vst1q_u8(dst + 16, o[c][1]);
            dst += ds;
        }
        return;
    } else {
        transpose_tile_narrow<Px>(src, ss, dst, ds, at);
    }
}
// A tile of a plane smaller than a tile (nr source rows of nc pixels):
// staged through a zeroed buffer and the same register transpose, moving
// exactly the pixels that exist.
template <int Px>
inline void transpose_partial_tile(const uint8_t* src, int64_t ss, uint8_t* dst, int64_t ds,
                                   uint32_t nr, uint32_t nc) {
    using T = TileShape<Px>;
    uint8_t in[T::kRows][32] = {};  // rows of at most 24 bytes each way, 32 out
    uint8_t out[T::kCols][32];
    for (uint32_t i = 0; i < nr; ++i) std::memcpy(in[i], src + i * ss, Px * nc);
    transpose_tile<Px>(in[0], 32, out[0], 32);
    for (uint32_t c = 0; c < nc; ++c) std::memcpy(dst + c * ds, out[c], Px * nr);
}

// Source pixels per strip: tiles are visited a column strip at a time (every
// band of one strip, then the next strip), so each source cache line is
// consumed whole and the strip's destination rows are written front to back.
// The result does not depend on the visiting order.
constexpr uint32_t kStripPixels = 64;

template <int Px>
void transpose_tiles(const uint8_t* s0, int64_t sStep, uint8_t* d0, int64_t dStep, uint32_t rows,
                     uint32_t cols) {
    using T = TileShape<Px>;
    if (rows < T::kRows || cols < T::kCols) {  // narrower or lower than one tile
        for (uint32_t r0 = 0; r0 < rows; r0 += T::kRows)
            for (uint32_t c0 = 0; c0 < cols; c0 += T::kCols)
                transpose_partial_tile<Px>(
                    s0 + (int64_t)r0 * sStep + Px * c0, sStep, d0 + (int64_t)c0 * dStep + Px * r0,
                    dStep, rows - r0 < T::kRows ? rows - r0 : T::kRows,
                    cols - c0 < T::kCols ? cols - c0 : T::kCols);
        return;
    }
    // Whole tiles only: where the plane is not a multiple of the tile, the
    // last band and the last tile of a row end at the plane's edge and overlap
    // their neighbours, whose pixels they write again with the same values.
    const uint32_t lastRow = rows - T::kRows, lastCol = cols - T::kCols;
    for (uint32_t c0 = 0; c0 < cols; c0 += kStripPixels) {
        const uint32_t c1 = cols - c0 < kStripPixels ? cols : c0 + kStripPixels;
        for (uint32_t r0 = 0;; r0 += T::kRows) {
            if (r0 > lastRow) r0 = lastRow;
            const uint8_t* band = s0 + (int64_t)r0 * sStep;
            uint8_t* out = d0 + Px * (int64_t)r0;
            int64_t c = c0;  // 64-bit: no widening in the addresses
            for (; c + T::kCols <= c1; c += T::kCols)
                transpose_tile<Px>(band, sStep, out + c * dStep, dStep, Px * c);
            if (c < c1)  // the row's last tile, ending at its last pixel
                transpose_tile<Px>(band, sStep, out + (int64_t)lastCol * dStep, dStep,
                                   Px * (int64_t)lastCol);
            if (r0 == lastRow) break;
        }
    }
}

}  // namespace tile_transpose
}  // namespace mira
