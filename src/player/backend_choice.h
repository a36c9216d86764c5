#pragma once

#include <string>

namespace qz {

// The three ways a stream can be played.
enum class Backend { Mpv, HardwarePlayer, FfmpegPipeline };

// What the device has, found out once per session.
struct PlayerProbe {
    bool mpv_on_path = false;        // a program "mpv" on the search path
    bool system_mpv = false;         // "/usr/bin/mpv" exists
    bool card_mpv = false;           // "/mnt/SDCARD/System/bin/mpv" exists
    bool hardware_player = false;    // "/usr/bin/tplayerslave" exists
    bool bluetooth_headset = false;  // "/tmp/btdev_addr" exists
    bool operator==(const PlayerProbe&) const = default;
};

bool mpv_available(const PlayerProbe& probe);

// mpv whenever it is there; otherwise the hardware player, unless a headset
// is connected (the hardware player cannot route sound to it).
Backend choose_backend(const PlayerProbe& probe);

// The same rule with mpv left out: where an mpv that could not be started
// falls back to.
Backend choose_native_backend(const PlayerProbe& probe);

// The mpv to run, as a device path (map it through device_path) or "mpv"
// for the search path: the card's own build first, then the system's.
std::string mpv_program(const PlayerProbe& probe);

// Fills the record from the file system (under the device root) and the
// search path.
PlayerProbe probe_players();

// An executable regular file named program in one of PATH's directories.
bool program_on_path(const std::string& program);

}  // namespace qz
