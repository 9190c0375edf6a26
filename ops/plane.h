// Addressing of the planes the pixel code works on.
#pragma once

#include <cstdint>

#include "mira/mira_types.h"

namespace mira {

// Pointer to row y of a plane.
inline uint8_t* row_ptr(const MIRA_Feature_Buf& b, uint32_t y) {
    return b.data + static_cast<uint64_t>(y) * b.stride;
}

}  // namespace mira
