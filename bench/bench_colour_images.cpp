// Colour images: RGBA transpose and quarter turns against libyuv's ARGBRotate
// (its transpose is a quarter turn; both move every pixel once) and OpenCV,
// and the RGB 3x3 Gaussian against cv::GaussianBlur, through the checked
// interface on the CPU path.
#include <libyuv.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench_common.h"
#include "mira/mira_image.h"

namespace mira_bench {
namespace {

const std::vector<Size>& hd() {
    static const std::vector<Size> s = {{1920, 1080}};
    return s;
}

void register_colour_geometry() {
    // op, degrees (0: transpose), libyuv mode, OpenCV code (-1: transpose)
    struct Row {
        const char* op;
        int degrees;
        libyuv::RotationMode yuv;
        int cv;
    };
    static const Row rows[] = {
        {"transpose_rgba", 0, libyuv::kRotate90, -1},
        {"rotate90_rgba", 90, libyuv::kRotate90, cv::ROTATE_90_CLOCKWISE},
        {"rotate180_rgba", 180, libyuv::kRotate180, cv::ROTATE_180},
        {"rotate270_rgba", 270, libyuv::kRotate270, cv::ROTATE_90_COUNTERCLOCKWISE},
    };
    for (const Row& r : rows) {
        add(r.op, "mira", hd(), [r](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h * 4);
            std::vector<uint8_t> dst(src.size());
            const bool swap = r.degrees != 180;
            const uint32_t dw = swap ? s.h : s.w, dh = swap ? s.w : s.h;
            const mira_image in{src.data(), s.w, s.h, 4 * s.w, 4};
            const mira_image out{dst.data(), dw, dh, 4 * dw, 4};
            for (auto _ : st) {
                if (r.degrees == 0)
                    mira_transpose(&in, &out, MIRA_PATH_CPU);
                else
                    mira_rotate(&in, &out, r.degrees, MIRA_PATH_CPU);
            }
        });
        add(r.op, "libyuv", hd(), [r](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h * 4);
            std::vector<uint8_t> dst(src.size());
            const int dw = r.degrees != 180 ? int(s.h) : int(s.w);
            for (auto _ : st)
                libyuv::ARGBRotate(src.data(), int(4 * s.w), dst.data(), 4 * dw, int(s.w),
                                   int(s.h), r.yuv);
        });
        add(r.op, "opencv", hd(), [r](benchmark::State& st, Size s) {
            cv::setNumThreads(1);
            auto src = random_bytes(size_t(s.w) * s.h * 4);
            cv::Mat in(s.h, s.w, CV_8UC4, src.data()), out;
            for (auto _ : st) {
                if (r.cv < 0)
                    cv::transpose(in, out);
                else
                    cv::rotate(in, out, r.cv);
            }
        });
    }
}

void register_colour_gaussian() {
    add("gaussian3x3_rgb", "mira", hd(), [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        std::vector<uint8_t> dst(src.size());
        const mira_image in{src.data(), s.w, s.h, 3 * s.w, 3};
        const mira_image out{dst.data(), s.w, s.h, 3 * s.w, 3};
        for (auto _ : st) mira_gaussian3x3(&in, &out, MIRA_GAUSSIAN_BORDER_RENORMALISED, MIRA_PATH_CPU);
    });
    add("gaussian3x3_rgb", "opencv", hd(), [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        cv::Mat in(s.h, s.w, CV_8UC3, src.data()), out(s.h, s.w, CV_8UC3);
        for (auto _ : st) cv::GaussianBlur(in, out, cv::Size(3, 3), 0, 0, cv::BORDER_REFLECT_101);
    });
}

void register_all() {
    register_colour_geometry();
    register_colour_gaussian();
}
const Registrar reg(register_all);

}  // namespace
}  // namespace mira_bench
