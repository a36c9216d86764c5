#pragma once

#include "graphics/framebuffer.h"

// The colours every screen shares, as the screen tests expect them drawn;
// spelled here rather than taken from the program, so a changed colour shows.
namespace qz::test::screen_colors {

inline constexpr Color BACKGROUND = 0xff0e0a1a;
inline constexpr Color BAR = 0xff160f2c;
inline constexpr Color ACCENT = 0xffa855f7;
inline constexpr Color WHITE = 0xffffffff;
inline constexpr Color SECONDARY = 0xff94a3b8;
inline constexpr Color HIGHLIGHT = 0xfffbbf24;

}  // namespace qz::test::screen_colors
