// A 4:2:0 camera frame (Y, U, V planes, each with its own byte stride; chroma
// samples 1 or 2 bytes apart) to interleaved RGB(A), in the integer formula of
// common/yuv420.clh: with y = q(128 (Y - yoff), kY) + 32,
//   R = clamp((y + q(256 (V - 128), kRV)) >> 6)
//   G = clamp((y - (q(256 (U - 128), kGU) + q(256 (V - 128), kGV))) >> 6)
//   B = clamp((y + q(256 (U - 128), kBU)) >> 6), A = 255.
// Each chroma sample covers its 2x2 block. The destination width counts
// bytes (pixels x 3 or 4), so the launch covers at least half the pixels in
// units of 4 bytes; one unit here is 2 pixels of one row, and units past the
// width are skipped.
#include "common/work_item.clh"
#include "common/yuv420.clh"

__kernel void mira_fcvColorYUV420ToRGBu8_func(
    __global const uchar* srcY, int yWidth, int yHeight, int yStrideW, int yStrideH,
    __global const uchar* srcU, int uWidth, int uHeight, int uStrideW, int uStrideH,
    __global const uchar* srcV, int vWidth, int vHeight, int vStrideW, int vStrideH,
    __global uchar* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int code = (int)param_float_1;
    const int channels = (code & 2) ? 3 : 4, blueFirst = code & 1;
    const int row = ((code >> 2) & 3) * 2 + ((code >> 4) & 1);
    const int ps = ((code >> 5) & 1) + 1;
    const int yoff = mira_to_rgb_k[row][0], kY = mira_to_rgb_k[row][1];
    const int kRV = mira_to_rgb_k[row][2], kGU = mira_to_rgb_k[row][3];
    const int kGV = mira_to_rgb_k[row][4], kBU = mira_to_rgb_k[row][5];
    const int width = min(yWidth, dstWidth / channels);
    const int height = min(yHeight, dstHeight);
    MIRA_ITEM_ROWS(y, 1, height) {
        __global const uchar* l = mira_src_row(srcY, yStrideW, y);
        __global const uchar* cu = mira_src_row(srcU, uStrideW, y >> 1);
        __global const uchar* cv = mira_src_row(srcV, vStrideW, y >> 1);
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x, 2, width) {
            const int c = (x >> 1) * ps;
            const int u = 256 * ((int)cu[c] - 128), v = 256 * ((int)cv[c] - 128);
            const int tr = mira_q15(v, kRV);
            const int tg = mira_q15(u, kGU) + mira_q15(v, kGV);
            const int tb = mira_q15(u, kBU);
            const int n = min(2, width - x);
            for (int k = 0; k < n; ++k) {
                const int lum = mira_q15(128 * ((int)l[x + k] - yoff), kY) + 32;
                const uchar r = (uchar)mira_clamp255((lum + tr) >> 6);
                const uchar g = (uchar)mira_clamp255((lum - tg) >> 6);
                const uchar b = (uchar)mira_clamp255((lum + tb) >> 6);
                __global uchar* p = out + (x + k) * channels;
                p[0] = blueFirst ? b : r;
                p[1] = g;
                p[2] = blueFirst ? r : b;
                if (channels == 4) p[3] = (uchar)255;
            }
        }
    }
}
