// Every operation with a GPU kernel as one request of a given geometry, run on
// either path with guard-page images (strides larger than the widths), so a
// test can compare the GPU result with the CPU result, or with a scalar
// reference of the kernel's own formula where the two methods are different
// operations (the box down-scales place a box of the integer ratio at the
// truncated float position; the NV21 kernel converts in single precision).
// Every GPU run must have launched its kernel, and the same request with no
// usable device (the kernel's CPU twin) must give the GPU's bytes.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/guarded_image.h"
#include "common/operations.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace gpu_vs_cpu {

using mira_test::GuardedBlock;
using mira_test::GuardedImage;

// Sizes of one request. Widths count what the operation's descriptors count
// (pixels, pairs or bytes, as each case says); pads are the bytes added to
// each row's width to make the stride.
struct Geometry {
    uint32_t sw = 1, sh = 1, dw = 1, dh = 1;
    uint32_t srcPad = 0, dstPad = 0;
    uint32_t seed = 1;
};

inline std::string describe(const Geometry& g) {
    return std::to_string(g.sw) + "x" + std::to_string(g.sh) + " -> " + std::to_string(g.dw) +
           "x" + std::to_string(g.dh) + " pads " + std::to_string(g.srcPad) + "/" +
           std::to_string(g.dstPad);
}

// What a request left behind: its status, every output plane's defined bytes
// (packed) and whether the bytes between and after the rows kept their canary.
struct Outcome {
    uint32_t status = 0;
    std::vector<std::vector<uint8_t>> planes;
    bool paddingIntact = true;
};

enum class Compare {
    Exact,       // GPU equals CPU bit for bit
    WithinOne,   // each byte within 1 of the CPU (float rounding, see the case)
    Reference,   // the GPU equals `reference` (the kernel's own formula)
    ReferenceWithinOne,
};

struct Op {
    std::string name;
    Compare compare = Compare::Exact;
    // Whether the operation accepts this geometry at all (the CPU path's
    // rules); sizes it refuses or leaves undefined are not compared.
    std::function<bool(const Geometry&)> accepts;
    // Source size for a destination of dw x dh in the tiny-size sweep;
    // `variant` (0, 1, 2) picks among the ratios an operation allows.
    std::function<void(Geometry&, int variant)> sourceFor;
    std::function<Outcome(const Geometry&, uint32_t mode)> run;
    // The expected GPU output planes for Compare::Reference*, from the
    // request's inputs (regenerated from the seed).
    std::function<std::vector<std::vector<uint8_t>>(const Geometry&)> reference;
    // A random source size for the destination of `g` among those the
    // operation accepts; null when the source follows from the destination.
    std::function<void(Geometry&, std::mt19937&)> randomSource;
    // Whether a GPU request of this geometry launches a kernel; null: always.
    // Set after the case is listed.
    std::function<bool(const Geometry&)> launches = nullptr;
};

namespace detail {

inline GuardedImage* image(std::vector<std::unique_ptr<GuardedImage>>& keep, uint32_t rowBytes,
                           uint32_t rows, uint32_t pad, uint32_t seed, bool fill) {
    keep.push_back(std::make_unique<GuardedImage>(rowBytes, rows, rowBytes + pad));
    if (fill)
        keep.back()->fillRandom(seed);
    else
        keep.back()->fill(0x5A);
    return keep.back().get();
}

inline MIRA_Feature_Buf buf(GuardedImage* g, uint32_t width) {
    return MIRA_Feature_Buf{width, g->stride(), g->rows(), g->rows(), g->data()};
}

// Nanoseconds this thread spent inside the library's requests (the call
// alone, not the images' set-up); the GPU check tool reads and resets it.
inline thread_local uint64_t request_ns = 0;

inline uint32_t request(const MIRA_Feature_Buf* s, uint8_t sn, MIRA_Feature_Buf* d, uint8_t dn,
                        MIRA_API_ID id, uint32_t mode, int32_t arg = 0, void* extra = nullptr) {
    MIRA_Feature_Param p{uint32_t(id), mode, 1, extra, arg};
    const auto start = std::chrono::steady_clock::now();
    const uint32_t status = MIRA_Manager().run(s, sn, d, dn, &p);
    request_ns += uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
    return status;
}

inline Outcome collect(uint32_t status, const std::vector<GuardedImage*>& outs) {
    Outcome o;
    o.status = status;
    for (GuardedImage* g : outs) {
        o.planes.push_back(g->packed());
        o.paddingIntact = o.paddingIntact && g->paddingIntact();
    }
    return o;
}

// One plane in, one plane out; widths in bytes times `bpp` for the images.
inline Outcome one_to_one(const Geometry& g, uint32_t mode, MIRA_API_ID id, uint32_t bpp,
                          int32_t arg = 0) {
    std::vector<std::unique_ptr<GuardedImage>> keep;
    GuardedImage* s = image(keep, g.sw * bpp, g.sh, g.srcPad, g.seed, true);
    GuardedImage* d = image(keep, g.dw * bpp, g.dh, g.dstPad, 0, false);
    MIRA_Feature_Buf sb = buf(s, g.sw * bpp), db = buf(d, g.dw * bpp);
    return collect(request(&sb, 1, &db, 1, id, mode, arg), {d});
}

// One plane in, one plane out, the descriptors' widths counting units of
// `bpp` bytes (pixels of two bytes, pairs) where one_to_one's count bytes.
inline Outcome unit_to_unit(const Geometry& g, uint32_t mode, MIRA_API_ID id, uint32_t bpp,
                            int32_t arg = 0) {
    std::vector<std::unique_ptr<GuardedImage>> keep;
    GuardedImage* s = image(keep, bpp * g.sw, g.sh, g.srcPad, g.seed, true);
    GuardedImage* d = image(keep, bpp * g.dw, g.dh, g.dstPad, 0, false);
    MIRA_Feature_Buf sb = buf(s, g.sw), db = buf(d, g.dw);
    return collect(request(&sb, 1, &db, 1, id, mode, arg), {d});
}

// The source plane of a one-plane request as one_to_one fills it, packed.
inline std::vector<uint8_t> source_of(const Geometry& g, uint32_t bytes) {
    GuardedImage s(bytes, g.sh, bytes + g.srcPad);
    s.fillRandom(g.seed);
    return s.packed();
}

// The box of the integer ratio at the truncated float position, per channel
// of `es`-byte elements; `rounded` adds 0.5 to the float mean (the
// interleaved kernel), else the integer mean is truncated.
inline std::vector<uint8_t> box_reference(const Geometry& g, uint32_t es, bool rounded) {
    const uint32_t sb = g.sw * es, db = g.dw * es;
    const std::vector<uint8_t> s = source_of(g, sb);
    const float xs = float(sb) / float(db), ys = float(g.sh) / float(g.dh);
    const int bw = std::max<int>(1, int(sb / db)), bh = std::max<int>(1, int(g.sh / g.dh));
    std::vector<uint8_t> out(size_t(db) * g.dh);
    for (uint32_t y = 0; y < g.dh; ++y)
        for (uint32_t x = 0; x < db; ++x) {
            const int sy = int(float(y) * ys);
            const int unit = int(x / es);
            const int sx = int(float(unit) * xs);
            int64_t sum = 0;
            for (int r = 0; r < bh; ++r)
                for (int c = 0; c < bw; ++c) {
                    const int yy = std::min<int>(sy + r, int(g.sh) - 1);
                    const int xx = std::min<int>(sx + c, int(g.sw) - 1);
                    sum += s[size_t(yy) * sb + uint32_t(xx) * es + x % es];
                }
            out[size_t(y) * db + x] =
                rounded ? uint8_t(float(sum) / float(bw * bh) + 0.5f) : uint8_t(sum / (bw * bh));
        }
    return out;
}

// An NV21 frame of sw x sh with rows sw + srcPad bytes apart and the chroma
// rows after the luma rows.
inline std::vector<uint8_t> nv21_frame(const Geometry& g) {
    const uint32_t s = g.sw + g.srcPad;
    std::vector<uint8_t> f(size_t(s) * g.sh + size_t(s) * ((g.sh + 1) / 2));
    std::mt19937 rng(g.seed);
    for (uint8_t& b : f) b = uint8_t(rng());
    return f;
}

// The kernel's conversion in single precision, truncated:
//   y = clamp(Y - 16, 0, 255) * 1.164, U' = U - 128, V' = V - 128
//   R = y + 1.596 V', G = y - (0.813 V' + 0.391 U'), B = y + 2.018 U'.
inline void rgba_float(int Y, int U, int V, uint8_t* px) {
    const float y = std::min(255.f, std::max(0.f, float(Y - 16))) * 1.164f;
    const float u = float(U - 128), v = float(V - 128);
    auto c = [](float f) { return uint8_t(int(std::min(255.f, std::max(0.f, f)))); };
    px[0] = c(y + 1.596f * v);
    px[1] = c(y - (0.813f * v + 0.391f * u));
    px[2] = c(y + 2.018f * u);
    px[3] = 255;
}

// Shapes shared by the cases below.
inline bool any_size(const Geometry&) { return true; }
inline void same_source(Geometry& g, int) {
    g.sw = g.dw;
    g.sh = g.dh;
}
inline void swapped_source(Geometry& g, int) {
    g.sw = g.dh;
    g.sh = g.dw;
}
inline bool same_size(const Geometry& g) { return g.sw == g.dw && g.sh == g.dh; }
inline bool swapped_size(const Geometry& g) { return g.sw == g.dh && g.sh == g.dw; }
// Down-scales: a source at least as large as the destination.
inline bool down_size(const Geometry& g) { return g.sw >= g.dw && g.sh >= g.dh; }
inline void down_source(Geometry& g, int v) {
    const uint32_t f[3][2] = {{2, 2}, {3, 1}, {1, 3}};
    const uint32_t extra[3][2] = {{0, 0}, {1, 0}, {2, 1}};
    g.sw = g.dw * f[v][0] + extra[v][0];
    g.sh = g.dh * f[v][1] + extra[v][1];
}
inline void down_random(Geometry& g, std::mt19937& rng) {
    g.sw = g.dw + rng() % (3 * g.dw + 4);
    g.sh = g.dh + rng() % (3 * g.dh + 4);
}
// The chroma conversions and NV21 launch for whole 2 x 2 blocks only.
inline bool whole_blocks(const Geometry& g) { return g.dw >= 2 && g.dh >= 2; }

// The cases of one operation of the shared list. Each case documents its
// units.
inline void add_ops(mira_test::Operation which, std::vector<Op>& ops) {
    using mira_test::Operation;
    const std::string name = mira_test::row(which).name;
    const MIRA_API_ID id = mira_test::row(which).id;
    switch (which) {
    case Operation::transpose:
        ops.push_back({name, Compare::Exact, swapped_size, swapped_source,
                       [id](const Geometry& g, uint32_t m) { return one_to_one(g, m, id, 1); },
                       nullptr, nullptr});
        return;
    case Operation::rotate:
    case Operation::rotate_interleaved:
        for (int code : {1, 2, 3}) {
            const bool turn = code != 2;
            // Widths in pixels of one byte (planar) or two (interleaved).
            const uint32_t bpp = which == Operation::rotate ? 1 : 2;
            ops.push_back({name + " " + std::to_string(code), Compare::Exact,
                           turn ? swapped_size : same_size, turn ? swapped_source : same_source,
                           [code, id, bpp](const Geometry& g, uint32_t m) {
                               return unit_to_unit(g, m, id, bpp, code);
                           },
                           nullptr, nullptr});
        }
        return;
    case Operation::cbcr_swap:
        // Widths in pairs.
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) { return unit_to_unit(g, m, id, 2); },
                       nullptr, nullptr});
        return;
    case Operation::interleave:
        // Two planes of sw pixels into one of 2 * sw bytes.
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           GuardedImage* a = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                           GuardedImage* b = image(keep, g.sw, g.sh, g.srcPad + 1, g.seed + 1, true);
                           GuardedImage* d = image(keep, 2 * g.dw, g.dh, g.dstPad, 0, false);
                           MIRA_Feature_Buf s[2] = {buf(a, g.sw), buf(b, g.sw)};
                           MIRA_Feature_Buf db = buf(d, 2 * g.dw);
                           return collect(request(s, 2, &db, 1, id, m), {d});
                       },
                       nullptr, nullptr});
        return;
    case Operation::ycbcr444_to_420:
        // Luma and Cb, Cr planes of w x h in; luma and a chroma plane of
        // pairs (w bytes, h / 2 rows) out.
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           GuardedImage* y = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                           GuardedImage* cb = image(keep, g.sw, g.sh, g.srcPad + 2, g.seed + 1, true);
                           GuardedImage* cr = image(keep, g.sw, g.sh, g.srcPad + 3, g.seed + 2, true);
                           GuardedImage* oy = image(keep, g.dw, g.dh, g.dstPad, 0, false);
                           GuardedImage* oc = image(keep, g.dw, std::max(g.dh / 2, 1u), g.dstPad + 1, 0, false);
                           MIRA_Feature_Buf s[3] = {buf(y, g.sw), buf(cb, g.sw), buf(cr, g.sw)};
                           MIRA_Feature_Buf d[2] = {buf(oy, g.dw), buf(oc, g.dw)};
                           d[1].height = d[1].bufHeight = g.dh / 2;
                           return collect(request(s, 3, d, 2, id, m), {oy, oc});
                       },
                       nullptr, nullptr, whole_blocks});
        return;
    case Operation::ycbcr420_to_444:
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           GuardedImage* y = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                           GuardedImage* c = image(keep, g.sw, std::max(g.sh / 2, 1u), g.srcPad + 1, g.seed + 1, true);
                           GuardedImage* oy = image(keep, g.dw, g.dh, g.dstPad, 0, false);
                           GuardedImage* ob = image(keep, g.dw, g.dh, g.dstPad + 2, 0, false);
                           GuardedImage* orr = image(keep, g.dw, g.dh, g.dstPad + 3, 0, false);
                           MIRA_Feature_Buf s[2] = {buf(y, g.sw), buf(c, g.sw)};
                           s[1].height = s[1].bufHeight = g.sh / 2;
                           MIRA_Feature_Buf d[3] = {buf(oy, g.dw), buf(ob, g.dw), buf(orr, g.dw)};
                           return collect(request(s, 2, d, 3, id, m), {oy, ob, orr});
                       },
                       nullptr, nullptr, whole_blocks});
        return;
    case Operation::nv21_to_rgba:
        // One NV21 frame (luma rows, then chroma rows of V,U pairs at stride
        // x rows), RGBA out with the stride in pixels. The CPU method reads a
        // dense frame and converts in fixed point; the kernel converts in
        // single precision, so it is held to its own formula exactly (no
        // fused or relaxed arithmetic in the build).
        ops.push_back({name, Compare::Reference, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           const std::vector<uint8_t> bytes = nv21_frame(g);
                           GuardedBlock frame(bytes.size());
                           std::memcpy(frame.data(), bytes.data(), bytes.size());
                           const uint32_t s = g.sw + g.srcPad, ds = g.dw + g.dstPad;
                           GuardedImage* d = image(keep, 4 * g.dw, g.dh, 4 * g.dstPad, 0, false);
                           MIRA_Feature_Buf sb{g.sw, s, g.sh, g.sh, frame.data()};
                           MIRA_Feature_Buf db{g.dw, ds, g.dh, g.dh, d->data()};
                           return collect(request(&sb, 1, &db, 1, id, m), {d});
                       },
                       [](const Geometry& g) {
                           const std::vector<uint8_t> f = nv21_frame(g);
                           const uint32_t s = g.sw + g.srcPad;
                           std::vector<uint8_t> out(size_t(4) * g.dw * g.dh, 0x5A);
                           for (uint32_t y = 0; y < (g.dh & ~1u); ++y)
                               for (uint32_t x = 0; x < (g.dw & ~1u); ++x) {
                                   const uint8_t* c = &f[size_t(s) * g.sh + size_t(y / 2) * s + (x & ~1u)];
                                   rgba_float(f[size_t(y) * s + x], c[1], c[0], &out[(size_t(y) * g.dw + x) * 4]);
                               }
                           return std::vector<std::vector<uint8_t>>{out};
                       },
                       nullptr, whole_blocks});
        return;
    case Operation::gradient:
    case Operation::sobel:
        // int16 planes of w values, strides in bytes.
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           GuardedImage* s = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                           GuardedImage* dx = image(keep, 2 * g.dw, g.dh, 2 * g.dstPad, 0, false);
                           GuardedImage* dy = image(keep, 2 * g.dw, g.dh, 2 * g.dstPad + 2, 0, false);
                           MIRA_Feature_Buf sb = buf(s, g.sw);
                           MIRA_Feature_Buf d[2] = {buf(dx, g.dw), buf(dy, g.dw)};
                           return collect(request(&sb, 1, d, 2, id, m), {dx, dy});
                       },
                       nullptr, nullptr});
        return;
    case Operation::gaussian:
        for (int border : {0, 1})
            ops.push_back({name + " border " + std::to_string(border), Compare::Exact, same_size,
                           same_source,
                           [border, id](const Geometry& g, uint32_t m) {
                               return one_to_one(g, m, id, 1, border);
                           },
                           nullptr, nullptr,
                           // smaller images are all border
                           [](const Geometry& g) { return g.dw >= 3 && g.dh >= 3; }});
        return;
    case Operation::intensity_stats:
        ops.push_back({name, Compare::Exact, same_size, same_source,
                       [id](const Geometry& g, uint32_t m) {
                           std::vector<std::unique_ptr<GuardedImage>> keep;
                           GuardedImage* s = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                           GuardedImage* mean = image(keep, 4, 1, 0, 0, false);
                           GuardedImage* var = image(keep, 4, 1, 0, 0, false);
                           MIRA_Feature_Buf sb = buf(s, g.sw);
                           MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, mean->data()}, {1, 1, 1, 1, var->data()}};
                           return collect(request(&sb, 1, d, 2, id, m), {mean, var});
                       },
                       nullptr, nullptr,
                       [](const Geometry&) { return false; }});  // no kernel
        return;
    case Operation::scale_down:
    case Operation::scale_down_mn:
        ops.push_back({name, Compare::Reference, down_size, down_source,
                       [id](const Geometry& g, uint32_t m) { return one_to_one(g, m, id, 1); },
                       [](const Geometry& g) { return std::vector<std::vector<uint8_t>>{box_reference(g, 1, false)}; },
                       down_random});
        return;
    case Operation::scale_down_mn_interleaved:
        // Widths in pairs (descriptors in bytes). The kernel's division is
        // correctly rounded where the device offers it (PoCL does).
        ops.push_back({name, Compare::Reference, down_size, down_source,
                       [id](const Geometry& g, uint32_t m) { return one_to_one(g, m, id, 2); },
                       [](const Geometry& g) { return std::vector<std::vector<uint8_t>>{box_reference(g, 2, true)}; },
                       down_random});
        return;
    case Operation::upsample_2x_cbcr:
        // Widths in pairs; any destination size gets the factor-2 result.
        ops.push_back({name, Compare::Exact, any_size,
                       [](Geometry& g, int v) {
                           g.sw = std::max(1u, (g.dw + 1) / 2 - (v == 1 ? 1 : 0));
                           g.sh = std::max(1u, (g.dh + 1) / 2 + (v == 2 ? 1 : 0));
                       },
                       [id](const Geometry& g, uint32_t m) { return one_to_one(g, m, id, 2); },
                       nullptr,
                       [](Geometry& g, std::mt19937& rng) {
                           g.sw = 1 + rng() % (g.dw + 2);
                           g.sh = 1 + rng() % (g.dh + 2);
                       }});
        return;
    case Operation::affine:
        // The warp, with its matrix block and row-span output: every
        // interpolation bit for bit (the kernels compute their float formulas
        // as written, the bicubic accumulation fused on both sides).
        for (int interp : {0, 1, 3}) {
            ops.push_back({name + " " + std::to_string(interp), Compare::Exact, any_size,
                           [](Geometry& g, int v) {
                               g.sw = g.dw + uint32_t(v);
                               g.sh = g.dh + uint32_t(2 - v);
                           },
                           [interp, id](const Geometry& g, uint32_t m) {
                               std::vector<std::unique_ptr<GuardedImage>> keep;
                               GuardedImage* s = image(keep, g.sw, g.sh, g.srcPad, g.seed, true);
                               GuardedImage* d = image(keep, g.dw, g.dh, g.dstPad, 0, false);
                               GuardedImage* spans = image(keep, 8, g.dh, 0, 0, false);
                               std::mt19937 rng(g.seed * 3 + 1);
                               // Coefficients in [-0.4, 0.4], from integers: in the
                               // sanitizer build the float distribution's long double
                               // set-up was seen to give NaN after the GPU calls.
                               auto u = [&rng] { return float(int(rng() % 8001) - 4000) / 10000.0f; };
                               float mat[6] = {1.0f + u(), u(), 2.0f * u(),
                                               u(), 1.0f + u(), 2.0f * u()};
                               MIRA_Feature_Buf in[2] = {buf(s, g.sw), {3, 12, 2, 2, reinterpret_cast<uint8_t*>(mat)}};
                               MIRA_Feature_Buf out[2] = {buf(d, g.dw), {2, 2, g.dh, g.dh, spans->data()}};
                               return collect(request(in, 2, out, 2, id, m, interp), {d, spans});
                           },
                           nullptr,
                           [](Geometry& g, std::mt19937& rng) {
                               g.sw = 1 + rng() % (2 * g.dw + 8);
                               g.sh = 1 + rng() % (2 * g.dh + 8);
                           }});
        }
        return;
    case Operation::scale_up_poly:
    case Operation::scale_up_poly_interleaved:
    case Operation::scale:
    case Operation::floodfill:
        // No GPU kernel: a GPU request runs the CPU method, which
        // tests/common/op_cases.h already runs on both paths.
        return;
    }
}

}  // namespace detail

// Every operation of the shared list (tests/common/operations.h) whose GPU
// request is held to the CPU path (all but the last case of add_ops), as its
// cases.
inline std::vector<Op> all_ops() {
    std::vector<Op> ops;
    for (const mira_test::OperationRow& r : mira_test::kOperations) detail::add_ops(r.op, ops);
    return ops;
}

// Runs `op` at `g` on the GPU path and checks its result against the CPU
// path's (or the kernel's formula), and that no byte outside the rows changed.
inline void expect_same(const std::vector<std::vector<uint8_t>>& got,
                        const std::vector<std::vector<uint8_t>>& want, bool loose,
                        const char* what);

inline void check(const Op& op, const Geometry& g) {
    SCOPED_TRACE(op.name + " " + describe(g));
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    const Outcome gpu = op.run(g, MIRA_MODE_OPENCL);
    uint64_t launches = 0;
    zor_test_take_kernel_ns(&launches);
    zor_test_time_kernels(false);
    EXPECT_TRUE(gpu.paddingIntact) << "GPU wrote outside the rows";
    if (!op.launches || op.launches(g))
        EXPECT_GT(launches, 0u) << "the GPU request fell back to the CPU: no kernel ran";
    else
        EXPECT_EQ(launches, 0u);
    // The same request without a usable device: the kernel's CPU twin, whose
    // bytes are the kernel's.
    zor_test_force_unusable(true);
    const Outcome twin = op.run(g, MIRA_MODE_OPENCL);
    zor_test_force_unusable(false);
    EXPECT_TRUE(twin.paddingIntact) << "the CPU twin wrote outside the rows";
    EXPECT_EQ(twin.status, gpu.status);
    expect_same(twin.planes, gpu.planes, false, "twin vs GPU");
    std::vector<std::vector<uint8_t>> want;
    Outcome cpu;
    if (op.compare == Compare::Reference || op.compare == Compare::ReferenceWithinOne) {
        EXPECT_EQ(gpu.status, uint32_t(MIRA_OK));
        want = op.reference(g);
    } else {
        cpu = op.run(g, MIRA_MODE_CPU);
        EXPECT_TRUE(cpu.paddingIntact) << "CPU wrote outside the rows";
        EXPECT_EQ(gpu.status, cpu.status);
        want = cpu.planes;
    }
    const bool loose = op.compare == Compare::WithinOne || op.compare == Compare::ReferenceWithinOne;
    expect_same(gpu.planes, want, loose, "GPU vs expected");
}

inline void expect_same(const std::vector<std::vector<uint8_t>>& got,
                        const std::vector<std::vector<uint8_t>>& want, bool loose,
                        const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t p = 0; p < want.size(); ++p) {
        ASSERT_EQ(got[p].size(), want[p].size()) << what;
        size_t bad = 0, first = 0;
        for (size_t i = 0; i < want[p].size(); ++i) {
            const int d = std::abs(int(got[p][i]) - int(want[p][i]));
            if (d > (loose ? 1 : 0)) {
                if (bad++ == 0) first = i;
            }
        }
        EXPECT_EQ(bad, 0u) << what << ", plane " << p << ": " << bad << " of " << want[p].size()
                           << " bytes differ, first at " << first << " (got "
                           << (bad ? int(got[p][first]) : 0) << ", expected "
                           << (bad ? int(want[p][first]) : 0) << ")";
    }
}

}  // namespace gpu_vs_cpu
