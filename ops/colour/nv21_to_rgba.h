// NV21 (Y plane, then interleaved V/U at half resolution) to RGBA8888.
#pragma once

#include <cstdint>

namespace mira {

// Fixed point with 6 fractional bits: Y' = max(Y - 16, 0), L = 74 Y',
// R = (L + 102 V') >> 6, G = (L - 25 U' - 52 V') >> 6, B = (L + 128 U') >> 6,
// each clamped to 0..255, A = 255. Luma rows are `width` bytes apart, chroma
// rows (width rounded down to even) bytes apart, destination rows 4 x width
// bytes apart. An odd last column and an odd last row are left as they were.
void nv21_to_rgba_neon(const uint8_t* y, const uint8_t* vu, int width, int height, uint8_t* dst);

// The same conversion with each plane's row pitch in bytes: luma rows
// `yStride` apart, chroma rows `vuStride` apart, destination rows `dstStride`
// apart. Only the rows' defined bytes are read and written.
void nv21_to_rgba_neon(const uint8_t* y, uint64_t yStride, const uint8_t* vu, uint64_t vuStride,
                       int width, int height, uint8_t* dst, uint64_t dstStride);

}  // namespace mira
