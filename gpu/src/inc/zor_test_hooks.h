// Build-time test hooks of the GPU runtime. They are internal (hidden in the
// shared library); the test programs link the static archive and use them.
#pragma once

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

// The log lines written since the last call.
inline std::vector<std::string> zor_test_take_log() {
    std::vector<std::string> lines;
    char line[1024];
    while (zor_test_log_take(line, sizeof line)) lines.emplace_back(line);
    return lines;
}
