#include "graphics/png_writer.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace qz {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Byte order of the PNG, independent of how the host stores a Color.
std::vector<uint8_t> to_png_bytes(const Color* pixels, uint32_t width, uint32_t height, size_t stride_pixels,
                                  size_t bytes_per_pixel) {
    std::vector<uint8_t> out(size_t(width) * height * bytes_per_pixel);
    uint8_t* dst = out.data();
    for (uint32_t y = 0; y < height; ++y) {
        const Color* row = pixels + size_t(y) * stride_pixels;
        for (uint32_t x = 0; x < width; ++x) {
            const Color c = row[x];
            *dst++ = uint8_t(c >> 16);
            *dst++ = uint8_t(c >> 8);
            *dst++ = uint8_t(c);
            if (bytes_per_pixel == 4) *dst++ = uint8_t(c >> 24);
        }
    }
    return out;
}

}  // namespace

PngWriteResult write_png(const std::string& path, const Color* pixels, uint32_t width, uint32_t height,
                         size_t stride_pixels, PngChannels channels) {
    if (width == 0 || height == 0 || pixels == nullptr) return {"cannot write an empty image to " + path};
    if (stride_pixels < width) return {"row stride smaller than the width for " + path};
    const size_t bpp = channels == PngChannels::Rgba ? 4 : 3;
    const std::vector<uint8_t> bytes = to_png_bytes(pixels, width, height, stride_pixels, bpp);

    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return {"cannot create " + path + ": " + std::strerror(errno)};

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = channels == PngChannels::Rgba ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const bool written = png_image_write_to_stdio(&image, file.get(), 0, bytes.data(), 0, nullptr) != 0;
    std::string message = image.message;
    png_image_free(&image);
    if (!written) {
        file.reset();
        std::remove(path.c_str());
        return {"cannot encode " + path + ": " + message};
    }
    // Buffered data may only fail to reach the disk at close time.
    const bool flushed = std::fflush(file.get()) == 0;
    const int flush_errno = errno;
    const bool closed = std::fclose(file.release()) == 0;
    if (!flushed || !closed) {
        std::remove(path.c_str());
        return {"cannot write " + path + ": " + std::strerror(flushed ? errno : flush_errno)};
    }
    return {};
}

PngWriteResult write_png(const std::string& path, const Framebuffer& fb, PngChannels channels) {
    return write_png(path, fb.pixels(), fb.width(), fb.height(), fb.width(), channels);
}

}  // namespace qz
