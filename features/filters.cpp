// The filter features: 3x3 Gaussian, the two gradients, the intensity
// statistics and the flood fill.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "features/routes.h"
#include "features/feature_common.h"
#include "features/gpu_call.h"
#include "mira/mira.h"
#include "ops/filters/floodfill.h"
#include "ops/filters/gaussian3x3.h"
#include "ops/filters/gradient.h"
#include "ops/filters/gradient_sobel.h"
#include "ops/filters/intensity_stats.h"
#include "ops/requests.h"

namespace mira {
namespace {

// ------------------------------------------------------------ 3x3 Gaussian

// Colour images (the request's pixel size, ops/requests.h) filter each
// interleaved channel as a plane.
bool gaussian_ok(const Call& c) {
    return gaussian_args_ok(c.src, c.dst, request_pixel_bytes(*c.param));
}

uint32_t gaussian_cpu_method(const Call& c) {
    gaussian_cpu(c.src, c.dst, c.param->arg, request_pixel_bytes(*c.param));
    return MIRA_OK;
}

// Border modes other than 0 and 1 keep the caller's corners; the kernel's
// output is staged back whole, so they are saved around the launch. The
// records count bytes; the kernel takes the pixel size (its neighbours'
// distance in bytes) as param_int_1.
bool gaussian_gpu(const Call& c) {
    const MIRA_Feature_Buf *src = c.src;
    MIRA_Feature_Buf* dst = c.dst;
    const uint32_t w = src->width, h = src->height;
    if (w == 0 || h == 0) return true;
    const uint32_t px = request_pixel_bytes(*c.param);
    uint8_t* corners[4] = {dst->data, dst->data + size_t(px) * (w - 1), row_ptr(*dst, h - 1),
                           row_ptr(*dst, h - 1) + size_t(px) * (w - 1)};
    uint8_t saved[4][4];
    for (int i = 0; i < 4; ++i) std::memcpy(saved[i], corners[i], px);
    if (w >= 3 && h >= 3) {
        ZOR_U8Info in = zor_u8_info(*src), out = zor_u8_info(*dst);
        in.width = px * w;
        out.width = px * w;
        out.height = h;
        kernel_config cfg = default_kernel_config();
        cfg.param_int_1 = int32_t(px);  // 1: the same program as for planes
        if (!gpu_plane(in, out,
                       gpu_request(MIRA_API_FILTER_GAUSSIAN3X3_U8, kernel_id::FilterGaussian3x3u8),
                       &cfg))
            return false;
    }
    if (c.param->arg != 0 && c.param->arg != 1)
        for (int i = 0; i < 4; ++i) std::memcpy(corners[i], saved[i], px);
    gaussian_process_border(src, dst, c.param->arg, px);
    return true;
}

// ------------------------------------------------------------ gradients

using GradientKernel = void (*)(const uint8_t*, uint32_t, uint32_t, uint32_t, int16_t*, uint32_t,
                                int16_t*, uint32_t);

bool gradient_ok(const Call& c) { return gradient_args_ok(c.src, c.srcCount, c.dst, c.dstCount); }

uint32_t gradient_run(const Call& c, GradientKernel cpu) {
    cpu(c.src->data, c.src->width, c.src->height, c.src->stride,
        reinterpret_cast<int16_t*>(c.dst[0].data), c.dst[0].stride,
        reinterpret_cast<int16_t*>(c.dst[1].data), c.dst[1].stride);
    return MIRA_OK;
}

uint32_t central_cpu(const Call& c) { return gradient_run(c, gradient_u8_neon); }
uint32_t sobel_cpu(const Call& c) { return gradient_run(c, gradient_sobel_u8_neon); }

// Both kernels write the interior of the two int16 planes; the frames are
// cleared here, each with its output's own stride.
bool gradient_gpu(const Call& c, uint32_t featureId, kernel_id kernel) {
    const MIRA_Feature_Buf* src = c.src;
    MIRA_Feature_Buf* dst = c.dst;
    const uint32_t w = src->width, h = src->height;
    if (w == 0 || h == 0) return true;
    ZOR_U8Info in = zor_u8_info(*src);
    ZOR_U8Info out[2] = {zor_u8_info(dst[0]), zor_u8_info(dst[1])};
    for (auto& o : out) {
        o.width = w;
        o.height = h;
        o.elemSize = 2;
        o.spare = 102;
    }
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[2] = {&out[0], &out[1]};
    ZOR_ReserveParam_Opencl reserve = gpu_request(featureId, kernel);
    if (!zor_gpu_u8_u8(ins, 1, outs, 2, &reserve, nullptr)) return false;
    gradient_clear_frame(reinterpret_cast<int16_t*>(dst[0].data), w, h, dst[0].stride);
    gradient_clear_frame(reinterpret_cast<int16_t*>(dst[1].data), w, h, dst[1].stride);
    return true;
}

bool central_gpu(const Call& c) {
    return gradient_gpu(c, MIRA_API_IMAGE_GRADIENT_U8, kernel_id::ImageGradientPlanars16_v2);
}
bool sobel_gpu(const Call& c) {
    return gradient_gpu(c, MIRA_API_IMAGE_GRADIENT_SOBEL_U8,
                        kernel_id::ImageGradientSobelPlanars16_v3);
}

// ------------------------------------------------------------ statistics

// The destination list holds two descriptors (the mean's float, then the
// variance's float) whatever its count says.
bool stats_ok(const Call& c) {
    if (c.src == nullptr || c.dst == nullptr) return false;
    if (c.dst[0].data == nullptr || c.dst[1].data == nullptr) return false;
    const uint64_t n = uint64_t(c.src->width) * c.src->height;
    if (n != 0 && c.src->data == nullptr) return false;
    return !(c.src->height > 1 && c.src->stride < c.src->width);  // rows would overlap
}

// No GPU reduction: the statistics are computed on the CPU in every mode.
uint32_t stats_cpu(const Call& c) {
    return intensity_stats_cpu(c.src->data, c.src->width, c.src->height, c.src->stride,
                               reinterpret_cast<float*>(c.dst[0].data),
                               reinterpret_cast<float*>(c.dst[1].data))
               ? MIRA_OK
               : MIRA_ERR_FAIL;
}

}  // namespace

// ------------------------------------------------------------ flood fill

bool floodfill_ok(const Call& c) {
    const MIRA_Feature_Buf *src = c.src, *dst = c.dst;
    if (src == nullptr || c.srcCount != 1 || dst == nullptr || c.dstCount == 0) return false;
    if (c.param->extra == nullptr) return false;
    const ncvFloodfillParam* p = static_cast<const ncvFloodfillParam*>(c.param->extra);
    if (p->result == nullptr) return false;
    if (dst->width > kFloodfillMaxSide || dst->height > kFloodfillMaxSide) return false;
    if (dst->width == 0 || dst->height == 0) return true;
    if (src->data == nullptr || dst->data == nullptr) return false;
    return src->width >= dst->width && src->height >= dst->height &&
           src->stride >= src->width && dst->stride >= dst->width;
}

namespace {

// The fill keeps its state in the feature object: the CPU method is the
// object's own.
uint32_t floodfill_cpu(const Call& c) {
    return static_cast<MIRA_FLOODFILL_SIMPLE_U8*>(c.self)->MIRA_FLOODFILL_SIMPLE_U8_neon(
        c.src, c.srcCount, c.dst, c.dstCount, c.param);
}

}  // namespace

const Route kGaussian{gaussian_ok, gaussian_cpu_method, nullptr, gaussian_gpu};
const Route kGradient{gradient_ok, central_cpu, nullptr, central_gpu};
const Route kSobel{gradient_ok, sobel_cpu, nullptr, sobel_gpu};
const Route kStats{stats_ok, stats_cpu};
const Route kFloodfill{floodfill_ok, floodfill_cpu};

}  // namespace mira

MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS() : mPool(nullptr) {}

// The statistics share one pool for all calls, kept for the process: the
// object owns none, and mPool (null) releases nothing.
MIRA_IMAGE_INTENSITY_STATS::~MIRA_IMAGE_INTENSITY_STATS() { (void)mPool; }

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

uint32_t MIRA_FLOODFILL_SIMPLE_U8::MIRA_FLOODFILL_SIMPLE_U8_neon(MIRA_FEATURE_ARGS) {
    if (param == nullptr || !mira::floodfill_ok({src, srcCount, dst, dstCount, param, this}))
        return MIRA_ERR_ARG;
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
