// Independent double-precision references of the scaling family, written
// from the resampling formulas (destination coordinate d maps to the source
// centre c = (d + 0.5) / s - 0.5).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace scaling_ref {

// A packed plane (or one channel): value at (x, y).
struct Plane {
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> px;
    uint8_t at(uint32_t x, uint32_t y) const { return px[size_t(y) * w + x]; }
};

enum class Filter { Nearest, Box, Bilinear, Distance, Lanczos3 };

// Taps of one axis for destination coordinate d: first index and normalised
// weights.
struct Taps {
    long first = 0;
    std::vector<double> w;
};

inline double kernel(Filter f, double t) {
    const double a = std::fabs(t);
    switch (f) {
        case Filter::Box: return a <= 0.5 ? 1.0 : 0.0;
        case Filter::Bilinear: return a < 1.0 ? 1.0 - a : 0.0;
        case Filter::Distance: return a;
        case Filter::Lanczos3: {
            if (a == 0.0) return 1.0;
            if (a > 3.0) return 0.0;
            const double pi = 3.14159265358979323846;
            return std::sin(pi * t) * std::sin(pi * t / 3.0) / (pi * t * pi * t / 3.0);
        }
        case Filter::Nearest: return 1.0;
    }
    return 0.0;
}

// Coordinates in single precision, as the pipelines define them (so that a
// tap exactly at a kernel edge is decided the same way); kernel values,
// normalisation and sums in double.
inline Taps taps(Filter f, float s, long d) {
    const float c = (float(d) + 0.5f) / s - 0.5f;
    Taps t;
    if (f == Filter::Nearest) {
        t.first = long(std::ceil(c - 0.5f));
        t.w = {1.0};
        return t;
    }
    float support;
    long k;
    if (f == Filter::Lanczos3) {
        support = 6.0f;
        k = 6;
    } else if (s > 1.0f) {
        support = 2.0f;  // bilinear up
        k = 2;
    } else {
        support = (f == Filter::Bilinear ? 2.0f : 1.0f) / s;
        k = long(std::ceil(support));
    }
    const float half = support / 2.0f;
    t.first = long(std::ceil(c - half));
    const float shrink = f == Filter::Lanczos3 ? 1.0f : std::min(s, 1.0f);
    double sum = 0;
    for (long i = 0; i < k; ++i) {
        const float off = float(t.first + i) - c;
        const float tt = off * shrink;
        t.w.push_back(kernel(f, double(tt)));
        sum += t.w.back();
    }
    for (double& v : t.w) v = sum == 0 ? 0 : v / sum;
    return t;
}

// Separable resampling with a filter and a factor per axis (fx, sx along the
// rows, fy, sy down the columns). Taps outside the source take `border` when
// it is set (>= 0), else the nearest edge sample. Result clamped to [0, 255]
// and truncated; `exact` receives the unrounded values.
inline Plane resample_xy(const Plane& src, uint32_t dw, uint32_t dh, Filter fx, float sx,
                         Filter fy, float sy, int border, std::vector<double>* exact = nullptr) {
    Plane out{dw, dh, std::vector<uint8_t>(size_t(dw) * dh)};
    if (exact) exact->assign(size_t(dw) * dh, 0.0);
    auto sample = [&](long x, long y) -> double {
        if (border >= 0 && (x < 0 || y < 0 || x >= long(src.w) || y >= long(src.h)))
            return border;
        x = std::clamp(x, 0L, long(src.w) - 1);
        y = std::clamp(y, 0L, long(src.h) - 1);
        return src.at(uint32_t(x), uint32_t(y));
    };
    std::vector<Taps> tx(dw);
    for (uint32_t x = 0; x < dw; ++x) tx[x] = taps(fx, sx, x);
    for (uint32_t y = 0; y < dh; ++y) {
        const Taps ty = taps(fy, sy, y);
        for (uint32_t x = 0; x < dw; ++x) {
            double v = 0;
            for (size_t j = 0; j < ty.w.size(); ++j)
                for (size_t i = 0; i < tx[x].w.size(); ++i)
                    v += ty.w[j] * tx[x].w[i] *
                         sample(tx[x].first + long(i), ty.first + long(j));
            if (exact) (*exact)[size_t(y) * dw + x] = v;
            out.px[size_t(y) * dw + x] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
    }
    return out;
}

// The bilinear enlargement (factors of 1 or more on both axes) in 16-bit
// fixed point: each axis's weight of tap 1 in Q8, w1 = floor(256 w + 0.5) of
// the weight in single precision (256 w is exact; the sum is rounded in
// float), w0 = 256 - w1. Per source row of tap ty the horizontal sum
// h = a w0 + b w1 (at most 255 * 256), then v = (h0 wy0 + h1 wy1) >> 16.
// Same taps and border rule as resample_xy. Each axis's rounding moves the
// value by at most 255 / 512, so v is within 1 of resample_xy's result.
inline int q8_weight(double w) { return int(std::floor(float(w) * 256.0f + 0.5f)); }

inline Plane bilinear_up_q8(const Plane& src, uint32_t dw, uint32_t dh, float sx, float sy,
                            int border) {
    Plane out{dw, dh, std::vector<uint8_t>(size_t(dw) * dh)};
    auto sample = [&](long x, long y) -> uint32_t {
        if (border >= 0 && (x < 0 || y < 0 || x >= long(src.w) || y >= long(src.h)))
            return uint32_t(border);
        x = std::clamp(x, 0L, long(src.w) - 1);
        y = std::clamp(y, 0L, long(src.h) - 1);
        return src.at(uint32_t(x), uint32_t(y));
    };
    std::vector<Taps> tx(dw);
    for (uint32_t x = 0; x < dw; ++x) tx[x] = taps(Filter::Bilinear, sx, x);
    for (uint32_t y = 0; y < dh; ++y) {
        const Taps ty = taps(Filter::Bilinear, sy, y);
        const uint32_t wy1 = uint32_t(q8_weight(ty.w[1])), wy0 = 256 - wy1;
        for (uint32_t x = 0; x < dw; ++x) {
            const uint32_t wx1 = uint32_t(q8_weight(tx[x].w[1])), wx0 = 256 - wx1;
            uint32_t h[2];
            for (long j = 0; j < 2; ++j)
                h[j] = sample(tx[x].first, ty.first + j) * wx0 +
                       sample(tx[x].first + 1, ty.first + j) * wx1;
            out.px[size_t(y) * dw + x] = uint8_t((h[0] * wy0 + h[1] * wy1) >> 16);
        }
    }
    return out;
}

// Separable resampling of `src` to dw x dh with factor s on both axes.
inline Plane resample(const Plane& src, uint32_t dw, uint32_t dh, Filter f, float s,
                      int border, std::vector<double>* exact = nullptr) {
    return resample_xy(src, dw, dh, f, s, f, s, border, exact);
}

// Largest difference between two planes of equal size; index of the first
// pixel that differs by more than `tol` in `where` (or -1).
inline int max_diff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                    int tol = 1, long* where = nullptr) {
    int m = 0;
    if (where) *where = -1;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const int d = std::abs(int(a[i]) - int(b[i]));
        if (d > tol && where && *where < 0) *where = long(i);
        m = std::max(m, d);
    }
    return a.size() == b.size() ? m : 999;
}

}  // namespace scaling_ref
