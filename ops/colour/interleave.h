// Merge of two 8-bit planes into one plane of byte pairs.
#pragma once

#include <cstdint>

namespace mira {

// Destination row y holds (a0, b0, a1, b1, ...) with a from src0 and b from
// src1: 2 x width bytes.
void interleave_neon(const uint8_t* src0, const uint8_t* src1, uint32_t width, uint32_t height,
                     uint32_t s0, uint32_t s1, uint8_t* dst, uint32_t dstStride);

// The reverse: row y of src holds (a0, b0, a1, b1, ...); a goes to dst0 and
// b to dst1, width bytes each.
void deinterleave_neon(const uint8_t* src, uint32_t srcStride, uint32_t width, uint32_t height,
                       uint8_t* dst0, uint32_t s0, uint8_t* dst1, uint32_t s1);

}  // namespace mira
