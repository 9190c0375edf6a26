// Schedules shared by the separable resampling pipelines.
#pragma once

#include "resample.h"

namespace mira_pipelines {

// A buffer of interleaved pixels: axis 0 the pixel (stride `channels`
// bytes), axis 2 the channel (0 to channels - 1, stride 1).
template <typename B>
inline void interleaved_pixels(B& b, int channels) {
    b.dim(0).set_stride(channels);
    b.dim(2).set_bounds(0, channels).set_stride(1);
}

// Rows of destination per parallel task.
constexpr int kBandRows = 16;
// Lanes of the float passes (16 where the target has 512-bit vectors) and of
// the final 8-bit rows.
inline int float_lanes(const Target& t) { return t.has_feature(Target::AVX512) ? 16 : 8; }
constexpr int kByteLanes = 16;

// The destination: parallel row bands (`border_type` undefined for
// pipelines without a constant border); rows of at least kByteLanes pixels in
// whole vectors (the last one shifted back to end at the row's last pixel),
// with dense versions for planar buffers and strided ones for one channel of
// an interleaved pair. Narrower rows run the same arithmetic per pixel.
// `exact`, where given, is the condition of a version with arithmetic of its
// own (selected on it in the definition): it gets loop nests of its own for
// the edge border, planar or one channel, so that the other version's
// arithmetic is not computed beside it.
//
// With `channels` > 0 the buffers hold interleaved pixels of that many
// channels (interleaved_pixels): the destination loops run over whole pixels,
// channel `c` innermost and unrolled inside the vector of pixels, so that each
// vector's channels are stored together as one run of interleaved bytes.
inline void schedule_output(GeneratorOutput<Buffer<uint8_t>>& output,
                            GeneratorInput<Buffer<uint8_t>>& input, Expr border_type, Var x,
                            Var y, Var yo, Var yi, int band, Expr exact = Expr(),
                            int channels = 0, Var c = Var()) {
    if (channels > 0) {
        interleaved_pixels(output, channels);
        output.bound(c, 0, channels);
        output.split(y, yo, yi, band, TailStrategy::GuardWithIf).parallel(yo);
        output.reorder(c, x, yi, yo).unroll(c);
        Expr wide = output.dim(0).extent() >= kByteLanes;
        if (border_type.defined()) {
            Expr edge = replicates_edge(border_type);
            if (exact.defined())
                output.specialize(exact && wide && edge)
                    .vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
            output.specialize(wide && edge).vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
        }
        output.specialize(wide).vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
        return;
    }
    output.dim(0).set_stride(Expr());
    output.split(y, yo, yi, band, TailStrategy::GuardWithIf).parallel(yo);
    Expr wide = output.dim(0).extent() >= kByteLanes;
    Expr in1 = input.dim(0).stride() == 1, out1 = output.dim(0).stride() == 1;
    Expr in2 = input.dim(0).stride() == 2, out2 = output.dim(0).stride() == 2;
    if (border_type.defined()) {
        // Edge replication without the per-sample constant-border test.
        Expr edge = replicates_edge(border_type);
        if (exact.defined()) {
            output.specialize(exact && wide && in1 && out1 && edge)
                .vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
            output.specialize(exact && wide && in2 && out2 && edge)
                .vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
        }
        output.specialize(wide && in1 && out1 && edge)
            .vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
        output.specialize(wide && in2 && out2 && edge)
            .vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
    } else {
        output.specialize(wide && in2 && out2).vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
    }
    output.specialize(wide && in1 && out1).vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
    output.specialize(wide).vectorize(x, kByteLanes, TailStrategy::ShiftInwards);
}

// A row pass at a ratio p/q whose taps repeat every p columns: the p phases
// unrolled and each vectorised over the periods, so that its taps are strided
// vectors and its stores interleave (x aligned to p by the caller).
inline void vectorize_phases(Stage s, int p, Var x, Var xo, Var xi, int lanes) {
    if (p > 1)
        s.split(x, xo, xi, p, TailStrategy::RoundUp)
            .unroll(xi)
            .vectorize(xo, lanes, TailStrategy::RoundUp);
    else
        s.vectorize(x, lanes, TailStrategy::RoundUp);
}

// A float pass computed per band (`at` = yo) or per row (`at` = yi).
inline void schedule_pass(Func f, GeneratorOutput<Buffer<uint8_t>>& output, Var at, Var x,
                          int lanes, bool unroll_taps = false, RVar r = RVar()) {
    f.compute_at(output, at).vectorize(x, lanes);
    f.update().vectorize(x, lanes);
    if (unroll_taps) f.update().unroll(r);
}

}  // namespace mira_pipelines
