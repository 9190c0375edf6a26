// Transpose of an image of 1- to 4-byte pixels (the pixel size is
// param_int_1; 0 or 1: an 8-bit plane): destination row y, pixels x.. receive
// source column y, rows x... Widths arrive as byte counts and the launch
// counts 4-byte units of the destination row; one unit covers ceil(4 / pixel
// size) destination pixels, so the launch covers every pixel. One work item
// covers timesX units and timesY destination rows; the launch is rounded up
// to cover the whole destination, so the last unit of a row or column is
// guarded. Each pixel's bytes move together.
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvTransposeu8_func, uchar, uchar, param_float_1, param_float_2)
{
    const int px = param_int_1 >= 2 && param_int_1 <= 4 ? param_int_1 : 1;
    if (px == 1) {
        MIRA_ITEM_ROWS(y, 1, dstHeight) {
            __global uchar* drow = mira_dst_row(dst, dstStrideW, y);
            MIRA_ITEM_UNITS(x, 4, dstWidth) {
                __global const uchar* s = src + (size_t)srcStrideW * (size_t)x + (size_t)y;
                if (x + 4 <= dstWidth) {
                    uchar4 v = (uchar4)(s[0], s[(size_t)srcStrideW], s[2 * (size_t)srcStrideW],
                                        s[3 * (size_t)srcStrideW]);
                    drow[x] = v.s0;
                    drow[x + 1] = v.s1;
                    drow[x + 2] = v.s2;
                    drow[x + 3] = v.s3;
                } else {
                    for (int k = 0; x + k < dstWidth; ++k)
                        drow[x + k] = s[(size_t)srcStrideW * (size_t)k];
                }
            }
        }
        return;
    }
    const int perUnit = (4 + px - 1) / px;  // destination pixels per 4-byte unit
    const int dstPixels = dstWidth / px;
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        __global uchar* drow = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x, perUnit, dstPixels) {
            const int n = min(perUnit, dstPixels - x);
            for (int k = 0; k < n; ++k) {
                __global const uchar* s =
                    src + (size_t)srcStrideW * (size_t)(x + k) + (size_t)px * (size_t)y;
                __global uchar* d = drow + (size_t)px * (size_t)(x + k);
                if (px == 2)
                    vstore2(vload2(0, s), 0, d);
                else if (px == 3)
                    vstore3(vload3(0, s), 0, d);
                else
                    vstore4(vload4(0, s), 0, d);
            }
        }
    }
}
