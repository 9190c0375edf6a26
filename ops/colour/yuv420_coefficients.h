// The integer arithmetic of the camera-frame conversions (4:2:0 frames to
// RGB and back), shared by the NEON kernels, their GPU kernels' features and
// the checked interface. Every product is q(a, k) = (a k + 2^14) >> 15 of a
// 16-bit sample term a and a 16-bit coefficient k (the rounding doubling
// high-half multiply, vqrdmulh), every sum is in units of 1/64, and each
// result is (sum + 32) >> 6 clamped to 0..255. The coefficients below are the
// ITU values (Kr, Kb of BT.601, BT.709, BT.2020; limited range Y 16..235,
// C 16..240, or full range 0..255) scaled and rounded to the nearest integer.
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
// From RGB (each chroma sample from the sums SR, SG, SB over its 2x2 block,
// a partial block at an odd edge counted as 4 samples: twice the sum of its
// two, four times its one):
//   Y = clamp((q(128 R, kYR) + q(128 G, kYG) + q(128 B, kYB) + 64 yoff + 32) >> 6)
//   U = clamp((q(32 SR, kUR) + q(32 SG, kUG) + q(32 SB, kUB) + 8192 + 32) >> 6)
//   V = clamp((q(32 SR, kVR) + q(32 SG, kVG) + q(32 SB, kVB) + 8192 + 32) >> 6)
// with kYx = Kx s' 2^14 (s' = 219/255 limited, 1 full), kUR = -c' Kr / (2 (1 - Kb)) 2^14,
// kUG = -c' Kg / (2 (1 - Kb)) 2^14, kUB = c' / 2 2^14, kVR = c' / 2 2^14,
// kVG = -c' Kg / (2 (1 - Kr)) 2^14, kVB = -c' Kb / (2 (1 - Kr)) 2^14
// (c' = 224/255 limited, 1 full).
//
// The products' and coefficients' roundings move a result by less than 0.05
// before its own rounding, so every sample is within 1 of the exact formula
// rounded to nearest (tests/test_camera.cpp measures it over every input).
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
    int16_t yOffset, kYR, kYG, kYB, kUR, kUG, kUB, kVR, kVG, kVB;
};

// [matrix][range]; kernels/common/yuv420.clh holds the same table.
inline const ToRgbCoefficients kToRgb[kMatrixCount][kRangeCount] = {
    {{16, 19077, 13075, 3209, 6660, 16525}, {0, 16384, 11485, 2819, 5850, 14516}},
    {{16, 19077, 14686, 1747, 4366, 17305}, {0, 16384, 12901, 1535, 3835, 15201}},
    {{16, 19077, 13752, 1535, 5328, 17545}, {0, 16384, 12080, 1348, 4681, 15412}},
};
inline const FromRgbCoefficients kFromRgb[kMatrixCount][kRangeCount] = {
    {{16, 4207, 8260, 1604, -2428, -4768, 7196, 7196, -6026, -1170},
     {0, 4899, 9617, 1868, -2765, -5427, 8192, 8192, -6860, -1332}},
    {{16, 2991, 10064, 1016, -1649, -5547, 7196, 7196, -6536, -660},
     {0, 3483, 11718, 1183, -1877, -6315, 8192, 8192, -7441, -751}},
    {{16, 3696, 9540, 834, -2010, -5187, 7196, 7196, -6617, -579},
     {0, 4304, 11108, 972, -2288, -5904, 8192, 8192, -7533, -659}},
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
