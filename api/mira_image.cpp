// The checked C interface (mira/mira_image.h): each function validates every
// argument, then builds the descriptors and the request record of the feature
// that computes it and runs it once through the manager, in the mode its path
// names. The pixel work is the features' own.
#include "mira/mira_image.h"

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>

#include "api/image_overlap.h"
#include "gpu/src/inc/mira_gpu.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "ops/filters/floodfill.h"
#include "ops/requests.h"
#include "ops/warp/affine_clipped.h"
#include "ops/scaling/scale.h"
#include "ops/scaling/scale_up_poly.h"

namespace {

using u8 = uint8_t;
using u32 = uint32_t;
using u64 = uint64_t;

using mira::kMaxSpan;  // bytes an image may span (pipelines, GPU records)

// Bytes per row and the span of an image whose samples are `sampleBytes` wide.
u64 row_bytes(const mira_image& im, u32 sampleBytes = 1) {
    return u64(im.width) * im.channels * sampleBytes;
}
u64 span(const mira_image& im, u32 sampleBytes = 1) {
    return u64(im.stride) * (im.height - 1) + row_bytes(im, sampleBytes);
}

// A usable image with `channels` samples per pixel.
bool image_ok(const mira_image* im, u32 channels, u32 sampleBytes = 1) {
    if (im == nullptr || im->data == nullptr || im->channels != channels) return false;
    if (im->width < 1 || im->height < 1 || im->width > MIRA_IMAGE_MAX_SIDE ||
        im->height > MIRA_IMAGE_MAX_SIDE)
        return false;
    if (im->stride < row_bytes(*im, sampleBytes)) return false;
    return span(*im, sampleBytes) <= kMaxSpan;
}

bool same_size(const mira_image* a, const mira_image* b) {
    return a->width == b->width && a->height == b->height;
}

// Whether two images (each with its sample width) share a byte: judged by
// the bytes of their rows, so images whose rows interleave do not overlap.
bool overlap(const mira_image* a, const mira_image* b, u32 aBytes = 1, u32 bBytes = 1) {
    const mira_overlap::Rows ra{reinterpret_cast<uintptr_t>(a->data), a->stride,
                                row_bytes(*a, aBytes), a->height};
    const mira_overlap::Rows rb{reinterpret_cast<uintptr_t>(b->data), b->stride,
                                row_bytes(*b, bBytes), b->height};
    return mira_overlap::overlap(ra, rb);
}

// A result record of `bytes` bytes as a one-row image, for the overlap test.
mira_image record(const void* p, u32 bytes) {
    return mira_image{static_cast<u8*>(const_cast<void*>(p)), bytes, 1, bytes, 1};
}

// The request mode of a path (the feature's default for MIRA_PATH_DEFAULT),
// -1 for a value that names no path.
int mode_of(mira_path path, u32 defaultMode) {
    switch (path) {
        case MIRA_PATH_DEFAULT: return int(defaultMode);
        case MIRA_PATH_CPU: return MIRA_MODE_CPU;
        case MIRA_PATH_GPU: return MIRA_MODE_OPENCL;
    }
    return -1;
}

// A descriptor of `bytes` bytes per row (the feature's unit of width).
MIRA_Feature_Buf desc(const mira_image* im, u32 width) {
    MIRA_Feature_Buf b;
    b.width = width;
    b.stride = im->stride;
    b.height = im->height;
    b.bufHeight = im->height;
    b.data = im->data;
    return b;
}

mira_status status_of(u32 featureStatus) {
    switch (featureStatus) {
        case MIRA_OK: return MIRA_STATUS_OK;
        case MIRA_ERR_FAIL: return MIRA_STATUS_OUT_OF_MEMORY;
        default: return MIRA_STATUS_BAD_ARGUMENT;
    }
}

// `pixelBytes`: the channels of the request's interleaved images
// (ops/requests.h), 1 for planes.
mira_status run(u32 id, int mode, const MIRA_Feature_Buf* src, u8 srcCount, MIRA_Feature_Buf* dst,
                u8 dstCount, void* extra = nullptr, int32_t arg = 0, u32 pixelBytes = 1) {
    MIRA_Feature_Param p;
    p.apiId = id;
    p.mode = u32(mode);
    p.reserved = pixelBytes;
    p.extra = extra;
    p.arg = arg;
    MIRA_Manager manager;
    return status_of(manager.run(src, srcCount, dst, dstCount, &p));
}

// One source, one destination.
mira_status run_1_1(u32 id, int mode, MIRA_Feature_Buf s, MIRA_Feature_Buf d,
                    void* extra = nullptr, int32_t arg = 0, u32 pixelBytes = 1) {
    return run(id, mode, &s, 1, &d, 1, extra, arg, pixelBytes);
}

// A channel count an image may have at all: 1 to 4.
bool channels_valid(const mira_image* im) {
    return im != nullptr && im->channels >= 1 && im->channels <= 4;
}

// The status of images a function refused for their channels, where it takes
// one count for all of them: MIRA_STATUS_UNSUPPORTED when they are valid
// images that agree on a count from 1 to 4 (one the function does not take),
// MIRA_STATUS_BAD_ARGUMENT otherwise.
mira_status refuse_channels(std::initializer_list<const mira_image*> images) {
    const mira_image* first = *images.begin();
    if (!channels_valid(first)) return MIRA_STATUS_BAD_ARGUMENT;
    for (const mira_image* im : images)
        if (!image_ok(im, first->channels)) return MIRA_STATUS_BAD_ARGUMENT;
    return MIRA_STATUS_UNSUPPORTED;
}

constexpr mira_status kBad = MIRA_STATUS_BAD_ARGUMENT;

}  // namespace

extern "C" {

const char* mira_status_string(mira_status status) {
    switch (status) {
        case MIRA_STATUS_OK: return "ok";
        case MIRA_STATUS_BAD_ARGUMENT: return "bad argument";
        case MIRA_STATUS_OUT_OF_MEMORY: return "out of memory";
        case MIRA_STATUS_UNSUPPORTED: return "unsupported";
    }
    return "unknown status";
}

// ------------------------------------------------------------ lifecycle

mira_status mira_init(void) {
    MIRA_Feature_Param p{MIRA_API_INIT, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Manager manager;
    return manager.run(nullptr, 0, nullptr, 0, &p) == MIRA_OK ? MIRA_STATUS_OK
                                                               : MIRA_STATUS_UNSUPPORTED;
}

namespace {
std::mutex g_name_mutex;
std::string g_device_name;
}  // namespace

void mira_shutdown(void) {
    MIRA_Feature_Param p{MIRA_API_DEINIT, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Manager manager;
    manager.run(nullptr, 0, nullptr, 0, &p);
}

namespace {
// Whether the GPU path has a device now (no name query).
bool device_up() {
    return zor_device_manager_inited() && zor_opencl_usable();
}
}  // namespace

const char* mira_device_name(void) {
    if (!device_up()) return nullptr;
    // The name read when the device came up (it cannot change while it is up).
    char name[256] = {};
    if (!zor_opencl_device_name(name, sizeof name)) return nullptr;
    std::lock_guard<std::mutex> lock(g_name_mutex);
    if (g_device_name != name) g_device_name = name;
    return g_device_name.c_str();
}

mira_status mira_set_program_cache_dir(const char* dir) {
    if (dir && strnlen(dir, 4096) >= 4096) return MIRA_STATUS_BAD_ARGUMENT;
    ZOR::program_cache_set_dir(dir);
    return MIRA_STATUS_OK;
}

void* mira_alloc(size_t size) {
    if (size == 0 || size > kMaxSpan) return nullptr;
    ncvMemRequest req{u32(size), 128};
    MIRA_Feature_Buf dst{};
    const bool gpu = device_up();
    MIRA_Feature_Param p{MIRA_API_MEM_ALLOC, gpu ? u32(MIRA_MODE_OPENCL) : u32(MIRA_MODE_CPU), 1,
                         &req, 0};
    MIRA_Manager manager;
    if (manager.run(nullptr, 0, &dst, 1, &p) != MIRA_OK) return nullptr;
    return dst.data;
}

void mira_free(void* block) {
    if (block == nullptr) return;
    MIRA_Feature_Buf src{};
    src.data = static_cast<u8*>(block);
    MIRA_Manager manager;
    MIRA_Feature_Param check{MIRA_API_MEM_CHECK, MIRA_MODE_OPENCL, 1, nullptr, 0};
    const bool shared = zor_device_manager_exists() &&
                        manager.run(&src, 1, nullptr, 0, &check) == MIRA_OK;
    MIRA_Feature_Param p{MIRA_API_MEM_FREE, shared ? u32(MIRA_MODE_OPENCL) : u32(MIRA_MODE_CPU),
                         1, nullptr, 0};
    manager.run(&src, 1, nullptr, 0, &p);
}

// ------------------------------------------------------------ geometry

// Pixels of 1 to 4 bytes: the planar feature with the request's pixel size
// (widths count pixels); 1-byte pixels are the `ncv` function's request.
mira_status mira_transpose(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !channels_valid(src)) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch)) return kBad;
    if (dst->width != src->height || dst->height != src->width || overlap(src, dst)) return kBad;
    return run_1_1(MIRA_API_TRANSPOSE_U8, mode, desc(src, src->width), desc(dst, dst->width),
                   nullptr, 0, ch);
}

mira_status mira_rotate(const mira_image* src, const mira_image* dst, int degrees,
                        mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !channels_valid(src) || dst == nullptr) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch)) return kBad;
    int code;
    switch (degrees) {
        case 90: code = 1; break;
        case 180: code = 2; break;
        case 270: code = 3; break;
        default: return kBad;
    }
    const bool swap = code != 2;
    if (dst->width != (swap ? src->height : src->width) ||
        dst->height != (swap ? src->width : src->height) || overlap(src, dst))
        return kBad;
    // Planes count bytes; pairs count pairs (the interleaved feature's
    // unit); colour pixels count pixels, with the pixel size in the request.
    return run_1_1(ch == 2 ? MIRA_API_ROTATE_INTERLEAVE_U8 : MIRA_API_ROTATE_U8, mode,
                   desc(src, src->width), desc(dst, dst->width), nullptr, code,
                   ch == 2 ? 1 : ch);
}

// ------------------------------------------------------------ colour

mira_status mira_nv21_to_rgba(const mira_image* y, const mira_image* vu, const mira_image* dst,
                              mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !image_ok(y, 1) || !image_ok(vu, 2) || !image_ok(dst, 4)) return kBad;
    if (y->width % 2 || y->height % 2 || dst->stride % 4) return kBad;
    if (vu->width != y->width / 2 || vu->height != y->height / 2 || !same_size(y, dst)) return kBad;
    if (overlap(y, dst) || overlap(vu, dst)) return kBad;
    MIRA_Feature_Buf s[2] = {desc(y, y->width), desc(vu, 2 * vu->width)};
    MIRA_Feature_Buf d = desc(dst, dst->width);
    return run(MIRA_API_NV21_TO_RGBA8888, mode, s, 2, &d, 1);
}

mira_status mira_yuv444_to_yuv420sp(const mira_image* y, const mira_image* cb,
                                    const mira_image* cr, const mira_image* dst_y,
                                    const mira_image* dst_cbcr, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !image_ok(y, 1) || !image_ok(cb, 1) || !image_ok(cr, 1) ||
        !image_ok(dst_y, 1) || !image_ok(dst_cbcr, 2))
        return kBad;
    if (y->width % 2 || y->height % 2 || !same_size(y, cb) || !same_size(y, cr) ||
        !same_size(y, dst_y) || dst_cbcr->width != y->width / 2 ||
        dst_cbcr->height != y->height / 2)
        return kBad;
    for (const mira_image* s : {y, cb, cr})
        for (const mira_image* d : {dst_y, dst_cbcr})
            if (overlap(s, d)) return kBad;
    if (overlap(dst_y, dst_cbcr)) return kBad;
    MIRA_Feature_Buf s[3] = {desc(y, y->width), desc(cb, cb->width), desc(cr, cr->width)};
    MIRA_Feature_Buf d[2] = {desc(dst_y, dst_y->width), desc(dst_cbcr, 2 * dst_cbcr->width)};
    return run(MIRA_API_YUV444_TO_YUV420, mode, s, 3, d, 2);
}

mira_status mira_yuv420sp_to_yuv444(const mira_image* y, const mira_image* cbcr,
                                    const mira_image* dst_y, const mira_image* dst_cb,
                                    const mira_image* dst_cr, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !image_ok(y, 1) || !image_ok(cbcr, 2) || !image_ok(dst_y, 1) ||
        !image_ok(dst_cb, 1) || !image_ok(dst_cr, 1))
        return kBad;
    if (y->width % 2 || y->height % 2 || cbcr->width != y->width / 2 ||
        cbcr->height != y->height / 2 || !same_size(y, dst_y) || !same_size(y, dst_cb) ||
        !same_size(y, dst_cr))
        return kBad;
    const mira_image* dsts[3] = {dst_y, dst_cb, dst_cr};
    for (int i = 0; i < 3; ++i) {
        if (overlap(y, dsts[i]) || overlap(cbcr, dsts[i])) return kBad;
        for (int j = i + 1; j < 3; ++j)
            if (overlap(dsts[i], dsts[j])) return kBad;
    }
    MIRA_Feature_Buf s[2] = {desc(y, y->width), desc(cbcr, 2 * cbcr->width)};
    MIRA_Feature_Buf d[3] = {desc(dst_y, dst_y->width), desc(dst_cb, dst_cb->width),
                             desc(dst_cr, dst_cr->width)};
    return run(MIRA_API_YUV420_TO_YUV444, mode, s, 2, d, 3);
}

mira_status mira_swap_pairs(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0) return kBad;
    if (!image_ok(src, 2) || !image_ok(dst, 2)) return refuse_channels({src, dst});
    if (!same_size(src, dst) || overlap(src, dst)) return kBad;
    // The swap counts pairs.
    return run_1_1(MIRA_API_CBCR_SWAP, mode, desc(src, src->width), desc(dst, dst->width));
}

mira_status mira_interleave(const mira_image* a, const mira_image* b, const mira_image* dst,
                            mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !image_ok(a, 1) || !image_ok(b, 1) || !image_ok(dst, 2)) return kBad;
    if (!same_size(a, b) || !same_size(a, dst) || overlap(a, dst) || overlap(b, dst)) return kBad;
    MIRA_Feature_Buf s[2] = {desc(a, a->width), desc(b, b->width)};
    MIRA_Feature_Buf d = desc(dst, 2 * dst->width);
    return run(MIRA_API_INTERLEAVE_U8, mode, s, 2, &d, 1);
}

// ------------------------------------------------------------ filters

static mira_status gradient(u32 id, const mira_image* src, const mira_image* dx,
                            const mira_image* dy, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_OPENCL);
    if (mode < 0 || !image_ok(src, 1) || !image_ok(dx, 1, 2) || !image_ok(dy, 1, 2)) return kBad;
    if (!same_size(src, dx) || !same_size(src, dy) || dx->stride % 2 || dy->stride % 2 ||
        reinterpret_cast<uintptr_t>(dx->data) % 2 || reinterpret_cast<uintptr_t>(dy->data) % 2)
        return kBad;
    if (overlap(src, dx, 1, 2) || overlap(src, dy, 1, 2) || overlap(dx, dy, 2, 2)) return kBad;
    MIRA_Feature_Buf s = desc(src, src->width);
    MIRA_Feature_Buf d[2] = {desc(dx, dx->width), desc(dy, dy->width)};
    return run(id, mode, &s, 1, d, 2);
}

mira_status mira_gradient(const mira_image* src, const mira_image* dx, const mira_image* dy,
                          mira_path path) {
    return gradient(MIRA_API_IMAGE_GRADIENT_U8, src, dx, dy, path);
}

mira_status mira_sobel(const mira_image* src, const mira_image* dx, const mira_image* dy,
                       mira_path path) {
    return gradient(MIRA_API_IMAGE_GRADIENT_SOBEL_U8, src, dx, dy, path);
}

mira_status mira_gaussian3x3(const mira_image* src, const mira_image* dst,
                             mira_gaussian_border border, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || !channels_valid(src)) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch)) return kBad;
    if (border != MIRA_GAUSSIAN_BORDER_ZERO && border != MIRA_GAUSSIAN_BORDER_RENORMALISED)
        return kBad;
    if (!same_size(src, dst) || overlap(src, dst)) return kBad;
    // Widths count pixels; each of the `ch` interleaved channels is filtered
    // as a plane.
    return run_1_1(MIRA_API_FILTER_GAUSSIAN3X3_U8, mode, desc(src, src->width),
                   desc(dst, dst->width), nullptr, int32_t(border), ch);
}

mira_status mira_intensity_stats(const mira_image* src, uint32_t x, uint32_t y, uint32_t w,
                                 uint32_t h, float* mean, float* variance, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU_ALT);
    if (mode < 0 || mean == nullptr || variance == nullptr) return kBad;
    if (!image_ok(src, 1)) return refuse_channels({src});
    if (w < 1 || h < 1 || x >= src->width || y >= src->height || w > src->width - x ||
        h > src->height - y)
        return kBad;
    // The results must not lie in the image (they are written after it is read,
    // but a caller's image must stay as it was).
    const mira_image m1{reinterpret_cast<u8*>(mean), 1, 1, 4, 4};
    const mira_image v1{reinterpret_cast<u8*>(variance), 1, 1, 4, 4};
    if (overlap(src, &m1) || overlap(src, &v1) || overlap(&m1, &v1)) return kBad;
    MIRA_Feature_Buf in;
    in.width = w;
    in.stride = src->stride;
    in.height = h;
    in.bufHeight = h;
    in.data = src->data + u64(y) * src->stride + x;
    MIRA_Feature_Buf out[2] = {{1, 1, 1, 1, reinterpret_cast<u8*>(mean)},
                               {1, 1, 1, 1, reinterpret_cast<u8*>(variance)}};
    return run(MIRA_API_IMAGE_INTENSITY_STATS, mode, &in, 1, out, 1);
}

mira_status mira_flood_fill(const mira_image* src, const mira_image* mask, uint32_t seed_x,
                            uint32_t seed_y, int connectivity, uint8_t fill,
                            mira_fill_result* result, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU_ALT);
    if (mode < 0 || result == nullptr) return kBad;
    if (!image_ok(src, 1) || !image_ok(mask, 1)) return refuse_channels({src, mask});
    if (!same_size(src, mask) || overlap(src, mask)) return kBad;
    // The result is written after the fill: it must lie in neither image.
    const mira_image res = record(result, sizeof *result);
    if (overlap(src, &res) || overlap(mask, &res)) return kBad;
    if (src->width > mira::kFloodfillMaxSide || src->height > mira::kFloodfillMaxSide) return kBad;
    if (seed_x >= src->width || seed_y >= src->height) return kBad;
    if ((connectivity != 4 && connectivity != 8) || fill == 0) return kBad;
    ncvFloodfillResult r{};
    ncvFloodfillParam extra{seed_x, seed_y, fill, u32(connectivity), &r};
    const mira_status st = run_1_1(MIRA_API_FLOODFILL_SIMPLE_U8, mode, desc(src, src->width),
                                   desc(mask, mask->width), &extra);
    if (st == MIRA_STATUS_OK) {
        result->count = r.count;
        result->seed_value = r.seedValue;
        result->x = r.x;
        result->y = r.y;
        result->width = r.width;
        result->height = r.height;
    }
    return st;
}

// ------------------------------------------------------------ scaling

mira_status mira_scale_down(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU);
    if (mode < 0 || src == nullptr || dst == nullptr) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch) || overlap(src, dst)) return kBad;
    if (ch != 1 && ch != 3 && ch != 4) return MIRA_STATUS_UNSUPPORTED;
    const u32 m = src->width / dst->width, n = src->height / dst->height;
    if (m < 1 || n < 1 || m > 255 || n > 255 || m * dst->width != src->width ||
        n * dst->height != src->height)
        return kBad;
    return run_1_1(MIRA_API_SCALE_DOWN_U8, mode, desc(src, ch * src->width),
                   desc(dst, ch * dst->width), nullptr, 0, ch);
}

mira_status mira_scale_down_box(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_OPENCL);
    if (mode < 0 || src == nullptr || dst == nullptr) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch)) return kBad;
    if (dst->width > src->width || dst->height > src->height || overlap(src, dst)) return kBad;
    if (ch < 1 || ch > 4) return MIRA_STATUS_UNSUPPORTED;
    // The CPU path averages each destination pixel's area: for planes and
    // colour pixels that is the planar feature's alternative CPU mode (its
    // mode 0 is the kernel's twin); colour pixels tell it their channels.
    const bool planar = ch != 2;
    const int cpuMode = planar && mode == MIRA_MODE_CPU ? int(MIRA_MODE_CPU_ALT) : mode;
    return run_1_1(planar ? MIRA_API_SCALEDOWN_MN_U8 : MIRA_API_SCALEDOWN_MNINTERLEAVE_U8,
                   cpuMode, desc(src, ch * src->width), desc(dst, ch * dst->width), nullptr, 0,
                   ch >= 3 ? ch : 1);
}

mira_status mira_resize(const mira_image* src, const mira_image* dst,
                        mira_interpolation interpolation, mira_border border,
                        uint8_t border_value, mira_path path) {
    // Both CPU modes of the feature run the same pipelines; mode 0 first
    // copies the whole source into a one-pixel frame, which changes no byte
    // (the pipelines apply the border rule themselves) and costs a pass over
    // the source, so the CPU path takes the direct one.
    const int mode = mode_of(path == MIRA_PATH_CPU ? MIRA_PATH_DEFAULT : path, MIRA_MODE_CPU_ALT);
    if (mode < 0 || src == nullptr || dst == nullptr) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch) || overlap(src, dst)) return kBad;
    if (ch < 1 || ch > 4) return MIRA_STATUS_UNSUPPORTED;
    if (interpolation != MIRA_INTERPOLATION_NONE && interpolation != MIRA_INTERPOLATION_BILINEAR &&
        interpolation != MIRA_INTERPOLATION_BOX)
        return kBad;
    if (border != MIRA_BORDER_NONE && border != MIRA_BORDER_CONSTANT &&
        border != MIRA_BORDER_REPLICATE)
        return kBad;
    mira::scale_param extra{u32(interpolation), u32(border), border_value};
    return run_1_1(MIRA_API_SCALE_U8, mode, desc(src, ch * src->width), desc(dst, ch * dst->width),
                   &extra, mira::kScaleAxesIndependent, ch);
}

mira_status mira_upscale_lanczos(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_CPU_ALT);
    if (mode < 0 || src == nullptr || dst == nullptr) return kBad;
    const u32 ch = src->channels;
    if (!image_ok(src, ch) || !image_ok(dst, ch)) return kBad;
    if (dst->width < src->width || dst->height < src->height || overlap(src, dst)) return kBad;
    if (ch < 1 || ch > 4) return MIRA_STATUS_UNSUPPORTED;
    // Pairs: the CbCr feature; colour pixels: the plane feature told the
    // pixels' channels.
    return run_1_1(ch == 2 ? MIRA_API_SCALE_UP_POLY_CBCR_U8 : MIRA_API_SCALE_UP_POLY_U8, mode,
                   desc(src, ch * src->width), desc(dst, ch * dst->width), nullptr,
                   mira::kScaleAxesIndependent, ch >= 3 ? ch : 1);
}

mira_status mira_upsample_chroma(const mira_image* src, const mira_image* dst, mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_OPENCL);
    if (mode < 0) return kBad;
    if (!image_ok(src, 2) || !image_ok(dst, 2)) return refuse_channels({src, dst});
    if (dst->width != 2 * src->width || dst->height != 2 * src->height || overlap(src, dst))
        return kBad;
    return run_1_1(MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, mode, desc(src, 2 * src->width),
                   desc(dst, 2 * dst->width));
}

mira_status mira_warp_affine(const mira_image* src, const float matrix[6], const mira_image* dst,
                             mira_warp_interpolation interpolation, uint32_t* spans,
                             mira_path path) {
    const int mode = mode_of(path, MIRA_MODE_OPENCL);
    if (mode < 0 || src == nullptr || dst == nullptr) return kBad;
    // Planes and 3- or 4-channel pixels, the same in both images: images
    // that differ, or a count outside 1..4, are inconsistent; pairs are
    // unsupported.
    const u32 ch = src->channels;
    if (dst->channels != ch || !channels_valid(src)) return kBad;
    if (ch != 1 && ch != 3 && ch != 4) return MIRA_STATUS_UNSUPPORTED;
    if (!image_ok(src, ch) || !image_ok(dst, ch) || matrix == nullptr) return kBad;
    if (interpolation != MIRA_WARP_NEAREST && interpolation != MIRA_WARP_BILINEAR &&
        interpolation != MIRA_WARP_BICUBIC)
        return kBad;
    for (int i = 0; i < 6; ++i)
        if (!std::isfinite(matrix[i])) return kBad;
    if (overlap(src, dst)) return kBad;
    if (spans != nullptr) {
        const mira_image s{reinterpret_cast<u8*>(spans), 2, dst->height, 8, 4};
        if (overlap(src, &s) || overlap(dst, &s)) return kBad;
    }
    float m[6];
    std::memcpy(m, matrix, sizeof m);
    MIRA_Feature_Buf in[2] = {desc(src, src->width), {3, 12, 2, 2, reinterpret_cast<u8*>(m)}};
    // The feature's own border table (the `ncv` function's) is not asked
    // for: the spans here come from the pixels' arithmetic.
    MIRA_Feature_Buf out[2] = {desc(dst, dst->width), {2, 2, dst->height, dst->height, nullptr}};
    // Colour images: widths in pixels of `ch` bytes.
    const mira_status st = run(MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode, in, 2, out, 2, nullptr,
                               int32_t(interpolation), ch);
    if (st == MIRA_STATUS_OK && spans != nullptr)
        mira::affine_warp_spans(src->width, src->height, m, dst->width, dst->height,
                                mira::affine_interp(int32_t(interpolation)), spans);
    return st;
}

}  // extern "C"
