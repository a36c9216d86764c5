#include "main/search_screen.h"

#include <algorithm>

#include "common/utf8.h"
#include "graphics/draw.h"
#include "graphics/palette.h"
#include "graphics/widgets.h"

namespace qz {

namespace {

constexpr Color BOX_FILL = 0xff231742;
constexpr Color BOX_OUTLINE = 0xff4a3482;
constexpr Color KEY_LABEL = 0xffcbd5e1;

constexpr int32_t PANEL_W = 720;
constexpr int32_t PANEL_H = 420;
constexpr int32_t KEY_W = 66;
constexpr int32_t KEY_H = 42;
constexpr uint32_t DIM_KEEP = 47;

void append_character(std::string& query, char c) {
    if (query.size() < QUERY_MAX_BYTES) query.push_back(c);
}

// No two spaces in a row; a leading one is allowed (trimmed when searching).
void append_space(std::string& query) {
    if (query.size() >= QUERY_MAX_BYTES) return;
    if (!query.empty() && query.back() == ' ') return;
    query.push_back(' ');
}

// Removes the last character as the screen draws it: a whole UTF-8 sequence,
// or one stray byte of a malformed one.
void delete_last_character(std::string& query) {
    size_t last_start = 0;
    size_t pos = 0;
    while (pos < query.size()) {
        last_start = pos;
        utf8::next(query, pos);
    }
    query.erase(last_start);
}

size_t search_shelf_position(AppState& state) {
    auto& shelves = state.home.shelves;
    auto found = std::find_if(shelves.begin(), shelves.end(),
                              [](const Shelf& s) { return s.shelf_key == SEARCH_SHELF_KEY; });
    if (found != shelves.end()) return static_cast<size_t>(found - shelves.begin());
    const size_t p = !shelves.empty() && shelves.front().is_history ? 1 : 0;
    shelves.insert(shelves.begin() + static_cast<std::ptrdiff_t>(p), Shelf{SEARCH_SHELF_KEY, "", {}, false, false});
    state.home.selected_entry.insert(
        state.home.selected_entry.begin() + static_cast<std::ptrdiff_t>(std::min(p, state.home.selected_entry.size())),
        0);
    return p;
}

void start_search(LoopContext& ctx) {
    AppState& state = ctx.state;
    const std::string q = utf8::trim(state.search.query);
    if (q.empty()) return;
    const size_t p = search_shelf_position(state);
    Shelf& shelf = state.home.shelves[p];
    shelf.title = "ĐANG TÌM: \"" + q + "\"...";
    shelf.entries.clear();
    shelf.loading = true;
    // Keep the index list parallel even if it was ever short.
    if (state.home.selected_entry.size() < state.home.shelves.size())
        state.home.selected_entry.resize(state.home.shelves.size(), 0);
    state.home.selected_entry[p] = 0;
    state.home.selected_shelf = p;
    ctx.workers.start_search(q);
    state.search.busy = true;
    state.screen = Screen::Home;
}

void activate_key(LoopContext& ctx, std::string_view key) {
    std::string& query = ctx.state.search.query;
    if (key == KEY_DELETE) {
        delete_last_character(query);
    } else if (key == KEY_SPACE) {
        append_space(query);
    } else if (key == KEY_SEARCH) {
        start_search(ctx);
    } else if (key == KEY_CLEAR) {
        query.clear();
    } else if (key.size() == 1) {
        append_character(query, key.front());
    }
}

void activate_highlighted(LoopContext& ctx) {
    const AppState& state = ctx.state;
    if (state.search.key_row >= KEYBOARD_ROWS || state.search.key_col >= KEYBOARD_COLS) return;
    activate_key(ctx, KEYBOARD_LAYOUT[state.search.key_row][state.search.key_col]);
}

void draw_keys(const AppState& state, TextRenderer& text, int32_t x0, int32_t y0) {
    Framebuffer& fb = text.framebuffer();
    for (size_t r = 0; r < KEYBOARD_ROWS; ++r) {
        for (size_t k = 0; k < KEYBOARD_COLS; ++k) {
            const int32_t bx = x0 + 20 + 68 * static_cast<int32_t>(k);
            const int32_t by = y0 + 134 + 50 * static_cast<int32_t>(r);
            const bool lit = r == state.search.key_row && k == state.search.key_col;
            fill_rounded_rect(fb, bx, by, KEY_W, KEY_H, 6, lit ? ACCENT : BOX_FILL);
            if (lit) draw_rect(fb, bx, by, KEY_W, KEY_H, 2, WHITE);
            const std::string_view label = keyboard_label(KEYBOARD_LAYOUT[r][k]);
            const int32_t w = text.text_width(label, 14.0f);
            text.draw_text(label, bx + (KEY_W - w) / 2, by + 12, lit ? WHITE : KEY_LABEL, 14.0f);
        }
    }
}

}  // namespace

std::string_view keyboard_label(std::string_view key) { return key == KEY_DELETE ? "DEL" : key; }

void handle_search_key(LoopContext& ctx, Button button) {
    AppState& state = ctx.state;
    switch (button) {
        case Button::Up:
            if (state.search.key_row > 0) --state.search.key_row;
            break;
        case Button::Down:
            if (state.search.key_row + 1 < KEYBOARD_ROWS) ++state.search.key_row;
            break;
        case Button::Left:
            if (state.search.key_col > 0) --state.search.key_col;
            break;
        case Button::Right:
            if (state.search.key_col + 1 < KEYBOARD_COLS) ++state.search.key_col;
            break;
        case Button::A:
            activate_highlighted(ctx);
            break;
        case Button::X:
            activate_key(ctx, KEY_SPACE);
            break;
        case Button::Y:
            activate_key(ctx, KEY_DELETE);
            break;
        case Button::Start:
            activate_key(ctx, KEY_SEARCH);
            break;
        case Button::B:
            state.screen = Screen::Home;
            break;
        default:
            break;
    }
}

void draw_search_overlay(const AppState& state, TextRenderer& text) {
    Framebuffer& fb = text.framebuffer();
    dim_behind_overlay(fb, DIM_KEEP);
    const int32_t x0 = (static_cast<int32_t>(fb.width()) - PANEL_W) / 2;
    const int32_t y0 = (static_cast<int32_t>(fb.height()) - PANEL_H) / 2;
    fill_rounded_rect(fb, x0, y0, PANEL_W, PANEL_H, 16, BAR_FILL);
    draw_rect(fb, x0, y0, PANEL_W, PANEL_H, 2, ACCENT);
    fill_rounded_rect(fb, x0, y0, PANEL_W, 48, 12, HEADER_FILL);
    text.draw_text("TÌM KIẾM PHIM TRÊN NUVALTO", x0 + 24, y0 + 14, WHITE, 18.0f);

    fill_rounded_rect(fb, x0 + 24, y0 + 64, 672, 46, 8, BOX_FILL);
    draw_rect(fb, x0 + 24, y0 + 64, 672, 46, 1, BOX_OUTLINE);
    if (state.search.query.empty()) {
        text.draw_text("Nhập tên phim cần tìm (Anime, Phim lẻ, Phim bộ)...", x0 + 38, y0 + 78, SECONDARY, 16.0f);
    } else {
        text.draw_text(state.search.query + "▌", x0 + 38, y0 + 78, WHITE, 16.0f);
    }
    if (state.search.busy) text.draw_text(SEARCH_BUSY_TEXT, x0 + 38, y0 + 122, HIGHLIGHT, 14.0f);

    draw_keys(state, text, x0, y0);

    const int32_t hint_w = text.text_width(SEARCH_HINT, 12.5f);
    text.draw_text(SEARCH_HINT, x0 + (PANEL_W - hint_w) / 2, y0 + 398, SECONDARY, 12.5f);
}

}  // namespace qz
