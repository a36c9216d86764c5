#pragma once

#include "graphics/color.h"

namespace qz {

// Colours that recur across the screens; one-off fills stay with their screen.
inline constexpr Color WHITE = 0xffffffff;       // primary text
inline constexpr Color ACCENT = 0xffa855f7;      // selection, shelf marker, loading
inline constexpr Color SECONDARY = 0xff94a3b8;   // secondary text and hints
inline constexpr Color HIGHLIGHT = 0xfffbbf24;   // highlighted text
inline constexpr Color HEADER_FILL = 0xff6a38b3; // header bars, selection fills
inline constexpr Color ERROR_TEXT = 0xffef4444;
inline constexpr Color GOOD_TEXT = 0xff22c55e;
inline constexpr Color SCREEN_BACKGROUND = 0xff0e0a1a;
inline constexpr Color BAR_FILL = 0xff160f2c;          // top and bottom bars, keyboard panel
inline constexpr Color PANEL_FILL = 0xff1d1438;        // cards and panels
inline constexpr Color CHIP_FILL = 0xff2a1c50;         // small labels on the bars and the hero
inline constexpr Color PLACEHOLDER_TEXT = 0xff4a3b7a;  // where a poster is missing

}  // namespace qz
