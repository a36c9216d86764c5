#include "graphics/widgets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "graphics/draw.h"

namespace qz {

void draw_badge(TextRenderer& text, int32_t x, int32_t y, const BadgeStyle& style, const std::string& label) {
    Framebuffer& fb = text.framebuffer();
    const int32_t w = text.text_width(label, style.size) + style.pad;
    if ((style.fill >> 24) == 0xff) {
        fill_rounded_rect(fb, x, y, w, style.height, style.radius, style.fill);
    } else {
        blend_rounded_rect(fb, x, y, w, style.height, style.radius, style.fill);
    }
    text.draw_text(label, x + style.text_dx, y + style.text_dy, style.text_color, style.size);
}

void draw_progress_bar(Framebuffer& fb, int32_t x, int32_t y, const ProgressBarStyle& style, double ratio) {
    blend_rounded_rect(fb, x, y, style.width, style.height, style.radius, style.track);
    if (std::isnan(ratio)) ratio = 0.0;
    const auto w = static_cast<int32_t>(std::clamp(ratio * style.width, 0.0, static_cast<double>(style.width)));
    if (w > 0) fill_rounded_rect(fb, x, y, w, style.height, style.radius, style.fill);
}

void dim_behind_overlay(Framebuffer& fb, uint32_t keep) {
    // Red and blue share one word in two 16-bit lanes (v * keep <= 255 * 255,
    // so no lane carries); the floor of v / 255 is exact for such values.
    // This runs over the whole screen every frame the overlay is open.
    const auto div255_lanes = [](uint32_t x) {
        return ((x + 0x00010001u + ((x >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    };
    keep = std::min(keep, 255u);
    Color* p = fb.pixels();
    const size_t count = size_t(fb.width()) * fb.height();
    for (size_t i = 0; i < count; ++i) {
        const Color c = p[i];
        const uint32_t rb = div255_lanes((c & 0x00ff00ffu) * keep);
        const uint32_t g = div255_lanes(((c >> 8) & 0xffu) * keep);
        p[i] = 0xff000000u | rb | (g << 8);
    }
}

std::string watched_clock(int64_t secs) {
    if (secs < 0) secs = 0;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(secs / 60),
                  static_cast<long long>(secs % 60));
    return buf;
}

}  // namespace qz
