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

// The means of one row's box sums, as bytes. Planes: the truncated
// quotient sum / count, as a multiplication by the rounded-up reciprocal
// m = ceil(2^32 / count), exact while 255 count^2 < 2^32 (counts up to 4096;
// larger ones divide). Pairs: (float)sum / (float)count + 0.5, truncated.
struct Means {
    uint32_t count;
    uint32_t recip;  // 0: divide
    float countF;
    explicit Means(uint32_t c)
        : count(c),
          recip(c >= 2 && c <= 4096 ? uint32_t(((uint64_t(1) << 32) + c - 1) / c) : 0),
          countF(static_cast<float>(static_cast<int32_t>(c))) {}

    void planes(const uint32_t* sums, uint32_t n, uint8_t* out) const {
        uint32_t i = 0;
        if (count == 1) {
            for (; i + 8 <= n; i += 8)
                vst1_u8(out + i, vmovn_u16(narrow_u32(vld1q_u32(sums + i), vld1q_u32(sums + i + 4))));
            for (; i < n; ++i) out[i] = static_cast<uint8_t>(sums[i]);
            return;
        }
        if (recip != 0) {
            const uint32x2_t m = vdup_n_u32(recip);
            for (; i + 8 <= n; i += 8) {
                uint32x4_t q[2];
                for (int h = 0; h < 2; ++h) {
                    const uint32x4_t s = vld1q_u32(sums + i + 4 * h);
                    const uint64x2_t lo = vmull_u32(vget_low_u32(s), m);
                    const uint64x2_t hi = vmull_u32(vget_high_u32(s), m);
                    q[h] = vcombine_u32(vshrn_n_u64(lo, 32), vshrn_n_u64(hi, 32));
                }
                vst1_u8(out + i, vmovn_u16(narrow_u32(q[0], q[1])));
            }
            for (; i < n; ++i)
                out[i] = static_cast<uint8_t>((uint64_t(sums[i]) * recip) >> 32);
            return;
        }
        for (; i < n; ++i) out[i] = static_cast<uint8_t>(sums[i] / count);
    }

    void pairs(const uint32_t* sums, uint32_t n, uint8_t* out) const {
        const float32x4_t c = vdupq_n_f32(countF), half = vdupq_n_f32(0.5f);
        uint32_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint32x4_t q[2];
            for (int h = 0; h < 2; ++h) {
                const float32x4_t s = vcvtq_f32_u32(vld1q_u32(sums + i + 4 * h));
                q[h] = vcvtq_u32_f32(vaddq_f32(div_f32(s, c), half));
            }
            vst1_u8(out + i, vmovn_u16(narrow_u32(q[0], q[1])));
        }
        for (; i < n; ++i)
            out[i] = static_cast<uint8_t>(
                static_cast<int32_t>(static_cast<float>(sums[i]) / countF + 0.5f));
    }
};

// Each destination element's box sum from the column sums: boxW taps of
// `E`-byte elements from first[x] (byte offsets into the sums).
template <uint32_t E>
void box_sums(const uint32_t* cs, const uint32_t* first, uint32_t dstUnits, uint32_t boxW,
              uint32_t* sums) {
    if (boxW == 1) {
        for (uint32_t x = 0; x < dstUnits; ++x)
            for (uint32_t ch = 0; ch < E; ++ch) sums[x * E + ch] = cs[first[x] + ch];
        return;
    }
    for (uint32_t x = 0; x < dstUnits; ++x) {
        const uint32_t* tap = cs + first[x];
        for (uint32_t ch = 0; ch < E; ++ch) {
            uint32_t s = 0;
            for (uint32_t c = 0; c < boxW; ++c) s += tap[c * E + ch];
            sums[x * E + ch] = s;
        }
    }
}

// One-pixel boxes (ratios below 2 on both axes): each element is copied from
// its source row.
template <uint32_t E>
void pick(const uint8_t* row, const uint32_t* first, uint32_t dstUnits, uint8_t* out) {
    for (uint32_t x = 0; x < dstUnits; ++x)
        for (uint32_t ch = 0; ch < E; ++ch) out[x * E + ch] = row[first[x] + ch];
}

}  // namespace

bool scaledown_mn_quotient(const uint8_t* src, uint32_t srcBytes, uint32_t srcRows,
                           size_t srcStride, uint8_t* dst, uint32_t dstBytes, uint32_t dstRows,
                           size_t dstStride, uint32_t elemStep) {
    // Element bytes: pairs (rounded float means) and pixels of 3 or 4
    // channels (each channel its plane's truncated quotient).
    const uint32_t e = elemStep >= 2 && elemStep <= 4 ? elemStep : 1;
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
    const Means means(count);

    // First tap of each destination column (a byte offset); the column sums
    // hold boxW copies of the last column after it, so every tap reads
    // min(tap, last) as the kernels do.
    std::unique_ptr<uint32_t[]> first(new (std::nothrow) uint32_t[dstUnits]);
    const uint64_t sumLen = (uint64_t(srcUnits) + boxW) * e;
    const uint64_t work = uint64_t(srcBytes) * std::min(srcRows, boxH * dstRows);
    const uint32_t bands = band_count(dstRows, work);
    // Per band: the column sums (with boxW copies of the last column after
    // them) and the row's box sums.
    const uint64_t bandLen = sumLen + uint64_t(dstUnits) * e;
    const bool single = count == 1;  // one-pixel boxes: nothing to add
    std::unique_ptr<uint32_t[]> work32(single ? nullptr
                                              : new (std::nothrow) uint32_t[bandLen * bands]);
    if (!first || (!single && !work32)) return false;
    for (uint32_t x = 0; x < dstUnits; ++x) {
        const int32_t sx = static_cast<int32_t>(static_cast<float>(x) * xScale);
        // Clamped to the last element (a position past it reads the last).
        first[x] = static_cast<uint32_t>(std::min<int64_t>(std::max(sx, 0), srcUnits - 1)) * e;
    }

    parallel_bands(dstRows, work, [&](uint32_t y0, uint32_t y1, uint32_t band) {
        uint32_t* cs = single ? nullptr : work32.get() + bandLen * band;
        uint32_t* sums = single ? nullptr : cs + sumLen;
        for (uint32_t y = y0; y < y1; ++y) {
            const int32_t sy = static_cast<int32_t>(static_cast<float>(y) * yScale);
            const uint32_t sy0 = static_cast<uint32_t>(std::max(sy, 0));
            uint8_t* out = dst + size_t(y) * dstStride;
            if (single) {
                const uint8_t* row = src + std::min<uint64_t>(sy0, srcRows - 1) * srcStride;
                switch (e) {
                    case 1: pick<1>(row, first.get(), dstUnits, out); break;
                    case 2: pick<2>(row, first.get(), dstUnits, out); break;
                    case 3: pick<3>(row, first.get(), dstUnits, out); break;
                    default: pick<4>(row, first.get(), dstUnits, out); break;
                }
                continue;
            }
            column_sums(src, srcStride, srcRows, sy0, boxH, srcUnits * e, cs);
            for (uint64_t i = uint64_t(srcUnits) * e; i < sumLen; ++i)
                cs[i] = cs[(uint64_t(srcUnits) - 1) * e + (i % e)];
            switch (e) {
                case 1:
                    box_sums<1>(cs, first.get(), dstUnits, boxW, sums);
                    means.planes(sums, dstUnits, out);
                    break;
                case 2:
                    box_sums<2>(cs, first.get(), dstUnits, boxW, sums);
                    means.pairs(sums, dstUnits * 2, out);
                    break;
                case 3:
                    box_sums<3>(cs, first.get(), dstUnits, boxW, sums);
                    means.planes(sums, dstUnits * 3, out);
                    break;
                default:
                    box_sums<4>(cs, first.get(), dstUnits, boxW, sums);
                    means.planes(sums, dstUnits * 4, out);
                    break;
            }
        }
    });
    return true;
}

}  // namespace mira
