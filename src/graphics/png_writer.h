#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "graphics/color.h"
#include "graphics/framebuffer.h"

namespace qz {

enum class PngChannels { Rgba, Rgb };

struct PngWriteResult {
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// Writes 8-bit ARGB pixels (rows stride_pixels apart) as an 8-bit RGBA or RGB
// PNG file. Rgb drops the alpha byte, which is what the screen shows while the
// display layer is opaque.
PngWriteResult write_png(const std::string& path, const Color* pixels, uint32_t width, uint32_t height,
                         size_t stride_pixels, PngChannels channels);

// The whole back buffer.
PngWriteResult write_png(const std::string& path, const Framebuffer& fb, PngChannels channels);

}  // namespace qz
