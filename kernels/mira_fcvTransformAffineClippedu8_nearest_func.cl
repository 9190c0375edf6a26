// Affine warp, nearest sample: destination (x, y) copies the source pixel at
// (m0 x + m1 y + m2, m3 x + m4 y + m5) rounded half to even with 16-bit
// saturation (NaN gives 0), or 0 outside the source. One work item covers
// 4 * timesX columns and timesY rows; the last unit of a row is guarded.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/store.clh"
#include "common/affine.clh"

// The position saturated to 16 bits, NaN as 0; NaN and infinity are told
// apart by their bits.
float mira_sat16(float v)
{
    const uint b = as_uint(v) & 0x7fffffffu;
    if (b > 0x7f800000u)
        return 0.0f;
    if (b >= 0x47000000u)
        return (as_uint(v) >> 31) ? -32768.0f : 32767.0f;
    return v;
}

// The source pixel of destination pixel (x, y): the position rounded to
// nearest, even on ties, after saturating to 16 bits. Planes and colour
// pixels share it.
int2 mira_nearest_tap(const float* m, int x, int y)
{
    const float fx = (float)x, fy = (float)y;
    const float sx = m[0] * fx + m[1] * fy + m[2];
    const float sy = m[3] * fx + m[4] * fy + m[5];
    return (int2)((int)convert_short_sat_rte(mira_sat16(sx)),
                  (int)convert_short_sat_rte(mira_sat16(sy)));
}

uchar mira_affine_pixel(__global const uchar* src, int w, int h, int stride, const float* m,
                        int x, int y)
{
    const int2 t = mira_nearest_tap(m, x, y);
    return mira_getVal(src, w, h, stride, t.x, t.y);
}

// The same source pixel, read whole (`ch` channels).
uchar4 mira_affine_pixel_c(__global const uchar* src, int w, int h, int stride, int ch,
                           const float* m, int x, int y)
{
    const int2 t = mira_nearest_tap(m, x, y);
    return convert_uchar4(mira_getPix(src, w, h, stride, ch, t.x, t.y));
}

MIRA_AFFINE_KERNEL(mira_fcvTransformAffineClippedu8_nearest_func)
