// Rotation of an image of 2-, 3- or 4-byte pixels by a multiple of 90
// degrees; the bytes of a pixel move together. The pixel size is param_int_1
// (0: 2 bytes, the interleaved CbCr rotation). Widths arrive as byte counts
// and the launch counts 4-byte units of the destination row; one unit covers
// ceil(4 / pixel size) destination pixels (2 for pairs and 3-byte pixels, 1
// for 4-byte pixels), so the launch covers every pixel. Source positions are
// found around the images' centres (in pixels) as for the planar rotation and
// truncated toward zero. One work item covers timesY rows of timesX units;
// the last unit of a row is guarded. Rows are addressed byte-wise.
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
    const int px = param_int_1 >= 3 && param_int_1 <= 4 ? param_int_1 : 2;
    const int perUnit = px == 4 ? 1 : 2;  // destination pixels per 4-byte unit
    const int srcPixels = srcWidth / px, dstPixels = dstWidth / px;
    const float2 sc = mira_centre(srcPixels, srcHeight);
    const float2 dc = mira_centre(dstPixels, dstHeight);
    __global const uchar* in = (__global const uchar*)src;
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        const float fy = (float)y - dc.y;
        MIRA_ITEM_UNITS(x, perUnit, dstPixels) {  // x: first destination pixel of the unit
            const int n = min(perUnit, dstPixels - x);
            for (int k = 0; k < n; ++k) {
                const int2 sp = mira_rotate_source((float)(x + k) - dc.x, fy, sinValue, cosValue,
                                                   sc, srcPixels, srcHeight);
                __global const uchar* s =
                    in + (size_t)srcStrideW * (size_t)sp.y + (size_t)px * (size_t)sp.x;
                __global uchar* d = out + (size_t)px * (size_t)(x + k);
                if (px == 2)
                    vstore2(vload2(0, s), 0, d);
                else if (px == 3)
                    vstore3(vload3(0, s), 0, d);
                else
                    vstore4(vload4(0, s), 0, d);
            }
        }
    }
}
