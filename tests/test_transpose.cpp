#include <gtest/gtest.h>

#include <tuple>

#include "common/guarded_image.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_kernels.h"

using mira_test::GuardedImage;

namespace {

// dst(r, c) = src(c, r), written from the definition.
std::vector<uint8_t> reference_transpose(const GuardedImage& src, uint32_t w, uint32_t h) {
    std::vector<uint8_t> out(static_cast<size_t>(w) * h);
    for (uint32_t r = 0; r < w; ++r)
        for (uint32_t c = 0; c < h; ++c) out[static_cast<size_t>(r) * h + c] = src.row(c)[r];
    return out;
}

enum class Entry { Wrapper, Kernel, ManagerAltMode };

class TransposeSweep
    : public ::testing::TestWithParam<std::tuple<uint32_t, uint32_t, uint32_t, Entry>> {};

TEST_P(TransposeSweep, MatchesReferenceWithinGuards) {
    const auto [w, h, pad, entry] = GetParam();
    GuardedImage src(w, h, w + pad);
    src.fillRandom(w * 131 + h);
    GuardedImage dst(h, w, h + pad + 3);
    switch (entry) {
        case Entry::Wrapper:
            ncvTransposeu8(src.data(), w, h, src.stride(), dst.data(), dst.stride());
            break;
        case Entry::Kernel:
            mira::ncvTransposeu8(src.data(), w, h, src.stride(), dst.data(), dst.stride());
            break;
        case Entry::ManagerAltMode: {
            MIRA_Feature_Buf s{w, src.stride(), h, h, src.data()};
            MIRA_Feature_Buf d{h, dst.stride(), w, w, dst.data()};
            MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, 7, 0, nullptr, 0};
            ASSERT_EQ(MIRA_Manager().run(&s, 1, &d, 1, &p), MIRA_OK);
            break;
        }
    }
    EXPECT_EQ(dst.packed(), reference_transpose(src, w, h));
    EXPECT_TRUE(dst.paddingIntact());
}

const uint32_t kSizes[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 20, 31, 32, 33, 37, 64, 641, 1920};

INSTANTIATE_TEST_SUITE_P(AllSizes, TransposeSweep,
                         ::testing::Combine(::testing::ValuesIn(kSizes), ::testing::ValuesIn(kSizes),
                                            ::testing::Values(0u, 5u),
                                            ::testing::Values(Entry::Wrapper)));
INSTANTIATE_TEST_SUITE_P(OtherEntries, TransposeSweep,
                         ::testing::Combine(::testing::Values(1u, 8u, 20u, 33u),
                                            ::testing::Values(1u, 16u, 37u),
                                            ::testing::Values(3u),
                                            ::testing::Values(Entry::Kernel,
                                                              Entry::ManagerAltMode)));

TEST(Transpose, BadArgumentsWriteNothing) {
    GuardedImage src(8, 8, 8), dst(8, 8, 8);
    src.fillRandom(1);
    dst.fill(7);
    MIRA_Feature_Buf s[2] = {{8, 8, 8, 8, src.data()}, {8, 8, 8, 8, src.data()}};
    MIRA_Feature_Buf d{8, 8, 8, 8, dst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_CPU, 1, nullptr, 0};
    MIRA_Manager m;
    EXPECT_EQ(m.run(s, 2, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(nullptr, 1, &d, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(s, 1, nullptr, 1, &p), MIRA_ERR_ARG);
    EXPECT_EQ(m.run(s, 1, &d, 0, &p), MIRA_ERR_ARG);
    MIRA_TRANSPOSE_U8 t;
    EXPECT_EQ(t.MIRA_TRANSPOSE_U8_neon(s, 1, &d, 1, nullptr), MIRA_ERR_ARG);
    EXPECT_EQ(t.MIRA_TRANSPOSE_U8_opencl(s, 0, &d, 1, &p), MIRA_ERR_ARG);
    for (uint32_t y = 0; y < 8; ++y)
        for (uint32_t x = 0; x < 8; ++x) ASSERT_EQ(dst.row(y)[x], 7);
}

TEST(Transpose, NullPointersReturnWithoutWriting) {
    GuardedImage dst(4, 4, 4);
    dst.fill(9);
    ncvTransposeu8(nullptr, 4, 4, 4, dst.data(), 4);
    EXPECT_EQ(dst.packed(), std::vector<uint8_t>(16, 9));
}

}  // namespace
