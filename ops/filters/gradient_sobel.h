// The 3x3 Sobel gradient of an 8-bit plane into two int16 planes with a zero
// frame. Strides are in bytes.
#pragma once

#include <cstdint>

#include "ops/filters/gradient.h"

namespace mira {

// dx from the columns x+1 and x-1 weighted 1 2 1 down the rows, dy from the
// rows y+1 and y-1 weighted 1 2 1 across the columns.
void gradient_sobel_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                            uint32_t srcStride, int16_t* dx, uint32_t dxStride, int16_t* dy,
                            uint32_t dyStride);

}  // namespace mira
