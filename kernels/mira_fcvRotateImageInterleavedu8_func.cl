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
#include "common/work_item.clh"

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
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        const float fy = (float)y - dc.y;
        MIRA_ITEM_UNITS(x, 2, dstPixels) {  // x: first destination pixel of the unit
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
