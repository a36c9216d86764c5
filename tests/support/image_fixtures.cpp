#include "support/image_fixtures.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/files.h"
#include "support/temp_dir.h"

namespace qz::test {

namespace {

void append_to_string(png_structp png, png_bytep data, size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void no_flush(png_structp) {}

std::string chunk(const char* type, const std::string& data) {
    std::string out;
    const uint32_t length = static_cast<uint32_t>(data.size());
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(length >> (8 * i)));
    std::string body = std::string(type, 4) + data;
    out += body;
    const uint32_t crc = static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(crc >> (8 * i)));
    return out;
}

void put_be32(std::string& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
}

}  // namespace

std::string encode_png(const PngRecipe& recipe) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("png encode failed");
    }
    png_set_write_fn(png, &out, append_to_string, no_flush);
    png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bit_depth, recipe.color_type,
                 recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const auto& c : recipe.palette) palette.push_back({c[0], c[1], c[2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!recipe.trns.empty()) {
        if (recipe.color_type == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, recipe.trns.data(), static_cast<int>(recipe.trns.size()), nullptr);
        } else {
            png_color_16 key{};
            auto sample = [&](size_t i) { return static_cast<png_uint_16>((recipe.trns[i] << 8) | recipe.trns[i + 1]); };
            if (recipe.color_type == PNG_COLOR_TYPE_GRAY) {
                key.gray = sample(0);
            } else {
                key.red = sample(0);
                key.green = sample(2);
                key.blue = sample(4);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const auto& r : recipe.rows) rows.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string png_header_only(uint32_t width, uint32_t height) {
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    put_be32(ihdr, width);
    put_be32(ihdr, height);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5);  // 8-bit RGBA, no interlace
    return out + chunk("IHDR", ihdr);
}

std::string rgba_png(const RgbaBitmap& image) {
    PngRecipe recipe;
    recipe.width = image.width;
    recipe.height = image.height;
    recipe.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    for (uint32_t y = 0; y < image.height; ++y) {
        auto begin = image.pixels.begin() + static_cast<std::ptrdiff_t>(y) * image.width * 4;
        recipe.rows.emplace_back(begin, begin + image.width * 4);
    }
    return encode_png(recipe);
}

namespace {
RgbaBitmap filled(uint32_t width, uint32_t height, Rgba (*colour)(uint32_t, uint32_t, uint32_t, uint32_t)) {
    RgbaBitmap image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const Rgba c = colour(x, y, width, height);
            uint8_t* p = &image.pixels[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = c.a;
        }
    }
    return image;
}
}  // namespace

RgbaBitmap quadrants_image(uint32_t width, uint32_t height) {
    return filled(width, height, [](uint32_t x, uint32_t y, uint32_t w, uint32_t h) -> Rgba {
        const bool right = x >= w / 2, bottom = y >= h / 2;
        if (!bottom) return right ? Rgba{0, 255, 0, 255} : Rgba{255, 0, 0, 255};
        return right ? Rgba{255, 255, 255, 255} : Rgba{0, 0, 255, 255};
    });
}

RgbaBitmap half_transparent_image(uint32_t width, uint32_t height) {
    return filled(width, height, [](uint32_t x, uint32_t, uint32_t w, uint32_t) -> Rgba {
        return x < w / 2 ? Rgba{255, 0, 0, 255} : Rgba{0, 0, 255, 0};
    });
}

RgbaBitmap noise_image(uint32_t width, uint32_t height, bool with_alpha) {
    RgbaBitmap image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    uint32_t state = 0x12345678u;
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels[i] = static_cast<uint8_t>(state >> 24);
        if (i % 4 == 3 && !with_alpha) image.pixels[i] = 255;
    }
    return image;
}

void write_ppm(const std::string& path, const RgbaBitmap& image) {
    std::string out = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    for (size_t i = 0; i < image.pixels.size(); i += 4) {
        out.append(reinterpret_cast<const char*>(&image.pixels[i]), 3);
    }
    write_file(path, out);
}

namespace {
std::string encode_with(const std::string& input_name, const std::string& input_bytes, const std::string& command,
                        const std::string& output_name) {
    TempDir dir;
    write_file(dir / input_name, input_bytes);
    const std::string full = "cd '" + dir.path() + "' && " + command + " >/dev/null 2>&1";
    if (!run_shell(full)) return {};
    return read_file(dir / output_name);
}
}  // namespace

std::string cjpeg_encode(const RgbaBitmap& image, const std::string& flags) {
    TempDir dir;
    write_ppm(dir / "in.ppm", image);
    return encode_with("in.ppm", read_file(dir / "in.ppm"), "cjpeg " + flags + " -outfile out.jpg in.ppm",
                       "out.jpg");
}

std::string convert_encode(const RgbaBitmap& image, const std::string& args, const std::string& extension) {
    return encode_with("in.png", rgba_png(image), "convert in.png " + args + " out." + extension,
                       "out." + extension);
}

std::string cwebp_encode(const RgbaBitmap& image, const std::string& flags) {
    return encode_with("in.png", rgba_png(image), "cwebp " + flags + " in.png -o out.webp", "out.webp");
}

Rgba pixel_at(const RgbaBitmap& image, uint32_t x, uint32_t y) {
    const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

bool rgba_near(Rgba got, Rgba want, int tolerance) {
    auto close = [&](uint8_t a, uint8_t b) { return std::abs(int{a} - int{b}) <= tolerance; };
    return close(got.r, want.r) && close(got.g, want.g) && close(got.b, want.b) && close(got.a, want.a);
}

std::string describe_rgba(Rgba p) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", p.r, p.g, p.b, p.a);
    return text;
}

}  // namespace qz::test
