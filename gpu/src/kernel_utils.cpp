// Kernel table lookup, work profiles, build options and the kernel registry.
#include <strings.h>

#include <algorithm>
#include <atomic>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gpu/src/inc/program_cache.h"
#include "gpu/src/inc/zor_log.h"
#include "gpu/src/inc/zor_runtime.h"

namespace ZOR {

extern std::atomic<bool> g_force_group_shape;  // test hook (opencl_res.cpp)

namespace {

// The last name a thread looked up and what it found: a call looks up its
// kernel's source and work profile by name, and calls repeat their kernel.
constexpr size_t kMemoName = 128;
struct NameMemo {
    char name[kMemoName] = {0};
    bool valid = false;
    bool hit(const char* n) const { return valid && std::strcmp(name, n) == 0; }
    bool remember(const char* n) {
        valid = std::strlen(n) < kMemoName;
        if (valid) std::strcpy(name, n);
        return valid;
    }
};

}  // namespace

const char* find_program_value_by_key(const char* name) {
    if (!name) return nullptr;
    thread_local NameMemo memo;
    thread_local const char* found = nullptr;
    if (memo.hit(name)) return found;
    const char* source = nullptr;
    for (const program_entry& e : program_map)
        if (strcasecmp(name, e.name) == 0) {
            source = e.source;
            break;
        }
    if (memo.remember(name)) found = source;
    return source;
}

bool get_program_kernel_name(const char** source, const char* name) {
    if (!name) {
        ZOR_LOG("the input kernel name ptr is NULL, return");
        return false;
    }
    *source = find_program_value_by_key(name);
    if (!*source) ZOR_LOG("get program string ptr fail.");
    return true;
}

#define ZOR_PROFILE(name) name "_4096_4096_4096_4096:1_1_1:0_0_0"
const char* const kernel_profiles[kProfileCount] = {
    ZOR_PROFILE("mira_fcvColorCbCrSwapu8_func"),
    ZOR_PROFILE("mira_fcvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8_func"),
    ZOR_PROFILE("mira_fcvColorYUV420toRGB8888u8_func"),
    ZOR_PROFILE("mira_fcvColorYCbCr420PseudoPlanarToYCbCr444Planaru8_func"),
    ZOR_PROFILE("mira_fcvColorYCbCr422PseudoPlanarToRGBA8888u8_func"),
    ZOR_PROFILE("mira_fcvScaleDownu8_v2_func"),
    ZOR_PROFILE("mira_fcvScaleUpPolyu8_func"),
    ZOR_PROFILE("mira_fcvScaleUpPolyInterleaveu8_func"),
    ZOR_PROFILE("mira_fcvUpsample2DInterleavedu8_func"),
    ZOR_PROFILE("mira_fcvScaleDownMNInterleaveu8_func"),
    ZOR_PROFILE("mira_fcvScaleu8_v2_func"),
    ZOR_PROFILE("mira_fcvFilterGaussian3x3u8_func"),
    ZOR_PROFILE("mira_fcvImageGradientPlanars16_v2_func"),
    ZOR_PROFILE("mira_fcvImageGradientSobelPlanars16_v3_func"),
    ZOR_PROFILE("mira_fcvImageIntensityStats_func"),
    ZOR_PROFILE("mira_fcvFloodfillSimpleu8_func"),
    ZOR_PROFILE("mira_fcvTransposeu8_func"),
    ZOR_PROFILE("mira_fcvRotateImageu8_func"),
    ZOR_PROFILE("mira_fcvInterleaveu8_func"),
    ZOR_PROFILE("mira_fcvRotateImageInterleavedu8_func"),
};
#undef ZOR_PROFILE

namespace {

// The values the build options carry: tiling factors and box size, at least 1.
int32_t at_least_1(int32_t v) { return v < 1 ? 1 : v; }
void option_values(const kernel_config& c, int32_t out[5]) {
    out[0] = at_least_1(c.timesX);
    out[1] = at_least_1(c.timesY);
    out[2] = at_least_1(c.timesZ);
    out[3] = at_least_1(c.param_int_1);
    out[4] = at_least_1(c.param_int_2);
}

// A work-profile row with its values read once: the tiling factors and
// local sizes it sets (the first `count` of them).
struct ParsedProfile {
    const char* row;
    int count;
    int values[6];
};

const std::vector<ParsedProfile>& parsed_profiles() {
    static const std::vector<ParsedProfile> rows = [] {
        std::vector<ParsedProfile> v;
        for (const char* row : kernel_profiles) {
            ParsedProfile p{row, 0, {0, 0, 0, 0, 0, 0}};
            const int n = std::sscanf(row, "%*[^:]:%d_%d_%d:%d_%d_%d", &p.values[0], &p.values[1],
                                      &p.values[2], &p.values[3], &p.values[4], &p.values[5]);
            p.count = n < 0 ? 0 : n;
            v.push_back(p);
        }
        return v;
    }();
    return rows;
}

}  // namespace

void apply_kernel_profile(const char* kernelName, kernel_config* config) {
    if (!kernelName || !config) return;
    // The rows that name the kernel, remembered for the last name per thread.
    thread_local NameMemo memo;
    thread_local int rows[kProfileCount];
    thread_local int rowCount = 0;
    const std::vector<ParsedProfile>& profiles = parsed_profiles();
    int found[kProfileCount];
    int n = 0;
    if (memo.hit(kernelName)) {
        n = rowCount;
        std::memcpy(found, rows, sizeof(int) * static_cast<size_t>(n));
    } else {
        for (int r = 0; r < static_cast<int>(profiles.size()) && r < kProfileCount; ++r)
            if (profiles[r].count >= 1 && std::strstr(profiles[r].row, kernelName)) found[n++] = r;
        if (memo.remember(kernelName)) {
            rowCount = n;
            std::memcpy(rows, found, sizeof(int) * static_cast<size_t>(n));
        }
    }
    kernel_config copy = *config;
    for (int i = 0; i < n; ++i) {
        const ParsedProfile& p = profiles[found[i]];
        int32_t* fields[6] = {&copy.timesX, &copy.timesY, &copy.timesZ,
                              &copy.localX, &copy.localY, &copy.localZ};
        for (int f = 0; f < p.count; ++f) *fields[f] = p.values[f];
        *config = copy;
    }
}

// Options that depend on the device rather than the request: divisions and
// square roots correctly rounded where the device can (the CPU twins divide
// in IEEE single precision; without the option OpenCL allows 2.5 ulp).
static std::string device_float_options(cl_device_id device) {
    cl_device_fp_config fp = 0;
    if (g_cl.clGetDeviceInfo(device, CL_DEVICE_SINGLE_FP_CONFIG, sizeof fp, &fp, nullptr) ==
            CL_SUCCESS &&
        (fp & CL_FP_CORRECTLY_ROUNDED_DIVIDE_SQRT) != 0)
        return " -cl-fp32-correctly-rounded-divide-sqrt";
    return "";
}

std::string kernel_build_options(const kernel_config& c) {
    int32_t v[5];
    option_values(c, v);
    char buf[512] = {0};
    std::snprintf(buf, sizeof buf,
                  "-DtimesX=%d -DtimesY=%d -DtimesZ=%d -DboxWidth=%d "
                  "-DboxHeight=%d",
                  v[0], v[1], v[2], v[3], v[4]);
    return buf;
}

// ------------------------------------------------------------ registry

namespace {
struct KernelKey {
    uint64_t handle;
    std::string name;
    std::string options;
    bool operator<(const KernelKey& o) const {
        if (handle != o.handle) return handle < o.handle;
        if (name != o.name) return name < o.name;
        return options < o.options;
    }
};
struct Unfiled {
    KernelPackage* package;
};
// What the build options of a configuration depend on, for lookups that
// skip formatting them.
struct FastEntry {
    uint64_t handle;
    int32_t values[5];
    std::string name;
    KernelPackage* package;
};
}  // namespace

struct KernelMapImpl {
    std::map<KernelKey, KernelPackage*> filed;
    std::vector<Unfiled> unfiled;
    std::set<KernelKey> failed;  // builds that failed: not tried again
    std::vector<FastEntry> fast;  // filed packages found by findKernel(handle, name, config)
};

namespace {
// Whether the registry remembers a failed build: calls look their key up
// before staging only then.
std::atomic<bool> g_failed_builds{false};
}  // namespace

bool KernelUtils::hasFailedBuilds() { return g_failed_builds.load(std::memory_order_relaxed); }

KernelUtils::KernelUtils() : mKernelMap(new KernelMapImpl()) {}
KernelUtils::~KernelUtils() { delete mKernelMap; }

KernelUtils* KernelUtils::mClKernels = nullptr;
std::mutex KernelUtils::gMutex;
std::mutex KernelUtils::mBuildMutex;

KernelUtils* KernelUtils::getInstance() {
    std::lock_guard<std::mutex> lock(gMutex);
    if (!mClKernels) mClKernels = new KernelUtils();
    return mClKernels;
}

bool KernelUtils::delInstance() {
    KernelUtils* k;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        k = mClKernels;
        mClKernels = nullptr;
    }
    if (!k) return false;
    k->releaseKernels();
    delete k;
    return true;
}

KernelPackage* KernelUtils::getKernel(uint64_t handle) {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& kv : mKernelMap->filed)
        if (kv.first.handle == handle) return kv.second;
    ZOR_TRACE("Do not find kernel, create one.");
    return nullptr;
}

KernelPackage* KernelUtils::getKernel(uint64_t handle, const char* name,
                                      const std::string& options) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = mKernelMap->filed.find(KernelKey{handle, name, options});
    if (it != mKernelMap->filed.end()) return it->second;
    ZOR_TRACE("Do not find kernel, create one.");
    return nullptr;
}

KernelPackage* KernelUtils::findKernel(uint64_t handle, const char* name,
                                       const std::string& options) {
    if (!name) return nullptr;
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = mKernelMap->filed.find(KernelKey{handle, name, options});
    return it == mKernelMap->filed.end() ? nullptr : it->second;
}

KernelPackage* KernelUtils::findKernel(uint64_t handle, const char* name,
                                       const kernel_config& config) {
    if (!name) return nullptr;
    int32_t values[5];
    option_values(config, values);
    {
        std::lock_guard<std::mutex> lock(gMutex);
        for (const FastEntry& e : mKernelMap->fast)
            if (e.handle == handle && std::memcmp(e.values, values, sizeof values) == 0 &&
                e.name == name)
                return e.package;
    }
    const std::string options = kernel_build_options(config);
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = mKernelMap->filed.find(KernelKey{handle, name, options});
    if (it == mKernelMap->filed.end()) return nullptr;
    FastEntry e{handle, {}, name, it->second};
    std::memcpy(e.values, values, sizeof values);
    mKernelMap->fast.push_back(std::move(e));
    return it->second;
}

bool KernelUtils::getKernelName(const char*& source, const char* name) {
    if (!name) {
        ZOR_LOG("the input kernel name ptr is NULL, return");
        return false;
    }
    source = find_program_value_by_key(name);
    if (!source) ZOR_LOG("get program string ptr fail. Kernel %p", static_cast<const void*>(name));
    return true;
}

void KernelUtils::freePackage(KernelPackage* p) {
    if (!p) return;
    if (cl_loaded()) {
        if (p->kernel) g_cl.clReleaseKernel(p->kernel);
        if (p->program) g_cl.clReleaseProgram(p->program);
    }
    delete p;
}

KernelPackage* KernelUtils::registerKernel(uint64_t handle, const char* name,
                                           process_param* param) {
    if (!name) {
        ZOR_LOG("Kernel Name invaild");
        return nullptr;
    }
    if (!param || !param->config || param->config->timesX < 1 || param->config->timesY < 1 ||
        param->config->timesZ < 1) {
        ZOR_LOG("Invaild Param");
        return nullptr;
    }
    ZOR_TRACE("TEST %d", __LINE__);
    const std::string options = kernel_build_options(*param->config);
    if (buildFailed(handle, name, options)) {
        ZOR_TRACE("kernel %s failed to build earlier, not built again", name);
        return nullptr;
    }
    // Any failure below is remembered for this key.
    struct Remember {
        KernelMapImpl* map;
        KernelKey key;
        bool built = false;
        ~Remember() {
            if (built) return;
            std::lock_guard<std::mutex> lock(KernelUtils::gMutex);
            map->failed.insert(key);
            g_failed_builds.store(true);
        }
    } remember{mKernelMap, KernelKey{handle, name, options}};
    const char* source = nullptr;
    getKernelName(source, name);
    if (!source) {
        ZOR_LOG("Do not find Program string Kernel:%p", static_cast<const void*>(name));
        return nullptr;
    }
    opencl_res* res = DeviceManager::getInstance()->getOpenclRes(0, 0);
    if (!res || !res->inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return nullptr;
    }
    cl_int st = CL_SUCCESS;
    const std::string buildOptions = options + device_float_options(res->device);
    cl_program program = program_cache_load(*res, source, buildOptions);
    if (!program) {
        const size_t length = std::strlen(source);
        program = g_cl.clCreateProgramWithSource(res->context, 1, &source, &length, &st);
        if (!ZOR_CL_CHECK(st)) return nullptr;
        ZOR_TRACE("TEST %d", __LINE__);
        st = g_cl.clBuildProgram(program, 1, &res->device, buildOptions.c_str(), nullptr,
                                 nullptr);
        if (st == CL_SUCCESS) program_cache_store(*res, program, source, buildOptions);
    }
    if (st != CL_SUCCESS) {
        ZOR_LOG("there is some error in bulid program.\n");
        if (st == CL_BUILD_PROGRAM_FAILURE) {
            size_t size = 0;
            g_cl.clGetProgramBuildInfo(program, res->device, CL_PROGRAM_BUILD_LOG, 0, nullptr,
                                       &size);
            std::vector<char> log(size + 1, '0');
            g_cl.clGetProgramBuildInfo(program, res->device, CL_PROGRAM_BUILD_LOG, size,
                                       log.data(), nullptr);
            log[size] = '\0';
            ZOR_LOG(" \n\t\t\tBUILD LOG : %s\n", name);
            ZOR_LOG(" ************************************************\n");
            ZOR_LOG("%s\n", log.data());
            ZOR_LOG(" ************************************************\n");
        }
        ZOR_CL_CHECK(st);
        g_cl.clReleaseProgram(program);
        return nullptr;
    }
    cl_kernel kernel = g_cl.clCreateKernel(program, name, &st);
    if (!ZOR_CL_CHECK(st)) {
        g_cl.clReleaseProgram(program);
        return nullptr;
    }
    size_t multiple = 0, maxGroup = 0;
    g_cl.clGetKernelWorkGroupInfo(kernel, res->device, CL_KERNEL_PREFERRED_WORK_GROUP_SIZE_MULTIPLE,
                                  sizeof multiple, &multiple, nullptr);
    g_cl.clGetKernelWorkGroupInfo(kernel, res->device, CL_KERNEL_WORK_GROUP_SIZE, sizeof maxGroup,
                                  &maxGroup, nullptr);
    KernelPackage* p = new KernelPackage();
    // GPUs run the kernel's preferred shape; a CPU device's runtime chooses
    // better itself (one large group per core).
    if ((res->gpu || g_force_group_shape.load()) && multiple >= 1 && maxGroup >= multiple) {
        p->groupX = multiple;
        p->groupY = std::max<size_t>(1, std::min<size_t>(4, maxGroup / multiple));
    }
    std::snprintf(p->name, sizeof p->name, "%s", name);
    p->program = program;
    p->kernel = kernel;
    p->handle = handle;
    p->options = options;
    remember.built = true;

    std::lock_guard<std::mutex> lock(gMutex);
    if (!mKernelMap->filed.emplace(KernelKey{handle, name, options}, p).second)
        mKernelMap->unfiled.push_back(Unfiled{p});  // released with the registry
    return p;
}

bool KernelUtils::buildFailed(uint64_t handle, const char* name, const std::string& options) {
    if (!name) return false;
    std::lock_guard<std::mutex> lock(gMutex);
    return mKernelMap->failed.count(KernelKey{handle, name, options}) != 0;
}

bool KernelUtils::delKernel(uint64_t handle) {
    std::lock_guard<std::mutex> lock(gMutex);
    bool found = false;
    for (auto it = mKernelMap->filed.begin(); it != mKernelMap->filed.end();) {
        if (it->first.handle == handle) {
            KernelPackage* gone = it->second;
            auto& fast = mKernelMap->fast;
            fast.erase(std::remove_if(fast.begin(), fast.end(),
                                      [gone](const FastEntry& e) { return e.package == gone; }),
                       fast.end());
            freePackage(gone);
            it = mKernelMap->filed.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    if (!found) ZOR_LOG("find handle error 0x%x", static_cast<unsigned>(handle));
    return found;
}

bool KernelUtils::releaseKernels() {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& kv : mKernelMap->filed) {
        ZOR_TRACE("delete handle : 0x%x", static_cast<unsigned>(kv.first.handle));
        freePackage(kv.second);
    }
    mKernelMap->filed.clear();
    mKernelMap->fast.clear();
    for (Unfiled& u : mKernelMap->unfiled) freePackage(u.package);
    mKernelMap->unfiled.clear();
    mKernelMap->failed.clear();
    g_failed_builds.store(false);
    return true;
}

void KernelUtils::checkKernels() {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto& kv : mKernelMap->filed)
        ZOR_TRACE("ThreadTests packagesize(%d),KernelName:%s, kernel:%p, program:%p",
                static_cast<int>(mKernelMap->filed.size()), kv.second->name,
                static_cast<void*>(kv.second->kernel), static_cast<void*>(kv.second->program));
}

size_t KernelUtils::size() {
    std::lock_guard<std::mutex> lock(gMutex);
    return mKernelMap->filed.size();
}

}  // namespace ZOR
