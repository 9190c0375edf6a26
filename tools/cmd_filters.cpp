// mira gradient / sobel / gaussian / stats / floodfill: the filters and
// statistics on the gray version of an image.
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "commands.h"

namespace mira_tool {
namespace {

// dx, dy of the gray image; the picture shows |dx| + |dy| divided by `scale`
// (or one of the two, offset to 128, with part "dx" / "dy").
Image gradient(const Image& in, bool sobel, const std::string& part, mira_path path, double* ms,
               mira_status* st) {
    const Image g = to_gray(in);
    std::vector<int16_t> dx(g.px.size()), dy(g.px.size());
    const mira_image s = view(g);
    const mira_image mx{reinterpret_cast<uint8_t*>(dx.data()), g.width, g.height, 2 * g.width, 1};
    const mira_image my{reinterpret_cast<uint8_t*>(dy.data()), g.width, g.height, 2 * g.width, 1};
    const double t = run_timed(sobel ? "sobel" : "gradient", path, [&](mira_path p) {
        return sobel ? mira_sobel(&s, &mx, &my, p) : mira_gradient(&s, &mx, &my, p);
    }, st);
    if (ms) *ms = t;
    const int scale = sobel ? 4 : 1;
    Image out = g;
    for (size_t i = 0; i < g.px.size(); ++i) {
        int v;
        if (part == "dx")
            v = 128 + dx[i] / (2 * scale);
        else if (part == "dy")
            v = 128 + dy[i] / (2 * scale);
        else
            v = (std::abs(dx[i]) + std::abs(dy[i])) / scale;
        out.px[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return out;
}

// Each channel of the image as read (gray, RGB or RGBA kept).
Image gaussian(const Image& in, int border, mira_path path, double* ms, mira_status* st) {
    Image out = blank(in.width, in.height, in.channels);
    const mira_image s = view(in), d = view(out);
    const double t = run_timed("gaussian3x3", path, [&](mira_path p) {
        return mira_gaussian3x3(&s, &d, mira_gaussian_border(border), p);
    }, st);
    if (ms) *ms = t;
    return out;
}

// The mask of the region around (x, y) with the seed's gray value.
Image floodfill(const Image& in, uint32_t x, uint32_t y, int conn, uint8_t fill, mira_path path,
                double* ms, mira_status* st) {
    const Image g = to_gray(in);
    Image mask = blank(g.width, g.height);
    mira_fill_result r{};
    const mira_image s = view(g), d = view(mask);
    mira_status status;
    const double t = run_timed("flood_fill", path, [&](mira_path p) {
        return mira_flood_fill(&s, &d, x, y, conn, fill, &r, p);
    }, &status);
    if (ms) *ms = t;
    if (st) *st = status;
    if (status == MIRA_STATUS_OK)
        std::printf("  region: %u pixels of value %u, box x=%u y=%u %ux%u\n", r.count,
                    r.seed_value, r.x, r.y, r.width, r.height);
    return mask;
}

mira_status stats(const Image& in, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                  mira_path path) {
    const Image g = to_gray(in);
    float mean = 0, variance = 0;
    const mira_image s = view(g);
    mira_status st;
    run_timed("intensity_stats", path, [&](mira_path p) {
        return mira_intensity_stats(&s, x, y, w, h, &mean, &variance, p);
    }, &st);
    if (st == MIRA_STATUS_OK) std::printf("  mean %.4f  variance %.4f\n", mean, variance);
    return st;
}

int run_gradient(const Options& o, bool sobel) {
    Image in;
    if (!load_input(o, 0, in)) return 2;
    mira_status st;
    const Image out = gradient(in, sobel, o.get("part", "mag"), o.path(), nullptr, &st);
    if (st != MIRA_STATUS_OK) return refused(sobel ? "sobel" : "gradient", st);
    return save_output(o.args[1], out) ? 0 : 1;
}

OptSpec part() { return choice_opt("part", {"mag", "dx", "dy"}, "what the picture shows"); }

const Registration regGradient(
    {"gradient", "<in> <out> [--part=mag|dx|dy]  central-difference gradients of the gray image",
     [](const Options& o) { return run_gradient(o, false); },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"gradient magnitude", {}, 0};
         r.image = gradient(in.gray, false, "mag", MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {part()}});

const Registration regSobel(
    {"sobel", "<in> <out> [--part=mag|dx|dy]  3x3 Sobel gradients of the gray image",
     [](const Options& o) { return run_gradient(o, true); },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"sobel magnitude", {}, 0};
         r.image = gradient(in.gray, true, "mag", MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {part()}});

const Registration regGaussian(
    {"gaussian3x3", "<in> <out> [--border=zero|renormalised]  3x3 Gaussian of each channel (gray, RGB or RGBA kept)",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         mira_status st;
         const Image out = gaussian(in, o.get("border", "renormalised") == "zero" ? 0 : 1,
                                    o.path(), nullptr, &st);
         if (st != MIRA_STATUS_OK) return refused("gaussian3x3", st);
         return save_output(o.args[1], out) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"gaussian 3x3", {}, 0};
         r.image = gaussian(in.rgb, 1, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {with_aliases(choice_opt("border", {"zero", "renormalised"},
                              "the one-pixel frame: zero, or renormalised (default)"),
                   {}, {{"0", "zero"}, {"1", "renormalised"}})},
     2,
     {"gaussian"}});

const Registration regStats(
    {"intensity_stats", "<in> [--x= --y= --w= --h=]  mean and variance of a rectangle of the gray image",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         const long x = o.num("x", 0), y = o.num("y", 0);
         const long w = o.num("w", std::max(1L, long(in.width) - x));
         const long h = o.num("h", std::max(1L, long(in.height) - y));
         const mira_status st =
             stats(in, uint32_t(x), uint32_t(y), uint32_t(w), uint32_t(h), o.path());
         if (st != MIRA_STATUS_OK)
             return refused("intensity_stats", st, "--x/--y/--w/--h must lie inside the image");
         return 0;
     },
     [](const DemoInput& in, std::vector<DemoResult>&) {
         stats(in.gray, 0, 0, in.gray.width, in.gray.height, MIRA_PATH_CPU);
     },
     {int_opt("x", 0, MIRA_IMAGE_MAX_SIDE - 1, "left column"),
      int_opt("y", 0, MIRA_IMAGE_MAX_SIDE - 1, "top row"),
      int_opt("w", 1, MIRA_IMAGE_MAX_SIDE, "width"),
      int_opt("h", 1, MIRA_IMAGE_MAX_SIDE, "height")},
     1,
     {"stats"}});

const Registration regFlood(
    {"flood_fill",
     "<in> <out> [--x= --y= --connectivity=4|8 --fill=255]  mask of the region at a seed",
     [](const Options& o) {
         Image in;
         if (!load_input(o, 0, in)) return 2;
         mira_status st;
         const Image m = floodfill(in, uint32_t(o.num("x", in.width / 2)),
                                   uint32_t(o.num("y", in.height / 2)),
                                   o.get("connectivity", "4") == "8" ? 8 : 4, uint8_t(o.num("fill", 255)),
                                   o.path(),
                                   nullptr, &st);
         if (st != MIRA_STATUS_OK)
             return refused("flood_fill", st, "--x/--y must lie inside the image");
         return save_output(o.args[1], m) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         // The gray image quantised to 8 levels, so that regions are large.
         Image q = in.gray;
         for (auto& v : q.px) v = uint8_t(v & 0xE0);
         DemoResult r{"floodfill mask", {}, 0};
         r.image = floodfill(q, q.width / 2, q.height / 2, 8, 255, MIRA_PATH_CPU, &r.ms, nullptr);
         out.push_back(r);
     },
     {int_opt("x", 0, MIRA_IMAGE_MAX_SIDE - 1, "seed column (default the centre)"),
      int_opt("y", 0, MIRA_IMAGE_MAX_SIDE - 1, "seed row (default the centre)"),
      with_aliases(choice_opt("connectivity", {"4", "8"}, "connectivity (default 4)"),
                   {"conn"}),
      int_opt("fill", 1, 255, "mask value of the region (default 255)")},
     2,
     {"floodfill"}});

}  // namespace
}  // namespace mira_tool
