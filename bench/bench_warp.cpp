#include <libyuv.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"

namespace mira_bench {
namespace {

const std::vector<Size>& source_sizes() {
    static const std::vector<Size> s = {{1920, 1080}};
    return s;
}

// Destination of the M/N down-scale: two thirds of the source (1280 x 720).
Size mn_dst(Size s) { return {s.w * 2 / 3, s.h * 2 / 3}; }

void run_feature(uint32_t id, uint32_t mode, const uint8_t* src, Size s, uint32_t srcBytes,
                 uint8_t* dst, Size d, uint32_t dstBytes, benchmark::State& st) {
    MIRA_Feature_Buf sb{srcBytes, srcBytes, s.h, s.h, const_cast<uint8_t*>(src)};
    MIRA_Feature_Buf db{dstBytes, dstBytes, d.h, d.h, dst};
    MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
    MIRA_Manager m;
    for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
}

void register_scaledown_mn() {
    const auto& sizes = source_sizes();
    add("scaledown_mn", "mira", sizes, [](benchmark::State& st, Size s) {
        const Size d = mn_dst(s);
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(size_t(d.w) * d.h);
        // The area average, what the peers compute (mode 0 is the kernel's
        // twin: a box of the integer ratio, which skips source pixels).
        run_feature(MIRA_API_SCALEDOWN_MN_U8, MIRA_MODE_CPU_ALT, src.data(), s, s.w, dst.data(),
                    d, d.w, st);
    });
    add("scaledown_mn", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        const Size d = mn_dst(s);
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(size_t(d.w) * d.h);
        run_feature(MIRA_API_SCALEDOWN_MN_U8, MIRA_MODE_OPENCL, src.data(), s, s.w, dst.data(),
                    d, d.w, st);
    });
    auto opencv = [](benchmark::State& st, Size s) {
        const Size d = mn_dst(s);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(int(s.h), int(s.w), CV_8UC1, src.data()), out(int(d.h), int(d.w), CV_8UC1);
        for (auto _ : st) cv::resize(in, out, out.size(), 0, 0, cv::INTER_AREA);
    };
    add("scaledown_mn", "opencv", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        opencv(st, s);
    });
    add("scaledown_mn", "opencv_mt", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(-1);
        opencv(st, s);
    });
    add("scaledown_mn", "libyuv", sizes, [](benchmark::State& st, Size s) {
        const Size d = mn_dst(s);
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(size_t(d.w) * d.h);
        for (auto _ : st)
            libyuv::ScalePlane(src.data(), int(s.w), int(s.w), int(s.h), dst.data(), int(d.w),
                               int(d.w), int(d.h), libyuv::kFilterBox);
    });
    add("scaledown_mn", "memcpy", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });

    // CbCr pairs of a 1920 x 1080 4:2:0 frame: 960 x 540 pairs -> 640 x 360.
    add("scaledown_mn_cbcr", "mira", sizes, [](benchmark::State& st, Size s) {
        const Size c{s.w / 2, s.h / 2}, d = mn_dst(c);
        auto src = random_bytes(size_t(c.w) * 2 * c.h);
        std::vector<uint8_t> dst(size_t(d.w) * 2 * d.h);
        run_feature(MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, MIRA_MODE_CPU, src.data(), c, 2 * c.w,
                    dst.data(), d, 2 * d.w, st);
    });
    auto opencv2 = [](benchmark::State& st, Size s) {
        const Size c{s.w / 2, s.h / 2}, d = mn_dst(c);
        auto src = random_bytes(size_t(c.w) * 2 * c.h);
        cv::Mat in(int(c.h), int(c.w), CV_8UC2, src.data()), out(int(d.h), int(d.w), CV_8UC2);
        for (auto _ : st) cv::resize(in, out, out.size(), 0, 0, cv::INTER_AREA);
    };
    add("scaledown_mn_cbcr", "opencv", sizes, [opencv2](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        opencv2(st, s);
    });
    add("scaledown_mn_cbcr", "opencv_mt", sizes, [opencv2](benchmark::State& st, Size s) {
        cv::setNumThreads(-1);
        opencv2(st, s);
    });
    add("scaledown_mn_cbcr", "libyuv", sizes, [](benchmark::State& st, Size s) {
        const Size c{s.w / 2, s.h / 2}, d = mn_dst(c);
        auto src = random_bytes(size_t(c.w) * 2 * c.h);
        std::vector<uint8_t> dst(size_t(d.w) * 2 * d.h);
        for (auto _ : st)
            libyuv::UVScale(src.data(), int(2 * c.w), int(c.w), int(c.h), dst.data(),
                            int(2 * d.w), int(d.w), int(d.h), libyuv::kFilterBox);
    });
}

// A rotation by 10 degrees with a slight zoom about the image centre,
// destination to source, the same size as the source.
void warp_matrix(Size s, float m[6]) {
    const float c = 0.9848078f * 1.1f, sn = 0.1736482f * 1.1f;
    const float cx = s.w * 0.5f, cy = s.h * 0.5f;
    m[0] = c;
    m[1] = -sn;
    m[2] = cx - c * cx + sn * cy;
    m[3] = sn;
    m[4] = c;
    m[5] = cy - sn * cx - c * cy;
}

void register_warp(const char* op, int interp, int cvInterp) {
    const auto& sizes = hd_sizes();
    auto mira = [interp](benchmark::State& st, Size s, uint32_t mode) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        std::vector<uint32_t> spans(2 * size_t(s.h));
        float m[6];
        warp_matrix(s, m);
        MIRA_Feature_Buf in[2] = {{s.w, s.w, s.h, s.h, src.data()},
                                  {3, 12, 2, 2, reinterpret_cast<uint8_t*>(m)}};
        MIRA_Feature_Buf out[2] = {{s.w, s.w, s.h, s.h, dst.data()},
                                   {2, 2, s.h, s.h, reinterpret_cast<uint8_t*>(spans.data())}};
        MIRA_Feature_Param p{MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode, 1, nullptr, interp};
        MIRA_Manager mgr;
        for (auto _ : st) mgr.run(in, 2, out, 2, &p);
    };
    add(op, "mira", sizes, [mira](benchmark::State& st, Size s) { mira(st, s, MIRA_MODE_CPU); });
    add(op, "mira_gpu", sizes, [mira](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        mira(st, s, MIRA_MODE_OPENCL);
    });
    auto opencv = [cvInterp](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        float m[6];
        warp_matrix(s, m);
        cv::Mat in(int(s.h), int(s.w), CV_8UC1, src.data()), out(int(s.h), int(s.w), CV_8UC1);
        cv::Mat M = (cv::Mat_<double>(2, 3) << m[0], m[1], m[2], m[3], m[4], m[5]);
        for (auto _ : st)
            cv::warpAffine(in, out, M, out.size(), cvInterp | cv::WARP_INVERSE_MAP,
                           cv::BORDER_CONSTANT, cv::Scalar(0));
    };
    add(op, "opencv", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        opencv(st, s);
    });
    add(op, "opencv_mt", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(-1);
        opencv(st, s);
    });
    add(op, "memcpy", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });
}

// The bilinear warp of RGB pixels (3 channels) through the public call, the
// same matrix as the planes.
void register_warp_rgb() {
    const char* op = "affine_linear_rgb";
    const auto& sizes = hd_sizes();
    auto mira = [](benchmark::State& st, Size s, mira_path path) {
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        std::vector<uint8_t> dst(src.size());
        std::vector<uint32_t> spans(2 * size_t(s.h));
        float m[6];
        warp_matrix(s, m);
        const mira_image in{src.data(), s.w, s.h, 3 * s.w, 3};
        const mira_image out{dst.data(), s.w, s.h, 3 * s.w, 3};
        for (auto _ : st)
            if (mira_warp_affine(&in, m, &out, MIRA_WARP_BILINEAR, spans.data(), path) !=
                MIRA_STATUS_OK) {
                st.SkipWithError("refused");
                return;
            }
    };
    add(op, "mira", sizes, [mira](benchmark::State& st, Size s) { mira(st, s, MIRA_PATH_CPU); });
    add(op, "mira_gpu", sizes, [mira](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        mira(st, s, MIRA_PATH_GPU);
    });
    auto opencv = [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        float m[6];
        warp_matrix(s, m);
        cv::Mat in(int(s.h), int(s.w), CV_8UC3, src.data()), out(int(s.h), int(s.w), CV_8UC3);
        cv::Mat M = (cv::Mat_<double>(2, 3) << m[0], m[1], m[2], m[3], m[4], m[5]);
        for (auto _ : st)
            cv::warpAffine(in, out, M, out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                           cv::BORDER_CONSTANT, cv::Scalar(0));
    };
    add(op, "opencv", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        opencv(st, s);
    });
    add(op, "opencv_mt", sizes, [opencv](benchmark::State& st, Size s) {
        cv::setNumThreads(-1);
        opencv(st, s);
    });
    add(op, "memcpy", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });
}

void register_all() {
    register_scaledown_mn();
    register_warp("affine_nearest", 0, cv::INTER_NEAREST);
    register_warp("affine_linear", 1, cv::INTER_LINEAR);
    register_warp("affine_cubic", 3, cv::INTER_CUBIC);
    register_warp_rgb();
}
const Registrar reg(register_all);

}  // namespace
}  // namespace mira_bench
