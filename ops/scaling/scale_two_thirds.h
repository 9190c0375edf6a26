// General scale: the box and "none" reductions at exactly 2/3 on both axes
// (1080p to 720p, 4K to 1440p) in integer arithmetic, beside the float
// pipelines, with the pipelines' bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Scales `src` to `dst` (widths in bytes: `elem` bytes per element, 1 for a
// plane, 2 for CbCr pairs, 3 and 4 for RGB and RGBA pixels, each byte a
// channel of its own)
// with the reduction of `mode` (0 "none", 2 box) where both factors are the
// single-precision 2/3 and every destination sample's taps lie inside the
// source. Returns false, writing nothing, anywhere else (another mode or
// factor, taps past the source's edge, overlapping buffers): the caller then
// runs the pipelines.
//
// At that factor the pipelines' tap tables hold, for every coordinate below
// 2796203, first tap t = 3 (d / 2) + d % 2 and dyadic weights: box (1/2,
// 1/2), "none" (1/4, 3/4) for even and (3/4, 1/4) for odd d. Their float sums
// are then exact (multiples of 1/4 and 1/16 below 256), and the pipelines'
// biased truncation is their floor, which this computes from 16-bit integer
// sums of the 2 x 2 taps: box (s00 + s01 + s10 + s11) >> 2, "none" (sum of
// wy wx s, weights 1 and 3) >> 4.
// Below this coordinate the tables' single-precision centres at the factor
// 2/3 are exact (c = 3d/2 + 1/4), so the tap patterns of the routes at 2/3
// hold; the routes refuse larger images.
constexpr uint32_t kTwoThirdsExactLimit = 2796203;

bool scale_two_thirds(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                      uint32_t mode, float sx, float sy);

}  // namespace mira
