// mira warp / scaledown-mn: the clipped affine warp of a gray image and the
// M/N box down-scale of a gray image or a two-channel (CbCr) image.
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"

namespace mira_tool {
namespace {

int interp_code(const std::string& s) {
    if (s == "nearest" || s == "0") return 0;
    if (s == "cubic" || s == "bicubic" || s == "3") return 3;
    return 1;
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

Image warp(const Image& in, double degrees, double scale, int interp, bool gpu, double* ms,
           uint32_t* rowsInside = nullptr) {
    const Image g = to_gray(in);
    Image out;
    out.width = g.width;
    out.height = g.height;
    out.channels = 1;
    out.px.assign(g.px.size(), 0);
    float m[6];
    rotation(g.width, g.height, degrees, scale, m);
    std::vector<uint32_t> spans(2 * size_t(g.height));
    MIRA_Feature_Buf s[2] = {desc(g), {3, 12, 2, 2, reinterpret_cast<uint8_t*>(m)}};
    MIRA_Feature_Buf d[2] = {desc(out),
                             {2, 2, g.height, g.height, reinterpret_cast<uint8_t*>(spans.data())}};
    MIRA_Feature_Param p{MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, MIRA_MODE_CPU, 1, nullptr, interp};
    const char* what = interp == 0 ? "warp nearest" : interp == 3 ? "warp bicubic" : "warp bilinear";
    const double t = run_timed(what, gpu, s, 2, d, 2, p);
    if (ms) *ms = t;
    if (rowsInside) {
        *rowsInside = 0;
        for (uint32_t y = 0; y < g.height; ++y) *rowsInside += spans[2 * y] < g.width;
    }
    return out;
}

// Gray images use the planar feature, two-channel images the CbCr feature
// (widths in pairs).
Image scaledown_mn(const Image& in, uint32_t w, uint32_t h, bool gpu, double* ms) {
    const bool pairs = in.channels == 2;
    const Image src = pairs ? in : to_gray(in);
    Image out;
    out.width = w;
    out.height = h;
    out.channels = src.channels;
    out.px.assign(size_t(w) * h * out.channels, 0);
    MIRA_Feature_Buf s = desc(src), d = desc(out);
    MIRA_Feature_Param p{pairs ? uint32_t(MIRA_API_SCALEDOWN_MNINTERLEAVE_U8)
                               : uint32_t(MIRA_API_SCALEDOWN_MN_U8),
                         MIRA_MODE_CPU, 1, nullptr, 0};
    const double t = run_timed(pairs ? "scaledown-mn cbcr" : "scaledown-mn", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

const Registration warpReg(
    {"warp",
     "<in> <out> [--angle=deg] [--scale=s] [--interp=nearest|linear|cubic]  clipped affine "
     "warp (rotation about the centre) of the gray image",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         uint32_t rows = 0;
         const Image out = warp(in, std::stod(o.get("angle", "15")), std::stod(o.get("scale", "1")),
                                interp_code(o.get("interp", "linear")), o.gpu, nullptr, &rows);
         std::printf("rows with inside pixels: %u of %u\n", rows, out.height);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (int interp : {0, 1, 3}) {
             DemoResult r{interp == 0 ? "warp_nearest" : interp == 3 ? "warp_bicubic" : "warp_bilinear",
                          {}, 0};
             r.image = warp(in.gray, 15.0, 1.2, interp, false, &r.ms);
             out.push_back(r);
         }
     }});

const Registration scaledownMnReg(
    {"scaledown-mn",
     "<in> <out> [--width=W --height=H | --factor=F]  box down-scale by any ratio (default 2/3); "
     "a two-channel image is scaled as CbCr pairs",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         const double f = std::stod(o.get("factor", "0.6666667"));
         const uint32_t w = uint32_t(o.num("width", long(in.width * f + 0.5)));
         const uint32_t h = uint32_t(o.num("height", long(in.height * f + 0.5)));
         if (w == 0 || h == 0) {
             std::fprintf(stderr, "destination size must be at least 1x1\n");
             return 2;
         }
         return save_output(o.args[1], scaledown_mn(in, w, h, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"scaledown_mn_2of3", {}, 0};
         r.image = scaledown_mn(in.gray, in.gray.width * 2 / 3, in.gray.height * 2 / 3, false, &r.ms);
         out.push_back(r);
         // The chroma plane of the NV21 frame, 3/5 of its size.
         const Image c = chroma_of(in);
         DemoResult rc{"scaledown_mn_cbcr", {}, 0};
         rc.image = scaledown_mn(c, c.width * 3 / 5, c.height * 3 / 5, false, &rc.ms);
         out.push_back(rc);
     }});

}  // namespace
}  // namespace mira_tool
