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

#include <random>

#include "common/opencl_probe.h"
#include "gpu_vs_cpu.h"
#include "zor_runtime.h"

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
