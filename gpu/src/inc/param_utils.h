// Host-side records of the GPU runtime and the entry functions through which
// a feature's GPU method runs a kernel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mira/mira_types.h"

// One 8-bit (or 16-bit) plane.
struct ZOR_U8Info {
    uint32_t width;     // elements per row to process
    uint32_t height;    // rows to process
    size_t size;        // bytes of the whole buffer (stride x buffer rows)
    uint32_t strideW;   // bytes from one row to the next
    uint32_t strideH;   // rows in the buffer
    uint32_t elemSize;  // multiplier of the row stride for the device buffer size
    uint32_t spare;
    uint8_t* data;
};

// One interleaved RGB/RGBA image; format % 100 is the channel count.
struct ZOR_RGBInfo {
    uint32_t width, height;
    size_t size;  // bytes of the whole buffer
    uint32_t strideW, strideH, elemSize;
    uint8_t* data;
    uint32_t format;
};

// One YUV image in up to three planes. Layout codes: 0/1 semi-planar 4:2:0,
// 2/3 planar 4:2:0, 4/5 semi-planar 4:2:2, 6/7 planar 4:2:2, 8/9 semi-planar
// 4:4:4, 10/11 planar 4:4:4.
struct ZOR_YuvInfo {
    uint32_t format;
    uint32_t width, height;
    size_t size;  // chroma bytes = size - strideY * rowsY
    uint32_t strideY, rowsY, strideU, strideV;
    uint8_t* dataY;
    uint8_t* dataU;
    uint8_t* dataV;
};

// Per-call GPU request.
struct ZOR_ReserveParam_Opencl {
    uint64_t handle;      // kernel-cache key: 4095 + feature id
    uint32_t objectOp;    // 2
    uint32_t runMode;     // 1
    char kernelName[256];
    uint8_t srcSvm;       // 1: sources as SVM pointers, staged when not SVM
    uint8_t dstSvm;
    uint8_t dstWhole;     // 1: the kernel writes every byte of each destination's
                          // rows, so the destinations are not uploaded first
    uint8_t reserved[5];
};

// Launch configuration.
struct kernel_config {
    int32_t globalX, globalY, globalZ;
    int32_t localX, localY, localZ;
    int32_t stepX, stepY, stepZ;
    int32_t timesX, timesY, timesZ;
    float param_float_1, param_float_2;
    int32_t param_int_1, param_int_2;
};

// The launch configuration before a call fills it in: all zero but 8x2x1
// steps and single tiling.
inline kernel_config default_kernel_config() {
    kernel_config c{};
    c.stepX = 8;
    c.stepY = 2;
    c.stepZ = 1;
    c.timesX = c.timesY = c.timesZ = 1;
    return c;
}

// Per-call settings built by the entry functions.
struct process_param {
    kernel_config* config;
    uint32_t modeA, srcAlign, dstAlign, modeB, modeC;
    int32_t srcFormat, dstFormat;
    uint32_t srcPlanes, dstPlanes, srcPlanes2, dstPlanes2;
};

MIRA_EXPORT int zor_cv_process_u8_u8(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                                     ZOR_ReserveParam_Opencl* reserve, const kernel_config* config);
MIRA_EXPORT int zor_cv_process_yuv_yuv(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst,
                                       int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                       const kernel_config* config);
MIRA_EXPORT int zor_cv_process_yuv_rgb(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst,
                                       int dstNum, ZOR_ReserveParam_Opencl* reserve,
                                       const kernel_config* config);
MIRA_EXPORT void set_UV_plan_addr(ZOR_YuvInfo* info);

// The entries as the features call them: true when the destinations hold
// the kernel's output. False when any GPU step failed (the failure has been
// logged) or no device is up: the feature then computes with its CPU method,
// so no destination is left unwritten behind a success.
bool zor_gpu_u8_u8(ZOR_U8Info** src, int srcNum, ZOR_U8Info** dst, int dstNum,
                   ZOR_ReserveParam_Opencl* reserve, const kernel_config* config);
bool zor_gpu_yuv_yuv(ZOR_YuvInfo** src, int srcNum, ZOR_YuvInfo** dst, int dstNum,
                     ZOR_ReserveParam_Opencl* reserve, const kernel_config* config);
bool zor_gpu_yuv_rgb(ZOR_YuvInfo** src, int srcNum, ZOR_RGBInfo** dst, int dstNum,
                     ZOR_ReserveParam_Opencl* reserve, const kernel_config* config);

// Copies the name of the OpenCL device in use into `out` (at most bytes - 1
// characters); false, with "" there, when no device is up.
MIRA_EXPORT bool zor_opencl_device_name(char* out, int bytes);

// True when an OpenCL device is up (or can be brought up now). Features asked
// for the GPU path run their CPU method when this is false.
bool zor_opencl_usable();

// A ZOR_U8Info describing a descriptor: width, height, stride x bufHeight,
// stride, bufHeight, 1, 1, data.
inline ZOR_U8Info zor_u8_info(const MIRA_Feature_Buf& b) {
    return ZOR_U8Info{b.width, b.height, size_t(b.stride) * b.bufHeight, b.stride, b.bufHeight,
                      1, 1, b.data};
}

// A semi-planar 4:2:0 ZOR_YuvInfo (layout 0) of width x height over a luma
// descriptor and an interleaved chroma descriptor.
inline ZOR_YuvInfo zor_yuv420sp_info(const MIRA_Feature_Buf& y, const MIRA_Feature_Buf& c,
                                     uint32_t width, uint32_t height) {
    ZOR_YuvInfo i{};
    i.format = 0;
    i.width = width;
    i.height = height;
    i.size = size_t(y.stride) * y.bufHeight * 3 / 2;
    i.strideY = y.stride;
    i.rowsY = y.bufHeight;
    i.strideU = i.strideV = c.stride;
    i.dataY = y.data;
    i.dataU = i.dataV = c.data;
    return i;
}

// A planar 4:4:4 ZOR_YuvInfo (layout 10) of width x height over three plane
// descriptors.
inline ZOR_YuvInfo zor_yuv444p_info(const MIRA_Feature_Buf& y, const MIRA_Feature_Buf& u,
                                    const MIRA_Feature_Buf& v, uint32_t width, uint32_t height) {
    ZOR_YuvInfo i{};
    i.format = 10;
    i.width = width;
    i.height = height;
    i.size = size_t(y.stride) * y.bufHeight * 3;
    i.strideY = y.stride;
    i.rowsY = y.bufHeight;
    i.strideU = u.stride;
    i.strideV = v.stride;
    i.dataY = y.data;
    i.dataU = u.data;
    i.dataV = v.data;
    return i;
}

// A reserve record for feature `id` running `kernel`, SVM staging on.
ZOR_ReserveParam_Opencl zor_reserve(uint32_t featureId, const char* kernel);

// Runs `kernel` of feature `featureId` from one YUV image to another; true
// when the destination holds the kernel's output.
inline bool zor_run_yuv_yuv(ZOR_YuvInfo in, ZOR_YuvInfo out, uint32_t featureId,
                           const char* kernel) {
    ZOR_YuvInfo* ins[1] = {&in};
    ZOR_YuvInfo* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(featureId, kernel);
    return zor_gpu_yuv_yuv(ins, 1, outs, 1, &reserve, nullptr);
}
