// Build-time test hooks of the GPU runtime. They are internal (hidden in the
// shared library); the test programs link the static archive and use them.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace ZOR {
struct ClApi;
}

// Makes the loader try only `path` (null restores the normal candidates).
// Takes effect at the next load; the device manager must not exist.
void zor_test_set_opencl_library(const char* path);
// Drops the loaded table so the next use loads again (the library handle
// stays open). The device manager must not exist.
void zor_test_unload_opencl();
// The live entry-point table, for injecting faults; null before a load.
ZOR::ClApi* zor_test_cl_table();
// Takes the oldest kept log line into `out` (non-Android builds keep the
// last 128 lines); 0 when none is left.
int zor_test_log_take(char* out, int outBytes);

// Caps the shared-memory kind of devices brought up from now on: 0 none
// (device buffers), 1 coarse-grained, 2 fine-grained (what the device has);
// -1 lifts the cap.
void zor_test_force_svm(int maxMode);
// Kernels built from now on launch with their preferred work-group shape on
// any device (normally GPUs only; other devices let the runtime choose).
void zor_test_force_group_shape(bool on);
// While on, every feature sees no usable device (as without OpenCL): GPU
// requests take their CPU fallback, the kernels' twins. The device stays up.
void zor_test_force_unusable(bool on);
// The cap in force (2 when none was set).
int zor_test_svm_cap();
// Kernel timing: while on, every launch takes a profiling event and its
// device time (end minus start) is added up. Costs an event per call.
void zor_test_time_kernels(bool on);
// Device nanoseconds of the kernels timed since the last take, and their
// number in *launches (may be null); both restart from zero.
uint64_t zor_test_take_kernel_ns(uint64_t* launches);

// Test programs that include this header run with the memory kind named by
// MIRA_TEST_SVM ("coarse" or "none"; anything else: as detected). The
// library itself never reads that variable.
inline const bool zor_test_svm_forced = [] {
    const char* v = std::getenv("MIRA_TEST_SVM");
    if (v && std::strcmp(v, "coarse") == 0) zor_test_force_svm(1);
    else if (v && std::strcmp(v, "none") == 0) zor_test_force_svm(0);
    // MIRA_TEST_GROUP_SHAPE=1: launches use the kernels' preferred work-group
    // shape on any device, so the rounded-up ranges run on PoCL too.
    const char* g = std::getenv("MIRA_TEST_GROUP_SHAPE");
    if (g && std::strcmp(g, "1") == 0) zor_test_force_group_shape(true);
    return v != nullptr;
}();

// The log lines written since the last call.
inline std::vector<std::string> zor_test_take_log() {
    std::vector<std::string> lines;
    char line[1024];
    while (zor_test_log_take(line, sizeof line)) lines.emplace_back(line);
    return lines;
}
