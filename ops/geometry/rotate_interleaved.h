// Rotation of an image of 2-byte pixels (an interleaved two-channel plane)
// by a multiple of 90 degrees; both bytes of a pixel move together.
#pragma once

#include <cstdint>

namespace mira {

// `width` counts 2-byte pixels, strides are in bytes. Codes as for the planar
// rotation (1 = 90 clockwise, 2 = 180, 3 = 270); any other code writes nothing.
void rotate_interleaved_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                                uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                                int rotation);

}  // namespace mira
