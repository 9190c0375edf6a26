// Integer block-mean down-scale: every destination pixel is the sum of an
// m x n block of source pixels (32-bit), times `scale`, truncated, low 8 bits.
// 2-D buffers with dense rows.
#include "Halide.h"

namespace mira_pipelines {

using namespace Halide;

class ScaleDown : public Halide::Generator<ScaleDown> {
public:
    GeneratorInput<Buffer<uint8_t>> intput{"intput", 2};
    GeneratorInput<uint8_t> m{"m", 1};
    GeneratorInput<uint8_t> n{"n", 1};
    GeneratorInput<float> scale{"scale", 1.0f};
    GeneratorOutput<Buffer<uint8_t>> output{"output", 2};

    void generate() {
        Expr mi = cast<int>(m), ni = cast<int>(n);
        RDom rn(0, ni, "rn"), rm(0, mi, "rm");
        // Column sums of the n rows of each destination row (n <= 255, so
        // 16 bits hold them).
        vsum(x, y) = cast<uint16_t>(0);
        vsum(x, y) += cast<uint16_t>(intput(x, y * ni + rn));
        // Row sums of m adjacent column sums: 16 bits while m n 255 fits.
        hsum16(x, y) = cast<uint16_t>(0);
        hsum16(x, y) += vsum(x * mi + rm, y);
        hsum(x, y) = cast<uint32_t>(0);
        hsum(x, y) += cast<uint32_t>(vsum(x * mi + rm, y));
        // The value: S as float times scale, truncated, low 8 bits. S == 0
        // gives 0 also when scale is not finite (m or n of 0). With small
        // blocks and scale <= 1 the product fits a signed 32-bit conversion;
        // a 2 x 2 block with scale 1/4 is the exact shift.
        Expr small = mi * ni <= 257 && scale <= 1.0f && scale >= 0.0f;
        Expr S16 = hsum16(x, y);
        Expr v16 = cast<uint8_t>(cast<int32_t>(cast<float>(S16) * scale));
        Expr S = hsum(x, y);
        Expr v32 = cast<uint8_t>(
            select(S == 0, cast<uint32_t>(0), cast<uint32_t>(cast<float>(S) * scale)));
        // Blocks of 2 x 2 or 4 x 4 with the exact mean scale (the product is
        // exact and truncates like a shift) have a path of their own, in 16
        // bits, in one of two forms of the same sum.
        Expr mean22 = m == 2 && n == 2 && scale == 0.25f;
        Expr mean44 = m == 4 && n == 4 && scale == 0.0625f;
        Expr Q2, Q4;
        RDom r2(0, 2, 0, 2, "r2"), r4(0, 2, 0, 4, "r4"), rp(0, 2, "rp");
        if (pairwise_means()) {
            // Adjacent pairs: each source row of a block adds its pixel
            // pairs into 16-bit sums accumulated over the block's rows
            // (AArch64: one uaddlp, then uadalp per further row); the 4 x 4
            // block then adds adjacent pairs of those once more (addp).
            box2(x, y) = cast<uint16_t>(0);
            box2(x, y) += cast<uint16_t>(intput(2 * x + r2.x, 2 * y + r2.y));
            pairs4(x, y) = cast<uint16_t>(0);
            pairs4(x, y) += cast<uint16_t>(intput(2 * x + r4.x, 4 * y + r4.y));
            box4(x, y) = cast<uint16_t>(0);
            box4(x, y) += pairs4(2 * x + rp, y);
            Q2 = box2(x, y);
            Q4 = box4(x, y);
        } else {
            // The block's rows summed over whole source rows, then each
            // block's columns (stride-2 reads).
            auto row = [&](Expr yy) { return cast<uint16_t>(intput(x, yy)); };
            rows2(x, y) = row(2 * y) + row(2 * y + 1);
            rows4(x, y) = row(4 * y) + row(4 * y + 1) + row(4 * y + 2) + row(4 * y + 3);
            Q2 = rows2(2 * x, y) + rows2(2 * x + 1, y);
            // Four columns as two rounds of adjacent pairs.
            cols4(x, y) = rows4(2 * x, y) + rows4(2 * x + 1, y);
            Q4 = cols4(2 * x, y) + cols4(2 * x + 1, y);
        }
        output(x, y) = select(mean22, cast<uint8_t>(Q2 >> 2), mean44, cast<uint8_t>(Q4 >> 4),
                              small, v16, v32);

        // Parallel row bands; rows of at least 16 pixels in 16-pixel vectors,
        // the last one shifted back to end at the row's last pixel. The
        // mean blocks come first (the other versions then know they are
        // not, and drop those terms) and sum each vector's block rows right
        // where they are used: loop g is the vector loop there, the band
        // loop everywhere else. Common factors of the general sums get
        // versions with constant block sizes.
        const int V = 16, VM = 32;
        output.split(y, yo, yi, 32, TailStrategy::GuardWithIf).parallel(yo);
        Expr wide = output.dim(0).extent() >= V;
        // On AArch64 rows of at least two vectors of 2 x 2 means take two
        // per iteration (the loop's own instructions then count half).
        const bool two22 = get_target().arch == Target::ARM;
        for (const Expr& mean : {mean22, mean44}) {
            Stage s = output.specialize(mean);
            if (two22 && mean.same_as(mean22))
                s.specialize(output.dim(0).extent() >= 2 * VM)
                    .vectorize(x, 2 * VM, TailStrategy::ShiftInwards)
                    .rename(x, g);
            s.specialize(output.dim(0).extent() >= VM)
                .vectorize(x, VM, TailStrategy::ShiftInwards)
                .rename(x, g);
            s.rename(yo, g);
        }
        output.specialize(wide && small).vectorize(x, V, TailStrategy::ShiftInwards).rename(yo, g);
        output.specialize(wide).vectorize(x, V, TailStrategy::ShiftInwards).rename(yo, g);
        output.rename(yo, g);
        if (pairwise_means()) {
            // One pass over the source: every output vector's block sums
            // live in registers (one or two vectors of 32 lanes, a
            // constant-size realization that LLVM keeps out of memory). The
            // pair sums reduce each row vector in place: x split by the
            // vector, each pair fused inside it and the fused loop
            // vectorised (atomic: the sum is associative, so a vector of
            // pairs becomes one pairwise add); the block's rows and the
            // vectors unrolled. Narrower rows (only the band loop there)
            // take scalar loops.
            Expr wideM = output.dim(0).extent() >= VM;
            for (Func f : {box2, pairs4, box4}) f.compute_at(output, g);
            box2.specialize(wideM).split(x, xo, xi, VM).vectorize(xi).unroll(xo);
            box2.vectorize(x, VM, TailStrategy::GuardWithIf);
            box2.update().specialize(wideM).split(x, xo, xi, VM)
                .reorder(r2.x, xi, r2.y, xo, y)
                .fuse(r2.x, xi, t).atomic().vectorize(t).unroll(r2.y).unroll(xo);
            pairs4.vectorize(x, 2 * VM, TailStrategy::GuardWithIf);
            pairs4.update().specialize(wideM).split(x, xo, xi, 2 * VM)
                .reorder(r4.x, xi, r4.y, xo, y)
                .fuse(r4.x, xi, t).atomic().vectorize(t).unroll(r4.y);
            box4.vectorize(x, VM, TailStrategy::GuardWithIf);
            box4.update().specialize(wideM).split(x, xo, xi, VM).reorder(rp, xi, xo, y)
                .fuse(rp, xi, t).atomic().vectorize(t);
        } else {
            for (Func f : {rows2, rows4, cols4})
                f.compute_at(output, g).vectorize(x, VM, TailStrategy::GuardWithIf);
        }
        vsum.compute_at(output, yi).vectorize(x, V);
        vsum.update().vectorize(x, V, TailStrategy::GuardWithIf);
        for (Func h : {hsum16, hsum}) {
            h.compute_at(output, yi).vectorize(x, V);
            h.update().vectorize(x, V, TailStrategy::GuardWithIf);
        }
        // Block sizes of the common factors: the tap loops unrolled, so the
        // sums stay in registers.
        for (int f : {2, 4}) {
            vsum.update().specialize(n == f).unroll(rn);
            hsum16.update().specialize(m == f).unroll(rm);
            hsum.update().specialize(m == f).unroll(rm);
        }
    }

private:
    // The mean blocks as adjacent pairs reduced in place: on AArch64 (the
    // widening pairwise adds) and AVX-512 (faster there too); the other x86
    // levels keep the row-sum form, faster for them.
    bool pairwise_means() const {
        const Target t = get_target();
        return t.arch == Target::ARM || t.has_feature(Target::AVX512_Skylake);
    }

    Var x{"x"}, y{"y"}, yo{"yo"}, yi{"yi"}, g{"g"}, xo{"xo"}, xi{"xi"};
    RVar t{"t"};
    Func vsum{"column_sums"}, hsum{"block_sums"}, hsum16{"block_sums_16"};
    Func rows2{"pair_row_sums"}, rows4{"quad_row_sums"}, cols4{"quad_row_pair_sums"};
    Func box2{"pair_box_sums"}, pairs4{"quad_box_pair_sums"}, box4{"quad_box_sums"};
};

// The block mean of interleaved pixels of CH channels (3-D buffers: pixel,
// row, channel; pixels CH bytes apart, channels adjacent): each channel's
// value is the plane pipeline's, S as float times `scale`, truncated, low 8
// bits (S == 0 gives 0). The plane pipeline's versions compute that same
// value (its 16-bit and shift forms are exact for the blocks they take), so
// this one computes it in one form. Rows are written as whole pixels: the
// channels innermost and unrolled inside each vector of pixels.
template <int CH>
class ScaleDownInterleaved : public Halide::Generator<ScaleDownInterleaved<CH>> {
public:
    GeneratorInput<Buffer<uint8_t>> intput{"intput", 3};
    GeneratorInput<uint8_t> m{"m", 1};
    GeneratorInput<uint8_t> n{"n", 1};
    GeneratorInput<float> scale{"scale", 1.0f};
    GeneratorOutput<Buffer<uint8_t>> output{"output", 3};

    void generate() {
        Expr mi = cast<int>(m), ni = cast<int>(n);
        RDom rn(0, ni, "rn"), rm(0, mi, "rm");
        vsum(x, y, c) = cast<uint16_t>(0);
        vsum(x, y, c) += cast<uint16_t>(intput(x, y * ni + rn, c));
        hsum(x, y, c) = cast<uint32_t>(0);
        hsum(x, y, c) += cast<uint32_t>(vsum(x * mi + rm, y, c));
        Expr S = hsum(x, y, c);
        output(x, y, c) = cast<uint8_t>(
            select(S == 0, cast<uint32_t>(0), cast<uint32_t>(cast<float>(S) * scale)));

        for (Internal::Dimension d : {intput.dim(0), output.dim(0)}) d.set_stride(CH);
        for (Internal::Dimension d : {intput.dim(2), output.dim(2)})
            d.set_bounds(0, CH).set_stride(1);
        const int V = 16;
        output.bound(c, 0, CH);
        output.split(y, yo, yi, 32, TailStrategy::GuardWithIf).parallel(yo);
        output.reorder(c, x, yi, yo).unroll(c);
        output.specialize(output.dim(0).extent() >= V)
            .vectorize(x, V, TailStrategy::ShiftInwards);
        vsum.compute_at(output, yi).vectorize(x, V);
        vsum.update().reorder(x, rn, y, c).vectorize(x, V, TailStrategy::GuardWithIf);
        hsum.compute_at(output, yi).vectorize(x, V);
        hsum.update().vectorize(x, V, TailStrategy::GuardWithIf);
        for (int f : {2, 4}) {
            vsum.update().specialize(n == f).unroll(rn);
            hsum.update().specialize(m == f).unroll(rm);
        }
    }

private:
    Var x{"x"}, y{"y"}, c{"c"}, yo{"yo"}, yi{"yi"};
    Func vsum{"column_sums"}, hsum{"block_sums"};
};

}  // namespace mira_pipelines

using MiraScaleDownC3 = mira_pipelines::ScaleDownInterleaved<3>;
using MiraScaleDownC4 = mira_pipelines::ScaleDownInterleaved<4>;
HALIDE_REGISTER_GENERATOR(mira_pipelines::ScaleDown, MIRA_SCALEDOWN_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraScaleDownC3, MIRA_SCALEDOWN_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraScaleDownC4, MIRA_SCALEDOWN_C4_U8_HALIDE)
