// Affine warp, bilinear: pixel-centre source position s, taps
// i1 = max(0, ceil(s - 1)) and i2 = min(i1 + 1, size - 1) with weights
// 1 - |tap - s| (0 from 1 apart on) divided by their sum. All taps read 0
// unless the truncated position satisfies 0 <= (int)s < size - 1 on both axes
// (for sizes of at least 2 that is -1 < s < size - 1; NaN fails), so the last
// source column and row give 0. The sum is truncated. One work item covers
// 4 * timesX columns and timesY rows; the last unit of a row is guarded.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
#include "common/store.clh"
#include "common/affine.clh"

// True for a finite value, from the bits.
bool mira_finite(float v)
{
    return (as_uint(v) & 0x7fffffffu) < 0x7f800000u;
}

// The taps of destination pixel (x, y) and their normalised weights; false
// when the truncated position is outside (every tap then reads 0). Planes
// and colour pixels share it: one position and one set of weights per pixel.
typedef struct {
    int i1, i2, j1, j2;
    float wx1, wx2, wy1, wy2;
} mira_linear_taps;

bool mira_linear_taps_of(int w, int h, const float* m, int x, int y, mira_linear_taps* t)
{
    const float fx = (float)x + 0.5f, fy = (float)y + 0.5f;
    const float sx = fx * m[0] + fy * m[1] + m[2] - 0.5f;
    const float sy = fx * m[3] + fy * m[4] + m[5] - 0.5f;
    if (!(w > 1 && h > 1 && mira_finite(sx) && mira_finite(sy) && sx > -1.0f &&
          sx < (float)(w - 1) && sy > -1.0f && sy < (float)(h - 1)))
        return false;
    t->i1 = max(0, (int)ceil(sx - 1.0f));
    t->i2 = min(t->i1 + 1, w - 1);
    t->j1 = max(0, (int)ceil(sy - 1.0f));
    t->j2 = min(t->j1 + 1, h - 1);
    const float dx1 = fabs((float)t->i1 - sx), dx2 = fabs((float)t->i2 - sx);
    const float dy1 = fabs((float)t->j1 - sy), dy2 = fabs((float)t->j2 - sy);
    const float wx1 = dx1 < 1.0f ? 1.0f - dx1 : 0.0f;
    const float wx2 = dx2 < 1.0f ? 1.0f - dx2 : 0.0f;
    const float wy1 = dy1 < 1.0f ? 1.0f - dy1 : 0.0f;
    const float wy2 = dy2 < 1.0f ? 1.0f - dy2 : 0.0f;
    const float sxw = wx1 + wx2, syw = wy1 + wy2;
    t->wx1 = wx1 / sxw;
    t->wx2 = wx2 / sxw;
    t->wy1 = wy1 / syw;
    t->wy2 = wy2 / syw;
    return true;
}

uchar mira_affine_pixel(__global const uchar* src, int w, int h, int stride, const float* m,
                        int x, int y)
{
    mira_linear_taps t;
    float r = 0.0f;
    if (mira_linear_taps_of(w, h, m, x, y, &t)) {
        const float v11 = (float)mira_getVal(src, w, h, stride, t.i1, t.j1);
        const float v12 = (float)mira_getVal(src, w, h, stride, t.i2, t.j1);
        const float v21 = (float)mira_getVal(src, w, h, stride, t.i1, t.j2);
        const float v22 = (float)mira_getVal(src, w, h, stride, t.i2, t.j2);
        r = v11 * t.wy1 * t.wx1;
        r = r + v12 * t.wy1 * t.wx2;
        r = r + v21 * t.wy2 * t.wx1;
        r = r + v22 * t.wy2 * t.wx2;
    }
    return convert_uchar_sat(r);
}

// The same arithmetic with every channel's taps in the lanes of a float4.
uchar4 mira_affine_pixel_c(__global const uchar* src, int w, int h, int stride, int ch,
                           const float* m, int x, int y)
{
    mira_linear_taps t;
    float4 r = (float4)(0.0f);
    if (mira_linear_taps_of(w, h, m, x, y, &t)) {
        const float4 v11 = mira_getPix(src, w, h, stride, ch, t.i1, t.j1);
        const float4 v12 = mira_getPix(src, w, h, stride, ch, t.i2, t.j1);
        const float4 v21 = mira_getPix(src, w, h, stride, ch, t.i1, t.j2);
        const float4 v22 = mira_getPix(src, w, h, stride, ch, t.i2, t.j2);
        r = v11 * t.wy1 * t.wx1;
        r = r + v12 * t.wy1 * t.wx2;
        r = r + v21 * t.wy2 * t.wx1;
        r = r + v22 * t.wy2 * t.wx2;
    }
    return convert_uchar4_sat(r);
}

MIRA_AFFINE_KERNEL(mira_fcvTransformAffineClippedu8_linear_func)
