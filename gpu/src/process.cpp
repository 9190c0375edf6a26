// Process objects: one GPU operation call bound to its kernel, device and
// image parameters; argument setting and the 2-D launch; the handle map; the
// cost-time timer; the run functions.
#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <map>

#include "gpu/src/inc/zor_log.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace ZOR {

namespace {

// Kernel timing (a test and benchmark hook).
std::atomic<bool> g_time_kernels{false};
std::atomic<uint64_t> g_kernel_ns{0};
std::atomic<uint64_t> g_kernel_launches{0};

size_t ceil_div(int64_t a, int64_t b) { return static_cast<size_t>((a + b - 1) / b); }

template <typename T>
void free_params(T**& arr, int n) {
    if (!arr) return;
    for (int i = 0; i < n; ++i) {
        if (arr[i]) {
            arr[i]->releaseMem();
            delete arr[i];
        }
    }
    delete[] arr;
    arr = nullptr;
}

}  // namespace

// ------------------------------------------------------------ call queue

namespace {
thread_local cl_command_queue t_call_queue = nullptr;
thread_local cl_event t_call_fence = nullptr;
}

cl_event call_fence() { return t_call_fence; }
void set_call_fence(cl_event fence) { t_call_fence = fence; }

cl_command_queue call_queue() { return t_call_queue; }

CallQueueScope::CallQueueScope(cl_command_queue q) : prev(t_call_queue) { t_call_queue = q; }
CallQueueScope::~CallQueueScope() { t_call_queue = prev; }

// ------------------------------------------------------------ Process_base

Process_base::Process_base()
    : type(4), handle(0), inited(false), res(nullptr), program(nullptr), kernel(nullptr),
      config(&configStore), configSet(0), package(nullptr), configStore(default_kernel_config()) {}

Process_base::~Process_base() {
    if (event && cl_loaded() && g_cl.clReleaseEvent) g_cl.clReleaseEvent(event);
    event = nullptr;
    if (cl_loaded()) {
        if (kernel) g_cl.clReleaseKernel(kernel);
        if (program) g_cl.clReleaseProgram(program);
    }
    kernel = nullptr;
    program = nullptr;
    inited = false;
    configSet = 0;
}

bool Process_base::init(unsigned long h, const char* source, const char* kernelName,
                        process_param* param) {
    if (!source || !kernelName || !param || !param->config) return false;
    const kernel_config& c = *param->config;
    if (c.timesX < 1 || c.timesY < 1 || c.timesZ < 1) return false;
    config->timesX = c.timesX;
    config->timesY = c.timesY;
    config->timesZ = c.timesZ;
    res = DeviceManager::getInstance()->getOpenclRes(0, 0);
    // The call's own queue; code outside a call uses the device's.
    queue = call_queue();
    if (!queue && res) queue = res->queue;
    KernelUtils* ku = KernelUtils::getInstance();
    package = ku->findKernel(h, kernelName, c);
    if (!package) {
        // One build at a time: threads that miss the same kernel together
        // build it once.
        const std::string options = kernel_build_options(c);
        std::lock_guard<std::mutex> lock(KernelUtils::mBuildMutex);
        package = ku->getKernel(h, kernelName, options);
        if (!package) {
            ku->registerKernel(h, kernelName, param);
            ku->checkKernels();
            package = ku->findKernel(h, kernelName, options);
        }
    }
    inited = true;
    return true;
}

void Process_base::unInit(bool releaseDevice) {
    if (releaseDevice && res) {
        res->release();
        res = nullptr;
    }
    if (cl_loaded()) {
        if (kernel) g_cl.clReleaseKernel(kernel);
        if (program) g_cl.clReleaseProgram(program);
    }
    kernel = nullptr;
    program = nullptr;
    inited = false;
    configSet = 0;
}

cl_int Process_base::setImageArg(cl_uint idx, bool svm, void* hostPtr, cl_mem mem) {
    cl_kernel k = package->kernel;
    if (svm) return g_cl.clSetKernelArgSVMPointer(k, idx, hostPtr);
    return g_cl.clSetKernelArg(k, idx, sizeof(cl_mem), &mem);
}

bool Process_base::checkConfig() const {
    const kernel_config& c = *config;
    return c.globalX >= 1 && c.globalY >= 1 && c.globalZ >= 1 && c.localX >= 0 &&
           c.localY >= 0 && c.localZ >= 0 && c.stepX >= 1 && c.stepY >= 1 && c.stepZ >= 1 &&
           c.timesX >= 1 && c.timesY >= 1 && c.timesZ >= 1;
}

// Called with gMutex held and the image arguments set up to `argIndex`.
bool Process_base::launch(cl_uint argIndex) {
    cl_kernel k = package->kernel;
    cl_int st = CL_SUCCESS;
    st |= g_cl.clSetKernelArg(k, argIndex++, sizeof(float), &config->param_float_1);
    st |= g_cl.clSetKernelArg(k, argIndex++, sizeof(float), &config->param_float_2);
    st |= g_cl.clSetKernelArg(k, argIndex++, sizeof(int32_t), &config->param_int_1);
    st |= g_cl.clSetKernelArg(k, argIndex++, sizeof(int32_t), &config->param_int_2);
    if (!ZOR_CL_CHECK(st)) return false;
    // The range covers the whole extent: partial last units are launched and
    // the kernels guard them.
    size_t global[2] = {ceil_div(ceil_div(config->globalX, config->stepX), config->timesX),
                        ceil_div(ceil_div(config->globalY, config->stepY), config->timesY)};
    size_t local[2] = {static_cast<size_t>(config->localX), static_cast<size_t>(config->localY)};
    bool useLocal = config->localX > 0 && config->localY > 0 && config->localZ > 0;
    if (!useLocal && package->groupX > 0) {
        // The kernel's preferred shape; the range is rounded up to it and the
        // kernels guard the items past the image.
        local[0] = package->groupX;
        local[1] = package->groupY;
        useLocal = true;
    }
    if (useLocal) {
        global[0] = ceil_div(static_cast<int64_t>(global[0]), local[0]) * local[0];
        global[1] = ceil_div(static_cast<int64_t>(global[1]), local[1]) * local[1];
    }
    const bool timed = g_time_kernels.load(std::memory_order_relaxed) && !event &&
                       g_cl.clGetEventProfilingInfo && g_cl.clReleaseEvent;
    // After the unmaps of the call's coarse-grained ranges (on the map queue).
    cl_event after = call_fence();
    st = g_cl.clEnqueueNDRangeKernel(queue, k, 2, nullptr, global,
                                     useLocal ? local : nullptr, after ? 1 : 0,
                                     after ? &after : nullptr, timed ? &event : nullptr);
    if (st != CL_SUCCESS) {
        log_stdout("costtime_debug -- clEnqueueNDRangeKernel fail. %d\n\n", st);
        ZOR_CL_CHECK(st);
        return false;
    }
    // The arguments were captured at the enqueue: the caller waits for the
    // kernel with the registry lock released, so other calls may set the
    // same kernel's arguments meanwhile.
    return true;
}

void Process_base::recordKernelTime() {
    if (!event) return;
    cl_ulong start = 0, end = 0;
    if (g_cl.clGetEventProfilingInfo(event, CL_PROFILING_COMMAND_START, sizeof start, &start,
                                     nullptr) == CL_SUCCESS &&
        g_cl.clGetEventProfilingInfo(event, CL_PROFILING_COMMAND_END, sizeof end, &end,
                                     nullptr) == CL_SUCCESS &&
        end >= start) {
        g_kernel_ns.fetch_add(end - start);
        g_kernel_launches.fetch_add(1);
    }
    g_cl.clReleaseEvent(event);
    event = nullptr;
}

// ------------------------------------------------------------ shared steps

namespace {

// The row pitch a U8/RGB kernel sees: the device pitch for buffers, the host
// stride for SVM images.
int32_t kernel_stride(const opencl_param_u8& p) { return p.svm ? p.strideW : p.alignedStride; }

bool param_ok(opencl_param_u8& p) {
    if (!p.svm && !p.mem) return false;
    if (p.svm && !p.host) return false;
    if (p.width < 1 || p.height < 1) return false;
    if (p.strideW <= p.width) p.strideW = p.width;
    if (p.strideH <= p.height) p.strideH = p.height;
    return true;
}

bool param_ok(opencl_param_yuv& p) { return p.validate(); }

// Sets the arguments of one U8/RGB image: the plane, then width, height,
// row pitch, rows and, for RGB kernels, the element size.
cl_int set_image_args(Process_base& self, cl_kernel k, cl_uint& idx, opencl_param_u8& p,
                      bool withElem) {
    cl_int st = self.setImageArg(idx++, p.svm, p.host, p.mem);
    const int32_t stride = kernel_stride(p);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.width);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.height);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &stride);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.strideH);
    if (withElem) st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.elemSize);
    return st;
}

// Sets the arguments of one YUV image: the planes its mask selects, then
// width, height, luma pitch, luma rows and the two chroma pitches.
cl_int set_image_args(Process_base& self, cl_kernel k, cl_uint& idx, opencl_param_yuv& p,
                      bool) {
    cl_int st = CL_SUCCESS;
    if ((p.planes >> 16) & 0xFF) st |= self.setImageArg(idx++, p.svm, p.hostY, p.memY);
    if ((p.planes >> 8) & 0xFF) st |= self.setImageArg(idx++, p.svm, p.hostU, p.memU);
    if (p.planes & 0xFF) st |= self.setImageArg(idx++, p.svm, p.hostV, p.memV);
    const int32_t sY = p.svm ? p.strideY : p.alignedStrideY;
    const int32_t sU = p.svm ? p.strideU : p.alignedStrideU;
    const int32_t sV = p.svm ? p.strideV : p.alignedStrideV;
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.width);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.height);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &sY);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.rowsY);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &sU);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &sV);
    return st;
}

// The log lines of the steps below carry the function name and line of the
// process method they belong to (each class has its own), so the steps are
// handed both. A line of 0 means the class logs nothing at that point.
struct LogAt {
    const char* func;
    int line;
};

void log_at(LogAt at, const char* text) {
    if (at.line) ZOR_LOG_AT(at.func, at.line, "%s", text);
}

template <typename P>
void alloc_params(P**& params, int n) {
    if (!params) params = new P*[n]();
}

// Creates the device companions of `n` image records and, when `upload`,
// stages them to the device. `create(param, info)` builds one.
template <typename P, typename Info, typename Create>
bool create_params(const Process_base& self, P** params, Info** infos, int n, bool upload,
                   Create create, LogAt at, const char* failText) {
    for (int i = 0; i < n; ++i) {
        params[i] = new P();
        if (!create(*params[i], infos[i])) {
            log_at(at, failText);
            return false;
        }
        if (upload && !params[i]->map_host_to_device(self.queue)) return false;
    }
    return true;
}

template <typename S, typename D>
void release_params(S**& src, int srcNum, D**& dst, int dstNum) {
    free_params(src, srcNum);
    free_params(dst, dstNum);
}

// How a process class runs its kernel: its log lines and texts, and the
// order of its images.
struct RunSteps {
    LogAt srcError;
    const char* srcText;
    LogAt dstError;
    const char* dstText;
    LogAt configError;
    LogAt kernel;     // "doprocess kernel" line
    LogAt argsCheck;  // status check of the argument setting
    bool withElem;    // U8/RGB images pass their element size
    bool dstFirst;    // the dst images come first and the src images are written back
};

// Checks the images and the configuration, sets the arguments (src images,
// dst images, launch parameters), launches and maps the written images back.
template <typename S, typename D>
bool run_process(Process_base& self, S** src, int srcNum, D** dst, int dstNum,
                 const RunSteps& r) {
    if (!self.package || !self.package->kernel || !self.res || !self.res->inited) return false;
    for (int i = 0; i < srcNum; ++i)
        if (!src[i] || !param_ok(*src[i])) {
            log_at(r.srcError, r.srcText);
            return false;
        }
    for (int i = 0; i < dstNum; ++i)
        if (!dst[i] || !param_ok(*dst[i])) {
            log_at(r.dstError, r.dstText);
            return false;
        }
    if (!self.checkConfig()) {
        log_at(r.configError, "assist param error, return");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
        if (r.kernel.line)
            ZOR_TRACE_AT(r.kernel.func, r.kernel.line, "doprocess kernel :%s %p",
                       self.package->name, static_cast<void*>(self.package->kernel));
        cl_kernel k = self.package->kernel;
        cl_uint idx = 0;
        cl_int st = CL_SUCCESS;
        auto srcArgs = [&]() {
            for (int i = 0; i < srcNum; ++i) st |= set_image_args(self, k, idx, *src[i], r.withElem);
        };
        auto dstArgs = [&]() {
            for (int i = 0; i < dstNum; ++i) st |= set_image_args(self, k, idx, *dst[i], r.withElem);
        };
        if (r.dstFirst) {
            dstArgs();
            srcArgs();
        } else {
            srcArgs();
            dstArgs();
        }
        if (!cl_check(st, r.argsCheck.func, __FILE__, r.argsCheck.line)) return false;
        if (!self.launch(idx)) {
            device_launch(false);
            return false;
        }
    }
    const bool finished = ZOR_CL_CHECK(g_cl.clFinish(self.queue));
    device_launch(finished);
    if (!finished) return false;
    self.recordKernelTime();
    bool ok = true;
    if (r.dstFirst) {
        for (int i = 0; i < srcNum; ++i) ok = src[i]->map_device_to_host(self.queue) && ok;
    } else {
        for (int i = 0; i < dstNum; ++i) ok = dst[i]->map_device_to_host(self.queue) && ok;
    }
    return ok;
}

void default_global(kernel_config* config, uint32_t width, uint32_t height) {
    config->globalX = static_cast<int32_t>(width);
    config->globalY = static_cast<int32_t>(height);
    config->globalZ = 1;
}

// ------------------------------------------------------------ image records

// Builds one image's device companion with the alignment and plane masks of
// one side of the call (plain planes take no masks).
bool create_image(const Process_base& self, opencl_param_u8& p, ZOR_U8Info* info, int access,
                  int align, int, int, bool svm) {
    return p.create(self.res->context, self.queue, info, access, align, svm);
}

bool create_image(const Process_base& self, opencl_param_rgb& p, ZOR_RGBInfo* info, int access,
                  int align, int planes, int planes2, bool svm) {
    return p.createRgb(self.res->context, self.queue, info, access, align, planes, planes2,
                       svm);
}

bool create_image(const Process_base& self, opencl_param_yuv& p, ZOR_YuvInfo* info, int access,
                  int align, int planes, int planes2, bool svm) {
    return p.create(self.res->context, self.queue, info, access, align, planes, planes2, svm);
}

// One side of a call as the process parameters describe it.
struct Side {
    int access;  // 0 read (src), 1 write (dst)
    uint32_t align, planes, planes2;
    bool svm;     // images are SVM pointers
    bool upload;  // their bytes go to the device first
};

// The input side: uploaded unless SVM. The output side: uploaded (so bytes
// the kernel leaves alone come back unchanged) unless SVM or written whole.
Side input_side(const process_param* param, bool svm) {
    return Side{0, param->srcAlign, param->srcPlanes, param->srcPlanes2, svm, !svm};
}
Side output_side(const process_param* param, bool svm, bool whole) {
    return Side{1, param->dstAlign, param->dstPlanes, param->dstPlanes2, svm, !svm && !whole};
}

template <typename P, typename Info>
bool create_side(const Process_base& self, P** params, Info** infos, int n, const Side& side,
                 LogAt at, const char* failText) {
    auto create = [&self, &side](P& p, Info* info) {
        return create_image(self, p, info, side.access, static_cast<int>(side.align),
                            static_cast<int>(side.planes), static_cast<int>(side.planes2),
                            side.svm);
    };
    return create_params(self, params, infos, n, side.upload, create, at, failText);
}

// The image records of a call: the device companions of both lists, built
// as their sides say (`srcSide` for the first list, `dstSide` for the second),
// with the class's creation log lines.
template <typename S, typename SInfo, typename D, typename DInfo>
bool set_images(Process_base& self, S**& srcParams, int& srcNum, SInfo** src, int sNum,
                const Side& srcSide, D**& dstParams, int& dstNum, DInfo** dst, int dNum,
                const Side& dstSide, LogAt srcAt, const char* srcText, LogAt dstAt,
                const char* dstText) {
    srcNum = sNum;
    dstNum = dNum;
    alloc_params(srcParams, std::max(srcNum, 1));
    alloc_params(dstParams, dstNum);
    return create_side(self, srcParams, src, srcNum, srcSide, srcAt, srcText) &&
           create_side(self, dstParams, dst, dstNum, dstSide, dstAt, dstText);
}

// setParameters of a process whose src images are its inputs and dst images
// its outputs: the configuration (over the dst extent unless one is given)
// and the records of both sides.
template <typename S, typename SInfo, typename D, typename DInfo>
bool set_in_out(Process_base& self, S**& srcParams, int& srcNum, D**& dstParams, int& dstNum,
                SInfo** src, int sNum, DInfo** dst, int dNum, ZOR_ReserveParam_Opencl* reserve,
                process_param* param, LogAt srcAt, const char* srcText, LogAt dstAt,
                const char* dstText) {
    if (!self.res || !self.res->inited || !reserve || !param || sNum < 0 || dNum < 1)
        return false;
    if (param->config)
        *self.config = *param->config;
    else
        default_global(self.config, dst[0]->width, dst[0]->height);
    return set_images(self, srcParams, srcNum, src, sNum, input_side(param, reserve->srcSvm != 0),
                      dstParams, dstNum, dst, dNum,
                      output_side(param, reserve->dstSvm != 0, reserve->dstWhole != 0), srcAt,
                      srcText, dstAt, dstText);
}

}  // namespace

// ------------------------------------------------------------ U8 / RGB

Process_U8_U8::Process_U8_U8() { type = 3; }
Process_U8_U8::~Process_U8_U8() { unInit(); }

bool Process_U8_U8::setParameters(ZOR_U8Info** src, int sNum, ZOR_U8Info** dst, int dNum,
                                  ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    if (!res || !res->inited || !reserve || !param || sNum < 0 || dNum < 1) return false;
    if (!param->config) {
        // Over the dst extent (set below) in 8x2 steps, single tiling.
        config->localY = config->localZ = 0;
        config->stepX = 8, config->stepY = 2, config->stepZ = 1;
        config->timesX = config->timesY = config->timesZ = 1;
    }
    return set_in_out(*this, srcParams, srcNum, dstParams, dstNum, src, sNum, dst, dNum, reserve,
                      param, {__func__, __LINE__}, "create src u8 info fail, return",
                      {__func__, __LINE__}, "create dst u8 info fail, return");
}

bool Process_U8_U8::doProcess(unsigned long) {
    const RunSteps steps{{}, nullptr, {}, nullptr, {},
                         {}, {__func__, __LINE__}, false, false};
    return run_process(*this, srcParams, srcNum, dstParams, dstNum, steps);
}

void Process_U8_U8::unInit() {
    release_params(srcParams, srcNum, dstParams, dstNum);
    Process_base::unInit(false);
}

Process_RGB_RGB::Process_RGB_RGB() { type = 2; }
Process_RGB_RGB::~Process_RGB_RGB() { unInit(); }

bool Process_RGB_RGB::setParameters(ZOR_RGBInfo** src, int sNum, ZOR_RGBInfo** dst, int dNum,
                                    ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return set_in_out(*this, srcParams, srcNum, dstParams, dstNum, src, sNum, dst, dNum, reserve,
                      param, {__func__, __LINE__}, "create src rgb info fail, return",
                      {__func__, __LINE__}, "create dst rgb info fail, return");
}

bool Process_RGB_RGB::doProcess(unsigned long) {
    const RunSteps steps{{}, nullptr, {}, nullptr, {},
                         {__func__, __LINE__}, {__func__, __LINE__}, true, false};
    return run_process(*this, srcParams, srcNum, dstParams, dstNum, steps);
}

void Process_RGB_RGB::unInit() {
    release_params(srcParams, srcNum, dstParams, dstNum);
    Process_base::unInit(false);
}

// ------------------------------------------------------------ YUV

Process_YUV_YUV::Process_YUV_YUV() { type = 0; }
Process_YUV_YUV::~Process_YUV_YUV() { unInit(); }

bool Process_YUV_YUV::setParameters(ZOR_YuvInfo** src, int sNum, ZOR_YuvInfo** dst, int dNum,
                                    ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    return set_in_out(*this, srcParams, srcNum, dstParams, dstNum, src, sNum, dst, dNum, reserve,
                      param, {__func__, __LINE__}, "create src yuv param object fail, return",
                      {__func__, __LINE__}, "create dst yuv param object fail, return");
}

bool Process_YUV_YUV::doProcess(unsigned long) {
    const RunSteps steps{{__func__, __LINE__}, "src param error, return",
                         {__func__, __LINE__}, "dst param error, return",
                         {__func__, __LINE__}, {__func__, __LINE__}, {__func__, __LINE__}, false, false};
    return run_process(*this, srcParams, srcNum, dstParams, dstNum, steps);
}

void Process_YUV_YUV::unInit() {
    release_params(srcParams, srcNum, dstParams, dstNum);
    Process_base::unInit(false);
}

Process_YUV_RGB::Process_YUV_RGB() { type = 1; }
Process_YUV_RGB::~Process_YUV_RGB() { unInit(); }

bool Process_YUV_RGB::setParameters(ZOR_YuvInfo** yuv, int yNum, ZOR_RGBInfo** rgb, int rNum,
                                    ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    if (!res || !res->inited || !reserve || !param || yNum < 1 || rNum < 1) return false;
    const bool hadDirection = configSet != 0;
    direction = param->modeC;
    const bool yuvIn = direction == 1 || direction == 2;
    if (param->config && !configSet) {
        *config = *param->config;
        configSet = 1;
    } else if (!param->config) {
        default_global(config, hadDirection ? rgb[0]->width : yuv[0]->width,
                       hadDirection ? rgb[0]->height : yuv[0]->height);
    }
    // The YUV images are the src side when they are the input.
    const bool srcSvm = reserve->srcSvm != 0, dstSvm = reserve->dstSvm != 0;
    const bool whole = reserve->dstWhole != 0;
    const Side yuvSide = yuvIn ? input_side(param, srcSvm) : output_side(param, dstSvm, whole);
    const Side rgbSide = yuvIn ? output_side(param, dstSvm, whole) : input_side(param, srcSvm);
    return set_images(*this, srcParams, srcNum, yuv, yNum, yuvSide, dstParams, dstNum, rgb, rNum,
                      rgbSide, {__func__, __LINE__}, "create yuv param object fail, return",
                      {__func__, __LINE__}, "create rgb param object fail, return");
}

bool Process_YUV_RGB::doProcess(unsigned long) {
    const bool yuvIn = direction == 1 || direction == 2;
    const RunSteps steps{{__func__, __LINE__}, "yuv param error, return",
                         {__func__, __LINE__}, "rgb param error, return",
                         {__func__, __LINE__}, {__func__, __LINE__}, {__func__, __LINE__}, true, !yuvIn};
    return run_process(*this, srcParams, srcNum, dstParams, dstNum, steps);
}

void Process_YUV_RGB::unInit() {
    release_params(srcParams, srcNum, dstParams, dstNum);
    Process_base::unInit(false);
}

// ------------------------------------------------------------ handle map

namespace {
// Handle -> object; the slot type keeps the map's code private to the library.
struct Slot {
    Process_base* obj;
};
std::map<uint64_t, Slot>& handle_map() {
    static std::map<uint64_t, Slot> m;
    return m;
}
}  // namespace

Process_base* get_process_object(unsigned long h) {
    if (h == 0) return nullptr;
    auto it = handle_map().find(h);
    return it == handle_map().end() ? nullptr : it->second.obj;
}

bool add_process_object(Process_base* obj) {
    if (!obj) {
        ZOR_LOG("the process object is NULL, return");
        return false;
    }
    return handle_map().emplace(obj->handle, Slot{obj}).second;
}

bool release_process_object(Process_base* obj) {
    if (!obj) {
        ZOR_LOG("the process object is NULL, return");
        return false;
    }
    if (obj->type > 3) return false;
    delete obj;  // the destructor of the class that `type` names
    return true;
}

bool delete_process_object(unsigned long h) {
    if (h == 0) {
        ZOR_LOG("the process object handle is NULL, return");
        return false;
    }
    auto it = handle_map().find(h);
    if (it == handle_map().end()) return false;
    Process_base* obj = it->second.obj;
    handle_map().erase(it);
    return release_process_object(obj);
}

bool flush_process_object(int) {
    for (auto& kv : handle_map()) release_process_object(kv.second.obj);
    handle_map().clear();
    return true;
}

bool set_process_object(Process_base* obj, bool add, ZOR_ReserveParam_Opencl* reserve) {
    if (!obj) {
        ZOR_LOG("the process object is NULL, return");
        return false;
    }
    if (!reserve) {
        ZOR_LOG("the reserve param object is NULL, return");
        return false;
    }
    obj->handle = reserve->handle;
    if (add) add_process_object(obj);
    bool ok = true;
    switch (reserve->objectOp) {
        case 0:
        case 2:
            break;
        case 1:
            delete_process_object(reserve->handle);
            break;
        case 3:
            flush_process_object(1);
            break;
        default:
            ok = false;
    }
    if (reserve->objectOp == 0 && reserve->runMode == 2) delete_process_object(reserve->handle);
    return ok;
}

// ------------------------------------------------------------ timer

ZorTimer mTimer("YUV_RGB_TEST");

ZorTimer::ZorTimer(const char* n) { timer_init(n); }

void ZorTimer::timer_init(const char* n) {
    timerReset();
    std::snprintf(name, sizeof name, "%s", n ? n : "");
}

void ZorTimer::timerReset() {
    count = 0;
    sum = 0;
    avg = 0;
    current = 0;
    min = INT_MAX;
    max = INT_MIN;
    canStart = true;
    running = false;
    startSec = startUsec = endSec = endUsec = 0;
    std::memset(name, 0, sizeof name);
}

void ZorTimer::timerStart() {
    if (!canStart) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    startSec = tv.tv_sec;
    startUsec = tv.tv_usec;
    canStart = false;
    running = true;
}

int32_t ZorTimer::elapsed() const {
    return static_cast<int32_t>((endSec - startSec) * 1000000 + endUsec - startUsec);
}

void ZorTimer::account(int32_t us) {
    ++count;
    sum += us;
    avg = static_cast<double>(sum) / count;
    current = us;
    min = std::min(min, us);
    max = std::max(max, us);
}

void ZorTimer::timerEnd() {
    if (!running) return;
    timeval tv;
    gettimeofday(&tv, nullptr);
    endSec = tv.tv_sec;
    endUsec = tv.tv_usec;
    canStart = true;
    running = false;
    account(elapsed());
    timerDisplay();
}

int ZorTimer::timer_calculate() {
    const int32_t us = elapsed();
    account(us);
    return us;
}

void ZorTimer::timerDisplay() {
    log_stdout("%s costtime: count=%d, min=%d, max=%d, sum=%ld, current=%d, avg=%f\n", name,
               count, min, max, static_cast<long>(sum), current, avg);
}

}  // namespace ZOR

void zor_test_time_kernels(bool on) { ZOR::g_time_kernels.store(on); }

uint64_t zor_test_take_kernel_ns(uint64_t* launches) {
    const uint64_t n = ZOR::g_kernel_launches.exchange(0);
    if (launches) *launches = n;
    return ZOR::g_kernel_ns.exchange(0);
}
