#include "ops/colour/cbcr_swap.h"

#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"

namespace mira {

void cbcr_swap_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride) {
    uint64_t bytes = 2ull * width;
    // Rows without padding on either side run as one.
    if (srcStride == bytes && dstStride == bytes) {
        bytes *= height;
        height = height != 0 ? 1 : 0;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = src + (uint64_t)y * srcStride;
        uint8_t* out = dst + (uint64_t)y * dstStride;
        uint64_t x = 0;
        // 64 bytes (32 pairs) per step, all loaded before any is stored (so
        // that a swap in place reads each byte before it is overwritten).
        for (; x + 64 <= bytes; x += 64) {
            prefetch_source(in + x + kPrefetchAhead);
            const uint8x16_t a = vld1q_u8(in + x), b = vld1q_u8(in + x + 16);
            const uint8x16_t c = vld1q_u8(in + x + 32), d = vld1q_u8(in + x + 48);
            vst1q_u8(out + x, vrev16q_u8(a));
            vst1q_u8(out + x + 16, vrev16q_u8(b));
            vst1q_u8(out + x + 32, vrev16q_u8(c));
            vst1q_u8(out + x + 48, vrev16q_u8(d));
        }
        for (; x + 16 <= bytes; x += 16) vst1q_u8(out + x, vrev16q_u8(vld1q_u8(in + x)));
        for (; x < bytes; x += 2) {
            const uint8_t c0 = in[x], c1 = in[x + 1];
            out[x] = c1;
            out[x + 1] = c0;
        }
    }
}

void ncvColorCbCrSwapu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                        uint32_t dstS) {
    cbcr_swap_neon(src, w, h, s, dst, dstS);
}

}  // namespace mira
