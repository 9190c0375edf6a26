// Scan-line flood fill of the region of pixels equal to the seed's value,
// marked in a separate 8-bit mask. The vector helpers below find the ends of
// runs of equal bytes.
#pragma once

#include <cstdint>

namespace mira {

// Largest width or height the fill accepts (segment coordinates are 16-bit).
constexpr uint32_t kFloodfillMaxSide = 65535;

// One row run waiting on the fill's stack: row y, columns l..r; the parent
// run's columns pl..pr on row y + dir. The parent range is 32-bit so that the
// seed's empty range (r + 1 .. r) fits whatever r is.
struct Segment {
    uint16_t y, l, r;
    int8_t dir;
    int32_t pl, pr;
};

// First index j >= i with row[j] != v, or `end` when there is none.
uint32_t floodfill_run_end(const uint8_t* row, uint32_t i, uint32_t end, uint8_t v);

// Smallest j <= i such that row[j..i] all equal v (row[i] must equal v).
uint32_t floodfill_run_start(const uint8_t* row, uint32_t i, uint8_t v);

// First index j in [i, last] with src[j] == v and mask[j] != n, or last + 1.
uint32_t floodfill_find_candidate(const uint8_t* src, const uint8_t* mask, uint32_t i,
                                  uint32_t last, uint8_t v, uint8_t n);

}  // namespace mira
