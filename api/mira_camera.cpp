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

// An RGB image of the format's channels, the frame's size.
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

// An RGB image of the frame's size.
bool rgb_ok(const mira_image* im, int format, const mira_yuv420* f) {
    return rgb_image_ok(im, format) && im->width == f->width && im->height == f->height;
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
    FramePlanes p;
    if (mode < 0 || !frame_planes(src, &p)) return kBad;
    const int32_t arg = camera_arg(format, matrix, range, src->uv_pixel_stride);
    if (arg < 0 || !rgb_ok(dst, format, src)) return kBad;
    const Plane out = rgb_plane(dst);
    for (const Plane* q : {&p.y, &p.u, &p.v})
        if (planes_overlap(*q, out)) return kBad;
    const u32 cw = (src->width + 1) / 2;
    MIRA_Feature_Buf s[3] = {desc(p.y, src->width), desc(p.u, cw), desc(p.v, cw)};
    MIRA_Feature_Buf d = desc(out, dst->width);
    return run(MIRA_API_YUV420_TO_RGB, mode, s, 3, &d, 1, arg);
}

mira_status mira_yuv420_to_rgb_transform(const mira_yuv420* src, const mira_image* dst,
                                         int degrees, int mirror,
                                         mira_interpolation interpolation,
                                         mira_rgb_format format, mira_matrix matrix,
                                         mira_range range, mira_path path) {
    const int mode = mode_of(path);
    FramePlanes p;
    if (mode < 0 || !frame_planes(src, &p)) return kBad;
    if (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270) return kBad;
    if (mirror != 0 && mirror != 1) return kBad;
    if (interpolation != MIRA_INTERPOLATION_NONE && interpolation != MIRA_INTERPOLATION_BILINEAR)
        return kBad;
    const int32_t arg = camera_arg(format, matrix, range, src->uv_pixel_stride);
    if (arg < 0 || !rgb_image_ok(dst, format)) return kBad;
    const Plane out = rgb_plane(dst);
    for (const Plane* q : {&p.y, &p.u, &p.v})
        if (planes_overlap(*q, out)) return kBad;
    const u32 cw = (src->width + 1) / 2;
    MIRA_Feature_Buf s[3] = {desc(p.y, src->width), desc(p.u, cw), desc(p.v, cw)};
    MIRA_Feature_Buf d = desc(out, dst->width);
    const int32_t full = arg | ((degrees / 90) << 16) | (mirror << 20) |
                         (interpolation == MIRA_INTERPOLATION_BILINEAR ? 1 << 24 : 0);
    return run(MIRA_API_YUV420_TO_RGB_TRANSFORM, mode, s, 3, &d, 1, full);
}

mira_status mira_rgb_to_yuv420(const mira_image* src, mira_rgb_format format,
                               const mira_yuv420* dst, mira_matrix matrix, mira_range range,
                               mira_path path) {
    const int mode = mode_of(path);
    FramePlanes p;
    if (mode < 0 || !frame_planes(dst, &p)) return kBad;
    const int32_t arg = camera_arg(format, matrix, range, dst->uv_pixel_stride);
    if (arg < 0 || !rgb_ok(src, format, dst)) return kBad;
    const Plane in = rgb_plane(src);
    for (const Plane* q : {&p.y, &p.u, &p.v})
        if (planes_overlap(*q, in)) return kBad;
    const u32 cw = (dst->width + 1) / 2;
    MIRA_Feature_Buf s = desc(in, src->width);
    MIRA_Feature_Buf d[3] = {desc(p.y, dst->width), desc(p.u, cw), desc(p.v, cw)};
    return run(MIRA_API_RGB_TO_YUV420, mode, &s, 1, d, 3, arg);
}

}  // extern "C"
