// arch_digest: runs every image operation of the public API on fixed inputs
// and prints one digest line per call, so that builds for different
// architectures (x86 through the NEON emulation, AArch64 natively) can be
// compared byte for byte. scripts/cross-test.sh builds it for both and diffs.
//
// Usage: arch_digest <out-file> (the library's own log lines go to standard
// output). Each line: "<kind> <operation> <case> <digest>", kind "exact" for
// operations whose arithmetic is integer only, "float" for those computed in
// floating point (the scale pipelines with fractional steps, the affine warp
// and the statistics). Digests cover the whole destination buffer, margins
// included, so a stray write shows too. OpenCL must be absent or unusable:
// ncvInit is never called and the GPU-mode functions then run on the CPU.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "mira/mira.h"
#include "mira/mira_image.h"
#include "mira/mira_kernels.h"

namespace {

using u8 = uint8_t;
using u32 = uint32_t;

uint64_t fnv(const void* p, size_t n, uint64_t h = 1469598103934665603ull) {
    const u8* b = static_cast<const u8*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h;
}

// A buffer of `bytes` filled from a fixed generator; `smooth` gives image-like
// content (gradients plus noise) so flood fills and filters see structure.
std::vector<u8> image(size_t bytes, u32 seed, bool smooth = false) {
    std::vector<u8> v(bytes);
    uint32_t x = seed * 2654435761u + 12345u;
    for (size_t i = 0; i < bytes; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = smooth ? static_cast<u8>(((i * 7) / 64 + (i / 97) * 3 + ((x >> 29) & 3)) & 0xF0)
                      : static_cast<u8>(x >> 24);
    }
    return v;
}

std::vector<u8> canvas(size_t bytes) { return std::vector<u8>(bytes + 64, 0xA5); }

FILE* g_out = nullptr;

void put(const char* kind, const char* op, const char* cs, uint64_t h) {
    std::fprintf(g_out, "%s %s %s %016" PRIx64 "\n", kind, op, cs, h);
}

struct Size { u32 w, h; };
const Size kSizes[] = {{1, 1}, {7, 5}, {16, 8}, {67, 45}, {130, 66}, {257, 33}};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || !(g_out = std::fopen(argv[1], "w"))) {
        std::fprintf(stderr, "usage: arch_digest <out-file>\n");
        return 2;
    }
    char cs[64];
    for (const Size& z : kSizes) {
        const u32 w = z.w, h = z.h, s = w + 13, s2 = 2 * w + 11;
        std::snprintf(cs, sizeof cs, "%ux%u", w, h);
        const std::vector<u8> src = image(size_t(s2) * (h + 1) * 2, w * 31 + h);
        const std::vector<u8> src2 = image(size_t(s2) * (h + 1) * 2, w * 17 + h * 5 + 1);
        const std::vector<u8> flat = image(size_t(s) * h, w + h, true);

        {   // geometry
            const u32 m = w > h ? w : h, ds = m + 9, ds2 = 2 * m + 7;
            auto d = canvas(size_t(ds) * m);
            mira::ncvTransposeu8(src.data(), w, h, s, d.data(), ds);
            put("exact", "transpose", cs, fnv(d.data(), d.size()));
            for (int r = 1; r <= 3; ++r) {
                auto a = canvas(size_t(ds) * m), b = canvas(size_t(ds2) * m);
                mira::ncvRotateImageu8(src.data(), w, h, s, a.data(), ds, r);
                mira::ncvRotateImageInterleavedu8(src.data(), w, h, s2, b.data(), ds2, r);
                char name[32];
                std::snprintf(name, sizeof name, "rotate%d", 90 * r);
                put("exact", name, cs, fnv(a.data(), a.size()));
                std::snprintf(name, sizeof name, "rotate_interleaved%d", 90 * r);
                put("exact", name, cs, fnv(b.data(), b.size()));
            }
        }
        {   // colour
            auto rgba = canvas(size_t(w) * h * 4);
            mira::ncvColorYUV420toRGB8888u8(src.data(), src.data() + size_t(w) * h, int(w), int(h),
                                            rgba.data());
            put("exact", "nv21_rgba", cs, fnv(rgba.data(), rgba.size()));
            auto y = canvas(size_t(s) * h), c = canvas(size_t(s) * h);
            mira::ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
                src.data(), src2.data(), src.data() + 3, w, h, s, s, s, y.data(), c.data(), s, s);
            put("exact", "yuv444_420", cs, fnv(y.data(), y.size(), fnv(c.data(), c.size())));
            auto y2 = canvas(size_t(s) * h), cb = canvas(size_t(s) * h), cr = canvas(size_t(s) * h);
            mira::ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(src.data(), src2.data(), w, h, s, s,
                                                               y2.data(), cb.data(), cr.data(), s, s,
                                                               s);
            put("exact", "yuv420_444", cs,
                fnv(y2.data(), y2.size(), fnv(cb.data(), cb.size(), fnv(cr.data(), cr.size()))));
            auto sw = canvas(size_t(s2) * h), il = canvas(size_t(s2) * h);
            mira::ncvColorCbCrSwapu8(src.data(), w, h, s2, sw.data(), s2);
            put("exact", "cbcr_swap", cs, fnv(sw.data(), sw.size()));
            mira::ncvInterleaveu8(src.data(), src2.data(), w, h, s, s, il.data(), s2);
            put("exact", "interleave", cs, fnv(il.data(), il.size()));
        }
        {   // filters and statistics
            const u32 ds = 2 * w + 6;
            auto dx = canvas(size_t(ds) * h), dy = canvas(size_t(ds) * h);
            ncvImageGradientPlanars16_v2(src.data(), w, h, s, reinterpret_cast<int16_t*>(dx.data()),
                                         reinterpret_cast<int16_t*>(dy.data()), ds);
            put("exact", "gradient", cs, fnv(dx.data(), dx.size(), fnv(dy.data(), dy.size())));
            auto sx = canvas(size_t(ds) * h), sy = canvas(size_t(ds) * h);
            ncvImageGradientSobelPlanars16_v3(src.data(), w, h, s,
                                              reinterpret_cast<int16_t*>(sx.data()),
                                              reinterpret_cast<int16_t*>(sy.data()), ds);
            put("exact", "sobel", cs, fnv(sx.data(), sx.size(), fnv(sy.data(), sy.size())));
            for (int border = 0; border <= 2; ++border) {
                auto g = canvas(size_t(w) * h);
                ncvFilterGaussian3x3u8(src.data(), w, h, g.data(), border);
                char name[32];
                std::snprintf(name, sizeof name, "gaussian_b%d", border);
                put("exact", name, cs, fnv(g.data(), g.size()));
            }
            float mean = -1.0f, var = -1.0f;
            ncvImageIntensityStats(src.data(), int(s), int(w / 5), int(h / 4), w - w / 5,
                                   h - h / 4, &mean, &var);
            const float mv[2] = {mean, var};
            put("float", "intensity_stats", cs, fnv(mv, sizeof mv));
            for (u8 conn : {u8(4), u8(8)}) {
                auto mask = canvas(size_t(s) * h);
                ncvFloodfillResult res;
                std::memset(&res, 0xEE, sizeof res);
                ncvFloodfillSimpleu8(flat.data(), w, h, s, mask.data(), s, w / 2, h / 2, 200, &res,
                                     conn);
                char name[32];
                std::snprintf(name, sizeof name, "floodfill%u", conn);
                put("exact", name, cs, fnv(mask.data(), mask.size(), fnv(&res, sizeof res)));
            }
        }
        {   // scaling and warping
            struct Dst { u32 w, h; };
            const Dst downs[] = {{(w + 1) / 2, (h + 1) / 2}, {w / 4 ? w / 4 : 1, h / 4 ? h / 4 : 1}};
            for (const Dst& d : downs) {
                char c2[96];
                std::snprintf(c2, sizeof c2, "%s->%ux%u", cs, d.w, d.h);
                const u32 ds = d.w + 5, ds2 = 2 * d.w + 5;
                auto a = canvas(size_t(ds) * d.h), b = canvas(size_t(ds) * d.h),
                     c = canvas(size_t(ds2) * d.h);
                ncvScaleDownu8_v2(src.data(), w, h, s, a.data(), d.w, d.h, ds);
                put("exact", "scale_down", c2, fnv(a.data(), a.size()));
                ncvScaleDownMNu8(src.data(), w, h, s, b.data(), d.w, d.h, ds);
                put("exact", "scale_down_mn", c2, fnv(b.data(), b.size()));
                ncvScaleDownMNInterleaveu8(src.data(), w, h, s2, c.data(), d.w, d.h, ds2);
                put("exact", "scale_down_mn_interleave", c2, fnv(c.data(), c.size()));
            }
            const Dst any[] = {{(w + 1) / 2, (h + 1) / 2}, {w * 2, h * 2}, {w * 3 / 2 + 1, h + 3}};
            for (const Dst& d : any) {
                char c2[96];
                std::snprintf(c2, sizeof c2, "%s->%ux%u", cs, d.w, d.h);
                const u32 ds = d.w + 5, ds2 = 2 * d.w + 5;
                for (u32 mode = 0; mode <= 2; ++mode) {
                    for (u32 border = 0; border <= 1; ++border) {
                        auto a = canvas(size_t(ds) * d.h);
                        ncvScaleu8_v2(src.data(), w, h, s, a.data(), d.w, d.h, ds, mode, border, 77);
                        char name[32];
                        std::snprintf(name, sizeof name, "scale_m%u_b%u", mode, border);
                        put("float", name, c2, fnv(a.data(), a.size()));
                    }
                }
                if (d.w >= w && d.h >= h) {
                    auto a = canvas(size_t(ds) * d.h), b = canvas(size_t(ds2) * d.h);
                    ncvScaleUpPolyu8(src.data(), w, h, s, a.data(), d.w, d.h, ds);
                    put("float", "scale_up_poly", c2, fnv(a.data(), a.size()));
                    ncvScaleUpPolyInterleaveu8(src.data(), w, h, s2, b.data(), d.w, d.h, ds2);
                    put("float", "scale_up_poly_interleave", c2, fnv(b.data(), b.size()));
                }
                // Colour pixels (3 and 4 channels) through the checked
                // interface: resize, Lanczos, box down-scale.
                for (u32 ch : {3u, 4u}) {
                    const mira_image in{const_cast<u8*>(src.data()), w, h, s2 * 2, ch};
                    const u32 dsc = ch * d.w + 5;
                    for (u32 mode = 0; mode <= 2; ++mode) {
                        auto a = canvas(size_t(dsc) * d.h);
                        const mira_image out{a.data(), d.w, d.h, dsc, ch};
                        mira_resize(&in, &out, mira_interpolation(mode), MIRA_BORDER_CONSTANT, 77,
                                    MIRA_PATH_CPU);
                        char name[32];
                        std::snprintf(name, sizeof name, "resize_c%u_m%u", ch, mode);
                        put("float", name, c2, fnv(a.data(), a.size()));
                    }
                    auto a = canvas(size_t(dsc) * d.h);
                    const mira_image out{a.data(), d.w, d.h, dsc, ch};
                    char name[32];
                    if (d.w >= w && d.h >= h) {
                        mira_upscale_lanczos(&in, &out, MIRA_PATH_CPU);
                        std::snprintf(name, sizeof name, "lanczos_c%u", ch);
                        put("float", name, c2, fnv(a.data(), a.size()));
                    } else if (d.w <= w && d.h <= h) {
                        for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU}) {
                            mira_scale_down_box(&in, &out, path);
                            std::snprintf(name, sizeof name, "scale_down_box_c%u_p%d", ch,
                                          int(path));
                            put("exact", name, c2, fnv(a.data(), a.size()));
                        }
                        if (w % d.w == 0 && h % d.h == 0) {
                            for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU}) {
                                mira_scale_down(&in, &out, path);
                                std::snprintf(name, sizeof name, "scale_down_c%u_p%d", ch,
                                              int(path));
                                put("exact", name, c2, fnv(a.data(), a.size()));
                            }
                        }
                    }
                }
            }
            {
                const u32 ds = 4 * w + 3;
                auto a = canvas(size_t(ds) * h * 2);
                ncvUpsample2DInterleavedu8(src.data(), w, h, s2, a.data(), ds);
                put("float", "upsample_2d_interleaved", cs, fnv(a.data(), a.size()));
            }
            const float mats[][6] = {{1, 0, 0, 0, 1, 0},
                                     {0.5f, 0, 1.25f, 0, 0.5f, 0.75f},
                                     {0.866f, -0.5f, 3.5f, 0.5f, 0.866f, -2.25f}};
            int mi = 0;
            for (const auto& m : mats) {
                const u32 dw = w + 3, dh = h + 2, ds = dw + 7;
                for (u32 interp : {0u, 1u, 3u}) {
                    auto a = canvas(size_t(ds) * dh);
                    std::vector<u32> span(2 * dh, 0xDEADBEEF);
                    ncvTransformAffineClippedu8_v2(src.data(), w, h, s, m, a.data(), dw, dh, ds,
                                                   span.data(), interp);
                    char name[32];
                    std::snprintf(name, sizeof name, "affine_m%d_i%u", mi, interp);
                    put("float", name, cs,
                        fnv(a.data(), a.size(), fnv(span.data(), span.size() * sizeof(u32))));
                }
                ++mi;
            }
        }
    }
    return std::fclose(g_out) == 0 ? 0 : 1;
}
