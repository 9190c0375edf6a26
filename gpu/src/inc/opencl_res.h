// The OpenCL device manager, its per-device resource records and their
// registry of shared-virtual-memory blocks, and the OpenCL status check.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "gpu/src/inc/cl_api.h"
#include "mira/mira_types.h"

namespace ZOR {

// Name of an OpenCL status code ("UNKNOWN ERROR CODE" outside the table).
MIRA_EXPORT const char* cl_status_name(int code);
// The status check: 0 passes; anything else is logged with its name, the
// calling function, file and line, and the result is false.
bool cl_check(cl_int status, const char* func, const char* file, int line);
#define ZOR_CL_CHECK(status) ::ZOR::cl_check((status), __func__, __FILE__, __LINE__)

// The device-failure latch. A device that is up and reports a status that
// means it is gone or exhausted (CL_DEVICE_NOT_AVAILABLE, CL_OUT_OF_RESOURCES,
// CL_INVALID_COMMAND_QUEUE, CL_INVALID_CONTEXT), or that fails
// kLaunchFailureLimit launches in a row, is switched off: one error line, and
// GPU requests run their CPU twins until ncvDeinit or ncvInit. cl_check feeds
// it every failed status; the launch path reports each launch.
constexpr int kLaunchFailureLimit = 3;
// Whether `status` switches the device off.
bool device_lost_status(cl_int status);
// A failed status seen while the device is up (no effect during bring-up).
void device_status(cl_int status);
// A launch (enqueue and wait) that succeeded or failed.
void device_launch(bool ok);
// Whether the latch is set.
bool device_switched_off();
// Clears the latch and the failure count (ncvInit, ncvDeinit).
void device_latch_reset();

// How the host may touch shared virtual memory on a device.
enum SvmMode : uint32_t {
    kSvmNone = 0,    // no SVM: images go through device buffers
    kSvmCoarse = 1,  // coarse-grained buffers: host access between map and unmap
    kSvmFine = 2,    // fine-grained buffers: host and device share addresses directly
};

// An SVM alignment every device accepts (the size of the largest OpenCL C
// type); larger alignments the device refuses are made by offsetting.
constexpr uint32_t kSvmSafeAlignment = 128;

// Kinds of registered blocks.
constexpr uint32_t kSvmKindStaging = 0;      // pooled staging buffer
constexpr uint32_t kSvmKindDedicated = 1;    // staging buffer of one large image
constexpr uint32_t kSvmKindCaller = 0xF0;    // ncvMemAlloc block
// Size of a staging buffer handed out without a size (the bridge's code 4).
constexpr uint32_t kStagingBytes = 0x4000000;
// Staging buffers kept for reuse once given back: at most this many bytes in
// at most this many blocks; the rest goes back at once.
constexpr uint64_t kPoolKeptBytes = 0x4000000;
constexpr int kPoolKeptBlocks = 8;

// The size a staging request of `bytes` is rounded up to: a power of two
// from 4 KiB to 64 KiB, whole 64 KiB units above.
uint64_t staging_round(uint64_t bytes);

// Waits (outside every lock) for `fence` from opencl_res::takeFence on the
// map queue `q`, and releases it; true when there is none. False when it
// failed (logged).
bool wait_fence(cl_command_queue q, cl_event fence);

// The shared-memory kind a device of `detected` kind runs with: at most the
// kind a test forced (zor_test_force_svm), otherwise what it has.
uint32_t svm_mode_limit(uint32_t detected);

// A byte range of a coarse-grained block: mapped for the host as one piece
// (`lent` 0: the unit one map and one unmap cover), or lent to the kernels of
// `lent` calls (unmapped).
struct MapSegment {
    uint64_t off;
    uint64_t size;
    int32_t lent;
};

// One registered block.
struct MIRA_EXPORT opencl_svm {
    cl_context context;
    void* ptr;
    size_t size;
    uint32_t alignment;
    uint32_t kind;
    uint8_t inUse;
    uint8_t owned;
    uint8_t hostMemory;  // plain host memory (device without SVM, or above its largest allocation)
    // Coarse-grained blocks: the queue their maps and unmaps go to (the
    // device's map queue; null on other kinds) and their ranges in address
    // order, covering the block.
    cl_command_queue queue;
    std::vector<MapSegment> segments;
    uint64_t lastUse = 0;  // staging: when it was last given back (opencl_res::useTick)
    void* base = nullptr;  // the allocation, when `ptr` was offset into it for its alignment

    // Allocates the block in `context`; 1 on success, 0 on failure. A coarse
    // block's write-invalidate map is enqueued, not waited for: *fence (the
    // caller holds DeviceManager::mMutex) becomes its event.
    int create(cl_context ctx, size_t size, int alignment, int kind, cl_event* fence = nullptr);
    // Gives the memory back (when owned). A coarse block's mapped pieces are
    // unmapped and the memory freed behind them on its queue.
    void release();
    // Coarse-grained: lends bytes [off, off + bytes) to the kernels (unmapping
    // the pieces that hold them; parts of those pieces outside the range are
    // mapped again write-invalidate, so no bytes come back over the host's)
    // or takes them back (bytes no other call holds are mapped again, with
    // their contents when `keep`, else write-invalidate). Only enqueues;
    // *fence becomes the event of the last command. False when one failed.
    bool lendRange(uint64_t off, uint64_t bytes, bool toDevice, bool keep, cl_event* fence);
    // Whether every byte of the block is mapped for the host (no call holds any).
    bool allMapped() const;
};

// A device buffer kept for reuse (devices without SVM take images through
// buffers): its flags and size, and whether a call holds it.
struct PooledBuffer {
    cl_mem mem;
    cl_mem_flags flags;
    size_t size;
    bool inUse;
    uint64_t lastUse;  // when it was last given back (opencl_res::useTick)
};

// Resources of one device.
struct MIRA_EXPORT opencl_res {
    cl_device_id device;
    cl_context context;
    // The device's in-order queue of coarse-grained maps and unmaps (and the
    // queue of code outside a call); calls launch on queues of their own.
    cl_command_queue queue;
    std::list<opencl_svm*>* svm_list;
    bool inited;
    uint32_t svmMode;  // SvmMode of the device
    bool gpu;          // a GPU-type device (launches use the kernels' preferred shape)
    bool hostUnified = true;  // CL_DEVICE_HOST_UNIFIED_MEMORY: false on discrete cards (no SVM)
    uint64_t maxAlloc = UINT64_MAX;  // CL_DEVICE_MAX_MEM_ALLOC_SIZE
    // The most bytes one image plane may span on the device: its largest
    // allocation, and never 2 GiB or more (kernels address with 32-bit ints).
    uint64_t maxPlaneBytes() const {
        return maxAlloc < uint64_t(INT32_MAX) ? maxAlloc : uint64_t(INT32_MAX);
    }

    bool init(cl_device_id dev);
    void release();  // context, queue and every registered block

    // Registry operations; the caller holds DeviceManager::mMutex. 1 = success.
    int allocSvmBuffer(void** out, size_t size, int alignment, int kind);
    int getSvmBuffer(void** out);
    // A staging buffer of at least `bytes` bytes: a kept one that fits, or a
    // new one of staging_round(bytes).
    int getStagingBuffer(void** out, uint64_t bytes);
    int lendNewStaging(void** out, uint64_t bytes);
    // Gives a staging buffer back and trims the kept ones to the pool's cap.
    // Buffers given back after one beginGiveBack() count as used together.
    void beginGiveBack() { ++useTick; }
    int putStagingBuffer(void* ptr);
    // Coarse-grained SVM: bytes [ptr, ptr + bytes) of a registered block go
    // to the device (unmapped for the host) or come back (mapped again;
    // without their contents unless `keep`, for bytes the host overwrites
    // before reading). Only enqueues, on the map queue (`queue`); the caller
    // waits for takeFence() after releasing the mutex. Nothing on other kinds.
    bool lendRange(const void* ptr, uint64_t bytes, bool toDevice, bool keep = true);
    // The event of the last command enqueued on the map queue, retained for
    // the caller (who waits for it and releases it), or null when none is
    // pending. The map queue is in order: when it completes, every map and
    // unmap enqueued before it has too.
    cl_event takeFence();
    cl_event mapFence = nullptr;
    // Command queues of calls: every call enqueues its uploads, kernel and
    // read-backs on a queue of its own, taken from here and given back.
    // Kept idle ones are released at de-initialisation.
    cl_command_queue takeIdleQueue();
    void keepQueue(cl_command_queue q);
    std::vector<cl_command_queue>* idleQueues = nullptr;
    uint64_t useTick = 0;  // counts give-backs to the pools (least recently used goes first)
    uint64_t stagingHeld = 0;  // bytes of staging buffers registered (kept or lent)
    uint64_t stagingPeak = 0;
    // Device buffers by flags and size, for calls on devices without SVM;
    // the caller holds DeviceManager::mMutex. takeBuffer gives a kept idle
    // buffer of staging_round(bytes) bytes or a new one (null, with *status
    // set, when none can be made); giveBuffer takes it back (false when it
    // is not from the pool) and trims the idle ones to the staging pool's cap.
    cl_mem takeBuffer(cl_mem_flags flags, size_t bytes, cl_int* status);
    bool giveBuffer(cl_mem mem);
    // Buffers the pool holds (idle or lent).
    size_t pooledBuffers() const { return memPool ? memPool->size() : 0; }
    std::list<PooledBuffer>* memPool = nullptr;
    int isSvmBufferExist(void* ptr);
    int freeSvmBuffer(void* ptr);
    // The registered block containing [ptr, ptr + bytes), or null.
    opencl_svm* findBlock(const void* ptr, uint64_t bytes);
};

// What device ranking compares: compute units and clock (MHz). The index of
// the device with the most units x clock, the first one on a tie; 0 for none.
struct DeviceRank {
    cl_uint units;
    cl_uint clockMHz;
};
MIRA_EXPORT size_t best_device(const DeviceRank* devices, size_t n);

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
    // Name of the device in use ("" when none is up).
    std::string deviceName();
    // The same into `out` (at most bytes - 1 characters); false, with "",
    // when none is up.
    bool copyDeviceName(char* out, size_t bytes);

    int allocSvmBuffer(void** out, size_t size, int alignment, int kind, int platform, int device);
    int getSvmBuffer(void** out, int platform, int device);
    int getStagingBuffer(void** out, uint64_t bytes);
    int setSvmBuffer(void* ptr, int platform, int device);
    // Coarse-grained SVM: hands the byte ranges [ptrs[i], ptrs[i] + bytes[i])
    // to the kernels (unmapping them) or back to the host (mapping them;
    // `keep`, when given, says per range whether its contents are wanted
    // back). The maps and unmaps are enqueued under the mutex and waited for
    // after it is released: when this returns they are done. With `pending`,
    // nothing is waited for: *pending gets the event to wait for (null when
    // none; the caller releases it), e.g. in its kernel's wait list. False
    // when one failed (logged).
    bool lendBlocks(void* const* ptrs, const uint64_t* bytes, int n, bool toDevice,
                    const uint8_t* keep = nullptr, cl_event* pending = nullptr);
    // Waits for the maps and unmaps enqueued so far (a new coarse block's
    // map), outside the mutex; false when one failed.
    bool waitMaps();
    // A command queue for one call (from the idle ones, or a new one; null
    // when none can be made), and giving it back.
    cl_command_queue takeQueue();
    void giveQueue(cl_command_queue q);
    // The device's shared-memory kind (kSvmNone when no device is up).
    uint32_t svmMode();
    // Staging bytes held now and the most held since the last reset.
    void stagingStats(uint64_t* held, uint64_t* peak, bool resetPeak);
    int isSvmBufferExist(void* ptr, int platform, int device);
    int freeSvmBuffer(void* ptr, int platform, int device);
    // Under the mutex: whether [ptr, ptr + bytes) lies in one registered block.
    bool containsBlock(const void* ptr, uint64_t bytes, int platform, int device);
    // Device buffers of the pool (opencl_res::takeBuffer), under the mutex:
    // from the pool when `ctx` is the device's context, else made and
    // released directly.
    cl_mem takeBuffer(cl_context ctx, cl_mem_flags flags, size_t bytes, cl_int* status);
    void giveBuffer(cl_mem mem);
    size_t pooledBuffers();

    static DeviceManager* mInstance;
    static std::mutex mMutex;

private:
    bool initLocked();
    opencl_res* resLocked(int platform, int device);

    cl_uint mPlatformNums = 0;
    cl_uint mDeviceNums = 0;
    cl_platform_id mPlatform = nullptr;  // platform of the chosen device
    std::string mDeviceName;
    opencl_res* mRes = nullptr;  // the one device that has a context and queue
    std::atomic<bool> mInited{false};
};

}  // namespace ZOR
