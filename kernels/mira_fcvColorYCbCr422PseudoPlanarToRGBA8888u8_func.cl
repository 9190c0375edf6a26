// 4:2:2 semi-planar (luma, then one plane of U,V pairs with a chroma row per
// luma row) to RGBA8888 in single precision:
//   y = (Y - 16) * 1.164, U' = U - 128, V' = V - 128
//   R = y + 1.596 V', G = y - (0.813 V' + 0.391 U'), B = y + 2.018 U'
// each clamped to 0..255 and truncated; A = ALPHA_VALUE. One unit is 8 pixels
// of rows y and y + 1, each row with its own chroma row; units past the even
// width or height are guarded. Luma and chroma strides are in bytes, the
// destination stride in pixels.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/work_item.clh"
#include "common/yuv_rgba.clh"

uchar4 mira_yuv422_pixel(float Y, float U, float V)
{
    return mira_rgba_pixel((Y - 16.0f) * 1.164f, U, V);
}

__kernel void mira_fcvColorYCbCr422PseudoPlanarToRGBA8888u8_func(
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
        for (int row = 0; row < 2; ++row) {
            __global const uchar* l = mira_src_row(srcY, ySrcStrideW, y + row);
            __global const uchar* c = mira_src_row(srcU, uSrcStrideW, y + row);
            __global uchar4* d = dst + (size_t)dstStrideW * (size_t)(y + row);
            MIRA_ITEM_UNITS(x, 8, width) {
                const int n = min(8, width - x);
                for (int k = 0; k < n; k += 2) {
                    const float U = (float)c[x + k], V = (float)c[x + k + 1];
                    d[x + k] = mira_yuv422_pixel((float)l[x + k], U, V);
                    d[x + k + 1] = mira_yuv422_pixel((float)l[x + k + 1], U, V);
                }
            }
        }
    }
}
