// Camera-frame test helpers shared by the CPU and GPU suites: references
// written from the ITU formulas (exact, in double precision) and from the
// documented integer formula (coefficients computed from the ITU values),
// and frames and RGB images in guard-page memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira_image.h"

namespace camera_test {

using mira_test::GuardedBlock;
using mira_test::kCanary;

// ------------------------------------------------------------ references

struct Itu {
    double kr, kb;
};
inline const Itu kItu[3] = {{0.299, 0.114}, {0.2126, 0.0722}, {0.2627, 0.0593}};
inline const mira_matrix kMatrices[] = {MIRA_MATRIX_BT601, MIRA_MATRIX_BT709, MIRA_MATRIX_BT2020};
inline const mira_range kRanges[] = {MIRA_RANGE_LIMITED, MIRA_RANGE_FULL};
inline const mira_rgb_format kFormats[] = {MIRA_RGB_FORMAT_RGBA, MIRA_RGB_FORMAT_BGRA,
                                    MIRA_RGB_FORMAT_RGB, MIRA_RGB_FORMAT_BGR};

inline int channels_of(mira_rgb_format f) { return f == MIRA_RGB_FORMAT_RGB || f == MIRA_RGB_FORMAT_BGR ? 3 : 4; }
inline bool blue_first(mira_rgb_format f) { return f == MIRA_RGB_FORMAT_BGRA || f == MIRA_RGB_FORMAT_BGR; }

inline int round_clamp(double v) { return int(std::min(255.0, std::max(0.0, std::floor(v + 0.5)))); }

// The exact real-valued conversion: R, G, B of (Y, U, V).
inline void exact_rgb(int matrix, int range, int Y, int U, int V, double out[3]) {
    const double kr = kItu[matrix].kr, kb = kItu[matrix].kb, kg = 1 - kr - kb;
    const bool lim = range == MIRA_RANGE_LIMITED;
    const double y = lim ? (Y - 16) * 255.0 / 219.0 : Y;
    const double pb = (U - 128) * (lim ? 255.0 / 224.0 : 1.0);  // 2 (1 - Kb) scaled Pb
    const double pr = (V - 128) * (lim ? 255.0 / 224.0 : 1.0);
    out[0] = y + 2 * (1 - kr) * pr;
    out[2] = y + 2 * (1 - kb) * pb;
    out[1] = (y - kr * out[0] - kb * out[2]) / kg;
}

// The exact Y of a pixel and U, V of a colour (the block mean).
inline double exact_y(int matrix, int range, double r, double g, double b) {
    const double kr = kItu[matrix].kr, kb = kItu[matrix].kb, kg = 1 - kr - kb;
    const double l = kr * r + kg * g + kb * b;
    return range == MIRA_RANGE_LIMITED ? 16 + l * 219.0 / 255.0 : l;
}
inline void exact_uv(int matrix, int range, double r, double g, double b, double* u, double* v) {
    const double kr = kItu[matrix].kr, kb = kItu[matrix].kb, kg = 1 - kr - kb;
    const double l = kr * r + kg * g + kb * b;
    const double s = range == MIRA_RANGE_LIMITED ? 224.0 / 255.0 : 1.0;
    *u = 128 + s * (b - l) / (2 * (1 - kb));
    *v = 128 + s * (r - l) / (2 * (1 - kr));
}

// The documented integer formula, written out from the header's text (the
// coefficients computed here from the ITU values, not copied from the library).
inline int q(int a, int k) { return (a * k + (1 << 14)) >> 15; }
inline int c255(int v) { return std::min(255, std::max(0, v)); }
inline int rnd(double v) { return int(std::floor(v + 0.5)); }

struct IntToRgb {
    int yoff, kY, kRV, kGU, kGV, kBU;
    IntToRgb(int m, int r) {
        const double kr = kItu[m].kr, kb = kItu[m].kb, kg = 1 - kr - kb;
        const bool lim = r == MIRA_RANGE_LIMITED;
        const double s = lim ? 255.0 / 219 : 1, c = lim ? 255.0 / 224 : 1;
        yoff = lim ? 16 : 0;
        kY = rnd(s * 16384);
        kRV = rnd(c * 2 * (1 - kr) * 8192);
        kGU = rnd(c * 2 * (1 - kb) * kb / kg * 8192);
        kGV = rnd(c * 2 * (1 - kr) * kr / kg * 8192);
        kBU = rnd(c * 2 * (1 - kb) * 8192);
    }
    void rgb(int Y, int U, int V, int out[3]) const {
        const int y = q(128 * (Y - yoff), kY) + 32, u = 256 * (U - 128), v = 256 * (V - 128);
        out[0] = c255((y + q(v, kRV)) >> 6);
        out[1] = c255((y - (q(u, kGU) + q(v, kGV))) >> 6);
        out[2] = c255((y + q(u, kBU)) >> 6);
    }
};

struct IntFromRgb {
    int yoff, kYR, kYG, kYB, kUB, kUR, kVR, kVB;
    IntFromRgb(int m, int r) {
        const double kr = kItu[m].kr, kb = kItu[m].kb, kg = 1 - kr - kb;
        const bool lim = r == MIRA_RANGE_LIMITED;
        const double s = lim ? 219.0 / 255 : 1, c = lim ? 224.0 / 255 : 1;
        yoff = lim ? 16 : 0;
        // Y's coefficients in 1/256, rounded so that they sum to round(256 s):
        // the largest remainders go up, the smallest down.
        const double ky[3] = {kr * s * 256, kg * s * 256, kb * s * 256};
        int k[3], sum = 0;
        for (int i = 0; i < 3; ++i) sum += k[i] = rnd(ky[i]);
        for (int want = rnd(256 * s); sum != want;) {
            const int step = sum < want ? 1 : -1;
            int best = 0;
            for (int i = 1; i < 3; ++i)
                if ((ky[i] - k[i]) * step > (ky[best] - k[best]) * step) best = i;
            k[best] += step;
            sum += step;
        }
        kYR = k[0];
        kYG = k[1];
        kYB = k[2];
        kUB = std::min(32767, rnd(c * 0.5 * 65536));
        kUR = rnd(-c * kr / (2 * (1 - kb)) * 65536);
        kVR = std::min(32767, rnd(c * 0.5 * 65536));
        kVB = rnd(-c * kb / (2 * (1 - kr)) * 65536);
    }
    // No clamp: the documented sums stay within 0..65535, and a result
    // outside 0..255 here would fail the byte comparison.
    int y(int R, int G, int B) const { return (kYR * R + kYG * G + kYB * B + 256 * yoff + 128) >> 8; }
    // From the sums over a block counted as four samples.
    void uv(int sr, int sg, int sb, int* u, int* v) const {
        const int d1 = 32 * (sb - sg), d2 = 32 * (sr - sg);
        *u = (q(d1, kUB) + q(d2, kUR) + 32896) >> 8;
        *v = (q(d2, kVR) + q(d1, kVB) + 32896) >> 8;
    }
};

// ------------------------------------------------------------ frames

// How the chroma of a test frame is laid out.
enum class Layout { Nv21, Nv12, I420, Yv12, Strided, GappedPairs };
inline const Layout kLayouts[] = {Layout::Nv21, Layout::Nv12, Layout::I420,
                           Layout::Yv12, Layout::Strided, Layout::GappedPairs};
inline const char* name_of(Layout l) {
    switch (l) {
        case Layout::Nv21: return "nv21";
        case Layout::Nv12: return "nv12";
        case Layout::I420: return "i420";
        case Layout::Yv12: return "yv12";
        case Layout::Strided: return "strided";
        case Layout::GappedPairs: return "gapped-pairs";
    }
    return "?";
}

// A frame in guard-page memory: the packed layouts in one buffer ending at the
// guard page (through the mira_yuv420_* helpers), the others with each plane
// in its own guarded block and strides wider than the rows. Bytes outside
// the samples hold the canary.
struct TestFrame {
    std::vector<std::unique_ptr<GuardedBlock>> blocks;
    mira_yuv420 f{};
    uint32_t cw = 0, ch = 0;

    TestFrame(Layout l, uint32_t w, uint32_t h) {
        cw = (w + 1) / 2;
        ch = (h + 1) / 2;
        if (l == Layout::Nv21 || l == Layout::Nv12 || l == Layout::I420 || l == Layout::Yv12) {
            const size_t size = size_t(w) * h + 2 * size_t(cw) * ch;
            blocks.emplace_back(new GuardedBlock(size));
            std::memset(blocks[0]->data(), kCanary, size);
            mira_status s = l == Layout::Nv21   ? mira_yuv420_nv21(&f, blocks[0]->data(), size, w, h)
                            : l == Layout::Nv12 ? mira_yuv420_nv12(&f, blocks[0]->data(), size, w, h)
                                                : mira_yuv420_i420(&f, blocks[0]->data(), size, w, h);
            EXPECT_EQ(s, MIRA_STATUS_OK);
            if (l == Layout::Yv12) std::swap(f.u, f.v);
            return;
        }
        const uint32_t ps = l == Layout::GappedPairs ? 2 : 1;
        const uint32_t ys = w + 5, cs = (cw - 1) * ps + 1 + 3;
        auto plane = [&](uint32_t stride, uint32_t rowBytes, uint32_t rows) {
            const size_t size = size_t(stride) * (rows - 1) + rowBytes;
            blocks.emplace_back(new GuardedBlock(size));
            std::memset(blocks.back()->data(), kCanary, size);
            return blocks.back()->data();
        };
        f.width = w;
        f.height = h;
        f.y = plane(ys, w, h);
        f.u = plane(cs, (cw - 1) * ps + 1, ch);
        f.v = plane(cs, (cw - 1) * ps + 1, ch);
        f.y_stride = ys;
        f.u_stride = f.v_stride = cs;
        f.uv_pixel_stride = ps;
    }
    uint8_t& Y(uint32_t x, uint32_t y) { return f.y[size_t(y) * f.y_stride + x]; }
    uint8_t& U(uint32_t x, uint32_t y) { return f.u[size_t(y) * f.u_stride + size_t(x) * f.uv_pixel_stride]; }
    uint8_t& V(uint32_t x, uint32_t y) { return f.v[size_t(y) * f.v_stride + size_t(x) * f.uv_pixel_stride]; }
    void fill_random(uint32_t seed) {
        std::mt19937 rng(seed);
        for (uint32_t y = 0; y < f.height; ++y)
            for (uint32_t x = 0; x < f.width; ++x) Y(x, y) = uint8_t(rng());
        for (uint32_t y = 0; y < ch; ++y)
            for (uint32_t x = 0; x < cw; ++x) {
                U(x, y) = uint8_t(rng());
                V(x, y) = uint8_t(rng());
            }
    }
    // Bytes of the frame's blocks that are no sample, each still the canary.
    bool canaries_intact() {
        std::vector<const uint8_t*> samples;
        for (uint32_t y = 0; y < f.height; ++y)
            for (uint32_t x = 0; x < f.width; ++x) samples.push_back(&Y(x, y));
        for (uint32_t y = 0; y < ch; ++y)
            for (uint32_t x = 0; x < cw; ++x) {
                samples.push_back(&U(x, y));
                samples.push_back(&V(x, y));
            }
        std::sort(samples.begin(), samples.end());
        for (auto& b : blocks)
            for (size_t i = 0; i < b->size(); ++i) {
                const uint8_t* p = b->data() + i;
                if (!std::binary_search(samples.begin(), samples.end(), p) && *p != kCanary)
                    return false;
            }
        return true;
    }
};

// An RGB image in guard-page memory, stride wider than the row.
struct TestRgb {
    std::unique_ptr<mira_test::GuardedImage> g;
    mira_image im{};
    TestRgb(uint32_t w, uint32_t h, int channels, uint32_t pad = 7) {
        g.reset(new mira_test::GuardedImage(w * channels, h, w * channels + pad));
        im = mira_image{g->data(), w, h, w * uint32_t(channels) + pad, uint32_t(channels)};
    }
    uint8_t* px(uint32_t x, uint32_t y) { return g->row(y) + size_t(x) * im.channels; }
};

}  // namespace camera_test
