#include "ops/geometry/rotate.h"

#include <cmath>

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/geometry/quarter_turns.h"
#include "param_utils.h"

namespace mira {

void rotate_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride, int rotation) {
    quarter_turns::rotate<1>(src, width, height, srcStride, dst, dstStride, rotation);
}

double rotation_angle(int rotation) {
    // Angle x 2 pi for 90, 180 and 270 degrees, divided by 360.
    static const double kTurns[3] = {565.4866776461628, 1130.9733552923256, 1696.4600329384882};
    return rotation >= 1 && rotation <= 3 ? kTurns[rotation - 1] / 360.0 : 0.0;
}

bool rotate_opencl(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, int rotation,
                   uint32_t pixelBytes, uint32_t apiId, const char* kernel) {
    ZOR_U8Info in = zor_u8_info(src), out = zor_u8_info(dst);
    in.width = pixelBytes * src.width;
    out.width = pixelBytes * dst.width;
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(apiId, kernel);
    reserve.dstWhole = 1;  // rotations 1..3 write every destination pixel
    kernel_config cfg = default_kernel_config();
    const double angle = rotation_angle(rotation);
    cfg.param_float_1 = static_cast<float>(std::sin(angle));
    cfg.param_float_2 = static_cast<float>(std::cos(angle));
    return zor_gpu_u8_u8(ins, 1, outs, 1, &reserve, &cfg);
}

void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                      uint32_t dstS, int rotation) {
    rotate_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_Imageu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                            uint32_t dstS) {
    quarter_turns::rotate_90<1>(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_180<1>(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    quarter_turns::rotate_270<1>(src, w, h, s, dst, dstS);
}

}  // namespace mira

namespace {

bool rotate_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                    uint8_t dstCount) {
    return src != nullptr && srcCount != 0 && dst != nullptr && dstCount == 1 &&
           src->data != nullptr && dst->data != nullptr;
}

}  // namespace

uint32_t MIRA_ROTATE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_ROTATE_U8_opencl(src, srcCount, dst, dstCount, param);
    if (!rotate_args_ok(src, srcCount, dst, dstCount) || param == nullptr) return MIRA_ERR_ARG;
    mira::rotate_u8_neon(src->data, src->width, src->height, src->stride, dst->data, dst->stride,
                         param->arg);
    return MIRA_OK;
}

uint32_t MIRA_ROTATE_U8::MIRA_ROTATE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!rotate_args_ok(src, srcCount, dst, dstCount) || param == nullptr) return MIRA_ERR_ARG;
    mira::rotate_u8_neon(src->data, src->width, src->height, src->stride, dst->data, dst->stride,
                         param->arg);
    return MIRA_OK;
}

uint32_t MIRA_ROTATE_U8::MIRA_ROTATE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (src == nullptr || dst == nullptr || param == nullptr || srcCount == 0 || dstCount == 0 ||
        src->data == nullptr || dst->data == nullptr)
        return MIRA_ERR_ARG;
    if (!zor_opencl_usable()) return MIRA_ROTATE_U8_neon(src, srcCount, dst, dstCount, param);
    const int rotation = param->arg;
    if (rotation < 1 || rotation > 3) return MIRA_OK;  // unknown code: nothing is written
    if (src->width == 0 || src->height == 0) return MIRA_OK;

    if (!mira::rotate_opencl(*src, *dst, rotation, 1, MIRA_API_ROTATE_U8,
                             "mira_fcvRotateImageu8_func"))
        return MIRA_ROTATE_U8_neon(src, srcCount, dst, dstCount, param);
    return MIRA_OK;
}
