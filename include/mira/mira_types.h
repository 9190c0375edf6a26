/**
 * @file mira_types.h
 * @brief Records shared by every libmira operation: plane descriptors, the
 *        request record, feature ids, processing modes and status codes.
 *
 * Usable from C and C++. The plain C functions of mira.h build these records
 * themselves; a caller needs them only to run a feature through
 * MIRA_Manager::run (mira_features.h), for example to choose another
 * processing mode than the function's default.
 */
#ifndef MIRA_TYPES_H
#define MIRA_TYPES_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define MIRA_EXPORT __declspec(dllexport)
#else
#define MIRA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * @brief One image plane or memory block.
 *
 * Rows are `stride` bytes apart; the block holds `stride` ×
 * `bufHeight` bytes from `data`. The library never keeps a descriptor
 * or its `data` after a call returns.
 */
typedef struct MIRA_Feature_Buf {
    /** Elements per processed row: bytes for 8-bit planes, pixels or pairs
     *  where a feature says so (interleaved CbCr planes count bytes through
     *  most functions; see each function). */
    uint32_t width;
    /** Bytes from the start of one row to the start of the next
     *  (also for 16-bit planes). */
    uint32_t stride;
    /** Rows the operation processes. */
    uint32_t height;
    /** Rows in the memory block (at least `height`): the block is
     *  `stride` × `bufHeight` bytes. */
    uint32_t bufHeight;
    /** First byte of the plane (owned by the caller). */
    uint8_t* data;
} MIRA_Feature_Buf;

/**
 * @brief One operation request: which feature, on which path, with which
 *        further parameters. 32 bytes, `extra` on an 8-byte boundary.
 */
typedef struct MIRA_Feature_Param {
    /** The feature to run: a ::MIRA_API_ID value (1..29). */
    uint32_t apiId;
    /** Processing mode: ::MIRA_MODE_CPU (0), ::MIRA_MODE_OPENCL (1) or any
     *  other value (a CPU path; see ::MIRA_MODE_CPU_ALT). */
    uint32_t mode;
    /** The pixel size in bytes of the transpose (feature 6), the planar
     *  rotation (13) and the 3×3 Gaussian (19): 2, 3 or 4 for an interleaved
     *  image of that many channels (descriptor widths then count pixels, and
     *  each channel is computed as a plane would be); any other value, as the
     *  plain C functions store (1), means 8-bit planes. Not read by any other
     *  operation. */
    uint32_t reserved;
    /** Feature-specific parameter block, or null: ncvScaleParam (general
     *  scale), ncvFloodfillParam (flood fill), ncvMemRequest (managed
     *  allocation). */
    void* extra;
    /** Feature-specific integer: the rotation code (rotations), the border
     *  mode (3×3 Gaussian), the interpolation (affine warp), the packed
     *  layout, matrix and range (camera frames); 0 elsewhere. */
    int32_t arg;
} MIRA_Feature_Param;

/**
 * @brief Underlying type of ::MIRA_API_ID: `uint32_t` in C++, the compiler's
 *        enumeration type in C.
 *
 * In C++ the ids are a 32-bit enumeration, so any u32 held in one is a valid
 * value (an unknown id is refused with ::MIRA_ERR_ARG, never undefined).
 */
#ifdef __cplusplus
#define MIRA_API_ID_BASE : uint32_t
#else
#define MIRA_API_ID_BASE
#endif

/**
 * @brief Feature ids (MIRA_Feature_Param::apiId), one feature class per id.
 *
 * Each value names the feature class of the same name without the `API_`
 * part (mira_features.h), the plain C function that runs it and the mode
 * that function uses. 0 and values above 26 name no feature.
 */
typedef enum MIRA_API_ID MIRA_API_ID_BASE {
    /** ncvInit; mode 1. */
    MIRA_API_INIT = 1,
    /** ncvDeinit; mode 1. */
    MIRA_API_DEINIT = 2,
    /** ncvMemAlloc; mode 1; extra: ncvMemRequest. */
    MIRA_API_MEM_ALLOC = 3,
    /** ncvMemFree; mode 1. */
    MIRA_API_MEM_FREE = 4,
    /** ncvIsNcvAllocBuffer; mode 1. */
    MIRA_API_MEM_CHECK = 5,
    /** ncvTransposeu8; mode 0. */
    MIRA_API_TRANSPOSE_U8 = 6,
    /** ncvScaleDownu8_v2; mode 0. */
    MIRA_API_SCALE_DOWN_U8 = 7,
    /** ncvColorYUV420toRGB8888u8; mode 0. */
    MIRA_API_NV21_TO_RGBA8888 = 8,
    /** ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8; mode 0. */
    MIRA_API_YUV444_TO_YUV420 = 9,
    /** ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8; mode 0. */
    MIRA_API_YUV420_TO_YUV444 = 10,
    /** ncvColorCbCrSwapu8; mode 0. */
    MIRA_API_CBCR_SWAP = 11,
    /** ncvInterleaveu8; mode 0. */
    MIRA_API_INTERLEAVE_U8 = 12,
    /** ncvRotateImageu8; mode 0; arg: rotation code. */
    MIRA_API_ROTATE_U8 = 13,
    /** ncvRotateImageInterleavedu8; mode 0; arg: rotation code. */
    MIRA_API_ROTATE_INTERLEAVE_U8 = 14,
    /** ncvScaleDownMNInterleaveu8; mode 1. */
    MIRA_API_SCALEDOWN_MNINTERLEAVE_U8 = 15,
    /** ncvImageGradientPlanars16_v2; mode 1. */
    MIRA_API_IMAGE_GRADIENT_U8 = 16,
    /** ncvImageGradientSobelPlanars16_v3; mode 1. */
    MIRA_API_IMAGE_GRADIENT_SOBEL_U8 = 17,
    /** ncvImageIntensityStats; mode 2. */
    MIRA_API_IMAGE_INTENSITY_STATS = 18,
    /** ncvFilterGaussian3x3u8; mode 0; arg: border mode. */
    MIRA_API_FILTER_GAUSSIAN3X3_U8 = 19,
    /** ncvUpsample2DInterleavedu8; mode 1. */
    MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR = 20,
    /** ncvScaleUpPolyu8; mode 2. */
    MIRA_API_SCALE_UP_POLY_U8 = 21,
    /** ncvScaleUpPolyInterleaveu8; mode 2. */
    MIRA_API_SCALE_UP_POLY_CBCR_U8 = 22,
    /** ncvScaleu8_v2; mode 2; extra: ncvScaleParam. */
    MIRA_API_SCALE_U8 = 23,
    /** ncvFloodfillSimpleu8; mode 2; extra: ncvFloodfillParam. */
    MIRA_API_FLOODFILL_SIMPLE_U8 = 24,
    /** ncvTransformAffineClippedu8_v2; mode 1; arg: interpolation. */
    MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8 = 25,
    /** ncvScaleDownMNu8; mode 1. */
    MIRA_API_SCALEDOWN_MN_U8 = 26,
    /** Camera frame (any 4:2:0 layout) to RGB (mira_yuv420_to_rgb). */
    MIRA_API_YUV420_TO_RGB = 27,
    /** RGB to a camera frame (mira_rgb_to_yuv420). */
    MIRA_API_RGB_TO_YUV420 = 28,
    /** Camera frame turned, scaled and converted to RGB (mira_yuv420_to_rgb_transform). */
    MIRA_API_YUV420_TO_RGB_TRANSFORM = 29
} MIRA_API_ID;

/**
 * @brief Processing modes (MIRA_Feature_Param::mode).
 *
 * A feature asked for the GPU runs its CPU method instead when no OpenCL
 * device is usable, and when its GPU kernel is empty (general scale, both
 * polyphase up-scales, flood fill, intensity statistics). A GPU failure on a
 * working device is logged and the CPU method computes the result.
 *
 * Departures: the clipped affine warp takes its GPU path for every mode but
 * 0; ncvInit/ncvDeinit do nothing in mode 0; the memory features use plain
 * host memory in mode 0 and GPU-shareable memory otherwise.
 */
enum {
    MIRA_MODE_CPU = 0,    /**< The CPU path (NEON; the feature's `_neon` method). */
    MIRA_MODE_OPENCL = 1, /**< The GPU path (OpenCL; the feature's `_opencl` method). */
    MIRA_MODE_CPU_ALT = 2 /**< Any value other than 0 and 1: a CPU path; the general scale runs
                               its second CPU variant (same results). */
};

/** @brief Status codes returned by MIRA_Manager::run and the feature methods. */
enum {
    MIRA_OK = 0,       /**< Done. */
    MIRA_ERR_FAIL = 1, /**< A resource could not be had: the GPU could not be brought up, a
                            memory request failed, or working memory ran out. */
    MIRA_ERR_ARG = 2   /**< Bad arguments: a null list, record or plane, a descriptor count
                            the feature does not accept, an unknown id, or sizes the feature
                            rejects. Nothing was written. */
};

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(MIRA_Feature_Buf) == 24, "MIRA_Feature_Buf layout");
static_assert(sizeof(MIRA_Feature_Param) == 32, "MIRA_Feature_Param layout");
static_assert(offsetof(MIRA_Feature_Param, apiId) == 0, "apiId offset");
static_assert(offsetof(MIRA_Feature_Param, mode) == 4, "mode offset");
static_assert(offsetof(MIRA_Feature_Param, reserved) == 8, "reserved offset");
static_assert(offsetof(MIRA_Feature_Param, extra) == 16, "extra offset");
static_assert(offsetof(MIRA_Feature_Param, arg) == 24, "arg offset");
#endif

#endif /* MIRA_TYPES_H */
