// The colour warp's cases, shared by its CPU and GPU tests: matrices of every
// kind for a geometry, and the expected result of a 3- or 4-channel warp
// through the public API, which is the plane warp of each channel (same path)
// interleaved again, with the plane call's spans.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira_image.h"

namespace colour_warp {

using mira_test::GuardedImage;

struct Matrix {
    std::string name;
    float m[6];
};

// Rotation by `deg` and zoom `k` about the centres, destination to source.
inline Matrix rotation(const std::string& name, uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh,
                       double deg, double k) {
    const double a = deg * 3.14159265358979 / 180, c = std::cos(a) * k, s = std::sin(a) * k;
    const double dcx = dw * 0.5, dcy = dh * 0.5, scx = sw * 0.5, scy = sh * 0.5;
    return {name,
            {float(c), float(-s), float(scx - c * dcx + s * dcy), float(s), float(c),
             float(scy - s * dcx - c * dcy)}};
}

// Identity, rotations about the centre, shears, translations partly and
// wholly outside the source, and `randoms` matrices drawn from integers
// (the sanitizer build's real distribution was seen to give NaN after GPU
// calls).
inline std::vector<Matrix> matrices(uint32_t sw, uint32_t sh, uint32_t dw, uint32_t dh,
                                    uint32_t seed, int randoms = 3) {
    std::vector<Matrix> v;
    v.push_back({"identity", {1, 0, 0, 0, 1, 0}});
    v.push_back(rotation("rotate 10 x1.1", sw, sh, dw, dh, 10, 1.1));
    v.push_back(rotation("rotate 90", sw, sh, dw, dh, 90, 1));
    v.push_back(rotation("rotate 200 x0.6", sw, sh, dw, dh, 200, 0.6));
    v.push_back({"shear x", {1, 0.35f, -2.5f, 0, 1, 0.25f}});
    v.push_back({"shear y", {0.9f, 0, 0.5f, -0.4f, 1.2f, 3.5f}});
    v.push_back({"half pixel", {1, 0, 0.5f, 0, 1, -0.5f}});
    v.push_back({"partly outside", {1, 0, float(sw) * 0.5f + 0.3f, 0, 1, -float(sh) * 0.4f}});
    v.push_back({"wholly outside", {1, 0, float(sw) + 4.7f, 0, 1, 0.2f}});
    std::mt19937 rng(seed);
    auto real = [&rng](double lo, double hi) {
        return lo + (hi - lo) * double(rng() % 1000001) / 1000000.0;
    };
    for (int i = 0; i < randoms; ++i) {
        Matrix r = rotation("random " + std::to_string(i), sw, sh, dw, dh, real(-180, 180),
                            real(0.3, 3.0));
        r.m[1] += float(real(-0.3, 0.3));
        r.m[2] += float(real(-20, 20));
        r.m[5] += float(real(-20, 20));
        v.push_back(r);
    }
    return v;
}

inline mira_image image_of(GuardedImage& g, uint32_t w, uint32_t h, uint32_t channels) {
    return mira_image{g.data(), w, h, g.stride(), channels};
}

// One request's result: the destination's rows (packed), the spans, and
// whether every byte outside the rows kept its canary.
struct Result {
    mira_status status = MIRA_STATUS_OK;
    std::vector<uint8_t> pixels;
    std::vector<uint32_t> spans;
    bool intact = true;
};

// Warps `src` (sw x sh, `channels`) to a guarded dw x dh destination with
// padded rows prefilled with a marker, spans on a guarded block.
inline Result warp(const GuardedImage& src, uint32_t sw, uint32_t sh, uint32_t channels,
                   const float* m, uint32_t dw, uint32_t dh, uint32_t pad,
                   mira_warp_interpolation interp, mira_path path) {
    GuardedImage dst(dw * channels, dh, dw * channels + pad + 1);
    dst.fill(0x5A);
    GuardedImage spans(8, dh, 8);
    spans.fill(0xEE);
    const mira_image s{const_cast<uint8_t*>(src.data()), sw, sh, src.stride(), channels};
    const mira_image d = image_of(dst, dw, dh, channels);
    Result r;
    r.status = mira_warp_affine(&s, m, &d, interp, reinterpret_cast<uint32_t*>(spans.data()), path);
    r.pixels = dst.packed();
    r.spans.resize(2 * size_t(dh));
    std::memcpy(r.spans.data(), spans.data(), r.spans.size() * 4);
    r.intact = dst.paddingIntact();
    return r;
}

// The expected colour result: channel c of src as a plane (its own guarded
// image, padded), warped as a plane on the same path, interleaved.
inline Result split_warp_interleave(const GuardedImage& src, uint32_t sw, uint32_t sh,
                                    uint32_t channels, const float* m, uint32_t dw, uint32_t dh,
                                    mira_warp_interpolation interp, mira_path path) {
    Result all;
    all.pixels.assign(size_t(dw) * dh * channels, 0);
    for (uint32_t c = 0; c < channels; ++c) {
        GuardedImage plane(sw, sh, sw + 3);
        for (uint32_t y = 0; y < sh; ++y)
            for (uint32_t x = 0; x < sw; ++x) plane.row(y)[x] = src.row(y)[x * channels + c];
        const Result r = warp(plane, sw, sh, 1, m, dw, dh, 2, interp, path);
        if (r.status != MIRA_STATUS_OK) all.status = r.status;
        for (size_t i = 0; i < size_t(dw) * dh; ++i) all.pixels[i * channels + c] = r.pixels[i];
        if (c == 0) all.spans = r.spans;
        all.intact = all.intact && r.intact;
    }
    return all;
}

// Whether two packed results are equal; the first difference as a message.
inline ::testing::AssertionResult same_pixels(const std::vector<uint8_t>& want,
                                              const std::vector<uint8_t>& got, uint32_t dw,
                                              uint32_t channels) {
    if (want.size() != got.size()) return ::testing::AssertionFailure() << "sizes differ";
    size_t diff = 0, first = want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != got[i]) {
            if (first == want.size()) first = i;
            ++diff;
        }
    if (diff == 0) return ::testing::AssertionSuccess();
    const size_t px = first / channels;
    return ::testing::AssertionFailure()
           << diff << " bytes differ; first at pixel (" << px % dw << ", " << px / dw
           << ") channel " << first % channels << ": expected " << int(want[first]) << ", got "
           << int(got[first]);
}

}  // namespace colour_warp
