// Colour images (3 and 4 interleaved channels) through the transpose, the
// quarter turns and the 3x3 Gaussian on the GPU path: for every case of the
// shared table the kernel ran (launch count), its bytes equal the CPU path's
// and the scalar reference, nothing outside the destination's rows changed,
// and the same request with the device set aside (the kernels' CPU twins)
// gives the same bytes.
#include <gtest/gtest.h>

#include <vector>

#include "common/colour_cases.h"
#include "common/opencl_probe.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "mira/mira_image.h"

namespace {

using colour_cases::Case;
using colour_cases::Kind;

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new mira_test::GpuEnvironment);

// Whether a GPU request of this case launches a kernel: the Gaussian's
// kernel covers the interior only, which images under 3 x 3 lack.
bool launches(const Case& c) {
    if (c.kind == Kind::GaussianZero || c.kind == Kind::GaussianRenorm)
        return c.w >= 3 && c.h >= 3;
    return true;
}

class GpuColourImages : public ::testing::TestWithParam<Case> {};

TEST_P(GpuColourImages, KernelEqualsCpuAndTwin) {
    const Case c = GetParam();
    colour_cases::Bound cpu = colour_cases::bind(c);
    ASSERT_EQ(colour_cases::run(c, cpu, MIRA_PATH_CPU), MIRA_STATUS_OK);

    colour_cases::Bound gpu = colour_cases::bind(c);
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    ASSERT_EQ(colour_cases::run(c, gpu, MIRA_PATH_GPU), MIRA_STATUS_OK);
    uint64_t launched = 0;
    zor_test_take_kernel_ns(&launched);
    zor_test_time_kernels(false);
    if (mira_test::gpu_live() && launches(c))
        EXPECT_GT(launched, 0u) << "the GPU request fell back to the CPU: no kernel ran";
    EXPECT_TRUE(gpu.dst->paddingIntact()) << "GPU wrote between or after the rows";
    EXPECT_EQ(gpu.dst->packed(), cpu.dst->packed()) << "GPU differs from CPU";
    EXPECT_EQ(gpu.dst->packed(),
              colour_cases::reference(c.kind, gpu.src->packed(), c.w, c.h, c.ch))
        << "GPU differs from the reference";

    // The same request with no usable device: the kernels' CPU twins.
    colour_cases::Bound twin = colour_cases::bind(c);
    zor_test_force_unusable(true);
    const mira_status st = colour_cases::run(c, twin, MIRA_PATH_GPU);
    zor_test_force_unusable(false);
    ASSERT_EQ(st, MIRA_STATUS_OK);
    EXPECT_TRUE(twin.dst->paddingIntact());
    EXPECT_EQ(twin.dst->packed(), gpu.dst->packed()) << "twin differs from GPU";
}

// The odd sizes of every operation and channel count; 1080p for each too.
INSTANTIATE_TEST_SUITE_P(Table, GpuColourImages, ::testing::ValuesIn(colour_cases::cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             return colour_cases::name(i.param);
                         });

// The GPU path of a plane request after colour requests still runs the
// plane kernels with the plane's bytes (the programs of each pixel size are
// kept apart).
TEST(GpuColourImagesMixed, PlanesAfterColour) {
    for (Kind k : colour_cases::kKinds) {
        const Case colour{k, 4, 33, 17}, plane{k, 1, 33, 17};
        colour_cases::Bound a = colour_cases::bind(colour);
        ASSERT_EQ(colour_cases::run(colour, a, MIRA_PATH_GPU), MIRA_STATUS_OK);
        colour_cases::Bound b = colour_cases::bind(plane);
        ASSERT_EQ(colour_cases::run(plane, b, MIRA_PATH_GPU), MIRA_STATUS_OK);
        EXPECT_EQ(b.dst->packed(), colour_cases::reference(k, b.src->packed(), 33, 17, 1))
            << colour_cases::kind_name(k);
    }
}

}  // namespace
