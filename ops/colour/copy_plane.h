// Plane copy shared by the YCbCr layout conversions.
#pragma once

#include <cstdint>

namespace mira {

// Copies `height` rows of `width` bytes. A negative height copies |height|
// rows into the destination bottom-up. Equal strides equal to the width copy
// one block; the same memory with equal strides copies nothing.
void copy_plane(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width,
                int height);

}  // namespace mira
