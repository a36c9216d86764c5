#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "support/image_fixtures.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

using test::PngRecipe;
using test::Rgba;
using test::rgba_near;
using test::pixel_at;

// ---------------------------------------------------------------- size rule

struct SizeCase {
    uint32_t width, height;
    ThumbSize expected;
};

class ThumbnailSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ThumbnailSizeTest, FitsTheBoxKeepingAspect) {
    const SizeCase& c = GetParam();
    EXPECT_EQ(thumbnail_size(c.width, c.height), c.expected) << c.width << "x" << c.height;
}

INSTANTIATE_TEST_SUITE_P(
    Rule, ThumbnailSizeTest,
    ::testing::Values(SizeCase{500, 750, {240, 360}}, SizeCase{1280, 720, {240, 135}},
                      SizeCase{100, 150, {240, 360}},    // enlarged
                      SizeCase{1, 1000, {1, 360}},       // width kept at least 1
                      SizeCase{1000, 1, {240, 1}},       // height kept at least 1
                      SizeCase{240, 360, {240, 360}}, SizeCase{360, 240, {240, 160}},
                      SizeCase{5, 720, {3, 360}},        // 2.5 rounds away from zero
                      SizeCase{1, 1, {240, 240}}, SizeCase{8192, 4882, {240, 143}}));

TEST(ImageSizeLimit, RefusesOversizedDeclarations) {
    EXPECT_TRUE(image_size_allowed(8192, 4882));   // 39.99 megapixels
    EXPECT_FALSE(image_size_allowed(8193, 10));     // one side too long
    EXPECT_FALSE(image_size_allowed(10, 8193));
    EXPECT_FALSE(image_size_allowed(7000, 7000));   // sides fine, 49 megapixels
    EXPECT_FALSE(image_size_allowed(0, 10));
}

// ------------------------------------------------------------- recognition

struct FormatCase {
    const char* name;
    std::string bytes;
    ImageFormat expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class FormatDetectionTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDetectionTest, ByFirstBytes) { EXPECT_EQ(detect_image_format(GetParam().bytes), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Signatures, FormatDetectionTest,
    ::testing::Values(FormatCase{"png", std::string("\x89PNG\r\n\x1a\n....", 12), ImageFormat::Png},
                      FormatCase{"jpeg", std::string("\xff\xd8\xff\xe0", 4), ImageFormat::Jpeg},
                      FormatCase{"webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), ImageFormat::Webp},
                      FormatCase{"wave", std::string("RIFF\x10\0\0\0WAVEfmt ", 16), ImageFormat::Unknown},
                      FormatCase{"gif", std::string("GIF89a\x01\0\x01\0", 10), ImageFormat::Unknown},
                      FormatCase{"short_png", std::string("\x89PNG", 4), ImageFormat::Unknown},
                      FormatCase{"html", "<html>404</html>", ImageFormat::Unknown}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ PNG colour types

// Every case is 240 x 360, so no resampling happens and each pixel can be
// checked exactly against what the file stores.
constexpr uint32_t W = 240, H = 360;

struct PngCase {
    const char* name;
    std::function<PngRecipe()> make;
    std::function<Rgba(uint32_t x, uint32_t y)> expected;
};

PngRecipe rows_of(int color_type, int bit_depth, size_t bytes_per_row,
                const std::function<void(uint32_t, uint32_t, std::vector<uint8_t>&)>& put) {
    PngRecipe recipe{W, H, color_type, bit_depth, {}, {}, {}, false};
    for (uint32_t y = 0; y < H; ++y) {
        std::vector<uint8_t> row;
        row.reserve(bytes_per_row);
        for (uint32_t x = 0; x < W; ++x) put(x, y, row);
        row.resize(bytes_per_row);
        recipe.rows.push_back(std::move(row));
    }
    return recipe;
}

uint8_t grey_at(uint32_t x, uint32_t y) { return static_cast<uint8_t>((x + 3 * y) & 0xff); }

// 16-bit samples chosen where rounding and truncating to 8 bits differ.
constexpr uint16_t SAMPLES16[] = {0x01ff, 0x8000, 0xffff, 0x0000};
uint8_t rounded16(uint16_t v) { return static_cast<uint8_t>((v * 255u + 32767u) / 65535u); }

void put16(std::vector<uint8_t>& row, uint16_t v) {
    row.push_back(static_cast<uint8_t>(v >> 8));
    row.push_back(static_cast<uint8_t>(v));
}

std::vector<PngCase> png_cases() {
    std::vector<PngCase> cases;
    cases.push_back({"grey8",
                     [] {
                         return rows_of(PNG_COLOR_TYPE_GRAY, 8, W, [](uint32_t x, uint32_t y, auto& row) {
                             row.push_back(grey_at(x, y));
                         });
                     },
                     [](uint32_t x, uint32_t y) {
                         const uint8_t g = grey_at(x, y);
                         return Rgba{g, g, g, 255};
                     }});
    cases.push_back({"grey1",
                     [] {
                         return rows_of(PNG_COLOR_TYPE_GRAY, 1, W / 8, [](uint32_t x, uint32_t, auto& row) {
                             if (x % 8 == 0) row.push_back(0x55);  // 0,1,0,1,... per column
                         });
                     },
                     [](uint32_t x, uint32_t) {
                         const uint8_t g = x % 2 ? 255 : 0;
                         return Rgba{g, g, g, 255};
                     }});
    cases.push_back({"grey_alpha8",
                     [] {
                         return rows_of(PNG_COLOR_TYPE_GRAY_ALPHA, 8, W * 2, [](uint32_t x, uint32_t y, auto& row) {
                             row.push_back(grey_at(x, y));
                             row.push_back(static_cast<uint8_t>(y));
                         });
                     },
                     [](uint32_t x, uint32_t y) {
                         const uint8_t g = grey_at(x, y);
                         return Rgba{g, g, g, static_cast<uint8_t>(y)};
                     }});
    cases.push_back({"grey_with_transparent_key",
                     [] {
                         PngRecipe s = rows_of(PNG_COLOR_TYPE_GRAY, 8, W, [](uint32_t x, uint32_t y, auto& row) {
                             row.push_back(grey_at(x, y));
                         });
                         s.trns = {0x00, 0x07};  // grey 7 is transparent
                         return s;
                     },
                     [](uint32_t x, uint32_t y) {
                         const uint8_t g = grey_at(x, y);
                         return Rgba{g, g, g, static_cast<uint8_t>(g == 7 ? 0 : 255)};
                     }});
    cases.push_back({"palette_with_transparency",
                     [] {
                         PngRecipe s = rows_of(PNG_COLOR_TYPE_PALETTE, 8, W, [](uint32_t x, uint32_t y, auto& row) {
                             row.push_back(static_cast<uint8_t>((x + y) % 4));
                         });
                         s.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
                         s.trns = {255, 128, 0};  // entry 3 has no alpha: opaque
                         return s;
                     },
                     [](uint32_t x, uint32_t y) {
                         static const Rgba colours[] = {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0},
                                                        {10, 20, 30, 255}};
                         return colours[(x + y) % 4];
                     }});
    cases.push_back({"palette_4bit",
                     [] {
                         PngRecipe s = rows_of(PNG_COLOR_TYPE_PALETTE, 4, W / 2, [](uint32_t x, uint32_t, auto& row) {
                             if (x % 2 == 0) row.push_back(0x12);  // entries 1, 2
                         });
                         s.palette = {{0, 0, 0}, {200, 100, 50}, {5, 6, 7}};
                         return s;
                     },
                     [](uint32_t x, uint32_t) { return x % 2 ? Rgba{5, 6, 7, 255} : Rgba{200, 100, 50, 255}; }});
    cases.push_back({"rgb16_rounded",
                     [] {
                         return rows_of(PNG_COLOR_TYPE_RGB, 16, W * 6, [](uint32_t x, uint32_t, auto& row) {
                             for (int c = 0; c < 3; ++c) put16(row, SAMPLES16[(x + c) % 4]);
                         });
                     },
                     [](uint32_t x, uint32_t) {
                         return Rgba{rounded16(SAMPLES16[x % 4]), rounded16(SAMPLES16[(x + 1) % 4]),
                                     rounded16(SAMPLES16[(x + 2) % 4]), 255};
                     }});
    cases.push_back({"rgba16_rounded",
                     [] {
                         return rows_of(PNG_COLOR_TYPE_RGB_ALPHA, 16, W * 8, [](uint32_t x, uint32_t, auto& row) {
                             for (int c = 0; c < 4; ++c) put16(row, SAMPLES16[(x + c) % 4]);
                         });
                     },
                     [](uint32_t x, uint32_t) {
                         return Rgba{rounded16(SAMPLES16[x % 4]), rounded16(SAMPLES16[(x + 1) % 4]),
                                     rounded16(SAMPLES16[(x + 2) % 4]), rounded16(SAMPLES16[(x + 3) % 4])};
                     }});
    cases.push_back({"rgb8_interlaced",
                     [] {
                         PngRecipe s = rows_of(PNG_COLOR_TYPE_RGB, 8, W * 3, [](uint32_t x, uint32_t y, auto& row) {
                             row.push_back(static_cast<uint8_t>(x));
                             row.push_back(static_cast<uint8_t>(y));
                             row.push_back(static_cast<uint8_t>(x ^ y));
                         });
                         s.interlaced = true;
                         return s;
                     },
                     [](uint32_t x, uint32_t y) {
                         return Rgba{static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y), 255};
                     }});
    return cases;
}

void PrintTo(const PngCase& c, std::ostream* os) { *os << c.name; }

class PngColourTypeTest : public ::testing::TestWithParam<PngCase> {};

TEST_P(PngColourTypeTest, ExpandsToEightBitRgba) {
    const PngCase& c = GetParam();
    const std::string file = test::encode_png(c.make());
    DecodeStats stats;
    ThumbnailResult result = make_thumbnail(file, {}, &stats);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result));
    const RgbaBitmap& image = std::get<RgbaBitmap>(result);
    ASSERT_EQ(image.width, W);
    ASSERT_EQ(image.height, H);
    EXPECT_EQ(stats.format, ImageFormat::Png);
    EXPECT_FALSE(stats.resampled);
    int mismatches = 0;
    for (uint32_t y = 0; y < H && mismatches < 5; ++y) {
        for (uint32_t x = 0; x < W && mismatches < 5; ++x) {
            const Rgba got = pixel_at(image, x, y), want = c.expected(x, y);
            if (!rgba_near(got, want, 0)) {
                ++mismatches;
                ADD_FAILURE() << "at " << x << "," << y << ": " << test::describe_rgba(got) << " want "
                              << test::describe_rgba(want);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Types, PngColourTypeTest, ::testing::ValuesIn(png_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------ resampling

TEST(ThumbnailResample, ExactBoxSizeIsStoredUnchanged) {
    const RgbaBitmap source = test::noise_image(240, 360, true);
    DecodeStats stats;
    ThumbnailResult result = make_thumbnail(test::rgba_png(source), {}, &stats);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result));
    EXPECT_FALSE(stats.resampled);
    EXPECT_EQ(std::get<RgbaBitmap>(result).pixels, source.pixels);
}

struct ResampleCase {
    uint32_t width, height;
};

class ThumbnailResampleTest : public ::testing::TestWithParam<ResampleCase> {};

// Quadrant colours survive scaling in either direction, in the right places.
TEST_P(ThumbnailResampleTest, KeepsLayoutAndColours) {
    const auto [w, h] = GetParam();
    DecodeStats stats;
    ThumbnailResult result = make_thumbnail(test::rgba_png(test::quadrants_image(w, h)), {}, &stats);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result));
    const RgbaBitmap& image = std::get<RgbaBitmap>(result);
    EXPECT_EQ((ThumbSize{image.width, image.height}), thumbnail_size(w, h));
    EXPECT_TRUE(stats.resampled);
    const uint32_t qx = image.width / 4, qy = image.height / 4;
    EXPECT_TRUE(rgba_near(pixel_at(image, qx, qy), {255, 0, 0, 255}, 0));
    EXPECT_TRUE(rgba_near(pixel_at(image, 3 * qx, qy), {0, 255, 0, 255}, 0));
    EXPECT_TRUE(rgba_near(pixel_at(image, qx, 3 * qy), {0, 0, 255, 255}, 0));
    EXPECT_TRUE(rgba_near(pixel_at(image, 3 * qx, 3 * qy), {255, 255, 255, 255}, 0));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ThumbnailResampleTest,
                         ::testing::Values(ResampleCase{500, 750}, ResampleCase{1280, 720}, ResampleCase{100, 150},
                                           ResampleCase{60, 40}));

// Transparent pixels must not bleed their (invisible) colour into the edge.
TEST(ThumbnailResample, AlphaIsWeightedNotAveragedAsColour) {
    ThumbnailResult result = make_thumbnail(test::rgba_png(test::half_transparent_image(100, 150)));
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result));
    const RgbaBitmap& image = std::get<RgbaBitmap>(result);
    for (uint32_t x = 0; x < image.width; ++x) {
        const Rgba p = pixel_at(image, x, 100);
        if (p.a > 0) {
            EXPECT_TRUE(rgba_near(p, {255, 0, 0, p.a}, 1)) << x << ": " << test::describe_rgba(p);
        }
    }
    EXPECT_EQ(pixel_at(image, 10, 10).a, 255);
    EXPECT_EQ(pixel_at(image, 230, 10).a, 0);
}

}  // namespace
}  // namespace qz
