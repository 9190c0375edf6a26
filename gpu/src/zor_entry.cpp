// The GPU entry functions: build the call's settings, stage host images that
// are not shared-virtual-memory blocks through pooled SVM buffers, run the
// process object and copy the results back. Also the run functions and the
// lifecycle bridge.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "gpu/src/inc/zor_log.h"
#include "gpu/src/inc/zor_runtime.h"

namespace ZOR {

namespace {

constexpr int64_t kRowUnit = 4;  // kernels address rows in 4-byte units

int64_t round_up(int64_t v, int64_t a) { return (v + a - 1) / a * a; }
bool aligned(const void* p, int64_t a) { return reinterpret_cast<uintptr_t>(p) % a == 0; }

// ------------------------------------------------------------ bring-up state

// 0 not tried since the last ncvInit, 1 up, 2 failed.
std::atomic<int> g_bringup{0};

// The device-failure latch (opencl_res.h): set once, cleared by ncvInit and
// ncvDeinit; and the launches that failed in a row.
std::atomic<bool> g_switched_off{false};
std::atomic<int> g_launch_failures{0};

void switch_off(const char* why, cl_int status) {
    if (g_switched_off.exchange(true)) return;
    ZOR_LOG("the OpenCL device is switched off after %s (code(%d) %s): GPU requests run on "
            "the CPU until ncvDeinit/ncvInit",
            why, static_cast<int>(status), cl_status_name(status));
}

// De-initialisation waits for the GPU calls and memory operations in flight,
// and new ones wait while it runs (a waiting de-initialisation goes first).
class LifecycleGate {
public:
    void enter() {
        std::unique_lock<std::mutex> lock(mMutex);
        mCv.wait(lock, [this] { return !mExclusive && mWaiting == 0; });
        ++mActive;
    }
    void leave() {
        std::lock_guard<std::mutex> lock(mMutex);
        if (--mActive == 0) mCv.notify_all();
    }
    void lock() {
        std::unique_lock<std::mutex> lock(mMutex);
        ++mWaiting;
        mCv.wait(lock, [this] { return !mExclusive && mActive == 0; });
        --mWaiting;
        mExclusive = true;
    }
    void unlock() {
        std::lock_guard<std::mutex> lock(mMutex);
        mExclusive = false;
        mCv.notify_all();
    }

private:
    std::mutex mMutex;
    std::condition_variable mCv;
    int mActive = 0;
    int mWaiting = 0;
    bool mExclusive = false;
};

LifecycleGate& gate() {
    static LifecycleGate* g = new LifecycleGate();  // lives to exit
    return *g;
}

struct SharedUse {
    SharedUse() { gate().enter(); }
    ~SharedUse() { gate().leave(); }
    SharedUse(const SharedUse&) = delete;
    SharedUse& operator=(const SharedUse&) = delete;
};

// ------------------------------------------------------------ staging

void copy_rows(uint8_t* dst, int64_t dstPitch, const uint8_t* src, int64_t srcPitch, int64_t rows,
               int64_t bytes) {
    for (int64_t r = 0; r < rows; ++r) std::memcpy(dst + r * dstPitch, src + r * srcPitch, bytes);
}

// One plane of a staged image: rows x bytes at a host pitch and at the
// staging pitch.
struct Plane {
    uint8_t* host = nullptr;
    int64_t hostPitch = 0;
    uint8_t* stage = nullptr;
    int64_t stagePitch = 0;
    int64_t rows = 0;
    int64_t bytes = 0;
    int64_t allocRows = 0;  // rows reserved in the staging buffer
};

// A staged image: up to three planes in one staging buffer.
struct Staged {
    void* buffer = nullptr;
    bool output = false;
    bool upload = true;  // copy the host bytes in (not for a destination the kernel fills)
    Plane planes[3];
    int count = 0;
    int64_t total = 0;  // bytes of the buffer the planes take
};

// Takes a pooled staging buffer sized to the image and lays the planes out
// in it. The caller holds DeviceManager::mMutex (the registry of `res`).
bool reserve_staging(opencl_res* res, Staged& s) {
    int64_t total = 0;
    for (int i = 0; i < s.count; ++i)
        total += round_up(s.planes[i].stagePitch * s.planes[i].allocRows, 64);
    if (total <= 0 || total > INT32_MAX || !res) return false;
    if (!res->getStagingBuffer(&s.buffer, static_cast<uint64_t>(total))) return false;
    s.total = total;
    uint8_t* at = static_cast<uint8_t*>(s.buffer);
    for (int i = 0; i < s.count; ++i) {
        s.planes[i].stage = at;
        at += round_up(s.planes[i].stagePitch * s.planes[i].allocRows, 64);
    }
    return true;
}

// Copies the host bytes into the staging planes. Sources carry their pixels;
// destinations carry the bytes the kernel may leave alone, so copying back
// changes nothing else.
void upload(const Staged& s) {
    if (!s.upload) return;
    for (int i = 0; i < s.count; ++i) {
        const Plane& p = s.planes[i];
        copy_rows(p.stage, p.stagePitch, p.host, p.hostPitch, p.rows, p.bytes);
    }
}

// Copies the destinations' planes back to the host (when `copyBack`) and
// gives the call's staging buffers back to the pool under one registry lock.
template <class StagedList>
void unstage_all(opencl_res* res, StagedList& staged, bool copyBack) {
    if (copyBack) {
        for (const Staged& s : staged) {
            if (!s.output) continue;
            for (int i = 0; i < s.count; ++i) {
                const Plane& p = s.planes[i];
                copy_rows(p.host, p.hostPitch, p.stage, p.stagePitch, p.rows, p.bytes);
            }
        }
    }
    if (staged.empty() || !res) return;
    std::lock_guard<std::mutex> lock(DeviceManager::mMutex);
    res->beginGiveBack();
    for (Staged& s : staged) {
        if (s.buffer) res->putStagingBuffer(s.buffer);
        s.buffer = nullptr;
    }
}

// Whether a plane can go to the kernel as it is: it lies in a registered
// block and its rows start on the kernels' row unit. The caller holds
// DeviceManager::mMutex.
bool zero_copy(opencl_res* res, const uint8_t* data, int64_t pitch, int64_t rows,
               int64_t bytes) {
    if (pitch % kRowUnit != 0 || !aligned(data, kRowUnit) || !res) return false;
    const opencl_svm* b = res->findBlock(data, (rows - 1) * pitch + bytes);
    return b != nullptr && !b->hostMemory;  // host blocks are staged like any host image
}

// Whether a plane of `rows` rows at `pitch` fits one allocation on the
// device; a larger image runs the CPU method. The caller holds
// DeviceManager::mMutex.
bool fits_device(const opencl_res* res, int64_t pitch, int64_t rows, int64_t bytes) {
    if (!res || pitch < 0 || rows < 1) return false;
    const uint64_t span = uint64_t(rows - 1) * uint64_t(pitch) + uint64_t(bytes);
    const uint64_t stagedSpan = uint64_t(rows) * uint64_t(round_up(pitch, kRowUnit));
    if (std::max(span, stagedSpan) <= res->maxPlaneBytes()) return true;
    ZOR_LOG("an image plane of %llu bytes is more than the device takes (%llu), the CPU method "
            "runs",
            static_cast<unsigned long long>(std::max(span, stagedSpan)),
            static_cast<unsigned long long>(res->maxPlaneBytes()));
    return false;
}

// Plane record <-> staging description. Returns false for an image that
// does not fit its own buffer.
// The caller holds DeviceManager::mMutex.
bool plan_u8(opencl_res* res, const ZOR_U8Info& info, bool output, bool* needStage, Staged* s) {
    if (!info.data || info.width < 1 || info.height < 1 || info.strideW < 1) return false;
    int64_t pitch, bytes, rows;
    u8_geometry(info, &pitch, &bytes, &rows);
    if (rows < static_cast<int64_t>(info.height) || bytes < 1) return false;
    if (!fits_device(res, pitch, std::max<int64_t>(info.strideH, rows), bytes)) return false;
    Plane& p = s->planes[0];
    p.host = info.data;
    p.hostPitch = pitch;
    p.rows = rows;
    p.bytes = bytes;
    s->count = 1;
    s->output = output;
    *needStage = !zero_copy(res, info.data, pitch, rows, bytes);
    if (!*needStage) return true;
    const int64_t unitsPerStride = pitch / info.strideW;  // 1, or elemSize for pixel strides
    const int64_t newStride = round_up(info.strideW, kRowUnit);
    p.stagePitch = newStride * unitsPerStride;
    p.allocRows = std::max<int64_t>(info.strideH, rows);
    return true;
}

void apply_u8(ZOR_U8Info& info, const Staged& s) {
    const Plane& p = s.planes[0];
    const int64_t unitsPerStride = p.hostPitch / info.strideW;
    info.data = p.stage;
    info.strideW = static_cast<uint32_t>(p.stagePitch / unitsPerStride);
    info.size = static_cast<size_t>(p.stagePitch * p.allocRows);
}

// YUV planes that a call touches: luma when `withLuma`, both chroma planes.
// The caller holds DeviceManager::mMutex.
bool plan_yuv(opencl_res* res, const ZOR_YuvInfo& info, bool withLuma, bool output,
              bool* needStage, Staged* s) {
    if (info.width < 1 || info.height < 1) return false;
    if (withLuma && (!info.dataY || info.strideY < info.width || info.rowsY < info.height))
        return false;
    if (!info.dataU || !info.dataV) return false;
    // Chroma geometry as the device parameters compute it.
    const int fmt = static_cast<int>(info.format);
    int64_t cBytes, cRows;
    yuv_chroma_extent(fmt, static_cast<int>(info.width), static_cast<int>(info.height), &cBytes,
                      &cRows);
    int64_t chromaRows = fmt < 4 ? info.rowsY / 2 : info.rowsY;
    if (fmt < 4 && info.dataY && info.dataU == info.dataY + int64_t(info.strideY) * info.rowsY) {
        const int64_t avail = static_cast<int64_t>(info.size) - int64_t(info.strideY) * info.rowsY;
        const int64_t perRow =
            yuv_semi_planar(fmt) ? info.strideU : int64_t(info.strideU) + info.strideV;
        if (perRow > 0 && avail > 0) chromaRows = std::min<int64_t>((info.rowsY + 1) / 2, avail / perRow);
    }
    cRows = std::min(cRows, chromaRows);
    const bool semi = info.dataU == info.dataV;
    s->count = 0;
    s->output = output;
    auto add = [&](uint8_t* host, int64_t pitch, int64_t rows, int64_t bytes) {
        Plane& p = s->planes[s->count++];
        p.host = host;
        p.hostPitch = pitch;
        p.stagePitch = round_up(pitch, kRowUnit);
        p.rows = rows;
        p.bytes = std::min(bytes, pitch);
        p.allocRows = rows;
    };
    if (withLuma) add(info.dataY, info.strideY, info.height, info.width);
    if (info.strideU < 1 || (!semi && info.strideV < 1)) return false;
    if ((withLuma && !fits_device(res, info.strideY, info.rowsY, info.width)) ||
        !fits_device(res, info.strideU, std::max<int64_t>(cRows, 1), cBytes) ||
        (!semi && !fits_device(res, info.strideV, std::max<int64_t>(cRows, 1), cBytes)))
        return false;
    add(info.dataU, info.strideU, cRows, cBytes);
    if (!semi) add(info.dataV, info.strideV, cRows, cBytes);
    bool allShared = true;
    for (int i = 0; i < s->count && allShared; ++i) {
        const Plane& p = s->planes[i];
        if (p.rows > 0 && !zero_copy(res, p.host, p.hostPitch, p.rows, p.bytes)) allShared = false;
    }
    *needStage = !allShared;
    return true;
}

void apply_yuv(ZOR_YuvInfo& info, const Staged& s, bool withLuma) {
    int i = 0;
    const bool semi = info.dataU == info.dataV;
    if (withLuma) {
        info.dataY = s.planes[i].stage;
        info.strideY = static_cast<uint32_t>(s.planes[i].stagePitch);
        ++i;
    }
    info.dataU = s.planes[i].stage;
    info.strideU = static_cast<uint32_t>(s.planes[i].stagePitch);
    ++i;
    if (semi) {
        info.dataV = info.dataU;
        info.strideV = info.strideU;
    } else {
        info.dataV = s.planes[i].stage;
        info.strideV = static_cast<uint32_t>(s.planes[i].stagePitch);
    }
}

bool rgb_to_u8(const ZOR_RGBInfo& r, ZOR_U8Info* u) {
    *u = ZOR_U8Info{r.width, r.height, r.size, r.strideW, r.strideH, r.elemSize, 1, r.data};
    return true;
}

// ------------------------------------------------------------ run functions

template <class Proc, class S, class D>
int run_process(S** src, int srcNum, D** dst, int dstNum, ZOR_ReserveParam_Opencl* reserve,
                process_param* param, bool* launched) {
    if (launched) *launched = false;
    if (!reserve || !param) {
        ZOR_LOG("input param is NULL, return");
        return 0;
    }
    Proc proc;
    char name[256] = {0};
    // Bounded copy; the zeroed array keeps the name terminated.
    std::memcpy(name, reserve->kernelName, strnlen(reserve->kernelName, sizeof name - 1));
    const char* source = nullptr;
    if (!get_program_kernel_name(&source, name)) {
        ZOR_LOG("get kernel name fail, return");
        return 0;
    }
    apply_kernel_profile(name, param->config);
    if (!proc.init(reserve->handle, source, name, param)) {
        ZOR_LOG("init process object fail, return");
        return 0;
    }
    if (reserve->objectOp != 0 || reserve->runMode == 1) {
        if ((!src && srcNum > 0) || !dst) {
            ZOR_LOG("input data ptr is NULL, return");
            return 0;
        }
        if (proc.setParameters(src, srcNum, dst, dstNum, reserve, param)) {
            const bool ok = proc.doProcess(reserve->handle);
            if (launched) *launched = ok;
        }
    }
    proc.unInit();
    return 1;
}

}  // namespace

int run_u8_u8_process_opencl(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                             ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return run_process<Process_U8_U8>(src, srcNum, dst, dstNum, reserve, param, nullptr);
}
int run_yuv_yuv_process_opencl(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst, int dstNum,
                               ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return run_process<Process_YUV_YUV>(src, srcNum, dst, dstNum, reserve, param, nullptr);
}
int run_yuv_rgb_process_opencl(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                               ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return run_process<Process_YUV_RGB>(src, srcNum, dst, dstNum, reserve, param, nullptr);
}
int run_rgb_rgb_process_opencl(ZOR_RGBInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                               ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return run_process<Process_RGB_RGB>(src, srcNum, dst, dstNum, reserve, param, nullptr);
}

void reset_opencl_state() { g_bringup.store(0); }

bool device_lost_status(cl_int status) {
    return status == CL_DEVICE_NOT_AVAILABLE || status == CL_OUT_OF_RESOURCES ||
           status == CL_INVALID_COMMAND_QUEUE || status == CL_INVALID_CONTEXT;
}

void device_status(cl_int status) {
    if (!device_lost_status(status) || g_switched_off.load(std::memory_order_relaxed)) return;
    // Only a device that is up: a failed bring-up is reported by ncvInit.
    DeviceManager* dm = DeviceManager::peekInstance();
    if (dm && dm->isInited()) switch_off("a lost or exhausted device", status);
}

void device_launch(bool ok) {
    if (ok) {
        if (g_launch_failures.load(std::memory_order_relaxed) != 0) g_launch_failures.store(0);
        return;
    }
    if (g_launch_failures.fetch_add(1) + 1 >= kLaunchFailureLimit)
        switch_off("failed launches in a row", CL_SUCCESS);
}

bool device_switched_off() { return g_switched_off.load(std::memory_order_relaxed); }

void device_latch_reset() {
    g_switched_off.store(false);
    g_launch_failures.store(0);
}

// ------------------------------------------------------------ bridge

int run_operation_opencl(uint32_t code, int32_t count, va_list args) {
    if (code > 6) return 1;
    if (code == 1) {
        gate().lock();
        const bool flushed = flush_process_object(1);
        // Kernels belong to the context that is about to go.
        KernelUtils::delInstance();
        const bool deleted = flushed && DeviceManager::delInstance();
        g_bringup.store(0);
        device_latch_reset();
        gate().unlock();
        return deleted ? 1 : 0;
    }
    SharedUse use;
    switch (code) {
        case 0: {
            reset_opencl_state();
            device_latch_reset();
            DeviceManager* dm = DeviceManager::getInstance();
            if (!dm->isInited()) dm->init();  // a retry after an earlier failure
            const bool up = dm->isInited();
            g_bringup.store(up ? 1 : 2);
            return up ? 1 : 0;
        }
        case 2: {
            if (count < 3) return 0;
            void** out = va_arg(args, void**);
            const uint32_t size = va_arg(args, uint32_t);
            const uint32_t alignment = va_arg(args, uint32_t);
            if (!out || size == 0 || size > INT32_MAX || alignment > INT32_MAX) return 0;
            return DeviceManager::getInstance()->allocSvmBuffer(
                out, static_cast<size_t>(size), static_cast<int>(alignment), kSvmKindCaller, 0, 0);
        }
        default:
            break;
    }
    if (count < 1) return 0;
    DeviceManager* dm = DeviceManager::getInstance();
    switch (code) {
        case 3:
            return dm->freeSvmBuffer(va_arg(args, void*), 0, 0);
        case 4: {
            void** out = va_arg(args, void**);
            return out ? dm->getSvmBuffer(out, 0, 0) : 0;
        }
        case 5:
            return dm->setSvmBuffer(va_arg(args, void*), 0, 0);
        case 6:
            return dm->isSvmBufferExist(va_arg(args, void*), 0, 0);
        default:
            return 0;
    }
}

}  // namespace ZOR

using namespace ZOR;

int zor_cv_opencl_operation(uint32_t code, int32_t count, ...) {
    va_list args;
    va_start(args, count);
    const int r = run_operation_opencl(code, count, args);
    va_end(args);
    return r != 0 ? 0 : 1;
}

namespace {

std::atomic<bool> g_test_unusable{false};

// Called with the lifecycle gate held.
bool usable_in_call() {
    if (g_test_unusable.load(std::memory_order_relaxed)) return false;
    if (device_switched_off()) return false;
    DeviceManager* dm = DeviceManager::peekInstance();
    if (dm && dm->isInited()) return true;
    if (g_bringup.load() == 2) return false;  // only ncvInit retries a failed bring-up
    dm = DeviceManager::getInstance();
    if (!dm->isInited()) dm->init();
    const bool up = dm->isInited();
    g_bringup.store(up ? 1 : 2);
    return up;
}

}  // namespace

bool zor_opencl_device_name(char* out, int bytes) {
    if (!out || bytes < 1) return false;
    out[0] = '\0';
    SharedUse use;  // a concurrent ncvDeinit waits: the manager stays alive meanwhile
    DeviceManager* dm = DeviceManager::peekInstance();
    return dm && dm->copyDeviceName(out, static_cast<size_t>(bytes));
}

bool zor_opencl_usable() {
    SharedUse use;
    return usable_in_call();
}

void zor_test_force_unusable(bool on) { g_test_unusable.store(on); }

ZOR_ReserveParam_Opencl zor_reserve(uint32_t featureId, const char* kernel) {
    ZOR_ReserveParam_Opencl r;
    std::memset(&r, 0, sizeof r);
    r.handle = 4095u + featureId;
    r.objectOp = 2;
    r.runMode = 1;
    if (kernel) std::strncpy(r.kernelName, kernel, sizeof r.kernelName - 1);
    r.srcSvm = 1;
    r.dstSvm = 1;
    return r;
}

void set_UV_plan_addr(ZOR_YuvInfo* info) {
    if (!info || !info->dataY) return;
    const int32_t plane = static_cast<int32_t>(info->strideY) * static_cast<int32_t>(info->rowsY);
    info->dataU = info->dataV = info->dataY + plane;
    switch (info->format) {
        case 2: info->dataV = info->dataY + plane * 5 / 4; break;
        case 3: info->dataU = info->dataY + plane * 5 / 4; break;
        case 6: info->dataV = info->dataY + plane * 3 / 2; break;
        case 7: info->dataU = info->dataY + plane * 3 / 2; break;
        case 10: info->dataV = info->dataY + 2 * plane; break;
        case 11: info->dataU = info->dataY + 2 * plane; break;
        default: break;
    }
}

namespace {

// The launch configuration of an entry: the caller's (or the default one)
// over the dst extent with the entry's steps.
kernel_config entry_config(const kernel_config* config, uint32_t width, uint32_t height,
                           int32_t stepX, int32_t stepY) {
    kernel_config kc = default_kernel_config();
    if (config) kc = *config;
    kc.globalX = static_cast<int32_t>(width);
    kc.globalY = static_cast<int32_t>(height);
    kc.globalZ = 1;
    kc.stepX = stepX;
    kc.stepY = stepY;
    kc.stepZ = 1;
    return kc;
}

// Whether the call's kernel failed to build earlier (remembered until
// ncvDeinit): then it runs its CPU twin before anything is staged or
// uploaded. Free while no build has failed.
bool remembered_build_failure(const ZOR_ReserveParam_Opencl& rv, const kernel_config& kc) {
    if (!KernelUtils::hasFailedBuilds()) return false;
    char name[256] = {0};
    std::memcpy(name, rv.kernelName, strnlen(rv.kernelName, sizeof name - 1));
    kernel_config c = kc;
    apply_kernel_profile(name, &c);
    return KernelUtils::getInstance()->buildFailed(rv.handle, name, kernel_build_options(c));
}

// A vector whose first N elements live inside it: a call's few records,
// staged images and lent blocks take no heap allocation.
template <class T, size_t N>
class SmallVec {
public:
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    T* data() { return onHeap_ ? heap_.data() : inline_; }
    const T* data() const { return onHeap_ ? heap_.data() : inline_; }
    T* begin() { return data(); }
    T* end() { return data() + n_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + n_; }
    T& operator[](size_t i) { return data()[i]; }
    T& back() { return data()[n_ - 1]; }
    void reserve(size_t k) {
        grow(k);
        if (onHeap_) heap_.reserve(k);
    }
    void resize(size_t k) {
        grow(k);
        if (onHeap_)
            heap_.resize(k);
        else
            for (size_t i = n_; i < k; ++i) inline_[i] = T();
        n_ = k;
    }
    void push_back(const T& v) {
        grow(n_ + 1);
        if (onHeap_)
            heap_.push_back(v);
        else
            inline_[n_] = v;
        ++n_;
    }

private:
    void grow(size_t k) {
        if (onHeap_ || k <= N) return;
        heap_.assign(inline_, inline_ + n_);
        onHeap_ = true;
    }
    T inline_[N] = {};
    std::vector<T> heap_;
    size_t n_ = 0;
    bool onHeap_ = false;
};

// Copies of the caller's records, which the staging adjusts, and pointers to
// them; false for a missing record or one that `usable` rejects.
template <class Recs, class Ptrs, class T, class Usable>
bool copy_records(T** in, int n, Recs& recs, Ptrs& ptrs, Usable usable) {
    recs.resize(static_cast<size_t>(n));
    ptrs.resize(recs.size());
    for (int i = 0; i < n; ++i) {
        if (!in[i] || !usable(*in[i])) return false;
        recs[i] = *in[i];
        ptrs[i] = &recs[i];
    }
    return true;
}

// The device of a call: its resources and shared-memory kind, fixed while
// the call holds the lifecycle gate, and the command queue the call has to
// itself (the thread's call_queue() meanwhile); null when none could be made.
struct CallDevice {
    DeviceManager* dm;
    opencl_res* res;
    uint32_t svm;
    cl_command_queue queue;
    CallQueueScope scope;
    CallDevice()
        : dm(DeviceManager::getInstance()), res(dm->getOpenclRes(0, 0)), svm(dm->svmMode()),
          queue(dm->takeQueue()), scope(queue) {}
    ~CallDevice() { dm->giveQueue(queue); }
    CallDevice(const CallDevice&) = delete;
    CallDevice& operator=(const CallDevice&) = delete;
};

// The shared memory a call's kernel reads or writes in place: the bytes of
// its staging buffers and of the caller's own ncvMemAlloc blocks that its
// images span. On coarse-grained devices exactly those byte ranges are
// unmapped for the launch and mapped again before the call returns (a
// source's staging bytes without their old contents: the next call
// overwrites them); bytes of the same blocks outside them stay mapped for the
// host throughout. On other kinds lending does nothing.
struct Lent {
    SmallVec<void*, 8> blocks;
    SmallVec<uint64_t, 8> bytes;
    SmallVec<uint8_t, 8> keep;  // per range: the host reads it after the kernel
    bool coarse = false;
    bool out = false;
    cl_event unmapped = nullptr;  // the kernel's wait: the ranges' unmaps
    void add(void* at, int64_t n, bool keepContents) {
        if (n <= 0) return;
        blocks.push_back(at);
        bytes.push_back(static_cast<uint64_t>(n));
        keep.push_back(keepContents ? 1 : 0);
    }
    bool lend() {
        if (blocks.empty() || !coarse) return true;
        out = true;
        const bool ok = DeviceManager::getInstance()->lendBlocks(
            blocks.data(), bytes.data(), static_cast<int>(blocks.size()), true, nullptr, &unmapped);
        set_call_fence(unmapped);
        return ok;
    }
    bool giveBack() {
        if (!out) return true;
        out = false;
        set_call_fence(nullptr);
        if (unmapped) g_cl.clReleaseEvent(unmapped);
        unmapped = nullptr;
        return DeviceManager::getInstance()->lendBlocks(
            blocks.data(), bytes.data(), static_cast<int>(blocks.size()), false, keep.data());
    }
};

// The kernel's run between lending the call's blocks to the device and
// taking them back; `done` tells whether the destinations hold its output.
template <class Proc, class S, class D>
int run_lent(Lent& lent, S** src, int srcNum, D** dst, int dstNum,
             ZOR_ReserveParam_Opencl* reserve, process_param* param, bool* done) {
    *done = false;
    if (!lent.lend()) {
        lent.giveBack();
        return 0;
    }
    bool launched = false;
    const int r = run_process<Proc>(src, srcNum, dst, dstNum, reserve, param, &launched);
    *done = lent.giveBack() && launched;
    return r;
}

// A call's staging: the images that go through staging buffers and the
// blocks lent to the kernel. Planning and taking buffers run under one
// registry lock (stage), the copies outside it.
struct CallStaging {
    const CallDevice& dev;
    SmallVec<Staged, 4> staged;
    Lent lent;
    explicit CallStaging(const CallDevice& d) : dev(d) { lent.coarse = d.svm == kSvmCoarse; }

    // A planned image: lent in place when `need` is false, else staged (its
    // buffer taken; the caller holds the registry lock). Returns the staged
    // copy, or null when it goes in place or on failure (*ok false).
    Staged* place(Staged& st, bool need, bool* ok) {
        if (!need) {
            for (int i = 0; i < st.count; ++i) {
                const Plane& p = st.planes[i];
                if (p.rows > 0) lent.add(p.host, (p.rows - 1) * p.hostPitch + p.bytes, true);
            }
            return nullptr;
        }
        if (!reserve_staging(dev.res, st)) {
            *ok = false;
            return nullptr;
        }
        staged.push_back(st);
        lent.add(st.buffer, st.total, st.output);
        return &staged.back();
    }
    // After planning, outside the registry's lock: new coarse staging
    // buffers are mapped before the host copies into them.
    bool ready() { return !lent.coarse || !fresh || dev.dm->waitMaps(); }
    // Whether planning made new staging buffers (stagingHeld grew under the
    // registry's lock).
    bool fresh = false;
    uint64_t heldBefore = 0;
    void uploadAll() {
        for (const Staged& s : staged) upload(s);
    }
    void finish(bool copyBack) { unstage_all(dev.res, staged, copyBack); }
};

int entry_u8(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
             ZOR_ReserveParam_Opencl* reserve, const kernel_config* config, bool* done) {
    *done = false;
    if (!reserve) {
        ZOR_LOG("the input reserve param object is NULL, return");
        return 16;
    }
    if (!dst || dstNum < 1 || !dst[0] || srcNum < 0 || (srcNum > 0 && !src)) return 0;
    SharedUse use;
    if (!usable_in_call()) return 0;
    const CallDevice dev;
    if (!dev.queue) return 0;

    kernel_config kc = entry_config(config, dst[0]->width, dst[0]->height, 4, 1);
    process_param pp{&kc, 3, 1, 4, 3, 3, -1, -1, 0x01010101u, 0x01010101u, 0x01010101u, 0x01010101u};
    ZOR_ReserveParam_Opencl rv = *reserve;
    if (remembered_build_failure(rv, kc)) return 0;
    if (dev.svm == kSvmNone) rv.srcSvm = rv.dstSvm = 0;  // device buffers instead

    SmallVec<ZOR_U8Info, 4> s, d;
    SmallVec<ZOR_U8Info*, 4> sp, dp;
    auto hasData = [](const ZOR_U8Info& info) { return info.data != nullptr; };
    if (!copy_records(src, srcNum, s, sp, hasData) || !copy_records(dst, dstNum, d, dp, hasData))
        return 0;
    CallStaging cs(dev);
    cs.staged.reserve(s.size() + d.size());
    bool ok = true;
    auto plan = [&](ZOR_U8Info& info, bool output, bool svm) {
        Staged st;
        bool need = false;
        if (!plan_u8(dev.res, info, output, &need, &st)) {
            ok = false;
            return;
        }
        if (!svm) return;
        st.upload = !(output && rv.dstWhole);
        if (Staged* staged = cs.place(st, need, &ok)) apply_u8(info, *staged);
    };
    {
        std::lock_guard<std::mutex> lock(DeviceManager::mMutex);
        cs.heldBefore = dev.res->stagingHeld;
        for (auto& info : s)
            if (ok) plan(info, false, rv.srcSvm != 0);
        for (auto& info : d)
            if (ok) plan(info, true, rv.dstSvm != 0);
        cs.fresh = dev.res->stagingHeld != cs.heldBefore;
    }
    if (!ok || !cs.ready()) {
        ZOR_LOG_AT(__func__, __LINE__, "image staging fail, return");
        cs.finish(false);
        return 0;
    }
    cs.uploadAll();
    const int r = run_lent<Process_U8_U8>(cs.lent, sp.data(), srcNum, dp.data(), dstNum, &rv, &pp,
                                          done);
    cs.finish(*done);
    return r;
}

template <class D>
int process_yuv(ZOR_YuvInfo** src, int srcNum, D** dst, int dstNum,
                ZOR_ReserveParam_Opencl* reserve, const kernel_config* config, bool toRgb,
                bool* done) {
    *done = false;
    if (!reserve) {
        ZOR_LOG("the input reserve param object is NULL, return");
        return 16;
    }
    if (!src || !dst || srcNum < 1 || dstNum < 1 || !src[0] || !dst[0]) return 0;
    SharedUse use;
    if (!usable_in_call()) return 0;
    const CallDevice dev;
    if (!dev.queue) return 0;

    kernel_config kc = entry_config(config, dst[0]->width, dst[0]->height, 8, 2);
    process_param pp;
    if (toRgb)
        pp = process_param{&kc, 1, 1, 4, 0, 2, static_cast<int32_t>(src[0]->format),
                           static_cast<int32_t>(dst[0]->format),
                           0x01010101u, 0x01010101u, 0x01010101u, 0x01010101u};
    else
        pp = process_param{&kc, 0, 1, 4, 0, 0, static_cast<int32_t>(src[0]->format),
                           static_cast<int32_t>(dst[0]->format),
                           257u, 257u, 257u, 257u};
    ZOR_ReserveParam_Opencl rv = *reserve;
    if (remembered_build_failure(rv, kc)) return 0;
    if (dev.svm == kSvmNone) rv.srcSvm = rv.dstSvm = 0;

    SmallVec<ZOR_YuvInfo, 4> s;
    SmallVec<ZOR_YuvInfo*, 4> sp;
    SmallVec<D, 4> d;
    SmallVec<D*, 4> dp;
    auto any = [](const auto&) { return true; };
    if (!copy_records(src, srcNum, s, sp, any) || !copy_records(dst, dstNum, d, dp, any)) return 0;
    CallStaging cs(dev);
    cs.staged.reserve(s.size() + d.size());
    bool ok = true;
    {
        std::lock_guard<std::mutex> lock(DeviceManager::mMutex);
        cs.heldBefore = dev.res->stagingHeld;
        struct Fresh {
            CallStaging& cs;
            opencl_res* res;
            ~Fresh() { cs.fresh = res->stagingHeld != cs.heldBefore; }
        } fresh{cs, dev.res};
        for (auto& info : s) {
            Staged st;
            bool need = false;
            if (!plan_yuv(dev.res, info, toRgb, false, &need, &st)) { ok = false; break; }
            if (!rv.srcSvm) continue;
            Staged* staged = cs.place(st, need, &ok);
            if (!ok) break;
            if (staged) apply_yuv(info, *staged, toRgb);
        }
        for (int i = 0; ok && i < dstNum; ++i) {
            Staged st;
            bool need = false;
            if constexpr (std::is_same<D, ZOR_RGBInfo>::value) {
                ZOR_U8Info u;
                rgb_to_u8(d[i], &u);
                if (!plan_u8(dev.res, u, true, &need, &st)) { ok = false; break; }
                if (!rv.dstSvm) continue;
                Staged* staged = cs.place(st, need, &ok);
                if (!ok) break;
                if (!staged) continue;
                apply_u8(u, *staged);
                d[i].data = u.data;
                d[i].strideW = u.strideW;
                d[i].size = u.size;
            } else {
                if (!plan_yuv(dev.res, d[i], false, true, &need, &st)) { ok = false; break; }
                if (!rv.dstSvm) continue;
                Staged* staged = cs.place(st, need, &ok);
                if (!ok) break;
                if (staged) apply_yuv(d[i], *staged, false);
            }
        }
    }
    if (!ok || !cs.ready()) {
        ZOR_LOG_AT(__func__, __LINE__, "image staging fail, return");
        cs.finish(false);
        return 0;
    }
    cs.uploadAll();
    int r;
    if constexpr (std::is_same<D, ZOR_RGBInfo>::value)
        r = run_lent<Process_YUV_RGB>(cs.lent, sp.data(), srcNum, dp.data(), dstNum, &rv, &pp,
                                      done);
    else
        r = run_lent<Process_YUV_YUV>(cs.lent, sp.data(), srcNum, dp.data(), dstNum, &rv, &pp,
                                      done);
    cs.finish(*done);
    return r;
}

int entry_yuv_rgb(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                  ZOR_ReserveParam_Opencl* reserve, const kernel_config* config, bool* done) {
    *done = false;
    if (reserve && dst && dstNum > 0 && dst[0] && dst[0]->format % 100 < 1) {
        ZOR_LOG("get rgb data channel number fail, return");
        return 0;
    }
    return process_yuv<ZOR_RGBInfo>(src, srcNum, dst, dstNum, reserve, config, true, done);
}

}  // namespace

int zor_cv_process_u8_u8(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                         ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    return entry_u8(src, srcNum, dst, dstNum, reserve, config, &done);
}

int zor_cv_process_yuv_yuv(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst, int dstNum,
                           ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    return process_yuv<ZOR_YuvInfo>(src, srcNum, dst, dstNum, reserve, config, false, &done);
}

int zor_cv_process_yuv_rgb(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                           ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    return entry_yuv_rgb(src, srcNum, dst, dstNum, reserve, config, &done);
}

bool zor_gpu_u8_u8(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                   ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    entry_u8(src, srcNum, dst, dstNum, reserve, config, &done);
    return done;
}

bool zor_gpu_yuv_yuv(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst, int dstNum,
                     ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    process_yuv<ZOR_YuvInfo>(src, srcNum, dst, dstNum, reserve, config, false, &done);
    return done;
}

bool zor_gpu_yuv_rgb(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                     ZOR_ReserveParam_Opencl* reserve, const kernel_config* config) {
    bool done;
    entry_yuv_rgb(src, srcNum, dst, dstNum, reserve, config, &done);
    return done;
}
