#include "ops/scaling/scale_mn_common.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {

uint32_t band_count(uint32_t rows, uint64_t work) {
    // Up to four bands per processor (at most eight processors), each of at
    // least 8 rows and 2^15 pixels: taken in turn, they keep every thread
    // busy to the end even when one starts late.
    constexpr uint64_t kMinWorkPerBand = 1u << 15;
    const uint32_t threads = std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
    if (threads == 1 || work < 4 * kMinWorkPerBand) return 1;
    uint32_t bands = 4 * threads;
    bands = static_cast<uint32_t>(std::min<uint64_t>(bands, work / kMinWorkPerBand));
    bands = std::min(bands, rows / 8);
    return std::max(bands, 1u);
}

void parallel_bands(uint32_t rows, uint64_t work,
                    const std::function<void(uint32_t, uint32_t, uint32_t)>& fn) {
    const uint32_t bands = band_count(rows, work);
    if (bands <= 1) {
        fn(0, rows, 0);
        return;
    }
    auto band = [&](uint32_t t) { return static_cast<uint32_t>(uint64_t(rows) * t / bands); };
    run_bands(static_cast<int>(bands), [&](int t) {
        const uint32_t b = static_cast<uint32_t>(t);
        fn(band(b), band(b + 1), b);
    });
}

bool mn_plane_ok(const MIRA_Feature_Buf& b) {
    if (b.width == 0 || b.height == 0) return true;
    return b.data != nullptr && b.stride >= b.width;
}

int32_t FixedDiv(int32_t num, int32_t div) {
    if (div == 0) return 0;
    const int64_t a = static_cast<int64_t>(std::llabs(static_cast<long long>(num))) << 16;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(a / div)));
}

Slope ScaleSlope(int32_t srcSize, int32_t dstSize) {
    const int32_t divisor = (dstSize == 1 && srcSize > 32767) ? srcSize : dstSize;
    const int32_t step = FixedDiv(srcSize, divisor);
    // 64-bit intermediates keep the extreme steps (INT32_MIN) defined.
    const int64_t s = step, half = (s - 1) / 2;
    int64_t start;
    if (step >= 0)
        start = (s >> 1) + half;
    else
        start = -((-s >> 1) + half);
    return Slope{static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(start))), step};
}

namespace {

// Position i of the line in wrapping 32-bit arithmetic, shifted arithmetically.
inline int32_t box_end(int32_t start, int32_t step, int32_t i) {
    const uint32_t pos = static_cast<uint32_t>(start) +
                         static_cast<uint32_t>(step) * static_cast<uint32_t>(i);
    return static_cast<int32_t>(pos) >> 16;
}

// The rounded mean (sum + n/2) / n, 0 for an empty box; low 8 bits kept.
inline uint8_t box_mean(int64_t sum, int32_t n) {
    if (n == 0) return 0;
    return static_cast<uint8_t>((sum + (n >> 1)) / n);
}

}  // namespace

std::vector<Box> box_line(int32_t srcSize, int32_t dstSize, int32_t count) {
    const Slope s = ScaleSlope(srcSize, dstSize);
    std::vector<Box> boxes(static_cast<size_t>(std::max(count, 0)));
    int64_t next = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t end = box_end(s.start, s.step, i);
        const int64_t n = end - next + 1;
        const int64_t first = std::max<int64_t>(next, 0);
        const int64_t last = std::min<int64_t>(end, static_cast<int64_t>(srcSize) - 1);
        Box& b = boxes[static_cast<size_t>(i)];
        b.first = static_cast<int32_t>(std::min<int64_t>(first, INT32_MAX));
        b.reads = static_cast<int32_t>(std::max<int64_t>(last - first + 1, 0));
        b.n = static_cast<int32_t>(n);
        next = end + 1;
    }
    return boxes;
}

void ScaleCols(uint8_t* dst, const uint8_t* src, int32_t count, int32_t start, int32_t step,
               int32_t elemStep, int32_t srcCount) {
    int64_t next = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t end = box_end(start, step, i);
        const int32_t n = static_cast<int32_t>(end - next + 1);
        int64_t sum = 0;
        for (int64_t k = std::max<int64_t>(next, 0); k <= end && k < srcCount; ++k)
            sum += src[k * elemStep];
        dst[static_cast<int64_t>(i) * elemStep] = box_mean(sum, n);
        next = end + 1;
    }
}

void ScaleRows(uint8_t* dst, const uint8_t* src, int32_t count, int32_t start, int32_t step,
               size_t rowStep, int32_t srcCount) {
    int64_t next = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int64_t end = box_end(start, step, i);
        const int32_t n = static_cast<int32_t>(end - next + 1);
        int64_t sum = 0;
        for (int64_t k = std::max<int64_t>(next, 0); k <= end && k < srcCount; ++k)
            sum += src[static_cast<size_t>(k) * rowStep];
        dst[static_cast<size_t>(i) * rowStep] = box_mean(sum, n);
        next = end + 1;
    }
}

namespace {

// ---------------------------------------------------------------- row pass
//
// Every destination byte ("lane") of a row is the rounded mean of `reads`
// source bytes `elemStep` apart starting at byte `pos`, divided by n. The
// vector pass handles 16 lanes per block: up to four 16-byte windows of the
// source row are loaded and each tap t of all lanes is gathered with one
// table lookup (index 0xFF for lanes whose box has fewer taps). The sums stay
// below 2^12 (at most 16 taps of 255 plus n/2), so (x * c) >> 16 with
// c = ceil(65536 / n) divides exactly for n <= 16; c - 1 is kept in 16 bits and
// x * (c - 1) + x formed in 32 bits.

struct Lane {
    int32_t pos;    // first source byte
    int32_t reads;  // samples read
    int32_t n;      // divisor
};

constexpr int kMaxTaps = 16;
constexpr int kMaxWindows = 4;

struct Block {
    int32_t lane0;   // first lane covered
    int32_t lanes;   // lanes stored from this block (<= 16)
    int32_t windows;
    int32_t off[kMaxWindows];
};

class RowPlan {
public:
    RowPlan(uint32_t srcBytes, uint32_t dstBytes, uint32_t elemStep);
    void run(const uint8_t* srow, uint8_t* drow) const;
    // Every box of the line holds one or two whole samples (ratios from 1 to
    // 2, such as 3/2 and 4/3 and 2): run_pairs applies.
    bool pairs() const { return pairs_; }
    // The rounded mean of two destination rows, each the row pass of its
    // source row: the vertical box of two rows done in registers.
    void run_pairs2(const uint8_t* srowA, const uint8_t* srowB, uint8_t* drow) const;

private:
    bool plan_blocks(int32_t lanesPerBlock);
    void run_vector(const uint8_t* srow, uint8_t* drow) const;
    void run_wide(const uint8_t* srow, uint8_t* drow) const;
    void run_pairs(const uint8_t* srow, uint8_t* drow) const;

    uint32_t srcBytes_, elemStep_;
    std::vector<Lane> lanes_;
    int32_t taps_ = 0;
    bool vector_ = false;
    bool pairs_ = false;
    std::vector<Block> blocks_;
    std::vector<uint8_t> idx_;     // blocks x taps x 16
    std::vector<uint8_t> half_;    // blocks x 16: n >> 1
    std::vector<uint16_t> mul_;    // blocks x 16: ceil(65536 / n) - 1
};

RowPlan::RowPlan(uint32_t srcBytes, uint32_t dstBytes, uint32_t elemStep)
    : srcBytes_(srcBytes), elemStep_(elemStep) {
    const int32_t es = static_cast<int32_t>(elemStep);
    const int32_t count = static_cast<int32_t>(dstBytes / elemStep);  // per channel
    // Pixels of 3 or 4 channels take the boxes of their planes (the line of
    // the pixel counts); pairs keep the line of the byte counts.
    const bool pixels = elemStep >= 3;
    const std::vector<Box> boxes =
        box_line(static_cast<int32_t>(pixels ? srcBytes / elemStep : srcBytes),
                 static_cast<int32_t>(pixels ? count : int32_t(dstBytes)), count);
    lanes_.resize(static_cast<size_t>(count) * elemStep);
    for (int32_t c = 0; c < es; ++c) {
        // Samples of channel c lie at bytes es*k + c below srcBytes.
        const int64_t avail = (static_cast<int64_t>(srcBytes) - c + es - 1) / es;
        for (int32_t i = 0; i < count; ++i) {
            const Box& b = boxes[static_cast<size_t>(i)];
            Lane& l = lanes_[static_cast<size_t>(i) * es + c];
            const int64_t last = std::min<int64_t>(static_cast<int64_t>(b.first) + b.reads, avail);
            l.reads = static_cast<int32_t>(std::max<int64_t>(last - b.first, 0));
            l.pos = l.reads ? b.first * es + c : 0;
            l.n = b.n;
        }
    }
    bool small = true;
    for (const Lane& l : lanes_) {
        if (l.n < 0 || l.n > kMaxTaps) small = false;
        taps_ = std::max(taps_, l.reads);
    }
    if (small && !lanes_.empty())
        vector_ = plan_blocks(16) || plan_blocks(8) || plan_blocks(4);
    // Boxes of one or two whole samples: the rounded mean of two bytes is
    // (a + b + 1) >> 1, one rounding-halving add, and a one-sample box is the
    // mean of its sample taken twice. Tap 1 of a one-sample lane repeats tap 0.
    if (vector_ && taps_ == 2) {
        bool two = true;
        for (const Lane& l : lanes_)
            if (l.reads != l.n || l.n < 1 || l.n > 2) two = false;
        if (two) {
            for (size_t bi = 0; bi < blocks_.size(); ++bi)
                for (int32_t k = 0; k < blocks_[bi].lanes; ++k) {
                    const Lane& l = lanes_[static_cast<size_t>(blocks_[bi].lane0 + k)];
                    uint8_t* ip = &idx_[bi * 2 * 16 + static_cast<size_t>(k)];
                    if (l.n == 1) ip[16] = ip[0];
                }
            pairs_ = true;
        }
    }
}

bool RowPlan::plan_blocks(int32_t per) {
    const int32_t count = static_cast<int32_t>(lanes_.size());
    const int32_t es = static_cast<int32_t>(elemStep_);
    // Windows start at most 16 bytes before the row end; rows narrower than
    // 16 bytes are run from a zero-padded copy.
    const int32_t maxOff = std::max<int32_t>(static_cast<int32_t>(srcBytes_), 16) - 16;
    const int32_t nBlocks = (count + per - 1) / per;
    blocks_.assign(static_cast<size_t>(nBlocks), Block{});
    idx_.assign(static_cast<size_t>(nBlocks) * taps_ * 16, 0xFF);
    half_.assign(static_cast<size_t>(nBlocks) * 16, 0);
    mul_.assign(static_cast<size_t>(nBlocks) * 16, 0);
    for (int32_t bi = 0; bi < nBlocks; ++bi) {
        Block& blk = blocks_[static_cast<size_t>(bi)];
        blk.lane0 = std::min(bi * per, std::max(count - per, 0));
        blk.lanes = std::min(per, count - blk.lane0);
        blk.windows = 0;
        for (int32_t k = 0; k < blk.lanes; ++k) {
            const Lane& l = lanes_[static_cast<size_t>(blk.lane0 + k)];
            const size_t at = static_cast<size_t>(bi) * 16 + k;
            half_[at] = static_cast<uint8_t>(l.n >> 1);
            mul_[at] = l.n ? static_cast<uint16_t>((65536 + l.n - 1) / l.n - 1) : 0;
            if (l.reads == 0) continue;
            const int32_t span = (l.reads - 1) * es + 1;
            int32_t w = blk.windows - 1;
            if (w < 0 || l.pos < blk.off[w] || l.pos + span > blk.off[w] + 16) {
                if (blk.windows == kMaxWindows) return false;
                w = blk.windows++;
                blk.off[w] = std::min(l.pos, maxOff);
                if (l.pos + span > blk.off[w] + 16) return false;
            }
            for (int32_t t = 0; t < l.reads; ++t)
                idx_[(static_cast<size_t>(bi) * taps_ + t) * 16 + k] =
                    static_cast<uint8_t>(l.pos + t * es - blk.off[w] + 16 * w);
        }
    }
    return true;
}

inline uint8x16_t gather(const uint8x16_t* win, int32_t windows, uint8x16_t idx) {
    switch (windows) {
        case 1: return vqtbl1q_u8(win[0], idx);
        case 2: {
            uint8x16x2_t t = {{win[0], win[1]}};
            return vqtbl2q_u8(t, idx);
        }
        case 3: {
            uint8x16x3_t t = {{win[0], win[1], win[2]}};
            return vqtbl3q_u8(t, idx);
        }
        default: {
            uint8x16x4_t t = {{win[0], win[1], win[2], win[3]}};
            return vqtbl4q_u8(t, idx);
        }
    }
}

// (x * (m + 1)) >> 16 for 8 lanes (below 2^32 before the shift).
inline uint16x8_t div_half(uint16x8_t x, uint16x8_t m) {
    const uint32x4_t xl = widen_lo_u16(x), xh = widen_hi_u16(x);
    return narrow_high_u32(vaddq_u32(vmulq_u32(xl, widen_lo_u16(m)), xl),
                           vaddq_u32(vmulq_u32(xh, widen_hi_u16(m)), xh));
}

// A block of 16 output lanes (fewer at the row's end) into the destination row.
inline void store_block(uint8_t* drow, const Block& blk, uint8x16_t out) {
    if (blk.lanes == 16) {
        vst1q_u8(drow + blk.lane0, out);
    } else {
        uint8_t tmp[16];
        vst1q_u8(tmp, out);
        std::memcpy(drow + blk.lane0, tmp, static_cast<size_t>(blk.lanes));
    }
}

void RowPlan::run_vector(const uint8_t* srow, uint8_t* drow) const {
    uint8_t padded[16];
    if (srcBytes_ < 16) {
        std::memset(padded, 0, sizeof padded);
        std::memcpy(padded, srow, srcBytes_);
        srow = padded;
    }
    const size_t nBlocks = blocks_.size();
    for (size_t bi = 0; bi < nBlocks; ++bi) {
        const Block& blk = blocks_[bi];
        uint8x16_t win[kMaxWindows];
        for (int32_t w = 0; w < blk.windows; ++w) win[w] = vld1q_u8(srow + blk.off[w]);
        const uint8x16_t h = vld1q_u8(&half_[bi * 16]);
        uint16x8_t lo = widen_lo_u8(h), hi = widen_hi_u8(h);
        if (blk.windows > 0) {
            const uint8_t* ip = &idx_[bi * taps_ * 16];
            for (int32_t t = 0; t < taps_; ++t, ip += 16) {
                const uint8x16_t g = gather(win, blk.windows, vld1q_u8(ip));
                lo = vaddq_u16(lo, widen_lo_u8(g));
                hi = vaddq_u16(hi, widen_hi_u8(g));
            }
        }
        const uint16x8_t m0 = vld1q_u16(&mul_[bi * 16]), m1 = vld1q_u16(&mul_[bi * 16 + 8]);
        store_block(drow, blk, narrow_u16(div_half(lo, m0), div_half(hi, m1)));
    }
}

// The pair blocks of one row (W windows): the rounded mean of taps 0 and 1.
template <int W>
inline uint8x16_t pair_block(const uint8_t* srow, const int32_t* off, const uint8_t* ip) {
    uint8x16_t win[W];
    for (int w = 0; w < W; ++w) win[w] = vld1q_u8(srow + off[w]);
    return vrhaddq_u8(gather(win, W, vld1q_u8(ip)), gather(win, W, vld1q_u8(ip + 16)));
}

inline uint8x16_t pair_block(const uint8_t* srow, const Block& blk, const uint8_t* ip) {
    switch (blk.windows) {
        case 1: return pair_block<1>(srow, blk.off, ip);
        case 2: return pair_block<2>(srow, blk.off, ip);
        case 3: return pair_block<3>(srow, blk.off, ip);
        default: return pair_block<4>(srow, blk.off, ip);
    }
}

void RowPlan::run_pairs(const uint8_t* srow, uint8_t* drow) const {
    uint8_t padded[16];
    if (srcBytes_ < 16) {
        std::memset(padded, 0, sizeof padded);
        std::memcpy(padded, srow, srcBytes_);
        srow = padded;
    }
    const Block* blk = blocks_.data();
    const uint8_t* ip = idx_.data();
    for (size_t bi = 0, nb = blocks_.size(); bi < nb; ++bi, ip += 32)
        store_block(drow, blk[bi], pair_block(srow, blk[bi], ip));
}

void RowPlan::run_pairs2(const uint8_t* srowA, const uint8_t* srowB, uint8_t* drow) const {
    uint8_t paddedA[16], paddedB[16];
    if (srcBytes_ < 16) {
        std::memset(paddedA, 0, sizeof paddedA);
        std::memset(paddedB, 0, sizeof paddedB);
        std::memcpy(paddedA, srowA, srcBytes_);
        std::memcpy(paddedB, srowB, srcBytes_);
        srowA = paddedA;
        srowB = paddedB;
    }
    const Block* blk = blocks_.data();
    const uint8_t* ip = idx_.data();
    for (size_t bi = 0, nb = blocks_.size(); bi < nb; ++bi, ip += 32)
        store_block(drow, blk[bi],
                    vrhaddq_u8(pair_block(srowA, blk[bi], ip), pair_block(srowB, blk[bi], ip)));
}

// Boxes too wide for the table lookup: each lane sums its box eight samples
// at a time (de-interleaving pairs), the remainder one by one.
void RowPlan::run_wide(const uint8_t* srow, uint8_t* drow) const {
    const int32_t es = static_cast<int32_t>(elemStep_);
    const uint8_t* rowEnd = srow + srcBytes_;
    for (size_t k = 0; k < lanes_.size(); ++k) {
        const Lane& l = lanes_[k];
        const uint8_t* p = srow + l.pos;
        int32_t left = l.reads;
        uint64_t sum = 0;
        uint32x4_t acc = vdupq_n_u32(0);
        int32_t chunks = 0;
        uint16x8_t acc16 = vdupq_n_u16(0);
        if (es == 1) {
            for (; left >= 8; left -= 8, p += 8) {
                acc16 = vaddq_u16(acc16, load_widen_u8(p));
                if (++chunks == 256) {
                    acc = vpadalq_u16(acc, acc16);
                    acc16 = vdupq_n_u16(0);
                    chunks = 0;
                }
            }
        } else if (es >= 3) {
            // Sixteen pixels at a time, de-interleaved: this lane's channel is
            // the first of the pixels from p (two samples per 16-bit lane).
            const int32_t chunk = 16 * es;
            for (; left >= 16 && p + chunk <= rowEnd; left -= 16, p += chunk) {
                const uint8x16_t v = es == 3 ? vld3q_u8(p).val[0] : vld4q_u8(p).val[0];
                acc16 = vaddq_u16(acc16, vaddl_u8(vget_low_u8(v), vget_high_u8(v)));
                if (++chunks == 128) {
                    acc = vpadalq_u16(acc, acc16);
                    acc16 = vdupq_n_u16(0);
                    chunks = 0;
                }
            }
        } else {
            for (; left >= 8 && p + 16 <= rowEnd; left -= 8, p += 16) {
                // the even bytes of 16: the low byte of each 16-bit lane
                acc16 = vaddq_u16(acc16, vandq_u16(vreinterpretq_u16_u8(vld1q_u8(p)),
                                                   vdupq_n_u16(0xFF)));
                if (++chunks == 256) {
                    acc = vpadalq_u16(acc, acc16);
                    acc16 = vdupq_n_u16(0);
                    chunks = 0;
                }
            }
        }
        acc = vpadalq_u16(acc, acc16);
        uint32_t lanesum[4];
        vst1q_u32(lanesum, acc);
        sum = static_cast<uint64_t>(lanesum[0]) + lanesum[1] + lanesum[2] + lanesum[3];
        for (; left > 0; --left, p += es) sum += *p;
        drow[k] = box_mean(static_cast<int64_t>(sum), l.n);
    }
}

void RowPlan::run(const uint8_t* srow, uint8_t* drow) const {
    if (pairs_)
        run_pairs(srow, drow);
    else if (vector_)
        run_vector(srow, drow);
    else
        run_wide(srow, drow);
}

// ---------------------------------------------------------- column pass
//
// Rows of the intermediate are summed in 16-bit lanes (32-bit beyond 256 rows)
// and divided by the box height: q = trunc(x * (1/n)) in float, then corrected
// by one either way, which is exact for every sum below 2^32.

inline uint32x4_t div_exact(uint32x4_t x, float inv, uint32_t n) {
    uint32x4_t q = vcvtq_u32_f32(vmulq_n_f32(vcvtq_f32_u32(x), inv));
    const int32x4_t r = vreinterpretq_s32_u32(vsubq_u32(x, vmulq_n_u32(q, n)));
    q = vsubq_u32(q, vcgeq_s32(r, vdupq_n_s32(static_cast<int32_t>(n))));  // r >= n: +1
    q = vaddq_u32(q, vcltq_s32(r, vdupq_n_s32(0)));                         // r < 0: -1
    return q;
}

// dst[i] = (acc[i]) / n for `bytes` lanes of a 16-bit accumulator row.
void finish_u16(const uint16_t* acc, uint8_t* dst, uint32_t bytes, uint32_t n) {
    const float inv = 1.0f / static_cast<float>(n);
    uint32_t x = 0;
    auto block = [&](uint32_t at, uint8_t* out) {
        const uint16x8_t a0 = vld1q_u16(acc + at), a1 = vld1q_u16(acc + at + 8);
        const uint16x8_t q0 = narrow_u32(div_exact(widen_lo_u16(a0), inv, n),
                                         div_exact(widen_hi_u16(a0), inv, n));
        const uint16x8_t q1 = narrow_u32(div_exact(widen_lo_u16(a1), inv, n),
                                         div_exact(widen_hi_u16(a1), inv, n));
        vst1q_u8(out, narrow_u16(q0, q1));
    };
    for (; x + 16 <= bytes; x += 16) block(x, dst + x);
    if (x < bytes) {  // accumulator rows are padded to whole vectors
        uint8_t tmp[16];
        block(x, tmp);
        std::memcpy(dst + x, tmp, bytes - x);
    }
}

void finish_u32(const uint32_t* acc, uint8_t* dst, uint32_t bytes, uint32_t n) {
    const float inv = 1.0f / static_cast<float>(n);
    uint32_t x = 0;
    auto block = [&](uint32_t at, uint8_t* out) {
        uint32x4_t q[4];
        for (int k = 0; k < 4; ++k) q[k] = div_exact(vld1q_u32(acc + at + 4 * k), inv, n);
        vst1q_u8(out, narrow_u16(narrow_u32(q[0], q[1]), narrow_u32(q[2], q[3])));
    };
    for (; x + 16 <= bytes; x += 16) block(x, dst + x);
    if (x < bytes) {
        uint8_t tmp[16];
        block(x, tmp);
        std::memcpy(dst + x, tmp, bytes - x);
    }
}

inline uint32_t pad16(uint32_t v) { return (v + 15u) & ~15u; }

// The working rows of one call: two intermediate rows and one accumulator
// row, all padded to whole vectors.
struct Scratch {
    uint8_t* rowA = nullptr;
    uint8_t* rowB = nullptr;
    void* acc = nullptr;
    static size_t bytes_for(uint32_t rowBytes) { return 6 * size_t(pad16(rowBytes)) + 64; }
    Scratch(uint8_t* block, uint32_t rowBytes) {
        const size_t p = pad16(rowBytes);
        rowA = block;
        rowB = block + p;
        acc = block + 2 * p;
    }
};

// Destination row j of the vertical box over intermediate rows produced by
// `hrow(r, out)` for source rows r.
template <class HRow>
void vertical_row(const Box& b, uint8_t* drow, uint32_t bytes, Scratch& s, HRow&& hrow) {
    if (b.reads == 0) {
        std::memset(drow, box_mean(0, b.n), bytes);
        return;
    }
    if (b.n == 1) {  // one row: the intermediate row is the result
        hrow(b.first, drow);
        return;
    }
    if (b.n == 2 && b.reads == 2) {  // (a + b + 1) >> 1 is the rounded mean of two
        hrow(b.first, s.rowA);
        hrow(b.first + 1, s.rowB);
        uint32_t x = 0;
        for (; x + 16 <= bytes; x += 16)
            vst1q_u8(drow + x, vrhaddq_u8(vld1q_u8(s.rowA + x), vld1q_u8(s.rowB + x)));
        if (x < bytes) {
            uint8_t tmp[16];
            vst1q_u8(tmp, vrhaddq_u8(vld1q_u8(s.rowA + x), vld1q_u8(s.rowB + x)));
            std::memcpy(drow + x, tmp, bytes - x);
        }
        return;
    }
    const uint32_t padded = pad16(bytes);
    const uint32_t n = static_cast<uint32_t>(b.n);
    if (n <= 256) {  // 255 n + n / 2 stays below 2^16
        uint16_t* acc = static_cast<uint16_t*>(s.acc);
        const uint16x8_t h = vdupq_n_u16(static_cast<uint16_t>(n >> 1));
        for (uint32_t x = 0; x < padded; x += 8) vst1q_u16(acc + x, h);
        for (int32_t r = 0; r < b.reads; ++r) {
            hrow(b.first + r, s.rowA);
            for (uint32_t x = 0; x < padded; x += 16) {
                const uint8x16_t v = vld1q_u8(s.rowA + x);
                vst1q_u16(acc + x, vaddq_u16(vld1q_u16(acc + x), widen_lo_u8(v)));
                vst1q_u16(acc + x + 8, vaddq_u16(vld1q_u16(acc + x + 8), widen_hi_u8(v)));
            }
        }
        finish_u16(acc, drow, bytes, n);
    } else {
        uint32_t* acc = static_cast<uint32_t*>(s.acc);
        const uint32x4_t h = vdupq_n_u32(n >> 1);
        for (uint32_t x = 0; x < padded; x += 4) vst1q_u32(acc + x, h);
        for (int32_t r = 0; r < b.reads; ++r) {
            hrow(b.first + r, s.rowA);
            for (uint32_t x = 0; x < padded; x += 8) {
                const uint16x8_t v = load_widen_u8(s.rowA + x);
                vst1q_u32(acc + x, vaddq_u32(vld1q_u32(acc + x), widen_lo_u16(v)));
                vst1q_u32(acc + x + 4, vaddq_u32(vld1q_u32(acc + x + 4), widen_hi_u16(v)));
            }
        }
        finish_u32(acc, drow, bytes, n);
    }
}

}  // namespace

void scaledown_mn_h(const uint8_t* src, uint8_t* dst, uint32_t srcBytes, uint32_t dstBytes,
                    uint32_t rows, uint32_t elemStep, size_t srcStride, size_t dstStride) {
    if (elemStep < 1 || elemStep > 4) return;
    const RowPlan plan(srcBytes, dstBytes, elemStep);
    for (uint32_t r = 0; r < rows; ++r) plan.run(src + r * srcStride, dst + r * dstStride);
}

void scaledown_mn_v(const uint8_t* src, uint8_t* dst, uint32_t srcRows, uint32_t dstRows,
                    size_t srcStride, size_t dstStride, uint32_t bytes) {
    uint8_t* block = static_cast<uint8_t*>(std::calloc(1, Scratch::bytes_for(bytes)));
    if (!block) return;
    Scratch s(block, bytes);
    const std::vector<Box> boxes = box_line(static_cast<int32_t>(srcRows),
                                            static_cast<int32_t>(dstRows),
                                            static_cast<int32_t>(dstRows));
    for (uint32_t j = 0; j < dstRows; ++j)
        vertical_row(boxes[j], dst + j * dstStride, bytes, s, [&](int32_t r, uint8_t* out) {
            std::memcpy(out, src + static_cast<size_t>(r) * srcStride, bytes);
        });
    std::free(block);
}

bool scaledown_mn(const uint8_t* src, uint32_t srcBytes, uint32_t srcRows, size_t srcStride,
                  uint8_t* dst, uint32_t dstBytes, uint32_t dstRows, size_t dstStride,
                  uint32_t elemStep) {
    if (elemStep < 1 || elemStep > 4) return false;
    const uint32_t outBytes = dstBytes / elemStep * elemStep;
    if (outBytes == 0 || dstRows == 0) return true;
    // One intermediate block: a few working rows per band.
    const uint64_t work = uint64_t(srcBytes) * srcRows + uint64_t(outBytes) * dstRows;
    const uint32_t bands = band_count(dstRows, work);
    const size_t per = Scratch::bytes_for(outBytes);
    uint8_t* block = static_cast<uint8_t*>(std::calloc(bands, per));
    if (!block) return false;
    const RowPlan plan(srcBytes, dstBytes, elemStep);
    const std::vector<Box> boxes = box_line(static_cast<int32_t>(srcRows),
                                            static_cast<int32_t>(dstRows),
                                            static_cast<int32_t>(dstRows));
    parallel_bands(dstRows, work, [&](uint32_t first, uint32_t last, uint32_t band) {
        Scratch s(block + band * per, outBytes);
        for (uint32_t j = first; j < last; ++j) {
            const Box& b = boxes[j];
            if (plan.pairs() && b.n == 2 && b.reads == 2) {  // two rows, in registers
                const uint8_t* a = src + static_cast<size_t>(b.first) * srcStride;
                plan.run_pairs2(a, a + srcStride, dst + j * dstStride);
                continue;
            }
            vertical_row(boxes[j], dst + j * dstStride, outBytes, s,
                         [&](int32_t r, uint8_t* out) {
                             plan.run(src + static_cast<size_t>(r) * srcStride, out);
                         });
        }
    });
    std::free(block);
    return true;
}

}  // namespace mira
