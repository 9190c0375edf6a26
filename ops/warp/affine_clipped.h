// Affine warp of an 8-bit image (a plane, or interleaved pixels of 3 or 4
// channels) with a 2 x 3 matrix mapping destination to source coordinates;
// sources outside the image read as 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

enum AffineInterp { kAffineNearest = 0, kAffineLinear = 1, kAffineCubic = 3 };

// The interpolation a request's `arg` selects: 0 nearest, 3 bicubic, any other
// value bilinear.
AffineInterp affine_interp(int32_t arg);

// The CPU warp, with the arithmetic of the GPU kernels:
//  nearest:  source (m0 x + m1 y + m2, m3 x + m4 y + m5) rounded half to even
//            (saturated to 16 bits), 0 outside;
//  bilinear: pixel centres, taps renormalised, 0 unless both truncated
//            coordinates leave room for the second tap;
//  bicubic:  32-phase a = -0.75 kernel, clamped to [0, 255] and truncated.
// Positions that are NaN (or beyond 2^24 for the two filters) give 0.
// Pixels have `channels` bytes (1, 3 or 4; other values mean 1), widths
// count pixels. Each channel is the plane warp of that channel, bit for bit:
// positions and weights are formed once per pixel and applied to every
// channel with the plane's operations in the plane's order.
void affine_clipped_u8_cpu(const uint8_t* src, uint32_t srcW, uint32_t srcH, size_t srcStride,
                           const float m[6], uint8_t* dst, uint32_t dstW, uint32_t dstH,
                           size_t dstStride, AffineInterp interp, uint32_t channels = 1);

// Per destination row y, spans[2 y] and spans[2 y + 1]: the half-open run
// [start, end) of the columns that affine_clipped_u8_cpu computes from
// samples inside the source with `interp`, from the same position arithmetic
// (nearest: the rounded position is inside; bilinear: both taps are; bicubic:
// at least one of the 16 taps is). (dstW, dstW) for a row without any.
void affine_warp_spans(uint32_t srcW, uint32_t srcH, const float m[6], uint32_t dstW,
                       uint32_t dstH, AffineInterp interp, uint32_t* spans);

// Per destination row, the (start, end) columns whose source lies inside the
// image, (W, W) for a row without any; written to dst[1].data when it is set.
// src[0] and dst[0] give the sizes, src[1] the matrix.
void analysis_dst_border(const MIRA_Feature_Buf* src, const MIRA_Feature_Buf* dst);

}  // namespace mira
