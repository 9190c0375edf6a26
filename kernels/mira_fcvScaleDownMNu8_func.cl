// Box down-scale of an 8-bit plane by an arbitrary ratio. Destination pixel
// (x, y) is the truncated mean of the boxW x boxH source block that starts at
// ((int)(x * xScale), (int)(y * yScale)), with boxW = max(srcWidth /
// dstWidth, 1) and boxH = max(srcHeight / dstHeight, 1) taken from the sizes,
// so one build serves every ratio (the boxWidth and boxHeight build options
// are not read). One work item covers 4 * timesX destination columns and
// timesY rows; the last unit of a row is guarded, and block reads stay inside
// the source.
// With param_int_1 = 3 or 4 the rows hold interleaved pixels of that many
// channels (widths in bytes): each channel is its plane's mean, the same box
// at the same position; a work item covers 4 * timesX pixels and reads and
// writes whole pixels.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/store.clh"
#include "common/work_item.clh"
#include "common/box_sum.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvScaleDownMNu8_func, uchar, uchar, xScale, yScale)
{
    const int2 box = mira_box_size(srcWidth, srcHeight, dstWidth, dstHeight);
    const uint count = (uint)(box.x * box.y);
    const int channels = param_int_1;
    if (channels == 3 || channels == 4) {
        mira_box_mean_pixels(src, srcStrideW, srcWidth, srcHeight, (__global uchar*)dst,
                             dstStrideW, dstWidth, dstHeight, xScale, yScale, box, channels);
        return;
    }
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        const int sy = (int)((float)y * yScale);
        __global uchar* drow = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x, 4, dstWidth) {
            uchar v[4];
            for (int k = 0; k < 4; ++k) {
                const int sx = (int)((float)(x + k) * xScale);
                v[k] = (uchar)(mira_box_sum(src, srcStrideW, srcWidth, srcHeight, sx, sy, box) /
                               count);
            }
            mira_store4(drow, x, dstWidth, v);
        }
    }
}
