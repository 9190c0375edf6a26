#include "ops/geometry/rotate_interleaved.h"

#include <cmath>
#include <cstring>

#include "api/feature_common.h"
#include "mira/mira_kernels.h"
#include "ops/geometry/rotate.h"
#include "ops/mira_neon.h"
#include "param_utils.h"

namespace mira {

namespace {

// Transposes 8 rows of 8 two-byte pixels in place: three rounds of zipping
// row i with row i + 4 as 16-bit lanes, so each pixel's two bytes stay
// together and in order.
inline void transpose_8x8_u16(uint16x8_t r[8]) {
    for (int round = 0; round < 3; ++round) {
        uint16x8_t t[8];
        for (int i = 0; i < 4; ++i) {
            const uint16x8x2_t z = vzipq_u16(r[i], r[i + 4]);
            t[2 * i] = z.val[0];
            t[2 * i + 1] = z.val[1];
        }
        for (int i = 0; i < 8; ++i) r[i] = t[i];
    }
}

// Destination row c, pixel r receives source row r, pixel c, with signed row
// steps in bytes (see the planar rotation). Whole 8 x 8 pixel tiles move
// through registers as 16-byte rows; edge tiles are staged through a buffer
// and moved pixel-exactly.
void transpose_signed_u16(const uint8_t* s0, int64_t sStep, uint8_t* d0, int64_t dStep,
                          uint32_t rows, uint32_t cols) {
    for (uint32_t r0 = 0; r0 < rows; r0 += 8) {
        const uint32_t nr = rows - r0 < 8 ? rows - r0 : 8;
        for (uint32_t c0 = 0; c0 < cols; c0 += 8) {
            const uint32_t nc = cols - c0 < 8 ? cols - c0 : 8;
            uint16x8_t q[8];
            if (nr == 8 && nc == 8) {
                for (int i = 0; i < 8; ++i)
                    q[i] = vreinterpretq_u16_u8(vld1q_u8(s0 + (int64_t)(r0 + i) * sStep + 2 * c0));
                transpose_8x8_u16(q);
                for (int c = 0; c < 8; ++c)
                    vst1q_u8(d0 + (int64_t)(c0 + c) * dStep + 2 * r0, vreinterpretq_u8_u16(q[c]));
            } else {
                uint8_t tile[8][16] = {};
                for (uint32_t i = 0; i < nr; ++i)
                    std::memcpy(tile[i], s0 + (int64_t)(r0 + i) * sStep + 2 * c0, 2 * nc);
                for (int i = 0; i < 8; ++i) q[i] = vreinterpretq_u16_u8(vld1q_u8(tile[i]));
                transpose_8x8_u16(q);
                for (uint32_t c = 0; c < nc; ++c) {
                    vst1q_u8(tile[c], vreinterpretq_u8_u16(q[c]));
                    std::memcpy(d0 + (int64_t)(c0 + c) * dStep + 2 * r0, tile[c], 2 * nr);
                }
            }
        }
    }
}

void rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst, uint32_t ds) {
    if (w == 0 || h == 0) return;
    transpose_signed_u16(src + (int64_t)(h - 1) * s, -(int64_t)s, dst, ds, h, w);
}

void rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    if (w == 0 || h == 0) return;
    transpose_signed_u16(src, s, dst + (int64_t)(w - 1) * ds, -(int64_t)ds, h, w);
}

// Each destination row is source row H - 1 - y with its pixel order reversed
// and the byte order inside each pixel kept.
void rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                uint32_t ds) {
    static const uint8_t kReverse[16] = {14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1};
    const uint8x16_t rev = vld1q_u8(kReverse);
    const uint64_t bytes = 2ull * w;
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* in = src + (uint64_t)(h - 1 - y) * s;
        uint8_t* out = dst + (uint64_t)y * ds;
        uint64_t x = 0;  // byte position in the destination row
        for (; x + 32 <= bytes; x += 32) {
            const uint8x16_t a = vld1q_u8(in + bytes - x - 16);
            const uint8x16_t b = vld1q_u8(in + bytes - x - 32);
            vst1q_u8(out + x, vqtbl1q_u8(a, rev));
            vst1q_u8(out + x + 16, vqtbl1q_u8(b, rev));
        }
        if (x + 16 <= bytes) {
            vst1q_u8(out + x, vqtbl1q_u8(vld1q_u8(in + bytes - x - 16), rev));
            x += 16;
        }
        if (x < bytes && bytes >= 16) {
            // Last piece: one 16-byte step ending at the row's end, overlapping
            // pixels already written with the same values.
            vst1q_u8(out + bytes - 16, vqtbl1q_u8(vld1q_u8(in), rev));
            x = bytes;
        }
        for (; x < bytes; x += 2) {
            out[x] = in[bytes - 2 - x];
            out[x + 1] = in[bytes - 1 - x];
        }
    }
}

}  // namespace

void rotate_interleaved_u8_neon(const uint8_t* src, uint32_t width, uint32_t height,
                                uint32_t srcStride, uint8_t* dst, uint32_t dstStride,
                                int rotation) {
    switch (rotation) {
        case 1: rotate_90(src, width, height, srcStride, dst, dstStride); break;
        case 2: rotate_180(src, width, height, srcStride, dst, dstStride); break;
        case 3: rotate_270(src, width, height, srcStride, dst, dstStride); break;
        default: break;  // unknown code: nothing is written
    }
}

void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                 uint8_t* dst, uint32_t dstS, int rotation) {
    rotate_interleaved_u8_neon(src, w, h, s, dst, dstS, rotation);
}
void neon_ImageInterleavedu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                       uint8_t* dst, uint32_t dstS) {
    rotate_90(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    rotate_180(src, w, h, s, dst, dstS);
}
void neon_ImageInterleavedu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS) {
    rotate_270(src, w, h, s, dst, dstS);
}

}  // namespace mira

namespace {

bool args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* param) {
    return src != nullptr && dst != nullptr && param != nullptr && srcCount != 0 &&
           dstCount != 0 && src->data != nullptr && dst->data != nullptr;
}

}  // namespace

uint32_t MIRA_ROTATE_INTERLEAVE_U8::run(MIRA_FEATURE_ARGS) {
    if (param != nullptr && param->mode == MIRA_MODE_OPENCL)
        return MIRA_ROTATE_INTERLEAVE_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_ROTATE_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_ROTATE_INTERLEAVE_U8::MIRA_ROTATE_INTERLEAVE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    mira::rotate_interleaved_u8_neon(src->data, src->width, src->height, src->stride, dst->data,
                                     dst->stride, param->arg);
    return MIRA_OK;
}

// The kernel works in bytes (its centres and its units of 4 destination bytes
// count 2 bytes per pixel), so the records describe each plane's row in
// bytes: 2 x width. Staging then moves exactly the bytes of each row, and the
// launch, rounded up over 4-byte units, covers every pixel.
uint32_t MIRA_ROTATE_INTERLEAVE_U8::MIRA_ROTATE_INTERLEAVE_U8_opencl(MIRA_FEATURE_ARGS) {
    if (!args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    if (!zor_opencl_usable())
        return MIRA_ROTATE_INTERLEAVE_U8_neon(src, srcCount, dst, dstCount, param);
    const int rotation = param->arg;
    if (rotation < 1 || rotation > 3) return MIRA_OK;  // unknown code: nothing is written
    if (src->width == 0 || src->height == 0) return MIRA_OK;

    ZOR_U8Info in = zor_u8_info(*src), out = zor_u8_info(*dst);
    in.width = 2 * src->width;
    out.width = 2 * dst->width;
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl reserve =
        zor_reserve(MIRA_API_ROTATE_INTERLEAVE_U8, "mira_fcvRotateImageInterleavedu8_func");
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
