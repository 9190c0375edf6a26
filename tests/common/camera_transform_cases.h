// Frames and destination sizes of the fused camera call that reach the edges
// of the CPU's line path (ops/colour/yuv420_to_rgb_transform.cpp), shared by
// the CPU and GPU suites. The line path gathers the taps of 16 destination
// samples from one window of at most 64 bytes of a source line; a frame whose
// blocks need more takes the gather path. Sizes are the destination's own
// (not turned): each case runs every quarter turn, so both source axes meet
// both destination axes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/camera_frame.h"

namespace camera_test {

struct ScaledCase {
    Layout layout;
    uint32_t w, h, dw, dh;
};

inline std::vector<ScaledCase> scaled_cases() {
    std::vector<ScaledCase> v;
    // The window's edge, in every layout. 64 -> 16: luma taps span 62 bytes
    // and paired chroma 64 (inside); 66 -> 16: luma 64 (inside), paired or
    // strided chroma 65 to 66 bytes (outside), planar chroma 33 (inside);
    // 68 -> 16: luma 66 (outside); 128 -> 32 and 136 -> 32 the same with two
    // blocks per row.
    const uint32_t edge[][2] = {{64, 16}, {66, 16}, {68, 16}, {128, 32}, {136, 32}};
    for (Layout l : kLayouts)
        for (auto& e : edge) v.push_back({l, e[0], e[0], e[1], e[1]});
    // Odd sizes, enlarged and reduced per axis, every layout somewhere; the
    // 641 x 480 frame to 400 x 300 runs in bands.
    const ScaledCase more[] = {
        {Layout::Nv21, 641, 33, 33, 641},  {Layout::Nv12, 641, 480, 400, 300},
        {Layout::I420, 33, 17, 641, 7},    {Layout::Strided, 17, 641, 2, 641},
        {Layout::GappedPairs, 641, 3, 3, 641}, {Layout::Yv12, 7, 641, 641, 1},
        {Layout::Nv21, 1, 641, 641, 2},    {Layout::Nv12, 641, 1, 1, 641},
        {Layout::Strided, 3, 2, 641, 17},  {Layout::I420, 200, 150, 67, 51},
        {Layout::GappedPairs, 97, 131, 33, 45},
    };
    v.insert(v.end(), std::begin(more), std::end(more));
    return v;
}

inline std::string scaled_case_name(const ScaledCase& c) {
    std::string n = name_of(c.layout);
    for (char& ch : n)
        if (ch == '-') ch = '_';
    return n + "_" + std::to_string(c.w) + "x" + std::to_string(c.h) + "_to_" +
           std::to_string(c.dw) + "x" + std::to_string(c.dh);
}

}  // namespace camera_test
