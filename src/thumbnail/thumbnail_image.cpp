#include "thumbnail/thumbnail_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "thumbnail/image_decoders.h"

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>

namespace qz {

ImageFormat detect_image_format(std::string_view data) {
    static constexpr unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (data.size() >= 8 && std::memcmp(data.data(), PNG_SIGNATURE, 8) == 0) return ImageFormat::Png;
    if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xff &&
        static_cast<unsigned char>(data[1]) == 0xd8 && static_cast<unsigned char>(data[2]) == 0xff) {
        return ImageFormat::Jpeg;
    }
    if (data.size() >= 12 && data.substr(0, 4) == "RIFF" && data.substr(8, 4) == "WEBP") return ImageFormat::Webp;
    return ImageFormat::Unknown;
}

ThumbSize thumbnail_size(uint32_t width, uint32_t height) {
    const double ratio = std::min(static_cast<double>(THUMB_MAX_WIDTH) / width,
                                  static_cast<double>(THUMB_MAX_HEIGHT) / height);
    // std::round rounds halves away from zero.
    const double w = std::round(width * ratio);
    const double h = std::round(height * ratio);
    return {w < 1 ? 1u : static_cast<uint32_t>(w), h < 1 ? 1u : static_cast<uint32_t>(h)};
}

bool image_size_allowed(uint32_t width, uint32_t height) {
    return width > 0 && height > 0 && width <= MAX_IMAGE_SIDE && height <= MAX_IMAGE_SIDE &&
           static_cast<uint64_t>(width) * height <= MAX_IMAGE_PIXELS;
}

RgbaBitmap resample_rgba(const RgbaBitmap& source, uint32_t width, uint32_t height, bool has_alpha) {
    RgbaBitmap out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<size_t>(width) * height * 4);
    // Linear colour space: the samples are filtered as stored, in the image's
    // own encoding, which is cheaper and what the posters were authored in.
    const int ok = stbir_resize_uint8_generic(
        source.pixels.data(), static_cast<int>(source.width), static_cast<int>(source.height),
        static_cast<int>(source.width * 4), out.pixels.data(), static_cast<int>(width), static_cast<int>(height),
        static_cast<int>(width * 4), 4, has_alpha ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
        STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr);
    if (!ok) return {};
    return out;
}

namespace {

DecodeResult decode_any(std::string_view data, bool scaled, ImageFormat format) {
    switch (format) {
        case ImageFormat::Png: return decode_png(data);
        case ImageFormat::Jpeg: return decode_jpeg(data, scaled);
        case ImageFormat::Webp: return decode_webp(data, scaled);
        case ImageFormat::Unknown: break;
    }
    return DecodeError::Unsupported;
}

ThumbnailResult make_thumbnail_unguarded(std::string_view data, const ThumbnailOptions& options,
                                         DecodeStats* stats) {
    if (data.empty()) return DecodeError::Empty;
    const ImageFormat format = detect_image_format(data);
    if (stats) stats->format = format;
    DecodeResult decoded = decode_any(data, options.scaled_decode, format);
    if (auto* error = std::get_if<DecodeError>(&decoded)) return *error;
    DecodedImage& image = std::get<DecodedImage>(decoded);

    // The target follows the declared size, not the (possibly reduced)
    // decoded one, so scaled decoding never changes the stored size.
    const ThumbSize target = thumbnail_size(image.source_width, image.source_height);
    if (stats) {
        stats->source_width = image.source_width;
        stats->source_height = image.source_height;
        stats->decoded_width = image.bitmap.width;
        stats->decoded_height = image.bitmap.height;
    }
    if (image.bitmap.width == target.width && image.bitmap.height == target.height) return std::move(image.bitmap);
    RgbaBitmap out = resample_rgba(image.bitmap, target.width, target.height, image.has_alpha);
    if (out.pixels.empty()) return DecodeError::Corrupt;
    if (stats) stats->resampled = true;
    return out;
}

}  // namespace

ThumbnailResult make_thumbnail(std::string_view data, const ThumbnailOptions& options, DecodeStats* stats) {
    if (stats) *stats = {};
    try {
        return make_thumbnail_unguarded(data, options, stats);
    } catch (const std::bad_alloc&) {
        return DecodeError::TooLarge;
    }
}

}  // namespace qz
