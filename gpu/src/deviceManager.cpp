// The OpenCL device manager: platforms, devices, one context and one
// profiling in-order queue per device.
#include <cstring>

#include "opencl_res.h"
#include "zor_log.h"

namespace ZOR {

namespace {
constexpr cl_int kPlatformNotFoundKhr = -1001;
}

DeviceManager* DeviceManager::mInstance = nullptr;
std::mutex DeviceManager::mMutex;

DeviceManager* DeviceManager::getInstance() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mInstance) {
        DeviceManager* m = new DeviceManager();
        if (!m->initLocked()) ZOR_LOG("do init operation failed.");
        mInstance = m;
    }
    return mInstance;
}

DeviceManager* DeviceManager::peekInstance() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mInstance;
}

bool DeviceManager::delInstance() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mInstance) return false;
    delete mInstance;  // the destructor runs unInit
    mInstance = nullptr;
    return true;
}

DeviceManager::DeviceManager() = default;

DeviceManager::~DeviceManager() { unInit(); }

bool DeviceManager::init() {
    if (isInited()) return true;
    std::lock_guard<std::mutex> lock(mMutex);
    return initLocked();
}

bool DeviceManager::initLocked() {
    if (isInited()) return true;
    // A failed earlier attempt may have left partial state behind.
    unInit();
    if (!cl_load()) return false;

    cl_uint platforms = 0;
    cl_int st = g_cl.clGetPlatformIDs(0, nullptr, &platforms);
    if (st == kPlatformNotFoundKhr) platforms = 0;  // the ICD loader's "no platform"
    else if (!ZOR_CL_CHECK(st)) return false;
    mPlatformNums = platforms;
    if (mPlatformNums == 0) {
        ZOR_LOG("opencl platform numbers=%d, exit.", static_cast<int>(mPlatformNums));
        return false;
    }
    mPlatformIds = new cl_platform_id[mPlatformNums]();
    mOpenclRes = new opencl_res*[mPlatformNums]();
    mDeviceCounts = new cl_uint[mPlatformNums]();
    st = g_cl.clGetPlatformIDs(mPlatformNums, mPlatformIds, nullptr);
    if (!ZOR_CL_CHECK(st)) return false;

    bool ok = true;
    for (cl_uint p = 0; p < mPlatformNums; ++p) {
        cl_device_type type = CL_DEVICE_TYPE_GPU;
        cl_uint n = 0;
        st = g_cl.clGetDeviceIDs(mPlatformIds[p], type, 0, nullptr, &n);
        if (st == CL_DEVICE_NOT_FOUND) {
            n = 0;
        } else if (!ZOR_CL_CHECK(st)) {
            return false;
        }
#if defined(MIRA_OPENCL_ANY_DEVICE)
        // Host builds: a platform without a GPU offers whatever device it has.
        if (n == 0) {
            type = CL_DEVICE_TYPE_ALL;
            st = g_cl.clGetDeviceIDs(mPlatformIds[p], type, 0, nullptr, &n);
            if (st == CL_DEVICE_NOT_FOUND) n = 0;
            else if (!ZOR_CL_CHECK(st)) return false;
        }
#endif
        mDeviceNums = n;
        if (n == 0) {
            ZOR_LOG("opencl device_gpu numbers=%d, exit.", static_cast<int>(n));
            return false;
        }
        cl_device_id* ids = new cl_device_id[n]();
        mOpenclRes[p] = new opencl_res[n]();
        mDeviceCounts[p] = n;
        st = g_cl.clGetDeviceIDs(mPlatformIds[p], type, n, ids, nullptr);
        if (!ZOR_CL_CHECK(st)) {
            delete[] ids;
            return false;
        }
        for (cl_uint d = 0; d < n; ++d) ok = mOpenclRes[p][d].init(ids[d]) && ok;
        delete[] ids;
    }
    if (!ok) return false;
    mInited.store(true, std::memory_order_release);
    return true;
}

bool DeviceManager::unInit() {
    delete[] mPlatformIds;
    mPlatformIds = nullptr;
    if (mOpenclRes) {
        for (cl_uint p = 0; p < mPlatformNums; ++p) {
            if (!mOpenclRes[p]) continue;
            for (cl_uint d = 0; d < mDeviceCounts[p]; ++d) mOpenclRes[p][d].release();
            delete[] mOpenclRes[p];
        }
        delete[] mOpenclRes;
        mOpenclRes = nullptr;
    }
    delete[] mDeviceCounts;
    mDeviceCounts = nullptr;
    mPlatformNums = 0;
    mDeviceNums = 0;
    mInited.store(false, std::memory_order_release);
    return true;
}

bool DeviceManager::getPlatformNums(int& n) {
    if (!isInited()) return false;
    n = static_cast<int>(mPlatformNums);
    return true;
}

bool DeviceManager::getDeviceNums(int& n) {
    if (!isInited()) return false;
    n = static_cast<int>(mDeviceNums);
    return true;
}

opencl_res* DeviceManager::resLocked(int platform, int device) {
    if (!mOpenclRes || mPlatformNums == 0) return nullptr;
    if (platform < 0 || platform >= static_cast<int>(mPlatformNums)) platform = 0;
    opencl_res* list = mOpenclRes[platform];
    if (!list) return nullptr;
    if (device < 0 || device >= static_cast<int>(mDeviceCounts[platform])) device = 0;
    return &list[device];
}

opencl_res* DeviceManager::getOpenclRes(int platform, int device) {
    if (!isInited()) init();
    std::lock_guard<std::mutex> lock(mMutex);
    return resLocked(platform, device);
}

bool DeviceManager::displayDeviceInfo() {
    if (!isInited()) return false;
    struct {
        char profile[64], driver[1028], name[64], vendor[64], version[256];
        size_t imgW, imgH;
        cl_ulong cacheSize;
        cl_uint cacheLine, units;
        cl_device_mem_cache_type cacheType;
        size_t timerRes, maxGroup, itemSizes[3];
        cl_uint clock;
        cl_ulong maxAlloc, memSize;
    } info;
    std::memset(&info, 0, sizeof info);
    for (cl_uint p = 0; p < mPlatformNums; ++p) {
        for (cl_uint d = 0; mOpenclRes && mOpenclRes[p] && d < mDeviceCounts[p]; ++d) {
            cl_device_id dev = mOpenclRes[p][d].device;
#define ZOR_QUERY(param, field)                                                               \
    if (!ZOR_CL_CHECK(g_cl.clGetDeviceInfo(dev, param, sizeof(info.field), &info.field, nullptr))) \
        return false;
            ZOR_QUERY(CL_DEVICE_PROFILE, profile)
            ZOR_QUERY(CL_DRIVER_VERSION, driver)
            ZOR_QUERY(CL_DEVICE_NAME, name)
            ZOR_QUERY(CL_DEVICE_VENDOR, vendor)
            ZOR_QUERY(CL_DEVICE_VERSION, version)
            ZOR_QUERY(CL_DEVICE_IMAGE2D_MAX_WIDTH, imgW)
            ZOR_QUERY(CL_DEVICE_IMAGE2D_MAX_HEIGHT, imgH)
            ZOR_QUERY(CL_DEVICE_GLOBAL_MEM_CACHE_SIZE, cacheSize)
            ZOR_QUERY(CL_DEVICE_GLOBAL_MEM_CACHELINE_SIZE, cacheLine)
            ZOR_QUERY(CL_DEVICE_MAX_COMPUTE_UNITS, units)
            ZOR_QUERY(CL_DEVICE_GLOBAL_MEM_CACHE_TYPE, cacheType)
            ZOR_QUERY(CL_DEVICE_PROFILING_TIMER_RESOLUTION, timerRes)
            ZOR_QUERY(CL_DEVICE_MAX_WORK_GROUP_SIZE, maxGroup)
            ZOR_QUERY(CL_DEVICE_MAX_WORK_ITEM_SIZES, itemSizes)
            ZOR_QUERY(CL_DEVICE_MAX_CLOCK_FREQUENCY, clock)
            ZOR_QUERY(CL_DEVICE_MAX_MEM_ALLOC_SIZE, maxAlloc)
            ZOR_QUERY(CL_DEVICE_GLOBAL_MEM_SIZE, memSize)
#undef ZOR_QUERY
        }
    }
    return false;
}

// ------------------------------------------------------------ SVM registry

int DeviceManager::allocSvmBuffer(void** out, int size, int alignment, int kind, int platform,
                                  int device) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r ? r->allocSvmBuffer(out, size, alignment, kind) : 0;
}

int DeviceManager::getSvmBuffer(void** out, int platform, int device) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r ? r->getSvmBuffer(out) : 0;
}

int DeviceManager::setSvmBuffer(void* ptr, int platform, int device) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    if (!r) return 0;
    if (!r->inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!r->svm_list) {
        ZOR_LOG("the list object is NULL, return");
        return 0;
    }
    for (opencl_svm* b : *r->svm_list) {
        if (b->ptr == ptr && b->kind == kSvmKindStaging && b->inUse) {
            b->inUse = 0;
            return 1;
        }
    }
    return 0;
}

int DeviceManager::isSvmBufferExist(void* ptr, int platform, int device) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r ? r->isSvmBufferExist(ptr) : 0;
}

int DeviceManager::freeSvmBuffer(void* ptr, int platform, int device) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r ? r->freeSvmBuffer(ptr) : 0;
}

bool DeviceManager::containsBlock(const void* ptr, uint64_t bytes, int platform, int device) {
    if (!isInited()) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r && r->findBlock(ptr, bytes) != nullptr;
}

}  // namespace ZOR
