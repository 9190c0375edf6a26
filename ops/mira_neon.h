// The one place that knows how NEON is reached: native intrinsics on AArch64,
// SIMDe's emulation (mapped to SSE/AVX) everywhere else. CPU kernels include
// this header and use the plain v* intrinsic names.
#pragma once

#if defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#else
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/arm/neon.h>
#endif

#include <cstddef>

namespace mira {

// Kernels that stream at memory speed (a byte or two of work per byte moved)
// ask for their source this far ahead of the loads: on its own the hardware
// prefetcher left the CbCr swap about 15% short of a plain copy.
constexpr size_t kPrefetchAhead = 512;
inline void prefetch_source(const void* p) { __builtin_prefetch(p, 0, 3); }

}  // namespace mira
