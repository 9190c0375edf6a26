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

}  // namespace mira
