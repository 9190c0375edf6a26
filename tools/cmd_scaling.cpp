// Scaling commands: resize (general scale, each axis by its own ratio),
// scaledown (integer block mean), upscale (Lanczos), upsample-chroma (2x CbCr
// up-sample of a frame's chroma).
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

constexpr long kSide = MIRA_IMAGE_MAX_SIDE;

int interpolation_code(const std::string& s) {
    return s == "none" ? MIRA_INTERPOLATION_NONE : s == "box" ? MIRA_INTERPOLATION_BOX
                                                              : MIRA_INTERPOLATION_BILINEAR;
}
int border_code(const std::string& s) {
    return s == "none" ? MIRA_BORDER_NONE : s == "constant" ? MIRA_BORDER_CONSTANT
                                                            : MIRA_BORDER_REPLICATE;
}

std::vector<OptSpec> size_options(const char* factorHelp) {
    return {int_opt("width", 1, kSide, "destination width in pixels"),
            int_opt("height", 1, kSide, "destination height in pixels"),
            real_opt("factor", 1e-4, 1e4, factorHelp)};
}

Image resize(const Image& in, uint32_t w, uint32_t h, int mode, int border, uint8_t value,
             mira_path path, double* ms, mira_status* st) {
    const Image g = colour_or_gray(in, true);
    Image out = blank(w, h, g.channels);
    const mira_image s = view(g), d = view(out);
    const double t = run_timed("resize", path, [&](mira_path p) {
        return mira_resize(&s, &d, mira_interpolation(mode), mira_border(border), value, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

// The destination is the input divided by `factor`; the source read is the
// part of the input that whole blocks cover.
Image scaledown(const Image& in, uint32_t factor, mira_path path, double* ms, mira_status* st) {
    const Image g = colour_or_gray(in, false);
    const uint32_t w = std::max(1u, g.width / factor), h = std::max(1u, g.height / factor);
    Image out = blank(w, h, g.channels);
    mira_image s = view(g);
    s.width = std::min(g.width, w * factor);
    s.height = std::min(g.height, h * factor);
    const mira_image d = view(out);
    const double t = run_timed("scale_down", path, [&](mira_path p) {
        return mira_scale_down(&s, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

Image upscale(const Image& in, uint32_t w, uint32_t h, mira_path path, double* ms,
              mira_status* st) {
    const Image g = colour_or_gray(in, true);
    Image out = blank(w, h, g.channels);
    const mira_image s = view(g), d = view(out);
    const double t = run_timed("upscale_lanczos", path, [&](mira_path p) {
        return mira_upscale_lanczos(&s, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

// The interleaved VU plane of the image's NV21 frame, doubled in both
// directions; returned as a two-channel image (V, U).
Image upsample_chroma(const Image& in, mira_path path, double* ms, mira_status* st) {
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> nv21 = rgb_to_nv21(to_rgb(in), w, h);
    Image vu = blank(w / 2, h / 2, 2);
    std::copy(nv21.begin() + size_t(w) * h, nv21.begin() + size_t(w) * h + vu.px.size(),
              vu.px.begin());
    Image out = blank(vu.width * 2, vu.height * 2, 2);
    const mira_image s = view(vu), d = view(out);
    const double t = run_timed("upsample_chroma", path, [&](mira_path p) {
        return mira_upsample_chroma(&s, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

const Registration resizeReg(
    {"resize",
     "<in> <out> [--width=W] [--height=H] | [--factor=F] [--interpolation=none|bilinear|box] "
     "[--border=none|constant|replicate] [--value=V]  general scale, each axis to its own size "
     "(one side alone keeps the aspect ratio)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         uint32_t w, h;
         if (!target_size(o, in, 0.5, w, h)) return 2;
         mira_status st;
         Image out = resize(in, w, h, interpolation_code(o.get("interpolation", "bilinear")),
                            border_code(o.get("border", "replicate")),
                            uint8_t(o.num("value", 0)), o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("resize", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         const uint32_t w = in.gray.width * 3 / 5, h = in.gray.height * 3 / 5;
         const char* names[3] = {"resize_none", "resize_bilinear", "resize_box"};
         for (int m = 0; m < 3; ++m) {
             DemoResult r{names[m], {}, 0};
             r.image = resize(in.rgb, w, h, m, 2, 0, MIRA_PATH_CPU, &r.ms, nullptr);
             out.push_back(r);
         }
         // 16:9 from a square-ish photo: each axis by its own ratio.
         DemoResult r{"resize_bilinear_16x9", {}, 0};
         r.image = resize(in.rgb, 480, 270, 1, 2, 0, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     [] {
         auto v = size_options("scale of both sides when --width/--height are not given "
                               "(default 0.5)");
         v.push_back(with_aliases(choice_opt("interpolation", {"none", "bilinear", "box"},
                                             "interpolation (default bilinear)"),
                                  {"mode"}, {{"0", "none"}, {"1", "bilinear"}, {"2", "box"}}));
         v.push_back(with_aliases(choice_opt("border", {"none", "constant", "replicate"},
                                             "what outside samples read (default replicate)"),
                                  {}, {{"0", "none"}, {"1", "constant"}, {"2", "replicate"}}));
         v.push_back(int_opt("value", 0, 255, "the outside sample of border constant"));
         return v;
     }(),
     2,
     {}});

const Registration scaledownReg(
    {"scale_down", "<in> <out> [--factor=N]  integer block-mean down-scale by N (default 2)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         const long f = o.num("factor", 2);
         if (uint32_t(f) > std::min(in.width, in.height)) {
             error_line("--factor", std::to_string(f) + " is larger than the image");
             return 2;
         }
         mira_status st;
         Image out = scaledown(in, uint32_t(f), o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("scale_down", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (uint32_t f : {2u, 4u}) {
             DemoResult r{"scaledown_" + std::to_string(f) + "x", {}, 0};
             r.image = scaledown(in.rgb, f, MIRA_PATH_CPU, &r.ms, nullptr);
             out.push_back(r);
         }
     },
     {int_opt("factor", 1, 255, "block size N (the image is divided by N)")},
     2,
     {"scaledown", "scale-down"}});

const Registration upscaleReg(
    {"upscale_lanczos",
     "<in> <out> [--width=W] [--height=H] | [--factor=F]  Lanczos-3 up-scale (default 2x), each "
     "axis to its own size",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         uint32_t w, h;
         if (!target_size(o, in, 2.0, w, h)) return 2;
         if (w < in.width || h < in.height) {
             error_line(w < in.width ? (o.has("width") ? "--width" : "--factor")
                                     : (o.has("height") ? "--height" : "--factor"),
                        "the destination must not be smaller than the input");
             return 2;
         }
         mira_status st;
         const Image out = upscale(in, w, h, o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("upscale_lanczos", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"upscale_lanczos_2x", {}, 0};
         r.image = upscale(in.rgb, in.rgb.width * 2, in.rgb.height * 2, MIRA_PATH_CPU, &r.ms,
                           nullptr);
         out.push_back(r);
     },
     size_options("scale of both sides when --width/--height are not given (default 2)"),
     2,
     {"upscale"}});

const Registration chromaReg(
    {"upsample_chroma",
     "<in> <out>  2x up-sample of the image's NV21 chroma plane (written as 2-channel V,U)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         mira_status st;
         const Image out = upsample_chroma(in, o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("upsample_chroma", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"upsample_chroma", {}, 0};
         r.image = upsample_chroma(in.rgb, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {},
     2,
     {"upsample-chroma"}});

}  // namespace
}  // namespace mira_tool
