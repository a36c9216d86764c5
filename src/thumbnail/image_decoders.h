#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "graphics/rgba_bitmap.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {

// One format's decoder output: 8-bit RGBA, possibly already reduced towards
// the thumbnail size, plus the size the file declared.
struct DecodedImage {
    RgbaBitmap bitmap;
    bool has_alpha = false;
    uint32_t source_width = 0;
    uint32_t source_height = 0;
};

using DecodeResult = std::variant<DecodedImage, DecodeError>;

// Each decoder checks the declared size against image_size_allowed() before
// allocating pixels. With scaled set, JPEG decodes at 1/2, 1/4 or 1/8 and WebP
// straight at the target size, never below thumbnail_size() of the source.
DecodeResult decode_png(std::string_view data);
DecodeResult decode_jpeg(std::string_view data, bool scaled);
DecodeResult decode_webp(std::string_view data, bool scaled);

}  // namespace qz
