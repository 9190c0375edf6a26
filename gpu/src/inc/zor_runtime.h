// Internals of the GPU runtime: the kernel registry, the device-side image
// parameters, the process objects and the run functions.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "gpu/src/inc/mira_gpu.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/param_utils.h"
#include "gpu/src/inc/program_map.h"

#define ZOR_HIDDEN __attribute__((visibility("hidden")))

namespace ZOR {

struct ZOR_HIDDEN KernelMapImpl;

// ------------------------------------------------------------ kernel table

// Looks `name` up in program_map. False only for a null name; *source is
// null for an unknown name.
MIRA_EXPORT bool get_program_kernel_name(const char** source, const char* name);

constexpr int kProfileCount = 20;
MIRA_EXPORT extern const char* const kernel_profiles[kProfileCount];
// Applies every work-profile row that names `kernelName` to `config`
// (tiling factors and local sizes).
MIRA_EXPORT void apply_kernel_profile(const char* kernelName, kernel_config* config);
// "-DtimesX=.. -DtimesY=.. -DtimesZ=.. -DboxWidth=.. -DboxHeight=..". No
// relaxed-math flag: float kernels compute as written (each also turns
// contraction off), so the CPU twins can match them bit for bit. The build
// adds -cl-fp32-correctly-rounded-divide-sqrt where the device offers it.
MIRA_EXPORT std::string kernel_build_options(const kernel_config& config);

// ------------------------------------------------------------ kernel registry

struct MIRA_EXPORT KernelPackage {
    char name[64];
    cl_program program;
    cl_kernel kernel;
    uint64_t handle;
    std::string options;
    // Work-group shape used when the call names none: the kernel's preferred
    // multiple across, as many rows as fit its limit (up to 4) down.
    size_t groupX = 0, groupY = 0;
};

// Built kernels keyed by handle, kernel name and build options. Cleared (its
// programs and kernels released) at de-initialisation.
class MIRA_EXPORT KernelUtils {
public:
    static KernelUtils* getInstance();
    static bool delInstance();

    // First package filed under `handle`, or null.
    KernelPackage* getKernel(uint64_t handle);
    // The package for exactly this handle, name and options, or null.
    KernelPackage* getKernel(uint64_t handle, const char* name, const std::string& options);
    // The same lookup without the "not found" log line.
    KernelPackage* findKernel(uint64_t handle, const char* name, const std::string& options);
    // The same lookup by the configuration the options are built from; a hit
    // is remembered, so later lookups format no options.
    KernelPackage* findKernel(uint64_t handle, const char* name, const kernel_config& config);
    // Builds `name` with the options of `param` and files it. A package whose
    // key is already present is returned but not filed (the first stays).
    // A build that failed is remembered (until the registry is cleared at
    // de-initialisation) and not tried again: the result is then null.
    KernelPackage* registerKernel(uint64_t handle, const char* name, process_param* param);
    // Whether a build of this key failed since the registry was created.
    bool buildFailed(uint64_t handle, const char* name, const std::string& options);
    // Whether any build failure is remembered (no lock: a relaxed flag).
    static bool hasFailedBuilds();
    bool getKernelName(const char*& source, const char* name);
    bool delKernel(uint64_t handle);
    bool releaseKernels();
    void checkKernels();
    size_t size();

    static KernelUtils* mClKernels;
    static std::mutex gMutex;       // lookups; and every launch from arguments to clFinish
    static std::mutex mBuildMutex;  // one build of a missing kernel at a time

    KernelUtils();
    ~KernelUtils();
    KernelUtils(const KernelUtils&) = delete;
    KernelUtils& operator=(const KernelUtils&) = delete;

private:
    static void freePackage(KernelPackage* p);
    KernelMapImpl* mKernelMap;  // (handle, name, options) -> package, and unfiled packages
};

// ------------------------------------------------------------ image parameters

// Device companion of a ZOR_U8Info (also used for ZOR_RGBInfo).
struct MIRA_EXPORT opencl_param_u8 {
    cl_mem mem;
    int32_t width, height, strideW, strideH;
    int32_t alignedStride;
    int32_t elemSize;
    uint8_t* host;
    void* mapped;
    uint32_t planes, planes2;  // RGB only
    bool svm;
    bool created;
    int64_t hostSize;  // bytes of the host buffer

    bool create(cl_context ctx, cl_command_queue q, const ZOR_U8Info* info, int access, int align,
                bool isSvm);
    bool createRgb(cl_context ctx, cl_command_queue q, const ZOR_RGBInfo* info, int access,
                   int align, int planeMask, int planeMask2, bool isSvm);
    bool map_host_to_device(cl_command_queue q);
    bool map_device_to_host(cl_command_queue q);
    void releaseMem();
    // Row pitch in bytes on the host and on the device, bytes per row and rows
    // that the operation reads or writes.
    ZOR_HIDDEN int64_t hostPitch() const;
    ZOR_HIDDEN int64_t devicePitch() const;
    ZOR_HIDDEN int64_t rowBytes() const;
    ZOR_HIDDEN int64_t rows() const;
};
using opencl_param_rgb = opencl_param_u8;

// Device companion of a ZOR_YuvInfo.
struct MIRA_EXPORT opencl_param_yuv {
    cl_mem memY, memU, memV;
    int32_t format;
    int32_t width, height, strideY, rowsY, strideU, strideV;
    int32_t chromaRows;
    int32_t alignedStrideY, alignedStrideU, alignedStrideV;
    uint8_t *hostY, *hostU, *hostV;
    void *mappedY, *mappedU, *mappedV;
    uint32_t planes, planes2;
    bool svm;
    bool created;

    bool create(cl_context ctx, cl_command_queue q, const ZOR_YuvInfo* info, int access,
                int align, int planeMask, int planeMask2, bool isSvm);
    bool map_host_to_device(cl_command_queue q);
    bool map_device_to_host(cl_command_queue q);
    bool validate();
    void releaseMem();
};

// Host geometry of a plane record: row pitch in bytes, bytes per row that
// the operation covers, and rows that lie wholly inside the `size` bytes.
void u8_geometry(const ZOR_U8Info& info, int64_t* pitch, int64_t* bytes, int64_t* rows);

// Bytes per chroma row and chroma rows that a YUV layout code defines for a
// luma area of width x height.
void yuv_chroma_extent(int format, int width, int height, int64_t* rowBytes, int64_t* rows);
bool yuv_semi_planar(int format);

MIRA_EXPORT bool create_mem_buffer(cl_context ctx, cl_command_queue q, cl_mem* out, void* data,
                                   void** mapped, int64_t width, int64_t height, int access);

// ------------------------------------------------------------ process objects

// The command queue of the GPU call running on this thread (the entry
// functions set it for the call's life: each call enqueues on a queue of its
// own), or null outside one.
cl_command_queue call_queue();
// The event the kernel of this thread's call waits for before it runs (its
// coarse-grained ranges' unmaps), or null; set by the entry functions.
cl_event call_fence();
void set_call_fence(cl_event fence);
struct CallQueueScope {
    explicit CallQueueScope(cl_command_queue q);
    ~CallQueueScope();
    CallQueueScope(const CallQueueScope&) = delete;
    CallQueueScope& operator=(const CallQueueScope&) = delete;
    cl_command_queue prev;
};

class MIRA_EXPORT Process_base {
public:
    Process_base();
    virtual ~Process_base();
    virtual bool doProcess(unsigned long handle) = 0;

    bool init(unsigned long handle, const char* source, const char* kernelName,
              process_param* param);
    void unInit(bool releaseDevice);

    uint32_t type;
    uint64_t handle;
    bool inited;
    opencl_res* res;
    cl_command_queue queue = nullptr;  // the call's queue (call_queue()), else the device's
    cl_program program;
    cl_kernel kernel;
    kernel_config* config;
    uint64_t configSet;
    KernelPackage* package;  // the registry's kernel for this call

    // Sets argument `idx` to an image plane (SVM pointer or buffer).
    cl_int setImageArg(cl_uint idx, bool svm, void* hostPtr, cl_mem mem);
    ZOR_HIDDEN bool checkConfig() const;
    // Enqueues the launch over the configured 2-D range (the caller holds
    // gMutex and waits for the queue after releasing it); true on success.
    bool launch(cl_uint argIndex);
    // After the queue is finished: adds the launch's device time to the
    // kernel timing (zor_test_time_kernels) and drops its event.
    void recordKernelTime();

    cl_event event = nullptr;  // the launch's event, only while kernel timing is on

private:
    kernel_config configStore;  // what `config` points at
};

class MIRA_EXPORT Process_U8_U8 : public Process_base {
public:
    Process_U8_U8();
    ~Process_U8_U8() override;
    bool setParameters(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                       ZOR_ReserveParam_Opencl* reserve, process_param* param);
    bool doProcess(unsigned long handle) override;
    void unInit();

    opencl_param_u8** srcParams = nullptr;
    opencl_param_u8** dstParams = nullptr;
    int srcNum = 0, dstNum = 0;
};

class MIRA_EXPORT Process_RGB_RGB : public Process_base {
public:
    Process_RGB_RGB();
    ~Process_RGB_RGB() override;
    bool setParameters(ZOR_RGBInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                       ZOR_ReserveParam_Opencl* reserve, process_param* param);
    bool doProcess(unsigned long handle) override;
    void unInit();

    opencl_param_rgb** srcParams = nullptr;
    opencl_param_rgb** dstParams = nullptr;
    int srcNum = 0, dstNum = 0;
};

class MIRA_EXPORT Process_YUV_YUV : public Process_base {
public:
    Process_YUV_YUV();
    ~Process_YUV_YUV() override;
    bool setParameters(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst, int dstNum,
                       ZOR_ReserveParam_Opencl* reserve, process_param* param);
    bool doProcess(unsigned long handle) override;
    void unInit();

    opencl_param_yuv** srcParams = nullptr;
    opencl_param_yuv** dstParams = nullptr;
    int srcNum = 0, dstNum = 0;
};

class MIRA_EXPORT Process_YUV_RGB : public Process_base {
public:
    Process_YUV_RGB();
    ~Process_YUV_RGB() override;
    // direction (modeC) 1 or 2: YUV in, RGB out; otherwise RGB in, YUV out.
    bool setParameters(ZOR_YuvInfo** yuv, int yuvNum, ZOR_RGBInfo** rgb, int rgbNum,
                       ZOR_ReserveParam_Opencl* reserve, process_param* param);
    bool doProcess(unsigned long handle) override;
    void unInit();

    opencl_param_yuv** srcParams = nullptr;  // YUV images
    opencl_param_rgb** dstParams = nullptr;  // RGB images
    int srcNum = 0, dstNum = 0;
    uint32_t direction = 0;
};

// Process objects filed under a handle (none are filed by the library itself).
MIRA_EXPORT Process_base* get_process_object(unsigned long handle);
MIRA_EXPORT bool add_process_object(Process_base* obj);
MIRA_EXPORT bool delete_process_object(unsigned long handle);
MIRA_EXPORT bool release_process_object(Process_base* obj);
MIRA_EXPORT bool flush_process_object(int);
MIRA_EXPORT bool set_process_object(Process_base* obj, bool add, ZOR_ReserveParam_Opencl* reserve);

// ------------------------------------------------------------ timer

class MIRA_EXPORT ZorTimer {
public:
    explicit ZorTimer(const char* name);
    void timer_init(const char* name);
    void timerReset();
    void timerStart();
    void timerEnd();
    int timer_calculate();
    void timerDisplay();
    int getCount() const { return count; }

    char name[256];
    int32_t count, min, max, current;
    int64_t sum;
    double avg;
    int64_t startSec, startUsec, endSec, endUsec;
    bool canStart, running;

private:
    ZOR_HIDDEN int32_t elapsed() const;
    void account(int32_t us);
};
MIRA_EXPORT extern ZorTimer mTimer;

// ------------------------------------------------------------ run functions

MIRA_EXPORT int run_u8_u8_process_opencl(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst,
                                         int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                         process_param* param);
MIRA_EXPORT int run_yuv_yuv_process_opencl(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst,
                                           int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                           process_param* param);
MIRA_EXPORT int run_yuv_rgb_process_opencl(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst,
                                           int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                           process_param* param);
MIRA_EXPORT int run_rgb_rgb_process_opencl(ZOR_RGBInfo** src, int srcNum, ZOR_RGBInfo** dst,
                                           int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                           process_param* param);

// The bridge between the lifecycle features and the device manager.
int run_operation_opencl(uint32_t code, int32_t count, va_list args);

// Forgets a failed bring-up so the next use tries again (ncvInit).
void reset_opencl_state();

}  // namespace ZOR
