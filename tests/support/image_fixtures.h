#pragma once

// Image fixtures for the thumbnail tests: exact PNGs written with libpng, and
// JPEG/WebP files made by the Debian encoders (cjpeg, convert, cwebp).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/rgba_bitmap.h"

namespace qz::test {

// A PNG with exactly the given samples. rows are in PNG layout for the colour
// type and depth (16-bit samples big-endian). palette/trns only for the types
// that use them.
struct PngRecipe {
    uint32_t width = 0;
    uint32_t height = 0;
    int color_type = 0;  // PNG_COLOR_TYPE_*
    int bit_depth = 8;
    std::vector<std::vector<uint8_t>> rows;
    std::vector<std::array<uint8_t, 3>> palette;
    std::vector<uint8_t> trns;  // palette alphas, or a 16-bit grey/RGB key in PNG order
    bool interlaced = false;
};
std::string encode_png(const PngRecipe& recipe);

// Signature plus IHDR (valid CRC) declaring the size, and nothing after it.
std::string png_header_only(uint32_t width, uint32_t height);

// An 8-bit RGBA PNG of the bitmap.
std::string rgba_png(const RgbaBitmap& image);

// w x h, split into four quadrants: red, green / blue, white; opaque.
RgbaBitmap quadrants_image(uint32_t width, uint32_t height);
// Left half opaque red, right half fully transparent.
RgbaBitmap half_transparent_image(uint32_t width, uint32_t height);
// Deterministic noise, every byte varying (alpha included when with_alpha).
RgbaBitmap noise_image(uint32_t width, uint32_t height, bool with_alpha);

// Writes the bitmap's colours as a binary PPM (alpha dropped), for cjpeg/convert.
void write_ppm(const std::string& path, const RgbaBitmap& image);

// Encoded with the Debian tools; an empty string when the tool failed.
// cjpeg reads a PPM of the colours; convert and cwebp read an RGBA PNG.
std::string cjpeg_encode(const RgbaBitmap& image, const std::string& flags);
std::string convert_encode(const RgbaBitmap& image, const std::string& args, const std::string& extension);
std::string cwebp_encode(const RgbaBitmap& image, const std::string& flags);

struct Rgba {
    uint8_t r, g, b, a;
};
Rgba pixel_at(const RgbaBitmap& image, uint32_t x, uint32_t y);
// Each channel within tolerance.
bool rgba_near(Rgba got, Rgba want, int tolerance);
std::string describe_rgba(Rgba p);

}  // namespace qz::test
