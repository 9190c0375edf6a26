#include "ops/geometry/transpose.h"

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/geometry/tile_transpose.h"
#include "param_utils.h"

namespace mira {

// Destination row c is source column c: the tile transpose with both steps
// positive.
void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride) {
    tile_transpose::transpose_tiles<1>(src, srcStride, dst, dstStride, height, width);
}

void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                    uint32_t dstS) {
    transpose_u8_neon(src, w, h, s, dst, dstS);
}

}  // namespace mira

uint32_t MIRA_TRANSPOSE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_TRANSPOSE_U8_opencl(src, srcCount, dst, dstCount, param);
    if (src == nullptr || srcCount > 1 || dst == nullptr || dstCount == 0) return MIRA_ERR_ARG;
    if (src->data == nullptr || dst->data == nullptr) return MIRA_ERR_ARG;
    mira::transpose_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                            dst->stride);
    return MIRA_OK;
}

uint32_t MIRA_TRANSPOSE_U8::MIRA_TRANSPOSE_U8_neon(MIRA_FEATURE_ARGS) {
    if (src == nullptr || srcCount > 1 || dst == nullptr || dstCount == 0 || param == nullptr)
        return MIRA_ERR_ARG;
    if (src->data == nullptr || dst->data == nullptr) return MIRA_ERR_ARG;
    mira::transpose_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                            dst->stride);
    return MIRA_OK;
}

// The GPU method: one kernel launch over the destination through the GPU
// runtime's u8 entry. Without a usable OpenCL device the CPU method runs.
uint32_t MIRA_TRANSPOSE_U8::MIRA_TRANSPOSE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (src == nullptr || srcCount == 0 || srcCount > 1 || dst == nullptr || dstCount == 0 ||
        param == nullptr)
        return MIRA_ERR_ARG;
    if (src->data == nullptr || dst->data == nullptr) return MIRA_ERR_ARG;
    if (src->width == 0 || src->height == 0) return MIRA_OK;
    if (src->stride < src->width || dst->stride < src->height) return MIRA_ERR_ARG;
    if (!zor_opencl_usable()) return MIRA_TRANSPOSE_U8_neon(src, srcCount, dst, dstCount, param);
    ZOR_U8Info s = zor_u8_info(*src);
    ZOR_U8Info d = zor_u8_info(*dst);
    // The destination is the source's height wide and its width high,
    // whatever the descriptor's own width and height say.
    d.width = src->height;
    d.height = src->width;
    if (s.strideH < src->height) s.strideH = src->height, s.size = src->stride * src->height;
    if (d.strideH < src->width) d.strideH = src->width, d.size = dst->stride * src->width;
    ZOR_ReserveParam_Opencl reserve = zor_reserve(MIRA_API_TRANSPOSE_U8, "mira_fcvTransposeu8_func");
    reserve.dstWhole = 1;  // every destination pixel is written
    ZOR_U8Info* sp = &s;
    ZOR_U8Info* dp = &d;
    if (!zor_gpu_u8_u8(&sp, 1, &dp, 1, &reserve, nullptr))
        return MIRA_TRANSPOSE_U8_neon(src, srcCount, dst, dstCount, param);
    return MIRA_OK;
}
