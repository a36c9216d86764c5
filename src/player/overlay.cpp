#include "player/overlay.h"

#include <algorithm>

#include "graphics/draw.h"
#include "player/clock_text.h"

namespace qz {

namespace {

constexpr Color TRANSPARENT = 0x00000000;
constexpr Color BAND = 0xd0120b24;
constexpr Color ACCENT_LINE = 0xffa855f7;
constexpr Color BADGE = 0xff6a38b3;
constexpr Color TEXT = 0xffffffff;
constexpr Color LABEL_TEXT = 0xffc4b5fd;
constexpr Color MESSAGE_BOX = 0xe81a1235;
constexpr Color PAUSE_BOX = 0xee1a1235;
constexpr Color PAUSE_TEXT = 0xfffbbf24;
constexpr Color FOOTER = 0xe8120b24;
constexpr Color TRACK = 0xff2d1f47;
constexpr Color PLAYING_TEXT = 0xff22c55e;

constexpr int32_t MARGIN = 35;  // left edge of the badge, track and time; right margin
constexpr int32_t BOX_HEIGHT = 56;
constexpr int32_t BOX_PADDING = 56;
constexpr int32_t MESSAGE_MIN_WIDTH = 220;
constexpr float BOX_TEXT_SIZE = 22;

void draw_header(Framebuffer& fb, TextRenderer& text, const OverlayView& view, int32_t w) {
    fill_rect(fb, 0, 0, w, 75, BAND);
    fill_rect(fb, 0, 0, w, 3, ACCENT_LINE);
    fill_rect(fb, MARGIN, 18, 110, 24, BADGE);
    text.draw_text("QZ-NUVALTO", 45, 23, TEXT, 13);
    text.draw_text(view.title, 155, 22, TEXT, 20);
    text.draw_text(view.label, 155, 48, LABEL_TEXT, 15);
}

// The message box wins over the pause box: a volume change while paused
// shows the volume; the footer still says paused.
void draw_centre_box(Framebuffer& fb, TextRenderer& text, const OverlayView& view, int32_t w, int32_t h) {
    const int32_t top = std::max((h - BOX_HEIGHT) / 2, 0);
    if (view.message) {
        const int32_t tw = text.text_width(*view.message, BOX_TEXT_SIZE);
        const int32_t box_w = std::max(tw + BOX_PADDING, MESSAGE_MIN_WIDTH);
        const int32_t x0 = (w - box_w) / 2;
        fill_rect(fb, x0, top, box_w, BOX_HEIGHT, MESSAGE_BOX);
        draw_rect(fb, x0, top, box_w, BOX_HEIGHT, 2, ACCENT_LINE);
        text.draw_text(*view.message, x0 + (box_w - tw) / 2, top + 36, TEXT, BOX_TEXT_SIZE);
    } else if (view.paused) {
        const int32_t box_w = text.text_width(OVERLAY_PAUSE_TEXT, BOX_TEXT_SIZE) + BOX_PADDING;
        const int32_t x0 = (w - box_w) / 2;
        fill_rect(fb, x0, top, box_w, BOX_HEIGHT, PAUSE_BOX);
        draw_rect(fb, x0, top, box_w, BOX_HEIGHT, 2, PAUSE_TEXT);
        text.draw_text(OVERLAY_PAUSE_TEXT, x0 + BOX_PADDING / 2, top + 36, PAUSE_TEXT, BOX_TEXT_SIZE);
    }
}

void draw_progress(Framebuffer& fb, const OverlayView& view, int32_t w, int32_t h) {
    const int32_t track_w = std::max(w - 2 * MARGIN, 0);
    fill_rect(fb, MARGIN, h - 87, track_w, 8, TRACK);
    if (view.duration_ms <= 0) return;
    const int32_t filled = overlay_filled_width(view.position_ms, view.duration_ms, track_w);
    fill_rect(fb, MARGIN, h - 87, filled, 8, ACCENT_LINE);
    // The knob is centred on the end of the fill but never leaves the track.
    const int32_t kx = std::max(std::min(filled + MARGIN - 4, w - MARGIN - 8), MARGIN);
    fill_rect(fb, kx, h - 91, 8, 16, TEXT);
}

void draw_footer(Framebuffer& fb, TextRenderer& text, const OverlayView& view, int32_t w, int32_t h) {
    fill_rect(fb, 0, h - 105, w, 105, FOOTER);
    draw_progress(fb, view, w, h);
    text.draw_text(overlay_time_text(view.position_ms, view.duration_ms), MARGIN, h - 57, TEXT, 16);
    const char* state = view.paused ? OVERLAY_PAUSED_LABEL : OVERLAY_PLAYING_LABEL;
    const Color state_color = view.paused ? PAUSE_TEXT : PLAYING_TEXT;
    text.draw_text(state, w - text.text_width(state, 15) - MARGIN, h - 57, state_color, 15);
    text.draw_text(OVERLAY_HINTS, (w - text.text_width(OVERLAY_HINTS, 14)) / 2, h - 23, LABEL_TEXT, 14);
}

}  // namespace

std::string overlay_time_text(int64_t position_ms, int64_t duration_ms) {
    // clock_string switches to hours at 3600 s, that is above 3599999 ms.
    return clock_string(position_ms / 1000) + " / " + clock_string(duration_ms / 1000);
}

int32_t overlay_filled_width(int64_t position_ms, int64_t duration_ms, int32_t width_px) {
    if (duration_ms <= 0 || width_px <= 0) return 0;
    const double fraction = std::clamp(double(position_ms) / double(duration_ms), 0.0, 1.0);
    return int32_t(fraction * width_px);
}

void draw_playback_overlay(Framebuffer& fb, TextRenderer& text, const OverlayView& view) {
    const auto w = int32_t(fb.width());
    const auto h = int32_t(fb.height());
    fb.clear(TRANSPARENT);
    draw_header(fb, text, view, w);
    draw_centre_box(fb, text, view, w, h);
    draw_footer(fb, text, view, w, h);
}

}  // namespace qz
