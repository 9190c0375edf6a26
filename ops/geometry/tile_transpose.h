// The one tile transpose behind the transpose and the quarter turns of 1- and
// 2-byte pixels. `Px` is the pixel size in bytes; counts are pixels, steps
// bytes.
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

// A tile is kRows source rows of 8 pixels; it becomes 8 destination rows of
// kRows pixels, 16 bytes each.
template <int Px>
struct TileShape {
    static_assert(Px == 1 || Px == 2, "1- and 2-byte pixels");
    static constexpr uint32_t kRows = 16 / Px;  // source rows = destination row length
    static constexpr uint32_t kCols = 8;        // source pixels = destination rows
};

// Transposes one tile, pixels from byte `at` of the rows at `src` (step `ss`),
// into rows at `dst` (step `ds`). Within a band the row addresses src + i * ss
// stay the same from tile to tile and only `at` moves, so the compiler keeps
// them in registers (on AArch64 a register-offset load per row, no address
// arithmetic). Eight vectors first hold the source in pixel units: for bytes, two
// 8-byte rows zipped together (rows 2i and 2i + 1 interleaved); for 2-byte
// pixels, one 16-byte row each. Three zip stages follow, of 16-, 32- and
// 64-bit units: each doubles the run of rows a unit holds for one column, so
// after the last each vector is one source column, that is one destination
// row, and is written with one store. Every vector stays in a register.
template <int Px>
MIRA_TILE_INLINE void transpose_tile(const uint8_t* src, int64_t ss, uint8_t* dst, int64_t ds,
                                     int64_t at = 0) {
    uint16x8_t p[8];
    for (int i = 0; i < 8; ++i) {
        if constexpr (Px == 1) {
            const uint8_t* even = src + (2 * i) * ss;  // `at` added last: see above
            p[i] = vreinterpretq_u16_u8(
                vzip1q_u8(load_lo_u8(even + at), load_lo_u8(even + ss + at)));
        } else {
            p[i] = vreinterpretq_u16_u8(vld1q_u8(src + i * ss + at));
        }
    }
    // 16-bit units: q[2j] columns 0..3 and q[2j+1] columns 4..7 of p[2j], p[2j+1].
    uint32x4_t q[8];
    for (int j = 0; j < 4; ++j) {
        q[2 * j] = vreinterpretq_u32_u16(vzip1q_u16(p[2 * j], p[2 * j + 1]));
        q[2 * j + 1] = vreinterpretq_u32_u16(vzip2q_u16(p[2 * j], p[2 * j + 1]));
    }
    // 32-bit units: r[k] holds two columns of the upper (k < 4) or lower half
    // of the rows.
    uint64x2_t r[8];
    for (int h = 0; h < 2; ++h)
        for (int c = 0; c < 2; ++c) {
            const uint32x4_t a = q[4 * h + c], b = q[4 * h + 2 + c];
            r[4 * h + 2 * c] = vreinterpretq_u64_u32(vzip1q_u32(a, b));      // columns 4c, 4c+1
            r[4 * h + 2 * c + 1] = vreinterpretq_u64_u32(vzip2q_u32(a, b));  // columns 4c+2, 4c+3
        }
    // 64-bit units: join the upper and lower rows of each column.
    for (int k = 0; k < 4; ++k) {
        vst1q_u8(dst, vreinterpretq_u8_u64(vzip1q_u64(r[k], r[4 + k])));
        dst += ds;
        vst1q_u8(dst, vreinterpretq_u8_u64(vzip2q_u64(r[k], r[4 + k])));
        dst += ds;
    }
}

// A tile of a plane smaller than a tile (nr source rows of nc pixels):
// staged through a zeroed buffer and the same register transpose, moving
// exactly the pixels that exist.
template <int Px>
inline void transpose_partial_tile(const uint8_t* src, int64_t ss, uint8_t* dst, int64_t ds,
                                   uint32_t nr, uint32_t nc) {
    using T = TileShape<Px>;
    uint8_t in[T::kRows][16] = {};
    uint8_t out[T::kCols][16];
    for (uint32_t i = 0; i < nr; ++i) std::memcpy(in[i], src + i * ss, Px * nc);
    transpose_tile<Px>(in[0], 16, out[0], 16);
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
