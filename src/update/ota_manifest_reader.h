#pragma once

#include <optional>
#include <string_view>

#include "update/ota_manifest.h"

namespace qz {

// Reads one manifest object (white space around it allowed, nothing else).
// nullopt when it is not valid JSON, not an object, lacks "version", "name",
// "changelog" or "download_url", names any key twice, or gives a field the
// wrong type (null included). Unknown keys are skipped. The text must be UTF-8.
std::optional<OtaManifest> parse_ota_manifest(std::string_view text);

}  // namespace qz
