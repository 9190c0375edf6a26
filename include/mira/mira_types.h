/* Records shared by every libmira operation: plane descriptors, the request
 * record, feature ids, processing modes and status codes. Usable from C. */
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

/* One image plane or memory block. */
typedef struct MIRA_Feature_Buf {
    uint32_t width;     /* bytes per processed row */
    uint32_t stride;    /* bytes from one row start to the next */
    uint32_t height;    /* processed rows */
    uint32_t bufHeight; /* rows in the block: size = stride * bufHeight */
    uint8_t* data;
} MIRA_Feature_Buf;

/* One operation request. 32 bytes, `extra` on an 8-byte boundary. */
typedef struct MIRA_Feature_Param {
    uint32_t apiId;
    uint32_t mode;
    uint32_t reserved;
    void* extra;
    int32_t arg;
} MIRA_Feature_Param;

/* In C++ the ids are a 32-bit enumeration, so any u32 held in one is a
 * valid value (an unknown id is refused, never undefined). */
#ifdef __cplusplus
#define MIRA_API_ID_BASE : uint32_t
#else
#define MIRA_API_ID_BASE
#endif
typedef enum MIRA_API_ID MIRA_API_ID_BASE {
    MIRA_API_INIT = 1,
    MIRA_API_DEINIT = 2,
    MIRA_API_MEM_ALLOC = 3,
    MIRA_API_MEM_FREE = 4,
    MIRA_API_MEM_CHECK = 5,
    MIRA_API_TRANSPOSE_U8 = 6,
    MIRA_API_SCALE_DOWN_U8 = 7,
    MIRA_API_NV21_TO_RGBA8888 = 8,
    MIRA_API_YUV444_TO_YUV420 = 9,
    MIRA_API_YUV420_TO_YUV444 = 10,
    MIRA_API_CBCR_SWAP = 11,
    MIRA_API_INTERLEAVE_U8 = 12,
    MIRA_API_ROTATE_U8 = 13,
    MIRA_API_ROTATE_INTERLEAVE_U8 = 14,
    MIRA_API_SCALEDOWN_MNINTERLEAVE_U8 = 15,
    MIRA_API_IMAGE_GRADIENT_U8 = 16,
    MIRA_API_IMAGE_GRADIENT_SOBEL_U8 = 17,
    MIRA_API_IMAGE_INTENSITY_STATS = 18,
    MIRA_API_FILTER_GAUSSIAN3X3_U8 = 19,
    MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR = 20,
    MIRA_API_SCALE_UP_POLY_U8 = 21,
    MIRA_API_SCALE_UP_POLY_CBCR_U8 = 22,
    MIRA_API_SCALE_U8 = 23,
    MIRA_API_FLOODFILL_SIMPLE_U8 = 24,
    MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8 = 25,
    MIRA_API_SCALEDOWN_MN_U8 = 26
} MIRA_API_ID;

enum {
    MIRA_MODE_CPU = 0,
    MIRA_MODE_OPENCL = 1,
    MIRA_MODE_CPU_ALT = 2
};

enum {
    MIRA_OK = 0,
    MIRA_ERR_FAIL = 1,
    MIRA_ERR_ARG = 2
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
