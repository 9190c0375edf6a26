#include "ops/scaling/upsample_2d_cbcr.h"

#include <initializer_list>

#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "mira/mira_features.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "param_utils.h"

namespace mira {

void upsample_2d_cbcr_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    if (src.width < 2 || src.height == 0 || dst.width < 2 || dst.height == 0) return;
    for (PlaneView v : {PlaneView::Cb, PlaneView::Cr}) {
        PipelineImage in, out;
        halide_buffer_t* inBuf = pipeline_image(in, src, 3, v);
        halide_buffer_t* outBuf = pipeline_image(out, dst, 3, v);
        (void)MIRA_IMAGE_UP_BILINEAR_U8_HALIDE(inBuf, 2.0f, 0, 0, outBuf);
    }
}

namespace {

bool args_ok(MIRA_FEATURE_ARGS) {
    (void)srcCount;
    (void)dstCount;
    return src && dst && param && plane_usable(src[0]) && plane_usable(dst[0]);
}

}  // namespace
}  // namespace mira

uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::run(MIRA_FEATURE_ARGS) {
    if (param && param->mode == MIRA_MODE_OPENCL)
        return MIRA_IMAGE_UP_SAMPLE_2D_CBCR_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(MIRA_FEATURE_ARGS) {
    if (!mira::args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::upsample_2d_cbcr_cpu(src[0], dst[0]);
    return MIRA_OK;
}

uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::MIRA_IMAGE_UP_SAMPLE_2D_CBCR_opencl(MIRA_FEATURE_ARGS) {
    if (!mira::args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable())
        return MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(src, srcCount, dst, dstCount, param);
    if (src[0].width < 2 || src[0].height == 0 || dst[0].width < 2 || dst[0].height == 0)
        return MIRA_OK;
    ZOR_U8Info in = zor_u8_info(src[0]), out = zor_u8_info(dst[0]);
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR,
                                                  "mira_fcvUpsample2DInterleavedu8_func");
    kernel_config cfg{};
    cfg.stepX = 8;
    cfg.stepY = 2;
    cfg.stepZ = 1;
    cfg.timesX = cfg.timesY = cfg.timesZ = 1;
    const int32_t sw = int32_t(src[0].width), sh = int32_t(src[0].height);
    const int32_t dw = int32_t(dst[0].width), dh = int32_t(dst[0].height);
    cfg.param_float_1 = float(sw) / float(dw);
    cfg.param_float_2 = float(sh) / float(dh);
    cfg.param_int_1 = sw / dw;
    cfg.param_int_2 = sh / dh;
    (void)zor_cv_process_u8_u8(ins, 1, outs, 1, &reserve, &cfg);
    return MIRA_OK;
}
