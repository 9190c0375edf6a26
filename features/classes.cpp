// The feature classes: `run`, the CPU method and the GPU method of each, all
// through the one seam with the feature's route. The flood fill's CPU method
// (the fill itself, with the object's state) and the general scale's second
// CPU method are defined with their features.
#include "features/routes.h"

MIRA_FEATURE_ROUTE(MIRA_CBCR_SWAP, mira::kCbcrSwap)
MIRA_FEATURE_ROUTE(MIRA_INTERLEAVE_U8, mira::kInterleave)
MIRA_FEATURE_ROUTE(MIRA_NV21_TO_RGBA8888, mira::kNv21)
MIRA_FEATURE_ROUTE(MIRA_YUV444_TO_YUV420, mira::kYuv444To420)
MIRA_FEATURE_ROUTE(MIRA_YUV420_TO_YUV444, mira::kYuv420To444)
MIRA_FEATURE_ROUTE(MIRA_TRANSPOSE_U8, mira::kTranspose)
MIRA_FEATURE_ROUTE(MIRA_ROTATE_U8, mira::kRotate)
MIRA_FEATURE_ROUTE(MIRA_ROTATE_INTERLEAVE_U8, mira::kRotateInterleaved)
MIRA_FEATURE_ROUTE(MIRA_FILTER_GAUSSIAN3X3_U8, mira::kGaussian)
MIRA_FEATURE_ROUTE(MIRA_IMAGE_GRADIENT_U8, mira::kGradient)
MIRA_FEATURE_ROUTE(MIRA_IMAGE_GRADIENT_SOBEL_U8, mira::kSobel)
MIRA_FEATURE_ROUTE(MIRA_IMAGE_INTENSITY_STATS, mira::kStats)
MIRA_FEATURE_ROUTE(MIRA_SCALE_DOWN_U8, mira::kScaleDown)
MIRA_FEATURE_ROUTE(MIRA_SCALEDOWN_MN_U8, mira::kScaleDownMN)
MIRA_FEATURE_ROUTE(MIRA_SCALEDOWN_MNINTERLEAVE_U8, mira::kScaleDownMNInterleave)
MIRA_FEATURE_ROUTE(MIRA_IMAGE_UP_SAMPLE_2D_CBCR, mira::kUpsample)
MIRA_FEATURE_ROUTE(MIRA_SCALE_UP_POLY_U8, mira::kScaleUpPoly)
MIRA_FEATURE_ROUTE(MIRA_SCALE_UP_POLY_CBCR_U8, mira::kScaleUpPolyCbCr)
MIRA_FEATURE_ROUTE(MIRA_SCALE_U8, mira::kScale)
MIRA_FEATURE_ROUTE(MIRA_TRANSFORM_AFFINE_CLIPPED_U8, mira::kAffine)
MIRA_FEATURE_ROUTE(MIRA_YUV420_TO_RGB, mira::kYuv420ToRgb)
MIRA_FEATURE_ROUTE(MIRA_RGB_TO_YUV420, mira::kRgbToYuv420)
MIRA_FEATURE_ROUTE(MIRA_YUV420_TO_RGB_TRANSFORM, mira::kYuv420ToRgbTransform)

// The flood fill's run and GPU method (it has no kernel: its twin is the fill).
uint32_t MIRA_FLOODFILL_SIMPLE_U8::run(MIRA_FEATURE_ARGS) {
    return mira::dispatch(mira::kFloodfill, {src, srcCount, dst, dstCount, param, this});
}

uint32_t MIRA_FLOODFILL_SIMPLE_U8::MIRA_FLOODFILL_SIMPLE_U8_opencl(MIRA_FEATURE_ARGS) {
    return mira::run_gpu(mira::kFloodfill, {src, srcCount, dst, dstCount, param, this});
}
