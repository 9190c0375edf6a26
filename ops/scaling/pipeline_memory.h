// Memory of the scaling pipelines. Their per-band intermediates (source rows
// in float, partial sums) are blocks of a few hundred KiB, allocated and
// freed many times per call. Through the C allocator such blocks sit at the
// mmap/trim thresholds, so that every band can pay for fresh pages (a 2x
// chroma up-sample of 960x540 pairs took 9.9 ms instead of 1.1 ms in a fresh
// process on glibc). The pipelines' allocator keeps a few freed blocks per
// thread for the next bands and calls instead.
#pragma once

#include <cstddef>

namespace mira {

// Makes the pipelines allocate through the block caches (once per process,
// while the library loads; every feature also calls it before its pipeline
// calls). An allocator set with halide_set_custom_malloc and
// halide_set_custom_free afterwards (both, while no pipeline runs) takes
// over.
void pipeline_memory_install();

// Returns every thread's cached blocks to the C allocator (ncvDeinit does;
// blocks in use are not affected).
void pipeline_memory_release();

// The blocks and bytes all caches hold now.
struct PipelineMemoryStats {
    size_t blocks;
    size_t bytes;
};
PipelineMemoryStats pipeline_memory_stats();

}  // namespace mira
