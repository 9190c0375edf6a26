// Scaling commands: resize (general scale), scaledown (integer block mean),
// upscale (Lanczos), upsample-chroma (2x CbCr up-sample of a frame's chroma).
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

Image gray_of(uint32_t w, uint32_t h, uint32_t channels = 1) {
    Image out;
    out.width = w;
    out.height = h;
    out.channels = channels;
    out.px.assign(size_t(w) * h * channels, 0);
    return out;
}

Image resize(const Image& in, uint32_t w, uint32_t h, uint32_t mode, uint32_t border,
             uint8_t value, bool gpu, double* ms) {
    Image g = to_gray(in), out = gray_of(w, h);
    MIRA_Feature_Buf s = desc(g), d = desc(out);
    uint32_t extra[3] = {mode, border, value};
    MIRA_Feature_Param p{MIRA_API_SCALE_U8, MIRA_MODE_CPU_ALT, 1, extra, 0};
    double t = run_timed("resize", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

Image scaledown(const Image& in, uint32_t factor, bool gpu, double* ms) {
    Image g = to_gray(in);
    factor = factor ? factor : 1;
    Image out = gray_of(std::max(1u, g.width / factor), std::max(1u, g.height / factor));
    MIRA_Feature_Buf s = desc(g), d = desc(out);
    MIRA_Feature_Param p{MIRA_API_SCALE_DOWN_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    double t = run_timed("scaledown", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

Image upscale(const Image& in, uint32_t w, uint32_t h, bool gpu, double* ms) {
    Image g = to_gray(in), out = gray_of(w, h);
    MIRA_Feature_Buf s = desc(g), d = desc(out);
    MIRA_Feature_Param p{MIRA_API_SCALE_UP_POLY_U8, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    double t = run_timed("upscale (lanczos)", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

// The interleaved VU plane of the image's NV21 frame, doubled in both
// directions; returned as a two-channel image (V, U).
Image upsample_chroma(const Image& in, bool gpu, double* ms) {
    uint32_t w = 0, h = 0;
    std::vector<uint8_t> nv21 = rgb_to_nv21(to_rgb(in), w, h);
    Image vu = gray_of(w / 2, h / 2, 2);
    std::copy(nv21.begin() + size_t(w) * h, nv21.begin() + size_t(w) * h + vu.px.size(),
              vu.px.begin());
    Image out = gray_of(vu.width * 2, vu.height * 2, 2);
    MIRA_Feature_Buf s = desc(vu), d = desc(out);
    MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, MIRA_MODE_CPU, 1, nullptr, 0};
    double t = run_timed("upsample-chroma", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

// Target size from --width/--height, or --factor times the input.
void target_size(const Options& o, const Image& in, double defFactor, uint32_t& w, uint32_t& h) {
    const double f = o.named.count("factor") ? std::stod(o.get("factor")) : defFactor;
    w = uint32_t(o.num("width", long(in.width * f + 0.5)));
    h = uint32_t(o.num("height", long(in.height * f + 0.5)));
    w = std::max(1u, w);
    h = std::max(1u, h);
}

const Registration resizeReg(
    {"resize",
     "<in> <out> [--width=W --height=H | --factor=F] [--mode=0|1|2] [--border=0|1|2] "
     "[--value=V]  general scale (none/bilinear/box)",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         uint32_t w, h;
         target_size(o, in, 0.5, w, h);
         Image out = resize(in, w, h, uint32_t(o.num("mode", 1)), uint32_t(o.num("border", 2)),
                            uint8_t(o.num("value", 0)), o.gpu, nullptr);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         const uint32_t w = in.gray.width * 3 / 5, h = in.gray.height * 3 / 5;
         const char* names[3] = {"resize_none", "resize_bilinear", "resize_box"};
         for (uint32_t m = 0; m < 3; ++m) {
             DemoResult r{names[m], {}, 0};
             r.image = resize(in.gray, w, h, m, 2, 0, false, &r.ms);
             out.push_back(r);
         }
     }});

const Registration scaledownReg(
    {"scaledown", "<in> <out> [--factor=N]  integer block-mean down-scale by N (default 2)",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         Image out = scaledown(in, uint32_t(o.num("factor", 2)), o.gpu, nullptr);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (uint32_t f : {2u, 4u}) {
             DemoResult r{"scaledown_" + std::to_string(f) + "x", {}, 0};
             r.image = scaledown(in.gray, f, false, &r.ms);
             out.push_back(r);
         }
     }});

const Registration upscaleReg(
    {"upscale", "<in> <out> [--width=W --height=H | --factor=F]  Lanczos-3 up-scale (default 2x)",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         uint32_t w, h;
         target_size(o, in, 2.0, w, h);
         return save_output(o.args[1], upscale(in, w, h, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"upscale_lanczos_2x", {}, 0};
         r.image = upscale(in.gray, in.gray.width * 2, in.gray.height * 2, false, &r.ms);
         out.push_back(r);
     }});

const Registration chromaReg(
    {"upsample-chroma",
     "<in> <out>  2x up-sample of the image's NV21 chroma plane (written as 2-channel V,U)",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         return save_output(o.args[1], upsample_chroma(in, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"upsample_chroma", {}, 0};
         r.image = upsample_chroma(in.rgb, false, &r.ms);
         out.push_back(r);
     }});

}  // namespace
}  // namespace mira_tool
