// A test layer over the GPU runtime's OpenCL entry-point table: it counts the
// OpenCL objects alive (contexts, queues, programs, kernels, buffers, SVM
// blocks) and kernel launches, and injects one fault at a time.
//
//   mira_test::ClSpy::install();            // after the table is loaded
//   mira_test::ClSpy::fault = mira_test::ClFault::Launch;
//
// Only objects created while the spy is installed are counted, so install it
// while nothing is alive (no device manager) and compare against zero.
#pragma once

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>
#include <chrono>
#include <condition_variable>

#include "gpu/src/inc/cl_api.h"
#include "gpu/src/inc/zor_test_hooks.h"

namespace mira_test {

enum class ClFault {
    None,
    NoPlatform,   // clGetPlatformIDs reports no platform
    NoDevice,     // clGetDeviceIDs finds no device
    Context,      // clCreateContext fails
    Queue,        // clCreateCommandQueue fails
    Build,        // clBuildProgram fails with a build log
    Kernel,       // clCreateKernel fails
    SvmAlloc,     // clSVMAlloc returns null
    MapBuffer,    // clEnqueueMapBuffer fails
    SvmMap,       // clEnqueueSVMMap fails
    Launch,       // clEnqueueNDRangeKernel fails (CL_OUT_OF_RESOURCES)
    LaunchRefused,  // clEnqueueNDRangeKernel fails with a status that does not mean a lost device
    QueueLost,    // clFinish reports the queue gone (CL_INVALID_COMMAND_QUEUE)
};

// Text the injected build failure reports as its build log.
constexpr const char* kInjectedBuildLog = "injected: error: use of undeclared identifier 'mira_x'";

struct ClSpy {
    static inline ZOR::ClApi real{};
    static inline std::atomic<ClFault> fault{ClFault::None};
    // Capabilities the device reports while `coarseOnly` is set (coarse-grained
    // buffers only), and whether the SVM entries are hidden (`noSvm`).
    static inline std::atomic<bool> coarseOnly{false};
    // Whether the device reports memory of its own (CL_DEVICE_HOST_UNIFIED_MEMORY
    // false), as a discrete card does.
    static inline std::atomic<bool> discrete{false};
    // The largest SVM alignment clSVMAlloc accepts (0: whatever the driver takes).
    static inline std::atomic<unsigned> maxSvmAlignment{0};
    // CL_DEVICE_MAX_MEM_ALLOC_SIZE reported instead of the device's (0: the device's).
    static inline std::atomic<unsigned long long> maxAlloc{0};
    // Whether every device reports itself a GPU (CL_DEVICE_TYPE_GPU).
    static inline std::atomic<bool> allGpus{false};
    static inline std::atomic<long> contexts{0}, queues{0}, programs{0}, kernels{0}, buffers{0},
        svm{0}, launches{0}, builds{0};
    // Shared-memory bookkeeping: allocations by kind of flags, launches that
    // handed a kernel a coarse block still mapped for the host, and unmaps of
    // blocks that were not mapped.
    static inline std::atomic<long> fineAllocs{0}, coarseAllocs{0}, mappedAtLaunch{0},
        badUnmaps{0}, svmArgs{0}, binaryPrograms{0}, bufferMaps{0};
    // Every clEnqueueNDRangeKernel call, failed ones included, and every
    // buffer created (live or not).
    static inline std::atomic<long> enqueues{0}, bufferCreates{0};
    // SVM maps that bring the device's bytes to the host (CL_MAP_READ) and
    // maps that discard them (CL_MAP_WRITE_INVALIDATE_REGION).
    static inline std::atomic<long> readingMaps{0}, invalidatingMaps{0};
    static inline std::mutex svmMutex;
    struct Block {
        size_t size;
        bool fine;
        std::map<size_t, size_t> maps;  // mapped regions: offset -> bytes
        // Whether byte `off` lies in a mapped region.
        bool mappedAt(size_t off) const {
            auto it = maps.upper_bound(off);
            if (it == maps.begin()) return false;
            --it;
            return off < it->first + it->second;
        }
        // Whether [off, off + n) is covered by mapped regions.
        bool covered(size_t off, size_t n) const {
            size_t at = off;
            while (at < off + n) {
                auto it = maps.upper_bound(at);
                if (it == maps.begin()) return false;
                --it;
                if (at >= it->first + it->second) return false;
                at = it->first + it->second;
            }
            return true;
        }
        bool overlaps(size_t off, size_t n) const {
            for (auto& m : maps)
                if (m.first < off + n && off < m.first + m.second) return true;
            return false;
        }
    };
    static inline std::map<uintptr_t, Block> blocks;                // by base address
    static inline std::map<cl_kernel, std::map<cl_uint, const void*>> svmArgsOf;

    // Whether every live coarse-grained block is mapped for the host (the
    // state between calls: the host may touch managed memory at any time).
    static bool coarseBlocksMapped() {
        std::lock_guard<std::mutex> lock(svmMutex);
        for (auto& kv : blocks)
            if (!kv.second.fine && !kv.second.covered(0, kv.second.size)) return false;
        return true;
    }
    // Whether the bytes [p, p + n) of a coarse block are mapped for the host
    // now (true for memory the spy does not know and for fine blocks).
    static bool mappedNow(const void* p, size_t n) {
        std::lock_guard<std::mutex> lock(svmMutex);
        const Block* b = blockOf(p);
        if (!b || b->fine) return true;
        const uintptr_t base = blockBase(p);
        return b->covered(reinterpret_cast<uintptr_t>(p) - base, n);
    }

    // The SVM maps and unmaps, recorded while `recordOps` is set: which
    // thread, the block's base, the offset and bytes (an unmap's bytes are
    // those of the region it ends) and the map flags.
    struct SvmOp {
        std::thread::id thread;
        bool map;
        uintptr_t block;
        size_t offset, bytes;
        cl_map_flags flags;
    };
    static inline std::atomic<bool> recordOps{false};
    static inline std::vector<SvmOp> ops;  // under svmMutex
    static std::vector<SvmOp> takeOps() {
        std::lock_guard<std::mutex> lock(svmMutex);
        std::vector<SvmOp> r;
        r.swap(ops);
        return r;
    }
    // Maps that overlap a region still mapped (an error under the OpenCL
    // rules), and maps that bring device bytes to the host (CL_MAP_READ)
    // outside the rows the calling thread declared its own (ownRows): on a
    // device with memory of its own those would overwrite host bytes other
    // threads write.
    static inline std::atomic<long> overlappingMaps{0}, foreignReads{0};
    static inline thread_local std::vector<std::pair<uintptr_t, size_t>> ownRows;

    // The command queues kernels were launched on.
    static inline std::set<cl_command_queue> launchQueues;  // under svmMutex
    static size_t launchQueueCount() {
        std::lock_guard<std::mutex> lock(svmMutex);
        return launchQueues.size();
    }
    // While `finishMeet` is set, a clFinish waits (up to a second) until a
    // clFinish of another queue is in progress too; `finishesMet` counts the
    // waits that saw one. Two calls whose waits overlap prove that neither
    // waits under a lock the other needs, on a queue of its own.
    static inline std::atomic<bool> finishMeet{false};
    static inline std::atomic<long> finishesMet{0};
    static inline std::mutex meetMutex;
    static inline std::condition_variable meetCv;
    static inline std::multiset<cl_command_queue> finishing;  // under meetMutex

    // Loads the table if needed and puts the spy in front of it. False when
    // no OpenCL library is available.
    static bool install() {
        ZOR::ClApi* t = zor_test_cl_table();
        if (!t) {
            if (!ZOR::cl_load()) return false;
            t = zor_test_cl_table();
            if (!t) return false;
        }
        if (t->clCreateContext == &w_clCreateContext) return true;
        real = *t;
        t->clGetPlatformIDs = &w_clGetPlatformIDs;
        t->clGetDeviceIDs = &w_clGetDeviceIDs;
        t->clGetDeviceInfo = &w_clGetDeviceInfo;
        t->clCreateContext = &w_clCreateContext;
        t->clReleaseContext = &w_clReleaseContext;
        t->clCreateCommandQueue = &w_clCreateCommandQueue;
        t->clReleaseCommandQueue = &w_clReleaseCommandQueue;
        t->clCreateProgramWithSource = &w_clCreateProgramWithSource;
        t->clBuildProgram = &w_clBuildProgram;
        if (real.clCreateProgramWithBinary) t->clCreateProgramWithBinary = &w_clCreateProgramWithBinary;
        t->clGetProgramBuildInfo = &w_clGetProgramBuildInfo;
        t->clReleaseProgram = &w_clReleaseProgram;
        t->clCreateKernel = &w_clCreateKernel;
        t->clReleaseKernel = &w_clReleaseKernel;
        t->clEnqueueNDRangeKernel = &w_clEnqueueNDRangeKernel;
        t->clFinish = &w_clFinish;
        t->clCreateBuffer = &w_clCreateBuffer;
        t->clReleaseMemObject = &w_clReleaseMemObject;
        t->clEnqueueMapBuffer = &w_clEnqueueMapBuffer;
        if (real.clSVMAlloc) t->clSVMAlloc = &w_clSVMAlloc;
        if (real.clSVMFree) t->clSVMFree = &w_clSVMFree;
        if (real.clEnqueueSVMMap) t->clEnqueueSVMMap = &w_clEnqueueSVMMap;
        if (real.clEnqueueSVMUnmap) t->clEnqueueSVMUnmap = &w_clEnqueueSVMUnmap;
        if (real.clEnqueueSVMFree) t->clEnqueueSVMFree = &w_clEnqueueSVMFree;
        if (real.clSetKernelArgSVMPointer) t->clSetKernelArgSVMPointer = &w_clSetKernelArgSVMPointer;
        return true;
    }
    // Hides (or shows again) the SVM entry points, so the next device
    // bring-up runs without shared virtual memory.
    static void hideSvm(bool hide) {
        ZOR::ClApi* t = zor_test_cl_table();
        if (!t) return;
        t->clSVMAlloc = hide ? nullptr : (real.clSVMAlloc ? &w_clSVMAlloc : nullptr);
        t->clSVMFree = hide ? nullptr : (real.clSVMFree ? &w_clSVMFree : nullptr);
        t->clSetKernelArgSVMPointer =
            hide ? nullptr : (real.clSetKernelArgSVMPointer ? &w_clSetKernelArgSVMPointer : nullptr);
    }
    static void resetCounts() {
        contexts = queues = programs = kernels = buffers = svm = launches = builds = 0;
        fineAllocs = coarseAllocs = mappedAtLaunch = badUnmaps = svmArgs = 0;
        binaryPrograms = bufferMaps = 0;
        enqueues = bufferCreates = readingMaps = invalidatingMaps = 0;
        overlappingMaps = foreignReads = finishesMet = 0;
        std::lock_guard<std::mutex> lock(svmMutex);
        ops.clear();
        launchQueues.clear();
    }
    static std::string live() {
        return "contexts " + std::to_string(contexts.load()) + ", queues " +
               std::to_string(queues.load()) + ", programs " + std::to_string(programs.load()) +
               ", kernels " + std::to_string(kernels.load()) + ", buffers " +
               std::to_string(buffers.load()) + ", svm blocks " + std::to_string(svm.load());
    }
    static bool nothingAlive() {
        return contexts == 0 && queues == 0 && programs == 0 && kernels == 0 && buffers == 0 &&
               svm == 0;
    }

private:
    static bool is(ClFault f) { return fault.load() == f; }

    static cl_int CL_API_CALL w_clGetPlatformIDs(cl_uint n, cl_platform_id* p, cl_uint* num) {
        if (is(ClFault::NoPlatform)) {
            if (num) *num = 0;
            return CL_SUCCESS;
        }
        return real.clGetPlatformIDs(n, p, num);
    }
    static cl_int CL_API_CALL w_clGetDeviceIDs(cl_platform_id pl, cl_device_type type, cl_uint n,
                                               cl_device_id* d, cl_uint* num) {
        if (is(ClFault::NoDevice)) {
            if (num) *num = 0;
            return CL_DEVICE_NOT_FOUND;
        }
        return real.clGetDeviceIDs(pl, type, n, d, num);
    }
    static cl_int CL_API_CALL w_clGetDeviceInfo(cl_device_id d, cl_device_info what, size_t size,
                                                void* value, size_t* ret) {
        if (coarseOnly && what == CL_DEVICE_SVM_CAPABILITIES) {
            const cl_device_svm_capabilities caps = CL_DEVICE_SVM_COARSE_GRAIN_BUFFER;
            if (value && size >= sizeof caps) std::memcpy(value, &caps, sizeof caps);
            if (ret) *ret = sizeof caps;
            return CL_SUCCESS;
        }
        if (allGpus && what == CL_DEVICE_TYPE) {
            const cl_device_type type = CL_DEVICE_TYPE_GPU;
            if (value && size >= sizeof type) std::memcpy(value, &type, sizeof type);
            if (ret) *ret = sizeof type;
            return CL_SUCCESS;
        }
        if (maxAlloc && what == CL_DEVICE_MAX_MEM_ALLOC_SIZE) {
            const cl_ulong most = maxAlloc;
            if (value && size >= sizeof most) std::memcpy(value, &most, sizeof most);
            if (ret) *ret = sizeof most;
            return CL_SUCCESS;
        }
        if (discrete && what == CL_DEVICE_HOST_UNIFIED_MEMORY) {
            const cl_bool unified = CL_FALSE;
            if (value && size >= sizeof unified) std::memcpy(value, &unified, sizeof unified);
            if (ret) *ret = sizeof unified;
            return CL_SUCCESS;
        }
        return real.clGetDeviceInfo(d, what, size, value, ret);
    }
    static cl_context CL_API_CALL w_clCreateContext(const cl_context_properties* props, cl_uint n,
                                                    const cl_device_id* devs,
                                                    void(CL_CALLBACK* cb)(const char*, const void*,
                                                                          size_t, void*),
                                                    void* user, cl_int* err) {
        if (is(ClFault::Context)) {
            if (err) *err = CL_OUT_OF_HOST_MEMORY;
            return nullptr;
        }
        cl_context c = real.clCreateContext(props, n, devs, cb, user, err);
        if (c) ++contexts;
        return c;
    }
    static cl_int CL_API_CALL w_clReleaseContext(cl_context c) {
        const cl_int r = real.clReleaseContext(c);
        if (r == CL_SUCCESS) --contexts;
        return r;
    }
    static cl_command_queue CL_API_CALL w_clCreateCommandQueue(cl_context c, cl_device_id d,
                                                               cl_command_queue_properties p,
                                                               cl_int* err) {
        if (is(ClFault::Queue)) {
            if (err) *err = CL_OUT_OF_RESOURCES;
            return nullptr;
        }
        cl_command_queue q = real.clCreateCommandQueue(c, d, p, err);
        if (q) ++queues;
        return q;
    }
    static cl_int CL_API_CALL w_clReleaseCommandQueue(cl_command_queue q) {
        const cl_int r = real.clReleaseCommandQueue(q);
        if (r == CL_SUCCESS) --queues;
        return r;
    }
    static cl_program CL_API_CALL w_clCreateProgramWithSource(cl_context c, cl_uint n,
                                                              const char** s, const size_t* l,
                                                              cl_int* err) {
        cl_program p = real.clCreateProgramWithSource(c, n, s, l, err);
        if (p) ++programs;
        return p;
    }
    static cl_program CL_API_CALL w_clCreateProgramWithBinary(cl_context c, cl_uint n,
                                                              const cl_device_id* d,
                                                              const size_t* l,
                                                              const unsigned char** b, cl_int* bs,
                                                              cl_int* err) {
        cl_program p = real.clCreateProgramWithBinary(c, n, d, l, b, bs, err);
        if (p) {
            ++programs;
            ++binaryPrograms;
        }
        return p;
    }
    static cl_int CL_API_CALL w_clBuildProgram(cl_program p, cl_uint n, const cl_device_id* d,
                                               const char* opts,
                                               void(CL_CALLBACK* cb)(cl_program, void*),
                                               void* user) {
        if (is(ClFault::Build)) return CL_BUILD_PROGRAM_FAILURE;
        ++builds;
        return real.clBuildProgram(p, n, d, opts, cb, user);
    }
    static cl_int CL_API_CALL w_clGetProgramBuildInfo(cl_program p, cl_device_id d,
                                                      cl_program_build_info what, size_t size,
                                                      void* value, size_t* ret) {
        if (is(ClFault::Build) && what == CL_PROGRAM_BUILD_LOG) {
            const size_t n = std::strlen(kInjectedBuildLog) + 1;
            if (value) {
                if (size < n) return CL_INVALID_VALUE;
                std::memcpy(value, kInjectedBuildLog, n);
            }
            if (ret) *ret = n;
            return CL_SUCCESS;
        }
        return real.clGetProgramBuildInfo(p, d, what, size, value, ret);
    }
    static cl_int CL_API_CALL w_clReleaseProgram(cl_program p) {
        const cl_int r = real.clReleaseProgram(p);
        if (r == CL_SUCCESS) --programs;
        return r;
    }
    static cl_kernel CL_API_CALL w_clCreateKernel(cl_program p, const char* name, cl_int* err) {
        if (is(ClFault::Kernel)) {
            if (err) *err = CL_INVALID_KERNEL_NAME;
            return nullptr;
        }
        cl_kernel k = real.clCreateKernel(p, name, err);
        if (k) ++kernels;
        return k;
    }
    static cl_int CL_API_CALL w_clReleaseKernel(cl_kernel k) {
        const cl_int r = real.clReleaseKernel(k);
        if (r == CL_SUCCESS) --kernels;
        return r;
    }
    static cl_int CL_API_CALL w_clEnqueueNDRangeKernel(cl_command_queue q, cl_kernel k, cl_uint dim,
                                                       const size_t* off, const size_t* global,
                                                       const size_t* local, cl_uint nw,
                                                       const cl_event* wl, cl_event* ev) {
        ++enqueues;
        if (is(ClFault::Launch)) return CL_OUT_OF_RESOURCES;
        if (is(ClFault::LaunchRefused)) return CL_INVALID_WORK_GROUP_SIZE;
        {
            std::lock_guard<std::mutex> lock(svmMutex);
            for (auto& arg : svmArgsOf[k]) {
                const Block* b = blockOf(arg.second);
                if (b && !b->fine &&
                    b->mappedAt(reinterpret_cast<uintptr_t>(arg.second) - blockBase(arg.second)))
                    ++mappedAtLaunch;
            }
            launchQueues.insert(q);
        }
        const cl_int r = real.clEnqueueNDRangeKernel(q, k, dim, off, global, local, nw, wl, ev);
        if (r == CL_SUCCESS) ++launches;
        return r;
    }
    static cl_mem CL_API_CALL w_clCreateBuffer(cl_context c, cl_mem_flags f, size_t size,
                                               void* host, cl_int* err) {
        if (maxAlloc && size > maxAlloc) {
            if (err) *err = CL_INVALID_BUFFER_SIZE;
            return nullptr;
        }
        cl_mem m = real.clCreateBuffer(c, f, size, host, err);
        if (m) {
            ++buffers;
            ++bufferCreates;
        }
        return m;
    }
    static cl_int CL_API_CALL w_clFinish(cl_command_queue q) {
        if (finishMeet) {
            std::unique_lock<std::mutex> lock(meetMutex);
            finishing.insert(q);
            meetCv.notify_all();
            auto other = [&] {
                for (cl_command_queue f : finishing)
                    if (f != q) return true;
                return false;
            };
            if (meetCv.wait_for(lock, std::chrono::seconds(1), other)) ++finishesMet;
            finishing.erase(finishing.find(q));
        }
        const cl_int r = real.clFinish(q);
        return is(ClFault::QueueLost) ? CL_INVALID_COMMAND_QUEUE : r;
    }
    static cl_int CL_API_CALL w_clReleaseMemObject(cl_mem m) {
        const cl_int r = real.clReleaseMemObject(m);
        if (r == CL_SUCCESS) --buffers;
        return r;
    }
    static void* CL_API_CALL w_clEnqueueMapBuffer(cl_command_queue q, cl_mem m, cl_bool block,
                                                  cl_map_flags f, size_t off, size_t size,
                                                  cl_uint nw, const cl_event* wl, cl_event* ev,
                                                  cl_int* err) {
        if (is(ClFault::MapBuffer)) {
            if (err) *err = CL_MAP_FAILURE;
            return nullptr;
        }
        ++bufferMaps;
        return real.clEnqueueMapBuffer(q, m, block, f, off, size, nw, wl, ev, err);
    }
    static void* CL_API_CALL w_clSVMAlloc(cl_context c, cl_svm_mem_flags f, size_t size,
                                          cl_uint align) {
        if (is(ClFault::SvmAlloc)) return nullptr;
        if (maxSvmAlignment && align > maxSvmAlignment) return nullptr;
        if (maxAlloc && size > maxAlloc) return nullptr;  // as drivers refuse it
        void* p = real.clSVMAlloc(c, f, size, align);
        if (p) {
            ++svm;
            const bool fine = (f & CL_MEM_SVM_FINE_GRAIN_BUFFER) != 0;
            ++(fine ? fineAllocs : coarseAllocs);
            std::lock_guard<std::mutex> lock(svmMutex);
            blocks[reinterpret_cast<uintptr_t>(p)] = Block{size, fine, {}};
        }
        return p;
    }
    static void CL_API_CALL w_clSVMFree(cl_context c, void* p) {
        if (p) {
            --svm;
            std::lock_guard<std::mutex> lock(svmMutex);
            blocks.erase(reinterpret_cast<uintptr_t>(p));
        }
        real.clSVMFree(c, p);
    }
    static cl_int CL_API_CALL w_clEnqueueSVMFree(cl_command_queue q, cl_uint n, void* ptrs[],
                                                 void(CL_CALLBACK* cb)(cl_command_queue, cl_uint,
                                                                       void*[], void*),
                                                 void* user, cl_uint nw, const cl_event* wl,
                                                 cl_event* ev) {
        {
            std::lock_guard<std::mutex> lock(svmMutex);
            for (cl_uint i = 0; i < n; ++i)
                if (ptrs[i] && blocks.erase(reinterpret_cast<uintptr_t>(ptrs[i]))) --svm;
        }
        return real.clEnqueueSVMFree(q, n, ptrs, cb, user, nw, wl, ev);
    }
    // The base address of the block holding `p` (svmMutex held; 0 for none).
    static uintptr_t blockBase(const void* p) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(p);
        auto it = blocks.upper_bound(a);
        if (it == blocks.begin()) return 0;
        --it;
        return it->first;
    }
    // The block holding `p` (svmMutex held), or null.
    static Block* blockOf(const void* p) {
        const uintptr_t a = reinterpret_cast<uintptr_t>(p);
        auto it = blocks.upper_bound(a);
        if (it == blocks.begin()) return nullptr;
        --it;
        return a < it->first + it->second.size ? &it->second : nullptr;
    }
    static cl_int CL_API_CALL w_clEnqueueSVMUnmap(cl_command_queue q, void* p, cl_uint nw,
                                                  const cl_event* wl, cl_event* ev) {
        {
            std::lock_guard<std::mutex> lock(svmMutex);
            Block* b = blockOf(p);
            const size_t off = b ? reinterpret_cast<uintptr_t>(p) - blockBase(p) : 0;
            auto it = b ? b->maps.find(off) : decltype(Block::maps)::iterator{};
            if (!b || it == b->maps.end()) {
                ++badUnmaps;
            } else {
                if (recordOps)
                    ops.push_back(SvmOp{std::this_thread::get_id(), false, blockBase(p), off,
                                        it->second, 0});
                b->maps.erase(it);
            }
        }
        return real.clEnqueueSVMUnmap(q, p, nw, wl, ev);
    }
    static cl_int CL_API_CALL w_clSetKernelArgSVMPointer(cl_kernel k, cl_uint idx, const void* p) {
        ++svmArgs;
        {
            std::lock_guard<std::mutex> lock(svmMutex);
            svmArgsOf[k][idx] = p;
        }
        return real.clSetKernelArgSVMPointer(k, idx, p);
    }
    static cl_int CL_API_CALL w_clEnqueueSVMMap(cl_command_queue q, cl_bool block, cl_map_flags f,
                                                void* p, size_t size, cl_uint nw,
                                                const cl_event* wl, cl_event* ev) {
        if (is(ClFault::SvmMap)) return CL_MAP_FAILURE;
        if (f & CL_MAP_READ) ++readingMaps;
        if (f & CL_MAP_WRITE_INVALIDATE_REGION) ++invalidatingMaps;
        if ((f & CL_MAP_READ) && !ownRows.empty()) {
            const uintptr_t a = reinterpret_cast<uintptr_t>(p);
            bool inside = false;
            for (auto& r : ownRows)
                if (a >= r.first && a + size <= r.first + r.second) inside = true;
            if (!inside) ++foreignReads;
        }
        const cl_int r = real.clEnqueueSVMMap(q, block, f, p, size, nw, wl, ev);
        if (r == CL_SUCCESS) {
            std::lock_guard<std::mutex> lock(svmMutex);
            if (Block* b = blockOf(p)) {
                const size_t off = reinterpret_cast<uintptr_t>(p) - blockBase(p);
                if (b->overlaps(off, size)) ++overlappingMaps;
                b->maps[off] = size;
                if (recordOps)
                    ops.push_back(SvmOp{std::this_thread::get_id(), true, blockBase(p), off, size, f});
            }
        }
        return r;
    }
};

}  // namespace mira_test
