// Affine warp, bicubic: source position s = (m0 x + m1 y + m2, m3 x + m4 y + m5),
// phase round-half-even(frac(s) * 32) & 31, taps from floor(s) - 1 (from
// floor(s) once the phase has wrapped, frac * 64 > 63), weights of the 32-phase
// cubic convolution table (a = -0.75). Rows are dotted with the x weights and
// accumulated with the y weights; the sum is clamped to [0, 255] and
// truncated. Positions that are NaN or beyond 2^24 give 0. One work item
// covers 4 * timesX columns and timesY rows; the last unit of a row is guarded.
// Float arithmetic as written: no fused multiply-adds but the explicit
// fma() calls, the same operations in the same order as the CPU twin.
#pragma OPENCL FP_CONTRACT OFF
__constant float4 coeffs[32] = {
    (float4)(0.000000f, 1.000000f, 0.000000f, 0.000000f),
    (float4)(-0.021996f, 0.997841f, 0.024864f, -0.000710f),
    (float4)(-0.041199f, 0.991516f, 0.052429f, -0.002747f),
    (float4)(-0.057747f, 0.981255f, 0.082466f, -0.005974f),
    (float4)(-0.071777f, 0.967285f, 0.114746f, -0.010254f),
    (float4)(-0.083427f, 0.949837f, 0.149040f, -0.015450f),
    (float4)(-0.092834f, 0.929138f, 0.185120f, -0.021423f),
    (float4)(-0.100136f, 0.905418f, 0.222755f, -0.028038f),
    (float4)(-0.105469f, 0.878906f, 0.261719f, -0.035156f),
    (float4)(-0.108971f, 0.849831f, 0.301781f, -0.042641f),
    (float4)(-0.110779f, 0.818420f, 0.342712f, -0.050354f),
    (float4)(-0.111031f, 0.784904f, 0.384285f, -0.058159f),
    (float4)(-0.109863f, 0.749512f, 0.426270f, -0.065918f),
    (float4)(-0.107414f, 0.712471f, 0.468437f, -0.073494f),
    (float4)(-0.103821f, 0.674011f, 0.510559f, -0.080750f),
    (float4)(-0.099220f, 0.634361f, 0.552406f, -0.087547f),
    (float4)(-0.093750f, 0.593750f, 0.593750f, -0.093750f),
    (float4)(-0.087547f, 0.552406f, 0.634361f, -0.099220f),
    (float4)(-0.080750f, 0.510559f, 0.674011f, -0.103821f),
    (float4)(-0.073494f, 0.468437f, 0.712471f, -0.107414f),
    (float4)(-0.065918f, 0.426270f, 0.749512f, -0.109863f),
    (float4)(-0.058159f, 0.384285f, 0.784904f, -0.111031f),
    (float4)(-0.050354f, 0.342712f, 0.818420f, -0.110779f),
    (float4)(-0.042641f, 0.301781f, 0.849831f, -0.108971f),
    (float4)(-0.035156f, 0.261719f, 0.878906f, -0.105469f),
    (float4)(-0.028038f, 0.222755f, 0.905418f, -0.100136f),
    (float4)(-0.021423f, 0.185120f, 0.929138f, -0.092834f),
    (float4)(-0.015450f, 0.149040f, 0.949837f, -0.083427f),
    (float4)(-0.010254f, 0.114746f, 0.967285f, -0.071777f),
    (float4)(-0.005974f, 0.082466f, 0.981255f, -0.057747f),
    (float4)(-0.002747f, 0.052429f, 0.991516f, -0.041199f),
    (float4)(-0.000710f, 0.024864f, 0.997841f, -0.021996f)
};

#include "common/store.clh"
#include "common/affine.clh"

// The first tap (tx, ty) of destination pixel (x, y) and the coefficients of
// its phases; false when |s| is 2^24 or more on an axis (by the bits; NaN and
// infinity fail too: every tap then reads 0). Planes and colour pixels share
// it.
typedef struct {
    int tx, ty;
    float4 cx, cy;
} mira_cubic_taps;

bool mira_cubic_taps_of(const float* m, int x, int y, mira_cubic_taps* t)
{
    const float fx = (float)x, fy = (float)y;
    const float sx = m[0] * fx + m[1] * fy + m[2];
    const float sy = m[3] * fx + m[4] * fy + m[5];
    if (!((as_uint(sx) & 0x7fffffffu) < 0x4b800000u &&
          (as_uint(sy) & 0x7fffffffu) < 0x4b800000u))
        return false;
    const float flx = floor(sx), fly = floor(sy);
    const float frx = sx - flx, fry = sy - fly;
    const int ax = (int)rint(frx * 32.0f) & 31;
    const int ay = (int)rint(fry * 32.0f) & 31;
    t->tx = (int)flx - (frx * 64.0f > 63.0f ? 0 : 1);
    t->ty = (int)fly - (fry * 64.0f > 63.0f ? 0 : 1);
    t->cx = coeffs[ax];
    t->cy = coeffs[ay];
    return true;
}

uchar mira_affine_pixel(__global const uchar* src, int w, int h, int stride, const float* m,
                        int x, int y)
{
    mira_cubic_taps t;
    float sum = 0.0f;
    if (mira_cubic_taps_of(m, x, y, &t)) {
        const int tx = t.tx;
        const float4 cx = t.cx, cy = t.cy;
        const bool inX = tx >= 0 && tx + 3 < w;
        for (int r = 0; r < 4; ++r) {
            const int yy = t.ty + r;
            float4 p;
            if (inX && yy >= 0 && yy < h) {
                p = convert_float4(vload4(0, src + (size_t)stride * (size_t)yy + (size_t)tx));
            } else {
                p = (float4)((float)mira_getVal(src, w, h, stride, tx, yy),
                             (float)mira_getVal(src, w, h, stride, tx + 1, yy),
                             (float)mira_getVal(src, w, h, stride, tx + 2, yy),
                             (float)mira_getVal(src, w, h, stride, tx + 3, yy));
            }
            // The row's dot product in a fixed order (dot() leaves the order
            // and fusing to the compiler): pairs first, then their sum.
            const float xsum = (p.x * cx.x + p.y * cx.y) + (p.z * cx.z + p.w * cx.w);
            const float wy = r == 0 ? cy.x : r == 1 ? cy.y : r == 2 ? cy.z : cy.w;
            sum = fma(xsum, wy, sum);
        }
    }
    return (uchar)clamp(sum, 0.0f, 255.0f);
}

// The same arithmetic with every channel of a tap in the lanes of a float4.
uchar4 mira_affine_pixel_c(__global const uchar* src, int w, int h, int stride, int ch,
                           const float* m, int x, int y)
{
    mira_cubic_taps t;
    float4 sum = (float4)(0.0f);
    if (mira_cubic_taps_of(m, x, y, &t)) {
        const int tx = t.tx;
        const float4 cx = t.cx, cy = t.cy;
        for (int r = 0; r < 4; ++r) {
            const int yy = t.ty + r;
            const float4 p0 = mira_getPix(src, w, h, stride, ch, tx, yy);
            const float4 p1 = mira_getPix(src, w, h, stride, ch, tx + 1, yy);
            const float4 p2 = mira_getPix(src, w, h, stride, ch, tx + 2, yy);
            const float4 p3 = mira_getPix(src, w, h, stride, ch, tx + 3, yy);
            const float4 xsum = (p0 * cx.x + p1 * cx.y) + (p2 * cx.z + p3 * cx.w);
            const float wy = r == 0 ? cy.x : r == 1 ? cy.y : r == 2 ? cy.z : cy.w;
            sum = fma(xsum, (float4)(wy), sum);
        }
    }
    return convert_uchar4(clamp(sum, 0.0f, 255.0f));
}

MIRA_AFFINE_KERNEL(mira_fcvTransformAffineClippedu8_cubic_func)
