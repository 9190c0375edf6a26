// General scale: the bilinear enlargement at exactly 2 on both axes in NEON
// integer sums, beside the pipelines, with the pipelines' bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Enlarges `src` to `dst` (widths in bytes: `elem` bytes per pixel, 1 to 4,
// each byte a channel of its own) bilinearly where the horizontal factor is
// exactly 2 (dst.width = 2 src.width) and the vertical factor `sy` is the
// single-precision 2 (any destination height: rows past the source's follow
// the border rule). `border_type` 1 reads `border_value` outside the source,
// any other the nearest edge sample. Returns false, writing nothing, anywhere
// else (another factor, overlapping buffers): the caller runs the pipelines.
//
// At 2 the pipelines' taps are columns k - 1, k (weights 1/4, 3/4) for
// destination column 2k and k, k + 1 (3/4, 1/4) for 2k + 1, likewise down
// the rows; their Q8 weights 64 and 192 are exact, so their result
// (h0 wy0 + h1 wy1) >> 16 is (sum of wy wx s, weights 1 and 3) >> 4, which
// this computes in 16 bits.
bool bilinear_up_2x(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                    float sy, uint32_t border_type, uint8_t border_value);

}  // namespace mira
