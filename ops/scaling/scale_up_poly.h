// Lanczos-3 up-scale of one plane or one channel (features 21 and 22).
#pragma once

#include "mira/mira_types.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"

namespace mira {

// Runs MIRA_IMAGE_UP_LANCZOS_U8_HALIDE on the given view of each descriptor.
int scale_up_lanczos(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, float factor,
                     PlaneView view);

// Source and destination usable by a polyphase up-scale: one of each, a
// record, data present, and a non-empty source when the destination is not.
bool poly_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                  uint8_t dstCount, const MIRA_Feature_Param* param);

}  // namespace mira
