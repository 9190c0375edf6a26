// The GPU transpose through the manager and its check against the formula,
// for the tests of the GPU runtime's memory handling.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "mira/mira_features.h"

namespace mira_test {

inline uint32_t gpu_transpose(const uint8_t* src, uint32_t w, uint32_t h, uint32_t srcStride,
                              uint8_t* dst, uint32_t dstStride) {
    MIRA_Feature_Buf s{w, srcStride, h, h, const_cast<uint8_t*>(src)};
    MIRA_Feature_Buf d{h, dstStride, w, w, dst};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    return MIRA_Manager().run(&s, 1, &d, 1, &p);
}

// dst(r, c) = src(c, r) for every defined pixel.
inline void expect_transposed(const uint8_t* src, uint32_t w, uint32_t h, uint32_t srcStride,
                              const uint8_t* dst, uint32_t dstStride) {
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c)
            ASSERT_EQ(dst[size_t(r) * dstStride + c], src[size_t(c) * srcStride + r])
                << "row " << r << " col " << c;
}

}  // namespace mira_test
