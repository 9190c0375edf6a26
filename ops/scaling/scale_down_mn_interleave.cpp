#include "ops/scaling/scale_down_mn_interleave.h"

#include "mira/mira_features.h"
#include "ops/scaling/scale_down_mn_quotient.h"
#include "ops/scaling/scale_mn_common.h"
#include "param_utils.h"

namespace mira {

uint32_t scale_down_mn_interleave_u8_cpu(const MIRA_Feature_Buf& src,
                                         const MIRA_Feature_Buf& dst) {
    if (dst.width < 2 || dst.height == 0) return MIRA_OK;
    return scaledown_mn(src.data, src.width, src.height, src.stride, dst.data, dst.width,
                        dst.height, dst.stride, 2)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

uint32_t scale_down_mn_interleave_u8_twin(const MIRA_Feature_Buf& src,
                                          const MIRA_Feature_Buf& dst) {
    if (dst.width < 2 || dst.height == 0 || src.width < 2 || src.height == 0) return MIRA_OK;
    return scaledown_mn_quotient(src.data, src.width, src.height, src.stride, dst.data,
                                 dst.width, dst.height, dst.stride, 2)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

}  // namespace mira

namespace {

bool args_ok(MIRA_FEATURE_ARGS) {
    return src != nullptr && srcCount != 0 && dst != nullptr && dstCount != 0 &&
           param != nullptr && mira::mn_plane_ok(src[0]) && mira::mn_plane_ok(dst[0]);
}

}  // namespace

uint32_t MIRA_SCALEDOWN_MNINTERLEAVE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALEDOWN_MNINTERLEAVE_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_SCALEDOWN_MNINTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_SCALEDOWN_MNINTERLEAVE_U8::MIRA_SCALEDOWN_MNINTERLEAVE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    return mira::scale_down_mn_interleave_u8_cpu(src[0], dst[0]);
}

// The kernel averages each channel over a box of the integer ratio at the
// truncated float position and rounds the float mean. A GPU request gives
// those bytes wherever it runs: without a device, or when a GPU step fails,
// the kernel's CPU twin computes them.
uint32_t MIRA_SCALEDOWN_MNINTERLEAVE_U8::MIRA_SCALEDOWN_MNINTERLEAVE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (dst[0].width < 2 || dst[0].height == 0 || src[0].width < 2 || src[0].height == 0)
        return mira::scale_down_mn_interleave_u8_cpu(src[0], dst[0]);
    if (!zor_opencl_usable() ||
        !mira::scaledown_mn_gpu(src[0], dst[0], MIRA_API_SCALEDOWN_MNINTERLEAVE_U8,
                                "mira_fcvScaleDownMNInterleaveu8_func"))
        return mira::scale_down_mn_interleave_u8_twin(src[0], dst[0]);
    return MIRA_OK;
}
