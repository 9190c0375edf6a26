#include "ops/geometry/transpose.h"

#include "mira/mira_kernels.h"
#include "ops/geometry/tile_transpose.h"
#include "ops/mira_neon.h"

namespace mira {

// Destination row c is source column c: the tile transpose with both steps
// positive.
void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride) {
    tile_transpose::transpose_tiles<1>(src, srcStride, dst, dstStride, height, width);
}

void transpose_pixels_neon(const uint8_t* src, uint32_t width, uint32_t height,
                           uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                           uint32_t pixelBytes) {
    switch (pixelBytes) {
        case 1: tile_transpose::transpose_tiles<1>(src, srcStride, dst, dstStride, height, width); break;
        case 2: tile_transpose::transpose_tiles<2>(src, srcStride, dst, dstStride, height, width); break;
        case 3: tile_transpose::transpose_tiles<3>(src, srcStride, dst, dstStride, height, width); break;
        case 4: tile_transpose::transpose_tiles<4>(src, srcStride, dst, dstStride, height, width); break;
        default: break;
    }
}

void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                    uint32_t dstS) {
    transpose_u8_neon(src, w, h, s, dst, dstS);
}

}  // namespace mira
