// Source rows with one pixel of border on each side, for the integer routes
// of the general scale whose taps reach past the source's edges.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "mira/mira_types.h"
#include "ops/plane.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {

struct BorderRule {
    uint32_t sh;     // source rows
    uint32_t bytes;  // bytes per source row
    uint32_t elem;   // bytes per pixel
    bool constant;   // border_value outside the source, else the edge
    uint8_t value;
};

// The source row nearest to row index `row` (any index): the row the edge
// rule reads there.
inline uint32_t edge_row(const BorderRule& r, int64_t row) {
    return uint32_t(row < 0 ? 0 : row >= int64_t(r.sh) ? int64_t(r.sh) - 1 : row);
}

// Source row `row` (any index) with one pixel of border on each side: out[0,
// elem) the pixel left of column 0, then the row, then the pixel right of
// its last, all through the border rule (bytes + 2 elem bytes).
inline void pad_row(uint8_t* out, const MIRA_Feature_Buf& src, const BorderRule& r, int64_t row) {
    const uint32_t E = r.elem;
    if ((row < 0 || row >= int64_t(r.sh)) && r.constant) {
        std::memset(out, r.value, r.bytes + 2 * E);
        return;
    }
    const uint8_t* s = row_ptr(src, edge_row(r, row));
    std::memcpy(out + E, s, r.bytes);
    for (uint32_t b = 0; b < E; ++b) {
        out[b] = r.constant ? r.value : s[b];
        out[E + r.bytes + b] = r.constant ? r.value : s[r.bytes - E + b];
    }
}

// Runs fn(first, last, ring, extra) over the bands parallel_bands splits
// `items` destination items of `work` pixels into, each band with a ring of
// `count` (at most 4) padded-row buffers of bytes + 2 elem bytes and `extra`
// bytes of scratch of its own (16-byte aligned). False, running nothing,
// where the scratch cannot be had.
template <class F>
bool with_padded_rows(uint32_t items, uint64_t work, const BorderRule& r, int count,
                      size_t extra, F fn) {
    // (The scratch and each band's share start 16-byte aligned.)
    const size_t n = size_t(r.bytes) + 2 * r.elem, rows = (size_t(count) * n + 15) & ~size_t(15);
    const size_t per = (rows + extra + 15) & ~size_t(15);
    uint8_t* scratch = static_cast<uint8_t*>(std::malloc(size_t(band_count(items, work)) * per));
    if (scratch == nullptr) return false;
    parallel_bands(items, work, [&](uint32_t first, uint32_t last, uint32_t band) {
        uint8_t* base = scratch + size_t(band) * per;
        uint8_t* ring[4] = {};
        for (int k = 0; k < count; ++k) ring[k] = base + size_t(k) * n;
        fn(first, last, ring, base + rows);
    });
    std::free(scratch);
    return true;
}

// The ring moved on by `by` rows: the first `by` buffers go to its end.
inline void advance_ring(uint8_t** ring, int count, int by) {
    uint8_t* moved[4];
    for (int k = 0; k < count; ++k) moved[k] = ring[(k + by) % count];
    for (int k = 0; k < count; ++k) ring[k] = moved[k];
}

}  // namespace mira
