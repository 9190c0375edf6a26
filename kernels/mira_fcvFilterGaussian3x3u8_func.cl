// 3x3 binomial smoothing of an 8-bit plane, or of each channel of an
// interleaved image of param_int_1 (2 to 4; otherwise 1) channels: the
// weighted sum with filter = {1 2 1, 2 4 2, 1 2 1} divided by filterSum = 16,
// truncated (exact integer arithmetic), over each byte and the bytes of the
// same channel around it (param_int_1 bytes apart). Neighbours outside the
// image are replaced by the byte itself (the host rewrites the frame
// afterwards). Widths are in bytes. One work item covers timesY rows of
// 4 * timesX bytes; the launch is rounded up, so the last unit of a row is
// guarded. Strides are in bytes.
#include "common/neighbourhood3x3.clh"
#include "common/work_item.clh"

__constant int filter[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};
#define filterSum 16

__kernel void mira_fcvFilterGaussian3x3u8_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global uchar4* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int width = min(srcWidth, dstWidth);
    const int height = min(srcHeight, dstHeight);
    const int step = param_int_1 >= 2 && param_int_1 <= 4 ? param_int_1 : 1;
    MIRA_ITEM_ROWS(y, 1, height) {
        __global const uchar* rows[3];
        mira_rows3(src, srcStrideW, y, height, rows);
        __global uchar* out = (__global uchar*)dst + (size_t)dstStrideW * (size_t)y;
        MIRA_ITEM_ELEMENTS(c, 4, width) {
            int p[9];
            mira_read3x3_step(rows, c, width, step, p);
            int s = 0;
            for (int k = 0; k < 9; ++k)
                s += filter[k] * p[k];
            out[c] = (uchar)(s / filterSum);
        }
    }
}
