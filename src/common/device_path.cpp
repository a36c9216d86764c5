#include "common/device_path.h"

#include "common/device_paths.h"

#include <sys/stat.h>

#include <cstdlib>

namespace qz {

std::string device_root() {
    const char* root = std::getenv("QZ_DEVICE_ROOT");
    if (root == nullptr) return {};
    std::string value(root);
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    return value;
}

std::string device_path(std::string_view absolute_path) {
    std::string root = device_root();
    if (root.empty() || absolute_path.empty() || absolute_path.front() != '/') {
        return std::string(absolute_path);
    }
    return root + std::string(absolute_path);
}

bool device_path_exists(std::string_view absolute_path) {
    struct stat st {};
    return ::stat(device_path(absolute_path).c_str(), &st) == 0;
}

std::string input_event_path(int n) { return device_path("/dev/input/event" + std::to_string(n)); }

}  // namespace qz
