// Rotation of an 8-bit plane by a multiple of 90 degrees. Each destination
// pixel (xd, yd) is mapped back around the two images' centres:
//   sx = (xd - dcx) cos + (yd - dcy) sin + scx
//   sy = (dcx - xd) sin + (yd - dcy) cos + scy
// truncated toward zero; with the sine and cosine of a multiple of 90 degrees
// the coordinates come out as whole numbers. One work item covers timesY rows
// of 4 * timesX destination pixels; the launch is rounded up over the
// destination, so the last unit of a row is guarded. Strides are in bytes and
// rows are addressed byte-wise, so any stride works.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/rotate.clh"

__kernel void mira_fcvRotateImageu8_func(__global const uchar* src, int srcWidth, int srcHeight,
                                         int srcStrideW, int srcStrideH,
                                         __global uchar4* dst, int dstWidth, int dstHeight,
                                         int dstStrideW, int dstStrideH,
                                         float sinValue, float cosValue,
                                         int param_int_1, int param_int_2)
{
    const float2 sc = mira_centre(srcWidth, srcHeight);
    const float2 dc = mira_centre(dstWidth, dstHeight);
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        __global uchar* out = (__global uchar*)dst + (size_t)dstStrideW * (size_t)y;
        const float fy = (float)y - dc.y;
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= dstWidth)
                break;
            uchar v[4];
            const int n = min(4, dstWidth - x);
            for (int k = 0; k < n; ++k) {
                const int2 sp = mira_rotate_source((float)(x + k) - dc.x, fy, sinValue, cosValue,
                                                   sc, srcWidth, srcHeight);
                v[k] = src[(size_t)srcStrideW * (size_t)sp.y + (size_t)sp.x];
            }
            for (int k = 0; k < n; ++k)
                out[x + k] = v[k];
        }
    }
}
