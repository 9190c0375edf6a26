#include "ops/scaling/scale_down.h"

#include <cstring>

#include "MIRA_SCALEDOWN_C3_U8_HALIDE.h"
#include "MIRA_SCALEDOWN_C4_U8_HALIDE.h"
#include "MIRA_SCALEDOWN_U8_HALIDE.h"
#include "mira/mira_types.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "ops/scaling/scale_down_mn_quotient.h"

namespace mira {

ScaleDownFactors scale_down_factors(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    return {dst.width ? src.width / dst.width : 0u, dst.height ? src.height / dst.height : 0u};
}

int scale_down_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst) {
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_image(in, src, 2);
    halide_buffer_t* outBuf = pipeline_image(out, dst, 2);
    const ScaleDownFactors f = scale_down_factors(src, dst);
    if (uint8_t(f.m) == 0 || uint8_t(f.n) == 0) {
        // An empty block (a source smaller than the destination, or a
        // factor that wraps to 0 in 8 bits): every block sum is 0.
        for (uint32_t y = 0; y < dst.height; ++y)
            std::memset(dst.data + uint64_t(y) * dst.stride, 0, dst.width);
        return 0;
    }
    const float scale = 1.0f / float(int32_t(f.m * f.n));
    return MIRA_SCALEDOWN_U8_HALIDE(inBuf, uint8_t(f.m), uint8_t(f.n), scale, outBuf);
}

int scale_down_pixels(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                      uint32_t channels) {
    if (channels != 3 && channels != 4) return -1;
    const uint32_t sw = src.width / channels, dw = dst.width / channels;
    const uint32_t m = dw ? sw / dw : 0u, n = dst.height ? src.height / dst.height : 0u;
    if (dw == 0 || dst.height == 0) return 0;
    if (uint8_t(m) == 0 || uint8_t(n) == 0) {
        for (uint32_t y = 0; y < dst.height; ++y)
            std::memset(dst.data + uint64_t(y) * dst.stride, 0, uint64_t(dw) * channels);
        return 0;
    }
    PipelineImage in, out;
    halide_buffer_t* inBuf = pipeline_pixels(in, src, channels);
    halide_buffer_t* outBuf = pipeline_pixels(out, dst, channels);
    const float scale = 1.0f / float(int32_t(m * n));
    return channels == 3
               ? MIRA_SCALEDOWN_C3_U8_HALIDE(inBuf, uint8_t(m), uint8_t(n), scale, outBuf)
               : MIRA_SCALEDOWN_C4_U8_HALIDE(inBuf, uint8_t(m), uint8_t(n), scale, outBuf);
}

}  // namespace mira
