#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "graphics/rgba_bitmap.h"

namespace qz {

// Every stored thumbnail fits this box; 2:3 posters fill it exactly.
inline constexpr uint32_t THUMB_MAX_WIDTH = 240;
inline constexpr uint32_t THUMB_MAX_HEIGHT = 360;

// Images declaring more than this are refused before any pixel memory is
// allocated: a poster URL is untrusted input and the device has little RAM.
inline constexpr uint32_t MAX_IMAGE_SIDE = 8192;
inline constexpr uint64_t MAX_IMAGE_PIXELS = 40'000'000;

enum class ImageFormat { Unknown, Png, Jpeg, Webp };

// Recognised from the first bytes of the data.
ImageFormat detect_image_format(std::string_view data);

struct ThumbSize {
    uint32_t width = 0;
    uint32_t height = 0;
    bool operator==(const ThumbSize&) const = default;
};

// The size a W x H image is scaled to: aspect kept, fitted to the box (scaled
// up when smaller), each side at least 1.
ThumbSize thumbnail_size(uint32_t width, uint32_t height);

// True when a declared image size is within the limits above (and not empty).
bool image_size_allowed(uint32_t width, uint32_t height);

enum class DecodeError { Empty, Unsupported, TooLarge, Corrupt };

// What happened on the way, for tests and benchmarks.
struct DecodeStats {
    ImageFormat format = ImageFormat::Unknown;
    uint32_t source_width = 0;   // as declared by the file
    uint32_t source_height = 0;
    uint32_t decoded_width = 0;  // what the decoder produced (smaller when it scaled)
    uint32_t decoded_height = 0;
    bool resampled = false;      // the triangle filter ran
};

struct ThumbnailOptions {
    // Let the JPEG and WebP decoders scale while decoding; off only to measure
    // the gain against a full decode.
    bool scaled_decode = true;
};

using ThumbnailResult = std::variant<RgbaBitmap, DecodeError>;

// Decodes PNG, JPEG or WebP data and scales it to thumbnail_size() of its
// declared size, as 8-bit RGBA (alpha 255 where the image has none).
ThumbnailResult make_thumbnail(std::string_view data, const ThumbnailOptions& options = {},
                               DecodeStats* stats = nullptr);

// Triangle-filter resample of an RGBA image; has_alpha avoids the premultiply
// work for opaque images. Returns an empty bitmap only on allocation failure.
RgbaBitmap resample_rgba(const RgbaBitmap& source, uint32_t width, uint32_t height, bool has_alpha);

}  // namespace qz
