#include "ops/scaling/scale.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BILINEAR_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BILINEAR_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_XY_C4_U8_HALIDE.h"
#include "ops/plane.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "ops/scaling/bilinear_half.h"
#include "ops/scaling/bilinear_two_thirds.h"
#include "ops/scaling/bilinear_up_2x.h"
#include "ops/scaling/scale_half.h"
#include "ops/scaling/scale_two_thirds.h"
#include "ops/scaling/scale_up_poly.h"


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

// The same for interleaved pixels of 3 and 4 channels, indexed [channels - 3].
const ScalePipelineXY kUpXYPixels[2][3] = {
    {MIRA_IMAGE_UP_NONE_XY_C3_U8_HALIDE, MIRA_IMAGE_UP_BILINEAR_XY_C3_U8_HALIDE,
     MIRA_IMAGE_UP_BOX_XY_C3_U8_HALIDE},
    {MIRA_IMAGE_UP_NONE_XY_C4_U8_HALIDE, MIRA_IMAGE_UP_BILINEAR_XY_C4_U8_HALIDE,
     MIRA_IMAGE_UP_BOX_XY_C4_U8_HALIDE}};
const ScalePipelineXY kDownXYPixels[2][3] = {
    {MIRA_IMAGE_DOWN_NONE_XY_C3_U8_HALIDE, MIRA_IMAGE_DOWN_BILINEAR_XY_C3_U8_HALIDE,
     MIRA_IMAGE_DOWN_BOX_XY_C3_U8_HALIDE},
    {MIRA_IMAGE_DOWN_NONE_XY_C4_U8_HALIDE, MIRA_IMAGE_DOWN_BILINEAR_XY_C4_U8_HALIDE,
     MIRA_IMAGE_DOWN_BOX_XY_C4_U8_HALIDE}};

// The integer routes at exact factors, where they apply (the pipelines'
// bytes, computed without them): box, "none" and bilinear at 2/3 and 1/2,
// bilinear at 2.
bool exact_route(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                 const scale_param& p, float sx, float sy) {
    return scale_two_thirds(src, dst, elem, p.p1, sx, sy) ||
           scale_half(src, dst, elem, p.p1, sx, sy) ||
           (p.p1 == 1 && sx == 0.5f && bilinear_half(src, dst, elem, sy, p.p2, uint8_t(p.p3))) ||
           (p.p1 == 1 && bilinear_two_thirds(src, dst, elem, sx, sy, p.p2, uint8_t(p.p3))) ||
           (p.p1 == 1 && sx == 2.0f && bilinear_up_2x(src, dst, elem, sy, p.p2, uint8_t(p.p3)));
}

}  // namespace

uint8_t* framed_copy(const MIRA_Feature_Buf& s, const scale_param& p) {
    const uint64_t W = uint64_t(s.stride) + 2, H = uint64_t(s.bufHeight) + 2;
    if (s.width == 0 || s.bufHeight == 0 || W * H > (uint64_t(1) << 40)) return nullptr;
    uint8_t* f = static_cast<uint8_t*>(std::malloc(W * H));
    if (!f) return nullptr;
    const bool constant = p.p2 == 1;
    for (uint64_t r = 0; r < s.bufHeight; ++r) {
        const uint8_t* in = s.data + r * s.stride;
        uint8_t* out = f + (r + 1) * W;
        out[0] = constant ? uint8_t(p.p3) : in[0];
        std::memcpy(out + 1, in, s.width);
        std::memset(out + 1 + s.width, constant ? uint8_t(p.p3) : in[s.width - 1],
                    W - 1 - s.width);
    }
    if (constant) {
        std::memset(f, uint8_t(p.p3), W);
        std::memset(f + (H - 1) * W, uint8_t(p.p3), W);
    } else {
        std::memcpy(f, f + W, W);
        std::memcpy(f + (H - 1) * W, f + (H - 2) * W, W);
    }
    return f;
}

bool scale_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                 const scale_param& p, bool independent, uint32_t channels) {
    if (channels != 1 && !independent) return false;
    if (independent) {
        if (p.p1 > 2) return false;
        if (dst.width == 0 || dst.height == 0 || src.width == 0 || src.height == 0) return true;
        if (src.width == dst.width && src.height == dst.height) {
            for (uint32_t y = 0; y < src.height; ++y)
                std::memmove(row_ptr(dst, y), row_ptr(src, y), src.width);
            return true;
        }
        if (channels > 1) {
            // The factors of the pixels' sizes, as the plane computes them.
            const uint32_t sw = src.width / channels, dw = dst.width / channels;
            if (sw == 0 || dw == 0) return true;
            const float sx = float(dw) / float(sw);
            const float sy = float(dst.height) / float(src.height);
            const bool up = sx >= 1.0f && sy >= 1.0f;
            if (exact_route(src, dst, channels, p, sx, sy)) return true;
            if (channels == 2) {
                // Each channel of the pairs through the plane pipeline (its
                // versions for one channel of an interleaved pair).
                const ScalePipelineXY f = up ? kUpXY[p.p1] : kDownXY[p.p1];
                for (PlaneView v : {PlaneView::Cb, PlaneView::Cr}) {
                    PipelineImage in, out;
                    (void)f(pipeline_image(in, src, 3, v), sx, sy, int32_t(p.p2), uint8_t(p.p3),
                            pipeline_image(out, dst, 3, v));
                }
                return true;
            }
            PipelineImage in, out;
            const ScalePipelineXY f =
                up ? kUpXYPixels[channels - 3][p.p1] : kDownXYPixels[channels - 3][p.p1];
            (void)f(pipeline_pixels(in, src, channels), sx, sy, int32_t(p.p2), uint8_t(p.p3),
                    pipeline_pixels(out, dst, channels));
            return true;
        }
        const float sx = float(dst.width) / float(src.width);
        const float sy = float(dst.height) / float(src.height);
        if (exact_route(src, dst, 1, p, sx, sy)) return true;
        PipelineImage in, out;
        halide_buffer_t* inBuf = pipeline_image(in, src, 3);
        halide_buffer_t* outBuf = pipeline_image(out, dst, 3);
        const ScalePipelineXY f =
            sx >= 1.0f && sy >= 1.0f ? kUpXY[p.p1] : kDownXY[p.p1];
        (void)f(inBuf, sx, sy, int32_t(p.p2), uint8_t(p.p3), outBuf);
        return true;
    }
    if (src.width == dst.width) {
        const uint32_t rows = src.height < dst.height ? src.height : dst.height;
        for (uint32_t y = 0; y < rows; ++y)
            std::memmove(row_ptr(dst, y), row_ptr(src, y), src.width);
        return true;
    }
    if (p.p1 > 2) return false;
    if (dst.width == 0 || dst.height == 0) return true;
    const float s = float(dst.width) / float(src.width);
    // (One factor for both axes.)
    if (exact_route(src, dst, 1, p, s, s)) return true;
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_image(in, src, 3);
    halide_buffer_t* outBuf = pipeline_image(out, dst, 3);
    const ScalePipeline f = src.width > dst.width ? kDown[p.p1] : kUp[p.p1];
    (void)f(inBuf, s, int32_t(p.p2), uint8_t(p.p3), outBuf);
    return true;
}

}  // namespace mira
