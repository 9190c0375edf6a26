// The colour features: CbCr swap, interleave, NV21 to RGBA and the two
// 4:4:4 / 4:2:0 conversions.
#include <algorithm>
#include <cstring>

#include "features/routes.h"
#include "features/feature_common.h"
#include "features/gpu_call.h"
#include "ops/colour/cbcr_swap.h"
#include "ops/colour/interleave.h"
#include "ops/colour/nv21_to_rgba.h"
#include "ops/colour/nv21_to_rgba_twin.h"
#include "ops/colour/yuv420_to_yuv444.h"
#include "ops/colour/yuv444_to_yuv420.h"

namespace mira {
namespace {

// ------------------------------------------------------------ CbCr swap

bool one_plane_each(const Call& c) {
    return c.src != nullptr && c.dst != nullptr && c.src->data != nullptr &&
           c.dst->data != nullptr;
}

uint32_t cbcr_swap_cpu(const Call& c) {
    cbcr_swap_neon(c.src->data, c.src->width, c.src->height, c.src->stride, c.dst->data,
                   c.dst->stride);
    return MIRA_OK;
}

// The kernel counts 4-byte groups while the descriptors count pairs: the
// records describe each row in bytes (2 x width), so staging moves exactly the
// row's bytes and the rounded-up launch covers every pair.
bool cbcr_swap_gpu(const Call& c) {
    if (c.src->width == 0 || c.src->height == 0) return true;
    ZOR_U8Info in = zor_u8_info(*c.src), out = zor_u8_info(*c.dst);
    in.width = 2 * c.src->width;
    out.width = 2 * c.dst->width;
    ZOR_ReserveParam_Opencl reserve = gpu_request(MIRA_API_CBCR_SWAP, kernel_id::ColorCbCrSwapu8);
    reserve.dstWhole = 1;  // every destination pair is written
    return gpu_plane(in, out, reserve);
}

// ------------------------------------------------------------ interleave

// The counts are not checked beyond what is read: two sources, one destination.
bool interleave_ok(const Call& c) {
    return c.src != nullptr && c.dst != nullptr && c.srcCount >= 2 && c.src[0].data != nullptr &&
           c.src[1].data != nullptr && c.dst->data != nullptr;
}

uint32_t interleave_cpu(const Call& c) {
    interleave_neon(c.src[0].data, c.src[1].data, c.src[0].width, c.src[0].height,
                    c.src[0].stride, c.src[1].stride, c.dst->data, c.dst->stride);
    return MIRA_OK;
}

// The kernel's unit is 2 bytes of each source (4 destination bytes) and the
// launch counts destination units of 4 bytes, which is what the destination
// record's width (2 x source width, in bytes) gives once rounded up.
bool interleave_gpu(const Call& c) {
    if (c.src[0].width == 0 || c.src[0].height == 0) return true;
    ZOR_U8Info a = zor_u8_info(c.src[0]), b = zor_u8_info(c.src[1]), out = zor_u8_info(*c.dst);
    b.width = a.width;  // only the first source's geometry counts
    b.height = a.height;
    out.width = 2 * a.width;
    out.height = a.height;
    ZOR_U8Info* ins[2] = {&a, &b};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = gpu_request(MIRA_API_INTERLEAVE_U8, kernel_id::Interleaveu8);
    reserve.dstWhole = 1;  // every destination pair is written
    return zor_gpu_u8_u8(ins, 2, outs, 1, &reserve, nullptr);
}

// ------------------------------------------------------------ NV21 to RGBA

// Rows must not overlap: a stride shorter than its row would make the last
// row run past the plane (stride x rows) the caller described. Two source
// descriptors: a separate VU plane and the destination stride in bytes; one:
// the destination stride in pixels.
bool nv21_ok(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (src == nullptr || c.srcCount == 0 || dst == nullptr || c.dstCount == 0 ||
        src->data == nullptr || dst->data == nullptr)
        return false;
    if (src->stride < src->width) return false;
    if (c.srcCount >= 2)
        return src[1].data != nullptr && src[1].stride >= (src->width & ~1u) &&
               uint64_t(dst->stride) >= 4ull * dst->width;
    return dst->stride >= dst->width;
}

// One source descriptor: the chroma plane follows the luma plane at width x
// height bytes (an unsigned 32-bit product); luma rows are `width` bytes
// apart. Two source descriptors: luma and chroma planes each with its own
// stride, and the destination's stride in bytes.
uint32_t nv21_cpu(const Call& c) {
    const MIRA_Feature_Buf* src = c.src;
    if (c.srcCount >= 2) {
        nv21_to_rgba_neon(src[0].data, src[0].stride, src[1].data, src[1].stride,
                          (int)src[0].width, (int)src[0].height, c.dst->data, c.dst->stride);
        return MIRA_OK;
    }
    const uint32_t lumaBytes = src->width * src->height;
    nv21_to_rgba_neon(src->data, src->data + lumaBytes, (int)src->width, (int)src->height,
                      c.dst->data);
    return MIRA_OK;
}

// The kernel's conversion on the CPU, with the GPU request's geometry: the
// chroma plane at stride x bufHeight after the luma (or its own descriptor),
// the destination stride in pixels (in bytes with two source descriptors).
uint32_t nv21_twin(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (dst->width < 2 || dst->height < 2) return MIRA_OK;
    const uint32_t w = std::min(src->width, dst->width), h = std::min(src->height, dst->height);
    if (c.srcCount >= 2)
        nv21_to_rgba_twin(src[0].data, src[0].stride, src[1].data, src[1].stride, w, h,
                          dst->data, dst->stride);
    else
        nv21_to_rgba_twin(src->data, src->stride,
                          src->data + uint64_t(src->stride) * src->bufHeight, src->stride, w, h,
                          dst->data, 4ull * dst->stride);
    return MIRA_OK;
}

bool nv21_gpu(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (dst->width < 2 || dst->height < 2) return true;
    ZOR_YuvInfo in;
    std::memset(&in, 0, sizeof in);
    in.format = 0;
    // Only whole pixel pairs are converted: the records carry the even part of
    // the widths, so staging moves no byte of an odd last column.
    in.width = src->width & ~1u;
    in.height = src->height;
    in.size = size_t(src->stride) * src->bufHeight * 3 / 2;
    in.strideY = src->stride;
    in.rowsY = src->bufHeight;
    in.strideU = in.strideV = src->stride;
    in.dataY = src->data;
    in.dataU = in.dataV = src->data + (uint64_t)src->stride * src->bufHeight;
    const bool planes = c.srcCount >= 2;  // separate chroma plane, destination stride in bytes
    if (planes) {
        in.strideU = in.strideV = src[1].stride;
        in.dataU = in.dataV = src[1].data;
        in.size = size_t(src->stride) * src->bufHeight + size_t(src[1].stride) * src[1].bufHeight;
    }
    ZOR_RGBInfo out;
    std::memset(&out, 0, sizeof out);
    out.width = dst->width & ~1u;
    out.height = dst->height;
    out.strideW = planes ? dst->stride / 4 : dst->stride;
    out.size = size_t(out.strideW) * dst->bufHeight * 4;
    out.strideH = dst->bufHeight;
    out.elemSize = 4;
    out.format = 4;
    out.data = dst->data;
    ZOR_YuvInfo* ins[1] = {&in};
    ZOR_RGBInfo* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve =
        gpu_request(MIRA_API_NV21_TO_RGBA8888, kernel_id::ColorYUV420toRGB8888u8);
    return zor_gpu_yuv_rgb(ins, 1, outs, 1, &reserve, nullptr);
}

// ------------------------------------------------------------ 4:4:4 <-> 4:2:0

// Planar 4:4:4 is three plane descriptors, semi-planar 4:2:0 two.
template <uint8_t kSrcPlanes, uint8_t kDstPlanes>
bool yuv_planes_ok(const Call& c) {
    return planes_present(c.src, c.srcCount, kSrcPlanes) &&
           planes_present(c.dst, c.dstCount, kDstPlanes);
}

uint32_t yuv_layout_cpu(const Call& c, bool toPlanar) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (toPlanar)
        yuv420_to_yuv444_neon(src[0].data, src[1].data, src[0].width, src[0].height,
                              src[0].stride, src[1].stride, dst[0].data, dst[1].data, dst[2].data,
                              dst[0].stride, dst[1].stride, dst[2].stride);
    else
        yuv444_to_yuv420_neon(src[0].data, src[1].data, src[2].data, src[0].width,
                              src[0].height, src[0].stride, src[1].stride, src[2].stride,
                              dst[0].data, dst[1].data, dst[0].stride, dst[1].stride);
    return MIRA_OK;
}

// The GPU runtime moves semi-planar chroma rows as whole pairs, so both
// kernels take the even part of the width; the Cb of a lone last column (an
// odd width has no Cr sample for it) is filled in here, and the luma plane,
// part of neither kernel, is copied row by row.
bool yuv_layout_gpu(const Call& c, bool toPlanar) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    const uint32_t w = src[0].width, h = src[0].height, pairsW = w & ~1u;
    if (pairsW != 0 && h >= 2) {
        const bool ran =
            toPlanar
                ? zor_run_yuv_yuv(
                      zor_yuv420sp_info(src[0], src[1], pairsW, h),
                      zor_yuv444p_info(dst[0], dst[1], dst[2], pairsW, h), MIRA_API_YUV420_TO_YUV444,
                      kernel_name(kernel_id::ColorYCbCr420PseudoPlanarToYCbCr444Planaru8))
                : zor_run_yuv_yuv(
                      zor_yuv444p_info(src[0], src[1], src[2], pairsW, h),
                      zor_yuv420sp_info(dst[0], dst[1], pairsW, h), MIRA_API_YUV444_TO_YUV420,
                      kernel_name(kernel_id::ColorYCbCr444PlanarToYCbCr420PseudoPlanaru8));
        if (!ran) return false;
    }
    if (w & 1)
        for (uint32_t r = 0; r < h / 2; ++r) {
            if (toPlanar) {
                const uint8_t cb = row_ptr(src[1], r)[w - 1];
                row_ptr(dst[1], 2 * r)[w - 1] = cb;
                row_ptr(dst[1], 2 * r + 1)[w - 1] = cb;
            } else {
                row_ptr(dst[1], r)[w - 1] = row_ptr(src[1], 2 * r)[w - 1];
            }
        }
    for (uint32_t y = 0; y < h; ++y) std::memmove(row_ptr(dst[0], y), row_ptr(src[0], y), w);
    return true;
}

uint32_t yuv444_to_420_cpu(const Call& c) { return yuv_layout_cpu(c, false); }
uint32_t yuv420_to_444_cpu(const Call& c) { return yuv_layout_cpu(c, true); }
bool yuv444_to_420_gpu(const Call& c) { return yuv_layout_gpu(c, false); }
bool yuv420_to_444_gpu(const Call& c) { return yuv_layout_gpu(c, true); }

}  // namespace

const Route kCbcrSwap{one_plane_each, cbcr_swap_cpu, nullptr, cbcr_swap_gpu};
const Route kInterleave{interleave_ok, interleave_cpu, nullptr, interleave_gpu};
const Route kNv21{nv21_ok, nv21_cpu, nv21_twin, nv21_gpu};
const Route kYuv444To420{yuv_planes_ok<3, 2>, yuv444_to_420_cpu, nullptr, yuv444_to_420_gpu};
const Route kYuv420To444{yuv_planes_ok<2, 3>, yuv420_to_444_cpu, nullptr, yuv420_to_444_gpu};

}  // namespace mira
