#include "support/scr_pixels.h"

#include <cstdlib>

#include "graphics/png_writer.h"
#include "graphics/text_renderer.h"

namespace qz::test {

testing::AssertionResult scr_text_at(const Framebuffer& fb, const std::string& text, int32_t x, int32_t y,
                                     Color color, float size, Color background, int32_t clip_bottom) {
    Framebuffer ref = Framebuffer::in_memory(fb.width(), fb.height());
    ref.clear(background);
    TextRenderer(ref).draw_text(text, x, y, color, size);
    size_t compared = 0;
    const uint32_t rows = clip_bottom < 0 ? 0 : std::min<uint32_t>(fb.height(), uint32_t(clip_bottom));
    for (uint32_t py = 0; py < rows; ++py) {
        for (uint32_t px = 0; px < fb.width(); ++px) {
            if (ref.at(px, py) == background) continue;
            ++compared;
            if (fb.at(px, py) != ref.at(px, py)) {
                return testing::AssertionFailure() << "\"" << text << "\" differs at (" << px << ", " << py
                                                   << "): got " << std::hex << fb.at(px, py) << ", want "
                                                   << ref.at(px, py);
            }
        }
    }
    if (compared == 0) return testing::AssertionFailure() << "\"" << text << "\" draws nothing on screen";
    return testing::AssertionSuccess();
}

testing::AssertionResult scr_region_is(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h,
                                       Color color) {
    for (int32_t py = y; py < y + h; ++py) {
        for (int32_t px = x; px < x + w; ++px) {
            const Color got = fb.at(uint32_t(px), uint32_t(py));
            if (got != color) {
                return testing::AssertionFailure() << "pixel (" << px << ", " << py << ") is " << std::hex << got
                                                   << ", want " << color;
            }
        }
    }
    return testing::AssertionSuccess();
}

bool scr_region_has_other(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color) {
    return !scr_region_is(fb, x, y, w, h, color);
}

int32_t scr_text_width(const std::string& text, float size) {
    Framebuffer scratch = Framebuffer::in_memory(1, 1);
    return TextRenderer(scratch).text_width(text, size);
}

void scr_maybe_write_png(const Framebuffer& fb, const std::string& name) {
    const char* dir = std::getenv("QZ_SCREEN_PNG_DIR");
    if (dir == nullptr || *dir == '\0') return;
    PngWriteResult result = write_png(std::string(dir) + "/" + name + ".png", fb, PngChannels::Rgb);
    EXPECT_TRUE(result.ok()) << result.error;
}

}  // namespace qz::test
