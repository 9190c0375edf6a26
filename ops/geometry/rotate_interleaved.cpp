#include "ops/geometry/rotate_interleaved.h"

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/geometry/quarter_turns.h"
#include "ops/geometry/rotate.h"
#include "param_utils.h"

namespace mira {

void rotate_interleaved_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                                uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                                int rotation) {
    quarter_turns::rotate<2>(src, width, height, srcStride, dst, dstStride, rotation);
}

void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                 uint8_t* dst, uint32_t dstS, int rotation) {
    rotate_interleaved_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_ImageInterleavedu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                       uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_90<2>(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_180<2>(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_270<2>(src, w, h, s, dst, dstS);
}

}  // namespace mira

namespace {

bool args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* param) {
    return src != nullptr && dst != nullptr && param != nullptr && srcCount != 0 &&
           dstCount != 0 && src->data != nullptr && dst->data != nullptr;
}

}  // namespace

uint32_t MIRA_ROTATE_INTERLEAVE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_ROTATE_INTERLEAVE_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_ROTATE_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_ROTATE_INTERLEAVE_U8::MIRA_ROTATE_INTERLEAVE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::rotate_interleaved_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                                     dst->stride, param->arg);
    return MIRA_OK;
}

// The kernel works in bytes (its centres and its units of 4 destination bytes
// count 2 bytes per pixel), so the records describe each plane's row in
// bytes: 2 x width. Staging then moves exactly the bytes of each row, and the
// launch, rounded up over 4-byte units, covers every pixel.
uint32_t MIRA_ROTATE_INTERLEAVE_U8::MIRA_ROTATE_INTERLEAVE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable())
        return MIRA_ROTATE_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
    const int rotation = param->arg;
    if (rotation < 1 || rotation > 3) return MIRA_OK;  // unknown code: nothing is written
    if (src->width == 0 || src->height == 0) return MIRA_OK;

    if (!mira::rotate_opencl(*src, *dst, rotation, 2, MIRA_API_ROTATE_INTERLEAVE_U8,
                             "mira_fcvRotateImageInterleavedu8_func"))
        return MIRA_ROTATE_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
    return MIRA_OK;
}
