#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "graphics/framebuffer.h"

namespace qz::test {

// The text drawn alone over a plain background must appear pixel for pixel
// on the screen (position, colour, size and wording all show in the glyphs).
// Rows from clip_bottom down are not compared: something drawn later covers them.
testing::AssertionResult text_at(const Framebuffer& fb, const std::string& text, int32_t x, int32_t y,
                                 Color color, float size, Color background,
                                 int32_t clip_bottom = std::numeric_limits<int32_t>::max());

// Every pixel of the rectangle has the colour.
testing::AssertionResult region_is(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h,
                                   Color color);

// True when some pixel of the rectangle differs from the colour.
bool region_has_other(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color);

int32_t text_width(const std::string& text, float size);

// When QZ_SCREEN_PNG_DIR is set, writes the frame there as {name}.png so
// people can look at what the probes check.
void maybe_write_png(const Framebuffer& fb, const std::string& name);

// A PNG read back with an independent decoder, alpha dropped; nullptr when
// it cannot be read.
std::unique_ptr<Framebuffer> read_png_frame(const std::string& path);
std::unique_ptr<Framebuffer> decode_png_frame(const std::string& bytes);

// The top-left w x h corner of a frame: a text that runs past a panel's right
// edge can be compared glyph for glyph up to that edge.
Framebuffer crop(const Framebuffer& fb, uint32_t w, uint32_t h);

// What c becomes behind an overlay that keeps keep / 255 of each channel
// (rounded down), made opaque.
Color dimmed(Color c, uint32_t keep);

// A translucent colour c laid over an opaque d, each channel rounded down:
// the mixing rule of translucent fills, written out independently of the
// drawing code.
Color blend_over(Color c, Color d);

}  // namespace qz::test
