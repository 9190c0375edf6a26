// Scaling family at a 1920x1080 source against OpenCV (cv::resize) and
// libyuv (ScalePlane, UVScale). "mira" is our CPU path.
#include <libyuv.h>
#include <libyuv/scale_rgb.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"

namespace mira_bench {
namespace {

const std::vector<Size>& source_1080p() {
    static const std::vector<Size> s = {{1920, 1080}};
    return s;
}

// One planar resize case: our call, OpenCV's interpolation, libyuv's filter
// (or none when libyuv has no counterpart).
struct PlaneCase {
    const char* op;
    uint32_t dw, dh;
    int cvInterp;
    int yuvFilter;  // libyuv::FilterMode, -1: none
    std::function<void(const uint8_t*, Size, uint8_t*, uint32_t, uint32_t)> mira;
    Size source{0, 0};  // {0, 0}: 1920x1080
};

void add_plane_case(const PlaneCase& c) {
    const std::vector<Size> sizes =
        c.source.w ? std::vector<Size>{c.source} : source_1080p();
    add(c.op, "mira", sizes, [c](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(size_t(c.dw) * c.dh);
        for (auto _ : st) c.mira(src.data(), s, dst.data(), c.dw, c.dh);
    });
    for (int threads : {1, -1}) {
        add(c.op, threads == 1 ? "opencv" : "opencv_mt", sizes,
            [c, threads](benchmark::State& st, Size s) {
                cv::setNumThreads(threads);
                auto src = random_bytes(size_t(s.w) * s.h);
                cv::Mat in(int(s.h), int(s.w), CV_8UC1, src.data());
                cv::Mat out(int(c.dh), int(c.dw), CV_8UC1);
                for (auto _ : st) cv::resize(in, out, out.size(), 0, 0, c.cvInterp);
                cv::setNumThreads(-1);
            });
    }
    if (c.yuvFilter >= 0)
        add(c.op, "libyuv", sizes, [c](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h);
            std::vector<uint8_t> dst(size_t(c.dw) * c.dh);
            for (auto _ : st)
                libyuv::ScalePlane(src.data(), int(s.w), int(s.w), int(s.h), dst.data(),
                                   int(c.dw), int(c.dw), int(c.dh),
                                   libyuv::FilterMode(c.yuvFilter));
        });
}

void scale_down_int(const uint8_t* src, Size s, uint8_t* dst, uint32_t dw, uint32_t dh) {
    ncvScaleDownu8_v2(src, s.w, s.h, s.w, dst, dw, dh, dw);
}
auto general(uint32_t mode) {
    return [mode](const uint8_t* src, Size s, uint8_t* dst, uint32_t dw, uint32_t dh) {
        ncvScaleu8_v2(src, s.w, s.h, s.w, dst, dw, dh, dw, mode, 2, 0);
    };
}
void lanczos(const uint8_t* src, Size s, uint8_t* dst, uint32_t dw, uint32_t dh) {
    ncvScaleUpPolyu8(src, s.w, s.h, s.w, dst, dw, dh, dw);
}

// The checked interface's resize: each axis by its own ratio.
void resize_xy_bilinear(const uint8_t* src, Size s, uint8_t* dst, uint32_t dw, uint32_t dh) {
    const mira_image in{const_cast<uint8_t*>(src), s.w, s.h, s.w, 1};
    const mira_image out{dst, dw, dh, dw, 1};
    mira_resize(&in, &out, MIRA_INTERPOLATION_BILINEAR, MIRA_BORDER_REPLICATE, 0,
                MIRA_PATH_DEFAULT);
}

// A smooth test picture (low-frequency waves and a ramp), where the
// resamplers' kernels matter less than on noise.
std::vector<uint8_t> smooth_bytes(Size s) {
    std::vector<uint8_t> v(size_t(s.w) * s.h);
    for (uint32_t y = 0; y < s.h; ++y)
        for (uint32_t x = 0; x < s.w; ++x) {
            const double f = 110 + 60 * std::sin(x / 37.0) * std::cos(y / 23.0) +
                             40 * std::sin((x + 2.0 * y) / 91.0) + 20.0 * x / s.w;
            v[size_t(y) * s.w + x] = uint8_t(std::clamp(f, 0.0, 255.0));
        }
    return v;
}

// 16:9 to 4:3 (1920x1080 -> 640x480) through mira_resize, with its largest
// and mean absolute difference from OpenCV's INTER_LINEAR and INTER_AREA
// results as counters, on random bytes and on a smooth picture ("_smooth").
void add_resize_xy_case() {
    constexpr uint32_t dw = 640, dh = 480;
    add_plane_case({"resize_xy_640x480_linear", dw, dh, cv::INTER_LINEAR, libyuv::kFilterBilinear,
                    resize_xy_bilinear});
    add_plane_case({"resize_xy_640x480_area", dw, dh, cv::INTER_AREA, libyuv::kFilterBox,
                    resize_xy_bilinear});
    add("resize_xy_640x480_diff", "mira", source_1080p(), [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(size_t(dw) * dh);
        for (auto _ : st) resize_xy_bilinear(src.data(), s, dst.data(), dw, dh);
        auto smooth = smooth_bytes(s);
        for (auto [picture, suffix] : {std::pair<std::vector<uint8_t>*, const char*>{&src, ""},
                                       {&smooth, "_smooth"}}) {
            resize_xy_bilinear(picture->data(), s, dst.data(), dw, dh);
            cv::Mat in(int(s.h), int(s.w), CV_8UC1, picture->data());
            cv::Mat ours(int(dh), int(dw), CV_8UC1, dst.data());
            for (auto [name, interp] : {std::pair<const char*, int>{"linear", cv::INTER_LINEAR},
                                        {"area", cv::INTER_AREA}}) {
                cv::Mat ref, diff;
                cv::resize(in, ref, cv::Size(int(dw), int(dh)), 0, 0, interp);
                cv::absdiff(ours, ref, diff);
                double mx = 0;
                cv::minMaxLoc(diff, nullptr, &mx);
                st.counters[std::string("max_") + name + suffix] = mx;
                st.counters[std::string("mean_") + name + suffix] = cv::mean(diff)[0];
            }
        }
    });
}

// Colour pixels (RGB or RGBA, interleaved) through mira_resize against
// cv::resize on 3- or 4-channel images and libyuv's RGBScale / ARGBScale,
// with the matching interpolation (bilinear; box: INTER_AREA, kFilterBox).
void add_colour_resize_case(const std::string& op, uint32_t channels, uint32_t dw, uint32_t dh,
                            mira_interpolation interp) {
    const int cvInterp = interp == MIRA_INTERPOLATION_BILINEAR ? cv::INTER_LINEAR : cv::INTER_AREA;
    const auto yuvFilter = interp == MIRA_INTERPOLATION_BILINEAR ? libyuv::kFilterBilinear
                                                                 : libyuv::kFilterBox;
    const uint32_t C = channels;
    add(op, "mira", source_1080p(), [=](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * C);
        std::vector<uint8_t> dst(size_t(dw) * dh * C);
        const mira_image in{src.data(), s.w, s.h, s.w * C, C};
        const mira_image out{dst.data(), dw, dh, dw * C, C};
        for (auto _ : st)
            if (mira_resize(&in, &out, interp, MIRA_BORDER_REPLICATE, 0, MIRA_PATH_CPU) !=
                MIRA_STATUS_OK)
                st.SkipWithError("mira_resize failed");
    });
    for (int threads : {1, -1}) {
        add(op, threads == 1 ? "opencv" : "opencv_mt", source_1080p(),
            [=](benchmark::State& st, Size s) {
                cv::setNumThreads(threads);
                auto src = random_bytes(size_t(s.w) * s.h * C);
                cv::Mat in(int(s.h), int(s.w), CV_8UC(int(C)), src.data());
                cv::Mat out(int(dh), int(dw), CV_8UC(int(C)));
                for (auto _ : st) cv::resize(in, out, out.size(), 0, 0, cvInterp);
                cv::setNumThreads(-1);
            });
    }
    add(op, "libyuv", source_1080p(), [=](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * C);
        std::vector<uint8_t> dst(size_t(dw) * dh * C);
        for (auto _ : st) {
            if (C == 4)
                libyuv::ARGBScale(src.data(), int(s.w * C), int(s.w), int(s.h), dst.data(),
                                  int(dw * C), int(dw), int(dh), yuvFilter);
            else
                libyuv::RGBScale(src.data(), int(s.w * C), int(s.w), int(s.h), dst.data(),
                                 int(dw * C), int(dw), int(dh), yuvFilter);
        }
    });
}

void add_colour_resize_cases() {
    for (uint32_t C : {3u, 4u})
        for (auto interp : {MIRA_INTERPOLATION_BILINEAR, MIRA_INTERPOLATION_BOX})
            for (auto [dw, dh, to] : {std::tuple<uint32_t, uint32_t, const char*>{1280, 720, "720p"},
                                      {3840, 2160, "2160p"}}) {
                const std::string op = std::string(C == 4 ? "rgba" : "rgb") + "_resize_" +
                                       (interp == MIRA_INTERPOLATION_BILINEAR ? "bilinear"
                                                                              : "area") +
                                       "_" + to;
                add_colour_resize_case(op, C, dw, dh, interp);
            }
}

void register_scaling() {
    add_resize_xy_case();
    add_colour_resize_cases();
    using libyuv::kFilterBilinear;
    using libyuv::kFilterBox;
    using libyuv::kFilterNone;
    add_plane_case({"scaledown_2x", 960, 540, cv::INTER_AREA, kFilterBox, scale_down_int});
    add_plane_case({"scaledown_4x", 480, 270, cv::INTER_AREA, kFilterBox, scale_down_int});
    add_plane_case({"scale_box_720p", 1280, 720, cv::INTER_AREA, kFilterBox, general(2)});
    add_plane_case({"scale_bilinear_down_720p", 1280, 720, cv::INTER_LINEAR, kFilterBilinear,
                    general(1)});
    add_plane_case({"scale_bilinear_up_1.5x", 2880, 1620, cv::INTER_LINEAR, kFilterBilinear,
                    general(1)});
    add_plane_case({"scale_nearest_up_1.5x", 2880, 1620, cv::INTER_NEAREST, kFilterNone,
                    general(0)});
    add_plane_case({"scale_nearest_up_2x", 3840, 2160, cv::INTER_NEAREST, kFilterNone,
                    general(0)});
    add_plane_case({"scale_bilinear_up_4:3", 2560, 1440, cv::INTER_LINEAR, kFilterBilinear,
                    general(1)});
    add_plane_case({"scale_nearest_up_4:3", 2560, 1440, cv::INTER_NEAREST, kFilterNone,
                    general(0)});
    // Ratios without versions of their own (the general tap tables).
    add_plane_case({"scale_bilinear_up_6:5", 2304, 1296, cv::INTER_LINEAR, kFilterBilinear,
                    general(1)});
    add_plane_case({"scale_bilinear_down_3:5", 1152, 648, cv::INTER_LINEAR, kFilterBilinear,
                    general(1)});
    add_plane_case({"scale_nearest_up_6:5", 2304, 1296, cv::INTER_NEAREST, kFilterNone,
                    general(0)});
    // Mode 0 down-scaling is the distance-weighted reduction, compared with
    // the peers' nearest sampling.
    add_plane_case({"scale_none_down_720p", 1280, 720, cv::INTER_NEAREST, kFilterNone,
                    general(0)});
    add_plane_case({"lanczos_2x", 3840, 2160, cv::INTER_LANCZOS4, -1, lanczos});

    // Digital zoom: the up-scales a camera steps through between the ratios
    // that have versions of their own, to (about) a 1080p preview.
    struct Zoom { const char* name; Size src; uint32_t dw, dh; };
    const Zoom zooms[] = {{"zoom1.1", {1600, 900}, 1760, 990},
                          {"zoom1.25", {1600, 900}, 2000, 1125},
                          {"zoom6:5", {1600, 900}, 1920, 1080},
                          {"zoom1.92", {1000, 562}, 1920, 1079},
                          {"zoom2.5", {768, 432}, 1920, 1080},
                          {"zoom3", {640, 360}, 1920, 1080}};
    for (const Zoom& z : zooms) {
        const std::string bilinear = std::string("scale_bilinear_up_") + z.name;
        const std::string nearest = std::string("scale_nearest_up_") + z.name;
        add_plane_case({bilinear.c_str(), z.dw, z.dh, cv::INTER_LINEAR, kFilterBilinear,
                        general(1), z.src});
        add_plane_case({nearest.c_str(), z.dw, z.dh, cv::INTER_NEAREST, kFilterNone,
                        general(0), z.src});
    }

    // 2x chroma up-sample of the CbCr plane of a 1920x1080 frame (960x540
    // pairs), CPU path.
    const auto& sizes = source_1080p();
    add("chroma_up_2x", "mira", sizes, [](benchmark::State& st, Size s) {
        const uint32_t w = s.w / 2, h = s.h / 2;
        auto src = random_bytes(size_t(w) * 2 * h);
        std::vector<uint8_t> dst(size_t(w) * 4 * h * 2);
        MIRA_Feature_Buf sb{2 * w, 2 * w, h, h, src.data()};
        MIRA_Feature_Buf db{4 * w, 4 * w, 2 * h, 2 * h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, MIRA_MODE_CPU, 1, nullptr, 0};
        MIRA_Manager m;
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add("chroma_up_2x", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        const uint32_t w = s.w / 2, h = s.h / 2;
        auto src = random_bytes(size_t(w) * 2 * h);
        std::vector<uint8_t> dst(size_t(w) * 4 * h * 2);
        for (auto _ : st) ncvUpsample2DInterleavedu8(src.data(), w, h, 2 * w, dst.data(), 4 * w);
    });
    for (int threads : {1, -1}) {
        add("chroma_up_2x", threads == 1 ? "opencv" : "opencv_mt", sizes,
            [threads](benchmark::State& st, Size s) {
                cv::setNumThreads(threads);
                const int w = int(s.w / 2), h = int(s.h / 2);
                auto src = random_bytes(size_t(w) * 2 * h);
                cv::Mat in(h, w, CV_8UC2, src.data()), out(2 * h, 2 * w, CV_8UC2);
                for (auto _ : st) cv::resize(in, out, out.size(), 0, 0, cv::INTER_LINEAR);
                cv::setNumThreads(-1);
            });
    }
    add("chroma_up_2x", "libyuv", sizes, [](benchmark::State& st, Size s) {
        const int w = int(s.w / 2), h = int(s.h / 2);
        auto src = random_bytes(size_t(w) * 2 * h);
        std::vector<uint8_t> dst(size_t(w) * 4 * h * 2);
        for (auto _ : st)
            libyuv::UVScale(src.data(), 2 * w, w, h, dst.data(), 4 * w, 2 * w, 2 * h,
                            libyuv::kFilterBilinear);
    });
}
const Registrar reg(register_scaling);

}  // namespace
}  // namespace mira_bench
