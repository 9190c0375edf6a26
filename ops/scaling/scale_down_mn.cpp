#include "ops/scaling/scale_down_mn.h"

#include "mira/mira_features.h"
#include "ops/scaling/scale_down_mn_quotient.h"
#include "ops/scaling/scale_mn_common.h"
#include "param_utils.h"

namespace mira {

uint32_t scale_down_mn_u8_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    return scaledown_mn_quotient(src.data, src.width, src.height, src.stride, dst.data, dst.width,
                                 dst.height, dst.stride, 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

uint32_t scale_down_mn_u8_area(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    return scaledown_mn(src.data, src.width, src.height, src.stride, dst.data, dst.width,
                        dst.height, dst.stride, 1)
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

// Modes 0 and 1 give the kernel's boxes (its CPU twin is the CPU method);
// any other mode averages each destination pixel's whole area of the source
// (the box line), which the checked API offers as its CPU path.
uint32_t MIRA_SCALEDOWN_MN_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALEDOWN_MN_U8_opencl(src, srcCount, dst, dstCount, param);
    if (param != nullptr && param->mode != MIRA_MODE_CPU) {
        if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
        return mira::scale_down_mn_u8_area(src[0], dst[0]);
    }
    return MIRA_SCALEDOWN_MN_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_SCALEDOWN_MN_U8::MIRA_SCALEDOWN_MN_U8_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    return mira::scale_down_mn_u8_cpu(src[0], dst[0]);
}

// Without a device, or when a GPU step fails, the CPU method gives the same
// bytes: it is the kernel's twin.
uint32_t MIRA_SCALEDOWN_MN_U8::MIRA_SCALEDOWN_MN_U8_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable() || src[0].width == 0 || src[0].height == 0)
        return mira::scale_down_mn_u8_cpu(src[0], dst[0]);
    if (dst[0].width == 0 || dst[0].height == 0) return MIRA_OK;
    if (!mira::scaledown_mn_gpu(src[0], dst[0], MIRA_API_SCALEDOWN_MN_U8,
                                "mira_fcvScaleDownMNu8_func"))
        return mira::scale_down_mn_u8_cpu(src[0], dst[0]);
    return MIRA_OK;
}
