#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/files.h"
#include "support/image_fixtures.h"
#include "support/temp_dir.h"
#include "thumbnail/thumbnail_file.h"

namespace qz {
namespace {

struct NameCase {
    std::string url;
    const char* file;  // computed separately, with a few lines of Python
};

class ThumbnailFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ThumbnailFileNameTest, IsSeedlessDjb2InSixteenHexDigits) {
    EXPECT_EQ(thumbnail_file_name(GetParam().url), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ThumbnailFileNameTest,
    ::testing::Values(NameCase{"", "0000000000001505.raw"}, NameCase{"a", "000000000002b606.raw"},
                      NameCase{"https://img.example.com/posters/abc.jpg", "798c1c6a9ac9ff17.raw"},
                      // a trailing "?" is a different key
                      NameCase{"https://img.example.com/posters/abc.jpg?", "ab0fa9bdf409e236.raw"},
                      // UTF-8 bytes, and long enough to wrap 64 bits
                      NameCase{"https://cdn.example.org/p/Phim L\xe1\xba\xbb 2024.webp", "166e21abc5222717.raw"}));

std::string le32(uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
    return out;
}

TEST(ThumbnailFile, WritesHeaderThenRowsAndReadsThemBack) {
    test::TempDir dir;
    const RgbaBitmap image = test::noise_image(3, 2, true);
    ASSERT_TRUE(write_thumbnail_file(dir / "t.raw", image));
    const std::string bytes = test::read_file(dir / "t.raw");
    EXPECT_EQ(bytes, le32(3) + le32(2) + std::string(image.pixels.begin(), image.pixels.end()));
    const auto back = read_thumbnail_file(dir / "t.raw");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->width, 3u);
    EXPECT_EQ(back->height, 2u);
    EXPECT_EQ(back->pixels, image.pixels);
}

TEST(ThumbnailFile, RewritingTruncatesALongerFile) {
    test::TempDir dir;
    ASSERT_TRUE(write_thumbnail_file(dir / "t.raw", test::noise_image(240, 360, false)));
    ASSERT_TRUE(write_thumbnail_file(dir / "t.raw", test::noise_image(2, 2, false)));
    EXPECT_EQ(test::read_file(dir / "t.raw").size(), 8u + 16u);
    EXPECT_TRUE(read_thumbnail_file(dir / "t.raw").has_value());
}

struct InvalidCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const InvalidCase& c, std::ostream* os) { *os << c.name; }

class InvalidThumbnailFileTest : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidThumbnailFileTest, IsTreatedAsMissing) {
    test::TempDir dir;
    test::write_file(dir / "t.raw", GetParam().bytes);
    EXPECT_FALSE(read_thumbnail_file(dir / "t.raw").has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, InvalidThumbnailFileTest,
    ::testing::Values(InvalidCase{"empty", ""}, InvalidCase{"header_cut", le32(240) + "\x01"},
                      InvalidCase{"one_byte_short", le32(240) + le32(360) + std::string(240 * 360 * 4 - 1, 'x')},
                      InvalidCase{"one_byte_long", le32(2) + le32(2) + std::string(17, 'x')},
                      // sizes this program never writes: nothing to draw, or beyond the box
                      InvalidCase{"zero_width", le32(0) + le32(5)},
                      InvalidCase{"wider_than_box", le32(241) + le32(1) + std::string(241 * 4, 'x')},
                      // would overflow a 32-bit size computation
                      InvalidCase{"huge_declared", le32(0xffffffffu) + le32(0xffffffffu) + "xxxx"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ThumbnailFile, MissingFileOrDirectoryIsMissing) {
    test::TempDir dir;
    EXPECT_FALSE(read_thumbnail_file(dir / "absent.raw").has_value());
    EXPECT_FALSE(read_thumbnail_file(dir.path()).has_value());
    EXPECT_FALSE(write_thumbnail_file(dir / "no/such/dir/t.raw", test::noise_image(1, 1, false)));
}

TEST(ThumbnailFile, FifoIsMissingWithoutBlockingTheWorker) {
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "t.raw").c_str(), 0600), 0);
    EXPECT_FALSE(read_thumbnail_file((dir / "t.raw")).has_value());
}

}  // namespace
}  // namespace qz
