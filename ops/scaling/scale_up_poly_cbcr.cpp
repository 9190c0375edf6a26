#include "ops/scaling/scale_up_poly_cbcr.h"

#include "mira/mira_features.h"
#include "ops/scaling/scale_up_poly.h"

uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::run(MIRA_FEATURE_ARGS) {
    if (param && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALE_UP_POLY_CBCR_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_SCALE_UP_POLY_CBCR_U8_neon(src, srcCount, dst, dstCount, param);
}

// Widths count bytes (two per pair); the factor is the ratio of the heights,
// for both axes unless `arg` asks for each axis's own ratio (then the pairs'
// ratio along the rows).
uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::MIRA_SCALE_UP_POLY_CBCR_U8_neon(MIRA_FEATURE_ARGS) {
    if (!mira::poly_args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (src[0].height == 0) return MIRA_OK;
    const float factor = float(dst[0].height) / float(src[0].height);
    const float fx = (param->arg & mira::kScaleAxesIndependent) && src[0].width >= 2
                         ? float(dst[0].width / 2) / float(src[0].width / 2)
                         : factor;
    (void)mira::scale_up_lanczos(src[0], dst[0], fx, factor, mira::PlaneView::Cb);
    (void)mira::scale_up_lanczos(src[0], dst[0], fx, factor, mira::PlaneView::Cr);
    return MIRA_OK;
}

// The GPU kernel of this feature is empty, so mode 1 computes on the CPU.
uint32_t MIRA_SCALE_UP_POLY_CBCR_U8::MIRA_SCALE_UP_POLY_CBCR_U8_opencl(MIRA_FEATURE_ARGS) {
    return MIRA_SCALE_UP_POLY_CBCR_U8_neon(src, srcCount, dst, dstCount, param);
}
