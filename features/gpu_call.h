// What a feature's GPU call needs from the GPU runtime: its one entry header,
// the generated kernel ids and the request record built from them.
#pragma once

#include <cstdint>

#include "mira_kernel_ids.h"
#include "gpu/src/inc/mira_gpu.h"

namespace mira {

using ZOR::kernel_id;

// The request record of feature `featureId` running kernel `kernel`.
inline ZOR_ReserveParam_Opencl gpu_request(uint32_t featureId, kernel_id kernel) {
    return zor_reserve(featureId, ZOR::kernel_name(kernel));
}

// The launch configuration of the kernels that take their ratios as floats:
// source over destination per axis; the integer parameters stay 0 so that
// every size shares one program build.
inline kernel_config ratio_config(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    kernel_config cfg = default_kernel_config();
    cfg.param_float_1 = float(int32_t(src.width)) / float(int32_t(dst.width));
    cfg.param_float_2 = float(int32_t(src.height)) / float(int32_t(dst.height));
    return cfg;
}

// One source plane to one destination plane through the u8 entry.
inline bool gpu_plane(ZOR_U8Info in, ZOR_U8Info out, ZOR_ReserveParam_Opencl reserve,
                      const kernel_config* cfg = nullptr) {
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    return zor_gpu_u8_u8(ins, 1, outs, 1, &reserve, cfg);
}

}  // namespace mira
