// The geometry features: transpose and the quarter turns of 1- and 2-byte
// pixels, and of the 3- and 4-byte pixels of colour images (the pixel size of
// ops/requests.h).
#include <cmath>

#include "ops/requests.h"

#include "features/routes.h"
#include "features/gpu_call.h"
#include "ops/geometry/rotate.h"
#include "ops/geometry/rotate_interleaved.h"
#include "ops/geometry/transpose.h"

namespace mira {
namespace {

// ------------------------------------------------------------ transpose

// One source, a destination; for a non-empty source, strides that hold the
// rows of both (the destination's rows are the source's height wide).
bool transpose_ok(const Call& c) {
    if (c.src == nullptr || c.srcCount != 1 || c.dst == nullptr || c.dstCount == 0) return false;
    if (c.src->data == nullptr || c.dst->data == nullptr) return false;
    if (c.src->width == 0 || c.src->height == 0) return true;
    const uint64_t px = request_pixel_bytes(*c.param);
    return c.src->stride >= px * c.src->width && c.dst->stride >= px * c.src->height;
}

uint32_t transpose_cpu(const Call& c) {
    const uint32_t px = request_pixel_bytes(*c.param);
    if (px == 1)
        transpose_u8_neon(c.src->data, c.src->width, c.src->height, c.src->stride, c.dst->data,
                          c.dst->stride);
    else
        transpose_pixels_neon(c.src->data, c.src->width, c.src->height, c.src->stride,
                              c.dst->data, c.dst->stride, px);
    return MIRA_OK;
}

// One kernel launch over the destination through the u8 entry. The records
// count bytes; the kernel moves whole pixels of the request's size
// (param_int_1).
bool transpose_gpu(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (src->width == 0 || src->height == 0) return true;
    const uint32_t px = request_pixel_bytes(*c.param);
    ZOR_U8Info s = zor_u8_info(*src), d = zor_u8_info(*dst);
    s.width = px * src->width;
    // The destination is the source's height wide and its width high,
    // whatever the descriptor's own width and height say.
    d.width = px * src->height;
    d.height = src->width;
    if (s.strideH < src->height) s.strideH = src->height, s.size = size_t(src->stride) * src->height;
    if (d.strideH < src->width) d.strideH = src->width, d.size = size_t(dst->stride) * src->width;
    ZOR_ReserveParam_Opencl reserve = gpu_request(MIRA_API_TRANSPOSE_U8, kernel_id::Transposeu8);
    reserve.dstWhole = 1;  // every destination pixel is written
    kernel_config cfg = default_kernel_config();
    cfg.param_int_1 = int32_t(px);  // 1: the same program as the plane transpose
    return gpu_plane(s, d, reserve, &cfg);
}

// ------------------------------------------------------------ rotations

bool rotate_interleaved_ok(const Call& c) {
    return c.src != nullptr && c.srcCount != 0 && c.dst != nullptr && c.dstCount != 0 &&
           c.src->data != nullptr && c.dst->data != nullptr;
}

// The planar rotation takes exactly one destination. Pixels of several bytes
// need strides that hold their rows (the destination's rows are the source's
// height wide for the quarter turns); 1-byte planes keep the plain C
// function's rules.
bool rotate_ok(const Call& c) {
    if (c.dstCount != 1 || !rotate_interleaved_ok(c)) return false;
    const uint64_t px = request_pixel_bytes(*c.param);
    if (px == 1 || c.src->width == 0 || c.src->height == 0) return true;
    const uint64_t dstPixels = c.param->arg == 2 ? c.src->width : c.src->height;
    return c.src->stride >= px * c.src->width && c.dst->stride >= px * dstPixels;
}

uint32_t rotate_cpu(const Call& c) {
    const uint32_t px = request_pixel_bytes(*c.param);
    if (px == 1)
        rotate_u8_neon(c.src->data, c.src->width, c.src->height, c.src->stride, c.dst->data,
                       c.dst->stride, c.param->arg);
    else
        rotate_pixels_neon(c.src->data, c.src->width, c.src->height, c.src->stride, c.dst->data,
                           c.dst->stride, px, c.param->arg);
    return MIRA_OK;
}

uint32_t rotate_interleaved_cpu(const Call& c) {
    rotate_interleaved_u8_neon(c.src->data, c.src->width, c.src->height, c.src->stride,
                               c.dst->data, c.dst->stride, c.param->arg);
    return MIRA_OK;
}

// Both rotation kernels work in bytes (their centres and their units of 4
// destination bytes count `pixelBytes` bytes per pixel; the interleaved
// kernel takes 2, 3 or 4 as param_int_1, the planar one 1), so the records
// describe each plane's row in bytes. Staging then moves exactly the bytes
// of each row, and the launch, rounded up over 4-byte units, covers every
// pixel. An unknown rotation code writes nothing.
bool rotate_gpu(const Call& c, uint32_t pixelBytes, uint32_t featureId, kernel_id kernel) {
    const int rotation = c.param->arg;
    if (rotation < 1 || rotation > 3) return true;
    if (c.src->width == 0 || c.src->height == 0) return true;
    ZOR_U8Info in = zor_u8_info(*c.src), out = zor_u8_info(*c.dst);
    in.width = pixelBytes * c.src->width;
    out.width = pixelBytes * c.dst->width;
    ZOR_ReserveParam_Opencl reserve = gpu_request(featureId, kernel);
    reserve.dstWhole = 1;  // rotations 1..3 write every destination pixel
    kernel_config cfg = default_kernel_config();
    const double angle = rotation_angle(rotation);
    cfg.param_float_1 = static_cast<float>(std::sin(angle));
    cfg.param_float_2 = static_cast<float>(std::cos(angle));
    cfg.param_int_1 = pixelBytes > 2 ? int32_t(pixelBytes) : 0;  // 0: the pairs' program
    return gpu_plane(in, out, reserve, &cfg);
}

// Colour pixels run the interleaved kernel, which moves whole pixels of the
// size it is given.
bool rotate_u8_gpu(const Call& c) {
    const uint32_t px = request_pixel_bytes(*c.param);
    if (px != 1)
        return rotate_gpu(c, px, MIRA_API_ROTATE_U8, kernel_id::RotateImageInterleavedu8);
    return rotate_gpu(c, 1, MIRA_API_ROTATE_U8, kernel_id::RotateImageu8);
}

bool rotate_interleaved_gpu(const Call& c) {
    return rotate_gpu(c, 2, MIRA_API_ROTATE_INTERLEAVE_U8, kernel_id::RotateImageInterleavedu8);
}

}  // namespace

const Route kTranspose{transpose_ok, transpose_cpu, nullptr, transpose_gpu};
const Route kRotate{rotate_ok, rotate_cpu, nullptr, rotate_u8_gpu};
const Route kRotateInterleaved{rotate_interleaved_ok, rotate_interleaved_cpu, nullptr,
                               rotate_interleaved_gpu};

}  // namespace mira
