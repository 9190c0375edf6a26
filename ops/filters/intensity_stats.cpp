#include "ops/filters/intensity_stats.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>

#include "api/feature_common.h"
#include "ops/mira_neon.h"
#include "ops/threadpool/threadpool.h"

namespace mira {

namespace {

constexpr int kBands = 4;
// Below this many pixels the four bands run on the calling thread: waking the
// workers would cost more than the sums.
constexpr uint64_t kPoolMinPixels = 1u << 16;

// Sum and sum of squares of one row. Byte sums collect in 16-bit lanes for up
// to 128 vectors (128 x 2 x 255 < 65536), squares in 32-bit lanes
// (128 x 4 x 65025 < 2^32); both then fold into 64-bit lanes.
inline void row_moments(const uint8_t* p, uint32_t width, uint64x2_t& sum64, uint64x2_t& sq64,
                        uint64_t& sumTail, uint64_t& sqTail) {
    uint32_t x = 0;
    while (x + 16 <= width) {
        const uint32_t chunkEnd = (width - x) / 16 > 128 ? x + 128 * 16 : x + (width - x) / 16 * 16;
        uint16x8_t s16 = vdupq_n_u16(0);
        uint32x4_t q32 = vdupq_n_u32(0);
        for (; x < chunkEnd; x += 16) {
            const uint8x16_t v = vld1q_u8(p + x);
            s16 = vpadalq_u8(s16, v);
            const uint8x8_t lo = vget_low_u8(v), hi = vget_high_u8(v);
            q32 = vpadalq_u16(q32, vmull_u8(lo, lo));
            q32 = vpadalq_u16(q32, vmull_u8(hi, hi));
        }
        sum64 = vpadalq_u32(sum64, vpaddlq_u16(s16));
        sq64 = vpadalq_u32(sq64, q32);
    }
    if (x + 8 <= width) {
        const uint8x8_t v = vld1_u8(p + x);
        sum64 = vpadalq_u32(sum64, vpaddlq_u16(vmovl_u8(v)));
        sq64 = vpadalq_u32(sq64, vpaddlq_u16(vmull_u8(v, v)));
        x += 8;
    }
    for (; x < width; ++x) {
        sumTail += p[x];
        sqTail += static_cast<uint32_t>(p[x]) * p[x];
    }
}

struct BandJob {
    const uint8_t* data;
    uint32_t width, stride, rows;
    uint64_t sum, sumSquares;
};

void block_process_moments(void* arg) {
    BandJob* job = static_cast<BandJob*>(arg);
    if (job == nullptr) return;
    intensity_moments_neon(job->data, job->width, job->rows, job->stride, &job->sum,
                           &job->sumSquares);
}

// The pool shared by consecutive calls; a call that finds it busy makes its own.
std::mutex g_sharedPoolMutex;
threadpool g_sharedPool = nullptr;

// Restores the caller's CPU set when the call ends.
class AffinityGuard {
public:
    AffinityGuard() {
        CPU_ZERO(&saved_);
        haveSaved_ = sched_getaffinity(0, sizeof saved_, &saved_) == 0;
        pinned_ = haveSaved_ && set_sched_affinity() == 0;
    }
    ~AffinityGuard() {
        if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    }

private:
    cpu_set_t saved_;
    bool haveSaved_ = false, pinned_ = false;
};

}  // namespace

void intensity_moments_neon(const uint8_t* data, uint32_t width, uint32_t rows, uint32_t stride,
                            uint64_t* sum, uint64_t* sumSquares) {
    uint64x2_t sum64 = vdupq_n_u64(0), sq64 = vdupq_n_u64(0);
    uint64_t sumTail = 0, sqTail = 0;
    for (uint32_t y = 0; y < rows; ++y)
        row_moments(data + static_cast<uint64_t>(y) * stride, width, sum64, sq64, sumTail, sqTail);
    *sum = vgetq_lane_u64(sum64, 0) + vgetq_lane_u64(sum64, 1) + sumTail;
    *sumSquares = vgetq_lane_u64(sq64, 0) + vgetq_lane_u64(sq64, 1) + sqTail;
}

void intensity_finish(uint64_t sum, uint64_t sumSquares, uint64_t n, float* mean,
                      float* variance) {
    if (n == 0) {
        *mean = 0.0f;
        *variance = 0.0f;
        return;
    }
    *mean = static_cast<float>(static_cast<double>(sum) / static_cast<double>(n));
    if (n == 1) {
        *variance = 0.0f;
        return;
    }
    // N * sum of squared deviations, exact in 128 bits.
    const unsigned __int128 scaled =
        static_cast<unsigned __int128>(n) * sumSquares - static_cast<unsigned __int128>(sum) * sum;
    *variance = static_cast<float>(static_cast<double>(scaled) /
                                   (static_cast<double>(n) * static_cast<double>(n - 1)));
}

int set_sched_affinity() {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 4; cpu < 8; ++cpu) CPU_SET(cpu, &set);
    const pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    return sched_setaffinity(tid, sizeof set, &set) == 0 ? 0 : -1;
}

}  // namespace mira

MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS() : mPool(nullptr) {}

MIRA_IMAGE_INTENSITY_STATS::~MIRA_IMAGE_INTENSITY_STATS() {
    if (mPool != nullptr) threadpool_destroy(static_cast<threadpool>(mPool));
}

uint32_t MIRA_IMAGE_INTENSITY_STATS::run(MIRA_FEATURE_ARGS) {
    if (param == nullptr) return MIRA_ERR_ARG;
    if (param->mode == MIRA_MODE_OPENCL)
        return MIRA_IMAGE_INTENSITY_STATS_opencl(src, srcCount, dst, dstCount, param);
    return MIRA_IMAGE_INTENSITY_STATS_neon(src, srcCount, dst, dstCount, param);
}

// The destination list holds two descriptors (the mean's float, then the
// variance's float) whatever its count says.
uint32_t MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS_neon(MIRA_FEATURE_ARGS) {
    (void)srcCount;
    (void)dstCount;
    if (src == nullptr || dst == nullptr || param == nullptr) return MIRA_ERR_ARG;
    if (dst[0].data == nullptr || dst[1].data == nullptr) return MIRA_ERR_ARG;
    const uint32_t width = src->width, height = src->height, stride = src->stride;
    const uint64_t n = static_cast<uint64_t>(width) * height;
    if (n != 0 && src->data == nullptr) return MIRA_ERR_ARG;
    float* meanOut = reinterpret_cast<float*>(dst[0].data);
    float* varianceOut = reinterpret_cast<float*>(dst[1].data);

    mira::AffinityGuard affinity;
    *meanOut = 0.0f;
    *varianceOut = 0.0f;
    if (n == 0) return MIRA_OK;

    // Bands 0..2 have height / 4 rows, band 3 the rest.
    mira::BandJob jobs[mira::kBands];
    const uint32_t q = height >> 2;
    for (int b = 0; b < mira::kBands; ++b) {
        const uint32_t first = q * b;
        jobs[b] = {src->data + static_cast<uint64_t>(first) * stride, width, stride,
                   b == mira::kBands - 1 ? height - first : q, 0, 0};
    }

    if (n < mira::kPoolMinPixels) {
        for (auto& job : jobs) mira::block_process_moments(&job);
    } else {
        std::unique_lock<std::mutex> shared(mira::g_sharedPoolMutex, std::try_to_lock);
        threadpool pool = nullptr;
        if (shared.owns_lock()) {
            if (mira::g_sharedPool == nullptr) mira::g_sharedPool = threadpool_init(mira::kBands);
            pool = mira::g_sharedPool;
        } else {
            if (mPool == nullptr) mPool = threadpool_init(mira::kBands);
            pool = static_cast<threadpool>(mPool);
        }
        bool queued[mira::kBands] = {};
        for (int b = 0; b < mira::kBands; ++b)
            queued[b] = pool != nullptr &&
                        threadpool_add_work(pool, mira::block_process_moments, &jobs[b]) == 0;
        // A band the pool could not take runs here.
        for (int b = 0; b < mira::kBands; ++b)
            if (!queued[b]) mira::block_process_moments(&jobs[b]);
        if (pool != nullptr) threadpool_wait(pool);
    }

    uint64_t sum = 0, sumSquares = 0;
    for (const auto& job : jobs) {
        sum += job.sum;
        sumSquares += job.sumSquares;
    }
    mira::intensity_finish(sum, sumSquares, n, meanOut, varianceOut);
    return MIRA_OK;
}

// No GPU reduction: the statistics are computed on the CPU in every mode.
uint32_t MIRA_IMAGE_INTENSITY_STATS::MIRA_IMAGE_INTENSITY_STATS_opencl(MIRA_FEATURE_ARGS) {
    if (src == nullptr || dst == nullptr || param == nullptr) return MIRA_ERR_ARG;
    return MIRA_IMAGE_INTENSITY_STATS_neon(src, srcCount, dst, dstCount, param);
}
