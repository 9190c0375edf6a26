// The manager's dispatch and the record packing of every exported function.
#include <gtest/gtest.h>

#include <vector>

#include "api/test_hooks.h"
#include "mira/mira.h"
#include "mira/mira_features.h"

namespace {

struct Captured {
    int calls = 0;
    std::vector<MIRA_Feature_Buf> src, dst;
    uint8_t srcCount = 0, dstCount = 0;
    MIRA_Feature_Param param{};
    std::vector<uint32_t> extraWords;
    ncvFloodfillParam flood{};
    ncvMemRequest mem{};
};
Captured g;
bool g_skip = true;

// Descriptors the wrappers lay out beyond the count they pass (the statistics
// outputs) are captured too.
bool observe(const MIRA_Feature_Buf* src, uint8_t srcCount, const MIRA_Feature_Buf* dst,
             uint8_t dstCount, const MIRA_Feature_Param* p) {
    ++g.calls;
    g.srcCount = srcCount;
    g.dstCount = dstCount;
    g.param = *p;
    const int extraDst = p->apiId == MIRA_API_IMAGE_INTENSITY_STATS ? 1 : 0;
    g.src.assign(src, src + (src ? srcCount : 0));
    g.dst.assign(dst, dst + (dst ? dstCount + extraDst : 0));
    if (p->apiId == MIRA_API_SCALE_U8) {
        auto* e = static_cast<const ncvScaleParam*>(p->extra);
        g.extraWords = {e->p1, e->p2, e->p3};
    }
    if (p->apiId == MIRA_API_FLOODFILL_SIMPLE_U8) g.flood = *static_cast<ncvFloodfillParam*>(p->extra);
    if (p->apiId == MIRA_API_MEM_ALLOC) g.mem = *static_cast<ncvMemRequest*>(p->extra);
    return !g_skip;
}

class Packing : public ::testing::Test {
protected:
    void SetUp() override {
        g = Captured{};
        g_skip = true;
        mira::g_run_observer = observe;
    }
    void TearDown() override { mira::g_run_observer = nullptr; }
};

uint8_t* P(uintptr_t v) { return reinterpret_cast<uint8_t*>(v); }

void expectBuf(const MIRA_Feature_Buf& b, uint32_t w, uint32_t s, uint32_t h, uint32_t bh,
               const void* data) {
    EXPECT_EQ(b.width, w);
    EXPECT_EQ(b.stride, s);
    EXPECT_EQ(b.height, h);
    EXPECT_EQ(b.bufHeight, bh);
    EXPECT_EQ(static_cast<const void*>(b.data), data);
}

void expectParam(uint32_t id, uint32_t mode, int32_t arg = 0) {
    EXPECT_EQ(g.param.apiId, id);
    EXPECT_EQ(g.param.mode, mode);
    EXPECT_EQ(g.param.reserved, 1u);
    EXPECT_EQ(g.param.arg, arg);
}

TEST_F(Packing, Transpose) {
    ncvTransposeu8(P(0x1000), 30, 20, 40, P(0x2000), 10);
    ASSERT_EQ(g.calls, 1);
    expectParam(6, 0);
    ASSERT_EQ(g.srcCount, 1);
    ASSERT_EQ(g.dstCount, 1);
    expectBuf(g.src[0], 30, 40, 20, 20, P(0x1000));
    expectBuf(g.dst[0], 20, 20, 30, 30, P(0x2000));  // bufHeight is the source width
    EXPECT_EQ(g.param.extra, nullptr);
}

TEST_F(Packing, StrideBelowWidthBecomesWidth) {
    ncvScaleDownu8_v2(P(1), 64, 8, 0, P(2), 32, 4, 3);
    expectParam(7, 0);
    expectBuf(g.src[0], 64, 64, 8, 8, P(1));
    expectBuf(g.dst[0], 32, 32, 4, 4, P(2));
}

TEST_F(Packing, InterleavedScaleDownsCountBytes) {
    ncvScaleDownMNInterleaveu8(P(1), 10, 6, 5, P(2), 4, 3, 100);
    expectParam(15, 1);
    expectBuf(g.src[0], 20, 20, 6, 6, P(1));
    expectBuf(g.dst[0], 8, 100, 3, 3, P(2));
    ncvScaleUpPolyInterleaveu8(P(1), 10, 6, 5, P(2), 40, 30, 100);
    expectParam(22, 2);
    expectBuf(g.src[0], 20, 20, 6, 6, P(1));
    expectBuf(g.dst[0], 80, 100, 30, 30, P(2));
}

TEST_F(Packing, Nv21StridesAreTheWidth) {
    ncvColorYUV420toRGB8888u8(P(1), 16, 8, P(2));
    expectParam(8, 0);
    expectBuf(g.src[0], 16, 16, 8, 8, P(1));
    expectBuf(g.dst[0], 16, 16, 8, 8, P(2));
}

TEST_F(Packing, Yuv444To420EachPlaneItsOwnStride) {
    ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(P(1), P(2), P(3), 10, 7, 11, 12, 13, P(4),
                                                   P(5), 14, 4);
    expectParam(9, 0);
    ASSERT_EQ(g.srcCount, 3);
    ASSERT_EQ(g.dstCount, 2);
    expectBuf(g.src[0], 10, 11, 7, 7, P(1));
    expectBuf(g.src[1], 10, 12, 7, 7, P(2));
    expectBuf(g.src[2], 10, 13, 7, 7, P(3));
    expectBuf(g.dst[0], 10, 14, 7, 7, P(4));
    expectBuf(g.dst[1], 10, 10, 3, 3, P(5));  // odd height: (h - 1) / 2 chroma rows
}

TEST_F(Packing, Yuv420To444EachPlaneItsOwnStride) {
    ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(P(1), P(2), 10, 8, 0, 20, P(3), P(4), P(5),
                                                   21, 22, 23);
    expectParam(10, 0);
    ASSERT_EQ(g.srcCount, 2);
    ASSERT_EQ(g.dstCount, 3);
    expectBuf(g.src[0], 10, 10, 8, 8, P(1));
    expectBuf(g.src[1], 10, 20, 4, 4, P(2));
    expectBuf(g.dst[0], 10, 21, 8, 8, P(3));
    expectBuf(g.dst[1], 10, 22, 8, 8, P(4));
    expectBuf(g.dst[2], 10, 23, 8, 8, P(5));
}

TEST_F(Packing, SwapAndInterleave) {
    ncvColorCbCrSwapu8(P(1), 8, 3, 10, P(2), 40);
    expectParam(11, 0);
    expectBuf(g.src[0], 8, 16, 3, 3, P(1));
    expectBuf(g.dst[0], 8, 40, 3, 3, P(2));
    ncvInterleaveu8(P(1), P(2), 8, 3, 9, 0, P(3), 5);
    expectParam(12, 0);
    ASSERT_EQ(g.srcCount, 2);
    expectBuf(g.src[0], 8, 9, 3, 3, P(1));
    expectBuf(g.src[1], 8, 8, 3, 3, P(2));
    expectBuf(g.dst[0], 16, 16, 3, 3, P(3));
}

TEST_F(Packing, RotationsSwapGeometryForCodes1And3) {
    for (int code : {0, 1, 2, 3, 4, 5, 7, -1}) {
        const bool swap = code == 1 || code == 3;
        ncvRotateImageu8(P(1), 10, 6, 0, P(2), 0, code);
        expectParam(13, 0, code);
        expectBuf(g.src[0], 10, 10, 6, 6, P(1));
        if (swap) expectBuf(g.dst[0], 6, 6, 10, 10, P(2));
        else expectBuf(g.dst[0], 10, 10, 6, 6, P(2));
        ncvRotateImageInterleavedu8(P(1), 10, 6, 0, P(2), 0, code);
        expectParam(14, 0, code);
        expectBuf(g.src[0], 10, 20, 6, 6, P(1));
        if (swap) expectBuf(g.dst[0], 6, 12, 10, 10, P(2));
        else expectBuf(g.dst[0], 10, 20, 6, 6, P(2));
    }
}

TEST_F(Packing, GradientsUseTwiceTheWidthAsMinimumStride) {
    int16_t* dx = reinterpret_cast<int16_t*>(0x10);
    int16_t* dy = reinterpret_cast<int16_t*>(0x20);
    ncvImageGradientPlanars16_v2(P(1), 9, 4, 3, dx, dy, 10);
    expectParam(16, 1);
    ASSERT_EQ(g.dstCount, 2);
    expectBuf(g.src[0], 9, 9, 4, 4, P(1));
    expectBuf(g.dst[0], 9, 18, 4, 4, dx);
    expectBuf(g.dst[1], 9, 18, 4, 4, dy);
    ncvImageGradientSobelPlanars16_v3(P(1), 9, 4, 3, dx, dy, 100);
    expectParam(17, 1);
    expectBuf(g.dst[0], 9, 100, 4, 4, dx);
}

TEST_F(Packing, IntensityStatsDescriptors) {
    float mean = 0, var = 0;
    ncvImageIntensityStats(P(0x1000), 100, 3, 2, 7, 5, &mean, &var);
    expectParam(18, 2);
    ASSERT_EQ(g.srcCount, 1);
    ASSERT_EQ(g.dstCount, 1);
    expectBuf(g.src[0], 7, 100, 5, 5, P(0x1000 + 2 * 100 + 3));
    expectBuf(g.dst[0], 1, 1, 1, 1, &mean);
    expectBuf(g.dst[1], 1, 1, 1, 1, &var);
}

TEST_F(Packing, GaussianAndUpsample) {
    ncvFilterGaussian3x3u8(P(1), 13, 5, P(2), 1);
    expectParam(19, 0, 1);
    expectBuf(g.src[0], 13, 13, 5, 5, P(1));
    expectBuf(g.dst[0], 13, 13, 5, 5, P(2));
    ncvUpsample2DInterleavedu8(P(1), 8, 3, 0, P(2), 0);
    expectParam(20, 1);
    expectBuf(g.src[0], 16, 16, 3, 3, P(1));
    expectBuf(g.dst[0], 32, 32, 6, 6, P(2));
}

TEST_F(Packing, ScaleFamily) {
    ncvScaleUpPolyu8(P(1), 8, 3, 0, P(2), 16, 6, 20);
    expectParam(21, 2);
    expectBuf(g.dst[0], 16, 20, 6, 6, P(2));
    ncvScaleu8_v2(P(1), 8, 3, 0, P(2), 16, 6, 20, 5, 6, 7);
    expectParam(23, 2);
    EXPECT_EQ(g.extraWords, (std::vector<uint32_t>{5, 6, 7}));
    ncvScaleDownMNu8(P(1), 8, 3, 0, P(2), 5, 2, 0);
    expectParam(26, 1);
    expectBuf(g.dst[0], 5, 5, 2, 2, P(2));
}

TEST_F(Packing, FloodFill) {
    ncvFloodfillResult r{};
    ncvFloodfillSimpleu8(P(1), 8, 3, 0, P(2), 9, 4, 1, 200, &r, 8);
    expectParam(24, 2);
    expectBuf(g.src[0], 8, 8, 3, 3, P(1));
    expectBuf(g.dst[0], 8, 9, 3, 3, P(2));
    EXPECT_EQ(g.flood.x, 4u);
    EXPECT_EQ(g.flood.y, 1u);
    EXPECT_EQ(g.flood.fillValue, 200u);
    EXPECT_EQ(g.flood.connectivity, 8u);
    EXPECT_EQ(g.flood.result, &r);
}

TEST_F(Packing, AffineMatrixAndRowSpans) {
    float m[6] = {1, 0, 0, 0, 1, 0};
    uint32_t spans[10];
    ncvTransformAffineClippedu8_v2(P(1), 8, 3, 0, m, P(2), 5, 4, 0, spans, 3);
    expectParam(25, 1, 3);
    ASSERT_EQ(g.srcCount, 2);
    ASSERT_EQ(g.dstCount, 2);
    expectBuf(g.src[1], 3, 12, 2, 2, m);
    expectBuf(g.dst[0], 5, 5, 4, 4, P(2));
    expectBuf(g.dst[1], 2, 2, 4, 4, spans);
}

TEST_F(Packing, Lifecycle) {
    EXPECT_EQ(ncvMemAlloc(0, 64), nullptr);
    EXPECT_EQ(g.calls, 0);
    ncvMemAlloc(100, 64);
    expectParam(3, 1);
    EXPECT_EQ(g.srcCount, 0);
    EXPECT_EQ(g.dstCount, 1);
    EXPECT_EQ(g.mem.size, 100u);
    EXPECT_EQ(g.mem.alignment, 64u);
    EXPECT_EQ(ncvIsNcvAllocBuffer(nullptr), 0);
    ncvMemFree(nullptr);
    EXPECT_EQ(g.calls, 1);
    ncvInit();
    expectParam(1, 1);
    ncvDeinit();
    expectParam(2, 1);
    ncvMemFree(P(5));
    expectParam(4, 1);
    expectBuf(g.src[0], g.src[0].width, g.src[0].stride, g.src[0].height, g.src[0].bufHeight, P(5));
}

TEST_F(Packing, NullImagePointersMakeNoCall) {
    ncvTransposeu8(nullptr, 1, 1, 1, P(1), 1);
    ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(P(1), nullptr, P(1), 1, 1, 1, 1, 1, P(1), P(1), 1, 1);
    ncvImageIntensityStats(P(1), 1, 0, 0, 1, 1, nullptr, nullptr);
    ncvFloodfillSimpleu8(P(1), 1, 1, 1, P(1), 1, 0, 0, 1, nullptr, 4);
    ncvTransformAffineClippedu8_v2(P(1), 1, 1, 1, nullptr, P(1), 1, 1, 1, nullptr, 0);
    ncvImageGradientPlanars16_v2(P(1), 1, 1, 1, nullptr, nullptr, 1);
    EXPECT_EQ(g.calls, 0);
}

// ---------------------------------------------------------------- manager

TEST(Manager, EveryIdHasAFeatureAndOthersNone) {
    MIRA_Manager m;
    for (uint32_t id = 1; id <= 29; ++id) {
        MIRA_Interface* f = m.getFeatureObjByID(static_cast<MIRA_API_ID>(id));
        EXPECT_NE(f, nullptr) << id;
        delete f;
    }
    for (uint32_t id : {0u, 30u, 1000u, 0xFFFFFFFFu})
        EXPECT_EQ(m.getFeatureObjByID(static_cast<MIRA_API_ID>(id)), nullptr);
}

TEST(Manager, UnknownIdIsAnArgumentError) {
    MIRA_Manager m;
    for (uint32_t id : {0u, 30u, 0x80000000u}) {
        MIRA_Feature_Param p{id, 0, 1, nullptr, 0};
        EXPECT_EQ(m.run(nullptr, 0, nullptr, 0, &p), MIRA_ERR_ARG);
    }
    EXPECT_EQ(m.run(nullptr, 0, nullptr, 0, nullptr), MIRA_ERR_ARG);
}

// Every image feature rejects null lists with MIRA_ERR_ARG in every mode.
TEST(Manager, ImageFeaturesRejectNullLists) {
    MIRA_Manager m;
    uint8_t buf[64] = {0};
    MIRA_Feature_Buf b[3] = {{4, 4, 4, 4, buf}, {4, 4, 4, 4, buf}, {4, 4, 4, 4, buf}};
    for (uint32_t id = 6; id <= 29; ++id) {
        for (uint32_t mode : {0u, 1u, 2u, 7u}) {
            MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
            uint32_t s1 = m.run(nullptr, 1, b, 1, &p);
            uint32_t s2 = m.run(b, 1, nullptr, 1, &p);
            // The lists are checked first; features without a GPU method may
            // accept mode 1 as a no-op only when the lists are valid.
            EXPECT_EQ(s1, MIRA_ERR_ARG) << "id " << id << " mode " << mode;
            EXPECT_EQ(s2, MIRA_ERR_ARG) << "id " << id << " mode " << mode;
        }
    }
}

TEST(Manager, ReservedFieldIsIgnored) {
    uint8_t in[6] = {1, 2, 3, 4, 5, 6}, a[6] = {0}, c[6] = {0};
    MIRA_Feature_Buf s{3, 3, 2, 2, in};
    MIRA_Feature_Buf d1{2, 2, 3, 3, a}, d2{2, 2, 3, 3, c};
    MIRA_Feature_Param p1{6, 0, 1, nullptr, 0}, p2{6, 0, 0xDEADBEEF, nullptr, 0};
    MIRA_Manager m;
    EXPECT_EQ(m.run(&s, 1, &d1, 1, &p1), MIRA_OK);
    EXPECT_EQ(m.run(&s, 1, &d2, 1, &p2), MIRA_OK);
    EXPECT_EQ(0, memcmp(a, c, 6));
    EXPECT_EQ(a[1], 4);
}

}  // namespace
