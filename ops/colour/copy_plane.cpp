#include "ops/colour/copy_plane.h"

#include <cstring>

#include "mira/mira_kernels.h"

namespace mira {

// Rows are moved with memcpy: a plain copy is already vectorised (and aligned
// to the machine's widest stores) by the C library, which no hand-written
// 16-byte loop beats.
void copy_plane(const uint8_t* src, int srcStride, uint8_t* dst, int dstStride, int width,
                int height) {
    if (src == nullptr || dst == nullptr || width <= 0 || height == 0) return;
    int64_t dStep = dstStride;
    int64_t rows = height;
    if (height < 0) {
        rows = -(int64_t)height;
        dst += (rows - 1) * dStep;
        dStep = -dStep;
    }
    if (src == dst && srcStride == dStep) return;
    if (srcStride == width && dStep == width) {
        std::memmove(dst, src, (size_t)rows * (size_t)width);
        return;
    }
    for (int64_t y = 0; y < rows; ++y) std::memmove(dst + y * dStep, src + y * srcStride, width);
}

void Copy_Plane(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h) {
    copy_plane(src, s, dst, dstS, w, h);
}
void Copy_Plane_0(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h) {
    copy_plane(src, s, dst, dstS, w, h);
}

}  // namespace mira
