// Addressing of the planes the pixel code works on.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Pointer to row y of a plane.
inline uint8_t* row_ptr(const MIRA_Feature_Buf& b, uint32_t y) {
    return b.data + static_cast<uint64_t>(y) * b.stride;
}

// Whether the bytes of two non-empty planes' rows (first row start to last
// row end) overlap.
inline bool planes_overlap(const MIRA_Feature_Buf& a, const MIRA_Feature_Buf& b) {
    const uintptr_t a0 = reinterpret_cast<uintptr_t>(a.data);
    const uintptr_t b0 = reinterpret_cast<uintptr_t>(b.data);
    const uintptr_t a1 = a0 + static_cast<uint64_t>(a.height - 1) * a.stride + a.width;
    const uintptr_t b1 = b0 + static_cast<uint64_t>(b.height - 1) * b.stride + b.width;
    return a0 < b1 && b0 < a1;
}

}  // namespace mira
