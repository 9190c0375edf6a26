// YCbCr 4:4:4 planar to 4:2:0 semi-planar (Cb first in each pair).
#pragma once

#include <cstdint>

namespace mira {

// Y is copied; chroma row r, byte j is Cb[2r][j] for even j and Cr[2r][j - 1]
// for odd j (the top-left sample of each 2 x 2 block). height / 2 chroma rows
// of `width` bytes are written.
void yuv444_to_yuv420_neon(const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr,
                           uint32_t width, uint32_t height, uint32_t sY, uint32_t sCb,
                           uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dSY,
                           uint32_t dSC);

}  // namespace mira
