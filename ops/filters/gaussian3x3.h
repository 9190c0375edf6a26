// 3x3 binomial smoothing (1 2 1 / 2 4 2 / 1 2 1, sum 16) of an 8-bit plane.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Source and destination a 3x3 filter can work on: both present, and for a
// non-empty source data present, strides at least the width and a
// destination at least the source's size.
// `channels` interleaved channels per pixel: widths count pixels, strides
// bytes.
bool gaussian_args_ok(const MIRA_Feature_Buf* src, const MIRA_Feature_Buf* dst,
                      uint32_t channels = 1);

// The CPU method: interior and frame of dst (border mode as below), each of
// the `channels` interleaved channels filtered as a plane of its own.
void gaussian_cpu(const MIRA_Feature_Buf* src, MIRA_Feature_Buf* dst, int borderMode,
                  uint32_t channels = 1);

// Interior pixels (rows 1..h-2, columns 1..w-2): the 3x3 weighted sum shifted
// right by 4 (truncating). The frame is not touched.
void gaussian3x3_interior_neon(const uint8_t* src, uint32_t srcStride, uint8_t* dst,
                               uint32_t dstStride, uint32_t width, uint32_t height);

// The same for `channels` (1 to 4; other counts write nothing) interleaved
// channels per pixel: `width` counts pixels, each channel computed exactly as
// a plane (the horizontal neighbours are `channels` bytes away).
void gaussian3x3_interior_pixels_neon(const uint8_t* src, uint32_t srcStride, uint8_t* dst,
                                      uint32_t dstStride, uint32_t width, uint32_t height,
                                      uint32_t channels);

// Writes the one-pixel frame of dst (size of src, each with its own stride):
// mode 0 zeros it; mode 1 uses the part of the kernel that lies inside the
// image, renormalised (edges / 12, corners / 9); other modes zero the edges
// and leave the four corners as they were. Every channel of a frame pixel is
// written the same way, from its own channel's neighbours.
void gaussian_process_border(const MIRA_Feature_Buf* src, MIRA_Feature_Buf* dst, int borderMode,
                             uint32_t channels = 1);

}  // namespace mira
