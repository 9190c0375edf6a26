/**
 * @file mira_features.h
 * @brief The feature manager and the feature classes, for callers that choose
 *        the processing mode themselves. C++ only.
 *
 * Every operation is a feature class with a CPU method (`_neon`) and a GPU
 * method (`_opencl`); its `run` picks one by MIRA_Feature_Param::mode. The
 * plain C functions of mira.h each run one feature in a fixed mode; to run it
 * in another, fill the descriptors and the record yourself and call
 * MIRA_Manager::run:
 *
 * @code
 * MIRA_Feature_Buf in = {w, srcStride, h, h, src};
 * MIRA_Feature_Buf out = {h, dstStride, w, w, dst};
 * MIRA_Feature_Param p = {MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
 * uint32_t status = MIRA_Manager().run(&in, 1, &out, 1, &p);  // MIRA_OK, MIRA_ERR_...
 * @endcode
 */
#ifndef MIRA_FEATURES_H
#define MIRA_FEATURES_H

#include <cstdint>
#include "mira_types.h"

/** @brief The interface of every feature class. */
class MIRA_EXPORT MIRA_Interface {
public:
    /** @brief Destroys the feature object. */
    virtual ~MIRA_Interface() = default;
    /**
     * @brief Runs the feature once: the GPU method for mode 1, a CPU method
     *        otherwise (departures in each class).
     *
     * A GPU request runs the CPU method when no OpenCL device is usable; a
     * GPU failure is logged and the CPU method computes the result.
     *
     * @param src      Source descriptors, side by side in memory (MIRA_Manager::run
     *                 lists them per feature).
     * @param srcCount Number of source descriptors.
     * @param dst      Destination descriptors, side by side in memory.
     * @param dstCount Number of destination descriptors.
     * @param param    The request: mode, `extra` block and `arg`.
     * @return ::MIRA_OK; ::MIRA_ERR_ARG for bad arguments (nothing written);
     *         ::MIRA_ERR_FAIL when a resource could not be had.
     */
    virtual uint32_t run(const MIRA_Feature_Buf* src, uint8_t srcCount, MIRA_Feature_Buf* dst,
                         uint8_t dstCount, const MIRA_Feature_Param* param) = 0;
};

/**
 * @brief Runs features by id. Holds no state: make one wherever needed.
 */
class MIRA_EXPORT MIRA_Manager {
public:
    /**
     * @brief Creates the feature object of an id.
     * @param id A feature id, 1..29.
     * @return A new object (the caller deletes it), or null for any other id.
     */
    MIRA_Interface* getFeatureObjByID(MIRA_API_ID id);

    /**
     * @brief Runs the feature named by @p param->apiId once, in
     *        @p param->mode (0 CPU, 1 GPU).
     *
     * Descriptors per feature, as the plain C functions build them ("plane"
     * = {width, stride ≥ width bytes, height, bufHeight ≥ height, data};
     * interleaved widths in bytes unless said otherwise):
     *
     * | id | sources, in order | destinations, in order | extra / arg |
     * |---|---|---|---|
     * | 1, 2 | none | none | — |
     * | 3 | none | one; its `data` receives the block | extra: ncvMemRequest |
     * | 4, 5 | one; `data` = the block | none | — |
     * | 6 | plane w × h | plane h × w | reserved: pixel bytes (below) |
     * | 7, 21, 26 | plane | plane | reserved: pixel bytes |
     * | 8 | {w, w, h, h, luma}; the VU plane follows the luma block | {w, w, h, h, RGBA} | — |
     * | 9 | Y, Cb, Cr | Y, CbCr (h / 2 rows of w bytes) | — |
     * | 10 | Y, CbCr (h / 2 rows of w bytes) | Y, Cb, Cr | — |
     * | 11 | plane, width in pairs | plane, width in pairs | — |
     * | 12 | two planes w × h | plane 2w bytes × h | — |
     * | 13 | plane | plane (h × w for codes 1 and 3) | arg: rotation code; reserved: pixel bytes |
     * | 14 | plane, width in pairs | plane, width in pairs | arg: rotation code |
     * | 15, 22 | plane, width 2w bytes | plane, width 2·dstW bytes | — |
     * | 16, 17 | plane | dx, dy (int16 values, strides in bytes) | — |
     * | 18 | {rw, image stride, rh, rh, first pixel of the rectangle} | two (a count of 1 is enough): `data` → float mean, `data` → float variance | — |
     * | 19 | plane | plane | arg: border mode; reserved: pixel bytes |
     * | 20 | plane, width 2w bytes | plane, width 4w bytes, 2h rows | — |
     * | 23 | plane | plane | extra: ncvScaleParam; reserved: pixel bytes |
     * | 24 | plane | mask plane (its width and height bound the fill) | extra: ncvFloodfillParam |
     * | 25 | plane, then {3, 12, 2, 2, matrix} | plane, then {2, 2, dstH, dstH, row spans or null} | arg: interpolation; reserved: pixel bytes |
     * | 27 | Y (w × h), U, V (⌈w/2⌉ samples × ⌈h/2⌉ rows each) | RGB(A) plane, width in pixels | arg: RGB layout, matrix << 4, range << 8, chroma pixel stride << 12 |
     * | 28 | RGB(A) plane, width in pixels | Y, U, V (as 27's sources) | arg: as 27 |
     * | 29 | Y, U, V (as 27) | RGB(A) plane of any size, width in pixels | arg: as 27, quarter turns << 16, mirror << 20, interpolation << 24 |
     *
     * Pixel bytes (MIRA_Feature_Param::reserved): 2, 3 or 4 for interleaved
     * images of that many channels, each channel computed as the plane is;
     * any other value (the plain C functions store 1) for the feature's own
     * unit. Features 6, 13, 19 and 25 then count descriptor widths in pixels
     * (strides stay bytes); the down-scales (7, 26), the Lanczos up-scale
     * (21) and the general scale (23) keep widths in bytes.
     *
     * @param src      Source descriptors (null where the feature takes none).
     * @param srcCount Number of source descriptors.
     * @param dst      Destination descriptors (null where the feature takes none).
     * @param dstCount Number of destination descriptors.
     * @param param    The request; must not be null.
     * @return The feature's status: ::MIRA_OK, ::MIRA_ERR_FAIL, or
     *         ::MIRA_ERR_ARG for a null record, an id that names no feature,
     *         or arguments the feature rejects (nothing written).
     */
    uint32_t run(const MIRA_Feature_Buf* src, uint8_t srcCount, MIRA_Feature_Buf* dst,
                 uint8_t dstCount, const MIRA_Feature_Param* param);

    /** @brief Does nothing (kept for interface compatibility). */
    void getRunParamFromProfileData();
};

/** @brief The argument list of every feature method: that of MIRA_Interface::run. */
#define MIRA_FEATURE_ARGS                                                              \
    const MIRA_Feature_Buf *src, uint8_t srcCount, MIRA_Feature_Buf *dst, uint8_t dstCount, \
        const MIRA_Feature_Param *param

/** @brief Declares a feature's public methods: `run` and the CPU and GPU methods. */
#define MIRA_FEATURE_METHODS(NAME)                                                            \
public:                                                                                       \
    uint32_t run(MIRA_FEATURE_ARGS) override;                                                 \
    /** @brief The CPU method: checks the arguments, then computes on the CPU. */            \
    /** @param src Source descriptors. @param srcCount Number of sources. */                 \
    /** @param dst Destination descriptors. @param dstCount Number of destinations. */       \
    /** @param param The request. @return ::MIRA_OK, ::MIRA_ERR_ARG or ::MIRA_ERR_FAIL. */    \
    uint32_t NAME##_neon(MIRA_FEATURE_ARGS);                                                  \
    /** @brief The GPU method: checks the arguments, then computes on the OpenCL device. */ \
    /** It runs the CPU method instead where the feature has no GPU kernel or no OpenCL */   \
    /** device is usable, and after a GPU failure (logged). */                                \
    /** @param src Source descriptors. @param srcCount Number of sources. */                 \
    /** @param dst Destination descriptors. @param dstCount Number of destinations. */       \
    /** @param param The request. @return ::MIRA_OK, ::MIRA_ERR_ARG or ::MIRA_ERR_FAIL. */    \
    uint32_t NAME##_opencl(MIRA_FEATURE_ARGS);

/** @brief Declares the feature class NAME with the methods of MIRA_FEATURE_METHODS. */
#define MIRA_DECLARE_FEATURE(NAME) \
    class MIRA_EXPORT NAME : public MIRA_Interface { MIRA_FEATURE_METHODS(NAME) };

/** @brief Feature 1 (ncvInit): brings the GPU side up. Mode 0 does nothing and
 *         returns 0; other modes return 0 when a device is ready, else 1. */
MIRA_DECLARE_FEATURE(MIRA_INIT)
/** @brief Feature 2 (ncvDeinit): releases the GPU side and the scaling
 *         pipelines' cached memory; mode 0 releases only the latter. */
MIRA_DECLARE_FEATURE(MIRA_DEINIT)
/** @brief Feature 3 (ncvMemAlloc): allocates a block into the destination's
 *         `data` (null and status 1 on failure). Mode 0: host memory aligned
 *         to 128 bytes, size rounded up to the alignment (free it with
 *         MIRA_MEM_FREE in mode 0); other modes: CPU/GPU-shared memory. */
MIRA_DECLARE_FEATURE(MIRA_MEM_ALLOC)
/** @brief Feature 4 (ncvMemFree): mode 0 frees host memory; other modes free
 *         a shared block (status 1, nothing freed, for any other pointer). */
MIRA_DECLARE_FEATURE(MIRA_MEM_FREE)
/** @brief Feature 5 (ncvIsNcvAllocBuffer): other modes return 0 when the
 *         source's `data` is a live shared block, else 1; mode 0 returns 0. */
MIRA_DECLARE_FEATURE(MIRA_MEM_CHECK)
/** @brief Feature 6 (ncvTransposeu8): transpose. */
MIRA_DECLARE_FEATURE(MIRA_TRANSPOSE_U8)
/** @brief Feature 7 (ncvScaleDownu8_v2): integer-factor block-mean down-scale. */
MIRA_DECLARE_FEATURE(MIRA_SCALE_DOWN_U8)
/** @brief Feature 8 (ncvColorYUV420toRGB8888u8): NV21 to RGBA8888. The CPU
 *         reads the VU plane at data + width × height, rows (width rounded down
 *         to even) bytes apart; the GPU at data + stride × bufHeight, rows
 *         stride bytes apart. */
MIRA_DECLARE_FEATURE(MIRA_NV21_TO_RGBA8888)
/** @brief Feature 9 (ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8). */
MIRA_DECLARE_FEATURE(MIRA_YUV444_TO_YUV420)
/** @brief Feature 10 (ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8). */
MIRA_DECLARE_FEATURE(MIRA_YUV420_TO_YUV444)
/** @brief Feature 11 (ncvColorCbCrSwapu8): swaps the bytes of each pair. */
MIRA_DECLARE_FEATURE(MIRA_CBCR_SWAP)
/** @brief Feature 12 (ncvInterleaveu8): interleaves two planes. */
MIRA_DECLARE_FEATURE(MIRA_INTERLEAVE_U8)
/** @brief Feature 13 (ncvRotateImageu8): rotation by `arg` (1, 2, 3). */
MIRA_DECLARE_FEATURE(MIRA_ROTATE_U8)
/** @brief Feature 14 (ncvRotateImageInterleavedu8): rotation of 2-byte pixels by `arg`. */
MIRA_DECLARE_FEATURE(MIRA_ROTATE_INTERLEAVE_U8)
/** @brief Feature 15 (ncvScaleDownMNInterleaveu8): CbCr box down-scale. */
MIRA_DECLARE_FEATURE(MIRA_SCALEDOWN_MNINTERLEAVE_U8)
/** @brief Feature 16 (ncvImageGradientPlanars16_v2): central differences. */
MIRA_DECLARE_FEATURE(MIRA_IMAGE_GRADIENT_U8)
/** @brief Feature 17 (ncvImageGradientSobelPlanars16_v3): Sobel gradients. */
MIRA_DECLARE_FEATURE(MIRA_IMAGE_GRADIENT_SOBEL_U8)
/** @brief Feature 19 (ncvFilterGaussian3x3u8): 3 × 3 Gaussian, border mode in `arg`. */
MIRA_DECLARE_FEATURE(MIRA_FILTER_GAUSSIAN3X3_U8)
/** @brief Feature 20 (ncvUpsample2DInterleavedu8): 2× bilinear CbCr up-sample. */
MIRA_DECLARE_FEATURE(MIRA_IMAGE_UP_SAMPLE_2D_CBCR)
/** @brief Feature 21 (ncvScaleUpPolyu8): Lanczos-3 up-scale; no GPU kernel. */
MIRA_DECLARE_FEATURE(MIRA_SCALE_UP_POLY_U8)
/** @brief Feature 22 (ncvScaleUpPolyInterleaveu8): CbCr Lanczos-3 up-scale; no GPU kernel. */
MIRA_DECLARE_FEATURE(MIRA_SCALE_UP_POLY_CBCR_U8)
/** @brief Feature 25 (ncvTransformAffineClippedu8_v2): clipped affine warp,
 *         interpolation in `arg`. Mode 0 takes the CPU, every other mode the GPU. */
MIRA_DECLARE_FEATURE(MIRA_TRANSFORM_AFFINE_CLIPPED_U8)
/** @brief Feature 26 (ncvScaleDownMNu8): box down-scale by any ratio. */
MIRA_DECLARE_FEATURE(MIRA_SCALEDOWN_MN_U8)
/** @brief Feature 27 (mira_yuv420_to_rgb): a 4:2:0 camera frame to RGB. */
MIRA_DECLARE_FEATURE(MIRA_YUV420_TO_RGB)
/** @brief Feature 28 (mira_rgb_to_yuv420): RGB to a 4:2:0 camera frame. */
MIRA_DECLARE_FEATURE(MIRA_RGB_TO_YUV420)
/** @brief Feature 29 (mira_yuv420_to_rgb_transform): a camera frame turned, scaled and converted. */
MIRA_DECLARE_FEATURE(MIRA_YUV420_TO_RGB_TRANSFORM)

/**
 * @brief Feature 23 (ncvScaleu8_v2): general scale (extra: ncvScaleParam);
 *        no GPU kernel. Mode 0 runs MIRA_SCALE_U8_neon, modes 1 and above
 *        MIRA_SCALE_U8_neon1; both compute the same result.
 */
class MIRA_EXPORT MIRA_SCALE_U8 : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_SCALE_U8)
    /**
     * @brief The second CPU method (the one ncvScaleu8_v2 uses): the
     *        pipelines straight on the caller's planes, where
     *        MIRA_SCALE_U8_neon first copies the source into a bordered frame.
     * @param src      One source plane.
     * @param srcCount 1.
     * @param dst      One destination plane.
     * @param dstCount 1.
     * @param param    The request; `extra` → ncvScaleParam.
     * @return ::MIRA_OK, or ::MIRA_ERR_ARG for bad arguments.
     */
    uint32_t MIRA_SCALE_U8_neon1(MIRA_FEATURE_ARGS);
};

/**
 * @brief Feature 18 (ncvImageIntensityStats): mean and sample variance; no
 *        GPU method (mode 1 runs the CPU method).
 *
 * Splits the image into four bands worked on by the caller and the worker
 * pool the library shares among all its parallel paths (the Halide runtime's
 * pool). mPool is kept for layout compatibility and stays null.
 */
class MIRA_EXPORT MIRA_IMAGE_INTENSITY_STATS : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_IMAGE_INTENSITY_STATS)
    /** @brief Makes the feature object (the shared workers start on first use). */
    MIRA_IMAGE_INTENSITY_STATS();
    /** @brief Destroys the feature object; the shared workers stay. */
    ~MIRA_IMAGE_INTENSITY_STATS() override;

private:
    [[maybe_unused]] void* mPool;  // kept for the object's layout; always null
};

/**
 * @brief Feature 24 (ncvFloodfillSimpleu8): scan-line flood fill (extra:
 *        ncvFloodfillParam); no GPU method (mode 1 runs the CPU method).
 *
 * Holds the fill state of one call.
 */
class MIRA_EXPORT MIRA_FLOODFILL_SIMPLE_U8 : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_FLOODFILL_SIMPLE_U8)
    /** @brief Makes a feature object with an empty fill state. */
    MIRA_FLOODFILL_SIMPLE_U8();
    /**
     * @brief The fill itself, from seed (@p x, @p y), on the descriptors and
     *        `extra` block of the call in progress; used by the CPU method.
     * @param x Seed column (nothing is filled outside the mask).
     * @param y Seed row.
     */
    void flood_fill_line(int x, int y);

private:
    const MIRA_Feature_Buf* mSrc = nullptr;
    MIRA_Feature_Buf* mDst = nullptr;
    void* mExtra = nullptr;
    uint32_t mCount = 0;
    uint32_t mSeedValue = 0;
    int32_t mMinX = 0x7FFFFFFF, mMaxX = INT32_MIN, mMinY = 0x7FFFFFFF, mMaxY = INT32_MIN;
    bool mFailed = false;  // the segment stack could not grow
};

#endif  // MIRA_FEATURES_H
