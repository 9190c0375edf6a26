// Transpose of an 8-bit plane: destination row y, columns x..x+3 receive
// source column y, rows x..x+3. One work item covers 4 * timesX destination
// columns and timesY destination rows; the launch is rounded up to cover the
// whole destination, so the last unit of a row or column is guarded.
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvTransposeu8_func, uchar, uchar, param_float_1, param_float_2)
{
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
}
