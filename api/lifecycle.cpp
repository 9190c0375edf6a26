// Placeholder: this feature's operation is not built yet; every call with valid lists fails with MIRA_ERR_FAIL.
#include "mira/mira_features.h"

uint32_t MIRA_INIT::run(MIRA_FEATURE_ARGS) { return param ? MIRA_INIT_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_INIT::MIRA_INIT_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_INIT::MIRA_INIT_opencl(MIRA_FEATURE_ARGS) { return MIRA_INIT_neon(src, srcCount, dst, dstCount, param); }
uint32_t MIRA_DEINIT::run(MIRA_FEATURE_ARGS) { return param ? MIRA_DEINIT_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_DEINIT::MIRA_DEINIT_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_DEINIT::MIRA_DEINIT_opencl(MIRA_FEATURE_ARGS) { return MIRA_DEINIT_neon(src, srcCount, dst, dstCount, param); }
uint32_t MIRA_MEM_ALLOC::run(MIRA_FEATURE_ARGS) { return param ? MIRA_MEM_ALLOC_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_ALLOC::MIRA_MEM_ALLOC_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_ALLOC::MIRA_MEM_ALLOC_opencl(MIRA_FEATURE_ARGS) { return MIRA_MEM_ALLOC_neon(src, srcCount, dst, dstCount, param); }
uint32_t MIRA_MEM_FREE::run(MIRA_FEATURE_ARGS) { return param ? MIRA_MEM_FREE_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_opencl(MIRA_FEATURE_ARGS) { return MIRA_MEM_FREE_neon(src, srcCount, dst, dstCount, param); }
uint32_t MIRA_MEM_CHECK::run(MIRA_FEATURE_ARGS) { return param ? MIRA_MEM_CHECK_neon(src, srcCount, dst, dstCount, param) : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_CHECK::MIRA_MEM_CHECK_neon(MIRA_FEATURE_ARGS) { (void)srcCount; (void)dstCount; (void)param; return (src && dst) ? MIRA_ERR_FAIL : MIRA_ERR_ARG; }
uint32_t MIRA_MEM_CHECK::MIRA_MEM_CHECK_opencl(MIRA_FEATURE_ARGS) { return MIRA_MEM_CHECK_neon(src, srcCount, dst, dstCount, param); }
