// The GPU runtime's entry header: all that the layers above gpu/ (features/,
// api/) may use of it. The records a feature fills for a kernel, the entry
// functions that stage and launch it, the device checks, the lifecycle and
// memory bridge, the program-cache directory and the log lines. Everything
// else under gpu/src/inc/ is the runtime's own; only the tests of the
// runtime itself reach past this header.
//
// Threads: the entry functions may be called from any thread at once. A call
// takes a command queue from the device's pool for its whole life (its
// uploads, launch, wait and read-backs go there), sets its kernel's arguments
// and enqueues it under the kernel registry's lock (KernelUtils::gMutex), and
// waits for its queue with no lock held. The device manager's mutex guards
// the registries (shared-memory blocks, staging pool, device buffers, idle
// queues) and is held only to enqueue: on coarse-grained devices the maps and
// unmaps of a call's own byte ranges go to the device's in-order map queue
// under it, and the call waits for them after releasing it. A call returns
// with every range it lent mapped back for the host (unless another call in
// flight still holds the same bytes), and touches no mapping outside its
// ranges except to re-map, write-invalidate, the rest of a piece it split.
// ncvDeinit waits for the calls in flight (the lifecycle gate).
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
