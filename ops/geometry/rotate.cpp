#include "ops/geometry/rotate.h"

#include <cmath>

#include "mira/mira_kernels.h"
#include "ops/geometry/quarter_turns.h"

namespace mira {

void rotate_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride, int rotation) {
    quarter_turns::rotate<1>(src, width, height, srcStride, dst, dstStride, rotation);
}

void rotate_pixels_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                        uint8_t* dst, uint32_t dstStride, uint32_t pixelBytes, int rotation) {
    switch (pixelBytes) {
        case 1: quarter_turns::rotate<1>(src, width, height, srcStride, dst, dstStride, rotation); break;
        case 2: quarter_turns::rotate<2>(src, width, height, srcStride, dst, dstStride, rotation); break;
        case 3: quarter_turns::rotate<3>(src, width, height, srcStride, dst, dstStride, rotation); break;
        case 4: quarter_turns::rotate<4>(src, width, height, srcStride, dst, dstStride, rotation); break;
        default: break;
    }
}

double rotation_angle(int rotation) {
    // Angle x 2 pi for 90, 180 and 270 degrees, divided by 360.
    static const double kTurns[3] = {565.4866776461628, 1130.9733552923256, 1696.4600329384882};
    return rotation >= 1 && rotation <= 3 ? kTurns[rotation - 1] / 360.0 : 0.0;
}

void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                      uint32_t dstS, int rotation) {
    rotate_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_Imageu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                            uint32_t dstS) {
    quarter_turns::rotate_90<1>(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_180<1>(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_270<1>(src, w, h, s, dst, dstS);
}

}  // namespace mira
