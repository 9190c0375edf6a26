// The integer arithmetic of the camera-frame conversions (4:2:0 frames to
// RGB and back), shared by the NEON kernels, their GPU kernels' features and
// the checked interface. A 16-bit product is q(a, k) = (a k + 2^14) >> 15 of a
// 16-bit sample term a and a 16-bit coefficient k (the rounding doubling
// high-half multiply, vqrdmulh). To RGB, every sum is in units of 1/64 and
// each result is (sum + 32) >> 6 clamped to 0..255; from RGB, sums are in
// units of 1/256. The coefficients below are the ITU values (Kr, Kb of
// BT.601, BT.709, BT.2020; limited range Y 16..235, C 16..240, or full range
// 0..255) scaled and rounded to the nearest integer.
//
// To RGB (Y' = Y - yoff, yoff = 16 limited, 0 full; U' = U - 128, V' = V - 128):
//   y = q(128 Y', kY) + 32
//   R = clamp((y + q(256 V', kRV)) >> 6)
//   G = clamp((y - (q(256 U', kGU) + q(256 V', kGV))) >> 6)
//   B = clamp((y + q(256 U', kBU)) >> 6)
// with kY = s 2^14 (s = 255/219 limited, 1 full), kRV = c 2 (1 - Kr) 2^13,
// kGU = c 2 (1 - Kb) Kb / Kg 2^13, kGV = c 2 (1 - Kr) Kr / Kg 2^13,
// kBU = c 2 (1 - Kb) 2^13 (c = 255/224 limited, 1 full).
//
// From RGB, Y of each pixel with 8-bit coefficients, accumulated in 16 bits:
//   Y = (kYR R + kYG G + kYB B + 256 yoff + 128) >> 8
// and each chroma sample from the sums SR, SG, SB over its 2x2 block (a
// partial block at an odd edge counted as 4 samples: twice the sum of its
// two, four times its one), through D1 = 32 (SB - SG) and D2 = 32 (SR - SG):
//   U = (q(D1, kUB) + q(D2, kUR) + 32896) >> 8
//   V = (q(D2, kVR) + q(D1, kVB) + 32896) >> 8
// (with Kg = 1 - Kr - Kb, U - 128 = c'/2 (B - G) - c' Kr / (2 (1 - Kb)) (R - G)
// and V - 128 = c'/2 (R - G) - c' Kb / (2 (1 - Kr)) (B - G) of the block mean),
// where kYx = Kx s' 2^8 (s' = 219/255 limited, 1 full) rounded so that the
// three sum to the nearest integer of s' 2^8 (the largest remainders round
// up), kUB = kVR = min(c'/2 2^16, 32767), kUR = -c' Kr / (2 (1 - Kb)) 2^16,
// kVB = -c' Kb / (2 (1 - Kr)) 2^16 (c' = 224/255 limited, 1 full). Every
// sum lies in 0..65535 before its shift (checked over every input), so no
// result needs a clamp: Y's sum is at most 255 (kYR + kYG + kYB) + 256 yoff
// + 128 <= 65408, and D1, D2 and the two products stay within 16 bits.
//
// To RGB, the products' and coefficients' roundings move a result by less
// than 0.05 before its own rounding; from RGB, Y by less than 0.47 and U, V
// by less than 0.51. So every sample is within 1 of the exact formula rounded
// to nearest (tests/test_camera.cpp measures it over every input).
#pragma once

#include <cstdint>

namespace mira {

// Matrices and ranges in the order of the public enumerations.
enum : int { kMatrixBt601 = 0, kMatrixBt709 = 1, kMatrixBt2020 = 2, kMatrixCount = 3 };
enum : int { kRangeLimited = 0, kRangeFull = 1, kRangeCount = 2 };
// RGB layouts in the order of the public enumeration.
enum : int { kRgba = 0, kBgra = 1, kRgb = 2, kBgr = 3, kRgbFormatCount = 4 };

inline int rgb_channels(int format) { return format == kRgb || format == kBgr ? 3 : 4; }
inline bool rgb_blue_first(int format) { return format == kBgra || format == kBgr; }

struct ToRgbCoefficients {
    int16_t yOffset, kY, kRV, kGU, kGV, kBU;
};
struct FromRgbCoefficients {
    int16_t yOffset, kYR, kYG, kYB, kUB, kUR, kVR, kVB;
};

// [matrix][range]; kernels/common/yuv420.clh holds the same table.
inline const ToRgbCoefficients kToRgb[kMatrixCount][kRangeCount] = {
    {{16, 19077, 13075, 3209, 6660, 16525}, {0, 16384, 11485, 2819, 5850, 14516}},
    {{16, 19077, 14686, 1747, 4366, 17305}, {0, 16384, 12901, 1535, 3835, 15201}},
    {{16, 19077, 13752, 1535, 5328, 17545}, {0, 16384, 12080, 1348, 4681, 15412}},
};
inline const FromRgbCoefficients kFromRgb[kMatrixCount][kRangeCount] = {
    {{16, 66, 129, 25, 28784, -9714, 28784, -4681}, {0, 77, 150, 29, 32767, -11058, 32767, -5329}},
    {{16, 47, 157, 16, 28784, -6596, 28784, -2639}, {0, 54, 183, 19, 32767, -7509, 32767, -3005}},
    {{16, 58, 149, 13, 28784, -8038, 28784, -2315}, {0, 67, 174, 15, 32767, -9151, 32767, -2635}},
};

// The request of both conversions as one feature argument: RGB layout,
// matrix, range and the chroma pixel stride (1 or 2).
struct CameraArg {
    int format, matrix, range, pixelStride;
};
inline int32_t pack_camera_arg(const CameraArg& a) {
    return int32_t(a.format | (a.matrix << 4) | (a.range << 8) | (a.pixelStride << 12));
}
inline CameraArg unpack_camera_arg(int32_t v) {
    return CameraArg{v & 15, (v >> 4) & 15, (v >> 8) & 15, (v >> 12) & 15};
}
inline bool camera_arg_ok(const CameraArg& a) {
    return a.format >= 0 && a.format < kRgbFormatCount && a.matrix >= 0 &&
           a.matrix < kMatrixCount && a.range >= 0 && a.range < kRangeCount &&
           (a.pixelStride == 1 || a.pixelStride == 2);
}

}  // namespace mira
