#pragma once

#include <string>

namespace qz {

// What a build decides about where the program fetches from and what it
// calls itself. main() takes the build's values; tests and tools start from
// them and change what they need. Nothing below start-up reads build
// constants: these values reach the code as arguments.
struct AppConfig {
    std::string app_version;
    std::string catalog_base_url;
    std::string update_manifest_url;
    std::string signed_stream_host;
    std::string signed_stream_marker;
};

// The values this build was configured with.
AppConfig build_app_config();

}  // namespace qz
