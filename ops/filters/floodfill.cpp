#include "ops/filters/floodfill.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "api/feature_common.h"
#include "mira/mira.h"
#include "ops/mira_neon.h"

namespace mira {

namespace {

// The two 64-bit halves of a byte mask (0xFF per selected lane).
inline uint64_t lane_lo(uint8x16_t m) { return vgetq_lane_u64(vreinterpretq_u64_u8(m), 0); }
inline uint64_t lane_hi(uint8x16_t m) { return vgetq_lane_u64(vreinterpretq_u64_u8(m), 1); }

// One row run waiting on the stack: row y, columns l..r; the parent run's
// columns pl..pr on row y + dir. The parent range is 32-bit so that the seed's
// empty range (r + 1 .. r) fits whatever r is.
struct Segment {
    uint16_t y, l, r;
    int8_t dir;
    int32_t pl, pr;
};

}  // namespace

uint32_t floodfill_run_end(const uint8_t* row, uint32_t i, uint32_t end, uint8_t v) {
    const uint8x16_t vv = vdupq_n_u8(v);
    while (i + 16 <= end) {
        const uint8x16_t eq = vceqq_u8(vld1q_u8(row + i), vv);
        const uint64_t lo = ~lane_lo(eq), hi = ~lane_hi(eq);
        if (lo != 0) return i + static_cast<uint32_t>(__builtin_ctzll(lo) >> 3);
        if (hi != 0) return i + 8 + static_cast<uint32_t>(__builtin_ctzll(hi) >> 3);
        i += 16;
    }
    while (i < end && row[i] == v) ++i;
    return i;
}

uint32_t floodfill_run_start(const uint8_t* row, uint32_t i, uint8_t v) {
    const uint8x16_t vv = vdupq_n_u8(v);
    uint32_t j = i;  // row[j..i] are known to equal v
    while (j >= 16) {
        const uint8x16_t eq = vceqq_u8(vld1q_u8(row + j - 16), vv);
        const uint64_t lo = ~lane_lo(eq), hi = ~lane_hi(eq);
        if (hi != 0) return j - 16 + 8 + static_cast<uint32_t>((63 - __builtin_clzll(hi)) >> 3) + 1;
        if (lo != 0) return j - 16 + static_cast<uint32_t>((63 - __builtin_clzll(lo)) >> 3) + 1;
        j -= 16;
    }
    while (j > 0 && row[j - 1] == v) --j;
    return j;
}

uint32_t floodfill_find_candidate(const uint8_t* src, const uint8_t* mask, uint32_t i,
                                  uint32_t last, uint8_t v, uint8_t n) {
    const uint8x16_t vv = vdupq_n_u8(v), vn = vdupq_n_u8(n);
    while (i + 16 <= last + 1) {
        const uint8x16_t c = vandq_u8(vceqq_u8(vld1q_u8(src + i), vv),
                                      vmvnq_u8(vceqq_u8(vld1q_u8(mask + i), vn)));
        const uint64_t lo = lane_lo(c), hi = lane_hi(c);
        if (lo != 0) return i + static_cast<uint32_t>(__builtin_ctzll(lo) >> 3);
        if (hi != 0) return i + 8 + static_cast<uint32_t>(__builtin_ctzll(hi) >> 3);
        i += 16;
    }
    while (i <= last && !(src[i] == v && mask[i] != n)) ++i;
    return i;
}

}  // namespace mira

MIRA_FLOODFILL_SIMPLE_U8::MIRA_FLOODFILL_SIMPLE_U8() {}

void MIRA_FLOODFILL_SIMPLE_U8::flood_fill_line(int x, int y) {
    const MIRA_Feature_Buf& src = *mSrc;
    const MIRA_Feature_Buf& dst = *mDst;
    const ncvFloodfillParam& p = *static_cast<const ncvFloodfillParam*>(mExtra);
    const int W = static_cast<int>(dst.width), H = static_cast<int>(dst.height);
    if (x < 0 || y < 0 || x >= W || y >= H) return;
    const uint8_t v = static_cast<uint8_t>(mSeedValue);
    const uint8_t N = static_cast<uint8_t>(p.fillValue);
    const int c = p.connectivity == 8 ? 1 : 0;
    auto srow = [&](int yy) { return mira::row_ptr(src, static_cast<uint32_t>(yy)); };
    auto mrow = [&](int yy) { return mira::row_ptr(dst, static_cast<uint32_t>(yy)); };

    size_t capacity = 2 * static_cast<size_t>(std::max(src.stride, src.bufHeight));
    if (capacity < 16) capacity = 16;
    mira::Segment* stack = static_cast<mira::Segment*>(malloc(capacity * sizeof(mira::Segment)));
    if (stack == nullptr) {
        mFailed = true;
        return;
    }
    size_t top = 0;
    auto push = [&](int yy, int l, int r, int pl, int pr, int dir) {
        if (top == capacity) {
            const size_t grown = capacity + capacity / 2;
            mira::Segment* bigger = static_cast<mira::Segment*>(realloc(stack, grown * sizeof(mira::Segment)));
            if (bigger == nullptr) {
                mFailed = true;
                return;
            }
            stack = bigger;
            capacity = grown;
        }
        stack[top++] = mira::Segment{static_cast<uint16_t>(yy), static_cast<uint16_t>(l),
                               static_cast<uint16_t>(r), static_cast<int8_t>(dir), pl, pr};
    };

    // The seed's run.
    {
        const uint8_t* s = srow(y);
        const int R = static_cast<int>(mira::floodfill_run_end(s, x + 1, W, v)) - 1;
        const int L = static_cast<int>(mira::floodfill_run_start(s, x, v));
        std::memset(mrow(y) + L, N, static_cast<size_t>(R - L + 1));
        mMinX = L;
        mMaxX = R;
        push(y, L, R, R + 1, R, 1);
    }

    // Scans columns lo..hi of row yy for runs not yet taken; each becomes a
    // segment whose parent is the run being processed (row py, columns pl..pr).
    auto scan = [&](int yy, int lo, int hi, int py, int pl, int pr) {
        if (yy < 0 || yy >= H) return;
        lo = std::max(lo, 0);
        hi = std::min(hi, W - 1);
        if (lo > hi) return;
        const uint8_t* s = srow(yy);
        uint8_t* m = mrow(yy);
        int i = lo;
        while (i <= hi) {
            i = static_cast<int>(mira::floodfill_find_candidate(s, m, i, hi, v, N));
            if (i > hi) break;
            const int L = static_cast<int>(mira::floodfill_run_start(s, i, v));
            const int R = static_cast<int>(mira::floodfill_run_end(s, i + 1, W, v)) - 1;
            std::memset(m + L, N, static_cast<size_t>(R - L + 1));
            push(yy, L, R, pl, pr, -(yy - py));
            i = R + 2;
        }
    };

    while (top > 0 && !mFailed) {
        const mira::Segment sg = stack[--top];
        const int sy = sg.y, l = sg.l, r = sg.r, d = sg.dir;
        mCount += static_cast<uint32_t>(r - l + 1);
        mMinX = std::min(mMinX, l);
        mMaxX = std::max(mMaxX, r);
        mMinY = std::min(mMinY, sy);
        mMaxY = std::max(mMaxY, sy);
        scan(sy - d, l - c, r + c, sy, l, r);
        scan(sy + d, l - c, sg.pl - 1, sy, l, r);
        scan(sy + d, sg.pr + 1, r + c, sy, l, r);
    }
    free(stack);
}

namespace {

bool floodfill_args_ok(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
                       uint8_t dstCount, const MIRA_Feature_Param* param) {
    if (src == nullptr || srcCount == 0 || srcCount > 1 || dst == nullptr || dstCount == 0)
        return false;
    if (param == nullptr || param->extra == nullptr) return false;
    const ncvFloodfillParam* p = static_cast<const ncvFloodfillParam*>(param->extra);
    if (p->result == nullptr) return false;
    if (dst->width > mira::kFloodfillMaxSide || dst->height > mira::kFloodfillMaxSide)
        return false;
    if (dst->width == 0 || dst->height == 0) return true;
    if (src->data == nullptr || dst->data == nullptr) return false;
    return src->width >= dst->width && src->height >= dst->height &&
           src->stride >= src->width && dst->stride >= dst->width;
}

}  // namespace

uint32_t MIRA_FLOODFILL_SIMPLE_U8::run(MIRA_FEATURE_ARGS) {
    if (param == nullptr) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_OPENCL)
        return MIRA_FLOODFILL_SIMPLE_U8_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_FLOODFILL_SIMPLE_U8_neon(src, srcCount, dst, dstCount, param);
}

uint32_t MIRA_FLOODFILL_SIMPLE_U8::MIRA_FLOODFILL_SIMPLE_U8_neon(MIRA_FEATURE_ARGS) {
    if (!floodfill_args_ok(src, srcCount, dst, dstCount, param)) return MIRA_ERR_ARG;
    const ncvFloodfillParam* p = static_cast<const ncvFloodfillParam*>(param->extra);
    mSrc = src;
    mDst = dst;
    mExtra = param->extra;
    // Only the mask rows' width is cleared: bytes past it belong to the caller.
    for (uint32_t y = 0; y < dst->height; ++y) std::memset(mira::row_ptr(*dst, y), 0, dst->width);
    if (p->x < dst->width && p->y < dst->height) {
        mSeedValue = mira::row_ptr(*src, p->y)[p->x];
        flood_fill_line(static_cast<int>(p->x), static_cast<int>(p->y));
    }
    ncvFloodfillResult* out = p->result;
    out->count = mCount;
    out->seedValue = mSeedValue;
    out->x = static_cast<uint32_t>(mMinX);
    out->y = static_cast<uint32_t>(mMinY);
    out->width = static_cast<uint32_t>(mMaxX) - static_cast<uint32_t>(mMinX) + 1u;
    out->height = static_cast<uint32_t>(mMaxY) - static_cast<uint32_t>(mMinY) + 1u;
    return mFailed ? MIRA_ERR_FAIL : MIRA_OK;
}

// There is no GPU fill: the request runs the CPU method.
uint32_t MIRA_FLOODFILL_SIMPLE_U8::MIRA_FLOODFILL_SIMPLE_U8_opencl(MIRA_FEATURE_ARGS) {
    return MIRA_FLOODFILL_SIMPLE_U8_neon(src, srcCount, dst, dstCount, param);
}
