#include "ops/scaling/scale_up_poly.h"

#include "MIRA_IMAGE_UP_LANCZOS_XY_C3_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_LANCZOS_XY_C4_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE.h"
#include "mira/mira_types.h"

namespace mira {

int scale_up_lanczos(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, float fx,
                     float fy, PlaneView view) {
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_image(in, src, 3, view);
    halide_buffer_t* outBuf = pipeline_image(out, dst, 3, view);
    if (in.dim[0].extent == 0 || out.dim[0].extent == 0 || dst.height == 0) return 0;
    return MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE(inBuf, fx, fy, outBuf);
}

int scale_up_lanczos_pixels(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, float fx,
                            float fy, uint32_t channels) {
    if (channels != 3 && channels != 4) return -1;
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_pixels(in, src, channels);
    halide_buffer_t* outBuf = pipeline_pixels(out, dst, channels);
    if (in.dim[0].extent == 0 || out.dim[0].extent == 0 || dst.height == 0) return 0;
    return channels == 3 ? MIRA_IMAGE_UP_LANCZOS_XY_C3_U8_HALIDE(inBuf, fx, fy, outBuf)
                         : MIRA_IMAGE_UP_LANCZOS_XY_C4_U8_HALIDE(inBuf, fx, fy, outBuf);
}

bool poly_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                  uint8_t dstCount, const MIRA_Feature_Param* param) {
    if (!(src && srcCount == 1 && dst && dstCount == 1 && param)) return false;
    if (!plane_usable(src[0]) || !plane_usable(dst[0])) return false;
    const bool dstEmpty = dst[0].width == 0 || dst[0].height == 0;
    return dstEmpty || (src[0].width > 0 && src[0].height > 0);
}

}  // namespace mira
