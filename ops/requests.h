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

// Bits 8 to 15 of `arg` of the scaling features (integer and box down-scales,
// Lanczos up-scale, general scale) as the checked interface sets them: the
// channels of the interleaved pixels the buffers hold (2, 3 or 4; widths are
// in bytes). Any other value there, as every other caller passes (0), means
// planes, each feature's own unit.
constexpr int kPixelChannelsShift = 8;
inline int32_t pixel_channels_arg(uint32_t channels) {
    return int32_t(channels << kPixelChannelsShift);
}
inline uint32_t pixel_channels(int32_t arg) {
    const uint32_t c = (uint32_t(arg) >> kPixelChannelsShift) & 0xFF;
    return c >= 2 && c <= 4 ? c : 1;
}

// The pixel size a request names in MIRA_Feature_Param::reserved for the
// transpose (feature 6), the planar rotation (13) and the 3x3 Gaussian (19):
// 2 to 4 for an interleaved image of that many channels (pairs, RGB, RGBA),
// whose descriptor widths then count pixels and whose every channel is
// computed as a plane would be; every other value (the plain C functions
// store 1) the feature's own 1-byte pixels.
inline uint32_t request_pixel_bytes(const MIRA_Feature_Param& p) {
    return p.reserved >= 2 && p.reserved <= 4 ? p.reserved : 1;
}

// Bytes one image may span: the pipelines' and the GPU records' 32-bit
// signed extents.
constexpr uint64_t kMaxSpan = 0x7FFFFFFF;

}  // namespace mira
