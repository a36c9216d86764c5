#pragma once

#include <string>

namespace qz {

// Every absolute path of the device and its firmware that the program uses,
// spelled once. Open them through device_path() (or the helpers below), so a
// device root set for tests and tools applies to every one of them.
namespace paths {

inline constexpr const char* APP_DIR = "/mnt/SDCARD/Apps/qz-nuvalto";
inline constexpr const char* FALLBACK_THUMBNAIL_DIR = "/tmp/qz_nuvalto_cache";
inline constexpr const char* FRAMEBUFFER = "/dev/fb0";
inline constexpr const char* DISPLAY = "/dev/disp";
inline constexpr const char* DEVICE_MODEL = "/etc/trimui_device.txt";
inline constexpr const char* UPDATE_DOWNLOAD = "/tmp/qz-nuvalto-update.zip";

// Playback: the hardware player and its control files.
inline constexpr const char* HW_PLAYER = "/usr/bin/tplayerslave";
inline constexpr const char* HW_PLAYER_DIR = "/tmp/trimui_player";
inline constexpr const char* HW_PLAYER_CMD = "/tmp/trimui_player/cmd";
inline constexpr const char* HW_PLAYER_STATUS = "/tmp/trimui_player/status";
inline constexpr const char* HW_PLAYER_INFO = "/tmp/trimui_player/info";
inline constexpr const char* HW_PLAYER_PLAYLIST = "/tmp/trimui_player/stream.m3u8";

// Playback: the other players and the ffmpeg pipeline.
inline constexpr const char* FFMPEG = "/usr/bin/ffmpeg";
inline constexpr const char* FFMPEG_LOG = "/tmp/qz_nuvalto_ffmpeg.log";
inline constexpr const char* MPV = "/usr/bin/mpv";
inline constexpr const char* CARD_MPV = "/mnt/SDCARD/System/bin/mpv";
inline constexpr const char* FB_PAN = "/sys/class/graphics/fb0/pan";

// Sound: firmware volume, Bluetooth headset, speaker switch, ALSA overrides.
inline constexpr const char* SYSTEMVAL = "/usr/trimui/bin/systemval";
inline constexpr const char* SHOW_VOLUME_MSG = "/usr/trimui/osd/show_volume_msg.sh";
inline constexpr const char* FIRMWARE_SETTINGS = "/mnt/UDISK/system.json";
inline constexpr const char* BT_HEADSET = "/tmp/btdev_addr";
inline constexpr const char* BLUEALSA = "/usr/bin/bluealsa";
inline constexpr const char* SPEAKER_MUTE = "/sys/class/speaker/mute";
inline constexpr const char* ASOUND_BT_CONF = "/tmp/asound_bt.conf";
inline constexpr const char* ROOT_ASOUNDRC = "/root/.asoundrc";

}  // namespace paths

// "/dev/input/event{n}" under the device root.
std::string input_event_path(int n);

}  // namespace qz
