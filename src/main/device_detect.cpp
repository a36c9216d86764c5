#include "main/device_detect.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/unique_fd.h"
#include "common/utf8.h"

namespace qz {

namespace {

constexpr char32_t KELVIN_SIGN = 0x212A;

bool names_brick(std::string_view model) { return lower_model_text(model).find("brick") != std::string::npos; }

}  // namespace

std::string lower_model_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = utf8::next(text, pos);
        if (cp == KELVIN_SIGN) cp = U'k';
        if (cp >= U'A' && cp <= U'Z') cp = cp - U'A' + U'a';
        utf8::append(out, cp);
    }
    return out;
}

std::optional<std::string> read_model_file() {
    UniqueFd fd(::open(device_path(paths::DEVICE_MODEL).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string text;
    char chunk[512];
    ssize_t n = 0;
    // Any read error (a directory opens but fails to read) counts as unreadable.
    while ((n = ::read(fd.get(), chunk, sizeof chunk)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    if (n < 0) return std::nullopt;
    return text;
}

DeviceProfile profile_from_sources(const std::optional<std::string>& model_file, const char* trimui_device) {
    if (model_file && utf8::is_valid(*model_file)) {
        return names_brick(utf8::trim(*model_file)) ? DeviceProfile::Brick : DeviceProfile::Standard;
    }
    if (trimui_device != nullptr && utf8::is_valid(trimui_device) && names_brick(trimui_device)) {
        return DeviceProfile::Brick;
    }
    return DeviceProfile::Standard;
}

DeviceProfile detect_device_profile() {
    return profile_from_sources(read_model_file(), std::getenv("TRIMUI_DEVICE"));
}

}  // namespace qz
