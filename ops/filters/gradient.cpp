#include "ops/filters/gradient.h"

#include <cstring>

#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

inline int16_t* row16(int16_t* base, uint32_t stride, uint32_t y) {
    return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(base) +
                                      static_cast<uint64_t>(y) * stride);
}

// a - b in 16-bit lanes, from bytes already widened.
inline int16x8_t diff16(uint16x8_t a, uint16x8_t b) { return vreinterpretq_s16_u16(vsubq_u16(a, b)); }

}  // namespace

void gradient_clear_frame(int16_t* plane, uint32_t width, uint32_t height, uint32_t stride) {
    if (width == 0 || height == 0) return;
    std::memset(row16(plane, stride, 0), 0, static_cast<size_t>(width) * 2);
    if (height > 1) std::memset(row16(plane, stride, height - 1), 0, static_cast<size_t>(width) * 2);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        int16_t* r = row16(plane, stride, y);
        r[0] = 0;
        r[width - 1] = 0;
    }
}

bool gradient_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                      uint8_t dstCount) {
    if (src == nullptr || srcCount == 0 || dst == nullptr || dstCount != 2) return false;
    if (src->width == 0 || src->height == 0) return true;  // nothing to read or write
    if (src->data == nullptr || dst[0].data == nullptr || dst[1].data == nullptr) return false;
    if (src->stride < src->width) return false;
    for (int i = 0; i < 2; ++i)
        if (dst[i].stride < 2ull * src->width) return false;
    return true;
}

void gradient_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                      int16_t* dx, uint32_t dxStride, int16_t* dy, uint32_t dyStride) {
    if (width == 0 || height == 0) return;
    gradient_clear_frame(dx, width, height, dxStride);
    gradient_clear_frame(dy, width, height, dyStride);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint8_t* above = src + static_cast<uint64_t>(y - 1) * srcStride;
        const uint8_t* cur = above + srcStride;
        const uint8_t* below = cur + srcStride;
        int16_t* ox = row16(dx, dxStride, y);
        int16_t* oy = row16(dy, dyStride, y);
        for_interior_blocks(
            width,
            [&](size_t x) {
                const uint8x16_t l = vld1q_u8(cur + x - 1), r = vld1q_u8(cur + x + 1);
                const uint8x16_t a = vld1q_u8(above + x), b = vld1q_u8(below + x);
                vst1q_s16(ox + x, diff16(widen_lo_u8(r), widen_lo_u8(l)));
                vst1q_s16(ox + x + 8, diff16(widen_hi_u8(r), widen_hi_u8(l)));
                vst1q_s16(oy + x, diff16(widen_lo_u8(b), widen_lo_u8(a)));
                vst1q_s16(oy + x + 8, diff16(widen_hi_u8(b), widen_hi_u8(a)));
            },
            [&](size_t x) {
                vst1q_s16(ox + x, diff16(load_widen_u8(cur + x + 1), load_widen_u8(cur + x - 1)));
                vst1q_s16(oy + x, diff16(load_widen_u8(below + x), load_widen_u8(above + x)));
            },
            [&](size_t x) {
                ox[x] = static_cast<int16_t>(cur[x + 1] - cur[x - 1]);
                oy[x] = static_cast<int16_t>(below[x] - above[x]);
            });
    }
}

void ncvImageGradientPlanars16(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                               int16_t* dx, int16_t* dy, uint32_t dstS) {
    gradient_u8_neon(src, w, h, s, dx, dstS, dy, dstS);
}

}  // namespace mira
