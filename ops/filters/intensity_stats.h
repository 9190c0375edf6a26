// Mean and unbiased sample variance of a rectangle of an 8-bit plane.
#pragma once

#include <cstdint>

namespace mira {

// Sum and sum of squares of `rows` rows of `width` pixels, 64-bit.
void intensity_moments_neon(const uint8_t* data, uint32_t width, uint32_t rows, uint32_t stride,
                            uint64_t* sum, uint64_t* sumSquares);

// Mean and (N - 1) variance from the moments of N pixels: mean in single
// precision as sum / N, variance from the exact integer expression
// (N * sumSquares - sum^2) / (N * (N - 1)) in double; N = 1 gives 0.
void intensity_finish(uint64_t sum, uint64_t sumSquares, uint64_t n, float* mean,
                      float* variance);

// Pins the calling thread to CPUs 4 to 7: 0 on success, -1 otherwise.
int set_sched_affinity();

// Mean and sample variance of `height` rows of `width` bytes, `stride` bytes
// apart, in four bands on the caller and the shared pool; the caller stays
// pinned for the call and gets its CPU set back. An empty image gives 0 and 0.
// False when the bands' state could not be had.
bool intensity_stats_cpu(const uint8_t* data, uint32_t width, uint32_t height, uint32_t stride,
                         float* mean, float* variance);

}  // namespace mira
