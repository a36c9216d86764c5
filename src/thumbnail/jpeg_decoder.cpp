// JPEG through libjpeg-turbo, optionally decoding straight at 1/2, 1/4 or 1/8
// scale: the DCT does the first reduction almost for free.
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include "thumbnail/image_decoders.h"

namespace qz {
namespace {

// A progressive file can repeat scans without limit; each costs a full pass.
constexpr int MAX_PROGRESSIVE_SCANS = 1000;
// Whole-image coefficient buffers of progressive files count against this;
// past it libjpeg fails (no backing store) instead of taking more memory.
constexpr long MAX_DECODER_MEMORY = 160L * 1024 * 1024;

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool truncated = false;
};

[[noreturn]] void on_error_exit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// Replaces libjpeg's printing: nothing reaches stderr. A premature end of
// data is remembered, because libjpeg would otherwise fill the rest grey and
// the half-grey poster would be cached on disk for good.
void on_message(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
        reinterpret_cast<JpegErrorManager*>(cinfo->err)->truncated = true;
    }
}

void on_progress(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > MAX_PROGRESSIVE_SCANS) on_error_exit(cinfo);
}

// Everything with a destructor lives here, outside the function that calls
// setjmp, so a longjmp never skips a destructor or sees a clobbered local.
struct JpegJob {
    jpeg_decompress_struct cinfo{};
    JpegErrorManager err{};
    jpeg_progress_mgr progress{};
    bool created = false;
    DecodedImage out;
    DecodeError failure = DecodeError::Corrupt;

    JpegJob() = default;
    JpegJob(const JpegJob&) = delete;
    JpegJob& operator=(const JpegJob&) = delete;
    ~JpegJob() {
        if (created) jpeg_destroy_decompress(&cinfo);
    }
};

uint8_t mul255(unsigned a, unsigned b) { return static_cast<uint8_t>((a * b + 127) / 255); }

// In place: 4 bytes of C, M, Y, K become R, G, B, 255. Adobe writers (almost
// every CMYK JPEG) store the inks inverted.
void cmyk_row_to_rgba(uint8_t* row, uint32_t width, bool inverted) {
    for (uint32_t x = 0; x < width; ++x) {
        uint8_t* p = row + x * 4;
        unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        p[0] = mul255(c, k);
        p[1] = mul255(m, k);
        p[2] = mul255(y, k);
        p[3] = 255;
    }
}

// Largest reduction whose output still covers the thumbnail size.
void choose_scale(jpeg_decompress_struct& cinfo) {
    const ThumbSize target = thumbnail_size(cinfo.image_width, cinfo.image_height);
    for (unsigned denom : {8u, 4u, 2u}) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = denom;
        jpeg_calc_output_dimensions(&cinfo);
        if (cinfo.output_width >= target.width && cinfo.output_height >= target.height) return;
    }
    cinfo.scale_denom = 1;
}

bool run_jpeg(JpegJob& job, std::string_view data, bool scaled) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = on_error_exit;
    job.err.pub.emit_message = on_message;
    if (setjmp(job.err.jump)) return false;

    jpeg_create_decompress(&cinfo);
    job.created = true;
    cinfo.mem->max_memory_to_use = MAX_DECODER_MEMORY;
    job.progress.progress_monitor = on_progress;
    cinfo.progress = &job.progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);

    job.out.source_width = cinfo.image_width;
    job.out.source_height = cinfo.image_height;
    if (!image_size_allowed(cinfo.image_width, cinfo.image_height)) {
        job.failure = DecodeError::TooLarge;
        return false;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    if (scaled) choose_scale(cinfo);

    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 4) return false;
    const uint32_t width = cinfo.output_width;
    const uint32_t height = cinfo.output_height;
    RgbaBitmap& bitmap = job.out.bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.resize(static_cast<size_t>(width) * height * 4);
    while (cinfo.output_scanline < height) {
        JSAMPROW row = bitmap.pixels.data() + static_cast<size_t>(cinfo.output_scanline) * width * 4;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) return false;
        if (cmyk) cmyk_row_to_rgba(row, width, cinfo.saw_Adobe_marker);
    }
    return !job.err.truncated;
}

}  // namespace

DecodeResult decode_jpeg(std::string_view data, bool scaled) {
    JpegJob job;
    if (!run_jpeg(job, data, scaled)) return job.failure;
    return std::move(job.out);
}

}  // namespace qz
