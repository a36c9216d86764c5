#include "player/audio.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "common/strict_json.h"
#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/file_io.h"
#include "common/utf8.h"
#include "process/command.h"

namespace qz {

namespace {

// The firmware's settings file is a few hundred bytes; anything far larger
// is not it.
constexpr size_t SETTINGS_MAX_BYTES = 1 << 20;
constexpr size_t HEADSET_ADDRESS_MAX_BYTES = 4096;

// A path inside a shell command line: device paths need no quoting and stay
// exactly as the firmware expects them; anything else (a test's device root)
// is single-quoted so the shell reads it as one word.
std::string shell_word(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
               c == '_' || c == '-';
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Mixer and shell commands run to completion; their output and status do not
// matter (a missing tool just leaves the volume as it was).
void run_quietly(const std::string& program, const std::vector<std::string>& args) {
    (void)run_capture(program, args);
}

void run_shell(const std::string& command_line) { run_quietly("sh", {"-c", command_line}); }

void tinymix(std::initializer_list<const char*> control_and_values) {
    std::vector<std::string> args{"set"};
    args.insert(args.end(), control_and_values.begin(), control_and_values.end());
    run_quietly("tinymix", args);
}

void write_speaker_mute(const char* value) {
    run_shell(std::string("echo ") + value + " > " + shell_word(device_path(paths::SPEAKER_MUTE)) +
              " 2>/dev/null || true");
}

void unmute_speaker() {
    write_speaker_mute("0");
    tinymix({"13", "1"});
    tinymix({"14", "1"});
    tinymix({"15", "1"});
}

void open_output_gain() {
    tinymix({"16", "255", "255"});
    tinymix({"7", "255", "255"});
}

void remove_ignoring_errors(const std::string& path) { (void)::unlink(path.c_str()); }

}  // namespace

uint32_t stored_volume_from(std::string_view settings_json) {
    auto parsed = strict_json::parse(settings_json);
    const auto* doc = std::get_if<strict_json::Document>(&parsed);
    if (doc == nullptr || !doc->root.is_object()) return VOLUME_DEFAULT;
    auto vol = doc->root.find("vol");
    // Non-negative integers are the only unsigned numbers the reader makes;
    // negatives, fractions and text all keep the default.
    if (vol == doc->root.end() || !vol->is_number_unsigned()) return VOLUME_DEFAULT;
    return static_cast<uint32_t>(std::min<uint64_t>(vol->get<uint64_t>(), VOLUME_MAX));
}

uint32_t read_stored_volume() {
    FileRead settings = read_file_capped(device_path(paths::FIRMWARE_SETTINGS), SETTINGS_MAX_BYTES);
    return settings.ok() ? stored_volume_from(settings.text) : VOLUME_DEFAULT;
}

uint32_t mixer_attenuation(uint32_t level) { return (VOLUME_MAX - std::min(level, VOLUME_MAX)) * 29 / 10; }

void apply_volume(uint32_t level, bool show_firmware_message) {
    if (!device_path_exists(paths::FRAMEBUFFER)) return;
    const uint32_t capped = std::min(level, VOLUME_MAX);
    const std::string decimal = std::to_string(capped);
    (void)run_wait(device_path(paths::SYSTEMVAL), {"vol", decimal});
    if (show_firmware_message) (void)run_wait(device_path(paths::SHOW_VOLUME_MSG), {decimal});
    run_quietly("amixer", {"sset", "Master", std::to_string(capped * 5) + "%"});
    const std::string attenuation = std::to_string(mixer_attenuation(capped));
    tinymix({"3", attenuation.c_str()});
    tinymix({"10", "1"});
    tinymix({"6", "22"});
    if (level == 0) {
        mute_speaker();
    } else if (!bluetooth_headset()) {
        unmute_speaker();
        open_output_gain();
    } else {
        // The headset keeps full gain; the speaker stays silent beside it.
        mute_speaker();
        open_output_gain();
    }
}

std::optional<std::string> bluetooth_headset() {
    if (!device_path_exists(paths::BT_HEADSET)) return std::nullopt;
    // A connected headset counts whatever the file holds, even when it cannot
    // be read.
    FileRead address = read_file_capped(device_path(paths::BT_HEADSET), HEADSET_ADDRESS_MAX_BYTES);
    return address.ok() ? utf8::trim(address.text) : std::string();
}

void start_bluealsa() {
    run_shell("pgrep -x bluealsa >/dev/null 2>&1 || " + shell_word(device_path(paths::BLUEALSA)) +
              " -p a2dp-source >/dev/null 2>&1 &");
}

void mute_speaker() {
    write_speaker_mute("1");
    tinymix({"14", "0"});
    tinymix({"15", "0"});
}

void clear_alsa_overrides() {
    remove_ignoring_errors(device_path(paths::ASOUND_BT_CONF));
    remove_ignoring_errors(device_path(paths::ROOT_ASOUNDRC));
    // An empty HOME would name "/.asoundrc", a file that is not the user's.
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') remove_ignoring_errors(std::string(home) + "/.asoundrc");
    ::unsetenv("ALSA_CONFIG_PATH");
}

}  // namespace qz
