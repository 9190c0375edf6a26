// mira transpose: the transpose of the image as read (gray, gray+alpha, RGB
// or RGBA: colour stays colour).
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

Image transpose(const Image& in, mira_path path, double* ms, mira_status* st) {
    Image out = blank(in.height, in.width, in.channels);
    const mira_image s = view(in), d = view(out);
    const double t = run_timed("transpose", path, [&](mira_path p) {
        return mira_transpose(&s, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

const Registration reg({"transpose", "<in> <out>  transpose of the image (gray, RGB or RGBA kept)",
                        [](const Options& o) {
                            Image in;
                            if (!load_input(o, 0, in)) return 2;
                            mira_status st;
                            const Image out = transpose(in, o.path(), nullptr, &st);
                            if (st != MIRA_STATUS_OK) return refused("transpose", st);
                            return save_output(o.args[1], out) ? 0 : 1;
                        },
                        [](const DemoInput& in, std::vector<DemoResult>& out) {
                            DemoResult r{"transpose", {}, 0};
                            r.image = transpose(in.rgb, MIRA_PATH_CPU, &r.ms, nullptr);
                            out.push_back(r);
                        }});

}  // namespace
}  // namespace mira_tool
