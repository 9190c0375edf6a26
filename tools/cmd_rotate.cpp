// mira rotate / rotate-cbcr: quarter-turn rotations of an image as read (gray,
// gray+alpha, RGB or RGBA: colour stays colour) and of an interleaved
// two-channel plane.
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

// Rotates an image of 1 to 4 channels clockwise.
Image rotate(const Image& in, int degrees, mira_path path, double* ms, mira_status* st) {
    const bool swap = degrees != 180;
    Image out = blank(swap ? in.height : in.width, swap ? in.width : in.height, in.channels);
    const mira_image s = view(in), d = view(out);
    const double t = run_timed(in.channels == 2 ? "rotate interleaved" : "rotate", path,
                               [&](mira_path p) { return mira_rotate(&s, &d, degrees, p); }, st);
    if (ms) *ms = t;
    return out;
}

OptSpec angle() {
    return with_aliases(
        choice_opt("degrees", {"90", "180", "270"}, "clockwise degrees (default 90)"), {"angle"});
}

int degrees(const Options& o) {
    const std::string a = o.get("degrees", "90");
    return a == "180" ? 180 : a == "270" ? 270 : 90;
}

int run_rotate(const Options& o, const Image& img) {
    mira_status st;
    const Image out = rotate(img, degrees(o), o.path(), nullptr, &st);
    if (st != MIRA_STATUS_OK) return refused("rotate", st);
    return save_output(o.args[1], out) ? 0 : 1;
}


const Registration regPlanar(
    {"rotate", "<in> <out> [--degrees=90|180|270]  rotation of the image (gray, RGB or RGBA kept)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         return run_rotate(o, in);
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (int deg : {90, 180, 270}) {
             DemoResult r{"rotate" + std::to_string(deg), {}, 0};
             r.image = rotate(in.rgb, deg, MIRA_PATH_CPU, &r.ms, nullptr);
             out.push_back(r);
         }
     },
     {angle()}});

const Registration regInterleaved(
    {"rotate-cbcr",
     "<in> <out> [--degrees=90|180|270]  rotation of a 2-channel image (gray+alpha PNG; "
     "other images use their first two channels)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         Image two = in;
         if (in.channels != 2) {
             two.channels = 2;
             two.px.resize(size_t(in.width) * in.height * 2);
             for (size_t i = 0; i < size_t(in.width) * in.height; ++i) {
                 two.px[2 * i] = in.px[i * in.channels];
                 two.px[2 * i + 1] = in.px[i * in.channels + (in.channels > 1 ? 1 : 0)];
             }
         }
         return run_rotate(o, two);
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"rotate-cbcr90 (VU plane)", {}, 0};
         r.image = rotate(chroma_of(in), 90, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {angle()}});

}  // namespace
}  // namespace mira_tool
