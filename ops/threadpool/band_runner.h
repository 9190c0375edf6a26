// Splitting one call's work into bands. Every parallel CPU path of the
// library runs its bands here, on the one worker pool the Halide pipelines
// use as well (the runtime's halide_do_par_for), so that the pipelines, the
// M/N box scaling and the intensity statistics share one set of workers
// instead of competing for the cores with pools of their own.
#pragma once

#include <functional>

namespace mira {

// Runs fn(b) once for every band b in [0, bands) on the shared workers and
// the calling thread (which takes bands too), and returns when every band has
// finished. Whatever the caller wrote before the call is visible to every
// band, and whatever a band wrote is visible to the caller afterwards. Nested
// calls (from inside a band) are allowed.
void run_bands(int bands, const std::function<void(int)>& fn);

// Starts the shared workers if they are not running yet. A thread about to
// change its own affinity calls this first, so that workers it would create
// later do not inherit that affinity.
void start_band_workers();

}  // namespace mira
