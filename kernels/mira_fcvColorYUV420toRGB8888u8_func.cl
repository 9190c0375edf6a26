// NV21 (luma, then one half-resolution plane of V,U pairs) to RGBA8888 in
// single precision:
//   y = clamp(Y - 16, 0, 255) * 1.164, U' = U - 128, V' = V - 128
//   R = y + 1.596 V', G = y - (0.813 V' + 0.391 U'), B = y + 2.018 U'
// each clamped to 0..255 and truncated; A = ALPHA_VALUE. One unit is 8 pixels
// of rows y and y + 1 sharing one chroma row; one work item covers timesX x
// timesY units. The launch is rounded up, so units reaching past the even
// width or the even height are guarded: an odd last column and an odd last
// row are not converted. Luma and chroma strides are in bytes, the
// destination stride in pixels.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/work_item.clh"
#include "common/yuv_rgba.clh"

uchar4 mira_nv21_pixel(float Y, float U, float V)
{
    return mira_rgba_pixel(clamp(Y - 16.0f, 0.0f, 255.0f) * 1.164f, U, V);
}

__kernel void mira_fcvColorYUV420toRGB8888u8_func(
    __global const uchar4* srcY, __global const uchar4* srcU, __global const uchar4* srcV,
    int srcWidth, int srcHeight, int ySrcStrideW, int ySrcStrideH, int uSrcStrideW,
    int vSrcStrideW,
    __global uchar4* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
    int dstChannelNum, float param_float_1, float param_float_2, int param_int_1,
    int param_int_2)
{
    const int width = min(srcWidth, dstWidth) & ~1;
    const int height = min(srcHeight, dstHeight) & ~1;
    MIRA_ITEM_ROWS(y, 2, height) {
        __global const uchar* l0 = mira_src_row(srcY, ySrcStrideW, y);
        __global const uchar* l1 = l0 + ySrcStrideW;
        __global const uchar* c = mira_src_row(srcU, uSrcStrideW, y >> 1);
        __global uchar4* d0 = dst + (size_t)dstStrideW * (size_t)y;
        __global uchar4* d1 = d0 + dstStrideW;
        MIRA_ITEM_UNITS(x, 8, width) {
            const int n = min(8, width - x);
            for (int k = 0; k < n; k += 2) {
                const float V = (float)c[x + k], U = (float)c[x + k + 1];
                d0[x + k] = mira_nv21_pixel((float)l0[x + k], U, V);
                d0[x + k + 1] = mira_nv21_pixel((float)l0[x + k + 1], U, V);
                d1[x + k] = mira_nv21_pixel((float)l1[x + k], U, V);
                d1[x + k + 1] = mira_nv21_pixel((float)l1[x + k + 1], U, V);
            }
        }
    }
}
