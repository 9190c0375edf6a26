#include "ops/colour/yuv444_to_yuv420.h"

#include <cstring>

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/colour/copy_plane.h"
#include "ops/mira_neon.h"
#include "param_utils.h"

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

namespace {

bool args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* param) {
    return param != nullptr && mira::planes_present(src, srcCount, 3) &&
           mira::planes_present(dst, dstCount, 2);
}

}  // namespace

uint32_t MIRA_YUV444_TO_YUV420::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_YUV444_TO_YUV420_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_YUV444_TO_YUV420_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_YUV444_TO_YUV420::MIRA_YUV444_TO_YUV420_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::yuv444_to_yuv420_neon(src[0].data, src[1].data, src[2].data, src[0].width,
                                src[0].height, src[0].stride, src[1].stride, src[2].stride,
                                dst[0].data, dst[1].data, dst[0].stride, dst[1].stride);
    return MIRA_OK;
}

uint32_t MIRA_YUV444_TO_YUV420::MIRA_YUV444_TO_YUV420_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable()) return MIRA_YUV444_TO_YUV420_neon(src, srcCount, dst, dstCount, param);
    const uint32_t w = src[0].width, h = src[0].height;
    // The GPU runtime moves semi-planar chroma rows as whole pairs, so the
    // kernel takes the even part of the width; a lone last column (the Cb of
    // an odd width) is filled in here.
    const uint32_t pairsW = w & ~1u;
    if (pairsW != 0 && h >= 2 &&
        !zor_run_yuv_yuv(zor_yuv444p_info(src[0], src[1], src[2], pairsW, h),
                         zor_yuv420sp_info(dst[0], dst[1], pairsW, h), MIRA_API_YUV444_TO_YUV420,
                         "mira_fcvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8_func"))
        return MIRA_YUV444_TO_YUV420_neon(src, srcCount, dst, dstCount, param);
    if (w & 1)
        for (uint32_t r = 0; r < h / 2; ++r)
            mira::row_ptr(dst[1], r)[w - 1] = mira::row_ptr(src[1], 2 * r)[w - 1];
    // The luma plane is not part of the kernel: copied here row by row.
    for (uint32_t y = 0; y < h; ++y)
        std::memmove(mira::row_ptr(dst[0], y), mira::row_ptr(src[0], y), w);
    return MIRA_OK;
}
