// General scale: the box and "none" reductions at exactly 1/2 on both axes
// (4K to 1080p) in integer arithmetic, beside the float pipelines, with the
// pipelines' bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Scales `src` to `dst` (widths in bytes: `elem` bytes per element, 1 to 4,
// each byte a channel of its own) with the reduction of `mode` (0 "none", 2
// box) where both factors are exactly 1/2 and every destination sample's
// taps lie inside the source (2 dw <= sw, 2 dh <= sh). Returns false,
// writing nothing, anywhere else: the caller then runs the pipelines.
//
// At 1/2 the pipelines' tables hold first tap 2 d and weights (1/2, 1/2) for
// both reductions (the centre 2 d + 1/2 is exact in single precision below
// 2^22, and the taps' distances 1/2 are equal), so their float sum is the
// exact mean of the 2 x 2 taps, a multiple of 1/4, and their biased
// truncation its floor: (s00 + s01 + s10 + s11) >> 2.
bool scale_half(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, uint32_t elem,
                uint32_t mode, float sx, float sy);

}  // namespace mira
