// Horizontal and vertical gradients of an 8-bit plane into two int16 planes,
// with a one-pixel frame of zeros: the plain central difference, and the
// pieces the Sobel gradient (gradient_sobel.h) shares with it. Strides are in
// bytes.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// dx = p(x+1, y) - p(x-1, y), dy = p(x, y+1) - p(x, y-1).
void gradient_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                      int16_t* dx, uint32_t dxStride, int16_t* dy, uint32_t dyStride);

// Zeros row 0, row height-1, column 0 and column width-1 of one int16 plane.
void gradient_clear_frame(int16_t* plane, uint32_t width, uint32_t height, uint32_t stride);

// Argument checks shared by both gradient features and their methods.
bool gradient_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                      uint8_t dstCount);

// Visits the interior columns 1..width-2 of a row in blocks: full 16-wide
// blocks, the last one shifted left to end at width-2 when the interior is at
// least 16 wide; otherwise 8-wide blocks the same way; otherwise single
// columns. Overlapping blocks recompute identical values. Columns count in
// size_t, so that a block's addresses (x - 1, x + 1, 2 * x, ...) need no
// 32-bit wrap-around and one induction variable serves them all.
template <class F16, class F8, class F1>
inline void for_interior_blocks(uint32_t width, F16 f16, F8 f8, F1 f1) {
    if (width < 3) return;
    const size_t end = width - 1;  // one past the last interior column
    const size_t n = width - 2;
    if (n >= 16) {
        size_t x = 1;
        for (; x + 16 <= end; x += 16) f16(x);
        if (x < end) f16(end - 16);
    } else if (n >= 8) {
        size_t x = 1;
        for (; x + 8 <= end; x += 8) f8(x);
        if (x < end) f8(end - 8);
    } else {
        for (size_t x = 1; x < end; ++x) f1(x);
    }
}

}  // namespace mira
