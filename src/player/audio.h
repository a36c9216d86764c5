#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz {

// Volume levels: 0 (muted) to 20; the user sees level x 5 percent.
inline constexpr uint32_t VOLUME_MAX = 20;
inline constexpr uint32_t VOLUME_DEFAULT = 10;

// The firmware's stored level from the text of its settings file: a
// non-negative integer "vol", capped at VOLUME_MAX; VOLUME_DEFAULT otherwise.
uint32_t stored_volume_from(std::string_view settings_json);

// The same for "/mnt/UDISK/system.json"; VOLUME_DEFAULT when it is missing.
uint32_t read_stored_volume();

// The value mixer control 3 gets for a level: 58 at 0 down to 0 at 20.
uint32_t mixer_attenuation(uint32_t level);

// Sets the system volume, the mixer and the speaker for a level, with or
// without the firmware's own volume pop-up. Does nothing without "/dev/fb0"
// (the desktop simulator has no mixer).
void apply_volume(uint32_t level, bool show_firmware_message);

// The trimmed content of "/tmp/btdev_addr" while a headset is connected (it
// may be empty); nothing when none is.
std::optional<std::string> bluetooth_headset();

// Starts the bluealsa daemon in the background unless it already runs.
void start_bluealsa();

// Switches the built-in speaker off, so sound goes to the headset only.
void mute_speaker();

// Removes the ALSA configuration files and ALSA_CONFIG_PATH, which would
// otherwise send the players' sound somewhere the session did not choose.
void clear_alsa_overrides();

}  // namespace qz
