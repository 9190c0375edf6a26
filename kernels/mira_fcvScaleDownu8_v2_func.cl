// Integer block-mean down-scale. Work item (gx, gy) covers timesX groups of
// four destination pixels of timesY rows. Each pixel is the truncated mean of
// the boxW x boxH source block starting at ((int)(x * xScale),
// (int)(y * yScale)), with boxW = max(srcWidth / dstWidth, 1) and
// boxH = max(srcHeight / dstHeight, 1) taken from the sizes, so one build
// serves every ratio (the boxWidth and boxHeight build options are not read);
// block samples are kept inside the source. Groups are stored as one uchar4
// at (dstStrideW * y >> 2) + x; the launch is rounded up to cover the whole
// destination, so the last group of a row writes only the pixels that exist.
// With param_int_1 = 3 or 4 the rows hold interleaved pixels of that many
// channels (widths in bytes, rows addressed byte-wise): each channel is its
// plane's mean, the same block at the same position; a work item covers
// 4 * timesX pixels and reads and writes whole pixels.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/work_item.clh"
#include "common/box_sum.clh"

__kernel void mira_fcvScaleDownu8_v2_func(__global const uchar* src, int srcWidth,
                                          int srcHeight, int srcStrideW, int srcStrideH,
                                          __global uchar4* dst, int dstWidth, int dstHeight,
                                          int dstStrideW, int dstStrideH, float xScale,
                                          float yScale, int param_int_1, int param_int_2)
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
        __global uchar4* drow = dst + (((size_t)dstStrideW * (size_t)y) >> 2);
        MIRA_ITEM_UNITS(x, 4, dstWidth) {
            const int4 sx = convert_int4_rtz((float4)((float)x, (float)(x + 1), (float)(x + 2),
                                                      (float)(x + 3)) * xScale);
            const uint4 sum =
                (uint4)(mira_box_sum(src, srcStrideW, srcWidth, srcHeight, sx.s0, sy, box),
                        mira_box_sum(src, srcStrideW, srcWidth, srcHeight, sx.s1, sy, box),
                        mira_box_sum(src, srcStrideW, srcWidth, srcHeight, sx.s2, sy, box),
                        mira_box_sum(src, srcStrideW, srcWidth, srcHeight, sx.s3, sy, box));
            const uchar4 v = convert_uchar4(sum / (uint4)(count));
            if (x + 4 <= dstWidth) {
                drow[x >> 2] = v;
            } else {
                __global uchar* tail = (__global uchar*)(drow + (x >> 2));
                tail[0] = v.s0;
                if (x + 1 < dstWidth) tail[1] = v.s1;
                if (x + 2 < dstWidth) tail[2] = v.s2;
            }
        }
    }
}
