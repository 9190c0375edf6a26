// The GPU runtime's entry header: all that the layers above gpu/ (features/,
// api/) may use of it. The records a feature fills for a kernel, the entry
// functions that stage and launch it, the device checks, the lifecycle and
// memory bridge, the program-cache directory and the log lines. Everything
// else under gpu/src/inc/ is the runtime's own; only the tests of the
// runtime itself reach past this header.
#pragma once

#include <cstdint>

#include "gpu/src/inc/param_utils.h"
#include "gpu/src/inc/zor_log.h"
#include "mira/mira_types.h"

// Lifecycle and memory bridge: codes 0..6; 0 means success.
MIRA_EXPORT int zor_cv_opencl_operation(uint32_t code, int32_t count, ...);

// Whether the device manager exists (brought up and not torn down since),
// without creating it.
bool zor_device_manager_exists();

// Whether the device manager exists and its initialisation succeeded.
bool zor_device_manager_inited();

namespace ZOR {
// The directory the app chose (mira_set_program_cache_dir): null returns to
// the environment's choice, "" turns the cache off. Also re-arms the one
// "cannot be written" line.
void program_cache_set_dir(const char* dir);
}  // namespace ZOR
