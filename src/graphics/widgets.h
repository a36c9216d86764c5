#pragma once

#include <cstdint>
#include <string>

#include "graphics/color.h"
#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"

namespace qz {

// A small filled label: a box as wide as the text plus padding, the text
// inset. A fill that is not opaque is blended over what is below.
struct BadgeStyle {
    int32_t pad;  // box width minus text width
    int32_t height;
    int32_t radius;
    Color fill;
    int32_t text_dx;
    int32_t text_dy;
    Color text_color;
    float size;
};
void draw_badge(TextRenderer& text, int32_t x, int32_t y, const BadgeStyle& style, const std::string& label);

// A rounded track blended over the background, filled from the left by
// ratio (clamped to 0..1) in an opaque colour.
struct ProgressBarStyle {
    int32_t width;
    int32_t height;
    int32_t radius;
    Color track;
    Color fill;
};
void draw_progress_bar(Framebuffer& fb, int32_t x, int32_t y, const ProgressBarStyle& style, double ratio);

// Darkens the whole frame behind a panel, keeping keep/255 of each colour
// channel (floor division) and making every pixel opaque.
void dim_behind_overlay(Framebuffer& fb, uint32_t keep);

// A watched position as "mm:ss", both at least two digits. A negative
// position (only a hand-edited history holds one) reads "00:00" rather than
// a minus sign inside the seconds.
std::string watched_clock(int64_t secs);

}  // namespace qz
