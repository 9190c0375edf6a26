#include "image_io.h"

#include <png.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace mira_tool {

namespace {

bool ends_with(const std::string& s, const std::string& suf) {
    if (s.size() < suf.size()) return false;
    std::string t = s.substr(s.size() - suf.size());
    std::transform(t.begin(), t.end(), t.begin(), ::tolower);
    return t == suf;
}

bool read_pgm(const std::string& path, Image& out, std::string& err) {
    std::ifstream f(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    f >> magic >> out.width >> out.height >> maxv;
    if (!f || magic != "P5" || maxv != 255) {
        err = "not an 8-bit binary PGM";
        return false;
    }
    f.get();
    out.channels = 1;
    out.px.resize(static_cast<size_t>(out.width) * out.height);
    f.read(reinterpret_cast<char*>(out.px.data()), static_cast<std::streamsize>(out.px.size()));
    if (!f) {
        err = "truncated PGM";
        return false;
    }
    return true;
}

}  // namespace

bool read_image(const std::string& path, Image& out, std::string& err) {
    if (ends_with(path, ".pgm")) return read_pgm(path, out, err);
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) {
        err = img.message;
        return false;
    }
    const bool gray = (img.format & PNG_FORMAT_FLAG_COLOR) == 0;
    const bool alpha = (img.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    img.format = gray ? (alpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY)
                      : (alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB);
    out.width = img.width;
    out.height = img.height;
    out.channels = PNG_IMAGE_PIXEL_CHANNELS(img.format);
    out.px.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out.px.data(), 0, nullptr)) {
        err = img.message;
        png_image_free(&img);
        return false;
    }
    return true;
}

namespace {

bool write_pnm(const std::string& path, const Image& im, std::string& err) {
    const bool colour = im.channels == 3;
    std::ofstream f(path, std::ios::binary);
    f << (colour ? "P6\n" : "P5\n") << im.width << " " << im.height << "\n255\n";
    f.write(reinterpret_cast<const char*>(im.px.data()), static_cast<std::streamsize>(im.px.size()));
    if (!f) err = "write failed";
    return static_cast<bool>(f);
}

// libjpeg reports errors through a callback that must not return.
struct JpegError {
    jpeg_error_mgr mgr;
    std::string message;
};

bool write_jpeg(const std::string& path, const Image& im, std::string& err) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        err = "cannot be opened for writing";
        return false;
    }
    jpeg_compress_struct c{};
    JpegError je{};
    c.err = jpeg_std_error(&je.mgr);
    je.mgr.error_exit = [](j_common_ptr info) {
        char text[JMSG_LENGTH_MAX];
        (*info->err->format_message)(info, text);
        throw std::runtime_error(text);
    };
    bool ok = true;
    try {
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = im.width;
        c.image_height = im.height;
        c.input_components = int(im.channels);
        c.in_color_space = im.channels == 3 ? JCS_RGB : JCS_GRAYSCALE;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 95, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(im.row(c.next_scanline));
            jpeg_write_scanlines(&c, &row, 1);
        }
        jpeg_finish_compress(&c);
    } catch (const std::exception& e) {
        err = e.what();
        ok = false;
    }
    jpeg_destroy_compress(&c);
    if (std::fclose(f) != 0 && ok) {
        err = "write failed";
        ok = false;
    }
    return ok;
}

}  // namespace

bool image_kind_known(const std::string& path) {
    for (const char* ext : {".png", ".pgm", ".ppm", ".jpg", ".jpeg"})
        if (ends_with(path, ext)) return true;
    return false;
}

bool write_image(const std::string& path, const Image& im, std::string& err) {
    // PGM and JPEG take gray or RGB; PPM RGB; PNG every layout.
    if (ends_with(path, ".pgm")) return write_pnm(path, to_gray(im), err);
    if (ends_with(path, ".ppm")) return write_pnm(path, to_rgb(im), err);
    if (ends_with(path, ".jpg") || ends_with(path, ".jpeg"))
        return write_jpeg(path, im.channels == 1 ? im : to_rgb(im), err);
    if (!ends_with(path, ".png")) {
        err = "unknown image type; use .png, .pgm, .ppm, .jpg or .jpeg";
        return false;
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = im.width;
    img.height = im.height;
    static const png_uint_32 formats[5] = {0, PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB,
                                           PNG_FORMAT_RGBA};
    img.format = formats[im.channels];
    if (!png_image_write_to_file(&img, path.c_str(), 0, im.px.data(), 0, nullptr)) {
        err = img.message;
        return false;
    }
    return true;
}

bool read_raw(const std::string& path, size_t bytes, std::vector<uint8_t>& out, std::string& err) {
    std::ifstream f(path, std::ios::binary);
    out.resize(bytes);
    f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
    if (!f) {
        err = "expected " + std::to_string(bytes) + " bytes";
        return false;
    }
    return true;
}

bool write_raw(const std::string& path, const std::vector<uint8_t>& data, std::string& err) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f) err = "write failed";
    return static_cast<bool>(f);
}

Image to_gray(const Image& in) {
    if (in.channels == 1) return in;
    Image g;
    g.width = in.width;
    g.height = in.height;
    g.channels = 1;
    g.px.resize(static_cast<size_t>(in.width) * in.height);
    for (size_t i = 0; i < g.px.size(); ++i) {
        const uint8_t* p = in.px.data() + i * in.channels;
        g.px[i] = in.channels >= 3
                      ? static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8)
                      : p[0];
    }
    return g;
}

Image colour_or_gray(const Image& in, bool pairs) {
    return in.channels == 2 && !pairs ? to_gray(in) : in;
}

Image to_rgb(const Image& in) {
    if (in.channels == 3) return in;
    Image o;
    o.width = in.width;
    o.height = in.height;
    o.channels = 3;
    o.px.resize(static_cast<size_t>(in.width) * in.height * 3);
    for (size_t i = 0; i < static_cast<size_t>(in.width) * in.height; ++i) {
        const uint8_t* p = in.px.data() + i * in.channels;
        for (int c = 0; c < 3; ++c) {
            if (in.channels >= 3) o.px[i * 3 + c] = p[c];
            else if (in.channels == 2) o.px[i * 3 + c] = c == 2 ? 128 : p[c];  // two planes as R, G
            else o.px[i * 3 + c] = p[0];
        }
    }
    return o;
}

std::vector<uint8_t> rgb_to_nv21(const Image& in, uint32_t& w, uint32_t& h) {
    Image rgb = to_rgb(in);
    w = rgb.width & ~1u;
    h = rgb.height & ~1u;
    std::vector<uint8_t> f(static_cast<size_t>(w) * h * 3 / 2);
    auto clamp = [](double v) { return static_cast<uint8_t>(std::min(255.0, std::max(0.0, v + 0.5))); };
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t* p = rgb.row(y) + x * 3;
            f[static_cast<size_t>(y) * w + x] = clamp(16 + 0.257 * p[0] + 0.504 * p[1] + 0.098 * p[2]);
        }
    uint8_t* vu = f.data() + static_cast<size_t>(w) * h;
    for (uint32_t y = 0; y < h; y += 2)
        for (uint32_t x = 0; x < w; x += 2) {
            const uint8_t* p = rgb.row(y) + x * 3;
            const double r = p[0], g = p[1], b = p[2];
            uint8_t* d = vu + static_cast<size_t>(y / 2) * w + x;
            d[0] = clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b);   // V (Cr)
            d[1] = clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b);   // U (Cb)
        }
    return f;
}

}  // namespace mira_tool
