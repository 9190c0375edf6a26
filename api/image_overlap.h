// Whether two strided images share a byte. An image is `rows` runs of
// `rowBytes` bytes, `stride` bytes apart from `begin`; only those bytes
// belong to it, so two images may interleave their rows (the left and right
// halves of one buffer, its even and odd rows) without overlapping. Shared by
// the checked interface and the Python module, which must judge alike.
#pragma once

#include <cstdint>

namespace mira_overlap {

struct Rows {
    uint64_t begin;     // address of row 0's first byte
    uint64_t stride;    // bytes from one row to the next (>= rowBytes when rows > 1)
    uint64_t rowBytes;  // bytes of each row, >= 1
    uint64_t rows;      // >= 1
};

// Floor of a / b for b > 0.
inline int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

// The first row j of `b` whose end lies past `x` (b.begin + j stride +
// rowBytes > x), or b.rows when none does.
inline uint64_t first_row_ending_after(const Rows& b, uint64_t x) {
    const int64_t rel = int64_t(x) - int64_t(b.begin) - int64_t(b.rowBytes);
    if (rel < 0) return 0;
    if (b.rows == 1 || b.stride == 0) return b.rows;  // the one row ends at or before x
    const int64_t j = floor_div(rel, int64_t(b.stride)) + 1;
    return uint64_t(j) < b.rows ? uint64_t(j) : b.rows;
}

// Whether row [x, x + n) meets any row of b.
inline bool row_meets(const Rows& b, uint64_t x, uint64_t n) {
    const uint64_t j = first_row_ending_after(b, x);
    return j < b.rows && b.begin + j * b.stride < x + n;
}

inline bool overlap(const Rows& a, const Rows& b) {
    const uint64_t aEnd = a.begin + a.stride * (a.rows - 1) + a.rowBytes;
    const uint64_t bEnd = b.begin + b.stride * (b.rows - 1) + b.rowBytes;
    if (!(a.begin < bEnd && b.begin < aEnd)) return false;  // apart as wholes
    if (a.rows > 1 && b.rows > 1 && a.stride == b.stride) {
        // Equal strides: row i of a meets row j of b iff, with t = i - j and
        // d = b.begin - a.begin, d - a.rowBytes < t stride < d + b.rowBytes.
        // The smallest t above the lower bound is the only candidate needed.
        const int64_t s = int64_t(a.stride);
        const int64_t d = int64_t(b.begin) - int64_t(a.begin);
        int64_t t = floor_div(d - int64_t(a.rowBytes), s) + 1;
        const int64_t tLo = -(int64_t(b.rows) - 1), tHi = int64_t(a.rows) - 1;
        if (t < tLo) t = tLo;
        return t <= tHi && t * s < d + int64_t(b.rowBytes);
    }
    // Otherwise each row of the image with fewer rows is tested against the
    // other image's rows near it.
    const Rows& few = a.rows <= b.rows ? a : b;
    const Rows& many = a.rows <= b.rows ? b : a;
    for (uint64_t i = 0; i < few.rows; ++i)
        if (row_meets(many, few.begin + i * few.stride, few.rowBytes)) return true;
    return false;
}

}  // namespace mira_overlap
