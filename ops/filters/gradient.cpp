#include "ops/filters/gradient.h"

#include <cstring>

#include "api/feature_common.h"
#include "gpu/src/inc/param_utils.h"
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

void gradient_opencl(const MIRA_Feature_Buf* src, MIRA_Feature_Buf* dst, uint32_t featureId,
                     const char* kernel,
                     void (*cpu)(const uint8_t*, uint32_t, uint32_t, uint32_t, int16_t*, uint32_t,
                                 int16_t*, uint32_t)) {
    const uint32_t w = src->width, h = src->height;
    if (w == 0 || h == 0) return;
    int16_t* dx = reinterpret_cast<int16_t*>(dst[0].data);
    int16_t* dy = reinterpret_cast<int16_t*>(dst[1].data);
    if (!zor_opencl_usable()) {
        cpu(src->data, w, h, src->stride, dx, dst[0].stride, dy, dst[1].stride);
        return;
    }
    ZOR_U8Info in = zor_u8_info(*src);
    ZOR_U8Info out[2] = {zor_u8_info(dst[0]), zor_u8_info(dst[1])};
    for (auto& o : out) {
        o.width = w;
        o.height = h;
        o.elemSize = 2;
        o.spare = 102;
    }
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[2] = {&out[0], &out[1]};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(featureId, kernel);
    if (!zor_gpu_u8_u8(ins, 1, outs, 2, &reserve, nullptr)) {
        cpu(src->data, w, h, src->stride, dx, dst[0].stride, dy, dst[1].stride);
        return;
    }
    gradient_clear_frame(dx, w, h, dst[0].stride);
    gradient_clear_frame(dy, w, h, dst[1].stride);
}

void ncvImageGradientPlanars16(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                               int16_t* dx, int16_t* dy, uint32_t dstS) {
    gradient_u8_neon(src, w, h, s, dx, dstS, dy, dstS);
}

}  // namespace mira

uint32_t MIRA_IMAGE_GRADIENT_U8::run(MIRA_FEATURE_ARGS) {
    if (param == nullptr) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_OPENCL)
        return MIRA_IMAGE_GRADIENT_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_IMAGE_GRADIENT_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_IMAGE_GRADIENT_U8::MIRA_IMAGE_GRADIENT_U8_neon(MIRA_FEATURE_ARGS) {
    if (param == nullptr || !mira::gradient_args_ok(src, srcCount, dst, dstCount))
        return MIRA_ERR_ARG;
    mira::gradient_u8_neon(src->data, src->width, src->height, src->stride,
                           reinterpret_cast<int16_t*>(dst[0].data), dst[0].stride,
                           reinterpret_cast<int16_t*>(dst[1].data), dst[1].stride);
    return MIRA_OK;
}

uint32_t MIRA_IMAGE_GRADIENT_U8::MIRA_IMAGE_GRADIENT_U8_opencl(MIRA_FEATURE_ARGS) {
    if (param == nullptr || !mira::gradient_args_ok(src, srcCount, dst, dstCount))
        return MIRA_ERR_ARG;
    mira::gradient_opencl(src, dst, MIRA_API_IMAGE_GRADIENT_U8,
                          "mira_fcvImageGradientPlanars16_v2_func", mira::gradient_u8_neon);
    return MIRA_OK;
}
