#pragma once

#include <string>

namespace qz {

// The update server's description of an offered build.
struct OtaManifest {
    std::string version;
    std::string name;
    std::string changelog;
    std::string download_url;
    std::string sha256;  // empty when absent
    float size_mb = 0.0f;
};

}  // namespace qz
