// 3x3 binomial smoothing of an 8-bit plane: the weighted sum with
// filter = {1 2 1, 2 4 2, 1 2 1} divided by filterSum = 16, truncated (exact
// integer arithmetic). Neighbours outside the image are replaced by the
// nearest pixel of the image; the host rewrites the frame afterwards. One
// work item covers timesY rows of 4 * timesX pixels; the launch is rounded
// up, so the last unit of a row is guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"

__constant int filter[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
#define filterSum 16

__kernel void mira_fcvFilterGaussian3x3u8_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global uchar4* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int width = min(srcWidth, dstWidth);
    const int height = min(srcHeight, dstHeight);
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= height)
            return;
        __global const uchar* rows[3];
        mira_rows3(src, srcStrideW, y, height, rows);
        __global uchar* out = (__global uchar*)dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= width)
                break;
            for (int k = 0; k < 4 && x + k < width; ++k) {
                const int c = x + k;
                int cols[3];
                mira_cols3(c, width, cols);
                int s = 0;
                for (int r = 0; r < 3; ++r)
                    for (int q = 0; q < 3; ++q)
                        s += filter[3 * r + q] * rows[r][cols[q]];
                out[c] = (uchar)(s / filterSum);
            }
        }
    }
}
