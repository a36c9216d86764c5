#include "support/pixel_probe.h"

#include <algorithm>
#include <cstdlib>

#include "graphics/png_writer.h"
#include "graphics/text_renderer.h"

// An independent decoder for reading the screenshots back.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace qz::test {

testing::AssertionResult text_at(const Framebuffer& fb, const std::string& text, int32_t x, int32_t y,
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

testing::AssertionResult region_is(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h,
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

bool region_has_other(const Framebuffer& fb, int32_t x, int32_t y, int32_t w, int32_t h, Color color) {
    return !region_is(fb, x, y, w, h, color);
}

int32_t text_width(const std::string& text, float size) {
    Framebuffer scratch = Framebuffer::in_memory(1, 1);
    return TextRenderer(scratch).text_width(text, size);
}

void maybe_write_png(const Framebuffer& fb, const std::string& name) {
    const char* dir = std::getenv("QZ_SCREEN_PNG_DIR");
    if (dir == nullptr || *dir == '\0') return;
    PngWriteResult result = write_png(std::string(dir) + "/" + name + ".png", fb, PngChannels::Rgb);
    EXPECT_TRUE(result.ok()) << result.error;
}

namespace {

// Rows and columns as stored; the alpha byte is dropped.
std::unique_ptr<Framebuffer> to_frame(stbi_uc* data, int w, int h) {
    if (data == nullptr) return nullptr;
    auto fb = std::make_unique<Framebuffer>(Framebuffer::in_memory(uint32_t(w), uint32_t(h)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const stbi_uc* p = data + (size_t(y) * size_t(w) + size_t(x)) * 4;
            fb->at(uint32_t(x), uint32_t(y)) = 0xff000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    stbi_image_free(data);
    return fb;
}

}  // namespace

std::unique_ptr<Framebuffer> read_png_frame(const std::string& path) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* data = stbi_load(path.c_str(), &w, &h, &channels, 4);
    return to_frame(data, w, h);
}

std::unique_ptr<Framebuffer> decode_png_frame(const std::string& bytes) {
    int w = 0, h = 0, channels = 0;
    stbi_uc* data = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w,
                                          &h, &channels, 4);
    return to_frame(data, w, h);
}

Framebuffer crop(const Framebuffer& fb, uint32_t w, uint32_t h) {
    w = std::min(w, fb.width());
    h = std::min(h, fb.height());
    Framebuffer out = Framebuffer::in_memory(w, h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) out.at(x, y) = fb.at(x, y);
    }
    return out;
}

Color blend_over(Color c, Color d) {
    const uint32_t a = c >> 24;
    Color out = 0xff000000;
    for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t cc = (c >> shift) & 0xff, dc = (d >> shift) & 0xff;
        out |= ((cc * a + dc * (255 - a)) / 255) << shift;
    }
    return out;
}

Color dimmed(Color c, uint32_t keep) {
    Color out = 0xff000000u;
    for (int shift = 0; shift <= 16; shift += 8) out |= (((c >> shift) & 0xffu) * keep / 255) << shift;
    return out;
}

}  // namespace qz::test
