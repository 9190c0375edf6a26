// Image files for the command-line tool: PNG (gray, RGB, RGBA) and PGM in and
// out, raw frames in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mira_tool {

struct Image {
    uint32_t width = 0, height = 0, channels = 1;  // channels: 1, 2, 3 or 4
    std::vector<uint8_t> px;                        // packed rows
    uint8_t* row(uint32_t y) { return px.data() + static_cast<size_t>(y) * width * channels; }
    const uint8_t* row(uint32_t y) const {
        return px.data() + static_cast<size_t>(y) * width * channels;
    }
};

// Reads a PNG or PGM file; false with a message (without the path) on failure.
bool read_image(const std::string& path, Image& out, std::string& err);
// Writes the format the extension names: .png (2-channel images as
// gray+alpha), .pgm (gray), .ppm (RGB), .jpg/.jpeg (gray, or RGB); other
// extensions are refused. Messages (without the path) go to `err`.
bool write_image(const std::string& path, const Image& img, std::string& err);
// Whether write_image knows the extension of `path`.
bool image_kind_known(const std::string& path);
// Reads `bytes` bytes of a raw frame.
bool read_raw(const std::string& path, size_t bytes, std::vector<uint8_t>& out, std::string& err);
bool write_raw(const std::string& path, const std::vector<uint8_t>& data, std::string& err);

Image to_gray(const Image& img);
// The image itself when it is gray or colour (1, 3 or 4 channels), or a
// two-channel one when `pairs` (the operation takes pairs); else its gray.
Image colour_or_gray(const Image& img, bool pairs);
Image to_rgb(const Image& img);

// NV21 frame (Y plane then interleaved V/U at half resolution) from RGB with
// BT.601 video-range coefficients; width and height are rounded down to even.
std::vector<uint8_t> rgb_to_nv21(const Image& rgb, uint32_t& w, uint32_t& h);

}  // namespace mira_tool
