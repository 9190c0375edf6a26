/* The feature manager and the feature classes, for callers that choose the
 * processing mode themselves:
 *
 *   MIRA_Feature_Param p = {MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
 *   MIRA_Manager().run(&src, 1, &dst, 1, &p);
 */
#ifndef MIRA_FEATURES_H
#define MIRA_FEATURES_H

#include <cstdint>
#include "mira_types.h"

class MIRA_EXPORT MIRA_Interface {
public:
    virtual ~MIRA_Interface() = default;
    virtual uint32_t run(const MIRA_Feature_Buf* src, uint8_t srcCount, MIRA_Feature_Buf* dst,
                         uint8_t dstCount, const MIRA_Feature_Param* param) = 0;
};

class MIRA_EXPORT MIRA_Manager {
public:
    /* A new feature object for ids 1..26 (caller deletes it), else null. */
    MIRA_Interface* getFeatureObjByID(MIRA_API_ID id);
    /* Runs the feature named by param->apiId once. MIRA_ERR_ARG for a null
     * record or an id that names no feature. */
    uint32_t run(const MIRA_Feature_Buf* src, uint8_t srcCount, MIRA_Feature_Buf* dst,
                 uint8_t dstCount, const MIRA_Feature_Param* param);
    void getRunParamFromProfileData();
};

#define MIRA_FEATURE_ARGS                                                              \
    const MIRA_Feature_Buf *src, uint8_t srcCount, MIRA_Feature_Buf *dst, uint8_t dstCount, \
        const MIRA_Feature_Param *param

#define MIRA_FEATURE_METHODS(NAME)                     \
public:                                                \
    uint32_t run(MIRA_FEATURE_ARGS) override;          \
    uint32_t NAME##_neon(MIRA_FEATURE_ARGS);           \
    uint32_t NAME##_opencl(MIRA_FEATURE_ARGS);

#define MIRA_DECLARE_FEATURE(NAME) \
    class MIRA_EXPORT NAME : public MIRA_Interface { MIRA_FEATURE_METHODS(NAME) };

MIRA_DECLARE_FEATURE(MIRA_INIT)
MIRA_DECLARE_FEATURE(MIRA_DEINIT)
MIRA_DECLARE_FEATURE(MIRA_MEM_ALLOC)
MIRA_DECLARE_FEATURE(MIRA_MEM_FREE)
MIRA_DECLARE_FEATURE(MIRA_MEM_CHECK)
MIRA_DECLARE_FEATURE(MIRA_TRANSPOSE_U8)
MIRA_DECLARE_FEATURE(MIRA_SCALE_DOWN_U8)
MIRA_DECLARE_FEATURE(MIRA_NV21_TO_RGBA8888)
MIRA_DECLARE_FEATURE(MIRA_YUV444_TO_YUV420)
MIRA_DECLARE_FEATURE(MIRA_YUV420_TO_YUV444)
MIRA_DECLARE_FEATURE(MIRA_CBCR_SWAP)
MIRA_DECLARE_FEATURE(MIRA_INTERLEAVE_U8)
MIRA_DECLARE_FEATURE(MIRA_ROTATE_U8)
MIRA_DECLARE_FEATURE(MIRA_ROTATE_INTERLEAVE_U8)
MIRA_DECLARE_FEATURE(MIRA_SCALEDOWN_MNINTERLEAVE_U8)
MIRA_DECLARE_FEATURE(MIRA_IMAGE_GRADIENT_U8)
MIRA_DECLARE_FEATURE(MIRA_IMAGE_GRADIENT_SOBEL_U8)
MIRA_DECLARE_FEATURE(MIRA_FILTER_GAUSSIAN3X3_U8)
MIRA_DECLARE_FEATURE(MIRA_IMAGE_UP_SAMPLE_2D_CBCR)
MIRA_DECLARE_FEATURE(MIRA_SCALE_UP_POLY_U8)
MIRA_DECLARE_FEATURE(MIRA_SCALE_UP_POLY_CBCR_U8)
MIRA_DECLARE_FEATURE(MIRA_TRANSFORM_AFFINE_CLIPPED_U8)
MIRA_DECLARE_FEATURE(MIRA_SCALEDOWN_MN_U8)

class MIRA_EXPORT MIRA_SCALE_U8 : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_SCALE_U8)
    uint32_t MIRA_SCALE_U8_neon1(MIRA_FEATURE_ARGS);
};

/* Splits the image into four bands worked on by the caller and a worker pool
 * shared by all calls (mPool refers to it; not owned). */
class MIRA_EXPORT MIRA_IMAGE_INTENSITY_STATS : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_IMAGE_INTENSITY_STATS)
    MIRA_IMAGE_INTENSITY_STATS();
    ~MIRA_IMAGE_INTENSITY_STATS() override;

private:
    void* mPool;
};

/* Holds the fill state of one call. */
class MIRA_EXPORT MIRA_FLOODFILL_SIMPLE_U8 : public MIRA_Interface {
    MIRA_FEATURE_METHODS(MIRA_FLOODFILL_SIMPLE_U8)
    MIRA_FLOODFILL_SIMPLE_U8();
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
