/* Direct CPU kernels: called without descriptors or the manager, no argument
 * checks. C++ only; decorated names in namespace mira. */
#ifndef MIRA_KERNELS_H
#define MIRA_KERNELS_H

#include <cstdint>
#include "mira_types.h"

namespace mira {

MIRA_EXPORT void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                uint8_t* dst, uint32_t dstS);

MIRA_EXPORT void ncvColorYUV420toRGB8888u8(const uint8_t* y, const uint8_t* uv, int w, int h,
                                           uint8_t* dst);
MIRA_EXPORT void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
    const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr, uint32_t w, uint32_t h,
    uint32_t sY, uint32_t sCb, uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dstSY,
    uint32_t dstSC);
MIRA_EXPORT void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
    const uint8_t* srcY, const uint8_t* srcC, uint32_t w, uint32_t h, uint32_t sY, uint32_t sC,
    uint8_t* dstY, uint8_t* dstCb, uint8_t* dstCr, uint32_t dstSY, uint32_t dstSCb,
    uint32_t dstSCr);
MIRA_EXPORT void Copy_Plane(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h);
MIRA_EXPORT void Copy_Plane_0(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h);
MIRA_EXPORT void ncvColorCbCrSwapu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                    uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void ncvInterleaveu8(const uint8_t* src0, const uint8_t* src1, uint32_t w,
                                 uint32_t h, uint32_t s0, uint32_t s1, uint8_t* dst,
                                 uint32_t dstS);

MIRA_EXPORT void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstS, int rotation);
MIRA_EXPORT void neon_Imageu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void neon_Imageu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                         uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void neon_Imageu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                         uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                             uint32_t s, uint8_t* dst, uint32_t dstS,
                                             int rotation);
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h,
                                                    uint32_t s, uint8_t* dst, uint32_t dstS);
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h,
                                                    uint32_t s, uint8_t* dst, uint32_t dstS);

MIRA_EXPORT void ncvImageGradientPlanars16(const uint8_t* src, uint32_t w, uint32_t h,
                                           uint32_t s, int16_t* dx, int16_t* dy, uint32_t dstS);
MIRA_EXPORT void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, int16_t* dx, int16_t* dy,
                                                   uint32_t dstS);
MIRA_EXPORT void ncvFilterGaussian3x3u8(const uint8_t* src, uint8_t* dst, uint32_t w,
                                        uint32_t h, int border);

}  // namespace mira

#endif  // MIRA_KERNELS_H
