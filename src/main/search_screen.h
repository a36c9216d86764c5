#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "graphics/framebuffer.h"
#include "graphics/text_renderer.h"
#include "input/button.h"
#include "main/app_state.h"
#include "main/main_loop.h"

namespace qz {

inline constexpr size_t KEYBOARD_ROWS = 4;
inline constexpr size_t KEYBOARD_COLS = 10;
inline constexpr size_t QUERY_MAX_BYTES = 40;

// The word keys act instead of typing their text.
inline constexpr const char* KEY_DELETE = "<-";
inline constexpr const char* KEY_SPACE = "CÁCH";
inline constexpr const char* KEY_SEARCH = "TÌM";
inline constexpr const char* KEY_CLEAR = "XÓA";

inline constexpr std::array<std::array<const char*, KEYBOARD_COLS>, KEYBOARD_ROWS> KEYBOARD_LAYOUT = {{
    {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"},
    {"Q", "W", "E", "R", "T", "Y", "U", "I", "O", "P"},
    {"A", "S", "D", "F", "G", "H", "J", "K", "L", KEY_DELETE},
    {"Z", "X", "C", "V", "B", "N", "M", KEY_SPACE, KEY_SEARCH, KEY_CLEAR},
}};

inline constexpr const char* SEARCH_HINT =
    "[D-PAD] Di chuyển  •  [A] Chọn  •  [Y] Xóa lùi  •  [X] Dấu cách  •  [START] Tìm ngay  •  [B] Đóng";
inline constexpr const char* SEARCH_BUSY_TEXT = "Đang tìm kiếm phim từ máy chủ...";

// What a key shows: its text, except "DEL" for the delete key.
std::string_view keyboard_label(std::string_view key);

// Keys while the keyboard is open: moves the highlight, edits the query or
// starts the search (which switches back to Home).
void handle_search_key(LoopContext& ctx, Button button);

// The keyboard panel over the home screen (which must already be drawn).
void draw_search_overlay(const AppState& state, TextRenderer& text);

}  // namespace qz
