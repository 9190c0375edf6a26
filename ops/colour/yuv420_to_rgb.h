// A 4:2:0 camera frame (three planes, each with its own row pitch, chroma
// samples `pixelStride` bytes apart) to interleaved RGB, with the integer
// formula of ops/colour/yuv420_coefficients.h. Each chroma sample covers its
// 2x2 block of pixels (nearest up-sampling).
#pragma once

#include <cstdint>

namespace mira {

struct Yuv420Source {
    const uint8_t* y;
    const uint8_t* u;
    const uint8_t* v;
    uint64_t yStride, uStride, vStride;  // bytes between rows
    int pixelStride;                     // bytes between chroma samples: 1 or 2
};

// width x height pixels (any sizes >= 1; chroma ceil(width / 2) x
// ceil(height / 2)) into `dst`, rows `dstStride` bytes apart, in `format`
// (kRgba, kBgra, kRgb, kBgr) with `matrix` and `range` (the indices of
// ops/colour/yuv420_coefficients.h). Reads and writes only the defined bytes
// of each row. Large frames run in bands on the shared workers.
void yuv420_to_rgb_neon(const Yuv420Source& src, uint32_t width, uint32_t height, uint8_t* dst,
                        uint64_t dstStride, int format, int matrix, int range);

}  // namespace mira
