// Every exported function and direct kernel, driven with fuzzer-chosen
// arguments. Each op builds its planes exactly as large as the descriptors the
// public function packs (see api/ncv_api.cpp), calls it once and checks the
// planes afterwards.
#pragma once

#include <algorithm>

#include "common/operations.h"
#include "fuzz_images.h"
#include "mira/mira.h"
#include "mira/mira_kernels.h"

// The direct kernels are declared weak here so that a target still builds
// while one of them is missing from the library; LLVMFuzzerInitialize lists
// the missing ones and the op is skipped.
namespace mira {
#define MIRA_FUZZ_WEAK __attribute__((weak))
MIRA_FUZZ_WEAK void ncvTransposeu8(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvColorYUV420toRGB8888u8(const uint8_t*, const uint8_t*, int, int, uint8_t*);
MIRA_FUZZ_WEAK void ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(const uint8_t*, const uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t*, uint8_t*, uint32_t, uint32_t);
MIRA_FUZZ_WEAK void ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(const uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t*, uint8_t*, uint8_t*, uint32_t, uint32_t, uint32_t);
MIRA_FUZZ_WEAK void Copy_Plane(const uint8_t*, int, uint8_t*, int, int, int);
MIRA_FUZZ_WEAK void Copy_Plane_0(const uint8_t*, int, uint8_t*, int, int, int);
MIRA_FUZZ_WEAK void ncvColorCbCrSwapu8(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvInterleaveu8(const uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvRotateImageu8(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t, int);
MIRA_FUZZ_WEAK void neon_Imageu8_rotate_90(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void neon_Imageu8_rotate_180(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void neon_Imageu8_rotate_270(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvRotateImageInterleavedu8(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t, int);
MIRA_FUZZ_WEAK void neon_ImageInterleavedu8_rotate_90(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void neon_ImageInterleavedu8_rotate_180(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void neon_ImageInterleavedu8_rotate_270(const uint8_t*, uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvImageGradientPlanars16(const uint8_t*, uint32_t, uint32_t, uint32_t, int16_t*, int16_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvImageGradientSobelPlanars16_v3(const uint8_t*, uint32_t, uint32_t, uint32_t, int16_t*, int16_t*, uint32_t);
MIRA_FUZZ_WEAK void ncvFilterGaussian3x3u8(const uint8_t*, uint8_t*, uint32_t, uint32_t, int);
#undef MIRA_FUZZ_WEAK
}  // namespace mira

namespace mira_fuzz {

// Name and presence of every direct kernel, for the start-up report.
struct DirectKernel { const char* name; bool present; };
inline std::vector<DirectKernel> direct_kernels() {
#define MIRA_FUZZ_K(f) {#f, &mira::f != nullptr}
    return {MIRA_FUZZ_K(ncvTransposeu8), MIRA_FUZZ_K(ncvColorYUV420toRGB8888u8),
            MIRA_FUZZ_K(ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8),
            MIRA_FUZZ_K(ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8), MIRA_FUZZ_K(Copy_Plane),
            MIRA_FUZZ_K(Copy_Plane_0), MIRA_FUZZ_K(ncvColorCbCrSwapu8), MIRA_FUZZ_K(ncvInterleaveu8),
            MIRA_FUZZ_K(ncvRotateImageu8), MIRA_FUZZ_K(neon_Imageu8_rotate_90),
            MIRA_FUZZ_K(neon_Imageu8_rotate_180), MIRA_FUZZ_K(neon_Imageu8_rotate_270),
            MIRA_FUZZ_K(ncvRotateImageInterleavedu8), MIRA_FUZZ_K(neon_ImageInterleavedu8_rotate_90),
            MIRA_FUZZ_K(neon_ImageInterleavedu8_rotate_180),
            MIRA_FUZZ_K(neon_ImageInterleavedu8_rotate_270), MIRA_FUZZ_K(ncvImageGradientPlanars16),
            MIRA_FUZZ_K(ncvImageGradientSobelPlanars16_v3), MIRA_FUZZ_K(ncvFilterGaussian3x3u8)};
#undef MIRA_FUZZ_K
}

}  // namespace mira_fuzz

namespace mira_fuzz {

// Calls a direct kernel when the library has it.
#define DIRECT(f, ...) do { if (&mira::f != nullptr) mira::f(__VA_ARGS__); } while (0)

using u8 = uint8_t;
using u32 = uint32_t;

inline u32 mx(u32 a, u32 b) { return a > b ? a : b; }

// ------------------------------------------------------------ geometry, colour
inline void op_transpose(FuzzedDataProvider& f, Images& im, bool direct) {
    u32 w = dim(f), h = dim(f), s = stride(f, w), ds = stride(f, h);
    if (direct) { s = mx(s, w); ds = mx(ds, h); }
    const u8* src = im.plane(w, h, mx(s, w), true, f);
    u8* dst = im.plane(h, w, mx(ds, h), false, f);
    if (direct) DIRECT(ncvTransposeu8, src, w, h, s, dst, ds);
    else ncvTransposeu8(src, w, h, s, dst, ds);
}

using RotateFn = void (*)(const u8*, u32, u32, u32, u8*, u32, int);
using QuarterTurnFn = void (*)(const u8*, u32, u32, u32, u8*, u32);

// A rotation of `bpp`-byte pixels (1: the planar rotation, 2: the interleaved
// one) of at most `maxDim` pixels a side: variant 0 calls the C function
// `entry`, 1 one of the direct quarter turns, 2 the mira:: function `direct`.
// The direct ones are weak (null when missing) and then skipped.
inline void rotate_case(FuzzedDataProvider& f, Images& im, int variant, u32 bpp, u32 maxDim,
                        RotateFn entry, RotateFn direct, QuarterTurnFn r90, QuarterTurnFn r180,
                        QuarterTurnFn r270) {
    u32 w = dim(f, maxDim), h = dim(f, maxDim), s = stride(f, bpp * w),
        ds = stride(f, bpp * mx(w, h));
    int rot = code(f, -1, 4);
    if (variant == 1) rot = 1 + f.ConsumeIntegralInRange<int>(0, 2);  // direct 90/180/270
    if (variant != 0) s = mx(s, bpp * w);
    const bool swap = (rot | 2) == 3;
    const u32 dw = swap ? h : w, dh = swap ? w : h;
    if (variant != 0) ds = mx(ds, bpp * dw);
    const u8* src = im.plane(bpp * w, h, mx(s, bpp * w), true, f);
    u8* dst = im.plane(bpp * dw, dh, mx(ds, bpp * dw), false, f);
    QuarterTurnFn quarter = rot == 1 ? r90 : rot == 2 ? r180 : r270;
    if (variant == 0) entry(src, w, h, s, dst, ds, rot);
    else if (variant == 2) { if (direct) direct(src, w, h, s, dst, ds, rot); }
    else if (quarter) quarter(src, w, h, s, dst, ds);
}

inline void op_rotate(FuzzedDataProvider& f, Images& im, int variant) {
    rotate_case(f, im, variant, 1, 300, ncvRotateImageu8, &mira::ncvRotateImageu8,
                &mira::neon_Imageu8_rotate_90, &mira::neon_Imageu8_rotate_180,
                &mira::neon_Imageu8_rotate_270);
}

inline void op_rotate_interleaved(FuzzedDataProvider& f, Images& im, int variant) {
    rotate_case(f, im, variant, 2, 150, ncvRotateImageInterleavedu8,
                &mira::ncvRotateImageInterleavedu8, &mira::neon_ImageInterleavedu8_rotate_90,
                &mira::neon_ImageInterleavedu8_rotate_180,
                &mira::neon_ImageInterleavedu8_rotate_270);
}

inline void op_nv21(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f), h = dim(f);
    const size_t luma = static_cast<size_t>(w) * h, chroma = static_cast<size_t>(w) * (h / 2);
    u8* dst = nullptr;
    if (direct) {
        const u8* y = im.block(luma, true, f);
        const u8* uv = im.block(chroma, true, f);
        dst = im.block(4 * luma, false, f);
        DIRECT(ncvColorYUV420toRGB8888u8, y, uv, static_cast<int>(w), static_cast<int>(h), dst);
    } else {
        const u8* src = im.block(luma + chroma, true, f);
        dst = im.block(4 * luma, false, f);
        ncvColorYUV420toRGB8888u8(src, static_cast<int>(w), static_cast<int>(h), dst);
    }
}

inline void op_444_to_420(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f), h = dim(f);
    u32 sy = stride(f, w), scb = stride(f, w), scr = stride(f, w), dsy = stride(f, w),
        dsc = stride(f, w);
    if (direct) { sy = mx(sy, w); scb = mx(scb, w); scr = mx(scr, w); dsy = mx(dsy, w); dsc = mx(dsc, w); }
    const u8* y = im.plane(w, h, mx(sy, w), true, f);
    const u8* cb = im.plane(w, h, mx(scb, w), true, f);
    const u8* cr = im.plane(w, h, mx(scr, w), true, f);
    u8* dy = im.plane(w, h, mx(dsy, w), false, f);
    u8* dc = im.plane(w, h >> 1, mx(dsc, w), false, f);
    if (direct) DIRECT(ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8, y, cb, cr, w, h, sy, scb, scr, dy, dc, dsy, dsc);
    else ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(y, cb, cr, w, h, sy, scb, scr, dy, dc, dsy, dsc);
}

inline void op_420_to_444(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f), h = dim(f);
    u32 sy = stride(f, w), sc = stride(f, w), dsy = stride(f, w), dscb = stride(f, w),
        dscr = stride(f, w);
    if (direct) { sy = mx(sy, w); sc = mx(sc, w); dsy = mx(dsy, w); dscb = mx(dscb, w); dscr = mx(dscr, w); }
    const u8* y = im.plane(w, h, mx(sy, w), true, f);
    const u8* c = im.plane(w, h >> 1, mx(sc, w), true, f);
    u8* dy = im.plane(w, h, mx(dsy, w), false, f);
    u8* dcb = im.plane(w, h, mx(dscb, w), false, f);
    u8* dcr = im.plane(w, h, mx(dscr, w), false, f);
    if (direct) DIRECT(ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8, y, c, w, h, sy, sc, dy, dcb, dcr, dsy, dscb, dscr);
    else ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(y, c, w, h, sy, sc, dy, dcb, dcr, dsy, dscb, dscr);
}

inline void op_copy_plane(FuzzedDataProvider& f, Images& im) {
    const u32 w = dim(f), h = dim(f);
    const u32 s = mx(stride(f, w), w), ds = mx(stride(f, w), w);
    const u8* src = im.plane(w, h, s, true, f);
    u8* dst = im.plane(w, h, ds, false, f);
    if (f.ConsumeBool()) DIRECT(Copy_Plane, src, (int)s, dst, (int)ds, (int)w, (int)h);
    else DIRECT(Copy_Plane_0, src, (int)s, dst, (int)ds, (int)w, (int)h);
}

inline void op_cbcr_swap(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f, 150), h = dim(f);
    u32 s = stride(f, 2 * w), ds = stride(f, 2 * w);
    if (direct) { s = mx(s, 2 * w); ds = mx(ds, 2 * w); }
    const u8* src = im.plane(2 * w, h, mx(s, 2 * w), true, f);
    u8* dst = im.plane(2 * w, h, mx(ds, 2 * w), false, f);
    if (direct) DIRECT(ncvColorCbCrSwapu8, src, w, h, s, dst, ds);
    else ncvColorCbCrSwapu8(src, w, h, s, dst, ds);
}

inline void op_interleave(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f, 150), h = dim(f);
    u32 s0 = stride(f, w), s1 = stride(f, w), ds = stride(f, 2 * w);
    if (direct) { s0 = mx(s0, w); s1 = mx(s1, w); ds = mx(ds, 2 * w); }
    const u8* a = im.plane(w, h, mx(s0, w), true, f);
    const u8* b = im.plane(w, h, mx(s1, w), true, f);
    u8* dst = im.plane(2 * w, h, mx(ds, 2 * w), false, f);
    if (direct) DIRECT(ncvInterleaveu8, a, b, w, h, s0, s1, dst, ds);
    else ncvInterleaveu8(a, b, w, h, s0, s1, dst, ds);
}

// ------------------------------------------------------------ filters
inline void op_gradient(FuzzedDataProvider& f, Images& im, int variant) {
    const u32 w = dim(f), h = dim(f);
    u32 s = stride(f, w), ds = even(stride(f, 2 * w));
    if (variant >= 2) { s = mx(s, w); ds = mx(ds, 2 * w); }
    const u8* src = im.plane(w, h, mx(s, w), true, f);
    int16_t* dx = reinterpret_cast<int16_t*>(im.plane(2 * w, h, mx(ds, 2 * w), false, f));
    int16_t* dy = reinterpret_cast<int16_t*>(im.plane(2 * w, h, mx(ds, 2 * w), false, f));
    switch (variant) {
        case 0: ncvImageGradientPlanars16_v2(src, w, h, s, dx, dy, ds); break;
        case 1: ncvImageGradientSobelPlanars16_v3(src, w, h, s, dx, dy, ds); break;
        case 2: DIRECT(ncvImageGradientPlanars16, src, w, h, s, dx, dy, ds); break;
        default: DIRECT(ncvImageGradientSobelPlanars16_v3, src, w, h, s, dx, dy, ds); break;
    }
}

inline void op_gaussian(FuzzedDataProvider& f, Images& im, bool direct) {
    const u32 w = dim(f), h = dim(f);
    const int border = code(f, -1, 3);
    const u8* src = im.plane(w, h, w, true, f);
    u8* dst = im.plane(w, h, w, false, f);
    if (direct) DIRECT(ncvFilterGaussian3x3u8, src, dst, w, h, border);
    else ncvFilterGaussian3x3u8(src, w, h, dst, border);
}

inline void op_stats(FuzzedDataProvider& f, Images& im) {
    // The rectangle lies inside the caller's image: the image is the block
    // from the image start to the rectangle's last byte.
    const u32 rw = dim(f), rh = dim(f);
    const u32 x0 = f.ConsumeIntegralInRange<u32>(0, 64), y0 = f.ConsumeIntegralInRange<u32>(0, 64);
    const u32 s = f.ConsumeBool() ? x0 + rw + f.ConsumeIntegralInRange<u32>(0, 40)
                                  : f.ConsumeIntegralInRange<u32>(0, x0 + rw + 40);
    const size_t start = static_cast<size_t>(y0) * s + x0;
    const size_t bytes = rh ? start + static_cast<size_t>(s) * (rh - 1) + rw : start;
    const u8* img = im.block(bytes, true, f);
    float* mean = reinterpret_cast<float*>(im.block(sizeof(float), false, f));
    float* var = reinterpret_cast<float*>(im.block(sizeof(float), false, f));
    ncvImageIntensityStats(img, (int)s, (int)x0, (int)y0, rw, rh, mean, var);
}

inline void op_floodfill(FuzzedDataProvider& f, Images& im) {
    const u32 w = dim(f), h = dim(f), s = stride(f, w), ds = stride(f, w);
    u32 x = f.ConsumeBool() ? f.ConsumeIntegralInRange<u32>(0, w) : f.ConsumeIntegral<u32>();
    u32 y = f.ConsumeBool() ? f.ConsumeIntegralInRange<u32>(0, h) : f.ConsumeIntegral<u32>();
    const u8 fill = f.ConsumeIntegral<u8>();
    const u8 conn = f.ConsumeBool() ? 8 : f.ConsumeIntegral<u8>();
    const u8* src = im.plane(w, h, mx(s, w), true, f);
    u8* dst = im.plane(w, h, mx(ds, w), false, f);
    auto* res = reinterpret_cast<ncvFloodfillResult*>(im.block(sizeof(ncvFloodfillResult), false, f));
    ncvFloodfillSimpleu8(src, w, h, s, dst, ds, x, y, fill, res, conn);
}

// ------------------------------------------------------------ scaling
// The five source/destination scaling functions share one shape; `pairs`
// doubles the row bytes for the interleaved ones.
inline void op_scale_shape(FuzzedDataProvider& f, Images& im, int which) {
    const bool pairs = which == 2 || which == 5;
    const u32 k = pairs ? 2 : 1, lim = pairs ? 150 : 300;
    const u32 w = dim(f, lim), h = dim(f), dw = dim(f, lim), dh = dim(f);
    const u32 s = stride(f, k * w), ds = stride(f, k * dw);
    const u8* src = im.plane(k * w, h, mx(s, k * w), true, f);
    u8* dst = im.plane(k * dw, dh, mx(ds, k * dw), false, f);
    switch (which) {
        case 0: ncvScaleDownu8_v2(src, w, h, s, dst, dw, dh, ds); break;
        case 1: ncvScaleDownMNu8(src, w, h, s, dst, dw, dh, ds); break;
        case 2: ncvScaleDownMNInterleaveu8(src, w, h, s, dst, dw, dh, ds); break;
        case 3: {
            const u32 p1 = (u32)code(f, 0, 3), p2 = (u32)code(f, 0, 3);
            ncvScaleu8_v2(src, w, h, s, dst, dw, dh, ds, p1, p2, f.ConsumeIntegral<u8>());
            break;
        }
        case 4: ncvScaleUpPolyu8(src, w, h, s, dst, dw, dh, ds); break;
        default: ncvScaleUpPolyInterleaveu8(src, w, h, s, dst, dw, dh, ds); break;
    }
}

inline void op_upsample(FuzzedDataProvider& f, Images& im) {
    const u32 w = dim(f, 100), h = dim(f, 150), s = stride(f, 2 * w), ds = stride(f, 4 * w);
    const u8* src = im.plane(2 * w, h, mx(s, 2 * w), true, f);
    u8* dst = im.plane(4 * w, 2 * h, mx(ds, 4 * w), false, f);
    ncvUpsample2DInterleavedu8(src, w, h, s, dst, ds);
}

inline void op_affine(FuzzedDataProvider& f, Images& im) {
    const u32 w = dim(f), h = dim(f), dw = dim(f), dh = dim(f);
    const u32 s = stride(f, w), ds = stride(f, dw);
    const u32 interp = static_cast<u32>(code(f, 0, 3));
    float m[6];
    const int shape = f.ConsumeIntegralInRange<int>(0, 3);
    for (int i = 0; i < 6; ++i) m[i] = matrix_value(f);
    if (shape == 0) {  // a plain scale/shift, the common case
        m[1] = m[3] = 0.0f;
    }
    const u8* src = im.plane(w, h, mx(s, w), true, f);
    float* mat = reinterpret_cast<float*>(im.block(sizeof m, false, f));
    std::memcpy(mat, m, sizeof m);
    u8* dst = im.plane(dw, dh, mx(ds, dw), false, f);
    u32* border = nullptr;
    if (f.ConsumeBool() && dh > 0)
        border = reinterpret_cast<u32*>(im.block(2 * sizeof(u32) * dh, false, f));
    ncvTransformAffineClippedu8_v2(src, w, h, s, mat, dst, dw, dh, ds, border, interp);
    if (std::memcmp(mat, m, sizeof m) != 0) fail("matrix modified", "affine");
}

// ------------------------------------------------------------ operations
using mira_test::Operation;

// Each operation of the shared list (tests/common/operations.h) through its
// exported function; `variant` 1 (and up) calls a direct kernel instead where
// the operation has them (see each op_), -1 lets the input choose.
inline void fuzz_operation(Operation op, int variant, FuzzedDataProvider& f, Images& im) {
    const bool direct = variant < 0 ? f.ConsumeBool() : variant != 0;
    switch (op) {
    case Operation::transpose: op_transpose(f, im, direct); return;
    case Operation::rotate: op_rotate(f, im, variant); return;
    case Operation::rotate_interleaved: op_rotate_interleaved(f, im, variant); return;
    case Operation::cbcr_swap: op_cbcr_swap(f, im, direct); return;
    case Operation::interleave: op_interleave(f, im, direct); return;
    case Operation::ycbcr444_to_420: op_444_to_420(f, im, direct); return;
    case Operation::ycbcr420_to_444: op_420_to_444(f, im, direct); return;
    case Operation::nv21_to_rgba: op_nv21(f, im, direct); return;
    case Operation::gradient: op_gradient(f, im, direct ? 2 : 0); return;
    case Operation::sobel: op_gradient(f, im, direct ? 3 : 1); return;
    case Operation::gaussian: op_gaussian(f, im, direct); return;
    case Operation::intensity_stats: op_stats(f, im); return;
    case Operation::scale_down: op_scale_shape(f, im, 0); return;
    case Operation::scale_down_mn: op_scale_shape(f, im, 1); return;
    case Operation::scale_down_mn_interleaved: op_scale_shape(f, im, 2); return;
    case Operation::scale: op_scale_shape(f, im, 3); return;
    case Operation::scale_up_poly: op_scale_shape(f, im, 4); return;
    case Operation::scale_up_poly_interleaved: op_scale_shape(f, im, 5); return;
    case Operation::upsample_2x_cbcr: op_upsample(f, im); return;
    case Operation::affine: op_affine(f, im); return;
    case Operation::floodfill: op_floodfill(f, im); return;
    }
}

// ------------------------------------------------------------ families
// 0 geometry and colour, 1 filters and statistics, 2 scaling and warping. A
// family's selector picks one entry (the input's first choice, so a corpus
// keeps meaning the same calls); the name reported is the exported function
// unless the entry calls a direct kernel.
struct FamilyEntry {
    Operation op;
    int variant;
    const char* direct;  // the name of the direct kernel called, or null
};

inline const char* run_entry(const FamilyEntry& e, FuzzedDataProvider& f, Images& im) {
    fuzz_operation(e.op, e.variant, f, im);
    return e.direct ? e.direct : mira_test::row(e.op).function;
}

inline const char* run_family(int family, FuzzedDataProvider& f, Images& im) {
    static constexpr FamilyEntry kGeometryColour[] = {
        {Operation::transpose, 0, nullptr},
        {Operation::transpose, 1, "mira::ncvTransposeu8"},
        {Operation::rotate, 0, nullptr},
        {Operation::rotate, 1, "neon_Imageu8_rotate_*"},
        {Operation::rotate, 2, "mira::ncvRotateImageu8"},
        {Operation::rotate_interleaved, 0, nullptr},
        {Operation::rotate_interleaved, 1, "neon_ImageInterleavedu8_rotate_*"},
        {Operation::rotate_interleaved, 2, "mira::ncvRotateImageInterleavedu8"},
        {Operation::nv21_to_rgba, 0, nullptr},
        {Operation::nv21_to_rgba, 1, "mira::ncvColorYUV420toRGB8888u8"},
        {Operation::ycbcr444_to_420, 0, nullptr},
        {Operation::ycbcr444_to_420, 1, "mira::ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8"},
        {Operation::ycbcr420_to_444, 0, nullptr},
        {Operation::ycbcr420_to_444, 1, "mira::ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8"},
        {Operation::cbcr_swap, -1, nullptr},
        {Operation::interleave, -1, nullptr},
    };
    static constexpr FamilyEntry kFilters[] = {
        {Operation::gradient, 0, nullptr},
        {Operation::sobel, 0, nullptr},
        {Operation::gradient, 1, "mira::ncvImageGradientPlanars16"},
        {Operation::sobel, 1, "mira::ncvImageGradientSobelPlanars16_v3"},
        {Operation::gaussian, -1, nullptr},
        {Operation::intensity_stats, 0, nullptr},
        {Operation::floodfill, 0, nullptr},
        {Operation::floodfill, 0, nullptr},
    };
    static constexpr FamilyEntry kScaling[] = {
        {Operation::scale_down, 0, nullptr},
        {Operation::scale_down_mn, 0, nullptr},
        {Operation::scale_down_mn_interleaved, 0, nullptr},
        {Operation::scale, 0, nullptr},
        {Operation::scale_up_poly, 0, nullptr},
        {Operation::scale_up_poly_interleaved, 0, nullptr},
    };
    if (family == 0) {
        const int pick = f.ConsumeIntegralInRange<int>(0, 17);
        if (pick < 16) return run_entry(kGeometryColour[pick], f, im);
        op_copy_plane(f, im);  // a direct kernel only, no operation of its own
        return "Copy_Plane";
    }
    if (family == 1) return run_entry(kFilters[f.ConsumeIntegralInRange<int>(0, 7)], f, im);
    switch (f.ConsumeIntegralInRange<int>(0, 7)) {
        case 6: return run_entry({Operation::upsample_2x_cbcr, 0, nullptr}, f, im);
        case 7: return run_entry({Operation::affine, 0, nullptr}, f, im);
        default: return run_entry(kScaling[f.ConsumeIntegralInRange<int>(0, 5)], f, im);
    }
}

}  // namespace mira_fuzz
