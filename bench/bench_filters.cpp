// Gradients, Sobel, Gaussian 3x3, intensity statistics and flood fill against
// their closest OpenCV calls.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"

namespace mira_bench {
namespace {

const std::vector<Size>& filter_sizes() {
    static const std::vector<Size> s = {{1920, 1080}};
    return s;
}

// A gray image with large flat areas and edges (a quantised smooth pattern),
// so that the flood fill has ragged regions to follow.
std::vector<uint8_t> blobs(Size s) {
    std::vector<uint8_t> v(size_t(s.w) * s.h);
    for (uint32_t y = 0; y < s.h; ++y)
        for (uint32_t x = 0; x < s.w; ++x) {
            const double f = std::sin(x * 0.013) * std::cos(y * 0.017) +
                             0.5 * std::sin((x + 2 * y) * 0.007);
            v[size_t(y) * s.w + x] = uint8_t(f > 0.1 ? 200 : 40);
        }
    return v;
}

void register_gradients() {
    const auto& sizes = filter_sizes();
    add("gradient", "mira", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<int16_t> dx(src.size()), dy(src.size());
        for (auto _ : st)
            mira::ncvImageGradientPlanars16(src.data(), s.w, s.h, s.w, dx.data(), dy.data(), 2 * s.w);
    });
    add("gradient", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<int16_t> dx(src.size()), dy(src.size());
        for (auto _ : st)
            ncvImageGradientPlanars16_v2(src.data(), s.w, s.h, s.w, dx.data(), dy.data(), 2 * s.w);
    });
    // The closest OpenCV call for central differences: Sobel with ksize 1
    // (the kernel -1 0 1 without smoothing), once per direction.
    add("gradient", "opencv", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data()), dx(s.h, s.w, CV_16SC1), dy(s.h, s.w, CV_16SC1);
        for (auto _ : st) {
            cv::Sobel(in, dx, CV_16S, 1, 0, 1);
            cv::Sobel(in, dy, CV_16S, 0, 1, 1);
        }
    });

    add("sobel", "mira", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<int16_t> dx(src.size()), dy(src.size());
        for (auto _ : st)
            mira::ncvImageGradientSobelPlanars16_v3(src.data(), s.w, s.h, s.w, dx.data(), dy.data(),
                                                    2 * s.w);
    });
    add("sobel", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<int16_t> dx(src.size()), dy(src.size());
        for (auto _ : st)
            ncvImageGradientSobelPlanars16_v3(src.data(), s.w, s.h, s.w, dx.data(), dy.data(),
                                              2 * s.w);
    });
    add("sobel", "opencv_2xSobel", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data()), dx(s.h, s.w, CV_16SC1), dy(s.h, s.w, CV_16SC1);
        for (auto _ : st) {
            cv::Sobel(in, dx, CV_16S, 1, 0, 3);
            cv::Sobel(in, dy, CV_16S, 0, 1, 3);
        }
    });
    add("sobel", "opencv_spatialGradient", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data()), dx(s.h, s.w, CV_16SC1), dy(s.h, s.w, CV_16SC1);
        for (auto _ : st) cv::spatialGradient(in, dx, dy, 3);
    });
}

void register_gaussian() {
    const auto& sizes = filter_sizes();
    add("gaussian3x3", "mira", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) ncvFilterGaussian3x3u8(src.data(), s.w, s.h, dst.data(), 1);
    });
    add("gaussian3x3", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src.data()}, db{s.w, s.w, s.h, s.h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_FILTER_GAUSSIAN3X3_U8, MIRA_MODE_OPENCL, 1, nullptr, 1};
        MIRA_Manager m;
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add("gaussian3x3", "opencv", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data()), out(s.h, s.w, CV_8UC1);
        for (auto _ : st) cv::GaussianBlur(in, out, cv::Size(3, 3), 0, 0, cv::BORDER_REFLECT_101);
    });
}

void register_stats() {
    const auto& sizes = filter_sizes();
    add("mean_variance", "mira", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        float mean = 0, variance = 0;
        for (auto _ : st) {
            ncvImageIntensityStats(src.data(), int(s.w), 0, 0, s.w, s.h, &mean, &variance);
            benchmark::DoNotOptimize(variance);
        }
    });
    add("mean_variance", "opencv_mt", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(-1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data());
        cv::Scalar mean, dev;
        for (auto _ : st) {
            cv::meanStdDev(in, mean, dev);
            benchmark::DoNotOptimize(dev);
        }
    });
    add("mean_variance", "opencv", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data());
        cv::Scalar mean, dev;
        for (auto _ : st) {
            cv::meanStdDev(in, mean, dev);
            benchmark::DoNotOptimize(dev);
        }
        cv::setNumThreads(-1);
    });
}

// Our fill clears the mask itself; OpenCV's needs a cleared mask each time.
template <class MakeImage>
void register_fill(const std::string& op, MakeImage make, uint32_t seedX, uint32_t seedY) {
    const auto& sizes = filter_sizes();
    add(op, "mira", sizes, [=](benchmark::State& st, Size s) {
        auto src = make(s);
        std::vector<uint8_t> mask(src.size());
        ncvFloodfillResult r{};
        for (auto _ : st) {
            ncvFloodfillSimpleu8(src.data(), s.w, s.h, s.w, mask.data(), s.w, seedX, seedY, 255,
                                 &r, 4);
            benchmark::DoNotOptimize(r.count);
        }
        st.counters["pixels"] = r.count;
    });
    add(op, "opencv", sizes, [=](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = make(s);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data());
        cv::Mat mask(s.h + 2, s.w + 2, CV_8UC1);
        int area = 0;
        for (auto _ : st) {
            mask.setTo(0);
            area = cv::floodFill(in, mask, cv::Point(seedX, seedY), cv::Scalar(0), nullptr,
                                 cv::Scalar(0), cv::Scalar(0),
                                 4 | (255 << 8) | cv::FLOODFILL_MASK_ONLY);
            benchmark::DoNotOptimize(area);
        }
        st.counters["pixels"] = area;
    });
}

void register_all() {
    register_gradients();
    register_gaussian();
    register_stats();
    register_fill("floodfill_constant",
                  [](Size s) { return std::vector<uint8_t>(size_t(s.w) * s.h, 77); }, 960, 540);
    register_fill("floodfill_blobs", blobs, 960, 540);
}
const Registrar reg(register_all);

}  // namespace
}  // namespace mira_bench
