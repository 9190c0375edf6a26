#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "common/guarded_image.h"
#include "gpu/src/inc/param_utils.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"

using mira_test::GuardedImage;

namespace {

constexpr uint8_t kOld = 0x77;  // destination bytes before the call

// Written from the formulas: interior sum >> 4; frame by mode. Mode 1 edges
// are /12 sums, corners /9 sums; for images one pixel wide or tall the frame
// uses the weights of the neighbours that exist, renormalised.
std::vector<uint8_t> reference(const GuardedImage& s, uint32_t w, uint32_t h, int mode) {
    std::vector<uint8_t> q(size_t(w) * h, kOld);
    auto p = [&](int x, int y) { return unsigned(s.row(uint32_t(y))[x]); };
    auto at = [&](uint32_t x, uint32_t y) -> uint8_t& { return q[size_t(y) * w + x]; };
    for (uint32_t y = 1; y + 1 < h; ++y)
        for (uint32_t x = 1; x + 1 < w; ++x) {
            const unsigned sum = p(x - 1, y - 1) + 2 * p(x, y - 1) + p(x + 1, y - 1) +
                                 2 * p(x - 1, y) + 4 * p(x, y) + 2 * p(x + 1, y) +
                                 p(x - 1, y + 1) + 2 * p(x, y + 1) + p(x + 1, y + 1);
            at(x, y) = uint8_t(sum >> 4);
        }
    auto corner = [&](uint32_t x, uint32_t y) {
        return (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
    };
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool frame = x == 0 || y == 0 || x + 1 == w || y + 1 == h;
            if (!frame) continue;
            if (mode == 0) {
                at(x, y) = 0;
            } else if (mode != 1) {
                if (!corner(x, y)) at(x, y) = 0;
            } else if (w >= 2 && h >= 2 && corner(x, y)) {
                const int nx = x == 0 ? 1 : int(x) - 1, ny = y == 0 ? 1 : int(y) - 1;
                at(x, y) = uint8_t((4 * p(x, y) + 2 * p(nx, y) + 2 * p(x, ny) + p(nx, ny)) / 9);
            } else if (w >= 2 && h >= 2 && (y == 0 || y == h - 1) && h >= 2) {
                const int ny = y == 0 ? 1 : int(y) - 1;
                at(x, y) = uint8_t((2 * p(x - 1, y) + 4 * p(x, y) + 2 * p(x + 1, y) +
                                    p(x - 1, ny) + 2 * p(x, ny) + p(x + 1, ny)) / 12);
            } else if (w >= 2 && h >= 2) {
                const int nx = x == 0 ? 1 : int(x) - 1;
                at(x, y) = uint8_t((2 * p(x, y - 1) + 4 * p(x, y) + 2 * p(x, y + 1) +
                                    p(nx, y - 1) + 2 * p(nx, y) + p(nx, y + 1)) / 12);
            } else {
                unsigned sum = 0, weight = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int xx = int(x) + dx, yy = int(y) + dy;
                        if (xx < 0 || yy < 0 || xx >= int(w) || yy >= int(h)) continue;
                        const unsigned k = (dx == 0 ? 2 : 1) * (dy == 0 ? 2 : 1);
                        sum += k * p(xx, yy);
                        weight += k;
                    }
                at(x, y) = uint8_t(sum / weight);
            }
        }
    return q;
}

enum class Entry { Wrapper, Kernel, ManagerCpu, ManagerGpu };

uint32_t run_manager(uint32_t mode, GuardedImage& src, GuardedImage& dst, uint32_t w, uint32_t h,
                     int border) {
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
    MIRA_Feature_Buf d{w, dst.stride(), h, h, dst.data()};
    MIRA_Feature_Param p{MIRA_API_FILTER_GAUSSIAN3X3_U8, mode, 1, nullptr, border};
    return MIRA_Manager().run(&s, 1, &d, 1, &p);
}

class GaussianSweep
    : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, int, Entry>> {};

TEST_P(GaussianSweep, MatchesReferenceWithinGuards) {
    const auto [w, h, mode, e] = GetParam();
    // The wrapper and the direct kernel take packed rows; the manager entries
    // get strides wider than the rows.
    const bool packed = e == Entry::Wrapper || e == Entry::Kernel;
    GuardedImage src(w, h, packed ? w : w + 3);
    src.fillRandom(w * 131 + h * 7 + uint32_t(mode));
    GuardedImage dst(w, h, packed ? w : w + 9);
    dst.fill(kOld);
    switch (e) {
        case Entry::Wrapper: ncvFilterGaussian3x3u8(src.data(), w, h, dst.data(), mode); break;
        case Entry::Kernel: mira::ncvFilterGaussian3x3u8(src.data(), dst.data(), w, h, mode); break;
        case Entry::ManagerCpu:
            ASSERT_EQ(run_manager(MIRA_MODE_CPU, src, dst, w, h, mode), MIRA_OK);
            break;
        case Entry::ManagerGpu:
            ASSERT_EQ(run_manager(MIRA_MODE_OPENCL, src, dst, w, h, mode), MIRA_OK);
            break;
    }
    EXPECT_EQ(dst.packed(), reference(src, w, h, mode));
    EXPECT_TRUE(dst.paddingIntact());
}

const uint32_t kWidths[] = {1, 2, 3, 7, 8, 9, 10, 11, 17, 18, 19, 33, 641};
const uint32_t kHeights[] = {1, 2, 3, 17};

INSTANTIATE_TEST_SUITE_P(AllPaths, GaussianSweep,
                         ::testing::Combine(::testing::ValuesIn(kWidths),
                                            ::testing::ValuesIn(kHeights),
                                            ::testing::Values(0, 1, 5),
                                            ::testing::Values(Entry::Wrapper, Entry::ManagerCpu,
                                                              Entry::ManagerGpu)));
INSTANTIATE_TEST_SUITE_P(DirectKernel, GaussianSweep,
                         ::testing::Combine(::testing::Values(1u, 16u, 1920u),
                                            ::testing::Values(2u, 9u), ::testing::Values(0, 1),
                                            ::testing::Values(Entry::Kernel)));

// The kernel alone (no host border pass): every interior pixel comes from the
// device, for widths that are not a whole number of 4-pixel units too.
class GaussianKernelOnDevice : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t>> {};

TEST_P(GaussianKernelOnDevice, InteriorMatchesReference) {
    if (!zor_opencl_usable()) GTEST_SKIP() << "no OpenCL device";
    const auto [w, h] = GetParam();
    GuardedImage src(w, h, w + 2), dst(w, h, w + 6);
    src.fillRandom(w + 5 * h);
    dst.fill(kOld);
    MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()}, d{w, dst.stride(), h, h, dst.data()};
    ZOR_U8Info in = zor_u8_info(s), out = zor_u8_info(d);
    ZOR_U8Info* ins[1] = {&in};
    ZOR_U8Info* outs[1] = {&out};
    ZOR_ReserveParam_Opencl r =
        zor_reserve(MIRA_API_FILTER_GAUSSIAN3X3_U8, "mira_fcvFilterGaussian3x3u8_func");
    ASSERT_EQ(zor_cv_process_u8_u8(ins, 1, outs, 1, &r, nullptr), 1);
    const auto ref = reference(src, w, h, 0);
    for (uint32_t y = 1; y + 1 < h; ++y)
        for (uint32_t x = 1; x + 1 < w; ++x) ASSERT_EQ(dst.row(y)[x], ref[y * w + x]) << x << "," << y;
    EXPECT_TRUE(dst.paddingIntact());
}

INSTANTIATE_TEST_SUITE_P(Sizes, GaussianKernelOnDevice,
                         ::testing::Combine(::testing::Values(3u, 5u, 6u, 7u, 9u, 17u, 641u),
                                            ::testing::Values(3u, 17u)));

TEST(Gaussian, TruncatesAndSpreadsABrightPixel) {
    const uint32_t w = 9, h = 7;
    GuardedImage src(w, h, w), dst(w, h, w);
    src.fill(0);
    src.row(3)[4] = 255;
    ncvFilterGaussian3x3u8(src.data(), w, h, dst.data(), 0);
    EXPECT_EQ(dst.row(3)[4], 63);  // 1020 / 16 = 63.75
    EXPECT_EQ(dst.row(2)[4], 31);
    EXPECT_EQ(dst.row(3)[5], 31);
    EXPECT_EQ(dst.row(2)[3], 15);
    EXPECT_EQ(dst.row(4)[5], 15);
    // A sum of 31 gives 1, not 2.
    src.fill(0);
    src.row(3)[4] = 7;  // 4 * 7 = 28
    src.row(2)[4] = 1;  // 2 * 1
    src.row(2)[3] = 1;  // 1 * 1
    ncvFilterGaussian3x3u8(src.data(), w, h, dst.data(), 0);
    EXPECT_EQ(dst.row(3)[4], 1);
}

TEST(Gaussian, ConstantImage) {
    const uint32_t w = 23, h = 6;
    GuardedImage src(w, h, w), dst(w, h, w);
    src.fill(90);
    for (uint32_t mode : {uint32_t(MIRA_MODE_CPU), uint32_t(MIRA_MODE_OPENCL)}) {
        ASSERT_EQ(run_manager(mode, src, dst, w, h, 1), MIRA_OK);
        EXPECT_EQ(dst.packed(), std::vector<uint8_t>(w * h, 90));
        ASSERT_EQ(run_manager(mode, src, dst, w, h, 0), MIRA_OK);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                ASSERT_EQ(dst.row(y)[x], frame ? 0 : 90);
            }
    }
}

TEST(Gaussian, BadArgumentsWriteNothing) {
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    src.fillRandom(2);
    dst.fill(kOld);
    MIRA_Feature_Buf s{8, 8, 8, 8, src.data()}, d{8, 8, 8, 8, dst.data()};
    MIRA_Feature_Param p{MIRA_API_FILTER_GAUSSIAN3X3_U8, MIRA_MODE_CPU, 1, nullptr, 1};
    MIRA_Manager m;
    EXPECT_EQ(m.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(&s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    MIRA_Feature_Buf small{4, 8, 8, 8, dst.data()};
    EXPECT_EQ(m.run(&s, 1, &small, 1, &p), MIRA_ERR_ARG);
    MIRA_Feature_Buf nodata{8, 8, 8, 8, nullptr};
    EXPECT_EQ(m.run(&s, 1, &nodata, 1, &p), MIRA_ERR_ARG);
    MIRA_FILTER_GAUSSIAN3X3_U8 g;
    EXPECT_EQ(g.MIRA_FILTER_GAUSSIAN3X3_U8_neon(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(g.MIRA_FILTER_GAUSSIAN3X3_U8_opencl(&s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    ncvFilterGaussian3x3u8(nullptr, 8, 8, dst.data(), 0);
    EXPECT_EQ(dst.packed(), std::vector<uint8_t>(64, kOld));
}

}  // namespace
