// Placeholder: this feature's operation is not built yet; every call with valid lists fails with MIRA_ERR_FAIL.
#include "mira/mira_features.h"

uint32_t MIRA_INTERLEAVE_U8::run(MIRA_FEATURE_ARGS) { return param ? MIRA_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_INTERLEAVE_U8::MIRA_INTERLEAVE_U8_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_INTERLEAVE_U8::MIRA_INTERLEAVE_U8_opencl(MIRA_FEATURE_ARGS) { return MIRA_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param); }
