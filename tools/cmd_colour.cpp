// mira nv21-rgba / cbcr-swap / interleave / yuv444-420: the colour-layout
// operations on image files or raw frames.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace mira_tool {
namespace {

// --size=WxH: two whole numbers, even, 2 to MIRA_IMAGE_MAX_SIDE.
bool parse_size(const Options& o, uint32_t& w, uint32_t& h) {
    const std::string s = o.get("size");
    const size_t x = s.find('x');
    auto whole = [](const std::string& t, uint32_t& v) {
        if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos)
            return false;
        v = uint32_t(std::stoul(t));
        return v >= 2 && v <= MIRA_IMAGE_MAX_SIDE && v % 2 == 0;
    };
    if (x == std::string::npos || !whole(s.substr(0, x), w) || !whole(s.substr(x + 1), h)) {
        error_line("--size", "'" + s + "' is not WxH with even sides from 2 to " +
                                 std::to_string(MIRA_IMAGE_MAX_SIDE));
        return false;
    }
    return true;
}

// An NV21 frame from a PNG (converted) or a raw file with --size=WxH.
bool load_nv21(const Options& o, std::vector<uint8_t>& frame, uint32_t& w, uint32_t& h) {
    const std::string& path = o.args[0];
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) {
        Image in;
        if (!load_input(o, 0, in)) return false;
        frame = rgb_to_nv21(to_rgb(in), w, h);
        if (w == 0 || h == 0) {
            error_line(path, "the image is smaller than 2x2");
            return false;
        }
        return true;
    }
    if (o.args.size() > 1 && !output_ok(o.args[1])) return false;
    if (!o.has("size")) {
        error_line("--size", "a raw NV21 input needs --size=WxH");
        return false;
    }
    if (!parse_size(o, w, h)) return false;
    std::string err;
    if (!read_raw(path, size_t(w) * h * 3 / 2, frame, err)) {
        error_line(path, err);
        return false;
    }
    return true;
}

// The planes of an NV21 frame of w x h.
mira_image luma(std::vector<uint8_t>& f, uint32_t w, uint32_t h) {
    return {f.data(), w, h, w, 1};
}
mira_image chroma(std::vector<uint8_t>& f, uint32_t w, uint32_t h) {
    return {f.data() + size_t(w) * h, w / 2, h / 2, w, 2};
}

Image nv21_to_rgba(const std::vector<uint8_t>& frame, uint32_t w, uint32_t h, mira_path path,
                   double* ms, mira_status* st, const char* what = "nv21-rgba") {
    Image out = blank(w, h, 4);
    auto& f = const_cast<std::vector<uint8_t>&>(frame);
    const mira_image y = luma(f, w, h), vu = chroma(f, w, h), d = view(out);
    const double t = run_timed(what, path, [&](mira_path p) {
        return mira_nv21_to_rgba(&y, &vu, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

// Swaps the chroma pairs of an NV21 frame (it becomes NV12).
double swap_chroma(std::vector<uint8_t>& frame, uint32_t w, uint32_t h, mira_path path,
                   mira_status* st) {
    std::vector<uint8_t> swapped(frame.size() - size_t(w) * h);
    const mira_image s = chroma(frame, w, h);
    const mira_image d{swapped.data(), w / 2, h / 2, w, 2};
    const double t = run_timed("swap_pairs", path, [&](mira_path p) {
        return mira_swap_pairs(&s, &d, p);
    }, st);
    std::copy(swapped.begin(), swapped.end(), frame.begin() + size_t(w) * h);
    return t;
}

Image interleave(const Image& a, const Image& b, mira_path path, double* ms, mira_status* st) {
    Image out = blank(a.width, a.height, 2);
    const mira_image sa = view(a), sb = view(b), d = view(out);
    const double t = run_timed("interleave", path, [&](mira_path p) {
        return mira_interleave(&sa, &sb, &d, p);
    }, st);
    if (ms) *ms = t;
    return out;
}

// 4:2:0 -> 4:4:4 -> 4:2:0 on the frame's chroma (NV21 order: V first, so the
// "Cb" planes hold V). Returns the full-size planes of the first step as a
// 2-channel image and leaves the round-tripped frame in `frame`.
Image chroma_round_trip(std::vector<uint8_t>& frame, uint32_t w, uint32_t h, mira_path path,
                        double* ms, mira_status* st) {
    const size_t n = size_t(w) * h;
    Image y = blank(w, h), p0 = blank(w, h), p1 = blank(w, h);
    const mira_image sy = luma(frame, w, h), sc = chroma(frame, w, h);
    const mira_image dy = view(y), d0 = view(p0), d1 = view(p1);
    mira_status first = MIRA_STATUS_OK, second = MIRA_STATUS_OK;
    double t = run_timed("yuv420sp_to_yuv444", path, [&](mira_path p) {
        return mira_yuv420sp_to_yuv444(&sy, &sc, &dy, &d0, &d1, p);
    }, &first);
    if (first == MIRA_STATUS_OK)
        t += run_timed("yuv444_to_yuv420sp", path, [&](mira_path p) {
            return mira_yuv444_to_yuv420sp(&dy, &d0, &d1, &sy, &sc, p);
        }, &second);
    if (ms) *ms = t;
    if (st) *st = first != MIRA_STATUS_OK ? first : second;
    Image two = blank(w, h, 2);
    for (size_t i = 0; i < n; ++i) {
        two.px[2 * i] = p0.px[i];
        two.px[2 * i + 1] = p1.px[i];
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

OptSpec size_opt() { return text_opt("size", "WxH of a raw NV21 input (even sides)"); }

const Registration regNv21(
    {"nv21_to_rgba", "<in.png|in.nv21> <out> [--size=WxH]  NV21 frame to RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (!load_nv21(o, frame, w, h)) return 2;
         mira_status st;
         const Image out = nv21_to_rgba(frame, w, h, o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("nv21_to_rgba", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"nv21-rgba", {}, 0};
         r.image = nv21_to_rgba(in.nv21, in.nv21W, in.nv21H, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {size_opt()}, 2, {"nv21-rgba"}});

const Registration regSwap(
    {"swap_pairs", "<in.png|in.nv21> <out> [--size=WxH]  swaps the frame's chroma pairs, shown as RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (!load_nv21(o, frame, w, h)) return 2;
         mira_status st;
         swap_chroma(frame, w, h, o.path(), &st);
         if (st != MIRA_STATUS_OK) return refused("swap_pairs", st);
         return save_output(o.args[1], nv21_to_rgba(frame, w, h, MIRA_PATH_CPU, nullptr, nullptr))
                    ? 0
                    : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         std::vector<uint8_t> frame = in.nv21;
         DemoResult r{"cbcr-swap (U/V exchanged)", {}, 0};
         r.ms = swap_chroma(frame, in.nv21W, in.nv21H, MIRA_PATH_CPU, nullptr);
         r.image = nv21_to_rgba(frame, in.nv21W, in.nv21H, MIRA_PATH_CPU, nullptr, nullptr,
                                "  (view)");
         out.push_back(r);
     },
     {size_opt()}, 2, {"cbcr-swap"}});

const Registration regYuv(
    {"yuv444_to_yuv420sp", "<in.png|in.nv21> <out> [--size=WxH]  chroma 4:2:0 -> 4:4:4 -> 4:2:0, shown as RGBA",
     [](const Options& o) {
         std::vector<uint8_t> frame;
         uint32_t w = 0, h = 0;
         if (!load_nv21(o, frame, w, h)) return 2;
         mira_status st;
         chroma_round_trip(frame, w, h, o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("yuv444_to_yuv420sp", st);
         return save_output(o.args[1], nv21_to_rgba(frame, w, h, MIRA_PATH_CPU, nullptr, nullptr))
                    ? 0
                    : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         std::vector<uint8_t> frame = in.nv21;
         DemoResult r{"yuv420-to-444 (V,U planes)", {}, 0};
         r.image = chroma_round_trip(frame, in.nv21W, in.nv21H, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
         DemoResult back{"yuv444-to-420 round trip", {}, 0};
         back.image = nv21_to_rgba(frame, in.nv21W, in.nv21H, MIRA_PATH_CPU, &back.ms, nullptr,
                                   "  (view)");
         out.push_back(back);
     },
     {size_opt()}, 2, {"yuv444-420"}});

const Registration regInterleave(
    {"interleave", "<in> <out>  red and blue channels merged into a 2-channel image",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         const Image rgb = to_rgb(in);
         mira_status st;
         const Image out = interleave(channel(rgb, 0), channel(rgb, 2), o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("interleave", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"interleave (R,B)", {}, 0};
         r.image = interleave(channel(in.rgb, 0), channel(in.rgb, 2), MIRA_PATH_CPU, &r.ms,
                              nullptr);
         out.push_back(r);
     }});

}  // namespace
}  // namespace mira_tool
