#include "catalog/catalog_cache.h"

#include <nlohmann/json.hpp>

#include "common/file_io.h"

namespace qz {

namespace {

using json = nlohmann::json;

// Far above any real catalog; a larger file is not ours and is not loaded.
constexpr size_t CATALOG_CACHE_MAX_BYTES = 16 * 1024 * 1024;

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
    const FileRead file = read_file_capped(path, CATALOG_CACHE_MAX_BYTES);
    if (!file.ok()) return {};
    auto parsed = read_catalog_map(file.text);
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

std::string catalog_cache_temp_path(const std::string& path) { return temp_path_for(path); }

bool save_catalog_cache(const std::string& path, const CatalogMap& cache) {
    return write_file_atomic(path, serialize_catalog_cache(cache));
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
