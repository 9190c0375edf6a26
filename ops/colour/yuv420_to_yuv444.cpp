#include "ops/colour/yuv420_to_yuv444.h"

#include <cstring>

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/colour/copy_plane.h"
#include "ops/mira_neon.h"
#include "param_utils.h"

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

namespace {

bool args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* param) {
    return param != nullptr && mira::planes_present(src, srcCount, 2) &&
           mira::planes_present(dst, dstCount, 3);
}

}  // namespace

uint32_t MIRA_YUV420_TO_YUV444::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_YUV420_TO_YUV444_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_YUV420_TO_YUV444_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_YUV420_TO_YUV444::MIRA_YUV420_TO_YUV444_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::yuv420_to_yuv444_neon(src[0].data, src[1].data, src[0].width, src[0].height,
                                src[0].stride, src[1].stride, dst[0].data, dst[1].data,
                                dst[2].data, dst[0].stride, dst[1].stride, dst[2].stride);
    return MIRA_OK;
}

uint32_t MIRA_YUV420_TO_YUV444::MIRA_YUV420_TO_YUV444_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable()) return MIRA_YUV420_TO_YUV444_neon(src, srcCount, dst, dstCount, param);
    const uint32_t w = src[0].width, h = src[0].height;
    // The GPU runtime moves semi-planar chroma rows as whole pairs, so the
    // kernel takes the even part of the width; the Cb of a lone last column
    // (an odd width has no Cr sample for it) is filled in here.
    const uint32_t pairsW = w & ~1u;
    if (pairsW != 0 && h >= 2 &&
        !zor_run_yuv_yuv(zor_yuv420sp_info(src[0], src[1], pairsW, h),
                         zor_yuv444p_info(dst[0], dst[1], dst[2], pairsW, h),
                         MIRA_API_YUV420_TO_YUV444,
                         "mira_fcvColorYCbCr420PseudoPlanarToYCbCr444Planaru8_func"))
        return MIRA_YUV420_TO_YUV444_neon(src, srcCount, dst, dstCount, param);
    if (w & 1)
        for (uint32_t r = 0; r < h / 2; ++r) {
            const uint8_t cb = mira::row_ptr(src[1], r)[w - 1];
            mira::row_ptr(dst[1], 2 * r)[w - 1] = cb;
            mira::row_ptr(dst[1], 2 * r + 1)[w - 1] = cb;
        }
    for (uint32_t y = 0; y < h; ++y)
        std::memmove(mira::row_ptr(dst[0], y), mira::row_ptr(src[0], y), w);
    return MIRA_OK;
}
