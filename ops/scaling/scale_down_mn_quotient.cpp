#include "ops/scaling/scale_down_mn_quotient.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "ops/mira_neon.h"
#include "ops/scaling/scale_mn_common.h"

namespace mira {

namespace {

// Column sums of one destination row's source rows: sums[i] is the sum of
// byte i over the rows first .. first + boxH - 1, each clamped to the last
// row. Sixteen bytes a step, widened to 32-bit lanes.
void column_sums(const uint8_t* src, size_t stride, uint32_t rows, uint32_t first, uint32_t boxH,
                 uint32_t bytes, uint32_t* sums) {
    for (uint32_t r = 0; r < boxH; ++r) {
        const uint64_t yy = std::min<uint64_t>(uint64_t(first) + r, rows - 1);
        const uint8_t* in = src + yy * stride;
        uint32_t i = 0;
        if (r == 0) {
            for (; i + 16 <= bytes; i += 16) {
                const uint8x16_t v = vld1q_u8(in + i);
                const uint16x8_t lo = widen_lo_u8(v), hi = widen_hi_u8(v);
                vst1q_u32(sums + i, widen_lo_u16(lo));
                vst1q_u32(sums + i + 4, widen_hi_u16(lo));
                vst1q_u32(sums + i + 8, widen_lo_u16(hi));
                vst1q_u32(sums + i + 12, widen_hi_u16(hi));
            }
            for (; i < bytes; ++i) sums[i] = in[i];
            continue;
        }
        for (; i + 16 <= bytes; i += 16) {
            const uint8x16_t v = vld1q_u8(in + i);
            const uint16x8_t lo = widen_lo_u8(v), hi = widen_hi_u8(v);
            vst1q_u32(sums + i, vaddq_u32(vld1q_u32(sums + i), widen_lo_u16(lo)));
            vst1q_u32(sums + i + 4, vaddq_u32(vld1q_u32(sums + i + 4), widen_hi_u16(lo)));
            vst1q_u32(sums + i + 8, vaddq_u32(vld1q_u32(sums + i + 8), widen_lo_u16(hi)));
            vst1q_u32(sums + i + 12, vaddq_u32(vld1q_u32(sums + i + 12), widen_hi_u16(hi)));
        }
        for (; i < bytes; ++i) sums[i] += in[i];
    }
}

}  // namespace

bool scaledown_mn_quotient(const uint8_t* src, uint32_t srcBytes, uint32_t srcRows,
                           size_t srcStride, uint8_t* dst, uint32_t dstBytes, uint32_t dstRows,
                           size_t dstStride, uint32_t elemStep) {
    const uint32_t e = elemStep == 2 ? 2 : 1;
    const uint32_t srcUnits = srcBytes / e, dstUnits = dstBytes / e;
    if (dstUnits == 0 || dstRows == 0) return true;
    if (srcUnits == 0 || srcRows == 0) {  // nothing to average: zeros
        for (uint32_t y = 0; y < dstRows; ++y) std::memset(dst + size_t(y) * dstStride, 0, dstUnits * e);
        return true;
    }
    const float xScale = static_cast<float>(srcBytes) / static_cast<float>(dstBytes);
    const float yScale = static_cast<float>(srcRows) / static_cast<float>(dstRows);
    const uint32_t boxW = std::max(srcBytes / dstBytes, 1u);
    const uint32_t boxH = std::max(srcRows / dstRows, 1u);
    const uint32_t count = boxW * boxH;
    const float countF = static_cast<float>(static_cast<int32_t>(count));
    // A power-of-two count divides by a shift.
    const int shift = (count & (count - 1)) == 0 ? __builtin_ctz(count) : -1;

    // First tap of each destination column, clamped to the column past the
    // last: the sums hold boxW copies of the last column there, so every tap
    // reads min(tap, last) as the kernels do.
    std::unique_ptr<uint32_t[]> first(new (std::nothrow) uint32_t[dstUnits]);
    const uint64_t sumLen = (uint64_t(srcUnits) + boxW) * e;
    const uint64_t work = uint64_t(srcBytes) * std::min(srcRows, boxH * dstRows);
    const uint32_t bands = band_count(dstRows, work);
    std::unique_ptr<uint32_t[]> sums(new (std::nothrow) uint32_t[sumLen * bands]);
    if (!first || !sums) return false;
    for (uint32_t x = 0; x < dstUnits; ++x) {
        const int32_t sx = static_cast<int32_t>(static_cast<float>(x) * xScale);
        first[x] = static_cast<uint32_t>(std::min<int64_t>(std::max(sx, 0), srcUnits)) * e;
    }

    parallel_bands(dstRows, work, [&](uint32_t y0, uint32_t y1, uint32_t band) {
        uint32_t* cs = sums.get() + sumLen * band;
        for (uint32_t y = y0; y < y1; ++y) {
            const int32_t sy = static_cast<int32_t>(static_cast<float>(y) * yScale);
            column_sums(src, srcStride, srcRows, static_cast<uint32_t>(std::max(sy, 0)), boxH,
                        srcUnits * e, cs);
            for (uint64_t i = uint64_t(srcUnits) * e; i < sumLen; ++i)
                cs[i] = cs[(uint64_t(srcUnits) - 1) * e + (i % e)];
            uint8_t* out = dst + size_t(y) * dstStride;
            for (uint32_t x = 0; x < dstUnits; ++x) {
                const uint32_t* tap = cs + first[x];
                for (uint32_t ch = 0; ch < e; ++ch) {
                    uint32_t s = 0;
                    for (uint32_t c = 0; c < boxW; ++c) s += tap[c * e + ch];
                    uint8_t v;
                    if (e == 1)
                        v = static_cast<uint8_t>(shift >= 0 ? s >> shift : s / count);
                    else
                        v = static_cast<uint8_t>(
                            static_cast<int32_t>(static_cast<float>(s) / countF + 0.5f));
                    out[x * e + ch] = v;
                }
            }
        }
    });
    return true;
}

}  // namespace mira
