// The route of every feature class (features/dispatch.h): defined next to
// the feature's check, CPU method, GPU call and twin, bound to the class in
// features/classes.cpp.
#pragma once

#include "features/dispatch.h"

namespace mira {

// features/colour.cpp
extern const Route kCbcrSwap, kInterleave, kNv21, kYuv444To420, kYuv420To444;
// features/geometry.cpp
extern const Route kTranspose, kRotate, kRotateInterleaved;
// features/filters.cpp
extern const Route kGaussian, kGradient, kSobel, kStats, kFloodfill;
// features/scaling.cpp (kScaleDirect: the general scale's second CPU method)
extern const Route kScaleDown, kScaleDownMN, kScaleDownMNInterleave, kUpsample, kScaleUpPoly,
    kScaleUpPolyCbCr, kScale, kScaleDirect;
// features/warp.cpp
extern const Route kAffine;
// features/camera.cpp
extern const Route kYuv420ToRgb, kRgbToYuv420, kYuv420ToRgbTransform;

}  // namespace mira
