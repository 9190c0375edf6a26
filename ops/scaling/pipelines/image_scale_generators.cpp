// The six pipelines of the general scale: nearest, box and bilinear
// interpolation (and the distance-weighted "none" reduction), one pipeline
// per interpolation mode and direction. All share the argument list
// (input, scale_x, scale_y, border_type, border_value, output), 3-D buffers
// whose axis 0 may have an element stride of 1 or 2; the single-factor
// pipelines (scale_pipelines.cpp) call them with one factor for both axes.
// The _C3_ and _C4_ pipelines take interleaved pixels of 3 and 4 channels
// (axis 0 of stride CH, axis 2 the channel, stride 1): each channel has the
// plane pipeline's arithmetic, and the destination rows are written as whole
// pixels (channels innermost and unrolled, pixels in vectors).
#include <cmath>
#include <string>

#include "resample_schedule.h"

namespace mira_pipelines {

enum Mode { kNone = 0, kBilinear = 1, kBox = 2 };

// Ratios (destination over source) with versions of their own.
const Ratio kRatios[] = {{1, 2}, {2, 3}, {3, 4}};  // down-scale
const Ratio kUpRatios[] = {{3, 2}, {4, 3}};        // up-scale (beside exactly 2)

// The loop nests of a row whose columns read the up-scale versions' strided
// taps, aligned to all their periods (2 for exactly 2x, 3 and 4).
constexpr int kUpAlign = 12;

template <int MODE, bool UP, int CH = 0>
class ImageScale : public Halide::Generator<ImageScale<MODE, UP, CH>> {
public:
    GeneratorInput<Buffer<uint8_t>> input{"input", 3};
    GeneratorInput<float> scale_x{"scale_x", 0.0f};
    GeneratorInput<float> scale_y{"scale_y", 0.0f};
    GeneratorInput<int32_t> border_type{"border_type", 0};
    GeneratorInput<uint8_t> border_value{"border_value", 0};
    GeneratorOutput<Buffer<uint8_t>> output{"output", 3};

    void generate() {
        if (CH > 0)
            interleaved_pixels(input, CH);
        else
            input.dim(0).set_stride(Expr());
        Expr sw = input.dim(0).extent(), sh = input.dim(1).extent();
        Func in_b = bordered_source(input, sw, sh, border_type, border_value);
        // Each axis has its own factor (destination over source extent).
        Expr sx = scale_x, sy = scale_y;

        const bool nearest = UP && MODE != kBilinear;
        if (nearest) {
            // One tap ceil(c - 0.5): the nearest sample, halves to the lower index.
            Var d("d");
            Func nx("nearest_x"), ny("nearest_y");
            auto nearest_tap = [&](Expr s) {
                Expr c = strict_float((cast<float>(d) + 0.5f) / s - 0.5f);
                return cast<int>(clamp(strict_float(ceil(c - 0.5f)), -1.0e7f, 1.0e7f));
            };
            Expr tap = nearest_tap(sx);
            nx(d) = tap;
            ny(d) = nearest_tap(sy);
            nx.compute_root();
            ny.compute_root();
            // At 3/2 and 4/3, where the columns repeat every three or four
            // (checked per call), a row reads q-strided vectors of the band's
            // source rows instead of one sample per lane (at exactly 2, dense
            // vectors: below). The band's rows are copied once, columns -1
            // to sw (the border rule gives the same value further out).
            Func nx_inline("nearest_x_inline");
            nx_inline(d) = tap;
            Func rows("source_rows"), row("nearest_row");
            rows(x, y, ch) = in_b(x, y, ch);
            std::vector<Expr> per;
            Expr col, versioned;
            for (const Ratio& r : kUpRatios) {
                const std::vector<int> off = first_taps(r, 0.5f);
                per.push_back(repeating_taps("periodic_" + ratio_name(r), nx_inline, r.p, r.q,
                                             scale_x == ratio_value(r), 2 * sw + 4, sw, off));
                // (The versions' conditions exclude each other: the order of
                // the selects does not matter.)
                Expr c = clamp(likely(r.q * (x / r.p) + period_offset(off, x)), -1, sw);
                col = col.defined() ? select(per.back(), c, col) : c;
                versioned = versioned.defined() ? (versioned || per.back()) : per.back();
            }
            // Exactly 2x: column x takes source column floor(x / 2). The
            // tap's float arithmetic is exact while |x| < 2^22; further out
            // both forms lie beyond the source (sw < 2^20) and clamp to the
            // same edge column. So the row reads dense vectors of the band's
            // rows.
            Expr two = scale_x == 2.0f && sw < (1 << 20);
            col = select(two, clamp(likely(x / 2), -1, sw), col);
            versioned = two || versioned;
            // Without a version, the band's source rows are gathered at the
            // destination columns (16 columns per load and byte shuffle),
            // and each destination row copies its source row's gathered row.
            Func cols("nearest_x_columns");
            cols(d) = after_checks(clamp(nx(d), -1, sw), versioned);
            cols.compute_root();
            // (It reads its own copy of the band's rows: their region
            // depends on its tables only, not on the checks.)
            Func grows("gather_rows");
            grows(x, y, ch) = in_b(x, y, ch);
            Func gathered = gather_columns("nearest_x_gather", grows, cols, -1, sw, UInt(8));
            // (The row clamped into a window around its centre, so that a band
            // copies only the rows it needs.)
            Expr ry = clamp_tap(ny(y), y, sy, 1, sh);
            row(x, y, ch) = select(versioned, rows(col, ry, ch), gathered(x, ry, ch));
            output(x, y, ch) = row(x, y, ch);
            schedule_output(output, input, border_type, x, y, yo, yi, kBandRows, Expr(), CH, ch);
            rows.compute_at(output, yo).vectorize(x, kByteLanes);
            grows.compute_at(output, yo).vectorize(x, kByteLanes);
            gathered.compute_at(output, yo);
            row.compute_at(output, yi).store_at(output, yo).align_bounds(x, kUpAlign);
            vectorize_phases(row.specialize(two), 2, x, xo, xi, kByteLanes);
            for (size_t i = 0; i < per.size(); ++i)
                vectorize_phases(row.specialize(per[i]), kUpRatios[i].p, x, xo, xi, kByteLanes);
            row.vectorize(x, kByteLanes);
            return;
        }

        Kernel kernel = MODE == kBilinear ? Kernel::Bilinear
                        : MODE == kBox    ? Kernel::Box
                                          : Kernel::Distance;
        // Support in source pixels: 2 (bilinear up), 2/s (bilinear down), 1/s.
        // The down-scale pipelines take each axis by its own direction: an
        // axis whose factor is 1 or more gets the up-scale kernel (two linear
        // taps, or the nearest sample for box and none), so that one call
        // can shrink one axis and enlarge the other.
        const float kw = MODE == kBilinear ? 2.0f : 1.0f;
        auto support_of = [&](Expr s) {
            return UP ? Expr(2.0f) : select(s < 1.0f, strict_float(kw / s), Expr(kw));
        };
        int fixed = UP ? 2 : 0;
        Expr limit = 2 * (sw + sh) + 4;
        const Kernel at_one = UP || MODE == kBilinear ? kernel : Kernel::Box;
        AxisTaps ax = make_axis("x", kernel, sx, support_of(sx), fixed, limit, at_one);
        AxisTaps ay = make_axis("y", kernel, sy, support_of(sy), fixed, limit, at_one);

        Func xp("xpass"), yp("ypass");
        Func last;
        if (UP) {
            // Horizontal pass over the source rows a band needs, then vertical.
            // Two taps per axis: the sums are written out (no zeroed
            // accumulator pass), in tap order.
            // Each destination column reads its two taps as one 16-bit pair
            // (sample x, sample x + 1) of the row, gathered for the band's
            // source rows by the column gather stage (16 columns per two
            // loads and byte shuffles), and the sums read the pairs as dense
            // vectors. The first tap is clamped to [-2, sw]: the border rule
            // gives every column outside the image the same value, so the
            // pair holds the same two samples as the taps clamped one by one.
            // (At 3/2 and 4/3 this is faster than reading the repeating taps
            // as strided vectors, so those ratios have no version here.)
            Func cols("x_columns");
            Var d("d");
            cols(d) = clamp(ax.first(d), -2, sw);
            cols.compute_root();
            auto q8 = [](Expr w) {
                return cast<uint16_t>(strict_float(floor(w * 256.0f + 0.5f)));
            };
            xq(d) = q8(ax.weight(d, 1));
            yq(d) = q8(ay.weight(d, 1));
            xq.compute_root().vectorize(d, kByteLanes, TailStrategy::RoundUp);
            yq.compute_root();
            srcu8(x, y, ch) = in_b(x, y, ch);
            pairs = gather_columns("x_pairs", srcu8, cols, -2, sw, UInt(16));
            // Fixed point: each axis's weight of tap 1 in Q8, w1 = round(256
            // weight(d, 1)) (weight(d, 1) * 256 is exact in float; the
            // rounding is floor(. + 0.5) in strict float), and w0 = 256 - w1,
            // so that the two weights sum to 256 exactly (a constant stays
            // constant). The horizontal sum a w0 + b w1 <= 255 * 256 fits 16
            // bits (the 16-bit products may wrap on the way: the sum is still
            // exact modulo 2^16, and it is below 2^16).
            Expr pair = pairs(x, y, ch);
            Expr wx1 = xq(x), wx0 = cast<uint16_t>(256) - wx1;
            xp(x, y, ch) = (pair & cast<uint16_t>(0xFF)) * wx0 + (pair >> 8) * wx1;
            // Exactly 2x needs no version of its own: the taps and weights
            // repeat every two columns (0.25, 0.75 from column x / 2 - 1 for
            // even x; 0.75, 0.25 from x / 2 for odd x) and every two rows,
            // the Q8 weights 64 and 192 are exact, and the sums below are
            // exact multiples of 1/16 whose floor is the destination, as the
            // float formula gives it.
            // Source row of tap kk, clamped into [floor(c) - 1, floor(c)] + kk
            // (c the row's centre, in the tables' single-precision steps) and
            // into [-1, sh]. The first tap ceil(c - 1) always lies in
            // [floor(c) - 1, floor(c)] (c - 1 < floor(c), both rounded the
            // same way), and rows past the source read as its border row, so
            // the clamp changes no value; it tells bounds inference that a
            // band of destination rows needs only the source rows between its
            // first and last centres (one more each side), not a window of
            // three rows more on each side.
            Expr cy = strict_float((cast<float>(y) + 0.5f) / sy - 0.5f);
            Expr fy = cast<int>(clamp(strict_float(floor(cy)), -1.0e7f, 1.0e7f));
            auto row = [&](int kk) {
                return clamp(ay.first(y) + kk, max(fy - 1 + kk, -1), min(fy + kk, sh));
            };
            // The vertical sum in 32 bits (at most 255 * 2^16: 16-bit by
            // 16-bit products), truncated to 8 bits: (h0 wy0 + h1 wy1) >> 16.
            // Against the float sums, each axis's weight rounding moves the
            // value by at most 255 / 512 (|w - wq / 256| <= 1 / 512 on a
            // difference of two samples), so the result is the floor of a
            // value within 255 / 256 of the exact one: at most 1 from the
            // float formula's truncation. Exact integers (a constant, the
            // exactly 2x sums, whose weights 64 and 192 are exact) stay exact.
            Expr wy1 = yq(y), wy0 = cast<uint16_t>(256) - wy1;
            auto wide16 = [](Expr v) { return cast<uint32_t>(v); };
            yp(x, y, ch) = cast<uint8_t>(cast<uint16_t>(
                (wide16(xp(x, row(0), ch)) * wide16(wy0) +
                 wide16(xp(x, row(1), ch)) * wide16(wy1)) >> 16));
            last = yp;
        } else {
            // Vertical pass first (dense rows of the source), then horizontal.
            // Each sum starts from its first tap (there is always one) and
            // adds the others in order.
            RDom ry1(1, ay.taps - 1, "ry1"), rx1(1, ax.taps - 1, "rx1");
            yp(x, y, ch) = ay.weight(y, 0) * cast<float>(in_b(x, ay.first(y), ch));
            yp(x, y, ch) += ay.weight(y, ry1) * cast<float>(in_b(x, ay.first(y) + ry1, ch));
            // A row takes one tap at a time over its whole width: the row's
            // source row is found once per tap, not once per vector.
            yp.update().reorder(x, ry1, y, ch);
            ytaps = ry1;
            // Source columns of the taps, clamped once per call into a table;
            // the passes read them with the clamp's bounds promised (lo, hi:
            // with edge replication the vertical pass covers the image's
            // columns only, in dense vectors).
            const TapColumns tc = tap_columns(border_type, sw);
            const Expr lo = tc.lo, hi = tc.hi;
            Func cols("x_columns");
            Var d("d"), k("k");
            cols(d, k) = clamp(ax.first(d) + k, lo, hi);
            cols.compute_root();
            // Common ratios p/q whose first taps repeat, first(x) = q (x / p) +
            // first(x mod p), as checked per call over the source width (past
            // it, with first(sw - 1) > sw, every tap clamps to sw either way):
            // there the columns are q-strided vectors instead of table reads.
            // The first taps of a period are known for these factors: the
            // tap formula in the same single-precision steps (the per-call
            // check compares them too, so a version is only ever taken where
            // they hold). Known offsets let the passes share the loads of
            // coinciding taps. The passes are plain sums over the ratio's tap
            // count, in tap order like the general pass.
            for (const Ratio& r : kRatios) {
                const float sr = ratio_value(r);
                const float support = (MODE == kBilinear ? 2.0f : 1.0f) / sr;
                const std::vector<int> off = first_taps(r, support / 2.0f);
                const std::string name = ratio_name(r);
                periodic.push_back(repeating_taps("periodic_" + name, ax.first_inline, r.p, r.q,
                                                  scale_x == sr, sw, sw, off));
                Expr sum;
                for (int kk = 0; kk < int(std::ceil(support)); ++kk) {
                    Expr c = clamp(likely(r.q * (x / r.p) + period_offset(off, x) + kk), lo, hi);
                    Expr term = ax.weight(x, kk) * yp(c, y, ch);
                    sum = kk == 0 ? term : sum + term;
                }
                Func f("xpass_" + name);
                f(x, y, ch) = to_u8(sum);
                xpr.push_back(f);
            }
            auto col = [&](Expr kk) { return unsafe_promise_clamped(cols(x, kk), lo, hi); };
            xp(x, y, ch) = ax.weight(x, 0) * yp(col(0), y, ch);
            xp(x, y, ch) += ax.weight(x, rx1) * yp(col(rx1), y, ch);
            xp.update().reorder(x, rx1, y, ch);  // (likewise one tap at a time)
            // The row's horizontal pass: a ratio's version where it applies.
            // Each converts its sums to 8 bits, so that the row is handed on
            // in bytes.
            Expr chosen = to_u8(xp(x, y, ch));
            for (size_t i = periodic.size(); i-- > 0;)
                chosen = select(periodic[i], xpr[i](x, y, ch), chosen);
            xsel(x, y, ch) = chosen;
        }
        output(x, y, ch) = UP ? last(x, y, ch) : xsel(x, y, ch);

        schedule_output(output, input, border_type, x, y, yo, yi, UP ? 2 * kBandRows : kBandRows,
                        Expr(), CH, ch);
        if (UP) {
            // (16-bit sums: one vector of bytes' worth of columns at a time.)
            xp.compute_at(output, yo).align_bounds(x, kUpAlign).vectorize(x, kByteLanes);
            // (Per band.)
            srcu8.compute_at(output, yo).vectorize(x, kByteLanes);
            pairs.compute_at(output, yo);
            // (yp inline: each destination vector sums its two rows directly.)
        } else {
            // (The vertical pass per destination row: its float row is read
            // back while it is in L1.)
            const int lanes = float_lanes(this->get_target());
            if (CH == 4 && this->get_target().arch == Target::X86) {
                // Four interleaved channels on x86: the vertical pass keeps
                // the source's layout (channel innermost) and runs over whole
                // pixels, so that each tap's source row is read as dense
                // vectors instead of one byte per lane. (With three channels
                // the horizontal pass's reads of this layout cost more than
                // the vertical pass saves: measured slower. AArch64 reads a
                // channel's samples with ld4, and this layout's de-interleaving
                // there would take lane moves instead.)
                yp.bound(ch, 0, CH).reorder_storage(ch, x, y);
                yp.compute_at(output, yi).reorder(ch, x, y).vectorize(ch).vectorize(x, lanes);
                yp.update().reorder(ch, x, ytaps, y).vectorize(ch).vectorize(x, lanes);
            } else {
                schedule_pass(yp, output, yi, x, lanes);
            }
            yp.store_at(output, yo);
            xsel.compute_at(output, yi).store_at(output, yo);
            for (size_t i = 0; i < xpr.size(); ++i) {
                xsel.specialize(periodic[i]).vectorize(x, lanes);
                const int p = kRatios[i].p;
                xpr[i].compute_at(xsel, Var::outermost()).store_at(output, yo).align_bounds(x, p);
                vectorize_phases(xpr[i], p, x, xo, xi, lanes);
            }
            xsel.vectorize(x, lanes);
            xp.compute_at(xsel, Var::outermost()).store_at(output, yo).vectorize(x, lanes);
            xp.update().vectorize(x, lanes);
        }
    }

private:
    Var x{"x"}, y{"y"}, ch{"c"}, yo{"yo"}, yi{"yi"}, xo{"xo"}, xi{"xi"};
    Func xsel{"xpass_row"}, srcu8{"source_bytes"};
    Func pairs;
    Func xq{"x_weight_q8"}, yq{"y_weight_q8"};  // Q8 weights of tap 1 (bilinear up)
    std::vector<Expr> periodic;  // per down-scale ratio: its version applies
    RDom ytaps;                  // the vertical pass's taps after the first (down-scale)
    std::vector<Func> xpr;       // per ratio: the horizontal pass
};

}  // namespace mira_pipelines

using MiraUpNone = mira_pipelines::ImageScale<mira_pipelines::kNone, true>;
using MiraDownNone = mira_pipelines::ImageScale<mira_pipelines::kNone, false>;
using MiraUpBox = mira_pipelines::ImageScale<mira_pipelines::kBox, true>;
using MiraDownBox = mira_pipelines::ImageScale<mira_pipelines::kBox, false>;
using MiraUpBilinear = mira_pipelines::ImageScale<mira_pipelines::kBilinear, true>;
using MiraDownBilinear = mira_pipelines::ImageScale<mira_pipelines::kBilinear, false>;

// Interleaved pixels of 3 and 4 channels.
using MiraUpNoneC3 = mira_pipelines::ImageScale<mira_pipelines::kNone, true, 3>;
using MiraDownNoneC3 = mira_pipelines::ImageScale<mira_pipelines::kNone, false, 3>;
using MiraUpBoxC3 = mira_pipelines::ImageScale<mira_pipelines::kBox, true, 3>;
using MiraDownBoxC3 = mira_pipelines::ImageScale<mira_pipelines::kBox, false, 3>;
using MiraUpBilinearC3 = mira_pipelines::ImageScale<mira_pipelines::kBilinear, true, 3>;
using MiraDownBilinearC3 = mira_pipelines::ImageScale<mira_pipelines::kBilinear, false, 3>;
using MiraUpNoneC4 = mira_pipelines::ImageScale<mira_pipelines::kNone, true, 4>;
using MiraDownNoneC4 = mira_pipelines::ImageScale<mira_pipelines::kNone, false, 4>;
using MiraUpBoxC4 = mira_pipelines::ImageScale<mira_pipelines::kBox, true, 4>;
using MiraDownBoxC4 = mira_pipelines::ImageScale<mira_pipelines::kBox, false, 4>;
using MiraUpBilinearC4 = mira_pipelines::ImageScale<mira_pipelines::kBilinear, true, 4>;
using MiraDownBilinearC4 = mira_pipelines::ImageScale<mira_pipelines::kBilinear, false, 4>;

HALIDE_REGISTER_GENERATOR(MiraUpNone, MIRA_IMAGE_UP_NONE_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownNone, MIRA_IMAGE_DOWN_NONE_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBox, MIRA_IMAGE_UP_BOX_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBox, MIRA_IMAGE_DOWN_BOX_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBilinear, MIRA_IMAGE_UP_BILINEAR_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBilinear, MIRA_IMAGE_DOWN_BILINEAR_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpNoneC3, MIRA_IMAGE_UP_NONE_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownNoneC3, MIRA_IMAGE_DOWN_NONE_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBoxC3, MIRA_IMAGE_UP_BOX_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBoxC3, MIRA_IMAGE_DOWN_BOX_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBilinearC3, MIRA_IMAGE_UP_BILINEAR_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBilinearC3, MIRA_IMAGE_DOWN_BILINEAR_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpNoneC4, MIRA_IMAGE_UP_NONE_XY_C4_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownNoneC4, MIRA_IMAGE_DOWN_NONE_XY_C4_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBoxC4, MIRA_IMAGE_UP_BOX_XY_C4_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBoxC4, MIRA_IMAGE_DOWN_BOX_XY_C4_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBilinearC4, MIRA_IMAGE_UP_BILINEAR_XY_C4_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBilinearC4, MIRA_IMAGE_DOWN_BILINEAR_XY_C4_U8_HALIDE)
