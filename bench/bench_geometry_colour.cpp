// Rotations, NV21 -> RGBA, YCbCr 4:4:4 <-> 4:2:0, CbCr swap and interleave
// against OpenCV and libyuv (single-threaded) and a memcpy of the same bytes.
#include <libyuv.h>
#include <libyuv/cpu_id.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>

#include "bench_common.h"
#include "mira/mira.h"
#include "mira/mira_image.h"
#include "mira/mira_features.h"

namespace mira_bench {
namespace {

const std::vector<Size>& sizes() {
    static const std::vector<Size> s = {{1920, 1080}};
    return s;
}

bool gpu_ready(benchmark::State& st) {
    if (ncvInit() == 0) return true;
    st.SkipWithError("no OpenCL device");
    return false;
}

void add_memcpy(const std::string& op, size_t bytesPerPixel) {
    add(op, "memcpy", sizes(), [bytesPerPixel](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * bytesPerPixel);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });
}

void register_rotations() {
    const int cvCodes[3] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};
    const libyuv::RotationMode yuvModes[3] = {libyuv::kRotate90, libyuv::kRotate180,
                                              libyuv::kRotate270};
    for (int code = 1; code <= 3; ++code) {
        const std::string op = "rotate" + std::to_string(90 * code);
        const bool swap = code != 2;
        add(op, "mira", sizes(), [code, swap](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h);
            std::vector<uint8_t> dst(src.size());
            const uint32_t ds = swap ? s.h : s.w;
            for (auto _ : st) ncvRotateImageu8(src.data(), s.w, s.h, s.w, dst.data(), ds, code);
        });
        add(op, "mira_gpu", sizes(), [code, swap](benchmark::State& st, Size s) {
            if (!gpu_ready(st)) return;
            auto src = random_bytes(size_t(s.w) * s.h);
            std::vector<uint8_t> dst(src.size());
            const uint32_t dw = swap ? s.h : s.w, dh = swap ? s.w : s.h;
            MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src.data()}, db{dw, dw, dh, dh, dst.data()};
            MIRA_Feature_Param p{MIRA_API_ROTATE_U8, MIRA_MODE_OPENCL, 1, nullptr, code};
            MIRA_Manager m;
            m.run(&sb, 1, &db, 1, &p);  // builds the kernel outside the timed loop
            for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
        });
        add(op, "opencv", sizes(), [code, cvCodes](benchmark::State& st, Size s) {
            cv::setNumThreads(1);
            auto src = random_bytes(size_t(s.w) * s.h);
            cv::Mat in(s.h, s.w, CV_8UC1, src.data()), out;
            cv::rotate(in, out, cvCodes[code - 1]);
            for (auto _ : st) cv::rotate(in, out, cvCodes[code - 1]);
        });
        add(op, "libyuv", sizes(), [code, swap, yuvModes](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h);
            std::vector<uint8_t> dst(src.size());
            const int ds = swap ? s.h : s.w;
            for (auto _ : st)
                libyuv::RotatePlane(src.data(), s.w, dst.data(), ds, s.w, s.h, yuvModes[code - 1]);
        });
        add_memcpy(op, 1);
    }

    // Interleaved (2-byte pixels), 90 degrees, s.w x s.h pixels.
    const std::string op = "rotate_cbcr90";
    add(op, "mira", sizes(), [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st)
            ncvRotateImageInterleavedu8(src.data(), s.w, s.h, 2 * s.w, dst.data(), 2 * s.h, 1);
    });
    add(op, "mira_gpu", sizes(), [](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        MIRA_Feature_Buf sb{s.w, 2 * s.w, s.h, s.h, src.data()}, db{s.h, 2 * s.h, s.w, s.w, dst.data()};
        MIRA_Feature_Param p{MIRA_API_ROTATE_INTERLEAVE_U8, MIRA_MODE_OPENCL, 1, nullptr, 1};
        MIRA_Manager m;
        m.run(&sb, 1, &db, 1, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add(op, "opencv", sizes(), [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        cv::Mat in(s.h, s.w, CV_8UC2, src.data()), out;
        cv::rotate(in, out, cv::ROTATE_90_CLOCKWISE);
        for (auto _ : st) cv::rotate(in, out, cv::ROTATE_90_CLOCKWISE);
    });
    add(op, "libyuv", sizes(), [](benchmark::State& st, Size s) {  // 16-bit plane rotation
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st)
            libyuv::RotatePlane_16(reinterpret_cast<const uint16_t*>(src.data()), s.w,
                                   reinterpret_cast<uint16_t*>(dst.data()), s.h, s.w, s.h,
                                   libyuv::kRotate90);
    });
    add(op, "libyuv_split", sizes(), [](benchmark::State& st, Size s) {  // rotate into two planes
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> a(size_t(s.w) * s.h), b(a.size());
        for (auto _ : st)
            libyuv::SplitRotateUV(src.data(), 2 * s.w, a.data(), s.h, b.data(), s.h, s.w, s.h,
                                  libyuv::kRotate90);
    });
    add_memcpy(op, 2);
}

// Camera frames (mira_yuv420_to_rgb, mira_rgb_to_yuv420) against libyuv's
// matching conversions, BT.601 limited range. Our CPU path splits frames of
// 1080p and more into bands on the shared workers; libyuv runs one thread.
void register_camera() {
    static const std::vector<Size> cam_sizes = {{1920, 1080}, {3840, 2160}};
    auto frame = [](Size s) { return random_bytes(size_t(s.w) * s.h * 3 / 2, 7); };
    auto describe = [](std::vector<uint8_t>& f, Size s) {
        mira_yuv420 y{};
        mira_yuv420_nv21(&y, f.data(), f.size(), s.w, s.h);
        return y;
    };
    for (const char* path : {"mira", "mira_gpu"}) {
        const bool gpu = std::string(path) == "mira_gpu";
        add("yuv420_rgba", path, cam_sizes, [frame, describe, gpu](benchmark::State& st, Size s) {
            if (gpu && !gpu_ready(st)) return;
            auto src = frame(s);
            std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
            const mira_yuv420 f = describe(src, s);
            const mira_image d{dst.data(), s.w, s.h, 4 * s.w, 4};
            const mira_path p = gpu ? MIRA_PATH_GPU : MIRA_PATH_CPU;
            mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, p);
            for (auto _ : st)
                mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, p);
        });
        add("rgba_yuv420", path, cam_sizes, [describe, gpu](benchmark::State& st, Size s) {
            if (gpu && !gpu_ready(st)) return;
            auto src = random_bytes(size_t(s.w) * s.h * 4, 3);
            std::vector<uint8_t> dst(size_t(s.w) * s.h * 3 / 2);
            const mira_yuv420 f = describe(dst, s);
            const mira_image in{src.data(), s.w, s.h, 4 * s.w, 4};
            const mira_path p = gpu ? MIRA_PATH_GPU : MIRA_PATH_CPU;
            mira_rgb_to_yuv420(&in, MIRA_RGB_FORMAT_RGBA, &f, MIRA_MATRIX_BT601, MIRA_RANGE_LIMITED, p);
            for (auto _ : st)
                mira_rgb_to_yuv420(&in, MIRA_RGB_FORMAT_RGBA, &f, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, p);
        });
    }
    for (const char* peer : {"libyuv", "libyuv_128bit"}) {
        const bool narrow = std::string(peer) == "libyuv_128bit";
        auto mask = [narrow](bool on) {
            if (!narrow) return;
            libyuv::MaskCpuFlags(on ? ~(libyuv::kCpuHasAVX | libyuv::kCpuHasAVX2 |
                                        libyuv::kCpuHasAVX512BW | libyuv::kCpuHasAVX512VL)
                                    : -1);
        };
        add("yuv420_rgba", peer, cam_sizes, [frame, mask](benchmark::State& st, Size s) {
            auto src = frame(s);
            std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
            const uint8_t* vu = src.data() + size_t(s.w) * s.h;
            mask(true);
            for (auto _ : st)
                libyuv::NV21ToABGR(src.data(), s.w, vu, s.w, dst.data(), 4 * s.w, s.w, s.h);
            mask(false);
        });
        add("rgba_yuv420", peer, cam_sizes, [mask](benchmark::State& st, Size s) {
            auto src = random_bytes(size_t(s.w) * s.h * 4, 3);
            std::vector<uint8_t> dst(size_t(s.w) * s.h * 3 / 2);
            uint8_t* u = dst.data() + size_t(s.w) * s.h;
            uint8_t* v = u + size_t(s.w / 2) * (s.h / 2);
            mask(true);
            for (auto _ : st)
                libyuv::ABGRToI420(src.data(), 4 * s.w, dst.data(), s.w, u, s.w / 2, v, s.w / 2,
                                   s.w, s.h);
            mask(false);
        });
    }
}

// The camera preview: a 1080p NV21 frame turned to portrait, scaled to
// 720x1280 and converted to RGBA in one call (bilinear), against libyuv's
// chain of the three steps (turn with the chroma split, bilinear scale of the
// three planes, conversion) on one thread.
void register_camera_preview() {
    const std::string op = "yuv420_preview";
    static const std::vector<Size> sizes = {{1920, 1080}};
    static constexpr uint32_t dw = 720, dh = 1280;
    auto frame = [](Size s) { return random_bytes(size_t(s.w) * s.h * 3 / 2, 11); };
    for (const char* path : {"mira", "mira_gpu"}) {
        const bool gpu = std::string(path) == "mira_gpu";
        add(op, path, sizes, [frame, gpu](benchmark::State& st, Size s) {
            if (gpu && !gpu_ready(st)) return;
            auto src = frame(s);
            std::vector<uint8_t> dst(size_t(dw) * dh * 4);
            mira_yuv420 f{};
            mira_yuv420_nv21(&f, src.data(), src.size(), s.w, s.h);
            const mira_image d{dst.data(), dw, dh, 4 * dw, 4};
            const mira_path p = gpu ? MIRA_PATH_GPU : MIRA_PATH_CPU;
            for (auto _ : st)
                mira_yuv420_to_rgb_transform(&f, &d, 90, 0, MIRA_INTERPOLATION_BILINEAR,
                                             MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                             MIRA_RANGE_LIMITED, p);
        });
    }
    for (const char* peer : {"libyuv", "libyuv_128bit"}) {
        const bool narrow = std::string(peer) == "libyuv_128bit";
        add(op, peer, sizes, [frame, narrow](benchmark::State& st, Size s) {
            auto src = frame(s);
            const uint32_t tw = s.h, th = s.w, tcw = (tw + 1) / 2, tch = (th + 1) / 2;
            const uint32_t cw = (dw + 1) / 2, ch = (dh + 1) / 2;
            std::vector<uint8_t> turned(size_t(tw) * th + 2 * size_t(tcw) * tch);
            std::vector<uint8_t> scaled(size_t(dw) * dh + 2 * size_t(cw) * ch);
            std::vector<uint8_t> dst(size_t(dw) * dh * 4);
            uint8_t *ty = turned.data(), *tu = ty + size_t(tw) * th, *tv = tu + size_t(tcw) * tch;
            uint8_t *sy = scaled.data(), *su = sy + size_t(dw) * dh, *sv = su + size_t(cw) * ch;
            const uint8_t* vu = src.data() + size_t(s.w) * s.h;
            if (narrow)
                libyuv::MaskCpuFlags(~(libyuv::kCpuHasAVX | libyuv::kCpuHasAVX2 |
                                       libyuv::kCpuHasAVX512BW | libyuv::kCpuHasAVX512VL));
            for (auto _ : st) {
                // NV21's pairs are V first: the split's first plane is V.
                libyuv::NV12ToI420Rotate(src.data(), s.w, vu, s.w, ty, tw, tv, tcw, tu, tcw, s.w,
                                         s.h, libyuv::kRotate90);
                libyuv::I420Scale(ty, tw, tu, tcw, tv, tcw, tw, th, sy, dw, su, cw, sv, cw, dw, dh,
                                  libyuv::kFilterBilinear);
                libyuv::I420ToABGR(sy, dw, su, cw, sv, cw, dst.data(), 4 * dw, dw, dh);
            }
            if (narrow) libyuv::MaskCpuFlags(-1);
        });
    }
}

void register_nv21() {
    const std::string op = "nv21_rgba";
    // 1080p and 4K preview frames (at 4K the 33 MB destination leaves the cache).
    static const std::vector<Size> nv21_sizes = {{1920, 1080}, {3840, 2160}};
    auto frame = [](Size s) { return random_bytes(size_t(s.w) * s.h * 3 / 2, 7); };
    add(op, "mira", nv21_sizes, [frame](benchmark::State& st, Size s) {
        auto src = frame(s);
        std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
        for (auto _ : st) ncvColorYUV420toRGB8888u8(src.data(), int(s.w), int(s.h), dst.data());
    });
    add(op, "mira_gpu", nv21_sizes, [frame](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        auto src = frame(s);
        std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
        MIRA_Feature_Buf sb{s.w, s.w, s.h, s.h, src.data()}, db{s.w, s.w, s.h, s.h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_NV21_TO_RGBA8888, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(&sb, 1, &db, 1, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add(op, "libyuv", nv21_sizes, [frame](benchmark::State& st, Size s) {  // ABGR = R,G,B,A bytes
        auto src = frame(s);
        std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
        const uint8_t* vu = src.data() + size_t(s.w) * s.h;
        for (auto _ : st)
            libyuv::NV21ToABGR(src.data(), s.w, vu, s.w, dst.data(), 4 * s.w, s.w, s.h);
    });
    // The same peer held to 128-bit vectors (its SSSE3 rows), the width the
    // x86 build of our kernels has: informational.
    add(op, "libyuv_128bit", nv21_sizes, [frame](benchmark::State& st, Size s) {
        auto src = frame(s);
        std::vector<uint8_t> dst(size_t(s.w) * s.h * 4);
        const uint8_t* vu = src.data() + size_t(s.w) * s.h;
        libyuv::MaskCpuFlags(~(libyuv::kCpuHasAVX | libyuv::kCpuHasAVX2 | libyuv::kCpuHasAVX512BW |
                               libyuv::kCpuHasAVX512VL));
        for (auto _ : st)
            libyuv::NV21ToABGR(src.data(), s.w, vu, s.w, dst.data(), 4 * s.w, s.w, s.h);
        libyuv::MaskCpuFlags(-1);
    });
    add(op, "opencv", nv21_sizes, [frame](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        auto src = frame(s);
        cv::Mat in(s.h * 3 / 2, s.w, CV_8UC1, src.data()), out;
        cv::cvtColor(in, out, cv::COLOR_YUV2RGBA_NV21);
        for (auto _ : st) cv::cvtColor(in, out, cv::COLOR_YUV2RGBA_NV21);
    });
    add_memcpy(op, 4);
}

void register_layouts() {
    // 4:4:4 planar -> 4:2:0 semi-planar. Peer: libyuv I444ToNV12 (it averages
    // each 2 x 2 block, a little more arithmetic than taking one sample).
    const std::string down = "yuv444_to_420";
    add(down, "mira", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), cb = random_bytes(n, 2), cr = random_bytes(n, 3);
        std::vector<uint8_t> oy(n), oc(n / 2);
        for (auto _ : st)
            ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(y.data(), cb.data(), cr.data(), s.w,
                                                           s.h, s.w, s.w, s.w, oy.data(),
                                                           oc.data(), s.w, s.w);
    });
    add(down, "mira_gpu", sizes(), [](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), cb = random_bytes(n, 2), cr = random_bytes(n, 3);
        std::vector<uint8_t> oy(n), oc(n / 2);
        MIRA_Feature_Buf sb[3] = {{s.w, s.w, s.h, s.h, y.data()}, {s.w, s.w, s.h, s.h, cb.data()},
                                  {s.w, s.w, s.h, s.h, cr.data()}};
        MIRA_Feature_Buf db[2] = {{s.w, s.w, s.h, s.h, oy.data()},
                                  {s.w, s.w, s.h / 2, s.h / 2, oc.data()}};
        MIRA_Feature_Param p{MIRA_API_YUV444_TO_YUV420, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(sb, 3, db, 2, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(sb, 3, db, 2, &p);
    });
    add(down, "libyuv", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), cb = random_bytes(n, 2), cr = random_bytes(n, 3);
        std::vector<uint8_t> oy(n), oc(n / 2);
        for (auto _ : st)
            libyuv::I444ToNV12(y.data(), s.w, cb.data(), s.w, cr.data(), s.w, oy.data(), s.w,
                               oc.data(), s.w, s.w, s.h);
    });
    add(down, "memcpy", sizes(), [](benchmark::State& st, Size s) {  // bytes written
        auto src = random_bytes(size_t(s.w) * s.h * 3 / 2);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });

    // 4:2:0 semi-planar -> 4:4:4 planar. Peers composed of the same steps:
    // libyuv SplitUVPlane + ScalePlane (nearest) x 2 + CopyPlane; OpenCV
    // split + resize (nearest) x 2 + copy.
    const std::string up = "yuv420_to_444";
    add(up, "mira", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), c = random_bytes(n / 2, 2);
        std::vector<uint8_t> oy(n), ob(n), orr(n);
        for (auto _ : st)
            ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(y.data(), c.data(), s.w, s.h, s.w, s.w,
                                                           oy.data(), ob.data(), orr.data(), s.w,
                                                           s.w, s.w);
    });
    add(up, "mira_gpu", sizes(), [](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), c = random_bytes(n / 2, 2);
        std::vector<uint8_t> oy(n), ob(n), orr(n);
        MIRA_Feature_Buf sb[2] = {{s.w, s.w, s.h, s.h, y.data()},
                                  {s.w, s.w, s.h / 2, s.h / 2, c.data()}};
        MIRA_Feature_Buf db[3] = {{s.w, s.w, s.h, s.h, oy.data()}, {s.w, s.w, s.h, s.h, ob.data()},
                                  {s.w, s.w, s.h, s.h, orr.data()}};
        MIRA_Feature_Param p{MIRA_API_YUV420_TO_YUV444, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(sb, 2, db, 3, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(sb, 2, db, 3, &p);
    });
    add(up, "libyuv", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), c = random_bytes(n / 2, 2);
        std::vector<uint8_t> oy(n), ob(n), orr(n), u(n / 4), v(n / 4);
        const int hw = int(s.w / 2), hh = int(s.h / 2);
        for (auto _ : st) {
            libyuv::CopyPlane(y.data(), s.w, oy.data(), s.w, s.w, s.h);
            libyuv::SplitUVPlane(c.data(), s.w, u.data(), hw, v.data(), hw, hw, hh);
            libyuv::ScalePlane(u.data(), hw, hw, hh, ob.data(), s.w, s.w, s.h, libyuv::kFilterNone);
            libyuv::ScalePlane(v.data(), hw, hw, hh, orr.data(), s.w, s.w, s.h, libyuv::kFilterNone);
        }
    });
    add(up, "opencv", sizes(), [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        const size_t n = size_t(s.w) * s.h;
        auto y = random_bytes(n, 1), c = random_bytes(n / 2, 2);
        cv::Mat my(s.h, s.w, CV_8UC1, y.data()), mc(s.h / 2, s.w / 2, CV_8UC2, c.data());
        cv::Mat oy(s.h, s.w, CV_8UC1), ob(s.h, s.w, CV_8UC1), orr(s.h, s.w, CV_8UC1);
        cv::Mat parts[2];
        for (auto _ : st) {
            my.copyTo(oy);
            cv::split(mc, parts);
            cv::resize(parts[0], ob, ob.size(), 0, 0, cv::INTER_NEAREST);
            cv::resize(parts[1], orr, orr.size(), 0, 0, cv::INTER_NEAREST);
        }
    });
    add(up, "memcpy", sizes(), [](benchmark::State& st, Size s) {  // bytes written
        auto src = random_bytes(size_t(s.w) * s.h * 3);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) {
            std::memcpy(dst.data(), src.data(), src.size());
            benchmark::DoNotOptimize(dst.data());
        }
    });
}

void register_swap_interleave() {
    // s.w x s.h pairs.
    const std::string sw = "cbcr_swap";
    add(sw, "mira", sizes(), [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) ncvColorCbCrSwapu8(src.data(), s.w, s.h, 2 * s.w, dst.data(), 2 * s.w);
    });
    add(sw, "mira_gpu", sizes(), [](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        MIRA_Feature_Buf sb{s.w, 2 * s.w, s.h, s.h, src.data()}, db{s.w, 2 * s.w, s.h, s.h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_CBCR_SWAP, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(&sb, 1, &db, 1, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(&sb, 1, &db, 1, &p);
    });
    add(sw, "libyuv", sizes(), [](benchmark::State& st, Size s) {
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        std::vector<uint8_t> dst(src.size());
        for (auto _ : st) libyuv::SwapUVPlane(src.data(), 2 * s.w, dst.data(), 2 * s.w, s.w, s.h);
    });
    add(sw, "opencv", sizes(), [](benchmark::State& st, Size s) {  // channel shuffle
        cv::setNumThreads(1);
        auto src = random_bytes(size_t(s.w) * s.h * 2);
        cv::Mat in(s.h, s.w, CV_8UC2, src.data()), out(s.h, s.w, CV_8UC2);
        const int pairs[4] = {0, 1, 1, 0};
        for (auto _ : st) cv::mixChannels(&in, 1, &out, 1, pairs, 2);
    });
    add_memcpy(sw, 2);

    const std::string il = "interleave";
    add(il, "mira", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto a = random_bytes(n, 1), b = random_bytes(n, 2);
        std::vector<uint8_t> dst(2 * n);
        for (auto _ : st)
            ncvInterleaveu8(a.data(), b.data(), s.w, s.h, s.w, s.w, dst.data(), 2 * s.w);
    });
    add(il, "mira_gpu", sizes(), [](benchmark::State& st, Size s) {
        if (!gpu_ready(st)) return;
        const size_t n = size_t(s.w) * s.h;
        auto a = random_bytes(n, 1), b = random_bytes(n, 2);
        std::vector<uint8_t> dst(2 * n);
        MIRA_Feature_Buf sb[2] = {{s.w, s.w, s.h, s.h, a.data()}, {s.w, s.w, s.h, s.h, b.data()}};
        MIRA_Feature_Buf db{2 * s.w, 2 * s.w, s.h, s.h, dst.data()};
        MIRA_Feature_Param p{MIRA_API_INTERLEAVE_U8, MIRA_MODE_OPENCL, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(sb, 2, &db, 1, &p);  // builds the kernel outside the timed loop
        for (auto _ : st) m.run(sb, 2, &db, 1, &p);
    });
    add(il, "libyuv", sizes(), [](benchmark::State& st, Size s) {
        const size_t n = size_t(s.w) * s.h;
        auto a = random_bytes(n, 1), b = random_bytes(n, 2);
        std::vector<uint8_t> dst(2 * n);
        for (auto _ : st)
            libyuv::MergeUVPlane(a.data(), s.w, b.data(), s.w, dst.data(), 2 * s.w, s.w, s.h);
    });
    add(il, "opencv", sizes(), [](benchmark::State& st, Size s) {
        cv::setNumThreads(1);
        const size_t n = size_t(s.w) * s.h;
        auto a = random_bytes(n, 1), b = random_bytes(n, 2);
        cv::Mat planes[2] = {cv::Mat(s.h, s.w, CV_8UC1, a.data()), cv::Mat(s.h, s.w, CV_8UC1, b.data())};
        cv::Mat out(s.h, s.w, CV_8UC2);
        for (auto _ : st) cv::merge(planes, 2, out);
    });
    add_memcpy(il, 2);
}

void register_all() {
    register_rotations();
    register_nv21();
    register_camera();
    register_camera_preview();
    register_layouts();
    register_swap_interleave();
}
const Registrar reg(register_all);

}  // namespace
}  // namespace mira_bench
