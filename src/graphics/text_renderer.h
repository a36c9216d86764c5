#pragma once

#include <cstdint>
#include <string_view>

#include "graphics/color.h"
#include "graphics/framebuffer.h"

namespace qz {

class Font;  // the parsed embedded font with its glyph cache (text_renderer.cpp)

// Draws text in the embedded font into a Framebuffer. Cheap to create: the
// font is parsed once per process and glyphs are cached by (character, size);
// the output is identical to rasterising every glyph anew.
class TextRenderer {
public:
    explicit TextRenderer(Framebuffer& fb);

    Framebuffer& framebuffer() { return fb_; }

    // x, y: top-left of the line's em box; the baseline is y + trunc(size).
    void draw_text(std::string_view text, int32_t x, int32_t y, Color color, float size);
    // How far the pen moves while drawing the same text.
    int32_t text_width(std::string_view text, float size);
    // Word-wrapped paragraph in 0xff94a3b8, 22-pixel line step.
    void draw_wrapped(std::string_view text, int32_t x, int32_t y, int32_t max_width, uint32_t max_lines,
                      float size);

private:
    Framebuffer& fb_;
    Font& font_;
};

}  // namespace qz
