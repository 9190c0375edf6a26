// mira rotate / rotate-cbcr: quarter-turn rotations of a gray plane and of an
// interleaved two-channel plane.
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

int code_of(long degrees) {
    switch (degrees) {
        case 90: return 1;
        case 180: return 2;
        case 270: return 3;
        default: return 0;
    }
}

// The input image and rotation code of a rotate command; false, with the
// message printed, for a bad call.
bool rotate_input(const Options& o, Image& in, int& code) {
    if (o.args.size() < 2 || !load_input(o, 0, in)) return false;
    code = code_of(o.num("angle", 90));
    if (code == 0) {
        std::fprintf(stderr, "angle must be 90, 180 or 270\n");
        return false;
    }
    return true;
}

// Rotates a 1-channel (planar feature) or 2-channel (interleaved feature) image.
Image rotate(const Image& in, int code, bool gpu, double* ms) {
    const bool pairs = in.channels == 2;
    const bool swap = code == 1 || code == 3;
    Image out;
    out.channels = in.channels;
    out.width = swap ? in.height : in.width;
    out.height = swap ? in.width : in.height;
    out.px.assign(in.px.size(), 0);
    MIRA_Feature_Buf s{in.width, in.width * in.channels, in.height, in.height,
                       const_cast<uint8_t*>(in.px.data())};
    MIRA_Feature_Buf d{out.width, out.width * out.channels, out.height, out.height, out.px.data()};
    MIRA_Feature_Param p{pairs ? uint32_t(MIRA_API_ROTATE_INTERLEAVE_U8) : uint32_t(MIRA_API_ROTATE_U8),
                         MIRA_MODE_CPU, 1, nullptr, code};
    const double t = run_timed(pairs ? "rotate interleaved" : "rotate", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

const Registration regPlanar(
    {"rotate", "<in> <out> [--angle=90|180|270]  rotation of the gray image",
     [](const Options& o) {
         Image in;
         int code = 0;
         if (!rotate_input(o, in, code)) return 2;
         return save_output(o.args[1], rotate(to_gray(in), code, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         for (int code = 1; code <= 3; ++code) {
             DemoResult r{"rotate" + std::to_string(90 * code), {}, 0};
             r.image = rotate(in.gray, code, false, &r.ms);
             out.push_back(r);
         }
     }});

const Registration regInterleaved(
    {"rotate-cbcr",
     "<in> <out> [--angle=90|180|270]  rotation of a 2-channel image (gray+alpha PNG; "
     "other images use their first two channels)",
     [](const Options& o) {
         Image in;
         int code = 0;
         if (!rotate_input(o, in, code)) return 2;
         Image two = in;
         if (in.channels != 2) {
             two.channels = 2;
             two.px.resize(size_t(in.width) * in.height * 2);
             for (size_t i = 0; i < size_t(in.width) * in.height; ++i) {
                 two.px[2 * i] = in.px[i * in.channels];
                 two.px[2 * i + 1] = in.px[i * in.channels + (in.channels > 1 ? 1 : 0)];
             }
         }
         return save_output(o.args[1], rotate(two, code, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"rotate-cbcr90 (VU plane)", {}, 0};
         r.image = rotate(chroma_of(in), 1, false, &r.ms);
         out.push_back(r);
     }});

}  // namespace
}  // namespace mira_tool
