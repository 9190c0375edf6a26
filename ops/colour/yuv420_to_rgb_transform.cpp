#include "ops/colour/yuv420_to_rgb_transform.h"

#include <algorithm>
#include <cstring>

#include "ops/colour/yuv420_coefficients.h"
#include "ops/geometry/tile_transpose.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {
namespace {

// One grid's taps at a 16.16 position `p` on an axis of `n` samples.
inline void taps_at(int64_t p, uint32_t n, uint32_t* i0, uint32_t* i1, uint8_t* w) {
    const int64_t i = p >> 16;  // floor
    if (i < 0) {
        *i0 = *i1 = 0;
        *w = 0;
    } else if (i >= int64_t(n) - 1) {
        *i0 = *i1 = n - 1;
        *w = 0;
    } else {
        *i0 = uint32_t(i);
        *i1 = uint32_t(i + 1);
        *w = uint8_t((p & 0xFFFF) >> 8);
    }
}

}  // namespace

Orientation orientation(int degrees, bool mirror) {
    Orientation o;
    o.swap = degrees == 90 || degrees == 270;
    o.flipSrcX = (degrees == 180 || degrees == 270) != mirror;
    o.flipSrcY = degrees == 90 || degrees == 180;
    return o;
}

void axis_taps(uint32_t dstLength, uint32_t srcLength, bool flip, bool bilinear, AxisTaps* t) {
    const uint32_t n = dstLength, s = srcLength, cs = (s + 1) / 2;
    t->y0.resize(n);
    t->y1.resize(n);
    t->c0.resize(n);
    t->c1.resize(n);
    t->yw.assign(n, 0);
    t->cw.assign(n, 0);
    for (uint32_t d = 0; d < n; ++d) {
        if (!bilinear) {
            uint32_t o = uint32_t((uint64_t(2 * d + 1) * s) / (2 * uint64_t(n)));
            if (flip) o = s - 1 - o;
            t->y0[d] = t->y1[d] = o;
            t->c0[d] = t->c1[d] = o >> 1;
            continue;
        }
        int64_t p = int64_t((uint64_t(2 * d + 1) * s << 16) / (2 * uint64_t(n))) - 32768;
        if (flip) p = (int64_t(s - 1) << 16) - p;
        taps_at(p, s, &t->y0[d], &t->y1[d], &t->yw[d]);
        taps_at((p - 32768) >> 1, cs, &t->c0[d], &t->c1[d], &t->cw[d]);
    }
}

namespace {

// The coefficients as vectors. The +32 of the formula's sums is the rounding
// of the final narrowing shift (rshr6_narrow_sat_u8): the 16-bit sums never
// reach -32768, and a sum that saturates at 32767 gives 255 either way.
// On AArch64 the five coefficients also share one register (`packed`, in the
// order of kCoef*), multiplied by element: five registers fewer where the
// fused loops run short of them.
enum : int { kCoefY = 0, kCoefRV = 1, kCoefGU = 2, kCoefGV = 3, kCoefBU = 4 };
struct Kernel {
    int16x8_t yOffset128, kY, kRV, kGU, kGV, kBU, k512, packed;
    explicit Kernel(const ToRgbCoefficients& c)
        : yOffset128(vdupq_n_s16(int16_t(c.yOffset * 128))), kY(dup_opaque_s16(c.kY)),
          kRV(dup_opaque_s16(c.kRV)), kGU(dup_opaque_s16(c.kGU)), kGV(dup_opaque_s16(c.kGV)),
          kBU(dup_opaque_s16(c.kBU)), k512(dup_opaque_s16(512)) {
        const int16_t p[8] = {c.kY, c.kRV, c.kGU, c.kGV, c.kBU, 0, 0, 0};
        packed = vld1q_s16(p);
    }
};

// mul_round_q15_s16 of a and coefficient kIndex.
template <int kIndex>
inline int16x8_t mul_coef(int16x8_t a, const Kernel& k) {
    return mul_round_q15_laneq_s16<kIndex>(a, k.packed);
}

inline int16x8_t centred256(uint8x8_t c) {
    return vreinterpretq_s16_u16(veorq_u16(vshlq_n_u16(vmovl_u8(c), 8), vdupq_n_u16(0x8000)));
}

inline int16x8_t luma_term(uint8x8_t y, const Kernel& k) {
    const int16x8_t a = vsubq_s16(vreinterpretq_s16_u16(vshll_n_u8(y, 7)), k.yOffset128);
    return mul_round_q15_s16(a, k.kY);
}

// 16 pixels from their terms, l the luma term (luma_term), u and v the
// centred chroma (centred256), each as two halves of 8: 16 x channels bytes
// at out.
template <int kChannels, bool kBlueFirst>
inline void convert_terms16(const int16x8_t l[2], const int16x8_t u[2], const int16x8_t v[2],
                            const Kernel& k, uint8_t* out) {
    int16x8_t r[2], g[2], b[2];
    for (int h = 0; h < 2; ++h) {
        r[h] = vqaddq_s16(l[h], mul_coef<kCoefRV>(v[h], k));
        g[h] = vqsubq_s16(l[h], vaddq_s16(mul_coef<kCoefGU>(u[h], k), mul_coef<kCoefGV>(v[h], k)));
        b[h] = vqaddq_s16(l[h], mul_coef<kCoefBU>(u[h], k));
    }
    const uint8x16_t R = rshr6_narrow_sat_u8(r[0], r[1], k.k512);
    const uint8x16_t G = rshr6_narrow_sat_u8(g[0], g[1], k.k512);
    const uint8x16_t B = rshr6_narrow_sat_u8(b[0], b[1], k.k512);
    if (kBlueFirst)
        store_pixels3or4_u8<kChannels>(out, B, G, R);
    else
        store_pixels3or4_u8<kChannels>(out, R, G, B);
}

// 16 pixels with a chroma sample each: 16 x channels bytes at out.
template <int kChannels, bool kBlueFirst>
inline void convert16v(uint8x16_t yy, uint8x16_t uu, uint8x16_t vv, const Kernel& k,
                       uint8_t* out) {
    int16x8_t l[2], u[2], v[2];
    for (int h = 0; h < 2; ++h) {
        l[h] = luma_term(h ? vget_high_u8(yy) : vget_low_u8(yy), k);
        u[h] = centred256(h ? vget_high_u8(uu) : vget_low_u8(uu));
        v[h] = centred256(h ? vget_high_u8(vv) : vget_low_u8(vv));
    }
    convert_terms16<kChannels, kBlueFirst>(l, u, v, k, out);
}
template <int kChannels, bool kBlueFirst>
inline void convert16(const uint8_t* yp, const uint8_t* up, const uint8_t* vp, const Kernel& k,
                      uint8_t* out) {
    convert16v<kChannels, kBlueFirst>(vld1q_u8(yp), vld1q_u8(up), vld1q_u8(vp), k, out);
}

// The blend of 16 samples: a, b the column-axis taps of the first row-axis
// tap, c, d of the second; cw per sample, rw one for the row:
// (sum of tap x (256 - w or w) products + 2^15) >> 16.
inline uint8x16_t blend16(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                          const uint8_t* cw, uint16_t rw) {
    const uint8x16_t A = vld1q_u8(a), B = vld1q_u8(b), C = vld1q_u8(c), D = vld1q_u8(d);
    const uint8x16_t W = vld1q_u8(cw);
    uint16x4_t out[4];
    for (int h = 0; h < 2; ++h) {
        const uint8x8_t w = h ? vget_high_u8(W) : vget_low_u8(W);
        const uint8x8_t a8 = h ? vget_high_u8(A) : vget_low_u8(A);
        const uint8x8_t c8 = h ? vget_high_u8(C) : vget_low_u8(C);
        // a 256 - a w + b w: exact modulo 2^16, and the result fits.
        const uint16x8_t t0 = vmlal_u8(vmlsl_u8(vshlq_n_u16(vmovl_u8(a8), 8), a8, w),
                                       h ? vget_high_u8(B) : vget_low_u8(B), w);
        const uint16x8_t t1 = vmlal_u8(vmlsl_u8(vshlq_n_u16(vmovl_u8(c8), 8), c8, w),
                                       h ? vget_high_u8(D) : vget_low_u8(D), w);
        for (int q = 0; q < 2; ++q) {
            const uint16x4_t x0 = q ? vget_high_u16(t0) : vget_low_u16(t0);
            const uint16x4_t x1 = q ? vget_high_u16(t1) : vget_low_u16(t1);
            const uint32x4_t acc = vmlal_n_u16(vmlsl_n_u16(vshll_n_u16(x0, 8), x0, rw), x1, rw);
            out[2 * h + q] = vrshrn_n_u32(acc, 16);
        }
    }
    return vcombine_u8(vmovn_u16(vcombine_u16(out[0], out[1])),
                       vmovn_u16(vcombine_u16(out[2], out[3])));
}

// Byte offsets of one plane's taps along one axis (index x step).
struct PlaneTaps {
    std::vector<uint64_t> o0, o1;
};

void plane_taps(const std::vector<uint32_t>& i0, const std::vector<uint32_t>& i1, uint64_t step,
                PlaneTaps* p) {
    p->o0.resize(i0.size());
    p->o1.resize(i0.size());
    for (size_t d = 0; d < i0.size(); ++d) {
        p->o0[d] = i0[d] * step;
        p->o1[d] = i1[d] * step;
    }
}

struct Plan {
    // Column axis (destination x) and row axis (destination y) per plane.
    PlaneTaps colY, colU, colV, rowY, rowU, rowV;
    const uint8_t *yw, *cw;       // column weights, one per destination x
    const uint8_t *rowYw, *rowCw;  // row weights, one per destination y
    bool bilinear;
};

// Gathers the taps of one plane for one destination row into 4 buffers (2
// for nearest) and blends them into out (n samples, padded to 16).
void sample_row(const uint8_t* base, const PlaneTaps& col, uint64_t r0, uint64_t r1,
                const uint8_t* cw, uint8_t rw, bool bilinear, uint32_t n, uint8_t* scratch,
                uint8_t* out) {
    const uint64_t* o0 = col.o0.data();
    if (!bilinear) {
        const uint8_t* p = base + r0;
        for (uint32_t x = 0; x < n; ++x) out[x] = p[o0[x]];
        return;
    }
    const uint64_t* o1 = col.o1.data();
    const uint32_t padded = (n + 15) & ~15u;
    uint8_t *a = scratch, *b = a + padded, *c = b + padded, *d = c + padded;
    const uint8_t *p0 = base + r0, *p1 = base + r1;
    for (uint32_t x = 0; x < n; ++x) {
        a[x] = p0[o0[x]];
        b[x] = p0[o1[x]];
        c[x] = p1[o0[x]];
        d[x] = p1[o1[x]];
    }
    for (uint32_t x = 0; x < padded; x += 16)
        vst1q_u8(out + x, blend16(a + x, b + x, c + x, d + x, cw + x, rw));
}

template <int kChannels, bool kBlueFirst>
void rows(const Yuv420Source& s, const Plan& pl, uint32_t n, uint32_t y0, uint32_t y1,
          uint8_t* dst, uint64_t dstStride, const Kernel& kernel) {
    const Kernel k = kernel;
    const uint32_t padded = (n + 15) & ~15u;
    std::vector<uint8_t> buf(size_t(padded) * 7 + 64 * 4, 0);
    uint8_t *Y = buf.data(), *U = Y + padded, *V = U + padded, *scratch = V + padded;
    for (uint32_t y = y0; y < y1; ++y) {
        sample_row(s.y, pl.colY, pl.rowY.o0[y], pl.rowY.o1[y], pl.yw, pl.rowYw[y], pl.bilinear, n,
                   scratch, Y);
        sample_row(s.u, pl.colU, pl.rowU.o0[y], pl.rowU.o1[y], pl.cw, pl.rowCw[y], pl.bilinear, n,
                   scratch, U);
        sample_row(s.v, pl.colV, pl.rowV.o0[y], pl.rowV.o1[y], pl.cw, pl.rowCw[y], pl.bilinear, n,
                   scratch, V);
        uint8_t* out = dst + y * dstStride;
        uint32_t x = 0;
        for (; x + 16 <= n; x += 16)
            convert16<kChannels, kBlueFirst>(Y + x, U + x, V + x, k, out + kChannels * x);
        if (x < n) {
            uint8_t o[64];
            convert16<kChannels, kBlueFirst>(Y + x, U + x, V + x, k, o);
            std::memcpy(out + kChannels * x, o, kChannels * (n - x));
        }
    }
}

// The line path. Each destination row blends two source lines along the
// destination-x axis: for 0 and 180 degrees two source rows, for 90 and 270
// two source columns, turned into rows (tile transposes) a strip of columns
// at a time. The taps along a line are gathered by table lookups from a
// window of at most 64 bytes per block of 16 destination samples (index and
// weight vectors made once per call), which holds wherever a block's taps
// span that few bytes: up to about 3.9 source samples per destination sample
// on that axis. Elsewhere (and for chroma pairs that are not interleaved in
// one plane when turning) the gather path above runs. The arithmetic is the
// same: per plane, t = a (256 - w) + b w along the line (exact in 16 bits,
// at most 65280) for both lines, then (t0 (256 - w') + t1 w' + 2^15) >> 16
// across them in 32 bits, which is the four-tap sum of mira_image.h, and the
// same conversion.

constexpr uint32_t kBlock = 16;
constexpr uint32_t kWindowMax = 64;     // bytes a block's taps may span in a line
constexpr uint32_t kStripLuma = 64;     // source columns turned per strip (luma)
constexpr uint32_t kStripChroma = 40;   // and chroma
constexpr uint32_t kLinePad = 64;       // readable bytes after a line's last sample

constexpr bool kPairedTaps = kPairedTapBlend;  // mira_neon.h

// One block of 16 destination samples along x: byte indices into the block's
// window (yBase / cBase bytes into the luma / chroma line) of both taps and
// their weights, each in 1..255. With kPairedTaps the arrays hold pairs
// instead: *I0 and *W0 the first tap's and the second tap's index (weight)
// of samples 0..7 interleaved, *I1 and *W1 those of samples 8..15.
struct LineBlock {
    uint8_t yI0[16], yI1[16], yW0[16], yW1[16];
    uint8_t uI0[16], uI1[16], vI0[16], vI1[16], cW0[16], cW1[16];
    uint32_t start, yBase, cBase;
};

// Destination-x axis of the line path. Lines hold the source samples
// yMin..yMax (luma) and cMin..cMax (chroma); chroma sample c of a line is at
// byte cStep (c - cMin) + uOff (U) or + vOff (V).
struct LineAxis {
    std::vector<LineBlock> blocks;
    uint32_t yMin, yMax, cMin, cMax, cStep, uOff, vOff;
    uint32_t window;  // bytes loaded per window: 32 or 64
};

// The taps of one sample with weights that fit in 8 bits each: a weight 0 is
// the first tap alone, a 256 = a 128 + a 128.
inline void lane_taps(uint32_t i0, uint32_t i1, uint8_t w, uint32_t* j0, uint32_t* j1,
                      uint8_t* w0, uint8_t* w1) {
    if (w == 0) {
        *j0 = *j1 = i0;
        *w0 = *w1 = 128;
    } else {
        *j0 = i0;
        *j1 = i1;
        *w0 = uint8_t(256 - w);
        *w1 = w;
    }
}

// Per-tap arrays v[0] (first tap) and v[1] (second tap) of 16 samples into a
// block's pair of arrays (LineBlock).
inline void place_taps(const uint8_t (&v)[2][16], uint8_t* first, uint8_t* second) {
    for (uint32_t l = 0; l < kBlock; ++l) {
        if (kPairedTaps) {
            uint8_t* half = l < 8 ? first : second;
            half[2 * (l & 7)] = v[0][l];
            half[2 * (l & 7) + 1] = v[1][l];
        } else {
            first[l] = v[0][l];
            second[l] = v[1][l];
        }
    }
}

// The blocks of n destination samples; false where a block's taps span more
// than kWindowMax bytes of a line. Blocks start every 16 samples, the last
// one at n - 16 (overlapping its neighbour) where n is no multiple of 16; a
// row shorter than 16 has one block, its lanes past n - 1 repeating that
// sample.
bool line_axis(const AxisTaps& t, uint32_t n, uint32_t cStep, uint32_t uOff, uint32_t vOff,
               LineAxis* a) {
    a->cStep = cStep;
    a->uOff = uOff;
    a->vOff = vOff;
    a->yMin = *std::min_element(t.y0.begin(), t.y0.begin() + n);
    a->yMax = *std::max_element(t.y1.begin(), t.y1.begin() + n);
    a->cMin = *std::min_element(t.c0.begin(), t.c0.begin() + n);
    a->cMax = *std::max_element(t.c1.begin(), t.c1.begin() + n);
    const uint32_t offMax = std::max(uOff, vOff);
    uint32_t widest = 0;
    a->blocks.clear();
    for (uint32_t s = 0; s < n; s += kBlock) {
        LineBlock b;
        b.start = n >= kBlock && s + kBlock > n ? n - kBlock : s;
        uint32_t j0[16], j1[16], k0[16], k1[16];
        uint32_t ylo = UINT32_MAX, yhi = 0, clo = UINT32_MAX, chi = 0;
        for (uint32_t l = 0; l < kBlock; ++l) {
            const uint32_t d = std::min(b.start + l, n - 1);
            lane_taps(t.y0[d] - a->yMin, t.y1[d] - a->yMin, t.yw[d], &j0[l], &j1[l], &b.yW0[l],
                      &b.yW1[l]);
            lane_taps(t.c0[d] - a->cMin, t.c1[d] - a->cMin, t.cw[d], &k0[l], &k1[l], &b.cW0[l],
                      &b.cW1[l]);
            ylo = std::min(ylo, j0[l]);
            yhi = std::max(yhi, j1[l]);
            clo = std::min(clo, k0[l]);
            chi = std::max(chi, k1[l]);
        }
        b.yBase = ylo;
        b.cBase = cStep * clo;
        const uint32_t ySpan = yhi - ylo + 1, cSpan = cStep * (chi - clo) + offMax + 1;
        if (ySpan > kWindowMax || cSpan > kWindowMax) return false;
        widest = std::max(widest, std::max(ySpan, cSpan));
        uint8_t yi[2][16], ui[2][16], vi[2][16];
        for (uint32_t l = 0; l < kBlock; ++l) {
            yi[0][l] = uint8_t(j0[l] - ylo);
            yi[1][l] = uint8_t(j1[l] - ylo);
            ui[0][l] = uint8_t(cStep * (k0[l] - clo) + uOff);
            ui[1][l] = uint8_t(cStep * (k1[l] - clo) + uOff);
            vi[0][l] = uint8_t(cStep * (k0[l] - clo) + vOff);
            vi[1][l] = uint8_t(cStep * (k1[l] - clo) + vOff);
        }
        place_taps(yi, b.yI0, b.yI1);
        place_taps(ui, b.uI0, b.uI1);
        place_taps(vi, b.vI0, b.vI1);
        if (kPairedTaps) {
            uint8_t yw[2][16], cw[2][16];
            std::memcpy(yw[0], b.yW0, 16);
            std::memcpy(yw[1], b.yW1, 16);
            std::memcpy(cw[0], b.cW0, 16);
            std::memcpy(cw[1], b.cW1, 16);
            place_taps(yw, b.yW0, b.yW1);
            place_taps(cw, b.cW0, b.cW1);
        }
        a->blocks.push_back(b);
    }
    a->window = widest <= 32 ? 32 : 64;
    if (a->window == 32)  // the lookup's own form of 32-byte window indices
        for (LineBlock& b : a->blocks)
            for (uint8_t* idx : {b.yI0, b.yI1, b.uI0, b.uI1, b.vI0, b.vI1})
                for (uint32_t l = 0; l < kBlock; ++l) idx[l] = table_index32(idx[l]);
    return true;
}

template <int kWindow>
using Window = TableWindow<kWindow>;
using Along = TapBlend16;
using AcrossWeights = AcrossWeightPairs;

template <int kWindow>
inline Window<kWindow> load_window(const uint8_t* p) {
    return load_table_window<kWindow>(p);
}
template <int kWindow>
inline uint8x16_t lookup(const Window<kWindow>& w, uint8x16_t idx) {
    return table_lookup_u8(w, idx);
}
inline Along along(uint8x16_t x0, uint8x16_t x1, uint8x16_t w0, uint8x16_t w1) {
    return blend_taps_u8(x0, x1, w0, w1);
}
// The samples (0..255) of 16 destination pixels of one plane, as two halves
// of 8 16-bit lanes, from the first stage of lines a and b: the luma
// weights (kChroma false) or the chroma weights of the row.
template <bool kChroma>
inline void across(const Along& a, const Along& b, const AcrossWeights& w, uint16x8_t out[2]) {
    blend_across_u16<kChroma ? 1 : 0>(a, b, w, out);
}

// The conversion's terms of 8 samples in 16-bit lanes (0..255): the luma
// term (as luma_term) and a chroma sample centred and scaled (as centred256).
inline int16x8_t luma_term16(uint16x8_t y, const Kernel& k) {
    const int16x8_t a = vsubq_s16(vreinterpretq_s16_u16(vshlq_n_u16(y, 7)), k.yOffset128);
    return mul_coef<kCoefY>(a, k);
}
inline int16x8_t centred256_16(uint16x8_t c) {
    return vreinterpretq_s16_u16(veorq_u16(vshlq_n_u16(c, 8), vdupq_n_u16(0x8000)));
}

// The lines of one destination row: luma lines ya, yb with weight yw (of
// yb), chroma lines ua, ub (U) and va, vb (V) with weight cw. kShared: the U
// and V samples lie in the same lines (interleaved pairs), va == ua.
struct RowLines {
    const uint8_t *ya, *yb, *ua, *ub, *va, *vb;
    uint8_t yw, cw;
};

// The first stage of one plane along one line for a block: the line's
// window, the taps' indices i0, i1 and weights w0, w1 (LineBlock).
template <int kWindow>
MIRA_TILE_INLINE Along along_window(const Window<kWindow>& win, uint8x16_t i0, uint8x16_t i1,
                                    uint8x16_t w0, uint8x16_t w1) {
    return along(lookup(win, i0), lookup(win, i1), w0, w1);
}

// Lambdas inlined into their loops.
#if defined(__GNUC__)
#define MIRA_LAMBDA_INLINE __attribute__((always_inline))
#else
#define MIRA_LAMBDA_INLINE
#endif

// kRows destination rows (1, or 2 that read the same chroma lines, whose
// first stage is then made once) into outs[]. kShared: U and V lie in the
// same lines (interleaved pairs).
template <int kWindow, int kChannels, bool kBlueFirst, bool kShared, int kRows>
void line_rows(const LineAxis& ax, uint32_t n, const RowLines* lines, const Kernel& kernel,
               uint8_t* const* outs) {
    const Kernel k = kernel;
    RowLines r[kRows];  // copies: the stores may alias anything reached through `lines`
    uint8_t* out[kRows];
    for (int i = 0; i < kRows; ++i) {
        r[i] = lines[i];
        out[i] = outs[i];
    }
    const AcrossWeights rw0(r[0].yw, r[0].cw), rw1(r[kRows - 1].yw, r[kRows - 1].cw);
    const auto block = [&](const LineBlock& b, uint8_t* const* dst) MIRA_LAMBDA_INLINE {
        const uint8x16_t cW0 = vld1q_u8(b.cW0), cW1 = vld1q_u8(b.cW1);
        const uint8x16_t uI0 = vld1q_u8(b.uI0), uI1 = vld1q_u8(b.uI1);
        const uint8x16_t vI0 = vld1q_u8(b.vI0), vI1 = vld1q_u8(b.vI1);
        const Window<kWindow> ua = load_window<kWindow>(r[0].ua + b.cBase);
        const Window<kWindow> ub = load_window<kWindow>(r[0].ub + b.cBase);
        const Along ta = along_window(ua, uI0, uI1, cW0, cW1);
        const Along tb = along_window(ub, uI0, uI1, cW0, cW1);
        Along sa, sb;
        if constexpr (kShared) {
            sa = along_window(ua, vI0, vI1, cW0, cW1);
            sb = along_window(ub, vI0, vI1, cW0, cW1);
        } else {
            sa = along_window(load_window<kWindow>(r[0].va + b.cBase), vI0, vI1, cW0, cW1);
            sb = along_window(load_window<kWindow>(r[0].vb + b.cBase), vI0, vI1, cW0, cW1);
        }
        const uint8x16_t yI0 = vld1q_u8(b.yI0), yI1 = vld1q_u8(b.yI1);
        const uint8x16_t yW0 = vld1q_u8(b.yW0), yW1 = vld1q_u8(b.yW1);
        MIRA_TILE_UNROLL
        for (int i = 0; i < kRows; ++i) {
            const AcrossWeights& rw = i ? rw1 : rw0;
            const Along ya =
                along_window(load_window<kWindow>(r[i].ya + b.yBase), yI0, yI1, yW0, yW1);
            const Along yb =
                along_window(load_window<kWindow>(r[i].yb + b.yBase), yI0, yI1, yW0, yW1);
            uint16x8_t Y[2], U[2], V[2];
            across<false>(ya, yb, rw, Y);
            across<true>(ta, tb, rw, U);
            across<true>(sa, sb, rw, V);
            int16x8_t lt[2], ut[2], vt[2];
            for (int h = 0; h < 2; ++h) {
                lt[h] = luma_term16(Y[h], k);
                ut[h] = centred256_16(U[h]);
                vt[h] = centred256_16(V[h]);
            }
            convert_terms16<kChannels, kBlueFirst>(lt, ut, vt, k, dst[i]);
        }
    };
    if (n < kBlock) {
        uint8_t o[kRows][kBlock * 4];
        uint8_t* d[kRows];
        for (int i = 0; i < kRows; ++i) d[i] = o[i];
        block(ax.blocks[0], d);
        for (int i = 0; i < kRows; ++i) std::memcpy(out[i], o[i], size_t(kChannels) * n);
        return;
    }
    for (const LineBlock& b : ax.blocks) {
        uint8_t* d[kRows];
        for (int i = 0; i < kRows; ++i) d[i] = out[i] + kChannels * b.start;
        block(b, d);
    }
}

// One destination row, and two destination rows reading the same chroma
// lines.
using LineRowFn = void (*)(const LineAxis&, uint32_t, const RowLines*, const Kernel&,
                           uint8_t* const*);
struct LineRowFns {
    LineRowFn one, two;
};

template <int kWindow, bool kShared>
LineRowFns line_rows_for(int format) {
    const bool blueFirst = rgb_blue_first(format);
    if (rgb_channels(format) == 4)
        return blueFirst ? LineRowFns{line_rows<kWindow, 4, true, kShared, 1>,
                                      line_rows<kWindow, 4, true, kShared, 2>}
                         : LineRowFns{line_rows<kWindow, 4, false, kShared, 1>,
                                      line_rows<kWindow, 4, false, kShared, 2>};
    return blueFirst ? LineRowFns{line_rows<kWindow, 3, true, kShared, 1>,
                                  line_rows<kWindow, 3, true, kShared, 2>}
                     : LineRowFns{line_rows<kWindow, 3, false, kShared, 1>,
                                  line_rows<kWindow, 3, false, kShared, 2>};
}

// Everything a band of the line path needs.
struct LinePlan {
    const Yuv420Source* src;
    uint32_t srcWidth, srcHeight, dstWidth;
    const AxisTaps* row;  // destination-y axis
    LineAxis ax;          // destination-x axis
    bool turned;          // 90 or 270: lines are source columns
    bool shared;          // chroma pairs interleaved in one plane (turned only)
    const uint8_t* pairs; // their first byte (the lower of u, v)
    LineRowFns fn;
    Kernel kernel;
    uint8_t* dst;
    uint64_t dstStride;
};

inline uint32_t align16(uint64_t v) { return uint32_t((v + 15) & ~uint64_t(15)); }

// Upright (0, 180 degrees): the lines are source rows, copied (their used
// samples) into padded buffers so that the windows never read past a row;
// a row copied for the previous destination row is reused.
void line_band_upright(const LinePlan& p, uint32_t y0, uint32_t y1) {
    const Yuv420Source& s = *p.src;
    const LineAxis& ax = p.ax;
    const uint32_t lenY = ax.yMax - ax.yMin + 1;
    const uint32_t lenC = ax.cStep * (ax.cMax - ax.cMin) + 1;
    const uint32_t strideY = align16(lenY + kLinePad), strideC = align16(lenC + kLinePad);
    std::vector<uint8_t> buf(2 * size_t(strideY) + 4 * size_t(strideC) + 16, 0);
    uint8_t* base = buf.data() + ((16 - (reinterpret_cast<uintptr_t>(buf.data()) & 15)) & 15);
    // Two slots per plane, each remembering the source row it holds.
    struct Slots {
        uint8_t* line[2];
        int64_t held[2];
    };
    Slots sy{{base, base + strideY}, {-1, -1}};
    uint8_t* cb = base + 2 * size_t(strideY);
    Slots su{{cb, cb + strideC}, {-1, -1}};
    Slots sv{{cb + 2 * size_t(strideC), cb + 3 * size_t(strideC)}, {-1, -1}};
    const auto fetch = [](Slots& sl, uint32_t rowA, uint32_t rowB, const uint8_t* plane,
                          uint64_t stride, uint64_t offset, uint32_t len, const uint8_t** a,
                          const uint8_t** b) {
        const uint32_t want[2] = {rowA, rowB};
        int at[2] = {-1, -1};
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j)
                if (sl.held[j] == int64_t(want[i])) at[i] = j;
        for (int i = 0; i < 2; ++i) {
            if (at[i] >= 0) continue;
            if (i == 1 && want[1] == want[0]) {
                at[1] = at[0];
                continue;
            }
            // A slot that the other wanted row does not occupy.
            const int other = at[1 - i];
            const int j = other == 0 ? 1 : 0;
            std::memcpy(sl.line[j], plane + want[i] * stride + offset, len);
            sl.held[j] = want[i];
            at[i] = j;
        }
        *a = sl.line[at[0]];
        *b = sl.line[at[1]];
    };
    const uint64_t ps = uint64_t(s.pixelStride);
    for (uint32_t y = y0; y < y1; ++y) {
        RowLines r;
        fetch(sy, p.row->y0[y], p.row->y1[y], s.y, s.yStride, ax.yMin, lenY, &r.ya, &r.yb);
        fetch(su, p.row->c0[y], p.row->c1[y], s.u, s.uStride, ps * ax.cMin, lenC, &r.ua, &r.ub);
        fetch(sv, p.row->c0[y], p.row->c1[y], s.v, s.vStride, ps * ax.cMin, lenC, &r.va, &r.vb);
        r.yw = p.row->yw[y];
        r.cw = p.row->cw[y];
        uint8_t* out = p.dst + y * p.dstStride;
        p.fn.one(ax, p.dstWidth, &r, p.kernel, &out);
    }
}

// Source columns first..first + count - 1 (at least 16 where the plane has
// them) covering lo..hi, within 0..size - 1.
inline void strip_columns(uint32_t lo, uint32_t hi, uint32_t size, uint32_t* first,
                          uint32_t* count) {
    uint32_t c = hi - lo + 1;
    if (c < 16) c = std::min<uint32_t>(16, size);
    *first = std::min(lo, size - c);
    *count = c;
}

// Turned (90, 270 degrees): the destination-x axis runs along source
// columns. The band's destination rows are taken in strips whose source
// columns (at most kStripLuma luma and kStripChroma chroma) are transposed
// into buffers of lines, one line per source column.
void line_band_turned(const LinePlan& p, uint32_t y0, uint32_t y1) {
    const Yuv420Source& s = *p.src;
    const LineAxis& ax = p.ax;
    const AxisTaps& row = *p.row;
    const uint32_t cw = (p.srcWidth + 1) / 2;
    const uint32_t rowsY = ax.yMax - ax.yMin + 1, rowsC = ax.cMax - ax.cMin + 1;
    const uint32_t strideY = align16(rowsY + kLinePad);
    const uint32_t strideC = align16(uint64_t(ax.cStep) * rowsC + kLinePad);
    const uint32_t planesC = p.shared ? 1 : 2;
    std::vector<uint8_t> buf(size_t(strideY) * kStripLuma +
                                 size_t(strideC) * kStripChroma * planesC + 16,
                             0);
    uint8_t* ty = buf.data() + ((16 - (reinterpret_cast<uintptr_t>(buf.data()) & 15)) & 15);
    uint8_t* tu = ty + size_t(strideY) * kStripLuma;
    uint8_t* tv = p.shared ? tu : tu + size_t(strideC) * kStripChroma;
    uint32_t y = y0;
    while (y < y1) {
        uint32_t ylo = std::min(row.y0[y], row.y1[y]), yhi = std::max(row.y0[y], row.y1[y]);
        uint32_t clo = std::min(row.c0[y], row.c1[y]), chi = std::max(row.c0[y], row.c1[y]);
        uint32_t e = y + 1;
        for (; e < y1; ++e) {
            const uint32_t nylo = std::min({ylo, row.y0[e], row.y1[e]});
            const uint32_t nyhi = std::max({yhi, row.y0[e], row.y1[e]});
            const uint32_t nclo = std::min({clo, row.c0[e], row.c1[e]});
            const uint32_t nchi = std::max({chi, row.c0[e], row.c1[e]});
            if (nyhi - nylo + 1 > kStripLuma || nchi - nclo + 1 > kStripChroma) break;
            ylo = nylo, yhi = nyhi, clo = nclo, chi = nchi;
        }
        uint32_t fy, ny, fc, nc;
        strip_columns(ylo, yhi, p.srcWidth, &fy, &ny);
        strip_columns(clo, chi, cw, &fc, &nc);
        using tile_transpose::transpose_tiles;
        transpose_tiles<1>(s.y + ax.yMin * s.yStride + fy, int64_t(s.yStride), ty,
                           int64_t(strideY), rowsY, ny);
        if (p.shared) {
            transpose_tiles<2>(p.pairs + ax.cMin * s.uStride + 2 * uint64_t(fc),
                               int64_t(s.uStride), tu, int64_t(strideC), rowsC, nc);
        } else {
            transpose_tiles<1>(s.u + ax.cMin * s.uStride + fc, int64_t(s.uStride), tu,
                               int64_t(strideC), rowsC, nc);
            transpose_tiles<1>(s.v + ax.cMin * s.vStride + fc, int64_t(s.vStride), tv,
                               int64_t(strideC), rowsC, nc);
        }
        const auto lines = [&](uint32_t yy) {
            RowLines r;
            r.ya = ty + size_t(row.y0[yy] - fy) * strideY;
            r.yb = ty + size_t(row.y1[yy] - fy) * strideY;
            r.ua = tu + size_t(row.c0[yy] - fc) * strideC;
            r.ub = tu + size_t(row.c1[yy] - fc) * strideC;
            r.va = tv + size_t(row.c0[yy] - fc) * strideC;
            r.vb = tv + size_t(row.c1[yy] - fc) * strideC;
            r.yw = row.yw[yy];
            r.cw = row.cw[yy];
            return r;
        };
        while (y < e) {
            // Two rows at once where they read the same chroma lines.
            const RowLines r[2] = {lines(y), lines(y + 1 < e ? y + 1 : y)};
            uint8_t* const out[2] = {p.dst + y * p.dstStride, p.dst + (y + 1) * p.dstStride};
            if (y + 1 < e && row.c0[y] == row.c0[y + 1] && row.c1[y] == row.c1[y + 1]) {
                p.fn.two(ax, p.dstWidth, r, p.kernel, out);
                y += 2;
            } else {
                p.fn.one(ax, p.dstWidth, r, p.kernel, out);
                ++y;
            }
        }
    }
}

}  // namespace

void yuv420_to_rgb_transform_neon(const Yuv420Source& src, uint32_t srcWidth, uint32_t srcHeight,
                                  uint8_t* dst, uint64_t dstStride, uint32_t dstWidth,
                                  uint32_t dstHeight, int degrees, bool mirror, bool bilinear,
                                  int format, int matrix, int range) {
    if (srcWidth == 0 || srcHeight == 0 || dstWidth == 0 || dstHeight == 0) return;
    const Orientation o = orientation(degrees, mirror);
    // Destination x reads source x (or y when turned), destination y the other.
    AxisTaps col, row;
    axis_taps(dstWidth, o.swap ? srcHeight : srcWidth, o.swap ? o.flipSrcY : o.flipSrcX, bilinear,
              &col);
    axis_taps(dstHeight, o.swap ? srcWidth : srcHeight, o.swap ? o.flipSrcX : o.flipSrcY, bilinear,
              &row);
    const uint64_t pixels = uint64_t(dstWidth) * dstHeight;
    const int bands =
        pixels < (1u << 16) ? 1 : int(std::min<uint32_t>(16, std::max(1u, dstHeight / 16)));
    // The line path where the frame's chroma allows it and every block's taps
    // fit a window.
    const bool interleaved = src.pixelStride == 2 && src.uStride == src.vStride &&
                             (src.u + 1 == src.v || src.v + 1 == src.u);
    if (!o.swap || src.pixelStride == 1 || interleaved) {
        const bool shared = o.swap && interleaved;
        const uint32_t cStep = o.swap ? (shared ? 2 : 1) : uint32_t(src.pixelStride);
        const uint32_t uOff = shared && src.u > src.v ? 1 : 0;
        const uint32_t vOff = shared && src.v > src.u ? 1 : 0;
        LinePlan lp{&src, srcWidth, srcHeight, dstWidth, &row, {}, o.swap, shared,
                    std::min(src.u, src.v), {nullptr, nullptr},
                    Kernel(kToRgb[matrix][range]), dst, dstStride};
        if (line_axis(col, dstWidth, cStep, uOff, vOff, &lp.ax)) {
            lp.fn = lp.ax.window == 32 ? (shared ? line_rows_for<32, true>(format)
                                                 : line_rows_for<32, false>(format))
                                       : (shared ? line_rows_for<64, true>(format)
                                                 : line_rows_for<64, false>(format));
            const auto band = [&](uint32_t r0, uint32_t r1) {
                if (lp.turned)
                    line_band_turned(lp, r0, r1);
                else
                    line_band_upright(lp, r0, r1);
            };
            if (bands == 1) {
                band(0, dstHeight);
                return;
            }
            run_bands(bands, [&](int b) {
                band(uint32_t(uint64_t(dstHeight) * b / bands),
                     uint32_t(uint64_t(dstHeight) * (b + 1) / bands));
            });
            return;
        }
    }
    // The column weights padded for the 16-sample blends.
    const uint32_t padded = (dstWidth + 15) & ~15u;
    col.yw.resize(padded, 0);
    col.cw.resize(padded, 0);
    const uint64_t ps = uint64_t(src.pixelStride);
    // Steps along source x and y for each plane.
    const uint64_t xY = 1, yY = src.yStride, xU = ps, yU = src.uStride, xV = ps, yV = src.vStride;
    Plan pl;
    plane_taps(col.y0, col.y1, o.swap ? yY : xY, &pl.colY);
    plane_taps(col.c0, col.c1, o.swap ? yU : xU, &pl.colU);
    plane_taps(col.c0, col.c1, o.swap ? yV : xV, &pl.colV);
    plane_taps(row.y0, row.y1, o.swap ? xY : yY, &pl.rowY);
    plane_taps(row.c0, row.c1, o.swap ? xU : yU, &pl.rowU);
    plane_taps(row.c0, row.c1, o.swap ? xV : yV, &pl.rowV);
    pl.yw = col.yw.data();
    pl.cw = col.cw.data();
    pl.rowYw = row.yw.data();
    pl.rowCw = row.cw.data();
    pl.bilinear = bilinear;
    const Kernel k(kToRgb[matrix][range]);
    const bool blueFirst = rgb_blue_first(format);
    const auto fn = rgb_channels(format) == 4 ? (blueFirst ? rows<4, true> : rows<4, false>)
                                              : (blueFirst ? rows<3, true> : rows<3, false>);
    if (bands == 1) {
        fn(src, pl, dstWidth, 0, dstHeight, dst, dstStride, k);
        return;
    }
    run_bands(bands, [&](int b) {
        const uint32_t r0 = uint32_t(uint64_t(dstHeight) * b / bands);
        const uint32_t r1 = uint32_t(uint64_t(dstHeight) * (b + 1) / bands);
        fn(src, pl, dstWidth, r0, r1, dst, dstStride, k);
    });
}

}  // namespace mira
