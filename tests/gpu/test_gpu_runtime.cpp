// The GPU runtime's parts on their own: the kernel table and its lookup, the
// work profiles and build options, the kernel registry, the status names and
// the status check, the lifecycle bridge's argument checks, the SVM staging
// pool, the process-object map and the cost-time timer.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/opencl_probe.h"
#include "mira/mira.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new mira_test::GpuEnvironment);

bool log_contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& l : lines)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

kernel_config unit_config() {
    kernel_config c;
    std::memset(&c, 0, sizeof c);
    c.stepX = 8, c.stepY = 2, c.stepZ = 1;
    c.timesX = c.timesY = c.timesZ = 1;
    return c;
}

// ------------------------------------------------------------ kernel table

TEST(KernelTable, HasTheTwentySevenKernelsWithFourEmpty) {
    std::set<std::string> names;
    int empty = 0;
    for (const ZOR::program_entry& e : ZOR::program_map) {
        ASSERT_NE(e.name, nullptr);
        ASSERT_NE(e.source, nullptr);
        names.insert(e.name);
        if (e.source[0] == '\0') {
            ++empty;
            continue;
        }
        // A non-empty source defines the kernel of its own name.
        EXPECT_NE(std::strstr(e.source, e.name), nullptr) << e.name;
        EXPECT_NE(std::strstr(e.source, "__kernel"), nullptr) << e.name;
    }
    EXPECT_EQ(names.size(), 27u);
    EXPECT_EQ(std::string(ZOR::program_map[20].name), "mira_fcvTransposeu8_func");
    for (int i : {6, 7, 10, 16}) EXPECT_STREQ(ZOR::program_map[i].source, "") << i;
    EXPECT_LE(empty, 4 + 0);  // only the four empty-by-design kernels may be empty
    EXPECT_GE(empty, 4);
}

TEST(KernelTable, LookupIgnoresCaseAndKnowsEmptyFromUnknown) {
    EXPECT_EQ(ZOR::find_program_value_by_key("MIRA_FCVTRANSPOSEU8_FUNC"),
              ZOR::program_map[20].source);
    EXPECT_EQ(ZOR::find_program_value_by_key("mira_fcvNoSuchKernel_func"), nullptr);
    EXPECT_EQ(ZOR::find_program_value_by_key(nullptr), nullptr);
    const char* empty = ZOR::find_program_value_by_key("mira_fcvScaleu8_v2_func");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], '\0');
    // The exported text pointer names the same source.
    EXPECT_EQ(mira_fcvTransposeu8_func, ZOR::program_map[20].source);
}

TEST(KernelTable, NameLookupReportsOnlyAMissingName) {
    const char* source = "untouched";
    zor_test_take_log();
    EXPECT_FALSE(ZOR::get_program_kernel_name(&source, nullptr));
    EXPECT_STREQ(source, "untouched");
    EXPECT_TRUE(log_contains(zor_test_take_log(), "the input kernel name ptr is NULL, return"));
    EXPECT_TRUE(ZOR::get_program_kernel_name(&source, "unknown_kernel"));
    EXPECT_EQ(source, nullptr);
    EXPECT_TRUE(log_contains(zor_test_take_log(), "get program string ptr fail."));
}

// ------------------------------------------------------------ profiles, options

TEST(KernelProfile, ProfiledKernelsRunWithUnitTilingAndRuntimeLocalSize) {
    kernel_config c = unit_config();
    c.timesX = 3, c.timesY = 5, c.timesZ = 2, c.localX = 16, c.localY = 8, c.localZ = 1;
    ZOR::apply_kernel_profile("mira_fcvTransposeu8_func", &c);
    EXPECT_EQ(c.timesX, 1);
    EXPECT_EQ(c.timesY, 1);
    EXPECT_EQ(c.timesZ, 1);
    EXPECT_EQ(c.localX, 0);
    EXPECT_EQ(c.localY, 0);
    EXPECT_EQ(c.localZ, 0);
}

TEST(KernelProfile, UnprofiledKernelsKeepTheCallersValues) {
    for (const char* name : {"mira_fcvScaleDownMNu8_func",
                             "mira_fcvTransformAffineClippedu8_cubic_func"}) {
        kernel_config c = unit_config();
        c.timesX = 2, c.localX = 4, c.localY = 4, c.localZ = 1;
        ZOR::apply_kernel_profile(name, &c);
        EXPECT_EQ(c.timesX, 2) << name;
        EXPECT_EQ(c.localX, 4) << name;
    }
    EXPECT_EQ(std::string(ZOR::kernel_profiles[19]),
              "mira_fcvRotateImageInterleavedu8_func_4096_4096_4096_4096:1_1_1:0_0_0");
}

TEST(BuildOptions, CarryTilingAndBoxSizesRaisedToOne) {
    kernel_config c = unit_config();
    c.timesX = 2, c.timesY = 3, c.timesZ = 0, c.param_int_1 = 0, c.param_int_2 = -3;
    EXPECT_EQ(ZOR::kernel_build_options(c),
              "-DtimesX=2 -DtimesY=3 -DtimesZ=1 -DboxWidth=1 -DboxHeight=1");
    c.param_int_1 = 4, c.param_int_2 = 6;
    EXPECT_NE(ZOR::kernel_build_options(c).find("-DboxWidth=4 -DboxHeight=6"), std::string::npos);
}

// ------------------------------------------------------------ registry

TEST(KernelRegistry, RejectsBadParametersBeforeBuilding) {
    ZOR::KernelUtils* k = ZOR::KernelUtils::getInstance();
    kernel_config c = unit_config();
    c.timesY = 0;
    process_param p{};
    p.config = &c;
    zor_test_take_log();
    EXPECT_EQ(k->registerKernel(0x7001, "mira_fcvTransposeu8_func", &p), nullptr);
    EXPECT_TRUE(log_contains(zor_test_take_log(), "Invaild Param"));
    EXPECT_EQ(k->registerKernel(0x7001, nullptr, &p), nullptr);
    EXPECT_TRUE(log_contains(zor_test_take_log(), "Kernel Name invaild"));
    c.timesY = 1;
    EXPECT_EQ(k->registerKernel(0x7001, "mira_fcvNoSuchKernel_func", &p), nullptr);
    EXPECT_TRUE(log_contains(zor_test_take_log(), "Do not find Program string Kernel"));
    EXPECT_EQ(k->getKernel(0x7001), nullptr);
}

TEST(KernelRegistry, KeysByHandleNameAndOptionsAndKeepsTheFirstBuild) {
    MIRA_SKIP_WITHOUT_OPENCL();
    ZOR::KernelUtils* k = ZOR::KernelUtils::getInstance();
    kernel_config c = unit_config();
    process_param p{};
    p.config = &c;
    const size_t before = k->size();
    ZOR::KernelPackage* first = k->registerKernel(0x7002, "mira_fcvTransposeu8_func", &p);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->kernel, nullptr);
    EXPECT_EQ(k->size(), before + 1);
    // Same key again: a new package, but the registry keeps the first.
    ZOR::KernelPackage* second = k->registerKernel(0x7002, "mira_fcvTransposeu8_func", &p);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(k->size(), before + 1);
    EXPECT_EQ(k->getKernel(0x7002, "mira_fcvTransposeu8_func", ZOR::kernel_build_options(c)),
              first);
    // Other build options under the same handle: a second entry.
    c.timesX = 2;
    ZOR::KernelPackage* wide = k->registerKernel(0x7002, "mira_fcvTransposeu8_func", &p);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(k->size(), before + 2);
    EXPECT_NE(wide->options.find("-DtimesX=2"), std::string::npos);
    EXPECT_TRUE(k->delKernel(0x7002));
    EXPECT_EQ(k->size(), before);
    zor_test_take_log();
    EXPECT_FALSE(k->delKernel(0x7002));
    EXPECT_TRUE(log_contains(zor_test_take_log(), "find handle error 0x7002"));
}

TEST(KernelRegistry, EmptySourceFailsInTheBuildWithALoggedStatus) {
    MIRA_SKIP_WITHOUT_OPENCL();
    ZOR::KernelUtils* k = ZOR::KernelUtils::getInstance();
    kernel_config c = unit_config();
    process_param p{};
    p.config = &c;
    zor_test_take_log();
    EXPECT_EQ(k->registerKernel(0x7003, "mira_fcvScaleu8_v2_func", &p), nullptr);
    EXPECT_TRUE(log_contains(zor_test_take_log(), "OpenCL error with code("));
}

// ------------------------------------------------------------ status names

TEST(StatusNames, NameEveryTabledCodeAndNothingElse) {
    EXPECT_STREQ(ZOR::cl_status_name(-1), "CL_DEVICE_NOT_FOUND");
    EXPECT_STREQ(ZOR::cl_status_name(-11), "CL_BUILD_PROGRAM_FAILURE");
    EXPECT_STREQ(ZOR::cl_status_name(-14), "CL_EXEC_STATUS_ERROR_FOR_EVENTS_IN_WAIT_LIST");
    EXPECT_STREQ(ZOR::cl_status_name(-30), "CL_INVALID_VALUE");
    EXPECT_STREQ(ZOR::cl_status_name(-46), "CL_INVALID_KERNEL_NAME");
    EXPECT_STREQ(ZOR::cl_status_name(-54), "CL_INVALID_WORK_GROUP_SIZE");
    EXPECT_STREQ(ZOR::cl_status_name(-64), "CL_INVALID_PROPERTY");
    for (int code : {-15, -29, -65, -1001, 1, 5})
        EXPECT_STREQ(ZOR::cl_status_name(code), "UNKNOWN ERROR CODE") << code;
    // Every code of the two ranges has a name of its own.
    std::set<std::string> seen;
    for (int code = -1; code >= -64; --code) {
        if (code <= -15 && code >= -29) continue;
        const std::string n = ZOR::cl_status_name(code);
        EXPECT_EQ(n.rfind("CL_", 0), 0u) << code;
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 14u + 35u);
}

TEST(StatusNames, TheCheckLogsTagFunctionCodeNameFileAndLine) {
    zor_test_take_log();
    EXPECT_TRUE(ZOR::cl_check(CL_SUCCESS, "init", "file.cpp", 87));
    EXPECT_TRUE(zor_test_take_log().empty());
    EXPECT_FALSE(ZOR::cl_check(-15, "init", "file.cpp", 87));
    const auto lines = zor_test_take_log();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "\nVEZ_IVEVEDO init  87:OpenCL error with code(-15) UNKNOWN ERROR CODE happened "
              "in file file.cpp at line 87. Exiting.\n");
}

// ------------------------------------------------------------ bridge, device manager

TEST(Bridge, ChecksCodesAndArgumentCounts) {
    EXPECT_EQ(zor_cv_opencl_operation(7, 0), 0);  // unknown codes do nothing
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(zor_cv_opencl_operation(2, 2, &out, 64u, 0u), 1);
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1));
    for (uint32_t code : {3u, 4u, 5u, 6u}) EXPECT_EQ(zor_cv_opencl_operation(code, 0), 1) << code;
    EXPECT_EQ(zor_cv_opencl_operation(0, 0), mira_test::expected_init());
}

TEST(DeviceManager, ClampsResourceIndicesAndCountsDevices) {
    MIRA_SKIP_WITHOUT_OPENCL();
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    ASSERT_TRUE(dm->isInited());
    int platforms = 0, devices = 0;
    EXPECT_TRUE(dm->getPlatformNums(platforms));
    EXPECT_TRUE(dm->getDeviceNums(devices));
    EXPECT_GE(platforms, 1);
    EXPECT_GE(devices, 1);
    ZOR::opencl_res* r = dm->getOpenclRes(0, 0);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->inited);
    EXPECT_NE(r->context, nullptr);
    EXPECT_NE(r->queue, nullptr);
    EXPECT_EQ(dm->getOpenclRes(-1, 5), r);
    EXPECT_EQ(dm->getOpenclRes(platforms, -1), r);
    EXPECT_FALSE(dm->displayDeviceInfo());
}

// ------------------------------------------------------------ SVM pool

TEST(SvmPool, TwoGetsGiveTwoBuffersAndAGiveBackIsReused) {
    MIRA_SKIP_WITHOUT_OPENCL();
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(dm->getSvmBuffer(&a, 0, 0), 1);
    ASSERT_EQ(dm->getSvmBuffer(&b, 0, 0), 1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    // Staging buffers are 64 MiB: the whole range is writable.
    static_cast<uint8_t*>(a)[ZOR::kStagingBytes - 1] = 1;
    static_cast<uint8_t*>(b)[ZOR::kStagingBytes - 1] = 2;
    EXPECT_EQ(dm->isSvmBufferExist(a, 0, 0), 1);
    EXPECT_EQ(dm->setSvmBuffer(a, 0, 0), 1);
    EXPECT_EQ(dm->setSvmBuffer(a, 0, 0), 0);  // not lent any more
    void* c = nullptr;
    ASSERT_EQ(dm->getSvmBuffer(&c, 0, 0), 1);
    EXPECT_EQ(c, a);
    EXPECT_EQ(dm->setSvmBuffer(c, 0, 0), 1);
    EXPECT_EQ(dm->setSvmBuffer(b, 0, 0), 1);
}

TEST(SvmPool, FreeingAnUnknownPointerChangesNothing) {
    MIRA_SKIP_WITHOUT_OPENCL();
    ZOR::DeviceManager* dm = ZOR::DeviceManager::getInstance();
    ZOR::opencl_res* r = dm->getOpenclRes(0, 0);
    const size_t before = r->svm_list->size();
    int local = 0;
    EXPECT_EQ(dm->freeSvmBuffer(&local, 0, 0), 0);
    EXPECT_EQ(dm->isSvmBufferExist(&local, 0, 0), 0);
    EXPECT_EQ(r->svm_list->size(), before);
    EXPECT_EQ(zor_cv_opencl_operation(3, 1, static_cast<void*>(&local)), 1);
    EXPECT_EQ(r->svm_list->size(), before);
}

TEST(SvmPool, CallerBlocksRegisterUntilFreed) {
    MIRA_SKIP_WITHOUT_OPENCL();
    void* p = nullptr;
    ASSERT_EQ(zor_cv_opencl_operation(2, 3, &p, 1000u, 64u), 0);
    ASSERT_NE(p, nullptr);
    std::memset(p, 0x5A, 1000);
    EXPECT_EQ(zor_cv_opencl_operation(6, 1, p), 0);
    EXPECT_EQ(zor_cv_opencl_operation(5, 1, p), 1);  // not a staging buffer
    EXPECT_EQ(zor_cv_opencl_operation(3, 1, p), 0);
    EXPECT_EQ(zor_cv_opencl_operation(6, 1, p), 1);
    EXPECT_EQ(zor_cv_opencl_operation(3, 1, p), 1);
}

// ------------------------------------------------------------ process objects

class BareProcess : public ZOR::Process_base {
public:
    bool doProcess(unsigned long) override { return false; }
};

TEST(ProcessMap, HandlesDuplicatesNullsAndUnknownKinds) {
    EXPECT_EQ(ZOR::get_process_object(0), nullptr);
    EXPECT_FALSE(ZOR::add_process_object(nullptr));
    auto* a = new ZOR::Process_U8_U8();
    auto* b = new ZOR::Process_U8_U8();
    a->handle = b->handle = 0x9001;
    EXPECT_TRUE(ZOR::add_process_object(a));
    EXPECT_FALSE(ZOR::add_process_object(b));
    EXPECT_EQ(ZOR::get_process_object(0x9001), a);
    EXPECT_TRUE(ZOR::release_process_object(b));
    BareProcess bare;
    EXPECT_EQ(bare.type, 4u);
    EXPECT_FALSE(ZOR::release_process_object(&bare));
    EXPECT_FALSE(ZOR::delete_process_object(0));
    EXPECT_FALSE(ZOR::delete_process_object(0x9002));
    EXPECT_TRUE(ZOR::delete_process_object(0x9001));
    EXPECT_EQ(ZOR::get_process_object(0x9001), nullptr);
    ZOR_ReserveParam_Opencl r = zor_reserve(7, "mira_fcvTransposeu8_func");
    auto* c = new ZOR::Process_YUV_RGB();
    EXPECT_TRUE(ZOR::set_process_object(c, true, &r));
    EXPECT_EQ(ZOR::get_process_object(r.handle), c);
    EXPECT_TRUE(ZOR::flush_process_object(1));
    EXPECT_EQ(ZOR::get_process_object(r.handle), nullptr);
    EXPECT_FALSE(ZOR::set_process_object(nullptr, false, &r));
}

TEST(ProcessBase, InitRejectsMissingPiecesAndZeroTiling) {
    ZOR::Process_U8_U8 p;
    kernel_config c = unit_config();
    process_param pp{};
    pp.config = &c;
    EXPECT_FALSE(p.init(4101, nullptr, "mira_fcvTransposeu8_func", &pp));
    EXPECT_FALSE(p.init(4101, "", nullptr, &pp));
    EXPECT_FALSE(p.init(4101, "", "mira_fcvTransposeu8_func", nullptr));
    c.timesZ = 0;
    EXPECT_FALSE(p.init(4101, "", "mira_fcvTransposeu8_func", &pp));
    EXPECT_FALSE(p.inited);
}

// ------------------------------------------------------------ timer

TEST(ZorTimer, CountsOneIntervalPerStartEndPair) {
    ZOR::ZorTimer t("unit");
    EXPECT_STREQ(t.name, "unit");
    t.timerEnd();  // not running: nothing
    EXPECT_EQ(t.getCount(), 0);
    t.timerStart();
    t.timerStart();  // already running: ignored
    t.timerEnd();
    t.timerEnd();
    EXPECT_EQ(t.getCount(), 1);
    EXPECT_GE(t.min, 0);
    EXPECT_EQ(t.min, t.max);
    EXPECT_EQ(t.sum, t.current);
    t.timerReset();
    EXPECT_EQ(t.getCount(), 0);
    EXPECT_STREQ(t.name, "");
}

}  // namespace
