// Splitting one call's work into bands run by the caller and pool workers.
#pragma once

#include <cstdint>
#include <functional>

#include "ops/threadpool/threadpool.h"

namespace mira {

// Runs fn(b) once for every band b in [0, bands): the calling thread and up
// to `helpers` jobs queued on `pool` take bands in turn until none is left,
// and the call returns when every band has finished. A helper that starts
// after all bands are taken leaves at once, so the caller only ever waits for
// bands already under way (briefly polling, then sleeping). Without a pool,
// or when a job cannot be queued, the caller runs the bands itself. Returns
// false only if the call's state cannot be allocated (nothing ran then).
bool threadpool_run_bands(threadpool pool, int bands, int helpers,
                          const std::function<void(int)>& fn);

// Processors beyond the calling thread's, at least 0 and at most `limit`.
int spare_processors(int limit);

}  // namespace mira
