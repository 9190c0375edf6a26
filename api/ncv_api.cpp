// The exported C functions: each checks its pointers, packs its arguments into
// descriptors and one request record on its own stack, and runs the feature
// once with the function's fixed mode.
#include <algorithm>

#include "mira/mira.h"
#include "mira/mira_features.h"

namespace {

using u8 = uint8_t;
using u32 = uint32_t;

// A plane of `w` bytes per row and `h` rows; stride is the larger of the
// caller's stride and the row length.
MIRA_Feature_Buf plane(const void* data, u32 w, u32 h, u32 s) {
    MIRA_Feature_Buf b;
    b.width = w;
    b.stride = std::max(s, w);
    b.height = h;
    b.bufHeight = h;
    b.data = static_cast<u8*>(const_cast<void*>(data));
    return b;
}

// As plane() but with the stride taken as the larger of `s` and `minStride`.
MIRA_Feature_Buf plane_min(const void* data, u32 w, u32 h, u32 s, u32 minStride) {
    MIRA_Feature_Buf b = plane(data, w, h, s);
    b.stride = std::max(s, minStride);
    return b;
}

MIRA_Feature_Param request(u32 id, u32 mode, void* extra = nullptr, int32_t arg = 0) {
    MIRA_Feature_Param p;
    p.apiId = id;
    p.mode = mode;
    p.reserved = 1;
    p.extra = extra;
    p.arg = arg;
    return p;
}

u32 run(const MIRA_Feature_Buf* src, u8 srcCount, MIRA_Feature_Buf* dst, u8 dstCount,
        const MIRA_Feature_Param& p) {
    MIRA_Manager manager;
    return manager.run(src, srcCount, dst, dstCount, &p);
}

// One source plane, one destination plane: the shape most wrappers share.
void run_1_1(u32 id, u32 mode, const MIRA_Feature_Buf& s, const MIRA_Feature_Buf& d,
             void* extra = nullptr, int32_t arg = 0) {
    MIRA_Feature_Buf src = s, dst = d;
    MIRA_Feature_Param p = request(id, mode, extra, arg);
    run(&src, 1, &dst, 1, p);
}

// The scalings of one plane of w x h units to one of dstW x dstH; `unit`
// bytes a unit (2 for the interleaved ones).
void scale_1_1(u32 id, u32 mode, u32 unit, const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW,
               u32 dstH, u32 dstS) {
    if (!src || !dst) return;
    run_1_1(id, mode, plane(src, unit * w, h, s), plane(dst, unit * dstW, dstH, dstS));
}

}  // namespace

extern "C" {

int ncvInit(void) {
    MIRA_Feature_Param p = request(MIRA_API_INIT, MIRA_MODE_OPENCL);
    return static_cast<int>(run(nullptr, 0, nullptr, 0, p));
}

void ncvDeinit(void) {
    MIRA_Feature_Param p = request(MIRA_API_DEINIT, MIRA_MODE_OPENCL);
    run(nullptr, 0, nullptr, 0, p);
}

void* ncvMemAlloc(u32 size, u32 alignment) {
    if (size == 0) return nullptr;
    ncvMemRequest req{size, alignment};
    MIRA_Feature_Buf dst{};
    dst.data = nullptr;
    MIRA_Feature_Param p = request(MIRA_API_MEM_ALLOC, MIRA_MODE_OPENCL, &req);
    run(nullptr, 0, &dst, 1, p);
    return dst.data;
}

void ncvMemFree(void* ptr) {
    if (ptr == nullptr) return;
    MIRA_Feature_Buf src{};
    src.data = static_cast<u8*>(ptr);
    MIRA_Feature_Param p = request(MIRA_API_MEM_FREE, MIRA_MODE_OPENCL);
    run(&src, 1, nullptr, 0, p);
}

int ncvIsNcvAllocBuffer(void* ptr) {
    if (ptr == nullptr) return 0;
    MIRA_Feature_Buf src{};
    src.data = static_cast<u8*>(ptr);
    MIRA_Feature_Param p = request(MIRA_API_MEM_CHECK, MIRA_MODE_OPENCL);
    return run(&src, 1, nullptr, 0, p) == MIRA_OK ? 1 : 0;
}

void ncvTransposeu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS) {
    if (!src || !dst) return;
    run_1_1(MIRA_API_TRANSPOSE_U8, MIRA_MODE_CPU, plane(src, w, h, s), plane(dst, h, w, dstS));
}

void ncvScaleDownu8_v2(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH,
                       u32 dstS) {
    scale_1_1(MIRA_API_SCALE_DOWN_U8, MIRA_MODE_CPU, 1, src, w, h, s, dst, dstW, dstH, dstS);
}

void ncvScaleDownMNInterleaveu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH,
                                u32 dstS) {
    scale_1_1(MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, MIRA_MODE_OPENCL, 2, src, w, h, s, dst, dstW, dstH, dstS);
}

void ncvColorYUV420toRGB8888u8(const u8* src, int w, int h, u8* dst) {
    if (!src || !dst) return;
    const u32 uw = static_cast<u32>(w), uh = static_cast<u32>(h);
    MIRA_Feature_Buf s = plane(src, uw, uh, uw), d = plane(dst, uw, uh, uw);
    s.stride = uw;  // width as given, no max()
    d.stride = uw;
    run_1_1(MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_CPU, s, d);
}

void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(const u8* srcY, const u8* srcCb,
                                                    const u8* srcCr, u32 w, u32 h, u32 sY,
                                                    u32 sCb, u32 sCr, u8* dstY, u8* dstC,
                                                    u32 dstSY, u32 dstSC) {
    if (!srcY || !srcCb || !srcCr || !dstY || !dstC) return;
    MIRA_Feature_Buf src[3] = {plane(srcY, w, h, sY), plane(srcCb, w, h, sCb),
                               plane(srcCr, w, h, sCr)};
    MIRA_Feature_Buf dst[2] = {plane(dstY, w, h, dstSY), plane(dstC, w, h >> 1, dstSC)};
    MIRA_Feature_Param p = request(MIRA_API_YUV444_TO_YUV420, MIRA_MODE_CPU);
    run(src, 3, dst, 2, p);
}

void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(const u8* srcY, const u8* srcC, u32 w,
                                                    u32 h, u32 sY, u32 sC, u8* dstY, u8* dstCb,
                                                    u8* dstCr, u32 dstSY, u32 dstSCb,
                                                    u32 dstSCr) {
    if (!srcY || !srcC || !dstY || !dstCb || !dstCr) return;
    MIRA_Feature_Buf src[2] = {plane(srcY, w, h, sY), plane(srcC, w, h >> 1, sC)};
    MIRA_Feature_Buf dst[3] = {plane(dstY, w, h, dstSY), plane(dstCb, w, h, dstSCb),
                               plane(dstCr, w, h, dstSCr)};
    MIRA_Feature_Param p = request(MIRA_API_YUV420_TO_YUV444, MIRA_MODE_CPU);
    run(src, 2, dst, 3, p);
}

void ncvColorCbCrSwapu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS) {
    if (!src || !dst) return;
    run_1_1(MIRA_API_CBCR_SWAP, MIRA_MODE_CPU, plane_min(src, w, h, s, 2 * w),
            plane_min(dst, w, h, dstS, 2 * w));
}

void ncvInterleaveu8(const u8* src0, const u8* src1, u32 w, u32 h, u32 s0, u32 s1, u8* dst,
                     u32 dstS) {
    if (!src0 || !src1 || !dst) return;
    MIRA_Feature_Buf src[2] = {plane(src0, w, h, s0), plane(src1, w, h, s1)};
    MIRA_Feature_Buf d = plane(dst, 2 * w, h, dstS);
    MIRA_Feature_Param p = request(MIRA_API_INTERLEAVE_U8, MIRA_MODE_CPU);
    run(src, 2, &d, 1, p);
}

void ncvRotateImageu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS, int rotation) {
    if (!src || !dst) return;
    const bool swap = (rotation | 2) == 3;
    MIRA_Feature_Buf d = swap ? plane(dst, h, w, dstS) : plane(dst, w, h, dstS);
    run_1_1(MIRA_API_ROTATE_U8, MIRA_MODE_CPU, plane(src, w, h, s), d, nullptr, rotation);
}

void ncvRotateImageInterleavedu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS,
                                 int rotation) {
    if (!src || !dst) return;
    const bool swap = (rotation | 2) == 3;
    MIRA_Feature_Buf d =
        swap ? plane_min(dst, h, w, dstS, 2 * h) : plane_min(dst, w, h, dstS, 2 * w);
    run_1_1(MIRA_API_ROTATE_INTERLEAVE_U8, MIRA_MODE_CPU, plane_min(src, w, h, s, 2 * w), d,
            nullptr, rotation);
}

static void gradient(u32 id, const u8* src, u32 w, u32 h, u32 s, int16_t* dx, int16_t* dy,
                     u32 dstS) {
    if (!src || !dx || !dy) return;
    MIRA_Feature_Buf in = plane(src, w, h, s);
    MIRA_Feature_Buf out[2] = {plane_min(dx, w, h, dstS, 2 * w), plane_min(dy, w, h, dstS, 2 * w)};
    MIRA_Feature_Param p = request(id, MIRA_MODE_OPENCL);
    run(&in, 1, out, 2, p);
}

void ncvImageGradientPlanars16_v2(const u8* src, u32 w, u32 h, u32 s, int16_t* dx, int16_t* dy,
                                  u32 dstS) {
    gradient(MIRA_API_IMAGE_GRADIENT_U8, src, w, h, s, dx, dy, dstS);
}

void ncvImageGradientSobelPlanars16_v3(const u8* src, u32 w, u32 h, u32 s, int16_t* dx,
                                       int16_t* dy, u32 dstS) {
    gradient(MIRA_API_IMAGE_GRADIENT_SOBEL_U8, src, w, h, s, dx, dy, dstS);
}

void ncvImageIntensityStats(const u8* src, int s, int x0, int y0, u32 rw, u32 rh, float* mean,
                            float* variance) {
    if (!src || !mean || !variance) return;
    MIRA_Feature_Buf in;
    in.width = rw;
    in.stride = static_cast<u32>(s);
    in.height = rh;
    in.bufHeight = rh;
    in.data = const_cast<u8*>(src) + static_cast<int64_t>(y0) * s + x0;
    // Two outputs laid out, count passed as 1: the feature reads both.
    MIRA_Feature_Buf out[2] = {{1, 1, 1, 1, reinterpret_cast<u8*>(mean)},
                               {1, 1, 1, 1, reinterpret_cast<u8*>(variance)}};
    MIRA_Feature_Param p = request(MIRA_API_IMAGE_INTENSITY_STATS, MIRA_MODE_CPU_ALT);
    run(&in, 1, out, 1, p);
}

void ncvFilterGaussian3x3u8(const u8* src, u32 w, u32 h, u8* dst, int border) {
    if (!src || !dst) return;
    MIRA_Feature_Buf s = plane(src, w, h, w), d = plane(dst, w, h, w);
    run_1_1(MIRA_API_FILTER_GAUSSIAN3X3_U8, MIRA_MODE_CPU, s, d, nullptr, border);
}

void ncvUpsample2DInterleavedu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS) {
    if (!src || !dst) return;
    run_1_1(MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, MIRA_MODE_OPENCL, plane(src, 2 * w, h, s),
            plane(dst, 4 * w, 2 * h, dstS));
}

void ncvScaleUpPolyu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH,
                      u32 dstS) {
    scale_1_1(MIRA_API_SCALE_UP_POLY_U8, MIRA_MODE_CPU_ALT, 1, src, w, h, s, dst, dstW, dstH, dstS);
}

void ncvScaleUpPolyInterleaveu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH,
                                u32 dstS) {
    scale_1_1(MIRA_API_SCALE_UP_POLY_CBCR_U8, MIRA_MODE_CPU_ALT, 2, src, w, h, s, dst, dstW, dstH, dstS);
}

void ncvScaleu8_v2(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH, u32 dstS,
                   u32 p1, u32 p2, u8 p3) {
    if (!src || !dst) return;
    ncvScaleParam extra{p1, p2, p3};
    run_1_1(MIRA_API_SCALE_U8, MIRA_MODE_CPU_ALT, plane(src, w, h, s),
            plane(dst, dstW, dstH, dstS), &extra);
}

void ncvFloodfillSimpleu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstS, u32 x, u32 y,
                          u8 fillValue, ncvFloodfillResult* result, u8 connectivity) {
    if (!src || !dst || !result) return;
    ncvFloodfillParam extra{x, y, fillValue, connectivity, result};
    run_1_1(MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_MODE_CPU_ALT, plane(src, w, h, s),
            plane(dst, w, h, dstS), &extra);
}

void ncvTransformAffineClippedu8_v2(const u8* src, u32 w, u32 h, u32 s, const float* matrix,
                                    u8* dst, u32 dstW, u32 dstH, u32 dstS, u32* border, u32 p) {
    if (!src || !matrix || !dst) return;
    MIRA_Feature_Buf in[2] = {plane(src, w, h, s), {3, 12, 2, 2, (u8*)matrix}};
    MIRA_Feature_Buf out[2] = {plane(dst, dstW, dstH, dstS),
                               {2, 2, dstH, dstH, reinterpret_cast<u8*>(border)}};
    MIRA_Feature_Param req = request(MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, MIRA_MODE_OPENCL,
                                     nullptr, static_cast<int32_t>(p));
    run(in, 2, out, 2, req);
}

void ncvScaleDownMNu8(const u8* src, u32 w, u32 h, u32 s, u8* dst, u32 dstW, u32 dstH,
                      u32 dstS) {
    scale_1_1(MIRA_API_SCALEDOWN_MN_U8, MIRA_MODE_OPENCL, 1, src, w, h, s, dst, dstW, dstH, dstS);
}

}  // extern "C"
