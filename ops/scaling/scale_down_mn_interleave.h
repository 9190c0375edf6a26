// Box down-scale of an interleaved two-channel (CbCr) plane by an arbitrary
// ratio; each channel is averaged on its own.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// The CPU path: `width` counts bytes (two per pair). Cb then Cr boxes along
// the rows, then the vertical boxes over the intermediate rows; writes whole
// pairs of each destination row's width and nothing else. MIRA_OK, or
// MIRA_ERR_FAIL when the intermediate block cannot be allocated.
uint32_t scale_down_mn_interleave_u8_cpu(const MIRA_Feature_Buf& src,
                                         const MIRA_Feature_Buf& dst);

// The CPU twin of the GPU kernel (ops/scaling/scale_down_mn_quotient.h), for
// GPU requests that run on the CPU: boxes of the integer ratio at the
// truncated float position, each channel's float mean rounded half up.
uint32_t scale_down_mn_interleave_u8_twin(const MIRA_Feature_Buf& src,
                                          const MIRA_Feature_Buf& dst);

}  // namespace mira
