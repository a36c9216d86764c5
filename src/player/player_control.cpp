#include "player/player_control.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>
#include <variant>

#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/file_io.h"
#include "common/log.h"
#include "common/unique_fd.h"
#include "common/utf8.h"
#include "player/hls_rewrite.h"
#include "process/command.h"
#include "process/curl_args.h"

namespace qz {

namespace {

using json = nlohmann::json;

// Writing into a pipe whose reader has just gone raises SIGPIPE, which would
// end the whole program. While this lives, the calling thread has SIGPIPE
// blocked; one raised by our own write is taken off the queue afterwards.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigemptyset(&set_);
        sigaddset(&set_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeBlock() {
        if (raised_ && !was_pending_) {
            const timespec zero{};
            while (sigtimedwait(&set_, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

    void note_error(int error) { raised_ = raised_ || error == EPIPE; }

private:
    sigset_t set_{};
    sigset_t old_{};
    bool was_pending_ = false;
    bool raised_ = false;
};

bool is_fifo(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// Creates the directory with its parents; the modes are set exactly, whatever
// the umask, so the firmware's player can use what we made.
bool ensure_player_dir() {
    const std::string dir = device_path(paths::HW_PLAYER_DIR);
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string partial;
    for (size_t pos = 0; pos != std::string::npos;) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (::mkdir(partial.c_str(), 0777) == 0) ::chmod(partial.c_str(), 0777);
    }
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A number key: absent or null reads 0; anything but an integer that fits
// in 64 signed bits makes the whole file unreadable.
bool take_integer(const json& object, const char* key, int64_t& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (it->is_number_unsigned()) {
        const auto value = it->get<uint64_t>();
        if (value > static_cast<uint64_t>(INT64_MAX)) return false;
        out = static_cast<int64_t>(value);
        return true;
    }
    if (!it->is_number_integer()) return false;
    out = it->get<int64_t>();
    return true;
}

bool take_string(const json& object, const char* key, std::string& out) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

std::optional<json> parse_object(std::string_view text) {
    json value = json::parse(text.begin(), text.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object()) return std::nullopt;
    return value;
}

std::optional<std::string> read_player_file(const char* path) {
    FileRead r = read_file_capped(device_path(path), PLAYER_FILE_MAX_BYTES);
    if (!r.ok()) return std::nullopt;
    return std::move(r.text);
}

int64_t clear_lowest_bit(int64_t v) { return v & ~int64_t{1}; }

// Everything up to the first "/" after "://"; nothing when there is none.
std::optional<std::string_view> url_origin(std::string_view url) {
    const std::string_view path_part = without_query(url);
    const size_t scheme_end = path_part.find("://");
    if (scheme_end == std::string_view::npos) return std::nullopt;
    const size_t slash = path_part.find('/', scheme_end + 3);
    if (slash == std::string_view::npos) return std::nullopt;
    return path_part.substr(0, slash);
}

// Up to and including the last "/", or the whole URL when it has none.
std::string_view url_base(std::string_view url) {
    const std::string_view path_part = without_query(url);
    const size_t slash = path_part.rfind('/');
    if (slash == std::string_view::npos) return url;
    return path_part.substr(0, slash + 1);
}

std::optional<std::string> fetch_playlist(const std::string& url) {
    RunCaptureResult result = run_capture("curl", curl_args_stream_playlist(url));
    auto* out = std::get_if<CommandOutput>(&result);
    if (out == nullptr || !out->ok() || out->stdout_data.empty()) return std::nullopt;
    return utf8::make_valid(out->stdout_data);
}

}  // namespace

bool send_player_command(std::string_view command) {
    const std::string path = device_path(paths::HW_PLAYER_CMD);
    // Without a reader a non-blocking open fails (ENXIO): the command is lost,
    // which is the protocol's rule, rather than the loop stalling.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) return false;
    // A regular file left at the pipe's place would be overwritten from its
    // start by every command.
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISFIFO(st.st_mode)) return false;
    std::string line(command);
    line.push_back('\n');
    SigpipeBlock block;
    if (write_all(fd.get(), line)) return true;
    block.note_error(errno);
    return false;
}

std::string seek_command(int64_t position_ms) { return "seek " + std::to_string(position_ms); }

std::string window_command(const VideoWindow& w) {
    return "win " + std::to_string(w.x) + " " + std::to_string(w.y) + " " + std::to_string(w.w) + " " +
           std::to_string(w.h);
}

std::optional<PlayerStatus> parse_player_status(std::string_view text) {
    auto object = parse_object(text);
    if (!object) return std::nullopt;
    PlayerStatus s;
    if (!take_string(*object, "status", s.status) || !take_integer(*object, "position", s.position_ms) ||
        !take_integer(*object, "duration", s.duration_ms) || !take_integer(*object, "volume", s.volume) ||
        !take_integer(*object, "audiotrack", s.audiotrack)) {
        return std::nullopt;
    }
    return s;
}

std::optional<VideoInfo> parse_video_info(std::string_view text) {
    auto object = parse_object(text);
    if (!object) return std::nullopt;
    VideoInfo info;
    if (!take_integer(*object, "duration", info.duration_ms) || !take_integer(*object, "width", info.width) ||
        !take_integer(*object, "height", info.height)) {
        return std::nullopt;
    }
    return info;
}

std::optional<PlayerStatus> read_player_status() {
    auto text = read_player_file(paths::HW_PLAYER_STATUS);
    if (!text) return std::nullopt;
    return parse_player_status(*text);
}

std::optional<VideoInfo> read_video_info() {
    auto text = read_player_file(paths::HW_PLAYER_INFO);
    if (!text) return std::nullopt;
    return parse_video_info(*text);
}

bool prepare_player_control_dir() {
    ensure_player_dir();
    const std::string cmd = device_path(paths::HW_PLAYER_CMD);
    if (!is_fifo(cmd)) {
        // Something else under the pipe's name (a stray file) would swallow
        // every command; a directory is left alone and the pipe stays absent.
        struct stat st {};
        if (::lstat(cmd.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(cmd.c_str());
        if (::mkfifo(cmd.c_str(), 0666) == 0) ::chmod(cmd.c_str(), 0666);
    }
    ::unlink(device_path(paths::HW_PLAYER_STATUS).c_str());
    ::unlink(device_path(paths::HW_PLAYER_INFO).c_str());
    return is_fifo(cmd);
}

std::string prepare_player_source(const std::string& url) {
    if (!url.starts_with("http") || url.find("m3u8") == std::string::npos) return url;
    // Only http:// and https:// ever reach curl as its URL argument.
    if (!is_fetchable_url(url)) return url;
    if (!ensure_player_dir()) return url;
    auto playlist = fetch_playlist(url);
    if (!playlist) return url;
    const std::string path = device_path(paths::HW_PLAYER_PLAYLIST);
    // Written beside and renamed over, so a player reading it never sees half.
    if (!write_file_atomic(path, rewrite_playlist(*playlist, url))) return url;
    log::player("Successfully prepared local rewritten HLS playlist: " + path);
    return path;
}

std::string rewrite_playlist(std::string_view playlist, std::string_view url) {
    const std::string_view base = url_base(url);
    const std::optional<std::string_view> origin = url_origin(url);
    std::string out;
    out.reserve(playlist.size() + playlist.size() / 2);
    for (const std::string& line : playlist_lines(playlist)) {
        if (line.starts_with('#') || line.starts_with("http://") || line.starts_with("https://")) {
            out += line;
        } else if (line.starts_with('/') && origin) {
            out.append(*origin).append(line);
        } else {
            out.append(base).append(line);
        }
        out.push_back('\n');
    }
    return out;
}

std::optional<VideoWindow> fit_video_window(int64_t screen_w, int64_t screen_h, int64_t video_w, int64_t video_h) {
    if (screen_w < 1 || screen_h < 1 || video_w < 1 || video_h < 1) return std::nullopt;
    const double aspect = static_cast<double>(video_w) / static_cast<double>(video_h);
    const double screen_aspect = static_cast<double>(screen_w) / static_cast<double>(screen_h);
    int64_t x = 0, y = 0, w = screen_w, h = screen_h;
    // std::llround rounds halves away from zero.
    if (screen_aspect <= aspect) {
        h = std::clamp<int64_t>(clear_lowest_bit(std::llround(static_cast<double>(screen_w) / aspect)), 0, screen_h);
        y = clear_lowest_bit((screen_h - h) / 2);
    } else {
        w = std::clamp<int64_t>(clear_lowest_bit(std::llround(aspect * static_cast<double>(screen_h))), 0, screen_w);
        x = clear_lowest_bit((screen_w - w) / 2);
    }
    return VideoWindow{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(w),
                       static_cast<int32_t>(h)};
}

}  // namespace qz
