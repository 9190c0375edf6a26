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
#include "operations.h"

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

// The shared inputs of the cases, made once per list.
struct OpInputs {
    static constexpr uint32_t W = 45, H = 29, EW = 44, EH = 28;
    using Bytes = std::shared_ptr<std::vector<uint8_t>>;
    Bytes img = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 1));
    Bytes img2 = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 2));
    Bytes img3 = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 3));
    Bytes pairs = std::make_shared<std::vector<uint8_t>>(random_bytes(2 * W * H, 4));
    Bytes nv21 = std::make_shared<std::vector<uint8_t>>(random_bytes(EW * EH * 3 / 2, 5));
    Bytes chroma = std::make_shared<std::vector<uint8_t>>(random_bytes(W * (H / 2), 6));
    Bytes regions = std::make_shared<std::vector<uint8_t>>(random_bytes(W * H, 7, 0x01));
};

// One plane in, one plane out.
inline OpCase one(std::string name, uint32_t id, OpInputs::Bytes in, uint32_t w, uint32_t stride,
                  uint32_t h, uint32_t dw, uint32_t dstride, uint32_t dh, int32_t arg = 0) {
    return OpCase{name, [=](uint32_t mode, Planes& out) {
                      out.assign(1, std::vector<uint8_t>(size_t(dstride) * dh, 0));
                      MIRA_Feature_Buf s = buf(*in, w, stride, h), d = buf(out[0], dw, dstride, dh);
                      return run(&s, 1, &d, 1, id, mode, nullptr, arg);
                  }};
}

// The cases of one operation. Sizes are odd where the operation allows it.
// Inputs live in the returned closures and are only read.
inline void add_cases(Operation op, const OpInputs& in, std::vector<OpCase>& c) {
    constexpr uint32_t W = OpInputs::W, H = OpInputs::H, EW = OpInputs::EW, EH = OpInputs::EH;
    const std::string name = row(op).name;
    const uint32_t id = row(op).id;
    const auto img = in.img, img2 = in.img2, img3 = in.img3, pairs = in.pairs;
    switch (op) {
    case Operation::transpose:
        c.push_back(one(name, id, img, W, W, H, H, H, W));
        return;
    case Operation::scale_down:
        c.push_back(one(name + " 3x2", id, img, W, W, H, 15, 15, 14));
        return;
    case Operation::cbcr_swap:
        c.push_back(one(name, id, pairs, W, 2 * W, H, W, 2 * W, H));
        return;
    case Operation::rotate:
        c.push_back(one(name + " 90", id, img, W, W, H, H, H, W, 1));
        c.push_back(one(name + " 180", id, img, W, W, H, W, W, H, 2));
        return;
    case Operation::rotate_interleaved:
        c.push_back(one(name + " 270", id, pairs, W, 2 * W, H, H, 2 * H, W, 3));
        return;
    case Operation::scale_down_mn_interleaved:
        c.push_back(one(name, id, pairs, 2 * W, 2 * W, H, 60, 60, 19));
        return;
    case Operation::gaussian:
        c.push_back(one(name + " 3x3", id, img, W, W, H, W, W, H, 0));
        return;
    case Operation::upsample_2x_cbcr:
        c.push_back(one(name, id, pairs, 2 * W, 2 * W, H, 4 * W, 4 * W, 2 * H));
        return;
    case Operation::scale_up_poly:
        c.push_back(one(name, id, img, W, W, H, 70, 70, 50));
        return;
    case Operation::scale_up_poly_interleaved:
        c.push_back(one(name, id, pairs, 2 * W, 2 * W, H, 140, 140, 50));
        return;
    case Operation::scale_down_mn:
        c.push_back(one(name, id, img, W, W, H, 30, 30, 19));
        return;
    case Operation::nv21_to_rgba:
        c.push_back(OpCase{name, [=, nv21 = in.nv21](uint32_t mode, Planes& out) {
            out.assign(1, std::vector<uint8_t>(size_t(4) * EW * EH, 0));
            MIRA_Feature_Buf s = buf(*nv21, EW, EW, EH), d = buf(out[0], EW, EW, EH);
            return run(&s, 1, &d, 1, id, mode);
        }});
        return;
    case Operation::ycbcr444_to_420:
        c.push_back(OpCase{name, [=](uint32_t mode, Planes& out) {
            out.assign(2, {});
            out[0].assign(W * H, 0);
            out[1].assign(W * (H / 2), 0);
            MIRA_Feature_Buf s[3] = {buf(*img, W, W, H), buf(*img2, W, W, H), buf(*img3, W, W, H)};
            MIRA_Feature_Buf d[2] = {buf(out[0], W, W, H), buf(out[1], W, W, H / 2)};
            return run(s, 3, d, 2, id, mode);
        }});
        return;
    case Operation::ycbcr420_to_444:
        c.push_back(OpCase{name, [=, chroma = in.chroma](uint32_t mode, Planes& out) {
            out.assign(3, std::vector<uint8_t>(W * H, 0));
            MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), buf(*chroma, W, W, H / 2)};
            MIRA_Feature_Buf d[3] = {buf(out[0], W, W, H), buf(out[1], W, W, H), buf(out[2], W, W, H)};
            return run(s, 2, d, 3, id, mode);
        }});
        return;
    case Operation::interleave:
        c.push_back(OpCase{name, [=](uint32_t mode, Planes& out) {
            out.assign(1, std::vector<uint8_t>(2 * W * H, 0));
            MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), buf(*img2, W, W, H)};
            MIRA_Feature_Buf d = buf(out[0], 2 * W, 2 * W, H);
            return run(s, 2, &d, 1, id, mode);
        }});
        return;
    case Operation::gradient:
    case Operation::sobel:
        c.push_back(OpCase{name, [=](uint32_t mode, Planes& out) {
            out.assign(2, std::vector<uint8_t>(2 * W * H, 0));
            MIRA_Feature_Buf s = buf(*img, W, W, H);
            MIRA_Feature_Buf d[2] = {buf(out[0], W, 2 * W, H), buf(out[1], W, 2 * W, H)};
            return run(&s, 1, d, 2, id, mode);
        }});
        return;
    case Operation::intensity_stats:
        c.push_back(OpCase{name, [=](uint32_t mode, Planes& out) {
            out.assign(2, std::vector<uint8_t>(sizeof(float), 0));
            MIRA_Feature_Buf s = buf(*img, W - 4, W, H - 3);
            MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, out[0].data()}, {1, 1, 1, 1, out[1].data()}};
            return run(&s, 1, d, 1, id, mode);
        }});
        return;
    case Operation::scale:
        for (uint32_t interp : {0u, 1u, 2u}) {
            c.push_back(OpCase{name + " mode " + std::to_string(interp), [=](uint32_t mode, Planes& out) {
                out.assign(2, {});
                out[0].assign(60 * 40, 0);
                out[1].assign(20 * 15, 0);
                ncvScaleParam up{interp, 2, 0}, down{interp, 1, 17};
                MIRA_Feature_Buf s = buf(*img, W, W, H);
                MIRA_Feature_Buf d0 = buf(out[0], 60, 60, 40), d1 = buf(out[1], 20, 20, 15);
                const uint32_t a = run(&s, 1, &d0, 1, id, mode, &up);
                const uint32_t b = run(&s, 1, &d1, 1, id, mode, &down);
                return a | b;
            }});
        }
        return;
    case Operation::floodfill:
        c.push_back(OpCase{name, [=, regions = in.regions](uint32_t mode, Planes& out) {
            out.assign(2, {});
            out[0].assign(W * H, 0);
            out[1].assign(sizeof(ncvFloodfillResult), 0);
            ncvFloodfillResult r{};
            ncvFloodfillParam fp{W / 2, H / 2, 200, 8, &r};
            MIRA_Feature_Buf s = buf(*regions, W, W, H), d = buf(out[0], W, W, H);
            const uint32_t st = run(&s, 1, &d, 1, id, mode, &fp);
            std::memcpy(out[1].data(), &r, sizeof r);
            return st;
        }});
        return;
    case Operation::affine:
        for (int32_t interp : {0, 1, 3}) {
            c.push_back(OpCase{name + " " + std::to_string(interp), [=](uint32_t mode, Planes& out) {
                constexpr uint32_t dw = 41, dh = 27;
                out.assign(2, {});
                out[0].assign(dw * dh, 0);
                out[1].assign(2 * sizeof(uint32_t) * dh, 0);
                std::vector<uint8_t> m(sizeof(float) * 6);
                const float mat[6] = {0.9f, 0.2f, -3.5f, -0.15f, 1.1f, 2.25f};
                std::memcpy(m.data(), mat, sizeof mat);
                MIRA_Feature_Buf s[2] = {buf(*img, W, W, H), {3, 12, 2, 2, m.data()}};
                MIRA_Feature_Buf d[2] = {buf(out[0], dw, dw, dh), {2, 2, dh, dh, out[1].data()}};
                return run(s, 2, d, 2, id, mode, nullptr, interp);
            }});
        }
        return;
    }
}

}  // namespace op_cases_detail

// Every operation of the shared list (operations.h) as its cases.
inline std::vector<OpCase> all_op_cases() {
    const op_cases_detail::OpInputs in;
    std::vector<OpCase> c;
    for (const OperationRow& r : kOperations) op_cases_detail::add_cases(r.op, in, c);
    return c;
}

}  // namespace mira_test
