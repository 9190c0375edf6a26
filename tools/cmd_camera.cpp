// mira convert: a raw camera frame (NV21, NV12, I420 or YV12 of any size) to
// an image file, with the frame's colour matrix and range.
#include <algorithm>
#include <string>
#include <vector>

#include "commands.h"

namespace mira_tool {
namespace {

int index_of(const std::vector<std::string>& names, const std::string& v) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == v) return int(i);
    return 0;
}

const std::vector<std::string> kLayouts = {"nv21", "nv12", "i420", "yv12"};
const std::vector<std::string> kMatrices = {"bt601", "bt709", "bt2020"};
const std::vector<std::string> kRanges = {"limited", "full"};

// The demo's NV21 frame (made in BT.601 limited range) read with each matrix
// and range: the frame's own pair gives the photograph, the others show what
// a wrong guess of a camera's matrix or range looks like.
void demo_convert(const DemoInput& in, std::vector<DemoResult>& out) {
    mira_yuv420 f{};
    std::vector<uint8_t> frame = in.nv21;
    if (mira_yuv420_nv21(&f, frame.data(), frame.size(), in.nv21W, in.nv21H) != MIRA_STATUS_OK)
        return;
    for (size_t m = 0; m < kMatrices.size(); ++m)
        for (size_t r = 0; r < kRanges.size(); ++r) {
            DemoResult res{"convert " + kMatrices[m] + " " + kRanges[r], blank(in.nv21W, in.nv21H, 3),
                           0};
            const mira_image d = view(res.image);
            mira_status st;
            res.ms = run_timed("convert", MIRA_PATH_CPU, [&](mira_path p) {
                return mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGB, mira_matrix(m),
                                          mira_range(r), p);
            }, &st);
            if (st == MIRA_STATUS_OK) out.push_back(res);
        }
    // The front camera's preview: turned a quarter, mirrored and scaled to a
    // portrait half the frame's size, converted in the same pass.
    DemoResult pv{"preview 270 mirrored", blank(std::max(1u, in.nv21H / 2),
                                                std::max(1u, in.nv21W / 2), 4), 0};
    const mira_image d = view(pv.image);
    mira_status st;
    pv.ms = run_timed("convert turned", MIRA_PATH_CPU, [&](mira_path p) {
        return mira_yuv420_to_rgb_transform(&f, &d, 270, 1, MIRA_INTERPOLATION_BILINEAR,
                                            MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                            MIRA_RANGE_LIMITED, p);
    }, &st);
    if (st == MIRA_STATUS_OK) out.push_back(pv);
}

const Registration regConvert(
    {"convert",
     "<in.raw> <out> --width=W --height=H [--layout=nv21|nv12|i420|yv12] "
     "[--matrix=bt601|bt709|bt2020] [--range=limited|full] [--alpha=no|yes]  camera frame to RGB",
     [](const Options& o) {
         if (!output_ok(o.args[1])) return 2;
         if (!o.has("width") || !o.has("height")) {
             error_line(o.has("width") ? "--height" : "--width",
                        "a raw frame needs --width=W and --height=H");
             return 2;
         }
         const uint32_t w = uint32_t(o.num("width", 1)), h = uint32_t(o.num("height", 1));
         const size_t bytes = size_t(w) * h + 2 * size_t((w + 1) / 2) * ((h + 1) / 2);
         std::vector<uint8_t> frame;
         std::string err;
         if (!read_raw(o.args[0], bytes, frame, err)) {
             error_line(o.args[0], err);
             return 2;
         }
         const int layout = index_of(kLayouts, o.get("layout", "nv21"));
         mira_yuv420 f{};
         const mira_status ds =
             layout == 0   ? mira_yuv420_nv21(&f, frame.data(), frame.size(), w, h)
             : layout == 1 ? mira_yuv420_nv12(&f, frame.data(), frame.size(), w, h)
                           : mira_yuv420_i420(&f, frame.data(), frame.size(), w, h);
         if (ds != MIRA_STATUS_OK) return refused("convert", ds);
         if (layout == 3) std::swap(f.u, f.v);
         const bool alpha = o.get("alpha", "no") == "yes";
         Image out = blank(w, h, alpha ? 4 : 3);
         const mira_image d = view(out);
         const mira_matrix m = mira_matrix(index_of(kMatrices, o.get("matrix", "bt601")));
         const mira_range r = mira_range(index_of(kRanges, o.get("range", "limited")));
         mira_status st;
         run_timed("convert", o.path(), [&](mira_path p) {
             return mira_yuv420_to_rgb(&f, &d, alpha ? MIRA_RGB_FORMAT_RGBA : MIRA_RGB_FORMAT_RGB,
                                       m, r, p);
         }, &st);
         if (st != MIRA_STATUS_OK) return refused("convert", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     demo_convert,
     {int_opt("width", 1, MIRA_IMAGE_MAX_SIDE, "frame width in pixels"),
      int_opt("height", 1, MIRA_IMAGE_MAX_SIDE, "frame height in pixels"),
      choice_opt("layout", kLayouts, "chroma layout of the raw frame"),
      choice_opt("matrix", kMatrices, "colour matrix"),
      choice_opt("range", kRanges, "sample range"),
      choice_opt("alpha", {"no", "yes"}, "write RGBA")},
     2});

}  // namespace
}  // namespace mira_tool
