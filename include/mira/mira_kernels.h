/**
 * @file mira_kernels.h
 * @brief Direct CPU kernels: the NEON code of several operations, called on
 *        raw planes without descriptors or the feature manager. C++ only.
 *
 * The kernels do not check their arguments (Copy_Plane excepted): pointers
 * must be valid, strides at least the row's byte length, and the planes
 * large enough. They always run on the
 * CPU (the calling thread). Strides are in bytes. Their names are those of
 * the plain C functions (mira.h), decorated and in namespace mira, since a
 * C++ function with a C function's parameters cannot share its scope.
 */
#ifndef MIRA_KERNELS_H
#define MIRA_KERNELS_H

#include <cstdint>
#include "mira_types.h"

/** @brief libmira's C++ entry points: the direct CPU kernels. */
namespace mira {

/**
 * @brief Transposes an 8-bit plane: dst(x, y) = src(y, x); the destination is
 *        @p h × @p w pixels. As ::ncvTransposeu8.
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p h × @p w pixels.
 * @param dstS Destination stride in bytes (at least @p h).
 */
MIRA_EXPORT void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                uint8_t* dst, uint32_t dstS);

/**
 * @brief Converts NV21 to RGBA8888 with the luma and chroma planes passed
 *        apart; the arithmetic of ::ncvColorYUV420toRGB8888u8.
 *
 * An odd last column and an odd last row are not converted; @p w or @p h
 * below 2 writes nothing.
 *
 * @param y   Luma plane, @p w × @p h bytes, rows @p w bytes apart.
 * @param uv  Chroma plane: @p h / 2 rows of (@p w rounded down to even) bytes,
 *            pairs V then U.
 * @param w   Width in pixels.
 * @param h   Height in rows.
 * @param dst Destination, @p w × @p h pixels of 4 bytes (R, G, B, A = 255),
 *            rows 4 × @p w bytes apart.
 */
MIRA_EXPORT void ncvColorYUV420toRGB8888u8(const uint8_t* y, const uint8_t* uv, int w, int h,
                                           uint8_t* dst);

/**
 * @brief YCbCr 4:4:4 planar to 4:2:0 pseudo-planar; as
 *        ::ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8, strides used as given.
 * @param srcY  Source luma, @p w × @p h.
 * @param srcCb Source Cb, @p w × @p h.
 * @param srcCr Source Cr, @p w × @p h.
 * @param w     Width in pixels.
 * @param h     Height in rows.
 * @param sY    Stride of srcY in bytes.
 * @param sCb   Stride of srcCb in bytes.
 * @param sCr   Stride of srcCr in bytes.
 * @param dstY  Destination luma, @p w × @p h.
 * @param dstC  Destination chroma, @p h / 2 rows of @p w bytes (Cb, Cr, ...).
 * @param dstSY Stride of dstY in bytes.
 * @param dstSC Stride of dstC in bytes.
 */
MIRA_EXPORT void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
    const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr, uint32_t w, uint32_t h,
    uint32_t sY, uint32_t sCb, uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dstSY,
    uint32_t dstSC);

/**
 * @brief YCbCr 4:2:0 pseudo-planar to 4:4:4 planar; as
 *        ::ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8, strides used as given.
 * @param srcY   Source luma, @p w × @p h.
 * @param srcC   Source chroma, @p h / 2 rows of @p w bytes (Cb, Cr, ...).
 * @param w      Width in pixels.
 * @param h      Height in rows.
 * @param sY     Stride of srcY in bytes.
 * @param sC     Stride of srcC in bytes.
 * @param dstY   Destination luma, @p w × @p h.
 * @param dstCb  Destination Cb, @p w × @p h.
 * @param dstCr  Destination Cr, @p w × @p h.
 * @param dstSY  Stride of dstY in bytes.
 * @param dstSCb Stride of dstCb in bytes.
 * @param dstSCr Stride of dstCr in bytes.
 */
MIRA_EXPORT void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
    const uint8_t* srcY, const uint8_t* srcC, uint32_t w, uint32_t h, uint32_t sY, uint32_t sC,
    uint8_t* dstY, uint8_t* dstCb, uint8_t* dstCr, uint32_t dstSY, uint32_t dstSCb,
    uint32_t dstSCr);

/**
 * @brief Copies @p h rows of @p w bytes from one plane to another.
 *
 * A negative @p h copies |@p h| rows into the destination bottom-up (source
 * row 0 to the destination's last row). Nothing is copied for a null pointer,
 * @p w ≤ 0, @p h = 0, or the same plane as source and destination.
 *
 * @param src  Source plane.
 * @param s    Source stride in bytes.
 * @param dst  Destination plane.
 * @param dstS Destination stride in bytes.
 * @param w    Row length in bytes.
 * @param h    Row count; negative to flip vertically.
 */
MIRA_EXPORT void Copy_Plane(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h);

/**
 * @brief The same copy as Copy_Plane.
 * @param src  Source plane.
 * @param s    Source stride in bytes.
 * @param dst  Destination plane.
 * @param dstS Destination stride in bytes.
 * @param w    Row length in bytes.
 * @param h    Row count; negative to flip vertically.
 */
MIRA_EXPORT void Copy_Plane_0(const uint8_t* src, int s, uint8_t* dst, int dstS, int w, int h);

/**
 * @brief Swaps the two bytes of every pair; as ::ncvColorCbCrSwapu8 (in place
 *        allowed), strides used as given.
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Width in pairs.
 * @param h    Height in rows.
 * @param s    Source stride in bytes (at least 2 × @p w).
 * @param dst  Destination plane, @p w × @p h pairs.
 * @param dstS Destination stride in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvColorCbCrSwapu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                    uint8_t* dst, uint32_t dstS);

/**
 * @brief Interleaves two planes into pairs; as ::ncvInterleaveu8, strides used
 *        as given.
 * @param src0 First plane, @p w × @p h.
 * @param src1 Second plane, @p w × @p h.
 * @param w    Width of each source in pixels.
 * @param h    Height in rows.
 * @param s0   Stride of src0 in bytes.
 * @param s1   Stride of src1 in bytes.
 * @param dst  Destination, 2 × @p w bytes × @p h rows.
 * @param dstS Destination stride in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvInterleaveu8(const uint8_t* src0, const uint8_t* src1, uint32_t w,
                                 uint32_t h, uint32_t s0, uint32_t s1, uint8_t* dst,
                                 uint32_t dstS);

/**
 * @brief Rotates an 8-bit plane by rotation code 1 (90° clockwise), 2 (180°)
 *        or 3 (270° clockwise); any other code writes nothing. As
 *        ::ncvRotateImageu8.
 * @param src      Source plane, @p w × @p h pixels.
 * @param w        Source width in pixels.
 * @param h        Source height in rows.
 * @param s        Source stride in bytes.
 * @param dst      Destination: @p h × @p w pixels for codes 1 and 3, @p w × @p h for 2.
 * @param dstS     Destination stride in bytes.
 * @param rotation Rotation code.
 */
MIRA_EXPORT void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstS, int rotation);

/**
 * @brief Rotates an 8-bit plane 90° clockwise: dst(x', y') = src(y', h − 1 − x');
 *        the destination is @p h × @p w.
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p h × @p w pixels.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_Imageu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                        uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates an 8-bit plane by 180°: dst(x', y') = src(w − 1 − x', h − 1 − y').
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Width in pixels.
 * @param h    Height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p w × @p h pixels.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_Imageu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                         uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates an 8-bit plane 270° clockwise (90° counter-clockwise):
 *        dst(x', y') = src(w − 1 − y', x'); the destination is @p h × @p w.
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p h × @p w pixels.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_Imageu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                         uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates a plane of 2-byte pixels by rotation code 1, 2 or 3 (as
 *        ncvRotateImageu8); any other code writes nothing. As
 *        ::ncvRotateImageInterleavedu8.
 * @param src      Source plane, @p w × @p h pairs.
 * @param w        Source width in pairs.
 * @param h        Source height in rows.
 * @param s        Source stride in bytes (at least 2 × @p w).
 * @param dst      Destination: @p h × @p w pairs for codes 1 and 3, @p w × @p h for 2.
 * @param dstS     Destination stride in bytes.
 * @param rotation Rotation code.
 */
MIRA_EXPORT void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                             uint32_t s, uint8_t* dst, uint32_t dstS,
                                             int rotation);

/**
 * @brief Rotates a plane of 2-byte pixels 90° clockwise (see neon_Imageu8_rotate_90).
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Source width in pairs.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p h × @p w pairs.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_90(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates a plane of 2-byte pixels by 180° (see neon_Imageu8_rotate_180).
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Width in pairs.
 * @param h    Height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p w × @p h pairs.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_180(const uint8_t* src, uint32_t w, uint32_t h,
                                                    uint32_t s, uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates a plane of 2-byte pixels 270° clockwise (see
 *        neon_Imageu8_rotate_270).
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Source width in pairs.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes.
 * @param dst  Destination, @p h × @p w pairs.
 * @param dstS Destination stride in bytes.
 */
MIRA_EXPORT void neon_ImageInterleavedu8_rotate_270(const uint8_t* src, uint32_t w, uint32_t h,
                                                    uint32_t s, uint8_t* dst, uint32_t dstS);

/**
 * @brief Central differences with a zero frame; as
 *        ::ncvImageGradientPlanars16_v2.
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Width in pixels.
 * @param h    Height in rows.
 * @param s    Source stride in bytes.
 * @param dx   Horizontal differences, @p w × @p h int16 values.
 * @param dy   Vertical differences, @p w × @p h int16 values.
 * @param dstS Stride of @p dx and of @p dy in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvImageGradientPlanars16(const uint8_t* src, uint32_t w, uint32_t h,
                                           uint32_t s, int16_t* dx, int16_t* dy, uint32_t dstS);

/**
 * @brief 3 × 3 Sobel gradients with a zero frame; as
 *        ::ncvImageGradientSobelPlanars16_v3.
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Width in pixels.
 * @param h    Height in rows.
 * @param s    Source stride in bytes.
 * @param dx   Horizontal gradient, @p w × @p h int16 values.
 * @param dy   Vertical gradient, @p w × @p h int16 values.
 * @param dstS Stride of @p dx and of @p dy in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, int16_t* dx, int16_t* dy,
                                                   uint32_t dstS);

/**
 * @brief 3 × 3 Gaussian blur of a dense plane with border mode 0, 1 or other;
 *        as ::ncvFilterGaussian3x3u8, whose C form takes (src, w, h, dst, border).
 * @param src    Source plane, @p w × @p h bytes, rows @p w bytes apart.
 * @param dst    Destination plane, @p w × @p h bytes, rows @p w bytes apart.
 * @param w      Width in pixels.
 * @param h      Height in rows.
 * @param border Border mode: 0 zero frame, 1 renormalised kernel (see
 *               ::ncvFilterGaussian3x3u8).
 */
MIRA_EXPORT void ncvFilterGaussian3x3u8(const uint8_t* src, uint8_t* dst, uint32_t w,
                                        uint32_t h, int border);

}  // namespace mira

#endif  // MIRA_KERNELS_H
