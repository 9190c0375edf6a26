// Built OpenCL programs kept on disk (binaries keyed by device, driver
// version, build options and source).
#pragma once

#include <string>

#include "opencl_res.h"

namespace ZOR {

// The program of `source` built with `options` for the device of `res` from
// the cache, or null (no entry, or one that is foreign, damaged or refused).
cl_program program_cache_load(const opencl_res& res, const char* source,
                              const std::string& options);
// The directory the app chose (mira_set_program_cache_dir): null returns to
// the environment's choice, "" turns the cache off. Also re-arms the one
// "cannot be written" line.
void program_cache_set_dir(const char* dir);
// Files the binary of a program just built from `source`.
void program_cache_store(const opencl_res& res, cl_program program, const char* source,
                         const std::string& options);

}  // namespace ZOR
