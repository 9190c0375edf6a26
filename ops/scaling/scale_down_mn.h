// Box down-scale of one 8-bit plane by an arbitrary ratio (M -> N per axis).
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// The CPU path: horizontal box line over each needed source row, then the
// vertical box line over those results (both rounding half up). MIRA_OK, or
// MIRA_ERR_FAIL when the working rows cannot be allocated (nothing written).
uint32_t scale_down_mn_u8_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst);

}  // namespace mira
