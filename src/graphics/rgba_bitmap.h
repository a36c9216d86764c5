#pragma once

#include <cstdint>
#include <vector>

namespace qz {

// A decoded image: 8-bit red, green, blue, alpha per pixel, row-major.
struct RgbaBitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 4 bytes
};

}  // namespace qz
