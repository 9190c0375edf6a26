// Per-device resources and their registry of shared-virtual-memory blocks,
// and the OpenCL status check.
#include "gpu/src/inc/opencl_res.h"

#include <algorithm>
#include <cstdlib>

#include "gpu/src/inc/zor_test_hooks.h"

#include "gpu/src/inc/zor_log.h"

namespace ZOR {

namespace {
const char* const kStatusNames1[] = {
    "CL_DEVICE_NOT_FOUND", "CL_DEVICE_NOT_AVAILABLE", "CL_COMPILER_NOT_AVAILABLE",
    "CL_MEM_OBJECT_ALLOCATION_FAILURE", "CL_OUT_OF_RESOURCES", "CL_OUT_OF_HOST_MEMORY",
    "CL_PROFILING_INFO_NOT_AVAILABLE", "CL_MEM_COPY_OVERLAP", "CL_IMAGE_FORMAT_MISMATCH",
    "CL_IMAGE_FORMAT_NOT_SUPPORTED", "CL_BUILD_PROGRAM_FAILURE", "CL_MAP_FAILURE",
    "CL_MISALIGNED_SUB_BUFFER_OFFSET", "CL_EXEC_STATUS_ERROR_FOR_EVENTS_IN_WAIT_LIST"};
const char* const kStatusNames30[] = {
    "CL_INVALID_VALUE", "CL_INVALID_DEVICE_TYPE", "CL_INVALID_PLATFORM", "CL_INVALID_DEVICE",
    "CL_INVALID_CONTEXT", "CL_INVALID_QUEUE_PROPERTIES", "CL_INVALID_COMMAND_QUEUE",
    "CL_INVALID_HOST_PTR", "CL_INVALID_MEM_OBJECT", "CL_INVALID_IMAGE_FORMAT_DESCRIPTOR",
    "CL_INVALID_IMAGE_SIZE", "CL_INVALID_SAMPLER", "CL_INVALID_BINARY",
    "CL_INVALID_BUILD_OPTIONS", "CL_INVALID_PROGRAM", "CL_INVALID_PROGRAM_EXECUTABLE",
    "CL_INVALID_KERNEL_NAME", "CL_INVALID_KERNEL_DEFINITION", "CL_INVALID_KERNEL",
    "CL_INVALID_ARG_INDEX", "CL_INVALID_ARG_VALUE", "CL_INVALID_ARG_SIZE",
    "CL_INVALID_KERNEL_ARGS", "CL_INVALID_WORK_DIMENSION", "CL_INVALID_WORK_GROUP_SIZE",
    "CL_INVALID_WORK_ITEM_SIZE", "CL_INVALID_GLOBAL_OFFSET", "CL_INVALID_EVENT_WAIT_LIST",
    "CL_INVALID_EVENT", "CL_INVALID_OPERATION", "CL_INVALID_GL_OBJECT",
    "CL_INVALID_BUFFER_SIZE", "CL_INVALID_MIP_LEVEL", "CL_INVALID_GLOBAL_WORK_SIZE",
    "CL_INVALID_PROPERTY"};
}  // namespace

const char* cl_status_name(int code) {
    if (code <= -1 && code >= -14) return kStatusNames1[-code - 1];
    if (code <= -30 && code >= -64) return kStatusNames30[-code - 30];
    return "UNKNOWN ERROR CODE";
}

bool cl_check(cl_int status, const char* func, const char* file, int line) {
    if (status == CL_SUCCESS) return true;
    log_line("\n%s %s  %d:OpenCL error with code(%d) %s happened in file %s at line %d. Exiting.\n",
             ZOR_LOG_TAG, func, line, status, cl_status_name(status), file, line);
    device_status(status);
    return false;
}

uint64_t staging_round(uint64_t bytes) {
    if (bytes <= 4096) return 4096;
    if (bytes <= 65536) {
        uint64_t r = 4096;
        while (r < bytes) r <<= 1;
        return r;
    }
    return (bytes + 65535) / 65536 * 65536;
}

namespace {
std::atomic<uint32_t> g_svm_limit{kSvmFine};

// Which idle pooled buffer the trim frees first: one above the whole cap,
// else the least recently given back; of one call's (given back together)
// the smaller, the cheaper to make again.
bool evict_before(uint64_t size, uint64_t lastUse, uint64_t otherSize, uint64_t otherLastUse) {
    const bool over = size > kPoolKeptBytes, otherOver = otherSize > kPoolKeptBytes;
    if (over != otherOver) return over;
    if (lastUse != otherLastUse) return lastUse < otherLastUse;
    return size < otherSize;
}
}

uint32_t svm_mode_limit(uint32_t detected) {
    const uint32_t limit = g_svm_limit.load();
    return detected < limit ? detected : limit;
}

// ------------------------------------------------------------ opencl_svm

int opencl_svm::create(cl_context ctx, size_t bytes, int align, int blockKind, cl_event* fence) {
    owned = 0;
    if (!ctx) {
        ZOR_LOG("the input context is NULL, create svm buffer fail, return");
        return 0;
    }
    context = ctx;
    size = bytes;
    alignment = static_cast<uint32_t>(align);
    kind = static_cast<uint32_t>(blockKind);
    inUse = 0;
    segments.clear();
    if (hostMemory) {
        // Device without SVM: a plain host block, reaching the device
        // through buffer copies.
        size_t a = alignment > 128 ? alignment : 128;
        if ((a & (a - 1)) != 0) a = 128;
        size_t rounded = (static_cast<size_t>(size) + a - 1) / a * a;
        ptr = std::aligned_alloc(a, rounded ? rounded : a);
    } else {
        // Fine-grained devices share the block with the host directly;
        // coarse-grained ones get a coarse block, mapped for the host below.
        const cl_svm_mem_flags flags =
            queue ? CL_MEM_READ_WRITE : CL_MEM_READ_WRITE | CL_MEM_SVM_FINE_GRAIN_BUFFER;
        ptr = g_cl.clSVMAlloc(context, flags, size, alignment);
        if (!ptr && alignment > kSvmSafeAlignment && (alignment & (alignment - 1)) == 0 &&
            size <= SIZE_MAX - alignment) {
            // A device may refuse an alignment above its largest data type's
            // (128 bytes): take a larger block at that alignment and hand out
            // the first address of the caller's alignment inside it.
            base = g_cl.clSVMAlloc(context, flags, size_t(size) + alignment, kSvmSafeAlignment);
            if (base) {
                const uintptr_t a = reinterpret_cast<uintptr_t>(base);
                ptr = reinterpret_cast<void*>((a + alignment - 1) / alignment * alignment);
                ZOR_TRACE("shared memory aligned to %u bytes by offsetting a block aligned to %u",
                          alignment, kSvmSafeAlignment);
            }
        }
    }
    if (!ptr) {
        ZOR_LOG("create svm buffer fail in opencl, return");
        return 0;
    }
    owned = 1;
    if (!hostMemory && queue) {
        // Coarse-grained: every byte no call holds is mapped for the host
        // (lendRange unmaps a call's own ranges around its launch). A new
        // block has no contents to bring over: mapped write-invalidate, so a
        // discrete device copies nothing back. Enqueued only: the caller
        // waits for the fence outside the registry's lock.
        cl_event ev = nullptr;
        cl_int st = g_cl.clEnqueueSVMMap(queue, CL_FALSE, CL_MAP_WRITE_INVALIDATE_REGION, ptr,
                                         size, 0, nullptr, &ev);
        if (!ZOR_CL_CHECK(st)) {
            g_cl.clSVMFree(context, base ? base : ptr);
            ptr = base = nullptr;
            owned = 0;
            return 0;
        }
        if (fence) {
            if (*fence) g_cl.clReleaseEvent(*fence);
            *fence = ev;
        } else if (ev) {
            g_cl.clWaitForEvents(1, &ev);
            g_cl.clReleaseEvent(ev);
        }
        segments.push_back(MapSegment{0, size, 0});
    }
    return 1;
}

void opencl_svm::release() {
    if (!owned || !ptr) return;
    if (hostMemory) {
        std::free(ptr);
    } else if (context) {
        void* mem = base ? base : ptr;
        bool enqueued = false;
        if (queue && !segments.empty()) {
            // Unmap the mapped pieces, then free the memory behind them on the
            // same in-order queue (waiting for it only where the driver has no
            // enqueued free).
            for (const MapSegment& m : segments)
                if (m.lent == 0)
                    g_cl.clEnqueueSVMUnmap(queue, static_cast<uint8_t*>(ptr) + m.off, 0, nullptr,
                                           nullptr);
            if (g_cl.clEnqueueSVMFree)
                enqueued = g_cl.clEnqueueSVMFree(queue, 1, &mem, nullptr, nullptr, 0, nullptr,
                                                 nullptr) == CL_SUCCESS;
            if (!enqueued) g_cl.clFinish(queue);
        }
        if (!enqueued) g_cl.clSVMFree(context, mem);
    }
    ptr = base = nullptr;
    owned = 0;
    segments.clear();
}

namespace {

// Chains `ev` into *fence: the newer command's event replaces the older one.
void set_fence(cl_event* fence, cl_event ev) {
    if (!ev) return;
    if (*fence) g_cl.clReleaseEvent(*fence);
    *fence = ev;
}

}  // namespace

bool opencl_svm::lendRange(uint64_t off, uint64_t bytes, bool toDevice, bool keep,
                           cl_event* fence) {
    if (hostMemory || !queue || segments.empty() || bytes == 0 || off >= size) return true;
    const uint64_t end = std::min<uint64_t>(uint64_t(size), off + bytes);
    uint8_t* const at = static_cast<uint8_t*>(ptr);
    bool ok = true;
    auto map = [&](uint64_t from, uint64_t to, cl_map_flags flags) {
        cl_event ev = nullptr;
        const cl_int st = g_cl.clEnqueueSVMMap(queue, CL_FALSE, flags, at + from,
                                               static_cast<size_t>(to - from), 0, nullptr, &ev);
        if (!ZOR_CL_CHECK(st)) ok = false;
        set_fence(fence, ev);
    };
    std::vector<MapSegment> out;
    out.reserve(segments.size() + 4);
    // Segments split at the range's ends: inside it a lent count changes by
    // one; outside it nothing changes.
    const int32_t step = toDevice ? 1 : -1;
    for (const MapSegment& m : segments) {
        const uint64_t mEnd = m.off + m.size;
        if (mEnd <= off || m.off >= end) {
            out.push_back(m);
            continue;
        }
        const uint64_t from = std::max(m.off, off), to = std::min(mEnd, end);
        if (m.lent == 0 && toDevice) {
            // A mapped piece is unmapped whole (an unmap names a piece); its
            // parts outside the range are mapped again write-invalidate: their
            // host bytes are the newest (the unmap has just sent them to the
            // device), so nothing may come back over them.
            cl_event ev = nullptr;
            if (!ZOR_CL_CHECK(g_cl.clEnqueueSVMUnmap(queue, at + m.off, 0, nullptr, &ev))) {
                ok = false;
                out.push_back(m);
                continue;
            }
            set_fence(fence, ev);
            if (m.off < from) {
                map(m.off, from, CL_MAP_WRITE_INVALIDATE_REGION);
                out.push_back(MapSegment{m.off, from - m.off, 0});
            }
            out.push_back(MapSegment{from, to - from, 1});
            if (to < mEnd) {
                map(to, mEnd, CL_MAP_WRITE_INVALIDATE_REGION);
                out.push_back(MapSegment{to, mEnd - to, 0});
            }
            continue;
        }
        if (m.lent == 0) {  // mapped already (a range given back twice): nothing to do
            out.push_back(m);
            continue;
        }
        if (m.off < from) out.push_back(MapSegment{m.off, from - m.off, m.lent});
        // -1 marks bytes that no call holds any more: mapped back below.
        const int32_t now = m.lent + step;
        out.push_back(MapSegment{from, to - from, now == 0 ? -1 : now});
        if (to < mEnd) out.push_back(MapSegment{to, mEnd - to, m.lent});
    }
    // Bytes given back are mapped again, each run of them as one piece (an
    // older mapped piece beside them stays its own piece); lent segments with
    // equal counts join (they are no map unit).
    segments.clear();
    const cl_map_flags back = keep ? CL_MAP_READ | CL_MAP_WRITE : CL_MAP_WRITE_INVALIDATE_REGION;
    for (size_t i = 0; i < out.size(); ++i) {
        MapSegment m = out[i];
        if (m.lent == -1) {
            while (i + 1 < out.size() && out[i + 1].lent == -1) m.size += out[++i].size;
            map(m.off, m.off + m.size, back);
            m.lent = 0;
            segments.push_back(m);
            continue;
        }
        if (!segments.empty() && m.lent > 0 && segments.back().lent == m.lent)
            segments.back().size += m.size;
        else
            segments.push_back(m);
    }
    return ok;
}

bool opencl_svm::allMapped() const {
    for (const MapSegment& m : segments)
        if (m.lent != 0) return false;
    return true;
}

// ------------------------------------------------------------ opencl_res

bool opencl_res::init(cl_device_id dev) {
    if (inited) return true;
    if (!dev) {
        ZOR_LOG("the opencl device object is NULL, return");
        return false;
    }
    device = dev;
    cl_int st = CL_SUCCESS;
    context = g_cl.clCreateContext(nullptr, 1, &device, nullptr, nullptr, &st);
    if (!ZOR_CL_CHECK(st)) {
        context = nullptr;
        return false;
    }
    queue = g_cl.clCreateCommandQueue(context, device, CL_QUEUE_PROFILING_ENABLE, &st);
    if (!ZOR_CL_CHECK(st)) {
        queue = nullptr;
        g_cl.clReleaseContext(context);
        context = nullptr;
        return false;
    }
    svmMode = kSvmNone;
    cl_device_type type = 0;
    gpu = g_cl.clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr) == CL_SUCCESS &&
          (type & CL_DEVICE_TYPE_GPU) != 0;
    if (cl_has_svm() && svm_mode_limit(kSvmFine) != kSvmNone) {
        cl_device_svm_capabilities caps = 0;
        if (g_cl.clGetDeviceInfo(device, CL_DEVICE_SVM_CAPABILITIES, sizeof caps, &caps,
                                 nullptr) == CL_SUCCESS) {
            if (caps & CL_DEVICE_SVM_FINE_GRAIN_BUFFER)
                svmMode = kSvmFine;
            else if ((caps & CL_DEVICE_SVM_COARSE_GRAIN_BUFFER) && g_cl.clEnqueueSVMMap &&
                     g_cl.clEnqueueSVMUnmap)
                svmMode = kSvmCoarse;
        }
    }
    // SVM only where the device shares the host's memory: a discrete card's
    // shared allocations live in host RAM and its kernels would read them
    // across the bus. A device that cannot say counts as unified.
    cl_bool unified = CL_TRUE;
    if (g_cl.clGetDeviceInfo(device, CL_DEVICE_HOST_UNIFIED_MEMORY, sizeof unified, &unified,
                             nullptr) != CL_SUCCESS)
        unified = CL_TRUE;
    hostUnified = unified != CL_FALSE;
    cl_ulong most = 0;
    maxAlloc = g_cl.clGetDeviceInfo(device, CL_DEVICE_MAX_MEM_ALLOC_SIZE, sizeof most, &most,
                                    nullptr) == CL_SUCCESS && most > 0
                   ? static_cast<uint64_t>(most)
                   : UINT64_MAX;
    if (!hostUnified) svmMode = kSvmNone;
    svmMode = svm_mode_limit(svmMode);
    stagingHeld = stagingPeak = 0;
    svm_list = new std::list<opencl_svm*>();
    memPool = new std::list<PooledBuffer>();
    idleQueues = new std::vector<cl_command_queue>();
    mapFence = nullptr;
    inited = true;
    return true;
}

void opencl_res::release() {
    if (!inited) return;
    device = nullptr;
    if (svm_list) {
        for (opencl_svm* b : *svm_list) {
            b->release();
            delete b;
        }
        delete svm_list;
        svm_list = nullptr;
    }
    if (memPool) {
        for (const PooledBuffer& b : *memPool) g_cl.clReleaseMemObject(b.mem);
        delete memPool;
        memPool = nullptr;
    }
    if (idleQueues) {
        for (cl_command_queue q : *idleQueues) g_cl.clReleaseCommandQueue(q);
        delete idleQueues;
        idleQueues = nullptr;
    }
    // The blocks' unmaps and frees were enqueued on the map queue.
    if (queue) g_cl.clFinish(queue);
    if (mapFence) g_cl.clReleaseEvent(mapFence);
    mapFence = nullptr;
    if (queue) g_cl.clReleaseCommandQueue(queue);
    if (context) g_cl.clReleaseContext(context);
    queue = nullptr;
    context = nullptr;
    inited = false;
}

int opencl_res::allocSvmBuffer(void** out, size_t size, int alignment, int kind) {
    if (!inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!out || size == 0) return 0;
    opencl_svm* b = new opencl_svm();
    b->hostMemory = svmMode == kSvmNone ? 1 : 0;
    if (!b->hostMemory && size > maxAlloc) {
        // More than the device allocates at once: registered host memory.
        // Calls on it stage what fits the device and run the CPU method for
        // larger images.
        b->hostMemory = 1;
        ZOR_TRACE("a block of %llu bytes is more than the device allocates (%llu): host memory",
                  static_cast<unsigned long long>(size), static_cast<unsigned long long>(maxAlloc));
    }
    b->queue = svmMode == kSvmCoarse && !b->hostMemory ? queue : nullptr;
    if (!b->create(context, size, alignment, kind, &mapFence)) {
        delete b;
        ZOR_LOG("alloc svm buffer fail, return");
        return 0;
    }
    *out = b->ptr;
    if (!svm_list) {
        ZOR_LOG("the list object is NULL, return");
        return 1;  // the block stays unregistered
    }
    svm_list->push_back(b);
    if (kind == kSvmKindStaging || kind == kSvmKindDedicated) {
        stagingHeld += b->size;
        if (stagingHeld > stagingPeak) stagingPeak = stagingHeld;
    }
    return 1;
}

// A new staging buffer of `bytes` bytes, registered and lent at once.
int opencl_res::lendNewStaging(void** out, uint64_t bytes) {
    void* p = nullptr;
    if (!allocSvmBuffer(&p, static_cast<size_t>(bytes), 0, kSvmKindStaging)) {
        ZOR_LOG("get svm buffer fail, return");
        return 0;
    }
    if (svm_list && !svm_list->empty()) svm_list->back()->inUse = 1;
    *out = p;
    return 1;
}

int opencl_res::getSvmBuffer(void** out) {
    if (!inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!out) return 0;
    if (svm_list) {
        for (opencl_svm* b : *svm_list) {
            if (b->kind == kSvmKindStaging && !b->inUse) {
                b->inUse = 1;
                *out = b->ptr;
                return 1;
            }
        }
    } else {
        ZOR_LOG("the list object is NULL, return");
    }
    return lendNewStaging(out, kStagingBytes);
}

int opencl_res::getStagingBuffer(void** out, uint64_t bytes) {
    if (!inited) {
        ZOR_LOG("opencl_res not init, exit.");
        return 0;
    }
    if (!out || bytes == 0) return 0;
    const uint64_t want = staging_round(bytes);
    if (want > static_cast<uint64_t>(INT32_MAX)) return 0;
    if (svm_list) {
        // The smallest kept buffer that fits and is not much larger.
        opencl_svm* best = nullptr;
        for (opencl_svm* b : *svm_list) {
            if (b->kind != kSvmKindStaging || b->inUse || b->size < want) continue;
            if (b->size > 2 * want + 65536) continue;
            if (!best || b->size < best->size) best = b;
        }
        if (best) {
            best->inUse = 1;
            *out = best->ptr;
            return 1;
        }
    }
    return lendNewStaging(out, want);
}

int opencl_res::putStagingBuffer(void* ptr) {
    if (!inited || !svm_list) return 0;
    opencl_svm* given = nullptr;
    for (opencl_svm* b : *svm_list)
        if (b->ptr == ptr && b->kind == kSvmKindStaging && b->inUse) given = b;
    if (!given) return 0;
    given->inUse = 0;
    given->lastUse = useTick;
    // Trim: keep at most kPoolKeptBlocks idle buffers of kPoolKeptBytes in
    // all. A buffer larger than that goes at once; otherwise the least
    // recently given back go first, so a call whose buffers fit the cap finds
    // them again on its next run however large they are.
    for (;;) {
        uint64_t idleBytes = 0;
        int idle = 0;
        opencl_svm* victim = nullptr;
        for (opencl_svm* b : *svm_list) {
            if (b->kind != kSvmKindStaging || b->inUse) continue;
            idleBytes += b->size;
            ++idle;
            if (!victim || evict_before(b->size, b->lastUse, victim->size, victim->lastUse))
                victim = b;
        }
        if (!victim || (idleBytes <= kPoolKeptBytes && idle <= kPoolKeptBlocks)) break;
        freeSvmBuffer(victim->ptr);
    }
    return 1;
}

cl_mem opencl_res::takeBuffer(cl_mem_flags flags, size_t bytes, cl_int* status) {
    *status = CL_SUCCESS;
    const size_t want = static_cast<size_t>(staging_round(bytes));
    if (memPool) {
        for (PooledBuffer& b : *memPool) {
            if (b.inUse || b.flags != flags || b.size != want) continue;
            b.inUse = true;
            return b.mem;
        }
    }
    cl_mem m = g_cl.clCreateBuffer(context, flags, want, nullptr, status);
    if (*status != CL_SUCCESS || !m) return nullptr;
    if (memPool) memPool->push_back(PooledBuffer{m, flags, want, true, 0});
    return m;
}

bool opencl_res::giveBuffer(cl_mem mem) {
    if (!memPool) return false;
    auto given = memPool->end();
    for (auto it = memPool->begin(); it != memPool->end(); ++it)
        if (it->mem == mem && it->inUse) given = it;
    if (given == memPool->end()) return false;
    given->inUse = false;
    given->lastUse = ++useTick;
    // Trim as the staging pool does (putStagingBuffer).
    for (;;) {
        uint64_t idleBytes = 0;
        int idle = 0;
        auto victim = memPool->end();
        for (auto it = memPool->begin(); it != memPool->end(); ++it) {
            if (it->inUse) continue;
            idleBytes += it->size;
            ++idle;
            if (victim == memPool->end() ||
                evict_before(it->size, it->lastUse, victim->size, victim->lastUse))
                victim = it;
        }
        if (victim == memPool->end() || (idleBytes <= kPoolKeptBytes && idle <= kPoolKeptBlocks))
            break;
        g_cl.clReleaseMemObject(victim->mem);
        memPool->erase(victim);
    }
    return true;
}

bool opencl_res::lendRange(const void* ptr, uint64_t bytes, bool toDevice, bool keep) {
    if (svmMode != kSvmCoarse) return true;
    opencl_svm* b = findBlock(ptr, 1);
    if (!b || b->hostMemory || !b->queue) return true;
    const uint64_t off = uint64_t(static_cast<const uint8_t*>(ptr) - static_cast<uint8_t*>(b->ptr));
    return b->lendRange(off, bytes, toDevice, keep, &mapFence);
}

cl_event opencl_res::takeFence() {
    if (!mapFence) return nullptr;
    g_cl.clRetainEvent(mapFence);
    return mapFence;
}

cl_command_queue opencl_res::takeIdleQueue() {
    if (!idleQueues || idleQueues->empty()) return nullptr;
    cl_command_queue q = idleQueues->back();
    idleQueues->pop_back();
    return q;
}

void opencl_res::keepQueue(cl_command_queue q) {
    if (!q) return;
    if (idleQueues)
        idleQueues->push_back(q);
    else
        g_cl.clReleaseCommandQueue(q);
}

bool wait_fence(cl_command_queue q, cl_event fence) {
    if (!fence) return true;
    if (q) g_cl.clFlush(q);
    const bool ok = ZOR_CL_CHECK(g_cl.clWaitForEvents(1, &fence));
    g_cl.clReleaseEvent(fence);
    return ok;
}

namespace {

// Looks `ptr` up in the SVM registry of `res`: *out is its entry or the end
// of the list. False when the registry is not up, logged under the caller's
// name and line.
bool find_svm(opencl_res& res, void* ptr, const char* func, int initLine, int listLine,
              std::list<opencl_svm*>::iterator* out) {
    if (!res.inited) {
        ZOR_LOG_AT(func, initLine, "opencl_res not init, exit.");
        return false;
    }
    if (!res.svm_list) {
        ZOR_LOG_AT(func, listLine, "the list object is NULL, return");
        return false;
    }
    auto it = res.svm_list->begin();
    while (it != res.svm_list->end() && (*it)->ptr != ptr) ++it;
    *out = it;
    return true;
}

}  // namespace

int opencl_res::isSvmBufferExist(void* ptr) {
    std::list<opencl_svm*>::iterator it;
    if (!find_svm(*this, ptr, __func__, __LINE__, __LINE__, &it) || it == svm_list->end()) return 0;
    // A hit moves to the back: searches start at the front.
    svm_list->splice(svm_list->end(), *svm_list, it);
    return 1;
}

int opencl_res::freeSvmBuffer(void* ptr) {
    std::list<opencl_svm*>::iterator it;
    if (!find_svm(*this, ptr, __func__, __LINE__, __LINE__, &it) || it == svm_list->end()) return 0;
    opencl_svm* b = *it;
    svm_list->erase(it);
    if (b->kind == kSvmKindStaging || b->kind == kSvmKindDedicated) stagingHeld -= b->size;
    b->release();
    delete b;
    return 1;
}

opencl_svm* opencl_res::findBlock(const void* ptr, uint64_t bytes) {
    if (!inited || !svm_list || !ptr) return nullptr;
    const uintptr_t p = reinterpret_cast<uintptr_t>(ptr);
    for (opencl_svm* b : *svm_list) {
        const uintptr_t base = reinterpret_cast<uintptr_t>(b->ptr);
        if (p >= base && p - base <= b->size && bytes <= b->size - (p - base)) return b;
    }
    return nullptr;
}

}  // namespace ZOR

namespace ZOR {
std::atomic<bool> g_force_group_shape{false};
}

void zor_test_force_group_shape(bool on) { ZOR::g_force_group_shape.store(on); }

int zor_test_svm_cap() { return static_cast<int>(ZOR::g_svm_limit.load()); }

void zor_test_force_svm(int maxMode) {
    ZOR::g_svm_limit.store(maxMode < 0 ? ZOR::kSvmFine : static_cast<uint32_t>(maxMode));
}
