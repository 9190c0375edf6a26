// Built OpenCL programs kept on disk (binaries keyed by device, driver
// version, build options and source).
#pragma once

#include <string>

#include "gpu/src/inc/mira_gpu.h"
#include "gpu/src/inc/opencl_res.h"

namespace ZOR {

// The program of `source` built with `options` for the device of `res` from
// the cache, or null (no entry, or one that is foreign, damaged or refused).
cl_program program_cache_load(const opencl_res& res, const char* source,
                              const std::string& options);
// Files the binary of a program just built from `source`.
void program_cache_store(const opencl_res& res, cl_program program, const char* source,
                         const std::string& options);

}  // namespace ZOR
