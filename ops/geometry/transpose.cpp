#include "ops/geometry/transpose.h"

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

// Transposes the 16 x 8 tile at `src` into 8 destination rows of 16 bytes.
// The even and the odd source rows travel as the low and high halves of eight
// q registers, so one set of byte/half-word/word exchanges transposes both
// 8 x 8 blocks; the store interleaves them back into row order.
inline void transpose_tile_16x8(const uint8_t* src, uint64_t srcStride, uint8_t* dst,
                                uint64_t dstStride) {
    uint8x16_t q[8];
    for (int i = 0; i < 8; ++i) {
        const uint8_t* even = src + (2 * i) * srcStride;
        q[i] = vcombine_u8(vld1_u8(even), vld1_u8(even + srcStride));
    }
    uint8x16x2_t b01 = vtrnq_u8(q[0], q[1]);
    uint8x16x2_t b23 = vtrnq_u8(q[2], q[3]);
    uint8x16x2_t b45 = vtrnq_u8(q[4], q[5]);
    uint8x16x2_t b67 = vtrnq_u8(q[6], q[7]);

    uint16x8x2_t h02 = vtrnq_u16(vreinterpretq_u16_u8(b01.val[0]), vreinterpretq_u16_u8(b23.val[0]));
    uint16x8x2_t h13 = vtrnq_u16(vreinterpretq_u16_u8(b01.val[1]), vreinterpretq_u16_u8(b23.val[1]));
    uint16x8x2_t h46 = vtrnq_u16(vreinterpretq_u16_u8(b45.val[0]), vreinterpretq_u16_u8(b67.val[0]));
    uint16x8x2_t h57 = vtrnq_u16(vreinterpretq_u16_u8(b45.val[1]), vreinterpretq_u16_u8(b67.val[1]));

    uint32x4x2_t w04 = vtrnq_u32(vreinterpretq_u32_u16(h02.val[0]), vreinterpretq_u32_u16(h46.val[0]));
    uint32x4x2_t w15 = vtrnq_u32(vreinterpretq_u32_u16(h13.val[0]), vreinterpretq_u32_u16(h57.val[0]));
    uint32x4x2_t w26 = vtrnq_u32(vreinterpretq_u32_u16(h02.val[1]), vreinterpretq_u32_u16(h46.val[1]));
    uint32x4x2_t w37 = vtrnq_u32(vreinterpretq_u32_u16(h13.val[1]), vreinterpretq_u32_u16(h57.val[1]));

    const uint32x4_t cols[8] = {w04.val[0], w15.val[0], w26.val[0], w37.val[0],
                                w04.val[1], w15.val[1], w26.val[1], w37.val[1]};
    for (int c = 0; c < 8; ++c) {
        uint8x16_t col = vreinterpretq_u8_u32(cols[c]);
        uint8x8x2_t z = vzip_u8(vget_low_u8(col), vget_high_u8(col));
        vst1q_u8(dst + c * dstStride, vcombine_u8(z.val[0], z.val[1]));
    }
}

}  // namespace

void transpose_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                       uint8_t* dst, uint32_t dstStride) {
    const uint64_t S = srcStride, D = dstStride, W = width, H = height;
    uint64_t y = 0;
    for (; y + 16 <= H; y += 16) {
        const uint8_t* band = src + y * S;
        uint64_t x = 0;
        for (; x + 8 <= W; x += 8) transpose_tile_16x8(band + x, S, dst + x * D + y, D);
        for (; x < W; ++x) {  // leftover columns: gather 16 bytes down the band
            uint8_t column[16];
            for (int r = 0; r < 16; ++r) column[r] = band[r * S + x];
            vst1q_u8(dst + x * D + y, vld1q_u8(column));
        }
    }
    for (; y < H; ++y) {  // leftover rows: each goes down one destination column
        const uint8_t* row = src + y * S;
        uint8_t* col = dst + y;
        uint64_t x = 0;
        for (; x + 9 <= W; x += 8) {
            uint8_t bytes[8];
            vst1_u8(bytes, vld1_u8(row + x));
            for (int k = 0; k < 8; ++k) col[(x + k) * D] = bytes[k];
        }
        for (; x < W; ++x) col[x * D] = row[x];
    }
}

void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                    uint32_t dstS) {
    transpose_u8_neon(src, w, h, s, dst, dstS);
}

}  // namespace mira

uint32_t MIRA_TRANSPOSE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_TRANSPOSE_U8_opencl(src, srcCount, dst, dstCount, param);
    if (src == nullptr || srcCount > 1 || dst == nullptr || dstCount == 0) return MIRA_ERR_ARG;
    if (src->data == nullptr || dst->data == nullptr) return MIRA_ERR_ARG;
    mira::transpose_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                            dst->stride);
    return MIRA_OK;
}

uint32_t MIRA_TRANSPOSE_U8::MIRA_TRANSPOSE_U8_neon(MIRA_FEATURE_ARGS) {
    if (src == nullptr || srcCount > 1 || dst == nullptr || dstCount == 0 || param == nullptr)
        return MIRA_ERR_ARG;
    if (src->data == nullptr || dst->data == nullptr) return MIRA_ERR_ARG;
    mira::transpose_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                            dst->stride);
    return MIRA_OK;
}

// Until the GPU runtime is wired in, the GPU request runs the CPU method.
uint32_t MIRA_TRANSPOSE_U8::MIRA_TRANSPOSE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (src == nullptr || srcCount == 0 || srcCount > 1 || dst == nullptr || dstCount == 0 ||
        param == nullptr)
        return MIRA_ERR_ARG;
    return MIRA_TRANSPOSE_U8_neon(src, srcCount, dst, dstCount, param);
}
