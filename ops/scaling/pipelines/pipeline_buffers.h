// Buffer records through which the scaling features call their generated
// pipelines: built on the caller's stack for one call, host memory only.
#pragma once

#include <HalideRuntime.h>

#include <climits>
#include <cstdint>

#include "mira/mira_types.h"
#include "ops/scaling/pipeline_memory.h"

namespace mira {

// One image argument: the buffer record and its dimension array. Not copyable
// (the record points at its own dimensions).
struct PipelineImage {
    halide_dimension_t dim[3];
    halide_buffer_t buf;

    PipelineImage() = default;
    PipelineImage(const PipelineImage&) = delete;
    PipelineImage& operator=(const PipelineImage&) = delete;
};

// Which part of a descriptor a buffer shows.
enum class PlaneView { Planar, Cb, Cr };

inline int32_t clamp_i32(uint64_t v) { return v > INT32_MAX ? INT32_MAX : int32_t(v); }

// Halide's default error handler aborts the process. A pipeline that rejects
// its buffers (bounds, strides) must only fail the call: nothing is written
// and the caller's process goes on. The handler is installed before the
// first pipeline call and stays silent.
inline void pipeline_quiet_errors() {
    static const bool installed =
        (halide_set_error_handler([](void*, const char*) {}), true);
    (void)installed;
}

// Fills `img` from a descriptor: axis 0 {0, width, 1} (planar) or
// {0, width / 2, 2} with host at data or data + 1 (one channel of an
// interleaved pair), axis 1 {0, height, stride}, and for 3-D buffers axis 2
// {0, 1, stride x bufHeight}.
inline halide_buffer_t* pipeline_image(PipelineImage& img, const MIRA_Feature_Buf& b,
                                       int dims, PlaneView view = PlaneView::Planar) {
    pipeline_quiet_errors();
    pipeline_memory_install();
    img.buf = halide_buffer_t{};
    const bool pair = view != PlaneView::Planar;
    img.dim[0] = {0, clamp_i32(pair ? b.width / 2 : b.width), pair ? 2 : 1, 0};
    img.dim[1] = {0, clamp_i32(b.height), clamp_i32(b.stride), 0};
    img.dim[2] = {0, 1, clamp_i32(uint64_t(b.stride) * b.bufHeight), 0};
    img.buf.device = 0;
    img.buf.device_interface = nullptr;
    img.buf.host = b.data + (view == PlaneView::Cr ? 1 : 0);
    img.buf.flags = 0;
    img.buf.type = halide_type_t(halide_type_uint, 8, 1);
    img.buf.dimensions = dims;
    img.buf.dim = img.dim;
    return &img.buf;
}

// Fills `img` from a descriptor of interleaved pixels of `channels` bytes
// (its width counts bytes): axis 0 {0, width / channels, channels}, axis 1
// {0, height, stride}, axis 2 the channel {0, channels, 1}.
inline halide_buffer_t* pipeline_pixels(PipelineImage& img, const MIRA_Feature_Buf& b,
                                        uint32_t channels) {
    pipeline_quiet_errors();
    pipeline_memory_install();
    img.buf = halide_buffer_t{};
    img.dim[0] = {0, clamp_i32(b.width / channels), int32_t(channels), 0};
    img.dim[1] = {0, clamp_i32(b.height), clamp_i32(b.stride), 0};
    img.dim[2] = {0, int32_t(channels), 1, 0};
    img.buf.host = b.data;
    img.buf.type = halide_type_t(halide_type_uint, 8, 1);
    img.buf.dimensions = 3;
    img.buf.dim = img.dim;
    return &img.buf;
}

// A descriptor a pipeline may read or write: data present, rows not
// overlapping.
inline bool plane_usable(const MIRA_Feature_Buf& b) {
    return b.data != nullptr && b.stride >= b.width && b.bufHeight >= b.height;
}

}  // namespace mira
