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
        // Row sums of m adjacent column sums.
        hsum(x, y) = cast<uint32_t>(0);
        hsum(x, y) += cast<uint32_t>(vsum(x * mi + rm, y));
        Expr S = hsum(x, y);
        // S == 0 gives 0 also when scale is not finite (m or n of 0).
        output(x, y) = cast<uint8_t>(
            select(S == 0, cast<uint32_t>(0), cast<uint32_t>(cast<float>(S) * scale)));

        // Parallel row bands; rows of at least 16 pixels in 16-pixel vectors,
        // the last one shifted back to end at the row's last pixel. Common
        // factors get their own versions with constant block sizes.
        const int V = 16;
        output.split(y, yo, yi, 8, TailStrategy::GuardWithIf).parallel(yo);
        Expr wide = output.dim(0).extent() >= V;
        for (int f : {2, 4, 3, 8}) {
            output.specialize(wide && m == f && n == f)
                .vectorize(x, V, TailStrategy::ShiftInwards);
        }
        output.specialize(wide).vectorize(x, V, TailStrategy::ShiftInwards);
        vsum.compute_at(output, yi).vectorize(x, V);
        vsum.update().vectorize(x, V, TailStrategy::GuardWithIf);
        hsum.compute_at(output, yi).vectorize(x, V);
        hsum.update().vectorize(x, V, TailStrategy::GuardWithIf);
        // Block sizes of the common factors: the tap loops unrolled, so the
        // sums stay in registers.
        for (int f : {2, 4}) {
            vsum.update().specialize(n == f).unroll(rn);
            hsum.update().specialize(m == f).unroll(rm);
        }
    }

private:
    Var x{"x"}, y{"y"}, yo{"yo"}, yi{"yi"};
    Func vsum{"column_sums"}, hsum{"block_sums"};
};

}  // namespace mira_pipelines

HALIDE_REGISTER_GENERATOR(mira_pipelines::ScaleDown, MIRA_SCALEDOWN_U8_HALIDE)
