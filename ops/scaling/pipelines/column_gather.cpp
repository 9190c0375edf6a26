// The column gather of the up-scaling pipelines (column_gather.h).
#include "ops/scaling/pipelines/column_gather.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "ops/mira_neon.h"

namespace {

bool is_query(const halide_buffer_t* b) { return b->host == nullptr && b->device == 0; }

int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Element offset of (i0, i1, i2) in a buffer (dimensions beyond its own
// count are ignored).
ptrdiff_t offset_of(const halide_buffer_t* b, int64_t i0, int64_t i1 = 0, int64_t i2 = 0) {
    const int64_t idx[3] = {i0, i1, i2};
    ptrdiff_t off = 0;
    for (int d = 0; d < b->dimensions && d < 3; ++d)
        off += ptrdiff_t(idx[d] - b->dim[d].min) * b->dim[d].stride;
    return off;
}

}  // namespace

extern "C" int mira_gather_columns(halide_buffer_t* rows, halide_buffer_t* cols,
                                   halide_buffer_t* masks, halide_buffer_t* bases, int32_t lo,
                                   int32_t hi, halide_buffer_t* out) {
    using mira::kGatherBlock;
    if (rows->dimensions != 3 || out->dimensions != 3 || cols->dimensions != 1 ||
        masks->dimensions != 1 || bases->dimensions != 1 || hi < lo)
        return -1;
    const int64_t x0 = out->dim[0].min, xn = std::max<int64_t>(out->dim[0].extent, 0);
    const int64_t x1 = x0 + xn;
    if (is_query(rows) || is_query(cols) || is_query(masks) || is_query(bases)) {
        // Every source column a table value may name, and the 16 bytes a
        // block loads from its base (one more for the second tap).
        if (is_query(rows)) {
            rows->dim[0].min = lo;
            rows->dim[0].extent = int32_t(int64_t(hi) + kGatherBlock - lo + 1);
            for (int d = 1; d < 3; ++d) {
                rows->dim[d].min = out->dim[d].min;
                rows->dim[d].extent = out->dim[d].extent;
            }
        }
        for (halide_buffer_t* t : {cols, masks}) {
            if (!is_query(t)) continue;
            t->dim[0].min = int32_t(x0);
            t->dim[0].extent = int32_t(xn);
        }
        if (is_query(bases)) {
            const int64_t k0 = floor_div(x0, kGatherBlock);
            bases->dim[0].min = int32_t(k0);
            bases->dim[0].extent = xn > 0 ? int32_t(floor_div(x1 - 1, kGatherBlock) - k0 + 1) : 0;
        }
        return 0;
    }
    const int bytes = out->type.bytes();
    if (rows->type.bytes() != 1 || (bytes != 1 && bytes != 2) || cols->type.bytes() != 4 ||
        masks->type.bytes() != 1 || bases->type.bytes() != 4)
        return -1;
    if (xn == 0 || out->dim[1].extent <= 0 || out->dim[2].extent <= 0) return 0;
    // The rows hold the output's rows and the columns lo to hi.
    auto covers = [](const halide_dimension_t& d, int64_t first, int64_t n) {
        return d.min <= first && int64_t(d.min) + d.extent >= first + n;
    };
    if (!covers(rows->dim[1], out->dim[1].min, out->dim[1].extent) ||
        !covers(rows->dim[2], out->dim[2].min, out->dim[2].extent) ||
        !covers(rows->dim[0], lo, int64_t(hi) - lo + 1))
        return -1;
    // The columns the tables describe. The generated code may realize a
    // wider output region than its tables cover (columns no consumer
    // reads): those columns are set to 0 without reading the tables.
    const int64_t xa = std::max({x0, int64_t(cols->dim[0].min), int64_t(masks->dim[0].min)});
    const int64_t xb = std::min({x1, int64_t(cols->dim[0].min) + cols->dim[0].extent,
                                 int64_t(masks->dim[0].min) + masks->dim[0].extent});
    const int64_t ka = bases->dim[0].min, kb = ka + bases->dim[0].extent;

    const uint8_t* src = rows->host;
    const int32_t* col = reinterpret_cast<const int32_t*>(cols->host);
    const uint8_t* mask = masks->host;
    const int32_t* base = reinterpret_cast<const int32_t*>(bases->host);
    // The columns the rows hold: a column outside them (never the case for
    // the pipelines' tables) reads the nearest one.
    const int64_t rlo = rows->dim[0].min, rhi = rlo + rows->dim[0].extent - 1;
    const bool dense = rows->dim[0].stride == 1 && out->dim[0].stride == 1 &&
                       masks->dim[0].stride == 1;
    const int64_t taps_span = bytes == 1 ? kGatherBlock - 1 : kGatherBlock;

    const ptrdiff_t rs = rows->dim[1].stride, os = ptrdiff_t(bytes) * out->dim[1].stride;
    const int64_t r0 = out->dim[1].min, r1 = r0 + out->dim[1].extent;
    const int64_t omin = out->dim[0].min, mmin = masks->dim[0].min;
    const ptrdiff_t bstride = bases->dim[0].stride;
    for (int64_t ch = out->dim[2].min; ch < out->dim[2].min + out->dim[2].extent; ++ch) {
        // Row r0's first held column and first output element of this channel.
        const uint8_t* src_c = src + offset_of(rows, rlo, r0, ch);
        uint8_t* out_c = out->host + ptrdiff_t(bytes) * offset_of(out, omin, r0, ch);
        int64_t x = x0;
        while (x < x1) {
            const int64_t k = floor_div(x, kGatherBlock);
            const int64_t bx = k * kGatherBlock;
            const int32_t b = dense && bx >= xa && bx + kGatherBlock <= xb && k >= ka && k < kb
                                  ? base[ptrdiff_t(k - ka) * bstride]
                                  : mira::kNoBlockBase;
            if (b != mira::kNoBlockBase && b >= rlo && int64_t(b) + taps_span <= rhi) {
                // The block: one load (two for pairs) and a table lookup per row.
                const uint8x16_t m = vld1q_u8(mask + (bx - mmin));
                const uint8_t* s = src_c + (b - rlo);
                uint8_t* o = out_c + ptrdiff_t(bytes) * (bx - omin);
                for (int64_t r = r0; r < r1; ++r, s += rs, o += os) {
                    const uint8x16_t t0 = vqtbl1q_u8(vld1q_u8(s), m);
                    if (bytes == 1) {
                        vst1q_u8(o, t0);
                    } else {
                        const uint8x16x2_t pair = {{t0, vqtbl1q_u8(vld1q_u8(s + 1), m)}};
                        vst2q_u8(o, pair);
                    }
                }
                x = bx + kGatherBlock;
                continue;
            }
            // One column at a time: the rest of this block inside the region.
            const int64_t end = std::min(bx + kGatherBlock, x1);
            for (int64_t r = r0; r < r1; ++r)
                for (int64_t xx = x; xx < end; ++xx) {
                    uint8_t* o = out->host + ptrdiff_t(bytes) * offset_of(out, xx, r, ch);
                    if (xx < xa || xx >= xb) {
                        std::memset(o, 0, size_t(bytes));
                        continue;
                    }
                    const int64_t c = std::clamp<int64_t>(col[offset_of(cols, xx)], rlo, rhi);
                    const uint8_t a = src[offset_of(rows, c, r, ch)];
                    if (bytes == 1) {
                        *o = a;
                    } else {
                        const uint8_t bb = src[offset_of(rows, std::min(c + 1, rhi), r, ch)];
                        const uint16_t v = uint16_t(a | (bb << 8));
                        std::memcpy(o, &v, 2);
                    }
                }
            x = end;
        }
    }
    return 0;
}
