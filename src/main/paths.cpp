#include "main/paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "common/device_path.h"
#include "common/device_paths.h"

namespace qz {

bool app_dir_exists() {
    struct stat st{};
    return ::stat(device_path(paths::APP_DIR).c_str(), &st) == 0;
}

AppPaths paths_for(bool app_dir_present) {
    AppPaths p;
    p.data_dir = app_dir_present ? device_path(paths::APP_DIR) : std::string(".");
    p.history = p.data_dir + "/history.json";
    p.catalog_cache = p.data_dir + "/catalog_cache.json";
    p.thumbnail_dir = app_dir_present ? device_path(std::string(paths::APP_DIR) + "/cache") : device_path(paths::FALLBACK_THUMBNAIL_DIR);
    return p;
}

std::string data_dir() { return paths_for(app_dir_exists()).data_dir; }
std::string history_path() { return paths_for(app_dir_exists()).history; }
std::string catalog_cache_path() { return paths_for(app_dir_exists()).catalog_cache; }
std::string thumbnail_dir() { return paths_for(app_dir_exists()).thumbnail_dir; }

bool create_dir_all(const std::string& path) {
    std::error_code ec;
    // create_directories makes each missing level with perms::all (0777).
    std::filesystem::create_directories(path, ec);
    return !ec && std::filesystem::is_directory(path, ec);
}

}  // namespace qz
