// Lanczos-3 up-scale of one plane or one channel (features 21 and 22).
#pragma once

#include "mira/mira_types.h"
#include "ops/requests.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"

namespace mira {


// Runs the Lanczos pipeline on the given view of each descriptor, with the
// factor `fx` along rows and `fy` down the columns.
int scale_up_lanczos(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, float fx,
                     float fy, PlaneView view);

// The same for interleaved pixels of 3 or 4 channels (widths in bytes):
// every channel with the plane's arithmetic, whole pixels at a time.
int scale_up_lanczos_pixels(const MIRA_Feature_Buf& src, const MIRA_Feature_Buf& dst, float fx,
                            float fy, uint32_t channels);

// Source and destination usable by a polyphase up-scale: one of each, a
// record, data present, and a non-empty source when the destination is not.
bool poly_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                  uint8_t dstCount, const MIRA_Feature_Param* param);

}  // namespace mira
