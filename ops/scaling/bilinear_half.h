// General scale: the bilinear reduction at exactly 1/2 on both axes in NEON
// integer sums, beside the float pipelines, with the pipelines' bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Halves `src` into `dst` (widths in bytes: `elem` bytes per pixel, 1, 2 or
// 4, each byte a channel of its own) bilinearly where the horizontal factor
// is exactly 1/2 (src.width = 2 dst.width) and the vertical factor `sy` is
// the single-precision 1/2 (any destination height: rows past the source's
// follow the border rule). `border_type` 1 reads `border_value` outside the
// source, any other the nearest edge sample. Returns false, writing nothing,
// anywhere else: the caller runs the pipelines.
//
// At 1/2 the pipelines' bilinear reduction takes the four taps 2d - 1 .. 2d
// + 2 with weights 1/8, 3/8, 3/8, 1/8 on each axis (the triangle widened to
// four source pixels, at distances 3/2 and 1/2 from the centre 2d + 1/2);
// their float sums are exact multiples of 1/64 below 256, and the biased
// truncation is the floor: (sum of wy wx s, weights 1, 3, 3, 1) >> 6.
bool bilinear_half(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                   float sy, uint32_t border_type, uint8_t border_value);

}  // namespace mira
