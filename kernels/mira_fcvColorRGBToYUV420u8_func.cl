// Interleaved RGB(A) to a 4:2:0 frame of three packed planes (Y, U, V, each
// with its own byte stride), in the integer formula of common/yuv420.clh:
//   Y = (kYR R + kYG G + kYB B + 256 yoff + 128) >> 8
//   U = (q(D1, kUB) + q(D2, kUR) + 32896) >> 8, V = (q(D2, kVR) + q(D1, kVB) + 32896) >> 8
// with D1 = 32 (SB - SG), D2 = 32 (SR - SG), where SR, SG, SB sum each 2x2
// block, a partial block at an odd edge counting its last column or row
// twice; every sum lies within 0..65535 before its shift, so none is clamped. The launch follows the luma plane
// (units of 4 bytes, one row each); one unit here is 4 pixels (two blocks)
// of a row pair, and units past the frame are skipped.
#include "common/work_item.clh"
#include "common/yuv420.clh"

__kernel void mira_fcvColorRGBToYUV420u8_func(
    __global const uchar* src, int srcWidth, int srcHeight, int srcStrideW, int srcStrideH,
    __global uchar* dstY, int yWidth, int yHeight, int yStrideW, int yStrideH,
    __global uchar* dstU, int uWidth, int uHeight, int uStrideW, int uStrideH,
    __global uchar* dstV, int vWidth, int vHeight, int vStrideW, int vStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int code = (int)param_float_1;
    const int channels = (code & 2) ? 3 : 4, blueFirst = code & 1;
    const int row = ((code >> 2) & 3) * 2 + ((code >> 4) & 1);
    __constant short* k = mira_from_rgb_k[row];
    const int width = min(yWidth, srcWidth / channels);
    const int height = min(yHeight, srcHeight);
    MIRA_ITEM_ROWS(y, 2, height) {
        const int y1 = min(y + 1, height - 1);
        __global const uchar* s0 = mira_src_row(src, srcStrideW, y);
        __global const uchar* s1 = mira_src_row(src, srcStrideW, y1);
        __global uchar* o0 = mira_dst_row(dstY, yStrideW, y);
        __global uchar* o1 = mira_dst_row(dstY, yStrideW, y1);
        __global uchar* ou = mira_dst_row(dstU, uStrideW, y >> 1);
        __global uchar* ov = mira_dst_row(dstV, vStrideW, y >> 1);
        MIRA_ITEM_UNITS(x0, 4, width) {
            for (int bx = x0; bx < min(x0 + 4, width); bx += 2) {
                const int xs[2] = {bx, min(bx + 1, width - 1)};
                int sr = 0, sg = 0, sb = 0;
                for (int j = 0; j < 2; ++j) {
                    __global const uchar* s = j ? s1 : s0;
                    __global uchar* o = j ? o1 : o0;
                    for (int i = 0; i < 2; ++i) {
                        __global const uchar* p = s + xs[i] * channels;
                        const int r = blueFirst ? p[2] : p[0], g = p[1], b = blueFirst ? p[0] : p[2];
                        sr += r;
                        sg += g;
                        sb += b;
                        o[xs[i]] = (uchar)((k[1] * r + k[2] * g + k[3] * b + 256 * k[0] + 128) >> 8);
                    }
                }
                const int d1 = 32 * (sb - sg), d2 = 32 * (sr - sg);
                ou[bx >> 1] = (uchar)((mira_q15(d1, k[4]) + mira_q15(d2, k[5]) + 32896) >> 8);
                ov[bx >> 1] = (uchar)((mira_q15(d2, k[6]) + mira_q15(d1, k[7]) + 32896) >> 8);
            }
        }
    }
}
