// 2x bilinear up-sample of an interleaved CbCr plane with half-pixel centres
// and replicated edges. Widths count bytes (two per pair). Work item
// (gx, gy) covers timesX groups of two destination pairs of timesY rows,
// stored as one uchar4 (Cb, Cr, Cb, Cr) at (dstStrideW * y >> 2) + x; the
// launch is rounded up, so a row's last group writes only existing pairs.
__kernel void mira_fcvUpsample2DInterleavedu8_func(__global const uchar* src, int srcWidth,
                                                   int srcHeight, int srcStrideW,
                                                   int srcStrideH, __global uchar4* dst,
                                                   int dstWidth, int dstHeight, int dstStrideW,
                                                   int dstStrideH, float xScale, float yScale,
                                                   int param_int_1, int param_int_2)
{
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    const int srcPairs = srcWidth >> 1;
    const int dstPairs = dstWidth >> 1;
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        // Vertical taps and weights.
        const float cy = ((float)y + 0.5f) * 0.5f - 0.5f;
        const int j1 = max(0, (int)ceil(cy - 1.0f));
        const int j2 = min(j1 + 1, srcHeight - 1);
        float wy1 = fabs((float)j1 - cy) < 1.0f ? 1.0f - fabs((float)j1 - cy) : 0.0f;
        float wy2 = fabs((float)j2 - cy) < 1.0f ? 1.0f - fabs((float)j2 - cy) : 0.0f;
        const float sy = wy1 + wy2;
        wy1 /= sy;
        wy2 /= sy;
        __global const uchar* r1 = src + (size_t)srcStrideW * (size_t)j1;
        __global const uchar* r2 = src + (size_t)srcStrideW * (size_t)j2;
        __global uchar4* drow = dst + (((size_t)dstStrideW * (size_t)y) >> 2);
        for (int i = 0; i < timesX; ++i) {
            const int x = gx + i;
            const int p0 = 2 * x;
            if (p0 >= dstPairs)
                break;
            float4 acc;
            for (int q = 0; q < 2; ++q) {
                const int p = 2 * x + q;
                const float cx = ((float)p + 0.5f) * 0.5f - 0.5f;
                const int i1 = max(0, (int)ceil(cx - 1.0f));
                const int i2 = min(i1 + 1, srcPairs - 1);
                float wx1 = fabs((float)i1 - cx) < 1.0f ? 1.0f - fabs((float)i1 - cx) : 0.0f;
                float wx2 = fabs((float)i2 - cx) < 1.0f ? 1.0f - fabs((float)i2 - cx) : 0.0f;
                const float sx = wx1 + wx2;
                wx1 /= sx;
                wx2 /= sx;
                const float2 a = convert_float2(vload2(0, r1 + 2 * i1));
                const float2 b = convert_float2(vload2(0, r1 + 2 * i2));
                const float2 c = convert_float2(vload2(0, r2 + 2 * i1));
                const float2 d = convert_float2(vload2(0, r2 + 2 * i2));
                const float2 v = a * wy1 * wx1 + b * wy1 * wx2 + c * wy2 * wx1 + d * wy2 * wx2;
                if (q == 0)
                    acc.s01 = v;
                else
                    acc.s23 = v;
            }
            const uchar4 out = convert_uchar4_sat(acc);
            if (p0 + 2 <= dstPairs) {
                drow[x] = out;
            } else {
                __global uchar* tail = (__global uchar*)(drow + x);
                tail[0] = out.s0;
                tail[1] = out.s1;
            }
        }
    }
}
