// Integer block-mean down-scale (feature 7): shared pieces of its CPU and GPU
// methods.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Whole-number factors of an integer down-scale: source over destination,
// 0 when the destination extent is 0.
struct ScaleDownFactors {
    uint32_t m, n;
};
ScaleDownFactors scale_down_factors(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst);

// Runs MIRA_SCALEDOWN_U8_HALIDE on one plane pair: the floor of each m x n
// block mean (m and n taken modulo 256 by the pipeline). Returns the
// pipeline's result (0, or a negative runtime error when it rejected the call).
int scale_down_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst);

// The same for interleaved pixels of 3 or 4 channels (widths in bytes; the
// factors those of the pixels): each channel the plane's block mean, whole
// pixels at a time (MIRA_SCALEDOWN_C3/C4_U8_HALIDE).
int scale_down_pixels(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                      uint32_t channels);

}  // namespace mira
