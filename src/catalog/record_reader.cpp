#include "catalog/record_reader.h"

#include <optional>

#include "catalog/strict_json.h"

namespace qz {

namespace {

using json = nlohmann::json;
using strict_json::Path;

// How a value is named in a type error, in the words of the reader.
std::string describe(const json& v) {
    switch (v.type()) {
        case json::value_t::null:
            return "null";
        case json::value_t::boolean:
            return std::string("boolean `") + (v.get<bool>() ? "true" : "false") + "`";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
            return "integer `" + v.dump() + "`";
        case json::value_t::number_float:
            return "floating point `" + v.dump() + "`";
        case json::value_t::string:
            return "string " + v.dump(-1, ' ', false, json::error_handler_t::replace);
        case json::value_t::array:
            return "sequence";
        case json::value_t::object:
            return "map";
        default:
            return "value";
    }
}

// Walks a parsed document; the first problem found becomes the error text.
class Reader {
public:
    Reader(std::string_view text, const strict_json::Document& doc) : text_(text), doc_(doc) {}

    const std::string& error() const { return error_; }

    // A value of the wrong kind at path.
    bool type_error(const Path& path, const json& v, const std::string& expected) {
        return fail("invalid type: " + describe(v) + ", expected " + expected, strict_json::end_offset(text_, path));
    }

    bool expect_object(const Path& path, const json& v, const char* record) {
        if (v.is_object()) return true;
        return type_error(path, v, std::string("struct ") + record);
    }

    bool expect_array(const Path& path, const json& v) {
        if (v.is_array()) return true;
        return type_error(path, v, "a sequence");
    }

    // Fields of one record object: call the readers, then finish().
    class Fields {
    public:
        Fields(Reader& r, const json& obj, Path path) : r_(r), obj_(obj), path_(std::move(path)) {}

        bool no_duplicates(std::initializer_list<const char*> names) {
            auto it = r_.doc_.duplicates.find(path_);
            if (it == r_.doc_.duplicates.end()) return true;
            for (const auto& [key, offset] : it->second) {
                for (const char* n : names) {
                    if (key == n) return r_.fail("duplicate field `" + key + "`", offset);
                }
            }
            return true;
        }
        bool required(const char* key, std::string& out) {
            const json* v = find(key);
            if (v == nullptr) {
                if (missing_.empty()) missing_ = key;
                return true;
            }
            if (!v->is_string()) return r_.type_error(child(key), *v, "a string");
            out = v->get<std::string>();
            return true;
        }
        bool optional(const char* key, std::optional<std::string>& out) {
            const json* v = find(key);
            if (v == nullptr || v->is_null()) return true;
            if (!v->is_string()) return r_.type_error(child(key), *v, "a string");
            out = v->get<std::string>();
            return true;
        }
        bool any(const char* key, std::optional<RawJson>& out) {
            const json* v = find(key);
            if (v == nullptr || v->is_null()) return true;
            out = RawJson{v->dump(-1, ' ', false, json::error_handler_t::replace)};
            return true;
        }
        bool u32(const char* key, std::optional<uint32_t>& out) {
            const json* v = find(key);
            if (v == nullptr || v->is_null()) return true;
            if (v->is_number_integer()) {
                bool fits = v->is_number_unsigned() && v->get<uint64_t>() <= 0xFFFFFFFFull;
                if (!fits) {
                    return r_.fail("invalid value: " + describe(*v) + ", expected u32",
                                   strict_json::end_offset(r_.text_, child(key)));
                }
                out = static_cast<uint32_t>(v->get<uint64_t>());
                return true;
            }
            return r_.type_error(child(key), *v, "u32");
        }
        const json* find(const char* key) const {
            auto it = obj_.find(key);
            return it == obj_.end() ? nullptr : &*it;
        }
        Path child(const std::string& seg) const {
            Path p = path_;
            p.push_back(seg);
            return p;
        }
        // Missing required fields are reported after the type checks, at the
        // end of the object.
        bool finish() {
            if (missing_.empty()) return true;
            return r_.fail("missing field `" + missing_ + "`", strict_json::end_offset(r_.text_, path_));
        }

    private:
        Reader& r_;
        const json& obj_;
        Path path_;
        std::string missing_;
    };

    bool media_item(const json& v, const Path& path, MediaItem& out) {
        if (!expect_object(path, v, "MediaItem")) return false;
        Fields f(*this, v, path);
        return f.no_duplicates({"id", "title", "slug", "thumbnail", "backdrop", "year", "quality", "time", "lang",
                                "category"}) &&
               f.required("id", out.id) && f.required("title", out.title) && f.required("slug", out.slug) &&
               f.optional("thumbnail", out.thumbnail) && f.optional("backdrop", out.backdrop) &&
               f.any("year", out.year) && f.optional("quality", out.quality) && f.optional("time", out.time) &&
               f.optional("lang", out.lang) && f.optional("category", out.category) && f.finish();
    }

    bool media_items(const json& v, const Path& path, std::vector<MediaItem>& out) {
        if (!expect_array(path, v)) return false;
        out.resize(v.size());
        for (size_t i = 0; i < v.size(); ++i) {
            Path p = path;
            p.push_back(std::to_string(i));
            if (!media_item(v[i], p, out[i])) return false;
        }
        return true;
    }

    bool episode(const json& v, const Path& path, EpisodeItem& out) {
        if (!expect_object(path, v, "EpisodeItem")) return false;
        Fields f(*this, v, path);
        return f.no_duplicates({"title", "url", "serverName", "number"}) && f.required("title", out.title) &&
               f.required("url", out.url) && f.optional("serverName", out.server_name) &&
               f.u32("number", out.number) && f.finish();
    }

    bool episodes(const json& obj, const Path& path, std::optional<std::vector<EpisodeItem>>& out) {
        auto it = obj.find("episodes");
        if (it == obj.end() || it->is_null()) return true;
        Path list_path = path;
        list_path.push_back("episodes");
        if (!expect_array(list_path, *it)) return false;
        std::vector<EpisodeItem> list(it->size());
        for (size_t i = 0; i < list.size(); ++i) {
            Path p = list_path;
            p.push_back(std::to_string(i));
            if (!episode((*it)[i], p, list[i])) return false;
        }
        out = std::move(list);
        return true;
    }

    bool media_detail(const json& v, MediaDetail& out) {
        if (!expect_object({}, v, "MediaDetail")) return false;
        Fields f(*this, v, {});
        return f.no_duplicates({"id", "title", "slug", "thumbnail", "backdrop", "description", "year", "quality",
                                "time", "lang", "episodes"}) &&
               f.required("id", out.id) && f.required("title", out.title) && f.required("slug", out.slug) &&
               f.optional("thumbnail", out.thumbnail) && f.optional("backdrop", out.backdrop) &&
               f.optional("description", out.description) && f.any("year", out.year) &&
               f.optional("quality", out.quality) && f.optional("time", out.time) && f.optional("lang", out.lang) &&
               episodes(v, {}, out.episodes) && f.finish();
    }

    bool extract_resp(const json& v, ExtractResp& out) {
        if (!expect_object({}, v, "ExtractResp")) return false;
        Fields f(*this, v, {});
        return f.no_duplicates({"url"}) && f.required("url", out.url) && f.finish();
    }

    bool catalog_map(const json& v, CatalogMap& out) {
        if (!v.is_object()) return type_error({}, v, "a map");
        auto dup = doc_.duplicates.find(Path{});
        if (dup != doc_.duplicates.end()) {
            return fail("duplicate key `" + dup->second.front().first + "`", dup->second.front().second);
        }
        for (const auto& [key, list] : v.items()) {
            if (!media_items(list, Path{key}, out[key])) return false;
        }
        return true;
    }

private:
    bool fail(const std::string& message, size_t offset) {
        if (error_.empty()) error_ = message + " at " + strict_json::position_text(text_, offset);
        return false;
    }

    std::string_view text_;
    const strict_json::Document& doc_;
    std::string error_;
};

template <class T, class Fn>
std::variant<T, std::string> read_with(std::string_view body, Fn fn) {
    auto parsed = strict_json::parse(body);
    if (auto* e = std::get_if<std::string>(&parsed)) return *e;
    const auto& doc = std::get<strict_json::Document>(parsed);
    Reader reader(body, doc);
    T value{};
    if (!fn(reader, doc.root, value)) return reader.error();
    return value;
}

}  // namespace

std::variant<std::vector<MediaItem>, std::string> read_media_items(std::string_view body) {
    return read_with<std::vector<MediaItem>>(
        body, [](Reader& r, const json& root, std::vector<MediaItem>& out) { return r.media_items(root, {}, out); });
}

std::variant<MediaDetail, std::string> read_media_detail(std::string_view body) {
    return read_with<MediaDetail>(body,
                                  [](Reader& r, const json& root, MediaDetail& out) { return r.media_detail(root, out); });
}

std::variant<ExtractResp, std::string> read_extract_resp(std::string_view body) {
    return read_with<ExtractResp>(body,
                                  [](Reader& r, const json& root, ExtractResp& out) { return r.extract_resp(root, out); });
}

std::variant<CatalogMap, std::string> read_catalog_map(std::string_view body) {
    return read_with<CatalogMap>(body,
                                 [](Reader& r, const json& root, CatalogMap& out) { return r.catalog_map(root, out); });
}

}  // namespace qz
