// The fused camera call on the GPU path: every quarter turn x mirror x
// interpolation x layout on odd sizes scaled up and down, strides and guard
// pages, the kernel's bytes equal to the CPU path's and to the scalar
// reference, the kernel proven to have run (launch count), and the request
// with no usable device (the kernel's CPU twin) giving the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/camera_frame.h"
#include "common/camera_transform_cases.h"
#include "common/camera_transform_reference.h"
#include "common/opencl_probe.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "mira/mira_image.h"

using namespace camera_test;

namespace {

struct Case {
    Layout layout;
    uint32_t w, h, dw, dh;  // dw, dh 0: the turned source size
};

std::vector<Case> cases() {
    const uint32_t src[][2] = {{1, 1}, {7, 3}, {17, 2}, {33, 17}};
    const uint32_t dst[][2] = {{0, 0}, {17, 33}, {3, 2}, {1, 7}};
    std::vector<Case> v;
    for (Layout l : {Layout::Nv21, Layout::Nv12, Layout::I420, Layout::Strided, Layout::GappedPairs})
        for (auto& s : src)
            for (auto& d : dst) v.push_back({l, s[0], s[1], d[0], d[1]});
    return v;
}

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

// One request on every route: the CPU, the GPU (its kernel ran once), the
// GPU request's CPU twin with no device, all the reference's bytes.
void expect_routes_agree(TestFrame& fr, uint32_t dw, uint32_t dh, int deg, int mirror,
                         mira_interpolation ip, mira_rgb_format fmt, mira_matrix m,
                         mira_range r) {
    const int chn = channels_of(fmt);
    TestRgb cpu(dw, dh, chn), gpu(dw, dh, chn), twin(dw, dh, chn);
    ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &cpu.im, deg, mirror, ip, fmt, m, r,
                                           MIRA_PATH_CPU),
              MIRA_STATUS_OK);
    const uint64_t n = launches_of([&] {
        ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &gpu.im, deg, mirror, ip, fmt, m, r,
                                               MIRA_PATH_GPU),
                  MIRA_STATUS_OK);
    });
    EXPECT_EQ(n, 1u) << "no kernel ran";
    zor_test_force_unusable(true);
    EXPECT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &twin.im, deg, mirror, ip, fmt, m, r,
                                           MIRA_PATH_GPU),
              MIRA_STATUS_OK);
    zor_test_force_unusable(false);
    const auto want =
        reference_transform(fr, dw, dh, deg, mirror, ip == MIRA_INTERPOLATION_BILINEAR, fmt, m, r);
    ASSERT_EQ(first_difference(gpu, want), SIZE_MAX);
    ASSERT_EQ(first_difference(cpu, want), SIZE_MAX);
    ASSERT_EQ(gpu.g->packed(), cpu.g->packed());
    ASSERT_EQ(twin.g->packed(), cpu.g->packed());
    ASSERT_TRUE(gpu.g->paddingIntact());
}

class GpuTransform : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    }
};

TEST_P(GpuTransform, SameBytesAsCpuAndReference) {
    const Case c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w * 17 + c.h + c.dw);
    const mira_rgb_format fmts[] = {MIRA_RGB_FORMAT_RGBA, MIRA_RGB_FORMAT_BGR};
    for (int deg : {0, 90, 180, 270})
        for (int mirror : {0, 1})
            for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR})
                for (mira_rgb_format fmt : fmts) {
                    const mira_matrix m = fmt == MIRA_RGB_FORMAT_RGBA ? MIRA_MATRIX_BT601 : MIRA_MATRIX_BT2020;
                    const mira_range r = fmt == MIRA_RGB_FORMAT_RGBA ? MIRA_RANGE_LIMITED : MIRA_RANGE_FULL;
                    const bool swap = deg == 90 || deg == 270;
                    const uint32_t dw = c.dw ? c.dw : (swap ? c.h : c.w);
                    const uint32_t dh = c.dh ? c.dh : (swap ? c.w : c.h);
                    SCOPED_TRACE(std::string(name_of(c.layout)) + " " + std::to_string(c.w) + "x" +
                                 std::to_string(c.h) + " -> " + std::to_string(dw) + "x" +
                                 std::to_string(dh) + " degrees " + std::to_string(deg) +
                                 " mirror " + std::to_string(mirror) + " interpolation " +
                                 std::to_string(ip) + " format " + std::to_string(fmt));
                    expect_routes_agree(fr, dw, dh, deg, mirror, ip, fmt, m, r);
                    if (HasFatalFailure()) return;
                }
    EXPECT_TRUE(fr.canaries_intact());
}

INSTANTIATE_TEST_SUITE_P(All, GpuTransform, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             std::string n = name_of(i.param.layout);
                             for (char& ch : n)
                                 if (ch == '-') ch = '_';
                             return n + "_" + std::to_string(i.param.w) + "x" +
                                    std::to_string(i.param.h) + "_to_" + std::to_string(i.param.dw) +
                                    "x" + std::to_string(i.param.dh);
                         });

// The CPU suite's fixed destination sizes (the edges of the CPU's line path,
// odd sizes scaled far per axis, a banded frame): every route gives the
// reference's bytes.
class GpuTransformScaled : public ::testing::TestWithParam<ScaledCase> {
protected:
    void SetUp() override {
        if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    }
};
TEST_P(GpuTransformScaled, SameBytesAsCpuAndReference) {
    const ScaledCase c = GetParam();
    TestFrame fr(c.layout, c.w, c.h);
    fr.fill_random(c.w * 5 + c.h * 3 + c.dw);
    for (int deg : {0, 90, 180, 270})
        for (int mirror : {0, 1})
            for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR}) {
                const mira_rgb_format fmt = mirror ? MIRA_RGB_FORMAT_BGR : MIRA_RGB_FORMAT_RGBA;
                const mira_matrix m = MIRA_MATRIX_BT601;
                const mira_range r = MIRA_RANGE_LIMITED;
                SCOPED_TRACE("degrees " + std::to_string(deg) + " mirror " +
                             std::to_string(mirror) + " interpolation " + std::to_string(ip));
                expect_routes_agree(fr, c.dw, c.dh, deg, mirror, ip, fmt, m, r);
                if (HasFatalFailure()) return;
            }
    EXPECT_TRUE(fr.canaries_intact());
}
INSTANTIATE_TEST_SUITE_P(Cases, GpuTransformScaled, ::testing::ValuesIn(scaled_cases()),
                         [](const auto& i) { return scaled_case_name(i.param); });

// A 1080p NV21 camera frame to the 720x1280 portrait preview.
TEST(GpuTransformLarge, NV21ToPortraitPreview) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    TestFrame fr(Layout::Nv21, 1920, 1080);
    fr.fill_random(9);
    for (mira_interpolation ip : {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR}) {
        TestRgb cpu(720, 1280, 4, 0), gpu(720, 1280, 4, 0);
        ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &cpu.im, 90, 0, ip, MIRA_RGB_FORMAT_RGBA,
                                               MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, MIRA_PATH_CPU),
                  MIRA_STATUS_OK);
        EXPECT_EQ(launches_of([&] {
                      ASSERT_EQ(mira_yuv420_to_rgb_transform(&fr.f, &gpu.im, 90, 0, ip,
                                                             MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                                             MIRA_RANGE_LIMITED, MIRA_PATH_GPU),
                                MIRA_STATUS_OK);
                  }),
                  1u);
        ASSERT_EQ(gpu.g->packed(), cpu.g->packed()) << "interpolation " << ip;
    }
}

}  // namespace
