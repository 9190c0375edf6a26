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
        // 2 x 2 blocks with scale 1/4: the four samples summed directly and
        // shifted (exact). The offsets are written so that for other factors
        // they stay inside the block (no wider source region is required).
        Expr em = clamp(mi - 1, 0, 1), en = clamp(ni - 1, 0, 1);
        Expr x0 = x * mi, y0 = y * ni;
        Expr quad = cast<uint16_t>(intput(x0, y0)) + cast<uint16_t>(intput(x0 + em, y0)) +
                    cast<uint16_t>(intput(x0, y0 + en)) + cast<uint16_t>(intput(x0 + em, y0 + en));
        Expr fast22 = m == 2 && n == 2 && scale == 0.25f;
        output(x, y) = select(fast22, cast<uint8_t>(quad >> 2), select(small, v16, v32));

        // Parallel row bands; rows of at least 16 pixels in 16-pixel vectors,
        // the last one shifted back to end at the row's last pixel. Common
        // factors get their own versions with constant block sizes.
        const int V = 16;
        output.split(y, yo, yi, 8, TailStrategy::GuardWithIf).parallel(yo);
        Expr wide = output.dim(0).extent() >= V;
        output.specialize(wide && fast22).vectorize(x, V, TailStrategy::ShiftInwards);
        for (int f : {2, 4, 3, 8}) {
            output.specialize(wide && small && m == f && n == f)
                .vectorize(x, V, TailStrategy::ShiftInwards);
        }
        output.specialize(wide && small).vectorize(x, V, TailStrategy::ShiftInwards);
        output.specialize(wide).vectorize(x, V, TailStrategy::ShiftInwards);
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
    Var x{"x"}, y{"y"}, yo{"yo"}, yi{"yi"};
    Func vsum{"column_sums"}, hsum{"block_sums"}, hsum16{"block_sums_16"};
};

}  // namespace mira_pipelines

HALIDE_REGISTER_GENERATOR(mira_pipelines::ScaleDown, MIRA_SCALEDOWN_U8_HALIDE)
