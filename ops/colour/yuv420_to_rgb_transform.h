// A 4:2:0 camera frame turned by a quarter turn (optionally mirrored first),
// scaled to the destination size and converted to interleaved RGB in one pass
// (the arithmetic is mira_yuv420_to_rgb_transform's, include/mira/
// mira_image.h). Each destination axis maps to one source axis through a
// table of taps computed once per call; rows run in bands. Each destination
// row blends two source lines (rows, or for quarter turns columns transposed
// a strip at a time) whose taps are gathered by table lookups from short
// windows; where a window would be too wide (more than about 3.9 source
// samples per destination sample along destination x) or the chroma pairs of
// a turned frame are not interleaved in one plane, the taps are gathered one
// by one instead. Both give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "ops/colour/yuv420_to_rgb.h"

namespace mira {

// The taps of one destination axis along the source axis it maps to: for
// each destination index, the two source indices and the weight (0..255, in
// 1/256) of the second; nearest sampling has weight 0 and i1 == i0. Luma in
// the source's luma grid, chroma in its chroma grid.
struct AxisTaps {
    std::vector<uint32_t> y0, y1, c0, c1;
    std::vector<uint8_t> yw, cw;
};

// The source axis of a destination axis: `srcLength` samples (luma), read in
// reverse when `flip`; `dstLength` destination samples.
void axis_taps(uint32_t dstLength, uint32_t srcLength, bool flip, bool bilinear, AxisTaps* out);

// Which source axis each destination axis reads and whether it runs
// backwards: destination x reads source y when `swap`.
struct Orientation {
    bool swap, flipSrcX, flipSrcY;
};
Orientation orientation(int degrees, bool mirror);

// srcWidth x srcHeight frame into dstWidth x dstHeight RGB (rows dstStride
// bytes apart) in `format`, `matrix`, `range` (ops/colour/
// yuv420_coefficients.h); `degrees` 0, 90, 180 or 270 clockwise, `mirror`
// flips the source horizontally before turning it. Reads only the frame's
// samples and writes only the defined bytes of each destination row.
void yuv420_to_rgb_transform_neon(const Yuv420Source& src, uint32_t srcWidth, uint32_t srcHeight,
                                  uint8_t* dst, uint64_t dstStride, uint32_t dstWidth,
                                  uint32_t dstHeight, int degrees, bool mirror, bool bilinear,
                                  int format, int matrix, int range);

}  // namespace mira
