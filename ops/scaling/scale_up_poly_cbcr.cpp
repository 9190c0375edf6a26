#include "ops/scaling/scale_up_poly_cbcr.h"

#include "mira/mira_features.h"

uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::run(MIRA_FEATURE_ARGS) {
    if (param && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALE_UP_POLY_CBCR_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_SCALE_UP_POLY_CBCR_U8_neon(src, srcCount, dst, dstCount, param);
}

// Widths count bytes (two per pair); the factor is the ratio of the heights.
uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::MIRA_SCALE_UP_POLY_CBCR_U8_neon(MIRA_FEATURE_ARGS) {
    if (!mira::poly_args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (src[0].height == 0) return MIRA_OK;
    const float factor = float(dst[0].height) / float(src[0].height);
    (void)mira::scale_up_lanczos(src[0], dst[0], factor, mira::PlaneView::Cb);
    (void)mira::scale_up_lanczos(src[0], dst[0], factor, mira::PlaneView::Cr);
    return MIRA_OK;
}

// The GPU kernel of this feature is empty, so mode 1 computes on the CPU.
uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::MIRA_SCALE_UP_POLY_CBCR_U8_opencl(MIRA_FEATURE_ARGS) {
    return MIRA_SCALE_UP_POLY_CBCR_U8_neon(src, srcCount, dst, dstCount, param);
}
