#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

#if MIRA_TEST_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

using mira_test::GuardedImage;

namespace {

struct Fill {
    std::vector<uint8_t> mask;  // packed w x h
    uint32_t count = 0, x = 0, y = 0, width = 0, height = 0;
};

// Pixel-by-pixel breadth-first search over the 4 or 8 neighbours with the
// seed's value.
Fill bfs(const uint8_t* src, uint32_t stride, uint32_t w, uint32_t h, uint32_t sx, uint32_t sy,
         uint8_t n, bool eight) {
    Fill f;
    f.mask.assign(size_t(w) * h, 0);
    std::vector<uint8_t> seen(size_t(w) * h, 0);
    const uint8_t v = src[size_t(sy) * stride + sx];
    std::deque<std::pair<int, int>> q{{int(sx), int(sy)}};
    seen[size_t(sy) * w + sx] = 1;
    int minX = sx, maxX = sx, minY = sy, maxY = sy;
    while (!q.empty()) {
        auto [x, y] = q.front();
        q.pop_front();
        f.mask[size_t(y) * w + x] = n;
        ++f.count;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
                const int xx = x + dx, yy = y + dy;
                if (xx < 0 || yy < 0 || xx >= int(w) || yy >= int(h)) continue;
                if (seen[size_t(yy) * w + xx] || src[size_t(yy) * stride + xx] != v) continue;
                seen[size_t(yy) * w + xx] = 1;
                q.push_back({xx, yy});
            }
    }
    f.x = minX, f.y = minY, f.width = maxX - minX + 1, f.height = maxY - minY + 1;
    return f;
}

uint32_t run_fill(uint32_t mode, const GuardedImage& src, GuardedImage& mask, uint32_t w,
                  uint32_t h, uint32_t sx, uint32_t sy, uint8_t n, uint32_t conn,
                  ncvFloodfillResult* res) {
    MIRA_Feature_Buf s{w, src.stride(), h, h, const_cast<uint8_t*>(src.data())};
    MIRA_Feature_Buf d{w, mask.stride(), h, h, mask.data()};
    ncvFloodfillParam extra{sx, sy, n, conn, res};
    MIRA_Feature_Param p{MIRA_API_FLOODFILL_SIMPLE_U8, mode, 1, &extra, 0};
    return MIRA_Manager().run(&s, 1, &d, 1, &p);
}

void expect_matches(const GuardedImage& mask, const ncvFloodfillResult& r, const Fill& f,
                    uint8_t v) {
    EXPECT_EQ(mask.packed(), f.mask);
    EXPECT_EQ(r.count, f.count);
    EXPECT_EQ(r.seedValue, v);
    EXPECT_EQ(r.x, f.x);
    EXPECT_EQ(r.y, f.y);
    EXPECT_EQ(r.width, f.width);
    EXPECT_EQ(r.height, f.height);
    EXPECT_TRUE(mask.paddingIntact());
}

// Pixels from {0, 1} with P(0) = 0.6 (large, ragged regions near the
// percolation threshold), or from three levels.
void fill_levels(GuardedImage& img, uint32_t seed, bool threeLevels) {
    std::mt19937 rng(seed);
    for (uint32_t y = 0; y < img.rows(); ++y)
        for (uint32_t x = 0; x < img.rowBytes(); ++x)
            img.row(y)[x] = threeLevels ? uint8_t(rng() % 3) : uint8_t(rng() % 10 < 6 ? 0 : 1);
}

class FloodSweep : public ::testing::TestWithParam<
                       std::tuple<uint32_t, uint32_t, uint32_t, bool, uint32_t>> {};

TEST_P(FloodSweep, MatchesBreadthFirstSearch) {
    const auto [w, h, conn, threeLevels, mode] = GetParam();
    GuardedImage src(w, h, w + 3);
    fill_levels(src, w * 1009 + h + conn, threeLevels);
    std::mt19937 rng(w + 7 * h);
    for (int trial = 0; trial < 4; ++trial) {
        const uint32_t sx = rng() % w, sy = rng() % h;
        const uint8_t n = uint8_t(1 + rng() % 255);
        GuardedImage mask(w, h, w + 5);
        mask.fill(0xEE);  // stale contents are cleared
        ncvFloodfillResult r{};
        ASSERT_EQ(run_fill(mode, src, mask, w, h, sx, sy, n, conn, &r), MIRA_OK);
        expect_matches(mask, r, bfs(src.data(), src.stride(), w, h, sx, sy, n, conn == 8),
                       src.row(sy)[sx]);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FloodSweep,
                         ::testing::Combine(::testing::Values(1u, 2u, 7u, 17u, 33u, 641u),
                                            ::testing::Values(1u, 2u, 3u, 17u, 200u),
                                            ::testing::Values(4u, 8u),
                                            ::testing::Bool(),
                                            ::testing::Values(uint32_t(MIRA_MODE_CPU_ALT))));
INSTANTIATE_TEST_SUITE_P(Modes, FloodSweep,
                         ::testing::Combine(::testing::Values(33u), ::testing::Values(40u),
                                            ::testing::Values(4u, 8u), ::testing::Values(false),
                                            ::testing::Values(uint32_t(MIRA_MODE_CPU),
                                                              uint32_t(MIRA_MODE_OPENCL))));

#if MIRA_TEST_HAVE_OPENCV
// The same fills through OpenCV: the mask (inside its one-pixel margin), the
// area and the bounding box agree.
TEST(FloodFill, MatchesOpenCv) {
    for (uint32_t conn : {4u, 8u})
        for (auto [w, h] : {std::pair<uint32_t, uint32_t>{641, 480}, {17, 3}, {1, 50}, {333, 1}}) {
            GuardedImage src(w, h, w + 1);
            fill_levels(src, w + h + conn, false);
            std::mt19937 rng(conn * 5 + w);
            for (int trial = 0; trial < 6; ++trial) {
                const uint32_t sx = rng() % w, sy = rng() % h;
                GuardedImage mask(w, h, w);
                ncvFloodfillResult r{};
                ncvFloodfillSimpleu8(src.data(), w, h, src.stride(), mask.data(), mask.stride(),
                                     sx, sy, 255, &r, uint8_t(conn));
                cv::Mat img(int(h), int(w), CV_8UC1, src.data(), src.stride());
                cv::Mat cvMask = cv::Mat::zeros(int(h) + 2, int(w) + 2, CV_8UC1);
                cv::Rect box;
                const int area = cv::floodFill(
                    img, cvMask, cv::Point(int(sx), int(sy)), cv::Scalar(0), &box, cv::Scalar(0),
                    cv::Scalar(0), int(conn) | (255 << 8) | cv::FLOODFILL_MASK_ONLY);
                uint64_t differences = 0;
                for (uint32_t y = 0; y < h; ++y)
                    for (uint32_t x = 0; x < w; ++x)
                        differences += mask.row(y)[x] != cvMask.at<uint8_t>(int(y) + 1, int(x) + 1);
                EXPECT_EQ(differences, 0u);
                EXPECT_EQ(int(r.count), area);
                EXPECT_EQ(int(r.x), box.x);
                EXPECT_EQ(int(r.y), box.y);
                EXPECT_EQ(int(r.width), box.width);
                EXPECT_EQ(int(r.height), box.height);
            }
        }
}
#endif

TEST(FloodFill, LargeConstantImage) {
    const uint32_t w = 4000, h = 4000;
    GuardedImage src(w, h, w), mask(w, h, w);
    src.fill(42);
    ncvFloodfillResult r{};
    ncvFloodfillSimpleu8(src.data(), w, h, w, mask.data(), w, 1234, 3999, 9, &r, 4);
    EXPECT_EQ(r.count, w * h);
    EXPECT_EQ(r.seedValue, 42u);
    EXPECT_EQ(r.x, 0u);
    EXPECT_EQ(r.y, 0u);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
    EXPECT_EQ(mask.packed(), std::vector<uint8_t>(size_t(w) * h, 9));
}

// A one-pixel corridor winding as a square spiral from the border to the
// centre, and a serpentine of rows joined at alternate ends: each row run of
// the region is its own segment and the fill walks the whole image.
TEST(FloodFill, SpiralAndSerpentineMazes) {
    const uint32_t n = 1001;
    GuardedImage spiral(n, n, n);
    spiral.fill(1);
    {
        int x = 0, y = 0, dx = 1, dy = 0;
        int left = 0, top = 2, right = int(n) - 1, bottom = int(n) - 1;
        // Walls two apart: carve the corridor while turning inwards.
        for (int steps = 0; steps < int(n * n); ++steps) {
            spiral.row(uint32_t(y))[x] = 0;
            const int nx = x + dx, ny = y + dy;
            const bool out = (dx == 1 && nx > right) || (dx == -1 && nx < left) ||
                             (dy == 1 && ny > bottom) || (dy == -1 && ny < top);
            if (out) {
                if (dx == 1) { right -= 2; }
                else if (dy == 1) { bottom -= 2; }
                else if (dx == -1) { left += 2; }
                else { top += 2; }
                const int t = dx;
                dx = -dy;
                dy = t;
                if (left > right || top > bottom) break;
                continue;
            }
            x = nx;
            y = ny;
        }
    }
    GuardedImage serp(n, n, n);
    for (uint32_t y = 0; y < n; ++y)
        for (uint32_t x = 0; x < n; ++x) {
            const bool corridorRow = y % 2 == 0;
            const bool joint = (y / 2) % 2 == 0 ? x == n - 1 : x == 0;
            serp.row(y)[x] = corridorRow || joint ? 0 : 1;
        }
    for (GuardedImage* img : {&spiral, &serp})
        for (uint32_t conn : {4u, 8u}) {
            GuardedImage mask(n, n, n);
            ncvFloodfillResult r{};
            ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, *img, mask, n, n, 0, 0, 200, conn, &r), MIRA_OK);
            expect_matches(mask, r, bfs(img->data(), n, n, n, 0, 0, 200, conn == 8), 0);
            EXPECT_GT(r.count, n * n / 3);
        }
}

TEST(FloodFill, CornerTouchingRegions) {
    // Two 0-blocks touching at one corner in a field of 5.
    const uint32_t w = 6, h = 6;
    GuardedImage src(w, h, w);
    src.fill(5);
    for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 3; ++x) src.row(y)[x] = 0, src.row(y + 3)[x + 3] = 0;
    GuardedImage mask(w, h, w);
    ncvFloodfillResult r{};
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, 1, 1, 1, 4, &r), MIRA_OK);
    EXPECT_EQ(r.count, 9u);
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, 1, 1, 1, 8, &r), MIRA_OK);
    EXPECT_EQ(r.count, 18u);
    EXPECT_EQ(r.width, 6u);
    // A one-pixel island.
    src.fill(8);
    src.row(2)[4] = 7;
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, 4, 2, 3, 8, &r), MIRA_OK);
    EXPECT_EQ(r.count, 1u);
    EXPECT_EQ(r.seedValue, 7u);
    EXPECT_EQ(r.x, 4u);
    EXPECT_EQ(r.y, 2u);
    EXPECT_EQ(r.width, 1u);
    EXPECT_EQ(r.height, 1u);
}

TEST(FloodFill, SeedOutsideFillsAndReadsNothing) {
    const uint32_t w = 9, h = 4;
    GuardedImage src(w, h, w), mask(w, h, w + 2);
    src.fill(3);
    mask.fill(0x66);
    ncvFloodfillResult r{};
    // The seed row lies past the guarded source: reading it would fault.
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, 2, h + 100, 50, 4, &r), MIRA_OK);
    EXPECT_EQ(mask.packed(), std::vector<uint8_t>(w * h, 0));
    EXPECT_TRUE(mask.paddingIntact());
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(r.x, 0x7FFFFFFFu);
    EXPECT_EQ(r.y, 0x7FFFFFFFu);
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, w, 0, 50, 4, &r), MIRA_OK);
    EXPECT_EQ(r.count, 0u);
}

TEST(FloodFill, FillValueZeroCountsOnlyTheSeedRun) {
    const uint32_t w = 12, h = 5;
    GuardedImage src(w, h, w), mask(w, h, w);
    src.fill(4);
    src.row(2)[1] = 9;
    ncvFloodfillResult r{};
    ASSERT_EQ(run_fill(MIRA_MODE_CPU_ALT, src, mask, w, h, 6, 2, 0, 4, &r), MIRA_OK);
    EXPECT_EQ(mask.packed(), std::vector<uint8_t>(w * h, 0));
    EXPECT_EQ(r.count, w - 2);  // columns 2..11 of row 2
    EXPECT_EQ(r.x, 2u);
    EXPECT_EQ(r.height, 1u);
}

TEST(FloodFill, BadArguments) {
    GuardedImage src(8, 8, 8), mask(8, 8, 8);
    src.fill(1);
    mask.fill(0x42);
    ncvFloodfillResult r{};
    ncvFloodfillParam extra{1, 1, 9, 4, &r};
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{8, 8, 8, 8, mask.data()};
    MIRA_Feature_Param p{MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_MODE_CPU_ALT, 1, &extra, 0};
    MIRA_Manager m;
    MIRA_Feature_Buf two[2] = {s, s};
    EXPECT_EQ(m.run(two, 2, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(&s, 1, &d, 0, &p), MIRA_ERR_ARG);
    MIRA_Feature_Param noExtra{MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_MODE_CPU_ALT, 1, nullptr, 0};
    EXPECT_EQ(m.run(&s, 1, &d, 1, &noExtra), MIRA_ERR_ARG);
    ncvFloodfillParam noResult{1, 1, 9, 4, nullptr};
    MIRA_Feature_Param pr{MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_MODE_CPU_ALT, 1, &noResult, 0};
    EXPECT_EQ(m.run(&s, 1, &d, 1, &pr), MIRA_ERR_ARG);
    // Too wide or too tall for 16-bit segment coordinates.
    MIRA_Feature_Buf wide{70000, 70000, 1, 1, src.data()}, wideMask{70000, 70000, 1, 1, mask.data()};
    EXPECT_EQ(m.run(&wide, 1, &wideMask, 1, &p), MIRA_ERR_ARG);
    MIRA_Feature_Buf tall{1, 1, 65536, 65536, src.data()}, tallMask{1, 1, 65536, 65536, mask.data()};
    EXPECT_EQ(m.run(&tall, 1, &tallMask, 1, &p), MIRA_ERR_ARG);
    MIRA_FLOODFILL_SIMPLE_U8 f;
    EXPECT_EQ(f.MIRA_FLOODFILL_SIMPLE_U8_neon(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(mask.packed(), std::vector<uint8_t>(64, 0x42));
    EXPECT_EQ(r.count, 0u);
}

}  // namespace
