#include "thumbnail/thumbnail_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/unique_fd.h"
#include "thumbnail/thumbnail_image.h"

namespace qz {
namespace {

bool read_exact(int fd, uint8_t* out, size_t length) {
    while (length > 0) {
        const ssize_t n = ::read(fd, out, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool write_all(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

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
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 8) return std::nullopt;
    uint8_t header[8];
    if (!read_exact(fd.get(), header, sizeof header)) return std::nullopt;
    RgbaBitmap image;
    image.width = load_le32(header);
    image.height = load_le32(header + 4);
    // Nothing this program writes is empty or outside the thumbnail box; such
    // a file is treated like a damaged one, so it cannot size our allocation.
    if (image.width == 0 || image.height == 0 || image.width > THUMB_MAX_WIDTH || image.height > THUMB_MAX_HEIGHT) {
        return std::nullopt;
    }
    const size_t pixel_bytes = static_cast<size_t>(image.width) * image.height * 4;
    if (static_cast<uint64_t>(st.st_size) != 8 + pixel_bytes) return std::nullopt;
    image.pixels.resize(pixel_bytes);
    if (!read_exact(fd.get(), image.pixels.data(), pixel_bytes)) return std::nullopt;
    return image;
}

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
