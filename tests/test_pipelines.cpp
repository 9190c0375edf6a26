// The generated pipelines called directly: names, arguments, defaults,
// metadata, the argv form, buffer layouts and rejections.
#include <gtest/gtest.h>

#include <HalideRuntime.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_DOWN_NONE_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_BOX_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_LANCZOS_U8_HALIDE.h"
#include "MIRA_IMAGE_UP_NONE_U8_HALIDE.h"
#include "MIRA_SCALEDOWN_U8_HALIDE.h"
#include "common/guarded_image.h"
#include "mira/mira.h"
#include "ops/scaling/pipeline_memory.h"
#include "ops/scaling/pipelines/pipeline_buffers.h"
#include "scaling_reference.h"

using mira_test::GuardedImage;

namespace {

std::string g_errors;
void capture_error(void*, const char* msg) { g_errors += msg; }

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_errors.clear();
        halide_set_error_handler(capture_error);
    }
};

MIRA_Feature_Buf desc(GuardedImage& g) {
    return MIRA_Feature_Buf{g.rowBytes(), g.stride(), g.rows(), g.rows(), g.data()};
}

struct ArgSpec {
    const char* name;
    int kind;  // halide_argument_kind_t
    int dims;
    halide_type_code_t code;
    int bits;
};

void expect_args(const halide_filter_metadata_t* md, const char* name,
                 const std::vector<ArgSpec>& args) {
    ASSERT_NE(md, nullptr);
    // The layout version of Halide's metadata record (1 for the Halide that
    // generates these pipelines).
    EXPECT_EQ(md->version, int32_t(halide_filter_metadata_t::VERSION) + 0);
    ASSERT_NE(md->target, nullptr);
    EXPECT_NE(std::string(md->target).find("-64-"), std::string::npos) << md->target;
    EXPECT_STREQ(md->name, name);
    ASSERT_EQ(md->num_arguments, int(args.size()));
    for (size_t i = 0; i < args.size(); ++i) {
        const halide_filter_argument_t& a = md->arguments[i];
        EXPECT_STREQ(a.name, args[i].name) << name << " argument " << i;
        EXPECT_EQ(a.kind, args[i].kind) << a.name;
        EXPECT_EQ(a.dimensions, args[i].dims) << a.name;
        EXPECT_EQ(a.type.code, args[i].code) << a.name;
        EXPECT_EQ(a.type.bits, args[i].bits) << a.name;
    }
}

TEST_F(PipelineTest, ScaleDownMetadataNamesOrderAndDefaults) {
    const halide_filter_metadata_t* md = MIRA_SCALEDOWN_U8_HALIDE_metadata();
    expect_args(md, "MIRA_SCALEDOWN_U8_HALIDE",
                {{"intput", halide_argument_kind_input_buffer, 2, halide_type_uint, 8},
                 {"m", halide_argument_kind_input_scalar, 0, halide_type_uint, 8},
                 {"n", halide_argument_kind_input_scalar, 0, halide_type_uint, 8},
                 {"scale", halide_argument_kind_input_scalar, 0, halide_type_float, 32},
                 {"output", halide_argument_kind_output_buffer, 2, halide_type_uint, 8}});
    ASSERT_NE(md->arguments[1].scalar_def, nullptr);
    EXPECT_EQ(md->arguments[1].scalar_def->u.u8, 1);
    EXPECT_EQ(md->arguments[2].scalar_def->u.u8, 1);
    EXPECT_EQ(md->arguments[3].scalar_def->u.f32, 1.0f);
}

using MetaFn = const halide_filter_metadata_t* (*)();

TEST_F(PipelineTest, ResampleMetadataNamesOrderAndDefaults) {
    const std::pair<MetaFn, const char*> five[] = {
        {MIRA_IMAGE_UP_NONE_U8_HALIDE_metadata, "MIRA_IMAGE_UP_NONE_U8_HALIDE"},
        {MIRA_IMAGE_DOWN_NONE_U8_HALIDE_metadata, "MIRA_IMAGE_DOWN_NONE_U8_HALIDE"},
        {MIRA_IMAGE_UP_BOX_U8_HALIDE_metadata, "MIRA_IMAGE_UP_BOX_U8_HALIDE"},
        {MIRA_IMAGE_DOWN_BOX_U8_HALIDE_metadata, "MIRA_IMAGE_DOWN_BOX_U8_HALIDE"},
        {MIRA_IMAGE_UP_BILINEAR_U8_HALIDE_metadata, "MIRA_IMAGE_UP_BILINEAR_U8_HALIDE"},
        {MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE_metadata, "MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE"}};
    for (const auto& [fn, name] : five) {
        const halide_filter_metadata_t* md = fn();
        expect_args(md, name,
                    {{"input", halide_argument_kind_input_buffer, 3, halide_type_uint, 8},
                     {"scale_factor", halide_argument_kind_input_scalar, 0, halide_type_float, 32},
                     {"border_type", halide_argument_kind_input_scalar, 0, halide_type_int, 32},
                     {"border_value", halide_argument_kind_input_scalar, 0, halide_type_uint, 8},
                     {"output", halide_argument_kind_output_buffer, 3, halide_type_uint, 8}});
        EXPECT_EQ(md->arguments[1].scalar_def->u.f32, 0.0f) << name;
        EXPECT_EQ(md->arguments[2].scalar_def->u.i32, 0) << name;
        EXPECT_EQ(md->arguments[3].scalar_def->u.u8, 0) << name;
    }
    const halide_filter_metadata_t* md = MIRA_IMAGE_UP_LANCZOS_U8_HALIDE_metadata();
    expect_args(md, "MIRA_IMAGE_UP_LANCZOS_U8_HALIDE",
                {{"input", halide_argument_kind_input_buffer, 3, halide_type_uint, 8},
                 {"scale_factor", halide_argument_kind_input_scalar, 0, halide_type_float, 32},
                 {"output", halide_argument_kind_output_buffer, 3, halide_type_uint, 8}});
    EXPECT_EQ(md->arguments[1].scalar_def->u.f32, 0.0f);
}

// The integer down-scale, called directly, against the block-mean floor.
TEST_F(PipelineTest, ScaleDownNarrowAndWideDestinations) {
    for (uint32_t dw : {1u, 2u, 7u, 15u, 16u, 17u, 33u}) {
        const uint32_t m = 3, n = 2, dh = 5;
        GuardedImage src(dw * m + 1, dh * n, dw * m + 4), dst(dw, dh, dw + 3);
        src.fillRandom(dw);
        mira::PipelineImage in, out;
        MIRA_Feature_Buf s = desc(src), d = desc(dst);
        ASSERT_EQ(MIRA_SCALEDOWN_U8_HALIDE(mira::pipeline_image(in, s, 2), m, n, 1.0f / 6,
                                           mira::pipeline_image(out, d, 2)),
                  0)
            << g_errors;
        for (uint32_t y = 0; y < dh; ++y)
            for (uint32_t x = 0; x < dw; ++x) {
                uint32_t sum = 0;
                for (uint32_t j = 0; j < n; ++j)
                    for (uint32_t i = 0; i < m; ++i) sum += src.row(y * n + j)[x * m + i];
                ASSERT_EQ(dst.row(y)[x], sum / 6) << dw << " " << x << "," << y;
            }
        EXPECT_TRUE(dst.paddingIntact());
    }
}

TEST_F(PipelineTest, ScaleDownArgvFormMatchesDirectCall) {
    GuardedImage src(64, 32, 64), a(16, 8, 16), b(16, 8, 16);
    src.fillRandom(5);
    mira::PipelineImage in, oa, ob;
    MIRA_Feature_Buf s = desc(src), da = desc(a), db = desc(b);
    halide_buffer_t* inBuf = mira::pipeline_image(in, s, 2);
    ASSERT_EQ(MIRA_SCALEDOWN_U8_HALIDE(inBuf, 4, 4, 1.0f / 16, mira::pipeline_image(oa, da, 2)), 0);
    uint8_t m = 4, n = 4;
    float scale = 1.0f / 16;
    void* argv[] = {inBuf, &m, &n, &scale, mira::pipeline_image(ob, db, 2)};
    ASSERT_EQ(MIRA_SCALEDOWN_U8_HALIDE_argv(argv), 0);
    EXPECT_EQ(a.packed(), b.packed());
}

TEST_F(PipelineTest, ScaleDownRejectsElementStrideTwo) {
    GuardedImage src(32, 4, 32), dst(8, 2, 8);
    src.fillRandom(1);
    dst.fill(77);
    mira::PipelineImage in, out;
    MIRA_Feature_Buf s = desc(src), d = desc(dst);
    halide_buffer_t* inBuf = mira::pipeline_image(in, s, 2, mira::PlaneView::Cb);
    EXPECT_NE(MIRA_SCALEDOWN_U8_HALIDE(inBuf, 2, 2, 0.25f, mira::pipeline_image(out, d, 2)), 0);
    EXPECT_NE(g_errors.find("intput.stride.0"), std::string::npos) << g_errors;
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

TEST_F(PipelineTest, ScaleDownRejectsRegionLargerThanSource) {
    GuardedImage src(10, 4, 10), dst(4, 2, 4);
    src.fillRandom(1);
    dst.fill(77);
    mira::PipelineImage in, out;
    MIRA_Feature_Buf s = desc(src), d = desc(dst);
    EXPECT_NE(MIRA_SCALEDOWN_U8_HALIDE(mira::pipeline_image(in, s, 2), 3, 2, 1.0f / 6,
                                       mira::pipeline_image(out, d, 2)),
              0);
    EXPECT_NE(g_errors.find("intput"), std::string::npos) << g_errors;
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

TEST_F(PipelineTest, RejectsWrongElementType) {
    GuardedImage src(16, 4, 16), dst(8, 2, 8);
    dst.fill(77);
    mira::PipelineImage in, out;
    MIRA_Feature_Buf s = desc(src), d = desc(dst);
    halide_buffer_t* inBuf = mira::pipeline_image(in, s, 3);
    inBuf->type = halide_type_t(halide_type_uint, 16, 1);
    in.dim[0].extent = 8;
    EXPECT_NE(MIRA_IMAGE_DOWN_BOX_U8_HALIDE(inBuf, 0.5f, 0, 0, mira::pipeline_image(out, d, 3)), 0);
    EXPECT_FALSE(g_errors.empty());
    for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
}

// The query reports the m x n blocks' region, for the general block sums and
// for the 2 x 2 / 4 x 4 means with their own versions alike.
TEST_F(PipelineTest, BoundsQueryFillsTheRegionWithoutComputing) {
    const struct { uint8_t m, n; float scale; } blocks[] = {
        {3, 2, 1.0f / 6}, {2, 2, 0.25f}, {4, 4, 0.0625f}, {2, 2, 0.5f}};
    for (const auto& b : blocks) {
        GuardedImage dst(40, 4, 40);
        dst.fill(77);
        halide_dimension_t dims[2] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
        halide_buffer_t query{};
        query.type = halide_type_t(halide_type_uint, 8, 1);
        query.dimensions = 2;
        query.dim = dims;
        mira::PipelineImage out;
        MIRA_Feature_Buf d = desc(dst);
        ASSERT_EQ(MIRA_SCALEDOWN_U8_HALIDE(&query, b.m, b.n, b.scale,
                                           mira::pipeline_image(out, d, 2)),
                  0);
        EXPECT_EQ(dims[0].extent, 40 * b.m);
        EXPECT_EQ(dims[1].extent, 4 * b.n);
        for (uint8_t v : dst.packed()) ASSERT_EQ(v, 77);
    }
}

// One channel of an interleaved pair (element stride 2) gives the same
// values as the same channel packed into a plane, and leaves the other
// channel untouched.
TEST_F(PipelineTest, InterleavedChannelMatchesPlanarChannel) {
    using Fn = int (*)(halide_buffer_t*, float, int32_t, uint8_t, halide_buffer_t*);
    // Entries 4 to 11 are at ratios with versions of their own: 1/2, 2/3,
    // 3/4 (down), 2 (box up, which samples the nearest, and bilinear up) and
    // 4/3 (nearest up); the bilinear up-scales at 3/2 and 4/3 (entries 7 and
    // 10) check that the general path gives them the same values.
    const Fn fns[] = {MIRA_IMAGE_UP_BILINEAR_U8_HALIDE, MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE,
                      MIRA_IMAGE_DOWN_NONE_U8_HALIDE,   MIRA_IMAGE_UP_NONE_U8_HALIDE,
                      MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE, MIRA_IMAGE_DOWN_NONE_U8_HALIDE,
                      MIRA_IMAGE_DOWN_BOX_U8_HALIDE,    MIRA_IMAGE_UP_BILINEAR_U8_HALIDE,
                      MIRA_IMAGE_UP_BOX_U8_HALIDE,      MIRA_IMAGE_UP_BILINEAR_U8_HALIDE,
                      MIRA_IMAGE_UP_BILINEAR_U8_HALIDE, MIRA_IMAGE_UP_NONE_U8_HALIDE};
    const uint32_t sizes[][2] = {{21, 41}, {41, 21}, {41, 21}, {9, 37},  {42, 21}, {45, 30},
                                 {44, 33}, {22, 33}, {19, 38}, {17, 34}, {18, 24}, {21, 28}};
    for (int k = 0; k < 12; ++k) {
        const uint32_t sp = sizes[k][0], dp = sizes[k][1], sh = 5, dh = 9;
        GuardedImage src(2 * sp, sh, 2 * sp + 2), dst(2 * dp, dh, 2 * dp);
        src.fillRandom(k);
        dst.fill(200);
        GuardedImage plane(sp, sh, sp), pdst(dp, dh, dp);
        for (uint32_t y = 0; y < sh; ++y)
            for (uint32_t x = 0; x < sp; ++x) plane.row(y)[x] = src.row(y)[2 * x + 1];
        MIRA_Feature_Buf s = desc(src), d = desc(dst), ps = desc(plane), pd = desc(pdst);
        mira::PipelineImage a, b, c, e;
        const float f = float(dp) / float(sp);
        ASSERT_EQ(fns[k](mira::pipeline_image(a, s, 3, mira::PlaneView::Cr), f, 2, 0,
                         mira::pipeline_image(b, d, 3, mira::PlaneView::Cr)),
                  0)
            << g_errors;
        ASSERT_EQ(fns[k](mira::pipeline_image(c, ps, 3), f, 2, 0, mira::pipeline_image(e, pd, 3)), 0);
        for (uint32_t y = 0; y < dh; ++y)
            for (uint32_t x = 0; x < dp; ++x) {
                ASSERT_EQ(dst.row(y)[2 * x + 1], pdst.row(y)[x]) << k << " " << x << "," << y;
                ASSERT_EQ(dst.row(y)[2 * x], 200);
            }
    }
}

// Narrow destinations (fewer pixels than one vector) are computed.
TEST_F(PipelineTest, NarrowDestinationsAreComputed) {
    for (uint32_t dw : {1u, 3u, 7u, 15u}) {
        GuardedImage src(2, 2, 2), dst(dw, 3, dw);
        src.row(0)[0] = 10;
        src.row(0)[1] = 20;
        src.row(1)[0] = 10;
        src.row(1)[1] = 20;
        dst.fill(0);
        MIRA_Feature_Buf s = desc(src), d = desc(dst);
        mira::PipelineImage a, b;
        const float f = float(dw) / 2.0f;
        auto fn = dw > 2 ? MIRA_IMAGE_UP_NONE_U8_HALIDE : MIRA_IMAGE_DOWN_BOX_U8_HALIDE;
        ASSERT_EQ(fn(mira::pipeline_image(a, s, 3), f, 0, 0, mira::pipeline_image(b, d, 3)), 0);
        scaling_ref::Plane p{2, 2, {10, 20, 10, 20}};
        auto ref = scaling_ref::resample(p, dw, 3,
                                         dw > 2 ? scaling_ref::Filter::Nearest
                                                : scaling_ref::Filter::Box,
                                         f, -1);
        EXPECT_EQ(dst.packed(), ref.px) << dw;
    }
}

// A source without columns or without rows has nothing to sample: every
// general pipeline rejects it, whatever the border rule, before reading it
// (its memory faults on any access) or writing the destination.
TEST_F(PipelineTest, EmptySourceIsRejectedWithoutAccess) {
    using Fn = int (*)(halide_buffer_t*, float, int32_t, uint8_t, halide_buffer_t*);
    const Fn fns[] = {MIRA_IMAGE_DOWN_NONE_U8_HALIDE, MIRA_IMAGE_DOWN_BILINEAR_U8_HALIDE,
                      MIRA_IMAGE_DOWN_BOX_U8_HALIDE,  MIRA_IMAGE_UP_NONE_U8_HALIDE,
                      MIRA_IMAGE_UP_BILINEAR_U8_HALIDE, MIRA_IMAGE_UP_BOX_U8_HALIDE};
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    GuardedImage dst(16, 16, 16);
    dst.fill(200);
    for (int k = 0; k < 6; ++k)
        for (int32_t border = 0; border < 3; ++border)
            for (bool noColumns : {true, false}) {
                halide_dimension_t in[3] = {{0, noColumns ? 0 : 5, 1, 0},
                                            {0, noColumns ? 5 : 0, 8, 0},
                                            {0, 1, 64, 0}};
                halide_buffer_t src{};
                src.host = static_cast<uint8_t*>(page);
                src.type = halide_type_t(halide_type_uint, 8, 1);
                src.dimensions = 3;
                src.dim = in;
                MIRA_Feature_Buf d = desc(dst);
                mira::PipelineImage out;
                const float f = k < 3 ? 0.5f : 2.0f;
                EXPECT_NE(fns[k](&src, f, border, 7, mira::pipeline_image(out, d, 3)), 0)
                    << k << " " << border << " " << noColumns;
            }
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x) ASSERT_EQ(dst.row(y)[x], 200);
    EXPECT_TRUE(dst.paddingIntact());
    munmap(page, 4096);
}

// The pipelines' allocator: aligned blocks, a freed band-sized block serves
// the next request of its size class, the cache stays within its bounds and
// ncvDeinit empties it.
TEST(PipelineMemory, FreedBlocksServeTheNextRequest) {
    mira::pipeline_memory_release();
    const size_t size = 300 * 1024;
    auto* a = static_cast<uint8_t*>(halide_malloc(nullptr, size));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 64, 0u);
    std::memset(a, 0x5a, size);
    halide_free(nullptr, a);
    EXPECT_EQ(mira::pipeline_memory_stats().blocks, 1u);
    // A slightly smaller request takes the same block; a much smaller one
    // does not.
    void* b = halide_malloc(nullptr, size - 1000);
    EXPECT_EQ(b, a);
    void* small = halide_malloc(nullptr, 100 * 1024);
    EXPECT_NE(small, a);
    EXPECT_EQ(mira::pipeline_memory_stats().blocks, 0u);
    halide_free(nullptr, b);
    halide_free(nullptr, small);
    EXPECT_EQ(mira::pipeline_memory_stats().blocks, 2u);
    ncvDeinit();
    EXPECT_EQ(mira::pipeline_memory_stats().blocks, 0u);
    EXPECT_EQ(mira::pipeline_memory_stats().bytes, 0u);
}

TEST(PipelineMemory, CacheStaysBounded) {
    mira::pipeline_memory_release();
    std::vector<void*> blocks;
    for (int i = 0; i < 40; ++i) blocks.push_back(halide_malloc(nullptr, size_t(1 + i % 3) << 20));
    for (void* p : blocks) halide_free(nullptr, p);
    const auto st = mira::pipeline_memory_stats();
    // One thread keeps at most 8 blocks and 16 MiB, the larger blocks first.
    EXPECT_LE(st.blocks, 8u);
    EXPECT_LE(st.bytes, size_t(16) << 20);
    EXPECT_GE(st.bytes, size_t(15) << 20);
    // Small requests bypass the cache.
    halide_free(nullptr, halide_malloc(nullptr, 1000));
    EXPECT_EQ(mira::pipeline_memory_stats().blocks, st.blocks);
    mira::pipeline_memory_release();
}

// Threads allocating, filling, checking and freeing blocks of many sizes:
// every block holds what its thread wrote (the sanitizer builds watch the
// bytes around them).
TEST(PipelineMemory, ConcurrentUse) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            uint32_t seed = 77u + uint32_t(t);
            for (int i = 0; i < 400; ++i) {
                seed = seed * 1664525u + 1013904223u;
                const size_t n = 1 + (seed >> 12) % (600 * 1024);
                auto* p = static_cast<uint8_t*>(halide_malloc(nullptr, n));
                ASSERT_NE(p, nullptr);
                std::memset(p, t + 1, n);
                ASSERT_EQ(p[0], t + 1);
                ASSERT_EQ(p[n - 1], t + 1);
                halide_free(nullptr, p);
            }
        });
    for (auto& th : threads) th.join();
    mira::pipeline_memory_release();
}

}  // namespace
