// Every operation with a GPU kernel, GPU path against CPU path (or against
// the kernel's own formula where the two legitimately differ, see
// gpu_vs_cpu.h):
//  - TinySizes: destination widths 1-9 and heights 1-4, with rows exactly as
//    wide as their stride and with padded strides. Work-groups of one or two
//    items and partial last units are where kernels and their launches slip.
//  - RandomSizes: seeded random sizes (a fixed count per operation), every
//    source size the CPU path accepts, strides larger than the widths.
// Images sit against guard pages and carry canaries between rows, so any
// access past a plane faults and any write past a row's width is seen. The
// tests run on whatever shared-memory kind the device offers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "common/opencl_probe.h"
#include "gpu_vs_cpu.h"
#include "gpu/src/inc/zor_runtime.h"

namespace {

using gpu_vs_cpu::Geometry;
using gpu_vs_cpu::Op;

const std::vector<Op>& ops() {
    static const std::vector<Op> all = gpu_vs_cpu::all_ops();
    return all;
}

class GpuVsCpu : public ::testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device: mode 1 is the CPU method";
    }
};

TEST_P(GpuVsCpu, TinySizes) {
    const Op& op = ops()[GetParam()];
    // Variant 0: strides equal to the widths; 1 and 2: padded strides. The
    // variant also picks the source ratio where the operation has one.
    const uint32_t pads[3][2] = {{0, 0}, {3, 5}, {1, 2}};
    for (uint32_t dh = 1; dh <= 4; ++dh)
        for (uint32_t dw = 1; dw <= 9; ++dw)
            for (int v = 0; v < 3; ++v) {
                Geometry g;
                g.dw = dw;
                g.dh = dh;
                g.srcPad = pads[v][0];
                g.dstPad = pads[v][1];
                g.seed = dw * 131 + dh * 7 + uint32_t(v);
                op.sourceFor(g, v);
                ASSERT_TRUE(op.accepts(g)) << op.name << " " << gpu_vs_cpu::describe(g);
                gpu_vs_cpu::check(op, g);
                if (HasFailure()) return;  // one failing size is enough to read
            }
}

TEST_P(GpuVsCpu, RandomSizes) {
    const Op& op = ops()[GetParam()];
    std::mt19937 rng(0x5eed + uint32_t(GetParam()));
    constexpr int kCount = 12;
    for (int i = 0; i < kCount; ++i) {
        Geometry g;
        // Mostly small sizes, now and then a wider or taller one.
        const uint32_t limit = (i % 6 == 5) ? 300 : 48;
        g.dw = 1 + rng() % limit;
        g.dh = 1 + rng() % (limit / 2);
        g.srcPad = 1 + rng() % 9;
        g.dstPad = 1 + rng() % 9;
        g.seed = rng();
        if (op.randomSource)
            op.randomSource(g, rng);
        else
            op.sourceFor(g, 0);
        ASSERT_TRUE(op.accepts(g)) << op.name << " " << gpu_vs_cpu::describe(g);
        gpu_vs_cpu::check(op, g);
        if (HasFailure()) return;
    }
}

// Camera and display sizes, where rounding cases of the float kernels are
// common: 1920 x 1080 for every operation, 3840 x 2160 for those computing
// in float (warps, NV21, the M/N box down-scales).
TEST_P(GpuVsCpu, RealisticSizes) {
    const Op& op = ops()[GetParam()];
    const bool floatKernel = op.name.rfind("affine", 0) == 0 || op.name == "nv21 to rgba" ||
                             op.name.rfind("scale down M/N", 0) == 0;
    for (uint32_t scale : {1u, 2u}) {
        if (scale == 2 && !floatKernel) continue;
        Geometry g;
        g.dw = 1920 * scale;
        g.dh = 1080 * scale;
        g.srcPad = 64;
        g.dstPad = 3;
        g.seed = 0xC0FFEE + scale;
        op.sourceFor(g, 1);
        if (!op.accepts(g)) op.sourceFor(g, 0);
        ASSERT_TRUE(op.accepts(g)) << op.name << " " << gpu_vs_cpu::describe(g);
        gpu_vs_cpu::check(op, g);
        if (HasFailure()) return;
    }
}

// The warp at 1920 x 1080 from a 1920 x 1080 source over matrices of every
// kind: rotations about the centre with scaling, shears, translations that
// move the image partly and wholly out of the source. GPU, CPU method and the
// twin (no device) give the same bytes, every interpolation.
TEST(GpuVsCpuWarp, RandomMatricesAtFullHd) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    using namespace gpu_vs_cpu::detail;
    const uint32_t w = 1920, h = 1080;
    std::mt19937 rng(2026);
    auto uni = [&rng](float lo, float hi) {
        return lo + (hi - lo) * float(rng() % 1000001) / 1000000.0f;
    };
    std::vector<std::array<float, 6>> mats;
    for (int i = 0; i < 4; ++i) {  // rotation and scale about the centre
        const float a = uni(-3.1f, 3.1f), k = uni(0.5f, 2.0f);
        const float c = std::cos(a) / k, s = std::sin(a) / k;
        const float cx = w / 2.0f, cy = h / 2.0f;
        mats.push_back({c, -s, cx - c * cx + s * cy, s, c, cy - s * cx - c * cy});
    }
    for (int i = 0; i < 4; ++i)  // shears with a small scale
        mats.push_back({uni(0.8f, 1.25f), uni(-0.6f, 0.6f), uni(-50.f, 50.f), uni(-0.6f, 0.6f),
                        uni(0.8f, 1.25f), uni(-50.f, 50.f)});
    for (int i = 0; i < 4; ++i)  // translations, partly then wholly outside
        mats.push_back({1.f, 0.f, uni(-1.2f, 1.2f) * w * (i < 2 ? 0.5f : 1.5f), 0.f, 1.f,
                        uni(-1.2f, 1.2f) * h * (i < 2 ? 0.5f : 1.5f) + 0.37f});
    for (int interp : {0, 1, 3})
        for (size_t i = 0; i < mats.size(); ++i) {
            SCOPED_TRACE("interpolation " + std::to_string(interp) + ", matrix " + std::to_string(i));
            auto run = [&](uint32_t mode, bool twin) {
                std::vector<std::unique_ptr<gpu_vs_cpu::GuardedImage>> keep;
                auto* s = image(keep, w, h, 32, 7 + uint32_t(i), true);
                auto* d = image(keep, w, h, 5, 0, false);
                float m[6];
                std::copy(mats[i].begin(), mats[i].end(), m);
                MIRA_Feature_Buf in[2] = {buf(s, w), {3, 12, 2, 2, reinterpret_cast<uint8_t*>(m)}};
                MIRA_Feature_Buf out[2] = {buf(d, w), {2, 2, h, h, nullptr}};
                zor_test_force_unusable(twin);
                zor_test_time_kernels(true);
                zor_test_take_kernel_ns(nullptr);
                gpu_vs_cpu::Outcome o =
                    collect(request(in, 2, out, 2, MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, mode, interp), {d});
                uint64_t launches = 0;
                zor_test_take_kernel_ns(&launches);
                zor_test_time_kernels(false);
                zor_test_force_unusable(false);
                EXPECT_EQ(launches > 0, mode == MIRA_MODE_OPENCL && !twin);
                EXPECT_TRUE(o.paddingIntact);
                return o;
            };
            const gpu_vs_cpu::Outcome gpu = run(MIRA_MODE_OPENCL, false);
            gpu_vs_cpu::expect_same(run(MIRA_MODE_CPU, false).planes, gpu.planes, false, "CPU vs GPU");
            gpu_vs_cpu::expect_same(run(MIRA_MODE_OPENCL, true).planes, gpu.planes, false, "twin vs GPU");
            if (HasFailure()) return;
        }
}

std::string op_name(const ::testing::TestParamInfo<size_t>& info) {
    std::string n = ops()[info.param].name;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, GpuVsCpu, ::testing::Range<size_t>(0, ops().size()), op_name);

// Sizes reported wrong before: the planar M/N box down-scale of 8 x 4 to
// 4 x 2 with rows as wide as their strides (the destination kept its bytes),
// and the chroma up-sample of 9 x 40 pairs to 11 x 97 (taps read past the
// source).
TEST(GpuVsCpuReported, SizesThatFailedBefore) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    for (const Op& op : ops()) {
        Geometry g;
        if (op.name == "scale down M/N") {
            g.sw = 8, g.sh = 4, g.dw = 4, g.dh = 2;
        } else if (op.name == "up-sample 2x cbcr") {
            g.sw = 9, g.sh = 40, g.dw = 11, g.dh = 97;
            g.srcPad = 1;
            g.dstPad = 3;
        } else {
            continue;
        }
        g.seed = 17;
        gpu_vs_cpu::check(op, g);
    }
}

// The box down-scales take their box size from the sizes and the up-sample
// has its factor built in, so another ratio reuses the kernel already built
// (one program per kernel, not one per ratio), with results still right.
TEST(GpuBuilds, EveryRatioSharesOneProgram) {
    if (!mira_test::gpu_live()) GTEST_SKIP() << "no OpenCL device";
    for (const Op& op : ops()) {
        if (op.name.rfind("scale down", 0) != 0 && op.name.rfind("up-sample", 0) != 0) continue;
        Geometry g;
        g.dw = 5;
        g.dh = 3;
        g.srcPad = 2;
        g.dstPad = 1;
        op.sourceFor(g, 0);
        gpu_vs_cpu::check(op, g);  // builds the kernel once
        const size_t built = ZOR::KernelUtils::getInstance()->size();
        for (int v = 1; v < 3; ++v) {
            op.sourceFor(g, v);
            gpu_vs_cpu::check(op, g);
            EXPECT_EQ(ZOR::KernelUtils::getInstance()->size(), built)
                << op.name << ": " << gpu_vs_cpu::describe(g) << " built another program";
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new mira_test::GpuEnvironment);
    return RUN_ALL_TESTS();
}
