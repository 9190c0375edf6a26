#include "ops/colour/interleave.h"

#include <cstring>

#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"

namespace mira {

void interleave_neon(const uint8_t* src0, const uint8_t* src1, uint32_t width, uint32_t height,
                     uint32_t s0, uint32_t s1, uint8_t* dst, uint32_t dstStride) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* a = src0 + (uint64_t)y * s0;
        const uint8_t* b = src1 + (uint64_t)y * s1;
        uint8_t* out = dst + (uint64_t)y * dstStride;
        // 64 pairs per step, written by four interleaving stores (st2 on
        // AArch64; the zip and two stores it stands for elsewhere), each
        // from one vector of each source. Pointers and a count, not an
        // index, so the step carries only a few instructions of loop.
        const uint8_t *pa = a, *pb = b;
        uint8_t* o = out;
        for (uint32_t n = width / 64; n != 0; --n, pa += 64, pb += 64) {
            prefetch_source(pa + kPrefetchAhead);
            prefetch_source(pb + kPrefetchAhead);
            for (int k = 0; k < 4; ++k, o += 32) {
                uint8x16x2_t pair;
                pair.val[0] = vld1q_u8(pa + 16 * k);
                pair.val[1] = vld1q_u8(pb + 16 * k);
                vst2q_u8(o, pair);
            }
        }
        uint32_t x = width & ~63u;
        for (; x + 32 <= width; x += 32) {
            const uint8x16_t a0 = vld1q_u8(a + x), a1 = vld1q_u8(a + x + 16);
            const uint8x16_t b0 = vld1q_u8(b + x), b1 = vld1q_u8(b + x + 16);
            const uint8x16x2_t z0 = vzipq_u8(a0, b0), z1 = vzipq_u8(a1, b1);
            vst1q_u8(out + 2 * x, z0.val[0]);
            vst1q_u8(out + 2 * x + 16, z0.val[1]);
            vst1q_u8(out + 2 * x + 32, z1.val[0]);
            vst1q_u8(out + 2 * x + 48, z1.val[1]);
        }
        for (; x + 16 <= width; x += 16) {
            const uint8x16x2_t z = vzipq_u8(vld1q_u8(a + x), vld1q_u8(b + x));
            vst1q_u8(out + 2 * x, z.val[0]);
            vst1q_u8(out + 2 * x + 16, z.val[1]);
        }
        if (x < width) {
            // The last 1 to 15 bytes of each source: staged through 16-byte
            // buffers and zipped by the same vector step; only existing bytes move.
            const uint32_t n = width - x;
            uint8_t la[16] = {}, lb[16] = {}, lo[32];
            std::memcpy(la, a + x, n);
            std::memcpy(lb, b + x, n);
            const uint8x16x2_t z = vzipq_u8(vld1q_u8(la), vld1q_u8(lb));
            vst1q_u8(lo, z.val[0]);
            vst1q_u8(lo + 16, z.val[1]);
            std::memcpy(out + 2 * x, lo, 2 * n);
        }
    }
}

void deinterleave_neon(const uint8_t* src, uint32_t srcStride, uint32_t width, uint32_t height,
                       uint8_t* dst0, uint32_t s0, uint8_t* dst1, uint32_t s1) {
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = src + (uint64_t)y * srcStride;
        uint8_t* a = dst0 + (uint64_t)y * s0;
        uint8_t* b = dst1 + (uint64_t)y * s1;
        uint32_t x = 0;
        for (; x + 32 <= width; x += 32) {
            const uint8x16x2_t p0 = vld2q_u8(in + 2 * x), p1 = vld2q_u8(in + 2 * x + 32);
            vst1q_u8(a + x, p0.val[0]);
            vst1q_u8(a + x + 16, p1.val[0]);
            vst1q_u8(b + x, p0.val[1]);
            vst1q_u8(b + x + 16, p1.val[1]);
        }
        for (; x + 16 <= width; x += 16) {
            const uint8x16x2_t p = vld2q_u8(in + 2 * x);
            vst1q_u8(a + x, p.val[0]);
            vst1q_u8(b + x, p.val[1]);
        }
        if (x < width) {
            // The last 1 to 15 pairs, staged like the interleave's.
            const uint32_t n = width - x;
            uint8_t li[32] = {}, la[16], lb[16];
            std::memcpy(li, in + 2 * x, 2 * n);
            const uint8x16x2_t p = vld2q_u8(li);
            vst1q_u8(la, p.val[0]);
            vst1q_u8(lb, p.val[1]);
            std::memcpy(a + x, la, n);
            std::memcpy(b + x, lb, n);
        }
    }
}

void ncvInterleaveu8(const uint8_t* src0, const uint8_t* src1, uint32_t w, uint32_t h,
                     uint32_t s0, uint32_t s1, uint8_t* dst, uint32_t dstS) {
    interleave_neon(src0, src1, w, h, s0, s1, dst, dstS);
}

}  // namespace mira
