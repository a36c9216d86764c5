#pragma once

#include <string>

namespace qz {

// Where the files of one run live. Paths are already mapped under the device
// root; the "." fall-back is relative to the working directory.
struct AppPaths {
    std::string data_dir;
    std::string history;
    std::string catalog_cache;
    std::string thumbnail_dir;
};

// True when a metadata query on the app directory succeeds.
bool app_dir_exists();

// The locations for a run with or without the app directory.
AppPaths paths_for(bool app_dir_present);

// Each call asks again whether the app directory exists, so a card mounted
// mid-run is picked up by the next cache write.
std::string data_dir();
std::string history_path();
std::string catalog_cache_path();
std::string thumbnail_dir();

// Creates the directory with all missing parents (0777 before the umask).
// Returns false on failure, which callers may ignore.
bool create_dir_all(const std::string& path);

}  // namespace qz
