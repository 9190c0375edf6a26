// Box down-scale of an interleaved CbCr plane (widths in bytes). Destination
// pair p of row y averages, per channel, the boxW x boxH block of pairs
// starting at pair ((int)(p * xScale), (int)(y * yScale)); the float mean
// plus 0.5 is truncated (a rounded mean). boxW = max(srcWidth / dstWidth, 1)
// (the byte widths' ratio) and boxH = max(srcHeight / dstHeight, 1) are taken
// from the sizes, so one build serves every ratio (the boxWidth and boxHeight
// build options are not read). One work item covers two pairs (4 bytes) times
// timesX and timesY rows; the last unit of a row is guarded, and block reads
// stay inside the source.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
__kernel void mira_fcvScaleDownMNInterleaveu8_func(__global const uchar* src, int srcWidth,
                                                   int srcHeight, int srcStrideW, int srcStrideH,
                                                   __global uchar* dst, int dstWidth,
                                                   int dstHeight, int dstStrideW, int dstStrideH,
                                                   float xScale, float yScale,
                                                   int param_int_1, int param_int_2)
{
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    const int srcPairs = srcWidth >> 1;
    const int dstPairs = dstWidth >> 1;
    const int boxW = max(srcWidth / dstWidth, 1);
    const int boxH = max(srcHeight / dstHeight, 1);
    const float count = (float)(boxW * boxH);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        const int sy = (int)((float)y * yScale);
        __global uchar* drow = dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int p0 = 2 * (gx + i);
            if (p0 >= dstPairs)
                break;
            uchar v[4];
            for (int k = 0; k < 2; ++k) {
                const int sx = (int)((float)(p0 + k) * xScale);
                uint cb = 0, cr = 0;
                for (int r = 0; r < boxH; ++r) {
                    const int yy = min(sy + r, srcHeight - 1);
                    // Rows may start at any byte (odd strides): byte-aligned
                    // pair loads.
                    __global const uchar* srow = src + (size_t)srcStrideW * (size_t)yy;
                    for (int c = 0; c < boxW; ++c) {
                        const uchar2 pr = vload2(min(sx + c, srcPairs - 1), srow);
                        cb += pr.x;
                        cr += pr.y;
                    }
                }
                v[2 * k] = (uchar)((float)cb / count + 0.5f);
                v[2 * k + 1] = (uchar)((float)cr / count + 0.5f);
            }
            const int x = 2 * p0;
            if (p0 + 2 <= dstPairs) {
                vstore4((uchar4)(v[0], v[1], v[2], v[3]), 0, drow + x);
            } else {
                drow[x] = v[0];
                drow[x + 1] = v[1];
            }
        }
    }
}
