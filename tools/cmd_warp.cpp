// mira warp / scaledown-mn: the clipped affine warp of a gray or colour image
// and the M/N box down-scale of a gray, colour or two-channel (CbCr) image.
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"

namespace mira_tool {
namespace {

int interp_code(const std::string& s) {
    if (s == "nearest") return MIRA_WARP_NEAREST;
    if (s == "bicubic") return MIRA_WARP_BICUBIC;
    return MIRA_WARP_BILINEAR;
}

// Destination-to-source matrix: rotation by `degrees` and zoom `scale` about
// the image centre.
void rotation(uint32_t w, uint32_t h, double degrees, double scale, float m[6]) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a) / scale, s = std::sin(a) / scale;
    const double cx = w * 0.5, cy = h * 0.5;
    m[0] = float(c);
    m[1] = float(-s);
    m[2] = float(cx - c * cx + s * cy);
    m[3] = float(s);
    m[4] = float(c);
    m[5] = float(cy - s * cx - c * cy);
}

Image warp(const Image& in, double degrees, double scale, int interp, mira_path path, double* ms,
           mira_status* st, uint32_t* rowsInside = nullptr) {
    const Image g = colour_or_gray(in, false);
    Image out = blank(g.width, g.height, g.channels);
    float m[6];
    rotation(g.width, g.height, degrees, scale, m);
    std::vector<uint32_t> spans(2 * size_t(g.height));
    const mira_image s = view(g), d = view(out);
    const char* what = interp == 0 ? "warp_affine nearest" : interp == 3 ? "warp_affine bicubic" : "warp_affine bilinear";
    const double t = run_timed(what, path, [&](mira_path p) {
        return mira_warp_affine(&s, m, &d, mira_warp_interpolation(interp), spans.data(), p);
    }, st);
    if (ms) *ms = t;
    if (rowsInside) {
        *rowsInside = 0;
        for (uint32_t y = 0; y < g.height; ++y) *rowsInside += spans[2 * y] < g.width;
    }
    return out;
}

// Gray images as planes, two-channel images as CbCr pairs, RGB and RGBA
// images as colour pixels.
Image scaledown_mn(const Image& in, uint32_t w, uint32_t h, mira_path path, double* ms,
                   mira_status* st) {
    const bool pairs = in.channels == 2;
    const Image src = colour_or_gray(in, true);
    Image out = blank(w, h, src.channels);
    const mira_image s = view(src), d = view(out);
    const double t = run_timed(pairs ? "scale_down_box cbcr" : "scale_down_box", path,
                               [&](mira_path p) { return mira_scale_down_box(&s, &d, p); }, st);
    if (ms) *ms = t;
    return out;
}

const Registration warpReg(
    {"warp_affine",
     "<in> <out> [--degrees=deg] [--scale=s] [--interpolation=nearest|bilinear|bicubic]  clipped "
     "affine warp (rotation about the centre) of the image (gray, RGB or RGBA kept)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         uint32_t rows = 0;
         mira_status st;
         const Image out = warp(in, o.real("degrees", 15), o.real("scale", 1),
                                interp_code(o.get("interpolation", "bilinear")), o.path(), nullptr, &st,
                                &rows);
         if (st != MIRA_STATUS_OK) return refused("warp_affine", st);
         std::printf("rows with inside pixels: %u of %u\n", rows, out.height);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (int interp : {0, 1, 3}) {
             DemoResult r{interp == 0 ? "warp_nearest" : interp == 3 ? "warp_bicubic" : "warp_bilinear",
                          {}, 0};
             r.image = warp(in.rgb, 15.0, 1.2, interp, MIRA_PATH_CPU, &r.ms, nullptr);
             out.push_back(r);
         }
     },
     {with_aliases(real_opt("degrees", -3600, 3600, "rotation in degrees (default 15)"),
                   {"angle"}),
      real_opt("scale", 0.01, 100, "zoom (default 1)"),
      with_aliases(choice_opt("interpolation", {"nearest", "bilinear", "bicubic"},
                              "interpolation (default bilinear)"),
                   {"interp"}, {{"linear", "bilinear"}, {"cubic", "bicubic"}})},
     2,
     {"warp"}});

const Registration scaledownMnReg(
    {"scale_down_box",
     "<in> <out> [--width=W] [--height=H] | [--factor=F]  box down-scale by any ratio (default 2/3); "
     "a two-channel image is scaled as CbCr pairs",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         uint32_t w, h;
         if (!target_size(o, in, 2.0 / 3.0, w, h)) return 2;
         if (w > in.width || h > in.height) {
             error_line(w > in.width ? (o.has("width") ? "--width" : "--factor")
                                     : (o.has("height") ? "--height" : "--factor"),
                        "the destination must not be larger than the input");
             return 2;
         }
         mira_status st;
         const Image out = scaledown_mn(in, w, h, o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("scale_down_box", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"scaledown_mn_2of3", {}, 0};
         r.image = scaledown_mn(in.rgb, in.rgb.width * 2 / 3, in.rgb.height * 2 / 3,
                                MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
         // The chroma plane of the NV21 frame, 3/5 of its size.
         const Image c = chroma_of(in);
         DemoResult rc{"scaledown_mn_cbcr", {}, 0};
         rc.image = scaledown_mn(c, c.width * 3 / 5, c.height * 3 / 5, MIRA_PATH_CPU, &rc.ms,
                                 nullptr);
         out.push_back(rc);
     },
     {int_opt("width", 1, MIRA_IMAGE_MAX_SIDE, "destination width in pixels"),
      int_opt("height", 1, MIRA_IMAGE_MAX_SIDE, "destination height in pixels"),
      real_opt("factor", 1e-4, 1, "scale of both sides when --width/--height are not given "
                                  "(default 2/3)")},
     2,
     {"scaledown-mn"}});

}  // namespace
}  // namespace mira_tool
