// Helpers shared by the feature classes: argument checks and mode dispatch.
#pragma once

#include <cstdint>
#include "mira/mira_features.h"
#include "ops/plane.h"

namespace mira {

// Source/destination list checks as every image feature makes them: lists not
// null, counts within [min, max], record not null when required.
inline bool lists_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, uint8_t srcMin,
                     uint8_t srcMax, const MIRA_Feature_Buf* dst, uint8_t dstCount,
                     uint8_t dstMin, uint8_t dstMax) {
    return src != nullptr && dst != nullptr && srcCount >= srcMin && srcCount <= srcMax &&
           dstCount >= dstMin && dstCount <= dstMax;
}

// A list of exactly `count` descriptors, each with its data present.
inline bool planes_present(const MIRA_Feature_Buf* list, uint8_t count, uint8_t want) {
    if (list == nullptr || count != want) return false;
    for (uint8_t i = 0; i < want; ++i)
        if (list[i].data == nullptr) return false;
    return true;
}

}  // namespace mira
