#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

namespace qz {

// Sizes are em sizes in pixels. Beyond this a single glyph bitmap would be
// megabytes; no screen comes near it.
inline constexpr float MAX_TEXT_SIZE = 1024.0f;

// Finite, positive and at most MAX_TEXT_SIZE; other sizes draw nothing.
inline bool usable_text_size(float size) { return size > 0.0f && size <= MAX_TEXT_SIZE; }

// Where a glyph's coverage bitmap sits relative to the pen on the baseline.
struct GlyphMetrics {
    int32_t left = 0;    // left edge of the bitmap relative to the pen
    int32_t bottom = 0;  // bottom edge relative to the baseline, positive upwards
    int32_t width = 0;
    int32_t height = 0;
    float advance = 0.0f;  // unrounded; callers truncate per glyph
};

struct Glyph {
    GlyphMetrics metrics;
    std::vector<uint8_t> coverage;  // width x height, row-major, top row first
};

// A parsed TrueType font. With caching on, every (character, size) is
// rasterised once and kept; with caching off, every request rasterises anew,
// which is the reference the cached output must equal.
// Not synchronised: glyph() is for one thread at a time (the main thread).
class Font {
public:
    enum class Caching { On, Off };

    // The bytes must outlive the Font. Null when they are not a usable font.
    static std::unique_ptr<Font> parse(std::span<const uint8_t> bytes, Caching caching);
    // As parse(), but a font that does not load stops the program.
    static std::unique_ptr<Font> parse_or_exit(std::span<const uint8_t> bytes, Caching caching);
    // The embedded font with its glyph cache, parsed once per process.
    static Font& shared();

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // 0 when the font has no glyph for the character (its missing-glyph box).
    int glyph_index(char32_t cp) const;
    // size: the em size in pixels, finite and positive. The reference stays
    // valid until the next call of glyph() on this Font.
    const Glyph& glyph(char32_t cp, float size);

    bool caching() const { return caching_ == Caching::On; }
    size_t cached_glyphs() const { return cache_.size(); }

    // Above this many entries the cache starts over, so text with endless
    // distinct characters or sizes cannot grow it without bound.
    static constexpr size_t CACHE_LIMIT = 8192;

private:
    struct Info;
    Font(std::unique_ptr<Info> info, Caching caching);
    void rasterise(char32_t cp, float size, Glyph& out) const;

    std::unique_ptr<Info> info_;
    Caching caching_;
    std::unordered_map<uint64_t, Glyph> cache_;
    Glyph scratch_;  // the uncached result, reused so its buffer is not reallocated
};

}  // namespace qz
