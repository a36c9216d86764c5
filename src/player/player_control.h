#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz {

// The hardware player's control files under "/tmp/trimui_player": commands go
// into the named pipe "cmd", the player answers through the JSON files
// "status" and "info". Everything here is fire-and-forget: a failure means
// the player did not hear us or did not answer yet, and the session goes on.

// What the player reports. Every key is optional: a missing number reads 0,
// a missing string empty.
struct PlayerStatus {
    std::string status;  // "playing", "completed", ...
    int64_t position_ms = 0;
    int64_t duration_ms = 0;
    int64_t volume = 0;
    int64_t audiotrack = 0;
};

// The video's size as the player found it; dimensions count only when both
// are at least 1.
struct VideoInfo {
    int64_t duration_ms = 0;
    int64_t width = 0;
    int64_t height = 0;
};

// A screen rectangle for the "win" command, in pixels.
struct VideoWindow {
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
    bool operator==(const VideoWindow&) const = default;
};

// Used until the video's size is known.
inline constexpr VideoWindow DEFAULT_VIDEO_WINDOW{0, 96, 1024, 576};

// Status and info files are a few hundred bytes; anything far larger is not
// the player's and is never read into memory.
inline constexpr size_t PLAYER_FILE_MAX_BYTES = 64 * 1024;

// Writes "{command}\n" into the command pipe. Does nothing when the pipe is
// missing or is not a pipe; never blocks and never creates it. A command
// written while no player has the pipe open is lost. True when the line was
// written whole.
bool send_player_command(std::string_view command);

// "seek {ms}" and "win {x} {y} {w} {h}".
std::string seek_command(int64_t position_ms);
std::string window_command(const VideoWindow& window);

// Nothing when the file is missing, too large or does not parse (not one JSON
// object, or a known key of the wrong type). Unknown keys are ignored.
std::optional<PlayerStatus> read_player_status();
std::optional<VideoInfo> read_video_info();
std::optional<PlayerStatus> parse_player_status(std::string_view text);
std::optional<VideoInfo> parse_video_info(std::string_view text);

// Before a player starts: the control directory (mode 0777), the command pipe
// (mode 0666) when missing, and no status or info left from the last session.
// True when the command pipe is in place.
bool prepare_player_control_dir();

// For an http(s) URL of an HLS playlist: fetches it with curl, rewrites every
// segment and variant line to an absolute URL and writes the result to
// "/tmp/trimui_player/stream.m3u8", whose path is returned. Any other URL,
// and every failure, gives the URL unchanged.
std::string prepare_player_source(const std::string& url);

// The playlist text with each line made absolute against the URL it came
// from. Empty lines are dropped, every line ends with "\n", "#" lines and
// absolute URLs stay as they are.
std::string rewrite_playlist(std::string_view playlist, std::string_view url);

// The largest rectangle of the video's aspect on a screen_w x screen_h screen,
// centred, with every size and offset even. Nothing unless all four sizes are
// at least 1.
std::optional<VideoWindow> fit_video_window(int64_t screen_w, int64_t screen_h, int64_t video_w, int64_t video_h);

}  // namespace qz
