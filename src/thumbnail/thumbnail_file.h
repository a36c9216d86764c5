#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "graphics/rgba_bitmap.h"

namespace qz {

// djb2 over the URL bytes in wrapping 64-bit arithmetic: no seed, so a name
// is the same on every run and every device.
uint64_t djb2_hash(std::string_view text);

// "{16 lower-case hex digits}.raw"
std::string thumbnail_file_name(std::string_view url);

// The disk format: width and height as little-endian 32-bit, then the RGBA
// rows. Valid only when the length is exactly 8 + width * height * 4; a
// partly written file fails that test and is fetched again.
std::optional<RgbaBitmap> read_thumbnail_file(const std::string& path);

// Creates or truncates the file; returns false on any write error (callers
// ignore it: the image is simply fetched again next run).
bool write_thumbnail_file(const std::string& path, const RgbaBitmap& image);

}  // namespace qz
