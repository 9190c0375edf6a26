// Run-time loading of the OpenCL ICD loader.
#include "gpu/src/inc/cl_api.h"

#include <dlfcn.h>

#include <cstring>

#include "gpu/src/inc/zor_log.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace ZOR {

ClApi g_cl;

namespace {

void* g_handle = nullptr;
bool g_loaded = false;
bool g_svm = false;
const char* g_test_path = nullptr;

const char* const kCandidates[] = {
#if defined(__ANDROID__)
    "libOpenCL.so",
    "/vendor/lib64/libOpenCL.so",
    "/system/vendor/lib64/libOpenCL.so",
    "/system/lib64/libOpenCL.so",
    "/vendor/lib64/egl/libGLES_mali.so",
    "/system/vendor/lib64/egl/libGLES_mali.so",
#else
    "libOpenCL.so.1",
    "libOpenCL.so",
#endif
};

void* open_library() {
    if (g_test_path) return dlopen(g_test_path, RTLD_NOW | RTLD_LOCAL);
    for (const char* name : kCandidates) {
        if (void* h = dlopen(name, RTLD_NOW | RTLD_LOCAL)) return h;
    }
    return nullptr;
}

}  // namespace

bool cl_load() {
    if (g_loaded) return true;
    if (!g_handle) g_handle = open_library();
    if (!g_handle) {
        ZOR_LOG("no OpenCL library could be loaded, GPU paths are off");
        return false;
    }
    ClApi table;
    std::memset(&table, 0, sizeof table);
    bool core = true;
#define ZOR_CL_RESOLVE(name)                                                           \
    table.name = reinterpret_cast<decltype(table.name)>(dlsym(g_handle, #name));       \
    if (!table.name) {                                                                 \
        ZOR_LOG("OpenCL entry point %s is missing", #name);                            \
        core = false;                                                                  \
    }
    ZOR_CL_CORE_FUNCS(ZOR_CL_RESOLVE)
#undef ZOR_CL_RESOLVE
    if (!core) return false;
    bool svm = true;
#define ZOR_CL_RESOLVE_SVM(name)                                                       \
    table.name = reinterpret_cast<decltype(table.name)>(dlsym(g_handle, #name));       \
    if (!table.name) svm = false;
    ZOR_CL_SVM_FUNCS(ZOR_CL_RESOLVE_SVM)
    // Optional: their users check for them.
#define ZOR_CL_RESOLVE_EVENT(name) \
    table.name = reinterpret_cast<decltype(table.name)>(dlsym(g_handle, #name));
    ZOR_CL_EVENT_FUNCS(ZOR_CL_RESOLVE_EVENT)
#undef ZOR_CL_RESOLVE_EVENT
#undef ZOR_CL_RESOLVE_SVM
    g_cl = table;
    g_svm = svm;
    g_loaded = true;
    return true;
}

bool cl_loaded() { return g_loaded; }
bool cl_has_svm() { return g_svm && g_cl.clSVMAlloc && g_cl.clSVMFree &&
                           g_cl.clSetKernelArgSVMPointer; }

}  // namespace ZOR

void zor_test_set_opencl_library(const char* path) {
    ZOR::g_test_path = path;
    ZOR::g_handle = nullptr;
    ZOR::g_loaded = false;
    std::memset(&ZOR::g_cl, 0, sizeof ZOR::g_cl);
}

void zor_test_unload_opencl() {
    ZOR::g_loaded = false;
    std::memset(&ZOR::g_cl, 0, sizeof ZOR::g_cl);
}

ZOR::ClApi* zor_test_cl_table() { return ZOR::g_loaded ? &ZOR::g_cl : nullptr; }
