// Library lifecycle and managed memory: ncvInit/ncvDeinit bring the GPU side
// up and down; ncvMemAlloc/ncvMemFree/ncvIsNcvAllocBuffer hand out memory
// that the CPU and the GPU share (mode 0: plain aligned host memory).
#include <malloc.h>

#include <cstdlib>

#include "mira/mira.h"
#include "mira/mira_features.h"
#include "ops/scaling/pipeline_memory.h"
#include "param_utils.h"
#include "zor_runtime.h"

namespace {

constexpr uint32_t kBridgeInit = 0;
constexpr uint32_t kBridgeDeinit = 1;
constexpr uint32_t kBridgeAlloc = 2;
constexpr uint32_t kBridgeFree = 3;
constexpr uint32_t kBridgeCheck = 6;

// Size rounded up to a multiple of the alignment, in 32 bits; 0 when it
// does not fit.
uint32_t rounded_size(uint32_t size, uint32_t alignment) {
    if (alignment <= 1) return size;
    const uint64_t r = (static_cast<uint64_t>(size) + alignment - 1) / alignment * alignment;
    return r > UINT32_MAX ? 0 : static_cast<uint32_t>(r);
}

}  // namespace

// ------------------------------------------------------------ init / deinit

uint32_t MIRA_INIT::run(MIRA_FEATURE_ARGS) {
    if (!param) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_CPU) return MIRA_OK;
    return MIRA_INIT_opencl(src, srcCount, dst, dstCount, param);
}
uint32_t MIRA_INIT::MIRA_INIT_neon(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;
    return MIRA_OK;
}
uint32_t MIRA_INIT::MIRA_INIT_opencl(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;
    return zor_cv_opencl_operation(kBridgeInit, 0) == 0 ? MIRA_OK : MIRA_ERR_FAIL;
}

uint32_t MIRA_DEINIT::run(MIRA_FEATURE_ARGS) {
    if (!param) return MIRA_ERR_ARG;
    // The scaling pipelines' cached blocks go back to the C allocator.
    mira::pipeline_memory_release();
    if (param->mode == MIRA_MODE_CPU) return MIRA_OK;
    return MIRA_DEINIT_opencl(src, srcCount, dst, dstCount, param);
}
uint32_t MIRA_DEINIT::MIRA_DEINIT_neon(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;
    return MIRA_OK;
}
uint32_t MIRA_DEINIT::MIRA_DEINIT_opencl(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;
    return zor_cv_opencl_operation(kBridgeDeinit, 0) == 0 ? MIRA_OK : MIRA_ERR_FAIL;
}

// ------------------------------------------------------------ memory

uint32_t MIRA_MEM_ALLOC::run(MIRA_FEATURE_ARGS) {
    if (!param || !dst || dstCount == 0) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_CPU) return MIRA_MEM_ALLOC_neon(src, srcCount, dst, dstCount, param);
    return MIRA_MEM_ALLOC_opencl(src, srcCount, dst, dstCount, param);
}
uint32_t MIRA_MEM_ALLOC::MIRA_MEM_ALLOC_neon(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount;
    if (!param || !dst || dstCount == 0 || !param->extra) return MIRA_ERR_ARG;
    const ncvMemRequest* req = static_cast<const ncvMemRequest*>(param->extra);
    dst->data = nullptr;
    const uint32_t bytes = rounded_size(req->size, req->alignment);
    if (bytes == 0) return MIRA_ERR_FAIL;
    // Blocks are 128-byte aligned whatever alignment was asked for.
    dst->data = static_cast<uint8_t*>(memalign(128, bytes));
    return dst->data ? MIRA_OK : MIRA_ERR_FAIL;
}
uint32_t MIRA_MEM_ALLOC::MIRA_MEM_ALLOC_opencl(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount;
    if (!param || !dst || dstCount == 0 || !param->extra) return MIRA_ERR_ARG;
    const ncvMemRequest* req = static_cast<const ncvMemRequest*>(param->extra);
    void* block = nullptr;
    const int r = zor_cv_opencl_operation(kBridgeAlloc, 3, &block, req->size, req->alignment);
    dst->data = r == 0 ? static_cast<uint8_t*>(block) : nullptr;
    return r == 0 ? MIRA_OK : MIRA_ERR_FAIL;
}

uint32_t MIRA_MEM_FREE::run(MIRA_FEATURE_ARGS) {
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_CPU) return MIRA_MEM_FREE_neon(src, srcCount, dst, dstCount, param);
    return MIRA_MEM_FREE_opencl(src, srcCount, dst, dstCount, param);
}
uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_neon(MIRA_FEATURE_ARGS) {
    (void)dst, (void)dstCount;
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    std::free(src->data);
    return MIRA_OK;
}
uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_opencl(MIRA_FEATURE_ARGS) {
    (void)dst, (void)dstCount;
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    if (!src->data || !ZOR::DeviceManager::peekInstance()) return MIRA_ERR_FAIL;
    return zor_cv_opencl_operation(kBridgeFree, 1, static_cast<void*>(src->data)) == 0
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

uint32_t MIRA_MEM_CHECK::run(MIRA_FEATURE_ARGS) {
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_CPU) return MIRA_MEM_CHECK_neon(src, srcCount, dst, dstCount, param);
    return MIRA_MEM_CHECK_opencl(src, srcCount, dst, dstCount, param);
}
uint32_t MIRA_MEM_CHECK::MIRA_MEM_CHECK_neon(MIRA_FEATURE_ARGS) {
    (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;
    return MIRA_OK;  // CPU blocks are not registered anywhere
}
uint32_t MIRA_MEM_CHECK::MIRA_MEM_CHECK_opencl(MIRA_FEATURE_ARGS) {
    (void)dst, (void)dstCount;
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    if (!src->data) return MIRA_ERR_FAIL;
    // Without a device there is no registry: nothing is registered.
    if (!ZOR::DeviceManager::peekInstance()) return MIRA_ERR_FAIL;
    return zor_cv_opencl_operation(kBridgeCheck, 1, static_cast<void*>(src->data)) == 0
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}
