#include "main/home_screen.h"

#include <algorithm>
#include <string>

#include "common/utf8.h"
#include "graphics/draw.h"
#include "graphics/palette.h"
#include "graphics/widgets.h"

namespace qz {

namespace {

constexpr int32_t ROW_STEP = 288;
constexpr int32_t CARD_W = 168;
constexpr int32_t CARD_H = 240;
constexpr int32_t CARD_STEP = 184;
constexpr Color HERO_FILL = 0xff17102d;

struct PosterUrls {
    std::string first;
    std::string second;
};

PosterUrls poster_urls(const ShelfEntry& entry) {
    if (const auto* h = std::get_if<HistoryItem>(&entry)) return {h->poster_url, {}};
    const auto& m = std::get<MediaItem>(entry);
    return {m.thumbnail.value_or(""), m.backdrop.value_or("")};
}

constexpr BadgeStyle EPISODE_BADGE{12, 20, 4, 0xd0a855f7, 6, 3, WHITE, 11.0f};
constexpr BadgeStyle CARD_BADGE{10, 18, 3, 0xd0201540, 5, 3, HIGHLIGHT, 10.5f};
constexpr ProgressBarStyle CARD_PROGRESS{152, 4, 2, 0x80333333, ACCENT};

void draw_history_card_extras(TextRenderer& text, const HistoryItem& h, int32_t x, int32_t top) {
    Framebuffer& fb = text.framebuffer();
    draw_badge(text, x + 6, top + 6, EPISODE_BADGE, "Tập " + std::to_string(h.episode_number));
    int64_t watched = std::max<int64_t>(h.last_pos_secs, 0) / 60;
    int64_t total = std::max<int64_t>(h.duration_secs, 0) / 60;
    std::string line = h.duration_secs > 59
                           ? "Đã xem " + std::to_string(watched) + "/" + std::to_string(total) + "p"
                           : "Đã xem " + std::to_string(watched) + "p";
    text.draw_text(line, x + 8, top + 226, HIGHLIGHT, 11.0f);
    const double ratio =
        h.duration_secs >= 1 ? static_cast<double>(h.last_pos_secs) / static_cast<double>(h.duration_secs) : 0.0;
    draw_progress_bar(fb, x + 8, top + 234, CARD_PROGRESS, ratio);
}

void draw_catalog_card_extras(TextRenderer& text, const MediaItem& m, int32_t x, int32_t top) {
    if (m.quality) {
        draw_badge(text, x + 6, top + 6, CARD_BADGE, *m.quality);
    }
    if (m.year) {
        std::string year = year_badge_text(*m.year);
        int32_t w = text.text_width(year, 10.5f);
        BadgeStyle style = CARD_BADGE;
        style.text_color = WHITE;
        draw_badge(text, x + 152 - w, top + 6, style, year);
    }
    text.draw_text(m.time.value_or("HD Vietsub"), x + 8, top + 226, SECONDARY, 11.0f);
}

void draw_card(const ShelfEntry& entry, PosterLookup& posters, TextRenderer& text, int32_t x, int32_t top,
               bool focused) {
    Framebuffer& fb = text.framebuffer();
    fill_rounded_rect(fb, x, top, CARD_W, CARD_H, 8, PANEL_FILL);
    PosterUrls urls = poster_urls(entry);
    if (auto image = lookup_poster(posters, urls.first, urls.second)) {
        draw_image_cover(fb, *image, x, top, CARD_W, CARD_H);
    } else {
        fill_rounded_rect(fb, x, top, CARD_W, CARD_H, 8, 0xff150e2a);
        text.draw_text("NUVALTO", x + 56, top + 114, PLACEHOLDER_TEXT, 12.5f);
    }
    fill_vertical_gradient(fb, x, top + 150, CARD_W, 90, 0xff0b0817, 0, 245);
    const std::string& title = std::holds_alternative<HistoryItem>(entry)
                                   ? std::get<HistoryItem>(entry).movie_title
                                   : std::get<MediaItem>(entry).title;
    text.draw_text(utf8::shorten(title, 20, 17), x + 8, top + 208, WHITE, 13.0f);
    if (const auto* h = std::get_if<HistoryItem>(&entry)) {
        draw_history_card_extras(text, *h, x, top);
    } else {
        draw_catalog_card_extras(text, std::get<MediaItem>(entry), x, top);
    }
    if (focused) {
        draw_rect(fb, x - 3, top - 3, CARD_W + 6, CARD_H + 6, 3, ACCENT);
        draw_rect(fb, x - 1, top - 1, CARD_W + 2, CARD_H + 2, 1, WHITE);
    }
}

void draw_shelf_row(const AppState& state, size_t i, PosterLookup& posters, TextRenderer& text, int32_t y) {
    Framebuffer& fb = text.framebuffer();
    const Shelf& shelf = state.home.shelves[i];
    const bool focused_shelf = i == state.home.selected_shelf;
    if (focused_shelf) {
        fill_rounded_rect(fb, 24, y + 231, 4, 18, 2, ACCENT);
        text.draw_text(shelf.title, 36, y + 246, WHITE, 15.0f);
        std::string count = "(" + std::to_string(shelf.entries.size()) + " phim)";
        text.draw_text(count, 36 + text.text_width(shelf.title, 15.0f) + 8, y + 246, SECONDARY, 12.0f);
    } else {
        text.draw_text(shelf.title, 24, y + 246, SECONDARY, 14.0f);
    }
    const size_t selected = state.home.selected_entry[i];
    const int32_t offset = selected <= 1 ? 0 : -static_cast<int32_t>(selected - 1) * CARD_STEP;
    const auto width = static_cast<int32_t>(fb.width());
    const int32_t top = y + 260;
    if (shelf.entries.empty()) {
        for (int32_t k = 0; k < 4; ++k) {
            int32_t x = 24 + offset + k * CARD_STEP;
            if (x > width || x + CARD_W < 0) continue;
            fill_rounded_rect(fb, x, top, CARD_W, CARD_H, 8, 0xff191133);
            if (shelf.loading) {
                text.draw_text("Đang tải...", x + 48, y + 380, SECONDARY, 13.0f);
            } else {
                text.draw_text("Chưa có phim", x + 42, y + 380, SECONDARY, 13.0f);
            }
        }
        return;
    }
    for (size_t j = 0; j < shelf.entries.size(); ++j) {
        int32_t x = 24 + static_cast<int32_t>(j) * CARD_STEP + offset;
        if (x > width) break;
        if (x + CARD_W < 0) continue;
        draw_card(shelf.entries[j], posters, text, x, top, focused_shelf && j == selected);
    }
}

void draw_hero_poster(const ShelfEntry& entry, PosterLookup& posters, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    PosterUrls urls = poster_urls(entry);
    if (auto image = lookup_poster(posters, urls.first, urls.second)) {
        draw_image_cover(fb, *image, w - 288, 64, 260, 142);
        // Fade the poster's left edge into the panel.
        for (int32_t k = 0; k < 60; ++k) {
            auto alpha = static_cast<uint8_t>((13800 - 230 * k) / 60);
            for (int32_t row = 64; row <= 205; ++row) blend_pixel(fb, w - 288 + k, row, HERO_FILL, alpha);
        }
    } else {
        fill_rounded_rect(fb, w - 288, 64, 260, 142, 8, 0xff100a22);
        text.draw_text("NUVALTO HD", w - 208, 127, PLACEHOLDER_TEXT, 14.0f);
    }
}

void draw_hero_history(const HistoryItem& h, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    text.draw_text("TIẾP TỤC XEM (ĐÃ XEM GẦN ĐÂY)", 38, 70, HIGHLIGHT, 12.0f);
    text.draw_text(utf8::shorten(h.movie_title, 33, 30), 38, 92, WHITE, 21.0f);
    std::string episode = "Tập " + std::to_string(h.episode_number);
    std::string trimmed = utf8::trim(h.episode_title);
    std::string line = (!trimmed.empty() && trimmed != episode)
                           ? episode + ": " + h.episode_title + " • " + h.server_name
                           : episode + " • " + h.server_name;
    text.draw_text(line, 38, 124, ACCENT, 14.0f);
    blend_rounded_rect(fb, 38, 150, 320, 6, 3, 0x80333333);
    if (h.duration_secs > 0) {
        double ratio = static_cast<double>(h.last_pos_secs) / static_cast<double>(h.duration_secs);
        auto w = static_cast<int32_t>(std::clamp(ratio * 320.0, 0.0, 320.0));
        if (w > 0) fill_rounded_rect(fb, 38, 150, w, 6, 3, ACCENT);
    }
    std::string watched = "Đã xem " + watched_clock(h.last_pos_secs);
    std::string time_line = h.duration_secs > 59
                                ? watched + "/" + std::to_string(h.duration_secs / 60) +
                                      " phút  •  [A] Phát tiếp ngay đoạn dừng"
                                : watched + "  •  [A] Phát tiếp ngay";
    text.draw_text(time_line, 38, 168, HIGHLIGHT, 12.5f);
}

void draw_hero_catalog(const MediaItem& m, const std::string& shelf_title, TextRenderer& text) {
    text.draw_text(shelf_title, 38, 70, ACCENT, 12.0f);
    text.draw_text(utf8::shorten(m.title, 35, 32), 38, 92, WHITE, 21.0f);
    struct Badge {
        const std::optional<std::string>* value;
        Color fill;
        Color color;
    };
    std::optional<std::string> year;
    if (m.year) year = year_badge_text(*m.year);
    const Badge badges[] = {{&m.quality, HEADER_FILL, WHITE},
                            {&year, CHIP_FILL, WHITE},
                            {&m.time, CHIP_FILL, SECONDARY},
                            {&m.lang, CHIP_FILL, HIGHLIGHT}};
    int32_t x = 38;
    for (const Badge& b : badges) {
        if (!*b.value) continue;
        draw_badge(text, x, 126, BadgeStyle{14, 20, 4, b.fill, 7, 3, b.color, 11.0f}, **b.value);
        x += text.text_width(**b.value, 11.0f) + 14 + 8;
    }
    text.draw_text("Bấm [A] để xem thông tin chi tiết, chọn tập và phát video", 38, 166, SECONDARY, 13.0f);
}

void draw_hero(const AppState& state, PosterLookup& posters, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    if (!(w - 20 > 20)) return;
    fill_rounded_rect(fb, 20, 56, w - 40, 158, 12, HERO_FILL);
    draw_rect(fb, 20, 56, w - 40, 158, 1, 0xff2f2154);
    const ShelfEntry* entry = focused_entry(state);
    if (entry == nullptr) {
        text.draw_text("QZ-NUVALTO • Rạp Phim & Hoạt Hình Full HD", 38, 96, WHITE, 20.0f);
        text.draw_text("Sử dụng D-Pad để duyệt qua các danh mục phim.", 38, 136, SECONDARY, 14.0f);
        return;
    }
    draw_hero_poster(*entry, posters, text);
    if (const auto* h = std::get_if<HistoryItem>(entry)) {
        draw_hero_history(*h, text);
    } else {
        draw_hero_catalog(std::get<MediaItem>(*entry), state.home.shelves[state.home.selected_shelf].title, text);
    }
}

void draw_top_bar(const AppState& state, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    fill_rect(fb, 0, 0, w, 52, BAR_FILL);
    fill_rect(fb, 0, 50, w, 2, ACCENT);
    fill_rounded_rect(fb, 20, 10, 32, 32, 6, HEADER_FILL);
    text.draw_text("▶", 29, 17, WHITE, 16.0f);
    text.draw_text("QZ-NUVALTO", 60, 15, WHITE, 20.0f);

    std::string label = state.home.selected_shelf < state.home.shelves.size()
                            ? utf8::shorten(state.home.shelves[state.home.selected_shelf].title, 23, 20)
                            : "TRANG CHỦ";
    std::string pill = "HÀNG " + std::to_string(state.home.selected_shelf + 1) + "/" +
                       std::to_string(state.home.shelves.size()) + " • " + label;
    int32_t tw = text.text_width(pill, 12.0f);
    int32_t px = (w - tw - 24) / 2;
    text.draw_text("[L1]", px - 34, 19, SECONDARY, 12.0f);
    fill_rounded_rect(fb, px, 10, tw + 24, 30, 15, 0xff281a4e);
    text.draw_text(pill, px + 12, 18, WHITE, 12.0f);
    text.draw_text("[R1]", px + tw + 32, 19, SECONDARY, 12.0f);

    fill_rounded_rect(fb, w - 160, 10, 140, 30, 6, CHIP_FILL);
    text.draw_text("[SELECT] TÌM KIẾM", w - 150, 19, WHITE, 11.5f);
}

void draw_footer(TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    const auto w = static_cast<int32_t>(fb.width());
    const auto h = static_cast<int32_t>(fb.height());
    fill_rect(fb, 0, h - 42, w, 42, BAR_FILL);
    fill_rect(fb, 0, h - 42, w, 1, 0xff2d1f5e);
    text.draw_text(
        "[SELECT] Tìm kiếm   [D-Pad] Chọn phim   [A] Phát / Chi tiết   [L1/R1] Nhảy Kệ   [X] Tải lại   "
        "[START] OTA   [B] Thoát",
        24, h - 27, WHITE, 13.5f);
}

}  // namespace

void draw_home(const AppState& state, PosterLookup& posters, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    fb.clear(SCREEN_BACKGROUND);
    const auto h = static_cast<int32_t>(fb.height());
    for (size_t i = 0; i < state.home.shelves.size(); ++i) {
        int64_t y64 = (static_cast<int64_t>(i) - static_cast<int64_t>(state.home.selected_shelf)) * ROW_STEP;
        if (!(y64 + 228 < h - 44 && y64 > -292)) continue;
        draw_shelf_row(state, i, posters, text, static_cast<int32_t>(y64));
    }
    fill_rect(fb, 0, 0, static_cast<int32_t>(fb.width()), 224, SCREEN_BACKGROUND);
    draw_hero(state, posters, text);
    draw_top_bar(state, text);
    draw_footer(text);
}

}  // namespace qz
