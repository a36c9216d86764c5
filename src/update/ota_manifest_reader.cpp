#include "update/ota_manifest_reader.h"

#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

namespace qz {

namespace {

using nlohmann::json;

bool read_string(const json& obj, const char* key, std::string& out, bool required) {
    auto it = obj.find(key);
    if (it == obj.end()) return !required;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

// Any JSON number, integer or fraction; absent is 0.
bool read_size(const json& obj, float& out) {
    auto it = obj.find("size_mb");
    if (it == obj.end()) return true;
    if (!it->is_number()) return false;
    out = it->get<float>();
    return true;
}

}  // namespace

std::optional<OtaManifest> parse_ota_manifest(std::string_view text) {
    // The reader keeps the last of two equal keys without a word, so the keys
    // of the manifest object itself are tracked while parsing.
    std::vector<std::set<std::string>> open_objects;
    bool duplicate = false;
    json::parser_callback_t track = [&](int /*depth*/, json::parse_event_t event, json& parsed) {
        switch (event) {
            case json::parse_event_t::object_start:
                open_objects.emplace_back();
                break;
            case json::parse_event_t::object_end:
                if (!open_objects.empty()) open_objects.pop_back();
                break;
            case json::parse_event_t::key:
                if (open_objects.size() == 1 && !open_objects.back().insert(parsed.get<std::string>()).second) {
                    duplicate = true;
                }
                break;
            default:
                break;
        }
        return true;
    };
    json doc = json::parse(text, track, /*allow_exceptions=*/false);
    if (duplicate || doc.is_discarded() || !doc.is_object()) return std::nullopt;

    OtaManifest m;
    bool ok = read_string(doc, "version", m.version, true) && read_string(doc, "name", m.name, true) &&
              read_string(doc, "changelog", m.changelog, true) &&
              read_string(doc, "download_url", m.download_url, true) && read_string(doc, "sha256", m.sha256, false) &&
              read_size(doc, m.size_mb);
    if (!ok) return std::nullopt;
    return m;
}

}  // namespace qz
