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

}  // namespace qz
