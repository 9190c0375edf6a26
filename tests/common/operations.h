// The one list of every image operation the library offers, shared by the
// tests and the fuzzers: its name, the feature id a request through
// MIRA_Manager carries, and the plain C function of mira.h.
//
// Adding an operation means adding its row here. Each suite that runs "every
// operation" (tests/common/op_cases.h: fixed requests on both paths;
// tests/gpu_vs_cpu.h: the GPU against the CPU at any geometry;
// fuzz/fuzz_ops.h: the exported functions with fuzzed arguments) turns a row
// into its requests in one switch over `Operation` without a default, and
// those programs are built with -Werror=switch: a new row does not compile
// until every suite says what it does with it (which may be nothing, with
// the reason next to the case).
#pragma once

#include <cstddef>
#include <cstdint>

#include "mira/mira_types.h"

namespace mira_test {

// X(enumerator, name, feature id, C function). The order is the order in
// which the suites list their cases (a parameterised test seeds by index).
// clang-format off
#define MIRA_TEST_OPERATIONS(X) \
    X(transpose, "transpose", MIRA_API_TRANSPOSE_U8, ncvTransposeu8) \
    X(rotate, "rotate", MIRA_API_ROTATE_U8, ncvRotateImageu8) \
    X(rotate_interleaved, "rotate interleaved", MIRA_API_ROTATE_INTERLEAVE_U8, ncvRotateImageInterleavedu8) \
    X(cbcr_swap, "cbcr swap", MIRA_API_CBCR_SWAP, ncvColorCbCrSwapu8) \
    X(interleave, "interleave", MIRA_API_INTERLEAVE_U8, ncvInterleaveu8) \
    X(ycbcr444_to_420, "ycbcr 444 to 420", MIRA_API_YUV444_TO_YUV420, ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8) \
    X(ycbcr420_to_444, "ycbcr 420 to 444", MIRA_API_YUV420_TO_YUV444, ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8) \
    X(nv21_to_rgba, "nv21 to rgba", MIRA_API_NV21_TO_RGBA8888, ncvColorYUV420toRGB8888u8) \
    X(gradient, "gradient", MIRA_API_IMAGE_GRADIENT_U8, ncvImageGradientPlanars16_v2) \
    X(sobel, "sobel", MIRA_API_IMAGE_GRADIENT_SOBEL_U8, ncvImageGradientSobelPlanars16_v3) \
    X(gaussian, "gaussian", MIRA_API_FILTER_GAUSSIAN3X3_U8, ncvFilterGaussian3x3u8) \
    X(intensity_stats, "intensity statistics", MIRA_API_IMAGE_INTENSITY_STATS, ncvImageIntensityStats) \
    X(scale_down, "scale down", MIRA_API_SCALE_DOWN_U8, ncvScaleDownu8_v2) \
    X(scale_down_mn, "scale down M/N", MIRA_API_SCALEDOWN_MN_U8, ncvScaleDownMNu8) \
    X(scale_down_mn_interleaved, "scale down M/N interleaved", MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, ncvScaleDownMNInterleaveu8) \
    X(upsample_2x_cbcr, "up-sample 2x cbcr", MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, ncvUpsample2DInterleavedu8) \
    X(affine, "affine", MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, ncvTransformAffineClippedu8_v2) \
    X(scale_up_poly, "scale up poly", MIRA_API_SCALE_UP_POLY_U8, ncvScaleUpPolyu8) \
    X(scale_up_poly_interleaved, "scale up poly interleaved", MIRA_API_SCALE_UP_POLY_CBCR_U8, ncvScaleUpPolyInterleaveu8) \
    X(scale, "scale", MIRA_API_SCALE_U8, ncvScaleu8_v2) \
    X(floodfill, "flood fill", MIRA_API_FLOODFILL_SIMPLE_U8, ncvFloodfillSimpleu8)
// clang-format on

enum class Operation {
#define MIRA_TEST_OP_ENUM(e, name, id, fn) e,
    MIRA_TEST_OPERATIONS(MIRA_TEST_OP_ENUM)
#undef MIRA_TEST_OP_ENUM
};

struct OperationRow {
    Operation op;
    const char* name;      // the base of every case name a suite gives it
    MIRA_API_ID id;        // the feature a manager request names
    const char* function;  // the exported C function of mira.h
};

inline constexpr OperationRow kOperations[] = {
#define MIRA_TEST_OP_ROW(e, name, id, fn) {Operation::e, name, id, #fn},
    MIRA_TEST_OPERATIONS(MIRA_TEST_OP_ROW)
#undef MIRA_TEST_OP_ROW
};

inline constexpr size_t kOperationCount = sizeof kOperations / sizeof kOperations[0];

inline constexpr const OperationRow& row(Operation op) { return kOperations[size_t(op)]; }

}  // namespace mira_test
