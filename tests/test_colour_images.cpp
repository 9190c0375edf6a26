// Colour images (3 and 4 interleaved channels) through the transpose, the
// quarter turns and the 3x3 Gaussian on the CPU path: every case of the
// shared table equals the scalar reference and the channel split (each
// channel run as a plane and interleaved again), on guard-page images with
// strides wider than the rows, without a write outside the destination's
// rows. Channel counts the functions do not take are refused with nothing
// written.
#include <gtest/gtest.h>

#include <vector>

#include "common/colour_cases.h"
#include "common/guarded_image.h"
#include "mira/mira_image.h"

namespace {

using colour_cases::Case;
using mira_test::GuardedImage;

class ColourImages : public ::testing::TestWithParam<Case> {};

TEST_P(ColourImages, CpuEqualsReferenceAndChannelSplit) {
    const Case c = GetParam();
    colour_cases::Bound b = colour_cases::bind(c);
    const std::vector<uint8_t> src = b.src->packed();
    ASSERT_EQ(colour_cases::run(c, b, MIRA_PATH_CPU), MIRA_STATUS_OK);
    const std::vector<uint8_t> got = b.dst->packed();
    EXPECT_TRUE(b.dst->paddingIntact()) << "wrote between or after the rows";
    EXPECT_EQ(b.src->packed(), src) << "the source changed";
    const std::vector<uint8_t> ref = colour_cases::reference(c.kind, src, c.w, c.h, c.ch);
    ASSERT_EQ(got.size(), ref.size());
    size_t diff = 0, first = got.size();
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != ref[i]) {
            if (first == got.size()) first = i;
            ++diff;
        }
    EXPECT_EQ(diff, 0u) << "bytes differing from the reference; first at byte " << first
                        << " (pixel " << first / c.ch << ", channel " << first % c.ch << ")";
    EXPECT_EQ(got, colour_cases::split_run_interleave(c.kind, src, c.w, c.h, c.ch, MIRA_PATH_CPU))
        << "differs from the channels run as planes";
}

INSTANTIATE_TEST_SUITE_P(Table, ColourImages, ::testing::ValuesIn(colour_cases::cases()),
                         [](const ::testing::TestParamInfo<Case>& i) {
                             return colour_cases::name(i.param);
                         });

// Channel counts outside 1..4, and images whose counts disagree, are bad
// arguments on both paths: nothing written.
TEST(ColourImagesRefused, BadChannelCountsWriteNothing) {
    for (colour_cases::Kind k : colour_cases::kKinds)
        for (mira_path path : {MIRA_PATH_CPU, MIRA_PATH_GPU})
            for (uint32_t sch : {0u, 3u, 4u, 5u})
                for (uint32_t dch : {0u, 3u, 4u, 5u, 1u}) {
                    if (sch == dch && (sch == 3 || sch == 4)) continue;  // accepted
                    const Case c{k, 4, 9, 5};
                    colour_cases::Bound b = colour_cases::bind(c);
                    const std::vector<uint8_t> before = b.dst->packed();
                    mira_image s = colour_cases::view(*b.src, c.w, c.h, sch);
                    mira_image d = colour_cases::view(*b.dst, b.dw, b.dh, dch);
                    EXPECT_EQ(colour_cases::run(k, &s, &d, path), MIRA_STATUS_BAD_ARGUMENT)
                        << colour_cases::kind_name(k) << " channels " << sch << " -> " << dch;
                    EXPECT_EQ(b.dst->packed(), before) << colour_cases::kind_name(k);
                    EXPECT_TRUE(b.dst->paddingIntact());
                }
}

// A stride that holds the row's pixels but not all their channels is refused.
TEST(ColourImagesRefused, StrideShorterThanTheColourRow) {
    for (colour_cases::Kind k : colour_cases::kKinds)
        for (uint32_t ch : {3u, 4u}) {
            const Case c{k, ch, 9, 5};
            colour_cases::Bound b = colour_cases::bind(c);
            const std::vector<uint8_t> before = b.dst->packed();
            mira_image s = colour_cases::view(*b.src, c.w, c.h, ch);
            mira_image d = colour_cases::view(*b.dst, b.dw, b.dh, ch);
            s.stride = c.w * ch - 1;
            EXPECT_EQ(colour_cases::run(k, &s, &d, MIRA_PATH_CPU), MIRA_STATUS_BAD_ARGUMENT);
            s.stride = b.src->stride();
            d.stride = b.dw * ch - 1;
            EXPECT_EQ(colour_cases::run(k, &s, &d, MIRA_PATH_CPU), MIRA_STATUS_BAD_ARGUMENT);
            EXPECT_EQ(b.dst->packed(), before);
        }
}

// Functions that take one channel count refuse another valid count that
// their images agree on as unsupported, with nothing written.
TEST(ColourImagesRefused, UnsupportedCountsAreUnsupported) {
    for (uint32_t ch : {1u, 3u, 4u}) {
        GuardedImage a(8 * ch, 4, 8 * ch + 3), d(8 * ch, 4, 8 * ch + 5);
        a.fillRandom(3);
        d.fill(0x11);
        const std::vector<uint8_t> before = d.packed();
        mira_image s{a.data(), 8, 4, a.stride(), ch}, o{d.data(), 8, 4, d.stride(), ch};
        EXPECT_EQ(mira_swap_pairs(&s, &o, MIRA_PATH_CPU), MIRA_STATUS_UNSUPPORTED) << ch;
        EXPECT_EQ(d.packed(), before);
    }
    for (uint32_t ch : {2u, 3u, 4u}) {
        GuardedImage a(8 * ch, 4, 8 * ch + 3);
        a.fillRandom(3);
        mira_image s{a.data(), 8, 4, a.stride(), ch};
        float mean = -1, var = -1;
        EXPECT_EQ(mira_intensity_stats(&s, 0, 0, 8, 4, &mean, &var, MIRA_PATH_CPU),
                  MIRA_STATUS_UNSUPPORTED);
        EXPECT_EQ(mean, -1);
        EXPECT_EQ(var, -1);
    }
    for (uint32_t ch : {3u, 4u}) {
        GuardedImage a(8 * ch, 4, 8 * ch + 3), m(8 * ch, 4, 8 * ch + 1), up(16 * ch, 8, 16 * ch);
        a.fillRandom(5);
        m.fill(0x22);
        up.fill(0x33);
        const std::vector<uint8_t> mb = m.packed(), ub = up.packed();
        mira_image s{a.data(), 8, 4, a.stride(), ch}, k{m.data(), 8, 4, m.stride(), ch};
        mira_image u{up.data(), 16, 8, up.stride(), ch};
        mira_fill_result r{};
        EXPECT_EQ(mira_flood_fill(&s, &k, 1, 1, 4, 255, &r, MIRA_PATH_CPU), MIRA_STATUS_UNSUPPORTED);
        EXPECT_EQ(mira_upsample_chroma(&s, &u, MIRA_PATH_GPU), MIRA_STATUS_UNSUPPORTED);
        EXPECT_EQ(m.packed(), mb);
        EXPECT_EQ(up.packed(), ub);
        // Images that disagree on their counts are bad arguments.
        k.channels = 1;
        EXPECT_EQ(mira_flood_fill(&s, &k, 1, 1, 4, 255, &r, MIRA_PATH_CPU), MIRA_STATUS_BAD_ARGUMENT);
    }
    // A count outside 1..4 stays a bad argument.
    GuardedImage a(8, 4, 8), d(8, 4, 8);
    mira_image s{a.data(), 8, 4, 8, 5}, o{d.data(), 8, 4, 8, 5};
    EXPECT_EQ(mira_swap_pairs(&s, &o, MIRA_PATH_CPU), MIRA_STATUS_BAD_ARGUMENT);
}

// A destination that is a window of a larger image (the channel-last slice
// of a bigger buffer) keeps every byte around it.
TEST(ColourImages, WindowOfALargerImage) {
    for (colour_cases::Kind k : colour_cases::kKinds)
        for (uint32_t ch : {3u, 4u}) {
            const uint32_t W = 64, H = 48, x0 = 5, y0 = 10, w = 35, h = 30;
            GuardedImage big(W * ch, H, W * ch), out(W * ch, H, W * ch);
            big.fillRandom(77);
            out.fill(0x3C);
            uint32_t dw, dh;
            colour_cases::dst_size(k, w, h, dw, dh);
            mira_image s{big.row(y0) + x0 * ch, w, h, W * ch, ch};
            mira_image d{out.row(2) + 3 * ch, dw, dh, W * ch, ch};
            ASSERT_EQ(colour_cases::run(k, &s, &d, MIRA_PATH_CPU), MIRA_STATUS_OK);
            std::vector<uint8_t> win(size_t(w) * h * ch);
            for (uint32_t y = 0; y < h; ++y)
                std::memcpy(&win[size_t(y) * w * ch], big.row(y0 + y) + x0 * ch, w * ch);
            const std::vector<uint8_t> ref = colour_cases::reference(k, win, w, h, ch);
            for (uint32_t y = 0; y < H; ++y)
                for (uint32_t x = 0; x < W * ch; ++x) {
                    const bool inside =
                        y >= 2 && y < 2 + dh && x >= 3 * ch && x < (3 + dw) * ch;
                    const uint8_t want =
                        inside ? ref[(size_t(y - 2) * dw) * ch + (x - 3 * ch)] : 0x3C;
                    ASSERT_EQ(out.row(y)[x], want) << colour_cases::kind_name(k) << " c" << ch
                                                   << " at row " << y << " byte " << x;
                }
        }
}

}  // namespace
