// Placeholder: this feature's operation is not built yet; every call with valid lists fails with MIRA_ERR_FAIL.
#include "mira/mira_features.h"

uint32_t MIRA_YUV420_TO_YUV444::run(MIRA_FEATURE_ARGS) { return param ? MIRA_YUV420_TO_YUV444_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_YUV420_TO_YUV444::MIRA_YUV420_TO_YUV444_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_YUV420_TO_YUV444::MIRA_YUV420_TO_YUV444_opencl(MIRA_FEATURE_ARGS) { return MIRA_YUV420_TO_YUV444_neon(src, srcCount, dst, dstCount, param); }
