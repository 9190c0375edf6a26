// Build-time test hooks. They are internal (not exported from the shared
// library); the test programs link the static archive and set them.
#pragma once

#include <cstdint>
#include "mira/mira_types.h"

namespace mira {

// Called by MIRA_Manager::run with the request exactly as it arrived, before
// the feature runs; returning false skips the feature (status MIRA_OK). Null
// in normal use.
using RunObserver = bool (*)(const MIRA_Feature_Buf* src, uint8_t srcCount,
                             const MIRA_Feature_Buf* dst, uint8_t dstCount,
                             const MIRA_Feature_Param* param);
extern RunObserver g_run_observer;

}  // namespace mira
