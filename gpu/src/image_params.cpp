// Device companions of the host image records: aligned row pitches, one
// OpenCL buffer per plane (none for SVM images) and copies between host and
// device by mapping. Copies move only the bytes of each row that the
// operation reads or writes, never past a buffer.
#include <algorithm>
#include <array>
#include <cstring>

#include "gpu/src/inc/zor_log.h"
#include "gpu/src/inc/zor_runtime.h"

namespace ZOR {

namespace {

int32_t align_up(int32_t v, int a) {
    if (a <= 1) return v;
    return static_cast<int32_t>((static_cast<int64_t>(v) + a - 1) & ~static_cast<int64_t>(a - 1));
}

cl_mem_flags access_flags(int access) {
    if (access == 0) return CL_MEM_READ_ONLY | CL_MEM_ALLOC_HOST_PTR;
    if (access == 1) return CL_MEM_WRITE_ONLY | CL_MEM_ALLOC_HOST_PTR;
    return CL_MEM_READ_WRITE;
}

// Copies `rows` rows of `bytes` bytes between two pitched planes.
void copy_rows(uint8_t* dst, int64_t dstPitch, const uint8_t* src, int64_t srcPitch, int64_t rows,
               int64_t bytes) {
    if (rows <= 0 || bytes <= 0) return;
    if (dstPitch == srcPitch && bytes == srcPitch) {
        std::memcpy(dst, src, static_cast<size_t>((rows - 1) * srcPitch + bytes));
        return;
    }
    for (int64_t r = 0; r < rows; ++r) std::memcpy(dst + r * dstPitch, src + r * srcPitch, bytes);
}

// Maps `mem` (size bytes) and copies one plane in the given direction.
bool map_copy(cl_command_queue q, cl_mem mem, int64_t size, bool toDevice, uint8_t* host,
              int64_t hostPitch, int64_t devPitch, int64_t rows, int64_t bytes, void** mapped) {
    if (!mem || !host || rows <= 0 || bytes <= 0) return true;
    cl_int st = CL_SUCCESS;
    // Uploads overwrite what they map: the driver need not copy the old
    // contents to the host first (bytes between the rows are never read back).
    void* m = g_cl.clEnqueueMapBuffer(q, mem, CL_TRUE,
                                      toDevice ? CL_MAP_WRITE_INVALIDATE_REGION : CL_MAP_READ, 0,
                                      static_cast<size_t>(size), 0, nullptr, nullptr, &st);
    if (!ZOR_CL_CHECK(st)) return false;
    *mapped = m;
    uint8_t* d = static_cast<uint8_t*>(m);
    if (toDevice)
        copy_rows(d, devPitch, host, hostPitch, rows, bytes);
    else
        copy_rows(host, hostPitch, d, devPitch, rows, bytes);
    st = g_cl.clEnqueueUnmapMemObject(q, mem, m, 0, nullptr, nullptr);
    *mapped = nullptr;
    if (!ZOR_CL_CHECK(st)) return false;
    return true;
}

}  // namespace

bool create_mem_buffer(cl_context ctx, cl_command_queue, cl_mem* out, void* data, void**,
                       int64_t width, int64_t height, int access) {
    if (!ctx) {
        ZOR_LOG("opencl context object is NULL, return");
        return false;
    }
    if (!data) {
        ZOR_LOG("data is NULL, return");
        return false;
    }
    if (width < 1 || height < 1) {
        ZOR_LOG("width(%lld) or height(%lld) error", static_cast<long long>(width),
                static_cast<long long>(height));
        return false;
    }
    cl_int st = CL_SUCCESS;
    // From the device's pool of buffers (sized like staging buffers), so
    // calls of similar sizes take no new buffer.
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    DeviceManager* dm = DeviceManager::peekInstance();
    *out = dm ? dm->takeBuffer(ctx, access_flags(access), bytes, &st)
              : g_cl.clCreateBuffer(ctx, access_flags(access), bytes, nullptr, &st);
    if (!ZOR_CL_CHECK(st)) {
        *out = nullptr;
        return false;
    }
    return true;
}

namespace {

// The first checks of every create: a context and a record. A failure is
// logged under the caller's name and the lines those log lines have always
// reported.
bool create_args_ok(cl_context ctx, const void* info, const char* func, int ctxLine,
                    int infoLine, const char* infoText) {
    if (!ctx) {
        ZOR_LOG_AT(func, ctxLine, "the opencl context object is NULL, return");
        return false;
    }
    if (!info) {
        ZOR_LOG_AT(func, infoLine, "%s", infoText);
        return false;
    }
    return true;
}

}  // namespace

// ------------------------------------------------------------ u8 / rgb

void u8_geometry(const ZOR_U8Info& info, int64_t* pitch, int64_t* bytes, int64_t* rows) {
    const int64_t elem = info.elemSize ? info.elemSize : 1;
    const int64_t size = info.size;
    // Interleaved images count their stride in pixels of elemSize bytes when
    // the buffer size says so; planes count it in bytes.
    const int64_t wide = static_cast<int64_t>(info.strideW) * elem;
    const int64_t p = (elem > 1 && wide * std::max<int64_t>(info.strideH, 1) <= size)
                          ? wide
                          : static_cast<int64_t>(info.strideW);
    const int64_t b = std::min<int64_t>(static_cast<int64_t>(info.width) * elem, p);
    int64_t r = info.height;
    if (p > 0 && b > 0 && size >= b)
        r = std::min<int64_t>(r, (size - b) / p + 1);  // never past the host buffer
    else
        r = 0;
    *pitch = p;
    *bytes = b;
    *rows = r;
}

int64_t opencl_param_u8::hostPitch() const {
    // Interleaved images count their stride in pixels of elemSize bytes when
    // the buffer size says so; planes count it in bytes.
    const int64_t wide = static_cast<int64_t>(strideW) * std::max(elemSize, 1);
    if (elemSize > 1 && wide * std::max(strideH, 1) <= hostSize) return wide;
    return strideW;
}

int64_t opencl_param_u8::devicePitch() const {
    return hostPitch() / std::max(strideW, 1) * alignedStride;
}

int64_t opencl_param_u8::rowBytes() const {
    return std::min(static_cast<int64_t>(width) * std::max(elemSize, 1), hostPitch());
}

int64_t opencl_param_u8::rows() const {
    int64_t r = std::min(height, std::max(strideH, height));
    const int64_t pitch = hostPitch();
    const int64_t bytes = rowBytes();
    // Never past the host buffer.
    if (pitch > 0 && bytes > 0 && hostSize >= bytes)
        r = std::min<int64_t>(r, (hostSize - bytes) / pitch + 1);
    else
        r = 0;
    return r;
}

bool opencl_param_u8::create(cl_context ctx, cl_command_queue q, const ZOR_U8Info* info,
                             int access, int align, bool isSvm) {
    if (!create_args_ok(ctx, info, __func__, __LINE__, __LINE__, "the rgb info is error, return"))
        return false;
    if (info->width > INT32_MAX || info->height > INT32_MAX || info->strideW > INT32_MAX ||
        info->strideH > INT32_MAX || info->size > size_t(INT64_MAX)) {
        // Kernels take sides and strides as 32-bit ints.
        ZOR_LOG("an image side or stride of 2^31 or more cannot go to the device, return");
        return false;
    }
    width = static_cast<int32_t>(info->width);
    height = static_cast<int32_t>(info->height);
    strideW = static_cast<int32_t>(info->strideW);
    strideH = static_cast<int32_t>(info->strideH);
    elemSize = static_cast<int32_t>(info->elemSize ? info->elemSize : 1);
    hostSize = static_cast<int64_t>(info->size);
    host = info->data;
    svm = isSvm;
    alignedStride = align_up(strideW, align);
    if (!svm) {
        releaseMem();
        const int64_t rowsAlloc = std::max(strideH, height);
        create_mem_buffer(ctx, q, &mem, host, &mapped, devicePitch(), rowsAlloc, access);
    }
    created = true;
    return true;
}

bool opencl_param_u8::createRgb(cl_context ctx, cl_command_queue q, const ZOR_RGBInfo* info,
                                int access, int align, int planeMask, int planeMask2,
                                bool isSvm) {
    if (!create_args_ok(ctx, info, __func__, __LINE__, __LINE__, "the rgb info is error, return"))
        return false;
    ZOR_U8Info u{info->width, info->height, info->size, info->strideW, info->strideH,
                 info->elemSize, 1, info->data};
    planes = static_cast<uint32_t>(planeMask);
    planes2 = static_cast<uint32_t>(planeMask2);
    bool anyPlane = (planes & 0x01010101u) != 0;
    if (!anyPlane && !isSvm) {
        width = static_cast<int32_t>(u.width);
        height = static_cast<int32_t>(u.height);
        strideW = static_cast<int32_t>(u.strideW);
        strideH = static_cast<int32_t>(u.strideH);
        elemSize = static_cast<int32_t>(u.elemSize ? u.elemSize : 1);
        hostSize = static_cast<int64_t>(u.size);
        host = u.data;
        svm = false;
        alignedStride = align_up(strideW, align);
        created = true;
        return true;
    }
    return create(ctx, q, &u, access, align, isSvm);
}

bool opencl_param_u8::map_host_to_device(cl_command_queue q) {
    if (svm) return true;
    return map_copy(q, mem, devicePitch() * std::max(strideH, height), true, host, hostPitch(),
                    devicePitch(), rows(), rowBytes(), &mapped);
}

bool opencl_param_u8::map_device_to_host(cl_command_queue q) {
    if (svm) return true;
    return map_copy(q, mem, devicePitch() * std::max(strideH, height), false, host, hostPitch(),
                    devicePitch(), rows(), rowBytes(), &mapped);
}

namespace {

// Gives a buffer of create_mem_buffer back (to the pool, or released).
void release_buffer(cl_mem mem) {
    if (!mem || !cl_loaded()) return;
    if (DeviceManager* dm = DeviceManager::peekInstance())
        dm->giveBuffer(mem);
    else
        g_cl.clReleaseMemObject(mem);
}

}  // namespace

void opencl_param_u8::releaseMem() {
    release_buffer(mem);
    mem = nullptr;
}

// ------------------------------------------------------------ yuv

bool yuv_semi_planar(int format) {
    const int f = format;
    return f == 0 || f == 1 || f == 4 || f == 5 || f == 8 || f == 9;
}

void yuv_chroma_extent(int format, int width, int height, int64_t* rowBytes, int64_t* rows) {
    const int64_t w = std::max(width, 0), h = std::max(height, 0);
    const bool semi = yuv_semi_planar(format);
    if (format < 4) {
        *rowBytes = semi ? (w + 1) / 2 * 2 : (w + 1) / 2;
        *rows = (h + 1) / 2;
    } else if (format < 8) {
        *rowBytes = semi ? (w + 1) / 2 * 2 : (w + 1) / 2;
        *rows = h;
    } else {
        *rowBytes = semi ? 2 * w : w;
        *rows = h;
    }
}

namespace {

// One plane of a YUV image as its device buffer sees it: where its mask bit
// sits, its buffer, host rows and pitches, the rows its buffer holds and the
// rows and bytes per row that the operation covers.
struct YuvPlane {
    int index;  // 0 Y, 1 U, 2 V
    int shift;  // of its byte in the plane masks
    cl_mem* mem;
    void** mapped;
    uint8_t* host;
    int64_t hostPitch, devPitch;
    int64_t allocRows, rows, bytes;
};

std::array<YuvPlane, 3> yuv_planes(opencl_param_yuv& p) {
    int64_t cb = 0, cr = 0;
    yuv_chroma_extent(p.format, p.width, p.height, &cb, &cr);
    cr = std::min<int64_t>(cr, p.chromaRows);
    const int64_t lumaRows = std::max(p.rowsY, p.height);
    const int64_t chromaRows = std::max(p.chromaRows, 1);
    return {{{0, 16, &p.memY, &p.mappedY, p.hostY, p.strideY, p.alignedStrideY, lumaRows,
              std::min<int64_t>(p.height, lumaRows), std::min<int64_t>(p.width, p.strideY)},
             {1, 8, &p.memU, &p.mappedU, p.hostU, p.strideU, p.alignedStrideU, chromaRows, cr,
              std::min<int64_t>(cb, p.strideU)},
             {2, 0, &p.memV, &p.mappedV, p.hostV, p.strideV, p.alignedStrideV, chromaRows, cr,
              std::min<int64_t>(cb, p.strideV)}}};
}

}  // namespace

bool opencl_param_yuv::create(cl_context ctx, cl_command_queue q, const ZOR_YuvInfo* info,
                              int access, int align, int planeMask, int planeMask2,
                              bool isSvm) {
    if (!create_args_ok(ctx, info, __func__, __LINE__, __LINE__, "the yuv info object is NULL, return"))
        return false;
    if (info->width > INT32_MAX || info->height > INT32_MAX || info->strideY > INT32_MAX ||
        info->rowsY > INT32_MAX || info->strideU > INT32_MAX || info->strideV > INT32_MAX ||
        info->size > size_t(INT64_MAX)) {
        ZOR_LOG("an image side or stride of 2^31 or more cannot go to the device, return");
        return false;
    }
    format = static_cast<int32_t>(info->format);
    width = static_cast<int32_t>(info->width);
    height = static_cast<int32_t>(info->height);
    strideY = static_cast<int32_t>(info->strideY);
    rowsY = static_cast<int32_t>(info->rowsY);
    strideU = static_cast<int32_t>(info->strideU);
    strideV = static_cast<int32_t>(info->strideV);
    hostY = info->dataY;
    hostU = info->dataU;
    hostV = info->dataV;
    planes = static_cast<uint32_t>(planeMask);
    planes2 = static_cast<uint32_t>(planeMask2);
    svm = isSvm;
    alignedStrideY = align_up(strideY, align);
    alignedStrideU = align_up(strideU, align);
    alignedStrideV = align_up(strideV, align);
    chromaRows = format < 4 ? rowsY / 2 : rowsY;
    if (format < 4 && hostY && hostU == hostY + static_cast<int64_t>(strideY) * rowsY) {
        // Chroma stored right after luma: as many rows as the buffer holds,
        // up to one per two luma rows rounded up.
        const int64_t avail = static_cast<int64_t>(info->size) - int64_t(strideY) * rowsY;
        const int64_t perRow = yuv_semi_planar(format) ? strideU : int64_t(strideU) + strideV;
        if (perRow > 0 && avail > 0)
            chromaRows = static_cast<int32_t>(std::min<int64_t>((rowsY + 1) / 2, avail / perRow));
    }
    bool ok = true;
    if (!svm) {
        releaseMem();
        for (const YuvPlane& pl : yuv_planes(*this)) {
            if (pl.index == 2 && hostU == hostV) {
                memV = memU;  // semi-planar: one chroma buffer for both arguments
                continue;
            }
            if (!((planes >> pl.shift) & 0xFF)) continue;
            ok = create_mem_buffer(ctx, q, pl.mem, pl.host, pl.mapped, pl.devPitch, pl.allocRows,
                                   access) && ok;
        }
    }
    created = true;
    return ok;
}

namespace {

// Copies the planes that `planes2` selects between host and device (a
// semi-planar chroma buffer once).
bool map_yuv(opencl_param_yuv& p, cl_command_queue q, bool toDevice) {
    if (p.svm) return true;
    bool ok = true;
    for (const YuvPlane& pl : yuv_planes(p)) {
        if (!((p.planes2 >> pl.shift) & 0xFF)) continue;
        if (pl.index == 2 && p.memV == p.memU) continue;
        ok = map_copy(q, *pl.mem, pl.devPitch * pl.allocRows, toDevice, pl.host, pl.hostPitch,
                      pl.devPitch, pl.rows, pl.bytes, pl.mapped) && ok;
    }
    return ok;
}

}  // namespace

bool opencl_param_yuv::map_host_to_device(cl_command_queue q) { return map_yuv(*this, q, true); }

bool opencl_param_yuv::map_device_to_host(cl_command_queue q) { return map_yuv(*this, q, false); }

bool opencl_param_yuv::validate() {
    if (svm) return true;
    if (((planes >> 16) & 0xFF) && !memY) return false;
    if (((planes >> 8) & 0xFF) && !memU) return false;
    if ((planes & 0xFF) && !memV) return false;
    if (width < 1 || height < 1) return false;
    if (strideY <= width) strideY = width;
    if (rowsY <= height) rowsY = height;
    if (strideU < 1) strideU = memU == memV ? strideY : strideY / 2;
    if (strideV < 1) strideV = memU == memV ? strideY : strideY / 2;
    return true;
}

void opencl_param_yuv::releaseMem() {
    if (memV != memU) release_buffer(memV);
    release_buffer(memU);
    release_buffer(memY);
    memY = memU = memV = nullptr;
}

}  // namespace ZOR
