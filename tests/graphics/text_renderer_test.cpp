#include "graphics/text_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "graphics/embedded_font.h"
#include "graphics/font_cache.h"

// The test's own copy of the rasteriser, used directly as an independent
// reference for where glyphs land and how they are mixed.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

// Counts allocations while a test asks for it, to show that drawing cached
// glyphs allocates nothing.
namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

// The replacements pair malloc with free on purpose; GCC cannot see that once
// they are inlined into the standard containers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace qz {
namespace {

constexpr Color BACKGROUND = 0xff64fa03;
constexpr Color WRAPPED = 0xff94a3b8;

// --- the reference: stb_truetype called directly, one pixel at a time -------

const stbtt_fontinfo& reference_font() {
    static const stbtt_fontinfo info = [] {
        stbtt_fontinfo f{};
        const auto bytes = embedded_font();
        EXPECT_NE(stbtt_InitFont(&f, bytes.data(), 0), 0);
        return f;
    }();
    return info;
}

float reference_advance(char32_t cp, float size) {
    const stbtt_fontinfo& f = reference_font();
    int advance = 0, bearing = 0;
    stbtt_GetGlyphHMetrics(&f, stbtt_FindGlyphIndex(&f, static_cast<int>(cp)), &advance, &bearing);
    return static_cast<float>(advance) * stbtt_ScaleForMappingEmToPixels(&f, size);
}

Color mix(Color c, Color d, int a) {
    Color out = 0xff000000u;
    for (int shift : {0, 8, 16}) {
        const int cc = static_cast<int>(c >> shift & 0xff);
        const int dd = static_cast<int>(d >> shift & 0xff);
        out |= static_cast<Color>((cc * a + dd * (255 - a)) / 255) << shift;
    }
    return out;
}

void reference_draw(Framebuffer& fb, std::string_view text, int x, int y, Color color, float size) {
    const stbtt_fontinfo& f = reference_font();
    const float scale = stbtt_ScaleForMappingEmToPixels(&f, size);
    const int baseline = y + static_cast<int>(size);
    int pen = x;
    size_t pos = 0;
    while (pos < text.size()) {
        const int index = stbtt_FindGlyphIndex(&f, static_cast<int>(utf8::next(text, pos)));
        int w = 0, h = 0, xoff = 0, yoff = 0;
        unsigned char* bitmap = stbtt_GetGlyphBitmap(&f, scale, scale, index, &w, &h, &xoff, &yoff);
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const int a = bitmap[r * w + c];
                const int px = pen + xoff + c;
                const int py = baseline + yoff + r;
                if (a == 0 || px < 0 || py < 0 || px >= int(fb.width()) || py >= int(fb.height())) continue;
                Color& pixel = fb.at(uint32_t(px), uint32_t(py));
                pixel = a == 255 ? color : mix(color, pixel, a);
            }
        }
        stbtt_FreeBitmap(bitmap, nullptr);
        int advance = 0, bearing = 0;
        stbtt_GetGlyphHMetrics(&f, index, &advance, &bearing);
        pen += static_cast<int>(static_cast<float>(advance) * scale);
    }
}

// --- helpers ----------------------------------------------------------------

Framebuffer canvas(uint32_t w, uint32_t h) {
    Framebuffer fb = Framebuffer::in_memory(w, h);
    fb.clear(BACKGROUND);
    return fb;
}

Font& uncached_font() {
    static const std::unique_ptr<Font> font = Font::parse(embedded_font(), Font::Caching::Off);
    return *font;
}

// Equal size and pixels; on failure names the first differing pixel.
::testing::AssertionResult same_pixels(const Framebuffer& a, const Framebuffer& b) {
    if (a.width() != b.width() || a.height() != b.height()) return ::testing::AssertionFailure() << "sizes differ";
    for (uint32_t y = 0; y < a.height(); ++y) {
        for (uint32_t x = 0; x < a.width(); ++x) {
            if (a.at(x, y) != b.at(x, y)) {
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << std::hex << a.at(x, y)
                                                     << " vs " << b.at(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

bool touched(const Framebuffer& fb) {
    for (uint32_t y = 0; y < fb.height(); ++y)
        for (uint32_t x = 0; x < fb.width(); ++x)
            if (fb.at(x, y) != BACKGROUND) return true;
    return false;
}

// --- placement and mixing against the reference -----------------------------

struct DrawCase {
    const char* name;
    std::string text;
    int32_t x, y;
    Color color;
    float size;
};

void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.name; }

class TextDrawTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(TextDrawTest, MatchesReferenceCachedAndUncached) {
    const DrawCase& c = GetParam();
    Framebuffer expected = canvas(96, 40);
    reference_draw(expected, c.text, c.x, c.y, c.color, c.size);
    ASSERT_TRUE(touched(expected)) << "case draws nothing visible";

    Framebuffer cached = canvas(96, 40);
    TextRenderer(cached).draw_text(c.text, c.x, c.y, c.color, c.size);
    EXPECT_TRUE(same_pixels(cached, expected));
    // Second pass over a frame cleared again: every glyph now comes from the cache.
    cached.clear(BACKGROUND);
    TextRenderer(cached).draw_text(c.text, c.x, c.y, c.color, c.size);
    EXPECT_TRUE(same_pixels(cached, expected));

    Framebuffer uncached = canvas(96, 40);
    TextRenderer(uncached, uncached_font()).draw_text(c.text, c.x, c.y, c.color, c.size);
    EXPECT_TRUE(same_pixels(uncached, expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextDrawTest,
    ::testing::Values(DrawCase{"plain", "Hg", 3, 2, 0xffffffff, 16.0f},
                      DrawCase{"fractional_size_truncates_baseline", "Hxy", 2, 1, 0xffffffff, 16.9f},
                      DrawCase{"small_fractional_size", "Tập 12", 0, 0, 0xffe2e8f0, 10.5f},
                      DrawCase{"translucent_colour_mixes_by_coverage", "Wm", 4, 3, 0x80c80d4d, 22.0f},
                      DrawCase{"negative_x", "Xin chào", -7, 4, 0xff38bdf8, 14.0f},
                      DrawCase{"cut_at_top", "ĐẶT", 1, -6, 0xffffffff, 20.0f},
                      DrawCase{"overflows_right_and_bottom", "MỚI NHẤT", 70, 26, 0xfffacc15, 18.0f},
                      DrawCase{"missing_glyph_box", "a✅b", 2, 4, 0xffffffff, 15.0f},
                      DrawCase{"malformed_utf8", "a\xff\xc3z", 2, 4, 0xffffffff, 13.0f},
                      DrawCase{"symbols", "▶◀•▲▼", 1, 5, 0xffffffff, 12.5f}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextBaseline, SitsOnRowYPlusTruncatedSize) {
    // "H" stands on the baseline: at y 0 and size 16 its lowest ink is row 15.
    Framebuffer fb = canvas(40, 40);
    TextRenderer(fb).draw_text("H", 5, 0, 0xffffffff, 16.0f);
    int lowest = -1;
    for (uint32_t y = 0; y < fb.height(); ++y)
        for (uint32_t x = 0; x < fb.width(); ++x)
            if (fb.at(x, y) != BACKGROUND) lowest = int(y);
    EXPECT_EQ(lowest, 15);

    // 16.9 truncates to the same baseline, it does not round up.
    Framebuffer fractional = canvas(40, 40);
    TextRenderer(fractional).draw_text("_", 5, 0, 0xffffffff, 16.9f);
    int underscore_lowest = -1;
    for (uint32_t y = 0; y < fractional.height(); ++y)
        for (uint32_t x = 0; x < fractional.width(); ++x)
            if (fractional.at(x, y) != BACKGROUND) underscore_lowest = int(y);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    const float scale = stbtt_ScaleForMappingEmToPixels(&reference_font(), 16.9f);
    stbtt_GetCodepointBitmapBox(&reference_font(), '_', scale, scale, &x0, &y0, &x1, &y1);
    EXPECT_EQ(underscore_lowest, 16 + y1 - 1);
}

TEST(TextBlend, FullCoverageStoresColourAsIsPartialEndsOpaque) {
    const Color color = 0x80c80d4d;
    Framebuffer fb = canvas(60, 60);
    TextRenderer(fb).draw_text("H", 4, 4, color, 40.0f);
    int full = 0, partial = 0;
    for (uint32_t y = 0; y < fb.height(); ++y) {
        for (uint32_t x = 0; x < fb.width(); ++x) {
            const Color p = fb.at(x, y);
            if (p == BACKGROUND) continue;
            if (p == color) {
                ++full;
            } else {
                ++partial;
                EXPECT_EQ(p >> 24, 0xffu) << x << "," << y;
            }
        }
    }
    EXPECT_GT(full, 0);
    EXPECT_GT(partial, 0);
}

// --- widths -----------------------------------------------------------------

TEST(TextWidth, TruncatesEachAdvanceOnItsOwn) {
    Framebuffer fb = canvas(8, 8);
    TextRenderer tr(fb);
    const float i_advance = reference_advance(U'i', 14.0f);
    // Guard: the case only tells the rules apart when the fractions add up.
    ASSERT_NE(3 * int(i_advance), int(3 * i_advance));
    EXPECT_EQ(tr.text_width("iii", 14.0f), 3 * int(i_advance));
    EXPECT_EQ(tr.text_width("", 14.0f), 0);

    for (const char* text : {"PHIM LẺ MỚI NHẤT", "Đang tải...", "a✅b", "▶ 01:23"}) {
        for (float size : {10.5f, 14.0f, 21.0f}) {
            int expected = 0;
            size_t pos = 0;
            const std::string_view view(text);
            while (pos < view.size()) expected += int(reference_advance(utf8::next(view, pos), size));
            EXPECT_EQ(tr.text_width(text, size), expected) << text << " at " << size;
        }
    }
}

TEST(TextSize, UnusableSizesDrawNothingAndMeasureZero) {
    for (float size : {0.0f, -14.0f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       MAX_TEXT_SIZE * 2}) {
        Framebuffer fb = canvas(40, 40);
        TextRenderer tr(fb);
        tr.draw_text("Hg", 2, 2, 0xffffffff, size);
        tr.draw_wrapped("Hg Hg", 2, 2, 30, 2, size);
        EXPECT_FALSE(touched(fb)) << size;
        EXPECT_EQ(tr.text_width("Hg", size), 0) << size;
    }
}

// --- clipping is cropping ----------------------------------------------------

TEST(TextClip, EdgesCropWithoutShiftingOrWrapping) {
    // The same text drawn at (dx, dy) on a small frame equals the large frame's
    // drawing at (16, 16) cropped by the offset; nothing spills into other rows.
    const std::string text = "Mỹ ▶ gấu";
    Framebuffer big = canvas(160, 64);
    TextRenderer(big).draw_text(text, 16, 16, 0xffffffff, 18.0f);
    for (auto [dx, dy] : {std::pair{-7, 0}, {0, -9}, {-23, -5}, {70, 0}, {0, 20}, {90, 25}}) {
        Framebuffer small = canvas(100, 30);
        TextRenderer(small).draw_text(text, dx, dy, 0xffffffff, 18.0f);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 100; ++x) {
                const int bx = x - dx + 16, by = y - dy + 16;
                const bool inside = bx >= 0 && by >= 0 && bx < 160 && by < 64;
                const Color want = inside ? big.at(uint32_t(bx), uint32_t(by)) : BACKGROUND;
                ASSERT_EQ(small.at(uint32_t(x), uint32_t(y)), want) << "offset " << dx << "," << dy << " pixel " << x
                                                                    << "," << y;
            }
        }
    }
}

// --- the glyph cache ----------------------------------------------------------

TEST(GlyphCache, HoldsEachCharacterAndSizeOnceAndDrawsLikeUncached) {
    auto font = Font::parse(embedded_font(), Font::Caching::On);
    ASSERT_NE(font, nullptr);
    const std::string text = "Phim bộ: Tây Du Ký — tập 1 ▶ • ▲";
    const std::vector<float> sizes = {10.5f, 13.0f, 14.0f, 22.0f};

    Framebuffer cached = canvas(400, 140), uncached = canvas(400, 140);
    TextRenderer with_cache(cached, *font), without(uncached, uncached_font());
    for (int pass = 0; pass < 2; ++pass) {
        cached.clear(BACKGROUND);
        for (size_t i = 0; i < sizes.size(); ++i) with_cache.draw_text(text, 0, int(i) * 30, 0xffe2e8f0, sizes[i]);
        if (pass == 0) {
            for (size_t i = 0; i < sizes.size(); ++i) without.draw_text(text, 0, int(i) * 30, 0xffe2e8f0, sizes[i]);
        }
        EXPECT_TRUE(same_pixels(cached, uncached)) << "pass " << pass;
    }
    // One entry per distinct (character, size): the second pass added none.
    std::vector<char32_t> distinct;
    size_t pos = 0;
    while (pos < text.size()) {
        const char32_t cp = utf8::next(text, pos);
        if (std::find(distinct.begin(), distinct.end(), cp) == distinct.end()) distinct.push_back(cp);
    }
    EXPECT_EQ(font->cached_glyphs(), distinct.size() * sizes.size());
    EXPECT_EQ(uncached_font().cached_glyphs(), 0u);
}

TEST(GlyphCache, StaysBoundedAndCorrectPastItsLimit) {
    auto font = Font::parse(embedded_font(), Font::Caching::On);
    ASSERT_NE(font, nullptr);
    Framebuffer fb = canvas(60, 30);
    TextRenderer tr(fb, *font);
    std::string one;
    for (char32_t cp = 0x4E00; cp < 0x4E00 + Font::CACHE_LIMIT + 50; ++cp) {
        one.clear();
        utf8::append(one, cp);
        tr.draw_text(one, 0, 0, 0xffffffff, 11.0f);
    }
    EXPECT_GT(font->cached_glyphs(), 0u);
    EXPECT_LE(font->cached_glyphs(), Font::CACHE_LIMIT);

    Framebuffer after = canvas(60, 30), expected = canvas(60, 30);
    TextRenderer(after, *font).draw_text("Đang tải", 1, 2, 0xffffffff, 11.0f);
    reference_draw(expected, "Đang tải", 1, 2, 0xffffffff, 11.0f);
    EXPECT_TRUE(same_pixels(after, expected));
}

TEST(GlyphCache, CachedDrawingAllocatesNothing) {
    Framebuffer fb = canvas(300, 40);
    TextRenderer tr(fb);
    const std::string text = "PHIM LẺ MỚI NHẤT • Đang tải...";
    tr.draw_text(text, 2, 2, 0xffffffff, 14.0f);  // fills the cache
    allocations = 0;
    counting = true;
    for (int i = 0; i < 5; ++i) {
        tr.draw_text(text, 2 + i, 2, 0x80ffffff, 14.0f);
        (void)tr.text_width(text, 14.0f);
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
}

// --- what the font covers ---------------------------------------------------

TEST(FontCoverage, VietnameseTextsHaveRealGlyphs) {
    Font& font = Font::shared();
    for (const char* text : {"PHIM LẺ MỚI NHẤT", "Đang tải...",
                             "aàảãáạăằẳẵắặâầẩẫấậbcdđeèẻẽéẹêềểễếệghiìỉĩíịklmnoòỏõóọôồổỗốộơờởỡớợpqrstuùủũúụưừửữứựvxyỳỷỹýỵ",
                             "AÀẢÃÁẠĂẰẲẴẮẶÂẦẨẪẤẬBCDĐEÈẺẼÉẸÊỀỂỄẾỆGHIÌỈĨÍỊKLMNOÒỎÕÓỌÔỒỔỖỐỘƠỜỞỠỚỢPQRSTUÙỦŨÚỤƯỪỬỮỨỰVXYỲỶỸÝỴ"}) {
        const std::string_view view(text);
        size_t pos = 0;
        while (pos < view.size()) {
            const size_t at = pos;
            const char32_t cp = utf8::next(view, pos);
            EXPECT_NE(font.glyph_index(cp), 0) << "U+" << std::hex << uint32_t(cp) << " in " << view.substr(at);
        }
    }
}

struct SymbolCase {
    char32_t cp;
    bool in_font;
};

TEST(FontCoverage, ScreenSymbols) {
    // U+2705 (white heavy check mark) is not in DejaVu Sans Bold 2.37: it
    // draws the missing-glyph box. The others are real glyphs.
    const SymbolCase cases[] = {{U'▶', true}, {U'◀', true}, {U'•', true},  {U'✅', false}, {U'❚', true},
                                {U'▲', true}, {U'▼', true}, {U'◄', true}, {U'►', true}};
    for (const SymbolCase& c : cases) {
        EXPECT_EQ(Font::shared().glyph_index(c.cp) != 0, c.in_font) << "U+" << std::hex << uint32_t(c.cp);
    }
}

// --- loading ------------------------------------------------------------------

TEST(FontLoad, RejectsBytesThatAreNotAUsableFont) {
    const auto real = embedded_font();
    const std::vector<uint8_t> garbage(512, 'x');
    std::vector<uint8_t> no_tables(64, 0);
    no_tables[1] = 1;  // sfnt version 1.0, zero tables
    // Cut inside the tables, and cut only inside the last one, which the
    // rasteriser would not notice by itself.
    const std::vector<uint8_t> truncated(real.begin(), real.begin() + 4096);
    const std::vector<uint8_t> tail_cut(real.begin(), real.end() - 100);
    for (std::span<const uint8_t> bytes :
         {std::span<const uint8_t>(), std::span<const uint8_t>(garbage), std::span<const uint8_t>(no_tables),
          std::span<const uint8_t>(truncated), std::span<const uint8_t>(tail_cut)}) {
        EXPECT_EQ(Font::parse(bytes, Font::Caching::On), nullptr) << bytes.size() << " bytes";
    }
    EXPECT_NE(Font::parse(real, Font::Caching::On), nullptr);
}

TEST(FontLoadDeathTest, UnloadableFontStopsWithMessage) {
    const std::vector<uint8_t> garbage(512, 'x');
    EXPECT_EXIT(Font::parse_or_exit(garbage, Font::Caching::On), ::testing::ExitedWithCode(1),
                "Failed to load embedded font");
}

// --- word wrapping ------------------------------------------------------------

struct WrapCase {
    const char* name;
    std::string text;
    std::string width_of;  // max_width is this text's width plus delta
    int32_t delta;
    uint32_t max_lines;
    float size;
    std::vector<std::string> lines;  // what must be drawn, one per 22-pixel step
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class TextWrapTest : public ::testing::TestWithParam<WrapCase> {};

TEST_P(TextWrapTest, DrawsExpectedLines) {
    const WrapCase& c = GetParam();
    Framebuffer fb = canvas(300, 110), expected = canvas(300, 110);
    TextRenderer tr(fb), ref(expected);
    const int32_t max_width = tr.text_width(c.width_of, c.size) + c.delta;
    tr.draw_wrapped(c.text, 6, 3, max_width, c.max_lines, c.size);
    for (size_t i = 0; i < c.lines.size(); ++i) ref.draw_text(c.lines[i], 6, 3 + 22 * int(i), WRAPPED, c.size);
    EXPECT_TRUE(same_pixels(fb, expected));
    if (c.lines.empty()) {
        EXPECT_FALSE(touched(fb));
    }
}

// Words of equal width ("abc", "bca", "cab" share their letters) make the
// breaks independent of the font's exact advances.
INSTANTIATE_TEST_SUITE_P(
    Cases, TextWrapTest,
    ::testing::Values(
        WrapCase{"exact_width_fits", "abc bca cab", "abc bca cab", 0, 3, 14.0f, {"abc bca cab"}},
        WrapCase{"one_pixel_short_breaks", "abc bca cab", "abc bca cab", -1, 3, 14.0f, {"abc bca", "cab"}},
        WrapCase{"lines_in_order", "abc bca cab acb bac cba", "abc bca", 0, 5, 13.0f,
                 {"abc bca", "cab acb", "bac cba"}},
        WrapCase{"max_lines_one_stops", "abc bca cab acb", "abc bca", 0, 1, 14.0f, {"abc bca"}},
        WrapCase{"max_lines_two_drops_rest", "abc bca cab acb bac cba", "abc bca", 0, 2, 13.0f,
                 {"abc bca", "cab acb"}},
        WrapCase{"overlong_first_word_alone", "abcabcabc abc bca", "abc", 0, 3, 14.0f, {"abcabcabc", "abc", "bca"}},
        WrapCase{"white_space_collapses", "\t  abc\n\n bca \u00a0 cab\u3000 ", "abc bca cab", 0, 1, 14.0f,
                 {"abc bca cab"}},
        WrapCase{"multibyte_words", "Đang tải...", "Đang", 0, 2, 14.0f, {"Đang", "tải..."}},
        WrapCase{"negative_width_word_per_line", "abc bca", "", -5, 4, 13.0f, {"abc", "bca"}},
        WrapCase{"empty", "", "abc", 0, 3, 14.0f, {}},
        WrapCase{"white_space_only", " \t\n\u3000 ", "abc", 0, 3, 14.0f, {}},
        WrapCase{"max_lines_zero", "abc bca", "abc", 0, 0, 14.0f, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz
