#include "ops/colour/yuv444_to_yuv420.h"

#include <cstring>

#include "mira/mira_kernels.h"
#include "ops/colour/copy_plane.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

// 16 output bytes from 16 bytes of Cb and of Cr: (Cb0, Cr0, Cb2, Cr2, ...).
// As 16-bit lanes (little-endian) the low byte of each Cb lane is the even
// sample, and the even Cr sample shifted up lands in the high byte.
inline uint8x16_t pick_pairs(const uint8_t* cb, const uint8_t* cr) {
    const uint16x8_t b = vreinterpretq_u16_u8(vld1q_u8(cb));
    const uint16x8_t r = vreinterpretq_u16_u8(vld1q_u8(cr));
    return vreinterpretq_u8_u16(vorrq_u16(vandq_u16(b, vdupq_n_u16(0x00FF)), vshlq_n_u16(r, 8)));
}

void subsample_row(const uint8_t* cb, const uint8_t* cr, uint8_t* out, uint32_t w) {
    uint32_t x = 0;
    for (; x + 32 <= w; x += 32) {
        vst1q_u8(out + x, pick_pairs(cb + x, cr + x));
        vst1q_u8(out + x + 16, pick_pairs(cb + x + 16, cr + x + 16));
    }
    if (x + 16 <= w) {
        vst1q_u8(out + x, pick_pairs(cb + x, cr + x));
        x += 16;
    }
    for (; x < w; ++x) out[x] = (x & 1) ? cr[x - 1] : cb[x];
}

}  // namespace

void yuv444_to_yuv420_neon(const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr,
                           uint32_t width, uint32_t height, uint32_t sY, uint32_t sCb,
                           uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dSY,
                           uint32_t dSC) {
    copy_plane(srcY, (int)sY, dstY, (int)dSY, (int)width, (int)height);
    const uint32_t rows = height >> 1;
    for (uint32_t r = 0; r < rows; ++r)
        subsample_row(srcCb + (uint64_t)(2 * r) * sCb, srcCr + (uint64_t)(2 * r) * sCr,
                      dstC + (uint64_t)r * dSC, width);
}

void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(const uint8_t* srcY, const uint8_t* srcCb,
                                                    const uint8_t* srcCr, uint32_t w, uint32_t h,
                                                    uint32_t sY, uint32_t sCb, uint32_t sCr,
                                                    uint8_t* dstY, uint8_t* dstC, uint32_t dstSY,
                                                    uint32_t dstSC) {
    yuv444_to_yuv420_neon(srcY, srcCb, srcCr, w, h, sY, sCb, sCr, dstY, dstC, dstSY, dstSC);
}

}  // namespace mira
