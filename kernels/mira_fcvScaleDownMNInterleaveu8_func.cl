// Box down-scale of an interleaved CbCr plane (widths in bytes). Destination
// pair p of row y averages, per channel, the boxW x boxH block of pairs
// starting at pair ((int)(p * xScale), (int)(y * yScale)); the float mean
// plus 0.5 is truncated (a rounded mean). boxW = max(srcWidth / dstWidth, 1)
// (the byte widths' ratio) and boxH = max(srcHeight / dstHeight, 1) are taken
// from the sizes, so one build serves every ratio (the boxWidth and boxHeight
// build options are not read). One work item covers two pairs (4 bytes) times
// timesX and timesY rows; the last unit of a row is guarded, and block reads
// stay inside the source.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/work_item.clh"
#include "common/box_sum.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvScaleDownMNInterleaveu8_func, uchar, uchar, xScale, yScale)
{
    const int srcPairs = srcWidth >> 1;
    const int dstPairs = dstWidth >> 1;
    const int2 box = mira_box_size(srcWidth, srcHeight, dstWidth, dstHeight);
    const float count = (float)(box.x * box.y);
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        const int sy = (int)((float)y * yScale);
        __global uchar* drow = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(p0, 2, dstPairs) {
            uchar v[4];
            for (int k = 0; k < 2; ++k) {
                const int sx = (int)((float)(p0 + k) * xScale);
                const uint2 sum =
                    mira_box_sum_pairs(src, srcStrideW, srcPairs, srcHeight, sx, sy, box);
                v[2 * k] = (uchar)((float)sum.x / count + 0.5f);
                v[2 * k + 1] = (uchar)((float)sum.y / count + 0.5f);
            }
            const int x = 2 * p0;
            if (p0 + 2 <= dstPairs) {
                vstore4((uchar4)(v[0], v[1], v[2], v[3]), 0, drow + x);
            } else {
                drow[x] = v[0];
                drow[x + 1] = v[1];
            }
        }
    }
}
