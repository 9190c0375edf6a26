// mira nv21-rgba / cbcr-swap / interleave / yuv444-420: the colour-layout
// operations on image files or raw frames.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace mira_tool {
namespace {

bool parse_size(const Options& o, uint32_t& w, uint32_t& h) {
    const std::string s = o.get("size");
    return !s.empty() && std::sscanf(s.c_str(), "%ux%u", &w, &h) == 2 && w > 0 && h > 0;
}

// An NV21 frame from a PNG (converted) or a raw file with --size=WxH.
bool load_nv21(const Options& o, std::vector<uint8_t>& frame, uint32_t& w, uint32_t& h) {
    if (o.args.empty()) return false;
    const std::string& path = o.args[0];
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) {
        Image in;
        if (!load_input(o, 0, in)) return false;
        frame = rgb_to_nv21(to_rgb(in), w, h);
        return w > 0 && h > 0;
    }
    if (!parse_size(o, w, h)) {
        std::fprintf(stderr, "raw NV21 input needs --size=WxH\n");
        return false;
    }
    std::string err;
    if (!read_raw(path, size_t(w) * h * 3 / 2, frame, err)) {
        std::fprintf(stderr, "%s\n", err.c_str());
        return false;
    }
    return true;
}

Image nv21_to_rgba(const std::vector<uint8_t>& frame, uint32_t w, uint32_t h, bool gpu,
                   double* ms, const char* what = "nv21-rgba") {
    Image out;
    out.width = w;
    out.height = h;
    out.channels = 4;
    out.px.assign(size_t(w) * h * 4, 0);
    MIRA_Feature_Buf s{w, w, h, h, const_cast<uint8_t*>(frame.data())};
    MIRA_Feature_Buf d{w, w, h, h, out.px.data()};
    MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_CPU, 1, nullptr, 0};
    const double t = run_timed(what, gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

// Swaps the chroma pairs of an NV21 frame in place (it becomes NV12).
double swap_chroma(std::vector<uint8_t>& frame, uint32_t w, uint32_t h, bool gpu) {
    uint8_t* c = frame.data() + size_t(w) * h;
    MIRA_Feature_Buf s{w / 2, w, h / 2, h / 2, c};
    MIRA_Feature_Param p{MIRA_API_CBCR_SWAP, MIRA_MODE_CPU, 1, nullptr, 0};
    return run_timed("cbcr-swap", gpu, &s, 1, &s, 1, p);
}

Image interleave(const Image& a, const Image& b, bool gpu, double* ms) {
    Image out;
    out.width = a.width;
    out.height = a.height;
    out.channels = 2;
    out.px.assign(size_t(a.width) * a.height * 2, 0);
    MIRA_Feature_Buf s[2] = {{a.width, a.width, a.height, a.height, const_cast<uint8_t*>(a.px.data())},
                             {a.width, b.width, a.height, a.height, const_cast<uint8_t*>(b.px.data())}};
    MIRA_Feature_Buf d{2 * a.width, 2 * a.width, a.height, a.height, out.px.data()};
    MIRA_Feature_Param p{MIRA_API_INTERLEAVE_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    const double t = run_timed("interleave", gpu, s, 2, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

// 4:2:0 -> 4:4:4 -> 4:2:0 on the frame's chroma (NV21 order: V first, so the
// "Cb" planes hold V). Returns the full-size planes of the first step as a
// 2-channel image and leaves the round-tripped frame in `frame`.
Image chroma_round_trip(std::vector<uint8_t>& frame, uint32_t w, uint32_t h, bool gpu, double* ms) {
    const size_t n = size_t(w) * h;
    std::vector<uint8_t> y(n), p0(n), p1(n);
    MIRA_Feature_Buf s[2] = {{w, w, h, h, frame.data()}, {w, w, h / 2, h / 2, frame.data() + n}};
    MIRA_Feature_Buf d[3] = {{w, w, h, h, y.data()}, {w, w, h, h, p0.data()}, {w, w, h, h, p1.data()}};
    MIRA_Feature_Param up{MIRA_API_YUV420_TO_YUV444, MIRA_MODE_CPU, 1, nullptr, 0};
    double t = run_timed("yuv420-to-444", gpu, s, 2, d, 3, up);
    MIRA_Feature_Param down{MIRA_API_YUV444_TO_YUV420, MIRA_MODE_CPU, 1, nullptr, 0};
    MIRA_Feature_Buf back[2] = {{w, w, h, h, frame.data()}, {w, w, h / 2, h / 2, frame.data() + n}};
    t += run_timed("yuv444-to-420", gpu, d, 3, back, 2, down);
    if (ms) *ms = t;
    Image two;
    two.width = w;
    two.height = h;
    two.channels = 2;
    two.px.resize(2 * n);
    for (size_t i = 0; i < n; ++i) {
        two.px[2 * i] = p0[i];
        two.px[2 * i + 1] = p1[i];
    }
    return two;
}

Image channel(const Image& rgb, uint32_t c) {
    Image g;
    g.width = rgb.width;
    g.height = rgb.height;
    g.channels = 1;
    g.px.resize(size_t(rgb.width) * rgb.height);
    for (size_t i = 0; i < g.px.size(); ++i) g.px[i] = rgb.px[i * rgb.channels + c];
    return g;
}

const Registration regNv21(
    {"nv21-rgba", "<in.png|in.nv21> <out> [--size=WxH]  NV21 frame to RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (o.args.size() < 2 || !load_nv21(o, frame, w, h)) return 2;
         return save_output(o.args[1], nv21_to_rgba(frame, w, h, o.gpu, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"nv21-rgba", {}, 0};
         r.image = nv21_to_rgba(in.nv21, in.nv21W, in.nv21H, false, &r.ms);
         out.push_back(r);
     }});

const Registration regSwap(
    {"cbcr-swap", "<in.png|in.nv21> <out> [--size=WxH]  swaps the frame's chroma pairs, shown as RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (o.args.size() < 2 || !load_nv21(o, frame, w, h)) return 2;
         swap_chroma(frame, w, h, o.gpu);
         return save_output(o.args[1], nv21_to_rgba(frame, w, h, false, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         std::vector<uint8_t> frame = in.nv21;
         DemoResult r{"cbcr-swap (U/V exchanged)", {}, 0};
         r.ms = swap_chroma(frame, in.nv21W, in.nv21H, false);
         r.image = nv21_to_rgba(frame, in.nv21W, in.nv21H, false, nullptr, "  (view)");
         out.push_back(r);
     }});

const Registration regYuv(
    {"yuv444-420", "<in.png|in.nv21> <out> [--size=WxH]  chroma 4:2:0 -> 4:4:4 -> 4:2:0, shown as RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (o.args.size() < 2 || !load_nv21(o, frame, w, h)) return 2;
         chroma_round_trip(frame, w, h, o.gpu, nullptr);
         return save_output(o.args[1], nv21_to_rgba(frame, w, h, false, nullptr)) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         std::vector<uint8_t> frame = in.nv21;
         DemoResult r{"yuv420-to-444 (V,U planes)", {}, 0};
         r.image = chroma_round_trip(frame, in.nv21W, in.nv21H, false, &r.ms);
         out.push_back(r);
         DemoResult back{"yuv444-to-420 round trip", {}, 0};
         back.image = nv21_to_rgba(frame, in.nv21W, in.nv21H, false, &back.ms, "  (view)");
         out.push_back(back);
     }});

const Registration regInterleave(
    {"interleave", "<in> <out>  red and blue channels merged into a 2-channel image",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         const Image rgb = to_rgb(in);
         return save_output(o.args[1], interleave(channel(rgb, 0), channel(rgb, 2), o.gpu, nullptr))
                    ? 0
                    : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"interleave (R,B)", {}, 0};
         r.image = interleave(channel(in.rgb, 0), channel(in.rgb, 2), false, &r.ms);
         out.push_back(r);
     }});

}  // namespace
}  // namespace mira_tool
