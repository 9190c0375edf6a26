// General scale: the bilinear reduction at exactly 2/3 on both axes (1080p
// to 720p, 4K to 1440p) in NEON integer sums, beside the float pipelines,
// with the pipelines' bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Scales `src` to `dst` (widths in bytes: `elem` bytes per pixel, 1 to 4,
// each byte a channel of its own) bilinearly where both factors are the
// single-precision 2/3 and every destination column's taps lie at most one
// pixel past the source's last column (rows may lie anywhere: the single
// factor's heights can put them past the source). `border_type` 1 reads
// `border_value` outside the source, any other the nearest edge sample.
// Returns false, writing nothing, anywhere else: the caller runs the
// pipelines.
//
// At that factor the pipelines' widened triangle spans three source pixels
// (support 2 / (2/3)): destination coordinate 2j has taps 3j - 1, 3j, 3j + 1
// at distances 5/4, 1/4, 3/4 from its centre 3j + 1/4, and 2j + 1 has taps
// 3j + 1, 3j + 2, 3j + 3 at 3/4, 1/4, 5/4 from 3j + 7/4, so the normalised
// weights are 1/9, 5/9, 3/9 and 3/9, 5/9, 1/9 on each axis (for every
// coordinate below 2796203, where the tables' single-precision centres are
// exact). Every exact sum is a multiple of 1/81, at least 1/81 from the next
// integer unless it is one; the float sums lie within 1e-4 of it and the
// pipelines' truncation bias is 1/1024, so their result is its floor:
// (sum of wy wx s, weights 1, 5, 3 or 3, 5, 1) / 81, rounded down.
bool bilinear_two_thirds(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                         float sx, float sy, uint32_t border_type, uint8_t border_value);

}  // namespace mira
