// Rotations by 90, 180 and 270 degrees of an image of 1-byte pixels (the
// planar rotation), 2-byte pixels (the interleaved rotation) or 3- and 4-byte
// pixels (colour images). `Px` is the pixel size in bytes; widths count
// pixels, strides bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "ops/geometry/tile_transpose.h"
#include "ops/mira_neon.h"

namespace mira {
namespace quarter_turns {

// Byte order of a 16-byte piece read backwards, pixel by pixel, the byte
// order inside each pixel kept.
template <int Px>
struct Reverse;
template <>
struct Reverse<1> {
    static constexpr uint8_t kBytes[16] = {15, 14, 13, 12, 11, 10, 9, 8,
                                           7,  6,  5,  4,  3,  2,  1, 0};
};
template <>
struct Reverse<2> {
    static constexpr uint8_t kBytes[16] = {14, 15, 12, 13, 10, 11, 8, 9,
                                           6,  7,  4,  5,  2,  3,  0, 1};
};
template <>
struct Reverse<4> {
    static constexpr uint8_t kBytes[16] = {12, 13, 14, 15, 8, 9, 10, 11,
                                           4,  5,  6,  7,  0, 1, 2,  3};
};

// The quarter turns are the tile transpose with one step negated.
template <int Px>
void rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
               uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(y', H - 1 - x'): the source read from its last row up.
    tile_transpose::transpose_tiles<Px>(src + (int64_t)(h - 1) * s, -(int64_t)s, dst, ds, h, w);
}

template <int Px>
void rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(W - 1 - y', x'): the destination written from its last row up.
    tile_transpose::transpose_tiles<Px>(src, s, dst + (int64_t)(w - 1) * ds, -(int64_t)ds, h, w);
}

// 16 pixels of 3 bytes in reverse pixel order.
inline uint8x16x3_t reverse_rgb16(const uint8_t* p, uint8x16_t rev) {
    uint8x16x3_t v = load_deinterleave3_u8(p);
    for (int k = 0; k < 3; ++k) v.val[k] = shuffle_bytes_u8(v.val[k], rev);
    return v;
}

inline void store_rgb16(uint8_t* p, const uint8x16x3_t& v) {
    store_interleave3_u8(p, v.val[0], v.val[1], v.val[2]);
}

inline void rotate_180_rgb(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                           uint32_t ds) {
    const uint8x16_t rev = vld1q_u8(Reverse<1>::kBytes);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = src + (uint64_t)(h - 1 - y) * s;
        uint8_t* out = dst + (uint64_t)y * ds;
        uint64_t x = 0;  // pixel position in the destination row
        for (; x + 16 <= w; x += 16) store_rgb16(out + 3 * x, reverse_rgb16(in + 3 * (w - x - 16), rev));
        if (x < w && w >= 16) {
            // The last partial piece: 16 pixels ending at the row's end,
            // overlapping pixels already written with the same values.
            store_rgb16(out + 3 * (uint64_t(w) - 16), reverse_rgb16(in, rev));
            x = w;
        }
        for (; x < w; ++x)
            for (int k = 0; k < 3; ++k) out[3 * x + k] = in[3 * (w - 1 - x) + k];
    }
}

// Each destination row is source row H - 1 - y with its pixel order reversed
// and the byte order inside each pixel kept.
//
// 3-byte pixels do not fill a 16-byte piece: 16 pixels at a time are
// de-interleaved into byte planes (vld3q), each plane reversed, and
// interleaved again (vst3q).
template <int Px>
void rotate_180_bytes(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                      uint32_t ds) {
    const uint8x16_t rev = vld1q_u8(Reverse<Px>::kBytes);
    const uint64_t bytes = uint64_t(Px) * w;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = src + (uint64_t)(h - 1 - y) * s;
        uint8_t* out = dst + (uint64_t)y * ds;
        // 64 bytes per step, read from the row's end with one four-vector
        // load and written front to back with one four-vector store;
        // pointers and a count, not an index.
        const uint8_t* p = in + bytes;
        uint8_t* o = out;
        for (uint64_t n = bytes / 64; n != 0; --n, o += 64) {
            p -= 64;
            const uint8x16x4_t v = load_u8x4(p);
            uint8x16x4_t r;
            for (int k = 0; k < 4; ++k) r.val[k] = shuffle_bytes_u8(v.val[3 - k], rev);
            store_u8x4(o, r);
        }
        uint64_t x = bytes & ~uint64_t(63);  // byte position in the destination row
        for (; x + 16 <= bytes; x += 16)
            vst1q_u8(out + x, shuffle_bytes_u8(vld1q_u8(in + bytes - x - 16), rev));
        if (x < bytes && bytes >= 16) {
            // The last partial piece: one more 16-byte step ending at the row's
            // end, overlapping pixels already written with the same values.
            vst1q_u8(out + bytes - 16, shuffle_bytes_u8(vld1q_u8(in), rev));
            x = bytes;
        }
        for (; x < bytes; x += Px)
            for (int k = 0; k < Px; ++k) out[x + k] = in[bytes - Px - x + k];
    }
}

template <int Px>
void rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    if constexpr (Px == 3)
        rotate_180_rgb(src, w, h, s, dst, ds);
    else
        rotate_180_bytes<Px>(src, w, h, s, dst, ds);
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
