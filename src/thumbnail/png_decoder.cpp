// PNG through libpng: every colour type and depth is expanded to 8-bit RGBA.
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

#include "thumbnail/image_decoders.h"

namespace qz {
namespace {

uint32_t read_be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

struct PngReader {
    std::string_view data;
    size_t pos = 0;
};

void read_from_memory(png_structp png, png_bytep out, size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > reader->data.size() - reader->pos) png_error(png, "truncated");
    std::memcpy(out, reader->data.data() + reader->pos, length);
    reader->pos += length;
}

// libpng's own handlers print to stderr; the decoder stays silent.
[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

// Owns libpng's structures and the output, outside the setjmp frame.
struct PngJob {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngReader reader;
    std::vector<png_bytep> rows;
    DecodedImage out;
    DecodeError failure = DecodeError::Corrupt;

    PngJob() = default;
    PngJob(const PngJob&) = delete;
    PngJob& operator=(const PngJob&) = delete;
    ~PngJob() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

// Returns whether the image has an alpha channel of its own (or tRNS).
bool set_rgba_transforms(png_structp png, png_infop info) {
    const int color_type = png_get_color_type(png, info);
    const int bit_depth = png_get_bit_depth(png, info);
    const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (trns) png_set_tRNS_to_alpha(png);
    if (bit_depth == 16) png_set_scale_16(png);  // rounds, unlike strip_16
    if (!(color_type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    const bool has_alpha = (color_type & PNG_COLOR_MASK_ALPHA) != 0 || trns;
    if (!has_alpha) png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return has_alpha;
}

bool run_png(PngJob& job) {
    if (setjmp(png_jmpbuf(job.png))) return false;
    png_set_user_limits(job.png, MAX_IMAGE_SIDE, MAX_IMAGE_SIDE);
    png_set_read_fn(job.png, &job.reader, read_from_memory);
    png_read_info(job.png, job.info);

    const uint32_t width = png_get_image_width(job.png, job.info);
    const uint32_t height = png_get_image_height(job.png, job.info);
    if (!image_size_allowed(width, height)) {
        job.failure = DecodeError::TooLarge;
        return false;
    }
    job.out.has_alpha = set_rgba_transforms(job.png, job.info);
    if (png_get_rowbytes(job.png, job.info) != static_cast<size_t>(width) * 4) return false;

    RgbaBitmap& bitmap = job.out.bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.resize(static_cast<size_t>(width) * height * 4);
    job.rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) job.rows[y] = bitmap.pixels.data() + static_cast<size_t>(y) * width * 4;
    png_read_image(job.png, job.rows.data());
    return true;
}

}  // namespace

DecodeResult decode_png(std::string_view data) {
    // The declared size sits at a fixed place in the first chunk; refusing it
    // here keeps even libpng's row buffers from being sized by a hostile file.
    if (data.size() < 24 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) return DecodeError::Corrupt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const uint32_t declared_width = read_be32(bytes + 16);
    const uint32_t declared_height = read_be32(bytes + 20);
    if (declared_width == 0 || declared_height == 0) return DecodeError::Corrupt;
    if (!image_size_allowed(declared_width, declared_height)) return DecodeError::TooLarge;

    PngJob job;
    job.reader.data = data;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!job.png) return DecodeError::Corrupt;
    job.info = png_create_info_struct(job.png);
    if (!job.info) return DecodeError::Corrupt;
    if (!run_png(job)) return job.failure;
    job.out.source_width = job.out.bitmap.width;
    job.out.source_height = job.out.bitmap.height;
    return std::move(job.out);
}

}  // namespace qz
