// Plain central-difference gradients of an 8-bit plane into two int16 planes:
// dx = p(x+1, y) - p(x-1, y), dy = p(x, y+1) - p(x, y-1). Neighbours outside
// the image are replaced by the pixel itself (only frame pixels use that rule,
// and the host clears the frame afterwards). One work item covers timesY rows
// of 4 * timesX pixels; the launch is rounded up, so the last unit of a row is
// guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"
#include "common/work_item.clh"

__kernel void mira_fcvImageGradientPlanars16_v2_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global short4* dstX, int dstXWidth, int dstXHeight, int dstXStrideW, int dstXStrideH,
    __global short4* dstY, int dstYWidth, int dstYHeight, int dstYStrideW, int dstYStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int width = min(srcWidth, dstXWidth);
    const int height = min(srcHeight, dstXHeight);
    MIRA_ITEM_ROWS(y, 1, height) {
        __global const uchar* rows[3];
        mira_rows3(src, srcStrideW, y, height, rows);
        __global short* ox = mira_s16_row(dstX, dstXStrideW, y);
        __global short* oy = mira_s16_row(dstY, dstYStrideW, y);
        MIRA_ITEM_ELEMENTS(c, 4, width) {
            int p[9];
            mira_read3x3(rows, c, width, p);
            ox[c] = (short)(p[5] - p[3]);
            oy[c] = (short)(p[7] - p[1]);
        }
    }
}
