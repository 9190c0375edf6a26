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
        // 64 bytes (32 pairs) per step in one four-vector load and store, all
        // loaded before any is stored (so that a swap in place reads each
        // byte before it is overwritten). Pointers and a count, not an
        // index: each step is its load, four swaps, its store and three
        // instructions of loop.
        const uint8_t* p = in;
        uint8_t* o = out;
        for (uint64_t n = bytes / 64; n != 0; --n, p += 64, o += 64) {
            prefetch_source(p + kPrefetchAhead);
            uint8x16x4_t v = load_u8x4(p);
            for (int k = 0; k < 4; ++k) v.val[k] = vrev16q_u8(v.val[k]);
            store_u8x4(o, v);
        }
        uint64_t x = bytes & ~uint64_t(63);
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
