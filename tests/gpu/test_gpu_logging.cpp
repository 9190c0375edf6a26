// Log levels of the GPU runtime (MIRA_LOG): by default a successful GPU call
// prints nothing, "trace" adds the progress lines, "off" silences failures
// too; every line printed ends its line on standard output.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClFault;
using mira_test::ClSpy;
using mira_test::GuardedImage;

namespace {

// A first GPU call (the kernel is built in it) and a second one, with
// standard output captured.
std::string two_gpu_calls() {
    ncvDeinit();
    testing::internal::CaptureStdout();
    EXPECT_EQ(ncvInit(), 0);
    for (int i = 0; i < 2; ++i) {
        GuardedImage src(19, 11, 21), dst(11, 19, 13);
        src.fillRandom(7 + i);
        MIRA_Feature_Buf s{19, src.stride(), 11, 11, src.data()};
        MIRA_Feature_Buf d{11, dst.stride(), 19, 19, dst.data()};
        MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
        EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
        EXPECT_EQ(dst.row(3)[5], src.row(5)[3]);
    }
    ncvDeinit();
    return testing::internal::GetCapturedStdout();
}

class Logging : public ::testing::Test {
protected:
    void SetUp() override {
        MIRA_INIT_DEVICE_OR_SKIP();
        unsetenv("MIRA_LOG");
    }
    void TearDown() override {
        unsetenv("MIRA_LOG");
        ClSpy::fault = ClFault::None;
    }
};

TEST_F(Logging, ASuccessfulCallPrintsNothingByDefault) {
    const std::string out = two_gpu_calls();
    EXPECT_EQ(out, "") << out;
    setenv("MIRA_LOG", "error", 1);
    EXPECT_EQ(two_gpu_calls(), "");
}

TEST_F(Logging, TraceAddsTheProgressLinesEachOnItsOwnLine) {
    setenv("MIRA_LOG", "trace", 1);
    const std::string out = two_gpu_calls();
    EXPECT_NE(out.find("Do not find kernel, create one."), std::string::npos) << out;
    EXPECT_NE(out.find("TEST "), std::string::npos) << out;
    EXPECT_NE(out.find("opencl device chosen"), std::string::npos) << out;
    // The handle release at de-initialisation ends its line.
    const size_t at = out.find("delete handle : 0x");
    ASSERT_NE(at, std::string::npos) << out;
    const size_t end = out.find('\n', at);
    ASSERT_NE(end, std::string::npos) << "the last line is not ended";
    EXPECT_EQ(out.substr(at, end - at).find("VEZ_IVEVEDO"), std::string::npos);
    EXPECT_EQ(out.back(), '\n');
}

TEST_F(Logging, FailuresAreLoggedByDefaultAndNothingWhenOff) {
    ASSERT_TRUE(ClSpy::install());
    ASSERT_EQ(ncvInit(), 0);
    GuardedImage src(19, 11, 21), dst(11, 19, 13);
    src.fillRandom(3);
    MIRA_Feature_Buf s{19, src.stride(), 11, 11, src.data()};
    MIRA_Feature_Buf d{11, dst.stride(), 19, 19, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);  // builds the kernel
    ClSpy::fault = ClFault::Launch;
    testing::internal::CaptureStdout();
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("CL_OUT_OF_RESOURCES"), std::string::npos) << out;
    EXPECT_EQ(out.find("costtime"), std::string::npos) << out;
    setenv("MIRA_LOG", "off", 1);
    zor_test_take_log();
    testing::internal::CaptureStdout();
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    EXPECT_TRUE(zor_test_take_log().empty());
    EXPECT_EQ(dst.row(4)[2], src.row(2)[4]);  // the CPU method computed it
}

}  // namespace
