// The OpenCL device manager, its per-device resource records and their
// registry of shared-virtual-memory blocks, and the OpenCL status check.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>

#include "cl_api.h"
#include "mira/mira_types.h"

namespace ZOR {

// Name of an OpenCL status code ("UNKNOWN ERROR CODE" outside the table).
MIRA_EXPORT const char* cl_status_name(int code);
// The status check: 0 passes; anything else is logged with its name, the
// calling function, file and line, and the result is false.
bool cl_check(cl_int status, const char* func, const char* file, int line);
#define ZOR_CL_CHECK(status) ::ZOR::cl_check((status), __func__, __FILE__, __LINE__)

// How the host may touch shared virtual memory on a device.
enum SvmMode : uint32_t {
    kSvmNone = 0,    // no SVM: images go through device buffers
    kSvmCoarse = 1,  // coarse-grained buffers: host access between map and unmap
    kSvmFine = 2,    // fine-grained buffers: host and device share addresses directly
};

// Kinds of registered blocks.
constexpr uint32_t kSvmKindStaging = 0;      // pooled 64 MiB staging buffer
constexpr uint32_t kSvmKindDedicated = 1;    // staging buffer of one large image
constexpr uint32_t kSvmKindCaller = 0xF0;    // ncvMemAlloc block
constexpr uint32_t kStagingBytes = 0x4000000;

// One registered block.
struct MIRA_EXPORT opencl_svm {
    cl_context context;
    void* ptr;
    uint32_t size;
    uint32_t alignment;
    uint32_t kind;
    uint8_t inUse;
    uint8_t owned;
    uint8_t hostMemory;  // plain host memory (device without SVM)
    uint8_t mapped;      // coarse-grained block currently mapped for the host
    cl_command_queue queue;

    // Allocates the block in `context`; 1 on success, 0 on failure.
    int create(cl_context ctx, int size, int alignment, int kind);
    // Gives the memory back (when owned).
    void release();
};

// Resources of one device.
struct MIRA_EXPORT opencl_res {
    cl_device_id device;
    cl_context context;
    cl_command_queue queue;
    std::list<opencl_svm*>* svm_list;
    bool inited;
    uint32_t svmMode;  // SvmMode of the device

    bool init(cl_device_id dev);
    void release();  // context, queue and every registered block

    // Registry operations; the caller holds DeviceManager::mMutex. 1 = success.
    int allocSvmBuffer(void** out, int size, int alignment, int kind);
    int getSvmBuffer(void** out);
    int isSvmBufferExist(void* ptr);
    int freeSvmBuffer(void* ptr);
    // The registered block containing [ptr, ptr + bytes), or null.
    opencl_svm* findBlock(const void* ptr, uint64_t bytes);
};

class MIRA_EXPORT DeviceManager {
public:
    static DeviceManager* getInstance();
    static bool delInstance();
    // The instance if one exists (no creation).
    static DeviceManager* peekInstance();

    DeviceManager();
    ~DeviceManager();
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

    bool init();
    bool unInit();
    bool isInited() const { return mInited.load(std::memory_order_acquire); }
    bool getPlatformNums(int& n);
    bool getDeviceNums(int& n);
    opencl_res* getOpenclRes(int platform, int device);
    bool displayDeviceInfo();

    int allocSvmBuffer(void** out, int size, int alignment, int kind, int platform, int device);
    int getSvmBuffer(void** out, int platform, int device);
    int setSvmBuffer(void* ptr, int platform, int device);
    int isSvmBufferExist(void* ptr, int platform, int device);
    int freeSvmBuffer(void* ptr, int platform, int device);
    // Under the mutex: whether [ptr, ptr + bytes) lies in one registered block.
    bool containsBlock(const void* ptr, uint64_t bytes, int platform, int device);

    static DeviceManager* mInstance;
    static std::mutex mMutex;

private:
    bool initLocked();
    opencl_res* resLocked(int platform, int device);

    cl_platform_id* mPlatformIds = nullptr;
    cl_uint mPlatformNums = 0;
    cl_uint mDeviceNums = 0;
    cl_uint* mDeviceCounts = nullptr;  // devices of each platform
    opencl_res** mOpenclRes = nullptr;
    std::atomic<bool> mInited{false};
};

}  // namespace ZOR
