// Camera frames on the GPU path: every layout x matrix x range x RGB format
// on odd sizes and strides, the GPU request's bytes equal to the CPU path's
// (both compute one integer formula), the kernel proven to have run (launch
// count), and the same request with no usable device (the kernel's CPU twin)
// giving the same bytes. Frames and images sit against guard pages with
// canaries around every sample.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/camera_frame.h"
#include "common/opencl_probe.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "mira/mira_image.h"

using namespace camera_test;

namespace {

struct Case {
    Layout layout;
    uint32_t w, h;
};

std::vector<Case> cases() {
    const uint32_t sizes[][2] = {{1, 1}, {2, 2}, {7, 3}, {17, 17}, {33, 2}, {641, 17}, {9, 1}};
    std::vector<Case> v;
    for (Layout l : kLayouts)
        for (auto& s : sizes) v.push_back({l, s[0], s[1]});
    return v;
}

class GpuCamera : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    }
};

// The bytes a request left: every block of the frame (samples and canaries).
std::vector<uint8_t> frame_bytes(TestFrame& f) {
    std::vector<uint8_t> out;
    for (auto& b : f.blocks) out.insert(out.end(), b->data(), b->data() + b->size());
    return out;
}

// Runs `fn` as a GPU request; the number of kernel launches it made.
template <class F>
uint64_t launches_of(F fn) {
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    fn();
    uint64_t n = 0;
    zor_test_take_kernel_ns(&n);
    zor_test_time_kernels(false);
    return n;
}

TEST_P(GpuCamera, ToRgbSameBytesAsCpu) {
    const Case c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w + 13 * c.h);
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges)
            for (mira_rgb_format fmt : kFormats) {
                SCOPED_TRACE(std::string(name_of(c.layout)) + " " + std::to_string(c.w) + "x" +
                             std::to_string(c.h) + " m" + std::to_string(m) + " r" +
                             std::to_string(r) + " f" + std::to_string(fmt));
                const int chn = channels_of(fmt);
                TestRgb cpu(c.w, c.h, chn), gpu(c.w, c.h, chn), twin(c.w, c.h, chn);
                ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &cpu.im, fmt, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                const uint64_t n = launches_of([&] {
                    ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &gpu.im, fmt, m, r, MIRA_PATH_GPU), MIRA_STATUS_OK);
                });
                EXPECT_EQ(n, 1u) << "no kernel ran";
                zor_test_force_unusable(true);
                EXPECT_EQ(mira_yuv420_to_rgb(&fr.f, &twin.im, fmt, m, r, MIRA_PATH_GPU), MIRA_STATUS_OK);
                zor_test_force_unusable(false);
                ASSERT_EQ(gpu.g->packed(), cpu.g->packed());
                ASSERT_EQ(twin.g->packed(), cpu.g->packed());
                ASSERT_TRUE(gpu.g->paddingIntact());
            }
    EXPECT_TRUE(fr.canaries_intact());
}

TEST_P(GpuCamera, FromRgbSameBytesAsCpu) {
    const Case c = GetParam();
    for (mira_matrix m : kMatrices)
        for (mira_range r : kRanges)
            for (mira_rgb_format fmt : kFormats) {
                SCOPED_TRACE(std::string(name_of(c.layout)) + " " + std::to_string(c.w) + "x" +
                             std::to_string(c.h) + " m" + std::to_string(m) + " r" +
                             std::to_string(r) + " f" + std::to_string(fmt));
                const int chn = channels_of(fmt);
                TestRgb in(c.w, c.h, chn);
                in.g->fillRandom(c.w * 3 + c.h + m * 7 + r);
                TestFrame cpu(c.layout, c.w, c.h), gpu(c.layout, c.w, c.h), twin(c.layout, c.w, c.h);
                ASSERT_EQ(mira_rgb_to_yuv420(&in.im, fmt, &cpu.f, m, r, MIRA_PATH_CPU), MIRA_STATUS_OK);
                const uint64_t n = launches_of([&] {
                    ASSERT_EQ(mira_rgb_to_yuv420(&in.im, fmt, &gpu.f, m, r, MIRA_PATH_GPU), MIRA_STATUS_OK);
                });
                // Chroma planes with bytes between samples that belong to
                // neither are the twin's; every other layout runs the kernel.
                EXPECT_EQ(n, c.layout == Layout::GappedPairs ? 0u : 1u);
                zor_test_force_unusable(true);
                EXPECT_EQ(mira_rgb_to_yuv420(&in.im, fmt, &twin.f, m, r, MIRA_PATH_GPU), MIRA_STATUS_OK);
                zor_test_force_unusable(false);
                ASSERT_EQ(frame_bytes(gpu), frame_bytes(cpu));
                ASSERT_EQ(frame_bytes(twin), frame_bytes(cpu));
                ASSERT_TRUE(gpu.canaries_intact());
            }
}

INSTANTIATE_TEST_SUITE_P(All, GpuCamera, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             std::string n = name_of(i.param.layout);
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n + "_" + std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
                         });

// A 1080p NV21 frame and back: the kernels' bytes at a realistic size.
TEST(GpuCameraLarge, FullHdBothDirections) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    TestFrame fr(Layout::Nv21, 1920, 1080);
    fr.fill_random(5);
    TestRgb cpu(1920, 1080, 4), gpu(1920, 1080, 4);
    ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &cpu.im, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601, MIRA_RANGE_FULL, MIRA_PATH_CPU), MIRA_STATUS_OK);
    EXPECT_EQ(launches_of([&] {
                  ASSERT_EQ(mira_yuv420_to_rgb(&fr.f, &gpu.im, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601, MIRA_RANGE_FULL, MIRA_PATH_GPU), MIRA_STATUS_OK);
              }),
              1u);
    ASSERT_EQ(gpu.g->packed(), cpu.g->packed());
    TestFrame back(Layout::Nv21, 1920, 1080), backGpu(Layout::Nv21, 1920, 1080);
    ASSERT_EQ(mira_rgb_to_yuv420(&cpu.im, MIRA_RGB_FORMAT_RGBA, &back.f, MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, MIRA_PATH_CPU), MIRA_STATUS_OK);
    EXPECT_EQ(launches_of([&] {
                  ASSERT_EQ(mira_rgb_to_yuv420(&cpu.im, MIRA_RGB_FORMAT_RGBA, &backGpu.f, MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, MIRA_PATH_GPU), MIRA_STATUS_OK);
              }),
              1u);
    ASSERT_EQ(frame_bytes(backGpu), frame_bytes(back));
}

}  // namespace
