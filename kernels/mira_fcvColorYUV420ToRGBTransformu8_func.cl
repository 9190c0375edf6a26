// A 4:2:0 camera frame mirrored (optional), turned clockwise by a quarter
// turn, scaled to the destination size and converted to interleaved RGB(A)
// in one pass: the arithmetic stated at mira_yuv420_to_rgb_transform in
// mira_image.h, in integers (its CPU twin is ops/colour/
// yuv420_to_rgb_transform.cpp, which gives the same bytes). Per destination
// axis, index d of D over a source axis of S luma samples:
//   nearest:  o = (2d + 1) S / (2D), chroma o >> 1
//   bilinear: P = (2d + 1) S 2^16 / (2D) - 2^15, chroma (P - 2^15) >> 1,
// counted from the far end (S - 1 - o, (S - 1) 2^16 - P) where the axis runs
// backwards; taps at floor(Q / 2^16) and the next, weight ((Q & 0xFFFF) >> 8)
// on the second, one clamped tap at the edges; each plane's sample is
// (sum of tap x weight products + 2^15) >> 16 and goes through the
// conversion of common/yuv420.clh.
// param_float_1: the conversion's request code (common/yuv420.clh);
// param_float_2: quarter turns (bits 0-1), mirror (bit 2), bilinear (bit 3).
// One unit is 2 pixels of one destination row (the destination width counts
// bytes, so the launch covers at least half the pixels in units of 4 bytes).
#include "common/work_item.clh"
#include "common/yuv420.clh"

// The taps of a 16.16 position q on an axis of n samples.
void mira_taps(long q, int n, int* i0, int* i1, int* w)
{
    const long i = q >> 16;
    if (i < 0) {
        *i0 = 0; *i1 = 0; *w = 0;
    } else if (i >= (long)n - 1) {
        *i0 = n - 1; *i1 = n - 1; *w = 0;
    } else {
        *i0 = (int)i; *i1 = (int)i + 1; *w = (int)((q & 0xFFFF) >> 8);
    }
}

// One source axis for destination index d of dLen: luma and chroma taps.
void mira_axis(int d, int dLen, int s, int flip, int bilinear, int* l0, int* l1, int* lw,
               int* c0, int* c1, int* cw)
{
    if (!bilinear) {
        int o = (int)(((long)(2 * d + 1) * (long)s) / (2 * (long)dLen));
        if (flip) o = s - 1 - o;
        *l0 = o; *l1 = o; *lw = 0;
        *c0 = o >> 1; *c1 = o >> 1; *cw = 0;
        return;
    }
    long p = ((long)(2 * d + 1) * (long)s * 65536L) / (2 * (long)dLen) - 32768;
    if (flip) p = ((long)(s - 1) << 16) - p;
    mira_taps(p, s, l0, l1, lw);
    mira_taps((p - 32768) >> 1, (s + 1) / 2, c0, c1, cw);
}

int mira_blend(int a, int b, int c, int d, int wx, int wy)
{
    const uint v = (uint)(a * (256 - wx) + b * wx) * (uint)(256 - wy) +
                   (uint)(c * (256 - wx) + d * wx) * (uint)wy;
    return (int)((v + 32768u) >> 16);
}

__kernel void mira_fcvColorYUV420ToRGBTransformu8_func(
    __global const uchar* srcY, int yWidth, int yHeight, int yStrideW, int yStrideH,
    __global const uchar* srcU, int uWidth, int uHeight, int uStrideW, int uStrideH,
    __global const uchar* srcV, int vWidth, int vHeight, int vStrideW, int vStrideH,
    __global uchar* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const int code = (int)param_float_1, geo = (int)param_float_2;
    const int channels = (code & 2) ? 3 : 4, blueFirst = code & 1;
    const int row = ((code >> 2) & 3) * 2 + ((code >> 4) & 1);
    const int ps = ((code >> 5) & 1) + 1;
    const int yoff = mira_to_rgb_k[row][0], kY = mira_to_rgb_k[row][1];
    const int kRV = mira_to_rgb_k[row][2], kGU = mira_to_rgb_k[row][3];
    const int kGV = mira_to_rgb_k[row][4], kBU = mira_to_rgb_k[row][5];
    const int turns = geo & 3, mirror = (geo >> 2) & 1, bilinear = (geo >> 3) & 1;
    const int swap = turns & 1;
    const int flipX = ((turns == 2 || turns == 3) ? 1 : 0) ^ mirror;
    const int flipY = (turns == 1 || turns == 2) ? 1 : 0;
    const int W = yWidth, H = yHeight;
    const int width = dstWidth / channels;
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        MIRA_ITEM_UNITS(x0, 2, width) {
            const int n = min(2, width - x0);
            for (int k = 0; k < n; ++k) {
                const int x = x0 + k;
                const int dX = swap ? y : x, nX = swap ? dstHeight : width;
                const int dY = swap ? x : y, nY = swap ? width : dstHeight;
                int lx0, lx1, lxw, cx0, cx1, cxw, ly0, ly1, lyw, cy0, cy1, cyw;
                mira_axis(dX, nX, W, flipX, bilinear, &lx0, &lx1, &lxw, &cx0, &cx1, &cxw);
                mira_axis(dY, nY, H, flipY, bilinear, &ly0, &ly1, &lyw, &cy0, &cy1, &cyw);
                __global const uchar* l0 = mira_src_row(srcY, yStrideW, ly0);
                __global const uchar* l1 = mira_src_row(srcY, yStrideW, ly1);
                __global const uchar* u0 = mira_src_row(srcU, uStrideW, cy0);
                __global const uchar* u1 = mira_src_row(srcU, uStrideW, cy1);
                __global const uchar* v0 = mira_src_row(srcV, vStrideW, cy0);
                __global const uchar* v1 = mira_src_row(srcV, vStrideW, cy1);
                const int a = cx0 * ps, b = cx1 * ps;
                const int Y = mira_blend(l0[lx0], l0[lx1], l1[lx0], l1[lx1], lxw, lyw);
                const int U = mira_blend(u0[a], u0[b], u1[a], u1[b], cxw, cyw);
                const int V = mira_blend(v0[a], v0[b], v1[a], v1[b], cxw, cyw);
                const int u = 256 * (U - 128), v = 256 * (V - 128);
                const int lum = mira_q15(128 * (Y - yoff), kY) + 32;
                const uchar r = (uchar)mira_clamp255((lum + mira_q15(v, kRV)) >> 6);
                const uchar g = (uchar)mira_clamp255(
                    (lum - (mira_q15(u, kGU) + mira_q15(v, kGV))) >> 6);
                const uchar bl = (uchar)mira_clamp255((lum + mira_q15(u, kBU)) >> 6);
                __global uchar* p = out + x * channels;
                p[0] = blueFirst ? bl : r;
                p[1] = g;
                p[2] = blueFirst ? r : bl;
                if (channels == 4) p[3] = (uchar)255;
            }
        }
    }
}
