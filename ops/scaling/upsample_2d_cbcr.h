// 2x bilinear up-sample of an interleaved CbCr plane (feature 20).
#pragma once

#include "mira/mira_types.h"

namespace mira {

// The CPU method: the bytes of MIRA_IMAGE_UP_BILINEAR_U8_HALIDE per channel,
// factor 2, edges replicated (through the general scale's integer 2x route
// where the destination is exactly twice as wide). Widths of the descriptors
// count bytes.
void upsample_2d_cbcr_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst);

}  // namespace mira
