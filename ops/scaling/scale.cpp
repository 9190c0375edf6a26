#include "ops/scaling/scale.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_U8_HALIDE.h"
#include "api/feature_common.h"
#include "mira/mira_features.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "ops/scaling/scale_up_poly.h"
#include "zor_log.h"

static_assert(sizeof(mira::scale_param) == 12, "scale_param layout");

namespace mira {

namespace {

using ScalePipeline = int (*)(halide_buffer_t*, float, int32_t, uint8_t, halide_buffer_t*);
using ScalePipelineXY = int (*)(halide_buffer_t*, float, float, int32_t, uint8_t,
                                halide_buffer_t*);

// Indexed by interpolation mode: none, bilinear, box.
const ScalePipeline kUp[3] = {MIRA_IMAGE_UP_NONE_U8_HALIDE, MIRA_IMAGE_UP_BILINEAR_U8_HALIDE,
                              MIRA_IMAGE_UP_BOX_U8_HALIDE};
const ScalePipeline kDown[3] = {MIRA_IMAGE_DOWN_NONE_U8_HALIDE,
                                MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE,
                                MIRA_IMAGE_DOWN_BOX_U8_HALIDE};
// A factor per axis: the up-scale pipelines where neither axis shrinks, else
// the down-scale ones (which take each axis in its own direction).
const ScalePipelineXY kUpXY[3] = {MIRA_IMAGE_UP_NONE_XY_U8_HALIDE,
                                  MIRA_IMAGE_UP_BILINEAR_XY_U8_HALIDE,
                                  MIRA_IMAGE_UP_BOX_XY_U8_HALIDE};
const ScalePipelineXY kDownXY[3] = {MIRA_IMAGE_DOWN_NONE_XY_U8_HALIDE,
                                    MIRA_IMAGE_DOWN_BILINEAR_XY_U8_HALIDE,
                                    MIRA_IMAGE_DOWN_BOX_XY_U8_HALIDE};

bool args_ok(MIRA_FEATURE_ARGS) {
    return src && srcCount == 1 && dst && dstCount == 1 && param && param->extra &&
           plane_usable(src[0]) && plane_usable(dst[0]) &&
           (src[0].width > 0 || dst[0].width == 0) && (src[0].height > 0 || dst[0].height == 0);
}

// The source with a one-pixel frame: (bufHeight + 2) rows of stride + 2
// bytes; padded row r + 1 holds source row r between the frame pixels.
// Border type 2 repeats the edge bytes and rows, border type 1 fills the
// frame with the constant. Only each row's width is read from the caller;
// the rest of a padded row repeats the right frame pixel.
uint8_t* framed_copy(const MIRA_Feature_Buf& s, const scale_param& p) {
    const uint64_t W = uint64_t(s.stride) + 2, H = uint64_t(s.bufHeight) + 2;
    if (s.width == 0 || s.bufHeight == 0 || W * H > (uint64_t(1) << 40)) return nullptr;
    uint8_t* f = static_cast<uint8_t*>(std::malloc(W * H));
    if (!f) return nullptr;
    const bool constant = p.border_type == 1;
    for (uint64_t r = 0; r < s.bufHeight; ++r) {
        const uint8_t* in = s.data + r * s.stride;
        uint8_t* out = f + (r + 1) * W;
        out[0] = constant ? p.border_value : in[0];
        std::memcpy(out + 1, in, s.width);
        std::memset(out + 1 + s.width, constant ? p.border_value : in[s.width - 1],
                    W - 1 - s.width);
    }
    if (constant) {
        std::memset(f, p.border_value, W);
        std::memset(f + (H - 1) * W, p.border_value, W);
    } else {
        std::memcpy(f, f + W, W);
        std::memcpy(f + (H - 1) * W, f + (H - 2) * W, W);
    }
    return f;
}

}  // namespace

bool scale_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                 const scale_param& p, bool independent) {
    if (independent) {
        if (p.interpolation > 2) {
            ZOR::log_line("scale mode err!!!\n");
            return false;
        }
        if (dst.width == 0 || dst.height == 0 || src.width == 0 || src.height == 0) return true;
        if (src.width == dst.width && src.height == dst.height) {
            for (uint32_t y = 0; y < src.height; ++y)
                std::memmove(row_ptr(dst, y), row_ptr(src, y), src.width);
            return true;
        }
        PipelineImage in, out;
        halide_buffer_t* inBuf = pipeline_image(in, src, 3);
        halide_buffer_t* outBuf = pipeline_image(out, dst, 3);
        const float sx = float(dst.width) / float(src.width);
        const float sy = float(dst.height) / float(src.height);
        const ScalePipelineXY f =
            sx >= 1.0f && sy >= 1.0f ? kUpXY[p.interpolation] : kDownXY[p.interpolation];
        (void)f(inBuf, sx, sy, int32_t(p.border_type), p.border_value, outBuf);
        return true;
    }
    if (src.width == dst.width) {
        const uint32_t rows = src.height < dst.height ? src.height : dst.height;
        for (uint32_t y = 0; y < rows; ++y)
            std::memmove(row_ptr(dst, y), row_ptr(src, y), src.width);
        return true;
    }
    if (p.interpolation > 2) {
        ZOR::log_line("scale mode err!!!\n");
        return false;
    }
    if (dst.width == 0 || dst.height == 0) return true;
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_image(in, src, 3);
    halide_buffer_t* outBuf = pipeline_image(out, dst, 3);
    const float s = float(dst.width) / float(src.width);
    const ScalePipeline f = src.width > dst.width ? kDown[p.interpolation] : kUp[p.interpolation];
    (void)f(inBuf, s, int32_t(p.border_type), p.border_value, outBuf);
    return true;
}

}  // namespace mira

uint32_t MIRA_SCALE_U8::run(MIRA_FEATURE_ARGS) {
    if (param && param->mode == MIRA_MODE_OPENCL)
        return MIRA_SCALE_U8_opencl(src, srcCount, dst, dstCount, param);
    if (param && param->mode == MIRA_MODE_CPU)
        return MIRA_SCALE_U8_neon(src, srcCount, dst, dstCount, param);
    return MIRA_SCALE_U8_neon1(src, srcCount, dst, dstCount, param);
}

// Mode 0: the source is first copied into a one-pixel frame (border types 1
// and 2) and the pipeline reads the copy's interior with the copy's row
// pitch. The pipelines apply the border rule themselves, so the frame never
// changes a result: this path computes exactly what mode 2 computes.
uint32_t MIRA_SCALE_U8::MIRA_SCALE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!mira::args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    const auto& p = *static_cast<const mira::scale_param*>(param->extra);
    uint8_t* frame = nullptr;
    MIRA_Feature_Buf view = src[0];
    const bool independent = (param->arg & mira::kScaleAxesIndependent) != 0;
    const bool same = src[0].width == dst[0].width &&
                      (!independent || src[0].height == dst[0].height);
    if ((p.border_type == 1 || p.border_type == 2) && !same &&
        (frame = mira::framed_copy(src[0], p)) != nullptr) {
        view.stride = src[0].stride + 2;
        view.data = frame + view.stride + 1;
    }
    mira::scale_plane(view, dst[0], p, independent);
    std::free(frame);
    return MIRA_OK;
}

// The exported path: the pipelines straight on the caller's planes.
uint32_t MIRA_SCALE_U8::MIRA_SCALE_U8_neon1(MIRA_FEATURE_ARGS) {
    if (!mira::args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::scale_plane(src[0], dst[0], *static_cast<const mira::scale_param*>(param->extra),
                      (param->arg & mira::kScaleAxesIndependent) != 0);
    return MIRA_OK;
}

// The GPU kernel of this feature is empty, so mode 1 computes on the CPU.
uint32_t MIRA_SCALE_U8::MIRA_SCALE_U8_opencl(MIRA_FEATURE_ARGS) {
    return MIRA_SCALE_U8_neon1(src, srcCount, dst, dstCount, param);
}
