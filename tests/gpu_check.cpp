// mira_gpu_check: the measured part of scripts/gpu-check.sh, one table for a
// machine or phone with an OpenCL device. For every operation of
// gpu_vs_cpu.h that has a kernel, and the checked interface's camera-frame
// conversions and colour-image operations:
//  - at each size (default 1920x1080 and 3840x2160): kernel launches per
//    call (the runtime's launch counter), bytes differing from the same
//    request run by the kernel's CPU twin (no usable device) and from the
//    CPU method (or the kernel's formula where the two methods differ), all
//    expected 0; median kernel time (profiling events), call time (inside
//    the library's request only) and overhead (call - kernel);
//  - program build: the first call after a bring-up with an empty program
//    cache directory (cold: compiled from source) and again after a new
//    bring-up over the entries it left (warm: loaded from the cache), each
//    less the steady call time of that request;
//  - throughput: mixed GPU requests from 1 and from N threads, calls per
//    second (wall clock, each request's image set-up included).
// Exit status 0 when every row is as expected, 1 when one is not, 2 when no
// OpenCL device comes up.
//
//   mira_gpu_check [--sizes 1920x1080,3840x2160] [--reps 5] [--threads 4]
//                  [--seconds 2] [--mixed-size 640x480] [--cache-root DIR]
//                  [--only NAME]   (operations whose name contains NAME)
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gpu_vs_cpu.h"
#include "mira/mira_image.h"

namespace {

using gpu_vs_cpu::Compare;
using gpu_vs_cpu::Geometry;
using gpu_vs_cpu::Op;
using gpu_vs_cpu::Outcome;
using mira_test::GuardedImage;
using Planes = std::vector<std::vector<uint8_t>>;

struct Timed {
    Outcome out;
    uint64_t callNs = 0, kernelNs = 0, launches = 0;
};

// One request of `op`, with the kernel counter and the call time taken.
// `twin`: as if no device were usable (the kernel's CPU twin runs).
Timed timed(const Op& op, const Geometry& g, uint32_t mode, bool twin = false) {
    zor_test_force_unusable(twin);
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    gpu_vs_cpu::detail::request_ns = 0;
    Timed t;
    t.out = op.run(g, mode);
    t.callNs = gpu_vs_cpu::detail::request_ns;
    t.kernelNs = zor_test_take_kernel_ns(&t.launches);
    zor_test_time_kernels(false);
    zor_test_force_unusable(false);
    return t;
}

// Bytes of `got` differing from `want` by more than `slack`; a missing or
// extra plane or byte counts as differing.
size_t differing(const Planes& got, const Planes& want, int slack) {
    size_t bad = 0;
    for (size_t p = 0; p < std::max(got.size(), want.size()); ++p) {
        const size_t a = p < got.size() ? got[p].size() : 0, b = p < want.size() ? want[p].size() : 0;
        bad += std::max(a, b) - std::min(a, b);
        for (size_t i = 0; i < std::min(a, b); ++i)
            bad += std::abs(int(got[p][i]) - int(want[p][i])) > slack;
    }
    return bad;
}

// The request of `op` for a destination of w x h (the source as the
// determinism tests choose it).
Geometry geometry(const Op& op, uint32_t w, uint32_t h, uint32_t seed) {
    Geometry g;
    g.dw = w;
    g.dh = h;
    g.srcPad = 64;
    g.dstPad = 3;
    g.seed = seed;
    op.sourceFor(g, 1);
    if (!op.accepts(g)) op.sourceFor(g, 0);
    return g;
}

// ------------------------------------------------------------ checked-API operations
// The camera-frame conversions and colour images of mira_image.h, which the
// shared operation list (built on the plain C functions) does not hold: the
// same table rows, the request timed around the API call.

mira_path path_of(uint32_t mode) { return mode == MIRA_MODE_CPU ? MIRA_PATH_CPU : MIRA_PATH_GPU; }

// The images of one request, made as the shared cases make theirs.
struct Images {
    std::vector<std::unique_ptr<GuardedImage>> keep;
    GuardedImage* add(uint32_t rowBytes, uint32_t rows, uint32_t pad, uint32_t seed, bool fill) {
        return gpu_vs_cpu::detail::image(keep, rowBytes, rows, pad, seed, fill);
    }
};

mira_image image_of(GuardedImage* g, uint32_t width, uint32_t channels) {
    return mira_image{g->data(), width, g->rows(), g->stride(), channels};
}

// An NV21 frame of w x h: a luma plane and a VU plane, rows padded.
mira_yuv420 nv21_of(GuardedImage* y, GuardedImage* vu, uint32_t w, uint32_t h) {
    mira_yuv420 f{};
    f.y = y->data();
    f.v = vu->data();
    f.u = vu->data() + 1;
    f.width = w;
    f.height = h;
    f.y_stride = y->stride();
    f.u_stride = f.v_stride = vu->stride();
    f.uv_pixel_stride = 2;
    return f;
}

template <class Call>
Outcome timed_call(Call call, const std::vector<GuardedImage*>& outs) {
    const auto start = std::chrono::steady_clock::now();
    const mira_status st = call();
    gpu_vs_cpu::detail::request_ns += uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   std::chrono::steady_clock::now() - start)
                                                   .count());
    return gpu_vs_cpu::detail::collect(st == MIRA_STATUS_OK ? uint32_t(MIRA_OK) : uint32_t(st), outs);
}

// A colour operation from a source of sw x sh pixels of `ch` channels to a
// destination of dw x dh; `source` sets the source size from the destination.
Op colour_op(const std::string& name, uint32_t ch, std::function<void(Geometry&)> source,
             std::function<mira_status(const mira_image&, const mira_image&, mira_path)> call) {
    Op op;
    op.name = name;
    op.accepts = [](const Geometry&) { return true; };
    op.sourceFor = [source](Geometry& g, int) { source(g); };
    op.run = [ch, call](const Geometry& g, uint32_t mode) {
        Images im;
        GuardedImage* s = im.add(g.sw * ch, g.sh, g.srcPad, g.seed, true);
        GuardedImage* d = im.add(g.dw * ch, g.dh, g.dstPad, 0, false);
        const mira_image si = image_of(s, g.sw, ch), di = image_of(d, g.dw, ch);
        return timed_call([&] { return call(si, di, path_of(mode)); }, {d});
    };
    return op;
}

// An NV21 frame of sw x sh to an RGBA image of dw x dh.
Op frame_to_rgba_op(const std::string& name, std::function<void(Geometry&)> source,
                    std::function<mira_status(const mira_yuv420&, const mira_image&, mira_path)> call) {
    Op op;
    op.name = name;
    op.accepts = [](const Geometry&) { return true; };
    op.sourceFor = [source](Geometry& g, int) { source(g); };
    op.run = [call](const Geometry& g, uint32_t mode) {
        Images im;
        GuardedImage* y = im.add(g.sw, g.sh, g.srcPad, g.seed, true);
        // An even stride: the V and U samples of a row pair interleave.
        GuardedImage* vu = im.add(2 * ((g.sw + 1) / 2), (g.sh + 1) / 2, g.srcPad + (g.srcPad & 1), g.seed + 1, true);
        GuardedImage* d = im.add(4 * g.dw, g.dh, g.dstPad, 0, false);
        const mira_yuv420 f = nv21_of(y, vu, g.sw, g.sh);
        const mira_image di = image_of(d, g.dw, 4);
        return timed_call([&] { return call(f, di, path_of(mode)); }, {d});
    };
    return op;
}

std::vector<Op> checked_api_ops() {
    std::vector<Op> ops;
    const auto same = [](Geometry& g) { g.sw = g.dw, g.sh = g.dh; };
    const auto turned = [](Geometry& g) { g.sw = g.dh, g.sh = g.dw; };
    const auto twice = [](Geometry& g) { g.sw = 2 * g.dw, g.sh = 2 * g.dh; };
    ops.push_back(colour_op("rgba transpose", 4, turned, [](const mira_image& s, const mira_image& d, mira_path p) {
        return mira_transpose(&s, &d, p);
    }));
    ops.push_back(colour_op("rgb rotate 90", 3, turned, [](const mira_image& s, const mira_image& d, mira_path p) {
        return mira_rotate(&s, &d, 90, p);
    }));
    ops.push_back(colour_op("rgba rotate 180", 4, same, [](const mira_image& s, const mira_image& d, mira_path p) {
        return mira_rotate(&s, &d, 180, p);
    }));
    ops.push_back(colour_op("rgb gaussian", 3, same, [](const mira_image& s, const mira_image& d, mira_path p) {
        return mira_gaussian3x3(&s, &d, MIRA_GAUSSIAN_BORDER_RENORMALISED, p);
    }));
    // The block mean, whose CPU and GPU paths share their arithmetic (the box
    // down-scale's CPU path averages areas instead).
    ops.push_back(colour_op("rgba scale down 2x", 4, twice, [](const mira_image& s, const mira_image& d, mira_path p) {
        return mira_scale_down(&s, &d, p);
    }));
    ops.push_back(colour_op("rgb warp bilinear", 3, same, [](const mira_image& s, const mira_image& d, mira_path p) {
        const float m[6] = {0.96f, 0.12f, -20.5f, -0.1f, 0.97f, 31.25f};
        return mira_warp_affine(&s, m, &d, MIRA_WARP_BILINEAR, nullptr, p);
    }));
    const auto same_frame = [](Geometry& g) { g.sw = g.dw, g.sh = g.dh; };
    ops.push_back(frame_to_rgba_op("nv21 to rgba bt709", same_frame, [](const mira_yuv420& f, const mira_image& d, mira_path p) {
        return mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT709, MIRA_RANGE_LIMITED, p);
    }));
    const auto preview = [](Geometry& g) { g.sw = g.dh * 3 / 2, g.sh = g.dw * 3 / 2; };
    ops.push_back(frame_to_rgba_op("nv21 preview 90 bilinear", preview, [](const mira_yuv420& f, const mira_image& d, mira_path p) {
        return mira_yuv420_to_rgb_transform(&f, &d, 90, 0, MIRA_INTERPOLATION_BILINEAR, MIRA_RGB_FORMAT_RGBA,
                                            MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, p);
    }));
    Op from_rgb;
    from_rgb.name = "rgb to nv21 full range";
    from_rgb.accepts = [](const Geometry&) { return true; };
    from_rgb.sourceFor = [](Geometry& g, int) { g.sw = g.dw, g.sh = g.dh; };
    from_rgb.run = [](const Geometry& g, uint32_t mode) {
        Images im;
        GuardedImage* s = im.add(3 * g.sw, g.sh, g.srcPad, g.seed, true);
        GuardedImage* y = im.add(g.dw, g.dh, g.dstPad, 0, false);
        // An even stride: the V and U samples of a row pair interleave.
        GuardedImage* vu = im.add(2 * ((g.dw + 1) / 2), (g.dh + 1) / 2, g.dstPad + (g.dstPad & 1), 0, false);
        const mira_image si = image_of(s, g.sw, 3);
        const mira_yuv420 f = nv21_of(y, vu, g.dw, g.dh);
        return timed_call([&] {
            return mira_rgb_to_yuv420(&si, MIRA_RGB_FORMAT_RGB, &f, MIRA_MATRIX_BT601,
                                      MIRA_RANGE_FULL, path_of(mode));
        }, {y, vu});
    };
    ops.push_back(from_rgb);
    return ops;
}

bool has_kernel(const Op& op, const Geometry& g) { return !op.launches || op.launches(g); }

double ms(uint64_t ns) { return double(ns) / 1e6; }

uint64_t median(std::vector<uint64_t> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool parse_size(const std::string& s, uint32_t& w, uint32_t& h) {
    return std::sscanf(s.c_str(), "%ux%u", &w, &h) == 2 && w > 0 && h > 0;
}

std::string pad(std::string s, size_t n) { return s.size() >= n ? s : s + std::string(n - s.size(), ' '); }

// Per operation and size: correctness against the twin and the CPU, and times.
bool size_table(const std::vector<Op>& ops, uint32_t w, uint32_t h, int reps) {
    bool ok = true;
    for (const Op& op : ops) {
        const Geometry g = geometry(op, w, h, 0xC0FFEE + w);
        if (!op.accepts(g) || !has_kernel(op, g)) continue;
        timed(op, g, MIRA_MODE_OPENCL);  // builds the kernel, fills the pools
        std::vector<uint64_t> call, kernel;
        Timed first;
        uint64_t launches = 0;
        for (int r = 0; r < reps; ++r) {
            Timed t = timed(op, g, MIRA_MODE_OPENCL);
            call.push_back(t.callNs);
            kernel.push_back(t.kernelNs);
            launches += t.launches;
            if (r == 0) first = std::move(t);
        }
        const Timed twin = timed(op, g, MIRA_MODE_OPENCL, true);
        const bool reference = op.compare == Compare::Reference || op.compare == Compare::ReferenceWithinOne;
        const bool loose = op.compare == Compare::WithinOne || op.compare == Compare::ReferenceWithinOne;
        Planes want;
        uint32_t wantStatus = MIRA_OK;
        if (reference) {
            want = op.reference(g);
        } else {
            const Timed cpu = timed(op, g, MIRA_MODE_CPU);
            want = cpu.out.planes;
            wantStatus = cpu.out.status;
        }
        const size_t vsTwin = differing(first.out.planes, twin.out.planes, 0);
        const size_t vsCpu = differing(first.out.planes, want, loose ? 1 : 0);
        const bool intact = first.out.paddingIntact && twin.out.paddingIntact;
        const bool statusOk = first.out.status == MIRA_OK && twin.out.status == MIRA_OK &&
                              wantStatus == MIRA_OK;
        const bool rowOk = vsTwin == 0 && vsCpu == 0 && intact && statusOk && launches > 0 &&
                           twin.launches == 0;
        ok = ok && rowOk;
        const uint64_t c = median(call), k = median(kernel);
        std::string note;
        if (!statusOk) note += " status " + std::to_string(first.out.status) + "/" + std::to_string(twin.out.status);
        if (!intact) note += " wrote outside the rows";
        if (twin.launches) note += " twin launched a kernel";
        if (reference) note += " (vs the kernel's formula)";
        else if (loose) note += " (within 1)";
        std::printf("%s %-10s %8.2f %9zu %9zu %10.3f %10.3f %10.3f  %s%s\n", pad(op.name, 28).c_str(),
                    (std::to_string(w) + "x" + std::to_string(h)).c_str(), double(launches) / reps,
                    vsTwin, vsCpu, ms(k), ms(c), ms(c) - ms(k), rowOk ? "ok" : "FAIL", note.c_str());
        std::fflush(stdout);
    }
    return ok;
}

size_t files_in(const std::string& dir) {
    size_t n = 0;
    std::error_code e;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, e);
         !e && it != std::filesystem::recursive_directory_iterator(); it.increment(e))
        n += it->is_regular_file();
    return n;
}

// Cold and warm program build per operation's kernel, each in a directory of
// its own under `root` (so a kernel another operation shares is cold too).
bool build_table(const std::vector<Op>& ops, const std::string& root) {
    bool ok = true;
    int index = 0;
    for (const Op& op : ops) {
        const Geometry g = geometry(op, 64, 48, 99);
        if (!op.accepts(g) || !has_kernel(op, g)) continue;
        const std::string dir = root + "/" + std::to_string(index++);
        mkdir(dir.c_str(), 0700);
        uint64_t first[2] = {0, 0}, steady[2] = {0, 0}, launches[2] = {0, 0};
        size_t entries = 0;
        for (int pass = 0; pass < 2; ++pass) {  // 0 cold, 1 warm
            ncvDeinit();  // clears the registry of built kernels
            mira_set_program_cache_dir(dir.c_str());
            if (ncvInit() != 0) return false;
            Timed t = timed(op, g, MIRA_MODE_OPENCL);
            first[pass] = t.callNs;
            launches[pass] = t.launches;
            std::vector<uint64_t> again;
            for (int r = 0; r < 5; ++r) again.push_back(timed(op, g, MIRA_MODE_OPENCL).callNs);
            steady[pass] = median(again);
            if (pass == 0) entries = files_in(dir);
        }
        const bool rowOk = launches[0] > 0 && launches[1] > 0 && entries > 0;
        ok = ok && rowOk;
        const double cold = ms(first[0]) - ms(steady[0]), warm = ms(first[1]) - ms(steady[1]);
        std::printf("%s %10.2f %10.2f %8.1f %8zu  %s\n", pad(op.name, 28).c_str(), cold, warm,
                    warm > 0.01 ? cold / warm : 0.0, entries,
                    rowOk ? "ok" : entries ? "FAIL (no launch)" : "FAIL (nothing cached)");
        std::fflush(stdout);
    }
    mira_set_program_cache_dir(nullptr);
    return ok;
}

// Calls per second of `threads` threads each cycling through every
// operation's GPU request (starting at different ones) for `seconds`.
struct Throughput {
    double callsPerSecond;
    uint64_t calls, launches;
};
Throughput throughput(const std::vector<Op>& ops, const std::vector<Geometry>& geos, int threads,
                      double seconds) {
    std::atomic<uint64_t> calls{0};
    std::atomic<bool> stop{false};
    zor_test_time_kernels(true);
    zor_test_take_kernel_ns(nullptr);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            for (size_t i = size_t(t) * 3; !stop.load(); ++i) {
                const size_t k = i % ops.size();
                ops[k].run(geos[k], MIRA_MODE_OPENCL);
                calls.fetch_add(1);
            }
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    for (std::thread& th : pool) th.join();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    uint64_t launches = 0;
    zor_test_take_kernel_ns(&launches);
    zor_test_time_kernels(false);
    return {double(calls.load()) / wall, calls.load(), launches};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<uint32_t, uint32_t>> sizes = {{1920, 1080}, {3840, 2160}};
    int reps = 5, threads = 4;
    double seconds = 2;
    uint32_t mw = 640, mh = 480;
    const char* tmp = std::getenv("TMPDIR");
    std::string cacheRoot = tmp && *tmp ? tmp : "/tmp";
    std::string only;
    for (int i = 1; i < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        bool good = v != nullptr;
        if (a == "--sizes" && v) {
            sizes.clear();
            std::string list = v;
            for (size_t at = 0; good && at <= list.size();) {
                size_t end = list.find(',', at);
                if (end == std::string::npos) end = list.size();
                uint32_t w = 0, h = 0;
                good = parse_size(list.substr(at, end - at), w, h);
                sizes.emplace_back(w, h);
                at = end + 1;
            }
        } else if (a == "--reps" && v) {
            good = (reps = std::atoi(v)) > 0;
        } else if (a == "--threads" && v) {
            good = (threads = std::atoi(v)) > 0;
        } else if (a == "--seconds" && v) {
            good = (seconds = std::atof(v)) > 0;
        } else if (a == "--mixed-size" && v) {
            good = parse_size(v, mw, mh);
        } else if (a == "--cache-root" && v) {
            cacheRoot = v;
        } else if (a == "--only" && v) {
            only = v;
        } else {
            good = false;
        }
        if (!good) {
            std::fprintf(stderr,
                         "usage: %s [--sizes WxH,...] [--reps N] [--threads N] [--seconds S] "
                         "[--mixed-size WxH] [--cache-root DIR] [--only NAME]\n",
                         argv[0]);
            return 2;
        }
    }
    if (ncvInit() != 0) {
        std::printf("no OpenCL device came up (set MIRA_OPENCL_DEVICE=any to accept a non-GPU device)\n");
        return 2;
    }
    std::vector<Op> ops = gpu_vs_cpu::all_ops();
    for (Op& op : checked_api_ops()) ops.push_back(std::move(op));
    ops.erase(std::remove_if(ops.begin(), ops.end(),
                             [&](const Op& op) { return op.name.find(only) == std::string::npos; }),
              ops.end());
    bool ok = true;

    std::printf("-- per operation: launches per call, bytes differing from the kernel's CPU twin and\n"
                "   from the CPU method, median times over %d calls (ms; call = inside the library)\n",
                reps);
    std::printf("%s %-10s %8s %9s %9s %10s %10s %10s\n", pad("operation", 28).c_str(), "size",
                "launches", "!=twin", "!=CPU", "kernel", "call", "overhead");
    for (const auto& s : sizes) ok = size_table(ops, s.first, s.second, reps) && ok;

    std::string root = cacheRoot + "/mira-gpu-check-XXXXXX";
    if (!mkdtemp(root.data())) {
        std::printf("cannot create a program cache directory under %s\n", cacheRoot.c_str());
        return 2;
    }
    std::printf("\n-- program build per kernel (ms: first call after a bring-up less a steady call;\n"
                "   cold: empty cache directory, warm: the entries the cold call left; 64x48)\n");
    std::printf("%s %10s %10s %8s %8s\n", pad("operation", 28).c_str(), "cold", "warm", "cold/warm",
                "entries");
    ok = build_table(ops, root) && ok;
    std::error_code e;
    std::filesystem::remove_all(root, e);

    std::vector<Op> mixed;
    std::vector<Geometry> geos;
    for (const Op& op : ops) {
        const Geometry g = geometry(op, mw, mh, 5);
        if (!op.accepts(g) || !has_kernel(op, g)) continue;
        mixed.push_back(op);
        geos.push_back(g);
        op.run(g, MIRA_MODE_OPENCL);  // every kernel built before the clock starts
    }
    std::printf("\n-- throughput: %zu operations' GPU requests in turn at %ux%u, %.1f s each\n",
                mixed.size(), mw, mh, seconds);
    const Throughput one = throughput(mixed, geos, 1, seconds);
    const Throughput many = throughput(mixed, geos, threads, seconds);
    for (const auto& row : {std::make_pair(1, one), std::make_pair(threads, many)})
        std::printf("%2d thread%s %10.1f calls/s  (%llu calls, %llu launches)\n", row.first,
                    row.first == 1 ? " " : "s", row.second.callsPerSecond,
                    static_cast<unsigned long long>(row.second.calls),
                    static_cast<unsigned long long>(row.second.launches));
    std::printf("%d threads / 1 thread: %.2fx\n", threads,
                one.callsPerSecond > 0 ? many.callsPerSecond / one.callsPerSecond : 0.0);
    const bool ran = one.launches >= one.calls && many.launches >= many.calls && one.calls && many.calls;
    if (!ran) std::printf("FAIL: fewer kernel launches than GPU requests (a request fell back)\n");
    ok = ok && ran;
    ncvDeinit();
    std::printf("\n%s\n", ok ? "all rows as expected" : "SOME ROWS FAILED");
    return ok ? 0 : 1;
}
