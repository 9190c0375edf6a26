// 2x bilinear up-sample of an interleaved CbCr plane (feature 20).
#pragma once

#include "mira/mira_types.h"

namespace mira {

// The CPU method: MIRA_IMAGE_UP_BILINEAR_U8_HALIDE per channel, Cb then Cr,
// factor 2, edges replicated. Widths of the descriptors count bytes.
void upsample_2d_cbcr_cpu(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst);

}  // namespace mira
