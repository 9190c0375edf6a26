// Transpose of one 8-bit plane: destination row c is source column c.
#pragma once

#include <cstdint>

namespace mira {

// The CPU transpose: 16-row x 8-column register tiles with exact leftover
// paths. Reads only width bytes of each of the height source rows and writes
// only height bytes of each of the width destination rows.
void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride);

}  // namespace mira
