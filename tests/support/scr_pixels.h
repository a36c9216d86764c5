#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "graphics/framebuffer.h"

namespace qz::test {

// The text drawn alone over a plain background must appear pixel for pixel
// on the screen (position, colour, size and wording all show in the glyphs).
// Rows from clip_bottom down are not compared: something drawn later covers them.
testing::AssertionResult scr_text_at(const Framebuffer& fb, const std::string& text, int32_t x, int32_t y,
                                     Color color, float size, Color background,
                                     int32_t clip_bottom = std::numeric_limits<int32_t>::max());

// Every pixel of the rectangle has the colour.
testing::AssertionResult scr_region_is(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h,
                                       Color color);

// True when some pixel of the rectangle differs from the colour.
bool scr_region_has_other(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color);

int32_t scr_text_width(const std::string& text, float size);

// When QZ_SCREEN_PNG_DIR is set, writes the frame there as {name}.png so
// people can look at what the probes check.
void scr_maybe_write_png(const Framebuffer& fb, const std::string& name);

}  // namespace qz::test
