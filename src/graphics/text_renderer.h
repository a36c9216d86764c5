#pragma once

#include <cstdint>
#include <string_view>

#include "graphics/color.h"
#include "graphics/framebuffer.h"

namespace qz {

class Font;  // the parsed font with its glyph cache (graphics/font_cache.h)

// Draws text in the embedded font into a Framebuffer. Cheap to create: the
// font is parsed once per process and glyphs are cached by (character, size);
// the output is identical to rasterising every glyph anew. Main thread only.
// Sizes outside (0, MAX_TEXT_SIZE] (font_cache.h) draw nothing and measure 0.
class TextRenderer {
public:
    explicit TextRenderer(Framebuffer& fb);
    // Draws with the given font instead of the shared one (an uncached font is
    // the reference the cached output is compared with). font must outlive this.
    TextRenderer(Framebuffer& fb, Font& font);

    Framebuffer& framebuffer() { return fb_; }

    // x, y: top-left of the line's em box; the baseline is y + trunc(size).
    void draw_text(std::string_view text, int32_t x, int32_t y, Color color, float size);
    // How far the pen moves while drawing the same text.
    int32_t text_width(std::string_view text, float size);
    // Word-wrapped paragraph in 0xff94a3b8, 22-pixel line step. Words split at
    // Unicode white space; a word wider than max_width sits alone on its line.
    // At most max_lines lines, no ellipsis; max_lines 0 draws nothing.
    void draw_wrapped(std::string_view text, int32_t x, int32_t y, int32_t max_width, uint32_t max_lines,
                      float size);

private:
    Framebuffer& fb_;
    Font& font_;
};

}  // namespace qz
