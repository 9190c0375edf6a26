// Process objects: one GPU operation call bound to its kernel, device and
// image parameters; argument setting and the 2-D launch; the handle map; the
// cost-time timer; the run functions.
#include <sys/time.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>

#include "zor_log.h"
#include "zor_runtime.h"

namespace ZOR {

namespace {

kernel_config default_config() {
    kernel_config c;
    std::memset(&c, 0, sizeof c);
    c.stepX = 8;
    c.stepY = 2;
    c.stepZ = 1;
    c.timesX = c.timesY = c.timesZ = 1;
    return c;
}

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

// ------------------------------------------------------------ Process_base

Process_base::Process_base()
    : type(4), handle(0), inited(false), res(nullptr), program(nullptr), kernel(nullptr),
      config(new kernel_config(default_config())), configSet(0), package(nullptr) {}

Process_base::~Process_base() {
    if (cl_loaded()) {
        if (kernel) g_cl.clReleaseKernel(kernel);
        if (program) g_cl.clReleaseProgram(program);
    }
    kernel = nullptr;
    program = nullptr;
    inited = false;
    configSet = 0;
    delete config;
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
    KernelUtils* ku = KernelUtils::getInstance();
    const std::string options = kernel_build_options(c);
    package = ku->findKernel(h, kernelName, options);
    if (!package) {
        // One build at a time: threads that miss the same kernel together
        // build it once.
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
    const bool useLocal = config->localX > 0 && config->localY > 0 && config->localZ > 0;
    if (useLocal) {
        global[0] = ceil_div(static_cast<int64_t>(global[0]), local[0]) * local[0];
        global[1] = ceil_div(static_cast<int64_t>(global[1]), local[1]) * local[1];
    }
    st = g_cl.clEnqueueNDRangeKernel(res->queue, k, 2, nullptr, global,
                                     useLocal ? local : nullptr, 0, nullptr, nullptr);
    if (st != CL_SUCCESS) {
        log_stdout("costtime_debug -- clEnqueueNDRangeKernel fail. %d\n\n", st);
        ZOR_CL_CHECK(st);
        return false;
    }
    return ZOR_CL_CHECK(g_cl.clFinish(res->queue));
}

// ------------------------------------------------------------ U8 / RGB

namespace {

// The row pitch a U8/RGB kernel sees: the device pitch for buffers, the host
// stride for SVM images.
int32_t kernel_stride(const opencl_param_u8& p) { return p.svm ? p.strideW : p.alignedStride; }

bool u8_param_ok(opencl_param_u8& p) {
    if (!p.svm && !p.mem) return false;
    if (p.svm && !p.host) return false;
    if (p.width < 1 || p.height < 1) return false;
    if (p.strideW <= p.width) p.strideW = p.width;
    if (p.strideH <= p.height) p.strideH = p.height;
    return true;
}

cl_int set_u8_args(cl_kernel k, cl_uint& idx, opencl_param_u8& p, bool withElem) {
    cl_int st = CL_SUCCESS;
    const int32_t stride = kernel_stride(p);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.width);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.height);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &stride);
    st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.strideH);
    if (withElem) st |= g_cl.clSetKernelArg(k, idx++, sizeof(int32_t), &p.elemSize);
    return st;
}

}  // namespace

Process_U8_U8::Process_U8_U8() { type = 3; }
Process_U8_U8::~Process_U8_U8() { unInit(); }

bool Process_U8_U8::setParameters(ZOR_U8Info** src, int sNum, ZOR_U8Info** dst, int dNum,
                                  ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    if (!res || !res->inited || !reserve || !param || sNum < 0 || dNum < 1) return false;
    if (param->config) {
        *config = *param->config;
    } else {
        config->globalX = static_cast<int32_t>(dst[0]->width);
        config->globalY = static_cast<int32_t>(dst[0]->height);
        config->globalZ = 1;
        config->localY = config->localZ = 0;
        config->stepX = 8, config->stepY = 2, config->stepZ = 1;
        config->timesX = config->timesY = config->timesZ = 1;
    }
    srcNum = sNum;
    dstNum = dNum;
    if (!srcParams) srcParams = new opencl_param_u8*[std::max(srcNum, 1)]();
    if (!dstParams) dstParams = new opencl_param_u8*[dstNum]();
    bool ok = true;
    for (int i = 0; i < srcNum; ++i) {
        srcParams[i] = new opencl_param_u8();
        ok = srcParams[i]->create(res->context, res->queue, src[i], 0,
                                  static_cast<int>(param->srcAlign), reserve->srcSvm != 0);
        if (!ok) {
            ZOR_LOG("create src u8 info fail, return");
            return false;
        }
        if (!reserve->srcSvm && !srcParams[i]->map_host_to_device(res->queue)) return false;
    }
    for (int i = 0; i < dstNum; ++i) {
        dstParams[i] = new opencl_param_u8();
        ok = dstParams[i]->create(res->context, res->queue, dst[i], 1,
                                  static_cast<int>(param->dstAlign), reserve->dstSvm != 0);
        if (!ok) {
            ZOR_LOG("create dst u8 info fail, return");
            return false;
        }
        // Bytes the kernel leaves alone come back unchanged.
        if (!reserve->dstSvm && !dstParams[i]->map_host_to_device(res->queue)) return false;
    }
    return ok;
}

bool Process_U8_U8::doProcess(unsigned long) {
    if (!package || !package->kernel || !res || !res->inited) return false;
    for (int i = 0; i < srcNum; ++i)
        if (!srcParams[i] || !u8_param_ok(*srcParams[i])) return false;
    for (int i = 0; i < dstNum; ++i)
        if (!dstParams[i] || !u8_param_ok(*dstParams[i])) return false;
    if (!checkConfig()) return false;
    {
        std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
        cl_kernel k = package->kernel;
        cl_uint idx = 0;
        cl_int st = CL_SUCCESS;
        for (int i = 0; i < srcNum; ++i) {
            opencl_param_u8& p = *srcParams[i];
            st |= setImageArg(idx++, p.svm, p.host, p.mem);
            st |= set_u8_args(k, idx, p, false);
        }
        for (int i = 0; i < dstNum; ++i) {
            opencl_param_u8& p = *dstParams[i];
            st |= setImageArg(idx++, p.svm, p.host, p.mem);
            st |= set_u8_args(k, idx, p, false);
        }
        if (!ZOR_CL_CHECK(st)) return false;
        if (!launch(idx)) return false;
    }
    bool ok = true;
    for (int i = 0; i < dstNum; ++i) ok = dstParams[i]->map_device_to_host(res->queue) && ok;
    return ok;
}

void Process_U8_U8::unInit() {
    free_params(srcParams, srcNum);
    free_params(dstParams, dstNum);
    Process_base::unInit(false);
}

Process_RGB_RGB::Process_RGB_RGB() { type = 2; }
Process_RGB_RGB::~Process_RGB_RGB() { unInit(); }

bool Process_RGB_RGB::setParameters(ZOR_RGBInfo** src, int sNum, ZOR_RGBInfo** dst, int dNum,
                                    ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    if (!res || !res->inited || !reserve || !param || sNum < 0 || dNum < 1) return false;
    if (param->config) {
        *config = *param->config;
    } else {
        config->globalX = static_cast<int32_t>(dst[0]->width);
        config->globalY = static_cast<int32_t>(dst[0]->height);
        config->globalZ = 1;
    }
    srcNum = sNum;
    dstNum = dNum;
    if (!srcParams) srcParams = new opencl_param_rgb*[std::max(srcNum, 1)]();
    if (!dstParams) dstParams = new opencl_param_rgb*[dstNum]();
    for (int i = 0; i < srcNum; ++i) {
        srcParams[i] = new opencl_param_rgb();
        if (!srcParams[i]->createRgb(res->context, res->queue, src[i], 0,
                                     static_cast<int>(param->srcAlign),
                                     static_cast<int>(param->srcPlanes),
                                     static_cast<int>(param->srcPlanes2), reserve->srcSvm != 0)) {
            ZOR_LOG("create src rgb info fail, return");
            return false;
        }
        if (!reserve->srcSvm && !srcParams[i]->map_host_to_device(res->queue)) return false;
    }
    for (int i = 0; i < dstNum; ++i) {
        dstParams[i] = new opencl_param_rgb();
        if (!dstParams[i]->createRgb(res->context, res->queue, dst[i], 1,
                                     static_cast<int>(param->dstAlign),
                                     static_cast<int>(param->dstPlanes),
                                     static_cast<int>(param->dstPlanes2), reserve->dstSvm != 0)) {
            ZOR_LOG("create dst rgb info fail, return");
            return false;
        }
        if (!reserve->dstSvm && !dstParams[i]->map_host_to_device(res->queue)) return false;
    }
    return true;
}

bool Process_RGB_RGB::doProcess(unsigned long) {
    if (!package || !package->kernel || !res || !res->inited) return false;
    for (int i = 0; i < srcNum; ++i)
        if (!srcParams[i] || !u8_param_ok(*srcParams[i])) return false;
    for (int i = 0; i < dstNum; ++i)
        if (!dstParams[i] || !u8_param_ok(*dstParams[i])) return false;
    if (!checkConfig()) return false;
    {
        std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
        ZOR_LOG("doprocess kernel :%s %p", package->name, static_cast<void*>(package->kernel));
        cl_kernel k = package->kernel;
        cl_uint idx = 0;
        cl_int st = CL_SUCCESS;
        for (int i = 0; i < srcNum; ++i) {
            opencl_param_rgb& p = *srcParams[i];
            st |= setImageArg(idx++, p.svm, p.host, p.mem);
            st |= set_u8_args(k, idx, p, true);
        }
        for (int i = 0; i < dstNum; ++i) {
            opencl_param_rgb& p = *dstParams[i];
            st |= setImageArg(idx++, p.svm, p.host, p.mem);
            st |= set_u8_args(k, idx, p, true);
        }
        if (!ZOR_CL_CHECK(st)) return false;
        if (!launch(idx)) return false;
    }
    bool ok = true;
    for (int i = 0; i < dstNum; ++i) ok = dstParams[i]->map_device_to_host(res->queue) && ok;
    return ok;
}

void Process_RGB_RGB::unInit() {
    free_params(srcParams, srcNum);
    free_params(dstParams, dstNum);
    Process_base::unInit(false);
}

// ------------------------------------------------------------ YUV

namespace {

cl_int set_yuv_args(Process_base* self, cl_kernel k, cl_uint& idx, opencl_param_yuv& p) {
    cl_int st = CL_SUCCESS;
    if ((p.planes >> 16) & 0xFF) st |= self->setImageArg(idx++, p.svm, p.hostY, p.memY);
    if ((p.planes >> 8) & 0xFF) st |= self->setImageArg(idx++, p.svm, p.hostU, p.memU);
    if (p.planes & 0xFF) st |= self->setImageArg(idx++, p.svm, p.hostV, p.memV);
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

}  // namespace

Process_YUV_YUV::Process_YUV_YUV() { type = 0; }
Process_YUV_YUV::~Process_YUV_YUV() { unInit(); }

bool Process_YUV_YUV::setParameters(ZOR_YuvInfo** src, int sNum, ZOR_YuvInfo** dst, int dNum,
                                    ZOR_ReserveParam_Opencl* reserve, process_param* param) {
    if (!res || !res->inited || !reserve || !param || sNum < 0 || dNum < 1) return false;
    if (param->config) {
        *config = *param->config;
    } else {
        config->globalX = static_cast<int32_t>(dst[0]->width);
        config->globalY = static_cast<int32_t>(dst[0]->height);
        config->globalZ = 1;
    }
    srcNum = sNum;
    dstNum = dNum;
    if (!srcParams) srcParams = new opencl_param_yuv*[std::max(srcNum, 1)]();
    if (!dstParams) dstParams = new opencl_param_yuv*[dstNum]();
    for (int i = 0; i < srcNum; ++i) {
        srcParams[i] = new opencl_param_yuv();
        if (!srcParams[i]->create(res->context, res->queue, src[i], 0,
                                  static_cast<int>(param->srcAlign),
                                  static_cast<int>(param->srcPlanes),
                                  static_cast<int>(param->srcPlanes2), reserve->srcSvm != 0)) {
            ZOR_LOG("create src yuv param object fail, return");
            return false;
        }
        if (!reserve->srcSvm && !srcParams[i]->map_host_to_device(res->queue)) return false;
    }
    for (int i = 0; i < dstNum; ++i) {
        dstParams[i] = new opencl_param_yuv();
        if (!dstParams[i]->create(res->context, res->queue, dst[i], 1,
                                  static_cast<int>(param->dstAlign),
                                  static_cast<int>(param->dstPlanes),
                                  static_cast<int>(param->dstPlanes2), reserve->dstSvm != 0)) {
            ZOR_LOG("create dst yuv param object fail, return");
            return false;
        }
        if (!reserve->dstSvm && !dstParams[i]->map_host_to_device(res->queue)) return false;
    }
    return true;
}

bool Process_YUV_YUV::doProcess(unsigned long) {
    if (!package || !package->kernel || !res || !res->inited) return false;
    for (int i = 0; i < srcNum; ++i)
        if (!srcParams[i] || !srcParams[i]->validate()) {
            ZOR_LOG("src param error, return");
            return false;
        }
    for (int i = 0; i < dstNum; ++i)
        if (!dstParams[i] || !dstParams[i]->validate()) {
            ZOR_LOG("dst param error, return");
            return false;
        }
    if (!checkConfig()) {
        ZOR_LOG("assist param error, return");
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
        ZOR_LOG("doprocess kernel :%s %p", package->name, static_cast<void*>(package->kernel));
        cl_kernel k = package->kernel;
        cl_uint idx = 0;
        cl_int st = CL_SUCCESS;
        for (int i = 0; i < srcNum; ++i) st |= set_yuv_args(this, k, idx, *srcParams[i]);
        for (int i = 0; i < dstNum; ++i) st |= set_yuv_args(this, k, idx, *dstParams[i]);
        if (!ZOR_CL_CHECK(st)) return false;
        if (!launch(idx)) return false;
    }
    bool ok = true;
    for (int i = 0; i < dstNum; ++i) ok = dstParams[i]->map_device_to_host(res->queue) && ok;
    return ok;
}

void Process_YUV_YUV::unInit() {
    free_params(srcParams, srcNum);
    free_params(dstParams, dstNum);
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
        config->globalX = static_cast<int32_t>(hadDirection ? rgb[0]->width : yuv[0]->width);
        config->globalY = static_cast<int32_t>(hadDirection ? rgb[0]->height : yuv[0]->height);
        config->globalZ = 1;
    }
    srcNum = yNum;
    dstNum = rNum;
    const bool yuvSvm = yuvIn ? reserve->srcSvm != 0 : reserve->dstSvm != 0;
    const bool rgbSvm = yuvIn ? reserve->dstSvm != 0 : reserve->srcSvm != 0;
    if (!srcParams) srcParams = new opencl_param_yuv*[srcNum]();
    if (!dstParams) dstParams = new opencl_param_rgb*[dstNum]();
    for (int i = 0; i < srcNum; ++i) {
        srcParams[i] = new opencl_param_yuv();
        if (!srcParams[i]->create(res->context, res->queue, yuv[i], yuvIn ? 0 : 1,
                                  static_cast<int>(yuvIn ? param->srcAlign : param->dstAlign),
                                  static_cast<int>(yuvIn ? param->srcPlanes : param->dstPlanes),
                                  static_cast<int>(yuvIn ? param->srcPlanes2 : param->dstPlanes2),
                                  yuvSvm)) {
            ZOR_LOG("create yuv param object fail, return");
            return false;
        }
        if (!yuvSvm && !srcParams[i]->map_host_to_device(res->queue)) return false;
    }
    for (int i = 0; i < dstNum; ++i) {
        dstParams[i] = new opencl_param_rgb();
        if (!dstParams[i]->createRgb(res->context, res->queue, rgb[i], yuvIn ? 1 : 0,
                                     static_cast<int>(yuvIn ? param->dstAlign : param->srcAlign),
                                     static_cast<int>(yuvIn ? param->dstPlanes : param->srcPlanes),
                                     static_cast<int>(yuvIn ? param->dstPlanes2 : param->srcPlanes2),
                                     rgbSvm)) {
            ZOR_LOG("create rgb param object fail, return");
            return false;
        }
        if (!rgbSvm && !dstParams[i]->map_host_to_device(res->queue)) return false;
    }
    return true;
}

bool Process_YUV_RGB::doProcess(unsigned long) {
    if (!package || !package->kernel || !res || !res->inited) return false;
    for (int i = 0; i < srcNum; ++i)
        if (!srcParams[i] || !srcParams[i]->validate()) {
            ZOR_LOG("yuv param error, return");
            return false;
        }
    for (int i = 0; i < dstNum; ++i)
        if (!dstParams[i] || !u8_param_ok(*dstParams[i])) {
            ZOR_LOG("rgb param error, return");
            return false;
        }
    if (!checkConfig()) {
        ZOR_LOG("assist param error, return");
        return false;
    }
    const bool yuvIn = direction == 1 || direction == 2;
    {
        std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
        ZOR_LOG("doprocess kernel :%s %p", package->name, static_cast<void*>(package->kernel));
        cl_kernel k = package->kernel;
        cl_uint idx = 0;
        cl_int st = CL_SUCCESS;
        auto yuvArgs = [&]() {
            for (int i = 0; i < srcNum; ++i)
                st |= set_yuv_args(this, k, idx, *srcParams[i]);
        };
        auto rgbArgs = [&]() {
            for (int i = 0; i < dstNum; ++i) {
                opencl_param_rgb& p = *dstParams[i];
                st |= setImageArg(idx++, p.svm, p.host, p.mem);
                st |= set_u8_args(k, idx, p, true);
            }
        };
        if (yuvIn) {
            yuvArgs();
            rgbArgs();
        } else {
            rgbArgs();
            yuvArgs();
        }
        if (!ZOR_CL_CHECK(st)) return false;
        if (!launch(idx)) return false;
    }
    bool ok = true;
    if (yuvIn) {
        for (int i = 0; i < dstNum; ++i) ok = dstParams[i]->map_device_to_host(res->queue) && ok;
    } else {
        for (int i = 0; i < srcNum; ++i) ok = srcParams[i]->map_device_to_host(res->queue) && ok;
    }
    return ok;
}

void Process_YUV_RGB::unInit() {
    free_params(srcParams, srcNum);
    free_params(dstParams, dstNum);
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
