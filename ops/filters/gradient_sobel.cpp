#include "api/feature_common.h"
#include "gpu/src/inc/param_utils.h"
#include "mira/mira_kernels.h"
#include "ops/filters/gradient_sobel.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

inline int16_t* row16(int16_t* base, uint32_t stride, uint32_t y) {
    return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(base) +
                                      static_cast<uint64_t>(y) * stride);
}

// Weighted sum p + 2q + r of three byte vectors, in 16 bits.
inline uint16x8_t tap121(uint8x8_t p, uint8x8_t q, uint8x8_t r) {
    return vaddq_u16(vaddl_u8(p, r), vshll_n_u8(q, 1));
}

inline int16x8_t sub16(uint16x8_t a, uint16x8_t b) { return vreinterpretq_s16_u16(vsubq_u16(a, b)); }

// Eight Sobel outputs from the nine byte vectors around them: a above, c the
// row itself, b below; m one column left, 0 the column, p one column right.
inline void sobel8(uint8x8_t am, uint8x8_t a0, uint8x8_t ap, uint8x8_t cm, uint8x8_t cp,
                   uint8x8_t bm, uint8x8_t b0, uint8x8_t bp, int16_t* ox, int16_t* oy) {
    vst1q_s16(ox, sub16(tap121(ap, cp, bp), tap121(am, cm, bm)));
    vst1q_s16(oy, sub16(tap121(bm, b0, bp), tap121(am, a0, ap)));
}

inline int sobel_dx(const uint8_t* a, const uint8_t* c, const uint8_t* b, uint32_t x) {
    return (a[x + 1] + 2 * c[x + 1] + b[x + 1]) - (a[x - 1] + 2 * c[x - 1] + b[x - 1]);
}

inline int sobel_dy(const uint8_t* a, const uint8_t* b, uint32_t x) {
    return (b[x - 1] + 2 * b[x] + b[x + 1]) - (a[x - 1] + 2 * a[x] + a[x + 1]);
}

}  // namespace

void gradient_sobel_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                            uint32_t srcStride, int16_t* dx, uint32_t dxStride, int16_t* dy,
                            uint32_t dyStride) {
    if (width == 0 || height == 0) return;
    gradient_clear_frame(dx, width, height, dxStride);
    gradient_clear_frame(dy, width, height, dyStride);
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint8_t* a = src + static_cast<uint64_t>(y - 1) * srcStride;
        const uint8_t* c = a + srcStride;
        const uint8_t* b = c + srcStride;
        int16_t* ox = row16(dx, dxStride, y);
        int16_t* oy = row16(dy, dyStride, y);
        for_interior_blocks(
            width,
            [&](uint32_t x) {
                const uint8x16_t am = vld1q_u8(a + x - 1), a0 = vld1q_u8(a + x),
                                 ap = vld1q_u8(a + x + 1);
                const uint8x16_t cm = vld1q_u8(c + x - 1), cp = vld1q_u8(c + x + 1);
                const uint8x16_t bm = vld1q_u8(b + x - 1), b0 = vld1q_u8(b + x),
                                 bp = vld1q_u8(b + x + 1);
                sobel8(vget_low_u8(am), vget_low_u8(a0), vget_low_u8(ap), vget_low_u8(cm),
                       vget_low_u8(cp), vget_low_u8(bm), vget_low_u8(b0), vget_low_u8(bp),
                       ox + x, oy + x);
                sobel8(vget_high_u8(am), vget_high_u8(a0), vget_high_u8(ap), vget_high_u8(cm),
                       vget_high_u8(cp), vget_high_u8(bm), vget_high_u8(b0), vget_high_u8(bp),
                       ox + x + 8, oy + x + 8);
            },
            [&](uint32_t x) {
                sobel8(vld1_u8(a + x - 1), vld1_u8(a + x), vld1_u8(a + x + 1), vld1_u8(c + x - 1),
                       vld1_u8(c + x + 1), vld1_u8(b + x - 1), vld1_u8(b + x), vld1_u8(b + x + 1),
                       ox + x, oy + x);
            },
            [&](uint32_t x) {
                ox[x] = static_cast<int16_t>(sobel_dx(a, c, b, x));
                oy[x] = static_cast<int16_t>(sobel_dy(a, b, x));
            });
    }
}

void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                       int16_t* dx, int16_t* dy, uint32_t dstS) {
    gradient_sobel_u8_neon(src, w, h, s, dx, dstS, dy, dstS);
}

}  // namespace mira

uint32_t MIRA_IMAGE_GRADIENT_SOBEL_U8::run(MIRA_FEATURE_ARGS) {
    if (param == nullptr) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_OPENCL)
        return MIRA_IMAGE_GRADIENT_SOBEL_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_IMAGE_GRADIENT_SOBEL_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_IMAGE_GRADIENT_SOBEL_U8::MIRA_IMAGE_GRADIENT_SOBEL_U8_neon(MIRA_FEATURE_ARGS) {
    if (param == nullptr || !mira::gradient_args_ok(src, srcCount, dst, dstCount))
        return MIRA_ERR_ARG;
    mira::gradient_sobel_u8_neon(src->data, src->width, src->height, src->stride,
                                 reinterpret_cast<int16_t*>(dst[0].data), dst[0].stride,
                                 reinterpret_cast<int16_t*>(dst[1].data), dst[1].stride);
    return MIRA_OK;
}

uint32_t MIRA_IMAGE_GRADIENT_SOBEL_U8::MIRA_IMAGE_GRADIENT_SOBEL_U8_opencl(MIRA_FEATURE_ARGS) {
    if (param == nullptr || !mira::gradient_args_ok(src, srcCount, dst, dstCount))
        return MIRA_ERR_ARG;
    mira::gradient_opencl(src, dst, MIRA_API_IMAGE_GRADIENT_SOBEL_U8,
                          "mira_fcvImageGradientSobelPlanars16_v3_func",
                          mira::gradient_sobel_u8_neon);
    return MIRA_OK;
}
