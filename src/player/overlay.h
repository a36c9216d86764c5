#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"

namespace qz {

// What one frame of the playback overlay shows. While a seek is previewed
// the back-end passes the previewed target as the position.
struct OverlayView {
    std::string title, label;
    int64_t position_ms = 0, duration_ms = 0;
    bool paused = false;
    std::optional<std::string> message;  // volume, seek preview, aspect, resume notice
};

inline constexpr const char* OVERLAY_PAUSE_TEXT = "❚❚ ĐANG TẠM DỪNG";
inline constexpr const char* OVERLAY_PAUSED_LABEL = "[TẠM DỪNG]";
inline constexpr const char* OVERLAY_PLAYING_LABEL = "[ĐANG PHÁT]";
inline constexpr const char* OVERLAY_HINTS =
    "[A] Phát/Dừng  [◄/►] Tua nhanh (Giữ tăng tốc)  [▲/▼] Âm lượng  [X] Tỉ lệ  [L1/R1] Đổi tập  [B] Trở về";

// Redraws the whole back buffer of fb as one overlay frame: header, optional
// centre box, footer with progress and hints. Every pixel outside the shapes
// is 0x00000000 so the video layer shows through. text must draw into fb.
void draw_playback_overlay(Framebuffer& fb, TextRenderer& text, const OverlayView& view);

// "{position} / {duration}" as clock strings of whole seconds, never negative.
std::string overlay_time_text(int64_t position_ms, int64_t duration_ms);

// Columns of the progress fill for a track width_px wide: the played fraction,
// clamped to the track, rounded down. 0 without a duration.
int32_t overlay_filled_width(int64_t position_ms, int64_t duration_ms, int32_t width_px);

}  // namespace qz
