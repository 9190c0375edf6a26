// Box down-scale of an 8-bit plane by an arbitrary ratio. Destination pixel
// (x, y) is the truncated mean of the boxW x boxH source block that starts at
// ((int)(x * xScale), (int)(y * yScale)), with boxW = max(srcWidth /
// dstWidth, 1) and boxH = max(srcHeight / dstHeight, 1) taken from the sizes,
// so one build serves every ratio (the boxWidth and boxHeight build options
// are not read). One work item covers 4 * timesX destination columns and
// timesY rows; the last unit of a row is guarded, and block reads stay inside
// the source.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/store.clh"

__kernel void mira_fcvScaleDownMNu8_func(__global const uchar* src, int srcWidth, int srcHeight,
                                         int srcStrideW, int srcStrideH,
                                         __global uchar* dst, int dstWidth, int dstHeight,
                                         int dstStrideW, int dstStrideH,
                                         float xScale, float yScale,
                                         int param_int_1, int param_int_2)
{
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    const int boxW = max(srcWidth / dstWidth, 1);
    const int boxH = max(srcHeight / dstHeight, 1);
    const uint count = (uint)(boxW * boxH);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        const int sy = (int)((float)y * yScale);
        __global uchar* drow = dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= dstWidth)
                break;
            uchar v[4];
            for (int k = 0; k < 4; ++k) {
                const int sx = (int)((float)(x + k) * xScale);
                uint sum = 0;
                for (int r = 0; r < boxH; ++r) {
                    const int yy = min(sy + r, srcHeight - 1);
                    __global const uchar* srow = src + (size_t)srcStrideW * (size_t)yy;
                    for (int c = 0; c < boxW; ++c)
                        sum += srow[min(sx + c, srcWidth - 1)];
                }
                v[k] = (uchar)(sum / count);
            }
            mira_store4(drow, x, dstWidth, v);
        }
    }
}
