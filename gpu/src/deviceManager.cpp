// The OpenCL device manager: platforms, devices, one context per device with
// its in-order map queue, and the pool of the calls' own queues.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gpu/src/inc/mira_gpu.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_log.h"

namespace ZOR {

namespace {
constexpr cl_int kPlatformNotFoundKhr = -1001;
}

DeviceManager* DeviceManager::mInstance = nullptr;
std::mutex DeviceManager::mMutex;

namespace {
// mInstance for readers that take no lock (every GPU call asks for it several
// times); written with it, under mMutex.
std::atomic<DeviceManager*> g_instance{nullptr};
}  // namespace

DeviceManager* DeviceManager::getInstance() {
    if (DeviceManager* m = g_instance.load(std::memory_order_acquire)) return m;
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mInstance) {
        DeviceManager* m = new DeviceManager();
        if (!m->initLocked()) ZOR_TRACE("do init operation failed.");  // the cause is logged
        mInstance = m;
        g_instance.store(m, std::memory_order_release);
    }
    return mInstance;
}

DeviceManager* DeviceManager::peekInstance() {
    return g_instance.load(std::memory_order_acquire);
}

bool DeviceManager::delInstance() {
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mInstance) return false;
    g_instance.store(nullptr, std::memory_order_release);
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

namespace {

std::string device_text(cl_device_id d, cl_device_info what) {
    char buf[512] = {0};
    if (g_cl.clGetDeviceInfo(d, what, sizeof buf - 1, buf, nullptr) != CL_SUCCESS) return "";
    return buf;
}

std::string platform_text(cl_platform_id p, cl_platform_info what) {
    char buf[512] = {0};
    if (!g_cl.clGetPlatformInfo || g_cl.clGetPlatformInfo(p, what, sizeof buf - 1, buf, nullptr) != CL_SUCCESS)
        return "";
    return buf;
}

// Which devices may be taken. Without MIRA_OPENCL_DEVICE only GPU-type
// devices: an OpenCL CPU device is slower than the NEON methods. "any"
// also accepts other devices when no GPU exists; any other value takes the
// first device whose name contains it.
struct DeviceRule {
    bool any = false;
    std::string name;
};

DeviceRule device_rule() {
    DeviceRule r;
    const char* v = std::getenv("MIRA_OPENCL_DEVICE");
    if (!v || !*v) return r;
    if (std::strcmp(v, "any") == 0)
        r.any = true;
    else
        r.name = v;
    return r;
}

DeviceRank device_rank(cl_device_id d) {
    DeviceRank r{0, 0};
    if (g_cl.clGetDeviceInfo(d, CL_DEVICE_MAX_COMPUTE_UNITS, sizeof r.units, &r.units, nullptr) !=
        CL_SUCCESS)
        r.units = 0;
    if (g_cl.clGetDeviceInfo(d, CL_DEVICE_MAX_CLOCK_FREQUENCY, sizeof r.clockMHz, &r.clockMHz,
                             nullptr) != CL_SUCCESS)
        r.clockMHz = 0;
    return r;
}

}  // namespace

size_t best_device(const DeviceRank* devices, size_t n) {
    size_t best = 0;
    uint64_t bestScore = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint64_t score = uint64_t(devices[i].units) * devices[i].clockMHz;
        if (i == 0 || score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
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
    std::vector<cl_platform_id> ids(mPlatformNums);
    st = g_cl.clGetPlatformIDs(mPlatformNums, ids.data(), nullptr);
    if (!ZOR_CL_CHECK(st)) return false;

    // The most capable GPU across all platforms (compute units x clock);
    // failing that (with "any") the first device of any kind; or the first
    // whose name matches.
    const DeviceRule rule = device_rule();
    cl_device_id chosen = nullptr, fallback = nullptr;
    cl_platform_id chosenPlatform = nullptr, fallbackPlatform = nullptr;
    std::vector<cl_device_id> gpus;
    std::vector<cl_platform_id> gpuPlatforms;
    std::vector<DeviceRank> ranks;
    cl_uint total = 0;
    for (cl_uint p = 0; p < mPlatformNums && !chosen; ++p) {
        cl_uint n = 0;
        st = g_cl.clGetDeviceIDs(ids[p], CL_DEVICE_TYPE_ALL, 0, nullptr, &n);
        if (st == CL_DEVICE_NOT_FOUND || n == 0) continue;
        if (!ZOR_CL_CHECK(st)) continue;  // one broken platform does not stop the others
        std::vector<cl_device_id> devs(n);
        if (!ZOR_CL_CHECK(g_cl.clGetDeviceIDs(ids[p], CL_DEVICE_TYPE_ALL, n, devs.data(), nullptr)))
            continue;
        total += n;
        for (cl_device_id d : devs) {
            if (!rule.name.empty()) {
                if (device_text(d, CL_DEVICE_NAME).find(rule.name) != std::string::npos) {
                    chosen = d;
                    chosenPlatform = ids[p];
                    break;
                }
                continue;
            }
            cl_device_type type = 0;
            if (g_cl.clGetDeviceInfo(d, CL_DEVICE_TYPE, sizeof type, &type, nullptr) != CL_SUCCESS)
                continue;
            if (type & CL_DEVICE_TYPE_GPU) {
                gpus.push_back(d);
                gpuPlatforms.push_back(ids[p]);
                ranks.push_back(device_rank(d));
                continue;
            }
            if (rule.any && !fallback) {
                fallback = d;
                fallbackPlatform = ids[p];
            }
        }
    }
    if (!chosen && !gpus.empty()) {
        const size_t best = best_device(ranks.data(), ranks.size());
        chosen = gpus[best];
        chosenPlatform = gpuPlatforms[best];
        for (size_t i = 0; i < gpus.size(); ++i)
            ZOR_TRACE("opencl GPU \"%s\": %u compute units x %u MHz%s",
                      device_text(gpus[i], CL_DEVICE_NAME).c_str(), ranks[i].units,
                      ranks[i].clockMHz, i == best ? " (taken)" : "");
    }
    if (!chosen && fallback) {
        chosen = fallback;
        chosenPlatform = fallbackPlatform;
    }
    if (!chosen) {
        if (total == 0)
            ZOR_LOG("opencl device_gpu numbers=0, exit.");
        else if (!rule.name.empty())
            ZOR_LOG("opencl device_gpu numbers=0, exit. (no device named \"%s\" among %d)",
                    rule.name.c_str(), static_cast<int>(total));
        else  // a host without a GPU is no failure: its GPU requests run the CPU methods
            ZOR_TRACE("opencl device_gpu numbers=0, exit. (%d non-GPU devices; "
                      "MIRA_OPENCL_DEVICE=any accepts them)", static_cast<int>(total));
        return false;
    }
    mDeviceNums = 1;
    mRes = new opencl_res();
    if (!mRes->init(chosen)) return false;
    mPlatform = chosenPlatform;
    mDeviceName = device_text(chosen, CL_DEVICE_NAME);
    ZOR_TRACE("opencl device chosen: platform \"%s\" (%s), device \"%s\" (%s), driver %s, svm %s%s",
              platform_text(chosenPlatform, CL_PLATFORM_NAME).c_str(),
              platform_text(chosenPlatform, CL_PLATFORM_VERSION).c_str(), mDeviceName.c_str(),
              device_text(chosen, CL_DEVICE_VERSION).c_str(),
              device_text(chosen, CL_DRIVER_VERSION).c_str(),
              mRes->svmMode == kSvmFine ? "fine" : mRes->svmMode == kSvmCoarse ? "coarse" : "none",
              mRes->hostUnified ? "" : " (discrete: device buffers)");
    mInited.store(true, std::memory_order_release);
    return true;
}

bool DeviceManager::unInit() {
    if (mRes) {
        mRes->release();
        delete mRes;
        mRes = nullptr;
    }
    mPlatform = nullptr;
    mDeviceName.clear();
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

opencl_res* DeviceManager::resLocked(int, int) {
    // Only the chosen device has resources: every index names it.
    return mRes;
}

opencl_res* DeviceManager::getOpenclRes(int platform, int device) {
    // Once the device is up its resources stay until de-initialisation,
    // which waits for the calls in flight: no lock is needed to read them.
    if (isInited()) return resLocked(platform, device);
    init();
    std::lock_guard<std::mutex> lock(mMutex);
    return resLocked(platform, device);
}

std::string DeviceManager::deviceName() {
    std::lock_guard<std::mutex> lock(mMutex);
    return isInited() ? mDeviceName : std::string();
}

bool DeviceManager::copyDeviceName(char* out, size_t bytes) {
    if (!out || bytes == 0) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    const bool up = isInited();
    const size_t n = up ? std::min(mDeviceName.size(), bytes - 1) : 0;
    std::memcpy(out, mDeviceName.data(), n);
    out[n] = '\0';
    return up;
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
    {
        {
            if (!mRes) return false;
            cl_device_id dev = mRes->device;
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

int DeviceManager::allocSvmBuffer(void** out, size_t size, int alignment, int kind, int platform,
                                  int device) {
    if (!isInited()) return 0;
    int r;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        opencl_res* res = resLocked(platform, device);
        r = res ? res->allocSvmBuffer(out, size, alignment, kind) : 0;
    }
    // A new coarse block's map is waited for here, outside the lock.
    if (r && !waitMaps()) return 0;
    return r;
}

int DeviceManager::getSvmBuffer(void** out, int platform, int device) {
    if (!isInited()) return 0;
    int r;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        opencl_res* res = resLocked(platform, device);
        r = res ? res->getSvmBuffer(out) : 0;
    }
    if (r && !waitMaps()) return 0;
    return r;
}

int DeviceManager::getStagingBuffer(void** out, uint64_t bytes) {
    if (!isInited()) return 0;
    std::lock_guard<std::mutex> lock(mMutex);
    return mRes ? mRes->getStagingBuffer(out, bytes) : 0;
}

bool DeviceManager::lendBlocks(void* const* ptrs, const uint64_t* bytes, int n, bool toDevice,
                               const uint8_t* keep, cl_event* pending) {
    if (!isInited()) return false;
    if (!mRes || mRes->svmMode != kSvmCoarse) return true;  // fixed while up
    bool ok = true;
    cl_event fence;
    {
        // Only enqueues under the lock; the wait follows outside it.
        std::lock_guard<std::mutex> lock(mMutex);
        for (int i = 0; i < n; ++i)
            ok = mRes->lendRange(ptrs[i], bytes[i], toDevice, !keep || keep[i] != 0) && ok;
        fence = mRes->takeFence();
    }
    if (pending) {
        // The caller's kernel waits for the fence on the device.
        g_cl.clFlush(mRes->queue);
        *pending = fence;
        return ok;
    }
    return wait_fence(mRes->queue, fence) && ok;
}

bool DeviceManager::waitMaps() {
    if (!isInited()) return false;
    if (!mRes || mRes->svmMode != kSvmCoarse) return true;
    cl_event fence;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        fence = mRes->takeFence();
    }
    return wait_fence(mRes->queue, fence);
}

cl_command_queue DeviceManager::takeQueue() {
    if (!isInited() || !mRes) return nullptr;
    cl_command_queue q;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        q = mRes->takeIdleQueue();
    }
    if (q) return q;
    // A new one, made outside the lock (fixed while up: context and device).
    cl_int st = CL_SUCCESS;
    q = g_cl.clCreateCommandQueue(mRes->context, mRes->device, CL_QUEUE_PROFILING_ENABLE, &st);
    if (!ZOR_CL_CHECK(st)) return nullptr;
    return q;
}

void DeviceManager::giveQueue(cl_command_queue q) {
    if (!q) return;
    std::lock_guard<std::mutex> lock(mMutex);
    if (mRes)
        mRes->keepQueue(q);
    else
        g_cl.clReleaseCommandQueue(q);
}

uint32_t DeviceManager::svmMode() {
    if (!isInited()) return kSvmNone;
    // Fixed while the device is up (see getOpenclRes).
    return mRes && mRes->inited ? mRes->svmMode : static_cast<uint32_t>(kSvmNone);
}

void DeviceManager::stagingStats(uint64_t* held, uint64_t* peak, bool resetPeak) {
    std::lock_guard<std::mutex> lock(mMutex);
    const uint64_t h = mRes ? mRes->stagingHeld : 0;
    if (held) *held = h;
    if (peak) *peak = mRes ? mRes->stagingPeak : 0;
    if (resetPeak && mRes) mRes->stagingPeak = h;
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
    r->beginGiveBack();
    return r->putStagingBuffer(ptr);
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

cl_mem DeviceManager::takeBuffer(cl_context ctx, cl_mem_flags flags, size_t bytes,
                                 cl_int* status) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (isInited() && mRes && mRes->inited && mRes->context == ctx)
            return mRes->takeBuffer(flags, bytes, status);
    }
    return g_cl.clCreateBuffer(ctx, flags, bytes, nullptr, status);
}

void DeviceManager::giveBuffer(cl_mem mem) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (isInited() && mRes && mRes->giveBuffer(mem)) return;
    }
    g_cl.clReleaseMemObject(mem);
}

size_t DeviceManager::pooledBuffers() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mRes ? mRes->pooledBuffers() : 0;
}

bool DeviceManager::containsBlock(const void* ptr, uint64_t bytes, int platform, int device) {
    if (!isInited()) return false;
    std::lock_guard<std::mutex> lock(mMutex);
    opencl_res* r = resLocked(platform, device);
    return r && r->findBlock(ptr, bytes) != nullptr;
}

}  // namespace ZOR

bool zor_device_manager_exists() { return ZOR::DeviceManager::peekInstance() != nullptr; }

bool zor_device_manager_inited() {
    const ZOR::DeviceManager* dm = ZOR::DeviceManager::peekInstance();
    return dm != nullptr && dm->isInited();
}
