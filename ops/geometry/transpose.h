// Transpose of one 8-bit plane: destination row c is source column c.
#pragma once

#include <cstdint>

namespace mira {

// The CPU transpose: the tile transpose of ops/geometry/tile_transpose.h,
// which also serves the quarter turns. Reads only width bytes of each of the height source rows and writes
// only height bytes of each of the width destination rows.
void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride);

// The same for pixels of `pixelBytes` bytes (1 to 4; any other size writes
// nothing): `width` counts pixels, strides are in bytes. Each pixel's bytes
// move together.
void transpose_pixels_neon(const uint8_t* src, uint32_t width, uint32_t height,
                           uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                           uint32_t pixelBytes);

}  // namespace mira
