#include "thumbnail/thumbnail_file.h"

#include <fcntl.h>

#include <cstdio>

#include "common/file_io.h"
#include "common/unique_fd.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

uint32_t load_le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void store_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint64_t djb2_hash(std::string_view text) {
    uint64_t h = 5381;
    for (unsigned char b : text) h = h * 33 + b;
    return h;
}

std::string thumbnail_file_name(std::string_view url) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.raw", static_cast<unsigned long long>(djb2_hash(url)));
    return name;
}

std::optional<RgbaBitmap> read_thumbnail_file(const std::string& path) {
    // The largest file this program writes; anything larger is never read in.
    constexpr size_t MAX_FILE_BYTES = 8 + size_t{THUMB_MAX_WIDTH} * THUMB_MAX_HEIGHT * 4;
    const FileRead file = read_file_capped(path, MAX_FILE_BYTES);
    if (!file.ok() || file.text.size() < 8) return std::nullopt;
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.text.data());
    RgbaBitmap image;
    image.width = load_le32(bytes);
    image.height = load_le32(bytes + 4);
    // Nothing this program writes is empty or outside the thumbnail box; such
    // a file is treated like a damaged one.
    if (image.width == 0 || image.height == 0 || image.width > THUMB_MAX_WIDTH || image.height > THUMB_MAX_HEIGHT) {
        return std::nullopt;
    }
    const size_t pixel_bytes = static_cast<size_t>(image.width) * image.height * 4;
    if (file.text.size() != 8 + pixel_bytes) return std::nullopt;
    image.pixels.assign(bytes + 8, bytes + 8 + pixel_bytes);
    return image;
}

// Written in place, not atomically: a partly written file fails the length
// check on the next read and the poster is fetched again.
bool write_thumbnail_file(const std::string& path, const RgbaBitmap& image) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) return false;
    uint8_t header[8];
    store_le32(header, image.width);
    store_le32(header + 4, image.height);
    const bool written = write_all(fd.get(), header, sizeof header) &&
                         write_all(fd.get(), image.pixels.data(), image.pixels.size());
    return fd.close() && written;
}

}  // namespace qz
