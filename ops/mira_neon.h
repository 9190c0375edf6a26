// The one place that knows how NEON is reached: native intrinsics on AArch64,
// SIMDe's emulation (mapped to SSE/AVX) everywhere else. CPU kernels include
// this header and use the plain v* intrinsic names.
#pragma once

#if defined(__aarch64__) || defined(_M_ARM64)
#include <arm_neon.h>
#else
#define SIMDE_ENABLE_NATIVE_ALIASES
#include <simde/arm/neon.h>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif
#endif

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mira {

// Kernels that stream at memory speed (a byte or two of work per byte moved)
// ask for their source this far ahead of the loads: on its own the hardware
// prefetcher left the CbCr swap about 15% short of a plain copy.
constexpr size_t kPrefetchAhead = 512;
inline void prefetch_source(const void* p) { __builtin_prefetch(p, 0, 3); }

// Widening and narrowing on whole 128-bit vectors. The 64-bit forms compute
// the same (widen_lo_u8(v) is vmovl_u8(vget_low_u8(v)), narrow_u16(a, b) is
// vcombine_u8(vmovn_u16(a), vmovn_u16(b))), but where NEON is emulated some
// compilers split each 64-bit half into several shuffles; zips and unzips of
// full vectors are single instructions on every target. Lanes are little
// endian: the low byte of a 16-bit lane comes first.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the widening helpers assume little-endian lanes"
#endif

// Zero-extends bytes 0..7 (lo) or 8..15 (hi) to 16-bit lanes.
inline uint16x8_t widen_lo_u8(uint8x16_t v) {
    return vreinterpretq_u16_u8(vzip1q_u8(v, vdupq_n_u8(0)));
}
inline uint16x8_t widen_hi_u8(uint8x16_t v) {
    return vreinterpretq_u16_u8(vzip2q_u8(v, vdupq_n_u8(0)));
}
// Sign-extends bytes 0..7 (lo) or 8..15 (hi) to 16-bit lanes.
inline int16x8_t widen_lo_s8(int8x16_t v) {
    return vshrq_n_s16(vreinterpretq_s16_s8(vzip1q_s8(v, v)), 8);
}
inline int16x8_t widen_hi_s8(int8x16_t v) {
    return vshrq_n_s16(vreinterpretq_s16_s8(vzip2q_s8(v, v)), 8);
}
// Zero-extends 16-bit lanes 0..3 (lo) or 4..7 (hi) to 32-bit lanes.
inline uint32x4_t widen_lo_u16(uint16x8_t v) {
    return vreinterpretq_u32_u16(vzip1q_u16(v, vdupq_n_u16(0)));
}
inline uint32x4_t widen_hi_u16(uint16x8_t v) {
    return vreinterpretq_u32_u16(vzip2q_u16(v, vdupq_n_u16(0)));
}
// Eight bytes from p in lanes 0..7, zeros above (reads exactly 8 bytes; p
// needs no alignment). Taken as one 64-bit scalar into a zeroed vector, this
// is a single load under both compilers (vcombine_u8(vld1_u8(p), zeros) is
// two or three under g++).
inline uint8x16_t load_lo_u8(const uint8_t* p) {
    uint64_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    return vreinterpretq_u8_u64(vsetq_lane_u64(bytes, vdupq_n_u64(0), 0));
}
// Bytes 0..7 of v stored to p (vst1_u8(p, vget_low_u8(v)); writes exactly 8
// bytes, p needs no alignment).
inline void store_lo_u8(uint8_t* p, uint8x16_t v) {
    const uint64_t bytes = vgetq_lane_u64(vreinterpretq_u64_u8(v), 0);
    std::memcpy(p, &bytes, sizeof bytes);
}
// The 64-bit words lo and hi as one vector (vcombine_u64(vcreate_u64(lo),
// vcreate_u64(hi))), built in registers: through the emulation g++ passes the
// 64-bit halves through memory, and the 16-byte reload then stalls on the two
// 8-byte stores it cannot forward from.
inline uint64x2_t combine_u64(uint64_t lo, uint64_t hi) {
    return vsetq_lane_u64(hi, vsetq_lane_u64(lo, vdupq_n_u64(0), 0), 1);
}
// Eight bytes from p, zero-extended to 16-bit lanes (one widening load on
// x86, a load and a zip on AArch64).
inline uint16x8_t load_widen_u8(const uint8_t* p) { return widen_lo_u8(load_lo_u8(p)); }
// Four bytes from p, zero-extended to 32-bit lanes (reads exactly 4 bytes;
// one widening load on x86).
inline uint32x4_t load_widen_u8x4(const uint8_t* p) {
    uint32_t bytes;
    std::memcpy(&bytes, p, sizeof bytes);
#if defined(SIMDE_X86_SSE4_1_NATIVE)
    // (g++ keeps the two widenings below as two instructions)
    return simde_uint32x4_from_m128i(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(bytes))));
#else
    const uint8x16_t v = vreinterpretq_u8_u32(vsetq_lane_u32(bytes, vdupq_n_u32(0), 0));
    return widen_lo_u16(widen_lo_u8(v));
#endif
}
// 64 bytes from p in four vectors, and four vectors stored as 64 bytes at p:
// one ld1/st1 of four registers on AArch64 (clang leaves four separate
// vld1q_u8 as two ldp), four plain loads or stores elsewhere (the
// emulation's own forms copy byte by byte).
inline uint8x16x4_t load_u8x4(const uint8_t* p) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vld1q_u8_x4(p);
#else
    uint8x16x4_t v;
    v.val[0] = vld1q_u8(p);
    v.val[1] = vld1q_u8(p + 16);
    v.val[2] = vld1q_u8(p + 32);
    v.val[3] = vld1q_u8(p + 48);
    return v;
#endif
}
inline void store_u8x4(uint8_t* p, const uint8x16x4_t& v) {
#if defined(__aarch64__) || defined(_M_ARM64)
    vst1q_u8_x4(p, v);
#else
    vst1q_u8(p, v.val[0]);
    vst1q_u8(p + 16, v.val[1]);
    vst1q_u8(p + 32, v.val[2]);
    vst1q_u8(p + 48, v.val[3]);
#endif
}
// a - b and a + b of bytes 0..7 (lo) or 8..15 (hi) in 16-bit lanes (the
// difference modulo 2^16: read as int16 it is exact): one usubl/uaddl (or
// its "2" form for the high half) on AArch64, two widenings and an
// operation elsewhere.
inline uint16x8_t sub_widen_lo_u8(uint8x16_t a, uint8x16_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vsubl_u8(vget_low_u8(a), vget_low_u8(b));
#else
    return vsubq_u16(widen_lo_u8(a), widen_lo_u8(b));
#endif
}
inline uint16x8_t sub_widen_hi_u8(uint8x16_t a, uint8x16_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vsubl_high_u8(a, b);
#else
    return vsubq_u16(widen_hi_u8(a), widen_hi_u8(b));
#endif
}
inline uint16x8_t add_widen_lo_u8(uint8x16_t a, uint8x16_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vaddl_u8(vget_low_u8(a), vget_low_u8(b));
#else
    return vaddq_u16(widen_lo_u8(a), widen_lo_u8(b));
#endif
}
inline uint16x8_t add_widen_hi_u8(uint8x16_t a, uint8x16_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vaddl_high_u8(a, b);
#else
    return vaddq_u16(widen_hi_u8(a), widen_hi_u8(b));
#endif
}
// The low halves of a's 32-bit lanes, then those of b's (vmovn_u32 of each).
inline uint16x8_t narrow_u32(uint32x4_t a, uint32x4_t b) {
    return vuzp1q_u16(vreinterpretq_u16_u32(a), vreinterpretq_u16_u32(b));
}
// The high halves (vshrn_n_u32(x, 16) of each).
inline uint16x8_t narrow_high_u32(uint32x4_t a, uint32x4_t b) {
    return vuzp2q_u16(vreinterpretq_u16_u32(a), vreinterpretq_u16_u32(b));
}
// a's lanes, then b's, saturated to 0..255 (vqmovun of each, combined). On
// x86 this is one saturating pack; the emulation's own form of the combined
// 64-bit narrowings is several instructions under g++.
inline uint8x16_t narrow_sat_u8(int16x8_t a, int16x8_t b) {
#if defined(SIMDE_X86_SSE2_NATIVE)
    return simde_uint8x16_from_m128i(
        _mm_packus_epi16(simde_int16x8_to_m128i(a), simde_int16x8_to_m128i(b)));
#else
    return vcombine_u8(vqmovun_s16(a), vqmovun_s16(b));
#endif
}
// a's lanes shifted right by n (arithmetic), then b's, saturated to 0..255
// (vqshrun_n_s16 of each, combined): a narrowing shift per half on AArch64,
// two shifts and one pack on x86.
template <int n>
inline uint8x16_t shr_narrow_sat_u8(int16x8_t a, int16x8_t b) {
#if defined(SIMDE_X86_SSE2_NATIVE)
    return narrow_sat_u8(vshrq_n_s16(a, n), vshrq_n_s16(b, n));
#else
    return vcombine_u8(vqshrun_n_s16(a, n), vqshrun_n_s16(b, n));
#endif
}
// (a k + 2^14) >> 15 per lane, the rounding doubling high half of the
// product (vqrdmulhq_s16), for k never -32768: that intrinsic saturates only
// when both operands are -32768. A single multiply on x86 (pmulhrsw); the
// emulation's own form adds a compare and an xor for that one case. Every
// lane of k is a formula's coefficient, built with dup_opaque_s16.
inline int16x8_t mul_round_q15_s16(int16x8_t a, int16x8_t k) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    return simde_int16x8_from_m128i(
        _mm_mulhrs_epi16(simde_int16x8_to_m128i(a), simde_int16x8_to_m128i(k)));
#else
    return vqrdmulhq_s16(a, k);
#endif
}
// (x + 32) >> 6 of a's lanes, then b's, saturated to 0..255 (vqrshrun_n_s16
// by 6 of each, combined), the sum rounded in a wider lane: a rounding
// narrowing shift per half on AArch64; on x86 one rounding multiply per half,
// (512 x + 2^14) >> 15 being exactly (x + 32) >> 6, and one pack. Build
// k512 with dup_opaque_s16(512) outside the loop.
inline uint8x16_t rshr6_narrow_sat_u8(int16x8_t a, int16x8_t b, int16x8_t k512) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    return narrow_sat_u8(mul_round_q15_s16(a, k512), mul_round_q15_s16(b, k512));
#else
    (void)k512;
    return vcombine_u8(vqrshrun_n_s16(a, 6), vqrshrun_n_s16(b, 6));
#endif
}
// The bytes of a times k as 16-bit lanes: val[0] from bytes 0..7, val[1]
// from bytes 8..15 (vmull_u8 of each half). Every lane of k holds the same
// value, below 256; build k with dup_opaque_s16 outside the loop. A widening
// multiply per half on AArch64 (which can also take a following addition
// into it); a widening and a 16-bit multiply per half on x86.
inline uint16x8x2_t mul_widen_u8(uint8x16_t a, int16x8_t k) {
    uint16x8x2_t r;
#if defined(SIMDE_X86_SSE2_NATIVE)
    const uint16x8_t k16 = vreinterpretq_u16_s16(k);
    r.val[0] = vmulq_u16(widen_lo_u8(a), k16);
    r.val[1] = vmulq_u16(widen_hi_u8(a), k16);
#else
    const uint8x8_t k8 = vmovn_u16(vreinterpretq_u16_s16(k));
    r.val[0] = vmull_u8(vget_low_u8(a), k8);
    r.val[1] = vmull_u8(vget_high_u8(a), k8);
#endif
    return r;
}
// a KA + b KB per byte as 16-bit lanes: val[0] from bytes 0..7, val[1] from
// bytes 8..15, for weights whose sum is at most 128 (no lane passes 2^15). A
// widening multiply and a widening multiply-add per half on AArch64; on x86
// the two rows' bytes interleaved and one multiply-add of byte pairs
// (pmaddubsw) per half.
template <int KA, int KB>
inline uint16x8x2_t mul2_widen_u8(uint8x16_t a, uint8x16_t b) {
    static_assert(KA >= 0 && KB >= 0 && KA + KB <= 128, "small weights");
    uint16x8x2_t r;
#if defined(SIMDE_X86_SSSE3_NATIVE)
    const __m128i x = simde_uint8x16_to_m128i(a), y = simde_uint8x16_to_m128i(b);
    const __m128i w = _mm_set1_epi16(int16_t(KA | (KB << 8)));
    r.val[0] = simde_uint16x8_from_m128i(_mm_maddubs_epi16(_mm_unpacklo_epi8(x, y), w));
    r.val[1] = simde_uint16x8_from_m128i(_mm_maddubs_epi16(_mm_unpackhi_epi8(x, y), w));
#else
    const uint8x8_t ka = vdup_n_u8(KA), kb = vdup_n_u8(KB);
    r.val[0] = vmlal_u8(vmull_u8(vget_low_u8(a), ka), vget_low_u8(b), kb);
    r.val[1] = vmlal_u8(vmull_u8(vget_high_u8(a), ka), vget_high_u8(b), kb);
#endif
    return r;
}
// Four byte planes stored interleaved, a0 b0 c0 d0 a1 b1 ... d15 (vst4q_u8):
// 64 bytes at p, which needs no alignment. The store does the interleaving
// on AArch64; the emulation's own form is a byte loop, so x86 zips bytes and
// then 16-bit pairs (eight shuffles) and stores four vectors.
inline void store_interleave4_u8(uint8_t* p, uint8x16_t a, uint8x16_t b, uint8x16_t c,
                                 uint8x16_t d) {
#if defined(SIMDE_X86_SSE2_NATIVE)
    const uint8x16x2_t ab = vzipq_u8(a, b), cd = vzipq_u8(c, d);
    const uint16x8x2_t lo =
        vzipq_u16(vreinterpretq_u16_u8(ab.val[0]), vreinterpretq_u16_u8(cd.val[0]));
    const uint16x8x2_t hi =
        vzipq_u16(vreinterpretq_u16_u8(ab.val[1]), vreinterpretq_u16_u8(cd.val[1]));
    vst1q_u8(p, vreinterpretq_u8_u16(lo.val[0]));
    vst1q_u8(p + 16, vreinterpretq_u8_u16(lo.val[1]));
    vst1q_u8(p + 32, vreinterpretq_u8_u16(hi.val[0]));
    vst1q_u8(p + 48, vreinterpretq_u8_u16(hi.val[1]));
#else
    const uint8x16x4_t planes = {{a, b, c, d}};
    vst4q_u8(p, planes);
#endif
}
// Bytes of t picked by idx: lane i is t[idx[i]], or 0 where idx[i] has its
// top bit set (every table below uses 0x80 for "none"). One byte shuffle on
// x86 (the emulation's vqtbl1q_u8 adds a compare and an or to zero indices
// 16..127 as well), a table look-up on AArch64.
inline uint8x16_t shuffle_bytes_u8(uint8x16_t t, uint8x16_t idx) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    return simde_uint8x16_from_m128i(
        _mm_shuffle_epi8(simde_uint8x16_to_m128i(t), simde_uint8x16_to_m128i(idx)));
#else
    return vqtbl1q_u8(t, idx);
#endif
}
// The shuffle indices that place three byte planes a, b, c interleaved (a0
// b0 c0 a1 ... c15) into 48 bytes: [vector v of the 48 bytes][plane c], 0x80
// where the byte holds no sample of plane c.
struct Interleave3Tables {
    uint8_t toRow[3][3][16];  // row vector v from plane c
    constexpr Interleave3Tables() : toRow() {
        for (int v = 0; v < 3; ++v)
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 16; ++i) {
                    const int row = 16 * v + i;  // byte of the row: sample row / 3 of plane row % 3
                    toRow[v][c][i] = row % 3 == c ? uint8_t(row / 3) : uint8_t(0x80);
                }
    }
};
inline constexpr Interleave3Tables kInterleave3{};
// Three byte planes stored interleaved, a0 b0 c0 a1 ... c15 (vst3q_u8): 48
// bytes at p, which needs no alignment. The emulation's own form is a byte
// loop; x86 builds each of the three row vectors from one byte shuffle of
// each plane (nine shuffles, six ors).
inline void store_interleave3_u8(uint8_t* p, uint8x16_t a, uint8x16_t b, uint8x16_t c) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    const uint8x16_t planes[3] = {a, b, c};
    for (int v = 0; v < 3; ++v) {
        uint8x16_t row = shuffle_bytes_u8(planes[0], vld1q_u8(kInterleave3.toRow[v][0]));
        row = vorrq_u8(row, shuffle_bytes_u8(planes[1], vld1q_u8(kInterleave3.toRow[v][1])));
        row = vorrq_u8(row, shuffle_bytes_u8(planes[2], vld1q_u8(kInterleave3.toRow[v][2])));
        vst1q_u8(p + 16 * v, row);
    }
#else
    uint8x16x3_t planes;
    planes.val[0] = a;
    planes.val[1] = b;
    planes.val[2] = c;
    vst3q_u8(p, planes);
#endif
}
// 16 pixels of kChannels (3, or 4 with alpha 255) at p from their first three
// channels' vectors.
template <int kChannels>
inline void store_pixels3or4_u8(uint8_t* p, uint8x16_t a, uint8x16_t b, uint8x16_t c) {
    if (kChannels == 4) {
        store_interleave4_u8(p, a, b, c, vdupq_n_u8(255));
    } else {
        store_interleave3_u8(p, a, b, c);
    }
}
// 64 bytes at p split into four byte planes, a0 b0 c0 d0 a1 ... d15 -> a, b,
// c, d (vld4q_u8). The load does the split on AArch64; the emulation's own
// form is a byte loop, so x86 groups each vector's four samples of a plane
// with one byte shuffle (a0 a1 a2 a3 b0 .. d3) and transposes the four
// vectors' 32-bit groups (eight 32- and 64-bit zips); a plane the caller
// never uses costs nothing.
inline uint8x16x4_t load_deinterleave4_u8(const uint8_t* p) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    static constexpr uint8_t kGroup[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
    const uint8x16_t group = vld1q_u8(kGroup);
    uint32x4_t q[4];
    for (int i = 0; i < 4; ++i)
        q[i] = vreinterpretq_u32_u8(shuffle_bytes_u8(vld1q_u8(p + 16 * i), group));
    // [a of q0, a of q1, b of q0, b of q1], [c .., d ..]; the same of q2, q3.
    const uint32x4x2_t lo = vzipq_u32(q[0], q[1]), hi = vzipq_u32(q[2], q[3]);
    const uint64x2_t ab0 = vreinterpretq_u64_u32(lo.val[0]), cd0 = vreinterpretq_u64_u32(lo.val[1]);
    const uint64x2_t ab1 = vreinterpretq_u64_u32(hi.val[0]), cd1 = vreinterpretq_u64_u32(hi.val[1]);
    uint8x16x4_t r;
    r.val[0] = vreinterpretq_u8_u64(vzip1q_u64(ab0, ab1));
    r.val[1] = vreinterpretq_u8_u64(vzip2q_u64(ab0, ab1));
    r.val[2] = vreinterpretq_u8_u64(vzip1q_u64(cd0, cd1));
    r.val[3] = vreinterpretq_u8_u64(vzip2q_u64(cd0, cd1));
    return r;
#else
    return vld4q_u8(p);
#endif
}
// The bytes of the 48 interleaved ones that hold the three planes of E-byte
// elements (element j of plane c is element 3 j + c of the row), for one
// three-register table look-up per plane: [plane c][byte].
template <int E>
struct Deinterleave3Tables {
    uint8_t within[3][16];
    constexpr Deinterleave3Tables() : within() {
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 16; ++i) within[c][i] = uint8_t((3 * (i / E) + c) * E + i % E);
    }
};
template <int E>
inline constexpr Deinterleave3Tables<E> kDeinterleave3{};
// 48 bytes at p split into three planes of E-byte elements (E = 1, 2, 4 or
// 8), elements a0 b0 c0 a1 ... -> a, b, c, each returned as 16 bytes
// (vld3q_u8, vld3q_u16, vld3q_u32, vld3q_u64), and the same split of 48
// bytes held in three vectors q0, q1, q2. The emulation's vld3 forms are
// element loops, so x86 (SSE4.1, the build's baseline) splits registers:
#if defined(SIMDE_X86_SSE4_1_NATIVE)
// a plane takes two blends and one byte shuffle: the n = 16 / E elements of
// plane c lie in distinct lanes (3k + c) mod n of the three vectors (3 is
// prime to n), so blending them by lane gathers the plane into one vector,
// and the shuffle puts its lanes in order.
// The vector (0, 1 or 2) that holds lane L of plane c's elements.
template <int E>
constexpr int deinterleave3_source(int c, int L) {
    constexpr int n = 16 / E;
    for (int k = 0; k < n; ++k)
        if ((3 * k + c) % n == L) return (3 * k + c) / n;
    return 0;
}
template <int E>
struct Deinterleave3Blend {
    uint8_t pick[3][2][16];  // [plane c][vector 1, 2]: 0xFF where the blend takes that vector
    uint8_t order[3][16];    // [plane c]: the blended vector's bytes in element order
    constexpr Deinterleave3Blend() : pick(), order() {
        constexpr int n = 16 / E;
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < 16; ++i) {
                const int v = deinterleave3_source<E>(c, i / E);
                pick[c][0][i] = v == 1 ? 0xFF : 0;
                pick[c][1][i] = v == 2 ? 0xFF : 0;
                order[c][i] = uint8_t(((3 * (i / E) + c) % n) * E + i % E);
            }
    }
};
template <int E>
inline constexpr Deinterleave3Blend<E> kDeinterleave3Blend{};
// The 16-bit-lane blend mask taking vector v's lanes for plane c (E >= 2).
template <int E, int c, int v>
constexpr int deinterleave3_blend16() {
    int m = 0;
    for (int j = 0; j < 8; ++j)
        if (deinterleave3_source<E>(c, (2 * j) / E) == v) m |= 1 << j;
    return m;
}
template <int E, int c>
inline uint8x16_t deinterleave3_plane(__m128i q0, __m128i q1, __m128i q2) {
    __m128i m;
    if constexpr (E == 1) {
        const auto& t = kDeinterleave3Blend<E>.pick[c];
        m = _mm_blendv_epi8(q0, q1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t[0])));
        m = _mm_blendv_epi8(m, q2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t[1])));
    } else {
        constexpr int from1 = deinterleave3_blend16<E, c, 1>();
        constexpr int from2 = deinterleave3_blend16<E, c, 2>();
        m = _mm_blend_epi16(q0, q1, from1);
        m = _mm_blend_epi16(m, q2, from2);
    }
    return shuffle_bytes_u8(simde_uint8x16_from_m128i(m),
                            vld1q_u8(kDeinterleave3Blend<E>.order[c]));
}
#endif
template <int E>
inline uint8x16x3_t deinterleave3(uint8x16_t q0, uint8x16_t q1, uint8x16_t q2) {
    uint8x16x3_t r;
#if defined(SIMDE_X86_SSE4_1_NATIVE)
    const __m128i a = simde_uint8x16_to_m128i(q0), b = simde_uint8x16_to_m128i(q1),
                  c = simde_uint8x16_to_m128i(q2);
    r.val[0] = deinterleave3_plane<E, 0>(a, b, c);
    r.val[1] = deinterleave3_plane<E, 1>(a, b, c);
    r.val[2] = deinterleave3_plane<E, 2>(a, b, c);
#else
    uint8x16x3_t q;
    q.val[0] = q0;
    q.val[1] = q1;
    q.val[2] = q2;
    for (int c = 0; c < 3; ++c) r.val[c] = vqtbl3q_u8(q, vld1q_u8(kDeinterleave3<E>.within[c]));
#endif
    return r;
}
template <int E>
inline uint8x16x3_t load_deinterleave3(const uint8_t* p) {
    static_assert(E == 1 || E == 2 || E == 4 || E == 8, "elements of 1, 2, 4 or 8 bytes");
#if defined(SIMDE_X86_SSE4_1_NATIVE)
    return deinterleave3<E>(vld1q_u8(p), vld1q_u8(p + 16), vld1q_u8(p + 32));
#else
    uint8x16x3_t r;
    if constexpr (E == 1) {
        r = vld3q_u8(p);
    } else if constexpr (E == 2) {
        const uint16x8x3_t w = vld3q_u16(reinterpret_cast<const uint16_t*>(p));
        for (int c = 0; c < 3; ++c) r.val[c] = vreinterpretq_u8_u16(w.val[c]);
    } else if constexpr (E == 4) {
        const uint32x4x3_t w = vld3q_u32(reinterpret_cast<const uint32_t*>(p));
        for (int c = 0; c < 3; ++c) r.val[c] = vreinterpretq_u8_u32(w.val[c]);
    } else {
        const uint64x2x3_t w = vld3q_u64(reinterpret_cast<const uint64_t*>(p));
        for (int c = 0; c < 3; ++c) r.val[c] = vreinterpretq_u8_u64(w.val[c]);
    }
    return r;
#endif
}
inline uint8x16x3_t load_deinterleave3_u8(const uint8_t* p) { return load_deinterleave3<1>(p); }
// The even and the odd units of B bytes (B = 1, 2, 4 or 8) of the 32 bytes
// in a, b (uzp1, uzp2 at that unit size).
template <int B>
inline void uzp_units(uint8x16_t a, uint8x16_t b, uint8x16_t& even, uint8x16_t& odd) {
    static_assert(B == 1 || B == 2 || B == 4 || B == 8, "units of 1, 2, 4 or 8 bytes");
    if constexpr (B == 1) {
        even = vuzp1q_u8(a, b);
        odd = vuzp2q_u8(a, b);
    } else if constexpr (B == 2) {
        const uint16x8_t x = vreinterpretq_u16_u8(a), y = vreinterpretq_u16_u8(b);
        even = vreinterpretq_u8_u16(vuzp1q_u16(x, y));
        odd = vreinterpretq_u8_u16(vuzp2q_u16(x, y));
    } else if constexpr (B == 4) {
        const uint32x4_t x = vreinterpretq_u32_u8(a), y = vreinterpretq_u32_u8(b);
        even = vreinterpretq_u8_u32(vuzp1q_u32(x, y));
        odd = vreinterpretq_u8_u32(vuzp2q_u32(x, y));
    } else {
        const uint64x2_t x = vreinterpretq_u64_u8(a), y = vreinterpretq_u64_u8(b);
        even = vreinterpretq_u8_u64(vuzp1q_u64(x, y));
        odd = vreinterpretq_u8_u64(vuzp2q_u64(x, y));
    }
}
// 16 pixels of E one-byte channels (E = 1 to 4) at p split into channel
// planes, out[c] holding channel c (vld1q/vld2q/vld3q/vld4q_u8), and the
// reverse store. x86 takes the pairs apart with unzips, since the
// emulation's vld2q/vst2q are element loops.
template <int E>
inline void load_planes_u8(const uint8_t* p, uint8x16_t (&out)[E]) {
    static_assert(E >= 1 && E <= 4, "1 to 4 channels");
    if constexpr (E == 1) {
        out[0] = vld1q_u8(p);
    } else if constexpr (E == 2) {
#if defined(SIMDE_X86_SSE2_NATIVE)
        uzp_units<1>(vld1q_u8(p), vld1q_u8(p + 16), out[0], out[1]);
#else
        const uint8x16x2_t q = vld2q_u8(p);
        out[0] = q.val[0];
        out[1] = q.val[1];
#endif
    } else if constexpr (E == 3) {
        const uint8x16x3_t q = load_deinterleave3_u8(p);
        for (int c = 0; c < 3; ++c) out[c] = q.val[c];
    } else {
        const uint8x16x4_t q = load_deinterleave4_u8(p);
        for (int c = 0; c < 4; ++c) out[c] = q.val[c];
    }
}
template <int E>
inline void store_planes_u8(uint8_t* p, const uint8x16_t (&in)[E]) {
    static_assert(E >= 1 && E <= 4, "1 to 4 channels");
    if constexpr (E == 1) {
        vst1q_u8(p, in[0]);
    } else if constexpr (E == 2) {
#if defined(SIMDE_X86_SSE2_NATIVE)
        vst1q_u8(p, vzip1q_u8(in[0], in[1]));
        vst1q_u8(p + 16, vzip2q_u8(in[0], in[1]));
#else
        const uint8x16x2_t q = {{in[0], in[1]}};
        vst2q_u8(p, q);
#endif
    } else if constexpr (E == 3) {
        store_interleave3_u8(p, in[0], in[1], in[2]);
    } else {
        store_interleave4_u8(p, in[0], in[1], in[2], in[3]);
    }
}
// Two vectors of E-byte elements (E = 1, 2 or 4) stored alternately, e0 o0
// e1 o1 ...: 32 bytes at d.
template <int E>
inline void store_alternate(uint8_t* d, uint8x16_t even, uint8x16_t odd) {
    static_assert(E == 1 || E == 2 || E == 4, "elements of 1, 2 or 4 bytes");
    if constexpr (E == 1) {
        vst1q_u8(d, vzip1q_u8(even, odd));
        vst1q_u8(d + 16, vzip2q_u8(even, odd));
    } else if constexpr (E == 2) {
        const uint16x8_t e = vreinterpretq_u16_u8(even), o = vreinterpretq_u16_u8(odd);
        vst1q_u8(d, vreinterpretq_u8_u16(vzip1q_u16(e, o)));
        vst1q_u8(d + 16, vreinterpretq_u8_u16(vzip2q_u16(e, o)));
    } else {
        const uint32x4_t e = vreinterpretq_u32_u8(even), o = vreinterpretq_u32_u8(odd);
        vst1q_u8(d, vreinterpretq_u8_u32(vzip1q_u32(e, o)));
        vst1q_u8(d + 16, vreinterpretq_u8_u32(vzip2q_u32(e, o)));
    }
}
// A vector of k that the optimiser treats as unknown. Multiplications by a
// vector built here stay one multiply instruction: g++ otherwise rewrites
// multiplications by small constants as chains of shifts and adds (six
// instructions for 74), which costs more where a loop is bound by
// instruction throughput. Build it once, outside the loop.
inline int16x8_t dup_opaque_s16(int16_t k) {
    __asm__("" : "+r"(k));
    return vdupq_n_s16(k);
}
inline uint8x16_t dup_opaque_u8(uint8_t k) {
    __asm__("" : "+r"(k));
    return vdupq_n_u8(k);
}
// The low bytes of a's lanes, then those of b's (vmovn of each, combined).
inline uint8x16_t narrow_u16(uint16x8_t a, uint16x8_t b) {
    return vuzp1q_u8(vreinterpretq_u8_u16(a), vreinterpretq_u8_u16(b));
}

// (a + b + 128) >> 8 of a's and b's lanes, then c's and d's, modulo 2^16
// before the shift (vraddhn_u16 and its high form): one instruction per 8
// lanes on AArch64; an add, a rounding add, a shift and a pack on x86.
inline uint8x16_t raddhn_u16x2(uint16x8_t a, uint16x8_t b, uint16x8_t c, uint16x8_t d) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vraddhn_high_u16(vraddhn_u16(a, b), c, d);
#else
    const uint16x8_t k128 = vdupq_n_u16(128);
    return narrow_u16(vshrq_n_u16(vaddq_u16(vaddq_u16(a, b), k128), 8),
                      vshrq_n_u16(vaddq_u16(vaddq_u16(c, d), k128), 8));
#endif
}

// The value of v as the compiler must compute it here: keeps a sum from being
// reassociated with a later add (clang turns umull + umlal + umlal + addhn of
// a constant into a register copy of the constant, three multiply-adds... and
// an addhn: one instruction more). No instruction of its own.
template <typename V>
inline void keep_register(V& v) {
#if defined(__aarch64__) || defined(_M_ARM64)
    __asm__("" : "+w"(v));
#else
    (void)v;
#endif
}

// mul_round_q15_s16 of a and lane kLane of `packed` (vqrdmulhq_laneq_s16):
// coefficients that share one register where the loop runs short of them.
// Elsewhere the lane is broadcast (a loop-invariant the compiler hoists) and
// multiplied as mul_round_q15_s16.
template <int kLane>
inline int16x8_t mul_round_q15_laneq_s16(int16x8_t a, int16x8_t packed) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vqrdmulhq_laneq_s16(a, packed, kLane);
#else
    return mul_round_q15_s16(a, vdupq_laneq_s16(packed, kLane));
#endif
}

// Table lookups of bytes from a window of 32 or 64 bytes (vqtbl2q_u8,
// vqtbl4q_u8). On x86 one byte shuffle per 16 bytes of the window; indices
// into a 32-byte window take the form table_index32 gives them.
template <int kWindow>
struct TableWindow {
    static_assert(kWindow == 32 || kWindow == 64, "a window of 32 or 64 bytes");
    uint8x16_t v[kWindow / 16];
};
template <int kWindow>
inline TableWindow<kWindow> load_table_window(const uint8_t* p) {
    TableWindow<kWindow> w;
    for (int i = 0; i < kWindow / 16; ++i) w.v[i] = vld1q_u8(p + 16 * i);
    return w;
}
// Index i (0..31) of a 32-byte window as table_lookup_u8 reads it: i itself
// on NEON; on x86 bit 4 (which half of the window) moved to bit 7, which the
// first half's shuffle reads as a zero and the second half's, flipped, as its
// own byte.
inline uint8_t table_index32(uint8_t i) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    return uint8_t((i & 15) | ((i & 16) << 3));
#else
    return i;
#endif
}
template <int kWindow>
inline uint8x16_t table_lookup_u8(const TableWindow<kWindow>& w, uint8x16_t idx) {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    const __m128i i = simde_uint8x16_to_m128i(idx);
    if constexpr (kWindow == 32) {
        const __m128i lo = _mm_shuffle_epi8(simde_uint8x16_to_m128i(w.v[0]), i);
        const __m128i hi = _mm_shuffle_epi8(simde_uint8x16_to_m128i(w.v[1]),
                                            _mm_xor_si128(i, _mm_set1_epi8(char(0x80))));
        return simde_uint8x16_from_m128i(_mm_or_si128(lo, hi));
    }
    // For part k the index less 16 k, pushed to 0x80 and above (a zero)
    // where it is outside 0..15.
    __m128i r = _mm_shuffle_epi8(simde_uint8x16_to_m128i(w.v[0]),
                                 _mm_adds_epu8(i, _mm_set1_epi8(0x70)));
    for (int k = 1; k < kWindow / 16; ++k) {
        const __m128i ik = _mm_adds_epu8(_mm_sub_epi8(i, _mm_set1_epi8(char(16 * k))),
                                         _mm_set1_epi8(0x70));
        r = _mm_or_si128(r, _mm_shuffle_epi8(simde_uint8x16_to_m128i(w.v[k]), ik));
    }
    return simde_uint8x16_from_m128i(r);
#else
    if constexpr (kWindow == 32) {
        uint8x16x2_t t;
        t.val[0] = w.v[0];
        t.val[1] = w.v[1];
        return vqtbl2q_u8(t, idx);
    } else {
        uint8x16x4_t t;
        t.val[0] = w.v[0];
        t.val[1] = w.v[1];
        t.val[2] = w.v[2];
        t.val[3] = w.v[3];
        return vqtbl4q_u8(t, idx);
    }
#endif
}

// Two-tap blends of bytes with 8-bit weights, exact, in two stages: along a
// line t = x0 w0 + x1 w1 (w0 + w1 = 256; at most 65280), then across two
// lines (t0 (256 - w) + t1 w + 2^15) >> 16.
//
// kPairedTapBlend: where the first stage is one multiply-add of byte pairs
// (x86's pmaddubsw), blend_taps_u8 takes a sample's two taps (and weights)
// side by side: x0 and w0 hold the pairs of samples 0..7, x1 and w1 those of
// samples 8..15. Otherwise x0, x1 are the first and second taps of the 16
// samples and w0, w1 their weights.
#if defined(SIMDE_X86_SSSE3_NATIVE)
constexpr bool kPairedTapBlend = true;
#else
constexpr bool kPairedTapBlend = false;
#endif

// The first stage of 16 samples as two halves of 8 lanes, in the form
// blend_across_u16 reads (on x86 t - 2^15, signed).
struct TapBlend16 {
    uint16x8_t h[2];
};

// Two rows' weights across the lines, pair 0 (wa) and pair 1 (wb).
struct AcrossWeightPairs {
#if defined(SIMDE_X86_SSSE3_NATIVE)
    __m128i p[2];  // 256 - w | w << 16 in every 32-bit lane
    AcrossWeightPairs(uint8_t wa, uint8_t wb)
        : p{_mm_set1_epi32(int((256 - wa) | (wa << 16))),
            _mm_set1_epi32(int((256 - wb) | (wb << 16)))} {}
#else
    uint16x4_t r;  // 256 - wa, wa, 256 - wb, wb
    AcrossWeightPairs(uint8_t wa, uint8_t wb) {
        const uint16_t v[4] = {uint16_t(256 - wa), wa, uint16_t(256 - wb), wb};
        r = vld1_u16(v);
    }
#endif
};

#if defined(SIMDE_X86_SSSE3_NATIVE)
// With the taps made signed (x - 128), one multiply-add of byte pairs gives
// t - 2^15 = (x0 - 128)(256 - w) + (x1 - 128) w exactly (-32768 .. 32512).
inline TapBlend16 blend_taps_u8(uint8x16_t x0, uint8x16_t x1, uint8x16_t w0, uint8x16_t w1) {
    const __m128i k80 = _mm_set1_epi8(char(0x80));
    TapBlend16 a;
    a.h[0] = simde_uint16x8_from_m128i(_mm_maddubs_epi16(
        simde_uint8x16_to_m128i(w0), _mm_xor_si128(simde_uint8x16_to_m128i(x0), k80)));
    a.h[1] = simde_uint16x8_from_m128i(_mm_maddubs_epi16(
        simde_uint8x16_to_m128i(w1), _mm_xor_si128(simde_uint8x16_to_m128i(x1), k80)));
    return a;
}
// 8 lanes from p = t0 - 2^15 and q = t1 - 2^15: one multiply-add of (p, q)
// pairs by (256 - w, w) is the sum less 2^23.
inline __m128i blend_across8_x86(__m128i p, __m128i q, __m128i w) {
    const __m128i bias = _mm_set1_epi32((1 << 23) + (1 << 15));
    const __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(p, q), w);
    const __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(p, q), w);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(lo, bias), 16),
                           _mm_srai_epi32(_mm_add_epi32(hi, bias), 16));
}
// The second stage of 16 samples (0..255 in 16-bit lanes) from lines a and
// b with weight pair kPair.
template <int kPair>
inline void blend_across_u16(const TapBlend16& a, const TapBlend16& b, const AcrossWeightPairs& w,
                             uint16x8_t out[2]) {
    for (int i = 0; i < 2; ++i)
        out[i] = simde_uint16x8_from_m128i(blend_across8_x86(
            simde_uint16x8_to_m128i(a.h[i]), simde_uint16x8_to_m128i(b.h[i]), w.p[kPair]));
}
#else
inline TapBlend16 blend_taps_u8(uint8x16_t x0, uint8x16_t x1, uint8x16_t w0, uint8x16_t w1) {
    TapBlend16 a;
    a.h[0] = vmlal_u8(vmull_u8(vget_low_u8(x0), vget_low_u8(w0)), vget_low_u8(x1),
                      vget_low_u8(w1));
    a.h[1] = vmlal_u8(vmull_u8(vget_high_u8(x0), vget_high_u8(w0)), vget_high_u8(x1),
                      vget_high_u8(w1));
    return a;
}
// Four lanes, with 256 - w in lane kLane of r and w in lane kLane + 1.
template <int kLane>
inline uint16x4_t blend_across4(uint16x4_t t0, uint16x4_t t1, uint16x4_t r) {
    const uint32x4_t a = vmull_lane_u16(t0, r, kLane), b = vmull_lane_u16(t1, r, kLane + 1);
#if defined(__aarch64__) || defined(_M_ARM64)
    return vraddhn_u32(a, b);  // the rounding is part of the narrowing add
#else
    return vshrn_n_u32(vaddq_u32(vaddq_u32(a, b), vdupq_n_u32(1u << 15)), 16);
#endif
}
template <int kPair>
inline void blend_across_u16(const TapBlend16& a, const TapBlend16& b, const AcrossWeightPairs& w,
                             uint16x8_t out[2]) {
    constexpr int kLane = 2 * kPair;
    for (int i = 0; i < 2; ++i)
        out[i] = vcombine_u16(
            blend_across4<kLane>(vget_low_u16(a.h[i]), vget_low_u16(b.h[i]), w.r),
            blend_across4<kLane>(vget_high_u16(a.h[i]), vget_high_u16(b.h[i]), w.r));
}
#endif

// Fused multiply-adds with one rounding each, on every target: the
// emulation's vfmaq_f32 multiplies and adds separately unless the build
// targets FMA instructions. An x86 build for the SSE4.2 baseline therefore
// takes the processor's FMA instruction where it has one (checked once) and
// std::fma per lane otherwise. Float code that must give the same bytes
// everywhere fuses only where its formula says so and uses plain vmulq/vaddq
// elsewhere (the build never contracts on its own).
#if !defined(__aarch64__) && !defined(_M_ARM64) && !defined(SIMDE_X86_FMA_NATIVE)
namespace fma_detail {
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("fma"))) inline void fused_dot4_hw(const float* r, const float* w,
                                                        float* out) {
    __m128 sum = _mm_mul_ps(_mm_load_ps(r), _mm_load_ps(w));
    sum = _mm_fmadd_ps(_mm_load_ps(r + 4), _mm_load_ps(w + 4), sum);
    sum = _mm_fmadd_ps(_mm_load_ps(r + 8), _mm_load_ps(w + 8), sum);
    _mm_store_ps(out, _mm_fmadd_ps(_mm_load_ps(r + 12), _mm_load_ps(w + 12), sum));
}
inline const bool kHasFma = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma") != 0;
}();
#else
inline void fused_dot4_hw(const float*, const float*, float*) {}
inline const bool kHasFma = false;
#endif
}  // namespace fma_detail
#endif

// r[0] w[0], then + r[i] w[i] for i = 1..3 each fused: a fused dot product of
// four lanes' rows, in the order written. One call into the FMA instruction
// for all three steps on baseline x86 builds.
inline float32x4_t fused_dot4_f32(const float32x4_t r[4], const float32x4_t w[4]) {
#if defined(__aarch64__) || defined(_M_ARM64) || defined(SIMDE_X86_FMA_NATIVE)
    float32x4_t sum = vmulq_f32(r[0], w[0]);
    sum = vfmaq_f32(sum, r[1], w[1]);
    sum = vfmaq_f32(sum, r[2], w[2]);
    return vfmaq_f32(sum, r[3], w[3]);
#else
    alignas(16) float rr[16], ww[16], out[4];
    for (int i = 0; i < 4; ++i) {
        vst1q_f32(rr + 4 * i, r[i]);
        vst1q_f32(ww + 4 * i, w[i]);
    }
    if (fma_detail::kHasFma) {
        fma_detail::fused_dot4_hw(rr, ww, out);
    } else {
        for (int k = 0; k < 4; ++k) {
            float sum = rr[k] * ww[k];
            for (int i = 1; i < 4; ++i) sum = std::fma(rr[4 * i + k], ww[4 * i + k], sum);
            out[k] = sum;
        }
    }
    return vld1q_f32(out);
#endif
}

// a / b per lane, correctly rounded. The emulation has no vector division:
// other hosts divide lane by lane, which compilers turn into one division.
inline float32x4_t div_f32(float32x4_t a, float32x4_t b) {
#if defined(__aarch64__) || defined(_M_ARM64)
    return vdivq_f32(a, b);
#else
    alignas(16) float x[4], y[4];
    vst1q_f32(x, a);
    vst1q_f32(y, b);
    for (int k = 0; k < 4; ++k) x[k] /= y[k];
    return vld1q_f32(x);
#endif
}

// Transposes the 4 x 4 floats held in r[0..3] (row i becomes column i).
inline void transpose_f32x4(float32x4_t r[4]) {
    const float32x4x2_t t01 = vtrnq_f32(r[0], r[1]), t23 = vtrnq_f32(r[2], r[3]);
    r[0] = vcombine_f32(vget_low_f32(t01.val[0]), vget_low_f32(t23.val[0]));
    r[1] = vcombine_f32(vget_low_f32(t01.val[1]), vget_low_f32(t23.val[1]));
    r[2] = vcombine_f32(vget_high_f32(t01.val[0]), vget_high_f32(t23.val[0]));
    r[3] = vcombine_f32(vget_high_f32(t01.val[1]), vget_high_f32(t23.val[1]));
}

}  // namespace mira
