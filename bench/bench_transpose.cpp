#include <libyuv.h>
#include <opencv2/core.hpp>

#include <cstring>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

namespace mira_bench {
namespace {

void register_transpose() {
    const auto& sizes = hd_sizes();
    add("transpose", "mira", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) ncvTransposeu8(src.data(), s.w, s.h, s.w, dst.data(), s.h);
    });
    add("transpose", "mira_gpu", sizes, [](benchmark::State& st, Size s) {
        if (ncvInit() != 0) {
            st.SkipWithError("no OpenCL device");
            return;
        }
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src.data()}, db{s.h, s.h, s.w, s.w, dst.data()};
        MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add("transpose", "opencv", sizes, [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h);
        cv::Mat in(s.h, s.w, CV_8UC1, src.data()), out(s.w, s.h, CV_8UC1);
        for (auto _ : st) cv::transpose(in, out);
    });
    add("transpose", "libyuv", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st)
            libyuv::TransposePlane(src.data(), s.w, dst.data(), s.h, s.w, s.h);
    });
    add("transpose", "memcpy", sizes, [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });
}
const Registrar reg(register_transpose);

}  // namespace
}  // namespace mira_bench
