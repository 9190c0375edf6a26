#include "mira/mira_features.h"
#include "api/test_hooks.h"

namespace mira {
RunObserver g_run_observer = nullptr;
}

MIRA_Interface* MIRA_Manager::getFeatureObjByID(MIRA_API_ID id) {
    switch (id) {
        case MIRA_API_INIT: return new MIRA_INIT;
        case MIRA_API_DEINIT: return new MIRA_DEINIT;
        case MIRA_API_MEM_ALLOC: return new MIRA_MEM_ALLOC;
        case MIRA_API_MEM_FREE: return new MIRA_MEM_FREE;
        case MIRA_API_MEM_CHECK: return new MIRA_MEM_CHECK;
        case MIRA_API_TRANSPOSE_U8: return new MIRA_TRANSPOSE_U8;
        case MIRA_API_SCALE_DOWN_U8: return new MIRA_SCALE_DOWN_U8;
        case MIRA_API_NV21_TO_RGBA8888: return new MIRA_NV21_TO_RGBA8888;
        case MIRA_API_YUV444_TO_YUV420: return new MIRA_YUV444_TO_YUV420;
        case MIRA_API_YUV420_TO_YUV444: return new MIRA_YUV420_TO_YUV444;
        case MIRA_API_CBCR_SWAP: return new MIRA_CBCR_SWAP;
        case MIRA_API_INTERLEAVE_U8: return new MIRA_INTERLEAVE_U8;
        case MIRA_API_ROTATE_U8: return new MIRA_ROTATE_U8;
        case MIRA_API_ROTATE_INTERLEAVE_U8: return new MIRA_ROTATE_INTERLEAVE_U8;
        case MIRA_API_SCALEDOWN_MNINTERLEAVE_U8: return new MIRA_SCALEDOWN_MNINTERLEAVE_U8;
        case MIRA_API_IMAGE_GRADIENT_U8: return new MIRA_IMAGE_GRADIENT_U8;
        case MIRA_API_IMAGE_GRADIENT_SOBEL_U8: return new MIRA_IMAGE_GRADIENT_SOBEL_U8;
        case MIRA_API_IMAGE_INTENSITY_STATS: return new MIRA_IMAGE_INTENSITY_STATS;
        case MIRA_API_FILTER_GAUSSIAN3X3_U8: return new MIRA_FILTER_GAUSSIAN3X3_U8;
        case MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR: return new MIRA_IMAGE_UP_SAMPLE_2D_CBCR;
        case MIRA_API_SCALE_UP_POLY_U8: return new MIRA_SCALE_UP_POLY_U8;
        case MIRA_API_SCALE_UP_POLY_CBCR_U8: return new MIRA_SCALE_UP_POLY_CBCR_U8;
        case MIRA_API_SCALE_U8: return new MIRA_SCALE_U8;
        case MIRA_API_FLOODFILL_SIMPLE_U8: return new MIRA_FLOODFILL_SIMPLE_U8;
        case MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8: return new MIRA_TRANSFORM_AFFINE_CLIPPED_U8;
        case MIRA_API_SCALEDOWN_MN_U8: return new MIRA_SCALEDOWN_MN_U8;
        case MIRA_API_YUV420_TO_RGB: return new MIRA_YUV420_TO_RGB;
        case MIRA_API_RGB_TO_YUV420: return new MIRA_RGB_TO_YUV420;
        case MIRA_API_YUV420_TO_RGB_TRANSFORM: return new MIRA_YUV420_TO_RGB_TRANSFORM;
    }
    return nullptr;
}

uint32_t MIRA_Manager::run(const MIRA_Feature_Buf* src, uint8_t srcCount, MIRA_Feature_Buf* dst,
                           uint8_t dstCount, const MIRA_Feature_Param* param) {
    if (param == nullptr) return MIRA_ERR_ARG;
    if (mira::g_run_observer && !mira::g_run_observer(src, srcCount, dst, dstCount, param))
        return MIRA_OK;
    // An id outside the enumeration is not a MIRA_API_ID value at all.
    if (param->apiId < MIRA_API_INIT || param->apiId > MIRA_API_YUV420_TO_RGB_TRANSFORM) return MIRA_ERR_ARG;
    MIRA_Interface* feature = getFeatureObjByID(static_cast<MIRA_API_ID>(param->apiId));
    if (feature == nullptr) return MIRA_ERR_ARG;
    uint32_t status = feature->run(src, srcCount, dst, dstCount, param);
    delete feature;
    return status;
}

void MIRA_Manager::getRunParamFromProfileData() {}
