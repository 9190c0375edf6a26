// mira transpose: the transpose of the gray image.
#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

Image transpose(const Image& in, mira_path path, double* ms, mira_status* st) {
    const Image g = to_gray(in);
    Image out = blank(g.height, g.width);
    const mira_image s = view(g), d = view(out);
    const double t = run_timed("transpose", path, [&](mira_path p) {
        return mira_transpose(&s, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

const Registration reg({"transpose", "<in> <out>  transpose of the gray image",
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
                            r.image = transpose(in.gray, MIRA_PATH_CPU, &r.ms, nullptr);
                            out.push_back(r);
                        }});

}  // namespace
}  // namespace mira_tool
