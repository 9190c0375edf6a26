/**
 * @file mira_image.h
 * @brief libmira's C interface for new code: every call validates its
 * arguments and returns a status, every image carries a stride, resizes scale
 * each axis by its own ratio and the caller may name the path.
 *
 * Usable from C and C++. Every function here reaches the same operations as
 * the `ncv` functions of mira.h (the same CPU kernels, GPU kernels and
 * pipelines); only the checking and the geometry rules differ.
 *
 * Common rules:
 * - Every image argument needs non-null data, a width and height from 1 to
 *   MIRA_IMAGE_MAX_SIDE, a stride of at least one row's bytes, at most
 *   2^31 - 1 bytes from its first to its last byte, and the `channels` the
 *   function asks for; the path must be one of mira_path.
 * - Channels: each function says which `channels` each of its images takes.
 *   A count outside 1..4, or images of one call that disagree where the
 *   function asks for the same count, is MIRA_STATUS_BAD_ARGUMENT. Where a
 *   function takes one count for all its images, images that agree on a
 *   count from 1 to 4 that it does not take are MIRA_STATUS_UNSUPPORTED (a
 *   valid image the operation does not serve); an image whose role fixes
 *   its count (the VU pairs of mira_nv21_to_rgba(), the int16 gradient
 *   planes, ...) with any other is MIRA_STATUS_BAD_ARGUMENT. Either way
 *   nothing is written. Interleaved images of several channels compute each
 *   channel with exactly the arithmetic of the plane operation: the result
 *   equals, byte for byte, splitting the channels, running the operation on
 *   each plane and interleaving again.
 * - Every argument is checked before anything is written. A rejected call
 *   returns its status and leaves every destination byte as it was.
 * - An accepted call writes the whole destination: every pixel of its
 *   `width` x `height`, and no byte outside those rows' defined width (the
 *   padding between rows of a strided destination is kept).
 * - No destination may share a byte with a source or with another
 *   destination (MIRA_STATUS_BAD_ARGUMENT). Only the bytes of an image's rows
 *   (`width` pixels from each row start) count: images whose rows interleave,
 *   such as the left and right halves of one buffer or its even and odd rows,
 *   do not overlap.
 * - Path: MIRA_PATH_CPU runs the CPU method, MIRA_PATH_GPU the GPU method,
 *   MIRA_PATH_DEFAULT the path the matching `ncv` function takes (given for
 *   each function). The path decides the bytes, never the hardware: a GPU
 *   request gives the GPU kernel's bytes on any GPU, and on a machine without
 *   a usable GPU (or after a GPU step failed) it runs a CPU twin of the
 *   kernel's arithmetic with the same bytes, returning MIRA_STATUS_OK.
 *   Kernels compute their float formulas as written (no relaxed math, no
 *   fused multiply-adds but where a formula says so), so the twins match on
 *   every device that rounds divisions correctly; where a device cannot
 *   (its OpenCL reports no correctly rounded division), the bilinear warp
 *   and the interleaved box down-scale may differ by 1 there.
 * - CPU and GPU paths give identical bytes for every operation except two,
 *   whose two methods are different formulas: the NV21 conversion (CPU in
 *   6-bit fixed point, GPU in single precision; largest difference over all
 *   16.7 million Y, U, V triples: 2 in R and G, 3 in B) and the interleaved
 *   (two-channel) box down-scale (the CPU averages each pixel's whole area,
 *   the GPU a box of the integer ratio: any difference for non-integer
 *   ratios). The planar box down-scale's CPU path averages each pixel's area
 *   too (see mira_scale_down_box).
 *
 * Threads: every function may be called from any thread, concurrently.
 * GPU requests share the one device that is up; each call enqueues its
 * uploads, kernel and read-backs on a command queue of its own (queues are
 * pooled and reused, one per call in flight), sets its kernel's arguments
 * and enqueues it under the kernel registry's lock, and waits for its kernel
 * and its copies outside every lock: the kernels of concurrent calls may run
 * at the same time, and no call waits for another call's kernel. On a
 * device with coarse-grained shared memory, a call lends the device only the
 * rows its images span in an allocation made with the library's allocator,
 * and maps them back before it returns: when a call returns, its output rows
 * are in host memory, and bytes of the same allocation outside its rows
 * are never written by it, so threads may work on different images in one
 * allocation at once. (OpenCL unmaps only whole mapped pieces: the first
 * call to lend rows out of a piece unmaps that piece and maps the bytes
 * around its rows again at once, without reading them back; after that
 * each call unmaps exactly its own rows.) Rows that
 * two calls in flight both read (a shared source) stay with the device until
 * the later call returns; as on any kind of memory, a caller must not write
 * an image while a call reads or writes it. mira_shutdown() waits for the
 * calls in flight; calls that start meanwhile wait for it. A device that is
 * lost or keeps failing is switched off for every thread until mira_init()
 * or mira_shutdown() (one error line; GPU requests then run the kernels' CPU
 * twins).
 */
#ifndef MIRA_IMAGE_H
#define MIRA_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#include "mira_types.h"

/* In C++ the enumerations are int-sized with every int value valid, so a
 * value from C outside the named ones is refused, never undefined. */
/** @cond */
#ifdef __cplusplus
#define MIRA_ENUM_INT : int
#else
#define MIRA_ENUM_INT
#endif
/** @endcond */

#ifdef __cplusplus
extern "C" {
#endif

/** Result of every call. */
typedef enum mira_status MIRA_ENUM_INT {
    MIRA_STATUS_OK = 0,            /**< done; the destination is fully written */
    MIRA_STATUS_BAD_ARGUMENT = 2,  /**< an argument is out of range or inconsistent; nothing written */
    MIRA_STATUS_OUT_OF_MEMORY = 3, /**< working memory could not be allocated; nothing written */
    MIRA_STATUS_UNSUPPORTED = 4    /**< the request is valid but cannot be served here (see the function) */
} mira_status;

/** Which implementation runs an operation. */
typedef enum mira_path MIRA_ENUM_INT {
    MIRA_PATH_DEFAULT = 0, /**< the path of the matching `ncv` function */
    MIRA_PATH_CPU = 1,     /**< the CPU method (NEON, or the Halide pipelines) */
    MIRA_PATH_GPU = 2      /**< the OpenCL method; the CPU method where there is none */
} mira_path;

/**
 * One image: a plane of 8-bit samples (`channels` 1), a plane of interleaved
 * 8-bit pairs such as CbCr (`channels` 2, `width` counts pairs), or
 * interleaved colour pixels, RGB (`channels` 3) or RGBA (`channels` 4),
 * `width` counting pixels. The gradient outputs are planes of 16-bit signed
 * samples (`channels` 1, two bytes per sample).
 */
typedef struct mira_image {
    uint8_t* data;     /**< first byte of row 0; not null */
    uint32_t width;    /**< pixels (pairs for `channels` 2) per row, >= 1 */
    uint32_t height;   /**< rows, >= 1 */
    uint32_t stride;   /**< bytes from one row's start to the next, >= width x bytes per pixel */
    uint32_t channels; /**< 1, 2, 3 or 4 bytes (samples) per pixel, as each function takes */
} mira_image;

/** Largest width or height any function accepts. */
#define MIRA_IMAGE_MAX_SIDE 32767u

/**
 * Message for a status.
 * @param status any value; unknown values get a message too.
 * @return a static string ("ok", "bad argument", ...); never null.
 */
MIRA_EXPORT const char* mira_status_string(mira_status status);

/** @name Lifecycle, device and memory */
/**@{*/

/**
 * Brings up the GPU side (OpenCL device, context and queue). Optional: CPU
 * work needs no initialisation, and GPU requests before it initialise on
 * first use. May be called again after a failure or after mira_shutdown(),
 * and lifts the switch-off of a device that was lost or kept failing.
 * @return MIRA_STATUS_OK when a GPU device is ready; MIRA_STATUS_UNSUPPORTED
 * when there is none (every function still works, GPU requests run on the CPU).
 */
MIRA_EXPORT mira_status mira_init(void);

/** Releases the GPU side and cached working memory. Blocks from mira_alloc()
 * on a GPU must be freed before. */
MIRA_EXPORT void mira_shutdown(void);

/**
 * Name of the OpenCL device that GPU requests run on, or NULL when there is
 * none (not initialised, or no usable device). The string stays valid until
 * mira_shutdown().
 * @return the device name, or NULL.
 */
MIRA_EXPORT const char* mira_device_name(void);

/**
 * Where compiled OpenCL programs are kept between processes (one file per
 * kernel, device, driver version and build options), so that a kernel is
 * compiled once per device and driver rather than in every process. An
 * Android app, which has no `$HOME`, passes a directory it owns (its cache
 * directory). Without this call the directory is `$MIRA_PROGRAM_CACHE`
 * ("off" disables the cache), else `$XDG_CACHE_HOME/mira`, else
 * `~/.cache/mira`. A directory that cannot be created or written is passed
 * over for the next one, and last for `$TMPDIR/mira-program-cache` (`/tmp`,
 * or `/data/local/tmp` on Android); when none can be written one error line
 * says so and kernels are compiled in every process. Entries of the same
 * device made by another driver version are removed, and so are temporary
 * files that an interrupted process left behind.
 *
 * Takes effect for programs built from then on (call it before mira_init()
 * to cover all of them). May be called from any thread.
 * @param dir the directory (created when missing); NULL returns to the
 * environment's choice; "" turns the cache off.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT for a path of 4096 bytes
 * or more (nothing changes).
 */
MIRA_EXPORT mira_status mira_set_program_cache_dir(const char* dir);

/**
 * Memory that the CPU and the GPU share: a shared-virtual-memory block when a
 * GPU device is ready (GPU requests on it need no copy), else ordinary host
 * memory; 128-byte aligned either way. A block larger than the device
 * allocates at once is host memory that GPU requests copy (as ncvMemAlloc's).
 * NULL for `size` 0, above 2^31 - 1 bytes, or when the memory is not
 * available. Free with mira_free().
 * @param size bytes, 1 to 2^31 - 1.
 * @return the block, or NULL.
 */
MIRA_EXPORT void* mira_alloc(size_t size);

/**
 * Frees a block from mira_alloc().
 * @param block a block from mira_alloc(), or NULL (nothing happens).
 */
MIRA_EXPORT void mira_free(void* block);

/**@}*/

/** @name Geometry */
/**@{*/

/**
 * Transpose: dst(x, y) = src(y, x), each pixel's bytes moved together.
 * Channels: 1, 2, 3 or 4 (planes, pairs, RGB, RGBA).
 * @param src W x H, `channels` 1 to 4.
 * @param dst H x W, same `channels`.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK, or MIRA_STATUS_BAD_ARGUMENT (sizes, channels,
 * strides, null, overlap, path).
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_transpose(const mira_image* src, const mira_image* dst,
                                       mira_path path);

/**
 * Clockwise rotation by 90, 180 or 270 degrees of a plane (`channels` 1), a
 * plane of pairs (`channels` 2) or RGB or RGBA pixels (`channels` 3 or 4);
 * each pixel's bytes move as one.
 * Channels: 1, 2, 3 or 4.
 * @param src W x H, `channels` 1 to 4.
 * @param dst H x W for 90 and 270 degrees, W x H for 180; same `channels`.
 * @param degrees 90, 180 or 270; anything else is MIRA_STATUS_BAD_ARGUMENT.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_rotate(const mira_image* src, const mira_image* dst, int degrees,
                                    mira_path path);

/**@}*/

/** @name Colour */
/**@{*/

/**
 * NV21 (a luma plane and a plane of V,U pairs at half resolution) to RGBA:
 * R, G, B, A = 255 per pixel. The CPU method uses 6-bit fixed point
 * (R = (74 (Y-16) + 102 V') >> 6, G = (74 (Y-16) - 25 U' - 52 V') >> 6,
 * B = (74 (Y-16) + 128 U') >> 6, clamped); the GPU method single-precision
 * float with 1.164, 1.596, 0.813, 0.391, 2.018 (results differ by a few units).
 * Channels: fixed per image (1, 2 and 4, as below).
 * @param y luma, W x H, `channels` 1; W and H even.
 * @param vu chroma pairs (V first), W/2 x H/2, `channels` 2.
 * @param dst RGBA, W x H, `channels` 4; `stride` a multiple of 4.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_nv21_to_rgba(const mira_image* y, const mira_image* vu,
                                          const mira_image* dst, mira_path path);

/**
 * YCbCr 4:4:4 planar to 4:2:0 semi-planar: Y copied; each Cb,Cr pair of the
 * destination takes the top-left sample of its 2x2 block in each plane.
 * Channels: fixed per image (planes 1, pairs 2).
 * @param y,cb,cr planes, W x H each (own strides); W and H even.
 * @param dst_y plane W x H; @param dst_cbcr pairs (Cb first), W/2 x H/2.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_yuv444_to_yuv420sp(const mira_image* y, const mira_image* cb,
                                                const mira_image* cr, const mira_image* dst_y,
                                                const mira_image* dst_cbcr, mira_path path);

/**
 * YCbCr 4:2:0 semi-planar to 4:4:4 planar: Y copied; each chroma pair
 * replicated over its 2x2 block.
 * Channels: fixed per image (planes 1, pairs 2).
 * @param y plane W x H; @param cbcr pairs (Cb first), W/2 x H/2; W and H even.
 * @param dst_y,dst_cb,dst_cr planes, W x H each.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_yuv420sp_to_yuv444(const mira_image* y, const mira_image* cbcr,
                                                const mira_image* dst_y, const mira_image* dst_cb,
                                                const mira_image* dst_cr, mira_path path);

/**
 * Swaps the two bytes of every pair (CbCr <-> CrCb).
 * Channels: 2 only (MIRA_STATUS_UNSUPPORTED for 1, 3 or 4 on both images).
 * @param src,dst pairs (`channels` 2), same W x H.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_swap_pairs(const mira_image* src, const mira_image* dst,
                                        mira_path path);

/**
 * Interleaves two planes into pairs: dst pair (x, y) = (a(x, y), b(x, y)).
 * Channels: fixed per image (a and b 1, dst 2).
 * @param a,b planes W x H; @param dst pairs W x H.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_interleave(const mira_image* a, const mira_image* b,
                                        const mira_image* dst, mira_path path);

/**@}*/

/** @name Filters and statistics */
/**@{*/

/**
 * Central differences: dx = src(x+1, y) - src(x-1, y) and
 * dy = src(x, y+1) - src(x, y-1) on the interior; the one-pixel frame of
 * both outputs is 0.
 * Channels: fixed per image (src 1; dx, dy 1 with 16-bit samples).
 * @param src plane W x H.
 * @param dx,dy 16-bit signed planes W x H (`stride` >= 2 W bytes, even).
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: GPU.
 */
MIRA_EXPORT mira_status mira_gradient(const mira_image* src, const mira_image* dx,
                                      const mira_image* dy, mira_path path);

/**
 * 3x3 Sobel derivatives (kernels [-1 0 1; -2 0 2; -1 0 1] and its
 * transpose, unscaled) on the interior; frame 0. Arguments as mira_gradient().
 * Channels: fixed per image (src 1; dx, dy 1 with 16-bit samples).
 * @param src plane (`channels` 1), W x H.
 * @param dx,dy int16 planes W x H (`stride` in bytes, even).
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: GPU.
 */
MIRA_EXPORT mira_status mira_sobel(const mira_image* src, const mira_image* dx,
                                   const mira_image* dy, mira_path path);

/** Border rule of the 3x3 Gaussian. */
typedef enum mira_gaussian_border MIRA_ENUM_INT {
    MIRA_GAUSSIAN_BORDER_ZERO = 0,        /**< the one-pixel frame is 0 */
    MIRA_GAUSSIAN_BORDER_RENORMALISED = 1 /**< the frame uses the kernel's part inside the image, renormalised */
} mira_gaussian_border;

/**
 * 3x3 binomial smoothing (1 2 1 / 2 4 2 / 1 2 1) / 16, truncated, of each
 * channel on its own (the neighbours of a sample are the same channel of the
 * pixels around it). The one-pixel frame of every channel follows `border`.
 * Channels: 1, 2, 3 or 4.
 * @param src,dst same W x H, same `channels` (1 to 4).
 * @param border how the one-pixel frame is computed.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_gaussian3x3(const mira_image* src, const mira_image* dst,
                                         mira_gaussian_border border, mira_path path);

/**
 * Mean and unbiased sample variance (sum of squared deviations over n - 1;
 * a single pixel gives 0) of the samples of a rectangle, from 64-bit sums.
 * Channels: 1 only (MIRA_STATUS_UNSUPPORTED for 2, 3 or 4).
 * @param src plane; the rectangle x, y, w, h (pixels, w and h >= 1) must lie
 * inside it.
 * @param x,y top-left corner of the rectangle (column, row).
 * @param w,h rectangle width and height in pixels, >= 1.
 * @param mean,variance results; not null.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU (there is no GPU method).
 */
MIRA_EXPORT mira_status mira_intensity_stats(const mira_image* src, uint32_t x, uint32_t y,
                                             uint32_t w, uint32_t h, float* mean, float* variance,
                                             mira_path path);

/** What a flood fill found. */
typedef struct mira_fill_result {
    uint32_t count;      /**< pixels in the region */
    uint32_t seed_value; /**< source value at the seed */
    uint32_t x;          /**< left column of the region's bounding box */
    uint32_t y;          /**< top row of the region's bounding box */
    uint32_t width;      /**< bounding-box width in pixels */
    uint32_t height;     /**< bounding-box height in rows */
} mira_fill_result;

/**
 * Marks the region of pixels equal to the seed's value that is connected to
 * the seed: mask pixels of the region get `fill`, every other mask pixel 0.
 * Channels: 1 only (MIRA_STATUS_UNSUPPORTED for 2, 3 or 4 on both images).
 * @param src plane W x H, W and H <= 65535.
 * @param mask plane W x H.
 * @param seed_x,seed_y inside the image.
 * @param connectivity 4 or 8.
 * @param fill 1..255.
 * @param result not null; must not lie inside `src` or `mask`.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU (there is no GPU method).
 */
MIRA_EXPORT mira_status mira_flood_fill(const mira_image* src, const mira_image* mask,
                                        uint32_t seed_x, uint32_t seed_y, int connectivity,
                                        uint8_t fill, mira_fill_result* result, mira_path path);

/**@}*/

/** @name Scaling and warping */
/**@{*/

/**
 * Integer block-mean down-scale: each destination pixel is the floor of the
 * mean of its m x n source block, m = W / w and n = H / h. Colour pixels
 * (`channels` 3 or 4, interleaved) are scaled channel by channel with the
 * plane's arithmetic on each path.
 * @param src W x H; @param dst w x h with W = m w and H = n h exactly,
 * 1 <= m, n <= 255, same `channels` (1, 3 or 4).
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones;
 * MIRA_STATUS_UNSUPPORTED (nothing written) for another channel count.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_scale_down(const mira_image* src, const mira_image* dst,
                                        mira_path path);

/**
 * Box down-scale by any ratio per axis, M -> N; planes, pairs or colour
 * pixels (each channel on its own; colour pixels, 3 or 4 interleaved
 * channels, with exactly the plane's arithmetic on each path). The two methods average different boxes: the CPU method
 * averages each destination pixel's area of the source (the box line along
 * the rows, then down the columns, each rounding half up); the GPU method
 * averages the floor(W / w) x floor(H / h) source pixels from the truncated
 * position (x W / w, y H / h), truncating for planes and colour pixels and
 * rounding half up for pairs.
 * @param src W x H; @param dst w x h with w <= W and h <= H, same `channels`
 * (1 to 4).
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones;
 * MIRA_STATUS_OUT_OF_MEMORY when the CPU method cannot allocate its working
 * rows; MIRA_STATUS_UNSUPPORTED (nothing written) for another channel count.
 * Default path: GPU.
 */
MIRA_EXPORT mira_status mira_scale_down_box(const mira_image* src, const mira_image* dst,
                                            mira_path path);

/** Interpolation of mira_resize(). */
typedef enum mira_interpolation MIRA_ENUM_INT {
    MIRA_INTERPOLATION_NONE = 0,     /**< shrinking: distance-weighted taps; enlarging: nearest sample */
    MIRA_INTERPOLATION_BILINEAR = 1, /**< triangle filter, widened by the reduction when shrinking */
    MIRA_INTERPOLATION_BOX = 2       /**< shrinking: area mean; enlarging: nearest sample */
} mira_interpolation;

/** What samples outside the source read as. */
typedef enum mira_border MIRA_ENUM_INT {
    MIRA_BORDER_NONE = 0,      /**< the nearest edge sample (as replicate) */
    MIRA_BORDER_CONSTANT = 1,  /**< `border_value` */
    MIRA_BORDER_REPLICATE = 2  /**< the nearest edge sample */
} mira_border;

/**
 * General resize of a plane, of pairs or of colour pixels (`channels` 1 to 4,
 * interleaved; each channel with exactly the plane's arithmetic); each axis
 * by its own factor (destination over source extent, in pixels) and in its
 * own direction. Per axis, destination coordinate d
 * maps to the source centre c = (d + 0.5) / s - 0.5; a shrinking axis
 * (s < 1) widens the kernel by 1/s, an enlarging one uses the plain kernel.
 * Sums in float, clamped to [0, 255] and truncated, except where
 * MIRA_INTERPOLATION_BILINEAR enlarges both axes (s >= 1 on each): there
 * the sums are in 16-bit fixed point, per axis the weight of the second tap
 * w1 = floor(256 w + 0.5) (w in single precision), w0 = 256 - w1, per
 * source row h = a w0 + b w1, result (h0 wy0 + h1 wy1) >> 16: within 1 of
 * the float formula's truncated sum (each axis's rounding moves the value by
 * at most 255/512), equal to it at exactly 2x, constants kept. Equal sizes
 * copy.
 * @param src,dst images of any sizes with the same `channels`, 1 to 4.
 * @param interpolation MIRA_INTERPOLATION_NONE, _BILINEAR or _BOX.
 * @param border how taps outside the source are read: MIRA_BORDER_NONE,
 * _CONSTANT (`border_value`) or _REPLICATE.
 * @param border_value the sample outside the source with MIRA_BORDER_CONSTANT.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones;
 * MIRA_STATUS_UNSUPPORTED (nothing written) for another channel count.
 * Default path: CPU (there is no GPU method).
 */
MIRA_EXPORT mira_status mira_resize(const mira_image* src, const mira_image* dst,
                                    mira_interpolation interpolation, mira_border border,
                                    uint8_t border_value, mira_path path);

/**
 * Lanczos-3 up-scale (six taps per axis, edges replicated, each axis by its
 * own factor); planes, pairs or colour pixels (each channel on its own, with
 * exactly the plane's arithmetic).
 * @param src W x H; @param dst w x h with w >= W and h >= H, same `channels`,
 * 1 to 4.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones;
 * MIRA_STATUS_UNSUPPORTED (nothing written) for another channel count.
 * Default path: CPU (there is no GPU method).
 */
MIRA_EXPORT mira_status mira_upscale_lanczos(const mira_image* src, const mira_image* dst,
                                             mira_path path);

/**
 * 2x bilinear up-sample of a plane of pairs (chroma), edges replicated.
 * Channels: 2 only (MIRA_STATUS_UNSUPPORTED for 1, 3 or 4 on both images).
 * @param src pairs W x H; @param dst pairs 2W x 2H.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: GPU.
 */
MIRA_EXPORT mira_status mira_upsample_chroma(const mira_image* src, const mira_image* dst,
                                             mira_path path);

/** Interpolation of mira_warp_affine(). */
typedef enum mira_warp_interpolation MIRA_ENUM_INT {
    MIRA_WARP_NEAREST = 0,  /**< nearest source pixel */
    MIRA_WARP_BILINEAR = 1, /**< 2 x 2 taps, float weights */
    MIRA_WARP_BICUBIC = 3   /**< 4 x 4 taps, clamped to [0, 255] before truncation */
} mira_warp_interpolation;

/**
 * Affine warp: dst(x, y) = src(m0 x + m1 y + m2, m3 x + m4 y + m5), 0 where
 * the interpolation finds no sample inside the image. Positions are formed in
 * single precision.
 * - Nearest: the position (m0 x + m1 y + m2, ...) rounded half to even;
 *   0 outside.
 * - Bilinear: at pixel centres, the position of (x + 0.5, y + 0.5) minus 0.5;
 *   taps ceil(s - 1) and the next, weights 1 - distance renormalised. The
 *   pixel is 0 unless -1 < s < size - 1 on both axes (both taps inside): the
 *   last source row and column are never a first tap, so a position beyond
 *   them reads as 0.
 * - Bicubic (a = -0.75, 32 phases): at the plain position (x, y), not at
 *   pixel centres; taps outside the image read 0; clamped to [0, 255] before
 *   truncation; 0 for positions beyond 2^24.
 * Both methods share this arithmetic, but the GPU may form positions with
 * fused multiply-adds, so a position within an ulp of a half can round the
 * other way, and filtered values can differ by one.
 *
 * Channels: 1 (a plane), 3 or 4 (interleaved pixels, such as RGB or RGBA),
 * the same in both images (MIRA_STATUS_BAD_ARGUMENT where they differ).
 * Each channel is warped with exactly the plane's arithmetic: the result
 * equals, byte for byte, warping every channel as a plane and interleaving
 * the results, and the spans are those of a plane of the same size. Any
 * other channel count (of both images): MIRA_STATUS_UNSUPPORTED, nothing
 * written.
 * @param src image W x H, `channels` 1, 3 or 4.
 * @param matrix six finite floats, row-major 2 x 3, destination to source.
 * @param dst image w x h with the channels of src.
 * @param interpolation MIRA_WARP_NEAREST, MIRA_WARP_BILINEAR or MIRA_WARP_BICUBIC.
 * @param spans optional (NULL): 2 h values, per destination row the half-open
 * run [start, end) of the columns computed from samples inside the source,
 * from the same position arithmetic as the CPU method's pixels and for the
 * chosen interpolation (nearest: the rounded position is inside; bilinear:
 * both taps are; bicubic: at least one of the 16 taps is, though its weight
 * may be 0); (w, w) for a row without any. Every pixel outside the run is 0.
 * Must not overlap the images.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU
 * (the CPU method where the operation has no GPU method).
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones (images whose channels
 * differ, or a count outside 1..4, included); MIRA_STATUS_UNSUPPORTED
 * (nothing written) for pairs (`channels` 2) in both images.
 * Default path: GPU.
 */
MIRA_EXPORT mira_status mira_warp_affine(const mira_image* src, const float matrix[6],
                                         const mira_image* dst,
                                         mira_warp_interpolation interpolation, uint32_t* spans,
                                         mira_path path);

/**@}*/

/** @name Camera frames
 * 4:2:0 frames as cameras deliver them (Android's YUV_420_888 model): a luma
 * plane and two chroma planes at half resolution in each direction, each
 * plane with its own row stride, and chroma samples 1 byte apart (I420,
 * YV12) or 2 bytes apart (NV12, NV21: the U and V planes interleave). Any
 * width and height from 1 are allowed: the chroma planes are ceil(W/2)
 * samples x ceil(H/2) rows.
 *
 * Both conversions are integer formulas, the same on the CPU and the GPU
 * (identical bytes on every path). With q(a, k) = (a k + 2^14) >> 15
 * (arithmetic shifts, i.e. floor), clamp() to 0..255, and the coefficient
 * table below (Kr, Kb of the matrix; limited range yoff = 16, s = 255/219,
 * c = 255/224; full range yoff = 0, s = c = 1; every k rounded to nearest):
 *
 * To RGB, with Y' = Y - yoff, U' = U - 128, V' = V - 128 and the chroma
 * sample of each pixel's 2x2 block (nearest up-sampling: pixel (x, y) takes
 * chroma sample (x/2, y/2)):
 * @code
 *   y = q(128 Y', kY) + 32
 *   R = clamp((y + q(256 V', kRV)) >> 6)
 *   G = clamp((y - (q(256 U', kGU) + q(256 V', kGV))) >> 6)
 *   B = clamp((y + q(256 U', kBU)) >> 6)
 *   kY = s 2^14, kRV = c 2(1-Kr) 2^13, kGU = c 2(1-Kb) Kb/Kg 2^13,
 *   kGV = c 2(1-Kr) Kr/Kg 2^13, kBU = c 2(1-Kb) 2^13
 * @endcode
 * From RGB (SR, SG, SB: the sums of R, G, B over the pixel's 2x2 block; at an
 * odd right or bottom edge a block has 2 or 1 pixels, whose sum is doubled or
 * quadrupled, so chroma is always the mean of the pixels that exist), Y with
 * 8-bit coefficients and chroma from the block's differences
 * D1 = 32 (SB - SG) and D2 = 32 (SR - SG):
 * @code
 *   Y = (kYR R + kYG G + kYB B + 256 yoff + 128) >> 8
 *   U = (q(D1, kUB) + q(D2, kUR) + 32896) >> 8
 *   V = (q(D2, kVR) + q(D1, kVB) + 32896) >> 8
 *   kYx = Kx s' 2^8, rounded so that kYR + kYG + kYB is the nearest integer
 *   to s' 2^8 (the largest remainders round up, the others down);
 *   kUB = kVR = min(c'/2 2^16, 32767), kUR = -c' Kr / (2(1-Kb)) 2^16,
 *   kVB = -c' Kb / (2(1-Kr)) 2^16
 *   (limited: s' = 219/255, c' = 224/255; full: s' = c' = 1)
 * @endcode
 * (no clamp: every sum lies within 0..65535 before its shift, for every
 * input).
 * Accuracy: every output sample is within 1 of the exact real-valued formula
 * (ITU-R BT.601, BT.709, BT.2020 coefficients; for RGB to YUV, of the block
 * mean's chroma) rounded to nearest and clamped. Measured over all 2^24
 * inputs for every matrix and range (tests/test_camera.cpp): largest
 * difference 1; to RGB 0.37% to 0.48% of the R, G, B samples differ by 1,
 * from RGB 8.4% to 16.0% of Y (the 8-bit coefficients: full range and
 * BT.709 the most) and 0.21% to 0.33% of U, V samples.
 */
/**@{*/

/** One 4:2:0 frame: three planes, each with its own row stride. */
typedef struct mira_yuv420 {
    uint8_t* y;               /**< luma, `width` x `height` samples */
    uint8_t* u;               /**< Cb, ceil(width/2) x ceil(height/2) samples */
    uint8_t* v;               /**< Cr, as `u` */
    uint32_t width;           /**< pixels per row, 1..MIRA_IMAGE_MAX_SIDE */
    uint32_t height;          /**< rows, 1..MIRA_IMAGE_MAX_SIDE */
    uint32_t y_stride;        /**< bytes between luma rows, >= width */
    uint32_t u_stride;        /**< bytes between Cb rows, >= (ceil(width/2) - 1) x uv_pixel_stride + 1 */
    uint32_t v_stride;        /**< bytes between Cr rows, as `u_stride` */
    uint32_t uv_pixel_stride; /**< bytes between chroma samples of a row: 1 or 2 */
} mira_yuv420;

/** Interleaved RGB layouts (alpha is 255 on output and ignored on input). */
typedef enum mira_rgb_format MIRA_ENUM_INT {
    MIRA_RGB_FORMAT_RGBA = 0, /**< R, G, B, A: `channels` 4 */
    MIRA_RGB_FORMAT_BGRA = 1, /**< B, G, R, A: `channels` 4 */
    MIRA_RGB_FORMAT_RGB = 2,  /**< R, G, B: `channels` 3 */
    MIRA_RGB_FORMAT_BGR = 3   /**< B, G, R: `channels` 3 (OpenCV's order) */
} mira_rgb_format;

/** Colour matrices (Kr, Kb). */
typedef enum mira_matrix MIRA_ENUM_INT {
    MIRA_MATRIX_BT601 = 0,  /**< 0.299, 0.114 (SD video, JPEG, most camera preview frames) */
    MIRA_MATRIX_BT709 = 1,  /**< 0.2126, 0.0722 (HD video) */
    MIRA_MATRIX_BT2020 = 2  /**< 0.2627, 0.0593 (UHD / HDR video) */
} mira_matrix;

/** Sample ranges. */
typedef enum mira_range MIRA_ENUM_INT {
    MIRA_RANGE_LIMITED = 0, /**< Y 16..235, Cb/Cr 16..240 ("video" range) */
    MIRA_RANGE_FULL = 1     /**< Y, Cb, Cr 0..255 ("JPEG" range) */
} mira_range;

/**
 * Describes a tightly packed NV21 buffer: `width` x `height` luma bytes, then
 * ceil(height/2) rows of ceil(width/2) V,U pairs (V first), as Android's
 * camera preview and `YuvImage` deliver it.
 * @param frame receives the description (untouched on failure).
 * @param buffer first byte of the buffer (not null).
 * @param size bytes available at `buffer`: at least
 * width x height + 2 ceil(width/2) ceil(height/2).
 * @param width,height pixels, 1..MIRA_IMAGE_MAX_SIDE.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT for a null pointer, a size
 * out of range or a buffer too small.
 */
MIRA_EXPORT mira_status mira_yuv420_nv21(mira_yuv420* frame, uint8_t* buffer, size_t size,
                                         uint32_t width, uint32_t height);

/**
 * As mira_yuv420_nv21 with U,V pairs (U first): NV12.
 * @param frame receives the description (untouched on failure).
 * @param buffer first byte of the buffer (not null).
 * @param size bytes available at `buffer` (as mira_yuv420_nv21).
 * @param width,height pixels, 1..MIRA_IMAGE_MAX_SIDE.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT as mira_yuv420_nv21.
 */
MIRA_EXPORT mira_status mira_yuv420_nv12(mira_yuv420* frame, uint8_t* buffer, size_t size,
                                         uint32_t width, uint32_t height);

/**
 * As mira_yuv420_nv21 for I420: the luma plane, then the U plane, then the V
 * plane, each chroma plane ceil(width/2) x ceil(height/2) bytes, rows
 * ceil(width/2) bytes apart. (YV12, V before U, is the same with `u` and `v`
 * exchanged.)
 * @param frame receives the description (untouched on failure).
 * @param buffer first byte of the buffer (not null).
 * @param size bytes available at `buffer` (as mira_yuv420_nv21).
 * @param width,height pixels, 1..MIRA_IMAGE_MAX_SIDE.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT as mira_yuv420_nv21.
 */
MIRA_EXPORT mira_status mira_yuv420_i420(mira_yuv420* frame, uint8_t* buffer, size_t size,
                                         uint32_t width, uint32_t height);

/**
 * A 4:2:0 frame to interleaved RGB with the integer formula above (nearest
 * chroma up-sampling: each chroma sample covers its 2x2 block).
 * @param src the frame: planes not null, sizes and strides as mira_yuv420
 * says, `uv_pixel_stride` 1 or 2; no two planes may share a byte (with pixel
 * stride 2, U and V may interleave: planes with one stride, an even one, that
 * start an odd number of bytes apart share none; otherwise each plane's rows
 * count from their first to their last sample).
 * @param dst W x H, `channels` 4 (RGBA, BGRA) or 3 (RGB, BGR); sharing no
 * byte with a plane of `src`.
 * @param format MIRA_RGB_FORMAT_RGBA, _BGRA, _RGB or _BGR.
 * @param matrix MIRA_MATRIX_BT601, _BT709 or _BT2020.
 * @param range MIRA_RANGE_LIMITED or MIRA_RANGE_FULL.
 * @param path MIRA_PATH_DEFAULT (the default path below), MIRA_PATH_CPU or MIRA_PATH_GPU.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_yuv420_to_rgb(const mira_yuv420* src, const mira_image* dst,
                                           mira_rgb_format format, mira_matrix matrix,
                                           mira_range range, mira_path path);

/**
 * Interleaved RGB to a 4:2:0 frame with the integer formula above: Y per
 * pixel, U and V from the mean of each 2x2 block (of the pixels that exist at
 * an odd right or bottom edge). With pixel stride 2 only the frame's samples
 * are written: the bytes between one plane's samples are left as they were.
 * @param src W x H, `channels` 4 (RGBA, BGRA; alpha ignored) or 3 (RGB, BGR).
 * @param format the layout of `src`.
 * @param dst the frame to fill, with the rules of mira_yuv420_to_rgb's
 * source; its planes may share no byte with `src` or with each other.
 * @param matrix,range,path as mira_yuv420_to_rgb.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_rgb_to_yuv420(const mira_image* src, mira_rgb_format format,
                                           const mira_yuv420* dst, mira_matrix matrix,
                                           mira_range range, mira_path path);

/**
 * A camera frame to a display image in one pass: the frame is mirrored
 * (optional, the front camera), turned clockwise by a quarter turn, scaled to
 * the destination size (each axis its own ratio) and converted with the
 * integer formula above; no full-size intermediate image is made.
 *
 * Arithmetic (exact; the CPU and the GPU give the same bytes). The source is
 * W x H, the destination W' x H'. Each destination axis reads one source
 * axis: for 0 and 180 degrees destination x reads source x and destination y
 * source y, for 90 and 270 destination x reads source y and destination y
 * source x. Along it, with D the destination length and S the source length
 * (luma samples), destination index d gives
 * @code
 *   nearest:  o = floor((2d + 1) S / (2D))                  (index, 0..S-1)
 *   bilinear: P = floor((2d + 1) S 2^16 / (2D)) - 2^15      (16.16 position)
 * @endcode
 * (pixel centres mapped onto pixel centres), counted from the other end of
 * the source axis (o -> S - 1 - o, P -> (S - 1) 2^16 - P) where the axis runs
 * backwards: source x for 180 and 270 degrees, toggled by `mirror`; source y
 * for 90 and 180 degrees. So at equal sizes destination (x, y) reads source
 * (x, y) at 0, (y, H-1-x) at 90, (W-1-x, H-1-y) at 180, (W-1-y, x) at 270,
 * with x replaced by W-1-x of the source when mirrored (as mira_rotate).
 *
 * Nearest: luma sample o, chroma sample o >> 1 on each source axis (the
 * chroma mira_yuv420_to_rgb gives that luma sample).
 * Bilinear: on each source axis, the luma taps at P and the chroma taps at
 * Pc = (P - 2^15) >> 1 in the chroma grid (ceil(S/2) samples, each sited at
 * the centre of its 2x2 block); for a position Q on an axis of n samples,
 * i = Q >> 16 (floor): taps i, i + 1 with weight w = (Q & 0xFFFF) >> 8
 * (0..255, in 1/256) on i + 1, and where i < 0 or i >= n - 1 the one tap
 * max(0, min(i, n - 1)) with weight 0. Each plane's sample is
 * @code
 *   (a (256-wx)(256-wy) + b wx (256-wy) + c (256-wx) wy + d wx wy + 2^15) >> 16
 * @endcode
 * of its four taps a (x0, y0), b (x1, y0), c (x0, y1), d (x1, y1); Y, U and V
 * so sampled go through the formula above.
 *
 * Relation to the separate calls: with MIRA_INTERPOLATION_NONE and
 * destination size equal to the turned source size (H x W for 90 and 270),
 * the result is identical, byte for byte, to mira_yuv420_to_rgb followed by
 * mira_rotate (of the converted image flipped horizontally when mirrored;
 * any width, odd included); bilinear at equal size differs from it only by
 * the centred chroma interpolation (luma weights are 0 there). When scaling,
 * the result is the turned frame resized in Y, U, V before converting; against
 * converting, turning and then mira_resize (MIRA_INTERPOLATION_BILINEAR) the
 * RGB samples differ by at most 4, on average 0.51 to 0.63, measured on a
 * smooth 320x240 frame turned and scaled to 120x160, 360x480 and 200x400
 * (tests/test_camera_transform.cpp holds it): the order of interpolation and
 * conversion, the 8-bit weights and the resize's widened filter when
 * shrinking account for it. On sharp chroma edges the difference can be as
 * large as the conversion's own chroma step.
 *
 * @param src the frame, with the rules of mira_yuv420_to_rgb's source.
 * @param dst any W' x H' from 1 x 1, `channels` 4 (RGBA, BGRA) or 3 (RGB,
 * BGR); sharing no byte with a plane of `src`.
 * @param degrees 0, 90, 180 or 270 (clockwise).
 * @param mirror 0, or 1 to flip the source horizontally before turning it.
 * @param interpolation MIRA_INTERPOLATION_NONE (nearest) or
 * MIRA_INTERPOLATION_BILINEAR; MIRA_INTERPOLATION_BOX is a bad argument.
 * @param format,matrix,range,path as mira_yuv420_to_rgb.
 * @return MIRA_STATUS_OK; MIRA_STATUS_BAD_ARGUMENT (nothing written) for an
 * argument outside the rules above or the common ones.
 * Default path: CPU.
 */
MIRA_EXPORT mira_status mira_yuv420_to_rgb_transform(const mira_yuv420* src,
                                                     const mira_image* dst, int degrees,
                                                     int mirror,
                                                     mira_interpolation interpolation,
                                                     mira_rgb_format format, mira_matrix matrix,
                                                     mira_range range, mira_path path);

/**@}*/

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* MIRA_IMAGE_H */
