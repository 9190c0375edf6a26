// Rotation of an image of 2-byte pixels by a multiple of 90 degrees; both
// bytes of a pixel move together. Widths arrive as byte counts (2 per pixel)
// and the launch counts 4-byte units of the destination row, so one unit is 2
// destination pixels. Source positions are found around the images' centres
// (in pixels) as for the planar rotation and truncated toward zero. One work
// item covers timesY rows of timesX units; the last unit of a row (a single
// pixel for an odd pixel width) is guarded. Rows are addressed byte-wise.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/rotate.clh"

__kernel void mira_fcvRotateImageInterleavedu8_func(__global const uchar2* src, int srcWidth,
                                                    int srcHeight, int srcStrideW,
                                                    int srcStrideH,
                                                    __global uchar4* dst, int dstWidth,
                                                    int dstHeight, int dstStrideW,
                                                    int dstStrideH,
                                                    float sinValue, float cosValue,
                                                    int param_int_1, int param_int_2)
{
    const int srcPixels = srcWidth >> 1, dstPixels = dstWidth >> 1;
    const float2 sc = mira_centre(srcPixels, srcHeight);
    const float2 dc = mira_centre(dstPixels, dstHeight);
    __global const uchar* in = (__global const uchar*)src;
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        __global uchar* out = (__global uchar*)dst + (size_t)dstStrideW * (size_t)y;
        const float fy = (float)y - dc.y;
        for (int i = 0; i < timesX; ++i) {
            const int x = 2 * (gx + i);  // first destination pixel of the unit
            if (x >= dstPixels)
                break;
            const int n = min(2, dstPixels - x);
            for (int k = 0; k < n; ++k) {
                const int2 sp = mira_rotate_source((float)(x + k) - dc.x, fy, sinValue, cosValue,
                                                   sc, srcPixels, srcHeight);
                vstore2(vload2(0, in + (size_t)srcStrideW * (size_t)sp.y + 2 * (size_t)sp.x), 0,
                        out + 2 * (size_t)(x + k));
            }
        }
    }
}
