#include "graphics/draw.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace qz {
namespace {

constexpr Color BG = 0x11223344;  // alpha byte not 0xff, so stray mixes show
constexpr Color INK = 0xffa855f7;

Framebuffer make_fb(uint32_t w, uint32_t h, Color bg = BG) {
    Framebuffer fb = Framebuffer::in_memory(w, h);
    fb.clear(bg);
    return fb;
}

// One character per pixel: '#' for ink, '.' for the background, '?' otherwise.
std::vector<std::string> picture(const Framebuffer& fb, Color ink = INK, Color bg = BG) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < fb.height(); ++y) {
        std::string row;
        for (uint32_t x = 0; x < fb.width(); ++x) {
            Color c = fb.at(x, y);
            row += c == ink ? '#' : c == bg ? '.' : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

uint32_t channel(Color c, int shift) { return (c >> shift) & 0xff; }

// ---- mixing ---------------------------------------------------------------

TEST(Mix, EveryChannelValueAndAlphaGivesTheExactFloor) {
    for (uint32_t a = 0; a < 256; ++a) {
        for (uint32_t c = 0; c < 256; ++c) {
            for (uint32_t d = 0; d < 256; ++d) {
                const auto want = uint32_t(std::floor((double(c) * a + double(d) * (255 - a)) / 255.0));
                // The same pair in all three channels, so each channel's path is checked.
                const Color got = mix(d * 0x010101u, c * 0x010101u, uint8_t(a));
                if (got != (0xff000000u | want * 0x010101u)) {
                    FAIL() << "c=" << c << " d=" << d << " a=" << a << " got " << std::hex << got;
                }
            }
        }
    }
}

struct MixCase {
    Color dst, src;
    uint8_t alpha;
    Color want;
};

class MixTable : public testing::TestWithParam<MixCase> {};

TEST_P(MixTable, MixesEachChannelOnItsOwnAndResultIsOpaque) {
    const MixCase& c = GetParam();
    EXPECT_EQ(mix(c.dst, c.src, c.alpha), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Channels, MixTable,
    testing::Values(MixCase{0xff000000, 0x80333333, 128, 0xff191919},  // 0x33 * 128 / 255 = 25.6 -> 25
                    MixCase{0x00000000, 0x00ff0000, 255, 0xffff0000},  // source alpha byte ignored
                    MixCase{0x12abcdef, 0xff000000, 0, 0xffabcdef},    // alpha 0 keeps colour, not alpha
                    MixCase{0xff0000ff, 0xffff0000, 1, 0xff0100fe},    // 255*1/255 = 1 red; 255*254/255 = 254 blue
                    MixCase{0xff102030, 0xff405060, 200, 0xff354555}));

// ---- single pixels --------------------------------------------------------

struct PixelCase {
    int32_t x, y;
    bool inside;
};

class PixelTable : public testing::TestWithParam<PixelCase> {};

TEST_P(PixelTable, SetAndBlendTouchOnlyOnScreenPixels) {
    const PixelCase& c = GetParam();
    for (int op = 0; op < 2; ++op) {
        Framebuffer fb = make_fb(4, 3);
        if (op == 0) set_pixel(fb, c.x, c.y, 0x40123456);
        else blend_pixel(fb, c.x, c.y, 0x40123456, 255);
        int changed = 0;
        for (uint32_t y = 0; y < 3; ++y)
            for (uint32_t x = 0; x < 4; ++x) changed += fb.at(x, y) != BG;
        EXPECT_EQ(changed, c.inside ? 1 : 0) << "op " << op;
        // Both store the colour unchanged, alpha byte included.
        if (c.inside) {
            EXPECT_EQ(fb.at(uint32_t(c.x), uint32_t(c.y)), 0x40123456u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, PixelTable,
                         testing::Values(PixelCase{0, 0, true}, PixelCase{3, 2, true}, PixelCase{-1, 0, false},
                                         PixelCase{0, -1, false}, PixelCase{4, 0, false}, PixelCase{0, 3, false},
                                         PixelCase{INT32_MIN, INT32_MAX, false}));

TEST(BlendPixel, AlphaZeroLeavesThePixelAlphaByteIncluded) {
    Framebuffer fb = make_fb(2, 1);
    blend_pixel(fb, 0, 0, 0xffffffff, 0);
    EXPECT_EQ(fb.at(0, 0), BG);
}

TEST(BlendPixel, PartialAlphaMixesAndIgnoresTheColourAlphaByte) {
    Framebuffer fb = make_fb(1, 1, 0xff000000);
    blend_pixel(fb, 0, 0, 0x00333333, 128);
    EXPECT_EQ(fb.at(0, 0), 0xff191919u);
}

// ---- fill_rect / draw_rect ------------------------------------------------

struct RectCase {
    const char* name;
    int32_t x, y, w, h;
    std::vector<std::string> want;
};

class FillRectTable : public testing::TestWithParam<RectCase> {};

TEST_P(FillRectTable, CoversExactlyTheVisiblePartOfTheRectangle) {
    const RectCase& c = GetParam();
    Framebuffer fb = make_fb(6, 4);
    fill_rect(fb, c.x, c.y, c.w, c.h, INK);
    EXPECT_EQ(picture(fb), c.want);
}

const std::vector<std::string> BLANK = {"......", "......", "......", "......"};

INSTANTIATE_TEST_SUITE_P(
    Clipping, FillRectTable,
    testing::Values(RectCase{"inside", 1, 1, 3, 2, {"......", ".###..", ".###..", "......"}},
                    RectCase{"left_overhang", -10, 0, 12, 1, {"##....", "......", "......", "......"}},
                    RectCase{"bottom_right_overhang", 4, 2, 9, 9, {"......", "......", "....##", "....##"}},
                    RectCase{"whole_screen_and_more", -5, -5, 50, 50, {"######", "######", "######", "######"}},
                    RectCase{"off_left", -3, 0, 3, 4, BLANK}, RectCase{"off_right", 6, 0, 3, 4, BLANK},
                    RectCase{"off_top", 0, -4, 6, 4, BLANK}, RectCase{"off_bottom", 0, 4, 6, 4, BLANK},
                    RectCase{"zero_width", 1, 1, 0, 2, BLANK}, RectCase{"negative_width", 3, 1, -2, 2, BLANK},
                    RectCase{"negative_height", 1, 3, 2, -2, BLANK},
                    RectCase{"no_overflow_at_int_max", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, BLANK},
                    RectCase{"far_left_huge_width", INT32_MIN, 0, INT32_MAX, 1, BLANK}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FillRect, MinusTenWideTwentyFillsColumnsZeroToNine) {
    Framebuffer fb = make_fb(16, 1);
    fill_rect(fb, -10, 0, 20, 1, INK);
    EXPECT_EQ(picture(fb)[0], "##########......");
}

TEST(FillRect, TranslucentColourIsStoredNotMixed) {
    Framebuffer fb = make_fb(3, 3, 0xff000000);
    fill_rect(fb, 0, 0, 3, 3, 0xe81a1235);
    for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(fb.pixels()[i], 0xe81a1235u);
}

class DrawRectTable : public testing::TestWithParam<RectCase> {};

TEST_P(DrawRectTable, BandsOfTheGivenThickness) {
    const RectCase& c = GetParam();
    Framebuffer fb = make_fb(7, 6);
    // RectCase.h doubles as the thickness here; the outline is always 5 x 4 at x, y.
    draw_rect(fb, c.x, c.y, 5, 4, c.h, INK);
    EXPECT_EQ(picture(fb), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Outlines, DrawRectTable,
    testing::Values(
        RectCase{"thin", 1, 1, 0, 1, {".......", ".#####.", ".#...#.", ".#...#.", ".#####.", "......."}},
        RectCase{"thick", 1, 1, 0, 2, {".......", ".#####.", ".#####.", ".#####.", ".#####.", "......."}},
        RectCase{"thicker_than_half", 1, 1, 0, 3, {".......", ".#####.", ".#####.", ".#####.", ".#####.", "......."}},
        RectCase{"clipped_left_top", -2, -1, 0, 1, {"..#....", "..#....", "###....", ".......", ".......", "......."}},
        RectCase{"zero_thickness", 1, 1, 0, 0, {".......", ".......", ".......", ".......", ".......", "......."}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DrawRect, ThickerThanHalfTheHeightFillsTheWholeRectangle) {
    Framebuffer outline = make_fb(40, 30);
    Framebuffer filled = make_fb(40, 30);
    draw_rect(outline, 3, 4, 30, 20, 11, INK);
    fill_rect(filled, 3, 4, 30, 20, INK);
    EXPECT_EQ(picture(outline), picture(filled));
}

// ---- rounded rectangles ---------------------------------------------------

// The corner rule, written out pixel by pixel over the whole bounding box.
bool corner_keeps(int64_t px, int64_t py, int64_t x, int64_t y, int64_t w, int64_t h, int64_t r) {
    int64_t vd = py < y + r ? y + r - py : py >= y + h - r ? py - (y + h - r) + 1 : 0;
    int64_t hd = px < x + r ? x + r - px : px >= x + w - r ? px - (x + w - r) + 1 : 0;
    return hd * hd + vd * vd <= r * r;
}

TEST(FillRoundedRect, RadiusTwoFixture) {
    Framebuffer fb = make_fb(8, 7);
    fill_rounded_rect(fb, 1, 1, 6, 5, 2, INK);
    EXPECT_EQ(picture(fb), (std::vector<std::string>{
                               "........",
                               "...##...",
                               "..####..",
                               ".######.",
                               "..####..",
                               "...##...",
                               "........",
                           }));
}

TEST(FillRoundedRect, RadiusZeroIsAPlainRectangle) {
    Framebuffer a = make_fb(9, 9);
    Framebuffer b = make_fb(9, 9);
    fill_rounded_rect(a, 1, 2, 6, 5, 0, INK);
    fill_rect(b, 1, 2, 6, 5, INK);
    EXPECT_EQ(picture(a), picture(b));
}

TEST(FillRoundedRect, ExtremeRadiiDoNotOverflow) {
    Framebuffer fb = make_fb(6, 5);
    fill_rounded_rect(fb, 1, 1, 4, 3, INT32_MAX, INK);
    EXPECT_EQ(picture(fb), picture(make_fb(6, 5))) << "every pixel is farther than the corner reaches";
    fill_rounded_rect(fb, 1, 1, 4, 3, INT32_MIN, INK);
    EXPECT_EQ(picture(fb), (std::vector<std::string>{"......", ".####.", ".####.", ".####.", "......"}))
        << "a negative radius has no corner bands";
}

TEST(FillRoundedRect, PanelRadiusSixteenCorners) {
    Framebuffer fb = make_fb(1280, 720);
    const int32_t x = 280, y = 150, w = 720, h = 420;
    fill_rounded_rect(fb, x, y, w, h, 16, INK);
    EXPECT_EQ(fb.at(x, y), BG);
    EXPECT_EQ(fb.at(x + 16, y), INK);
    EXPECT_EQ(fb.at(x, y + 16), INK);
    EXPECT_EQ(fb.at(x + 15, y), BG);
    EXPECT_EQ(fb.at(x, y + 15), BG);
    // The far corners mirror the near ones.
    EXPECT_EQ(fb.at(x + w - 17, y), INK);
    EXPECT_EQ(fb.at(x + w - 16, y), BG);
    EXPECT_EQ(fb.at(x + w - 1, y + h - 17), INK);
    EXPECT_EQ(fb.at(x + w - 1, y + h - 16), BG);
    EXPECT_EQ(fb.at(x + w / 2, y + h / 2), INK);
}

// Random rectangles, many partly off-screen and some with radii larger than
// the rectangle, against the pixel-by-pixel rule.
TEST(RoundedRect, MatchesTheCornerRuleEverywhere) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        const int32_t x = pick(-30, 40), y = pick(-30, 30), w = pick(-2, 60), h = pick(-2, 50), r = pick(-2, 30);
        const Color color = round % 2 ? INK : 0x80336699;
        Framebuffer fb = make_fb(48, 36);
        if (round % 2) fill_rounded_rect(fb, x, y, w, h, r, color);
        else blend_rounded_rect(fb, x, y, w, h, r, color);
        const Color inside = round % 2 ? INK : mix(BG, color, 0x80);
        for (int32_t py = 0; py < 36; ++py) {
            for (int32_t px = 0; px < 48; ++px) {
                const bool in_box = px >= x && px < x + w && py >= y && py < y + h;
                const bool keep = in_box && corner_keeps(px, py, x, y, w, h, r);
                ASSERT_EQ(fb.at(px, py), keep ? inside : BG)
                    << "rect " << x << "," << y << " " << w << "x" << h << " r=" << r << " at " << px << "," << py;
            }
        }
    }
}

struct BlendCase {
    Color under, color, want;
};

class BlendRoundedTable : public testing::TestWithParam<BlendCase> {};

TEST_P(BlendRoundedTable, MixesWithTheColourTopByte) {
    const BlendCase& c = GetParam();
    Framebuffer fb = make_fb(4, 4, c.under);
    blend_rounded_rect(fb, 0, 0, 4, 4, 0, c.color);
    for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(fb.pixels()[i], c.want) << i;
}

INSTANTIATE_TEST_SUITE_P(Alphas, BlendRoundedTable,
                         testing::Values(BlendCase{0xff000000, 0x80333333, 0xff191919},
                                         // alpha 0 still runs the mix: colour kept, alpha byte becomes 0xff
                                         BlendCase{0x12abcdef, 0x00ffffff, 0xffabcdef},
                                         BlendCase{0x00000000, 0xff6a38b3, 0xff6a38b3},
                                         BlendCase{0xff000000, 0xd0a855f7, 0xff8945c9}));

// ---- vertical gradient ----------------------------------------------------

TEST(Gradient, CardShadeRunsFromZeroToTwoFortyTwo) {
    const Color under = 0x7f808080;
    Framebuffer fb = make_fb(3, 90, under);
    fill_vertical_gradient(fb, 0, 0, 3, 90, 0xff0b0817, 0, 245);
    EXPECT_EQ(fb.at(1, 0), under) << "alpha 0 row must be skipped, alpha byte included";
    for (uint32_t k = 1; k < 90; ++k) {
        const auto a = uint8_t(k * 245 / 90);  // floor(k / 90 * 245)
        for (uint32_t x = 0; x < 3; ++x) ASSERT_EQ(fb.at(x, k), mix(under, 0xff0b0817, a)) << "row " << k;
    }
    EXPECT_EQ(fb.at(0, 89), mix(under, 0xff0b0817, 242));
}

struct GradientCase {
    const char* name;
    int32_t y, h;
    uint8_t top, bottom;
    std::vector<int> row_alpha;  // per screen row, -1 = untouched; 255 = stored as is
};

class GradientTable : public testing::TestWithParam<GradientCase> {};

TEST_P(GradientTable, RowAlphasFollowTheRowOffset) {
    const GradientCase& c = GetParam();
    const Color under = 0x22446688, color = 0x80c0a060;
    Framebuffer fb = make_fb(2, uint32_t(c.row_alpha.size()), under);
    fill_vertical_gradient(fb, -1, c.y, 4, c.h, color, c.top, c.bottom);
    for (size_t r = 0; r < c.row_alpha.size(); ++r) {
        const int a = c.row_alpha[r];
        const Color want = a < 0 ? under : a == 255 ? color : mix(under, color, uint8_t(a));
        EXPECT_EQ(fb.at(0, r), want) << "row " << r;
        EXPECT_EQ(fb.at(1, r), want) << "row " << r;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GradientTable,
    testing::Values(GradientCase{"fade_out", 0, 4, 255, 0, {255, 191, 127, 63, -1}},
                    GradientCase{"flat_opaque", 1, 2, 255, 255, {-1, 255, 255, -1}},
                    GradientCase{"starts_above_screen", -2, 4, 0, 200, {100, 150, -1}},
                    GradientCase{"ends_below_screen", 1, 10, 100, 100, {-1, 100, 100}},
                    GradientCase{"empty", 0, 0, 255, 255, {-1, -1}},
                    GradientCase{"negative_height", 2, -3, 255, 255, {-1, -1, -1}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- image cover ----------------------------------------------------------

RgbaBitmap image(uint32_t w, uint32_t h, std::vector<uint32_t> rgba) {
    RgbaBitmap img{w, h, {}};
    for (uint32_t p : rgba) {
        img.pixels.push_back(uint8_t(p >> 24));
        img.pixels.push_back(uint8_t(p >> 16));
        img.pixels.push_back(uint8_t(p >> 8));
        img.pixels.push_back(uint8_t(p));
    }
    return img;
}

TEST(ImageCover, TwoByTwoIntoFiveByFive) {
    // red, green / blue, half-transparent white
    const RgbaBitmap img = image(2, 2, {0xff0000ff, 0x00ff00ff, 0x0000ffff, 0xffffff80});
    Framebuffer fb = make_fb(5, 5, 0xff000000);
    draw_image_cover(fb, img, 0, 0, 5, 5);
    // Columns 0-2 sample source column 0 and 3-4 column 1 (0.4 per pixel);
    // the fixed 8-pixel corner leaves only the lower right of so small a box.
    const Color K = 0xff000000, G = 0xff00ff00, B = 0xff0000ff, W = 0xff808080;
    const std::vector<Color> want = {
        K, K, K, K, K,  //
        K, K, K, K, K,  //
        K, K, K, G, G,  //
        K, K, B, W, W,  //
        K, K, B, W, W,
    };
    for (uint32_t i = 0; i < 25; ++i) EXPECT_EQ(fb.pixels()[i], want[i]) << "pixel " << i % 5 << "," << i / 5;
}

TEST(ImageCover, TwoByTwoSplitsAtTheMiddleOfALargerBox) {
    const RgbaBitmap img = image(2, 2, {0xff0000ff, 0x00ff00ff, 0x0000ffff, 0xffffffff});
    Framebuffer fb = make_fb(40, 40);
    draw_image_cover(fb, img, 10, 10, 20, 20);
    EXPECT_EQ(fb.at(10 + 9, 10 + 9), 0xffff0000u);
    EXPECT_EQ(fb.at(10 + 10, 10 + 9), 0xff00ff00u);
    EXPECT_EQ(fb.at(10 + 9, 10 + 10), 0xff0000ffu);
    EXPECT_EQ(fb.at(10 + 10, 10 + 10), 0xffffffffu);
    EXPECT_EQ(fb.at(10, 10), BG) << "rounded corner";
    EXPECT_EQ(fb.at(9, 20), BG) << "outside the box";
}

TEST(ImageCover, SinglePixelImageFillsTheRoundedRectangle) {
    const RgbaBitmap img = image(1, 1, {0x3366ccff});
    Framebuffer a = make_fb(200, 260);
    Framebuffer b = make_fb(200, 260);
    draw_image_cover(a, img, 12, -4, 168, 240);
    fill_rounded_rect(b, 12, -4, 168, 240, 8, 0xff3366cc);
    EXPECT_EQ(picture(a, 0xff3366cc), picture(b, 0xff3366cc));
}

TEST(ImageCover, TransparentSourceSkipsAndHalfAlphaMixes) {
    Framebuffer fb = make_fb(30, 30);
    draw_image_cover(fb, image(1, 1, {0xffffff00}), 0, 0, 30, 30);
    EXPECT_EQ(picture(fb), picture(make_fb(30, 30))) << "alpha 0 touches nothing";
    draw_image_cover(fb, image(1, 1, {0xffffff80}), 0, 0, 30, 30);
    EXPECT_EQ(fb.at(15, 15), mix(BG, 0xffffffff, 0x80));
    EXPECT_EQ(fb.at(0, 0), BG);
}

// Source coordinates are written into the pixels, so the drawn colour tells
// which source pixel was sampled.
RgbaBitmap coordinate_image(uint32_t w, uint32_t h) {
    RgbaBitmap img{w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &img.pixels[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t((x >> 8) | ((y >> 8) << 4));
            p[3] = 255;
        }
    }
    return img;
}

struct Sample {
    uint32_t sx, sy;
};

Sample sampled(Color c) {
    const uint32_t hi = channel(c, 0);
    return {channel(c, 16) | ((hi & 0xf) << 8), channel(c, 8) | ((hi >> 4) << 8)};
}

// The sampled index must be the floor of the exact position; positions that
// land on a whole number may come out one lower in 32-bit float arithmetic.
bool near_floor(uint32_t got, double exact, uint32_t last) {
    const double f = std::min(std::floor(exact + 1e-9), double(last));
    return got == uint32_t(f) || (std::fabs(exact - std::round(exact)) < 1e-4 && got + 1 == uint32_t(f));
}

struct CoverCase {
    uint32_t iw, ih, w, h;
    double crop_x, crop_y;
};

class CoverTable : public testing::TestWithParam<CoverCase> {};

TEST_P(CoverTable, ScalesToCoverAndCropsTheMiddle) {
    const CoverCase& c = GetParam();
    Framebuffer fb = make_fb(c.w, c.h);
    draw_image_cover(fb, coordinate_image(c.iw, c.ih), 0, 0, c.w, c.h);
    const double s = std::max(double(c.w) / c.iw, double(c.h) / c.ih);
    const double crop_x = std::max((c.iw - c.w / s) * 0.5, 0.0);
    const double crop_y = std::max((c.ih - c.h / s) * 0.5, 0.0);
    EXPECT_NEAR(crop_x, c.crop_x, 0.001);
    EXPECT_NEAR(crop_y, c.crop_y, 0.001);
    for (uint32_t dy = 0; dy < c.h; ++dy) {
        for (uint32_t dx = 0; dx < c.w; ++dx) {
            if (fb.at(dx, dy) == BG) continue;  // rounded corner
            const Sample got = sampled(fb.at(dx, dy));
            ASSERT_TRUE(near_floor(got.sx, crop_x + dx / s, c.iw - 1)) << dx << "," << dy << " sx " << got.sx;
            ASSERT_TRUE(near_floor(got.sy, crop_y + dy / s, c.ih - 1)) << dx << "," << dy << " sy " << got.sy;
        }
    }
    EXPECT_EQ(fb.at(0, 0), BG);
    EXPECT_EQ(fb.at(c.w - 1, c.h - 1), BG);
}

INSTANTIATE_TEST_SUITE_P(Posters, CoverTable,
                         testing::Values(CoverCase{240, 360, 168, 240, 0.0, 8.5714},  // home shelf card
                                         CoverCase{240, 360, 200, 280, 0.0, 12.0},    // detail poster
                                         CoverCase{240, 360, 260, 142, 0.0, 114.4615},  // hero picture
                                         CoverCase{400, 100, 200, 100, 100.0, 0.0},   // wide source
                                         CoverCase{30, 20, 300, 100, 0.0, 5.0}));     // enlarged

TEST(ImageCover, ShelfCardStartsAtSourceRowEight) {
    Framebuffer fb = make_fb(168, 240);
    draw_image_cover(fb, coordinate_image(240, 360), 0, 0, 168, 240);
    EXPECT_EQ(sampled(fb.at(84, 0)).sy, 8u);
    EXPECT_EQ(sampled(fb.at(8, 120)).sx, 11u);  // 8 / 0.7 = 11.43
    EXPECT_EQ(sampled(fb.at(167, 120)).sx, 238u);
}

TEST(ImageCover, ClippingKeepsEveryVisiblePixelWhereItWouldBe) {
    const RgbaBitmap img = coordinate_image(240, 360);
    Framebuffer whole = make_fb(400, 400);
    draw_image_cover(whole, img, 100, 100, 168, 240);
    for (auto [x, y] : {std::pair{-50, -30}, std::pair{60, 90}, std::pair{-160, 10}}) {
        Framebuffer part = make_fb(120, 100);
        draw_image_cover(part, img, x, y, 168, 240);
        for (int32_t py = 0; py < 100; ++py) {
            for (int32_t px = 0; px < 120; ++px) {
                const int32_t wx = px - x + 100, wy = py - y + 100;
                ASSERT_EQ(part.at(px, py), whole.at(wx, wy)) << "offset " << x << "," << y << " at " << px << "," << py;
            }
        }
    }
}

TEST(ImageCover, DegenerateInputsDrawNothing) {
    RgbaBitmap short_pixels = coordinate_image(4, 4);
    short_pixels.pixels.resize(4 * 4 * 4 - 1);
    const RgbaBitmap empty{0, 5, {}};
    const RgbaBitmap ok = coordinate_image(4, 4);
    Framebuffer fb = make_fb(20, 20);
    draw_image_cover(fb, short_pixels, 0, 0, 20, 20);
    draw_image_cover(fb, empty, 0, 0, 20, 20);
    draw_image_cover(fb, ok, 0, 0, 0, 20);
    draw_image_cover(fb, ok, 0, 0, 20, 0);
    draw_image_cover(fb, ok, 20, 0, 20, 20);
    draw_image_cover(fb, ok, -20, -20, 20, 20);
    EXPECT_EQ(picture(fb), picture(make_fb(20, 20)));
}

}  // namespace
}  // namespace qz
