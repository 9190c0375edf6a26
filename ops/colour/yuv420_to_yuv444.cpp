#include "ops/colour/yuv420_to_yuv444.h"

#include <cstring>

#include "mira/mira_kernels.h"
#include "ops/colour/copy_plane.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

void upsample_row(const uint8_t* c, uint8_t* cb0, uint8_t* cb1, uint8_t* cr0, uint8_t* cr1,
                  uint32_t w) {
    static const uint8_t kCb[16] = {0, 0, 2, 2, 4, 4, 6, 6, 8, 8, 10, 10, 12, 12, 14, 14};
    static const uint8_t kCr[16] = {1, 1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11, 13, 13, 15, 15};
    const uint8x16_t ib = vld1q_u8(kCb), ir = vld1q_u8(kCr);
    uint32_t x = 0;
    // 16 chroma bytes (8 pairs) become 16 bytes in each of the four rows.
    for (; x + 16 <= w; x += 16) {
        const uint8x16_t v = vld1q_u8(c + x);
        const uint8x16_t b = vqtbl1q_u8(v, ib), r = vqtbl1q_u8(v, ir);
        vst1q_u8(cb0 + x, b);
        vst1q_u8(cb1 + x, b);
        vst1q_u8(cr0 + x, r);
        vst1q_u8(cr1 + x, r);
    }
    for (; x < w; ++x) {
        const uint32_t k = x & ~1u;
        cb0[x] = cb1[x] = c[k];
        if (k + 1 < w) cr0[x] = cr1[x] = c[k + 1];
    }
}

}  // namespace

void yuv420_to_yuv444_neon(const uint8_t* srcY, const uint8_t* srcC, uint32_t width,
                           uint32_t height, uint32_t sY, uint32_t sC, uint8_t* dstY,
                           uint8_t* dstCb, uint8_t* dstCr, uint32_t dSY, uint32_t dSCb,
                           uint32_t dSCr) {
    copy_plane(srcY, (int)sY, dstY, (int)dSY, (int)width, (int)height);
    const uint32_t rows = height >> 1;
    for (uint32_t r = 0; r < rows; ++r) {
        uint8_t* cb = dstCb + (uint64_t)(2 * r) * dSCb;
        uint8_t* cr = dstCr + (uint64_t)(2 * r) * dSCr;
        upsample_row(srcC + (uint64_t)r * sC, cb, cb + dSCb, cr, cr + dSCr, width);
    }
}

void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(const uint8_t* srcY, const uint8_t* srcC,
                                                    uint32_t w, uint32_t h, uint32_t sY,
                                                    uint32_t sC, uint8_t* dstY, uint8_t* dstCb,
                                                    uint8_t* dstCr, uint32_t dstSY,
                                                    uint32_t dstSCb, uint32_t dstSCr) {
    yuv420_to_yuv444_neon(srcY, srcC, w, h, sY, sC, dstY, dstCb, dstCr, dstSY, dstSCb, dstSCr);
}

}  // namespace mira
