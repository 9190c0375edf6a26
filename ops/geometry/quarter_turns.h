// Rotations by 90, 180 and 270 degrees of a plane of 1-byte pixels (the planar
// rotation) or 2-byte pixels (the interleaved rotation). `Px` is the pixel
// size in bytes; widths count pixels, strides bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "ops/mira_neon.h"

namespace mira {
namespace quarter_turns {

// The register tile of a pixel size: N rows of N pixels, one 16-byte vector
// per row.
template <int Px>
struct Tile;

template <>
struct Tile<1> {
    static constexpr uint32_t N = 16;
    using Vec = uint8x16_t;
    static Vec load(const uint8_t* p) { return vld1q_u8(p); }
    static void store(uint8_t* p, Vec v) { vst1q_u8(p, v); }
    // Transposes 16 rows of 16 bytes in place: four rounds of zipping row i
    // with row i + 8. Each round rotates the 8-bit (row, column) index left by
    // one, so after four rounds row c holds what was column c.
    static void transpose(Vec r[16]) {
        for (int round = 0; round < 4; ++round) {
            Vec t[16];
            for (int i = 0; i < 8; ++i) {
                const uint8x16x2_t z = vzipq_u8(r[i], r[i + 8]);
                t[2 * i] = z.val[0];
                t[2 * i + 1] = z.val[1];
            }
            for (int i = 0; i < 16; ++i) r[i] = t[i];
        }
    }
    // Byte order of a 16-byte piece read backwards, pixel by pixel.
    static constexpr uint8_t kReverse[16] = {15, 14, 13, 12, 11, 10, 9, 8,
                                             7,  6,  5,  4,  3,  2,  1, 0};
};

template <>
struct Tile<2> {
    static constexpr uint32_t N = 8;
    using Vec = uint16x8_t;
    static Vec load(const uint8_t* p) { return vreinterpretq_u16_u8(vld1q_u8(p)); }
    static void store(uint8_t* p, Vec v) { vst1q_u8(p, vreinterpretq_u8_u16(v)); }
    // Transposes 8 rows of 8 two-byte pixels in place: three rounds of zipping
    // row i with row i + 4 as 16-bit lanes, so each pixel's two bytes stay
    // together and in order.
    static void transpose(Vec r[8]) {
        for (int round = 0; round < 3; ++round) {
            Vec t[8];
            for (int i = 0; i < 4; ++i) {
                const uint16x8x2_t z = vzipq_u16(r[i], r[i + 4]);
                t[2 * i] = z.val[0];
                t[2 * i + 1] = z.val[1];
            }
            for (int i = 0; i < 8; ++i) r[i] = t[i];
        }
    }
    // The pixel order reversed, the byte order inside each pixel kept.
    static constexpr uint8_t kReverse[16] = {14, 15, 12, 13, 10, 11, 8, 9,
                                             6,  7,  4,  5,  2,  3,  0, 1};
};

// Generic transpose with signed row steps: destination row c, pixel r
// receives source row r, pixel c. "Source row r" is s0 + r * sStep and
// "destination row c" is d0 + c * dStep, so negative steps walk a plane
// bottom-up and turn the transpose into a rotation. Whole N x N tiles go
// through registers with 16-byte loads and stores; partial tiles at the right
// and bottom edges are staged through a small buffer and use the same
// register transpose, moving exactly the pixels that exist.
template <int Px>
void transpose_signed(const uint8_t* s0, int64_t sStep, uint8_t* d0, int64_t dStep,
                      uint32_t rows, uint32_t cols) {
    using T = Tile<Px>;
    constexpr uint32_t N = T::N;
    for (uint32_t r0 = 0; r0 < rows; r0 += N) {
        const uint32_t nr = rows - r0 < N ? rows - r0 : N;
        for (uint32_t c0 = 0; c0 < cols; c0 += N) {
            const uint32_t nc = cols - c0 < N ? cols - c0 : N;
            typename T::Vec q[N];
            if (nr == N && nc == N) {
                for (uint32_t i = 0; i < N; ++i)
                    q[i] = T::load(s0 + (int64_t)(r0 + i) * sStep + Px * c0);
                T::transpose(q);
                for (uint32_t c = 0; c < N; ++c)
                    T::store(d0 + (int64_t)(c0 + c) * dStep + Px * r0, q[c]);
            } else {
                uint8_t tile[N][16] = {};
                for (uint32_t i = 0; i < nr; ++i)
                    std::memcpy(tile[i], s0 + (int64_t)(r0 + i) * sStep + Px * c0, Px * nc);
                for (uint32_t i = 0; i < N; ++i) q[i] = T::load(tile[i]);
                T::transpose(q);
                for (uint32_t c = 0; c < nc; ++c) {
                    T::store(tile[c], q[c]);
                    std::memcpy(d0 + (int64_t)(c0 + c) * dStep + Px * r0, tile[c], Px * nr);
                }
            }
        }
    }
}

template <int Px>
void rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
               uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(y', H - 1 - x'): the source read from its last row up.
    transpose_signed<Px>(src + (int64_t)(h - 1) * s, -(int64_t)s, dst, ds, h, w);
}

template <int Px>
void rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(W - 1 - y', x'): the destination written from its last row up.
    transpose_signed<Px>(src, s, dst + (int64_t)(w - 1) * ds, -(int64_t)ds, h, w);
}

// Each destination row is source row H - 1 - y with its pixel order reversed
// and the byte order inside each pixel kept.
template <int Px>
void rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    const uint8x16_t rev = vld1q_u8(Tile<Px>::kReverse);
    const uint64_t bytes = uint64_t(Px) * w;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = src + (uint64_t)(h - 1 - y) * s;
        uint8_t* out = dst + (uint64_t)y * ds;
        uint64_t x = 0;  // byte position in the destination row
        // 32 bytes per step read from the row's end.
        for (; x + 32 <= bytes; x += 32) {
            const uint8x16_t a = vld1q_u8(in + bytes - x - 16);
            const uint8x16_t b = vld1q_u8(in + bytes - x - 32);
            vst1q_u8(out + x, vqtbl1q_u8(a, rev));
            vst1q_u8(out + x + 16, vqtbl1q_u8(b, rev));
        }
        if (x + 16 <= bytes) {
            vst1q_u8(out + x, vqtbl1q_u8(vld1q_u8(in + bytes - x - 16), rev));
            x += 16;
        }
        if (x < bytes && bytes >= 16) {
            // The last partial piece: one more 16-byte step ending at the row's
            // end, overlapping pixels already written with the same values.
            vst1q_u8(out + bytes - 16, vqtbl1q_u8(vld1q_u8(in), rev));
            x = bytes;
        }
        for (; x < bytes; x += Px)
            for (int k = 0; k < Px; ++k) out[x + k] = in[bytes - Px - x + k];
    }
}

// Rotation codes: 1 = 90 degrees clockwise, 2 = 180 degrees, 3 = 270 degrees
// clockwise. Any other code writes nothing.
template <int Px>
void rotate(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
            uint8_t* dst, uint32_t dstStride, int rotation) {
    switch (rotation) {
        case 1: rotate_90<Px>(src, width, height, srcStride, dst, dstStride); break;
        case 2: rotate_180<Px>(src, width, height, srcStride, dst, dstStride); break;
        case 3: rotate_270<Px>(src, width, height, srcStride, dst, dstStride); break;
        default: break;  // unknown code: nothing is written
    }
}

}  // namespace quarter_turns
}  // namespace mira
