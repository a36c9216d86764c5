#pragma once

// Image fixtures for the thumbnail tests: exact PNGs written with libpng, and
// JPEG/WebP files made by the Debian encoders (cjpeg, convert, cwebp).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graphics/rgba_bitmap.h"

namespace qz::test {

// A directory under /tmp removed with everything in it.
class ThumbTempDir {
public:
    ThumbTempDir();
    ThumbTempDir(const ThumbTempDir&) = delete;
    ThumbTempDir& operator=(const ThumbTempDir&) = delete;
    ~ThumbTempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string thumb_read_file(const std::string& path);
void thumb_write_file(const std::string& path, const std::string& bytes);
// Runs a shell command; true when it exited with status 0.
bool thumb_run(const std::string& command);
// True when every named program is found in PATH.
bool thumb_have_tools(const std::vector<std::string>& programs);

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
std::string thumb_encode_png(const PngRecipe& recipe);

// Signature plus IHDR (valid CRC) declaring the size, and nothing after it.
std::string thumb_png_header_only(uint32_t width, uint32_t height);

// An 8-bit RGBA PNG of the bitmap.
std::string thumb_rgba_png(const RgbaBitmap& image);

// w x h, split into four quadrants: red, green / blue, white; opaque.
RgbaBitmap thumb_quadrants(uint32_t width, uint32_t height);
// Left half opaque red, right half fully transparent.
RgbaBitmap thumb_half_transparent(uint32_t width, uint32_t height);
// Deterministic noise, every byte varying (alpha included when with_alpha).
RgbaBitmap thumb_noise(uint32_t width, uint32_t height, bool with_alpha);

// Writes the bitmap's colours as a binary PPM (alpha dropped), for cjpeg/convert.
void thumb_write_ppm(const std::string& path, const RgbaBitmap& image);

// Encoded with the Debian tools; an empty string when the tool failed.
// cjpeg reads a PPM of the colours; convert and cwebp read an RGBA PNG.
std::string thumb_cjpeg(const RgbaBitmap& image, const std::string& flags);
std::string thumb_convert(const RgbaBitmap& image, const std::string& args, const std::string& extension);
std::string thumb_cwebp(const RgbaBitmap& image, const std::string& flags);

struct Rgba {
    uint8_t r, g, b, a;
};
Rgba thumb_pixel(const RgbaBitmap& image, uint32_t x, uint32_t y);
// Each channel within tolerance.
bool thumb_near(Rgba got, Rgba want, int tolerance);
std::string thumb_describe(Rgba p);

}  // namespace qz::test
