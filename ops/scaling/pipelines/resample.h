// Shared building blocks of the separable resampling pipelines: per-axis tap
// tables (first tap and normalised weights, computed once per call in double
// precision), the border rule, and the vectorised, row-band-parallel
// schedules.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "Halide.h"
#include "column_gather.h"  // the stage's block size and no-block base

namespace mira_pipelines {

using namespace Halide;

// The one-dimensional kernels.
enum class Kernel {
    Nearest,   // single tap ceil(c - 0.5), weight 1
    Box,       // f(t) = 1 for |t| <= 0.5
    Bilinear,  // f(t) = 1 - |t| for |t| < 1
    Distance,  // f(t) = |t|
    Lanczos3,  // sin(pi t) sin(pi t / 3) / (pi t * pi t / 3), |t| <= 3
};

// Added before the final truncation so that a value that is mathematically an
// integer (a constant area, a pair mean) is not lost to the last bit of float
// accumulation; far below one output step.
constexpr float kTruncationBias = 1.0f / 1024.0f;

// A float sum to 8 bits: clamped to [0, 255], truncated toward zero.
inline Expr to_u8(Expr v) { return cast<uint8_t>(clamp(v + kTruncationBias, 0.0f, 255.0f)); }

// Tap tables of one axis for `out_extent` destination coordinates.
struct AxisTaps {
    Func first;   // first(d): index of tap 0 (int32)
    Func first_inline;  // the same values, computed where used
    Func weight;  // weight(d, k): normalised weight of tap k (float32)
    Expr taps;    // number of taps K
};

// A 64-bit float constant (the weight tables are computed in double).
inline Expr D(double v) { return Expr(v); }

inline Expr kernel_value(Kernel k, Expr t) {
    Expr at = abs(t);
    switch (k) {
    case Kernel::Box: return select(at <= D(0.5), D(1.0), D(0.0));
    case Kernel::Bilinear: return select(at < D(1.0), D(1.0) - at, D(0.0));
    case Kernel::Distance: return at;
    case Kernel::Lanczos3: {
        const double pi = 3.14159265358979323846;
        Expr a = D(pi) * t, b = D(pi) * t / D(3.0);
        Expr zero = at == D(0.0);
        Expr safe = select(zero, D(1.0), a * b);
        return select(zero, D(1.0), at > D(3.0), D(0.0), sin(a) * sin(b) / safe);
    }
    case Kernel::Nearest: break;
    }
    return D(1.0);
}

// Builds the tap tables of one axis. `s` is the scale factor (destination
// over source), `support` the kernel's width W in source pixels (already
// divided by s where the kernel widens), `fixed_taps` > 0 for kernels with a
// constant tap count; `tap_limit` bounds the tap count for degenerate factors
// (a factor of destination over source width needs at most 2 x width + 1).
// Coordinates (centre, first tap, tap offsets) are IEEE single precision
// without contraction, so the tap choice is the same on every target; the
// kernel values and their normalisation are computed in double. `at_one`,
// where it differs from `kernel`, is the kernel of factors of 1 or more.
inline AxisTaps make_axis(const std::string& name, Kernel kernel, Expr s, Expr support,
                          int fixed_taps, Expr tap_limit, Kernel at_one) {
    Var d("d"), k("k");
    Expr c = strict_float((cast<float>(d) + 0.5f) / s - 0.5f);
    Expr half = kernel == Kernel::Lanczos3 ? Expr(3.0f) : strict_float(support / 2.0f);
    Expr b0 = strict_float(ceil(c - half));
    Expr b = cast<int>(clamp(b0, -1.0e7f, 1.0e7f));

    AxisTaps a;
    if (fixed_taps > 0) {
        a.taps = fixed_taps;
    } else {
        Expr limit = cast<float>(tap_limit);
        a.taps = cast<int>(clamp(ceil(support), 1.0f, limit));
    }
    a.first = Func(name + "_first");
    a.first(d) = b;
    a.first_inline = Func(name + "_first_inline");
    a.first_inline(d) = b;

    Func raw(name + "_raw");
    Expr shrink = kernel == Kernel::Lanczos3 ? Expr(1.0f) : min(s, 1.0f);
    Expr t = strict_float((cast<float>(a.first(d) + k) - c) * shrink);
    raw(d, k) = at_one == kernel ? kernel_value(kernel, cast<double>(t))
                                 : select(s >= 1.0f, kernel_value(at_one, cast<double>(t)),
                                          kernel_value(kernel, cast<double>(t)));

    Func total(name + "_total");
    RDom r(0, a.taps, name + "_r");
    total(d) = cast<double>(0);
    total(d) += raw(d, r);

    a.weight = Func(name + "_weight");
    a.weight(d, k) = cast<float>(select(total(d) == D(0.0), D(0.0), raw(d, k) / total(d)));

    // Tables are computed once per call, before any row, in vectors.
    a.first.compute_root().vectorize(d, 8, TailStrategy::RoundUp);
    raw.compute_inline();
    total.compute_root().vectorize(d, 8, TailStrategy::RoundUp);
    total.update().vectorize(d, 8, TailStrategy::RoundUp);
    a.weight.compute_root().vectorize(d, 8, TailStrategy::RoundUp);
    return a;
}
inline AxisTaps make_axis(const std::string& name, Kernel kernel, Expr s, Expr support,
                          int fixed_taps, Expr tap_limit) {
    return make_axis(name, kernel, s, support, fixed_taps, tap_limit, kernel);
}

// A ratio p/q of destination over source with versions of its own.
struct Ratio {
    int p, q;
};
inline float ratio_value(const Ratio& r) { return float(r.p) / float(r.q); }
inline std::string ratio_name(const Ratio& r) {
    return std::to_string(r.p) + "_" + std::to_string(r.q);
}

// The first taps ceil(c - half) of destination columns 0 to p - 1 at ratio
// p/q, known when the pipeline is built: the centre c = (x + 0.5) / s - 0.5
// in the same single-precision steps as the tables.
inline std::vector<int> first_taps(const Ratio& r, float half) {
    const float s = ratio_value(r);
    std::vector<int> off;
    for (int i = 0; i < r.p; ++i) off.push_back(int(std::ceil(((float(i) + 0.5f) / s - 0.5f) - half)));
    return off;
}

// Column x's offset in its period, offsets[x mod p], as an expression (a
// constant once the p phases are unrolled). offsets[i] = first(i) for i < p,
// where those are known when the pipeline is built.
inline Expr period_offset(const std::vector<int>& offsets, Expr x) {
    const int p = int(offsets.size());
    Expr off = offsets[p - 1];
    for (int i = p - 2; i >= 0; --i) off = select(x % p == i, offsets[i], off);
    return off;
}

// Whether an axis's first taps repeat with period p at ratio p/q: `applies`
// holds, first(x) = q (x / p) + first(x mod p) for every x in [0, n) (with
// first(x mod p) = offsets[x mod p] where they are given), and first(n - 1) >
// past (from there on the taps of both forms lie beyond the source's last
// sample, where they read the same edge). `first` is the axis's inline tap
// formula (the tables' regions may depend on this value). Checked once per
// call, the comparisons in vectors.
inline Expr repeating_taps(const std::string& name, const Func& first, int p, int q,
                           Expr applies, Expr n, Expr past,
                           const std::vector<int>& offsets = {}) {
    Var d("d");
    Func miss(name + "_miss");
    Expr off = offsets.empty() ? Expr(first(d % p)) : period_offset(offsets, d);
    miss(d) = select(first(d) == q * (d / p) + off, 0, 1);
    miss.compute_root().vectorize(d, 16, TailStrategy::RoundUp);
    Func ok(name);
    RDom r(0, n, name + "_r");
    r.where(applies);
    ok() = select(applies && n > 0 && first(max(n - 1, 0)) > past, 1, 0);
    ok() = min(ok(), 1 - miss(r));
    ok.compute_root();
    return applies && ok() == 1;
}

// Clamps tap index `i` of destination coordinate `d` into [lo, hi] where
// [lo, hi] is a window around the source centre that always holds the taps
// (first tap >= floor(c) - K, last <= ceil(c) + K, with one spare) and lies
// within [-1, extent]: the clamp never changes a tap, and it lets bounds
// inference see which intermediate rows a band of destination rows needs.
inline Expr clamp_tap(Expr i, Expr d, Expr s, Expr taps, Expr extent) {
    Expr c = (cast<float>(d) + 0.5f) / s - 0.5f;
    Expr lo = cast<int>(clamp(floor(c), -1.0e7f, 1.0e7f)) - taps - 1;
    Expr hi = cast<int>(clamp(ceil(c), -1.0e7f, 1.0e7f)) + taps + 1;
    return clamp(i, max(lo, -1), min(hi, extent));
}

// `value`, computed after the per-call checks `checks`: a table read by a
// stage whose use depends on those checks is computed once they are known
// (its region depends on them).
inline Expr after_checks(Expr value, Expr checks) { return select(checks, value, value); }

// The source rows `rows` (x, row, channel) gathered at the destination
// columns' source columns: out(x, r, c) = rows(cols(x), r, c) for `type`
// UInt(8), and the pair rows(cols(x), r, c) | rows(cols(x) + 1, r, c) << 8
// for UInt(16). `cols` is a table computed once per call whose values lie in
// [lo, hi]. The gather is the hand-written stage mira_gather_columns: per
// aligned block of 16 destination columns one 16-byte load of the rows and
// a byte shuffle, with the block's first source column and the columns'
// offsets from it in two more tables computed here once per call (a block
// whose columns span more than 16 samples is gathered column by column).
inline Func gather_columns(const std::string& name, Func rows, Func cols, Expr lo, Expr hi,
                           Type type) {
    constexpr int block = mira::kGatherBlock;
    Var d("d"), k("k");
    RDom rb(1, block - 1, name + "_rb");
    Func first(name + "_block_min"), last(name + "_block_max");
    first(k) = cols(block * k);
    first(k) = min(first(k), cols(block * k + rb));
    last(k) = cols(block * k);
    last(k) = max(last(k), cols(block * k + rb));
    Func base(name + "_base"), offset(name + "_offset");
    base(k) = select(last(k) - first(k) <= block - 1, first(k), mira::kNoBlockBase);
    offset(d) = cast<uint8_t>(clamp(cols(d) - first(d / block), 0, 255));
    first.compute_root();
    last.compute_root();
    base.compute_root();
    offset.compute_root().vectorize(d, block, TailStrategy::RoundUp);

    Func g(name);
    Var x("x"), r("r"), c("c");
    std::vector<ExternFuncArgument> args = {rows, cols, offset, base, lo, hi};
    g.define_extern("mira_gather_columns", args, type, {x, r, c}, NameMangling::C);
    return g;
}

// The border rule: border_type 1 gives border_value outside the image,
// anything else the nearest edge sample.
inline Expr replicates_edge(Expr border_type) { return border_type != 1; }

// The source seen through the border rule.
inline Func bordered_source(Func input, Expr w, Expr h, Expr border_type, Expr border_value) {
    Var x("x"), y("y"), c("c");
    Func in_b("bordered");
    Expr inside = x >= 0 && x < w && y >= 0 && y < h;
    Expr edge = input(clamp(likely(x), 0, w - 1), clamp(likely(y), 0, h - 1), c);
    in_b(x, y, c) = select(!replicates_edge(border_type) && !inside, border_value, edge);
    return in_b;
}

// The source columns that taps clamp to, [lo, hi]: with edge replication the
// image's own (a tap further out reads the same edge sample), so that a pass
// over them reads dense vectors only; with a constant border also the border
// columns -1 and w.
struct TapColumns {
    Expr lo, hi;
};
inline TapColumns tap_columns(Expr border_type, Expr w) {
    Expr edge = replicates_edge(border_type);
    return {select(edge, 0, -1), select(edge, w - 1, w)};
}

}  // namespace mira_pipelines
