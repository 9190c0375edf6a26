// Interleaved RGB to a 4:2:0 camera frame (three planes, each with its own
// row pitch, chroma samples `pixelStride` bytes apart) with the integer
// formula of ops/colour/yuv420_coefficients.h: Y per pixel, U and V from the
// sums over each 2x2 block (a partial block at an odd edge counts its
// existing samples twice or four times, i.e. their mean).
#pragma once

#include <cstdint>

namespace mira {

struct Yuv420Destination {
    uint8_t* y;
    uint8_t* u;
    uint8_t* v;
    uint64_t yStride, uStride, vStride;  // bytes between rows
    int pixelStride;                     // bytes between chroma samples: 1 or 2
};

// width x height pixels of `src` (rows `srcStride` bytes apart, layout
// `format`: kRgba, kBgra, kRgb, kBgr; alpha is ignored) into `dst` with
// `matrix` and `range`. Writes only the frame's samples (with pixel stride 2,
// the bytes between one plane's samples are kept). Large frames run in bands
// on the shared workers.
void rgb_to_yuv420_neon(const uint8_t* src, uint64_t srcStride, int format, uint32_t width,
                        uint32_t height, const Yuv420Destination& dst, int matrix, int range);

}  // namespace mira
