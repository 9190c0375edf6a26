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
