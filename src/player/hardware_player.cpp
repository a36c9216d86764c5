#include "player/hardware_player.h"

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "common/channel.h"
#include "common/detached_thread.h"
#include "common/device_path.h"
#include "common/device_paths.h"
#include "common/log.h"
#include "graphics/draw.h"
#include "graphics/text_renderer.h"
#include "player/audio.h"
#include "player/button_reader.h"
#include "player/clock_text.h"
#include "player/display_layer.h"
#include "player/overlay.h"
#include "player/player_control.h"
#include "player/seek_gesture.h"
#include "process/command.h"

namespace qz {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto PASS_PERIOD = 40ms;
constexpr auto POLL_PERIOD = 200ms;
constexpr auto PAUSE_GUARD = 400ms;
constexpr auto IGNORE_AFTER_SEEK = 1500ms;
constexpr auto MESSAGE_LIFE = 2500ms;
constexpr Color TRANSPARENT = 0x00000000;
constexpr Color OPAQUE_BLACK = 0xff000000;
constexpr Color END_FILL = 0xff0f0b1e;

const char* action_name(PlaybackAction action) {
    switch (action) {
        case PlaybackAction::NextEpisode:
            return "NextEpisode";
        case PlaybackAction::PrevEpisode:
            return "PrevEpisode";
        case PlaybackAction::Exited:
            break;
    }
    return "Exited";
}

std::string wait_status_text(int status) {
    if (WIFEXITED(status)) return "exit status: " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal: " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Everything one session keeps; it lives on the main thread only.
struct Session {
    Session(Framebuffer& framebuffer, const PlayRequest& r, const FrameObserver& observer)
        : fb(framebuffer), request(r), text(framebuffer), observe_overlay(observer) {}

    Framebuffer& fb;
    PlayRequest request;
    TextRenderer text;
    const FrameObserver& observe_overlay;
    ChildProcess player;
    std::shared_ptr<std::atomic<bool>> running = std::make_shared<std::atomic<bool>>(true);
    Receiver<PlayerEvent> events;

    int64_t resume_secs = 0;  // 0: no resume
    int64_t position_ms = 0;
    int64_t position_secs = 0;
    int64_t duration_ms = 0;
    std::string last_status;
    uint32_t volume = VOLUME_DEFAULT;
    bool paused = false;
    bool full_screen = false;
    bool default_window_sent = false;
    bool window_fitted = false;
    bool resume_done = false;
    bool dirty = false;
    VideoWindow letterbox = DEFAULT_VIDEO_WINDOW;
    SeekGesture seek;
    Clock::time_point overlay_deadline;
    std::string message;  // empty: none
    Clock::time_point message_at;
    Clock::time_point ignore_positions_until;
    Clock::time_point last_status_poll;
    Clock::time_point last_info_poll;
    Clock::time_point last_pause_toggle;
    PlaybackAction action = PlaybackAction::Exited;
};

void show_message(Session& s, std::string text, Clock::time_point now, Clock::duration visible_for) {
    s.message = std::move(text);
    s.message_at = now;
    s.overlay_deadline = now + visible_for;
}

void set_position_secs(Session& s, int64_t secs, Clock::time_point now) {
    s.position_ms = secs * 1000;
    s.position_secs = secs;
    s.ignore_positions_until = now + IGNORE_AFTER_SEEK;
}

// A status position is believed only when no seek is previewed and the last
// seek command has had time to reach the player.
bool positions_trusted(const Session& s, Clock::time_point now) {
    return !s.seek.seeking && now >= s.ignore_positions_until;
}

// The last reading before the session ends.
void take_final_status(Session& s, Clock::time_point now) {
    auto status = read_player_status();
    if (!status) return;
    if (status->position_ms >= 1 && now >= s.ignore_positions_until) {
        s.position_ms = status->position_ms;
        s.position_secs = status->position_ms / 1000;
    }
    if (status->duration_ms >= 1) s.duration_ms = status->duration_ms;
}

// Opaque bands around the video, transparent where it shows.
void draw_letterbox_bands(Session& s) {
    const VideoWindow& w = s.letterbox;
    const auto width = static_cast<int32_t>(s.fb.width()), height = static_cast<int32_t>(s.fb.height());
    fill_rect(s.fb, 0, 0, width, w.y, OPAQUE_BLACK);
    fill_rect(s.fb, 0, w.y + w.h, width, height, OPAQUE_BLACK);
    fill_rect(s.fb, 0, w.y, w.x, w.h, OPAQUE_BLACK);
    fill_rect(s.fb, w.x + w.w, w.y, width, w.h, OPAQUE_BLACK);
}

void fill_and_present(Framebuffer& fb, Color color) {
    fb.clear(color);
    fb.present();
}

void commit_seek(Session& s, const char* how, Clock::time_point now) {
    const auto target = seek_commit(s.seek);
    if (!target) return;
    const int64_t t = *target;
    log::player(std::string(how) + " to " + std::to_string(t) + "s (" + std::to_string(t * 1000) + " ms)");
    send_player_command(seek_command(t * 1000));
    set_position_secs(s, t, now);
    s.last_status_poll = now;
    show_message(s, seek_commit_message(t), now, 2500ms);
}

void toggle_pause(Session& s, Clock::time_point now) {
    if (s.seek.seeking) {
        commit_seek(s, "Committing seek via PlayPause", now);
        return;
    }
    if (now - s.last_pause_toggle < PAUSE_GUARD) return;
    s.last_pause_toggle = now;
    s.paused = !s.paused;
    log::player(s.paused ? "Pausing playback" : "Resuming playback");
    send_player_command(s.paused ? "pause" : "unpause");
    s.overlay_deadline = now + 3500ms;
}

void seek_event(Session& s, bool forward, Clock::time_point now) {
    const int64_t origin = std::max(s.position_secs, s.position_ms / 1000);
    std::string preview = seek_step(s.seek, forward, now, origin, hardware_seek_limit(s.duration_ms));
    show_message(s, std::move(preview), now, 3000ms);
}

void change_volume(Session& s, bool up, Clock::time_point now) {
    if (up && s.volume < VOLUME_MAX) apply_volume(++s.volume, true);
    if (!up && s.volume > 0) apply_volume(--s.volume, true);
    const std::string text = s.volume == 0 && !up ? "ÂM LƯỢNG: TẮT TIẾNG (0%)"
                                                  : "ÂM LƯỢNG: " + std::to_string(s.volume * 5) + "%";
    show_message(s, text, now, 2500ms);
}

void toggle_aspect(Session& s, Clock::time_point now) {
    if (s.full_screen) {
        const std::string win = window_command(s.letterbox);
        log::player("Switching to Letterbox: " + win);
        send_player_command(win);
        show_message(s, "TỈ LỆ: 16:9 CHUẨN (LETTERBOX)", now, 3000ms);
    } else {
        log::player("Switching to Full Screen (Stretch 4:3)");
        send_player_command("full");
        show_message(s, "TỈ LỆ: TOÀN MÀN HÌNH (4:3)", now, 3000ms);
    }
    s.full_screen = !s.full_screen;
    s.dirty = true;
}

void request_end(Session& s, PlaybackAction action, const char* what, Clock::time_point now) {
    log::player(std::string("User requested ") + what);
    take_final_status(s, now);
    s.action = action;
    s.running->store(false);
}

void handle_event(Session& s, PlayerEvent event, Clock::time_point now) {
    switch (event) {
        case PlayerEvent::TogglePause:
            return toggle_pause(s, now);
        case PlayerEvent::SeekForward:
        case PlayerEvent::SeekBackward:
            return seek_event(s, event == PlayerEvent::SeekForward, now);
        case PlayerEvent::SeekRelease:
            return commit_seek(s, "Fast-forward/Rewind committed via release", now);
        case PlayerEvent::VolumeUp:
        case PlayerEvent::VolumeDown:
            return change_volume(s, event == PlayerEvent::VolumeUp, now);
        case PlayerEvent::ToggleAspect:
            return toggle_aspect(s, now);
        case PlayerEvent::NextRequested:
            return request_end(s, PlaybackAction::NextEpisode, "NEXT episode", now);
        case PlayerEvent::PreviousRequested:
            return request_end(s, PlaybackAction::PrevEpisode, "PREVIOUS episode", now);
        case PlayerEvent::ExitRequested:
            return request_end(s, PlaybackAction::Exited, "EXIT", now);
    }
}

// The seek to the resume position is sent as soon as the player listens: a
// player just started has not opened its pipe yet, and a seek written before
// that would be lost and the episode would start from the beginning.
void auto_resume(Session& s, Clock::time_point now) {
    if (s.resume_done || (s.last_status != "playing" && s.position_ms <= 0)) return;
    const int64_t ms = s.resume_secs * 1000;
    if (s.resume_secs >= 1 && !send_player_command(seek_command(ms))) return;
    s.resume_done = true;
    if (s.resume_secs < 1) return;
    log::player("Auto-resumed playback at " + std::to_string(s.resume_secs) + " seconds (" + std::to_string(ms) +
                " ms)");
    set_position_secs(s, s.resume_secs, now);
    show_message(s, "▶ TIẾP TỤC TẠI " + clock_string(s.resume_secs), now, 3500ms);
}

// False when the status says the stream is over.
bool poll_status(Session& s, Clock::time_point now) {
    if (now - s.last_status_poll < POLL_PERIOD) return true;
    s.last_status_poll = now;
    auto status = read_player_status();
    if (!status) return true;
    if (status->status == "completed") {
        log::player("Playback completed automatically.");
        s.action = PlaybackAction::NextEpisode;
        return false;
    }
    if (!status->status.empty()) s.last_status = status->status;
    if (status->position_ms >= 1 && positions_trusted(s, now)) {
        s.position_ms = status->position_ms;
        s.position_secs = status->position_ms / 1000;
    }
    if (status->duration_ms >= 1) s.duration_ms = status->duration_ms;
    return true;
}

// The video's own size decides its window once the player reports it, even
// after the default window went out, so a 4:3 or portrait video is not
// stretched to 16:9 when the size comes late.
void fit_window(Session& s, Clock::time_point now) {
    if (s.window_fitted || now - s.last_info_poll < POLL_PERIOD) return;
    s.last_info_poll = now;
    auto info = read_video_info();
    if (!info || info->width < 1 || info->height < 1) return;
    auto fitted = fit_video_window(s.fb.width(), s.fb.height(), info->width, info->height);
    if (!fitted) return;
    char aspect[32];
    std::snprintf(aspect, sizeof aspect, "%.3f", static_cast<double>(info->width) / static_cast<double>(info->height));
    log::player("Detected video dimensions: " + std::to_string(info->width) + "x" + std::to_string(info->height) +
                " (Aspect: " + aspect + ")");
    s.letterbox = *fitted;
    s.window_fitted = true;
    s.default_window_sent = true;
    if (s.full_screen) return;
    const std::string win = window_command(s.letterbox);
    send_player_command(win);
    log::player("Applied hardware window: " + win);
}

void draw_overlay_or_clear(Session& s, Clock::time_point now) {
    if (!s.paused && !s.seek.seeking && now >= s.overlay_deadline) {
        if (!s.dirty) return;
        s.fb.clear(TRANSPARENT);
        if (!s.full_screen) draw_letterbox_bands(s);
        s.fb.present();
        s.dirty = false;
        return;
    }
    OverlayView view;
    view.title = s.request.title;
    view.label = s.request.episode_label;
    view.duration_ms = s.duration_ms;
    view.position_ms = s.seek.seeking ? s.seek.target_secs * 1000 : s.position_ms;
    view.paused = s.paused;
    if (!s.message.empty() && now - s.message_at < MESSAGE_LIFE) view.message = s.message;
    draw_playback_overlay(s.fb, s.text, view);
    s.fb.present();
    if (s.observe_overlay) s.observe_overlay(s.fb);
    s.dirty = true;
}

// One pass of the loop; false when the session must stop.
bool run_pass(Session& s) {
    Clock::time_point now = Clock::now();
    if (!s.default_window_sent && s.last_status == "playing") {
        send_player_command(window_command(DEFAULT_VIDEO_WINDOW));
        s.default_window_sent = true;
    }
    auto_resume(s, now);
    if (auto status = s.player.try_wait()) {
        log::player("tplayerslave playback ended with status: " + wait_status_text(*status));
        set_layer_transparency(false);
        fill_and_present(s.fb, END_FILL);
        return false;
    }
    while (auto event = s.events.try_recv()) {
        handle_event(s, *event, now);
        if (!s.running->load()) return false;
    }
    if (!s.running->load()) return false;
    now = Clock::now();
    if (seek_debounce_due(s.seek, now)) commit_seek(s, "Fast-forward/Rewind committed via debounce timeout", now);
    if (!poll_status(s, now)) return false;
    fit_window(s, now);
    draw_overlay_or_clear(s, now);
    return true;
}

// Tests every 100 ms, up to tries times, whether the player has exited.
bool wait_for_exit(ChildProcess& player, int tries) {
    for (int i = 0; i < tries; ++i) {
        if (player.reaped() || player.try_wait()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return player.reaped() || player.try_wait().has_value();
}

// Asks the player to leave, then insists with signals.
void stop_player(Session& s) {
    log::player("Stopping tplayerslave...");
    send_player_command("exit");
    if (wait_for_exit(s.player, 15)) return;
    run_capture("kill", {"-15", std::to_string(s.player.pid())});
    if (wait_for_exit(s.player, 5)) return;
    s.player.kill(SIGKILL);
    s.player.wait();
}

PlaybackOutcome stop_session(Session& s) {
    s.running->store(false);
    take_final_status(s, Clock::now());
    stop_player(s);
    set_layer_transparency(false);
    fill_and_present(s.fb, END_FILL);
    std::this_thread::sleep_for(150ms);
    PlaybackOutcome outcome;
    outcome.position_secs = std::max(s.position_ms / 1000, s.position_secs);
    outcome.duration_secs = std::max<int64_t>(s.duration_ms / 1000, 0);
    outcome.action = s.action;
    log::player(std::string("Playback session ended cleanly with action: ") + action_name(outcome.action) +
                ", pos: " + std::to_string(outcome.position_secs) + "s, dur: " +
                std::to_string(outcome.duration_secs) + "s");
    return outcome;
}

// The frame the video starts under: transparent, with the default window's
// bands opaque.
void clear_for_video(Framebuffer& fb) {
    fb.clear(TRANSPARENT);
    const auto width = static_cast<int32_t>(fb.width());
    fill_rect(fb, 0, 0, width, 96, OPAQUE_BLACK);
    fill_rect(fb, 0, 672, width, 96, OPAQUE_BLACK);
    fb.present();
}

void start_button_reader(Session& s) {
    auto [sender, receiver] = make_channel<PlayerEvent>();
    s.events = std::move(receiver);
    if (!spawn_player_button_reader(std::move(sender), s.running, ButtonReaderVariant::HardwarePlayer)) {
        log::plain("failed to spawn thread");
        std::_Exit(SPAWN_FAILURE_STATUS);
    }
}

}  // namespace

PlaybackOutcome run_hardware_player(Framebuffer& fb, const PlayRequest& request, const BackendRunner& fallback,
                                    const FrameObserver& observe_overlay) {
    if (!device_path_exists(paths::HW_PLAYER)) {
        log::player("tplayerslave not found. Falling back to ffmpeg.");
        return fallback(fb, request);
    }
    run_capture("killall", {"-15", "tplayerslave"});
    std::this_thread::sleep_for(80ms);
    prepare_player_control_dir();
    clear_for_video(fb);
    set_layer_transparency(true);

    Session s(fb, request, observe_overlay);
    s.volume = read_stored_volume();
    apply_volume(s.volume, false);
    const std::string source = prepare_player_source(request.url);
    log::player(std::string("Spawning CedarX Hardware Video Player: ") + paths::HW_PLAYER + " (" + source + ")");
    auto spawned = spawn_inherit(device_path(paths::HW_PLAYER), {source});
    if (auto* error = std::get_if<SpawnError>(&spawned)) {
        log::player("Failed to spawn tplayerslave: " + error->message);
        set_layer_transparency(false);
        return PlaybackOutcome{0, PlaybackAction::Exited, 0};
    }
    s.player = std::move(std::get<ChildProcess>(spawned));
    start_button_reader(s);

    const Clock::time_point start = Clock::now();
    s.resume_secs = std::max<int64_t>(request.resume_secs.value_or(0), 0);
    s.position_secs = s.resume_secs;
    s.position_ms = s.resume_secs * 1000;
    s.overlay_deadline = start + 4s;
    s.ignore_positions_until = start;
    s.last_status_poll = s.last_info_poll = s.last_pause_toggle = start;
    while (s.running->load() && run_pass(s)) std::this_thread::sleep_for(PASS_PERIOD);
    return stop_session(s);
}

}  // namespace qz
