// The colour-image cases shared by the CPU and GPU suites: the transpose, the
// quarter turns and the 3x3 Gaussian (both borders) on interleaved images of
// 3 and 4 channels, at odd and realistic sizes, each request on guard-page
// images whose strides are wider than their rows. Two expectations are
// written here from the definitions, independently of the library's code:
// a scalar reference per operation, and the channel split (each channel
// copied out to a plane, the library's plane operation run on it, the
// planes interleaved again).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira_image.h"

namespace colour_cases {

using mira_test::GuardedImage;

enum class Kind { Transpose, Rotate90, Rotate180, Rotate270, GaussianZero, GaussianRenorm };

inline const char* kind_name(Kind k) {
    switch (k) {
        case Kind::Transpose: return "transpose";
        case Kind::Rotate90: return "rotate90";
        case Kind::Rotate180: return "rotate180";
        case Kind::Rotate270: return "rotate270";
        case Kind::GaussianZero: return "gaussian_zero";
        case Kind::GaussianRenorm: return "gaussian_renormalised";
    }
    return "?";
}

constexpr Kind kKinds[] = {Kind::Transpose,    Kind::Rotate90,     Kind::Rotate180,
                           Kind::Rotate270,    Kind::GaussianZero, Kind::GaussianRenorm};

struct Case {
    Kind kind;
    uint32_t ch, w, h;
};

inline std::string name(const Case& c) {
    return std::string(kind_name(c.kind)) + "_c" + std::to_string(c.ch) + "_" +
           std::to_string(c.w) + "x" + std::to_string(c.h);
}

// Destination size of a W x H source.
inline void dst_size(Kind k, uint32_t w, uint32_t h, uint32_t& dw, uint32_t& dh) {
    const bool swap = k == Kind::Transpose || k == Kind::Rotate90 || k == Kind::Rotate270;
    dw = swap ? h : w;
    dh = swap ? w : h;
}

// The request through the checked interface.
inline mira_status run(Kind k, const mira_image* s, const mira_image* d, mira_path path) {
    switch (k) {
        case Kind::Transpose: return mira_transpose(s, d, path);
        case Kind::Rotate90: return mira_rotate(s, d, 90, path);
        case Kind::Rotate180: return mira_rotate(s, d, 180, path);
        case Kind::Rotate270: return mira_rotate(s, d, 270, path);
        case Kind::GaussianZero: return mira_gaussian3x3(s, d, MIRA_GAUSSIAN_BORDER_ZERO, path);
        case Kind::GaussianRenorm:
            return mira_gaussian3x3(s, d, MIRA_GAUSSIAN_BORDER_RENORMALISED, path);
    }
    return MIRA_STATUS_BAD_ARGUMENT;
}

// Sizes: every odd width with every odd height (7, 8 and 9 around the
// height of the 4-byte transpose tile), and 1080p.
inline std::vector<Case> cases(bool withLarge = true) {
    static const uint32_t kW[] = {1, 7, 17, 33, 641};
    static const uint32_t kH[] = {1, 2, 3, 7, 8, 9, 17};
    std::vector<Case> v;
    for (Kind k : kKinds)
        for (uint32_t ch : {3u, 4u}) {
            for (uint32_t w : kW)
                for (uint32_t h : kH) v.push_back({k, ch, w, h});
            if (withLarge) v.push_back({k, ch, 1920, 1080});
        }
    return v;
}

// Padding bytes after each row, never a multiple of the pixel size alone.
inline uint32_t src_pad(const Case& c) { return 1 + (c.w * 7 + c.h) % 9; }
inline uint32_t dst_pad(const Case& c) { return 2 + (c.w + c.h * 3) % 7; }

inline mira_image view(GuardedImage& g, uint32_t w, uint32_t h, uint32_t ch) {
    return mira_image{g.data(), w, h, g.stride(), ch};
}

// ------------------------------------------------------------ scalar reference

// Sample k of pixel (x, y) of a packed image of `ch` channels, `w` wide.
inline uint8_t at(const std::vector<uint8_t>& img, uint32_t w, uint32_t ch, uint32_t x,
                  uint32_t y, uint32_t k) {
    return img[(size_t(y) * w + x) * ch + k];
}

// The operation on a packed source, from its definition: the destination
// packed. Quarter turns are clockwise: 90 maps dst(x, y) = src(y, H-1-x),
// 270 dst(x, y) = src(W-1-y, x). The Gaussian is (1 2 1 / 2 4 2 / 1 2 1) / 16
// truncated on the interior; its frame is 0, or the weights of the taps inside
// the image renormalised (sum of weight x sample / sum of weights, truncated).
inline std::vector<uint8_t> reference(Kind k, const std::vector<uint8_t>& src, uint32_t w,
                                      uint32_t h, uint32_t ch) {
    uint32_t dw, dh;
    dst_size(k, w, h, dw, dh);
    std::vector<uint8_t> out(size_t(dw) * dh * ch);
    for (uint32_t y = 0; y < dh; ++y)
        for (uint32_t x = 0; x < dw; ++x)
            for (uint32_t c = 0; c < ch; ++c) {
                uint8_t v = 0;
                switch (k) {
                    case Kind::Transpose: v = at(src, w, ch, y, x, c); break;
                    case Kind::Rotate90: v = at(src, w, ch, y, h - 1 - x, c); break;
                    case Kind::Rotate180: v = at(src, w, ch, w - 1 - x, h - 1 - y, c); break;
                    case Kind::Rotate270: v = at(src, w, ch, w - 1 - y, x, c); break;
                    case Kind::GaussianZero:
                    case Kind::GaussianRenorm: {
                        const bool frame = x == 0 || y == 0 || x + 1 == w || y + 1 == h;
                        if (frame && k == Kind::GaussianZero) break;
                        static const unsigned kWt[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
                        unsigned sum = 0, weight = 0;
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx) {
                                const int64_t xx = int64_t(x) + dx, yy = int64_t(y) + dy;
                                if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                                sum += kWt[dy + 1][dx + 1] * at(src, w, ch, uint32_t(xx),
                                                                uint32_t(yy), c);
                                weight += kWt[dy + 1][dx + 1];
                            }
                        v = uint8_t(frame ? sum / weight : sum >> 4);
                        break;
                    }
                }
                out[(size_t(y) * dw + x) * ch + c] = v;
            }
    return out;
}

// ------------------------------------------------------------ channel split

// Each channel copied to a plane of its own, the plane operation run on it
// through the checked interface (path `path`), the planes interleaved again.
// Empty when a plane call fails.
inline std::vector<uint8_t> split_run_interleave(Kind k, const std::vector<uint8_t>& src,
                                                 uint32_t w, uint32_t h, uint32_t ch,
                                                 mira_path path) {
    uint32_t dw, dh;
    dst_size(k, w, h, dw, dh);
    std::vector<uint8_t> out(size_t(dw) * dh * ch);
    std::vector<uint8_t> plane(size_t(w) * h), result(size_t(dw) * dh);
    for (uint32_t c = 0; c < ch; ++c) {
        for (size_t i = 0; i < plane.size(); ++i) plane[i] = src[i * ch + c];
        mira_image s{plane.data(), w, h, w, 1}, d{result.data(), dw, dh, dw, 1};
        if (run(k, &s, &d, path) != MIRA_STATUS_OK) return {};
        for (size_t i = 0; i < result.size(); ++i) out[i * ch + c] = result[i];
    }
    return out;
}

// ------------------------------------------------------------ one request

// A request's guard-page images: the source filled from the case's seed, the
// destination with a fill byte.
struct Bound {
    std::unique_ptr<GuardedImage> src, dst;
    uint32_t dw = 0, dh = 0;
};

inline Bound bind(const Case& c) {
    Bound b;
    dst_size(c.kind, c.w, c.h, b.dw, b.dh);
    b.src = std::make_unique<GuardedImage>(c.w * c.ch, c.h, c.w * c.ch + src_pad(c));
    b.src->fillRandom(c.w * 131 + c.h * 7 + c.ch);
    b.dst = std::make_unique<GuardedImage>(b.dw * c.ch, b.dh, b.dw * c.ch + dst_pad(c));
    b.dst->fill(0x5A);
    return b;
}

inline mira_status run(const Case& c, Bound& b, mira_path path) {
    const mira_image s = view(*b.src, c.w, c.h, c.ch), d = view(*b.dst, b.dw, b.dh, c.ch);
    return run(c.kind, &s, &d, path);
}

}  // namespace colour_cases
