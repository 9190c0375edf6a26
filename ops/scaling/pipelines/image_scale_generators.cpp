// The six pipelines of the general scale: nearest, box and bilinear
// interpolation (and the distance-weighted "none" reduction), one pipeline
// per interpolation mode and direction. All share the argument list
// (input, scale_factor, border_type, border_value, output), 3-D buffers whose
// axis 0 may have an element stride of 1 or 2.
#include "resample_schedule.h"

namespace mira_pipelines {

enum Mode { kNone = 0, kBilinear = 1, kBox = 2 };

template <int MODE, bool UP>
class ImageScale : public Halide::Generator<ImageScale<MODE, UP>> {
public:
    GeneratorInput<Buffer<uint8_t>> input{"input", 3};
    GeneratorInput<float> scale_factor{"scale_factor", 0.0f};
    GeneratorInput<int32_t> border_type{"border_type", 0};
    GeneratorInput<uint8_t> border_value{"border_value", 0};
    GeneratorOutput<Buffer<uint8_t>> output{"output", 3};

    void generate() {
        input.dim(0).set_stride(Expr());
        Expr sw = input.dim(0).extent(), sh = input.dim(1).extent();
        Func in_b = bordered_source(input, sw, sh, border_type, border_value);
        Expr s = scale_factor;

        const bool nearest = UP && MODE != kBilinear;
        if (nearest) {
            // One tap ceil(c - 0.5): the nearest sample, halves to the lower index.
            Var d("d");
            Func nx("nearest_x"), ny("nearest_y");
            Expr c = strict_float((cast<float>(d) + 0.5f) / s - 0.5f);
            Expr tap = cast<int>(clamp(strict_float(ceil(c - 0.5f)), -1.0e7f, 1.0e7f));
            nx(d) = tap;
            ny(d) = tap;
            nx.compute_root();
            ny.compute_root();
            output(x, y, ch) = in_b(clamp(nx(x), -1, sw), clamp(ny(y), -1, sh), ch);
            schedule_output(output, input, border_type, x, y, yo, yi, kBandRows);
            return;
        }

        Kernel kernel = MODE == kBilinear ? Kernel::Bilinear
                        : MODE == kBox    ? Kernel::Box
                                          : Kernel::Distance;
        // Support in source pixels: 2 (bilinear up), 2/s (bilinear down), 1/s.
        Expr support = UP ? Expr(2.0f) : strict_float((MODE == kBilinear ? 2.0f : 1.0f) / s);
        int fixed = UP ? 2 : 0;
        Expr limit = 2 * (sw + sh) + 4;
        AxisTaps ax = make_axis("x", kernel, s, support, fixed, limit);
        AxisTaps ay = make_axis("y", kernel, s, support, fixed, limit);
        RDom rx(0, ax.taps, "rx"), ry(0, ay.taps, "ry");

        Func xp("xpass"), yp("ypass");
        Func last;
        if (UP) {
            // Horizontal pass over the source rows a band needs, then vertical.
            xp(x, y, ch) = 0.0f;
            xp(x, y, ch) += ax.weight(x, rx) * cast<float>(in_b(ax.first(x) + rx, y, ch));
            yp(x, y, ch) = 0.0f;
            yp(x, y, ch) += ay.weight(y, ry) * xp(x, clamp_tap(ay.first(y) + ry, y, s, ay.taps, sh), ch);
            last = yp;
        } else {
            // Vertical pass first (dense rows of the source), then horizontal.
            yp(x, y, ch) = 0.0f;
            yp(x, y, ch) += ay.weight(y, ry) * cast<float>(in_b(x, ay.first(y) + ry, ch));
            xp(x, y, ch) = 0.0f;
            xp(x, y, ch) += ax.weight(x, rx) * yp(clamp(ax.first(x) + rx, -1, sw), y, ch);
            last = xp;
        }
        output(x, y, ch) =
            cast<uint8_t>(clamp(last(x, y, ch) + kTruncationBias, 0.0f, 255.0f));

        schedule_output(output, input, border_type, x, y, yo, yi, UP ? 2 * kBandRows : kBandRows);
        if (UP) {
            schedule_pass(xp, output, yo, x, UP, rx);
            schedule_pass(yp, output, yi, x, UP, ry);
        } else {
            schedule_pass(yp, output, yo, x, false, ry);
            schedule_pass(xp, output, yi, x, false, rx);
        }
    }

private:
    Var x{"x"}, y{"y"}, ch{"c"}, yo{"yo"}, yi{"yi"};
};

}  // namespace mira_pipelines

using MiraUpNone = mira_pipelines::ImageScale<mira_pipelines::kNone, true>;
using MiraDownNone = mira_pipelines::ImageScale<mira_pipelines::kNone, false>;
using MiraUpBox = mira_pipelines::ImageScale<mira_pipelines::kBox, true>;
using MiraDownBox = mira_pipelines::ImageScale<mira_pipelines::kBox, false>;
using MiraUpBilinear = mira_pipelines::ImageScale<mira_pipelines::kBilinear, true>;
using MiraDownBilinear = mira_pipelines::ImageScale<mira_pipelines::kBilinear, false>;

HALIDE_REGISTER_GENERATOR(MiraUpNone, MIRA_IMAGE_UP_NONE_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownNone, MIRA_IMAGE_DOWN_NONE_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBox, MIRA_IMAGE_UP_BOX_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBox, MIRA_IMAGE_DOWN_BOX_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraUpBilinear, MIRA_IMAGE_UP_BILINEAR_U8_HALIDE)
HALIDE_REGISTER_GENERATOR(MiraDownBilinear, MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE)
