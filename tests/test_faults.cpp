// GPU faults injected through the OpenCL entry-point table: every failure of
// the OpenCL layer is logged as documented (one line), the call computes its
// destination with the CPU method instead (also when no device could be
// brought up), every OpenCL object it created is released, and the next call
// after the fault is gone works on the GPU again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/cl_spy.h"
#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

using mira_test::ClFault;
using mira_test::ClSpy;
using mira_test::GuardedImage;
using mira_test::kCanary;

namespace {

constexpr uint32_t kW = 37, kH = 23;  // odd sizes: guarded last units

bool logged(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l;
    return out;
}

// The documented line prefix: "\n<tag> <function>  <line>:".
bool prefixed(const std::vector<std::string>& lines) {
    for (const std::string& l : lines)
        if (l.rfind("\nVEZ_IVEVEDO ", 0) != 0 || l.find("  ") == std::string::npos) return false;
    return true;
}

// One transpose through the manager with the given mode.
struct Transpose {
    GuardedImage src{kW, kH, kW + 3};
    GuardedImage dst{kH, kW, kH + 5};
    explicit Transpose(uint32_t seed) { src.fillRandom(seed); }
    uint32_t run(uint32_t mode) {
        MIRA_Feature_Buf s{kW, src.stride(), kH, kH, src.data()};
        MIRA_Feature_Buf d{kH, dst.stride(), kW, kW, dst.data()};
        MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, mode, 1, nullptr, 0};
        return MIRA_Manager().run(&s, 1, &d, 1, &p);
    }
    std::vector<uint8_t> expected() const {
        GuardedImage ref(kH, kW, kH);
        mira::ncvTransposeu8(src.data(), kW, kH, src.stride(), ref.data(), ref.stride());
        return ref.packed();
    }
};

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        ncvDeinit();
        zor_test_set_opencl_library(nullptr);
        if (!ClSpy::install()) GTEST_SKIP() << "no OpenCL library on this machine";
        ClSpy::fault = ClFault::None;
        ClSpy::resetCounts();
        if (ncvInit() != 0) GTEST_SKIP() << "no usable OpenCL device on this machine";
        ncvDeinit();
        ASSERT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
        zor_test_take_log();
    }
    void TearDown() override {
        ClSpy::fault = ClFault::None;
        ClSpy::coarseOnly = false;
        ClSpy::discrete = false;
        ClSpy::maxSvmAlignment = 0;
        ClSpy::maxAlloc = 0;
        ClSpy::hideSvm(false);
        ncvDeinit();
        zor_test_set_opencl_library(nullptr);
        EXPECT_TRUE(ClSpy::nothingAlive()) << "OpenCL objects left alive: " << ClSpy::live();
    }

    // With the fault gone (and, after a failed bring-up, ncvInit called
    // again) the GPU path launches and computes the right result.
    void expectHealed(uint32_t seed) {
        ClSpy::fault = ClFault::None;
        ASSERT_EQ(ncvInit(), 0);
        const long before = ClSpy::launches;
        Transpose t(seed);
        EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_GT(ClSpy::launches.load(), before) << "the GPU path did not launch";
        EXPECT_EQ(t.dst.packed(), t.expected());
        EXPECT_TRUE(t.dst.paddingIntact());
    }

    // No device could be brought up: ncvInit reports 1, GPU requests run the
    // CPU method, managed memory is refused, and nothing is left alive.
    void expectCpuFallback(const char* line) {
        ASSERT_EQ(ncvInit(), 1);
        const std::vector<std::string> log = zor_test_take_log();
        EXPECT_TRUE(logged(log, line)) << "missing \"" << line << "\" in:" << joined(log);
        EXPECT_TRUE(prefixed(log)) << joined(log);
        EXPECT_EQ(ClSpy::launches.load(), 0);
        Transpose t(11);
        EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(t.dst.packed(), t.expected()) << "no CPU fallback";
        EXPECT_TRUE(t.dst.paddingIntact());
        // A feature whose wrapper always asks for the GPU computes as well.
        GuardedImage src(kW, kH, kW), dx(2 * kW, kH, 2 * kW), dy(2 * kW, kH, 2 * kW);
        GuardedImage rx(2 * kW, kH, 2 * kW), ry(2 * kW, kH, 2 * kW);
        src.fillRandom(12);
        ncvImageGradientPlanars16_v2(src.data(), kW, kH, kW, reinterpret_cast<int16_t*>(dx.data()),
                                     reinterpret_cast<int16_t*>(dy.data()), 2 * kW);
        mira::ncvImageGradientPlanars16(src.data(), kW, kH, kW, reinterpret_cast<int16_t*>(rx.data()),
                                        reinterpret_cast<int16_t*>(ry.data()), 2 * kW);
        EXPECT_EQ(dx.packed(), rx.packed());
        EXPECT_EQ(dy.packed(), ry.packed());
        EXPECT_EQ(ClSpy::launches.load(), 0);
        EXPECT_EQ(ncvMemAlloc(4096, 64), nullptr);
        EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    }

    // A GPU transpose whose source is the managed `block` (filled by the host
    // first): the kernel launches and gives the right result.
    void expectTransposeOfBlock(void* block, uint32_t seed) {
        Transpose t(seed);
        std::memcpy(block, t.src.packed().data(), kW * kH);  // host access to a mapped block
        MIRA_Feature_Buf s{kW, kW, kH, kH, static_cast<uint8_t*>(block)};
        MIRA_Feature_Buf d{kH, t.dst.stride(), kW, kW, t.dst.data()};
        MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
        const long before = ClSpy::launches;
        EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
        EXPECT_GT(ClSpy::launches.load(), before);
        EXPECT_EQ(t.dst.packed(), t.expected());
    }

    // A bring-up that fails with `fault`: the CPU fallback (logging `line`),
    // then, with the fault gone, the healed GPU path.
    void expectBringUpFault(ClFault fault, const char* line, uint32_t seed) {
        ClSpy::fault = fault;
        expectCpuFallback(line);
        expectHealed(seed);
    }

    // The device is up but one call fails: logged in one line, and the
    // destination holds the CPU method's result all the same.
    // `lines` is the number of log lines expected (0: not counted).
    std::vector<std::string> expectCpuResult(Transpose& t, const char* line, size_t lines = 1) {
        EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(t.dst.packed(), t.expected()) << "a failed GPU call left the destination unwritten";
        EXPECT_TRUE(t.dst.paddingIntact());
        const std::vector<std::string> log = zor_test_take_log();
        EXPECT_TRUE(logged(log, line)) << "missing \"" << line << "\" in:" << joined(log);
        if (lines) {
            EXPECT_EQ(log.size(), lines) << joined(log);
        }
        EXPECT_TRUE(prefixed(log)) << joined(log);
        // Nothing of the call is left but pooled memory: staging blocks and,
        // without SVM, the device buffers the pool keeps (none is lent out).
        EXPECT_EQ(ClSpy::buffers.load(),
                  static_cast<long>(ZOR::DeviceManager::getInstance()->pooledBuffers()))
            << ClSpy::live();
        EXPECT_LE(ClSpy::buffers.load(), ZOR::kPoolKeptBlocks) << ClSpy::live();
        return log;
    }
};

TEST_F(Faults, NoLibrary) {
    zor_test_set_opencl_library("/nonexistent/libOpenCL.so.1");
    expectCpuFallback("no OpenCL library");
    ncvDeinit();
    zor_test_set_opencl_library(nullptr);
    ASSERT_TRUE(ClSpy::install());
    expectHealed(1);
}

TEST_F(Faults, NoPlatform) {
    expectBringUpFault(ClFault::NoPlatform, "opencl platform numbers=0, exit.", 2);
}

TEST_F(Faults, NoDevice) {
    expectBringUpFault(ClFault::NoDevice, "opencl device_gpu numbers=0, exit.", 3);
}

TEST_F(Faults, ContextCreation) {
    expectBringUpFault(ClFault::Context, "OpenCL error with code(-6) CL_OUT_OF_HOST_MEMORY", 4);
}

TEST_F(Faults, QueueCreation) {
    expectBringUpFault(ClFault::Queue, "OpenCL error with code(-5) CL_OUT_OF_RESOURCES", 5);
}

TEST_F(Faults, ProgramBuildReportsTheBuildLogAndIsNotRetried) {
    ASSERT_EQ(ncvInit(), 0);
    zor_test_take_log();
    ClSpy::fault = ClFault::Build;
    Transpose t(6);
    expectCpuResult(t, "there is some error in bulid program", 0);
    // The build-log path ran: its header, the log text and the status.
    {
        Transpose again(7);
        EXPECT_EQ(again.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(again.dst.packed(), again.expected());
    }
    EXPECT_EQ(ClSpy::launches.load(), 0);
    EXPECT_EQ(ClSpy::programs.load(), 0) << ClSpy::live();
    // The failure is remembered: with the fault gone the kernel is still not
    // built again (nor logged again) until ncvDeinit; the CPU method computes.
    ClSpy::fault = ClFault::None;
    const long builds = ClSpy::builds;
    Transpose third(8);
    EXPECT_EQ(third.run(MIRA_MODE_OPENCL), MIRA_OK);
    EXPECT_EQ(third.dst.packed(), third.expected());
    EXPECT_EQ(ClSpy::builds.load(), builds) << "a failed build was tried again";
    EXPECT_EQ(ClSpy::launches.load(), 0);
    EXPECT_TRUE(zor_test_take_log().empty());
    ncvDeinit();
    expectHealed(8);
}

TEST_F(Faults, TheBuildLogIsLogged) {
    ASSERT_EQ(ncvInit(), 0);
    zor_test_take_log();
    ClSpy::fault = ClFault::Build;
    Transpose t(7);
    EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
    EXPECT_EQ(t.dst.packed(), t.expected());
    const std::vector<std::string> log = zor_test_take_log();
    EXPECT_TRUE(logged(log, "BUILD LOG")) << joined(log);
    EXPECT_TRUE(logged(log, mira_test::kInjectedBuildLog)) << joined(log);
    EXPECT_TRUE(logged(log, "code(-11) CL_BUILD_PROGRAM_FAILURE")) << joined(log);
}

TEST_F(Faults, KernelCreation) {
    ASSERT_EQ(ncvInit(), 0);
    zor_test_take_log();
    ClSpy::fault = ClFault::Kernel;
    Transpose t(9);
    expectCpuResult(t, "code(-46) CL_INVALID_KERNEL_NAME");
    EXPECT_EQ(ClSpy::launches.load(), 0);
    EXPECT_EQ(ClSpy::kernels.load(), 0) << ClSpy::live();
    EXPECT_EQ(ClSpy::programs.load(), 0) << "the program of a failed kernel is kept: " << ClSpy::live();
    ncvDeinit();  // the failed kernel is remembered until then
    expectHealed(10);
}

TEST_F(Faults, SvmAllocation) {
    ASSERT_EQ(ncvInit(), 0);
    if (ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode == ZOR::kSvmNone)
        GTEST_SKIP() << "device without shared virtual memory";
    zor_test_take_log();
    ClSpy::fault = ClFault::SvmAlloc;
    Transpose t(13);
    EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
    EXPECT_EQ(t.dst.packed(), t.expected()) << "a failed GPU call left the destination unwritten";
    {
        // The allocation failure and the staging step that needed it.
        const std::vector<std::string> log = zor_test_take_log();
        EXPECT_TRUE(logged(log, "create svm buffer fail in opencl, return")) << joined(log);
        EXPECT_TRUE(prefixed(log)) << joined(log);
    }
    EXPECT_EQ(ncvMemAlloc(4096, 64), nullptr);
    EXPECT_TRUE(logged(zor_test_take_log(), "alloc svm buffer fail, return"));
    EXPECT_EQ(ClSpy::svm.load(), 0) << ClSpy::live();
    expectHealed(14);
    void* block = ncvMemAlloc(4096, 64);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 1);
    ncvMemFree(block);
}

TEST_F(Faults, MapFailureWithoutSvm) {
    // Without the SVM entry points the images travel in device buffers that
    // are filled and read back by mapping.
    ClSpy::hideSvm(true);
    ASSERT_EQ(ncvInit(), 0);
    ASSERT_EQ(ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode, ZOR::kSvmNone);
    {
        Transpose ok(15);  // the device-buffer path itself works
        EXPECT_EQ(ok.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(ok.dst.packed(), ok.expected());
    }
    zor_test_take_log();
    ClSpy::fault = ClFault::MapBuffer;
    const long before = ClSpy::launches;
    Transpose t(16);
    expectCpuResult(t, "code(-12) CL_MAP_FAILURE");
    EXPECT_EQ(ClSpy::launches.load(), before) << "launched with an unfilled source";
    ClSpy::fault = ClFault::None;
    ClSpy::hideSvm(false);
    ncvDeinit();
    EXPECT_TRUE(ClSpy::nothingAlive()) << ClSpy::live();
    expectHealed(17);
}

TEST_F(Faults, MapFailureWithCoarseSvm) {
    // A device with coarse-grained SVM only: a managed block is mapped for the
    // host whenever no kernel holds it, so allocating one maps it.
    if (zor_test_svm_cap() < static_cast<int>(ZOR::kSvmCoarse)) GTEST_SKIP() << "shared memory forced off";
    ClSpy::coarseOnly = true;
    ASSERT_EQ(ncvInit(), 0);
    ASSERT_EQ(ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode, ZOR::kSvmCoarse);
    {
        void* block = ncvMemAlloc(kW * kH, 64);
        ASSERT_NE(block, nullptr);
        expectTransposeOfBlock(block, 18);
        ncvMemFree(block);
    }
    zor_test_take_log();
    const long pooled = ClSpy::svm;  // staging buffers the call left in the pool
    ClSpy::fault = ClFault::SvmMap;
    EXPECT_EQ(ncvMemAlloc(4096, 64), nullptr) << "an unmappable block was handed out";
    const std::vector<std::string> log = zor_test_take_log();
    EXPECT_TRUE(logged(log, "code(-12) CL_MAP_FAILURE")) << joined(log);
    EXPECT_TRUE(prefixed(log)) << joined(log);
    EXPECT_EQ(ClSpy::svm.load(), pooled) << "an unmappable block was kept: " << ClSpy::live();
    ClSpy::fault = ClFault::None;
    void* block = ncvMemAlloc(4096, 64);  // healed
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 1);
    ncvMemFree(block);
    ClSpy::coarseOnly = false;
    ncvDeinit();
    expectHealed(20);
}

TEST_F(Faults, Launch) {
    ASSERT_EQ(ncvInit(), 0);
    {
        Transpose warm(21);  // build the kernel first: the launch is what fails
        warm.run(MIRA_MODE_OPENCL);
    }
    zor_test_take_log();
    ClSpy::fault = ClFault::Launch;
    Transpose t(22);
    testing::internal::CaptureStdout();
    // The status line, and the line that switches the exhausted device off.
    const std::vector<std::string> log = expectCpuResult(t, "code(-5) CL_OUT_OF_RESOURCES", 2);
    EXPECT_TRUE(logged(log, "switched off")) << joined(log);
    const std::string out = testing::internal::GetCapturedStdout();
    // Standard output carries the same one line, ended.
    EXPECT_NE(out.find("code(-5) CL_OUT_OF_RESOURCES"), std::string::npos) << out;
    EXPECT_EQ(out.find("costtime_debug"), std::string::npos) << out;
    EXPECT_EQ(out.back(), '\n') << out;
    // The launch lock was given back: the next call (another thread's too) runs.
    expectHealed(23);
}

TEST_F(Faults, LaunchFailureGivesTheColourDestinationTheKernelsBytes) {
    // The YUV entry (staging of two planes, RGBA destination). A failed launch
    // falls back to the kernel's CPU twin: the bytes of the working kernel,
    // not those of the CPU method's fixed-point formula.
    ASSERT_EQ(ncvInit(), 0);
    constexpr uint32_t w = 34, h = 18;
    GuardedImage nv21(w, h + h / 2, w), rgba(4 * w, h, 4 * w), ref(4 * w, h, 4 * w);
    nv21.fillRandom(24);
    MIRA_Feature_Buf s{w, w, h, h, nv21.data()};
    MIRA_Feature_Buf d{w, w, h, h, rgba.data()};
    MIRA_Feature_Buf r{w, w, h, h, ref.data()};
    MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Manager().run(&s, 1, &d, 1, &p);  // builds the kernel
    const long launched = ClSpy::launches;
    ASSERT_EQ(MIRA_Manager().run(&s, 1, &r, 1, &p), MIRA_OK);
    ASSERT_GT(ClSpy::launches.load(), launched) << "the reference did not come from the kernel";
    rgba.fill(kCanary);
    zor_test_take_log();
    ClSpy::fault = ClFault::Launch;
    testing::internal::CaptureStdout();
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(rgba.packed(), ref.packed()) << "a failed launch left the destination unwritten";
    EXPECT_TRUE(rgba.paddingIntact());
    EXPECT_EQ(zor_test_take_log().size(), 2u);  // the status and the switch-off
    ClSpy::fault = ClFault::None;
    ASSERT_EQ(ncvInit(), 0);  // lifts the switch-off
    const long before = ClSpy::launches;
    MIRA_Manager().run(&s, 1, &d, 1, &p);
    EXPECT_GT(ClSpy::launches.load(), before);
}

// The device-failure latch: a device that is lost, exhausted or keeps failing
// its launches is switched off with one error line, and from then on no call
// stages, uploads or launches anything — each one runs the CPU method, exactly
// — until ncvInit (or ncvDeinit) lifts the switch-off.
class DeviceLatch : public Faults {
protected:
    // A GPU transpose that must come out exact whether or not it launched.
    void runExact(uint32_t seed) {
        Transpose t(seed);
        EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(t.dst.packed(), t.expected()) << "seed " << seed;
        EXPECT_TRUE(t.dst.paddingIntact());
    }
    // The NV21 -> RGBA entry (the YUV staging path): the kernel's single
    // precision formula, exactly, whether the kernel or its CPU twin ran. The
    // destination starts 128 away from the expected bytes everywhere.
    void runColourExact(uint32_t seed) {
        constexpr uint32_t w = 34, h = 18;
        GuardedImage nv21(w, h + h / 2, w), rgba(4 * w, h, 4 * w);
        nv21.fillRandom(seed);
        std::vector<uint8_t> want(size_t(4) * w * h);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t* c = nv21.row(h + y / 2) + (x & ~1u);
                const float Y = std::min(255.f, std::max(0.f, float(nv21.row(y)[x]) - 16.f)) * 1.164f;
                const float u = float(c[1]) - 128.f, v = float(c[0]) - 128.f;
                auto ch = [](float f) { return uint8_t(int(std::min(255.f, std::max(0.f, f)))); };
                uint8_t* o = &want[(size_t(y) * w + x) * 4];
                o[0] = ch(Y + 1.596f * v);
                o[1] = ch(Y - (0.813f * v + 0.391f * u));
                o[2] = ch(Y + 2.018f * u);
                o[3] = 255;
            }
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < 4 * w; ++x) rgba.row(y)[x] = want[size_t(y) * 4 * w + x] ^ 0x80;
        MIRA_Feature_Buf s{w, w, h, h, nv21.data()};
        MIRA_Feature_Buf d{w, w, h, h, rgba.data()};
        MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
        EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
        EXPECT_EQ(rgba.packed(), want) << "not the kernel's bytes";
        EXPECT_TRUE(rgba.paddingIntact());
    }
    // Calls after the switch-off: exact, and not one OpenCL step taken.
    void expectSwitchedOff() {
        const long enqueues = ClSpy::enqueues, creates = ClSpy::bufferCreates,
                   maps = ClSpy::bufferMaps, allocs = ClSpy::fineAllocs + ClSpy::coarseAllocs;
        for (uint32_t seed = 40; seed < 44; ++seed) runExact(seed);
        runColourExact(44);
        EXPECT_EQ(ClSpy::enqueues.load(), enqueues) << "a launch was tried on a switched-off device";
        EXPECT_EQ(ClSpy::bufferCreates.load(), creates) << "a switched-off call made buffers";
        EXPECT_EQ(ClSpy::bufferMaps.load(), maps) << "a switched-off call uploaded";
        EXPECT_EQ(ClSpy::fineAllocs + ClSpy::coarseAllocs, allocs) << "a switched-off call staged";
        EXPECT_TRUE(zor_test_take_log().empty()) << "the switch-off is reported more than once";
    }
    void warmUp() {
        ASSERT_EQ(ncvInit(), 0);
        runExact(30);  // builds the transpose kernel
        runColourExact(31);
        zor_test_take_log();
    }
};

TEST_F(DeviceLatch, ALostQueueSwitchesTheDeviceOffUntilInit) {
    warmUp();
    ClSpy::fault = ClFault::QueueLost;
    const long before = ClSpy::enqueues;
    Transpose t(32);
    const std::vector<std::string> log =
        expectCpuResult(t, "code(-36) CL_INVALID_COMMAND_QUEUE", 2);
    EXPECT_TRUE(logged(log, "switched off")) << joined(log);
    EXPECT_EQ(ClSpy::enqueues.load(), before + 1);
    // The queue is back, but the device stays off until ncvInit.
    ClSpy::fault = ClFault::None;
    expectSwitchedOff();
    expectHealed(33);
}

TEST_F(DeviceLatch, AnExhaustedDeviceIsSwitchedOffAfterOneFailure) {
    warmUp();
    ClSpy::fault = ClFault::Launch;  // CL_OUT_OF_RESOURCES
    runExact(34);
    const std::vector<std::string> log = zor_test_take_log();
    EXPECT_TRUE(logged(log, "switched off")) << joined(log);
    ClSpy::fault = ClFault::None;
    expectSwitchedOff();
    // ncvDeinit lifts it as well.
    ncvDeinit();
    expectHealed(35);
}

TEST_F(DeviceLatch, RepeatedLaunchFailuresSwitchTheDeviceOff) {
    warmUp();
    // Failures apart from each other are forgiven: a launch that works
    // restarts the count.
    for (int round = 0; round < 2; ++round) {
        ClSpy::fault = ClFault::LaunchRefused;
        for (int i = 0; i + 1 < ZOR::kLaunchFailureLimit; ++i) runExact(50 + i);
        ClSpy::fault = ClFault::None;
        const long launches = ClSpy::launches;
        runExact(55);
        EXPECT_EQ(ClSpy::launches.load(), launches + 1) << "switched off before the limit";
    }
    zor_test_take_log();
    // In a row they switch it off, with one line besides the status lines.
    ClSpy::fault = ClFault::LaunchRefused;
    const long before = ClSpy::enqueues;
    for (int i = 0; i < ZOR::kLaunchFailureLimit; ++i) runExact(60 + i);
    EXPECT_EQ(ClSpy::enqueues.load(), before + ZOR::kLaunchFailureLimit);
    const std::vector<std::string> log = zor_test_take_log();
    size_t offLines = 0;
    for (const std::string& l : log) offLines += l.find("switched off") != std::string::npos;
    EXPECT_EQ(offLines, 1u) << joined(log);
    ClSpy::fault = ClFault::None;
    expectSwitchedOff();
    expectHealed(63);
}

TEST_F(DeviceLatch, ARememberedBuildFailureIsCheckedBeforeAnyStaging) {
    ASSERT_EQ(ncvInit(), 0);
    ClSpy::fault = ClFault::Build;
    runExact(70);
    ClSpy::fault = ClFault::None;
    zor_test_take_log();
    // A larger image than any staging buffer the pool keeps: staging it
    // would allocate (shared memory or device buffers) and upload.
    const long creates = ClSpy::bufferCreates, maps = ClSpy::bufferMaps,
               allocs = ClSpy::fineAllocs + ClSpy::coarseAllocs, builds = ClSpy::builds;
    constexpr uint32_t w = 613, h = 401;
    GuardedImage src(w, h, w + 3), dst(h, w, h + 5), ref(h, w, h);
    src.fillRandom(71);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    mira::ncvTransposeu8(src.data(), w, h, src.stride(), ref.data(), ref.stride());
    EXPECT_EQ(dst.packed(), ref.packed());
    EXPECT_TRUE(dst.paddingIntact());
    EXPECT_EQ(ClSpy::builds.load(), builds);
    EXPECT_EQ(ClSpy::bufferCreates.load(), creates) << "buffers made for a kernel known not to build";
    EXPECT_EQ(ClSpy::bufferMaps.load(), maps) << "uploaded for a kernel known not to build";
    EXPECT_EQ(ClSpy::fineAllocs + ClSpy::coarseAllocs, allocs)
        << "staged for a kernel known not to build";
    EXPECT_EQ(ClSpy::enqueues.load(), 0);
    // Other kernels are not affected.
    const long launches = ClSpy::launches;
    runColourExact(72);
    EXPECT_GT(ClSpy::launches.load(), launches);
}

// A device without host-unified memory (a discrete card) takes images in
// device buffers even when it offers shared virtual memory.
TEST_F(Faults, ADiscreteDeviceTakesDeviceBuffersNotSharedMemory) {
    ClSpy::discrete = true;
    ASSERT_EQ(ncvInit(), 0);
    ASSERT_EQ(ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode, ZOR::kSvmNone);
    for (uint32_t seed = 80; seed < 83; ++seed) {
        const long launches = ClSpy::launches;
        Transpose t(seed);
        EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_GT(ClSpy::launches.load(), launches) << "the GPU path did not launch";
        EXPECT_EQ(t.dst.packed(), t.expected());
        EXPECT_TRUE(t.dst.paddingIntact());
    }
    EXPECT_EQ(ClSpy::svmArgs.load(), 0) << "a discrete device was handed shared memory";
    EXPECT_EQ(ClSpy::fineAllocs + ClSpy::coarseAllocs, 0);
    EXPECT_GT(ClSpy::bufferCreates.load(), 0);
    ncvDeinit();
    ClSpy::discrete = false;
    if (zor_test_svm_cap() == static_cast<int>(ZOR::kSvmNone)) return;
    // The same device reporting unified memory gets shared memory again.
    ASSERT_EQ(ncvInit(), 0);
    EXPECT_NE(ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode, ZOR::kSvmNone);
}

// A device that refuses large SVM alignments (many accept at most 128 bytes)
// still gives ncvMemAlloc blocks of the caller's alignment, usable in place.
TEST_F(Faults, AnAlignmentTheDeviceRefusesIsMadeByOffsetting) {
    ClSpy::maxSvmAlignment = 128;
    ASSERT_EQ(ncvInit(), 0);
    zor_test_take_log();
    for (uint32_t align : {256u, 4096u, 65536u}) {
        SCOPED_TRACE(align);
        void* block = ncvMemAlloc(kW * kH, align);
        ASSERT_NE(block, nullptr) << "an alignment the device refuses failed the allocation";
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % align, 0u);
        EXPECT_EQ(ncvIsNcvAllocBuffer(block), 1);
        expectTransposeOfBlock(block, 90 + align % 7);
        ncvMemFree(block);
        EXPECT_EQ(ncvIsNcvAllocBuffer(block), 0);
    }
    EXPECT_TRUE(zor_test_take_log().empty());
}

// An image larger than the device's largest allocation runs the CPU method
// (exactly); smaller ones still launch.
TEST_F(Faults, AnImageAboveTheDevicesLargestAllocationRunsOnTheCpu) {
    ClSpy::maxAlloc = 4096;
    ASSERT_EQ(ncvInit(), 0);
    {
        Transpose small(100);  // 37 x 23: fits
        const long before = ClSpy::enqueues;
        EXPECT_EQ(small.run(MIRA_MODE_OPENCL), MIRA_OK);
        EXPECT_EQ(ClSpy::enqueues.load(), before + 1);
        EXPECT_EQ(small.dst.packed(), small.expected());
    }
    constexpr uint32_t w = 90, h = 70;  // 6300 bytes
    GuardedImage src(w, h, w), dst(h, w, h), ref(h, w, h);
    src.fillRandom(101);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    const long before = ClSpy::enqueues, creates = ClSpy::bufferCreates;
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    mira::ncvTransposeu8(src.data(), w, h, src.stride(), ref.data(), ref.stride());
    EXPECT_EQ(dst.packed(), ref.packed());
    EXPECT_TRUE(dst.paddingIntact());
    EXPECT_EQ(ClSpy::enqueues.load(), before) << "an image above the device's limit was launched";
    EXPECT_EQ(ClSpy::bufferCreates.load(), creates);
    EXPECT_TRUE(logged(zor_test_take_log(), "more than the device takes"));
}

// Image records carry their buffer's size in full: 4 GiB and more neither
// wraps nor turns negative (the rows that lie in the buffer are all there);
// only sides and strides the kernels cannot take (2^31 and more) are refused.
TEST_F(Faults, ImageRecordsKeepSizesOf4GiBAndMore) {
    ASSERT_EQ(ncvInit(), 0);
    ZOR::opencl_res* res = ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0);
    uint8_t byte = 0;
    const size_t big = (size_t(1) << 32) + 5;
    ZOR_U8Info rows3{1, 3, big, 0x40000000u, 4, 1, 1, &byte};  // rows 1 GiB apart
    ZOR_U8Info wide{0x80000000u, 1, 1, 0x80000000u, 1, 1, 1, &byte};
    ZOR::opencl_param_u8 p{};
    EXPECT_TRUE(p.create(res->context, res->queue, &rows3, 0, 4, true));
    EXPECT_EQ(p.hostSize, static_cast<int64_t>(big));
    EXPECT_EQ(p.rows(), 3) << "rows of a 4 GiB buffer were cut";
    p.releaseMem();
    ZOR::opencl_param_u8 r{};
    EXPECT_FALSE(r.create(res->context, res->queue, &wide, 0, 4, true));
    r.releaseMem();
    zor_test_take_log();
}

// A block larger than the device allocates at once is registered host
// memory: ncvMemAlloc hands it out and ncvMemFree takes it back; an image in
// it that fits the device is staged and launched, a larger one runs the CPU
// method.
TEST_F(Faults, ABlockAboveTheDevicesLargestAllocationIsHostMemory) {
    ClSpy::maxAlloc = 8192;
    ASSERT_EQ(ncvInit(), 0);
    const long svmBefore = ClSpy::svm;
    void* block = ncvMemAlloc(3 * 8192, 64);
    ASSERT_NE(block, nullptr) << "a block above the device's largest allocation was refused";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 1);
    EXPECT_EQ(ClSpy::svm.load(), svmBefore) << "the driver was asked for more than it allocates";
    expectTransposeOfBlock(block, 31);  // 37 x 23: fits the device
    constexpr uint32_t w = 120, h = 100;  // 12000 bytes: does not
    GuardedImage src(w, h, w), dst(h, w, h), ref(h, w, h);
    src.fillRandom(32);
    std::memcpy(block, src.packed().data(), w * h);
    MIRA_Feature_Buf s{w, w, h, h, static_cast<uint8_t*>(block)};
    MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    const long before = ClSpy::enqueues;
    EXPECT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
    mira::ncvTransposeu8(src.data(), w, h, src.stride(), ref.data(), ref.stride());
    EXPECT_EQ(dst.packed(), ref.packed());
    EXPECT_TRUE(dst.paddingIntact());
    EXPECT_EQ(ClSpy::enqueues.load(), before) << "an image above the device's limit was launched";
    ncvMemFree(block);
    EXPECT_EQ(ncvIsNcvAllocBuffer(block), 0);
    zor_test_take_log();
}

// On a coarse-grained device a new block (ncvMemAlloc, or a staging buffer)
// is mapped for the host write-invalidate: it has no contents, and reading
// them back from the device would cost a copy on a discrete card.
TEST_F(Faults, NewCoarseBlocksAreMappedWithoutReadingTheDevice) {
    if (zor_test_svm_cap() < static_cast<int>(ZOR::kSvmCoarse)) GTEST_SKIP() << "shared memory forced off";
    ClSpy::coarseOnly = true;
    ASSERT_EQ(ncvInit(), 0);
    ASSERT_EQ(ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)->svmMode, ZOR::kSvmCoarse);
    void* block = ncvMemAlloc(1 << 16, 64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(ClSpy::readingMaps.load(), 0) << "a new block was mapped for reading";
    EXPECT_EQ(ClSpy::invalidatingMaps.load(), 1);
    // A call that stages a host source and destination: its two new staging
    // buffers are not read on creation either, and after the kernel only the
    // destination's buffer is mapped back with its contents.
    Transpose t(110);
    EXPECT_EQ(t.run(MIRA_MODE_OPENCL), MIRA_OK);
    EXPECT_EQ(t.dst.packed(), t.expected());
    EXPECT_EQ(ClSpy::readingMaps.load(), 1) << "bytes were read back that nobody reads";
    EXPECT_GE(ClSpy::invalidatingMaps.load(), 3) << "new staging buffers were not mapped write-invalidate";
    ncvMemFree(block);
    ClSpy::coarseOnly = false;
}

}  // namespace
