// Exchange of the two bytes of every pair of an interleaved plane: each
// 4-byte group (p0, p1, p2, p3) becomes (p1, p0, p3, p2). Widths are byte
// counts; one work item covers timesY rows of timesX groups and the last group
// of a row (a single pair) is guarded. Rows are addressed byte-wise.
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvColorCbCrSwapu8_func, uchar4, uchar4, param_float_1, param_float_2)
{
    const int width = min(srcWidth, dstWidth) & ~1;
    const int height = min(srcHeight, dstHeight);
    MIRA_ITEM_ROWS(y, 1, height) {
        __global const uchar* in = mira_src_row(src, srcStrideW, y);
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x, 4, width) {
            if (x + 4 <= width) {
                const uchar4 p = vload4(0, in + x);
                vstore4(p.s1032, 0, out + x);
            } else {
                const uchar2 p = vload2(0, in + x);
                vstore2(p.s10, 0, out + x);
            }
        }
    }
}
