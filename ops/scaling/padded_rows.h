// Source rows with one pixel of border on each side, for the integer routes
// of the general scale whose taps reach past the source's edges.
#pragma once

#include <cstdint>
#include <cstring>

#include "mira/mira_types.h"
#include "ops/plane.h"

namespace mira {

struct BorderRule {
    uint32_t sh;     // source rows
    uint32_t bytes;  // bytes per source row
    uint32_t elem;   // bytes per pixel
    bool constant;   // border_value outside the source, else the edge
    uint8_t value;
};

// Source row `row` (any index) with one pixel of border on each side: out[0,
// elem) the pixel left of column 0, then the row, then the pixel right of
// its last, all through the border rule (bytes + 2 elem bytes).
inline void pad_row(uint8_t* out, const MIRA_Feature_Buf& src, const BorderRule& r, int64_t row) {
    const uint32_t E = r.elem;
    if ((row < 0 || row >= int64_t(r.sh)) && r.constant) {
        std::memset(out, r.value, r.bytes + 2 * E);
        return;
    }
    const int64_t at = row < 0 ? 0 : row >= int64_t(r.sh) ? int64_t(r.sh) - 1 : row;
    const uint8_t* s = row_ptr(src, uint32_t(at));
    std::memcpy(out + E, s, r.bytes);
    for (uint32_t b = 0; b < E; ++b) {
        out[b] = r.constant ? r.value : s[b];
        out[E + r.bytes + b] = r.constant ? r.value : s[r.bytes - E + b];
    }
}

}  // namespace mira
