#include "ops/warp/affine_clipped.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "mira/mira_types.h"
#include "ops/mira_neon.h"
#include "ops/plane.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {

namespace {

// Cubic convolution weights (a = -0.75) for the 32 phases t = k / 32: row k
// holds W(1 + t), W(t), W(1 - t), W(2 - t), to six decimals. The GPU kernel
// carries the same table.
alignas(16) const float kCubic[32][4] = {
    {0.000000f, 1.000000f, 0.000000f, 0.000000f},
    {-0.021996f, 0.997841f, 0.024864f, -0.000710f},
    {-0.041199f, 0.991516f, 0.052429f, -0.002747f},
    {-0.057747f, 0.981255f, 0.082466f, -0.005974f},
    {-0.071777f, 0.967285f, 0.114746f, -0.010254f},
    {-0.083427f, 0.949837f, 0.149040f, -0.015450f},
    {-0.092834f, 0.929138f, 0.185120f, -0.021423f},
    {-0.100136f, 0.905418f, 0.222755f, -0.028038f},
    {-0.105469f, 0.878906f, 0.261719f, -0.035156f},
    {-0.108971f, 0.849831f, 0.301781f, -0.042641f},
    {-0.110779f, 0.818420f, 0.342712f, -0.050354f},
    {-0.111031f, 0.784904f, 0.384285f, -0.058159f},
    {-0.109863f, 0.749512f, 0.426270f, -0.065918f},
    {-0.107414f, 0.712471f, 0.468437f, -0.073494f},
    {-0.103821f, 0.674011f, 0.510559f, -0.080750f},
    {-0.099220f, 0.634361f, 0.552406f, -0.087547f},
    {-0.093750f, 0.593750f, 0.593750f, -0.093750f},
    {-0.087547f, 0.552406f, 0.634361f, -0.099220f},
    {-0.080750f, 0.510559f, 0.674011f, -0.103821f},
    {-0.073494f, 0.468437f, 0.712471f, -0.107414f},
    {-0.065918f, 0.426270f, 0.749512f, -0.109863f},
    {-0.058159f, 0.384285f, 0.784904f, -0.111031f},
    {-0.050354f, 0.342712f, 0.818420f, -0.110779f},
    {-0.042641f, 0.301781f, 0.849831f, -0.108971f},
    {-0.035156f, 0.261719f, 0.878906f, -0.105469f},
    {-0.028038f, 0.222755f, 0.905418f, -0.100136f},
    {-0.021423f, 0.185120f, 0.929138f, -0.092834f},
    {-0.015450f, 0.149040f, 0.949837f, -0.083427f},
    {-0.010254f, 0.114746f, 0.967285f, -0.071777f},
    {-0.005974f, 0.082466f, 0.981255f, -0.057747f},
    {-0.002747f, 0.052429f, 0.991516f, -0.041199f},
    {-0.000710f, 0.024864f, 0.997841f, -0.021996f},
};

struct Plane {
    const uint8_t* data;
    int32_t w, h;
    size_t stride;
};

inline float32x4_t lane_index(uint32_t x) {
    const float32x4_t ramp = {0.f, 1.f, 2.f, 3.f};
    return vaddq_f32(vdupq_n_f32(static_cast<float>(x)), ramp);
}

// Writes the first `n` (<= 8) bytes of v to p.
inline void store_partial(uint8_t* p, uint8x16_t v, uint32_t n) {
    if (n == 8) {
        store_lo_u8(p, v);
    } else {
        uint8_t tmp[16];
        vst1q_u8(tmp, v);
        std::memcpy(p, tmp, n);
    }
}
inline void store_partial(uint8_t* p, uint8x8_t v, uint32_t n) {
    store_partial(p, vcombine_u8(v, vdup_n_u8(0)), n);
}

// ------------------------------------------------------------ row layout
//
// Along a destination row the source position is monotone in x (every step of
// its float arithmetic is), so the columns whose taps all lie inside the image
// form one run. The run is found exactly, by evaluating the very same float
// operations for single columns, and is computed without bounds checks; the
// columns before and after it take the checked path.

// Position along one row: ((a * (x + h)) + b) + c - d, one rounding per step.
struct RowPos {
    float a, h, b, c, d;
    float at(uint32_t x) const {
        const float fx = static_cast<float>(x) + h;
        float v = a * fx;
        v = v + b;
        v = v + c;
        return v - d;
    }
};

// First x in [0, n) where pred holds (pred holds from some x on), else n.
template <class P>
uint32_t first_true(uint32_t n, P pred) {
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (pred(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

// The columns [a, b) of [0, n) where lo(f(x)) and hi(f(x)) hold; lo holds for
// every value above some bound, hi for every value below one.
template <class L, class H>
void run_of(const RowPos& f, uint32_t n, L lo, H hi, uint32_t& a, uint32_t& b) {
    if (f.at(n - 1) >= f.at(0)) {
        a = first_true(n, [&](uint32_t x) { return lo(f.at(x)); });
        b = first_true(n, [&](uint32_t x) { return !hi(f.at(x)); });
    } else {
        a = first_true(n, [&](uint32_t x) { return hi(f.at(x)); });
        b = first_true(n, [&](uint32_t x) { return !lo(f.at(x)); });
    }
    if (b < a) b = a;
}

// Lays out one row: columns outside [za, zb) have no tap inside the image and
// are 0; fast(x) computes one chunk of `chunk` columns at x over [a, b) (the
// last one shifted back to end at b); checked(x0, x1) does the rest of
// [za, zb). Runs shorter than a chunk are checked.
// Pixels are `bpp` bytes.
template <class Checked, class Fast>
void split_row(uint8_t* drow, uint32_t bpp, uint32_t dstW, uint32_t za, uint32_t zb, uint32_t a,
               uint32_t b, uint32_t chunk, Checked checked, Fast fast) {
    if (za > 0) std::memset(drow, 0, size_t(za) * bpp);
    if (zb < dstW) std::memset(drow + size_t(zb) * bpp, 0, size_t(dstW - zb) * bpp);
    if (b - a < chunk) {
        if (za < zb) checked(za, zb);
        return;
    }
    if (za < a) checked(za, a);
    for (uint32_t x = a;; x += chunk) {
        if (x + chunk > b) x = b - chunk;
        fast(x);
        if (x + chunk >= b) break;
    }
    if (b < zb) checked(b, zb);
}

// Tiled layout of a block of rows. A destination row walks the source along
// a slanted line, crossing hundreds of source rows; the next destination row
// walks the neighbouring line. Taking the rows in short blocks and each block
// in column strips keeps the source pixels a strip reads in cache for the
// rows below it.
//
// Per row, columns outside [za, zb) are 0, fast chunks cover [a, b) and
// checked columns the rest. A chunk may run past the end of its strip (the
// next strip computes those columns again, to the same values); one that
// would pass b is moved back to end at b. Runs shorter than a chunk are
// checked.
struct TileSpan {
    uint32_t za, zb, a, b;
};

constexpr uint32_t kTileRows = 32;
// Strip width of the bilinear warp (measured: 64 to 128 columns).
constexpr uint32_t kLinearTileW = 64;

// layout(y, row) fills row.span (and what checked and fast need);
// checked(row, x0, x1) computes [x0, x1); fast(row, x) one chunk at x.
// Pixels are `bpp` bytes.
template <class Row, class Layout, class Checked, class Fast>
void tiled_rows(uint32_t y0, uint32_t y1, uint32_t bpp, uint32_t dstW, uint32_t tileW,
                uint32_t chunk, Layout layout, Checked checked, Fast fast) {
    Row rows[kTileRows];
    for (uint32_t yb = y0; yb < y1; yb += kTileRows) {
        const uint32_t n = std::min(kTileRows, y1 - yb);
        for (uint32_t i = 0; i < n; ++i) {
            Row& r = rows[i];
            layout(yb + i, r);
            const TileSpan& t = r.span;
            if (t.za > 0) std::memset(r.drow, 0, size_t(std::min(t.za, dstW)) * bpp);
            if (t.zb < dstW)
                std::memset(r.drow + size_t(t.zb) * bpp, 0, size_t(dstW - t.zb) * bpp);
        }
        for (uint32_t x0 = 0; x0 < dstW; x0 += tileW) {
            const uint32_t x1 = std::min(dstW, x0 + tileW);
            for (uint32_t i = 0; i < n; ++i) {
                const Row& r = rows[i];
                const TileSpan& t = r.span;
                const uint32_t lo = std::max(t.za, x0), hi = std::min(t.zb, x1);
                if (lo >= hi) continue;
                if (t.b - t.a < chunk) {
                    checked(r, lo, hi);
                    continue;
                }
                if (lo < std::min(t.a, hi)) checked(r, lo, std::min(t.a, hi));
                for (uint32_t x = std::max(t.a, lo); x < std::min(t.b, hi); x += chunk)
                    fast(r, std::min(x, t.b - chunk));
                if (std::max(t.b, lo) < hi) checked(r, std::max(t.b, lo), hi);
            }
        }
    }
}

// Matrices whose positions stay finite for every 32-bit coordinate.
bool tame(const float* m) {
    for (int i = 0; i < 6; ++i)
        if (!(std::fabs(m[i]) <= 1e20f)) return false;
    return true;
}

// Round half to even of |v| < 2^22 into an int: adding 1.5 * 2^23 leaves the
// rounded value in the low mantissa bits.
inline int32x4_t round_small(float32x4_t v) {
    return vsubq_s32(vreinterpretq_s32_f32(vaddq_f32(v, vdupq_n_f32(12582912.f))),
                     vdupq_n_s32(0x4B400000));
}

// --------------------------------------------------------------- nearest
//
// Source column and row rounded half to even after saturation to 16 bits;
// NaN becomes 0 as in a saturating conversion. Outside lanes gather from
// (0, 0) and are masked to 0.

inline int32x4_t round_sat16(float32x4_t s) {
    s = vbslq_f32(vceqq_f32(s, s), s, vdupq_n_f32(0.f));
    s = vminq_f32(vmaxq_f32(s, vdupq_n_f32(-32768.f)), vdupq_n_f32(32767.f));
    return vcvtq_s32_f32(vrndnq_f32(s));
}

inline int32_t round_sat16(float v) {
    if (!(v == v)) return 0;
    v = std::min(std::max(v, -32768.f), 32767.f);
    return static_cast<int32_t>(std::nearbyint(v));
}

template <int C>
void nearest_rows(const Plane& s, const float* m, uint8_t* dst, uint32_t dstW, size_t dstStride,
                  uint32_t y0, uint32_t y1) {
    const float32x4_t m0 = vdupq_n_f32(m[0]), m2 = vdupq_n_f32(m[2]);
    const float32x4_t m3 = vdupq_n_f32(m[3]), m5 = vdupq_n_f32(m[5]);
    const uint32x4_t W = vdupq_n_u32(static_cast<uint32_t>(s.w));
    const uint32x4_t H = vdupq_n_u32(static_cast<uint32_t>(s.h));
    // Unchecked columns need 16-bit-safe sizes and 32-bit offsets.
    const bool fastOk = tame(m) && s.w <= 32767 && s.h <= 32767 &&
                        uint64_t(s.stride) * uint64_t(s.h) < (1ull << 31);
    const int32x4_t strideV = vdupq_n_s32(static_cast<int32_t>(s.stride));
    for (uint32_t y = y0; y < y1; ++y) {
        const float fy = static_cast<float>(y);
        const float byS = m[1] * fy, cyS = m[4] * fy;
        const float32x4_t by = vdupq_n_f32(byS), cy = vdupq_n_f32(cyS);
        uint8_t* drow = dst + y * dstStride;
        auto checked = [&](uint32_t x0, uint32_t x1) {
            for (uint32_t x = x0; x < x1; x += 8) {
                int32_t ix[8], iy[8];
                uint16x4_t inside[2];
                for (int h = 0; h < 2; ++h) {
                    const float32x4_t xf = lane_index(x + 4 * h);
                    const float32x4_t sx = vaddq_f32(vaddq_f32(vmulq_f32(m0, xf), by), m2);
                    const float32x4_t sy = vaddq_f32(vaddq_f32(vmulq_f32(m3, xf), cy), m5);
                    const int32x4_t cx = round_sat16(sx), cyi = round_sat16(sy);
                    const uint32x4_t in = vandq_u32(vcltq_u32(vreinterpretq_u32_s32(cx), W),
                                                    vcltq_u32(vreinterpretq_u32_s32(cyi), H));
                    vst1q_s32(ix + 4 * h, vandq_s32(cx, vreinterpretq_s32_u32(in)));
                    vst1q_s32(iy + 4 * h, vandq_s32(cyi, vreinterpretq_s32_u32(in)));
                    inside[h] = vmovn_u32(in);
                }
                const uint8x8_t mask = vmovn_u16(vcombine_u16(inside[0], inside[1]));
                if constexpr (C == 1) {
                    uint8_t v[8];
                    for (int k = 0; k < 8; ++k)
                        v[k] = s.data[static_cast<size_t>(iy[k]) * s.stride + ix[k]];
                    store_partial(drow + x, vand_u8(vld1_u8(v), mask), std::min(8u, x1 - x));
                } else {
                    // Whole pixels; outside lanes gathered (0, 0) and are masked.
                    uint8_t m8[8], v[8 * C];
                    vst1_u8(m8, mask);
                    for (int k = 0; k < 8; ++k) {
                        const uint8_t* p = s.data + static_cast<size_t>(iy[k]) * s.stride +
                                           static_cast<size_t>(ix[k]) * C;
                        for (int c = 0; c < C; ++c) v[C * k + c] = p[c] & m8[k];
                    }
                    std::memcpy(drow + size_t(x) * C, v, size_t(std::min(8u, x1 - x)) * C);
                }
            }
        };
        auto fast = [&](uint32_t x) {
            int32_t off[8];
            for (int h = 0; h < 2; ++h) {
                const float32x4_t xf = lane_index(x + 4 * h);
                const float32x4_t sx = vaddq_f32(vaddq_f32(vmulq_f32(m0, xf), by), m2);
                const float32x4_t sy = vaddq_f32(vaddq_f32(vmulq_f32(m3, xf), cy), m5);
                const int32x4_t ix = round_small(sx), iy = round_small(sy);
                if constexpr (C == 1)
                    vst1q_s32(off + 4 * h, vmlaq_s32(ix, iy, strideV));
                else
                    vst1q_s32(off + 4 * h, vmlaq_s32(vmulq_n_s32(ix, C), iy, strideV));
            }
            if constexpr (C > 1) {
                // Eight whole pixels, none read past its last byte.
                uint8_t q[8 * C];
                for (int k = 0; k < 8; ++k) std::memcpy(q + C * k, s.data + off[k], C);
                std::memcpy(drow + C * size_t(x), q, 8 * C);
                return;
            }
            uint8x8_t v = vdup_n_u8(0);
            v = vset_lane_u8(s.data[off[0]], v, 0);
            v = vset_lane_u8(s.data[off[1]], v, 1);
            v = vset_lane_u8(s.data[off[2]], v, 2);
            v = vset_lane_u8(s.data[off[3]], v, 3);
            v = vset_lane_u8(s.data[off[4]], v, 4);
            v = vset_lane_u8(s.data[off[5]], v, 5);
            v = vset_lane_u8(s.data[off[6]], v, 6);
            v = vset_lane_u8(s.data[off[7]], v, 7);
            vst1_u8(drow + x, v);
        };
        uint32_t a = 0, b = 0;
        if (fastOk) {
            const RowPos px{m[0], 0.f, byS, m[2], 0.f}, py{m[3], 0.f, cyS, m[5], 0.f};
            uint32_t ya, yb;
            run_of(px, dstW, [](float v) { return round_sat16(v) >= 0; },
                   [&](float v) { return round_sat16(v) <= s.w - 1; }, a, b);
            run_of(py, dstW, [](float v) { return round_sat16(v) >= 0; },
                   [&](float v) { return round_sat16(v) <= s.h - 1; }, ya, yb);
            a = std::max(a, ya);
            b = std::max(a, std::min(b, yb));
            // The run is exactly the columns whose pixel is inside.
            split_row(drow, C, dstW, a, b, a, b, 8, checked, fast);
        } else {
            split_row(drow, C, dstW, 0, dstW, 0, 0, 8, checked, fast);
        }
    }
}

// -------------------------------------------------------------- bilinear
//
// Pixel-centre positions; taps i1 = max(0, ceil(s - 1)), i2 = min(i1 + 1,
// size - 1) with weights 1 - |tap - s| (0 from 1 apart on) divided by their
// sum; all four taps read 0 unless 0 <= (int)s < size - 1 on both axes (the
// truncated position leaves room for the second tap), which for sizes of at
// least 2 is -1 < s < size - 1.

// Correctly rounded a / b, as the kernel divides (x / x must stay exactly 1).
// The emulation layer has no vector division, so other hosts divide by lane;
// the compiler turns that loop into one vector division.
inline float32x4_t divide(float32x4_t a, float32x4_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vdivq_f32(a, b);
#else
    float x[4], y[4];
    vst1q_f32(x, a);
    vst1q_f32(y, b);
    for (int k = 0; k < 4; ++k) x[k] /= y[k];
    return vld1q_f32(x);
#endif
}

struct Taps {
    int32x4_t i1, i2;
    float32x4_t w1, w2;
};

// The two weights divided by their sum. From 1 on, positions are coarse
// enough that both weights and their sum are exact: the sum is 1 and dividing
// by it changes nothing, so the division is skipped then.
inline void set_weights(Taps& t, float32x4_t w1, float32x4_t w2) {
    const float32x4_t sum = vaddq_f32(w1, w2);
    if (vminvq_u32(vceqq_f32(sum, vdupq_n_f32(1.f))) != 0) {
        t.w1 = w1;
        t.w2 = w2;
    } else {
        t.w1 = divide(w1, sum);
        t.w2 = divide(w2, sum);
    }
}

// An integral float as an int; below 2^22 in magnitude (`small`) by adding
// 1.5 * 2^23, otherwise by conversion.
inline int32x4_t int_of(float32x4_t v, bool small) {
    return small ? round_small(v) : vcvtq_s32_f32(v);
}

// Truncation of a value in [0, 2^22).
inline int32x4_t trunc_small(float32x4_t v) { return round_small(vrndq_f32(v)); }

inline Taps linear_taps(float32x4_t s, int32_t size, bool small) {
    const float32x4_t one = vdupq_n_f32(1.f);
    Taps t;
    t.i1 = vmaxq_s32(int_of(vrndpq_f32(vsubq_f32(s, one)), small), vdupq_n_s32(0));
    t.i2 = vminq_s32(vaddq_s32(t.i1, vdupq_n_s32(1)), vdupq_n_s32(size - 1));
    const float32x4_t d1 = vabsq_f32(vsubq_f32(vcvtq_f32_s32(t.i1), s));
    const float32x4_t d2 = vabsq_f32(vsubq_f32(vcvtq_f32_s32(t.i2), s));
    float32x4_t w1 = vreinterpretq_f32_u32(
        vandq_u32(vcltq_f32(d1, one), vreinterpretq_u32_f32(vsubq_f32(one, d1))));
    float32x4_t w2 = vreinterpretq_f32_u32(
        vandq_u32(vcltq_f32(d2, one), vreinterpretq_u32_f32(vsubq_f32(one, d2))));
    set_weights(t, w1, w2);
    return t;
}

// linear_taps inside the run, where -1 < s < size - 1: the second tap is the
// next pixel and the first tap is never a whole pixel away, so its weight
// needs no test (the arithmetic is the same operations otherwise).
inline Taps linear_taps_run(float32x4_t s) {
    const float32x4_t one = vdupq_n_f32(1.f);
    Taps t;
    t.i1 = vmaxq_s32(round_small(vrndpq_f32(vsubq_f32(s, one))), vdupq_n_s32(0));
    const float32x4_t f1 = vcvtq_f32_s32(t.i1);
    const float32x4_t d1 = vabsq_f32(vsubq_f32(f1, s));
    const float32x4_t d2 = vabsq_f32(vsubq_f32(vaddq_f32(f1, one), s));
    const float32x4_t w1 = vsubq_f32(one, d1);
    const float32x4_t w2 = vreinterpretq_f32_u32(
        vandq_u32(vcltq_f32(d2, one), vreinterpretq_u32_f32(vsubq_f32(one, d2))));
    set_weights(t, w1, w2);
    return t;
}

// linear_taps_run from 1 on (1 <= s < size - 1, below 2^22). There s - 1 is
// exact, so the first tap ceil(s - 1) is c - 1 with c = ceil(s), unclamped;
// both distances s - (c - 1) and c - s are exact multiples of the position's
// spacing within [0, 1], which makes 1 - |tap - s| exact as well: the first
// weight is c - s and the second 1 minus that, bit for bit what the general
// formula gives, and they sum to exactly 1.
inline Taps linear_taps_core(float32x4_t s) {
    const float32x4_t c = vrndpq_f32(s);
    Taps t;
    // c - 1 as an int: c + 1.5 * 2^23 holds c in its low mantissa bits.
    t.i1 = vsubq_s32(vreinterpretq_s32_f32(vaddq_f32(c, vdupq_n_f32(12582912.f))),
                     vdupq_n_s32(0x4B400001));
    t.w1 = vsubq_f32(c, s);
    t.w2 = vsubq_f32(vdupq_n_f32(1.f), t.w1);
    return t;
}

inline float32x4_t bilinear_sum(float32x4_t v11, float32x4_t v12, float32x4_t v21,
                                float32x4_t v22, const Taps& tx, const Taps& ty) {
    float32x4_t acc = vmulq_f32(vmulq_f32(v11, ty.w1), tx.w1);
    acc = vaddq_f32(acc, vmulq_f32(vmulq_f32(v12, ty.w1), tx.w2));
    acc = vaddq_f32(acc, vmulq_f32(vmulq_f32(v21, ty.w2), tx.w1));
    acc = vaddq_f32(acc, vmulq_f32(vmulq_f32(v22, ty.w2), tx.w2));
    // Non-negative terms with weights summing to one (to rounding): the
    // truncated value lies in [0, 255] without clamping.
    return acc;
}

// The four taps (x, y), (x + 1, y), (x, y + 1), (x + 1, y + 1) of four
// pixels, one 32-bit lane each (low byte first, in that order), for first
// taps x = i + off's column, y its row: off holds i + j * stride. Each pixel's
// two byte pairs are loaded as 16-bit words and joined in general registers,
// two pixels to a 64-bit word, so no vector lane insertion waits on another.
inline uint32x4_t gather_quads(const uint8_t* data, size_t stride, const int32_t* off) {
    uint64_t q[2];
    for (int h = 0; h < 2; ++h) {
        uint64_t v = 0;
        for (int k = 0; k < 2; ++k) {
            const uint8_t* p = data + off[2 * h + k];
            uint16_t t, b;
            std::memcpy(&t, p, 2);
            std::memcpy(&b, p + stride, 2);
            v |= (uint64_t(t) | uint64_t(b) << 16) << (32 * k);
        }
        q[h] = v;
    }
    return vreinterpretq_u32_u64(combine_u64(q[0], q[1]));
}

// Destination rows a chunk's source reads are asked for ahead of use: a
// strip's rows are taken one below the other, and a row kPrefetchRows
// further down reads its taps about kPrefetchRows * (m[1], m[4]) away in the
// source. Without it the slanted reads wait on memory about as long as they
// compute (an RGB 4K frame: 24.1 -> 14.9 ms on x86 over two cores).
constexpr int kPrefetchRows = 4;

// The byte offset, in the source, of the taps kPrefetchRows destination rows
// below (C-byte pixels).
inline int64_t prefetch_ahead(const float* m, size_t stride, int C) {
    const float dy = kPrefetchRows * m[4], dx = kPrefetchRows * m[1];
    // (Matrices far from a warp of the image, NaN included, ask for nothing ahead.)
    if (!(std::fabs(dx) < 65536.f && std::fabs(dy) < 65536.f)) return 0;
    return int64_t(std::lrint(dy)) * int64_t(stride) + int64_t(std::lrint(dx)) * C;
}

// Asks for the top tap rows of a chunk's first pixel and, with `last` > 0,
// of its last (first-tap offsets off[0], off[last]) `ahead` bytes away; the
// bottom rows are the top rows of the destination row after. (A plane's
// chunk of 8 pixels reads about 9 source bytes per row: one line.) A
// prefetch never faults, so the addresses need not lie in the image; they
// are formed as integers.
inline void prefetch_chunk(const uint8_t* data, int64_t ahead, const int32_t* off, int last) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(data) + uintptr_t(ahead);
    __builtin_prefetch(reinterpret_cast<const void*>(base + uintptr_t(int64_t(off[0]))));
    if (last > 0)
        __builtin_prefetch(reinterpret_cast<const void*>(base + uintptr_t(int64_t(off[last]))));
}

// Eight sums in [0, 256) truncated to bytes 0..7: after truncation, adding
// 1.5 * 2^23 leaves the integer in the low mantissa bits.
inline uint8x16_t narrow_trunc(float32x4_t lo, float32x4_t hi) {
    const float32x4_t magic = vdupq_n_f32(12582912.f);
    const uint32x4_t a = vreinterpretq_u32_f32(vaddq_f32(vrndq_f32(lo), magic));
    const uint32x4_t b = vreinterpretq_u32_f32(vaddq_f32(vrndq_f32(hi), magic));
    const uint16x8_t ab = narrow_u32(a, b);
    return narrow_u16(ab, ab);
}

// The tap pairs (x, y), (x + 1, y) and (x, y + 1), (x + 1, y + 1) of four
// C-channel pixels, for first taps at off (x C + y stride; exactly the pairs'
// bytes are read): q[0] and q[1] the top row's first and second taps, q[2]
// and q[3] the bottom row's, one pixel per 32-bit lane with channel c in
// byte c. With `wide` every pair is read as 8 bytes (for 3 channels 2 bytes
// past the pair, which the caller knows to lie inside the image's span; they
// are never used).
template <int C>
inline void gather_taps(const uint8_t* data, size_t stride, const int32_t* off, bool wide,
                        uint32x4_t q[4]) {
    uint64_t t[4], b[4];
    if (C == 4 || wide) {
        for (int k = 0; k < 4; ++k) {
            const uint8_t* p = data + off[k];
            std::memcpy(&t[k], p, 8);
            std::memcpy(&b[k], p + stride, 8);
        }
    } else {
        for (int k = 0; k < 4; ++k) {
            const uint8_t* p = data + off[k];
            t[k] = b[k] = 0;
            std::memcpy(&t[k], p, 2 * C);
            std::memcpy(&b[k], p + stride, 2 * C);
        }
    }
    const uint64x2_t rows[4] = {combine_u64(t[0], t[1]), combine_u64(t[2], t[3]),
                                combine_u64(b[0], b[1]), combine_u64(b[2], b[3])};
    for (int r = 0; r < 2; ++r) {
        const uint64x2_t lo = rows[2 * r], hi = rows[2 * r + 1];
        // The first tap is the low C bytes of each pixel's word, the second
        // the C bytes above them.
        q[2 * r] = vuzp1q_u32(vreinterpretq_u32_u64(lo), vreinterpretq_u32_u64(hi));
        if constexpr (C == 4)
            q[2 * r + 1] = vuzp2q_u32(vreinterpretq_u32_u64(lo), vreinterpretq_u32_u64(hi));
        else
            q[2 * r + 1] = vuzp1q_u32(vreinterpretq_u32_u64(vshrq_n_u64(lo, 8 * C)),
                                      vreinterpretq_u32_u64(vshrq_n_u64(hi, 8 * C)));
    }
}

// Byte K of each 32-bit lane, as a float.
template <int K>
inline float32x4_t byte_f32(uint32x4_t v) {
    uint32x4_t b;
    if constexpr (K == 0)
        b = vandq_u32(v, vdupq_n_u32(0xFF));
    else if constexpr (K == 3)
        b = vshrq_n_u32(v, 24);
    else
        b = vandq_u32(vshrq_n_u32(v, 8 * K), vdupq_n_u32(0xFF));
    return vcvtq_f32_s32(vreinterpretq_s32_u32(b));
}

// The first n (<= 8) of eight C-channel pixels, channel c's bytes in ch[c],
// interleaved to p.
template <int C>
inline void store_pixels(uint8_t* p, const uint8x8_t* ch, uint32_t n) {
    uint8_t tmp[8 * C];
    uint8_t* out = n == 8 ? p : tmp;
    if constexpr (C == 3) {
        uint8x8x3_t v = {{ch[0], ch[1], ch[2]}};
        vst3_u8(out, v);
    } else {
        uint8x8x4_t v = {{ch[0], ch[1], ch[2], ch[3]}};
        vst4_u8(out, v);
    }
    if (n != 8) std::memcpy(p, tmp, size_t(n) * C);
}

template <int C>
void linear_rows(const Plane& s, const float* m, uint8_t* dst, uint32_t dstW, size_t dstStride,
                 uint32_t y0, uint32_t y1) {
    const float32x4_t m0 = vdupq_n_f32(m[0]), m2 = vdupq_n_f32(m[2]);
    const float32x4_t m3 = vdupq_n_f32(m[3]), m5 = vdupq_n_f32(m[5]);
    const float32x4_t half = vdupq_n_f32(0.5f), minus1 = vdupq_n_f32(-1.f);
    const float wLimS = static_cast<float>(s.w - 1), hLimS = static_cast<float>(s.h - 1);
    const float32x4_t wLim = vdupq_n_f32(wLimS), hLim = vdupq_n_f32(hLimS);
    const float32x4_t zero = vdupq_n_f32(0.f);
    // A plane one pixel wide or high has no room for a second tap.
    const bool any = s.w >= 2 && s.h >= 2;
    const bool small = s.w < (1 << 21) && s.h < (1 << 21);
    // Unchecked columns convert positions with the small-value trick and
    // address the plane with 32-bit offsets.
    const bool fastOk =
        any && small && tame(m) && uint64_t(s.stride) * uint64_t(s.h) < (1ull << 31);
    const int32x4_t strideV = vdupq_n_s32(static_cast<int32_t>(s.stride));
    const int64_t ahead = prefetch_ahead(m, s.stride, C);
    struct Row {
        uint8_t* drow;
        float by, cy;
        TileSpan span;
        // Columns [coreA, coreB) have both positions at 1 or more.
        uint32_t coreA, coreB;
    };
    auto positions = [&](const Row& r, uint32_t x, float32x4_t& sx, float32x4_t& sy) {
        const float32x4_t xh = vaddq_f32(lane_index(x), half);
        sx = vsubq_f32(vaddq_f32(vaddq_f32(vmulq_f32(xh, m0), vdupq_n_f32(r.by)), m2), half);
        sy = vsubq_f32(vaddq_f32(vaddq_f32(vmulq_f32(xh, m3), vdupq_n_f32(r.cy)), m5), half);
    };
    auto layout = [&](uint32_t y, Row& r) {
        r.drow = dst + y * dstStride;
        const float yh = static_cast<float>(y) + 0.5f;
        r.by = yh * m[1];
        r.cy = yh * m[4];
        r.coreA = r.coreB = 0;
        if (!any) {
            r.span = {0, 0, 0, 0};
        } else if (!fastOk) {
            r.span = {0, dstW, 0, 0};
        } else {
            const RowPos px{m[0], 0.5f, r.by, m[2], 0.5f}, py{m[3], 0.5f, r.cy, m[5], 0.5f};
            uint32_t a, b, ya, yb;
            run_of(px, dstW, [](float v) { return v > -1.f; }, [&](float v) { return v < wLimS; },
                   a, b);
            run_of(py, dstW, [](float v) { return v > -1.f; }, [&](float v) { return v < hLimS; },
                   ya, yb);
            a = std::max(a, ya);
            b = std::max(a, std::min(b, yb));
            uint32_t xa, xb;
            run_of(px, dstW, [](float v) { return v >= 1.f; }, [&](float v) { return v < wLimS; },
                   xa, xb);
            run_of(py, dstW, [](float v) { return v >= 1.f; }, [&](float v) { return v < hLimS; },
                   ya, yb);
            r.coreA = std::max(xa, ya);
            r.coreB = std::max(r.coreA, std::min(xb, yb));
            // The run is exactly the columns whose taps are read.
            r.span = {a, b, a, b};
        }
    };
    auto checked = [&](const Row& r, uint32_t x0, uint32_t x1) {
        for (uint32_t x = x0; x < x1; x += 8) {
            uint32x4_t res[2];
            [[maybe_unused]] uint32x4_t resC[C][2];  // per channel, for C > 1
            for (int h = 0; h < 2; ++h) {
                float32x4_t sx, sy;
                positions(r, x + 4 * h, sx, sy);
                const uint32x4_t in =
                    vandq_u32(vandq_u32(vcgtq_f32(sx, minus1), vcltq_f32(sx, wLim)),
                              vandq_u32(vcgtq_f32(sy, minus1), vcltq_f32(sy, hLim)));
                sx = vbslq_f32(in, sx, zero);
                sy = vbslq_f32(in, sy, zero);
                const Taps tx = linear_taps(sx, s.w, small), ty = linear_taps(sy, s.h, small);
                int32_t i1[4], i2[4], j1[4], j2[4];
                const int32x4_t inI = vreinterpretq_s32_u32(in);
                vst1q_s32(i1, vandq_s32(tx.i1, inI));
                vst1q_s32(i2, vandq_s32(tx.i2, inI));
                vst1q_s32(j1, vandq_s32(ty.i1, inI));
                vst1q_s32(j2, vandq_s32(ty.i2, inI));
                // Each channel with the plane's arithmetic, lanes being pixels.
                for (int c = 0; c < C; ++c) {
                    float v11[4], v12[4], v21[4], v22[4];
                    for (int k = 0; k < 4; ++k) {
                        const uint8_t* r1 = s.data + static_cast<size_t>(j1[k]) * s.stride + c;
                        const uint8_t* r2 = s.data + static_cast<size_t>(j2[k]) * s.stride + c;
                        v11[k] = r1[size_t(i1[k]) * C];
                        v12[k] = r1[size_t(i2[k]) * C];
                        v21[k] = r2[size_t(i1[k]) * C];
                        v22[k] = r2[size_t(i2[k]) * C];
                    }
                    const float32x4_t acc = bilinear_sum(vld1q_f32(v11), vld1q_f32(v12),
                                                         vld1q_f32(v21), vld1q_f32(v22), tx, ty);
                    const uint32x4_t q = vandq_u32(vreinterpretq_u32_s32(trunc_small(acc)), in);
                    if constexpr (C == 1)
                        res[h] = q;
                    else
                        resC[c][h] = q;
                }
            }
            if constexpr (C == 1) {
                const uint16x8_t res16 = narrow_u32(res[0], res[1]);
                store_partial(r.drow + x, narrow_u16(res16, res16), std::min(8u, x1 - x));
            } else {
                uint8x8_t ch[C];
                for (int c = 0; c < C; ++c) {
                    const uint16x8_t q16 = narrow_u32(resC[c][0], resC[c][1]);
                    ch[c] = vget_low_u8(narrow_u16(q16, q16));
                }
                store_pixels<C>(r.drow + size_t(x) * C, ch, std::min(8u, x1 - x));
            }
        }
    };
    // Inside the run the second taps are the next column and row, so each
    // pixel's four taps are two byte pairs.
    auto fast = [&](const Row& r, uint32_t x) {
        Taps tx[2], ty[2];
        const bool core = x >= r.coreA && x + 8 <= r.coreB;
        for (int h = 0; h < 2; ++h) {
            float32x4_t sx, sy;
            positions(r, x + 4 * h, sx, sy);
            tx[h] = core ? linear_taps_core(sx) : linear_taps_run(sx);
            ty[h] = core ? linear_taps_core(sy) : linear_taps_run(sy);
        }
        int32_t off[8];
        if constexpr (C > 1) {
            vst1q_s32(off, vmlaq_s32(vmulq_n_s32(tx[0].i1, C), ty[0].i1, strideV));
            vst1q_s32(off + 4, vmlaq_s32(vmulq_n_s32(tx[1].i1, C), ty[1].i1, strideV));
            prefetch_chunk(s.data, ahead, off, 7);
            // Per channel the four taps of four pixels, lanes being pixels:
            // the plane's arithmetic on each channel's bytes.
            // A pair of 3-byte taps read as 8 bytes ends 2 bytes past the
            // pair: still inside the image when a pixel follows the pair in
            // its row (first tap x <= w - 3) or a row follows it (the top
            // row always has one; the bottom row y + 1 when y <= h - 3).
            bool wide = true;
            if constexpr (C == 3) {
                const int32_t iMax = vmaxvq_s32(vmaxq_s32(tx[0].i1, tx[1].i1));
                const int32_t jMax = vmaxvq_s32(vmaxq_s32(ty[0].i1, ty[1].i1));
                wide = iMax <= s.w - 3 || jMax <= s.h - 3;
            }
            uint8x8_t ch[C];
            float32x4_t sums[C][2];
            for (int h = 0; h < 2; ++h) {
                uint32x4_t q[4];
                gather_taps<C>(s.data, s.stride, off + 4 * h, wide, q);
                for_channels<C>([&](auto c) {
                    constexpr int K = decltype(c)::value;
                    sums[K][h] = bilinear_sum(byte_f32<K>(q[0]), byte_f32<K>(q[1]),
                                              byte_f32<K>(q[2]), byte_f32<K>(q[3]), tx[h], ty[h]);
                });
            }
            for (int c = 0; c < C; ++c) ch[c] = vget_low_u8(narrow_trunc(sums[c][0], sums[c][1]));
            store_pixels<C>(r.drow + size_t(x) * C, ch, 8);
            return;
        }
        vst1q_s32(off, vmlaq_s32(tx[0].i1, ty[0].i1, strideV));
        vst1q_s32(off + 4, vmlaq_s32(tx[1].i1, ty[1].i1, strideV));
        prefetch_chunk(s.data, ahead, off, 0);
        float32x4_t sum[2];
        for (int h = 0; h < 2; ++h) {
            const uint32x4_t q = gather_quads(s.data, s.stride, off + 4 * h);
            const uint32x4_t low8 = vdupq_n_u32(0xFF);
            auto f32 = [](uint32x4_t v) { return vcvtq_f32_s32(vreinterpretq_s32_u32(v)); };
            sum[h] = bilinear_sum(f32(vandq_u32(q, low8)), f32(vandq_u32(vshrq_n_u32(q, 8), low8)),
                                  f32(vandq_u32(vshrq_n_u32(q, 16), low8)),
                                  f32(vshrq_n_u32(q, 24)), tx[h], ty[h]);
        }
        store_lo_u8(r.drow + x, narrow_trunc(sum[0], sum[1]));
    };
    tiled_rows<Row>(y0, y1, C, dstW, kLinearTileW, 8, layout, checked, fast);
}

// --------------------------------------------------------------- bicubic
//
// Phase = round-half-even(frac(s) * 32) & 31; the 4 x 4 taps start one pixel
// before floor(s), or at floor(s) once the phase has wrapped (frac * 64 > 63).
// Pixels outside read 0; positions that are NaN or beyond 2^24 give 0.

constexpr float kCubicLimit = 16777216.f;

// First tap of a position (as a float, monotone in the position).
inline float cubic_base(float v) {
    const float fl = std::floor(v);
    const float fr = v - fl;
    return fr * 64.f > 63.f ? fl : fl - 1.f;
}

inline float32x4_t u8x4_to_f32(uint32x4_t widened) {
    return vcvtq_f32_s32(vreinterpretq_s32_u32(widened));
}

// Four C-channel pixels of the bicubic warp from their first taps (tx, ty)
// and phases (ax, ay), lanes being channels: per channel the plane's
// operations in the plane's order (each patch row dotted with the x weights
// as (p0 c0 + p1 c1) + (p2 c2 + p3 c3), the rows accumulated with the y
// weights by fused multiply-adds, row 0 first). Pixels whose lane of `ok` is
// clear are 0. The first `count` pixels go to out.
template <int C>
void cubic_pixels(const Plane& s, const int32_t* tx, const int32_t* ty, const int32_t* ax,
                  const int32_t* ay, uint32x4_t ok, bool check, uint8_t* out, uint32_t count) {
    // Pixel j of a patch row (4 C bytes) into the lanes of its channels.
    alignas(16) static const uint8_t kPick[4][16] = {
        {0, 255, 255, 255, 1, 255, 255, 255, 2, 255, 255, 255, C == 4 ? 3 : 255, 255, 255, 255},
        {C, 255, 255, 255, C + 1, 255, 255, 255, C + 2, 255, 255, 255, C == 4 ? C + 3 : 255, 255, 255, 255},
        {2 * C, 255, 255, 255, 2 * C + 1, 255, 255, 255, 2 * C + 2, 255, 255, 255, C == 4 ? 2 * C + 3 : 255, 255, 255, 255},
        {3 * C, 255, 255, 255, 3 * C + 1, 255, 255, 255, 3 * C + 2, 255, 255, 255, C == 4 ? 3 * C + 3 : 255, 255, 255, 255}};
    uint32_t okLanes[4];
    vst1q_u32(okLanes, ok);
    int32x4_t res[4];
    for (int k = 0; k < 4; ++k) {
        const int32_t px = tx[k], py = ty[k];
        const uint8_t* p;
        size_t step;
        uint8_t pix[4 * 16];
        if (!check || (px >= 0 && py >= 0 && px <= s.w - 4 && py <= s.h - 4)) {
            p = s.data + static_cast<size_t>(py) * s.stride + static_cast<size_t>(px) * C;
            step = s.stride;
        } else {
            std::memset(pix, 0, sizeof pix);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j) {
                    const int64_t cx = int64_t(px) + j, cyy = int64_t(py) + i;
                    if (cx >= 0 && cx < s.w && cyy >= 0 && cyy < s.h)
                        std::memcpy(pix + 16 * i + C * j,
                                    s.data + size_t(cyy) * s.stride + size_t(cx) * C, C);
                }
            p = pix;
            step = 16;
        }
        const float32x4_t cx = vld1q_f32(kCubic[ax[k]]);
        const float32x4_t cy = vld1q_f32(kCubic[ay[k]]);
        float32x4_t rows[4], wy[4];
        for (int i = 0; i < 4; ++i) {
            const uint8_t* q = p + i * step;
            uint8x16_t v;
            if constexpr (C == 4) {
                v = vld1q_u8(q);
            } else {  // exactly the row's 12 bytes
                uint32_t tail;
                std::memcpy(&tail, q + 8, 4);
                v = vcombine_u8(vld1_u8(q), vreinterpret_u8_u32(vdup_n_u32(tail)));
            }
            auto tap = [&](int j) {
                return vcvtq_f32_s32(vreinterpretq_s32_u8(vqtbl1q_u8(v, vld1q_u8(kPick[j]))));
            };
            const float32x4_t a = vaddq_f32(vmulq_laneq_f32(tap(0), cx, 0),
                                            vmulq_laneq_f32(tap(1), cx, 1));
            const float32x4_t b = vaddq_f32(vmulq_laneq_f32(tap(2), cx, 2),
                                            vmulq_laneq_f32(tap(3), cx, 3));
            rows[i] = vaddq_f32(a, b);
        }
        wy[0] = vdupq_laneq_f32(cy, 0);
        wy[1] = vdupq_laneq_f32(cy, 1);
        wy[2] = vdupq_laneq_f32(cy, 2);
        wy[3] = vdupq_laneq_f32(cy, 3);
        const float32x4_t sum = fused_dot4_f32(rows, wy);
        const int32x4_t t = vminq_s32(vmaxq_s32(trunc_small(sum), vdupq_n_s32(0)),
                                      vdupq_n_s32(255));
        res[k] = vandq_s32(t, vdupq_n_s32(static_cast<int32_t>(okLanes[k])));
    }
    // Pixels of 4 bytes, then C of each.
    const uint16x8_t lo = narrow_u32(vreinterpretq_u32_s32(res[0]), vreinterpretq_u32_s32(res[1]));
    const uint16x8_t hi = narrow_u32(vreinterpretq_u32_s32(res[2]), vreinterpretq_u32_s32(res[3]));
    uint8x16_t bytes = narrow_u16(lo, hi);
    if constexpr (C == 3) {
        alignas(16) static const uint8_t kDrop[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14,
                                                      255, 255, 255, 255};
        bytes = vqtbl1q_u8(bytes, vld1q_u8(kDrop));
    }
    uint8_t tmp[16];
    vst1q_u8(tmp, bytes);
    std::memcpy(out, tmp, size_t(count) * C);
}

template <int C>
void cubic_rows(const Plane& s, const float* m, uint8_t* dst, uint32_t dstW, size_t dstStride,
                uint32_t y0, uint32_t y1) {
    const float32x4_t m0 = vdupq_n_f32(m[0]), m2 = vdupq_n_f32(m[2]);
    const float32x4_t m3 = vdupq_n_f32(m[3]), m5 = vdupq_n_f32(m[5]);
    const float32x4_t lim = vdupq_n_f32(kCubicLimit), zero = vdupq_n_f32(0.f);
    const float32x4_t k32 = vdupq_n_f32(32.f), k64 = vdupq_n_f32(64.f), k63 = vdupq_n_f32(63.f);
    const bool fastOk = tame(m) && s.w >= 4 && s.h >= 4 && s.w < (1 << 24) && s.h < (1 << 24);
    struct Row {
        uint8_t* drow;
        float by, cy;
        TileSpan span;
    };
    // Four columns at x: 4 x 4 patches gathered, then weighted.
    auto chunk = [&](const Row& r, uint32_t x, bool check, uint32_t count) {
        const float32x4_t by = vdupq_n_f32(r.by), cy = vdupq_n_f32(r.cy);
        uint8_t* drow = r.drow;
        const float32x4_t xf = lane_index(x);
        float32x4_t sx = vaddq_f32(vaddq_f32(vmulq_f32(m0, xf), by), m2);
        float32x4_t sy = vaddq_f32(vaddq_f32(vmulq_f32(m3, xf), cy), m5);
        uint32x4_t ok = vdupq_n_u32(0xFFFFFFFFu);
        if (check) {
            ok = vandq_u32(vcltq_f32(vabsq_f32(sx), lim), vcltq_f32(vabsq_f32(sy), lim));
            sx = vbslq_f32(ok, sx, zero);
            sy = vbslq_f32(ok, sy, zero);
        }
        const float32x4_t flx = vrndmq_f32(sx), fly = vrndmq_f32(sy);
        const float32x4_t frx = vsubq_f32(sx, flx), fry = vsubq_f32(sy, fly);
        const int32x4_t ax = vandq_s32(round_small(vmulq_f32(frx, k32)), vdupq_n_s32(31));
        const int32x4_t ay = vandq_s32(round_small(vmulq_f32(fry, k32)), vdupq_n_s32(31));
        // -1, or 0 where the phase wrapped (mask is all ones = -1 there).
        const int32x4_t wrapX = vreinterpretq_s32_u32(vcgtq_f32(vmulq_f32(frx, k64), k63));
        const int32x4_t wrapY = vreinterpretq_s32_u32(vcgtq_f32(vmulq_f32(fry, k64), k63));
        const int32x4_t tx = vsubq_s32(vsubq_s32(vcvtq_s32_f32(flx), vdupq_n_s32(1)), wrapX);
        const int32x4_t ty = vsubq_s32(vsubq_s32(vcvtq_s32_f32(fly), vdupq_n_s32(1)), wrapY);
        int32_t txa[4], tya[4], axa[4], aya[4];
        vst1q_s32(txa, tx);
        vst1q_s32(tya, ty);
        vst1q_s32(axa, ax);
        vst1q_s32(aya, ay);
        if constexpr (C > 1) {
            cubic_pixels<C>(s, txa, tya, axa, aya, ok, check, drow + size_t(x) * C, count);
            return;
        }
        // Per pixel: each patch row dotted with the x weights in a fixed
        // order ((p0 c0 + p1 c1) + (p2 c2 + p3 c3), one pairwise add of
        // pairwise adds gives all four rows), then the rows accumulated with
        // the y weights by fused multiply-adds, row 0 first: the GPU kernel's
        // arithmetic operation for operation.
        float32x4_t rows[4], wy[4];
        for (int k = 0; k < 4; ++k) {
            const int32_t px = txa[k], py = tya[k];
            // The patch's four rows of four bytes, step bytes apart.
            const uint8_t* p;
            size_t step;
            uint8_t pix[16];
            if (!check || (px >= 0 && py >= 0 && px <= s.w - 4 && py <= s.h - 4)) {
                p = s.data + static_cast<size_t>(py) * s.stride + px;
                step = s.stride;
            } else {
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j) {
                        const int64_t cx = int64_t(px) + j, cyy = int64_t(py) + i;
                        pix[4 * i + j] = (cx >= 0 && cx < s.w && cyy >= 0 && cyy < s.h)
                                             ? s.data[size_t(cyy) * s.stride + size_t(cx)]
                                             : 0;
                    }
                p = pix;
                step = 4;
            }
            const float32x4_t cx = vld1q_f32(kCubic[axa[k]]);
            const float32x4_t r0 = vmulq_f32(u8x4_to_f32(load_widen_u8x4(p)), cx);
            const float32x4_t r1 = vmulq_f32(u8x4_to_f32(load_widen_u8x4(p + step)), cx);
            const float32x4_t r2 = vmulq_f32(u8x4_to_f32(load_widen_u8x4(p + 2 * step)), cx);
            const float32x4_t r3 = vmulq_f32(u8x4_to_f32(load_widen_u8x4(p + 3 * step)), cx);
            rows[k] = vpaddq_f32(vpaddq_f32(r0, r1), vpaddq_f32(r2, r3));
            wy[k] = vld1q_f32(kCubic[aya[k]]);
        }
        // Lanes become pixels: rows[i] holds row i's dot product of each.
        transpose_f32x4(rows);
        transpose_f32x4(wy);
        const float32x4_t sum = fused_dot4_f32(rows, wy);
        // Clamping to [0, 255] and truncating commute: the sum (a few hundred
        // at most in magnitude, never NaN here) is truncated first and
        // clamped as an integer.
        const int32x4_t t = vminq_s32(vmaxq_s32(trunc_small(sum), vdupq_n_s32(0)),
                                      vdupq_n_s32(255));
        const uint32x4_t q = vandq_u32(vreinterpretq_u32_s32(t), ok);
        const uint16x8_t q16 = narrow_u32(q, q);
        const uint32_t word = vgetq_lane_u32(vreinterpretq_u32_u8(narrow_u16(q16, q16)), 0);
        if (count == 4)
            std::memcpy(drow + x, &word, 4);
        else
            std::memcpy(drow + x, &word, count);
    };
    auto checked = [&](const Row& r, uint32_t x0, uint32_t x1) {
        for (uint32_t x = x0; x < x1; x += 4) chunk(r, x, true, std::min(4u, x1 - x));
    };
    auto fast = [&](const Row& r, uint32_t x) { chunk(r, x, false, 4); };
    auto layout = [&](uint32_t y, Row& r) {
        r.drow = dst + y * dstStride;
        const float fy = static_cast<float>(y);
        r.by = m[1] * fy;
        r.cy = m[4] * fy;
        uint32_t a = 0, b = 0, za = 0, zb = dstW;
        if (fastOk) {
            const RowPos px{m[0], 0.f, r.by, m[2], 0.f}, py{m[3], 0.f, r.cy, m[5], 0.f};
            const float wMax = static_cast<float>(s.w - 4), hMax = static_cast<float>(s.h - 4);
            const float wLast = static_cast<float>(s.w - 1), hLast = static_cast<float>(s.h - 1);
            uint32_t ya, yb;
            // All 16 taps inside: unchecked.
            run_of(px, dstW, [](float v) { return cubic_base(v) >= 0.f; },
                   [&](float v) { return cubic_base(v) <= wMax; }, a, b);
            run_of(py, dstW, [](float v) { return cubic_base(v) >= 0.f; },
                   [&](float v) { return cubic_base(v) <= hMax; }, ya, yb);
            a = std::max(a, ya);
            b = std::max(a, std::min(b, yb));
            // Some tap inside: checked; the columns beyond read only zeros.
            run_of(px, dstW, [](float v) { return cubic_base(v) >= -3.f; },
                   [&](float v) { return cubic_base(v) <= wLast; }, za, zb);
            run_of(py, dstW, [](float v) { return cubic_base(v) >= -3.f; },
                   [&](float v) { return cubic_base(v) <= hLast; }, ya, yb);
            za = std::max(za, ya);
            zb = std::max(za, std::min(zb, yb));
            if (b > a && (a < za || b > zb)) {  // not for an image of 4 x 4 or more
                za = 0;
                zb = dstW;
            }
        }
        r.span = {za, zb, a, b};
    };
    // Sixteen taps a pixel keep the loads ahead of the cache: whole rows.
    tiled_rows<Row>(y0, y1, C, dstW, dstW, 4, layout, checked, fast);
}

// Float to int truncation that stays defined: false for NaN.
inline bool trunc_int(float f, int64_t& out) {
    if (!(f == f)) return false;
    const float c = std::min(std::max(f, -1.0e12f), 1.0e12f);
    out = static_cast<int64_t>(c);
    return true;
}

}  // namespace

AffineInterp affine_interp(int32_t arg) {
    if (arg == 0) return kAffineNearest;
    if (arg == 3) return kAffineCubic;
    return kAffineLinear;
}

void affine_clipped_u8_cpu(const uint8_t* src, uint32_t srcW, uint32_t srcH, size_t srcStride,
                           const float m[6], uint8_t* dst, uint32_t dstW, uint32_t dstH,
                           size_t dstStride, AffineInterp interp, uint32_t channels) {
    if (dstW == 0 || dstH == 0) return;
    if (channels != 3 && channels != 4) channels = 1;
    if (srcW == 0 || srcH == 0 || srcW > 0x7FFFFFFFu || srcH > 0x7FFFFFFFu) {
        for (uint32_t y = 0; y < dstH; ++y)
            std::memset(dst + y * dstStride, 0, size_t(dstW) * channels);
        return;
    }
    const Plane s{src, static_cast<int32_t>(srcW), static_cast<int32_t>(srcH), srcStride};
    const uint64_t work = uint64_t(dstW) * dstH * channels * (interp == kAffineNearest ? 1 : 4);
    parallel_bands(dstH, work, [&](uint32_t y0, uint32_t y1, uint32_t) {
        auto rows = [&](auto c) {
            constexpr int C = decltype(c)::value;
            switch (interp) {
                case kAffineNearest: nearest_rows<C>(s, m, dst, dstW, dstStride, y0, y1); break;
                case kAffineCubic: cubic_rows<C>(s, m, dst, dstW, dstStride, y0, y1); break;
                default: linear_rows<C>(s, m, dst, dstW, dstStride, y0, y1); break;
            }
        };
        switch (channels) {
            case 3: rows(std::integral_constant<int, 3>()); break;
            case 4: rows(std::integral_constant<int, 4>()); break;
            default: rows(std::integral_constant<int, 1>()); break;
        }
    });
}

void analysis_dst_border(const MIRA_Feature_Buf* src, const MIRA_Feature_Buf* dst) {
    if (!src || !dst || !dst[1].data || !src[1].data) return;
    const uint32_t rows = std::min(dst[0].height, dst[1].height);
    if (rows == 0) return;
    float m[6];
    std::memcpy(m, src[1].data, sizeof m);
    const int64_t W = dst[0].width;
    const float sw1 = static_cast<float>(src[0].width) - 1.f;
    const float sh1 = static_cast<float>(src[0].height) - 1.f;
    uint8_t* table = dst[1].data;
    for (uint32_t y = 0; y < rows; ++y) {
        const float fy = static_cast<float>(y);
        int64_t start = W, end = W;
        // Each axis bounds the columns to [lo, hi] (possibly empty). A
        // near-zero coefficient leaves the axis constant along the row: no
        // bound when that constant lies inside, no column otherwise.
        int64_t x1 = 0, x2 = 0, y1 = 0, y2 = 0;  // read only where set; zeros quiet g++
        bool ok = true, emptyRow = false;
        bool degX = !(std::fabs(m[0]) >= 1e-6f), degY = !(std::fabs(m[3]) >= 1e-6f);
        if (!degX) {
            ok &= trunc_int((0.f - m[1] * fy - m[2]) / m[0], x1);
            ok &= trunc_int((sw1 - m[1] * fy - m[2]) / m[0], x2);
        } else {
            const float c = m[1] * fy + m[2];
            if (!(c >= 0.f && c <= sw1)) emptyRow = true;
            x1 = 0;
            x2 = W;
        }
        if (!degY) {
            ok &= trunc_int((0.f - m[4] * fy - m[5]) / m[3], y1);
            ok &= trunc_int((sh1 - m[4] * fy - m[5]) / m[3], y2);
        } else {
            const float c = m[4] * fy + m[5];
            if (!(c >= 0.f && c <= sh1)) emptyRow = true;
            y1 = 0;
            y2 = W;
        }
        if (ok && !emptyRow) {
            const int64_t hiX = std::min(W, std::max(x1, x2));
            const int64_t loY = std::max<int64_t>(0, std::min(y1, y2));
            if (hiX >= loY) {
                const int64_t loX = std::max<int64_t>(0, std::min(x1, x2));
                const int64_t hiY = std::min(W, std::max(y1, y2));
                if (loX <= hiY) {
                    start = std::max(loX, loY);
                    end = std::min(hiX, hiY);
                }
            }
        }
        const uint32_t pair[2] = {static_cast<uint32_t>(start), static_cast<uint32_t>(end)};
        std::memcpy(table + static_cast<size_t>(y) * 8, pair, 8);
    }
}

namespace {

// The columns [a, b) of one row where in(x) holds, in(x) being
// lo(f(x)) && hi(f(x)) for two axes; (n, n) when there are none.
template <class In>
void scan_row(uint32_t n, In in, uint32_t& a, uint32_t& b) {
    a = b = n;
    for (uint32_t x = 0; x < n; ++x)
        if (in(x)) {
            if (a == n) a = x;
            b = x + 1;
        }
    if (a == n) b = n;
}

}  // namespace

void affine_warp_spans(uint32_t srcW, uint32_t srcH, const float m[6], uint32_t dstW,
                       uint32_t dstH, AffineInterp interp, uint32_t* spans) {
    if (spans == nullptr || dstW == 0) return;
    const int32_t W = static_cast<int32_t>(std::min<uint32_t>(srcW, 0x7FFFFFFFu));
    const int32_t H = static_cast<int32_t>(std::min<uint32_t>(srcH, 0x7FFFFFFFu));
    // A plane one pixel wide or high has no room for the second bilinear tap.
    const bool none = W == 0 || H == 0 || (interp == kAffineLinear && (W < 2 || H < 2));
    // Positions exactly as the warp forms them (see nearest_rows, linear_rows
    // and cubic_rows): h is the half-pixel offset of the bilinear centres.
    const float h = interp == kAffineLinear ? 0.5f : 0.f;
    const float wLast = static_cast<float>(W - 1), hLast = static_cast<float>(H - 1);
    // Per axis, whether the interpolation reads a sample inside [0, size)
    // from position v: lo holds for every v above a bound, hi below one (the
    // bicubic's limit on |v| is split between them).
    auto lo = [&](float v) {
        switch (interp) {
            case kAffineNearest: return round_sat16(v) >= 0;
            case kAffineCubic: return v > -kCubicLimit && cubic_base(v) >= -3.f;
            default: return v > -1.f;
        }
    };
    auto hi = [&](float v, int32_t size, float last) {
        switch (interp) {
            case kAffineNearest: return round_sat16(v) <= size - 1;
            case kAffineCubic: return v < kCubicLimit && cubic_base(v) <= last;
            default: return v < last;
        }
    };
    for (uint32_t y = 0; y < dstH; ++y) {
        uint32_t a = dstW, b = dstW;
        if (!none) {
            const float fy = static_cast<float>(y) + h;
            const RowPos px{m[0], h, m[1] * fy, m[2], h}, py{m[3], h, m[4] * fy, m[5], h};
            if (tame(m)) {
                // Positions are finite and monotone along the row: each axis
                // bounds one run of columns.
                uint32_t xa, xb, ya, yb;
                run_of(px, dstW, lo, [&](float v) { return hi(v, W, wLast); }, xa, xb);
                run_of(py, dstW, lo, [&](float v) { return hi(v, H, hLast); }, ya, yb);
                a = std::max(xa, ya);
                b = std::max(a, std::min(xb, yb));
                if (a == b) a = b = dstW;
            } else {
                scan_row(
                    dstW,
                    [&](uint32_t x) {
                        const float vx = px.at(x), vy = py.at(x);
                        return lo(vx) && hi(vx, W, wLast) && lo(vy) && hi(vy, H, hLast);
                    },
                    a, b);
            }
        }
        spans[2 * size_t(y)] = a;
        spans[2 * size_t(y) + 1] = b;
    }
}

}  // namespace mira
