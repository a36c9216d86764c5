#include "graphics/text_renderer.h"

#include <algorithm>
#include <limits>
#include <string>

#include "common/utf8.h"
#include "graphics/font_cache.h"

namespace qz {

namespace {

constexpr Color WRAPPED_COLOR = 0xff94a3b8;
constexpr int64_t LINE_STEP = 22;

// Mixes color into the pixel with coverage a (1..254): floor division per
// channel, the colour's own alpha ignored, the result opaque.
inline Color blend(Color color, Color pixel, uint32_t a) {
    const uint32_t rest = 255 - a;
    const auto channel = [&](int shift) {
        return ((color >> shift & 0xff) * a + (pixel >> shift & 0xff) * rest) / 255 << shift;
    };
    return 0xff000000u | channel(16) | channel(8) | channel(0);
}

// Positions are 64-bit so that pens and line tops near the ends of the 32-bit
// range clip instead of wrapping around.
void draw_glyph(Framebuffer& fb, const Glyph& glyph, int64_t pen, int64_t baseline, Color color) {
    const GlyphMetrics& m = glyph.metrics;
    const int64_t left = pen + m.left;
    const int64_t top = baseline - m.bottom - m.height;
    const int64_t width = fb.width();
    const int64_t height = fb.height();
    const int64_t c0 = std::max<int64_t>(0, -left);
    const int64_t c1 = std::min<int64_t>(m.width, width - left);
    const int64_t r0 = std::max<int64_t>(0, -top);
    const int64_t r1 = std::min<int64_t>(m.height, height - top);
    if (c0 >= c1 || r0 >= r1) return;

    for (int64_t r = r0; r < r1; ++r) {
        const uint8_t* cov = glyph.coverage.data() + r * m.width + c0;
        Color* out = fb.pixels() + (top + r) * width + left + c0;
        for (int64_t n = c1 - c0; n > 0; --n, ++cov, ++out) {
            const uint32_t a = *cov;
            if (a == 0) continue;
            *out = a == 255 ? color : blend(color, *out, a);
        }
    }
}

void draw_line(Framebuffer& fb, Font& font, std::string_view text, int64_t x, int64_t y, Color color, float size) {
    if (text.empty() || !usable_text_size(size)) return;
    const int64_t baseline = y + static_cast<int64_t>(size);
    int64_t pen = x;
    size_t pos = 0;
    while (pos < text.size()) {
        const Glyph& glyph = font.glyph(utf8::next(text, pos), size);
        draw_glyph(fb, glyph, pen, baseline, color);
        pen += static_cast<int64_t>(glyph.metrics.advance);
    }
}

int64_t measure(Font& font, std::string_view text, float size) {
    if (!usable_text_size(size)) return 0;
    int64_t width = 0;
    size_t pos = 0;
    while (pos < text.size()) width += static_cast<int64_t>(font.glyph(utf8::next(text, pos), size).metrics.advance);
    return width;
}

// The next run of non-white-space characters at or after pos; empty at the end.
std::string_view next_word(std::string_view text, size_t& pos) {
    size_t start = pos;
    while (pos < text.size()) {
        start = pos;
        if (!utf8::is_space(utf8::next(text, pos))) break;
        start = pos;
    }
    size_t end = pos;
    while (pos < text.size()) {
        size_t at = pos;
        if (utf8::is_space(utf8::next(text, pos))) {
            pos = at;
            break;
        }
        end = pos;
    }
    return text.substr(start, end - start);
}

}  // namespace

TextRenderer::TextRenderer(Framebuffer& fb) : fb_(fb), font_(Font::shared()) {}

TextRenderer::TextRenderer(Framebuffer& fb, Font& font) : fb_(fb), font_(font) {}

void TextRenderer::draw_text(std::string_view text, int32_t x, int32_t y, Color color, float size) {
    draw_line(fb_, font_, text, x, y, color, size);
}

int32_t TextRenderer::text_width(std::string_view text, float size) {
    const int64_t width = measure(font_, text, size);
    return static_cast<int32_t>(std::min<int64_t>(width, std::numeric_limits<int32_t>::max()));
}

void TextRenderer::draw_wrapped(std::string_view text, int32_t x, int32_t y, int32_t max_width, uint32_t max_lines,
                                float size) {
    if (max_lines == 0 || !usable_text_size(size)) return;
    // Advances are truncated per glyph and never kerned, so the width of
    // "line word" is exactly width(line) + width(" ") + width(word).
    const int64_t space_width = measure(font_, " ", size);
    std::string line;
    int64_t line_width = 0;
    uint32_t lines_drawn = 0;
    int64_t top = y;
    size_t pos = 0;
    for (std::string_view word = next_word(text, pos); !word.empty(); word = next_word(text, pos)) {
        const int64_t word_width = measure(font_, word, size);
        const int64_t candidate = line.empty() ? word_width : line_width + space_width + word_width;
        if (candidate > max_width && !line.empty()) {
            draw_line(fb_, font_, line, x, top, WRAPPED_COLOR, size);
            if (lines_drawn + 1 >= max_lines) return;
            ++lines_drawn;
            line.assign(word);
            line_width = word_width;
            top += LINE_STEP;
        } else {
            if (!line.empty()) line.push_back(' ');
            line.append(word);
            line_width = candidate;
        }
    }
    if (!line.empty() && lines_drawn < max_lines) draw_line(fb_, font_, line, x, top, WRAPPED_COLOR, size);
}

}  // namespace qz
