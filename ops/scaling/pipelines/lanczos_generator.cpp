// Lanczos-3 up-scale: six taps per axis, edges clamped, horizontal pass then
// vertical pass; each axis with its own factor (the single-factor pipeline,
// scale_pipelines.cpp, passes one factor for both). The _C3_ and _C4_
// pipelines take interleaved pixels (as the general scale's do).
#include "resample_schedule.h"

namespace mira_pipelines {

template <int CH = 0>
class ImageUpLanczos : public Halide::Generator<ImageUpLanczos<CH>> {
public:
    GeneratorInput<Buffer<uint8_t>> input{"input", 3};
    GeneratorInput<float> scale_x{"scale_x", 0.0f};
    GeneratorInput<float> scale_y{"scale_y", 0.0f};
    GeneratorOutput<Buffer<uint8_t>> output{"output", 3};

    void generate() {
        if (CH > 0)
            interleaved_pixels(input, CH);
        else
            input.dim(0).set_stride(Expr());
        Expr sw = input.dim(0).extent(), sh = input.dim(1).extent();
        Func in_b = bordered_source(input, sw, sh, Expr(0), Expr(cast<uint8_t>(0)));
        AxisTaps ax = make_axis("x", Kernel::Lanczos3, scale_x, Expr(6.0f), 6, 6);
        AxisTaps ay = make_axis("y", Kernel::Lanczos3, scale_y, Expr(6.0f), 6, 6);
        RDom rx(0, 6, "rx"), ry(0, 6, "ry");
        Expr s = scale_y;

        Func xp("xpass"), yp("ypass");
        xp(x, y, ch) = 0.0f;
        xp(x, y, ch) += ax.weight(x, rx) * cast<float>(in_b(ax.first(x) + rx, y, ch));
        yp(x, y, ch) = 0.0f;
        yp(x, y, ch) += ay.weight(y, ry) * xp(x, clamp_tap(ay.first(y) + ry, y, s, ay.taps, sh), ch);
        output(x, y, ch) = to_u8(yp(x, y, ch));

        schedule_output(output, input, Expr(), x, y, yo, yi, 2 * kBandRows, Expr(), CH, ch);
        schedule_pass(xp, output, yo, x, float_lanes(this->get_target()), true, rx);
        schedule_pass(yp, output, yi, x, float_lanes(this->get_target()), true, ry);
        yp.store_at(output, yo);
    }

private:
    Var x{"x"}, y{"y"}, ch{"c"}, yo{"yo"}, yi{"yi"};
};

}  // namespace mira_pipelines

using MiraUpLanczos = mira_pipelines::ImageUpLanczos<0>;
using MiraUpLanczosC3 = mira_pipelines::ImageUpLanczos<3>;
using MiraUpLanczosC4 = mira_pipelines::ImageUpLanczos<4>;
HALIDE_REGISTER_GENERATOR(MiraUpLanczos, MIRA_IMAGE_UP_LANCZOS_XY_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpLanczosC3, MIRA_IMAGE_UP_LANCZOS_XY_C3_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpLanczosC4, MIRA_IMAGE_UP_LANCZOS_XY_C4_U8_HALIDE)
