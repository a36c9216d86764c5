#include "catalog/record_reader.h"

#include <optional>

#include "common/strict_json.h"

namespace qz {

namespace {

using json = nlohmann::json;
using strict_json::Fields;
using strict_json::Path;
using strict_json::Reader;

// "year" comes as a number or a string and goes back to the cache as received.
bool read_year(Fields& f, std::optional<RawJson>& out) {
    std::optional<std::string> text;
    if (!f.raw("year", text)) return false;
    if (text) out = RawJson{std::move(*text)};
    return true;
}

bool media_item(Reader& r, const json& v, const Path& path, MediaItem& out) {
    if (!r.expect_object(path, v, "struct MediaItem")) return false;
    Fields f(r, v, path);
    return f.no_duplicates({"id", "title", "slug", "thumbnail", "backdrop", "year", "quality", "time", "lang",
                            "category"}) &&
           f.required("id", out.id) && f.required("title", out.title) && f.required("slug", out.slug) &&
           f.optional("thumbnail", out.thumbnail) && f.optional("backdrop", out.backdrop) && read_year(f, out.year) &&
           f.optional("quality", out.quality) && f.optional("time", out.time) && f.optional("lang", out.lang) &&
           f.optional("category", out.category) && f.finish();
}

bool media_items(Reader& r, const json& v, const Path& path, std::vector<MediaItem>& out) {
    if (!r.expect_array(path, v)) return false;
    out.resize(v.size());
    return r.elements(path, v, [&](const json& e, const Path& p, size_t i) { return media_item(r, e, p, out[i]); });
}

bool episode(Reader& r, const json& v, const Path& path, EpisodeItem& out) {
    if (!r.expect_object(path, v, "struct EpisodeItem")) return false;
    Fields f(r, v, path);
    return f.no_duplicates({"title", "url", "serverName", "number"}) && f.required("title", out.title) &&
           f.required("url", out.url) && f.optional("serverName", out.server_name) && f.optional("number", out.number) &&
           f.finish();
}

bool episodes(Reader& r, Fields& f, std::optional<std::vector<EpisodeItem>>& out) {
    const json* list = nullptr;
    if (!f.optional_array("episodes", list)) return false;
    if (list == nullptr) return true;
    std::vector<EpisodeItem> items(list->size());
    if (!r.elements(f.child("episodes"), *list,
                    [&](const json& e, const Path& p, size_t i) { return episode(r, e, p, items[i]); })) {
        return false;
    }
    out = std::move(items);
    return true;
}

bool media_detail(Reader& r, const json& v, MediaDetail& out) {
    if (!r.expect_object({}, v, "struct MediaDetail")) return false;
    Fields f(r, v, {});
    return f.no_duplicates({"id", "title", "slug", "thumbnail", "backdrop", "description", "year", "quality", "time",
                            "lang", "episodes"}) &&
           f.required("id", out.id) && f.required("title", out.title) && f.required("slug", out.slug) &&
           f.optional("thumbnail", out.thumbnail) && f.optional("backdrop", out.backdrop) &&
           f.optional("description", out.description) && read_year(f, out.year) &&
           f.optional("quality", out.quality) && f.optional("time", out.time) && f.optional("lang", out.lang) &&
           episodes(r, f, out.episodes) && f.finish();
}

bool extract_resp(Reader& r, const json& v, ExtractResp& out) {
    if (!r.expect_object({}, v, "struct ExtractResp")) return false;
    Fields f(r, v, {});
    return f.no_duplicates({"url"}) && f.required("url", out.url) && f.finish();
}

bool catalog_map(Reader& r, const json& v, CatalogMap& out) {
    if (!v.is_object()) return r.type_error({}, v, "a map");
    if (auto repeated = r.repeated_key({})) return r.fail("duplicate key `" + repeated->first + "`", repeated->second);
    for (const auto& [key, list] : v.items()) {
        if (!media_items(r, list, Path{key}, out[key])) return false;
    }
    return true;
}

}  // namespace

std::variant<std::vector<MediaItem>, std::string> read_media_items(std::string_view body) {
    return strict_json::read_document<std::vector<MediaItem>>(
        body, [](Reader& r, const json& root, std::vector<MediaItem>& out) { return media_items(r, root, {}, out); });
}

std::variant<MediaDetail, std::string> read_media_detail(std::string_view body) {
    return strict_json::read_document<MediaDetail>(body, media_detail);
}

std::variant<ExtractResp, std::string> read_extract_resp(std::string_view body) {
    return strict_json::read_document<ExtractResp>(body, extract_resp);
}

std::variant<CatalogMap, std::string> read_catalog_map(std::string_view body) {
    return strict_json::read_document<CatalogMap>(body, catalog_map);
}

}  // namespace qz
