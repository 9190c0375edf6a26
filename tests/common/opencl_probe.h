// Whether this machine offers an OpenCL device the library takes, found
// without the library: its own dlopen of the ICD loader, platforms and
// devices. GPU tests use it to tell a machine without one (an AArch64 build
// under qemu, a host without a GPU and without MIRA_OPENCL_DEVICE), where
// ncvInit must report failure, from a library that fails to bring up a device
// that exists, which stays an error.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "mira/mira.h"
#include "gpu/src/inc/param_utils.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace mira_test {

// Whether this machine has an OpenCL device that the library's device choice
// takes: a GPU; or, with MIRA_OPENCL_DEVICE=any, any device; or, with another
// value, a device whose name contains it.
inline bool machine_has_opencl() {
    static const bool has = [] {
        void* lib = dlopen("libOpenCL.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!lib) lib = dlopen("libOpenCL.so", RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        using GetPlatforms = int32_t (*)(uint32_t, void**, uint32_t*);
        using GetDevices = int32_t (*)(void*, uint64_t, uint32_t, void**, uint32_t*);
        using GetInfo = int32_t (*)(void*, uint32_t, size_t, void*, size_t*);
        auto platforms = reinterpret_cast<GetPlatforms>(dlsym(lib, "clGetPlatformIDs"));
        auto devices = reinterpret_cast<GetDevices>(dlsym(lib, "clGetDeviceIDs"));
        auto info = reinterpret_cast<GetInfo>(dlsym(lib, "clGetDeviceInfo"));
        uint32_t n = 0;
        if (!platforms || !devices || !info || platforms(0, nullptr, &n) != 0 || n == 0)
            return false;
        std::vector<void*> ids(n);
        if (platforms(n, ids.data(), nullptr) != 0) return false;
        const char* rule = std::getenv("MIRA_OPENCL_DEVICE");
        const std::string want = rule ? rule : "";
        const uint64_t kAllDevices = 0xFFFFFFFFu;  // CL_DEVICE_TYPE_ALL
        const uint64_t kGpu = 1u << 2;              // CL_DEVICE_TYPE_GPU
        const uint32_t kType = 0x1000, kName = 0x102B;  // CL_DEVICE_TYPE, CL_DEVICE_NAME
        for (void* p : ids) {
            uint32_t count = 0;
            if (devices(p, kAllDevices, 0, nullptr, &count) != 0 || count == 0) continue;
            std::vector<void*> devs(count);
            if (devices(p, kAllDevices, count, devs.data(), nullptr) != 0) continue;
            for (void* d : devs) {
                uint64_t type = 0;
                char name[256] = {0};
                info(d, kType, sizeof type, &type, nullptr);
                info(d, kName, sizeof name - 1, name, nullptr);
                if (want == "any") return true;
                if (!want.empty()) {
                    if (std::string(name).find(want) != std::string::npos) return true;
                    continue;
                }
                if (type & kGpu) return true;
            }
        }
        return false;
    }();
    return has;
}

// What ncvInit must return on this machine.
inline int expected_init() { return machine_has_opencl() ? 0 : 1; }

// Whether mode 1 reaches an OpenCL device here; without one it runs the CPU
// method, which the same expectations then cover.
inline bool gpu_live() {
    static const bool live = [] {
        const bool up = ncvInit() == 0 && zor_opencl_usable();
        // A device that exists must come up; without one mode 1 is the CPU path.
        if (machine_has_opencl() && !up) ADD_FAILURE() << "no OpenCL device came up";
        std::fprintf(stderr, "mode 1 runs %s\n", up ? "on the OpenCL device" : "the CPU method");
        return up;
    }();
    return live;
}

// The set-up of a test program that runs on the device: ncvInit reports what
// this machine offers; the device is released at the end.
class GpuEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_EQ(ncvInit(), expected_init()) << "OpenCL device on this machine: "
                                              << machine_has_opencl();
    }
    void TearDown() override { ncvDeinit(); }
};

}  // namespace mira_test

// Brings the device up for a test that needs one. On a machine without any
// OpenCL device it checks that ncvInit reports failure and skips the rest of
// the test; elsewhere a device that does not come up fails the test.
#define MIRA_INIT_DEVICE_OR_SKIP()                                                  \
    do {                                                                            \
        if (!mira_test::machine_has_opencl()) {                                     \
            ASSERT_EQ(ncvInit(), 1) << "ncvInit succeeded without any OpenCL device"; \
            GTEST_SKIP() << "no OpenCL device on this machine";                     \
        }                                                                           \
        ASSERT_EQ(ncvInit(), 0) << "no OpenCL device came up";                      \
    } while (0)

// For a test that means nothing without a device, once the test's set-up has
// checked ncvInit against expected_init().
#define MIRA_SKIP_WITHOUT_OPENCL()                                                  \
    do {                                                                            \
        if (!mira_test::machine_has_opencl())                                       \
            GTEST_SKIP() << "no OpenCL device on this machine";                     \
    } while (0)
