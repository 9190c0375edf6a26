// Rotation of one 8-bit plane by a multiple of 90 degrees.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Rotation codes: 1 = 90 degrees clockwise, 2 = 180 degrees, 3 = 270 degrees
// clockwise. Any other code writes nothing. For codes 1 and 3 the destination
// is `height` wide and `width` high, for code 2 it is `width` x `height`.
void rotate_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride, int rotation);

// The same rotation of an image of `pixelBytes`-byte pixels (1 to 4; any
// other size writes nothing): `width` counts pixels, strides are in bytes,
// and each pixel's bytes move together.
void rotate_pixels_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                        uint8_t* dst, uint32_t dstStride, uint32_t pixelBytes, int rotation);

// Angle in radians of a rotation code (0 for codes outside 1..3).
double rotation_angle(int rotation);

}  // namespace mira
