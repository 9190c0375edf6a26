/* libmira: fast 8-bit image operations. The plain C entry points.
 *
 * Every image function returns at once when one of its image pointers is
 * null; other failures are not reported (the destination is left as it was).
 * Strides are in bytes. */
#ifndef MIRA_H
#define MIRA_H

#include "mira_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Flood-fill parameters and result (the `extra` block of feature 24). */
typedef struct ncvFloodfillResult {
    uint32_t count;      /* pixels in the region */
    uint32_t seedValue;  /* source value at the seed */
    uint32_t x, y;       /* top-left of the bounding box */
    uint32_t width, height;
} ncvFloodfillResult;

typedef struct ncvFloodfillParam {
    uint32_t x, y;        /* seed */
    uint32_t fillValue;   /* low 8 bits written into the mask */
    uint32_t connectivity;/* 8: 8-connected, else 4-connected */
    ncvFloodfillResult* result;
} ncvFloodfillParam;

/* The `extra` block of the general scale (feature 23). */
typedef struct ncvScaleParam {
    uint32_t p1, p2, p3;
} ncvScaleParam;

/* The `extra` block of a managed allocation (feature 3). */
typedef struct ncvMemRequest {
    uint32_t size;
    uint32_t alignment;
} ncvMemRequest;

/* Lifecycle and GPU-shareable memory. */
MIRA_EXPORT int ncvInit(void);
MIRA_EXPORT void ncvDeinit(void);
MIRA_EXPORT void* ncvMemAlloc(uint32_t size, uint32_t alignment);
MIRA_EXPORT void ncvMemFree(void* ptr);
MIRA_EXPORT int ncvIsNcvAllocBuffer(void* ptr);

/* Geometry. */
MIRA_EXPORT void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstS, int rotation);
MIRA_EXPORT void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                             uint32_t s, uint8_t* dst, uint32_t dstS,
                                             int rotation);

/* Colour. */
MIRA_EXPORT void ncvColorYUV420toRGB8888u8(const uint8_t* src, int w, int h, uint8_t* dst);
MIRA_EXPORT void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
    const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr, uint32_t w, uint32_t h,
    uint32_t sY, uint32_t sCb, uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dstSY,
    uint32_t dstSC);
MIRA_EXPORT void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
    const uint8_t* srcY, const uint8_t* srcC, uint32_t w, uint32_t h, uint32_t sY, uint32_t sC,
    uint8_t* dstY, uint8_t* dstCb, uint8_t* dstCr, uint32_t dstSY, uint32_t dstSCb,
    uint32_t dstSCr);
MIRA_EXPORT void ncvColorCbCrSwapu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                    uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void ncvInterleaveu8(const uint8_t* src0, const uint8_t* src1, uint32_t w,
                                 uint32_t h, uint32_t s0, uint32_t s1, uint8_t* dst,
                                 uint32_t dstS);

/* Filters and statistics. */
MIRA_EXPORT void ncvImageGradientPlanars16_v2(const uint8_t* src, uint32_t w, uint32_t h,
                                              uint32_t s, int16_t* dx, int16_t* dy,
                                              uint32_t dstS);
MIRA_EXPORT void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, int16_t* dx, int16_t* dy,
                                                   uint32_t dstS);
MIRA_EXPORT void ncvFilterGaussian3x3u8(const uint8_t* src, uint32_t w, uint32_t h,
                                        uint8_t* dst, int border);
MIRA_EXPORT void ncvImageIntensityStats(const uint8_t* src, int s, int x0, int y0, uint32_t rw,
                                        uint32_t rh, float* mean, float* variance);
MIRA_EXPORT void ncvFloodfillSimpleu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                      uint8_t* dst, uint32_t dstS, uint32_t x, uint32_t y,
                                      uint8_t fillValue, ncvFloodfillResult* result,
                                      uint8_t connectivity);

/* Scaling and warping. */
MIRA_EXPORT void ncvScaleDownu8_v2(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                   uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);
MIRA_EXPORT void ncvScaleDownMNu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);
MIRA_EXPORT void ncvScaleDownMNInterleaveu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstW,
                                            uint32_t dstH, uint32_t dstS);
MIRA_EXPORT void ncvScaleu8_v2(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                               uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS,
                               uint32_t p1, uint32_t p2, uint8_t p3);
MIRA_EXPORT void ncvScaleUpPolyu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);
MIRA_EXPORT void ncvScaleUpPolyInterleaveu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstW,
                                            uint32_t dstH, uint32_t dstS);
MIRA_EXPORT void ncvUpsample2DInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void ncvTransformAffineClippedu8_v2(const uint8_t* src, uint32_t w, uint32_t h,
                                                uint32_t s, const float* matrix, uint8_t* dst,
                                                uint32_t dstW, uint32_t dstH, uint32_t dstS,
                                                uint32_t* border, uint32_t interpolation);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* MIRA_H */
