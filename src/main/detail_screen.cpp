#include "main/detail_screen.h"

#include <cstdint>

#include "common/utf8.h"
#include "graphics/draw.h"
#include "graphics/palette.h"
#include "graphics/widgets.h"

namespace qz {

namespace {

constexpr int32_t CONTENT_X = 248;
constexpr int32_t PANEL_X = 712;
constexpr int32_t LIST_X = 728;
constexpr int32_t ROW_STEP = 32;

// Every occurrence in one left-to-right pass; the result is not searched again.
std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (true) {
        size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

void draw_poster(const MediaDetail& detail, PosterLookup& posters, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    fill_rounded_rect(fb, 22, 64, 204, 284, 10, HEADER_FILL);
    // Only the portrait thumbnail suits this frame; the wide backdrop is never asked for.
    auto image = lookup_poster(posters, detail.thumbnail.value_or(""), "");
    if (image) {
        draw_image_cover(fb, *image, 24, 66, 200, 280);
    } else {
        fill_rounded_rect(fb, 24, 66, 200, 280, 8, PANEL_FILL);
        text.draw_text("NO POSTER", 69, 196, SECONDARY, 16.0f);
    }
}

void draw_info(const AppState& state, const MediaDetail& detail, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    text.draw_text(detail.title, CONTENT_X, 70, WHITE, 20.0f);
    text.draw_text(detail_meta_line(detail), CONTENT_X, 100, ACCENT, 14.0f);
    text.draw_text("Tóm tắt nội dung:", CONTENT_X, 134, WHITE, 14.0f);
    const std::string synopsis = clean_synopsis(detail.description.value_or("Không có mô tả chi tiết."));
    text.draw_wrapped(synopsis, CONTENT_X, 158, 440, 7, 13.0f);
    if (state.detail.history) {
        fill_rounded_rect(fb, CONTENT_X, 326, 440, 42, 8, 0xff241544);
        draw_rect(fb, CONTENT_X, 326, 440, 42, 1, ACCENT);
        text.draw_text(resume_box_text(*state.detail.history), 260, 340, HIGHLIGHT, 12.5f);
    }
}

void draw_episode_list(const AppState& state, const std::vector<EpisodeItem>& episodes, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    text.draw_text("DANH SÁCH TẬP (" + std::to_string(episodes.size()) + ")", LIST_X, 80, WHITE, 15.0f);
    for (size_t r = 0; r < DETAIL_VISIBLE_EPISODES; ++r) {
        const size_t k = state.detail.episode_top + r;
        if (k >= episodes.size()) break;
        const auto row_y = static_cast<int32_t>(ROW_STEP * r);
        const bool selected = k == state.detail.episode_index;
        if (selected && w - 32 > 720) fill_rounded_rect(fb, 720, 108 + row_y, w - 752, 28, 6, HEADER_FILL);
        text.draw_text(episode_row_label(episodes[k], k, state.detail.history), LIST_X, 114 + row_y,
                       selected ? WHITE : SECONDARY, 13.0f);
    }
}

void draw_film_panel(const AppState& state, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    text.draw_text("BẮT ĐẦU XEM PHIM", LIST_X, 84, WHITE, 16.0f);
    if (w - 40 > LIST_X) fill_rounded_rect(fb, LIST_X, 126, w - 768, 60, 12, HEADER_FILL);
    text.draw_text(film_button_text(state.detail.history), 740, 148, WHITE, 16.0f);
    text.draw_text("Bấm [A] để tải & phát video trực tiếp", LIST_X, 211, HIGHLIGHT, 13.0f);
    text.draw_text("Hỗ trợ âm thanh nổi & tỉ lệ 16:9 full màn hình", LIST_X, 241, SECONDARY, 12.0f);
}

void draw_right_panel(const AppState& state, const MediaDetail& detail, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    const auto h = static_cast<int32_t>(fb.height());
    if (h - 44 > 66 && w - 24 > PANEL_X) fill_rounded_rect(fb, PANEL_X, 66, w - 736, h - 110, 8, PANEL_FILL);
    if (detail.episodes && detail.episodes->size() > 1) {
        draw_episode_list(state, *detail.episodes, text);
    } else {
        draw_film_panel(state, text);
    }
}

void draw_header(TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    fill_rect(fb, 0, 0, w, 50, BAR_FILL);
    fill_rect(fb, 0, 49, w, 1, ACCENT);
    text.draw_text("◀ THÔNG TIN PHIM & TẬP PHÁT", 24, 16, WHITE, 18.0f);
}

// Drawn last, so it covers whatever reaches the bottom on a short screen.
void draw_footer(TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    const auto h = static_cast<int32_t>(fb.height());
    fill_rect(fb, 0, h - 44, w, 44, BAR_FILL);
    text.draw_text("[A] Bắt đầu phát video   [D-Pad Lên/Xuống] Chọn tập   [B] Quay lại danh mục", 24, h - 30, WHITE,
                   14.0f);
}

}  // namespace

std::string clean_synopsis(std::string_view description) {
    std::string text = replace_all(description, "<p>", "");
    text = replace_all(text, "</p>", "");
    return replace_all(text, "<br>", "\n");
}

std::string detail_meta_line(const MediaDetail& detail) {
    std::string line;
    for (const auto* value : {&detail.quality, &detail.lang, &detail.time}) {
        if (!*value) continue;
        if (!line.empty()) line += " • ";
        line += **value;
    }
    return line;
}

uint64_t displayed_episode_number(const EpisodeItem& episode, size_t index) {
    return episode.number ? *episode.number : static_cast<uint64_t>(index) + 1;
}

std::string episode_row_label(const EpisodeItem& episode, size_t index, const std::optional<HistoryItem>& record) {
    const uint64_t n = displayed_episode_number(episode, index);
    std::string label = "Tập " + std::to_string(n) + ": " + episode.title;
    if (record && record->episode_number == n && record->last_pos_secs >= 1) {
        label += " [Đã xem " + watched_clock(record->last_pos_secs) + "]";
    }
    return utf8::shorten(label, 31, 28);
}

std::string resume_box_text(const HistoryItem& record) {
    std::string text = "▶ ĐÃ XEM TẬP " + std::to_string(record.episode_number) + ": " +
                       watched_clock(record.last_pos_secs);
    if (record.duration_secs > 59) text += "/" + std::to_string(record.duration_secs / 60) + "p";
    return text + " (Bấm Play để phát tiếp)";
}

std::string film_button_text(const std::optional<HistoryItem>& record) {
    if (!record || record->last_pos_secs < 1) return "▶  PHÁT PHIM NGAY (FHD)";
    return "▶  TIẾP TỤC (" + watched_clock(record->last_pos_secs) + ")";
}

void draw_detail(const AppState& state, PosterLookup& posters, TextRenderer& text) {
    text.framebuffer().clear(SCREEN_BACKGROUND);
    draw_header(text);
    if (state.detail.media) {
        draw_poster(*state.detail.media, posters, text);
        draw_info(state, *state.detail.media, text);
        draw_right_panel(state, *state.detail.media, text);
    }
    draw_footer(text);
}

}  // namespace qz
