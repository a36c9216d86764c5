#include "update/ota_manifest_reader.h"

#include <string>
#include <variant>

#include "common/strict_json.h"

namespace qz {

namespace {

using nlohmann::json;

bool read_manifest(strict_json::Reader& r, const json& root, OtaManifest& m) {
    using strict_json::Null;
    if (!r.expect_object({}, root, "struct OtaManifest")) return false;
    strict_json::Fields f(r, root, {});
    std::optional<std::string> sha256;
    std::optional<float> size_mb;
    // Any key named twice fails the manifest, unknown keys included.
    const bool ok = f.no_duplicates() && f.required("version", m.version) && f.required("name", m.name) &&
                    f.required("changelog", m.changelog) && f.required("download_url", m.download_url) &&
                    f.optional("sha256", sha256, Null::Invalid) && f.optional("size_mb", size_mb, Null::Invalid) &&
                    f.finish();
    if (!ok) return false;
    m.sha256 = sha256.value_or("");
    m.size_mb = size_mb.value_or(0.0f);
    return true;
}

}  // namespace

std::optional<OtaManifest> parse_ota_manifest(std::string_view text) {
    auto read = strict_json::read_document<OtaManifest>(text, read_manifest, strict_json::ByteOrderMark::Skip);
    if (auto* m = std::get_if<OtaManifest>(&read)) return std::move(*m);
    return std::nullopt;
}

}  // namespace qz
