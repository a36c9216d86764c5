#include "player/backend_choice.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "common/device_path.h"
#include "common/device_paths.h"

namespace qz {

namespace {

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool mpv_available(const PlayerProbe& probe) { return probe.mpv_on_path || probe.system_mpv || probe.card_mpv; }

Backend choose_backend(const PlayerProbe& probe) {
    return mpv_available(probe) ? Backend::Mpv : choose_native_backend(probe);
}

Backend choose_native_backend(const PlayerProbe& probe) {
    return probe.hardware_player && !probe.bluetooth_headset ? Backend::HardwarePlayer : Backend::FfmpegPipeline;
}

std::string mpv_program(const PlayerProbe& probe) {
    if (probe.card_mpv) return paths::CARD_MPV;
    if (probe.system_mpv) return paths::MPV;
    return "mpv";
}

bool program_on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || program.empty()) return false;
    std::string_view dirs(path);
    for (;;) {
        const size_t colon = dirs.find(':');
        std::string_view dir = dirs.substr(0, colon);
        // An empty entry means the current directory, as for execvp.
        const std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + program;
        if (is_executable_file(candidate)) return true;
        if (colon == std::string_view::npos) return false;
        dirs.remove_prefix(colon + 1);
    }
}

PlayerProbe probe_players() {
    PlayerProbe probe;
    probe.mpv_on_path = program_on_path("mpv");
    probe.system_mpv = device_path_exists(paths::MPV);
    probe.card_mpv = device_path_exists(paths::CARD_MPV);
    probe.hardware_player = device_path_exists(paths::HW_PLAYER);
    probe.bluetooth_headset = device_path_exists(paths::BT_HEADSET);
    return probe;
}

}  // namespace qz
