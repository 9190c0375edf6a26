// Placeholder: this feature's operation is not built yet; every call with valid lists fails with MIRA_ERR_FAIL.
#include "mira/mira_features.h"

uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::run(MIRA_FEATURE_ARGS) { return param ? MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_IMAGE_UP_SAMPLE_2D_CBCR::MIRA_IMAGE_UP_SAMPLE_2D_CBCR_opencl(MIRA_FEATURE_ARGS) { return MIRA_IMAGE_UP_SAMPLE_2D_CBCR_neon(src, srcCount, dst, dstCount, param); }
