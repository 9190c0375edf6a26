// Library lifecycle and managed memory: ncvInit/ncvDeinit bring the GPU side
// up and down; ncvMemAlloc/ncvMemFree/ncvIsNcvAllocBuffer hand out memory
// that the CPU and the GPU share (mode 0: plain aligned host memory).
#include <malloc.h>

#include <cstdlib>

#include "mira/mira.h"
#include "mira/mira_features.h"
#include "ops/scaling/pipeline_memory.h"
#include "gpu/src/inc/mira_gpu.h"

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

// The bridge operation's status as a feature status.
uint32_t bridge_status(uint32_t operation) {
    return zor_cv_opencl_operation(operation, 0) == 0 ? MIRA_OK : MIRA_ERR_FAIL;
}

}  // namespace

// ------------------------------------------------------------ init / deinit

// Init and deinit: `run` does nothing more in mode 0 (after PREPARE) and runs
// the bridge operation in every other mode; the CPU method does nothing; the
// GPU method runs the bridge operation.
#define MIRA_LIFECYCLE_FEATURE(NAME, OPERATION, PREPARE)                                \
    uint32_t NAME::run(MIRA_FEATURE_ARGS) {                                             \
        (void)src, (void)srcCount, (void)dst, (void)dstCount;                           \
        if (!param) return MIRA_ERR_ARG;                                                \
        PREPARE;                                                                        \
        return param->mode == MIRA_MODE_CPU ? MIRA_OK : bridge_status(OPERATION);       \
    }                                                                                   \
    uint32_t NAME::NAME##_neon(MIRA_FEATURE_ARGS) {                                     \
        (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;              \
        return MIRA_OK;                                                                 \
    }                                                                                   \
    uint32_t NAME::NAME##_opencl(MIRA_FEATURE_ARGS) {                                   \
        (void)src, (void)srcCount, (void)dst, (void)dstCount, (void)param;              \
        return bridge_status(OPERATION);                                                \
    }

MIRA_LIFECYCLE_FEATURE(MIRA_INIT, kBridgeInit, (void)0)
// The scaling pipelines' cached blocks go back to the C allocator in every mode.
MIRA_LIFECYCLE_FEATURE(MIRA_DEINIT, kBridgeDeinit, mira::pipeline_memory_release())

// ------------------------------------------------------------ memory

// The memory features' run: its check, then the CPU method in mode 0 and the
// GPU method in every other mode (no fallback: a block is host or shared
// memory as asked).
#define MIRA_MEMORY_RUN(NAME, CHECK)                                                  \
    uint32_t NAME::run(MIRA_FEATURE_ARGS) {                                           \
        if (!param || !(CHECK)) return MIRA_ERR_ARG;                                  \
        if (param->mode == MIRA_MODE_CPU) return NAME##_neon(src, srcCount, dst, dstCount, param); \
        return NAME##_opencl(src, srcCount, dst, dstCount, param);                    \
    }

MIRA_MEMORY_RUN(MIRA_MEM_ALLOC, dst && dstCount != 0)
MIRA_MEMORY_RUN(MIRA_MEM_FREE, src && srcCount != 0)
MIRA_MEMORY_RUN(MIRA_MEM_CHECK, src && srcCount != 0)


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

uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_neon(MIRA_FEATURE_ARGS) {
    (void)dst, (void)dstCount;
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    std::free(src->data);
    return MIRA_OK;
}
uint32_t MIRA_MEM_FREE::MIRA_MEM_FREE_opencl(MIRA_FEATURE_ARGS) {
    (void)dst, (void)dstCount;
    if (!param || !src || srcCount == 0) return MIRA_ERR_ARG;
    if (!src->data || !zor_device_manager_exists()) return MIRA_ERR_FAIL;
    return zor_cv_opencl_operation(kBridgeFree, 1, static_cast<void*>(src->data)) == 0
               ? MIRA_OK
               : MIRA_ERR_FAIL;
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
    if (!zor_device_manager_exists()) return MIRA_ERR_FAIL;
    return zor_cv_opencl_operation(kBridgeCheck, 1, static_cast<void*>(src->data)) == 0
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}
