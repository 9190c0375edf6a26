// Per-device resources and their registry of shared-virtual-memory blocks,
// and the OpenCL status check.
#include "opencl_res.h"

#include <cstdlib>

#include "zor_log.h"

namespace ZOR {

namespace {
const char* const kStatusNames1[] = {
    "CL_DEVICE_NOT_FOUND", "CL_DEVICE_NOT_AVAILABLE", "CL_COMPILER_NOT_AVAILABLE",
    "CL_MEM_OBJECT_ALLOCATION_FAILURE", "CL_OUT_OF_RESOURCES", "CL_OUT_OF_HOST_MEMORY",
    "CL_PROFILING_INFO_NOT_AVAILABLE", "CL_MEM_COPY_OVERLAP", "CL_IMAGE_FORMAT_MISMATCH",
    "CL_IMAGE_FORMAT_NOT_SUPPORTED", "CL_BUILD_PROGRAM_FAILURE", "CL_MAP_FAILURE",
    "CL_MISALIGNED_SUB_BUFFER_OFFSET", "CL_EXEC_STATUS_ERROR_FOR_EVENTS_IN_WAIT_LIST"};
const char* const kStatusNames30[] = {
    "CL_INVALID_VALUE", "CL_INVALID_DEVICE_TYPE", "CL_INVALID_PLATFORM", "CL_INVALID_DEVICE",
    "CL_INVALID_CONTEXT", "CL_INVALID_QUEUE_PROPERTIES", "CL_INVALID_COMMAND_QUEUE",
    "CL_INVALID_HOST_PTR", "CL_INVALID_MEM_OBJECT", "CL_INVALID_IMAGE_FORMAT_DESCRIPTOR",
    "CL_INVALID_IMAGE_SIZE", "CL_INVALID_SAMPLER", "CL_INVALID_BINARY",
    "CL_INVALID_BUILD_OPTIONS", "CL_INVALID_PROGRAM", "CL_INVALID_PROGRAM_EXECUTABLE",
    "CL_INVALID_KERNEL_NAME", "CL_INVALID_KERNEL_DEFINITION", "CL_INVALID_KERNEL",
    "CL_INVALID_ARG_INDEX", "CL_INVALID_ARG_VALUE", "CL_INVALID_ARG_SIZE",
    "CL_INVALID_KERNEL_ARGS", "CL_INVALID_WORK_DIMENSION", "CL_INVALID_WORK_GROUP_SIZE",
    "CL_INVALID_WORK_ITEM_SIZE", "CL_INVALID_GLOBAL_OFFSET", "CL_INVALID_EVENT_WAIT_LIST",
    "CL_INVALID_EVENT", "CL_INVALID_OPERATION", "CL_INVALID_GL_OBJECT",
    "CL_INVALID_BUFFER_SIZE", "CL_INVALID_MIP_LEVEL", "CL_INVALID_GLOBAL_WORK_SIZE",
    "CL_INVALID_PROPERTY"};
}  // namespace

const char* cl_status_name(int code) {
    if (code <= -1 && code >= -14) return kStatusNames1[-code - 1];
    if (code <= -30 && code >= -64) return kStatusNames30[-code - 30];
    return "UNKNOWN ERROR CODE";
}

bool cl_check(cl_int status, const char* func, const char* file, int line) {
    if (status == CL_SUCCESS) return true;
    log_line("\n%s %s  %d:OpenCL error with code(%d) %s happened in file %s at line %d. Exiting.\n",
             ZOR_LOG_TAG, func, line, status, cl_status_name(status), file, line);
    return false;
}

// ------------------------------------------------------------ opencl_svm

int opencl_svm::create(cl_context ctx, int bytes, int align, int blockKind) {
    owned = 0;
    if (!ctx) {
        ZOR_LOG("the input context is NULL, create svm buffer fail, return");
        return 0;
    }
    context = ctx;
    size = static_cast<uint32_t>(bytes);
    alignment = static_cast<uint32_t>(align);
    kind = static_cast<uint32_t>(blockKind);
    inUse = 0;
    mapped = 0;
    if (hostMemory) {
        // Device without SVM: a plain host block, reaching the device
        // through buffer copies.
        size_t a = alignment > 128 ? alignment : 128;
        if ((a & (a - 1)) != 0) a = 128;
        size_t rounded = (static_cast<size_t>(size) + a - 1) / a * a;
        ptr = std::aligned_alloc(a, rounded ? rounded : a);
    } else {
        ptr = g_cl.clSVMAlloc(context, CL_MEM_READ_WRITE, size, alignment);
    }
    if (!ptr) {
        ZOR_LOG("create svm buffer fail in opencl, return");
        return 0;
    }
    owned = 1;
    if (!hostMemory && queue) {
        // Coarse-grained: keep the block mapped for the host outside kernel
        // runs, so the host may touch it at any time.
        cl_int st = g_cl.clEnqueueSVMMap(queue, CL_TRUE, CL_MAP_READ | CL_MAP_WRITE, ptr, size,
                                         0, nullptr, nullptr);
        if (!ZOR_CL_CHECK(st)) {
            g_cl.clSVMFree(context, ptr);
            ptr = nullptr;
            owned = 0;
            return 0;
        }
        mapped = 1;
    }
    return 1;
}

void opencl_svm::release() {
    if (!owned || !ptr) return;
    if (hostMemory) {
        std::free(ptr);
    } else if (context) {
        if (mapped && queue) {
            g_cl.clEnqueueSVMUnmap(queue, ptr, 0, nullptr, nullptr);
            g_cl.clFinish(queue);
        }
        g_cl.clSVMFree(context, ptr);
    }
    ptr = nullptr;
    owned = 0;
    mapped = 0;
}

// ------------------------------------------------------------ opencl_res

bool opencl_res::init(cl_device_id dev) {
    if (inited) return true;
    if (!dev) {
        ZOR_LOG("the opencl device object is NULL, return");
        return false;
    }
    device = dev;
    cl_int st = CL_SUCCESS;
    context = g_cl.clCreateContext(nullptr, 1, &device, nullptr, nullptr, &st);
    if (!ZOR_CL_CHECK(st)) {
        context = nullptr;
        return false;
    }
    queue = g_cl.clCreateCommandQueue(context, device, CL_QUEUE_PROFILING_ENABLE, &st);
    if (!ZOR_CL_CHECK(st)) {
        queue = nullptr;
        g_cl.clReleaseContext(context);
        context = nullptr;
        return false;
    }
    svmMode = kSvmNone;
    if (cl_has_svm()) {
        cl_device_svm_capabilities caps = 0;
        if (g_cl.clGetDeviceInfo(device, CL_DEVICE_SVM_CAPABILITIES, sizeof caps, &caps,
                                 nullptr) == CL_SUCCESS) {
            if (caps & CL_DEVICE_SVM_FINE_GRAIN_BUFFER)
                svmMode = kSvmFine;
            else if ((caps & CL_DEVICE_SVM_COARSE_GRAIN_BUFFER) && g_cl.clEnqueueSVMMap &&
                     g_cl.clEnqueueSVMUnmap)
                svmMode = kSvmCoarse;
        }
    }
    svm_list = new std::list<opencl_svm*>();
    inited = true;
    return true;
}

void opencl_res::release() {
    if (!inited) return;
    device = nullptr;
    if (svm_list) {
        for (opencl_svm* b : *svm_list) {
            b->release();
            delete b;
        }
        delete svm_list;
        svm_list = nullptr;
    }
    if (queue) g_cl.clReleaseCommandQueue(queue);
    if (context) g_cl.clReleaseContext(context);
    queue = nullptr;
    context = nullptr;
    inited = false;
}

int opencl_res::allocSvmBuffer(void** out, int size, int alignment, int kind) {
    if (!inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!out || size <= 0) return 0;
    opencl_svm* b = new opencl_svm();
    b->hostMemory = svmMode == kSvmNone ? 1 : 0;
    b->queue = svmMode == kSvmCoarse ? queue : nullptr;
    if (!b->create(context, size, alignment, kind)) {
        delete b;
        ZOR_LOG("alloc svm buffer fail, return");
        return 0;
    }
    *out = b->ptr;
    if (!svm_list) {
        ZOR_LOG("the list object is NULL, return");
        return 1;  // the block stays unregistered
    }
    svm_list->push_back(b);
    return 1;
}

int opencl_res::getSvmBuffer(void** out) {
    if (!inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!out) return 0;
    if (svm_list) {
        for (opencl_svm* b : *svm_list) {
            if (b->kind == kSvmKindStaging && !b->inUse) {
                b->inUse = 1;
                *out = b->ptr;
                return 1;
            }
        }
    } else {
        ZOR_LOG("the list object is NULL, return");
    }
    void* p = nullptr;
    if (!allocSvmBuffer(&p, static_cast<int>(kStagingBytes), 0, kSvmKindStaging)) {
        ZOR_LOG("get svm buffer fail, return");
        return 0;
    }
    if (svm_list && !svm_list->empty()) svm_list->back()->inUse = 1;
    *out = p;
    return 1;
}

namespace {

// Looks `ptr` up in the SVM registry of `res`: *out is its entry or the end
// of the list. False when the registry is not up, logged under the caller's
// name and line.
bool find_svm(opencl_res& res, void* ptr, const char* func, int initLine, int listLine,
              std::list<opencl_svm*>::iterator* out) {
    if (!res.inited) {
        ZOR_LOG_AT(func, initLine, "opencl_res not init, exit.");
        return false;
    }
    if (!res.svm_list) {
        ZOR_LOG_AT(func, listLine, "the list object is NULL, return");
        return false;
    }
    auto it = res.svm_list->begin();
    while (it != res.svm_list->end() && (*it)->ptr != ptr) ++it;
    *out = it;
    return true;
}

}  // namespace

int opencl_res::isSvmBufferExist(void* ptr) {
    std::list<opencl_svm*>::iterator it;
    if (!find_svm(*this, ptr, __func__, __LINE__, __LINE__, &it) || it == svm_list->end()) return 0;
    // A hit moves to the back: searches start at the front.
    svm_list->splice(svm_list->end(), *svm_list, it);
    return 1;
}

int opencl_res::freeSvmBuffer(void* ptr) {
    std::list<opencl_svm*>::iterator it;
    if (!find_svm(*this, ptr, __func__, __LINE__, __LINE__, &it) || it == svm_list->end()) return 0;
    opencl_svm* b = *it;
    svm_list->erase(it);
    b->release();
    delete b;
    return 1;
}

opencl_svm* opencl_res::findBlock(const void* ptr, uint64_t bytes) {
    if (!inited || !svm_list || !ptr) return nullptr;
    const uintptr_t p = reinterpret_cast<uintptr_t>(ptr);
    for (opencl_svm* b : *svm_list) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(b->ptr);
        if (p >= base && p - base <= b->size && bytes <= b->size - (p - base)) return b;
    }
    return nullptr;
}

}  // namespace ZOR
