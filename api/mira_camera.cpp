// The camera-frame functions of the checked C interface (mira_image.h):
// frame descriptions from one buffer, and the conversions to RGB and back.
// Every argument is checked here, before the feature runs.
#include <cstring>
#include <initializer_list>

#include "api/image_overlap.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"
#include "ops/colour/yuv420_coefficients.h"
#include "ops/requests.h"

namespace {

using u8 = uint8_t;
using u32 = uint32_t;
using u64 = uint64_t;

constexpr mira_status kBad = MIRA_STATUS_BAD_ARGUMENT;

// One plane as rows of bytes: `samples` samples `step` bytes apart per row.
struct Plane {
    const u8* data;
    u64 stride, samples, step, rows;
    u64 row_span() const { return (samples - 1) * step + 1; }
    u64 span() const { return stride * (rows - 1) + row_span(); }
    mira_overlap::Rows rows_of() const {
        return {reinterpret_cast<uintptr_t>(data), stride, row_span(), rows};
    }
};

// Whether two planes share a byte. Planes with a byte between samples are
// judged by their rows' first to last sample, except two such planes with
// one even stride starting an odd number of bytes apart (the U and V of a
// pair plane), whose samples never meet.
bool planes_overlap(const Plane& a, const Plane& b) {
    if (a.step == 2 && b.step == 2 && a.stride == b.stride && a.stride % 2 == 0 &&
        (reinterpret_cast<uintptr_t>(a.data) ^ reinterpret_cast<uintptr_t>(b.data)) & 1)
        return false;
    return mira_overlap::overlap(a.rows_of(), b.rows_of());
}

struct FramePlanes {
    Plane y, u, v;
};

// The frame's three planes when it is usable, else false.
bool frame_planes(const mira_yuv420* f, FramePlanes* out) {
    if (f == nullptr || f->y == nullptr || f->u == nullptr || f->v == nullptr) return false;
    if (f->width < 1 || f->height < 1 || f->width > MIRA_IMAGE_MAX_SIDE ||
        f->height > MIRA_IMAGE_MAX_SIDE)
        return false;
    if (f->uv_pixel_stride != 1 && f->uv_pixel_stride != 2) return false;
    const u64 cw = (u64(f->width) + 1) / 2, ch = (u64(f->height) + 1) / 2;
    *out = FramePlanes{{f->y, f->y_stride, f->width, 1, f->height},
                       {f->u, f->u_stride, cw, f->uv_pixel_stride, ch},
                       {f->v, f->v_stride, cw, f->uv_pixel_stride, ch}};
    for (const Plane* p : {&out->y, &out->u, &out->v})
        if (p->stride < p->row_span() || p->span() > mira::kMaxSpan) return false;
    return !planes_overlap(out->y, out->u) && !planes_overlap(out->y, out->v) &&
           !planes_overlap(out->u, out->v);
}

// An RGB image of the format's channels, any size the interface takes.
bool rgb_image_ok(const mira_image* im, int format) {
    if (im == nullptr || im->data == nullptr) return false;
    if (im->channels != u32(mira::rgb_channels(format))) return false;
    if (im->width < 1 || im->height < 1 || im->width > MIRA_IMAGE_MAX_SIDE ||
        im->height > MIRA_IMAGE_MAX_SIDE)
        return false;
    const u64 row = u64(im->width) * im->channels;
    return im->stride >= row && u64(im->stride) * (im->height - 1) + row <= mira::kMaxSpan;
}

Plane rgb_plane(const mira_image* im) {
    return Plane{im->data, im->stride, u64(im->width) * im->channels, 1, im->height};
}

int mode_of(mira_path path) {
    switch (path) {
        case MIRA_PATH_DEFAULT:
        case MIRA_PATH_CPU: return MIRA_MODE_CPU;
        case MIRA_PATH_GPU: return MIRA_MODE_OPENCL;
    }
    return -1;
}

// The enumerations and pixel stride as the features' argument, or -1.
int32_t camera_arg(int format, int matrix, int range, u32 pixelStride) {
    const mira::CameraArg a{format, matrix, range, int(pixelStride)};
    return mira::camera_arg_ok(a) ? mira::pack_camera_arg(a) : -1;
}

MIRA_Feature_Buf desc(const Plane& p, u32 width) {
    MIRA_Feature_Buf b;
    b.width = width;
    b.stride = u32(p.stride);
    b.height = u32(p.rows);
    b.bufHeight = u32(p.rows);
    b.data = const_cast<u8*>(p.data);
    return b;
}

// A conversion's checked arguments: the frame's three plane descriptors, the
// RGB image's and the features' argument.
struct CameraCall {
    MIRA_Feature_Buf frame[3];
    MIRA_Feature_Buf rgb;
    int32_t arg;
};

// Checks a frame, an RGB image of the format (of the frame's size when
// `sameSize`) sharing no byte with it, and the enumerations; fills `call`.
bool camera_call(const mira_yuv420* f, const mira_image* im, bool sameSize, int format,
                 int matrix, int range, CameraCall* call) {
    FramePlanes p;
    if (!frame_planes(f, &p)) return false;
    call->arg = camera_arg(format, matrix, range, f->uv_pixel_stride);
    if (call->arg < 0 || !rgb_image_ok(im, format)) return false;
    if (sameSize && (im->width != f->width || im->height != f->height)) return false;
    const Plane rgb = rgb_plane(im);
    for (const Plane* q : {&p.y, &p.u, &p.v})
        if (planes_overlap(*q, rgb)) return false;
    const u32 cw = (f->width + 1) / 2;
    call->frame[0] = desc(p.y, f->width);
    call->frame[1] = desc(p.u, cw);
    call->frame[2] = desc(p.v, cw);
    call->rgb = desc(rgb, im->width);
    return true;
}

mira_status run(u32 id, int mode, const MIRA_Feature_Buf* src, u8 srcCount, MIRA_Feature_Buf* dst,
                u8 dstCount, int32_t arg) {
    MIRA_Feature_Param p;
    p.apiId = id;
    p.mode = u32(mode);
    p.reserved = 1;
    p.extra = nullptr;
    p.arg = arg;
    MIRA_Manager manager;
    const u32 status = manager.run(src, srcCount, dst, dstCount, &p);
    if (status == MIRA_OK) return MIRA_STATUS_OK;
    return status == MIRA_ERR_FAIL ? MIRA_STATUS_OUT_OF_MEMORY : kBad;
}

// A tightly packed frame: luma, then the chroma as `layout` says (0 NV21,
// 1 NV12, 2 I420).
mira_status describe(mira_yuv420* frame, u8* buffer, size_t size, u32 width, u32 height,
                     int layout) {
    if (frame == nullptr || buffer == nullptr || width < 1 || height < 1 ||
        width > MIRA_IMAGE_MAX_SIDE || height > MIRA_IMAGE_MAX_SIDE)
        return kBad;
    const u64 luma = u64(width) * height, cw = (u64(width) + 1) / 2, ch = (u64(height) + 1) / 2;
    if (u64(size) < luma + 2 * cw * ch) return kBad;
    mira_yuv420 f;
    f.y = buffer;
    f.width = width;
    f.height = height;
    f.y_stride = width;
    u8* c = buffer + luma;
    if (layout == 2) {
        f.u = c;
        f.v = c + cw * ch;
        f.u_stride = f.v_stride = u32(cw);
        f.uv_pixel_stride = 1;
    } else {
        f.v = layout == 0 ? c : c + 1;
        f.u = layout == 0 ? c + 1 : c;
        f.u_stride = f.v_stride = u32(2 * cw);
        f.uv_pixel_stride = 2;
    }
    *frame = f;
    return MIRA_STATUS_OK;
}

}  // namespace

extern "C" {

mira_status mira_yuv420_nv21(mira_yuv420* frame, uint8_t* buffer, size_t size, uint32_t width,
                             uint32_t height) {
    return describe(frame, buffer, size, width, height, 0);
}

mira_status mira_yuv420_nv12(mira_yuv420* frame, uint8_t* buffer, size_t size, uint32_t width,
                             uint32_t height) {
    return describe(frame, buffer, size, width, height, 1);
}

mira_status mira_yuv420_i420(mira_yuv420* frame, uint8_t* buffer, size_t size, uint32_t width,
                             uint32_t height) {
    return describe(frame, buffer, size, width, height, 2);
}

mira_status mira_yuv420_to_rgb(const mira_yuv420* src, const mira_image* dst,
                               mira_rgb_format format, mira_matrix matrix, mira_range range,
                               mira_path path) {
    const int mode = mode_of(path);
    CameraCall c;
    if (mode < 0 || !camera_call(src, dst, true, format, matrix, range, &c)) return kBad;
    return run(MIRA_API_YUV420_TO_RGB, mode, c.frame, 3, &c.rgb, 1, c.arg);
}

mira_status mira_yuv420_to_rgb_transform(const mira_yuv420* src, const mira_image* dst,
                                         int degrees, int mirror,
                                         mira_interpolation interpolation,
                                         mira_rgb_format format, mira_matrix matrix,
                                         mira_range range, mira_path path) {
    const int mode = mode_of(path);
    if (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270) return kBad;
    if (mirror != 0 && mirror != 1) return kBad;
    if (interpolation != MIRA_INTERPOLATION_NONE && interpolation != MIRA_INTERPOLATION_BILINEAR)
        return kBad;
    CameraCall c;
    if (mode < 0 || !camera_call(src, dst, false, format, matrix, range, &c)) return kBad;
    const int32_t full = c.arg | ((degrees / 90) << 16) | (mirror << 20) |
                         (interpolation == MIRA_INTERPOLATION_BILINEAR ? 1 << 24 : 0);
    return run(MIRA_API_YUV420_TO_RGB_TRANSFORM, mode, c.frame, 3, &c.rgb, 1, full);
}

mira_status mira_rgb_to_yuv420(const mira_image* src, mira_rgb_format format,
                               const mira_yuv420* dst, mira_matrix matrix, mira_range range,
                               mira_path path) {
    const int mode = mode_of(path);
    CameraCall c;
    if (mode < 0 || !camera_call(dst, src, true, format, matrix, range, &c)) return kBad;
    return run(MIRA_API_RGB_TO_YUV420, mode, &c.rgb, 1, c.frame, 3, c.arg);
}

}  // extern "C"
