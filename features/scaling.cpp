// The scaling features: integer and M/N box down-scales, the CbCr up-sample,
// the Lanczos up-scales and the general scale.
#include <cstdlib>

#include "features/routes.h"
#include "features/gpu_call.h"
#include "ops/requests.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "ops/scaling/scale.h"
#include "ops/scaling/scale_down.h"
#include "ops/scaling/scale_down_mn.h"
#include "ops/scaling/scale_down_mn_interleave.h"
#include "ops/scaling/scale_down_mn_quotient.h"
#include "ops/scaling/scale_mn_common.h"
#include "ops/scaling/scale_up_poly.h"
#include "ops/scaling/upsample_2d_cbcr.h"
#include "gpu/src/inc/mira_gpu.h"

namespace mira {
namespace {

// One source and one destination plane the pipelines can read and write.
bool pipeline_planes_ok(const Call& c) {
    return c.src && c.srcCount && c.dst && c.dstCount && plane_usable(c.src[0]) &&
           plane_usable(c.dst[0]);
}

// ------------------------------------------------------------ integer down-scale

uint32_t scale_down_cpu(const Call& c) {
    if (c.dst[0].width == 0 || c.dst[0].height == 0) return MIRA_OK;
    const uint32_t channels = request_pixel_bytes(*c.param);
    if (channels >= 3)
        (void)scale_down_pixels(c.src[0], c.dst[0], channels);
    else
        (void)scale_down_plane(c.src[0], c.dst[0]);
    return MIRA_OK;
}

// For whole-number ratios the kernel's boxes are the CPU method's blocks;
// otherwise it averages the block of the integer ratio at the truncated float
// position (the kernel and the M/N planar kernel share their arithmetic).
// Colour pixels: each channel the plane's box (elements of `channels` bytes).
uint32_t scale_down_twin(const Call& c) {
    const MIRA_Feature_Buf &src = c.src[0], &dst = c.dst[0];
    if (dst.width == 0 || dst.height == 0) return MIRA_OK;
    const uint32_t channels = request_pixel_bytes(*c.param);
    return scaledown_mn_quotient(src.data, src.width, src.height, src.stride, dst.data,
                                 dst.width, dst.height, dst.stride, channels >= 3 ? channels : 1)
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

// The kernel takes its box size from the sizes it is given.
bool scale_down_gpu(const Call& c) {
    if (c.dst[0].width == 0 || c.dst[0].height == 0) return true;
    kernel_config cfg = ratio_config(c.src[0], c.dst[0]);
    const uint32_t channels = request_pixel_bytes(*c.param);
    if (channels >= 3) cfg.param_int_1 = int32_t(channels);  // colour pixels
    return gpu_plane(zor_u8_info(c.src[0]), zor_u8_info(c.dst[0]),
                     gpu_request(MIRA_API_SCALE_DOWN_U8, kernel_id::ScaleDownu8_v2), &cfg);
}

// ------------------------------------------------------------ M/N box down-scales

bool mn_ok(const Call& c) {
    return c.src != nullptr && c.srcCount != 0 && c.dst != nullptr && c.dstCount != 0 &&
           mn_plane_ok(c.src[0]) && mn_plane_ok(c.dst[0]);
}

// The kernels take their box size, max(source / destination, 1) per axis,
// from the sizes they are given.
// Colour pixels tell the planar kernel their channels (param_int_1).
bool mn_gpu(const Call& c, uint32_t featureId, kernel_id kernel) {
    kernel_config cfg = ratio_config(c.src[0], c.dst[0]);
    const uint32_t channels = request_pixel_bytes(*c.param);
    if (channels >= 3) cfg.param_int_1 = int32_t(channels);
    return gpu_plane(zor_u8_info(c.src[0]), zor_u8_info(c.dst[0]), gpu_request(featureId, kernel),
                     &cfg);
}

// Planar: the CPU method is the kernel's twin (a box of the integer ratio at
// the truncated float position, truncated mean). Any mode other than 0 and 1
// averages each destination pixel's whole area of the source (the box line),
// which the checked API offers as its CPU path.
// Colour pixels (3 or 4 channels): each channel with the plane's boxes.
uint32_t mn_cpu(const Call& c) {
    return scale_down_mn_u8_cpu(c.src[0], c.dst[0], request_pixel_bytes(*c.param));
}
uint32_t mn_area(const Call& c) {
    return scale_down_mn_u8_area(c.src[0], c.dst[0], request_pixel_bytes(*c.param));
}
bool mn_fits(const Call& c) { return c.src[0].width != 0 && c.src[0].height != 0; }
bool mn_planar_gpu(const Call& c) {
    if (c.dst[0].width == 0 || c.dst[0].height == 0) return true;
    return mn_gpu(c, MIRA_API_SCALEDOWN_MN_U8, kernel_id::ScaleDownMNu8);
}

// Interleaved: the kernel averages each channel over a box of the integer
// ratio at the truncated float position and rounds the float mean; its twin
// computes those bytes. Planes too small for a pair run the CPU method.
bool mn_pairs(const Call& c) {
    return c.dst[0].width >= 2 && c.dst[0].height != 0 && c.src[0].width >= 2 &&
           c.src[0].height != 0;
}
uint32_t mn_interleave_cpu(const Call& c) {
    return scale_down_mn_interleave_u8_cpu(c.src[0], c.dst[0]);
}
uint32_t mn_interleave_twin(const Call& c) {
    if (!mn_pairs(c)) return mn_interleave_cpu(c);
    return scale_down_mn_interleave_u8_twin(c.src[0], c.dst[0]);
}
bool mn_interleave_gpu(const Call& c) {
    return mn_gpu(c, MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, kernel_id::ScaleDownMNInterleaveu8);
}

// ------------------------------------------------------------ CbCr up-sample

uint32_t upsample_cpu(const Call& c) {
    upsample_2d_cbcr_cpu(c.src[0], c.dst[0]);
    return MIRA_OK;
}

// The factor 2 is the kernel's own.
bool upsample_gpu(const Call& c) {
    const MIRA_Feature_Buf &src = c.src[0], &dst = c.dst[0];
    if (src.width < 2 || src.height == 0 || dst.width < 2 || dst.height == 0) return true;
    const kernel_config cfg = ratio_config(src, dst);
    return gpu_plane(zor_u8_info(src), zor_u8_info(dst),
                     gpu_request(MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR,
                                 kernel_id::Upsample2DInterleavedu8),
                     &cfg);
}

bool upsample_ok(const Call& c) {
    return c.src && c.dst && plane_usable(c.src[0]) && plane_usable(c.dst[0]);
}

// ------------------------------------------------------------ Lanczos up-scales
// Their GPU kernels are empty: every mode computes on the CPU.

bool poly_ok(const Call& c) { return poly_args_ok(c.src, c.srcCount, c.dst, c.dstCount, c.param); }

// One factor for both axes, the ratio of the widths; with the independent-axes
// bit in `arg`, the heights' ratio vertically.
uint32_t poly_cpu(const Call& c) {
    const MIRA_Feature_Buf &src = c.src[0], &dst = c.dst[0];
    if (src.width == 0) return MIRA_OK;
    const uint32_t channels = request_pixel_bytes(*c.param);
    if (channels >= 3) {
        // Interleaved pixels: the factors of the pixels' sizes, as the plane's.
        const uint32_t sw = src.width / channels, dw = dst.width / channels;
        if (sw == 0) return MIRA_OK;
        const float fx = float(dw) / float(sw);
        const float fy = (c.param->arg & kScaleAxesIndependent) && src.height > 0
                             ? float(dst.height) / float(src.height)
                             : fx;
        (void)scale_up_lanczos_pixels(src, dst, fx, fy, channels);
        return MIRA_OK;
    }
    const float factor = float(dst.width) / float(src.width);
    const float fy = (c.param->arg & kScaleAxesIndependent) && src.height > 0
                         ? float(dst.height) / float(src.height)
                         : factor;
    (void)scale_up_lanczos(src, dst, factor, fy, PlaneView::Planar);
    return MIRA_OK;
}

// Widths count bytes (two per pair); the factor is the ratio of the heights,
// for both axes unless `arg` asks for each axis's own ratio (then the pairs'
// ratio along the rows).
uint32_t poly_cbcr_cpu(const Call& c) {
    const MIRA_Feature_Buf &src = c.src[0], &dst = c.dst[0];
    if (src.height == 0) return MIRA_OK;
    const float factor = float(dst.height) / float(src.height);
    const float fx = (c.param->arg & kScaleAxesIndependent) && src.width >= 2
                         ? float(dst.width / 2) / float(src.width / 2)
                         : factor;
    (void)scale_up_lanczos(src, dst, fx, factor, PlaneView::Cb);
    (void)scale_up_lanczos(src, dst, fx, factor, PlaneView::Cr);
    return MIRA_OK;
}

// ------------------------------------------------------------ general scale
// Its GPU kernel is empty: mode 1 and every mode but 0 run the pipelines
// straight on the caller's planes.

bool scale_ok(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    return src && c.srcCount == 1 && dst && c.dstCount == 1 && c.param->extra &&
           plane_usable(src[0]) && plane_usable(dst[0]) &&
           (src[0].width > 0 || dst[0].width == 0) && (src[0].height > 0 || dst[0].height == 0);
}

void scale_logged(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, const scale_param& p,
                  bool independent, uint32_t channels) {
    if (!scale_plane(src, dst, p, independent, channels)) ZOR::log_line("scale mode err!!!\n");
}

// Mode 0: the source is first copied into a one-pixel frame (border types 1
// and 2) and the pipeline reads the copy's interior with the copy's row
// pitch. The pipelines apply the border rule themselves, so the frame never
// changes a result: this path computes exactly what the other modes compute.
uint32_t scale_framed(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    const auto& p = *static_cast<const scale_param*>(c.param->extra);
    uint8_t* frame = nullptr;
    MIRA_Feature_Buf view = src[0];
    const bool independent = (c.param->arg & kScaleAxesIndependent) != 0;
    const bool same =
        src[0].width == dst[0].width && (!independent || src[0].height == dst[0].height);
    if ((p.p2 == 1 || p.p2 == 2) && !same && (frame = framed_copy(src[0], p)) != nullptr) {
        view.stride = src[0].stride + 2;
        view.data = frame + view.stride + 1;
    }
    scale_logged(view, dst[0], p, independent, request_pixel_bytes(*c.param));
    std::free(frame);
    return MIRA_OK;
}

uint32_t scale_direct(const Call& c) {
    scale_logged(c.src[0], c.dst[0], *static_cast<const scale_param*>(c.param->extra),
                 (c.param->arg & kScaleAxesIndependent) != 0, request_pixel_bytes(*c.param));
    return MIRA_OK;
}

}  // namespace

const Route kScaleDown{pipeline_planes_ok, scale_down_cpu, scale_down_twin, scale_down_gpu};
const Route kScaleDownMN{mn_ok, mn_cpu, nullptr, mn_planar_gpu, mn_fits, mn_area};
const Route kScaleDownMNInterleave{mn_ok, mn_interleave_cpu, mn_interleave_twin,
                                   mn_interleave_gpu, mn_pairs};
const Route kUpsample{upsample_ok, upsample_cpu, nullptr, upsample_gpu};
const Route kScaleUpPoly{poly_ok, poly_cpu};
const Route kScaleUpPolyCbCr{poly_ok, poly_cbcr_cpu};
const Route kScale{scale_ok, scale_framed, scale_direct, nullptr, nullptr, scale_direct};
const Route kScaleDirect{scale_ok, scale_direct};

}  // namespace mira

// The exported path: the pipelines straight on the caller's planes.
uint32_t MIRA_SCALE_U8::MIRA_SCALE_U8_neon1(MIRA_FEATURE_ARGS) {
    return mira::run_cpu(mira::kScaleDirect, {src, srcCount, dst, dstCount, param, this});
}
