// mira gradient / sobel / gaussian / stats / floodfill: the filters and
// statistics on the gray version of an image.
#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "mira/mira.h"

namespace mira_tool {
namespace {

// dx, dy of the gray image; the picture shows |dx| + |dy| divided by `scale`
// (or one of the two, offset to 128, with part "dx" / "dy").
Image gradient(const Image& in, bool sobel, const std::string& part, bool gpu, double* ms) {
    const Image g = to_gray(in);
    std::vector<int16_t> dx(g.px.size()), dy(g.px.size());
    MIRA_Feature_Buf s = desc(g);
    MIRA_Feature_Buf d[2] = {{g.width, 2 * g.width, g.height, g.height,
                              reinterpret_cast<uint8_t*>(dx.data())},
                             {g.width, 2 * g.width, g.height, g.height,
                              reinterpret_cast<uint8_t*>(dy.data())}};
    MIRA_Feature_Param p{sobel ? uint32_t(MIRA_API_IMAGE_GRADIENT_SOBEL_U8)
                               : uint32_t(MIRA_API_IMAGE_GRADIENT_U8),
                         MIRA_MODE_CPU, 1, nullptr, 0};
    const double t = run_timed(sobel ? "sobel" : "gradient", gpu, &s, 1, d, 2, p);
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

Image gaussian(const Image& in, int border, bool gpu, double* ms) {
    const Image g = to_gray(in);
    Image out = g;
    MIRA_Feature_Buf s = desc(g), d = desc(out);
    MIRA_Feature_Param p{MIRA_API_FILTER_GAUSSIAN3X3_U8, MIRA_MODE_CPU, 1, nullptr, border};
    const double t = run_timed("gaussian3x3", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    return out;
}

// The mask of the region around (x, y) with the seed's gray value.
Image floodfill(const Image& in, uint32_t x, uint32_t y, uint32_t conn, uint32_t fill, bool gpu,
                double* ms) {
    const Image g = to_gray(in);
    Image mask = g;
    ncvFloodfillResult r{};
    ncvFloodfillParam extra{x, y, fill, conn, &r};
    MIRA_Feature_Buf s = desc(g), d = desc(mask);
    MIRA_Feature_Param p{MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_MODE_CPU_ALT, 1, &extra, 0};
    const double t = run_timed("floodfill", gpu, &s, 1, &d, 1, p);
    if (ms) *ms = t;
    std::printf("  region: %u pixels of value %u, box x=%u y=%u %ux%u\n", r.count, r.seedValue,
                r.x, r.y, r.width, r.height);
    return mask;
}

void stats(const Image& in, uint32_t x, uint32_t y, uint32_t w, uint32_t h, bool gpu) {
    const Image g = to_gray(in);
    float mean = 0, variance = 0;
    MIRA_Feature_Buf s{w, g.width, h, h,
                       const_cast<uint8_t*>(g.px.data()) + size_t(y) * g.width + x};
    MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, reinterpret_cast<uint8_t*>(&mean)},
                             {1, 1, 1, 1, reinterpret_cast<uint8_t*>(&variance)}};
    MIRA_Feature_Param p{MIRA_API_IMAGE_INTENSITY_STATS, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    run_timed("intensity stats", gpu, &s, 1, d, 1, p);
    std::printf("  mean %.4f  variance %.4f\n", mean, variance);
}

int run_gradient(const Options& o, bool sobel) {
    Image in;
    if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
    return save_output(o.args[1], gradient(in, sobel, o.get("part", "mag"), o.gpu, nullptr)) ? 0
                                                                                             : 1;
}

const Registration regGradient(
    {"gradient", "<in> <out> [--part=mag|dx|dy]  central-difference gradients of the gray image",
     [](const Options& o) { return run_gradient(o, false); },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"gradient magnitude", {}, 0};
         r.image = gradient(in.gray, false, "mag", false, &r.ms);
         out.push_back(r);
     }});

const Registration regSobel(
    {"sobel", "<in> <out> [--part=mag|dx|dy]  3x3 Sobel gradients of the gray image",
     [](const Options& o) { return run_gradient(o, true); },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"sobel magnitude", {}, 0};
         r.image = gradient(in.gray, true, "mag", false, &r.ms);
         out.push_back(r);
     }});

const Registration regGaussian(
    {"gaussian", "<in> <out> [--border=0|1]  3x3 Gaussian of the gray image",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         return save_output(o.args[1], gaussian(in, int(o.num("border", 1)), o.gpu, nullptr)) ? 0
                                                                                              : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         DemoResult r{"gaussian 3x3", {}, 0};
         r.image = gaussian(in.gray, 1, false, &r.ms);
         out.push_back(r);
     }});

const Registration regStats(
    {"stats", "<in> [--x= --y= --w= --h=]  mean and variance of a rectangle of the gray image",
     [](const Options& o) {
         Image in;
         if (o.args.empty() || !load_input(o, 0, in)) return 2;
         const long x = o.num("x", 0), y = o.num("y", 0);
         const long w = o.num("w", long(in.width) - x), h = o.num("h", long(in.height) - y);
         if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > long(in.width) ||
             y + h > long(in.height)) {
             std::fprintf(stderr, "rectangle outside the image\n");
             return 2;
         }
         stats(in, uint32_t(x), uint32_t(y), uint32_t(w), uint32_t(h), o.gpu);
         return 0;
     },
     [](const DemoInput& in, std::vector<DemoResult>&) {
         stats(in.gray, 0, 0, in.gray.width, in.gray.height, false);
     }});

const Registration regFlood(
    {"floodfill", "<in> <out> [--x= --y= --conn=4|8 --fill=255]  mask of the region at a seed",
     [](const Options& o) {
         Image in;
         if (o.args.size() < 2 || !load_input(o, 0, in)) return 2;
         const Image m = floodfill(in, uint32_t(o.num("x", in.width / 2)),
                                   uint32_t(o.num("y", in.height / 2)),
                                   uint32_t(o.num("conn", 4)), uint32_t(o.num("fill", 255)),
                                   o.gpu, nullptr);
         return save_output(o.args[1], m) ? 0 : 1;
     },
     [](const DemoInput& in, std::vector<DemoResult>& out) {
         // The gray image quantised to 8 levels, so that regions are large.
         Image q = in.gray;
         for (auto& v : q.px) v = uint8_t(v & 0xE0);
         DemoResult r{"floodfill mask", {}, 0};
         r.image = floodfill(q, q.width / 2, q.height / 2, 8, 255, false, &r.ms);
         out.push_back(r);
     }});

}  // namespace
}  // namespace mira_tool
