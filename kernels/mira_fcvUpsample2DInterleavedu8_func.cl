// 2x bilinear up-sample of an interleaved CbCr plane with half-pixel centres
// and replicated edges. Widths count bytes (two per pair). Work item
// (gx, gy) covers timesX groups of two destination pairs of timesY rows;
// the launch is rounded up, so a row's last group writes only existing pairs.
__kernel void mira_fcvUpsample2DInterleavedu8_func(__global const uchar* src, int srcWidth,
                                                   int srcHeight, int srcStrideW,
                                                   int srcStrideH, __global uchar* dst,
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
        __global uchar* drow = dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int x = gx + i;
            uchar out[4];
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
                for (int ch = 0; ch < 2; ++ch) {
                    const float v = (float)r1[2 * i1 + ch] * wy1 * wx1 +
                                    (float)r1[2 * i2 + ch] * wy1 * wx2 +
                                    (float)r2[2 * i1 + ch] * wy2 * wx1 +
                                    (float)r2[2 * i2 + ch] * wy2 * wx2;
                    out[2 * q + ch] = convert_uchar_sat(v);
                }
            }
            const int p0 = 2 * x;
            if (p0 >= dstPairs)
                break;
            if (p0 + 2 <= dstPairs) {
                vstore4((uchar4)(out[0], out[1], out[2], out[3]), 0, drow + 2 * p0);
            } else {
                drow[2 * p0] = out[0];
                drow[2 * p0 + 1] = out[1];
            }
        }
    }
}
