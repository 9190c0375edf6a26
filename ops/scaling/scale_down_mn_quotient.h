// The M/N box down-scale of the GPU kernels, on the CPU: each destination
// sample averages the boxW x boxH source samples from the truncated float
// position, with boxW = max(W / w, 1) and boxH = max(H / h, 1) the integer
// ratios of the sizes (W, w in samples: bytes of a plane, pairs of an
// interleaved CbCr plane) and the position ((int)(x * (float)W / w),
// (int)(y * (float)H / h)) computed in single precision; taps past the last
// column or row read the last one. A plane's mean is the truncated integer
// quotient sum / (boxW boxH); each channel of a pair plane is the float mean
// plus 0.5, truncated (sum and count converted to float, one correctly
// rounded division). Sums are 32-bit and wrap as the kernel's do.
//
// This is the planar feature's CPU method and the interleaved feature's CPU
// twin of its kernel: the same bytes as the kernels for every size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mira {

// `srcBytes` and `dstBytes` are row widths in bytes; elemStep 1 is a plane,
// 2 an interleaved pair plane (whole pairs of dstBytes are written, and
// srcBytes must hold at least one pair), 3 and 4 interleaved pixels of that
// many channels, each channel with the plane's truncated quotient (the
// planar kernel's colour form). Writes dstBytes (rounded down to
// whole elements) bytes of each of dstRows rows; an empty source gives
// zeros. Returns false, writing
// nothing, when its working rows cannot be allocated.
bool scaledown_mn_quotient(const uint8_t* src, uint32_t srcBytes, uint32_t srcRows,
                           size_t srcStride, uint8_t* dst, uint32_t dstBytes, uint32_t dstRows,
                           size_t dstStride, uint32_t elemStep);

}  // namespace mira
