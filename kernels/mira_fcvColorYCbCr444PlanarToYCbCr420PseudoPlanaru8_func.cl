// 4:4:4 planar chroma to one 4:2:0 plane of Cb,Cr pairs: chroma row y is
// built from source row 2y only, byte j being Cb[2y][j] for even j and
// Cr[2y][j - 1] for odd j (the top-left sample of each 2 x 2 block). One work
// item covers timesY chroma rows of timesX units of 8 output bytes; the launch
// counts luma rows in pairs, so rows past height / 2 and bytes past the width
// are guarded. Rows are addressed byte-wise with each plane's own stride.
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_YUV_YUV_KERNEL(mira_fcvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8_func)
{
    const int width = min(srcWidth, dstWidth);
    const int rows = min(srcHeight, dstHeight) >> 1;
    MIRA_ITEM_ROWS(y, 1, rows) {
        __global const uchar* cb = mira_src_row(srcU, uSrcStrideW, 2 * y);
        __global const uchar* cr = mira_src_row(srcV, vSrcStrideW, 2 * y);
        __global uchar* out = mira_dst_row(dstU, uDstStrideW, y);
        MIRA_ITEM_UNITS(x, 8, width) {
            if (x + 8 <= width) {
                const uchar8 b = vload8(0, cb + x), r = vload8(0, cr + x);
                vstore8((uchar8)(b.s0, r.s0, b.s2, r.s2, b.s4, r.s4, b.s6, r.s6), 0, out + x);
            } else {
                for (int k = x; k < width; ++k)
                    out[k] = (k & 1) ? cr[k - 1] : cb[k];
            }
        }
    }
}
