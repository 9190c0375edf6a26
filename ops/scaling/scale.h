// General scale (feature 23): the pipeline dispatch shared by its CPU methods
// and by the chroma up-sample.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// The `extra` block of the general scale.
struct scale_param {
    uint32_t interpolation;  // 0 none, 1 bilinear, 2 box
    uint32_t border_type;    // 0 none, 1 constant, 2 replicate
    uint8_t border_value;    // the constant of border type 1
};

// Resizes one plane with the pipeline of `interpolation` and the direction
// the widths give (scale factor destination width over source width, both
// axes). Equal widths copy min(source, destination) rows of the width.
// Returns false (after printing "scale mode err!!!") for an unknown mode.
// With `independent`, each axis is scaled by its own ratio (widths along the
// rows, heights down the columns), each in its own direction, and equal
// sizes copy.
bool scale_plane(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                 const scale_param& p, bool independent = false);

}  // namespace mira
