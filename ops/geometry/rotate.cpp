#include "ops/geometry/rotate.h"

#include <cmath>
#include <cstring>

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/mira_neon.h"
#include "param_utils.h"

namespace mira {

namespace {

// Transposes 16 rows of 16 bytes in place: four rounds of zipping row i with
// row i + 8. Each round rotates the 8-bit (row, column) index left by one, so
// after four rounds row c holds what was column c.
inline void transpose_16x16(uint8x16_t r[16]) {
    for (int round = 0; round < 4; ++round) {
        uint8x16_t t[16];
        for (int i = 0; i < 8; ++i) {
            const uint8x16x2_t z = vzipq_u8(r[i], r[i + 8]);
            t[2 * i] = z.val[0];
            t[2 * i + 1] = z.val[1];
        }
        for (int i = 0; i < 16; ++i) r[i] = t[i];
    }
}

// Generic transpose with signed row steps: destination row c, byte r receives
// source row r, byte c. "Source row r" is s0 + r * sStep and "destination row
// c" is d0 + c * dStep, so negative steps walk a plane bottom-up and turn the
// transpose into a rotation. Whole 16 x 16 tiles go through registers with
// 16-byte loads and stores; partial tiles at the right and bottom edges are
// staged through a small buffer and use the same register transpose, moving
// exactly the pixels that exist.
void transpose_signed(const uint8_t* s0, int64_t sStep, uint8_t* d0, int64_t dStep, uint32_t rows,
                      uint32_t cols) {
    for (uint32_t r0 = 0; r0 < rows; r0 += 16) {
        const uint32_t nr = rows - r0 < 16 ? rows - r0 : 16;
        for (uint32_t c0 = 0; c0 < cols; c0 += 16) {
            const uint32_t nc = cols - c0 < 16 ? cols - c0 : 16;
            uint8x16_t q[16];
            if (nr == 16 && nc == 16) {
                for (int i = 0; i < 16; ++i) q[i] = vld1q_u8(s0 + (int64_t)(r0 + i) * sStep + c0);
                transpose_16x16(q);
                for (int c = 0; c < 16; ++c) vst1q_u8(d0 + (int64_t)(c0 + c) * dStep + r0, q[c]);
            } else {
                uint8_t tile[16][16] = {};
                for (uint32_t i = 0; i < nr; ++i)
                    std::memcpy(tile[i], s0 + (int64_t)(r0 + i) * sStep + c0, nc);
                for (int i = 0; i < 16; ++i) q[i] = vld1q_u8(tile[i]);
                transpose_16x16(q);
                for (uint32_t c = 0; c < nc; ++c) {
                    vst1q_u8(tile[c], q[c]);
                    std::memcpy(d0 + (int64_t)(c0 + c) * dStep + r0, tile[c], nr);
                }
            }
        }
    }
}

}  // namespace

static void neon_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                    uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(y', H - 1 - x'): the source read from its last row up.
    transpose_signed(src + (int64_t)(h - 1) * s, -(int64_t)s, dst, ds, h, w);
}

static void neon_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                     uint32_t ds) {
    if (w == 0 || h == 0) return;
    // dst(x', y') = src(W - 1 - y', x'): the destination written from its last row up.
    transpose_signed(src, s, dst + (int64_t)(w - 1) * ds, -(int64_t)ds, h, w);
}

static void neon_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                     uint32_t ds) {
    static const uint8_t kReverse[16] = {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    const uint8x16_t rev = vld1q_u8(kReverse);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = src + (uint64_t)(h - 1 - y) * s;
        uint8_t* out = dst + (uint64_t)y * ds;
        uint32_t x = 0;
        // dst[x + k] = in[w - 1 - x - k]: 32 bytes per step read from the row's end.
        for (; x + 32 <= w; x += 32) {
            const uint8x16_t a = vld1q_u8(in + w - x - 16);
            const uint8x16_t b = vld1q_u8(in + w - x - 32);
            vst1q_u8(out + x, vqtbl1q_u8(a, rev));
            vst1q_u8(out + x + 16, vqtbl1q_u8(b, rev));
        }
        if (x + 16 <= w) {
            vst1q_u8(out + x, vqtbl1q_u8(vld1q_u8(in + w - x - 16), rev));
            x += 16;
        }
        if (x < w && w >= 16) {
            // The last partial piece: one more 16-byte step ending at the row's
            // end, overlapping bytes already written with the same values.
            vst1q_u8(out + w - 16, vqtbl1q_u8(vld1q_u8(in), rev));
            x = w;
        }
        for (; x < w; ++x) out[x] = in[w - 1 - x];
    }
}

void rotate_u8_neon(const uint8_t* src, uint32_t width, uint32_t height, uint32_t srcStride,
                    uint8_t* dst, uint32_t dstStride, int rotation) {
    switch (rotation) {
        case 1: neon_rotate_90(src, width, height, srcStride, dst, dstStride); break;
        case 2: neon_rotate_180(src, width, height, srcStride, dst, dstStride); break;
        case 3: neon_rotate_270(src, width, height, srcStride, dst, dstStride); break;
        default: break;  // unknown code: nothing is written
    }
}

double rotation_angle(int rotation) {
    // Angle x 2 pi for 90, 180 and 270 degrees, divided by 360.
    static const double kTurns[3] = {565.4866776461628, 1130.9733552923256, 1696.4600329384882};
    return rotation >= 1 && rotation <= 3 ? kTurns[rotation - 1] / 360.0 : 0.0;
}

void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                      uint32_t dstS, int rotation) {
    rotate_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_Imageu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                            uint32_t dstS) {
    neon_rotate_90(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    neon_rotate_180(src, w, h, s, dst, dstS);
}
void neon_Imageu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                             uint8_t* dst, uint32_t dstS) {
    neon_rotate_270(src, w, h, s, dst, dstS);
}

}  // namespace mira

namespace {

bool rotate_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                    uint8_t dstCount) {
    return src != nullptr && srcCount != 0 && dst != nullptr && dstCount == 1 &&
           src->data != nullptr && dst->data != nullptr;
}

}  // namespace

uint32_t MIRA_ROTATE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_ROTATE_U8_opencl(src, srcCount, dst, dstCount, param);
    if (!rotate_args_ok(src, srcCount, dst, dstCount) || param == nullptr) return MIRA_ERR_ARG;
    mira::rotate_u8_neon(src->data, src->width, src->height, src->stride, dst->data, dst->stride,
                         param->arg);
    return MIRA_OK;
}

uint32_t MIRA_ROTATE_U8::MIRA_ROTATE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!rotate_args_ok(src, srcCount, dst, dstCount) || param == nullptr) return MIRA_ERR_ARG;
    mira::rotate_u8_neon(src->data, src->width, src->height, src->stride, dst->data, dst->stride,
                         param->arg);
    return MIRA_OK;
}

uint32_t MIRA_ROTATE_U8::MIRA_ROTATE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (src == nullptr || dst == nullptr || param == nullptr || srcCount == 0 || dstCount == 0 ||
        src->data == nullptr || dst->data == nullptr)
        return MIRA_ERR_ARG;
    if (!zor_opencl_usable()) return MIRA_ROTATE_U8_neon(src, srcCount, dst, dstCount, param);
    const int rotation = param->arg;
    if (rotation < 1 || rotation > 3) return MIRA_OK;  // unknown code: nothing is written
    if (src->width == 0 || src->height == 0) return MIRA_OK;

    ZOR_U8Info in = zor_u8_info(*src), out = zor_u8_info(*dst);
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve = zor_reserve(MIRA_API_ROTATE_U8, "mira_fcvRotateImageu8_func");
    kernel_config cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.stepX = 8;
    cfg.stepY = 2;
    cfg.stepZ = 1;
    cfg.timesX = cfg.timesY = cfg.timesZ = 1;
    const double angle = mira::rotation_angle(rotation);
    cfg.param_float_1 = static_cast<float>(std::sin(angle));
    cfg.param_float_2 = static_cast<float>(std::cos(angle));
    zor_cv_process_u8_u8(ins, 1, outs, 1, &reserve, &cfg);
    return MIRA_OK;
}
