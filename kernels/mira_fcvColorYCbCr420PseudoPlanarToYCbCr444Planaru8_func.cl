// One 4:2:0 plane of Cb,Cr pairs to 4:4:4 planar chroma by nearest-neighbour
// replication: pair k of chroma row y goes to rows 2y and 2y + 1, columns 2k
// and 2k + 1 of the Cb and Cr planes. One work item covers timesY row pairs
// of timesX units of 8 output bytes per row; row pairs past height / 2 and
// bytes past the width are guarded (with an odd width the last Cr column has
// no sample and stays as it was). Rows are addressed byte-wise with each
// plane's own stride.
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_YUV_YUV_KERNEL(mira_fcvColorYCbCr420PseudoPlanarToYCbCr444Planaru8_func)
{
    const int width = min(srcWidth, dstWidth);
    const int rows = min(srcHeight, dstHeight) >> 1;
    MIRA_ITEM_ROWS(y, 1, rows) {
        __global const uchar* c = mira_src_row(srcU, uSrcStrideW, y);
        __global uchar* cb0 = mira_dst_row(dstU, uDstStrideW, 2 * y);
        __global uchar* cb1 = cb0 + uDstStrideW;
        __global uchar* cr0 = mira_dst_row(dstV, vDstStrideW, 2 * y);
        __global uchar* cr1 = cr0 + vDstStrideW;
        MIRA_ITEM_UNITS(x, 8, width) {
            if (x + 8 <= width) {
                const uchar8 p = vload8(0, c + x);
                const uchar8 b = p.s00224466, r = p.s11335577;
                vstore8(b, 0, cb0 + x);
                vstore8(b, 0, cb1 + x);
                vstore8(r, 0, cr0 + x);
                vstore8(r, 0, cr1 + x);
            } else {
                for (int k = x; k < width; ++k) {
                    const int e = k & ~1;
                    cb0[k] = cb1[k] = c[e];
                    if (e + 1 < width)
                        cr0[k] = cr1[k] = c[e + 1];
                }
            }
        }
    }
}
