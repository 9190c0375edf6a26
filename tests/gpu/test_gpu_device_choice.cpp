// Which OpenCL device the library takes. This program runs without
// MIRA_OPENCL_DEVICE (it sets the variable itself where a case needs it): a
// host whose only OpenCL device is not a GPU (PoCL's CPU device, say) gets
// ncvInit = 1 and the CPU methods' results from GPU requests; "any" takes a
// non-GPU device; another value picks a device by name; only the chosen
// device gets a context and a queue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/gpu_transpose.h"
#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClSpy;
using mira_test::GuardedImage;

namespace {

struct DeviceCensus {
    int gpus = 0;
    int all = 0;
    std::string firstName;  // of the first device of any kind
};

// The devices of every platform, counted through the library's own table.
DeviceCensus census() {
    DeviceCensus c;
    if (!ZOR::cl_load()) return c;
    cl_uint n = 0;
    if (ZOR::g_cl.clGetPlatformIDs(0, nullptr, &n) != CL_SUCCESS || n == 0) return c;
    std::vector<cl_platform_id> ids(n);
    ZOR::g_cl.clGetPlatformIDs(n, ids.data(), nullptr);
    for (cl_platform_id p : ids) {
        cl_uint count = 0;
        if (ZOR::g_cl.clGetDeviceIDs(p, CL_DEVICE_TYPE_ALL, 0, nullptr, &count) != CL_SUCCESS)
            continue;
        std::vector<cl_device_id> devs(count);
        ZOR::g_cl.clGetDeviceIDs(p, CL_DEVICE_TYPE_ALL, count, devs.data(), nullptr);
        for (cl_device_id d : devs) {
            cl_device_type type = 0;
            char name[256] = {0};
            ZOR::g_cl.clGetDeviceInfo(d, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
            ZOR::g_cl.clGetDeviceInfo(d, CL_DEVICE_NAME, sizeof name - 1, name, nullptr);
            if (c.all++ == 0) c.firstName = name;
            if (type & CL_DEVICE_TYPE_GPU) ++c.gpus;
        }
    }
    return c;
}

class DeviceChoice : public ::testing::Test {
protected:
    void SetUp() override {
        ncvDeinit();
        unsetenv("MIRA_OPENCL_DEVICE");
        devices = census();
        if (ClSpy::install()) ClSpy::resetCounts();
        zor_test_take_log();
    }
    void TearDown() override {
        ncvDeinit();
        ClSpy::allGpus = false;
        unsetenv("MIRA_OPENCL_DEVICE");
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }
    DeviceCensus devices;
};

TEST_F(DeviceChoice, WithoutTheVariableOnlyAGpuIsTaken) {
    const int expected = devices.gpus > 0 ? 0 : 1;
    ASSERT_EQ(ncvInit(), expected) << devices.gpus << " GPU(s) among " << devices.all;
    if (expected == 1) {
        EXPECT_FALSE(zor_opencl_usable());
        EXPECT_EQ(ClSpy::contexts.load(), 0) << "a context on a device that is not a GPU";
        EXPECT_EQ(ZOR::DeviceManager::getInstance()->deviceName(), "");
    } else {
        EXPECT_EQ(ClSpy::contexts.load(), 1);
    }
    // GPU requests compute; without a GPU they are the CPU method, exactly.
    const uint32_t w = 33, h = 17;
    GuardedImage src(w, h, w + 2), dst(h, w, h + 3);
    src.fillRandom(9);
    ASSERT_EQ(mira_test::gpu_transpose(src.data(), w, h, src.stride(), dst.data(), dst.stride()),
              MIRA_OK);
    mira_test::expect_transposed(src.data(), w, h, src.stride(), dst.data(), dst.stride());
    EXPECT_TRUE(dst.paddingIntact());
    // An exported function whose path is the GPU.
    GuardedImage in(w, h, w), gx(2 * w, h, 2 * w), gy(2 * w, h, 2 * w);
    GuardedImage rx(2 * w, h, 2 * w), ry(2 * w, h, 2 * w);
    in.fillRandom(3);
    ncvImageGradientSobelPlanars16_v3(in.data(), w, h, w, reinterpret_cast<int16_t*>(gx.data()),
                                      reinterpret_cast<int16_t*>(gy.data()), 2 * w);
    mira::ncvImageGradientSobelPlanars16_v3(in.data(), w, h, w,
                                            reinterpret_cast<int16_t*>(rx.data()),
                                            reinterpret_cast<int16_t*>(ry.data()), 2 * w);
    EXPECT_EQ(gx.packed(), rx.packed());
    EXPECT_EQ(gy.packed(), ry.packed());
    if (expected == 1) {
        EXPECT_EQ(ClSpy::launches.load(), 0);
    }
}

TEST_F(DeviceChoice, AnyTakesTheFirstDeviceWhenThereIsNoGpu) {
    if (devices.all == 0) GTEST_SKIP() << "no OpenCL device on this machine";
    setenv("MIRA_OPENCL_DEVICE", "any", 1);
    ASSERT_EQ(ncvInit(), 0);
    EXPECT_TRUE(zor_opencl_usable());
    EXPECT_EQ(ClSpy::contexts.load(), 1) << "only the chosen device gets a context";
    EXPECT_EQ(ClSpy::queues.load(), 1);
    EXPECT_FALSE(ZOR::DeviceManager::getInstance()->deviceName().empty());
    if (devices.gpus == 0) {
        EXPECT_EQ(ZOR::DeviceManager::getInstance()->deviceName(), devices.firstName);
    }
}

TEST_F(DeviceChoice, ANameSubstringPicksTheDeviceAndAnUnknownNameNone) {
    if (devices.all == 0) GTEST_SKIP() << "no OpenCL device on this machine";
    const std::string part = devices.firstName.substr(0, std::min<size_t>(5, devices.firstName.size()));
    setenv("MIRA_OPENCL_DEVICE", part.c_str(), 1);
    ASSERT_EQ(ncvInit(), 0) << "no device named like \"" << part << "\"";
    EXPECT_NE(ZOR::DeviceManager::getInstance()->deviceName().find(part), std::string::npos);
    ncvDeinit();
    zor_test_take_log();
    setenv("MIRA_OPENCL_DEVICE", "no-such-device-0x5A", 1);
    EXPECT_EQ(ncvInit(), 1);
    bool logged = false;
    for (const std::string& l : zor_test_take_log())
        logged = logged || l.find("no device named \"no-such-device-0x5A\"") != std::string::npos;
    EXPECT_TRUE(logged);
    EXPECT_EQ(ClSpy::contexts.load(), 0);
}

TEST_F(DeviceChoice, TheChosenDeviceIsLoggedOnceAtTraceLevel) {
    if (devices.all == 0) GTEST_SKIP() << "no OpenCL device on this machine";
    setenv("MIRA_OPENCL_DEVICE", "any", 1);
    setenv("MIRA_LOG", "trace", 1);
    testing::internal::CaptureStdout();
    const int r = ncvInit();
    const std::string out = testing::internal::GetCapturedStdout();
    unsetenv("MIRA_LOG");
    ASSERT_EQ(r, 0);
    const size_t at = out.find("opencl device chosen: platform");
    EXPECT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find("opencl device chosen", at + 1), std::string::npos) << out;
    EXPECT_NE(out.find("driver"), std::string::npos) << out;
}

// With several GPUs the most capable one is taken: compute units x clock.
TEST(DeviceRanking, TheMostComputeUnitsTimesClockWins) {
    const ZOR::DeviceRank devices[] = {{2, 1000}, {8, 300}, {4, 700}, {1, 2800}};
    EXPECT_EQ(ZOR::best_device(devices, 3), 2u);          // 2800 > 2400 > 2000
    EXPECT_EQ(ZOR::best_device(devices, 4), 2u);          // a tie keeps the first
    EXPECT_EQ(ZOR::best_device(devices + 3, 1), 0u);
    EXPECT_EQ(ZOR::best_device(devices, 0), 0u);
    const ZOR::DeviceRank big[] = {{0xFFFFFFFFu, 2}, {0xFFFFFFFFu, 3}};  // no 32-bit overflow
    EXPECT_EQ(ZOR::best_device(big, 2), 1u);
    const ZOR::DeviceRank unknown[] = {{0, 0}, {1, 1}};  // a device that reports nothing ranks last
    EXPECT_EQ(ZOR::best_device(unknown, 2), 1u);
}

TEST_F(DeviceChoice, TheRankingOfGpusIsLoggedAtTraceLevel) {
    if (devices.all == 0) GTEST_SKIP() << "no OpenCL device on this machine";
    ClSpy::allGpus = true;  // every device counts as a GPU, so none needs "any"
    setenv("MIRA_LOG", "trace", 1);
    testing::internal::CaptureStdout();
    const int r = ncvInit();
    const std::string out = testing::internal::GetCapturedStdout();
    unsetenv("MIRA_LOG");
    ASSERT_EQ(r, 0) << out;
    EXPECT_NE(out.find("compute units x"), std::string::npos) << out;
    EXPECT_NE(out.find("(taken)"), std::string::npos) << out;
    // A name given in MIRA_OPENCL_DEVICE is taken without ranking.
    ncvDeinit();
    setenv("MIRA_OPENCL_DEVICE", devices.firstName.c_str(), 1);
    setenv("MIRA_LOG", "trace", 1);
    testing::internal::CaptureStdout();
    ASSERT_EQ(ncvInit(), 0);
    const std::string named = testing::internal::GetCapturedStdout();
    unsetenv("MIRA_LOG");
    EXPECT_EQ(named.find("compute units x"), std::string::npos) << named;
}

}  // namespace
