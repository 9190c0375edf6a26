// Box down-scale of one 8-bit plane by an arbitrary ratio (M -> N per axis).
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// The CPU method, the kernel's arithmetic (ops/scaling/scale_down_mn_quotient.h):
// a box of the integer ratio at the truncated float position, truncated mean.
// MIRA_OK, or MIRA_ERR_FAIL when the working rows cannot be allocated
// (nothing written).
// With `channels` 3 or 4 the rows hold interleaved pixels (widths in bytes),
// each channel scaled with its plane's arithmetic (both methods).
uint32_t scale_down_mn_u8_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                              uint32_t channels = 1);
// The area average: horizontal box line over each needed source row, then the
// vertical box line over those results (both rounding half up), so every
// source pixel counts. Status as above.
uint32_t scale_down_mn_u8_area(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst,
                               uint32_t channels = 1);

}  // namespace mira
