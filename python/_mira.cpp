// The `mira._mira` extension: numpy arrays in and out over the checked C
// interface (mira/mira_image.h). Every argument is checked here first, so a
// bad one raises a Python exception naming it (TypeError for a type or dtype,
// ValueError for a shape, size, stride or mode); the C function validates
// again and its status becomes an exception too. The GIL is released while a
// C function runs.
#include <cctype>
#include <dlfcn.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "api/image_overlap.h"
#include "mira/mira_image.h"
#include "ops/requests.h"

namespace py = pybind11;

namespace {

using u32 = uint32_t;
using u64 = uint64_t;

using mira::kMaxSpan;  // bytes one image may span (the C library's limit)
constexpr long long kMaxSide = MIRA_IMAGE_MAX_SIDE;

[[noreturn]] void type_error(const char* fn, const std::string& what) {
    throw py::type_error(std::string("mira.") + fn + ": " + what);
}
[[noreturn]] void value_error(const char* fn, const std::string& what) {
    throw py::value_error(std::string("mira.") + fn + ": " + what);
}

std::string to_repr(py::handle h) { return py::repr(h).cast<std::string>(); }

std::string shape_str(const py::array& a) {
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) {
        if (i) s += ", ";
        s += std::to_string(a.shape(i));
    }
    return s + (a.ndim() == 1 ? ",)" : ")");
}

// Which path a `device` argument names.
mira_path path_arg(const char* fn, py::handle device) {
    if (device.is_none()) return MIRA_PATH_DEFAULT;
    if (!py::isinstance<py::str>(device))
        type_error(fn, "device must be 'cpu', 'gpu' or None, not " + to_repr(device));
    const std::string d = device.cast<std::string>();
    if (d == "cpu") return MIRA_PATH_CPU;
    if (d == "gpu") return MIRA_PATH_GPU;
    value_error(fn, "device must be 'cpu', 'gpu' or None, not " + to_repr(device));
}

// An integer argument in [lo, hi] (bool is refused: it is no count or coordinate).
long long int_arg(const char* fn, const char* name, py::handle v, long long lo, long long hi) {
    if (PyBool_Check(v.ptr()) || !PyIndex_Check(v.ptr()))
        type_error(fn, std::string(name) + " must be an integer, not " + to_repr(v));
    py::object idx = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
    if (!idx) throw py::error_already_set();
    int overflow = 0;
    const long long x = PyLong_AsLongLongAndOverflow(idx.ptr(), &overflow);
    if (overflow != 0 || x < lo || x > hi)
        value_error(fn, std::string(name) + " must lie in [" + std::to_string(lo) + ", " +
                            std::to_string(hi) + "], got " + to_repr(v));
    return x;
}

// A pair of integers, each in [lo, hi].
std::pair<long long, long long> pair_arg(const char* fn, const char* name, py::handle v,
                                         long long lo, long long hi, const char* what) {
    if (!PySequence_Check(v.ptr()) || py::isinstance<py::str>(v))
        type_error(fn, std::string(name) + " must be a pair " + what + " of integers, not " +
                           to_repr(v));
    py::sequence s = py::reinterpret_borrow<py::sequence>(v);
    if (s.size() != 2)
        value_error(fn, std::string(name) + " must be a pair " + what + ", got " + to_repr(v));
    const std::string n0 = std::string(name) + "[0]", n1 = std::string(name) + "[1]";
    return {int_arg(fn, n0.c_str(), s[0], lo, hi), int_arg(fn, n1.c_str(), s[1], lo, hi)};
}

// A destination size (width, height).
std::pair<u32, u32> size_arg(const char* fn, py::handle v) {
    const auto wh = pair_arg(fn, "size", v, 1, kMaxSide, "(width, height)");
    return {u32(wh.first), u32(wh.second)};
}

// One of the names of a mode.
template <size_t N>
int mode_arg(const char* fn, const char* name, py::handle v, const char* const (&names)[N],
             const int (&values)[N]) {
    std::string list;
    for (size_t i = 0; i < N; ++i) list += (i ? ", '" : "'") + std::string(names[i]) + "'";
    if (!py::isinstance<py::str>(v))
        type_error(fn, std::string(name) + " must be one of " + list + ", not " + to_repr(v));
    const std::string s = v.cast<std::string>();
    for (size_t i = 0; i < N; ++i)
        if (s == names[i]) return values[i];
    value_error(fn, std::string(name) + " must be one of " + list + ", not " + to_repr(v));
}

// An image argument: the array (kept alive by the caller's frame) and its
// description for the C library.
struct Image {
    py::array arr;
    mira_image im{};
    u64 begin = 0, end = 0;  // the bytes it spans
    u32 sample = 1;          // bytes per sample
};

// Accepted layouts: planes (H, W) with `channels` 1, pairs (H, W, 2) with
// `channels` 2, RGB (H, W, 3) with `channels` 3, RGBA (H, W, 4) with
// `channels` 4; `channels` 0 takes any of them (the function's C side
// decides which counts it serves: MIRA_STATUS_UNSUPPORTED for the others,
// raised as ValueError). Samples are `sample` bytes of numpy type `typenum`. The samples of
// a row must be contiguous; the rows may lie any (positive) distance apart.
Image image_arg(const char* fn, const char* name, py::handle obj, int channels, bool writable,
                int typenum = py::detail::npy_api::NPY_UBYTE_, u32 sample = 1) {
    const std::string n(name);
    const char* tname = typenum == py::detail::npy_api::NPY_UBYTE_ ? "uint8" : "int16";
    if (!py::isinstance<py::array>(obj))
        type_error(fn, n + " must be a numpy.ndarray of " + tname + ", not " +
                           std::string(Py_TYPE(obj.ptr())->tp_name));
    Image r;
    r.arr = py::reinterpret_borrow<py::array>(obj);
    const py::array& a = r.arr;
    const int num = py::detail::array_descriptor_proxy(py::detail::array_proxy(a.ptr())->descr)
                        ->type_num;
    if (num != typenum)
        type_error(fn, n + " must have dtype " + tname + ", not " +
                           py::str(a.dtype()).cast<std::string>());
    if (sample > 1) {
        // multi-byte samples are written in the machine's byte order
        const char order =
            py::detail::array_descriptor_proxy(py::detail::array_proxy(a.ptr())->descr)->byteorder;
        const uint16_t one = 1;
        const bool little = *reinterpret_cast<const uint8_t*>(&one) == 1;
        if (order == (little ? '>' : '<'))
            type_error(fn, n + " must have dtype " + tname + " in the machine's byte order");
    }
    const py::ssize_t nd = a.ndim();
    int ch;
    if (nd == 2 && (channels == 1 || channels == 0)) {
        ch = 1;
    } else if (nd == 3 && channels == 0 && a.shape(2) >= 2 && a.shape(2) <= 4) {
        ch = int(a.shape(2));
    } else if (nd == 3 && channels > 1 && a.shape(2) == channels) {
        ch = channels;
    } else {
        const char* want = channels == 0   ? "(H, W), (H, W, 2), (H, W, 3) or (H, W, 4)"
                           : channels == 1 ? "(H, W)"
                           : channels == 2 ? "(H, W, 2)"
                           : channels == 3 ? "(H, W, 3)"
                                           : "(H, W, 4)";
        value_error(fn, n + " must have shape " + want + ", got " + shape_str(a));
    }
    const py::ssize_t h = a.shape(0), w = a.shape(1);
    if (h < 1 || w < 1) value_error(fn, n + " is empty (shape " + shape_str(a) + ")");
    if (h > kMaxSide || w > kMaxSide)
        value_error(fn, n + " is too large (shape " + shape_str(a) + "; at most " +
                            std::to_string(kMaxSide) + " per side)");
    const py::ssize_t pixel = py::ssize_t(ch) * sample;
    const bool inner = (ch == 1 || a.strides(2) == py::ssize_t(sample)) &&
                       (w == 1 || a.strides(1) == pixel);
    if (!inner) {
        std::string st;
        for (py::ssize_t i = 0; i < nd; ++i) st += (i ? ", " : "") + std::to_string(a.strides(i));
        value_error(fn, n + ": the samples of a row must be contiguous (strides (" + st +
                            ")); numpy.ascontiguousarray(" + n + ") gives a copy with contiguous rows");
    }
    const u64 rowBytes = u64(w) * u64(pixel);
    u64 stride = rowBytes;
    if (h > 1) {
        const py::ssize_t s = a.strides(0);
        if (s < 0 || u64(s) < rowBytes || u64(s) > 0xFFFFFFFFu)
            value_error(fn, n + ": rows must follow each other at a positive distance of at least "
                                "one row (row stride " +
                                std::to_string(s) + " bytes, row " + std::to_string(rowBytes) +
                                " bytes)");
        stride = u64(s);
    }
    if (sample > 1 && (stride % sample || reinterpret_cast<uintptr_t>(a.data()) % sample))
        value_error(fn, n + ": samples must be aligned to their size");
    const u64 spanBytes = stride * u64(h - 1) + rowBytes;
    if (spanBytes > kMaxSpan) value_error(fn, n + " spans more than 2**31 - 1 bytes");
    if (writable && !a.writeable()) value_error(fn, n + " is read-only");
    r.im.data = static_cast<uint8_t*>(const_cast<void*>(a.data()));
    r.im.width = u32(w);
    r.im.height = u32(h);
    r.im.stride = u32(stride);
    r.im.channels = u32(ch);
    r.sample = sample;
    r.begin = reinterpret_cast<uintptr_t>(a.data());
    r.end = r.begin + spanBytes;
    return r;
}

// The destination: `out` checked against the expected shape, or a new array.
Image dest(const char* fn, const char* name, py::handle out, std::vector<py::ssize_t> shape,
           bool int16 = false) {
    py::array a;
    if (out.is_none()) {
        if (int16)
            a = py::array_t<int16_t>(shape);
        else
            a = py::array_t<uint8_t>(shape);
    } else {
        const int typenum =
            int16 ? py::detail::npy_api::NPY_SHORT_ : py::detail::npy_api::NPY_UBYTE_;
        if (!py::isinstance<py::array>(out))
            type_error(fn, std::string(name) + " must be a numpy.ndarray, not " +
                               std::string(Py_TYPE(out.ptr())->tp_name));
        a = py::reinterpret_borrow<py::array>(out);
        const int num =
            py::detail::array_descriptor_proxy(py::detail::array_proxy(a.ptr())->descr)->type_num;
        if (num != typenum)
            type_error(fn, std::string(name) + " must have dtype " + (int16 ? "int16" : "uint8") +
                               ", not " + py::str(a.dtype()).cast<std::string>());
        bool same = a.ndim() == py::ssize_t(shape.size());
        for (size_t i = 0; same && i < shape.size(); ++i) same = a.shape(py::ssize_t(i)) == shape[i];
        if (!same) {
            std::string want = "(";
            for (size_t i = 0; i < shape.size(); ++i)
                want += (i ? ", " : "") + std::to_string(shape[i]);
            value_error(fn, std::string(name) + " must have shape " + want + "), got " +
                                shape_str(a));
        }
    }
    const int ch = shape.size() == 3 ? int(shape[2]) : 1;
    if (int16)
        return image_arg(fn, name, a, 1, true, py::detail::npy_api::NPY_SHORT_, 2);
    return image_arg(fn, name, a, ch, true);
}

// Refuses a destination that shares a byte with another image of the call.
// Only the bytes of the rows count, as in the C library: a slice of a
// buffer may be written from another slice whose rows interleave with it.
void no_overlap(const char* fn, const Image& a, const char* an, const Image& b, const char* bn) {
    auto rows = [](const Image& i) {
        return mira_overlap::Rows{reinterpret_cast<uintptr_t>(i.im.data), i.im.stride,
                                  u64(i.im.width) * i.im.channels * i.sample, i.im.height};
    };
    if (mira_overlap::overlap(rows(a), rows(b)))
        value_error(fn, std::string(an) + " and " + bn + " overlap in memory");
}

void check_status(const char* fn, mira_status st) {
    switch (st) {
        case MIRA_STATUS_OK: return;
        case MIRA_STATUS_OUT_OF_MEMORY:
            PyErr_Format(PyExc_MemoryError, "mira.%s: working memory not available", fn);
            throw py::error_already_set();
        case MIRA_STATUS_BAD_ARGUMENT:
            value_error(fn, "the library refused the arguments (bad argument)");
        case MIRA_STATUS_UNSUPPORTED:
            value_error(fn, "the operation does not take images of this channel count "
                            "(unsupported); help(mira." + std::string(fn) + ") lists the shapes");
        default:
            throw std::runtime_error(std::string("mira.") + fn + ": " + mira_status_string(st));
    }
}

// Runs a C call without the GIL and turns its status into an exception.
template <class F>
void call(const char* fn, F&& f) {
    mira_status st;
    {
        py::gil_scoped_release nogil;
        st = f();
    }
    check_status(fn, st);
}

// ---------------------------------------------------------------- memory

std::mutex g_life;                  // init/deinit against allocation
std::atomic<long> g_live_shared{0};  // live mira.empty blocks in GPU-shared memory

struct Block {
    void* ptr;
    bool shared;
};

py::array empty(py::handle shape, py::handle dtype) {
    const char* fn = "empty";
    py::dtype dt;
    try {
        dt = py::dtype::from_args(py::reinterpret_borrow<py::object>(dtype));
    } catch (py::error_already_set&) {
        type_error(fn, "dtype " + to_repr(dtype) + " is not a numpy dtype");
    }
    if (dt.has_fields() || dt.kind() == 'O')
        type_error(fn, "dtype must be a plain numeric type, not " + to_repr(dtype));
    std::vector<py::ssize_t> dims;
    if (PyIndex_Check(shape.ptr())) {
        dims.push_back(py::ssize_t(int_arg(fn, "shape", shape, 0, kMaxSpan)));
    } else if (PySequence_Check(shape.ptr()) && !py::isinstance<py::str>(shape)) {
        py::sequence s = py::reinterpret_borrow<py::sequence>(shape);
        for (size_t i = 0; i < s.size(); ++i) {
            const std::string n = "shape[" + std::to_string(i) + "]";
            dims.push_back(py::ssize_t(int_arg(fn, n.c_str(), s[i], 0, kMaxSpan)));
        }
    } else {
        type_error(fn, "shape must be an integer or a sequence of integers, not " + to_repr(shape));
    }
    u64 bytes = u64(dt.itemsize());
    for (py::ssize_t d : dims) {
        bytes *= u64(d);
        if (bytes > kMaxSpan) value_error(fn, "the array would exceed 2**31 - 1 bytes");
    }
    Block* b = new Block{nullptr, false};
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(g_life);
        // (a zero-size array still gets a block of its own)
        b->ptr = mira_alloc(bytes ? bytes : 1);
        b->shared = b->ptr != nullptr && mira_device_name() != nullptr;
        if (b->shared) ++g_live_shared;
    }
    if (b->ptr == nullptr) {
        delete b;
        PyErr_Format(PyExc_MemoryError, "mira.empty: %llu bytes not available",
                     static_cast<unsigned long long>(bytes));
        throw py::error_already_set();
    }
    py::capsule base(b, [](void* p) {
        Block* blk = static_cast<Block*>(p);
        mira_free(blk->ptr);
        if (blk->shared) --g_live_shared;
        delete blk;
    });
    return py::array(dt, dims, {}, b->ptr, base);
}

bool init() {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> lock(g_life);
    return mira_init() == MIRA_STATUS_OK;
}

void deinit() {
    {
        py::gil_scoped_release nogil;
        std::lock_guard<std::mutex> lock(g_life);
        if (g_live_shared.load() == 0) {
            mira_shutdown();
            return;
        }
    }
    throw std::runtime_error("mira.deinit: " + std::to_string(g_live_shared.load()) +
                             " array(s) from mira.empty() in GPU-shared memory are still alive; "
                             "delete them first");
}

py::object device_name() {
    const char* n;
    {
        py::gil_scoped_release nogil;
        n = mira_device_name();
    }
    if (n == nullptr) return py::none();
    return py::str(n);
}

std::string library_path() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&mira_init), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return info.dli_fname;
}

// ---------------------------------------------------------------- geometry

py::object transpose(py::handle img, py::handle out, py::handle device) {
    const char* fn = "transpose";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 0, false);
    std::vector<py::ssize_t> shape{s.im.width, s.im.height};
    if (s.im.channels > 1) shape.push_back(s.im.channels);
    Image d = dest(fn, "out", out, shape);
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_transpose(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object rotate(py::handle img, py::handle degrees, py::handle out, py::handle device) {
    const char* fn = "rotate";
    const mira_path p = path_arg(fn, device);
    const long long deg = int_arg(fn, "degrees", degrees, LLONG_MIN, LLONG_MAX);
    if (deg != 90 && deg != 180 && deg != 270)
        value_error(fn, "degrees must be 90, 180 or 270 (clockwise), got " + to_repr(degrees));
    Image s = image_arg(fn, "img", img, 0, false);
    const bool swap = deg != 180;
    std::vector<py::ssize_t> shape{swap ? s.im.width : s.im.height,
                                   swap ? s.im.height : s.im.width};
    if (s.im.channels > 1) shape.push_back(s.im.channels);
    Image d = dest(fn, "out", out, shape);
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_rotate(&s.im, &d.im, int(deg), p); });
    return std::move(d.arr);
}

// ---------------------------------------------------------------- colour

py::object nv21_to_rgba(py::handle frame, py::handle vu, py::handle out, py::handle device) {
    const char* fn = "nv21_to_rgba";
    const mira_path p = path_arg(fn, device);
    Image y, c;
    if (vu.is_none()) {
        Image f = image_arg(fn, "frame", frame, 1, false);
        const u32 rows = f.im.height, w = f.im.width;
        if (rows % 3 != 0 || (rows * 2 / 3) % 2 != 0 || w % 2 != 0)
            value_error(fn, "frame must have shape (H * 3 // 2, W) with H and W even, got " +
                                shape_str(f.arr));
        const u32 h = rows * 2 / 3;
        y = f;
        y.im.height = h;
        y.end = y.begin + u64(f.im.stride) * (h - 1) + w;
        c = f;
        c.im.data = f.im.data + u64(f.im.stride) * h;
        c.im.width = w / 2;
        c.im.height = h / 2;
        c.im.channels = 2;
        c.begin = reinterpret_cast<uintptr_t>(c.im.data);
        c.end = f.end;
    } else {
        y = image_arg(fn, "frame", frame, 1, false);
        c = image_arg(fn, "vu", vu, 2, false);
        if (y.im.width % 2 || y.im.height % 2)
            value_error(fn, "frame (the luma plane) must have even sides, got " +
                                shape_str(y.arr));
        if (c.im.width != y.im.width / 2 || c.im.height != y.im.height / 2)
            value_error(fn, "vu must have shape (H // 2, W // 2, 2) = (" +
                                std::to_string(y.im.height / 2) + ", " +
                                std::to_string(y.im.width / 2) + ", 2), got " + shape_str(c.arr));
    }
    Image d = dest(fn, "out", out, {y.im.height, y.im.width, 4});
    if (d.im.stride % 4) value_error(fn, "out: row stride must be a multiple of 4 bytes");
    no_overlap(fn, y, "frame", d, "out");
    no_overlap(fn, c, vu.is_none() ? "frame" : "vu", d, "out");
    call(fn, [&] { return mira_nv21_to_rgba(&y.im, &c.im, &d.im, p); });
    return std::move(d.arr);
}

// ---------------------------------------------------------------- camera frames

// The index of a string argument among `names` (case ignored).
int choice_arg(const char* fn, const char* name, py::handle v,
               const std::vector<const char*>& names) {
    std::string all;
    for (size_t i = 0; i < names.size(); ++i) all += (i ? ", '" : "'") + std::string(names[i]) + "'";
    if (!py::isinstance<py::str>(v))
        type_error(fn, std::string(name) + " must be one of " + all + ", not " + to_repr(v));
    std::string s = v.cast<std::string>();
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (size_t i = 0; i < names.size(); ++i)
        if (s == names[i]) return int(i);
    value_error(fn, std::string(name) + " must be one of " + all + ", not " + to_repr(v));
}

const std::vector<const char*> kLayoutNames = {"nv21", "nv12", "i420", "yv12"};
const std::vector<const char*> kMatrixNames = {"bt601", "bt709", "bt2020"};
const std::vector<const char*> kRangeNames = {"limited", "full"};
const std::vector<const char*> kFormatNames = {"rgba", "bgra", "rgb", "bgr"};

// A frame description over a C-contiguous uint8 buffer of `layout`.
mira_yuv420 describe_frame(const char* fn, const py::array& a, u32 w, u32 h, int layout) {
    mira_yuv420 f{};
    uint8_t* data = static_cast<uint8_t*>(const_cast<void*>(a.data()));
    const size_t size = size_t(a.nbytes());
    const mira_status st = layout == 0   ? mira_yuv420_nv21(&f, data, size, w, h)
                           : layout == 1 ? mira_yuv420_nv12(&f, data, size, w, h)
                                         : mira_yuv420_i420(&f, data, size, w, h);
    if (st != MIRA_STATUS_OK) {
        const u64 need = u64(w) * h + 2 * ((u64(w) + 1) / 2) * ((u64(h) + 1) / 2);
        value_error(fn, "frame holds " + std::to_string(size) + " bytes; a " +
                            std::to_string(w) + " x " + std::to_string(h) + " frame needs " +
                            std::to_string(need));
    }
    if (layout == 3) std::swap(f.u, f.v);
    return f;
}

// A uint8 array whose bytes follow each other (C order).
py::array flat_arg(const char* fn, const char* name, py::handle obj, bool writable) {
    if (!py::isinstance<py::array>(obj))
        type_error(fn, std::string(name) + " must be a numpy.ndarray of uint8, not " +
                           std::string(Py_TYPE(obj.ptr())->tp_name));
    py::array a = py::reinterpret_borrow<py::array>(obj);
    const int num =
        py::detail::array_descriptor_proxy(py::detail::array_proxy(a.ptr())->descr)->type_num;
    if (num != py::detail::npy_api::NPY_UBYTE_)
        type_error(fn, std::string(name) + " must have dtype uint8, not " +
                           py::str(a.dtype()).cast<std::string>());
    if (!(a.flags() & py::array::c_style))
        value_error(fn, std::string(name) +
                            " must be C-contiguous (numpy.ascontiguousarray gives a copy)");
    if (writable && !a.writeable()) value_error(fn, std::string(name) + " is read-only");
    return a;
}

// (width, height) from `size`, or from a frame of shape (H * 3 // 2, W).
void frame_size(const char* fn, const py::array& a, py::handle size, u32* w, u32* h) {
    if (size.is_none()) {
        if (a.ndim() != 2 || a.shape(0) % 3 != 0 || a.shape(0) == 0)
            value_error(fn, "size=(width, height) is required unless frame has shape "
                            "(H * 3 // 2, W) with H even, got " + shape_str(a));
        *w = u32(a.shape(1));
        *h = u32(a.shape(0) / 3 * 2);
        return;
    }
    if (!py::isinstance<py::tuple>(size) && !py::isinstance<py::list>(size))
        type_error(fn, "size must be a (width, height) pair, not " + to_repr(size));
    py::sequence s = py::reinterpret_borrow<py::sequence>(size);
    if (s.size() != 2) value_error(fn, "size must be a (width, height) pair, not " + to_repr(size));
    *w = u32(int_arg(fn, "width", s[0], 1, kMaxSide));
    *h = u32(int_arg(fn, "height", s[1], 1, kMaxSide));
}

py::object yuv420_to_rgb(py::handle frame, py::handle size, py::handle layout, py::handle matrix,
                         py::handle range, py::handle format, py::handle degrees,
                         py::handle mirror, py::handle dsize, py::handle interpolation,
                         py::handle out, py::handle device) {
    const char* fn = "yuv420_to_rgb";
    const mira_path p = path_arg(fn, device);
    const int lay = choice_arg(fn, "layout", layout, kLayoutNames);
    const int mat = choice_arg(fn, "matrix", matrix, kMatrixNames);
    const int rng = choice_arg(fn, "range", range, kRangeNames);
    const int fmt = choice_arg(fn, "format", format, kFormatNames);
    py::array a = flat_arg(fn, "frame", frame, false);
    u32 w, h;
    frame_size(fn, a, size, &w, &h);
    const mira_yuv420 f = describe_frame(fn, a, w, h, lay);
    const py::ssize_t chn = fmt >= 2 ? 3 : 4;
    // Turned, mirrored or resized: the fused call (one pass over the frame).
    const int deg = int(int_arg(fn, "degrees", degrees, -1000000, 1000000));
    if (deg != 0 && deg != 90 && deg != 180 && deg != 270)
        value_error(fn, "degrees must be 0, 90, 180 or 270, not " + std::to_string(deg));
    if (!py::isinstance<py::bool_>(mirror) && !py::isinstance<py::int_>(mirror))
        type_error(fn, "mirror must be a bool, not " + to_repr(mirror));
    const bool mir = mirror.cast<bool>();
    const int ip = choice_arg(fn, "interpolation", interpolation, {"nearest", "bilinear"});
    if (deg == 0 && !mir && dsize.is_none()) {
        Image d = dest(fn, "out", out, {py::ssize_t(h), py::ssize_t(w), chn});
        call(fn, [&] {
            return mira_yuv420_to_rgb(&f, &d.im, mira_rgb_format(fmt), mira_matrix(mat),
                                      mira_range(rng), p);
        });
        return std::move(d.arr);
    }
    const bool swap = deg == 90 || deg == 270;
    u32 dw = swap ? h : w, dh = swap ? w : h;
    if (!dsize.is_none()) {
        if (!py::isinstance<py::tuple>(dsize) && !py::isinstance<py::list>(dsize))
            type_error(fn, "dsize must be a (width, height) pair, not " + to_repr(dsize));
        py::sequence s = py::reinterpret_borrow<py::sequence>(dsize);
        if (s.size() != 2)
            value_error(fn, "dsize must be a (width, height) pair, not " + to_repr(dsize));
        dw = u32(int_arg(fn, "dsize width", s[0], 1, kMaxSide));
        dh = u32(int_arg(fn, "dsize height", s[1], 1, kMaxSide));
    }
    Image d = dest(fn, "out", out, {py::ssize_t(dh), py::ssize_t(dw), chn});
    call(fn, [&] {
        return mira_yuv420_to_rgb_transform(
            &f, &d.im, deg, mir ? 1 : 0,
            ip == 1 ? MIRA_INTERPOLATION_BILINEAR : MIRA_INTERPOLATION_NONE, mira_rgb_format(fmt),
            mira_matrix(mat), mira_range(rng), p);
    });
    return std::move(d.arr);
}

py::object rgb_to_yuv420(py::handle img, py::handle layout, py::handle matrix, py::handle range,
                         py::handle format, py::handle out, py::handle device) {
    const char* fn = "rgb_to_yuv420";
    const mira_path p = path_arg(fn, device);
    const int lay = choice_arg(fn, "layout", layout, kLayoutNames);
    const int mat = choice_arg(fn, "matrix", matrix, kMatrixNames);
    const int rng = choice_arg(fn, "range", range, kRangeNames);
    if (!py::isinstance<py::array>(img) || py::reinterpret_borrow<py::array>(img).ndim() != 3)
        value_error(fn, "img must be a numpy.ndarray of shape (H, W, 3) or (H, W, 4)");
    const py::ssize_t chn = py::reinterpret_borrow<py::array>(img).shape(2);
    if (chn != 3 && chn != 4)
        value_error(fn, "img must have 3 or 4 channels, got shape " +
                            shape_str(py::reinterpret_borrow<py::array>(img)));
    const int fmt = format.is_none() ? (chn == 3 ? 2 : 0)
                                     : choice_arg(fn, "format", format, kFormatNames);
    if ((fmt >= 2 ? 3 : 4) != chn)
        value_error(fn, "format " + to_repr(format) + " does not match img's " +
                            std::to_string(chn) + " channels");
    Image s = image_arg(fn, "img", img, int(chn), false);
    const u64 need = u64(s.im.width) * s.im.height +
                     2 * ((u64(s.im.width) + 1) / 2) * ((u64(s.im.height) + 1) / 2);
    py::array o;
    if (out.is_none()) {
        o = py::array_t<uint8_t>(py::ssize_t(need));
    } else {
        o = flat_arg(fn, "out", out, true);
        if (u64(o.nbytes()) != need)
            value_error(fn, "out must hold " + std::to_string(need) + " bytes, got " +
                                std::to_string(o.nbytes()));
    }
    const mira_yuv420 f = describe_frame(fn, o, s.im.width, s.im.height, lay);
    call(fn, [&] {
        return mira_rgb_to_yuv420(&s.im, mira_rgb_format(fmt), &f, mira_matrix(mat),
                                  mira_range(rng), p);
    });
    return o;
}

// The three destinations of a layout conversion, checked against each other.
std::vector<Image> dests(const char* fn, py::handle out, const std::vector<const char*>& names,
                         const std::vector<std::vector<py::ssize_t>>& shapes) {
    std::vector<Image> r;
    const size_t n = shapes.size();
    if (!out.is_none()) {
        if (!py::isinstance<py::tuple>(out) && !py::isinstance<py::list>(out))
            type_error(fn, "out must be a tuple of " + std::to_string(n) + " arrays, not " +
                               std::string(Py_TYPE(out.ptr())->tp_name));
        py::sequence s = py::reinterpret_borrow<py::sequence>(out);
        if (s.size() != n)
            value_error(fn, "out must be a tuple of " + std::to_string(n) + " arrays, got " +
                                std::to_string(s.size()));
        for (size_t i = 0; i < n; ++i) r.push_back(dest(fn, names[i], s[i], shapes[i]));
    } else {
        for (size_t i = 0; i < n; ++i) r.push_back(dest(fn, names[i], py::none(), shapes[i]));
    }
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) no_overlap(fn, r[i], names[i], r[j], names[j]);
    return r;
}

void even_sides(const char* fn, const Image& y, const char* name) {
    if (y.im.width % 2 || y.im.height % 2)
        value_error(fn, std::string(name) + " must have even sides, got " + shape_str(y.arr));
}

py::object yuv444_to_yuv420sp(py::handle yo, py::handle cbo, py::handle cro, py::handle out,
                              py::handle device) {
    const char* fn = "yuv444_to_yuv420sp";
    const mira_path p = path_arg(fn, device);
    Image y = image_arg(fn, "y", yo, 1, false);
    Image cb = image_arg(fn, "cb", cbo, 1, false);
    Image cr = image_arg(fn, "cr", cro, 1, false);
    even_sides(fn, y, "y");
    for (const Image* i : {&cb, &cr})
        if (i->im.width != y.im.width || i->im.height != y.im.height)
            value_error(fn, std::string(i == &cb ? "cb" : "cr") + " must have the shape of y " +
                                shape_str(y.arr) + ", got " + shape_str(i->arr));
    const py::ssize_t h = y.im.height, w = y.im.width;
    std::vector<Image> d = dests(fn, out, {"out[0]", "out[1]"}, {{h, w}, {h / 2, w / 2, 2}});
    for (const Image* s : {&y, &cb, &cr})
        for (int i = 0; i < 2; ++i)
            no_overlap(fn, *s, s == &y ? "y" : s == &cb ? "cb" : "cr", d[i],
                       i ? "out[1]" : "out[0]");
    call(fn, [&] { return mira_yuv444_to_yuv420sp(&y.im, &cb.im, &cr.im, &d[0].im, &d[1].im, p); });
    return py::make_tuple(d[0].arr, d[1].arr);
}

py::object yuv420sp_to_yuv444(py::handle yo, py::handle cbcro, py::handle out, py::handle device) {
    const char* fn = "yuv420sp_to_yuv444";
    const mira_path p = path_arg(fn, device);
    Image y = image_arg(fn, "y", yo, 1, false);
    Image c = image_arg(fn, "cbcr", cbcro, 2, false);
    even_sides(fn, y, "y");
    if (c.im.width != y.im.width / 2 || c.im.height != y.im.height / 2)
        value_error(fn, "cbcr must have shape (H // 2, W // 2, 2) = (" +
                            std::to_string(y.im.height / 2) + ", " +
                            std::to_string(y.im.width / 2) + ", 2), got " + shape_str(c.arr));
    const py::ssize_t h = y.im.height, w = y.im.width;
    std::vector<Image> d =
        dests(fn, out, {"out[0]", "out[1]", "out[2]"}, {{h, w}, {h, w}, {h, w}});
    const char* dn[3] = {"out[0]", "out[1]", "out[2]"};
    for (int i = 0; i < 3; ++i) {
        no_overlap(fn, y, "y", d[size_t(i)], dn[i]);
        no_overlap(fn, c, "cbcr", d[size_t(i)], dn[i]);
    }
    call(fn, [&] { return mira_yuv420sp_to_yuv444(&y.im, &c.im, &d[0].im, &d[1].im, &d[2].im, p); });
    return py::make_tuple(d[0].arr, d[1].arr, d[2].arr);
}

py::object swap_pairs(py::handle pairs, py::handle out, py::handle device) {
    const char* fn = "swap_pairs";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "pairs", pairs, 2, false);
    Image d = dest(fn, "out", out, {s.im.height, s.im.width, 2});
    no_overlap(fn, s, "pairs", d, "out");
    call(fn, [&] { return mira_swap_pairs(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object interleave(py::handle ao, py::handle bo, py::handle out, py::handle device) {
    const char* fn = "interleave";
    const mira_path p = path_arg(fn, device);
    Image a = image_arg(fn, "a", ao, 1, false);
    Image b = image_arg(fn, "b", bo, 1, false);
    if (a.im.width != b.im.width || a.im.height != b.im.height)
        value_error(fn, "b must have the shape of a " + shape_str(a.arr) + ", got " +
                            shape_str(b.arr));
    Image d = dest(fn, "out", out, {a.im.height, a.im.width, 2});
    no_overlap(fn, a, "a", d, "out");
    no_overlap(fn, b, "b", d, "out");
    call(fn, [&] { return mira_interleave(&a.im, &b.im, &d.im, p); });
    return std::move(d.arr);
}

// ---------------------------------------------------------------- filters

py::object gradient(py::handle img, bool sobel, py::handle out, py::handle device) {
    const char* fn = "gradient";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 1, false);
    const py::ssize_t h = s.im.height, w = s.im.width;
    Image dx, dy;
    if (out.is_none()) {
        dx = dest(fn, "out[0]", out, {h, w}, true);
        dy = dest(fn, "out[1]", out, {h, w}, true);
    } else {
        if (!py::isinstance<py::tuple>(out) && !py::isinstance<py::list>(out))
            type_error(fn, "out must be a tuple (dx, dy) of int16 arrays, not " +
                               std::string(Py_TYPE(out.ptr())->tp_name));
        py::sequence o = py::reinterpret_borrow<py::sequence>(out);
        if (o.size() != 2)
            value_error(fn, "out must be a tuple (dx, dy), got " + std::to_string(o.size()) +
                                " items");
        dx = dest(fn, "out[0]", o[0], {h, w}, true);
        dy = dest(fn, "out[1]", o[1], {h, w}, true);
    }
    no_overlap(fn, s, "img", dx, "out[0]");
    no_overlap(fn, s, "img", dy, "out[1]");
    no_overlap(fn, dx, "out[0]", dy, "out[1]");
    call(fn, [&] {
        return sobel ? mira_sobel(&s.im, &dx.im, &dy.im, p) : mira_gradient(&s.im, &dx.im, &dy.im, p);
    });
    return py::make_tuple(dx.arr, dy.arr);
}

py::object gaussian3x3(py::handle img, py::handle border, py::handle out, py::handle device) {
    const char* fn = "gaussian3x3";
    const mira_path p = path_arg(fn, device);
    static const char* const names[] = {"zero", "renormalised", "renormalized"};
    static const int values[] = {MIRA_GAUSSIAN_BORDER_ZERO, MIRA_GAUSSIAN_BORDER_RENORMALISED,
                                 MIRA_GAUSSIAN_BORDER_RENORMALISED};
    const auto b = mira_gaussian_border(mode_arg(fn, "border", border, names, values));
    Image s = image_arg(fn, "img", img, 0, false);
    std::vector<py::ssize_t> shape{s.im.height, s.im.width};
    if (s.im.channels > 1) shape.push_back(s.im.channels);
    Image d = dest(fn, "out", out, shape);
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_gaussian3x3(&s.im, &d.im, b, p); });
    return std::move(d.arr);
}

py::tuple intensity_stats(py::handle img, py::handle rect, py::handle device) {
    const char* fn = "intensity_stats";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 1, false);
    u32 x = 0, y = 0, w = s.im.width, h = s.im.height;
    if (!rect.is_none()) {
        if (!PySequence_Check(rect.ptr()) || py::isinstance<py::str>(rect))
            type_error(fn, "rect must be (x, y, width, height) or None, not " + to_repr(rect));
        py::sequence r = py::reinterpret_borrow<py::sequence>(rect);
        if (r.size() != 4)
            value_error(fn, "rect must be (x, y, width, height), got " + to_repr(rect));
        x = u32(int_arg(fn, "rect[0] (x)", r[0], 0, s.im.width - 1));
        y = u32(int_arg(fn, "rect[1] (y)", r[1], 0, s.im.height - 1));
        w = u32(int_arg(fn, "rect[2] (width)", r[2], 1, s.im.width - x));
        h = u32(int_arg(fn, "rect[3] (height)", r[3], 1, s.im.height - y));
    }
    float mean = 0, var = 0;
    call(fn, [&] { return mira_intensity_stats(&s.im, x, y, w, h, &mean, &var, p); });
    return py::make_tuple(double(mean), double(var));
}

py::tuple flood_fill(py::handle img, py::handle seed, py::handle connectivity, py::handle fill,
                     py::handle out, py::handle device) {
    const char* fn = "flood_fill";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 1, false);
    const auto xy = pair_arg(fn, "seed", seed, 0, kMaxSide, "(x, y)");
    if (xy.first >= s.im.width || xy.second >= s.im.height)
        value_error(fn, "seed " + to_repr(seed) + " lies outside the image of width " +
                            std::to_string(s.im.width) + " and height " +
                            std::to_string(s.im.height));
    const long long conn = int_arg(fn, "connectivity", connectivity, LLONG_MIN, LLONG_MAX);
    if (conn != 4 && conn != 8) value_error(fn, "connectivity must be 4 or 8, got " + to_repr(connectivity));
    const auto f = uint8_t(int_arg(fn, "fill", fill, 1, 255));
    Image d = dest(fn, "out", out, {s.im.height, s.im.width});
    no_overlap(fn, s, "img", d, "out");
    mira_fill_result r{};
    call(fn, [&] {
        return mira_flood_fill(&s.im, &d.im, u32(xy.first), u32(xy.second), int(conn), f, &r, p);
    });
    return py::make_tuple(d.arr, r.count, py::make_tuple(r.x, r.y, r.width, r.height));
}

// ---------------------------------------------------------------- scaling

// The shape of a w x h result with `ch` channels: (h, w) or (h, w, ch).
std::vector<py::ssize_t> shape_of(u32 w, u32 h, u32 ch) {
    std::vector<py::ssize_t> r{h, w};
    if (ch > 1) r.push_back(ch);
    return r;
}

py::object scale_down(py::handle img, py::handle size, py::handle out, py::handle device) {
    const char* fn = "scale_down";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 0, false);
    const auto [w, h] = size_arg(fn, size);
    if (s.im.width % w || s.im.height % h || s.im.width / w > 255 || s.im.height / h > 255)
        value_error(fn, "size " + to_repr(size) + " must divide the image's (width, height) (" +
                            std::to_string(s.im.width) + ", " + std::to_string(s.im.height) +
                            ") by whole factors of 1 to 255");
    Image d = dest(fn, "out", out, shape_of(w, h, s.im.channels));
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_scale_down(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object scale_down_box(py::handle img, py::handle size, py::handle out, py::handle device) {
    const char* fn = "scale_down_box";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 0, false);
    const auto [w, h] = size_arg(fn, size);
    if (w > s.im.width || h > s.im.height)
        value_error(fn, "size " + to_repr(size) + " must not exceed the image's (width, height) (" +
                            std::to_string(s.im.width) + ", " + std::to_string(s.im.height) + ")");
    Image d = dest(fn, "out", out, shape_of(w, h, s.im.channels));
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_scale_down_box(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object resize(py::handle img, py::handle size, py::handle interpolation, py::handle border,
                  py::handle value, py::handle out, py::handle device) {
    const char* fn = "resize";
    const mira_path p = path_arg(fn, device);
    static const char* const inames[] = {"none", "bilinear", "box"};
    static const int ivalues[] = {MIRA_INTERPOLATION_NONE, MIRA_INTERPOLATION_BILINEAR,
                                  MIRA_INTERPOLATION_BOX};
    static const char* const bnames[] = {"none", "constant", "replicate"};
    static const int bvalues[] = {MIRA_BORDER_NONE, MIRA_BORDER_CONSTANT, MIRA_BORDER_REPLICATE};
    const auto in = mira_interpolation(mode_arg(fn, "interpolation", interpolation, inames, ivalues));
    const auto bo = mira_border(mode_arg(fn, "border", border, bnames, bvalues));
    const auto v = uint8_t(int_arg(fn, "value", value, 0, 255));
    Image s = image_arg(fn, "img", img, 0, false);
    const auto [w, h] = size_arg(fn, size);
    Image d = dest(fn, "out", out, shape_of(w, h, s.im.channels));
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_resize(&s.im, &d.im, in, bo, v, p); });
    return std::move(d.arr);
}

py::object upscale_lanczos(py::handle img, py::handle size, py::handle out, py::handle device) {
    const char* fn = "upscale_lanczos";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "img", img, 0, false);
    const auto [w, h] = size_arg(fn, size);
    if (w < s.im.width || h < s.im.height)
        value_error(fn, "size " + to_repr(size) + " must be at least the image's (width, height) (" +
                            std::to_string(s.im.width) + ", " + std::to_string(s.im.height) + ")");
    Image d = dest(fn, "out", out, shape_of(w, h, s.im.channels));
    no_overlap(fn, s, "img", d, "out");
    call(fn, [&] { return mira_upscale_lanczos(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object upsample_chroma(py::handle pairs, py::handle out, py::handle device) {
    const char* fn = "upsample_chroma";
    const mira_path p = path_arg(fn, device);
    Image s = image_arg(fn, "pairs", pairs, 2, false);
    if (2 * u64(s.im.width) > u64(kMaxSide) || 2 * u64(s.im.height) > u64(kMaxSide))
        value_error(fn, "pairs is too large to double (shape " + shape_str(s.arr) + ")");
    Image d = dest(fn, "out", out, {2 * py::ssize_t(s.im.height), 2 * py::ssize_t(s.im.width), 2});
    no_overlap(fn, s, "pairs", d, "out");
    call(fn, [&] { return mira_upsample_chroma(&s.im, &d.im, p); });
    return std::move(d.arr);
}

py::object warp_affine(py::handle img, py::handle matrix, py::handle size,
                       py::handle interpolation, bool spans, py::handle out, py::handle device) {
    const char* fn = "warp_affine";
    const mira_path p = path_arg(fn, device);
    static const char* const names[] = {"nearest", "bilinear", "bicubic"};
    static const int values[] = {MIRA_WARP_NEAREST, MIRA_WARP_BILINEAR, MIRA_WARP_BICUBIC};
    const auto in =
        mira_warp_interpolation(mode_arg(fn, "interpolation", interpolation, names, values));
    float m[6];
    {
        py::array_t<double> a;
        try {
            a = py::module_::import("numpy").attr("asarray")(matrix, "float64");
        } catch (py::error_already_set&) {
            type_error(fn, "matrix must be a 2 x 3 array of numbers, not " + to_repr(matrix));
        }
        if (a.size() != 6 || !(a.ndim() == 2 ? a.shape(0) == 2 && a.shape(1) == 3 : a.ndim() == 1))
            value_error(fn, "matrix must have shape (2, 3), got " + shape_str(a));
        auto r = a.reshape({6});
        py::array_t<double> flat = py::array_t<double>::ensure(r);
        for (py::ssize_t i = 0; i < 6; ++i) {
            const double v = flat.at(i);
            if (!std::isfinite(v) || !std::isfinite(float(v)))
                value_error(fn, "matrix must hold finite single-precision values, got " +
                                    to_repr(matrix));
            m[i] = float(v);
        }
    }
    Image s = image_arg(fn, "img", img, 0, false);
    const auto [w, h] = size_arg(fn, size);
    Image d = dest(fn, "out", out, shape_of(w, h, s.im.channels));
    no_overlap(fn, s, "img", d, "out");
    py::array_t<uint32_t> sp;
    if (spans) sp = py::array_t<uint32_t>(std::vector<py::ssize_t>{py::ssize_t(h), 2});
    uint32_t* spp = spans ? sp.mutable_data() : nullptr;
    call(fn, [&] { return mira_warp_affine(&s.im, m, &d.im, in, spp, p); });
    if (spans) return py::make_tuple(d.arr, sp);
    return std::move(d.arr);
}

}  // namespace

PYBIND11_MODULE(_mira, mod) {
    mod.doc() = "libmira's image operations on numpy arrays (the compiled part of `mira`).";
    // The package's Python functions carry the signatures; these docstrings
    // are theirs without the argument list.
    py::options options;
    options.disable_function_signatures();
    py::module_::import("numpy");
    using py::arg;
    const auto none = py::none();
    mod.def("init", &init, "Brings up the GPU side; True when a GPU device is ready.");
    mod.def("deinit", &deinit,
            "Releases the GPU side. Arrays from mira.empty() in GPU-shared memory must be gone.");
    mod.def(
        "gpu_available",
        [] {
            py::gil_scoped_release nogil;
            std::lock_guard<std::mutex> lock(g_life);
            if (mira_device_name() != nullptr) return true;
            return mira_init() == MIRA_STATUS_OK && mira_device_name() != nullptr;
        },
        "True when GPU requests run on an OpenCL device; brings the device up if it is not up.");
    mod.def("device_name", &device_name, "Name of the OpenCL device in use, or None.");
    mod.def("empty", &empty, arg("shape"), arg("dtype") = py::module_::import("numpy").attr("uint8"),
            "An uninitialised C-contiguous array in GPU-shareable memory, freed with the array.");
    mod.def("_library_path", &library_path, "Path of the libmira shared library in use.");

    mod.def("transpose", &transpose, arg("img"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "Transpose: out[x, y] = img[y, x]. img (H, W) -> (W, H), or pairs, RGB or RGBA\n(H, W, C) -> (W, H, C) with C = 2, 3 or 4, each pixel moved whole; rows may be strided\n(a channel-last slice of a larger array). Default path CPU.");
    mod.def("rotate", &rotate, arg("img"), arg("degrees"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "Clockwise rotation by degrees (90, 180 or 270) of a plane (H, W), pairs (H, W, 2), RGB\n(H, W, 3) or RGBA (H, W, 4), each pixel moved whole: (H, W[, C]) -> (W, H[, C]) for 90 and\n270, the same shape for 180. Default path CPU.");
    mod.def("nv21_to_rgba", &nv21_to_rgba, arg("frame"), arg("vu") = none, py::kw_only(),
            arg("out") = none, arg("device") = none,
            "NV21 frame (H * 3 // 2, W) -> RGBA (H, W, 4), H and W even; with vu (H // 2, W // 2, 2)\n(V first), frame is the luma plane (H, W) alone, each with its own row stride. The CPU method\nuses 6-bit fixed point, the GPU method float: results differ by a few units. Default path CPU.");
    mod.def("yuv420_to_rgb", &yuv420_to_rgb, arg("frame"), arg("size") = none,
            py::kw_only(), arg("layout") = "nv21", arg("matrix") = "bt601",
            arg("range") = "limited", arg("format") = "RGB", arg("degrees") = 0,
            arg("mirror") = false, arg("dsize") = none, arg("interpolation") = "bilinear",
            arg("out") = none, arg("device") = none,
            "A 4:2:0 camera frame -> RGB (H, W, 3) or RGBA (H, W, 4). frame: the whole buffer as\nAndroid delivers it (1-D, or (H * 3 // 2, W) when H is even; size=(width, height) otherwise),\nlayout 'nv21', 'nv12', 'i420' or 'yv12'; matrix 'bt601', 'bt709' or 'bt2020'; range 'limited'\nor 'full'; format 'RGB', 'BGR', 'RGBA' or 'BGRA'. Integer formula within 1 of the exact ITU\nvalues; each chroma sample covers its 2 x 2 block. With degrees (0, 90, 180, 270 clockwise),\nmirror=True (flip the frame horizontally first: the front camera) or dsize=(width, height), one\nfused pass turns, scales and converts: interpolation 'nearest' or 'bilinear' (Y, U, V\ninterpolated, then converted; nearest at the turned size equals converting then rotating).\nDefault path CPU.");
    mod.def("rgb_to_yuv420", &rgb_to_yuv420, arg("img"), py::kw_only(), arg("layout") = "nv21",
            arg("matrix") = "bt601", arg("range") = "limited", arg("format") = none,
            arg("out") = none, arg("device") = none,
            "RGB (H, W, 3) or RGBA (H, W, 4) -> the flat 4:2:0 buffer (1-D uint8, W * H +\n2 * ceil(W/2) * ceil(H/2) bytes) of layout 'nv21', 'nv12', 'i420' or 'yv12'. format defaults\nto 'RGB' or 'RGBA' by the channels ('BGR', 'BGRA' for OpenCV images). Chroma is the mean of\neach 2 x 2 block. Default path CPU.");
    mod.def("yuv444_to_yuv420sp", &yuv444_to_yuv420sp, arg("y"), arg("cb"), arg("cr"),
            py::kw_only(), arg("out") = none, arg("device") = none,
            "Planes y, cb, cr (H, W) -> (y, cbcr (H // 2, W // 2, 2)); each chroma pair takes the\ntop-left sample of its 2 x 2 block. H and W even. out=: a tuple (y, cbcr). Default path CPU.");
    mod.def("yuv420sp_to_yuv444", &yuv420sp_to_yuv444, arg("y"), arg("cbcr"), py::kw_only(),
            arg("out") = none, arg("device") = none,
            "(y (H, W), cbcr (H // 2, W // 2, 2)) -> (y, cb, cr), each (H, W); chroma replicated over\nits 2 x 2 block. out=: a tuple of three planes. Default path CPU.");
    mod.def("swap_pairs", &swap_pairs, arg("pairs"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "Swaps the two bytes of every pair (H, W, 2) (CbCr <-> CrCb). Default path CPU.");
    mod.def("interleave", &interleave, arg("a"), arg("b"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "Planes a, b (H, W) -> pairs (H, W, 2) = (a, b). Default path CPU.");
    mod.def("gradient", &gradient, arg("img"), arg("sobel") = false, py::kw_only(),
            arg("out") = none, arg("device") = none,
            "(dx, dy), int16 planes (H, W): central differences img[y, x+1] - img[y, x-1] (and down the\ncolumns), or with sobel=True the unscaled 3 x 3 Sobel derivatives, on the interior; the\none-pixel frame is 0. out=: a tuple (dx, dy). Default path GPU.");
    mod.def("gaussian3x3", &gaussian3x3, arg("img"), arg("border"), py::kw_only(),
            arg("out") = none, arg("device") = none,
            "3 x 3 binomial smoothing (1 2 1 / 2 4 2 / 1 2 1) / 16, truncated, of a plane (H, W) or of\neach channel of (H, W, C), C = 2, 3 or 4 (RGB, RGBA); out has img's shape. border 'zero': the\none-pixel frame is 0; 'renormalised': it uses the kernel's part inside the image. Default path CPU.");
    mod.def("intensity_stats", &intensity_stats, arg("img"), arg("rect") = none, py::kw_only(),
            arg("device") = none,
            "(mean, variance) of the samples in rect = (x, y, width, height) (default: the whole\nimage); variance is the unbiased sample variance (0 for one pixel), both float32. CPU only.");
    mod.def("flood_fill", &flood_fill, arg("img"), arg("seed"), arg("connectivity") = 4,
            arg("fill") = 255, py::kw_only(), arg("out") = none, arg("device") = none,
            "(mask, count, bbox): mask (H, W) gets fill (1..255) on the region of pixels equal to\nimg at seed = (x, y) and 4- or 8-connected to it, 0 elsewhere; bbox = (x, y, width, height).\nSides at most 65535. CPU only.");
    mod.def("scale_down", &scale_down, arg("img"), arg("size"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "Integer block mean of a plane (H, W), RGB (H, W, 3) or RGBA (H, W, 4), each channel on its\nown: size = (width, height) (OpenCV's order) must divide the image's width and height by whole factors m, n of 1 to 255; each pixel is the floor of its m x n\nblock's mean. Default path CPU.");
    mod.def("scale_down_box", &scale_down_box, arg("img"), arg("size"), py::kw_only(),
            arg("out") = none, arg("device") = none,
            "Box down-scale of a plane (H, W), pairs (H, W, 2), RGB (H, W, 3) or RGBA (H, W, 4), each\nchannel on its own, to size = (width, height) (OpenCV's order), at\nmost the image's, any ratio per axis. The CPU method averages each pixel's area of the\nsource; the GPU method floor(W / w) x floor(H / h) samples from the truncated position.\nDefault path GPU.");
    mod.def("resize", &resize, arg("img"), arg("size"), arg("interpolation") = "bilinear",
            arg("border") = "replicate", arg("value") = 0, py::kw_only(), arg("out") = none,
            arg("device") = none,
            "General resize of a plane (H, W), pairs (H, W, 2), RGB (H, W, 3) or RGBA (H, W, 4), each\nchannel on its own, to size = (width, height) (OpenCV's order), each axis by its\nown ratio. interpolation 'none', 'bilinear' (widened by the reduction when shrinking) or\n'box'; border 'none', 'constant' (outside samples read value) or 'replicate'. CPU only.");
    mod.def("upscale_lanczos", &upscale_lanczos, arg("img"), arg("size"), py::kw_only(),
            arg("out") = none, arg("device") = none,
            "Lanczos-3 up-scale of a plane (H, W), pairs (H, W, 2), RGB (H, W, 3) or RGBA (H, W, 4),\neach channel on its own, to size = (width, height) (OpenCV's order),\nat least the image's, each axis by its own ratio. CPU only.");
    mod.def("upsample_chroma", &upsample_chroma, arg("pairs"), py::kw_only(), arg("out") = none,
            arg("device") = none,
            "2x bilinear up-sample of pairs (H, W, 2) -> (2H, 2W, 2), edges replicated.\nDefault path GPU.");
    mod.def("warp_affine", &warp_affine, arg("img"), arg("matrix"), arg("size"),
            arg("interpolation") = "bilinear", arg("spans") = false, py::kw_only(),
            arg("out") = none, arg("device") = none,
            "Affine warp of a plane (H, W), RGB (H, W, 3) or RGBA (H, W, 4) (each channel on its own)\nto size = (width, height) (OpenCV's order): out[y, x] =\nimg(m00 x + m01 y + m02, m10 x + m11 y + m12) with matrix (2 x 3, destination to source,\nas OpenCV's WARP_INVERSE_MAP), 0 where that lies outside. interpolation 'nearest',\n'bilinear' or 'bicubic'. With spans=True returns (out, spans): spans (height, 2) uint32, per\nrow the half-open run [start, end) of the columns computed from samples inside the source,\nfor the chosen interpolation ((width, width) for a row without any); every pixel outside\nit is 0. Default path GPU.");
}
