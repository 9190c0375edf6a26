// Exchange of the two bytes of every pair of an interleaved two-channel plane.
#pragma once

#include <cstdint>

namespace mira {

// `width` counts pairs; rows hold 2 x width bytes. dst may equal src (same
// stride): every pair is read before it is written.
void cbcr_swap_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride);

}  // namespace mira
