/* The 26 plain C functions as a C caller sees them: each documented prototype
 * is written out here as a function-pointer type, checked against the header
 * at compile time, and every function is then called through a pointer of
 * that type on small images, with the results checked where they follow
 * directly from the operation. Built as C11, so the header is compiled as C
 * too. A function whose header prototype differs in any argument fails to
 * compile; one whose implementation reads its arguments in another order
 * fails (or faults) here at run time. */
#include <mira/mira.h>

#include <stdio.h>
#include <string.h>

typedef int (*InitFn)(void);
typedef void (*DeinitFn)(void);
typedef void* (*MemAllocFn)(uint32_t size, uint32_t alignment);
typedef void (*MemFreeFn)(void* ptr);
typedef int (*IsAllocFn)(void* ptr);
typedef void (*TransposeFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                            uint8_t* dst, uint32_t dstS);
typedef void (*ScaleFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                        uint32_t dstW, uint32_t dstH, uint32_t dstS);
typedef void (*Nv21Fn)(const uint8_t* src, int w, int h, uint8_t* dst);
typedef void (*Yuv444To420Fn)(const uint8_t* srcY, const uint8_t* srcCb, const uint8_t* srcCr,
                              uint32_t w, uint32_t h, uint32_t sY, uint32_t sCb, uint32_t sCr,
                              uint8_t* dstY, uint8_t* dstC, uint32_t dstSY, uint32_t dstSC);
typedef void (*Yuv420To444Fn)(const uint8_t* srcY, const uint8_t* srcC, uint32_t w, uint32_t h,
                              uint32_t sY, uint32_t sC, uint8_t* dstY, uint8_t* dstCb,
                              uint8_t* dstCr, uint32_t dstSY, uint32_t dstSCb, uint32_t dstSCr);
typedef void (*SwapFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                       uint32_t dstS);
typedef void (*InterleaveFn)(const uint8_t* src0, const uint8_t* src1, uint32_t w, uint32_t h,
                             uint32_t s0, uint32_t s1, uint8_t* dst, uint32_t dstS);
typedef void (*RotateFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                         uint32_t dstS, int rotation);
typedef void (*GradientFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, int16_t* dx,
                           int16_t* dy, uint32_t dstS);
typedef void (*StatsFn)(const uint8_t* src, int s, int x0, int y0, uint32_t rw, uint32_t rh,
                        float* mean, float* variance);
typedef void (*GaussianFn)(const uint8_t* src, uint32_t w, uint32_t h, uint8_t* dst,
                           int border);
typedef void (*UpsampleFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                           uint32_t dstS);
typedef void (*GeneralScaleFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                               uint8_t* dst, uint32_t dstW, uint32_t dstH, uint32_t dstS,
                               uint32_t p1, uint32_t p2, uint8_t p3);
typedef void (*FloodFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s, uint8_t* dst,
                        uint32_t dstS, uint32_t x, uint32_t y, uint8_t fillValue,
                        ncvFloodfillResult* result, uint8_t connectivity);
typedef void (*AffineFn)(const uint8_t* src, uint32_t w, uint32_t h, uint32_t s,
                         const float* matrix, uint8_t* dst, uint32_t dstW, uint32_t dstH,
                         uint32_t dstS, uint32_t* border, uint32_t interpolation);

/* Compile-time check: the header's prototype has exactly the documented type. */
#define PROTO(fn, T) _Static_assert(_Generic(&fn, T: 1, default: 0), #fn " prototype differs");
PROTO(ncvInit, InitFn)
PROTO(ncvDeinit, DeinitFn)
PROTO(ncvMemAlloc, MemAllocFn)
PROTO(ncvMemFree, MemFreeFn)
PROTO(ncvIsNcvAllocBuffer, IsAllocFn)
PROTO(ncvTransposeu8, TransposeFn)
PROTO(ncvScaleDownu8_v2, ScaleFn)
PROTO(ncvColorYUV420toRGB8888u8, Nv21Fn)
PROTO(ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8, Yuv444To420Fn)
PROTO(ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8, Yuv420To444Fn)
PROTO(ncvColorCbCrSwapu8, SwapFn)
PROTO(ncvInterleaveu8, InterleaveFn)
PROTO(ncvRotateImageu8, RotateFn)
PROTO(ncvRotateImageInterleavedu8, RotateFn)
PROTO(ncvScaleDownMNInterleaveu8, ScaleFn)
PROTO(ncvImageGradientPlanars16_v2, GradientFn)
PROTO(ncvImageGradientSobelPlanars16_v3, GradientFn)
PROTO(ncvImageIntensityStats, StatsFn)
PROTO(ncvFilterGaussian3x3u8, GaussianFn)
PROTO(ncvUpsample2DInterleavedu8, UpsampleFn)
PROTO(ncvScaleUpPolyu8, ScaleFn)
PROTO(ncvScaleUpPolyInterleaveu8, ScaleFn)
PROTO(ncvScaleu8_v2, GeneralScaleFn)
PROTO(ncvFloodfillSimpleu8, FloodFn)
PROTO(ncvTransformAffineClippedu8_v2, AffineFn)
PROTO(ncvScaleDownMNu8, ScaleFn)

static int failures = 0;
#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                      \
        }                                                                    \
    } while (0)

enum { W = 8, H = 6, OLD = 0xA5 };

static void fill_ramp(uint8_t* p, size_t n, unsigned seed) {
    for (size_t i = 0; i < n; ++i) p[i] = (uint8_t)(i * 37u + seed * 11u + (i >> 3));
}

int main(void) {
    /* Lifecycle and memory (whatever the device, these must not fault). */
    const InitFn init = ncvInit;
    const DeinitFn deinit = ncvDeinit;
    const MemAllocFn mem_alloc = ncvMemAlloc;
    const MemFreeFn mem_free = ncvMemFree;
    const IsAllocFn is_alloc = ncvIsNcvAllocBuffer;
    const int ready = init();
    CHECK(ready == 0 || ready == 1);
    /* GPU-shareable memory exists only with a device: without one (ncvInit
     * gives 1) the allocation reports failure with a null block. */
    void* block = mem_alloc(256, 64);
    CHECK(ready == 0 ? block != NULL : block == NULL);
    if (block) {
        CHECK(is_alloc(block) == 1);
        memset(block, 7, 256);
        mem_free(block);
    }
    CHECK(mem_alloc(0, 64) == NULL);
    CHECK(is_alloc(NULL) == 0);

    uint8_t src[H][W], dst[64 * 64], big[64 * 64];
    uint8_t u[H][W], v[H][W];
    fill_ramp(&src[0][0], sizeof src, 1);
    fill_ramp(&u[0][0], sizeof u, 2);
    fill_ramp(&v[0][0], sizeof v, 3);

    /* Transpose: dst[x][y] = src[y][x]. */
    const TransposeFn transpose = ncvTransposeu8;
    memset(dst, OLD, sizeof dst);
    transpose(&src[0][0], W, H, W, dst, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) CHECK(dst[x * H + y] == src[y][x]);

    /* Rotation by 180 degrees (code 2). */
    const RotateFn rotate = ncvRotateImageu8;
    memset(dst, OLD, sizeof dst);
    rotate(&src[0][0], W, H, W, dst, W, 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) CHECK(dst[(H - 1 - y) * W + (W - 1 - x)] == src[y][x]);
    /* Interleaved pairs, 180 degrees: pair order reversed, bytes of a pair kept. */
    const RotateFn rotate_pairs = ncvRotateImageInterleavedu8;
    memset(dst, OLD, sizeof dst);
    rotate_pairs(&src[0][0], W / 2, H, W, dst, W, 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W / 2; ++x) {
            CHECK(dst[(H - 1 - y) * W + 2 * (W / 2 - 1 - x)] == src[y][2 * x]);
            CHECK(dst[(H - 1 - y) * W + 2 * (W / 2 - 1 - x) + 1] == src[y][2 * x + 1]);
        }

    /* CbCr swap and interleave. */
    const SwapFn swap = ncvColorCbCrSwapu8;
    memset(dst, OLD, sizeof dst);
    swap(&src[0][0], W / 2, H, W, dst, W);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) CHECK(dst[y * W + (x ^ 1)] == src[y][x]);
    const InterleaveFn interleave = ncvInterleaveu8;
    memset(dst, OLD, sizeof dst);
    interleave(&u[0][0], &v[0][0], W, H, W, W, dst, 2 * W);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            CHECK(dst[y * 2 * W + 2 * x] == u[y][x]);
            CHECK(dst[y * 2 * W + 2 * x + 1] == v[y][x]);
        }

    /* 4:4:4 -> 4:2:0 and back: luma copied both ways. */
    const Yuv444To420Fn to420 = ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8;
    uint8_t y420[H * W], c420[H / 2 * W];
    memset(y420, OLD, sizeof y420);
    memset(c420, OLD, sizeof c420);
    to420(&src[0][0], &u[0][0], &v[0][0], W, H, W, W, W, y420, c420, W, W);
    CHECK(memcmp(y420, src, sizeof y420) == 0);
    const Yuv420To444Fn to444 = ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8;
    uint8_t y444[H * W], cb[H * W], cr[H * W];
    memset(y444, OLD, sizeof y444);
    to444(y420, c420, W, H, W, W, y444, cb, cr, W, W, W);
    CHECK(memcmp(y444, src, sizeof y444) == 0);

    /* Gaussian of a constant image is that constant, border mode 1 included. */
    const GaussianFn gaussian = ncvFilterGaussian3x3u8;
    uint8_t flat[H * W];
    memset(flat, 77, sizeof flat);
    memset(dst, OLD, sizeof dst);
    gaussian(flat, W, H, dst, 1);
    for (int i = 0; i < H * W; ++i) CHECK(dst[i] == 77);

    /* Gradients of a horizontal ramp: dx constant inside, dy zero inside. */
    uint8_t ramp[H * W];
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ramp[y * W + x] = (uint8_t)(10 * x);
    int16_t dx[H * W], dy[H * W];
    const GradientFn gradient = ncvImageGradientPlanars16_v2;
    gradient(ramp, W, H, W, dx, dy, 2 * W);
    CHECK(dy[2 * W + 3] == 0);
    CHECK(dx[2 * W + 3] != 0);
    const GradientFn sobel = ncvImageGradientSobelPlanars16_v3;
    memset(dx, 0, sizeof dx);
    sobel(ramp, W, H, W, dx, dy, 2 * W);
    CHECK(dy[2 * W + 3] == 0);
    CHECK(dx[2 * W + 3] == dx[3 * W + 4]);
    CHECK(dx[2 * W + 3] != 0);

    /* Statistics of a constant rectangle. */
    const StatsFn stats = ncvImageIntensityStats;
    float mean = -1.0f, var = -1.0f;
    stats(flat, W, 1, 1, W - 2, H - 2, &mean, &var);
    CHECK(mean == 77.0f);
    CHECK(var == 0.0f);

    /* Flood fill of a constant image from its centre covers everything. */
    const FloodFn flood = ncvFloodfillSimpleu8;
    ncvFloodfillResult res;
    memset(&res, 0, sizeof res);
    memset(dst, 0, sizeof dst);
    flood(flat, W, H, W, dst, W, 3, 2, 200, &res, 4);
    CHECK(res.count == W * H);
    CHECK(res.width == W && res.height == H);
    for (int i = 0; i < H * W; ++i) CHECK(dst[i] == 200);

    /* NV21 -> RGBA: every pixel written, alpha opaque. */
    const Nv21Fn nv21 = ncvColorYUV420toRGB8888u8;
    uint8_t frame[H * W + H / 2 * W];
    fill_ramp(frame, sizeof frame, 5);
    memset(dst, OLD, sizeof dst);
    nv21(frame, W, H, dst);
    for (int i = 0; i < H * W; ++i) CHECK(dst[4 * i + 3] == 255);

    /* Scaling: a constant image stays that constant at any size. */
    const ScaleFn scale_down = ncvScaleDownu8_v2;
    memset(dst, OLD, sizeof dst);
    scale_down(flat, W, H, W, dst, W / 2, H / 2, W / 2);
    for (int i = 0; i < W / 2 * (H / 2); ++i) CHECK(dst[i] == 77);
    const ScaleFn mn = ncvScaleDownMNu8;
    memset(dst, OLD, sizeof dst);
    mn(flat, W, H, W, dst, W / 2, H / 2, W / 2);
    for (int i = 0; i < W / 2 * (H / 2); ++i) CHECK(dst[i] == 77);
    const ScaleFn mn_pairs = ncvScaleDownMNInterleaveu8;
    memset(dst, OLD, sizeof dst);
    mn_pairs(flat, W / 2, H, W, dst, W / 4, H / 2, W / 2);
    for (int i = 0; i < W / 2 * (H / 2); ++i) CHECK(dst[i] == 77);
    const ScaleFn poly = ncvScaleUpPolyu8;
    memset(big, OLD, sizeof big);
    poly(flat, W, H, W, big, 2 * W, 2 * H, 2 * W);
    for (int i = 0; i < 4 * W * H; ++i) CHECK(big[i] == 77);
    const ScaleFn poly_pairs = ncvScaleUpPolyInterleaveu8;
    memset(big, OLD, sizeof big);
    poly_pairs(flat, W / 2, H, W, big, W, 2 * H, 2 * W);
    for (int i = 0; i < 4 * W * H; ++i) CHECK(big[i] == 77);
    const UpsampleFn upsample = ncvUpsample2DInterleavedu8;
    memset(big, OLD, sizeof big);
    upsample(flat, W / 2, H, W, big, 2 * W);
    for (int i = 0; i < 4 * W * H; ++i) CHECK(big[i] == 77);
    const GeneralScaleFn general = ncvScaleu8_v2;
    memset(big, OLD, sizeof big);
    general(flat, W, H, W, big, 2 * W, 2 * H, 2 * W, 1, 2, 0);
    for (int i = 0; i < 4 * W * H; ++i) CHECK(big[i] == 77);

    /* Affine warp with the identity matrix and nearest sampling: a copy,
     * every row spanning the whole width. */
    const AffineFn affine = ncvTransformAffineClippedu8_v2;
    const float identity[6] = {1, 0, 0, 0, 1, 0};
    uint32_t spans[2 * H];
    memset(dst, OLD, sizeof dst);
    affine(&src[0][0], W, H, W, identity, dst, W, H, W, spans, 0);
    CHECK(memcmp(dst, src, sizeof src) == 0);
    for (int y = 0; y < H; ++y) CHECK(spans[2 * y] == 0 && spans[2 * y + 1] == W - 1);

    deinit();
    if (failures) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("all 26 C prototypes match and every function ran through its pointer\n");
    return 0;
}
