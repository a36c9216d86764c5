#include "player/launcher.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "catalog/record_reader.h"
#include "common/device_path.h"
#include "common/log.h"
#include "player/audio.h"
#include "player/backend_choice.h"
#include "player/hardware_player.h"
#include "process/curl_args.h"

namespace qz {

namespace {

const std::string BANNER_RULE(50, '=');
constexpr std::string_view HTTPS = "https://";

std::string upper_ascii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

PlaybackOutcome run_native(Backend backend, Framebuffer& fb, const PlayRequest& request,
                           const PlaybackBackends& backends) {
    return backend == Backend::HardwarePlayer ? backends.hardware(fb, request) : backends.ffmpeg(fb, request);
}

}  // namespace

bool needs_signed_extraction(const std::string& url, const LaunchOptions& options) {
    return !options.signed_stream_host.empty() && url.find(options.signed_stream_host) != std::string::npos &&
           url.find("signature=") == std::string::npos;
}

std::string extract_request_body(const std::string& url) {
    return nlohmann::json{{"url", url}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::string> extracted_url(const RunCaptureResult& curl) {
    const auto* output = std::get_if<CommandOutput>(&curl);
    if (output == nullptr || !output->ok()) return std::nullopt;
    auto answer = read_extract_resp(output->stdout_data);
    const auto* resp = std::get_if<ExtractResp>(&answer);
    if (resp == nullptr || resp->url.empty()) return std::nullopt;
    return resp->url;
}

std::string resolve_signed_url(const std::string& url, const LaunchOptions& options) {
    if (!needs_signed_extraction(url, options)) return url;
    log::player(upper_ascii(options.signed_stream_marker) + " stream detected, checking signed URL extraction...");
    // The base goes to curl as an argument: only an http(s) one is handed over.
    if (!is_fetchable_url(options.catalog_base_url)) return url;
    auto curl = run_capture("curl", curl_args_extract(options.catalog_base_url, extract_request_body(url)));
    std::optional<std::string> signed_url = extracted_url(curl);
    if (!signed_url) return url;
    log::player("Extracted stream URL: " + *signed_url);
    return *signed_url;
}

std::string downgrade_scheme(const std::string& url, const std::string& marker) {
    if (url.find(marker) != std::string::npos || !url.starts_with(HTTPS)) return url;
    return "http://" + url.substr(HTTPS.size());
}

std::string resolve_stream_url(const std::string& url, const LaunchOptions& options) {
    return downgrade_scheme(resolve_signed_url(url, options), options.signed_stream_marker);
}

void log_banner(const PlayRequest& request) {
    log::plain(BANNER_RULE);
    log::player("QZ-NUVALTO Playback: '" + request.title + "' - '" + request.episode_label + "'");
    if (request.resume_secs) log::player("Resume at: " + std::to_string(*request.resume_secs) + "s");
    log::player("Source: " + request.url);
    log::plain(BANNER_RULE);
}

void route_audio_for_native_backend() {
    clear_alsa_overrides();
    std::optional<std::string> headset = bluetooth_headset();
    if (!headset) return;
    log::player("Bluetooth audio device detected: " + *headset);
    start_bluealsa();
    mute_speaker();
}

PlaybackOutcome exited_at_resume(const PlayRequest& request) {
    return PlaybackOutcome{std::max<int64_t>(0, request.resume_secs.value_or(0)), PlaybackAction::Exited, 0};
}

PlaybackOutcome backend_not_built(std::string_view backend, const PlayRequest& request) {
    log::playback(std::string(backend) + " back-end not available in this build");
    return exited_at_resume(request);
}

PlaybackBackends production_backends() {
    PlaybackBackends backends;
    backends.ffmpeg = [](Framebuffer&, const PlayRequest& r) { return backend_not_built("ffmpeg pipeline", r); };
    backends.hardware = [ffmpeg = backends.ffmpeg](Framebuffer& fb, const PlayRequest& r) {
        return run_hardware_player(fb, r, ffmpeg);
    };
    backends.mpv = [](const std::string&, const PlayRequest& r) -> MpvResult { return backend_not_built("mpv", r); };
    return backends;
}

PlaybackOutcome start_playback(Framebuffer& fb, const PlayRequest& request, const LaunchOptions& options,
                               const PlaybackBackends& backends) {
    PlayRequest session = request;
    session.url = resolve_stream_url(request.url, options);
    log_banner(session);
    if (!is_fetchable_url(session.url)) {
        log::player("Refusing stream URL that is not http(s): " + session.url);
        return exited_at_resume(session);
    }
    PlayerProbe probe = probe_players();
    if (mpv_available(probe)) {
        MpvResult result = backends.mpv(device_path(mpv_program(probe)), session);
        if (const auto* outcome = std::get_if<PlaybackOutcome>(&result)) return *outcome;
        // The ALSA and headset preparation is for sessions chosen without
        // mpv; a failed mpv start goes straight to the choice.
        probe.bluetooth_headset = std::get<MpvNotStarted>(result).bluetooth_headset;
    } else {
        route_audio_for_native_backend();
        probe.bluetooth_headset = bluetooth_headset().has_value();
    }
    return run_native(choose_native_backend(probe), fb, session, backends);
}

}  // namespace qz
