#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "graphics/framebuffer.h"
#include "player/playback.h"
#include "process/command.h"

namespace qz {

// Where signed streams are resolved and which stream URLs need it. Passed in,
// so tests and tools point the launcher at a loopback catalog.
struct LaunchOptions {
    std::string catalog_base_url;
    std::string signed_stream_host;    // stream URLs on this host need a signature
    std::string signed_stream_marker;  // a word of that host name; URLs with it keep https
};

// mpv could not be started. The headset state its command line was built
// with decides where the session falls back to.
struct MpvNotStarted {
    bool bluetooth_headset = false;
};
using MpvResult = std::variant<PlaybackOutcome, MpvNotStarted>;

// The back-ends a session is handed to, every one set. Tests hand in
// scripted ones.
struct PlaybackBackends {
    std::function<PlaybackOutcome(Framebuffer&, const PlayRequest&)> hardware;
    std::function<PlaybackOutcome(Framebuffer&, const PlayRequest&)> ffmpeg;
    // program: the mpv to run, already under the device root, or "mpv".
    std::function<MpvResult(const std::string& program, const PlayRequest&)> mpv;
};

// A URL on the signed host that carries no signature yet.
bool needs_signed_extraction(const std::string& url, const LaunchOptions& options);

// {"url": url} as JSON text: quotes, backslashes and control characters in
// the URL are escaped, invalid UTF-8 replaced.
std::string extract_request_body(const std::string& url);

// The URL of a usable extraction answer: curl started, exited with 0, and
// printed an ExtractResp whose url is not empty.
std::optional<std::string> extracted_url(const RunCaptureResult& curl);

// Asks the catalog service to sign a URL that needs it; any failure keeps
// the URL as it came.
std::string resolve_signed_url(const std::string& url, const LaunchOptions& options);

// "https://" becomes "http://" at the start only (the players' TLS is too slow
// on the device), except for URLs carrying the marker, which need https.
std::string downgrade_scheme(const std::string& url, const std::string& marker);

// Extraction, then the scheme rule: the URL the session plays.
std::string resolve_stream_url(const std::string& url, const LaunchOptions& options);

// The banner naming what is about to play; request.url is the final URL.
void log_banner(const PlayRequest& request);

// Before a hardware player or ffmpeg session: no ALSA override may send its
// sound elsewhere, and a connected headset gets bluealsa and a silent speaker.
void route_audio_for_native_backend();

// Exited, at the resume position (0 without one).
PlaybackOutcome exited_at_resume(const PlayRequest& request);

// A back-end this build does not have yet: ends at once where it was asked
// to start, so the watch history keeps its resume position.
PlaybackOutcome backend_not_built(std::string_view backend, const PlayRequest& request);

// The back-ends of the program itself.
PlaybackBackends production_backends();

// Plays one episode: resolves its URL, logs the banner, finds the players,
// routes the sound and hands the session to a back-end, whose outcome comes
// back unchanged. Never fails: a URL that is not http(s) after resolving is
// refused (it would reach a player or curl as an option) and ends Exited.
PlaybackOutcome start_playback(Framebuffer& fb, const PlayRequest& request, const LaunchOptions& options,
                               const PlaybackBackends& backends);

}  // namespace qz
