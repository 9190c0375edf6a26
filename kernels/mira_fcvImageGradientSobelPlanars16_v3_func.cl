// 3x3 Sobel gradients of an 8-bit plane into two int16 planes, from the
// filters filterX = {-1 0 1, -2 0 2, -1 0 1} and filterY = {-1 -2 -1, 0 0 0,
// 1 2 1} (row-major, top row first), in exact integer arithmetic. Neighbours
// outside the image are replaced by the nearest pixel of the image (only
// frame pixels use that rule, and the host clears the frame afterwards). One
// work item covers timesY rows of 4 * timesX pixels; the launch is rounded up,
// so the last unit of a row is guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"
#include "common/work_item.clh"

__constant int filterX[9] = {-1, 0, 1, -2, 0, 2, -1, 0, 1};
__constant int filterY[9] = {-1, -2, -1, 0, 0, 0, 1, 2, 1};

__kernel void mira_fcvImageGradientSobelPlanars16_v3_func(
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
            int sx = 0, sy = 0;
            for (int k = 0; k < 9; ++k) {
                sx += filterX[k] * p[k];
                sy += filterY[k] * p[k];
            }
            ox[c] = (short)sx;
            oy[c] = (short)sy;
        }
    }
}
