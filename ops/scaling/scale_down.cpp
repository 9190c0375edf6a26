#include "ops/scaling/scale_down.h"

#include <cstring>

#include "MIRA_SCALEDOWN_U8_HALIDE.h"
#include "param_utils.h"
#include "mira/mira_features.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "ops/scaling/scale_down_mn_quotient.h"

namespace mira {

ScaleDownFactors scale_down_factors(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    return {dst.width ? src.width / dst.width : 0u, dst.height ? src.height / dst.height : 0u};
}

int scale_down_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_image(in, src, 2);
    halide_buffer_t* outBuf = pipeline_image(out, dst, 2);
    const ScaleDownFactors f = scale_down_factors(src, dst);
    if (uint8_t(f.m) == 0 || uint8_t(f.n) == 0) {
        // An empty block (a source smaller than the destination, or a
        // factor that wraps to 0 in 8 bits): every block sum is 0.
        for (uint32_t y = 0; y < dst.height; ++y)
            std::memset(dst.data + uint64_t(y) * dst.stride, 0, dst.width);
        return 0;
    }
    const float scale = 1.0f / float(int32_t(f.m * f.n));
    return MIRA_SCALEDOWN_U8_HALIDE(inBuf, uint8_t(f.m), uint8_t(f.n), scale, outBuf);
}

namespace {

bool scale_down_args_ok(MIRA_FEATURE_ARGS) {
    return src && srcCount && dst && dstCount && param && plane_usable(src[0]) &&
           plane_usable(dst[0]);
}

}  // namespace
}  // namespace mira

uint32_t MIRA_SCALE_DOWN_U8::run(MIRA_FEATURE_ARGS) {
    if (param && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALE_DOWN_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_SCALE_DOWN_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_SCALE_DOWN_U8::MIRA_SCALE_DOWN_U8_neon(MIRA_FEATURE_ARGS) {
    if (!mira::scale_down_args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (dst[0].width == 0 || dst[0].height == 0) return MIRA_OK;
    (void)mira::scale_down_plane(src[0], dst[0]);
    return MIRA_OK;
}

namespace {

// The kernel's boxes on the CPU (the kernel and the M/N planar kernel share
// their arithmetic): the bytes of a GPU request without a usable device, or
// after a GPU step failed.
uint32_t scale_down_twin(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    return mira::scaledown_mn_quotient(src.data, src.width, src.height, src.stride, dst.data,
                                       dst.width, dst.height, dst.stride, 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

}  // namespace

// For whole-number ratios the kernel's boxes are the CPU method's blocks;
// otherwise it averages the block of the integer ratio at the truncated
// float position, and a GPU request gives those bytes wherever it runs.
uint32_t MIRA_SCALE_DOWN_U8::MIRA_SCALE_DOWN_U8_opencl(MIRA_FEATURE_ARGS) {
    if (!mira::scale_down_args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (dst[0].width == 0 || dst[0].height == 0) return MIRA_OK;
    if (!zor_opencl_usable()) return scale_down_twin(src[0], dst[0]);
    ZOR_U8Info in = zor_u8_info(src[0]), out = zor_u8_info(dst[0]);
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(MIRA_API_SCALE_DOWN_U8,
                                                  "mira_fcvScaleDownu8_v2_func");
    kernel_config cfg{};
    cfg.stepX = 8;
    cfg.stepY = 2;
    cfg.stepZ = 1;
    cfg.timesX = cfg.timesY = cfg.timesZ = 1;
    const int32_t sw = int32_t(src[0].width), sh = int32_t(src[0].height);
    const int32_t dw = int32_t(dst[0].width), dh = int32_t(dst[0].height);
    cfg.param_float_1 = float(sw) / float(dw);
    cfg.param_float_2 = float(sh) / float(dh);
    // The kernel takes its box size from the sizes it is given; the integer
    // parameters stay 0 so that every ratio shares one program build.
    cfg.param_int_1 = cfg.param_int_2 = 0;
    if (!zor_gpu_u8_u8(ins, 1, outs, 1, &reserve, &cfg)) return scale_down_twin(src[0], dst[0]);
    return MIRA_OK;
}
