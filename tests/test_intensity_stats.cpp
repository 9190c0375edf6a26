#include <gtest/gtest.h>

#include <sched.h>

#include <cmath>
#include <thread>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

using mira_test::GuardedImage;

namespace {

struct Stats {
    double mean, variance;
};

// Two passes in double precision: mean, then the (N - 1) variance.
Stats reference(const uint8_t* p, uint32_t w, uint32_t h, uint32_t stride) {
    const double n = double(w) * h;
    double sum = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) sum += p[size_t(y) * stride + x];
    const double mean = sum / n;
    double dev = 0;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const double d = p[size_t(y) * stride + x] - mean;
            dev += d * d;
        }
    return {mean, n > 1 ? dev / (n - 1) : 0.0};
}

// Float results: a few units in the last place of a float, relative to the
// magnitudes involved (255 for the mean, 255^2 for the variance).
void expect_close(float mean, float variance, Stats r) {
    EXPECT_NEAR(mean, r.mean, 4e-7 * std::max(1.0, r.mean) + 1e-6);
    EXPECT_NEAR(variance, r.variance, 4e-7 * std::max(1.0, r.variance) + 1e-4);
}

enum class Entry { Wrapper, ManagerCpu, ManagerGpu };

uint32_t run_manager(uint32_t mode, const uint8_t* data, uint32_t w, uint32_t h, uint32_t stride,
                     float* mean, float* variance) {
    MIRA_Feature_Buf s{w, stride, h, h, const_cast<uint8_t*>(data)};
    MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, reinterpret_cast<uint8_t*>(mean)},
                             {1, 1, 1, 1, reinterpret_cast<uint8_t*>(variance)}};
    MIRA_Feature_Param p{MIRA_API_IMAGE_INTENSITY_STATS, mode, 1, nullptr, 0};
    return MIRA_Manager().run(&s, 1, d, 1, &p);
}

class StatsSweep
    : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, uint32_t, Entry>> {};

// A rectangle at (x0, y0) of a larger guarded image: pixels outside it (on
// the same rows too) must not count.
TEST_P(StatsSweep, MatchesDoubleReference) {
    const auto [w, h, margin, e] = GetParam();
    const uint32_t x0 = margin, y0 = margin ? 2 : 0;
    const uint32_t imgW = w + 2 * margin, imgH = h + y0;
    GuardedImage img(imgW, imgH, imgW + 3);
    img.fillRandom(w * 17 + h);
    // Bias the rectangle so that it differs from its surroundings.
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) img.row(y0 + y)[x0 + x] |= 0x80;
    float mean = -1, variance = -1;
    const uint8_t* rect = img.row(y0) + x0;
    switch (e) {
        case Entry::Wrapper:
            ncvImageIntensityStats(img.data(), int(img.stride()), int(x0), int(y0), w, h, &mean,
                                   &variance);
            break;
        case Entry::ManagerCpu:
            ASSERT_EQ(run_manager(MIRA_MODE_CPU, rect, w, h, img.stride(), &mean, &variance),
                      MIRA_OK);
            break;
        case Entry::ManagerGpu:
            ASSERT_EQ(run_manager(MIRA_MODE_OPENCL, rect, w, h, img.stride(), &mean, &variance),
                      MIRA_OK);
            break;
    }
    expect_close(mean, variance, reference(rect, w, h, img.stride()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, StatsSweep,
                         ::testing::Combine(::testing::Values(1u, 2u, 7u, 15u, 16u, 17u, 33u,
                                                              641u, 2053u),
                                            ::testing::Values(1u, 2u, 3u, 4u, 5u, 17u, 300u),
                                            ::testing::Values(0u, 5u),
                                            ::testing::Values(Entry::Wrapper)));
INSTANTIATE_TEST_SUITE_P(Modes, StatsSweep,
                         ::testing::Combine(::testing::Values(1u, 33u, 1000u),
                                            ::testing::Values(1u, 3u, 333u),
                                            ::testing::Values(3u),
                                            ::testing::Values(Entry::ManagerCpu,
                                                              Entry::ManagerGpu)));

TEST(IntensityStats, KnownSmallCases) {
    const uint8_t two[2] = {0, 255};
    float mean = -1, variance = -1;
    ncvImageIntensityStats(two, 2, 0, 0, 2, 1, &mean, &variance);
    EXPECT_FLOAT_EQ(mean, 127.5f);
    EXPECT_FLOAT_EQ(variance, 32512.5f);
    const uint8_t one = 77;
    ncvImageIntensityStats(&one, 1, 0, 0, 1, 1, &mean, &variance);
    EXPECT_FLOAT_EQ(mean, 77.0f);
    EXPECT_EQ(variance, 0.0f);
}

// More than 2^32 / 255 pixels of 255: the sums need 64 bits.
TEST(IntensityStats, LargeBrightImageDoesNotOverflow) {
    const uint32_t w = 4200, h = 4100;
    std::vector<uint8_t> img(size_t(w) * h, 255);
    img[12345] = 0;
    float mean = 0, variance = 0;
    ncvImageIntensityStats(img.data(), int(w), 0, 0, w, h, &mean, &variance);
    expect_close(mean, variance, reference(img.data(), w, h, w));
    std::vector<uint8_t> flat(size_t(w) * h, 255);
    ncvImageIntensityStats(flat.data(), int(w), 0, 0, w, h, &mean, &variance);
    EXPECT_EQ(mean, 255.0f);
    EXPECT_EQ(variance, 0.0f);
}

TEST(IntensityStats, CallerAffinityIsRestored) {
    std::vector<uint8_t> img(640 * 480);
    for (size_t i = 0; i < img.size(); ++i) img[i] = uint8_t(i * 7);
    cpu_set_t before, after;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    float mean, variance;
    ncvImageIntensityStats(img.data(), 640, 0, 0, 640, 480, &mean, &variance);
    ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_TRUE(CPU_EQUAL(&before, &after));

    // A caller confined to one CPU stays confined to it.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu() >= 0 ? sched_getcpu() : 0, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    ncvImageIntensityStats(img.data(), 640, 0, 0, 640, 480, &mean, &variance);
    ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_TRUE(CPU_EQUAL(&one, &after));
    sched_setaffinity(0, sizeof before, &before);
    expect_close(mean, variance, reference(img.data(), 640, 480, 640));
}

TEST(IntensityStats, ConcurrentCallersGetTheirOwnResults) {
    const uint32_t w = 800, h = 600;
    std::vector<std::vector<uint8_t>> imgs(4, std::vector<uint8_t>(size_t(w) * h));
    for (size_t k = 0; k < imgs.size(); ++k)
        for (size_t i = 0; i < imgs[k].size(); ++i) imgs[k][i] = uint8_t((i * (k + 3)) >> k);
    std::vector<float> means(4), variances(4);
    std::vector<std::thread> threads;
    for (size_t k = 0; k < imgs.size(); ++k)
        threads.emplace_back([&, k] {
            for (int r = 0; r < 5; ++r)
                ncvImageIntensityStats(imgs[k].data(), int(w), 0, 0, w, h, &means[k],
                                       &variances[k]);
        });
    for (auto& t : threads) t.join();
    for (size_t k = 0; k < imgs.size(); ++k)
        expect_close(means[k], variances[k], reference(imgs[k].data(), w, h, w));
}

TEST(IntensityStats, BadArguments) {
    const uint8_t px[4] = {1, 2, 3, 4};
    float mean = -1, variance = -1;
    MIRA_Feature_Buf s{2, 2, 2, 2, const_cast<uint8_t*>(px)};
    MIRA_Feature_Buf d[2] = {{1, 1, 1, 1, reinterpret_cast<uint8_t*>(&mean)},
                             {1, 1, 1, 1, nullptr}};
    MIRA_Feature_Param p{MIRA_API_IMAGE_INTENSITY_STATS, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    MIRA_Manager m;
    EXPECT_EQ(m.run(nullptr, 1, d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(&s, 1, d, 1, &p), MIRA_ERR_ARG);  // no variance address
    MIRA_Feature_Buf overlapping{2, 1, 2, 2, const_cast<uint8_t*>(px)};
    MIRA_Feature_Buf both[2] = {d[0], {1, 1, 1, 1, reinterpret_cast<uint8_t*>(&variance)}};
    EXPECT_EQ(m.run(&overlapping, 1, both, 1, &p), MIRA_ERR_ARG);
    MIRA_IMAGE_INTENSITY_STATS f;
    EXPECT_EQ(f.MIRA_IMAGE_INTENSITY_STATS_neon(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(f.MIRA_IMAGE_INTENSITY_STATS_opencl(&s, 1, d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(mean, -1.0f);
    ncvImageIntensityStats(px, 2, 0, 0, 2, 2, &mean, nullptr);
    ncvImageIntensityStats(nullptr, 2, 0, 0, 2, 2, &mean, &variance);
    EXPECT_EQ(mean, -1.0f);
    EXPECT_EQ(variance, -1.0f);
}

}  // namespace
