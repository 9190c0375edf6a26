// What the camera-frame conversions decide once per call, shared by both
// directions: how the frame's chroma samples lie in memory, which instance
// of a conversion's loops serves the call (channels, chroma layout, channel
// order are template parameters, so that the loops carry no run-time
// branches on them), and how many bands of row pairs the frame is split into.
#pragma once

#include <algorithm>
#include <cstdint>

namespace mira {

// Two packed planes, two planes with a byte between samples (read or written
// sample by sample), or one plane of pairs, V right after U or U right after
// V (one de-interleaving load or interleaving store).
enum ChromaMode { kPlanar = 0, kSeparatePairs = 1, kUvPairs = 2, kVuPairs = 3 };

inline int chroma_mode(int pixelStride, const uint8_t* u, const uint8_t* v, uint64_t uStride,
                       uint64_t vStride) {
    if (pixelStride != 2) return kPlanar;
    if (uStride == vStride && v == u + 1) return kUvPairs;
    if (uStride == vStride && u == v + 1) return kVuPairs;
    return kSeparatePairs;
}

// Variant<channels, mode, blueFirst>::fn for the call's choices (3 or 4
// channels).
template <template <int, int, bool> class Variant, int kChannels, bool kBlueFirst>
auto pick_chroma_mode(int mode) {
    switch (mode) {
        case kSeparatePairs: return Variant<kChannels, kSeparatePairs, kBlueFirst>::fn;
        case kUvPairs: return Variant<kChannels, kUvPairs, kBlueFirst>::fn;
        case kVuPairs: return Variant<kChannels, kVuPairs, kBlueFirst>::fn;
        default: return Variant<kChannels, kPlanar, kBlueFirst>::fn;
    }
}
template <template <int, int, bool> class Variant>
auto pick_variant(int channels, int mode, bool blueFirst) {
    if (channels == 4)
        return blueFirst ? pick_chroma_mode<Variant, 4, true>(mode)
                         : pick_chroma_mode<Variant, 4, false>(mode);
    return blueFirst ? pick_chroma_mode<Variant, 3, true>(mode)
                     : pick_chroma_mode<Variant, 3, false>(mode);
}

// Bands of whole row pairs (each chroma row belongs to one band): one below
// 2^17 pixels, else up to 16 of at least 16 pairs.
inline int row_pair_bands(uint32_t width, uint32_t height) {
    const uint64_t pixels = uint64_t(width) * height;
    const uint32_t pairs = (height + 1) / 2;
    return pixels < (1u << 17) ? 1 : int(std::min<uint32_t>(16, std::max(1u, pairs / 16)));
}

}  // namespace mira
