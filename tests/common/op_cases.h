// Every image feature as one request through MIRA_Manager::run, with fixed
// random inputs and freshly allocated outputs, so that several threads (or a
// long loop) can run any of them on either path and compare the outputs with
// a reference computed once.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "mira/mira.h"
#include "mira/mira_features.h"

namespace mira_test {

using Planes = std::vector<std::vector<uint8_t>>;

struct OpCase {
    std::string name;
    // Runs the feature with `mode`; returns the status and fills `out` with
    // every output plane (and result record).
    std::function<uint32_t(uint32_t mode, Planes& out)> run;
};

namespace op_cases_detail {

inline std::vector<uint8_t> random_bytes(size_t n, uint32_t seed, uint8_t mask = 0xFF) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng()) & mask;
    return v;
}

inline MIRA_Feature_Buf buf(const std::vector<uint8_t>& v, uint32_t w, uint32_t stride, uint32_t h) {
    return MIRA_Feature_Buf{w, stride, h, h, const_cast<uint8_t*>(v.data())};
}

inline uint32_t run(const MIRA_Feature_Buf* s, uint8_t sn, MIRA_Feature_Buf* d, uint8_t dn,
                    uint32_t id, uint32_t mode, void* extra = nullptr, int32_t arg = 0) {
    MIRA_Feature_Param p{id, mode, 1, extra, arg};
    return MIRA_Manager().run(s, sn, d, dn, &p);
}

}  // namespace op_cases_detail

// The cases. Sizes are odd where the operation allows it. Inputs live in the
// returned closures and are only read.
inline std::vector<OpCase> all_op_cases() {
    using namespace op_cases_detail;
    constexpr uint32_t W = 45, H = 29, EW = 44, EH = 28;
    auto img = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 1));
    auto img2 = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 2));
    auto img3 = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 3));
    auto pairs = std::make_shared<std::vector<uint8_t>>(random_bytes(2 * W * H, 4));
    auto nv21 = std::make_shared<std::vector<uint8_t>>(random_bytes(EW * EH * 3 / 2, 5));
    auto chroma = std::make_shared<std::vector<uint8_t>>(random_bytes(W * (H / 2), 6));
    auto regions = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 7, 0x01));
    std::vector<OpCase> c;

    auto one = [](std::string name, uint32_t id, std::shared_ptr<std::vector<uint8_t>> in,
                  uint32_t w, uint32_t stride, uint32_t h, uint32_t dw, uint32_t dstride,
                  uint32_t dh, int32_t arg = 0) {
        return OpCase{name, [=](uint32_t mode, Planes& out) {
                          out.assign(1, std::vector<uint8_t>(size_t(dstride) * dh, 0));
                          MIRA_Feature_Buf s = buf(*in, w, stride, h), d = buf(out[0], dw, dstride, dh);
                          return run(&s, 1, &d, 1, id, mode, nullptr, arg);
                      }};
    };
    c.push_back(one("transpose", MIRA_API_TRANSPOSE_U8, img, W, W, H, H, H, W));
    c.push_back(one("scale down 3x2", MIRA_API_SCALE_DOWN_U8, img, W, W, H, 15, 15, 14));
    c.push_back(one("cbcr swap", MIRA_API_CBCR_SWAP, pairs, W, 2 * W, H, W, 2 * W, H));
    c.push_back(one("rotate 90", MIRA_API_ROTATE_U8, img, W, W, H, H, H, W, 1));
    c.push_back(one("rotate 180", MIRA_API_ROTATE_U8, img, W, W, H, W, W, H, 2));
    c.push_back(one("rotate interleaved 270", MIRA_API_ROTATE_INTERLEAVE_U8, pairs, W, 2 * W, H, H, 2 * H, W, 3));
    c.push_back(one("scale down M/N interleaved", MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, pairs, 2 * W, 2 * W, H, 60, 60, 19));
    c.push_back(one("gaussian 3x3", MIRA_API_FILTER_GAUSSIAN3X3_U8, img, W, W, H, W, W, H, 0));
    c.push_back(one("up-sample 2x cbcr", MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, pairs, 2 * W, 2 * W, H, 4 * W, 4 * W, 2 * H));
    c.push_back(one("scale up poly", MIRA_API_SCALE_UP_POLY_U8, img, W, W, H, 70, 70, 50));
    c.push_back(one("scale up poly interleaved", MIRA_API_SCALE_UP_POLY_CBCR_U8, pairs, 2 * W, 2 * W, H, 140, 140, 50));
    c.push_back(one("scale down M/N", MIRA_API_SCALEDOWN_MN_U8, img, W, W, H, 30, 30, 19));
    c.push_back(OpCase{"nv21 to rgba", [=](uint32_t mode, Planes& out) {
        out.assign(1, std::vector<uint8_t>(size_t(4) * EW * EH, 0));
        MIRA_Feature_Buf s = buf(*nv21, EW, EW, EH), d = buf(out[0], EW, EW, EH);
        return run(&s, 1, &d, 1, MIRA_API_NV21_TO_RGBA8888, mode);
    }});
    c.push_back(OpCase{"ycbcr 444 to 420", [=](uint32_t mode, Planes& out) {
        out.assign(2, {});
        out[0].assign(W * H, 0);
        out[1].assign(W * (H / 2), 0);
        MIRA_Feature_Buf s[3] = {buf(*img, W, W, H), buf(*img2, W, W, H), buf(*img3, W, W, H)};
        MIRA_Feature_Buf d[2] = {buf(out[0], W, W, H), buf(out[1], W, W, H / 2)};
        return run(s, 3, d, 2, MIRA_API_YUV444_TO_YUV420, mode);
    }});
    c.push_back(OpCase{"ycbcr 420 to 444", [=](uint32_t mode, Planes& out) {
        out.assign(3, std::vector<uint8_t>(W * H, 0));
        MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), buf(*chroma, W, W, H / 2)};
        MIRA_Feature_Buf d[3] = {buf(out[0], W, W, H), buf(out[1], W, W, H), buf(out[2], W, W, H)};
        return run(s, 2, d, 3, MIRA_API_YUV420_TO_YUV444, mode);
    }});
    c.push_back(OpCase{"interleave", [=](uint32_t mode, Planes& out) {
        out.assign(1, std::vector<uint8_t>(2 * W * H, 0));
        MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), buf(*img2, W, W, H)};
        MIRA_Feature_Buf d = buf(out[0], 2 * W, 2 * W, H);
        return run(s, 2, &d, 1, MIRA_API_INTERLEAVE_U8, mode);
    }});
    for (uint32_t id : {MIRA_API_IMAGE_GRADIENT_U8, MIRA_API_IMAGE_GRADIENT_SOBEL_U8}) {
        c.push_back(OpCase{id == MIRA_API_IMAGE_GRADIENT_U8 ? "gradient" : "sobel",
                           [=](uint32_t mode, Planes& out) {
            out.assign(2, std::vector<uint8_t>(2 * W * H, 0));
            MIRA_Feature_Buf s = buf(*img, W, W, H);
            MIRA_Feature_Buf d[2] = {buf(out[0], W, 2 * W, H), buf(out[1], W, 2 * W, H)};
            return run(&s, 1, d, 2, id, mode);
        }});
    }
    c.push_back(OpCase{"intensity statistics", [=](uint32_t mode, Planes& out) {
        out.assign(2, std::vector<uint8_t>(sizeof(float), 0));
        MIRA_Feature_Buf s = buf(*img, W - 4, W, H - 3);
        MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, out[0].data()}, {1, 1, 1, 1, out[1].data()}};
        return run(&s, 1, d, 1, MIRA_API_IMAGE_INTENSITY_STATS, mode);
    }});
    for (uint32_t interp : {0u, 1u, 2u}) {
        c.push_back(OpCase{"scale mode " + std::to_string(interp), [=](uint32_t mode, Planes& out) {
            out.assign(2, {});
            out[0].assign(60 * 40, 0);
            out[1].assign(20 * 15, 0);
            ncvScaleParam up{interp, 2, 0}, down{interp, 1, 17};
            MIRA_Feature_Buf s = buf(*img, W, W, H);
            MIRA_Feature_Buf d0 = buf(out[0], 60, 60, 40), d1 = buf(out[1], 20, 20, 15);
            const uint32_t a = run(&s, 1, &d0, 1, MIRA_API_SCALE_U8, mode, &up);
            const uint32_t b = run(&s, 1, &d1, 1, MIRA_API_SCALE_U8, mode, &down);
            return a | b;
        }});
    }
    c.push_back(OpCase{"flood fill", [=](uint32_t mode, Planes& out) {
        out.assign(2, {});
        out[0].assign(W * H, 0);
        out[1].assign(sizeof(ncvFloodfillResult), 0);
        ncvFloodfillResult r{};
        ncvFloodfillParam fp{W / 2, H / 2, 200, 8, &r};
        MIRA_Feature_Buf s = buf(*regions, W, W, H), d = buf(out[0], W, W, H);
        const uint32_t st = run(&s, 1, &d, 1, MIRA_API_FLOODFILL_SIMPLE_U8, mode, &fp);
        std::memcpy(out[1].data(), &r, sizeof r);
        return st;
    }});
    for (int32_t interp : {0, 1, 3}) {
        c.push_back(OpCase{"affine " + std::to_string(interp), [=](uint32_t mode, Planes& out) {
            constexpr uint32_t dw = 41, dh = 27;
            out.assign(2, {});
            out[0].assign(dw * dh, 0);
            out[1].assign(2 * sizeof(uint32_t) * dh, 0);
            std::vector<uint8_t> m(sizeof(float) * 6);
            const float mat[6] = {0.9f, 0.2f, -3.5f, -0.15f, 1.1f, 2.25f};
            std::memcpy(m.data(), mat, sizeof mat);
            MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), {3, 12, 2, 2, m.data()}};
            MIRA_Feature_Buf d[2] = {buf(out[0], dw, dw, dh), {2, 2, dh, dh, out[1].data()}};
            return run(s, 2, d, 2, MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode, nullptr, interp);
        }});
    }
    return c;
}

}  // namespace mira_test
