#include "ops/filters/intensity_stats.h"

#include <errno.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>

#include "ops/mira_neon.h"
#include "ops/threadpool/band_runner.h"

namespace mira {

namespace {

constexpr int kBands = 4;
// Below this many pixels the four bands run on the calling thread: waking the
// shared workers would cost more than the sums.
constexpr uint64_t kPoolMinPixels = 1u << 16;

// Sum and sum of squares of one row. Squares are taken of the signed
// deviation d = p - 128 (|d| <= 128, so d^2 fits a signed 16-bit lane), which
// pairs into 32-bit lanes with one signed pairwise add; the sum of p^2 is
// recovered as sum d^2 + 256 * sum p - 16384 * count. Byte sums collect in
// 16-bit lanes for up to 128 vectors (128 x 2 x 255 < 65536), squares in
// 32-bit lanes (128 x 65536 < 2^31); both then fold into 64-bit lanes.
// Squares of the signed bytes 0..7 (lo) or 8..15 (hi), in 16-bit lanes.
inline int16x8_t square_lo(int8x16_t d) {
    const int16x8_t w = widen_lo_s8(d);
    return vmulq_s16(w, w);
}
inline int16x8_t square_hi(int8x16_t d) {
    const int16x8_t w = widen_hi_s8(d);
    return vmulq_s16(w, w);
}

inline void row_moments(const uint8_t* p, uint32_t width, uint64x2_t& sum64, int64x2_t& dev64,
                        uint64_t& vectorPixels, uint64_t& sumTail, uint64_t& sqTail) {
    const uint8x16_t bias = vdupq_n_u8(0x80);
    uint32_t x = 0;
    while (x + 16 <= width) {
        const uint32_t chunkEnd = (width - x) / 16 > 128 ? x + 128 * 16 : x + (width - x) / 16 * 16;
        vectorPixels += chunkEnd - x;
        uint16x8_t s16a = vdupq_n_u16(0), s16b = vdupq_n_u16(0);
        int32x4_t q32a = vdupq_n_s32(0), q32b = vdupq_n_s32(0);
        for (; x + 32 <= chunkEnd; x += 32) {  // two independent chains
            const uint8x16_t v = vld1q_u8(p + x), w = vld1q_u8(p + x + 16);
            s16a = vpadalq_u8(s16a, v);
            s16b = vpadalq_u8(s16b, w);
            const int8x16_t d = vreinterpretq_s8_u8(veorq_u8(v, bias));
            const int8x16_t e = vreinterpretq_s8_u8(veorq_u8(w, bias));
            q32a = vpadalq_s16(q32a, square_lo(d));
            q32b = vpadalq_s16(q32b, square_lo(e));
            q32a = vpadalq_s16(q32a, square_hi(d));
            q32b = vpadalq_s16(q32b, square_hi(e));
        }
        for (; x < chunkEnd; x += 16) {
            const uint8x16_t v = vld1q_u8(p + x);
            s16a = vpadalq_u8(s16a, v);
            const int8x16_t d = vreinterpretq_s8_u8(veorq_u8(v, bias));
            q32a = vpadalq_s16(q32a, square_lo(d));
            q32a = vpadalq_s16(q32a, square_hi(d));
        }
        sum64 = vpadalq_u32(sum64, vaddq_u32(vpaddlq_u16(s16a), vpaddlq_u16(s16b)));
        dev64 = vpadalq_s32(dev64, vaddq_s32(q32a, q32b));
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

// Pins the caller for the call and restores its CPU set when the call ends.
// Where the pinning set names no processor of this machine the request fails;
// that is remembered, so later calls skip the two system calls.
std::atomic<bool> g_pinningUnavailable{false};

class AffinityGuard {
public:
    AffinityGuard() {
        if (g_pinningUnavailable.load(std::memory_order_relaxed)) return;
        CPU_ZERO(&saved_);
        if (sched_getaffinity(0, sizeof saved_, &saved_) != 0) return;
        pinned_ = set_sched_affinity() == 0;
        if (!pinned_ && errno == EINVAL) g_pinningUnavailable.store(true, std::memory_order_relaxed);
    }
    ~AffinityGuard() {
        if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    }

private:
    cpu_set_t saved_;
    bool pinned_ = false;
};

}  // namespace

void intensity_moments_neon(const uint8_t* data, uint32_t width, uint32_t rows, uint32_t stride,
                            uint64_t* sum, uint64_t* sumSquares) {
    uint64x2_t sum64 = vdupq_n_u64(0);
    int64x2_t dev64 = vdupq_n_s64(0);
    uint64_t vectorPixels = 0, sumTail = 0, sqTail = 0;
    for (uint32_t y = 0; y < rows; ++y)
        row_moments(data + static_cast<uint64_t>(y) * stride, width, sum64, dev64, vectorPixels,
                    sumTail, sqTail);
    const uint64_t vectorSum = vgetq_lane_u64(sum64, 0) + vgetq_lane_u64(sum64, 1);
    const uint64_t vectorDev =
        static_cast<uint64_t>(vgetq_lane_s64(dev64, 0) + vgetq_lane_s64(dev64, 1));
    *sum = vectorSum + sumTail;
    *sumSquares = vectorDev + 256 * vectorSum - 16384 * vectorPixels + sqTail;
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

bool intensity_stats_cpu(const uint8_t* data, uint32_t width, uint32_t height, uint32_t stride,
                         float* meanOut, float* varianceOut) {
    const uint64_t n = static_cast<uint64_t>(width) * height;

    // The shared workers start before the caller is pinned, so that they do
    // not inherit the pinning.
    const bool pooled = n >= kPoolMinPixels;
    if (pooled) start_band_workers();
    AffinityGuard affinity;
    *meanOut = 0.0f;
    *varianceOut = 0.0f;
    if (n == 0) return true;

    // Bands 0..2 have height / 4 rows, band 3 the rest.
    BandJob jobs[kBands];
    const uint32_t q = height >> 2;
    for (int b = 0; b < kBands; ++b) {
        const uint32_t first = q * b;
        jobs[b] = {data + static_cast<uint64_t>(first) * stride, width, stride,
                   b == kBands - 1 ? height - first : q, 0, 0};
    }
    auto band = [&jobs](int b) {
        BandJob& job = jobs[b];
        intensity_moments_neon(job.data, job.width, job.rows, job.stride, &job.sum,
                               &job.sumSquares);
    };
    if (pooled) {
        run_bands(kBands, band);
    } else {
        for (int b = 0; b < kBands; ++b) band(b);
    }
    uint64_t sum = 0, sumSquares = 0;
    for (const auto& job : jobs) {
        sum += job.sum;
        sumSquares += job.sumSquares;
    }
    intensity_finish(sum, sumSquares, n, meanOut, varianceOut);
    return true;
}

}  // namespace mira

