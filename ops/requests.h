// The request records and limits that the pixel code, the feature classes,
// both C APIs and the Python module share: one definition of each.
#pragma once

#include <cstdint>

#include "mira/mira.h"

namespace mira {

// The `extra` block of the general scale (feature 23) is the public record:
// p1 the interpolation (0 none, 1 bilinear, 2 box), p2 the border type
// (0 none, 1 constant, 2 replicate), p3 the constant of border type 1 (its
// low 8 bits).
using scale_param = ::ncvScaleParam;
static_assert(sizeof(scale_param) == 12, "scale_param layout");

// The `arg` bit of features 21, 22 and 23 asking for each axis to be scaled
// by its own ratio (destination over source width horizontally, heights
// vertically) instead of one factor for both.
constexpr int32_t kScaleAxesIndependent = 1;

// The channels of a request's interleaved images, in
// MIRA_Feature_Param::reserved: 2 to 4 for pairs, RGB or RGBA, each channel
// computed as the plane operation computes a plane; every other value (the
// plain C functions store 1) the feature's own unit. Read by the transpose
// (feature 6), the planar rotation (13), the 3x3 Gaussian (19) and the warp
// (25), whose descriptor widths then count pixels, and by the integer, box
// and M/N down-scales, the Lanczos up-scale and the general scale, whose
// widths stay in bytes. One record, one place: no feature reads channels
// from `arg` or `extra`.
inline uint32_t request_pixel_bytes(const MIRA_Feature_Param& p) {
    return p.reserved >= 2 && p.reserved <= 4 ? p.reserved : 1;
}

// Bytes one image may span: the pipelines' and the GPU records' 32-bit
// signed extents.
constexpr uint64_t kMaxSpan = 0x7FFFFFFF;

}  // namespace mira
