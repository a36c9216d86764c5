// Real JPEG and WebP files from the Debian encoders, through the same path a
// downloaded poster takes.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/image_fixtures.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

using test::Rgba;

struct Sample {
    double fx, fy;  // position as a fraction of the output size
    Rgba want;      // want.a == 0: only the alpha is checked
};

const std::vector<Sample> QUADRANTS = {{0.25, 0.25, {255, 0, 0, 255}},
                                       {0.75, 0.25, {0, 255, 0, 255}},
                                       {0.25, 0.75, {0, 0, 255, 255}},
                                       {0.75, 0.75, {255, 255, 255, 255}}};
// The same quadrants as a grey-scale JPEG stores them (luma of each colour).
const std::vector<Sample> GREY_QUADRANTS = {{0.25, 0.25, {76, 76, 76, 255}},
                                            {0.75, 0.25, {150, 150, 150, 255}},
                                            {0.25, 0.75, {29, 29, 29, 255}},
                                            {0.75, 0.75, {255, 255, 255, 255}}};
const std::vector<Sample> HALF_TRANSPARENT = {{0.25, 0.5, {255, 0, 0, 255}}, {0.75, 0.5, {0, 0, 0, 0}}};

struct EncodedCase {
    const char* name;
    std::function<std::string()> make;
    ImageFormat format;
    uint32_t decoded_width, decoded_height;  // what the decoder itself produced
    bool resampled;
    std::vector<Sample> samples;
    int tolerance;
};

void PrintTo(const EncodedCase& c, std::ostream* os) { *os << c.name; }

std::vector<EncodedCase> encoded_cases() {
    using namespace test;
    return {
        // 480 x 720 halves exactly onto the box: the DCT does all the work.
        {"jpeg_baseline_half", [] { return cjpeg_encode(quadrants_image(480, 720), "-quality 95"); },
         ImageFormat::Jpeg, 240, 360, false, QUADRANTS, 12},
        // Half of 300 x 450 would be smaller than the box: decoded in full.
        {"jpeg_progressive", [] { return cjpeg_encode(quadrants_image(300, 450), "-quality 95 -progressive"); },
         ImageFormat::Jpeg, 300, 450, true, QUADRANTS, 12},
        {"jpeg_large_quarter", [] { return cjpeg_encode(quadrants_image(1000, 1500), "-quality 90"); },
         ImageFormat::Jpeg, 250, 375, true, QUADRANTS, 12},
        {"jpeg_backdrop_quarter", [] { return cjpeg_encode(quadrants_image(1280, 720), "-quality 90"); },
         ImageFormat::Jpeg, 320, 180, true, QUADRANTS, 12},
        {"jpeg_grey", [] { return cjpeg_encode(quadrants_image(240, 360), "-quality 95 -grayscale"); },
         ImageFormat::Jpeg, 240, 360, false, GREY_QUADRANTS, 3},
        {"jpeg_cmyk", [] { return convert_encode(quadrants_image(480, 720), "-quality 95 -colorspace CMYK", "jpg"); },
         ImageFormat::Jpeg, 240, 360, false, QUADRANTS, 16},
        {"webp_lossy_alpha", [] { return cwebp_encode(half_transparent_image(480, 720), "-q 90 -alpha_q 100"); },
         ImageFormat::Webp, 240, 360, false, HALF_TRANSPARENT, 12},
        {"webp_large", [] { return cwebp_encode(quadrants_image(1000, 1500), "-q 90"); }, ImageFormat::Webp, 240,
         360, false, QUADRANTS, 12},
        // Enlarging is left to the triangle filter.
        {"webp_small", [] { return cwebp_encode(quadrants_image(100, 150), "-q 95"); }, ImageFormat::Webp, 100,
         150, true, QUADRANTS, 12},
    };
}

class EncodedImageTest : public ::testing::TestWithParam<EncodedCase> {
protected:
    void SetUp() override {
        if (!test::have_programs({"cjpeg", "cwebp", "convert"})) GTEST_SKIP() << "image encoders missing";
    }
};

TEST_P(EncodedImageTest, DecodesScalesAndKeepsColours) {
    const EncodedCase& c = GetParam();
    const std::string file = c.make();
    ASSERT_FALSE(file.empty()) << "encoder failed";
    DecodeStats stats;
    ThumbnailResult result = make_thumbnail(file, {}, &stats);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result)) << "error " << int(std::get<DecodeError>(result));
    const RgbaBitmap& image = std::get<RgbaBitmap>(result);
    EXPECT_EQ(stats.format, c.format);
    EXPECT_EQ((ThumbSize{image.width, image.height}), thumbnail_size(stats.source_width, stats.source_height));
    EXPECT_EQ(stats.decoded_width, c.decoded_width);
    EXPECT_EQ(stats.decoded_height, c.decoded_height);
    EXPECT_EQ(stats.resampled, c.resampled);
    for (const Sample& s : c.samples) {
        const auto x = static_cast<uint32_t>(s.fx * image.width), y = static_cast<uint32_t>(s.fy * image.height);
        const Rgba got = test::pixel_at(image, x, y);
        if (s.want.a == 0) {
            EXPECT_EQ(got.a, 0) << "at " << x << "," << y;
        } else {
            EXPECT_TRUE(test::rgba_near(got, s.want, c.tolerance))
                << "at " << x << "," << y << ": " << test::describe_rgba(got) << " want "
                << test::describe_rgba(s.want);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, EncodedImageTest, ::testing::ValuesIn(encoded_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The fixtures must really be what the cases claim, or the cases prove little.
bool has_marker(const std::string& jpeg, unsigned char marker) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (static_cast<unsigned char>(jpeg[i]) == 0xff && static_cast<unsigned char>(jpeg[i + 1]) == marker) {
            return true;
        }
    }
    return false;
}

TEST(EncodedImageFixtures, ProgressiveAndCmykAreWhatTheySay) {
    if (!test::have_programs({"cjpeg", "convert"})) GTEST_SKIP() << "image encoders missing";
    const std::string progressive = test::cjpeg_encode(test::quadrants_image(300, 450), "-progressive");
    EXPECT_TRUE(has_marker(progressive, 0xc2));  // SOF2
    const std::string cmyk = test::convert_encode(test::quadrants_image(48, 72), "-colorspace CMYK", "jpg");
    EXPECT_NE(cmyk.find("Adobe"), std::string::npos);  // inverted-ink convention
    const size_t sof = cmyk.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    EXPECT_EQ(cmyk[sof + 9], 4) << "component count";
}

TEST(EncodedImage, LosslessWebpWithAlphaIsExact) {
    if (!test::have_programs({"cwebp"})) GTEST_SKIP() << "cwebp missing";
    const RgbaBitmap source = test::noise_image(240, 360, true);
    const std::string file = test::cwebp_encode(source, "-lossless -exact");
    ASSERT_FALSE(file.empty());
    ThumbnailResult result = make_thumbnail(file);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(result));
    EXPECT_EQ(std::get<RgbaBitmap>(result).pixels, source.pixels);
}

// Decoding at reduced scale must give the same thumbnail as decoding in full
// and resampling, up to small filter differences.
struct ScaledCase {
    const char* name;
    std::function<std::string()> make;
};

void PrintTo(const ScaledCase& c, std::ostream* os) { *os << c.name; }

class ScaledDecodeTest : public ::testing::TestWithParam<ScaledCase> {};

TEST_P(ScaledDecodeTest, MatchesFullDecode) {
    if (!test::have_programs({"cjpeg", "cwebp"})) GTEST_SKIP() << "image encoders missing";
    const std::string file = GetParam().make();
    ASSERT_FALSE(file.empty());
    DecodeStats scaled_stats, full_stats;
    ThumbnailResult scaled = make_thumbnail(file, {}, &scaled_stats);
    ThumbnailResult full = make_thumbnail(file, ThumbnailOptions{false}, &full_stats);
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(scaled));
    ASSERT_TRUE(std::holds_alternative<RgbaBitmap>(full));
    EXPECT_LT(scaled_stats.decoded_width, full_stats.decoded_width);
    EXPECT_EQ(full_stats.decoded_width, full_stats.source_width);
    const RgbaBitmap& a = std::get<RgbaBitmap>(scaled);
    const RgbaBitmap& b = std::get<RgbaBitmap>(full);
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    double total = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) total += std::abs(int{a.pixels[i]} - int{b.pixels[i]});
    EXPECT_LT(total / a.pixels.size(), 3.0);
}

// A smooth picture, so that the comparison measures the scaling and not
// JPEG ringing at hard edges.
RgbaBitmap gradient(uint32_t w, uint32_t h) {
    RgbaBitmap image{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin(x / 40.0));
            p[3] = 255;
        }
    }
    return image;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ScaledDecodeTest,
    ::testing::Values(ScaledCase{"jpeg", [] { return test::cjpeg_encode(gradient(1000, 1500), "-quality 92"); }},
                      ScaledCase{"webp", [] { return test::cwebp_encode(gradient(1000, 1500), "-q 92"); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz
