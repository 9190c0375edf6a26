// Addressing of the planes the pixel code works on.
#pragma once

#include <cstdint>
#include <type_traits>
#include <utility>

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

// f(std::integral_constant<int, E>()) for a pixel size `elem` of 1 to 4
// bytes (4 for anything larger).
template <class F>
decltype(auto) with_pixel_size(uint32_t elem, F f) {
    switch (elem) {
        case 1: return f(std::integral_constant<int, 1>());
        case 2: return f(std::integral_constant<int, 2>());
        case 3: return f(std::integral_constant<int, 3>());
        default: return f(std::integral_constant<int, 4>());
    }
}

// f(std::integral_constant<int, c>()) for the channels c = 0 .. C - 1 of a
// C-channel pixel, unrolled (each channel's vectors stay in registers).
template <class F, int... c>
inline void for_channels_of(F& f, std::integer_sequence<int, c...>) {
    (f(std::integral_constant<int, c>()), ...);
}
template <int C, class F>
inline void for_channels(F f) {
    for_channels_of(f, std::make_integer_sequence<int, C>());
}

}  // namespace mira
