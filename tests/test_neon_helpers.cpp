// The vector helpers of ops/mira_neon.h, lane by lane against scalar
// definitions. Several of them take compiler- or target-specific paths (a
// single x86 pack or widening load where NEON is emulated, the plain
// intrinsics on AArch64), so each path is held to the same lanes here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/guarded_image.h"
#include "ops/mira_neon.h"

namespace {

using mira_test::GuardedBlock;

template <class T, size_t N>
struct Lanes {
    T v[N];
};

// A vector's lanes in order (vst1q of it: both the native vectors and the
// emulation's hold their lanes in memory order, little endian).
template <class T, size_t N, class V>
Lanes<T, N> lanes_of(V x) {
    static_assert(sizeof(V) == sizeof(T) * N, "lane count");
    Lanes<T, N> l;
    std::memcpy(l.v, &x, sizeof l.v);
    return l;
}
Lanes<uint8_t, 16> lanes(uint8x16_t x) { return lanes_of<uint8_t, 16>(x); }
Lanes<uint16_t, 8> lanes(uint16x8_t x) { return lanes_of<uint16_t, 8>(x); }
Lanes<int16_t, 8> lanes(int16x8_t x) { return lanes_of<int16_t, 8>(x); }
Lanes<uint32_t, 4> lanes(uint32x4_t x) { return lanes_of<uint32_t, 4>(x); }
Lanes<uint64_t, 2> lanes(uint64x2_t x) { return lanes_of<uint64_t, 2>(x); }

// Inputs per seed: random lanes, with seed 0 the extremes of each type.
class NeonHelpers : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        std::mt19937 rng(GetParam());
        for (auto& b : bytes) b = static_cast<uint8_t>(rng());
        for (auto& w : words16) w = static_cast<uint16_t>(rng());
        for (auto& w : words32) w = static_cast<uint32_t>(rng());
        if (GetParam() == 0) {
            const uint8_t eb[4] = {0, 1, 127, 128};
            for (int i = 0; i < 32; ++i) bytes[i] = i < 28 ? eb[i % 4] : uint8_t(255 - i % 2);
            const uint16_t ew[6] = {0, 1, 255, 256, 0x7FFF, 0x8000};
            for (int i = 0; i < 16; ++i) words16[i] = i < 12 ? ew[i % 6] : uint16_t(0xFFFF - i % 3);
            const uint32_t ed[4] = {0, 0xFFFF, 0x10000, 0xFFFFFFFFu};
            for (int i = 0; i < 8; ++i) words32[i] = ed[i % 4] ^ (i >= 4 ? 0x12345u : 0u);
        }
    }
    uint8_t bytes[32];
    uint16_t words16[16];
    uint32_t words32[8];
};

TEST_P(NeonHelpers, WideningMatchesScalar) {
    const uint8x16_t v = vld1q_u8(bytes);
    const auto lo = lanes(mira::widen_lo_u8(v)), hi = lanes(mira::widen_hi_u8(v));
    const auto slo = lanes(mira::widen_lo_s8(vreinterpretq_s8_u8(v)));
    const auto shi = lanes(mira::widen_hi_s8(vreinterpretq_s8_u8(v)));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(lo.v[i], bytes[i]) << i;
        EXPECT_EQ(hi.v[i], bytes[8 + i]) << i;
        EXPECT_EQ(slo.v[i], static_cast<int8_t>(bytes[i])) << i;
        EXPECT_EQ(shi.v[i], static_cast<int8_t>(bytes[8 + i])) << i;
    }
    const uint16x8_t w = vld1q_u16(words16);
    const auto wlo = lanes(mira::widen_lo_u16(w)), whi = lanes(mira::widen_hi_u16(w));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(wlo.v[i], words16[i]) << i;
        EXPECT_EQ(whi.v[i], words16[4 + i]) << i;
    }
}

TEST_P(NeonHelpers, NarrowingMatchesScalar) {
    const uint32x4_t a = vld1q_u32(words32), b = vld1q_u32(words32 + 4);
    const auto n = lanes(mira::narrow_u32(a, b)), nh = lanes(mira::narrow_high_u32(a, b));
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(n.v[i], static_cast<uint16_t>(words32[i])) << i;
        EXPECT_EQ(nh.v[i], static_cast<uint16_t>(words32[i] >> 16)) << i;
    }
    const uint16x8_t c = vld1q_u16(words16), d = vld1q_u16(words16 + 8);
    const auto n8 = lanes(mira::narrow_u16(c, d));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(n8.v[i], static_cast<uint8_t>(words16[i])) << i;
}

TEST_P(NeonHelpers, SaturatingNarrowingClampsEveryLane) {
    int16_t s[16];
    std::memcpy(s, words16, sizeof s);
    const auto r = lanes(mira::narrow_sat_u8(vld1q_s16(s), vld1q_s16(s + 8)));
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(r.v[i], static_cast<uint8_t>(std::min(255, std::max(0, int(s[i]))))) << s[i];
}

TEST_P(NeonHelpers, NarrowingShiftClampsEveryLane) {
    int16_t s[16];
    std::memcpy(s, words16, sizeof s);
    const auto r5 = lanes(mira::shr_narrow_sat_u8<5>(vld1q_s16(s), vld1q_s16(s + 8)));
    const auto r1 = lanes(mira::shr_narrow_sat_u8<1>(vld1q_s16(s), vld1q_s16(s + 8)));
    for (int i = 0; i < 16; ++i) {
        // >> on a negative int floors (arithmetic shift) in C++20 and every
        // compiler we build with; spelled out here as a floor division.
        const auto floor_div = [](int v, int d) { return v >= 0 ? v / d : -((-v + d - 1) / d); };
        EXPECT_EQ(r5.v[i], std::min(255, std::max(0, floor_div(s[i], 32)))) << s[i];
        EXPECT_EQ(r1.v[i], std::min(255, std::max(0, floor_div(s[i], 2)))) << s[i];
    }
}

// The rounding narrowing shift by 6: floor((s + 32) / 64) clamped to 0..255,
// the sum taken without 16-bit overflow (32767 + 32 rounds to 512 -> 255).
TEST_P(NeonHelpers, RoundingNarrowingShiftClampsEveryLane) {
    int16_t s[16];
    std::memcpy(s, words16, sizeof s);
    if (GetParam() == 0) s[15] = 32767, s[14] = 32735, s[13] = -32768, s[12] = -33, s[11] = -32;
    const int16x8_t k512 = mira::dup_opaque_s16(512);
    const auto r = lanes(mira::rshr6_narrow_sat_u8(vld1q_s16(s), vld1q_s16(s + 8), k512));
    for (int i = 0; i < 16; ++i) {
        const int sum = int(s[i]) + 32;
        const int q = sum >= 0 ? sum / 64 : -((-sum + 63) / 64);
        EXPECT_EQ(r.v[i], std::min(255, std::max(0, q))) << s[i];
    }
    // Every 16-bit input.
    for (int a0 = -32768; a0 < 32768; a0 += 16) {
        int16_t v[16];
        for (int i = 0; i < 16; ++i) v[i] = int16_t(a0 + i);
        const auto all = lanes(mira::rshr6_narrow_sat_u8(vld1q_s16(v), vld1q_s16(v + 8), k512));
        for (int i = 0; i < 16; ++i) {
            const int sum = int(v[i]) + 32;
            const int q = sum >= 0 ? sum / 64 : -((-sum + 63) / 64);
            ASSERT_EQ(all.v[i], std::min(255, std::max(0, q))) << v[i];
        }
    }
}

TEST_P(NeonHelpers, WideningMultiplyMatchesScalar) {
    const uint8x16_t v = vld1q_u8(bytes);
    for (int k : {0, 1, 37, 255, int(bytes[16])}) {
        const int16x8_t kk = mira::dup_opaque_s16(int16_t(k));
        const uint16x8x2_t m = mira::mul_widen_u8(v, kk);
        const auto lo = lanes(m.val[0]), hi = lanes(m.val[1]);
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(lo.v[i], bytes[i] * k) << i << " k " << k;
            EXPECT_EQ(hi.v[i], bytes[8 + i] * k) << i << " k " << k;
        }
    }
}

// The interleaving store writes exactly its 64 bytes: once right before a
// guard page, once between canaries.
TEST_P(NeonHelpers, InterleavingStoreWritesPlanesInOrder) {
    uint8_t planes[4][16];
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 16; ++i) planes[c][i] = uint8_t(bytes[(i + 7 * c) % 32] ^ (c * 0x55));
    GuardedBlock out(64);
    mira::store_interleave4_u8(out.data(), vld1q_u8(planes[0]), vld1q_u8(planes[1]),
                               vld1q_u8(planes[2]), vld1q_u8(planes[3]));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out.data()[i], planes[i % 4][i / 4]) << i;
    std::vector<uint8_t> around(96, mira_test::kCanary);
    mira::store_interleave4_u8(around.data() + 16, vld1q_u8(planes[0]), vld1q_u8(planes[1]),
                               vld1q_u8(planes[2]), vld1q_u8(planes[3]));
    for (int i = 0; i < 96; ++i)
        EXPECT_EQ(around[i], i >= 16 && i < 80 ? planes[(i - 16) % 4][(i - 16) / 4]
                                               : mira_test::kCanary)
            << i;
}

// The three-plane interleaving store, as the four-plane one: exactly its 48
// bytes, before a guard page and between canaries.
TEST_P(NeonHelpers, ThreePlaneStoreWritesPlanesInOrder) {
    uint8_t planes[3][16];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i) planes[c][i] = uint8_t(bytes[(i + 5 * c) % 32] ^ (c * 0x6B));
    GuardedBlock out(48);
    mira::store_interleave3_u8(out.data(), vld1q_u8(planes[0]), vld1q_u8(planes[1]),
                               vld1q_u8(planes[2]));
    for (int i = 0; i < 48; ++i) EXPECT_EQ(out.data()[i], planes[i % 3][i / 3]) << i;
    std::vector<uint8_t> around(80, mira_test::kCanary);
    mira::store_interleave3_u8(around.data() + 16, vld1q_u8(planes[0]), vld1q_u8(planes[1]),
                               vld1q_u8(planes[2]));
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(around[i], i >= 16 && i < 64 ? planes[(i - 16) % 3][(i - 16) / 3]
                                               : mira_test::kCanary)
            << i;
    // store_pixels3or4_u8 is the same store for 3 channels, the four-plane
    // one with alpha 255 for 4.
    uint8_t px3[48], px4[64];
    mira::store_pixels3or4_u8<3>(px3, vld1q_u8(planes[0]), vld1q_u8(planes[1]), vld1q_u8(planes[2]));
    mira::store_pixels3or4_u8<4>(px4, vld1q_u8(planes[0]), vld1q_u8(planes[1]), vld1q_u8(planes[2]));
    for (int i = 0; i < 48; ++i) EXPECT_EQ(px3[i], planes[i % 3][i / 3]) << i;
    for (int i = 0; i < 64; ++i) EXPECT_EQ(px4[i], i % 4 == 3 ? 255 : planes[i % 4][i / 4]) << i;
}

// Byte shuffles: an index below 16 picks that byte, one with its top bit
// set gives 0.
TEST_P(NeonHelpers, ByteShuffleMatchesScalar) {
    uint8_t idx[16];
    for (int i = 0; i < 16; ++i)
        idx[i] = bytes[16 + i] & 0x80 ? uint8_t(0x80 | bytes[16 + i]) : uint8_t(bytes[16 + i] & 15);
    const auto r = lanes(mira::shuffle_bytes_u8(vld1q_u8(bytes), vld1q_u8(idx)));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(r.v[i], idx[i] & 0x80 ? 0 : bytes[idx[i]]) << i;
}

// The de-interleaving loads read exactly their 64 or 48 bytes (the block
// ends at a guard page) and give sample i of plane c from byte n i + c.
TEST_P(NeonHelpers, DeinterleavingLoadsSplitPlanes) {
    GuardedBlock in4(64), in3(48);
    for (int i = 0; i < 64; ++i) in4.data()[i] = uint8_t(bytes[i % 32] ^ (i * 37));
    for (int i = 0; i < 48; ++i) in3.data()[i] = uint8_t(bytes[(i * 5) % 32] + i);
    const uint8x16x4_t q4 = mira::load_deinterleave4_u8(in4.data());
    const uint8x16x3_t q3 = mira::load_deinterleave3_u8(in3.data());
    uint8_t out[4][16];
    for (int c = 0; c < 4; ++c) vst1q_u8(out[c], q4.val[c]);
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 16; ++i) EXPECT_EQ(out[c][i], in4.data()[4 * i + c]) << c << " " << i;
    for (int c = 0; c < 3; ++c) vst1q_u8(out[c], q3.val[c]);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i) EXPECT_EQ(out[c][i], in3.data()[3 * i + c]) << c << " " << i;
}

// Planes of E-byte elements (vld3 by element size, from memory and from
// registers), even and odd units (uzp by unit size) and alternating stores
// (zip by element size): each byte where the element arithmetic puts it.
template <int E>
void check_element_splits(const uint8_t* in) {
    const uint8x16x3_t m = mira::load_deinterleave3<E>(in);
    const uint8x16x3_t r =
        mira::deinterleave3<E>(vld1q_u8(in), vld1q_u8(in + 16), vld1q_u8(in + 32));
    for (int c = 0; c < 3; ++c) {
        const auto a = lanes(m.val[c]), b = lanes(r.val[c]);
        for (int i = 0; i < 16; ++i) {
            const uint8_t want = in[(3 * (i / E) + c) * E + i % E];
            EXPECT_EQ(a.v[i], want) << "E " << E << " plane " << c << " byte " << i;
            EXPECT_EQ(b.v[i], want) << "E " << E << " registers, plane " << c << " byte " << i;
        }
    }
}
template <int B>
void check_units(const uint8_t* in) {
    uint8x16_t even, odd;
    mira::uzp_units<B>(vld1q_u8(in), vld1q_u8(in + 16), even, odd);
    const auto e = lanes(even), o = lanes(odd);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(e.v[i], in[(2 * (i / B)) * B + i % B]) << "B " << B << " even byte " << i;
        EXPECT_EQ(o.v[i], in[(2 * (i / B) + 1) * B + i % B]) << "B " << B << " odd byte " << i;
    }
    if constexpr (B <= 4) {
        uint8_t out[32];
        mira::store_alternate<B>(out, even, odd);  // back to the source's order
        for (int i = 0; i < 32; ++i) EXPECT_EQ(out[i], in[i]) << "B " << B << " store " << i;
    }
}

TEST_P(NeonHelpers, ElementSplitsAndAlternatingStores) {
    GuardedBlock in(48);
    for (int i = 0; i < 48; ++i) in.data()[i] = uint8_t(bytes[(i * 7) % 32] + 3 * i);
    check_element_splits<1>(in.data());
    check_element_splits<2>(in.data());
    check_element_splits<4>(in.data());
    check_element_splits<8>(in.data());
    check_units<1>(in.data());
    check_units<2>(in.data());
    check_units<4>(in.data());
    check_units<8>(in.data());
}

// Channel planes of 16 pixels (vld1..4 by channel count) and back, and the
// two-row weighted widening sum, against the element arithmetic.
template <int E>
void check_planes(const uint8_t* in) {
    uint8x16_t planes[E];
    mira::load_planes_u8<E>(in, planes);
    for (int c = 0; c < E; ++c) {
        const auto a = lanes(planes[c]);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(a.v[i], in[E * i + c]) << "E " << E << " plane " << c << " byte " << i;
    }
    uint8_t out[64] = {};
    mira::store_planes_u8<E>(out, planes);
    for (int i = 0; i < 16 * E; ++i) EXPECT_EQ(out[i], in[i]) << "E " << E << " store " << i;
}

TEST_P(NeonHelpers, ChannelPlanesAndWeightedSums) {
    GuardedBlock in(64);
    for (int i = 0; i < 64; ++i) in.data()[i] = uint8_t(bytes[(i * 5) % 32] + 7 * i);
    check_planes<1>(in.data());
    check_planes<2>(in.data());
    check_planes<3>(in.data());
    check_planes<4>(in.data());
    const uint8x16_t a = vld1q_u8(in.data()), b = vld1q_u8(in.data() + 16);
    const uint16x8x2_t s = mira::mul2_widen_u8<5, 3>(a, b);
    const uint16x8x2_t big = mira::mul2_widen_u8<127, 1>(vdupq_n_u8(255), vdupq_n_u8(255));
    for (int h = 0; h < 2; ++h)
        for (int i = 0; i < 8; ++i) {
            const int k = 8 * h + i;
            EXPECT_EQ(lanes(s.val[h]).v[i], 5 * in.data()[k] + 3 * in.data()[16 + k])
                << "lane " << k;
            EXPECT_EQ(lanes(big.val[h]).v[i], 128 * 255) << "largest weights, lane " << k;
        }
}

TEST_P(NeonHelpers, CombineAndOpaqueDuplicate) {
    uint64_t lo, hi;
    std::memcpy(&lo, bytes, 8);
    std::memcpy(&hi, bytes + 8, 8);
    const auto c = lanes(mira::combine_u64(lo, hi));
    EXPECT_EQ(c.v[0], lo);
    EXPECT_EQ(c.v[1], hi);
    const int16_t k = static_cast<int16_t>(words16[0]);
    const auto d = lanes(mira::dup_opaque_s16(k));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(d.v[i], k) << i;
}

// The loads read exactly their bytes and the store writes exactly 8: each is
// placed right before a guard page, and the store's neighbours keep their
// values.
TEST_P(NeonHelpers, LoadsAndStoresTouchOnlyTheirBytes) {
    GuardedBlock eight(8), four(4);
    std::memcpy(eight.data(), bytes, 8);
    std::memcpy(four.data(), bytes + 8, 4);
    const auto l8 = lanes(mira::load_lo_u8(eight.data()));
    const auto w8 = lanes(mira::load_widen_u8(eight.data()));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(l8.v[i], i < 8 ? bytes[i] : 0) << i;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(w8.v[i], bytes[i]) << i;
    const auto w4 = lanes(mira::load_widen_u8x4(four.data()));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(w4.v[i], bytes[8 + i]) << i;

    std::vector<uint8_t> around(24, mira_test::kCanary);
    mira::store_lo_u8(around.data() + 8, vld1q_u8(bytes + 16));
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(around[i], i >= 8 && i < 16 ? bytes[16 + i - 8] : mira_test::kCanary) << i;
    GuardedBlock out(8);
    mira::store_lo_u8(out.data(), vld1q_u8(bytes));
    EXPECT_EQ(0, std::memcmp(out.data(), bytes, 8));
}

INSTANTIATE_TEST_SUITE_P(Seeds, NeonHelpers, ::testing::Values(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u));

}  // namespace

// The rounding high-half multiply, (a k + 2^14) >> 15 with the shift
// flooring, over every 16-bit a for coefficients of each sign and size
// (every k but -32768, where the NEON instruction saturates and which no
// formula uses).
TEST(MulRoundQ15, MatchesScalarForEveryInput) {
    const int ks[] = {0, 1, -1, 2, 3, 7, 128, 1604, -1170, -2428, 4207, 8192, 13075, 16384, 16525,
                      19077, -6860, 32767, -32767, 30000, -30001};
    for (int k : ks) {
        const int16x8_t kk = mira::dup_opaque_s16(int16_t(k));
        for (int a0 = -32768; a0 < 32768; a0 += 8) {
            int16_t a[8];
            for (int i = 0; i < 8; ++i) a[i] = int16_t(a0 + i);
            const auto r = lanes(mira::mul_round_q15_s16(vld1q_s16(a), kk));
            for (int i = 0; i < 8; ++i) {
                const int64_t p = int64_t(a[i]) * k + (1 << 14);
                const int64_t want = p >= 0 ? p / 32768 : -((-p + 32767) / 32768);
                ASSERT_EQ(r.v[i], want) << "a " << a[i] << " k " << k;
            }
        }
    }
}

// The fused dot product rounds once per step: with rows (0, 0, -(1 + 2^-11),
// 1 + 2^-12) and weights (0, 0, 1, 1 + 2^-12), the exact last step is 2^-24,
// which separate multiply and add lose (the product rounds to 1 + 2^-11).
// Random lanes match std::fma applied in the written order.
TEST(FusedDot, RoundsOncePerStepInTheWrittenOrder) {
    using namespace mira;
    const float a = 1.0f + std::ldexp(1.0f, -12), c = -(1.0f + std::ldexp(1.0f, -11));
    float32x4_t r[4] = {vdupq_n_f32(0.f), vdupq_n_f32(0.f), vdupq_n_f32(c), vdupq_n_f32(a)};
    float32x4_t w[4] = {vdupq_n_f32(0.f), vdupq_n_f32(0.f), vdupq_n_f32(1.f), vdupq_n_f32(a)};
    float got[4];
    vst1q_f32(got, fused_dot4_f32(r, w));
    for (float g : got) EXPECT_EQ(g, std::ldexp(1.0f, -24));

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-300.f, 300.f);
    for (int trial = 0; trial < 1000; ++trial) {
        float rr[4][4], ww[4][4];
        for (int i = 0; i < 4; ++i) {
            for (int k = 0; k < 4; ++k) rr[i][k] = u(rng), ww[i][k] = u(rng) / 256.f;
            r[i] = vld1q_f32(rr[i]);
            w[i] = vld1q_f32(ww[i]);
        }
        vst1q_f32(got, fused_dot4_f32(r, w));
        for (int k = 0; k < 4; ++k) {
            float want = rr[0][k] * ww[0][k];
            for (int i = 1; i < 4; ++i) want = std::fma(rr[i][k], ww[i][k], want);
            ASSERT_EQ(got[k], want) << "trial " << trial << " lane " << k;
        }
    }
}
