// Merge of two 8-bit planes into byte pairs: 2 bytes (a0, a1) and (b0, b1) of
// row y become the destination group (a0, b0, a1, b1). The destination width
// is a byte count (twice the sources' width); one work item covers timesY rows
// of timesX groups and the last group of a row (one byte of each source for
// an odd width) is guarded. Each plane is addressed byte-wise with its own
// stride.
#include "common/work_item.clh"

__kernel void mira_fcvInterleaveu8_func(__global const uchar2* src1, int src1Width,
                                        int src1Height, int src1StrideW, int src1StrideH,
                                        __global const uchar2* src2, int src2Width,
                                        int src2Height, int src2StrideW, int src2StrideH,
                                        __global uchar4* dst, int dstWidth, int dstHeight,
                                        int dstStrideW, int dstStrideH,
                                        float param_float_1, float param_float_2,
                                        int param_int_1, int param_int_2)
{
    const int width = min(src1Width, dstWidth >> 1);
    const int height = min(src1Height, dstHeight);
    MIRA_ITEM_ROWS(y, 1, height) {
        __global const uchar* a = mira_src_row(src1, src1StrideW, y);
        __global const uchar* b = mira_src_row(src2, src2StrideW, y);
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x, 2, width) {
            if (x + 2 <= width) {
                const uchar2 p = vload2(0, a + x), q = vload2(0, b + x);
                vstore4((uchar4)(p.s0, q.s0, p.s1, q.s1), 0, out + 2 * x);
            } else {
                out[2 * x] = a[x];
                out[2 * x + 1] = b[x];
            }
        }
    }
}
