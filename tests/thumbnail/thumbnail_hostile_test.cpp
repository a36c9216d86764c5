// Poster URLs are untrusted: whatever arrives must fail cleanly, without
// allocating what a header merely claims and without printing anything.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/files.h"
#include "support/image_fixtures.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

std::string random_bytes(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    for (auto& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

std::string first_half(const std::string& s) { return s.substr(0, s.size() / 2); }

std::string sample_png() { return test::rgba_png(test::noise_image(240, 360, false)); }
std::string sample_jpeg() { return test::cjpeg_encode(test::quadrants_image(480, 720), "-quality 90"); }
std::string sample_webp() { return test::cwebp_encode(test::quadrants_image(480, 720), "-q 80"); }

std::string png_with_damaged_pixels() {
    std::string png = sample_png();
    const size_t idat = png.find("IDAT");
    png[idat + 40] = static_cast<char>(png[idat + 40] ^ 0x5a);  // the chunk CRC no longer matches
    return png;
}

std::string jpeg_declaring_width(uint16_t width) {
    std::string jpeg = sample_jpeg();
    const size_t sof = jpeg.find("\xff\xc0");
    if (sof == std::string::npos) return {};
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 0xff);
    return jpeg;
}

// A progressive file whose last scan is repeated over and over: each repeat
// is legal enough to decode, and each costs a full pass over the image.
std::string jpeg_with_endless_scans() {
    const std::string jpeg = test::cjpeg_encode(test::quadrants_image(16, 16), "-progressive");
    const size_t last_scan = jpeg.rfind("\xff\xda");
    if (last_scan == std::string::npos) return {};
    const std::string body = jpeg.substr(0, jpeg.size() - 2);
    const std::string scan = body.substr(last_scan);
    std::string out = body;
    for (int i = 0; i < 1100; ++i) out += scan;
    return out + "\xff\xd9";
}

// A lossless WebP whose header is rewritten to claim 16384 x 16384.
std::string webp_declaring_huge_canvas() {
    std::string webp = test::cwebp_encode(test::quadrants_image(16, 16), "-lossless");
    if (webp.size() < 25 || webp.compare(12, 4, "VP8L") != 0) return {};
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= uint32_t{static_cast<uint8_t>(webp[21 + i])} << (8 * i);
    bits = (bits & ~((1u << 28) - 1)) | 16383u | (16383u << 14);
    for (int i = 0; i < 4; ++i) webp[21 + i] = static_cast<char>(bits >> (8 * i));
    return webp;
}

struct HostileCase {
    const char* name;
    std::function<std::string()> make;
    DecodeError expected;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileImageTest : public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override {
        if (!test::have_programs({"cjpeg", "cwebp"})) GTEST_SKIP() << "image encoders missing";
    }
};

TEST_P(HostileImageTest, FailsCleanlyAndSilently) {
    const HostileCase& c = GetParam();
    const std::string data = c.make();
    ASSERT_TRUE(!data.empty() || c.expected == DecodeError::Empty) << "fixture could not be built";
    ::testing::internal::CaptureStderr();
    ThumbnailResult result = make_thumbnail(data);
    const std::string printed = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(std::holds_alternative<DecodeError>(result)) << "decoded a " << std::get<RgbaBitmap>(result).width
                                                             << " pixel wide image";
    EXPECT_EQ(std::get<DecodeError>(result), c.expected);
    EXPECT_EQ(printed, "");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileImageTest,
    ::testing::Values(
        HostileCase{"empty_body", [] { return std::string(); }, DecodeError::Empty},
        HostileCase{"png_declares_100000_square", [] { return test::png_header_only(100000, 100000); },
                    DecodeError::TooLarge},
        HostileCase{"png_one_side_too_long", [] { return test::png_header_only(9000, 10); },
                    DecodeError::TooLarge},
        HostileCase{"png_49_megapixels", [] { return test::png_header_only(7000, 7000); },
                    DecodeError::TooLarge},
        // Just inside the limits: refused only because no pixel data follows.
        HostileCase{"png_header_at_limit_without_data", [] { return test::png_header_only(8192, 4882); },
                    DecodeError::Corrupt},
        HostileCase{"png_declares_zero_width", [] { return test::png_header_only(0, 10); },
                    DecodeError::Corrupt},
        HostileCase{"png_signature_then_random",
                    [] { return std::string("\x89PNG\r\n\x1a\n", 8) + random_bytes(4000, 7); },
                    DecodeError::Corrupt},
        HostileCase{"png_truncated", [] { return first_half(sample_png()); }, DecodeError::Corrupt},
        HostileCase{"png_damaged_pixel_data", png_with_damaged_pixels, DecodeError::Corrupt},
        HostileCase{"jpeg_truncated", [] { return first_half(sample_jpeg()); }, DecodeError::Corrupt},
        HostileCase{"jpeg_marker_then_random", [] { return std::string("\xff\xd8\xff", 3) + random_bytes(4000, 9); },
                    DecodeError::Corrupt},
        HostileCase{"jpeg_declares_9000_wide", [] { return jpeg_declaring_width(9000); }, DecodeError::TooLarge},
        HostileCase{"jpeg_endless_scans", jpeg_with_endless_scans, DecodeError::Corrupt},
        HostileCase{"webp_truncated", [] { return first_half(sample_webp()); }, DecodeError::Corrupt},
        HostileCase{"webp_declares_16384_square", webp_declaring_huge_canvas, DecodeError::TooLarge},
        HostileCase{"gif", [] { return std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13); },
                    DecodeError::Unsupported},
        HostileCase{"html_error_page", [] { return std::string("<html><body>404 Not Found</body></html>"); },
                    DecodeError::Unsupported}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qz
