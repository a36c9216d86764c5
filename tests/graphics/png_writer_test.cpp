#include "graphics/png_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

// An independent decoder for reading the files back.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include "support/temp_dir.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

struct Decoded {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> rgba;
};

Decoded read_back(const fs::path& path) {
    Decoded d;
    stbi_uc* data = stbi_load(path.c_str(), &d.width, &d.height, &d.channels, 4);
    if (data == nullptr) return d;
    d.rgba.assign(data, data + size_t(d.width) * d.height * 4);
    stbi_image_free(data);
    return d;
}

class PngWriterTest : public testing::Test {
protected:
    test::TempDir temp_;
    const fs::path dir_{temp_.path()};
};

struct LayoutCase {
    const char* name;
    uint32_t width, height, stride;
    PngChannels channels;
};

class PngLayout : public PngWriterTest, public testing::WithParamInterface<LayoutCase> {};

// Every pixel distinct, every channel different, alpha varying, so swapped
// channels, lost alpha or a wrong row step all show.
std::vector<Color> pattern(uint32_t stride, uint32_t height) {
    std::vector<Color> px(size_t(stride) * height);
    for (size_t i = 0; i < px.size(); ++i) {
        const auto v = uint32_t(i);
        px[i] = ((v * 37 + 5) & 0xff) << 24 | ((v * 3) & 0xff) << 16 | ((v * 7 + 1) & 0xff) << 8 | ((v * 11 + 2) & 0xff);
    }
    return px;
}

TEST_P(PngLayout, ReadsBackPixelForPixel) {
    const LayoutCase& c = GetParam();
    const std::vector<Color> px = pattern(c.stride, c.height);
    const fs::path path = dir_ / "out.png";
    const PngWriteResult r = write_png(path, px.data(), c.width, c.height, c.stride, c.channels);
    ASSERT_TRUE(r.ok()) << r.error;
    const Decoded d = read_back(path);
    ASSERT_EQ(d.width, int(c.width)) << stbi_failure_reason();
    ASSERT_EQ(d.height, int(c.height));
    EXPECT_EQ(d.channels, c.channels == PngChannels::Rgba ? 4 : 3);
    for (uint32_t y = 0; y < c.height; ++y) {
        for (uint32_t x = 0; x < c.width; ++x) {
            const Color want = px[size_t(y) * c.stride + x];
            const uint8_t* got = &d.rgba[(size_t(y) * c.width + x) * 4];
            ASSERT_EQ(got[0], uint8_t(want >> 16)) << x << "," << y;
            ASSERT_EQ(got[1], uint8_t(want >> 8)) << x << "," << y;
            ASSERT_EQ(got[2], uint8_t(want)) << x << "," << y;
            ASSERT_EQ(got[3], c.channels == PngChannels::Rgba ? uint8_t(want >> 24) : 0xff) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PngLayout,
                         testing::Values(LayoutCase{"rgba", 7, 5, 7, PngChannels::Rgba},
                                         LayoutCase{"rgb", 7, 5, 7, PngChannels::Rgb},
                                         LayoutCase{"rgba_padded_rows", 5, 4, 9, PngChannels::Rgba},
                                         LayoutCase{"rgb_padded_rows", 5, 4, 9, PngChannels::Rgb},
                                         LayoutCase{"single_pixel", 1, 1, 1, PngChannels::Rgba},
                                         LayoutCase{"screen_size", 1280, 720, 1280, PngChannels::Rgb}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PngWriterTest, WritesTheWholeBackBuffer) {
    Framebuffer fb = Framebuffer::in_memory(6, 3);
    fb.clear(0xff0e0a1a);
    fb.at(5, 2) = 0x80fbbf24;
    const fs::path path = dir_ / "fb.png";
    ASSERT_TRUE(write_png(path, fb, PngChannels::Rgba).ok());
    const Decoded d = read_back(path);
    ASSERT_EQ(d.width, 6);
    ASSERT_EQ(d.height, 3);
    EXPECT_EQ(std::vector<uint8_t>(d.rgba.begin(), d.rgba.begin() + 4), (std::vector<uint8_t>{0x0e, 0x0a, 0x1a, 0xff}));
    EXPECT_EQ(std::vector<uint8_t>(d.rgba.end() - 4, d.rgba.end()), (std::vector<uint8_t>{0xfb, 0xbf, 0x24, 0x80}));
}

struct ErrorCase {
    const char* name;
    const char* file;  // under the test directory
    uint32_t width, height, stride;
    const char* error_part;
};

class PngErrors : public PngWriterTest, public testing::WithParamInterface<ErrorCase> {};

TEST_P(PngErrors, ReportedAsValuesAndNoFileLeft) {
    const ErrorCase& c = GetParam();
    const std::vector<Color> px(64, 0xffffffff);
    const fs::path path = dir_ / c.file;
    const PngWriteResult r = write_png(path, px.data(), c.width, c.height, c.stride, PngChannels::Rgba);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find(c.error_part), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(path.string()), std::string::npos) << "the error names the file: " << r.error;
    EXPECT_FALSE(fs::exists(path));
}

INSTANTIATE_TEST_SUITE_P(
    Refused, PngErrors,
    testing::Values(ErrorCase{"missing_directory", "no/such/dir/x.png", 2, 2, 2, "No such file or directory"},
                    ErrorCase{"zero_width", "w.png", 0, 2, 2, "empty"},
                    ErrorCase{"zero_height", "h.png", 2, 0, 2, "empty"},
                    ErrorCase{"stride_too_small", "s.png", 4, 2, 3, "stride"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PngWriterTest, UnwritableDirectoryIsAnError) {
    if (::geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
    const fs::path locked = dir_ / "locked";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    const std::vector<Color> px(4, 0);
    const PngWriteResult r = write_png(locked / "x.png", px.data(), 2, 2, 2, PngChannels::Rgb);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("Permission denied"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace qz
