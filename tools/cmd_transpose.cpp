#include <cstdio>

#include "commands.h"

namespace mira_tool {
namespace {

Image transpose(const Image& in, bool gpu, double* ms) {
    Image out;
    out.width = in.height;
    out.height = in.width;
    out.channels = 1;
    out.px.resize(in.px.size() / in.channels);
    Image g = to_gray(in);
    MIRA_Feature_Buf s = desc(g), d = desc(out);
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    double t = run_timed("transpose", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

const Registration reg({"transpose", "<in> <out>  transpose of the gray image",
                        [](const Options& o) {
                            Image in;
                            if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
                            return save_output(o.args[1], transpose(in, o.gpu, nullptr)) ? 0 : 1;
                        },
                        [](const DemoInput& in, std::vector<DemoResult>& out) {
                            DemoResult r{"transpose", {}, 0};
                            r.image = transpose(in.gray, false, &r.ms);
                            out.push_back(r);
                        }});

}  // namespace
}  // namespace mira_tool
