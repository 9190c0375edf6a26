// The camera-frame features: a 4:2:0 frame in any layout (three planes with
// their own row pitches, chroma samples one or two bytes apart) to RGB, and
// RGB to such a frame. Both formulas are integer (ops/colour/
// yuv420_coefficients.h) and the kernels compute them exactly, so the CPU
// method is the kernels' twin.
#include <cstdlib>
#include <cstring>

#include "features/feature_common.h"
#include "features/gpu_call.h"
#include "features/routes.h"
#include "ops/colour/interleave.h"
#include "ops/colour/rgb_to_yuv420.h"
#include "ops/colour/yuv420_coefficients.h"
#include "ops/colour/yuv420_to_rgb.h"
#include "ops/colour/yuv420_to_rgb_transform.h"

namespace mira {
namespace {

// Descriptors: Y, U, V (width in samples) and one RGB plane (width in
// pixels); the argument packs layout, matrix, range and pixel stride. Sizes
// and overlaps are the checked interface's; here only what the paths read.
bool frame_ok(const MIRA_Feature_Buf* yuv, const MIRA_Feature_Buf* rgb, int32_t arg) {
    const CameraArg a = unpack_camera_arg(arg);
    if (!camera_arg_ok(a) || yuv[0].width == 0 || yuv[0].height == 0) return false;
    const uint32_t cw = (yuv[0].width + 1) / 2, ch = (yuv[0].height + 1) / 2;
    if (yuv[1].width < cw || yuv[2].width < cw || yuv[1].height < ch || yuv[2].height < ch)
        return false;
    // Rows may not overlap: each stride at least its row's samples.
    const uint64_t chromaRow = uint64_t(cw - 1) * uint64_t(a.pixelStride) + 1;
    if (yuv[0].stride < yuv[0].width || (ch > 1 && (yuv[1].stride < chromaRow ||
                                                    yuv[2].stride < chromaRow)))
        return false;
    return rgb->width == yuv[0].width && rgb->height == yuv[0].height &&
           uint64_t(rgb->stride) >= uint64_t(rgb_channels(a.format)) * rgb->width;
}

bool to_rgb_ok(const Call& c) {
    return planes_present(c.src, c.srcCount, 3) && planes_present(c.dst, c.dstCount, 1) &&
           frame_ok(c.src, c.dst, c.param->arg);
}

bool from_rgb_ok(const Call& c) {
    return planes_present(c.src, c.srcCount, 1) && planes_present(c.dst, c.dstCount, 3) &&
           frame_ok(c.dst, c.src, c.param->arg);
}

uint32_t to_rgb_cpu(const Call& c) {
    const CameraArg a = unpack_camera_arg(c.param->arg);
    const MIRA_Feature_Buf* s = c.src;
    const Yuv420Source src{s[0].data, s[1].data, s[2].data, s[0].stride,
                           s[1].stride, s[2].stride, a.pixelStride};
    yuv420_to_rgb_neon(src, s[0].width, s[0].height, c.dst->data, c.dst->stride, a.format,
                       a.matrix, a.range);
    return MIRA_OK;
}

uint32_t from_rgb_cpu(const Call& c) {
    const CameraArg a = unpack_camera_arg(c.param->arg);
    const MIRA_Feature_Buf* d = c.dst;
    const Yuv420Destination dst{d[0].data, d[1].data, d[2].data, d[0].stride,
                                d[1].stride, d[2].stride, a.pixelStride};
    rgb_to_yuv420_neon(c.src->data, c.src->stride, a.format, d[0].width, d[0].height, dst,
                       a.matrix, a.range);
    return MIRA_OK;
}

// The kernels' request code (kernels/common/yuv420.clh) as the launch's float
// parameter: an integer below 64, exact in a float, so that every request
// shares one program build.
kernel_config camera_config(const CameraArg& a) {
    kernel_config cfg = default_kernel_config();
    cfg.param_float_1 =
        float(a.format | (a.matrix << 2) | (a.range << 4) | ((a.pixelStride - 1) << 5));
    return cfg;
}

// A plane of `rows` rows of `rowBytes` bytes for the GPU runtime.
ZOR_U8Info u8_plane(uint8_t* data, uint32_t rowBytes, uint32_t rows, uint32_t stride) {
    return ZOR_U8Info{rowBytes, rows, size_t(stride) * rows, stride, rows, 1, 1, data};
}

// Three source planes (chroma read with its pixel stride), one RGB plane.
bool to_rgb_gpu(const Call& c) {
    const CameraArg a = unpack_camera_arg(c.param->arg);
    const MIRA_Feature_Buf* s = c.src;
    const uint32_t w = s[0].width, h = s[0].height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const uint32_t chromaBytes = (cw - 1) * uint32_t(a.pixelStride) + 1;
    ZOR_U8Info y = u8_plane(s[0].data, w, h, s[0].stride);
    ZOR_U8Info u = u8_plane(s[1].data, chromaBytes, ch, s[1].stride);
    ZOR_U8Info v = u8_plane(s[2].data, chromaBytes, ch, s[2].stride);
    ZOR_U8Info out = u8_plane(c.dst->data, w * uint32_t(rgb_channels(a.format)), h, c.dst->stride);
    ZOR_U8Info* ins[3] = {&y, &u, &v};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve =
        gpu_request(MIRA_API_YUV420_TO_RGB, kernel_id::ColorYUV420ToRGBu8);
    reserve.dstWhole = 1;  // every byte of each destination row is written
    const kernel_config cfg = camera_config(a);
    return zor_gpu_u8_u8(ins, 3, outs, 1, &reserve, &cfg);
}

// The kernel writes three packed planes. A frame whose U and V interleave
// (one plane of pairs) gets them through two packed working planes,
// interleaved into the caller's pairs afterwards; chroma planes with a byte
// between samples that belongs to neither are left to the twin (fits).
bool chroma_pairs(const MIRA_Feature_Buf* d, bool* vFirst) {
    if (d[1].stride != d[2].stride) return false;
    *vFirst = d[1].data == d[2].data + 1;
    return *vFirst || d[2].data == d[1].data + 1;
}

bool from_rgb_fits(const Call& c) {
    bool vFirst;
    return unpack_camera_arg(c.param->arg).pixelStride == 1 || chroma_pairs(c.dst, &vFirst);
}

bool from_rgb_gpu(const Call& c) {
    const CameraArg a = unpack_camera_arg(c.param->arg);
    const MIRA_Feature_Buf* d = c.dst;
    const uint32_t w = d[0].width, h = d[0].height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    ZOR_U8Info in = u8_plane(c.src->data, w * uint32_t(rgb_channels(a.format)), h, c.src->stride);
    ZOR_U8Info y = u8_plane(d[0].data, w, h, d[0].stride);
    ZOR_U8Info u, v;
    uint8_t* work = nullptr;
    bool vFirst = false;
    if (a.pixelStride == 1) {
        u = u8_plane(d[1].data, cw, ch, d[1].stride);
        v = u8_plane(d[2].data, cw, ch, d[2].stride);
    } else {
        chroma_pairs(d, &vFirst);
        work = static_cast<uint8_t*>(std::malloc(2 * size_t(cw) * ch));
        if (work == nullptr) return false;
        u = u8_plane(work, cw, ch, cw);
        v = u8_plane(work + size_t(cw) * ch, cw, ch, cw);
    }
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[3] = {&y, &u, &v};
    ZOR_ReserveParam_Opencl reserve =
        gpu_request(MIRA_API_RGB_TO_YUV420, kernel_id::ColorRGBToYUV420u8);
    reserve.dstWhole = 1;  // every sample of each plane is written
    const kernel_config cfg = camera_config(a);
    const bool ran = zor_gpu_u8_u8(ins, 1, outs, 3, &reserve, &cfg);
    if (ran && work != nullptr) {
        const uint8_t *first = vFirst ? v.data : u.data, *second = vFirst ? u.data : v.data;
        interleave_neon(first, second, cw, ch, cw, cw, vFirst ? d[2].data : d[1].data,
                        d[1].stride);
    }
    std::free(work);
    return ran;
}

// The fused call's argument: the conversion's (low 16 bits), quarter turns,
// mirror and interpolation (0 nearest, 1 bilinear).
struct TransformArg {
    CameraArg camera;
    int turns, mirror, interpolation;
};
TransformArg unpack_transform_arg(int32_t v) {
    return TransformArg{unpack_camera_arg(v & 0xFFFF), (v >> 16) & 15, (v >> 20) & 15,
                        (v >> 24) & 15};
}

bool transform_ok(const Call& c) {
    if (!planes_present(c.src, c.srcCount, 3) || !planes_present(c.dst, c.dstCount, 1))
        return false;
    const TransformArg t = unpack_transform_arg(c.param->arg);
    if (t.turns > 3 || t.mirror > 1 || t.interpolation > 1) return false;
    // The frame's checks with a destination of the frame's size standing in
    // for the real one, whose size is free.
    MIRA_Feature_Buf same = *c.dst;
    same.width = c.src[0].width;
    same.height = c.src[0].height;
    same.stride = uint32_t(rgb_channels(t.camera.format)) * same.width;
    if (!frame_ok(c.src, &same, c.param->arg & 0xFFFF)) return false;
    return c.dst->width > 0 && c.dst->height > 0 &&
           uint64_t(c.dst->stride) >= uint64_t(rgb_channels(t.camera.format)) * c.dst->width;
}

uint32_t transform_cpu(const Call& c) {
    const TransformArg t = unpack_transform_arg(c.param->arg);
    const CameraArg& a = t.camera;
    const MIRA_Feature_Buf* s = c.src;
    const Yuv420Source src{s[0].data, s[1].data, s[2].data, s[0].stride,
                           s[1].stride, s[2].stride, a.pixelStride};
    yuv420_to_rgb_transform_neon(src, s[0].width, s[0].height, c.dst->data, c.dst->stride,
                                 c.dst->width, c.dst->height, 90 * t.turns, t.mirror != 0,
                                 t.interpolation == 1, a.format, a.matrix, a.range);
    return MIRA_OK;
}

// The kernel computes every destination pixel from the frame directly (the
// CPU method is its twin): three source planes, one RGB plane of any size.
bool transform_gpu(const Call& c) {
    const TransformArg t = unpack_transform_arg(c.param->arg);
    const CameraArg& a = t.camera;
    const MIRA_Feature_Buf* s = c.src;
    const uint32_t w = s[0].width, h = s[0].height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    const uint32_t chromaBytes = (cw - 1) * uint32_t(a.pixelStride) + 1;
    ZOR_U8Info y = u8_plane(s[0].data, w, h, s[0].stride);
    ZOR_U8Info u = u8_plane(s[1].data, chromaBytes, ch, s[1].stride);
    ZOR_U8Info v = u8_plane(s[2].data, chromaBytes, ch, s[2].stride);
    ZOR_U8Info out = u8_plane(c.dst->data, c.dst->width * uint32_t(rgb_channels(a.format)),
                              c.dst->height, c.dst->stride);
    ZOR_U8Info* ins[3] = {&y, &u, &v};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = gpu_request(MIRA_API_YUV420_TO_RGB_TRANSFORM,
                                                  kernel_id::ColorYUV420ToRGBTransformu8);
    reserve.dstWhole = 1;  // every byte of each destination row is written
    kernel_config cfg = camera_config(a);
    cfg.param_float_2 = float(t.turns | (t.mirror << 2) | (t.interpolation << 3));
    return zor_gpu_u8_u8(ins, 3, outs, 1, &reserve, &cfg);
}

}  // namespace

const Route kYuv420ToRgbTransform{transform_ok, transform_cpu, nullptr, transform_gpu};
const Route kYuv420ToRgb{to_rgb_ok, to_rgb_cpu, nullptr, to_rgb_gpu};
const Route kRgbToYuv420{from_rgb_ok, from_rgb_cpu, nullptr, from_rgb_gpu, from_rgb_fits};

}  // namespace mira
