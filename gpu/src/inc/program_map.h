// The table of embedded OpenCL kernel sources, generated at build time from
// kernels/*.cl (cmake/MiraKernels.cmake).
#pragma once

#include "mira/mira_types.h"

namespace ZOR {

struct program_entry {
    const char* name;    // kernel name
    const char* source;  // whole OpenCL C program text; "" for an empty kernel
};

constexpr int kProgramCount = 27;
MIRA_EXPORT extern const program_entry program_map[kProgramCount];

// Source of the kernel `name` (letter case ignored), or null for a null or
// unknown name. An empty kernel gives "", not null.
MIRA_EXPORT const char* find_program_value_by_key(const char* name);

}  // namespace ZOR

// Each kernel's source under the kernel's own name ("" for the empty ones).
extern "C" {
MIRA_EXPORT extern const char* mira_fcvColorCbCrSwapu8_func;
MIRA_EXPORT extern const char* mira_fcvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8_func;
MIRA_EXPORT extern const char* mira_fcvColorYUV420toRGB8888u8_func;
MIRA_EXPORT extern const char* mira_fcvColorYCbCr420PseudoPlanarToYCbCr444Planaru8_func;
MIRA_EXPORT extern const char* mira_fcvColorYCbCr422PseudoPlanarToRGBA8888u8_func;
MIRA_EXPORT extern const char* mira_fcvScaleDownu8_v2_func;
MIRA_EXPORT extern const char* mira_fcvScaleUpPolyu8_func;
MIRA_EXPORT extern const char* mira_fcvScaleUpPolyInterleaveu8_func;
MIRA_EXPORT extern const char* mira_fcvUpsample2DInterleavedu8_func;
MIRA_EXPORT extern const char* mira_fcvScaleDownMNInterleaveu8_func;
MIRA_EXPORT extern const char* mira_fcvScaleu8_v2_func;
MIRA_EXPORT extern const char* mira_fcvScaleDownMNu8_func;
MIRA_EXPORT extern const char* mira_fcvFilterGaussian3x3u8_func;
MIRA_EXPORT extern const char* mira_fcvImageGradientPlanars16_v2_func;
MIRA_EXPORT extern const char* mira_fcvImageGradientSobelPlanars16_v3_func;
MIRA_EXPORT extern const char* mira_fcvImageIntensityStats_func;
MIRA_EXPORT extern const char* mira_fcvFloodfillSimpleu8_func;
MIRA_EXPORT extern const char* mira_fcvTransformAffineClippedu8_nearest_func;
MIRA_EXPORT extern const char* mira_fcvTransformAffineClippedu8_linear_func;
MIRA_EXPORT extern const char* mira_fcvTransformAffineClippedu8_cubic_func;
MIRA_EXPORT extern const char* mira_fcvTransposeu8_func;
MIRA_EXPORT extern const char* mira_fcvRotateImageu8_func;
MIRA_EXPORT extern const char* mira_fcvInterleaveu8_func;
MIRA_EXPORT extern const char* mira_fcvRotateImageInterleavedu8_func;
MIRA_EXPORT extern const char* mira_fcvColorYUV420ToRGBu8_func;
MIRA_EXPORT extern const char* mira_fcvColorRGBToYUV420u8_func;
MIRA_EXPORT extern const char* mira_fcvColorYUV420ToRGBTransformu8_func;
}
