#include "ops/geometry/rotate_interleaved.h"

#include "mira/mira_kernels.h"
#include "ops/geometry/quarter_turns.h"
#include "ops/geometry/rotate.h"

namespace mira {

void rotate_interleaved_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                                uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                                int rotation) {
    quarter_turns::rotate<2>(src, width, height, srcStride, dst, dstStride, rotation);
}

void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                 uint8_t* dst, uint32_t dstS, int rotation) {
    rotate_interleaved_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_ImageInterleavedu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                       uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_90<2>(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_180<2>(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_270<2>(src, w, h, s, dst, dstS);
}

}  // namespace mira
