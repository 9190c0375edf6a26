// GPU runtime overhead: a mode-1 transpose through MIRA_Manager (staging,
// registry lookup, argument setting, launch, finish, copy back) against the
// bare clEnqueueNDRangeKernel + clFinish of the same kernel on the same
// images, and the GPU transpose of a full-HD frame; and both in alternation
// with per-call percentiles (interleaved), the steadiest ratio on a busy host.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_features.h"
#include "gpu/src/inc/opencl_res.h"
#include "gpu/src/inc/zor_runtime.h"

namespace mira_bench {
namespace {

void transpose_mode1(benchmark::State& st, Size s, bool managed) {
    if (ncvInit() != 0) {
        st.SkipWithError("no OpenCL device");
        return;
    }
    const size_t n = size_t(s.w) * s.h;
    std::vector<uint8_t> hostSrc = random_bytes(n), hostDst(n);
    uint8_t* src = hostSrc.data();
    uint8_t* dst = hostDst.data();
    if (managed) {
        src = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
        dst = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
        std::memcpy(src, hostSrc.data(), n);
    }
    MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src}, db{s.h, s.h, s.w, s.w, dst};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Manager m;
    m.run(&sb, 1, &db, 1, &p);  // builds the kernel outside the timing
    for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    if (managed) {
        ncvMemFree(src);
        ncvMemFree(dst);
    }
}

// The transpose kernel's arguments for a w x h plane in shared block src
// transposed into shared block dst (sizes and byte strides of both planes,
// then the unused float and integer parameters).
void set_transpose_args(cl_kernel kernel, void* src, void* dst, Size s) {
    const auto& cl = ZOR::g_cl;
    const int32_t a[4] = {int32_t(s.w), int32_t(s.h), int32_t(s.w), int32_t(s.h)};
    const int32_t b[4] = {int32_t(s.h), int32_t(s.w), int32_t(s.h), int32_t(s.w)};
    const float f = 0;
    const int32_t z = 0;
    cl_uint i = 0;
    cl.clSetKernelArgSVMPointer(kernel, i++, src);
    for (const int32_t& v : a) cl.clSetKernelArg(kernel, i++, sizeof v, &v);
    cl.clSetKernelArgSVMPointer(kernel, i++, dst);
    for (const int32_t& v : b) cl.clSetKernelArg(kernel, i++, sizeof v, &v);
    cl.clSetKernelArg(kernel, i++, sizeof f, &f);
    cl.clSetKernelArg(kernel, i++, sizeof f, &f);
    cl.clSetKernelArg(kernel, i++, sizeof z, &z);
    cl.clSetKernelArg(kernel, i++, sizeof z, &z);
}

// The registry's transpose kernel and the device's queue, after one library
// call through `m` has built the kernel; null kernel (the row skipped) where
// there is none or the device has no fine-grained SVM: the bare launch hands
// the kernel ncvMemAlloc blocks as SVM pointers, which needs blocks the host
// and the device share without maps (on a device without SVM they are host
// memory, on a coarse-grained one they are mapped for the host).
struct RegistryTranspose {
    ZOR::KernelPackage* kernel;
    ZOR::opencl_res* res;
};
RegistryTranspose registry_transpose(benchmark::State& st, MIRA_Manager& m, MIRA_Feature_Buf& src,
                                     MIRA_Feature_Buf& dst) {
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    m.run(&src, 1, &dst, 1, &p);
    RegistryTranspose r{ZOR::KernelUtils::getInstance()->getKernel(4101),
                        ZOR::DeviceManager::getInstance()->getOpenclRes(0, 0)};
    if (!r.kernel || !r.res || !ZOR::cl_has_svm() || r.res->svmMode != ZOR::kSvmFine) {
        st.SkipWithError("no kernel or no fine-grained SVM");
        r.kernel = nullptr;
    }
    return r;
}

// The floor: the registry's transpose kernel launched directly on shared
// blocks with its arguments set once.
void bare_launch(benchmark::State& st, Size s) {
    if (ncvInit() != 0) {
        st.SkipWithError("no OpenCL device");
        return;
    }
    const size_t n = size_t(s.w) * s.h;
    auto* src = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
    auto* dst = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
    std::memset(src, 7, n);
    MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src}, db{s.h, s.h, s.w, s.w, dst};
    MIRA_Manager m;
    const RegistryTranspose r = registry_transpose(st, m, sb, db);
    if (!r.kernel) {
        ncvMemFree(src);
        ncvMemFree(dst);
        return;
    }
    ZOR::KernelPackage* k = r.kernel;
    ZOR::opencl_res* res = r.res;
    const auto& cl = ZOR::g_cl;
    const size_t global[2] = {(s.h + 3) / 4, s.w};
    set_transpose_args(k->kernel, src, dst, s);
    for (auto _ : st) {
        cl_int e = cl.clEnqueueNDRangeKernel(res->queue, k->kernel, 2, nullptr, global, nullptr, 0,
                                             nullptr, nullptr);
        if (e == CL_SUCCESS) e = cl.clFinish(res->queue);
        if (e != CL_SUCCESS) {
            st.SkipWithError(("launch failed: " + std::string(ZOR::cl_status_name(e))).c_str());
            break;
        }
    }
    ncvMemFree(src);
    ncvMemFree(dst);
}

// The library call and the bare launch + finish in alternation, each call
// timed on its own: the fastest and the 25th-percentile times of each
// (counters, in us) and their ratios. Alternating exposes both to the same
// load, and the low percentiles leave out calls a busy machine preempted.
// The bare launch uses its own kernel object of the registry's program, so
// the library call does not change its arguments.
void interleaved(benchmark::State& st, Size s) {
    if (ncvInit() != 0) {
        st.SkipWithError("no OpenCL device");
        return;
    }
    const size_t n = size_t(s.w) * s.h;
    std::vector<uint8_t> hostSrc = random_bytes(n), hostDst(n);
    MIRA_Feature_Buf hsb{s.w, s.w, s.h, s.h, hostSrc.data()}, hdb{s.h, s.h, s.w, s.w, hostDst.data()};
    MIRA_Feature_Param p{MIRA_API_TRANSPOSE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
    MIRA_Manager m;
    const RegistryTranspose r = registry_transpose(st, m, hsb, hdb);
    if (!r.kernel) return;
    ZOR::KernelPackage* k = r.kernel;
    ZOR::opencl_res* res = r.res;
    const auto& cl = ZOR::g_cl;
    cl_int err = CL_SUCCESS;
    cl_kernel bare = cl.clCreateKernel(k->program, k->name, &err);
    auto* src = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
    auto* dst = static_cast<uint8_t*>(ncvMemAlloc(static_cast<uint32_t>(n), 64));
    if (err != CL_SUCCESS || !bare || !src || !dst) {
        st.SkipWithError("no kernel object or no shared blocks");
        if (bare) cl.clReleaseKernel(bare);
        ncvMemFree(src);
        ncvMemFree(dst);
        return;
    }
    std::memset(src, 7, n);
    const size_t global[2] = {(s.h + 3) / 4, s.w};
    set_transpose_args(bare, src, dst, s);
    std::vector<double> lib, raw;
    using clock = std::chrono::steady_clock;
    for (auto _ : st) {
        const auto t0 = clock::now();
        m.run(&hsb, 1, &hdb, 1, &p);
        const auto t1 = clock::now();
        cl_int e = cl.clEnqueueNDRangeKernel(res->queue, bare, 2, nullptr, global, nullptr, 0,
                                             nullptr, nullptr);
        if (e == CL_SUCCESS) e = cl.clFinish(res->queue);
        const auto t2 = clock::now();
        if (e != CL_SUCCESS) {
            st.SkipWithError(("launch failed: " + std::string(ZOR::cl_status_name(e))).c_str());
            break;
        }
        lib.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        raw.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    cl.clReleaseKernel(bare);
    ncvMemFree(src);
    ncvMemFree(dst);
    if (lib.empty()) return;
    std::sort(lib.begin(), lib.end());
    std::sort(raw.begin(), raw.end());
    const size_t q = lib.size() / 4;
    st.counters["mira_min_us"] = lib.front();
    st.counters["bare_min_us"] = raw.front();
    st.counters["ratio_min"] = lib.front() / raw.front();
    st.counters["mira_p25_us"] = lib[q];
    st.counters["bare_p25_us"] = raw[q];
    st.counters["ratio_p25"] = lib[q] / raw[q];
}

void register_gpu() {
    add("gpu_transpose", "interleaved", {{64, 64}}, interleaved);
    for (const std::vector<Size>& sizes :
         {std::vector<Size>{{64, 64}}, std::vector<Size>{{1920, 1080}}}) {
        add("gpu_transpose", "mira", sizes,
            [](benchmark::State& st, Size s) { transpose_mode1(st, s, false); });
        add("gpu_transpose", "mira_managed", sizes,
            [](benchmark::State& st, Size s) { transpose_mode1(st, s, true); });
        add("gpu_transpose", "bare_launch", sizes, bare_launch);
    }
}
const Registrar reg(register_gpu);

}  // namespace
}  // namespace mira_bench
