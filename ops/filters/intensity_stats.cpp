// Placeholder: this feature's operation is not built yet; every call with valid lists fails with MIRA_ERR_FAIL.
#include "mira/mira_features.h"

uint32_t MIRA_IMAGE_INTENSITY_STATS::run(MIRA_FEATURE_ARGS) { return param ? MIRA_IMAGE_INTENSITY_STATS_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS_opencl(MIRA_FEATURE_ARGS) { return MIRA_IMAGE_INTENSITY_STATS_neon(src, srcCount, dst, dstCount, param); }
MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS() : mPool(nullptr) {}
MIRA_IMAGE_INTENSITY_STATS::~MIRA_IMAGE_INTENSITY_STATS() {}
