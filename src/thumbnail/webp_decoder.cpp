// WebP through libwebp, which can rescale while decoding: a large poster is
// never materialised at full size.
#include <webp/decode.h>

#include "thumbnail/image_decoders.h"

namespace qz {

DecodeResult decode_webp(std::string_view data, bool scaled) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return DecodeError::Corrupt;
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    if (WebPGetFeatures(bytes, data.size(), &config.input) != VP8_STATUS_OK) return DecodeError::Corrupt;
    if (config.input.width <= 0 || config.input.height <= 0) return DecodeError::Corrupt;

    DecodedImage out;
    out.source_width = static_cast<uint32_t>(config.input.width);
    out.source_height = static_cast<uint32_t>(config.input.height);
    if (!image_size_allowed(out.source_width, out.source_height)) return DecodeError::TooLarge;
    if (config.input.has_animation) return DecodeError::Unsupported;
    out.has_alpha = config.input.has_alpha != 0;

    uint32_t width = out.source_width;
    uint32_t height = out.source_height;
    const ThumbSize target = thumbnail_size(width, height);
    // Only ever scale down here; enlarging is left to the triangle filter.
    if (scaled && target.width <= width && target.height <= height &&
        (target.width != width || target.height != height)) {
        config.options.use_scaling = 1;
        config.options.scaled_width = static_cast<int>(target.width);
        config.options.scaled_height = static_cast<int>(target.height);
        width = target.width;
        height = target.height;
    }

    out.bitmap.width = width;
    out.bitmap.height = height;
    out.bitmap.pixels.resize(static_cast<size_t>(width) * height * 4);
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out.bitmap.pixels.data();
    config.output.u.RGBA.stride = static_cast<int>(width * 4);
    config.output.u.RGBA.size = out.bitmap.pixels.size();
    const VP8StatusCode status = WebPDecode(bytes, data.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (status == VP8_STATUS_UNSUPPORTED_FEATURE) return DecodeError::Unsupported;
    if (status != VP8_STATUS_OK) return DecodeError::Corrupt;
    return out;
}

}  // namespace qz
