// 2x bilinear up-sample of an interleaved CbCr plane with half-pixel centres
// and replicated edges, for a destination of any size (the factor is 2
// whatever the sizes; destination pairs and rows past twice the source take
// the edge samples). Widths count bytes (two per pair); an odd last byte of a
// destination row is left alone.
//
// Along each axis destination coordinate d has the centre c = (d + 0.5) / 2
// - 0.5 and the two taps t = ceil(c - 1) = (d - 1) >> 1 and t + 1, weighted
// 1 - |tap - c|: 1/4 and 3/4 for even d, 3/4 and 1/4 for odd d. Taps outside
// the source read the nearest edge sample. The weights are kept in quarters,
// so the sum is an integer number of sixteenths and is truncated exactly.
//
// Work item (gx, gy) covers timesX groups of two destination pairs of timesY
// rows; the launch is rounded up, so pairs and rows past the destination are
// guarded.

#include "common/work_item.clh"

// First tap of destination coordinate d along an axis of `size` samples,
// clamped into it, the second tap likewise, and the two weights in quarters.
int4 mira_up2_taps(int d, int size)
{
    const int t = (d - 1) >> 1;
    const int odd = d & 1;
    return (int4)(clamp(t, 0, size - 1), clamp(t + 1, 0, size - 1), odd ? 3 : 1, odd ? 1 : 3);
}

__kernel void mira_fcvUpsample2DInterleavedu8_func(__global const uchar* src, int srcWidth,
                                                   int srcHeight, int srcStrideW,
                                                   int srcStrideH, __global uchar* dst,
                                                   int dstWidth, int dstHeight, int dstStrideW,
                                                   int dstStrideH, float xScale, float yScale,
                                                   int param_int_1, int param_int_2)
{
    const int srcPairs = srcWidth >> 1;
    const int dstPairs = dstWidth >> 1;
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        const int4 ty = mira_up2_taps(y, srcHeight);
        __global const uchar* r1 = mira_src_row(src, srcStrideW, ty.s0);
        __global const uchar* r2 = mira_src_row(src, srcStrideW, ty.s1);
        __global uchar* drow = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_ELEMENTS(p, 2, dstPairs) {
            const int4 tx = mira_up2_taps(p, srcPairs);
            const int2 a = convert_int2(vload2(0, r1 + 2 * tx.s0));
            const int2 b = convert_int2(vload2(0, r1 + 2 * tx.s1));
            const int2 c = convert_int2(vload2(0, r2 + 2 * tx.s0));
            const int2 d = convert_int2(vload2(0, r2 + 2 * tx.s1));
            const int2 sum = ty.s2 * (tx.s2 * a + tx.s3 * b) + ty.s3 * (tx.s2 * c + tx.s3 * d);
            vstore2(convert_uchar2(sum >> 4), 0, drow + 2 * p);
        }
    }
}
