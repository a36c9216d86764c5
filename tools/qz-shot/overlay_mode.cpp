// One frame of the playback overlay, drawn by the same function the players
// use: as RGBA with its alpha (what the display layer receives), or over a
// picture standing in for the video (what the user sees).

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/file_io.h"
#include "graphics/draw.h"
#include "graphics/text_renderer.h"
#include "player/overlay.h"
#include "shot.h"
#include "thumbnail/image_decoders.h"

namespace qz::shot {
namespace {

constexpr size_t MAX_PICTURE_BYTES = 64u << 20;

struct OverlayOptions {
    OverlayView view;
    std::string over;  // picture standing in for the video; empty: none
};

std::optional<int64_t> parse_ms(std::string_view text) {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return v;
}

std::variant<OverlayOptions, std::string> parse_overlay_args(const std::vector<std::string_view>& args) {
    OverlayOptions o;
    bool have_title = false, have_label = false, have_position = false, have_duration = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--paused") {
            o.view.paused = true;
            continue;
        }
        if (i + 1 >= args.size()) return std::string(a) + " needs a value";
        const std::string_view value = args[++i];
        if (a == "--title") {
            o.view.title = value, have_title = true;
        } else if (a == "--label") {
            o.view.label = value, have_label = true;
        } else if (a == "--message") {
            o.view.message = std::string(value);
        } else if (a == "--over") {
            if (value.empty()) return std::string("--over needs an image file");
            o.over = value;
        } else if (a == "--position-ms" || a == "--duration-ms") {
            const std::optional<int64_t> ms = parse_ms(value);
            if (!ms) return std::string(a) + " needs a whole number of milliseconds, got " + std::string(value);
            (a == "--position-ms" ? o.view.position_ms : o.view.duration_ms) = *ms;
            (a == "--position-ms" ? have_position : have_duration) = true;
        } else {
            return "unknown argument: " + std::string(a);
        }
    }
    if (!have_title || !have_label || !have_position || !have_duration)
        return std::string("--overlay needs --title, --label, --position-ms and --duration-ms");
    return o;
}

// The picture as an opaque video frame of the buffer's size, or why not.
std::variant<RgbaBitmap, std::string> load_video_frame(const std::string& path, uint32_t w, uint32_t h) {
    const FileRead file = read_file_capped(path, MAX_PICTURE_BYTES);
    if (!file.ok()) return "cannot read " + path;
    DecodeResult decoded = DecodeError::Unsupported;
    switch (detect_image_format(file.text)) {
        case ImageFormat::Png: decoded = decode_png(file.text); break;
        case ImageFormat::Jpeg: decoded = decode_jpeg(file.text, false); break;
        default: return path + " is neither PNG nor JPEG";
    }
    const DecodedImage* image = std::get_if<DecodedImage>(&decoded);
    if (image == nullptr) return "cannot decode " + path;
    RgbaBitmap frame = resample_rgba(image->bitmap, w, h, image->has_alpha);
    if (frame.pixels.empty()) return "cannot scale " + path;
    return frame;
}

// What the display shows with the layer in pixel-alpha mode: each overlay
// pixel mixed over the video by its own alpha. A translucent picture is taken
// as lying on black, as a video frame has no alpha.
void composite_over(Framebuffer& fb, const RgbaBitmap& video) {
    for (uint32_t y = 0; y < fb.height(); ++y) {
        for (uint32_t x = 0; x < fb.width(); ++x) {
            const uint8_t* p = &video.pixels[(size_t(y) * video.width + x) * 4];
            const Color rgb = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            const Color below = mix(0xff000000u, rgb, p[3]);
            Color& px = fb.at(x, y);
            px = mix(below, px, uint8_t(px >> 24));
        }
    }
}

}  // namespace

int run_overlay(const Options& o) {
    auto parsed = parse_overlay_args(o.mode_args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "qz-shot: %s\n", error->c_str());
        return 2;
    }
    const OverlayOptions& options = std::get<OverlayOptions>(parsed);
    Framebuffer fb = Framebuffer::in_memory(o.width, o.height);
    TextRenderer text(fb);
    draw_playback_overlay(fb, text, options.view);
    if (options.over.empty()) return save_png(fb, o.out, true);

    auto video = load_video_frame(options.over, o.width, o.height);
    if (const auto* error = std::get_if<std::string>(&video)) {
        std::fprintf(stderr, "qz-shot: %s\n", error->c_str());
        return 1;
    }
    composite_over(fb, std::get<RgbaBitmap>(video));
    return save(fb, o);
}

}  // namespace qz::shot
