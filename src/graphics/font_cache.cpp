#include "graphics/font_cache.h"

#include <bit>
#include <cstdlib>

#include "common/log.h"
#include "graphics/embedded_font.h"

// The rasteriser is compiled into this one file with internal linkage, so the
// device binary needs no library for it and nothing else can clash with it.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

namespace qz {

struct Font::Info {
    stbtt_fontinfo font{};
};

namespace {

uint32_t read_u32(std::span<const uint8_t> b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The rasteriser trusts every offset it reads. It only ever sees our own font,
// but checking that the table directory lies inside the bytes keeps a damaged
// or truncated file from being read past its end at the first look.
bool directory_in_bounds(std::span<const uint8_t> b, size_t offset) {
    if (offset > b.size() || b.size() - offset < 12) return false;
    const size_t tables = size_t(b[offset + 4]) << 8 | b[offset + 5];
    if ((b.size() - offset - 12) / 16 < tables) return false;
    for (size_t i = 0; i < tables; ++i) {
        const size_t rec = offset + 12 + 16 * i;
        const uint64_t start = read_u32(b, rec + 8);
        const uint64_t length = read_u32(b, rec + 12);
        if (start + length > b.size()) return false;
    }
    return true;
}

const Glyph& empty_glyph() {
    static const Glyph empty{};
    return empty;
}

}  // namespace

Font::Font(std::unique_ptr<Info> info, Caching caching) : info_(std::move(info)), caching_(caching) {}

Font::~Font() = default;

std::unique_ptr<Font> Font::parse(std::span<const uint8_t> bytes, Caching caching) {
    if (bytes.size() < 12) return nullptr;
    const int offset = stbtt_GetFontOffsetForIndex(bytes.data(), 0);
    if (offset < 0 || !directory_in_bounds(bytes, static_cast<size_t>(offset))) return nullptr;
    auto info = std::make_unique<Info>();
    if (stbtt_InitFont(&info->font, bytes.data(), offset) == 0) return nullptr;
    return std::unique_ptr<Font>(new Font(std::move(info), caching));
}

std::unique_ptr<Font> Font::parse_or_exit(std::span<const uint8_t> bytes, Caching caching) {
    auto font = parse(bytes, caching);
    if (!font) {
        log::plain("Failed to load embedded font");
        std::exit(1);
    }
    return font;
}

Font& Font::shared() {
    // A function-local static: the first use parses, concurrent first uses wait.
    static const std::unique_ptr<Font> font = parse_or_exit(embedded_font(), Caching::On);
    return *font;
}

int Font::glyph_index(char32_t cp) const {
    return stbtt_FindGlyphIndex(&info_->font, static_cast<int>(cp));
}

void Font::rasterise(char32_t cp, float size, Glyph& out) const {
    const stbtt_fontinfo* f = &info_->font;
    const int index = stbtt_FindGlyphIndex(f, static_cast<int>(cp));
    const float scale = stbtt_ScaleForMappingEmToPixels(f, size);
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(f, index, &advance, &bearing);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBox(f, index, scale, scale, &x0, &y0, &x1, &y1);

    out.metrics = GlyphMetrics{x0, -y1, x1 - x0, y1 - y0, static_cast<float>(advance) * scale};
    const size_t w = static_cast<size_t>(out.metrics.width);
    const size_t h = static_cast<size_t>(out.metrics.height);
    out.coverage.resize(w * h);
    if (w > 0 && h > 0) {
        stbtt_MakeGlyphBitmap(f, out.coverage.data(), out.metrics.width, out.metrics.height, out.metrics.width, scale,
                              scale, index);
    }
}

const Glyph& Font::glyph(char32_t cp, float size) {
    if (!usable_text_size(size)) return empty_glyph();
    if (caching_ == Caching::Off) {
        rasterise(cp, size, scratch_);
        return scratch_;
    }
    const uint64_t key = uint64_t(cp) << 32 | std::bit_cast<uint32_t>(size);
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    if (cache_.size() >= CACHE_LIMIT) cache_.clear();
    Glyph& slot = cache_[key];
    rasterise(cp, size, slot);
    return slot;
}

}  // namespace qz
