// Plain central-difference gradients of an 8-bit plane into two int16 planes:
// dx = p(x+1, y) - p(x-1, y), dy = p(x, y+1) - p(x, y-1). Neighbours outside
// the image are replaced by the pixel itself (only frame pixels use that rule,
// and the host clears the frame afterwards). One work item covers timesY rows
// of 4 * timesX pixels; the launch is rounded up, so the last unit of a row is
// guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"

__kernel void mira_fcvImageGradientPlanars16_v2_func(
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
                ox[c] = (short)((int)rows[1][cols[2]] - (int)rows[1][cols[0]]);
                oy[c] = (short)((int)rows[2][c] - (int)rows[0][c]);
            }
        }
    }
}
