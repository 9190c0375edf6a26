// The checked interface (mira_image.h) under fuzzed arguments: camera frames
// of any layout, size, row stride and pixel stride, colour images of every
// channel count (valid or not), enumerations in and out of range, both paths.
// The images always describe their memory truthfully (each plane is exactly
// what its stride and rows say, up to a guard page); what the fuzzer varies
// is whether the arguments agree. Each call either refuses or writes only
// its destinations' rows (Images::check).
#pragma once

#include "fuzz_images.h"
#include "mira/mira_image.h"

namespace mira_fuzz {

inline mira_path fuzz_path(FuzzedDataProvider& f) { return mira_path(code(f, 0, 2)); }

// Quarter turns in degrees mostly, any integer now and then.
inline int degrees(FuzzedDataProvider& f) {
    const int32_t q = code(f, 0, 4);
    return q >= 0 && q <= 4 ? q * 90 : q;
}

// A colour image of `width` x `height` pixels of `channels` bytes with a
// fuzzed stride; `channels` outside 1..4 still gets memory for 4.
inline mira_image colour_image(FuzzedDataProvider& f, Images& im, uint32_t width, uint32_t height,
                               uint32_t channels, bool source) {
    const uint32_t px = channels >= 1 && channels <= 4 ? channels : 4;
    const uint32_t row = width * px;
    const uint32_t s = stride(f, row);
    uint8_t* data = im.plane(row, height, s, source, f);
    return mira_image{data, width, height, s, channels};
}

// A camera frame of w x h: luma, then chroma planes of ceil(w/2) x ceil(h/2)
// samples, either two planes (pixel stride 1) or one plane of pairs (pixel
// stride 2) read as V,U or U,V, or as the same bytes for both (refused).
inline mira_yuv420 camera_frame(FuzzedDataProvider& f, Images& im, uint32_t w, uint32_t h,
                                bool source) {
    mira_yuv420 fr{};
    fr.width = w;
    fr.height = h;
    const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    fr.y_stride = stride(f, w);
    fr.y = im.plane(w, h, fr.y_stride, source, f);
    if (f.ConsumeBool()) {
        fr.uv_pixel_stride = 1;
        fr.u_stride = stride(f, cw);
        fr.v_stride = stride(f, cw);
        fr.u = im.plane(cw, ch, fr.u_stride, source, f);
        fr.v = im.plane(cw, ch, fr.v_stride, source, f);
    } else {
        fr.uv_pixel_stride = f.ConsumeBool() ? 2 : uint32_t(code(f, 0, 3));
        fr.u_stride = fr.v_stride = stride(f, 2 * cw);
        uint8_t* pairs = im.plane(2 * cw, ch, fr.u_stride, source, f);
        const int order = f.ConsumeIntegralInRange<int>(0, 2);
        fr.v = pairs + (order == 1 ? 1 : 0);
        fr.u = pairs + (order == 0 ? 1 : 0);
        if (2 * cw < 2 && order != 2) fr.u = fr.v = pairs;  // no room for a second byte
    }
    return fr;
}

inline const char* checked_api(FuzzedDataProvider& f, Images& im) {
    const uint32_t w = dim(f, 64), h = dim(f, 64);
    const auto format = mira_rgb_format(code(f, 0, 3));
    const auto matrix = mira_matrix(code(f, 0, 2));
    const auto range = mira_range(code(f, 0, 1));
    const uint32_t rgbChannels = f.ConsumeIntegralInRange<int>(0, 7) == 0
                                     ? f.ConsumeIntegralInRange<uint32_t>(0, 5)
                                     : (format == MIRA_RGB_FORMAT_RGB || format == MIRA_RGB_FORMAT_BGR ? 3 : 4);
    const int op = f.ConsumeIntegralInRange<int>(0, 9);
    switch (op) {
        case 0: {
            const mira_yuv420 src = camera_frame(f, im, w, h, true);
            const bool same = f.ConsumeIntegralInRange<int>(0, 3) != 0;
            const mira_image dst = colour_image(f, im, same ? w : dim(f, 64), same ? h : dim(f, 64),
                                                rgbChannels, false);
            mira_yuv420_to_rgb(&src, &dst, format, matrix, range, fuzz_path(f));
            return "mira_yuv420_to_rgb";
        }
        case 1: {
            const mira_yuv420 src = camera_frame(f, im, w, h, true);
            const mira_image dst = colour_image(f, im, dim(f, 64), dim(f, 64), rgbChannels, false);
            mira_yuv420_to_rgb_transform(&src, &dst, degrees(f), code(f, 0, 1),
                                         mira_interpolation(code(f, 0, 1)), format, matrix, range,
                                         fuzz_path(f));
            return "mira_yuv420_to_rgb_transform";
        }
        case 2: {
            const mira_image src = colour_image(f, im, w, h, rgbChannels, true);
            const bool same = f.ConsumeIntegralInRange<int>(0, 3) != 0;
            const mira_yuv420 dst = camera_frame(f, im, same ? w : dim(f, 64), same ? h : dim(f, 64), false);
            mira_rgb_to_yuv420(&src, format, &dst, matrix, range, fuzz_path(f));
            return "mira_rgb_to_yuv420";
        }
        default:
            break;
    }
    // Colour images: the source's channels, the destination's mostly the same.
    const uint32_t c = f.ConsumeIntegralInRange<uint32_t>(0, 5);
    const uint32_t dc = f.ConsumeIntegralInRange<int>(0, 7) == 0 ? f.ConsumeIntegralInRange<uint32_t>(0, 5) : c;
    const mira_image src = colour_image(f, im, w, h, c, true);
    const mira_image dst = colour_image(f, im, dim(f, 96), dim(f, 96), dc, false);
    const mira_path path = fuzz_path(f);
    switch (op) {
        case 3:
            mira_transpose(&src, &dst, path);
            return "mira_transpose";
        case 4:
            mira_rotate(&src, &dst, degrees(f), path);
            return "mira_rotate";
        case 5:
            mira_gaussian3x3(&src, &dst, mira_gaussian_border(code(f, 0, 1)), path);
            return "mira_gaussian3x3";
        case 6:
            mira_resize(&src, &dst, mira_interpolation(code(f, 0, 2)), mira_border(code(f, 0, 2)),
                        f.ConsumeIntegral<uint8_t>(), path);
            return "mira_resize";
        case 7:
            if (f.ConsumeBool()) {
                mira_scale_down(&src, &dst, path);
                return "mira_scale_down";
            }
            mira_scale_down_box(&src, &dst, path);
            return "mira_scale_down_box";
        case 8:
            mira_upscale_lanczos(&src, &dst, path);
            return "mira_upscale_lanczos";
        default: {
            float m[6];
            for (float& v : m) v = f.ConsumeBool() ? matrix_value(f) : f.ConsumeFloatingPointInRange<float>(-2.0f, 2.0f);
            uint32_t* spans = nullptr;
            if (f.ConsumeBool() && dst.height > 0)
                spans = reinterpret_cast<uint32_t*>(im.plane(8, dst.height, 8, false, f));
            mira_warp_affine(&src, m, &dst, mira_warp_interpolation(code(f, 0, 3)), spans, path);
            return "mira_warp_affine";
        }
    }
}

}  // namespace mira_fuzz
