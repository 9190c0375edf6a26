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
#include "common/work_item.clh"
#include "common/signatures.clh"

MIRA_U8_U8_KERNEL(mira_fcvRotateImageu8_func, uchar, uchar4, sinValue, cosValue)
{
    const float2 sc = mira_centre(srcWidth, srcHeight);
    const float2 dc = mira_centre(dstWidth, dstHeight);
    MIRA_ITEM_ROWS(y, 1, dstHeight) {
        __global uchar* out = mira_dst_row(dst, dstStrideW, y);
        const float fy = (float)y - dc.y;
        MIRA_ITEM_UNITS(x, 4, dstWidth) {
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
