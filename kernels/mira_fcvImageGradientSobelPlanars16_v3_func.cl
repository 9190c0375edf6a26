// 3x3 Sobel gradients of an 8-bit plane into two int16 planes, from the
// filters filterX = {-1 0 1, -2 0 2, -1 0 1} and filterY = {-1 -2 -1, 0 0 0,
// 1 2 1} (row-major, top row first), in exact integer arithmetic. Neighbours
// outside the image are replaced by the nearest pixel of the image (only
// frame pixels use that rule, and the host clears the frame afterwards). One
// work item covers timesY rows of 4 * timesX pixels; the launch is rounded up,
// so the last unit of a row is guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"

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
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= height)
            return;
        __global const uchar* rows[3];
        mira_rows3(src, srcStrideW, y, height, rows);
        __global short* ox = mira_s16_row(dstX, dstXStrideW, y);
        __global short* oy = mira_s16_row(dstY, dstYStrideW, y);
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= width)
                break;
            for (int k = 0; k < 4 && x + k < width; ++k) {
                const int c = x + k;
                int cols[3];
                mira_cols3(c, width, cols);
                int sx = 0, sy = 0;
                for (int r = 0; r < 3; ++r)
                    for (int q = 0; q < 3; ++q) {
                        const int p = rows[r][cols[q]];
                        sx += filterX[3 * r + q] * p;
                        sy += filterY[3 * r + q] * p;
                    }
                ox[c] = (short)sx;
                oy[c] = (short)sy;
            }
        }
    }
}
