// Integer block-mean down-scale. Work item (gx, gy) covers timesX groups of
// four destination pixels of timesY rows. Each pixel is the truncated mean of
// the boxW x boxH source block starting at ((int)(x * xScale),
// (int)(y * yScale)), with boxW = max(srcWidth / dstWidth, 1) and
// boxH = max(srcHeight / dstHeight, 1) taken from the sizes, so one build
// serves every ratio (the boxWidth and boxHeight build options are not read);
// block samples are kept inside the source. Groups are stored as one uchar4
// at (dstStrideW * y >> 2) + x; the launch is rounded up to cover the whole
// destination, so the last group of a row writes only the pixels that exist.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
__kernel void mira_fcvScaleDownu8_v2_func(__global const uchar* src, int srcWidth,
                                          int srcHeight, int srcStrideW, int srcStrideH,
                                          __global uchar4* dst, int dstWidth, int dstHeight,
                                          int dstStrideW, int dstStrideH, float xScale,
                                          float yScale, int param_int_1, int param_int_2)
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
        __global uchar4* drow = dst + (((size_t)dstStrideW * (size_t)y) >> 2);
        for (int i = 0; i < timesX; ++i) {
            const int x = 4 * (gx + i);
            if (x >= dstWidth)
                break;
            uint4 sum = (uint4)(0);
            const int4 sx = convert_int4_rtz((float4)((float)x, (float)(x + 1), (float)(x + 2),
                                                      (float)(x + 3)) * xScale);
            for (int r = 0; r < boxH; ++r) {
                const int row = min(sy + r, srcHeight - 1);
                __global const uchar* srow = src + (size_t)srcStrideW * (size_t)row;
                for (int c = 0; c < boxW; ++c) {
                    const int4 col = min(sx + c, (int4)(srcWidth - 1));
                    sum += (uint4)(srow[col.s0], srow[col.s1], srow[col.s2], srow[col.s3]);
                }
            }
            const uchar4 v = convert_uchar4(sum / (uint4)(count));
            if (x + 4 <= dstWidth) {
                drow[gx + i] = v;
            } else {
                __global uchar* tail = (__global uchar*)(drow + gx + i);
                tail[0] = v.s0;
                if (x + 1 < dstWidth) tail[1] = v.s1;
                if (x + 2 < dstWidth) tail[2] = v.s2;
            }
        }
    }
}
