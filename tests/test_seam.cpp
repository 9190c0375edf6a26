// The dispatch seam, through every image feature of the "every operation"
// table: a GPU request gives the kernel's bytes with a device, without a
// usable one and when the launch fails; a request with bad arguments writes
// nothing, in every mode.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "common/op_cases.h"
#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_test_hooks.h"
#include "gpu/src/inc/cl_api.h"

namespace {

using mira_test::Planes;

ZOR::ClApi g_real;
std::atomic<int> g_launches{0};

cl_int CL_API_CALL failing_enqueue(cl_command_queue, cl_kernel, cl_uint, const size_t*,
                                   const size_t*, const size_t*, cl_uint, const cl_event*,
                                   cl_event*) {
    ++g_launches;
    return CL_OUT_OF_RESOURCES;
}

// The kernel's bytes come from the device itself; the seam must give the
// same bytes when no device is usable and when the launch fails.
TEST(Seam, AGpuRequestGivesTheKernelsBytesWithoutADeviceAndAfterAFailedLaunch) {
    MIRA_INIT_DEVICE_OR_SKIP();
    int attempted = 0;
    for (const auto& op : mira_test::all_op_cases()) {
        SCOPED_TRACE(op.name);
        ncvDeinit();
        ASSERT_EQ(ncvInit(), 0);
        Planes kernel;
        ASSERT_EQ(op.run(MIRA_MODE_OPENCL, kernel), MIRA_OK);

        // No usable device: the twin.
        zor_test_force_unusable(true);
        Planes none;
        const uint32_t noneStatus = op.run(MIRA_MODE_OPENCL, none);
        zor_test_force_unusable(false);
        EXPECT_EQ(noneStatus, MIRA_OK);
        ASSERT_EQ(none.size(), kernel.size());
        for (size_t i = 0; i < kernel.size(); ++i)
            EXPECT_TRUE(none[i] == kernel[i]) << "no device: output " << i << " differs";

        // Every launch fails (a fresh device: a failed launch switches it off).
        ncvDeinit();
        ASSERT_EQ(ncvInit(), 0);
        ASSERT_NE(zor_test_cl_table(), nullptr);
        g_real = *zor_test_cl_table();
        zor_test_cl_table()->clEnqueueNDRangeKernel = failing_enqueue;
        g_launches = 0;
        Planes failed;
        const uint32_t status = op.run(MIRA_MODE_OPENCL, failed);
        *zor_test_cl_table() = g_real;
        EXPECT_EQ(status, MIRA_OK);
        ASSERT_EQ(failed.size(), kernel.size());
        for (size_t i = 0; i < kernel.size(); ++i)
            EXPECT_TRUE(failed[i] == kernel[i]) << "failed launch: output " << i << " differs";
        if (g_launches > 0) ++attempted;
    }
    // The features with a kernel really reached the failing launch.
    EXPECT_GE(attempted, 10);
    ncvDeinit();
}

// Every feature id: no source list, a destination of poisoned planes. The
// seam rejects the call before anything is written, on every path.
TEST(Seam, BadArgumentsWriteNothing) {
    const uint32_t ids[] = {
        MIRA_API_TRANSPOSE_U8,        MIRA_API_SCALE_DOWN_U8,
        MIRA_API_NV21_TO_RGBA8888,    MIRA_API_YUV444_TO_YUV420,
        MIRA_API_YUV420_TO_YUV444,    MIRA_API_CBCR_SWAP,
        MIRA_API_INTERLEAVE_U8,       MIRA_API_ROTATE_U8,
        MIRA_API_ROTATE_INTERLEAVE_U8, MIRA_API_SCALEDOWN_MNINTERLEAVE_U8,
        MIRA_API_IMAGE_GRADIENT_U8,   MIRA_API_IMAGE_GRADIENT_SOBEL_U8,
        MIRA_API_IMAGE_INTENSITY_STATS, MIRA_API_FILTER_GAUSSIAN3X3_U8,
        MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, MIRA_API_SCALE_UP_POLY_U8,
        MIRA_API_SCALE_UP_POLY_CBCR_U8, MIRA_API_SCALE_U8,
        MIRA_API_FLOODFILL_SIMPLE_U8, MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8,
        MIRA_API_SCALEDOWN_MN_U8};
    ncvScaleParam scale{1, 2, 0};
    ncvFloodfillResult result{};
    ncvFloodfillParam fill{};
    fill.result = &result;
    for (uint32_t id : ids)
        for (uint32_t mode : {0u, 1u, 2u}) {
            SCOPED_TRACE("feature " + std::to_string(id) + " mode " + std::to_string(mode));
            Planes out(3, std::vector<uint8_t>(64 * 64, 0xA5));
            const Planes before = out;
            MIRA_Feature_Buf dst[3];
            for (int i = 0; i < 3; ++i) dst[i] = {16, 64, 16, 16, out[i].data()};
            void* extra = id == MIRA_API_SCALE_U8 ? static_cast<void*>(&scale)
                          : id == MIRA_API_FLOODFILL_SIMPLE_U8 ? static_cast<void*>(&fill)
                                                               : nullptr;
            MIRA_Feature_Param p{id, mode, 1, extra, 1};
            EXPECT_EQ(MIRA_Manager().run(nullptr, 0, dst, 3, &p), MIRA_ERR_ARG);
            EXPECT_TRUE(out == before);
            // The same through the feature's own methods.
            MIRA_Interface* f = MIRA_Manager().getFeatureObjByID(MIRA_API_ID(id));
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->run(nullptr, 0, dst, 3, &p), MIRA_ERR_ARG);
            EXPECT_EQ(f->run(nullptr, 0, dst, 3, nullptr), MIRA_ERR_ARG);
            EXPECT_TRUE(out == before);
            delete f;
        }
}

}  // namespace
