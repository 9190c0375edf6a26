// mira_icount: the AArch64 instruction-count benchmark (scripts/bench-arm64.sh).
//
// Runs every CPU operation that has an arm64 peer through libmira, libyuv and
// OpenCV on the same frame, one thread, under qemu-aarch64 with the counting
// plugin (bench/arm64/icount_plugin.c). Each case is marked with a system call
// the plugin recognises: start, after the first call, after the second (the
// hot blocks of the second call are profiled), after the last; the script
// takes (count of N calls - count of 1 call) / (N - 1) as one call.
//
// stdout:  case <id> <operation> <size> <implementation> <pixels>
//          lib <path> <load address, hex>        (from /proc/self/maps)
//
//   mira_icount [calls] [filter]   calls >= 2 (default 3); filter: substring of
//                                  the operation names to run
#include <libyuv.h>
#include <libyuv/scale_rgb.h>  // (not included by libyuv.h)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "mira/mira.h"
#include "mira/mira_features.h"
#include "mira/mira_image.h"
#include "mira/mira_kernels.h"

namespace {

constexpr long kMark = 0x4d49;  // the plugin's MIRA_MARK_SYSCALL
enum Phase { kStart = 0, kEnd = 2, kProfileBegin = 10, kProfileEnd = 11 };
void mark(int id, Phase phase) { syscall(kMark, id, int(phase)); }

struct Size {
    uint32_t w, h;
};
std::string name(Size s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }
using Bytes = std::vector<uint8_t>;

Bytes random_bytes(size_t n, uint32_t seed = 1) {
    Bytes v(n);
    std::mt19937 rng(seed);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

Bytes blobs(Size s) {
    Bytes v(size_t(s.w) * s.h);
    for (uint32_t y = 0; y < s.h; ++y)
        for (uint32_t x = 0; x < s.w; ++x) {
            const double f = std::sin(x * 0.013) * std::cos(y * 0.017) +
                             0.5 * std::sin((x + 2 * y) * 0.007);
            v[size_t(y) * s.w + x] = uint8_t(f > 0.1 ? 200 : 40);
        }
    return v;
}

struct Case {
    std::string op, size, impl;
    double pixels;
    std::function<void()> call;
};
std::vector<Case> cases;

// A case owns its buffers through the closure; they are made when it runs.
void add(const std::string& op, Size s, const std::string& impl, double pixels,
         std::function<std::function<void()>()> make) {
    cases.push_back({op, name(s), impl, pixels, [make, f = std::function<void()>()]() mutable {
                         if (!f) f = make();
                         f();
                     }});
}

const Size HD{1920, 1080}, UHD{3840, 2160};

void colour_and_layout() {
    for (Size s : {HD, UHD}) {
        const double n = double(s.w) * s.h;
        auto frame = [s] { return random_bytes(size_t(s.w) * s.h * 3 / 2, 7); };
        add("nv21_rgba", s, "mira", n, [=] {
            return [s, src = frame(), dst = Bytes(size_t(s.w) * s.h * 4)]() mutable {
                ncvColorYUV420toRGB8888u8(src.data(), int(s.w), int(s.h), dst.data());
            };
        });
        add("nv21_rgba", s, "libyuv", n, [=] {
            return [s, src = frame(), dst = Bytes(size_t(s.w) * s.h * 4)]() mutable {
                libyuv::NV21ToABGR(src.data(), s.w, src.data() + size_t(s.w) * s.h, s.w,
                                   dst.data(), 4 * s.w, s.w, s.h);
            };
        });
        add("nv21_rgba", s, "opencv", n, [=] {
            return [s, src = frame(), out = cv::Mat()]() mutable {
                cv::Mat in(s.h * 3 / 2, s.w, CV_8UC1, src.data());
                cv::cvtColor(in, out, cv::COLOR_YUV2RGBA_NV21);
            };
        });
        // Camera frames: NV21 to RGBA and RGBA to I420, BT.601 limited range.
        add("yuv420_rgba", s, "mira", n, [=] {
            return [s, src = frame(), dst = Bytes(size_t(s.w) * s.h * 4)]() mutable {
                mira_yuv420 f{};
                mira_yuv420_nv21(&f, src.data(), src.size(), s.w, s.h);
                const mira_image d{dst.data(), s.w, s.h, 4 * s.w, 4};
                mira_yuv420_to_rgb(&f, &d, MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, MIRA_PATH_CPU);
            };
        });
        add("yuv420_rgba", s, "libyuv", n, [=] {
            return [s, src = frame(), dst = Bytes(size_t(s.w) * s.h * 4)]() mutable {
                libyuv::NV21ToABGR(src.data(), s.w, src.data() + size_t(s.w) * s.h, s.w,
                                   dst.data(), 4 * s.w, s.w, s.h);
            };
        });
        add("rgba_yuv420", s, "mira", n, [=] {
            return [s, src = random_bytes(size_t(s.w) * s.h * 4, 3),
                    dst = Bytes(size_t(s.w) * s.h * 3 / 2)]() mutable {
                mira_yuv420 f{};
                mira_yuv420_i420(&f, dst.data(), dst.size(), s.w, s.h);
                const mira_image in{src.data(), s.w, s.h, 4 * s.w, 4};
                mira_rgb_to_yuv420(&in, MIRA_RGB_FORMAT_RGBA, &f, MIRA_MATRIX_BT601,
                                   MIRA_RANGE_LIMITED, MIRA_PATH_CPU);
            };
        });
        add("rgba_yuv420", s, "libyuv", n, [=] {
            return [s, src = random_bytes(size_t(s.w) * s.h * 4, 3),
                    dst = Bytes(size_t(s.w) * s.h * 3 / 2)]() mutable {
                uint8_t* u = dst.data() + size_t(s.w) * s.h;
                libyuv::ABGRToI420(src.data(), 4 * s.w, dst.data(), s.w, u, s.w / 2,
                                   u + size_t(s.w / 2) * (s.h / 2), s.w / 2, s.w, s.h);
            };
        });
        if (s.w == HD.w) {
            // The camera preview: the 1080p NV21 frame turned to portrait, scaled
            // to 720x1280 and converted to RGBA in one call (bilinear), against
            // libyuv's chain of the three steps (turn with the chroma split,
            // bilinear scale of the three planes, conversion). Per destination pixel.
            constexpr uint32_t dw = 720, dh = 1280;
            const double dn = double(dw) * dh;
            add("yuv420_preview", s, "mira", dn, [=] {
                return [s, src = random_bytes(size_t(s.w) * s.h * 3 / 2, 11),
                        dst = Bytes(size_t(dw) * dh * 4)]() mutable {
                    mira_yuv420 f{};
                    mira_yuv420_nv21(&f, src.data(), src.size(), s.w, s.h);
                    const mira_image d{dst.data(), dw, dh, 4 * dw, 4};
                    mira_yuv420_to_rgb_transform(&f, &d, 90, 0, MIRA_INTERPOLATION_BILINEAR,
                                                 MIRA_RGB_FORMAT_RGBA, MIRA_MATRIX_BT601,
                                                 MIRA_RANGE_LIMITED, MIRA_PATH_CPU);
                };
            });
            add("yuv420_preview", s, "libyuv", dn, [=] {
                const uint32_t tw = s.h, th = s.w, tcw = (tw + 1) / 2, tch = (th + 1) / 2;
                const uint32_t cw = (dw + 1) / 2, ch = (dh + 1) / 2;
                return [=, src = random_bytes(size_t(s.w) * s.h * 3 / 2, 11),
                        turned = Bytes(size_t(tw) * th + 2 * size_t(tcw) * tch),
                        scaled = Bytes(size_t(dw) * dh + 2 * size_t(cw) * ch),
                        dst = Bytes(size_t(dw) * dh * 4)]() mutable {
                    uint8_t *ty = turned.data(), *tu = ty + size_t(tw) * th, *tv = tu + size_t(tcw) * tch;
                    uint8_t *sy = scaled.data(), *su = sy + size_t(dw) * dh, *sv = su + size_t(cw) * ch;
                    const uint8_t* vu = src.data() + size_t(s.w) * s.h;
                    // NV21's pairs are V first: the split's first plane is V.
                    libyuv::NV12ToI420Rotate(src.data(), s.w, vu, s.w, ty, tw, tv, tcw, tu, tcw, s.w,
                                             s.h, libyuv::kRotate90);
                    libyuv::I420Scale(ty, tw, tu, tcw, tv, tcw, tw, th, sy, dw, su, cw, sv, cw, dw,
                                      dh, libyuv::kFilterBilinear);
                    libyuv::I420ToABGR(sy, dw, su, cw, sv, cw, dst.data(), 4 * dw, dw, dh);
                };
            });
        }
        add("transpose", s, "mira", n, [=] {
            return [s, src = random_bytes(size_t(s.w) * s.h), dst = Bytes(size_t(s.w) * s.h)]() mutable {
                ncvTransposeu8(src.data(), s.w, s.h, s.w, dst.data(), s.h);
            };
        });
        add("transpose", s, "libyuv", n, [=] {
            return [s, src = random_bytes(size_t(s.w) * s.h), dst = Bytes(size_t(s.w) * s.h)]() mutable {
                libyuv::TransposePlane(src.data(), s.w, dst.data(), s.h, s.w, s.h);
            };
        });
        add("transpose", s, "opencv", n, [=] {
            return [s, src = random_bytes(size_t(s.w) * s.h), out = cv::Mat()]() mutable {
                cv::transpose(cv::Mat(s.h, s.w, CV_8UC1, src.data()), out);
            };
        });
    }
    const Size s = HD;
    const double n = double(s.w) * s.h;
    const int cvCodes[3] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};
    const libyuv::RotationMode yuvModes[3] = {libyuv::kRotate90, libyuv::kRotate180,
                                              libyuv::kRotate270};
    for (int code = 1; code <= 3; ++code) {
        const std::string op = "rotate" + std::to_string(90 * code);
        const uint32_t ds = code != 2 ? s.h : s.w;
        const int cvCode = cvCodes[code - 1];
        const libyuv::RotationMode mode = yuvModes[code - 1];
        add(op, s, "mira", n, [=] {
            return [=, src = random_bytes(n), dst = Bytes(n)]() mutable {
                ncvRotateImageu8(src.data(), s.w, s.h, s.w, dst.data(), ds, code);
            };
        });
        add(op, s, "libyuv", n, [=] {
            return [=, src = random_bytes(n), dst = Bytes(n)]() mutable {
                libyuv::RotatePlane(src.data(), s.w, dst.data(), ds, s.w, s.h, mode);
            };
        });
        add(op, s, "opencv", n, [=] {
            return [=, src = random_bytes(n), out = cv::Mat()]() mutable {
                cv::rotate(cv::Mat(s.h, s.w, CV_8UC1, src.data()), out, cvCode);
            };
        });
    }
    add("rotate_cbcr90", s, "mira", n, [=] {
        return [=, src = random_bytes(2 * n), dst = Bytes(2 * n)]() mutable {
            ncvRotateImageInterleavedu8(src.data(), s.w, s.h, 2 * s.w, dst.data(), 2 * s.h, 1);
        };
    });
    add("rotate_cbcr90", s, "libyuv", n, [=] {  // as 16-bit samples
        return [=, src = random_bytes(2 * n), dst = Bytes(2 * n)]() mutable {
            libyuv::RotatePlane_16(reinterpret_cast<const uint16_t*>(src.data()), s.w,
                                   reinterpret_cast<uint16_t*>(dst.data()), s.h, s.w, s.h,
                                   libyuv::kRotate90);
        };
    });
    add("rotate_cbcr90", s, "opencv", n, [=] {
        return [=, src = random_bytes(2 * n), out = cv::Mat()]() mutable {
            cv::rotate(cv::Mat(s.h, s.w, CV_8UC2, src.data()), out, cv::ROTATE_90_CLOCKWISE);
        };
    });
    // Colour images: RGBA transpose and quarter turns against libyuv's
    // ARGBRotate (a quarter turn for the transpose) and OpenCV.
    struct ColourRow {
        const char* op;
        int degrees;  // 0: transpose
        libyuv::RotationMode yuv;
        int cv;       // -1: cv::transpose
    };
    const ColourRow colourRows[] = {
        {"transpose_rgba", 0, libyuv::kRotate90, -1},
        {"rotate90_rgba", 90, libyuv::kRotate90, cv::ROTATE_90_CLOCKWISE},
        {"rotate180_rgba", 180, libyuv::kRotate180, cv::ROTATE_180},
        {"rotate270_rgba", 270, libyuv::kRotate270, cv::ROTATE_90_COUNTERCLOCKWISE},
    };
    for (const ColourRow& r : colourRows) {
        const uint32_t dw = r.degrees != 180 ? s.h : s.w, dh = r.degrees != 180 ? s.w : s.h;
        add(r.op, s, "mira", n, [=] {
            return [=, src = random_bytes(4 * n), dst = Bytes(4 * n)]() mutable {
                const mira_image in{src.data(), s.w, s.h, 4 * s.w, 4};
                const mira_image out{dst.data(), dw, dh, 4 * dw, 4};
                if (r.degrees == 0)
                    mira_transpose(&in, &out, MIRA_PATH_CPU);
                else
                    mira_rotate(&in, &out, r.degrees, MIRA_PATH_CPU);
            };
        });
        add(r.op, s, "libyuv", n, [=] {
            return [=, src = random_bytes(4 * n), dst = Bytes(4 * n)]() mutable {
                libyuv::ARGBRotate(src.data(), int(4 * s.w), dst.data(), int(4 * dw), int(s.w),
                                   int(s.h), r.yuv);
            };
        });
        add(r.op, s, "opencv", n, [=] {
            return [=, src = random_bytes(4 * n), out = cv::Mat()]() mutable {
                const cv::Mat in(s.h, s.w, CV_8UC4, src.data());
                if (r.cv < 0)
                    cv::transpose(in, out);
                else
                    cv::rotate(in, out, r.cv);
            };
        });
    }
    add("cbcr_swap", s, "mira", n, [=] {
        return [=, src = random_bytes(2 * n), dst = Bytes(2 * n)]() mutable {
            ncvColorCbCrSwapu8(src.data(), s.w, s.h, 2 * s.w, dst.data(), 2 * s.w);
        };
    });
    add("cbcr_swap", s, "libyuv", n, [=] {
        return [=, src = random_bytes(2 * n), dst = Bytes(2 * n)]() mutable {
            libyuv::SwapUVPlane(src.data(), 2 * s.w, dst.data(), 2 * s.w, s.w, s.h);
        };
    });
    add("cbcr_swap", s, "opencv", n, [=] {
        return [=, src = random_bytes(2 * n), out = cv::Mat(s.h, s.w, CV_8UC2)]() mutable {
            cv::Mat in(s.h, s.w, CV_8UC2, src.data());
            const int pairs[4] = {0, 1, 1, 0};
            cv::mixChannels(&in, 1, &out, 1, pairs, 2);
        };
    });
    add("interleave", s, "mira", n, [=] {
        return [=, a = random_bytes(n, 1), b = random_bytes(n, 2), dst = Bytes(2 * n)]() mutable {
            ncvInterleaveu8(a.data(), b.data(), s.w, s.h, s.w, s.w, dst.data(), 2 * s.w);
        };
    });
    add("interleave", s, "libyuv", n, [=] {
        return [=, a = random_bytes(n, 1), b = random_bytes(n, 2), dst = Bytes(2 * n)]() mutable {
            libyuv::MergeUVPlane(a.data(), s.w, b.data(), s.w, dst.data(), 2 * s.w, s.w, s.h);
        };
    });
    add("interleave", s, "opencv", n, [=] {
        return [=, a = random_bytes(n, 1), b = random_bytes(n, 2),
                out = cv::Mat(s.h, s.w, CV_8UC2)]() mutable {
            cv::Mat planes[2] = {cv::Mat(s.h, s.w, CV_8UC1, a.data()),
                                 cv::Mat(s.h, s.w, CV_8UC1, b.data())};
            cv::merge(planes, 2, out);
        };
    });
    add("yuv444_to_420", s, "mira", n, [=] {
        return [=, y = random_bytes(n, 1), cb = random_bytes(n, 2), cr = random_bytes(n, 3),
                oy = Bytes(n), oc = Bytes(n / 2)]() mutable {
            ncvColorYCbCr444PlanarToYCbCr420PseudoPlanaru8(y.data(), cb.data(), cr.data(), s.w,
                                                           s.h, s.w, s.w, s.w, oy.data(),
                                                           oc.data(), s.w, s.w);
        };
    });
    add("yuv444_to_420", s, "libyuv", n, [=] {
        return [=, y = random_bytes(n, 1), cb = random_bytes(n, 2), cr = random_bytes(n, 3),
                oy = Bytes(n), oc = Bytes(n / 2)]() mutable {
            libyuv::I444ToNV12(y.data(), s.w, cb.data(), s.w, cr.data(), s.w, oy.data(), s.w,
                               oc.data(), s.w, s.w, s.h);
        };
    });
    add("yuv420_to_444", s, "mira", n, [=] {
        return [=, y = random_bytes(n, 1), c = random_bytes(n / 2, 2), oy = Bytes(n),
                ob = Bytes(n), orr = Bytes(n)]() mutable {
            ncvColorYCbCr420PseudoPlanarToYCbCr444Planaru8(y.data(), c.data(), s.w, s.h, s.w, s.w,
                                                           oy.data(), ob.data(), orr.data(), s.w,
                                                           s.w, s.w);
        };
    });
    add("yuv420_to_444", s, "libyuv", n, [=] {
        return [=, y = random_bytes(n, 1), c = random_bytes(n / 2, 2), oy = Bytes(n),
                ob = Bytes(n), orr = Bytes(n), u = Bytes(n / 4), v = Bytes(n / 4)]() mutable {
            const int hw = int(s.w / 2), hh = int(s.h / 2);
            libyuv::CopyPlane(y.data(), s.w, oy.data(), s.w, s.w, s.h);
            libyuv::SplitUVPlane(c.data(), s.w, u.data(), hw, v.data(), hw, hw, hh);
            libyuv::ScalePlane(u.data(), hw, hw, hh, ob.data(), s.w, s.w, s.h, libyuv::kFilterNone);
            libyuv::ScalePlane(v.data(), hw, hw, hh, orr.data(), s.w, s.w, s.h, libyuv::kFilterNone);
        };
    });
    add("yuv420_to_444", s, "opencv", n, [=] {
        return [=, y = random_bytes(n, 1), c = random_bytes(n / 2, 2),
                oy = cv::Mat(s.h, s.w, CV_8UC1), ob = cv::Mat(s.h, s.w, CV_8UC1),
                orr = cv::Mat(s.h, s.w, CV_8UC1)]() mutable {
            cv::Mat my(s.h, s.w, CV_8UC1, y.data()), mc(s.h / 2, s.w / 2, CV_8UC2, c.data());
            cv::Mat parts[2];
            my.copyTo(oy);
            cv::split(mc, parts);
            cv::resize(parts[0], ob, ob.size(), 0, 0, cv::INTER_NEAREST);
            cv::resize(parts[1], orr, orr.size(), 0, 0, cv::INTER_NEAREST);
        };
    });
}

// One-plane resamplers: libmira, cv::resize and (where it has the filter)
// libyuv::ScalePlane; counted per destination pixel.
void plane(const std::string& op, Size s, Size d, int cvInterp, int yuvFilter,
           std::function<void(const uint8_t*, Size, uint8_t*, Size)> mira) {
    const double n = double(d.w) * d.h;
    const size_t sn = size_t(s.w) * s.h, dn = size_t(d.w) * d.h;
    add(op, s, "mira", n, [=] {
        return [=, src = random_bytes(sn), dst = Bytes(dn)]() mutable {
            mira(src.data(), s, dst.data(), d);
        };
    });
    if (yuvFilter >= 0)
        add(op, s, "libyuv", n, [=] {
            return [=, src = random_bytes(sn), dst = Bytes(dn)]() mutable {
                libyuv::ScalePlane(src.data(), int(s.w), int(s.w), int(s.h), dst.data(), int(d.w),
                                   int(d.w), int(d.h), libyuv::FilterMode(yuvFilter));
            };
        });
    if (cvInterp >= 0)
        add(op, s, "opencv", n, [=] {
            return [=, src = random_bytes(sn), out = cv::Mat(d.h, d.w, CV_8UC1)]() mutable {
                cv::resize(cv::Mat(s.h, s.w, CV_8UC1, src.data()), out, out.size(), 0, 0,
                           cvInterp);
            };
        });
}

// Colour pixels (RGB or RGBA, interleaved) through mira_resize against
// libyuv's RGBScale / ARGBScale and cv::resize with the matching
// interpolation (bilinear; box: kFilterBox, INTER_AREA), per destination
// pixel.
void colour_resize(const std::string& op, uint32_t C, Size s, Size d, mira_interpolation interp) {
    const double n = double(d.w) * d.h;
    const size_t sn = size_t(s.w) * s.h * C, dn = size_t(d.w) * d.h * C;
    const bool bilinear = interp == MIRA_INTERPOLATION_BILINEAR;
    add(op, s, "mira", n, [=] {
        return [=, src = random_bytes(sn), dst = Bytes(dn)]() mutable {
            const mira_image in{src.data(), s.w, s.h, s.w * C, C};
            const mira_image out{dst.data(), d.w, d.h, d.w * C, C};
            mira_resize(&in, &out, interp, MIRA_BORDER_REPLICATE, 0, MIRA_PATH_CPU);
        };
    });
    add(op, s, "libyuv", n, [=] {
        return [=, src = random_bytes(sn), dst = Bytes(dn)]() mutable {
            const auto f = bilinear ? libyuv::kFilterBilinear : libyuv::kFilterBox;
            if (C == 4)
                libyuv::ARGBScale(src.data(), int(s.w * C), int(s.w), int(s.h), dst.data(),
                                  int(d.w * C), int(d.w), int(d.h), f);
            else
                libyuv::RGBScale(src.data(), int(s.w * C), int(s.w), int(s.h), dst.data(),
                                 int(d.w * C), int(d.w), int(d.h), f);
        };
    });
    add(op, s, "opencv", n, [=] {
        return [=, src = random_bytes(sn), out = cv::Mat(d.h, d.w, CV_8UC(int(C)))]() mutable {
            cv::resize(cv::Mat(s.h, s.w, CV_8UC(int(C)), src.data()), out, out.size(), 0, 0,
                       bilinear ? cv::INTER_LINEAR : cv::INTER_AREA);
        };
    });
}

void scaling() {
    using libyuv::kFilterBilinear;
    using libyuv::kFilterBox;
    using libyuv::kFilterNone;
    auto down_int = [](const uint8_t* src, Size s, uint8_t* dst, Size d) {
        ncvScaleDownu8_v2(src, s.w, s.h, s.w, dst, d.w, d.h, d.w);
    };
    auto general = [](uint32_t mode) {
        return [mode](const uint8_t* src, Size s, uint8_t* dst, Size d) {
            ncvScaleu8_v2(src, s.w, s.h, s.w, dst, d.w, d.h, d.w, mode, 2, 0);
        };
    };
    for (uint32_t C : {3u, 4u})
        for (auto interp : {MIRA_INTERPOLATION_BILINEAR, MIRA_INTERPOLATION_BOX})
            for (auto [d, to] : {std::pair<Size, const char*>{{1280, 720}, "720p"},
                                 {UHD, "2160p"}})
                colour_resize(std::string(C == 4 ? "rgba" : "rgb") + "_resize_" +
                                  (interp == MIRA_INTERPOLATION_BILINEAR ? "bilinear" : "area") +
                                  "_" + to,
                              C, HD, d, interp);
    plane("scaledown_2x", HD, {960, 540}, cv::INTER_AREA, kFilterBox, down_int);
    plane("scaledown_4x", HD, {480, 270}, cv::INTER_AREA, kFilterBox, down_int);
    plane("scale_box_720p", HD, {1280, 720}, cv::INTER_AREA, kFilterBox, general(2));
    plane("scale_none_down_720p", HD, {1280, 720}, cv::INTER_NEAREST, kFilterNone, general(0));
    plane("scale_bilinear_down_720p", HD, {1280, 720}, cv::INTER_LINEAR, kFilterBilinear,
          general(1));
    plane("scale_box_half", HD, {960, 540}, cv::INTER_AREA, kFilterBox, general(2));
    plane("scale_bilinear_half", HD, {960, 540}, cv::INTER_LINEAR, kFilterBilinear, general(1));
    plane("scale_bilinear_up_1.25x", HD, {2400, 1350}, cv::INTER_LINEAR, kFilterBilinear,
          general(1));
    plane("scale_bilinear_up_6:5", HD, {2304, 1296}, cv::INTER_LINEAR, kFilterBilinear, general(1));
    struct Zoom {
        const char* name;
        Size src, dst;
    };
    const Zoom zooms[] = {{"zoom1.1", {1600, 900}, {1760, 990}},
                          {"zoom1.25", {1600, 900}, {2000, 1125}},
                          {"zoom6:5", {1600, 900}, {1920, 1080}},
                          {"zoom1.92", {1000, 562}, {1920, 1079}},
                          {"zoom2.5", {768, 432}, {1920, 1080}},
                          {"zoom3", {640, 360}, {1920, 1080}}};
    for (const Zoom& z : zooms) {
        plane(std::string("scale_bilinear_up_") + z.name, z.src, z.dst, cv::INTER_LINEAR,
              kFilterBilinear, general(1));
        plane(std::string("scale_nearest_up_") + z.name, z.src, z.dst, cv::INTER_NEAREST,
              kFilterNone, general(0));
    }
    plane("lanczos_2x", HD, {3840, 2160}, cv::INTER_LANCZOS4, -1,
          [](const uint8_t* src, Size s, uint8_t* dst, Size d) {
              ncvScaleUpPolyu8(src, s.w, s.h, s.w, dst, d.w, d.h, d.w);
          });

    // M/N down-scale (2/3), one plane and CbCr pairs.
    const Size s = HD, d{HD.w * 2 / 3, HD.h * 2 / 3}, c{HD.w / 2, HD.h / 2},
               cd{c.w * 2 / 3, c.h * 2 / 3};
    auto feature = [](uint32_t id, const uint8_t* src, Size s, uint32_t sb, uint8_t* dst, Size d,
                      uint32_t db) {
        MIRA_Feature_Buf in{sb, sb, s.h, s.h, const_cast<uint8_t*>(src)};
        MIRA_Feature_Buf out{db, db, d.h, d.h, dst};
        // The area average, what the peers compute: the planar feature's
        // alternative CPU mode (its mode 0 is the GPU kernel's twin, a box of
        // the integer ratio that skips source pixels); the interleaved
        // feature's CPU method.
        const uint32_t mode = id == MIRA_API_SCALEDOWN_MN_U8 ? MIRA_MODE_CPU_ALT : MIRA_MODE_CPU;
        MIRA_Feature_Param p{id, mode, 1, nullptr, 0};
        MIRA_Manager m;
        m.run(&in, 1, &out, 1, &p);
    };
    plane("scaledown_mn", s, d, cv::INTER_AREA, kFilterBox,
          [feature](const uint8_t* src, Size s, uint8_t* dst, Size d) {
              feature(MIRA_API_SCALEDOWN_MN_U8, src, s, s.w, dst, d, d.w);
          });
    const double cn = double(cd.w) * cd.h;
    add("scaledown_mn_cbcr", c, "mira", cn, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), dst = Bytes(size_t(cd.w) * 2 * cd.h)]() {
            feature(MIRA_API_SCALEDOWN_MNINTERLEAVE_U8, src.data(), c, 2 * c.w,
                    const_cast<uint8_t*>(dst.data()), cd, 2 * cd.w);
        };
    });
    add("scaledown_mn_cbcr", c, "libyuv", cn, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), dst = Bytes(size_t(cd.w) * 2 * cd.h)]() mutable {
            libyuv::UVScale(src.data(), int(2 * c.w), int(c.w), int(c.h), dst.data(), int(2 * cd.w),
                            int(cd.w), int(cd.h), libyuv::kFilterBox);
        };
    });
    add("scaledown_mn_cbcr", c, "opencv", cn, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), out = cv::Mat(cd.h, cd.w, CV_8UC2)]() mutable {
            cv::resize(cv::Mat(c.h, c.w, CV_8UC2, src.data()), out, out.size(), 0, 0, cv::INTER_AREA);
        };
    });

    // 2x chroma up-sample of CbCr pairs (counted per destination pair).
    const double un = double(s.w) * s.h;
    add("chroma_up_2x", c, "mira", un, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), dst = Bytes(size_t(s.w) * 2 * s.h)]() mutable {
            MIRA_Feature_Buf sb{2 * c.w, 2 * c.w, c.h, c.h, src.data()};
            MIRA_Feature_Buf db{2 * s.w, 2 * s.w, s.h, s.h, dst.data()};
            MIRA_Feature_Param p{MIRA_API_IMAGE_UP_SAMPLE_2D_CBCR, MIRA_MODE_CPU, 1, nullptr, 0};
            MIRA_Manager m;
            m.run(&sb, 1, &db, 1, &p);
        };
    });
    add("chroma_up_2x", c, "libyuv", un, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), dst = Bytes(size_t(s.w) * 2 * s.h)]() mutable {
            libyuv::UVScale(src.data(), int(2 * c.w), int(c.w), int(c.h), dst.data(), int(2 * s.w),
                            int(s.w), int(s.h), libyuv::kFilterBilinear);
        };
    });
    add("chroma_up_2x", c, "opencv", un, [=] {
        return [=, src = random_bytes(size_t(c.w) * 2 * c.h), out = cv::Mat(s.h, s.w, CV_8UC2)]() mutable {
            cv::resize(cv::Mat(c.h, c.w, CV_8UC2, src.data()), out, out.size(), 0, 0, cv::INTER_LINEAR);
        };
    });
}

void filters() {
    const Size s = HD;
    const size_t n = size_t(s.w) * s.h;
    add("gaussian3x3", s, "mira", n, [=] {
        return [=, src = random_bytes(n), dst = Bytes(n)]() mutable {
            ncvFilterGaussian3x3u8(src.data(), s.w, s.h, dst.data(), 1);
        };
    });
    add("gaussian3x3", s, "opencv", n, [=] {
        return [=, src = random_bytes(n), out = cv::Mat(s.h, s.w, CV_8UC1)]() mutable {
            cv::GaussianBlur(cv::Mat(s.h, s.w, CV_8UC1, src.data()), out, cv::Size(3, 3), 0, 0,
                             cv::BORDER_REFLECT_101);
        };
    });
    add("gaussian3x3_rgb", s, "mira", n, [=] {
        return [=, src = random_bytes(3 * n), dst = Bytes(3 * n)]() mutable {
            const mira_image in{src.data(), s.w, s.h, 3 * s.w, 3};
            const mira_image out{dst.data(), s.w, s.h, 3 * s.w, 3};
            mira_gaussian3x3(&in, &out, MIRA_GAUSSIAN_BORDER_RENORMALISED, MIRA_PATH_CPU);
        };
    });
    add("gaussian3x3_rgb", s, "opencv", n, [=] {
        return [=, src = random_bytes(3 * n), out = cv::Mat(s.h, s.w, CV_8UC3)]() mutable {
            cv::GaussianBlur(cv::Mat(s.h, s.w, CV_8UC3, src.data()), out, cv::Size(3, 3), 0, 0,
                             cv::BORDER_REFLECT_101);
        };
    });
    using S16 = std::vector<int16_t>;
    add("sobel", s, "mira", n, [=] {
        return [=, src = random_bytes(n), dx = S16(n), dy = S16(n)]() mutable {
            mira::ncvImageGradientSobelPlanars16_v3(src.data(), s.w, s.h, s.w, dx.data(),
                                                    dy.data(), 2 * s.w);
        };
    });
    add("sobel", s, "opencv", n, [=] {  // spatialGradient: both 3x3 Sobel derivatives at once
        return [=, src = random_bytes(n), dx = cv::Mat(s.h, s.w, CV_16SC1),
                dy = cv::Mat(s.h, s.w, CV_16SC1)]() mutable {
            cv::spatialGradient(cv::Mat(s.h, s.w, CV_8UC1, src.data()), dx, dy, 3);
        };
    });
    add("gradient", s, "mira", n, [=] {
        return [=, src = random_bytes(n), dx = S16(n), dy = S16(n)]() mutable {
            mira::ncvImageGradientPlanars16(src.data(), s.w, s.h, s.w, dx.data(), dy.data(), 2 * s.w);
        };
    });
    add("gradient", s, "opencv", n, [=] {
        return [=, src = random_bytes(n), dx = cv::Mat(s.h, s.w, CV_16SC1),
                dy = cv::Mat(s.h, s.w, CV_16SC1)]() mutable {
            cv::Mat in(s.h, s.w, CV_8UC1, src.data());
            cv::Sobel(in, dx, CV_16S, 1, 0, 1);
            cv::Sobel(in, dy, CV_16S, 0, 1, 1);
        };
    });
    add("mean_variance", s, "mira", n, [=] {
        return [=, src = random_bytes(n)]() mutable {
            float mean = 0, variance = 0;
            ncvImageIntensityStats(src.data(), int(s.w), 0, 0, s.w, s.h, &mean, &variance);
        };
    });
    add("mean_variance", s, "opencv", n, [=] {
        return [=, src = random_bytes(n)]() mutable {
            cv::Scalar mean, dev;
            cv::meanStdDev(cv::Mat(s.h, s.w, CV_8UC1, src.data()), mean, dev);
        };
    });
    for (int blob = 0; blob < 2; ++blob) {
        const std::string op = blob ? "floodfill_blobs" : "floodfill_constant";
        auto image = [=] { return blob ? blobs(s) : Bytes(n, 77); };
        add(op, s, "mira", n, [=] {
            return [=, src = image(), mask = Bytes(n)]() mutable {
                ncvFloodfillResult r{};
                ncvFloodfillSimpleu8(src.data(), s.w, s.h, s.w, mask.data(), s.w, 960, 540, 255,
                                     &r, 4);
            };
        });
        add(op, s, "opencv", n, [=] {
            return [=, src = image(), mask = cv::Mat(s.h + 2, s.w + 2, CV_8UC1)]() mutable {
                mask.setTo(0);
                cv::floodFill(cv::Mat(s.h, s.w, CV_8UC1, src.data()), mask, cv::Point(960, 540),
                              cv::Scalar(0), nullptr, cv::Scalar(0), cv::Scalar(0),
                              4 | (255 << 8) | cv::FLOODFILL_MASK_ONLY);
            };
        });
    }
}

void warps() {
    const struct {
        const char* op;
        int interp, cv;
    } kinds[] = {{"affine_nearest", 0, cv::INTER_NEAREST},
                 {"affine_linear", 1, cv::INTER_LINEAR},
                 {"affine_cubic", 3, cv::INTER_CUBIC}};
    for (const auto& k : kinds)
        for (Size s : {HD, UHD}) {
            const size_t n = size_t(s.w) * s.h;
            std::vector<float> m(6);
            const float c = 0.9848078f * 1.1f, sn = 0.1736482f * 1.1f;
            const float cx = s.w * 0.5f, cy = s.h * 0.5f;
            m = {c, -sn, cx - c * cx + sn * cy, sn, c, cy - sn * cx - c * cy};
            const int interp = k.interp, cvInterp = k.cv;
            add(k.op, s, "mira", n, [=] {
                return [=, src = random_bytes(n), dst = Bytes(n),
                        spans = std::vector<uint32_t>(2 * size_t(s.h)), mm = m]() mutable {
                    MIRA_Feature_Buf in[2] = {{s.w, s.w, s.h, s.h, src.data()},
                                              {3, 12, 2, 2, reinterpret_cast<uint8_t*>(mm.data())}};
                    MIRA_Feature_Buf out[2] = {
                        {s.w, s.w, s.h, s.h, dst.data()},
                        {2, 2, s.h, s.h, reinterpret_cast<uint8_t*>(spans.data())}};
                    MIRA_Feature_Param p{MIRA_API_TRANSFORM_AFFINE_CLIPPED_U8, MIRA_MODE_CPU, 1,
                                         nullptr, interp};
                    MIRA_Manager mgr;
                    mgr.run(in, 2, out, 2, &p);
                };
            });
            add(k.op, s, "opencv", n, [=] {
                return [=, src = random_bytes(n), out = cv::Mat(s.h, s.w, CV_8UC1)]() mutable {
                    cv::Mat M = (cv::Mat_<double>(2, 3) << m[0], m[1], m[2], m[3], m[4], m[5]);
                    cv::warpAffine(cv::Mat(s.h, s.w, CV_8UC1, src.data()), out, M, out.size(),
                                   cvInterp | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                                   cv::Scalar(0));
                };
            });
        }
    // RGB pixels, bilinear, through the public call.
    {
        const Size s = HD;
        const size_t n = size_t(s.w) * s.h;
        const float c = 0.9848078f * 1.1f, sn = 0.1736482f * 1.1f;
        const float cx = s.w * 0.5f, cy = s.h * 0.5f;
        const std::vector<float> m = {c, -sn, cx - c * cx + sn * cy, sn, c, cy - sn * cx - c * cy};
        add("affine_linear_rgb", s, "mira", n, [=] {
            return [=, src = random_bytes(3 * n), dst = Bytes(3 * n),
                    spans = std::vector<uint32_t>(2 * size_t(s.h)), mm = m]() mutable {
                const mira_image in{src.data(), s.w, s.h, 3 * s.w, 3};
                const mira_image out{dst.data(), s.w, s.h, 3 * s.w, 3};
                mira_warp_affine(&in, mm.data(), &out, MIRA_WARP_BILINEAR, spans.data(),
                                 MIRA_PATH_CPU);
            };
        });
        add("affine_linear_rgb", s, "opencv", n, [=] {
            return [=, src = random_bytes(3 * n), out = cv::Mat(s.h, s.w, CV_8UC3)]() mutable {
                cv::Mat M = (cv::Mat_<double>(2, 3) << m[0], m[1], m[2], m[3], m[4], m[5]);
                cv::warpAffine(cv::Mat(s.h, s.w, CV_8UC3, src.data()), out, M, out.size(),
                               cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                               cv::Scalar(0));
            };
        });
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(2, std::atoi(argv[1])) : 3;
    const std::string filter = argc > 2 ? argv[2] : "";
    cv::setNumThreads(0);  // OpenCV on the calling thread; libmira: HL_NUM_THREADS=1
    colour_and_layout();
    scaling();
    filters();
    warps();
    for (size_t i = 0; i < cases.size(); ++i) {
        Case& c = cases[i];
        if (!filter.empty() && c.op.find(filter) == std::string::npos) continue;
        std::printf("case %zu %s %s %s %.0f\n", i, c.op.c_str(), c.size.c_str(), c.impl.c_str(),
                    c.pixels);
        std::fflush(stdout);
        const int id = int(i);
        mark(id, kStart);
        c.call();
        mark(id, kProfileBegin);
        c.call();
        mark(id, kProfileEnd);
        for (int k = 2; k < calls; ++k) c.call();
        mark(id, kEnd);
        c.call = nullptr;  // frees the case's buffers
    }
    // Load addresses of the shared objects, for the hot blocks' symbols.
    if (FILE* maps = std::fopen("/proc/self/maps", "r")) {
        char line[1024];
        while (std::fgets(line, sizeof line, maps)) {
            unsigned long lo = 0, off = 0;
            char perms[8] = {}, path[768] = {};
            if (std::sscanf(line, "%lx-%*lx %7s %lx %*s %*s %767s", &lo, perms, &off, path) == 4 &&
                off == 0 && path[0] == '/')
                std::printf("lib %s %lx\n", path, lo);
        }
        std::fclose(maps);
    }
    return 0;
}
