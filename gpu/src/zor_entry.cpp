// Placeholder until the OpenCL runtime lands: no device, every entry fails.
#include <cstring>

#include "param_utils.h"

int zor_cv_process_u8_u8(ZOR_U8Info**, int, ZOR_U8Info**, int, ZOR_ReserveParam_Opencl* reserve,
                         const kernel_config*) {
    return reserve ? 0 : 16;
}
int zor_cv_process_yuv_yuv(ZOR_YuvInfo**, int, ZOR_YuvInfo**, int,
                           ZOR_ReserveParam_Opencl* reserve, const kernel_config*) {
    return reserve ? 0 : 16;
}
int zor_cv_process_yuv_rgb(ZOR_YuvInfo**, int, ZOR_RGBInfo**, int,
                           ZOR_ReserveParam_Opencl* reserve, const kernel_config*) {
    return reserve ? 0 : 16;
}
void set_UV_plan_addr(ZOR_YuvInfo*) {}
bool zor_opencl_usable() { return false; }

ZOR_ReserveParam_Opencl zor_reserve(uint32_t featureId, const char* kernel) {
    ZOR_ReserveParam_Opencl r;
    std::memset(&r, 0, sizeof r);
    r.handle = 4095u + featureId;
    r.objectOp = 2;
    r.runMode = 1;
    std::strncpy(r.kernelName, kernel, sizeof r.kernelName - 1);
    r.srcSvm = 1;
    r.dstSvm = 1;
    return r;
}
