#include "catalog/catalog_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/unique_fd.h"

namespace qz {

namespace {

using json = nlohmann::json;

bool read_whole_file(const std::string& path, std::string& out) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    char buf[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    return ok;
}

bool write_all(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

// Makes the rename itself durable.
void sync_directory_of(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    UniqueFd fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());
}

void put_string(std::string& out, const std::string& s) { out += json(s).dump(-1, ' ', false, json::error_handler_t::replace); }

void put_optional(std::string& out, const char* key, const std::optional<std::string>& v) {
    out += ",\"";
    out += key;
    out += "\":";
    if (v) {
        put_string(out, *v);
    } else {
        out += "null";
    }
}

void put_item(std::string& out, const MediaItem& m) {
    out += "{\"id\":";
    put_string(out, m.id);
    out += ",\"title\":";
    put_string(out, m.title);
    out += ",\"slug\":";
    put_string(out, m.slug);
    put_optional(out, "thumbnail", m.thumbnail);
    put_optional(out, "backdrop", m.backdrop);
    out += ",\"year\":";
    // The year goes back as received; text that is not JSON (never produced
    // by the reader) must not corrupt the file.
    out += m.year && json::accept(m.year->text) ? m.year->text : "null";
    put_optional(out, "quality", m.quality);
    put_optional(out, "time", m.time);
    put_optional(out, "lang", m.lang);
    put_optional(out, "category", m.category);
    out += '}';
}

}  // namespace

CatalogMap load_catalog_cache(const std::string& path) {
    std::string text;
    if (!read_whole_file(path, text)) return {};
    auto parsed = read_catalog_map(text);
    if (auto* map = std::get_if<CatalogMap>(&parsed)) return std::move(*map);
    return {};
}

std::string serialize_catalog_cache(const CatalogMap& cache) {
    std::string out = "{";
    bool first_shelf = true;
    for (const auto& [key, items] : cache) {
        if (!first_shelf) out += ',';
        first_shelf = false;
        put_string(out, key);
        out += ":[";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) out += ',';
            put_item(out, items[i]);
        }
        out += ']';
    }
    out += '}';
    return out;
}

std::string catalog_cache_temp_path(const std::string& path) {
    return std::filesystem::path(path).replace_extension(".tmp").string();
}

bool save_catalog_cache(const std::string& path, const CatalogMap& cache) {
    std::string tmp = catalog_cache_temp_path(path);
    std::string text = serialize_catalog_cache(cache);
    UniqueFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) return false;
    // The data must be on the disk before the rename makes it the cache.
    bool ok = write_all(fd.get(), text) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    sync_directory_of(path);
    return true;
}

const std::vector<MediaItem>& store_shelf(CatalogMap& cache, const std::string& key, std::vector<MediaItem> items,
                                          const std::string& path) {
    sort_newest_first(items);
    auto& stored = cache[key];
    stored = std::move(items);
    save_catalog_cache(path, cache);
    return stored;
}

}  // namespace qz
