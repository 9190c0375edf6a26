/**
 * @file mira.h
 * @brief libmira's plain C interface: 26 functions on 8-bit image planes.
 *
 * Usable from C and C++. Every function packs its arguments into records
 * (mira_types.h) and runs one feature through MIRA_Manager::run.
 *
 * **Units.** Pointers address the first byte of a plane. Widths count pixels
 * of one byte (planar images), pairs of bytes (interleaved CbCr planes, where
 * a function says so) or bytes, as each parameter says; heights count rows;
 * strides are always in bytes. Where a function takes a stride, a stride
 * smaller than the row's byte length is taken as that length
 * (ncvImageIntensityStats excepted). A plane of
 * `h` rows must hold (`h` − 1) × stride + row bytes; the functions read and
 * write only the rows' bytes (stride padding is left as it was).
 *
 * **Bad arguments.** Every image function returns at once, writing nothing,
 * when one of its pointers is null. The functions return no status: a size
 * they reject leaves the destination as it was (each function says which
 * sizes), and a width or height of 0 writes no pixel.
 *
 * **Paths.** Each function takes a fixed path, named under "Path" below:
 * the CPU (NEON) or the GPU (OpenCL). A function on the GPU path runs its CPU
 * method when no OpenCL device is usable; a GPU failure is logged and the
 * CPU method computes the result. To take another path, call
 * MIRA_Manager::run (mira_features.h) with your own MIRA_Feature_Param:
 * `mode` 0 for the CPU, 1 for the GPU, `apiId` from ::MIRA_API_ID, and the
 * descriptors as the function would build them (MIRA_Manager::run lists
 * them per feature).
 */
#ifndef MIRA_H
#define MIRA_H

#include "mira_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/** @brief Result of a flood fill (written by ncvFloodfillSimpleu8). */
typedef struct ncvFloodfillResult {
    uint32_t count;      /**< Pixels in the filled region (0 when the seed lies outside). */
    uint32_t seedValue;  /**< Source value at the seed. */
    uint32_t x;          /**< Left column of the region's bounding box. */
    uint32_t y;          /**< Top row of the region's bounding box. */
    uint32_t width;      /**< Bounding-box width in pixels (right − left + 1). */
    uint32_t height;     /**< Bounding-box height in rows (bottom − top + 1). */
} ncvFloodfillResult;

/** @brief Flood-fill request: the `extra` block of ::MIRA_API_FLOODFILL_SIMPLE_U8. */
typedef struct ncvFloodfillParam {
    uint32_t x;                  /**< Seed column. */
    uint32_t y;                  /**< Seed row. */
    uint32_t fillValue;          /**< Mask value of filled pixels (low 8 bits used). */
    uint32_t connectivity;       /**< 8: 8-connected; any other value: 4-connected. */
    ncvFloodfillResult* result;  /**< Receives the result; must not be null. */
} ncvFloodfillParam;

/** @brief General-scale request: the `extra` block of ::MIRA_API_SCALE_U8
 *         (the last three arguments of ncvScaleu8_v2). */
typedef struct ncvScaleParam {
    uint32_t p1;  /**< Interpolation: 0 none, 1 bilinear, 2 box. */
    uint32_t p2;  /**< Border type: 1 constant (p3); other values (0, 2) replicate the edge. */
    uint32_t p3;  /**< Border value for border type 1 (low 8 bits used). */
} ncvScaleParam;

/** @brief Allocation request: the `extra` block of ::MIRA_API_MEM_ALLOC. */
typedef struct ncvMemRequest {
    uint32_t size;       /**< Bytes to allocate. */
    uint32_t alignment;  /**< Alignment in bytes (0 or a power of two). */
} ncvMemRequest;

/* ------------------------------------------------------------ lifecycle */

/**
 * @brief Brings up the GPU side: loads OpenCL, chooses the device and
 *        creates its context and queue.
 *
 * Optional: the first GPU request brings the device up itself, but only
 * ncvInit retries after a failed bring-up. May be called again at any time.
 * It also lifts the switch-off of a device that reported itself lost or
 * exhausted, or failed three launches in a row (after which GPU requests run
 * their CPU methods); after a real device loss call ncvDeinit first, so that
 * a new context is created.
 *
 * @return 0 when an OpenCL device is ready; 1 when none came up (no OpenCL
 *         library, platform or usable device). The CPU paths work either way,
 *         and GPU requests then run their CPU methods.
 */
MIRA_EXPORT int ncvInit(void);

/**
 * @brief Releases the GPU side: built kernels, staging memory, the device's
 *        context and queue, and every block from ncvMemAlloc (invalid from
 *        then on), and returns the scaling pipelines' cached working memory.
 *
 * A later GPU request or ncvInit brings the device up again.
 */
MIRA_EXPORT void ncvDeinit(void);

/**
 * @brief Allocates memory shared by the CPU and the GPU (OpenCL shared virtual
 *        memory), which GPU requests hand to their kernels without copying.
 *
 * Brings the device up if needed. Free the block with ncvMemFree before
 * ncvDeinit. A block larger than the device allocates at once
 * (CL_DEVICE_MAX_MEM_ALLOC_SIZE) is host memory, registered like the others:
 * GPU requests copy the images in it that fit the device, and run the CPU
 * method for larger ones.
 *
 * @param size      Bytes, 1 to 2^31 − 1.
 * @param alignment Alignment in bytes: 0 (the device's default) or a power of
 *                  two.
 * @return The block, or null when size is 0 or too large, no OpenCL device is
 *         usable, or the device cannot allocate it.
 */
MIRA_EXPORT void* ncvMemAlloc(uint32_t size, uint32_t alignment);

/**
 * @brief Frees a block from ncvMemAlloc.
 * @param ptr The block. Null, or a pointer that is not a live block from
 *            ncvMemAlloc, is ignored.
 */
MIRA_EXPORT void ncvMemFree(void* ptr);

/**
 * @brief Tells whether a pointer is a live block from ncvMemAlloc.
 * @param ptr The pointer (null gives 0).
 * @return 1 for a block from ncvMemAlloc not yet freed, else 0.
 */
MIRA_EXPORT int ncvIsNcvAllocBuffer(void* ptr);

/* ------------------------------------------------------------ geometry */

/**
 * @brief Transposes an 8-bit plane: dst(x, y) = src(y, x).
 *
 * The destination is @p h pixels wide and @p w rows high.
 *
 * Path: CPU (::MIRA_API_TRANSPOSE_U8, mode 0); the GPU gives the same result.
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels (= destination height).
 * @param h    Source height in rows (= destination width).
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p h × @p w pixels.
 * @param dstS Destination stride in bytes (at least @p h).
 */
MIRA_EXPORT void ncvTransposeu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                uint8_t* dst, uint32_t dstS);

/**
 * @brief Rotates an 8-bit plane by a multiple of 90 degrees.
 *
 * With y growing downwards, for destination pixel (x', y'):
 * - code 1, 90° clockwise: dst(x', y') = src(y', h − 1 − x'); destination @p h × @p w;
 * - code 2, 180°: dst(x', y') = src(w − 1 − x', h − 1 − y'); destination @p w × @p h;
 * - code 3, 270° clockwise (90° counter-clockwise): dst(x', y') = src(w − 1 − y', x');
 *   destination @p h × @p w.
 *
 * Any other code writes nothing.
 *
 * Path: CPU (::MIRA_API_ROTATE_U8, mode 0); the GPU gives the same result.
 *
 * @param src      Source plane, @p w × @p h pixels.
 * @param w        Source width in pixels.
 * @param h        Source height in rows.
 * @param s        Source stride in bytes (at least @p w).
 * @param dst      Destination plane (size above).
 * @param dstS     Destination stride in bytes (at least the destination width).
 * @param rotation Rotation code 1, 2 or 3.
 */
MIRA_EXPORT void ncvRotateImageu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstS, int rotation);

/**
 * @brief Rotates a plane of 2-byte pixels (an interleaved CbCr plane) by a
 *        multiple of 90 degrees; both bytes of a pixel move together, in order.
 *
 * Rotation codes, mapping and destination size as ncvRotateImageu8, in
 * pixels of 2 bytes. Any other code writes nothing.
 *
 * Path: CPU (::MIRA_API_ROTATE_INTERLEAVE_U8, mode 0); the GPU gives the same
 * result.
 *
 * @param src      Source plane, @p w × @p h pairs.
 * @param w        Source width in pairs (2 × @p w bytes per row).
 * @param h        Source height in rows.
 * @param s        Source stride in bytes (at least 2 × @p w).
 * @param dst      Destination plane: @p h × @p w pairs for codes 1 and 3,
 *                 @p w × @p h for code 2.
 * @param dstS     Destination stride in bytes (at least 2 × the destination
 *                 width in pairs).
 * @param rotation Rotation code 1 (90° clockwise), 2 (180°) or 3 (270° clockwise).
 */
MIRA_EXPORT void ncvRotateImageInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                             uint32_t s, uint8_t* dst, uint32_t dstS,
                                             int rotation);

/* ------------------------------------------------------------ colour */

/**
 * @brief Converts an NV21 image (YCrCb 4:2:0 semi-planar) to RGBA8888.
 *
 * Per pixel, with the chroma pair of its 2 × 2 block (fixed point, 6
 * fraction bits): Y' = max(Y − 16, 0), U' = U − 128, V' = V − 128;
 * R = (74·Y' + 102·V') >> 6, G = (74·Y' − 25·U' − 52·V') >> 6,
 * B = (74·Y' + 128·U') >> 6 (arithmetic shifts), each clamped to 0..255;
 * A = 255. An odd last column and an odd last row are not converted (left as
 * they were); @p w or @p h below 2 writes nothing.
 *
 * Path: CPU (::MIRA_API_NV21_TO_RGBA8888, mode 0). The GPU method (mode 1)
 * is another formula: single precision with the coefficients 1.164, 1.596,
 * 0.813, 0.391 and 2.018, truncated. Over all 16.7 million Y, U, V triples
 * the two differ by at most 2 in R and G and 3 in B (Y = 235, U = V = 128
 * gives 253 on the CPU, 254 on the GPU). A mode-1 request gives the GPU
 * formula's bytes on every machine: without a usable device, or when a GPU
 * step fails, a CPU twin of the kernel computes them.
 *
 * @param src Luma plane, @p w × @p h bytes with rows @p w bytes apart,
 *            followed at src + @p w × @p h by the chroma plane: @p h / 2 rows
 *            of (@p w rounded down to even) bytes, pairs V then U.
 * @param w   Width in pixels, at least 2.
 * @param h   Height in rows, at least 2.
 * @param dst Destination, @p w × @p h pixels of 4 bytes (R, G, B, A), rows
 *            4 × @p w bytes apart.
 */
MIRA_EXPORT void ncvColorYUV420toRGB8888u8(const uint8_t* src, int w, int h, uint8_t* dst);

/**
 * @brief Converts YCbCr 4:4:4 planar (three full planes) to 4:2:0
 *        pseudo-planar (a luma plane and one plane of CbCr pairs).
 *
 * Luma is copied. Chroma row r (0 ≤ r < @p h / 2) is built from source row
 * 2r alone: pair k is (Cb(2k, 2r), Cr(2k, 2r)), the top-left sample of each
 * 2 × 2 block (no averaging). With an odd @p h the last source row is not
 * used; with an odd @p w each chroma row ends with the lone Cb of the last
 * column.
 *
 * Path: CPU (::MIRA_API_YUV444_TO_YUV420, mode 0); the GPU gives the same
 * result.
 *
 * @param srcY  Source luma, @p w × @p h.
 * @param srcCb Source Cb, @p w × @p h.
 * @param srcCr Source Cr, @p w × @p h.
 * @param w     Width in pixels.
 * @param h     Height in rows.
 * @param sY    Stride of srcY in bytes (at least @p w).
 * @param sCb   Stride of srcCb in bytes (at least @p w).
 * @param sCr   Stride of srcCr in bytes (at least @p w).
 * @param dstY  Destination luma, @p w × @p h.
 * @param dstC  Destination chroma: @p h / 2 rows (rounded down) of @p w bytes
 *              (Cb, Cr, Cb, Cr, ...).
 * @param dstSY Stride of dstY in bytes (at least @p w).
 * @param dstSC Stride of dstC in bytes (at least @p w).
 */
MIRA_EXPORT void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(
    const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr, uint32_t w, uint32_t h,
    uint32_t sY, uint32_t sCb, uint32_t sCr, uint8_t* dstY, uint8_t* dstC, uint32_t dstSY,
    uint32_t dstSC);

/**
 * @brief Converts YCbCr 4:2:0 pseudo-planar (a luma plane and one plane of
 *        CbCr pairs) to 4:4:4 planar (three full planes).
 *
 * Luma is copied. Chroma pair k of row r is replicated to the 2 × 2 block at
 * columns 2k, 2k + 1 and rows 2r, 2r + 1 of the Cb and Cr planes (nearest
 * neighbour, no interpolation). With an odd @p h the last Cb and Cr rows are
 * not written; with an odd @p w the last Cr column is not written (it has no
 * Cr sample).
 *
 * Path: CPU (::MIRA_API_YUV420_TO_YUV444, mode 0); the GPU gives the same
 * result.
 *
 * @param srcY   Source luma, @p w × @p h.
 * @param srcC   Source chroma: @p h / 2 rows (rounded down) of @p w bytes
 *               (Cb, Cr, Cb, Cr, ...).
 * @param w      Width in pixels.
 * @param h      Height in rows.
 * @param sY     Stride of srcY in bytes (at least @p w).
 * @param sC     Stride of srcC in bytes (at least @p w).
 * @param dstY   Destination luma, @p w × @p h.
 * @param dstCb  Destination Cb, @p w × @p h.
 * @param dstCr  Destination Cr, @p w × @p h.
 * @param dstSY  Stride of dstY in bytes (at least @p w).
 * @param dstSCb Stride of dstCb in bytes (at least @p w).
 * @param dstSCr Stride of dstCr in bytes (at least @p w).
 */
MIRA_EXPORT void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(
    const uint8_t* srcY, const uint8_t* srcC, uint32_t w, uint32_t h, uint32_t sY, uint32_t sC,
    uint8_t* dstY, uint8_t* dstCb, uint8_t* dstCr, uint32_t dstSY, uint32_t dstSCb,
    uint32_t dstSCr);

/**
 * @brief Swaps the two bytes of every pair of an interleaved plane
 *        (CbCr ↔ CrCb).
 *
 * The destination may be the source itself (same stride).
 *
 * Path: CPU (::MIRA_API_CBCR_SWAP, mode 0); the GPU gives the same result.
 *
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Width in pairs (2 × @p w bytes per row).
 * @param h    Height in rows.
 * @param s    Source stride in bytes (at least 2 × @p w).
 * @param dst  Destination plane, @p w × @p h pairs.
 * @param dstS Destination stride in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvColorCbCrSwapu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                    uint8_t* dst, uint32_t dstS);

/**
 * @brief Interleaves two 8-bit planes into one plane of pairs:
 *        each destination row is a0, b0, a1, b1, ... (a from @p src0, b from
 *        @p src1).
 *
 * Path: CPU (::MIRA_API_INTERLEAVE_U8, mode 0); the GPU gives the same result.
 *
 * @param src0 First plane (first byte of each pair), @p w × @p h.
 * @param src1 Second plane (second byte of each pair), @p w × @p h.
 * @param w    Width of each source in pixels (= destination width in pairs).
 * @param h    Height in rows.
 * @param s0   Stride of src0 in bytes (at least @p w).
 * @param s1   Stride of src1 in bytes (at least @p w).
 * @param dst  Destination, @p w pairs (2 × @p w bytes) × @p h rows.
 * @param dstS Destination stride in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvInterleaveu8(const uint8_t* src0, const uint8_t* src1, uint32_t w,
                                 uint32_t h, uint32_t s0, uint32_t s1, uint8_t* dst,
                                 uint32_t dstS);

/* ------------------------------------------------------------ filters and statistics */

/**
 * @brief Horizontal and vertical central differences of an 8-bit plane into
 *        two signed 16-bit planes.
 *
 * dx(x, y) = p(x + 1, y) − p(x − 1, y) and dy(x, y) = p(x, y + 1) − p(x, y − 1),
 * not scaled (−255..255), for 1 ≤ x ≤ @p w − 2 and 1 ≤ y ≤ @p h − 2. Border:
 * the one-pixel frame of both outputs is 0 (all of it when @p w or @p h is
 * below 3).
 *
 * Path: GPU (::MIRA_API_IMAGE_GRADIENT_U8, mode 1); CPU and GPU results are
 * identical. Without a usable OpenCL device the CPU method runs; a GPU
 * failure is logged and the CPU method computes the result.
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Width in pixels.
 * @param h    Height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dx   Horizontal differences, @p w × @p h int16 values.
 * @param dy   Vertical differences, @p w × @p h int16 values.
 * @param dstS Stride of @p dx and of @p dy in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvImageGradientPlanars16_v2(const uint8_t* src, uint32_t w, uint32_t h,
                                              uint32_t s, int16_t* dx, int16_t* dy,
                                              uint32_t dstS);

/**
 * @brief 3 × 3 Sobel gradients of an 8-bit plane into two signed 16-bit
 *        planes.
 *
 * dx = [p(x+1, y−1) + 2·p(x+1, y) + p(x+1, y+1)]
 *    − [p(x−1, y−1) + 2·p(x−1, y) + p(x−1, y+1)],
 * dy = [p(x−1, y+1) + 2·p(x, y+1) + p(x+1, y+1)]
 *    − [p(x−1, y−1) + 2·p(x, y−1) + p(x+1, y−1)],
 * not scaled (−1020..1020), for 1 ≤ x ≤ @p w − 2 and 1 ≤ y ≤ @p h − 2.
 * Border: the one-pixel frame of both outputs is 0 (all of it when @p w or
 * @p h is below 3).
 *
 * Path: GPU (::MIRA_API_IMAGE_GRADIENT_SOBEL_U8, mode 1); CPU and GPU results
 * are identical. Without a usable OpenCL device the CPU method runs; a GPU
 * failure is logged and the CPU method computes the result.
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Width in pixels.
 * @param h    Height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dx   Horizontal gradient, @p w × @p h int16 values.
 * @param dy   Vertical gradient, @p w × @p h int16 values.
 * @param dstS Stride of @p dx and of @p dy in bytes (at least 2 × @p w).
 */
MIRA_EXPORT void ncvImageGradientSobelPlanars16_v3(const uint8_t* src, uint32_t w, uint32_t h,
                                                   uint32_t s, int16_t* dx, int16_t* dy,
                                                   uint32_t dstS);

/**
 * @brief 3 × 3 Gaussian blur (kernel 1 2 1 / 2 4 2 / 1 2 1, sum 16) of a
 *        dense 8-bit plane.
 *
 * Interior pixels are the weighted sum divided by 16, truncated (sum >> 4).
 * The one-pixel frame follows @p border:
 * - 0: the frame is 0;
 * - 1: each frame pixel uses the part of the kernel inside the image,
 *   renormalised (weighted sum / sum of those weights, truncated);
 * - any other value: the frame's edges are 0 and its four corners are left as
 *   they were.
 *
 * Images narrower or shorter than 3 pixels are all frame.
 *
 * Path: CPU (::MIRA_API_FILTER_GAUSSIAN3X3_U8, mode 0); the GPU gives the same
 * result. The direct kernel mira::ncvFilterGaussian3x3u8 (mira_kernels.h)
 * takes (src, dst, w, h, border) instead.
 *
 * @param src    Source plane, @p w × @p h bytes, rows @p w bytes apart.
 * @param w      Width in pixels.
 * @param h      Height in rows.
 * @param dst    Destination plane, @p w × @p h bytes, rows @p w bytes apart.
 * @param border Border mode, 0 or 1 (above).
 */
MIRA_EXPORT void ncvFilterGaussian3x3u8(const uint8_t* src, uint32_t w, uint32_t h,
                                        uint8_t* dst, int border);

/**
 * @brief Mean and sample variance of the pixel values of a rectangle of an
 *        8-bit plane.
 *
 * mean = Σp / N and variance = Σ(p − mean)² / (N − 1) (unbiased), N = @p rw ×
 * @p rh, sums exact in 64 bits. A 1 × 1 rectangle gives variance 0; an empty
 * one (@p rw or @p rh 0) gives mean 0 and variance 0. Nothing is written when
 * @p rh > 1 and @p s < @p rw. Large rectangles are split over the library's
 * worker threads; the calling thread's CPU affinity is restored before the
 * call returns.
 *
 * Path: CPU (::MIRA_API_IMAGE_INTENSITY_STATS, mode 2); there is no GPU
 * method (mode 1 runs the CPU method).
 *
 * @param src      The image's first pixel.
 * @param s        Image stride in bytes (positive).
 * @param x0       Left column of the rectangle (≥ 0).
 * @param y0       Top row of the rectangle (≥ 0).
 * @param rw       Rectangle width in pixels; the rectangle must lie inside the image.
 * @param rh       Rectangle height in rows.
 * @param mean     Receives the mean.
 * @param variance Receives the variance.
 */
MIRA_EXPORT void ncvImageIntensityStats(const uint8_t* src, int s, int x0, int y0, uint32_t rw,
                                        uint32_t rh, float* mean, float* variance);

/**
 * @brief Marks in a mask the connected region of pixels equal to the seed's
 *        value, and reports its size and bounding box.
 *
 * The mask's @p w bytes of each row are first set to 0; the region's pixels
 * then get @p fillValue. Only source values decide membership. A seed outside
 * the image leaves the mask all 0 and gives count 0 (the bounding-box fields
 * are then meaningless). @p w or @p h above 65535 writes nothing (neither
 * mask nor result). A @p fillValue of 0 cannot mark pixels as taken: only the
 * seed's own row run is found.
 *
 * Path: CPU (::MIRA_API_FLOODFILL_SIMPLE_U8, mode 2); there is no GPU method
 * (mode 1 runs the CPU method).
 *
 * @param src          Source plane, @p w × @p h pixels.
 * @param w            Width in pixels (≤ 65535).
 * @param h            Height in rows (≤ 65535).
 * @param s            Source stride in bytes (at least @p w).
 * @param dst          Mask, @p w × @p h bytes.
 * @param dstS         Mask stride in bytes (at least @p w).
 * @param x            Seed column.
 * @param y            Seed row.
 * @param fillValue    Mask value of the region's pixels (non-zero).
 * @param result       Receives count, seed value and bounding box; must not be null.
 * @param connectivity 8 for 8-connected, any other value for 4-connected.
 */
MIRA_EXPORT void ncvFloodfillSimpleu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                      uint8_t* dst, uint32_t dstS, uint32_t x, uint32_t y,
                                      uint8_t fillValue, ncvFloodfillResult* result,
                                      uint8_t connectivity);

/* ------------------------------------------------------------ scaling and warping */

/**
 * @brief Shrinks an 8-bit plane by whole-number factors: each destination
 *        pixel is the mean of an m × n block, rounded down.
 *
 * m = @p w / @p dstW and n = @p h / @p dstH (integer divisions). Pixel (x, y)
 * is the sum of the block at (x·m, y·n) times 1/(m·n) in float, truncated;
 * source columns from @p dstW·m and rows from @p dstH·n on are ignored. The
 * factors are 8-bit: a destination larger than the source (a factor of 0) or
 * a factor that is a multiple of 256 fills the destination with 0; other
 * factors above 255 are taken modulo 256.
 *
 * Path: CPU (::MIRA_API_SCALE_DOWN_U8, mode 0). The GPU averages a box of the
 * integer factors at the truncated float position (@p w / @p dstW · x): the
 * same result for whole-number ratios.
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pixels.
 * @param dstW Destination width in pixels, 1 to @p w.
 * @param dstH Destination height in rows, 1 to @p h.
 * @param dstS Destination stride in bytes (at least @p dstW).
 */
MIRA_EXPORT void ncvScaleDownu8_v2(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                   uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);

/**
 * @brief Shrinks an 8-bit plane by any ratio with box averaging.
 *
 * Destination pixel (x, y) is the truncated integer mean of the bw × bh
 * source pixels from ((int)(x · (float)@p w / @p dstW), (int)(y · (float)@p h
 * / @p dstH)), with bw = max(@p w / @p dstW, 1) and bh = max(@p h / @p dstH, 1)
 * the integer ratios; taps past the last column or row read the last one. For
 * ratios that are not whole numbers some source pixels are skipped
 * (mira_scale_down_box's CPU path averages every pixel's whole area instead).
 *
 * Path: GPU (::MIRA_API_SCALEDOWN_MN_U8, mode 1); the CPU method (mode 0) is
 * the kernel's twin, so CPU and GPU give identical bytes, with or without a
 * usable OpenCL device (a GPU failure is logged and the twin computes the
 * result). Through MIRA_Manager::run, modes other than 0 and 1 average each
 * destination pixel's whole area (16.16 fixed-point box lines, means rounded
 * half up).
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pixels.
 * @param dstW Destination width in pixels, 1 to @p w.
 * @param dstH Destination height in rows, 1 to @p h.
 * @param dstS Destination stride in bytes (at least @p dstW).
 */
MIRA_EXPORT void ncvScaleDownMNu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);

/**
 * @brief Shrinks an interleaved CbCr plane by any ratio with box averaging,
 *        each channel on its own.
 *
 * The boxes are those of ncvScaleDownMNu8, counted in pairs; each channel's
 * mean is computed in float and rounded half up ((float)sum / count + 0.5,
 * truncated).
 *
 * Path: GPU (::MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, mode 1), with the same
 * bytes on every machine: without a usable OpenCL device, or when a GPU step
 * fails, a CPU twin of the kernel computes them. The CPU method (mode 0) is
 * another formula: it averages each pixel's whole area (16.16 fixed-point box
 * lines, rounded half up), equal to the kernel's only for whole-number
 * ratios.
 *
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Source width in pairs (2 × @p w bytes per row).
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least 2 × @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pairs.
 * @param dstW Destination width in pairs, 1 to @p w.
 * @param dstH Destination height in rows, 1 to @p h.
 * @param dstS Destination stride in bytes (at least 2 × @p dstW).
 */
MIRA_EXPORT void ncvScaleDownMNInterleaveu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstW,
                                            uint32_t dstH, uint32_t dstS);

/**
 * @brief Resizes an 8-bit plane with one of three interpolations and a border
 *        rule.
 *
 * One factor serves both axes: f = @p dstW / @p w (the height ratio is not
 * used; rows beyond the source's reach take the border rule). Along each
 * axis, destination coordinate d has its centre at c = (d + 0.5) / f − 0.5 in
 * the source, and tap i weighs g((i − c) · min(f, 1)), normalised over the
 * taps:
 * - @p p1 = 0 (none): enlarging, the nearest sample (index ceil(c − 0.5));
 *   reducing, g(t) = |t| over a support of 1/f pixels (a 2:1 reduction gives
 *   the pair mean);
 * - @p p1 = 1 (bilinear): g(t) = 1 − |t| for |t| < 1 (support 2 pixels
 *   enlarging, 2/f reducing);
 * - @p p1 = 2 (box): enlarging, the nearest sample; reducing, g(t) = 1 for
 *   |t| ≤ 0.5 (support 1/f).
 *
 * Reducing (and with @p p1 0 or 2), sums are in float; results are clamped
 * to 0..255 and truncated. Enlarging with @p p1 = 1, the sums are in 16-bit
 * fixed point: per axis the weight of tap 1 in units of 1/256, w1 =
 * floor(256·w + 0.5) (w in single precision) and w0 = 256 − w1; per source
 * row h = a·w0 + b·w1 (taps a, b), and the result is
 * (h0·wy0 + h1·wy1) >> 16 (rows h0, h1). Each axis's rounding moves the
 * value by at most 255/512, so every result is within 1 of the float
 * formula's truncated sum; where the weights are exact (exactly 2×: 64 and
 * 192) it is that sum, and a constant image stays constant. Border: a
 * tap outside the source reads @p p3 when @p p2 is 1, else the nearest edge
 * pixel. Equal widths copy min(@p h, @p dstH) rows of @p w bytes whatever
 * @p p1 and the heights. Nothing is written for another @p p1 (the error
 * "scale mode err!!!" is reported) or for an empty source with a non-empty
 * destination.
 *
 * Path: CPU (::MIRA_API_SCALE_U8, mode 2); there is no GPU kernel (mode 1
 * runs the CPU method).
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pixels.
 * @param dstW Destination width in pixels.
 * @param dstH Destination height in rows.
 * @param dstS Destination stride in bytes (at least @p dstW).
 * @param p1   Interpolation: 0 none, 1 bilinear, 2 box.
 * @param p2   Border type: 1 constant @p p3; any other value (0, 2) replicates
 *             the edge pixel.
 * @param p3   Border value for border type 1.
 */
MIRA_EXPORT void ncvScaleu8_v2(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                               uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS,
                               uint32_t p1, uint32_t p2, uint8_t p3);

/**
 * @brief Enlarges an 8-bit plane with Lanczos-3 interpolation.
 *
 * One factor serves both axes: f = @p dstW / @p w. Along each axis,
 * destination coordinate d has its centre at c = (d + 0.5) / f − 0.5; its six
 * taps from ceil(c − 3) weigh L(i − c), normalised, with
 * L(t) = sinc(t)·sinc(t / 3) and sinc(t) = sin(πt) / (πt). Border: taps
 * outside the source take the nearest edge pixel. Sums in float, clamped to
 * 0..255, truncated. A smaller destination is
 * computed with the same six taps (no wider filter). Nothing is written for
 * an empty source with a non-empty destination.
 *
 * Path: CPU (::MIRA_API_SCALE_UP_POLY_U8, mode 2); there is no GPU kernel
 * (mode 1 runs the CPU method).
 *
 * @param src  Source plane, @p w × @p h pixels.
 * @param w    Source width in pixels.
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pixels.
 * @param dstW Destination width in pixels (at least @p w to enlarge).
 * @param dstH Destination height in rows.
 * @param dstS Destination stride in bytes (at least @p dstW).
 */
MIRA_EXPORT void ncvScaleUpPolyu8(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                                  uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS);

/**
 * @brief Enlarges an interleaved CbCr plane with Lanczos-3 interpolation,
 *        each channel on its own.
 *
 * As ncvScaleUpPolyu8, counted in pairs, except that the one factor for both
 * axes is the ratio of the heights: f = @p dstH / @p h.
 *
 * Path: CPU (::MIRA_API_SCALE_UP_POLY_CBCR_U8, mode 2); there is no GPU
 * kernel (mode 1 runs the CPU method).
 *
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Source width in pairs (2 × @p w bytes per row).
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least 2 × @p w).
 * @param dst  Destination plane, @p dstW × @p dstH pairs.
 * @param dstW Destination width in pairs.
 * @param dstH Destination height in rows (at least @p h to enlarge).
 * @param dstS Destination stride in bytes (at least 2 × @p dstW).
 */
MIRA_EXPORT void ncvScaleUpPolyInterleaveu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstW,
                                            uint32_t dstH, uint32_t dstS);

/**
 * @brief Doubles an interleaved CbCr plane in both directions with bilinear
 *        interpolation, each channel on its own.
 *
 * Pixel centres: destination coordinate d samples the source at
 * (d + 0.5) / 2 − 0.5, so interior weights are 3/4 and 1/4; results are
 * truncated (every sum is a multiple of 1/16: the CPU method's 16-bit fixed
 * point, see ncvScaleu8_v2, is exact here). Border: taps outside the source
 * take the nearest edge pair.
 *
 * Path: GPU (::MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, mode 1); CPU and GPU give
 * identical bytes. Without a usable OpenCL device the CPU method runs; a
 * GPU failure is logged and the CPU method computes the result.
 *
 * @param src  Source plane, @p w × @p h pairs.
 * @param w    Source width in pairs (2 × @p w bytes per row).
 * @param h    Source height in rows.
 * @param s    Source stride in bytes (at least 2 × @p w).
 * @param dst  Destination plane, 2·@p w pairs (4 × @p w bytes) × 2·@p h rows.
 * @param dstS Destination stride in bytes (at least 4 × @p w).
 */
MIRA_EXPORT void ncvUpsample2DInterleavedu8(const uint8_t* src, uint32_t w, uint32_t h,
                                            uint32_t s, uint8_t* dst, uint32_t dstS);

/**
 * @brief Warps an 8-bit plane with an affine matrix, clipped to the source,
 *        and reports each destination row's span of inside columns.
 *
 * The matrix maps destination to source (pass the inverse of the forward
 * warp): destination pixel (x, y) reads the source at
 * x' = m0·x + m1·y + m2, y' = m3·x + m4·y + m5, with
 * @p matrix = {m0, m1, m2, m3, m4, m5} (row-major 2 × 3).
 * - @p interpolation 0, nearest: (x', y') rounded half to even;
 * - 3, bicubic: 4 × 4 taps of the cubic convolution kernel (a = −0.75) at
 *   phases of 1/32 pixel, result clamped to 0..255 and truncated;
 * - any other value, bilinear: at pixel centres, x' = m0·(x + 0.5) +
 *   m1·(y + 0.5) + m2 − 0.5 (y' likewise), result truncated.
 *
 * Border: constant 0. Source pixels outside the image read as 0, so a
 * destination pixel with no tap inside is 0; bilinear gives 0 unless
 * 0 ≤ (int)x' < @p w − 1 and 0 ≤ (int)y' < @p h − 1, so the source's last
 * column and row give 0 too.
 *
 * Row spans (when @p border is not null): two uint32 per destination row,
 * border[2y] = first and border[2y + 1] = last column (inclusive) of row y
 * whose source position lies inside [0, @p w − 1] × [0, @p h − 1], found by
 * solving the matrix for the source's edges (truncated toward zero) and
 * clamped to [0, @p dstW] (the last column is @p dstW when the inside part
 * runs past the right edge). A row with no inside column holds
 * (@p dstW, @p dstW). These spans come from the matrix alone, the same for
 * every interpolation, and may differ by a column or two from the pixels
 * written; mira_warp_affine() (mira_image.h) reports the exact half-open
 * runs of the pixels per interpolation.
 *
 * Path: GPU (::MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode 1); the CPU method
 * is the kernels' twin and gives identical bytes (float formulas as written,
 * the bicubic rows accumulated with fused multiply-adds on both). Without a usable OpenCL device the
 * CPU method runs; a GPU failure is logged and the CPU method computes the
 * result. Through MIRA_Manager::run, mode 0 takes the CPU and every other
 * mode the GPU.
 *
 * @param src           Source plane, @p w × @p h pixels.
 * @param w             Source width in pixels.
 * @param h             Source height in rows.
 * @param s             Source stride in bytes (at least @p w).
 * @param matrix        Six floats m0..m5 (above).
 * @param dst           Destination plane, @p dstW × @p dstH pixels.
 * @param dstW          Destination width in pixels.
 * @param dstH          Destination height in rows.
 * @param dstS          Destination stride in bytes (at least @p dstW).
 * @param border        Row spans, 2 × @p dstH uint32 values, or null for none.
 * @param interpolation 0 nearest, 3 bicubic, any other value bilinear.
 */
MIRA_EXPORT void ncvTransformAffineClippedu8_v2(const uint8_t* src, uint32_t w, uint32_t h,
                                                uint32_t s, const float* matrix, uint8_t* dst,
                                                uint32_t dstW, uint32_t dstH, uint32_t dstS,
                                                uint32_t* border, uint32_t interpolation);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* MIRA_H */
