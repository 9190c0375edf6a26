// NV21 to RGBA8888 with the GPU kernel's single-precision arithmetic, on the
// CPU: the bytes a GPU request returns wherever it runs.
#pragma once

#include <cstdint>

namespace mira {

// Per pixel, in IEEE single precision with each operation rounded on its own
// (no fused multiply-add), in this order:
//   y = min(max(Y - 16, 0), 255) * 1.164, u = U - 128, v = V - 128
//   R = y + 1.596 v, G = y - (0.813 v + 0.391 u), B = y + 2.018 u
// each clamped to [0, 255] and truncated; A = 255. Converts the even part of
// `width` columns of the even part of `height` rows: luma rows `yStride`
// bytes apart, chroma (V, U pairs, one row per two luma rows) `vuStride`
// bytes apart, destination rows `dstStride` bytes apart. Nothing else is
// read or written.
void nv21_to_rgba_twin(const uint8_t* y, uint64_t yStride, const uint8_t* vu, uint64_t vuStride,
                       uint32_t width, uint32_t height, uint8_t* dst, uint64_t dstStride);

}  // namespace mira
