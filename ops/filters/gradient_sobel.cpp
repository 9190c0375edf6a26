#include <cstdlib>

#include "mira/mira_kernels.h"
#include "ops/filters/gradient_sobel.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

inline int16_t* row16(int16_t* base, uint32_t stride, uint32_t y) {
    return reinterpret_cast<int16_t*>(reinterpret_cast<uint8_t*>(base) +
                                      static_cast<uint64_t>(y) * stride);
}

// Weighted sum p + 2q + r of three byte vectors, in 16 bits.
inline uint16x8_t tap121(uint8x8_t p, uint8x8_t q, uint8x8_t r) {
    return vaddq_u16(vaddl_u8(p, r), vshll_n_u8(q, 1));
}

inline int16x8_t sub16(uint16x8_t a, uint16x8_t b) { return vreinterpretq_s16_u16(vsubq_u16(a, b)); }

// Eight Sobel outputs from the nine byte vectors around them: a above, c the
// row itself, b below; m one column left, 0 the column, p one column right.
inline void sobel8(uint8x8_t am, uint8x8_t a0, uint8x8_t ap, uint8x8_t cm, uint8x8_t cp,
                   uint8x8_t bm, uint8x8_t b0, uint8x8_t bp, int16_t* ox, int16_t* oy) {
    vst1q_s16(ox, sub16(tap121(ap, cp, bp), tap121(am, cm, bm)));
    vst1q_s16(oy, sub16(tap121(bm, b0, bp), tap121(am, a0, ap)));
}

inline int sobel_dx(const uint8_t* a, const uint8_t* c, const uint8_t* b, uint32_t x) {
    return (a[x + 1] + 2 * c[x + 1] + b[x + 1]) - (a[x - 1] + 2 * c[x - 1] + b[x - 1]);
}

inline int sobel_dy(const uint8_t* a, const uint8_t* b, uint32_t x) {
    return (b[x - 1] + 2 * b[x] + b[x + 1]) - (a[x - 1] + 2 * a[x] + a[x + 1]);
}


void sobel_direct(const uint8_t* src, uint32_t width, uint32_t height,
                            uint32_t srcStride, int16_t* dx, uint32_t dxStride, int16_t* dy,
                            uint32_t dyStride) {
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint8_t* a = src + static_cast<uint64_t>(y - 1) * srcStride;
        const uint8_t* c = a + srcStride;
        const uint8_t* b = c + srcStride;
        int16_t* ox = row16(dx, dxStride, y);
        int16_t* oy = row16(dy, dyStride, y);
        for_interior_blocks(
            width,
            [&](uint32_t x) {
                const uint8x16_t am = vld1q_u8(a + x - 1), a0 = vld1q_u8(a + x),
                                 ap = vld1q_u8(a + x + 1);
                const uint8x16_t cm = vld1q_u8(c + x - 1), cp = vld1q_u8(c + x + 1);
                const uint8x16_t bm = vld1q_u8(b + x - 1), b0 = vld1q_u8(b + x),
                                 bp = vld1q_u8(b + x + 1);
                sobel8(vget_low_u8(am), vget_low_u8(a0), vget_low_u8(ap), vget_low_u8(cm),
                       vget_low_u8(cp), vget_low_u8(bm), vget_low_u8(b0), vget_low_u8(bp),
                       ox + x, oy + x);
                sobel8(vget_high_u8(am), vget_high_u8(a0), vget_high_u8(ap), vget_high_u8(cm),
                       vget_high_u8(cp), vget_high_u8(bm), vget_high_u8(b0), vget_high_u8(bp),
                       ox + x + 8, oy + x + 8);
            },
            [&](uint32_t x) {
                sobel8(vld1_u8(a + x - 1), vld1_u8(a + x), vld1_u8(a + x + 1), vld1_u8(c + x - 1),
                       vld1_u8(c + x + 1), vld1_u8(b + x - 1), vld1_u8(b + x), vld1_u8(b + x + 1),
                       ox + x, oy + x);
            },
            [&](uint32_t x) {
                ox[x] = static_cast<int16_t>(sobel_dx(a, c, b, x));
                oy[x] = static_cast<int16_t>(sobel_dy(a, b, x));
            });
    }
}

#if defined(__aarch64__) || defined(_M_ARM64)

// The horizontal passes of one source row for 16 interior columns x..x+15
// (r points at column x): h = r[x+1] - r[x-1] (feeds dx) and
// v = r[x-1] + 2 r[x] + r[x+1] (feeds dy), each as two vectors of 8 columns,
// widened from bytes on the way.
struct RowPasses {
    uint16x8_t h[2], v[2];
};

inline RowPasses row_passes16(const uint8_t* r) {
    const uint8x16_t m = vld1q_u8(r - 1), c = vld1q_u8(r), p = vld1q_u8(r + 1);
    RowPasses o;
    o.h[0] = sub_widen_lo_u8(p, m);
    o.h[1] = sub_widen_hi_u8(p, m);
    o.v[0] = vaddq_u16(add_widen_lo_u8(m, p), add_widen_lo_u8(c, c));
    o.v[1] = vaddq_u16(add_widen_hi_u8(m, p), add_widen_hi_u8(c, c));
    return o;
}

// dx = h(y-1) + 2 h(y) + h(y+1), dy = v(y+1) - v(y-1) for 16 columns.
inline void sobel_out16(const RowPasses& above, const RowPasses& row, const RowPasses& below,
                        int16_t* ox, int16_t* oy) {
    for (int k = 0; k < 2; ++k) {
        const uint16x8_t d = vaddq_u16(vaddq_u16(above.h[k], row.h[k]), vaddq_u16(row.h[k], below.h[k]));
        vst1q_s16(ox + 8 * k, vreinterpretq_s16_u16(d));
        vst1q_s16(oy + 8 * k, sub16(below.v[k], above.v[k]));
    }
}

// Output rows per band: each column block is walked down one band at a time,
// its first two source rows' passes computed again at the top of each band.
constexpr uint32_t kBandRows = 64;

// Output rows y0..y1-1 of the 16 columns from x: the block walks down the
// rows, keeping the passes of the two source rows above the next output row
// in registers, so that each source row's passes are computed once per
// block and nothing goes through memory but the source and the outputs.
// Three rows per step, the roles of the three sets of passes rotating with
// the rows (no copies between them).
void sobel_block16(const uint8_t* src, uint32_t srcStride, size_t x, uint32_t y0, uint32_t y1,
                   int16_t* dx, uint32_t dxStride, int16_t* dy, uint32_t dyStride) {
    const uint8_t* r = src + static_cast<uint64_t>(y0 - 1) * srcStride + x;
    int16_t* ox = row16(dx, dxStride, y0) + x;
    int16_t* oy = row16(dy, dyStride, y0) + x;
    RowPasses p0 = row_passes16(r), p1 = row_passes16(r + srcStride), p2;
    r += 2 * static_cast<uint64_t>(srcStride);
    // One output row from the passes above (a) and at (b) the row, the new
    // row's passes into n.
    auto step = [&](const RowPasses& a, const RowPasses& b, RowPasses& n) {
        n = row_passes16(r);
        sobel_out16(a, b, n, ox, oy);
        r += srcStride;
        ox = row16(ox, dxStride, 1);
        oy = row16(oy, dyStride, 1);
    };
    uint32_t rows = y1 - y0;
    for (; rows >= 3; rows -= 3) {
        step(p0, p1, p2);
        step(p1, p2, p0);
        step(p2, p0, p1);
    }
    if (rows >= 1) step(p0, p1, p2);
    if (rows >= 2) step(p1, p2, p0);
}

#else

// Horizontal passes of one source row for the interior columns: h1 = p(x+1) -
// p(x-1) (feeds dx) and h2 = p(x-1) + 2 p(x) + p(x+1) (feeds dy), 8 columns.
// From bytes widened to 16 bits; sobel_rows8 reads 8 bytes per column
// offset, sobel_rows16 16 (both halves).
inline void sobel_rows(uint16x8_t m, uint16x8_t c, uint16x8_t p, int16x8_t& h1, int16x8_t& h2) {
    h1 = sub16(p, m);
    h2 = vreinterpretq_s16_u16(vaddq_u16(vaddq_u16(m, p), vshlq_n_u16(c, 1)));
}

inline void sobel_rows8(const uint8_t* r, uint32_t x, int16x8_t& h1, int16x8_t& h2) {
    sobel_rows(load_widen_u8(r + x - 1), load_widen_u8(r + x), load_widen_u8(r + x + 1), h1, h2);
}

inline void sobel_rows16(const uint8_t* r, uint32_t x, int16x8_t h1[2], int16x8_t h2[2]) {
    sobel_rows8(r, x, h1[0], h2[0]);
    sobel_rows8(r, x + 8, h1[1], h2[1]);
}

// Separable form with a ring of rows (the path where NEON is emulated: there
// the widening differences of the block walk cost two widenings each, and
// the block walk measured ~40% slower on x86-64): each source row's
// horizontal passes are computed once and kept for the three output rows that use them (a ring of three rows), then
// dx = h1(y-1) + 2 h1(y) + h1(y+1) and dy = h2(y+1) - h2(y-1). Narrow images,
// and a failed scratch allocation, take the direct 3x3 form.
void sobel_ring(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                int16_t* dx, uint32_t dxStride, int16_t* dy, uint32_t dyStride) {
    int16_t* ring = static_cast<int16_t*>(malloc(sizeof(int16_t) * 6 * size_t(width)));
    if (ring == nullptr) {
        sobel_direct(src, width, height, srcStride, dx, dxStride, dy, dyStride);
        return;
    }
    int16_t* h1[3] = {ring, ring + width, ring + 2 * size_t(width)};
    int16_t* h2[3] = {ring + 3 * size_t(width), ring + 4 * size_t(width), ring + 5 * size_t(width)};
    auto srow = [&](uint32_t y) { return src + static_cast<uint64_t>(y) * srcStride; };
    for (uint32_t r = 0; r < 2; ++r) {
        const uint8_t* s = srow(r);
        for_interior_blocks(
            width, [&](uint32_t x) {
                int16x8_t a[2], b[2];
                sobel_rows16(s, x, a, b);
                for (int k = 0; k < 2; ++k) {
                    vst1q_s16(h1[r] + x + 8 * k, a[k]);
                    vst1q_s16(h2[r] + x + 8 * k, b[k]);
                }
            },
            [&](uint32_t x) {
                int16x8_t a, b;
                sobel_rows8(s, x, a, b);
                vst1q_s16(h1[r] + x, a);
                vst1q_s16(h2[r] + x, b);
            },
            [](uint32_t) {});
    }
    for (uint32_t y = 1; y + 1 < height; ++y) {
        const uint32_t ip = (y - 1) % 3, ic = y % 3, in = (y + 1) % 3;
        const uint8_t* s = srow(y + 1);
        int16_t* ox = row16(dx, dxStride, y);
        int16_t* oy = row16(dy, dyStride, y);
        // Keeps the new row's passes n1, n2 and writes 8 outputs of each plane.
        auto out8 = [&](uint32_t x, int16x8_t n1, int16x8_t n2) {
            vst1q_s16(h1[in] + x, n1);
            vst1q_s16(h2[in] + x, n2);
            const int16x8_t p1 = vld1q_s16(h1[ip] + x), c1 = vld1q_s16(h1[ic] + x);
            const int16x8_t p2 = vld1q_s16(h2[ip] + x);
            vst1q_s16(ox + x, vaddq_s16(vaddq_s16(p1, n1), vshlq_n_s16(c1, 1)));
            vst1q_s16(oy + x, vsubq_s16(n2, p2));
        };
        for_interior_blocks(
            width,
            [&](uint32_t x) {
                int16x8_t n1[2], n2[2];
                sobel_rows16(s, x, n1, n2);
                out8(x, n1[0], n2[0]);
                out8(x + 8, n1[1], n2[1]);
            },
            [&](uint32_t x) {
                int16x8_t n1, n2;
                sobel_rows8(s, x, n1, n2);
                out8(x, n1, n2);
            },
            [](uint32_t) {});
    }
    free(ring);
}

#endif

}  // namespace

// On AArch64: interior columns in blocks of 16 (the last block shifted left
// to end at the last interior column, recomputing identical values), each
// walked down bands of rows (sobel_block16). Elsewhere the separable ring
// (sobel_ring). Images with fewer than 16 interior columns take the direct
// 3x3 form, as does the ring when its scratch allocation fails.
void gradient_sobel_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                            uint32_t srcStride, int16_t* dx, uint32_t dxStride, int16_t* dy,
                            uint32_t dyStride) {
    if (width == 0 || height == 0) return;
    gradient_clear_frame(dx, width, height, dxStride);
    gradient_clear_frame(dy, width, height, dyStride);
    if (width < 18 || height < 3) {
        sobel_direct(src, width, height, srcStride, dx, dxStride, dy, dyStride);
        return;
    }
#if defined(__aarch64__) || defined(_M_ARM64)
    for (uint32_t y0 = 1; y0 + 1 < height; y0 += kBandRows) {
        const uint32_t y1 = height - 1 - y0 < kBandRows ? height - 1 : y0 + kBandRows;
        for_interior_blocks(
            width,
            [&](size_t x) { sobel_block16(src, srcStride, x, y0, y1, dx, dxStride, dy, dyStride); },
            [](size_t) {}, [](size_t) {});
    }
#else
    sobel_ring(src, width, height, srcStride, dx, dxStride, dy, dyStride);
#endif
}

void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                       int16_t* dx, int16_t* dy, uint32_t dstS) {
    gradient_sobel_u8_neon(src, w, h, s, dx, dstS, dy, dstS);
}

}  // namespace mira
