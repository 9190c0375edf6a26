// Affine warp, nearest sample: destination (x, y) copies the source pixel at
// (m0 x + m1 y + m2, m3 x + m4 y + m5) rounded half to even with 16-bit
// saturation (NaN gives 0), or 0 outside the source. One work item covers
// 4 * timesX columns and timesY rows; the last unit of a row is guarded.
// A source pixel, 0 outside the image.
uchar mira_getVal(__global const uchar* src, int w, int h, int stride, int x, int y)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return 0;
    return src[(size_t)stride * (size_t)y + (size_t)x];
}

// The position saturated to 16 bits, NaN as 0. The build allows the compiler
// to assume finite floats, so NaN and infinity are told apart by their bits.
float mira_sat16(float v)
{
    const uint b = as_uint(v) & 0x7fffffffu;
    if (b > 0x7f800000u)
        return 0.0f;
    if (b >= 0x47000000u)
        return (as_uint(v) >> 31) ? -32768.0f : 32767.0f;
    return v;
}

__kernel void mira_fcvTransformAffineClippedu8_nearest_func(__global const uchar* src1, int src1Width, int src1Height,
        int src1StrideW, int src1StrideH,
        __global const float* src2, int src2Width, int src2Height, int src2StrideW, int src2StrideH,
        __global uchar* dst, int dstWidth, int dstHeight, int dstStrideW, int dstStrideH,
        float param_float_1, float param_float_2, int param_int_1, int param_int_2)
{
    const float m0 = src2[0], m1 = src2[1], m2 = src2[2];
    const float m3 = src2[3], m4 = src2[4], m5 = src2[5];
    const int gx = timesX * (int)get_global_id(0);
    const int gy = timesY * (int)get_global_id(1);
    for (int j = 0; j < timesY; ++j) {
        const int y = gy + j;
        if (y >= dstHeight)
            return;
        __global uchar* drow = dst + (size_t)dstStrideW * (size_t)y;
        for (int i = 0; i < timesX; ++i) {
            const int x0 = 4 * (gx + i);
            if (x0 >= dstWidth)
                break;
            uchar v[4];
            for (int k = 0; k < 4; ++k) {
                const int x = x0 + k;
                const float fx = (float)x, fy = (float)y;
                const float sx = m0 * fx + m1 * fy + m2;
                const float sy = m3 * fx + m4 * fy + m5;
                const int ix = (int)convert_short_sat_rte(mira_sat16(sx));
                const int iy = (int)convert_short_sat_rte(mira_sat16(sy));
                v[k] = mira_getVal(src1, src1Width, src1Height, src1StrideW, ix, iy);
            }
            if (x0 + 4 <= dstWidth) {
                vstore4((uchar4)(v[0], v[1], v[2], v[3]), 0, drow + x0);
            } else {
                for (int k = 0; x0 + k < dstWidth; ++k)
                    drow[x0 + k] = v[k];
            }
        }
    }
}
