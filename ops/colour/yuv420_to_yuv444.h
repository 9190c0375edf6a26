// YCbCr 4:2:0 semi-planar (Cb first in each pair) to 4:4:4 planar.
#pragma once

#include <cstdint>

namespace mira {

// Y is copied; chroma pair k of chroma row r goes to rows 2r and 2r + 1,
// columns 2k and 2k + 1 of the Cb and Cr planes (nearest-neighbour
// replication). height / 2 chroma rows of `width` bytes are read; with an odd
// width the last Cr column has no sample in the row and is left as it was, as
// is the last Cb/Cr row of an odd height.
void yuv420_to_yuv444_neon(const uint8_t* srcY, const uint8_t* srcC, uint32_t width,
                           uint32_t height, uint32_t sY, uint32_t sC, uint8_t* dstY,
                           uint8_t* dstCb, uint8_t* dstCr, uint32_t dSY, uint32_t dSCb,
                           uint32_t dSCr);

}  // namespace mira
